#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "framework/MMiscUtils.h"
#include "host/HostLog.h"
#include "host/RegistryKey.h"
#include "host/XmlDocument.h"
#include "platform/ComponentRuntime.h"
#include "platform/interfaces/Standards.h"
#include "platform/interfaces/TestData.h"
#include "plugin_shell/CTarvoXPlugIn.h"
#include "tests/support/Errors.h"
#include "tests/support/MissingClass.h"
#include "tests/support/HostileXml.h"
#include "tests/support/TestFiles.h"

using namespace kelto;

namespace {

constexpr std::int32_t kNotInitialized = hresult(0x8004A229);
constexpr std::int32_t kTemplateMissing = hresult(0x8004A22A);
constexpr std::int32_t kTemplateMalformed = hresult(0x8004A22C);
constexpr std::int32_t kTemplateFileError = hresult(0x8004A28F);
constexpr std::int32_t kNoSuchTest = hresult(0x8004A233);

const QString kStandard = QStringLiteral(
    "<ExpectedResult><Standard Alpha=\"IEC\" Complete=\"IEC 60601-2-4\" Flags=\"1\">"
    "<Limit Key=\"CHTI\" Unit=\"s\"><High Value=\"15\"/></Limit></Standard></ExpectedResult>");

QString entry(const QString& className, const QString& id, const QString& children = QString())
{
    return QStringLiteral("<TestElement ClassName=\"%1\" ID=\"%2\">%3</TestElement>").arg(className, id, children);
}

QString chargeTime(const QString& id = QStringLiteral("300"), const QString& children = QString())
{
    return entry(QStringLiteral("KeltoTarvoXTest.CTestChargeTime"), id, children);
}

class CTarvoXPlugInTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QFile::remove(host::RegistryStore::filePath());
        host::HostLog::instance().clear();
    }

    // Points the plug-in's settings at a template with the given content.
    QString useTemplate(const QString& content)
    {
        const QString file = dir.filePath(QStringLiteral("TarvoX.mpc"));
        QFile out(file);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(content.toUtf8());
        out.close();
        useTemplateFile(file);
        return file;
    }

    void useTemplateFile(const QString& file)
    {
        host::RegistryKey key;
        key.CreateKey(hkey::LocalMachine, QStringLiteral("Software\\Quilo\\kelto\\TarvoX"));
        key.SetValue(QStringLiteral("Configuration"), file);
    }

    QString withData(const QString& entries)
    {
        return QStringLiteral("<KeltoTemplate><TemplateData>%1</TemplateData></KeltoTemplate>").arg(entries);
    }

    Ptr<CTarvoXPlugIn> initialised(const QString& entries)
    {
        useTemplate(withData(entries));
        auto plugIn = std::make_shared<CTarvoXPlugIn>();
        plugIn->Initialize(nullptr);
        return plugIn;
    }


    QTemporaryDir dir;
};

} // namespace

TEST_F(CTarvoXPlugInTest, ReadsOnePrototypePerEntryWithTranslatedTexts)
{
    auto plugIn = initialised(chargeTime(QStringLiteral("300"),
        QStringLiteral("<Type LID=\"1::Defibrillator\"/><Parameter LID=\"2::Charge time\"/><Name LID=\"3::Charge Time\">ignored</Name>"
                       "<Description LID=\"4::Time to charge\"/>")
        + kStandard) + entry(QStringLiteral("KeltoTarvoXTest.CTestVFIBEnergy"), QStringLiteral("100")));
    const Ptr<ITestList> tests = plugIn->Tests();
    ASSERT_EQ(tests->Count(), 2);
    const Ptr<ITestElement> ct = tests->Item(300);
    ASSERT_TRUE(ct);
    EXPECT_EQ(ct->Info()->Type(), QStringLiteral("Defibrillator"));
    EXPECT_EQ(ct->Info()->Parameter(), QStringLiteral("Charge time"));
    EXPECT_EQ(ct->Info()->Name(), QStringLiteral("Charge Time"));
    EXPECT_EQ(ct->Info()->Description(), QStringLiteral("Time to charge"));
    EXPECT_EQ(ct->PlugInID(), QStringLiteral("TarvoX"));
    EXPECT_EQ(ct->ID(), 300);
    ASSERT_TRUE(ct->Limits()->Standards());
    EXPECT_EQ(ct->Limits()->Standards()->Count(), 1);
    EXPECT_TRUE(tests->Item(100));
}

