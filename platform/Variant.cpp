#include "Variant.h"

#include "Automation.h"
#include "PluginError.h"

namespace kelto {

namespace {

double textToNumber(const QString& text)
{
    double v = 0;
    if (!parseNumber(text, &v))
        raiseError(vberr::TypeMismatch, {});
    return v;
}

} // namespace

IObject::~IObject() = default;

Variant Variant::null()
{
    Variant v;
    v.m_type = VarType::Null;
    return v;
}

Variant Variant::nothing()
{
    return Variant(ObjectPtr());
}

bool Variant::isNothing() const
{
    return m_type == VarType::Object && !std::get<ObjectPtr>(m_value);
}

bool Variant::isNumeric() const
{
    switch (m_type) {
    case VarType::Boolean:
    case VarType::Integer:
    case VarType::Long:
    case VarType::Single:
    case VarType::Double:
        return true;
    default:
        return false;
    }
}

bool Variant::toBool() const
{
    switch (m_type) {
    case VarType::Empty: return false;
    case VarType::Boolean: return std::get<bool>(m_value);
    case VarType::String: {
        const QString s = std::get<QString>(m_value).trimmed();
        if (s.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
            return true;
        if (s.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
            return false;
        return textToNumber(s) != 0;
    }
    default: return toDouble() != 0;
    }
}

std::int16_t Variant::toInteger() const
{
    return CInt(toDouble());
}

std::int32_t Variant::toLong() const
{
    return CLng(toDouble());
}

float Variant::toSingle() const
{
    return CSng(toDouble());
}

double Variant::toDouble() const
{
    switch (m_type) {
    case VarType::Empty: return 0;
    case VarType::Null: raiseError(vberr::InvalidUseOfNull, {});
    case VarType::Boolean: return std::get<bool>(m_value) ? -1 : 0; // True is -1 in automation
    case VarType::Integer:
    case VarType::Long: return std::get<std::int32_t>(m_value);
    case VarType::Single:
    case VarType::Double: return std::get<double>(m_value);
    case VarType::String: return textToNumber(std::get<QString>(m_value));
    case VarType::Object:
    case VarType::Array: break;
    }
    raiseError(vberr::TypeMismatch, {});
}

QString Variant::toString() const
{
    switch (m_type) {
    case VarType::Empty: return QString();
    case VarType::Null: raiseError(vberr::InvalidUseOfNull, {});
    case VarType::Boolean: return std::get<bool>(m_value) ? QStringLiteral("True") : QStringLiteral("False");
    case VarType::Integer:
    case VarType::Long: return QString::number(std::get<std::int32_t>(m_value));
    case VarType::Single: return singleToString(static_cast<float>(std::get<double>(m_value)));
    case VarType::Double: return doubleToString(std::get<double>(m_value));
    case VarType::String: return std::get<QString>(m_value);
    case VarType::Object:
    case VarType::Array: break;
    }
    raiseError(vberr::TypeMismatch, {});
}

ObjectPtr Variant::toObject() const
{
    if (m_type == VarType::Object)
        return std::get<ObjectPtr>(m_value);
    if (m_type == VarType::Empty)
        return nullptr;
    raiseError(vberr::TypeMismatch, {});
}

const VariantArray& Variant::toArray() const
{
    if (m_type != VarType::Array)
        raiseError(vberr::TypeMismatch, {});
    return std::get<VariantArray>(m_value);
}

bool Variant::operator==(const Variant& other) const
{
    return m_type == other.m_type && m_value == other.m_value;
}

QString Variant::debugText() const
{
    switch (m_type) {
    case VarType::Empty: return QStringLiteral("Empty");
    case VarType::Null: return QStringLiteral("Null");
    case VarType::Boolean: return QStringLiteral("Boolean(%1)").arg(toString());
    case VarType::Integer: return QStringLiteral("Integer(%1)").arg(toString());
    case VarType::Long: return QStringLiteral("Long(%1)").arg(toString());
    case VarType::Single: return QStringLiteral("Single(%1)").arg(toString());
    case VarType::Double: return QStringLiteral("Double(%1)").arg(toString());
    case VarType::String: return QStringLiteral("String(\"%1\")").arg(toString());
    case VarType::Object: return isNothing() ? QStringLiteral("Nothing") : QStringLiteral("Object");
    case VarType::Array: return QStringLiteral("Array[%1]").arg(toArray().size());
    }
    return {};
}

} // namespace kelto
