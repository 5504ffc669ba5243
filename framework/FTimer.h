#pragma once
// A timer for the non-visual test elements: one clock timer whose ticks become the
// Timer signal. It keeps the window timer's rules: the interval is a whole number
// of milliseconds from 0 to 65535, a value outside that range is refused and the
// previous interval stays, and an interval of 0 never ticks although enabled.
// The timer comes from the clock in force when the FTimer is created.

#include <QObject>
#include <cstdint>
#include <memory>

namespace kelto {

class ClockTimer;

class FTimer : public QObject {
    Q_OBJECT
public:
    explicit FTimer(QObject* parent = nullptr);
    ~FTimer() override;

    // Sets the interval, then enables the timer; a running timer takes the new interval.
    void StartTimer(std::int32_t timeOutMs);
    void StopTimer();

signals:
    void Timer();

private:
    void apply(bool restart);

    std::unique_ptr<ClockTimer> m_timer;
    int m_interval = 0;
    bool m_enabled = true; // a fresh timer is enabled but, at interval 0, silent
};

} // namespace kelto
