// The rules of the link and the query: when a reply is complete, what a line of the
// analyser's can be, which versions pass, what a port's status text means, how
// traffic is logged.

#include <gtest/gtest.h>

#include "instrument_link/MCommUtils.h"
#include "platform/PluginError.h"

namespace kelto {
namespace {

using namespace MCommUtils;

TEST(ProtocolRules, replyComplete_onLineFeedOrDoubleReturn)
{
    EXPECT_TRUE(ReplyComplete(QStringLiteral("5.3\r\n")));
    EXPECT_TRUE(ReplyComplete(QStringLiteral("2.13\r\r")));
    EXPECT_TRUE(ReplyComplete(QStringLiteral("\n")));
    EXPECT_FALSE(ReplyComplete(QStringLiteral("5.3\r")));
    EXPECT_FALSE(ReplyComplete(QStringLiteral("5.3")));
    EXPECT_FALSE(ReplyComplete(QString()));

    EXPECT_EQ(FirstLineEnd(QStringLiteral("OK\r\n5.3\r\n")), 4);
    EXPECT_EQ(FirstLineEnd(QStringLiteral("2.13\r\r5.3\r\n")), 6);
    EXPECT_EQ(FirstLineEnd(QStringLiteral("\n")), 1);
    EXPECT_EQ(FirstLineEnd(QStringLiteral("OK\r")), -1);
    EXPECT_EQ(FirstLineEnd(QString()), -1);
}

TEST(ProtocolRules, judgeReply_waitsForTheChunksAndTheLineEnd_givesUpOnALineTooLong)
{
    const QString longest(kMaxReplyLength, QLatin1Char('9'));
    QString manyLines;
    for (int i = 0; i < kMaxReplyLines; ++i)
        manyLines += QStringLiteral("5.3\r\n");
    EXPECT_EQ(JudgeReply(QStringLiteral("5.3\r\n"), 1, 1), ReplyState::Complete);
    EXPECT_EQ(JudgeReply(QStringLiteral("5.3\r"), 1, 1), ReplyState::Incomplete);
    EXPECT_EQ(JudgeReply(QStringLiteral("5.3\r\n"), 1, 2), ReplyState::Incomplete); // one more chunk is expected
    EXPECT_EQ(JudgeReply(QStringLiteral("5.3\r\n"), 2, 2), ReplyState::Complete);
    // Each line is bounded, its line end aside, also one that ended in the same read.
    EXPECT_EQ(JudgeReply(longest.left(kMaxReplyLength - 1) + QStringLiteral("\r\n"), 1, 1), ReplyState::Complete);
    EXPECT_EQ(JudgeReply(longest + QStringLiteral("\n"), 1, 1), ReplyState::Complete);
    EXPECT_EQ(JudgeReply(longest + QStringLiteral("9\r\n"), 1, 1), ReplyState::TooLong);
    EXPECT_EQ(JudgeReply(longest, 1, 1), ReplyState::Incomplete);
    EXPECT_EQ(JudgeReply(longest + QStringLiteral("\r"), 1, 1), ReplyState::Incomplete); // its line end on its way
    EXPECT_EQ(JudgeReply(longest + QLatin1Char('9'), 1, 1), ReplyState::TooLong);
    EXPECT_EQ(JudgeReply(QStringLiteral("5.3\r\n") + longest, 1, 1), ReplyState::Incomplete);
    EXPECT_EQ(JudgeReply(QStringLiteral("5.3\r\n") + longest + QLatin1Char('9'), 1, 1), ReplyState::TooLong);
    EXPECT_EQ(JudgeReply(manyLines, 1, 1), ReplyState::Complete);
    EXPECT_EQ(JudgeReply(manyLines + QStringLiteral("\n"), 1, 1), ReplyState::TooLong);
}

TEST(ProtocolRules, versionsComparedAsTextByTheirFirstFourCharacters)
{
    for (const char* good : {"2.11\r\n", "2.20\r\n", "2.5\r\n", "2.2\r\n", "2.13 TarvoM\r\n", "3.0", "9.99\r\n"})
        EXPECT_TRUE(VersionAccepted(QLatin1String(good))) << good;
    for (const char* bad : {"2.10\r\n", "1.99\r\n", "10.0\r\n", "2.1\r\n", "\r\n", "", " 2.13\r\n", "Vel-Tor\r\n", "V2.13\r\n", ".13\r\n"})
        EXPECT_FALSE(VersionAccepted(QLatin1String(bad))) << bad;
}

TEST(ProtocolRules, theLinksLinesEndWithCrLf_noiseIsTakenOut_andALoneLineEndBreaksALine)
{
    EXPECT_EQ(AnalyserLineEnd(QStringLiteral("5.3\r\n2.1\r\n")), 5);
    EXPECT_EQ(AnalyserLineEnd(QStringLiteral("5.3\r\n2.1\r\n"), 5), 10);
    for (const char* open : {"5.3\n", "5.3\r\r", "5.3\r", "\n\r"})
        EXPECT_EQ(AnalyserLineEnd(QLatin1String(open)), -1) << open;
    // Noise before a line's text is taken out; from its text on, it stays.
    EXPECT_EQ(WithoutNoise(QString::fromLatin1("\x7f\n\x1b" "19\n9.6\r\r\xff\x01\r\n")), QString::fromLatin1("\n19\n9.6\r\r\xff\x01\r\n"));

    const struct {
        const char* line;
        LineShape shape;
    } lines[] = {
        {"5.3\r\n", LineShape::Reading},
        {" 12.5 J\r\n", LineShape::Reading},
        {"104.2J\r\n", LineShape::Reading},
        {"5.3.1\r\n", LineShape::Reading},
        {"-0.5", LineShape::Reading},
        {".5\r\n", LineShape::Reading},
        {"\x7f\x85" "2150\r\n", LineShape::Reading},
        // A byte that no reply holds inside a reading, or damaged at its end.
        {"2\xb0.5\r\n", LineShape::Broken},
        {"1\x1b" "5.4\r\n", LineShape::Broken},
        {"9\x85\r\n", LineShape::Broken},
        {"2150\x7f\r\n", LineShape::Broken},
        {"Vel-Tor\x10Tarvo\r\n", LineShape::Broken},
        {"\n2150\r\n", LineShape::Reading},
        {"\r\r2150\r\r\n", LineShape::Reading},
        {"OVER\r\n", LineShape::Reading},
        {"Vel-Tor Tarvo\r\n", LineShape::Banner},
        {"-\n15.04\r\n", LineShape::Broken},
        {"5\r104.2\r\n", LineShape::Broken},
        {"19\r\r9.6\r\n", LineShape::Broken},
        {"OK\r\n", LineShape::Other},
        {"E07\r\n", LineShape::Other},
        {"over\r\n", LineShape::Other},
        {"-\r\n", LineShape::Other},
        {"\r\n", LineShape::Blank},
        {"\x7f\r\n", LineShape::Blank},
        {" \t\n\r\r\n", LineShape::Blank},
    };
    for (const auto& l : lines)
        EXPECT_EQ(ShapeOf(QString::fromLatin1(l.line)), l.shape) << l.line;

    // Text ended otherwise than with CR LF, which the link can name: only a reply
    // shape ended so, not noise before a line.
    const struct {
        const char* partial;
        const char* end;
        const char* text;
        bool more = false; // another text ended the same way follows
    } ends[] = {
        {"2150\n", "LF", "2150\n"},
        {"2.13\r", "CR", "2.13\r"},
        {"\x7f" "104.2\n10", "LF", "104.2\n"},
        {"20.5\nE07\n", "LF", "20.5\n", true},
        {"20.5\n\nE07", "LF", "20.5\n"},
        {"20.5\rE07\r", "CR", "20.5\r"},
        {"20.5\rE07\rE", "CR", "20.5\r", true},
        {"-\n", "", ""},
        {"\n\r", "", ""},
        {"2150", "", ""},
        {"2\x85" "50\n", "", ""},
    };
    for (const auto& e : ends) {
        const OtherLineEnd seen = LineEndedOtherwise(QString::fromLatin1(e.partial));
        EXPECT_EQ(seen.end, QLatin1String(e.end)) << e.partial;
        EXPECT_EQ(seen.text, QLatin1String(e.text)) << e.partial;
        EXPECT_EQ(seen.more, e.more) << e.partial;
    }
}

TEST(ProtocolRules, theQueryFindsAnyVersionNumber)
{
    for (const char* found : {"2.13\r\n", "10.0\r\n", "2.10\r\n", "1.99\r\n", "2.1\r\n", "3\r\n"})
        EXPECT_TRUE(VersionFound(QLatin1String(found))) << found;
    for (const char* none : {"\r\n", "", "0.00\r\n", "Vel-Tor\r\n", "inf\r\n", "nan\r\n", "V2.1\r\n"})
        EXPECT_FALSE(VersionFound(QLatin1String(none))) << none;
}

TEST(ProtocolRules, portStatus_raisesTheErrorOfEachText)
{
    auto numberOf = [](const char* status) {
        try {
            CheckPortStatus(QLatin1String(status), QStringLiteral("COM3"));
        } catch (const PluginError& e) {
            EXPECT_TRUE(e.description().contains(QStringLiteral("COM3")));
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(numberOf("Connected"), 0);
    EXPECT_EQ(numberOf("Port unavailable"), kPortUnavailable);
    EXPECT_EQ(numberOf("Port not found"), kPortNotFound);
    EXPECT_EQ(numberOf("Port failure: I/O"), kPortFailure);
    EXPECT_EQ(numberOf(""), kPortFailure);
}

TEST(ProtocolRules, trafficEscaped)
{
    EXPECT_EQ(EscapeTraffic(QStringLiteral("[CRG]\r[HDR]\r")), QStringLiteral("[CRG]\\r[HDR]\\r"));
    EXPECT_EQ(EscapeTraffic(QString::fromLatin1("2.13\r\n\x1b\\")), QStringLiteral("2.13\\r\\n\\x1b\\\\"));
}

} // namespace
} // namespace kelto
