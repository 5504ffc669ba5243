// kelto-host: the stand-in host application that loads the plug-in.
//
//   kelto-host [--port PORT]            the window
//   kelto-host open FILE [--port PORT]  the window with a test sequence
//   kelto-host tests           the plug-in's test types
//   kelto-host classes         the component classes the host can create
//   kelto-host query --port PORT / link --port PORT COMMAND...   line checks

#include <QApplication>
#include <QTextStream>
#include <cstdio>

#include "host/BasicServices.h"
#include "host/HostClasses.h"
#include "host/app/HostCommands.h"
#include "host/app/LinkCommands.h"
#include "platform/ComponentRuntime.h"

namespace {

int printClasses(QTextStream& out)
{
    auto& runtime = kelto::ComponentRuntime::instance();
    out << "kelto-host " << kelto::host::HostVersion::kVersion << "\n";
    out << "Component classes:\n";
    for (const kelto::ClassRegistration& reg : runtime.classes()) {
        out << "  " << reg.progId;
        if (!reg.classId.isNull())
            out << " " << reg.classId.toString(QUuid::WithBraces).toUpper();
        out << "  (" << (reg.library.isEmpty() ? QStringLiteral("host") : reg.library.section(QLatin1Char('/'), -1)) << ")\n";
    }
    return 0;
}

int usage()
{
    std::fprintf(stderr,
        "usage: kelto-host [open FILE] [--port PORT] | tests | classes | version | query --port PORT | link --port PORT COMMAND...\n");
    return 2;
}

bool isWindowCommand(const QString& command)
{
    return command.isEmpty() || command == QLatin1String("open") || command.startsWith(QLatin1String("--port"));
}

// The window, with a sequence file and the analyser's port when given.
int window(QStringList args, QTextStream& err)
{
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--port") && i + 1 < args.size()) {
            if (!kelto::host::useSessionPort(args[i + 1], err))
                return 2;
            args.remove(i, 2);
            break;
        }
    }
    if (args.isEmpty())
        return kelto::host::runWindow(QString());
    if (args.size() == 2 && args[0] == QLatin1String("open"))
        return kelto::host::runWindow(args[1]);
    return usage();
}

} // namespace

int main(int argc, char** argv)
{
    const QString command = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    // The commands print text and need no screen; only the window does.
    if (!isWindowCommand(command) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    kelto::host::registerHostClasses();
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = app.arguments().mid(1);
    if (isWindowCommand(command))
        return window(args, err);
    if (command == QLatin1String("tests"))
        return kelto::host::runTestsCommand(out, err);
    if (command == QLatin1String("classes") || command == QLatin1String("version"))
        return printClasses(out);
    if (command == QLatin1String("query"))
        return kelto::host::runQueryCommand(args.mid(1), out, err);
    if (command == QLatin1String("link"))
        return kelto::host::runLinkCommand(args.mid(1), out, err);
    return usage();
}
