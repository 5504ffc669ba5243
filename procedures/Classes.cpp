// Classes of this family that are created by ProgID or class id.

#include "framework/ClassLists.h"
#include "procedures/defibrillator/CTestBatteryCapacity.h"
#include "procedures/defibrillator/CTestChargeTime.h"
#include "procedures/defibrillator/CTestSingleShot.h"
#include "procedures/defibrillator/CTestBatteryRetention.h"
#include "procedures/defibrillator/CTestDefibPulse.h"
#include "procedures/defibrillator/CTestSyncDelay.h"
#include "procedures/pacer_ecg/CTestPacerRefractory.h"
#include "procedures/pacer_ecg/CTestWaveform.h"

namespace kelto {

namespace {

template <class T>
ClassEntry elementEntry()
{
    return {T::kProgId, nullptr, &createTestElement<T>};
}

} // namespace

ClassEntries procedureClasses()
{
    return {
        elementEntry<CTestVFIBEnergy>(),
        elementEntry<CTestVTACHEnergy>(),
        elementEntry<CTestChargeTime>(),
        elementEntry<CTestPeakVoltage>(),
        elementEntry<CTestOverCurrent>(),
        elementEntry<CTestOverVoltage>(),
        elementEntry<CTestBatteryCapacity>(),
        elementEntry<CTestSyncRPeak>(),
        elementEntry<CTestSyncQBase>(),
        elementEntry<CTestBatteryRetention>(),
        elementEntry<CTestDefibPulse>(),
        elementEntry<CTestNormalSinus>(),
        elementEntry<CTestArrhythmia>(),
        elementEntry<CTestPerformance>(),
        elementEntry<CTestPacerParameter>(),
        elementEntry<CTestPacerRefractory>(),
    };
}

} // namespace kelto
