#include "GuideToolbar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QTextLayout>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <functional>

#include "host/Judgement.h"
#include "host/Standards.h"
#include "host/TestSetup.h"
#include "platform/Clock.h"
#include "platform/Deref.h"
#include "platform/PluginError.h"
#include "platform/interfaces/Standards.h"
#include "platform/interfaces/TestData.h"
#include "platform/interfaces/TestElement.h"

namespace kelto::host {

namespace {

struct ButtonSpec {
    std::int32_t id;
    const char* text;
};

// Navigation on the left of the button row; the run's buttons on the right, the
// main button last so that it stays in its place whatever it offers.
const ButtonSpec kLeftButtons[] = {{101, "Abort"}, {102, "Previous"}};
const ButtonSpec kRightButtons[] = {{301, "N/A"}, {302, "Skip"}, {201, "Stop"}, {103, "Next"}, {202, "Start"}};

// A badge in the colour of its look, its text as dark or light as reads on it.
QString badgeStyle(ResultLook look)
{
    const QColor colour = lookColour(look);
    if (!colour.isValid())
        return QString();
    const double luminance = 0.299 * colour.red() + 0.587 * colour.green() + 0.114 * colour.blue();
    return QStringLiteral("color: %1; background: %2;").arg(luminance > 150 ? QStringLiteral("black") : QStringLiteral("white"), colour.name());
}

// A click on the main button this soon after its job changed was aimed at the job
// before (Stop, as the reading arrives and it turns to Next): it is ignored.
constexpr qint64 kMainHoldMs = 500;

// Room kept for the status line, in average characters, so that a status such as
// "Test in progress, please wait..." is never cut at the window's minimum size.
constexpr int kStatusChars = 34;

// The status line: long texts wrap, at word boundaries or, for a word wider than
// the line, anywhere, so that every text reads whole; the toolbar grows to hold it.
class StatusLine : public QLabel {
public:
    using QLabel::QLabel;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override
    {
        const QMargins m = contentsMargins();
        return textHeight(width - m.left() - m.right()) + m.top() + m.bottom();
    }
    QSize sizeHint() const override { return QSize(fontMetrics().horizontalAdvance(text()), oneLine()); }
    QSize minimumSizeHint() const override { return QSize(minimumWidth(), oneLine()); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const QRect area = contentsRect();
        const int height = textHeight(area.width());
        QPainter painter(this);
        painter.setPen(palette().color(foregroundRole()));
        painter.setFont(font());
        QTextLayout layout(text(), font());
        lay(layout, area.width());
        layout.draw(&painter, QPointF(area.left(), area.top() + std::max(0, area.height() - height) / 2));
    }

private:
    int oneLine() const
    {
        const QMargins m = contentsMargins();
        return fontMetrics().height() + m.top() + m.bottom();
    }
    // Lines placed as a word-wrapped label places them, leading before each.
    qreal lay(QTextLayout& layout, int width) const
    {
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        const qreal leading = fontMetrics().leading();
        qreal height = 0;
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(std::max(1, width));
            height = std::ceil(height + leading);
            line.setPosition(QPointF(0, height));
            height += line.height();
        }
        layout.endLayout();
        return height;
    }
    int textHeight(int width) const
    {
        if (text().isEmpty())
            return fontMetrics().height();
        QTextLayout layout(text(), font());
        return std::max(fontMetrics().height(), static_cast<int>(std::ceil(lay(layout, width))));
    }
};

// Calls back on the events of the given types of the widgets it watches, whoever
// caused them.
class EventWatcher : public QObject {
public:
    EventWatcher(QObject* parent, QList<QEvent::Type> types, std::function<void(QEvent::Type)> seen)
        : QObject(parent), m_types(std::move(types)), m_seen(std::move(seen))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (m_types.contains(event->type()) && m_seen)
            m_seen(event->type());
        return QObject::eventFilter(watched, event);
    }

private:
    QList<QEvent::Type> m_types;
    std::function<void(QEvent::Type)> m_seen;
};

