// The plug-in shell's classes that are created by ProgID or class id.

#include "plugin_shell/ShellClasses.h"
#include "plugin_shell/CTarvoXPlugIn.h"
#include "plugin_shell/CTarvoXSetup.h"
#include "plugin_shell/XPluginPrefs.h"

namespace {

kelto::ClassEntries classes()
{
    using namespace kelto;
    return {
        {CTarvoXPlugIn::kProgId, CTarvoXPlugIn::kClassId, &createInstance<CTarvoXPlugIn>},
        {CTarvoXSetup::kProgId, CTarvoXSetup::kClassId, &createInstance<CTarvoXSetup>},
        {XPluginPrefs::kProgId, nullptr, &createInstance<XPluginPrefs>},
    };
}

} // namespace

KELTO_CLASS_LIST(kelto::shellClasses, &classes)
