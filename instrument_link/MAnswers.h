#pragma once
// What the link knows of the answers the analyser may still send to requests
// whose answer it did not take, and what it decides from that alone: how often a
// held reading goes out, which line is its reading or that none can be told
// (error 8030), and when the analyser was seen switched off and on again. Plain
// bookkeeping without a port: the serial protocol tells it what went out and what
// came in, so that each rule can be proved line by line.
//
// It rests on what the analyser does: one line per request, each held reading
// answered at the discharge (or pacing) that releases it, commands answered at once
// answered in the order asked, and no reading-shaped line that nobody asked for.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <algorithm>

#include "MCommUtils.h"

namespace kelto::MAnswers {

using MCommUtils::LineShape;
using MCommUtils::Release;

// A line read from the port.
struct Line {
    QString text; // noise before its text taken out, its CR LF kept
    LineShape shape = LineShape::Other;
    // It stands for an acknowledgement owed by an earlier command, so no command
    // answered at once takes it for its own reply; and that acknowledgement was not
    // counted (the analyser was seen to give it as a word): a reading-shaped line that
    // stands for it is no reading and takes nothing off.
    bool owedAck = false;
    bool uncountedAck = false;
    // It answers the acknowledged command under way.
    bool ownAck = false;
    // It has the other form than the command under way was seen to be acknowledged
    // with: its acknowledgement, should no other come, or another request's line.
    bool otherForm = false;
    // It began before the running request went out: it answers none sent since.
    bool stale = false;
};

// How the analyser acknowledges waveform commands, or their stop: each is learnt on
// its own, as an analyser may acknowledge the one with a word and the other with a
// number. Both: it was seen to use both forms, and is learnt no more.
enum class AckStyle { Unknown, Words, Numbers, Both };

// A request whose answer was not taken, for the operator and for the time-out.
struct EarlierRequest {
    QString command;
    Release release = Release::AtOnce;
    int lines = 1;
    // A command answered at once is answered before any later request's answer: once
    // a later one has been, its own comes no more on its own, if it comes at all.
    bool settled = false;
};

// One for the whole program: the link cannot tell one analyser from another, an
// adapter plugged in again under another name leads to the same analyser, and
// whether it keeps a request through "[Q]" and "[VER]" is not known.
//
// `readings` is the most reading-shaped lines that may still come, whatever they
// answer. Each request whose answer may be reading-shaped adds one when it goes out:
// a held reading, "[VER]", and a waveform command or stop, unless the analyser has
// shown that it acknowledges that kind with words. Such an acknowledgement is
// counted all the same once its exchange is cut short (a Stop, the stop's give-up):
// it may come at any time, in whatever form. Every acknowledgement owed takes the
// first line of a shape it may have, oldest first. A reading-shaped line takes one
// off unless an acknowledgement not counted takes it: that one may have come in
// the other form, and the line is no reading. A banner, a status and a broken line
// never take one off. An acknowledgement counted that comes as a word takes its own
// off only where the analyser is seen to acknowledge that kind with words (a word
// may be a status of its own, and the acknowledgement still to come as a number).
// Counting too many costs copies of a command; too few, a false reading.
class Ledger {
public:
    // A request went out on an open port, at `at`; `awaited`: the acknowledged
    // command of the exchange under way, which takes its acknowledgement for its reply.
    void sent(const QString& command, bool awaited = false, qint64 at = 0);
    // A line ended. It is counted by its shape, and an acknowledgement owed takes it
    // where its shape fits, oldest first.
    Line seen(const QString& text, bool stale = false);
    // Whether nothing at all is owed, and whether no acknowledgement is: an
    // acknowledging exchange notes them before it sends.
    bool nothingOwed() const { return m_readings == 0 && m_acks.isEmpty(); }
    bool noAckOwed() const { return m_acks.isEmpty(); }
    // An exchange answered at once took its reply. A waveform command or stop that
    // went out with nothing owed that could send such a line shows how the analyser
    // acknowledges: `noAckOwed` and `nothingOwed` as they were before it went out.
    void replyTaken(const QString& command, const Line& reply, bool noAckOwed, bool nothingOwed);
    // The acknowledged command under way takes a line of the other form for its
    // acknowledgement, as none of the form seen before came: the analyser changed it.
    void otherFormTaken(const Line& reply);
    // The acknowledged command under way ended without its acknowledgement: it stays
    // owed, and counts, as it may come at any time in either form.
    void cutShort(const QString& command);
    // A held reading was taken after `copies` went out.
    void heldReadingTaken(const QString& command, int copies, const Line& reply);
    // An exchange ended without taking the answer to `copies` of the command.
    void unanswered(const QString& command, int copies);
    // Requests that may still be answered, though nothing names them (asks the
    // analyser got once it answered again after a switch-off).
    void owe(const QString& command, int lines);
    // Acknowledgements that came as words stay counted, as a word may be a status and
    // the acknowledgement still to come as a number. Yet they are answered at once and
    // in the order asked: once every acknowledgement owed has taken a line, a number
    // a status stood in front of came within `windowMs` of its request and took the
    // next one's place, so only the acknowledgements asked for within the last
    // `windowMs` may still be answered. Words beyond that count no more.
    void acknowledgementsSettled(qint64 now, int windowMs);

