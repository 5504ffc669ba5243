#include "procedures/pacer_ecg/CTestPacerRefractory.h"

#include "framework/HostServices.h"
#include "framework/guide/FTarvoXTestGuide.h"
#include "platform/ComponentRuntime.h"

namespace kelto {

Variant CTestPacerRefractory::GetInstructions()
{
    float rate = 0;
    float amplitude = 0;
    ignoreErrors([&] { rate = deref(typedConfig()).PacerRate(); });
    ignoreErrors([&] { amplitude = deref(typedConfig()).PacerAmplitude(); });
    QStringList lines;
    lines << tr(QStringLiteral("20290::1. Set switch position of Tarvo to PACER."))
          << tr(QStringLiteral("20291::2. Connect pacer to input fixed load."))
          << tr(QStringLiteral("20292::3. Connect ECG leads."))
          << tr(QStringLiteral("20293::4. Set ECG to %%1PPM."), {Variant(rate)})
          << tr(QStringLiteral("20294::5. Set pacer amplitude to %%1mA."), {Variant(amplitude)})
          << tr(QStringLiteral("20295::6. Start pacer"))
          << tr(QStringLiteral("20296::7. Click 'Start' to begin the test."));
    return linesVariant(lines);
}

std::int16_t CTestPacerRefractory::GetPacerRefractoryTimeout()
{
    std::int16_t seconds = 0;
    ignoreErrors([&] {
        const auto key = ComponentRuntime::instance().createAs<IRegistryKey>(QLatin1String(hostclass::RegistryKey));
        auto& settings = kelto::deref(key, QLatin1String(kProgId));
        settings.OpenKey(hkey::LocalMachine, QStringLiteral("Software\\Quilo\\kelto\\TarvoX"));
        seconds = settings.GetValue(QStringLiteral("PacerRefractoryTimeout")).toInteger();
    });
    return seconds;
}

void CTestPacerRefractory::PerformMeasurement()
{
    if (mfAbort)
        return;
    mfTimeUp = false;
    miGraceTicks = 0;
    miCountDown = GetPacerRefractoryTimeout();
    StartWaitTimer();
    QStringList replies(2);
    bool prpSent = false;
    do {
        vti()->Wait(100);
        if (!prpSent && !mfAbort) {
            replies[0] = vti()->SendCommand(QStringLiteral("[PRP]"), false).toString();
            if (vti()->TestStop())
                mfAbort = true;
            prpSent = true;
        }
        if (prpSent) {
            // Only a stop keeps "[SRP]" back: a pause cut short by the time-out still asks once more.
            if (!replies[0].isEmpty() && !mfAbort) {
                vti()->Wait(1500);
                replies[1] = vti()->SendCommand(QStringLiteral("[SRP]"), false).toString();
            }
            if (!replies[1].isEmpty()) {
                StopWaitTimer();
                Guide().HidePopup();
            }
        }
    } while (replies[1].isEmpty() && !mfTimeUp && !mfAbort);
    StopWaitTimer();
    Guide().HidePopup();
    if (mfAbort)
        return;
    auto& result = deref(typedResult());
    result.StoreResult(replies);
    result.UpdateStatus(self(), selectedStandards(), false);
}

void CTestPacerRefractory::startTestFailed(const PluginError& error)
{
    // A count-down left running would go on showing its popup and abort a later exchange.
    StopWaitTimer();
    ignoreErrors([&] { Guide().HidePopup(); });
    CTestPacerElement::startTestFailed(error);
}

void CTestPacerRefractory::mfrmWaitTimer_Timer()
{
    --miCountDown;
    if (miCountDown < 1) {
        // The tick that reaches 0 cuts the pending wait or exchange short; a time-out
        // of 0 or less lets the pass in progress complete. That pass may still ask
        // for "[SRP]": a slow answer is worth waiting for, one that never comes is
        // not, so the exchange gets a few seconds' grace and is then cut short.
        if (mfTimeUp)
            ++miGraceTicks;
        if (miCountDown == 0 || miGraceTicks == kSensedGraceSeconds)
            ignoreErrors([&] { vti()->Abort(); });
        mfTimeUp = true;
        return;
    }
    QString text;
    ignoreErrors([&] {
        const QString plural = miCountDown == 1 ? QString() : tr(QStringLiteral("20201::s"));
        text = textTranslator()->Translate(kOwnerWord, QStringLiteral("20173::Wait for %%1 second%%2"), {Variant(miCountDown), Variant(plural)});
    });
    ignoreErrors([&] {
        if (XTestInstruction* popup = Guide().xtipopup())
            popup->MoveImage();
    });
    ignoreErrors([&] { Guide().ShowPopup(QStringLiteral("TI:WAIT"), text, false); });
}

} // namespace kelto
