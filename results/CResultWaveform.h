#pragma once
// The waveform-check results: the analyser plays an ECG wave and the operator
// judges the monitor's picture; one yes/no measurement named after the wave.

#include "configurations/CConfigWaveform.h"
#include "results/CResultBase.h"

namespace kelto {

struct WaveformResultInfo {
    ResultIdentity identity;
    const char* key;
    std::int32_t firstCode;
    const char* const* descriptions; // TextRefs by wave code, from firstCode on
    int descriptionCount;
};

class CResultWaveform : public CResultBase {
public:
    // The status follows the operator's mark of the measurement: none 0, passed 1,
    // failed 2; not applicable clears the mark.
    void UpdateStatus(const Ptr<ITestElement>& iteOwner, bool fNA = false);

    // The wave's description by code; empty for a code outside the class's block.
    static QString descriptionOf(const WaveformResultInfo& info, std::int32_t waveType);

protected:
    explicit CResultWaveform(const WaveformResultInfo& info) : CResultBase(info.identity), m_info(info) {}

    void build(std::int32_t waveType, bool known);

private:
    const WaveformResultInfo& m_info;
};

template <class Self, class Config>
class WaveformResultClass : public CResultWaveform {
public:
    WaveformResultClass() : CResultWaveform(Self::kInfo) {}

    void Initialize(const Ptr<Config>& config) { build(config ? config->WaveType() : 0, config != nullptr); }
};

class CResultArrhythmia : public WaveformResultClass<CResultArrhythmia, CConfigArrhythmia> {
public:
    static const WaveformResultInfo kInfo;
    static constexpr const char* kClassId = "{521CA88A-FD69-417E-BDBA-578341BC9461}";
};

class CResultPerformance : public WaveformResultClass<CResultPerformance, CConfigPerformance> {
public:
    static const WaveformResultInfo kInfo;
    static constexpr const char* kClassId = "{A3879708-496C-47FA-84D0-362F54F8DAE4}";
};

class CResultNormalSinus : public WaveformResultClass<CResultNormalSinus, CConfigNormalSinus> {
public:
    static const WaveformResultInfo kInfo;
    static constexpr const char* kClassId = "{890C743A-56E7-4DA8-AFD2-A4F403D345E5}";
};

} // namespace kelto
