#pragma once
// The pacer refractory period test: the paced refractory period is asked once,
// then the sensed one is polled until the analyser has it, the operator stops or
// the time-out of the plug-in's settings runs out, counted down in the popup.

#include "procedures/pacer_ecg/CTestPacerParameter.h"

namespace kelto {

class CTestPacerRefractory : public CTestPacerElement<CTestPacerRefractory, CConfigPacerRefractory, CResultPacerRefractory> {
public:
    static constexpr const char* kProgId = "KeltoTarvoXTest.CTestPacerRefractory";
    static constexpr std::int32_t kTestId = 1300;

    CTestPacerRefractory() { mStyle.stepsAfterRun = {1, 2, 3, 4, 5, 6, 7}; }

    // Seconds from "PacerRefractoryTimeout" of the plug-in's settings; 0 when missing or unreadable.
    static std::int16_t GetPacerRefractoryTimeout();

protected:
    QList<std::pair<QString, QString>> measurementRows() const override
    {
        return {{QStringLiteral("PACE"), QStringLiteral("20131::Paced Rp")}, {QStringLiteral("SENS"), QStringLiteral("20130::Sensed Rp")}};
    }
    Variant GetInstructions() override;
    void PerformMeasurement() override;
    void startTestFailed(const PluginError& error) override;
    void mfrmWaitTimer_Timer() override;

private:
    // Seconds after the time-out that the pass in progress may still take.
    static constexpr int kSensedGraceSeconds = 5;

    std::int16_t miCountDown = 0;
    bool mfTimeUp = false;
    int miGraceTicks = 0;
};

} // namespace kelto