TEST_F(CTarvoXPlugInTest, TextsWithoutLidAreEmptyAndForeignChildrenAreIgnored)
{
    auto plugIn = initialised(QStringLiteral("<Note/>") + chargeTime(QStringLiteral("300"), QStringLiteral("<Name>Charge Time</Name><Extra/>")));
    const Ptr<ITestElement> ct = plugIn->Tests()->Item(300);
    ASSERT_TRUE(ct);
    EXPECT_EQ(ct->Info()->Name(), QString());
    EXPECT_EQ(plugIn->Tests()->Count(), 1);
}

TEST_F(CTarvoXPlugInTest, AnEntryWithoutClassNameOrIdFailsTheWholeTemplate)
{
    for (const QString& bad : {entry(QString(), QStringLiteral("300")), entry(QStringLiteral("KeltoTarvoXTest.CTestChargeTime"), QString())}) {
        useTemplate(withData(chargeTime(QStringLiteral("100")) + bad));
        auto plugIn = std::make_shared<CTarvoXPlugIn>();
        EXPECT_EQ(errorNumberOf([&] { plugIn->Initialize(nullptr); }), kTemplateMalformed);
        EXPECT_EQ(errorNumberOf([&] { plugIn->Tests(); }), kNotInitialized);
    }
}

TEST_F(CTarvoXPlugInTest, ATemplateWithoutEntriesOrDataIsRefused)
{
    for (const QString& content : {QStringLiteral("<KeltoTemplate/>"), withData(QString())}) {
        useTemplate(content);
        auto plugIn = std::make_shared<CTarvoXPlugIn>();
        EXPECT_EQ(errorNumberOf([&] { plugIn->Initialize(nullptr); }), kTemplateMalformed);
        EXPECT_EQ(errorNumberOf([&] { plugIn->CreateTest(300); }), kNotInitialized);
    }
}

TEST_F(CTarvoXPlugInTest, OnlyForeignEntriesGiveAnEmptyListAndAnInitialisedPlugIn)
{
    auto plugIn = initialised(QStringLiteral("<Group/><testelement ClassName=\"x\" ID=\"1\"/>"));
    EXPECT_EQ(plugIn->Tests()->Count(), 0);
}

TEST_F(CTarvoXPlugInTest, AMissingTemplateFileFailsAndLeavesThePlugInUninitialised)
{
    useTemplateFile(dir.filePath(QStringLiteral("nowhere.mpc")));
    auto plugIn = std::make_shared<CTarvoXPlugIn>();
    EXPECT_EQ(errorNumberOf([&] { plugIn->Initialize(nullptr); }), kTemplateMissing);
    EXPECT_EQ(errorNumberOf([&] { plugIn->Tests(); }), kNotInitialized);
}

TEST_F(CTarvoXPlugInTest, AMalformedTemplateLeavesThePlugInUninitialised)
{
    useTemplate(QStringLiteral("<KeltoTemplate><TemplateData>") + chargeTime());
    auto plugIn = std::make_shared<CTarvoXPlugIn>();
    EXPECT_EQ(errorNumberOf([&] { plugIn->Initialize(nullptr); }), kTemplateMalformed);
    EXPECT_EQ(errorNumberOf([&] { plugIn->Tests(); }), kNotInitialized);
}

