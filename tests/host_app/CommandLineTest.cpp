// The command line of kelto-host: what each command line means, and what the
// program says and returns for help, the version and mistakes.

#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include "host/app/CommandLine.h"
#include "tests/support/HostProcess.h"

using namespace kelto;
using host::Invocation;

namespace {

QStringList words(std::initializer_list<const char*> list)
{
    QStringList out;
    for (const char* w : list)
        out.append(QString::fromUtf8(w));
    return out;
}

} // namespace

TEST(CommandLine, ReadsEveryCommandWithItsArgumentsAndOptions)
{
    const struct {
        QStringList args;
        Invocation::Command command;
        const char* file;
        const char* port;
        QStringList commands;
        int timeoutMs;
        const char* output;
    } cases[] = {
        {{}, Invocation::Window, "", "", {}, 10000, ""},
        {words({"--port", "3"}), Invocation::Window, "", "3", {}, 10000, ""},
        {words({"open", "seq.xml", "--port", "/dev/ttyUSB0"}), Invocation::Open, "seq.xml", "/dev/ttyUSB0", {}, 10000, ""},
        {words({"tests"}), Invocation::Tests, "", "", {}, 10000, ""},
        {words({"classes"}), Invocation::Classes, "", "", {}, 10000, ""},
        {words({"version"}), Invocation::Version, "", "", {}, 10000, ""},
        {words({"query", "--port", "16"}), Invocation::Query, "", "16", {}, 10000, ""},
        {words({"link", "--port", "/dev/pts/4", "[VER]", "[CRG]"}), Invocation::Link, "", "/dev/pts/4", words({"[VER]", "[CRG]"}), 10000, ""},
        {words({"link", "--port=2", "--timeout", "0.25", "[CRG]"}), Invocation::Link, "", "2", words({"[CRG]"}), 250, ""},
        {words({"link", "--timeout=0", "--port", "1", "[Q]"}), Invocation::Link, "", "1", words({"[Q]"}), 0, ""},
        {words({"link", "--port", "1", "--timeout", "0.0001", "[w05]"}), Invocation::Link, "", "1", words({"[w05]"}), 1, ""},
        {words({"report", "seq.xml", "--output", "out.PDF"}), Invocation::Report, "seq.xml", "", {}, 10000, "out.PDF"},
        {words({"report", "-o", "r.html", "seq.xml"}), Invocation::Report, "seq.xml", "", {}, 10000, "r.html"},
        {words({"report", "-or.html", "seq.xml"}), Invocation::Report, "seq.xml", "", {}, 10000, "r.html"},
        {words({"--help"}), Invocation::Help, "", "", {}, 10000, ""},
        {words({"-h"}), Invocation::Help, "", "", {}, 10000, ""},
        {words({"tests", "--bogus", "--help"}), Invocation::Help, "", "", {}, 10000, ""},
        {words({"--version"}), Invocation::Version, "", "", {}, 10000, ""},
        {words({"-v"}), Invocation::Version, "", "", {}, 10000, ""},
    };
    for (const auto& c : cases) {
        const std::string label = c.args.join(QLatin1Char(' ')).toStdString();
        Invocation invocation;
        QString error;
        ASSERT_TRUE(host::parseCommandLine(c.args, &invocation, &error)) << label << ": " << error.toStdString();
        EXPECT_EQ(invocation.command, c.command) << label;
        EXPECT_EQ(invocation.file, QLatin1String(c.file)) << label;
        EXPECT_EQ(invocation.port, QLatin1String(c.port)) << label;
        EXPECT_EQ(invocation.commands, c.commands) << label;
        EXPECT_EQ(invocation.timeoutMs, c.timeoutMs) << label;
        EXPECT_EQ(invocation.output, QLatin1String(c.output)) << label;
    }
}

