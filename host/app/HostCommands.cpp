#include "host/app/HostCommands.h"

#include <QApplication>

#include "host/app/GuiMessageBox.h"
#include "host/app/MainWindow.h"
#include "host/app/PlugInHost.h"
#include "platform/interfaces/TestElement.h"

namespace kelto::host {

int runTestsCommand(QTextStream& out, QTextStream& err)
{
    PlugInHost host;
    if (!host.load()) {
        printCannotStart(err, host.error());
        return 1;
    }
    for (const Ptr<ITestElement>& test : host.tests()) {
        QString name;
        ignoreErrors([&] { name = test->Info()->Name(); });
        out << test->TestID() << "\t" << name << "\n";
    }
    return 0;
}

int runWindow(const QString& file)
{
    installGuiMessageBoxes();
    PlugInHost host;
    host.load();
    MainWindow window(host);
    window.show();
    if (!file.isEmpty())
        window.openFile(file);
    return QApplication::exec();
}

} // namespace kelto::host
