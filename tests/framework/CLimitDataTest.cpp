#include <gtest/gtest.h>
#include <limits>

#include "LimitTestDoubles.h"
#include "framework/CLimitData.h"
#include "framework/MMiscUtils.h"
#include "host/HostLog.h"
#include "host/Judgement.h"
#include "host/Report.h"
#include "host/Standards.h"
#include "host/TestSetup.h"
#include "host/XmlDocument.h"

using namespace kelto;
using namespace kelto::testing;

namespace {

constexpr float kNone = std::numeric_limits<float>::quiet_NaN();

struct Fixture {
    explicit Fixture(std::int32_t testId)
    {
        element = std::make_shared<FakeElement>(testId);
        limits = std::make_shared<CLimitData>();
        limits->Initialize(element, true);
        element->limits = limits;
    }
    // Limits whose standards are exactly the given one (for CopyFrom).
    static Ptr<ILimitData> holding(const Ptr<IStandard>& s)
    {
        auto l = std::make_shared<CLimitData>();
        auto doc = std::make_shared<host::XmlDocument>();
        auto e = makeCollection({s})->Save(doc);
        e->SetTagName(QStringLiteral("ExpectedResult"));
        l->Load(e, nullptr);
        return l;
    }
    Ptr<FakeElement> element;
    Ptr<CLimitData> limits;
};

Ptr<CMeasurement> reading(const QString& key, const Variant& value, const Variant& preset = {})
{
    auto m = std::make_shared<CMeasurement>();
    m->Initialize(key, key, QStringLiteral("u"), evtNumber);
    m->SetValue(value);
    m->SetPresetValue(preset);
    return m;
}

QStringList names(const Ptr<IStandardCollection>& collection)
{
    QStringList out;
    for (int i = 0; collection && i < collection->Count(); ++i)
        out << collection->Item(i)->AlphaName();
    return out;
}

QStringList limitKeysAndUnits(const Ptr<IStandard>& standard)
{
    QStringList out;
    for (const auto& l : standard->Limits())
        out << l->Key() + QLatin1Char(' ') + l->Unit() + QLatin1Char(' ') + l->Formula(elvHigh);
    return out;
}

// An element that fails while its content is read.
class UnreadableElement : public IXmlElement {
public:
    QString TagName() override { return QStringLiteral("ExpectedResult"); }
    void SetTagName(const QString&) override {}
    QString GetAttribute(const QString&) override { return {}; }
    void SetAttribute(const QString&, const QString&) override {}
    Ptr<IXmlElementList> Children() override { raiseError(vberr::ObjectNotSet, QStringLiteral("UnreadableElement")); }
    bool HasChildren() override { return true; }
    QString Text() override { return {}; }
    void SetText(const QString&) override {}
    Ptr<IXmlElement> AddTextElement(const QString&, const QString&) override { return nullptr; }
    void AppendChild(const Ptr<IXmlElement>&) override {}
    Ptr<IXmlElement> FindChild(const QString&, int) override { return nullptr; }
};

} // namespace

// ---- evaluation against the selected standards ---------------------------------------

TEST(CLimitDataEvaluation, failingOwnStandardsAreReturnedInTheOrderOfTheSelection)
{
    auto ownA = makeStandard(QStringLiteral("A"), QStringLiteral("A 1"), {{QStringLiteral("PEAV"), 100.0f, kNone}});
    auto ownB = makeStandard(QStringLiteral("B"), QStringLiteral("B 1"), {{QStringLiteral("PEAV"), 50.0f, kNone}});
    auto ownC = makeStandard(QStringLiteral("C"), QStringLiteral("C 1"), {{QStringLiteral("PEAV"), 500.0f, kNone}});
    Fixture f(400);
    f.limits->CopyFrom(Fixture::holding(ownA));
    f.limits->Standards()->Add(ownB);
    f.limits->Standards()->Add(ownC);
    auto own = f.limits->Standards();

    // The selection holds the host's catalogue objects, not the test's own.
    auto selected = makeCollection({makeStandard(QStringLiteral("B"), QStringLiteral("B 1"), {}), makeStandard(QStringLiteral("C"), QStringLiteral("C 1"), {}),
        makeStandard(QStringLiteral("A"), QStringLiteral("A 1"), {})});
    auto failed = f.limits->FindFailedStandards(reading(QStringLiteral("PEAV"), 120.0), selected);
    ASSERT_TRUE(failed);
    EXPECT_EQ(names(failed), (QStringList{"B", "A"}));
    EXPECT_EQ(failed->Item(0), own->Item(1));

    EXPECT_EQ(f.limits->FindFailedStandards(reading(QStringLiteral("PEAV"), 40.0), selected), nullptr);
}

