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
    QString text; // noise taken out, its CR LF kept
    LineShape shape = LineShape::Other;
    // It stands for an acknowledgement still owed, so no command answered at once
    // takes it for its own reply.
    bool owedAck = false;
    // It began before the running request went out: it answers none sent since.
    bool stale = false;
};

// How the analyser acknowledges waveform commands, or their stop: each is learnt on
// its own, as an analyser may acknowledge the one with a word and the other with a
// number.
enum class AckStyle { Unknown, Words, Numbers };

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
// a held reading, "[VER]", and an acknowledgement until the analyser has shown that
// it acknowledges with words. Only a reading-shaped line takes one off: a banner,
// a status, a broken line or an acknowledgement never does. Counting too many costs
// copies of a command; too few, a false reading.
class Ledger {
public:
    // A request went out on an open port.
    void sent(const QString& command);
    // A line ended. It is counted by its shape; one that may be an owed
    // acknowledgement is marked as one.
    Line seen(const QString& text, bool stale = false);
    // Whether nothing at all is owed, and whether no acknowledgement is: an
    // acknowledging exchange notes them before it sends.
    bool nothingOwed() const { return m_readings == 0 && m_owedAcks.isEmpty(); }
    bool noAckOwed() const { return m_owedAcks.isEmpty(); }
    bool waveAckOwed() const;
    // An exchange answered at once took its reply. A waveform command or stop that
    // went out with nothing owed that could send such a line shows how the analyser
    // acknowledges: `noAckOwed` and `nothingOwed` as they were before it went out.
    void replyTaken(const QString& command, const Line& reply, bool noAckOwed, bool nothingOwed);
    // A held reading was taken after `copies` went out.
    void heldReadingTaken(const QString& command, int copies, const Line& reply);
    // An exchange ended without taking the answer to `copies` of the command.
    void unanswered(const QString& command, int copies);

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
        bool counted; // among the readings that may come
    };
    AckStyle& style(bool wave) { return wave ? m_waveStyle : m_stopStyle; }
    int& counted(bool wave) { return wave ? m_countedWaveAcks : m_countedStopAcks; }
    void note(const QString& command, Release release, int lines);
    void settleAtOnce();
    void lower(int lines);

    int m_readings = 0;
    QList<EarlierRequest> m_earlier;
    QList<OwedAck> m_owedAcks; // in the order asked
    AckStyle m_waveStyle = AckStyle::Unknown;
    AckStyle m_stopStyle = AckStyle::Unknown;
    // Acknowledgements counted among the readings while their style was not known:
    // once it is known to be words, none of them ever came as a reading.
    int m_countedWaveAcks = 0;
    int m_countedStopAcks = 0;
};

// Takes a held reading while k reading-shaped lines may still come in answer to
// earlier requests. The command goes out k+1 times, and the analyser answers each
// copy with a line of that discharge's (or pacing's) reading. So once k+1 lines read
// alike, one of them at least answers a copy: that is the reading, whatever order
// the analyser answers one discharge in and however a discharge fell on the copies.
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
    // Lines that came and are no reading: broken by line noise, begun before the
    // request went out, or the banner where another request may have sent it.
    enum class Unread { Broken, Stale, Banner };
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
    bool m_bannerIsOwn;
    QHash<QString, int> m_seen;
    int m_lines = 0;
    int m_forgotten = 0;
    qint64 m_deadline = -1;
    Line m_taken;
    QString m_unknown;
    qint64 m_unknownAt = -1;
    QString m_stray;
    QString m_firstLine;
    QList<UnreadLine> m_unread;
};

// After error 8030: whether the analyser was seen answering, then silent through
// several requests for a time no slow answer explains, then answering "[VER]"
// again, as a switched-off analyser does once it is switched on. Silence alone
// cannot tell a switch-off from a cable pulled at the analyser's end or an analyser
// kept off its main menu; only the operator's word at the box says which.
class SwitchOffWatch {
public:
    enum class Seen { NoAnswerYet, Answering, Silent, AnsweringAgain };
    static constexpr int kMinSilenceMs = 3000;
    static constexpr int kMinUnansweredAsks = 4;

    explicit SwitchOffWatch(int timeOutMs) : m_silenceNeededMs(std::max(kMinSilenceMs, 3 * timeOutMs)) {}
    void asked(qint64 now);
    void line(const Line& line, qint64 now);
    Seen seen(qint64 now);
    // How long it was last silent (so far, or until it answered again).
    qint64 silenceMs(qint64 now) const;
    int silenceNeededMs() const { return m_silenceNeededMs; }
    int asks() const { return m_asks; }
    int versionAnswers() const { return m_versions; }

private:
    int m_silenceNeededMs;
    bool m_answered = false;
    bool m_silent = false;
    bool m_again = false;
    qint64 m_lastLineAt = -1;
    qint64 m_againAt = -1;
    int m_unansweredAsks = 0;
    int m_asks = 0;
    int m_versions = 0;
};

} // namespace kelto::MAnswers
