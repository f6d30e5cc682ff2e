// The termios backend on a pseudo-terminal, through the SerialBackend interface, with real threads.
#include "platform/posix/serial/TermiosBackend.h"

#include "PtyPair.h"
#include "loop/RealTimeLoop.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace mirota {
namespace {

using test::AllByteValues;
using test::PtyPair;

LineSettings Line(int baud = 19200) {
    LineSettings s; // 8 data bits, no parity, one stop bit, no flow control, RTS and DTR inactive
    s.BaudRate = baud;
    return s;
}

// Takes the watcher's batches in the loop's thread; reads the queued bytes as the port does, unless
// told to leave them in the queue.
struct Recorder : LineEventSink {
    explicit Recorder(SerialBackend& b) : backend(b) {}
    void HandleLineEvents(unsigned events, int error) override {
        batches.push_back(events);
        if (events & evHangup) hangups.push_back(error);
        if ((events & evRxChar) && readData) {
            std::size_t queued = 0;
            ASSERT_EQ(0, backend.BytesQueued(queued));
            std::string buf(queued, '\0');
            std::size_t got = 0;
            ASSERT_EQ(0, backend.Read(buf.data(), buf.size(), got));
            received.append(buf.data(), got);
        }
        if (duringHandling) duringHandling();
    }
    SerialBackend& backend;
    bool readData = true;
    std::function<void()> duringHandling;
    std::vector<unsigned> batches;
    std::vector<int> hangups;
    std::string received;
};

class TermiosBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.Ok());
        ASSERT_EQ(0, backend.OpenDevice(pty.SlavePath()));
        ASSERT_EQ(0, backend.SetupQueues({}));
        ASSERT_EQ(0, backend.ApplySettings(Line()));
        ASSERT_EQ(0, backend.ApplyTimeouts({}));
    }
    // Runs the loop for a while, for "nothing more happens" checks.
    void RunFor(std::uint32_t ms) {
        loop.RunUntil([] { return false; }, ms);
    }

    PtyPair pty;
    RealTimeLoop loop;
    TermiosBackend backend;
    Recorder sink{backend};
};