TEST(CLimitDataEvaluation, standardsTheTestLacksAreIgnored)
{
    Fixture f(400);
    f.limits->CopyFrom(Fixture::holding(makeStandard(QStringLiteral("A"), QStringLiteral("A 1"), {{QStringLiteral("PEAV"), 1.0f, kNone}})));
    // Same alpha name but another complete name is another standard.
    auto selected = makeCollection({makeStandard(QStringLiteral("A"), QStringLiteral("A 2"), {{QStringLiteral("PEAV"), 1.0f, kNone}}),
        makeStandard(QStringLiteral("Z"), QStringLiteral("Z 1"), {{QStringLiteral("PEAV"), 1.0f, kNone}})});
    EXPECT_EQ(f.limits->FindFailedStandards(reading(QStringLiteral("PEAV"), 900.0), selected), nullptr);

    auto m = reading(QStringLiteral("PEAV"), 900.0);
    m->UpdateStatus(f.limits, selected);
    EXPECT_EQ(m->Status(), emsPassed);
}

TEST(CLimitDataEvaluation, aPlaceOfTheSelectionThatGivesNoStandardIsSkipped)
{
    // A selection that answers a place with nothing, as another host's might.
    class Gapped : public host::StandardCollection {
    public:
        Ptr<IStandard> Item(int index) override { return index == 0 ? nullptr : host::StandardCollection::Item(index); }
    };
    Fixture f(400);
    f.limits->CopyFrom(Fixture::holding(makeStandard(QStringLiteral("A"), QStringLiteral("A 1"), {{QStringLiteral("PEAV"), 100.0f, kNone}})));
    auto selected = std::make_shared<Gapped>();
    selected->Add(makeStandard(QStringLiteral("A"), QStringLiteral("A 1"), {}));
    selected->Add(makeStandard(QStringLiteral("A"), QStringLiteral("A 1"), {}));
    auto failed = f.limits->FindFailedStandards(reading(QStringLiteral("PEAV"), 120.0), selected);
    EXPECT_EQ(names(failed), QStringList{"A"}) << "the second place is still judged";
}

TEST(CLimitDataEvaluation, zeroOfANumberedChargeTimeFailsWhateverTheLimits)
{
    Fixture f(1400);
    f.limits->CopyFrom(Fixture::holding(makeStandard(QStringLiteral("A"), QStringLiteral("A 1"), {{QStringLiteral("CHTI"), 15.0f, kNone}})));
    auto selected = makeCollection({makeStandard(QStringLiteral("A"), QStringLiteral("A 1"), {})});

    EXPECT_EQ(names(f.limits->FindFailedStandards(reading(QStringLiteral("CHTI5"), 0.0), selected)), QStringList{"A"});
    EXPECT_EQ(f.limits->FindFailedStandards(reading(QStringLiteral("CHTI5"), 0.1), selected), nullptr);
    EXPECT_EQ(names(f.limits->FindFailedStandards(reading(QStringLiteral("CHTI5"), 15.5), selected)), QStringList{"A"});
    // The plain charge time is judged by its limits alone.
    EXPECT_EQ(f.limits->FindFailedStandards(reading(QStringLiteral("CHTI"), 0.0), selected), nullptr);

    Fixture low(300);
    low.limits->CopyFrom(Fixture::holding(makeStandard(QStringLiteral("A"), QStringLiteral("A 1"), {{QStringLiteral("CHTI"), 15.0f, 1.0f}})));
    EXPECT_EQ(names(low.limits->FindFailedStandards(reading(QStringLiteral("CHTI"), 0.0), selected)), QStringList{"A"});
}