    int readingsThatMayCome() const { return m_readings; }
    // How the analyser acknowledges this waveform command or stop, as far as seen.
    AckStyle ackStyle(const QString& command) const { return MCommUtils::IsWaveCommand(command) ? m_waveStyle : m_stopStyle; }
    const QList<EarlierRequest>& earlier() const { return m_earlier; }
    // " ([NRG], [VER])", or empty.
    QString earlierNames() const;

    // Lines of earlier requests that may come on their own before this command's
    // release: answers to commands answered at once, and held readings of the other
    // kind. Lines that came on their own are taken to be such strays.
    int straysFor(Release release) const;
    void forgetStrays(Release release, int lines);

    // Switched off, the analyser forgets what it held; the link keeps what it learnt
    // of how the analyser acknowledges. `reset` forgets that too, as at the start.
    void forget();
    void reset() { *this = Ledger(); }

private:
    struct OwedAck {
        bool wave; // a waveform command's, which the banner may answer; else a stop's
        int id;
        bool counted; // among the readings that may come
    };
    AckStyle& style(bool wave) { return wave ? m_waveStyle : m_stopStyle; }
    int& wordAnswered(bool wave) { return wave ? m_waveWordAnswers : m_stopWordAnswers; }
    // The oldest acknowledgement owed takes the line; false where it counted none
    // and the line takes nothing off.
    bool takeAck(Line& line);
    void answeredWithWord(const OwedAck& ack);
    void note(const QString& command, Release release, int lines);
    void forgetNoted(bool wave, int lines);
    // Takes lines off the earlier requests that `from` holds, oldest first.
    template <class From>
    void takeNoted(int lines, From from)
    {
        for (auto it = m_earlier.begin(); it != m_earlier.end() && lines > 0;) {
            if (!from(*it)) {
                ++it;
                continue;
            }
            const int taken = std::min(lines, it->lines);
            it->lines -= taken;
            lines -= taken;
            it = it->lines == 0 ? m_earlier.erase(it) : it + 1;
        }
    }
    void settleAtOnce();
    void lower(int lines);

    int m_readings = 0;
    QList<EarlierRequest> m_earlier;
    QList<OwedAck> m_acks; // in the order asked, the one awaited among them
    int m_nextAck = 0;
    int m_awaited = -1;
    AckStyle m_waveStyle = AckStyle::Unknown;
    AckStyle m_stopStyle = AckStyle::Unknown;
    // Acknowledgements that came as words while their kind's form was not known:
    // they stay counted until the analyser is seen to acknowledge that kind with
    // words, as none of them will come as a reading then.
    int m_waveWordAnswers = 0;
    int m_stopWordAnswers = 0;
    // When the acknowledged commands went out, newest last, within the last window.
    QList<qint64> m_ackTimes;
};

// Takes a held reading while k reading-shaped lines may still come in answer to
// earlier requests. The command goes out k+1 times, and the analyser answers each
// copy with a line of that discharge's (or pacing's) reading, or with the banner
// where the model lacks the test. So once k+1 lines read alike, one of them at
// least answers a copy: that is the reading (or the banner), whatever order the
// analyser answers one discharge in and however a discharge fell on the copies.
// The lines of one discharge follow one another within the reply time-out: when the
// line goes quiet that long before k+1 alike have come, nothing is taken (error
// 8030), unless every line so far may have come on its own.
class HeldReading {
public:
    enum class Step { Wait, Take, Uncertain };

