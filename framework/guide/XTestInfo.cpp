#include "framework/guide/XTestInfo.h"

#include <QLabel>

#include "framework/HostServices.h"
#include "framework/guide/GuideLayout.h"
#include "platform/Clock.h"
#include "platform/ComponentRuntime.h"
#include "platform/Deref.h"
#include "platform/interfaces/GuideControls.h"

namespace kelto {

namespace {
constexpr int kFlashIntervalMs = 500;
constexpr double kMinimumListTwips = 285;
const QString kSource = QStringLiteral("KeltoTarvoXTest.XTestInfo");
} // namespace

XTestInfo::XTestInfo(QWidget* parent) : QFrame(parent), tmrFlash(Clock::instance().createTimer()), m_backColor(olecolor::InfoBackground)
{
    setObjectName(QStringLiteral("XTestInfo"));
    setAutoFillBackground(true);
    ignoreErrors([&] {
        xtwInfo = ComponentRuntime::instance().createAs<IXTestWizard>(QLatin1String(hostclass::TestWizard));
        QWidget& list = deref(deref(xtwInfo, kSource).widget(), kSource);
        list.setParent(this);
        list.setObjectName(QStringLiteral("xtwInfo"));
    });
    lblCounter = new QLabel(QStringLiteral("5"), this);
    lblCounter->setObjectName(QStringLiteral("lblCounter"));
    lblCounter->setAlignment(Qt::AlignCenter);
    QFont big = lblCounter->font();
    big.setPointSizeF(big.pointSizeF() * 2);
    big.setBold(true);
    lblCounter->setFont(big);
    lblCounter->adjustSize();
    tmrFlash->setCallback([this] { tick(); });
    ignoreErrors([&] { textTranslator()->TranslateForm(kOwnerWord, this); });
    lblCounter->setText(QStringLiteral("5"));
    SetBackColor(m_backColor);
    SetBorder(true);
}

XTestInfo::~XTestInfo() = default;

void XTestInfo::SetBackColor(std::int32_t color)
{
    m_backColor = color;
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, olecolor::toQColor(color));
    setPalette(palette);
    ignoreErrors([&] { deref(xtwInfo, kSource).SetBackColor(color); });
}

void XTestInfo::SetBorder(bool border)
{
    m_border = border ? 1 : 0;
    setFrameStyle(border ? QFrame::Box | QFrame::Plain : QFrame::NoFrame);
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, Qt::black); // a plain frame is drawn in it
    setPalette(palette);
    layoutPane();
}

bool XTestInfo::ShowCounter() const
{
    return !lblCounter->isHidden();
}

void XTestInfo::SetShowCounter(bool show)
{
    lblCounter->setVisible(show);
    layoutPane();
}

void XTestInfo::Initialize(const Variant& instructions)
{
    m_instructions = instructions;
    ignoreErrors([&] { deref(xtwInfo, kSource).SetInstructions(instructions); });
}

void XTestInfo::HighLightItem(const Variant& steps)
{
    ignoreErrors([&] { deref(xtwInfo, kSource).SetActiveSteps(steps); });
}

void XTestInfo::UpdateCounter(std::int32_t count)
{
    lblCounter->setText(QString::number(count));
    QPalette palette = lblCounter->palette();
    palette.setColor(QPalette::WindowText, olecolor::toQColor(count == 0 ? olecolor::Red : 0));
    lblCounter->setPalette(palette);
}

void XTestInfo::ShowPacerMsg(const Variant& message)
{
    if (message.isNull() || message.isEmpty()) {
        tmrFlash->stop();
        ignoreErrors([&] { deref(xtwInfo, kSource).SetInstructions(m_instructions); });
        ignoreErrors([&] { deref(xtwInfo, kSource).SetBackColor(m_backColor); });
        return;
    }
    ignoreErrors([&] { deref(xtwInfo, kSource).SetInstructions(message); });
    ignoreErrors([&] { deref(xtwInfo, kSource).SetMessageMode(true); });
    ignoreErrors([&] { deref(xtwInfo, kSource).SetBackColor(kPacerColor); });
    tmrFlash->start(kFlashIntervalMs);
}

bool XTestInfo::flashing() const
{
    return tmrFlash->isActive();
}

void XTestInfo::tick()
{
    ++m_ticks;
    ignoreErrors([&] {
        auto& wizard = deref(xtwInfo, kSource);
        const std::int32_t colour = wizard.BackColor();
        if (m_ticks > 7 && colour == kPacerColor) {
            wizard.SetBackColor(m_backColor);
            m_ticks = 0;
        } else if (m_ticks > 0) {
            wizard.SetBackColor(kPacerColor);
        }
    });
}

void XTestInfo::ReadProperties(const QVariantMap& bag)
{
    SetBackColor(bag.value(QStringLiteral("BackColor"), olecolor::InfoBackground).toInt());
    SetBorder(bag.value(QStringLiteral("Border"), 1).toInt() == 1);
}

QVariantMap XTestInfo::WriteProperties() const
{
    return {{QStringLiteral("BackColor"), m_backColor}, {QStringLiteral("Border"), m_border}};
}

void XTestInfo::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    layoutPane();
}

void XTestInfo::layoutPane()
{
    // Inside the border.
    const QRect inner = contentsRect();
    int height = inner.height();
    const int width = inner.width();
    QWidget* list = xtwInfo ? xtwInfo->widget() : nullptr;
    if (ShowCounter()) {
        height -= lblCounter->height();
        lblCounter->setGeometry(inner.left(), inner.top() + height, width, lblCounter->height());
        if (list)
            list->setVisible(guide::pxToTwipsY(height, this) > kMinimumListTwips);
    }
    if (list)
        list->setGeometry(inner.left(), inner.top(), width, std::max(0, height));
}

} // namespace kelto
