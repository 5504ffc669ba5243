#include <QLabel>
#include <functional>
#include <gtest/gtest.h>
#include <limits>

#include "framework/guide/CPrinterXY.h"
#include "framework/guide/XTestInfo.h"
#include "framework/guide/XTestInstruction.h"
#include "host/TestWizard.h"
#include "platform/Clock.h"
#include "platform/PluginError.h"
#include "platform/interfaces/GuideControls.h"
#include "tests/support/Errors.h"
#include "tests/support/MissingClass.h"

using namespace kelto;

namespace {

class VirtualTime : public ::testing::Test {
protected:
    void SetUp() override { m_previous = Clock::install(makeVirtualClock()); }
    void TearDown() override { Clock::install(std::move(m_previous)); }

private:
    std::unique_ptr<Clock> m_previous;
};

using InstructionPopupTest = VirtualTime;
using TestInfoPaneTest = VirtualTime;

} // namespace

TEST_F(InstructionPopupTest, FlashAlternatesEveryHalfSecondAndStopsOnTheWindowColour)
{
    XTestInstruction popup;
    popup.SetFlash(true);
    EXPECT_TRUE(popup.Flash());
    EXPECT_EQ(popup.backColor(), olecolor::Red);
    Clock::instance().wait(600);
    EXPECT_EQ(popup.backColor(), olecolor::Window);
    Clock::instance().wait(600); // 1.2 s: changed twice, red again
    EXPECT_EQ(popup.backColor(), olecolor::Red);
    popup.SetFlash(false);
    EXPECT_FALSE(popup.Flash());
    EXPECT_EQ(popup.backColor(), olecolor::Window);
    Clock::instance().wait(2000);
    EXPECT_EQ(popup.backColor(), olecolor::Window);
}

TEST_F(InstructionPopupTest, ShowMsgWithoutPictureChangesOnlyTheText)
{
    XTestInstruction popup;
    popup.ShowMsg(QStringLiteral("TI:WAIT"), QStringLiteral("20191::Waiting for the analyser"));
    const qint64 picture = popup.icon()->pixmap().cacheKey();
    popup.ShowMsg(QString(), QStringLiteral("20190::Deliver the shock now"));
    EXPECT_EQ(popup.icon()->pixmap().cacheKey(), picture);
    EXPECT_EQ(popup.helpText()->text(), QStringLiteral("Deliver the shock now"));
    EXPECT_THROW(popup.ShowMsg(QStringLiteral("TI:UNKNOWN"), QStringLiteral("x")), PluginError);
}

TEST_F(InstructionPopupTest, PictureIsCentredVertically)
{
    XTestInstruction popup;
    popup.ShowMsg(QStringLiteral("TI:SHOCK"), QStringLiteral("x"));
    popup.show();
    popup.resize(600, 94); // 1410 twips; the picture is 48 px, 720 twips
    EXPECT_EQ(popup.icon()->y(), 23); // 345 twips
    EXPECT_EQ(popup.background()->geometry(), QRect(3, 3, 594, 88));
    popup.MoveImage();
    EXPECT_EQ(popup.icon()->pos(), QPoint(67, 23)); // 1000 twips
}

