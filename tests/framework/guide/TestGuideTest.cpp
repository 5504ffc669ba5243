#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QFile>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "configurations/CConfigBase.h"
#include "framework/MMiscUtils.h"
#include "framework/guide/FTarvoXTestGuide.h"
#include "framework/guide/XChargeResult.h"
#include "framework/guide/XTestResult.h"
#include "host/ContentPane.h"
#include "host/GuideToolbar.h"
#include "host/RegistryKey.h"
#include "host/TestSetup.h"
#include "host/TestWizard.h"
#include "platform/MessageBox.h"
#include "tests/framework/LimitTestDoubles.h"
#include "tests/framework/guide/GuideTestDoubles.h"
#include "tests/support/Errors.h"
#include "tests/support/GuideOperator.h"
#include "tests/support/MissingClass.h"

using namespace kelto;
using namespace kelto::testing;

namespace {

// A toolbar that has no items, status caption or standard to give.
class HollowToolbar : public host::GuideToolbar {
public:
    Ptr<ITgToolbarItem> Item(std::int32_t) override { return nullptr; }
    Ptr<ITgStatusCaption> StatusCaption() override { return nullptr; }
    Ptr<ITgStandardItem> StandardItem() override { return nullptr; }
};

class TestGuideTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QFile::remove(host::RegistryStore::filePath());
        previousClock = Clock::install(makeVirtualClock());
        setup = std::make_shared<host::TestSetup>();
        result = std::make_shared<GuideResult>();
        auto energy = result->add(QStringLiteral("ENGY"));
        energy->SetValue(Variant(150.0));
        energy->SetStatus(emsPassed);
    }
    void TearDown() override
    {
        setMessageBoxHandler({});
        Clock::install(std::move(previousClock));
    }

    Ptr<GuideElement> element(std::int32_t testId, const QString& config = QString())
    {
        auto e = GuideElement::make(testId, config);
        e->base->SetResult(result);
        e->Info()->SetName(QStringLiteral("Charge time of the defibrillator"));
        return e;
    }

    host::GuideToolbar* toolbar(FTarvoXTestGuide& guide) { return dynamic_cast<host::GuideToolbar*>(guide.xtbToolbar().get()); }

    // Clicks a button as the operator does: only one the toolbar shows.
    void click(FTarvoXTestGuide& guide, std::int32_t id)
    {
        ASSERT_FALSE(toolbar(guide)->button(id)->isHidden()) << "item " << id << " is not shown";
        kelto::test::clickToolbarButton(*toolbar(guide), id);
    }

    Ptr<host::TestSetup> setup;
    Ptr<GuideResult> result;
    const VariantArray instructions{Variant("Set the range switch to 1000 J."), Variant("Charge the defibrillator.")};
    std::unique_ptr<Clock> previousClock;
};

} // namespace

TEST_F(TestGuideTest, WaveformTestsGetTheGridViewAndAllOthersTheList)
{
    for (std::int32_t id : {900, 1000, 1100}) {
        FTarvoXTestGuide guide;
        guide.Initialize(element(id), setup, Variant(instructions));
        EXPECT_TRUE(query<XTestResult>(guide.resultView())) << id;
    }
    for (std::int32_t id : {100, 300, 800, 1200, 1600}) {
        FTarvoXTestGuide guide;
        guide.Initialize(element(id), setup, Variant(instructions));
        EXPECT_TRUE(query<XChargeResult>(guide.resultView())) << id;
        EXPECT_EQ(guide.embeddedControl()->objectName(), QStringLiteral("irvResult"));
    }
}

