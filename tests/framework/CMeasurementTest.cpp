#include <QLocale>
#include <gtest/gtest.h>
#include <limits>

#include "LimitTestDoubles.h"
#include "host/BasicServices.h"
#include "host/HostLog.h"
#include "host/Report.h"
#include "host/XmlDocument.h"

using namespace kelto;
using namespace kelto::testing;

namespace {

constexpr float kNone = std::numeric_limits<float>::quiet_NaN();

Ptr<CMeasurement> measurement(const QString& key, const Variant& value, const QString& format = QStringLiteral("0.0"),
    const QString& unit = QStringLiteral("J"), std::int32_t type = evtNumber)
{
    auto m = std::make_shared<CMeasurement>();
    m->Initialize(key, QStringLiteral("20120::Energy"), unit, type);
    m->SetValueFormat(format);
    m->SetValue(value);
    return m;
}

// A report writer whose flags or translations cannot be had.
class FailingReport : public host::Report {
public:
    bool flagsFail = false;
    bool translateFails = false;
    std::int32_t Flags() override
    {
        if (flagsFail)
            raiseError(hresult(0x80004005), QStringLiteral("Report"));
        return host::Report::Flags();
    }
    QString Translate(const QString& owner, const QString& text, const VariantArray& params) override
    {
        if (translateFails)
            raiseError(hresult(0x80004005), QStringLiteral("Report"));
        return host::Report::Translate(owner, text, params);
    }
};

QStringList childNames(const Ptr<IXmlElement>& element)
{
    QStringList names;
    const auto children = element->Children();
    for (int i = 0; i < children->Count(); ++i)
        names << children->Item(i)->TagName();
    return names;
}

} // namespace

// ---- values, display and report rows -------------------------------------------

TEST(CMeasurementValues, freshMeasurementIsUnevaluatedAndSupportsNoLimit)
{
    CMeasurement m;
    EXPECT_EQ(m.Status(), emsNone);
    EXPECT_EQ(m.Flags(), QString());
    EXPECT_EQ(m.ToolTipText(), QString());
    EXPECT_EQ(m.GetResultValue(eff::Text), Variant(QString()));
    EXPECT_FALSE(m.SupportsLimit(elvHigh));
    m.Initialize(QStringLiteral("SENS"), QString(), QString(), evtRefractory);
    EXPECT_TRUE(m.SupportsLimit(elvLow));
}

TEST(CMeasurementValues, resultTextUsesFormatUnitAndLeadingNumberOfChargeTime)
{
    auto chti = measurement(QStringLiteral("CHTI"), QStringLiteral("12.7 s"), QStringLiteral("0"), QStringLiteral("s"));
    EXPECT_EQ(chti->GetResultValue(eff::Text).toString(), QStringLiteral("13"));
    EXPECT_EQ(chti->GetResultValue(eff::Text | eff::Unit).toString(), QStringLiteral("13 s"));

    auto sync = measurement(QStringLiteral("SYNT"), QStringLiteral("NOSYNC"), QStringLiteral("0.0"), QStringLiteral("ms"));
    EXPECT_EQ(sync->GetResultValue(eff::Text).toString(), QStringLiteral("NOSYNC"));
    EXPECT_EQ(sync->GetResultValue(), Variant(QStringLiteral("NOSYNC")));

    auto energy = measurement(QStringLiteral("ENGY"), 1234.56, QStringLiteral("# ##0.0"), QString());
    EXPECT_EQ(energy->GetResultValue(eff::Text | eff::Unit).toString(), QStringLiteral("1234.6")); // no blank for no unit
}

