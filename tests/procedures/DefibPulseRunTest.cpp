// The pulse repetition test in virtual time: one 300-second window in which the
// operator discharges again and again, ten times on battery and fifteen on mains.

#include <QRegularExpression>
#include <cmath>

#include "host/TestWizard.h"
#include "procedures/defibrillator/CTestDefibPulse.h"
#include "tests/procedures/ProcedureLimits.h"
#include "tests/procedures/DefibRunFixture.h"

namespace kelto::test {
namespace {

class DefibPulseRun : public DefibRunFixture {
protected:
    void SetUp() override
    {
        DefibRunFixture::SetUp();
        sim::Scenario scenario;
        scenario.dischargeAfterMs = -1;
        analyser(scenario);
        // Energies within 15 % of the preset pass; a missing one fails.
        limitTo(element, setup, QStringLiteral("ENGY"), 230, 170);
        config()->SetPresetEnergy(200);
    }

    Ptr<CTestDefibPulse> element = makeTestElement<CTestDefibPulse>();

    Ptr<CConfigDefibPulse> config() const { return query<CConfigDefibPulse>(element->Configuration()); }
    Ptr<CResultDefibPulse> result() const { return query<CResultDefibPulse>(element->Result()); }
    Ptr<CMeasurement> energy(int n) const { return result()->FindMeasurement(QStringLiteral("ENGY%1").arg(n)); }
    int polls() const { return static_cast<int>(sim->commands().count(QStringLiteral("NRG"))); }
    QStringList pane() const { return instructionPane(*element).lines(); }