TEST(CommandLine, RefusesMistakesSayingWhatIsWrong)
{
    const struct {
        QStringList args;
        const char* says;
    } cases[] = {
        {words({"frobnicate"}), "Unknown command \"frobnicate\""},
        {words({"--bogus"}), "Unknown option '--bogus'."},
        {words({"tests", "-style"}), "Unknown option '-style'."},
        {words({"report", "seq.xml", "-xo", "r.html"}), "Unknown option '-xo'."},
        {words({"link", "--port", "--timeout", "3"}), "Missing value after '--port': '--timeout' is an option."},
        {words({"report", "seq.xml", "--output", "--port=3"}), "Missing value after '--output': '--port=3' is an option."},
        {words({"link", "--port", "1"}), "link needs a COMMAND to send, such as \"[VER]\". Usage: kelto-host link"},
        {words({"link", "--port", "1", "CRG"}), "\"CRG\" is not an analyser command; write it in square brackets: \"[CRG]\"."},
        {words({"link", "--port", "1", "[VER]", "[CRG"}), "\"[CRG\" is not an analyser command; a command is a word in square brackets"},
        {words({"link", "--port", "1", "[]"}), "\"[]\" is not an analyser command"},
        {words({"link", "--port", "1", "[CRG]\r"}), "is not an analyser command"},
        {words({"--port"}), "Missing value after '--port'"},
        {words({"open"}), "Usage: kelto-host open FILE [--port PORT]"},
        {words({"open", "a.xml", "b.xml"}), "Usage: kelto-host open FILE [--port PORT]"},
        {words({"tests", "extra"}), "Usage: kelto-host tests"},
        {words({"query"}), "query needs --port"},
        {words({"link", "[CRG]"}), "link needs --port"},
        {words({"query", "--port", "0"}), "Port 0 is not a serial port; use 1 to 16 or a device path."},
        {words({"query", "--port", "17"}), "Port 17 is not a serial port"},
        {words({"link", "--port", "99999999999", "[CRG]"}), "Port 99999999999 is not a serial port"},
        {words({"link", "--port", ""}), "--port needs a port number 1 to 16 or a device path"},
        {words({"link", "--port", "1", "--timeout", "-1"}), "--timeout takes seconds from 0 to 86400"},
        {words({"link", "--port", "1", "--timeout", "-0", "[CRG]"}), "--timeout takes seconds from 0 to 86400"},
        {words({"link", "--port", "1", "--timeout", "soon"}), "not \"soon\""},
        {words({"link", "--port", "1", "--timeout", "86401"}), "--timeout takes seconds"},
        {words({"link", "--port", "1", "--timeout", "nan"}), "--timeout takes seconds"},
        {words({"tests", "--port", "1"}), "--port is not an option of tests"},
        {words({"query", "--port", "1", "--timeout", "3"}), "--timeout is not an option of query"},
        {words({"--timeout", "3"}), "--timeout is not an option of the window"},
        {words({"open", "a.xml", "-o", "r.pdf"}), "--output is not an option of open"},
        {words({"report", "seq.xml"}), "report needs --output"},
        {words({"report", "--output", "r.pdf"}), "Usage: kelto-host report SEQUENCE_FILE --output FILE"},
        {words({"report", "seq.xml", "-o", "r.txt"}), "The report file \"r.txt\" must end in .html or .pdf."},
        {words({"report", "seq.xml", "-o", "report"}), "must end in .html or .pdf"},
    };
    for (const auto& c : cases) {
        const std::string label = c.args.join(QLatin1Char(' ')).toStdString();
        Invocation invocation;
        QString error;
        EXPECT_FALSE(host::parseCommandLine(c.args, &invocation, &error)) << label;
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.says))) << label << ": " << error.toStdString();
    }
}

TEST(CommandLine, TheHelpNamesEveryCommandOptionAndExitCode)
{
    const QString help = host::helpText();
    for (const char* text : {"open FILE", "  tests ", "  classes ", "  version ", "query --port PORT", "link --port PORT [--timeout SECONDS] COMMAND...",
             "report SEQUENCE_FILE --output FILE", "-h, --help", "-v, --version", "--port <PORT>", "--timeout <SECONDS>",
             "-o, --output <FILE>", "default 10; 0 waits without", "Exit codes:", "0  success", "1  failure", "2  usage error"})
        EXPECT_TRUE(help.contains(QString::fromUtf8(text))) << text;
}

