#include <gtest/gtest.h>

#include "host/Report.h"
#include "host/Standards.h"
#include "host/XmlDocument.h"
#include "platform/ComponentRuntime.h"
#include "platform/interfaces/TestData.h"

using namespace kelto;
using namespace kelto::host;

namespace {

Ptr<ILimit> makeLimit(const QString& key, const QString& highFormula, std::optional<float> high, std::optional<float> low, const QString& lowFormula = {})
{
    auto limit = ComponentRuntime::instance().createAs<ILimit>(QLatin1String(hostclass::Limit));
    limit->Initialize(key, QStringLiteral("J"), highFormula, lowFormula);
    if (high)
        limit->SetValue(elvHigh, *high);
    if (low)
        limit->SetValue(elvLow, *low);
    return limit;
}

Ptr<IStandard> makeStandard(const QString& alpha, const QString& complete)
{
    auto s = ComponentRuntime::instance().createAs<IStandard>(QLatin1String(hostclass::Standard));
    s->SetNames(alpha, complete, 1);
    return s;
}

} // namespace

TEST(StandardCheckValue, PlainLimitsJudgeBothSidesAndLetEqualValuesPass)
{
    auto s = makeStandard(QStringLiteral("EN"), QStringLiteral("EN 1"));
    s->AddLimit(makeLimit(QStringLiteral("CHTI"), QStringLiteral("Y"), 10.0f, 2.0f));
    EXPECT_EQ(s->CheckValue(QStringLiteral("CHTI"), 10.0f, Variant()), 0);
    EXPECT_EQ(s->CheckValue(QStringLiteral("CHTI"), 2.0f, Variant()), 0);
    EXPECT_EQ(s->CheckValue(QStringLiteral("CHTI"), 10.01f, Variant()), 2);
    EXPECT_EQ(s->CheckValue(QStringLiteral("CHTI"), 1.99f, Variant()), 2);
    EXPECT_EQ(s->CheckValue(QStringLiteral("PEAV"), 1000.0f, Variant()), 0) << "no limit of that key: nothing to fail";
}

TEST(StandardCheckValue, AnIndexWithoutValueDoesNotJudgeItsSide)
{
    auto s = makeStandard(QStringLiteral("EN"), QStringLiteral("EN 1"));
    s->AddLimit(makeLimit(QStringLiteral("CHTI"), {}, 15.0f, std::nullopt));
    EXPECT_EQ(s->CheckValue(QStringLiteral("CHTI"), -500.0f, Variant()), 0);
    EXPECT_EQ(s->CheckValue(QStringLiteral("CHTI"), 15.5f, Variant()), 2);
}

TEST(StandardCheckValue, RelativeFormulasUseThePresetAsX)
{
    auto s = makeStandard(QStringLiteral("EN"), QStringLiteral("EN 1"));
    // 200 J preset: high 200 + 15 % = 230, low 200 + (-15 %) = 170.
    s->AddLimit(makeLimit(QStringLiteral("ENGY"), QStringLiteral("X+(X*Y%)"), 15.0f, -15.0f, QStringLiteral("X+(X*Y%)")));
    EXPECT_EQ(s->CheckValue(QStringLiteral("ENGY"), 230.0f, Variant(200.0f)), 0);
    EXPECT_EQ(s->CheckValue(QStringLiteral("ENGY"), 170.0f, Variant(200.0f)), 0);
    EXPECT_EQ(s->CheckValue(QStringLiteral("ENGY"), 230.5f, Variant(200.0f)), 2);
    EXPECT_EQ(s->CheckValue(QStringLiteral("ENGY"), 169.5f, Variant(200.0f)), 2);

    auto t = makeStandard(QStringLiteral("IEC"), QStringLiteral("IEC 1"));
    t->AddLimit(makeLimit(QStringLiteral("PACR"), QStringLiteral("X+Y"), 5.0f, -5.0f, QStringLiteral("X+Y")));
    EXPECT_EQ(t->CheckValue(QStringLiteral("PACR"), 75.0f, Variant(70.0f)), 0);
    EXPECT_EQ(t->CheckValue(QStringLiteral("PACR"), 75.5f, Variant(70.0f)), 2);
    EXPECT_EQ(t->CheckValue(QStringLiteral("PACR"), 64.0f, Variant(70.0f)), 2);
    EXPECT_EQ(t->CheckValue(QStringLiteral("PACR"), 70.0f, Variant(QStringLiteral("70"))), 0) << "a preset given as text";
}

TEST(StandardCheckValue, AReadingThatIsNoNumberFails)
{
    auto s = makeStandard(QStringLiteral("EN"), QStringLiteral("EN 1"));
    s->AddLimit(makeLimit(QStringLiteral("CHTI"), {}, 15.0f, std::nullopt));
    EXPECT_EQ(s->CheckValue(QStringLiteral("CHTI"), std::numeric_limits<float>::quiet_NaN(), Variant()), 2);
}

