#include <gtest/gtest.h>

#include "ResultTestSupport.h"
#include "results/CResultSeries.h"
#include "results/CResultSingleReading.h"
#include "tests/support/MissingClass.h"

using namespace kelto;
using namespace kelto::resulttest;

namespace {

constexpr std::int32_t kWrongElement = hresult(0x8004A3EB);
constexpr std::int32_t kNoElement = hresult(0x8004A3EC);

Ptr<CResultChargeTime> chargeTime()
{
    auto result = std::make_shared<CResultChargeTime>();
    result->Initialize(nullptr);
    return result;
}

// A charge-time result that failed its limit, with comment, service record and id.
Ptr<CResultChargeTime> evaluatedChargeTime()
{
    auto result = chargeTime();
    result->StoreResult(QStringLiteral("7.25"));
    auto owner = OwnerElement::make({makeStandard(QStringLiteral("A"), {{QStringLiteral("CHTI"), 5.0f}})}, 1);
    result->UpdateStatus(owner, selection({QStringLiteral("A")}));
    result->SetComment(QStringLiteral("Paddles worn"));
    result->SetMTIID(42);
    return result;
}

// Everything of a result that a save keeps, as one comparable text.
QString stateOf(const Ptr<CResultBase>& r)
{
    QString s = QStringLiteral("status=%1 mti=%2 comment=%3").arg(r->Status()).arg(r->MTIID()).arg(r->Comment());
    if (auto rec = r->ServiceRecord())
        s += QStringLiteral(" record=%1,%2").arg(rec->Codes(), rec->Values());
    for (int i = 1; i <= r->MeasurementCount(); ++i) {
        auto m = r->Measurement(Variant(i));
        s += QStringLiteral(" %1=%2/%3").arg(m->Key(), m->value().debugText()).arg(m->Status());
    }
    return s;
}

QString resultItem(const QString& children, const QString& attributes = {})
{
    return QStringLiteral("<ResultItem%1>%2</ResultItem>").arg(attributes, children);
}

// A document whose codec cannot make the value element of a measurement.
class ValueRefusingDocument : public host::XmlDocument {
public:
    Ptr<IXmlElement> CreateElement(const QString& name) override
    {
        if (name == QLatin1String("Value"))
            raiseError(hresult(0x80004005), QStringLiteral("XmlDocument"), QStringLiteral("No room for the value."));
        return host::XmlDocument::CreateElement(name);
    }
};

const QString kMeasurementCHTI =
    QStringLiteral("<Measurement Key=\"CHTI\"><Value Type=\"1\" Variant=\"Double\">3.5</Value><Status Value=\"1\"/></Measurement>");

} // namespace

// ---- save ------------------------------------------------------------------------------

TEST(ResultSave, writesItsChildrenInFixedOrder)
{
    auto result = evaluatedChargeTime();
    auto doc = newDocument();
    const Ptr<IXmlElement> e = result->Save(doc);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->TagName(), QStringLiteral("ResultItem"));
    EXPECT_EQ(e->GetAttribute(QStringLiteral("MTI")), QStringLiteral("42"));
    EXPECT_EQ(childNames(e), (QStringList{"Status", "Comment", "ServiceRecord", "Measurement"}));
    EXPECT_EQ(e->FindChild(QStringLiteral("Status"))->GetAttribute(QStringLiteral("Value")), QStringLiteral("2"));
    EXPECT_EQ(e->FindChild(QStringLiteral("Comment"))->Text(), QStringLiteral("Paddles worn"));
    EXPECT_EQ(e->FindChild(QStringLiteral("ServiceRecord"))->GetAttribute(QStringLiteral("Codes")), QStringLiteral("F"));
    EXPECT_EQ(e->FindChild(QStringLiteral("Measurement"))->GetAttribute(QStringLiteral("Key")), QStringLiteral("CHTI"));
    EXPECT_EQ(stateOf(result), stateOf(evaluatedChargeTime())) << "saving changes nothing";
}

