#include "framework/guide/XTestInstruction.h"

#include <QFrame>
#include <QLabel>

#include "framework/HostServices.h"
#include "framework/guide/GuideLayout.h"
#include "framework/guide/GuidePictures.h"
#include "platform/Clock.h"
#include "platform/interfaces/GuideControls.h"

namespace kelto {

namespace {
constexpr int kFlashIntervalMs = 500;
constexpr double kFrameInsetTwips = 45;
constexpr double kIconLeftTwips = 240;
constexpr double kTextLeftTwips = 1000;
} // namespace

XTestInstruction::XTestInstruction(QWidget* parent)
    : QWidget(parent), tmrFlash(Clock::instance().createTimer()), m_backColor(olecolor::Window)
{
    setObjectName(QStringLiteral("xtipopup"));
    setAutoFillBackground(true);
    shpBackground = new QFrame(this);
    shpBackground->setObjectName(QStringLiteral("shpBackground"));
    shpBackground->setFrameShape(QFrame::Box);
    imgIcon = new QLabel(this);
    imgIcon->setObjectName(QStringLiteral("imgIcon"));
    lblHelpTxt = new QLabel(QStringLiteral("PLEASE DEFIBRILLATE NOW"), this);
    lblHelpTxt->setObjectName(QStringLiteral("lblHelpTxt"));
    lblHelpTxt->setFont(QFont(QStringLiteral("Verdana"), 12, QFont::Bold));
    lblHelpTxt->setAutoFillBackground(true);
    QPalette palette = lblHelpTxt->palette();
    palette.setColor(QPalette::Window, olecolor::toQColor(olecolor::Window));
    palette.setColor(QPalette::WindowText, olecolor::toQColor(olecolor::WindowText));
    lblHelpTxt->setPalette(palette);
    imgIcon->move(guide::twipsToPxX(kIconLeftTwips, this), 0);
    lblHelpTxt->move(guide::twipsToPxX(kTextLeftTwips, this), 0);
    setBackColor(olecolor::Window);
    tmrFlash->setCallback([this] { tick(); });
    hide();
}

XTestInstruction::~XTestInstruction() = default;

bool XTestInstruction::Flash() const
{
    return tmrFlash->isActive();
}

void XTestInstruction::SetFlash(bool flash)
{
    setBackColor(flash ? olecolor::Red : olecolor::Window);
    if (flash)
        tmrFlash->start(kFlashIntervalMs);
    else
        tmrFlash->stop();
}

void XTestInstruction::tick()
{
    setBackColor(m_backColor != olecolor::Red ? olecolor::Red : olecolor::Window);
}

void XTestInstruction::setBackColor(std::int32_t color)
{
    m_backColor = color;
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, olecolor::toQColor(color));
    setPalette(palette);
}

void XTestInstruction::ShowMsg(const QString& iconId, const QString& msgLid)
{
    if (!iconId.isEmpty()) {
        const QPixmap picture = guide::LoadResPicture(iconId);
        imgIcon->setPixmap(picture);
        imgIcon->resize(picture.size());
    }
    lblHelpTxt->setText(textTranslator()->Translate(kOwnerWord, msgLid, {}));
    lblHelpTxt->adjustSize();
    // Vertical places follow the new sizes.
    imgIcon->move(imgIcon->x(), (height() - imgIcon->height()) / 2);
    lblHelpTxt->move(lblHelpTxt->x(), (height() - lblHelpTxt->height()) / 2);
}

void XTestInstruction::MoveImage()
{
    imgIcon->move(guide::twipsToPxX(1000, this), imgIcon->y());
    lblHelpTxt->move(guide::twipsToPxX(1750, this), lblHelpTxt->y());
}

void XTestInstruction::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int inset = guide::twipsToPxX(kFrameInsetTwips, this);
    shpBackground->setGeometry(inset, inset, std::max(0, width() - 2 * inset), std::max(0, height() - 2 * inset));
    imgIcon->move(imgIcon->x(), (height() - imgIcon->height()) / 2);
    lblHelpTxt->move(lblHelpTxt->x(), (height() - lblHelpTxt->height()) / 2);
}

} // namespace kelto