// Whether the element's standard of these names holds a limit value.
bool givesLimits(const Ptr<ITestElement>& element, const QStringList& names)
{
    return valueOr(
        [&] {
            const Ptr<IStandard> own = deref(deref(deref(element).Limits()).Standards()).Find(0, names.value(0), names.value(1));
            for (const Ptr<ILimit>& limit : own ? own->Limits() : QList<Ptr<ILimit>>()) {
                if (limit && (limit->HasValue(elvHigh) || limit->HasValue(elvLow)))
                    return true;
            }
            return false;
        },
        false);
}

bool judgedStatus(const Ptr<IResultData>& result)
{
    const std::int32_t status = result ? valueOr([&] { return result->Status(); }, 0) : 0;
    return status == emsPassed || status == emsFailed;
}

} // namespace

bool TgToolbarItem::Enabled()
{
    return m_button && m_button->isEnabled();
}

void TgToolbarItem::SetEnabled(bool enabled)
{
    if (m_button)
        m_button->setEnabled(enabled);
}

bool TgToolbarItem::Checked()
{
    return m_button && m_button->isChecked();
}

QString TgStatusCaption::Text()
{
    return line();
}

void TgStatusCaption::SetText(const QString& text)
{
    m_shownText = text;
    showText();
}

void TgStatusCaption::setShown(const ShownResult& shown)
{
    m_shown = shown;
    showText();
    if (m_status) {
        m_status->setText(shown.badge());
        m_status->setStyleSheet(badgeStyle(shown.look));
    }
}

QString TgStatusCaption::line() const
{
    // Beside a verdict, what the host says of it stays in view with the plug-in's word
    // on the run; while a run has none yet, the plug-in's text stands alone.
    const QString& note = m_shown.reason;
    if (m_shownText.isEmpty())
        return note;
    return note.isEmpty() || m_value == 0 ? m_shownText : note + QStringLiteral("; ") + m_shownText;
}

void TgStatusCaption::showText()
{
    if (m_text)
        m_text->setText(line());
}

void TgStatusCaption::SetStatus(std::int16_t status)
{
    m_value = status;
    setShown(shownResult(nullptr, status, Judging()));
    if (m_statusChanged)
        m_statusChanged();
}