TEST(CLimitDataEvaluation, numberedEnergyIsJudgedAgainstTheEnergyLimit)
{
    Fixture f(1600);
    f.limits->CopyFrom(Fixture::holding(makeStandard(QStringLiteral("A"), QStringLiteral("A 1"), {{QStringLiteral("ENGY"), 10.0f, -10.0f, QStringLiteral("X+(X*Y%)")}})));
    auto selected = makeCollection({makeStandard(QStringLiteral("A"), QStringLiteral("A 1"), {})});
    EXPECT_EQ(f.limits->FindFailedStandards(reading(QStringLiteral("ENGY3"), 205.0, 200), selected), nullptr);
    EXPECT_EQ(names(f.limits->FindFailedStandards(reading(QStringLiteral("ENGY3"), 225.0, 200), selected)), QStringList{"A"});
    EXPECT_EQ(names(f.limits->FindFailedStandards(reading(QStringLiteral("ENGY3"), 175.0, 200), selected)), QStringList{"A"});
}

TEST(CLimitDataEvaluation, noSyncAndEmptyReadingsFailALimitedKeyAndStayAsStored)
{
    Fixture f(700);
    f.limits->CopyFrom(Fixture::holding(makeStandard(QStringLiteral("A"), QStringLiteral("A 1"), {{QStringLiteral("SYNT"), 60.0f, kNone}})));
    f.limits->Standards()->Add(makeStandard(QStringLiteral("B"), QStringLiteral("B 1"), {{QStringLiteral("SYNT"), kNone, kNone}}));
    auto selected = makeCollection({makeStandard(QStringLiteral("A"), QStringLiteral("A 1"), {}), makeStandard(QStringLiteral("B"), QStringLiteral("B 1"), {})});

    auto noSync = reading(QStringLiteral("SYNT"), QStringLiteral("NOSYNC"));
    EXPECT_EQ(names(f.limits->FindFailedStandards(noSync, selected)), QStringList{"A"});
    noSync->UpdateStatus(f.limits, selected);
    EXPECT_EQ(noSync->Status(), emsFailed);
    EXPECT_EQ(noSync->value(), Variant(QStringLiteral("NOSYNC")));

    auto empty = reading(QStringLiteral("SYNT"), Variant());
    EXPECT_EQ(names(f.limits->FindFailedStandards(empty, selected)), QStringList{"A"});

    auto good = reading(QStringLiteral("SYNT"), 42.0);
    good->UpdateStatus(f.limits, selected);
    EXPECT_EQ(good->Status(), emsPassed);
}

