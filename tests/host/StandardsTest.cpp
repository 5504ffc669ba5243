#include <gtest/gtest.h>

#include "tests/support/Errors.h"

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

TEST(RelativeLimit, EachSideComputesWithItsOwnFormulaOrElseTheOthers)
{
    // A side without a formula takes the other side's, so a formula given on one
    // side only never leaves the other absolute; a side's own formula, "Y" too, stands.
    const struct {
        const char* high;
        const char* low;
        float highAt100;
        float lowAt100;
    } cases[] = {
        {"X+(X*Y%)", "", 110, 90},
        {"", "X+(X*Y%)", 110, 90},
        {"X+(X*Y%)", "X+(X*Y%)", 110, 90},
        {"X+(X*Y%)", "Y", 110, -10},
        {"Y", "X+(X*Y%)", 10, 90},
        {"X+Y", "X+(X*Y%)", 110, 90},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.high) + "," + c.low);
        auto limit = ComponentRuntime::instance().createAs<ILimit>(QLatin1String(hostclass::RelativeLimit));
        limit->Initialize(QStringLiteral("ENGY"), QStringLiteral("J"), QLatin1String(c.high), QLatin1String(c.low));
        limit->SetValue(elvHigh, 10.0f);
        limit->SetValue(elvLow, -10.0f);
        auto relative = query<IRelativeLimit>(limit);
        ASSERT_TRUE(relative);
        EXPECT_FLOAT_EQ(relative->CalculateValue(100.0f, elvHigh), c.highAt100);
        EXPECT_FLOAT_EQ(relative->CalculateValue(100.0f, elvLow), c.lowAt100);
        const QString high = QLatin1String(*c.high ? c.high : c.low);
        const QString low = QLatin1String(*c.low ? c.low : c.high);
        EXPECT_EQ(limit->Formula(elvHigh), high);
        EXPECT_EQ(limit->Formula(elvLow), low);
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

TEST(StandardCollection, EachSideKeepsItsFormulaWhenJudgedAndWhenSavedBack)
{
    auto doc = std::make_shared<XmlDocument>();
    ASSERT_TRUE(doc->LoadXml(QStringLiteral("<ExpectedResult><Standard Alpha=\"EN\" Complete=\"EN 1\">"
                                            "<Limit Key=\"ENGY\" Unit=\"J\"><High Value=\"230\" Formula=\"Y\"/><Low Value=\"-15\" Formula=\"X+(X*Y%)\"/></Limit>"
                                            "<Limit Key=\"PACR\" Unit=\"ppm\"><High Value=\"5\" Formula=\"X+Y\"/><Low Value=\"-5\"/></Limit>"
                                            "</Standard></ExpectedResult>")));
    StandardCollection loaded;
    loaded.Load(doc->DocumentElement(), nullptr);
    auto s = loaded.Item(0);
    // 200 J set: at most 230 J, at least 200 J - 15 % = 170 J.
    EXPECT_EQ(s->CheckValue(QStringLiteral("ENGY"), 100.0f, Variant(200.0f)), 2);
    EXPECT_EQ(s->CheckValue(QStringLiteral("ENGY"), 169.5f, Variant(200.0f)), 2);
    EXPECT_EQ(s->CheckValue(QStringLiteral("ENGY"), 170.0f, Variant(200.0f)), 0);
    EXPECT_EQ(s->CheckValue(QStringLiteral("ENGY"), 230.5f, Variant(200.0f)), 2);
    // A formula on one side only: both sides relative.
    EXPECT_EQ(s->CheckValue(QStringLiteral("PACR"), 65.0f, Variant(70.0f)), 0);
    EXPECT_EQ(s->CheckValue(QStringLiteral("PACR"), 64.5f, Variant(70.0f)), 2);

    // Saved back as the file held it.
    const auto saved = loaded.Save(std::make_shared<XmlDocument>())->FindChild(QStringLiteral("Standard"))->Children();
    auto side = [&](int limit, const char* name) {
        const auto e = saved->Item(limit)->FindChild(QLatin1String(name));
        return e->GetAttribute(QStringLiteral("Value")) + QLatin1Char('|') + e->GetAttribute(QStringLiteral("Formula"));
    };
    EXPECT_EQ(side(0, "High"), QStringLiteral("230|Y"));
    EXPECT_EQ(side(0, "Low"), QStringLiteral("-15|X+(X*Y%)"));
    EXPECT_EQ(side(1, "High"), QStringLiteral("5|X+Y"));
    EXPECT_EQ(side(1, "Low"), QStringLiteral("-5|"));
}

