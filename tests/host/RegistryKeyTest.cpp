#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>

#include "tests/support/Errors.h"
#include "tests/support/ScopedRegistryFile.h"
#include "tests/support/TestFiles.h"

#include "host/HostLog.h"
#include "host/RegistryKey.h"
#include "host/SerialPortMap.h"

using namespace kelto;
using host::HostLog;
using host::RegistryKey;

namespace {

class RegistryKeyTest : public ::testing::Test {
protected:
    void SetUp() override { QFile::remove(host::RegistryStore::filePath()); }
};


} // namespace

TEST_F(RegistryKeyTest, KeyAndValueNamesIgnoreCase)
{
    RegistryKey writer;
    writer.CreateKey(hkey::LocalMachine, QStringLiteral("Software\\Quilo\\kelto\\TarvoX"));
    writer.SetValue(QStringLiteral("CommTimeOut"), std::int32_t(1500));

    RegistryKey reader;
    reader.OpenKey(hkey::LocalMachine, QStringLiteral("Software\\Quilo\\Kelto\\TarvoX"));
    EXPECT_TRUE(reader.KeyExists());
    EXPECT_EQ(reader.GetValue(QStringLiteral("commtimeout")), Variant(std::int32_t(1500)));
}

TEST_F(RegistryKeyTest, ReadingAMissingValueFailsWithTheHostRegistryError)
{
    RegistryKey key;
    key.CreateKey(hkey::LocalMachine, QStringLiteral("Software\\Quilo\\kelto\\TarvoX"));
    EXPECT_EQ(errorNumberOf([&] { key.GetValue(QStringLiteral("Configuration")); }), hosterr::RegistryValueMissing);
}

TEST_F(RegistryKeyTest, AMissingKeyDoesNotExistAndHasNoValues)
{
    RegistryKey key;
    key.OpenKey(hkey::LocalMachine, QStringLiteral("Software\\Quilo\\kelto\\TarvoX"));
    EXPECT_FALSE(key.KeyExists());
    EXPECT_EQ(errorNumberOf([&] { key.GetValue(QStringLiteral("CommTimeOut")); }), hosterr::RegistryValueMissing);
    EXPECT_EQ(errorNumberOf([&] { key.SetValue(QStringLiteral("CommTimeOut"), std::int32_t(1)); }), hosterr::RegistryCannotOpen);
}

TEST_F(RegistryKeyTest, UsingAKeyBeforeOpeningItFails)
{
    RegistryKey key;
    EXPECT_FALSE(key.KeyExists());
    EXPECT_EQ(errorNumberOf([&] { key.GetValue(QStringLiteral("x")); }), hosterr::RegistryNotOpen);
}

TEST_F(RegistryKeyTest, KeepsNumbersAsNumbersAndTextAsText)
{
    RegistryKey key;
    key.CreateKey(hkey::LocalMachine, QStringLiteral("Software\\Quilo\\kelto\\TarvoX"));
    key.SetValue(QStringLiteral("PacerRefractoryTimeout"), std::int16_t(120));
    key.SetValue(QStringLiteral("Configuration"), QStringLiteral("C:\\Kelto\\TarvoX.mpc\nsecond line"));
    EXPECT_EQ(key.GetValue(QStringLiteral("PacerRefractoryTimeout")).type(), VarType::Long);
    EXPECT_EQ(key.GetValue(QStringLiteral("Configuration")).toString(), QStringLiteral("C:\\Kelto\\TarvoX.mpc\nsecond line"));
}

TEST_F(RegistryKeyTest, RootsAreSeparateAndSubKeysAreListed)
{
    RegistryKey machine;
    machine.CreateKey(hkey::LocalMachine, QStringLiteral("Software\\Quilo\\Kelto\\TarvoX\\MtiData\\TarvoM"));
    RegistryKey user;
    user.OpenKey(hkey::CurrentUser, QStringLiteral("Software\\Quilo\\Kelto\\TarvoX\\MtiData\\TarvoM"));
    EXPECT_FALSE(user.KeyExists());

    RegistryKey parent;
    parent.OpenKey(hkey::LocalMachine, QStringLiteral("software\\quilo\\kelto\\tarvox\\mtidata"));
    EXPECT_TRUE(parent.KeyExists()); // created with its child
    EXPECT_EQ(parent.SubKeys(), QStringList{QStringLiteral("TarvoM")});
}

