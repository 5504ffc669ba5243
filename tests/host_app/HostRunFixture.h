#pragma once
// The whole road of a test: the window runs a sequence, each element opens its
// guide, the operator starts the measurement (ticks a verdict for a waveform) and
// goes on with Next; the link talks to the simulated analyser on a pseudo-terminal;
// all of it in virtual time.

#include <QComboBox>
#include <QLineEdit>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <QWidget>
#include <gtest/gtest.h>

#include "TarvoSimulator.h"
#include "framework/guide/FTarvoXTestGuide.h"
#include "framework/guide/XMTIData.h"
#include "host/BasicServices.h"
#include "host/GuideToolbar.h"
#include "host/RegistryKey.h"
#include "host/SerialPortMap.h"
#include "host/TestSetup.h"
#include "host/XmlDocument.h"
#include "host/app/MainWindow.h"
#include "host/app/PlugInHost.h"
#include "instrument_link/MComm.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/interfaces/Standards.h"
#include "platform/interfaces/TestData.h"
#include "procedures/CTestElementFrame.h"
#include "tests/support/GuideOperator.h"
#include "tests/support/TestStandards.h"

namespace kelto::test {

class HostRunFixture : public ::testing::Test {
protected:
    // How the operator ends each guide.
    enum class Operator { RunThenNext, NotApplicable, StartThenSkip, StartThenPrevious, NextWithoutRun, PreviousWithoutRun, Skip, Abort };
    // How a repeat that RunThenNext asks for once the run has judged its reading ends
    // without one: Stop before the shock, no analyser on the line, the analyser
    // switched off, or the cable pulled while it waits for the reading; a waveform
    // played again and not ticked; a repeat that measures, then one stopped.
    enum class Repeat { None, Stopped, NoAnalyser, SwitchedOff, Pulled, Played, MeasuredThenStopped };

    void SetUp() override
    {
        QFile::remove(host::RegistryStore::filePath());
        previousClock = Clock::install(makeVirtualClock());
        previousBoxes = setMessageBoxHandler([this](const MessageBoxRequest& r) {
            boxes.append(r.prompt);
            return boxAnswers.isEmpty() ? firstButtonAnswer(r.flags) : boxAnswers.takeFirst();
        });
        host::RegistryKey key;
        key.CreateKey(hkey::LocalMachine, QStringLiteral("Software\\Quilo\\kelto\\TarvoX"));
        key.SetValue(QStringLiteral("Configuration"), QStringLiteral(KELTO_SHIPPED_TEMPLATE));
        key.SetValue(QStringLiteral("CommTimeOut"), 0);
        key.SetValue(QStringLiteral("PacerRefractoryTimeout"), 120); // the sensed period comes in time
        host::InstrumentSettings::SetPort(QStringLiteral("TarvoX"), 1);
        sim::Scenario scenario;
        scenario.dischargeAfterMs = 3000; // the operator discharges three seconds after the charge
        scenario.readings[QStringLiteral("NRG")] = QStringLiteral("104.2"); // 100 J set, within 15 %
        analyser = std::make_unique<sim::TarvoSimulator>(scenario);
        QString error;
        ASSERT_TRUE(analyser->open(&error)) << error.toStdString();
        host::SerialPortMap::SetSessionPath(1, analyser->devicePath());
        ASSERT_TRUE(plugInHost.load()) << plugInHost.error().description().toStdString();
        CTestElementFrame::setGuideObserver([this](CTestElementFrame& element, FTarvoXTestGuide& guide) { operate(element, guide); });
    }

    void TearDown() override
    {
        CTestElementFrame::setGuideObserver({});
        operatorTimer.reset();
        MComm::ClosePort();
        analyser.reset();
        host::SerialPortMap::SetSessionPath(1, QString());
        setMessageBoxHandler(previousBoxes);
        Clock::install(std::move(previousClock));
    }

    static bool judgedByOperator(std::int32_t testId) { return testId == 900 || testId == 1000 || testId == 1100; }

