// Classes of this family that are created by ProgID or class id.

#include "framework/ClassLists.h"
#include "framework/GGlobals.h"
#include "framework/guide/XChargeResult.h"
#include "framework/guide/XDetailedResult.h"
#include "framework/guide/XTestResult.h"

namespace kelto {

ClassEntries frameworkClasses()
{
    return {
        {GGlobals::kProgId, tarvoxclass::GGlobals, &createInstance<GGlobals>},
        {EmptyTarvoXPlugIn::kProgId, tarvoxclass::ITarvoXPlugIn, &createInstance<EmptyTarvoXPlugIn>},
        {tarvoxclass::XChargeResult, nullptr, &createInstance<XChargeResult>},
        {tarvoxclass::XTestResult, nullptr, &createInstance<XTestResult>},
        {tarvoxclass::XDetailedResult, nullptr, &createInstance<XDetailedResult>},
    };
}

} // namespace kelto
