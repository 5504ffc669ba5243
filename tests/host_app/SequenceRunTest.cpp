// Sequences run from the host window against the simulated analyser, evaluated,
// saved and opened again.

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSet>
#include <QHash>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>

#include "configurations/CConfigDefibPulse.h"
#include "configurations/CConfigEnergySetting.h"
#include "configurations/CConfigPacer.h"
#include "configurations/CConfigWaveform.h"
#include "host/XLimitView.h"
#include "host/app/GuiMessageBox.h"
#include "host/app/SequenceReport.h"
#include "tests/host_app/HostRunFixture.h"
#include "tests/support/Later.h"
#include "tests/support/TestFiles.h"

using namespace kelto;

namespace {

class SequenceRunTest : public kelto::test::HostRunFixture {};

// Readings within the template's limits of every type (presets 100 J, 60 ppm, 50 mA).
const QList<std::pair<const char*, const char*>> kWithinLimits = {
    {"NRG", "104.2"}, {"EVT", "98.5"}, {"CRG", "5.3"}, {"PVT", "2150"}, {"OCR", "41.5"}, {"OVT", "1980"}, {"STP", "38"},
    {"STB", "45"}, {"BPM", "61"}, {"PAC", "52"}, {"PAW", "20"}, {"PRP", "250"}, {"SRP", "300"}};

} // namespace

TEST_F(SequenceRunTest, TheWindowRunsASequenceAgainstTheAnalyserAndEvaluatesEachTest)
{
    host::MainWindow window(plugInHost);
    window.resize(1100, 650);
    window.show();
    addChargeTimeAndVfibJudgedByTheFirstStandard(window);

    window.runFrom(0);

    EXPECT_FALSE(stuck);
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join(QLatin1Char('\n')).toStdString();
    const auto& elements = window.sequence().elements();
    ASSERT_TRUE(elements[0]->Result());
    ASSERT_TRUE(elements[1]->Result());
    EXPECT_EQ(elements[0]->Result()->Status(), emsPassed);
    EXPECT_EQ(elements[1]->Result()->Status(), emsPassed);
    EXPECT_FALSE(elements[1]->Result()->Measurement(Variant(QStringLiteral("ENGY")))->value().isEmpty());
    EXPECT_TRUE(window.sequenceList()->item(0)->text().contains(QStringLiteral("passed")));
    EXPECT_EQ(analyser->commands().count(QStringLiteral("CRG")) >= 1, true);
    EXPECT_EQ(analyser->commands().count(QStringLiteral("NRG")) >= 1, true);
}

TEST_F(SequenceRunTest, ARunThatChangedAResultIsAChangeToSaveAndClosingAsksFirst)
{
    host::MainWindow window(plugInHost);
    window.show();
    window.addTest(300);
    const QString file = dir.filePath(QStringLiteral("bench.xml"));
    ASSERT_TRUE(window.saveFile(file));

    // Aborted before it had a result, the test is as it was: nothing to save.
    operatorAction = Operator::Abort;
    window.runFrom(0);
    ASSERT_FALSE(stuck);
    EXPECT_FALSE(window.sequence().elements()[0]->Result()) << boxes.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(window.isWindowModified());

    operatorAction = Operator::RunThenNext;
    window.runFrom(0);
    ASSERT_FALSE(stuck);
    ASSERT_TRUE(window.sequence().elements()[0]->Result());
    EXPECT_TRUE(window.isWindowModified());
    boxes.clear();
    EXPECT_TRUE(window.close()); // the operator answers Yes: saved first
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].startsWith(QStringLiteral("bench.xml has changes that are not saved, results included."))) << boxes[0].toStdString();
    host::Sequence saved;
    QString error;
    ASSERT_TRUE(saved.load(file, *plugInHost.plugIn(), &error)) << error.toStdString();
    ASSERT_EQ(saved.elements().size(), 1);
    EXPECT_TRUE(saved.elements()[0]->Result());

    // Skipped, the saved result goes: a change too, which the list and the title
    // show while the next test's guide is open.
    window.addTest(300);
    ASSERT_TRUE(window.saveFile(file));
    QStringList shownAsGuidesOpen;
    CTestElementFrame::setGuideObserver([&](CTestElementFrame& element, FTarvoXTestGuide& guide) {
        shownAsGuidesOpen << window.sequenceList()->item(0)->text() + (window.isWindowModified() ? QStringLiteral(" *") : QString());
        operate(element, guide);
    });
    operatorAction = Operator::Skip;
    window.runFrom(0);
    ASSERT_FALSE(stuck);
    EXPECT_FALSE(window.sequence().elements()[0]->Result());
    EXPECT_TRUE(window.isWindowModified());
    EXPECT_EQ(shownAsGuidesOpen.join(QLatin1Char('\n')).toStdString(), "Charge Time  [not judged (no standard judged it)]\nCharge Time *");
}

TEST_F(SequenceRunTest, TwoWindowsOnOneFileNeitherReplacesWhatTheOtherWroteUnasked)
{
    const QString file = dir.filePath(QStringLiteral("shared.xml"));
    host::MainWindow maker(plugInHost); // saves a new file, then again when others have written it
    addChargeTimeAndVfibJudgedByTheFirstStandard(maker);
    ASSERT_TRUE(maker.saveFile(file));
    host::MainWindow a(plugInHost);
    host::MainWindow b(plugInHost);
    ASSERT_TRUE(a.openFile(file));
    ASSERT_TRUE(b.openFile(file));
    const auto setModifiedTime = [&](const QDateTime& time) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.setFileTime(time, QFileDevice::FileModificationTime));
    };
    // A new time on the same bytes is no change.
    setModifiedTime(QDateTime::currentDateTime().addSecs(3600));
    a.show();
    a.runFrom(0);
    ASSERT_FALSE(stuck);
    ASSERT_TRUE(a.saveFile(file));
    ASSERT_TRUE(boxes.isEmpty()) << boxes.join(QLatin1Char('\n')).toStdString();
    const QByteArray run = fileContent(file);

    QList<int> answers{mb::Cancel};
    int buttons = -1; // of the last box
    QByteArray meanwhile; // another program writes while the next box is up
    setMessageBoxHandler([&](const MessageBoxRequest& r) {
        boxes.append(r.prompt);
        buttons = r.buttons();
        if (!meanwhile.isEmpty()) {
            EXPECT_TRUE(writeFile(file, std::exchange(meanwhile, QByteArray())));
        }
        return answers.isEmpty() ? firstButtonAnswer(r.flags) : answers.takeFirst();
    });
    b.addTest(100);
    EXPECT_FALSE(b.saveFile(file));
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].startsWith(QStringLiteral("shared.xml has changed since this window opened or saved it: it was written at ")))
        << boxes[0].toStdString();
    EXPECT_TRUE(boxes[0].contains(QStringLiteral(" and now holds 2 tests, each with a result.\nReplace it with this window's sequence (3 "
                                                 "tests, none with a result)? Cancel writes nothing")))
        << boxes[0].toStdString();
    EXPECT_EQ(fileContent(file), run);
    EXPECT_TRUE(b.isWindowModified());
    EXPECT_TRUE(b.saveFile(file));
    EXPECT_EQ(boxes.size(), 2);

    // The bytes decide, not the time: a change of the same size under the earlier
    // time is asked about too.
    const QDateTime written = QFileInfo(file).lastModified();
    QByteArray edited = fileContent(file);
    ASSERT_TRUE(edited.contains("Charge Time"));
    edited.replace("Charge Time", "Charge Tide");
    ASSERT_TRUE(writeFile(file, edited));
    setModifiedTime(written);
    boxes.clear();
    answers = {mb::Cancel};
    EXPECT_FALSE(b.saveFile(file));
    EXPECT_EQ(boxes.size(), 1);
    EXPECT_EQ(fileContent(file), edited);

    boxes.clear();
    answers = {mb::Cancel};
    EXPECT_FALSE(maker.saveFile(file)) << "the save of the new file stamped it";
    EXPECT_EQ(boxes.size(), 1);
    EXPECT_EQ(fileContent(file), edited);

    // Written again while the question is up: OK answered what the box said, so
    // the save asks again about what the file holds now.
    const QByteArray otherSave = QByteArray(edited).replace("Charge Tide", "Charge Tale");
    meanwhile = otherSave;
    boxes.clear();
    answers = {mb::OK, mb::Cancel};
    EXPECT_FALSE(b.saveFile(file));
    EXPECT_EQ(boxes.size(), 2);
    EXPECT_EQ(fileContent(file), otherSave);

    // What the file has become is said: too large for a sequence, or a folder, which
    // no save can replace.
    const QByteArray large = edited + QByteArray(host::XmlDocument::kMaxXmlBytes, ' ');
    ASSERT_TRUE(writeFile(file, large));
    boxes.clear();
    answers = {mb::Cancel};
    EXPECT_FALSE(b.saveFile(file));
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].contains(QStringLiteral(" and now holds %1 bytes, more than a sequence may hold (8 MiB).\nReplace it with this "
                                                 "window's sequence (3 tests, none with a result)?")
                                      .arg(large.size())))
        << boxes[0].toStdString();
    ASSERT_TRUE(QFile::remove(file) && QDir().mkdir(file));
    boxes.clear();
    answers.clear();
    EXPECT_FALSE(b.saveFile(file));
    ASSERT_EQ(boxes.size(), 1) << boxes.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(boxes[0], QStringLiteral("shared.xml has changed since this window opened or saved it: it is a folder, not a regular file, and a save "
                                       "cannot replace it. Nothing is written; Save As can keep this window's sequence (3 tests, none with a "
                                       "result) in another file."));
    EXPECT_EQ(buttons, mb::OKOnly);
    EXPECT_TRUE(QFileInfo(file).isDir());
}

