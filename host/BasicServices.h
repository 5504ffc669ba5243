#pragma once
// The host's basic service objects: translator, error reporter, value formatter,
// protocol log, host version and instrument settings.

#include "platform/interfaces/HostServices.h"

namespace kelto::host {

class TextTranslator : public ITextTranslator {
public:
    QString Translate(const QString& owner, const QString& text, const VariantArray& params = {}) override;
    void TranslateForm(const QString& owner, QWidget* form) override;
    void TranslateTabs(const QString& owner, QWidget* tabs) override;
};

class ErrorReporter : public IErrorReporter {
public:
    [[noreturn]] void Raise(const QString& owner, std::int32_t number, const QString& source, int severity) override;
    void ReportError(const PluginError& error, const QString& source) override;
};

class ValueFormatter : public IValueFormatter {
public:
    QString Format(const Variant& value) override;
    QString PathWithSeparator(const QString& folder) override;
};

class ProtocolLog : public IProtocolLog {
public:
    std::int32_t Begin(const QString& text, const QString& detail) override;
    void End(std::int32_t id) override;
    void Message(const QString& text, std::int32_t number, int level, const VariantArray& params) override;
};

class HostVersion : public IHostVersion {
public:
    static constexpr const char* kVersion = "3.0.0";
    std::int32_t Compare(const QString& version) override;
};

// Instrument ports live in the host's registry under
// "Software\Quilo\Kelto\Instruments\<owner>", value "Port".
class InstrumentSettings : public IInstrumentSettings {
public:
    std::int32_t GetPort(const QString& owner, const QString& name) override;
    static void SetPort(const QString& owner, std::int32_t port);
};

class InstrumentSetup : public IInstrumentSetup {
public:
    Ptr<IInstrumentSettings> Settings() override;
};

// Description of a host or plug-in error number, for Raise.
QString describeError(const QString& owner, std::int32_t number);

} // namespace kelto::host
