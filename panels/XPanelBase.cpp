#include "panels/XPanelBase.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QSet>
#include <QStyle>
#include <algorithm>

#include "framework/HostServices.h"
#include "platform/ComponentRuntime.h"
#include "platform/PluginError.h"
#include "platform/interfaces/HostControls.h"
#include "platform/interfaces/TestData.h"

namespace kelto {

namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr float kInset = 120; // twips between a frame's edge and its controls

// What a box hears as a typed character: navigation and editing keys that type
// nothing (arrows, Tab, Delete) are not characters and always pass.
bool isTypedCharacter(const QKeyEvent* key)
{
    if (key->text().isEmpty())
        return false;
    switch (key->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:
        return false;
    default:
        return true;
    }
}

bool isDigitOrBackspace(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QChar(8);
}

QFont captionFont(const QWidget* parent, bool bold)
{
    QFont font = parent->font();
    font.setFamily(QStringLiteral("Arial"));
    font.setPointSizeF(9.75);
    font.setBold(bold);
    return font;
}

// The room a control's caption takes in pixels; 0 for a control without one. A
// list needs its widest row beside its scroll bar.
int captionWidth(const QWidget* control)
{
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return label->wordWrap() ? 0 : label->sizeHint().width();
    if (qobject_cast<const QCheckBox*>(control))
        return control->sizeHint().width();
    if (const auto* list = qobject_cast<const QListWidget*>(control))
        return list->sizeHintForColumn(0) + 2 * list->frameWidth() + 2 * list->spacing()
            + list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list);
    if (control->layout()) // a host control made of captions: the test-guide settings
        return control->sizeHint().width();
    return 0;
}

int rightEdge(const QList<QWidget*>& controls)
{
    int right = 0;
    for (const QWidget* control : controls)
        right = std::max(right, control->x() + control->width());
    return right;
}

// The panel's own window: it tells a container the least size at which the
// panel shows whole.
class PanelWindow : public QWidget {
public:
    explicit PanelWindow(std::function<QSize()> least) : m_least(std::move(least)) {}
    QSize minimumSizeHint() const override
    {
        const QSize least = m_least();
        return least.isEmpty() ? QWidget::minimumSizeHint() : least;
    }

private:
    std::function<QSize()> m_least;
};

} // namespace

// The panel's hooks into its controls' events: resize, key filter, click, focus.
class XPanelBase::Events : public QObject {
public:
    explicit Events(XPanelBase& panel) : m_panel(panel) {}

    QHash<QObject*, std::function<void(QChar)>> digitsOnly;
    QSet<QObject*> selectAll;
    QHash<QObject*, std::function<void()>> clicks;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Resize:
            if (watched == m_panel.m_widget)
                ignoreErrors([&] { m_panel.layoutPanel(); });
            break;
        case QEvent::KeyPress:
            if (digitsOnly.contains(watched)) {
                const auto* key = static_cast<QKeyEvent*>(event);
                const QChar typed = isTypedCharacter(key) ? key->text().at(0) : QChar();
                if (isTypedCharacter(key) && !isDigitOrBackspace(typed)) {
                    const auto refused = digitsOnly.value(watched);
                    if (refused && typed.isPrint())
                        ignoreErrors([&] { refused(typed); });
                    return true; // discarded before the control sees it
                }
            }
            break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                const auto handler = clicks.value(watched);
                // A disabled control hears no click, though its filters still see the event.
                auto* control = qobject_cast<QWidget*>(watched);
                if (handler && control && control->isEnabled())
                    ignoreErrors(handler);
            }
            break;
        case QEvent::FocusIn:
            if (selectAll.contains(watched)) {
                if (auto* box = qobject_cast<QLineEdit*>(watched))
                    box->selectAll();
            }
            break;
        default:
            break;
        }
        return false;
    }

private:
    XPanelBase& m_panel;
};

XPanelBase::XPanelBase(const QString& name, float designWidth, float designHeight)
    : m_events(std::make_unique<Events>(*this))
{
    m_widget = new PanelWindow([this] {
        const QSizeF whole = wholeTwips();
        return QSize(toPixelsX(static_cast<float>(whole.width())), toPixelsY(static_cast<float>(whole.height())));
    });
    m_widget->setObjectName(name);
    m_widget->resize(toPixelsX(designWidth), toPixelsY(designHeight));
}

