#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/Clock.h"

using namespace kelto;

// Real time: lower bounds hold on any machine; an upper bound only tells a wait that
// ended early from one that ran its course, with room for a loaded, sanitized run.

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
    EXPECT_TRUE(clock->wait(60000, [&] { return abort; }));
    EXPECT_GE(t.elapsed(), 19);
    EXPECT_LT(t.elapsed(), 30000);
}

TEST(RealClock, TimerTicksEveryIntervalUntilStopped)
{
    auto clock = makeRealClock();
    auto timer = clock->createTimer();
    int ticks = 0;
    timer->setCallback([&] { ++ticks; });
    QElapsedTimer t;
    t.start();
    timer->start(20);
    EXPECT_TRUE(clock->wait(60000, [&] { return ticks >= 3; }));
    timer->stop();
    // Ticks come no sooner than their interval (a coarse timer may be 5 % early).
    EXPECT_GE(t.elapsed(), 3 * 19);
    const int atStop = ticks;
    clock->wait(60);
    EXPECT_EQ(ticks, atStop);
}

TEST(ScaledClock, RunsIntervalsAndWaitsFaster)
{
    // At a thousandth, three scaled minutes take 180 ms.
    auto clock = makeRealClock(0.001);
    auto timer = clock->createTimer();
    int ticks = 0;
    timer->setCallback([&] { ++ticks; });
    timer->start(10000);
    QElapsedTimer t;
    t.start();
    const qint64 start = clock->nowMs();
    EXPECT_FALSE(clock->wait(3 * 60000));
    const qint64 real = t.elapsed();
    EXPECT_GE(clock->nowMs() - start, 3 * 60000);
    EXPECT_GE(real, 170);
    EXPECT_LT(real, 18000); // a tenth of the real three minutes
    EXPECT_GE(ticks, 1);
    EXPECT_LE(ticks, real / 9 + 1); // one every 10 ms of real time at most
}
