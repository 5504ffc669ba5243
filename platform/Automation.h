#pragma once
// The one place for the automation number rules: leading-number parsing, whole-number
// rounding, text of numbers and the display formats. All locale-independent: a
// decimal comma in saved data or in an analyser reply is never accepted.

#include <QList>
#include <QString>
#include <cstdint>

namespace kelto {

// Leading number of a text: blanks, tabs and line feeds are skipped anywhere,
// optional sign, "." as the only decimal separator, E or D exponent, "&H" and "&O"
// prefixes; anything else ends the number, and a text without one gives 0.
double Val(const QString& text);
// True when the text begins with a number that Val reads; Val gives 0 both for
// "0" and for a text without any number, which a caller may need to tell apart.
bool startsWithNumber(const QString& text);

// Whole numbers rounded half to even; overflow error (6) outside the target range.
std::int16_t CInt(double value);
std::int32_t CLng(double value);
float CSng(double value); // overflow error (6) beyond the Single range

// Values read from a stored file's text. The whole text, blanks around it aside,
// must be the value: a number as parseNumber reads it, for a whole number only
// decimal digits with "-" when negative; a Boolean is "True" or "False". Anything
// else ("abc", "", "1,5", "0x64", "NaN", "12 J", "299.5" or "+300" for a whole
// number) is refused with type mismatch (13), a number beyond the target's range
// with overflow (6), each with a text that names what was read ("what", for example
// "The Filter of the test element") and the text found; nothing is taken in part
// or rounded.
std::int16_t storedInteger(const QString& text, const QString& what, const QString& source = {});
std::int32_t storedLong(const QString& text, const QString& what, const QString& source = {});
float storedSingle(const QString& text, const QString& what, const QString& source = {});
double storedDouble(const QString& text, const QString& what, const QString& source = {});
bool storedBoolean(const QString& text, const QString& what, const QString& source = {});

// Round half to even to a whole number, without range check.
double roundHalfEven(double value);

// Text of a number as automation writes it: Single with 7 significant digits,
// Double with 15, no exponent for ordinary magnitudes, "." as separator.
QString singleToString(float value);
QString doubleToString(double value);

// Text that reads back to exactly the same number: the automation text when it
// does, else with as many more digits as it takes. For stored data.
QString singleToExactString(float value);
QString doubleToExactString(double value);

// Strict parse of a whole text as a number ("12.5", " -3e2 ", "&HFF"); false when
// the text is not entirely one number.
bool parseNumber(const QString& text, double* value);

// Numeric display formats: "0", "0.0", "0.00", "# ##0", "# ##0.0" and the like:
// the digits after the "." in the format, rounding half away from zero. Every
// number shows in one notation, as it is typed and stored: a full stop before the
// decimals and no thousands separator, also where the format has a "# ##" group.
QString formatNumber(double value, const QString& format);

// A limit in a display format, with the decimals it holds where the format would
// round it ("73.5" in "0", never "74"): a reading printed beside it then compares
// with it as it was judged.
QString formatLimit(float limit, const QString& format);
// A reading in a display format, unless that text would stand on another side of
// one of the bounds it was judged against than the reading does, or on one it is
// not on (15.4 against a high limit of 15 would read "15"); then with the decimals
// it was measured to (its automation text). Compared in single precision, as judged.
QString formatJudged(double reading, const QList<float>& bounds, const QString& format);

} // namespace kelto
