// The instrument link's classes, built into the test program.

#include "instrument_link/LinkClasses.h"
#include "tests/support/in_process/BuiltIn.h"

KELTO_BUILT_IN(kelto::linkClasses)
