#include <gtest/gtest.h>

#include "tests/support/Errors.h"

#include "host/Report.h"
#include "host/Standards.h"
#include "host/TestElementBase.h"
#include "host/TestList.h"
#include "host/XmlDocument.h"
#include "platform/ComponentRuntime.h"
#include "platform/interfaces/HostServices.h"
#include "platform/interfaces/TestData.h"

using namespace kelto;
using namespace kelto::host;

namespace {

// Small doubles of the plug-in's data objects: each notes its loads in a shared
// journal and writes one element carrying its value.
using Journal = std::shared_ptr<QStringList>;

class ConfigDouble : public IConfigData {
public:
    explicit ConfigDouble(Journal journal) : m_journal(std::move(journal)) {}
    QString value;
    bool HasDialog() override { return false; }
    Ptr<IConfigData> Clone() override
    {
        auto c = std::make_shared<ConfigDouble>(m_journal);
        c->value = value;
        return c;
    }
    Ptr<IDialog> CreateDialog() override { return nullptr; }
    void Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>&) override
    {
        value = in->GetAttribute(QStringLiteral("V"));
        m_journal->append(QStringLiteral("config ") + value);
    }
    Ptr<IXmlElement> Save(const Ptr<IXmlDocument>& owner) override
    {
        auto e = owner->CreateElement(QStringLiteral("PlugInData"));
        e->SetAttribute(QStringLiteral("V"), value);
        return e;
    }
    void PrintReport(const Ptr<IReport>& report) override { report->PrintTable(QStringLiteral("<100;"), {}, QStringLiteral("|config;")); }

private:
    Journal m_journal;
};

class LimitsDouble : public ILimitData {
public:
    explicit LimitsDouble(Journal journal) : m_journal(std::move(journal)) {}
    QString value;
    QString Description() override { return {}; }
    void SetDescription(const QString&) override {}
    bool HasDialog() override { return false; }
    Ptr<IStandardCollection> Standards() override { return nullptr; }
    Ptr<ITestElement> Owner() override { return nullptr; }
    Ptr<ILimitData> Clone() override
    {
        auto c = std::make_shared<LimitsDouble>(m_journal);
        c->value = value;
        return c;
    }
    Ptr<IDialog> CreateDialog() override { return nullptr; }
    Ptr<IStandard> CreateStandard(const QString&, const QString&) override { return nullptr; }
    void Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>&) override
    {
        value = in->GetAttribute(QStringLiteral("V"));
        m_journal->append(QStringLiteral("limits ") + value);
    }
    Ptr<IXmlElement> Save(const Ptr<IXmlDocument>& owner) override
    {
        auto e = owner->CreateElement(QStringLiteral("ExpectedResult"));
        e->SetAttribute(QStringLiteral("V"), value);
        return e;
    }
    void PrintReport(const Ptr<IReport>& report, const Ptr<ITestSetup>&) override { report->PrintTable(QStringLiteral("<100;"), {}, QStringLiteral("|limits;")); }
    void UpdateLimits(const Ptr<IProtocolLog>&) override {}
    Ptr<IStandardCollection> FindFailedStandards(const Ptr<IMeasurement>&, const Ptr<IStandardCollection>&) override { return nullptr; }

private:
    Journal m_journal;
};

class ResultDouble : public IResultData {
public:
    explicit ResultDouble(Journal journal) : m_journal(std::move(journal)) {}
    QString value;
    QString Comment() override { return {}; }
    void SetComment(const QString&) override {}
    bool HasDialog() override { return false; }
    std::int32_t Status() override { return 0; }
    Ptr<IMeasurement> Measurement(const Variant&) override { return nullptr; }
    std::int32_t MeasurementCount() override { return 0; }
    Ptr<IServiceRecord> ServiceRecord() override { return nullptr; }
    std::int32_t MTIID() override { return 0; }
    Ptr<IDialog> CreateDialog() override { return nullptr; }
    void Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>&) override
    {
        value = in->GetAttribute(QStringLiteral("V"));
        m_journal->append(QStringLiteral("result ") + value);
    }
    Ptr<IXmlElement> Save(const Ptr<IXmlDocument>& owner) override
    {
        auto e = owner->CreateElement(QStringLiteral("ResultItem"));
        e->SetAttribute(QStringLiteral("V"), value);
        return e;
    }
    void PrintReport(const Ptr<IReport>& report, const Ptr<ITestSetup>&) override { report->PrintTable(QStringLiteral("<100;"), {}, QStringLiteral("|result;")); }

private:
    Journal m_journal;
};

