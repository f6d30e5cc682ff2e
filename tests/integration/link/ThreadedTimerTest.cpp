// The threaded timer with a real worker thread and a real-time loop. Intervals are short and the
// bounds generous: these check the rules, not the machine's timing.
#include "link/ThreadedTimer.h"
#include "loop/RealTimeLoop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

using namespace mirota;
using Clock = std::chrono::steady_clock;

namespace {

std::int64_t MsSince(Clock::time_point t0) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
}

TEST(ThreadedTimer, FirstTickComesAFullIntervalAfterEnabling) {
    RealTimeLoop loop;
    TThreadedTimer timer(loop);
    timer.SetInterval(100);
    std::vector<std::int64_t> ticks;
    const auto t0 = Clock::now();
    timer.OnTimer = [&](void*) { ticks.push_back(MsSince(t0)); };
    timer.SetEnabled(true);
    ASSERT_TRUE(loop.RunUntil([&] { return ticks.size() >= 2; }, 5000));
    EXPECT_GE(ticks[0], 95);
    EXPECT_GE(ticks[1] - ticks[0], 95);
}

TEST(ThreadedTimer, TickRunsInTheLoopThread) {
    RealTimeLoop loop;
    TThreadedTimer timer(loop);
    timer.SetInterval(20);
    std::thread::id where;
    timer.OnTimer = [&](void*) { where = std::this_thread::get_id(); };
    timer.SetEnabled(true);
    ASSERT_TRUE(loop.RunUntil([&] { return where != std::thread::id(); }, 5000));
    EXPECT_EQ(where, std::this_thread::get_id());
}

TEST(ThreadedTimer, DisablingSuspendsAndEnablingRestartsTheWait) {
    RealTimeLoop loop;
    TThreadedTimer timer(loop);
    timer.SetInterval(150);
    int ticks = 0;
    timer.OnTimer = [&](void*) { ++ticks; };
    timer.SetEnabled(true);
    loop.RunUntil([] { return false; }, 100);
    timer.SetEnabled(false);
    loop.RunUntil([] { return false; }, 300);
    EXPECT_EQ(ticks, 0);
    // Re-enabled 100 ms into a wait: the next tick still needs a whole interval.
    const auto t0 = Clock::now();
    timer.SetEnabled(true);
    loop.RunUntil([] { return false; }, 100);
    timer.SetEnabled(true);
    const auto t1 = Clock::now();
    ASSERT_TRUE(loop.RunUntil([&] { return ticks == 1; }, 5000));
    EXPECT_GE(MsSince(t1), 140);
    EXPECT_GE(MsSince(t0), 240);
}

TEST(ThreadedTimer, ThrowingHandlerIsSwallowedAndTicksGoOn) {
    RealTimeLoop loop;
    TThreadedTimer timer(loop);
    timer.SetInterval(20);
    int ticks = 0;
    timer.OnTimer = [&](void*) {
        ++ticks;
        throw std::runtime_error("tick failed");
    };
    timer.SetEnabled(true);
    EXPECT_TRUE(loop.RunUntil([&] { return ticks >= 3; }, 5000));
}

TEST(ThreadedTimer, DestructionJoinsEvenWhileATickWaitsForTheLoop) {
    RealTimeLoop loop;
    auto timer = std::make_unique<TThreadedTimer>(loop);
    timer->SetInterval(10);
    int ticks = 0;
    timer->OnTimer = [&](void*) { ++ticks; };
    timer->SetEnabled(true);
    // Let the worker hand a tick over that nobody runs, then destroy the timer without pumping.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto t0 = Clock::now();
    timer.reset();
    EXPECT_LT(MsSince(t0), 2000);
    loop.RunUntil([] { return false; }, 30);
    EXPECT_EQ(ticks, 0); // the abandoned tick never ran
}

TEST(ThreadedTimer, ChangingTheIntervalKeepsTheEnabledState) {
    RealTimeLoop loop;
    TThreadedTimer timer(loop);
    timer.SetInterval(1000);
    timer.SetEnabled(true);
    timer.SetInterval(20);
    EXPECT_TRUE(timer.Enabled());
    int ticks = 0;
    timer.OnTimer = [&](void*) { ++ticks; };
    EXPECT_TRUE(loop.RunUntil([&] { return ticks >= 1; }, 900));
}

} // namespace
