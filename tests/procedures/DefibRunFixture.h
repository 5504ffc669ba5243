#pragma once
// Runs defibrillator test elements end to end in virtual time: the real instrument
// link on a pseudo-terminal with the simulated analyser, the modal guide driven by
// an operator whose actions wait for their moment on the clock, message boxes
// answered and recorded, and a guard that ends a run that gets stuck.

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QToolButton>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "TarvoSimulator.h"
#include "framework/guide/FTarvoXTestGuide.h"
#include "framework/guide/WaveState.h"
#include "host/BasicServices.h"
#include "host/GuideToolbar.h"
#include "host/RegistryKey.h"
#include "host/SerialPortMap.h"
#include "host/TestWizard.h"
#include "host/TestSetup.h"
#include "instrument_link/MComm.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "procedures/CTestElementFrame.h"
#include "tests/support/GuideOperator.h"

namespace kelto::test {

class DefibRunFixture : public ::testing::Test {
protected:
    // One step of the operator: done when its condition holds, in order.
    struct Step {
        std::function<bool()> ready;
        std::function<void()> act;
    };

    void SetUp() override
    {
        QFile::remove(host::RegistryStore::filePath());
        m_previousClock = Clock::install(makeVirtualClock());
        m_previousHandler = setMessageBoxHandler([this](const MessageBoxRequest& request) {
            boxes.push_back(request);
            if (onBox)
                onBox(request);
            if (answers.empty())
                return firstButtonAnswer(request.flags);
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        });
        for (int port = 1; port <= 16; ++port)
            host::SerialPortMap::SetSessionPath(port, QStringLiteral("/nonexistent/tarvo-proc-%1").arg(port));
        host::InstrumentSettings::SetPort(QStringLiteral("TarvoX"), 1);
        host::RegistryKey key;
        key.CreateKey(hkey::LocalMachine, QStringLiteral("Software\\Quilo\\kelto\\TarvoX"));
        key.SetValue(QStringLiteral("CommTimeOut"), 0);
        MComm::gfQueryPrompted = false;
        MComm::ForgetAnalyser();
        gfWaveRunning = false;
        setup = std::make_shared<host::TestSetup>();
        CTestElementFrame::setGuideObserver([this](CTestElementFrame& element, FTarvoXTestGuide& guide) { startOperator(element, guide); });
    }

    void TearDown() override
    {
        CTestElementFrame::setGuideObserver({});
        m_operatorTimer.reset();
        MComm::ClosePort();
        sim.reset();
        for (int port = 1; port <= 16; ++port)
            host::SerialPortMap::SetSessionPath(port, QString());
        setMessageBoxHandler(m_previousHandler);
        gfWaveRunning = false;
        Clock::install(std::move(m_previousClock));
    }

    // A freshly switched-on analyser, which owes no answer to an earlier request.
    sim::TarvoSimulator& analyser(sim::Scenario scenario = {})
    {
        MComm::ForgetAnalyser();
        sim = std::make_unique<sim::TarvoSimulator>(std::move(scenario));
        QString error;
        EXPECT_TRUE(sim->open(&error)) << error.toStdString();
        host::SerialPortMap::SetSessionPath(1, sim->devicePath());
        return *sim;
    }

    // Seconds the pacer refractory test keeps asking (registry "PacerRefractoryTimeout").
    static void setRefractoryTimeout(const Variant& seconds)
    {
        host::RegistryKey key;
        key.CreateKey(hkey::LocalMachine, QStringLiteral("Software\\Quilo\\kelto\\TarvoX"));
        key.SetValue(QStringLiteral("PacerRefractoryTimeout"), seconds);
    }

    static sim::Scenario withFault(const QString& fault, sim::Scenario scenario = {})
    {
        QString error;
        EXPECT_TRUE(sim::applyFault(scenario, fault, &error)) << error.toStdString();
        return scenario;
    }

    // --- the operator ---------------------------------------------------------------
    void then(std::function<bool()> ready, std::function<void()> act) { m_steps.push_back({std::move(ready), std::move(act)}); }
    void then(std::function<void()> act)
    {
        m_steps.push_back({[] { return true; }, std::move(act)});
    }

    // The instruction pane of an element's guide while it is shown.
    static host::TestWizard& instructionPane(CTestElementFrame& element)
    {
        return *dynamic_cast<host::TestWizard*>(element.guide()->xtwDetails().get());
    }

    bool running() const { return m_element && m_element->runFlags().busy; }
    bool idle() const { return m_element && !m_element->runFlags().busy; }
    host::GuideToolbar* toolbar() const { return m_guide ? dynamic_cast<host::GuideToolbar*>(m_guide->xtbToolbar().get()) : nullptr; }
    // The run is over: StartTest has put the toolbar back to its idle mode.
    bool runOver() const { return idle() && toolbar() && toolbar()->runState() != 1; }
    bool nextOffered() const { return toolbar() && toolbar()->Item(guidebutton::Next)->Enabled(); }
    // The guide's popup asks for something ("Defibrillate Now").
    bool popupShown() const { return m_guide && m_guide->xtipopup() && !m_guide->xtipopup()->isHidden(); }
    // What the popup says; empty while it is hidden.
    QString popupText() const { return popupShown() ? m_guide->xtipopup()->helpText()->text() : QString(); }

