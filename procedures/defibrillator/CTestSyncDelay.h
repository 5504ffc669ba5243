#pragma once
// The synchronised cardioversion delay tests: the operator discharges in
// synchronous mode and the analyser reports the delay from the R peak or from the
// Q base, stored as the one "SYNT" measurement.

#include "configurations/CConfigEnergySetting.h"
#include "procedures/CTestElementFrame.h"
#include "results/CResultSingleReading.h"

namespace kelto {

template <class Self, class Config, class Result>
class CTestSyncDelay : public TestElementClass<Self, Config, Result> {
public:
    CTestSyncDelay() { this->mStyle.stepsAfterRun = {1, 2, 3, 4}; }

protected:
    QList<std::pair<QString, QString>> measurementRows() const override
    {
        return {{QStringLiteral("SYNT"), QStringLiteral("20124::Sync Time")}};
    }
    Variant GetInstructions() override;
    void PerformMeasurement() override;

private:
    // Asks for the delay until the analyser has one or the operator stops.
    QString ReadMeasurement();
};

class CTestSyncRPeak : public CTestSyncDelay<CTestSyncRPeak, CConfigSyncRPeak, CResultSyncRPeak> {
public:
    static constexpr const char* kProgId = "KeltoTarvoXTest.CTestSyncRPeak";
    static constexpr std::int32_t kTestId = 700;
    static constexpr const char* kCommand = "[STP]";
    static constexpr const char* kModeLine = "20242::3. Set Defibrillator to Synchronous mode.";
};

class CTestSyncQBase : public CTestSyncDelay<CTestSyncQBase, CConfigSyncQBase, CResultSyncQBase> {
public:
    static constexpr const char* kProgId = "KeltoTarvoXTest.CTestSyncQBase";
    static constexpr std::int32_t kTestId = 800;
    static constexpr const char* kCommand = "[STB]";
    static constexpr const char* kModeLine = "20242::3. Set defibrillator to Synchronous mode.";
};

} // namespace kelto
