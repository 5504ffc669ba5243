#include "CTarvoXVTi.h"

#include <QScopeGuard>

#include "MAnswers.h"
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

// What stays counted when the link did not see the analyser switched off and on,
// and what that costs the readings to come.
QString countedText()
{
    const int answers = MComm::ReadingsThatMayCome();
    if (answers == 0)
        return QStringLiteral("Every answer to an earlier request has come meanwhile. Start the test again.");
    const QString costs = answers > MCommUtils::kMaxEarlierAnswers
        ? QStringLiteral("each later reading fails with error 8030 at once")
        : QStringLiteral("each later reading goes out %1 times, and fails with error 8030 again where the lines that come do not show "
                         "which one is the reading")
              .arg(answers + 1);
    return QStringLiteral("The link goes on counting %1 that the analyser may still send: %2, until the analyser is switched off and on "
                          "while the link checks it after such an error.")
        .arg(MComm::EarlierAnswersText(answers), costs);
}

// The last box when the link did not see the analyser switched off and on: what it
// saw, and what that means for the readings to come.
void tellKept(MComm::Watched seen, qint64 shortSilenceMs, const QString& port)
{
    QString saw;
    switch (seen) {
    case MComm::Watched::Answering:
        saw = shortSilenceMs > 0 ? QStringLiteral("The analyser on %1 was silent for only %2 s, too short to show that it was switched off. ")
                                       .arg(port, seconds(shortSilenceMs))
                                 : QStringLiteral("The analyser on %1 still answers [VER], so the link did not see it switched off. ").arg(port);
        break;
    case MComm::Watched::NoAnswerYet:
        saw = QStringLiteral("The analyser on %1 has not answered [VER] since the error, so the link cannot see it switched off. Check "
                             "that it is switched on, shows its main menu and is cabled to this port. ")
                  .arg(port);
        break;
    case MComm::Watched::Silent:
        saw = QStringLiteral("The analyser on %1 still does not answer [VER], so the link cannot see it switched on again. Check that it "
                             "is switched on and shows its main menu. ")
                  .arg(port);
        break;
    case MComm::Watched::Lost:
        saw = QStringLiteral("%1 went away while the link watched for the analyser to be switched off. Check the cable. ").arg(port);
        break;
    case MComm::Watched::Stopped:
    case MComm::Watched::AnsweringAgain:
        break;
    }
    tell(saw + countedText());
}

// Error 8030 asks the operator to switch the analyser off: only then does it forget
// the earlier requests it may hold. The link asks "[VER]" while the operator acts,
// as often as its proof needs, and says between the boxes what it does. It forgets
// the requests only once it has seen the analyser answer, fall silent for longer
// than any slow answer takes and answer again, and the operator then says that it
// was switched off and on meanwhile. Cancel, a Stop or a device that went away keep
// them counted, and the last box says what that costs.
class SwitchOffCheck {
public:
    explicit SwitchOffCheck(std::function<void(const QString&)> checking)
        : m_port(MComm::comm().DisplayName())
        , m_timeOut(MComm::module().miCommTimeOut)
        , m_checking(std::move(checking))
    {
    }
    ~SwitchOffCheck()
    {
        if (!m_ended)
            MComm::EndWatch(false);
    }