TEST(StandardCollection, TwoLimitsOfOneKeyAreKeptJudgedSavedAndPrinted)
{
    auto doc = std::make_shared<XmlDocument>();
    ASSERT_TRUE(doc->LoadXml(QStringLiteral("<ExpectedResult><Standard Alpha=\"EN\" Complete=\"EN 1\">"
                                            "<Limit Key=\"CHTI\" Unit=\"s\"><High Value=\"10\"/></Limit>"
                                            "<Limit Key=\"CHTI\" Unit=\"s\"><High Value=\"15\"/></Limit>"
                                            "</Standard></ExpectedResult>")));
    StandardCollection loaded;
    loaded.Load(doc->DocumentElement(), nullptr);
    auto s = loaded.Item(0);
    ASSERT_EQ(s->Limits().size(), 2);
    EXPECT_EQ(s->CheckValue(QStringLiteral("CHTI"), 12.0f, Variant()), 2) << "12 s is beyond the stricter limit";
    EXPECT_EQ(s->CheckValue(QStringLiteral("CHTI"), 9.0f, Variant()), 0);
    EXPECT_EQ(s->FindLimit(QStringLiteral("CHTI"))->Value(elvHigh), 10.0f);

    auto out = std::make_shared<XmlDocument>();
    StandardCollection reread;
    reread.Load(loaded.Save(out), nullptr);
    EXPECT_EQ(reread.Item(0)->Limits().size(), 2);

    VariantArray table;
    table.append(Variant(VariantArray{QStringLiteral("CHTI3"), QStringLiteral("Charge"), QStringLiteral("0"), Variant::nothing()}));
    auto report = std::make_shared<Report>();
    loaded.PrintReport(report, nullptr, table);
    ASSERT_EQ(report->tables().size(), 1);
    EXPECT_EQ(report->tables()[0].rows, QStringLiteral("|      Charge|EN|10||s;|      Charge|EN|15||s;"));
}

TEST(StandardCollection, AValueThatCannotBeReadRefusesTheElementByLineStandardAndLimit)
{
    for (const char* text : {"NaN", "10,5", "1e39", "15 s", "inf"}) {
        SCOPED_TRACE(text);
        auto doc = std::make_shared<XmlDocument>();
        ASSERT_TRUE(doc->LoadXml(QStringLiteral("<ExpectedResult>\n<Standard Alpha=\"EN\" Complete=\"EN 1\">\n<Limit Key=\"CHTI\" Unit=\"s\">\n"
                                                "<High Value=\"10\"/>\n<Low Value=\"%1\"/>\n</Limit>\n</Standard>\n</ExpectedResult>")
                                     .arg(QLatin1String(text))));
        StandardCollection loaded;
        const QString message = errorTextOf([&] { loaded.Load(doc->DocumentElement(), nullptr); });
        EXPECT_EQ(message,
            QStringLiteral("The Low value \"%1\" of the limit CHTI of the standard \"EN\" (line 5) is not a number of at most 3.4E+38 in size "
                           "with \".\" as the decimal separator. Correct it in the file or remove it.")
                .arg(QLatin1String(text)));
    }
}

