// The port against the device simulator program on its pseudo-terminal, as the control program uses it.
#include "link/ComPort.h"
#include "link/DataPacket.h"

#include "../../support/DevsimProcess.h"
#include "PtyPair.h"
#include "loop/RealTimeLoop.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace mirota {
namespace {

using test::DevsimProcess;
using test::Eventually;
using test::ThreadCount;

const char kEsc[] = "\x1b";

class DevsimPtyTest : public ::testing::Test {
protected:
    void Start(std::vector<std::string> args = {}) {
        devsim = std::make_unique<DevsimProcess>(MIROTA_DEVSIM_PROGRAM, args);
        ASSERT_TRUE(devsim->Ok()) << "the simulator did not print its line";
        threadsBefore = ThreadCount();
        port.SetPort(devsim->LinePath());
        port.SetBaudRate(TBaudRate::brCustom);
        port.SetCustomBaudRate(19200);
        port.SetFlowControlNone();
        port.OnException = [this](TCustomComPort*, int code, const std::string&, std::int64_t winError,
                                  const std::string&) {
            failures.push_back({code, winError});
        };
        port.Open();
        ASSERT_TRUE(port.Connected());
        replies.SetComPort(&port);
        replies.SetStopString(kEsc);
        replies.OnPacket = [this](TComDataPacket*, const std::string& s) { packets.push_back(s); };
    }
    // Sends a command one character at a time with a pause after each, as the windows do.
    void SendCommand(const std::string& command) {
        for (char c : command) {
            port.Write(&c, 1);
            Delay(loop, 60);
        }
    }

    RealTimeLoop loop;
    std::unique_ptr<DevsimProcess> devsim;
    TComPort port{loop};
    TComDataPacket replies;
    std::vector<std::string> packets;
    std::vector<std::pair<int, std::int64_t>> failures;
    int threadsBefore = 0;
};

TEST_F(DevsimPtyTest, VersionQueryIsAnswered) {
    Start({"--firmware", "9.87"});
    replies.SetStartString("&357");
    SendCommand(std::string("$357") + kEsc);
    ASSERT_TRUE(loop.RunUntil([&] { return !packets.empty(); }, 5000));
    EXPECT_EQ("9.87", packets[0]);
    EXPECT_TRUE(failures.empty());
}

TEST_F(DevsimPtyTest, MeasurementStreamArrivesInPackets) {
    Start();
    replies.SetStartString("%00");
    SendCommand("*");
    SendCommand("$6661\r");
    ASSERT_TRUE(loop.RunUntil([&] { return packets.size() >= 3; }, 8000)) << packets.size();
    // "%00" n value ESC: the value's digit 1 to 7, then the number.
    for (const auto& p : packets) {
        ASSERT_GE(p.size(), 2u) << p;
        EXPECT_TRUE(p[0] >= '1' && p[0] <= '7') << p;
        EXPECT_NE(std::string::npos, p.find('.')) << p;
    }
    SendCommand("$6660\r");
    EXPECT_TRUE(failures.empty());
    port.Close();
    EXPECT_FALSE(port.Connected());
}

TEST_F(DevsimPtyTest, SimulatorEndingIsReportedOnceAndTheWatcherEnds) {
    Start();
    devsim->Stop();
    ASSERT_TRUE(Eventually(
        loop, [&] { return !failures.empty(); }, 8000));
    EXPECT_EQ(CE_ReadFailed, failures[0].first);
    EXPECT_EQ(EIO, failures[0].second);
    EXPECT_TRUE(Eventually(loop, [&] { return ThreadCount() == threadsBefore; }));
    loop.RunUntil([] { return false; }, 200);
    EXPECT_EQ(1u, failures.size());
}

} // namespace
} // namespace mirota
