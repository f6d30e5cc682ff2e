#include "loop/qt/QtMessageLoop.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <thread>

#ifndef _WIN32
#include <unistd.h>
#endif

using namespace mirota;

namespace {

class QtLoopTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "qt_loop_test";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
    }
    QtMessageLoop loop;
};

TEST_F(QtLoopTest, DelayWaitsTheTimeAndRunsJobsMeanwhile) {
    bool ran = false;
    loop.StartTimer(
        50, [&] { ran = true; }, false);
    const auto t0 = loop.TickCount();
    Delay(loop, 200);
    const auto elapsed = loop.TickCount() - t0;
    EXPECT_TRUE(ran);
    EXPECT_GE(elapsed, 200u);
    EXPECT_LT(elapsed, 350u);
}

TEST_F(QtLoopTest, WaitForMessageTellsArrivalFromTimeOut) {
    Delay(loop, 20); // whatever the application queued at its start
    auto t0 = loop.TickCount();
    EXPECT_FALSE(loop.WaitForMessage(60));
    EXPECT_GE(loop.TickCount() - t0, 60u);

    std::thread poster([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        loop.Post([] {});
    });
    t0 = loop.TickCount();
    EXPECT_TRUE(loop.WaitForMessage(2000));
    EXPECT_LT(loop.TickCount() - t0, 1000u);
    poster.join();
}

TEST_F(QtLoopTest, HandOverRunsInTheLoopThreadAndBlocksTheWorker) {
    const auto gui = std::this_thread::get_id();
    std::thread::id ranIn;
    std::atomic<bool> returned{false}, result{false};
    std::thread worker([&] {
        result = loop.HandOver([&] { ranIn = std::this_thread::get_id(); });
        returned = true;
    });
    Delay(loop, 100);
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_TRUE(result);
    EXPECT_EQ(ranIn, gui);
}

TEST_F(QtLoopTest, AbandonedHandOverReturnsAndNeverRuns) {
    std::atomic<bool> stop{false}, ran{false}, result{true};
    std::thread worker([&] { result = loop.HandOver([&] { ran = true; }, [&] { return stop.load(); }); });
    std::this_thread::sleep_for(std::chrono::milliseconds(30)); // the GUI thread is busy
    stop = true;
    worker.join();
    Delay(loop, 30);
    EXPECT_FALSE(result);
    EXPECT_FALSE(ran);
}

TEST_F(QtLoopTest, TerminatingReleasesHandOverAndDelay) {
    std::atomic<bool> result{true};
    std::thread worker([&] { result = loop.HandOver([] {}); });
    loop.SetTerminating(true);
    worker.join();
    EXPECT_FALSE(result);
    const auto t0 = loop.TickCount();
    loop.Post([] {});
    Delay(loop, 1000);
    EXPECT_LT(loop.TickCount() - t0, 500u);
}

TEST_F(QtLoopTest, TimersRepeatOrFireOnceAndCanBeKilledFromTheirTick) {
    int repeating = 0, once = 0;
    TimerId id = 0;
    id = loop.StartTimer(10, [&] {
        if (++repeating == 3) loop.KillTimer(id);
    });
    loop.StartTimer(
        10, [&] { ++once; }, false);
    Delay(loop, 150);
    EXPECT_EQ(repeating, 3);
    EXPECT_EQ(once, 1);
}

#ifndef _WIN32
// Watching descriptors is for the Unix messenger and uevent socket.
TEST_F(QtLoopTest, WatchReadableCallsBackForData) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    int calls = 0;
    const TimerId watch = loop.WatchReadable(fds[0], [&] {
        char c;
        if (::read(fds[0], &c, 1) == 1) ++calls;
    });
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    Delay(loop, 50);
    EXPECT_EQ(calls, 1);
    loop.UnwatchReadable(watch);
    ::close(fds[0]);
    ::close(fds[1]);
}
#endif

} // namespace
