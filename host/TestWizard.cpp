#include "TestWizard.h"

#include <QListWidget>
#include <QPainter>

#include "platform/PluginError.h"

namespace kelto::host {

namespace {

QStringList textsOf(const Variant& value)
{
    QStringList out;
    if (value.isArray()) {
        for (const Variant& item : value.toArray())
            out.append(item.toString());
    } else if (!value.isEmpty() && !value.isNull()) {
        out.append(value.toString());
    }
    return out;
}

} // namespace

TestWizard::TestWizard() : m_list(new QListWidget)
{
    m_list->setObjectName(QStringLiteral("XTestWizard"));
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setWordWrap(true);
    SetBackColor(m_backColor);
}

TestWizard::~TestWizard()
{
    delete m_list.data();
}

QWidget* TestWizard::widget()
{
    return m_list;
}

void TestWizard::SetInstructions(const Variant& lines)
{
    // A new list is a list again, not a message.
    m_message = false;
    m_lines = textsOf(lines);
    redraw();
}

void TestWizard::SetMessageMode(bool message)
{
    m_message = message;
    redraw();
}

void TestWizard::SetActiveSteps(const Variant& steps)
{
    m_active.clear();
    const VariantArray items = steps.isArray() ? steps.toArray()
                               : (steps.isEmpty() || steps.isNull()) ? VariantArray()
                                                                      : VariantArray{steps};
    for (const Variant& step : items)
        m_active.append(step.toLong());
    redraw();
}

void TestWizard::SetBackColor(std::int32_t color)
{
    m_backColor = color;
    if (!m_list)
        return;
    QPalette palette = m_list->palette();
    palette.setColor(QPalette::Base, olecolor::toQColor(color));
    m_list->setPalette(palette);
}

void TestWizard::redraw()
{
    if (!m_list)
        return;
    m_list->clear();
    for (int i = 0; i < m_lines.size(); ++i) {
        // The instruction lines carry their own numbers ("1. Set defibrillator ...").
        auto* item = new QListWidgetItem(m_lines[i]);
        const bool active = !m_message && m_active.contains(i + 1);
        QFont font = m_list->font();
        font.setBold(active || m_message);
        if (m_message)
            font.setPointSizeF(font.pointSizeF() * 1.5);
        item->setFont(font);
        if (active)
            item->setBackground(QColor(255, 236, 179));
        m_list->addItem(item);
    }
}

QPixmap PictureSource::Picture(std::int32_t id)
{
    if (id != 101)
        raiseError(326, QStringLiteral("Kelto.PictureSource"), QStringLiteral("The host has no picture %1.").arg(id));
    // The guide window's icon: a heart-beat trace on a blue tile.
    QPixmap icon(32, 32);
    icon.fill(QColor(30, 90, 160));
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, 2.5));
    const QPointF trace[] = {{2, 18}, {10, 18}, {13, 8}, {17, 26}, {20, 18}, {30, 18}};
    painter.drawPolyline(trace, 6);
    return icon;
}

} // namespace kelto::host
