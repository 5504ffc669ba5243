// "kelto-host report", run as a technician runs it: the report of a saved
// sequence as HTML and PDF, and what it says when it cannot make one.

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "host/RegistryKey.h"
#include "host/app/PlugInHost.h"
#include "host/app/Sequence.h"
#include "platform/interfaces/Standards.h"
#include "platform/interfaces/TestData.h"
#include "tests/support/HostProcess.h"
#include "tests/support/HostileXml.h"
#include "tests/support/TestFiles.h"

using namespace kelto;

namespace {

class ReportCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The program reads the same registry file as this test.
        QFile::remove(host::RegistryStore::filePath());
        setTemplate(QStringLiteral(KELTO_SHIPPED_TEMPLATE));
        ASSERT_TRUE(plugInHost.load()) << plugInHost.error().description().toStdString();
        host::Sequence sequence;
        auto charge = sequence.add(*plugInHost.plugIn(), 300);
        auto vfib = sequence.add(*plugInHost.plugIn(), 100);
        ASSERT_TRUE(charge && vfib);
        charge->Info()->SetName(QStringLiteral("Charge time before service"));
        const Ptr<IStandard> iec = plugInHost.plugIn()->Tests()->Item(100)->Limits()->Standards()->Item(0);
        for (const auto& element : {charge, vfib})
            element->Limits()->CreateStandard(iec->AlphaName(), iec->CompleteName());
        QString error;
        ASSERT_TRUE(sequence.save(sequenceFile(), &error)) << error.toStdString();
    }

    static void setTemplate(const QString& file)
    {
        host::RegistryKey key;
        key.CreateKey(hkey::LocalMachine, QStringLiteral("Software\\Quilo\\kelto\\TarvoX"));
        key.SetValue(QStringLiteral("Configuration"), file);
    }
    QString sequenceFile() const { return dir.filePath(QStringLiteral("service-check.xml")); }
    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }
    static QByteArray contents(const QString& file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // The rows of a report's tables, each its cells' texts between "|" without the
    // empty cells at either end.
    static QStringList tableRows(QString html)
    {
        html.replace(QRegularExpression(QStringLiteral("</t[dh]>\\s*<t[dh][^>]*>")), QStringLiteral("|"))
            .replace(QStringLiteral("</tr>"), QStringLiteral("\n"))
            .remove(QRegularExpression(QStringLiteral("<[^>]*>|&nbsp;")));
        QStringList rows;
        for (const QString& row : html.split(QLatin1Char('\n')))
            rows << row.trimmed().remove(QRegularExpression(QStringLiteral("^\\||\\|+$")));
        return rows;
    }
    static void write(const QString& file, const QByteArray& text)
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

    QTemporaryDir dir;
    host::PlugInHost plugInHost;
};

} // namespace

TEST_F(ReportCommand, PrintsASavedSequenceAsHtmlAndAsPdf)
{
    const test::HostRun html = test::runHost({QStringLiteral("report"), sequenceFile(), QStringLiteral("--output"), path("report.html")});
    ASSERT_EQ(html.exitCode, 0) << html.err.toStdString();
    EXPECT_TRUE(html.out.isEmpty());
    const QString text = QString::fromUtf8(contents(path("report.html")));
    EXPECT_TRUE(text.contains(QStringLiteral("<h1>Test report: service-check.xml</h1>"))) << text.left(400).toStdString();
    const qsizetype first = text.indexOf(QStringLiteral("<h2>1. Charge time before service</h2>"));
    const qsizetype second = text.indexOf(QStringLiteral("<h2>2. VFIB Energy</h2>"));
    ASSERT_GE(first, 0);
    ASSERT_GT(second, first);
    // Each element prints its settings and its limits under its own heading.
    EXPECT_GT(text.indexOf(QStringLiteral("Preset Energy"), first), first);
    EXPECT_LT(text.indexOf(QStringLiteral("IEC 60601-2-4"), first), second);
    EXPECT_GT(text.indexOf(QStringLiteral("IEC 60601-2-4"), second), second);

    const test::HostRun pdf = test::runHost({QStringLiteral("report"), sequenceFile(), QStringLiteral("-o"), path("report.PDF")});
    ASSERT_EQ(pdf.exitCode, 0) << pdf.err.toStdString();
    EXPECT_TRUE(contents(path("report.PDF")).startsWith("%PDF-"));
}

