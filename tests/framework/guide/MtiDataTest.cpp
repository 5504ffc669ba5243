#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include "framework/MMiscUtils.h"
#include "framework/guide/XMTIData.h"
#include "host/RegistryKey.h"
#include "host/TestSetup.h"
#include "platform/interfaces/HostServices.h"
#include "tests/support/Errors.h"
#include "tests/support/MissingClass.h"

using namespace kelto;

namespace {

const QString kKey = QStringLiteral("Software\\Quilo\\Kelto\\TarvoX\\MtiData\\");

class MtiDataTest : public ::testing::Test {
protected:
    void SetUp() override { QFile::remove(host::RegistryStore::filePath()); }

    static void writeModel(const QString& model, const QString& serial, const QString& firmware)
    {
        host::RegistryKey key;
        key.CreateKey(hkey::LocalMachine, kKey + model);
        key.SetValue(QStringLiteral("Serial"), Variant(serial));
        key.SetValue(QStringLiteral("Firmware"), Variant(firmware));
    }
    static Variant read(const QString& subKey, const QString& name)
    {
        host::RegistryKey key;
        key.OpenKey(hkey::LocalMachine, kKey + subKey);
        return key.GetValue(name);
    }
    static Ptr<CMtiData2> identity(const QString& type, const QString& serial, const QString& firmware = QStringLiteral("1.0"))
    {
        auto mti = std::make_shared<CMtiData2>();
        mti->SetMtiType(type);
        mti->SetSerial(serial);
        mti->SetFirmware(firmware);
        return mti;
    }
};

} // namespace

TEST_F(MtiDataTest, FirstUseShowsTheDefaultModels)
{
    XMTIData panel;
    ASSERT_EQ(panel.modelList()->count(), 3);
    EXPECT_EQ(panel.modelList()->itemText(0), QStringLiteral("Tarvo"));
    EXPECT_EQ(panel.modelList()->itemText(1), QStringLiteral("TarvoM"));
    EXPECT_EQ(panel.modelList()->itemText(2), QStringLiteral("TarvoH"));
    EXPECT_EQ(panel.modelList()->currentIndex(), 0);
    EXPECT_TRUE(panel.serialBox()->text().isEmpty());
    EXPECT_EQ(panel.GetMtiData()->MtiType(), QStringLiteral("Tarvo"));
    const auto* title = panel.findChild<QLabel*>(QStringLiteral("lblTitle"));
    ASSERT_TRUE(title);
    EXPECT_EQ(title->font().family(), QStringLiteral("Arial Black"));
    EXPECT_EQ(title->font().pointSizeF(), 14.25);
}

TEST_F(MtiDataTest, EditsReachTheSelectedEntryAndRegSaveKeepsThem)
{
    {
        XMTIData panel;
        panel.show();
        panel.modelList()->setCurrentIndex(1);
        emit panel.modelList()->activated(1);
        QTest::keyClicks(panel.serialBox(), QStringLiteral(" M-100 "));
        QTest::keyClicks(panel.firmwareBox(), QStringLiteral("3.2"));
        EXPECT_EQ(panel.GetMtiData()->MtiType(), QStringLiteral("TarvoM"));
        EXPECT_EQ(panel.GetMtiData()->Serial(), QStringLiteral(" M-100 ")); // typed as typed
        panel.RegSave();
    }
    EXPECT_EQ(read(QString(), QStringLiteral("MRU")).toLong(), 1);
    EXPECT_EQ(read(QStringLiteral("TarvoM"), QStringLiteral("Serial")).toString(), QStringLiteral(" M-100 "));
    EXPECT_EQ(read(QStringLiteral("TarvoH"), QStringLiteral("Firmware")).toString(), QString());

    // Read back trimmed, and "MRU" still designates the model saved, whatever order
    // the registry lists its sub-keys in.
    XMTIData again;
    EXPECT_EQ(again.modelList()->currentText(), QStringLiteral("TarvoM"));
    EXPECT_EQ(again.serialBox()->text(), QStringLiteral("M-100"));
    EXPECT_EQ(again.firmwareBox()->text(), QStringLiteral("3.2"));
}

TEST_F(MtiDataTest, TwoModelKeysFallBackToTheDefaultList)
{
    writeModel(QStringLiteral("Tarvo"), QStringLiteral("A1"), QStringLiteral("1"));
    writeModel(QStringLiteral("TarvoM"), QStringLiteral("B2"), QStringLiteral("2"));
    XMTIData panel;
    EXPECT_EQ(panel.modelList()->itemText(2), QStringLiteral("TarvoH"));
    EXPECT_TRUE(panel.serialBox()->text().isEmpty());
}

TEST_F(MtiDataTest, DamagedMruStillLeavesAnIdentity)
{
    host::RegistryKey key;
    key.CreateKey(hkey::LocalMachine, kKey);
    key.SetValue(QStringLiteral("MRU"), Variant(std::int32_t(7)));
    XMTIData panel;
    ASSERT_TRUE(panel.GetMtiData());
    EXPECT_EQ(panel.GetMtiData()->MtiType(), QStringLiteral("Tarvo"));
}

