// Commands and replies over an open channel: framing, the "[HDR]" rules, chunked
// and late replies, the waveform resend and Stop, the not-supported banner, held
// readings, aborts, failures and the link log.

#include <QFile>
#include <QTemporaryDir>
#include <sys/stat.h>

#include "LinkFixture.h"
#include "instrument_link/MCommUtils.h"

namespace kelto::test {
namespace {

class LinkExchange : public LinkFixture {
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

TEST_F(LinkExchange, chargeReading_framedWithHeader_replyWithLineEnd)
{
    sim::TarvoSimulator& sim = openOnPort1();
    const Variant reply = link->SendCommand(QStringLiteral("[CRG]"));
    EXPECT_EQ(reply.toString(), QStringLiteral("5.3\r\n"));
    EXPECT_EQ(link->State(), evtiIdle);
    EXPECT_EQ(link->GetResults(), QStringLiteral("5.3\r\n"));
    settle(60);
    EXPECT_EQ(sim.received(), QByteArray("[CRG]\r[HDR]\r"));
}

TEST_F(LinkExchange, headerRules_testCountAndPacerCommands)
{
    sim::TarvoSimulator& sim = openOnPort1();
    link->TestCount(1);
    link->SendCommand(QStringLiteral("[CRG]"));
    link->SendCommand(QStringLiteral("[PRP]"));
    link->SendCommand(QStringLiteral("[BPM]"));
    link->TestCount(0);
    link->SendCommand(QStringLiteral("[OCR]\r")); // already framed: sent unchanged
    link->SendCommand(QStringLiteral("[NRG]"));
    settle(60);
    EXPECT_EQ(sim.received(), QByteArray("[CRG]\r[PRP]\r[HDR]\r[BPM]\r[OCR]\r[HDR]\r[NRG]\r"));
}

TEST_F(LinkExchange, chunkedReply_joinedUntilLineEnd)
{
    openOnPort1(withFault(QStringLiteral("chunks=3:60"), readyReadings()));
    EXPECT_EQ(link->SendCommand(QStringLiteral("[PVT]")).toString(), QStringLiteral("2150\r\n"));
}

TEST_F(LinkExchange, waveformAnsweredInTime_isSentOnceMore)
{
    sim::TarvoSimulator& sim = openOnPort1();
    EXPECT_EQ(link->SendCommand(QStringLiteral("[W05]")).toString(), QStringLiteral("OK\r\n"));
    settle(60);
    EXPECT_EQ(sim.commands(), (QStringList{QStringLiteral("W05"), QStringLiteral("HDR"), QStringLiteral("W05")}));
    // The second answer is discarded before the next command.
    EXPECT_EQ(link->SendCommand(QStringLiteral("[NRG]")).toString(), QStringLiteral("199.6\r\n"));
}

TEST_F(LinkExchange, waveformResentToASlowAnalyser_secondAnswerNeverPassesForTheNextReply)
{
    // Each wave command is answered after 250 ms: in time, so it is resent, and the
    // second answer arrives well after the next command's pause.
    sim::TarvoSimulator& sim = openOnPort1(withFault(QStringLiteral("late=250:W05"), readyReadings()));
    EXPECT_EQ(link->SendCommand(QStringLiteral("[W05]")).toString(), QStringLiteral("OK\r\n"));
    EXPECT_EQ(link->SendCommand(QStringLiteral("[CRG]")).toString(), QStringLiteral("5.3\r\n"));
    settle(60);
    EXPECT_EQ(sim.commands(), (QStringList{"W05", "HDR", "W05", "CRG", "HDR"}));
}

TEST_F(LinkExchange, waveformAnsweredLate_isNotResent)
{
    sim::TarvoSimulator& sim = openOnPort1(withFault(QStringLiteral("late=1300:W05"), readyReadings()));
    EXPECT_EQ(link->SendCommand(QStringLiteral("[W05]")).toString(), QStringLiteral("OK\r\n"));
    settle(200);
    EXPECT_EQ(sim.commands(), (QStringList{QStringLiteral("W05"), QStringLiteral("HDR")}));
    EXPECT_FALSE(link->TestStop());
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

TEST_F(LinkExchange, resentWaveAnsweredAfterAnyDelay_neverPassesForALaterReply)
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

TEST_F(LinkExchange, resentWaveNeverAnswered_costsTheNextReplyUntilAStop)
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

TEST_F(LinkExchange, stopAtAnyPointOfAWaveExchange_endsTheWave)
{
    const struct {
        const char* when;
        QList<int> lateness; // of the first answer, then of the resent copy's
        int afterWave;       // the Stop comes this long after the n-th "[W01]" arrived
        int nthWave;         // 0: after the send began
    } cases[] = {
        {"in the pause before the wave command goes out", {0}, 50, 0},
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

TEST_F(LinkExchange, lateBanner_showsNotSupportedOnce_andSetsTestStop)
{
    openOnPort1(withFault(QStringLiteral("banner=1300:CRG"), readyReadings()));
    const Variant reply = link->SendCommand(QStringLiteral("[CRG]"));
    EXPECT_TRUE(reply.toString().startsWith(QStringLiteral("Vel-Tor")));
    EXPECT_EQ(link->State(), evtiIdle);
    EXPECT_TRUE(link->TestStop());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].prompt, QStringLiteral("This test is not supported on this model of the Tarvo"));
    EXPECT_EQ(boxes[0].title, QStringLiteral("Kelto Plug-In Tarvo response"));
    EXPECT_EQ(boxes[0].icon(), mb::Information);
}

TEST_F(LinkExchange, bannerInTime_isAnOrdinaryReply)
{
    openOnPort1(withFault(QStringLiteral("banner=0:CRG"), readyReadings()));
    EXPECT_EQ(link->SendCommand(QStringLiteral("[CRG]")).toString(), QStringLiteral("Vel-Tor Tarvo\r\n"));
    EXPECT_FALSE(link->TestStop());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(LinkExchange, stopWaveWithoutReply_givesUpAfterFixedTime)
{
    sim::TarvoSimulator& sim = openOnPort1(withFault(QStringLiteral("no-reply=WSP"), readyReadings()));
    const qint64 start = now();
    const Variant reply = link->SendCommand(QStringLiteral("[WSP]"));
    const qint64 elapsed = now() - start;
    EXPECT_TRUE(reply.isString());
    EXPECT_TRUE(reply.toString().isEmpty());
    EXPECT_EQ(link->State(), evtiIdle);
    EXPECT_GE(elapsed, MComm::kSendPauseMs + MComm::kStopWaveGiveUpMs);
    EXPECT_LT(elapsed, MComm::kSendPauseMs + MComm::kStopWaveGiveUpMs + 50); // "[WSP]\r" on the wire at most
    settle(30);
    EXPECT_EQ(sim.received(), QByteArray("[WSP]\r")); // no header, no resend
}

TEST_F(LinkExchange, heldReading_waitsForDischarge_withoutTimeOut)
{
    setCommTimeOut(200);
    sim::Scenario scenario;
    scenario.dischargeAfterMs = -1;
    sim::TarvoSimulator& sim = openOnPort1(scenario);
    after(1500, [&] { sim.discharge(); });
    const qint64 start = now();
    EXPECT_EQ(link->SendCommand(QStringLiteral("[CRG]")).toString(), QStringLiteral("5.3\r\n"));
    EXPECT_GE(now() - start, 1500);
}

TEST_F(LinkExchange, abortDuringHeldReading_returnsEmpty_nextCommandWorks)
{
    sim::Scenario scenario;
    scenario.dischargeAfterMs = -1;
    sim::TarvoSimulator& sim = openOnPort1(scenario);
    after(300, [&] { link->Abort(); });
    const Variant reply = link->SendCommand(QStringLiteral("[NRG]"));
    EXPECT_TRUE(reply.isEmpty());
    EXPECT_EQ(link->State(), evtiIdle);
    EXPECT_TRUE(boxes.empty());

    // The abort request stays until the next command: a wait returns at once.
    qint64 start = now();
    link->Wait(5000);
    EXPECT_EQ(now() - start, 0);

    sim.scenario().dischargeAfterMs = 0;
    EXPECT_EQ(link->SendCommand(QStringLiteral("[EVT]")).toString(), QStringLiteral("200.4\r\n"));
    start = now();
    link->Wait(300);
    EXPECT_EQ(now() - start, 300);
}

TEST_F(LinkExchange, sendOnClosedLink_raisesWithoutSending)
{
    sim::TarvoSimulator& sim = simOnPort(1);
    createLink();
    EXPECT_EQ(errorNumberOf([&] { link->SendCommand(QStringLiteral("[CRG]")); }), kVtiError);
    EXPECT_EQ(link->State(), evtiTransmitting);
    settle(50);
    EXPECT_TRUE(sim.received().isEmpty());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(LinkExchange, deviceVanishes_duringReply_failsTheExchange)
{
    sim::Scenario scenario;
    scenario.dischargeAfterMs = -1;
    sim::TarvoSimulator& sim = openOnPort1(scenario);
    after(300, [&] { sim.vanish(); });
    EXPECT_EQ(errorNumberOf([&] { link->SendCommand(QStringLiteral("[CRG]")); }), kVtiError);
    EXPECT_EQ(link->State(), evtiTransmitting);
    EXPECT_EQ(boxesContaining(QStringLiteral("Error #68")), 1);
    // The port is gone: a further command fails at once, without another box.
    EXPECT_EQ(errorNumberOf([&] { link->SendCommand(QStringLiteral("[CRG]")); }), kVtiError);
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(LinkExchange, replyWithoutEnd_failsWhenItOutgrowsTheBuffer)
{
    sim::Scenario scenario = readyReadings();
    scenario.readings[QStringLiteral("CRG")] = QString(MCommUtils::kMaxReplyLength + 40, QLatin1Char('7'));
    openOnPort1(scenario);
    EXPECT_EQ(errorNumberOf([&] { link->SendCommand(QStringLiteral("[CRG]")); }), kVtiError);
    EXPECT_EQ(boxesContaining(QStringLiteral("Error #6\r\n")), 1);
    // Errors the caller asked to ignore raise without a box.
    boxes.clear();
    settle(400); // the rest of the flood drains from the line
    EXPECT_EQ(errorNumberOf([&] { link->SendCommand(QStringLiteral("[CRG]"), true); }), kVtiError);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(LinkExchange, closeChannel_sendsQuitAfterPause_thenClosesPort)
{
    sim::TarvoSimulator& sim = openOnPort1();
    qint64 quitAt = -1;
    const qint64 start = now();
    QObject::connect(&sim, &sim::TarvoSimulator::commandReceived, [&](const QString& word) {
        if (word == QLatin1String("Q"))
            quitAt = now() - start;
    });
    link->CloseChannel();
    const qint64 closedAt = now() - start;
    Clock::instance().wait(2000, [&] { return quitAt >= 0; });
    EXPECT_GE(quitAt, 200);
    EXPECT_LT(quitAt, 250); // "[Q]" on the wire
    EXPECT_GE(closedAt, 250);
    EXPECT_EQ(sim.received(), QByteArray("[Q]"));
    EXPECT_FALSE(MComm::comm().PortOpen());
    EXPECT_EQ(link->State(), evtiIdle); // closing leaves the state as it was
    EXPECT_EQ(link->GetResults(), QString());
}

TEST_F(LinkExchange, closeChannelAfterTimeOut_sendsNoQuit)
{
    sim::TarvoSimulator& sim = openOnPort1();
    link->SetmfTimeOut(true);
    const qint64 start = now();
    link->CloseChannel();
    EXPECT_LT(now() - start, 200); // the quit sequence waits 200 ms before "[Q]"
    settle(30);
    EXPECT_TRUE(sim.received().isEmpty());
}

TEST_F(LinkExchange, linkLog_recordsEscapedTraffic)
{
    QTemporaryDir dir;
    const QString logFile = dir.filePath(QStringLiteral("link.log"));
    qputenv("KELTO_LINK_LOG", logFile.toLocal8Bit());
    openOnPort1();
    link->SendCommand(QStringLiteral("[CRG]"));
    qunsetenv("KELTO_LINK_LOG");
    QFile file(logFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString log = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(log.contains(QStringLiteral("> [VER]\\n"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("> [CRG]\\r"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("5.3\\r\\n"))) << log.toStdString();
}

QStringList gWarnings;

TEST_F(LinkExchange, linkLogThatCannotBeWritten_warnsOnce_linkGoesOn)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("link.fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const struct {
        QString target;
        const char* why;
    } cases[] = {
        {dir.filePath(QStringLiteral("missing-folder/link.log")), "No such file or directory"},
        {QStringLiteral("/dev/full"), "No space left on device"},
        {fifo, "not a regular file or device"}, // nobody reads it: opening it must not wait
        {dir.path(), "Is a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target.toStdString());
        qputenv("KELTO_LINK_LOG", c.target.toLocal8Bit());
        gWarnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtWarningMsg && text.contains(QStringLiteral("link log")))
                gWarnings.append(text);
        });
        openOnPort1();
        const QString first = link->SendCommand(QStringLiteral("[CRG]")).toString();
        const QString second = link->SendCommand(QStringLiteral("[NRG]")).toString();
        qInstallMessageHandler(previous);
        qunsetenv("KELTO_LINK_LOG");

        EXPECT_EQ(first, QStringLiteral("5.3\r\n"));
        EXPECT_EQ(second, QStringLiteral("199.6\r\n"));
        ASSERT_EQ(gWarnings.size(), 1) << gWarnings.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(gWarnings[0].startsWith(QStringLiteral("Cannot write the link log %1 named by KELTO_LINK_LOG: ").arg(c.target)))
            << gWarnings[0].toStdString();
        EXPECT_TRUE(gWarnings[0].contains(QLatin1String(c.why))) << gWarnings[0].toStdString();
        EXPECT_TRUE(gWarnings[0].contains(QStringLiteral("The link goes on without a log")));
    }
}

} // namespace
} // namespace kelto::test
