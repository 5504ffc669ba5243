#include "configurations/CConfigEnergySetting.h"

#include "platform/Automation.h"
#include "platform/interfaces/Report.h"

namespace kelto {

void CConfigEnergySetting::CopyFrom(const CConfigEnergySetting* source)
{
    if (!source)
        return;
    m_presetEnergy = source->m_presetEnergy;
    copyTestGuideFrom(*source);
}

void CConfigEnergySetting::copyFromSame(const CConfigBase& source)
{
    CopyFrom(&dynamic_cast<const CConfigEnergySetting&>(source));
}

std::function<void()> CConfigEnergySetting::readFields(const Ptr<IXmlElement>& in)
{
    float energy = m_presetEnergy;
    if (const Ptr<IXmlElement> child = in->FindChild(QStringLiteral("PresetEnergy"), 0))
        energy = storedSingle(child->Text(), QStringLiteral("The PresetEnergy of the settings"), progId());
    return [this, energy] { m_presetEnergy = energy; };
}

void CConfigEnergySetting::writeFields(const Ptr<IXmlElement>& out)
{
    out->AddTextElement(QStringLiteral("PresetEnergy"), singleToExactString(m_presetEnergy));
}

QString CConfigEnergySetting::reportRows(const Ptr<IReport>& report)
{
    return familyRow(report, QStringLiteral("20091::Preset Energy"), formatNumber(m_presetEnergy, QStringLiteral("0.0")),
        QStringLiteral("20200::J"));
}

} // namespace kelto
