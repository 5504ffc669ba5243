#include "host/XLimitView.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "host/Standards.h"
#include "platform/Automation.h"
#include "platform/MessageBox.h"
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

constexpr int kValueColumn[2] = {XLimitView::HighColumn, XLimitView::LowColumn};
constexpr int kUnitColumn[2] = {XLimitView::HighUnitColumn, XLimitView::LowUnitColumn};
constexpr int kFormulaColumn[2] = {XLimitView::HighFormulaColumn, XLimitView::LowFormulaColumn};

QTableWidgetItem* fixedItem(const QString& text = {})
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
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
    m_table->setHorizontalHeaderLabels({QStringLiteral("Key"), QStringLiteral("High"), QStringLiteral("Unit"), QStringLiteral("Formula"), QStringLiteral("Low"),
        QStringLiteral("Unit"), QStringLiteral("Formula")});
    // The values share what room is left once key, units and formulas are shown
    // whole, so that no formula is ever scrolled out of view.
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
            buildLines();
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
    m_rows.append(Row{key, caption, unit, parseOperators(operators)});
    buildLines();
}

void XLimitView::Initialize(const Variant& inData)
{
    m_limits = valueOr([&] { return inData.toInterface<ILimitData>(); }, Ptr<ILimitData>());
    fillStandards();
    buildLines();
}

void XLimitView::Refresh()
{
    fillStandards();
    buildLines();
}

