// TComPort on a pseudo-terminal with the platform backend, a real-time loop and the real watcher thread.
#include "link/ComPort.h"

#include "PtyPair.h"
#include "loop/RealTimeLoop.h"
#include "platform/posix/serial/TermiosBackend.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include <termios.h>

namespace mirota {
namespace {

using test::AllByteValues;
using test::Eventually;
using test::PtyPair;
using test::ThreadCount;

struct Failure {
    int code;
    std::string message;
    std::int64_t winError;
    std::string winMessage;
};

// A receiver that keeps every chunk it was given.
struct Receiver {
    Receiver() {
        link.OnRxBuf = [this](TCustomComPort*, const char* buffer, int count) {
            chunks.emplace_back(buffer, static_cast<std::size_t>(count));
            all.append(buffer, static_cast<std::size_t>(count));
        };
    }
    TComLink link;
    std::vector<std::string> chunks;
    std::string all;
};

// The port set up as the control program sets it up: 19200 baud, 8N1, no flow control.
void SetUpAsOstrel(TComPort& port, const std::string& name, std::vector<Failure>& failures) {
    port.SetPort(name);
    port.SetBaudRate(TBaudRate::brCustom);
    port.SetCustomBaudRate(19200);
    port.SetFlowControlNone();
    port.OnException = [&failures](TCustomComPort*, int code, const std::string& message,
                                   std::int64_t winError, const std::string& winMessage) {
        failures.push_back({code, message, winError, winMessage});
    };
}

class ComPortPtyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.Ok());
        threadsBefore = ThreadCount();
        SetUpAsOstrel(port, pty.SlavePath(), failures);
        port.RegisterLink(&first.link);
        port.RegisterLink(&second.link);
    }
    bool WatcherRunning() { return static_cast<TermiosBackend&>(port.Backend()).WatcherRunning(); }
    void RunFor(std::uint32_t ms) {
        loop.RunUntil([] { return false; }, ms);
    }

    PtyPair pty;
    RealTimeLoop loop;
    std::vector<Failure> failures;
    Receiver first, second;
    TComPort port{loop};
    int threadsBefore = 0;
};

TEST_F(ComPortPtyTest, OpenAppliesTheLineSettings) {
    port.Open();
    ASSERT_TRUE(port.Connected());
    EXPECT_TRUE(failures.empty());
    termios t{};
    ASSERT_EQ(0, ::tcgetattr(pty.Slave(), &t));
    EXPECT_EQ(B19200, ::cfgetospeed(&t));
    EXPECT_EQ(B19200, ::cfgetispeed(&t));
    EXPECT_EQ(unsigned(CS8), t.c_cflag & CSIZE);
    EXPECT_EQ(0u, t.c_cflag & (CRTSCTS | PARENB | CSTOPB));
    EXPECT_EQ(0u, t.c_iflag & (IXON | IXOFF | IXANY | ICRNL));
    EXPECT_EQ(0u, t.c_oflag & OPOST);
    EXPECT_EQ(0u, t.c_lflag & (ICANON | ECHO));
    EXPECT_EQ(threadsBefore + 1, ThreadCount());
    port.Close();
    EXPECT_FALSE(port.Connected());
    EXPECT_TRUE(Eventually(loop, [&] { return ThreadCount() == threadsBefore; }));
    EXPECT_TRUE(failures.empty());
}

TEST_F(ComPortPtyTest, RateTheLineCannotTakeIsReportedAndOpeningGoesOn) {
    port.SetCustomBaudRate(14400);
    port.Open();
    ASSERT_EQ(1u, failures.size());
    EXPECT_EQ(CE_SetStateFailed, failures[0].code);
    EXPECT_EQ("SetCommState function failed", failures[0].message);
    EXPECT_EQ(EINVAL, failures[0].winError);
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(1, port.WriteStr("A"));
    EXPECT_EQ("A", pty.Receive(1));
}

TEST_F(ComPortPtyTest, EveryByteValueCrossesUnchangedAndEveryReceiverSeesIt) {
    port.Open();
    ASSERT_TRUE(port.Connected());
    const std::string all = AllByteValues();
    std::string asText;
    for (char c : all)
        asText += c;
    EXPECT_EQ(256, port.WriteStr(asText));
    EXPECT_EQ(all, pty.Receive(all.size()));

    // Sent in pieces so that several chunks arrive.
    for (std::size_t at = 0; at < all.size(); at += 64) {
        ASSERT_TRUE(pty.Send(all.substr(at, 64)));
        ASSERT_TRUE(loop.RunUntil([&] { return first.all.size() >= at + 64; }, 5000)) << "chunk at " << at;
    }
    EXPECT_TRUE(loop.RunUntil([&] { return second.all.size() >= all.size(); }, 5000));
    EXPECT_EQ(all, first.all);
    EXPECT_EQ(first.chunks, second.chunks);
    EXPECT_TRUE(failures.empty());
}