    // Start at once; a waveform gets the verdict once it has played; once Next is
    // offered, take a picture of the first guide and go on. A guard ends a run that
    // never finishes.
    void operate(CTestElementFrame& element, FTarvoXTestGuide& guide)
    {
        auto* toolbar = dynamic_cast<host::GuideToolbar*>(guide.xtbToolbar().get());
        ASSERT_NE(toolbar, nullptr);
        const auto click = [toolbar](std::int32_t id) {
            QMetaObject::invokeMethod(qApp, [toolbar, id] { clickToolbarButton(*toolbar, id); }, Qt::QueuedConnection);
        };
        const XMTIData* tab = guide.xmdMtiData();
        analyserTabs.append(tab->modelList()->currentText() + QLatin1Char('|') + tab->serialBox()->text() + QLatin1Char('|')
            + tab->firmwareBox()->text());
        const qint64 begun = Clock::instance().nowMs();
        const bool judge = judgedByOperator(element.TestID());
        bool started = false;
        bool judged = false;
        qint64 repeated = -1; // when the last repeat was asked for
        int repeats = 0;
        bool repeatEnded = false;
        bool analyserChanged = false;
        operatorTimer = Clock::instance().createTimer();
        operatorTimer->setCallback([this, &element, &guide, toolbar, click, begun, judge, started, judged, repeated, repeats, repeatEnded,
                                       analyserChanged]() mutable {
            if (Clock::instance().nowMs() - begun > 30 * 60 * 1000) {
                stuck = true;
                operatorTimer->stop();
                element.mfrmTestGuide_StopTest();
                guide.Hide();
                return;
            }
            if (operatorAction == Operator::NotApplicable) {
                operatorTimer->stop();
                guideOpened.append(opened(*toolbar));
                QMetaObject::invokeMethod(qApp, [toolbar] {
                    clickToolbarButton(*toolbar, guidebutton::NotApplicable);
                    // No to the question over a verdict leaves the guide open: the operator goes on.
                    if (toolbar->widget()->isVisible())
                        clickToolbarButton(*toolbar, guidebutton::Main);
                }, Qt::QueuedConnection);
                return;
            }
            if (operatorAction == Operator::NextWithoutRun || operatorAction == Operator::PreviousWithoutRun || operatorAction == Operator::Skip
                || operatorAction == Operator::Abort) {
                operatorTimer->stop();
                guideOpened.append(opened(*toolbar));
                // With a result the main button reads "Next".
                click(operatorAction == Operator::NextWithoutRun       ? guidebutton::Main
                        : operatorAction == Operator::PreviousWithoutRun ? guidebutton::Previous
                        : operatorAction == Operator::Skip               ? guidebutton::Skip
                                                                         : guidebutton::Abort);
                return;
            }
            if (operatorAction == Operator::StartThenSkip || operatorAction == Operator::StartThenPrevious) {
                // A start that cannot measure is over once its click returns.
                operatorTimer->stop();
                const std::int32_t leave = operatorAction == Operator::StartThenSkip ? guidebutton::Skip : guidebutton::Previous;
                QMetaObject::invokeMethod(qApp, [toolbar, leave] {
                    QTest::mouseClick(toolbar->button(guidebutton::Main), Qt::LeftButton);
                    QTest::mouseClick(toolbar->button(leave), Qt::LeftButton);
                }, Qt::QueuedConnection);
                return;
            }
            if (!started) {
                started = true;
                guideOpened.append(opened(*toolbar));
                if (!analyserEntered.isEmpty()) {
                    guide.xmdMtiData()->serialBox()->setText(analyserEntered.value(0));
                    guide.xmdMtiData()->firmwareBox()->setText(analyserEntered.value(1));
                }
                // A result held from an earlier run offers Next: the operator repeats the test.
                if (toolbar->button(guidebutton::Next)->isEnabled())
                    QMetaObject::invokeMethod(qApp, [toolbar] { toolbar->menu()->actions().value(0)->trigger(); }, Qt::QueuedConnection);
                else
                    click(guidebutton::Main);
                return;
            }
            // A second into the repeat, before the shock.
            if (repeated >= 0 && !repeatEnded && element.runFlags().busy && Clock::instance().nowMs() - repeated >= 1000) {
                repeatEnded = true;
                if (repeat == Repeat::Stopped || (repeat == Repeat::MeasuredThenStopped && repeats == 2))
                    click(guidebutton::Main);
                else if (repeat == Repeat::Pulled)
                    analyser->vanish();
                return;
            }
            if (element.runFlags().busy)
                return;
            if (judge && !judged && toolbar->runState() != 1) {
                judged = true;
                tickVerdict(guide, verdictColumn);
                return;
            }
            if (!toolbar->button(guidebutton::Next)->isEnabled())
                return;
            // Once the reading is judged the operator enters another analyser in the tab.
            if (!analyserChangedTo.isEmpty() && !analyserChanged) {
                analyserChanged = true;
                guide.xmdMtiData()->serialBox()->setText(analyserChangedTo);
            }
            if (repeat != Repeat::None && repeats < (repeat == Repeat::MeasuredThenStopped ? 2 : 1)) {
                ++repeats;
                repeatEnded = false;
                repeated = Clock::instance().nowMs();
                if (repeat == Repeat::NoAnalyser)
                    host::SerialPortMap::SetSessionPath(1, QStringLiteral("/nonexistent/tarvo-host-1"));
                else if (repeat == Repeat::SwitchedOff)
                    analyser->setPowered(false);
                QMetaObject::invokeMethod(qApp, [toolbar] { toolbar->menu()->actions().value(0)->trigger(); }, Qt::QueuedConnection);
                return;
            }
            operatorTimer->stop();
            const QString shots = qEnvironmentVariable("KELTO_SCREENSHOT_DIR");
            if (!shots.isEmpty() && ++guidesSeen == 1) {
                if (QWidget* window = toolbar->widget() ? toolbar->widget()->window() : nullptr)
                    window->grab().save(shots + QStringLiteral("/guide-window.png"));
            }
            // With Next offered, the main button reads "Next" and item 103 steps aside.
            EXPECT_EQ(toolbar->button(guidebutton::Main)->text(), QStringLiteral("Next"));
            EXPECT_TRUE(toolbar->button(guidebutton::Next)->isHidden());
            guideStatus.append(toolbar->statusBadge()->text() + QLatin1Char('|') + toolbar->statusText()->text());
            guideLooks.append(toolbar->statusBadge()->styleSheet());
            guideLimits.append(toolbar->standardSelector()->currentText() + QLatin1Char('|') + limitCells(guide));
            click(leaveWith);
        });
        operatorTimer->start(100);
    }