TEST(ResultSave, leavesOutWhatTheResultDoesNotHold)
{
    auto result = chargeTime();
    result->StoreResult(QStringLiteral("3"));
    for (std::int32_t mti : {0, -5}) {
        result->SetMTIID(mti);
        const Ptr<IXmlElement> e = result->Save(newDocument());
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->GetAttribute(QStringLiteral("MTI")), QString()) << mti;
        EXPECT_EQ(childNames(e), QStringList{"Status"}) << "status 0: no measurements";
    }
    result->UpdateStatus(OwnerElement::make(), selection({}), true);
    EXPECT_EQ(childNames(result->Save(newDocument())), QStringList{"Status"}) << "status 3: no measurements";
}

TEST(ResultSave, documentWithoutResultItemFailsWithTheOwnNumber)
{
    auto result = evaluatedChargeTime();
    auto doc = newDocument();
    doc->failElementCreation({QStringLiteral("ResultItem")});
    host::HostLog::instance().clear();
    EXPECT_EQ(errorNumberOf([&] { result->Save(doc); }), kNoElement);
    EXPECT_TRUE(reportedErrors().isEmpty());
}

TEST(ResultSave, aStatusOrRecordThatComesBackWithoutAnElementIsLeftOut)
{
    const struct {
        const char* part;
        QStringList children;
    } cases[] = {
        {"Status", {"Comment", "ServiceRecord", "Measurement"}},
        {"ServiceRecord", {"Status", "Comment", "Measurement"}},
    };
    for (const auto& c : cases) {
        auto result = evaluatedChargeTime();
        auto doc = newDocument();
        doc->failElementCreation({QString::fromLatin1(c.part)});
        host::HostLog::instance().clear();
        Ptr<IXmlElement> saved;
        EXPECT_EQ(errorNumberOf([&] { saved = result->Save(doc); }), 0) << c.part;
        ASSERT_NE(saved, nullptr) << c.part;
        EXPECT_EQ(childNames(saved), c.children) << c.part;
        EXPECT_TRUE(reportedErrors().isEmpty()) << c.part;
        EXPECT_EQ(stateOf(result), stateOf(evaluatedChargeTime())) << c.part;
    }
}

TEST(ResultSave, noDocumentOrNoMeasurementElementFailsTheSaveWithOneReport)
{
    auto refusing = newDocument();
    refusing->failElementCreation({QStringLiteral("Measurement")});
    const struct {
        Ptr<IXmlDocument> doc;
        std::int32_t number;
    } cases[] = {{refusing, CMeasurement::errCannotCreate}, {nullptr, vberr::ObjectNotSet}};
    for (const auto& c : cases) {
        auto result = evaluatedChargeTime();
        host::HostLog::instance().clear();
        Ptr<IXmlElement> saved;
        EXPECT_EQ(errorNumberOf([&] { saved = result->Save(c.doc); }), 0) << c.number;
        EXPECT_EQ(saved, nullptr);
        ASSERT_EQ(reportedErrors().size(), 1) << c.number;
        EXPECT_EQ(reportedErrors()[0].number, c.number);
        EXPECT_EQ(reportedErrors()[0].source, QStringLiteral("CResultChargeTime"));
        EXPECT_EQ(stateOf(result), stateOf(evaluatedChargeTime()));
    }
}

TEST(ResultSave, aMeasurementThatFailsInsideIsLeftOutAndReportedOnceByItself)
{
    auto result = evaluatedChargeTime();
    host::HostLog::instance().clear();
    Ptr<IXmlElement> saved;
    EXPECT_EQ(errorNumberOf([&] { saved = result->Save(std::make_shared<ValueRefusingDocument>()); }), 0);
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(childNames(saved), (QStringList{"Status", "Comment", "ServiceRecord"}));
    ASSERT_EQ(reportedErrors().size(), 1);
    EXPECT_EQ(reportedErrors()[0].source, QStringLiteral("KeltoTarvoXTest.CMeasurement"));
}

