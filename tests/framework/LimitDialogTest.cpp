#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

#include "LimitTestDoubles.h"
#include "framework/CLimitData.h"
#include "framework/FDialogWrapper.h"
#include "host/XmlDocument.h"

using namespace kelto;
using namespace kelto::testing;

namespace {

enum { KeyColumn, HighColumn, UnitColumn, FormulaColumn, LowColumn, LowUnitColumn, LowFormulaColumn };

struct Recorder : ICallBack {
    QStringList events;
    void FireEvent(const QString& name, const VariantArray&) override { events << name; }
};

struct Dialog {
    explicit Dialog(std::int32_t testId, bool hasDialog = true)
    {
        element = std::make_shared<FakeElement>(testId);
        limits = std::make_shared<CLimitData>();
        limits->Initialize(element, hasDialog);
        element->limits = limits;
    }
    bool open()
    {
        dialog = limits->CreateDialog();
        auto wrapper = std::dynamic_pointer_cast<FDialogWrapper>(dialog);
        if (!wrapper)
            return false;
        table = wrapper->window()->findChild<QTableWidget*>(QStringLiteral("limits"));
        standards = wrapper->window()->findChild<QComboBox*>(QStringLiteral("standards"));
        return table && standards;
    }
    QStringList column(int c) const
    {
        QStringList out;
        for (int r = 0; r < table->rowCount(); ++r)
            out << (c < 0 ? table->verticalHeaderItem(r)->text() : table->item(r, c)->text());
        return out;
    }
    QComboBox* formulas(int row, int side = elvHigh) const
    {
        return qobject_cast<QComboBox*>(table->cellWidget(row, side == elvHigh ? FormulaColumn : LowFormulaColumn));
    }
    QStringList operators(int row) const
    {
        QStringList out;
        if (QComboBox* box = formulas(row))
            for (int i = 0; i < box->count(); ++i)
                out << box->itemText(i);
        return out;
    }
    // Types into a value cell as an operator does and confirms with Enter.
    void type(int row, int column, const QString& text)
    {
        QTableWidgetItem* item = table->item(row, column);
        table->setCurrentItem(item);
        table->editItem(item);
        auto* editor = table->viewport()->findChild<QLineEdit*>();
        ASSERT_TRUE(editor);
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Delete);
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        // The delegate commits in a queued call; the closed editor goes only with
        // the deferred deletions.
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    Ptr<FakeElement> element;
    Ptr<CLimitData> limits;
    Ptr<IDialog> dialog;
    QTableWidget* table = nullptr;
    QComboBox* standards = nullptr;
};

const QStringList kOperators{"Y", "X+Y", "X+(X*Y%)"};

} // namespace

TEST(LimitDialog, limitsWithoutDialogFlagGiveNoDialogAndNoWindow)
{
    const int before = static_cast<int>(QApplication::allWidgets().size());
    Dialog d(300, false);
    EXPECT_EQ(d.limits->CreateDialog(), nullptr);
    EXPECT_EQ(static_cast<int>(QApplication::allWidgets().size()), before);

    // Without an owner there is nothing to show either, and the window goes again.
    auto orphan = std::make_shared<CLimitData>();
    EXPECT_EQ(orphan->CreateDialog(), nullptr);
    QApplication::processEvents();
    EXPECT_EQ(static_cast<int>(QApplication::allWidgets().size()), before);
}

TEST(LimitDialog, pacerParameterRowsOfferFormulasForRateAndCurrentOnly)
{
    Dialog d(1200);
    ASSERT_TRUE(d.open());
    EXPECT_EQ(d.column(KeyColumn), (QStringList{"PACR", "PULC", "PULW", "PULV"}));
    EXPECT_EQ(d.column(-1), (QStringList{"Rate", "Pulse Current", "Pulse Width", "Pulse Voltage"}));
    EXPECT_EQ(d.column(UnitColumn), (QStringList{"ppm", "mA", "ms", "mV"}));
    EXPECT_EQ(d.operators(0), kOperators);
    EXPECT_EQ(d.operators(1), kOperators);
    EXPECT_EQ(d.formulas(2), nullptr);
    EXPECT_EQ(d.formulas(3), nullptr);
}

