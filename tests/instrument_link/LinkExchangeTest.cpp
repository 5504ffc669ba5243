// Commands and replies over an open channel: framing, the "[HDR]" rules, chunked
// and late replies, the waveform resend and Stop, the not-supported banner, held
// readings, aborts, failures and the link log.

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>
#include <QTemporaryDir>
#include <string>
#include <sys/stat.h>

#include "LinkFixture.h"
#include "host/app/GuiMessageBox.h"
#include "instrument_link/MCommUtils.h"

namespace kelto::test {
namespace {

QStringList promptsOf(const std::vector<MessageBoxRequest>& boxes)
{
    QStringList prompts;
    for (const MessageBoxRequest& box : boxes)
        prompts.append(box.prompt);
    return prompts;
}

class LinkExchange : public LinkFixture {
protected:
    // Ends a wait that would otherwise never end, unless the case is over by then.
    std::shared_ptr<bool> guardFor(int ms)
    {
        auto over = std::make_shared<bool>(false);
        after(ms, [this, over] {
            if (!*over)
                link->Abort();
        });
        return over;
    }

    // An analyser that answers one held reading a discharge, owing the answer to an
    // energy request cut short: the next reading's discharge, a second later, gives
    // that answer alone, and the reading fails with error 8030.
    // The analyser is reached by a name of its own, which an adapter plugged in again
    // keeps.
    sim::TarvoSimulator& owingAnEnergyAtOneReadingADischarge()
    {
        sim::Scenario scenario = withFault(QStringLiteral("held=queue"));
        scenario.dischargeAfterMs = -1;
        sim::TarvoSimulator& sim = simOnPort(1, scenario);
        EXPECT_TRUE(sim.publishAs(m_names.filePath(QStringLiteral("tarvo"))));
        host::SerialPortMap::SetSessionPath(1, m_names.filePath(QStringLiteral("tarvo")));
        createLink()->OpenChannel();
        EXPECT_EQ(link->State(), evtiIdle);
        sim.clearLog();
        after(300, [this] { link->Abort(); });
        EXPECT_TRUE(link->SendCommand(QStringLiteral("[NRG]")).isEmpty());
        after(1000, [&sim] { sim.discharge(); });
        return sim;
    }

    QTemporaryDir m_names;