// ---- round trip ----------------------------------------------------------------------------

TEST(ResultLoad, roundTripGivesBackEverythingSaved)
{
    auto original = evaluatedChargeTime();
    const Ptr<IXmlElement> e = original->Save(newDocument());
    auto copy = chargeTime();
    copy->Load(e, nullptr);
    EXPECT_EQ(stateOf(copy), stateOf(original));
    EXPECT_EQ(copy->FindMeasurement(QStringLiteral("CHTI"))->Value(), Variant(7.25));
    EXPECT_EQ(xmlOf(copy->Save(newDocument())), xmlOf(e));
}

TEST(ResultLoad, statusTextTravelsWithTheStatus)
{
    auto result = chargeTime();
    result->Load(elementOf(resultItem(QStringLiteral("<Status Value=\"1\">checked</Status>"))), nullptr);
    EXPECT_EQ(result->Status(), emsPassed);
    EXPECT_EQ(result->Save(newDocument())->FindChild(QStringLiteral("Status"))->Text(), QStringLiteral("checked"));
}

TEST(ResultLoad, mtiIsAWholeNumberAndAnyOtherTextIsReportedAndNotTaken)
{
    const struct {
        const char* text;
        std::int32_t id;
    } cases[] = {{"12", 12}, {" 7", 7}, {"12abc", 99}, {"2.5", 99}, {"+3", 99}, {"abc", 99}, {"x", 99}};
    for (const auto& c : cases) {
        auto result = chargeTime();
        result->SetMTIID(99);
        host::HostLog::instance().clear();
        result->Load(elementOf(resultItem({}, QStringLiteral(" MTI=\"%1\"").arg(QString::fromLatin1(c.text)))), nullptr);
        EXPECT_EQ(result->MTIID(), c.id) << c.text;
        EXPECT_EQ(reportedErrors().size(), c.id == 99 ? 1 : 0) << c.text;
    }
    for (const char* attributes : {"", " MTI=\"\""}) {
        auto result = chargeTime();
        result->SetMTIID(99);
        result->Load(elementOf(resultItem({}, QString::fromLatin1(attributes))), nullptr);
        EXPECT_EQ(result->MTIID(), 99) << attributes;
    }
}

TEST(ResultLoad, clearsStatusAndCommentAndKeepsARecordTheElementLacks)
{
    auto result = evaluatedChargeTime();
    const Ptr<IServiceRecord> record = result->ServiceRecord();
    result->Load(elementOf(resultItem({})), nullptr);
    EXPECT_EQ(result->Status(), emsNone);
    EXPECT_EQ(result->Comment(), QString());
    EXPECT_EQ(result->ServiceRecord(), record);
    EXPECT_EQ(result->MTIID(), 42);
}

TEST(ResultLoad, laterChildrenWinAndOtherNamesAreSkipped)
{
    auto result = chargeTime();
    result->Load(elementOf(resultItem(QStringLiteral("<Comment>first</Comment><Status Value=\"2\"/><comment>lower</comment>"
                                                     "<ServiceRecord Codes=\"F\" Values=\"/1\"/><Status Value=\"1\"/>"
                                                     "<Comment>second</Comment><Extra/><ServiceRecord Codes=\"\" Values=\"/2\"/>"))),
        nullptr);
    EXPECT_EQ(result->Comment(), QStringLiteral("second"));
    EXPECT_EQ(result->Status(), emsPassed);
    ASSERT_NE(result->ServiceRecord(), nullptr);
    EXPECT_EQ(result->ServiceRecord()->Values(), QStringLiteral("/2"));
}

