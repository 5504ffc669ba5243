#include "procedures/defibrillator/CTestBatteryRetention.h"

#include "framework/HostServices.h"
#include "framework/guide/FTarvoXTestGuide.h"
#include "platform/Automation.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"

namespace kelto {

namespace {
const QString kResponseTitle = QStringLiteral("20192::Kelto Plug-In Tarvo response");
}

CTestBatteryRetention::CTestBatteryRetention()
{
    mStyle = seriesRunStyle({1, 2, 3, 4, 5, 6, 7});
    mStyle.headerOnFirstCommand = true;
    mStyle.stepsDuringRun = {7};
}

Variant CTestBatteryRetention::GetInstructions(std::int16_t iMode, std::int16_t iCount, const QString& sChargeTime)
{
    QStringList lines;
    if (iMode == 1) {
        lines << tr(QStringLiteral("20327::Last charge time              : %%1s"), {Variant(Val(sChargeTime))})
              << tr(QStringLiteral("20328::Charge/Discharge count : %%1"), {Variant(iCount)})
              << tr(QStringLiteral("20329::Elapsed total time            : %%1s"),
                     {Variant(static_cast<std::int16_t>(kWindowSeconds - miCountDown))});
        return linesVariant(lines);
    }
    QString energy;
    ignoreErrors([&] { energy = singleToString(presetEnergy()); });
    lines << tr(QStringLiteral("20320::1. Set range position of Tarvo to 'High'."))
          << tr(QStringLiteral("20321::2. Set defibrillator to %%1J."), {Variant(energy)})
          << tr(QStringLiteral("20322::3. Click 'Start' to begin the test."))
          << tr(QStringLiteral("20323::4. When first count down of 5 reaches zero, perform charge and discharge action."))
          << tr(QStringLiteral("20324::5. Wait for 60s idle time."))
          << tr(QStringLiteral("20325::6. Repeat 4th and 5th step until it reaches 15 discharges."))
          << tr(QStringLiteral("20326::7. Test completes after 15 discharges."));
    return linesVariant(lines);
}

void CTestBatteryRetention::setInstructions(const Variant& lines)
{
    auto& details = deref(Guide().xtwDetails());
    details.SetInstructions(lines);
}

void CTestBatteryRetention::startTestFailed(const PluginError& error)
{
    // A count-down left running would go on showing its popup and aborting the link.
    StopWaitTimer();
    mfNA = false;
    TestElementClass::startTestFailed(error);
}

void CTestBatteryRetention::PerformMeasurement()
{
    try {
        measure();
    } catch (...) {
        seriesMeasurementFailed(currentError());
    }
}

void CTestBatteryRetention::measure()
{
    int& count = mSeriesReadings;
    count = 0;
    // A place no discharge reached stays empty: not measured, which fails.
    QStringList table(kDischarges + 1, QString());
    bool discharged = false; // a discharge was seen in the current window
    const Ptr<CResultBatteryRetention> result = typedResult();
    FTarvoXTestGuide& guide = Guide();

    vti()->Wait(50);
    if (!mfAbort) {
        guide.SetActiveSteps({4, 6, 7});
        CountDown();
        while (true) {
            miTimerMode = WindowMode;
            mfTimeUp = false;
            miCountDown = kWindowSeconds;
            StartWaitTimer();
            bool taken = false;
            while (!mfAbort && !taken && !mfTimeUp) {
                const QString reply = ReadChargeTime();
                if (isOverRange(reply)) {
                    MsgBox(tr(QStringLiteral("20194::The Charge Time Test has timed out.  No data is available.")),
                        mb::OKOnly | mb::Critical, tr(kResponseTitle));
                    mfAbort = true;
                }
                if (!reply.isEmpty())
                    discharged = true;
                if (!reply.isEmpty() && count != kDischarges && !mfAbort) {
                    setInstructions(GetInstructions(1, static_cast<std::int16_t>(count + 1), reply));
                    table[count] = doubleToString(Val(reply));
                    ++count;
                    Beep(2000, 100);
                    guide.SetActiveSteps({1, 2, 3});
                    taken = true;
                }
            }
            if (mfAbort || count == kDischarges || !discharged)
                break;
            StopWaitTimer();
            IdleWait();
            miCountDown = kWindowSeconds;
            discharged = false;
            if (mfAbort)
                break;
        }
    }
    guide.HidePopup();
    StopWaitTimer();
    if (mfAbort)
        return;
    if (!discharged && count != kDischarges)
        MsgBox(tr(QStringLiteral("20195::Test Failed!  Did not detect %%1 discharge%%2 within a 60 seconds period."),
                   {Variant(tr(QStringLiteral("20141::one"))), Variant(QString())}),
            mb::OKOnly | mb::Critical, tr(kResponseTitle));
    setInstructions(GetInstructions(0, 0, QString()));
    deref(result).StoreResult(table);
    result->UpdateStatus(self(), selectedStandards(), false);
}

QString CTestBatteryRetention::ReadChargeTime()
{
    QString reply;
    bool first = true;
    do {
        vti()->Wait(600);
        pumpEvents();
        if (first) {
            setInstructions(GetInstructions(0, 0, QString()));
            Guide().SetActiveSteps({4, 6, 7});
            first = false;
        }
        // A window that ran out during the pause gets no further request: with no
        // tick left to abort it, that request would wait for a discharge for ever.
        if (mfAbort || mfTimeUp)
            break;
        reply = vti()->SendCommand(QStringLiteral("[CRG]"), false).toString();
        if (vti()->TestStop())
            mfAbort = true;
        vti()->TestCount(1);
    } while (reply.isEmpty() && !mfAbort && !mfTimeUp);
    return reply;
}

QString CTestBatteryRetention::standbyText(std::int16_t seconds) const
{
    return tr(QStringLiteral("20171::Standby to initiate charge in %%1 second%%2"),
        {Variant(seconds), Variant(seconds == 1 ? QString() : tr(QStringLiteral("20201::s")))});
}

void CTestBatteryRetention::CountDown()
{
    try {
        miTimerMode = CountDownMode;
        mfTimeUp = false;
        miCountDown = kCountDownSeconds;
        Guide().ShowPopup(QStringLiteral("TI:WAIT"), standbyText(kCountDownSeconds), false);
        StartWaitTimer();
        waitUntil([this] { return mfTimeUp || mfAbort; });
        StopWaitTimer();
    } catch (...) {
        StopWaitTimer();
        throw;
    }
}

void CTestBatteryRetention::IdleWait()
{
    try {
        mfTimeUp = false;
        miCountDown = kRestSeconds;
        Guide().ShowPopup(QStringLiteral("TI:WAIT"), standbyText(kRestSeconds), false);
        miTimerMode = RestMode;
        StartWaitTimer();
        // The last discharge's status lines stay up for the first three seconds.
        bool linesBack = false;
        auto due = [&] { return mfTimeUp || mfAbort || (!linesBack && miCountDown == kRestSeconds - 3); };
        while (!(mfTimeUp || mfAbort)) {
            Clock::instance().wait(1000, due);
            if (!linesBack && miCountDown == kRestSeconds - 3) {
                setInstructions(GetInstructions(0, 0, QString()));
                Guide().SetActiveSteps({5, 6, 7});
                linesBack = true;
            }
        }
        StopWaitTimer();
    } catch (...) {
        StopWaitTimer();
        throw;
    }
}

void CTestBatteryRetention::mfrmWaitTimer_Timer()
{
    --miCountDown;
    if (miCountDown > 0) {
        const QString text = miTimerMode == WindowMode
            ? tr(QStringLiteral("20177::Charge and discharge within %%1 second%%2"),
                  {Variant(miCountDown), Variant(miCountDown == 1 ? QString() : tr(QStringLiteral("20201::s")))})
            : standbyText(miCountDown);
        ignoreErrors([&] { Guide().ShowPopup(QStringLiteral("TI:WAIT"), text, false); });
        return;
    }
    // The window's end cuts the pending request short, which has no time-out of its own.
    if (miTimerMode == WindowMode && miCountDown == 0)
        ignoreErrors([&] { vti()->Abort(); });
    mfTimeUp = true;
}

} // namespace kelto