TEST(RelativeLimit, BothSidesComputeWithTheLimitsOneFormula)
{
    // However the formula was given (high side only, low side only, or a plain
    // "Y" beside it), the sides of one limit never mix relative and absolute.
    const QStringList formulas[] = {{"X+(X*Y%)", ""}, {"", "X+(X*Y%)"}, {"X+(X*Y%)", "X+(X*Y%)"}, {"X+(X*Y%)", "Y"}};
    for (const QStringList& given : formulas) {
        auto limit = ComponentRuntime::instance().createAs<ILimit>(QLatin1String(hostclass::RelativeLimit));
        limit->Initialize(QStringLiteral("ENGY"), QStringLiteral("J"), given[0], given[1]);
        limit->SetValue(elvHigh, 10.0f);
        limit->SetValue(elvLow, -10.0f);
        auto relative = query<IRelativeLimit>(limit);
        ASSERT_TRUE(relative);
        EXPECT_FLOAT_EQ(relative->CalculateValue(100.0f, elvHigh), 110.0f) << given.join(',').toStdString();
        EXPECT_FLOAT_EQ(relative->CalculateValue(100.0f, elvLow), 90.0f) << given.join(',').toStdString();
        EXPECT_EQ(limit->Formula(elvLow), limit->Formula(elvHigh));
    }
    auto limit = ComponentRuntime::instance().createAs<ILimit>(QLatin1String(hostclass::RelativeLimit));
    limit->Initialize(QStringLiteral("ENGY"), QStringLiteral("J"), QStringLiteral("X+(X*Y%)"), QString());
    limit->SetValue(elvLow, -10.0f);
    auto standard = std::make_shared<host::Standard>();
    standard->AddLimit(limit);
    EXPECT_EQ(standard->CheckValue(QStringLiteral("ENGY"), 89.9f, Variant(100.0f)), 2);
    EXPECT_EQ(standard->CheckValue(QStringLiteral("ENGY"), 90.0f, Variant(100.0f)), 0);
    // A plain limit computes too: its value whatever the preset.
    auto plain = ComponentRuntime::instance().createAs<ILimit>(QLatin1String(hostclass::Limit));
    plain->Initialize(QStringLiteral("CHTI"), QStringLiteral("s"), QString(), QString());
    plain->SetValue(elvHigh, 15.0f);
    ASSERT_TRUE(query<IRelativeLimit>(plain));
    EXPECT_FLOAT_EQ(query<IRelativeLimit>(plain)->CalculateValue(100.0f, elvHigh), 15.0f);
    EXPECT_THROW(limit->Value(2), PluginError);
    limit->ClearValue(elvLow);
    EXPECT_THROW(limit->Value(elvLow), PluginError);
}

TEST(StandardCollection, SaveThenLoadGivesTheSameStandardsExactly)
{
    auto collection = std::make_shared<StandardCollection>();
    auto en = makeStandard(QStringLiteral("EN"), QStringLiteral("EN 60601-2-4 \"2003\" <a&b>"));
    en->AddLimit(makeLimit(QStringLiteral("ENGY"), QStringLiteral("X+(X*Y%)"), 0.1f, -15.0f, QStringLiteral("X+(X*Y%)")));
    en->AddLimit(makeLimit(QStringLiteral("CHTI"), {}, 10.3f, std::nullopt));
    collection->Add(en);
    auto empty = makeStandard(QStringLiteral("AAMI"), QStringLiteral("AAMI DF80"));
    collection->Add(empty);

    auto doc = std::make_shared<XmlDocument>();
    auto saved = collection->Save(doc);
    ASSERT_TRUE(saved);
    saved->SetTagName(QStringLiteral("ExpectedResult"));
    doc->SetDocumentElement(saved);

    // Read back from the text, as a stored file would be.
    auto reread = std::make_shared<XmlDocument>();
    ASSERT_TRUE(reread->LoadXml(doc->Xml()));
    StandardCollection loaded;
    loaded.Load(reread->DocumentElement(), nullptr);

    ASSERT_EQ(loaded.Count(), 2);
    auto s = loaded.Find(0, QStringLiteral("EN"), QStringLiteral("EN 60601-2-4 \"2003\" <a&b>"));
    ASSERT_TRUE(s);
    ASSERT_EQ(s->Limits().size(), 2);
    auto engy = s->Limits()[0];
    EXPECT_EQ(engy->Key(), QStringLiteral("ENGY"));
    EXPECT_EQ(engy->Unit(), QStringLiteral("J"));
    EXPECT_EQ(engy->Value(elvHigh), 0.1f);
    EXPECT_EQ(engy->Value(elvLow), -15.0f);
    EXPECT_EQ(engy->Formula(elvHigh), QStringLiteral("X+(X*Y%)"));
    EXPECT_EQ(engy->Formula(elvLow), QStringLiteral("X+(X*Y%)"));
    auto chti = s->Limits()[1];
    EXPECT_EQ(chti->Value(elvHigh), 10.3f);
    EXPECT_FALSE(chti->HasValue(elvLow));
    EXPECT_TRUE(chti->Formula(elvLow).isEmpty());
    ASSERT_TRUE(loaded.Find(0, QStringLiteral("AAMI"), QStringLiteral("AAMI DF80")));
    EXPECT_TRUE(loaded.Item(1)->Limits().isEmpty());
    EXPECT_FALSE(loaded.Find(0, QStringLiteral("AAMI"), QStringLiteral("other")));
}