TEST_F(TermiosBackendTest, LineSettingsReadBackRawAt19200) {
    termios t{};
    ASSERT_EQ(0, ::tcgetattr(pty.Slave(), &t));
    EXPECT_EQ(B19200, ::cfgetispeed(&t));
    EXPECT_EQ(B19200, ::cfgetospeed(&t));
    EXPECT_EQ(unsigned(CS8), t.c_cflag & CSIZE);
    EXPECT_EQ(0u, t.c_cflag & (PARENB | CSTOPB | CRTSCTS | HUPCL));
    EXPECT_EQ(unsigned(CLOCAL | CREAD), t.c_cflag & (CLOCAL | CREAD));
    EXPECT_EQ(0u, t.c_iflag & (IXON | IXOFF | IXANY | INPCK | PARMRK | ISTRIP | ICRNL | INLCR | IGNCR));
    EXPECT_EQ(0u, t.c_oflag & OPOST);
    EXPECT_EQ(0u, t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
    EXPECT_EQ(0, t.c_cc[VMIN]);
    EXPECT_EQ(0, t.c_cc[VTIME]);
    // A pty has neither modem lines nor error counters: neither is fatal, and no line error shows.
    TComErrors errors = ~0u;
    EXPECT_EQ(0, backend.TakeErrors(errors));
    EXPECT_EQ(0u, errors);
}

TEST_F(TermiosBackendTest, SettingsTheLineCannotTakeAreRefused) {
    struct Case {
        const char* what;
        LineSettings settings;
    };
    std::vector<Case> cases;
    for (int rate : {14400, 56000, 128000, 256000, 0, -19200})
        cases.push_back({"non-standard rate", Line(rate)});
    LineSettings s = Line();
    s.StopBits = TStopBits::sbOne5StopBits;
    cases.push_back({"1.5 stop bits with 8 data bits", s});
    s = Line();
    s.FlowControl.OutDSRFlow = true;
    cases.push_back({"DSR output flow", s});
    s = Line();
    s.FlowControl.ControlRTS = TRTSFlowControl::rtsToggle;
    cases.push_back({"RTS toggle", s});
    s = Line();
    s.FlowControl.ControlDTR = TDTRFlowControl::dtrHandshake;
    cases.push_back({"DTR handshake", s});
    for (const auto& c : cases)
        EXPECT_EQ(EINVAL, backend.ApplySettings(c.settings)) << c.what << " " << c.settings.BaudRate;
    // The line keeps what it had.
    termios t{};
    ASSERT_EQ(0, ::tcgetattr(pty.Slave(), &t));
    EXPECT_EQ(B19200, ::cfgetospeed(&t));
    EXPECT_EQ(0, backend.ApplySettings(Line(115200)));
}

TEST_F(TermiosBackendTest, EveryByteValueCrossesUnchangedBothWays) {
    const std::string all = AllByteValues();
    std::size_t written = 0;
    ASSERT_EQ(0, backend.Write(all.data(), all.size(), written));
    EXPECT_EQ(all.size(), written);
    EXPECT_EQ(all, pty.Receive(all.size()));

    backend.StartEvents(loop, sink);
    ASSERT_TRUE(pty.Send(all));
    EXPECT_TRUE(loop.RunUntil([&] { return sink.received.size() >= all.size(); }, 5000));
    EXPECT_EQ(all, sink.received);
    for (unsigned b : sink.batches)
        EXPECT_EQ(unsigned(evRxChar), b);
}

TEST_F(TermiosBackendTest, BytesNobodyReadsAreAnnouncedOnlyOnce) {
    sink.readData = false;
    backend.StartEvents(loop, sink);
    ASSERT_TRUE(pty.Send("abc"));
    ASSERT_TRUE(loop.RunUntil([&] { return !sink.batches.empty(); }, 5000));
    RunFor(300);
    EXPECT_EQ(1u, sink.batches.size()) << "the watcher keeps announcing bytes that are already queued";
    // New bytes are news again, and a reader then gets all of them.
    sink.readData = true;
    ASSERT_TRUE(pty.Send("d"));
    EXPECT_TRUE(loop.RunUntil([&] { return sink.received == "abcd"; }, 5000)) << sink.received;
    EXPECT_EQ(2u, sink.batches.size());
}

TEST_F(TermiosBackendTest, BytesArrivingWhileABatchIsHandledAreAnnouncedAfterIt) {
    backend.StartEvents(loop, sink);
    sink.duringHandling = [&] {
        if (sink.received != "first") return;
        // The device answers while this batch is still being handled.
        ASSERT_TRUE(pty.Send("second"));
        std::size_t queued = 0;
        for (int i = 0; i < 200 && queued < 6; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            backend.BytesQueued(queued);
        }
    };
    ASSERT_TRUE(pty.Send("first"));
    EXPECT_TRUE(loop.RunUntil([&] { return sink.received == "firstsecond"; }, 5000)) << sink.received;
}

TEST_F(TermiosBackendTest, ATrickleOfBytesIsAnnouncedInGatheredBatches) {
    backend.StartEvents(loop, sink);
    std::string sent;
    for (int i = 0; i < 60; ++i)
        sent += static_cast<char>('a' + i % 26);
    const auto start = std::chrono::steady_clock::now();
    std::thread device([&] { // a byte every 2 ms, as a slow line or a chatty adapter delivers them
        for (char c : sent) {
            ASSERT_TRUE(pty.Send(std::string(1, c)));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    EXPECT_TRUE(loop.RunUntil([&] { return sink.received.size() >= sent.size(); }, 10000));
    device.join();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count();
    EXPECT_EQ(sink.received, sent);
    // About one announcement per 16 ms, however the bytes trickle in; not one per byte.
    EXPECT_LE(sink.batches.size(), static_cast<std::size_t>(ms / 16 + 3)) << ms << " ms";
}

TEST_F(TermiosBackendTest, HangUpIsReportedOnceAndTheWatcherEnds) {
    backend.StartEvents(loop, sink);
    ASSERT_TRUE(backend.WatcherRunning());
    pty.CloseMaster();
    ASSERT_TRUE(loop.RunUntil([&] { return !sink.hangups.empty(); }, 5000));
    EXPECT_EQ(EIO, sink.hangups[0]);
    EXPECT_TRUE(test::Eventually(loop, [&] { return !backend.WatcherRunning(); }));
    RunFor(200);
    EXPECT_EQ(1u, sink.hangups.size());
    EXPECT_EQ(1u, sink.batches.size());
    // A write on the dead line fails instead of pretending.
    std::size_t written = 0;
    EXPECT_NE(0, backend.Write("x", 1, written));
    EXPECT_EQ(0u, written);
}

TEST_F(TermiosBackendTest, StopReturnsWhileAHandOverWaitsAndTheQueuedBatchIsDropped) {
    backend.StartEvents(loop, sink);
    ASSERT_TRUE(pty.Send("late"));
    // The watcher has handed the batch over and waits for this thread, which does not run it.
    ASSERT_TRUE(loop.WaitForMessage(5000));
    const auto start = std::chrono::steady_clock::now();
    backend.StopEvents();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_FALSE(backend.WatcherRunning());
    loop.ProcessMessages();
    EXPECT_TRUE(sink.batches.empty());
    // The line still works, and watching can start again.
    backend.StartEvents(loop, sink);
    EXPECT_TRUE(loop.RunUntil([&] { return sink.received == "late"; }, 5000)) << sink.received;
}

TEST_F(TermiosBackendTest, WriteThatCannotFinishInTimeFails) {
    TComTimeouts t;
    t.WriteTotalMultiplier = 0;
    t.WriteTotalConstant = 300;
    ASSERT_EQ(0, backend.ApplyTimeouts(t));
    // Nobody reads the far end: the pty's queues fill up and the rest cannot be written.
    const std::string big(4 << 20, 'x');
    std::size_t written = 0;
    EXPECT_EQ(ETIMEDOUT, backend.Write(big.data(), big.size(), written));
    EXPECT_LT(written, big.size());
}

TEST_F(TermiosBackendTest, LineIsExclusiveUntilClosed) {
    int exclusive = 0;
    ASSERT_EQ(0, ::ioctl(pty.Slave(), TIOCGEXCL, &exclusive));
    EXPECT_EQ(1, exclusive);
    TermiosBackend second;
    EXPECT_EQ(EBUSY, second.OpenDevice(pty.SlavePath()));
    backend.CloseDevice();
    // The flag lives on the terminal, which the test's own descriptor keeps alive: closing clears it.
    ASSERT_EQ(0, ::ioctl(pty.Slave(), TIOCGEXCL, &exclusive));
    EXPECT_EQ(0, exclusive);
    EXPECT_EQ(0, second.OpenDevice(pty.SlavePath()));
}

TEST_F(TermiosBackendTest, OperationsOnAClosedLineFail) {
    backend.CloseDevice();
    std::size_t n = 0;
    TComErrors errors = 0;
    char c = 0;
    EXPECT_EQ(EBADF, backend.Write("x", 1, n));
    EXPECT_EQ(EBADF, backend.Read(&c, 1, n));
    EXPECT_EQ(EBADF, backend.BytesQueued(n));
    EXPECT_EQ(EBADF, backend.Purge());
    EXPECT_EQ(EBADF, backend.TakeErrors(errors));
    EXPECT_EQ(EBADF, backend.ApplySettings(Line()));
    backend.StartEvents(loop, sink); // nothing to watch: no thread
    EXPECT_FALSE(backend.WatcherRunning());
}

// Port names without a "/" are looked up in the device directory.
class DeviceDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("mirota-devdir-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        ::setenv("MIROTA_DEVICE_DIR", dir.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("MIROTA_DEVICE_DIR");
        std::filesystem::remove_all(dir);
    }
    std::filesystem::path dir;
};

TEST_F(DeviceDirTest, NameIsOpenedInTheDeviceDirectory) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    std::filesystem::create_symlink(pty.SlavePath(), dir / "ttyUSB7");
    TermiosBackend backend;
    ASSERT_EQ(0, backend.OpenDevice("ttyUSB7"));
    ASSERT_EQ(0, backend.ApplySettings(Line()));
    std::size_t written = 0;
    ASSERT_EQ(0, backend.Write("hi", 2, written));
    EXPECT_EQ("hi", pty.Receive(2));
}

TEST_F(DeviceDirTest, OpenFailsWithTheSystemsReason) {
    std::filesystem::create_symlink("/dev/null", dir / "ttyNULL");
    const struct {
        const char* port;
        int error;
    } cases[] = {
        {"COM3", ENOENT},               // a Windows name is just a missing device here
        {"", ENOENT},                   //
        {"/nonexistent/ttyS9", ENOENT}, // a path is taken as it stands
        {"ttyNULL", ENOTTY},            // not a terminal
        {"/dev/null", ENOTTY},          //
    };
    for (const auto& c : cases) {
        TermiosBackend backend;
        EXPECT_EQ(c.error, backend.OpenDevice(c.port)) << c.port;
    }
    EXPECT_EQ("/dev/ttyUSB0", SerialDevicePath("/dev/ttyUSB0"));
    EXPECT_EQ(dir.string() + "/ttyUSB0", SerialDevicePath("ttyUSB0"));
    ::unsetenv("MIROTA_DEVICE_DIR");
    EXPECT_EQ("/dev/ttyUSB0", SerialDevicePath("ttyUSB0"));
}

} // namespace
} // namespace mirota