TEST_F(TestGuideTest, InitializeBindsCaptionInstructionsResultAndStandards)
{
    auto e = element(300);
    e->Limits()->CreateStandard(QStringLiteral("OWN"), QStringLiteral("Own limits")); // makes the collection
    e->Limits()->Standards()->Add(makeStandard(QStringLiteral("IEC"), QStringLiteral("IEC 60601"), {{QStringLiteral("ENGY"), 200, 100}}));
    setup->setSelectedStandards(makeCollection({makeStandard(QStringLiteral("IEC"), QStringLiteral("IEC 60601"), {})}));

    FTarvoXTestGuide guide;
    guide.Initialize(e, setup, Variant(instructions));

    EXPECT_EQ(guide.window()->windowTitle(), QStringLiteral("Charge time of the defibrillator"));
    auto* wizard = dynamic_cast<host::TestWizard*>(guide.xtwDetails().get());
    EXPECT_EQ(wizard->lines(), QStringList({QStringLiteral("Set the range switch to 1000 J."), QStringLiteral("Charge the defibrillator.")}));
    auto view = query<XChargeResult>(guide.resultView());
    QTreeWidgetItem* row = view->row(QStringLiteral("ENGY"));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->text(1), QStringLiteral("150 J"));
    // Attaching the toolbar chose the run's first standard, so the limits show.
    EXPECT_EQ(row->text(2), QStringLiteral("200.00 J"));
    EXPECT_EQ(row->text(3), QStringLiteral("100.00 J"));
    auto* pane = dynamic_cast<host::ContentPane*>(guide.xtwWizard().get());
    EXPECT_EQ(pane->form(), guide.window());
    EXPECT_EQ(pane->ResultView(), guide.embeddedControl());
    ASSERT_EQ(pane->tabs().size(), 1);
    EXPECT_EQ(pane->tabs()[0]->Caption(), QStringLiteral("MTI Data"));
    EXPECT_EQ(pane->tabs()[0]->MaskColor(), 255);
}

TEST_F(TestGuideTest, InitializeWithoutElementLeavesTheWindowUntouched)
{
    FTarvoXTestGuide guide;
    guide.Initialize(nullptr, setup, Variant(instructions));
    EXPECT_EQ(guide.window()->windowTitle(), QStringLiteral("Kelto Test Guide"));
    EXPECT_FALSE(guide.resultView());
}

TEST_F(TestGuideTest, ToolbarOptionsComeFromTheConfigurationsGuideSettings)
{
    auto optionsFor = [&](Ptr<GuideElement> e) {
        FTarvoXTestGuide guide;
        guide.Initialize(e, setup, Variant(instructions));
        return toolbar(guide)->options();
    };
    EXPECT_EQ(optionsFor(element(300)), 7); // no configuration
    auto e = element(300, QStringLiteral("KeltoTarvoXTest.CConfigChargeTime"));
    auto settings = FTarvoXTestGuide::GetTestGuideConfig(e->Configuration());
    ASSERT_TRUE(settings);
    settings->SetShowPictures(true);
    settings->SetConfirmNext(false);
    EXPECT_EQ(optionsFor(e), 5);
    settings->SetShowPictures(false);
    EXPECT_EQ(optionsFor(e), 4);
}

TEST_F(TestGuideTest, StatusTextIsTranslatedOnlyForATextRefNearTheStart)
{
    FTarvoXTestGuide guide;
    auto caption = guide.xtbToolbar()->StatusCaption();
    guide.SetStatusText(QStringLiteral("20180::Test in progress"));
    EXPECT_EQ(caption->Text(), QStringLiteral("Test in progress"));
    guide.SetStatusText(QStringLiteral("Waiting"));
    EXPECT_EQ(caption->Text(), QStringLiteral("Waiting"));
    guide.SetStatusText(QStringLiteral("123456::late separator"));
    EXPECT_EQ(caption->Text(), QStringLiteral("123456::late separator"));
    guide.SetStatusText(QString());
    EXPECT_EQ(caption->Text(), QString());
    // Beside a result that keeps the analyser that measured it, the line says so while
    // the tab names another, as the operator edits it; a start forgets that result.
    const auto measured = std::make_shared<CMtiData2>(*guide.GetMtiData());
    guide.SetStatusText(QStringLiteral("Waiting"));
    guide.SetKeptAnalyser(measured);
    const QString kept = QStringLiteral("Waiting; the result shown keeps the analyser that measured it (Tarvo), not the one the \"MTI Data\" tab names");
    QStringList shown{caption->Text()};
    for (const char* serial : {"S-222", "", "S-333"}) {
        if (*serial == 'S' && shown.size() > 2)
            click(guide, guidebutton::Main);
        guide.xmdMtiData()->serialBox()->setText(QLatin1String(serial));
        shown << caption->Text();
    }
    EXPECT_EQ(shown, (QStringList{QStringLiteral("Waiting"), kept, QStringLiteral("Waiting"), QStringLiteral("Waiting")}));
}

