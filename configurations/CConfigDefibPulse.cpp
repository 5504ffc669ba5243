#include "configurations/CConfigDefibPulse.h"

#include "framework/HostServices.h"
#include "platform/Automation.h"
#include "platform/interfaces/Report.h"

namespace kelto {

void CConfigDefibPulse::CopyFrom(const CConfigDefibPulse* source)
{
    if (!source)
        return;
    m_presetEnergy = source->m_presetEnergy;
    m_batteryOperated = source->m_batteryOperated;
    copyTestGuideFrom(*source);
}

void CConfigDefibPulse::copyFromSame(const CConfigBase& source)
{
    CopyFrom(&dynamic_cast<const CConfigDefibPulse&>(source));
}

std::function<void()> CConfigDefibPulse::readFields(const Ptr<IXmlElement>& in)
{
    float energy = m_presetEnergy;
    bool battery = m_batteryOperated;
    if (const Ptr<IXmlElement> child = in->FindChild(QStringLiteral("PresetEnergy"), 0))
        energy = storedSingle(child->Text(), QStringLiteral("The PresetEnergy of the settings"), progId());
    // Exactly "True" is true and any other text false: reading "TRUE" as false costs
    // the run more discharges, never a pass.
    if (const Ptr<IXmlElement> child = in->FindChild(QStringLiteral("BatteryOperated"), 0))
        battery = child->Text() == QLatin1String("True");
    return [this, energy, battery] {
        m_presetEnergy = energy;
        m_batteryOperated = battery;
    };
}

void CConfigDefibPulse::writeFields(const Ptr<IXmlElement>& out)
{
    out->AddTextElement(QStringLiteral("PresetEnergy"), singleToExactString(m_presetEnergy));
    out->AddTextElement(QStringLiteral("BatteryOperated"), m_batteryOperated ? QStringLiteral("True") : QStringLiteral("False"));
}

QString CConfigDefibPulse::reportRows(const Ptr<IReport>& report)
{
    QString battery;
    ignoreErrors([&] { battery = translate(m_batteryOperated ? QStringLiteral("20133::True") : QStringLiteral("20134::False")); });
    return familyRow(report, QStringLiteral("20091::Preset Energy"), formatNumber(m_presetEnergy, QStringLiteral("0.0")),
               QStringLiteral("20200::J"))
        + familyRow(report, QStringLiteral("20101::Battery operated"), battery, QStringLiteral("20209::None"));
}

} // namespace kelto
