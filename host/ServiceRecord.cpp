#include "ServiceRecord.h"

#include "platform/Automation.h"
#include "platform/PluginError.h"
#include "platform/interfaces/HostServices.h"
#include "platform/interfaces/TestElement.h"

namespace kelto::host {

namespace {
const QString kSource = QStringLiteral("Kelto.ServiceRecord");
const QString kTag = QStringLiteral("ServiceRecord");
} // namespace

void ServiceRecord::Fill(const Ptr<ITestFilter>& filter, const QString& codes, const QString& values)
{
    m_codes = codes;
    m_values = values;
    m_filterFlags = filter ? filter->Flags() : 0;
}

Ptr<IXmlElement> ServiceRecord::Save(const Ptr<IXmlDocument>& owner)
{
    auto e = owner ? owner->CreateElement(kTag) : nullptr;
    if (!e)
        return nullptr;
    e->SetAttribute(QStringLiteral("Codes"), m_codes);
    e->SetAttribute(QStringLiteral("Values"), m_values);
    e->SetAttribute(QStringLiteral("Filter"), QString::number(m_filterFlags));
    return e;
}

void ServiceRecord::Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>&)
{
    if (!in)
        raiseError(vberr::ObjectNotSet, kSource, QStringLiteral("No element was given to read the service record from."));
    if (in->TagName() != kTag)
        raiseError(vberr::InvalidProcedureCall, kSource, QStringLiteral("The element \"%1\" is not a service record.").arg(in->TagName()));
    const QString filterText = in->GetAttribute(QStringLiteral("Filter"));
    const std::int32_t filter = filterText.isEmpty() ? 0 : storedLong(filterText, QStringLiteral("The Filter of the service record"), kSource);
    m_codes = in->GetAttribute(QStringLiteral("Codes"));
    m_values = in->GetAttribute(QStringLiteral("Values"));
    m_filterFlags = filter;
}

} // namespace kelto::host
