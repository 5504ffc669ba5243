// kelto-host: the stand-in host application that loads the plug-in.
//
//   kelto-host                 the window
//   kelto-host open FILE       the window with a test sequence
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
        "usage: kelto-host [open FILE | tests | classes | version | query --port PORT | link --port PORT COMMAND...]\n");
    return 2;
}

bool isWindowCommand(const QString& command)
{
    return command.isEmpty() || command == QLatin1String("open");
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
    if (command.isEmpty())
        return kelto::host::runWindow(QString());
    if (command == QLatin1String("open") && args.size() == 2)
        return kelto::host::runWindow(args[1]);
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