TEST(ResultLoad, measurementsLoadByKeyWithoutRegardToCaseWhateverTheStatus)
{
    auto result = chargeTime();
    const Ptr<IMeasurement> before = result->Measurement(Variant(1));
    QString child = kMeasurementCHTI;
    child.replace(QStringLiteral("\"CHTI\""), QStringLiteral("\"chti\""));
    result->Load(elementOf(resultItem(QStringLiteral("<Status Value=\"0\"/>") + child)), nullptr);
    EXPECT_EQ(result->Status(), emsNone);
    ASSERT_EQ(result->MeasurementCount(), 1);
    EXPECT_EQ(result->Measurement(Variant("CHTI"))->value(), Variant(3.5));
    EXPECT_EQ(result->Measurement(Variant(1))->Status(), emsPassed);
    EXPECT_EQ(result->Measurement(Variant(1))->ValueFormat(), before->ValueFormat()) << "what the element lacks stays";
    EXPECT_EQ(result->Measurement(Variant(1))->Unit(), QStringLiteral("s"));
}

// ---- refusal and failures --------------------------------------------------------------------

TEST(ResultLoad, anElementOfAnotherNameIsRefusedAndChangesNothing)
{
    for (const char* name : {"resultitem", "Result", "PlugInData"}) {
        auto result = evaluatedChargeTime();
        auto log = newLog();
        host::HostLog::instance().clear();
        const QString xml = QStringLiteral("<%1 MTI=\"7\"><Comment>other</Comment>%2</%1>").arg(QString::fromLatin1(name), kMeasurementCHTI);
        EXPECT_EQ(errorNumberOf([&] { result->Load(elementOf(xml), log); }), kWrongElement) << name;
        EXPECT_EQ(stateOf(result), stateOf(evaluatedChargeTime())) << name;
        const auto entries = protocolEntries();
        ASSERT_EQ(entries.size(), 2) << name;
        EXPECT_EQ(entries[0].kind, host::LogEntry::ProtocolBegin);
        EXPECT_EQ(entries[0].text, QStringLiteral("Loading Charge Time Test result data"));
        EXPECT_EQ(entries[1].kind, host::LogEntry::ProtocolEnd);
        EXPECT_EQ(entries[1].number, entries[0].number) << "the entry opened is the one closed";
        EXPECT_TRUE(reportedErrors().isEmpty());
    }
}

TEST(ResultLoad, withoutALogNoEntryIsOpened)
{
    auto result = chargeTime();
    host::HostLog::instance().clear();
    result->Load(elementOf(resultItem(kMeasurementCHTI)), nullptr);
    EXPECT_TRUE(protocolEntries().isEmpty());
    EXPECT_EQ(result->Measurement(Variant(1))->value(), Variant(3.5));
}

TEST(ResultLoad, aFailureHalfWayIsReportedAndKeepsWhatWasReadBeforeIt)
{
    const QString unknownKey = QStringLiteral("<Measurement Key=\"ENGY\"/>");
    const QString emptyKey = QStringLiteral("<Measurement/>");
    const QString record = QStringLiteral("<ServiceRecord Codes=\"\" Values=\"/1\"/>");
    const QString kept = QStringLiteral(" record=F,/7.25");
    const struct {
        QString xml;
        QString state; // what the result holds afterwards
    } cases[] = {
        {resultItem(QStringLiteral("<Comment>new</Comment><Status Value=\"1\"/>") + kMeasurementCHTI + unknownKey),
            QStringLiteral("status=1 mti=42 comment=new") + kept + QStringLiteral(" CHTI=Double(3.5)/1")},
        {resultItem(QStringLiteral("<Comment>new</Comment>") + kMeasurementCHTI + emptyKey + QStringLiteral("<Status Value=\"1\"/>")),
            QStringLiteral("status=0 mti=42 comment=new") + kept + QStringLiteral(" CHTI=Double(3.5)/1")},
        // The id is read before anything is cleared.
        {resultItem(QStringLiteral("<Comment>new</Comment>") + record, QStringLiteral(" MTI=\"99999999999\"")),
            stateOf(evaluatedChargeTime())},
        // A status that cannot be read is no status of its own.
        {resultItem(QStringLiteral("<Comment>new</Comment><Status Value=\"abc\"/>") + kMeasurementCHTI),
            QStringLiteral("status=0 mti=42 comment=new") + kept + QStringLiteral(" CHTI=Double(7.25)/2")},
    };
    for (const auto& c : cases) {
        const QString& xml = c.xml;
        auto result = evaluatedChargeTime();
        auto log = newLog();
        host::HostLog::instance().clear();
        EXPECT_EQ(errorNumberOf([&] { result->Load(elementOf(xml), log); }), 0) << qPrintable(xml);
        EXPECT_EQ(stateOf(result).toStdString(), c.state.toStdString()) << qPrintable(xml);
        ASSERT_EQ(reportedErrors().size(), 1) << qPrintable(xml);
        EXPECT_EQ(reportedErrors()[0].source, QStringLiteral("CResultChargeTime"));
        const auto entries = protocolEntries();
        ASSERT_FALSE(entries.isEmpty());
        EXPECT_EQ(entries.last().kind, host::LogEntry::ProtocolEnd) << "the load's entry is closed";
    }
}