    // The limit cells of the guide's list of readings that show a limit, high then low.
    static QString limitCells(const FTarvoXTestGuide& guide)
    {
        QStringList shown;
        const auto* list = guide.embeddedControl() ? guide.embeddedControl()->findChild<QTreeWidget*>(QStringLiteral("lvwResult")) : nullptr;
        for (int row = 0; list && row < list->topLevelItemCount(); ++row) {
            for (int column : {2, 3}) {
                if (!list->topLevelItem(row)->text(column).trimmed().isEmpty())
                    shown << list->topLevelItem(row)->text(column);
            }
        }
        return shown.join(QLatin1Char(' '));
    }

    // The guide as it opens: "Passed|status line|the standard whose limits it shows".
    static QString opened(host::GuideToolbar& toolbar)
    {
        return toolbar.statusBadge()->text() + QLatin1Char('|') + toolbar.statusText()->text() + QLatin1Char('|')
            + toolbar.standardSelector()->currentText();
    }

    // Adds a test with the first standard of the template.
    static void addJudgedByTheFirstStandard(host::MainWindow& window, std::int32_t testId)
    {
        window.addTest(testId);
        const QStringList first = window.standardChoice()->itemData(0).toStringList();
        window.addStandard(first[0], first[1]);
    }

    // A charge-time and a VFIB-energy test, each with the first standard of the template.
    static void addChargeTimeAndVfibJudgedByTheFirstStandard(host::MainWindow& window)
    {
        addJudgedByTheFirstStandard(window, 300);
        addJudgedByTheFirstStandard(window, 100);
    }

    // Adds every test type the window lists, each with the template's standards for
    // it; the window ticks every standard the sequence holds.
    void addEveryType(host::MainWindow& window)
    {
        for (int row = 0; row < window.testList()->topLevelItemCount(); ++row)
            window.addTest(window.testList()->topLevelItem(row)->data(0, Qt::UserRole).toInt());
        for (int row = 0; row < window.sequence().elements().size(); ++row) {
            window.selectElement(row);
            for (const QStringList& names : templateStandards(window.sequence().elements()[row]->TestID()))
                window.addStandard(names[0], names[1]);
        }
    }

    // The alpha names of the standards the window lists for the run, ticked or not.
    static QStringList standardTicks(const host::MainWindow& window, Qt::CheckState state)
    {
        QStringList names;
        for (int row = 0; row < window.standardTicks()->count(); ++row) {
            if (window.standardTicks()->item(row)->checkState() == state)
                names << window.standardTicks()->item(row)->text();
        }
        return names;
    }

    // Ticks or unticks a standard by its alpha name, as the operator clicks its box.
    static void tick(host::MainWindow& window, const QString& alphaName, bool on)
    {
        QListWidget* ticks = window.standardTicks();
        for (int row = 0; row < ticks->count(); ++row) {
            QListWidgetItem* item = ticks->item(row);
            if (item->text() != alphaName)
                continue;
            if ((item->checkState() == Qt::Checked) != on) {
                const QRect box = ticks->visualItemRect(item);
                // The check box sits at the start of the row.
                QTest::mouseClick(ticks->viewport(), Qt::LeftButton, {}, QPoint(box.left() + box.height() / 2, box.center().y()));
            }
            EXPECT_EQ(item->checkState() == Qt::Checked, on) << alphaName.toStdString();
            return;
        }
        ADD_FAILURE() << "no standard " << alphaName.toStdString() << " to tick";
    }

