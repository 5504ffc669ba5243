#pragma once
// The single-reading results: one analyser reading per run, judged against the
// limits of the selected standards. Eight test types share this code.

#include "configurations/CConfigEnergySetting.h"
#include "results/CResultBase.h"

namespace kelto {

struct SingleReadingInfo {
    ResultIdentity identity;
    const char* key;
    const char* caption;     // TextRef
    const char* unit;        // TextRef
    const char* valueFormat;
    bool presetEnergy;       // the configured energy is the preset value
    bool syncRule;           // an "OVER" reply means no synchronisation was found
};

class CResultSingleReading : public CResultBase {
public:
    // The analyser's reply: its leading number becomes the reading; an empty reply stores nothing.
    void StoreResult(const QString& sResultData);
    void UpdateStatus(const Ptr<ITestElement>& iteOwner, const Ptr<IStandardCollection>& iscSelected, bool fNA = false);

protected:
    explicit CResultSingleReading(const SingleReadingInfo& info) : CResultBase(info.identity), m_info(info) {}

    // Builds the one measurement; an Empty preset sets none.
    void build(const Variant& preset);
    bool takesPreset() const { return m_info.presetEnergy; }

private:
    const SingleReadingInfo& m_info;
};

// Gives a class of the family its settings and its own configuration class.
template <class Self, class Config>
class SingleReadingClass : public CResultSingleReading {
public:
    SingleReadingClass() : CResultSingleReading(Self::kInfo) {}

    // The configuration of the same test type; may be null (then no preset value).
    void Initialize(const Ptr<Config>& config)
    {
        Variant preset;
        if (takesPreset() && config)
            preset = config->PresetEnergy();
        build(preset);
    }
};

#define KELTO_SINGLE_READING_RESULT(Name, ClassId, Progress, Key, Caption, Unit, Format, Preset, Sync)                  \
    class CResult##Name : public SingleReadingClass<CResult##Name, CConfig##Name> {                                    \
    public:                                                                                                            \
        static constexpr SingleReadingInfo kInfo{                                                                      \
            {"KeltoTarvoXTest.CResult" #Name, "CResult" #Name, Progress}, Key, Caption, Unit, Format, Preset, Sync};    \
        static constexpr const char* kClassId = ClassId;                                                               \
    };

KELTO_SINGLE_READING_RESULT(ChargeTime, "{4CCDCC66-439F-4E13-9D3E-DC1536F62539}",
    "20235::Loading Charge Time Test result data", "CHTI", "20125::Charge Time", "20201::s", "# ##0", false, false)
KELTO_SINGLE_READING_RESULT(VFIBEnergy, "{E496A845-D5C1-43AE-8A15-E204409BEC07}",
    "20233::Loading VFIB Energy Test result data", "ENGY", "20120::Energy", "20200::J", "# ##0.0", true, false)
KELTO_SINGLE_READING_RESULT(VTACHEnergy, "{64EA0120-0ED0-475B-9C10-027A0CE6E226}",
    "20234::Loading VTACH Energy Test result data", "ENGY", "20120::Energy", "20200::J", "# ##0.0", true, false)
KELTO_SINGLE_READING_RESULT(PeakVoltage, "{06E73099-694B-4C6D-83A1-F1A1FB03B760}",
    "20236::Loading Peak Voltage Test result data", "PEAV", "20121::Peak Voltage", "20207::V", "# ##0.0", false, false)
KELTO_SINGLE_READING_RESULT(OverCurrent, "{9566765E-F062-45E9-8490-39DAD84A1CFE}",
    "20237::Loading Over Current Test result data", "OVRC", "20122::Over Current", "20208::A", "# ##0.0", false, false)
KELTO_SINGLE_READING_RESULT(OverVoltage, "{8F42CD0C-837E-4B05-84D4-FAAD58130EC2}",
    "20238::Loading Over Voltage Test result data", "OVRV", "20123::Over Voltage", "20207::V", "# ##0.0", false, false)
KELTO_SINGLE_READING_RESULT(SyncRPeak, "{31C19BBE-E1DE-4D26-8AF2-83A2B9DFD501}",
    "20244::Loading Sync R-Peak Test result data", "SYNT", "20124::Sync Time", "20202::ms", "# ##0.0", false, true)
KELTO_SINGLE_READING_RESULT(SyncQBase, "{3309D598-A1EC-4CAD-AC4C-F9310291BA31}",
    "20245::Loading Sync Q-Base Test result data", "SYNT", "20124::Sync Time", "20202::ms", "# ##0.0", false, true)

#undef KELTO_SINGLE_READING_RESULT

} // namespace kelto