TEST_F(CTarvoXPlugInTest, TemplateErrorsNameTheFileAndWhatIsWrongWithIt)
{
    struct Case {
        const char* what;
        QByteArray content; // empty: no file at all
        std::int32_t number;
        QStringList said;
    };
    const Case cases[] = {
        {"missing", {}, kTemplateMissing, {QStringLiteral("does not exist"), QStringLiteral("Configuration")}},
        {"not well-formed", "<KeltoTemplate>\n  <TemplateData>\n  </Oops>\n</KeltoTemplate>", kTemplateMalformed,
            {QStringLiteral("not well-formed"), QStringLiteral("line 3"), QStringLiteral("column ")}},
        {"no data", "<KeltoTemplate/>", kTemplateMalformed, {QStringLiteral("\"TemplateData\"")}},
        {"entry without class", withData(chargeTime() + entry(QString(), QStringLiteral("100"))).toUtf8(), kTemplateMalformed,
            {QStringLiteral("test entry 2"), QStringLiteral("\"ClassName\"")}},
        {"entry without id", withData(entry(QStringLiteral("KeltoTarvoXTest.CTestChargeTime"), QString())).toUtf8(), kTemplateMalformed,
            {QStringLiteral("test entry 1"), QStringLiteral("\"ID\"")}},
        // Said as a sequence or the registry says it, and never opened, which would wait.
        {"named pipe", {}, kTemplateFileError, {QStringLiteral("cannot be read: it is a named pipe, not a regular file.")}},
    };
    const QString pipe = dir.filePath(QStringLiteral("pipe.mpc"));
    ScopedFifo fifo(pipe);
    ASSERT_TRUE(fifo.made());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString file = c.number == kTemplateFileError ? pipe
            : c.content.isEmpty()                           ? dir.filePath(QStringLiteral("nowhere.mpc"))
                                                            : useTemplate(QString::fromUtf8(c.content));
        useTemplateFile(file);
        auto plugIn = std::make_shared<CTarvoXPlugIn>();
        std::int32_t number = 0;
        QString text;
        try {
            plugIn->Initialize(nullptr);
        } catch (const PluginError& e) {
            number = e.number();
            text = e.description();
        }
        EXPECT_EQ(number, c.number);
        EXPECT_TRUE(text.contains(file)) << text.toStdString();
        for (const QString& part : c.said)
            EXPECT_TRUE(text.contains(part)) << text.toStdString();
        EXPECT_EQ(errorNumberOf([&] { plugIn->Tests(); }), kNotInitialized);
    }
}

TEST_F(CTarvoXPlugInTest, ADeeplyNestedTemplateIsRefusedAtOnceWithLineAndColumn)
{
    const QString file = useTemplate(QString::fromLatin1(deeplyNested(100000, "<KeltoTemplate><TemplateData>", "</TemplateData></KeltoTemplate>")));
    auto plugIn = std::make_shared<CTarvoXPlugIn>();
    const QString text = errorTextOf([&] { plugIn->Initialize(nullptr); });
    EXPECT_TRUE(text.contains(file)) << text.toStdString();
    // Refused where the 65th level opens, the rest of the file unread.
    EXPECT_TRUE(text.contains(QStringLiteral("more than 64 levels deep (line 1, column 216)"))) << text.toStdString();
}

