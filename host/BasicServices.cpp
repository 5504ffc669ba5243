#include "BasicServices.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QTabBar>
#include <QTabWidget>
#include <QVersionNumber>
#include <exception>

#include "HostLog.h"
#include "RegistryKey.h"
#include "platform/Automation.h"

namespace kelto::host {

// ---- translator -------------------------------------------------------------

QString TextTranslator::Translate(const QString&, const QString& text, const VariantArray& params)
{
    const int sep = text.indexOf(QStringLiteral("::"));
    QString out = sep < 0 ? text : text.mid(sep + 2);
    for (int i = 0; i < params.size() && i < 4; ++i) {
        QString value;
        ignoreErrors([&] { value = params[i].toString(); });
        out.replace(QStringLiteral("%%%1").arg(i + 1), value);
    }
    return out;
}

void TextTranslator::TranslateForm(const QString& owner, QWidget* form)
{
    if (!form)
        return;
    auto tr = [&](const QString& t) { return t.contains(QStringLiteral("::")) ? Translate(owner, t) : t; };
    QList<QWidget*> widgets = form->findChildren<QWidget*>();
    widgets.prepend(form);
    for (QWidget* w : widgets) {
        if (!w->windowTitle().isEmpty())
            w->setWindowTitle(tr(w->windowTitle()));
        if (!w->toolTip().isEmpty())
            w->setToolTip(tr(w->toolTip()));
        if (auto* label = qobject_cast<QLabel*>(w))
            label->setText(tr(label->text()));
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            button->setText(tr(button->text()));
        else if (auto* group = qobject_cast<QGroupBox*>(w))
            group->setTitle(tr(group->title()));
        else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            for (int i = 0; i < combo->count(); ++i)
                combo->setItemText(i, tr(combo->itemText(i)));
        } else if (qobject_cast<QTabWidget*>(w) || qobject_cast<QTabBar*>(w))
            TranslateTabs(owner, w);
    }
}

void TextTranslator::TranslateTabs(const QString& owner, QWidget* tabs)
{
    if (auto* tw = qobject_cast<QTabWidget*>(tabs)) {
        for (int i = 0; i < tw->count(); ++i)
            tw->setTabText(i, Translate(owner, tw->tabText(i)));
    } else if (auto* bar = qobject_cast<QTabBar*>(tabs)) {
        for (int i = 0; i < bar->count(); ++i)
            bar->setTabText(i, Translate(owner, bar->tabText(i)));
    }
}

// ---- error reporter ---------------------------------------------------------

QString describeError(const QString& owner, std::int32_t number)
{
    switch (static_cast<std::uint32_t>(number)) {
    case 0x8004A68B: return QStringLiteral("The registry key cannot be opened or created. Check the permissions of the registry file.");
    case 0x8004A68D: return QStringLiteral("No registry key is open.");
    case 0x8004A68E: return QStringLiteral("The registry value does not exist.");
    default: break;
    }
    const QString hex = QString::number(static_cast<std::uint32_t>(number), 16).toUpper();
    return owner.isEmpty() ? QStringLiteral("Error &H%1").arg(hex) : QStringLiteral("%1 error &H%2").arg(owner, hex);
}

void ErrorReporter::Raise(const QString& owner, std::int32_t number, const QString& source, int severity)
{
    if (number == 0) {
        if (std::current_exception())
            throw; // hand the error being handled on, unchanged
        raiseError(vberr::InvalidProcedureCall, source);
    }
    throw PluginError(number, source, describeError(owner, number), severity);
}

void ErrorReporter::ReportError(const PluginError& error, const QString& source)
{
    HostLog::instance().add({LogEntry::ReportedError, error.number(), source.isEmpty() ? error.source() : source,
        error.description(), error.severity()});
}

// ---- value formatter --------------------------------------------------------

QString ValueFormatter::Format(const Variant& value)
{
    return value.isNull() ? QString() : value.toString();
}

QString ValueFormatter::PathWithSeparator(const QString& folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

// ---- protocol log -----------------------------------------------------------

std::int32_t ProtocolLog::Begin(const QString& text, const QString& detail)
{
    static std::int32_t nextId = 0;
    const std::int32_t id = ++nextId;
    HostLog::instance().add({LogEntry::ProtocolBegin, id, detail, text, 0});
    return id;
}

void ProtocolLog::End(std::int32_t id)
{
    HostLog::instance().add({LogEntry::ProtocolEnd, id, QString(), QString(), 0});
}

void ProtocolLog::Message(const QString& text, std::int32_t number, int level, const VariantArray& params)
{
    HostLog::instance().add({LogEntry::ProtocolMessage, number, QString(), TextTranslator().Translate(QString(), text, params), level});
}

// ---- host version and instrument settings -----------------------------------

std::int32_t HostVersion::Compare(const QString& version)
{
    const QVersionNumber wanted = QVersionNumber::fromString(version);
    return QVersionNumber::fromString(QLatin1String(kVersion)) >= wanted ? 1 : 0;
}

namespace {
QString instrumentKey(const QString& owner)
{
    return QStringLiteral("Software\\Quilo\\Kelto\\Instruments\\") + owner;
}
} // namespace

std::int32_t InstrumentSettings::GetPort(const QString& owner, const QString&)
{
    RegistryKey key;
    key.OpenKey(hkey::CurrentUser, instrumentKey(owner));
    return valueOr([&] { return key.GetValue(QStringLiteral("Port")).toLong(); }, 0);
}

void InstrumentSettings::SetPort(const QString& owner, std::int32_t port)
{
    RegistryKey key;
    key.CreateKey(hkey::CurrentUser, instrumentKey(owner));
    key.SetValue(QStringLiteral("Port"), port);
}

Ptr<IInstrumentSettings> InstrumentSetup::Settings()
{
    return std::make_shared<InstrumentSettings>();
}

} // namespace kelto::host
