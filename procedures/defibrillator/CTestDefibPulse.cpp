#include "procedures/defibrillator/CTestDefibPulse.h"

#include "framework/HostServices.h"
#include "framework/guide/FTarvoXTestGuide.h"
#include "platform/Automation.h"
#include "platform/MessageBox.h"

namespace kelto {

CTestDefibPulse::CTestDefibPulse()
{
    mStyle = seriesRunStyle({1, 2, 3, 4});
}

Variant CTestDefibPulse::GetInstructions(std::int16_t iMode, std::int16_t iCount, const QString& sEnergy)
{
    QStringList lines;
    if (iMode == 1) {
        lines << tr(QStringLiteral("20354::Last Measured "))
              << tr(QStringLiteral("20355::Energy                         : %%1 J"), {Variant(sEnergy)})
              << tr(QStringLiteral("20356::Total Discharge count  : %%1"), {Variant(iCount)})
              << tr(QStringLiteral("20357::Elapsed total time         : %%1s"),
                     {Variant(static_cast<std::int16_t>(kWindowSeconds - miCountDown))})
              << tr(QStringLiteral("20358::Time remaining             : %%1s"), {Variant(miCountDown)});
        return linesVariant(lines);
    }
    QString energy;
    ignoreErrors([&] { energy = singleToString(presetEnergy()); });
    lines << tr(QStringLiteral("20350::1. Set range position of Tarvo to 'High'."))
          << tr(QStringLiteral("20351::2. Set defibrillator to %%1 J."), {Variant(energy)})
          << tr(QStringLiteral("20352::3. Click 'Start' to begin the test."))
          << tr(QStringLiteral("20353::4. Perform the charge and discharge action repeatedly until count down ticks to ZERO."));
    return linesVariant(lines);
}

void CTestDefibPulse::setInstructions(const Variant& lines)
{
    auto& details = deref(Guide().xtwDetails());
    details.SetInstructions(lines);
}

void CTestDefibPulse::startTestFailed(const PluginError& error)
{
    StopWaitTimer();
    mfNA = false;
    TestElementClass::startTestFailed(error);
}

void CTestDefibPulse::PerformMeasurement()
{
    try {
        measure();
    } catch (...) {
        seriesMeasurementFailed(currentError());
    }
}

void CTestDefibPulse::measure()
{
    int& count = mSeriesReadings;
    count = 0;
    const int required = deref(typedConfig()).BatteryOperated() ? 10 : 15;
    QStringList table(required + 1);
    FTarvoXTestGuide& guide = Guide();

    vti()->Wait(50);
    // A stop during the pause ends the run here: polling without a window would
    // wait for a discharge until the operator stopped a second time.
    if (!mfAbort) {
        miCountDown = kWindowSeconds;
        guide.SetActiveSteps({4});
        StartWaitTimer();
        mfTimeUp = false;
        while (true) {
            QString reply;
            if (count != required)
                reply = ReadEnergy();
            if (isOverRange(reply)) {
                MsgBox(tr(QStringLiteral("20190::Over Range! Please check the defibrillator's energy setting.")), mb::OKOnly | mb::Critical,
                    tr(QStringLiteral("20192::Kelto Plug-In Tarvo response")));
                mfAbort = true;
            }
            if (!reply.isEmpty() && !mfAbort && count != required) {
                const QString energy = doubleToString(Val(reply));
                setInstructions(GetInstructions(1, static_cast<std::int16_t>(count + 1), energy));
                table[count] = energy;
                ++count;
                Beep(2500, 150);
                guide.SetActiveSteps({1, 2, 3, 4, 5});
                if (count == required)
                    break;
            }
            if (miCountDown == 1 || mfAbort || mfTimeUp)
                break;
        }
    }
    setInstructions(GetInstructions(0, 0, QString()));
    guide.HidePopup();
    StopWaitTimer();
    if (mfAbort)
        return;
    auto& result = deref(typedResult());
    result.StoreResult(table, static_cast<std::int16_t>(required - 1));
    result.UpdateStatus(self(), selectedStandards(), false);
}

QString CTestDefibPulse::ReadEnergy()
{
    QString reply;
    bool first = true;
    do {
        vti()->Wait(300);
        pumpEvents();
        if (first) {
            setInstructions(GetInstructions(0, 0, QString()));
            Guide().SetActiveSteps({4});
            first = false;
        }
        // A window that ran out during the pause gets no further request: with no
        // tick left to abort it, that request would wait for a discharge for ever.
        if (mfAbort || mfTimeUp)
            break;
        reply = vti()->SendCommand(QStringLiteral("[NRG]"), false).toString();
    } while (reply.isEmpty() && !mfAbort && !mfTimeUp);
    return reply;
}

void CTestDefibPulse::mfrmWaitTimer_Timer()
{
    --miCountDown;
    if (miCountDown > 0) {
        const QString text = tr(QStringLiteral("20174::Charge and Shock!      %%1 second%%2 left"),
            {Variant(miCountDown), Variant(miCountDown == 1 ? QString() : tr(QStringLiteral("20201::s")))});
        ignoreErrors([&] { Guide().ShowPopup(QStringLiteral("TI:WAIT"), text, false); });
        return;
    }
    // The window's end cuts the pending request short, which has no time-out of its own.
    if (miCountDown == 0)
        ignoreErrors([&] { vti()->Abort(); });
    mfTimeUp = true;
}

} // namespace kelto