TEST(StandardCollection, AFormulaNoLimitComputesIsRefusedByLineStandardAndLimitAndNeverJudgedAsItsValue)
{
    // Read as a plain value, "X-(X*Y%)" with 15 would let 50 J pass at a 100 J preset.
    for (const char* formula : {"X-(X*Y%)", "X-Y", "X+X*Y%"}) {
        SCOPED_TRACE(formula);
        auto doc = std::make_shared<XmlDocument>();
        ASSERT_TRUE(doc->LoadXml(QStringLiteral("<ExpectedResult>\n<Standard Alpha=\"EN\" Complete=\"EN 1\">\n<Limit Key=\"ENGY\" Unit=\"J\">\n"
                                                "<High Value=\"15\" Formula=\"X+(X*Y%)\"/>\n<Low Value=\"15\" Formula=\"%1\"/>\n</Limit>\n</Standard>\n</ExpectedResult>")
                                     .arg(QLatin1String(formula))));
        StandardCollection loaded;
        EXPECT_EQ(errorTextOf([&] { loaded.Load(doc->DocumentElement(), nullptr); }),
            QStringLiteral("The Low formula \"%1\" of the limit ENGY of the standard \"EN\" (line 5) is none that a limit computes "
                           "(\"Y\", \"X+Y\" or \"X+(X*Y%)\"). Correct it in the file or remove it.")
                .arg(QLatin1String(formula)));

        // Nor does a limit take one, and a limit of another host that has one fails.
        auto limit = makeLimit(QStringLiteral("ENGY"), QStringLiteral("X+Y"), 15.0f, std::nullopt);
        EXPECT_EQ(errorNumberOf([&] { limit->SetFormula(elvLow, QLatin1String(formula)); }), vberr::InvalidProcedureCall);
        EXPECT_EQ(errorNumberOf([&] { limit->Initialize(QStringLiteral("CHTI"), QString(), QString(), QLatin1String(formula)); }), vberr::InvalidProcedureCall);
        EXPECT_EQ(limit->Key(), QStringLiteral("ENGY"));
        EXPECT_EQ(limit->Formula(elvLow), QStringLiteral("X+Y"));
        struct Foreign : Limit {
            QString f;
            QString Formula(int) override { return f; }
        };
        auto foreign = std::make_shared<Foreign>();
        foreign->SetValue(elvLow, 15.0f);
        foreign->f = QLatin1String(formula);
        auto s = makeStandard(QStringLiteral("EN"), QStringLiteral("EN 1"));
        s->AddLimit(foreign);
        EXPECT_NE(errorNumberOf([&] { s->CheckValue(QString(), 50.0f, Variant(100.0f)); }), 0);
    }
    // Blanks and letter case do not make a formula another.
    auto doc = std::make_shared<XmlDocument>();
    ASSERT_TRUE(doc->LoadXml(QStringLiteral(R"(<ExpectedResult><Standard Alpha="EN" Complete="EN 1"><Limit Key="PACR" Unit="ppm">)"
                                            R"(<High Value="5" Formula=" x + y "/></Limit></Standard></ExpectedResult>)")));
    StandardCollection loaded;
    loaded.Load(doc->DocumentElement(), nullptr);
    EXPECT_EQ(loaded.Item(0)->CheckValue(QStringLiteral("PACR"), 75.0f, Variant(70.0f)), 0);
    EXPECT_EQ(loaded.Item(0)->CheckValue(QStringLiteral("PACR"), 75.5f, Variant(70.0f)), 2);
}