TEST(LimitDialog, rowUnitsMatchTheBuiltInLimitsOfEveryTest)
{
    for (std::int32_t id : {100, 200, 300, 400, 500, 600, 700, 800, 1200, 1300, 1400, 1500, 1600}) {
        Dialog d(id);
        ASSERT_TRUE(d.open()) << id;
        auto standard = d.limits->CreateStandard(QStringLiteral("EN"), QStringLiteral("EN 1"));
        QStringList builtIn;
        for (const auto& limit : standard->Limits())
            builtIn << limit->Key() + QLatin1Char(' ') + limit->Unit();
        QStringList rows;
        for (int r = 0; r < d.table->rowCount(); ++r)
            rows << d.table->item(r, KeyColumn)->text() + QLatin1Char(' ') + d.table->item(r, UnitColumn)->text();
        EXPECT_EQ(rows, builtIn) << id;
    }
    Dialog energy(1600);
    ASSERT_TRUE(energy.open());
    EXPECT_EQ(energy.operators(0), kOperators); // offered although the built-in energy limit has no formula
    EXPECT_EQ(energy.formulas(1), nullptr);
}

TEST(LimitDialog, waveformTestGivesAViewWithoutRowsAndTwoRequestsGiveTwoDialogs)
{
    Dialog d(1000);
    ASSERT_TRUE(d.open());
    EXPECT_EQ(d.table->rowCount(), 0);

    Dialog p(300);
    ASSERT_TRUE(p.open());
    auto second = p.limits->CreateDialog();
    ASSERT_TRUE(second);
    EXPECT_NE(second, p.dialog);
    second->Unload();
    EXPECT_EQ(p.table->rowCount(), 1);
}

TEST(LimitDialog, operatorEditsValuesOfTheChosenStandard)
{
    Dialog d(300);
    d.limits->CreateStandard(QStringLiteral("A"), QStringLiteral("A 1"));
    auto second = d.limits->CreateStandard(QStringLiteral("B"), QStringLiteral("B 1"));
    ASSERT_TRUE(d.open());
    auto recorder = std::make_shared<Recorder>();
    d.dialog->SetCallBack(recorder);
    QWidget host;
    d.dialog->Dock(&host);
    d.dialog->Show();
    host.show();

    ASSERT_EQ(d.standards->count(), 2);
    d.standards->setCurrentIndex(1);
    d.type(0, HighColumn, QStringLiteral("15.5"));
    d.type(0, LowColumn, QStringLiteral("1"));
    auto limit = second->FindLimit(QStringLiteral("CHTI"));
    ASSERT_TRUE(limit);
    EXPECT_EQ(limit->Value(elvHigh), 15.5f);
    EXPECT_EQ(limit->Value(elvLow), 1.0f);
    EXPECT_FALSE(d.limits->Standards()->Item(0)->FindLimit(QStringLiteral("CHTI"))->HasValue(elvHigh));
    EXPECT_EQ(recorder->events, (QStringList{"Change", "Change"}));

    // Text that is no number is refused and the stored value shown again.
    d.type(0, HighColumn, QStringLiteral("abc"));
    EXPECT_EQ(limit->Value(elvHigh), 15.5f);
    EXPECT_EQ(d.table->item(0, HighColumn)->text(), QStringLiteral("15.5"));
    EXPECT_EQ(recorder->events.size(), 2);

    // An emptied cell removes the value.
    d.type(0, LowColumn, QString());
    EXPECT_FALSE(limit->HasValue(elvLow));

    d.standards->setCurrentIndex(0);
    EXPECT_EQ(d.table->item(0, HighColumn)->text(), QString());
    d.dialog->Unload();
}

