#include "host/app/Sequence.h"

#include "host/BasicServices.h"
#include "host/HostLog.h"
#include "host/XmlDocument.h"
#include "platform/Automation.h"
#include "platform/interfaces/TestData.h"

namespace kelto::host {

namespace {
const QString kRoot = QStringLiteral("TestSequence");
const QString kItem = QStringLiteral("Item");
const QString kPlugInData = QStringLiteral("PlugInData");
// What a configuration raises when it is given the "PlugInData" of another plug-in.
constexpr std::int32_t kOtherPlugInsData = hresult(0x8004A3C2);

// Why an item's "PlugInData" was refused: the plug-in it names. Empty when the
// item holds no such element or the element names this plug-in.
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
    try {
        auto doc = std::make_shared<XmlDocument>();
        auto root = doc->CreateElement(kRoot);
        root->SetAttribute(QStringLiteral("PlugIn"), QStringLiteral("TarvoX"));
        doc->SetDocumentElement(root);
        for (const Ptr<ITestElement>& element : m_elements) {
            auto item = doc->CreateElement(kItem);
            item->SetAttribute(QStringLiteral("TestID"), QString::number(element->TestID()));
            if (Ptr<IXmlElement> saved = element->Save(doc, 0))
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
    Ptr<IXmlElement> current;
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
        auto items = root->Children();
        for (int i = 0; i < items->Count(); ++i) {
            auto item = items->Item(i);
            if (item->TagName() != kItem)
                continue;
            ++position;
            current = item;
            testIdText = item->GetAttribute(QStringLiteral("TestID"));
            const qsizetype reportsBefore = HostLog::instance().reportedErrors().size();
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
            auto children = item->Children();
            if (children->Count() > 0) {
                const auto saved = children->Item(0);
                const auto log = std::make_shared<ProtocolLog>();
                element->Load(saved, log);
                // A saved result goes to the element on its own: only the element can
                // make the fresh result of its own class that reads it.
                if (const auto result = saved->FindChild(QStringLiteral("ResultItem")))
                    element->Load(result, log);
            }
            loaded.append(element);
            // An element reports what it cannot read to the host's log instead of raising it.
            const QList<LogEntry> reported = HostLog::instance().reportedErrors();
            if (reported.size() > reportsBefore)
                raiseError(reported[reportsBefore].number, reported[reportsBefore].source, reported[reportsBefore].text);
        }
        m_elements = loaded;
        return true;
    } catch (...) {
        const PluginError failure = currentError();
        QString reason = failure.description();
        if (failure.number() == kOtherPlugInsData && current) {
            const QString plugInId = valueOr([&] { return plugIn.ID(); }, QString());
            if (const QString other = otherPlugInsData(current, plugInId); !other.isEmpty())
                reason = other;
        }
        *error = position > 0 ? QStringLiteral("Item %1 (TestID \"%2\") of %3 cannot be read: %4").arg(position).arg(testIdText, file, reason)
                              : QStringLiteral("%1 cannot be read: %2").arg(file, reason);
        return false;
    }
}

QString elementTitle(const Ptr<ITestElement>& element)
{
    QString name;
    ignoreErrors([&] { name = element->Info()->Name(); });
    return name.isEmpty() ? QStringLiteral("Test %1").arg(element->TestID()) : name;
}

QString resultStatusText(const Ptr<ITestElement>& element)
{
    static const char* const kStatus[] = {"not evaluated", "passed", "failed", "not applicable"};
    QString text;
    ignoreErrors([&] {
        if (const Ptr<IResultData> result = element->Result()) {
            const std::int32_t status = result->Status();
            if (status >= 0 && status <= 3)
                text = QLatin1String(kStatus[status]);
        }
    });
    return text;
}

} // namespace kelto::host