TEST(CLimitDataEvaluation, validationAgreesWithTheRunOnEveryReading)
{
    // The host asks ValidateLimits about one standard; the run's verdict comes from
    // FindFailedStandards. A numbered charge time of 0 is a discharge that never came.
    Fixture f(1400);
    f.limits->CopyFrom(Fixture::holding(makeStandard(QStringLiteral("A"), QStringLiteral("A 1"), {{QStringLiteral("CHTI"), 15.0f, kNone}})));
    f.limits->Standards()->Add(makeStandard(QStringLiteral("B"), QStringLiteral("B 1"), {{QStringLiteral("CHTI"), 5.0f, -4.0f, QStringLiteral("X+Y")}}));
    f.limits->Standards()->Add(makeStandard(QStringLiteral("C"), QStringLiteral("C 1"), {}));
    const Variant readings[] = {0.0, 0.5, 12.0, 16.0, std::numeric_limits<double>::quiet_NaN(), QStringLiteral("NOSYNC"), Variant()};
    for (const QString& name : {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}) {
        const auto selected = makeCollection({makeStandard(name, name + QStringLiteral(" 1"), {})});
        const auto own = f.limits->Standards()->Find(0, name, name + QStringLiteral(" 1"));
        for (const QString& key : {QStringLiteral("CHTI"), QStringLiteral("CHTI5")}) {
            for (const Variant& preset : {Variant(10.0), Variant(QStringLiteral("abc"))}) {
                for (const Variant& value : readings) {
                    SCOPED_TRACE((name + QLatin1Char(' ') + key + QLatin1Char(' ') + value.toString() + QLatin1Char(' ') + preset.toString()).toStdString());
                    const auto m = reading(key, value, preset);
                    const bool runFails = f.limits->FindFailedStandards(m, selected) != nullptr;
                    EXPECT_EQ(m->ValidateLimits(own), runFails ? emsFailed : 0);
                }
            }
        }
    }
    EXPECT_EQ(reading(QStringLiteral("CHTI5"), 0.0)->ValidateLimits(f.limits->Standards()->Item(0)), emsFailed);
}

TEST(CLimitDataEvaluation, withoutStandardsOrSelectionEveryMeasurementPasses)
{
    Fixture f(400);
    auto selected = makeCollection({makeStandard(QStringLiteral("A"), QStringLiteral("A 1"), {})});
    EXPECT_EQ(f.limits->Standards(), nullptr);
    EXPECT_EQ(f.limits->FindFailedStandards(reading(QStringLiteral("PEAV"), 1e6), selected), nullptr);
    f.limits->CopyFrom(Fixture::holding(makeStandard(QStringLiteral("A"), QStringLiteral("A 1"), {{QStringLiteral("PEAV"), 1.0f, kNone}})));
    EXPECT_EQ(f.limits->FindFailedStandards(reading(QStringLiteral("PEAV"), 1e6), nullptr), nullptr);
    EXPECT_EQ(f.limits->FindFailedStandards(nullptr, selected), nullptr);
}

// ---- standards of a test --------------------------------------------------------------------

TEST(CLimitDataStandards, builtInLimitsFollowTheTestType)
{
    Fixture pacer(1200);
    auto standard = pacer.limits->CreateStandard(QStringLiteral("EN"), QStringLiteral("EN 60601"));
    ASSERT_TRUE(standard);
    EXPECT_EQ(standard->AlphaName(), QStringLiteral("EN"));
    EXPECT_EQ(limitKeysAndUnits(standard), (QStringList{"PACR ppm ", "PULC mA ", "PULW ms ", "PULV mV "}));
    EXPECT_EQ(pacer.limits->Standards()->Item(0), standard);

    Fixture vfib(100);
    EXPECT_EQ(limitKeysAndUnits(vfib.limits->CreateStandard(QStringLiteral("EN"), QStringLiteral("EN 1"))), QStringList{"ENGY J X+(X*Y%)"});
    Fixture pulses(1600);
    EXPECT_EQ(limitKeysAndUnits(pulses.limits->CreateStandard(QStringLiteral("EN"), QStringLiteral("EN 1"))), (QStringList{"ENGY J ", "PLSC None "}));

    Fixture waveform(1000);
    auto empty = waveform.limits->CreateStandard(QStringLiteral("EN"), QStringLiteral("EN 1"));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->Limits().isEmpty());
    // A standard is known by its names: asked again, the test gives the one it holds,
    // for a second of the same names could never be judged.
    EXPECT_EQ(waveform.limits->CreateStandard(QStringLiteral("EN"), QStringLiteral("EN 1")), empty);
    EXPECT_EQ(waveform.limits->Standards()->Count(), 1);
}

