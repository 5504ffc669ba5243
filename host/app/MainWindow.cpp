#include "host/app/MainWindow.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QStatusBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/CheckedFile.h"
#include "platform/FileStamp.h"
#include "platform/MessageBox.h"
#include "platform/PluginError.h"
#include "platform/interfaces/HostServices.h"
#include "host/Judgement.h"
#include "host/Report.h"
#include "host/TestSetup.h"
#include "host/XmlDocument.h"
#include "host/app/SequenceReport.h"
#include "platform/ComponentRuntime.h"
#include "platform/interfaces/Standards.h"
#include "platform/interfaces/TestData.h"

namespace kelto::host {

namespace {

constexpr int kTestIdRole = Qt::UserRole;
constexpr int kStandardNamesRole = Qt::UserRole;
constexpr QSize kDefaultSize(1360, 700);
const QList<int> kPaneWidths{250, 430, 680};

// The bytes the file holds now, to tell afterwards whether it was written since;
// none where it cannot be read.
FileStamp stampOf(const QString& file)
{
    QFile f(file);
    QString reason;
    return openRegularFile(f, QIODevice::ReadOnly, &reason) ? FileStamp(file, f.readAll()) : FileStamp();
}

// Tells the window of every change a docked dialog announces.
class ChangeCallBack : public ICallBack {
public:
    explicit ChangeCallBack(std::function<void()> onChange) : m_onChange(std::move(onChange)) {}
    void FireEvent(const QString& name, const VariantArray&) override
    {
        if (name == QLatin1String("Change") && m_onChange)
            m_onChange();
    }

private:
    std::function<void()> m_onChange;
};

// Asks for a file to write. The dialog adds the chosen filter's suffix to a name
// typed without one; finish() makes the name that will be written (from the name
// and the filter's index), and that name is the one checked: a file already there is
// replaced only when the operator agrees, else the dialog comes back. Empty when
// the operator cancels.
QString askFileToWrite(QWidget* parent, const QString& caption, const QStringList& filters, const QStringList& suffixes,
    const std::function<QString(const QString&, int)>& finish)
{
    QFileDialog dialog(parent, caption, QString(), filters.join(QStringLiteral(";;")));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // The dialog would check the name before a suffix is added: the window checks instead.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix(suffixes.value(0));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
        [&](const QString& filter) { dialog.setDefaultSuffix(suffixes.value(filters.indexOf(filter))); });
    while (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        const QString file = finish(dialog.selectedFiles().constFirst(), static_cast<int>(filters.indexOf(dialog.selectedNameFilter())));
        const QFileInfo info(file);
        if ((!info.exists() && !info.isSymLink())
            || MsgBox(QStringLiteral("%1 already exists.\nReplace it?").arg(file), mb::YesNo | mb::Exclamation, QStringLiteral("Kelto")) == mb::Yes)
            return file;
    }
    return QString();
}

// The element's saved form, and the same as text.
Ptr<IXmlElement> savedForm(const Ptr<ITestElement>& element, QString* text)
{
    Ptr<IXmlElement> saved;
    ignoreErrors([&] {
        auto doc = std::make_shared<XmlDocument>();
        saved = element->Save(doc, 0);
        doc->SetDocumentElement(saved);
        *text = doc->Xml();
    });
    return saved;
}

constexpr int kReportNoticeMs = 10000;

float toTwips(int pixels, const QWidget* w)
{
    return static_cast<float>(pixels) * 1440.0f / static_cast<float>(w->logicalDpiX());
}

} // namespace

// ---- dock -------------------------------------------------------------------

DialogDock::DialogDock(QWidget* parent) : QWidget(parent) {}

DialogDock::~DialogDock()
{
    setDialog(nullptr);
}

void DialogDock::setDialog(Ptr<IDialog> dialog)
{
    if (m_dialog)
        ignoreErrors([&] { m_dialog->Unload(); });
    m_dialog = std::move(dialog);
    if (!m_dialog)
        return;
    if (m_onChange)
        ignoreErrors([&] { m_dialog->SetCallBack(std::make_shared<ChangeCallBack>(m_onChange)); });
    ignoreErrors([&] { m_dialog->Dock(this); });
    place();
    ignoreErrors([&] { m_dialog->Show(); });
    updateGeometry();
}

QSize DialogDock::minimumSizeHint() const
{
    QSize least(0, 0);
    for (const QWidget* docked : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        least = least.expandedTo(docked->minimumSizeHint());
    return least;
}

void DialogDock::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    place();
}

void DialogDock::place()
{
    if (m_dialog)
        ignoreErrors([&] { m_dialog->Move(0, 0, toTwips(width(), this), toTwips(height(), this)); });
}

// ---- window -----------------------------------------------------------------

