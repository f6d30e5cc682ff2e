// TComPort on the Win32 serial backend against the device simulator behind a COM port.
//   MIROTA_TEST_COM_PORT   the port (COM5); the cases are skipped without it
//   MIROTA_TEST_FIRMWARE   the simulator's answer to the version query (--firmware)
// The hang-up case expects a simulator that hangs the line up a few seconds after its start
// (--hangup-after); scripts/ci-windows.sh runs the two groups against two simulators.
#include "link/ComPort.h"
#include "link/DataPacket.h"
#include "loop/RealTimeLoop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace mirota {
namespace {

const char kEsc[] = "\x1b";

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

class ComPortDevsimTest : public ::testing::Test {
protected:
    void SetUp() override {
        portName = Env("MIROTA_TEST_COM_PORT");
        if (portName.empty()) GTEST_SKIP() << "MIROTA_TEST_COM_PORT names no port";
        port.SetPort(portName);
        port.SetBaudRate(TBaudRate::brCustom);
        port.SetCustomBaudRate(19200);
        port.SetFlowControlNone();
        port.OnException = [this](TCustomComPort*, int code, const std::string&, std::int64_t winError,
                                  const std::string&) {
            failures.push_back({code, winError});
        };
        port.Open();
        ASSERT_TRUE(port.Connected()) << portName;
        replies.SetComPort(&port);
        replies.SetStopString(kEsc);
        replies.OnPacket = [this](TComDataPacket*, const std::string& s) { packets.push_back(s); };
    }
    // One character at a time with a pause after each, as the screens send.
    void SendCommand(const std::string& command) {
        for (char c : command) {
            port.Write(&c, 1);
            Delay(loop, 60);
        }
    }

    std::string portName;
    RealTimeLoop loop;
    TComPort port{loop};
    TComDataPacket replies;
    std::vector<std::string> packets;
    std::vector<std::pair<int, std::int64_t>> failures;
};

TEST_F(ComPortDevsimTest, VersionQueryAndMeasurementStreamArrive) {
    replies.SetStartString("&357");
    const auto sent = std::chrono::steady_clock::now();
    SendCommand(std::string("$357") + kEsc);
    ASSERT_TRUE(loop.RunUntil([&] { return !packets.empty(); }, 5000));
    const auto answered = std::chrono::steady_clock::now();
    const std::string firmware = Env("MIROTA_TEST_FIRMWARE");
    if (!firmware.empty())
        EXPECT_EQ(firmware, packets[0]);
    else
        EXPECT_FALSE(packets[0].empty());
    std::printf("version reply %lld ms after the first character\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(answered - sent).count()));

    packets.clear();
    replies.SetStartString("%00");
    SendCommand("*");
    SendCommand("$6661\r");
    ASSERT_TRUE(loop.RunUntil([&] { return packets.size() >= 20; }, 10000)) << packets.size();
    for (const std::string& p : packets) {
        ASSERT_GE(p.size(), 2u) << p;
        EXPECT_TRUE(p[0] >= '1' && p[0] <= '7') << p;
        EXPECT_NE(std::string::npos, p.find('.')) << p;
    }
    SendCommand("$6660\r");
    EXPECT_TRUE(failures.empty());
    port.Close();
    EXPECT_FALSE(port.Connected());
}

TEST_F(ComPortDevsimTest, HangUpIsReportedOnce) {
    ASSERT_TRUE(loop.RunUntil([&] { return !failures.empty(); }, 15000)) << "no hang-up reported";
    EXPECT_EQ(CE_ReadFailed, failures[0].first);
    EXPECT_NE(0, failures[0].second) << "the hang-up carries the system's error number";
    std::printf("hang-up reported with error %lld\n", static_cast<long long>(failures[0].second));
    loop.RunUntil([] { return false; }, 300);
    EXPECT_EQ(1u, failures.size());
}

} // namespace
} // namespace mirota
