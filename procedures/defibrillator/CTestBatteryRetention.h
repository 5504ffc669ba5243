#pragma once
// The battery retention test: after a short count-down the operator charges and
// discharges fifteen times, one discharge per 60-second window with a 60-second
// rest between windows; the analyser's charge times are the result. A window
// without a discharge ends the test as failed.

#include "configurations/CConfigEnergySetting.h"
#include "procedures/CTestElementFrame.h"
#include "results/CResultSeries.h"

namespace kelto {

class CTestBatteryRetention
    : public TestElementClass<CTestBatteryRetention, CConfigBatteryRetention, CResultBatteryRetention> {
public:
    static constexpr const char* kProgId = "KeltoTarvoXTest.CTestBatteryRetention";
    static constexpr std::int32_t kTestId = 1500;
    static constexpr int kDischarges = 15;
    static constexpr std::int16_t kWindowSeconds = 60;
    static constexpr std::int16_t kRestSeconds = 60;
    static constexpr std::int16_t kCountDownSeconds = 5;

    CTestBatteryRetention();


protected:
    QList<std::pair<QString, QString>> measurementRows() const override
    {
        return {{QStringLiteral("CHTI"), QStringLiteral("20125::Charge Time")}};
    }
    Variant GetInstructions() override { return GetInstructions(0, 0, QString()); }
    void PerformMeasurement() override;
    void startTestFailed(const PluginError& error) override;
    void mfrmWaitTimer_Timer() override;

private:
    enum TimerMode : std::int16_t { CountDownMode = 0, RestMode = 1, WindowMode = 2 };

    // Mode 0: the seven instruction lines; mode 1: the three status lines of a discharge.
    Variant GetInstructions(std::int16_t iMode, std::int16_t iCount, const QString& sChargeTime);
    void setInstructions(const Variant& lines);
    void measure();
    QString ReadChargeTime();
    void CountDown();
    void IdleWait();
    QString standbyText(std::int16_t seconds) const;

    std::int16_t miCountDown = 0;
    std::int16_t miTimerMode = CountDownMode;
    bool mfTimeUp = false;
};

} // namespace kelto