XPanelBase::~XPanelBase()
{
    // The hooks go first: nothing may reach the panel while its widgets are destroyed.
    m_events.reset();
    delete m_widget.data();
}

void XPanelBase::finishCreation()
{
    ignoreErrors([&] { textTranslator()->TranslateForm(kOwnerWord, m_widget); });
    fitCaptions();
    m_widget->installEventFilter(m_events.get());
    ignoreErrors([&] { layoutPanel(); });
}

QObject* XPanelBase::context() const
{
    return m_events.get();
}

bool XPanelBase::Visible()
{
    return m_widget && !m_widget->isHidden();
}

void XPanelBase::SetVisible(bool visible)
{
    if (m_widget)
        m_widget->setVisible(visible);
}

void XPanelBase::Refresh()
{
    if (m_widget)
        m_widget->update();
}

void XPanelBase::tellHost()
{
    if (mCallBack)
        ignoreErrors([&] { mCallBack->FireEvent(QStringLiteral("Change"), VariantArray()); });
}

int XPanelBase::toPixelsX(float twips) const
{
    return qRound(twips * m_widget->logicalDpiX() / kTwipsPerInch);
}

int XPanelBase::toPixelsY(float twips) const
{
    return qRound(twips * m_widget->logicalDpiY() / kTwipsPerInch);
}

float XPanelBase::toTwipsX(int pixels) const
{
    return static_cast<float>(pixels * kTwipsPerInch / m_widget->logicalDpiX());
}

QSizeF XPanelBase::innerTwips() const
{
    return {m_widget->width() * kTwipsPerInch / m_widget->logicalDpiX(), m_widget->height() * kTwipsPerInch / m_widget->logicalDpiY()};
}

QRectF XPanelBase::twipsGeometry(const QWidget* control) const
{
    if (!control || !m_widget)
        return {};
    const double x = kTwipsPerInch / m_widget->logicalDpiX();
    const double y = kTwipsPerInch / m_widget->logicalDpiY();
    const QRect r = control->geometry();
    return {r.x() * x, r.y() * y, r.width() * x, r.height() * y};
}

void XPanelBase::place(QWidget* control, float left, float top, float width, float height) const
{
    if (!control)
        return;
    const Fit fit = m_fit.value(control);
    control->setGeometry(toPixelsX(left + fit.shift), toPixelsY(top), std::max(0, toPixelsX(std::max(width, fit.width))),
        std::max(0, toPixelsY(height)));
}

void XPanelBase::moveTo(QWidget* control, float left, float top) const
{
    if (control)
        control->move(toPixelsX(left + m_fit.value(control).shift), toPixelsY(top));
}

void XPanelBase::fitCaptions()
{
    // The design measured the captions in its own font; a wider font would cut them.
    m_widget->ensurePolished();
    for (auto* frame : m_widget->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly))
        fitFrame(frame);
}

void XPanelBase::fitFrame(QWidget* frame)
{
    QList<QWidget*> controls = frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    std::stable_sort(controls.begin(), controls.end(), [](const QWidget* a, const QWidget* b) { return a->x() < b->x(); });
    const int rightBefore = rightEdge(controls);
    bool grown = false;
    // From left to right: a caption that needs more room than its box, or than is
    // left before a control that starts inside its box on its row, widens, and that
    // control and whatever lies right of it move on by as much, so the design's gaps stay.
    for (QWidget* control : controls) {
        const int need = captionWidth(control);
        int room = control->width();
        for (const QWidget* other : controls) {
            const bool sameRow = other->y() < control->y() + control->height() && control->y() < other->y() + other->height();
            if (other != control && sameRow && other->x() > control->x() && other->x() < control->x() + room)
                room = other->x() - control->x();
        }
        const int growth = need - room;
        if (growth <= 0)
            continue;
        grown = true;
        const int edge = control->x() + room;
        if (need > control->width()) {
            control->resize(need, control->height());
            m_fit[control].width = toTwipsX(need);
        }
        for (QWidget* other : controls) {
            if (other != control && other->x() >= edge) {
                other->move(other->x() + growth, other->y());
                m_fit[other].shift += toTwipsX(growth);
            }
        }
    }
    if (!grown)
        return;
    // The frame holds its controls with its design margin, or the usual inset if that is less.
    const int margin = std::min(std::max(0, frame->width() - rightBefore), toPixelsX(kInset));
    const int least = rightEdge(controls) + margin;
    m_fit[frame].width = toTwipsX(least);
    if (least > frame->width())
        frame->resize(least, frame->height());
}

