// The instrument link's classes that are created by ProgID or class id.

#include "instrument_link/LinkClasses.h"
#include "instrument_link/CTarvoXQuery.h"
#include "instrument_link/CTarvoXVTi.h"

namespace {

kelto::ClassEntries classes()
{
    return {
        {kelto::linkclass::TarvoXVti, kelto::linkclass::TarvoXVtiId, &kelto::createInstance<kelto::CTarvoXVTi>},
        {kelto::linkclass::TarvoXQuery, kelto::linkclass::TarvoXQueryId, &kelto::createInstance<kelto::CTarvoXQuery>},
    };
}

} // namespace

KELTO_CLASS_LIST(kelto::linkClasses, &classes)