TEST_F(TestInfoPaneTest, CounterIsRedAtZero)
{
    XTestInfo pane;
    EXPECT_EQ(pane.counter()->text(), QStringLiteral("5"));
    pane.UpdateCounter(0);
    EXPECT_EQ(pane.counter()->text(), QStringLiteral("0"));
    EXPECT_EQ(pane.counter()->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    pane.UpdateCounter(3);
    EXPECT_EQ(pane.counter()->palette().color(QPalette::WindowText), QColor(0, 0, 0));
}

TEST_F(TestInfoPaneTest, PacerMessageFlashesAndEmptyRestoresTheList)
{
    XTestInfo pane;
    auto* wizard = dynamic_cast<host::TestWizard*>(pane.wizard().get());
    pane.Initialize(Variant(VariantArray{Variant("Connect the pacer."), Variant("Start pacing.")}));
    pane.ShowPacerMsg(Variant("Pacer output detected"));
    EXPECT_EQ(wizard->lines(), QStringList{QStringLiteral("Pacer output detected")});
    EXPECT_EQ(wizard->BackColor(), XTestInfo::kPacerColor);
    // Seven ticks highlighted, then one in the pane's colour.
    Clock::instance().wait(7 * 500 + 100);
    EXPECT_EQ(wizard->BackColor(), XTestInfo::kPacerColor);
    Clock::instance().wait(500);
    EXPECT_EQ(wizard->BackColor(), pane.BackColor());
    EXPECT_TRUE(wizard->messageMode());
    pane.ShowPacerMsg(Variant());
    EXPECT_FALSE(pane.flashing());
    EXPECT_EQ(wizard->lines().size(), 2);
    EXPECT_FALSE(wizard->messageMode()) << "the list shows as a list again";
    EXPECT_EQ(wizard->BackColor(), pane.BackColor());
}

TEST_F(TestInfoPaneTest, WithoutTheWizardEveryMemberStillWorksOnWhatItHas)
{
    const MissingClass noWizard(hostclass::TestWizard);
    ASSERT_TRUE(noWizard.withdrawn());
    XTestInfo pane;
    EXPECT_FALSE(pane.wizard());
    pane.SetBackColor(olecolor::Red);
    pane.Initialize(Variant(VariantArray{Variant("Connect the pacer.")}));
    pane.HighLightItem(Variant(VariantArray{Variant(std::int16_t(1))}));
    pane.ShowPacerMsg(Variant("Pacer output detected"));
    Clock::instance().wait(3 * 500 + 100);
    pane.ShowPacerMsg(Variant());
    pane.UpdateCounter(0);
    EXPECT_EQ(pane.BackColor(), olecolor::Red);
    EXPECT_EQ(pane.counter()->text(), QStringLiteral("0"));
}

TEST_F(TestInfoPaneTest, TheBorderIsDrawnOnlyWhileItIsSetAndTheListStaysInsideIt)
{
    XTestInfo pane;
    pane.SetBackColor(olecolor::Red);
    pane.resize(120, 80);
    pane.show();
    // Below the list, where the counter stands on the pane's own colour.
    const auto corner = [&] { return pane.grab().toImage().pixelColor(0, 79); };
    const int counter = pane.counter()->height();
    EXPECT_TRUE(pane.Border()) << "as the property bag's default";
    EXPECT_EQ(corner(), QColor(Qt::black));
    EXPECT_EQ(pane.wizard()->widget()->geometry(), QRect(1, 1, 118, 78 - counter));
    pane.ReadProperties({{QStringLiteral("BackColor"), olecolor::Red}, {QStringLiteral("Border"), 0}});
    EXPECT_FALSE(pane.Border());
    EXPECT_EQ(pane.WriteProperties().value(QStringLiteral("Border")), 0);
    EXPECT_EQ(corner(), QColor(255, 0, 0));
    EXPECT_EQ(pane.wizard()->widget()->geometry(), QRect(0, 0, 120, 80 - counter));
    pane.SetBorder(true);
    EXPECT_EQ(corner(), QColor(Qt::black));
}

TEST_F(TestInfoPaneTest, ListIsHiddenWhenTheCounterLeavesTooLittleRoom)
{
    XTestInfo pane;
    pane.show();
    pane.SetShowCounter(true);
    pane.counter()->resize(pane.counter()->width(), 15); // 225 twips
    pane.resize(300, 34);                                // about 510 twips: 285 left
    EXPECT_TRUE(pane.wizard()->widget()->isHidden());
    pane.resize(300, 60);
    EXPECT_FALSE(pane.wizard()->widget()->isHidden());
}

// ---- XY plot scaler ------------------------------------------------------------

TEST(CPrinterXYTest, DivisionsAreOneTwoFiveSteps)
{
    EXPECT_EQ(CPrinterXY::CalcDivisions(95, 11), 10);
    EXPECT_EQ(CPrinterXY::CalcDivisions(100, 11), 10);
    EXPECT_EQ(CPrinterXY::CalcDivisions(23, 11), 2);
    EXPECT_EQ(CPrinterXY::CalcDivisions(24, 11), 5);
    EXPECT_EQ(CPrinterXY::CalcDivisions(5, 11), 1);
}

TEST(CPrinterXYTest, ValuesBeyondThirtyTwoBitsOverflow)
{
    const std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
    const std::function<void()> cases[] = {
        [] { CPrinterXY::CalcDivisions(2000000001, 0); }, // the step passes 2^31
        [] { CPrinterXY::CalcDivisions(5, -1); },         // no count is ever small enough
        [] { CPrinterXY().CalcAxisX(-2000000000, 2000000000, 1); },
        [] { CPrinterXY().CalcAxisX(0, 100000, 100000); }, // span times step
        [lowest] { CPrinterXY().CalcAxisX(lowest, 0, -1); },
    };
    for (const auto& statement : cases)
        EXPECT_EQ(errorNumberOf(statement), vberr::Overflow);
    EXPECT_EQ(CPrinterXY::CalcDivisions(2000000000, 1), 2000000000);
}

TEST(CPrinterXYTest, AxesGetWholeTicks)
{
    CPrinterXY plot;
    plot.CalcAxisY(-0.35f, 1.2f);
    const AxisRecord y = plot.AxisY();
    EXPECT_EQ(y.unit, 100);
    EXPECT_EQ(y.tick, 20);
    EXPECT_EQ(y.firstTick, -20);
    EXPECT_EQ(y.lastTick, 120);

    plot.CalcAxisX(3, 47, 5);
    const AxisRecord x = plot.AxisX();
    EXPECT_EQ(x.firstTick, 5);
    EXPECT_EQ(x.lastTick, 45);
    EXPECT_EQ(x.tick, 5);
}

TEST(CPrinterXYTest, AutoScaleKeepsZeroAndAddsATenth)
{
    CPrinterXY plot;
    plot.AutoScale({2, 4, 3}, 1);
    EXPECT_FLOAT_EQ(plot.WorldX1(), 0);
    EXPECT_FLOAT_EQ(plot.WorldX2(), 3);
    EXPECT_NEAR(plot.WorldY1(), -0.4, 1e-6);
    EXPECT_NEAR(plot.WorldY2(), 4.4, 1e-6);
    EXPECT_THROW(plot.AutoScale({}, 1), PluginError);
}

TEST(CPrinterXYTest, WholeWorldWindowFillsTheDeviceRectangle)
{
    CPrinterXY plot;
    plot.SetDeviceRect({100, 50, 1100, 550});
    plot.SetWorld(0, -1, 10, 4);
    plot.CalcScale(1);
    EXPECT_EQ(plot.XToDevice(0), 100);
    EXPECT_EQ(plot.XToDevice(10), 1100);
    EXPECT_EQ(plot.YToDevice(-1), 550);
    EXPECT_EQ(plot.YToDevice(4), 50);
    EXPECT_EQ(plot.AxisX().lineY1, 550);
    EXPECT_EQ(plot.AxisY().lineX1, 100);
    plot.SetWorld(0, 0, 0, 1);
    EXPECT_THROW(plot.CalcScale(1), PluginError);
}