MainWindow::MainWindow(PlugInHost& host, QWidget* parent) : QMainWindow(parent), m_host(host)
{
    m_plugInName = host.ok() ? host.plugIn()->Name() : QStringLiteral("no plug-in");
    setFile(QString());
    if (host.ok())
        setWindowIcon(host.plugIn()->Icon(0, 2, 0));

    auto* fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    fileMenu->addAction(QStringLiteral("&New"), QKeySequence::New, this, [this] { newSequence(); });
    fileMenu->addAction(QStringLiteral("&Open..."), QKeySequence::Open, this, [this] { open(); });
    fileMenu->addAction(QStringLiteral("&Save"), QKeySequence::Save, this, [this] { save(false); });
    fileMenu->addAction(QStringLiteral("Save &As..."), this, [this] { save(true); });
    fileMenu->addSeparator();
    fileMenu->addAction(QStringLiteral("&Export report..."), this, [this] { exportReport(); });
    fileMenu->addSeparator();
    fileMenu->addAction(QStringLiteral("&Quit"), QKeySequence::Quit, this, &QWidget::close);
    auto* toolsMenu = menuBar()->addMenu(QStringLiteral("&Tools"));
    toolsMenu->addAction(QStringLiteral("Plug-in &preferences..."), this, [this] { showPreferences(); });

    m_tests = new QTreeWidget;
    m_tests->setHeaderLabels({QStringLiteral("Test types")});
    m_tests->setRootIsDecorated(false);
    m_tests->setIconSize(QSize(32, 16));
    auto* add = new QPushButton(QStringLiteral("Add to sequence"));
    connect(add, &QPushButton::clicked, this, [this] {
        if (auto* item = m_tests->currentItem())
            addTest(item->data(0, kTestIdRole).toInt());
    });
    connect(m_tests, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) { addTest(item->data(0, kTestIdRole).toInt()); });
    auto* left = new QWidget;
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->addWidget(m_tests);
    leftLayout->addWidget(add);

    m_sequenceList = new QListWidget;
    // A long title with a status and its reason goes on on the next line, whole.
    m_sequenceList->setWordWrap(true);
    m_sequenceList->setTextElideMode(Qt::ElideNone);
    m_sequenceList->setIconSize(QSize(16, 16));
    auto* remove = new QPushButton(QStringLiteral("Remove"));
    remove->setObjectName(QStringLiteral("removeButton"));
    connect(remove, &QPushButton::clicked, this, [this] { removeSelected(); });
    connect(m_sequenceList, &QListWidget::currentRowChanged, this, [this] { onSelectionChanged(); });
    m_run = new QPushButton(QStringLiteral("Run from selected test"));
    connect(m_run, &QPushButton::clicked, this, [this] { runFrom(std::max(0, m_sequenceList->currentRow())); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_run);
    buttons->addWidget(remove);
    m_judgedBy = new QListWidget;
    m_judgedBy->setObjectName(QStringLiteral("judgedBy"));
    m_judgedBy->setMaximumHeight(m_judgedBy->fontMetrics().height() * 5);
    connect(m_judgedBy, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        const QString names = item->data(kStandardNamesRole).toStringList().join(QLatin1Char('\n'));
        m_unticked.removeAll(names);
        if (item->checkState() != Qt::Checked)
            m_unticked.append(names);
        // The item stays: only the selection and what the list says of each result change.
        selectStandardsForRun();
        showSequence();
    });
    auto* middle = new QWidget;
    auto* middleLayout = new QVBoxLayout(middle);
    middleLayout->addWidget(new QLabel(QStringLiteral("Sequence")));
    middleLayout->addWidget(m_sequenceList);
    middleLayout->addWidget(new QLabel(QStringLiteral("Judge the run against")));
    middleLayout->addWidget(m_judgedBy);
    middleLayout->addLayout(buttons);

    m_tabs = new QTabWidget;
    m_settings = new DialogDock;
    m_limits = new DialogDock;
    m_settings->setOnChange([this] { dockedChanged(); });
    m_limits->setOnChange([this] { dockedChanged(); });
    // A panel wider or taller than the room left for it scrolls rather than being cut.
    auto* settingsArea = new QScrollArea;
    settingsArea->setWidgetResizable(true);
    settingsArea->setFrameShape(QFrame::NoFrame);
    settingsArea->setWidget(m_settings);
    m_tabs->addTab(settingsArea, QStringLiteral("Settings"));
    // Limits without a dialog are those of a test whose result is the operator's verdict.
    m_limitsNote = new QLabel(QStringLiteral("This test takes no limits: the operator judges it."));
    m_limitsNote->setWordWrap(true);
    m_limitsNote->hide();
    auto* limitsPage = new QWidget;
    auto* limitsLayout = new QVBoxLayout(limitsPage);
    limitsLayout->setContentsMargins(0, 0, 0, 0);
    limitsLayout->addWidget(m_limitsNote);
    limitsLayout->addWidget(m_limits, 1);
    m_tabs->addTab(limitsPage, QStringLiteral("Limits"));
    m_lock = new QCheckBox(QStringLiteral("Lock settings"));
    connect(m_lock, &QCheckBox::toggled, this, [this](bool on) { setLocked(on); });
    // The standards the template offers, to give to the selected element.
    m_standards = new QComboBox;
    m_addStandard = new QPushButton(QStringLiteral("Add standard"));
    connect(m_addStandard, &QPushButton::clicked, this, [this] {
        const QStringList names = m_standards->currentData().toStringList();
        if (names.size() == 2)
            addStandard(names[0], names[1]);
    });
    auto* standardsRow = new QHBoxLayout;
    standardsRow->addWidget(new QLabel(QStringLiteral("Standard")));
    standardsRow->addWidget(m_standards, 1);
    standardsRow->addWidget(m_addStandard);
    auto* right = new QWidget;
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->addLayout(standardsRow);
    rightLayout->addWidget(m_tabs, 1);
    rightLayout->addWidget(m_lock);

    auto* splitter = new QSplitter;
    splitter->addWidget(left);
    splitter->addWidget(middle);
    splitter->addWidget(right);
    // At the first size each pane shows its content whole: every test type, a test
    // type's title with the longest status, the widest settings panel. In a smaller
    // window the three give way in proportion and the settings scroll; what an element
    // shows never moves them.
    for (int pane = 0; pane < splitter->count(); ++pane)
        splitter->setStretchFactor(pane, 1);
    splitter->setSizes(kPaneWidths);
    setCentralWidget(splitter);
    // The status line is there from the start: a message shown in it moves nothing.
    statusBar();
    resize(kDefaultSize);

    if (!host.ok())
        statusBar()->showMessage(host.error().description());
    auto setup = std::make_shared<TestSetup>();
    // The sequence's files carry the records its runs store here.
    m_sequence.setAnalyserRecords(setup->analyserRecords());
    // The guide shows a result from an earlier run by what judged it.
    setup->setEarlierJudgement([this](const Ptr<ITestElement>& element) { return m_sequence.judgedAgainst(element); });
    setup->setEarlierShown([this](const Ptr<ITestElement>& element) {
        return TestSetup::EarlierShown{m_sequence.shown(element, selectedStandards()), judgedWith(element)};
    });
    m_setup = setup;
    fillTests();
    refreshSequence();
}