TEST_F(CTarvoXPlugInTest, AnIdThatIsNoWholeNumberOrOutOfRangeIsReportedByNameAndTheEntryLeftOut)
{
    // Read leniently, "abc" was a test 0 without a name and "300.6" a test 301.
    const struct {
        QString id;
        std::int32_t number;
        const char* said;
        QString quoted;
    } cases[] = {
        {QStringLiteral("-1e308"), vberr::Overflow, "is out of range", QStringLiteral("\"-1e308\"")},
        {QStringLiteral("abc"), vberr::TypeMismatch, "cannot be read", QStringLiteral("\"abc\"")},
        {QStringLiteral("300.6"), vberr::TypeMismatch, "cannot be read", QStringLiteral("\"300.6\"")},
        {QStringLiteral("12abc"), vberr::TypeMismatch, "cannot be read", QStringLiteral("\"12abc\"")},
        // Quoted cut, and said so.
        {QString(8000000, QLatin1Char('9')), vberr::Overflow, "is out of range",
            QStringLiteral("\"%1\u2026\" (8000000 characters) (").arg(QString(40, QLatin1Char('9')))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id.left(40).toStdString());
        host::HostLog::instance().clear();
        auto plugIn = initialised(entry(QStringLiteral("KeltoTarvoXTest.CTestVFIBEnergy"), QStringLiteral("100")) + chargeTime(c.id));
        ASSERT_EQ(plugIn->Tests()->Count(), 1);
        EXPECT_TRUE(plugIn->Tests()->Item(100));
        const auto reported = host::HostLog::instance().reportedErrors();
        ASSERT_EQ(reported.size(), 1);
        EXPECT_EQ(reported[0].number, c.number);
        EXPECT_TRUE(reported[0].text.startsWith(QStringLiteral("The test template %1, test entry 2: ").arg(dir.filePath(QStringLiteral("TarvoX.mpc")))))
            << reported[0].text.left(400).toStdString();
        EXPECT_TRUE(reported[0].text.contains(QStringLiteral("KeltoTarvoXTest.CTestChargeTime %1: %2").arg(QLatin1String(c.said), c.quoted)))
            << reported[0].text.left(400).toStdString();
    }
}

TEST_F(CTarvoXPlugInTest, AStandardWithALimitValueThatCannotBeReadIsRefusedByFileAndLine)
{
    const struct {
        const char* replacement;
        const char* said;
    } cases[] = {
        {"Value=\"NaN\"", "The High value \"NaN\" of the limit CHTI of the standard \"IEC\" (%1, line 1) is not a number"},
        {"Value=\"15\" Formula=\"X-Y\"", "The High formula \"X-Y\" of the limit CHTI of the standard \"IEC\" (%1, line 1) is none that a limit computes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.replacement);
        host::HostLog::instance().clear();
        QString unreadable = kStandard;
        unreadable.replace(QStringLiteral("Value=\"15\""), QLatin1String(c.replacement));
        auto plugIn = initialised(chargeTime(QStringLiteral("300"), unreadable) + chargeTime(QStringLiteral("1400"), kStandard));
        const QString file = dir.filePath(QStringLiteral("TarvoX.mpc"));
        EXPECT_EQ(plugIn->Tests()->Item(300)->Limits()->Standards(), nullptr);
        EXPECT_EQ(plugIn->Tests()->Item(1400)->Limits()->Standards()->Count(), 1);
        const auto reported = host::HostLog::instance().reportedErrors();
        ASSERT_EQ(reported.size(), 1);
        EXPECT_TRUE(reported[0].text.startsWith(QString::fromUtf8(c.said).arg(file))) << reported[0].text.toStdString();
    }
}

TEST_F(CTarvoXPlugInTest, CreateTestCopiesAnEntryWithoutExpectedResults)
{
    // Found by the template fuzz target: clearing the copy's standards went through a
    // collection such an entry does not have.
    auto plugIn = initialised(entry(QStringLiteral("KeltoTarvoXTest.CTestNormalSinus"), QStringLiteral("900")) + chargeTime());
    const Ptr<ITestElement> copy = plugIn->CreateTest(900);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->TestID(), 900);
    EXPECT_TRUE(host::HostLog::instance().reportedErrors().isEmpty());
}

TEST_F(CTarvoXPlugInTest, AnEntryWhoseClassCannotBeCreatedIsReportedAndLeftOut)
{
    auto plugIn = initialised(entry(QStringLiteral("KeltoTarvoXTest.CTestMissing"), QStringLiteral("700")) + chargeTime());
    EXPECT_EQ(plugIn->Tests()->Count(), 1);
    EXPECT_EQ(host::HostLog::instance().reportedErrors().size(), 1);
}