TEST(StandardCollection, ASecondStandardOfTheSameNamesIsRefusedByLineAndIsNeverSaved)
{
    // Only the first of the two could be found by its names: 12 s would pass the
    // first's 15 s, and the second's 10 s would never be judged or shown.
    auto doc = std::make_shared<XmlDocument>();
    ASSERT_TRUE(doc->LoadXml(QStringLiteral("<ExpectedResult>\n<Standard Alpha=\"IEC\" Complete=\"IEC 1\">\n<Limit Key=\"CHTI\" Unit=\"s\"><High Value=\"15\"/></Limit>\n"
                                            "</Standard>\n<Standard Alpha=\"IEC\" Complete=\"IEC 2\"/>\n<Standard Alpha=\"IEC\" Complete=\"IEC 1\">\n"
                                            "<Limit Key=\"CHTI\" Unit=\"s\"><High Value=\"10\"/></Limit>\n</Standard>\n</ExpectedResult>")));
    StandardCollection loaded;
    EXPECT_EQ(errorTextOf([&] { loaded.Load(doc->DocumentElement(), nullptr); }),
        QStringLiteral("The standard \"IEC\" (IEC 1) (line 6) is given a second time. Join the limits of both into one standard, or rename one, in the file."));

    StandardCollection twice;
    twice.Add(makeStandard(QStringLiteral("IEC"), QStringLiteral("IEC 1")));
    twice.Add(makeStandard(QStringLiteral("IEC"), QStringLiteral("IEC 2"))); // another complete name: another standard
    auto out = std::make_shared<XmlDocument>();
    EXPECT_TRUE(twice.Save(out));
    twice.Add(makeStandard(QStringLiteral("IEC"), QStringLiteral("IEC 1")));
    EXPECT_EQ(twice.Find(0, QStringLiteral("IEC"), QStringLiteral("IEC 1")), twice.Item(0));
    EXPECT_EQ(errorTextOf([&] { twice.Save(out); }), QStringLiteral("The limits hold the standard \"IEC\" (IEC 1) twice; remove one before saving."));
}

TEST(StandardCollection, AStandardOfMoreLimitsThanTheBoundIsRefusedByLine)
{
    // Generated, far beyond any real standard (a file stays within the XML node bound);
    // adding limits must stay linear, so the bound is reached without a long wait.
    auto standardOf = [](int limits) {
        QByteArray xml = "<ExpectedResult>\n<Standard Alpha=\"EN\" Complete=\"EN 1\">\n";
        for (int i = 0; i < limits; ++i)
            xml += "<Limit Key=\"K" + QByteArray::number(i) + "\" Unit=\"s\"><High Value=\"" + QByteArray::number(i) + "\"/></Limit>\n";
        return xml + "</Standard>\n</ExpectedResult>\n";
    };
    // A file holds no more limits than a standard may: it is refused before it is parsed.
    auto doc = std::make_shared<XmlDocument>();
    EXPECT_FALSE(doc->LoadXml(QString::fromLatin1(standardOf(kMaxLimitsPerStandard + 1))));
    EXPECT_EQ(doc->LastError(), QStringLiteral("The XML text holds more than %1 limits (line %2, column 1). Check that it is the right file.")
                                    .arg(XmlDocument::kMaxLimits)
                                    .arg(XmlDocument::kMaxLimits + 3));

    ASSERT_TRUE(doc->LoadXml(QString::fromLatin1(standardOf(kMaxLimitsPerStandard))));
    // One more, added in memory where no file bounds it, is refused by the collection.
    const Ptr<IXmlElement> more = doc->DocumentElement()->FindChild(QStringLiteral("Standard"));
    more->AppendChild(doc->CreateElement(QStringLiteral("Limit")));
    StandardCollection refused;
    EXPECT_EQ(errorTextOf([&] { refused.Load(doc->DocumentElement(), nullptr); }),
        QStringLiteral("The standard \"EN\" holds more than %1 limits. Check that it is the right file.").arg(kMaxLimitsPerStandard));
    EXPECT_EQ(refused.Count(), 0);
    ASSERT_TRUE(doc->LoadXml(QString::fromLatin1(standardOf(kMaxLimitsPerStandard))));
    StandardCollection full;
    full.Load(doc->DocumentElement(), nullptr);
    ASSERT_EQ(full.Count(), 1);
    EXPECT_EQ(full.Item(0)->Limits().size(), kMaxLimitsPerStandard);
    EXPECT_EQ(full.Item(0)->CheckValue(QStringLiteral("K5"), 4.0f, Variant()), 0);
    EXPECT_EQ(full.Item(0)->CheckValue(QStringLiteral("K5"), 6.0f, Variant()), 2);
    EXPECT_EQ(errorNumberOf([&] { full.Item(0)->AddLimit(makeLimit(QStringLiteral("K1"), {}, 1.0f, std::nullopt)); }), vberr::Overflow);
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
