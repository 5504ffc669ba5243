// The link's account of answers that may still come, rule by rule, without a
// serial line: what goes out and what comes in, and what it counts and decides.

#include <gtest/gtest.h>

#include "instrument_link/MAnswers.h"

namespace kelto::MAnswers {
namespace {

// One step of an exchange as the link takes it: "> CMD" a request sent (the one an
// acknowledged command's exchange awaits), "x CMD N" N copies left unanswered, "< TEXT" a line read, "= CMD TEXT|TEXT..." a command
// answered at once with the first of the lines that come after it that answers it,
// or else one in the other form, taken once no other came (a waveform command also
// resent, as the link does), "off" the analyser seen switched off and on, "settle now"
// and "settle later" the acknowledgements looked at as they came (all sent at 0), and
// once their time passed.
void run(Ledger& ledger, const QStringList& steps)
{
    for (const QString& step : steps) {
        const QString op = step.section(QLatin1Char(' '), 0, 0);
        const QString command = step.section(QLatin1Char(' '), 1, 1);
        const QString rest = step.section(QLatin1Char(' '), 2);
        if (op == QLatin1String(">")) {
            ledger.sent(command, command.startsWith(QLatin1String("[W")));
        } else if (op == QLatin1String("x")) {
            ledger.unanswered(command, rest.toInt());
        } else if (op == QLatin1String("<")) {
            ledger.seen(step.mid(2) + QStringLiteral("\r\n"));
        } else if (op == QLatin1String("=")) {
            const bool noAck = ledger.noAckOwed();
            const bool nothing = ledger.nothingOwed();
            const bool acknowledged = command.startsWith(QLatin1String("[W"));
            ledger.sent(command, acknowledged);
            Line reply;
            Line otherForm;
            for (const QString& text : rest.split(QLatin1Char('|'))) {
                const Line line = ledger.seen(text + QStringLiteral("\r\n"));
                if (reply.text.isEmpty() && (acknowledged ? line.ownAck : !line.owedAck))
                    reply = line;
                if (otherForm.text.isEmpty() && line.otherForm)
                    otherForm = line;
            }
            if (reply.text.isEmpty() && !otherForm.text.isEmpty()) {
                ledger.otherFormTaken(otherForm);
                reply = otherForm;
            }
            ledger.replyTaken(command, reply, noAck, nothing);
            if (command.startsWith(QLatin1String("[W")) && !command.startsWith(QLatin1String("[WS")))
                ledger.sent(command);
        } else if (op == QLatin1String("off")) {
            ledger.forget();
        } else if (op == QLatin1String("settle")) {
            ledger.acknowledgementsSettled(command == QLatin1String("now") ? 0 : 1200, 1200);
        } else {
            ADD_FAILURE() << "unknown step " << step.toStdString();
        }
    }
}

TEST(AnswerLedger, onlyAReadingShapedLineLowersWhatMayCome_andAcknowledgementsCountUntilTheyCome)
{
    const AckStyle unknown = AckStyle::Unknown;
    const AckStyle words = AckStyle::Words;
    const AckStyle numbers = AckStyle::Numbers;
    const AckStyle both = AckStyle::Both;
    const struct {
        const char* what;
        QStringList steps;
        int readings; // that may still come
        AckStyle waves;
        AckStyle stops;
    } rows[] = {
        {"a held reading cut short, then its answer", {"> [NRG]", "x [NRG] 1", "< 199.6"}, 0, unknown, unknown},
        {"its answer with a unit", {"> [NRG]", "x [NRG] 1", "< 199.6J"}, 0, unknown, unknown},
        {"the banner is no reading", {"> [NRG]", "x [NRG] 1", "< Vel-Tor Tarvo"}, 1, unknown, unknown},
        {"a status is no reading", {"> [NRG]", "x [NRG] 1", "< E07"}, 1, unknown, unknown},
        {"a line noise broke is no reading", {"> [NRG]", "x [NRG] 1", "< -\n15.04"}, 1, unknown, unknown},
        {"a first wave command with nothing owed shows words", {"= [W01] OK"}, 0, words, unknown},
        {"and its resent copy's answer", {"= [W01] OK", "< OK"}, 0, words, unknown},
        {"then the stop with nothing owed", {"= [W01] OK", "< OK", "= [WSP] OK"}, 0, words, words},
        {"a stop given up before stops are seen counts", {"= [W01] OK", "< OK", "> [WSP]", "x [WSP] 1"}, 1, words, unknown},
        {"its late number takes off its own count only", {"> [NRG]", "x [NRG] 1", "= [W01] OK", "< OK", "> [WSP]", "x [WSP] 1", "< 0"}, 1,
            words, unknown},
        {"then a stop with nothing owed shows words", {"> [WSP]", "x [WSP] 1", "< OK", "= [WSP] OK"}, 0, unknown, words},
        {"a stop given up once stops are seen counts until it comes", {"= [WSP] OK", "> [WSP]", "x [WSP] 1"}, 1, unknown, words},
        {"a wave command cut short once known, then its banner", {"= [W01] OK", "< OK", "> [W02]", "x [W02] 1", "< Vel-Tor Tarvo"}, 0,
            words, unknown},
        // A held reading owed: the wave command's banner, in time or late, takes nothing off.
        {"a wave answered with the banner, a reading owed", {"> [NRG]", "x [NRG] 1", "= [W01] Vel-Tor Tarvo", "< Vel-Tor Tarvo"}, 3, unknown,
            unknown},
        {"the banner with nothing owed is the wave's own answer", {"= [W01] Vel-Tor Tarvo"}, 1, unknown, unknown},
        // Numeric acknowledgements: each takes off its own count, never the reading's.
        {"numeric acknowledgements, a reading owed", {"> [NRG]", "x [NRG] 1", "= [W01] 0", "< 0", "= [WSP] 0"}, 1, unknown, unknown},
        {"numbers learnt with nothing owed count on", {"= [W01] 0", "< 0", "> [W01]", "x [W01] 1"}, 1, numbers, unknown},
        // A held pacing answer that comes just after "[W05]" goes out is no lesson; the
        // wave's own word that came meanwhile stays counted.
        {"a held answer just after a wave command", {"> [PAC]", "x [PAC] 1", "= [W05] 72", "< OK"}, 2, unknown, unknown},
        {"then the next wave command shows words", {"> [PAC]", "x [PAC] 1", "= [W05] 72", "< OK", "< OK", "= [W05] OK"}, 1, words, unknown},
        {"a wave command among held readings owed shows words", {"> [NRG]", "x [NRG] 1", "= [W01] OK"}, 1, words, unknown},
        // With a stop owed, the word may be the stop's late answer: the wave's own
        // number was taken for it.
        {"a wave command with a stop owed is no lesson", {"> [WSP]", "x [WSP] 1", "= [W01] 0|OK"}, 2, unknown, unknown},
        {"an unanswered version counts", {"> [VER]", "x [VER] 1"}, 1, unknown, unknown},
        {"switched off and on, what was learnt stays", {"= [W01] OK", "> [NRG]", "x [NRG] 1", "off"}, 0, words, unknown},
        // The form changes: what came as a word or a number is counted once, and a
        // change seen where nothing else could have sent the line is learnt no more.
        {"a number after a word", {"= [W01] OK", "< 1"}, 0, both, unknown},
        {"a number after a word, a reading owed", {"> [NRG]", "x [NRG] 1", "= [W01] OK", "< 1"}, 1, words, unknown},
        {"a number before a word", {"> [NRG]", "x [NRG] 1", "= [W01] 0", "< OK", "= [W01] OK", "< OK"}, 1, words, unknown},
        {"a word after numbers", {"= [W01] 0", "< 0", "= [W01] OK"}, 2, both, unknown},
        {"a number after a word, for stops", {"> [NRG]", "x [NRG] 1", "= [WSP] OK", "> [WSP]", "x [WSP] 1", "< 0"}, 1, unknown, words},
        {"a number before a word, for stops", {"> [NRG]", "x [NRG] 1", "> [WSP]", "x [WSP] 1", "< 0", "= [WSP] OK"}, 1, unknown, words},
        {"a word after numbers, for stops", {"= [WSP] 0", "= [WSP] OK"}, 1, unknown, both},
        {"then a word is learnt no more", {"= [WSP] 0", "= [WSP] OK", "= [WSP] OK"}, 2, unknown, both},
        // A stop's word that came once a wave's number had: no lesson, and it stays
        // counted only while an answer it may stand in front of may still come.
        {"a stop's word after a wave's number", {"= [W01] OK", "= [WSP] 1|OK", "settle now"}, 1, words, unknown},
        {"once their time passed", {"= [W01] OK", "= [WSP] 1|OK", "settle later"}, 0, words, unknown},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Ledger ledger;
        run(ledger, row.steps);
        EXPECT_EQ(ledger.readingsThatMayCome(), row.readings);
        EXPECT_EQ(ledger.ackStyle(QStringLiteral("[W01]")), row.waves);
        EXPECT_EQ(ledger.ackStyle(QStringLiteral("[WSP]")), row.stops);
    }
}

TEST(AnswerLedger, aHeldReadingIsTheValueThatAllItsCopiesMayGive_orNone)
{
    enum { Take, Uncertain, Wait };
    const struct {
        const char* what;
        QStringList before;
        QStringList lines; // "quiet" lets the reply time-out pass
        int copies;
        int decision;
        const char* taken = "";
        int left = -1; // when not negative: the readings that may come once it is taken
    } rows[] = {
        {"nothing owed", {}, {"2150"}, 1, Take, "2150", 0},
        {"with its unit", {}, {"104.2J"}, 1, Take, "104.2J"},
        {"a status before it", {}, {"E07", "2150"}, 1, Take, "2150"},
        {"one earlier answer, in either order", {"> [NRG]", "x [NRG] 1"}, {"2150", "199.6", "2150"}, 2, Take, "2150", 0},
        {"one earlier answer that reads the same", {"> [NRG]", "x [NRG] 1"}, {"2150", "2150"}, 2, Take, "2150"},
        {"too few alike", {"> [NRG]", "x [NRG] 1"}, {"199.6", "2150", "quiet"}, 2, Uncertain},
        {"a line noise broke, nothing owed", {}, {"-\n15.04", "quiet"}, 1, Uncertain},
        {"noise before a reading, a reading owed", {"> [NRG]", "x [NRG] 1"}, {"5\r199.6", "2150", "2150"}, 2, Take, "2150"},
        {"the banner, nothing owed", {}, {"Vel-Tor Tarvo"}, 1, Take, "Vel-Tor Tarvo", 0},
        // The resent copy's acknowledgement is owed: its number, or its banner, may come
        // in its place, which is no reading.
        {"the banner, a wave's answer owed", {"= [W01] OK"}, {"Vel-Tor Tarvo", "quiet"}, 1, Wait},
        {"a number where the wave's word is owed", {"= [W01] OK"}, {"1", "quiet", "20.5"}, 1, Take, "20.5", 0},
        {"the same once the wave was stopped", {"= [W01] OK", "< OK", "> [W01]", "x [W01] 1"}, {"1", "20.5", "20.5"}, 2, Take, "20.5"},
        // More banners than earlier requests may send: one copy's at least.
        {"the banner of every copy, a reading owed", {"> [NRG]", "x [NRG] 1"}, {"Vel-Tor Tarvo", "Vel-Tor Tarvo"}, 2, Take, "Vel-Tor Tarvo"},
        {"the banner once, a reading owed", {"> [NRG]", "x [NRG] 1"}, {"Vel-Tor Tarvo", "2150", "quiet"}, 2, Uncertain},
        {"a version left unanswered comes on its own", {"> [VER]", "x [VER] 1"}, {"2.13", "quiet"}, 2, Wait},
        {"and then the reading", {"> [VER]", "x [VER] 1"}, {"2.13", "quiet", "2150", "2150"}, 2, Take, "2150"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Ledger ledger;
        run(ledger, row.before);
        HeldReading held(ledger, QStringLiteral("[PVT]"), 1000);
        EXPECT_EQ(held.copies(), row.copies);
        for (int i = 0; i < held.copies(); ++i)
            ledger.sent(QStringLiteral("[PVT]"));
        qint64 now = 0;
        int decision = Wait;
        for (const QString& text : row.lines) {
            now += 100;
            if (text == QLatin1String("quiet")) {
                now = held.deadline() >= 0 ? held.deadline() : now;
                decision = held.quiet(now) == HeldReading::Step::Uncertain ? Uncertain : Wait;
            } else if (held.line(ledger.seen(text + QStringLiteral("\r\n")), now) == HeldReading::Step::Take) {
                decision = Take;
            }
            if (decision != Wait)
                break;
        }
        EXPECT_EQ(decision, row.decision);
        if (decision == Take) {
            EXPECT_EQ(MCommUtils::LineText(held.taken().text), QLatin1String(row.taken));
            ledger.heldReadingTaken(QStringLiteral("[PVT]"), held.copies(), held.taken());
            if (row.left >= 0) {
                EXPECT_EQ(ledger.readingsThatMayCome(), row.left);
            }
        }
    }
    Ledger owing;
    run(owing, QStringList(17, QStringLiteral("> [NRG]")));
    EXPECT_TRUE(HeldReading(owing, QStringLiteral("[PVT]"), 1000).tooMany());
}

TEST(AnswerLedger, switchedOffIsSeenOnlyAsAnswering_thenSilentForSeconds_thenAnsweringAgain)
{
    // Each event: ms and a line; the watch asks every 500 ms, or as the row says.
    const struct {
        const char* what;
        int timeOutMs;
        QList<QPair<int, const char*>> events;
        int at;
        SwitchOffWatch::Seen seen;
        int askEveryMs = 500;
        qint64 shortSilenceMs = 0; // the silence too short for the proof that it tells
    } rows[] = {
        {"answering", 1000, {{0, "2.13"}, {500, "2.13"}, {1000, "2.13"}}, 3500, SwitchOffWatch::Seen::Answering},
        {"silent for long", 1000, {{0, "2.13"}}, 3500, SwitchOffWatch::Seen::Silent},
        {"silent for long, but asked only twice", 1000, {{0, "2.13"}}, 4500, SwitchOffWatch::Seen::Answering, 2000},
        {"silent, then answering", 1000, {{0, "2.13"}, {6000, "2.13"}}, 6000, SwitchOffWatch::Seen::AnsweringAgain},
        {"silent no longer than a slow answer", 1000, {{0, "2.13"}, {1500, "2.13"}, {3000, "2.13"}}, 4000, SwitchOffWatch::Seen::Answering},
        {"silent for less than it must", 1000, {{0, "2.13"}}, 2900, SwitchOffWatch::Seen::Answering},
        {"a longer reply time-out needs a longer silence", 2000, {{0, "2.13"}}, 5900, SwitchOffWatch::Seen::Answering},
        {"never answering", 1000, {}, 10000, SwitchOffWatch::Seen::NoAnswerYet},
        {"silent from the start, then answering", 1000, {{6000, "2.13"}}, 6000, SwitchOffWatch::Seen::Answering},
        {"noise while silent is an answer", 1000, {{0, "2.13"}, {2000, "-\n5"}}, 4000, SwitchOffWatch::Seen::Answering, 500, 2000},
        {"a status once silent is no version", 1000, {{0, "2.13"}, {5000, "E07"}}, 5000, SwitchOffWatch::Seen::Silent},
        {"a short reply time-out needs 3 s all the same", 300, {{0, "2.13"}}, 2900, SwitchOffWatch::Seen::Answering},
        {"a silence too short is told", 300, {{0, "2.13"}, {2000, "2.13"}}, 2500, SwitchOffWatch::Seen::Answering, 500, 2000},
        {"a slow answer is no silence", 1000, {{0, "2.13"}, {1500, "2.13"}, {2500, "2.13"}}, 3000, SwitchOffWatch::Seen::Answering, 1000},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        SwitchOffWatch watch(row.timeOutMs);
        auto event = row.events.begin();
        SwitchOffWatch::Seen seen = watch.seen(0);
        for (int now = 0; now <= row.at; now += 100) {
            for (; event != row.events.end() && event->first <= now; ++event)
                watch.line({QLatin1String(event->second) + QStringLiteral("\r\n"), MCommUtils::ShapeOf(QLatin1String(event->second))}, now);
            if (now % row.askEveryMs == 0)
                watch.asked(now);
            seen = watch.seen(now);
        }
        EXPECT_EQ(seen, row.seen);
        EXPECT_EQ(watch.shortSilenceMs(0), row.shortSilenceMs);
    }
}

} // namespace
} // namespace kelto::MAnswers
