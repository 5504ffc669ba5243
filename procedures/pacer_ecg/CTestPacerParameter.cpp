#include "procedures/pacer_ecg/CTestPacerParameter.h"

#include "framework/guide/FTarvoXTestGuide.h"
#include "platform/Automation.h"
#include "procedures/pacer_ecg/CTestPacerRefractory.h"

namespace kelto {

template <class Self, class Config, class Result>
void CTestPacerElement<Self, Config, Result>::mfrmTestGuide_StartTest()
{
    if (this->mfBusy)
        return;
    try {
        this->mfBusy = true;
        this->mfAbort = false;
        this->mfStarted = true;
        this->mfNA = false;
        this->mfSkip = false;
        this->mfAborted = false;
        FTarvoXTestGuide& guide = this->Guide();
        this->prepareRunResult(guide);
        guide.SetToolbarMode(2, false);
        guide.SetActiveSteps({});
        guide.SetStatusText(QStringLiteral("20179::Test in progress, please wait..."));
        this->setStopButtonEnabled(false);
        this->vti()->OpenChannel();
        if (this->vti()->State() == evtiIdle && !this->mfAbort)
            this->PerformMeasurement();
        this->vti()->CloseChannel();
        // The result shows whether or not the run stored anything.
        this->endRun(guide, true);
        guide.SetActiveSteps(this->mStyle.stepsAfterRun);
        this->mfBusy = false;
    } catch (...) {
        this->startTestFailed(currentError());
    }
}

template <class Self, class Config, class Result>
QString CTestPacerElement<Self, Config, Result>::rateText()
{
    return valueOr([&] { return singleToString(this->deref(this->typedConfig()).PacerRate()); }, QString());
}

template <class Self, class Config, class Result>
QString CTestPacerElement<Self, Config, Result>::amplitudeText()
{
    return valueOr([&] { return singleToString(this->deref(this->typedConfig()).PacerAmplitude()); }, QString());
}

template class CTestPacerElement<CTestPacerParameter, CConfigPacerParameter, CResultPacerParameter>;
template class CTestPacerElement<CTestPacerRefractory, CConfigPacerRefractory, CResultPacerRefractory>;

Variant CTestPacerParameter::GetInstructions()
{
    QStringList lines;
    lines << tr(QStringLiteral("20280::1. Set switch position of Tarvo to PACER."))
          << tr(QStringLiteral("20281::2. Set pacer rate to %%1PPM."), {Variant(rateText())})
          << tr(QStringLiteral("20282::3. Set pacer amplitude to %%1mA."), {Variant(amplitudeText())})
          << tr(QStringLiteral("20283::4. Click 'Start' to begin the test."));
    return linesVariant(lines);
}

void CTestPacerParameter::PerformMeasurement()
{
    struct Row {
        std::int32_t waitMs;
        const char* command;
    };
    static constexpr Row kRows[] = {{100, "[BPM]"}, {1500, "[PAC]"}, {300, "[PAW]"}, {300, "[PAV]"}};
    if (mfAbort)
        return;
    QStringList replies(4);
    for (int i = 0; i < 4; ++i) {
        // A stop that cuts a pause short still lets that row's command go out.
        if (i > 0 && mfAbort)
            continue;
        vti()->Wait(kRows[i].waitMs);
        if (i == 0 && mfAbort)
            continue;
        replies[i] = vti()->SendCommand(QLatin1String(kRows[i].command), false).toString();
        if (i == 0 && vti()->TestStop())
            mfAbort = true;
    }
    if (mfAbort)
        return;
    auto& result = deref(typedResult());
    result.StoreResult(replies);
    result.UpdateStatus(self(), selectedStandards(), false);
}

} // namespace kelto
