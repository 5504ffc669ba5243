#include "TestSetup.h"

#include "Standards.h"
#include "platform/PluginError.h"

namespace kelto::host {

Ptr<IMtiRecord> MtiDatabase::Item(const QString& owner, std::int32_t id)
{
    const Ptr<MtiRecord> r = m_byId.value(id);
    return r && r->Owner() == owner ? r : nullptr;
}

QStringList MtiDatabase::identityOf(IMtiRecord& record)
{
    return {record.Owner(), record.Model(), record.SerialNumber(), record.Firmware()};
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
    m_byId.insert(own->ID(), own);
    // The first of identical records is the one adopt finds.
    if (const QStringList identity = identityOf(*own); !m_byIdentity.contains(identity))
        m_byIdentity.insert(identity, own->ID());
    return own->ID();
}

std::int32_t MtiDatabase::adopt(const Ptr<MtiRecord>& record)
{
    if (const std::int32_t id = m_byIdentity.value(identityOf(*record)); id > 0)
        return id;
    return Add(record);
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
