// The pulse repetition panel: what it adds to the energy panel's design.

#include "panels/XDefibPulseConfig.h"


#include "PanelTestSupport.h"

using namespace kelto;
using namespace kelto::testing;

namespace {

class DefibPulsePanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        panel = makePanel<XDefibPulseConfig>(XDefibPulseConfig::kProgId);
        ASSERT_TRUE(panel);
        battery = panel->batteryOperatedBox();
    }

    void initialize()
    {
        panel->SetCallBack(callBack);
        panel->Initialize(Variant(config));
    }

    Ptr<XDefibPulseConfig> panel;
    QCheckBox* battery = nullptr;
    Ptr<CConfigDefibPulse> config = std::make_shared<CConfigDefibPulse>();
    Ptr<host::CallBack> callBack = std::make_shared<host::CallBack>();
};

} // namespace

TEST_F(DefibPulsePanelTest, InitializeShowsBothValuesAndAnnouncesNothing)
{
    config->SetPresetEnergy(150.6f);
    config->SetBatteryOperated(true);
    initialize();
    EXPECT_EQ(panel->energyBox()->text(), QStringLiteral("151"));
    EXPECT_TRUE(battery->isChecked());
    EXPECT_TRUE(config->BatteryOperated());
    EXPECT_FLOAT_EQ(config->PresetEnergy(), 150.6f);
    EXPECT_EQ(changesOf(*callBack), 0);
    EXPECT_EQ(battery->text(), QStringLiteral("Battery Operated "));
}

TEST_F(DefibPulsePanelTest, TickingAndUntickingTheBoxWritesAndAnnouncesEach)
{
    initialize();
    QTest::mouseClick(battery, Qt::LeftButton);
    EXPECT_TRUE(config->BatteryOperated());
    EXPECT_EQ(changesOf(*callBack), 1);
    QTest::mouseClick(battery, Qt::LeftButton);
    EXPECT_FALSE(config->BatteryOperated());
    EXPECT_EQ(changesOf(*callBack), 2);
}

TEST_F(DefibPulsePanelTest, LockingDisablesTheEnergyAndTheBattery)
{
    initialize();
    panel->SetLocked(true);
    EXPECT_FALSE(panel->energyBox()->isEnabled());
    EXPECT_FALSE(battery->isEnabled());
    EXPECT_TRUE(guideSettingsOf(*panel)->Locked());
    QTest::mouseClick(battery, Qt::LeftButton);
    EXPECT_FALSE(config->BatteryOperated());
    panel->SetLocked(false);
    EXPECT_TRUE(panel->energyBox()->isEnabled());
    EXPECT_TRUE(battery->isEnabled());
}

TEST_F(DefibPulsePanelTest, WithoutAConfigurationTheBoxStillAnnouncesButWritesNothing)
{
    panel->SetCallBack(callBack);
    panel->Initialize(Variant(std::make_shared<CConfigChargeTime>()));
    EXPECT_FALSE(panel->energyBox()->isEnabled());
    EXPECT_TRUE(battery->isEnabled());
    QTest::mouseClick(battery, Qt::LeftButton);
    EXPECT_EQ(changesOf(*callBack), 1);
    EXPECT_FALSE(config->BatteryOperated());
}

TEST_F(DefibPulsePanelTest, TheKeyboardReachesTheSettingsFirstThenEnergyThenBattery)
{
    auto* settings = guideSettingsOf(*panel);
    const QList<QWidget*> expected{settings->showPicturesBox(), settings->confirmNextBox(), panel->energyBox(), battery};
    EXPECT_EQ(tabChain(panel->hWnd()), expected);
}
