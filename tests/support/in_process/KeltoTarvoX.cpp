// The plug-in shell's classes, built into the test program.

#include "plugin_shell/ShellClasses.h"
#include "tests/support/in_process/BuiltIn.h"

KELTO_BUILT_IN(kelto::shellClasses)
