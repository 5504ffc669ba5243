#pragma once
// The analyser link as the test library and the host see it: the link object's
// default interface, the host's instrument query, and the host's table that turns
// a serial port number into a device.

#include <QString>
#include <cstdint>
#include <functional>

#include "../Object.h"
#include "../PluginError.h"
#include "../Variant.h"

namespace kelto {

namespace hostclass {
constexpr const char* SerialPortMap = "Kelto.SerialPortMap";
} // namespace hostclass

namespace linkclass {
constexpr const char* TarvoXVti = "KeltoTarvoXVTI.CTarvoXVti";
constexpr const char* TarvoXVtiId = "{6B574489-342C-4152-B19C-7215EB025347}";
constexpr const char* TarvoXQuery = "KeltoTarvoXVTI.CTarvoXQuery";
constexpr const char* TarvoXQueryId = "{8FE99DFB-D45E-4880-AC67-A6E977C7A851}";
} // namespace linkclass

// The link's error for a channel that cannot be opened or a command that failed.
constexpr std::int32_t kVtiError = hresult(0x8004A462);

enum EVtiState : std::int32_t {
    evtiNotConnected = 0,
    evtiConnecting = 1,
    evtiIdle = 2,
    evtiBusy = 3,
    evtiTransmitting = 4,
    evtiDisconnecting = 5,
};

// Default interface of the link class: one serial channel to the analyser.
class ITarvoXVTi : public virtual IObject {
public:
    virtual bool mfTimeOut() = 0;
    virtual void SetmfTimeOut(bool value) = 0;
    virtual EVtiState State() = 0;
    virtual void Abort() = 0;
    // The reply as text with its line end; Empty when aborted before the reply.
    virtual Variant SendCommand(const QString& command, bool fIgnoreErrors = false) = 0;
    virtual QString GetResults() = 0;
    virtual void OpenChannel() = 0;
    virtual void CloseChannel() = 0;
    virtual void Wait(std::int32_t milliseconds) = 0;
    virtual bool TestStop() = 0;
    virtual Variant TestCount(std::int16_t count) = 0;
};

// What the link object and the query can say about their last open: for a
// technician's line check, and for the operator whose start found no analyser.
class ILinkDiagnostics : public virtual IObject {
public:
    // Why the last open of the analyser's port failed, naming the port and what to
    // check; empty after an open that worked.
    virtual QString LastFailure() = 0;
};

// What the link saw while it waits for a reading and goes on waiting (a line it
// cannot read), for the operator: the guide's status line, a command's standard
// error. The handler is called on the caller's thread during the wait.
class ILinkNotice : public virtual IObject {
public:
    virtual void SetNoticeHandler(std::function<void(const QString&)> handler) = 0;
    // What the link does after error 8030 while the operator acts between its boxes,
    // and what the operator does meanwhile: no reading is awaited then.
    virtual void SetCheckHandler(std::function<void(const QString&)> handler) = 0;
};

// The host's record of an instrument found by a query; empty texts and 0 mean none.
struct InstrumentRecord {
    QString MtiType;
    QString SerialNo;
    QString FWVersion;
    std::int32_t Present = 0;
    bool isEmpty() const { return MtiType.isEmpty() && SerialNo.isEmpty() && FWVersion.isEmpty() && Present == 0; }
};

class IKeltoVexaQuery : public virtual IObject {
public:
    virtual QString MtiType() = 0;
    virtual QString SerialNo() = 0;
    virtual QString FWVersion() = 0;
    virtual InstrumentRecord QueryMTI(std::int32_t port) = 0;
};

// Serial ports 1 to 16 as the host has them configured.
class ISerialPortMap : public virtual IObject {
public:
    // The device of a port number; empty for a number outside 1 to 16.
    virtual QString DevicePath(std::int32_t port) = 0;
    // How the operator knows the port: "COM<n> (device)", or the device alone where
    // it was given by its path; empty for a number outside 1 to 16.
    virtual QString PortName(std::int32_t port) = 0;
};

} // namespace kelto
