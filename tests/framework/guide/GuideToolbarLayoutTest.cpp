// The guide's toolbar as the operator reads it: at the window's design size and at
// its minimum size, in every mode the run passes through, nothing is cut, nothing
// overlaps and no two buttons shown carry the same caption.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include "framework/guide/FTarvoXTestGuide.h"
#include "framework/guide/GuideLayout.h"
#include "host/GuideToolbar.h"
#include "host/RegistryKey.h"
#include "host/TestSetup.h"
#include "tests/framework/LimitTestDoubles.h"
#include "tests/framework/guide/GuideTestDoubles.h"
#include "tests/support/GuideOperator.h"
#include "tests/support/TestStandards.h"

using namespace kelto;
using namespace kelto::testing;

namespace {

// The guide's design size in twips, as its window opens.
constexpr double kDesignWidth = 8910;
constexpr double kDesignHeight = 5625;

const std::int32_t kButtonIds[] = {guidebutton::Abort, guidebutton::Previous, guidebutton::NotApplicable, guidebutton::Skip,
    guidebutton::Stop, guidebutton::Next, guidebutton::Main};

class GuideToolbarLayoutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QFile::remove(host::RegistryStore::filePath());
        previousClock = Clock::install(makeVirtualClock());
        setup = std::make_shared<host::TestSetup>();
        // The longest standard name the shipped template holds.
        setup->setSelectedStandards(makeCollection({makeStandard(QStringLiteral("IEC 60601-2-4"),
                                                        QStringLiteral("IEC 60601-2-4 Particular requirements for cardiac defibrillators"), {}),
            makeStandard(QStringLiteral("MFR EXAMPLE"), QStringLiteral("Manufacturer example"), {})}));
        result = std::make_shared<GuideResult>();
        result->add(QStringLiteral("CHTI"), QStringLiteral("s"));
        element = GuideElement::make(300);
        element->base->SetResult(result);
        // The guide lists the standards of the run that the element holds.
        for (int i = 0; i < setup->SelectedStandards()->Count(); ++i)
            element->Limits()->CreateStandard(setup->SelectedStandards()->Item(i)->AlphaName(), setup->SelectedStandards()->Item(i)->CompleteName());
        open();
    }

    // A new guide for the element, shown at its design size in the idle state.
    void open()
    {
        if (guide)
            guide->Unload();
        result->status = emsNone;
        guide = std::make_unique<FTarvoXTestGuide>();
        guide->SetToolbarMode(1, false);
        guide->Initialize(element, setup, Variant(VariantArray{Variant("Charge the defibrillator.")}));
        // The run as a test element drives it: the longest status the plug-in shows.
        QObject::connect(guide.get(), &FTarvoXTestGuide::StartTest, [this] {
            guide->SetToolbarMode(2, false);
            guide->SetStatusText(QStringLiteral("20179::Test in progress, please wait..."));
        });
        QObject::connect(guide.get(), &FTarvoXTestGuide::StopTest, [this] {
            result->status = emsFailed;
            guide->ShowResultStatus(result);
            guide->SetToolbarMode(1, true);
            guide->SetStatusText(QString());
        });
        guide->window()->show();
        settle();
    }

    void TearDown() override
    {
        if (guide)
            guide->Unload();
        Clock::install(std::move(previousClock));
    }

    host::GuideToolbar* toolbar() const { return dynamic_cast<host::GuideToolbar*>(guide->xtbToolbar().get()); }
    QToolButton* button(std::int32_t id) const { return toolbar()->button(id); }

    static void settle()
    {
        for (int i = 0; i < 3; ++i)
            QApplication::processEvents();
    }

    void clickMain()
    {
        ASSERT_TRUE(button(guidebutton::Main)->isVisible());
        kelto::test::clickToolbarButton(*toolbar(), guidebutton::Main);
        settle();
    }

    QStringList shownCaptions() const
    {
        QStringList captions;
        for (std::int32_t id : kButtonIds)
            if (button(id)->isVisible())
                captions << button(id)->text();
        return captions;
    }

    // Everything the toolbar shows, by name for the messages.
    QList<QPair<QString, QWidget*>> shownParts() const
    {
        QList<QPair<QString, QWidget*>> parts;
        for (std::int32_t id : kButtonIds)
            if (button(id)->isVisible())
                parts.append({QStringLiteral("item %1").arg(id), button(id)});
        parts.append({QStringLiteral("status"), toolbar()->statusBadge()});
        parts.append({QStringLiteral("status text"), toolbar()->statusText()});
        parts.append({QStringLiteral("standard list"), toolbar()->standardSelector()});
        parts.append({QStringLiteral("Relative box"), toolbar()->calculateBox()});
        return parts;
    }

    // Each caption fits its widget whole; the parts stand apart inside the toolbar,
    // and the toolbar clear of the pane above it.
    void expectReadable(const std::string& where) const
    {
        SCOPED_TRACE(where);
        for (std::int32_t id : kButtonIds) {
            QToolButton* b = button(id);
            if (!b->isVisible())
                continue;
            EXPECT_LE(b->fontMetrics().horizontalAdvance(b->text()), b->contentsRect().width()) << b->text().toStdString();
            EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
        }
        // The status line wraps: all its lines are in view.
        QLabel* text = toolbar()->statusText();
        EXPECT_TRUE(text->isVisible());
        const QRect whole = text->fontMetrics().boundingRect(text->contentsRect(), Qt::TextWordWrap, text->text());
        EXPECT_LE(whole.width(), text->contentsRect().width()) << text->text().toStdString();
        EXPECT_LE(whole.height(), text->contentsRect().height()) << text->text().toStdString();
        EXPECT_GE(text->contentsRect().height(), text->fontMetrics().height());
        QLabel* badge = toolbar()->statusBadge();
        EXPECT_LE(badge->fontMetrics().horizontalAdvance(badge->text()), badge->contentsRect().width()) << badge->text().toStdString();
        QComboBox* standards = toolbar()->standardSelector();
        EXPECT_TRUE(standards->isVisible());
        EXPECT_GE(standards->width(), standards->sizeHint().width()) << standards->currentText().toStdString();
        for (int i = 0; i < standards->count(); ++i)
            EXPECT_LE(standards->fontMetrics().horizontalAdvance(standards->itemText(i)), standards->contentsRect().width());
        QCheckBox* relative = toolbar()->calculateBox();
        EXPECT_TRUE(relative->isVisible());
        EXPECT_GE(relative->width(), relative->sizeHint().width());

        const auto parts = shownParts();
        const QRect bar = toolbar()->widget()->rect();
        for (int i = 0; i < parts.size(); ++i) {
            EXPECT_TRUE(bar.contains(parts[i].second->geometry())) << parts[i].first.toStdString();
            for (int j = i + 1; j < parts.size(); ++j)
                EXPECT_FALSE(parts[i].second->geometry().intersects(parts[j].second->geometry()))
                    << parts[i].first.toStdString() << " overlaps " << parts[j].first.toStdString();
        }
        QWidget* pane = guide->xtwWizard()->widget();
        EXPECT_FALSE(pane->geometry().intersects(toolbar()->widget()->geometry()));
        EXPECT_EQ(toolbar()->widget()->geometry().bottom(), guide->window()->rect().bottom());
    }

    void expectDistinctCaptions(const std::string& where) const
    {
        const QStringList captions = shownCaptions();
        EXPECT_EQ(QSet<QString>(captions.begin(), captions.end()).size(), captions.size()) << where << ": " << captions.join(QStringLiteral(", ")).toStdString();
    }

    Ptr<host::TestSetup> setup;
    Ptr<GuideResult> result;
    Ptr<GuideElement> element;
    std::unique_ptr<FTarvoXTestGuide> guide;
    std::unique_ptr<Clock> previousClock;
};

} // namespace