GuideToolbar::GuideToolbar() : m_widget(new QWidget)
{
    m_widget->setObjectName(QStringLiteral("XTgToolbar"));
    // Two rows: the status with the run's standard above, the buttons below.
    auto* rows = new QVBoxLayout(m_widget);
    rows->setContentsMargins(4, 3, 4, 3);
    rows->setSpacing(3);
    auto* statusRow = new QHBoxLayout;
    auto* buttonRow = new QHBoxLayout;
    rows->addLayout(statusRow);
    rows->addLayout(buttonRow);

    auto* status = new QLabel;
    status->setObjectName(QStringLiteral("lblStatus"));
    status->setAlignment(Qt::AlignCenter);
    int statusWidth = 0;
    for (const ResultLook look : {ResultLook::Passed, ResultLook::Failed, ResultLook::NotJudged, ResultLook::NotApplicable})
        statusWidth = std::max(statusWidth, status->fontMetrics().horizontalAdvance(ShownResult{QString(), QString(), look}.badge()));
    status->setMinimumWidth(statusWidth + 2 * status->fontMetrics().averageCharWidth());
    auto* text = new StatusLine;
    text->setObjectName(QStringLiteral("lblStatusText"));
    text->setMinimumWidth(text->fontMetrics().averageCharWidth() * kStatusChars);
    text->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_caption = std::make_shared<TgStatusCaption>(text, status);
    // A new result may come with each status; whether limits judge it is asked again.
    m_caption->setStatusChanged([this] { showJudgement(); });
    m_standards = new QComboBox;
    m_standards->setObjectName(QStringLiteral("cboStandard"));
    // As wide as its longest standard, whatever room the row has.
    m_standards->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_standards->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_calculate = new QCheckBox(QStringLiteral("Relative"));
    m_calculate->setObjectName(QStringLiteral("chkRelative"));
    m_calculate->setChecked(true);
    statusRow->addWidget(status);
    statusRow->addWidget(text, 1);
    statusRow->addWidget(m_standards);
    statusRow->addWidget(m_calculate);

    auto addButton = [&](const ButtonSpec& entry) {
        auto* button = new QToolButton;
        button->setText(QString::fromLatin1(entry.text));
        button->setObjectName(QStringLiteral("tbItem%1").arg(entry.id));
        button->setCheckable(entry.id == 202);
        buttonRow->addWidget(button);
        m_items.insert(entry.id, std::make_shared<TgToolbarItem>(entry.id, button));
        const std::int32_t id = entry.id;
        // A checkable button toggles itself on a click; its state follows the run state only.
        QObject::connect(button, &QToolButton::clicked, m_widget, [this, id, button] {
            if (id == 202) {
                button->setChecked(m_runState == 1);
                if (mainHoldLeftMs() > 0)
                    return;
            }
            clicked(id, true);
        });
    };
    for (const ButtonSpec& entry : kLeftButtons)
        addButton(entry);
    buttonRow->addStretch(1);
    for (const ButtonSpec& entry : kRightButtons)
        addButton(entry);
    // The main button keeps one width whatever it offers.
    QToolButton* main = button(202);
    int mainWidth = 0;
    for (const char* caption : {"Start", "Stop", "Next"}) {
        main->setText(QString::fromLatin1(caption));
        mainWidth = std::max(mainWidth, main->sizeHint().width());
    }
    main->setMinimumWidth(mainWidth);
    button(103)->installEventFilter(new EventWatcher(button(103), {QEvent::EnabledChange}, [this](QEvent::Type) { showMainRole(); }));

    QObject::connect(m_standards, &QComboBox::currentIndexChanged, m_widget, [this] { standardChanged(); });
    QObject::connect(m_calculate, &QCheckBox::toggled, m_widget, [this] { standardChanged(); });

    m_menu = new QMenu(m_widget);
    m_menu->addAction(QStringLiteral("Repeat test"), m_widget, [this] { clicked(202, false); });
    m_menu->addAction(QStringLiteral("Not applicable"), m_widget, [this] { clicked(301, true); });
    m_menu->addAction(QStringLiteral("Skip"), m_widget, [this] { clicked(302, true); });
    SetRunState(0);
    m_statusRowHeight = statusRow->sizeHint().height();
    m_oneLineHeight = rows->sizeHint().height();
    m_widget->setFixedHeight(m_oneLineHeight);
    // A new text, another width of the line or of the window: the toolbar takes the
    // height the status line needs, and the guide lays itself out again.
    // Fitted once the layout pass that asked for it is over, not inside it.
    text->installEventFilter(new EventWatcher(text, {QEvent::Resize}, [this](QEvent::Type) { fitStatusLineSoon(); }));
    m_widget->installEventFilter(new EventWatcher(m_widget, {QEvent::LayoutRequest, QEvent::Resize}, [this](QEvent::Type type) {
        if (const auto resized = m_events.Resize; resized && type == QEvent::Resize)
            resized();
        fitStatusLineSoon();
    }));
}

void GuideToolbar::fitStatusLineSoon()
{
    if (m_fitPending || !m_widget)
        return;
    m_fitPending = true;
    QMetaObject::invokeMethod(m_widget, [this] {
        m_fitPending = false;
        QLabel* line = m_caption->textLabel();
        if (!line)
            return;
        const int height = m_oneLineHeight + std::max(0, line->heightForWidth(line->width()) - m_statusRowHeight);
        if (height != m_widget->height())
            m_widget->setFixedHeight(height);
    }, Qt::QueuedConnection);
}

GuideToolbar::~GuideToolbar()
{
    // The plug-in may keep the caption longer than the toolbar.
    m_caption->setStatusChanged({});
    delete m_widget.data();
}

Ptr<ITgToolbarItem> GuideToolbar::Item(std::int32_t id)
{
    return m_items.value(id);
}

