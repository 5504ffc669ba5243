// The pacer parameter and refractory period tests against the simulated analyser
// in virtual time: the timed reading sequence, stops cut short, the registry
// time-out and its count-down.

#include <QLabel>

#include "host/TestWizard.h"
#include "procedures/pacer_ecg/CTestPacerRefractory.h"
#include "tests/procedures/DefibRunFixture.h"
#include "tests/support/MissingClass.h"

namespace kelto::test {
namespace {

struct Sent {
    QString word;
    qint64 at;
};

class PacerRun : public DefibRunFixture {
protected:
    void watch()
    {
        QObject::connect(sim.get(), &sim::TarvoSimulator::commandReceived,
            [this](const QString& word) { sent.push_back({word, Clock::instance().nowMs()}); });
    }
    QStringList words(const QStringList& of) const
    {
        QStringList out;
        for (const Sent& s : sent)
            if (of.contains(s.word))
                out << s.word;
        return out;
    }

    std::vector<Sent> sent;
    const QStringList kParameterWords{QStringLiteral("BPM"), QStringLiteral("PAC"), QStringLiteral("PAW"), QStringLiteral("PAV")};
    const QStringList kRefractoryWords{QStringLiteral("PRP"), QStringLiteral("SRP")};
};

// ---- pacer parameter ------------------------------------------------------------------

class PacerParameterRun : public PacerRun {
protected:
    Ptr<CTestPacerParameter> element = makeTestElement<CTestPacerParameter>();
    Ptr<CResultPacerParameter> result() const { return query<CResultPacerParameter>(element->Result()); }
    Variant value(const char* key) const { return result()->FindMeasurement(QLatin1String(key))->Value(); }
};

TEST_F(PacerParameterRun, readsTheFourValuesInOrderAndOffersNext)
{
    analyser();
    watch();
    QList<int> marked;
    then([&] { start(); });
    then([&] { return idle(); },
        [&] {
            marked = instructionPane(*element).activeSteps();
            next();
        });
    perform(element);

    EXPECT_EQ(words(kParameterWords), kParameterWords);
    EXPECT_EQ(value("PACR"), Variant(70.0));
    EXPECT_EQ(value("PULC"), Variant(60.2));
    EXPECT_EQ(value("PULW"), Variant(20.0));
    EXPECT_EQ(value("PULV"), Variant(12.1));
    EXPECT_EQ(marked, QList<int>({1, 2, 3, 4}));
    EXPECT_EQ(setup->finished().size(), 1);
    EXPECT_EQ(setup->navigations(), QList<std::int32_t>{etnNext});
    // The pauses before the commands: 1500 ms before "[PAC]", 300 ms before each of the last two.
    ASSERT_GE(sent.size(), 4u);
    qint64 bpm = 0, pac = 0;
    for (const Sent& s : sent) {
        if (s.word == QLatin1String("BPM"))
            bpm = s.at;
        if (s.word == QLatin1String("PAC"))
            pac = s.at;
    }
    EXPECT_GE(pac - bpm, 1500);
}

TEST_F(PacerParameterRun, stopDuringTheLongPauseStillAsksForTheCurrentThenStops)
{
    analyser();
    watch();
    then([&] { start(); });
    then([&] { return !words({QStringLiteral("BPM")}).isEmpty(); }, [&] { stop(); });
    then([&] { return idle(); }, [&] { click(guidebutton::Previous); });
    perform(element);

    EXPECT_EQ(words(kParameterWords), QStringList({QStringLiteral("BPM"), QStringLiteral("PAC")}));
    EXPECT_TRUE(value("PACR").isEmpty()) << "nothing is stored after a stop";
    EXPECT_EQ(result()->Status(), emsNone);
    EXPECT_TRUE(setup->finished().isEmpty());
}

TEST_F(PacerParameterRun, unsupportedModelGetsNoFurtherCommandAndStoresNothing)
{
    analyser(withFault(QStringLiteral("banner=1500:BPM")));
    watch();
    then([&] { start(); });
    then([&] { return idle(); }, [&] { click(guidebutton::Previous); });
    perform(element);

    EXPECT_EQ(words(kParameterWords), QStringList{QStringLiteral("BPM")});
    EXPECT_EQ(boxesContaining(QStringLiteral("This test is not supported on this model of the Tarvo")), 1);
    EXPECT_TRUE(value("PACR").isEmpty());
    EXPECT_TRUE(setup->finished().isEmpty());
}

TEST(PacerParameterElement, instructionsNameRateAndAmplitudeWithoutABlank)
{
    struct Probe : CTestPacerParameter {
        using CTestPacerParameter::GetInstructions;
    };
    auto probe = makeTestElement<Probe>();
    const VariantArray lines = probe->GetInstructions().toArray();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[1].toString(), QStringLiteral("2. Set pacer rate to 60PPM."));
    EXPECT_EQ(lines[2].toString(), QStringLiteral("3. Set pacer amplitude to 50mA."));
    const VariantArray rows = probe->GetMeasurementList().toArray();
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[3].toArray()[0].toString(), QStringLiteral("PULV"));
    EXPECT_EQ(rows[3].toArray()[1].toString(), QStringLiteral("Pulse Voltage"));
}

