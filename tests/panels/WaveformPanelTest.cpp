// The ECG waveform settings panels, through the arrhythmia panel, and the normal
// sinus and performance panels where they differ.

#include "panels/XWaveformConfig.h"

#include <QGroupBox>
#include <QListWidget>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionViewItem>

#include "PanelTestSupport.h"
#include "tests/support/Errors.h"

using namespace kelto;
using namespace kelto::testing;

namespace {

QList<int> tickedRows(const QListWidget* list)
{
    QList<int> rows;
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->checkState() == Qt::Checked)
            rows << row;
    }
    return rows;
}

// Clicks a row's tick box as the operator does.
void clickTick(QListWidget* list, int row)
{
    QListWidgetItem* item = list->item(row);
    list->scrollToItem(item);
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.rect = list->visualItemRect(item);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    const QRect box = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
}

class WaveformPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        panel = makePanel<XArrhythmiaConfig>(XArrhythmiaConfig::kProgId);
        ASSERT_TRUE(panel);
        list = panel->waveList();
        slider = panel->durationSlider();
        text = panel->durationBox();
        indefinite = panel->indefiniteBox();
    }

    void initialize()
    {
        panel->SetCallBack(callBack);
        panel->Initialize(Variant(config));
    }

    Ptr<XArrhythmiaConfig> panel;
    QListWidget* list = nullptr;
    QSlider* slider = nullptr;
    QLineEdit* text = nullptr;
    QCheckBox* indefinite = nullptr;
    Ptr<CConfigArrhythmia> config = std::make_shared<CConfigArrhythmia>();
    Ptr<host::CallBack> callBack = std::make_shared<host::CallBack>();
};

} // namespace

TEST_F(WaveformPanelTest, TheListHoldsTheTranslatedWavesNoneTickedUntilInitialize)
{
    ASSERT_EQ(list->count(), 9);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("Atrial Fibrillation"));
    EXPECT_EQ(list->item(8)->text(), QStringLiteral("Ventricular Fibrillation"));
    EXPECT_TRUE(tickedRows(list).isEmpty());
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_EQ(slider->minimum(), 1);
    EXPECT_EQ(slider->maximum(), 60);
    EXPECT_EQ(slider->toolTip(), QStringLiteral("Sets the runtime for each of the ECG waves (1-60 s)"));
}

TEST_F(WaveformPanelTest, InitializeTicksTheWaveShowsTheDurationAndAnnouncesNothing)
{
    config->SetWaveType(203);
    initialize();
    EXPECT_EQ(tickedRows(list), QList<int>{3});
    EXPECT_TRUE(list->viewport()->rect().intersects(list->visualItemRect(list->item(3))));
    EXPECT_EQ(text->text(), QStringLiteral("7 s"));
    EXPECT_EQ(slider->value(), 7);
    EXPECT_FALSE(indefinite->isChecked());
    EXPECT_EQ(config->Duration(), 7);
    EXPECT_EQ(changesOf(*callBack), 0);

    // Initialising again shows only the new wave ticked.
    config->SetWaveType(205);
    panel->Initialize(Variant(config));
    EXPECT_EQ(tickedRows(list), QList<int>{5});
    EXPECT_EQ(changesOf(*callBack), 0);
}

TEST_F(WaveformPanelTest, AWaveCodeIsFoundByItsRemainderAndACodeWithoutARowRaises)
{
    config->SetWaveType(400);
    initialize();
    EXPECT_EQ(tickedRows(list), QList<int>{0});
    EXPECT_EQ(config->WaveType(), 400);

    config->SetWaveType(150);
    config->SetDuration(12);
    EXPECT_EQ(errorNumberOf([&] { panel->Initialize(Variant(config)); }), vberr::SubscriptOutOfRange);
    EXPECT_EQ(text->text(), QStringLiteral("12 s")); // filled before the wave
    EXPECT_TRUE(tickedRows(list).isEmpty());
    // The panel still takes the operator's edits.
    clickTick(list, 2);
    EXPECT_EQ(config->WaveType(), 202);
    EXPECT_EQ(changesOf(*callBack), 1);
}

