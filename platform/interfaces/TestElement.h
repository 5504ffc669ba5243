#pragma once
// Test elements and the host objects around them: the element base each element
// keeps, its information and filter, the host's test list, the running sequence
// (test setup), the analyser records and the guide helper.

#include <QString>
#include <cstdint>

#include "../Object.h"
#include "../Variant.h"

namespace kelto {

class IConfigData;
class ILimitData;
class IResultData;
class IProtocolLog;
class IReport;
class IStandardCollection;
class IXmlDocument;
class IXmlElement;

namespace hostclass {
constexpr const char* TestElementBase = "{BE9EF4AA-AC5D-11D3-9A8E-0050DA3393D8}";
constexpr const char* TestList = "{D7CCA774-B795-11D3-BF79-0050DA3393D8}";
constexpr const char* MtiRecord = "Kelto.MtiRecord";
constexpr const char* TestGuideHelper = "Kelto.TestGuideHelper";
} // namespace hostclass

// Code a test element gives the test setup when the guide closes.
enum ETestNavigation : std::int32_t { etnNext = 0, etnPrevious = 1, etnAbort = 2, etnSkip = 3 };

class ITestInfo : public virtual IObject {
public:
    virtual QString Type() = 0;
    virtual void SetType(const QString& type, const QString& parameter) = 0; // both at once
    virtual QString Parameter() = 0;
    virtual void SetParameter(const QString& text) = 0;
    virtual QString Name() = 0;
    virtual void SetName(const QString& text) = 0;
    virtual QString Description() = 0;
    virtual void SetDescription(const QString& text) = 0;
};

class ITestFilter : public virtual IObject {
public:
    static constexpr std::int32_t ServiceRecordFlag = 1;
    virtual std::int32_t Flags() = 0;
    virtual void SetFlags(std::int32_t flags) = 0;
};

class ITestSetup;

class ITestElement : public virtual IObject {
public:
    virtual QString PlugInID() = 0;
    virtual std::int32_t TestID() = 0;
    virtual std::int32_t ID() = 0;
    virtual void SetID(std::int32_t id) = 0;
    virtual Ptr<ITestElement> Parent() = 0;
    virtual void SetParent(const Ptr<ITestElement>& parent) = 0;
    virtual Ptr<ITestInfo> Info() = 0;
    virtual Ptr<ITestFilter> Filter() = 0;
    virtual Ptr<IResultData> Result() = 0;
    virtual Ptr<ILimitData> Limits() = 0;
    virtual Ptr<IConfigData> Configuration() = 0;
    virtual void Initialize(const QString& plugInId, std::int32_t testId, std::int32_t id) = 0;
    virtual Ptr<ITestElement> Clone() = 0;
    virtual void Perform(const Ptr<ITestSetup>& setup) = 0;
    virtual void Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>& log) = 0;
    virtual Ptr<IXmlElement> Save(const Ptr<IXmlDocument>& owner, std::int32_t saveMode) = 0;
    virtual void PrintReport(const Ptr<IReport>& report, const Ptr<ITestSetup>& setup) = 0;
    virtual bool QuerySetParent(const Ptr<ITestElement>& parent) = 0;
    virtual void Terminate() = 0;
    virtual void UpdateReferences() = 0;
    virtual Variant GetMeasurementList() = 0;
};

// The host's part of every test element: keeps ids, parent, info, filter,
// configuration, limits and result, and loads, saves and prints the element.
// It is an ITestElement itself (its PrintReport prints the element).
class ITestElementBase : public virtual ITestElement {
public:
    virtual void SetConfiguration(const Ptr<IConfigData>& configuration) = 0;
    virtual void SetLimits(const Ptr<ILimitData>& limits) = 0;
    virtual void SetResult(const Ptr<IResultData>& result) = 0; // null removes it
    virtual Ptr<ITestElementBase> CloneBase() = 0;
};

class ITestList : public virtual IObject {
public:
    virtual void Add(const Ptr<ITestElement>& element, const Ptr<ITestElement>& parent, std::int32_t flags) = 0;
    virtual int Count() = 0;
    virtual Ptr<ITestElement> ItemAt(int index) = 0;           // from 0, top level
    virtual Ptr<ITestElement> Item(std::int32_t testId) = 0;   // null when absent
    virtual QList<Ptr<ITestElement>> Children(const Ptr<ITestElement>& parent) = 0;
    virtual void Terminate() = 0;
};

// One analyser record (MTI record) of the host.
class IMtiRecord : public virtual IObject {
public:
    virtual std::int32_t ID() = 0;
    virtual QString Owner() = 0;
    virtual void SetOwner(const QString& owner) = 0;
    virtual QString Model() = 0;
    virtual void SetModel(const QString& model) = 0;
    virtual QString SerialNumber() = 0;
    virtual void SetSerialNumber(const QString& serial) = 0;
    virtual QString Firmware() = 0;
    virtual void SetFirmware(const QString& firmware) = 0;
};

class IMtiDatabase : public virtual IObject {
public:
    virtual Ptr<IMtiRecord> Item(const QString& owner, std::int32_t id) = 0; // null when absent
    virtual std::int32_t Add(const Ptr<IMtiRecord>& record) = 0;           // its new id
    virtual QList<Ptr<IMtiRecord>> Records() = 0;
};

class ITestSetup : public virtual IObject {
public:
    virtual bool QueryPerform(const Ptr<ITestElement>& element) = 0;
    virtual std::int32_t Navigation() = 0;
    virtual void SetNavigation(std::int32_t navigation) = 0;
    virtual Ptr<IStandardCollection> SelectedStandards() = 0;
    virtual Ptr<IMtiDatabase> MtiDatabase() = 0;
    virtual void TestFinished(const Ptr<ITestElement>& element) = 0;
};

// The host's help for guide windows: captions and the abort confirmation.
class ITestGuideHelper : public virtual IObject {
public:
    virtual QString Caption(const Ptr<ITestElement>& element) = 0;
    virtual bool ConfirmAbort() = 0;
};

} // namespace kelto
