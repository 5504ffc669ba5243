#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "framework/FDialogWrapper.h"
#include "host/HostLog.h"
#include "host/RegistryKey.h"
#include "platform/ComponentRuntime.h"
#include "plugin_shell/CTarvoXSetup.h"
#include "tests/support/ScopedRegistryFile.h"
#include "tests/support/TestFiles.h"

using namespace kelto;

namespace {

const QString kKey = QStringLiteral("Software\\Quilo\\kelto\\TarvoX");

class CTarvoXSetupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QFile::remove(host::RegistryStore::filePath());
        host::HostLog::instance().clear();
    }

    static host::RegistryKey existingKey()
    {
        host::RegistryKey key;
        key.CreateKey(hkey::LocalMachine, kKey);
        return key;
    }

    static Variant stored(const QString& name)
    {
        host::RegistryKey key;
        key.OpenKey(hkey::LocalMachine, kKey);
        return valueOr([&] { return key.GetValue(name); }, Variant(QStringLiteral("<missing>")));
    }

    static void expectTemplateBesideTheShell(const QString& configuration)
    {
        const QFileInfo file(configuration);
        EXPECT_TRUE(file.isAbsolute()) << configuration.toStdString();
        EXPECT_EQ(file.fileName(), QStringLiteral("TarvoX.mpc"));
        EXPECT_TRUE(QFileInfo::exists(file.absolutePath() + QStringLiteral("/libKeltoTarvoX.so"))) << configuration.toStdString();
    }
};

} // namespace

TEST_F(CTarvoXSetupTest, ARegistryFileThatCannotBeReadGivesTheDefaultsAndIsNotWrittenOver)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("registry.ini"));
    const QByteArray garbage("\x7f" "ELF binary, not settings\n");
    ASSERT_TRUE(writeFile(path, garbage));
    ScopedRegistryFile scope(path);

    CTarvoXSetup setup;
    setup.Initialize();
    setup.SetCommTimeOut(2000);
    setup.RegSave(hkey::LocalMachine, kKey);

    expectTemplateBesideTheShell(setup.Configuration());
    EXPECT_EQ(setup.PacerRefractoryTimeout(), 120);
    EXPECT_EQ(fileContent(path), garbage);
    EXPECT_EQ(host::HostLog::instance().warnings().size(), 1);
}

TEST_F(CTarvoXSetupTest, FreshInstallationStartsWithDefaultsAndCreatesTheKey)
{
    CTarvoXSetup setup;
    setup.Initialize();

    expectTemplateBesideTheShell(setup.Configuration());
    EXPECT_EQ(setup.CommTimeOut(), 1000);
    EXPECT_EQ(setup.PacerRefractoryTimeout(), 120);
    EXPECT_EQ(stored(QStringLiteral("CommTimeOut")), Variant(std::int32_t(1000)));
    EXPECT_EQ(stored(QStringLiteral("PacerRefractoryTimeout")), Variant(std::int32_t(120)));
    EXPECT_EQ(stored(QStringLiteral("Configuration")), Variant(QStringLiteral("<missing>")));

    // A fresh installation is not an error.
    EXPECT_TRUE(host::HostLog::instance().reportedErrors().isEmpty());
}

TEST_F(CTarvoXSetupTest, UnreadableValuesTakeDefaultsAndNumbersAreWrittenBack)
{
    auto key = existingKey();
    key.SetValue(QStringLiteral("Configuration"), QString());
    key.SetValue(QStringLiteral("CommTimeOut"), QStringLiteral("fast"));

    CTarvoXSetup setup;
    setup.Initialize();

    expectTemplateBesideTheShell(setup.Configuration());
    EXPECT_EQ(setup.CommTimeOut(), 1000);
    EXPECT_EQ(setup.PacerRefractoryTimeout(), 120);
    EXPECT_EQ(stored(QStringLiteral("CommTimeOut")), Variant(std::int32_t(1000)));
    EXPECT_EQ(stored(QStringLiteral("PacerRefractoryTimeout")), Variant(std::int32_t(120)));
    EXPECT_EQ(stored(QStringLiteral("Configuration")), Variant(QString())); // never written
    EXPECT_TRUE(host::HostLog::instance().reportedErrors().isEmpty());
}