TEST_F(GuideToolbarLayoutTest, TheWindowOpensAtItsDesignSizeAndItsMinimumFitsInside)
{
    QDialog* window = guide->window();
    const QSize design(guide::twipsToPxX(kDesignWidth, window), guide::twipsToPxY(kDesignHeight, window));
    EXPECT_EQ(window->size(), design);
    EXPECT_GT(window->minimumWidth(), 0);
    EXPECT_GT(window->minimumHeight(), toolbar()->widget()->height());
    EXPECT_LE(window->minimumWidth(), design.width());
    EXPECT_LE(window->minimumHeight(), design.height());
    // The window cannot be made smaller than that.
    window->resize(100, 80);
    EXPECT_EQ(window->size(), window->minimumSize());
}

TEST_F(GuideToolbarLayoutTest, EveryModeReadsWholeAtDesignAndMinimumSize)
{
    for (const bool smallest : {false, true}) {
        open();
        if (smallest)
            guide->window()->resize(guide->window()->minimumSize());
        settle();
        const std::string size = smallest ? "minimum size, " : "design size, ";
        EXPECT_EQ(button(guidebutton::Main)->text(), QStringLiteral("Start"));
        // The element's standards hold no limit values: the idle line says that no limit judges it.
        EXPECT_EQ(toolbar()->statusText()->text().toStdString(), "no limits for its readings");
        expectReadable(size + "idle");
        clickMain();
        ASSERT_EQ(button(guidebutton::Main)->text(), QStringLiteral("Stop"));
        EXPECT_EQ(toolbar()->statusText()->text(), QStringLiteral("Test in progress, please wait..."));
        expectReadable(size + "running");
        clickMain();
        ASSERT_EQ(button(guidebutton::Main)->text(), QStringLiteral("Next"));
        EXPECT_EQ(toolbar()->statusBadge()->text(), QStringLiteral("Failed"));
        expectReadable(size + "evaluated");
        // The longer of the run's standards is shown whole as well.
        toolbar()->standardSelector()->setCurrentIndex(1);
        settle();
        expectReadable(size + "other standard");
        // The longest lines, after the host's reason beside the verdict: a pass that no
        // limit judged.
        result->status = emsPassed;
        guide->ShowResultStatus(result);
        for (const char* line : {"The analyser on /dev/ttyUSB0 sent \"101.3\", which may be a late answer to an earlier request ([NRG], [CRG]); "
                                 "the link goes on waiting for the reading of [NRG]. Press Stop to end the test.",
                 "No reading was taken. The link asks the analyser on /dev/ttyUSB0 for its version before it says why.",
                 "The link reads the answers the analyser on /dev/ttyUSB0 may still be sending.",
                 "Tick the verdict of the wave just played; until then the verdict shown stands; the result shown keeps the analyser that "
                 "measured it (Tarvo, serial S-111, firmware 2.13), not the one the \"MTI Data\" tab names",
                 "Stopped once the readings were in; the run's verdict stands"}) {
            guide->SetStatusText(QLatin1String(line));
            settle();
            EXPECT_TRUE(toolbar()->statusText()->text().endsWith(QStringLiteral("; ") + QLatin1String(line)));
            expectReadable(size + line);
        }
    }
}

