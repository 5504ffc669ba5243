#include "host/XLimitView.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>
#include <utility>

#include "host/Standards.h"
#include "platform/Automation.h"
#include "platform/PluginError.h"

namespace kelto::host {

namespace {

QString normalised(const QString& formula)
{
    QString f = formula;
    f.remove(QLatin1Char(' '));
    return f.toUpper();
}

bool isPlain(const QString& formula)
{
    const QString f = normalised(formula);
    return f.isEmpty() || f == QLatin1String("Y");
}

// "<op>Y;X+Y;X+(X*Y%)</op>" gives its formulas; anything else none.
QStringList parseOperators(const QString& list)
{
    QString text = list.trimmed();
    if (!text.startsWith(QLatin1String("<op>")) || !text.endsWith(QLatin1String("</op>")))
        return {};
    text = text.mid(4, text.size() - 9);
    QStringList out;
    for (const QString& part : text.split(QLatin1Char(';'))) {
        if (!part.trimmed().isEmpty())
            out << part.trimmed();
    }
    return out;
}

QString valueText(const Ptr<ILimit>& limit, int index)
{
    if (!limit || !limit->HasValue(index))
        return {};
    return singleToString(limit->Value(index));
}

// A standard's complete name may be a long sentence: the box asks for no more room
// than a short name and shows the chosen one elided, whole in its tooltip.
class ElidingComboBox : public QComboBox {
public:
    explicit ElidingComboBox(QWidget* parent) : QComboBox(parent)
    {
        setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        setMinimumContentsLength(16);
        connect(this, &QComboBox::currentIndexChanged, this, [this] { setToolTip(currentText()); });
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter painter(this);
        QStyleOptionComboBox option;
        initStyleOption(&option);
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
        option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideRight, field.width());
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    }
};

} // namespace