TEST_F(ReportCommand, AGoodSequenceWithAResultIsReportedWithoutAWordOnStandardError)
{
    write(path("result.xml"), R"xml(<TestSequence PlugIn="TarvoX">
  <Item TestID="100">
    <TestElement TestID="100" ID="100" PlugIn="TarvoX" Filter="0">
      <Info Name="VFIB Energy" Parameter="Energy" Type="Defibrillator"/>
      <PlugInData PlugIn="TarvoX"><PresetEnergy>100</PresetEnergy></PlugInData>
      <ResultItem MTI="1">
        <Status Value="2"/>
        <Measurement Key="ENGY"><Value Variant="Double" Type="1">119.6</Value><Unit>J</Unit><Status Value="2"/></Measurement>
      </ResultItem>
    </TestElement>
  </Item>
  <Item TestID="100">
    <TestElement TestID="100" ID="100" PlugIn="TarvoX" Filter="0">
      <Info Name="Unticked" Parameter="Energy" Type="Defibrillator"/>
      <PlugInData PlugIn="TarvoX"><PresetEnergy>100</PresetEnergy></PlugInData>
      <ExpectedResult><Standard Alpha="IEC 60601-2-4" Complete="IEC" Flags="1"><Limit Key="ENGY" Unit="J">
        <High Value="15" Formula="X+(X*Y%)"/><Low Value="-15" Formula="X+(X*Y%)"/></Limit></Standard></ExpectedResult>
      <ResultItem MTI="1">
        <Status Value="1"/>
        <Measurement Key="ENGY"><Value Variant="Double" Type="1">119.6</Value><Unit>J</Unit><Status Value="1"/></Measurement>
      </ResultItem>
    </TestElement>
  </Item>
</TestSequence>)xml");
    // Also where the session has no runtime folder, of which Qt would warn.
    const test::HostRun run = test::runHost({QStringLiteral("report"), path("result.xml"), QStringLiteral("-o"), path("report.html")}, {}, [&](QProcess& host) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        environment.remove(QStringLiteral("QT_LOGGING_RULES"));
        host.setProcessEnvironment(environment);
    });
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err.toStdString(), "");
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(contents(path("report.html")).contains("119.6"));
    // Saved before the standards that judged a result were recorded, a verdict says so:
    // a pass is not printed beside IEC's 115 J, which it may never have been judged against.
    EXPECT_TRUE(withPlainStatuses(QString::fromUtf8(contents(path("report.html")))).contains(QStringLiteral("<h2>1. VFIB Energy: failed (judged against unrecorded standards)</h2>")));
    EXPECT_TRUE(withPlainStatuses(QString::fromUtf8(contents(path("report.html")))).contains(QStringLiteral("<h2>2. Unticked: passed (judged against unrecorded standards)</h2>")));
    EXPECT_FALSE(contents(path("report.html")).contains("IEC 60601-2-4"));
}