TEST_F(WaveformPanelTest, AnythingButItsConfigurationRaisesBeforeAControlIsTouched)
{
    initialize();
    auto other = std::make_shared<CConfigPerformance>();
    other->SetDuration(30);
    EXPECT_EQ(errorNumberOf([&] { panel->Initialize(Variant(other)); }), vberr::TypeMismatch);
    EXPECT_EQ(errorNumberOf([&] { panel->Initialize(Variant(QStringLiteral("x"))); }), vberr::TypeMismatch);
    EXPECT_EQ(text->text(), QStringLiteral("7 s"));
    // The configuration is kept: edits still reach it.
    QTest::keyClick(slider, Qt::Key_End);
    EXPECT_EQ(config->Duration(), 60);
    EXPECT_EQ(other->Duration(), 30);

    // An empty object reference leaves the controls as they are and drops the configuration.
    panel->Initialize(Variant::nothing());
    EXPECT_EQ(text->text(), QStringLiteral("60 s"));
    QTest::keyClick(slider, Qt::Key_Home);
    EXPECT_EQ(config->Duration(), 60);
}

TEST_F(WaveformPanelTest, TickingARowLeavesItAloneTickedWritesItsCodeAndAnnouncesOnce)
{
    initialize();
    clickTick(list, 1);
    EXPECT_EQ(tickedRows(list), QList<int>{1});
    EXPECT_EQ(config->WaveType(), 201);
    EXPECT_EQ(changesOf(*callBack), 1);

    // Unticking the ticked row ticks it again.
    clickTick(list, 1);
    EXPECT_EQ(tickedRows(list), QList<int>{1});
    EXPECT_EQ(config->WaveType(), 201);
    EXPECT_EQ(changesOf(*callBack), 2);
}

TEST_F(WaveformPanelTest, MovingTheSliderShowsWritesAndAnnouncesTheDuration)
{
    initialize();
    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_EQ(text->text(), QStringLiteral("8 s"));
    EXPECT_EQ(config->Duration(), 8);
    EXPECT_EQ(changesOf(*callBack), 1);
    QTest::keyClick(slider, Qt::Key_End);
    EXPECT_EQ(config->Duration(), 60);
    QTest::keyClick(slider, Qt::Key_Home);
    EXPECT_EQ(text->text(), QStringLiteral("1 s"));
    EXPECT_EQ(config->Duration(), 1);
    EXPECT_EQ(changesOf(*callBack), 3);
}

TEST_F(WaveformPanelTest, ADurationOfZeroOrLessShowsIndefiniteAndIsStoredAsZero)
{
    config->SetDuration(-5);
    initialize();
    EXPECT_EQ(text->text(), QStringLiteral("-5 s"));
    EXPECT_TRUE(indefinite->isChecked());
    EXPECT_FALSE(text->isEnabled());
    EXPECT_FALSE(slider->isEnabled());
    EXPECT_EQ(text->palette().color(QPalette::Base), QApplication::palette(text).color(QPalette::Button));
    EXPECT_EQ(config->Duration(), 0);
    EXPECT_EQ(changesOf(*callBack), 0);
}

TEST_F(WaveformPanelTest, ADurationAboveTheSliderIsKeptUntilTheOperatorChangesIt)
{
    config->SetDuration(100);
    initialize();
    EXPECT_EQ(text->text(), QStringLiteral("100 s"));
    EXPECT_FALSE(indefinite->isChecked());
    EXPECT_EQ(config->Duration(), 100);
    QTest::keyClick(slider, Qt::Key_Left);
    EXPECT_EQ(config->Duration(), 59);
}

