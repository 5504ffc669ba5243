// The pacer family, through the pacer parameter configuration.

#include "configurations/CConfigPacer.h"

#include "ConfigTestSupport.h"

using namespace kelto;
using namespace kelto::testing;

TEST(PacerConfig, SavesItsFourFieldsThenTheTestGuideSettings)
{
    CConfigPacerParameter config;
    auto saved = config.Save(newDocument());
    ASSERT_TRUE(saved);
    EXPECT_EQ(childNames(saved), (QStringList{"Load", "LoadIndex", "Rate", "Amplitude", "TestGuideSettings"}));
    EXPECT_EQ(childText(saved, QStringLiteral("Load")), QStringLiteral("50"));
    EXPECT_EQ(childText(saved, QStringLiteral("LoadIndex")), QStringLiteral("0"));
    EXPECT_EQ(childText(saved, QStringLiteral("Rate")), QStringLiteral("60"));
    EXPECT_EQ(childText(saved, QStringLiteral("Amplitude")), QStringLiteral("50"));

    config.SetPacerRate(72.4f);
    config.SetPacerAmplitude(12.25f);
    config.SetPacerLoad(QStringLiteral("1500"));
    config.SetLoadIndex(6);
    CConfigPacerRefractory other;
    other.Load(config.Save(newDocument()), nullptr);
    EXPECT_EQ(other.PacerRate(), 72.4f);
    EXPECT_EQ(other.PacerAmplitude(), 12.25f);
    EXPECT_EQ(other.PacerLoad(), QStringLiteral("1500"));
    EXPECT_EQ(other.LoadIndex(), 6);
}

TEST(PacerConfig, LoadTakesAWholeIndexAndKeepsFieldsOfMissingChildren)
{
    CConfigPacerParameter config;
    config.Load(plugInData(QStringLiteral("<LoadIndex>2</LoadIndex><Rate>72.5</Rate>")), nullptr);
    EXPECT_EQ(config.LoadIndex(), 2);
    EXPECT_FLOAT_EQ(config.PacerRate(), 72.5f);
    // Rounded, an index would choose another load: it is refused.
    config.Load(plugInData(QStringLiteral("<LoadIndex>3.5</LoadIndex>")), nullptr);
    EXPECT_EQ(config.LoadIndex(), 2);
    config.Load(plugInData(QStringLiteral("<LoadIndex>4</LoadIndex>")), nullptr);
    EXPECT_EQ(config.LoadIndex(), 4);
    config.Load(plugInData(QStringLiteral("<Load>300</Load>")), nullptr);
    EXPECT_EQ(config.PacerLoad(), QStringLiteral("300"));
    EXPECT_EQ(config.LoadIndex(), 4);
    EXPECT_FLOAT_EQ(config.PacerAmplitude(), 50.0f);
}

TEST(PacerConfig, AnIndexBeyondSixteenBitsFailsTheWholeLoad)
{
    CConfigPacerParameter config;
    host::HostLog::instance().clear();
    EXPECT_NO_THROW(config.Load(plugInData(QStringLiteral("<Load>300</Load><LoadIndex>40000</LoadIndex><Rate>90</Rate>")), nullptr));
    EXPECT_EQ(config.PacerLoad(), QStringLiteral("50"));
    EXPECT_EQ(config.LoadIndex(), 0);
    EXPECT_FLOAT_EQ(config.PacerRate(), 60.0f);
    ASSERT_EQ(reportedErrors().size(), 1);
    EXPECT_EQ(reportedErrors()[0].number, vberr::Overflow);
    EXPECT_EQ(reportedErrors()[0].source, QStringLiteral("KeltoTarvoXTest.CConfigPacerParameter"));
}

TEST(PacerConfig, CloneIsIndependent)
{
    CConfigPacerRefractory source;
    source.SetPacerRate(80);
    source.SetLoadIndex(3);
    source.SetPacerLoad(QStringLiteral("500"));
    auto copy = std::dynamic_pointer_cast<CConfigPacerRefractory>(source.Clone());
    ASSERT_TRUE(copy);
    EXPECT_FLOAT_EQ(copy->PacerRate(), 80.0f);
    EXPECT_EQ(copy->LoadIndex(), 3);
    EXPECT_EQ(copy->PacerLoad(), QStringLiteral("500"));
    EXPECT_NE(copy->TestGuideConfig(), source.TestGuideConfig());
    copy->SetPacerRate(100);
    EXPECT_FLOAT_EQ(source.PacerRate(), 80.0f);
}
