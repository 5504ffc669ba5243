// A tiny component library for the runtime tests.

#include "platform/ComponentRuntime.h"

namespace {

int gConstructed = 0;

class ISample : public virtual kelto::IObject {
public:
    virtual int answer() = 0;
};

class CSample : public ISample {
public:
    CSample() { ++gConstructed; }
    int answer() override { return 42; }
};

kelto::ObjectPtr createSample()
{
    return std::make_shared<CSample>();
}

const kelto::ClassEntry kClasses[] = {
    {"KeltoSample.CSample", "{6B1D3C2A-0F4E-4C61-9A0B-1F2E3D4C5B6A}", &createSample},
};

} // namespace

KELTO_COMPONENT_EXPORT kelto::ClassList kelto_component_classes()
{
    return {kClasses, 1};
}

// How many objects the library has made: loading it must make none.
KELTO_COMPONENT_EXPORT int sample_constructed_count()
{
    return gConstructed;
}
