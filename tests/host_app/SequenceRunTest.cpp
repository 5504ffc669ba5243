#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTest>
#include <QToolButton>
#include <QWidget>
#include <gtest/gtest.h>

#include "TarvoSimulator.h"
#include "framework/guide/FTarvoXTestGuide.h"
#include "host/BasicServices.h"
#include "host/GuideToolbar.h"
#include "host/RegistryKey.h"
#include "host/SerialPortMap.h"
#include "host/app/MainWindow.h"
#include "host/app/PlugInHost.h"
#include "instrument_link/MComm.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/interfaces/TestData.h"
#include "procedures/CTestElementFrame.h"

using namespace kelto;

namespace {

// The whole road of a test: the window runs a sequence, each element opens its
// guide, the operator starts the measurement and goes on with Next; the link talks
// to the simulated analyser on a pseudo-terminal; all of it in virtual time.
class SequenceRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QFile::remove(host::RegistryStore::filePath());
        previousClock = Clock::install(makeVirtualClock());
        previousBoxes = setMessageBoxHandler([this](const MessageBoxRequest& r) {
            boxes.append(r.prompt);
            return firstButtonAnswer(r.flags);
        });
        host::RegistryKey key;
        key.CreateKey(hkey::LocalMachine, QStringLiteral("Software\\Quilo\\kelto\\TarvoX"));
        key.SetValue(QStringLiteral("Configuration"), QStringLiteral(KELTO_SHIPPED_TEMPLATE));
        key.SetValue(QStringLiteral("CommTimeOut"), 0);
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

    // Start at once; once the run is over and Next is offered, take a picture of
    // the first guide and go on. A guard ends a run that never finishes.
    void operate(CTestElementFrame& element, FTarvoXTestGuide& guide)
    {
        auto* toolbar = dynamic_cast<host::GuideToolbar*>(guide.xtbToolbar().get());
        ASSERT_NE(toolbar, nullptr);
        const qint64 begun = Clock::instance().nowMs();
        bool started = false;
        operatorTimer = Clock::instance().createTimer();
        operatorTimer->setCallback([this, &element, &guide, toolbar, begun, started]() mutable {
            if (Clock::instance().nowMs() - begun > 10 * 60 * 1000) {
                stuck = true;
                operatorTimer->stop();
                element.mfrmTestGuide_StopTest();
                guide.Hide();
                return;
            }
            if (!started) {
                started = true;
                QMetaObject::invokeMethod(qApp, [toolbar] { QTest::mouseClick(toolbar->button(guidebutton::Main), Qt::LeftButton); }, Qt::QueuedConnection);
                return;
            }
            if (element.runFlags().busy || !toolbar->button(guidebutton::Next)->isEnabled())
                return;
            operatorTimer->stop();
            const QString shots = qEnvironmentVariable("KELTO_SCREENSHOT_DIR");
            if (!shots.isEmpty() && ++guidesSeen == 1) {
                if (QWidget* window = toolbar->widget() ? toolbar->widget()->window() : nullptr)
                    window->grab().save(shots + QStringLiteral("/guide-window.png"));
            }
            // With Next offered, the main button reads "Next" and item 103 steps aside.
            EXPECT_EQ(toolbar->button(guidebutton::Main)->text(), QStringLiteral("Next"));
            EXPECT_TRUE(toolbar->button(guidebutton::Next)->isHidden());
            QMetaObject::invokeMethod(qApp, [toolbar] { QTest::mouseClick(toolbar->button(guidebutton::Main), Qt::LeftButton); }, Qt::QueuedConnection);
        });
        operatorTimer->start(100);
    }

    host::PlugInHost plugInHost;
    std::unique_ptr<sim::TarvoSimulator> analyser;
    std::unique_ptr<ClockTimer> operatorTimer;
    std::unique_ptr<Clock> previousClock;
    MessageBoxHandler previousBoxes;
    QStringList boxes;
    bool stuck = false;
    int guidesSeen = 0;
};

} // namespace

TEST_F(SequenceRunTest, TheWindowRunsASequenceAgainstTheAnalyserAndEvaluatesEachTest)
{
    host::MainWindow window(plugInHost);
    window.resize(1100, 650);
    window.show();
    window.addTest(300);
    window.addTest(100);
    const QStringList iec = window.standardChoice()->itemData(0).toStringList();
    for (int row : {0, 1}) {
        window.selectElement(row);
        window.addStandard(iec[0], iec[1]);
    }

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
