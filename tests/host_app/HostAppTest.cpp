#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHashFunctions>
#include <QLineEdit>
#include <QListWidget>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "configurations/CConfigDefibPulse.h"
#include "configurations/CConfigEnergySetting.h"
#include "configurations/CConfigWaveform.h"
#include "host/HostLog.h"
#include "host/Judgement.h"
#include "host/RegistryKey.h"
#include "host/Standards.h"
#include "host/XLimitView.h"
#include "host/XmlDocument.h"
#include "host/app/HostCommands.h"
#include "host/app/MainWindow.h"
#include "host/app/PlugInHost.h"
#include "host/app/Sequence.h"
#include "platform/MessageBox.h"
#include "platform/interfaces/Standards.h"
#include "platform/interfaces/TestData.h"
#include "tests/support/HostProcess.h"
#include "tests/support/HostileXml.h"
#include "tests/support/NullTestElement.h"
#include "tests/support/TestFiles.h"

using namespace kelto;

namespace {

class HostAppTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QFile::remove(host::RegistryStore::filePath());
        host::RegistryKey key;
        key.CreateKey(hkey::LocalMachine, QStringLiteral("Software\\Quilo\\kelto\\TarvoX"));
        key.SetValue(QStringLiteral("Configuration"), QStringLiteral(KELTO_SHIPPED_TEMPLATE));
        previousBoxes = setMessageBoxHandler([this](const MessageBoxRequest& r) {
            boxes.append(r.prompt);
            return mb::OK;
        });
        ASSERT_TRUE(plugInHost.load()) << plugInHost.error().description().toStdString();
    }
    void TearDown() override { setMessageBoxHandler(previousBoxes); }

    host::PlugInHost plugInHost;
    QStringList boxes;
    MessageBoxHandler previousBoxes;
    QTemporaryDir dir;
};

QAction* menuAction(const QWidget& window, const QString& text)
{
    for (QAction* action : window.findChildren<QAction*>()) {
        if (action->text() == text)
            return action;
    }
    ADD_FAILURE() << "no action " << text.toStdString();
    return nullptr;
}

// What the operator does in a file dialog: picks a filter (its index) and types a
// name, then presses Return; without a name, presses Escape.
struct FileAnswer {
    QString typed;
    int filter = 0;
};

// Answers the file dialogs shown next, one answer each, as the operator does; counts
// the dialogs shown.
void answerFileDialogs(QList<FileAnswer> answers, int* shown = nullptr)
{
    QTimer::singleShot(0, [answers, shown]() mutable {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QFileDialog*>(widget);
            if (!dialog || !dialog->isVisible() || answers.isEmpty())
                continue;
            if (shown)
                ++*shown;
            const FileAnswer answer = answers.takeFirst();
            if (auto* filters = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
                for (int i = 0; i < answer.filter; ++i)
                    QTest::keyClick(filters, Qt::Key_Down);
            }
            if (answer.typed.isEmpty()) {
                QTest::keyClick(dialog, Qt::Key_Escape);
            } else {
                dialog->selectFile(answer.typed);
                QTest::keyClick(dialog, Qt::Key_Return);
            }
            // The next dialog shows once this one has closed.
            if (!answers.isEmpty())
                answerFileDialogs(answers, shown);
            return;
        }
    });
}

void answerFileDialog(const QString& typed, int* shown = nullptr)
{
    answerFileDialogs({{typed}}, shown);
}

// A charge-time test with the result of a run.
const QByteArray kSequenceWithResult = R"(<TestSequence PlugIn="TarvoX"><Item TestID="300">
  <TestElement PlugIn="TarvoX" Filter="0" ID="300" TestID="300"><ResultItem MTI="1"><Status Value="1"/>
    <Measurement Key="CHTI"><Description>Charge Time</Description><Value Type="1" Variant="Double">5.3</Value><Unit>s</Unit>
    <Status Value="1"/></Measurement></ResultItem></TestElement></Item></TestSequence>)";

} // namespace

