#include "framework/FTimer.h"

#include "platform/Clock.h"

namespace kelto {

namespace {
constexpr std::int32_t kMaxInterval = 65535;
}

FTimer::FTimer(QObject* parent) : QObject(parent), m_timer(Clock::instance().createTimer())
{
    m_timer->setCallback([this] { emit Timer(); });
}

FTimer::~FTimer() = default;

void FTimer::StartTimer(std::int32_t timeOutMs)
{
    const bool valid = timeOutMs >= 0 && timeOutMs <= kMaxInterval;
    if (valid)
        m_interval = timeOutMs;
    const bool wasEnabled = m_enabled;
    m_enabled = true;
    // A refused interval leaves a running timer's rhythm alone.
    apply(valid || !wasEnabled);
}

void FTimer::StopTimer()
{
    m_enabled = false;
    apply(false);
}

void FTimer::apply(bool restart)
{
    if (!m_enabled || m_interval == 0)
        m_timer->stop();
    else if (restart || !m_timer->isActive())
        m_timer->start(m_interval);
}

} // namespace kelto
