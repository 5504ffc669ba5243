#include "panels/XWaveformConfig.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScopedValueRollback>
#include <QSlider>
#include <iterator>

#include "framework/HostServices.h"
#include "framework/MMiscUtils.h"
#include "platform/Automation.h"
#include "platform/PluginError.h"
#include "platform/interfaces/HostControls.h"

namespace kelto {

namespace {

constexpr int kShortest = 1; // seconds
constexpr int kLongest = 60;

const char* const kNormalSinusRows[] = {"20370::30 BPM", "20371::60 BPM", "20372::120 BPM", "20373::180 BPM", "20374::240 BPM"};

const char* const kArrhythmiaRows[] = {"20380::Atrial Fibrillation", "20381::Atrial Flutter", "20382::Atrial Tachycardia",
    "20383::PVC1", "20384::Run", "20385::R on T", "20386::Idioventricular", "20387::Ventricular Tachycardia",
    "20388::Ventricular Fibrillation"};

const char* const kPerformanceRows[] = {"20390::Pulse 30 BPM", "20391::Pulse 60 BPM", "20392::Square wave 0.125 Hz",
    "20393::Square wave 2 Hz", "20394::Sine 10 Hz", "20395::Sine 40 Hz", "20396::Sine 50 Hz", "20397::Sine 60 Hz",
    "20398::Sine 100 Hz", "20399::Triangle 2 Hz"};

const WavePanelDesign kNormalSinusPanel{"XNormalSinusConfig", "fraNSW", "lstNSWParameters", "Label3", "20095::Normal Sinus Wave",
    "20151::Select wave type and duration for the normal sinus wave test.", kNormalSinusRows,
    static_cast<int>(std::size(kNormalSinusRows)), 100, false, 9510, 5025, 2055, 6000, 6120, 1800, 950, {120, 480, 2055, 255},
    {2300, 250, 1335, 255}, {3300, 200, 1215, 405}, {5000, 250, 615, 285}, {2200, 600, 3660, 510}, {120, 240, 2295, 285},
    {0, 3930, 9510, 1095}};

const WavePanelDesign kArrhythmiaPanel{"XArrhythmiaConfig", "fraArrhythmia", "lstArrhythmia", "Label3", "20096::Arrythmia wave",
    "20152::Select wave type and duration for the arrhythmia wave test.", kArrhythmiaRows, static_cast<int>(std::size(kArrhythmiaRows)),
    200, true, 9675, 3225, 2055, 6000, 6120, 2100, 900, {120, 480, 1575, 255}, {2600, 250, 975, 255}, {3600, 250, 1335, 285},
    {5100, 250, 615, 285}, {2500, 600, 3420, 510}, {120, 240, 2295, 285}, {0, 2610, 9675, 615}};

const WavePanelDesign kPerformancePanel{"XPerformanceConfig", "fraPerformance", "lstPerformance", "Label1", "20097::Performance wave",
    "20153::Select wave type and duration for the performance wave test.", kPerformanceRows,
    static_cast<int>(std::size(kPerformanceRows)), 300, true, 9660, 4770, 3055, 6200, 6320, 2225, 900, {120, 480, 2220, 240},
    {2600, 250, 1095, 255}, {3600, 250, 1575, 285}, {5300, 250, 615, 285}, {2500, 600, 3585, 510}, {120, 240, 1935, 285},
    {0, 3915, 9660, 855}};

QRectF rectOf(const TwipsRect& r)
{
    return {r.left, r.top, r.width, r.height};
}

QString durationText(std::int32_t seconds)
{
    return QString::number(seconds) + QStringLiteral(" s");
}

} // namespace

XNormalSinusConfig::XNormalSinusConfig() : XWaveformConfigPanel(kNormalSinusPanel) {}
XArrhythmiaConfig::XArrhythmiaConfig() : XWaveformConfigPanel(kArrhythmiaPanel) {}
XPerformanceConfig::XPerformanceConfig() : XWaveformConfigPanel(kPerformancePanel) {}

XWaveformPanel::XWaveformPanel(const WavePanelDesign& design)
    : XPanelBase(QString::fromLatin1(design.name), design.width, design.height), m_design(design)
{
    m_frame = addFrame(m_widget, QString::fromLatin1(design.frameName), QRectF(0, 0, design.waveFrameWidth, design.help.top - 120));
    addLabel(m_frame, QStringLiteral("lblWaveform"), QStringLiteral("20092::Waveform"), QRectF(120, 240, 1620, 240), TextStyle::Heading);
    addLabel(m_frame, QString::fromLatin1(design.titleName), QString::fromLatin1(design.titleText), rectOf(design.title),
        TextStyle::Plain);
    m_list = new QListWidget(m_frame);
    m_list->setObjectName(QString::fromLatin1(design.listName));
    place(m_list, 120, 800, design.listWidth, design.help.top - 120 - design.listHeightLess);
    lblDuration = addLabel(m_frame, QStringLiteral("lblDuration"), QStringLiteral("20093::Duration:"), rectOf(design.durationLabel),
        TextStyle::Heading);
    chkIndefiniteDuration = addCheckBox(m_frame, QStringLiteral("chkIndefiniteDuration"), QStringLiteral("20094::Indefinite"),
        rectOf(design.indefinite));
    txtTimeSlider = addTextBox(m_frame, QStringLiteral("txtTimeSlider"), rectOf(design.textBox), QString());
    sldTimeSlider = new QSlider(Qt::Horizontal, m_frame);
    sldTimeSlider->setObjectName(QStringLiteral("sldTimeSlider"));
    sldTimeSlider->setRange(kShortest, kLongest);
    sldTimeSlider->setPageStep(5);
    sldTimeSlider->setTickPosition(QSlider::TicksBelow);
    sldTimeSlider->setTickInterval(5);
    sldTimeSlider->setToolTip(QStringLiteral("20219::Sets the runtime for each of the ECG waves (1-60 s)"));
    place(sldTimeSlider, design.slider.left, design.slider.top, design.slider.width, design.slider.height);

    fraTestGuideSettings = addFrame(m_widget, QStringLiteral("fraTestGuideSettings"), QRectF(design.settingsLeft, 0, 2600, design.help.top - 120));
    addLabel(fraTestGuideSettings, QStringLiteral("lblTestGuideSettings"), QStringLiteral("20090::Test guide settings:"),
        rectOf(design.settingsLabel), TextStyle::Heading);
    addTestGuideSettings(fraTestGuideSettings, QRectF(120, 600, 1935, 735));
    addHelpText(QString::fromLatin1(design.helpText), rectOf(design.help));

    selectAllOnFocus(txtTimeSlider);
    QObject::connect(m_list, &QListWidget::itemChanged, context(), [this](QListWidgetItem* item) { waveTicked(m_list->row(item)); });
    QObject::connect(sldTimeSlider, &QSlider::valueChanged, context(), [this](int value) { sliderMoved(value); });
    QObject::connect(txtTimeSlider, &QLineEdit::textChanged, context(), [this] { durationTextChanged(); });
    // toggled: the operator's clicks and every change made by the panel alike.
    QObject::connect(chkIndefiniteDuration, &QCheckBox::toggled, context(), [this] { indefiniteClicked(); });

    FillWaveList();
    // The box mirrors the slider; it is never typed into.
    txtTimeSlider->setReadOnly(true);
}

void XWaveformPanel::FillWaveList()
{
    QScopedValueRollback<bool> filling(mfUpdating, true);
    m_list->clear();
    for (int row = 0; row < m_design.rowCount; ++row) {
        const QString text = valueOr([&] { return translate(QString::fromLatin1(m_design.rows[row])); }, QString());
        auto* item = new QListWidgetItem(text, m_list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
}

void XWaveformPanel::SetAllSelected(QListWidget* list, bool selected)
{
    for (int row = 0; row < list->count(); ++row)
        list->item(row)->setCheckState(selected ? Qt::Checked : Qt::Unchecked);
}

void XWaveformPanel::SelectWave(std::int32_t code)
{
    // Only the configuration's wave is shown ticked, also when Initialize runs again.
    SetAllSelected(m_list, false);
    const std::int32_t row = m_design.rowByRemainder ? code % m_design.base : code - m_design.base;
    if (row < 0 || row >= m_list->count())
        raiseError(vberr::SubscriptOutOfRange, QString::fromLatin1(m_design.name),
            QStringLiteral("The wave code %1 has no row in the wave list.").arg(code));
    QListWidgetItem* item = m_list->item(row);
    item->setCheckState(Qt::Checked);
    m_list->scrollToItem(item, QAbstractItemView::PositionAtTop);
}

void XWaveformPanel::Initialize(const Variant& inData)
{
    if (!m_widget)
        return;
    if (!takeConfig(inData))
        raiseError(vberr::TypeMismatch, QString::fromLatin1(m_design.name),
            QStringLiteral("The settings panel was given something other than its configuration."));
    CConfigWaveform* const wave = config();
    if (!wave)
        return;
    // Restored also when a step raises, so the panel keeps taking the operator's edits.
    QScopedValueRollback<bool> filling(mfUpdating, true);
    txtTimeSlider->setText(durationText(wave->Duration()));
    sldTimeSlider->setValue(wave->Duration());
    chkIndefiniteDuration->setChecked(wave->Duration() <= 0);
    initTestGuideSettings(wave->TestGuideConfig());
    SelectWave(wave->WaveType());
}

void XWaveformPanel::waveTicked(int row)
{
    if (mfUpdating || row < 0)
        return;
    {
        QScopedValueRollback<bool> ticking(mfUpdating, true);
        SetAllSelected(m_list, false);
        m_list->item(row)->setCheckState(Qt::Checked);
    }
    // Told once, after the code is written, so the host never sees the old wave.
    if (CConfigWaveform* const wave = config())
        wave->SetWaveType(row + m_design.base);
    tellHost();
}

void XWaveformPanel::sliderMoved(int value)
{
    // The box's change writes the duration and tells the host.
    if (!mfUpdating)
        txtTimeSlider->setText(durationText(value));
}

std::int32_t XWaveformPanel::GetDuration()
{
    // Rounded before the range check, so no text is too large to read.
    const double seconds = roundHalfEven(Val(txtTimeSlider->text()));
    auto clampTo = [&](int limit) {
        txtTimeSlider->setText(QString::number(limit));
        MMiscUtils::SelectAllText(txtTimeSlider);
        return limit;
    };
    if (seconds < kShortest)
        return clampTo(kShortest);
    if (seconds > kLongest)
        return clampTo(kLongest);
    return static_cast<std::int32_t>(seconds);
}

void XWaveformPanel::durationTextChanged()
{
    if (fInChange)
        return;
    QScopedValueRollback<bool> inChange(fInChange, true);
    if (mfUpdating)
        return;
    const std::int32_t seconds = GetDuration();
    if (CConfigWaveform* const wave = config())
        wave->SetDuration(seconds);
    tellHost();
}

void XWaveformPanel::indefiniteClicked()
{
    const bool indefinite = chkIndefiniteDuration->isChecked();
    QPalette palette = txtTimeSlider->palette();
    palette.setColor(QPalette::Base, QApplication::palette(txtTimeSlider).color(indefinite ? QPalette::Button : QPalette::Base));
    txtTimeSlider->setPalette(palette);
    // A locked panel stays locked whatever the box shows.
    txtTimeSlider->setEnabled(!indefinite && !mfLocked);
    sldTimeSlider->setEnabled(!indefinite && !mfLocked);
    std::int32_t seconds = 0;
    if (!indefinite) {
        // The box's own change handler stays out: this handler writes and tells once.
        QScopedValueRollback<bool> inChange(fInChange, true);
        seconds = GetDuration();
    }
    // Written also while the panel fills itself: a duration of 0 or less is indefinite.
    if (CConfigWaveform* const wave = config())
        wave->SetDuration(seconds);
    if (!mfUpdating)
        tellHost();
}

void XWaveformPanel::SetLocked(bool locked)
{
    if (locked == mfLocked)
        return;
    mfLocked = locked;
    if (!m_widget)
        return;
    const bool indefinite = chkIndefiniteDuration->isChecked();
    sldTimeSlider->setEnabled(!locked && !indefinite);
    chkIndefiniteDuration->setEnabled(!locked);
    // The box stays read-only: it only ever mirrors the slider.
    txtTimeSlider->setEnabled(!locked && !indefinite);
    lockTestGuideSettings(locked);
    m_list->setEnabled(!locked);
}

float XWaveformPanel::waveFrameGrowth() const
{
    return std::max(0.0f, leastWidth(m_frame) - m_design.waveFrameWidth);
}

void XWaveformPanel::layoutPanel()
{
    const float height = std::max(static_cast<float>(innerTwips().height()), m_design.leastHeight);
    const float frameHeight = fitHelpText(height) - 120;
    // A wave frame widened for its captions takes the settings frame along.
    place(m_frame, 0, 0, m_design.waveFrameWidth + waveFrameGrowth(), frameHeight);
    place(fraTestGuideSettings, m_design.settingsLeft + waveFrameGrowth(), 0, 2600, frameHeight);
    place(m_list, 120, 800, m_design.listWidth, frameHeight - m_design.listHeightLess);
    if (const auto settings = testGuideSettings())
        moveTo(settings->widget(), 120, 600);
    moveTo(lblDuration, m_design.durationLabel.left, m_design.durationLabel.top);
    moveTo(chkIndefiniteDuration, m_design.indefinite.left, m_design.indefinite.top);
    moveTo(txtTimeSlider, m_design.textBox.left, m_design.textBox.top);
    moveTo(sldTimeSlider, m_design.slider.left, m_design.slider.top);
}

QSizeF XWaveformPanel::wholeTwips() const
{
    return {m_design.settingsLeft + waveFrameGrowth() + std::max(2600.0f, leastWidth(fraTestGuideSettings)), m_design.leastHeight};
}

} // namespace kelto