TEST_F(HostAppTest, ChangesNotSavedAreAskedAboutBeforeNewOpenRemoveOrClosingWouldDropThem)
{
    QList<int> answers;
    setMessageBoxHandler([&](const MessageBoxRequest& r) {
        boxes.append(r.prompt);
        return answers.isEmpty() ? mb::Cancel : answers.takeFirst();
    });
    host::MainWindow window(plugInHost);
    window.show();
    EXPECT_TRUE(window.windowTitle().startsWith(QStringLiteral("Untitled[*] - Kelto"))) << window.windowTitle().toStdString();
    EXPECT_FALSE(window.isWindowModified());
    window.addTest(300);
    EXPECT_TRUE(window.isWindowModified());
    const QStringList iec = window.standardChoice()->itemData(0).toStringList();
    window.addStandard(iec[0], iec[1]);

    // Save As takes a name typed without extension as an XML file.
    answerFileDialog(dir.filePath(QStringLiteral("bench")));
    menuAction(window, QStringLiteral("Save &As..."))->trigger();
    const QString file = dir.filePath(QStringLiteral("bench.xml"));
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("bench"))));
    EXPECT_TRUE(window.windowTitle().startsWith(QStringLiteral("bench.xml[*] - Kelto"))) << window.windowTitle().toStdString();
    EXPECT_FALSE(window.isWindowModified());

    // That name again is the file that exists: it is replaced only after asking, and
    // No brings the dialog back.
    const QByteArray firstSave = fileContent(file);
    window.sequence().elements()[0]->Info()->SetName(QStringLiteral("bench run"));
    for (const int answer : {mb::No, mb::Yes}) {
        boxes.clear();
        answers = {answer};
        int dialogs = 0;
        QList<FileAnswer> typed{{dir.filePath(QStringLiteral("bench"))}};
        if (answer == mb::No)
            typed.append(FileAnswer{}); // gives up
        answerFileDialogs(typed, &dialogs);
        menuAction(window, QStringLiteral("Save &As..."))->trigger();
        ASSERT_EQ(boxes.size(), 1) << answer;
        EXPECT_EQ(boxes[0], QStringLiteral("%1 already exists.\nReplace it?").arg(file));
        EXPECT_EQ(dialogs, answer == mb::No ? 2 : 1);
        EXPECT_EQ(fileContent(file) == firstSave, answer == mb::No);
    }
    EXPECT_TRUE(fileContent(file).contains("bench run"));

    // An edit of a limit in the docked limits is a change.
    auto* tabs = window.findChild<QTabWidget*>();
    ASSERT_TRUE(tabs);
    tabs->setCurrentIndex(1);
    auto* limits = window.limitsDock()->findChild<QTableWidget*>(QStringLiteral("limits"));
    ASSERT_TRUE(limits && limits->rowCount() > 0);
    limits->editItem(limits->item(0, host::XLimitView::HighColumn));
    auto* limitEditor = limits->findChild<QLineEdit*>();
    ASSERT_TRUE(limitEditor);
    limitEditor->selectAll();
    QTest::keyClicks(limitEditor, QStringLiteral("12"));
    QTest::keyClick(limitEditor, Qt::Key_Return);
    QApplication::processEvents(); // the view takes the edit from its event loop
    EXPECT_EQ(limits->item(0, host::XLimitView::HighColumn)->text(), QStringLiteral("12"));
    EXPECT_TRUE(window.isWindowModified());
    answers = {mb::Cancel};
    EXPECT_FALSE(window.close()) << "closing asks";
    ASSERT_TRUE(window.saveFile(file));
    tabs->setCurrentIndex(0);
    boxes.clear();

    // An edit in the docked settings is a change too.
    auto* energy = window.settingsDock()->findChild<QLineEdit*>(QStringLiteral("txtEnergy"));
    ASSERT_TRUE(energy);
    QTest::keyClicks(energy, QStringLiteral("5"));
    EXPECT_TRUE(window.isWindowModified());
    window.addTest(100);

    // Cancel keeps everything as it was, and no file dialog is shown.
    int fileDialogs = 0;
    for (const char* text : {"&New", "&Open..."}) {
        SCOPED_TRACE(text);
        answers = {mb::Cancel};
        answerFileDialog(QString(), &fileDialogs);
        menuAction(window, QLatin1String(text))->trigger();
        EXPECT_EQ(window.sequence().elements().size(), 2);
    }
    EXPECT_EQ(fileDialogs, 0);
    answers = {mb::Cancel};
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());
    ASSERT_EQ(boxes.size(), 3);
    EXPECT_TRUE(boxes[0].startsWith(QStringLiteral("bench.xml has changes that are not saved.\n"))) << boxes[0].toStdString();
    EXPECT_TRUE(window.isWindowModified());

    // Yes saves first, then goes on.
    answers = {mb::Yes};
    menuAction(window, QStringLiteral("&New"))->trigger();
    EXPECT_TRUE(window.sequence().elements().isEmpty());
    EXPECT_FALSE(window.isWindowModified());
    host::Sequence saved;
    QString error;
    ASSERT_TRUE(saved.load(file, *plugInHost.plugIn(), &error)) << error.toStdString();
    EXPECT_EQ(saved.elements().size(), 2);

    // Removing an element asks only when a result would go with it, also from a
    // sequence with nothing to save.
    const QString withResult = dir.filePath(QStringLiteral("with-result.xml"));
    ASSERT_TRUE(writeFile(withResult, kSequenceWithResult));
    ASSERT_TRUE(window.openFile(withResult));
    ASSERT_TRUE(window.sequence().elements()[0]->Result());
    auto* remove = window.findChild<QPushButton*>(QStringLiteral("removeButton"));
    ASSERT_TRUE(remove);
    boxes.clear();
    window.selectElement(0);
    answers = {mb::Cancel};
    QTest::mouseClick(remove, Qt::LeftButton);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].startsWith(QStringLiteral("Remove \"Charge Time\" with its result?"))) << boxes[0].toStdString();
    EXPECT_EQ(window.sequence().elements().size(), 1);
    EXPECT_FALSE(window.isWindowModified());
    window.addTest(100);
    boxes.clear();
    window.selectElement(1);
    QTest::mouseClick(remove, Qt::LeftButton);
    EXPECT_TRUE(boxes.isEmpty());
    window.selectElement(0);
    answers = {mb::Cancel};
    QTest::mouseClick(remove, Qt::LeftButton);
    EXPECT_EQ(window.sequence().elements().size(), 1);
    answers = {mb::No};
    QTest::mouseClick(remove, Qt::LeftButton);
    EXPECT_TRUE(window.sequence().elements().isEmpty());
    EXPECT_EQ(boxes.size(), 2);

    // No discards: the window closes and the file keeps what was saved.
    answers = {mb::No};
    EXPECT_TRUE(window.close());
    ASSERT_EQ(boxes.size(), 3);
    EXPECT_TRUE(boxes[2].startsWith(QStringLiteral("with-result.xml has changes that are not saved, results included."))) << boxes[2].toStdString();
    ASSERT_TRUE(saved.load(withResult, *plugInHost.plugIn(), &error));
    EXPECT_EQ(saved.elements().size(), 1);
}

TEST_F(HostAppTest, ASequenceSavesAndLoadsBackWithItsSettingsAndLimits)
{
    host::Sequence sequence;
    auto vfib = sequence.add(*plugInHost.plugIn(), 100);
    auto charge = sequence.add(*plugInHost.plugIn(), 300);
    ASSERT_TRUE(vfib && charge);
    vfib->Info()->SetName(QStringLiteral("VFIB at 200 J"));
    query<CConfigEnergySetting>(vfib->Configuration())->SetPresetEnergy(200);
    query<CConfigEnergySetting>(charge->Configuration())->SetPresetEnergy(360);
    auto standard = vfib->Limits()->CreateStandard(QStringLiteral("IEC 60601-2-4"),
        plugInHost.plugIn()->Tests()->Item(100)->Limits()->Standards()->Item(0)->CompleteName());
    ASSERT_TRUE(standard);
    const Ptr<ILimit> energy = standard->FindLimit(QStringLiteral("ENGY"));
    ASSERT_TRUE(energy) << "the template's limit came along in the standard the element took";
    energy->SetValue(elvHigh, 12.5f);
    energy->SetValue(elvLow, 7.25f);

    const QString file = dir.filePath(QStringLiteral("sequence.xml"));
    QString error;
    ASSERT_TRUE(sequence.save(file, &error)) << error.toStdString();

    host::Sequence again;
    ASSERT_TRUE(again.load(file, *plugInHost.plugIn(), &error)) << error.toStdString();
    // Saved in two sessions, whose hashes Qt seeds each its own way, the unchanged
    // sequence gives the same bytes.
    const QString first = dir.filePath(QStringLiteral("first.xml"));
    const QString second = dir.filePath(QStringLiteral("second.xml"));
    QHashSeed::setDeterministicGlobalSeed();
    const bool savedFirst = again.save(first, &error);
    QHashSeed::resetRandomGlobalSeed();
    ASSERT_TRUE(savedFirst && again.save(second, &error)) << error.toStdString();
    EXPECT_EQ(fileContent(second).toStdString(), fileContent(first).toStdString());
    ASSERT_EQ(again.elements().size(), 2);
    EXPECT_EQ(again.elements()[0]->TestID(), 100);
    EXPECT_EQ(again.elements()[1]->TestID(), 300);
    EXPECT_EQ(again.elements()[0]->Info()->Name(), QStringLiteral("VFIB at 200 J"));
    EXPECT_EQ(query<CConfigEnergySetting>(again.elements()[0]->Configuration())->PresetEnergy(), 200.0f);
    EXPECT_EQ(query<CConfigEnergySetting>(again.elements()[1]->Configuration())->PresetEnergy(), 360.0f);
    ASSERT_TRUE(again.elements()[0]->Limits()->Standards());
    ASSERT_EQ(again.elements()[0]->Limits()->Standards()->Count(), 1);
    const Ptr<IStandard> reopened = again.elements()[0]->Limits()->Standards()->Item(0);
    EXPECT_EQ(reopened->AlphaName(), QStringLiteral("IEC 60601-2-4"));
    EXPECT_EQ(reopened->CompleteName(), standard->CompleteName());
    const Ptr<ILimit> limit = reopened->FindLimit(QStringLiteral("ENGY"));
    ASSERT_TRUE(limit);
    EXPECT_EQ(limit->Value(elvHigh), 12.5f);
    EXPECT_EQ(limit->Value(elvLow), 7.25f);
    EXPECT_EQ(limit->Formula(elvHigh), energy->Formula(elvHigh));
    EXPECT_EQ(limit->Formula(elvLow), energy->Formula(elvLow));
    EXPECT_FALSE(again.elements()[1]->Limits()->Standards() && again.elements()[1]->Limits()->Standards()->Count() > 0);
}

