#pragma once
// The host's service record of a result: the failure code and the readings, kept
// for the device's service history.
//
// Saved form:  <ServiceRecord Codes="F" Filter="1" Values="/5.2/7.0"/>

#include "platform/interfaces/TestData.h"

namespace kelto::host {

class ServiceRecord : public IServiceRecord {
public:
    void Fill(const Ptr<ITestFilter>& filter, const QString& codes, const QString& values) override;
    Ptr<IXmlElement> Save(const Ptr<IXmlDocument>& owner) override;
    // Raises when the element is missing or is not a "ServiceRecord".
    void Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>& log) override;
    QString Codes() override { return m_codes; }
    QString Values() override { return m_values; }

    std::int32_t filterFlags() const { return m_filterFlags; }

private:
    QString m_codes;
    QString m_values;
    std::int32_t m_filterFlags = 0;
};

} // namespace kelto::host
