// Delay and the simulated clock.
#include "loop/SimulatedLoop.h"

#include <gtest/gtest.h>

#include <vector>

using namespace mirota;

TEST(Delay, ZeroReturnsAtOnceAndRunsNothing) {
    SimulatedLoop loop;
    bool ran = false;
    loop.Post([&] { ran = true; });
    Delay(loop, 0);
    EXPECT_FALSE(ran);
    EXPECT_EQ(loop.TickCount(), 0u);
}

TEST(Delay, WaitsExactlyAndRunsWhatFallsDue) {
    SimulatedLoop loop;
    std::vector<std::uint64_t> ticks;
    loop.StartTimer(30, [&] { ticks.push_back(loop.TickCount()); });
    Delay(loop, 100);
    EXPECT_EQ(loop.TickCount(), 100u);
    EXPECT_EQ(ticks, (std::vector<std::uint64_t>{30, 60, 90}));
}

TEST(Delay, NestedDelaysKeepTheirOwnDeadlines) {
    SimulatedLoop loop;
    std::uint64_t innerEnd = 0;
    loop.StartTimer(
        10,
        [&] {
            Delay(loop, 50);
            innerEnd = loop.TickCount();
        },
        false);
    Delay(loop, 20);
    // The outer Delay ran the timer, whose own wait took it past the outer deadline.
    EXPECT_EQ(innerEnd, 60u);
    EXPECT_EQ(loop.TickCount(), 60u);
}

TEST(Delay, ReturnsEarlyWhenTerminating) {
    SimulatedLoop loop;
    loop.StartTimer(
        40, [&] { loop.SetTerminating(true); }, false);
    Delay(loop, 1000);
    EXPECT_EQ(loop.TickCount(), 40u);
}

TEST(SimulatedLoop, TimersDueTogetherRunInStartOrder) {
    SimulatedLoop loop;
    std::vector<int> order;
    loop.StartTimer(
        5, [&] { order.push_back(2); }, false);
    loop.StartTimer(
        5, [&] { order.push_back(3); }, false);
    loop.StartTimer(
        3, [&] { order.push_back(1); }, false);
    const TimerId killed = loop.StartTimer(
        4, [&] { order.push_back(99); }, false);
    loop.KillTimer(killed);
    loop.RunFor(10);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(loop.TimerCount(), 0u);
}
