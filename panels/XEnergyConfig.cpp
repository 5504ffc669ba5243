#include "panels/XEnergyConfig.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScopedValueRollback>

#include "platform/Automation.h"
#include "platform/EscapedText.h"
#include "platform/PluginError.h"

namespace kelto {

namespace {

// The least size the frames are laid out for; a smaller panel shows them clipped.
constexpr float kLeastWidth = 9660;
constexpr float kLeastHeight = 3435;
constexpr float kHelpHeight = 495;

} // namespace

XEnergyPanel::XEnergyPanel(const EnergyPanelDesign& design) : XPanelBase(QString::fromLatin1(design.name), design.width, design.height)
{
    // The order of creation is the keyboard's order.
    if (design.settingsFirst) {
        addSettingsFrame();
        addEnergyFrame();
    } else {
        addEnergyFrame();
        addSettingsFrame();
    }
    addHelpText(QString::fromLatin1(design.helpText), QRectF(0, design.height - kHelpHeight, design.width, kHelpHeight));
}

void XEnergyPanel::addEnergyFrame()
{
    fraEnergy = addFrame(m_widget, QStringLiteral("fraEnergy"), QRectF(0, 0, 3135, 1935));
    addLabel(fraEnergy, QStringLiteral("lblPresetEnergy"), QStringLiteral("20091::Preset energy"), QRectF(240, 360, 2175, 285), TextStyle::Heading);
    txtEnergy = addTextBox(fraEnergy, QStringLiteral("txtEnergy"), QRectF(240, 720, 975, 285), QStringLiteral("100"));
    addLabel(fraEnergy, QStringLiteral("lblEnergy"), QStringLiteral("20200::J"), QRectF(1320, 750, 135, 255), TextStyle::Unit);

    // A key the box does not take is told where it was typed: "1.5" would otherwise
    // become 15 J without a word.
    lblRefused = new QLabel(fraEnergy);
    lblRefused->setObjectName(QStringLiteral("lblRefused"));
    lblRefused->setWordWrap(true);
    lblRefused->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblRefused->hide();
    acceptDigitsOnly(txtEnergy, [this](QChar refused) {
        m_refused += refused;
        showRefused();
    });
    selectAllOnFocus(txtEnergy);
    onClick(txtEnergy, [this] { energyEdited(); });
    QObject::connect(txtEnergy, &QLineEdit::textChanged, context(), [this] { energyEdited(); });
}

void XEnergyPanel::addSettingsFrame()
{
    fraTestGuideSettings = addFrame(m_widget, QStringLiteral("fraTestGuideSettings"), QRectF(3240, 0, 2295, 1935));
    addLabel(fraTestGuideSettings, QStringLiteral("lblTestGudeSettings"), QStringLiteral("20090::Test guide settings:"),
        QRectF(120, 240, 2055, 285), TextStyle::Heading);
    addTestGuideSettings(fraTestGuideSettings, QRectF(120, 600, 1815, 615));
}

void XEnergyPanel::Initialize(const Variant& inData)
{
    if (!m_widget)
        return;
    QScopedValueRollback<bool> filling(mfUpdating, true);
    ignoreErrors([&] { takeConfig(inData); });
    m_refused.clear();
    showRefused();
    if (!hasConfig()) {
        txtEnergy->setEnabled(false);
        return;
    }
    // A panel that had no configuration before must become editable again, unless locked.
    txtEnergy->setEnabled(!mfLocked);
    ignoreErrors([&] { txtEnergy->setText(formatNumber(presetEnergy(), QStringLiteral("0"))); });
    ignoreErrors([&] { fillMore(); });
    ignoreErrors([&] { initTestGuideSettings(testGuideConfig()); });
}

void XEnergyPanel::energyEdited()
{
    if (mfUpdating)
        return;
    ignoreErrors([&] {
        if (hasConfig())
            setPresetEnergy(CSng(Val(txtEnergy->text())));
    });
    // The note goes on naming the energy the box now holds.
    if (!m_refused.isEmpty())
        showRefused();
    tellHost();
}

void XEnergyPanel::showRefused()
{
    QString text;
    if (!m_refused.isEmpty()) {
        text = QStringLiteral("%1 is not taken: the preset energy is a whole number of joules, typed as digits.").arg(quotedValue(m_refused));
        ignoreErrors([&] {
            if (hasConfig())
                text += QStringLiteral(" It is %1 J.").arg(formatNumber(presetEnergy(), QStringLiteral("0")));
        });
    }
    lblRefused->setText(text);
    lblRefused->setVisible(!text.isEmpty());
}

void XEnergyPanel::SetLocked(bool locked)
{
    if (locked == mfLocked)
        return;
    mfLocked = locked;
    if (!m_widget)
        return;
    lockTestGuideSettings(locked);
    txtEnergy->setEnabled(!locked && hasConfig());
    ignoreErrors([&] { lockMore(locked); });
}

void XEnergyPanel::SetFocus()
{
    if (!m_widget)
        return;
    txtEnergy->setFocus();
    txtEnergy->setSelection(0, std::min<int>(5, txtEnergy->text().size()));
}

float XEnergyPanel::energyFrameWidth(float panelWidth) const
{
    return std::max(panelWidth * 0.34f, leastWidth(fraEnergy));
}

void XEnergyPanel::layoutPanel()
{
    const QSizeF inner = innerTwips();
    const float width = std::max(static_cast<float>(inner.width()), kLeastWidth);
    const float height = std::max(static_cast<float>(inner.height()), kLeastHeight);
    const float frameHeight = fitHelpText(height) - 120;
    const float energyWidth = energyFrameWidth(width);
    place(fraEnergy, 0, 0, energyWidth, frameHeight);
    place(fraTestGuideSettings, energyWidth + 120, 0, twipsGeometry(fraTestGuideSettings).width(), frameHeight);
    // The note under the lowest control of the energy frame.
    float below = 0;
    for (const QWidget* control : fraEnergy->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (control != lblRefused)
            below = std::max(below, static_cast<float>(twipsGeometry(control).bottom()));
    place(lblRefused, 240, below + 120, energyWidth - 360, std::max(0.0f, frameHeight - below - 240));
}

QSizeF XEnergyPanel::wholeTwips() const
{
    return {energyFrameWidth(kLeastWidth) + 120 + twipsGeometry(fraTestGuideSettings).width(), kLeastHeight};
}

} // namespace kelto