namespace {

const QString kTarvoKey = QStringLiteral("Software\\Quilo\\kelto\\TarvoX");

// Writes and reads a setting as the plug-in does; gives what the session read back.
Variant useTheRegistry()
{
    RegistryKey key;
    key.OpenKey(hkey::LocalMachine, kTarvoKey);
    EXPECT_FALSE(key.KeyExists()); // a file that is not used holds nothing: the defaults apply
    key.CreateKey(hkey::LocalMachine, kTarvoKey);
    key.SetValue(QStringLiteral("CommTimeOut"), std::int32_t(1500));
    key.SetValue(QStringLiteral("CommTimeOut"), std::int32_t(1600));
    return key.GetValue(QStringLiteral("CommTimeOut"));
}

} // namespace

TEST_F(RegistryKeyTest, APortIsNamedByItsNumberAndDeviceUnlessTheSessionGaveItsPath)
{
    host::SerialPortMap map;
    host::SerialPortMap::SetDevicePath(3, QStringLiteral("/dev/ttyUSB0"));
    host::SerialPortMap::SetSessionPath(4, QStringLiteral("/tmp/tarvo"));
    EXPECT_EQ(map.PortName(2), QStringLiteral("COM2 (/dev/ttyS1)"));
    EXPECT_EQ(map.PortName(3), QStringLiteral("COM3 (/dev/ttyUSB0)"));
    EXPECT_EQ(map.PortName(4), QStringLiteral("/tmp/tarvo")) << "the path as the operator gave it";
    EXPECT_EQ(map.PortName(17), QString());
    host::SerialPortMap::SetSessionPath(4, QString());
    EXPECT_EQ(map.PortName(4), QStringLiteral("COM4 (/dev/ttyS3)"));
}

TEST(RegistryFile, ContentThatIsNotARegistryIsLeftUntouchedWithOneWarning)
{
    const struct {
        const char* what;
        QByteArray content;
        const char* where;
    } cases[] = {
        {"binary", QByteArray("\x00\x01\xfe\xff garbage\n", 14), "line 1 "},
        {"value outside a key", "CommTimeOut=dword:1500\n", "line 1 "},
        {"unknown type, with a NUL shown", "[HKEY_LOCAL_MACHINE\\Software]\n\nX=q" + QByteArray(1, '\0') + "word:1\n",
            "line 3 has a value of unknown type \"q\\x00word\""},
        {"number out of range", "[HKEY_LOCAL_MACHINE\\Software]\nX=dword:99999999999\n", "line 2 has a number that is not a 32-bit whole number"},
        {"plain text", "[HKEY_LOCAL_MACHINE\\Software]\nsome notes\n", "line 2 is not a registry key or value"},
        {"text that is not UTF-8", "[HKEY_LOCAL_MACHINE\\Software\\Quilo\\Kelto\\TarvoX\\Ports]\n\nCOM1=sz:/dev/tty\xff\xfeS0\n", "line 3 is not UTF-8 text"},
        {"a character cut at a line end", "[HKEY_LOCAL_MACHINE\\Software]\nX=sz:\xe2\x82\nY=sz:\xac\n", "line 2 is not UTF-8 text"},
        {"a character cut at the end", "[HKEY_LOCAL_MACHINE\\Software]\nX=sz:\xe2\x82", "line 2 is not UTF-8 text"},
        {"larger than a registry file can be", "[HKEY_LOCAL_MACHINE\\Software]\n" + QByteArray("X=dword:1\n").repeated(105000),
            "it is too large to be a registry file (1050030 bytes; the limit is 1 MiB)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("registry.ini"));
        ASSERT_TRUE(writeFile(path, c.content));
        ScopedRegistryFile scope(path);
        HostLog::instance().clear();

        EXPECT_EQ(useTheRegistry(), Variant(std::int32_t(1600))); // the session still works
        EXPECT_TRUE(fileContent(path) == c.content) << "the file is left exactly as it was";
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("registry.ini")});
        const auto warnings = HostLog::instance().warnings();
        ASSERT_EQ(warnings.size(), 1);
        EXPECT_TRUE(warnings[0].text.startsWith(QStringLiteral("The registry file %1 is not used: ").arg(path))) << warnings[0].text.toStdString();
        EXPECT_TRUE(warnings[0].text.contains(QLatin1String(c.where))) << warnings[0].text.toStdString();
        EXPECT_TRUE(warnings[0].text.contains(QStringLiteral("runs with default settings and leaves the file as it is")));
    }
}