void MainWindow::refreshStandardTicks()
{
    const QSignalBlocker block(m_judgedBy);
    m_judgedBy->clear();
    const Ptr<IStandardCollection> held = standardsHeldBy(m_sequence.elements());
    for (int i = 0; i < held->Count(); ++i) {
        const Ptr<IStandard> standard = held->Item(i);
        const QStringList names{standard->AlphaName(), standard->CompleteName()};
        auto* item = new QListWidgetItem(names[0], m_judgedBy);
        item->setData(kStandardNamesRole, names);
        item->setToolTip(names[1]);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(m_unticked.contains(names.join(QLatin1Char('\n'))) ? Qt::Unchecked : Qt::Checked);
    }
    selectStandardsForRun();
}

void MainWindow::selectStandardsForRun()
{
    auto selected = ComponentRuntime::instance().createAs<IStandardCollection>(QLatin1String(hostclass::StandardCollection));
    for (int row = 0; selected && row < m_judgedBy->count(); ++row) {
        const QListWidgetItem* item = m_judgedBy->item(row);
        const QStringList names = item->data(kStandardNamesRole).toStringList();
        if (item->checkState() != Qt::Checked || names.size() != 2)
            continue;
        auto standard = ComponentRuntime::instance().createAs<IStandard>(QLatin1String(hostclass::Standard));
        standard->SetNames(names[0], names[1], 1);
        selected->Add(standard);
    }
    std::static_pointer_cast<TestSetup>(m_setup)->setSelectedStandards(selected);
}

Ptr<IStandardCollection> MainWindow::selectedStandards()
{
    return valueOr([&] { return m_setup->SelectedStandards(); }, Ptr<IStandardCollection>());
}

Ptr<IStandardCollection> MainWindow::judgedAgainst(const Ptr<ITestElement>& element)
{
    return m_sequence.standardsShownFor(element, selectedStandards());
}

QString MainWindow::judgedWith(const Ptr<ITestElement>& element) const
{
    const JudgementRecord* other = m_sequence.judgedWithOther(element);
    return other ? QStringLiteral("Judged with:\n") + other->describe(element) : QString();
}

