// The port's rules over a scripted backend: failure codes and how they are reported, receivers,
// the hand-over of received bytes.
#include "link/ComPort.h"
#include "../../support/FakeBackend.h"
#include "loop/SimulatedLoop.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

using namespace mirota;

namespace {

struct Report {
    int code;
    std::string message;
    std::int64_t winError;
    std::string winMessage;
};

struct PortFixture : ::testing::Test {
    SimulatedLoop loop;
    std::shared_ptr<test::FakeLine> line = std::make_shared<test::FakeLine>();
    TComPort port{loop, std::make_unique<test::FakeBackend>(line)};
    std::vector<Report> reports;
    void Watch() {
        port.OnException = [this](TCustomComPort*, int code, const std::string& m, std::int64_t e,
                                  const std::string& wm) {
            reports.push_back({code, m, e, wm});
        };
    }
};

struct OpenCase {
    const char* op;
    int code;
    bool connected;
};

class OpenFailures : public PortFixture, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenFailures, ReportedOnceAndOpeningGoesOn) {
    const OpenCase& c = GetParam();
    Watch();
    line->failures[c.op] = EIO;
    port.Open();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].code, c.code);
    EXPECT_EQ(reports[0].message, ComportMessage(c.code));
    EXPECT_EQ(reports[0].winError, EIO);
    EXPECT_FALSE(reports[0].winMessage.empty());
    EXPECT_EQ(port.Connected(), c.connected);
    EXPECT_EQ(line->watching, c.connected);
}

INSTANTIATE_TEST_SUITE_P(Port, OpenFailures,
                         ::testing::Values(OpenCase{"open", 1, false}, OpenCase{"queues", 9, true},
                                           OpenCase{"settings", 7, true}, OpenCase{"timeouts", 8, true}));

TEST_F(PortFixture, MessagesOfTheCodesOstrelMeets) {
    const std::vector<std::pair<int, const char*>> table = {{1, "Unable to open com port"},
                                                            {2, "WriteFile function failed"},
                                                            {3, "ReadFile function failed"},
                                                            {5, "PurgeComm function failed"},
                                                            {7, "SetCommState function failed"},
                                                            {8, "SetCommTimeouts failed"},
                                                            {9, "SetupComm function failed"},
                                                            {10, "ClearCommError function failed"},
                                                            {11, "GetCommModemStatus function failed"},
                                                            {18, "Link (un)registration failed"},
                                                            {24, "Port Not Open"}};
    for (auto [code, text] : table)
        EXPECT_EQ(ComportMessage(code), text) << code;
}

TEST_F(PortFixture, WithoutHandlerFailuresAreThrownWithTheirErrorNumber) {
    line->failures["open"] = ENOENT;
    try {
        port.Open();
        FAIL() << "no exception";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code, 1);
        EXPECT_EQ(e.WinCode, ENOENT);
        EXPECT_EQ(std::string(e.what()), "Unable to open com port (Error: " + std::to_string(ENOENT) + ")");
    }
    try {
        char c = 'x';
        port.Write(&c, 1);
        FAIL() << "no exception";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code, 24);
        EXPECT_EQ(e.WinCode, -1);
        EXPECT_EQ(std::string(e.what()), "Port Not Open");
    }
}

TEST_F(PortFixture, SetupFailureWithoutHandlerClosesTheDeviceAgain) {
    line->failures["settings"] = EINVAL;
    EXPECT_THROW(port.Open(), EComPort);
    EXPECT_FALSE(port.Connected());
    EXPECT_FALSE(line->open);
    EXPECT_FALSE(line->watching);
}

TEST_F(PortFixture, WriteWhileClosedReportsCode24AndWritesNothing) {
    Watch();
    EXPECT_EQ(port.WriteStr("abc"), 0);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].code, 24);
    EXPECT_EQ(reports[0].winError, -24);
    EXPECT_EQ(line->written, "");
}

TEST_F(PortFixture, WriteFailureReportedOnce) {
    Watch();
    port.Open();
    line->failures["write"] = EIO;
    port.WriteStr("a");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].code, 2);
}

