#pragma once
// The single-shot defibrillator tests: the operator fires one shock into the
// analyser, which is polled with the test's command until it reports the reading.
// VFIB energy, VTACH energy, peak voltage, over-current and over-voltage differ
// only in command, ids and how they treat an unsupported analyser.

#include "configurations/CConfigEnergySetting.h"
#include "procedures/CTestElementFrame.h"
#include "results/CResultSingleReading.h"

namespace kelto {

struct SingleShotInfo {
    const char* progId;
    std::int32_t testId;
    const char* command;   // polled until the analyser answers
    const char* key;       // the measurement key and caption of GetMeasurementList
    const char* caption;
    bool checksTestStop;   // ends the polling when the link finds the test unsupported
    bool dropsBanner;      // a reply beginning with the maker's banner is not stored
};

template <class Self, class TConfig, class TResult>
class SingleShotClass : public TestElementClass<Self, TConfig, TResult> {
protected:
    SingleShotClass();

    QList<std::pair<QString, QString>> measurementRows() const override;
    Variant GetInstructions() override;
    void PerformMeasurement() override;

private:
    QString ReadMeasurement();
};

#define KELTO_SINGLE_SHOT_TEST(Name, TestId, Command, Key, Caption, ChecksTestStop, DropsBanner)                            \
    class CTest##Name : public SingleShotClass<CTest##Name, CConfig##Name, CResult##Name> {                                \
    public:                                                                                                                \
        static constexpr const char* kProgId = "KeltoTarvoXTest.CTest" #Name;                                              \
        static constexpr std::int32_t kTestId = TestId;                                                                    \
        static constexpr SingleShotInfo kInfo{kProgId, TestId, Command, Key, Caption, ChecksTestStop, DropsBanner};        \
        CTest##Name() = default;                                                                                           \
    };

KELTO_SINGLE_SHOT_TEST(VFIBEnergy, 100, "[NRG]", "ENGY", "20120::Energy", false, false)
KELTO_SINGLE_SHOT_TEST(VTACHEnergy, 200, "[EVT]", "ENGY", "20120::Energy", false, false)
KELTO_SINGLE_SHOT_TEST(PeakVoltage, 400, "[PVT]", "PEAV", "20121::Peak Voltage", false, true)
KELTO_SINGLE_SHOT_TEST(OverCurrent, 500, "[OCR]", "OVRC", "20122::Over Current", true, true)
KELTO_SINGLE_SHOT_TEST(OverVoltage, 600, "[OVT]", "OVRV", "20123::Over Voltage", true, true)

#undef KELTO_SINGLE_SHOT_TEST

extern template class SingleShotClass<CTestVFIBEnergy, CConfigVFIBEnergy, CResultVFIBEnergy>;
extern template class SingleShotClass<CTestVTACHEnergy, CConfigVTACHEnergy, CResultVTACHEnergy>;
extern template class SingleShotClass<CTestPeakVoltage, CConfigPeakVoltage, CResultPeakVoltage>;
extern template class SingleShotClass<CTestOverCurrent, CConfigOverCurrent, CResultOverCurrent>;
extern template class SingleShotClass<CTestOverVoltage, CConfigOverVoltage, CResultOverVoltage>;

} // namespace kelto
