// The ECG waveform family, through the arrhythmia configuration, and the wave
// command tables of all three classes.

#include "configurations/CConfigWaveform.h"

#include "ConfigTestSupport.h"

using namespace kelto;
using namespace kelto::testing;

TEST(WaveformConfig, WaveCommandTablesEndAtTheirBlockBorders)
{
    struct Case {
        std::int32_t code;
        const char* command;
    };
    auto check = [](CConfigWaveform& config, std::initializer_list<Case> cases) {
        for (const Case& c : cases) {
            config.SetWaveType(c.code);
            EXPECT_EQ(config.GenerateWaveCommand(), QLatin1String(c.command)) << c.code;
        }
    };
    CConfigNormalSinus sinus;
    check(sinus, {{99, ""}, {100, "[W01]"}, {104, "[W05]"}, {105, ""}, {200, ""}});
    CConfigArrhythmia arrhythmia;
    check(arrhythmia, {{199, ""}, {200, "[W16]"}, {208, "[W24]"}, {209, ""}, {300, ""}});
    CConfigPerformance performance;
    check(performance, {{299, ""}, {300, "[W06]"}, {309, "[W15]"}, {310, ""}, {100, ""}});
}

TEST(WaveformConfig, GeneratingACommandNamesTheWaveAndAMissKeepsTheName)
{
    CConfigNormalSinus sinus;
    EXPECT_EQ(sinus.msECGWave(), QString());
    sinus.SetWaveType(103);
    EXPECT_EQ(sinus.GenerateWaveCommand(), QStringLiteral("[W04]"));
    EXPECT_EQ(sinus.msECGWave(), QStringLiteral("Normal sinus rhythm at 180 bpm"));
    sinus.SetWaveType(105);
    EXPECT_EQ(sinus.GenerateWaveCommand(), QString());
    EXPECT_EQ(sinus.msECGWave(), QStringLiteral("Normal sinus rhythm at 180 bpm"));
    // Setting the code alone leaves the name as it was.
    sinus.SetWaveType(100);
    EXPECT_EQ(sinus.msECGWave(), QStringLiteral("Normal sinus rhythm at 180 bpm"));
}

TEST(WaveformConfig, SavesChildrenInEachClassesOrder)
{
    CConfigArrhythmia arrhythmia;
    auto a = arrhythmia.Save(newDocument());
    ASSERT_TRUE(a);
    EXPECT_EQ(childNames(a), (QStringList{"Version", "Duration", "Wavename", "Wavetype", "TestGuideSettings"}));
    EXPECT_EQ(childText(a, QStringLiteral("Version")), QStringLiteral("1.0.3"));
    EXPECT_EQ(childText(a, QStringLiteral("Duration")), QStringLiteral("7"));
    EXPECT_EQ(childText(a, QStringLiteral("Wavetype")), QStringLiteral("200"));

    CConfigNormalSinus sinus;
    EXPECT_EQ(childNames(sinus.Save(newDocument())), (QStringList{"Version", "Duration", "Wavetype", "Wavename", "TestGuideSettings"}));
    CConfigPerformance performance;
    EXPECT_EQ(childNames(performance.Save(newDocument())), (QStringList{"Version", "Duration", "Wavetype", "Wavename", "TestGuideSettings"}));
}

TEST(WaveformConfig, SavesTheNameOfTheSelectedWaveNotOfTheLastGenerated)
{
    CConfigArrhythmia config;
    EXPECT_EQ(config.GenerateWaveCommand(), QStringLiteral("[W16]"));
    config.SetWaveType(205); // as the panel does
    auto saved = config.Save(newDocument());
    EXPECT_EQ(childText(saved, QStringLiteral("Wavetype")), QStringLiteral("205"));
    EXPECT_EQ(childText(saved, QStringLiteral("Wavename")), QStringLiteral("R on T"));

    // A new configuration saves the name of its default wave, not an empty one.
    CConfigPerformance performance;
    EXPECT_EQ(childText(performance.Save(newDocument()), QStringLiteral("Wavename")), QStringLiteral("Pulse 30 BPM"));
}

TEST(WaveformConfig, LoadTakesWholeNumbersAndKeepsTheStoredName)
{
    CConfigArrhythmia config;
    config.Load(plugInData(QStringLiteral("<Version>9.9.9</Version><Wavetype>203</Wavetype><Duration>8</Duration>"
                                          "<Wavename>Extrasystolen</Wavename>")),
        nullptr);
    EXPECT_EQ(config.Duration(), 8);
    EXPECT_EQ(config.WaveType(), 203);
    // Not rounded, not taken in part, not taken as 0 ("Indefinite").
    for (const char* text : {"6.5", "12 s", "forever"}) {
        config.Load(plugInData(QStringLiteral("<Duration>%1</Duration>").arg(QLatin1String(text))), nullptr);
        EXPECT_EQ(config.Duration(), 8) << text;
    }
    EXPECT_EQ(config.WaveType(), 203);

    // A name stored with a code outside the block is kept as it was loaded.
    config.Load(plugInData(QStringLiteral("<Wavetype>250</Wavetype><Wavename>Unknown wave</Wavename>")), nullptr);
    EXPECT_EQ(childText(config.Save(newDocument()), QStringLiteral("Wavename")), QStringLiteral("Unknown wave"));
}

TEST(WaveformConfig, ALoadThatFailsMidwayChangesNothing)
{
    CConfigArrhythmia config;
    config.SetDuration(30);
    config.SetWaveType(204);
    const auto settings = config.TestGuideConfig();
    host::HostLog::instance().clear();
    EXPECT_NO_THROW(config.Load(plugInData(QStringLiteral("<Duration>12</Duration><Wavetype>99999999999</Wavetype>")), nullptr));
    EXPECT_EQ(config.Duration(), 30);
    EXPECT_EQ(config.WaveType(), 204);
    EXPECT_EQ(config.TestGuideConfig(), settings);
    ASSERT_EQ(reportedErrors().size(), 1);
    EXPECT_EQ(reportedErrors()[0].source, QStringLiteral("KeltoTarvoXTest.CConfigArrhythmia"));

    EXPECT_EQ(errorNumberOf([&] { config.Load(elementOf(QStringLiteral("<PlugInData PlugIn=\"TarvoX \"/>")), nullptr); }),
        hresult(0x8004A3C2));
    EXPECT_EQ(config.WaveType(), 204);
}

TEST(WaveformConfig, CloneRegeneratesTheNameAndCopiesTheSettings)
{
    CConfigPerformance source;
    source.Load(plugInData(QStringLiteral("<Duration>45</Duration><Wavetype>302</Wavetype><Wavename>Rechteck</Wavename>")), nullptr);
    auto copy = std::dynamic_pointer_cast<CConfigPerformance>(source.Clone());
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->Duration(), 45);
    EXPECT_EQ(copy->WaveType(), 302);
    EXPECT_EQ(copy->GenerateWaveCommand(), QStringLiteral("[W08]"));
    EXPECT_NE(copy->TestGuideConfig(), source.TestGuideConfig());
    copy->SetDuration(1);
    EXPECT_EQ(source.Duration(), 45);

    CConfigNormalSinus sinus;
    sinus.SetmsECGWave(QStringLiteral("stale"));
    sinus.SetWaveType(102);
    auto sinusCopy = std::dynamic_pointer_cast<CConfigNormalSinus>(sinus.Clone());
    ASSERT_TRUE(sinusCopy);
    EXPECT_EQ(sinusCopy->msECGWave(), QStringLiteral("Normal sinus rhythm at 120 bpm"));
    EXPECT_EQ(sinus.msECGWave(), QStringLiteral("stale"));
}