TEST(RegistryFile, AFileThatCannotBeReadIsLeftUntouchedWithOneWarning)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("folder.ini"));
    ASSERT_TRUE(QDir().mkpath(folder)); // a folder where the file should be: it exists but cannot be read
    const QString pipe = dir.filePath(QStringLiteral("pipe.ini"));
    ScopedFifo fifo(pipe); // would block a reader, and a save would replace it
    ASSERT_TRUE(fifo.made());
    const struct {
        QString path;
        const char* reason;
    } cases[] = {{folder, "it cannot be read: it is a folder, not a regular file"}, {pipe, "it cannot be read: it is a named pipe, not a regular file"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        ScopedRegistryFile scope(c.path);
        HostLog::instance().clear();

        EXPECT_EQ(useTheRegistry(), Variant(std::int32_t(1600)));
        const auto warnings = HostLog::instance().warnings();
        ASSERT_EQ(warnings.size(), 1);
        EXPECT_TRUE(warnings[0].text.startsWith(QStringLiteral("The registry file %1 is not used: %2.").arg(c.path, QLatin1String(c.reason))))
            << warnings[0].text.toStdString();
    }
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_TRUE(isFifo(pipe));
}

TEST(RegistryFile, AFileThatCannotBeWrittenWarnsOnceThatSettingsAreNotKept)
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("notafolder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString path = blocker.fileName() + QStringLiteral("/registry.ini"); // its folder cannot be made
    ScopedRegistryFile scope(path);
    HostLog::instance().clear();

    EXPECT_EQ(useTheRegistry(), Variant(std::int32_t(1600)));
    const auto warnings = HostLog::instance().warnings();
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].text.startsWith(QStringLiteral("Cannot write the registry file %1: ").arg(path))) << warnings[0].text.toStdString();
    EXPECT_TRUE(warnings[0].text.contains(QStringLiteral("Settings changed in this session will not be kept")));
}

TEST(RegistryFile, AWriteThatComesBackShortKeepsTheEarlierFileAndSaysWhy)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("registry.ini"));
    const QByteArray earlier = "[HKEY_LOCAL_MACHINE\\Software\\Quilo\\kelto\\TarvoX\\Ports]\nTarvoX=dword:3\n";
    ASSERT_TRUE(writeFile(path, earlier));
    ScopedRegistryFile scope(path);
    HostLog::instance().clear();

    RegistryKey key;
    key.OpenKey(hkey::LocalMachine, kTarvoKey + QStringLiteral("\\Ports"));
    withFileSizeLimit(earlier.size(), [&] { key.SetValue(QStringLiteral("Configuration"), QStringLiteral("/opt/kelto/TarvoX.mpc")); });
    EXPECT_EQ(fileContent(path), earlier) << "the port mapping is kept";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("registry.ini")});
    const auto warnings = HostLog::instance().warnings();
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].text.startsWith(QStringLiteral("Cannot write the registry file %1: %2. ").arg(path, QString::fromLocal8Bit(std::strerror(EFBIG)))))
        << warnings[0].text.toStdString();
    EXPECT_EQ(key.GetValue(QStringLiteral("Configuration")), Variant(QStringLiteral("/opt/kelto/TarvoX.mpc"))) << "the session keeps it";
    EXPECT_EQ(key.GetValue(QStringLiteral("TarvoX")), Variant(std::int32_t(3)));
}

