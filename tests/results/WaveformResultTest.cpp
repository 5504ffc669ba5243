#include <gtest/gtest.h>

#include "ResultTestSupport.h"
#include "results/CResultWaveform.h"

using namespace kelto;
using namespace kelto::resulttest;

namespace {

template <class R, class C>
Ptr<CResultBase> wave(std::int32_t code)
{
    auto config = std::make_shared<C>();
    config->SetWaveType(code);
    auto result = std::make_shared<R>();
    result->Initialize(config);
    return result;
}

Ptr<CResultArrhythmia> arrhythmia(std::int32_t code)
{
    return std::static_pointer_cast<CResultArrhythmia>(wave<CResultArrhythmia, CConfigArrhythmia>(code));
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

    // Each class names every wave of its block, from its first code on, and none beside it.
    const struct {
        Ptr<CResultBase> (*make)(std::int32_t);
        const char* key;
        std::int32_t first;
        QStringList texts;
    } blocks[] = {
        {wave<CResultNormalSinus, CConfigNormalSinus>, "NSW", 100,
            {"20370::30 BPM", "20371::60 BPM", "20372::120 BPM", "20373::180 BPM", "20374::240 BPM"}},
        {wave<CResultArrhythmia, CConfigArrhythmia>, "ARR", 200,
            {"20380::Atrial Fibrillation", "20381::Atrial Flutter", "20382::Atrial Tachycardia", "20383::PVC1", "20384::Run",
                "20385::R on T", "20386::Idioventricular", "20387::Ventricular Tachycardia", "20388::Ventricular Fibrillation"}},
        {wave<CResultPerformance, CConfigPerformance>, "PERF", 300,
            {"20390::Pulse 30 BPM", "20391::Pulse 60 BPM", "20392::Square wave 0.125 Hz", "20393::Square wave 2 Hz", "20394::Sine 10 Hz",
                "20395::Sine 40 Hz", "20396::Sine 50 Hz", "20397::Sine 60 Hz", "20398::Sine 100 Hz", "20399::Triangle 2 Hz"}},
    };
    for (const auto& b : blocks) {
        for (qsizetype i = -1; i <= b.texts.size(); ++i) {
            const Ptr<CMeasurement> m = b.make(b.first + std::int32_t(i))->FindMeasurement(QLatin1String(b.key));
            ASSERT_NE(m, nullptr) << b.key;
            EXPECT_EQ(m->RawDescription(), b.texts.value(i)) << b.first + i;
        }
    }
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