    // The next test's reading, discharged 2 s after it is asked for: its own, or error
    // 8030 (told without a box).
    void nextReading(sim::TarvoSimulator& sim)
    {
        boxes.clear();
        sim.clearLog();
        after(2000, [&sim] { sim.discharge(); });
        const auto over = guardFor(20000);
        QString reading;
        const std::int32_t error = errorNumberOf([&] { reading = link->SendCommand(QStringLiteral("[OCR]"), true).toString(); });
        *over = true;
        EXPECT_TRUE(sim.commands().contains(QStringLiteral("OCR"))) << "the reading is asked for";
        EXPECT_TRUE(error == kVtiError || reading == QLatin1String("41.5\r\n")) << reading.toStdString();
        EXPECT_TRUE(boxes.empty());
    }

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
    // second answer arrives well after the next command's pause. An acknowledgement
    // is no reading: the held reading goes out once, and takes its own answer.
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
        // As from a USB adapter: the owed answer and the reply in one read.
        {{0, 150}, "burst=300"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lateness.last());
        SCOPED_TRACE(c.chunks);
        sim::TarvoSimulator& sim = openOnPort1(withFault(QLatin1String(c.chunks), readyReadings()));
        answerWaveAfter(sim, c.lateness);
        const auto over = guardFor(120000);
        EXPECT_EQ(link->SendCommand(QStringLiteral("[W01]")).toString(), QStringLiteral("OK\r\n"));
        EXPECT_EQ(link->SendCommand(QStringLiteral("[CRG]")).toString(), QStringLiteral("5.3\r\n"));
        EXPECT_EQ(link->SendCommand(QStringLiteral("[NRG]")).toString(), QStringLiteral("199.6\r\n"));
        *over = true;
        const QStringList words = sim.commands();
        EXPECT_EQ(words.mid(0, 4), (QStringList{"W01", "HDR", "W01", "CRG"}));
        EXPECT_EQ(words.count(QStringLiteral("W01")), 2) << words.join(QLatin1Char(' ')).toStdString();
    }
}

TEST_F(LinkExchange, resentWaveNeverAnswered_costsTheNextWaveReplyUntilAStop)
{
    // An owed answer that never comes cannot be told from one still on its way: the
    // next wave command's reply is dropped in its place, and the wait for another
    // ends on a Stop. A held reading counts it among the answers that may come.
    sim::TarvoSimulator& sim = openOnPort1();
    int waves = 0;
    QObject::connect(&sim, &sim::TarvoSimulator::commandReceived, &sim, [&](const QString& word) {
        if (word == QLatin1String("W06") && ++waves == 2)
            sim.scenario().noReply.words.insert(word);
    });
    EXPECT_EQ(link->SendCommand(QStringLiteral("[W06]")).toString(), QStringLiteral("OK\r\n"));
    const qint64 start = Clock::instance().nowMs();
    after(30000, [&] { link->Abort(); });
    EXPECT_TRUE(link->SendCommand(QStringLiteral("[W07]")).isEmpty());
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
        int stopLateness;    // of the answer to "[WSP]"
    } cases[] = {
        {"in the pause before the wave command goes out", {0}, 50, 0, 0},
        {"while its answer is awaited", {800}, 300, 1, 0},
        // The stop's answer comes well after the wave's: a wave answer taken as the
        // stop's would leave the stop's for the next command.
        {"while its answer is awaited, the stop answered slowly", {800}, 300, 1, 800},
        {"in the pause before the resend", {0}, 60, 1, 0},
        {"while the resent copy's answer is awaited", {0, 1000}, 300, 2, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.when);
        sim::TarvoSimulator& sim = openOnPort1();
        answerWaveAfter(sim, c.lateness);
        sim.scenario().late.words.insert(QStringLiteral("WSP"));
        int waves = 0;
        bool stopped = false;
        const auto stop = [&] {
            stopped = true;
            pressStop();
        };
        QObject::connect(&sim, &sim::TarvoSimulator::commandReceived, &sim, [&, c](const QString& word) {
            if (word == QLatin1String("WSP"))
                sim.scenario().lateMs = c.stopLateness;
            if (word == QLatin1String("W01") && ++waves == c.nthWave)
                after(c.afterWave, stop);
        });
        if (c.nthWave == 0)
            after(c.afterWave, stop);
        link->SendCommand(QStringLiteral("[W01]"));
        Clock::instance().wait(5000, [&] { return stopped; });
        // At once: whatever the analyser still owes comes while this reply is awaited.
        EXPECT_EQ(link->SendCommand(QStringLiteral("[CRG]")).toString(), QStringLiteral("5.3\r\n"));
        const QStringList words = sim.commands();
        EXPECT_EQ(words.count(QStringLiteral("WSP")), 1) << words.join(QLatin1Char(' ')).toStdString();
        EXPECT_GT(words.lastIndexOf(QStringLiteral("WSP")), words.lastIndexOf(QStringLiteral("W01")))
            << words.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(link->State(), evtiIdle);
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

TEST_F(LinkExchange, earlierRequestCutShort_itsLateAnswerIsNeverALaterReading)
{
    // Requests cut short (held readings aborted, a stop given up, a wave answer owed
    // at the close) on one link object; then, on the same or another one, maybe on a
    // device renamed meanwhile, a held reading whose discharge or pacing comes later,
    // with noise on the line. The reading is the request's own answer or nothing
    // (error 8030). After each 8030 the operator presses OK, and either switches the
    // analyser off and on as asked or does nothing to it; the next test's reading
    // ("[OCR]") is again its own answer or nothing.
    enum class Between { Nothing, Reopened, Replugged };
    struct Event {
        int at; // ms after the command is given; for the "byte" events, the byte of the exchange
        // "discharge", "pacing", "noise", "byte" (a discharge once that byte was taken
        // in), "noise at byte" (noise once that byte was taken in), "noise inside"
        // (noise inside the next answer, after its second byte), or "trickle" (noise
        // every half second from then on, until the command is over).
        const char* what;
        QByteArray noise = {};
    };
    struct Row {
        std::string what;
        QStringList faults;
        QStringList cutShort; // "[W01]" is answered, and its resent copy once the port was opened again
        Between between;
        const char* command;
        QList<Event> events;
        const char* reply; // nullptr: no reading, and error 8030 says why; "": none, and the link waits on
        int copies = 0;    // when not 0: the command went out this often
        bool switchedOffAndOn = false; // at the 8030, as the box asks
        // How many earlier answers error 8030 says may come; 0 where line noise broke
        // the line or the banner came. Or the error that says the line cannot be read.
        int upTo = 1;
        std::int32_t error = MCommUtils::kReplyUncertain;
        QString says = {}; // and what it says of the line that came
    };
    std::vector<Row> rows = {
        {"kept through the close", {"held=keep"}, {"[NRG]"}, Between::Reopened, "[PVT]", {{1000, "discharge"}}, "2150\r\n", 2},
        {"dropped at the close", {"held=drop"}, {"[NRG]"}, Between::Reopened, "[PVT]", {{1000, "discharge"}}, "2150\r\n"},
        {"only the newest kept", {"held=newest"}, {"[NRG]"}, Between::Reopened, "[PVT]", {{1000, "discharge"}}, nullptr},
        {"one answered a discharge", {"held=queue"}, {"[NRG]"}, Between::Reopened, "[PVT]", {{1000, "discharge"}, {4000, "discharge"}},
            nullptr},
        {"one answered a discharge, switched off and on", {"held=queue"}, {"[NRG]"}, Between::Reopened, "[PVT]",
            {{1000, "discharge"}, {4000, "discharge"}}, nullptr, 0, true},
        {"ended by any new command", {"held=cancel"}, {"[NRG]"}, Between::Nothing, "[PVT]", {{1000, "discharge"}}, nullptr},
        {"ended by any new command, switched off and on", {"held=cancel"}, {"[NRG]"}, Between::Nothing, "[PVT]", {{1000, "discharge"}},
            nullptr, 0, true},
        {"kept while the device was renamed", {"held=keep"}, {"[NRG]"}, Between::Replugged, "[PVT]", {{1000, "discharge"}}, "2150\r\n"},
        {"the same reading asked again", {"held=keep"}, {"[NRG]"}, Between::Nothing, "[NRG]", {{1000, "discharge"}}, "199.6\r\n"},
        {"the same reading with another held since", {"held=keep"}, {"[NRG]", "[CRG]"}, Between::Nothing, "[NRG]", {{1000, "discharge"}},
            "199.6\r\n"},
        {"a pacer reading answered meanwhile", {"held=keep"}, {"[PAC]"}, Between::Nothing, "[PVT]", {{500, "pacing"}, {1500, "discharge"}},
            "2150\r\n"},
        // A stop the analyser was not yet seen to acknowledge with words counts.
        {"a stop answered after the give-up", {"held=keep", "late=1500:WSP"}, {"[WSP]"}, Between::Nothing, "[CRG]", {{2500, "discharge"}},
            "5.3\r\n", 2},
        {"a stop answered late with a number, a reading owed", {"held=keep", "late=1500:WSP", "reading WSP=0"}, {"[NRG]", "[WSP]"},
            Between::Nothing, "[PVT]", {{2500, "discharge"}}, "2150\r\n"},
        // A waveform command's banner, in time or late, and numeric acknowledgements
        // take nothing off the answers a reading owed may still give.
        {"a wave answered with the banner in time, a reading owed", {"held=keep", "banner=0:W01"}, {"[NRG]", "[W01]"}, Between::Nothing,
            "[PVT]", {{1000, "discharge"}}, "2150\r\n"},
        {"a wave answered with the banner late, a reading owed", {"held=keep", "banner=1500:W01"}, {"[NRG]", "[W01]"}, Between::Nothing,
            "[PVT]", {{1000, "discharge"}}, "2150\r\n"},
        {"a wave answered with the banner once acknowledgements are words", {"held=keep", "banner=0:W02"}, {"[W01]", "[NRG]", "[W02]"},
            Between::Nothing, "[PVT]", {{1000, "discharge"}}, "2150\r\n", 2},
        {"a wave stopped before its late banner", {"held=keep", "banner=1500:W01"}, {"[W01] stopped"}, Between::Nothing, "[PVT]",
            {{2500, "discharge"}}, "2150\r\n"},
        {"a wave stopped before its late banner, a reading owed", {"held=keep", "banner=1500:W01"}, {"[NRG]", "[W01] stopped"},
            Between::Nothing, "[PVT]", {{2500, "discharge"}}, "2150\r\n"},
        {"numeric acknowledgements, a reading owed", {"held=keep", "reading W01=0", "reading WSP=0"}, {"[NRG]", "[W01]", "[WSP]"},
            Between::Nothing, "[PVT]", {{1000, "discharge"}}, "2150\r\n"},
        {"numeric acknowledgements, one owed at the close", {"held=keep", "reading W01=0"}, {"[NRG]", "[W01]"}, Between::Reopened,
            "[PVT]", {{4000, "discharge"}}, "2150\r\n"},
        {"a held pacing answer just after a wave command", {"held=keep"}, {"[PAC]", "[W05] pacing"}, Between::Nothing, "[PVT]",
            {{1000, "discharge"}}, "2150\r\n"},
        {"a reading with its unit", {"held=keep", "reading PVT=2150V"}, {}, Between::Nothing, "[PVT]", {{1000, "discharge"}}, "2150V\r\n",
            1},
        {"a reading with its unit, a reading owed", {"held=keep", "reading PVT=2150V"}, {"[NRG]"}, Between::Nothing, "[PVT]",
            {{1000, "discharge"}}, "2150V\r\n", 2},
        // Lines that end otherwise are named, not waited on.
        {"readings that end with LF alone", {"held=keep", "line-end=lf:PVT"}, {}, Between::Nothing, "[PVT]", {{1000, "discharge"}},
            nullptr, 1, false, 0, MCommUtils::kLinesUnread},
        {"readings that end with CR alone", {"held=keep", "line-end=cr:PVT"}, {}, Between::Nothing, "[PVT]", {{1000, "discharge"}},
            nullptr, 1, false, 0, MCommUtils::kLinesUnread},
        // Then statuses so ended every half second: told at the next, not once quiet.
        {"a reading ended by LF alone, then a status so ended every half second", {"held=keep", "line-end=lf:PVT"}, {}, Between::Nothing,
            "[PVT]", {{1000, "discharge"}, {1500, "trickle", "E07\n"}}, nullptr, 1, false, 0, MCommUtils::kLinesUnread},
        {"a wave answer owed at the close", {"held=keep"}, {"[W01]"}, Between::Reopened, "[CRG]", {{4000, "discharge"}}, "5.3\r\n", 1},
        {"answers of one discharge spread within the time-out", {"held=keep", "late=900:PVT"}, {"[NRG]"}, Between::Nothing, "[PVT]",
            {{1000, "discharge"}}, "2150\r\n"},
        {"answers of one discharge spread past the time-out", {"held=keep", "late=1100:PVT"}, {"[NRG]"}, Between::Nothing, "[PVT]",
            {{1000, "discharge"}}, nullptr},
        // "199" before the send, ".6" after it.
        {"a late line begun before the send", {"held=keep", "chunks=2:300"}, {"[NRG]"}, Between::Nothing, "[PVT]",
            {{50, "discharge"}, {600, "discharge"}}, "2150\r\n"},
        {"a late line begun before a wave command", {"held=keep", "chunks=2:300"}, {"[NRG]"}, Between::Nothing, "[W01]",
            {{50, "discharge"}}, "OK\r\n"},
        // A byte that no reply holds before a line's text is taken out; inside it, it
        // breaks the line.
        {"a stray byte with nothing owed", {"held=keep"}, {}, Between::Nothing, "[CRG]", {{0, "noise", "\x7f"}, {1000, "discharge"}}, "5.3\r\n"},
        {"a stray byte inside the reading with nothing owed", {"held=keep"}, {}, Between::Nothing, "[CRG]",
            {{0, "noise inside", "\x7f"}, {1000, "discharge"}}, nullptr, 0, false, 0, MCommUtils::kReplyUncertain,
            QStringLiteral("line noise broke the line that came, \"5.\\x7f3\", with a byte that no reply holds, so it is no reading.")},
        {"a stray byte before a wave command", {"held=keep"}, {}, Between::Nothing, "[W01]", {{0, "noise", "\x7f"}}, "OK\r\n"},
        // 1 + 2 + 4 + 8 + 16 copies cut short: 31 lines may come.
        {"more earlier answers than the bound", {"held=keep"}, {"[NRG]", "[NRG]", "[NRG]", "[NRG]", "[NRG]"}, Between::Nothing, "[PVT]",
            {{1000, "discharge"}}, nullptr, 0, false, 31},
        {"a version asked while switched off", {"held=newest"}, {"[VER]"}, Between::Reopened, "[PVT]", {{1000, "discharge"}}, nullptr},
        // Versions asked while the analyser was busy, all answered at the next start's
        // "[VER]" at once: the start reads them all.
        {"versions answered in a burst at the next start", {"held=keep"}, {"[VER] deferred"}, Between::Reopened, "[PVT]", {{3000, "discharge"}},
            "2150\r\n", 1},
    };
    // A stop the analyser never answered may yet be answered with a number, whatever
    // it acknowledged stops with before: it costs the next reading a copy. An analyser
    // that answers one copy alone leaves a line that may be that late answer: the
    // link waits on (until the Stop here).
    for (const char* held : {"keep", "drop", "cancel", "newest", "queue"}) {
        const bool bothAnswered = QLatin1String(held) == QLatin1String("keep") || QLatin1String(held) == QLatin1String("drop");
        rows.push_back({std::string("a stop acknowledged, then one never answered, then ") + held,
            {QStringLiteral("held=") + QLatin1String(held)}, {"[WSP]", "[WSP] never answered"}, Between::Nothing, "[PVT]",
            {{1000, "discharge"}}, bothAnswered ? "2150\r\n" : "", 2});
    }
    // Once a start's version was answered, the one line of an analyser that answers one
    // copy cannot be the stop's late answer: no reading.
    for (const char* held : {"cancel", "newest", "queue"})
        rows.push_back({std::string("a stop never answered, then a start, then ") + held, {QStringLiteral("held=") + QLatin1String(held),
            "no-reply=WSP"}, {"[WSP]"}, Between::Reopened, "[PVT]", {{1000, "discharge"}}, nullptr});
    rows.push_back({"a wave command, then a stop never answered", {"held=keep", "no-reply=WSP"}, {"[W01]", "[WSP]"}, Between::Nothing,
        "[PVT]", {{1000, "discharge"}}, "2150\r\n", 2});
    // The analyser changes the form of its acknowledgements: a number where it gave a
    // word is no reading and takes nothing off, a word where it gave numbers leaves
    // those counted, and an acknowledgement in the other form is taken.
    rows.push_back({"a wave acknowledged with a word, its resent copy with a number", {"held=keep", "reading W01=OK|1"}, {"[W01]"},
        Between::Nothing, "[CRG]", {{2500, "discharge"}}, "5.3\r\n", 1});
    rows.push_back({"the same, a reading owed", {"held=keep", "reading W01=OK|1"}, {"[NRG]", "[W01] at once", "pause"}, Between::Nothing,
        "[PVT]", {{1000, "discharge"}}, "2150\r\n", 2});
    rows.push_back({"a wave acknowledged with numbers, then words, a reading owed", {"held=keep", "reading W01=0|OK"},
        {"[NRG]", "[W01] at once", "[W01] at once", "pause"}, Between::Nothing, "[PVT]", {{1000, "discharge"}}, "2150\r\n", 2});
    rows.push_back({"a wave acknowledged with a number once words were seen, a reading owed", {"held=keep", "reading W01=OK|OK|1"},
        {"[NRG]", "[W01] at once", "[W01] at once", "pause"}, Between::Nothing, "[PVT]", {{1000, "discharge"}}, "2150\r\n"});
    rows.push_back({"a wave acknowledged with a word once numbers were seen", {"held=keep", "reading W01=0|0|OK"},
        {"[W01] at once", "[W01] at once", "pause"}, Between::Nothing, "[PVT]", {{1000, "discharge"}}, "2150\r\n"});
    rows.push_back({"a stop acknowledged with a word, then with a number, a reading owed", {"held=keep", "reading WSP=OK|0"},
        {"[NRG]", "[WSP]", "[WSP]"}, Between::Nothing, "[PVT]", {{1000, "discharge"}}, "2150\r\n", 2});
    rows.push_back({"a stop acknowledged with a number, then with a word, a reading owed", {"held=keep", "reading WSP=0|OK"},
        {"[NRG]", "[WSP]", "[WSP]"}, Between::Nothing, "[PVT]", {{1000, "discharge"}}, "2150\r\n", 2});
    rows.push_back({"stops acknowledged with numbers, then a word", {"held=keep", "reading WSP=0|OK"}, {"[WSP]", "[WSP]"}, Between::Nothing,
        "[PVT]", {{1000, "discharge"}}, "2150\r\n"});
    // A wave acknowledged in the other form and stopped before it was taken: that
    // line stands for its acknowledgement, and the stop's own is the stop's.
    rows.push_back({"a wave acknowledged with a number once words were seen, then stopped", {"held=keep", "reading W01=OK|OK|1"},
        {"[NRG]", "[W01] at once", "[W01] stopped"}, Between::Nothing, "[PVT]", {{1000, "discharge"}}, "2150\r\n", 2});
    // Waves and stops, each answered, the wave's resent copy late: its number comes
    // just before the stop's word, which is no lesson and stays counted only while the
    // acknowledgements asked for within the reply's time may still be answered.
    QStringList pairs;
    for (int i = 0; i < 10; ++i)
        pairs << QStringLiteral("[W01]") << QStringLiteral("[WSP]");
    rows.push_back({"ten waves and stops, the wave acknowledged with a word, then numbers", {"held=keep", "reading W01=OK|1"}, pairs,
        Between::Nothing, "[CRG]", {{1000, "discharge"}}, "5.3\r\n", 4});
    // Behind a stop answered late, a wave acknowledged in the other form, in time: the
    // link waits the reply time-out for the usual form, then takes it, and resends.
    rows.push_back({"a wave acknowledged with a number once words were seen, behind a stop answered late",
        {"held=keep", "late=1500:WSP", "reading W01=OK|OK|1"}, {"[W01] at once", "[WSP]"}, Between::Nothing, "[W01]", {}, "1\r\n", 2});
    // A stop never answered takes the version of the next start, which the link
    // takes all the same once no other came.
    rows.push_back({"a stop never answered, then a start", {"held=keep", "no-reply=WSP"}, {"[WSP]"}, Between::Reopened, "[PVT]",
        {{1000, "discharge"}}, "2150\r\n", 2});
    // A model that lacks the test answers each copy with its banner: not supported,
    // whatever else is owed.
    rows.push_back({"a held reading stopped, then a model without the test", {"held=keep", "banner=1500:OVT"}, {"[NRG]"}, Between::Nothing,
        "[OVT]", {}, "Vel-Tor Tarvo\r\n", 2});
    // Should the analyser acknowledge waveform commands with a number, a stop it never
    // answers counts among the readings that may still come.
    rows.push_back({"a stop never answered, by an analyser that acknowledges with a number",
        {"held=keep", "no-reply=WSP", "reading W01=0", "reading WSP=0"}, {"[W01]", "[WSP]"}, Between::Nothing, "[PVT]",
        {{1000, "discharge"}}, "2150\r\n", 2});
    // Line noise before the send, between the copies and while the reading waits,
    // with nothing owed and with a late answer to come; and inside the late answer.
    const struct {
        const char* name;
        QByteArray bytes;
        bool breaks = false; // a lone line end after text: the next line is no reading
    } noises[] = {{"LF", "\n"}, {"CR CR", "\r\r"}, {"0x7f", "\x7f"}, {"an empty line", "\x7f\r\n"}, {"a line that is no reply", "E07\r\n"},
        {"\"-\" LF", "-\n", true}, {"\"5\" CR", "5\r", true}};
    // A digit that comes before the request goes out begins a line that answers none
    // sent since: with nothing owed, the reply it joins costs the reading.
    rows.push_back({"a stray digit with nothing owed, before the send", {"held=keep"}, {}, Between::Nothing, "[PVT]",
        {{0, "noise", "5"}, {1000, "discharge"}}, nullptr, 0, false, 0});
    rows.push_back({"a stray digit with a late answer to come, before the send", {"held=keep"}, {"[NRG]"}, Between::Nothing, "[PVT]",
        {{0, "noise", "5"}, {1000, "discharge"}}, "2150\r\n"});
    for (const auto& noise : noises) {
        const std::string name = noise.name;
        for (const bool owed : {false, true}) {
            const QStringList cutShort = owed ? QStringList{"[NRG]"} : QStringList{};
            const std::string what = name + (owed ? " with a late answer to come" : " with nothing owed");
            // Noise that breaks the reply's line costs the reading where no other copy
            // answers; noise before the send joins no reply.
            const char* joined = noise.breaks && !owed ? nullptr : "2150\r\n";
            const int upTo = noise.breaks && !owed ? 0 : 1;
            rows.push_back({what + ", before the send", {"held=keep"}, cutShort, Between::Nothing, "[PVT]",
                {{0, "noise", noise.bytes}, {1000, "discharge"}}, "2150\r\n"});
            rows.push_back({what + ", between the copies", {"held=keep"}, cutShort, Between::Nothing, "[PVT]",
                {{5, "noise at byte", noise.bytes}, {1000, "discharge"}}, joined, 0, false, upTo});
            rows.push_back({what + ", while waiting", {"held=keep"}, cutShort, Between::Nothing, "[PVT]",
                {{500, "noise", noise.bytes}, {1000, "discharge"}}, joined, 0, false, upTo});
        }
        // The late answer comes before the send; a pacer reading is still to come. A
        // line end (CR LF) that noise puts inside an answer makes two answers of it.
        // Broken, the late answer takes nothing off: the reading goes out four times.
        if (!noise.bytes.contains("\r\n"))
            rows.push_back({name + " inside a late answer", {"held=keep"}, {"[NRG]", "[PAC]"}, Between::Nothing, "[PVT]",
                {{0, "noise inside", noise.bytes}, {40, "discharge"}, {500, "pacing"}, {1000, "discharge"}}, "2150\r\n", 4});
    }
    // Readings a byte of line noise damaged: none is read as another number.
    const struct {
        QByteArray reply;
        const char* quoted;
    } damaged[] = {{"2\xb0.5", "2\\xb0.5"}, {"1\xb0" "4.2", "1\\xb04.2"}, {"20\xae" "5", "20\\xae5"}, {"2\x10.5", "2\\x10.5"},
        {"1\x1b" "5.4", "1\\x1b5.4"}, {QByteArray("9\0" "5", 3), "9\\x005"}, {"9\x85", "9\\x85"}, {QByteArray("9\0", 2), "9\\x00"}};
    for (const auto& d : damaged) {
        rows.push_back({std::string("a reading damaged to ") + d.quoted, {"held=keep", QStringLiteral("reading CRG=") + QString::fromLatin1(d.reply)},
            {}, Between::Nothing, "[CRG]", {{1000, "discharge"}}, nullptr, 0, false, 0, MCommUtils::kReplyUncertain,
            QStringLiteral("line noise broke the line that came, \"%1\", with a byte that no reply holds").arg(QLatin1String(d.quoted))});
    }
    // A discharge at each byte of "[PVT]\r[PVT]\r", and the operator's next one later,
    // with the readings of one discharge answered in the order asked or newest first.
    // The reading is taken only where both copies are answered at one discharge: by an
    // analyser that keeps cut-short readings once the second copy is in, one that
    // drops them also before the first; else line noise aside, the lines that came
    // cannot show which answers the request.
    for (const char* order : {"asked", "reverse"}) {
        for (const char* held : {"keep", "drop", "cancel", "newest", "queue"}) {
            const QLatin1String mode(held);
            for (int byte = 0; byte < 12; ++byte) {
                const bool taken = (mode == QLatin1String("keep") && byte >= 10)
                    || (mode == QLatin1String("drop") && (byte < 4 || byte >= 10));
                rows.push_back({std::string(held) + ", order " + order + ", a discharge at byte " + std::to_string(byte),
                    {QStringLiteral("held=") + mode, QStringLiteral("order=") + QLatin1String(order)}, {"[NRG]"}, Between::Reopened,
                    "[PVT]", {{byte, "byte"}, {4000, "discharge"}}, taken ? "2150\r\n" : nullptr});
            }
        }
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim::Scenario scenario;
        for (const QString& fault : row.faults) {
            if (fault.startsWith(QLatin1String("reading ")))
                EXPECT_TRUE(sim::applySetting(scenario, QStringLiteral("reading"), fault.mid(8), nullptr));
            else
                scenario = withFault(fault, scenario);
        }
        scenario.dischargeAfterMs = -1;
        scenario.pacing = false;
        sim::TarvoSimulator& sim = openOnPort1(scenario);
        for (const QString& command : row.cutShort) {
            if (command == QLatin1String("[W01]")) {
                answerWaveAfter(sim, {0, 600});
                EXPECT_FALSE(link->SendCommand(command).toString().isEmpty());
                continue;
            }
            if (command == QLatin1String("[W01] at once")) {
                const auto acknowledged = guardFor(20000);
                EXPECT_FALSE(link->SendCommand(QStringLiteral("[W01]")).toString().isEmpty()) << "the acknowledgement is taken";
                *acknowledged = true;
                continue;
            }
            if (command == QLatin1String("pause")) {
                settle(2000);
                continue;
            }
            if (command == QLatin1String("[W02]")) {
                EXPECT_FALSE(link->SendCommand(command).toString().isEmpty());
                continue;
            }
            if (command == QLatin1String("[W05] pacing")) {
                // The held pacing answer comes just before the wave command's own.
                const auto pacing = QObject::connect(&sim, &sim::TarvoSimulator::commandReceived, &sim, [&sim](const QString& word) {
                    if (word == QLatin1String("W05"))
                        sim.setPacing(true);
                });
                EXPECT_FALSE(link->SendCommand(QStringLiteral("[W05]")).toString().isEmpty());
                QObject::disconnect(pacing);
                sim.setPacing(false);
                continue;
            }
            if (command == QLatin1String("[VER] deferred")) {
                // Busy, it takes the asks in and answers them at the next one.
                sim.scenario().noReply.words.insert(QStringLiteral("VER"));
                auto deferred = std::make_shared<int>(0);
                QObject::connect(&sim, &sim::TarvoSimulator::commandReceived, &sim, [&sim, deferred](const QString& word) {
                    if (word != QLatin1String("VER") || *deferred < 0)
                        return;
                    if (sim.scenario().noReply.words.contains(QStringLiteral("VER"))) {
                        ++*deferred;
                        return;
                    }
                    sim.sendNoise(QByteArray("2.13\r\n").repeated(std::exchange(*deferred, -1)));
                });
                MComm::BeginWatch();
                settle(5000);
                for (int ask = 0; ask < 3; ++ask) // at the boxes that follow
                    MComm::AskWatch();
                EXPECT_FALSE(MComm::EndWatch(false));
                settle(100); // the last ask is in
                sim.scenario().noReply = {};
                continue;
            }
            if (command == QLatin1String("[VER]")) {
                sim.setPowered(false);
                MComm::BeginWatch();
                EXPECT_FALSE(MComm::EndWatch(false));
                sim.setPowered(true);
                continue;
            }
            if (command == QLatin1String("[WSP] never answered")) {
                sim.scenario().noReply.words.insert(QStringLiteral("WSP"));
                EXPECT_TRUE(link->SendCommand(QStringLiteral("[WSP]")).toString().isEmpty());
                continue;
            }
            if (command == QLatin1String("[WSP]")) {
                const auto stopped = guardFor(20000);
                link->SendCommand(command);
                *stopped = true;
                continue;
            }
            after(300, [&] { link->Abort(); });
            EXPECT_TRUE(link->SendCommand(command.section(QLatin1Char(' '), 0, 0)).toString().isEmpty()) << command.toStdString();
        }
        if (row.between != Between::Nothing)
            link->CloseChannel();
        if (row.between == Between::Replugged) {
            const QString before = sim.devicePath();
            ASSERT_TRUE(sim.replug());
            EXPECT_NE(sim.devicePath(), before);
            host::SerialPortMap::SetSessionPath(1, sim.devicePath());
        }
        if (row.between != Between::Nothing)
            createLink()->OpenChannel();
        int bytes = 0;
        const auto counter = QObject::connect(&sim, &sim::TarvoSimulator::byteReceived, &sim, [&bytes] { ++bytes; });
        const auto trickling = std::make_shared<bool>(true);
        for (const Event& e : row.events) {
            const QLatin1String what(e.what);
            if (what == QLatin1String("byte") || what == QLatin1String("noise at byte")) {
                QObject::connect(&sim, &sim::TarvoSimulator::byteReceived, &sim, [&sim, &bytes, e] {
                    if (bytes - 1 != e.at)
                        return;
                    if (e.noise.isEmpty())
                        sim.discharge();
                    else
                        sim.sendNoise(e.noise);
                });
                continue;
            }
            if (what == QLatin1String("trickle")) {
                for (int at = e.at; at < 30000; at += 500)
                    after(at, [&sim, e, trickling] {
                        if (*trickling)
                            sim.sendNoise(e.noise);
                    });
                continue;
            }
            after(e.at, [&sim, e, what] {
                if (what == QLatin1String("pacing"))
                    sim.setPacing(true);
                else if (what == QLatin1String("noise"))
                    sim.sendNoise(e.noise);
                else if (what == QLatin1String("noise inside"))
                    sim.noiseInNextReply(e.noise, 2);
                else
                    sim.discharge();
            });
        }
        sim.clearLog();
        boxes.clear();
        onBox = [&](const MessageBoxRequest& box) {
            if (row.switchedOffAndOn && box.prompt.startsWith(QStringLiteral("Error #8030")))
                sim.setPowered(false);
            if (box.prompt.contains(QStringLiteral("Switch it on")))
                sim.setPowered(true);
            return mb::OK;
        };
        const auto over = guardFor(20000);
        const QString word = MCommUtils::CommandWord(QLatin1String(row.command)).mid(1, 3);
        if (row.reply) {
            EXPECT_EQ(link->SendCommand(QLatin1String(row.command)).toString(), QLatin1String(row.reply));
            if (QLatin1String(row.reply).startsWith(QLatin1String("Vel-Tor"))) {
                EXPECT_TRUE(link->TestStop());
                EXPECT_EQ(promptsOf(boxes), QStringList{QStringLiteral("This test is not supported on this model of the Tarvo")});
            } else {
                EXPECT_TRUE(boxes.empty());
            }
            if (row.copies > 0) {
                if (MCommUtils::IsAcknowledged(QLatin1String(row.command)))
                    settle(100); // the resent copy is on the wire
                EXPECT_EQ(sim.commands().count(word), row.copies);
            }
        } else {
            EXPECT_EQ(errorNumberOf([&] { link->SendCommand(QLatin1String(row.command)); }), kVtiError);
            const QStringList said = promptsOf(boxes);
            const QString prompt = said.value(0);
            if (row.error == MCommUtils::kLinesUnread) {
                EXPECT_EQ(said.size(), 1) << said.join(QLatin1Char('\n')).toStdString();
                EXPECT_TRUE(prompt.startsWith(QStringLiteral("Error #8031\r\n%1 sent ").arg(sim.devicePath()))) << prompt.toStdString();
                EXPECT_TRUE(prompt.contains(QStringLiteral("a line that ends with"))) << prompt.toStdString();
            } else {
                // The link watches what the operator does: an analyser that still
                // answers was not switched off, and keeps what it may hold.
                EXPECT_EQ(said.size(), 3) << said.join(QLatin1Char('\n')).toStdString();
                EXPECT_TRUE(prompt.startsWith(QStringLiteral("Error #8030\r\nNo reading was taken for %1 on %2: ").arg(row.command, sim.devicePath())))
                    << prompt.toStdString();
                // It says how long the analyser must stay off: three asks a second apart
                // must go unanswered, and a reply time-out (1 s here) thrice.
                EXPECT_TRUE(prompt.endsWith(QStringLiteral("Switch it off, leave it off for at least 4 s, then press OK."))) << prompt.toStdString();
                const QString answers = row.upTo == 1 ? QStringLiteral("the answer to an earlier request")
                                                      : QStringLiteral("up to %1 answers to earlier requests").arg(row.upTo);
                const QString wording = row.upTo == 0 ? QStringLiteral("the line that came")
                    : row.upTo > MCommUtils::kMaxEarlierAnswers
                    ? answers
                    : QRegularExpression::escape(answers) + QStringLiteral(" \\([^)]*\\) that the link stopped waiting for, and the lines that "
                                                                          "came do not show which one is the reading");
                EXPECT_TRUE(row.upTo > 0 && row.upTo <= MCommUtils::kMaxEarlierAnswers ? prompt.contains(QRegularExpression(wording))
                                                                                       : prompt.contains(wording))
                    << wording.toStdString() << "\n" << prompt.toStdString();
                EXPECT_EQ(prompt.contains(QStringLiteral("more than the link sends the command again for")), row.upTo > MCommUtils::kMaxEarlierAnswers);
                EXPECT_TRUE(prompt.contains(row.says)) << prompt.toStdString();
                for (const QString& earlier : row.cutShort)
                    EXPECT_TRUE(prompt.contains(earlier.section(QLatin1Char(' '), 0, 0))) << earlier.toStdString() << " " << prompt.toStdString();
                EXPECT_TRUE(said.value(2).contains(row.switchedOffAndOn ? QStringLiteral("answers [VER] again")
                                                                        : QStringLiteral("still answers [VER], so the link did not see it switched off")))
                    << said.value(2).toStdString();
                if (row.switchedOffAndOn) {
                    EXPECT_EQ(MComm::ReadingsThatMayCome(), 0);
                }
            }
        }
        *over = true;
        *trickling = false;
        settle(5000); // every event of the row has come
        QObject::disconnect(counter);

        // The next test, once the reading was taken or the operator pressed OK.
        sim.clearLog();
        boxes.clear();
        after(1000, [&sim] { sim.discharge(); });
        const auto nextOver = guardFor(20000);
        QString next;
        const std::int32_t error = errorNumberOf([&] { next = link->SendCommand(QStringLiteral("[OCR]")).toString(); });
        *nextOver = true;
        if (error == 0) {
            EXPECT_EQ(next, QStringLiteral("41.5\r\n")) << "the next test's own reading";
        } else {
            EXPECT_EQ(error, kVtiError);
            EXPECT_FALSE(boxes.empty() || !boxes[0].prompt.startsWith(QStringLiteral("Error #8030"))) << "or none";
        }
        if (row.switchedOffAndOn) {
            EXPECT_EQ(sim.commands().count(QStringLiteral("OCR")), 1) << "cost nothing once the analyser was switched off and on";
        }
        settle(5000);
        onBox = {};
    }
}

TEST_F(LinkExchange, afterError8030_theCountIsClearedOnlyOnceTheAnalyserWasSeenAnsweringSilentAndAnsweringAgain)
{
    // What the operator does at each box, and to the analyser first: "off" and "on"
    // switch it ("off 1.2 s" on again 1.2 s later), "slow" makes it answer "[VER]"
    // 1.5 s late ("on, slow" 2.5 s late from its switch-on), "menu" takes it off its
    // main menu (it answers nothing and keeps what it holds) and "menu back" brings it
    // back, "busy" keeps it from answering for 3.6 s, "pull" pulls the adapter,
    // "replug" pulls it and plugs it in again under the same name, "stop" presses Stop
    // while the link listens, "wait" leaves the box up 10 s ("off, wait" and "on,
    // wait" 5 s, in the window's real box), "keep" makes it keep what it holds. Then
    // the link starts again, maybe first while the analyser is switched off (a start
    // that fails) or answers its first "[VER]" with a status alone: no start forgets
    // the earlier requests.
    const struct {
        const char* what;
        QList<QPair<int, const char*>> boxes; // the answer to each box in turn, and what is done first
        const char* lastSays;
        int left = -1; // the answers still counted once the link forgot; -1: it did not
        bool failedStartFirst = false;
        bool nextBoxAtOnce = false;
        int addsAtMost = -1; // the most answers the check leaves counted
        const char* secondSays = "";
        int timeOutMs = 0;
        bool statusFirst = false; // the next start's first "[VER]" is answered with a status
        int readAfter = 0; // the next test's reading follows: 1 at once, 2 after the next start
    } rows[] = {
        {"cancel", {{mb::Cancel, ""}, {mb::OK, ""}}, "The check was cancelled. The link goes on counting"},
        {"cancel, then a start that fails, then a start", {{mb::Cancel, ""}, {mb::OK, ""}}, "The check was cancelled", -1, true},
        {"cancel, then a start whose version is first answered with a status", {{mb::Cancel, ""}, {mb::OK, ""}}, "The check was cancelled",
            -1, false, false, -1, "", 0, true},
        {"OK at every box, the analyser untouched", {{mb::OK, ""}, {mb::OK, ""}, {mb::OK, ""}},
            "still answers [VER], so the link did not see it switched off", -1, false, false, 0},
        {"off, OK, on, OK", {{mb::OK, "off"}, {mb::OK, "on"}, {mb::OK, ""}}, "answers [VER] again", 0},
        // The link asks while a real box is up: once the operator has switched the
        // analyser off and waited, a click on OK brings the next box at once.
        {"off and wait at the box, OK, on and wait, OK", {{mb::OK, "off, wait"}, {mb::OK, "on, wait"}, {mb::OK, ""}},
            "answers [VER] again", 0, false, true},
        // At the operator's pace: each box read for a second before the analyser is
        // switched, then left off 5 s, or 4 s for the main menu once on.
        // Its first answer late: switched off before it came, the analyser is asked to
        // be switched on, then off once more.
        {"its first answer late, off before it came", {{mb::OK, "off, first answered late"}, {mb::OK, "on"}, {mb::OK, "off"}, {mb::OK, "on"},
            {mb::OK, ""}}, "answers [VER] again", 0, false, false, -1, "has not answered [VER] since the error"},
        {"off a second after the box, left off 5 s, OK, on a second after the next, 4 s, OK",
            {{mb::OK, "off later, wait"}, {mb::OK, "on later, wait"}, {mb::OK, ""}}, "answers [VER] again", 0, false, false, -1, "", 0, false, 1},
        {"OK, then off at the second box", {{mb::OK, ""}, {mb::OK, "off"}, {mb::OK, "on"}, {mb::OK, ""}}, "answers [VER] again", 0},
        {"OK, cancel at the second box", {{mb::OK, ""}, {mb::Cancel, ""}, {mb::OK, ""}}, "The check was cancelled", -1, false, false, 0,
            "so it has not been switched off"},
        {"off, cancel at the switch-on box", {{mb::OK, "off"}, {mb::Cancel, ""}, {mb::OK, ""}}, "The check was cancelled", -1, false, false,
            4, "has not answered [VER] for 3.0 s"},
        // The first ask after the switch-on box may have reached it once on: it counts.
        {"off, OK while still off, then on", {{mb::OK, "off"}, {mb::OK, ""}, {mb::OK, "on"}, {mb::OK, ""}}, "answers [VER] again", 1},
        {"off, OK while still off, cancel", {{mb::OK, "off"}, {mb::OK, ""}, {mb::Cancel, ""}, {mb::OK, ""}}, "The check was cancelled", -1,
            false, false, 5},
        {"off, OK while still off twice", {{mb::OK, "off"}, {mb::OK, ""}, {mb::OK, ""}, {mb::OK, ""}}, "still does not answer [VER]", -1,
            true, false, 6},
        {"its version answered late, OK at every box", {{mb::OK, "slow"}, {mb::OK, ""}, {mb::OK, ""}},
            "still answers [VER], so the link did not see it switched off"},
        {"off its main menu, OK at every box", {{mb::OK, "menu"}, {mb::OK, ""}, {mb::OK, ""}, {mb::OK, ""}}, "still does not answer [VER]"},
        // Silence cannot tell a switch-off from this: the operator's word decides.
        {"off its main menu, back to it at the switch-on box", {{mb::OK, "menu"}, {mb::OK, "menu back"}, {mb::OK, ""}},
            "answers [VER] again", 0},
        {"busy for 3.6 s, OK at every box but the question", {{mb::OK, "busy"}, {mb::OK, ""}, {mb::OK, ""}, {mb::Cancel, ""}, {mb::OK, ""}},
            "The check was cancelled", -1, false, false, -1, "has not answered [VER] for 3.0 s"},
        {"the adapter pulled", {{mb::OK, "pull"}, {mb::OK, ""}}, "went away while the link watched"},
        {"the adapter pulled and plugged in again", {{mb::OK, "replug"}, {mb::OK, ""}}, "went away while the link watched"},
        {"off, stop while the link listens", {{mb::OK, "off, stop"}}, "Error #8030"},
        // A box left up asks no more than the proof needs.
        {"the box left up, the analyser untouched", {{mb::Cancel, "wait"}, {mb::OK, ""}}, "The check was cancelled", -1, false, false, 0},
        {"off at the box, the switch-on box left up, cancel, then a reading", {{mb::OK, "off"}, {mb::Cancel, "wait"}, {mb::OK, ""}},
            "The check was cancelled", -1, false, false, 4, "", 0, false, 2},
        // Too short a silence is told as such, also where three reply time-outs are
        // shorter than it.
        {"off for 1.2 s", {{mb::OK, "off 1.2 s"}, {mb::Cancel, ""}, {mb::OK, ""}}, "The check was cancelled", -1, false, false, -1,
            "too short to show that it was switched off, as it must stay silent for at least 3.0 s. Switch it off, leave it off for at least 4 s"},
        {"off for 1.2 s, a reply time-out of 300 ms", {{mb::OK, "off 1.2 s"}, {mb::Cancel, ""}, {mb::OK, ""}}, "The check was cancelled", -1,
            false, false, -1, "too short to show that it was switched off, as it must stay silent for at least 3.0 s", 300},
        // The answer to the last ask is still on its way when the operator says it was
        // switched off and on: it stays counted, and the next reading is its own.
        {"the last ask's answer on its way", {{mb::OK, "off"}, {mb::OK, "on, slow"}, {mb::OK, ""}, {mb::OK, "keep"}}, "answers [VER] again", 1,
            false, false, -1, "", 0, false, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        setCommTimeOut(row.timeOutMs);
        sim::TarvoSimulator& sim = owingAnEnergyAtOneReadingADischarge();
        int box = 0;
        int owedAtError = -1;
        int asksWhileUp = -1;
        int waitedBox = -1;
        QList<qint64> shownAt;
        QList<qint64> answeredAt;
        onBox = [&](const MessageBoxRequest& request) {
            shownAt.append(now());
            if (box == 0)
                owedAtError = MComm::ReadingsThatMayCome();
            const auto& [answer, action] = row.boxes.value(box++, {mb::OK, ""});
            const QLatin1String act(action);
            if (act == QLatin1String("on, slow"))
                settle(1000); // the operator reads the box first
            if (act == QLatin1String("wait"))
                waitedBox = box - 1;
            const bool later = act.contains(QLatin1String(" later"));
            if (act.startsWith(QLatin1String("on")) || act.startsWith(QLatin1String("off"))) {
                const bool on = act.startsWith(QLatin1String("on"));
                if (later)
                    after(1000, [&sim, on] { sim.setPowered(on); });
                else
                    sim.setPowered(on);
            }
            if (act.endsWith(QLatin1String(", wait"))) {
                // The box the operator sees, answered after 5 s by a click on its button.
                after(later ? (act.startsWith(QLatin1String("on")) ? 5000 : 6000) : 5000, [answer] {
                    auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                    ASSERT_TRUE(shown);
                    QTest::mouseClick(shown->button(answer == mb::OK ? QMessageBox::Ok : QMessageBox::Cancel), Qt::LeftButton);
                });
                const int clicked = host::showGuiMessageBox(request);
                answeredAt.append(now());
                EXPECT_EQ(clicked, answer);
                return clicked;
            }
            if (act == QLatin1String("wait")) {
                const qsizetype asked = sim.commands().count(QStringLiteral("VER"));
                settle(10000);
                asksWhileUp = static_cast<int>(sim.commands().count(QStringLiteral("VER")) - asked);
            }
            answeredAt.append(now());
            if (act == QLatin1String("slow") || act == QLatin1String("on, slow")) {
                sim.scenario().late.words = {QStringLiteral("VER")};
                sim.scenario().lateMs = act == QLatin1String("slow") ? 1500 : 2500;
            }
            if (act == QLatin1String("off 1.2 s"))
                after(1200, [&sim] { sim.setPowered(true); });
            if (act == QLatin1String("menu") || act == QLatin1String("busy"))
                sim.scenario().noReply.words.insert(QStringLiteral("VER"));
            if (act == QLatin1String("busy"))
                after(3600, [&sim] { sim.scenario().noReply.words.clear(); });
            if (act == QLatin1String("menu back"))
                sim.scenario().noReply.words.clear();
            if (act == QLatin1String("keep")) {
                sim.scenario().held = sim::HeldMode::Keep;
                sim.scenario().late = {};
            }
            if (act == QLatin1String("pull"))
                sim.vanish();
            if (act == QLatin1String("replug")) {
                EXPECT_TRUE(sim.replug()); // under the same name
            }
            if (act.endsWith(QLatin1String("stop")))
                after(300, [&] { link->Abort(); });
            return answer;
        };
        boxes.clear();
        if (QLatin1String(row.boxes.value(0).second).endsWith(QLatin1String("first answered late"))) {
            sim.scenario().late.words = {QStringLiteral("VER")};
            sim.scenario().lateMs = 1100;
        }
        EXPECT_EQ(errorNumberOf([&] { link->SendCommand(QStringLiteral("[PVT]")); }), kVtiError);
        const QStringList said = promptsOf(boxes);
        EXPECT_EQ(box, row.boxes.size()) << said.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(said.value(said.size() - 1).contains(QLatin1String(row.lastSays))) << said.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(said.value(1).contains(QLatin1String(row.secondSays))) << said.value(1).toStdString();
        if (row.left >= 0) {
            EXPECT_EQ(MComm::ReadingsThatMayCome(), row.left) << "forgotten";
        } else {
            EXPECT_GE(MComm::ReadingsThatMayCome(), owedAtError) << "kept";
        }
        if (row.addsAtMost >= 0) {
            EXPECT_LE(MComm::ReadingsThatMayCome() - owedAtError, row.addsAtMost) << "answers left counted by the check";
        }
        // The last box says what the count that stays costs each later reading.
        if (said.last().contains(QStringLiteral("The link goes on counting"))) {
            EXPECT_TRUE(said.last().contains(QStringLiteral("goes out %1 times").arg(MComm::ReadingsThatMayCome() + 1))) << said.last().toStdString();
        }
        if (waitedBox == 0) {
            // About one ask a second, while the analyser answers.
            EXPECT_GE(asksWhileUp, 8);
            EXPECT_LE(asksWhileUp, 11);
        }
        if (row.nextBoxAtOnce) {
            for (int i = 1; i < shownAt.size(); ++i)
                EXPECT_LT(shownAt[i] - answeredAt[i - 1], 600) << "box " << i;
        }
        for (const QString& text : said)
            EXPECT_FALSE(text.contains(QStringLiteral("holds no earlier request"))) << "a box says only what the link saw";
        onBox = {};
        if (row.readAfter == 1)
            nextReading(sim);
        sim.scenario() = withFault(QStringLiteral("held=queue"));
        sim.scenario().dischargeAfterMs = -1;
        if (!sim.isOpen()) {
            ASSERT_TRUE(sim.replug());
            ASSERT_TRUE(sim.publishAs(m_names.filePath(QStringLiteral("tarvo"))));
        }
        sim.setPowered(true);
        settle(3000); // late answers still on their way come
        link->CloseChannel();
        if (row.failedStartFirst) {
            sim.setPowered(false);
            EXPECT_EQ(errorNumberOf([&] { createLink()->OpenChannel(); }), kVtiError);
            sim.setPowered(true);
        }
        QMetaObject::Connection status;
        if (row.statusFirst) {
            sim.scenario().noReply.words.insert(QStringLiteral("VER"));
            status = QObject::connect(&sim, &sim::TarvoSimulator::commandReceived, &sim, [&sim, asked = 0](const QString& word) mutable {
                if (word != QLatin1String("VER"))
                    return;
                if (asked++ == 0)
                    sim.sendNoise("E07\r\n");
                else
                    sim.scenario().noReply = {};
            });
        }
        sim.clearLog();
        const int beforeStart = MComm::ReadingsThatMayCome();
        EXPECT_EQ(errorNumberOf([&] { createLink()->OpenChannel(); }), 0);
        QObject::disconnect(status);
        if (row.statusFirst) {
            EXPECT_EQ(sim.commands().count(QStringLiteral("VER")), 2) << "asked again";
        }
        EXPECT_GE(MComm::ReadingsThatMayCome(), beforeStart) << "no start forgets the earlier requests";
        if (row.readAfter == 2)
            nextReading(sim);
        setCommTimeOut(0);
    }
}

TEST_F(LinkExchange, silenceOfAnotherPortIsNoSignTheAnalyserWasSwitchedOff)
{
    // After error 8030 the operator presses OK without switching the analyser off;
    // then the link tries another port, where nothing answers, and comes back.
    owingAnEnergyAtOneReadingADischarge();
    EXPECT_EQ(errorNumberOf([&] { link->SendCommand(QStringLiteral("[PVT]")); }), kVtiError);
    EXPECT_TRUE(promptsOf(boxes).last().contains(QStringLiteral("still answers")));
    link->CloseChannel();
    sims[2] = std::make_unique<sim::TarvoSimulator>(withFault(QStringLiteral("no-reply")));
    ASSERT_TRUE(sims[2]->open());
    host::SerialPortMap::SetSessionPath(2, sims[2]->devicePath());
    host::InstrumentSettings::SetPort(QStringLiteral("TarvoX"), 2);
    EXPECT_EQ(errorNumberOf([&] { link->OpenChannel(); }), kVtiError);
    EXPECT_EQ(link->State(), evtiNotConnected);
    host::InstrumentSettings::SetPort(QStringLiteral("TarvoX"), 1);
    link->OpenChannel();
    EXPECT_EQ(link->State(), evtiIdle);
    EXPECT_GT(MComm::ReadingsThatMayCome(), 0) << "what the analyser may hold stays counted";
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
    const sim::TarvoSimulator& sim = openOnPort1();
    link->SendCommand(QStringLiteral("[CRG]"));
    // The link's port and the query's own are set to the analyser's line: 2400 baud,
    // no parity, 8 data bits, 1 stop bit (the device shows baud and stop bits alone).
    const QString device = sim.devicePath();
    EXPECT_EQ(sim.lineSettings(), QStringLiteral("2400,N,8,1"));
    link->CloseChannel();
    EXPECT_EQ(ComponentRuntime::instance().createAs<IKeltoVexaQuery>(QLatin1String(linkclass::TarvoXQuery))->QueryMTI(1).Present, 1);
    qunsetenv("KELTO_LINK_LOG");
    QFile file(logFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString log = QString::fromUtf8(file.readAll());
    EXPECT_EQ(log.count(QStringLiteral(" open %1 at 2400,N,8,1\n").arg(device)), 2) << log.toStdString();
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
