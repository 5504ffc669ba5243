#pragma once
// The pacer configurations: the load the analyser presents to the pacemaker and
// the rate and amplitude the operator sets on it. Two test types share this code.

#include <cstdint>

#include "configurations/CConfigBase.h"

namespace kelto {

class CConfigPacer : public CConfigBase {
public:
    // Load in Ohms as the text of the panel's list entry.
    QString PacerLoad() const { return m_pacerLoad; }
    void SetPacerLoad(const QString& load) { m_pacerLoad = load; }
    float PacerRate() const { return m_pacerRate; }
    void SetPacerRate(float rate) { m_pacerRate = rate; }
    float PacerAmplitude() const { return m_pacerAmplitude; }
    void SetPacerAmplitude(float amplitude) { m_pacerAmplitude = amplitude; }
    // Position of the load in the panel's list; kept beside PacerLoad, never checked against it.
    std::int16_t LoadIndex() const { return m_loadIndex; }
    void SetLoadIndex(std::int16_t index) { m_loadIndex = index; }

    // Makes this configuration a copy of source; a null source changes nothing.
    void CopyFrom(const CConfigPacer* source);

protected:
    explicit CConfigPacer(const ConfigIdentity& identity) : CConfigBase(identity) {}

    void copyFromSame(const CConfigBase& source) override;
    std::function<void()> readFields(const Ptr<IXmlElement>& in) override;
    void writeFields(const Ptr<IXmlElement>& out) override;
    QString reportRows(const Ptr<IReport>& report) override;

private:
    QString m_pacerLoad = QStringLiteral("50");
    float m_pacerRate = 60;
    float m_pacerAmplitude = 50;
    std::int16_t m_loadIndex = 0;
};

class CConfigPacerParameter : public ConfigClass<CConfigPacerParameter, CConfigPacer> {
public:
    static constexpr ConfigIdentity kIdentity{"KeltoTarvoXTest.CConfigPacerParameter", "KeltoTarvoXTest.XPacerParameterConfig"};
    static constexpr const char* kClassId = nullptr; // reached only through IConfigData
};

class CConfigPacerRefractory : public ConfigClass<CConfigPacerRefractory, CConfigPacer> {
public:
    static constexpr ConfigIdentity kIdentity{"KeltoTarvoXTest.CConfigPacerRefractory", "KeltoTarvoXTest.XPacerRefractoryConfig"};
    static constexpr const char* kClassId = nullptr;
};

} // namespace kelto
