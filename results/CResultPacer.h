#pragma once
// The pacer results: the named readings of the two transcutaneous pacemaker tests,
// handed over as one array of analyser replies.

#include <QStringList>

#include "configurations/CConfigPacer.h"
#include "results/CResultBase.h"

namespace kelto {

class CResultPacer : public CResultBase {
public:
    void UpdateStatus(const Ptr<ITestElement>& iteOwner, const Ptr<IStandardCollection>& iscSelected, bool fNA = false);
    // Library-internal: writes the status; the status is read through IResultData.
    void SetStatus(std::int32_t status) { mlStatus = status; }

protected:
    using CResultBase::CResultBase;

    // Reply i goes to the measurement keyed keys[i]; an empty reply stores nothing.
    void storeByIndex(const QStringList& replies, const QStringList& keys);
};

// Rate, pulse current, width and voltage of the pacer-parameter test.
class CResultPacerParameter : public CResultPacer {
public:
    static constexpr ResultIdentity kIdentity{nullptr, "KeltoTarvoXTest.CResultPacerParameter", "20284::Loading Pacer Parameter Test result data"};

    CResultPacerParameter() : CResultPacer(kIdentity) {}
    // Presets of rate and current from the configuration when one is given.
    void Initialize(const Ptr<CConfigPacerParameter>& ccpConfigPP);
    // Replies to "[BPM]", "[PAC]", "[PAW]" and "[PAV]", in this order.
    void StoreResult(const QStringList& sResultData);
};

// Sensed and paced refractory periods of the pacer-refractory test.
class CResultPacerRefractory : public CResultPacer {
public:
    static constexpr ResultIdentity kIdentity{nullptr, "KeltoTarvoXTest.CResultPacerRefractory",
        "20297::Loading Pacer Refractory Test result data"};

    CResultPacerRefractory() : CResultPacer(kIdentity) {}
    // The configuration is accepted and not read.
    void Initialize(const Ptr<CConfigPacerRefractory>& ccrConfigPR);
    // Replies to "[PRP]" (paced) and "[SRP]" (sensed), in this order.
    void StoreResult(const QStringList& sResultData);
};

} // namespace kelto
