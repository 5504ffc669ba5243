// A measurement's Load from an element: the first line is the test id, the rest a
// stored "Measurement". It is loaded into the measurement of that key (or the
// first) of a fresh result of that test, then judged against the limits the
// template gives the test.

#include "FuzzSupport.h"
#include "host/BasicServices.h"
#include "host/XmlDocument.h"
#include "platform/Deref.h"
#include "platform/interfaces/Standards.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kelto;
    fuzz::SelectedElement input = fuzz::selectedElement(data, size);
    const Ptr<ITestElement> element = fuzz::freshElement(input);
    if (!element)
        return 0;
    const std::int32_t testId = element->TestID();
    Ptr<IMeasurement> measurement;
    ignoreErrors([&] {
        auto empty = std::make_shared<host::XmlDocument>();
        empty->SetDocumentElement(empty->CreateElement(QStringLiteral("ResultItem")));
        element->Load(empty->DocumentElement(), nullptr); // gives the element a fresh result
        const Ptr<IResultData> result = element->Result();
        measurement = result->Measurement(Variant(input.element->GetAttribute(QStringLiteral("Key"))));
        if (!measurement)
            measurement = result->Measurement(Variant(std::int32_t(1)));
    });
    if (!measurement)
        return 0;
    input.element->SetTagName(QStringLiteral("Measurement"));
    ignoreErrors([&] { measurement->Load(input.element, std::make_shared<host::ProtocolLog>()); });
    ignoreErrors([&] {
        measurement->Description();
        IMeasurement2& judged = deref(query<IMeasurement2>(measurement));
        IStandardCollection& standards = deref(deref(deref(fuzz::plugIn().Tests()->Item(testId)).Limits()).Standards());
        judged.GetResultValue(1);
        for (int i = 0; i < standards.Count(); ++i) {
            const Ptr<IStandard> standard = standards.Item(i);
            ignoreErrors([&] { judged.ValidateLimits(standard); });
            for (std::int32_t hiLo : {0, 1})
                ignoreErrors([&] { judged.GetLimitValue(standard, hiLo, 1); });
        }
    });
    ignoreErrors([&] {
        auto doc = std::make_shared<host::XmlDocument>();
        if (Ptr<IXmlElement> saved = measurement->Save(doc))
            doc->SetDocumentElement(saved);
    });
    fuzz::saveAndPrint(element);
    fuzz::forgetLog();
    return 0;
}