TEST_F(ReportCommand, AReadingNeverPrintsOnTheLimitItFailsOrOnItsOtherSide)
{
    const QString iec = QStringLiteral(R"x(<Standard Alpha="IEC" Complete="IEC"><Limit Key="CHTI" Unit="s"><High Value="15"/></Limit></Standard>)x");
    const QString mfr = QStringLiteral(R"x(<Standard Alpha="MFR" Complete="MFR"><Limit Key="%1" Unit="%2">%3</Limit></Standard>)x");
    const QString rate = mfr.arg(QStringLiteral("PACR"), QStringLiteral("ppm"),
        QStringLiteral(R"x(<High Value="5" Formula="X+(X*Y%)"/><Low Value="-5" Formula="X+(X*Y%)"/>)x"));
    const struct {
        int testId;
        const char* settings;
        QString standards;
        const char* key;
        const char* reading;
        const char* limitRow;   // the cells of the last limit row
        const char* readingRow; // and of the reading's row
    } cases[] = {
        {300, "", iec, "CHTI", "15.4", "Charge Time|IEC|15||s", "Charge Time||15.4|s"},
        {300, "", iec + mfr.arg("CHTI", "s", R"x(<High Value="5"/>)x"), "CHTI", "5.3", "Charge Time|MFR|5||s", "Charge Time||5.3|s"},
        {1400, "", mfr.arg("CHTI", "s", R"x(<High Value="20"/>)x"), "CHTI1", "20.4", "Charge Time|MFR|20||s", "Charge Time 1||20.4|s"},
        {1200, "<Rate>60</Rate>", rate, "PACR", "63.4", "Rate|MFR|63|57|ppm", "Rate|60|63.4|ppm"},
        {1200, "<Rate>60</Rate>", rate, "PACR", "56.6", "Rate|MFR|63|57|ppm", "Rate|60|56.6|ppm"},
        // A limit keeps its decimals: 74 ppm beside a limit printed "74" would read as on it.
        {1200, "<Rate>70</Rate>", rate, "PACR", "73.6", "Rate|MFR|73.5|66.5|ppm", "Rate|70|74|ppm"},
    };
    QString items;
    for (const auto& c : cases) {
        QString judged;
        for (const char* name : {"IEC", "MFR"})
            if (c.standards.contains(QStringLiteral("Alpha=\"%1\"").arg(QLatin1String(name))))
                judged += QStringLiteral(R"x(<Standard Alpha="%1" Complete="%1"/>)x").arg(QLatin1String(name));
        items += QStringLiteral(R"x(<Item TestID="%1"><TestElement TestID="%1" ID="%1" PlugIn="TarvoX" Filter="0">)x"
                                R"x(<PlugInData PlugIn="TarvoX">%2</PlugInData><ExpectedResult>%3</ExpectedResult>)x"
                                R"x(<ResultItem><Status Value="2"/><Measurement Key="%4"><Value Variant="Double" Type="1">%5</Value>)x"
                                R"x(<Status Value="2"/></Measurement></ResultItem></TestElement><JudgedAgainst>%6</JudgedAgainst></Item>)x")
                     .arg(QString::number(c.testId), QLatin1String(c.settings), c.standards, QLatin1String(c.key), QLatin1String(c.reading), judged);
    }
    write(path("readings.xml"), (QStringLiteral("<TestSequence PlugIn=\"TarvoX\">") + items + QStringLiteral("</TestSequence>")).toUtf8());
    const test::HostRun run = test::runHost({QStringLiteral("report"), path("readings.xml"), QStringLiteral("-o"), path("readings.html")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList rows = tableRows(QString::fromUtf8(contents(path("readings.html"))));
    qsizetype at = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reading);
        const qsizetype reading = rows.indexOf(QLatin1String(c.readingRow), at);
        ASSERT_GE(reading, 0) << rows.join(QLatin1Char('\n')).toStdString();
        EXPECT_GE(rows.lastIndexOf(QLatin1String(c.limitRow), reading), at) << rows.join(QLatin1Char('\n')).toStdString();
        at = reading + 1;
    }
}

TEST_F(ReportCommand, ASequenceThatCannotBeReadIsNamedAndTheEarlierReportIsKept)
{
    ScopedFifo pipe(path("pipe.xml"));
    ASSERT_TRUE(pipe.made());
    write(path("broken.xml"), "<TestSequence><Item TestID=\"300\">");
    write(path("other.xml"), "<TemplateData/>");
    write(path("unknown.xml"), "<TestSequence><Item TestID=\"4242\"/></TestSequence>");
    write(path("deep.xml"), deeplyNested(100));
    const struct {
        QString file;
        const char* says;
    } cases[] = {
        {path("missing.xml"), "No such file"},
        {path("broken.xml"), "line"},
        {path("other.xml"), "is not a test sequence"},
        {path("unknown.xml"), ""},
        {dir.path(), "it is a folder, not a regular file"},
        {path("pipe.xml"), "it is a named pipe, not a regular file"},
        {path("deep.xml"), "levels deep"},
        {QStringLiteral("/proc/self/status"), "is not XML: it does not begin with \"<\""}, // a file of no size, read whole
    };
    write(path("report.html"), "the earlier report");
    for (const auto& c : cases) {
        const test::HostRun run = test::runHost({QStringLiteral("report"), c.file, QStringLiteral("-o"), path("report.html")});
        EXPECT_EQ(run.exitCode, 1) << c.file.toStdString();
        EXPECT_TRUE(run.err.contains(c.file)) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String(c.says))) << run.err.toStdString();
        EXPECT_LE(run.err.count(QStringLiteral("Check")), 1) << "advised once: " << run.err.toStdString();
        EXPECT_EQ(contents(path("report.html")), QByteArray("the earlier report"));
    }
}