TEST_F(SequenceRunTest, AStartWithNoAnalyserOnTheLineTellsTheOperatorWhichPortAndWhatToCheck)
{
    const QString missing = dir.filePath(QStringLiteral("ttyUSB7"));
    host::SerialPortMap::SetSessionPath(1, missing);
    operatorAction = Operator::StartThenSkip;
    host::MainWindow window(plugInHost);
    window.show();
    // The single readings, a played waveform and the pacer each end their start on their own.
    for (const std::int32_t testId : {300, 900, 1200})
        window.addTest(testId);

    window.runFrom(0);

    EXPECT_FALSE(stuck);
    ASSERT_EQ(boxes.size(), 3) << boxes.join(QLatin1Char('\n')).toStdString();
    for (const QString& box : boxes) {
        EXPECT_TRUE(box.contains(missing)) << box.toStdString();
        EXPECT_TRUE(box.contains(QStringLiteral("does not exist. Check the port"))) << box.toStdString();
        EXPECT_FALSE(box.contains(QStringLiteral("Error #"))) << box.toStdString();
    }
    EXPECT_TRUE(analyser->commands().isEmpty());
}

TEST_F(SequenceRunTest, AnEnergyOutsideTheToleranceOfTheChosenStandardFails)
{
    analyser->scenario().readings[QStringLiteral("NRG")] = QStringLiteral("119.6"); // 100 J set: 15 % is 115 J
    host::MainWindow window(plugInHost);
    window.show();
    window.addTest(100);
    const QStringList iec = window.standardChoice()->itemData(0).toStringList();
    window.addStandard(iec[0], iec[1]);

    window.runFrom(0);

    EXPECT_FALSE(stuck);
    const auto& element = window.sequence().elements()[0];
    ASSERT_TRUE(element->Result());
    EXPECT_EQ(element->Result()->Status(), emsFailed);
    EXPECT_TRUE(window.sequenceList()->item(0)->text().contains(QStringLiteral("failed")));
}

