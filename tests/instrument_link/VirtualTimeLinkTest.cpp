#include <QElapsedTimer>

#include "tests/instrument_link/LinkFixture.h"

namespace kelto::test {

class VirtualTimeLink : public LinkFixture {
protected:
    // The waveform tests' Stop: "[WSP]" when the link is free, else an abort of the
    // exchange under way.
    void pressStop()
    {
        if (link->State() == evtiIdle)
            link->SendCommand(QStringLiteral("[WSP]"));
        else
            link->Abort();
    }
};

TEST_F(VirtualTimeLink, heldReadingArrivesAfterItsVirtualDelayInRealMilliseconds)
{
    sim::Scenario scenario;
    scenario.dischargeAfterMs = 60000;
    sim::TarvoSimulator& sim = openOnPort1(scenario);
    QElapsedTimer real;
    real.start();
    const qint64 start = Clock::instance().nowMs();
    const QString reply = link->SendCommand(QStringLiteral("[CRG]")).toString();
    EXPECT_FALSE(reply.isEmpty());
    EXPECT_GE(Clock::instance().nowMs() - start, 60000);
    EXPECT_LT(real.elapsed(), 30000); // half the time a real wait would take
    EXPECT_TRUE(sim.commands().contains(QStringLiteral("CRG")));
}

TEST_F(VirtualTimeLink, wireTimeIsKeptInVirtualTime)
{
    openOnPort1();
    const qint64 start = Clock::instance().nowMs();
    EXPECT_FALSE(link->SendCommand(QStringLiteral("[CRG]")).toString().isEmpty());
    // The 100 ms pause before a send, and about 4 ms a byte each way.
    EXPECT_GE(Clock::instance().nowMs() - start, 100 + 5 * 4);
    EXPECT_LT(Clock::instance().nowMs() - start, 1000);
}


// The analyser answers the n-th "[W01]" after lateness[n] ms; later ones as the last.
void answerWaveAfter(sim::TarvoSimulator& sim, QList<int> lateness)
{
    sim.scenario().late.words = {QStringLiteral("W01")};
    QObject::connect(&sim, &sim::TarvoSimulator::commandReceived, &sim, [&sim, lateness, n = 0](const QString& word) mutable {
        if (word == QLatin1String("W01"))
            sim.scenario().lateMs = lateness[std::min<qsizetype>(n++, lateness.size() - 1)];
    });
}

TEST_F(VirtualTimeLink, resentWaveAnsweredAfterAnyDelay_neverPassesForALaterReply)
{
    // Answered in time, so resent; the resent copy's answer comes after the link has
    // stopped waiting for it, or its line ends only after the next command went out.
    const struct {
        QList<int> lateness;
        const char* chunks;
    } cases[] = {
        {{1000, 1450}, "chunks=1"},
        {{1000, 5000}, "chunks=1"},
        {{1000, 60000}, "chunks=1"},
        {{0}, "chunks=2:300"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lateness.last());
        SCOPED_TRACE(c.chunks);
        sim::TarvoSimulator& sim = openOnPort1(withFault(QLatin1String(c.chunks), readyReadings()));
        answerWaveAfter(sim, c.lateness);
        EXPECT_EQ(link->SendCommand(QStringLiteral("[W01]")).toString(), QStringLiteral("OK\r\n"));
        EXPECT_EQ(link->SendCommand(QStringLiteral("[CRG]")).toString(), QStringLiteral("5.3\r\n"));
        EXPECT_EQ(link->SendCommand(QStringLiteral("[NRG]")).toString(), QStringLiteral("199.6\r\n"));
        EXPECT_EQ(sim.commands(), (QStringList{"W01", "HDR", "W01", "CRG", "HDR", "NRG"}));
    }
}

TEST_F(VirtualTimeLink, resentWaveNeverAnswered_costsTheNextReplyUntilAStop)
{
    // An owed answer that never comes cannot be told from one still on its way: the
    // next reply is dropped in its place, and the wait for another ends on a Stop.
    sim::TarvoSimulator& sim = openOnPort1();
    int waves = 0;
    QObject::connect(&sim, &sim::TarvoSimulator::commandReceived, &sim, [&](const QString& word) {
        if (word == QLatin1String("W06") && ++waves == 2)
            sim.scenario().noReply.words.insert(word);
    });
    EXPECT_EQ(link->SendCommand(QStringLiteral("[W06]")).toString(), QStringLiteral("OK\r\n"));
    const qint64 start = Clock::instance().nowMs();
    after(30000, [&] { link->Abort(); });
    EXPECT_TRUE(link->SendCommand(QStringLiteral("[NRG]")).isEmpty());
    EXPECT_GE(Clock::instance().nowMs() - start, 30000);
    EXPECT_EQ(link->SendCommand(QStringLiteral("[EVT]")).toString(), QStringLiteral("200.4\r\n"));
}

TEST_F(VirtualTimeLink, stopAtAnyPointOfAWaveExchange_endsTheWave)
{
    const struct {
        const char* when;
        QList<int> lateness; // of the first answer, then of the resent copy's
        int afterWave;       // the Stop comes this long after the n-th "[W01]" arrived
        int nthWave;         // 0: after the send began
    } cases[] = {
        {"before the wave command goes out", {0}, 50, 0},
        {"while its answer is awaited", {800}, 300, 1},
        {"in the pause before the resend", {0}, 60, 1},
        {"while the resent copy's answer is awaited", {0, 1000}, 300, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.when);
        sim::TarvoSimulator& sim = openOnPort1();
        answerWaveAfter(sim, c.lateness);
        int waves = 0;
        QObject::connect(&sim, &sim::TarvoSimulator::commandReceived, &sim, [&, c](const QString& word) {
            if (word == QLatin1String("W01") && ++waves == c.nthWave)
                after(c.afterWave, [&] { pressStop(); });
        });
        if (c.nthWave == 0)
            after(c.afterWave, [&] { pressStop(); });
        link->SendCommand(QStringLiteral("[W01]"));
        settle(3000);
        const QStringList words = sim.commands();
        EXPECT_EQ(words.count(QStringLiteral("WSP")), 1) << words.join(QLatin1Char(' ')).toStdString();
        EXPECT_GT(words.lastIndexOf(QStringLiteral("WSP")), words.lastIndexOf(QStringLiteral("W01")))
            << words.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(link->State(), evtiIdle);
        // Whatever the analyser still owed has been dropped.
        EXPECT_EQ(link->SendCommand(QStringLiteral("[CRG]")).toString(), QStringLiteral("5.3\r\n"));
    }
}

} // namespace kelto::test