TEST_F(MtiDataTest, SetMtiDataShowsWhatWillBeRecorded)
{
    XMTIData panel;
    panel.SetMtiData(identity(QStringLiteral("TarvoH"), QStringLiteral("H-9"), QStringLiteral("4.0")));
    EXPECT_EQ(panel.modelList()->currentText(), QStringLiteral("TarvoH"));
    EXPECT_EQ(panel.serialBox()->text(), QStringLiteral("H-9"));
    EXPECT_EQ(panel.GetMtiData()->MtiType(), QStringLiteral("TarvoH"));
    EXPECT_EQ(panel.GetMtiData()->Serial(), QStringLiteral("H-9"));
    // The other models keep their own entries.
    panel.modelList()->setCurrentIndex(0);
    emit panel.modelList()->activated(0);
    EXPECT_TRUE(panel.serialBox()->text().isEmpty());
}

TEST_F(MtiDataTest, StoreReusesTheRecordOfAKnownAnalyserAndAddsOneForANewOne)
{
    // Each case stores a first identity, then a second, into an empty database.
    struct Case {
        const char* name;
        QStringList first;  // model, serial, firmware
        QStringList second;
        bool sameRecord;
        QString firmwareAfter; // of the first record after both
    };
    const Case cases[] = {
        {"same analyser, same firmware", {"Tarvo", "S1", "1.0"}, {"Tarvo", "S1", "1.0"}, true, "1.0"},
        // Results measured before the update keep pointing at the old firmware's record.
        {"same analyser, new firmware", {"Tarvo", "S1", "1.0"}, {"Tarvo", "S1", "2.1"}, false, "1.0"},
        {"same analyser, no firmware given", {"Tarvo", "S1", "1.0"}, {"Tarvo", "S1", ""}, false, "1.0"},
        {"other serial", {"Tarvo", "S1", "1.0"}, {"Tarvo", "S2", "1.0"}, false, "1.0"},
        {"other model, same serial", {"Tarvo", "S1", "1.0"}, {"TarvoM", "S1", "1.0"}, false, "1.0"},
        {"serial differs in case only", {"Tarvo", "s1", "1.0"}, {"Tarvo", "S1", "1.0"}, false, "1.0"},
        {"no serial, same firmware", {"Tarvo", "", "1.0"}, {"Tarvo", "", "1.0"}, true, "1.0"},
        {"no serial, other firmware", {"Tarvo", "", "1.0"}, {"Tarvo", "", "2.0"}, false, "1.0"},
        {"no serial, other model", {"Tarvo", "", "1.0"}, {"TarvoH", "", "1.0"}, false, "1.0"},
        {"no serial against a serial", {"Tarvo", "S1", "1.0"}, {"Tarvo", "", "1.0"}, false, "1.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto db = std::make_shared<host::MtiDatabase>();
        auto first = identity(c.first[0], c.first[1], c.first[2]);
        auto second = identity(c.second[0], c.second[1], c.second[2]);
        const std::int32_t firstId = MMiscUtils::StoreMtiData(db, first);
        const std::int32_t secondId = MMiscUtils::StoreMtiData(db, second);
        ASSERT_GT(firstId, 0);
        ASSERT_GT(secondId, 0);
        EXPECT_EQ(firstId == secondId, c.sameRecord);
        EXPECT_EQ(db->Records().size(), c.sameRecord ? 1 : 2);
        EXPECT_EQ(db->Item(QStringLiteral("TarvoX"), firstId)->Firmware(), c.firmwareAfter);
        if (!c.sameRecord) {
            auto added = db->Item(QStringLiteral("TarvoX"), secondId);
            EXPECT_EQ(added->Model(), c.second[0]);
            EXPECT_EQ(added->SerialNumber(), c.second[1]);
            EXPECT_EQ(added->Firmware(), c.second[2]);
        }
    }
}

TEST_F(MtiDataTest, AnAnalyserBackOnItsEarlierFirmwareGetsItsEarlierRecord)
{
    auto db = std::make_shared<host::MtiDatabase>();
    auto before = identity(QStringLiteral("TarvoH"), QStringLiteral("H-7"), QStringLiteral("1.0"));
    auto updated = identity(QStringLiteral("TarvoH"), QStringLiteral("H-7"), QStringLiteral("2.0"));
    std::int32_t first = MMiscUtils::StoreMtiData(db, before);
    std::int32_t second = MMiscUtils::StoreMtiData(db, updated);
    EXPECT_NE(first, second);
    EXPECT_EQ(MMiscUtils::StoreMtiData(db, before), first);
    EXPECT_EQ(MMiscUtils::StoreMtiData(db, updated), second);
    EXPECT_EQ(db->Records().size(), 2);
    EXPECT_EQ(MMiscUtils::GetMtiData(db, first)->Firmware(), QStringLiteral("1.0"));
    EXPECT_EQ(MMiscUtils::GetMtiData(db, second)->Firmware(), QStringLiteral("2.0"));
}

TEST_F(MtiDataTest, RunsWithoutASerialNumberShareOneRecord)
{
    auto db = std::make_shared<host::MtiDatabase>();
    auto anonymous = identity(QStringLiteral("TarvoM"), QString(), QStringLiteral("3.2"));
    const std::int32_t id = MMiscUtils::StoreMtiData(db, anonymous);
    for (int run = 0; run < 5; ++run)
        EXPECT_EQ(MMiscUtils::StoreMtiData(db, anonymous), id);
    EXPECT_EQ(db->Records().size(), 1);
}

TEST_F(MtiDataTest, StoreLeavesOtherOwnersRecordsAloneAndNeedsADatabaseAndAnIdentity)
{
    auto db = std::make_shared<host::MtiDatabase>();
    auto foreign = std::make_shared<host::MtiRecord>();
    foreign->SetOwner(QStringLiteral("OtherPlugIn"));
    foreign->SetModel(QStringLiteral("Tarvo"));
    foreign->SetSerialNumber(QStringLiteral("S1"));
    foreign->SetFirmware(QStringLiteral("1.0"));
    const std::int32_t foreignId = db->Add(foreign);
    auto own = identity(QStringLiteral("Tarvo"), QStringLiteral("S1"), QStringLiteral("2.0"));
    EXPECT_NE(MMiscUtils::StoreMtiData(db, own), foreignId);
    EXPECT_EQ(foreign->Firmware(), QStringLiteral("1.0"));
    Ptr<CMtiData2> none;
    EXPECT_EQ(MMiscUtils::StoreMtiData(db, none), 0);
    EXPECT_EQ(MMiscUtils::StoreMtiData(nullptr, own), 0);
}

TEST_F(MtiDataTest, ARecordOfAnotherOwnerIsNotTaken)
{
    // The database holds every owner's records; an id of another owner's record
    // could not be looked up for this plug-in and would lose the run's analyser.
    host::MtiDatabase db;
    auto dbPtr = std::shared_ptr<IMtiDatabase>(&db, [](IMtiDatabase*) {});
    auto foreign = std::make_shared<host::MtiRecord>();
    foreign->SetOwner(QStringLiteral("Other"));
    foreign->SetModel(QStringLiteral("Tarvo"));
    foreign->SetSerialNumber(QStringLiteral("S1"));
    const std::int32_t foreignId = db.Add(foreign);
    auto mti = identity(QStringLiteral("Tarvo"), QStringLiteral("S1"));
    std::int32_t id = MMiscUtils::StoreMtiData(dbPtr, mti);
    EXPECT_NE(id, foreignId);
    auto found = MMiscUtils::GetMtiData(dbPtr, id);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->MtiType(), QStringLiteral("Tarvo"));
    EXPECT_EQ(found->Serial(), QStringLiteral("S1"));
}