TEST(ResultLoad, aMissingElementIsReportedNotRaised)
{
    auto result = evaluatedChargeTime();
    host::HostLog::instance().clear();
    EXPECT_EQ(errorNumberOf([&] { result->Load(nullptr, nullptr); }), 0);
    EXPECT_EQ(reportedErrors().size(), 1);
    EXPECT_EQ(stateOf(result), stateOf(evaluatedChargeTime()));
}

TEST(ResultLoad, theMeasurementsHeldBeforeTheLoadAreTheOnesThatReadIt)
{
    auto result = chargeTime();
    const Ptr<CMeasurement> held = result->FindMeasurement(QStringLiteral("CHTI"));
    const Ptr<IMeasurement> seenByTheHost = result->Measurement(Variant(1));
    result->Load(elementOf(resultItem(QStringLiteral("<Status Value=\"1\"/>") + kMeasurementCHTI)), nullptr);
    EXPECT_EQ(result->FindMeasurement(QStringLiteral("CHTI")), held);
    EXPECT_EQ(result->Measurement(Variant(1)), seenByTheHost);
    EXPECT_EQ(held->Value(), Variant(3.5));
    EXPECT_EQ(held->Status(), emsPassed);
}

TEST(ResultLoad, aSeriesSizedByItsSettingsTakesThePlacesItWasSavedWith)
{
    // A pulse-repetition run saved with one setting, read back into a result laid
    // out by the other one.
    const auto savedRun = [](bool battery, const Ptr<CConfigDefibPulse>& config) {
        config->SetBatteryOperated(battery);
        auto run = std::make_shared<CResultDefibPulse>();
        run->Initialize(config);
        QStringList energies;
        for (int i = 1; i <= run->MeasurementCount(); ++i)
            energies << QString::number(100 + i);
        run->StoreResult(energies, static_cast<std::int16_t>(run->MeasurementCount() - 1));
        run->UpdateStatus(OwnerElement::make({}, 1), selection({}));
        run->SetComment(QStringLiteral("bench"));
        run->SetMTIID(7);
        return run;
    };
    for (const bool savedOnBattery : {false, true}) {
        SCOPED_TRACE(savedOnBattery ? "saved on battery, read for mains" : "saved on mains, read for battery");
        auto config = std::make_shared<CConfigDefibPulse>();
        config->SetPresetEnergy(150);
        const auto run = savedRun(savedOnBattery, config);
        const Ptr<IXmlElement> saved = run->Save(newDocument());

        config->SetBatteryOperated(!savedOnBattery);
        auto reopened = std::make_shared<CResultDefibPulse>();
        reopened->Initialize(config);
        ASSERT_NE(reopened->MeasurementCount(), run->MeasurementCount());
        host::HostLog::instance().clear();
        reopened->Load(saved, nullptr);
        EXPECT_TRUE(reportedErrors().isEmpty()) << reportedErrors().value(0).text.toStdString();
        EXPECT_EQ(stateOf(reopened), stateOf(run));
        const Ptr<CMeasurement> last = reopened->FindMeasurement(QStringLiteral("ENGY%1").arg(run->MeasurementCount()));
        ASSERT_TRUE(last);
        EXPECT_EQ(last->Description(), run->FindMeasurement(last->Key())->Description());
        EXPECT_EQ(last->PresetValue(), Variant(150.0f));
        // Saved again, it is the element it was read from.
        auto doc = newDocument();
        doc->SetDocumentElement(reopened->Save(doc));
        auto original = newDocument();
        original->SetDocumentElement(saved);
        EXPECT_EQ(doc->Xml(), original->Xml());
    }

    // Without saved readings the configured size stays; a place beyond the most a
    // run can take is not one of this result's and is reported.
    auto config = std::make_shared<CConfigDefibPulse>();
    config->SetBatteryOperated(true);
    auto unjudged = std::make_shared<CResultDefibPulse>();
    unjudged->Initialize(config);
    unjudged->Load(elementOf(resultItem(QStringLiteral("<Status Value=\"3\"/>"))), nullptr);
    EXPECT_EQ(unjudged->MeasurementCount(), 10);
    for (const char* key : {"ENGY16", "ENGY011", "ENGY0"}) {
        SCOPED_TRACE(key);
        auto foreign = std::make_shared<CResultDefibPulse>();
        foreign->Initialize(config);
        host::HostLog::instance().clear();
        foreign->Load(elementOf(resultItem(QStringLiteral("<Status Value=\"1\"/><Measurement Key=\"%1\"/>").arg(QLatin1String(key)))), nullptr);
        EXPECT_EQ(foreign->MeasurementCount(), 10);
        ASSERT_EQ(reportedErrors().size(), 1);
        EXPECT_TRUE(reportedErrors()[0].text.contains(QLatin1String(key)));
    }
    // A series of fixed size keeps it.
    auto capacity = std::make_shared<CResultBatteryCapacity>();
    capacity->Initialize();
    host::HostLog::instance().clear();
    capacity->Load(elementOf(resultItem(QStringLiteral("<Status Value=\"1\"/><Measurement Key=\"CHTI21\"/>"))), nullptr);
    EXPECT_EQ(capacity->MeasurementCount(), 20);
    EXPECT_EQ(reportedErrors().size(), 1);
}

