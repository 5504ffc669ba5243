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

int tell(const QString& text, int buttons = mb::OKOnly)
{
    return MsgBox(text, buttons | mb::Exclamation, QLatin1String(MCommUtils::kLibrary));
}

// Error 8030 asks the operator to switch the analyser off: only then does it forget
// the earlier requests it may hold. The operator's OK proves nothing; the link
// forgets them once it has seen the analyser silent and then answering again.
void switchOffAndOn(const PluginError& error)
{
    const QString port = MComm::comm().DisplayName();
    if (tell(error.boxText(), mb::OKCancel) != mb::OK)
        return;
    switch (MComm::ProbeAnalyser()) {
    case MComm::Probe::Answers:
        tell(QStringLiteral("The analyser on %1 still answers, so it was not switched off: the earlier requests it may hold stay "
                            "counted. Switch it off when the link asks again.")
                 .arg(port));
        return;
    case MComm::Probe::Unreachable:
        tell(QStringLiteral("%1 cannot be reached, so the link cannot see whether the analyser was switched off: the earlier "
                            "requests it may hold stay counted.")
                 .arg(port));
        return;
    case MComm::Probe::Stopped:
        return;
    case MComm::Probe::Silent:
        break;
    }
    if (tell(QStringLiteral("The analyser on %1 is silent. Switch it on, wait until it shows its main menu, then press OK.").arg(port),
            mb::OKCancel)
        != mb::OK)
        return;
    if (MComm::ProbeAnalyser() == MComm::Probe::Answers && MComm::ReadingsThatMayCome() == 0)
        tell(QStringLiteral("The analyser on %1 answers again and holds no earlier request. Start the test again.").arg(port));
    else
        tell(QStringLiteral("The analyser on %1 does not answer yet. The earlier requests are forgotten once it answers [VER] "
                            "again, at the next start.")
                 .arg(port));
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
        if (error.number() == MCommUtils::kReplyUncertain && !fIgnoreErrors)
            switchOffAndOn(error);
        else if (error.number() != kVtiError && !fIgnoreErrors)
            tell(error.boxText());
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
