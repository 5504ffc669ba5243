// The energy settings panels, through the charge-time panel, and the ten members
// of the family compactly.

#include "panels/XEnergyConfig.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <functional>

#include "PanelTestSupport.h"

using namespace kelto;
using namespace kelto::testing;

namespace {

class EnergyPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        panel = makePanel<XChargeTimeConfig>(XChargeTimeConfig::kProgId);
        ASSERT_TRUE(panel);
        box = panel->energyBox();
    }

    void initialize()
    {
        panel->SetCallBack(callBack);
        panel->Initialize(Variant(config));
    }

    Ptr<XChargeTimeConfig> panel;
    QLineEdit* box = nullptr;
    Ptr<CConfigChargeTime> config = std::make_shared<CConfigChargeTime>();
    Ptr<host::CallBack> callBack = std::make_shared<host::CallBack>();
};

} // namespace

TEST_F(EnergyPanelTest, InitializeShowsTheEnergyAsAWholeNumberAndAnnouncesNothing)
{
    config->SetPresetEnergy(150.6f);
    initialize();
    EXPECT_EQ(box->text(), QStringLiteral("151"));
    EXPECT_TRUE(box->isEnabled());
    // Only an edit writes the rounded value back.
    EXPECT_FLOAT_EQ(config->PresetEnergy(), 150.6f);
    EXPECT_EQ(changesOf(*callBack), 0);
    EXPECT_EQ(guideSettingsOf(*panel)->settings(), config->TestGuideConfig());
}

TEST_F(EnergyPanelTest, EachTypedDigitOrBackspaceWritesAndAnnouncesOnce)
{
    initialize();
    clearByBackspace(box);
    EXPECT_EQ(box->text(), QString());
    EXPECT_FLOAT_EQ(config->PresetEnergy(), 0);
    EXPECT_EQ(changesOf(*callBack), 3);
    callBack->clear();

    QTest::keyClick(box, Qt::Key_2);
    EXPECT_FLOAT_EQ(config->PresetEnergy(), 2);
    QTest::keyClicks(box, QStringLiteral("50"));
    EXPECT_FLOAT_EQ(config->PresetEnergy(), 250);
    EXPECT_EQ(changesOf(*callBack), 3);
}

TEST_F(EnergyPanelTest, OnlyDigitsAndBackspaceCanBeTyped)
{
    initialize();
    QTest::keyClick(box, Qt::Key_End);
    QTest::keyClicks(box, QStringLiteral("a-.,+ e"));
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(box->text(), QStringLiteral("100"));
    EXPECT_EQ(changesOf(*callBack), 0);
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClick(box, Qt::Key_5);
    EXPECT_EQ(box->text(), QStringLiteral("105"));
    EXPECT_FLOAT_EQ(config->PresetEnergy(), 105);
    // Cursor keys still move within the box.
    QTest::keyClick(box, Qt::Key_Home);
    QTest::keyClick(box, Qt::Key_Delete);
    EXPECT_EQ(box->text(), QStringLiteral("05"));
    EXPECT_FLOAT_EQ(config->PresetEnergy(), 5);

    // A refused key is told under the box, whole, with the energy the box holds then;
    // showing the configuration again starts afresh.
    const struct {
        const char* typed; // key by key into the whole text, selected
        const char* note;
    } typings[] = {
        {"1.5", "\".\" is not taken: the preset energy is a whole number of joules, typed as digits. It is 15 J."},
        {"1,5", "\",\" is not taken: the preset energy is a whole number of joules, typed as digits. It is 15 J."},
        {"abc", "\"abc\" is not taken: the preset energy is a whole number of joules, typed as digits. It is 100 J."},
    };
    QLabel* note = panel->refusalNote();
    for (const auto& typing : typings) {
        SCOPED_TRACE(typing.typed);
        config->SetPresetEnergy(100);
        panel->Initialize(Variant(config));
        EXPECT_TRUE(note->isHidden());
        box->setFocus();
        QApplication::processEvents();
        box->selectAll();
        for (const char* key = typing.typed; *key; ++key) {
            QTest::keyClicks(box, QString(QLatin1Char(*key)));
            QApplication::processEvents();
        }
        EXPECT_EQ(note->text().toStdString(), typing.note);
        EXPECT_TRUE(note->isVisible());
        const QRect whole = note->fontMetrics().boundingRect(note->contentsRect(), Qt::TextWordWrap, note->text());
        EXPECT_TRUE(note->contentsRect().contains(whole)) << "read whole";
        EXPECT_TRUE(panel->energyFrame()->rect().contains(note->geometry()));
        EXPECT_GT(note->y(), box->geometry().bottom());
    }
}