TEST_F(HostAppTest, AFailedLoadKeepsTheSequenceAndAFailedSaveKeepsTheFile)
{
    host::Sequence sequence;
    sequence.add(*plugInHost.plugIn(), 300);
    const QString file = dir.filePath(QStringLiteral("sequence.xml"));
    QString error;
    ASSERT_TRUE(sequence.save(file, &error));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();

    QFile broken(dir.filePath(QStringLiteral("broken.xml")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("<TestSequence><Item TestID=\"300\">");
    broken.close();
    EXPECT_FALSE(sequence.load(broken.fileName(), *plugInHost.plugIn(), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(sequence.elements().size(), 1);

    // A folder that cannot take the file: the save fails and says so.
    EXPECT_FALSE(sequence.save(dir.filePath(QStringLiteral("missing/sequence.xml")), &error));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    f.close();

    // A test that gives no saved form, or leaves a part out and reports why, would
    // come back changed: the save fails, names it and writes nothing.
    struct Formless : NullTestElement {
        QString reported;
        Ptr<IXmlElement> Save(const Ptr<IXmlDocument>& doc, std::int32_t) override
        {
            if (reported.isEmpty())
                return nullptr;
            host::HostLog::instance().add({host::LogEntry::ReportedError, 5, QStringLiteral("Test"), reported});
            return doc->CreateElement(QStringLiteral("TestElement"));
        }
    };
    for (const QString& reported : {QString(), QStringLiteral("The result could not be saved.")}) {
        SCOPED_TRACE(reported.toStdString());
        host::Sequence broken;
        broken.add(*plugInHost.plugIn(), 300);
        auto formless = std::make_shared<Formless>();
        formless->reported = reported;
        broken.elements().append(formless);
        error.clear();
        EXPECT_FALSE(broken.save(file, &error));
        EXPECT_TRUE(error.startsWith(QStringLiteral("Test 2 of the sequence (Test 0) cannot be saved whole"))) << error.toStdString();
        EXPECT_TRUE(error.contains(reported.isEmpty() ? QStringLiteral("no saved form") : reported)) << error.toStdString();
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), before);
        f.close();
    }
}

TEST_F(HostAppTest, ASaveKeepsAFileItMayNotReplaceAndSaveAsAsksWhereAnotherWindowWroteTheFile)
{
    QList<int> answers;
    setMessageBoxHandler([&](const MessageBoxRequest& r) {
        boxes.append(r.prompt);
        return answers.isEmpty() ? mb::Cancel : answers.takeFirst();
    });
    const QString archived = dir.filePath(QStringLiteral("archived.xml"));
    ASSERT_TRUE(writeFile(archived, kSequenceWithResult));
    host::MainWindow window(plugInHost);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window)); // Ctrl+S reaches an active window only
    ASSERT_TRUE(window.openFile(archived));
    window.addTest(100);
    // Archived read-only: its mode keeps it from every save, root's included.
    ASSERT_TRUE(QFile::setPermissions(archived, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    const QString other = dir.filePath(QStringLiteral("copy.xml"));
    for (const int answer : {mb::No, mb::Yes}) {
        SCOPED_TRACE(answer);
        boxes.clear();
        answers = {answer};
        int dialogs = 0;
        answerFileDialogs({{other}}, &dialogs);
        QTest::keySequence(&window, QKeySequence::Save);
        ASSERT_EQ(boxes.size(), 1);
        EXPECT_EQ(boxes[0], QStringLiteral("%1 cannot be replaced: the file is read-only (mode 0444). Nothing is written, and the file stays as it "
                                           "is.\nSave the sequence under another name?")
                                .arg(archived));
        EXPECT_EQ(dialogs, answer == mb::Yes ? 1 : 0);
        EXPECT_EQ(fileContent(archived), kSequenceWithResult);
        EXPECT_FALSE(QFile::permissions(archived) & (QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther));
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), answer == mb::Yes ? QStringList({QStringLiteral("archived.xml"), QStringLiteral("copy.xml")})
                                                                             : QStringList{QStringLiteral("archived.xml")})
            << "no temporary file is left";
        EXPECT_EQ(window.isWindowModified(), answer == mb::No);
    }
    EXPECT_TRUE(fileContent(other).contains("TestID=\"100\""));

    // Save As onto the file another window wrote since this one saved it says so, as
    // Save does (here refused first), after the question every existing file gets.
    host::MainWindow another(plugInHost);
    ASSERT_TRUE(another.openFile(other));
    another.addTest(1600);
    ASSERT_TRUE(another.saveFile(other));
    const QByteArray theirs = fileContent(other);
    window.addTest(300);
    boxes.clear();
    answers = {mb::Cancel};
    menuAction(window, QStringLiteral("&Save"))->trigger();
    ASSERT_EQ(boxes.size(), 1);
    for (const int answer : {mb::Cancel, mb::OK}) {
        SCOPED_TRACE(answer);
        boxes.clear();
        answers = {mb::Yes, answer};
        answerFileDialogs({{other}});
        menuAction(window, QStringLiteral("Save &As..."))->trigger();
        ASSERT_EQ(boxes.size(), 2) << boxes.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(boxes[0], QStringLiteral("%1 already exists.\nReplace it?").arg(other));
        EXPECT_TRUE(boxes[1].startsWith(QStringLiteral("copy.xml has changed since this window opened or saved it: it was written at ")))
            << boxes[1].toStdString();
        EXPECT_TRUE(boxes[1].contains(QStringLiteral("and now holds 3 tests, 1 of them with a result.\nReplace it with this window's sequence (3 tests")))
            << boxes[1].toStdString();
        EXPECT_EQ(fileContent(other) == theirs, answer == mb::Cancel);
    }
}

