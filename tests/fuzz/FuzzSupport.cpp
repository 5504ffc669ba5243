#include "FuzzSupport.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

#include "host/BasicServices.h"
#include "host/HostClasses.h"
#include "host/HostLog.h"
#include "host/Report.h"
#include "host/TestSetup.h"
#include "host/XmlDocument.h"
#include "host/app/PlugInHost.h"
#include "platform/MessageBox.h"

namespace kelto::fuzz {

namespace {

QTemporaryDir& workDir()
{
    static QTemporaryDir dir;
    return dir;
}

} // namespace

QString text(const std::uint8_t* data, std::size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

QString inputFile(const std::uint8_t* data, std::size_t size)
{
    const QString name = workDir().filePath(QStringLiteral("input"));
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
    // Component registrations beside the program; the settings in a file of our own.
    qputenv("KELTO_REGISTRY_FILE", kelto::fuzz::workDir().filePath(QStringLiteral("registry.ini")).toUtf8());
    qputenv("QT_LOGGING_RULES", "kelto.*=false\nqt.*=false");
    static QApplication app(*argc, *argv);
    kelto::host::registerHostClasses();
    kelto::setMessageBoxHandler([](const kelto::MessageBoxRequest&) { return kelto::mb::OK; });
    return 0;
}