TEST_F(WaveformPanelTest, TheIndefiniteBoxWritesTheDurationAndAnnouncesEachClickOnce)
{
    initialize();
    QTest::mouseClick(indefinite, Qt::LeftButton);
    EXPECT_EQ(config->Duration(), 0);
    EXPECT_FALSE(text->isEnabled());
    EXPECT_FALSE(slider->isEnabled());
    EXPECT_EQ(changesOf(*callBack), 1);

    QTest::mouseClick(indefinite, Qt::LeftButton);
    EXPECT_EQ(config->Duration(), 7); // back from the box
    EXPECT_TRUE(text->isEnabled());
    EXPECT_TRUE(slider->isEnabled());
    EXPECT_EQ(text->palette().color(QPalette::Base), QApplication::palette(text).color(QPalette::Base));
    EXPECT_EQ(changesOf(*callBack), 2);
}

TEST_F(WaveformPanelTest, UntickingIndefiniteOverAZeroDurationTakesOneSecond)
{
    config->SetDuration(0);
    initialize();
    EXPECT_EQ(text->text(), QStringLiteral("0 s"));
    QTest::mouseClick(indefinite, Qt::LeftButton);
    EXPECT_EQ(text->text(), QStringLiteral("1"));
    EXPECT_EQ(text->selectedText(), QStringLiteral("1"));
    EXPECT_EQ(config->Duration(), 1);
    EXPECT_EQ(changesOf(*callBack), 1);
}

TEST_F(WaveformPanelTest, LockingDisablesEveryControlAndUnlockingKeepsIndefiniteInForce)
{
    initialize();
    panel->SetLocked(false); // unlocked already: nothing changes
    EXPECT_TRUE(text->isReadOnly());
    panel->SetLocked(true);
    for (QWidget* control : {static_cast<QWidget*>(slider), static_cast<QWidget*>(indefinite), static_cast<QWidget*>(text),
             static_cast<QWidget*>(list)})
        EXPECT_FALSE(control->isEnabled()) << qPrintable(control->objectName());
    EXPECT_TRUE(guideSettingsOf(*panel)->Locked());
    QTest::keyClick(slider, Qt::Key_End);
    EXPECT_EQ(config->Duration(), 7);

    panel->SetLocked(false);
    for (QWidget* control : {static_cast<QWidget*>(slider), static_cast<QWidget*>(indefinite), static_cast<QWidget*>(text),
             static_cast<QWidget*>(list)})
        EXPECT_TRUE(control->isEnabled()) << qPrintable(control->objectName());
    // The box still only mirrors the slider.
    EXPECT_TRUE(text->isReadOnly());
    QTest::keyClicks(text, QStringLiteral("75"));
    EXPECT_EQ(text->text(), QStringLiteral("7 s"));

    // With Indefinite ticked an unlock leaves the duration controls disabled.
    QTest::mouseClick(indefinite, Qt::LeftButton);
    panel->SetLocked(true);
    panel->SetLocked(false);
    EXPECT_FALSE(slider->isEnabled());
    EXPECT_FALSE(text->isEnabled());
    EXPECT_TRUE(indefinite->isEnabled());
    EXPECT_EQ(config->Duration(), 0);
}

TEST_F(WaveformPanelTest, ALockedPanelStaysLockedWhenAnInitializeUnticksIndefinite)
{
    config->SetDuration(0);
    initialize();
    ASSERT_TRUE(indefinite->isChecked());
    panel->SetLocked(true);
    config->SetDuration(7);
    panel->Initialize(Variant(config));
    EXPECT_FALSE(indefinite->isChecked());
    EXPECT_FALSE(slider->isEnabled());
    EXPECT_FALSE(text->isEnabled());
    QTest::keyClick(slider, Qt::Key_End);
    EXPECT_EQ(config->Duration(), 7) << "the lock holds";
    panel->SetLocked(false);
    EXPECT_TRUE(slider->isEnabled());
}