TEST_F(CTarvoXPlugInTest, CreateTestGivesDistinctClonesWithEmptiedStandards)
{
    auto plugIn = initialised(chargeTime(QStringLiteral("300"), kStandard));
    const Ptr<ITestElement> a = plugIn->CreateTest(300);
    const Ptr<ITestElement> b = plugIn->CreateTest(300);
    ASSERT_TRUE(a && b);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->TestID(), 300);
    EXPECT_EQ(a->Limits()->Standards()->Count(), 0);
    EXPECT_EQ(plugIn->Tests()->Item(300)->Limits()->Standards()->Count(), 1);
    EXPECT_EQ(errorNumberOf([&] { plugIn->CreateTest(900); }), kNoSuchTest);
}

TEST_F(CTarvoXPlugInTest, BeforeInitializeTestsAndCreateTestFail)
{
    CTarvoXPlugIn plugIn;
    EXPECT_EQ(errorNumberOf([&] { plugIn.Tests(); }), kNotInitialized);
    EXPECT_EQ(errorNumberOf([&] { plugIn.CreateTest(300); }), kNotInitialized);
    EXPECT_EQ(plugIn.Setup(), nullptr);
}

TEST_F(CTarvoXPlugInTest, LoadStandardGivesCopiesAndLeavesTheCallersNamesAlone)
{
    auto plugIn = initialised(chargeTime(QStringLiteral("300"), kStandard));
    QString alpha = QStringLiteral("IEC");
    QString complete = QStringLiteral("IEC 60601-2-4");
    const Ptr<IStandard> copy = MMiscUtils::LoadStandard(300, alpha, complete);
    ASSERT_TRUE(copy);
    const Ptr<IStandard> own = plugIn->Tests()->Item(300)->Limits()->Standards()->Item(0);
    EXPECT_NE(copy, own);
    EXPECT_EQ(copy->Limits().size(), 1);
    copy->RemoveLimit(QStringLiteral("CHTI"));
    EXPECT_EQ(own->Limits().size(), 1);
    EXPECT_EQ(alpha, QStringLiteral("IEC"));

    QString other = QStringLiteral("EN");
    EXPECT_EQ(plugIn->LoadStandard(300, other, complete), nullptr);
    EXPECT_EQ(plugIn->LoadStandard(1300, alpha, complete), nullptr);
}

TEST_F(CTarvoXPlugInTest, AfterASecondInitializeThatFailsNoStandardIsGivenAndNothingCrashes)
{
    auto plugIn = initialised(chargeTime(QStringLiteral("300"), kStandard));
    QString alpha = QStringLiteral("IEC");
    QString complete = QStringLiteral("IEC 60601-2-4");
    ASSERT_TRUE(plugIn->LoadStandard(300, alpha, complete));

    // A missing template fails the second Initialize and leaves the list it had.
    useTemplateFile(dir.filePath(QStringLiteral("gone.mpc")));
    EXPECT_EQ(errorNumberOf([&] { plugIn->Initialize(nullptr); }), kTemplateMissing);
    EXPECT_TRUE(plugIn->LoadStandard(300, alpha, complete));

    // A host without its test list gives the second Initialize no list at all.
    useTemplate(withData(chargeTime(QStringLiteral("300"), kStandard)));
    {
        const MissingClass noList(hostclass::TestList);
        ASSERT_TRUE(noList.withdrawn());
        host::HostLog::instance().clear();
        EXPECT_EQ(errorNumberOf([&] { plugIn->Initialize(nullptr); }), 0);
        ASSERT_EQ(host::HostLog::instance().reportedErrors().size(), 1);
        EXPECT_EQ(host::HostLog::instance().reportedErrors()[0].number, vberr::ObjectNotSet);
    }
    EXPECT_EQ(plugIn->LoadStandard(300, alpha, complete), nullptr);
    EXPECT_EQ(MMiscUtils::LoadStandard(300, alpha, complete), nullptr);
    EXPECT_EQ(errorNumberOf([&] { plugIn->Tests(); }), kNotInitialized);
}

