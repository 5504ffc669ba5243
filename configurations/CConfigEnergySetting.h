#pragma once
// The energy-setting configurations: the energy in joules to which the operator
// sets the defibrillator. Ten test types share this code.

#include "configurations/CConfigBase.h"

namespace kelto {

class CConfigEnergySetting : public CConfigBase {
public:
    float PresetEnergy() const { return m_presetEnergy; }
    void SetPresetEnergy(float energy) { m_presetEnergy = energy; }

    // Makes this configuration a copy of source; a null source changes nothing.
    void CopyFrom(const CConfigEnergySetting* source);

protected:
    explicit CConfigEnergySetting(const ConfigIdentity& identity) : CConfigBase(identity) {}

    void copyFromSame(const CConfigBase& source) override;
    std::function<void()> readFields(const Ptr<IXmlElement>& in) override;
    void writeFields(const Ptr<IXmlElement>& out) override;
    QString reportRows(const Ptr<IReport>& report) override;

private:
    float m_presetEnergy = 100;
};

#define KELTO_ENERGY_CONFIG(Name, ClassId)                                                                             \
    class CConfig##Name : public ConfigClass<CConfig##Name, CConfigEnergySetting> {                                    \
    public:                                                                                                            \
        static constexpr ConfigIdentity kIdentity{"KeltoTarvoXTest.CConfig" #Name, "KeltoTarvoXTest.X" #Name "Config"}; \
        static constexpr const char* kClassId = ClassId;                                                               \
    };

KELTO_ENERGY_CONFIG(VFIBEnergy, "{B1B17667-FB46-4990-BDE5-A4E40F267AD9}")
KELTO_ENERGY_CONFIG(VTACHEnergy, "{E5E9F3F0-7A8B-4F3B-958C-918856F5D81D}")
KELTO_ENERGY_CONFIG(ChargeTime, "{B0D2BFDD-3DA3-4653-AA05-261F68A519D1}")
KELTO_ENERGY_CONFIG(PeakVoltage, "{8AAB4743-6242-4E94-8E4A-C33185488F27}")
KELTO_ENERGY_CONFIG(OverCurrent, "{332EBE03-7AC9-47C0-BF29-82FEEA204488}")
KELTO_ENERGY_CONFIG(OverVoltage, "{F86B94D8-41E2-48C2-ABFC-74A97341E2D0}")
KELTO_ENERGY_CONFIG(SyncRPeak, "{BC968BDB-79D5-4780-B7EF-EA35344BFCDA}")
KELTO_ENERGY_CONFIG(SyncQBase, "{10B8123A-803F-4B56-97A6-0BC7FE669AB8}")
KELTO_ENERGY_CONFIG(BatteryCapacity, nullptr) // private to the library: created by ProgID only
KELTO_ENERGY_CONFIG(BatteryRetention, "{5882ED3F-6E96-46E8-953B-C18DBA90197E}")

#undef KELTO_ENERGY_CONFIG

} // namespace kelto
