#include "MAnswers.h"

#include <algorithm>
#include <utility>

namespace kelto::MAnswers {

// ---- Ledger ------------------------------------------------------------------------

bool Ledger::waveAckOwed() const
{
    return std::any_of(m_owedAcks.begin(), m_owedAcks.end(), [](const OwedAck& a) { return a.wave; });
}

void Ledger::sent(const QString& command)
{
    const bool wave = MCommUtils::IsWaveCommand(command);
    if (!MCommUtils::IsAcknowledged(command)) {
        ++m_readings;
    } else if (style(wave) != AckStyle::Words) {
        ++m_readings;
        ++counted(wave);
    }
}

void Ledger::lower(int lines)
{
    m_readings = std::max(0, m_readings - lines);
    if (m_readings == 0)
        m_earlier.clear();
}

Line Ledger::seen(const QString& text, bool stale)
{
    Line line{text, MCommUtils::ShapeOf(text), false, stale};
    if (line.shape == LineShape::Reading)
        lower(1);
    if (m_owedAcks.isEmpty())
        return line;
    // The oldest acknowledgement owed comes first; a line of a shape it may have
    // stands for it.
    const OwedAck& head = m_owedAcks.front();
    bool fits = false;
    switch (style(head.wave)) {
    case AckStyle::Words:
        fits = line.shape == LineShape::Other;
        break;
    case AckStyle::Numbers:
        fits = line.shape == LineShape::Reading;
        break;
    case AckStyle::Unknown:
        fits = line.shape == LineShape::Other || line.shape == LineShape::Reading;
        break;
    }
    fits = fits || (head.wave && line.shape == LineShape::Banner);
    if (fits) {
        m_owedAcks.removeFirst();
        line.owedAck = true;
    }
    return line;
}

void Ledger::replyTaken(const QString& command, const Line& reply, bool noAckOwed, bool nothingOwed)
{
    settleAtOnce();
    const bool wave = MCommUtils::IsWaveCommand(command);
    if (!MCommUtils::IsAcknowledged(command) || style(wave) != AckStyle::Unknown)
        return;
    if (reply.shape == LineShape::Other && noAckOwed) {
        // Nothing else owed answers with such a line: the analyser acknowledges these
        // with words, so none of them counted so far ever came as a reading.
        style(wave) = AckStyle::Words;
        lower(std::exchange(counted(wave), 0));
        for (OwedAck& owed : m_owedAcks)
            owed.counted = owed.counted && owed.wave != wave;
        m_earlier.removeIf([wave](const EarlierRequest& e) { return MCommUtils::IsAcknowledged(e.command) && MCommUtils::IsWaveCommand(e.command) == wave; });
    } else if (reply.shape == LineShape::Reading && nothingOwed) {
        style(wave) = AckStyle::Numbers;
    } else if (reply.shape == LineShape::Banner && nothingOwed) {
        // Its own answer, and no reading.
        lower(1);
        counted(wave) = std::max(0, counted(wave) - 1);
    }
}

void Ledger::heldReadingTaken(const QString& command, int copies, const Line& reply)
{
    settleAtOnce();
    int unanswered = copies - 1;
    if (reply.shape == LineShape::Banner) {
        // Taken only where nothing else owed may send it: its own answer.
        lower(1);
    }
    note(MCommUtils::CommandWord(command), MCommUtils::ReleaseOf(command), unanswered);
}

void Ledger::unanswered(const QString& command, int copies)
{
    if (copies <= 0)
        return;
    const QString word = MCommUtils::CommandWord(command);
    if (MCommUtils::IsAcknowledged(command)) {
        const bool wave = MCommUtils::IsWaveCommand(command);
        const bool isCounted = style(wave) != AckStyle::Words;
        for (int i = 0; i < copies; ++i)
            m_owedAcks.append({wave, isCounted});
        if (isCounted)
            note(word, Release::AtOnce, copies);
        return;
    }
    note(word, MCommUtils::ReleaseOf(command), copies);
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
    for (auto it = m_earlier.begin(); it != m_earlier.end() && lines > 0;) {
        if (it->release == release || it->settled) {
            ++it;
            continue;
        }
        const int taken = std::min(lines, it->lines);
        it->lines -= taken;
        lines -= taken;
        it = it->lines == 0 ? m_earlier.erase(it) : it + 1;
    }
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
    // Nothing else owed may answer with the banner: it is this request's answer.
    , m_bannerIsOwn(ledger.readingsThatMayCome() == 0 && !ledger.waveAckOwed())
{
}

bool HeldReading::tooMany() const
{
    return earlierAnswers() > MCommUtils::kMaxEarlierAnswers;
}

HeldReading::Step HeldReading::line(const Line& line, qint64 now)
{
    const QString text = MCommUtils::LineText(line.text);
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
        case LineShape::Banner:
            if (m_bannerIsOwn) {
                m_taken = line;
                return Step::Take;
            }
            m_unread.append({text, Unread::Banner});
            break;
        case LineShape::Broken:
            m_unread.append({text, Unread::Broken});
            break;
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
    m_ledger.forgetStrays(m_release, m_lines - m_forgotten);
    m_stray = m_firstLine;
    m_forgotten = m_lines;
    m_deadline = -1;
    return Step::Wait;
}

// ---- SwitchOffWatch ----------------------------------------------------------------

void SwitchOffWatch::asked(qint64)
{
    ++m_asks;
    ++m_unansweredAsks;
}

void SwitchOffWatch::line(const Line& line, qint64 now)
{
    if (line.shape == LineShape::Blank)
        return;
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
    // Any line shows it is on; its silence starts again.
    m_answered = true;
    m_lastLineAt = now;
    m_unansweredAsks = 0;
}

SwitchOffWatch::Seen SwitchOffWatch::seen(qint64 now)
{
    if (m_answered && !m_silent && now - m_lastLineAt >= m_silenceNeededMs && m_unansweredAsks >= kMinUnansweredAsks)
        m_silent = true;
    if (m_again)
        return Seen::AnsweringAgain;
    if (m_silent)
        return Seen::Silent;
    return m_answered ? Seen::Answering : Seen::NoAnswerYet;
}

qint64 SwitchOffWatch::silenceMs(qint64 now) const
{
    if (!m_answered)
        return 0;
    return (m_again ? m_againAt : now) - m_lastLineAt;
}

} // namespace kelto::MAnswers
