#pragma once
// The grid result view of the waveform tests: one row with the measurement's
// description and a "Passed" and a "Failed" box. A left click in a box, once a
// waveform has been played (gfWaveRunning), stores the operator's verdict in the
// measurement (value and status), redraws the row and raises "ItemClicked".

#include <QPointer>
#include <QWidget>

#include "framework/guide/ITarvoXResult.h"

class QTableWidget;

namespace kelto {

class XTestResult : public ITarvoXResult, public IEmbeddedControl {
public:
    XTestResult();
    ~XTestResult() override;

    // ITarvoXResult; only ShowTestResult and Clear act.
    void SetLimits(const Ptr<ILimitData>&) override {}
    void Clear() override;
    void ShowTestResult(const Ptr<IResultData>& result) override;
    void SelectStandard(const QString&, const QString&, bool) override {}

    // IEmbeddedControl
    QWidget* widget() override { return m_widget; }
    void SetObjectEventHandler(ObjectEventHandler handler) override { m_events = std::move(handler); }

    QTableWidget* grid() const { return sgResult; }
    // The check box state a cell shows (image index 0 empty, 1 ticked); -1 without one.
    int imageIndex(int row, int column) const;
    // The measurement key a column's tag holds (columns from 1).
    QString columnTag(int column) const;

private:
    void drawRow(const Variant& verdict);
    void setBoxCell(int column, int image);
    void storeVerdict(int row, int column);
    void mouseDown(int button, int column);

    QPointer<QWidget> m_widget; // the guide window owns it once added
    QTableWidget* sgResult = nullptr;
    ObjectEventHandler m_events;
    Ptr<IResultData> mirdResult;
};

} // namespace kelto
