#include <gtest/gtest.h>

#include "ResultTestSupport.h"
#include "tests/support/MissingClass.h"
#include "framework/FDialogWrapper.h"
#include "host/Standards.h"
#include "results/CResultSingleReading.h"

using namespace kelto;
using namespace kelto::resulttest;

namespace {

Ptr<CResultChargeTime> chargeTime()
{
    auto result = std::make_shared<CResultChargeTime>();
    result->Initialize(std::make_shared<CConfigChargeTime>());
    return result;
}

template <class R>
Ptr<CResultBase> laidOut()
{
    auto result = std::make_shared<R>();
    result->Initialize(nullptr);
    return result;
}

Variant valueOf(const Ptr<CResultBase>& result, const QString& key)
{
    return result->FindMeasurement(key)->Value();
}

} // namespace

// ---- the measurement set ----------------------------------------------------------

TEST(SingleReadingResult, beforeInitializeThereAreNoMeasurements)
{
    CResultChargeTime result;
    EXPECT_EQ(result.MeasurementCount(), 0);
    EXPECT_EQ(result.Measurement(Variant(1)), nullptr);
    EXPECT_EQ(result.Measurement(Variant("CHTI")), nullptr);
}

TEST(SingleReadingResult, initializedChargeTimeHoldsOneEmptyTranslatedMeasurement)
{
    auto result = chargeTime();
    EXPECT_EQ(result->Status(), emsNone);
    EXPECT_EQ(result->MTIID(), 0);
    EXPECT_EQ(result->ServiceRecord(), nullptr);
    ASSERT_EQ(result->MeasurementCount(), 1);
    const Ptr<IMeasurement> m = result->Measurement(Variant("CHTI"));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m, result->Measurement(Variant(1)));
    EXPECT_EQ(m, result->Measurement(Variant("chti"))) << "keys are found without regard to case";
    EXPECT_EQ(m->Key(), QStringLiteral("CHTI"));
    EXPECT_EQ(result->FindMeasurement(QStringLiteral("CHTI"))->RawDescription(), QStringLiteral("Charge Time"));
    EXPECT_EQ(m->Unit(), QStringLiteral("s"));
    EXPECT_EQ(m->ValueType(), evtNumber);
    EXPECT_EQ(m->ValueFormat(), QStringLiteral("# ##0"));
    EXPECT_TRUE(m->value().isEmpty());
    EXPECT_TRUE(m->PresetValue().isEmpty());
    EXPECT_EQ(m->Status(), emsNone);

    // Every class of the family holds its own caption, unit and format.
    const struct {
        Ptr<CResultBase> result;
        const char* key;
        const char* caption;
        const char* unit;
        const char* format;
    } family[] = {
        {laidOut<CResultChargeTime>(), "CHTI", "Charge Time", "s", "# ##0"},
        {laidOut<CResultVFIBEnergy>(), "ENGY", "Energy", "J", "# ##0.0"},
        {laidOut<CResultVTACHEnergy>(), "ENGY", "Energy", "J", "# ##0.0"},
        {laidOut<CResultPeakVoltage>(), "PEAV", "Peak Voltage", "V", "# ##0.0"},
        {laidOut<CResultOverCurrent>(), "OVRC", "Over Current", "A", "# ##0.0"},
        {laidOut<CResultOverVoltage>(), "OVRV", "Over Voltage", "V", "# ##0.0"},
        {laidOut<CResultSyncRPeak>(), "SYNT", "Sync Time", "ms", "# ##0.0"},
        {laidOut<CResultSyncQBase>(), "SYNT", "Sync Time", "ms", "# ##0.0"},
    };
    for (const auto& f : family) {
        ASSERT_EQ(f.result->MeasurementCount(), 1);
        const Ptr<CMeasurement> each = f.result->FindMeasurement(QLatin1String(f.key));
        ASSERT_NE(each, nullptr) << f.key;
        EXPECT_EQ(each->RawDescription(), QLatin1String(f.caption)) << f.key;
        EXPECT_EQ(each->Unit(), QLatin1String(f.unit)) << f.caption;
        EXPECT_EQ(each->ValueFormat(), QLatin1String(f.format)) << f.caption;
        EXPECT_EQ(each->ValueType(), evtNumber) << f.caption;
    }
}

