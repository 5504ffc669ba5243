#include "panels/XPacerConfig.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScopedValueRollback>

#include "platform/Automation.h"
#include "platform/PluginError.h"

namespace kelto {

namespace {

// The frames are always laid out for this size, whatever the panel's own.
constexpr float kLayoutWidth = 10785;
constexpr float kLayoutHeight = 3375;
constexpr float kHelpHeight = 735;

} // namespace

const QStringList& XPacerPanel::loads()
{
    static const QStringList list{QStringLiteral("50"), QStringLiteral("100"), QStringLiteral("300"), QStringLiteral("500"),
        QStringLiteral("600"), QStringLiteral("1000"), QStringLiteral("1500")};
    return list;
}

XPacerPanel::XPacerPanel(const PacerPanelDesign& design) : XPanelBase(QString::fromLatin1(design.name), design.width, design.height)
{
    // The order of creation is the keyboard's order.
    if (design.settingsFirst) {
        addSettingsFrame();
        addPacerFrame(design);
        fraEmpty = addFrame(m_widget, QStringLiteral("fraEmpty"), QRectF(8640, 0, 2055, 2535));
    } else {
        fraEmpty = addFrame(m_widget, QStringLiteral("fraEmpty"), QRectF(8640, 0, 2055, 2535));
        addPacerFrame(design);
        addSettingsFrame();
    }
    addHelpText(QStringLiteral("20154::Select Pacer Load Adapter (PLA). Set Pacer Rate and Pacer Amplitude to be configured at the pacemaker."),
        QRectF(0, design.height - kHelpHeight, design.width, kHelpHeight));
    FillLoadList();
}

void XPacerPanel::addPacerFrame(const PacerPanelDesign& design)
{
    fraPacer = addFrame(m_widget, QStringLiteral("fraPacer"), QRectF(0, 0, 6045, 2535));
    addLabel(fraPacer, QStringLiteral("lblLoad"), QStringLiteral("20098::Pacer Load(PLA)"), QRectF(240, 360, 2250, 240), TextStyle::Heading);
    addLabel(fraPacer, QStringLiteral("lblOhm"), QStringLiteral("20210::Ohms"), QRectF(1470, 745, 1170, 240), TextStyle::Unit);
    addLabel(fraPacer, QStringLiteral("lblPresetPacerRate"), QStringLiteral("20099::PresetPacerRate"), QRectF(3360, 360, 2235, 240),
        TextStyle::Heading);
    addLabel(fraPacer, QStringLiteral("lblPPM"), QStringLiteral("20205::PPM"), QRectF(4220, 720, 1080, 240), TextStyle::Unit);
    addLabel(fraPacer, QStringLiteral("lblPresetPacerAmplitude"), QStringLiteral("20100::Preset Pacer Amplitude"),
        QRectF(3360, 1440, design.amplitudeLabelWidth, 240), TextStyle::Heading);
    addLabel(fraPacer, QStringLiteral("lblmA"), QStringLiteral("20204::mA"), QRectF(4220, 1815, 945, 240), TextStyle::Unit);

    auto addLoadList = [&] {
        cboLoad = new QComboBox(fraPacer);
        cboLoad->setObjectName(QStringLiteral("cboLoad"));
        place(cboLoad, 240, 720, 1215, 315);
    };
    auto addRate = [&] {
        txtPresetPacerRate = addTextBox(fraPacer, QStringLiteral("txtPresetPacerRate"), QRectF(3360, 720, 800, 315), QString::fromLatin1(design.rateText));
    };
    auto addAmplitude = [&] {
        txtPresetPacerAmplitude = addTextBox(fraPacer, QStringLiteral("txtPresetPacerAmplitude"), QRectF(3360, 1800, 800, 315),
            QString::fromLatin1(design.amplitudeText));
    };
    if (design.settingsFirst) {
        addAmplitude();
        addRate();
        addLoadList();
    } else {
        addLoadList();
        addRate();
        addAmplitude();
    }

    for (QWidget* control : {static_cast<QWidget*>(cboLoad), static_cast<QWidget*>(txtPresetPacerRate), static_cast<QWidget*>(txtPresetPacerAmplitude)})
        acceptDigitsOnly(control);
    selectAllOnFocus(txtPresetPacerRate);
    selectAllOnFocus(txtPresetPacerAmplitude);
    onClick(txtPresetPacerRate, [this] { rateEdited(); });
    onClick(txtPresetPacerAmplitude, [this] { amplitudeEdited(); });
    // activated: every pick by the operator, also of the entry already shown.
    QObject::connect(cboLoad, &QComboBox::activated, context(), [this] { loadSelected(); });
    QObject::connect(txtPresetPacerRate, &QLineEdit::textChanged, context(), [this] { rateEdited(); });
    QObject::connect(txtPresetPacerAmplitude, &QLineEdit::textChanged, context(), [this] { amplitudeEdited(); });
}

void XPacerPanel::addSettingsFrame()
{
    fraTestGuideSettings = addFrame(m_widget, QStringLiteral("fraTestGuideSettings"), QRectF(6120, 0, 2415, 2535));
    addLabel(fraTestGuideSettings, QStringLiteral("lblTestGuideSettings"), QStringLiteral("20090::Test guide settings:"),
        QRectF(120, 240, 1935, 285), TextStyle::Heading);
    addTestGuideSettings(fraTestGuideSettings, QRectF(120, 600, 1935, 735));
}

void XPacerPanel::FillLoadList()
{
    QScopedValueRollback<bool> filling(mfUpdating, true);
    cboLoad->addItems(loads());
    cboLoad->setCurrentIndex(0);
}

void XPacerPanel::Initialize(const Variant& inData)
{
    if (!m_widget)
        return;
    QScopedValueRollback<bool> filling(mfUpdating, true);
    ignoreErrors([&] { takeConfig(inData); });
    CConfigPacer* const pacer = config();
    if (!pacer)
        return;
    const int index = pacer->LoadIndex();
    if (index >= -1 && index < cboLoad->count())
        cboLoad->setCurrentIndex(index);
    // A stored load that names an entry wins over the stored position.
    const int named = cboLoad->findText(pacer->PacerLoad());
    if (named >= 0)
        cboLoad->setCurrentIndex(named);
    txtPresetPacerAmplitude->setText(singleToString(pacer->PacerAmplitude()));
    txtPresetPacerRate->setText(singleToString(pacer->PacerRate()));
    initTestGuideSettings(pacer->TestGuideConfig());
}

void XPacerPanel::loadSelected()
{
    if (mfUpdating)
        return;
    if (CConfigPacer* const pacer = config()) {
        pacer->SetLoadIndex(static_cast<std::int16_t>(cboLoad->currentIndex()));
        pacer->SetPacerLoad(cboLoad->currentText());
    }
    tellHost();
}

void XPacerPanel::rateEdited()
{
    if (mfUpdating)
        return;
    ignoreErrors([&] {
        if (CConfigPacer* const pacer = config())
            pacer->SetPacerRate(CSng(Val(txtPresetPacerRate->text())));
    });
    tellHost();
}

void XPacerPanel::amplitudeEdited()
{
    if (mfUpdating)
        return;
    // Only a box holding one number is written: an empty box keeps the stored amplitude.
    ignoreErrors([&] {
        double amplitude = 0;
        CConfigPacer* const pacer = config();
        if (pacer && parseNumber(txtPresetPacerAmplitude->text(), &amplitude))
            pacer->SetPacerAmplitude(CSng(amplitude));
    });
    tellHost();
}

void XPacerPanel::SetLocked(bool locked)
{
    if (locked == mfLocked)
        return;
    mfLocked = locked;
    if (!m_widget)
        return;
    cboLoad->setEnabled(!locked);
    lockTestGuideSettings(locked);
    txtPresetPacerAmplitude->setEnabled(!locked);
    txtPresetPacerRate->setEnabled(!locked);
}

float XPacerPanel::pacerFrameWidth() const
{
    return std::max(kLayoutWidth * 0.55f, leastWidth(fraPacer));
}

void XPacerPanel::layoutPanel()
{
    const float frameHeight = fitHelpText(kLayoutHeight) - 120;
    place(fraPacer, 0, 0, pacerFrameWidth(), frameHeight);
    place(fraTestGuideSettings, pacerFrameWidth() + 120, 0, twipsGeometry(fraTestGuideSettings).width(), frameHeight);
    const QRectF settings = twipsGeometry(fraTestGuideSettings);
    const float emptyLeft = static_cast<float>(settings.x() + settings.width()) + 120;
    const float emptyWidth = static_cast<float>(innerTwips().width()) - emptyLeft;
    // No room left of the panel's right edge: the empty frame stays where it was.
    if (emptyWidth >= 0)
        place(fraEmpty, emptyLeft, 0, emptyWidth, frameHeight);
}

QSizeF XPacerPanel::wholeTwips() const
{
    return {pacerFrameWidth() + 120 + twipsGeometry(fraTestGuideSettings).width(), kLayoutHeight};
}

} // namespace kelto
