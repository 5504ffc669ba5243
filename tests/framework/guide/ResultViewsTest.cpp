#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "framework/guide/GuideLayout.h"
#include "framework/guide/ITarvoXResult.h"
#include "framework/guide/WaveState.h"
#include "framework/guide/XChargeResult.h"
#include "framework/guide/XDetailedResult.h"
#include "framework/guide/XTestResult.h"
#include "platform/interfaces/Controls.h"
#include "tests/framework/LimitTestDoubles.h"
#include "tests/framework/guide/GuideTestDoubles.h"

using namespace kelto;
using namespace kelto::testing;

namespace {

constexpr float kNone = std::numeric_limits<float>::quiet_NaN();

struct ListFixture {
    ListFixture()
    {
        view = ComponentRuntime::instance().createAs<XChargeResult>(QLatin1String(tarvoxclass::XChargeResult));
        view->widget()->resize(600, 200);
        result = std::make_shared<GuideResult>();
        element = GuideElement::make(100);
        limits = element->Limits();
        limits->CreateStandard(QStringLiteral("OWN"), QStringLiteral("Own"));
        limits->Standards()->Add(makeStandard(QStringLiteral("IEC"), QStringLiteral("IEC 60601-2-4"),
            {{QStringLiteral("ENGY"), 220, 180, QString(), QStringLiteral("J")}, {QStringLiteral("SYNT"), 60, kNone, QString(), QStringLiteral("ms")}}));
    }
    QString cell(const QString& key, int column) const
    {
        QTreeWidgetItem* row = view->row(key);
        return row ? row->text(column) : QStringLiteral("<no row>");
    }
    Ptr<XChargeResult> view;
    Ptr<GuideResult> result;
    Ptr<GuideElement> element;
    Ptr<ILimitData> limits;
};

} // namespace

TEST(XChargeResultTest, ValueShowsOnlyOnceEvaluated)
{
    ListFixture f;
    auto energy = f.result->add(QStringLiteral("ENGY"));
    energy->SetValue(Variant(0.1));
    f.view->ShowTestResult(f.result);
    EXPECT_EQ(f.cell(QStringLiteral("ENGY"), 0), QStringLiteral("Caption of ENGY"));
    EXPECT_EQ(f.cell(QStringLiteral("ENGY"), 1), QStringLiteral(" "));
    energy->SetStatus(emsPassed);
    f.view->ShowTestResult(f.result);
    // The measurement's own format ("0.00") is not used here.
    EXPECT_EQ(f.cell(QStringLiteral("ENGY"), 1), QStringLiteral("0.1 J"));
    // The columns as laid out, before the list fills its width.
    const struct {
        const char* caption;
        int twips;
    } columns[] = {{"Settings", 2450}, {"Measurement", 1550}, {"High limit", 1550}, {"Low limit", 1550}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(f.view->list()->headerItem()->text(i), QLatin1String(columns[i].caption));
        EXPECT_EQ(f.view->list()->columnWidth(i), guide::twipsToPxX(columns[i].twips, f.view->list())) << columns[i].caption;
    }
    // A new reading is shown with no row selected.
    f.view->widget()->show();
    QTest::mouseClick(f.view->list()->viewport(), Qt::LeftButton, {}, f.view->list()->visualItemRect(f.view->list()->topLevelItem(0)).center());
    ASSERT_FALSE(f.view->list()->selectedItems().isEmpty());
    f.view->ShowTestResult(f.result);
    EXPECT_TRUE(f.view->list()->selectedItems().isEmpty());

    // A full stop in a decimal-comma locale too, as beside it and in every other view.
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    energy->SetValue(Variant(1104.2));
    f.view->ShowTestResult(f.result);
    QLocale::setDefault(previous);
    EXPECT_EQ(f.cell(QStringLiteral("ENGY"), 1), QStringLiteral("1104.2 J"));
}

