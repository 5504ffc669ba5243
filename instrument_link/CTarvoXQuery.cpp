#include "CTarvoXQuery.h"

#include "MComm.h"
#include "MCommUtils.h"
#include "SerialControl.h"
#include "platform/Clock.h"
#include "platform/ComponentRuntime.h"
#include "platform/MessageBox.h"
#include "platform/PluginError.h"
#include "platform/interfaces/HostServices.h"

namespace kelto {

CTarvoXQuery::CTarvoXQuery() : mComm(std::make_unique<SerialControl>())
{
    ignoreErrors([&] {
        auto key = ComponentRuntime::instance().createAs<IRegistryKey>(QLatin1String(hostclass::RegistryKey));
        key->OpenKey(hkey::LocalMachine, QStringLiteral("Software\\Quilo\\kelto\\TarvoX"));
        mlRegTimeOut = key->GetValue(QStringLiteral("CommTimeOut")).toLong();
    });
    if (mlRegTimeOut == 0)
        mlRegTimeOut = 600;
}

CTarvoXQuery::~CTarvoXQuery()
{
    ignoreErrors([&] { ClosePort(); });
}

InstrumentRecord CTarvoXQuery::QueryMTI(std::int32_t port)
{
    InstrumentRecord record;
    m_lastFailure.clear();
    ignoreErrors([&] { OpenPort(static_cast<std::int16_t>(port)); });
    ignoreErrors([&] {
        if (mComm->StatusText() == QLatin1String("Connected") && mComm->PortOpen())
            record = QueryVersion();
        else
            m_lastFailure = mComm->OpenFailure();
    });
    ignoreErrors([&] { ClosePort(); });
    if (record.Present == 0 && m_lastFailure.isEmpty())
        m_lastFailure = QStringLiteral("No analyser answered on serial port %1.").arg(port);
    return record;
}

void CTarvoXQuery::OpenPort(std::int16_t port)
{
    mComm->SetPortNumber(port);
    mComm->SetSettings(QStringLiteral("2400,N,8,1"));
    mComm->SetPortOpen(true);
}

void CTarvoXQuery::ClosePort()
{
    mComm->SetPortOpen(false);
}

QString CTarvoXQuery::AskVersion()
{
    QString reply;
    ignoreErrors([&] { mComm->DiscardInput(); });
    ignoreErrors([&] { mComm->Output(QStringLiteral("[VER]\n")); });
    Clock& clock = Clock::instance();
    const qint64 deadline = clock.nowMs() + kReplyTimeOutMs;
    int chunks = 0;
    while (true) {
        if (mComm->ReceivedCount() > 0) {
            reply += mComm->Input();
            ++chunks;
        }
        const MCommUtils::ReplyState state = MCommUtils::JudgeReply(reply, chunks, 1);
        if (state != MCommUtils::ReplyState::Incomplete || mComm->Lost())
            break;
        const qint64 remaining = deadline - clock.nowMs();
        if (remaining <= 0)
            break;
        clock.wait(remaining, [&] { return mComm->ReceivedCount() > 0 || mComm->Lost(); });
    }
    return reply;
}

InstrumentRecord CTarvoXQuery::QueryVersion()
{
    QString reply = AskVersion();
    MComm::gfQueryPrompted = false;
    // The analyser's menu cannot bring back a device that went away.
    if (reply.isEmpty() && !mComm->Lost()) {
        MsgBox(QStringLiteral("Press \"more\" softkey twice on Tarvo and ensure that \"Main Menu 1\" is displayed and then Click OK."),
            mb::OKOnly, QLatin1String(MCommUtils::kLibrary));
        reply = AskVersion();
        MComm::gfQueryPrompted = true;
    }
    InstrumentRecord record;
    // Any version number is an analyser here; the link's handshake is stricter. No
    // reply is longer than a line may be.
    if (MCommUtils::JudgeReply(reply, 1, 1) == MCommUtils::ReplyState::TooLong) {
        m_lastFailure = MCommUtils::LineTooLongText(mComm->DisplayName(), QStringLiteral("[VER]"), reply);
    } else if (MCommUtils::VersionFound(reply)) {
        record.MtiType = QStringLiteral("TarvoX");
        record.Present = 1;
    } else if (mComm->Lost() && !MCommUtils::ReplyComplete(reply)) {
        m_lastFailure = MCommUtils::DeviceLostText(mComm->DisplayName(), QStringLiteral("[VER]"));
    } else if (reply.isEmpty()) {
        m_lastFailure = MCommUtils::NoAnswerText(mComm->DisplayName(), QStringLiteral("[VER]"), kReplyTimeOutMs);
    } else {
        m_lastFailure = MCommUtils::NoVersionText(mComm->DisplayName(), QStringLiteral("[VER]"), reply);
    }
    return record;
}

} // namespace kelto