void MainWindow::runFrom(int row)
{
    askTypedChange();
    if (m_running || row < 0 || row >= m_sequence.elements().size())
        return;
    m_running = true;
    m_run->setEnabled(false);
    statusBar()->clearMessage();
    // The docked dialogs must not change an element while it runs.
    m_settings->setDialog(nullptr);
    m_limits->setDialog(nullptr);
    while (row >= 0 && row < m_sequence.elements().size()) {
        m_sequenceList->setCurrentRow(row);
        const Ptr<ITestElement> element = m_sequence.elements()[row];
        m_setup->SetNavigation(etnNext);
        // The selection is a new collection whenever the ticks change: this one stays as it is.
        const Ptr<IStandardCollection> selection = selectedStandards();
        const auto& setup = static_cast<const TestSetup&>(*m_setup);
        const int finishedBefore = setup.finishedCount();
        // A guide passed through or aborted leaves the element as a save writes it.
        QString before;
        savedForm(element, &before);
        bool failed = false;
        try {
            element->Perform(m_setup);
        } catch (...) {
            reportError(currentError().boxText());
            failed = true;
        }
        // Only a run that judged the element's result says what judged it; a result
        // the run left as it was keeps its own record.
        const bool judged = setup.finishedCount() > finishedBefore;
        if (judged)
            m_sequence.recordJudgement(element, selection);
        QString after;
        savedForm(element, &after);
        // The run judged, changed or removed the result: the window says so at once.
        if (judged || after != before) {
            setModified(true);
            m_resultsNotSaved = true;
        }
        if (QListWidgetItem* item = m_sequenceList->item(row))
            showListItem(item, element);
        if (failed)
            break;
        const std::int32_t navigation = m_setup->Navigation();
        if (navigation == etnAbort)
            break;
        row += navigation == etnPrevious ? -1 : 1;
    }
    m_running = false;
    m_run->setEnabled(true);
    refreshSequence();
}

void MainWindow::fillStandards()
{
    // The standards for the selected element: those that give its readings limits
    // first, the box starting at the first of them; the others say that they give none.
    m_standards->clear();
    const int row = m_sequenceList->currentRow();
    if (row < 0 || row >= m_sequence.elements().size())
        return;
    for (const OfferedStandard& offered : standardsOffered(m_sequence.elements()[row], m_host.tests())) {
        const QString shown = offered.limitsReadings ? offered.alphaName : QStringLiteral("%1 (no limits for this test)").arg(offered.alphaName);
        m_standards->addItem(shown, QStringList{offered.alphaName, offered.completeName});
        m_standards->setItemData(m_standards->count() - 1, offered.completeName, Qt::ToolTipRole);
    }
}

void MainWindow::addStandard(const QString& alphaName, const QString& completeName)
{
    const int row = m_sequenceList->currentRow();
    if (row < 0 || row >= m_sequence.elements().size())
        return;
    try {
        askTypedChange();
        const Ptr<ITestElement> element = m_sequence.elements()[row];
        const Ptr<IStandardCollection> own = element->Limits()->Standards();
        if (own && own->Find(0, alphaName, completeName))
            return; // the element has it already
        const QList<OfferedStandard> offered = standardsOffered(element, m_host.tests());
        const bool limits = std::any_of(offered.cbegin(), offered.cend(), [&](const OfferedStandard& o) {
            return o.alphaName == alphaName && o.completeName == completeName && o.limitsReadings;
        });
        if (!limits
            && MsgBox(QStringLiteral("The template's \"%1\" holds no limits for the readings of \"%2\": a run judged by it alone is not "
                                     "judged, and its limits stay empty until they are typed in.\nAdd it all the same? No adds nothing.")
                          .arg(alphaName, elementTitle(element)),
                   mb::YesNo | mb::Question, QStringLiteral("Kelto"))
                != mb::Yes)
            return;
        // The result was not judged against the standard it is given now.
        if (holdsRunResult(element)
            && (!mayClearResult(element, describeResult(element), QStringLiteral("Adding the standard \"%1\"").arg(alphaName))
                || !clearResult(row)))
            return;
        m_sequence.elements()[row]->Limits()->CreateStandard(alphaName, completeName);
        setModified(true);
    } catch (...) {
        reportError(currentError().boxText());
    }
    refreshSequence();
}

void MainWindow::fillTests()
{
    m_tests->clear();
    for (const Ptr<ITestElement>& prototype : m_host.tests()) {
        auto* item = new QTreeWidgetItem(m_tests);
        const std::int32_t id = prototype->TestID();
        item->setText(0, elementTitle(prototype));
        item->setData(0, kTestIdRole, id);
        item->setIcon(0, QIcon(m_host.plugIn()->Icon(id, 1, 0)));
        ignoreErrors([&] { item->setToolTip(0, prototype->Info()->Description()); });
    }
}