TEST_F(SequenceRunTest, ARunIsJudgedAgainstTheTickedStandardsAndSaysWhereNoLimitJudgedIt)
{
    // 119.6 J of 100 J is beyond IEC's 15 %; 70 ppm of 60 ppm beyond MFR's 5 %.
    analyser->scenario().readings[QStringLiteral("NRG")] = QStringLiteral("119.6");
    host::MainWindow window(plugInHost);
    window.show();
    window.addTest(100);
    window.addTest(1200);
    for (int row : {0, 1}) {
        window.selectElement(row);
        for (const QStringList& names : templateStandards(window.sequence().elements()[row]->TestID()))
            window.addStandard(names[0], names[1]);
    }
    EXPECT_EQ(standardTicks(window, Qt::Checked), (QStringList{"IEC 60601-2-4", "MFR EXAMPLE"}));
    tick(window, QStringLiteral("MFR EXAMPLE"), false);

    window.runFrom(0);

    ASSERT_FALSE(stuck);
    const auto& elements = window.sequence().elements();
    ASSERT_TRUE(elements[0]->Result() && elements[1]->Result());
    EXPECT_EQ(elements[0]->Result()->Status(), emsFailed);
    // The pacer holds no standard that is ticked: stored as passed, as the evaluation
    // gives it, and shown as not judged.
    EXPECT_EQ(elements[1]->Result()->Status(), emsPassed);
    EXPECT_TRUE(window.sequenceList()->item(0)->text().endsWith(QStringLiteral("[failed]")));
    EXPECT_TRUE(window.sequenceList()->item(1)->text().endsWith(QStringLiteral("[not judged (no standard judged it)]")))
        << window.sequenceList()->item(1)->text().toStdString();
    EXPECT_EQ(guideStatus.join(QLatin1Char('\n')).toStdString(), "Failed|\nNot judged|no standard judged it");
    const QString htmlFile = dir.filePath(QStringLiteral("judged.html"));
    ASSERT_TRUE(window.exportReportTo(htmlFile));
    QFile file(htmlFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString html = withPlainStatuses(QString::fromUtf8(file.readAll()));
    EXPECT_TRUE(html.contains(QStringLiteral(": not judged (no standard judged it)</h2>"))) << html.toStdString();
    EXPECT_EQ(html.count(QStringLiteral("no standard judged it")), 1);
    EXPECT_FALSE(html.contains(QStringLiteral("MFR EXAMPLE"))) << "the limits printed are those the run was judged against";
    EXPECT_EQ(guideOpened.join(QLatin1Char('\n')).toStdString(), "||IEC 60601-2-4\n|no standard judges it|") << "the pacer holds no limits of IEC";

    // Opened again, where every standard is ticked, and printed from the file, each
    // result is still shown by what judged it: MFR's 63/57 ppm did not judge 70 ppm.
    const QString saved = dir.filePath(QStringLiteral("judged.xml"));
    ASSERT_TRUE(window.saveFile(saved));
    host::MainWindow reopened(plugInHost);
    ASSERT_TRUE(reopened.openFile(saved));
    EXPECT_EQ(standardTicks(reopened, Qt::Checked), (QStringList{"IEC 60601-2-4", "MFR EXAMPLE"}));
    EXPECT_TRUE(reopened.sequenceList()->item(0)->text().endsWith(QStringLiteral("[failed]")));
    EXPECT_TRUE(reopened.sequenceList()->item(1)->text().endsWith(QStringLiteral("[not judged (no standard judged it)]")))
        << reopened.sequenceList()->item(1)->text().toStdString();
    QString errors;
    QTextStream err(&errors);
    const QString fromFile = dir.filePath(QStringLiteral("from-file.html"));
    ASSERT_EQ(host::runReportCommand(saved, fromFile, err), 0) << errors.toStdString();
    const QString printed = withPlainStatuses(QString::fromUtf8(fileContent(fromFile)));
    EXPECT_TRUE(printed.contains(QStringLiteral("2. Pacer Parameters: not judged (no standard judged it)</h2>"))) << printed.toStdString();
    EXPECT_FALSE(printed.contains(QStringLiteral("MFR EXAMPLE")));

    // Ticked again, MFR judges the next run of a pacer, whose rate then fails; the
    // result of the first run stays judged as it was, in the list and in the guide
    // that opens on it, until the run replaces it.
    tick(window, QStringLiteral("MFR EXAMPLE"), true);
    EXPECT_TRUE(window.sequenceList()->item(1)->text().endsWith(QStringLiteral("[not judged (no standard judged it)]")));
    window.addTest(1200);
    window.addStandard(QStringLiteral("MFR EXAMPLE"), templateStandards(1200).value(0).value(1));
    guideStatus.clear();
    guideOpened.clear();
    window.runFrom(1);
    ASSERT_FALSE(stuck);
    for (int row : {1, 2}) {
        ASSERT_TRUE(elements[row]->Result());
        EXPECT_EQ(elements[row]->Result()->Status(), emsFailed);
        EXPECT_TRUE(window.sequenceList()->item(row)->text().endsWith(QStringLiteral("[failed]")));
    }
    EXPECT_EQ(guideOpened.join(QLatin1Char('\n')).toStdString(), "Not judged|no standard judged it|\n||MFR EXAMPLE");
    EXPECT_EQ(guideStatus, (QStringList{"Failed|", "Failed|"}));
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join(QLatin1Char('\n')).toStdString();

    // Unticked again, MFR judges neither repeat: its limits go from beside the readings.
    tick(window, QStringLiteral("MFR EXAMPLE"), false);
    guideStatus.clear();
    guideLimits.clear();
    window.runFrom(1);
    ASSERT_FALSE(stuck);
    EXPECT_EQ(guideStatus.join(QLatin1Char('\n')).toStdString(), "Not judged|no standard judged it\nNot judged|no standard judged it");
    EXPECT_EQ(guideLimits, (QStringList{"|", "|"}));
}

TEST_F(SequenceRunTest, ATestGivenTheStandardTheBoxStartsAtIsJudgedByItsLimitsAndOneThatNoLimitJudgedNeverShowsPassed)
{
    // The types whose limits the template gives under a standard other than the first
    // one it holds, given the standard the Standard box starts at; a test given none;
    // battery tests whose windows no discharge reached; sync tests that found no sync;
    // each test that drops the analyser's banner, given it at once. Guide, list, the
    // window's export, the guide opened again, file, reopened window walked through
    // and report agree; the stored status is the evaluation's.
    struct Judged {
        std::int32_t testId;
        bool standard; // the one the box starts at
        QList<std::pair<const char*, const char*>> readings;
        const char* shown;
        std::int32_t stored;
        const char* box = nullptr; // what the run said, if anything
        const char* over = nullptr;   // the word answered "OVER"
        const char* banner = nullptr; // the word answered with the banner
    };
    // The guide's badge and line as a view shows the word and why.
    const auto guideShows = [](const QString& shown) {
        const QString word = shown.section(QStringLiteral(" ("), 0, 0);
        const QString badge = word == QLatin1String("not evaluated") ? QString() : word.left(1).toUpper() + word.mid(1);
        return badge + QLatin1Char('|') + (shown.contains(QLatin1Char('(')) ? shown.section(QStringLiteral(" ("), 1).chopped(1) : QString());
    };
    const char* const noSync = "No sync detected";
    const char* const noVerdict = "not evaluated";
    const char* const noneJudges = "not evaluated (no standard judges it)";
    const char* const noDischarge = "Test Failed!  Did not detect";
    QHash<QString, QSet<QString>> looks; // of the guide's badge, by the word shown
    const Judged rows[] = {
        {400, true, {{"PVT", "2150"}}, "passed", emsPassed},
        {400, true, {{"PVT", "5200"}}, "failed", emsFailed},
        {500, true, {{"OCR", "41.5"}}, "passed", emsPassed},
        {500, true, {{"OCR", "85"}}, "failed", emsFailed},
        {600, true, {{"OVT", "1980"}}, "passed", emsPassed},
        {600, true, {{"OVT", "5100"}}, "failed", emsFailed},
        {1200, true, {{"BPM", "61"}}, "passed", emsPassed},
        {1200, true, {{"BPM", "70"}}, "failed", emsFailed}, // MFR's 5 % of 60 ppm
        {1200, false, {{"BPM", "70"}}, "not judged (no standard judged it)", emsPassed},
        {1300, true, {{"PRP", "250"}, {"SRP", "300"}}, "passed", emsPassed},
        {1300, true, {{"PRP", "450"}, {"SRP", "150"}}, "failed", emsFailed},
        {1400, true, {{"CRG", "5.3"}}, "passed", emsPassed},
        {1400, true, {{"CRG", "21"}}, "failed", emsFailed},
        {1500, true, {{"CRG", "5.3"}}, "passed", emsPassed},
        {1500, true, {{"CRG", "21"}}, "failed", emsFailed},
        // "[CRG]" never answered: every window runs out.
        {1400, true, {}, "failed", emsFailed, noDischarge},
        {1400, false, {}, "not judged (no standard judged it; no reading at 20 places)", emsPassed, noDischarge},
        {1500, true, {}, "failed", emsFailed, noDischarge},
        {1500, false, {}, "not judged (no standard judged it; no reading at 15 places)", emsPassed, noDischarge},
        {700, true, {}, "failed", emsFailed, noSync, "STP"},
        {700, false, {}, "not judged (no standard judged it; no reading at 1 place)", emsPassed, noSync, "STP"},
        {800, false, {}, "not judged (no standard judged it; no reading at 1 place)", emsPassed, noSync, "STB"},
        // The run gave no verdict, and Next stores none.
        {300, true, {}, noVerdict, emsNone, nullptr, nullptr, "CRG"},
        {300, false, {}, noneJudges, emsNone, nullptr, nullptr, "CRG"},
        {400, true, {}, noVerdict, emsNone, nullptr, nullptr, "PVT"},
        {400, false, {}, noneJudges, emsNone, nullptr, nullptr, "PVT"},
        {500, true, {}, noVerdict, emsNone, nullptr, nullptr, "OCR"},
        {500, false, {}, noneJudges, emsNone, nullptr, nullptr, "OCR"},
        {600, true, {}, noVerdict, emsNone, nullptr, nullptr, "OVT"},
        {600, false, {}, noneJudges, emsNone, nullptr, nullptr, "OVT"},
        {700, true, {}, noVerdict, emsNone, nullptr, nullptr, "STP"},
        {700, false, {}, noneJudges, emsNone, nullptr, nullptr, "STP"},
        {800, true, {}, noVerdict, emsNone, nullptr, nullptr, "STB"},
        {800, false, {}, noneJudges, emsNone, nullptr, nullptr, "STB"},
    };
    for (const Judged& row : rows) {
        SCOPED_TRACE(testing::Message() << row.testId << " " << (row.standard ? "with" : "without") << " its standard, " << row.shown);
        setReadings(kWithinLimits);
        setReadings(row.readings);
        // A freshly switched-on analyser, which owes no answer to the requests of a row before.
        MComm::ForgetAnalyser();
        analyser->scenario().noReply.words.clear();
        if (row.readings.isEmpty() && !row.over && !row.banner)
            analyser->scenario().noReply.words = {QStringLiteral("CRG")};
        analyser->scenario().over.words = row.over ? QSet<QString>{QLatin1String(row.over)} : QSet<QString>();
        analyser->scenario().bannerMs = 0;
        analyser->scenario().banner.words = row.banner ? QSet<QString>{QLatin1String(row.banner)} : QSet<QString>();
        host::MainWindow window(plugInHost);
        window.show();
        if (row.standard)
            addJudgedByTheFirstStandard(window, row.testId);
        else
            window.addTest(row.testId);
        guideStatus.clear();
        guideLooks.clear();
        boxes.clear();
        window.runFrom(0);
        ASSERT_FALSE(stuck);
        const Ptr<ITestElement> element = window.sequence().elements()[0];
        ASSERT_TRUE(element->Result());
        EXPECT_EQ(element->Result()->Status(), row.stored);
        if (!row.banner)
            looks[QString::fromLatin1(row.shown).section(QLatin1Char(' '), 0, 1)] += guideLooks.value(0);
        EXPECT_EQ(boxes.size(), row.box ? 1 : 0) << boxes.join(QLatin1Char('\n')).toStdString();
        if (row.box && !boxes.isEmpty()) {
            EXPECT_TRUE(boxes[0].startsWith(QLatin1String(row.box))) << boxes[0].toStdString();
        }
        const QString shown = QLatin1String(row.shown);
        const QString badge = row.banner ? QStringLiteral("|The run gave no verdict; Start measures again") : guideShows(shown);
        EXPECT_EQ(guideStatus.join(QLatin1Char('\n')).toStdString(), badge.toStdString());
        const QString title = host::elementTitle(element);
        const QString listed = QStringLiteral("%1  [%2]").arg(title, shown);
        EXPECT_EQ(window.sequenceList()->item(0)->text().toStdString(), listed.toStdString());
        // The guide opened again, passed through, shows and leaves the same (Next is
        // offered only beside a verdict).
        operatorAction = row.banner ? Operator::PreviousWithoutRun : Operator::NextWithoutRun;
        guideOpened.clear();
        window.runFrom(0);
        EXPECT_EQ(guideOpened.value(0).section(QLatin1Char('|'), 0, 1).toStdString(), guideShows(shown).toStdString());
        EXPECT_EQ(window.sequenceList()->item(0)->text().toStdString(), listed.toStdString());
        const QString heading = QStringLiteral("<h2>1. %1: %2</h2>").arg(title, shown);
        const QString exported = dir.filePath(QStringLiteral("judged-%1.html").arg(++saves));
        ASSERT_TRUE(window.exportReportTo(exported));
        EXPECT_TRUE(withPlainStatuses(QString::fromUtf8(fileContent(exported))).contains(heading));
        const QString file = dir.filePath(QStringLiteral("judged-%1.xml").arg(++saves));
        ASSERT_TRUE(window.saveFile(file));
        EXPECT_TRUE(fileContent(file).contains(QStringLiteral("<Status Value=\"%1\"/>\n").arg(row.stored).toUtf8()));
        host::MainWindow reopened(plugInHost);
        ASSERT_TRUE(reopened.openFile(file));
        EXPECT_EQ(reopened.sequenceList()->item(0)->text().toStdString(), listed.toStdString());
        reopened.show();
        reopened.runFrom(0);
        EXPECT_EQ(reopened.sequenceList()->item(0)->text().toStdString(), listed.toStdString());
        operatorAction = Operator::RunThenNext;
        QString errors;
        QTextStream err(&errors);
        const QString html = dir.filePath(QStringLiteral("judged-%1.html").arg(saves));
        ASSERT_EQ(host::runReportCommand(file, html, err), 0) << errors.toStdString();
        EXPECT_TRUE(withPlainStatuses(QString::fromUtf8(fileContent(html))).contains(heading));
    }
    analyser->scenario().noReply.words.clear();
    analyser->scenario().over.words.clear();
    analyser->scenario().banner.words.clear();
    MComm::ForgetAnalyser();
    // Each word in a look of its own, the same wherever it is shown.
    ASSERT_EQ(looks.size(), 3);
    QSet<QString> each;
    for (const QSet<QString>& look : looks) {
        ASSERT_EQ(look.size(), 1);
        EXPECT_FALSE(look.begin()->isEmpty());
        each += look;
    }
    EXPECT_EQ(each.size(), 3);
}

TEST_F(SequenceRunTest, AKeptResultIsJudgedOnlyByAReadingOfItsOwnAndAGuidePassedThroughChangesNothing)
{
    // Judged under one tick and saved, then walked through under the other without a
    // start: the verdict, what judged it and the file stay as they were. A test without
    // a result is given none. A repeat in the guide that judged it, ended without a
    // reading (or a waveform played again without a tick), leaves that result with its
    // record and the analyser that measured it, as the guide shows and says; Skip
    // there drops it, Abort keeps it. N/A over a verdict asks first: No leaves it.
    struct Walk {
        std::int32_t testId;
        std::pair<const char*, const char*> reading;
        bool tickedFirst; // the standard, or for a waveform the verdict "Test Passed"
        Operator walk;
        const char* status; // null: not run before the walk
        Repeat repeat = Repeat::None;
        std::int32_t leave = guidebutton::Main; // the guide of the run and its repeat
        bool analyserChanged = false; // S-111 measured, S-222 in the tab once the reading is judged
        int answer = mb::Yes; // to the question the walk asks
    };
    const std::pair<const char*, const char*> none{"NRG", "104.2"};
    const Walk walks[] = {
        {100, {"NRG", "119.6"}, true, Operator::NextWithoutRun, "failed"}, // beyond IEC's 15 % of 100 J
        {400, {"PVT", "5200"}, true, Operator::PreviousWithoutRun, "failed"}, // beyond MFR's 5000 V
        // MFR's 63/57 ppm, the pacer's only limits, do not judge 70 ppm unticked.
        {1200, {"BPM", "70"}, false, Operator::NextWithoutRun, "not judged (no standard judged it)"},
        {1200, {"BPM", "70"}, false, Operator::Abort, "not judged (no standard judged it)"},
        {1400, {"CRG", "5.3"}, true, Operator::PreviousWithoutRun, nullptr},
        {1400, {"CRG", "5.3"}, true, Operator::Abort, nullptr},
        // 104.2 J passes IEC's 115.0 J / 85.0 J; unticked, nothing judges it.
        {100, {"NRG", "104.2"}, true, Operator::NextWithoutRun, "passed", Repeat::Stopped},
        {100, {"NRG", "104.2"}, false, Operator::NextWithoutRun, "not judged (no standard judged it)", Repeat::Stopped},
        {100, {"NRG", "104.2"}, true, Operator::PreviousWithoutRun, "passed", Repeat::NoAnalyser},
        {100, {"NRG", "104.2"}, false, Operator::NextWithoutRun, "not judged (no standard judged it)", Repeat::NoAnalyser},
        {100, {"NRG", "104.2"}, true, Operator::NextWithoutRun, "passed", Repeat::SwitchedOff},
        {100, {"NRG", "104.2"}, false, Operator::Abort, "not judged (no standard judged it)", Repeat::SwitchedOff},
        {100, {"NRG", "104.2"}, true, Operator::NextWithoutRun, "passed", Repeat::Pulled},
        {100, {"NRG", "104.2"}, false, Operator::NextWithoutRun, "not judged (no standard judged it)", Repeat::Pulled},
        {100, {"NRG", "104.2"}, true, Operator::NextWithoutRun, "passed", Repeat::MeasuredThenStopped},
        {900, none, true, Operator::NextWithoutRun, "passed", Repeat::Played},
        {900, none, false, Operator::PreviousWithoutRun, "failed", Repeat::Played, guidebutton::Abort},
        {1000, none, false, Operator::NextWithoutRun, "failed", Repeat::Played},
        {1000, none, true, Operator::PreviousWithoutRun, "passed", Repeat::Played, guidebutton::Skip},
        {1100, none, true, Operator::PreviousWithoutRun, "passed", Repeat::Played, guidebutton::Abort},
        {1100, none, false, Operator::PreviousWithoutRun, "failed", Repeat::Played, guidebutton::Skip},
        {100, {"NRG", "119.6"}, true, Operator::NotApplicable, "failed", Repeat::None, guidebutton::Main, false, mb::No},
        {400, {"PVT", "5200"}, true, Operator::NotApplicable, "failed", Repeat::None, guidebutton::Main, false, mb::Yes},
        {900, none, true, Operator::NotApplicable, "passed", Repeat::None, guidebutton::Main, false, mb::No},
        {1000, none, true, Operator::NotApplicable, "passed", Repeat::None, guidebutton::Main, false, mb::Yes},
        // Last: the analyser entered here is the one the tab offers from then on. Next
        // records the tab's; a result kept from an earlier run keeps that run's.
        {100, {"NRG", "104.2"}, true, Operator::NextWithoutRun, "passed", Repeat::Stopped, guidebutton::Main, true},
        {100, {"NRG", "104.2"}, true, Operator::NextWithoutRun, "passed", Repeat::NoAnalyser, guidebutton::Main, true},
        {100, {"NRG", "104.2"}, true, Operator::NextWithoutRun, "passed", Repeat::SwitchedOff, guidebutton::Main, true},
        {100, {"NRG", "104.2"}, true, Operator::NextWithoutRun, "passed", Repeat::Pulled, guidebutton::Main, true},
        {100, {"NRG", "104.2"}, true, Operator::NextWithoutRun, "passed", Repeat::None, guidebutton::Main, true},
        {900, none, true, Operator::NextWithoutRun, "passed", Repeat::Played, guidebutton::Main, true},
        {900, none, false, Operator::NextWithoutRun, "failed", Repeat::None, guidebutton::Main, true},
        {1000, none, false, Operator::NextWithoutRun, "failed", Repeat::Played, guidebutton::Main, true},
        {1000, none, true, Operator::NextWithoutRun, "passed", Repeat::None, guidebutton::Main, true},
        {1100, none, true, Operator::NextWithoutRun, "passed", Repeat::Played, guidebutton::Main, true},
        {1100, none, false, Operator::NextWithoutRun, "failed", Repeat::None, guidebutton::Main, true},
    };
    for (const Walk& walk : walks) {
        SCOPED_TRACE(testing::Message() << walk.testId << ", repeat " << int(walk.repeat) << ", ticked " << walk.tickedFirst << ", left with "
                                        << walk.leave << ", analyser changed " << walk.analyserChanged);
        setReadings({walk.reading});
        host::MainWindow window(plugInHost);
        window.show();
        window.addTest(walk.testId);
        const bool waveform = judgedByOperator(walk.testId);
        const QStringList names = templateStandards(walk.testId).value(0);
        if (!waveform) {
            window.addStandard(names[0], names[1]);
            tick(window, names[0], walk.tickedFirst);
        }
        verdictColumn = walk.tickedFirst ? test::kVerdictPassedColumn : test::kVerdictFailedColumn;
        operatorAction = Operator::RunThenNext;
        repeat = walk.repeat;
        leaveWith = walk.leave;
        analyserEntered = walk.analyserChanged ? QStringList{QStringLiteral("S-111"), QStringLiteral("2.13")} : QStringList();
        analyserChangedTo = walk.analyserChanged ? QStringLiteral("S-222") : QString();
        guideStatus.clear();
        boxes.clear();
        if (walk.status)
            window.runFrom(0);
        repeat = Repeat::None;
        leaveWith = guidebutton::Main;
        analyserEntered.clear();
        analyserChangedTo.clear();
        // The analyser is back on the line for the walk and the next row.
        analyser->setPowered(true);
        if (!analyser->isOpen()) {
            analyser = std::make_unique<sim::TarvoSimulator>(analyser->scenario());
            ASSERT_TRUE(analyser->open());
        }
        host::SerialPortMap::SetSessionPath(1, analyser->devicePath());
        ASSERT_FALSE(stuck);
        const QString file = dir.filePath(QStringLiteral("kept-%1.xml").arg(++saves));
        ASSERT_TRUE(window.saveFile(file));
        const QByteArray saved = fileContent(file);
        // What the list, the file and the report show after the guide: Skip dropped the
        // result, and Abort what the guide judged.
        const char* status = walk.leave == guidebutton::Main ? walk.status : nullptr;
        if (walk.repeat != Repeat::None || walk.analyserChanged) {
            const QString title = host::elementTitle(window.sequence().elements()[0]);
            const QString badge = QLatin1String(walk.status).startsWith(QLatin1String("not judged")) ? QStringLiteral("Not judged|no standard judged it; ")
                : walk.tickedFirst                                                                  ? QStringLiteral("Passed|")
                                                                                                    : QStringLiteral("Failed|");
            QString line = walk.repeat == Repeat::None ? QString()
                : walk.repeat == Repeat::Played
                ? QStringLiteral("Tick the verdict of the wave just played; until then the verdict shown stands")
                : QStringLiteral("The repeat %1; the result shown stands")
                      .arg(walk.repeat == Repeat::Stopped || walk.repeat == Repeat::MeasuredThenStopped ? "was stopped" : "gave no verdict");
            const bool kept = walk.analyserChanged && walk.repeat != Repeat::None;
            if (kept)
                line += QStringLiteral("; the result shown keeps the analyser that measured it (Tarvo, serial S-111, firmware 2.13), not the one the "
                                       "\"MTI Data\" tab names");
            EXPECT_EQ(guideStatus.join(QLatin1Char('\n')).toStdString(), (badge + line).toStdString());
            EXPECT_EQ(window.sequenceList()->item(0)->text().toStdString(),
                (status ? QStringLiteral("%1  [%2]").arg(title, QLatin1String(status)) : title).toStdString());
            // Judged by the ticked standard, or by none, and measured by the analyser the tab
            // named at Next, or for a kept result by the one of the run that measured it.
            const char* recorded = kept ? "S-111" : "S-222";
            const QString analyserRecord = walk.analyserChanged
                ? QStringLiteral("<Record Firmware=\"2.13\" ID=\"\\1\" Model=\"Tarvo\" Owner=\"TarvoX\" SerialNumber=\"%1\"/>").arg(QLatin1String(recorded))
                : QStringLiteral("<Record Firmware=\"\" ID=\"\\1\" Model=\"Tarvo\"");
            const QString judged = waveform ? QString()
                : QStringLiteral("<JudgedAgainst Values=\"True\">\\s*<Preset Key=\"ENGY\" Value=\"100\"/>\\s*%1")
                      .arg(walk.tickedFirst ? "<Standard Alpha=\"IEC 60601-2-4\"" : "</JudgedAgainst>");
            const QRegularExpression record(QStringLiteral("<ResultItem MTI=\"(\\d+)\">.*%1.*%2").arg(judged, analyserRecord),
                QRegularExpression::DotMatchesEverythingOption);
            EXPECT_EQ(QString::fromUtf8(saved).contains(record), status != nullptr) << saved.toStdString();
            EXPECT_FALSE(saved.contains(kept ? "S-222" : "S-111")) << saved.toStdString();
            if (walk.leave == guidebutton::Skip) {
                EXPECT_TRUE(boxes.contains(QStringLiteral("Skipping removes the result of this test (%1) from the sequence.\nSkip the test? No keeps the "
                                                          "result.")
                                               .arg(QLatin1String(walk.status))))
                    << boxes.join(QLatin1Char('\n')).toStdString();
            }
            QString errors;
            QTextStream err(&errors);
            const QString html = dir.filePath(QStringLiteral("kept-%1.html").arg(saves));
            ASSERT_EQ(host::runReportCommand(file, html, err), 0) << errors.toStdString();
            EXPECT_TRUE(withPlainStatuses(QString::fromUtf8(fileContent(html))).contains(status ? QStringLiteral("1. %1: %2</h2>").arg(title, QLatin1String(status))
                                                                             : QStringLiteral("1. %1</h2>").arg(title)));
            host::MainWindow reopened(plugInHost);
            ASSERT_TRUE(reopened.openFile(file));
            EXPECT_EQ(reopened.sequenceList()->item(0)->text().toStdString(), window.sequenceList()->item(0)->text().toStdString());
        }

        if (!waveform)
            tick(window, names[0], !walk.tickedFirst);
        operatorAction = walk.walk;
        boxAnswers = {walk.answer};
        boxes.clear();
        window.runFrom(0);
        boxAnswers.clear();
        ASSERT_FALSE(stuck);
        const QString title = host::elementTitle(window.sequence().elements()[0]);
        if (walk.walk == Operator::NotApplicable) {
            EXPECT_EQ(boxes, QStringList(QStringLiteral("Not applicable replaces the result of this test (%1).\nMark the test not applicable? No keeps "
                                                        "the result.")
                                             .arg(QLatin1String(status))));
            if (walk.answer == mb::Yes) {
                EXPECT_EQ(window.sequenceList()->item(0)->text(), QStringLiteral("%1  [not applicable]").arg(title));
                continue;
            }
        }
        EXPECT_EQ(window.sequenceList()->item(0)->text(), status ? QStringLiteral("%1  [%2]").arg(title, QLatin1String(status)) : title);
        EXPECT_FALSE(window.isWindowModified());
        ASSERT_TRUE(window.saveFile(file));
        EXPECT_TRUE(fileContent(file) == saved) << fileContent(file).toStdString();
    }
}

TEST_F(SequenceRunTest, AFailedResultIsShownBesideAStandardItFails)
{
    // 5.3 s meets IEC's 15 s, listed first, but not MFR's 5 s.
    setReadings({{"CRG", "5.3"}});
    host::MainWindow window(plugInHost);
    window.show();
    window.addTest(300);
    const QStringList iec = templateStandards(300).value(0);
    const QStringList mfr = templateStandards(400).value(0);
    window.addStandard(iec[0], iec[1]);
    window.addStandard(mfr[0], mfr[1]);
    window.sequence().elements()[0]->Limits()->Standards()->Find(0, mfr[0], mfr[1])->FindLimit(QStringLiteral("CHTI"))->SetValue(elvHigh, 5);

    window.runFrom(0);
    window.runFrom(0); // the guide opens on the result of the first run, and repeats it

    ASSERT_FALSE(stuck);
    EXPECT_EQ(guideOpened, (QStringList{"||IEC 60601-2-4", "Failed||MFR EXAMPLE"}));
    EXPECT_EQ(guideLimits, (QStringList{"MFR EXAMPLE|5 s", "MFR EXAMPLE|5 s"}));
}

TEST_F(SequenceRunTest, ResultsOfARunComeBackWhenTheSequenceIsOpenedAgain)
{
    host::MainWindow window(plugInHost);
    window.show();
    window.addTest(100);
    const QStringList iec = window.standardChoice()->itemData(0).toStringList();
    window.addStandard(iec[0], iec[1]);
    window.runFrom(0);
    const auto& run = window.sequence().elements()[0];
    ASSERT_TRUE(run->Result());
    ASSERT_EQ(run->Result()->Status(), emsPassed);
    run->Result()->SetComment(QStringLiteral("checked by the bench"));

    const host::Sequence again = saveAndReopen(window.sequence());

    const auto reopened = again.elements().value(0);
    ASSERT_TRUE(reopened && reopened->Result());
    EXPECT_EQ(reopened->Result()->Status(), emsPassed);
    EXPECT_EQ(reopened->Result()->Comment(), QStringLiteral("checked by the bench"));
    EXPECT_EQ(reopened->Result()->MTIID(), run->Result()->MTIID());
    EXPECT_EQ(reopened->Result()->Measurement(Variant(QStringLiteral("ENGY")))->value(), Variant(104.2));
}

TEST_F(SequenceRunTest, EveryTestTypeIsAddedSavedOpenedRunAndReopenedWithItsResult)
{
    setReadings(kWithinLimits);
    const QString file = dir.filePath(QStringLiteral("every-type.xml"));
    {
        host::MainWindow window(plugInHost);
        window.show();
        addEveryType(window);
        ASSERT_EQ(window.sequence().elements().size(), 16);
        ASSERT_TRUE(window.saveFile(file));
    }
    host::MainWindow window(plugInHost);
    window.show();
    ASSERT_TRUE(window.openFile(file));
    const auto& run = window.sequence().elements();
    ASSERT_EQ(run.size(), 16);
    EXPECT_TRUE(standardTicks(window, Qt::Unchecked).isEmpty());
    EXPECT_EQ(standardTicks(window, Qt::Checked), (QStringList{"IEC 60601-2-4", "MFR EXAMPLE"}));

    window.runFrom(0);

    EXPECT_FALSE(stuck);
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join(QLatin1Char('\n')).toStdString();
    // Each guide shows the pass it judged, and once a waveform's verdict is ticked the
    // line no longer asks for it.
    EXPECT_EQ(guideStatus.join(QLatin1Char('\n')).toStdString(), QStringList(16, QStringLiteral("Passed|")).join(QLatin1Char('\n')).toStdString());
    for (int row = 0; row < run.size(); ++row) {
        const std::int32_t testId = run[row]->TestID();
        SCOPED_TRACE(testId);
        const auto result = run[row]->Result();
        ASSERT_TRUE(result);
        EXPECT_EQ(result->Status(), emsPassed);
        EXPECT_GT(result->MTIID(), 0);
        EXPECT_TRUE(window.sequenceList()->item(row)->text().endsWith(QStringLiteral("[passed]")));
        if (!judgedByOperator(testId)) {
            EXPECT_GT(run[row]->Limits()->Standards()->Count(), 0) << "the standards came back from the file";
        }
        for (int i = 1; i <= result->MeasurementCount(); ++i)
            EXPECT_FALSE(result->Measurement(Variant(i))->value().isEmpty()) << result->Measurement(Variant(i))->Key().toStdString();
        result->SetComment(QStringLiteral("bench check of test %1").arg(testId));
    }

    ASSERT_TRUE(window.saveFile(file));
    host::MainWindow reopened(plugInHost);
    ASSERT_TRUE(reopened.openFile(file));
    ASSERT_EQ(reopened.sequence().elements().size(), 16);
    for (int row = 0; row < run.size(); ++row) {
        SCOPED_TRACE(run[row]->TestID());
        expectSameResult(run[row]->Result(), reopened.sequence().elements()[row]->Result());
        EXPECT_TRUE(reopened.sequenceList()->item(row)->text().endsWith(QStringLiteral("[passed]")));
    }
}

TEST_F(SequenceRunTest, TheWindowExportsTheReportOfTheRunWithItsReadings)
{
    analyser->scenario().readings[QStringLiteral("CRG")] = QStringLiteral("8.7");
    host::MainWindow window(plugInHost);
    window.show();
    addChargeTimeAndVfibJudgedByTheFirstStandard(window);
    window.runFrom(0);
    ASSERT_FALSE(stuck);
    QTemporaryDir dir;
    ASSERT_TRUE(window.saveFile(dir.filePath(QStringLiteral("defibrillator-check.xml"))));

    const QString htmlFile = dir.filePath(QStringLiteral("report.html"));
    const auto* remove = window.findChild<QPushButton*>(QStringLiteral("removeButton"));
    ASSERT_TRUE(remove);
    const QPoint buttonsAt = remove->mapTo(&window, QPoint());
    ASSERT_TRUE(window.exportReportTo(htmlFile));
    QApplication::processEvents();
    EXPECT_EQ(remove->mapTo(&window, QPoint()), buttonsAt) << "the message in the status line moves nothing";
    QFile file(htmlFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString html = withPlainStatuses(QString::fromUtf8(file.readAll()));
    EXPECT_TRUE(html.contains(QStringLiteral("<h1>Test report: defibrillator-check.xml</h1>")));
    EXPECT_TRUE(html.contains(QRegularExpression(QStringLiteral("<p>Printed \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d</p>"))));
    // Each element under its heading, in sequence order, with its settings, its
    // limits and the readings of the run in its result table.
    const qsizetype first = html.indexOf(QStringLiteral("<h2>1. Charge Time: passed</h2>"));
    const qsizetype second = html.indexOf(QStringLiteral("<h2>2. VFIB Energy: passed</h2>"));
    ASSERT_GE(first, 0);
    ASSERT_GT(second, first);
    const QRegularExpression chargeReading(QStringLiteral("Charge Time</td><td[^>]*></td><td[^>]*>9</td><td[^>]*>s</td>"));
    const qsizetype charge = html.indexOf(chargeReading);
    EXPECT_GT(charge, first);
    EXPECT_LT(charge, second);
    EXPECT_GT(html.indexOf(QStringLiteral(">104.2</td>")), second);
    EXPECT_EQ(html.count(QStringLiteral("IEC 60601-2-4")), 2);
    EXPECT_EQ(html.count(QStringLiteral("Preset Energy")), 2);

    // The report command prints the same readings from the saved file.
    const QString fromFile = dir.filePath(QStringLiteral("from-file.html"));
    QString errors;
    QTextStream err(&errors);
    ASSERT_EQ(host::runReportCommand(dir.filePath(QStringLiteral("defibrillator-check.xml")), fromFile, err), 0) << errors.toStdString();
    QFile saved(fromFile);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QString printed = withPlainStatuses(QString::fromUtf8(saved.readAll()));
    EXPECT_TRUE(printed.contains(QStringLiteral("<h2>1. Charge Time: passed</h2>")));
    EXPECT_TRUE(printed.contains(chargeReading));
    EXPECT_TRUE(printed.contains(QStringLiteral(">104.2</td>")));

    const QString pdfFile = dir.filePath(QStringLiteral("report.pdf"));
    ASSERT_TRUE(window.exportReportTo(pdfFile));
    QFile pdf(pdfFile);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_EQ(pdf.read(5), QByteArray("%PDF-"));
    EXPECT_GT(pdf.size(), 2000);
    const QString shots = qEnvironmentVariable("KELTO_SCREENSHOT_DIR");
    if (!shots.isEmpty())
        window.exportReportTo(shots + QStringLiteral("/report.pdf"));

    EXPECT_TRUE(boxes.isEmpty());
    const QString unwritable = dir.filePath(QStringLiteral("missing/report.pdf"));
    EXPECT_EQ(window.statusBar()->currentMessage(), QStringLiteral("The report is in %1.").arg(shots.isEmpty() ? pdfFile : shots + QStringLiteral("/report.pdf")));
    // It leaves the status line after 10 s.
    Clock::instance().wait(9900);
    EXPECT_FALSE(window.statusBar()->currentMessage().isEmpty());
    Clock::instance().wait(200);
    EXPECT_EQ(window.statusBar()->currentMessage(), QString());
    ASSERT_TRUE(window.exportReportTo(pdfFile));
    EXPECT_FALSE(window.exportReportTo(unwritable));
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].contains(unwritable)) << boxes[0].toStdString();
    EXPECT_EQ(window.statusBar()->currentMessage(), QString()) << "an export that failed says nothing of the one before";
    ASSERT_TRUE(window.exportReportTo(pdfFile));
    window.runFrom(0);
    ASSERT_FALSE(stuck);
    EXPECT_EQ(window.statusBar()->currentMessage(), QString()) << "nor does a later run";
}