TEST_F(EnergyPanelTest, TextThatWasNotTypedIsReadByItsLeadingNumber)
{
    initialize();
    box->setText(QStringLiteral("12.5 J")); // as pasted through the box's menu
    EXPECT_FLOAT_EQ(config->PresetEnergy(), 12.5f);
    box->setText(QStringLiteral("J"));
    EXPECT_FLOAT_EQ(config->PresetEnergy(), 0);
    // Beyond the range of the stored number nothing is written, but the edit is still told.
    box->setText(QStringLiteral("1") + QString(45, QLatin1Char('0')));
    EXPECT_FLOAT_EQ(config->PresetEnergy(), 0);
    EXPECT_EQ(changesOf(*callBack), 3);
}

TEST_F(EnergyPanelTest, AClickWritesTheShownValueAndAnnouncesOnce)
{
    config->SetPresetEnergy(150.6f);
    initialize();
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_FLOAT_EQ(config->PresetEnergy(), 151);
    EXPECT_EQ(changesOf(*callBack), 1);
}

TEST_F(EnergyPanelTest, BeforeTheHostGivesItsCallbackEditsStillReachTheConfiguration)
{
    panel->Initialize(Variant(config));
    QTest::keyClick(box, Qt::Key_End);
    QTest::keyClick(box, Qt::Key_7);
    EXPECT_FLOAT_EQ(config->PresetEnergy(), 1007);
    panel->SetCallBack(callBack);
    EXPECT_EQ(panel->CallBack(), callBack);
    QTest::keyClick(box, Qt::Key_Backspace);
    EXPECT_EQ(changesOf(*callBack), 1);
    panel->SetCallBack(nullptr);
    QTest::keyClick(box, Qt::Key_Backspace);
    EXPECT_EQ(changesOf(*callBack), 1);
    EXPECT_FLOAT_EQ(config->PresetEnergy(), 10);
}

TEST_F(EnergyPanelTest, TestGuideSettingsAreEditedInPlaceAndAnnouncedOnce)
{
    initialize();
    host::XTestGuideSettings* settings = guideSettingsOf(*panel);
    ASSERT_TRUE(settings);
    EXPECT_TRUE(settings->showPicturesBox()->isChecked());
    QTest::mouseClick(settings->showPicturesBox(), Qt::LeftButton);
    EXPECT_FALSE(config->TestGuideConfig()->ShowPictures());
    EXPECT_EQ(changesOf(*callBack), 1);
    // Initialising again shows the stored settings without announcing them.
    callBack->clear();
    config->TestGuideConfig()->SetConfirmNext(true);
    panel->Initialize(Variant(config));
    EXPECT_TRUE(settings->confirmNextBox()->isChecked());
    EXPECT_EQ(changesOf(*callBack), 0);
}

