#pragma once
// The series results: like readings taken at numbered places in one run (charge
// times of the battery tests, discharge energies of the pulse repetition test).

#include <QStringList>

#include "configurations/CConfigDefibPulse.h"
#include "configurations/CConfigEnergySetting.h"
#include "results/CResultBase.h"

namespace kelto {

class CResultSeries : public CResultBase {
public:
    void UpdateStatus(const Ptr<ITestElement>& iteOwner, const Ptr<IStandardCollection>& iscSelected, bool fNA = false);

protected:
    using CResultBase::CResultBase;

    // Places 1..count keyed keyBase followed by the place number, described by the
    // translated caption, a blank and the number.
    void buildSeries(const QString& keyBase, const QString& captionRef, const QString& unitRef, const QString& valueFormat, int count,
        const Variant& preset);
    // Readings of places 1..count from indices 0..count-1; an empty text leaves its place as it was.
    void storeSeries(const QString& keyBase, const QStringList& replies, int count);

    // The most places a series of the class can have when its configuration sets
    // their number; 0 for a series of fixed size.
    int m_mostPlaces = 0;

private:
    // A series sized by its configuration takes the places its saved element holds
    // (up to m_mostPlaces): a setting changed after the run does not cost readings.
    void fitToStored(const Ptr<IXmlElementList>& children) override;
    // The place a key names (base and number written plainly); 0 when none of this series.
    int placeOf(const QString& key) const;
    void addPlace(int n);

    QString m_keyBase;
    QString m_caption;
    QString m_unitRef;
    QString m_valueFormat;
    Variant m_preset;
};

// The twenty charge times of the battery-capacity test.
class CResultBatteryCapacity : public CResultSeries {
public:
    static constexpr ResultIdentity kIdentity{nullptr, "CResultBatteryCapacity", "20310:Loading Battery Capacity Test result data"};
    static constexpr int kPlaces = 20;

    CResultBatteryCapacity() : CResultSeries(kIdentity) {}
    void Initialize();
    void StoreResult(const QStringList& sResultData);
};

// The fifteen charge times of the battery-retention test.
class CResultBatteryRetention : public CResultSeries {
public:
    static constexpr ResultIdentity kIdentity{"KeltoTarvoXTest.CResultBatteryRetention", "CResultBatteryRetention",
        "20330::Loading Battery Capacity Retention Test result data"};
    static constexpr const char* kClassId = "{AA3EF425-43A7-42DC-8063-C6E8D26C0DCB}";
    static constexpr int kPlaces = 15;

    CResultBatteryRetention() : CResultSeries(kIdentity) {}
    // The configuration is accepted and not read.
    void Initialize(const Ptr<CConfigBatteryRetention>& ccbConfigBC);
    void StoreResult(const QStringList& sResultData);
};

// The discharge energies of the pulse repetition test: ten on battery, else fifteen.
class CResultDefibPulse : public CResultSeries {
public:
    static constexpr ResultIdentity kIdentity{nullptr, "CResultDefibPulse", "20359::Loading Defib Pulse Repetition Test result data"};

    static constexpr int kMainsPlaces = 15;
    static constexpr int kBatteryPlaces = 10;

    CResultDefibPulse() : CResultSeries(kIdentity) { m_mostPlaces = kMainsPlaces; }
    void Initialize(const Ptr<CConfigDefibPulse>& cctConfigCT);
    // Readings from indices 0..iValue; the first empty text ends the series.
    void StoreResult(const QStringList& sResultData, std::int16_t iValue);
};

} // namespace kelto
