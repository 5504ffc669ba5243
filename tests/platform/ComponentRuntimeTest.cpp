#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/ComponentRuntime.h"
#include "platform/PluginError.h"
#include "tests/support/MissingClass.h"
#include "tests/support/TestFiles.h"

using namespace kelto;

namespace {

// The runtime is one per process; each test reads its own registration folder
// into it, which overrides the entries the earlier ones left.
class ComponentRuntimeTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    void registerSample()
    {
        ASSERT_EQ(QProcess::execute(QStringLiteral(REGSVR), {QStringLiteral(SAMPLE_COMPONENT), folder.path()}), 0);
        ComponentRuntime::instance().loadRegistrations(folder.path());
    }

    QTemporaryDir folder;
};

int constructedCount()
{
    QLibrary lib(QStringLiteral(SAMPLE_COMPONENT));
    auto count = reinterpret_cast<int (*)()>(lib.resolve("sample_constructed_count"));
    return count ? count() : -1;
}

} // namespace

TEST_F(ComponentRuntimeTest, RegistrationRecordsEachClassWithItsLibrary)
{
    registerSample();
    QFile reg(folder.filePath(QStringLiteral("libKeltoSampleComponent.reg")));
    ASSERT_TRUE(reg.open(QIODevice::ReadOnly));
    const QString line = QString::fromUtf8(reg.readAll()).trimmed();
    EXPECT_TRUE(line.startsWith(QStringLiteral("KeltoSample.CSample\t{6B1D3C2A-0F4E-4C61-9A0B-1F2E3D4C5B6A}\t")));
}

TEST_F(ComponentRuntimeTest, CreatesByProgIdWithoutRegardToCase)
{
    registerSample();
    const int before = constructedCount();
    EXPECT_TRUE(ComponentRuntime::instance().create(QStringLiteral("KeltoSample.CSample")));
    EXPECT_TRUE(ComponentRuntime::instance().create(QStringLiteral("keltosample.csample")));
    EXPECT_EQ(constructedCount(), before + 2);
}

TEST_F(ComponentRuntimeTest, CreatesByClassId)
{
    registerSample();
    EXPECT_TRUE(ComponentRuntime::instance().create(QStringLiteral("{6b1d3c2a-0f4e-4c61-9a0b-1f2e3d4c5b6a}")));
}

TEST_F(ComponentRuntimeTest, UnknownNamesYieldNothing)
{
    registerSample();
    EXPECT_EQ(ComponentRuntime::instance().create(QStringLiteral("KeltoSample.CMissing")), nullptr);
    EXPECT_EQ(ComponentRuntime::instance().create(QStringLiteral("{00000000-1111-2222-3333-444444444444}")), nullptr);
    EXPECT_EQ(ComponentRuntime::instance().create(QString()), nullptr);
}

TEST_F(ComponentRuntimeTest, AWithdrawnClassIsMissingUntilItIsPutBack)
{
    registerSample();
    const QString classId = QStringLiteral("{6b1d3c2a-0f4e-4c61-9a0b-1f2e3d4c5b6a}");
    {
        const MissingClass missing("KeltoSample.CSample");
        EXPECT_TRUE(missing.withdrawn());
        EXPECT_EQ(ComponentRuntime::instance().create(QStringLiteral("KeltoSample.CSample")), nullptr);
        EXPECT_EQ(ComponentRuntime::instance().create(classId), nullptr) << "its class id is gone too";
    }
    EXPECT_TRUE(ComponentRuntime::instance().create(QStringLiteral("keltosample.csample")));
    EXPECT_TRUE(ComponentRuntime::instance().create(classId));
    {
        const MissingClass byId(classId);
        EXPECT_EQ(ComponentRuntime::instance().create(QStringLiteral("KeltoSample.CSample")), nullptr);
    }
    EXPECT_TRUE(ComponentRuntime::instance().create(QStringLiteral("KeltoSample.CSample")));
    const MissingClass unknown("KeltoSample.CMissing");
    EXPECT_FALSE(unknown.withdrawn());
}

TEST_F(ComponentRuntimeTest, LoadingALibraryConstructsNothing)
{
    // Reading the class list loads the library but must make no object.
    ASSERT_TRUE(ComponentRuntime::readLibraryClasses(QStringLiteral(SAMPLE_COMPONENT)));
    QLibrary fresh(QStringLiteral(SAMPLE_COMPONENT));
    ASSERT_TRUE(fresh.load());
    const int before = constructedCount();
    registerSample();
    EXPECT_EQ(constructedCount(), before);
}

TEST_F(ComponentRuntimeTest, AMissingLibraryFailsWithAClearError)
{
    QFile reg(folder.filePath(QStringLiteral("gone.reg")));
    ASSERT_TRUE(reg.open(QIODevice::WriteOnly));
    reg.write("KeltoGone.CGone\t{0D3B1E5F-1111-4222-8333-944455566677}\tlibKeltoGone.so\n");
    reg.close();
    ComponentRuntime::instance().loadRegistrations(folder.path());
    try {
        ComponentRuntime::instance().create(QStringLiteral("KeltoGone.CGone"));
        FAIL() << "creation should fail";
    } catch (const PluginError& e) {
        EXPECT_EQ(e.number(), vberr::CannotCreateObject);
        EXPECT_TRUE(e.description().contains(QStringLiteral("libKeltoGone.so")));
        EXPECT_TRUE(e.description().contains(QStringLiteral("missing")));
        EXPECT_TRUE(e.description().contains(QStringLiteral("registered by gone.reg in %1").arg(folder.path()))) << e.description().toStdString();
    }
}