TEST_F(HostAppTest, AtTheFirstSizeEveryPaneShowsWholeWhateverIsSelectedAndASmallerWindowScrollsTheSettings)
{
    host::MainWindow window(plugInHost);
    window.show();
    // Results with the longest statuses, under the longest title of a test type: one
    // that nothing records the judging standards of, one no limit judged, and one no
    // standard judged that lacks its readings; then every test type, each with the
    // standards the template gives it.
    const QString withResult = dir.filePath(QStringLiteral("with-result.xml"));
    QByteArray results = kSequenceWithResult;
    QByteArray places;
    for (int place = 1; place <= 15; ++place)
        places += "<Measurement Key=\"CHTI" + QByteArray::number(place) + "\"><Unit>s</Unit><Status Value=\"1\"/></Measurement>";
    results.replace("</TestSequence>", R"(<Item TestID="300"><TestElement PlugIn="TarvoX" Filter="0" ID="300" TestID="300"><ExpectedResult>
      <Standard Alpha="IEC 60601-2-4" Complete="IEC" Flags="1"><Limit Key="CHTI" Unit="s"><High Value="15"/></Limit></Standard></ExpectedResult>
      <ResultItem><Status Value="1"/><Measurement Key="CHTI"><Value Type="1" Variant="Double">5.3</Value><Unit>s</Unit><Status Value="1"/>
      </Measurement></ResultItem></TestElement></Item>
      <Item TestID="1500"><TestElement PlugIn="TarvoX" Filter="0" ID="1500" TestID="1500"><ResultItem><Status Value="1"/>)" + places
            + R"(</ResultItem></TestElement><JudgedAgainst Values="True"/></Item></TestSequence>)");
    ASSERT_TRUE(writeFile(withResult, results));
    ASSERT_TRUE(window.openFile(withResult));
    ASSERT_EQ(window.sequence().elements().size(), 3);
    QString longest;
    for (int row = 0; row < window.testList()->topLevelItemCount(); ++row) {
        const QString title = window.testList()->topLevelItem(row)->text(0);
        longest = title.size() > longest.size() ? title : longest;
    }
    for (const Ptr<ITestElement>& element : window.sequence().elements())
        element->Info()->SetName(longest);
    for (int row = 0; row < window.testList()->topLevelItemCount(); ++row)
        window.addTest(window.testList()->topLevelItem(row)->data(0, Qt::UserRole).toInt());
    ASSERT_EQ(window.sequence().elements().size(), 19);
    for (int row = 3; row < window.sequence().elements().size(); ++row) {
        window.selectElement(row);
        for (const Ptr<ITestElement>& prototype : plugInHost.tests()) {
            const auto standards = prototype->TestID() == window.sequence().elements()[row]->TestID() ? prototype->Limits()->Standards() : nullptr;
            for (int i = 0; standards && i < standards->Count(); ++i)
                window.addStandard(standards->Item(i)->AlphaName(), standards->Item(i)->CompleteName());
        }
    }
    QApplication::processEvents();

    // Nothing is cut: every test type, and each entry with its status and why, a line
    // too long for the list going on on the next.
    QListWidget* list = window.sequenceList();
    EXPECT_EQ(list->item(0)->text().toStdString(), (longest + QStringLiteral("  [not judged (no limits for its readings)]")).toStdString());
    EXPECT_EQ(list->item(1)->text().toStdString(), (longest + QStringLiteral("  [passed (judged against unrecorded standards)]")).toStdString());
    EXPECT_EQ(list->item(2)->text().toStdString(),
        (longest + QStringLiteral("  [not judged (no standard judged it; no reading at 15 places)]")).toStdString());
    // What no limit judged looks unlike a pass.
    EXPECT_NE(list->item(0)->background(), list->item(1)->background());
    EXPECT_TRUE(list->item(0)->font().italic() && list->item(2)->font().italic());
    EXPECT_FALSE(list->item(1)->font().italic());
    for (int row = 0; row < list->count(); ++row) {
        const QRect shown = list->visualItemRect(list->item(row));
        // The room beside the icon, less the margins the style keeps around the text.
        const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
        const QRect room(0, 0, shown.width() - list->iconSize().width() - 4 * margin, 100000);
        const QRect needed = QFontMetrics(list->item(row)->font()).boundingRect(room, Qt::TextWordWrap, list->item(row)->text());
        EXPECT_LE(needed.height(), shown.height()) << list->item(row)->text().toStdString();
        EXPECT_LE(shown.right(), list->viewport()->width()) << row;
    }
    EXPECT_LE(static_cast<QAbstractItemView*>(window.testList())->sizeHintForColumn(0), window.testList()->columnWidth(0));

    // Whatever element and tab is shown, the window keeps its size and the panes
    // stay where they are; each type's settings show whole.
    const int firstWidth = window.width();
    auto* splitter = window.findChild<QSplitter*>();
    auto* tabs = window.findChild<QTabWidget*>();
    auto* area = qobject_cast<QScrollArea*>(window.settingsDock()->parentWidget()->parentWidget());
    ASSERT_TRUE(splitter && tabs && area);
    const QList<int> panes = splitter->sizes();
    auto layoutStays = [&](const std::string& when) {
        EXPECT_LE(window.minimumSizeHint().width(), firstWidth) << when;
        EXPECT_EQ(window.width(), firstWidth) << when;
        EXPECT_EQ(splitter->sizes(), panes) << when;
    };
    auto panelShowsWhole = [&] {
        const QWidget* panel = window.settingsDock()->findChild<QWidget*>(QStringLiteral("isc"));
        ASSERT_TRUE(panel);
        EXPECT_TRUE(panel->rect().contains(panel->childrenRect())) << qPrintable(panel->objectName());
        EXPECT_GE(panel->width(), panel->minimumSizeHint().width()) << qPrintable(panel->objectName());
        EXPECT_GE(panel->height(), panel->minimumSizeHint().height()) << qPrintable(panel->objectName());
    };
    for (int row = 0; row < window.sequence().elements().size(); ++row) {
        window.selectElement(row);
        for (const int tab : {1, 0}) {
            tabs->setCurrentIndex(tab);
            QApplication::processEvents();
            layoutStays("row " + std::to_string(row) + " tab " + std::to_string(tab));
        }
        panelShowsWhole();
        EXPECT_EQ(area->horizontalScrollBar()->maximum(), 0) << row;
        EXPECT_EQ(area->verticalScrollBar()->maximum(), 0) << row;
    }

    // A long standard name is elided in the limits, whole in its tooltip.
    window.selectElement(3);
    auto* standard = window.limitsDock()->findChild<QComboBox*>(QStringLiteral("standards"));
    ASSERT_TRUE(standard);
    EXPECT_TRUE(standard->currentText().startsWith(QStringLiteral("IEC 60601-2-4 ("))) << standard->currentText().toStdString();
    EXPECT_LT(standard->width(), standard->fontMetrics().horizontalAdvance(standard->currentText()));
    EXPECT_EQ(standard->toolTip(), standard->currentText());
    EXPECT_EQ(standard->itemData(0, Qt::ToolTipRole).toString(), standard->currentText());

    setMessageBoxHandler([](const MessageBoxRequest&) { return mb::No; });
    menuAction(window, QStringLiteral("&New"))->trigger();
    QApplication::processEvents();
    layoutStays("after New");

    // In a smaller window the settings keep their share of the width and scroll,
    // still laid out whole.
    window.resize(800, 400);
    QApplication::processEvents();
    window.addTest(1000);
    QApplication::processEvents();
    panelShowsWhole();
    EXPECT_GT(area->horizontalScrollBar()->maximum(), 0);
    const QList<int> small = splitter->sizes();
    const auto share = [](const QList<int>& sizes) { return double(sizes[2]) / (sizes[0] + sizes[1] + sizes[2]); };
    EXPECT_GE(share(small), 0.95 * share(panes)) << small[0] << " " << small[1] << " " << small[2];
}

