// The start sequence against the in-process device simulator under simulated time.
#include "ControlFakes.h"
#include "devsim/DeviceSimulator.h"

#include <gtest/gtest.h>

using namespace mirota;
using namespace mirota::test;

namespace {

struct WithSimulator : Harness {
    devsim::DeviceSimulator device{loop};
    WithSimulator() {
        backend = [this] { return devsim::MakeSimulatedBackend(device); };
    }
    ~WithSimulator() { form.reset(); } // the port goes before the device it talks to
    void Start(const char* description = "Mirota DMS 2000") {
        form->FormCreate({"COM3", description, "FT5X2KQ9", "4711"});
        form->FormShow();
        loop.RunFor(500);
    }
};

TEST(WithSimulator, StartSequenceBytesAndTimes) {
    WithSimulator h;
    h.Start();
    const std::string expected = std::string("*$6660\r") + "$357\x1b" + "$112";
    ASSERT_EQ(h.device.ReceivedText(), expected);
    const std::uint64_t at[] = {0,    70,   140,  210,  280,  350,  420,  990,
                                1060, 1130, 1200, 1270, 1340, 1410, 1480, 1550};
    for (std::size_t i = 0; i < std::size(at); ++i)
        EXPECT_EQ(h.device.Received()[i].At, at[i]) << "byte " << i;
    EXPECT_FALSE(h.device.Streaming());
    EXPECT_EQ(h.view.Item(0), h.device.Options().Name);
    EXPECT_EQ(h.view.Item(2), h.device.Options().Firmware);
    EXPECT_TRUE(h.dialogs.shown.empty());
}

TEST(WithSimulator, VersionTable) {
    struct Case {
        const char* firmware;
        int iVersion;
    } cases[] = {{"1.05", 5}, {"2.31", 31}, {"3.2", 2}, {"3.x1", 0}};
    for (const Case& c : cases) {
        WithSimulator h;
        h.device.Options().Firmware = c.firmware;
        h.device.Options().Name = "TMS 40";
        h.Start();
        EXPECT_EQ(h.view.Item(2), c.firmware);
        EXPECT_EQ(h.form->iVersion, c.iVersion) << c.firmware;
        EXPECT_EQ(h.view.Item(0), "TMS 40") << c.firmware;
    }
}

TEST(WithSimulator, LateVersionReplyIsLost) {
    WithSimulator h;
    h.device.Options().Fault.LateMs = 150;
    h.Start();
    h.loop.RunFor(1000);
    EXPECT_EQ(h.view.Item(2), "");
    EXPECT_EQ(h.form->iVersion, 0);
    EXPECT_EQ(h.view.Item(0), h.device.Options().Name); // the name may come at any time
}

TEST(WithSimulator, ASecondNameReplyIsIgnored) {
    WithSimulator h;
    h.Start();
    const std::string first = h.view.Item(0);
    h.device.Options().Name = "Changed";
    const char query[] = "$112";
    h.form->cpComController->Write(query, 4);
    h.loop.RunFor(500);
    EXPECT_EQ(h.view.Item(0), first);
}

TEST(WithSimulator, SilentDeviceLeavesTheItemsEmptyAndNothingFails) {
    WithSimulator h;
    h.device.Options().Fault.Silent = true;
    h.Start();
    h.loop.RunFor(5000);
    EXPECT_EQ(h.view.Item(0), "");
    EXPECT_EQ(h.view.Item(2), "");
    EXPECT_FALSE(h.form->Ended());
    EXPECT_TRUE(h.dialogs.shown.empty());
}

} // namespace
