// The sequence loader: a test sequence file as `kelto-host open FILE` reads it.

#include "FuzzSupport.h"
#include "host/app/Sequence.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kelto;
    IPlugIn& plugIn = fuzz::plugIn();
    host::Sequence sequence;
    QString error;
    if (sequence.load(fuzz::inputFile(data, size), plugIn, &error)) {
        for (const Ptr<ITestElement>& element : sequence.elements())
            fuzz::saveAndPrint(element);
    }
    fuzz::forgetLog();
    return 0;
}
