#include "configurations/CConfigPacer.h"

#include "platform/Automation.h"
#include "platform/interfaces/Report.h"

namespace kelto {

void CConfigPacer::CopyFrom(const CConfigPacer* source)
{
    if (!source)
        return;
    m_pacerLoad = source->m_pacerLoad;
    m_pacerAmplitude = source->m_pacerAmplitude;
    m_pacerRate = source->m_pacerRate;
    m_loadIndex = source->m_loadIndex;
    copyTestGuideFrom(*source);
}

void CConfigPacer::copyFromSame(const CConfigBase& source)
{
    CopyFrom(&dynamic_cast<const CConfigPacer&>(source));
}

std::function<void()> CConfigPacer::readFields(const Ptr<IXmlElement>& in)
{
    QString load = m_pacerLoad;
    std::int16_t index = m_loadIndex;
    float rate = m_pacerRate;
    float amplitude = m_pacerAmplitude;
    if (const Ptr<IXmlElement> child = in->FindChild(QStringLiteral("Load"), 0))
        load = child->Text();
    if (const Ptr<IXmlElement> child = in->FindChild(QStringLiteral("LoadIndex"), 0))
        index = storedInteger(child->Text(), QStringLiteral("The LoadIndex of the settings"), progId());
    if (const Ptr<IXmlElement> child = in->FindChild(QStringLiteral("Rate"), 0))
        rate = storedSingle(child->Text(), QStringLiteral("The Rate of the settings"), progId());
    if (const Ptr<IXmlElement> child = in->FindChild(QStringLiteral("Amplitude"), 0))
        amplitude = storedSingle(child->Text(), QStringLiteral("The Amplitude of the settings"), progId());
    return [this, load, index, rate, amplitude] {
        m_pacerLoad = load;
        m_loadIndex = index;
        m_pacerRate = rate;
        m_pacerAmplitude = amplitude;
    };
}

void CConfigPacer::writeFields(const Ptr<IXmlElement>& out)
{
    out->AddTextElement(QStringLiteral("Load"), m_pacerLoad);
    out->AddTextElement(QStringLiteral("LoadIndex"), QString::number(m_loadIndex));
    out->AddTextElement(QStringLiteral("Rate"), singleToExactString(m_pacerRate));
    out->AddTextElement(QStringLiteral("Amplitude"), singleToExactString(m_pacerAmplitude));
}

QString CConfigPacer::reportRows(const Ptr<IReport>& report)
{
    // The panel's loads are all numbers; any other text is printed as it is.
    double load = 0;
    const QString loadText = parseNumber(m_pacerLoad, &load) ? formatNumber(load, QStringLiteral("0")) : m_pacerLoad;
    return familyRow(report, QStringLiteral("20098::Pacer Load (PLA)"), loadText, QStringLiteral("20210::Ohms"))
        + familyRow(report, QStringLiteral("20138::Pacer Rate"), formatNumber(m_pacerRate, QStringLiteral("0")), QStringLiteral("20205::ppm"))
        + familyRow(report, QStringLiteral("20139::Pacer Amplitude"), formatNumber(m_pacerAmplitude, QStringLiteral("0.0")),
            QStringLiteral("20204::mA"));
}

} // namespace kelto
