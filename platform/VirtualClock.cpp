#include <QAbstractEventDispatcher>
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

// Enough for a chain of replies and the handlers they trigger; a source of events
// that never goes quiet (a real zero-interval timer) cannot hold virtual time.
constexpr int kMaxSettlePasses = 200;

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
    void settle();
};

// Counts the events the event loop delivers, except the idle pump's own ticks, so
// that settling can tell when real activity (a serial port's bytes, posted events)
// has died down.
class ActivityCounter : public QObject {
public:
    explicit ActivityCounter(const QTimer& pump) : m_pump(pump) {}
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!(watched == &m_pump && event->type() == QEvent::Timer))
            ++count;
        return false;
    }

private:
    const QTimer& m_pump;
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

void VirtualTime::settle()
{
    // Real input and output (a pseudo-terminal's bytes) moves in no time at all in
    // the kernel, but only while the event loop runs: let it all happen before
    // virtual time moves on, so replies are never outrun by a jump in time.
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher || !QCoreApplication::instance()) {
        QCoreApplication::processEvents();
        return;
    }
    ActivityCounter counter(idlePump);
    QCoreApplication::instance()->installEventFilter(&counter);
    for (int pass = 0; pass < kMaxSettlePasses; ++pass) {
        const int before = counter.count;
        QCoreApplication::sendPostedEvents();
        dispatcher->processEvents(QEventLoop::AllEvents);
        if (counter.count == before)
            break;
    }
    QCoreApplication::instance()->removeEventFilter(&counter);
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
    settle();
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
            m_time->settle();
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