TEST(CMeasurementValues, displayValueOfVerdictIsEmptyUntilJudged)
{
    auto verdict = measurement(QStringLiteral("NSW"), Variant(), QString(), QString(), evtBoolean);
    QString text = QStringLiteral("old");
    std::int32_t status = -1;
    verdict->GetDisplayValue(text, status);
    EXPECT_EQ(text, QString());
    EXPECT_EQ(status, emsNone);

    verdict->SetValue(true);
    verdict->SetStatus(emsPassed);
    verdict->GetDisplayValue(text, status);
    EXPECT_EQ(text, QStringLiteral("True"));
    EXPECT_EQ(status, emsPassed);
    verdict->SetValue(false);
    verdict->GetDisplayValue(text, status);
    EXPECT_EQ(text, QStringLiteral("False"));

    auto number = measurement(QStringLiteral("ENGY"), 196.5);
    number->GetDisplayValue(text, status);
    EXPECT_EQ(text, QStringLiteral("196.5"));
}

TEST(CMeasurementReport, rowHoldsIndentedCaptionPresetValueAndUnit)
{
    auto report = std::make_shared<host::Report>();
    auto energy = measurement(QStringLiteral("ENGY"), 196.4);
    energy->SetPresetValue(200);
    EXPECT_EQ(energy->GetReportRow(report), QStringLiteral("|      Energy|200.0|196.4|J;"));

    auto charge = std::make_shared<CMeasurement>();
    charge->Initialize(QStringLiteral("CHTI"), QStringLiteral("Charge Time"), QStringLiteral("s"), evtNumber);
    charge->SetValueFormat(QStringLiteral("0"));
    charge->SetValue(7.3);
    EXPECT_EQ(charge->GetReportRow(report), QStringLiteral("|      Charge Time||7|s;"));
}

TEST(CMeasurementReport, failedItemsOnlyLeavesOutAllButFailedRows)
{
    auto report = std::make_shared<host::Report>();
    report->setFlags(reportflag::FailedItemsOnly);
    auto energy = measurement(QStringLiteral("ENGY"), 196.4);
    EXPECT_EQ(energy->GetReportRow(report), QString());
    energy->SetStatus(emsPassed);
    EXPECT_EQ(energy->GetReportRow(report), QString());
    energy->SetStatus(emsFailed);
    EXPECT_EQ(energy->GetReportRow(report), QStringLiteral("|      Energy||196.4|J;"));
}

TEST(CMeasurementReport, flagsThatCannotBeReadGiveNoRowAndAFailedCaptionAnEmptyCell)
{
    auto energy = measurement(QStringLiteral("ENGY"), 196.4);
    energy->SetPresetValue(200);
    auto report = std::make_shared<FailingReport>();
    report->flagsFail = true;
    for (std::int32_t status : {emsPassed, emsFailed}) {
        energy->SetStatus(status);
        EXPECT_EQ(energy->GetReportRow(report), QString()) << status;
    }
    EXPECT_EQ(energy->GetReportRow(nullptr), QString()) << "no report, no row";

    report->flagsFail = false;
    report->translateFails = true;
    EXPECT_EQ(energy->GetReportRow(report), QStringLiteral("||200.0|196.4|J;")) << "no caption, and no indent either";
}

// ---- limit values and validation -------------------------------------------------

TEST(CMeasurementLimits, strictestLimitOfTheKeyIsTakenAndTheFirstStaysOnEqualValues)
{
    auto standard = makeStandard(QStringLiteral("A"), QStringLiteral("A 1"), {});
    auto add = [&](float high, float low, const QString& unit) {
        auto limit = ComponentRuntime::instance().createAs<ILimit>(QLatin1String(hostclass::Limit));
        limit->Initialize(QStringLiteral("ENGY"), unit, QString(), QString());
        limit->SetValue(elvHigh, high);
        limit->SetValue(elvLow, low);
        return limit;
    };
    // The host's standard keeps both limits of one key.
    auto two = makeStandard(QStringLiteral("B"), QStringLiteral("B 1"), {});
    two->AddLimit(add(15, 5, QStringLiteral("first")));
    two->AddLimit(add(10, 8, QStringLiteral("second")));
    auto m = measurement(QStringLiteral("ENGY4"), 12.0);
    EXPECT_EQ(m->GetLimitValue(two, elvHigh), Variant(10.0f));
    EXPECT_EQ(m->GetLimitValue(two, elvLow), Variant(8.0f));

    auto equal = makeStandard(QStringLiteral("C"), QStringLiteral("C 1"), {});
    equal->AddLimit(add(10, 5, QStringLiteral("V")));
    equal->AddLimit(add(10, 5, QStringLiteral("W")));
    m->Initialize(QStringLiteral("ENGY"), QString(), QStringLiteral("J"), evtNumber);
    EXPECT_EQ(m->GetLimitValue(equal, elvHigh, eff::Text | eff::Unit).toString(), QStringLiteral("10.0 J"));

    EXPECT_TRUE(m->GetLimitValue(standard, elvHigh).isEmpty()); // no limit of the key
}