TEST(LimitDialog, chosenFormulaMakesTheLimitRelativeToThePreset)
{
    Dialog d(100);
    auto standard = d.limits->CreateStandard(QStringLiteral("A"), QStringLiteral("A 1"));
    ASSERT_TRUE(d.open());
    // The built-in formula stands on the high side; the low side computes with it.
    for (int side : {elvHigh, elvLow})
        EXPECT_EQ(d.formulas(0, side)->currentText(), QStringLiteral("X+(X*Y%)"));
    EXPECT_EQ(d.table->item(0, UnitColumn)->text(), QStringLiteral("%")) << "a percentage of the preset, not joules";
    EXPECT_EQ(d.table->item(0, LowUnitColumn)->text(), QStringLiteral("%"));

    d.formulas(0)->setCurrentIndex(1); // "X+Y"
    d.type(0, HighColumn, QStringLiteral("20"));
    auto limit = standard->FindLimit(QStringLiteral("ENGY"));
    EXPECT_EQ(limit->Formula(elvHigh), QStringLiteral("X+Y"));
    EXPECT_EQ(limit->Formula(elvLow), QStringLiteral("X+Y"));
    EXPECT_EQ(d.table->item(0, UnitColumn)->text(), QStringLiteral("J"));
    EXPECT_EQ(d.formulas(0, elvLow)->currentText(), QStringLiteral("X+Y"));

    auto m = std::make_shared<CMeasurement>();
    m->Initialize(QStringLiteral("ENGY"), QString(), QStringLiteral("J"), evtNumber);
    m->SetValueFormat(QStringLiteral("0"));
    m->SetPresetValue(200);
    EXPECT_EQ(m->GetLimitValue(standard, elvHigh, eff::Calculate | eff::Text | eff::Unit).toString(), QStringLiteral("220 J"));
    d.dialog->Unload();
}

TEST(LimitDialog, lockedViewTakesNoEdits)
{
    Dialog d(400);
    auto standard = d.limits->CreateStandard(QStringLiteral("A"), QStringLiteral("A 1"));
    ASSERT_TRUE(d.open());
    d.dialog->SetLocked(true);
    EXPECT_TRUE(d.dialog->Locked());
    EXPECT_EQ(d.table->editTriggers(), QAbstractItemView::NoEditTriggers);
    d.table->item(0, HighColumn)->setText(QStringLiteral("99"));
    EXPECT_FALSE(standard->FindLimit(QStringLiteral("PEAV"))->HasValue(elvHigh));
    d.dialog->Unload();
}

TEST(LimitDialog, rowsReachTheViewWithTranslatedTextsAndTheOperatorList)
{
    struct RowRecorder : ILimitView {
        QStringList rows;
        void AddLimitRow(const QString& key, const QString& caption, const QString& unit, const QString& operators) override
        {
            rows << QStringList{key, caption, unit, operators}.join(QLatin1Char('|'));
        }
    };
    auto view = std::make_shared<RowRecorder>();
    CLimitData limits;
    limits.ParseLimitsToDialog(view, 1300);
    limits.ParseLimitsToDialog(view, 100);
    EXPECT_EQ(view->rows, (QStringList{"SENS|Sensed Rp|ms|", "PACE|Paced Rp|ms|", "ENGY|Energy|J|<op>Y;X+Y;X+(X*Y%)</op>"}));
}

TEST(LimitDialog, aPercentageTypedIntoABuiltInLimitIsRelativeOnBothSides)
{
    // A standard the template lacks starts from the built-in limits, whose formula
    // stands on the high side only; the operator types +15 and -15 into the row.
    Dialog d(100);
    auto standard = d.limits->CreateStandard(QStringLiteral("MFR EXAMPLE"), QStringLiteral("Manufacturer"));
    ASSERT_TRUE(d.open());
    EXPECT_EQ(d.formulas(0)->currentText(), QStringLiteral("X+(X*Y%)"));
    d.type(0, HighColumn, QStringLiteral("15"));
    d.type(0, LowColumn, QStringLiteral("-15"));
    d.dialog->Unload();

    auto selection = makeCollection({makeStandard(QStringLiteral("MFR EXAMPLE"), QStringLiteral("Manufacturer"), {})});
    auto delivered = [&](double joules) {
        auto m = std::make_shared<CMeasurement>();
        m->Initialize(QStringLiteral("ENGY"), QString(), QStringLiteral("J"), evtNumber);
        m->SetPresetValue(200);
        m->SetValue(joules);
        m->UpdateStatus(d.limits, selection);
        return m->Status();
    };
    EXPECT_EQ(delivered(100), emsFailed) << "half the preset is far below 200 J - 15 %";
    EXPECT_EQ(delivered(169.9), emsFailed);
    EXPECT_EQ(delivered(170), emsPassed);
    EXPECT_EQ(delivered(230), emsPassed);
    EXPECT_EQ(delivered(230.1), emsFailed);

    // What the limit columns show is what both sides compute.
    auto m = std::make_shared<CMeasurement>();
    m->Initialize(QStringLiteral("ENGY"), QString(), QStringLiteral("J"), evtNumber);
    m->SetValueFormat(QStringLiteral("0"));
    m->SetPresetValue(200);
    EXPECT_EQ(m->GetLimitValue(standard, elvLow, eff::Calculate | eff::Text | eff::Unit).toString(), QStringLiteral("170 J"));
    EXPECT_EQ(m->GetLimitValue(standard, elvLow, eff::Text | eff::Unit).toString(), QStringLiteral("-15 %"));
}