QToolButton* GuideToolbar::button(std::int32_t id) const
{
    const auto item = m_items.value(id);
    return item ? item->button() : nullptr;
}

Ptr<ITgStandardItem> GuideToolbar::StandardItem()
{
    const int index = m_standards ? m_standards->currentIndex() : -1;
    // No standard judges the test: the view is told to show no limits, not to keep
    // those of one chosen before.
    if (index < 0)
        return m_attached ? std::make_shared<TgStandardItem>(QString(), QString(), m_calculate->isChecked()) : nullptr;
    const QStringList names = m_standards->itemData(index).toStringList();
    return std::make_shared<TgStandardItem>(names.value(0), names.value(1), m_calculate->isChecked());
}

void GuideToolbar::AttachTest(const Ptr<ITestElement>& element, const Ptr<ITestSetup>& setup)
{
    m_element = element;
    m_setup = setup;
    m_earlier.reset();
    ignoreErrors([&] {
        if (const Ptr<IResultData> held = element ? element->Result() : nullptr; judgedStatus(held))
            m_earlier = held;
    });
    m_attached = true;
    // The guide shows the limits of the first standard from the start.
    fillStandards();
    showJudgement();
}

bool GuideToolbar::showsEarlierResult() const
{
    const Ptr<IResultData> earlier = m_earlier.lock();
    const Ptr<ITestElement> element = m_element.lock();
    return earlier && element && valueOr([&] { return element->Result() == earlier; }, false) && judgedStatus(earlier);
}

Ptr<IStandardCollection> GuideToolbar::judgedBy(bool* recorded) const
{
    *recorded = true;
    const Ptr<ITestSetup> setup = m_setup.lock();
    if (!setup)
        return nullptr;
    const auto* host = dynamic_cast<const TestSetup*>(setup.get());
    if (host && host->earlierJudgement() && showsEarlierResult()) {
        const Ptr<IStandardCollection> judged = host->earlierJudgement()(m_element.lock());
        *recorded = judged != nullptr;
        return judged;
    }
    return valueOr([&] { return setup->SelectedStandards(); }, Ptr<IStandardCollection>());
}

void GuideToolbar::fillStandards()
{
    m_listedEarlier = showsEarlierResult();
    bool recorded = true;
    const Ptr<ITestElement> element = m_element.lock();
    const Ptr<IStandardCollection> judging = standardsJudging(element, judgedBy(&recorded));
    QList<QStringList> limiting;
    QList<QStringList> others;
    for (int i = 0; i < judging->Count(); ++i) {
        const Ptr<IStandard> standard = judging->Item(i);
        const QStringList names{standard->AlphaName(), standard->CompleteName()};
        (givesLimits(element, names) ? limiting : others).append(names);
    }
    m_filling = true;
    m_standards->clear();
    for (const QStringList& names : limiting + others)
        m_standards->addItem(names[0], names);
    m_filling = false;
    standardChanged();
}

void GuideToolbar::showJudgement()
{
    const Ptr<ITestElement> element = m_element.lock();
    const std::int16_t status = m_caption->Status();
    if (!m_attached || !element) {
        m_caption->setShown(shownResult(nullptr, status, Judging()));
        return;
    }
    // Once the run replaces the earlier result, the run's own standards judge what is shown.
    const bool earlier = showsEarlierResult();
    if (earlier != m_listedEarlier)
        fillStandards();
    bool recorded = true;
    const Ptr<IStandardCollection> judged = judgedBy(&recorded);
    // The earlier result is shown as the window shows it; the run's own by the run's standards.
    const auto* host = dynamic_cast<const TestSetup*>(m_setup.lock().get());
    TestSetup::EarlierShown view;
    if (earlier && host && host->earlierShown() && status == valueOr([&] { return element->Result()->Status(); }, -1)) {
        view = host->earlierShown()(element);
    } else {
        Judging judging;
        if (recorded)
            judging.standards = judged ? judged : std::make_shared<StandardCollection>();
        view.shown = shownResult(element, status, judging);
    }
    if (QLabel* line = m_caption->textLabel())
        line->setToolTip(view.judgedWith);
    m_caption->setShown(view.shown);
    if (status == emsFailed)
        showFailingStandard(element, judged);
}

