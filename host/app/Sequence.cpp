#include "host/app/Sequence.h"

#include "host/BasicServices.h"
#include "host/XmlDocument.h"
#include "platform/Automation.h"
#include "platform/interfaces/TestData.h"

namespace kelto::host {

namespace {
const QString kRoot = QStringLiteral("TestSequence");
const QString kItem = QStringLiteral("Item");
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
            *error = doc->lastError();
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
    try {
        auto doc = std::make_shared<XmlDocument>();
        if (!doc->Load(file)) {
            *error = doc->lastError();
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
            const std::int32_t testId = CLng(Val(item->GetAttribute(QStringLiteral("TestID"))));
            Ptr<ITestElement> element = plugIn.CreateTest(testId);
            if (!element) {
                *error = QStringLiteral("The plug-in cannot create test %1 of %2.").arg(testId).arg(file);
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
        }
        m_elements = loaded;
        return true;
    } catch (...) {
        *error = currentError().description();
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