TEST(CMeasurementLimits, percentUnitFollowsTheLimitsFormulaOnBothSides)
{
    auto limit = ComponentRuntime::instance().createAs<ILimit>(QLatin1String(hostclass::RelativeLimit));
    limit->Initialize(QStringLiteral("ENGY"), QStringLiteral("J"), QStringLiteral("X+(X*Y%)"), QString());
    limit->SetValue(elvHigh, 15);
    limit->SetValue(elvLow, -15);
    auto standard = makeStandard(QStringLiteral("A"), QStringLiteral("A 1"), {});
    standard->AddLimit(limit);

    auto m = measurement(QStringLiteral("ENGY"), 196.4);
    m->SetPresetValue(200);
    EXPECT_EQ(m->GetLimitValue(standard, elvHigh, eff::Text | eff::Unit).toString(), QStringLiteral("15.0 %"));
    EXPECT_EQ(m->GetLimitValue(standard, elvHigh, eff::Calculate | eff::Text | eff::Unit).toString(), QStringLiteral("230.0 J"));
    // The low side holds a percentage too, though the formula was set on the high side.
    EXPECT_EQ(m->GetLimitValue(standard, elvLow, eff::Text | eff::Unit).toString(), QStringLiteral("-15.0 %"));
    EXPECT_EQ(m->GetLimitValue(standard, elvLow, eff::Calculate | eff::Text | eff::Unit).toString(), QStringLiteral("170.0 J"));
    EXPECT_EQ(m->GetLimitValue(standard, elvHigh, eff::Calculate), Variant(230.0f));
    // A limit the format would round keeps its decimals: 15 % of 70.5 J is 81.075 J.
    m->SetPresetValue(70.5);
    EXPECT_EQ(m->GetLimitValue(standard, elvHigh, eff::Calculate | eff::Text | eff::Unit).toString(), QStringLiteral("81.075 J"));

    // A side with a plain formula of its own holds a value in the measurement's unit,
    // whatever the other side holds.
    for (int plain : {elvHigh, elvLow}) {
        SCOPED_TRACE(plain);
        auto mixed = ComponentRuntime::instance().createAs<ILimit>(QLatin1String(hostclass::RelativeLimit));
        mixed->Initialize(QStringLiteral("ENGY"), QStringLiteral("J"), plain == elvHigh ? QStringLiteral("Y") : QStringLiteral("X+(X*Y%)"),
            plain == elvLow ? QStringLiteral("Y") : QStringLiteral("X+(X*Y%)"));
        mixed->SetValue(elvHigh, 15);
        mixed->SetValue(elvLow, -15);
        auto own = makeStandard(QStringLiteral("B"), QStringLiteral("B 1"), {});
        own->AddLimit(mixed);
        EXPECT_EQ(m->GetLimitValue(own, plain, eff::Text | eff::Unit).toString().section(QLatin1Char(' '), 1), QStringLiteral("J"));
        EXPECT_EQ(m->GetLimitValue(own, 1 - plain, eff::Text | eff::Unit).toString().section(QLatin1Char(' '), 1), QStringLiteral("%"));
    }
}