    HeldReading(Ledger& ledger, const QString& command, int timeOutMs);
    int copies() const { return m_alike; }
    int earlierAnswers() const { return m_alike - 1; }
    // More earlier answers may come than the link sends a command again for.
    bool tooMany() const;

    Step line(const Line& line, qint64 now);
    // When the deadline passed: Uncertain, or Wait with the deadline moved on.
    Step quiet(qint64 now);
    qint64 deadline() const { return m_deadline; }

    const Line& taken() const { return m_taken; }
    // A line that is neither a reading nor a reply the link knows, and when it came;
    // and what came that may answer an earlier request, once taken for such a stray.
    const QString& unknownLine() const { return m_unknown; }
    qint64 unknownAt() const { return m_unknownAt; }
    const QString& strayLine() const { return m_stray; }
    // " ([WSP])": the earlier requests it may answer, or empty.
    const QString& strayNames() const { return m_strayNames; }
    // Lines that came and are no reading: broken by line noise, or begun before the
    // request went out.
    enum class Unread { Broken, Stale };
    struct UnreadLine {
        QString text;
        Unread why;
    };
    const QList<UnreadLine>& unreadLines() const { return m_unread; }

private:
    Ledger& m_ledger;
    Release m_release;
    int m_timeOutMs;
    int m_alike;
    int m_strays;
    QHash<QString, int> m_seen;
    int m_lines = 0;
    int m_forgotten = 0;
    qint64 m_deadline = -1;
    Line m_taken;
    QString m_unknown;
    qint64 m_unknownAt = -1;
    QString m_stray;
    QString m_strayNames;
    QString m_firstLine;
    QList<UnreadLine> m_unread;
};

// After error 8030: whether the analyser was seen answering, then silent through
// several requests for a time no slow answer explains, then answering "[VER]"
// again, as a switched-off analyser does once it is switched on. Silence alone
// cannot tell a switch-off from an analyser busy for a while, a cable pulled at the
// analyser's end or an analyser kept off its main menu; only the operator's word
// says which.
//
// It asks only as often as that proof needs: every askEveryMs while it waits for
// the silence, until the analyser has missed kMinUnansweredAsks asks in a row over
// at least silenceNeededMs (or never answered that many), and then not again until
// the operator says it is switched on.
class SwitchOffWatch {
public:
    enum class Seen { NoAnswerYet, Answering, Silent, AnsweringAgain };
    static constexpr int kMinSilenceMs = 3000;
    static constexpr int kMinUnansweredAsks = 4;

    explicit SwitchOffWatch(int timeOutMs);
    void asked(qint64 now);
    void line(const Line& line, qint64 now);
    Seen seen(qint64 now);
    // Whether the silence is proved, or the analyser has not answered as many asks
    // as the proof needs: asking more adds only answers that may still come.
    bool askingNeeded(qint64 now);
    // How long it was last silent (so far, or until it answered again), and the
    // longest silence after `since` that ended before it was long enough.
    qint64 silenceMs(qint64 now) const;
    qint64 shortSilenceMs(qint64 since) const { return m_shortEndedAt >= since ? m_shortMs : 0; }
    int silenceNeededMs() const { return m_silenceNeededMs; }
    int askEveryMs() const { return m_askEveryMs; }
    // Lines seen, for a wait that ends on the next one.
    int lines() const { return m_lines; }
    // The whole seconds an operator leaves the analyser off for the proof.
    int leaveOffSeconds() const { return (m_silenceNeededMs + m_askEveryMs + 999) / 1000; }
    // Asks not answered: all of them, and those since the silence was proved, which
    // the analyser may have got once switched on and may still answer.
    int unanswered() const { return std::max(0, m_asks - m_versions); }
    int unansweredSinceSilence() const { return m_silent ? std::max(0, (m_asks - m_asksAtSilence) - (m_versions - m_versionsAtSilence)) : 0; }

private:
    int m_timeOutMs;
    int m_silenceNeededMs;
    int m_askEveryMs;
    bool m_answered = false;
    bool m_silent = false;
    bool m_again = false;
    qint64 m_lastLineAt = -1;
    qint64 m_againAt = -1;
    int m_unansweredAsks = 0; // since the last line
    int m_asks = 0;
    int m_versions = 0;
    int m_lines = 0;
    int m_asksAtSilence = 0;
    int m_versionsAtSilence = 0;
    qint64 m_shortMs = 0;
    qint64 m_shortEndedAt = -1;
};

} // namespace kelto::MAnswers