TEST_F(ReportCommand, AnItemReadOnlyInPartIsNamedAndTheRestIsReportedWithExitOne)
{
    write(path("in-part.xml"), "<TestSequence>\n<Item TestID=\"300\"><ResultItem><Status Value=\"1\"/><Measurement Key=\"PACR\"/></ResultItem></Item>\n"
                               "<Item TestID=\"100\"/>\n"
                               "<Item TestID=\"300\"><ResultItem><Status Value=\"1\"/><Measurement Key=\"CHTI\">"
                               "<Value Type=\"1\" Variant=\"Double\">NaN</Value><Status Value=\"1\"/></Measurement></ResultItem></Item>\n"
                               "</TestSequence>\n");
    const test::HostRun run = test::runHost({QStringLiteral("report"), path("in-part.xml"), QStringLiteral("-o"), path("report.html")});
    EXPECT_EQ(run.exitCode, 1) << "the report is not the whole file's";
    EXPECT_TRUE(run.err.contains(QStringLiteral("Item 1 (TestID \"300\", line 2) of %1: its result cannot be read").arg(path("in-part.xml"))))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("PACR"))) << run.err.toStdString();
    const QString text = QString::fromUtf8(contents(path("report.html")));
    EXPECT_TRUE(text.contains(QStringLiteral("<h2>1. Charge Time (result not read from the file)</h2>"))) << text.left(1200).toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("<h2>2. VFIB Energy</h2>")));
    // A reading that cannot be read is named, never printed as 0 under "passed".
    EXPECT_TRUE(run.err.contains(QStringLiteral("Item 3 (TestID \"300\", line 4) of %1: its result cannot be read (A stored Double value cannot "
                                                "be read: \"NaN\"")
                                     .arg(path("in-part.xml"))))
        << run.err.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("<h2>3. Charge Time (result not read from the file)</h2>"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("passed")));
    // Each is said once, with the file.
    const QStringList lines = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), 2) << run.err.toStdString();
    for (const QString& line : lines)
        EXPECT_TRUE(line.contains(path("in-part.xml"))) << line.toStdString();
}