    void dischargeOnPoll(int n, const QString& joules, qint64 notBefore = 0)
    {
        then([this, n, notBefore] { return polls() >= n && Clock::instance().nowMs() >= notBefore; },
            [this, joules] {
                sim->scenario().readings[QStringLiteral("NRG")] = joules;
                sim->discharge();
            });
    }
};

TEST_F(DefibPulseRun, batteryOperatedRunEndsAfterTheTenthDischarge)
{
    config()->SetBatteryOperated(true);
    QStringList statusLines;
    then([&] { start(); });
    dischargeOnPoll(1, QStringLiteral("196"), 5000);
    // The status lines of the first discharge stand until the next poll.
    then([&] { return pane().size() == 5; }, [&] { statusLines = pane(); });
    for (int n = 2; n <= 10; ++n)
        dischargeOnPoll(n, QString::number(195 + n));
    then([&] { return idle(); }, [&] { next(); });
    perform(element);

    ASSERT_TRUE(result());
    EXPECT_EQ(result()->MeasurementCount(), 10);
    for (int n = 1; n <= 10; ++n)
        EXPECT_EQ(energy(n)->Value(), Variant(195.0 + n)) << n;
    EXPECT_EQ(polls(), 10);
    EXPECT_EQ(result()->Status(), emsPassed);
    EXPECT_EQ(setup->finished().size(), 1);
    EXPECT_TRUE(boxes.empty());
    EXPECT_LT(Clock::instance().nowMs(), 60000) << "the window closes at once after the last discharge";
    ASSERT_EQ(statusLines.size(), 5);
    EXPECT_EQ(statusLines[0].toStdString(), "Last Measured ");
    EXPECT_EQ(statusLines[1], QStringLiteral("Energy                         : 196 J"));
    EXPECT_EQ(statusLines[2], QStringLiteral("Total Discharge count  : 1"));
    // The seconds gone and left of the five-minute window.
    const QRegularExpression elapsed(QStringLiteral("^Elapsed total time         : (\\d+)s$"));
    const QRegularExpression remaining(QStringLiteral("^Time remaining             : (\\d+)s$"));
    const QRegularExpressionMatch gone = elapsed.match(statusLines[3]);
    const QRegularExpressionMatch left = remaining.match(statusLines[4]);
    ASSERT_TRUE(gone.hasMatch()) << statusLines[3].toStdString();
    ASSERT_TRUE(left.hasMatch()) << statusLines[4].toStdString();
    EXPECT_GE(gone.captured(1).toInt(), 4) << "discharged five seconds into the run";
    EXPECT_EQ(gone.captured(1).toInt() + left.captured(1).toInt(), 300);
}

TEST_F(DefibPulseRun, resultLeftUnjudgedOnMainsTakesTheSizeOfABatteryRun)
{
    // A fifteen-place result of mains operation, never judged (as a file keeps one),
    // stays through a guide left without a run; the device is then set to battery
    // operation.
    auto unjudged = std::make_shared<CResultDefibPulse>();
    unjudged->Initialize(config());
    element->elementBase()->SetResult(unjudged);
    then([&] { return true; }, [&] { previous(); });
    perform(element);
    ASSERT_EQ(result(), unjudged);
    ASSERT_EQ(result()->Status(), emsNone);
    ASSERT_EQ(result()->MeasurementCount(), 15);

    config()->SetBatteryOperated(true);
    then([&] { start(); });
    for (int n = 1; n <= 10; ++n)
        dischargeOnPoll(n, QStringLiteral("200"));
    then([&] { return idle(); }, [&] { next(); });
    perform(element);

    EXPECT_EQ(result()->MeasurementCount(), 10);
    EXPECT_EQ(result()->Status(), emsPassed) << "ten good discharges are the whole run";
}

TEST_F(DefibPulseRun, windowRunningOutKeepsTheDischargesTakenAndTheEvaluationDecides)
{
    then([&] { start(); });
    dischargeOnPoll(1, QStringLiteral("201.5"));
    dischargeOnPoll(2, QStringLiteral("199"), 100000);
    then([&] { return idle(); }, [&] { next(); });
    perform(element);

    EXPECT_TRUE(boxes.empty()) << "fewer discharges than asked give no message";
    EXPECT_EQ(energy(1)->Value(), Variant(201.5));
    EXPECT_EQ(energy(2)->Value(), Variant(199.0));
    EXPECT_TRUE(energy(3)->Value().isEmpty());
    EXPECT_EQ(result()->MeasurementCount(), 15);
    EXPECT_EQ(result()->Status(), emsFailed);
    EXPECT_EQ(polls(), 3) << "the third request was cut short by the window's end";
    EXPECT_GE(Clock::instance().nowMs(), 300000);
    EXPECT_LT(Clock::instance().nowMs(), 310000);
    EXPECT_EQ(setup->finished().size(), 1);
}

TEST_F(DefibPulseRun, stopInThePauseBeforeAPollEndsTheRun)
{
    // A stop in the pause would be swallowed by it, and the next request would wait
    // for a discharge until the five-minute window ran out.
    then([&] { start(); });
    dischargeOnPoll(1, QStringLiteral("201"));
    // The first discharge's status lines stand through the pause before the next poll.
    const auto stopToIdleMs = stopThenLeave([&] { return pane().size() == 5; });
    perform(element);

    EXPECT_EQ(polls(), 1) << "no poll after the stop";
    EXPECT_LT(*stopToIdleMs, 1000);
    EXPECT_TRUE(setup->finished().isEmpty());
}

TEST_F(DefibPulseRun, overRangeReplyDropsTheRun)
{
    then([&] { start(); });
    dischargeOnPoll(1, QStringLiteral("201.5"));
    then([&] { return polls() >= 2; },
        [&] {
            sim->scenario().over.all = true;
            sim->discharge();
        });
    then([&] { return idle(); }, [&] { click(guidebutton::Previous); });
    perform(element);

    ASSERT_EQ(boxesContaining(QStringLiteral("Over Range! Please check the defibrillator's energy setting.")), 1);
    EXPECT_EQ(boxes.front().icon(), mb::Critical);
    EXPECT_TRUE(energy(1)->Value().isEmpty()) << "earlier discharges of the run are not kept";
    EXPECT_EQ(result()->Status(), emsNone);
    EXPECT_TRUE(setup->finished().isEmpty());
}

// A link that records what it is asked and lets the operator act during a pause.
class ScriptedLink : public ITarvoXVTi {
public:
    std::function<void(std::int32_t)> onWait;
    QStringList commands;
    bool mfTimeOut() override { return false; }
    void SetmfTimeOut(bool) override {}
    EVtiState State() override { return evtiIdle; }
    void Abort() override {}
    Variant SendCommand(const QString& command, bool) override
    {
        commands << command;
        return Variant(QStringLiteral("200\r\n"));
    }
    QString GetResults() override { return {}; }
    void OpenChannel() override {}
    void CloseChannel() override {}
    void Wait(std::int32_t ms) override
    {
        if (onWait)
            onWait(ms);
    }
    bool TestStop() override { return false; }
    Variant TestCount(std::int16_t) override { return {}; }
};

TEST(DefibPulseElement, stopDuringThePauseBeforeTheWindowEndsTheRunWithoutAPoll)
{
    struct Probe : CTestDefibPulse {
        void prepare(const Ptr<ITarvoXVTi>& link)
        {
            mVTI = link;
            loadGuide();
            EnsureResult(true);
        }
        using CTestDefibPulse::PerformMeasurement;
    };
    auto probe = makeTestElement<Probe>();
    auto link = std::make_shared<ScriptedLink>();
    link->onWait = [&](std::int32_t) { probe->mfrmTestGuide_StopTest(); };
    probe->prepare(link);
    probe->PerformMeasurement();
    EXPECT_TRUE(link->commands.isEmpty()) << "no window, so no request that only a second stop could end";
    EXPECT_TRUE(query<CResultDefibPulse>(probe->Result())->FindMeasurement(QStringLiteral("ENGY1"))->Value().isEmpty());
}

TEST(DefibPulseElement, listsEnergyAndPulseCount)
{
    auto element = makeTestElement<CTestDefibPulse>();
    const VariantArray rows = element->GetMeasurementList().toArray();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].toArray()[0].toString(), QStringLiteral("ENGY"));
    EXPECT_EQ(rows[0].toArray()[1].toString(), QStringLiteral("Energy"));
    EXPECT_EQ(rows[1].toArray()[0].toString(), QStringLiteral("PLSC"));
    EXPECT_EQ(rows[1].toArray()[1].toString(), QStringLiteral("Pulse Count"));
}

} // namespace
} // namespace kelto::test
