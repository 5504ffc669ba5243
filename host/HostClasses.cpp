#include "HostClasses.h"

#include "BasicServices.h"
#include "RegistryKey.h"
#include "XmlDocument.h"
#include "platform/ComponentRuntime.h"

namespace kelto::host {

namespace {

template <class T>
ObjectPtr make()
{
    return std::make_shared<T>();
}

const ClassEntry kHostClasses[] = {
    {"Kelto.TextTranslator", hostclass::TextTranslator, &make<TextTranslator>},
    {"Kelto.ErrorReporter", hostclass::ErrorReporter, &make<ErrorReporter>},
    {"Kelto.XmlValueCodec", hostclass::XmlValueCodec, &make<XmlValueCodec>},
    {"Kelto.ValueFormatter", hostclass::ValueFormatter, &make<ValueFormatter>},
    {"Kelto.RegistryKey", hostclass::RegistryKey, &make<RegistryKey>},
    {hostclass::ProtocolLog, nullptr, &make<ProtocolLog>},
    {hostclass::HostVersion, nullptr, &make<HostVersion>},
    {hostclass::InstrumentSetup, nullptr, &make<InstrumentSetup>},
};

} // namespace

void registerHostClasses()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    ComponentRuntime::instance().registerBuiltin({kHostClasses, static_cast<int>(std::size(kHostClasses))});
}

} // namespace kelto::host
