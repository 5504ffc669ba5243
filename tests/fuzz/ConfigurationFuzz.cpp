// A configuration's Load from an element: the first line is the configuration's
// class (a "KeltoTarvoXTest.CConfig..." ProgID) or, for a private class, the id of
// the test whose element makes it; the rest its stored "PlugInData".

#include "FuzzSupport.h"
#include "host/BasicServices.h"
#include "host/Report.h"
#include "host/XmlDocument.h"
#include "platform/ComponentRuntime.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kelto;
    fuzz::SelectedElement input = fuzz::selectedElement(data, size);
    if (!input.element || (!input.testId() && !input.selector.startsWith(QLatin1String("KeltoTarvoXTest.CConfig"))))
        return 0;
    fuzz::plugIn(); // the test library as the host has it
    Ptr<IConfigData> config;
    ignoreErrors([&] {
        const Ptr<ITestElement> element = fuzz::freshElement(input);
        config = element ? element->Configuration() : ComponentRuntime::instance().createAs<IConfigData>(input.selector);
    });
    if (!config)
        return 0;
    input.element->SetTagName(QStringLiteral("PlugInData"));
    ignoreErrors([&] { config->Load(input.element, std::make_shared<host::ProtocolLog>()); });
    ignoreErrors([&] {
        const Ptr<IConfigData> copy = config->Clone();
        auto doc = std::make_shared<host::XmlDocument>();
        if (Ptr<IXmlElement> saved = copy->Save(doc)) {
            doc->SetDocumentElement(saved);
            doc->Xml();
        }
        copy->PrintReport(std::make_shared<host::Report>());
    });
    fuzz::forgetLog();
    return 0;
}