TEST_F(TestGuideTest, ResultStatusGoesToTheStatusCaption)
{
    FTarvoXTestGuide guide;
    result->status = emsFailed;
    guide.ShowResultStatus(result);
    EXPECT_EQ(guide.xtbToolbar()->StatusCaption()->Status(), 2);
    guide.ShowResultStatus(nullptr);
    EXPECT_EQ(guide.xtbToolbar()->StatusCaption()->Status(), 2);
}

TEST_F(TestGuideTest, ButtonsRaiseTheirEvents)
{
    FTarvoXTestGuide guide;
    guide.Initialize(element(300), setup, Variant(instructions));
    QSignalSpy previous(&guide, &FTarvoXTestGuide::Previous);
    QSignalSpy na(&guide, &FTarvoXTestGuide::NA);
    QSignalSpy skip(&guide, &FTarvoXTestGuide::Skip);
    QSignalSpy stop(&guide, &FTarvoXTestGuide::StopTest);
    guide.SetToolbarMode(1, false);
    click(guide, guidebutton::Previous);
    click(guide, guidebutton::NotApplicable);
    click(guide, guidebutton::Skip);
    // Item 201 shows beside a main button that offers Next during a run.
    guide.SetToolbarMode(2, false);
    guide.EnableNextButton(true);
    click(guide, guidebutton::Stop);
    EXPECT_EQ(previous.count(), 1);
    EXPECT_EQ(na.count(), 1);
    EXPECT_EQ(skip.count(), 1);
    EXPECT_EQ(stop.count(), 1);
    // While running, the toolbar keeps navigation out of reach.
    guide.EnableNextButton(false);
    click(guide, guidebutton::Previous);
    EXPECT_EQ(previous.count(), 1);
}

TEST_F(TestGuideTest, AbortNeedsTheOperatorsConfirmation)
{
    FTarvoXTestGuide guide;
    QSignalSpy abort(&guide, &FTarvoXTestGuide::AbortTest);
    int answer = mb::No;
    setMessageBoxHandler([&](const MessageBoxRequest&) { return answer; });
    click(guide, guidebutton::Abort);
    EXPECT_EQ(abort.count(), 0);
    answer = mb::Yes;
    click(guide, guidebutton::Abort);
    EXPECT_EQ(abort.count(), 1);
}

TEST_F(TestGuideTest, MainButtonStartsStopsOrGoesOnByRunState)
{
    FTarvoXTestGuide guide;
    guide.Initialize(element(300), setup, Variant(instructions));
    QSignalSpy start(&guide, &FTarvoXTestGuide::StartTest);
    QSignalSpy stop(&guide, &FTarvoXTestGuide::StopTest);
    QSignalSpy next(&guide, &FTarvoXTestGuide::NextTest);

    guide.SetToolbarMode(1, false);
    click(guide, guidebutton::Main);
    EXPECT_EQ(start.count(), 1);
    guide.SetToolbarMode(2, true);
    click(guide, guidebutton::Main);
    EXPECT_EQ(stop.count(), 1);
    guide.SetToolbarMode(1, true);
    click(guide, guidebutton::Main);
    EXPECT_EQ(next.count(), 1);
    // The menu's "repeat" clears the click's flag: a new start even with Next offered.
    toolbar(guide)->menu()->actions().first()->trigger();
    EXPECT_EQ(start.count(), 2);
    EXPECT_EQ(next.count(), 1);
}

TEST_F(TestGuideTest, NextSavesTheIdentityTabFirst)
{
    FTarvoXTestGuide guide;
    guide.Initialize(element(300), setup, Variant(instructions));
    guide.xmdMtiData()->serialBox()->setText(QStringLiteral("SN-42"));
    QString savedAtNext;
    QObject::connect(&guide, &FTarvoXTestGuide::NextTest, [&] {
        host::RegistryKey key;
        key.OpenKey(hkey::LocalMachine, QStringLiteral("Software\\Quilo\\Kelto\\TarvoX\\MtiData\\Tarvo"));
        savedAtNext = key.GetValue(QStringLiteral("Serial")).toString();
    });
    guide.SetToolbarMode(1, false);
    guide.EnableNextButton(true);
    // The operator goes on with the main button, which then reads "Next".
    click(guide, guidebutton::Main);
    EXPECT_EQ(savedAtNext, QStringLiteral("SN-42"));
    // Item 103 itself, as a toolbar that shows it raises it, saves first as well.
    guide.xmdMtiData()->serialBox()->setText(QStringLiteral("SN-43"));
    toolbar(guide)->button(guidebutton::Next)->click();
    EXPECT_EQ(savedAtNext, QStringLiteral("SN-43"));
}