TEST_F(WaveformPanelTest, APanelLowerThanItsLeastHeightIsLaidOutForThatHeight)
{
    const double pixel = twipsPerPixel(panel->hWnd());
    resizeInTwips(panel->hWnd(), 9675, 1500);
    const double frameHeight = panel->helpText()->Top() - 120;
    EXPECT_GT(frameHeight, 1500 - 120); // placed for 2055, below the visible panel
    // The design's places, moved right as far as a wider font needs for the captions.
    const double grown = std::max(0.0f, panel->leastWidth(panel->waveFrame()) - 6000);
    EXPECT_NEAR(panel->twipsGeometry(panel->waveFrame()).width(), 6000 + grown, pixel);
    EXPECT_NEAR(panel->twipsGeometry(panel->waveFrame()).height(), frameHeight, pixel);
    EXPECT_NEAR(panel->twipsGeometry(panel->settingsFrame()).x(), 6120 + grown, pixel);
    EXPECT_NEAR(panel->twipsGeometry(list).height(), frameHeight - 900, 2 * pixel);
    EXPECT_NEAR(panel->twipsGeometry(slider).x(), 2500 + panel->captionShift(slider), pixel);
    EXPECT_NEAR(panel->twipsGeometry(text).x(), 5100 + panel->captionShift(text), pixel);

    resizeInTwips(panel->hWnd(), 9675, 4000);
    EXPECT_NEAR(panel->twipsGeometry(panel->waveFrame()).height(), panel->helpText()->Top() - 120, pixel);
    EXPECT_NEAR(panel->twipsGeometry(panel->helpText()->widget()).bottom(), 4000, pixel);
}

TEST(NormalSinusPanel, RowsAreCodesFrom100AndACodeBeyondTheListRaises)
{
    auto panel = makePanel<XNormalSinusConfig>(XNormalSinusConfig::kProgId);
    ASSERT_TRUE(panel);
    ASSERT_EQ(panel->waveList()->count(), 5);
    EXPECT_EQ(panel->waveList()->item(4)->text(), QStringLiteral("240 BPM"));
    auto config = std::make_shared<CConfigNormalSinus>();
    config->SetWaveType(102);
    panel->Initialize(Variant(config));
    EXPECT_EQ(tickedRows(panel->waveList()), QList<int>{2});
    clickTick(panel->waveList(), 4);
    EXPECT_EQ(config->WaveType(), 104);
    config->SetWaveType(105);
    EXPECT_EQ(errorNumberOf([&] { panel->Initialize(Variant(config)); }), vberr::SubscriptOutOfRange);
    EXPECT_EQ(errorNumberOf([&] { panel->Initialize(Variant(std::make_shared<CConfigArrhythmia>())); }), vberr::TypeMismatch);
}

TEST(PerformancePanel, RowsAreCodesFrom300AndItsLeastHeightIsTaller)
{
    auto panel = makePanel<XPerformanceConfig>(XPerformanceConfig::kProgId);
    ASSERT_TRUE(panel);
    ASSERT_EQ(panel->waveList()->count(), 10);
    EXPECT_EQ(panel->helpText()->Text(), QStringLiteral("Select wave type and duration for the performance wave test."));
    auto config = std::make_shared<CConfigPerformance>();
    config->SetWaveType(309);
    auto callBack = std::make_shared<host::CallBack>();
    panel->SetCallBack(callBack);
    panel->Initialize(Variant(config));
    EXPECT_EQ(tickedRows(panel->waveList()), QList<int>{9});
    clickTick(panel->waveList(), 2);
    EXPECT_EQ(config->WaveType(), 302);
    EXPECT_EQ(changesOf(*callBack), 1);

    resizeInTwips(panel->hWnd(), 9660, 2500);
    EXPECT_GT(panel->helpText()->Top(), 2500); // laid out for 3055
    EXPECT_NEAR(panel->twipsGeometry(panel->waveFrame()).width(), std::max(6200.0f, panel->leastWidth(panel->waveFrame())),
        twipsPerPixel(panel->hWnd()));
}