TEST_F(CTarvoXSetupTest, StoredValuesLoadAsTheyAreWithoutRangeChecks)
{
    auto key = existingKey();
    key.SetValue(QStringLiteral("Configuration"), QStringLiteral("/opt/kelto/Custom.mpc"));
    key.SetValue(QStringLiteral("CommTimeOut"), std::int32_t(1500));
    key.SetValue(QStringLiteral("PacerRefractoryTimeout"), std::int32_t(5));

    CTarvoXSetup setup;
    setup.Initialize();
    EXPECT_EQ(setup.Configuration(), QStringLiteral("/opt/kelto/Custom.mpc"));
    EXPECT_EQ(setup.CommTimeOut(), 1500);
    EXPECT_EQ(setup.PacerRefractoryTimeout(), 5);
}

TEST_F(CTarvoXSetupTest, LoadAndSaveAlwaysUseTheFixedKey)
{
    existingKey().SetValue(QStringLiteral("CommTimeOut"), std::int32_t(700));
    const QString elsewhere = QStringLiteral("Software\\Elsewhere");

    CTarvoXSetup setup;
    setup.RegLoad(hkey::CurrentUser, elsewhere);
    EXPECT_EQ(setup.CommTimeOut(), 700);

    setup.SetCommTimeOut(2500);
    setup.SetPacerRefractoryTimeout(30);
    setup.SetConfiguration(QStringLiteral("/tmp/Other.mpc"));
    setup.RegSave(hkey::CurrentUser, elsewhere);
    EXPECT_EQ(stored(QStringLiteral("CommTimeOut")), Variant(std::int32_t(2500)));
    EXPECT_EQ(stored(QStringLiteral("PacerRefractoryTimeout")), Variant(std::int32_t(30)));
    EXPECT_EQ(stored(QStringLiteral("Configuration")), Variant(QStringLiteral("<missing>")));

    host::RegistryKey other;
    other.OpenKey(hkey::CurrentUser, elsewhere);
    EXPECT_FALSE(other.KeyExists());
}

TEST_F(CTarvoXSetupTest, LoadDropsEditsThatWereNotSaved)
{
    existingKey().SetValue(QStringLiteral("PacerRefractoryTimeout"), std::int32_t(60));
    CTarvoXSetup setup;
    setup.Initialize();
    setup.SetPacerRefractoryTimeout(200);
    setup.RegLoad(0, QString());
    EXPECT_EQ(setup.PacerRefractoryTimeout(), 60);
}

TEST_F(CTarvoXSetupTest, SettingsAreAlwaysEmptyAndADialogIsOffered)
{
    CTarvoXSetup setup;
    setup.SetSettings(Variant(QStringLiteral("anything")));
    EXPECT_TRUE(setup.Settings().isEmpty());
    EXPECT_TRUE(setup.HasDialog());
}

TEST_F(CTarvoXSetupTest, CreateDialogGivesAFreshWrapperEachTime)
{
    auto setup = ComponentRuntime::instance().createAs<ISetup>(QStringLiteral("KeltoTarvoX.CTarvoXSetup"));
    ASSERT_NE(setup, nullptr);
    EXPECT_NE(ComponentRuntime::instance().createAs<ISetup>(QStringLiteral("{D9F00172-144E-4F3E-AD77-3469BBAF7638}")), nullptr);

    auto dialog = setup->CreateDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_NE(setup->CreateDialog(), dialog);
    auto wrapper = std::dynamic_pointer_cast<FDialogWrapper>(dialog);
    ASSERT_NE(wrapper, nullptr);
    EXPECT_FALSE(dialog->IsDocked());
    dialog->Unload();
}
