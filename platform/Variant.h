#pragma once
// The automation value: keeps Empty (never assigned), Null (no valid data) and
// Nothing (an object reference to no object) apart, as stored files and host calls
// rely on those distinctions.

#include <QString>
#include <QVector>
#include <cstdint>
#include <variant>

#include "Object.h"

namespace kelto {

enum class VarType { Empty, Null, Boolean, Integer, Long, Single, Double, String, Object, Array };

class Variant;
using VariantArray = QVector<Variant>;

class Variant {
public:
    Variant() = default;
    Variant(bool b) : m_type(VarType::Boolean), m_value(b) {}
    Variant(std::int16_t i) : m_type(VarType::Integer), m_value(static_cast<std::int32_t>(i)) {}
    Variant(std::int32_t l) : m_type(VarType::Long), m_value(l) {}
    Variant(float f) : m_type(VarType::Single), m_value(static_cast<double>(f)) {}
    Variant(double d) : m_type(VarType::Double), m_value(d) {}
    Variant(const QString& s) : m_type(VarType::String), m_value(s) {}
    Variant(const char* s) : Variant(QString::fromUtf8(s)) {}
    Variant(ObjectPtr o) : m_type(VarType::Object), m_value(std::move(o)) {}
    template <class T>
    Variant(std::shared_ptr<T> o) : Variant(std::static_pointer_cast<IObject>(std::move(o)))
    {
    }
    Variant(VariantArray a) : m_type(VarType::Array), m_value(std::move(a)) {}

    static Variant null();
    static Variant nothing();

    VarType type() const { return m_type; }
    bool isEmpty() const { return m_type == VarType::Empty; }
    bool isNull() const { return m_type == VarType::Null; }
    bool isObject() const { return m_type == VarType::Object; }
    // An object reference that refers to no object.
    bool isNothing() const;
    bool isNumeric() const;
    bool isString() const { return m_type == VarType::String; }
    bool isArray() const { return m_type == VarType::Array; }

    // Conversions with the automation rules: whole numbers round half to even and
    // raise an overflow error (6) out of range; Null raises "Invalid use of Null"
    // (94); text that is not a number raises a type mismatch (13).
    bool toBool() const;
    std::int16_t toInteger() const;
    std::int32_t toLong() const;
    float toSingle() const;
    double toDouble() const;
    QString toString() const;
    ObjectPtr toObject() const;
    const VariantArray& toArray() const;

    template <class T>
    Ptr<T> toInterface() const
    {
        return std::dynamic_pointer_cast<T>(toObject());
    }

    // Same type and same value; objects compare by identity.
    bool operator==(const Variant& other) const;
    bool operator!=(const Variant& other) const { return !(*this == other); }

    // For logs and test output, e.g. "Empty", "Double(1.5)".
    QString debugText() const;

private:
    VarType m_type = VarType::Empty;
    std::variant<std::monostate, bool, std::int32_t, double, QString, ObjectPtr, VariantArray> m_value;
};

} // namespace kelto
