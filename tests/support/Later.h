#pragma once
// Actions run once on the clock seam, some time from now: what an operator or an
// analyser does later in a test, in virtual time.

#include <functional>
#include <memory>
#include <vector>

#include "platform/Clock.h"

namespace kelto::test {

class Later {
public:
    // Runs the action once, ms from now.
    void after(int ms, std::function<void()> action)
    {
        auto timer = Clock::instance().createTimer();
        timer->setCallback([raw = timer.get(), action = std::move(action)] {
            raw->stop();
            action();
        });
        timer->start(ms);
        m_timers.push_back(std::move(timer));
    }
    // Drops the actions still to come.
    void clear() { m_timers.clear(); }

private:
    std::vector<std::unique_ptr<ClockTimer>> m_timers;
};

} // namespace kelto::test