TEST(SingleReadingResult, measurementLookupOutsideTheSetGivesNull)
{
    auto result = chargeTime();
    EXPECT_EQ(result->Measurement(Variant("ENGY")), nullptr);
    EXPECT_EQ(result->Measurement(Variant(0)), nullptr);
    EXPECT_EQ(result->Measurement(Variant(2)), nullptr);
    EXPECT_EQ(result->Measurement(Variant(-1)), nullptr);
    EXPECT_EQ(result->Measurement(Variant()), nullptr);
    EXPECT_EQ(result->Measurement(Variant::null()), nullptr);
}

TEST(SingleReadingResult, secondInitializeStartsANewSetAndKeepsTheRest)
{
    auto result = chargeTime();
    result->StoreResult(QStringLiteral("5.3"));
    result->SetComment(QStringLiteral("note"));
    result->SetMTIID(7);
    auto owner = OwnerElement::make();
    result->UpdateStatus(owner, selection({}));
    const Ptr<IMeasurement> first = result->Measurement(Variant(1));

    result->Initialize(nullptr);
    ASSERT_EQ(result->MeasurementCount(), 1);
    EXPECT_NE(result->Measurement(Variant(1)), first);
    EXPECT_TRUE(result->Measurement(Variant(1))->value().isEmpty());
    EXPECT_EQ(result->Status(), emsPassed);
    EXPECT_EQ(result->Comment(), QStringLiteral("note"));
    EXPECT_EQ(result->MTIID(), 7);
}

TEST(SingleReadingResult, energyResultsTakeTheConfiguredEnergyAsPresetOnce)
{
    auto config = std::make_shared<CConfigVFIBEnergy>();
    config->SetPresetEnergy(200);
    CResultVFIBEnergy result;
    result.Initialize(config);
    const Variant preset = result.FindMeasurement(QStringLiteral("ENGY"))->PresetValue();
    EXPECT_EQ(preset.type(), VarType::Single);
    EXPECT_EQ(preset.toSingle(), 200.0f);
    config->SetPresetEnergy(150);
    EXPECT_EQ(result.FindMeasurement(QStringLiteral("ENGY"))->PresetValue().toSingle(), 200.0f) << "a later change does not reach the result";

    CResultVTACHEnergy withoutConfig;
    withoutConfig.Initialize(nullptr);
    EXPECT_TRUE(withoutConfig.FindMeasurement(QStringLiteral("ENGY"))->PresetValue().isEmpty());

    // Only the energy results know a preset.
    auto peak = std::make_shared<CConfigPeakVoltage>();
    CResultPeakVoltage voltage;
    voltage.Initialize(peak);
    EXPECT_TRUE(voltage.FindMeasurement(QStringLiteral("PEAV"))->PresetValue().isEmpty());
}

// ---- readings ------------------------------------------------------------------------

TEST(SingleReadingResult, storeResultTakesTheLeadingNumberOfTheReply)
{
    const struct {
        const char* reply;
        double value;
    } cases[] = {
        {"5.3", 5.3}, {" 5.3", 5.3}, {"12.5 J\r", 12.5}, {"1 234", 1234}, {"0", 0}, {"-2.5E1x", -25}, {"&H10", 16},
    };
    for (const auto& c : cases) {
        auto result = chargeTime();
        result->StoreResult(QString::fromLatin1(c.reply));
        const Variant v = valueOf(result, QStringLiteral("CHTI"));
        EXPECT_EQ(v.type(), VarType::Double) << c.reply;
        EXPECT_DOUBLE_EQ(v.toDouble(), c.value) << c.reply;
    }
}

TEST(SingleReadingResult, emptyReplyKeepsTheEarlierValueAndALaterReplyReplacesIt)
{
    auto result = chargeTime();
    result->StoreResult(QString());
    EXPECT_TRUE(valueOf(result, QStringLiteral("CHTI")).isEmpty());
    result->StoreResult(QStringLiteral("4"));
    result->StoreResult(QString());
    EXPECT_EQ(valueOf(result, QStringLiteral("CHTI")), Variant(4.0));
    result->StoreResult(QStringLiteral("6.5"));
    EXPECT_EQ(valueOf(result, QStringLiteral("CHTI")), Variant(6.5));
}

