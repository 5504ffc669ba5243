#pragma once
// The identity of the analyser used for a run: model, serial number and firmware,
// stored as given (no trimming, no checks).

#include <QString>

#include "platform/Object.h"

namespace kelto {

class CMtiData2 : public virtual IObject {
public:
    QString MtiType() const { return m_mtiType; }
    void SetMtiType(const QString& type) { m_mtiType = type; }
    QString Serial() const { return m_serial; }
    void SetSerial(const QString& serial) { m_serial = serial; }
    QString Firmware() const { return m_firmware; }
    void SetFirmware(const QString& firmware) { m_firmware = firmware; }

private:
    QString m_mtiType;
    QString m_serial;
    QString m_firmware;
};

} // namespace kelto
