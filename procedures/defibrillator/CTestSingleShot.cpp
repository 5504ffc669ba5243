#include "procedures/defibrillator/CTestSingleShot.h"

#include "framework/guide/FTarvoXTestGuide.h"
#include "platform/MessageBox.h"

namespace kelto {

template <class Self, class TConfig, class TResult>
SingleShotClass<Self, TConfig, TResult>::SingleShotClass()
{
    // The energy tests ask the operator to charge while the channel opens.
    if (Self::kTestId == 100 || Self::kTestId == 200)
        this->mStyle.startPopupText = QString::fromUtf8("20178::Please charge the defibrillator and wait\u2026");
    if (Self::kTestId == 200)
        this->mStyle.stepsAfterRun = {1, 2, 3, 4};
}

template <class Self, class TConfig, class TResult>
QList<std::pair<QString, QString>> SingleShotClass<Self, TConfig, TResult>::measurementRows() const
{
    return {{QString::fromLatin1(Self::kInfo.key), QString::fromLatin1(Self::kInfo.caption)}};
}

template <class Self, class TConfig, class TResult>
Variant SingleShotClass<Self, TConfig, TResult>::GetInstructions()
{
    return this->linesVariant(this->energyInstructionLines(valueOr([this] { return this->presetEnergy(); }, 0.0f)));
}

template <class Self, class TConfig, class TResult>
void SingleShotClass<Self, TConfig, TResult>::PerformMeasurement()
{
    if (this->mfAbort)
        return;
    const QString reply = this->pollDischargeReading([this] { return ReadMeasurement(); });
    if (this->isOverRange(reply)) {
        MsgBox(this->tr(QStringLiteral("20190::Over Range! Please check the defibrillator's energy setting.")), mb::OKOnly | mb::Critical,
            this->tr(this->kResponseTitle));
        this->requestAbort();
    }
    if (!this->mfAbort && !(Self::kInfo.dropsBanner && this->isBanner(reply)))
        this->storeSingleReading(reply);
}

template <class Self, class TConfig, class TResult>
QString SingleShotClass<Self, TConfig, TResult>::ReadMeasurement()
{
    const QString command = QString::fromLatin1(Self::kInfo.command);
    QString reply;
    do {
        reply = this->replyText(this->vti()->SendCommand(command, false));
        if (Self::kInfo.checksTestStop && this->vti()->TestStop())
            this->requestAbort();
        this->pumpEvents();
    } while (reply.isEmpty() && !this->mfAbort);
    return reply;
}

template class SingleShotClass<CTestVFIBEnergy, CConfigVFIBEnergy, CResultVFIBEnergy>;
template class SingleShotClass<CTestVTACHEnergy, CConfigVTACHEnergy, CResultVTACHEnergy>;
template class SingleShotClass<CTestPeakVoltage, CConfigPeakVoltage, CResultPeakVoltage>;
template class SingleShotClass<CTestOverCurrent, CConfigOverCurrent, CResultOverCurrent>;
template class SingleShotClass<CTestOverVoltage, CConfigOverVoltage, CResultOverVoltage>;

} // namespace kelto