TEST(SingleReadingResult, replyWithoutANumberIsNoReadingAndFailsALimit)
{
    // "OVER" is the analyser's over-range answer; stored as 0 it would pass a maximum.
    // A number beyond any range would otherwise leave the earlier 3 to pass in its place.
    for (const char* reply : {"OVER", "\r", "abc", " ", "1E999"}) {
        CResultOverCurrent result;
        result.Initialize(nullptr);
        result.StoreResult(QStringLiteral("3"));
        result.StoreResult(QString::fromLatin1(reply));
        EXPECT_TRUE(result.FindMeasurement(QStringLiteral("OVRC"))->Value().isNull()) << reply;

        auto owner = OwnerElement::make({makeStandard(QStringLiteral("A"), {{QStringLiteral("OVRC"), 50.0f}})});
        result.UpdateStatus(owner, selection({QStringLiteral("A")}));
        EXPECT_EQ(result.Status(), emsFailed) << reply;
    }
}

TEST(SingleReadingResult, syncResultsTellNoSynchronisationFromAnOverReply)
{
    const struct {
        const char* reply;
        Variant value;
    } cases[] = {
        {"OVER", Variant("NOSYNC")}, {"OVERRANGE\r", Variant("NOSYNC")}, {"OVE", Variant::null()}, {"Over", Variant::null()},
        {" OVER", Variant::null()}, {"42.5", Variant(42.5)},
    };
    for (const auto& c : cases) {
        CResultSyncQBase result;
        result.Initialize(nullptr);
        result.StoreResult(QString::fromLatin1(c.reply));
        EXPECT_EQ(result.FindMeasurement(QStringLiteral("SYNT"))->Value(), c.value) << c.reply;
        EXPECT_EQ(result.FindMeasurement(QStringLiteral("SYNT"))->ValueType(), evtNumber) << c.reply;
    }
    // Only the sync results know the rule.
    CResultOverVoltage voltage;
    voltage.Initialize(nullptr);
    voltage.StoreResult(QStringLiteral("OVER"));
    EXPECT_TRUE(voltage.FindMeasurement(QStringLiteral("OVRV"))->Value().isNull());
}

TEST(SingleReadingResult, noSyncFailsTheSyncLimitOfASelectedStandard)
{
    CResultSyncRPeak result;
    result.Initialize(nullptr);
    result.StoreResult(QStringLiteral("OVER"));
    auto owner = OwnerElement::make({makeStandard(QStringLiteral("A"), {{QStringLiteral("SYNT"), 60.0f}})});
    result.UpdateStatus(owner, selection({QStringLiteral("A")}));
    EXPECT_EQ(result.Status(), emsFailed);
}

// ---- evaluation --------------------------------------------------------------------------

TEST(SingleReadingResult, statusFollowsTheLimitsOfTheSelectedOwnStandards)
{
    auto owner = OwnerElement::make({makeStandard(QStringLiteral("A"), {{QStringLiteral("CHTI"), 10.0f}}),
        makeStandard(QStringLiteral("B"), {{QStringLiteral("CHTI"), 5.0f}})});
    auto result = chargeTime();
    result->StoreResult(QStringLiteral("7"));

    result->UpdateStatus(owner, selection({QStringLiteral("A")}));
    EXPECT_EQ(result->Status(), emsPassed);
    EXPECT_EQ(result->Measurement(Variant(1))->Status(), emsPassed);

    result->UpdateStatus(owner, selection({QStringLiteral("A"), QStringLiteral("B")}));
    EXPECT_EQ(result->Status(), emsFailed);
    EXPECT_EQ(result->Measurement(Variant(1))->Status(), emsFailed);

    // A selected standard the test has no limits for judges nothing.
    result->UpdateStatus(owner, selection({QStringLiteral("Z")}));
    EXPECT_EQ(result->Status(), emsPassed);

    // Each evaluation starts from the current reading.
    result->StoreResult(QStringLiteral("4"));
    result->UpdateStatus(owner, selection({QStringLiteral("A"), QStringLiteral("B")}));
    EXPECT_EQ(result->Status(), emsPassed);
}

