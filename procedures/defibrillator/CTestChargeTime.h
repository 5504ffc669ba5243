#pragma once
// The charge-time test: a five-second standby count-down, then "[CRG]" is polled
// until the analyser reports how long the defibrillator took to charge.

#include "configurations/CConfigEnergySetting.h"
#include "procedures/CTestElementFrame.h"
#include "results/CResultSingleReading.h"

namespace kelto {

class CTestChargeTime : public TestElementClass<CTestChargeTime, CConfigChargeTime, CResultChargeTime> {
public:
    static constexpr const char* kProgId = "KeltoTarvoXTest.CTestChargeTime";
    static constexpr std::int32_t kTestId = 300;

    CTestChargeTime() = default;

protected:
    QList<std::pair<QString, QString>> measurementRows() const override;
    Variant GetInstructions() override;
    void PerformMeasurement() override;
    void mfrmWaitTimer_Timer() override;

private:
    void CountDown();
    QString ReadChargeTime();
    void showStandby();

    std::int16_t miCountDown = 0;
    bool mfTimeUp = false;
};

} // namespace kelto