TEST_F(SequenceRunTest, AChangeAfterARunAsksFirstAndNeverLeavesTheResultBesideOtherSettingsOrLimits)
{
    QList<int> answers;
    setMessageBoxHandler([&](const MessageBoxRequest& r) {
        boxes.append(r.prompt);
        return answers.isEmpty() ? firstButtonAnswer(r.flags) : answers.takeFirst();
    });
    host::MainWindow window(plugInHost);
    window.show();
    window.addTest(100);
    const QStringList iec = window.standardChoice()->itemData(0).toStringList();
    window.addStandard(iec[0], iec[1]);
    const auto& elements = window.sequence().elements();
    const auto preset = [&] { return query<CConfigEnergySetting>(elements[0]->Configuration())->PresetEnergy(); };
    const auto energyField = [&] { return window.settingsDock()->findChild<QLineEdit*>(QStringLiteral("txtEnergy")); };
    const auto typeEnergy = [&](const char* text) {
        energyField()->selectAll();
        QTest::keyClicks(energyField(), QLatin1String(text));
        QTest::keyClick(energyField(), Qt::Key_Return);
        QApplication::processEvents();
    };
    window.runFrom(0);
    ASSERT_FALSE(stuck);
    const Ptr<ITestElement> run = elements[0];
    ASSERT_TRUE(run->Result());
    ASSERT_EQ(run->Result()->Status(), emsPassed); // 104.2 J at 100 J
    ASSERT_TRUE(energyField());

    // A click changes nothing and asks nothing; No to a change keeps the result and
    // puts back the preset, the limit or the standards it was measured and judged with.
    QTest::mouseClick(energyField(), Qt::LeftButton);
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join(QLatin1Char('\n')).toStdString();
    answers = {mb::No};
    typeEnergy("200");
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].contains(QStringLiteral("\"VFIB Energy\" holds the result of a run (passed)"))) << boxes[0].toStdString();
    EXPECT_EQ(preset(), 100.0f);
    EXPECT_EQ(energyField()->text(), QStringLiteral("100"));
    answers = {mb::No};
    auto* limits = window.limitsDock()->findChild<QTableWidget*>(QStringLiteral("limits"));
    ASSERT_TRUE(limits);
    limits->item(0, host::XLimitView::HighColumn)->setText(QStringLiteral("25"));
    QApplication::processEvents();
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_TRUE(boxes[1].contains(QStringLiteral("\"VFIB Energy\" holds the result of a run (passed), measured and judged with its present "
                                                 "settings and limits. Changing")))
        << boxes[1].toStdString();
    EXPECT_EQ(elements[0]->Limits()->Standards()->Item(0)->FindLimit(QStringLiteral("ENGY"))->Value(elvHigh), 15.0f);
    // A standard that holds no limits for the test says so before anything else.
    answers = {mb::Yes, mb::No};
    window.addStandard(QStringLiteral("MFR EXAMPLE"), templateStandards(1200).value(0).value(1));
    ASSERT_EQ(boxes.size(), 4);
    EXPECT_TRUE(boxes[2].startsWith(QStringLiteral("The template's \"MFR EXAMPLE\" holds no limits for the readings of \"VFIB Energy\"")))
        << boxes[2].toStdString();
    EXPECT_EQ(elements[0]->Limits()->Standards()->Count(), 1);
    EXPECT_EQ(elements[0], run);
    EXPECT_TRUE(run->Result());
    EXPECT_TRUE(window.sequenceList()->item(0)->text().endsWith(QStringLiteral("[passed]")));
    answers = {mb::No};
    window.addStandard(QStringLiteral("MFR EXAMPLE"), templateStandards(1200).value(0).value(1));
    EXPECT_EQ(boxes.size(), 5);
    EXPECT_EQ(elements[0]->Limits()->Standards()->Count(), 1);

    // Yes clears the result, then changes: a standard added, a preset set.
    window.addStandard(QStringLiteral("MFR EXAMPLE"), templateStandards(1200).value(0).value(1));
    EXPECT_EQ(boxes.size(), 7);
    EXPECT_FALSE(elements[0]->Result());
    EXPECT_EQ(elements[0]->Limits()->Standards()->Count(), 2);
    window.runFrom(0);
    ASSERT_FALSE(stuck);
    ASSERT_TRUE(elements[0]->Result());
    // On a saved sequence the cleared result is the change that Close must ask about.
    const QString file = dir.filePath(QStringLiteral("changed.xml"));
    ASSERT_TRUE(window.saveFile(file));
    typeEnergy("200");
    EXPECT_EQ(boxes.size(), 8);
    EXPECT_FALSE(elements[0]->Result());
    EXPECT_EQ(preset(), 200.0f);
    EXPECT_EQ(window.sequenceList()->item(0)->text(), QStringLiteral("VFIB Energy"));
    EXPECT_TRUE(window.isWindowModified());
    answers = {mb::Cancel};
    EXPECT_FALSE(window.close());
    ASSERT_EQ(boxes.size(), 9);
    EXPECT_TRUE(boxes[8].startsWith(QStringLiteral("changed.xml has changes that are not saved, results included."))) << boxes[8].toStdString();

    // Saved and printed, the settings stand without a result beside them.
    ASSERT_TRUE(window.saveFile(file));
    EXPECT_FALSE(fileContent(file).contains("<ResultItem")) << fileContent(file).toStdString();
    QString errors;
    QTextStream err(&errors);
    const QString report = dir.filePath(QStringLiteral("changed.html"));
    ASSERT_EQ(host::runReportCommand(file, report, err), 0) << errors.toStdString();
    EXPECT_TRUE(fileContent(report).contains("<h2>1. VFIB Energy</h2>"));
}