void MainWindow::addTest(std::int32_t testId)
{
    try {
        if (m_host.ok() && m_sequence.add(*m_host.plugIn(), testId)) {
            setModified(true);
            refreshSequence();
            selectElement(static_cast<int>(m_sequence.elements().size()) - 1);
        }
    } catch (...) {
        reportError(currentError().boxText());
    }
}

void MainWindow::refreshSequence()
{
    refreshStandardTicks();
    showSequence();
}

void MainWindow::showSequence()
{
    const QSignalBlocker block(m_sequenceList);
    const int current = m_sequenceList->currentRow();
    m_sequenceList->clear();
    for (const Ptr<ITestElement>& element : m_sequence.elements()) {
        auto* item = new QListWidgetItem(m_sequenceList);
        showListItem(item, element);
        if (m_host.ok())
            item->setIcon(QIcon(m_host.plugIn()->Icon(element->TestID(), 0, 0)));
    }
    if (current >= 0 && current < m_sequenceList->count())
        m_sequenceList->setCurrentRow(current);
    onSelectionChanged();
}

void MainWindow::showListItem(QListWidgetItem* item, const Ptr<ITestElement>& element)
{
    const ShownResult shown = m_sequence.shown(element, selectedStandards());
    QString text = elementTitle(element);
    if (!shown.word.isEmpty())
        text += QStringLiteral("  [%1]").arg(shown.text());
    const QString unread = m_sequence.unreadNote(element);
    if (!unread.isEmpty())
        text += QStringLiteral("  (%1)").arg(unread);
    item->setText(text);
    item->setToolTip(judgedWith(element));
    // A tint of the guide's badge, so that a result no limit judged never looks passed.
    QColor tint = lookColour(shown.look);
    if (tint.isValid())
        tint.setAlpha(70);
    item->setBackground(tint.isValid() ? QBrush(tint) : QBrush());
    QFont font = m_sequenceList->font();
    font.setItalic(shown.look == ResultLook::NotJudged);
    item->setFont(font);
}

void MainWindow::selectElement(int row)
{
    m_sequenceList->setCurrentRow(row);
}

void MainWindow::onSelectionChanged()
{
    // A value typed into the docked panel is asked about while that panel is still
    // there, before the element selected now takes its place (the field has had its
    // focus-out by then).
    askTypedChange();
    const int row = m_sequenceList->currentRow();
    fillStandards();
    m_docked.reset();
    m_beforeChange.reset();
    m_beforeChangeForm.clear();
    m_beforeChangeResult.clear();
    if (row < 0 || row >= m_sequence.elements().size()) {
        m_settings->setDialog(nullptr);
        m_limits->setDialog(nullptr);
        m_limitsNote->hide();
        m_addStandard->setEnabled(false);
        return;
    }
    const Ptr<ITestElement>& element = m_sequence.elements()[row];
    m_docked = element;
    if (holdsRunResult(element)) {
        m_beforeChange = savedForm(element, &m_beforeChangeForm);
        m_beforeChangeResult = describeResult(element);
    }
    Ptr<IDialog> settings;
    Ptr<IDialog> limits;
    bool limitsHaveDialog = true;
    ignoreErrors([&] { settings = element->Configuration()->CreateDialog(); });
    ignoreErrors([&] {
        limitsHaveDialog = element->Limits()->HasDialog();
        if (limitsHaveDialog)
            limits = element->Limits()->CreateDialog();
    });
    m_settings->setDialog(settings);
    m_limits->setDialog(limits);
    setLocked(m_lock->isChecked());
    m_limitsNote->setVisible(!limitsHaveDialog);
    // No standard gives limits to a test whose limits cannot be edited.
    m_addStandard->setEnabled(limits != nullptr);
}

void MainWindow::setLocked(bool locked)
{
    for (DialogDock* dock : {m_settings, m_limits}) {
        if (dock->dialog())
            ignoreErrors([&] { dock->dialog()->SetLocked(locked); });
    }
}

void MainWindow::showPreferences()
{
    if (!m_host.ok())
        return;
    Ptr<ISetup> setup = m_host.plugIn()->Setup();
    Ptr<IDialog> panel;
    ignoreErrors([&] { panel = setup->CreateDialog(); });
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Plug-in preferences"));
    auto* dock = new DialogDock;
    dock->setMinimumSize(420, 260);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(dock, 1);
    layout->addWidget(buttons);
    dock->setDialog(panel);
    // The panel writes into the settings object; only OK makes it permanent.
    if (dialog.exec() == QDialog::Accepted)
        ignoreErrors([&] { setup->RegSave(hkey::LocalMachine, QString()); });
    else
        ignoreErrors([&] { setup->RegLoad(hkey::LocalMachine, QString()); });
    dock->setDialog(nullptr);
}

