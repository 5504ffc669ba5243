#include <gtest/gtest.h>

#include "ResultTestSupport.h"
#include "results/CResultWaveform.h"

using namespace kelto;
using namespace kelto::resulttest;

namespace {

Ptr<CResultArrhythmia> arrhythmia(std::int32_t code)
{
    auto config = std::make_shared<CConfigArrhythmia>();
    config->SetWaveType(code);
    auto result = std::make_shared<CResultArrhythmia>();
    result->Initialize(config);
    return result;
}

// What the result grid does when the operator ticks a row.
void mark(const Ptr<CResultBase>& result, bool passed)
{
    auto m = result->FindMeasurement(result->Measurement(Variant(1))->Key());
    m->SetValue(passed);
    m->SetStatus(passed ? emsPassed : emsFailed);
}

} // namespace

TEST(WaveformResult, holdsOneUnjudgedYesNoMeasurementNamedAfterTheWave)
{
    auto result = arrhythmia(207);
    ASSERT_EQ(result->MeasurementCount(), 1);
    const Ptr<CMeasurement> m = result->FindMeasurement(QStringLiteral("ARR"));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->RawDescription(), QStringLiteral("20387::Ventricular Tachycardia"));
    EXPECT_EQ(m->Description(), QStringLiteral("Ventricular Tachycardia"));
    EXPECT_EQ(m->Unit(), QString());
    EXPECT_EQ(m->ValueType(), evtBoolean);
    EXPECT_EQ(m->ValueFormat(), QString());
    EXPECT_TRUE(m->Value().isEmpty());
    EXPECT_EQ(m->Status(), emsNone);
}

TEST(WaveformResult, codesOutsideTheBlockGiveAnEmptyDescription)
{
    EXPECT_EQ(arrhythmia(209)->FindMeasurement(QStringLiteral("ARR"))->RawDescription(), QString());
    EXPECT_EQ(arrhythmia(199)->FindMeasurement(QStringLiteral("ARR"))->RawDescription(), QString());
    CResultArrhythmia withoutConfig;
    withoutConfig.Initialize(nullptr);
    EXPECT_EQ(withoutConfig.MeasurementCount(), 1);
}

TEST(WaveformResult, statusFollowsTheOperatorsMark)
{
    auto owner = OwnerElement::make({}, 1);
    auto result = arrhythmia(200);
    result->UpdateStatus(owner);
    EXPECT_EQ(result->Status(), emsNone) << "an unjudged wave is not a pass";
    EXPECT_EQ(result->ServiceRecord(), nullptr);

    mark(result, true);
    result->UpdateStatus(owner);
    EXPECT_EQ(result->Status(), emsPassed);
    EXPECT_EQ(result->ServiceRecord()->Codes(), QString());
    EXPECT_EQ(result->ServiceRecord()->Values(), QStringLiteral("/True"));

    mark(result, false);
    result->UpdateStatus(owner);
    EXPECT_EQ(result->Status(), emsFailed);
    EXPECT_EQ(result->ServiceRecord()->Codes(), QStringLiteral("F"));
    EXPECT_EQ(result->ServiceRecord()->Values(), QStringLiteral("/False"));
}

TEST(WaveformResult, notApplicableClearsTheMark)
{
    auto owner = OwnerElement::make({}, 1);
    auto result = arrhythmia(200);
    mark(result, false);
    result->UpdateStatus(owner, true);
    EXPECT_EQ(result->Status(), emsNotApplicable);
    EXPECT_EQ(result->Measurement(Variant(1))->Status(), emsNone);
    EXPECT_TRUE(result->Measurement(Variant(1))->value().isEmpty());
    EXPECT_EQ(result->ServiceRecord()->Codes(), QStringLiteral("NA"));
    EXPECT_EQ(result->ServiceRecord()->Values(), QString());

    result->UpdateStatus(owner);
    EXPECT_EQ(result->Status(), emsNone);

    CResultNormalSinus uninitialised;
    uninitialised.UpdateStatus(owner);
    EXPECT_EQ(uninitialised.Status(), emsNone);
    uninitialised.UpdateStatus(owner, true);
    EXPECT_EQ(uninitialised.Status(), emsNotApplicable);
}

TEST(WaveformResult, judgedMarkSurvivesSaveAndLoad)
{
    auto result = arrhythmia(203);
    mark(result, true);
    result->UpdateStatus(OwnerElement::make());
    auto copy = arrhythmia(203);
    copy->Load(result->Save(newDocument()), nullptr);
    EXPECT_EQ(copy->Status(), emsPassed);
    EXPECT_EQ(copy->Measurement(Variant(1))->value(), Variant(true));
    EXPECT_EQ(copy->Measurement(Variant(1))->Status(), emsPassed);
}