TEST_F(SequenceRunTest, AValueTypedIntoATestedElementIsKeptWholeAndAskedAboutInTheWindowOnceEntered)
{
    // The operator types at speed into whatever holds the keyboard, each key an event
    // of its own, and then answers the box the window shows: a box that came up at the
    // first key would take the keys after it. Every kind of settings panel with a
    // field that keys step through, and every way the entry ends: the question comes
    // before what ends it takes effect, and what then holds is the new setting without
    // the result (a save, also the one New, Open and closing ask for), or the result
    // where the value was typed back.
    enum class End { Enter, Tab, OtherElement, Save, Run, Report, Remove, New, Open, Close, TypedBack };
    struct Typing {
        std::int32_t testId;
        const char* field;
        QList<Qt::Key> keys; // after the field is focused, which selects its text
        const char* entered; // what the field shows once they are typed
        std::function<float(const Ptr<IConfigData>&)> setting;
        End end = End::Enter;
    };
    const auto energy = [](const Ptr<IConfigData>& c) { return query<CConfigEnergySetting>(c)->PresetEnergy(); };
    const auto pulseEnergy = [](const Ptr<IConfigData>& c) { return query<CConfigDefibPulse>(c)->PresetEnergy(); };
    const auto rate = [](const Ptr<IConfigData>& c) { return query<CConfigPacer>(c)->PacerRate(); };
    const auto duration = [](const Ptr<IConfigData>& c) { return static_cast<float>(query<CConfigWaveform>(c)->Duration()); };
    const QList<Qt::Key> k200{Qt::Key_2, Qt::Key_0, Qt::Key_0};
    const QList<Qt::Key> k150{Qt::Key_1, Qt::Key_5, Qt::Key_0};
    const QList<Qt::Key> k70{Qt::Key_7, Qt::Key_0};
    const QList<Qt::Key> right3{Qt::Key_Right, Qt::Key_Right, Qt::Key_Right};
    const Typing typings[] = {
        {100, "txtEnergy", k200, "200", energy},
        {1600, "txtEnergy", k150, "150", pulseEnergy},
        {1200, "txtPresetPacerRate", k70, "70", rate},
        {900, "sldTimeSlider", right3, "10", duration},
        {100, "txtEnergy", k200, "200", energy, End::Tab},
        {1200, "txtPresetPacerRate", k70, "70", rate, End::OtherElement},
        {1600, "txtEnergy", k150, "150", pulseEnergy, End::Save},
        {100, "txtEnergy", k200, "200", energy, End::Run},
        {1200, "txtPresetPacerRate", k70, "70", rate, End::Report},
        {100, "txtEnergy", k200, "200", energy, End::Remove},
        {1600, "txtEnergy", k150, "150", pulseEnergy, End::New},
        {100, "txtEnergy", k200, "200", energy, End::Open},
        {900, "sldTimeSlider", right3, "10", duration, End::Close},
        {100, "txtEnergy", {Qt::Key_1, Qt::Key_0, Qt::Key_0}, "100", energy, End::TypedBack},
    };
    setReadings(kWithinLimits);
    for (const Typing& typing : typings) {
        SCOPED_TRACE(testing::Message() << typing.testId << ", ended by " << int(typing.end));
        host::MainWindow window(plugInHost);
        window.show();
        if (judgedByOperator(typing.testId))
            window.addTest(typing.testId);
        else
            addJudgedByTheFirstStandard(window, typing.testId);
        window.runFrom(0);
        ASSERT_FALSE(stuck);
        const auto& elements = window.sequence().elements();
        ASSERT_TRUE(elements[0]->Result());
        ASSERT_EQ(elements[0]->Result()->Status(), emsPassed);
        if (typing.end == End::OtherElement) {
            window.addTest(300);
            window.selectElement(0);
        }
        const QString file = dir.filePath(QStringLiteral("typed-%1.xml").arg(++saves));
        const QString report = dir.filePath(QStringLiteral("typed-%1.html").arg(saves));
        ASSERT_TRUE(window.saveFile(file));
        const qsizetype count = elements.size();
        const qsizetype guides = guideOpened.size();
        // Nothing of what ends the entry has happened yet.
        const auto untouched = [&] {
            return fileContent(file).contains("<ResultItem") && !QFile::exists(report) && elements.size() == count && guideOpened.size() == guides
                && window.isVisible();
        };
        const auto field = [&] { return window.settingsDock()->findChild<QWidget*>(QLatin1String(typing.field)); };
        const auto shown = [&] {
            const auto* slider = qobject_cast<QSlider*>(field());
            const auto* line = qobject_cast<QLineEdit*>(field());
            return slider ? QString::number(slider->value()) : line ? line->text() : QStringLiteral("(not docked)");
        };
        ASSERT_TRUE(field());
        // The guide had the keyboard until it closed.
        window.activateWindow();
        for (int turn = 0; turn < 10 && QGuiApplication::focusWindow() != window.windowHandle(); ++turn)
            QApplication::processEvents();
        ASSERT_EQ(QGuiApplication::focusWindow(), window.windowHandle());
        field()->setFocus(Qt::TabFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), field());

        const QString title = host::elementTitle(elements[0]);
        QList<Qt::Key> keys = typing.keys;
        if (typing.end == End::Enter || typing.end == End::TypedBack)
            keys.append(Qt::Key_Return);
        else if (typing.end == End::Tab)
            keys.append(Qt::Key_Tab);
        const auto click = [](QWidget* widget, QPoint at = QPoint()) { QTest::mouseClick(widget, Qt::LeftButton, {}, at); };
        const auto button = [&](const QString& text) {
            for (QPushButton* b : window.findChildren<QPushButton*>())
                if (b->text() == text || b->objectName() == text)
                    return b;
            return static_cast<QPushButton*>(nullptr);
        };
        // What ends the entry, as the operator does it, once the keys are typed.
        const auto end = [&] {
            switch (typing.end) {
            case End::OtherElement:
                click(window.sequenceList()->viewport(), window.sequenceList()->visualItemRect(window.sequenceList()->item(1)).center());
                break;
            case End::Save: QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_S, Qt::ControlModifier); break;
            case End::Run: click(button(QStringLiteral("Run from selected test"))); break;
            case End::Report: window.exportReportTo(report); break;
            case End::Remove: click(button(QStringLiteral("removeButton"))); break;
            case End::New: QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_N, Qt::ControlModifier); break;
            case End::Open: QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_O, Qt::ControlModifier); break;
            case End::Close: window.close(); break;
            default: break;
            }
        };
        QStringList asked; // each question about the result, with what the field showed as it came up
        bool beforeTheEnd = true;
        int shownBoxes = 0;
        std::function<void(int)> act = [&](int turn) {
            const auto next = [&act, turn] { QMetaObject::invokeMethod(qApp, [&act, turn] { act(turn + 1); }, Qt::QueuedConnection); };
            if (turn < keys.size()) {
                next(); // comes also while a box this key brings up waits for its answer
                QTest::keyClick(QGuiApplication::focusWindow(), keys[turn]);
                return;
            }
            if (turn < keys.size() + 300)
                next();
            if (turn == keys.size()) {
                end();
                return;
            }
            // Yes to the question, and to saving the changes before New, Open or closing;
            // the file dialog of Open is cancelled.
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
                QTest::keyClick(dialog, Qt::Key_Escape);
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            ++shownBoxes;
            if (box->text().contains(QStringLiteral("holds the result of a run"))) {
                asked << box->text() + QStringLiteral(" | ") + shown();
                beforeTheEnd = beforeTheEnd && untouched();
            }
            QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
        };
        const MessageBoxHandler answeredInTheTest = setMessageBoxHandler({});
        host::installGuiMessageBoxes();
        act(0);
        for (int turn = 0; turn < 400; ++turn)
            QApplication::processEvents();
        setMessageBoxHandler(answeredInTheTest);
        QApplication::processEvents();

        const QString saved = QString::fromUtf8(fileContent(file));
        if (typing.end == End::TypedBack) {
            EXPECT_TRUE(asked.isEmpty()) << asked.join(QLatin1Char('\n')).toStdString();
            EXPECT_EQ(window.sequenceList()->item(0)->text(), QStringLiteral("%1  [passed]").arg(title));
            EXPECT_TRUE(saved.contains(QStringLiteral("<ResultItem")));
            continue;
        }
        ASSERT_EQ(asked.size(), 1);
        EXPECT_TRUE(asked[0].startsWith(QStringLiteral("\"%1\" holds the result of a run (passed").arg(title))) << asked[0].toStdString();
        EXPECT_TRUE(asked[0].contains(QStringLiteral("), measured and judged with its present settings and limits. Changing its settings")))
            << asked[0].toStdString();
        EXPECT_TRUE(asked[0].endsWith(QStringLiteral(" | %1").arg(QLatin1String(typing.entered)))) << asked[0].toStdString();
        EXPECT_TRUE(beforeTheEnd) << "asked before what ended the entry took effect";
        const bool savedAfter = typing.end == End::Save || typing.end == End::New || typing.end == End::Open || typing.end == End::Close;
        // Besides the question, only New, Open and closing ask, whether to save first.
        EXPECT_EQ(shownBoxes, savedAfter && typing.end != End::Save ? 2 : 1);
        EXPECT_EQ(saved.contains(QStringLiteral("<ResultItem")), !savedAfter) << saved.toStdString();
        EXPECT_EQ(saved.contains(QStringLiteral(">%1<").arg(QLatin1String(typing.entered))), savedAfter) << saved.toStdString();
        if (typing.end == End::Close) {
            EXPECT_FALSE(window.isVisible());
            continue;
        }
        if (typing.end == End::Remove || typing.end == End::New) {
            EXPECT_EQ(window.sequenceList()->count(), 0);
            continue;
        }
        if (typing.end == End::Run) {
            ASSERT_TRUE(elements[0]->Result()) << "measured again with the new setting";
            EXPECT_TRUE(window.sequenceList()->item(0)->text().startsWith(title + QStringLiteral("  [")));
        } else {
            EXPECT_EQ(window.sequenceList()->item(0)->text(), title);
            EXPECT_FALSE(elements[0]->Result());
        }
        if (typing.end == End::OtherElement)
            window.selectElement(0);

        EXPECT_EQ(typing.setting(elements[0]->Configuration()), QString::fromLatin1(typing.entered).toFloat());
        ASSERT_TRUE(field());
        EXPECT_EQ(shown(), QLatin1String(typing.entered)) << "the panel docked again shows the setting";
    }
}

