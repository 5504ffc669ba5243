// The component libraries as built: each exports its one entry and nothing else;
// a program that builds their code in creates their classes from that one copy and
// never loads the libraries beside it; the host, which loads them, still works.

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <link.h>

#include "framework/ITarvoXPlugIn.h"
#include "instrument_link/CTarvoXVTi.h"
#include "platform/ComponentRuntime.h"
#include "platform/interfaces/PlugIn.h"

using namespace kelto;

namespace {

const char* const kLibraries[] = {KELTO_SHELL_LIBRARY, KELTO_TEST_LIBRARY, KELTO_LINK_LIBRARY};

// The file names of every shared object mapped into this process.
QStringList loadedObjects()
{
    QStringList names;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            if (info->dlpi_name && *info->dlpi_name)
                static_cast<QStringList*>(data)->append(QFileInfo(QString::fromLocal8Bit(info->dlpi_name)).fileName());
            return 0;
        },
        &names);
    return names;
}

QString run(const QString& program, const QStringList& args, int* exitCode)
{
    QProcess process;
    process.start(program, args);
    // Only ends a program that would never end: it takes seconds on a loaded machine.
    process.waitForFinished(180000);
    *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

} // namespace

TEST(ComponentLibraries, EachExportsItsOneEntryOnly)
{
    for (const char* library : kLibraries) {
        SCOPED_TRACE(library);
        int exitCode = 0;
        const QString out = run(QStringLiteral(KELTO_NM), {QStringLiteral("-D"), QStringLiteral("--defined-only"), QString::fromLocal8Bit(library)}, &exitCode);
        ASSERT_EQ(exitCode, 0);
        QStringList symbols;
        for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            symbols << line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts).last();
        EXPECT_EQ(symbols, QStringList{QStringLiteral("kelto_component_classes")});
    }
}

TEST(ComponentLibraries, BuiltInCodeIsNeverLoadedASecondTime)
{
    // The registrations name the libraries, yet every class comes from this program.
    auto& runtime = ComponentRuntime::instance();
    auto plugIn = runtime.createAs<IPlugIn>(QStringLiteral("KeltoTarvoX.CTarvoXPlugIn"));
    auto globals = runtime.createAs<IGlobals>(QString::fromLatin1(tarvoxclass::GGlobals));
    auto vti = runtime.createAs<CTarvoXVTi>(QString::fromLatin1(linkclass::TarvoXVtiId));
    ASSERT_TRUE(plugIn);
    ASSERT_TRUE(globals);
    ASSERT_TRUE(vti);
    for (const ClassRegistration& reg : runtime.classes()) {
        if (reg.progId.startsWith(QLatin1String("KeltoTarvoX"))) {
            EXPECT_TRUE(reg.library.isEmpty()) << reg.progId.toStdString() << " from " << reg.library.toStdString();
        }
    }
    const QStringList loaded = loadedObjects();
    for (const char* library : kLibraries)
        EXPECT_FALSE(loaded.contains(QFileInfo(QString::fromLocal8Bit(library)).fileName())) << library;
}

TEST(ComponentLibraries, TheHostLoadsThemAndTheyFindEachOther)
{
    // The shell creates the test library's globals and every test element by name:
    // two libraries that share no symbol work together through the runtime alone.
    int exitCode = 0;
    const QString out = run(QStringLiteral(KELTO_HOST_EXE), {QStringLiteral("tests")}, &exitCode);
    EXPECT_EQ(exitCode, 0);
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), 16);
    EXPECT_TRUE(out.contains(QStringLiteral("300\tCharge Time"))) << out.toStdString();
}
