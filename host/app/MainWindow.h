#pragma once
// The host window: the plug-in's test types with their icons, the test sequence,
// and for the selected element its settings and limit dialogs docked in place.

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "host/app/PlugInHost.h"
#include "host/app/Sequence.h"
#include "platform/Clock.h"
#include "platform/interfaces/Controls.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QTabWidget;
class QTreeWidget;
class QPushButton;

namespace kelto::host {

// A widget that keeps one docked plug-in dialog sized to itself.
class DialogDock : public QWidget {
public:
    explicit DialogDock(QWidget* parent = nullptr);
    ~DialogDock() override;
    // Called when the docked dialog tells the host of a change.
    void setOnChange(std::function<void()> onChange) { m_onChange = std::move(onChange); }
    void setDialog(Ptr<IDialog> dialog); // unloads the previous one
    const Ptr<IDialog>& dialog() const { return m_dialog; }
    // The docked panel's least whole size; a scroll area around the dock scrolls below it.
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void place();
    Ptr<IDialog> m_dialog;
    std::function<void()> m_onChange;
};

class MainWindow : public QMainWindow {
public:
    explicit MainWindow(PlugInHost& host, QWidget* parent = nullptr);

    // Both leave the sequence without changes to save, and the title naming the file.
    bool openFile(const QString& file);
    // Asks first where another window or program has written the file since this
    // window opened or saved it; false when the operator cancels.
    bool saveFile(const QString& file);
    // Writes the report of the sequence as HTML or PDF, by the file's extension;
    // a failure is told in a box.
    bool exportReportTo(const QString& file);
    Sequence& sequence() { return m_sequence; }

    // For tests and the screenshot script.
    QTreeWidget* testList() const { return m_tests; }
    QListWidget* sequenceList() const { return m_sequenceList; }
    DialogDock* settingsDock() const { return m_settings; }
    DialogDock* limitsDock() const { return m_limits; }
    // Shown on the limit tab for an element whose limits offer no dialog.
    QLabel* limitsNote() const { return m_limitsNote; }
    void addTest(std::int32_t testId);
    void selectElement(int row);
    void showPreferences();
    // Performs the elements from a row on, going where each run's navigation says,
    // until the end of the sequence or an abort.
    void runFrom(int row);
    ITestSetup& testSetup() { return *m_setup; }
    // Gives the selected element the standard of the template with these names.
    void addStandard(const QString& alphaName, const QString& completeName);
    QComboBox* standardChoice() const { return m_standards; }
    QPushButton* addStandardButton() const { return m_addStandard; }
    // The standards the sequence's elements hold, each with a tick: a run is judged
    // against those ticked. A standard is ticked when it first appears.
    QListWidget* standardTicks() const { return m_judgedBy; }

protected:
    // Asks first when changes are not saved.
    void closeEvent(QCloseEvent* event) override;
    // Watches the field a value is being typed into: Enter or leaving it ends the edit.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillTests();
    void fillStandards();
    void refreshStandardTicks();
    void selectStandardsForRun();
    Ptr<IStandardCollection> selectedStandards();
    // Those its passed or failed result was judged against, else those ticked now.
    Ptr<IStandardCollection> judgedAgainst(const Ptr<ITestElement>& element);
    // What judged its result, where its presets or limits now differ or its readings
    // do not give its verdict by them; else empty.
    QString judgedWith(const Ptr<ITestElement>& element) const;
    void refreshSequence();
    void showSequence();
    // The element's line in the sequence list: its title, its result as the views show
    // it, in its look, and what was not read; what judged it in the tooltip.
    void showListItem(QListWidgetItem* item, const Ptr<ITestElement>& element);
    void onSelectionChanged();
    void setLocked(bool locked);
    void reportError(const QString& what);
    void newSequence();
    void open();
    bool save(bool askName);
    void removeSelected();
    void exportReport();
    // The title names the file and marks changes not saved.
    void setModified(bool modified);
    void setFile(const QString& file);
    // Before changes not saved would be lost: save, discard or cancel. True to go on.
    bool maySaveChanges(const QString& before);

    // A result stays only beside the settings and limits it was measured and judged
    // with: a change to an element holding a passed or failed result (or one the file
    // held but could not be read) asks first; Yes clears the result, No puts the
    // settings and limits back as they were when the element was docked.
    bool holdsRunResult(const Ptr<ITestElement>& element) const;
    // How the question names the element's result as it stands: "(passed), measured
    // and judged with its present settings and limits".
    QString describeResult(const Ptr<ITestElement>& element);
    bool mayClearResult(const Ptr<ITestElement>& element, const QString& described, const QString& change);
    // Replaces the element of the row by a copy without its result.
    bool clearResult(int row);
    void dockedChanged();
    void settleChange(const Ptr<ITestElement>& element, bool clear, const Ptr<IXmlElement>& before);
    // A value typed into a docked field is asked about once the edit ends: Enter,
    // the field left or undocked, or before the window saves, runs, reports, adds a
    // standard, removes, starts anew, opens or closes. Keys typed while a box is up
    // would be lost.
    QWidget* typingField() const;
    void endTyping(); // asks once control is back in the event loop
    void askTypedChange();

    PlugInHost& m_host;
    Sequence m_sequence;
    QString m_file;
    QString m_plugInName;
    QTreeWidget* m_tests = nullptr;
    QListWidget* m_sequenceList = nullptr;
    QTabWidget* m_tabs = nullptr;
    DialogDock* m_settings = nullptr;
    DialogDock* m_limits = nullptr;
    QLabel* m_limitsNote = nullptr;
    QCheckBox* m_lock = nullptr;
    QComboBox* m_standards = nullptr;
    QPushButton* m_addStandard = nullptr;
    QListWidget* m_judgedBy = nullptr;
    QStringList m_unticked; // standards the operator unticked, by their names
    // The element whose dialogs are docked and, while it holds a result, its saved
    // form from then; the change asked about is settled once the panel is done.
    std::weak_ptr<ITestElement> m_docked;
    Ptr<IXmlElement> m_beforeChange;
    QString m_beforeChangeForm; // as text, to tell a change from a click
    QString m_beforeChangeResult; // describeResult then: the question names the result as it stood
    bool m_changeAsked = false;
    // A typed change of a docked element with a result, not asked about yet.
    struct TypedChange {
        std::weak_ptr<ITestElement> element;
        Ptr<IXmlElement> before;
        QString beforeForm;
        QString result;
    };
    std::optional<TypedChange> m_typed;
    QPointer<QWidget> m_typingField;
    QPushButton* m_run = nullptr;
    Ptr<ITestSetup> m_setup; // the running sequence: selected standards and analyser records
    bool m_running = false;
    bool m_resultsNotSaved = false; // a run changed results since the last save or open
    std::unique_ptr<ClockTimer> m_reportNotice; // takes "The report is in ..." off the status line
};

} // namespace kelto::host
