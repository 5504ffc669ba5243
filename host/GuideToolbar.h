#pragma once
// The host's guide toolbar: navigation and run buttons by id, the status caption
// with the result status, and the selector of the run's standards.

#include <QLabel>
#include <QMap>
#include <QPointer>
#include <QToolButton>
#include <functional>
#include <optional>

#include "host/Judgement.h"
#include "platform/interfaces/GuideControls.h"
#include "platform/interfaces/TestElement.h"

class QCheckBox;
class QComboBox;
class QMenu;

namespace kelto::host {

class GuideToolbar;

class TgToolbarItem : public ITgToolbarItem {
public:
    TgToolbarItem(std::int32_t id, QToolButton* button) : m_id(id), m_button(button) {}
    std::int32_t ID() override { return m_id; }
    bool Enabled() override;
    void SetEnabled(bool enabled) override;
    bool Checked() override;
    QToolButton* button() const { return m_button; }

private:
    std::int32_t m_id;
    QPointer<QToolButton> m_button;
};

class TgStatusCaption : public ITgStatusCaption {
public:
    explicit TgStatusCaption(QLabel* text, QLabel* status) : m_text(text), m_status(status) {}
    // The line as it reads: the plug-in's text, the host's reason beside the verdict, or both.
    QString Text() override;
    void SetText(const QString& text) override;
    std::int16_t Status() override { return m_value; }
    // Shows the status by its number until the host says what it shows (setShown).
    void SetStatus(std::int16_t status) override;
    QString Verdict() override { return m_shown.text(); }
    QLabel* textLabel() const { return m_text; }
    // The text as the plug-in set it, without the reason.
    const QString& plugInText() const { return m_shownText; }
    QLabel* statusLabel() const { return m_status; }
    // The badge shows the result as the host shows it, in its look; its reason goes
    // on the text line, before the plug-in's text.
    void setShown(const ShownResult& shown);
    // Called after every status change.
    void setStatusChanged(std::function<void()> changed) { m_statusChanged = std::move(changed); }

private:
    QString line() const;
    void showText();

    QPointer<QLabel> m_text;
    QPointer<QLabel> m_status;
    QString m_shownText; // as the plug-in set it
    ShownResult m_shown;
    std::int16_t m_value = 0;
    std::function<void()> m_statusChanged;
};

class TgStandardItem : public ITgStandardItem {
public:
    TgStandardItem(QString alpha, QString complete, bool calculate)
        : m_alpha(std::move(alpha)), m_complete(std::move(complete)), m_calculate(calculate)
    {
    }
    QString AlphaName() override { return m_alpha; }
    QString CompleteName() override { return m_complete; }
    bool Calculate() override { return m_calculate; }

private:
    QString m_alpha;
    QString m_complete;
    bool m_calculate;
};

class GuideToolbar : public ITgToolbar {
public:
    GuideToolbar();
    ~GuideToolbar() override;

    QWidget* widget() override { return m_widget; }
    Ptr<ITgToolbarItem> Item(std::int32_t id) override;
    Ptr<ITgStatusCaption> StatusCaption() override { return m_caption; }
    Ptr<ITgStandardItem> StandardItem() override;
    void AttachTest(const Ptr<ITestElement>& element, const Ptr<ITestSetup>& setup) override;
    void SetRunState(std::int32_t state) override;
    void SetOptions(std::int32_t& flags, std::int32_t count) override;
    void ShowMenu() override;
    void SetRunFlags(const Variant& reserved, bool running, bool locked) override;
    void Advise(TgToolbarEvents events) override { m_events = std::move(events); }

    // For the host's tests.
    QToolButton* button(std::int32_t id) const;
    QComboBox* standardSelector() const { return m_standards; }
    QCheckBox* calculateBox() const { return m_calculate; }
    QLabel* statusText() const { return m_caption->textLabel(); }
    QLabel* statusBadge() const { return m_caption->statusLabel(); }
    QMenu* menu() const { return m_menu; }
    std::int32_t runState() const { return m_runState; }
    std::int32_t options() const { return m_options; }
    bool running() const { return m_running; }
    // How long the main button still ignores clicks after its job last changed.
    qint64 mainHoldLeftMs() const;

private:
    void clicked(std::int32_t id, bool flag);
    // Makes the toolbar as high as the status line's text needs at its width, once
    // the events pending now are handled.
    void fitStatusLineSoon();
    void showMainRole();
    void standardChanged();
    void showJudgement();
    // The selector lists the standards that judge the result shown, those giving the
    // test limits first.
    void fillStandards();
    // Beside a failed result, a standard its readings fail rather than one they meet.
    void showFailingStandard(const Ptr<ITestElement>& element, const Ptr<IStandardCollection>& judged);
    // Whether the result shown is the one the element held before this run.
    bool showsEarlierResult() const;
    // The standards the result shown is judged by; recorded is false when nothing
    // says which standards judged the earlier result.
    Ptr<IStandardCollection> judgedBy(bool* recorded) const;

    QPointer<QWidget> m_widget; // the guide window owns it once placed there
    QMap<std::int32_t, Ptr<TgToolbarItem>> m_items;
    Ptr<TgStatusCaption> m_caption;
    QComboBox* m_standards = nullptr;
    QCheckBox* m_calculate = nullptr;
    QMenu* m_menu = nullptr;
    TgToolbarEvents m_events;
    std::int32_t m_runState = 0;
    std::int32_t m_options = 0;
    bool m_running = false;
    bool m_filling = false;
    std::optional<qint64> m_mainChangedMs; // on the clock seam
    int m_oneLineHeight = 0;   // the toolbar with a status line of one line
    int m_statusRowHeight = 0; // that line's row
    bool m_fitPending = false;
    // The element and the run it is attached to; both outlive the guide.
    std::weak_ptr<ITestElement> m_element;
    std::weak_ptr<ITestSetup> m_setup;
    std::weak_ptr<IResultData> m_earlier; // the passed or failed result held before the run
    bool m_attached = false;
    bool m_listedEarlier = false;
};

} // namespace kelto::host
