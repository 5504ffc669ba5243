#include <QCoreApplication>
#include <QScopeGuard>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <vector>

#include "Clock.h"

namespace kelto {

namespace {

class VirtualTimer;

// Shared by the clock and its timers, so a timer may outlive the clock it came from.
struct VirtualTime {
    VirtualTime();

    qint64 now = 0;
    quint64 sequence = 0;         // orders timers that fall due at the same moment
    std::vector<VirtualTimer*> timers;
    std::vector<int> waitLoopLevels; // event-loop level at entry of each running wait
    QTimer idlePump;              // zero interval: runs whenever the event loop is idle

    VirtualTimer* nextDue(qint64 limit) const;
    void fire(VirtualTimer* timer);
    void updatePump();
    void onIdle();
};

class VirtualTimer : public ClockTimer {
public:
    explicit VirtualTimer(std::shared_ptr<VirtualTime> time) : m_time(std::move(time)) { m_time->timers.push_back(this); }

    ~VirtualTimer() override
    {
        *m_alive = false;
        auto& timers = m_time->timers;
        timers.erase(std::find(timers.begin(), timers.end(), this));
        m_time->updatePump();
    }

    void start(int intervalMs) override
    {
        m_interval = intervalMs;
        m_active = true;
        schedule();
        m_time->updatePump();
    }

    void stop() override
    {
        m_active = false;
        m_time->updatePump();
    }

    bool isActive() const override { return m_active; }
    int interval() const override { return m_interval; }

    // A zero interval ticks every virtual millisecond, so time still moves on.
    qint64 period() const { return std::max(1, m_interval); }
    void schedule()
    {
        m_deadline = m_time->now + period();
        m_sequence = ++m_time->sequence;
    }

    bool pending() const { return m_active && !m_firing; }
    qint64 deadline() const { return m_deadline; }
    quint64 sequence() const { return m_sequence; }

    // Runs the callback, which may stop, restart or even destroy this timer.
    void trigger()
    {
        const std::shared_ptr<bool> alive = m_alive;
        m_firing = true;
        fire();
        if (*alive)
            m_firing = false;
    }

private:
    std::shared_ptr<VirtualTime> m_time;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    int m_interval = 0;
    bool m_active = false;
    bool m_firing = false; // as with Qt timers, a tick never re-enters its own handler
    qint64 m_deadline = 0;
    quint64 m_sequence = 0;
};

VirtualTime::VirtualTime()
{
    idlePump.setInterval(0);
    QObject::connect(&idlePump, &QTimer::timeout, [this] { onIdle(); });
}

VirtualTimer* VirtualTime::nextDue(qint64 limit) const
{
    VirtualTimer* next = nullptr;
    for (VirtualTimer* t : timers) {
        if (!t->pending() || t->deadline() > limit)
            continue;
        if (!next || t->deadline() < next->deadline() || (t->deadline() == next->deadline() && t->sequence() < next->sequence()))
            next = t;
    }
    return next;
}

void VirtualTime::fire(VirtualTimer* timer)
{
    now = std::max(now, timer->deadline());
    timer->schedule();
    timer->trigger();
    updatePump();
}

void VirtualTime::updatePump()
{
    const bool anyPending = std::any_of(timers.begin(), timers.end(), [](VirtualTimer* t) { return t->pending(); });
    if (!anyPending)
        idlePump.stop();
    else if (!idlePump.isActive())
        idlePump.start();
}

void VirtualTime::onIdle()
{
    // Only an event loop that no wait drives moves time on its own: a modal exec()
    // at top level or opened from inside a wait.
    const int level = QThread::currentThread()->loopLevel();
    const int drivenLevel = waitLoopLevels.empty() ? 0 : waitLoopLevels.back();
    if (level <= drivenLevel)
        return;
    if (VirtualTimer* next = nextDue(std::numeric_limits<qint64>::max()))
        fire(next);
    else
        idlePump.stop();
}

class VirtualClock : public Clock {
public:
    qint64 nowMs() const override { return m_time->now; }

    bool wait(qint64 ms, const std::function<bool()>& stop) override
    {
        m_time->waitLoopLevels.push_back(QThread::currentThread()->loopLevel());
        const auto done = qScopeGuard([this] { m_time->waitLoopLevels.pop_back(); });
        const qint64 target = m_time->now + std::max<qint64>(0, ms);
        while (true) {
            QCoreApplication::processEvents();
            if (stop && stop())
                return true;
            if (VirtualTimer* next = m_time->nextDue(target)) {
                m_time->fire(next);
                continue;
            }
            if (m_time->now >= target)
                return false;
            m_time->now = target; // nothing due before the end: jump there, then look once more
        }
    }

    // Waits check their stop condition after every step; nothing is asleep to wake.
    void wake() override {}

    std::unique_ptr<ClockTimer> createTimer() override { return std::make_unique<VirtualTimer>(m_time); }

private:
    std::shared_ptr<VirtualTime> m_time = std::make_shared<VirtualTime>();
};

} // namespace

std::unique_ptr<Clock> makeVirtualClock()
{
    return std::make_unique<VirtualClock>();
}

} // namespace kelto
