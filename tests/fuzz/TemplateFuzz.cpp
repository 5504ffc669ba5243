// The template reader: the plug-in started on a test template file, then each of
// its prototypes copied as the host asks for them.

#include "FuzzSupport.h"
#include "host/RegistryKey.h"
#include "platform/ComponentRuntime.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kelto;
    const QString file = fuzz::inputFile(data, size);
    static const bool configured = [&] {
        host::RegistryKey key;
        key.CreateKey(hkey::LocalMachine, QStringLiteral("Software\\Quilo\\kelto\\TarvoX"));
        key.SetValue(QStringLiteral("Configuration"), file);
        return true;
    }();
    (void)configured;
    auto plugIn = ComponentRuntime::instance().createAs<IPlugIn>(QStringLiteral("KeltoTarvoX.CTarvoXPlugIn"));
    ignoreErrors([&] { plugIn->Initialize(nullptr); });
    ignoreErrors([&] {
        const Ptr<ITestList> tests = plugIn->Tests();
        for (int i = 0; i < tests->Count(); ++i) {
            Ptr<ITestElement> copy;
            ignoreErrors([&] { copy = plugIn->CreateTest(tests->ItemAt(i)->TestID()); });
            fuzz::saveAndPrint(copy);
        }
    });
    fuzz::forgetLog();
    return 0;
}