TEST_F(ReportCommand, ReadsTheRegistryOnceAndWritesNoSettingItHoldsAlready)
{
    const QString registry = host::RegistryStore::filePath();
    ASSERT_TRUE(ageFile(registry));
    FileUseCount uses(registry);
    ASSERT_TRUE(uses.watching());
    const test::HostRun run = test::runHost({QStringLiteral("report"), sequenceFile(), QStringLiteral("-o"), path("report.html")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(uses.opens(), 1);
    EXPECT_EQ(uses.replacements(), 0);
}

TEST_F(ReportCommand, AReportNeverReplacesAFileThatMayNotBeWrittenWhoeverRunsIt)
{
    // A folder anyone may write, where a rename alone could replace any file in it.
    const QString shared = path("shared");
    ASSERT_TRUE(QDir().mkdir(shared));
    ASSERT_TRUE(QFile::setPermissions(shared, QFileDevice::Permissions(0x7777)));
    const QString readOnly = shared + QStringLiteral("/archived.html");
    const QString othersFile = shared + QStringLiteral("/theirs.html");
    const QString loop = shared + QStringLiteral("/loop.html");
    ASSERT_TRUE(QFile::link(loop, loop));
    const bool root = ::geteuid() == 0;
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    // Root writes any file: the other user's file is tried by root without that power.
    const QStringList withoutOverride{setpriv, QStringLiteral("--bounding-set"), QStringLiteral("-dac_override,-dac_read_search")};
    const struct {
        QString file;
        QFile::Permissions mode;
        bool othersOwn;
        QString reason;
    } cases[] = {
        {readOnly, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther, false, QStringLiteral("the file is read-only (mode 0444)")},
        {loop, {}, false, QString::fromLocal8Bit(std::strerror(ELOOP))},
        {othersFile, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther, true,
            QStringLiteral("this user may not write the file (%1)").arg(QString::fromLocal8Bit(std::strerror(EACCES)))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        if (c.othersOwn && (!root || setpriv.isEmpty())) {
            GTEST_SKIP() << "another user's file is made by root, and tried by root through setpriv";
        }
        if (c.file != loop) {
            write(c.file, "the earlier report");
            ASSERT_TRUE(QFile::setPermissions(c.file, c.mode));
            if (c.othersOwn) {
                ASSERT_EQ(::chown(QFile::encodeName(c.file).constData(), 65534, 65534), 0);
            }
        }
        struct stat before {};
        ASSERT_EQ(::lstat(QFile::encodeName(c.file).constData(), &before), 0);
        const QStringList entries = QDir(shared).entryList(QDir::AllEntries | QDir::System | QDir::Hidden);
        const test::HostRun run = test::runHost({QStringLiteral("report"), sequenceFile(), QStringLiteral("-o"), c.file},
            c.othersOwn ? withoutOverride : QStringList{});
        EXPECT_EQ(run.exitCode, 1);
        // The reason is known: nothing else is to be checked.
        EXPECT_TRUE(run.err.contains(QStringLiteral("Cannot write the report %1: %2. It stays as it is; write the report under another name.")
                                         .arg(c.file, c.reason)))
            << run.err.toStdString();
        struct stat after {};
        ASSERT_EQ(::lstat(QFile::encodeName(c.file).constData(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << "the file is not replaced";
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_uid, before.st_uid);
        if (c.file != loop) {
            EXPECT_EQ(contents(c.file), QByteArray("the earlier report"));
        }
        EXPECT_EQ(QDir(shared).entryList(QDir::AllEntries | QDir::System | QDir::Hidden), entries) << "no file is left beside it";
    }
}

TEST_F(ReportCommand, AReportThatCannotBeWrittenOrAPlugInThatCannotStartFails)
{
    const QString unwritable = path("missing/report.pdf");
    const test::HostRun run = test::runHost({QStringLiteral("report"), sequenceFile(), QStringLiteral("-o"), unwritable});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("Cannot write the report %1").arg(unwritable))) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains(QStringLiteral("earlier report"))) << "there was none";
    EXPECT_FALSE(QFile::exists(unwritable));

    // Beyond the user's file size limit the write fails with its reason, where the
    // system's signal for it would end the program unexplained.
    write(path("limited.html"), "the earlier report");
    const test::HostRun limited = test::runHost({QStringLiteral("report"), sequenceFile(), QStringLiteral("-o"), path("limited.html")}, {}, [](QProcess& host) {
        host.setChildProcessModifier([] {
            const rlimit limit{1024, 1024};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            ::signal(SIGXFSZ, SIG_DFL);
        });
    });
    EXPECT_EQ(limited.exitCode, 1);
    EXPECT_TRUE(limited.err.contains(QStringLiteral("Cannot write the report %1: %2. Check the file name, the folder's permissions and the free space; an "
                                                    "earlier report of that name is kept.")
                                         .arg(path("limited.html"), QString::fromLocal8Bit(std::strerror(EFBIG)))))
        << limited.err.toStdString();
    EXPECT_EQ(contents(path("limited.html")), QByteArray("the earlier report"));

    ScopedFifo pipe(path("pipe.html"));
    ASSERT_TRUE(pipe.made());
    const test::HostRun toPipe = test::runHost({QStringLiteral("report"), sequenceFile(), QStringLiteral("-o"), path("pipe.html")});
    EXPECT_EQ(toPipe.exitCode, 1);
    EXPECT_TRUE(toPipe.err.contains(QStringLiteral("Cannot write the report %1: it is a named pipe, not a regular file.").arg(path("pipe.html"))))
        << toPipe.err.toStdString();
    EXPECT_TRUE(isFifo(path("pipe.html")));

    setTemplate(path("missing.mpc"));
    const test::HostRun noPlugIn = test::runHost({QStringLiteral("report"), sequenceFile(), QStringLiteral("-o"), path("report.html")});
    EXPECT_EQ(noPlugIn.exitCode, 1);
    EXPECT_TRUE(noPlugIn.err.contains(QStringLiteral("The plug-in cannot start"))) << noPlugIn.err.toStdString();
    EXPECT_FALSE(QFile::exists(path("report.html")));
}