TEST(XChargeResultTest, NoSyncShowsTheWordNoReadingNothingAndFailedRowsAreBoldRed)
{
    ListFixture f;
    auto sync = f.result->add(QStringLiteral("SYNT"), QStringLiteral("ms"));
    sync->SetValue(Variant(QStringLiteral("NOSYNC")));
    sync->SetStatus(emsFailed);
    // A place no discharge reached holds no reading: it fails, and shows no 0 J.
    auto missed = f.result->add(QStringLiteral("ENGY"));
    missed->SetStatus(emsFailed);
    f.view->ShowTestResult(f.result);
    EXPECT_EQ(f.cell(QStringLiteral("SYNT"), 1), QStringLiteral("NOSYNC "));
    EXPECT_EQ(f.cell(QStringLiteral("ENGY"), 1), QStringLiteral(" "));
    for (const char* key : {"SYNT", "ENGY"}) {
        QTreeWidgetItem* failed = f.view->row(QLatin1String(key));
        for (int column = 0; column < 4; ++column) {
            EXPECT_TRUE(failed->font(column).bold()) << key;
            EXPECT_EQ(failed->foreground(column).color(), QColor(255, 0, 0)) << key;
        }
    }
    sync->SetValue(Variant(40.0));
    sync->SetStatus(emsPassed);
    f.view->ShowTestResult(f.result);
    QTreeWidgetItem* row = f.view->row(QStringLiteral("SYNT"));
    EXPECT_FALSE(row->font(1).bold());
    EXPECT_EQ(row->foreground(1).color(), QColor(0, 0, 0));
}

TEST(XChargeResultTest, LimitColumnsFollowTheChosenStandard)
{
    ListFixture f;
    f.result->add(QStringLiteral("ENGY"))->SetValue(Variant(200.0));
    f.result->add(QStringLiteral("SYNT"), QStringLiteral("ms"));
    f.view->ShowTestResult(f.result);
    f.view->SetLimits(f.limits);
    // Before a standard is chosen the limit cells stay blank.
    EXPECT_EQ(f.cell(QStringLiteral("ENGY"), 2), QStringLiteral(" "));

    f.view->SelectStandard(QStringLiteral("IEC"), QStringLiteral("IEC 60601-2-4"), false);
    EXPECT_EQ(f.cell(QStringLiteral("ENGY"), 2), QStringLiteral("220.00 J"));
    EXPECT_EQ(f.cell(QStringLiteral("ENGY"), 3), QStringLiteral("180.00 J"));
    // A limit the standard does not define: one blank, the standard as tool tip.
    EXPECT_EQ(f.cell(QStringLiteral("SYNT"), 3), QStringLiteral(" "));
    EXPECT_EQ(f.view->row(QStringLiteral("SYNT"))->toolTip(3), QStringLiteral("IEC 60601-2-4"));

    // Unknown names keep the cells; a later ShowTestResult tries them again.
    f.view->SelectStandard(QStringLiteral("UL"), QStringLiteral("UL 2601"), true);
    EXPECT_EQ(f.cell(QStringLiteral("ENGY"), 2), QStringLiteral("220.00 J"));
    f.limits->Standards()->Add(makeStandard(QStringLiteral("UL"), QStringLiteral("UL 2601"), {{QStringLiteral("ENGY"), 250, 150, QString(), QStringLiteral("J")}}));
    f.view->ShowTestResult(f.result);
    EXPECT_EQ(f.cell(QStringLiteral("ENGY"), 2), QStringLiteral("250.00 J"));
}

TEST(XChargeResultTest, ANewReadingKeepsTheOperatorsRelativeChoice)
{
    ListFixture f;
    f.limits->Standards()->Add(makeStandard(QStringLiteral("REL"), QStringLiteral("Relative"),
        {{QStringLiteral("ENGY"), 15, -15, QStringLiteral("X+(X*Y%)"), QStringLiteral("J")}}));
    auto energy = f.result->add(QStringLiteral("ENGY"));
    energy->SetPresetValue(Variant(200.0f));
    f.view->ShowTestResult(f.result);
    f.view->SetLimits(f.limits);
    for (bool relative : {false, true}) {
        f.view->SelectStandard(QStringLiteral("REL"), QStringLiteral("Relative"), relative);
        const QString shown = f.cell(QStringLiteral("ENGY"), 2);
        energy->SetValue(Variant(201.0));
        energy->SetStatus(emsPassed);
        f.view->ShowTestResult(f.result);
        EXPECT_EQ(f.cell(QStringLiteral("ENGY"), 2), shown) << (relative ? "relative" : "as entered");
        EXPECT_EQ(shown, relative ? QStringLiteral("230.00 J") : QStringLiteral("15.00 %"));
    }
}

