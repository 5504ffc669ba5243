#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "host/RegistryKey.h"
#include "host/app/HostCommands.h"
#include "host/app/MainWindow.h"
#include "host/app/PlugInHost.h"
#include "host/app/Sequence.h"
#include "platform/MessageBox.h"
#include "platform/interfaces/Standards.h"
#include "platform/interfaces/TestData.h"
#include "tests/support/HostileXml.h"
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

// Types that name into the next file dialog and presses Return, as the operator does;
// counts the dialogs shown.
void answerFileDialog(const QString& typed, int* shown = nullptr)
{
    QTimer::singleShot(0, [typed, shown] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QFileDialog*>(widget); dialog && dialog->isVisible()) {
                if (shown)
                    ++*shown;
                dialog->selectFile(typed);
                QTest::keyClick(dialog, Qt::Key_Return);
            }
        }
    });
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

    // Save As takes a name typed without extension as an XML file.
    answerFileDialog(dir.filePath(QStringLiteral("bench")));
    menuAction(window, QStringLiteral("Save &As..."))->trigger();
    const QString file = dir.filePath(QStringLiteral("bench.xml"));
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("bench"))));
    EXPECT_TRUE(window.windowTitle().startsWith(QStringLiteral("bench.xml[*] - Kelto"))) << window.windowTitle().toStdString();
    EXPECT_FALSE(window.isWindowModified());

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
    EXPECT_TRUE(boxes[0].contains(QStringLiteral("bench.xml"))) << boxes[0].toStdString();
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

    // Removing an element asks only when a result would go with it.
    const QString withResult = dir.filePath(QStringLiteral("with-result.xml"));
    ASSERT_TRUE(writeFile(withResult, kSequenceWithResult));
    ASSERT_TRUE(window.openFile(withResult));
    ASSERT_TRUE(window.sequence().elements()[0]->Result());
    window.addTest(100);
    boxes.clear();
    auto* remove = window.findChild<QPushButton*>(QStringLiteral("removeButton"));
    ASSERT_TRUE(remove);
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
    auto standard = vfib->Limits()->CreateStandard(QStringLiteral("IEC 60601-2-4"),
        plugInHost.plugIn()->Tests()->Item(100)->Limits()->Standards()->Item(0)->CompleteName());
    ASSERT_TRUE(standard);

    const QString file = dir.filePath(QStringLiteral("sequence.xml"));
    QString error;
    ASSERT_TRUE(sequence.save(file, &error)) << error.toStdString();

    host::Sequence again;
    ASSERT_TRUE(again.load(file, *plugInHost.plugIn(), &error)) << error.toStdString();
    ASSERT_EQ(again.elements().size(), 2);
    EXPECT_EQ(again.elements()[0]->TestID(), 100);
    EXPECT_EQ(again.elements()[1]->TestID(), 300);
    EXPECT_EQ(again.elements()[0]->Info()->Name(), QStringLiteral("VFIB at 200 J"));
    ASSERT_TRUE(again.elements()[0]->Limits()->Standards());
    EXPECT_EQ(again.elements()[0]->Limits()->Standards()->Count(), 1);
    // The template's limit came along in the standard the element took.
    EXPECT_TRUE(again.elements()[0]->Limits()->Standards()->Item(0)->FindLimit(QStringLiteral("ENGY")));
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
}

