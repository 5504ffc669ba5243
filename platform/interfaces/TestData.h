#pragma once
// The data objects of a test element that the plug-in implements and the host
// keeps, saves and prints: configuration, limits, result and its measurements.

#include <QString>
#include <cstdint>

#include "../Object.h"
#include "../Variant.h"

namespace kelto {

class IDialog;
class IProtocolLog;
class IReport;
class IStandard;
class IStandardCollection;
class ILimit;
class ITestElement;
class ITestSetup;
class ITestFilter;
class IXmlDocument;
class IXmlElement;

namespace hostclass {
constexpr const char* ServiceRecord = "Kelto.ServiceRecord";
constexpr const char* TestGuideConfig = "Kelto.TestGuideConfig";
} // namespace hostclass

// Status of a measurement or result.
enum EMeasurementStatus : std::int32_t { emsNone = 0, emsPassed = 1, emsFailed = 2, emsNotApplicable = 3 };
// Value type of a measurement.
enum EValueType : std::int32_t { evtNumber = 1, evtRefractory = 2, evtBoolean = 3, evtText = 5 };
// Flags of IMeasurement2.GetLimitValue / GetResultValue.
namespace eff {
constexpr std::int32_t Calculate = 1;
constexpr std::int32_t Text = 2;
constexpr std::int32_t Unit = 4;
} // namespace eff

class IMeasurement : public virtual IObject {
public:
    virtual QString Description() = 0; // translated
    virtual QString Key() = 0;
    virtual QString LimitKey() = 0;
    virtual std::int32_t Status() = 0;
    virtual QString Unit() = 0;
    virtual Variant value() = 0;
    virtual Variant PresetValue() = 0;
    virtual std::int32_t ValueType() = 0;
    virtual QString ValueFormat() = 0;
    virtual QString Flags() = 0;
    virtual QString ToolTipText() = 0;
    virtual void Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>& log) = 0;
    virtual Ptr<IXmlElement> Save(const Ptr<IXmlDocument>& owner) = 0;
};

class IMeasurement2 : public virtual IObject {
public:
    virtual Variant GetLimitValue(const Ptr<IStandard>& standard, std::int32_t hiLo, std::int32_t format = 0) = 0;
    virtual Variant GetResultValue(std::int32_t format = 0) = 0;
    virtual bool SupportsLimit(std::int32_t hiLo) = 0;
    virtual float CalculateLimitValue(const Ptr<ILimit>& limit, std::int32_t hiLo) = 0;
    virtual std::int32_t ValidateLimits(const Ptr<IStandard>& standard) = 0;
};

class ILimitData : public virtual IObject {
public:
    virtual QString Description() = 0;
    virtual void SetDescription(const QString& description) = 0;
    virtual bool HasDialog() = 0;
    virtual Ptr<IStandardCollection> Standards() = 0;
    virtual Ptr<ITestElement> Owner() = 0;
    virtual Ptr<ILimitData> Clone() = 0;
    virtual Ptr<IDialog> CreateDialog() = 0;
    virtual Ptr<IStandard> CreateStandard(const QString& alphaName, const QString& completeName) = 0;
    virtual void Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>& log) = 0;
    virtual Ptr<IXmlElement> Save(const Ptr<IXmlDocument>& owner) = 0;
    virtual void PrintReport(const Ptr<IReport>& report, const Ptr<ITestSetup>& setup) = 0;
    virtual void UpdateLimits(const Ptr<IProtocolLog>& log) = 0;
    virtual Ptr<IStandardCollection> FindFailedStandards(const Ptr<IMeasurement>& measurement, const Ptr<IStandardCollection>& selected) = 0;
};

class IConfigData : public virtual IObject {
public:
    virtual bool HasDialog() = 0;
    virtual Ptr<IConfigData> Clone() = 0;
    virtual Ptr<IDialog> CreateDialog() = 0;
    virtual void Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>& log) = 0;
    virtual Ptr<IXmlElement> Save(const Ptr<IXmlDocument>& owner) = 0;
    virtual void PrintReport(const Ptr<IReport>& report) = 0;
};

// The host's service record of a result: the readings in a form the host's
// service history keeps ("ServiceRecord" element).
class IServiceRecord : public virtual IObject {
public:
    virtual void Fill(const Ptr<ITestFilter>& filter, const QString& codes, const QString& values) = 0;
    virtual Ptr<IXmlElement> Save(const Ptr<IXmlDocument>& owner) = 0;
    virtual void Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>& log) = 0;
    virtual QString Codes() = 0;
    virtual QString Values() = 0;
};

class IResultData : public virtual IObject {
public:
    virtual QString Comment() = 0;
    virtual void SetComment(const QString& comment) = 0;
    virtual bool HasDialog() = 0;
    virtual std::int32_t Status() = 0;
    virtual Ptr<IMeasurement> Measurement(const Variant& key) = 0; // key text or 1-based position
    virtual std::int32_t MeasurementCount() = 0;
    virtual Ptr<IServiceRecord> ServiceRecord() = 0;
    virtual std::int32_t MTIID() = 0;
    virtual Ptr<IDialog> CreateDialog() = 0;
    virtual void Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>& log) = 0;
    virtual Ptr<IXmlElement> Save(const Ptr<IXmlDocument>& owner) = 0;
    virtual void PrintReport(const Ptr<IReport>& report, const Ptr<ITestSetup>& setup) = 0;
};

// The host's per-test settings of the operator guide; a configuration owns one and
// persists it as its "TestGuideSettings" child.
class ITestGuideConfig : public virtual IObject {
public:
    virtual Ptr<ITestGuideConfig> Clone() = 0;
    virtual void Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>& log) = 0;
    virtual Ptr<IXmlElement> Save(const Ptr<IXmlDocument>& owner) = 0; // "TestGuideSettings"
    virtual bool ShowPictures() = 0;
    virtual void SetShowPictures(bool show) = 0;
    virtual bool ConfirmNext() = 0;
    virtual void SetConfirmNext(bool confirm) = 0;
    // The settings as the guide toolbar's option bits: 1 show pictures, 2 confirm next.
    virtual std::int32_t Options() { return (ShowPictures() ? 1 : 0) | (ConfirmNext() ? 2 : 0); }
};

// A configuration that owns the guide settings of its test; the guide asks for
// them through this, without knowing the configuration classes.
class ITestGuideConfigOwner : public virtual IObject {
public:
    // The owned settings object itself, not a copy; null when the host has none.
    virtual Ptr<ITestGuideConfig> TestGuideConfig() const = 0;
};

} // namespace kelto