TEST_F(EnergyPanelTest, LockingDisablesTheBoxAndLocksTheSettingsOnlyOnAChange)
{
    initialize();
    host::XTestGuideSettings* settings = guideSettingsOf(*panel);
    panel->SetLocked(false); // a fresh panel is unlocked already
    EXPECT_TRUE(box->isEnabled());
    EXPECT_FALSE(settings->Locked());

    panel->SetLocked(true);
    EXPECT_TRUE(panel->Locked());
    EXPECT_FALSE(box->isEnabled());
    EXPECT_TRUE(settings->Locked());
    EXPECT_FALSE(settings->showPicturesBox()->isEnabled());
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::mouseClick(settings->showPicturesBox(), Qt::LeftButton);
    EXPECT_EQ(changesOf(*callBack), 0);

    // Settings unlocked behind the panel's back stay so: a repeated lock does nothing.
    settings->SetLocked(false);
    panel->SetLocked(true);
    EXPECT_FALSE(settings->Locked());
    panel->SetLocked(false);
    EXPECT_TRUE(box->isEnabled());
    EXPECT_FALSE(panel->Locked());
}

TEST_F(EnergyPanelTest, SomethingOtherThanItsConfigurationIsNotTaken)
{
    // On a fresh panel: the box is disabled and keeps its design text.
    panel->SetCallBack(callBack);
    panel->Initialize(Variant(std::make_shared<CConfigVFIBEnergy>()));
    EXPECT_FALSE(box->isEnabled());
    EXPECT_EQ(box->text(), QStringLiteral("100"));
    EXPECT_EQ(changesOf(*callBack), 0);

    // A panel with a configuration keeps it.
    config->SetPresetEnergy(200);
    panel->Initialize(Variant(config));
    EXPECT_TRUE(box->isEnabled()); // editable again once it has a configuration
    panel->Initialize(Variant(QStringLiteral("300")));
    panel->Initialize(Variant());
    EXPECT_TRUE(box->isEnabled());
    QTest::keyClick(box, Qt::Key_End);
    QTest::keyClick(box, Qt::Key_1);
    EXPECT_FLOAT_EQ(config->PresetEnergy(), 2001);

    // An empty object reference clears it.
    panel->Initialize(Variant::nothing());
    EXPECT_FALSE(box->isEnabled());
}

TEST_F(EnergyPanelTest, ALockStaysInForceAcrossInitialize)
{
    panel->SetLocked(true);
    initialize();
    EXPECT_FALSE(box->isEnabled());
    panel->SetLocked(false);
    EXPECT_TRUE(box->isEnabled());
}

TEST_F(EnergyPanelTest, AnUnlockWithoutAConfigurationLeavesTheBoxDisabled)
{
    // Enabled, the box would take edits that are written nowhere while the host is told of them.
    panel->SetCallBack(callBack);
    panel->Initialize(Variant::nothing());
    panel->SetLocked(true);
    panel->SetLocked(false);
    EXPECT_FALSE(box->isEnabled());
    QTest::keyClick(box, Qt::Key_5);
    EXPECT_EQ(changesOf(*callBack), 0);
    initialize();
    EXPECT_TRUE(box->isEnabled());
}

TEST_F(EnergyPanelTest, SetFocusSelectsTheFirstFiveCharacters)
{
    config->SetPresetEnergy(123456);
    initialize();
    panel->SetFocus();
    EXPECT_EQ(box->selectedText(), QStringLiteral("12345"));
}

TEST_F(EnergyPanelTest, FramesAreLaidOutForAtLeastTheLeastSize)
{
    const double pixel = twipsPerPixel(panel->hWnd());
    auto check = [&](double width, double height, double energyWidth, double settingsLeft) {
        resizeInTwips(panel->hWnd(), width, height);
        const QRectF energy = panel->twipsGeometry(panel->energyFrame());
        const QRectF settings = panel->twipsGeometry(panel->settingsFrame());
        const double frameHeight = panel->helpText()->Top() - 120;
        EXPECT_NEAR(energy.x(), 0, pixel);
        EXPECT_NEAR(energy.width(), energyWidth, pixel);
        EXPECT_NEAR(settings.x(), settingsLeft, pixel);
        // As designed, unless a wider font needs more room for its captions.
        EXPECT_NEAR(settings.width(), std::max(2295.0f, panel->leastWidth(panel->settingsFrame())), pixel);
        EXPECT_NEAR(energy.height(), frameHeight, pixel);
        EXPECT_NEAR(settings.height(), frameHeight, pixel);
    };
    check(5000, 2000, 3284.4, 3404.4);
    // The help strip is placed for the least height, below the visible panel.
    EXPECT_GT(panel->helpText()->Top(), 2000);
    check(12000, 4000, 4080, 4200);
    EXPECT_NEAR(panel->twipsGeometry(panel->helpText()->widget()).bottom(), 4000, twipsPerPixel(panel->hWnd()));
}

