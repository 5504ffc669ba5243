#include <QSignalSpy>
#include <gtest/gtest.h>

#include "framework/FTimer.h"
#include "platform/Clock.h"

using namespace kelto;

namespace {

class FTimerTest : public ::testing::Test {
protected:
    void SetUp() override { m_previous = Clock::install(makeVirtualClock()); }
    void TearDown() override { Clock::install(std::move(m_previous)); }

    static int ticksDuring(FTimer& timer, qint64 ms)
    {
        QSignalSpy spy(&timer, &FTimer::Timer);
        Clock::instance().wait(ms);
        return static_cast<int>(spy.count());
    }

private:
    std::unique_ptr<Clock> m_previous;
};

} // namespace

TEST_F(FTimerTest, TicksOncePerIntervalUntilStopped)
{
    FTimer timer;
    timer.StartTimer(1000);
    EXPECT_EQ(ticksDuring(timer, 3500), 3);
    timer.StopTimer();
    EXPECT_EQ(ticksDuring(timer, 5000), 0);
    timer.StartTimer(1000);
    EXPECT_EQ(ticksDuring(timer, 2000), 2);
}

TEST_F(FTimerTest, ZeroIntervalAndAFreshTimerNeverTick)
{
    FTimer fresh;
    EXPECT_EQ(ticksDuring(fresh, 10000), 0);
    fresh.StopTimer(); // harmless before any start

    FTimer zero;
    zero.StartTimer(0);
    EXPECT_EQ(ticksDuring(zero, 10000), 0);
}

TEST_F(FTimerTest, OutOfRangeIntervalKeepsThePreviousOne)
{
    FTimer timer;
    timer.StartTimer(1000);
    EXPECT_EQ(ticksDuring(timer, 500), 0);
    timer.StartTimer(70000);
    EXPECT_EQ(ticksDuring(timer, 3000), 3); // rhythm unbroken: 1000, 2000, 3000
    timer.StartTimer(-5);
    EXPECT_EQ(ticksDuring(timer, 2000), 2);
}

TEST_F(FTimerTest, OutOfRangeIntervalStillEnablesAStoppedTimer)
{
    FTimer timer;
    timer.StartTimer(1000);
    timer.StopTimer();
    timer.StartTimer(65536);
    EXPECT_EQ(ticksDuring(timer, 3000), 3);
}

TEST_F(FTimerTest, NewIntervalOnARunningTimerTakesEffect)
{
    FTimer timer;
    timer.StartTimer(1000);
    EXPECT_EQ(ticksDuring(timer, 2000), 2);
    timer.StartTimer(500);
    EXPECT_EQ(ticksDuring(timer, 2000), 4);
    timer.StartTimer(65535);
    EXPECT_EQ(ticksDuring(timer, 65535), 1);
}