TEST_F(GuideToolbarLayoutTest, NoCaptionIsShownTwiceAndTheMainButtonSaysWhatItRaises)
{
    QSignalSpy start(guide.get(), &FTarvoXTestGuide::StartTest);
    QSignalSpy stop(guide.get(), &FTarvoXTestGuide::StopTest);
    QSignalSpy next(guide.get(), &FTarvoXTestGuide::NextTest);

    // Idle: Stop and Next stand disabled beside Start.
    expectDistinctCaptions("idle");
    EXPECT_EQ(shownCaptions(), QStringList({"Abort", "Previous", "N/A", "Skip", "Stop", "Next", "Start"}));
    EXPECT_FALSE(button(guidebutton::Stop)->isEnabled());
    EXPECT_FALSE(button(guidebutton::Next)->isEnabled());
    clickMain();
    EXPECT_EQ(start.count(), 1);

    // Running: the main button stops the run; item 201 steps aside.
    expectDistinctCaptions("running");
    EXPECT_EQ(button(guidebutton::Main)->text(), QStringLiteral("Stop"));
    EXPECT_FALSE(button(guidebutton::Stop)->isVisible());
    EXPECT_TRUE(button(guidebutton::Next)->isVisible());
    clickMain();
    EXPECT_EQ(stop.count(), 1);

    // Evaluated: the main button goes on; item 103 steps aside but stays enabled,
    // which is what makes the main button raise NextTest.
    expectDistinctCaptions("evaluated");
    EXPECT_EQ(button(guidebutton::Main)->text(), QStringLiteral("Next"));
    EXPECT_FALSE(button(guidebutton::Next)->isVisible());
    EXPECT_TRUE(guide->xtbToolbar()->Item(guidebutton::Next)->Enabled());
    EXPECT_TRUE(button(guidebutton::Stop)->isVisible());
    clickMain();
    EXPECT_EQ(next.count(), 1);
    EXPECT_EQ(start.count(), 1);
    EXPECT_EQ(stop.count(), 1);
}

