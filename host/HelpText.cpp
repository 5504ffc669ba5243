#include "host/HelpText.h"

#include <QLabel>

namespace kelto::host {

namespace {

float toTwips(int pixels, const QWidget* w)
{
    return static_cast<float>(pixels) * 1440.0f / static_cast<float>(w->logicalDpiY());
}

int toPixels(float twips, const QWidget* w)
{
    return static_cast<int>(twips * static_cast<float>(w->logicalDpiY()) / 1440.0f + 0.5f);
}

} // namespace

HelpText::HelpText() : m_label(new QLabel)
{
    m_label->setObjectName(QStringLiteral("XHelpText"));
    m_label->setWordWrap(true);
    m_label->setMargin(6);
    m_label->setAutoFillBackground(true);
    m_label->setStyleSheet(QStringLiteral("QLabel#XHelpText { background: #fffbe6; border-top: 1px solid #d8d0a8; }"));
}

HelpText::~HelpText()
{
    // A strip never placed on a panel has no owner but us.
    if (m_label && !m_label->parent())
        delete m_label;
}

QWidget* HelpText::widget()
{
    return m_label;
}

void HelpText::SetText(const QString& text)
{
    if (m_label)
        m_label->setText(text);
}

QString HelpText::Text()
{
    return m_label ? m_label->text() : QString();
}

void HelpText::FitToHeight(float& height)
{
    if (!m_label)
        return;
    const QWidget* parent = m_label->parentWidget();
    const int width = parent ? parent->width() : m_label->width();
    const int total = toPixels(height, m_label);
    const int needed = std::min(total, m_label->heightForWidth(width));
    m_label->setGeometry(0, total - needed, width, needed);
    height = toTwips(total - needed, m_label);
}

float HelpText::Top()
{
    return m_label ? toTwips(m_label->y(), m_label) : 0.0f;
}

} // namespace kelto::host
