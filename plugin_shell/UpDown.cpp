#include "plugin_shell/UpDown.h"

#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace kelto {

UpDown::UpDown(QLabel* buddy, int minimum, int maximum, int step, QWidget* parent)
    : QWidget(parent), m_buddy(buddy), m_minimum(minimum), m_maximum(maximum), m_step(step), m_value(minimum)
{
    m_up = new QToolButton(this);
    m_up->setArrowType(Qt::UpArrow);
    m_up->setObjectName(QStringLiteral("up"));
    m_down = new QToolButton(this);
    m_down->setArrowType(Qt::DownArrow);
    m_down->setObjectName(QStringLiteral("down"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_up);
    layout->addWidget(m_down);
    connect(m_up, &QToolButton::clicked, this, [this] { stepBy(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { stepBy(-1); });
}

void UpDown::setValue(int value)
{
    m_value = std::clamp(value, m_minimum, m_maximum);
    m_buddy->setText(QString::number(m_value));
}

void UpDown::stepBy(int steps)
{
    const int next = std::clamp(m_value + steps * m_step, m_minimum, m_maximum);
    if (next == m_value)
        return; // at the end of the range nothing changes
    setValue(next);
    if (m_onChange)
        m_onChange();
}

} // namespace kelto
