#include "TestSetup.h"

#include "Standards.h"
#include "platform/PluginError.h"

namespace kelto::host {

Ptr<IMtiRecord> MtiDatabase::Item(const QString& owner, std::int32_t id)
{
    for (const auto& r : m_records)
        if (r->ID() == id && r->Owner() == owner)
            return r;
    return nullptr;
}

std::int32_t MtiDatabase::Add(const Ptr<IMtiRecord>& record)
{
    if (!record)
        raiseError(vberr::ObjectNotSet, QStringLiteral("Kelto.MtiDatabase"), QStringLiteral("No analyser record was given to add."));
    auto own = std::dynamic_pointer_cast<MtiRecord>(record);
    if (!own) {
        own = std::make_shared<MtiRecord>();
        own->SetOwner(record->Owner());
        own->SetModel(record->Model());
        own->SetSerialNumber(record->SerialNumber());
        own->SetFirmware(record->Firmware());
    }
    own->setId(++m_lastId);
    m_records.append(own);
    return own->ID();
}

QList<Ptr<IMtiRecord>> MtiDatabase::Records()
{
    QList<Ptr<IMtiRecord>> out;
    for (const auto& r : m_records)
        out.append(r);
    return out;
}

TestSetup::TestSetup() : m_selected(std::make_shared<StandardCollection>()), m_database(std::make_shared<host::MtiDatabase>()) {}

bool TestSetup::QueryPerform(const Ptr<ITestElement>& element)
{
    m_queried.append(element);
    return m_performAnswer;
}

void TestSetup::SetNavigation(std::int32_t navigation)
{
    m_navigation = navigation;
    m_navigations.append(navigation);
}

} // namespace kelto::host