TEST(ResultServiceRecord, aRecordThatCannotBeMadeLeavesTheHeldOneWithTheNewVerdict)
{
    auto result = chargeTime();
    result->StoreResult(QStringLiteral("3"));
    auto owner = OwnerElement::make({makeStandard(QStringLiteral("A"), {{QStringLiteral("CHTI"), 5.0f}})}, 1);
    result->UpdateStatus(owner, selection({QStringLiteral("A")}));
    const Ptr<IServiceRecord> held = result->ServiceRecord();
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held->Codes(), QString());

    const MissingClass noRecords(hostclass::ServiceRecord);
    ASSERT_TRUE(noRecords.withdrawn());
    result->StoreResult(QStringLiteral("7"));
    result->UpdateStatus(owner, selection({QStringLiteral("A")}));
    EXPECT_EQ(result->Status(), emsFailed);
    EXPECT_EQ(result->ServiceRecord(), held);
    EXPECT_EQ(held->Codes(), QStringLiteral("F")) << "no stale verdict";
    EXPECT_EQ(held->Values(), QStringLiteral("/7"));

    auto fresh = chargeTime();
    fresh->StoreResult(QStringLiteral("3"));
    fresh->UpdateStatus(owner, selection({QStringLiteral("A")}));
    EXPECT_EQ(fresh->ServiceRecord(), nullptr);
}
