#pragma once
// The host's limit view: edits the limits of one test. The plug-in names the rows
// (AddLimitRow) and hands over its limits (Initialize); the operator picks one of
// the test's standards and edits, per row, the high and low value and, where the
// row offers formulas, the formula of the limit. Each edit goes straight into the
// standard and is announced to the callback with "Change".

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
    enum Column { KeyColumn, UnitColumn, HighColumn, LowColumn, FormulaColumn, ColumnCount };

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
    // The formula list of a row; null for a row without one.
    QComboBox* formulaBox(int row) const;
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

    void fillStandards();
    void fillValues();
    void showUnit(int row, const QString& formula);
    void applyLocks();
    void valueEdited(QTableWidgetItem* item);
    void formulaChosen(int row, const QString& formula);
    // The standard's limit of the row's key, made when absent; relative when the
    // formula asks for it.
    Ptr<ILimit> limitFor(int row);
    void changed();

    QPointer<QWidget> m_panel; // owned by whatever window holds it
    std::unique_ptr<QObject> m_context; // ends the connections with this object
    QComboBox* m_standards = nullptr;
    QTableWidget* m_table = nullptr;
    QList<Row> m_rows;
    Ptr<ILimitData> m_limits;
    Ptr<ICallBack> m_callBack;
    bool m_locked = false;
    bool m_filling = false;
};

} // namespace kelto::host