void GuideToolbar::showFailingStandard(const Ptr<ITestElement>& element, const Ptr<IStandardCollection>& judged)
{
    QList<QStringList> failing;
    ignoreErrors([&] {
        const Ptr<IResultData> result = deref(element).Result();
        ILimitData& limits = deref(element->Limits());
        for (int i = 1; result && i <= result->MeasurementCount(); ++i) {
            const Ptr<IStandardCollection> failed = limits.FindFailedStandards(result->Measurement(Variant(i)), judged);
            for (int j = 0; failed && j < failed->Count(); ++j)
                failing.append({failed->Item(j)->AlphaName(), failed->Item(j)->CompleteName()});
        }
    });
    if (failing.isEmpty() || failing.contains(m_standards->currentData().toStringList()))
        return;
    for (int row = 0; row < m_standards->count(); ++row) {
        if (failing.contains(m_standards->itemData(row).toStringList())) {
            m_standards->setCurrentIndex(row);
            return;
        }
    }
}

void GuideToolbar::SetRunState(std::int32_t state)
{
    m_runState = state;
    const bool runningState = state == 1;
    auto enable = [&](std::int32_t id, bool on) {
        if (QToolButton* b = button(id))
            b->setEnabled(on);
    };
    enable(101, true);
    enable(102, !runningState);
    enable(103, state == 2);
    enable(201, runningState);
    enable(202, true);
    enable(301, !runningState);
    enable(302, !runningState);
    if (QToolButton* main = button(202))
        main->setChecked(runningState);
    showMainRole();
}

void GuideToolbar::showMainRole()
{
    QToolButton* main = button(202);
    QToolButton* next = button(103);
    QToolButton* stop = button(201);
    if (!main || !next || !stop)
        return;
    // A click on the main button goes on while item 103 is enabled, else stops a
    // run, else starts one. Its caption says which, and the item whose role it then
    // takes steps aside: still there, enabled or not, but not shown twice.
    const bool offersNext = next->isEnabled();
    const bool offersStop = !offersNext && main->isChecked();
    const QString role = offersNext ? QStringLiteral("Next") : offersStop ? QStringLiteral("Stop") : QStringLiteral("Start");
    // Only a change the operator may be aiming at holds the button.
    if (role != main->text() && main->isVisible())
        m_mainChangedMs = Clock::instance().nowMs();
    main->setText(role);
    next->setHidden(offersNext);
    stop->setHidden(offersStop);
}

qint64 GuideToolbar::mainHoldLeftMs() const
{
    return m_mainChangedMs ? std::max<qint64>(0, *m_mainChangedMs + kMainHoldMs - Clock::instance().nowMs()) : 0;
}

void GuideToolbar::SetOptions(std::int32_t& flags, std::int32_t)
{
    m_options = flags;
}

void GuideToolbar::ShowMenu()
{
    // Asked for by a press in the result view, handled now: the menu opens where
    // the operator clicked.
    if (m_menu && m_widget)
        m_menu->popup(QCursor::pos());
}

void GuideToolbar::SetRunFlags(const Variant&, bool running, bool locked)
{
    m_running = running;
    // The standard cannot change under a running measurement.
    m_standards->setEnabled(!locked);
    m_calculate->setEnabled(!locked);
}

void GuideToolbar::clicked(std::int32_t id, bool flag)
{
    const auto item = m_items.value(id);
    if (!item || !item->Enabled())
        return;
    // A copy: the handler may replace the toolbar's events while it runs.
    const auto handler = m_events.ButtonClick;
    if (handler)
        handler(item, flag);
}

void GuideToolbar::standardChanged()
{
    const auto handler = m_events.StandardChanged;
    if (!m_filling && handler)
        handler();
}

} // namespace kelto::host
