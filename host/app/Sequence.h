#pragma once
// A test sequence: the test elements a technician runs in order, kept in an XML
// file. Each element is stored in its own saved form, wrapped with its test id so
// that the plug-in can create the element again before it loads it, and followed
// by what judged its result when it holds one (passed or failed): the standards,
// the presets and the limits (JudgementRecord.h):
//
//   <TestSequence PlugIn="TarvoX">
//     <Item TestID="300"> ...the element's saved form...
//       <JudgedAgainst Values="True"><Standard Alpha="IEC 60601-2-4" Complete="...">
//         <Limit Key="CHTI" Unit="s"><High Value="15"/></Limit></Standard></JudgedAgainst>
//     </Item>
//     <AnalyserRecords>
//       <Record Firmware="2.13" ID="1" Model="Tarvo" Owner="TarvoX" SerialNumber="S-111"/>
//     </AnalyserRecords>
//   </TestSequence>
//
// An empty "JudgedAgainst" says that none of the element's standards judged the
// result. A result without one (saved before the host kept this record) is shown as
// judged against standards nobody recorded, and printed without limits. A result
// whose presets or limits in the file are not those that judged it is shown as
// judged with other settings or limits, and printed with those that judged it; so is
// one whose readings, judged by what the file records as judging it, do not give its
// verdict, with a note of its own.
//
// A result names the analyser that measured it by a record id ("MTI"); the file
// carries each record its results name, under the id they name it by.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

#include "host/Judgement.h"
#include "host/JudgementRecord.h"
#include "host/TestSetup.h"
#include "host/XmlDocument.h"
#include "platform/FileStamp.h"
#include "platform/interfaces/PlugIn.h"
#include "platform/interfaces/TestElement.h"

namespace kelto::host {

class Sequence {
public:
    // A technician's sequence holds tens of tests; a file with more items than
    // this is refused unread.
    static constexpr int kMaxItems = XmlDocument::kMaxItems;

    QList<Ptr<ITestElement>>& elements() { return m_elements; }
    const QList<Ptr<ITestElement>>& elements() const { return m_elements; }

    // The analyser records the results point at: a window's, where its runs store
    // theirs; a sequence keeps its own until it is given one. A load adds the
    // file's records and points the results at them by the ids they have here.
    void setAnalyserRecords(Ptr<MtiDatabase> records) { m_analysers = std::move(records); }

    // Adds a new element of a test type made by the plug-in.
    Ptr<ITestElement> add(IPlugIn& plugIn, std::int32_t testId);

    // Written atomically: a failed save leaves the previous file as it was.
    bool save(const QString& file, QString* error) const;
    // Replaces the elements with those of the file; on failure nothing changes.
    // An item whose saved test or result cannot be read does not cost the others:
    // it is listed with what could be read (without its result when that failed),
    // and loadProblems() names it.
    // Only a regular file is read.
    bool load(const QString& file, IPlugIn& plugIn, QString* error);

    // What a save to the file would replace that this sequence did not read from it or
    // write to it: none while the file holds what the sequence last read from or
    // wrote to it (or is not that file, or is gone); else when it was written and
    // what it holds now ("it was written at ... and now holds 3 tests, 2 of them with
    // a result"), or what it is when a save cannot replace it ("it is a folder, not
    // a regular file").
    struct DiskChange {
        QString what; // empty: no change
        bool replaceable = true;
    };
    DiskChange changeOnDisk(const QString& file) const;
    // What a save writes, in the words of changeOnDisk: "2 tests, none with a result".
    QString contentSummary() const;

    // One text per item of the last load that could not be read whole, naming the
    // item, its test id, its line, the reason and what a save does with it.
    const QStringList& loadProblems() const { return m_problems; }
    // What of the element the file held could not be read; empty when it was read whole.
    QString unreadNote(const Ptr<ITestElement>& element) const;
    // True while a save keeps the file's result of the element, which it could not read.
    bool keepsResultNotRead(const Ptr<ITestElement>& element) const;

    // After a run has judged the element's result against the selection: the standards
    // of the selection the element holds, with their limits and the result's presets,
    // are what judged it.
    void recordJudgement(const Ptr<ITestElement>& element, const Ptr<IStandardCollection>& selected);
    // The standards whose present limits judged the element's present result; none
    // where its presets or limits now differ from those that judged it; null when it
    // holds no passed or failed result, or when nothing recorded them.
    Ptr<IStandardCollection> judgedAgainst(const Ptr<ITestElement>& element) const;
    // What judged the element's present result, where its presets or limits now
    // differ from those, or where its readings judged by them do not give its verdict
    // (null otherwise).
    const JudgementRecord* judgedWithOther(const Ptr<ITestElement>& element) const;
    // What the views say beside such a result: judgedWithOtherNote, or contradictedNote
    // where its readings do not give its verdict; empty for any other.
    QString otherJudgementNote(const Ptr<ITestElement>& element) const;
    // One text for each element of the sequence whose result judgedWithOther names.
    QStringList otherJudgements() const;
    // The standards a view shows the element by: for a passed or failed result those
    // it was judged against (none when unrecorded), for any other the given ones.
    Ptr<IStandardCollection> standardsShownFor(const Ptr<ITestElement>& element, const Ptr<IStandardCollection>& otherwise) const;
    // What the views show of its result (shownResult): a passed or failed result by
    // what judged it, as recorded; any other by the given standards. Empty for none.
    ShownResult shown(const Ptr<ITestElement>& element, const Ptr<IStandardCollection>& otherwise) const;

private:
    // An item read in part. Until the operator changes or runs its test, a save
    // writes the item back as the file held it; a result that could not be read is
    // kept until a run gives the test a new one.
    struct UnreadItem {
        std::weak_ptr<ITestElement> element;
        Ptr<IXmlElement> stored;       // the item as the file holds it
        Ptr<IXmlElement> storedResult; // its result, when that was what could not be read
        QString loadedForm;            // the element's saved form right after the load
        QString note;
    };
    const UnreadItem* unreadOf(const Ptr<ITestElement>& element) const;

    // What one result was judged against; it holds for that result object only.
    struct Judgement {
        std::weak_ptr<ITestElement> element;
        std::weak_ptr<IResultData> result;
        JudgementRecord record;
        // The result's readings, judged by the record, do not give its verdict. Told
        // once, as the file is read: neither changes while the result is held.
        bool contradicted = false;
    };
    // What judged the element's present passed or failed result; null when nothing recorded it.
    const Judgement* judgementFor(const Ptr<ITestElement>& element) const;
    const JudgementRecord* judgementOf(const Ptr<ITestElement>& element) const;

    QList<Ptr<ITestElement>> m_elements;
    Ptr<MtiDatabase> m_analysers = std::make_shared<MtiDatabase>();
    QHash<const ITestElement*, Judgement> m_judgements;
    QList<UnreadItem> m_unread;
    QStringList m_problems;
    // What the last load read or save wrote; a save changes nothing else of the sequence.
    mutable FileStamp m_stamp;
};

// An element as the window and the report name it: its name, or "Test <id>".
QString elementTitle(const Ptr<ITestElement>& element);

} // namespace kelto::host
