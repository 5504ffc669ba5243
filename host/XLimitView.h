#pragma once
// The host's limit view: edits the limits of one test. The plug-in names the rows
// (AddLimitRow) and hands over its limits (Initialize); the operator picks one of
// the test's standards and edits every limit the standard holds for a row's key,
// one line each (one empty line where it holds none): per side the value and,
// where the row offers formulas, the formula, beside the unit that side's formula
// makes. Each edit goes straight into the standard and is announced to the
// callback with "Change".

#include <QList>
#include <QPointer>
#include <QStringList>
#include <memory>

#include "platform/interfaces/Controls.h"
#include "platform/interfaces/Standards.h"
#include "platform/interfaces/TestData.h"

class QComboBox;
class QObject;
class QTableWidget;
class QTableWidgetItem;
class QWidget;

namespace kelto::host {

class XLimitView : public ICustomControl, public ILimitView {
public:
    // Each side of a limit has its value, its unit and its formula.
    enum Column { KeyColumn, HighColumn, HighUnitColumn, HighFormulaColumn, LowColumn, LowUnitColumn, LowFormulaColumn, ColumnCount };

    XLimitView();
    ~XLimitView() override;

    // ILimitView
    void AddLimitRow(const QString& key, const QString& caption, const QString& unit, const QString& operators) override;

    // ICustomControl
    Ptr<ICallBack> CallBack() override { return m_callBack; }
    void SetCallBack(const Ptr<ICallBack>& callBack) override { m_callBack = callBack; }
    WindowHandle hWnd() override;
    bool Visible() override;
    void SetVisible(bool visible) override;
    bool Locked() override { return m_locked; }
    void SetLocked(bool locked) override;
    void Initialize(const Variant& inData) override;
    void Refresh() override;
    void SetFocus() override;

    // For the host window and tests.
    QTableWidget* table() const { return m_table; }
    QComboBox* standardBox() const { return m_standards; }
    // The formula list of one side of a line; null where the row offers none.
    QComboBox* formulaBox(int line, int side) const;
    // The formulas a row offers ("Y", "X+Y", "X+(X*Y%)"); empty for none.
    QStringList operators(int row) const;
    Ptr<IStandard> currentStandard() const;

private:
    struct Row {
        QString key;
        QString caption;
        QString unit;
        QStringList operators;
    };
    // A line of the table: the nth limit of a row's key in the chosen standard.
    struct Line {
        int row;
        int nth;
    };

    void fillStandards();
    // Lays out one line per limit of each row's key, then shows the values.
    void buildLines();
    void fillValues();
    void applyLocks();
    void valueEdited(QTableWidgetItem* item);
    // Tells the operator that the text typed is no value the limit can take, and what it keeps.
    void refuse(int line, int index, const QString& text);
    void formulaChosen(QComboBox* box, const QString& formula);
    // The limit a line shows; null for the empty line of a key without one.
    Ptr<ILimit> limitAt(int line) const;
    // The same, made and added to the standard when the line has none yet.
    Ptr<ILimit> limitFor(int line);
    void changed();

    QPointer<QWidget> m_panel; // owned by whatever window holds it
    std::unique_ptr<QObject> m_context; // ends the connections with this object
    QComboBox* m_standards = nullptr;
    QTableWidget* m_table = nullptr;
    QList<Row> m_rows;
    QList<Line> m_lines;
    Ptr<ILimitData> m_limits;
    Ptr<ICallBack> m_callBack;
    bool m_locked = false;
    bool m_filling = false;
};

} // namespace kelto::host