TEST(SingleReadingResult, notApplicableKeepsTheMeasurementStatus)
{
    auto owner = OwnerElement::make({makeStandard(QStringLiteral("A"), {{QStringLiteral("CHTI"), 5.0f}})});
    auto result = chargeTime();
    result->StoreResult(QStringLiteral("7"));
    result->UpdateStatus(owner, selection({QStringLiteral("A")}));
    result->UpdateStatus(owner, selection({QStringLiteral("A")}), true);
    EXPECT_EQ(result->Status(), emsNotApplicable);
    EXPECT_EQ(result->Measurement(Variant(1))->Status(), emsFailed);
}

TEST(SingleReadingResult, aRunWhoseLimitsCannotBeReadIsNotPassed)
{
    auto owner = OwnerElement::make({makeStandard(QStringLiteral("A"), {{QStringLiteral("CHTI"), 5.0f}})}, 1);
    owner->limitsFail = true;
    auto result = chargeTime();
    result->StoreResult(QStringLiteral("4"));
    result->UpdateStatus(owner, selection({QStringLiteral("A")}));
    EXPECT_EQ(result->Status(), emsFailed) << "a reading within the limit is still not judged";
    EXPECT_EQ(result->Measurement(Variant(1))->Status(), emsFailed);
    EXPECT_TRUE(result->StatusText().contains(QStringLiteral("limits of the test could not be read")));

    // Its reading and the reason are kept in the saved result.
    auto doc = std::make_shared<host::XmlDocument>();
    const auto saved = result->Save(doc);
    ASSERT_TRUE(saved);
    auto reloaded = chargeTime();
    reloaded->Load(saved, nullptr);
    EXPECT_EQ(reloaded->Status(), emsFailed);
    EXPECT_EQ(reloaded->StatusText(), result->StatusText());
    EXPECT_EQ(reloaded->Measurement(Variant(1))->value(), Variant(4.0));

    result->UpdateStatus(nullptr, selection({QStringLiteral("A")}));
    EXPECT_EQ(result->Status(), emsFailed);

    // Limits that can be read again judge the run afresh.
    owner->limitsFail = false;
    result->UpdateStatus(owner, selection({QStringLiteral("A")}));
    EXPECT_EQ(result->Status(), emsPassed);
    EXPECT_TRUE(result->StatusText().isEmpty());
}

TEST(SingleReadingResult, aRunTheLimitsCannotJudgeIsNotPassed)
{
    // A standard whose check the host cannot make.
    struct Unjudged : host::Standard {
        std::int32_t CheckValue(const QString&, float, const Variant&) override { raiseError(vberr::ObjectNotSet, QStringLiteral("Unjudged")); }
    };
    auto owner = OwnerElement::make({makeStandard(QStringLiteral("A"), {{QStringLiteral("CHTI"), 5.0f}})});
    auto unjudged = std::make_shared<Unjudged>();
    unjudged->SetNames(QStringLiteral("B"), QStringLiteral("B full"), 1);
    owner->limits->Standards()->Add(unjudged);
    const auto a = selection({QStringLiteral("A")});
    const auto ab = selection({QStringLiteral("A"), QStringLiteral("B")});
    auto result = chargeTime();
    result->StoreResult(QStringLiteral("4"));

    result->UpdateStatus(owner, ab);
    EXPECT_EQ(result->Status(), emsFailed);
    EXPECT_TRUE(result->StatusText().contains(QStringLiteral("limits of the test could not be read"))) << result->StatusText().toStdString();
    result->UpdateStatus(owner, a);
    EXPECT_EQ(result->Status(), emsPassed);
    {
        // Nor can the host give a collection for the failed standards.
        const MissingClass noCollection(hostclass::StandardCollection);
        result->UpdateStatus(owner, a);
        EXPECT_EQ(result->Status(), emsFailed);
        EXPECT_TRUE(result->StatusText().contains(QStringLiteral("limits of the test could not be read")));
    }
}

