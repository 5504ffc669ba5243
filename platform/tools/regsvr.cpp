// Records the classes of a component library in a registration folder, so the
// component runtime can find and load the library on first use.

#include <QCoreApplication>
#include <cstdio>

#include "platform/ComponentRuntime.h"
#include "platform/PluginError.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: kelto-regsvr LIBRARY REGISTRATION-FOLDER\n");
        return 2;
    }
    try {
        kelto::ComponentRuntime::writeRegistration(args[1], args[2]);
    } catch (const kelto::PluginError& e) {
        std::fprintf(stderr, "kelto-regsvr: %s\n", qPrintable(e.description()));
        return 1;
    }
    return 0;
}