TEST_F(HostAppTest, AnItemWithoutItsSavedFormOpensAsANewTestAndIsSavedInFull)
{
    // A file written by hand may give a test id alone: the test opens with the
    // settings of a new one, and a save writes its whole saved form.
    host::MainWindow window(plugInHost);
    window.show();
    const QString file = dir.filePath(QStringLiteral("one-wave.xml"));
    ASSERT_TRUE(writeFile(file, R"(<TestSequence PlugIn="TarvoX"><Item TestID="900"/><Item TestID="1100"/></TestSequence>)"));
    ASSERT_TRUE(window.openFile(file));
    ASSERT_EQ(window.sequence().elements().size(), 2);
    EXPECT_EQ(window.sequence().elements()[0]->TestID(), 900);
    EXPECT_EQ(window.sequence().elements()[1]->TestID(), 1100);
    EXPECT_FALSE(window.sequence().elements()[0]->Result());
    const auto newWave = plugInHost.plugIn()->CreateTest(900);
    EXPECT_EQ(query<CConfigWaveform>(window.sequence().elements()[0]->Configuration())->Duration(),
        query<CConfigWaveform>(newWave->Configuration())->Duration());
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join(QLatin1Char('\n')).toStdString();

    const QString full = dir.filePath(QStringLiteral("one-wave-saved.xml"));
    ASSERT_TRUE(window.saveFile(full));
    auto doc = std::make_shared<host::XmlDocument>();
    ASSERT_TRUE(doc->Load(full));
    const auto items = doc->DocumentElement()->Children();
    ASSERT_EQ(items->Count(), 2);
    for (int i = 0; i < 2; ++i) {
        const auto saved = items->Item(i)->FindChild(QStringLiteral("TestElement"));
        ASSERT_TRUE(saved) << i;
        EXPECT_TRUE(saved->FindChild(QStringLiteral("PlugInData"))) << i;
    }
    host::Sequence again;
    QString error;
    ASSERT_TRUE(again.load(full, *plugInHost.plugIn(), &error)) << error.toStdString();
    ASSERT_EQ(again.elements().size(), 2);
    EXPECT_EQ(again.elements()[1]->TestID(), 1100);
}

TEST_F(HostAppTest, ASequenceThatCannotBeReadNamesTheFileTheItemAndTheFault)
{
    const struct {
        const char* what;
        QByteArray content;
        QString said;
    } cases[] = {
        {"not well-formed", "<TestSequence>\n  <Item TestID=\"300\">\n</TestSequence>", QStringLiteral(" is not well-formed XML (line 3, column ")},
        {"too deep", deeplyNested(1000, "<TestSequence>", "</TestSequence>"), QStringLiteral(" nests elements more than 64 levels deep (line 1, column ")},
        {"too many items", "<TestSequence>\n" + QByteArray("<Item TestID=\"300\"/>\n").repeated(host::Sequence::kMaxItems + 1) + "</TestSequence>",
            QStringLiteral("%1 holds more than 1000 test items (line 1002, column 1). Check that it is the right file.")},
        {"too many limits",
            "<TestSequence>\n<Item TestID=\"300\"><TestElement ID=\"1\"><ExpectedResult><Standard Alpha=\"EN\" Complete=\"EN 1\" Flags=\"1\">\n"
                + QByteArray("<Limit Key=\"CHTI\" Unit=\"s\"/>\n").repeated(10001) + "</Standard></ExpectedResult></TestElement></Item></TestSequence>",
            QStringLiteral("%1 holds more than 10000 limits (line 10003, column 1). Check that it is the right file.")},
        {"unknown test", "<TestSequence><Item TestID=\"300\"/><Item TestID=\"999\"/></TestSequence>",
            QStringLiteral("Item 2 of %1 is test 999, which the plug-in does not have.")},
        {"test id out of range", "<TestSequence><Item TestID=\"1e99\"/></TestSequence>",
            QStringLiteral("Item 1 (TestID \"1e99\") of %1 cannot be read: The TestID is out of range: \"1e99\"")},
        {"test id of letters", "<TestSequence><Item TestID=\"abc\"/></TestSequence>",
            QStringLiteral("Item 1 (TestID \"abc\") of %1 cannot be read: The TestID is not a whole number.")},
        {"empty test id", "<TestSequence><Item TestID=\"300\"/><Item TestID=\"\"/></TestSequence>",
            QStringLiteral("Item 2 (TestID \"\") of %1 cannot be read: The TestID is not a whole number.")},
        {"test id NaN", "<TestSequence><Item TestID=\"NaN\"/></TestSequence>", QStringLiteral("(TestID \"NaN\") of %1 cannot be read: The TestID is not a whole number.")},
        {"test id in C hexadecimal", "<TestSequence><Item TestID=\"0x12C\"/></TestSequence>",
            QStringLiteral("(TestID \"0x12C\") of %1 cannot be read: The TestID is not a whole number.")},
        {"test id with a fraction", "<TestSequence><Item TestID=\"299.5\"/></TestSequence>",
            QStringLiteral("(TestID \"299.5\") of %1 cannot be read: The TestID is not a whole number.")},
        {"test id with a sign", "<TestSequence><Item TestID=\"+300\"/></TestSequence>",
            QStringLiteral("(TestID \"+300\") of %1 cannot be read: The TestID is not a whole number.")},
        {"analyser record without id", "<TestSequence><Item TestID=\"300\"/>\n<AnalyserRecords><Record ID=\"x\" Model=\"Tarvo\"/></AnalyserRecords></TestSequence>",
            QStringLiteral("%1 holds an analyser record that cannot be read (line 2): Its ID cannot be read: \"x\"")},
        {"two analyser records of one id",
            "<TestSequence><AnalyserRecords>\n<Record ID=\"1\" SerialNumber=\"S-111\"/>\n<Record ID=\"1\" SerialNumber=\"S-222\"/>"
            "</AnalyserRecords></TestSequence>",
            QStringLiteral("%1 holds an analyser record that cannot be read (line 3): Another analyser record of the file has the ID 1.")},
    };
    host::Sequence sequence;
    sequence.add(*plugInHost.plugIn(), 100);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString file = dir.filePath(QStringLiteral("sequence.xml"));
        ASSERT_TRUE(writeFile(file, c.content));
        QString error;
        EXPECT_FALSE(sequence.load(file, *plugInHost.plugIn(), &error));
        EXPECT_TRUE(error.contains(file)) << error.toStdString();
        EXPECT_TRUE(error.contains(c.said.contains(QStringLiteral("%1")) ? c.said.arg(file) : c.said)) << error.toStdString();
        ASSERT_EQ(sequence.elements().size(), 1);
        EXPECT_EQ(sequence.elements()[0]->TestID(), 100);
    }

    const QString full = dir.filePath(QStringLiteral("full.xml"));
    ASSERT_TRUE(writeFile(full, "<TestSequence>" + QByteArray("<Item TestID=\"300\"/>").repeated(host::Sequence::kMaxItems) + "</TestSequence>"));
    QString error;
    EXPECT_TRUE(sequence.load(full, *plugInHost.plugIn(), &error)) << error.toStdString();
    EXPECT_EQ(sequence.elements().size(), host::Sequence::kMaxItems);
    // One more could be saved but never opened again: the save is refused.
    ASSERT_TRUE(sequence.save(full, &error)) << error.toStdString();
    const QByteArray saved = fileContent(full);
    sequence.add(*plugInHost.plugIn(), 300);
    EXPECT_FALSE(sequence.save(full, &error));
    EXPECT_EQ(error, QStringLiteral("Cannot write %1: a sequence of more than 1000 test items could not be opened again. Split it into smaller ones.").arg(full));
    EXPECT_EQ(fileContent(full), saved);
}