TEST_F(MtiDataTest, RegSaveWritesEveryEntryAndWithoutARegistryChangesNothing)
{
    {
        XMTIData panel;
        // A record without a model names no sub-key: its values go to the parent key.
        panel.SetMtiData(identity(QString(), QStringLiteral("X-1"), QStringLiteral("0.9")));
        panel.RegSave();
    }
    EXPECT_EQ(read(QString(), QStringLiteral("Serial")).toString(), QStringLiteral("X-1"));
    EXPECT_EQ(read(QString(), QStringLiteral("MRU")).toLong(), 0);

    QFile::remove(host::RegistryStore::filePath());
    XMTIData panel;
    panel.serialBox()->setText(QStringLiteral("lost"));
    {
        const MissingClass noRegistry(hostclass::RegistryKey);
        ASSERT_TRUE(noRegistry.withdrawn());
        panel.RegSave();
    }
    EXPECT_NE(errorNumberOf([] { read(QStringLiteral("Tarvo"), QStringLiteral("Serial")); }), 0) << "nothing was written";
}

TEST_F(MtiDataTest, GetLooksUpByIdAndZeroMeansTheRecordAddedLast)
{
    host::MtiDatabase db;
    auto dbPtr = std::shared_ptr<IMtiDatabase>(&db, [](IMtiDatabase*) {});
    auto a = identity(QStringLiteral("TarvoH"), QStringLiteral("H1"), QStringLiteral("2.0"));
    auto b = identity(QStringLiteral("TarvoM"), QStringLiteral("M1"));
    std::int32_t idA = MMiscUtils::StoreMtiData(dbPtr, a);
    MMiscUtils::StoreMtiData(dbPtr, b);
    auto found = MMiscUtils::GetMtiData(dbPtr, idA);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->MtiType(), QStringLiteral("TarvoH"));
    EXPECT_EQ(found->Serial(), QStringLiteral("H1"));
    EXPECT_EQ(found->Firmware(), QStringLiteral("2.0"));
    std::int32_t zero = 0;
    EXPECT_EQ(MMiscUtils::GetMtiData(dbPtr, zero)->MtiType(), QStringLiteral("TarvoM"));
    std::int32_t unknown = 99;
    EXPECT_FALSE(MMiscUtils::GetMtiData(dbPtr, unknown));
    EXPECT_FALSE(MMiscUtils::GetMtiData(nullptr, idA));
}
