#pragma once
// Errors as the automation layer raises them: a number (the plug-in's 0x8004Axxx
// numbers, the host's, or a language error such as 6 Overflow), the source that
// raised it, a description and the host's severity.

#include <QString>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

namespace kelto {

class PluginError : public std::exception {
public:
    PluginError(std::int32_t number, QString source, QString description, int severity = 1);

    std::int32_t number() const { return m_number; }
    const QString& source() const { return m_source; }
    const QString& description() const { return m_description; }
    int severity() const { return m_severity; }
    const char* what() const noexcept override { return m_what.c_str(); }

    // "Error #" text of a failure box: the number in signed decimal, CR LF, the description.
    QString boxText() const;

private:
    std::int32_t m_number;
    QString m_source;
    QString m_description;
    int m_severity;
    std::string m_what;
};

// Error numbers of the automation language that the rules rely on.
namespace vberr {
constexpr std::int32_t InvalidProcedureCall = 5;
constexpr std::int32_t Overflow = 6;
constexpr std::int32_t SubscriptOutOfRange = 9;
constexpr std::int32_t TypeMismatch = 13;
constexpr std::int32_t ObjectNotSet = 91;
constexpr std::int32_t InvalidUseOfNull = 94;
constexpr std::int32_t CannotCreateObject = 429;
} // namespace vberr

// An HRESULT-style number such as 0x8004A22A as the signed 32-bit value it is.
constexpr std::int32_t hresult(std::uint32_t value) { return static_cast<std::int32_t>(value); }

[[noreturn]] void raiseError(std::int32_t number, const QString& source, const QString& description = {});

// The error being handled, as a PluginError: any other exception becomes one with
// a generic number and its message. Only meaningful inside a catch block.
PluginError currentError();

// Runs one statement, ignoring any error it raises ("resume next").
void ignoreErrors(const std::function<void()>& statement);

// Runs one statement; returns its value, or fallback when it raised.
template <class T, class F>
T valueOr(F&& f, T fallback)
{
    try {
        return f();
    } catch (...) {
        return fallback;
    }
}

} // namespace kelto
