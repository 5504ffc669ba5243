#include <QLocale>
#include <functional>
#include <limits>
#include <gtest/gtest.h>

#include "tests/support/Errors.h"

#include "platform/Automation.h"
#include "platform/PluginError.h"

using namespace kelto;

namespace {


} // namespace

TEST(Val, ReadsTheLeadingNumberOfAText)
{
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("12.7 s")), 12.7);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("  -3.5J")), -3.5);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("+8")), 8);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral(".5")), 0.5);
}

TEST(Val, SkipsBlanksTabsAndLineFeedsAnywhere)
{
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("1 2\t3\n4")), 1234);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("- 1 . 5")), -1.5);
}

TEST(Val, StopsAtACarriageReturnAndAtADecimalComma)
{
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("12\r34")), 12);
    // A decimal comma is not a separator: the number ends before it.
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("196,4")), 196);
}

TEST(Val, ReadsExponentsWrittenWithEOrD)
{
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("1.5E3")), 1500);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("2d-2")), 0.02);
    // An exponent mark without digits ends the number.
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("7E")), 7);
}

TEST(Val, ReadsHexAndOctalPrefixes)
{
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("&H1F")), 31);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("&O17")), 15);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("&HFFFF")), -1); // a 16-bit pattern
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("&H8004A22A")), static_cast<double>(hresult(0x8004A22A)));
}

TEST(Val, GivesZeroForTextWithoutANumber)
{
    EXPECT_DOUBLE_EQ(Val(QString()), 0);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("NOSYNC")), 0);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("-")), 0);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("&X12")), 0);
}

TEST(WholeNumbers, RoundHalvesToTheEvenNeighbour)
{
    EXPECT_EQ(CInt(0.5), 0);
    EXPECT_EQ(CInt(1.5), 2);
    EXPECT_EQ(CInt(2.5), 2);
    EXPECT_EQ(CInt(-2.5), -2);
    EXPECT_EQ(CLng(3.5), 4);
    EXPECT_EQ(CLng(2.51), 3);
}

TEST(WholeNumbers, RaiseOverflowOutsideTheirRange)
{
    EXPECT_EQ(CInt(32767.4), 32767);
    EXPECT_EQ(errorNumberOf([] { CInt(32767.5); }), vberr::Overflow);
    EXPECT_EQ(CInt(-32768), -32768);
    EXPECT_EQ(errorNumberOf([] { CInt(-32769); }), vberr::Overflow);
    EXPECT_EQ(CLng(2147483647.0), 2147483647);
    EXPECT_EQ(errorNumberOf([] { CLng(2147483648.0); }), vberr::Overflow);
    EXPECT_EQ(errorNumberOf([] { CLng(std::nan("")); }), vberr::Overflow);
    EXPECT_EQ(errorNumberOf([] { CSng(1e300); }), vberr::Overflow);
    // The largest Single as written reads back to itself.
    EXPECT_EQ(CSng(QLocale::c().toDouble(singleToExactString(std::numeric_limits<float>::max()))), std::numeric_limits<float>::max());
}

