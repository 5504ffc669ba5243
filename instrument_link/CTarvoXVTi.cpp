#include "CTarvoXVTi.h"

#include "MComm.h"
#include "MCommUtils.h"
#include "SerialControl.h"
#include "platform/Clock.h"
#include "platform/ComponentRuntime.h"
#include "platform/Deref.h"
#include "platform/MessageBox.h"
#include "platform/PluginError.h"
#include "platform/interfaces/HostServices.h"

namespace kelto {

namespace {

constexpr int kQuitLeadMs = 200;
constexpr int kQuitTrailMs = 50;

// A device that went away is said once, by the exchange it cut short or by the
// first command that finds the port gone; every link object shares the one port.
bool g_lossTold = false;

Ptr<IErrorReporter> reporter()
{
    auto r = ComponentRuntime::instance().createAs<IErrorReporter>(QLatin1String(hostclass::ErrorReporter));
    if (!r)
        raiseError(vberr::CannotCreateObject, QLatin1String(CTarvoXVTi::kSource), QStringLiteral("The host's error reporter is not available."));
    return r;
}

[[noreturn]] void raiseVtiError()
{
    reporter()->Raise(QStringLiteral("TarvoX"), kVtiError, QLatin1String(CTarvoXVTi::kSource), 1);
    raiseError(kVtiError, QLatin1String(CTarvoXVTi::kSource)); // Raise never returns; this keeps the promise visible
}

} // namespace

void CTarvoXVTi::Abort()
{
    MComm::module().mfLinkAbort = true;
    mfAborted = true;
    Clock::instance().wake();
}

Variant CTarvoXVTi::SendCommand(const QString& command, bool fIgnoreErrors)
{
    meState = evtiTransmitting;
    mfAborted = false;
    m_fTimeOut = false;
    try {
        // Sending on a closed link would answer nothing as if all went well. A device
        // that went away since the last exchange has closed the port: that is said as
        // when it goes away during an exchange.
        if (MComm::module().miLinkState == MComm::lsClosed || !MComm::comm().PortOpen()) {
            if (MComm::module().miLinkState != MComm::lsClosed && MComm::comm().Lost() && !g_lossTold)
                raiseError(MCommUtils::kDeviceLost, QLatin1String(MCommUtils::kLibrary),
                    MCommUtils::DeviceLostText(MComm::comm().DisplayName(), command.trimmed(), false));
            raiseVtiError();
        }
        MComm::SendCommand(command);
        Variant result;
        if (!mfAborted) {
            QString text;
            MComm::GetResults(text);
            result = text;
        }
        meState = evtiIdle;
        return result;
    } catch (...) {
        const PluginError error = currentError();
        g_lossTold = g_lossTold || error.number() == MCommUtils::kDeviceLost;
        if (error.number() != kVtiError && !fIgnoreErrors) {
            MsgBox(error.boxText(), mb::OKOnly | mb::Exclamation, QLatin1String(MCommUtils::kLibrary));
            // The box asked the operator to switch the analyser off and on: it owes nothing now.
            if (error.number() == MCommUtils::kReplyUncertain)
                MComm::ForgetEarlierRequests();
        }
        raiseVtiError();
    }
}

QString CTarvoXVTi::GetResults()
{
    QString text;
    ignoreErrors([&] { MComm::GetResults(text); });
    return text;
}

void CTarvoXVTi::OpenChannel()
{
    meState = evtiConnecting;
    mfAborted = false;
    m_fTimeOut = false;
    m_lastFailure.clear();
    g_lossTold = false;
    try {
        MComm::InitComm();
        if (CheckHostVersion(QStringLiteral("2.1.2"))) {
            std::int16_t port = 0;
            auto setup = ComponentRuntime::instance().createAs<IInstrumentSetup>(QLatin1String(hostclass::InstrumentSetup));
            if (!setup)
                raiseError(vberr::CannotCreateObject, QLatin1String(kSource), QStringLiteral("The host's instrument settings are not available."));
            port = static_cast<std::int16_t>(deref(setup->Settings(), QLatin1String(kSource)).GetPort(QStringLiteral("TarvoX"), QString()));
            if (port < 1) {
                mfAborted = true;
                m_lastFailure = QStringLiteral("No serial port is set up for the analyser; choose its port in the instrument settings.");
            } else if (TryPort(port) == MComm::kOpenDone) {
                meState = evtiIdle;
            } else {
                m_lastFailure = MComm::module().msLastFailure;
            }
        } else {
            for (std::int16_t port = 1; port <= 16; ++port) {
                if (TryPort(port) == MComm::kOpenDone) {
                    meState = evtiIdle;
                    break;
                }
                if (mfAborted)
                    break;
            }
            if (meState != evtiIdle && !mfAborted)
                m_lastFailure = QStringLiteral("No analyser answered on serial ports 1 to 16; check that it is switched on and connected.");
        }
        if (meState != evtiIdle && m_lastFailure.isEmpty())
            m_lastFailure = QStringLiteral("The search for the analyser was aborted.");
        if (meState == evtiConnecting) {
            meState = evtiNotConnected;
            raiseVtiError();
        }
    } catch (...) {
        meState = evtiNotConnected;
        const PluginError error = currentError();
        if (m_lastFailure.isEmpty())
            m_lastFailure = error.description();
        auto r = reporter();
        if (error.number() == kVtiError)
            r->Raise(QString(), 0, QString(), 1);
        r->ReportError(error, QLatin1String(kSource));
    }
}

void CTarvoXVTi::CloseChannel()
{
    if (!m_fTimeOut)
        ignoreErrors([&] { SendQuit(); });
    ignoreErrors([] { MComm::ClosePort(); });
}

void CTarvoXVTi::Wait(std::int32_t milliseconds)
{
    ignoreErrors([&] { Clock::instance().wait(milliseconds, [this] { return mfAborted; }); });
}

bool CTarvoXVTi::TestStop()
{
    return MComm::module().mfNotSupported;
}

Variant CTarvoXVTi::TestCount(std::int16_t count)
{
    MComm::module().miHeaderOff = count;
    return Variant();
}

std::int16_t CTarvoXVTi::TryPort(std::int16_t port)
{
    if (MComm::module().mfLinkAbort)
        return MComm::kOpenAborted;
    return MComm::OpenPort(port);
}

bool CTarvoXVTi::CheckHostVersion(const QString& version)
{
    return valueOr(
        [&] {
            auto host = ComponentRuntime::instance().createAs<IHostVersion>(QLatin1String(hostclass::HostVersion));
            return host && host->Compare(version) != 0;
        },
        false);
}

void CTarvoXVTi::SendQuit()
{
    Wait(kQuitLeadMs);
    ignoreErrors([] { MComm::comm().Output2(QStringLiteral("[Q]")); });
    Wait(kQuitTrailMs);
}

} // namespace kelto
