// The defibrillator pulse repetition configuration.

#include "configurations/CConfigDefibPulse.h"

#include "ConfigTestSupport.h"

using namespace kelto;
using namespace kelto::testing;

TEST(DefibPulseConfig, SavesEnergyAndBatteryFlagThenTheTestGuideSettings)
{
    CConfigDefibPulse config;
    auto saved = config.Save(newDocument());
    ASSERT_TRUE(saved);
    EXPECT_EQ(childNames(saved), (QStringList{"PresetEnergy", "BatteryOperated", "TestGuideSettings"}));
    EXPECT_EQ(childText(saved, QStringLiteral("PresetEnergy")), QStringLiteral("100"));
    EXPECT_EQ(childText(saved, QStringLiteral("BatteryOperated")), QStringLiteral("False"));

    config.SetBatteryOperated(true);
    config.SetPresetEnergy(360);
    CConfigDefibPulse other;
    other.Load(config.Save(newDocument()), nullptr);
    EXPECT_TRUE(other.BatteryOperated());
    EXPECT_FLOAT_EQ(other.PresetEnergy(), 360.0f);
}

TEST(DefibPulseConfig, TheBatteryFlagIsTrueForExactlyTrueAndFalseForAnyOtherText)
{
    CConfigDefibPulse config;
    config.Load(plugInData(QStringLiteral("<BatteryOperated>True</BatteryOperated>")), nullptr);
    EXPECT_TRUE(config.BatteryOperated());
    config.Load(plugInData(QStringLiteral("<PresetEnergy>50</PresetEnergy>")), nullptr);
    EXPECT_TRUE(config.BatteryOperated());
    // Read as False, the rest of the settings is taken and nothing is reported.
    for (const char* text : {"TRUE", "true", "1", "", "False"}) {
        SCOPED_TRACE(text);
        config.SetBatteryOperated(true);
        host::HostLog::instance().clear();
        config.Load(plugInData(QStringLiteral("<PresetEnergy>150</PresetEnergy><BatteryOperated>%1</BatteryOperated>").arg(QLatin1String(text))), nullptr);
        EXPECT_FALSE(config.BatteryOperated());
        EXPECT_FLOAT_EQ(config.PresetEnergy(), 150.0f);
        EXPECT_TRUE(reportedErrors().isEmpty());
    }
}

TEST(DefibPulseConfig, CloneKeepsTheBatteryFlag)
{
    CConfigDefibPulse source;
    source.SetBatteryOperated(true);
    auto copy = std::dynamic_pointer_cast<CConfigDefibPulse>(source.Clone());
    ASSERT_TRUE(copy);
    EXPECT_TRUE(copy->BatteryOperated());
    EXPECT_NE(copy->TestGuideConfig(), source.TestGuideConfig());
}