TEST_F(GuideToolbarLayoutTest, TheMainCaptionFollowsItem103WhateverEnablesIt)
{
    // No element handles the events here: the toolbar stays where the test puts it.
    QObject::disconnect(guide.get(), &FTarvoXTestGuide::StartTest, nullptr, nullptr);
    QObject::disconnect(guide.get(), &FTarvoXTestGuide::StopTest, nullptr, nullptr);
    QSignalSpy start(guide.get(), &FTarvoXTestGuide::StartTest);
    QSignalSpy stop(guide.get(), &FTarvoXTestGuide::StopTest);
    QSignalSpy next(guide.get(), &FTarvoXTestGuide::NextTest);

    // A waveform judged while idle offers Next without a new run state. A click in the
    // half second after that was aimed at Start and is ignored; from then on it goes on.
    const qint64 changedAt = Clock::instance().nowMs();
    guide->EnableNextButton(true);
    settle();
    EXPECT_EQ(button(guidebutton::Main)->text(), QStringLiteral("Next"));
    expectDistinctCaptions("idle, Next offered");
    for (const qint64 at : {100, 499, 500}) {
        Clock::instance().wait(changedAt + at - Clock::instance().nowMs());
        QTest::mouseClick(button(guidebutton::Main), Qt::LeftButton);
        EXPECT_EQ(next.count(), at < 500 ? 0 : 1) << "a click " << at << " ms after the change";
    }
    EXPECT_EQ(start.count(), 0);

    // A series that failed mid-run offers Next while the run state stays: Stop
    // stands again as item 201, and the main button goes on.
    guide->EnableNextButton(false);
    guide->SetToolbarMode(2, false);
    guide->EnableNextButton(true);
    settle();
    EXPECT_EQ(button(guidebutton::Main)->text(), QStringLiteral("Next"));
    EXPECT_TRUE(button(guidebutton::Stop)->isVisible());
    expectDistinctCaptions("running, Next offered");
    expectReadable("running, Next offered");
    clickMain();
    EXPECT_EQ(next.count(), 2);
    EXPECT_EQ(stop.count(), 0);

    // Next withdrawn during the run: the main button stops it again.
    guide->EnableNextButton(false);
    settle();
    EXPECT_EQ(button(guidebutton::Main)->text(), QStringLiteral("Stop"));
    clickMain();
    EXPECT_EQ(stop.count(), 1);
    EXPECT_EQ(next.count(), 2);
}