struct Fixture {
    Journal journal = std::make_shared<QStringList>();
    Ptr<ITestElementBase> base = ComponentRuntime::instance().createAs<ITestElementBase>(QLatin1String(hostclass::TestElementBase));
    Ptr<ConfigDouble> config = std::make_shared<ConfigDouble>(journal);
    Ptr<LimitsDouble> limits = std::make_shared<LimitsDouble>(journal);
    Ptr<ResultDouble> result = std::make_shared<ResultDouble>(journal);

    Fixture()
    {
        base->Initialize(QStringLiteral("TarvoX"), 300, 0);
        base->SetConfiguration(config);
        base->SetLimits(limits);
    }
};

Ptr<IXmlElement> parse(const QString& xml)
{
    auto doc = std::make_shared<XmlDocument>();
    EXPECT_TRUE(doc->LoadXml(xml));
    return doc->DocumentElement();
}

} // namespace

TEST(TestElementBase, LoadReadsTheConfigurationBeforeTheResultWhateverTheFileOrder)
{
    Fixture f;
    f.base->SetResult(f.result);
    f.base->Load(parse(QStringLiteral("<TestElement PlugIn=\"TarvoX\" TestID=\"300\" ID=\"7\" Filter=\"1\">"
                                      "<ResultItem V=\"r\"/><ExpectedResult V=\"l\"/><Info Name=\"Charge time\"/><PlugInData V=\"c\"/>"
                                      "</TestElement>")),
                 nullptr);
    EXPECT_EQ(*f.journal, (QStringList{QStringLiteral("config c"), QStringLiteral("limits l"), QStringLiteral("result r")}));
    EXPECT_EQ(f.base->ID(), 7);
    EXPECT_EQ(f.base->Filter()->Flags(), 1);
    EXPECT_EQ(f.base->Info()->Name(), QStringLiteral("Charge time"));
}

TEST(TestElementBase, LoadTakesAPartOnItsOwnAndSkipsAResultItHasNoObjectFor)
{
    Fixture f;
    f.base->Load(parse(QStringLiteral("<TestElement><ResultItem V=\"r\"/><PlugInData V=\"c\"/></TestElement>")), nullptr);
    EXPECT_EQ(*f.journal, QStringList{QStringLiteral("config c")});

    f.base->SetResult(f.result);
    f.base->Load(parse(QStringLiteral("<ResultItem V=\"r2\"/>")), nullptr);
    EXPECT_EQ(f.result->value, QStringLiteral("r2"));
    EXPECT_THROW(f.base->Load(nullptr, nullptr), PluginError);
}

TEST(TestElementBase, LoadRefusesAnIdOrFilterOutOfRangeByNameAndKeepsBoth)
{
    for (const char* attributes : {"ID=\"7\" Filter=\"-1e308\"", "ID=\"9e99\" Filter=\"3\"", "ID=\"7\" Filter=\"2147483648\""}) {
        SCOPED_TRACE(attributes);
        Fixture f;
        f.base->SetID(5);
        f.base->Filter()->SetFlags(2);
        const QString text = errorTextOf([&] {
            f.base->Load(parse(QStringLiteral("<TestElement %1/>").arg(QLatin1String(attributes))), nullptr);
        });
        EXPECT_TRUE(text.contains(QStringLiteral("of the test element is out of range"))) << text.toStdString();
        EXPECT_EQ(f.base->ID(), 5);
        EXPECT_EQ(f.base->Filter()->Flags(), 2);
    }
}

TEST(TestElementBase, SaveWritesAFormThatLoadsBack)
{
    Fixture f;
    f.base->SetID(12);
    f.base->Info()->SetType(QStringLiteral("Defib"), QStringLiteral("Charge"));
    f.base->Info()->SetName(QStringLiteral("Charge time"));
    f.base->Filter()->SetFlags(1);
    f.config->value = QStringLiteral("c");
    f.limits->value = QStringLiteral("l");
    f.result->value = QStringLiteral("r");
    f.base->SetResult(f.result);

    auto doc = std::make_shared<XmlDocument>();
    auto saved = f.base->Save(doc, 0);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->TagName(), QStringLiteral("TestElement"));
    EXPECT_EQ(saved->GetAttribute(QStringLiteral("PlugIn")), QStringLiteral("TarvoX"));
    EXPECT_EQ(saved->GetAttribute(QStringLiteral("TestID")), QStringLiteral("300"));
    auto children = saved->Children();
    ASSERT_EQ(children->Count(), 4);
    EXPECT_EQ(children->Item(1)->TagName(), QStringLiteral("PlugInData"));
    EXPECT_EQ(children->Item(2)->TagName(), QStringLiteral("ExpectedResult"));
    EXPECT_EQ(children->Item(3)->TagName(), QStringLiteral("ResultItem"));

    Fixture g;
    g.base->SetResult(g.result);
    g.base->Load(saved, nullptr);
    EXPECT_EQ(g.base->ID(), 12);
    EXPECT_EQ(g.base->Info()->Type(), QStringLiteral("Defib"));
    EXPECT_EQ(g.base->Info()->Parameter(), QStringLiteral("Charge"));
    EXPECT_EQ(g.base->Filter()->Flags(), 1);
    EXPECT_EQ(g.config->value, QStringLiteral("c"));
    EXPECT_EQ(g.limits->value, QStringLiteral("l"));
    EXPECT_EQ(g.result->value, QStringLiteral("r"));

    auto refusing = std::make_shared<XmlDocument>();
    refusing->failElementCreation({QStringLiteral("TestElement")});
    try {
        f.base->Save(refusing, 0);
        FAIL() << "a document that makes no element must fail the save";
    } catch (const PluginError& e) {
        EXPECT_EQ(e.number(), kElementSaveNoElement);
    }
}

