#include "framework/Timer.h"
#include "framework/VirtualClock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace fw;

namespace {

struct Fixture : ::testing::Test {
    ScopedVirtualClock clock;
};

using TimerRules = Fixture;

} // namespace

TEST_F(TimerRules, StartsDisabledWithOneSecondAndFiresEveryInterval)
{
    TTimer timer;
    int fired = 0;
    timer.setOnTimer([&](QObject* sender) {
        EXPECT_EQ(sender, &timer);
        ++fired;
    });
    EXPECT_FALSE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 1000u);
    clock.advance(5000);
    EXPECT_EQ(fired, 0);

    timer.setInterval(60);
    timer.setEnabled(true);
    clock.advance(599);
    EXPECT_EQ(fired, 9);
    clock.advance(1);
    EXPECT_EQ(fired, 10);
}

TEST_F(TimerRules, WritingTheCurrentValueLeavesTheRunningCountAlone)
{
    TTimer timer;
    int fired = 0;
    timer.setOnTimer([&](QObject*) { ++fired; });
    timer.setInterval(60);
    timer.setEnabled(true);
    clock.advance(40);
    timer.setInterval(60);
    timer.setEnabled(true);
    clock.advance(20);
    EXPECT_EQ(fired, 1) << "a same-value write restarted the count";
}

TEST_F(TimerRules, ChangingIntervalOrEnabledRestartsTheCount)
{
    TTimer timer;
    int fired = 0;
    timer.setOnTimer([&](QObject*) { ++fired; });
    timer.setInterval(60);
    timer.setEnabled(true);
    clock.advance(40);
    timer.setInterval(50);
    clock.advance(49);
    EXPECT_EQ(fired, 0);
    clock.advance(1);
    EXPECT_EQ(fired, 1);

    clock.advance(30);
    timer.setEnabled(false);
    timer.setEnabled(true);
    clock.advance(49);
    EXPECT_EQ(fired, 1);
    clock.advance(1);
    EXPECT_EQ(fired, 2);
}

TEST_F(TimerRules, IntervalZeroOrNoHandlerNeverFires)
{
    TTimer timer;
    int fired = 0;
    timer.setInterval(0);
    timer.setEnabled(true);
    timer.setOnTimer([&](QObject*) { ++fired; });
    clock.advance(10000);
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(clock.nextDueIn(), -1);
}

TEST_F(TimerRules, VirtualClockFiresDueTimersInTimeOrderIncludingOnesStartedByAHandler)
{
    std::vector<std::string> order;
    TTimer a, b, late;
    a.setInterval(30);
    b.setInterval(20);
    late.setInterval(5);
    a.setOnTimer([&](QObject*) { order.push_back("a@" + std::to_string(clock.nowMs())); });
    b.setOnTimer([&](QObject*) {
        order.push_back("b@" + std::to_string(clock.nowMs()));
        late.setEnabled(true);
    });
    late.setOnTimer([&](QObject*) {
        order.push_back("late@" + std::to_string(clock.nowMs()));
        late.setEnabled(false);
    });
    a.setEnabled(true);
    b.setEnabled(true);
    clock.advance(60);
    const std::vector<std::string> expected = {"b@20", "late@25", "a@30", "b@40", "late@45", "a@60", "b@60"};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(clock.nowMs(), 60u);
    EXPECT_EQ(tickCount(), 60u);
}

TEST_F(TimerRules, AHandlerThatDisablesItsTimerStopsIt)
{
    TTimer timer;
    int fired = 0;
    timer.setInterval(10);
    timer.setOnTimer([&](QObject*) {
        ++fired;
        timer.setEnabled(false);
    });
    timer.setEnabled(true);
    clock.advance(100);
    EXPECT_EQ(fired, 1);
}
