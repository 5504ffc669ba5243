#include "framework/guide/XChargeResult.h"

#include <QEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QTreeWidget>

#include "framework/HostServices.h"
#include "framework/guide/PressFilter.h"
#include "framework/guide/GuideLayout.h"
#include "platform/Automation.h"
#include "platform/Deref.h"
#include "platform/interfaces/GuideControls.h"
#include "platform/interfaces/Standards.h"
#include "platform/interfaces/TestData.h"

namespace kelto {

namespace {

constexpr int kKeyRole = Qt::UserRole;
const QString kBlank = QStringLiteral(" ");

enum Column { colDescription = 0, colValue = 1, colHigh = 2, colLow = 3 };

// A reading as the list shows it: automation's text of the Single, with a full
// stop as the limits beside it and every other view have, whatever the locale.
QString numberText(const Variant& value)
{
    return singleToString(value.toSingle());
}

void setCell(QTreeWidgetItem* item, int column, const Variant& value, const QString& toolTip)
{
    QString text = kBlank;
    if (!value.isEmpty()) {
        text = value.toString();
        if (text.isEmpty())
            text = kBlank;
    }
    item->setText(column, text);
    item->setToolTip(column, toolTip);
}

} // namespace

XChargeResult::XChargeResult() : m_widget(new guide::LayoutWidget)
{
    auto* control = static_cast<guide::LayoutWidget*>(m_widget.data());
    control->setObjectName(QStringLiteral("XChargeResult"));
    lvwResult = new QTreeWidget(control);
    lvwResult->setObjectName(QStringLiteral("lvwResult"));
    control->onResize = [this] {
        if (m_widget)
            lvwResult->setGeometry(0, 0, m_widget->width(), m_widget->height());
    };
    ignoreErrors([&] { textTranslator()->TranslateForm(kOwnerWord, control); });

    // The columns are built on a hidden list.
    lvwResult->hide();
    lvwResult->setRootIsDecorated(false);
    lvwResult->setUniformRowHeights(true);
    lvwResult->setSelectionMode(QAbstractItemView::SingleSelection);
    struct ColumnSpec {
        const char* caption;
        int widthTwips;
        Qt::Alignment alignment;
    };
    const ColumnSpec columns[] = {{"20135::Settings", 2450, Qt::AlignLeft},
        {"230::Measurement", 1550, Qt::AlignRight}, {"232::High limit", 1550, Qt::AlignRight},
        {"233::Low limit", 1550, Qt::AlignRight}};
    lvwResult->setColumnCount(4);
    auto* header = new QTreeWidgetItem;
    for (int i = 0; i < 4; ++i) {
        QString caption = QLatin1String(columns[i].caption);
        ignoreErrors([&] { caption = translate(caption); });
        header->setText(i, caption);
        header->setTextAlignment(i, columns[i].alignment | Qt::AlignVCenter);
    }
    lvwResult->setHeaderItem(header);
    for (int i = 0; i < 4; ++i)
        lvwResult->setColumnWidth(i, guide::twipsToPxX(columns[i].widthTwips, lvwResult));
    lvwResult->show();

    lvwResult->viewport()->installEventFilter(new PressFilter(
        [this](QMouseEvent* e) { mouseDown(static_cast<int>(e->button()), e->modifiers(), e->position().toPoint()); }, lvwResult));
}

XChargeResult::~XChargeResult()
{
    delete m_widget.data();
}

void XChargeResult::SetLimits(const Ptr<ILimitData>& limits)
{
    ignoreErrors([&] { miscStandards = limits ? limits->Standards() : nullptr; });
}

void XChargeResult::Clear()
{
    ignoreErrors([&] { lvwResult->clear(); });
}

QTreeWidgetItem* XChargeResult::row(const QString& key) const
{
    for (int i = 0; i < lvwResult->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = lvwResult->topLevelItem(i);
        if (item->data(colDescription, kKeyRole).toString() == key)
            return item;
    }
    return nullptr;
}

void XChargeResult::ShowTestResult(const Ptr<IResultData>& result)
{
    mirdResult = result;
    ignoreErrors([&] { lvwResult->clear(); });
    if (result) {
        std::int32_t count = 0;
        ignoreErrors([&] { count = result->MeasurementCount(); });
        for (std::int32_t i = 1; i <= count; ++i) {
            Ptr<IMeasurement> measurement;
            ignoreErrors([&] { measurement = result->Measurement(Variant(i)); });
            if (measurement)
                showMeasurement(measurement);
        }
    }
    // The standard chosen last is shown again, as the operator chose to see it.
    if (!msCName.isEmpty() && !msAName.isEmpty())
        SelectStandard(msAName, msCName, mfCalc);
    ignoreErrors([&] { lvwResult->viewport()->update(); });
}

void XChargeResult::showMeasurement(const Ptr<IMeasurement>& measurement)
{
    QString key;
    ignoreErrors([&] { key = measurement->Key(); });
    QTreeWidgetItem* item = row(key);
    if (!item) {
        item = new QTreeWidgetItem;
        item->setData(colDescription, kKeyRole, key);
        ignoreErrors([&] { item->setText(colDescription, measurement->Description()); });
        for (int column = colValue; column <= colLow; ++column) {
            item->setText(column, kBlank);
            item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
        }
        lvwResult->addTopLevelItem(item);
    }
    std::int32_t status = 0;
    ignoreErrors([&] { status = measurement->Status(); });
    ignoreErrors([&] {
        QString text;
        const Variant value = measurement->value();
        // A place no reading reached (a discharge that never came) is no 0.
        if (status == emsNone || value.isEmpty() || value.isNull()) {
            text = kBlank;
        } else if (value.isString() && value.toString() == QLatin1String("NOSYNC")) {
            text = value.toString();
            if (!text.isEmpty())
                text += QLatin1Char(' ');
        } else {
            text = numberText(value) + QLatin1Char(' ') + measurement->Unit();
        }
        item->setText(colValue, text);
    });
    colourRow(item, status);
    ignoreErrors([&] {
        for (QTreeWidgetItem* selected : lvwResult->selectedItems())
            selected->setSelected(false);
    });
}

void XChargeResult::colourRow(QTreeWidgetItem* item, std::int32_t status)
{
    const bool failed = status == emsFailed;
    const QColor colour = olecolor::toQColor(failed ? olecolor::Red : 0);
    for (int column = 0; column < 4; ++column) {
        QFont font = item->font(column);
        font.setBold(failed);
        item->setFont(column, font);
        item->setForeground(column, colour);
    }
}

void XChargeResult::SelectStandard(const QString& alphaName, const QString& completeName, bool calculate)
{
    msCName = completeName;
    msAName = alphaName;
    mfCalc = calculate;
    Ptr<IStandard> standard;
    ignoreErrors([&] {
        if (miscStandards)
            standard = miscStandards->Find(0, alphaName, completeName);
    });
    if (!standard) {
        // No names: no standard judges the result, so no limit of one chosen before
        // may stand beside it.
        if (alphaName.isEmpty() && completeName.isEmpty()) {
            for (int i = 0; i < lvwResult->topLevelItemCount(); ++i) {
                setCell(lvwResult->topLevelItem(i), colHigh, Variant(), QString());
                setCell(lvwResult->topLevelItem(i), colLow, Variant(), QString());
            }
        }
        return;
    }
    const std::int32_t format = eff::Text | eff::Unit | (calculate ? eff::Calculate : 0);
    for (int i = 0; i < lvwResult->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = lvwResult->topLevelItem(i);
        const QString key = item->data(colDescription, kKeyRole).toString();
        if (key.isEmpty())
            continue;
        Ptr<IMeasurement2> measurement;
        ignoreErrors([&] { measurement = query<IMeasurement2>(mirdResult ? mirdResult->Measurement(Variant(key)) : nullptr); });
        ignoreErrors([&] { setCell(item, colHigh, deref(measurement).GetLimitValue(standard, elvHigh, format), completeName); });
        ignoreErrors([&] { setCell(item, colLow, deref(measurement).GetLimitValue(standard, elvLow, format), completeName); });
    }
}

void XChargeResult::mouseDown(int button, Qt::KeyboardModifiers modifiers, const QPoint& pos)
{
    if (!m_events)
        return;
    // Buttons and shift state as the host's controls report them: 1 left, 2 right, 4 middle.
    std::int16_t code = 0;
    if (button == Qt::LeftButton)
        code = 1;
    else if (button == Qt::RightButton)
        code = 2;
    else if (button == Qt::MiddleButton)
        code = 4;
    std::int16_t shift = 0;
    if (modifiers & Qt::ShiftModifier)
        shift |= 1;
    if (modifiers & Qt::ControlModifier)
        shift |= 2;
    if (modifiers & Qt::AltModifier)
        shift |= 4;
    const float x = static_cast<float>(guide::pxToTwipsX(pos.x(), lvwResult));
    const float y = static_cast<float>(guide::pxToTwipsY(pos.y(), lvwResult));
    const ObjectEventHandler handler = m_events;
    handler(QStringLiteral("MouseDown"), {Variant(code), Variant(shift), Variant(x), Variant(y)});
}

} // namespace kelto