TEST_F(TestGuideTest, EnableNextButtonSwitchesButton103)
{
    FTarvoXTestGuide guide;
    guide.EnableNextButton(true);
    EXPECT_TRUE(guide.xtbToolbar()->Item(guidebutton::Next)->Enabled());
    guide.EnableNextButton(false);
    EXPECT_FALSE(guide.xtbToolbar()->Item(guidebutton::Next)->Enabled());
}

TEST_F(TestGuideTest, ActiveStepsReachTheInstructionList)
{
    FTarvoXTestGuide guide;
    guide.Initialize(element(300), setup, Variant(instructions));
    auto* wizard = dynamic_cast<host::TestWizard*>(guide.xtwDetails().get());
    guide.SetActiveSteps({2});
    EXPECT_EQ(wizard->activeSteps(), QList<int>({2}));
    EXPECT_TRUE(wizard->list()->item(1)->font().bold());
    guide.SetActiveSteps();
    EXPECT_TRUE(wizard->activeSteps().isEmpty());
}

TEST_F(TestGuideTest, PopupCoversTheResultViewAndFollowsIt)
{
    FTarvoXTestGuide guide;
    guide.Initialize(element(300), setup, Variant(instructions));
    guide.window()->show();
    guide.ShowPopup(QStringLiteral("TI:SHOCK"), QStringLiteral("20190::Deliver the shock now"), true);
    XTestInstruction* popup = guide.xtipopup();
    EXPECT_TRUE(popup->isVisible());
    EXPECT_TRUE(popup->Flash());
    EXPECT_EQ(popup->helpText()->text(), QStringLiteral("Deliver the shock now"));
    EXPECT_EQ(popup->geometry(), guide.embeddedControl()->geometry());
    EXPECT_EQ(popup->parentWidget(), guide.embeddedControl()->parentWidget());

    guide.window()->resize(guide.window()->width() + 120, guide.window()->height() + 90);
    EXPECT_EQ(popup->geometry(), guide.embeddedControl()->geometry());

    guide.HidePopup();
    EXPECT_FALSE(popup->isVisible());
    EXPECT_FALSE(popup->Flash());
    EXPECT_THROW(guide.ShowPopup(QStringLiteral("TI:NOSUCH"), QStringLiteral("x"), false), PluginError);
}

TEST_F(TestGuideTest, WithoutAToolbarEveryToolbarStepIsSkippedAndTheRestIsSetUp)
{
    const MissingClass noToolbar(hostclass::TgToolbar);
    ASSERT_TRUE(noToolbar.withdrawn());
    FTarvoXTestGuide guide;
    EXPECT_FALSE(guide.xtbToolbar());
    guide.SetToolbarMode(1, false);
    guide.ShowResultStatus(result);
    guide.Initialize(element(300), setup, Variant(instructions));
    guide.SetStatusText(QStringLiteral("20180::Test in progress"));
    guide.ShowResultStatus(result);
    guide.EnableNextButton(true);
    EXPECT_TRUE(query<XChargeResult>(guide.resultView()));
    EXPECT_EQ(dynamic_cast<host::TestWizard*>(guide.xtwDetails().get())->lines().size(), 2);
}