TEST(XChargeResultTest, NoResultEmptiesTheList)
{
    ListFixture f;
    f.result->add(QStringLiteral("ENGY"));
    f.view->ShowTestResult(f.result);
    EXPECT_EQ(f.view->list()->topLevelItemCount(), 1);
    f.view->ShowTestResult(nullptr);
    EXPECT_EQ(f.view->list()->topLevelItemCount(), 0);
}

TEST(XChargeResultTest, PressesBecomeMouseDownAndNeverItemClicked)
{
    ListFixture f;
    QList<QString> names;
    QList<int> buttons;
    f.view->SetObjectEventHandler([&](const QString& name, const VariantArray& params) {
        names << name;
        buttons << params.value(0).toInteger();
    });
    f.view->widget()->show();
    QTest::mousePress(f.view->list()->viewport(), Qt::RightButton, {}, QPoint(4, 4));
    QTest::mousePress(f.view->list()->viewport(), Qt::LeftButton, {}, QPoint(4, 4));
    EXPECT_EQ(names, QList<QString>({QStringLiteral("MouseDown"), QStringLiteral("MouseDown")}));
    EXPECT_EQ(buttons, QList<int>({2, 1}));
}

// ---- grid view -------------------------------------------------------------------

namespace {

struct GridFixture {
    GridFixture()
    {
        gfWaveRunning = false;
        view = ComponentRuntime::instance().createAs<XTestResult>(QLatin1String(tarvoxclass::XTestResult));
        view->widget()->resize(600, 120);
        view->widget()->show();
        view->SetObjectEventHandler([this](const QString& name, const VariantArray&) { events << name; });
        result = std::make_shared<GuideResult>();
        verdict = result->add(QStringLiteral("NSW"), QString(), evtBoolean);
    }
    ~GridFixture() { gfWaveRunning = false; }

    void clickColumn(int column, Qt::MouseButton button = Qt::LeftButton)
    {
        QTableWidget* grid = view->grid();
        const QRect cell = grid->visualRect(grid->model()->index(0, column - 1));
        QTest::mousePress(grid->viewport(), button, {}, cell.center());
    }

    Ptr<XTestResult> view;
    Ptr<GuideResult> result;
    Ptr<CMeasurement> verdict;
    QList<QString> events;
};

} // namespace

TEST(XTestResultTest, UnjudgedResultShowsEmptyBoxes)
{
    GridFixture f;
    f.view->ShowTestResult(f.result);
    EXPECT_EQ(f.view->grid()->item(0, 0)->text(), QStringLiteral("Caption of NSW"));
    EXPECT_EQ(f.view->imageIndex(1, 2), 0);
    EXPECT_EQ(f.view->imageIndex(1, 3), 0);
    EXPECT_EQ(f.view->columnTag(2), QStringLiteral("NSW"));
    EXPECT_EQ(f.view->grid()->item(0, 0)->foreground().color(), QColor(Qt::black));
}

TEST(XTestResultTest, StoredVerdictIsDrawn)
{
    GridFixture f;
    f.verdict->SetValue(Variant(false));
    f.view->ShowTestResult(f.result);
    EXPECT_EQ(f.view->imageIndex(1, 2), 0);
    EXPECT_EQ(f.view->imageIndex(1, 3), 1);
    EXPECT_EQ(f.view->grid()->item(0, 0)->foreground().color(), QColor(255, 0, 0));
    f.verdict->SetValue(Variant(true));
    f.view->ShowTestResult(f.result);
    EXPECT_EQ(f.view->imageIndex(1, 2), 1);
    EXPECT_EQ(f.view->imageIndex(1, 3), 0);
}