void MainWindow::reportError(const QString& what)
{
    MsgBox(what, mb::Exclamation, QStringLiteral("Kelto"));
}

bool MainWindow::openFile(const QString& file)
{
    QString error;
    if (!m_host.ok() || !m_sequence.load(file, *m_host.plugIn(), &error)) {
        reportError(error.isEmpty() ? m_host.error().description() : error);
        return false;
    }
    setFile(file);
    setModified(false);
    m_unticked.clear();
    refreshSequence();
    if (!m_sequence.loadProblems().isEmpty())
        reportError(QStringLiteral("Not all of %1 could be read; the rest of it is open.\n\n%2")
                        .arg(file, m_sequence.loadProblems().join(QStringLiteral("\n\n"))));
    return true;
}

bool MainWindow::saveFile(const QString& file)
{
    askTypedChange();
    // Another window or program may have written the file since this one read or
    // wrote it: what it wrote is replaced only when the operator says so, and asked
    // about again when it was written anew while the question was up.
    for (;;) {
        const Sequence::DiskChange change = m_sequence.changeOnDisk(file);
        if (!change.replaceable) {
            reportError(QStringLiteral("%1 has changed since this window opened or saved it: %2, and a save cannot replace it. "
                                       "Nothing is written; Save As can keep this window's sequence (%3) in another file.")
                            .arg(QFileInfo(file).fileName(), change.what, m_sequence.contentSummary()));
            return false;
        }
        // A save would be refused: the operator may keep the sequence under another name.
        if (const QString kept = notReplaceable(file); !kept.isEmpty()) {
            const int answer = MsgBox(QStringLiteral("%1 cannot be replaced: %2. Nothing is written, and the file stays as it is.\n"
                                                     "Save the sequence under another name?")
                                          .arg(file, kept),
                mb::YesNo | mb::Exclamation, QStringLiteral("Kelto"));
            return answer == mb::Yes && save(true);
        }
        if (change.what.isEmpty())
            break;
        const FileStamp asked = stampOf(file);
        const int answer = MsgBox(QStringLiteral("%1 has changed since this window opened or saved it: %2.\nReplace it with this "
                                                 "window's sequence (%3)? Cancel writes nothing; Save As can keep both.")
                                      .arg(QFileInfo(file).fileName(), change.what, m_sequence.contentSummary()),
            mb::OKCancel | mb::Exclamation, QStringLiteral("Kelto"));
        if (answer != mb::OK)
            return false;
        QString how;
        if (!asked.changed(&how))
            break;
    }
    QString error;
    if (!m_sequence.save(file, &error)) {
        reportError(error);
        return false;
    }
    setFile(file);
    setModified(false);
    return true;
}

void MainWindow::setFile(const QString& file)
{
    m_file = file;
    const QString name = file.isEmpty() ? QStringLiteral("Untitled") : QFileInfo(file).fileName();
    setWindowTitle(QStringLiteral("%1[*] - Kelto - %2").arg(name, m_plugInName));
}

void MainWindow::setModified(bool modified)
{
    setWindowModified(modified);
    if (!modified)
        m_resultsNotSaved = false;
}

bool MainWindow::maySaveChanges(const QString& before)
{
    if (!isWindowModified())
        return true;
    const QString name = m_file.isEmpty() ? QStringLiteral("The new sequence") : QFileInfo(m_file).fileName();
    const int answer = MsgBox(QStringLiteral("%1 has changes that are not saved%2.\nSave them before %3? No discards them.")
                                  .arg(name, m_resultsNotSaved ? QStringLiteral(", results included") : QString(), before),
        mb::YesNoCancel | mb::Exclamation, QStringLiteral("Kelto"));
    if (answer == mb::Yes)
        return save(false);
    return answer == mb::No;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    askTypedChange();
    if (maySaveChanges(QStringLiteral("closing")))
        event->accept();
    else
        event->ignore();
}

void MainWindow::newSequence()
{
    askTypedChange();
    if (!maySaveChanges(QStringLiteral("starting a new sequence")))
        return;
    m_sequence.elements().clear();
    setFile(QString());
    setModified(false);
    m_unticked.clear();
    refreshSequence();
}

