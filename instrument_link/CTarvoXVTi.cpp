#include "CTarvoXVTi.h"

#include <QScopeGuard>

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

QString seconds(qint64 milliseconds)
{
    return QString::number(milliseconds / 1000.0, 'f', 1);
}

// The box after the link watched the analyser, when it cannot forget the earlier
// requests: what it saw, and what the operator does now.
void tellKept(MComm::Watched seen, const QString& port)
{
    switch (seen) {
    case MComm::Watched::Answering:
        if (MComm::ReadingsThatMayCome() == 0)
            tell(QStringLiteral("The analyser on %1 still answers [VER], and every answer to an earlier request has come meanwhile. "
                                "Start the test again.")
                     .arg(port));
        else
            tell(QStringLiteral("The analyser on %1 still answers [VER]: the answers to earlier requests it may hold stay counted. "
                                "Start the test again; when a reading cannot be taken, the link asks again.")
                     .arg(port));
        return;
    case MComm::Watched::NoAnswerYet:
        tell(QStringLiteral("The analyser on %1 has not answered [VER] since the error, so the link cannot see it switched off: the "
                            "answers to earlier requests it may hold stay counted. Check that it is switched on, shows its main menu "
                            "and is cabled to this port, then start the test again.")
                 .arg(port));
        return;
    case MComm::Watched::Silent:
        tell(QStringLiteral("The analyser on %1 still does not answer [VER], so the link cannot see it switched on again: the answers "
                            "to earlier requests it may hold stay counted. Check that it is switched on and shows its main menu, then "
                            "start the test again.")
                 .arg(port));
        return;
    case MComm::Watched::Lost:
        tell(QStringLiteral("%1 went away while the link watched for the analyser to be switched off: the answers to earlier "
                            "requests it may hold stay counted. Check the cable, then start the test again.")
                 .arg(port));
        return;
    case MComm::Watched::Stopped:
    case MComm::Watched::AnsweringAgain:
        return;
    }
}

// Error 8030 asks the operator to switch the analyser off: only then does it forget
// the earlier requests it may hold. The operator's word proves nothing: the link asks
// "[VER]" while the operator acts, and forgets them only once it has seen the
// analyser answer, fall silent for longer than any slow answer takes, and answer
// again. Cancel, a Stop or a device that went away keep them counted.
void switchOffAndOn(const PluginError& error)
{
    using MComm::Watched;
    const QString port = MComm::comm().DisplayName();
    MComm::BeginWatch();
    const auto ended = qScopeGuard([] { MComm::EndWatch(); });
    if (tell(error.boxText(), mb::OKCancel) != mb::OK)
        return;
    const int timeOut = MComm::module().miCommTimeOut;
    const int forSilence = MComm::WatchSilenceNeededMs() + timeOut + MComm::kWatchAskMs;
    const int forAnswer = timeOut + 3000;
    Watched seen = MComm::WaitWatch(Watched::Silent, forSilence);
    if (seen == Watched::Answering) {
        if (tell(QStringLiteral("The analyser on %1 still answers [VER], so it has not been switched off. Switch it off now, then "
                                "press OK.")
                     .arg(port),
                mb::OKCancel)
            != mb::OK)
            return;
        seen = MComm::WaitWatch(Watched::Silent, forSilence);
    }
    if (seen == Watched::Silent) {
        if (tell(QStringLiteral("The analyser on %1 has been silent for %2 s. Switch it on, wait until it shows its main menu, then "
                                "press OK.")
                     .arg(port, seconds(MComm::WatchSilenceMs())),
                mb::OKCancel)
            != mb::OK)
            return;
        seen = MComm::WaitWatch(Watched::AnsweringAgain, forAnswer);
        if (seen == Watched::Silent) {
            if (tell(QStringLiteral("The analyser on %1 does not answer [VER] yet. Switch it on, wait until it shows its main menu, "
                                    "then press OK.")
                         .arg(port),
                    mb::OKCancel)
                != mb::OK)
                return;
            seen = MComm::WaitWatch(Watched::AnsweringAgain, forAnswer);
        }
    }
    if (seen != Watched::AnsweringAgain) {
        tellKept(seen, port);
        return;
    }
    const QString silence = seconds(MComm::WatchSilenceMs());
    if (MComm::EndWatch())
        tell(QStringLiteral("The analyser on %1 was silent for %2 s and answers [VER] again, as it does once switched off and on: "
                            "the link no longer counts answers to earlier requests. Start the test again.")
                 .arg(port, silence));
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
        MComm::SetNotice(m_notice);
        const auto untold = qScopeGuard([] { MComm::SetNotice({}); });
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