XLimitView::XLimitView() : m_panel(new QWidget)
{
    m_panel->setObjectName(QStringLiteral("XLimitView"));
    auto* layout = new QVBoxLayout(m_panel);
    auto* top = new QHBoxLayout;
    auto* label = new QLabel(QStringLiteral("Standard:"), m_panel);
    m_standards = new ElidingComboBox(m_panel);
    m_standards->setObjectName(QStringLiteral("standards"));
    label->setBuddy(m_standards);
    top->addWidget(label);
    top->addWidget(m_standards, 1);
    layout->addLayout(top);

    m_table = new QTableWidget(0, ColumnCount, m_panel);
    m_table->setObjectName(QStringLiteral("limits"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Key"), QStringLiteral("Unit"), QStringLiteral("High"), QStringLiteral("Low"), QStringLiteral("Formula")});
    // The values share what room is left once key, unit and formula are shown whole,
    // so that the formula is never scrolled out of view.
    QHeaderView* header = m_table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(HighColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(LowColumn, QHeaderView::Stretch);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(m_table, 1);

    // Connections end with this object, whatever window the panel lives on by then.
    m_context = std::make_unique<QObject>();
    QObject::connect(m_standards, &QComboBox::currentIndexChanged, m_context.get(), [this] {
        if (!m_filling)
            fillValues();
    });
    QObject::connect(m_table, &QTableWidget::itemChanged, m_context.get(), [this](QTableWidgetItem* item) { valueEdited(item); });
    applyLocks();
}

XLimitView::~XLimitView()
{
    m_context.reset();
    // A view never placed in a window has no owner but us.
    if (m_panel && !m_panel->parent())
        delete m_panel.data();
}

WindowHandle XLimitView::hWnd()
{
    return m_panel;
}

bool XLimitView::Visible()
{
    return m_panel && !m_panel->isHidden();
}

void XLimitView::SetVisible(bool visible)
{
    if (m_panel)
        m_panel->setVisible(visible);
}

void XLimitView::SetLocked(bool locked)
{
    m_locked = locked;
    applyLocks();
}

void XLimitView::SetFocus()
{
    if (m_table)
        m_table->setFocus();
}

void XLimitView::AddLimitRow(const QString& key, const QString& caption, const QString& unit, const QString& operators)
{
    const Row row{key, caption, unit, parseOperators(operators)};
    const int index = static_cast<int>(m_rows.size());
    m_rows.append(row);

    m_filling = true;
    m_table->insertRow(index);
    auto fixed = [](const QString& text) {
        auto* item = new QTableWidgetItem(text);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        return item;
    };
    m_table->setVerticalHeaderItem(index, new QTableWidgetItem(caption));
    m_table->setItem(index, KeyColumn, fixed(key));
    m_table->setItem(index, UnitColumn, fixed(unit));
    m_table->setItem(index, HighColumn, new QTableWidgetItem);
    m_table->setItem(index, LowColumn, new QTableWidgetItem);
    if (row.operators.isEmpty()) {
        m_table->setItem(index, FormulaColumn, fixed(QString()));
    } else {
        auto* box = new QComboBox;
        box->addItems(row.operators);
        m_table->setCellWidget(index, FormulaColumn, box);
        QObject::connect(box, &QComboBox::currentTextChanged, m_context.get(), [this, box](const QString& formula) {
            for (int r = 0; r < m_table->rowCount(); ++r) {
                if (m_table->cellWidget(r, FormulaColumn) == box)
                    formulaChosen(r, formula);
            }
        });
    }
    m_filling = false;
    fillValues();
}

void XLimitView::Initialize(const Variant& inData)
{
    m_limits = valueOr([&] { return inData.toInterface<ILimitData>(); }, Ptr<ILimitData>());
    fillStandards();
    fillValues();
}

void XLimitView::Refresh()
{
    fillStandards();
    fillValues();
}

QComboBox* XLimitView::formulaBox(int row) const
{
    return qobject_cast<QComboBox*>(m_table->cellWidget(row, FormulaColumn));
}

QStringList XLimitView::operators(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows[row].operators : QStringList();
}

Ptr<IStandard> XLimitView::currentStandard() const
{
    const Ptr<IStandardCollection> standards = m_limits ? valueOr([&] { return m_limits->Standards(); }, Ptr<IStandardCollection>()) : nullptr;
    const int index = m_standards->currentIndex();
    if (!standards || index < 0 || index >= standards->Count())
        return nullptr;
    return standards->Item(index);
}

void XLimitView::fillStandards()
{
    m_filling = true;
    const int previous = m_standards->currentIndex();
    m_standards->clear();
    const Ptr<IStandardCollection> standards = m_limits ? valueOr([&] { return m_limits->Standards(); }, Ptr<IStandardCollection>()) : nullptr;
    for (int i = 0; standards && i < standards->Count(); ++i) {
        const Ptr<IStandard> s = standards->Item(i);
        const QString alpha = s->AlphaName();
        const QString complete = s->CompleteName();
        const QString name = complete.isEmpty() || complete == alpha ? alpha : QStringLiteral("%1 (%2)").arg(alpha, complete);
        m_standards->addItem(name);
        m_standards->setItemData(m_standards->count() - 1, name, Qt::ToolTipRole);
    }
    if (m_standards->count() > 0)
        m_standards->setCurrentIndex(previous >= 0 && previous < m_standards->count() ? previous : 0);
    m_filling = false;
}

void XLimitView::fillValues()
{
    m_filling = true;
    const Ptr<IStandard> standard = currentStandard();
    for (int r = 0; r < m_rows.size(); ++r) {
        const Ptr<ILimit> limit = standard ? standard->FindLimit(m_rows[r].key) : nullptr;
        m_table->item(r, HighColumn)->setText(valueText(limit, elvHigh));
        m_table->item(r, LowColumn)->setText(valueText(limit, elvLow));
        showUnit(r, limit ? limit->Formula(elvHigh) : QString());
        if (QComboBox* box = formulaBox(r)) {
            // One formula per row: the high side's, or the low side's where the high side has none.
            QString formula = limit ? limit->Formula(elvHigh) : QString();
            if (isPlain(formula))
                formula = QStringLiteral("Y");
            int index = -1;
            for (int i = 0; i < box->count(); ++i) {
                if (normalised(box->itemText(i)) == normalised(formula))
                    index = i;
            }
            if (index < 0) {
                // A formula from elsewhere that the row does not offer is still shown.
                box->addItem(formula);
                index = box->count() - 1;
            }
            box->setCurrentIndex(index);
        }
    }
    m_filling = false;
    applyLocks();
}

void XLimitView::showUnit(int row, const QString& formula)
{
    // A percentage formula holds percent of the preset, not values in the row's unit.
    const QString unit = formula.contains(QLatin1Char('%')) ? QStringLiteral("%") : m_rows[row].unit;
    const bool filling = std::exchange(m_filling, true);
    m_table->item(row, UnitColumn)->setText(unit);
    m_filling = filling;
}

void XLimitView::applyLocks()
{
    const bool editable = !m_locked && currentStandard();
    m_table->setEditTriggers(editable ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed
                                      : QAbstractItemView::NoEditTriggers);
    for (int r = 0; r < m_table->rowCount(); ++r) {
        if (QComboBox* box = formulaBox(r))
            box->setEnabled(editable);
    }
}

Ptr<ILimit> XLimitView::limitFor(int row)
{
    const Ptr<IStandard> standard = currentStandard();
    if (!standard)
        return nullptr;
    const Row& r = m_rows[row];
    if (Ptr<ILimit> limit = standard->FindLimit(r.key))
        return limit;
    auto made = std::make_shared<Limit>();
    made->Initialize(r.key, r.unit, QString(), QString());
    standard->AddLimit(made);
    return made;
}

void XLimitView::valueEdited(QTableWidgetItem* item)
{
    if (m_filling || !item || (item->column() != HighColumn && item->column() != LowColumn))
        return;
    const int row = item->row();
    const int index = item->column() == HighColumn ? elvHigh : elvLow;
    const QString text = item->text().trimmed();
    double number = 0;
    const bool valid = text.isEmpty() || (parseNumber(text, &number) && std::isfinite(static_cast<float>(number)));
    bool done = false;
    if (valid && !m_locked) {
        ignoreErrors([&] {
            const Ptr<ILimit> limit = limitFor(row);
            if (!limit)
                return;
            if (text.isEmpty())
                limit->ClearValue(index);
            else
                limit->SetValue(index, static_cast<float>(number));
            done = true;
        });
    }
    // Show what the standard now holds: the value as stored, or the old one after a refusal.
    fillValues();
    if (done)
        changed();
}

void XLimitView::formulaChosen(int row, const QString& formula)
{
    if (m_filling || m_locked)
        return;
    bool done = false;
    ignoreErrors([&] {
        const Ptr<ILimit> limit = limitFor(row);
        if (!limit)
            return;
        // One formula per row: the high and the low limit are relative alike.
        limit->SetFormula(elvHigh, formula);
        limit->SetFormula(elvLow, formula);
        done = true;
    });
    if (done) {
        showUnit(row, formula);
        changed();
    }
}

void XLimitView::changed()
{
    if (m_callBack)
        ignoreErrors([&] { m_callBack->FireEvent(QStringLiteral("Change"), {}); });
}

} // namespace kelto::host