TEST_F(TestGuideTest, AToolbarThatGivesNoItemCaptionOrStandardIsAskedNoFurther)
{
    const ReplacedClass hollow(hostclass::TgToolbar, [] { return ObjectPtr(std::make_shared<HollowToolbar>()); });
    QStringList shownBoxes;
    setMessageBoxHandler([&](const MessageBoxRequest& r) {
        shownBoxes << r.prompt;
        return mb::OK;
    });
    FTarvoXTestGuide guide;
    ASSERT_TRUE(std::dynamic_pointer_cast<HollowToolbar>(guide.xtbToolbar()));
    auto e = element(300);
    e->Limits()->CreateStandard(QStringLiteral("OWN"), QStringLiteral("Own limits")); // makes the collection
    e->Limits()->Standards()->Add(makeStandard(QStringLiteral("IEC"), QStringLiteral("IEC 60601"), {{QStringLiteral("ENGY"), 200, 100}}));
    guide.Initialize(e, setup, Variant(instructions));
    guide.SetStatusText(QStringLiteral("20180::Test in progress"));
    guide.ShowResultStatus(result);
    guide.EnableNextButton(true);
    // Neither Next's state nor the main button's can be read: the main button starts.
    QSignalSpy start(&guide, &FTarvoXTestGuide::StartTest);
    QSignalSpy next(&guide, &FTarvoXTestGuide::NextTest);
    guide.SetToolbarMode(1, true);
    click(guide, guidebutton::Main);
    EXPECT_EQ(start.count(), 1);
    EXPECT_EQ(next.count(), 0);
    // A standard chosen on a toolbar that cannot say which one changes nothing: the
    // element's limits of that name stay unshown, and nothing fails.
    QTreeWidgetItem* row = query<XChargeResult>(guide.resultView())->row(QStringLiteral("ENGY"));
    ASSERT_NE(row, nullptr);
    const QStringList before{row->text(1), row->text(2), row->text(3)};
    EXPECT_EQ(before[0], QStringLiteral("150 J"));
    EXPECT_TRUE(before[1].trimmed().isEmpty() && before[2].trimmed().isEmpty()) << "no limits shown before";
    toolbar(guide)->standardSelector()->addItem(QStringLiteral("IEC"));
    toolbar(guide)->standardSelector()->setCurrentIndex(toolbar(guide)->standardSelector()->count() - 1);
    EXPECT_EQ(QStringList({row->text(1), row->text(2), row->text(3)}), before);
    EXPECT_TRUE(shownBoxes.isEmpty()) << shownBoxes.join(QLatin1Char('\n')).toStdString();
}

TEST_F(TestGuideTest, WithoutAResultViewTheRunStillGetsItsInstructionsTabsAndToolbar)
{
    // The operator must still see the instructions and check the analyser's identity
    // that the run will record.
    const MissingClass noView(tarvoxclass::XChargeResult);
    ASSERT_TRUE(noView.withdrawn());
    setup->setSelectedStandards(makeCollection({makeStandard(QStringLiteral("IEC"), QStringLiteral("IEC 60601"), {})}));
    const auto e = element(300);
    e->Limits()->CreateStandard(QStringLiteral("IEC"), QStringLiteral("IEC 60601"));
    FTarvoXTestGuide guide;
    guide.Initialize(e, setup, Variant(instructions));
    EXPECT_FALSE(guide.resultView());
    EXPECT_EQ(dynamic_cast<host::TestWizard*>(guide.xtwDetails().get())->lines().size(), 2);
    auto* pane = dynamic_cast<host::ContentPane*>(guide.xtwWizard().get());
    ASSERT_EQ(pane->tabs().size(), 1);
    EXPECT_EQ(pane->tabs()[0]->Caption(), QStringLiteral("MTI Data"));
    EXPECT_EQ(toolbar(guide)->options(), 7);
    EXPECT_GE(toolbar(guide)->standardSelector()->findText(QStringLiteral("IEC"), Qt::MatchContains), 0) << "the setup's standards";
    EXPECT_EQ(errorNumberOf([&] { guide.ShowPopup(QStringLiteral("TI:WAIT"), QStringLiteral("20191::Waiting"), false); }), vberr::ObjectNotSet);
}

TEST_F(TestGuideTest, PopupWithoutResultViewFailsToTheElement)
{
    FTarvoXTestGuide guide;
    EXPECT_THROW(guide.ShowPopup(QStringLiteral("TI:WAIT"), QStringLiteral("20191::Waiting"), false), PluginError);
}

