// Classes of this family that are created by ProgID or class id. The battery-capacity,
// pulse repetition and pacer results are private: only their test elements make them.

#include "framework/ClassLists.h"
#include "results/CResultSeries.h"
#include "results/CResultSingleReading.h"
#include "results/CResultWaveform.h"

namespace kelto {

namespace {

template <class T>
ClassEntry resultEntry(const ResultIdentity& identity)
{
    return {identity.progId, T::kClassId, &createInstance<T>};
}

} // namespace

ClassEntries resultClasses()
{
    return {
        resultEntry<CResultChargeTime>(CResultChargeTime::kInfo.identity),
        resultEntry<CResultVFIBEnergy>(CResultVFIBEnergy::kInfo.identity),
        resultEntry<CResultVTACHEnergy>(CResultVTACHEnergy::kInfo.identity),
        resultEntry<CResultPeakVoltage>(CResultPeakVoltage::kInfo.identity),
        resultEntry<CResultOverCurrent>(CResultOverCurrent::kInfo.identity),
        resultEntry<CResultOverVoltage>(CResultOverVoltage::kInfo.identity),
        resultEntry<CResultSyncRPeak>(CResultSyncRPeak::kInfo.identity),
        resultEntry<CResultSyncQBase>(CResultSyncQBase::kInfo.identity),
        resultEntry<CResultBatteryRetention>(CResultBatteryRetention::kIdentity),
        resultEntry<CResultNormalSinus>(CResultNormalSinus::kInfo.identity),
        resultEntry<CResultArrhythmia>(CResultArrhythmia::kInfo.identity),
        resultEntry<CResultPerformance>(CResultPerformance::kInfo.identity),
    };
}

} // namespace kelto