TEST(TestElementBase, CloneIsASeparateBaseWithCopiesOfConfigurationAndLimits)
{
    Fixture f;
    f.base->SetID(5);
    f.base->Info()->SetName(QStringLiteral("Charge time"));
    f.config->value = QStringLiteral("c");
    f.limits->value = QStringLiteral("l");
    f.base->SetResult(f.result);

    auto clone = f.base->CloneBase();
    ASSERT_TRUE(clone);
    EXPECT_NE(clone, f.base);
    EXPECT_EQ(clone->TestID(), 300);
    EXPECT_EQ(clone->ID(), 5);
    EXPECT_EQ(clone->PlugInID(), QStringLiteral("TarvoX"));
    EXPECT_NE(clone->Configuration(), f.base->Configuration());
    EXPECT_NE(clone->Limits(), f.base->Limits());
    EXPECT_FALSE(clone->Result()) << "a run's result stays with its element";

    std::dynamic_pointer_cast<ConfigDouble>(clone->Configuration())->value = QStringLiteral("changed");
    std::dynamic_pointer_cast<LimitsDouble>(clone->Limits())->value = QStringLiteral("changed");
    clone->Info()->SetName(QStringLiteral("other"));
    EXPECT_EQ(f.config->value, QStringLiteral("c"));
    EXPECT_EQ(f.limits->value, QStringLiteral("l"));
    EXPECT_EQ(f.base->Info()->Name(), QStringLiteral("Charge time"));
}

TEST(TestElementBase, PrintsConfigurationLimitsAndResultAndTerminateReleasesThem)
{
    Fixture f;
    f.base->SetResult(f.result);
    auto report = std::make_shared<Report>();
    f.base->PrintReport(report, nullptr);
    ASSERT_EQ(report->tables().size(), 3);
    EXPECT_EQ(report->tables()[0].rows, QStringLiteral("|config;"));
    EXPECT_EQ(report->tables()[1].rows, QStringLiteral("|limits;"));
    EXPECT_EQ(report->tables()[2].rows, QStringLiteral("|result;"));

    std::weak_ptr<ConfigDouble> config = f.config;
    f.config.reset();
    f.base->Terminate();
    EXPECT_TRUE(config.expired());
    EXPECT_FALSE(f.base->Limits());
    EXPECT_FALSE(f.base->Result());
}

TEST(TestList, FindsElementsByTestIdAtTopLevelAndInGroups)
{
    auto list = ComponentRuntime::instance().createAs<ITestList>(QLatin1String(hostclass::TestList));
    ASSERT_TRUE(list);
    auto make = [](std::int32_t testId) {
        auto e = std::make_shared<TestElementBase>();
        e->Initialize(QStringLiteral("TarvoX"), testId, testId);
        return e;
    };
    auto chargeTime = make(300);
    auto group = make(2000);
    auto inGroup = make(1200);
    list->Add(chargeTime, nullptr, 1);
    list->Add(group, nullptr, 1);
    list->Add(inGroup, group, 1);

    EXPECT_EQ(list->Count(), 2);
    EXPECT_EQ(list->ItemAt(1), group);
    EXPECT_THROW(list->ItemAt(2), PluginError);
    EXPECT_EQ(list->Item(300), chargeTime);
    EXPECT_EQ(list->Item(1200), inGroup);
    EXPECT_FALSE(list->Item(400));
    EXPECT_EQ(list->Children(group), QList<Ptr<ITestElement>>{inGroup});
    EXPECT_TRUE(list->Children(chargeTime).isEmpty());

    chargeTime->SetConfiguration(std::make_shared<ConfigDouble>(std::make_shared<QStringList>()));
    list->Terminate();
    EXPECT_EQ(list->Count(), 0);
    EXPECT_FALSE(list->Item(1200));
    EXPECT_FALSE(chargeTime->Configuration()) << "terminating the list terminates its elements";
}