namespace {

struct EnergyMember {
    const char* progId;
    std::function<Ptr<CConfigEnergySetting>()> make;
};

template <class C>
EnergyMember member(const char* progId)
{
    return {progId, [] { return std::make_shared<C>(); }};
}

const EnergyMember kMembers[] = {
    member<CConfigVFIBEnergy>(XVFIBEnergyConfig::kProgId),
    member<CConfigVTACHEnergy>(XVTACHEnergyConfig::kProgId),
    member<CConfigChargeTime>(XChargeTimeConfig::kProgId),
    member<CConfigPeakVoltage>(XPeakVoltageConfig::kProgId),
    member<CConfigOverCurrent>(XOverCurrentConfig::kProgId),
    member<CConfigOverVoltage>(XOverVoltageConfig::kProgId),
    member<CConfigSyncRPeak>(XSyncRPeakConfig::kProgId),
    member<CConfigSyncQBase>(XSyncQBaseConfig::kProgId),
    member<CConfigBatteryCapacity>(XBatteryCapacityConfig::kProgId),
    member<CConfigBatteryRetention>(XBatteryRetentionConfig::kProgId),
};

} // namespace

TEST(EnergyPanelFamily, EachPanelEditsItsOwnConfigurationOnly)
{
    for (const EnergyMember& m : kMembers) {
        SCOPED_TRACE(m.progId);
        auto panel = makePanel<XEnergyPanel>(m.progId);
        ASSERT_TRUE(panel);
        EXPECT_EQ(panel->hWnd()->objectName(), QString::fromLatin1(m.progId).section(QLatin1Char('.'), 1));
        EXPECT_EQ(panel->helpText()->Text(), QStringLiteral("Enter the energy (in joules) to be used for this test."));
        EXPECT_EQ(panel->hWnd()->findChild<QLabel*>(QStringLiteral("lblPresetEnergy"))->text(), QStringLiteral("Preset energy"));

        // Every other member's configuration is refused.
        for (const EnergyMember& other : kMembers) {
            if (&other != &m)
                panel->Initialize(Variant(other.make()));
        }
        EXPECT_FALSE(panel->energyBox()->isEnabled());

        auto config = m.make();
        auto callBack = std::make_shared<host::CallBack>();
        panel->SetCallBack(callBack);
        panel->Initialize(Variant(config));
        QTest::keyClick(panel->energyBox(), Qt::Key_End);
        QTest::keyClick(panel->energyBox(), Qt::Key_0);
        EXPECT_FLOAT_EQ(config->PresetEnergy(), 1000);
        EXPECT_EQ(changesOf(*callBack), 1);
    }
}

TEST(EnergyPanelFamily, OnlyTheBatteryCapacityPanelTakesTheSettingsFirst)
{
    for (const EnergyMember& m : kMembers) {
        SCOPED_TRACE(m.progId);
        auto panel = makePanel<XEnergyPanel>(m.progId);
        const QList<QWidget*> chain = tabChain(panel->hWnd());
        const auto energy = chain.indexOf(panel->energyBox());
        const auto settings = chain.indexOf(guideSettingsOf(*panel)->showPicturesBox());
        ASSERT_GE(energy, 0);
        ASSERT_GE(settings, 0);
        EXPECT_EQ(settings < energy, QString::fromLatin1(m.progId).endsWith(QLatin1String("XBatteryCapacityConfig")));
    }
}
