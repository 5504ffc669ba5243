// Test main for every test program: a widget application on the offscreen
// platform (but for screenshots), and a registry file of its own so tests never touch the user's.

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "host/HostClasses.h"

int main(int argc, char** argv)
{
    // Screenshots are taken on the display the script gives (an X server of their own).
    if (qEnvironmentVariableIsEmpty("KELTO_SCREENSHOT_DIR"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir registryDir;
    qputenv("KELTO_REGISTRY_FILE", registryDir.filePath(QStringLiteral("registry.ini")).toUtf8());
    QApplication app(argc, argv);
    kelto::host::registerHostClasses();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
