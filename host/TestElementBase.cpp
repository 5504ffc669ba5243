#include "TestElementBase.h"

#include "platform/Automation.h"
#include "platform/interfaces/HostServices.h"
#include "platform/interfaces/TestData.h"

namespace kelto::host {

namespace {

const QString kSource = QStringLiteral("Kelto.TestElementBase");
const QString kPlugInData = QStringLiteral("PlugInData");
const QString kExpectedResult = QStringLiteral("ExpectedResult");
const QString kResultItem = QStringLiteral("ResultItem");

} // namespace

// ---- information ------------------------------------------------------------

void TestInfo::SetType(const QString& type, const QString& parameter)
{
    m_type = type;
    m_parameter = parameter;
}

void TestInfo::copyFrom(ITestInfo& other)
{
    m_type = other.Type();
    m_parameter = other.Parameter();
    m_name = other.Name();
    m_description = other.Description();
}

// ---- element base -----------------------------------------------------------

TestElementBase::TestElementBase() : m_info(std::make_shared<TestInfo>()), m_filter(std::make_shared<TestFilter>()) {}

void TestElementBase::Initialize(const QString& plugInId, std::int32_t testId, std::int32_t id)
{
    m_plugInId = plugInId;
    m_testId = testId;
    m_id = id;
}

Ptr<ITestElementBase> TestElementBase::CloneBase()
{
    auto c = std::make_shared<TestElementBase>();
    c->Initialize(m_plugInId, m_testId, m_id);
    c->m_parent = m_parent;
    c->m_info->copyFrom(*m_info);
    c->m_filter->SetFlags(m_filter->Flags());
    if (m_configuration)
        c->m_configuration = m_configuration->Clone();
    if (m_limits)
        c->m_limits = m_limits->Clone();
    // The result stays with this element: it is one run's record, and a shared
    // object would let the clone's run overwrite this element's result.
    return c;
}

Ptr<ITestElement> TestElementBase::Clone()
{
    return CloneBase();
}

void TestElementBase::loadPart(const Ptr<IXmlElement>& part, const Ptr<IProtocolLog>& log)
{
    const QString tag = part->TagName();
    if (tag == kPlugInData) {
        if (m_configuration)
            m_configuration->Load(part, log);
    } else if (tag == kExpectedResult) {
        if (m_limits)
            m_limits->Load(part, log);
    } else if (tag == kResultItem) {
        // Only a result the element made for it can read a result item.
        if (m_result)
            m_result->Load(part, log);
    }
}

void TestElementBase::Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>& log)
{
    if (!in)
        raiseError(kElementLoadNoElement, kSource, QStringLiteral("No element was given to load the test element from."));
    const QString tag = in->TagName();
    if (tag == kPlugInData || tag == kExpectedResult || tag == kResultItem) {
        loadPart(in, log);
        return;
    }

    // Both numbers are read before either is taken, so a refused one changes neither.
    const QString idText = in->GetAttribute(QStringLiteral("ID"));
    const QString filterText = in->GetAttribute(QStringLiteral("Filter"));
    const std::int32_t id = idText.isEmpty() ? m_id : storedLong(idText, QStringLiteral("The ID of the test element"), kSource);
    const std::int32_t filter = filterText.isEmpty() ? m_filter->Flags() : storedLong(filterText, QStringLiteral("The Filter of the test element"), kSource);
    m_id = id;
    m_filter->SetFlags(filter);
    if (auto info = in->FindChild(QStringLiteral("Info"), 0)) {
        m_info->SetType(info->GetAttribute(QStringLiteral("Type")), info->GetAttribute(QStringLiteral("Parameter")));
        m_info->SetName(info->GetAttribute(QStringLiteral("Name")));
        m_info->SetDescription(info->GetAttribute(QStringLiteral("Description")));
    }

    QList<Ptr<IXmlElement>> parts[3];
    const auto children = in->Children();
    for (int i = 0; i < children->Count(); ++i) {
        const auto child = children->Item(i);
        const QString name = child->TagName();
        if (name == kPlugInData)
            parts[0].append(child);
        else if (name == kExpectedResult)
            parts[1].append(child);
        else if (name == kResultItem)
            parts[2].append(child);
    }
    for (const auto& group : parts)
        for (const auto& part : group)
            loadPart(part, log);
}

Ptr<IXmlElement> TestElementBase::Save(const Ptr<IXmlDocument>& owner, std::int32_t)
{
    auto element = owner ? owner->CreateElement(QStringLiteral("TestElement")) : nullptr;
    if (!element)
        raiseError(kElementSaveNoElement, kSource, QStringLiteral("The document could not make the element of test %1.").arg(m_testId));
    element->SetAttribute(QStringLiteral("PlugIn"), m_plugInId);
    element->SetAttribute(QStringLiteral("TestID"), QString::number(m_testId));
    element->SetAttribute(QStringLiteral("ID"), QString::number(m_id));
    element->SetAttribute(QStringLiteral("Filter"), QString::number(m_filter->Flags()));

    auto info = owner->CreateElement(QStringLiteral("Info"));
    if (!info)
        raiseError(kElementSaveNoElement, kSource, QStringLiteral("The document could not make the information of test %1.").arg(m_testId));
    info->SetAttribute(QStringLiteral("Type"), m_info->Type());
    info->SetAttribute(QStringLiteral("Parameter"), m_info->Parameter());
    info->SetAttribute(QStringLiteral("Name"), m_info->Name());
    info->SetAttribute(QStringLiteral("Description"), m_info->Description());
    element->AppendChild(info);

    if (m_configuration)
        if (auto e = m_configuration->Save(owner))
            element->AppendChild(e);
    if (m_limits)
        if (auto e = m_limits->Save(owner))
            element->AppendChild(e);
    if (m_result)
        if (auto e = m_result->Save(owner))
            element->AppendChild(e);
    return element;
}

void TestElementBase::PrintReport(const Ptr<IReport>& report, const Ptr<ITestSetup>& setup)
{
    if (!report)
        return;
    // Each part prints on its own: a part that fails does not cost the others.
    if (m_configuration)
        ignoreErrors([&] { m_configuration->PrintReport(report); });
    if (m_limits)
        ignoreErrors([&] { m_limits->PrintReport(report, setup); });
    if (m_result)
        ignoreErrors([&] { m_result->PrintReport(report, setup); });
}

void TestElementBase::Terminate()
{
    // Breaks the cycle element -> base -> limits -> element.
    m_configuration.reset();
    m_limits.reset();
    m_result.reset();
    m_parent.reset();
}

} // namespace kelto::host
