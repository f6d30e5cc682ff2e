// The start sequence on a simulated line: bytes, their virtual times, and what the replies fill in.
#include "ControlFakes.h"
#include "ScriptedDevice.h"

#include <gtest/gtest.h>

using namespace mirota;
using namespace mirota::test;

namespace {

struct OnLine : Harness {
    ScriptedDevice device{loop};
    OnLine() {
        backend = [this] { return device.MakeBackend(); };
    }
    ~OnLine() { form.reset(); } // the port goes before the device it talks to
    void Start() {
        form->FormCreate({"COM3", "Mirota DMS 2000", "FT5X2KQ9", "4711"});
        form->FormShow();
    }
};

TEST(StartSequence, SendsItsCommandsPacedAt70ms) {
    OnLine h;
    h.Start();
    EXPECT_EQ(h.loop.TickCount(), 1620u); // the whole sequence, about 1.6 s
    const std::string expected = std::string("*$6660\r") + "$357\x1b" + "$112";
    ASSERT_EQ(h.device.ReceivedText(), expected);
    const std::vector<std::uint64_t> at{0,    70,   140,  210,  280,  350, 420, // "*", "$6660" CR
                                        990,  1060, 1130, 1200, 1270,           // 500 ms later: "$357" ESC
                                        1340, 1410, 1480, 1550};                // "$112"
    for (std::size_t i = 0; i < at.size(); ++i)
        EXPECT_EQ(h.device.Received()[i].At, at[i]) << "byte " << i;
}

TEST(StartSequence, RepliesFillNameAndVersion) {
    OnLine h;
    h.Start();
    h.loop.RunFor(200);
    EXPECT_EQ(h.view.Item(0), "DMS 2000");
    EXPECT_EQ(h.view.Item(1), "Mirota DMS 2000");
    EXPECT_EQ(h.view.Item(2), "2.31");
    EXPECT_EQ(h.form->iVersion, 31);
    EXPECT_TRUE(h.dialogs.shown.empty());
}

TEST(StartSequence, VersionNumberFromTheReply) {
    struct Case {
        const char* firmware;
        int iVersion;
    } cases[] = {{"1.05", 5}, {"2.31", 31}, {"3.2", 2}, {"4.ab", 0}, {"4.7b", 7}, {"X", 0}};
    for (const Case& c : cases) {
        OnLine h;
        h.device.Firmware = c.firmware;
        h.Start();
        h.loop.RunFor(200);
        EXPECT_EQ(h.view.Item(2), c.firmware);
        EXPECT_EQ(h.form->iVersion, c.iVersion) << c.firmware;
        EXPECT_EQ(h.view.Item(0), "DMS 2000"); // the reader keeps running after a bad reply
    }
}

TEST(StartSequence, LateVersionReplyIsLost) {
    // ESC of "$357" goes out at 1270; the name query takes over the filter at 1340.
    struct Case {
        std::uint32_t delay;
        bool counted;
    } cases[] = {{60, true}, {75, false}, {300, false}};
    for (const Case& c : cases) {
        OnLine h;
        h.device.AnswerDelayMs = c.delay;
        h.Start();
        h.loop.RunFor(1000);
        EXPECT_EQ(h.view.Item(2), c.counted ? "2.31" : "") << c.delay;
        EXPECT_EQ(h.form->iVersion, c.counted ? 31 : 0) << c.delay;
        EXPECT_EQ(h.view.Item(0), "DMS 2000") << c.delay;
    }
}

TEST(StartSequence, OnlyTheFirstNameReplyCounts) {
    OnLine h;
    h.device.NameReplies = 2;
    h.Start();
    h.loop.RunFor(200);
    h.device.Name = "Other";
    h.device.Send("&112Other\x1b");
    h.loop.RunFor(200);
    EXPECT_EQ(h.view.Item(0), "DMS 2000");
}

TEST(StartSequence, DeviceTextIsShownAsWindows1252) {
    OnLine h;
    h.device.Name = "Me\xDF"
                    "ger\xE4t \x80";
    h.Start();
    h.loop.RunFor(200);
    EXPECT_EQ(h.view.Item(0), "Me\xC3\x9F"
                              "ger\xC3\xA4t \xE2\x82\xAC");
}

TEST(StartSequence, ControlCloseDuringTheSequenceStopsSending) {
    OnLine h;
    h.form->FormCreate({"COM3", "Mirota DMS 2000", "FT5X2KQ9", "4711"});
    h.loop.StartTimer(
        600,
        [&] {
            h.form->WndProc({WM_CONTROL_CLOSE, 0, 0, false});
        },
        false);
    h.form->FormShow();
    EXPECT_TRUE(h.form->Ended());
    EXPECT_EQ(h.device.ReceivedText(), "*$6660\r"); // nothing after the message
    EXPECT_EQ(h.endpoint.Messages(), std::vector<std::uint32_t>{WM_CONTROL_OPENED});
    EXPECT_LT(h.loop.TickCount(), 1000u);
}

} // namespace
