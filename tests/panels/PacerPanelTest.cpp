// The pacer settings panels, through the pacer parameter panel, and the
// refractory panel where it differs.

#include "panels/XPacerConfig.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>

#include "PanelTestSupport.h"

using namespace kelto;
using namespace kelto::testing;

namespace {

class PacerPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        panel = makePanel<XPacerParameterConfig>(XPacerParameterConfig::kProgId);
        ASSERT_TRUE(panel);
        loads = panel->loadList();
        rate = panel->rateBox();
        amplitude = panel->amplitudeBox();
    }

    void initialize()
    {
        panel->SetCallBack(callBack);
        panel->Initialize(Variant(config));
    }

    // Picks an entry as the operator does: open the list, click the entry.
    void pick(const QString& load)
    {
        loads->showPopup();
        QAbstractItemView* view = loads->view();
        const QModelIndex index = view->model()->index(loads->findText(load), 0);
        view->scrollTo(index);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
    }

    Ptr<XPacerParameterConfig> panel;
    QComboBox* loads = nullptr;
    QLineEdit* rate = nullptr;
    QLineEdit* amplitude = nullptr;
    Ptr<CConfigPacerParameter> config = std::make_shared<CConfigPacerParameter>();
    Ptr<host::CallBack> callBack = std::make_shared<host::CallBack>();
};

} // namespace

TEST_F(PacerPanelTest, InitializeShowsTheDefaultsAndAnnouncesNothing)
{
    EXPECT_EQ(loads->count(), 7);
    EXPECT_EQ(rate->text(), QString()); // design texts until a configuration is given
    initialize();
    EXPECT_EQ(loads->currentText(), QStringLiteral("50"));
    EXPECT_EQ(rate->text(), QStringLiteral("60"));
    EXPECT_EQ(amplitude->text(), QStringLiteral("50"));
    EXPECT_EQ(changesOf(*callBack), 0);
}

TEST_F(PacerPanelTest, AStoredLoadThatNamesAnEntryWinsOverItsPosition)
{
    config->SetLoadIndex(3);
    config->SetPacerLoad(QStringLiteral("500"));
    initialize();
    EXPECT_EQ(loads->currentText(), QStringLiteral("500"));

    config->SetPacerLoad(QStringLiteral("50"));
    panel->Initialize(Variant(config));
    EXPECT_EQ(loads->currentIndex(), 0);

    // A load that names no entry: the position decides; a position out of range changes nothing.
    config->SetPacerLoad(QStringLiteral("75"));
    config->SetLoadIndex(6);
    panel->Initialize(Variant(config));
    EXPECT_EQ(loads->currentText(), QStringLiteral("1500"));
    config->SetLoadIndex(9);
    panel->Initialize(Variant(config));
    EXPECT_EQ(loads->currentText(), QStringLiteral("1500"));
    EXPECT_EQ(changesOf(*callBack), 0);
    EXPECT_EQ(config->PacerLoad(), QStringLiteral("75"));
}

TEST_F(PacerPanelTest, PickingALoadWritesPositionAndTextAndAnnouncesOnce)
{
    initialize();
    pick(QStringLiteral("1000"));
    EXPECT_EQ(config->LoadIndex(), 5);
    EXPECT_EQ(config->PacerLoad(), QStringLiteral("1000"));
    EXPECT_EQ(changesOf(*callBack), 1);
    // The keyboard picks as well.
    QTest::keyClick(loads, Qt::Key_Down);
    EXPECT_EQ(config->PacerLoad(), QStringLiteral("1500"));
    EXPECT_EQ(config->LoadIndex(), 6);
    EXPECT_EQ(changesOf(*callBack), 2);
}

TEST_F(PacerPanelTest, RateDigitsWriteTheRateAndAnEmptyBoxWritesZero)
{
    initialize();
    clearByBackspace(rate);
    EXPECT_FLOAT_EQ(config->PacerRate(), 0);
    callBack->clear();
    QTest::keyClicks(rate, QStringLiteral("7.0"));
    EXPECT_EQ(rate->text(), QStringLiteral("70"));
    EXPECT_FLOAT_EQ(config->PacerRate(), 70);
    EXPECT_EQ(changesOf(*callBack), 2);
}

TEST_F(PacerPanelTest, AnEmptyAmplitudeBoxKeepsTheStoredAmplitude)
{
    initialize();
    // Select the whole text, then delete it in one stroke.
    QTest::keyClick(amplitude, Qt::Key_Home);
    QTest::keyClick(amplitude, Qt::Key_End, Qt::ShiftModifier);
    QTest::keyClick(amplitude, Qt::Key_Backspace);
    EXPECT_EQ(amplitude->text(), QString());
    EXPECT_FLOAT_EQ(config->PacerAmplitude(), 50);
    EXPECT_EQ(changesOf(*callBack), 1);
    QTest::keyClicks(amplitude, QStringLiteral("25"));
    EXPECT_FLOAT_EQ(config->PacerAmplitude(), 25);
    // Text that is not one number is not written.
    amplitude->setText(QStringLiteral("12 mA"));
    EXPECT_FLOAT_EQ(config->PacerAmplitude(), 25);
    amplitude->setText(QStringLiteral("12.5"));
    EXPECT_FLOAT_EQ(config->PacerAmplitude(), 12.5f);
}