    // Clicks a button as the operator does: only one the toolbar shows.
    void click(std::int32_t id)
    {
        ASSERT_NE(toolbar(), nullptr);
        ASSERT_TRUE(toolbar()->button(id)->isVisible()) << "item " << id << " is not shown";
        // The steps after this one wait with it, as they rely on its click.
        if (id == guidebutton::Main) {
            m_waiting = true;
            waitForMainButton(*toolbar());
            m_waiting = false;
        }
        QTest::mouseClick(toolbar()->button(id), Qt::LeftButton);
    }
    void start() { click(guidebutton::Main); }
    // With an evaluated result the main button offers Next; the menu repeats the test.
    void repeat()
    {
        ASSERT_NE(toolbar(), nullptr);
        toolbar()->menu()->actions().first()->trigger();
    }
    // The operator's verdict on a played waveform, in the result grid.
    void tick(int column) { tickVerdict(*m_guide, column); }
    // The main button stops a run (the Stop item itself is disabled while it runs).
    void stop() { click(guidebutton::Main); }
    // Once Next is offered the main button reads "Next" and item 103 steps aside.
    void next()
    {
        ASSERT_NE(toolbar(), nullptr);
        ASSERT_EQ(toolbar()->button(guidebutton::Main)->text(), QStringLiteral("Next"));
        click(guidebutton::Main);
    }
    // After a stopped or failed run Next is not offered; the operator goes back.
    void previous() { click(guidebutton::Previous); }

    // Stops the run once ready() holds and leaves with Previous when it is idle again;
    // the result holds the virtual milliseconds from the stop to the idle run.
    std::shared_ptr<qint64> stopThenLeave(std::function<bool()> ready)
    {
        auto stoppedAt = std::make_shared<qint64>(-1);
        auto stopToIdleMs = std::make_shared<qint64>(-1);
        then(std::move(ready), [this, stoppedAt] {
            *stoppedAt = Clock::instance().nowMs();
            stop();
        });
        then([this] { return idle(); },
            [this, stoppedAt, stopToIdleMs] {
                *stopToIdleMs = Clock::instance().nowMs() - *stoppedAt;
                previous();
            });
        return stopToIdleMs;
    }

    // Performs the element and returns when its guide has closed.
    void perform(const Ptr<CTestElementFrame>& element)
    {
        QElapsedTimer real;
        real.start();
        element->Perform(setup);
        EXPECT_FALSE(stuck) << "the run was ended by the guard";
        EXPECT_TRUE(m_steps.empty()) << m_steps.size() << " operator steps left";
        m_operatorTimer.reset();
        m_element = nullptr;
        m_guide = nullptr;
    }

    int boxesContaining(const QString& text) const
    {
        int n = 0;
        for (const MessageBoxRequest& box : boxes)
            n += box.prompt.contains(text) ? 1 : 0;
        return n;
    }

    Ptr<host::TestSetup> setup;
    std::unique_ptr<sim::TarvoSimulator> sim;
    std::vector<MessageBoxRequest> boxes;
    // What the operator does before answering a box.
    std::function<void(const MessageBoxRequest&)> onBox;
    std::deque<int> answers; // to the boxes shown next; then each box's first button
    bool stuck = false;
    qint64 guardMs = 30 * 60 * 1000; // virtual time a run may take

private:
    void startOperator(CTestElementFrame& element, FTarvoXTestGuide& guide)
    {
        m_element = &element;
        m_guide = &guide;
        const qint64 begun = Clock::instance().nowMs();
        m_operatorTimer = Clock::instance().createTimer();
        m_operatorTimer->setCallback([this, begun] {
            if (Clock::instance().nowMs() - begun > guardMs && !stuck) {
                stuck = true;
                m_steps.clear();
                m_element->mfrmTestGuide_StopTest();
                m_guide->Hide();
                return;
            }
            if (m_waiting || m_steps.empty() || !m_steps.front().ready())
                return;
            auto act = std::move(m_steps.front().act);
            m_steps.pop_front();
            // Run from the event loop, not inside this tick: an action may run a
            // whole measurement, during which this timer must keep ticking.
            QMetaObject::invokeMethod(qApp, std::move(act), Qt::QueuedConnection);
        });
        m_operatorTimer->start(100);
    }

    std::deque<Step> m_steps;
    bool m_waiting = false; // a step waits for the main button to take clicks
    CTestElementFrame* m_element = nullptr;
    FTarvoXTestGuide* m_guide = nullptr;
    std::unique_ptr<ClockTimer> m_operatorTimer;
    std::unique_ptr<Clock> m_previousClock;
    MessageBoxHandler m_previousHandler;
};

} // namespace kelto::test
