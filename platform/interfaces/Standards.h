#pragma once
// The host's standards and limits: a standard is a named set of limits keyed by
// measurement key; a limit has a value and a formula per limit index (0 high, 1 low).

#include <QString>
#include <cstdint>

#include "../Object.h"
#include "../Variant.h"

namespace kelto {

class IXmlDocument;
class IXmlElement;
class IProtocolLog;
class IReport;
class ITestElement;

namespace hostclass {
constexpr const char* StandardCollection = "Kelto.StandardCollection";
constexpr const char* Standard = "Kelto.Standard";
constexpr const char* Limit = "Kelto.Limit";
constexpr const char* RelativeLimit = "Kelto.RelativeLimit";
} // namespace hostclass

// Limit indexes.
constexpr int elvHigh = 0;
constexpr int elvLow = 1;

class ILimit : public virtual IObject {
public:
    virtual void Initialize(const QString& key, const QString& unit, const QString& highFormula, const QString& lowFormula) = 0;
    virtual QString Key() = 0;
    virtual QString Unit() = 0;
    virtual bool HasValue(int index) = 0;
    virtual float Value(int index) = 0; // raises when there is none
    virtual void SetValue(int index, float value) = 0;
    virtual void ClearValue(int index) = 0;
    virtual QString Formula(int index) = 0; // "Y", "X+Y", "X+(X*Y%)" or empty
    virtual void SetFormula(int index, const QString& formula) = 0;
};

// A limit whose formula makes its value relative to the preset value.
class IRelativeLimit : public virtual IObject {
public:
    virtual float CalculateValue(float preset, int index) = 0;
};

class IStandard : public virtual IObject {
public:
    virtual QString AlphaName() = 0;
    virtual QString CompleteName() = 0;
    virtual void SetNames(const QString& alphaName, const QString& completeName, std::int32_t flags) = 0;
    virtual QList<Ptr<ILimit>> Limits() = 0;
    virtual Ptr<ILimit> FindLimit(const QString& key) = 0; // null when absent
    virtual void AddLimit(const Ptr<ILimit>& limit) = 0;
    virtual void RemoveLimit(const QString& key) = 0;
    // 2 when the value fails a limit keyed key, else 0; preset is X of the formulas.
    virtual std::int32_t CheckValue(const QString& key, float value, const Variant& preset) = 0;
    virtual Ptr<IStandard> Copy() = 0; // an independent copy with copied limits
};

class IStandardCollection : public virtual IObject {
public:
    virtual int Count() = 0;
    virtual Ptr<IStandard> Item(int index) = 0; // from 0
    virtual Ptr<IStandard> Find(std::int32_t flags, const QString& alphaName, const QString& completeName) = 0;
    virtual void Add(const Ptr<IStandard>& standard) = 0;
    virtual void Clear() = 0;
    virtual Ptr<IStandardCollection> Clone() = 0; // copies of the standards
    // Reads the standards written by Save from the children of an element.
    virtual void Load(const Ptr<IXmlElement>& element, const Ptr<IProtocolLog>& log) = 0;
    // Writes the standards as the children of a new element (named "Standards";
    // the caller may rename it); null when the document makes no element.
    virtual Ptr<IXmlElement> Save(const Ptr<IXmlDocument>& doc) = 0;
    // Prints the limits of the selected standards that this collection has, one row
    // per measurement of the table (a MeasurementTable: rows of key, caption, format, measurement).
    virtual void PrintReport(const Ptr<IReport>& report, const Ptr<IStandardCollection>& selected, const Variant& measurementTable) = 0;
    virtual void SetOwner(const Ptr<ITestElement>& owner) = 0;
};

} // namespace kelto