TEST_F(TestGuideTest, RightClickInTheListOpensTheToolbarMenu)
{
    FTarvoXTestGuide guide;
    guide.Initialize(element(300), setup, Variant(instructions));
    guide.window()->show();
    auto view = query<XChargeResult>(guide.resultView());
    QSignalSpy clicked(&guide, &FTarvoXTestGuide::ItemClicked);
    QTest::mouseClick(view->list()->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(toolbar(guide)->menu()->isVisible());
    // The menu opens where the operator clicked, not at a corner of the window.
    const QPoint at(60, 12);
    const QPoint global = view->list()->viewport()->mapToGlobal(at);
    QCursor::setPos(global);
    QTest::mousePress(view->list()->viewport(), Qt::RightButton, {}, at);
    EXPECT_TRUE(toolbar(guide)->menu()->isVisible());
    EXPECT_EQ(toolbar(guide)->menu()->pos(), global);
    toolbar(guide)->menu()->hide();
    EXPECT_EQ(clicked.count(), 0);
}

TEST_F(TestGuideTest, IdentityOfTheResultsRecordIsShown)
{
    auto db = setup->MtiDatabase();
    auto mti = std::make_shared<CMtiData2>();
    mti->SetMtiType(QStringLiteral("TarvoH"));
    mti->SetSerial(QStringLiteral("H-77"));
    mti->SetFirmware(QStringLiteral("2.1"));
    result->mtiId = MMiscUtils::StoreMtiData(db, mti);

    FTarvoXTestGuide guide;
    guide.Initialize(element(300), setup, Variant(instructions));
    auto shown = guide.GetMtiData();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->MtiType(), QStringLiteral("TarvoH"));
    EXPECT_EQ(shown->Serial(), QStringLiteral("H-77"));
    EXPECT_EQ(guide.xmdMtiData()->modelList()->currentText(), QStringLiteral("TarvoH"));
    EXPECT_EQ(guide.xmdMtiData()->serialBox()->text(), QStringLiteral("H-77"));
}

// The road of one run as a test element drives it: modal show, Start, a stored
// reading, Next, then the identity for the result.
TEST_F(TestGuideTest, ModalRunEndsWhenTheElementHidesTheGuide)
{
    auto e = element(300);
    result->measurements.first()->SetStatus(emsNone);
    FTarvoXTestGuide guide;
    guide.SetToolbarMode(1, false);
    guide.ShowResultStatus(result);
    guide.Initialize(e, setup, Variant(instructions));
    QList<QString> order;
    QWidget* focusAtStart = nullptr;
    bool standardLiveInRun = true;
    QObject::connect(&guide, &FTarvoXTestGuide::StartTest, [&] {
        order << QStringLiteral("start");
        focusAtStart = QApplication::focusWidget();
        guide.SetToolbarMode(2, false);
        // The standard and its relative limits hold still under a running measurement.
        standardLiveInRun = toolbar(guide)->standardSelector()->isEnabled() || toolbar(guide)->calculateBox()->isEnabled();
        result->measurements.first()->SetValue(Variant(4.5));
        result->measurements.first()->SetStatus(emsPassed);
        guide.ShowTestResult(result);
        guide.SetToolbarMode(1, true);
    });
    QObject::connect(&guide, &FTarvoXTestGuide::NextTest, [&] {
        order << QStringLiteral("next");
        guide.Hide();
    });
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(QTest::qWaitForWindowActive(guide.window()));
        click(guide, guidebutton::Main);
        click(guide, guidebutton::Main);
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] { guide.Hide(); });
    guard.start(120000); // only ends a guide the clicks never closed
    guide.Show();
    EXPECT_EQ(order, QList<QString>({QStringLiteral("start"), QStringLiteral("next")}));
    EXPECT_EQ(focusAtStart, guide.embeddedControl()) << "the shown window gives the result view the keys";
    EXPECT_FALSE(standardLiveInRun);
    EXPECT_TRUE(toolbar(guide)->standardSelector()->isEnabled() && toolbar(guide)->calculateBox()->isEnabled()) << "live again after the run";
    EXPECT_EQ(query<XChargeResult>(guide.resultView())->row(QStringLiteral("ENGY"))->text(1), QStringLiteral("4.5 J"));
    EXPECT_TRUE(guide.GetMtiData());
    const auto pane = std::dynamic_pointer_cast<host::ContentPane>(guide.xtwWizard());
    guide.Unload();
    EXPECT_FALSE(guide.window());
    // The pane lets go of the element, the setup and its tabs.
    EXPECT_FALSE(pane->element());
    EXPECT_TRUE(pane->tabs().isEmpty());
}
