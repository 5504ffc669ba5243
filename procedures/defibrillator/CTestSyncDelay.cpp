#include "procedures/defibrillator/CTestSyncDelay.h"

#include "framework/guide/FTarvoXTestGuide.h"
#include "platform/MessageBox.h"

namespace kelto {

template <class Self, class Config, class Result>
Variant CTestSyncDelay<Self, Config, Result>::GetInstructions()
{
    QStringList lines(4);
    ignoreErrors([&] {
        const QString energy = QString::number(this->wholeEnergy(this->presetEnergy()));
        lines[0] = this->tr(QStringLiteral("20240::1. Set defibrillator to %%1J."), {Variant(energy)});
    });
    lines[1] = this->tr(QStringLiteral("20241::2. Set range to 'High' on the TarvoX."));
    lines[2] = this->tr(QLatin1String(Self::kModeLine));
    lines[3] = this->tr(QStringLiteral("20243::4. Click 'Start' to begin the test."));
    return this->linesVariant(lines);
}

template <class Self, class Config, class Result>
void CTestSyncDelay<Self, Config, Result>::PerformMeasurement()
{
    if (this->mfAbort)
        return;
    const QString reply = this->pollDischargeReading([this] { return ReadMeasurement(); });
    if (this->isOverRange(reply))
        MsgBox(this->tr(QStringLiteral("20191::No sync detected, please check for ECG cable or sync mode in defibrillator. Cardio delay "
                                       "time could not be determined.")),
            mb::OKOnly | mb::Critical, this->tr(QStringLiteral("20192::Kelto Plug-In Tarvo response")));
    // A banner means the model cannot run the test: the link has told the operator.
    if (this->isBanner(reply) || this->mfAbort)
        return;
    const Ptr<Result> result = this->typedResult();
    this->deref(result).StoreResult(reply);
    result->UpdateStatus(this->self(), this->selectedStandards(), false);
    this->Guide().ShowTestResult(result);
}

template <class Self, class Config, class Result>
QString CTestSyncDelay<Self, Config, Result>::ReadMeasurement()
{
    QString reply;
    do {
        reply = this->vti()->SendCommand(QLatin1String(Self::kCommand), false).toString();
        this->pumpEvents();
    } while (reply.isEmpty() && !this->mfAbort);
    return reply;
}

template class CTestSyncDelay<CTestSyncRPeak, CConfigSyncRPeak, CResultSyncRPeak>;
template class CTestSyncDelay<CTestSyncQBase, CConfigSyncQBase, CResultSyncQBase>;

} // namespace kelto