    void run(const PluginError& error)
    {
        using MComm::Watched;
        say(QStringLiteral("No reading was taken. The link asks the analyser on %1 for its version before it says why.").arg(m_port));
        MComm::BeginWatch();
        const MAnswers::SwitchOffWatch* watched = MComm::Watching();
        m_leaveOff = watched ? watched->leaveOffSeconds() : 0;
        m_needed = watched ? watched->silenceNeededMs() : 0;
        qint64 boxAt = Clock::instance().nowMs();
        if (!ask(error.boxText()))
            return;
        Watched seen = waitForSilence();
        // Its first answer may have been on its way when it was switched off: once on
        // again and answering, it is asked to be switched off once more.
        if (seen == Watched::NoAnswerYet) {
            if (!ask(QStringLiteral("The analyser on %1 has not answered [VER] since the error, so the link cannot see it switched off. "
                                    "Switch it on, wait until it shows its main menu, then press OK.")
                         .arg(m_port)))
                return;
            seen = waitForAnswer(Watched::Answering);
            if (seen == Watched::Answering) {
                boxAt = Clock::instance().nowMs();
                if (!ask(QStringLiteral("The analyser on %1 answers [VER]. Switch it off, leave it off for at least %2 s, then press OK.")
                             .arg(m_port)
                             .arg(m_leaveOff)))
                    return;
                seen = waitForSilence();
            }
        }
        // Asked once more to switch it off; an analyser that answers still is told so.
        if (seen == Watched::Answering) {
            const qint64 shortMs = shortSilenceSince(boxAt);
            const QString saw = shortMs > 0
                ? QStringLiteral("The analyser on %1 was silent for only %2 s and answers [VER] again: too short to show that it was "
                                 "switched off, as it must stay silent for at least %3 s.")
                      .arg(m_port, seconds(shortMs), seconds(m_needed))
                : QStringLiteral("The analyser on %1 still answers [VER], so it has not been switched off.").arg(m_port);
            boxAt = Clock::instance().nowMs();
            if (!ask(saw + QStringLiteral(" Switch it off, leave it off for at least %1 s, then press OK.").arg(m_leaveOff)))
                return;
            seen = waitForSilence();
        }
        if (seen == Watched::Silent) {
            if (!ask(QStringLiteral("The analyser on %1 has not answered [VER] for %2 s: the link sees it switched off. Switch it on, wait "
                                    "until it shows its main menu, then press OK.")
                         .arg(m_port, seconds(silenceMs()))))
                return;
            seen = waitForAnswer();
            if (seen == Watched::Silent) {
                if (!ask(QStringLiteral("The analyser on %1 does not answer [VER] yet. Switch it on, wait until it shows its main menu, "
                                        "then press OK.")
                             .arg(m_port)))
                    return;
                seen = waitForAnswer();
            }
        }
        if (seen == Watched::Stopped)
            return;
        if (seen != Watched::AnsweringAgain) {
            const qint64 shortMs = shortSilenceSince(boxAt);
            end(false);
            tellKept(seen, shortMs, m_port);
            return;
        }
        // The link saw what a switch-off looks like; only the operator knows whether
        // the analyser was switched off, or busy or off its main menu for a while.
        if (!ask(QStringLiteral("The analyser on %1 was silent for %2 s and answers [VER] again. If you switched it off and on in that "
                                "time, press OK: the link then forgets the answers to earlier requests that it still counts, as a "
                                "switched-off analyser forgets the requests. If you did not, press Cancel: they stay counted.")
                     .arg(m_port, seconds(silenceMs()))))
            return;
        end(true);
    }

private:
    // A box with OK and Cancel; Cancel ends the check with what stays counted.
    bool ask(const QString& text)
    {
        if (tell(text, mb::OKCancel) == mb::OK)
            return true;
        end(false);
        tell(QStringLiteral("The check was cancelled. ") + countedText());
        return false;
    }

    void say(const QString& text)
    {
        if (m_checking)
            m_checking(text);
    }

    void end(bool forget)
    {
        say(QStringLiteral("The link reads the answers the analyser on %1 may still be sending.").arg(m_port));
        MComm::EndWatch(forget);
        m_ended = true;
    }

    // After OK at a box that asks for the switch-off: the analyser answers at once
    // (Answering), or stays silent long enough (Silent), or answers again before.
    MComm::Watched waitForSilence()
    {
        using MComm::Watched;
        say(QStringLiteral("The link checks that the analyser on %1 is switched off: it asks [VER], which a switched-off analyser does "
                           "not answer. Leave it switched off for at least %2 s.")
                .arg(m_port)
                .arg(m_leaveOff));
        const MAnswers::SwitchOffWatch* watched = MComm::Watching();
        const int askEvery = watched ? watched->askEveryMs() : 0;
        const int lines = watched ? watched->lines() : 0;
        MComm::AskWatch(true);
        Watched seen = MComm::WaitWatch(Watched::Silent, m_timeOut + askEvery, true);
        // No answer to the ask: its silence goes on, until long enough or it answers.
        if (seen == Watched::Answering && !answeredSince(lines))
            seen = MComm::WaitWatch(Watched::Silent, m_needed + askEvery + m_timeOut, true);
        return seen;
    }

    // After OK at a box that asks to switch the analyser on.
    MComm::Watched waitForAnswer(MComm::Watched goal = MComm::Watched::AnsweringAgain)
    {
        say(QStringLiteral("The link asks the analyser on %1 for its version, to see it switched on.").arg(m_port));
        MComm::AskWatch();
        return MComm::WaitWatch(goal, 2 * m_timeOut);
    }

    bool answeredSince(int lines) const
    {
        const MAnswers::SwitchOffWatch* watched = MComm::Watching();
        return watched && watched->lines() != lines;
    }

    qint64 silenceMs() const
    {
        const MAnswers::SwitchOffWatch* watched = MComm::Watching();
        return watched ? watched->silenceMs(Clock::instance().nowMs()) : 0;
    }

    qint64 shortSilenceSince(qint64 since) const
    {
        const MAnswers::SwitchOffWatch* watched = MComm::Watching();
        return watched ? watched->shortSilenceMs(since) : 0;
    }

    QString m_port;
    int m_timeOut;
    int m_leaveOff = 0;
    int m_needed = 0;
    bool m_ended = false;
    std::function<void(const QString&)> m_checking;
};

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
            SwitchOffCheck(m_checkNotice).run(error);
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