TEST(StandardCollection, LoadSkipsAValueThatIsNoNumber)
{
    auto doc = std::make_shared<XmlDocument>();
    ASSERT_TRUE(doc->LoadXml(QStringLiteral("<ExpectedResult><Standard Alpha=\"EN\" Complete=\"EN 1\">"
                                            "<Limit Key=\"CHTI\" Unit=\"s\"><High Value=\"1,5\"/><Low Value=\"0.5\"/></Limit>"
                                            "</Standard><Other/></ExpectedResult>")));
    StandardCollection loaded;
    loaded.Load(doc->DocumentElement(), nullptr);
    ASSERT_EQ(loaded.Count(), 1);
    auto limit = loaded.Item(0)->FindLimit(QStringLiteral("CHTI"));
    ASSERT_TRUE(limit);
    EXPECT_FALSE(limit->HasValue(elvHigh)) << "a decimal comma is not a number in stored data";
    EXPECT_EQ(limit->Value(elvLow), 0.5f);
}

TEST(StandardCollection, CloneIsIndependentOfItsSource)
{
    StandardCollection source;
    auto en = makeStandard(QStringLiteral("EN"), QStringLiteral("EN 1"));
    en->AddLimit(makeLimit(QStringLiteral("CHTI"), {}, 10.0f, std::nullopt));
    source.Add(en);

    auto clone = source.Clone();
    ASSERT_EQ(clone->Count(), 1);
    EXPECT_NE(clone->Item(0), en);
    clone->Item(0)->FindLimit(QStringLiteral("CHTI"))->SetValue(elvHigh, 99.0f);
    clone->Add(makeStandard(QStringLiteral("IEC"), QStringLiteral("IEC 1")));
    EXPECT_EQ(source.Count(), 1);
    EXPECT_EQ(en->FindLimit(QStringLiteral("CHTI"))->Value(elvHigh), 10.0f);

    // A limit given a formula after creation computes with it, in copies too.
    en->AddLimit(makeLimit(QStringLiteral("ENGY"), QStringLiteral("X+Y"), 5.0f, std::nullopt));
    auto copy = en->Copy()->FindLimit(QStringLiteral("ENGY"));
    ASSERT_TRUE(query<IRelativeLimit>(copy));
    EXPECT_FLOAT_EQ(query<IRelativeLimit>(copy)->CalculateValue(100.0f, elvHigh), 105.0f);
}

TEST(StandardCollection, PrintsOneLimitRowPerMeasurementAndSelectedStandard)
{
    StandardCollection own;
    auto en = makeStandard(QStringLiteral("EN"), QStringLiteral("EN 1"));
    en->AddLimit(makeLimit(QStringLiteral("ENGY"), QStringLiteral("X+(X*Y%)"), 15.0f, -15.0f, QStringLiteral("X+(X*Y%)")));
    own.Add(en);
    auto iec = makeStandard(QStringLiteral("IEC"), QStringLiteral("IEC 1"));
    iec->AddLimit(makeLimit(QStringLiteral("ENGY"), QStringLiteral("Y"), 250.0f, std::nullopt));
    own.Add(iec);

    auto selected = std::make_shared<StandardCollection>();
    selected->Add(makeStandard(QStringLiteral("IEC"), QStringLiteral("IEC 1")));
    selected->Add(makeStandard(QStringLiteral("UL"), QStringLiteral("UL 1"))); // the test has none
    selected->Add(makeStandard(QStringLiteral("EN"), QStringLiteral("EN 1")));

    VariantArray table;
    table.append(Variant(VariantArray{QStringLiteral("ENGY"), QStringLiteral("Energy"), QStringLiteral("0.0"), Variant::nothing()}));
    auto report = std::make_shared<Report>();
    report->setTableWidth(7360);
    own.PrintReport(report, selected, table);

    ASSERT_EQ(report->tables().size(), 1);
    EXPECT_EQ(report->tables()[0].format, QStringLiteral("<+560|<2240|<+1140|>+1140|>+1140|^+1140;"));
    EXPECT_EQ(report->tables()[0].rows, QStringLiteral("|      Energy|IEC|250.0||J;|      Energy|EN|X+(X*15.0%)|X+(X*-15.0%)|J;"));

    report->clear();
    own.PrintReport(report, std::make_shared<StandardCollection>(), table);
    EXPECT_TRUE(report->tables().isEmpty()) << "nothing selected that the test has: nothing printed";
}