TEST_F(PacerPanelTest, FractionsAreShownAndReadBackUnchanged)
{
    config->SetPacerRate(72.5f);
    config->SetPacerAmplitude(12.5f);
    initialize();
    // A click writes what the box shows: the stored fraction survives it.
    QTest::mouseClick(rate, Qt::LeftButton);
    QTest::mouseClick(amplitude, Qt::LeftButton);
    EXPECT_FLOAT_EQ(config->PacerRate(), 72.5f);
    EXPECT_FLOAT_EQ(config->PacerAmplitude(), 12.5f);
    EXPECT_EQ(changesOf(*callBack), 2);
}

TEST_F(PacerPanelTest, OnlyDigitsAndBackspaceReachTheBoxesAndTheList)
{
    initialize();
    QTest::keyClick(rate, Qt::Key_End);
    QTest::keyClicks(rate, QStringLiteral("-a."));
    QTest::keyClick(amplitude, Qt::Key_End);
    QTest::keyClicks(amplitude, QStringLiteral("e,"));
    QTest::keyClicks(loads, QStringLiteral("x "));
    EXPECT_EQ(rate->text(), QStringLiteral("60"));
    EXPECT_EQ(amplitude->text(), QStringLiteral("50"));
    EXPECT_EQ(loads->currentText(), QStringLiteral("50"));
    EXPECT_EQ(changesOf(*callBack), 0);
    // A digit typed into the list picks the entry it begins.
    QTest::keyClick(loads, Qt::Key_3);
    EXPECT_EQ(config->PacerLoad(), QStringLiteral("300"));
}

TEST_F(PacerPanelTest, LockingDisablesTheListAndBothBoxes)
{
    initialize();
    panel->SetLocked(true);
    EXPECT_FALSE(loads->isEnabled());
    EXPECT_FALSE(rate->isEnabled());
    EXPECT_FALSE(amplitude->isEnabled());
    EXPECT_TRUE(guideSettingsOf(*panel)->Locked());
    QTest::mouseClick(rate, Qt::LeftButton);
    EXPECT_EQ(changesOf(*callBack), 0);
    panel->SetLocked(false);
    EXPECT_TRUE(loads->isEnabled());
    EXPECT_TRUE(rate->isEnabled());
    EXPECT_TRUE(amplitude->isEnabled());
    EXPECT_FALSE(guideSettingsOf(*panel)->Locked());
}

TEST_F(PacerPanelTest, FramesAreLaidOutForOneFixedSizeAndTheEmptyFrameFillsTheRest)
{
    const double pixel = twipsPerPixel(panel->hWnd());
    QRectF emptyBefore;
    for (const QSizeF size : {QSizeF(9000, 3000), QSizeF(14000, 5000)}) {
        resizeInTwips(panel->hWnd(), size.width(), size.height());
        const QRectF pacer = panel->twipsGeometry(panel->pacerFrame());
        const QRectF settings = panel->twipsGeometry(panel->settingsFrame());
        const QRectF empty = panel->twipsGeometry(panel->emptyFrame());
        const double frameHeight = panel->helpText()->Top() - 120;
        // As designed, unless a wider font needs more room for the captions.
        const double pacerWidth = std::max(5931.75f, panel->leastWidth(panel->pacerFrame()));
        EXPECT_NEAR(pacer.width(), pacerWidth, pixel);
        EXPECT_NEAR(settings.x(), pacerWidth + 120, pixel);
        EXPECT_NEAR(settings.width(), std::max(2415.0f, panel->leastWidth(panel->settingsFrame())), pixel);
        EXPECT_NEAR(pacer.height(), frameHeight, pixel);
        EXPECT_NEAR(empty.x(), settings.right() + 120, pixel);
        EXPECT_NEAR(empty.right(), size.width(), 2 * pixel);
        emptyBefore = empty;
    }
    // Narrower than the frames: the empty frame stays where it was.
    resizeInTwips(panel->hWnd(), 8000, 3375);
    EXPECT_EQ(panel->twipsGeometry(panel->emptyFrame()), emptyBefore);
}

TEST(PacerRefractoryPanel, EditsItsOwnConfigurationWithTheSettingsFirstInTheKeyboardOrder)
{
    auto panel = makePanel<XPacerRefractoryConfig>(XPacerRefractoryConfig::kProgId);
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->rateBox()->text(), QStringLiteral("70"));
    EXPECT_EQ(panel->amplitudeBox()->text(), QStringLiteral("50"));
    EXPECT_EQ(panel->helpText()->Text(),
        QStringLiteral("Select Pacer Load Adapter (PLA). Set Pacer Rate and Pacer Amplitude to be configured at the pacemaker."));

    auto* settings = guideSettingsOf(*panel);
    const QList<QWidget*> order{settings->showPicturesBox(), settings->confirmNextBox(), panel->amplitudeBox(), panel->rateBox(),
        panel->loadList()};
    EXPECT_EQ(tabChain(panel->hWnd()), order);

    auto config = std::make_shared<CConfigPacerRefractory>();
    config->SetPacerRate(80);
    auto callBack = std::make_shared<host::CallBack>();
    panel->SetCallBack(callBack);
    panel->Initialize(Variant(std::make_shared<CConfigPacerParameter>())); // not its class
    EXPECT_EQ(panel->rateBox()->text(), QStringLiteral("70"));
    panel->Initialize(Variant(config));
    EXPECT_EQ(panel->rateBox()->text(), QStringLiteral("80"));
    QTest::keyClick(panel->rateBox(), Qt::Key_End);
    QTest::keyClick(panel->rateBox(), Qt::Key_5);
    EXPECT_FLOAT_EQ(config->PacerRate(), 805);
    EXPECT_EQ(changesOf(*callBack), 1);
}