TEST_F(HostAppTest, EveryTestTypeIsAddedSavedAndOpenedAlsoWithoutTemplateStandards)
{
    // The waveform tests (900, 1000, 1100) have no standards in the template.
    host::MainWindow window(plugInHost);
    window.show();
    for (int row = 0; row < window.testList()->topLevelItemCount(); ++row)
        window.addTest(window.testList()->topLevelItem(row)->data(0, Qt::UserRole).toInt());
    ASSERT_EQ(window.sequence().elements().size(), 16);
    for (const auto& element : window.sequence().elements()) {
        const auto standards = element->Limits()->Standards();
        EXPECT_TRUE(!standards || standards->Count() == 0) << element->TestID();
    }

    // At the window's first size each type's settings show whole; in a smaller
    // window they scroll, still laid out whole.
    auto* area = qobject_cast<QScrollArea*>(window.settingsDock()->parentWidget()->parentWidget());
    ASSERT_TRUE(area);
    auto panelShowsWhole = [&] {
        const QWidget* panel = window.settingsDock()->findChild<QWidget*>(QStringLiteral("isc"));
        ASSERT_TRUE(panel);
        EXPECT_TRUE(panel->rect().contains(panel->childrenRect())) << qPrintable(panel->objectName());
        EXPECT_GE(panel->width(), panel->minimumSizeHint().width()) << qPrintable(panel->objectName());
        EXPECT_GE(panel->height(), panel->minimumSizeHint().height()) << qPrintable(panel->objectName());
    };
    for (int row = 0; row < window.sequence().elements().size(); ++row) {
        window.selectElement(row);
        QApplication::processEvents();
        panelShowsWhole();
        EXPECT_EQ(area->horizontalScrollBar()->maximum(), 0) << row;
        EXPECT_EQ(area->verticalScrollBar()->maximum(), 0) << row;
    }
    window.resize(800, 400);
    QApplication::processEvents();
    panelShowsWhole();
    EXPECT_GT(area->horizontalScrollBar()->maximum(), 0);

    const QString file = dir.filePath(QStringLiteral("one-wave.xml"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(R"(<TestSequence PlugIn="TarvoX"><Item TestID="900"/><Item TestID="1100"/></TestSequence>)");
    f.close();
    ASSERT_TRUE(window.openFile(file));
    ASSERT_EQ(window.sequence().elements().size(), 2);
    EXPECT_EQ(window.sequence().elements()[0]->TestID(), 900);
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join(QLatin1Char('\n')).toStdString();
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
        {"unknown test", "<TestSequence><Item TestID=\"300\"/><Item TestID=\"999\"/></TestSequence>",
            QStringLiteral("Item 2 of %1 is test 999, which the plug-in does not have.")},
        {"test id out of range", "<TestSequence><Item TestID=\"1e99\"/></TestSequence>",
            QStringLiteral("Item 1 (TestID \"1e99\") of %1 cannot be read: The TestID is out of range: \"1e99\"")},
        {"filter out of range", "<TestSequence><Item TestID=\"300\"/><Item TestID=\"300\"><TestElement ID=\"1\" Filter=\"-1e308\"/></Item></TestSequence>",
            QStringLiteral("Item 2 (TestID \"300\") of %1 cannot be read: The Filter of the test element is out of range: \"-1e308\"")},
        {"result out of range", "<TestSequence><Item TestID=\"300\"><ResultItem MTI=\"1e99\"/></Item></TestSequence>",
            QStringLiteral("Item 1 (TestID \"300\") of %1 cannot be read: The MTI of the result item is out of range: \"1e99\"")},
        {"result of another test", "<TestSequence><Item TestID=\"300\"><ResultItem><Measurement Key=\"PACR\"/></ResultItem></Item></TestSequence>",
            QStringLiteral("Item 1 (TestID \"300\") of %1 cannot be read: The result has no measurement \"PACR\"")},
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
}

TEST_F(HostAppTest, TheWindowListsTheTestsAndDocksTheDialogsOfTheSelectedElement)
{
    host::MainWindow window(plugInHost);
    window.show();
    ASSERT_EQ(window.testList()->topLevelItemCount(), 16);
    EXPECT_FALSE(window.testList()->topLevelItem(0)->icon(0).isNull());

    window.addTest(300);
    window.addTest(100);
    ASSERT_EQ(window.sequenceList()->count(), 2);
    window.selectElement(1);
    ASSERT_GE(window.standardChoice()->count(), 2);
    const QStringList iec = window.standardChoice()->itemData(0).toStringList();
    window.addStandard(iec[0], iec[1]);
    window.addStandard(iec[0], iec[1]); // a second time adds nothing
    EXPECT_EQ(window.sequence().elements()[1]->Limits()->Standards()->Count(), 1);
    ASSERT_TRUE(window.settingsDock()->dialog());
    ASSERT_TRUE(window.limitsDock()->dialog());
    EXPECT_TRUE(window.settingsDock()->dialog()->IsDocked());
    EXPECT_TRUE(boxes.isEmpty());

    const QString shots = qEnvironmentVariable("KELTO_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
        QDir().mkpath(shots);
        window.grab().save(shots + QStringLiteral("/host-window.png"));
        if (auto* tabs = window.findChild<QTabWidget*>()) {
            tabs->setCurrentIndex(1);
            window.grab().save(shots + QStringLiteral("/host-window-limits.png"));
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
    EXPECT_TRUE(errors.contains(QString::number(hresult(0x8004A22A)))) << errors.toStdString();
    EXPECT_TRUE(text.isEmpty());
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
    QTimer::singleShot(0, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QFileDialog*>(widget)) {
                dialog->selectFile(typed);
                QTest::keyClick(dialog, Qt::Key_Return);
            }
        }
    });
    exportAction->trigger();
    QFile pdf(typed + QStringLiteral(".pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_EQ(pdf.read(5), QByteArray("%PDF-"));
    EXPECT_TRUE(boxes.isEmpty());
}
