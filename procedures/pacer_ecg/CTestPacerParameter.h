#pragma once
// The pacer parameter test: one press of Start reads the pacing rate, pulse
// current, pulse width and pulse voltage of a transcutaneous pacemaker in a fixed,
// timed sequence. CTestPacerElement holds what the two pacer tests share.

#include "configurations/CConfigPacer.h"
#include "procedures/CTestElementFrame.h"
#include "results/CResultPacer.h"

namespace kelto {

template <class Self, class Config, class Result>
class CTestPacerElement : public TestElementClass<Self, Config, Result> {
public:
    CTestPacerElement()
    {
        this->mStyle.statusAfterInitialize = true;
        this->mStyle.descriptionBoxOnPerformError = false;
        this->mStyle.secondAbortOnAbortTest = false;
        this->mStyle.skipBeforeAbortNavigation = true;
        this->mStyle.ensureResultIgnoresErrors = true;
    }

    void mfrmTestGuide_StartTest() override;

protected:
    // The rate and amplitude the instruction lines name, as text.
    QString rateText();
    QString amplitudeText();
};

class CTestPacerParameter : public CTestPacerElement<CTestPacerParameter, CConfigPacerParameter, CResultPacerParameter> {
public:
    static constexpr const char* kProgId = "KeltoTarvoXTest.CTestPacerParameter";
    static constexpr std::int32_t kTestId = 1200;

    CTestPacerParameter() { mStyle.stepsAfterRun = {1, 2, 3, 4}; }

protected:
    QList<std::pair<QString, QString>> measurementRows() const override
    {
        return {{QStringLiteral("PACR"), QStringLiteral("20126::Rate")},
            {QStringLiteral("PULC"), QStringLiteral("20127::Pulse Current")},
            {QStringLiteral("PULW"), QStringLiteral("20128::Pulse Width")},
            {QStringLiteral("PULV"), QStringLiteral("20129::Pulse Voltage")}};
    }
    Variant GetInstructions() override;
    void PerformMeasurement() override;
};

} // namespace kelto