TEST_F(ComponentRuntimeTest, ADamagedRegistrationIsNamedByFolderFileAndLine_TheSoundLinesStillRegister)
{
    QFile reg(folder.filePath(QStringLiteral("libKeltoMended.reg")));
    ASSERT_TRUE(reg.open(QIODevice::WriteOnly));
    reg.write("# comment\n"
              "KeltoMended.CSound\t{00000000-0000-0000-0000-000000000000}\tlibKeltoMended.so\n"
              "KeltoMended.CSpaces {1D3B1E5F-1111-4222-8333-944455566677} libKeltoMended.so\n"
              "KeltoMended.CBadId\t{not-a-class-id}\tlibKeltoMended.so\n"
              "\x01\x7f\xfe garbage\n");
    reg.close();
    auto& runtime = ComponentRuntime::instance();
    runtime.loadRegistrations(folder.path());
    const struct {
        const char* name;
        const char* says;
    } cases[] = {
        {"KeltoMended.CSpaces", "line 3 of libKeltoMended.reg in %1, is damaged: it is not a ProgID, a class id and a library separated by tabs"},
        {"keltomended.cbadid", "line 4 of libKeltoMended.reg in %1, is damaged: \"{not-a-class-id}\" is not a class id"},
        {"{1d3b1e5f-1111-4222-8333-944455566677}", "line 3 of libKeltoMended.reg in %1"},
        // Too damaged to name its class, the line is still its library's file.
        {"KeltoMended.CUnnamed", "line 3 of libKeltoMended.reg in %1"},
    };
    for (const auto& c : cases) {
        try {
            runtime.create(QLatin1String(c.name));
            ADD_FAILURE() << c.name << ": created";
        } catch (const PluginError& e) {
            EXPECT_EQ(e.number(), vberr::CannotCreateObject) << c.name;
            EXPECT_TRUE(e.description().contains(QString::fromUtf8(c.says).arg(folder.path()))) << e.description().toStdString();
        }
    }
    // The sound line is registered: it fails on its missing library, not on the damage.
    try {
        runtime.create(QStringLiteral("KeltoMended.CSound"));
        ADD_FAILURE() << "created";
    } catch (const PluginError& e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("is missing"))) << e.description().toStdString();
    }
    EXPECT_EQ(runtime.create(QStringLiteral("KeltoOther.CUnknown")), nullptr) << "a name no damaged line can hold stays unknown";
}

TEST_F(ComponentRuntimeTest, AClassBuiltIntoTheProcessKeepsItsCodeWhenALibraryRegistersIt)
{
    struct Thing : IObject {
        explicit Thing(int version) : version(version) {}
        int version;
    };
    static const ClassEntry first[] = {
        {"KeltoBuiltIn.CThing", "{5A1C0E2B-7D3F-4B8A-9C6E-2F1D0B3A4C5D}", [] { return ObjectPtr(std::make_shared<Thing>(1)); }}};
    static const ClassEntry second[] = {
        {"KeltoBuiltIn.CThing", "{5A1C0E2B-7D3F-4B8A-9C6E-2F1D0B3A4C5D}", [] { return ObjectPtr(std::make_shared<Thing>(2)); }}};
    auto& runtime = ComponentRuntime::instance();
    runtime.registerBuiltin({first, 1});
    // A registration of the same class by a library that is not even there.
    QFile reg(folder.filePath(QStringLiteral("builtin.reg")));
    ASSERT_TRUE(reg.open(QIODevice::WriteOnly));
    reg.write("KeltoBuiltIn.CThing\t{5A1C0E2B-7D3F-4B8A-9C6E-2F1D0B3A4C5D}\tlibKeltoBuiltIn.so\n");
    reg.close();
    runtime.loadRegistrations(folder.path());
    auto byName = runtime.createAs<Thing>(QStringLiteral("KeltoBuiltIn.CThing"));
    auto byId = runtime.createAs<Thing>(QStringLiteral("{5A1C0E2B-7D3F-4B8A-9C6E-2F1D0B3A4C5D}"));
    ASSERT_TRUE(byName);
    ASSERT_TRUE(byId);
    EXPECT_EQ(byName->version, 1);
    // Built-in classes still replace each other, as test doubles do.
    runtime.registerBuiltin({second, 1});
    EXPECT_EQ(runtime.createAs<Thing>(QStringLiteral("KeltoBuiltIn.CThing"))->version, 2);
}

TEST_F(ComponentRuntimeTest, RegisteringAFileThatIsNoComponentOrCannotBeWrittenWholeFails)
{
    QFile notALibrary(folder.filePath(QStringLiteral("plain.txt")));
    ASSERT_TRUE(notALibrary.open(QIODevice::WriteOnly));
    notALibrary.close();
    // It fails as it says, not by a crash (-1).
    EXPECT_EQ(QProcess::execute(QStringLiteral(REGSVR), {notALibrary.fileName(), folder.path()}), 1);

    // A registration that the disk cuts short fails, and the earlier one stays.
    registerSample();
    const QByteArray earlier = fileContent(folder.filePath(QStringLiteral("libKeltoSampleComponent.reg")));
    int exitCode = 0;
    withFileSizeLimit(10, [&] { exitCode = QProcess::execute(QStringLiteral(REGSVR), {QStringLiteral(SAMPLE_COMPONENT), folder.path()}); });
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(fileContent(folder.filePath(QStringLiteral("libKeltoSampleComponent.reg"))), earlier);
}

TEST(ObjectQuery, YieldsNullForAnInterfaceTheObjectLacks)
{
    struct IA : virtual IObject {};
    struct IB : virtual IObject {};
    struct A : IA {};
    Ptr<IA> a = std::make_shared<A>();
    EXPECT_EQ(query<IB>(a), nullptr);
    EXPECT_EQ(query<IA>(Ptr<IB>()), nullptr);
    EXPECT_EQ(a->as<IA>(), a);
}
