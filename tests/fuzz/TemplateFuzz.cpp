// The template reader: the plug-in, made once as the host makes it, initialised on
// each input as its test template, then one of its prototypes copied as the host
// asks for it. Each Initialize reads the template afresh and replaces the test
// list, so nothing of one input is left for the next.

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kelto;
    fuzz::inputFile(data, size);
    IPlugIn* plugIn = &fuzz::plugInOfInputFile();
    ignoreErrors([&] { plugIn->Initialize(nullptr); });
    // One prototype a run is copied, saved and printed, chosen by the input's size;
    // the rest of the element's life is the sequence target's work.
    ignoreErrors([&] {
        const Ptr<ITestList> tests = plugIn->Tests();
        if (tests->Count() == 0)
            return;
        const int chosen = static_cast<int>(size % static_cast<std::size_t>(tests->Count()));
        fuzz::saveAndPrint(plugIn->CreateTest(tests->ItemAt(chosen)->TestID()));
    });
    fuzz::forgetLog();
    return 0;
}
