#include "procedures/defibrillator/CTestBatteryCapacity.h"

#include <QApplication>

#include "platform/Automation.h"
#include "platform/MessageBox.h"

namespace kelto {

namespace {

constexpr int kWindowTicks = 60;
constexpr int kIdleTicks = 60;
constexpr int kLastWindowAt = 18;

} // namespace

CTestBatteryCapacity::CTestBatteryCapacity()
{
    mStyle = seriesRunStyle({1, 2, 3, 4, 5, 6, 7});
    mStyle.headerOnFirstCommand = true;
    mStyle.stepsDuringRun = {7};
}

QList<std::pair<QString, QString>> CTestBatteryCapacity::measurementRows() const
{
    return {{QStringLiteral("CHTI"), QStringLiteral("20125::Charge Time")}};
}

void CTestBatteryCapacity::loadResultItem()
{
    // The loaded result is taken into the run by the next Perform.
    deref(mElementBase).SetResult(newResult(true));
}

Variant CTestBatteryCapacity::GetInstructions(std::int16_t iMode, std::int16_t iCount, const QString& sChargeTime)
{
    QStringList lines;
    if (iMode == 0) {
        QString energy;
        ignoreErrors([&] { energy = singleToString(presetEnergy()); });
        lines << tr(QStringLiteral("20300::1. Set range position of Tarvo to 'High'."))
              << tr(QStringLiteral("20301::2. Set defibrillator to %%1J."), {Variant(energy)})
              << tr(QStringLiteral("20302::3. Click 'Start' to begin the test."))
              << tr(QStringLiteral("20303::4. When first count down of 5 reaches zero, perform charge and discharge 3 times within 60s."))
              << tr(QStringLiteral("20304::5. Wait for 60s idle time."))
              << tr(QStringLiteral("20305::6. Repeat 4th and 5th step until it reaches 20 discharges."))
              << tr(QStringLiteral("20306::7. Test completes after 20 discharges."));
        return linesVariant(lines);
    }
    if (iMode == 1) {
        lines << tr(QStringLiteral("20307::Last charge time              : %%1s"), {Variant(Val(sChargeTime))})
              << tr(QStringLiteral("20308::Charge/Discharge count : %%1"), {Variant(iCount)})
              << tr(QStringLiteral("20309::Elapsed total time            : %%1s"), {Variant(static_cast<std::int32_t>(59 - miCountDown))});
        return linesVariant(lines);
    }
    return Variant();
}

void CTestBatteryCapacity::setInstructions(const Variant& lines)
{
    deref(Guide().xtwDetails()).SetInstructions(lines);
}

void CTestBatteryCapacity::startTestFailed(const PluginError& error)
{
    CTestElementFrame::startTestFailed(error);
    mfNA = false;
}

void CTestBatteryCapacity::PerformMeasurement()
{
    try {
        measure();
    } catch (...) {
        const PluginError error = currentError();
        // The link's own error carries no text: the link has told why.
        if (error.number() != kVtiError)
            MsgBox(error.description(), mb::OKOnly, QStringLiteral("KeltoTarvoXTest"));
        seriesMeasurementFailed(error);
    }
}

void CTestBatteryCapacity::measure()
{
    int& n = mSeriesReadings;
    n = 0;
    // Entry k-1 holds the charge time of the k-th discharge. A place no discharge
    // reached stays empty: not measured, which fails, rather than a charge time of 0.
    QStringList table(kDischarges + 1, QString());
    miWindowCount = 0;
    vti()->Wait(50);
    if (!mfAbort) {
        Guide().SetActiveSteps({4, 6, 7});
        CountDown();
        for (;;) {
            miTimerMode = 2;
            mfTimeUp = false;
            miCountDown = kWindowTicks;
            StartWaitTimer();
            if (n == kLastWindowAt)
                miWindowCount = 1;
            while (!mfTimeUp && !mfAbort) {
                const QString reply = ReadChargeTime();
                if (isOverRange(reply)) {
                    MsgBox(tr(QStringLiteral("20194::The Charge Time Test has timed out.  No data is available.")), mb::OKOnly | mb::Critical,
                        tr(kResponseTitle));
                    requestAbort();
                }
                if (!reply.isEmpty())
                    ++miWindowCount;
                if (!mfAbort && !reply.isEmpty() && n != kDischarges) {
                    setInstructions(GetInstructions(1, static_cast<std::int16_t>(n + 1), reply));
                    table[n] = doubleToString(Val(reply));
                    ++n;
                    QApplication::beep();
                    Guide().SetActiveSteps({1, 2, 3});
                    if (miWindowCount == 3)
                        break;
                }
            }
            if (mfAbort || miWindowCount != 3 || n == kDischarges)
                break;
            StopWaitTimer();
            IdleWait();
            miCountDown = kWindowTicks;
            miWindowCount = 0;
            if (mfAbort)
                break;
        }
    }
    Guide().HidePopup();
    StopWaitTimer();
    if (mfAbort)
        return;
    if (miWindowCount != 3 && n < kLastWindowAt)
        missedWindow(QStringLiteral("20143::three"));
    else if ((n == kLastWindowAt || n == kLastWindowAt + 1) && miWindowCount >= 1)
        missedWindow(QStringLiteral("20142::two"));
    setInstructions(GetInstructions(0, 0, QString()));
    auto result = typedResult();
    deref(result).StoreResult(table);
    result->UpdateStatus(self(), selectedStandards(), false);
}

void CTestBatteryCapacity::missedWindow(const QString& countRef)
{
    const QString text = tr(QStringLiteral("20195::Test Failed!  Did not detect %%1 discharge%%2 within a 60 seconds period."),
        {Variant(tr(countRef)), Variant(tr(QStringLiteral("20201::s")))});
    MsgBox(text, mb::OKOnly | mb::Critical, tr(kResponseTitle));
}

QString CTestBatteryCapacity::ReadChargeTime()
{
    QString reply;
    bool first = true;
    do {
        vti()->Wait(600);
        pumpEvents();
        if (first) {
            first = false;
            setInstructions(GetInstructions(0, 0, QString()));
            Guide().SetActiveSteps({4, 5, 7});
        }
        // A window that ran out, or a stop pressed, during the pause gets no further
        // request: the abort that ended them is spent, and the request would wait
        // for a discharge for ever.
        if (mfAbort || mfTimeUp)
            break;
        reply = replyText(vti()->SendCommand(QStringLiteral("[CRG]"), false));
        if (vti()->TestStop())
            requestAbort();
        vti()->TestCount(1);
    } while (reply.isEmpty() && !mfAbort && !mfTimeUp);
    return reply;
}

void CTestBatteryCapacity::showStandby()
{
    const QString ending = miCountDown == 1 ? QString() : tr(QStringLiteral("20201::s"));
    Guide().ShowPopup(QStringLiteral("TI:WAIT"),
        tr(QStringLiteral("20171::Standby to initiate charge in %%1 second%%2"), {Variant(miCountDown), Variant(ending)}), false);
}

void CTestBatteryCapacity::period(const std::function<void()>& body)
{
    try {
        body();
    } catch (...) {
        const PluginError error = currentError();
        StopWaitTimer();
        throw error;
    }
}

void CTestBatteryCapacity::CountDown()
{
    period([this] {
        miTimerMode = 0;
        mfTimeUp = false;
        miCountDown = 5;
        showStandby();
        StartWaitTimer();
        waitUntil([this] { return mfTimeUp || mfAbort; });
        StopWaitTimer();
    });
}

void CTestBatteryCapacity::IdleWait()
{
    period([this] {
        mfTimeUp = false;
        miCountDown = kIdleTicks;
        showStandby();
        miTimerMode = 1;
        StartWaitTimer();
        bool refreshed = false;
        waitUntil([&] {
            // The instructions come back once, three seconds into the idle period.
            if (!refreshed && miCountDown == 57) {
                refreshed = true;
                setInstructions(GetInstructions(0, 0, QString()));
                Guide().SetActiveSteps({5, 6, 7});
            }
            return mfTimeUp || mfAbort;
        });
        StopWaitTimer();
    });
}

void CTestBatteryCapacity::mfrmWaitTimer_Timer()
{
    --miCountDown;
    if (miCountDown > 0) {
        if (miTimerMode == 0 || miTimerMode == 1) {
            showStandby();
        } else if (miTimerMode == 2) {
            const int left = 3 - miWindowCount;
            const QString plural = tr(QStringLiteral("20201::s"));
            Guide().ShowPopup(QStringLiteral("TI:WAIT"),
                tr(QStringLiteral("20176::Charge and discharge %%1 time%%4 within %%2 Second%%3"),
                    {Variant(static_cast<std::int32_t>(left)), Variant(miCountDown), Variant(miCountDown == 1 ? QString() : plural),
                        Variant(left == 1 ? QString() : plural)}),
                false);
        }
        return;
    }
    if (miTimerMode == 2 && miCountDown == 0)
        ignoreErrors([&] { vti()->Abort(); });
    mfTimeUp = true;
}

} // namespace kelto
