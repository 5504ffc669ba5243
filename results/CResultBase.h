#pragma once
// What every test result shares: the measurements of one run in creation order,
// the status of the whole run, the comment, the service record and the analyser
// record id; the evaluation against the limits of the selected standards, the
// "ResultItem" element, the report table and the detailed-result dialog. A family
// adds its measurement set and how it takes the analyser's readings.

#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>

#include "framework/CMeasurement.h"
#include "platform/PluginError.h"
#include "platform/interfaces/HostServices.h"
#include "platform/interfaces/TestData.h"
#include "platform/interfaces/TestElement.h"

namespace kelto {

namespace resulterr {
constexpr std::int32_t WrongElement = hresult(0x8004A3EB); // severity 4
constexpr std::int32_t NoElement = hresult(0x8004A3EC);    // severity 3
} // namespace resulterr

// Names of one result class: its ProgID (null for the classes private to the
// library), the location its error reports carry and the text of its load log entry.
struct ResultIdentity {
    const char* progId;
    const char* location;
    const char* loadProgress;
};

// The measurements of a result: 1-based, in insertion order, keys compared without
// regard to case, one item per key.
class MeasurementList {
public:
    int count() const { return static_cast<int>(m_items.size()); }
    // Null outside 1..count().
    Ptr<CMeasurement> item(int position) const;
    // 1-based position of the key; 0 when the list holds no such key.
    int positionOf(const QString& key) const;
    Ptr<CMeasurement> find(const QString& key) const { return item(positionOf(key)); }
    // Added under its own key; false when that key is taken.
    bool add(const Ptr<CMeasurement>& measurement);
    // Keeps the first count items.
    void truncate(int count);
    const QList<Ptr<CMeasurement>>& items() const { return m_items; }

private:
    QList<Ptr<CMeasurement>> m_items;
};

class CResultBase : public IResultData {
public:
    ~CResultBase() override;

    QString location() const { return QString::fromLatin1(m_identity.location); }

    // The analyser record of the run, stamped by the test element at its end.
    void SetMTIID(std::int32_t id) { mlMTIID = id; }
    // The text saved with the status: why a run was failed without being judged.
    QString StatusText() const { return msStatusText; }
    // The element that holds the result: its readings are printed beside its limits.
    // The element sets it when it makes the result, and a judgement by it too.
    void SetOwner(const Ptr<ITestElement>& owner) { m_owner = owner; }
    // The measurement under a key, for the library's own views and tests; null when absent.
    Ptr<CMeasurement> FindMeasurement(const QString& key) const;

    // IResultData
    QString Comment() override { return msComment; }
    void SetComment(const QString& comment) override { msComment = comment; }
    bool HasDialog() override { return !msComment.isEmpty(); }
    std::int32_t Status() override { return mlStatus; }
    Ptr<IMeasurement> Measurement(const Variant& key) override;
    std::int32_t MeasurementCount() override;
    Ptr<IServiceRecord> ServiceRecord() override { return mobjServiceRecord; }
    std::int32_t MTIID() override { return mlMTIID; }
    Ptr<IDialog> CreateDialog() override;
    void Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>& log) override;
    Ptr<IXmlElement> Save(const Ptr<IXmlDocument>& owner) override;
    void PrintReport(const Ptr<IReport>& report, const Ptr<ITestSetup>& setup) override;

    // Width of the four shared report columns for a report of that width.
    static std::int32_t reportColumnWidth(std::int32_t reportWidth);
    // Column format of the result table for that shared width.
    static QString reportColumnFormat(std::int32_t width);

protected:
    explicit CResultBase(const ResultIdentity& identity);

    // Starts a new, empty measurement set; status, comment, record and id stay.
    void resetMeasurements();
    // Called by Load with the children of the element before it reads them: a result
    // whose size follows its configuration takes the size the element was saved with.
    virtual void fitToStored(const Ptr<IXmlElementList>&) {}
    // Creates a measurement and adds it under its key; caption and unit as given.
    // Each step that fails is skipped, so a measurement is made all the same.
    Ptr<CMeasurement> addMeasurement(const QString& key, const QString& caption, const QString& unit, std::int32_t valueType,
        const QString& valueFormat);
    // A TextRef in the user's language; empty when the translator cannot be reached.
    static QString translated(const QString& textRef);

    // A reply's reading: its leading number, or Null when the reply does not begin
    // with a number (a blank line, "OVER"), so that it never passes a limit as 0.
    static Variant readingOf(const QString& reply);
    // Stores the reading of a non-empty reply in the measurement under key.
    void storeReading(const QString& key, const QString& reply);
    // The reply at index of a reply array; empty when the array has no such index.
    static QString replyAt(const QStringList& replies, int index);

    // Judges every measurement against the owner's limits for the selected
    // standards (or marks the run not applicable), then rebuilds the service record.
    void evaluateAgainstLimits(const Ptr<ITestElement>& iteOwner, const Ptr<IStandardCollection>& iscSelected, bool fNA);
    void UpdateServiceRecord(const Ptr<ITestFilter>& itf);
    static Ptr<ITestFilter> filterOf(const Ptr<ITestElement>& owner);

    Ptr<MeasurementList> mcolMeasurements; // null until Initialize
    std::int32_t mlStatus = emsNone;
    QString msStatusText;
    QString msComment;
    Ptr<IServiceRecord> mobjServiceRecord;
    std::int32_t mlMTIID = 0;

private:
    void GetReportHeader(const Ptr<IReport>& report, QString& format, QString& header);
    QString GetReportRows(const Ptr<IReport>& report, const Ptr<ITestSetup>& setup);

    ResultIdentity m_identity;
    std::weak_ptr<ITestElement> m_owner; // the element holds the result
};

} // namespace kelto