TEST(RegistryFile, AGoodFileIsReadAndWrittenWithoutWarnings)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("registry.ini"));
    ASSERT_TRUE(writeFile(path, "[HKEY_LOCAL_MACHINE\\Software\\Quilo\\kelto\\TarvoX]\n\nConfiguration=sz:/opt/a\\\\b.mpc\nCommTimeOut=dword:-5\n"));
    ScopedRegistryFile scope(path);
    HostLog::instance().clear();

    RegistryKey key;
    key.OpenKey(hkey::LocalMachine, kTarvoKey);
    EXPECT_EQ(key.GetValue(QStringLiteral("Configuration")), Variant(QStringLiteral("/opt/a\\b.mpc")));
    EXPECT_EQ(key.GetValue(QStringLiteral("CommTimeOut")), Variant(std::int32_t(-5)));
    key.SetValue(QStringLiteral("CommTimeOut"), std::int32_t(700));
    EXPECT_TRUE(fileContent(path).contains("CommTimeOut=dword:700"));
    EXPECT_TRUE(HostLog::instance().warnings().isEmpty());
}

TEST(RegistryFile, IsReadOnceAndAgainOnlyWhenItHasChanged)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("registry.ini"));
    // As the host writes it: a key's parents are keys too.
    ASSERT_TRUE(writeFile(path, "[HKEY_LOCAL_MACHINE\\Software]\n[HKEY_LOCAL_MACHINE\\Software\\Quilo]\n[HKEY_LOCAL_MACHINE\\Software\\Quilo\\kelto]\n"
                                "[HKEY_LOCAL_MACHINE\\Software\\Quilo\\kelto\\TarvoX]\nCommTimeOut=dword:1500\nConfiguration=sz:/opt/a.mpc\n"));
    ASSERT_TRUE(ageFile(path));
    ScopedRegistryFile scope(path);
    FileUseCount uses(path);
    ASSERT_TRUE(uses.watching());

    RegistryKey key;
    key.OpenKey(hkey::LocalMachine, kTarvoKey);
    for (int i = 0; i < 50; ++i) {
        EXPECT_TRUE(key.KeyExists());
        EXPECT_EQ(key.GetValue(QStringLiteral("CommTimeOut")), Variant(std::int32_t(1500)));
        key.SubKeys();
        key.SetValue(QStringLiteral("commtimeout"), std::int32_t(1500)); // as the plug-in saves its settings at each start
        key.CreateKey(hkey::LocalMachine, kTarvoKey);
    }
    EXPECT_EQ(uses.opens(), 1);
    EXPECT_EQ(uses.replacements(), 0) << "a value the file holds already is not written again";

    // Changed by another program: read again at the next use.
    ASSERT_TRUE(writeFile(path, "[HKEY_LOCAL_MACHINE\\Software\\Quilo\\kelto\\TarvoX]\nCommTimeOut=dword:1700\n"));
    const int opensWithTheWrite = uses.opens();
    EXPECT_EQ(key.GetValue(QStringLiteral("CommTimeOut")), Variant(std::int32_t(1700)));
    EXPECT_EQ(uses.opens(), opensWithTheWrite + 1);
    key.SetValue(QStringLiteral("CommTimeOut"), std::int32_t(1800));
    EXPECT_EQ(uses.replacements(), 1);
    EXPECT_TRUE(fileContent(path).contains("CommTimeOut=dword:1800"));
}

TEST(RegistryFile, AChangeThatWouldMakeTheFileLargerThanItsBoundIsKeptInMemoryOnly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("registry.ini"));
    const QByteArray earlier = "[HKEY_LOCAL_MACHINE\\Software\\Quilo\\kelto\\TarvoX]\nCommTimeOut=dword:1500\n";
    ASSERT_TRUE(writeFile(path, earlier));
    ScopedRegistryFile scope(path);
    HostLog::instance().clear();

    RegistryKey key;
    key.OpenKey(hkey::LocalMachine, kTarvoKey);
    const QString huge(int(host::RegistryStore::kMaxRegistryBytes), QLatin1Char('x'));
    key.SetValue(QStringLiteral("Configuration"), huge);
    EXPECT_EQ(fileContent(path), earlier);
    EXPECT_EQ(key.GetValue(QStringLiteral("Configuration")), Variant(huge)) << "the session keeps it";
    const auto warnings = HostLog::instance().warnings();
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].text.startsWith(QStringLiteral("Cannot write the registry file %1: it would hold 1048666 bytes, more than a registry file "
                                                           "may (1 MiB). Settings changed in this session will not be kept")
                                                .arg(path)))
        << warnings[0].text.toStdString();
}