QComboBox* XLimitView::formulaBox(int line, int side) const
{
    if (side != elvHigh && side != elvLow)
        return nullptr;
    return qobject_cast<QComboBox*>(m_table->cellWidget(line, kFormulaColumn[side]));
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

void XLimitView::buildLines()
{
    // Every limit of a row's key is judged and printed, so each has a line to be
    // seen and edited on.
    const Ptr<IStandard> standard = currentStandard();
    const QList<Ptr<ILimit>> limits = standard ? valueOr([&] { return standard->Limits(); }, QList<Ptr<ILimit>>()) : QList<Ptr<ILimit>>();
    m_lines.clear();
    for (int r = 0; r < m_rows.size(); ++r) {
        int count = 0;
        for (const Ptr<ILimit>& limit : limits)
            if (limit && limit->Key() == m_rows[r].key)
                ++count;
        for (int nth = 0; nth < std::max(count, 1); ++nth)
            m_lines.append(Line{r, nth});
    }

    m_filling = true;
    m_table->clearContents();
    m_table->setRowCount(static_cast<int>(m_lines.size()));
    for (int line = 0; line < m_lines.size(); ++line) {
        const Row& row = m_rows[m_lines[line].row];
        const int nth = m_lines[line].nth;
        m_table->setVerticalHeaderItem(line, new QTableWidgetItem(nth == 0 ? row.caption : QStringLiteral("%1 (%2)").arg(row.caption).arg(nth + 1)));
        m_table->setItem(line, KeyColumn, fixedItem(row.key));
        for (int side : {elvHigh, elvLow}) {
            m_table->setItem(line, kValueColumn[side], new QTableWidgetItem);
            m_table->setItem(line, kUnitColumn[side], fixedItem());
            if (row.operators.isEmpty()) {
                m_table->setItem(line, kFormulaColumn[side], fixedItem());
                continue;
            }
            auto* box = new QComboBox;
            box->addItems(row.operators);
            m_table->setCellWidget(line, kFormulaColumn[side], box);
            QObject::connect(box, &QComboBox::currentTextChanged, m_context.get(), [this, box](const QString& formula) { formulaChosen(box, formula); });
        }
    }
    m_filling = false;
    fillValues();
}

Ptr<ILimit> XLimitView::limitAt(int line) const
{
    const Ptr<IStandard> standard = currentStandard();
    if (!standard || line < 0 || line >= m_lines.size())
        return nullptr;
    const QString& key = m_rows[m_lines[line].row].key;
    int nth = m_lines[line].nth;
    for (const Ptr<ILimit>& limit : standard->Limits()) {
        if (limit && limit->Key() == key && nth-- == 0)
            return limit;
    }
    return nullptr;
}

void XLimitView::fillValues()
{
    m_filling = true;
    for (int line = 0; line < m_lines.size(); ++line) {
        const Row& row = m_rows[m_lines[line].row];
        const Ptr<ILimit> limit = valueOr([&] { return limitAt(line); }, Ptr<ILimit>());
        for (int side : {elvHigh, elvLow}) {
            // The formula the side computes with: its own, else the other side's.
            const QString formula = limit ? valueOr([&] { return limit->Formula(side); }, QString()) : QString();
            m_table->item(line, kValueColumn[side])->setText(valueText(limit, side));
            // A percentage formula holds percent of the preset, not values in the row's
            // unit. Else the unit the standard gives the limit, as the report prints it;
            // the row's own where there is no limit yet, as one made here gets it.
            const QString own = limit ? valueOr([&] { return limit->Unit(); }, QString()) : row.unit;
            const QString unit = formula.contains(QLatin1Char('%')) ? QStringLiteral("%") : own;
            QTableWidgetItem* unitItem = m_table->item(line, kUnitColumn[side]);
            unitItem->setText(unit);
            unitItem->setToolTip(unit); // whole where the cell cuts it short
            if (QComboBox* box = formulaBox(line, side)) {
                const QString shown = isPlain(formula) ? QStringLiteral("Y") : formula;
                int index = -1;
                for (int i = 0; i < box->count(); ++i) {
                    if (normalised(box->itemText(i)) == normalised(shown))
                        index = i;
                }
                if (index < 0) {
                    // A formula from elsewhere that the row does not offer is still shown.
                    box->addItem(shown);
                    index = box->count() - 1;
                }
                box->setCurrentIndex(index);
            } else {
                m_table->item(line, kFormulaColumn[side])->setText(isPlain(formula) ? QString() : formula);
            }
        }
    }
    m_filling = false;
    applyLocks();
}

void XLimitView::applyLocks()
{
    const bool editable = !m_locked && currentStandard();
    m_table->setEditTriggers(editable ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed
                                      : QAbstractItemView::NoEditTriggers);
    for (int line = 0; line < m_table->rowCount(); ++line) {
        for (int side : {elvHigh, elvLow})
            if (QComboBox* box = formulaBox(line, side))
                box->setEnabled(editable);
    }
}

Ptr<ILimit> XLimitView::limitFor(int line)
{
    if (Ptr<ILimit> limit = limitAt(line))
        return limit;
    const Ptr<IStandard> standard = currentStandard();
    if (!standard || line < 0 || line >= m_lines.size())
        return nullptr;
    const Row& r = m_rows[m_lines[line].row];
    auto made = std::make_shared<Limit>();
    made->Initialize(r.key, r.unit, QString(), QString());
    standard->AddLimit(made);
    return made;
}

void XLimitView::valueEdited(QTableWidgetItem* item)
{
    if (m_filling || !item || (item->column() != HighColumn && item->column() != LowColumn))
        return;
    const int line = item->row();
    const int index = item->column() == HighColumn ? elvHigh : elvLow;
    const QString text = item->text().trimmed();
    // An empty cell leaves the side without a value, as an empty one in a file does.
    const std::optional<float> number = text.isEmpty() ? std::nullopt : limitValue(text);
    const bool valid = text.isEmpty() || number;
    bool done = false;
    if (valid && !m_locked) {
        ignoreErrors([&] {
            const Ptr<ILimit> limit = limitFor(line);
            if (!limit)
                return;
            if (text.isEmpty())
                limit->ClearValue(index);
            else
                limit->SetValue(index, *number);
            done = true;
        });
    }
    // Show what the standard now holds: the value as stored, or the old one after a refusal.
    fillValues();
    if (done)
        changed();
    else if (!valid && !m_locked)
        refuse(line, index, text);
}

void XLimitView::refuse(int line, int index, const QString& text)
{
    // The operator who typed "1,5" meant a value: the cell showing the old one again
    // must not look as if it was taken.
    const Ptr<IStandard> standard = currentStandard();
    const Ptr<ILimit> limit = limitAt(line);
    const QString key = line >= 0 && line < m_lines.size() ? m_rows[m_lines[line].row].key : QString();
    const QString kept = limit && valueOr([&] { return limit->HasValue(index); }, false)
        ? QStringLiteral("The limit keeps %1.").arg(valueText(limit, index))
        : QStringLiteral("The limit stays without a %1 value.").arg(index == elvHigh ? QStringLiteral("High") : QStringLiteral("Low"));
    MsgBox(refusedLimitValue(index, text, key, standard ? valueOr([&] { return standard->AlphaName(); }, QString()) : QString(), QString())
            + QLatin1Char(' ') + kept,
        mb::OKOnly | mb::Exclamation, QStringLiteral("Limits"));
}

void XLimitView::formulaChosen(QComboBox* box, const QString& formula)
{
    if (m_filling)
        return;
    int line = -1;
    int side = elvHigh;
    for (int l = 0; l < m_lines.size() && line < 0; ++l) {
        for (int s : {elvHigh, elvLow})
            if (formulaBox(l, s) == box) {
                line = l;
                side = s;
            }
    }
    bool done = false;
    if (line >= 0 && !m_locked) {
        ignoreErrors([&] {
            const Ptr<ILimit> limit = limitFor(line);
            if (!limit)
                return;
            // The side's own formula; a side without one computes with this one too.
            limit->SetFormula(side, formula);
            done = true;
        });
    }
    fillValues();
    if (done)
        changed();
}

void XLimitView::changed()
{
    if (m_callBack)
        ignoreErrors([&] { m_callBack->FireEvent(QStringLiteral("Change"), {}); });
}

} // namespace kelto::host