// ---- pacer refractory -------------------------------------------------------------------

class PacerRefractoryRun : public PacerRun {
protected:
    Ptr<CTestPacerRefractory> element = makeTestElement<CTestPacerRefractory>();
    Ptr<CResultPacerRefractory> result() const { return query<CResultPacerRefractory>(element->Result()); }
    Variant value(const char* key) const { return result()->FindMeasurement(QLatin1String(key))->Value(); }
    QString popupText() const { return element->guide()->xtipopup()->helpText()->text(); }
};

TEST_F(PacerRefractoryRun, asksForThePacedPeriodOnceThenTheSensedOneAfterThePause)
{
    setRefractoryTimeout(120);
    analyser();
    watch();
    QList<int> marked;
    then([&] { start(); });
    then([&] { return idle(); },
        [&] {
            marked = instructionPane(*element).activeSteps();
            next();
        });
    perform(element);

    ASSERT_EQ(words(kRefractoryWords), QStringList({QStringLiteral("PRP"), QStringLiteral("SRP")}));
    qint64 prp = 0, srp = 0;
    for (const Sent& s : sent) {
        if (s.word == QLatin1String("PRP"))
            prp = s.at;
        if (s.word == QLatin1String("SRP"))
            srp = s.at;
    }
    EXPECT_GE(srp - prp, 1500);
    EXPECT_EQ(value("PACE"), Variant(250.0));
    EXPECT_EQ(value("SENS"), Variant(300.0));
    EXPECT_EQ(marked, QList<int>({1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(setup->finished().size(), 1);
}

TEST_F(PacerRefractoryRun, theTimeOutEndsThePollingAndStoresWhatCame)
{
    setRefractoryTimeout(1);
    analyser(withFault(QStringLiteral("no-reply=SRP")));
    watch();
    then([&] { start(); });
    then([&] { return idle(); }, [&] { next(); });
    perform(element);

    // The tick that reached 0 fell in the pause before "[SRP]", which still went out
    // once; the analyser never answers it, and the grace after the time-out ends it.
    EXPECT_EQ(words({QStringLiteral("SRP")}).size(), 1);
    EXPECT_LT(Clock::instance().nowMs(), 10000);
    EXPECT_EQ(words({QStringLiteral("PRP")}).size(), 1);
    EXPECT_EQ(value("PACE"), Variant(250.0));
    EXPECT_TRUE(value("SENS").isEmpty());
    EXPECT_EQ(setup->finished().size(), 1);
}

TEST_F(PacerRefractoryRun, aSensedPeriodAnsweredSoonAfterTheTimeOutIsKept)
{
    // "[SRP]" goes out just after the 1-second time-out and is answered two
    // seconds later: the pass in progress completes and the reading counts.
    setRefractoryTimeout(1);
    analyser(withFault(QStringLiteral("late=2000:SRP")));
    then([&] { start(); });
    then([&] { return idle(); }, [&] { next(); });
    perform(element);

    EXPECT_EQ(value("PACE"), Variant(250.0));
    EXPECT_EQ(value("SENS"), Variant(300.0));
    EXPECT_EQ(setup->finished().size(), 1);
}

TEST_F(PacerRefractoryRun, withoutATimeOutThePassInProgressCompletes)
{
    // The sensed period is answered after the count-down's second tick.
    analyser(withFault(QStringLiteral("late=600:SRP")));
    watch();
    then([&] { start(); });
    then([&] { return idle(); }, [&] { next(); });
    perform(element);

    EXPECT_EQ(words(kRefractoryWords), QStringList({QStringLiteral("PRP"), QStringLiteral("SRP")}));
    EXPECT_EQ(value("PACE"), Variant(250.0));
    EXPECT_EQ(value("SENS"), Variant(300.0));
    EXPECT_EQ(setup->finished().size(), 1);
}

TEST_F(PacerRefractoryRun, aRunThatFailsStopsItsCountDown)
{
    // Left running, the count-down would go on showing its popup over the idle
    // guide and abort whatever exchange came at its end.
    setRefractoryTimeout(10);
    analyser(withFault(QStringLiteral("vanish-after=2")));
    QString popupLater;
    bool popupShownLater = true;
    qint64 idleAt = -1;
    then([&] { start(); });
    then([&] { return idle(); }, [&] { idleAt = Clock::instance().nowMs(); });
    then([&] { return idleAt >= 0 && Clock::instance().nowMs() >= idleAt + 3000; },
        [&] {
            popupShownLater = element->guide()->xtipopup()->isVisible();
            popupLater = popupText();
            previous();
        });
    perform(element);

    EXPECT_FALSE(popupShownLater) << popupLater.toStdString();
    EXPECT_TRUE(value("SENS").isEmpty());
    EXPECT_TRUE(setup->finished().isEmpty());
}

TEST_F(PacerRefractoryRun, countDownShowsSecondsWithTheRightPlural)
{
    setRefractoryTimeout(3);
    analyser(withFault(QStringLiteral("no-reply=SRP")));
    QStringList texts;
    then([&] { start(); });
    then([&] { return element->guide()->xtipopup()->isVisible() && texts.isEmpty(); }, [&] { texts << popupText(); });
    then([&] { return element->guide()->xtipopup()->isVisible() && popupText() != texts.last(); }, [&] { texts << popupText(); });
    then([&] { return idle(); }, [&] { next(); });
    perform(element);

    EXPECT_EQ(texts, QStringList({QStringLiteral("Wait for 2 seconds"), QStringLiteral("Wait for 1 second")}));
}

TEST_F(PacerRefractoryRun, missingTimeOutEndsAfterTheFirstPass)
{
    // Nobody stops the run: the unanswered "[SRP]" of the first pass is cut short
    // after its grace, and the run ends on its own with the paced period.
    analyser(withFault(QStringLiteral("no-reply=SRP")));
    watch();
    then([&] { start(); });
    then([&] { return idle(); }, [&] { next(); });
    perform(element);

    EXPECT_EQ(CTestPacerRefractory::GetPacerRefractoryTimeout(), 0);
    EXPECT_EQ(words(kRefractoryWords), QStringList({QStringLiteral("PRP"), QStringLiteral("SRP")}));
    EXPECT_EQ(value("PACE"), Variant(250.0));
    EXPECT_TRUE(value("SENS").isEmpty());
    EXPECT_EQ(setup->finished().size(), 1) << "the run finished without a stop";
    EXPECT_EQ(setup->navigations(), QList<std::int32_t>{etnNext});
}

TEST_F(PacerRefractoryRun, unansweredPacedRequestEndsAtTheTimeOutWithoutTheSensedOne)
{
    setRefractoryTimeout(4);
    analyser(withFault(QStringLiteral("no-reply=PRP")));
    watch();
    then([&] { start(); });
    then([&] { return idle(); }, [&] { next(); });
    perform(element);

    EXPECT_EQ(words(kRefractoryWords), QStringList{QStringLiteral("PRP")});
    EXPECT_TRUE(value("PACE").isEmpty());
    EXPECT_TRUE(value("SENS").isEmpty());
    EXPECT_GE(Clock::instance().nowMs(), 4000);
    EXPECT_LT(Clock::instance().nowMs(), 8000);
    EXPECT_EQ(setup->finished().size(), 1) << "a time-out is a finished run";
}

TEST_F(PacerRefractoryRun, registryTimeOutIsReadAsWholeSeconds)
{
    setRefractoryTimeout(QStringLiteral("45"));
    EXPECT_EQ(CTestPacerRefractory::GetPacerRefractoryTimeout(), 45);
    setRefractoryTimeout(QStringLiteral("soon"));
    EXPECT_EQ(CTestPacerRefractory::GetPacerRefractoryTimeout(), 0);
    setRefractoryTimeout(100000);
    EXPECT_EQ(CTestPacerRefractory::GetPacerRefractoryTimeout(), 0);
    setRefractoryTimeout(45);
    const MissingClass noRegistry(hostclass::RegistryKey);
    ASSERT_TRUE(noRegistry.withdrawn());
    EXPECT_EQ(CTestPacerRefractory::GetPacerRefractoryTimeout(), 0) << "a registry that cannot be had gives no time-out";
}

} // namespace
} // namespace kelto::test