TEST(LimitDialog, everyLimitOfAKeyHasALineAndEachSideShowsItsOwnFormulaAndUnit)
{
    // Both limits of the key are judged and printed, so both are shown and edited;
    // the first has a percentage above and a plain value below.
    Dialog d(100);
    auto doc = std::make_shared<host::XmlDocument>();
    ASSERT_TRUE(doc->LoadXml(QStringLiteral("<ExpectedResult><Standard Alpha=\"A\" Complete=\"A 1\">"
                                            "<Limit Key=\"ENGY\" Unit=\"J\"><High Value=\"15\" Formula=\"X+(X*Y%)\"/><Low Value=\"90\" Formula=\"Y\"/></Limit>"
                                            "<Limit Key=\"ENGY\" Unit=\"J\"><High Value=\"110\"/></Limit>"
                                            "<Limit Key=\"ENGY\" Unit=\"kJ\"><High Value=\"0.2\"/></Limit>"
                                            "</Standard></ExpectedResult>")));
    d.limits->Load(doc->DocumentElement(), nullptr);
    ASSERT_TRUE(d.open());
    auto recorder = std::make_shared<Recorder>();
    d.dialog->SetCallBack(recorder);
    const QList<Ptr<ILimit>> limits = d.limits->Standards()->Item(0)->Limits();
    ASSERT_EQ(limits.size(), 3);

    auto line = [&](int row) {
        QStringList cells;
        for (int c = HighColumn; c <= LowFormulaColumn; ++c)
            cells << (d.table->cellWidget(row, c) ? d.formulas(row, c == FormulaColumn ? elvHigh : elvLow)->currentText() : d.table->item(row, c)->text());
        return cells.join(QLatin1Char(' '));
    };
    ASSERT_EQ(d.table->rowCount(), 3);
    EXPECT_EQ(d.column(-1), (QStringList{"Energy", "Energy (2)", "Energy (3)"}));
    EXPECT_EQ(line(0), QStringLiteral("15 % X+(X*Y%) 90 J Y"));
    EXPECT_EQ(line(1), QStringLiteral("110 J Y  J Y"));
    // A unit edited into the file is shown as the report prints it.
    EXPECT_EQ(line(2), QStringLiteral("0.2 kJ Y  kJ Y"));

    d.type(1, HighColumn, QStringLiteral("105"));
    EXPECT_EQ(limits[1]->Value(elvHigh), 105.0f);
    EXPECT_EQ(limits[0]->Value(elvHigh), 15.0f);
    // A side's formula is its own: the other side keeps its own.
    d.formulas(0, elvLow)->setCurrentText(QStringLiteral("X+(X*Y%)"));
    EXPECT_EQ(limits[0]->Formula(elvLow), QStringLiteral("X+(X*Y%)"));
    EXPECT_EQ(line(0), QStringLiteral("15 % X+(X*Y%) 90 % X+(X*Y%)"));
    d.formulas(0, elvHigh)->setCurrentText(QStringLiteral("Y"));
    EXPECT_EQ(limits[0]->Formula(elvHigh), QStringLiteral("Y"));
    EXPECT_EQ(line(0), QStringLiteral("15 J Y 90 % X+(X*Y%)"));
    EXPECT_EQ(recorder->events, (QStringList{"Change", "Change", "Change"}));
    d.dialog->Unload();
}
