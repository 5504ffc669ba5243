// Classes of this family that are created by ProgID or class id.

#include "framework/ClassLists.h"
#include "framework/GGlobals.h"

namespace kelto {

ClassEntries frameworkClasses()
{
    return {
        {GGlobals::kProgId, tarvoxclass::GGlobals, &createInstance<GGlobals>},
        {EmptyTarvoXPlugIn::kProgId, tarvoxclass::ITarvoXPlugIn, &createInstance<EmptyTarvoXPlugIn>},
    };
}

} // namespace kelto
