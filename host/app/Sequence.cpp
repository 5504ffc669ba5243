#include "host/app/Sequence.h"

#include <functional>

#include "host/BasicServices.h"
#include "host/HostLog.h"
#include "host/Judgement.h"
#include "host/XmlDocument.h"
#include "platform/Automation.h"
#include "platform/Deref.h"
#include "platform/interfaces/TestData.h"

namespace kelto::host {

namespace {
const QString kRoot = QStringLiteral("TestSequence");
const QString kItem = QStringLiteral("Item");
const QString kResultItem = QStringLiteral("ResultItem");
const QString kSource = QStringLiteral("Kelto.Sequence");

// Why a part of an item could not be read: the error its load raised, or the first
// one the element reported to the host's log instead; empty when it was read.
QString readPart(const std::function<void()>& load)
{
    const qsizetype reportsBefore = HostLog::instance().reportedErrors().size();
    try {
        load();
    } catch (...) {
        return currentError().description();
    }
    const QList<LogEntry> reported = HostLog::instance().reportedErrors();
    return reported.size() > reportsBefore ? reported[reportsBefore].text : QString();
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

// Counted before any item is made: each costs the plug-in a test element and the
// report its pages.
bool withinItemBound(IXmlElementList& items, const QString& file, QString* error)
{
    int count = 0;
    for (int i = 0; i < items.Count(); ++i) {
        const Ptr<IXmlElement> item = items.Item(i);
        if (item->TagName() != kItem || ++count <= Sequence::kMaxItems)
            continue;
        *error = QStringLiteral("%1 holds more than %2 test items (line %3). Check that it is the right file.")
                     .arg(file)
                     .arg(Sequence::kMaxItems)
                     .arg(lineOf(item));
        return false;
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
            if (keepsStoredResult)
                saved->AppendChild(copyInto(*doc, unread->storedResult));
            item->AppendChild(saved);
            root->AppendChild(item);
        }
        if (!doc->Save(file)) {
            *error = doc->LastError();
            return false;
        }
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
            *error = QStringLiteral("%1 is not a test sequence (no %2 element).").arg(file, kRoot);
            return false;
        }
        QList<Ptr<ITestElement>> loaded;
        QList<UnreadItem> unreadItems;
        QStringList problems;
        auto items = root->Children();
        if (!withinItemBound(*items, file, error))
            return false;
        for (int i = 0; i < items->Count(); ++i) {
            auto item = items->Item(i);
            if (item->TagName() != kItem)
                continue;
            ++position;
            testIdText = item->GetAttribute(QStringLiteral("TestID"));
            // Read leniently, "abc" would be test 0: a TestID that is no number is named so.
            if (double number = 0; !parseNumber(testIdText, &number))
                raiseError(vberr::TypeMismatch, QStringLiteral("kelto-host"),
                    QStringLiteral("The TestID is not a number. Correct it to the number of the item's test type (kelto-host tests lists "
                                   "them), or remove the item."));
            const std::int32_t testId = storedLong(testIdText, QStringLiteral("The TestID"));
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
            if (testProblem.isEmpty() && resultProblem.isEmpty())
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
            unreadItems.append({element, item, resultProblem.isEmpty() ? nullptr : storedResult, savedFormOf(element),
                resultProblem.isEmpty() ? QStringLiteral("not read whole from the file") : QStringLiteral("result not read from the file")});
        }
        m_elements = loaded;
        m_unread = unreadItems;
        m_problems = problems;
        return true;
    } catch (...) {
        const QString reason = currentError().description();
        *error = position > 0 ? QStringLiteral("Item %1 (TestID \"%2\") of %3 cannot be read: %4").arg(position).arg(testIdText, file, reason)
                              : QStringLiteral("%1 cannot be read: %2").arg(file, reason);
        return false;
    }
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

QString elementTitle(const Ptr<ITestElement>& element)
{
    QString name;
    ignoreErrors([&] { name = deref(element->Info(), kSource).Name(); });
    return name.isEmpty() ? QStringLiteral("Test %1").arg(element->TestID()) : name;
}

QString resultStatusText(const Ptr<ITestElement>& element, const Ptr<IStandardCollection>& selected)
{
    static const char* const kStatus[] = {"not evaluated", "passed", "failed", "not applicable"};
    QString text;
    ignoreErrors([&] {
        if (const Ptr<IResultData> result = element->Result()) {
            const std::int32_t status = result->Status();
            if (status >= 0 && status <= 3)
                text = QLatin1String(kStatus[status]);
            if (status == emsPassed && judgedByNoLimit(element, selected))
                text += QStringLiteral(" (%1)").arg(noLimitsNote());
        }
    });
    return text;
}

} // namespace kelto::host