TEST_F(HostAppTest, AnItemReadOnlyInPartIsNamedTheRestOpensAndASaveKeepsWhatTheFileHeld)
{
    const struct {
        const char* what;
        QByteArray item;
        QString said;
        bool resultLost;
    } cases[] = {
        {"filter out of range", R"(<Item TestID="300"><TestElement ID="1" Filter="-1e308"><Info Name="kept"/></TestElement></Item>)",
            QStringLiteral("the saved test cannot be read whole (The Filter of the test element is out of range: \"-1e308\""), false},
        {"result out of range", R"(<Item TestID="300"><ResultItem MTI="1e99"><Status Value="1"/></ResultItem></Item>)",
            QStringLiteral("its result cannot be read (The MTI of the result item is out of range: \"1e99\""), true},
        {"result of another test",
            R"(<Item TestID="300"><TestElement ID="4"><Info Name="bench"/><ResultItem><Status Value="2"/><Measurement Key="PACR"/></ResultItem></TestElement></Item>)",
            QStringLiteral("its result cannot be read (The result has no measurement \"PACR\""), true},
        {"limit value no number",
            R"(<Item TestID="300"><TestElement ID="1"><ExpectedResult><Standard Alpha="EN" Complete="EN 1" Flags="1">)"
            R"(<Limit Key="CHTI" Unit="s"><High Value="15 s"/></Limit></Standard></ExpectedResult></TestElement></Item>)",
            QStringLiteral("the saved test cannot be read whole (The High value \"15 s\" of the limit CHTI of the standard \"EN\" (%1, line 3) is not a number"), false},
        {"setting no number", R"(<Item TestID="300"><TestElement ID="1"><PlugInData PlugIn="TarvoX"><PresetEnergy>1,5</PresetEnergy></PlugInData></TestElement></Item>)",
            QStringLiteral("the saved test cannot be read whole (The PresetEnergy of the settings cannot be read: \"1,5\""), false},
        {"reading no number",
            R"(<Item TestID="300"><ResultItem><Status Value="1"/><Measurement Key="CHTI"><Value Type="1" Variant="Double">NaN</Value></Measurement></ResultItem></Item>)",
            QStringLiteral("its result cannot be read (A stored Double value cannot be read: \"NaN\""), true},
        {"status no number", R"(<Item TestID="300"><ResultItem><Status Value="abc"/></ResultItem></Item>)",
            QStringLiteral("its result cannot be read (The Value of a stored status cannot be read: \"abc\""), true},
        {"analyser no number", R"(<Item TestID="300"><ResultItem MTI="x"><Status Value="1"/></ResultItem></Item>)",
            QStringLiteral("its result cannot be read (The MTI of the result item cannot be read: \"x\""), true},
        {"settings of another plug-in", R"(<Item TestID="300"><TestElement ID="1"><PlugInData PlugIn="Other"/></TestElement></Item>)",
            QStringLiteral("the saved test cannot be read whole (its PlugInData belongs to the plug-in \"Other\", not to TarvoX."), false},
        {"settings naming no plug-in", R"(<Item TestID="300"><TestElement ID="1"><PlugInData/></TestElement></Item>)",
            QStringLiteral("the saved test cannot be read whole (its PlugInData names no plug-in. Add PlugIn=\"TarvoX\""), false},
        {"limit formula unknown", // read as a plain value, 50 J would pass at 100 J
            R"(<Item TestID="300"><TestElement ID="1"><ExpectedResult><Standard Alpha="EN" Complete="EN 1" Flags="1">)"
            R"x(<Limit Key="ENGY" Unit="J"><Low Value="15" Formula="X-(X*Y%)"/></Limit></Standard></ExpectedResult></TestElement></Item>)x",
            QStringLiteral("the saved test cannot be read whole (The Low formula \"X-(X*Y%)\" of the limit ENGY of the standard \"EN\" (%1, line 3) is none"), false},
        {"standard given twice", // only the first would be judged and shown
            R"(<Item TestID="300"><TestElement ID="1"><ExpectedResult><Standard Alpha="IEC" Complete="IEC 1" Flags="1">)"
            R"(<Limit Key="CHTI" Unit="s"><High Value="15"/></Limit></Standard><Standard Alpha="IEC" Complete="IEC 1" Flags="1">)"
            R"(<Limit Key="CHTI" Unit="s"><High Value="10"/></Limit></Standard></ExpectedResult></TestElement></Item>)",
            QStringLiteral("the saved test cannot be read whole (The standard \"IEC\" (IEC 1) (%1, line 3) is given a second time."), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        boxes.clear();
        const QString file = dir.filePath(QStringLiteral("in-part.xml"));
        // "TRUE" is no "True": the battery flag reads False and the item is read whole.
        ASSERT_TRUE(writeFile(file, "<TestSequence PlugIn=\"TarvoX\">\n<Item TestID=\"100\"/>\n" + c.item
                                        + "\n<Item TestID=\"1600\"><TestElement ID=\"3\"><PlugInData PlugIn=\"TarvoX\"><PresetEnergy>150</PresetEnergy>"
                                          "<BatteryOperated>TRUE</BatteryOperated></PlugInData></TestElement></Item>\n</TestSequence>\n"));
        host::MainWindow window(plugInHost);
        ASSERT_TRUE(window.openFile(file));
        const auto& elements = window.sequence().elements();
        ASSERT_EQ(elements.size(), 3);
        EXPECT_EQ(elements[2]->TestID(), 1600);
        EXPECT_FLOAT_EQ(query<CConfigDefibPulse>(elements[2]->Configuration())->PresetEnergy(), 150.0f);
        EXPECT_FALSE(query<CConfigDefibPulse>(elements[2]->Configuration())->BatteryOperated());
        const QStringList problems = window.sequence().loadProblems();
        ASSERT_EQ(problems.size(), 1);
        EXPECT_TRUE(problems[0].startsWith(QStringLiteral("Item 2 (TestID \"300\", line 3) of %1: ").arg(file))) << problems[0].toStdString();
        EXPECT_TRUE(problems[0].contains(c.said.arg(file))) << problems[0].toStdString();
        ASSERT_EQ(boxes.size(), 1) << "the window names it once";
        EXPECT_TRUE(boxes[0].contains(problems[0])) << boxes[0].toStdString();
        EXPECT_FALSE(elements[1]->Result()) << "a result read in part is not shown as the run's";
        EXPECT_FALSE(window.sequence().unreadNote(elements[1]).isEmpty());
        EXPECT_TRUE(window.sequenceList()->item(1)->text().endsWith(QStringLiteral("(%1)").arg(window.sequence().unreadNote(elements[1]))));
        EXPECT_TRUE(window.sequence().unreadNote(elements[0]).isEmpty());

        // Saved unchanged, even after it was selected, the item is the file's.
        window.selectElement(1);
        const QString same = dir.filePath(QStringLiteral("same.xml"));
        ASSERT_TRUE(window.saveFile(same));
        auto doc = std::make_shared<host::XmlDocument>();
        ASSERT_TRUE(doc->Load(same));
        auto original = std::make_shared<host::XmlDocument>();
        ASSERT_TRUE(original->LoadXml(QString::fromUtf8(c.item)));
        const auto itemXml = [](const Ptr<IXmlElement>& item) {
            auto d = std::make_shared<host::XmlDocument>();
            d->SetDocumentElement(item);
            return d->Xml();
        };
        EXPECT_EQ(itemXml(doc->DocumentElement()->Children()->Item(1)), itemXml(original->DocumentElement()));

        // Changed, it is saved as it now is; a result it could not read goes along.
        elements[1]->Info()->SetName(QStringLiteral("renamed"));
        const QString changed = dir.filePath(QStringLiteral("changed.xml"));
        ASSERT_TRUE(window.saveFile(changed));
        host::Sequence again;
        QString error;
        ASSERT_TRUE(again.load(changed, *plugInHost.plugIn(), &error)) << error.toStdString();
        ASSERT_EQ(again.elements().size(), 3);
        EXPECT_EQ(again.elements()[1]->Info()->Name(), QStringLiteral("renamed"));
        ASSERT_TRUE(doc->Load(changed));
        const auto saved = doc->DocumentElement()->Children()->Item(1)->FindChild(QStringLiteral("TestElement"));
        ASSERT_TRUE(saved);
        const auto keptResult = saved->FindChild(QStringLiteral("ResultItem"));
        EXPECT_EQ(keptResult != nullptr, c.resultLost);
        EXPECT_EQ(again.loadProblems().size(), c.resultLost ? 1 : 0) << again.loadProblems().join(QLatin1Char('\n')).toStdString();
    }
}

TEST_F(HostAppTest, TheWindowListsTheTestsAndDocksTheDialogsOfTheSelectedElement)
{
    host::MainWindow window(plugInHost);
    window.show();
    ASSERT_EQ(window.testList()->topLevelItemCount(), 16);
    EXPECT_FALSE(window.testList()->topLevelItem(0)->icon(0).isNull());
    EXPECT_FALSE(window.addStandardButton()->isEnabled()) << "no element to give it to";

    window.addTest(300);
    window.addTest(100);
    ASSERT_EQ(window.sequenceList()->count(), 2);
    for (const auto& element : window.sequence().elements()) {
        const auto standards = element->Limits()->Standards();
        EXPECT_TRUE(!standards || standards->Count() == 0) << "an added test holds no standard until one is added";
    }
    window.selectElement(1);
    // The standards whose limits the template gives the test come first; the box says
    // of the others that they give it none.
    ASSERT_GE(window.standardChoice()->count(), 2);
    EXPECT_EQ(window.standardChoice()->itemText(0).toStdString(), "IEC 60601-2-4");
    EXPECT_EQ(window.standardChoice()->itemText(1).toStdString(), "MFR EXAMPLE (no limits for this test)");
    EXPECT_EQ(window.standardChoice()->currentIndex(), 0);
    // Of another template, only a value on a reading the test takes is a limit for it:
    // an empty row, or a limit of another test's reading, is none.
    {
        host::Sequence other;
        const Ptr<ITestElement> prototype = other.add(*plugInHost.plugIn(), 100);
        ASSERT_TRUE(prototype);
        const auto standard = [&](const char* name) { return prototype->Limits()->CreateStandard(QLatin1String(name), QLatin1String(name)); };
        ASSERT_TRUE(standard("ROW")->FindLimit(QStringLiteral("ENGY")));
        const Ptr<IStandard> elsewhere = standard("OTHER");
        elsewhere->RemoveLimit(QStringLiteral("ENGY"));
        auto charge = std::make_shared<host::Limit>();
        charge->Initialize(QStringLiteral("CHTI"), QStringLiteral("s"), QString(), QString());
        charge->SetValue(elvHigh, 15);
        elsewhere->AddLimit(charge);
        standard("VALUED")->FindLimit(QStringLiteral("ENGY"))->SetValue(elvHigh, 15);
        QStringList offered;
        for (const host::OfferedStandard& o : host::standardsOffered(window.sequence().elements()[1], {prototype}))
            offered << o.alphaName + (o.limitsReadings ? QStringLiteral(" limits it") : QString());
        EXPECT_EQ(offered, (QStringList{"VALUED limits it", "ROW", "OTHER"}));
    }
    const QStringList iec = window.standardChoice()->itemData(0).toStringList();
    window.addStandard(iec[0], iec[1]);
    window.addStandard(iec[0], iec[1]); // a second time adds nothing
    EXPECT_EQ(window.sequence().elements()[1]->Limits()->Standards()->Count(), 1);
    ASSERT_TRUE(window.settingsDock()->dialog());
    ASSERT_TRUE(window.limitsDock()->dialog());
    EXPECT_TRUE(window.settingsDock()->dialog()->IsDocked());
    EXPECT_TRUE(boxes.isEmpty());

    // At the window's first size the limits show whole, each unit as its formula
    // makes it: IEC's energy tolerance is in percent of the preset.
    auto* tabs = window.findChild<QTabWidget*>();
    ASSERT_TRUE(tabs);
    tabs->setCurrentIndex(1);
    QApplication::processEvents();
    auto* limits = window.limitsDock()->findChild<QTableWidget*>(QStringLiteral("limits"));
    ASSERT_TRUE(limits && limits->isVisible());
    ASSERT_EQ(limits->rowCount(), 1);
    EXPECT_EQ(limits->item(0, host::XLimitView::HighUnitColumn)->text(), QStringLiteral("%"));
    EXPECT_EQ(limits->item(0, host::XLimitView::HighColumn)->text(), QStringLiteral("15"));
    for (int column = 0; column < limits->columnCount(); ++column) {
        const QRect cell = limits->visualRect(limits->model()->index(0, column));
        EXPECT_TRUE(limits->viewport()->rect().contains(cell)) << "column " << column << " is cut or out of view";
    }
    EXPECT_TRUE(window.addStandardButton()->isEnabled());

    // A limit typed that is no number is refused at once, saying why, as a file's is;
    // an empty cell leaves the side without a value.
    const struct {
        const char* typed;
        const char* box; // null: none
        const char* shown;
    } typings[] = {
        {"1,5", "The High value \"1,5\" of the limit ENGY of the standard \"IEC 60601-2-4\" is not a number of at most 3.4E+38 in size with "
                "\".\" as the decimal separator. The limit keeps 15.", "15"},
        {"abc", "The High value \"abc\" of the limit ENGY", "15"},
        {"1.5", nullptr, "1.5"},
        {"", nullptr, ""},
    };
    for (const auto& typing : typings) {
        SCOPED_TRACE(typing.typed);
        boxes.clear();
        QTableWidgetItem* high = limits->item(0, host::XLimitView::HighColumn);
        limits->setCurrentItem(high);
        limits->editItem(high);
        QApplication::processEvents();
        // The cell's own editor: without a window manager no window has the focus.
        auto* editor = qobject_cast<QLineEdit*>(limits->indexWidget(limits->model()->index(0, host::XLimitView::HighColumn)));
        ASSERT_TRUE(editor);
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Delete);
        QTest::keyClicks(editor, QLatin1String(typing.typed));
        QTest::keyClick(editor, Qt::Key_Return);
        QApplication::processEvents();
        EXPECT_EQ(boxes.size(), typing.box ? 1 : 0) << boxes.join(QLatin1Char('\n')).toStdString();
        if (typing.box && !boxes.isEmpty()) {
            EXPECT_TRUE(boxes[0].startsWith(QLatin1String(typing.box))) << boxes[0].toStdString();
        }
        EXPECT_EQ(limits->item(0, host::XLimitView::HighColumn)->text().toStdString(), typing.shown);
        const Ptr<ILimit> limit = window.sequence().elements()[1]->Limits()->Standards()->Item(0)->FindLimit(QStringLiteral("ENGY"));
        EXPECT_EQ(limit->HasValue(elvHigh), *typing.shown != 0);
    }

    // A waveform test takes no limits: the tab says that the operator judges it,
    // and no standard is offered.
    window.addTest(900);
    QApplication::processEvents();
    EXPECT_TRUE(window.limitsNote()->isVisible());
    EXPECT_TRUE(window.limitsNote()->text().contains(QStringLiteral("the operator judges it"))) << window.limitsNote()->text().toStdString();
    EXPECT_FALSE(window.limitsDock()->dialog());
    EXPECT_FALSE(window.addStandardButton()->isEnabled());
    window.selectElement(1);
    EXPECT_FALSE(window.limitsNote()->isVisible());
    EXPECT_TRUE(window.addStandardButton()->isEnabled());
    tabs->setCurrentIndex(0);

    const QString shots = qEnvironmentVariable("KELTO_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
        QDir().mkpath(shots);
        window.grab().save(shots + QStringLiteral("/host-window.png"));
        tabs->setCurrentIndex(1);
        window.grab().save(shots + QStringLiteral("/host-window-limits.png"));
        tabs->setCurrentIndex(0);
        // The other kinds of settings panel (the energy panel is in the first shot).
        const struct {
            int testId;
            const char* file;
        } panels[] = {{1000, "/panel-waveform.png"}, {1200, "/panel-pacer.png"}, {1600, "/panel-pulse-repetition.png"}};
        for (const auto& panel : panels) {
            window.addTest(panel.testId);
            window.selectElement(int(window.sequence().elements().size()) - 1);
            QApplication::processEvents();
            window.grab().save(shots + QLatin1String(panel.file));
        }
    }
}

