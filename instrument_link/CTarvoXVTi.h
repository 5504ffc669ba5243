#pragma once
// The link object every test element uses: finds and opens the analyser's port,
// sends one command and returns the reply, waits and can be aborted from the
// operator's window during any wait. All instances share the one protocol link.

#include <functional>
#include <utility>

#include "platform/interfaces/Instrument.h"

namespace kelto {

class CTarvoXVTi : public ITarvoXVTi, public ILinkDiagnostics, public ILinkNotice {
public:
    static constexpr const char* kSource = "KeltoTarvoXVTI.CTarvoXVti";

    bool mfTimeOut() override { return m_fTimeOut; }
    void SetmfTimeOut(bool value) override { m_fTimeOut = value; }
    EVtiState State() override { return meState; }
    void Abort() override;
    Variant SendCommand(const QString& command, bool fIgnoreErrors = false) override;
    QString GetResults() override;
    void OpenChannel() override;
    void CloseChannel() override;
    void Wait(std::int32_t milliseconds) override;
    bool TestStop() override;
    Variant TestCount(std::int16_t count) override;

    QString LastFailure() override { return m_lastFailure; }
    void SetNoticeHandler(std::function<void(const QString&)> handler) override { m_notice = std::move(handler); }
    void SetCheckHandler(std::function<void(const QString&)> handler) override { m_checkNotice = std::move(handler); }

private:
    std::int16_t TryPort(std::int16_t port);
    bool CheckHostVersion(const QString& version);
    void SendQuit();

    EVtiState meState = evtiNotConnected;
    bool mfAborted = false;
    bool m_fTimeOut = false;
    QString m_lastFailure;
    std::function<void(const QString&)> m_notice;
    std::function<void(const QString&)> m_checkNotice;
};

} // namespace kelto