TEST(CLimitDataStandards, templateStandardOfThePlugInComesFirst)
{
    struct PlugIn : ITarvoXPlugIn {
        QStringList asked;
        Ptr<IStandard> LoadStandard(std::int32_t testId, QString& alpha, QString& complete) override
        {
            asked << QStringLiteral("%1 %2 %3").arg(testId).arg(alpha, complete);
            alpha.clear();
            return testId == 300 ? makeStandard(QStringLiteral("T"), QStringLiteral("T 1"), {{QStringLiteral("CHTI"), 15.0f, kNone}}) : nullptr;
        }
    };
    auto plugIn = std::make_shared<PlugIn>();
    MMiscUtils::StorePlugIn(plugIn);
    Fixture charge(300);
    auto fromTemplate = charge.limits->CreateStandard(QStringLiteral("T"), QStringLiteral("T 1"));
    Fixture peak(400);
    auto builtIn = peak.limits->CreateStandard(QStringLiteral("P"), QStringLiteral("P 1"));
    MMiscUtils::StorePlugIn(nullptr);

    EXPECT_EQ(plugIn->asked, (QStringList{"300 T T 1", "400 P P 1"}));
    ASSERT_TRUE(fromTemplate);
    EXPECT_TRUE(fromTemplate->Limits().first()->HasValue(elvHigh));
    EXPECT_EQ(charge.limits->Standards()->Item(0), fromTemplate);
    EXPECT_EQ(limitKeysAndUnits(builtIn), QStringList{"PEAV V "});
}

TEST(CLimitDataStandards, withoutOwnerNothingIsCreatedAndTheErrorIsReported)
{
    host::HostLog::instance().clear();
    CLimitData limits;
    EXPECT_EQ(limits.CreateStandard(QStringLiteral("A"), QStringLiteral("A 1")), nullptr);
    EXPECT_EQ(limits.Standards(), nullptr);
    EXPECT_EQ(host::HostLog::instance().reportedErrors().size(), 1);
}

TEST(CLimitDataStandards, cloneAndCopyHoldIndependentCollections)
{
    Fixture f(400);
    f.limits->SetHasDialog(false);
    f.limits->CreateStandard(QStringLiteral("A"), QStringLiteral("A 1"));
    auto clone = f.limits->Clone();
    ASSERT_TRUE(clone);
    EXPECT_EQ(clone->Owner(), nullptr);
    EXPECT_FALSE(clone->HasDialog());
    EXPECT_NE(clone->Standards(), f.limits->Standards());
    clone->Standards()->Add(makeStandard(QStringLiteral("B"), QStringLiteral("B 1"), {}));
    EXPECT_EQ(names(f.limits->Standards()), QStringList{"A"});
    EXPECT_EQ(names(clone->Standards()), (QStringList{"A", "B"}));

    f.limits->CopyFrom(nullptr);
    EXPECT_EQ(names(f.limits->Standards()), QStringList{"A"});
    f.limits->CopyFrom(std::make_shared<CLimitData>());
    EXPECT_EQ(f.limits->Standards(), nullptr);
    EXPECT_EQ(f.limits->Description(), QString());
}

TEST(CLimitDataStandards, endOfTheLimitsEmptiesTheirCollectionForOtherHolders)
{
    Ptr<IStandardCollection> held;
    {
        Fixture f(400);
        f.limits->CreateStandard(QStringLiteral("A"), QStringLiteral("A 1"));
        held = f.limits->Standards();
        f.element->limits.reset();
    }
    EXPECT_EQ(held->Count(), 0);
}

// ---- "ExpectedResult" element ---------------------------------------------------------------