TEST(HostCommandLine, HelpAndVersionGoToStandardOutputWithExitZero)
{
    for (const char* option : {"--help", "-h"}) {
        const test::HostRun run = test::runHost({QLatin1String(option)});
        EXPECT_EQ(run.exitCode, 0) << option;
        EXPECT_TRUE(run.out.contains(QStringLiteral("report SEQUENCE_FILE --output FILE"))) << option;
        EXPECT_TRUE(run.out.contains(QStringLiteral("Exit codes:"))) << option;
        EXPECT_FALSE(run.err.contains(QStringLiteral("kelto-host:"))) << option;
    }
    for (const char* option : {"--version", "-v", "version"}) {
        const test::HostRun run = test::runHost({QLatin1String(option)});
        EXPECT_EQ(run.exitCode, 0) << option;
        EXPECT_EQ(run.out, QStringLiteral("kelto-host 3.0.0\n")) << option << ": the version only";
    }
    const test::HostRun classes = test::runHost({QStringLiteral("classes")});
    EXPECT_EQ(classes.exitCode, 0);
    EXPECT_TRUE(classes.out.contains(QStringLiteral("KeltoTarvoXVTI.CTarvoXQuery"))) << "the component classes stay under classes";
}

TEST(HostCommandLine, AMistakeGoesToStandardErrorWithExitTwo_EvenWithoutAScreen)
{
    auto noScreen = [](QProcess& process) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QLatin1String(name));
        process.setProcessEnvironment(env);
    };
    // A link command line that cannot be right never reaches the port: no wait for a reply.
    for (const QStringList& args : {words({"frobnicate"}), words({"--bogus"}), words({"query"}), words({"link", "--port", "17", "[CRG]"}),
             words({"report", "seq.xml", "-o", "report.txt"}), words({"link", "--port", "/nonexistent/tarvo", "CRG"}),
             words({"link", "--port", "/nonexistent/tarvo"}), words({"link", "--port", "--timeout", "3", "[CRG]"}), words({"tests", "-style"})}) {
        const std::string label = args.join(QLatin1Char(' ')).toStdString();
        const test::HostRun run = test::runHost(args, {}, noScreen);
        EXPECT_EQ(run.exitCode, 2) << label << ": " << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << label;
        EXPECT_TRUE(run.err.contains(QStringLiteral("kelto-host: "))) << label;
        EXPECT_TRUE(run.err.contains(QStringLiteral("Try 'kelto-host --help'"))) << label;
    }
    // Qt's own options are Qt's: they leave the window, which says it has no screen
    // instead of running where no one sees it. So does the window without a display,
    // or with one that cannot be opened, rather than aborting in Qt.
    const struct {
        QStringList args;
        const char* display;
    } windows[] = {{words({"-style", "fusion"}), ""}, {{}, ""}, {words({"open", "seq.xml"}), ""}, {words({"open", "seq.xml"}), ":9999"}};
    for (const auto& w : windows) {
        const std::string label = w.args.join(QLatin1Char(' ')).toStdString() + " DISPLAY=" + w.display;
        const test::HostRun window = test::runHost(w.args, {}, [&](QProcess& process) {
            noScreen(process);
            if (*w.display) {
                QProcessEnvironment env = process.processEnvironment();
                env.insert(QStringLiteral("DISPLAY"), QLatin1String(w.display));
                process.setProcessEnvironment(env);
            }
        });
        EXPECT_EQ(window.exitCode, 1) << label << ": " << window.err.toStdString();
        EXPECT_TRUE(window.err.contains(QStringLiteral("kelto-host: the window needs a display"))) << label << ": " << window.err.toStdString();
    }
}