TEST_F(CTarvoXPlugInTest, IdentityNameVersionAndIcons)
{
    CTarvoXPlugIn plugIn;
    EXPECT_EQ(plugIn.ID(), QStringLiteral("TarvoX"));
    EXPECT_EQ(plugIn.Name(), QStringLiteral("Tarvo Defibrillator Analyzer"));
    EXPECT_EQ(plugIn.Version(), QStringLiteral("1.0.3"));
    // The waveform configurations save the same version.
    const auto wave = ComponentRuntime::instance().createAs<IConfigData>(QStringLiteral("KeltoTarvoXTest.CConfigNormalSinus"));
    ASSERT_TRUE(wave);
    const Ptr<IXmlElement> saved = wave->Save(std::make_shared<host::XmlDocument>());
    ASSERT_TRUE(saved && saved->FindChild(QStringLiteral("Version")));
    EXPECT_EQ(saved->FindChild(QStringLiteral("Version"))->Text().toStdString(), plugIn.Version().toStdString());
    EXPECT_EQ(plugIn.Flags(), 0);

    EXPECT_EQ(plugIn.Icon(0, 0, 0).size(), QSize(16, 16));
    EXPECT_EQ(plugIn.Icon(0, 2, 0).size(), QSize(32, 32));
    EXPECT_TRUE(plugIn.Icon(0, 1, 0).isNull());
    EXPECT_TRUE(plugIn.Icon(300, 2, 0).isNull());
    EXPECT_TRUE(plugIn.Icon(301, 0, 0).isNull());
    for (std::int32_t id = 100; id <= 1600; id += 100) {
        EXPECT_EQ(plugIn.Icon(id, 0, 0).size(), QSize(16, 16)) << id;
        EXPECT_EQ(plugIn.Icon(id, 1, 0).size(), QSize(32, 16)) << id;
    }
    EXPECT_EQ(CTarvoXPlugIn::iconResourceName(300, 1), QStringLiteral("TE:CTT(32X16X256)"));
}

TEST_F(CTarvoXPlugInTest, TheShippedTemplateGivesAllSixteenTestTypes)
{
    useTemplateFile(QStringLiteral(KELTO_SHIPPED_TEMPLATE));
    auto plugIn = std::make_shared<CTarvoXPlugIn>();
    plugIn->Initialize(nullptr);
    const Ptr<ITestList> tests = plugIn->Tests();
    ASSERT_EQ(tests->Count(), 16);
    for (std::int32_t id = 100; id <= 1600; id += 100) {
        const Ptr<ITestElement> prototype = tests->Item(id);
        ASSERT_TRUE(prototype) << id;
        EXPECT_FALSE(prototype->Info()->Name().isEmpty()) << id;
    }
    const Ptr<IStandard> iec = tests->Item(100)->Limits()->Standards()->Find(0, QStringLiteral("IEC 60601-2-4"),
        tests->Item(100)->Limits()->Standards()->Item(0)->CompleteName());
    ASSERT_TRUE(iec);
    ASSERT_TRUE(iec->FindLimit(QStringLiteral("ENGY")));
    EXPECT_EQ(iec->FindLimit(QStringLiteral("ENGY"))->Formula(0), QStringLiteral("X+(X*Y%)"));
    // 200 J set: 170 and 230 J pass, 169 J fails.
    EXPECT_EQ(iec->CheckValue(QStringLiteral("ENGY"), 170.0f, Variant(200.0f)), 0);
    EXPECT_EQ(iec->CheckValue(QStringLiteral("ENGY"), 230.0f, Variant(200.0f)), 0);
    EXPECT_EQ(iec->CheckValue(QStringLiteral("ENGY"), 169.0f, Variant(200.0f)), 2);
    EXPECT_TRUE(host::HostLog::instance().reportedErrors().isEmpty());
}