QGroupBox* XPanelBase::addFrame(QWidget* parent, const QString& name, const QRectF& twips)
{
    auto* frame = new QGroupBox(parent);
    frame->setObjectName(name);
    place(frame, twips.x(), twips.y(), twips.width(), twips.height());
    return frame;
}

QLabel* XPanelBase::addLabel(QWidget* parent, const QString& name, const QString& textRef, const QRectF& twips, TextStyle style)
{
    auto* label = new QLabel(textRef, parent);
    label->setObjectName(name);
    label->setFont(captionFont(parent, style == TextStyle::Heading));
    if (style == TextStyle::Heading) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, palette.color(QPalette::Highlight));
        label->setPalette(palette);
    }
    place(label, twips.x(), twips.y(), twips.width(), twips.height());
    return label;
}

QLineEdit* XPanelBase::addTextBox(QWidget* parent, const QString& name, const QRectF& twips, const QString& designText)
{
    auto* box = new QLineEdit(designText, parent);
    box->setObjectName(name);
    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    place(box, twips.x(), twips.y(), twips.width(), twips.height());
    return box;
}

QCheckBox* XPanelBase::addCheckBox(QWidget* parent, const QString& name, const QString& textRef, const QRectF& twips)
{
    auto* box = new QCheckBox(textRef, parent);
    box->setObjectName(name);
    box->setFont(captionFont(parent, false));
    place(box, twips.x(), twips.y(), twips.width(), twips.height());
    return box;
}

void XPanelBase::addTestGuideSettings(QWidget* parent, const QRectF& twips)
{
    ignoreErrors([&] {
        auto control = ComponentRuntime::instance().createAs<ITestGuideSettings>(QLatin1String(hostclass::TestGuideSettings));
        if (!control || !control->widget())
            return;
        control->widget()->setParent(parent);
        control->widget()->setObjectName(QStringLiteral("xtgTestGuideConfig"));
        place(control->widget(), twips.x(), twips.y(), twips.width(), twips.height());
        control->SetOnChange([this] {
            if (!mfUpdating)
                tellHost();
        });
        m_testGuide = control;
    });
}

void XPanelBase::addHelpText(const QString& textRef, const QRectF& twips)
{
    ignoreErrors([&] {
        auto strip = ComponentRuntime::instance().createAs<IHelpText>(QLatin1String(hostclass::HelpText));
        if (!strip || !strip->widget())
            return;
        strip->widget()->setParent(m_widget);
        strip->widget()->setObjectName(QStringLiteral("xhtHelpText"));
        strip->SetText(textRef);
        place(strip->widget(), twips.x(), twips.y(), twips.width(), twips.height());
        m_helpText = strip;
    });
}

void XPanelBase::initTestGuideSettings(const Ptr<ITestGuideConfig>& settings)
{
    if (m_testGuide)
        ignoreErrors([&] { m_testGuide->Initialize(settings ? Variant(settings) : Variant::nothing()); });
}

void XPanelBase::lockTestGuideSettings(bool lock)
{
    if (m_testGuide)
        ignoreErrors([&] { m_testGuide->SetLocked(lock); });
}

float XPanelBase::fitHelpText(float height)
{
    if (!m_helpText)
        return height;
    float fitted = height;
    ignoreErrors([&] { m_helpText->FitToHeight(fitted); });
    return valueOr([&] { return m_helpText->Top(); }, height);
}

void XPanelBase::acceptDigitsOnly(QWidget* control, std::function<void(QChar)> refused)
{
    m_events->digitsOnly.insert(control, std::move(refused));
    control->installEventFilter(m_events.get());
}

void XPanelBase::onClick(QWidget* control, std::function<void()> handler)
{
    m_events->clicks.insert(control, std::move(handler));
    control->installEventFilter(m_events.get());
}

void XPanelBase::selectAllOnFocus(QLineEdit* box)
{
    m_events->selectAll.insert(box);
    box->installEventFilter(m_events.get());
}

} // namespace kelto
