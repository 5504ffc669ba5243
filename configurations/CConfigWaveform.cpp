#include "configurations/CConfigWaveform.h"

#include "framework/HostServices.h"
#include "platform/Automation.h"
#include "platform/interfaces/Report.h"

namespace kelto {

namespace {

// Version of the test library, stored with every waveform configuration (never read).
const QString kLibraryVersion = QStringLiteral(KELTO_VERSION);

// The analyser's command numbers do not follow the codes: the performance block
// lies between the normal sinus and the arrhythmia blocks.
const WaveRow kNormalSinusWaves[] = {
    {100, "[W01]", "20400::Normal sinus rhythm at 30 bpm"},
    {101, "[W02]", "20401::Normal sinus rhythm at 60 bpm"},
    {102, "[W03]", "20402::Normal sinus rhythm at 120 bpm"},
    {103, "[W04]", "20403::Normal sinus rhythm at 180 bpm"},
    {104, "[W05]", "20404::Normal sinus rhythm at 240 bpm"},
};

const WaveRow kArrhythmiaWaves[] = {
    {200, "[W16]", "20410::Atrial Fibrillation"},
    {201, "[W17]", "20411::Atrial Flutter"},
    {202, "[W18]", "20412::Atrial Tachycardia"},
    {203, "[W19]", "20413::Premature Ventricular Contractions type 1"},
    {204, "[W20]", "20414::Run"},
    {205, "[W21]", "20415::R on T"},
    {206, "[W22]", "20416::Idioventricular"},
    {207, "[W23]", "20417::Ventricular Tachycardia"},
    {208, "[W24]", "20418::Ventricular Fibrillation"},
};

const WaveRow kPerformanceWaves[] = {
    {300, "[W06]", "20420::Pulse 30 BPM"},
    {301, "[W07]", "20421::Pulse 60 BPM"},
    {302, "[W08]", "20422::Square wave 0.125 Hz"},
    {303, "[W09]", "20423::Square wave 2 Hz"},
    {304, "[W10]", "20424::Sine wave 10 Hz"},
    {305, "[W11]", "20425::Sine wave 40 Hz"},
    {306, "[W12]", "20426::Sine wave 50 Hz"},
    {307, "[W13]", "20427::Sine wave 60 Hz"},
    {308, "[W14]", "20428::Sine wave 100 Hz"},
    {309, "[W15]", "20429::Triangle wave 2 Hz"},
};

template <std::size_t N>
constexpr int countOf(const WaveRow (&)[N])
{
    return static_cast<int>(N);
}

} // namespace

const WaveConfigInfo CConfigNormalSinus::kIdentity{
    {"KeltoTarvoXTest.CConfigNormalSinus", "KeltoTarvoXTest.XNormalSinusConfig"}, 100, kNormalSinusWaves, countOf(kNormalSinusWaves), false};
const WaveConfigInfo CConfigArrhythmia::kIdentity{
    {"KeltoTarvoXTest.CConfigArrhythmia", "KeltoTarvoXTest.XArrhythmiaConfig"}, 200, kArrhythmiaWaves, countOf(kArrhythmiaWaves), true};
const WaveConfigInfo CConfigPerformance::kIdentity{
    {"KeltoTarvoXTest.CConfigPerformance", "KeltoTarvoXTest.XPerformanceConfig"}, 300, kPerformanceWaves, countOf(kPerformanceWaves), false};

CConfigWaveform::CConfigWaveform(const WaveConfigInfo& info)
    : CConfigBase(info.identity), m_info(info), m_waveType(info.defaultWaveType)
{
}

const WaveRow* CConfigWaveform::findWave(std::int32_t code) const
{
    for (int i = 0; i < m_info.rowCount; ++i) {
        if (m_info.rows[i].code == code)
            return &m_info.rows[i];
    }
    return nullptr;
}

QString CConfigWaveform::GenerateWaveCommand()
{
    QString command;
    if (const WaveRow* row = findWave(m_waveType)) {
        command = QString::fromLatin1(row->command);
        m_ecgWave = QString::fromLatin1(row->name);
    }
    ignoreErrors([&] { m_ecgWave = translate(m_ecgWave); });
    return command;
}

QString CConfigWaveform::currentWaveName() const
{
    const WaveRow* row = findWave(m_waveType);
    if (!row)
        return m_ecgWave;
    QString name = QString::fromLatin1(row->name);
    ignoreErrors([&] { name = translate(name); });
    return name;
}

void CConfigWaveform::CopyFrom(const CConfigWaveform* source)
{
    if (!source)
        return;
    m_duration = source->m_duration;
    m_waveType = source->m_waveType;
    GenerateWaveCommand(); // the copy's name is made afresh, never copied
    copyTestGuideFrom(*source);
}

void CConfigWaveform::copyFromSame(const CConfigBase& source)
{
    CopyFrom(&dynamic_cast<const CConfigWaveform&>(source));
}

std::function<void()> CConfigWaveform::readFields(const Ptr<IXmlElement>& in)
{
    std::int32_t duration = m_duration;
    std::int32_t waveType = m_waveType;
    QString name = m_ecgWave;
    if (const Ptr<IXmlElement> child = in->FindChild(QStringLiteral("Duration"), 0))
        duration = storedLong(child->Text(), QStringLiteral("The Duration of the settings"), progId());
    if (const Ptr<IXmlElement> child = in->FindChild(QStringLiteral("Wavetype"), 0))
        waveType = storedLong(child->Text(), QStringLiteral("The Wavetype of the settings"), progId());
    if (const Ptr<IXmlElement> child = in->FindChild(QStringLiteral("Wavename"), 0))
        name = child->Text();
    return [this, duration, waveType, name] {
        m_duration = duration;
        m_waveType = waveType;
        m_ecgWave = name;
    };
}

void CConfigWaveform::writeFields(const Ptr<IXmlElement>& out)
{
    out->AddTextElement(QStringLiteral("Version"), kLibraryVersion);
    out->AddTextElement(QStringLiteral("Duration"), QString::number(m_duration));
    const QString type = QString::number(m_waveType);
    const QString name = currentWaveName();
    if (m_info.nameBeforeType) {
        out->AddTextElement(QStringLiteral("Wavename"), name);
        out->AddTextElement(QStringLiteral("Wavetype"), type);
    } else {
        out->AddTextElement(QStringLiteral("Wavetype"), type);
        out->AddTextElement(QStringLiteral("Wavename"), name);
    }
}

QString CConfigWaveform::waveColumnFormat(std::int32_t width)
{
    const QString w = QString::number((width - 3360) / 4);
    return QStringLiteral(">+560|<2240|>+") + w + QStringLiteral("|>+") + w + QStringLiteral("|>+") + w + QStringLiteral("|>+!") + w
        + QStringLiteral("|<+560;");
}

QString CConfigWaveform::reportColumnFormat(const Ptr<IReport>& report)
{
    std::int32_t width = 0;
    ignoreErrors([&] { width = report->Width(10); });
    return waveColumnFormat(width);
}

QString CConfigWaveform::reportRows(const Ptr<IReport>& report)
{
    return familyRow(report, QStringLiteral("20093::Duration"), formatNumber(m_duration, QStringLiteral("0.0")), QStringLiteral("20201::s"))
        + familyRow(report, QStringLiteral("20137::ECG Waveform"), currentWaveName(), QStringLiteral("20209::None"));
}

} // namespace kelto
