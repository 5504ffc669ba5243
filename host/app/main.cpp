// kelto-host: the stand-in host application that loads the plug-in. Its commands
// are listed by "kelto-host --help" (host/app/CommandLine.h).

#include <QApplication>
#include <QTextStream>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "host/HostClasses.h"
#include "host/app/CommandLine.h"
#include "host/app/HostCommands.h"
#include "host/app/LinkCommands.h"
#include "host/app/SequenceReport.h"
#include "platform/ComponentRuntime.h"

namespace {

using kelto::host::Invocation;

QtMessageHandler qtsHandler = nullptr;
constexpr const char* kNoDisplay =
    "kelto-host: the window needs a display; set DISPLAY or WAYLAND_DISPLAY, or use a command (see --help).\n";
// Set while the window's screen is being opened: Qt ends the program when it finds
// none, and our own words say why instead.
bool openingScreen = false;

// Qt warns at every start where the session has no runtime folder (a console
// login, a CI job), though nothing here uses one: a command's standard error
// carries its own words only.
void quietenQtsRuntimeFolderWarning()
{
    qtsHandler = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
            return;
        if (type == QtFatalMsg && openingScreen) {
            std::fputs(kNoDisplay, stderr);
            std::fflush(stderr);
            std::_Exit(kelto::host::exitcode::Failure);
        }
        if (qtsHandler)
            qtsHandler(type, context, message);
    });
}

int printClasses(QTextStream& out)
{
    auto& runtime = kelto::ComponentRuntime::instance();
    out << kelto::host::versionText() << "\n";
    out << "Component classes:\n";
    for (const kelto::ClassRegistration& reg : runtime.classes()) {
        out << "  " << reg.progId;
        if (!reg.classId.isNull())
            out << " " << reg.classId.toString(QUuid::WithBraces).toUpper();
        out << "  (" << (reg.library.isEmpty() ? QStringLiteral("host") : reg.library.section(QLatin1Char('/'), -1)) << ")\n";
    }
    return kelto::host::exitcode::Success;
}

int run(const Invocation& invocation, QTextStream& out, QTextStream& err)
{
    using namespace kelto::host;
    switch (invocation.command) {
    case Invocation::Help:
        out << helpText();
        return exitcode::Success;
    case Invocation::Version:
        out << versionText() << "\n";
        return exitcode::Success;
    case Invocation::Window:
    case Invocation::Open:
        if (!invocation.port.isEmpty())
            useSessionPort(invocation.port);
        return runWindow(invocation.file);
    case Invocation::Tests:
        return runTestsCommand(out, err);
    case Invocation::Classes:
        return printClasses(out);
    case Invocation::Query:
        return runQueryCommand(invocation.port, out, err);
    case Invocation::Link:
        return runLinkCommand(invocation.port, invocation.commands, invocation.timeoutMs, out, err);
    case Invocation::Report:
        return runReportCommand(invocation.file, invocation.output, err);
    }
    return exitcode::Failure;
}

QStringList rawArguments(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    return args;
}

} // namespace

int main(int argc, char** argv)
{
    // A save past the user's file size limit then fails with its reason ("File too
    // large"), which the checked write names, instead of killing the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // Only the window needs a screen: everything else runs without one. Qt's own
    // options (-platform, -style ...) are taken off the arguments by the application
    // before they are parsed for good; until then they look like mistakes, which
    // get a screen only when there is one, so that the message is always seen.
    // The window without any display is refused before Qt would abort over it.
    Invocation first;
    QString ignored;
    const bool parsed = kelto::host::parseCommandLine(rawArguments(argc, argv), &first, &ignored);
    const bool hasDisplay = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const bool platformGiven = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    if (parsed && first.needsScreen() && !hasDisplay && !platformGiven) {
        std::fputs(kNoDisplay, stderr);
        return kelto::host::exitcode::Failure;
    }
    const bool offscreen = !(parsed ? first.needsScreen() : hasDisplay) && !platformGiven;
    if (offscreen)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    quietenQtsRuntimeFolderWarning();
    openingScreen = !offscreen;
    QApplication app(argc, argv);
    openingScreen = false;
    QApplication::setApplicationName(QStringLiteral("kelto-host"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    Invocation invocation;
    QString error;
    if (!kelto::host::parseCommandLine(QApplication::arguments().mid(1), &invocation, &error)) {
        err << "kelto-host: " << error << "\nTry 'kelto-host --help' for the commands and options.\n";
        return kelto::host::exitcode::Usage;
    }
    if (offscreen && invocation.needsScreen()) {
        // Only Qt's own options stood between us and the window: without a screen
        // it would run where no one sees it.
        err << kNoDisplay;
        return kelto::host::exitcode::Failure;
    }
    kelto::host::registerHostClasses();
    return run(invocation, out, err);
}
