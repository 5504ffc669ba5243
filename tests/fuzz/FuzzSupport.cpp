#include "FuzzSupport.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "host/BasicServices.h"
#include "host/HostClasses.h"
#include "host/HostLog.h"
#include "host/Report.h"
#include "host/TestSetup.h"
#include "host/XmlDocument.h"
#include "host/app/PlugInHost.h"
#include "platform/ComponentRuntime.h"
#include "platform/MessageBox.h"

namespace kelto::fuzz {

namespace {

QTemporaryDir& workDir()
{
    static QTemporaryDir dir;
    return dir;
}

// The process's registry, in memory: the plug-in reads its settings and saves them
// on every start, and reading the file and a synced write of it on every input would
// hold the fuzzer to the disk's pace. Keys and names without regard to case.
class MemoryRegistryKey : public IRegistryKey {
public:
    void OpenKey(std::int32_t root, const QString& path) override { m_key = QStringLiteral("%1\\%2").arg(root).arg(path.toLower()); }
    void CreateKey(std::int32_t root, const QString& path) override
    {
        OpenKey(root, path);
        keys()[m_key];
    }
    bool KeyExists() override { return keys().count(m_key) > 0; }
    Variant GetValue(const QString& name) override
    {
        const auto key = keys().find(m_key);
        if (key != keys().end()) {
            const auto value = key->second.find(name.toLower());
            if (value != key->second.end())
                return value->second;
        }
        raiseError(hosterr::RegistryValueMissing, QStringLiteral("RegistryKey"), QStringLiteral("No registry value \"%1\".").arg(name));
    }
    void SetValue(const QString& name, const Variant& value) override
    {
        const auto key = keys().find(m_key);
        if (key == keys().end())
            raiseError(hosterr::RegistryCannotOpen, QStringLiteral("RegistryKey"), QStringLiteral("No registry key is open."));
        key->second[name.toLower()] = value;
    }
    QStringList SubKeys() override
    {
        QStringList out;
        for (const auto& [path, values] : keys()) {
            if (path.startsWith(m_key + QLatin1Char('\\')) && !path.mid(m_key.size() + 1).contains(QLatin1Char('\\')))
                out.append(path.mid(m_key.size() + 1));
        }
        return out;
    }

private:
    static std::map<QString, std::map<QString, Variant>>& keys()
    {
        static std::map<QString, std::map<QString, Variant>> all;
        return all;
    }
    QString m_key;
};

const ClassEntry kFuzzHostClasses[] = {
    {"Kelto.RegistryKey", hostclass::RegistryKey, [] { return ObjectPtr(std::make_shared<MemoryRegistryKey>()); }},
};

} // namespace

QString text(const std::uint8_t* data, std::size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

QString inputFile(const std::uint8_t* data, std::size_t size)
{
    const QString name = workDir().filePath(QStringLiteral("input")); // as plugInOfInputFile reads it
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "fuzz: cannot write %s\n", qPrintable(name));
        std::abort();
    }
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    return name;
}

SelectedElement selectedElement(const std::uint8_t* data, std::size_t size)
{
    SelectedElement out;
    const QString all = text(data, size);
    const qsizetype newline = all.indexOf(QLatin1Char('\n'));
    out.selector = all.left(newline < 0 ? all.size() : newline).trimmed();
    auto doc = std::make_shared<host::XmlDocument>();
    if (newline >= 0 && doc->LoadXml(all.mid(newline + 1))) {
        out.document = doc;
        out.element = doc->DocumentElement();
    }
    return out;
}

IPlugIn& plugIn()
{
    static host::PlugInHost host;
    static const bool loaded = host.load();
    if (!loaded) {
        std::fprintf(stderr, "fuzz: the plug-in does not start: %s\n", qPrintable(host.error().description()));
        std::abort();
    }
    return *host.plugIn();
}

IPlugIn& plugInOfInputFile()
{
    static const Ptr<IPlugIn> plugIn = [] {
        auto key = ComponentRuntime::instance().createAs<IRegistryKey>(QLatin1String(hostclass::RegistryKey));
        key->CreateKey(hkey::LocalMachine, QStringLiteral("Software\\Quilo\\kelto\\TarvoX"));
        key->SetValue(QStringLiteral("Configuration"), workDir().filePath(QStringLiteral("input")));
        return ComponentRuntime::instance().createAs<IPlugIn>(QStringLiteral("KeltoTarvoX.CTarvoXPlugIn"));
    }();
    return *plugIn;
}

Ptr<ITestElement> freshElement(const SelectedElement& input)
{
    const std::optional<std::int32_t> testId = input.testId();
    return testId ? valueOr([&] { return plugIn().CreateTest(*testId); }, Ptr<ITestElement>()) : nullptr;
}

void saveAndPrint(const Ptr<ITestElement>& element)
{
    if (!element)
        return;
    ignoreErrors([&] {
        auto doc = std::make_shared<host::XmlDocument>();
        if (Ptr<IXmlElement> saved = element->Save(doc, 0)) {
            doc->SetDocumentElement(saved);
            doc->Xml();
        }
    });
    ignoreErrors([&] { element->PrintReport(std::make_shared<host::Report>(), std::make_shared<host::TestSetup>()); });
}

void forgetLog()
{
    host::HostLog::instance().clear();
}

} // namespace kelto::fuzz

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Component registrations beside the program. The registry key class keeps the
    // settings in memory; the file of our own is for anything that reaches past it.
    qputenv("KELTO_REGISTRY_FILE", kelto::fuzz::workDir().filePath(QStringLiteral("registry.ini")).toUtf8());
    qputenv("QT_LOGGING_RULES", "kelto.*=false\nqt.*=false");
    static QApplication app(*argc, *argv);
    kelto::host::registerHostClasses();
    kelto::ComponentRuntime::instance().registerBuiltin(
        {kelto::fuzz::kFuzzHostClasses, static_cast<int>(std::size(kelto::fuzz::kFuzzHostClasses))});
    kelto::setMessageBoxHandler([](const kelto::MessageBoxRequest&) { return kelto::mb::OK; });
    return 0;
}
