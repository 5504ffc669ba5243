#pragma once
// The ECG waveform configurations: which simulated ECG wave the analyser plays and
// for how long, the analyser command of that wave and its display name. Three test
// types share this code; each knows only its own block of waves.

#include <cstdint>

#include "configurations/CConfigBase.h"

namespace kelto {

struct WaveRow {
    std::int32_t code;
    const char* command; // "[W01]"
    const char* name;    // TextRef
};

struct WaveConfigInfo {
    ConfigIdentity identity;
    std::int32_t defaultWaveType;
    const WaveRow* rows;
    int rowCount;
    bool nameBeforeType; // order of "Wavename" and "Wavetype" in "PlugInData"
};

class CConfigWaveform : public CConfigBase {
public:
    // Seconds the wave is played; 0 plays it until the operator stops it.
    std::int32_t Duration() const { return m_duration; }
    void SetDuration(std::int32_t seconds) { m_duration = seconds; }
    // Setting the code leaves the wave name alone until the next command is generated.
    std::int32_t WaveType() const { return m_waveType; }
    void SetWaveType(std::int32_t code) { m_waveType = code; }

    // The analyser command of the selected wave, or empty for a code outside this
    // class's block; refreshes the (translated) wave name. Never fails.
    QString GenerateWaveCommand();

    // Makes this configuration a copy of source; a null source changes nothing.
    void CopyFrom(const CConfigWaveform* source);

    // Report column format of this family (width question 10).
    static QString waveColumnFormat(std::int32_t width);

protected:
    explicit CConfigWaveform(const WaveConfigInfo& info);

    QString msECGWave() const { return m_ecgWave; }
    void SetmsECGWave(const QString& name) { m_ecgWave = name; }

    void copyFromSame(const CConfigBase& source) override;
    std::function<void()> readFields(const Ptr<IXmlElement>& in) override;
    void writeFields(const Ptr<IXmlElement>& out) override;
    QString reportColumnFormat(const Ptr<IReport>& report) override;
    QString reportRows(const Ptr<IReport>& report) override;

private:
    const WaveRow* findWave(std::int32_t code) const;
    // The translated name of the selected wave; the kept name for a code that names
    // no wave of this class.
    QString currentWaveName() const;

    const WaveConfigInfo& m_info;
    QString m_ecgWave;
    std::int32_t m_duration = 7;
    std::int32_t m_waveType;
};

class CConfigNormalSinus : public ConfigClass<CConfigNormalSinus, CConfigWaveform> {
public:
    static const WaveConfigInfo kIdentity;
    static constexpr const char* kClassId = "{9D5A777D-5E4D-4636-A44C-0DEA8B8D7A33}";
    using CConfigWaveform::msECGWave;
    using CConfigWaveform::SetmsECGWave;
};

class CConfigArrhythmia : public ConfigClass<CConfigArrhythmia, CConfigWaveform> {
public:
    static const WaveConfigInfo kIdentity;
    static constexpr const char* kClassId = "{3FAC67E5-49E8-48BC-8106-FBD4B5AB9F57}";
};

class CConfigPerformance : public ConfigClass<CConfigPerformance, CConfigWaveform> {
public:
    static const WaveConfigInfo kIdentity;
    static constexpr const char* kClassId = "{A08D5523-63C1-4B05-8F97-4057408DD31B}";
};

} // namespace kelto