TEST(StoredNumbers, ReadWhatIsTheValueAndRefuseByNameWhatCannotBeReadOrIsOutOfRange)
{
    EXPECT_EQ(storedLong(QStringLiteral(" 300 "), QStringLiteral("The ID")), 300);
    EXPECT_EQ(storedLong(QStringLiteral("-2147483648"), QStringLiteral("The ID")), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(storedInteger(QStringLiteral("-1"), QStringLiteral("The index")), -1);
    EXPECT_EQ(storedSingle(QStringLiteral("196.4"), QStringLiteral("The energy")), 196.4f);
    EXPECT_EQ(storedDouble(QStringLiteral("-1.5E+300"), QStringLiteral("The reading")), -1.5e300);
    EXPECT_TRUE(storedBoolean(QStringLiteral("True"), QStringLiteral("The flag")));
    EXPECT_FALSE(storedBoolean(QStringLiteral("False"), QStringLiteral("The flag")));

    struct Refused {
        std::function<void()> read;
        const char* text;
        const char* expected;
        std::int32_t number;
    };
    const auto asLong = [](const char* text) { return [text] { storedLong(QLatin1String(text), QStringLiteral("The Filter of the test element"), QStringLiteral("src")); }; };
    const auto asSingle = [](const char* text) { return [text] { storedSingle(QLatin1String(text), QStringLiteral("The Filter of the test element"), QStringLiteral("src")); }; };
    const Refused refused[] = {
        {asLong("-1e308"), "-1e308", "-2147483648 to 2147483647", vberr::Overflow},
        {asLong("2147483648"), "2147483648", "-2147483648 to 2147483647", vberr::Overflow},
        {asLong("1e999"), "1e999", "-2147483648 to 2147483647", vberr::Overflow},
        {[] { storedInteger(QStringLiteral("32768"), QStringLiteral("The Filter of the test element"), QStringLiteral("src")); }, "32768", "-32768 to 32767", vberr::Overflow},
        {asSingle("1e39"), "1e39", "3.4E+38", vberr::Overflow},
        {[] { storedDouble(QStringLiteral("1e999"), QStringLiteral("The Filter of the test element"), QStringLiteral("src")); }, "1e999", "\".\" as the decimal separator", vberr::Overflow},
        // Rounded, taken in part or read as 0, each would be another value.
        {asLong("299.5"), "299.5", "-2147483648 to 2147483647 in decimal digits", vberr::TypeMismatch},
        {asLong("+300"), "+300", "in decimal digits", vberr::TypeMismatch},
        {asLong("12abc"), "12abc", "in decimal digits", vberr::TypeMismatch},
        {asLong("&H1FFFFFFFF"), "&H1FFFFFFFF", "in decimal digits", vberr::TypeMismatch},
        {asLong("3e2"), "3e2", "in decimal digits", vberr::TypeMismatch},
        {[] { storedInteger(QStringLiteral("&HFFFF"), QStringLiteral("The Filter of the test element"), QStringLiteral("src")); }, "&HFFFF", "-32768 to 32767", vberr::TypeMismatch},
        {asSingle("abc"), "abc", "\".\" as the decimal separator", vberr::TypeMismatch},
        {asSingle(""), "", "\".\" as the decimal separator", vberr::TypeMismatch},
        {asSingle("NaN"), "NaN", "\".\" as the decimal separator", vberr::TypeMismatch},
        {asSingle("0x64"), "0x64", "\".\" as the decimal separator", vberr::TypeMismatch},
        {asSingle("1,5"), "1,5", "\".\" as the decimal separator", vberr::TypeMismatch},
        {asSingle("196.4 J"), "196.4 J", "\".\" as the decimal separator", vberr::TypeMismatch},
        {asSingle("1 00"), "1 00", "\".\" as the decimal separator", vberr::TypeMismatch},
        {[] { storedBoolean(QStringLiteral("true"), QStringLiteral("The Filter of the test element"), QStringLiteral("src")); }, "true", "True or False", vberr::TypeMismatch},
    };
    for (const Refused& r : refused) {
        SCOPED_TRACE(r.text);
        try {
            r.read();
            ADD_FAILURE() << "not refused";
        } catch (const PluginError& e) {
            EXPECT_EQ(e.number(), r.number);
            EXPECT_EQ(e.source(), QStringLiteral("src"));
            const QString said = r.number == vberr::Overflow ? QStringLiteral("is out of range") : QStringLiteral("cannot be read");
            EXPECT_TRUE(e.description().startsWith(QStringLiteral("The Filter of the test element %1: \"%2\"").arg(said, QLatin1String(r.text))))
                << e.description().toStdString();
            EXPECT_TRUE(e.description().contains(QLatin1String(r.expected))) << e.description().toStdString();
        }
    }
}

TEST(NumberText, SingleKeepsSevenSignificantDigitsDoubleFifteen)
{
    EXPECT_EQ(singleToString(196.4f), QStringLiteral("196.4"));
    EXPECT_EQ(singleToString(0.1f), QStringLiteral("0.1"));
    EXPECT_EQ(singleToString(1234567.0f), QStringLiteral("1234567"));
    EXPECT_EQ(doubleToString(0.1), QStringLiteral("0.1"));
    EXPECT_EQ(doubleToString(1.0 / 3.0), QStringLiteral("0.333333333333333"));
    EXPECT_EQ(doubleToString(-0.0), QStringLiteral("0"));
    EXPECT_EQ(doubleToString(1e20), QStringLiteral("1E+20"));
}

TEST(NumberText, IsTheSameUnderAGermanLocale)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(doubleToString(196.4), QStringLiteral("196.4"));
    EXPECT_EQ(formatNumber(1234.5, QStringLiteral("# ##0.0")), QStringLiteral("1234.5"));
    double v = 0;
    EXPECT_TRUE(parseNumber(QStringLiteral("196.4"), &v));
    EXPECT_DOUBLE_EQ(v, 196.4);
    EXPECT_FALSE(parseNumber(QStringLiteral("196,4"), &v));
    QLocale::setDefault(previous);
}

TEST(ParseNumber, AcceptsOnlyAWholeNumberText)
{
    double v = 0;
    EXPECT_TRUE(parseNumber(QStringLiteral(" -3e2 "), &v));
    EXPECT_DOUBLE_EQ(v, -300);
    EXPECT_TRUE(parseNumber(QStringLiteral("&HFF"), &v));
    EXPECT_DOUBLE_EQ(v, 255);
    EXPECT_FALSE(parseNumber(QStringLiteral("12 s"), &v));
    EXPECT_FALSE(parseNumber(QString(), &v));
    EXPECT_FALSE(parseNumber(QStringLiteral("&H"), &v));
    EXPECT_FALSE(parseNumber(QStringLiteral("1e999"), &v));
}

