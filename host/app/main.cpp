// kelto-host: the stand-in host application that loads the plug-in.

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#include "host/BasicServices.h"
#include "host/HostClasses.h"
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
    std::fprintf(stderr, "usage: kelto-host [classes]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    kelto::host::registerHostClasses();
    QTextStream out(stdout);
    const QStringList args = app.arguments().mid(1);
    const QString command = args.value(0, QStringLiteral("classes"));
    if (command == QLatin1String("classes") || command == QLatin1String("version"))
        return printClasses(out);
    return usage();
}
