#include "host/app/Sequence.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <functional>

#include "host/BasicServices.h"
#include "host/HostLog.h"
#include "host/Judgement.h"
#include "host/Standards.h"
#include "host/XmlDocument.h"
#include "platform/Automation.h"
#include "platform/CheckedFile.h"
#include "platform/Deref.h"
#include "platform/interfaces/TestData.h"

namespace kelto::host {

namespace {
const QString kRoot = QStringLiteral("TestSequence");
const QString kItem = QStringLiteral("Item");
const QString kResultItem = QStringLiteral("ResultItem");
const QString kSource = QStringLiteral("Kelto.Sequence");

bool evaluated(const Ptr<IResultData>& result)
{
    const std::int32_t status = result ? valueOr([&] { return result->Status(); }, 0) : 0;
    return status == emsPassed || status == emsFailed;
}

Ptr<IResultData> resultOf(const Ptr<ITestElement>& element)
{
    return valueOr([&] { return element->Result(); }, Ptr<IResultData>());
}

// Why a part of an item could not be read: the error its load raised, or those the
// element reported to the host's log instead; empty when it was read. The reports are
// not echoed on their own: the caller names them once, with the item and its file.
QString readPart(const std::function<void()>& load)
{
    const HostLog::Quiet quiet;
    // Only the entries this load adds are looked at: the log holds the whole session.
    const QList<LogEntry>& log = HostLog::instance().entries();
    const qsizetype before = log.size();
    QString raised;
    try {
        load();
    } catch (...) {
        raised = currentError().description();
    }
    QStringList reasons;
    for (qsizetype i = before; i < log.size(); ++i) {
        if (log[i].kind == LogEntry::ReportedError && !reasons.contains(log[i].text))
            reasons << log[i].text;
    }
    if (!raised.isEmpty() && !reasons.contains(raised))
        reasons << raised;
    return reasons.join(QLatin1Char(' '));
}

// A run has given the test a result of its own: judged, or marked not applicable. A
// run that took no reading leaves an empty one, which replaces nothing.
bool holdsJudgedResult(const Ptr<ITestElement>& element)
{
    return valueOr([&] {
        const Ptr<IResultData> result = element->Result();
        return result && result->Status() != emsNone;
    }, false);
}

// The element's saved form as text, to tell whether it has changed.
QString savedFormOf(const Ptr<ITestElement>& element)
{
    QString form;
    ignoreErrors([&] {
        auto doc = std::make_shared<XmlDocument>();
        if (const Ptr<IXmlElement> saved = element->Save(doc, 0)) {
            doc->SetDocumentElement(saved);
            form = doc->Xml();
        }
    });
    return form;
}

int lineOf(const Ptr<IXmlElement>& element)
{
    const auto* read = dynamic_cast<const XmlElement*>(element.get());
    return read ? read->dom().lineNumber() : 0;
}

// A copy, for doc, of an element another document read.
Ptr<IXmlElement> copyInto(XmlDocument& doc, const Ptr<IXmlElement>& element)
{
    const auto* read = dynamic_cast<const XmlElement*>(element.get());
    if (!read)
        raiseError(vberr::TypeMismatch, kSource, QStringLiteral("A part of the file that could not be read cannot be written back."));
    return doc.wrap(doc.dom().importNode(read->dom(), true).toElement());
}

// "3 tests, 2 of them with a result", as a question about a save names them.
QString testsWithResults(int tests, int results)
{
    const QString counted = tests == 1 ? QStringLiteral("1 test") : QStringLiteral("%1 tests").arg(tests);
    if (tests == 0)
        return QStringLiteral("no tests");
    if (results == 0)
        return counted + QStringLiteral(", none with a result");
    if (results == tests)
        return counted + (tests == 1 ? QStringLiteral(" with a result") : QStringLiteral(", each with a result"));
    return counted + QStringLiteral(", %1 of them with a result").arg(results);
}

const QString kRecords = QStringLiteral("AnalyserRecords");
const QString kRecord = QStringLiteral("Record");
const QString kMti = QStringLiteral("MTI");

// Every result element of an item: its own, or those of the test element it holds.
void forEachResult(const Ptr<IXmlElement>& item, const std::function<void(const Ptr<IXmlElement>&)>& visit)
{
    const auto children = item->Children();
    for (int i = 0; i < children->Count(); ++i) {
        const Ptr<IXmlElement> child = children->Item(i);
        if (child->TagName() == kResultItem) {
            visit(child);
            continue;
        }
        const auto parts = child->Children();
        for (int j = 0; j < parts->Count(); ++j) {
            if (const Ptr<IXmlElement> part = parts->Item(j); part->TagName() == kResultItem)
                visit(part);
        }
    }
}

// The record id a result names; false when it names none, or an id that cannot be
// read (which the result's own load then names).
bool namedRecord(const Ptr<IXmlElement>& result, std::int32_t* id)
{
    const QString text = result->GetAttribute(kMti);
    return !text.isEmpty() && valueOr([&] {
        *id = storedLong(text, kMti);
        return true;
    }, false);
}

// Adds the file's analyser records to the window's, each under the id of an identical
// record where there is one, and gives the id each has there by its id in the file.
// A record that cannot be read refuses the file: the results that name it would show
// no analyser, or another's.
bool adoptRecords(IXmlElementList& children, const QString& file, MtiDatabase& analysers, QHash<std::int32_t, std::int32_t>& ids, QString* error)
{
    for (int i = 0; i < children.Count(); ++i) {
        const Ptr<IXmlElement> records = children.Item(i);
        if (records->TagName() != kRecords)
            continue;
        const auto list = records->Children();
        for (int j = 0; j < list->Count(); ++j) {
            const Ptr<IXmlElement> element = list->Item(j);
            if (element->TagName() != kRecord)
                continue;
            const QString idText = element->GetAttribute(QStringLiteral("ID"));
            std::int32_t id = 0;
            QString reason = readPart([&] { id = storedLong(idText, QStringLiteral("Its ID")); });
            if (reason.isEmpty() && id <= 0)
                reason = QStringLiteral("Its ID %1 is not above 0.").arg(id);
            if (reason.isEmpty()) {
                auto record = std::make_shared<MtiRecord>();
                record->SetOwner(element->GetAttribute(QStringLiteral("Owner")));
                record->SetModel(element->GetAttribute(QStringLiteral("Model")));
                record->SetSerialNumber(element->GetAttribute(QStringLiteral("SerialNumber")));
                record->SetFirmware(element->GetAttribute(QStringLiteral("Firmware")));
                const std::int32_t here = analysers.adopt(record);
                if (ids.value(id, here) == here) {
                    ids.insert(id, here);
                    continue;
                }
                reason = QStringLiteral("Another analyser record of the file has the ID %1.").arg(id);
            }
            *error = QStringLiteral("%1 holds an analyser record that cannot be read (line %2): %3 The results that name it could not show the "
                                    "analyser that measured them.")
                         .arg(file)
                         .arg(lineOf(element))
                         .arg(reason);
            return false;
        }
    }
    return true;
}

const QString kPlugInData = QStringLiteral("PlugInData");
// Why an item's "PlugInData" is not this plug-in's: the plug-in it names. Empty when
// the item holds no such element or the element names this plug-in.
QString otherPlugInsData(const Ptr<IXmlElement>& item, const QString& plugInId)
{
    QString reason;
    ignoreErrors([&] {
        const auto children = item->Children();
        if (children->Count() == 0)
            return;
        Ptr<IXmlElement> data = children->Item(0);
        if (data->TagName() != kPlugInData)
            data = data->FindChild(kPlugInData);
        if (!data)
            return;
        const QString owner = data->GetAttribute(QStringLiteral("PlugIn"));
        if (owner == plugInId)
            return;
        reason = owner.isEmpty()
                     ? QStringLiteral("its PlugInData names no plug-in. Add PlugIn=\"%1\" to it if the item was made with %1, or remove the item.")
                           .arg(plugInId)
                     : QStringLiteral("its PlugInData belongs to the plug-in \"%1\", not to %2. Open the file with that plug-in, or remove the item.")
                           .arg(owner, plugInId);
    });
    return reason;
}
} // namespace

Ptr<ITestElement> Sequence::add(IPlugIn& plugIn, std::int32_t testId)
{
    Ptr<ITestElement> element = plugIn.CreateTest(testId);
    if (element)
        m_elements.append(element);
    return element;
}

bool Sequence::save(const QString& file, QString* error) const
{
    if (m_elements.size() > kMaxItems) {
        *error = QStringLiteral("Cannot write %1: a sequence of more than %2 test items could not be opened again. Split it into smaller ones.")
                     .arg(file)
                     .arg(kMaxItems);
        return false;
    }
    try {
        auto doc = std::make_shared<XmlDocument>();
        auto root = doc->CreateElement(kRoot);
        root->SetAttribute(QStringLiteral("PlugIn"), QStringLiteral("TarvoX"));
        doc->SetDocumentElement(root);
        for (const Ptr<ITestElement>& element : m_elements) {
            const UnreadItem* unread = unreadOf(element);
            // A result the test could not read stays until a run gives it one of its own;
            // until then the test is saved as it was read, without a result (a clone has none).
            const bool keepsStoredResult = unread && unread->storedResult && !holdsJudgedResult(element);
            Ptr<ITestElement> saving = element;
            if (keepsStoredResult) {
                saving = element->Clone();
                deref(saving, kSource);
            }
            if (unread && savedFormOf(saving) == unread->loadedForm) {
                // Unchanged since it was read in part: the file's item goes back whole.
                root->AppendChild(copyInto(*doc, unread->stored));
                continue;
            }
            auto item = doc->CreateElement(kItem);
            item->SetAttribute(QStringLiteral("TestID"), QString::number(element->TestID()));
            // A test saved without its form, or with a part left out (a part reports
            // why instead of failing), would come back changed: nothing is written.
            Ptr<IXmlElement> saved;
            const QString lost = readPart([&] { saved = saving->Save(doc, 0); });
            if (!saved || !lost.isEmpty()) {
                *error = QStringLiteral("Test %1 of the sequence (%2) cannot be saved whole (%3); %4 was left as it was.")
                             .arg(QString::number(root->Children()->Count() + 1), elementTitle(element),
                                 lost.isEmpty() ? QStringLiteral("the test gave no saved form") : lost, file);
                return false;
            }
            // A result the test could not read is saved with what the file says judged it.
            Ptr<IXmlElement> judged;
            if (keepsStoredResult) {
                saved->AppendChild(copyInto(*doc, unread->storedResult));
                if (const Ptr<IXmlElement> stored = unread->stored->FindChild(JudgementRecord::kElement))
                    judged = copyInto(*doc, stored);
            }
            if (const JudgementRecord* record = judgementOf(element))
                judged = record->write(*doc);
            item->AppendChild(saved);
            if (judged)
                item->AppendChild(judged);
            root->AppendChild(item);
        }
        // The file carries the record of every analyser its results name.
        const auto made = [&](const QString& name) {
            Ptr<IXmlElement> element = doc->CreateElement(name);
            deref(element, kSource);
            return element;
        };
        Ptr<IXmlElement> records;
        QSet<std::int32_t> written;
        const auto items = root->Children();
        for (int i = 0; i < items->Count(); ++i) {
            forEachResult(items->Item(i), [&](const Ptr<IXmlElement>& result) {
                std::int32_t id = 0;
                if (!namedRecord(result, &id) || written.contains(id))
                    return;
                written.insert(id);
                const Ptr<IMtiRecord> record = m_analysers->record(id);
                if (!record)
                    return;
                if (!records)
                    records = made(kRecords);
                const Ptr<IXmlElement> element = made(kRecord);
                element->SetAttribute(QStringLiteral("ID"), QString::number(id));
                element->SetAttribute(QStringLiteral("Owner"), record->Owner());
                element->SetAttribute(QStringLiteral("Model"), record->Model());
                element->SetAttribute(QStringLiteral("SerialNumber"), record->SerialNumber());
                element->SetAttribute(QStringLiteral("Firmware"), record->Firmware());
                records->AppendChild(element);
            });
        }
        if (records)
            root->AppendChild(records);
        if (!doc->Save(file)) {
            *error = doc->LastError();
            return false;
        }
        m_stamp = doc->fileStamp();
        return true;
    } catch (...) {
        *error = currentError().description();
        return false;
    }
}

bool Sequence::load(const QString& file, IPlugIn& plugIn, QString* error)
{
    // The item being read and its test id, for a message that names it.
    int position = 0;
    QString testIdText;
    try {
        auto doc = std::make_shared<XmlDocument>();
        if (!doc->Load(file)) {
            *error = doc->LastError();
            return false;
        }
        auto root = doc->DocumentElement();
        if (!root || root->TagName() != kRoot) {
            *error = QStringLiteral("%1 is not a test sequence (no %2 element). Check that it is the right file.").arg(file, kRoot);
            return false;
        }
        QList<Ptr<ITestElement>> loaded;
        QHash<const ITestElement*, Judgement> judgements;
        QList<UnreadItem> unreadItems;
        QStringList problems;
        auto items = root->Children();
        QHash<std::int32_t, std::int32_t> recordIds; // a record's id in the file: its id here
        if (!adoptRecords(*items, file, *m_analysers, recordIds, error))
            return false;
        for (int i = 0; i < items->Count(); ++i) {
            auto item = items->Item(i);
            if (item->TagName() != kItem)
                continue;
            ++position;
            testIdText = item->GetAttribute(QStringLiteral("TestID"));
            // Read leniently, "abc" would be test 0 and "299.5" test 300: a TestID that
            // is no whole number is named so.
            std::int32_t testId = 0;
            try {
                testId = storedLong(testIdText, QStringLiteral("The TestID"));
            } catch (const PluginError& e) {
                if (e.number() != vberr::TypeMismatch)
                    throw;
                raiseError(vberr::TypeMismatch, QStringLiteral("kelto-host"),
                    QStringLiteral("The TestID is not a whole number. Correct it to the number of the item's test type (kelto-host tests "
                                   "lists them), or remove the item."));
            }
            if (!valueOr([&] { return plugIn.Tests()->Item(testId) != nullptr; }, false)) {
                *error = QStringLiteral("Item %1 of %2 is test %3, which the plug-in does not have. Remove the item, or open the file with the plug-in it was made with.")
                             .arg(position)
                             .arg(file)
                             .arg(testId);
                return false;
            }
            Ptr<ITestElement> element = plugIn.CreateTest(testId);
            if (!element) {
                *error = QStringLiteral("Item %1 of %2: the plug-in cannot create test %3.").arg(position).arg(file).arg(testId);
                return false;
            }
            // Its results name their analysers by the ids the records have here; a
            // result whose record the file does not hold (a file saved before records
            // were kept) names none rather than another analyser's.
            forEachResult(item, [&](const Ptr<IXmlElement>& result) {
                if (std::int32_t id = 0; namedRecord(result, &id))
                    result->SetAttribute(kMti, QString::number(recordIds.value(id, 0)));
            });
            QString testProblem;
            QString resultProblem;
            Ptr<IXmlElement> storedResult;
            auto children = item->Children();
            if (children->Count() > 0) {
                const auto saved = children->Item(0);
                const auto log = std::make_shared<ProtocolLog>();
                const bool resultAlone = saved->TagName() == kResultItem;
                if (!resultAlone) {
                    testProblem = readPart([&] { element->Load(saved, log); });
                    if (!testProblem.isEmpty()) {
                        const QString plugInId = valueOr([&] { return plugIn.ID(); }, QString());
                        if (const QString other = otherPlugInsData(item, plugInId); !other.isEmpty())
                            testProblem = other;
                    }
                }
                // A saved result goes to the element on its own: only the element can
                // make the fresh result of its own class that reads it.
                storedResult = resultAlone ? saved : saved->FindChild(kResultItem);
                if (storedResult) {
                    resultProblem = readPart([&] { element->Load(storedResult, log); });
                    // A result read in part is not shown as the run's: the test goes on without it.
                    if (!resultProblem.isEmpty()) {
                        Ptr<ITestElement> bare = element->Clone();
                        deref(bare, kSource);
                        element = bare;
                    }
                }
            }
            loaded.append(element);
            QString judgementProblem;
            if (const Ptr<IXmlElement> judged = item->FindChild(JudgementRecord::kElement); judged && evaluated(resultOf(element))) {
                JudgementRecord record;
                judgementProblem = readPart([&] { record = JudgementRecord::read(*judged, element); });
                if (judgementProblem.isEmpty()) {
                    const Ptr<IXmlElement> status = storedResult ? storedResult->FindChild(QStringLiteral("Status")) : nullptr;
                    judgements.insert(element.get(),
                        {element, resultOf(element), record, record.contradicts(element, status ? status->Text() : QString())});
                }
            }
            if (testProblem.isEmpty() && resultProblem.isEmpty() && judgementProblem.isEmpty())
                continue;
            const QString where = QStringLiteral("Item %1 (TestID \"%2\", line %3) of %4")
                                      .arg(QString::number(position), testIdText, QString::number(lineOf(item)), file);
            if (!testProblem.isEmpty())
                problems << QStringLiteral("%1: the saved test cannot be read whole (%2); it is listed with what could be read, and a save "
                                           "keeps the item as the file holds it until the test is changed or run.")
                                .arg(where, testProblem);
            if (!resultProblem.isEmpty())
                problems << QStringLiteral("%1: its result cannot be read (%2); the test is listed without it, and a save keeps the "
                                           "file's result until the test is run again.")
                                .arg(where, resultProblem);
            if (!judgementProblem.isEmpty())
                problems << QStringLiteral("%1: what judged its result cannot be read (%2); the result is shown as judged against "
                                           "unrecorded standards, and a save keeps the item as the file holds it until the test is changed or run.")
                                .arg(where, judgementProblem);
            unreadItems.append({element, item, resultProblem.isEmpty() ? nullptr : storedResult, savedFormOf(element),
                resultProblem.isEmpty() ? QStringLiteral("not read whole from the file") : QStringLiteral("result not read from the file")});
        }
        m_elements = loaded;
        m_judgements = judgements;
        m_unread = unreadItems;
        m_problems = problems;
        m_stamp = doc->fileStamp();
        return true;
    } catch (...) {
        const QString reason = currentError().description();
        *error = position > 0 ? QStringLiteral("Item %1 (TestID \"%2\") of %3 cannot be read: %4").arg(position).arg(testIdText, file, reason)
                              : QStringLiteral("%1 cannot be read: %2").arg(file, reason);
        return false;
    }
}

Sequence::DiskChange Sequence::changeOnDisk(const QString& file) const
{
    QString how;
    if (!m_stamp.isOf(file) || !m_stamp.changed(&how))
        return {};
    if (const QString kind = notARegularFile(file); !kind.isEmpty())
        return {kind, false};
    if (const qint64 size = QFileInfo(file).size(); size > XmlDocument::kMaxXmlBytes)
        return {QStringLiteral("%1 and now holds %2 bytes, more than a sequence may hold (%3 MiB)")
                    .arg(how)
                    .arg(size)
                    .arg(XmlDocument::kMaxXmlBytes / (1024 * 1024))};
    // Read as far as it tells what a save would replace; a file that is no sequence
    // (any more) is said to be one.
    auto doc = std::make_shared<XmlDocument>();
    const Ptr<IXmlElement> root = doc->Load(file) ? doc->DocumentElement() : nullptr;
    if (!root || root->TagName() != kRoot)
        return {QStringLiteral("%1 and now holds no test sequence").arg(how)};
    int tests = 0;
    int results = 0;
    const auto items = root->Children();
    for (int i = 0; i < items->Count(); ++i) {
        const Ptr<IXmlElement> item = items->Item(i);
        if (item->TagName() != kItem)
            continue;
        ++tests;
        bool run = false;
        forEachResult(item, [&](const Ptr<IXmlElement>& result) {
            const Ptr<IXmlElement> status = result->FindChild(QStringLiteral("Status"));
            const QString value = status ? status->GetAttribute(QStringLiteral("Value")) : QString();
            run = run || (!value.isEmpty() && value != QLatin1String("0"));
        });
        results += run ? 1 : 0;
    }
    return {QStringLiteral("%1 and now holds %2").arg(how, testsWithResults(tests, results))};
}

QString Sequence::contentSummary() const
{
    int results = 0;
    for (const Ptr<ITestElement>& element : m_elements)
        results += holdsJudgedResult(element) || keepsResultNotRead(element) ? 1 : 0;
    return testsWithResults(static_cast<int>(m_elements.size()), results);
}

const Sequence::UnreadItem* Sequence::unreadOf(const Ptr<ITestElement>& element) const
{
    for (const UnreadItem& unread : m_unread) {
        if (element && unread.element.lock() == element)
            return &unread;
    }
    return nullptr;
}

QString Sequence::unreadNote(const Ptr<ITestElement>& element) const
{
    const UnreadItem* unread = unreadOf(element);
    if (!unread)
        return QString();
    if (unread->storedResult && holdsJudgedResult(element))
        return QString();
    return unread->note;
}

bool Sequence::keepsResultNotRead(const Ptr<ITestElement>& element) const
{
    const UnreadItem* unread = unreadOf(element);
    return unread && unread->storedResult && !holdsJudgedResult(element);
}

void Sequence::recordJudgement(const Ptr<ITestElement>& element, const Ptr<IStandardCollection>& selected)
{
    if (!element)
        return;
    // Elements that are gone leave their records behind; they go once they outnumber
    // the sequence, so that recording stays of constant cost on average.
    if (m_judgements.size() > 2 * m_elements.size() + 16) {
        for (auto it = m_judgements.begin(); it != m_judgements.end();)
            it = it->element.expired() ? m_judgements.erase(it) : std::next(it);
    }
    m_judgements.insert(element.get(), {element, resultOf(element), JudgementRecord::taken(element, selected)});
}

const Sequence::Judgement* Sequence::judgementFor(const Ptr<ITestElement>& element) const
{
    const Ptr<IResultData> result = element ? resultOf(element) : nullptr;
    if (!evaluated(result))
        return nullptr;
    const auto found = m_judgements.constFind(element.get());
    // A record holds for the result it was made for, not for one that replaced it.
    if (found == m_judgements.constEnd() || found->element.lock() != element || found->result.lock() != result)
        return nullptr;
    return &*found;
}

const JudgementRecord* Sequence::judgementOf(const Ptr<ITestElement>& element) const
{
    const Judgement* judgement = judgementFor(element);
    return judgement ? &judgement->record : nullptr;
}

Ptr<IStandardCollection> Sequence::judgedAgainst(const Ptr<ITestElement>& element) const
{
    const JudgementRecord* record = judgementOf(element);
    if (!record)
        return nullptr;
    // The present limits of no standard judged a result read beside other ones.
    return judgedWithOther(element) ? std::make_shared<StandardCollection>() : record->standards();
}

const JudgementRecord* Sequence::judgedWithOther(const Ptr<ITestElement>& element) const
{
    const Judgement* judgement = judgementFor(element);
    if (!judgement || !holdsJudgedReadings(element))
        return nullptr;
    return judgement->contradicted || judgement->record.differsFrom(element) ? &judgement->record : nullptr;
}

QString Sequence::otherJudgementNote(const Ptr<ITestElement>& element) const
{
    if (!judgedWithOther(element))
        return QString();
    // A verdict its own record does not bear out says so before anything else.
    return judgementFor(element)->contradicted ? contradictedNote() : judgedWithOtherNote();
}

QStringList Sequence::otherJudgements() const
{
    QStringList texts;
    for (int i = 0; i < m_elements.size(); ++i) {
        const Ptr<ITestElement>& element = m_elements[i];
        if (!judgedWithOther(element))
            continue;
        const QString test = QStringLiteral("Test %1 of the sequence (%2)").arg(QString::number(i + 1), elementTitle(element));
        if (judgementFor(element)->contradicted)
            texts << QStringLiteral("%1: its result (%2) holds a verdict that its readings do not give by the settings and limits recorded "
                                    "as judging it; it is printed as the file holds it, with those settings and limits.")
                         .arg(test, valueOr([&] { return resultOf(element)->Status(); }, 0) == emsPassed ? QStringLiteral("passed") : QStringLiteral("failed"));
        else
            texts << QStringLiteral("%1: its result was judged with other settings or limits than the file holds now; it is printed with "
                                    "those that judged it.")
                         .arg(test);
    }
    return texts;
}

Ptr<IStandardCollection> Sequence::standardsShownFor(const Ptr<ITestElement>& element, const Ptr<IStandardCollection>& otherwise) const
{
    if (!evaluated(resultOf(element)))
        return otherwise;
    const Ptr<IStandardCollection> judged = judgedAgainst(element);
    return judged ? judged : std::make_shared<StandardCollection>();
}

ShownResult Sequence::shown(const Ptr<ITestElement>& element, const Ptr<IStandardCollection>& otherwise) const
{
    const Ptr<IResultData> result = resultOf(element);
    if (!result)
        return {};
    Judging judging;
    if (!evaluated(result)) {
        judging.standards = otherwise;
    } else if (const JudgementRecord* record = judgementOf(element)) {
        judging.standards = record->standards();
        judging.other = judgedWithOther(element);
        judging.otherNote = otherJudgementNote(element);
    }
    return shownResult(element, valueOr([&] { return result->Status(); }, 0), judging);
}

QString elementTitle(const Ptr<ITestElement>& element)
{
    QString name;
    ignoreErrors([&] { name = deref(element->Info(), kSource).Name(); });
    return name.isEmpty() ? QStringLiteral("Test %1").arg(element->TestID()) : name;
}

} // namespace kelto::host