TEST(FormatNumber, WritesTheFormatsOfTheMeasurements)
{
    EXPECT_EQ(formatNumber(12.7, QStringLiteral("0")), QStringLiteral("13"));
    EXPECT_EQ(formatNumber(196.4, QStringLiteral("0.0")), QStringLiteral("196.4"));
    EXPECT_EQ(formatNumber(200, QStringLiteral("0.0")), QStringLiteral("200.0"));
    EXPECT_EQ(formatNumber(12, QStringLiteral("# ##0")), QStringLiteral("12"));
    // One notation for every number, as typed and stored: no thousands separator.
    EXPECT_EQ(formatNumber(1234, QStringLiteral("# ##0")), QStringLiteral("1234"));
    EXPECT_EQ(formatNumber(1234567.25, QStringLiteral("# ##0.0")), QStringLiteral("1234567.3"));
    EXPECT_EQ(formatNumber(5000, QStringLiteral("0.0")), QStringLiteral("5000.0"));
    EXPECT_EQ(formatNumber(0, QStringLiteral("# ##0.0")), QStringLiteral("0.0"));
}

TEST(FormatNumber, RoundsHalvesAwayFromZeroInDecimal)
{
    EXPECT_EQ(formatNumber(2.5, QStringLiteral("0")), QStringLiteral("3"));
    EXPECT_EQ(formatNumber(-2.5, QStringLiteral("0")), QStringLiteral("-3"));
    EXPECT_EQ(formatNumber(196.45, QStringLiteral("0.0")), QStringLiteral("196.5"));
    EXPECT_EQ(formatNumber(9.96, QStringLiteral("0.0")), QStringLiteral("10.0"));
    EXPECT_EQ(formatNumber(999.96, QStringLiteral("# ##0.0")), QStringLiteral("1000.0"));
    EXPECT_EQ(formatNumber(0.04, QStringLiteral("0.0")), QStringLiteral("0.0"));
    EXPECT_EQ(formatNumber(-0.04, QStringLiteral("0.0")), QStringLiteral("0.0"));
}

TEST(FormatNumber, AJudgedReadingOrALimitNeverReadsOnAnotherSideOfTheLimitThanItIs)
{
    const QString whole = QStringLiteral("# ##0");
    const struct {
        double reading;
        QList<float> bounds;
        const char* format;
        const char* printed;
    } readings[] = {
        {15.4, {15}, "# ##0", "15.4"},   // failed: "15" would stand on the limit
        {5.3, {15, 5}, "# ##0", "5.3"},  // failed against the second standard only
        {20.4, {20}, "# ##0", "20.4"},
        {63.4, {63, 57}, "# ##0", "63.4"},
        {56.6, {63, 57}, "# ##0", "56.6"},
        {14.6, {15}, "# ##0", "14.6"},   // passed: "15" would read as on the limit
        {73.6, {73.5f}, "# ##0", "74"},  // "74" stands beyond 73.5 as the reading does
        {8.7, {15}, "# ##0", "9"},
        {15, {15}, "# ##0", "15"},
        {1234.54, {1234.5f}, "# ##0.0", "1234.54"},
        {104.2, {115, 85}, "# ##0.0", "104.2"},
        {15.4, {}, "# ##0", "15"},
    };
    for (const auto& r : readings)
        EXPECT_EQ(formatJudged(r.reading, r.bounds, QLatin1String(r.format)), QLatin1String(r.printed)) << r.reading;
    EXPECT_EQ(formatLimit(73.5f, whole), QStringLiteral("73.5"));
    EXPECT_EQ(formatLimit(1234.25f, whole), QStringLiteral("1234.25"));
    EXPECT_EQ(formatLimit(63, whole), QStringLiteral("63"));
    EXPECT_EQ(formatLimit(115, QStringLiteral("# ##0.0")), QStringLiteral("115.0"));
}

TEST(NumberText, ExactTextReadsBackToTheSameNumber)
{
    EXPECT_EQ(doubleToExactString(0.1), QStringLiteral("0.1"));
    EXPECT_EQ(doubleToExactString(0.1 + 0.2), QStringLiteral("0.30000000000000004"));
    EXPECT_EQ(singleToExactString(196.4f), QStringLiteral("196.4"));
    const float awkward = 16777215.0f / 3.0f;
    EXPECT_EQ(QLocale::c().toFloat(singleToExactString(awkward)), awkward);
}
