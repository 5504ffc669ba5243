#include "procedures/defibrillator/CTestChargeTime.h"

#include "framework/guide/FTarvoXTestGuide.h"
#include "platform/MessageBox.h"

namespace kelto {

QList<std::pair<QString, QString>> CTestChargeTime::measurementRows() const
{
    return {{QStringLiteral("CHTI"), QStringLiteral("20125::Charge Time")}};
}

Variant CTestChargeTime::GetInstructions()
{
    QStringList lines = energyInstructionLines(valueOr([this] { return presetEnergy(); }, 0.0f));
    lines << tr(QStringLiteral("20239::4. Wait for the countdown, then charge and discharge the defibrillator."));
    return linesVariant(lines);
}

void CTestChargeTime::showStandby()
{
    const QString ending = miCountDown == 1 ? QString() : tr(QStringLiteral("20201::s"));
    const QString text = tr(QStringLiteral("20171::Standby to initiate charge in %%1 second%%2"), {Variant(miCountDown), Variant(ending)});
    Guide().ShowPopup(QStringLiteral("TI:WAIT"), text, false);
}

void CTestChargeTime::CountDown()
{
    try {
        mfTimeUp = false;
        miCountDown = 5;
        showStandby();
        StartWaitTimer();
        waitUntil([this] { return mfTimeUp || mfAbort; });
        StopWaitTimer();
    } catch (...) {
        const PluginError error = currentError();
        StopWaitTimer();
        throw error;
    }
}

void CTestChargeTime::mfrmWaitTimer_Timer()
{
    --miCountDown;
    if (miCountDown > 0)
        showStandby();
    else
        mfTimeUp = true;
}

void CTestChargeTime::PerformMeasurement()
{
    Guide().SetActiveSteps({4});
    vti()->Wait(50);
    CountDown();
    if (mfAbort)
        return;
    Guide().SetActiveSteps({});
    Guide().ShowPopup(QStringLiteral("TI:SHOCK"), QString::fromUtf8("20172::Start charge now\u2026 Followed by discharge"), true);
    QString reply;
    do {
        reply = ReadChargeTime();
    } while (reply.isEmpty() && !mfAbort);
    Guide().HidePopup();
    if (isOverRange(reply)) {
        MsgBox(tr(QStringLiteral("20194::The Charge Time Test has timed out.  No data is available.")), mb::OKOnly | mb::Critical,
            tr(kResponseTitle));
        requestAbort();
    }
    if (!isBanner(reply) && !mfAbort)
        storeSingleReading(reply);
}

QString CTestChargeTime::ReadChargeTime()
{
    QString reply;
    do {
        reply = replyText(vti()->SendCommand(QStringLiteral("[CRG]"), false));
        if (vti()->TestStop())
            requestAbort();
        pumpEvents();
    } while (reply.isEmpty() && !mfAbort);
    return reply;
}

} // namespace kelto