TEST(CMeasurementLimits, validationPassesBoundsAndFailsBeyondThem)
{
    auto standard = makeStandard(QStringLiteral("A"), QStringLiteral("A 1"), {{QStringLiteral("CHTI"), 10.0f, 2.0f}});
    auto m = measurement(QStringLiteral("CHTI"), 10.0f);
    EXPECT_EQ(m->ValidateLimits(standard), 0);
    m->SetValue(2.0f);
    EXPECT_EQ(m->ValidateLimits(standard), 0);
    m->SetValue(10.1f);
    EXPECT_EQ(m->ValidateLimits(standard), emsFailed);
    m->SetValue(1.9f);
    EXPECT_EQ(m->ValidateLimits(standard), emsFailed);
}

TEST(CMeasurementLimits, validationJudgesNumberedKeysByTheirFirstFourCharacters)
{
    auto standard = makeStandard(QStringLiteral("A"), QStringLiteral("A 1"), {{QStringLiteral("CHTI"), 10.0f, kNone}});
    auto m = measurement(QStringLiteral("CHTI7"), 12.0);
    EXPECT_EQ(m->ValidateLimits(standard), emsFailed);
    m->SetValue(9.0);
    EXPECT_EQ(m->ValidateLimits(standard), 0);
}

TEST(CMeasurementLimits, validationFailsAReadingThatIsNoNumber)
{
    auto standard = makeStandard(QStringLiteral("A"), QStringLiteral("A 1"), {{QStringLiteral("SYNT"), 60.0f, kNone}});
    auto m = measurement(QStringLiteral("SYNT"), QStringLiteral("NOSYNC"));
    EXPECT_EQ(m->ValidateLimits(standard), emsFailed);
    m->SetValue(Variant());
    EXPECT_EQ(m->ValidateLimits(standard), emsFailed);
    // A limit without any value limits nothing.
    auto unset = makeStandard(QStringLiteral("B"), QStringLiteral("B 1"), {{QStringLiteral("SYNT"), kNone, kNone}});
    EXPECT_EQ(m->ValidateLimits(unset), 0);
}

TEST(CMeasurementLimits, missingStandardOrLimitIsNoValueNoFailureAndNoCrash)
{
    auto m = measurement(QStringLiteral("ENGY"), 500.0);
    m->SetPresetValue(200);
    EXPECT_TRUE(m->GetLimitValue(nullptr, elvHigh).isEmpty());
    EXPECT_TRUE(m->GetLimitValue(nullptr, elvLow, eff::Calculate | eff::Text | eff::Unit).isEmpty());
    EXPECT_EQ(m->ValidateLimits(nullptr), 0);
    EXPECT_EQ(m->CalculateLimitValue(nullptr, elvHigh), 0.0f);
    // Limits that cannot be asked judge nothing, and that is no pass.
    m->SetStatus(emsPassed);
    EXPECT_FALSE(m->UpdateStatus(nullptr, makeCollection({})));
    EXPECT_EQ(m->Status(), emsFailed);
}

// ---- "Measurement" element ------------------------------------------------------------

class CMeasurementXml : public ::testing::Test {
protected:
    void SetUp() override { host::HostLog::instance().clear(); }
    std::shared_ptr<host::XmlDocument> doc = std::make_shared<host::XmlDocument>();
};

TEST_F(CMeasurementXml, savesKeyDescriptionValueUnitAndStatusInThisOrder)
{
    auto m = measurement(QStringLiteral("ENGY"), 196.4);
    m->SetStatus(emsFailed);
    auto element = m->Save(doc);
    ASSERT_TRUE(element);
    EXPECT_EQ(element->TagName(), QStringLiteral("Measurement"));
    EXPECT_EQ(element->GetAttribute(QStringLiteral("Key")), QStringLiteral("ENGY"));
    EXPECT_EQ(childNames(element), (QStringList{"Description", "Value", "Unit", "Status"}));

    CMeasurement loaded;
    loaded.Load(element, nullptr);
    EXPECT_EQ(loaded.Key(), QStringLiteral("ENGY"));
    EXPECT_EQ(loaded.RawDescription(), QStringLiteral("20120::Energy"));
    EXPECT_EQ(loaded.Description(), QStringLiteral("Energy"));
    EXPECT_EQ(loaded.value(), Variant(196.4));
    EXPECT_EQ(loaded.ValueType(), evtNumber);
    EXPECT_EQ(loaded.Unit(), QStringLiteral("J"));
    EXPECT_EQ(loaded.Status(), emsFailed);
}

