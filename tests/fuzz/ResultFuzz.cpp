// A result's Load from an element: the first line is the test id, the rest the
// stored "ResultItem", loaded into a fresh element of that test as a sequence does.

#include "FuzzSupport.h"
#include "host/BasicServices.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kelto;
    fuzz::SelectedElement input = fuzz::selectedElement(data, size);
    const Ptr<ITestElement> element = fuzz::freshElement(input);
    if (!element)
        return 0;
    input.element->SetTagName(QStringLiteral("ResultItem"));
    ignoreErrors([&] { element->Load(input.element, std::make_shared<host::ProtocolLog>()); });
    ignoreErrors([&] {
        const Ptr<IResultData> result = element->Result();
        for (std::int32_t i = 1; i <= result->MeasurementCount(); ++i) {
            const Ptr<IMeasurement> measurement = result->Measurement(Variant(i));
            if (auto judged = query<IMeasurement2>(measurement))
                judged->GetResultValue(0);
        }
    });
    fuzz::saveAndPrint(element);
    fuzz::forgetLog();
    return 0;
}