TEST(CLimitDataXml, saveThenLoadGivesTheSameStandardsAndLimits)
{
    Fixture f(100);
    auto standard = f.limits->CreateStandard(QStringLiteral("EN"), QStringLiteral("EN 60601-2-4"));
    standard->Limits().first()->SetValue(elvHigh, 15.1f);
    standard->Limits().first()->SetValue(elvLow, -15.1f);
    auto doc = std::make_shared<host::XmlDocument>();
    auto element = f.limits->Save(doc);
    ASSERT_TRUE(element);
    EXPECT_EQ(element->TagName(), QStringLiteral("ExpectedResult"));

    Fixture other(100);
    other.limits->Load(element, nullptr);
    ASSERT_TRUE(other.limits->Standards());
    auto loaded = other.limits->Standards()->Find(0, QStringLiteral("EN"), QStringLiteral("EN 60601-2-4"));
    ASSERT_TRUE(loaded);
    auto limit = loaded->Limits().first();
    EXPECT_EQ(limit->Key(), QStringLiteral("ENGY"));
    EXPECT_EQ(limit->Unit(), QStringLiteral("J"));
    EXPECT_EQ(limit->Value(elvHigh), 15.1f);
    EXPECT_EQ(limit->Value(elvLow), -15.1f);
    EXPECT_EQ(limit->Formula(elvHigh), QStringLiteral("X+(X*Y%)"));

    Fixture none(100);
    EXPECT_EQ(none.limits->Save(doc), nullptr);
}

TEST(CLimitDataXml, elementWithoutStandardsLeavesNone)
{
    Fixture f(400);
    f.limits->CreateStandard(QStringLiteral("A"), QStringLiteral("A 1"));
    auto doc = std::make_shared<host::XmlDocument>();
    f.limits->Load(doc->CreateElement(QStringLiteral("ExpectedResult")), nullptr);
    EXPECT_EQ(f.limits->Standards(), nullptr);
}

TEST(CLimitDataXml, wrongTagIsRefusedAndTheStandardsStay)
{
    Fixture f(400);
    f.limits->CreateStandard(QStringLiteral("A"), QStringLiteral("A 1"));
    const auto before = f.limits->Standards();
    auto doc = std::make_shared<host::XmlDocument>();
    auto element = makeCollection({makeStandard(QStringLiteral("B"), QStringLiteral("B 1"), {})})->Save(doc);
    element->SetTagName(QStringLiteral("expectedResult"));
    EXPECT_EQ(errorNumberOf([&] { f.limits->Load(element, nullptr); }), CLimitData::errBadElement);
    EXPECT_EQ(f.limits->Standards(), before);
    EXPECT_EQ(names(before), QStringList{"A"});
}

TEST(CLimitDataXml, failedReadingKeepsThePreviousStandards)
{
    host::HostLog::instance().clear();
    Fixture f(400);
    f.limits->CreateStandard(QStringLiteral("A"), QStringLiteral("A 1"));
    const auto before = f.limits->Standards();
    EXPECT_EQ(errorNumberOf([&] { f.limits->Load(std::make_shared<UnreadableElement>(), nullptr); }), 0);
    EXPECT_EQ(f.limits->Standards(), before);
    EXPECT_EQ(names(before), QStringList{"A"});
    EXPECT_EQ(host::HostLog::instance().reportedErrors().size(), 1);
}

TEST(CLimitDataReport, limitsArePrintedOnlyWhenTheTestHasStandards)
{
    auto report = std::make_shared<host::Report>();
    auto setup = std::make_shared<host::TestSetup>();
    Fixture f(300);
    f.limits->PrintReport(report, setup);
    EXPECT_TRUE(report->calls().isEmpty());

    auto standard = f.limits->CreateStandard(QStringLiteral("A"), QStringLiteral("A 1"));
    standard->Limits().first()->SetValue(elvHigh, 15);
    setup->setSelectedStandards(makeCollection({makeStandard(QStringLiteral("A"), QStringLiteral("A 1"), {})}));
    f.limits->PrintReport(report, setup);
    EXPECT_FALSE(report->tables().isEmpty());
}