void MainWindow::removeSelected()
{
    askTypedChange();
    const int row = m_sequenceList->currentRow();
    if (row < 0 || row >= m_sequence.elements().size())
        return;
    // Only a result would be lost for good: the element itself is in the template.
    const Ptr<ITestElement> element = m_sequence.elements()[row];
    const bool holdsResult = valueOr([&] { return element->Result() != nullptr; }, false);
    if (holdsResult) {
        const QString title = elementTitle(element);
        // Saved, the result stays in the file only until the next save.
        const bool go = isWindowModified()
            ? maySaveChanges(QStringLiteral("removing \"%1\" with its result").arg(title))
            : MsgBox(QStringLiteral("Remove \"%1\" with its result?\n%2 keeps the result until the sequence is saved.").arg(title, QFileInfo(m_file).fileName()),
                  mb::OKCancel | mb::Exclamation, QStringLiteral("Kelto")) == mb::OK;
        if (!go)
            return;
    }
    m_settings->setDialog(nullptr);
    m_limits->setDialog(nullptr);
    m_sequence.elements().removeAt(row);
    setModified(true);
    m_resultsNotSaved = m_resultsNotSaved || holdsResult;
    refreshSequence();
}

bool MainWindow::exportReportTo(const QString& file)
{
    askTypedChange();
    auto report = std::make_shared<Report>();
    const StandardsOf judged = [this](const Ptr<ITestElement>&) { return selectedStandards(); };
    printSequenceReport(m_sequence, m_file, QDateTime::currentDateTime(), judged, report);
    statusBar()->clearMessage();
    QString error;
    if (!writeReport(*report, file, &error)) {
        reportError(error);
        return false;
    }
    // A word about this export, not a state: it goes after a while, or at the next run.
    // Timed on the clock, as every wait of the system.
    const QString notice = QStringLiteral("The report is in %1.").arg(file);
    statusBar()->showMessage(notice);
    m_reportNotice = Clock::instance().createTimer();
    m_reportNotice->setCallback([this, notice] {
        m_reportNotice->stop();
        if (statusBar()->currentMessage() == notice)
            statusBar()->clearMessage();
    });
    m_reportNotice->start(kReportNoticeMs);
    return true;
}

void MainWindow::exportReport()
{
    const QStringList suffixes{QStringLiteral("pdf"), QStringLiteral("html")};
    const QString file = askFileToWrite(this, QStringLiteral("Export report"), {QStringLiteral("PDF report (*.pdf)"), QStringLiteral("HTML report (*.html)")},
        suffixes, [&](const QString& name, int filter) {
            // A name of neither format ("run.txt") takes the one chosen.
            return reportFormatOf(name) == ReportFormat::Unknown ? name + QLatin1Char('.') + suffixes.value(filter, suffixes[0]) : name;
        });
    if (!file.isEmpty())
        exportReportTo(file);
}

void MainWindow::open()
{
    askTypedChange();
    if (!maySaveChanges(QStringLiteral("opening another sequence")))
        return;
    const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Open test sequence"), QString(), QStringLiteral("Test sequences (*.xml)"));
    if (!file.isEmpty())
        openFile(file);
}

bool MainWindow::holdsRunResult(const Ptr<ITestElement>& element) const
{
    const std::int32_t status = valueOr([&] { return element->Result() ? element->Result()->Status() : 0; }, 0);
    return status == emsPassed || status == emsFailed || m_sequence.keepsResultNotRead(element);
}

QString MainWindow::describeResult(const Ptr<ITestElement>& element)
{
    const ShownResult shown = m_sequence.shown(element, selectedStandards());
    // A run that took no reading leaves an empty result beside the one the file held.
    const QString status = m_sequence.keepsResultNotRead(element) ? QStringLiteral("not read from the file") : shown.text();
    // Only a record that matches the present settings and limits can say so, and only
    // a result that a limit judged was judged.
    const bool present = m_sequence.judgedAgainst(element) && !m_sequence.judgedWithOther(element);
    const QString judged = !present                            ? QString()
        : shown.look == ResultLook::NotJudged ? QStringLiteral(", measured with its present settings and limits")
                                                               : QStringLiteral(", measured and judged with its present settings and limits");
    return QStringLiteral("(%1)%2").arg(status, judged);
}

bool MainWindow::mayClearResult(const Ptr<ITestElement>& element, const QString& described, const QString& change)
{
    const int answer = MsgBox(QStringLiteral("\"%1\" holds the result of a run %2. %3 clears that result; a new run measures it again.\n"
                                             "Clear the result? No keeps it and changes nothing.")
                                  .arg(elementTitle(element), described, change),
        mb::YesNo | mb::Question, QStringLiteral("Kelto"));
    return answer == mb::Yes;
}

bool MainWindow::clearResult(int row)
{
    const Ptr<ITestElement> bare = valueOr([&] { return m_sequence.elements()[row]->Clone(); }, Ptr<ITestElement>());
    if (!bare) {
        reportError(QStringLiteral("The result of \"%1\" could not be cleared: the test could not be copied without it. Nothing was changed.")
                        .arg(elementTitle(m_sequence.elements()[row])));
        return false;
    }
    m_settings->setDialog(nullptr);
    m_limits->setDialog(nullptr);
    m_sequence.elements()[row] = bare;
    setModified(true);
    m_resultsNotSaved = true; // the file's result goes at the next save
    return true;
}

