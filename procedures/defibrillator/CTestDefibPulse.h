#pragma once
// The defibrillator pulse repetition test: within one 300-second window the
// operator charges and discharges again and again; the analyser's energy of each
// discharge is read until ten (battery-operated) or fifteen discharges are in.

#include "configurations/CConfigDefibPulse.h"
#include "procedures/CTestElementFrame.h"
#include "results/CResultSeries.h"

namespace kelto {

class CTestDefibPulse : public TestElementClass<CTestDefibPulse, CConfigDefibPulse, CResultDefibPulse> {
public:
    static constexpr const char* kProgId = "KeltoTarvoXTest.CTestDefibPulse";
    static constexpr std::int32_t kTestId = 1600;
    static constexpr std::int16_t kWindowSeconds = 300;

    CTestDefibPulse();


protected:
    QString errorSource() const override { return QStringLiteral("TarvoXTests.CTestDefibPulse"); }
    QList<std::pair<QString, QString>> measurementRows() const override
    {
        return {{QStringLiteral("ENGY"), QStringLiteral("20120::Energy")}, {QStringLiteral("PLSC"), QStringLiteral("20132::Pulse Count")}};
    }
    Variant GetInstructions() override { return GetInstructions(0, 0, QString()); }
    void PerformMeasurement() override;
    void startTestFailed(const PluginError& error) override;
    void mfrmWaitTimer_Timer() override;

private:
    // Mode 0: the four instruction lines; mode 1: the five status lines of a discharge.
    Variant GetInstructions(std::int16_t iMode, std::int16_t iCount, const QString& sEnergy);
    void setInstructions(const Variant& lines);
    void measure();
    QString ReadEnergy();

    std::int16_t miCountDown = 0;
    bool mfTimeUp = false;
};

} // namespace kelto
