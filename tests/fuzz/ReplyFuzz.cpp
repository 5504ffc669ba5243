// The link's handling of what arrives on the line: the first byte is the number of
// chunks a reply is expected in ("1" to "3"), the rest the bytes received, split
// into reads at each 0x1F. The link's lines are cleaned of noise, shaped and
// counted, and a held reading owed one earlier answer decides on them: it never
// takes a line that is no reading or banner. Each complete reply is parsed as the link and the
// results parse it: version, escaped log text, port status and reading.

#include <cstdlib>

#include "FuzzSupport.h"
#include "instrument_link/MAnswers.h"
#include "instrument_link/MCommUtils.h"
#include "platform/Automation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kelto;
    if (size == 0)
        return 0;
    const int expected = data[0] >= '1' && data[0] <= '3' ? data[0] - '0' : 1;
    const QString received = QString::fromLatin1(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    QString reply;
    int chunks = 0;
    MAnswers::Ledger ledger;
    ledger.sent(QStringLiteral("[NRG]"));
    ledger.unanswered(QStringLiteral("[NRG]"), 1);
    MAnswers::HeldReading held(ledger, QStringLiteral("[PVT]"), 1000);
    for (int copy = 0; copy < held.copies(); ++copy)
        ledger.sent(QStringLiteral("[PVT]"));
    qint64 now = 0;
    for (const QString& chunk : received.split(QChar(0x1F))) {
        reply += chunk;
        ++chunks;
        const MCommUtils::ReplyState state = MCommUtils::JudgeReply(reply, chunks, expected);
        if (state == MCommUtils::ReplyState::TooLong)
            break;
        MCommUtils::LineEndedOtherwise(reply);
        for (qsizetype start = 0, end; (end = MCommUtils::AnalyserLineEnd(reply, start)) >= 0; start = end) {
            const MAnswers::Line line = ledger.seen(MCommUtils::WithoutNoise(reply.mid(start, end - start)));
            MCommUtils::ReplyOf(line.text);
            now += 10;
            // A reading, or the banner of a model that lacks the test.
            const MCommUtils::LineShape taken = held.line(line, now) == MAnswers::HeldReading::Step::Take ? held.taken().shape : MCommUtils::LineShape::Reading;
            if (taken != MCommUtils::LineShape::Reading && taken != MCommUtils::LineShape::Banner)
                std::abort();
            if (ledger.readingsThatMayCome() < 0)
                std::abort();
        }
        if (state == MCommUtils::ReplyState::Complete) {
            MCommUtils::VersionAccepted(reply);
            MCommUtils::VersionFound(reply);
            MCommUtils::EscapeTraffic(reply);
            ignoreErrors([&] { MCommUtils::CheckPortStatus(reply, QStringLiteral("COM1")); });
            ignoreErrors([&] {
                double number = 0;
                if (startsWithNumber(reply))
                    doubleToString(Val(reply));
                if (parseNumber(reply, &number))
                    formatNumber(number, QStringLiteral("# ##0.0"));
            });
            reply.clear();
            chunks = 0;
        }
    }
    return 0;
}
