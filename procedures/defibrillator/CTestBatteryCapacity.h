#pragma once
// The battery-capacity test: twenty charge/discharge cycles in a fixed rhythm.
// After a five-second count-down the operator discharges three times within each
// 60-second window (twice in the last), with 60 idle seconds between windows; the
// analyser answers each "[CRG]" poll with the charge time of a discharge.

#include <QStringList>

#include "configurations/CConfigEnergySetting.h"
#include "procedures/CTestElementFrame.h"
#include "results/CResultSeries.h"

namespace kelto {

class CTestBatteryCapacity : public TestElementClass<CTestBatteryCapacity, CConfigBatteryCapacity, CResultBatteryCapacity> {
public:
    static constexpr const char* kProgId = "KeltoTarvoXTest.CTestBatteryCapacity";
    static constexpr std::int32_t kTestId = 1400;
    static constexpr int kDischarges = 20;

    CTestBatteryCapacity();


protected:
    QList<std::pair<QString, QString>> measurementRows() const override;
    Variant GetInstructions() override { return GetInstructions(0, 0, QString()); }
    void PerformMeasurement() override;
    void loadResultItem() override;
    void startTestFailed(const PluginError& error) override;
    void mfrmWaitTimer_Timer() override;

private:
    // Mode 0: the seven instruction lines; mode 1: the progress lines after a discharge.
    Variant GetInstructions(std::int16_t iMode, std::int16_t iCount, const QString& sChargeTime);
    void measure();
    QString ReadChargeTime();
    void CountDown();
    void IdleWait();
    void period(const std::function<void()>& body);
    void setInstructions(const Variant& lines);
    void showStandby();
    void missedWindow(const QString& countRef);

    std::int16_t miCountDown = 0;
    bool mfTimeUp = false;
    std::int16_t miTimerMode = 0;
    std::int16_t miWindowCount = 0;
};

} // namespace kelto
