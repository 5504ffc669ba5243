#include <QFile>
#include <gtest/gtest.h>

#include "tests/support/Errors.h"

#include "host/RegistryKey.h"

using namespace kelto;
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
