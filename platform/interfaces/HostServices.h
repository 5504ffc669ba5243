#pragma once
// The host's basic service objects as the plug-in sees them. The host stand-in
// implements them and registers them under the host's class identifiers.

#include <QString>
#include <QStringList>
#include <cstdint>

#include "../Object.h"
#include "../PluginError.h"
#include "../Variant.h"

class QWidget;

namespace kelto {

namespace hostclass {
constexpr const char* TextTranslator = "{D7CCA76D-B795-11D3-BF79-0050DA3393D8}";
constexpr const char* ErrorReporter = "{BE9EF4AC-AC5D-11D3-9A8E-0050DA3393D8}";
constexpr const char* XmlValueCodec = "{BE9EF4D5-AC5D-11D3-9A8E-0050DA3393D8}";
constexpr const char* ValueFormatter = "{4872F771-B253-11D3-BF79-0050DA3393D8}";
constexpr const char* RegistryKey = "{E56E0AF8-AA7A-11D3-9A8E-0050DA3393D8}";
constexpr const char* ProtocolLog = "Kelto.ProtocolLog";
constexpr const char* HostVersion = "Kelto.HostVersion";
constexpr const char* InstrumentSetup = "KeltoVexa.InstrumentSetup";
} // namespace hostclass

// Error numbers of the host's registry key.
namespace hosterr {
constexpr std::int32_t RegistryCannotOpen = hresult(0x8004A68B);
constexpr std::int32_t RegistryNotOpen = hresult(0x8004A68D);
constexpr std::int32_t RegistryValueMissing = hresult(0x8004A68E);
} // namespace hosterr

class ITextTranslator : public virtual IObject {
public:
    // A TextRef "id::default text" gives its text in the user's language with
    // "%%1".."%%4" replaced by params in order; a text without "::" is returned as it is.
    virtual QString Translate(const QString& owner, const QString& text, const VariantArray& params = {}) = 0;
    // Replaces each TextRef caption, label, tooltip, tab and item text of a widget tree.
    virtual void TranslateForm(const QString& owner, QWidget* form) = 0;
    // Replaces the TextRef titles of a tab widget or tab bar.
    virtual void TranslateTabs(const QString& owner, QWidget* tabs) = 0;
};

class IErrorReporter : public virtual IObject {
public:
    // Fails the calling statement with that error. Raise("", 0, "", 1) raises the
    // error being handled again, unchanged (only inside a catch block).
    [[noreturn]] virtual void Raise(const QString& owner, std::int32_t number, const QString& source, int severity) = 0;
    // Hands an error the caller keeps to the host's log; returns normally.
    virtual void ReportError(const PluginError& error, const QString& source) = 0;
};

class IXmlElement;
class IXmlElementList : public virtual IObject {
public:
    virtual int Count() = 0;
    virtual Ptr<IXmlElement> Item(int index) = 0; // from 0; raises 9 out of range
};

class IXmlElement : public virtual IObject {
public:
    virtual QString TagName() = 0;
    virtual void SetTagName(const QString& name) = 0; // renames the element in place
    virtual QString GetAttribute(const QString& name) = 0; // empty when absent
    virtual void SetAttribute(const QString& name, const QString& value) = 0;
    virtual Ptr<IXmlElementList> Children() = 0;
    virtual bool HasChildren() = 0;
    virtual QString Text() = 0;
    virtual void SetText(const QString& text) = 0;
    // Appends a child element holding text and returns it.
    virtual Ptr<IXmlElement> AddTextElement(const QString& name, const QString& text) = 0;
    virtual void AppendChild(const Ptr<IXmlElement>& child) = 0;
    // First child of that name at or after a child index; null when absent.
    virtual Ptr<IXmlElement> FindChild(const QString& name, int start = 0) = 0;
};

class IXmlDocument : public virtual IObject {
public:
    virtual bool Load(const QString& file) = 0;         // false when unreadable or malformed
    virtual bool LoadXml(const QString& text) = 0;
    virtual bool Save(const QString& file) = 0;         // written atomically
    virtual QString Xml() = 0;
    virtual Ptr<IXmlElement> DocumentElement() = 0;     // null when empty
    virtual void SetDocumentElement(const Ptr<IXmlElement>& root) = 0;
    virtual Ptr<IXmlElement> CreateElement(const QString& name) = 0; // null when it cannot
    // Why the last Load, LoadXml or Save failed, naming the file and, for a fault in
    // the XML, its line and column; empty after a success.
    virtual QString LastError() = 0;
};

// Writes and reads typed values ("Value") and statuses ("Status").
class IXmlValueCodec : public virtual IObject {
public:
    virtual Ptr<IXmlDocument> CreateDocument() = 0;
    virtual Ptr<IXmlElement> WriteValue(const Ptr<IXmlDocument>& doc, const Variant& value, std::int32_t valueType) = 0;
    virtual void ReadValue(const Ptr<IXmlElement>& element, Variant& value, std::int32_t& valueType) = 0;
    virtual Ptr<IXmlElement> WriteStatus(const Ptr<IXmlDocument>& doc, std::int32_t status, const QString& statusText) = 0;
    virtual void ReadStatus(const Ptr<IXmlElement>& element, std::int32_t& status, QString& statusText) = 0;
};

class IValueFormatter : public virtual IObject {
public:
    virtual QString Format(const Variant& value) = 0;
    virtual QString PathWithSeparator(const QString& folder) = 0;
};

namespace hkey {
constexpr std::int32_t CurrentUser = hresult(0x80000001);
constexpr std::int32_t LocalMachine = hresult(0x80000002);
} // namespace hkey

class IRegistryKey : public virtual IObject {
public:
    virtual void OpenKey(std::int32_t root, const QString& path) = 0;
    virtual void CreateKey(std::int32_t root, const QString& path) = 0;
    virtual bool KeyExists() = 0;
    virtual Variant GetValue(const QString& name) = 0; // raises RegistryValueMissing
    virtual void SetValue(const QString& name, const Variant& value) = 0;
    virtual QStringList SubKeys() = 0;
};

class IProtocolLog : public virtual IObject {
public:
    virtual std::int32_t Begin(const QString& text, const QString& detail) = 0; // non-zero id
    virtual void End(std::int32_t id) = 0;
    virtual void Message(const QString& text, std::int32_t number, int level, const VariantArray& params) = 0;
};

class IHostVersion : public virtual IObject {
public:
    // Non-zero when the host's version is at least the given one ("2.1.2").
    virtual std::int32_t Compare(const QString& version) = 0;
};

class IInstrumentSettings : public virtual IObject {
public:
    // The serial port configured for an instrument; 0 when none is set.
    virtual std::int32_t GetPort(const QString& owner, const QString& name) = 0;
};

class IInstrumentSetup : public virtual IObject {
public:
    virtual Ptr<IInstrumentSettings> Settings() = 0;
};

} // namespace kelto