    // Alpha and complete names of the standards the template gives a test type.
    QList<QStringList> templateStandards(std::int32_t testId) const
    {
        QList<QStringList> names;
        for (const Ptr<ITestElement>& prototype : plugInHost.tests()) {
            const Ptr<IStandardCollection> standards = prototype->TestID() == testId ? prototype->Limits()->Standards() : nullptr;
            for (int i = 0; standards && i < standards->Count(); ++i)
                names.append({standards->Item(i)->AlphaName(), standards->Item(i)->CompleteName()});
        }
        return names;
    }

    void setReadings(const QList<std::pair<const char*, const char*>>& readings)
    {
        for (const auto& [word, reply] : readings)
            analyser->scenario().readings[QLatin1String(word)] = QLatin1String(reply);
    }

    // The result as the sequence file holds it: status and its text, comment, MTI id,
    // service record and every measurement.
    static QString savedForm(const Ptr<IResultData>& result)
    {
        auto doc = std::make_shared<host::XmlDocument>();
        doc->SetDocumentElement(result->Save(doc));
        return doc->Xml();
    }

    static QString statusText(const Ptr<IResultData>& result)
    {
        auto doc = std::make_shared<host::XmlDocument>();
        const auto status = result->Save(doc)->FindChild(QStringLiteral("Status"));
        return status ? status->Text() : QString();
    }

    // A reopened result gives back everything the saved one held.
    static void expectSameResult(const Ptr<IResultData>& saved, const Ptr<IResultData>& reopened)
    {
        ASSERT_TRUE(saved);
        ASSERT_TRUE(reopened);
        EXPECT_EQ(reopened->Status(), saved->Status());
        EXPECT_EQ(statusText(reopened), statusText(saved));
        EXPECT_EQ(reopened->Comment(), saved->Comment());
        EXPECT_EQ(reopened->MTIID(), saved->MTIID());
        ASSERT_EQ(reopened->MeasurementCount(), saved->MeasurementCount());
        for (int i = 1; i <= saved->MeasurementCount(); ++i) {
            const auto before = saved->Measurement(Variant(i));
            const auto after = reopened->Measurement(Variant(i));
            ASSERT_TRUE(before && after) << i;
            EXPECT_EQ(after->Key(), before->Key());
            EXPECT_EQ(after->value(), before->value()) << before->Key().toStdString();
            EXPECT_EQ(after->Status(), before->Status()) << before->Key().toStdString();
        }
        EXPECT_EQ(savedForm(reopened), savedForm(saved));
    }

    // Saves the sequence and opens the file in a new sequence.
    host::Sequence saveAndReopen(const host::Sequence& sequence)
    {
        const QString file = dir.filePath(QStringLiteral("reopened-%1.xml").arg(++saves));
        QString error;
        EXPECT_TRUE(sequence.save(file, &error)) << error.toStdString();
        host::Sequence again;
        EXPECT_TRUE(again.load(file, *plugInHost.plugIn(), &error)) << error.toStdString();
        return again;
    }

    host::PlugInHost plugInHost;
    std::unique_ptr<sim::TarvoSimulator> analyser;
    std::unique_ptr<ClockTimer> operatorTimer;
    std::unique_ptr<Clock> previousClock;
    MessageBoxHandler previousBoxes;
    QStringList boxes;
    QList<int> boxAnswers; // to the boxes shown next; then each box's first button
    QTemporaryDir dir;
    Operator operatorAction = Operator::RunThenNext;
    Repeat repeat = Repeat::None;
    int verdictColumn = kVerdictPassedColumn;
    // Each guide's status and status line as the operator leaves it: "Passed|...".
    QStringList guideStatus;
    // ... and the look of its badge (its style sheet).
    QStringList guideLooks;
    // ... and its standard with the limits shown beside the readings: "IEC ...|15 s".
    QStringList guideLimits;
    // Each guide's analyser identity tab as it opens: "model|serial|firmware".
    QStringList analyserTabs;
    // Serial number and firmware the operator enters in the identity tab before Start.
    QStringList analyserEntered;
    // The serial number entered there once the run has judged its reading (none: empty).
    QString analyserChangedTo;
    // The button RunThenNext leaves the guide with once Next is offered.
    std::int32_t leaveWith = guidebutton::Main;
    // ... and as it opens, with the standard whose limits it shows: "Passed|...|IEC ...".
    QStringList guideOpened;
    bool stuck = false;
    int guidesSeen = 0;
    int saves = 0;
};

} // namespace kelto::test