void MainWindow::dockedChanged()
{
    const Ptr<ITestElement> element = m_docked.lock();
    // Asked once for the docked element; later edits before it is settled go the same way.
    if (m_changeAsked || m_typed)
        return;
    if (!element || !holdsRunResult(element)) {
        setModified(true);
        return;
    }
    // A panel tells of a click into a field too.
    if (m_beforeChange) {
        QString now;
        savedForm(element, &now);
        if (now == m_beforeChangeForm)
            return;
    }
    if (QWidget* field = typingField()) {
        m_typed = TypedChange{element, m_beforeChange, m_beforeChangeForm, m_beforeChangeResult};
        m_typingField = field;
        field->installEventFilter(this);
        return;
    }
    m_changeAsked = true;
    const bool clear = mayClearResult(element, m_beforeChangeResult, QStringLiteral("Changing its settings or limits"));
    // The panel is still handling the edit: it is replaced once that is over.
    QMetaObject::invokeMethod(
        this, [this, target = std::weak_ptr<ITestElement>(element), clear, before = m_beforeChange] { settleChange(target.lock(), clear, before); },
        Qt::QueuedConnection);
}

QWidget* MainWindow::typingField() const
{
    QWidget* focus = QApplication::focusWidget();
    if (!focus || !m_settings->isAncestorOf(focus))
        return nullptr;
    // Keys enter these a step at a time; a box or a tick is set by one click.
    const bool stepwise = qobject_cast<QLineEdit*>(focus) || qobject_cast<QAbstractSpinBox*>(focus) || qobject_cast<QAbstractSlider*>(focus)
        || qobject_cast<QComboBox*>(focus);
    return stepwise ? focus : nullptr;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_typingField) {
        const auto* key = event->type() == QEvent::KeyPress ? static_cast<QKeyEvent*>(event) : nullptr;
        const bool enter = key && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter);
        // Another window or a popup taking the keyboard for a while ends no edit.
        const auto* focus = event->type() == QEvent::FocusOut ? static_cast<QFocusEvent*>(event) : nullptr;
        const bool left = focus && focus->reason() != Qt::ActiveWindowFocusReason && focus->reason() != Qt::PopupFocusReason;
        if (enter || left)
            endTyping();
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::endTyping()
{
    if (m_typingField)
        m_typingField->removeEventFilter(this);
    m_typingField = nullptr;
    // The field's own handling of the key or the focus goes first.
    if (m_typed)
        QMetaObject::invokeMethod(this, [this] { askTypedChange(); }, Qt::QueuedConnection);
}

void MainWindow::askTypedChange()
{
    if (m_typingField)
        m_typingField->removeEventFilter(this);
    m_typingField = nullptr;
    if (!m_typed)
        return;
    const TypedChange typed = *std::exchange(m_typed, std::nullopt);
    const Ptr<ITestElement> element = typed.element.lock();
    if (!element || !m_sequence.elements().contains(element))
        return;
    // Typed back to what it was: nothing changed.
    if (typed.before) {
        QString now;
        savedForm(element, &now);
        if (now == typed.beforeForm)
            return;
    }
    m_changeAsked = true;
    settleChange(element, mayClearResult(element, typed.result, QStringLiteral("Changing its settings or limits")), typed.before);
}

void MainWindow::settleChange(const Ptr<ITestElement>& element, bool clear, const Ptr<IXmlElement>& before)
{
    m_changeAsked = false;
    const int row = element ? static_cast<int>(m_sequence.elements().indexOf(element)) : -1;
    if (row < 0)
        return;
    if (!clear && !before) {
        reportError(QStringLiteral("The settings and limits of \"%1\" could not be put back, so its result, which they no longer match, is cleared.")
                        .arg(elementTitle(element)));
        clear = true;
    }
    if (clear && clearResult(row)) {
        refreshSequence();
        return;
    }
    // The settings and limits go back to those the result was measured and judged
    // with; the result itself is not touched.
    for (const QString& part : {QStringLiteral("PlugInData"), QStringLiteral("ExpectedResult")}) {
        if (const Ptr<IXmlElement> saved = before ? before->FindChild(part) : nullptr)
            ignoreErrors([&] { element->Load(saved, nullptr); });
    }
    onSelectionChanged();
}

bool MainWindow::save(bool askName)
{
    QString file = m_file;
    if (askName || file.isEmpty()) {
        file = askFileToWrite(this, QStringLiteral("Save test sequence"), {QStringLiteral("Test sequences (*.xml)")}, {QStringLiteral("xml")},
            [](const QString& name, int) { return name; });
        if (file.isEmpty())
            return false;
    }
    return saveFile(file);
}

} // namespace kelto::host
