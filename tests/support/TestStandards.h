#pragma once
// Standards collections for tests, made of the host's own objects.

#include <QList>

#include "platform/ComponentRuntime.h"
#include "platform/interfaces/Standards.h"

namespace kelto {

inline Ptr<IStandardCollection> makeCollection(const QList<Ptr<IStandard>>& standards)
{
    auto collection = ComponentRuntime::instance().createAs<IStandardCollection>(QLatin1String(hostclass::StandardCollection));
    for (const auto& s : standards)
        collection->Add(s);
    return collection;
}

} // namespace kelto