TEST_F(HostAppTest, TheTestsCommandListsOneLinePerTestType)
{
    QString text;
    QString errors;
    QTextStream out(&text);
    QTextStream err(&errors);
    EXPECT_EQ(host::runTestsCommand(out, err), 0);
    out.flush();
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 16);
    EXPECT_EQ(lines[2], QStringLiteral("300\tCharge Time"));
}

TEST_F(HostAppTest, TheTestsCommandFailsWithThePlugInsErrorWhenItCannotStart)
{
    host::RegistryKey key;
    key.OpenKey(hkey::LocalMachine, QStringLiteral("Software\\Quilo\\kelto\\TarvoX"));
    key.SetValue(QStringLiteral("Configuration"), dir.filePath(QStringLiteral("missing.mpc")));
    QString text;
    QString errors;
    QTextStream out(&text);
    QTextStream err(&errors);
    EXPECT_NE(host::runTestsCommand(out, err), 0);
    err.flush();
    EXPECT_TRUE(errors.startsWith(QStringLiteral("The plug-in cannot start: The test template %1 does not exist.").arg(dir.filePath(QStringLiteral("missing.mpc")))))
        << errors.toStdString();
    EXPECT_TRUE(errors.endsWith(QStringLiteral(" (error %1)\n").arg(hresult(0x8004A22A)))) << errors.toStdString();
    EXPECT_TRUE(text.isEmpty());
}