TEST_F(SequenceRunTest, AnOperatorWhoFollowsTheBoxesAfterError8030AtTheirPaceGoesOnToAReadingThatReads)
{
    // VFIB Energy started and stopped while "[NRG]" waits, then started again: the
    // operator discharges once the first of its two copies is in, and the analyser
    // (its answers 104.2, then 150) gives lines that show no reading: error 8030. The
    // operator follows the window's boxes at their pace: switches the analyser off,
    // leaves it off 5 s and clicks OK; switches it on, waits 4 s for its main menu and
    // clicks OK; clicks OK at the last. The next Start asks once and reads.
    for (const char* held : {"held=keep", "held=drop", "held=cancel", "held=newest", "held=queue"}) {
        SCOPED_TRACE(held);
        QString error;
        sim::Scenario scenario;
        ASSERT_TRUE(sim::applyFault(scenario, QLatin1String(held), &error));
        scenario.dischargeAfterMs = -1;
        scenario.readings[QStringLiteral("NRG")] = QStringLiteral("104.2|150");
        MComm::ClosePort();
        analyser = std::make_unique<sim::TarvoSimulator>(scenario);
        ASSERT_TRUE(analyser->open(&error)) << error.toStdString();
        host::SerialPortMap::SetSessionPath(1, analyser->devicePath());
        MComm::ForgetAnalyser();
        host::MainWindow window(plugInHost);
        window.show();
        window.addTest(100);

        test::Later later;
        const auto after = [&later](int ms, std::function<void()> action) { later.after(ms, std::move(action)); };
        QStringList said;
        setMessageBoxHandler([&](const MessageBoxRequest& request) {
            said << request.prompt;
            // The operator reads the box for a second, then does what it asks.
            int waitMs = 1000;
            if (request.prompt.startsWith(QStringLiteral("Error #8030")) && said.size() == 1) {
                after(1000, [&] { analyser->setPowered(false); });
                waitMs += 5000;
            } else if (request.prompt.contains(QStringLiteral("Switch it on"))) {
                after(1000, [&] { analyser->setPowered(true); });
                waitMs += 4000;
            }
            // OK at the three boxes the check needs; a fourth one ends it.
            after(waitMs, [cancel = said.size() > 3] {
                auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                ASSERT_TRUE(shown);
                QTest::mouseClick(shown->button(cancel && shown->button(QMessageBox::Cancel) ? QMessageBox::Cancel : QMessageBox::Ok), Qt::LeftButton);
            });
            return host::showGuiMessageBox(request);
        });
        // The discharge lands once the first copy is in, before the second.
        bool raced = false;
        bool firstIn = false;
        const auto in = QObject::connect(analyser.get(), &sim::TarvoSimulator::commandReceived, analyser.get(), [&](const QString& word) {
            firstIn = raced && word == QLatin1String("NRG");
        });
        const auto race = QObject::connect(analyser.get(), &sim::TarvoSimulator::byteReceived, analyser.get(), [&] {
            if (firstIn) {
                raced = firstIn = false;
                analyser->discharge();
            }
        });
        int step = 0;
        qsizetype asksBefore = 0;
        std::unique_ptr<ClockTimer> operatorSteps;
        CTestElementFrame::setGuideObserver([&](CTestElementFrame& element, FTarvoXTestGuide& guide) {
            auto* toolbar = dynamic_cast<host::GuideToolbar*>(guide.xtbToolbar().get());
            ASSERT_NE(toolbar, nullptr);
            const auto click = [toolbar](std::int32_t id) {
                QMetaObject::invokeMethod(qApp, [toolbar, id] { test::clickToolbarButton(*toolbar, id); }, Qt::QueuedConnection);
            };
            operatorSteps = Clock::instance().createTimer();
            operatorSteps->setCallback([&, toolbar, click, begun = Clock::instance().nowMs()] {
                const bool busy = element.runFlags().busy;
                const qint64 now = Clock::instance().nowMs();
                if (step == 0 || step == 5) { // Start
                    asksBefore = analyser->commands().count(QStringLiteral("NRG"));
                    click(guidebutton::Main);
                } else if (step == 1 && analyser->commands().contains(QStringLiteral("NRG"))) { // Stop while it waits
                    click(guidebutton::Main);
                } else if (step == 2 && !busy && analyser->commands().contains(QStringLiteral("Q"))) { // Start again, and discharge in the race
                    raced = true;
                    click(guidebutton::Main);
                } else if ((step == 3 || step == 6) && busy) { // started
                } else if (step == 4 && !busy) { // the check is over
                } else if (step == 7 && analyser->commands().count(QStringLiteral("NRG")) > asksBefore) {
                    after(200, [&] { analyser->discharge(); });
                } else if (step == 8 && !busy && toolbar->button(guidebutton::Next)->isEnabled()) {
                    operatorSteps->stop();
                    click(guidebutton::Main);
                } else {
                    if (now - begun > 10 * 60 * 1000) { // a run that never ends
                        stuck = true;
                        operatorSteps->stop();
                        element.mfrmTestGuide_StopTest();
                        guide.Hide();
                    }
                    return;
                }
                ++step;
            });
            operatorSteps->start(100);
        });
        window.runFrom(0);
        QObject::disconnect(in);
        QObject::disconnect(race);
        CTestElementFrame::setGuideObserver({});
        operatorSteps.reset();

        ASSERT_FALSE(stuck);
        ASSERT_GE(said.size(), 3) << said.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(said[0].startsWith(QStringLiteral("Error #8030\r\nNo reading was taken for [NRG] on "))) << said[0].toStdString();
        EXPECT_TRUE(said[1].contains(QStringLiteral("the link sees it switched off. Switch it on"))) << said[1].toStdString();
        EXPECT_TRUE(said[2].contains(QStringLiteral("answers [VER] again. If you switched it off and on"))) << said[2].toStdString();
        EXPECT_EQ(said.size(), 3) << said.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(analyser->commands().count(QStringLiteral("NRG")) - asksBefore, 1) << "asked once";
        const Ptr<IResultData> result = window.sequence().elements()[0]->Result();
        ASSERT_TRUE(result);
        EXPECT_EQ(result->Measurement(Variant(QStringLiteral("ENGY")))->value(), Variant(150.0));
        EXPECT_EQ(MComm::ReadingsThatMayCome(), 0);
    }
}