TEST_F(PortFixture, WriteStrSendsLowBytes) {
    port.Open();
    const std::string all = [] {
        std::string s;
        for (int i = 0; i < 256; ++i)
            s += static_cast<char>(i);
        return s;
    }();
    EXPECT_EQ(port.WriteStr(all), 256);
    EXPECT_EQ(line->written, all);
}

TEST_F(PortFixture, EveryReceiverSeesEveryChunkInRegistrationOrder) {
    port.Open();
    std::vector<std::string> seen;
    TComLink a, b, silent;
    a.OnRxBuf = [&](TCustomComPort*, const char* buf, int n) { seen.push_back("a:" + std::string(buf, n)); };
    b.OnRxBuf = [&](TCustomComPort*, const char* buf, int n) { seen.push_back("b:" + std::string(buf, n)); };
    port.RegisterLink(&a);
    port.RegisterLink(&silent);
    port.RegisterLink(&b);
    line->Inject("one");
    loop.RunFor(1);
    line->Inject("two");
    loop.RunFor(1);
    EXPECT_EQ(seen, (std::vector<std::string>{"a:one", "b:one", "a:two", "b:two"}));
}

TEST_F(PortFixture, BytesStayQueuedWithoutAReceiver) {
    port.Open();
    TComLink silent;
    port.RegisterLink(&silent);
    line->Inject("abc");
    loop.RunFor(1);
    EXPECT_EQ(line->queued, "abc");
}

TEST_F(PortFixture, RegisteringTwiceOrRemovingAStrangerIsCode18) {
    Watch();
    TComLink a;
    port.RegisterLink(&a);
    port.RegisterLink(&a);
    TComLink stranger;
    port.UnRegisterLink(&stranger);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].code, 18);
    EXPECT_EQ(reports[1].code, 18);
}

TEST_F(PortFixture, LineErrorsGoToOnErrorAndThePortStaysOpen) {
    port.Open();
    TComErrors got = 0;
    port.OnError = [&](TCustomComPort*, TComErrors e) { got = e; };
    line->errors = ceFrame | ceOverrun;
    line->Inject("", evError);
    loop.RunFor(1);
    EXPECT_EQ(got, ceFrame | ceOverrun);
    EXPECT_TRUE(port.Connected());
}

TEST_F(PortFixture, HangUpReportedOnceAsReadFailure) {
    Watch();
    port.Open();
    line->Inject("", evHangup, EIO);
    line->Inject("", evHangup, EIO);
    loop.RunFor(1);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].code, 3);
    EXPECT_EQ(reports[0].winError, EIO);
}

TEST_F(PortFixture, AThrowingReceiverDoesNotStopLaterDeliveries) {
    port.Open();
    int calls = 0;
    TComLink link;
    link.OnRxBuf = [&](TCustomComPort*, const char*, int) {
        ++calls;
        throw std::runtime_error("receiver failed");
    };
    port.RegisterLink(&link);
    testing::internal::CaptureStderr();
    line->Inject("a");
    loop.RunFor(1);
    line->Inject("b");
    loop.RunFor(1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(calls, 2);
    EXPECT_NE(err.find("receiver failed"), std::string::npos);
}

TEST_F(PortFixture, NothingArrivesAfterClose) {
    port.Open();
    int calls = 0;
    TComLink link;
    link.OnRxBuf = [&](TCustomComPort*, const char*, int) { ++calls; };
    port.RegisterLink(&link);
    line->Inject("late"); // queued in the loop, not yet handled
    port.Close();
    loop.RunFor(1);
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(port.Connected());
    port.Close(); // closing again does nothing
}

TEST_F(PortFixture, PropertiesAreLockedWhileConnected) {
    Watch();
    port.SetBaudRate(TBaudRate::brCustom);
    port.SetCustomBaudRate(19200);
    port.Open();
    port.SetPort("COM9");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].code, 14);
    EXPECT_EQ(port.Port(), "COM1");
    EXPECT_EQ(port.EffectiveSettings().BaudRate, 19200);
}

} // namespace