TEST_F(CMeasurementXml, leavesOutEmptyDescriptionAndUnitAndSavesNothingWithoutKey)
{
    auto m = std::make_shared<CMeasurement>();
    m->Initialize(QStringLiteral("PLSC"), QString(), QString(), evtNumber);
    EXPECT_EQ(childNames(m->Save(doc)), (QStringList{"Value", "Status"}));

    CMeasurement keyless;
    EXPECT_EQ(keyless.Save(doc), nullptr);
}

TEST_F(CMeasurementXml, noSyncIsStoredAsTextAndReadBackAsNumberMeasurement)
{
    auto m = measurement(QStringLiteral("SYNT"), QStringLiteral("NOSYNC"));
    auto element = m->Save(doc);
    EXPECT_EQ(m->ValueType(), evtText);
    EXPECT_EQ(element->FindChild(QStringLiteral("Value"))->GetAttribute(QStringLiteral("Type")), QStringLiteral("5"));

    CMeasurement loaded;
    loaded.Load(element, nullptr);
    EXPECT_EQ(loaded.value(), Variant(QStringLiteral("NOSYNC")));
    EXPECT_EQ(loaded.ValueType(), evtNumber);

    // Any other text would print as 0, or as nothing, beside its status: it is
    // reported and not taken. A number kept as text still reads.
    element->FindChild(QStringLiteral("Value"))->SetText(QStringLiteral("5.3"));
    loaded.Load(element, nullptr);
    EXPECT_EQ(loaded.value(), Variant(QStringLiteral("5.3")));
    element->FindChild(QStringLiteral("Value"))->SetText(QStringLiteral("NaN"));
    loaded.Load(element, nullptr);
    EXPECT_EQ(loaded.value(), Variant(QStringLiteral("5.3")));
    ASSERT_EQ(host::HostLog::instance().reportedErrors().size(), 1);
    EXPECT_TRUE(host::HostLog::instance().reportedErrors()[0].text.startsWith(
        QStringLiteral("The value \"NaN\" of the measurement SYNT cannot be read")));
}

TEST_F(CMeasurementXml, numbersReadBackExactlyWhateverTheLocale)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    auto single = measurement(QStringLiteral("ENGY"), 196.4f);
    auto dbl = measurement(QStringLiteral("PULW"), 0.1 + 0.2);
    auto e1 = single->Save(doc);
    auto e2 = dbl->Save(doc);
    QLocale::setDefault(previous);

    EXPECT_FALSE(e1->FindChild(QStringLiteral("Value"))->Text().contains(QLatin1Char(',')));
    CMeasurement l1;
    CMeasurement l2;
    l1.Load(e1, nullptr);
    l2.Load(e2, nullptr);
    EXPECT_EQ(l1.value(), Variant(196.4f));
    EXPECT_EQ(l2.value(), Variant(0.1 + 0.2));
}

TEST_F(CMeasurementXml, missingDescriptionKeepsTheCurrentOne)
{
    auto element = doc->CreateElement(QStringLiteral("Measurement"));
    element->SetAttribute(QStringLiteral("Key"), QStringLiteral("PEAV"));
    auto m = measurement(QStringLiteral("PEAV"), 1.0);
    m->Load(element, nullptr);
    EXPECT_EQ(m->RawDescription(), QStringLiteral("20120::Energy"));
    EXPECT_EQ(m->value(), Variant(1.0));
}

