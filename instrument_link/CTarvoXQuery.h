#pragma once
// The host's instrument query: does a Tarvo analyser answer on a given port? It
// uses a port object of its own, not the link's protocol, asks for the version
// once (once more after prompting the operator) and closes the port again.

#include <memory>

#include "platform/interfaces/Instrument.h"

namespace kelto {

class SerialControl;

class CTarvoXQuery : public IKeltoVexaQuery, public ILinkDiagnostics {
public:
    // The analyser gets this long to answer "[VER]".
    static constexpr int kReplyTimeOutMs = 3000;

    CTarvoXQuery();
    ~CTarvoXQuery() override;

    QString MtiType() override { return QString(); }
    QString SerialNo() override { return QString(); }
    QString FWVersion() override { return QString(); }
    InstrumentRecord QueryMTI(std::int32_t port) override;

    // Why the last query found no analyser; empty after one that did.
    QString LastFailure() override { return m_lastFailure; }

private:
    void OpenPort(std::int16_t port);
    void ClosePort();
    InstrumentRecord QueryVersion();
    QString AskVersion();

    std::unique_ptr<SerialControl> mComm;
    std::int32_t mlRegTimeOut = 0;
    QString m_lastFailure;
};

} // namespace kelto
