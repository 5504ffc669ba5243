#include "host/app/PlugInHost.h"

#include "host/BasicServices.h"
#include "platform/ComponentRuntime.h"

namespace kelto::host {

bool PlugInHost::load()
{
    m_ok = false;
    try {
        m_plugIn = ComponentRuntime::instance().createAs<IPlugIn>(QLatin1String(kPlugInProgId));
        if (!m_plugIn)
            raiseError(vberr::CannotCreateObject, QStringLiteral("kelto-host"),
                QStringLiteral("The plug-in %1 is not registered. Build the project so that its libraries are registered.")
                    .arg(QLatin1String(kPlugInProgId)));
        m_plugIn->Initialize(std::make_shared<ProtocolLog>());
        m_plugIn->Tests(); // fails with the plug-in's error when it stayed uninitialised
        m_ok = true;
    } catch (...) {
        m_error = currentError();
    }
    return m_ok;
}

QList<Ptr<ITestElement>> PlugInHost::tests() const
{
    QList<Ptr<ITestElement>> out;
    if (!m_ok)
        return out;
    ignoreErrors([&] {
        const Ptr<ITestList> list = m_plugIn->Tests();
        for (int i = 0; i < list->Count(); ++i)
            out.append(list->ItemAt(i));
    });
    return out;
}

void printCannotStart(QTextStream& err, const PluginError& error)
{
    err << "The plug-in cannot start: " << error.description() << " (error " << error.number() << ")\n";
}

} // namespace kelto::host
