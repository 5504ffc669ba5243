#include <QFile>
#include <QLabel>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include "host/RegistryKey.h"
#include "host/TestGuideServices.h"
#include "platform/ComponentRuntime.h"
#include "plugin_shell/CTarvoXSetup.h"
#include "plugin_shell/UpDown.h"
#include "plugin_shell/XPluginPrefs.h"

using namespace kelto;

namespace {

const QString kKey = QStringLiteral("Software\\Quilo\\kelto\\TarvoX");

class XPluginPrefsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QFile::remove(host::RegistryStore::filePath());
        host::RegistryKey key;
        key.CreateKey(hkey::LocalMachine, kKey);
        key.SetValue(QStringLiteral("CommTimeOut"), std::int32_t(1000));
        key.SetValue(QStringLiteral("PacerRefractoryTimeout"), std::int32_t(120));
        setup = ComponentRuntime::instance().createAs<CTarvoXSetup>(QStringLiteral("KeltoTarvoX.CTarvoXSetup"));
        panel = ComponentRuntime::instance().createAs<XPluginPrefs>(QString::fromLatin1(XPluginPrefs::kProgId));
        ASSERT_TRUE(setup && panel);
        panel->SetCallBack(callBack);
        panel->hWnd()->resize(400, 300);
        panel->hWnd()->show();
    }

    static std::int32_t stored(const QString& name)
    {
        host::RegistryKey key;
        key.OpenKey(hkey::LocalMachine, kKey);
        return key.GetValue(name).toLong();
    }

    void click(QToolButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    Ptr<CTarvoXSetup> setup;
    Ptr<XPluginPrefs> panel;
    Ptr<host::CallBack> callBack = std::make_shared<host::CallBack>();
};

} // namespace

TEST_F(XPluginPrefsTest, InitialisingShowsTheStoredValuesAndAnnouncesNothing)
{
    setup->SetCommTimeOut(2500); // an unsaved edit is dropped by the reload
    panel->Initialize(Variant(setup));
    EXPECT_EQ(panel->commsLabel()->text(), QStringLiteral("1000"));
    EXPECT_EQ(panel->pacerRefractoryLabel()->text(), QStringLiteral("120"));
    EXPECT_EQ(setup->CommTimeOut(), 1000);
    EXPECT_TRUE(callBack->events().isEmpty());
}

TEST_F(XPluginPrefsTest, EachArrowClickChangesTheSettingOnceAndAnnouncesIt)
{
    panel->Initialize(Variant(setup));
    click(panel->commsUpDown()->upButton());
    EXPECT_EQ(setup->CommTimeOut(), 1100);
    EXPECT_EQ(panel->commsLabel()->text(), QStringLiteral("1100"));
    click(panel->pacerRefractoryUpDown()->downButton());
    EXPECT_EQ(setup->PacerRefractoryTimeout(), 110);
    ASSERT_EQ(callBack->events().size(), 2);
    EXPECT_EQ(callBack->events()[0].name, QStringLiteral("Change"));
    // Nothing reaches the registry until the host saves.
    EXPECT_EQ(stored(QStringLiteral("CommTimeOut")), 1000);
    setup->RegSave(0, QString());
    EXPECT_EQ(stored(QStringLiteral("CommTimeOut")), 1100);
}

TEST_F(XPluginPrefsTest, AClickAtTheEndOfTheRangeChangesNothing)
{
    host::RegistryKey key;
    key.OpenKey(hkey::LocalMachine, kKey);
    key.SetValue(QStringLiteral("CommTimeOut"), std::int32_t(3000));
    key.SetValue(QStringLiteral("PacerRefractoryTimeout"), std::int32_t(10));
    panel->Initialize(Variant(setup));
    click(panel->commsUpDown()->upButton());
    click(panel->pacerRefractoryUpDown()->downButton());
    EXPECT_EQ(setup->CommTimeOut(), 3000);
    EXPECT_EQ(setup->PacerRefractoryTimeout(), 10);
    EXPECT_TRUE(callBack->events().isEmpty());
}

TEST_F(XPluginPrefsTest, LockingDisablesBothArrows)
{
    panel->Initialize(Variant(setup));
    panel->SetLocked(true);
    EXPECT_TRUE(panel->Locked());
    EXPECT_FALSE(panel->commsUpDown()->isEnabled());
    EXPECT_FALSE(panel->pacerRefractoryUpDown()->isEnabled());
    click(panel->commsUpDown()->upButton()); // a disabled control ignores the click
    EXPECT_EQ(setup->CommTimeOut(), 1000);
    panel->SetLocked(false);
    EXPECT_TRUE(panel->commsUpDown()->isEnabled());
    EXPECT_TRUE(panel->pacerRefractoryUpDown()->isEnabled());
}

TEST_F(XPluginPrefsTest, VisibleIsThePanelsOwnFlagWhateverItsContainerShows)
{
    QWidget container;
    panel->hWnd()->setParent(&container);
    panel->SetVisible(true);
    EXPECT_TRUE(panel->Visible()) << "in a container not shown yet, as when the host docks it";
    container.show();
    panel->SetVisible(false);
    EXPECT_FALSE(panel->Visible());
    panel->SetVisible(true);
    container.hide();
    EXPECT_TRUE(panel->Visible());
    panel->hWnd()->setParent(nullptr);
}

TEST_F(XPluginPrefsTest, ClicksBeforeInitialisationWriteAndAnnounceNothing)
{
    click(panel->commsUpDown()->upButton());
    EXPECT_TRUE(callBack->events().isEmpty());
}

TEST_F(XPluginPrefsTest, TabsShowTheirPageAndTextsAreTranslated)
{
    QTabBar* tabs = panel->tabStrip();
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("General"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("Communications"));
    EXPECT_TRUE(panel->page(0)->isVisible());
    EXPECT_FALSE(panel->page(1)->isVisible());
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    EXPECT_TRUE(panel->page(1)->isVisible());
    EXPECT_FALSE(panel->page(0)->isVisible());
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    EXPECT_TRUE(panel->page(1)->isVisible());
}

TEST_F(XPluginPrefsTest, TheSettingsDialogHoldsThePanel)
{
    Ptr<IDialog> dialog = setup->CreateDialog();
    ASSERT_TRUE(dialog);
    QWidget host;
    host.resize(500, 400);
    host.show();
    dialog->Dock(&host);
    dialog->Show();
    EXPECT_TRUE(host.findChild<QTabBar*>());
    dialog->Unload();
}
