#include "plugin_shell/CTarvoXSetup.h"

#include <QFileInfo>
#include <dlfcn.h>

#include "framework/FDialogWrapper.h"
#include "framework/HostServices.h"
#include "platform/ComponentRuntime.h"

namespace kelto {

namespace {

const QString kSource = QString::fromLatin1(CTarvoXSetup::kProgId);
const QString kKey = QString::fromLatin1(CTarvoXSetup::kRegistryKey);
const QString kPrefsPanel = QStringLiteral("KeltoTarvoX.XPluginPrefs");
const QString kConfigurationValue = QStringLiteral("Configuration");
const QString kCommTimeOutValue = QStringLiteral("CommTimeOut");
const QString kPacerRefractoryValue = QStringLiteral("PacerRefractoryTimeout");
constexpr std::int32_t kUnset = -1;

// The folder of the library this code is part of.
QString libraryFolder()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&libraryFolder), &info) == 0 || !info.dli_fname)
        return QString();
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath();
}

Ptr<IRegistryKey> newRegistryKey()
{
    auto key = ComponentRuntime::instance().createAs<IRegistryKey>(QString::fromLatin1(hostclass::RegistryKey));
    if (!key)
        raiseError(vberr::CannotCreateObject, kSource, QStringLiteral("The host's registry key class is not registered."));
    return key;
}

// A value the registry does not hold lets the load go on with its next step.
template <class F>
void resumeOnMissingValue(F&& statement)
{
    try {
        statement();
    } catch (const PluginError& e) {
        if (e.number() != hosterr::RegistryValueMissing)
            throw;
    }
}

} // namespace

QString CTarvoXSetup::defaultConfiguration()
{
    return valueFormatter()->PathWithSeparator(libraryFolder()) + QStringLiteral("TarvoX.mpc");
}

void CTarvoXSetup::Initialize()
{
    ignoreErrors([&] { RegLoad(hkey::LocalMachine, kKey); });
}

Ptr<IDialog> CTarvoXSetup::CreateDialog()
{
    try {
        auto wrapper = std::make_shared<FDialogWrapper>();
        wrapper->CreateSetupCtrl(kPrefsPanel);
        wrapper->Initialize(Variant(shared_from_this()));
        return wrapper;
    } catch (...) {
        return nullptr;
    }
}

void CTarvoXSetup::RegLoad(std::int32_t, const QString&)
{
    Ptr<IRegistryKey> key;
    try {
        resumeOnMissingValue([&] {
            key = newRegistryKey();
            key->OpenKey(hkey::LocalMachine, kKey);
        });
        if (!key->KeyExists()) {
            // A fresh installation has no key yet: start with the defaults and create
            // the key, instead of running without a template and with zero time-outs.
            applyDefaults();
            RegSave(hkey::LocalMachine, kKey);
            return;
        }
        resumeOnMissingValue([&] { mConfiguration = key->GetValue(kConfigurationValue).toString(); });
        resumeOnMissingValue([&] {
            if (mConfiguration.isEmpty())
                mConfiguration = defaultConfiguration();
        });
    } catch (...) {
        const PluginError error = currentError();
        if (error.number() == hosterr::RegistryCannotOpen || error.number() == hosterr::RegistryNotOpen)
            errorReporter()->Raise(QString(), 0, QString(), 1);
        ignoreErrors([&] { errorReporter()->ReportError(error, kSource); });
        return;
    }

    // Numbers that cannot be read or converted take their defaults.
    mCommTimeOut = kUnset;
    mPacerRefractoryTimeout = kUnset;
    ignoreErrors([&] { mCommTimeOut = key->GetValue(kCommTimeOutValue).toLong(); });
    ignoreErrors([&] { mPacerRefractoryTimeout = key->GetValue(kPacerRefractoryValue).toLong(); });
    if (mCommTimeOut == kUnset)
        mCommTimeOut = kDefaultCommTimeOut;
    if (mPacerRefractoryTimeout == kUnset)
        mPacerRefractoryTimeout = kDefaultPacerRefractoryTimeout;
    // The link and the pacer test read the numbers themselves: make sure they are there.
    RegSave(hkey::LocalMachine, kKey);
}

void CTarvoXSetup::RegSave(std::int32_t, const QString&)
{
    Ptr<IRegistryKey> key;
    ignoreErrors([&] { key = newRegistryKey(); });
    if (!key)
        return;
    ignoreErrors([&] { key->CreateKey(hkey::LocalMachine, kKey); });
    ignoreErrors([&] { key->OpenKey(hkey::LocalMachine, kKey); });
    ignoreErrors([&] { key->SetValue(kCommTimeOutValue, Variant(mCommTimeOut)); });
    ignoreErrors([&] { key->SetValue(kPacerRefractoryValue, Variant(mPacerRefractoryTimeout)); });
}

void CTarvoXSetup::applyDefaults()
{
    ignoreErrors([&] { mConfiguration = defaultConfiguration(); });
    mCommTimeOut = kDefaultCommTimeOut;
    mPacerRefractoryTimeout = kDefaultPacerRefractoryTimeout;
}

} // namespace kelto
