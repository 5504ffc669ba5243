// The one exported entry of the KeltoTarvoXVTI library: its class list.

#include "instrument_link/LinkClasses.h"

KELTO_COMPONENT_ENTRY(kelto::linkClasses)
