#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/Clock.h"

using namespace kelto;

TEST(RealClock, WaitRunsForTheGivenTimeAndKeepsEventsFlowing)
{
    auto clock = makeRealClock();
    bool eventHandled = false;
    QTimer::singleShot(10, [&] { eventHandled = true; });
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(clock->wait(60));
    EXPECT_GE(t.elapsed(), 59);
    EXPECT_TRUE(eventHandled);
}

TEST(RealClock, WaitEndsEarlyWhenItsStopConditionHolds)
{
    auto clock = makeRealClock();
    bool abort = false;
    QTimer::singleShot(20, [&] {
        abort = true;
        clock->wake();
    });
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(clock->wait(5000, [&] { return abort; }));
    EXPECT_LT(t.elapsed(), 1000);
}

TEST(RealClock, TimerTicksEveryIntervalUntilStopped)
{
    auto clock = makeRealClock();
    auto timer = clock->createTimer();
    int ticks = 0;
    timer->setCallback([&] { ++ticks; });
    timer->start(20);
    clock->wait(110);
    timer->stop();
    const int atStop = ticks;
    clock->wait(60);
    EXPECT_GE(atStop, 3);
    EXPECT_LE(atStop, 6);
    EXPECT_EQ(ticks, atStop);
}

TEST(ScaledClock, RunsIntervalsAndWaitsFaster)
{
    auto clock = makeRealClock(0.01);
    auto timer = clock->createTimer();
    int ticks = 0;
    timer->setCallback([&] { ++ticks; });
    timer->start(1000);
    QElapsedTimer t;
    t.start();
    clock->wait(3500);
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_GE(ticks, 2);
    EXPECT_LE(ticks, 4);
}
