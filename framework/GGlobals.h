#pragma once
// The library's global object: the shell creates it by class id at start-up and
// hands itself over, so the library can ask the shell for template standards.

#include "framework/ITarvoXPlugIn.h"

namespace kelto {

class GGlobals : public IGlobals {
public:
    static constexpr const char* kProgId = "KeltoTarvoXTest.GGlobals";

    // Keeps a plug-in whose ID is exactly "TarvoX"; any other is ignored. Errors
    // (no object, no ITarvoXPlugIn) reach the caller.
    void SetPlugInPointer(const Ptr<IPlugIn>& plugIn) override;
};

// The library's own class of ITarvoXPlugIn: it holds no standards.
class EmptyTarvoXPlugIn : public ITarvoXPlugIn {
public:
    static constexpr const char* kProgId = "KeltoTarvoXTest.ITarvoXPlugIn";

    Ptr<IStandard> LoadStandard(std::int32_t testId, QString& alphaName, QString& completeName) override;
};

} // namespace kelto
