#pragma once
// The list result view: one row per measurement of the result with its value and
// the high and low limits of the standard chosen in the guide's toolbar; rows of
// failed measurements are bold and red. It only displays: no measurement or result
// is ever changed here. Raises "MouseDown" (button, shift, x, y) for every press.

#include <QPointer>
#include <QWidget>

#include "framework/guide/ITarvoXResult.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace kelto {

class IMeasurement;
class IStandardCollection;

class XChargeResult : public ITarvoXResult, public IEmbeddedControl {
public:
    XChargeResult();
    ~XChargeResult() override;

    // ITarvoXResult
    void SetLimits(const Ptr<ILimitData>& limits) override;
    void Clear() override;
    void ShowTestResult(const Ptr<IResultData>& result) override;
    void SelectStandard(const QString& alphaName, const QString& completeName, bool calculate) override;

    // IEmbeddedControl
    QWidget* widget() override { return m_widget; }
    void SetObjectEventHandler(ObjectEventHandler handler) override { m_events = std::move(handler); }

    QTreeWidget* list() const { return lvwResult; }
    // The row of a measurement key; null when there is none.
    QTreeWidgetItem* row(const QString& key) const;

private:
    void showMeasurement(const Ptr<IMeasurement>& measurement);
    static void colourRow(QTreeWidgetItem* item, std::int32_t status);
    void mouseDown(int button, Qt::KeyboardModifiers modifiers, const QPoint& pos);

    QPointer<QWidget> m_widget; // the guide window owns it once added
    QTreeWidget* lvwResult = nullptr;
    ObjectEventHandler m_events;

    Ptr<IResultData> mirdResult;
    Ptr<IStandardCollection> miscStandards;
    QString msCName;
    QString msAName;
    // The operator's "Relative" choice for the standard shown.
    bool mfCalc = false;
};

} // namespace kelto