TEST_F(CMeasurementXml, wrongTagIsRefusedAndNothingIsRead)
{
    auto element = doc->CreateElement(QStringLiteral("measurement"));
    element->SetAttribute(QStringLiteral("Key"), QStringLiteral("OVRC"));
    element->AddTextElement(QStringLiteral("Unit"), QStringLiteral("A"));
    auto m = measurement(QStringLiteral("ENGY"), 5.0);
    EXPECT_EQ(errorNumberOf([&] { m->Load(element, nullptr); }), CMeasurement::errBadElement);
    EXPECT_EQ(m->Key(), QStringLiteral("ENGY"));
    EXPECT_EQ(m->Unit(), QStringLiteral("J"));
}

TEST_F(CMeasurementXml, missingKeyIsRefusedLoggedAndChangesNothing)
{
    auto element = doc->CreateElement(QStringLiteral("Measurement"));
    element->AddTextElement(QStringLiteral("Unit"), QStringLiteral("A"));
    auto m = measurement(QStringLiteral("ENGY"), 5.0);
    auto log = std::make_shared<host::ProtocolLog>();
    EXPECT_EQ(errorNumberOf([&] { m->Load(element, log); }), CMeasurement::errBadElement);
    EXPECT_EQ(m->Key(), QStringLiteral("ENGY"));
    EXPECT_EQ(m->Unit(), QStringLiteral("J"));

    QStringList kinds;
    bool messageLogged = false;
    for (const auto& entry : host::HostLog::instance().entries()) {
        if (entry.kind == host::LogEntry::ProtocolMessage) {
            messageLogged = entry.text == QStringLiteral("Can not load a measurement because its key is missing")
                && entry.number == CMeasurement::errBadElement && entry.level == 2;
        }
        kinds << QString::number(entry.kind);
    }
    EXPECT_TRUE(messageLogged);
    // The log entry is opened and closed around the refusal.
    EXPECT_EQ(kinds.first(), QString::number(host::LogEntry::ProtocolBegin));
    EXPECT_EQ(kinds.last(), QString::number(host::LogEntry::ProtocolEnd));

    // A log that opens no entry (id 0) is neither written to nor closed, loaded or refused.
    struct EntrylessLog : host::ProtocolLog {
        std::int32_t Begin(const QString&, const QString&) override { return 0; }
    };
    auto keyed = doc->CreateElement(QStringLiteral("Measurement"));
    keyed->SetAttribute(QStringLiteral("Key"), QStringLiteral("OVRC"));
    for (const auto& in : {element, keyed}) {
        host::HostLog::instance().clear();
        EXPECT_EQ(errorNumberOf([&] { m->Load(in, std::make_shared<EntrylessLog>()); }), in == element ? CMeasurement::errBadElement : 0);
        for (const auto& entry : host::HostLog::instance().entries())
            ADD_FAILURE() << "logged " << entry.kind << " " << entry.text.toStdString();
    }
}

TEST_F(CMeasurementXml, documentWithoutElementsGivesCannotCreateError)
{
    doc->failElementCreation({QStringLiteral("Measurement")});
    auto m = measurement(QStringLiteral("ENGY"), 5.0);
    EXPECT_EQ(errorNumberOf([&] { m->Save(doc); }), CMeasurement::errCannotCreate);
}

TEST_F(CMeasurementXml, missingDocumentOrElementIsReportedNotACrash)
{
    auto m = measurement(QStringLiteral("ENGY"), 5.0);
    Ptr<IXmlElement> saved;
    EXPECT_EQ(errorNumberOf([&] { saved = m->Save(nullptr); }), 0);
    EXPECT_EQ(saved, nullptr);
    EXPECT_EQ(errorNumberOf([&] { m->Load(nullptr, nullptr); }), 0);
    const auto reported = host::HostLog::instance().reportedErrors();
    ASSERT_EQ(reported.size(), 2);
    for (const auto& entry : reported) {
        EXPECT_EQ(entry.number, vberr::ObjectNotSet);
        EXPECT_EQ(entry.source, QStringLiteral("KeltoTarvoXTest.CMeasurement"));
    }
    EXPECT_EQ(m->Key(), QStringLiteral("ENGY"));
    EXPECT_EQ(m->value(), Variant(5.0));
}
