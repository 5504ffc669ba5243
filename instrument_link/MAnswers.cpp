#include "MAnswers.h"

#include <algorithm>
#include <utility>

namespace kelto::MAnswers {

// ---- Ledger ------------------------------------------------------------------------

void Ledger::sent(const QString& command, bool awaited, qint64 at)
{
    if (!MCommUtils::IsAcknowledged(command)) {
        ++m_readings;
        return;
    }
    if (m_ackTimes.size() > MCommUtils::kMaxEarlierAnswers)
        m_ackTimes.removeFirst();
    m_ackTimes.append(at);
    const bool wave = MCommUtils::IsWaveCommand(command);
    const bool counted = style(wave) != AckStyle::Words;
    const int id = m_nextAck++;
    m_acks.append({wave, id, counted});
    if (awaited)
        m_awaited = id;
    if (counted) {
        ++m_readings;
        if (!awaited)
            note(MCommUtils::CommandWord(command), Release::AtOnce, 1);
    }
}

void Ledger::cutShort(const QString& command)
{
    const auto own = std::find_if(m_acks.begin(), m_acks.end(), [this](const OwedAck& a) { return a.id == m_awaited; });
    m_awaited = -1;
    if (own == m_acks.end())
        return;
    if (!own->counted) {
        own->counted = true;
        ++m_readings;
    }
    note(MCommUtils::CommandWord(command), Release::AtOnce, 1);
}

void Ledger::lower(int lines)
{
    m_readings = std::max(0, m_readings - lines);
    if (m_readings == 0)
        m_earlier.clear();
}

Line Ledger::seen(const QString& text, bool stale)
{
    Line line;
    line.text = text;
    line.shape = MCommUtils::ShapeOf(text);
    line.stale = stale;
    // Whatever it answers, one reading-shaped line fewer may come.
    if (takeAck(line) && line.shape == LineShape::Reading)
        lower(1);
    return line;
}

bool Ledger::takeAck(Line& line)
{
    if (m_acks.isEmpty())
        return true;
    const OwedAck head = m_acks.front();
    const LineShape shape = line.shape;
    if (shape != LineShape::Other && shape != LineShape::Reading && !(head.wave && shape == LineShape::Banner))
        return true;
    const bool own = head.id == m_awaited;
    // A line begun before the command went out answers none sent since.
    if (own && line.stale)
        return true;
    AckStyle& form = style(head.wave);
    const bool otherForm = (form == AckStyle::Words && shape == LineShape::Reading) || (form == AckStyle::Numbers && shape == LineShape::Other);
    // What else counted could have sent the line.
    const int others = m_readings - (head.counted ? 1 : 0);
    if (otherForm) {
        // A number where words were seen is this acknowledgement where nothing else
        // counted could have sent it; a word may always be a status of its own.
        if (shape == LineShape::Reading && others == 0)
            form = AckStyle::Both;
        else if (own) {
            line.otherForm = true;
            return head.counted;
        }
    }
    // The oldest acknowledgement owed comes first; a line of a shape it may have
    // stands for it.
    m_acks.removeFirst();
    line.ownAck = own;
    line.owedAck = !own;
    line.uncountedAck = !own && !head.counted;
    if (shape == LineShape::Other)
        answeredWithWord(head);
    // A banner where nothing else counted could have sent it is this waveform
    // command's answer, and no reading.
    if (shape == LineShape::Banner && head.counted && others == 0)
        lower(1);
    return head.counted;
}

void Ledger::answeredWithWord(const OwedAck& ack)
{
    if (!ack.counted)
        return;
    if (style(ack.wave) == AckStyle::Words) {
        lower(1);
        forgetNoted(ack.wave, 1);
    } else {
        ++wordAnswered(ack.wave);
    }
}

void Ledger::replyTaken(const QString& command, const Line& reply, bool noAckOwed, bool nothingOwed)
{
    settleAtOnce();
    m_awaited = -1;
    if (!MCommUtils::IsAcknowledged(command))
        return;
    const bool wave = MCommUtils::IsWaveCommand(command);
    AckStyle& form = style(wave);
    if (reply.shape == LineShape::Other && noAckOwed) {
        // Nothing else owed answers with such a line: the analyser acknowledges these
        // with words, so those counted that came as words will never come as readings.
        if (form == AckStyle::Unknown) {
            form = AckStyle::Words;
            const int words = std::exchange(wordAnswered(wave), 0);
            lower(words);
            forgetNoted(wave, words);
        }
    } else if (reply.shape == LineShape::Reading && nothingOwed) {
        if (form == AckStyle::Unknown)
            form = AckStyle::Numbers;
        else if (form == AckStyle::Words)
            form = AckStyle::Both;
    }
}

void Ledger::otherFormTaken(const Line& reply)
{
    const auto own = std::find_if(m_acks.begin(), m_acks.end(), [this](const OwedAck& a) { return a.id == m_awaited; });
    if (own == m_acks.end())
        return;
    const OwedAck ack = *own;
    m_acks.erase(own);
    style(ack.wave) = AckStyle::Both;
    if (reply.shape == LineShape::Other)
        answeredWithWord(ack);
}

void Ledger::heldReadingTaken(const QString& command, int copies, const Line& reply)
{
    settleAtOnce();
    // The banner is taken once more copies' banners came than earlier requests may
    // have sent: one copy at least answered it, and it is no reading.
    if (reply.shape == LineShape::Banner)
        lower(1);
    note(MCommUtils::CommandWord(command), MCommUtils::ReleaseOf(command), copies - 1);
}

void Ledger::unanswered(const QString& command, int copies)
{
    if (MCommUtils::IsAcknowledged(command))
        cutShort(command);
    else if (copies > 0)
        note(MCommUtils::CommandWord(command), MCommUtils::ReleaseOf(command), copies);
}

void Ledger::owe(const QString& command, int lines)
{
    if (lines <= 0)
        return;
    m_readings += lines;
    note(MCommUtils::CommandWord(command), Release::AtOnce, lines);
}

void Ledger::acknowledgementsSettled(qint64 now, int windowMs)
{
    while (!m_ackTimes.isEmpty() && now - m_ackTimes.front() >= windowMs)
        m_ackTimes.removeFirst();
    if (!m_acks.isEmpty())
        return;
    int beyond = m_waveWordAnswers + m_stopWordAnswers - static_cast<int>(m_ackTimes.size());
    for (const bool wave : {false, true}) {
        const int words = std::min(std::max(beyond, 0), wordAnswered(wave));
        wordAnswered(wave) -= words;
        beyond -= words;
        lower(words);
        forgetNoted(wave, words);
    }
}

void Ledger::note(const QString& command, Release release, int lines)
{
    if (m_readings <= 0 || lines <= 0 || command.isEmpty())
        return;
    for (EarlierRequest& e : m_earlier) {
        if (e.command == command && e.release == release) {
            e.lines = std::min(e.lines + lines, m_readings);
            e.settled = false;
            return;
        }
    }
    m_earlier.append({command, release, std::min(lines, m_readings)});
}

void Ledger::forgetNoted(bool wave, int lines)
{
    takeNoted(lines, [wave](const EarlierRequest& e) { return MCommUtils::IsAcknowledged(e.command) && MCommUtils::IsWaveCommand(e.command) == wave; });
}

void Ledger::settleAtOnce()
{
    for (EarlierRequest& e : m_earlier)
        e.settled = e.settled || e.release == Release::AtOnce;
}

QString Ledger::earlierNames() const
{
    QStringList names;
    for (const EarlierRequest& e : m_earlier) {
        if (!names.contains(e.command))
            names.append(e.command);
    }
    return names.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(names.join(QStringLiteral(", ")));
}

int Ledger::straysFor(Release release) const
{
    int lines = 0;
    for (const EarlierRequest& e : m_earlier)
        lines += e.release != release && !e.settled ? e.lines : 0;
    return std::min(lines, m_readings);
}

void Ledger::forgetStrays(Release release, int lines)
{
    takeNoted(lines, [release](const EarlierRequest& e) { return e.release != release && !e.settled; });
}

void Ledger::forget()
{
    const AckStyle wave = m_waveStyle;
    const AckStyle stop = m_stopStyle;
    reset();
    m_waveStyle = wave;
    m_stopStyle = stop;
}

// ---- HeldReading -------------------------------------------------------------------

HeldReading::HeldReading(Ledger& ledger, const QString& command, int timeOutMs)
    : m_ledger(ledger)
    , m_release(MCommUtils::ReleaseOf(command))
    , m_timeOutMs(timeOutMs)
    , m_alike(ledger.readingsThatMayCome() + 1)
    , m_strays(ledger.straysFor(m_release))
{
}

bool HeldReading::tooMany() const
{
    return earlierAnswers() > MCommUtils::kMaxEarlierAnswers;
}

HeldReading::Step HeldReading::line(const Line& line, qint64 now)
{
    const QString text = MCommUtils::LineText(line.text);
    if (line.uncountedAck && line.shape != LineShape::Other) {
        // It may be an acknowledgement given in the other form than the analyser
        // showed: no reading, and nothing the time-out waits for.
        if (m_stray.isEmpty())
            m_stray = text;
        return Step::Wait;
    }
    if (line.stale) {
        // It began before the copies went out: an earlier request's answer, or, with
        // none owed, one that noise before the send joined.
        if (earlierAnswers() > 0)
            return Step::Wait;
        m_unread.append({text, Unread::Stale});
    } else {
        switch (line.shape) {
        case LineShape::Blank:
            return Step::Wait;
        case LineShape::Other:
            if (!line.owedAck && m_unknown.isEmpty()) {
                m_unknown = text;
                m_unknownAt = now;
            }
            return Step::Wait;
        case LineShape::Broken:
            m_unread.append({text, Unread::Broken});
            break;
        case LineShape::Banner:
        case LineShape::Reading:
            if (++m_seen[text] >= m_alike) {
                m_taken = line;
                return Step::Take;
            }
            break;
        }
    }
    if (m_lines++ == m_forgotten)
        m_firstLine = text;
    m_deadline = now + m_timeOutMs;
    return Step::Wait;
}

HeldReading::Step HeldReading::quiet(qint64)
{
    if (m_lines > m_strays)
        return Step::Uncertain;
    if (m_stray.isEmpty())
        m_strayNames = m_ledger.earlierNames();
    m_ledger.forgetStrays(m_release, m_lines - m_forgotten);
    m_stray = m_firstLine;
    m_forgotten = m_lines;
    m_deadline = -1;
    return Step::Wait;
}

// ---- SwitchOffWatch ----------------------------------------------------------------

SwitchOffWatch::SwitchOffWatch(int timeOutMs)
    : m_timeOutMs(timeOutMs)
    , m_silenceNeededMs(std::max(kMinSilenceMs, 3 * timeOutMs))
    // The asks that must go unanswered span the silence it needs.
    , m_askEveryMs((m_silenceNeededMs + kMinUnansweredAsks - 2) / (kMinUnansweredAsks - 1))
{
}

void SwitchOffWatch::asked(qint64)
{
    ++m_asks;
    ++m_unansweredAsks;
}

void SwitchOffWatch::line(const Line& line, qint64 now)
{
    if (line.shape == LineShape::Blank)
        return;
    ++m_lines;
    const bool version = line.shape == LineShape::Reading && MCommUtils::VersionAccepted(MCommUtils::LineText(line.text));
    m_versions += version ? 1 : 0;
    seen(now);
    if (m_silent) {
        if (version && !m_again) {
            m_again = true;
            m_againAt = now;
        }
        return;
    }
    // Any line shows it is on; its silence starts again. A gap longer than an
    // analyser that answers, however slowly, leaves between its answers was a
    // silence too short for the proof.
    if (m_answered && now - m_lastLineAt >= m_askEveryMs + m_timeOutMs) {
        m_shortMs = now - m_lastLineAt;
        m_shortEndedAt = now;
    }
    m_answered = true;
    m_lastLineAt = now;
    m_unansweredAsks = 0;
}

SwitchOffWatch::Seen SwitchOffWatch::seen(qint64 now)
{
    if (m_answered && !m_silent && now - m_lastLineAt >= m_silenceNeededMs && m_unansweredAsks >= kMinUnansweredAsks) {
        m_silent = true;
        m_asksAtSilence = m_asks;
        m_versionsAtSilence = m_versions;
    }
    if (m_again)
        return Seen::AnsweringAgain;
    if (m_silent)
        return Seen::Silent;
    return m_answered ? Seen::Answering : Seen::NoAnswerYet;
}

bool SwitchOffWatch::askingNeeded(qint64 now)
{
    const Seen state = seen(now);
    return state == Seen::Answering || (state == Seen::NoAnswerYet && m_unansweredAsks < kMinUnansweredAsks);
}

qint64 SwitchOffWatch::silenceMs(qint64 now) const
{
    if (!m_answered || (!m_silent && m_unansweredAsks == 0))
        return 0;
    return (m_again ? m_againAt : now) - m_lastLineAt;
}

} // namespace kelto::MAnswers
