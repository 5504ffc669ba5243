// The sixteen configuration classes: names, identifiers, panels and defaults.

#include <functional>

#include "ConfigTestSupport.h"
#include "configurations/CConfigDefibPulse.h"
#include "configurations/CConfigEnergySetting.h"
#include "configurations/CConfigPacer.h"
#include "configurations/CConfigWaveform.h"

using namespace kelto;
using namespace kelto::testing;

namespace {

struct ClassFacts {
    const char* name; // class name after "KeltoTarvoXTest.C"
    const char* classId; // null: private to the library, created by no name
    // Checks the class and its defaults on a created object.
    std::function<void(const ObjectPtr&)> check;
};

template <class T>
std::function<void(const ObjectPtr&)> energyDefaults()
{
    return [](const ObjectPtr& o) {
        auto c = std::dynamic_pointer_cast<T>(o);
        ASSERT_TRUE(c);
        EXPECT_EQ(c->PresetEnergy(), 100.0f);
    };
}

template <class T>
std::function<void(const ObjectPtr&)> pacerDefaults()
{
    return [](const ObjectPtr& o) {
        auto c = std::dynamic_pointer_cast<T>(o);
        ASSERT_TRUE(c);
        EXPECT_EQ(c->PacerLoad(), QStringLiteral("50"));
        EXPECT_EQ(c->LoadIndex(), 0);
        EXPECT_EQ(c->PacerRate(), 60.0f);
        EXPECT_EQ(c->PacerAmplitude(), 50.0f);
    };
}

template <class T>
std::function<void(const ObjectPtr&)> waveDefaults(std::int32_t waveType, const char* command)
{
    return [=](const ObjectPtr& o) {
        auto c = std::dynamic_pointer_cast<T>(o);
        ASSERT_TRUE(c);
        EXPECT_EQ(c->Duration(), 7);
        EXPECT_EQ(c->WaveType(), waveType);
        EXPECT_EQ(c->GenerateWaveCommand(), QLatin1String(command));
    };
}

const ClassFacts kClasses[] = {
    {"VFIBEnergy", "{B1B17667-FB46-4990-BDE5-A4E40F267AD9}", energyDefaults<CConfigVFIBEnergy>()},
    {"VTACHEnergy", "{E5E9F3F0-7A8B-4F3B-958C-918856F5D81D}", energyDefaults<CConfigVTACHEnergy>()},
    {"ChargeTime", "{B0D2BFDD-3DA3-4653-AA05-261F68A519D1}", energyDefaults<CConfigChargeTime>()},
    {"PeakVoltage", "{8AAB4743-6242-4E94-8E4A-C33185488F27}", energyDefaults<CConfigPeakVoltage>()},
    {"OverCurrent", "{332EBE03-7AC9-47C0-BF29-82FEEA204488}", energyDefaults<CConfigOverCurrent>()},
    {"OverVoltage", "{F86B94D8-41E2-48C2-ABFC-74A97341E2D0}", energyDefaults<CConfigOverVoltage>()},
    {"SyncRPeak", "{BC968BDB-79D5-4780-B7EF-EA35344BFCDA}", energyDefaults<CConfigSyncRPeak>()},
    {"SyncQBase", "{10B8123A-803F-4B56-97A6-0BC7FE669AB8}", energyDefaults<CConfigSyncQBase>()},
    {"BatteryCapacity", nullptr, energyDefaults<CConfigBatteryCapacity>()},
    {"BatteryRetention", "{5882ED3F-6E96-46E8-953B-C18DBA90197E}", energyDefaults<CConfigBatteryRetention>()},
    {"DefibPulse", nullptr,
        [](const ObjectPtr& o) {
            auto c = std::dynamic_pointer_cast<CConfigDefibPulse>(o);
            ASSERT_TRUE(c);
            EXPECT_EQ(c->PresetEnergy(), 100.0f);
            EXPECT_FALSE(c->BatteryOperated());
        }},
    {"NormalSinus", "{9D5A777D-5E4D-4636-A44C-0DEA8B8D7A33}", waveDefaults<CConfigNormalSinus>(100, "[W01]")},
    {"Arrhythmia", "{3FAC67E5-49E8-48BC-8106-FBD4B5AB9F57}", waveDefaults<CConfigArrhythmia>(200, "[W16]")},
    {"Performance", "{A08D5523-63C1-4B05-8F97-4057408DD31B}", waveDefaults<CConfigPerformance>(300, "[W06]")},
    {"PacerParameter", nullptr, pacerDefaults<CConfigPacerParameter>()},
    {"PacerRefractory", nullptr, pacerDefaults<CConfigPacerRefractory>()},
};

} // namespace

TEST(ConfigClasses, EachIsCreatedByProgIdWithItsDefaultsAndPanel_PrivateOnesByNoName)
{
    QStringList registered;
    for (const ClassRegistration& reg : ComponentRuntime::instance().classes())
        registered << reg.progId;
    for (const ClassFacts& facts : kClasses) {
        SCOPED_TRACE(facts.name);
        const QString progId = QStringLiteral("KeltoTarvoXTest.CConfig") + QLatin1String(facts.name);
        EXPECT_EQ(registered.contains(progId), facts.classId != nullptr);
        EXPECT_EQ(CreateObject(progId) != nullptr, facts.classId != nullptr);
        ObjectPtr object = newConfiguration(QLatin1String(facts.name));
        ASSERT_TRUE(object);
        const IObject& original = *object;
        facts.check(object);
        auto config = std::dynamic_pointer_cast<CConfigBase>(object);
        ASSERT_TRUE(config);
        EXPECT_EQ(config->progId(), progId);
        EXPECT_EQ(config->panelProgId(), QStringLiteral("KeltoTarvoXTest.X") + QLatin1String(facts.name) + QStringLiteral("Config"));
        EXPECT_TRUE(config->HasDialog());
        EXPECT_TRUE(config->TestGuideConfig());
        if (facts.classId) {
            ObjectPtr byId = CreateObject(QLatin1String(facts.classId));
            ASSERT_TRUE(byId);
            const IObject& created = *byId;
            EXPECT_EQ(typeid(created), typeid(original));
        }
        // A clone is of the same class and has the same defaults.
        ObjectPtr clone = config->Clone();
        ASSERT_TRUE(clone);
        const IObject& copy = *clone;
        EXPECT_EQ(typeid(copy), typeid(original));
        facts.check(clone);
    }
}