TEST_F(HostAppTest, TwoHostProgramsOnOneFileNeitherReplacesWhatTheOtherSavedUnasked)
{
    const QString file = dir.filePath(QStringLiteral("shared.xml"));
    host::Sequence sequence;
    sequence.add(*plugInHost.plugIn(), 300);
    QString error;
    ASSERT_TRUE(sequence.save(file, &error)) << error.toStdString();
    test::DrivenHost a({QStringLiteral("open"), file});
    test::DrivenHost b({QStringLiteral("open"), file});
    b.send(QStringLiteral("add 1600"));
    a.send(QStringLiteral("add 100"));
    EXPECT_EQ(a.send(QStringLiteral("save OK")).size(), 1) << "a file the window wrote last is saved over unasked";
    const QByteArray saved = fileContent(file);

    const QStringList asked = b.send(QStringLiteral("save Cancel"));
    ASSERT_EQ(asked.size(), 2);
    EXPECT_TRUE(asked[0].startsWith(QStringLiteral("box: shared.xml has changed since this window opened or saved it: it was written at ")))
        << asked[0].toStdString();
    EXPECT_TRUE(asked[0].contains(QStringLiteral(" and now holds 2 tests, none with a result.\\nReplace it with this window's sequence (2 tests")))
        << asked[0].toStdString();
    EXPECT_EQ(fileContent(file), saved);
    EXPECT_EQ(b.send(QStringLiteral("save OK")).size(), 2);
    EXPECT_TRUE(fileContent(file).contains("TestID=\"1600\""));
}

TEST_F(HostAppTest, FileExportReportWritesTheReportInTheChosenFormat)
{
    host::MainWindow window(plugInHost);
    window.show();
    window.addTest(300);
    QAction* exportAction = nullptr;
    for (QAction* action : window.findChildren<QAction*>()) {
        if (action->text() == QStringLiteral("&Export report..."))
            exportAction = action;
    }
    ASSERT_TRUE(exportAction);
    // The operator types a name without extension and keeps the PDF format.
    const QString typed = dir.filePath(QStringLiteral("charge-report"));
    answerFileDialog(typed);
    exportAction->trigger();
    QFile pdf(typed + QStringLiteral(".pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_EQ(pdf.read(5), QByteArray("%PDF-"));
    EXPECT_TRUE(boxes.isEmpty());

    // Every name the report is written to is checked first, whatever made it: the
    // chosen format's suffix or one added to a name of neither format.
    const QString oldText = dir.filePath(QStringLiteral("notes.txt.html"));
    ASSERT_TRUE(writeFile(oldText, "kept"));
    const struct {
        FileAnswer answer;
        QString written;
        bool exists;
        int reply;
    } cases[] = {
        {{typed}, typed + QStringLiteral(".pdf"), true, mb::No},
        {{typed, 1}, typed + QStringLiteral(".html"), false, mb::No},
        {{dir.filePath(QStringLiteral("notes.txt")), 1}, oldText, true, mb::No},
        {{dir.filePath(QStringLiteral("notes.txt")), 1}, oldText, true, mb::Yes},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written.toStdString());
        boxes.clear();
        setMessageBoxHandler([this, reply = c.reply](const MessageBoxRequest& r) {
            boxes.append(r.prompt);
            return reply;
        });
        const QByteArray before = fileContent(c.written);
        const bool kept = c.exists && c.reply == mb::No;
        // No brings the dialog back, where the operator gives up.
        answerFileDialogs(kept ? QList<FileAnswer>{c.answer, {}} : QList<FileAnswer>{c.answer});
        exportAction->trigger();
        EXPECT_EQ(boxes, c.exists ? QStringList{QStringLiteral("%1 already exists.\nReplace it?").arg(c.written)} : QStringList{});
        if (kept)
            EXPECT_EQ(fileContent(c.written), before);
        else
            EXPECT_TRUE(fileContent(c.written).startsWith(c.written.endsWith(QStringLiteral(".pdf")) ? "%PDF-" : "<")) << fileContent(c.written).left(40).toStdString();
    }
}