TEST_F(ComPortPtyTest, MissingPortIsReportedOnceAndStaysClosed) {
    TComPort missing(loop);
    std::vector<Failure> mine;
    SetUpAsOstrel(missing, pty.SlavePath() + "-missing", mine);
    missing.Open();
    ASSERT_EQ(1u, mine.size());
    EXPECT_EQ(CE_OpenFailed, mine[0].code);
    EXPECT_EQ("Unable to open com port", mine[0].message);
    EXPECT_EQ(ENOENT, mine[0].winError);
    EXPECT_FALSE(mine[0].winMessage.empty());
    EXPECT_FALSE(missing.Connected());
    EXPECT_EQ(threadsBefore, ThreadCount());
    RunFor(50);
    EXPECT_EQ(1u, mine.size());

    // Writing to a port that is not open.
    EXPECT_EQ(0, missing.WriteStr("*"));
    ASSERT_EQ(2u, mine.size());
    EXPECT_EQ(CEPortNotOpen, mine[1].code);
    EXPECT_EQ("Port Not Open", mine[1].message);
}

TEST_F(ComPortPtyTest, SecondPortOnTheSameLineCannotOpen) {
    port.Open();
    ASSERT_TRUE(port.Connected());
    TComPort other(loop);
    std::vector<Failure> mine;
    SetUpAsOstrel(other, pty.SlavePath(), mine);
    other.Open();
    ASSERT_EQ(1u, mine.size());
    EXPECT_EQ(CE_OpenFailed, mine[0].code);
    EXPECT_EQ(EBUSY, mine[0].winError);
    EXPECT_FALSE(other.Connected());
    // The first one is not disturbed.
    EXPECT_EQ(1, port.WriteStr("A"));
    EXPECT_EQ("A", pty.Receive(1));
    // Once the first closes, the line is free again.
    port.Close();
    other.Open();
    EXPECT_TRUE(other.Connected());
    EXPECT_EQ(1u, mine.size());
}

TEST_F(ComPortPtyTest, HangUpIsReportedOnceAndTheWatcherEnds) {
    port.Open();
    ASSERT_TRUE(port.Connected());
    ASSERT_TRUE(pty.Send("last words"));
    ASSERT_TRUE(loop.RunUntil([&] { return first.all == "last words"; }, 5000));
    pty.CloseMaster();
    ASSERT_TRUE(loop.RunUntil([&] { return !failures.empty(); }, 5000));
    EXPECT_EQ(CE_ReadFailed, failures[0].code);
    EXPECT_EQ("ReadFile function failed", failures[0].message);
    EXPECT_EQ(EIO, failures[0].winError);
    EXPECT_TRUE(Eventually(loop, [&] { return !WatcherRunning(); }));
    EXPECT_TRUE(Eventually(loop, [&] { return ThreadCount() == threadsBefore; }));
    RunFor(200);
    EXPECT_EQ(1u, failures.size());
    // Writing on the dead line is a write failure; closing afterwards adds nothing.
    EXPECT_EQ(0, port.WriteStr("*"));
    ASSERT_EQ(2u, failures.size());
    EXPECT_EQ(CE_WriteFailed, failures[1].code);
    port.Close();
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(2u, failures.size());
}

TEST_F(ComPortPtyTest, CloseReturnsWhileTheWatcherWaitsForThisThread) {
    port.Open();
    ASSERT_TRUE(port.Connected());
    ASSERT_TRUE(pty.Send("pending"));
    // The watcher has handed the data over; this thread does not run it and closes instead.
    ASSERT_TRUE(loop.WaitForMessage(5000));
    const auto start = std::chrono::steady_clock::now();
    port.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_FALSE(port.Connected());
    EXPECT_FALSE(WatcherRunning());
    // The batch that was handed over is dropped, not delivered to a closed port.
    loop.ProcessMessages();
    EXPECT_TRUE(first.chunks.empty());
    EXPECT_TRUE(failures.empty());
    EXPECT_TRUE(Eventually(loop, [&] { return ThreadCount() == threadsBefore; }));
}

TEST_F(ComPortPtyTest, ReceiverMayCloseThePortFromItsCallback) {
    first.link.OnRxBuf = [this](TCustomComPort* sender, const char*, int) { sender->Close(); };
    port.Open();
    ASSERT_TRUE(pty.Send("bye"));
    ASSERT_TRUE(Eventually(loop, [&] { return !port.Connected(); }));
    EXPECT_TRUE(Eventually(loop, [&] { return ThreadCount() == threadsBefore; }));
    EXPECT_TRUE(failures.empty());
}

} // namespace
} // namespace mirota