TEST(CLimitDataReport, noReportOrNoOwnerPrintsNothingAndReportsNothing)
{
    Fixture f(300);
    auto standard = f.limits->CreateStandard(QStringLiteral("A"), QStringLiteral("A 1"));
    standard->Limits().first()->SetValue(elvHigh, 15);
    host::HostLog::instance().clear();
    EXPECT_EQ(errorNumberOf([&] { f.limits->PrintReport(nullptr, std::make_shared<host::TestSetup>()); }), 0);

    auto ownerless = std::make_shared<CLimitData>();
    ownerless->CopyFrom(f.limits);
    auto report = std::make_shared<host::Report>();
    EXPECT_EQ(errorNumberOf([&] { ownerless->PrintReport(report, std::make_shared<host::TestSetup>()); }), 0);
    EXPECT_TRUE(host::HostLog::instance().reportedErrors().isEmpty());
}

TEST(CLimitDataReport, withoutARunNothingIsPrintedAndTheMissingRunIsReported)
{
    // The limits printed are those of the run's standards; there is no run to ask.
    Fixture f(300);
    auto standard = f.limits->CreateStandard(QStringLiteral("A"), QStringLiteral("A 1"));
    standard->Limits().first()->SetValue(elvHigh, 15);
    host::HostLog::instance().clear();
    auto report = std::make_shared<host::Report>();
    EXPECT_EQ(errorNumberOf([&] { f.limits->PrintReport(report, nullptr); }), 0);
    EXPECT_TRUE(report->tables().isEmpty());
    ASSERT_EQ(host::HostLog::instance().reportedErrors().size(), 1);
    EXPECT_EQ(host::HostLog::instance().reportedErrors()[0].number, vberr::ObjectNotSet);
}

// ---- cost -------------------------------------------------------------------------------------

namespace {

// Every read of a name counts: a lookup that walks the standards reads them all.
struct Counted : host::Standard {
    static inline long reads = 0;
    QString AlphaName() override { return ++reads, host::Standard::AlphaName(); }
    QString CompleteName() override { return ++reads, host::Standard::CompleteName(); }
};

} // namespace

TEST(CLimitDataCost, aSequencesStandardsAreMatchedAtACostInProportionToTheirNumber)
{
    // Names of the sequence's standards read while they are listed, judged and printed.
    auto readsFor = [](int elements, int standardsEach) {
        QList<Ptr<FakeElement>> held;
        QList<Ptr<ITestElement>> sequence;
        for (int e = 0; e < elements; ++e) {
            Fixture f(300);
            f.limits->CreateStandard(QStringLiteral("seed"), QString());
            f.limits->Standards()->Clear();
            for (int k = 0; k < standardsEach; ++k) {
                auto s = std::make_shared<Counted>();
                s->SetNames(QStringLiteral("S%1").arg(e * standardsEach + k), QStringLiteral("C"), 1);
                f.limits->Standards()->Add(s);
            }
            auto result = std::make_shared<FakeResult>();
            result->add(QStringLiteral("CHTI"), 5.0);
            f.element->result = result;
            held.append(f.element);
            sequence.append(f.element);
        }
        Counted::reads = 0;
        const auto selected = host::standardsHeldBy(sequence);
        auto setup = std::make_shared<host::TestSetup>();
        setup->setSelectedStandards(selected);
        auto report = std::make_shared<host::Report>();
        for (const auto& element : held) {
            EXPECT_TRUE(host::judgedByNoLimit(element, selected));
            element->limits->PrintReport(report, setup);
        }
        return Counted::reads;
    };
    // The shapes of a long file: one element with many standards, many elements with a few.
    for (const auto& [elements, standardsEach] : {std::pair{1, 400}, std::pair{40, 10}}) {
        SCOPED_TRACE(std::to_string(elements) + " x " + std::to_string(standardsEach));
        const long once = readsFor(elements, standardsEach);
        EXPECT_LE(readsFor(elements * 2, standardsEach) + readsFor(elements, standardsEach * 2), 4 * once + once / 2);
    }
}
