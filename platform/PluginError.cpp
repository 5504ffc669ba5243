#include "PluginError.h"

#include <QStringList>

namespace kelto {

namespace {
constexpr std::int32_t kGenericFailure = hresult(0x80004005);
}

PluginError::PluginError(std::int32_t number, QString source, QString description, int severity)
    : m_number(number), m_source(std::move(source)), m_description(std::move(description)), m_severity(severity)
{
    m_what = QStringLiteral("Error %1 (%2): %3").arg(m_number).arg(m_source, m_description).toStdString();
}

QString PluginError::boxText() const
{
    return QStringLiteral("Error #%1\r\n%2").arg(m_number).arg(m_description);
}

void raiseError(std::int32_t number, const QString& source, const QString& description)
{
    QString text = description;
    if (text.isEmpty()) {
        switch (number) {
        case vberr::InvalidProcedureCall: text = QStringLiteral("Invalid procedure call or argument"); break;
        case vberr::Overflow: text = QStringLiteral("Overflow"); break;
        case vberr::SubscriptOutOfRange: text = QStringLiteral("Subscript out of range"); break;
        case vberr::TypeMismatch: text = QStringLiteral("Type mismatch"); break;
        case vberr::ObjectNotSet: text = QStringLiteral("Object variable not set"); break;
        case vberr::InvalidUseOfNull: text = QStringLiteral("Invalid use of Null"); break;
        case vberr::CannotCreateObject: text = QStringLiteral("Cannot create object"); break;
        default: text = QStringLiteral("Error &H%1").arg(static_cast<std::uint32_t>(number), 8, 16, QLatin1Char('0')).toUpper();
        }
    }
    throw PluginError(number, source, text);
}

PluginError currentError()
{
    try {
        throw;
    } catch (const PluginError& e) {
        return e;
    } catch (const std::exception& e) {
        return PluginError(kGenericFailure, QString(), QString::fromLocal8Bit(e.what()));
    } catch (...) {
        return PluginError(kGenericFailure, QString(), QStringLiteral("Unknown error"));
    }
}

void ignoreErrors(const std::function<void()>& statement)
{
    try {
        statement();
    } catch (...) {
    }
}

} // namespace kelto
