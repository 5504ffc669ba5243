// The one exported entry of the KeltoTarvoX library: its class list.

#include "plugin_shell/ShellClasses.h"

KELTO_COMPONENT_ENTRY(kelto::shellClasses)
