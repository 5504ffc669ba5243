#pragma once
// The one seam for time. Every timer and wait of the system goes through the
// installed clock: production runs in real time and waits by running the Qt event
// loop (an idle wait costs no CPU); tests install a virtual or scaled clock so that
// long procedures run end to end in seconds, deterministically.

#include <QtGlobal>
#include <functional>
#include <memory>

#include "PlatformExport.h"

namespace kelto {

// A repeating timer on the installed clock. It fires its callback every interval
// while active, from the event loop of the thread that created it.
class KELTO_PLATFORM_EXPORT ClockTimer {
public:
    virtual ~ClockTimer();
    virtual void start(int intervalMs) = 0; // restarts with the new interval
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    virtual int interval() const = 0;
    void setCallback(std::function<void()> callback) { m_callback = std::move(callback); }

protected:
    void fire()
    {
        if (m_callback)
            m_callback();
    }

private:
    std::function<void()> m_callback;
};

class KELTO_PLATFORM_EXPORT Clock {
public:
    virtual ~Clock();

    // The clock in force; a real-time clock until another is installed.
    static Clock& instance();
    // Installs a clock (null restores real time) and returns the previous one.
    static std::unique_ptr<Clock> install(std::unique_ptr<Clock> clock);

    // Milliseconds since an arbitrary start; only differences mean something.
    virtual qint64 nowMs() const = 0;

    // Runs the event loop for ms milliseconds, or until stop() returns true after
    // an event was handled or wake() was called. Returns true when stopped early.
    virtual bool wait(qint64 ms, const std::function<bool()>& stop = {}) = 0;

    // Makes pending waits check their stop condition now (an abort flag was set).
    virtual void wake() = 0;

    virtual std::unique_ptr<ClockTimer> createTimer() = 0;
};

// The production clock: Qt timers and nested event loops in real time; a factor
// below 1 runs every interval and wait that much faster (scaled time for tests).
std::unique_ptr<Clock> makeRealClock(double scale = 1.0);

// Virtual time for tests: nowMs() starts at 0 and moves only when a wait or an idle
// event loop advances it, straight to the next timer deadline, so a half-hour
// procedure runs in moments and always the same way. A wait fires the timers due
// before its end in deadline order and processes posted events after each. An event
// loop that no wait is driving (a modal exec()) advances to the next deadline
// whenever it is idle; with no timer pending it just sleeps. Real Qt timers keep
// real time, so code under test should time itself through this seam only.
std::unique_ptr<Clock> makeVirtualClock();

// Pauses that always run to their end (the link's fixed pauses) still pump events.
inline void pause(qint64 ms)
{
    Clock::instance().wait(ms);
}

} // namespace kelto
