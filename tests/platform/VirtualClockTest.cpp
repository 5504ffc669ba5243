#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include "platform/Clock.h"

using namespace kelto;

TEST(VirtualClock, HalfHourWaitRunsEveryTickAtOnce)
{
    auto clock = makeVirtualClock();
    auto timer = clock->createTimer();
    int ticks = 0;
    std::vector<qint64> tickTimes;
    timer->setCallback([&] {
        ++ticks;
        if (tickTimes.size() < 3)
            tickTimes.push_back(clock->nowMs());
    });
    timer->start(1000);
    QElapsedTimer real;
    real.start();
    EXPECT_FALSE(clock->wait(30 * 60 * 1000));
    EXPECT_LT(real.elapsed(), 3 * 60 * 1000); // a tenth of the half hour, for a loaded machine
    EXPECT_EQ(ticks, 1800);
    EXPECT_EQ(clock->nowMs(), 30 * 60 * 1000);
    EXPECT_EQ(tickTimes, (std::vector<qint64>{1000, 2000, 3000}));
}

TEST(VirtualClock, TimersFireInDeadlineOrderAndStopWhenStopped)
{
    auto clock = makeVirtualClock();
    auto slow = clock->createTimer();
    auto fast = clock->createTimer();
    QString order;
    slow->setCallback([&] { order += QLatin1Char('S'); });
    fast->setCallback([&] {
        order += QLatin1Char('f');
        if (clock->nowMs() >= 900)
            fast->stop();
    });
    slow->start(1000);
    fast->start(300);
    clock->wait(2500);
    EXPECT_EQ(order, QStringLiteral("fffSS"));
    EXPECT_FALSE(fast->isActive());
}

TEST(VirtualClock, PostedEventsRunBetweenTicks)
{
    auto clock = makeVirtualClock();
    auto timer = clock->createTimer();
    QObject context;
    QStringList seen;
    timer->setCallback([&] {
        seen << QStringLiteral("tick");
        QTimer::singleShot(0, &context, [&] { seen << QStringLiteral("posted"); });
    });
    timer->start(1000);
    clock->wait(2000);
    EXPECT_EQ(seen, (QStringList{"tick", "posted", "tick", "posted"}));
}

TEST(VirtualClock, StopConditionEndsTheWaitAtTheTickThatSetIt)
{
    auto clock = makeVirtualClock();
    auto timer = clock->createTimer();
    bool abort = false;
    timer->setCallback([&] {
        if (clock->nowMs() == 3000) {
            abort = true;
            clock->wake();
        }
    });
    timer->start(1000);
    EXPECT_TRUE(clock->wait(60000, [&] { return abort; }));
    EXPECT_EQ(clock->nowMs(), 3000);

    // A condition that already holds ends the wait before time moves.
    EXPECT_TRUE(clock->wait(60000, [] { return true; }));
    EXPECT_EQ(clock->nowMs(), 3000);
}

TEST(VirtualClock, WaitWithoutTimersJumpsToItsEnd)
{
    auto clock = makeVirtualClock();
    int checks = 0;
    EXPECT_FALSE(clock->wait(5000, [&] { return ++checks > 100; }));
    EXPECT_EQ(clock->nowMs(), 5000);
    EXPECT_LE(checks, 3);
}

TEST(VirtualClock, TimerDestroyedInItsOwnTickIsSafe)
{
    auto clock = makeVirtualClock();
    auto timer = clock->createTimer();
    int ticks = 0;
    timer->setCallback([&] {
        ++ticks;
        timer.reset();
    });
    timer->start(1000);
    clock->wait(5000);
    EXPECT_EQ(ticks, 1);
}

TEST(VirtualClock, NestedWaitInsideATickKeepsTimeMonotonic)
{
    auto clock = makeVirtualClock();
    auto outer = clock->createTimer();
    auto other = clock->createTimer();
    int outerTicks = 0;
    int otherTicks = 0;
    outer->setCallback([&] {
        if (++outerTicks == 1)
            clock->wait(2500); // a count-down inside an event handler
    });
    other->setCallback([&] { ++otherTicks; });
    outer->start(1000);
    other->start(1000);
    clock->wait(4000);
    EXPECT_EQ(clock->nowMs(), 4000);
    // The outer tick never re-enters itself while its handler waits; it catches up once after.
    EXPECT_EQ(outerTicks, 2);
    EXPECT_EQ(otherTicks, 4);
}

TEST(VirtualClock, ModalDialogClosedByAVirtualTimerReturns)
{
    auto clock = makeVirtualClock();
    auto timer = clock->createTimer();
    QDialog dialog;
    timer->setCallback([&] {
        timer->stop();
        dialog.accept();
    });
    timer->start(10 * 60 * 1000);
    QElapsedTimer real;
    real.start();
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_LT(real.elapsed(), 60 * 1000); // a tenth of the ten minutes
    EXPECT_EQ(clock->nowMs(), 10 * 60 * 1000);
}

TEST(VirtualClock, ModalDialogOpenedInsideAWaitStillSeesTimeMove)
{
    auto clock = makeVirtualClock();
    auto opener = clock->createTimer();
    auto closer = clock->createTimer();
    QDialog dialog;
    int result = -1;
    opener->setCallback([&] {
        opener->stop();
        closer->start(2000);
        result = dialog.exec();
    });
    closer->setCallback([&] {
        closer->stop();
        dialog.reject();
    });
    opener->start(1000);
    EXPECT_FALSE(clock->wait(10000));
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(clock->nowMs(), 10000);
}

TEST(VirtualClock, InstalledClockServesTheSeam)
{
    auto previous = Clock::install(makeVirtualClock());
    auto timer = Clock::instance().createTimer();
    int ticks = 0;
    timer->setCallback([&] { ++ticks; });
    timer->start(250);
    pause(1000);
    EXPECT_EQ(ticks, 4);
    timer.reset();
    Clock::install(std::move(previous));
}

TEST(VirtualClock, IdleLoopWithoutPendingTimersLeavesTimeAlone)
{
    auto clock = makeVirtualClock();
    auto stopped = clock->createTimer();
    stopped->start(1000);
    stopped->stop();
    QDialog dialog;
    QTimer::singleShot(20, &dialog, &QDialog::accept); // real time closes it
    dialog.exec();
    EXPECT_EQ(clock->nowMs(), 0);
}
