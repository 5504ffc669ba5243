#include <gtest/gtest.h>

#include "ResultTestSupport.h"
#include "results/CResultPacer.h"

using namespace kelto;
using namespace kelto::resulttest;

TEST(PacerResult, parameterResultHoldsFourMeasurementsWithConfiguredPresets)
{
    auto config = std::make_shared<CConfigPacerParameter>();
    CResultPacerParameter result;
    result.Initialize(config);
    ASSERT_EQ(result.MeasurementCount(), 4);
    const char* keys[] = {"PACR", "PULC", "PULW", "PULV"};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(result.Measurement(Variant(i + 1))->Key(), QString::fromLatin1(keys[i]));
    EXPECT_EQ(result.Measurement(Variant(4)), result.Measurement(Variant("PULV")));
    EXPECT_EQ(result.Measurement(Variant("PULV"))->Unit(), QStringLiteral("mV"));
    // Captions stay display texts and are translated when shown.
    EXPECT_EQ(result.FindMeasurement(QStringLiteral("PACR"))->RawDescription(), QStringLiteral("20126::Rate"));
    EXPECT_EQ(result.Measurement(Variant("PACR"))->Description(), QStringLiteral("Rate"));
    EXPECT_EQ(result.Measurement(Variant("PACR"))->PresetValue(), Variant(60.0f));
    EXPECT_EQ(result.Measurement(Variant("PULC"))->PresetValue(), Variant(50.0f));
    EXPECT_TRUE(result.Measurement(Variant("PULW"))->PresetValue().isEmpty());
    EXPECT_TRUE(result.Measurement(Variant("PULV"))->PresetValue().isEmpty());

    CResultPacerParameter withoutConfig;
    withoutConfig.Initialize(nullptr);
    EXPECT_TRUE(withoutConfig.Measurement(Variant("PACR"))->PresetValue().isEmpty());
}

TEST(PacerResult, parameterRepliesGoToTheirMeasurementsAndEmptyOnesAreSkipped)
{
    CResultPacerParameter result;
    result.Initialize(nullptr);
    result.StoreResult({QStringLiteral("70 ppm"), QString(), QString(), QStringLiteral("1200"), QStringLiteral("5")});
    EXPECT_EQ(result.Measurement(Variant("PACR"))->value(), Variant(70.0));
    EXPECT_TRUE(result.Measurement(Variant("PULC"))->value().isEmpty());
    EXPECT_TRUE(result.Measurement(Variant("PULW"))->value().isEmpty());
    EXPECT_EQ(result.Measurement(Variant("PULV"))->value(), Variant(1200.0));

    result.StoreResult({QStringLiteral("x")}); // a short array: the others keep their values
    EXPECT_TRUE(result.Measurement(Variant("PACR"))->value().isNull());
    EXPECT_EQ(result.Measurement(Variant("PULV"))->value(), Variant(1200.0));
}

TEST(PacerResult, refractoryListsSensedFirstButTakesThePacedReplyFirst)
{
    CResultPacerRefractory result;
    result.Initialize(std::make_shared<CConfigPacerRefractory>());
    ASSERT_EQ(result.MeasurementCount(), 2);
    EXPECT_EQ(result.Measurement(Variant(1))->Key(), QStringLiteral("SENS"));
    EXPECT_EQ(result.Measurement(Variant(2))->Key(), QStringLiteral("PACE"));
    EXPECT_EQ(result.Measurement(Variant(1))->ValueType(), evtRefractory);
    result.StoreResult({QStringLiteral("300"), QStringLiteral("250"), QStringLiteral("1")});
    EXPECT_EQ(result.Measurement(Variant("PACE"))->value(), Variant(300.0));
    EXPECT_EQ(result.Measurement(Variant("SENS"))->value(), Variant(250.0));
}

TEST(PacerResult, everyMeasurementIsJudgedAndAnyFailureFailsTheRun)
{
    auto owner = OwnerElement::make({makeStandard(QStringLiteral("A"), {{QStringLiteral("SENS"), 200.0f}, {QStringLiteral("PACE"), 400.0f}})});
    CResultPacerRefractory result;
    result.Initialize(nullptr);
    result.StoreResult({QStringLiteral("300"), QStringLiteral("250")});
    result.UpdateStatus(owner, selection({QStringLiteral("A")}));
    EXPECT_EQ(result.Status(), emsFailed);
    EXPECT_EQ(result.Measurement(Variant("SENS"))->Status(), emsFailed);
    EXPECT_EQ(result.Measurement(Variant("PACE"))->Status(), emsPassed) << "evaluation goes on after a failure";

    // A reading that never came is no pass where the standard limits it.
    CResultPacerRefractory missing;
    missing.Initialize(nullptr);
    missing.StoreResult({QStringLiteral("300")});
    missing.UpdateStatus(owner, selection({QStringLiteral("A")}));
    EXPECT_EQ(missing.Status(), emsFailed);
    EXPECT_EQ(missing.Measurement(Variant("SENS"))->Status(), emsFailed);
}
