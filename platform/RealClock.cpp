#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "Clock.h"

namespace kelto {

ClockTimer::~ClockTimer() = default;
Clock::~Clock() = default;

namespace {

std::unique_ptr<Clock>& installed()
{
    static std::unique_ptr<Clock> clock;
    return clock;
}

class RealTimer : public ClockTimer {
public:
    explicit RealTimer(double scale) : m_scale(scale)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { fire(); });
    }
    void start(int intervalMs) override
    {
        m_interval = intervalMs;
        m_timer.start(static_cast<int>(std::lround(intervalMs * m_scale)));
    }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }
    int interval() const override { return m_interval; }

private:
    QTimer m_timer;
    double m_scale;
    int m_interval = 0;
};

class RealClock : public Clock {
public:
    explicit RealClock(double scale) : m_scale(scale) { m_elapsed.start(); }

    qint64 nowMs() const override { return static_cast<qint64>(std::llround(m_elapsed.elapsed() / m_scale)); }

    bool wait(qint64 ms, const std::function<bool()>& stop) override
    {
        const qint64 deadline = nowMs() + ms;
        while (true) {
            if (stop && stop())
                return true;
            const qint64 remaining = deadline - nowMs();
            if (remaining <= 0)
                return false;
            // One nested loop until the deadline, a wake-up or a slice for stop checks.
            QEventLoop loop;
            m_loops.push_back(&loop);
            const qint64 slice = stop ? std::min<qint64>(remaining, kStopPollMs) : remaining;
            QTimer::singleShot(static_cast<int>(std::max<qint64>(1, std::llround(slice * m_scale))), &loop, &QEventLoop::quit);
            loop.exec();
            m_loops.erase(std::find(m_loops.begin(), m_loops.end(), &loop));
        }
    }

    void wake() override
    {
        for (QEventLoop* loop : m_loops)
            loop->quit();
    }

    std::unique_ptr<ClockTimer> createTimer() override { return std::make_unique<RealTimer>(m_scale); }

private:
    // A stop flag set by code that does not call wake() is still seen this soon.
    static constexpr qint64 kStopPollMs = 50;
    QElapsedTimer m_elapsed;
    double m_scale;
    std::vector<QEventLoop*> m_loops;
};

} // namespace

std::unique_ptr<Clock> makeRealClock(double scale)
{
    return std::make_unique<RealClock>(scale);
}

Clock& Clock::instance()
{
    auto& clock = installed();
    if (!clock)
        clock = makeRealClock();
    return *clock;
}

std::unique_ptr<Clock> Clock::install(std::unique_ptr<Clock> clock)
{
    auto previous = std::move(installed());
    installed() = std::move(clock);
    return previous;
}

} // namespace kelto