TEST(XTestResultTest, ClicksAreIgnoredUntilAWaveformWasPlayed)
{
    GridFixture f;
    f.view->ShowTestResult(f.result);
    f.clickColumn(2);
    EXPECT_TRUE(f.verdict->Value().isEmpty());
    EXPECT_TRUE(f.events.isEmpty());
}

TEST(XTestResultTest, LeftClickInABoxStoresAndMovesTheVerdict)
{
    GridFixture f;
    f.view->ShowTestResult(f.result);
    gfWaveRunning = true;
    f.clickColumn(2);
    EXPECT_EQ(f.verdict->Value(), Variant(true));
    EXPECT_EQ(f.verdict->Status(), emsPassed);
    EXPECT_EQ(f.view->imageIndex(1, 2), 1);
    f.clickColumn(3);
    EXPECT_EQ(f.verdict->Value(), Variant(false));
    EXPECT_EQ(f.verdict->Status(), emsFailed);
    EXPECT_EQ(f.view->imageIndex(1, 2), 0);
    EXPECT_EQ(f.view->imageIndex(1, 3), 1);
    f.clickColumn(3);
    EXPECT_EQ(f.events.size(), 3);
    EXPECT_EQ(f.events.first(), QStringLiteral("ItemClicked"));
}

TEST(XTestResultTest, RightClicksAndOtherColumnsChangeNothing)
{
    GridFixture f;
    f.view->ShowTestResult(f.result);
    gfWaveRunning = true;
    f.clickColumn(2, Qt::RightButton);
    f.clickColumn(1);
    f.clickColumn(4);
    EXPECT_TRUE(f.verdict->Value().isEmpty());
    EXPECT_EQ(f.verdict->Status(), emsNone);
    EXPECT_TRUE(f.events.isEmpty());
}

TEST(XTestResultTest, NoResultKeepsTheGridAndTheLastMeasurementWins)
{
    GridFixture f;
    f.result->add(QStringLiteral("ARR"), QString(), evtBoolean);
    f.view->ShowTestResult(f.result);
    EXPECT_EQ(f.view->columnTag(3), QStringLiteral("ARR"));
    EXPECT_EQ(f.view->grid()->rowCount(), 1);
    f.view->ShowTestResult(nullptr);
    EXPECT_EQ(f.view->grid()->item(0, 0)->text(), QStringLiteral("Caption of ARR"));
}

// ---- detail panel ----------------------------------------------------------------

TEST(XDetailedResultTest, ShowsTheCommentReadOnly)
{
    auto panel = ComponentRuntime::instance().createAs<ICustomControl>(QLatin1String(tarvoxclass::XDetailedResult));
    ASSERT_TRUE(panel);
    auto* detail = dynamic_cast<XDetailedResult*>(panel.get());
    EXPECT_EQ(detail->title()->text(), QStringLiteral("Comment"));
    auto result = std::make_shared<GuideResult>();
    result->comment = QStringLiteral("Paddles worn, replace before next service.");
    panel->Initialize(Variant(result));
    EXPECT_EQ(detail->comment()->toPlainText(), result->comment);
    EXPECT_TRUE(detail->comment()->isReadOnly());
    panel->Initialize(Variant(QStringLiteral("not a result")));
    EXPECT_EQ(detail->comment()->toPlainText(), result->comment);

    panel->SetLocked(true);
    EXPECT_FALSE(panel->Locked());
    panel->SetVisible(false);
    EXPECT_FALSE(panel->Visible());
    panel->SetVisible(true);
    EXPECT_TRUE(panel->Visible());

    panel->hWnd()->resize(400, 300);
    EXPECT_EQ(detail->comment()->geometry().width(), 392); // 120 twips indent
    // Lower than the title: the comment's move is refused, the title is still placed.
    panel->hWnd()->resize(600, 5);
    EXPECT_EQ(detail->title()->geometry().width(), 592);
    EXPECT_EQ(detail->comment()->geometry().width(), 392);
}
