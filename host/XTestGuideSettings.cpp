#include "host/XTestGuideSettings.h"

#include <QCheckBox>
#include <QVBoxLayout>

#include "platform/PluginError.h"

namespace kelto::host {

XTestGuideSettings::XTestGuideSettings() : m_widget(new QWidget)
{
    m_widget->setObjectName(QStringLiteral("XTestGuideSettings"));
    auto* layout = new QVBoxLayout(m_widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    m_showPictures = new QCheckBox(QStringLiteral("Show pictures"), m_widget);
    m_showPictures->setObjectName(QStringLiteral("showPictures"));
    m_confirmNext = new QCheckBox(QStringLiteral("Confirm before Next"), m_widget);
    m_confirmNext->setObjectName(QStringLiteral("confirmNext"));
    layout->addWidget(m_showPictures);
    layout->addWidget(m_confirmNext);
    layout->addStretch(1);
    // clicked, not toggled: only the operator's changes are written and reported.
    m_context = std::make_unique<QObject>();
    QObject::connect(m_showPictures, &QCheckBox::clicked, m_context.get(), [this] { edited(); });
    QObject::connect(m_confirmNext, &QCheckBox::clicked, m_context.get(), [this] { edited(); });
    applyEnabled();
}

XTestGuideSettings::~XTestGuideSettings()
{
    m_context.reset();
    // A control never placed on a panel has no owner but us.
    if (m_widget && !m_widget->parent())
        delete m_widget.data();
}

void XTestGuideSettings::Initialize(const Variant& inData)
{
    m_settings = inData.isObject() ? inData.toInterface<ITestGuideConfig>() : nullptr;
    if (m_widget) {
        m_showPictures->setChecked(m_settings && m_settings->ShowPictures());
        m_confirmNext->setChecked(m_settings && m_settings->ConfirmNext());
    }
    applyEnabled();
}

void XTestGuideSettings::SetLocked(bool locked)
{
    m_locked = locked;
    applyEnabled();
}

void XTestGuideSettings::applyEnabled()
{
    // Without a settings object there is nothing to edit.
    const bool enabled = !m_locked && m_settings;
    if (m_showPictures)
        m_showPictures->setEnabled(enabled);
    if (m_confirmNext)
        m_confirmNext->setEnabled(enabled);
}

void XTestGuideSettings::edited()
{
    if (!m_settings || !m_widget)
        return;
    m_settings->SetShowPictures(m_showPictures->isChecked());
    m_settings->SetConfirmNext(m_confirmNext->isChecked());
    if (m_onChange)
        ignoreErrors(m_onChange);
}

} // namespace kelto::host