// ---- service record ------------------------------------------------------------------------

TEST(SingleReadingResultServiceRecord, codesAndValuesFollowTheEvaluation)
{
    auto owner = OwnerElement::make({makeStandard(QStringLiteral("A"), {{QStringLiteral("CHTI"), 5.0f}})}, 1);
    auto result = chargeTime();
    result->StoreResult(QStringLiteral("4.5"));
    result->UpdateStatus(owner, selection({QStringLiteral("A")}));
    ASSERT_NE(result->ServiceRecord(), nullptr);
    EXPECT_EQ(result->ServiceRecord()->Codes(), QString());
    EXPECT_EQ(result->ServiceRecord()->Values(), QStringLiteral("/4.5"));
    EXPECT_EQ(std::dynamic_pointer_cast<host::ServiceRecord>(result->ServiceRecord())->filterFlags(), 1);

    result->StoreResult(QStringLiteral("7"));
    result->UpdateStatus(owner, selection({QStringLiteral("A")}));
    EXPECT_EQ(result->ServiceRecord()->Codes(), QStringLiteral("F"));
    EXPECT_EQ(result->ServiceRecord()->Values(), QStringLiteral("/7"));

    result->UpdateStatus(owner, selection({QStringLiteral("A")}), true);
    EXPECT_EQ(result->ServiceRecord()->Codes(), QStringLiteral("NA"));
    EXPECT_EQ(result->ServiceRecord()->Values(), QString());
}

TEST(SingleReadingResultServiceRecord, aFailedReadingWithoutDisplayTextStillGivesTheCode)
{
    auto owner = OwnerElement::make({makeStandard(QStringLiteral("A"), {{QStringLiteral("CHTI"), 5.0f}})}, 1);
    auto result = chargeTime();
    result->StoreResult(QStringLiteral("OVER"));
    result->UpdateStatus(owner, selection({QStringLiteral("A")}));
    ASSERT_NE(result->ServiceRecord(), nullptr);
    EXPECT_EQ(result->ServiceRecord()->Codes(), QStringLiteral("F"));
    EXPECT_EQ(result->ServiceRecord()->Values(), QString());
}

TEST(SingleReadingResultServiceRecord, aFilterWithoutTheRecordBitLeavesTheEarlierRecord)
{
    auto owner = OwnerElement::make({}, 1);
    auto result = chargeTime();
    result->StoreResult(QStringLiteral("3"));
    result->UpdateStatus(owner, selection({}));
    const Ptr<IServiceRecord> earlier = result->ServiceRecord();
    ASSERT_NE(earlier, nullptr);

    owner->filter->SetFlags(2);
    result->StoreResult(QStringLiteral("9"));
    result->UpdateStatus(owner, selection({}), true);
    EXPECT_EQ(result->ServiceRecord(), earlier);
    EXPECT_EQ(earlier->Values(), QStringLiteral("/3"));

    CResultChargeTime fresh;
    fresh.Initialize(nullptr);
    fresh.UpdateStatus(owner, selection({}));
    EXPECT_EQ(fresh.ServiceRecord(), nullptr);
}

// ---- comment and dialog -------------------------------------------------------------------------

TEST(SingleReadingResult, aCommentOfAnyLengthOffersTheDialog)
{
    auto result = chargeTime();
    EXPECT_FALSE(result->HasDialog());
    result->SetComment(QStringLiteral(" "));
    EXPECT_TRUE(result->HasDialog());
    EXPECT_EQ(result->Comment(), QStringLiteral(" "));
    result->SetComment(QString());
    EXPECT_FALSE(result->HasDialog());
}

TEST(SingleReadingResult, createDialogGivesADialogWrapperEvenWithoutItsPanel)
{
    auto result = chargeTime();
    const Ptr<IDialog> dialog = result->CreateDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_NE(std::dynamic_pointer_cast<FDialogWrapper>(dialog), nullptr);
    dialog->Unload();
}
