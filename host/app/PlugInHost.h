#pragma once
// Loads the plug-in through the component runtime and initialises it, keeping
// the error that stopped it, so the window and the commands can say why.

#include <QString>
#include <QTextStream>

#include "platform/PluginError.h"
#include "platform/interfaces/PlugIn.h"
#include "platform/interfaces/TestElement.h"

namespace kelto::host {

class PlugInHost {
public:
    static constexpr const char* kPlugInProgId = "KeltoTarvoX.CTarvoXPlugIn";

    // Creates and initialises the plug-in; false (with error()) when it cannot be used.
    bool load();
    const Ptr<IPlugIn>& plugIn() const { return m_plugIn; }
    // The prototype test elements, in template order; empty when not initialised.
    QList<Ptr<ITestElement>> tests() const;
    const PluginError& error() const { return m_error; }
    bool ok() const { return m_ok; }

private:
    Ptr<IPlugIn> m_plugIn;
    PluginError m_error{0, {}, {}};
    bool m_ok = false;
};

// "The plug-in cannot start: <why> (error <number>)", for a command's standard error.
void printCannotStart(QTextStream& err, const PluginError& error);

} // namespace kelto::host
