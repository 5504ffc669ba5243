#include "Automation.h"

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <limits>

#include "EscapedText.h"
#include "PluginError.h"

namespace kelto {

namespace {

bool isSkippedBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

QString withoutBlanks(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (!isSkippedBlank(c))
            out.append(c);
    }
    return out;
}

double radixValue(const QString& digits, int radix)
{
    // Up to 4 hex digits are a 16-bit pattern, more a 32-bit one, as the language reads them.
    quint64 acc = 0;
    int count = 0;
    for (QChar c : digits) {
        int d = -1;
        if (c.isDigit())
            d = c.digitValue();
        else if (radix == 16 && c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f'))
            d = c.toLower().unicode() - 'a' + 10;
        if (d < 0 || d >= radix)
            break;
        acc = acc * radix + d;
        ++count;
        if (acc > 0xFFFFFFFFull)
            raiseError(vberr::Overflow, {});
    }
    if (count == 0)
        return 0;
    const bool shortForm = radix == 16 ? count <= 4 : acc <= 0177777;
    if (shortForm)
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(acc));
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(acc));
}

// Length of the decimal number at the start of s (sign, digits, point, exponent).
int decimalPrefixLength(const QString& s)
{
    int i = 0;
    const int n = s.size();
    if (i < n && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-')))
        ++i;
    int digits = 0;
    while (i < n && s[i].isDigit()) {
        ++i;
        ++digits;
    }
    if (i < n && s[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && s[i].isDigit()) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    if (i < n && QStringLiteral("eEdD").contains(s[i])) {
        int j = i + 1;
        if (j < n && (s[j] == QLatin1Char('+') || s[j] == QLatin1Char('-')))
            ++j;
        int expDigits = 0;
        while (j < n && s[j].isDigit()) {
            ++j;
            ++expDigits;
        }
        if (expDigits > 0)
            i = j;
    }
    return i;
}

double parseDecimal(QString number)
{
    for (QChar& c : number) {
        if (c == QLatin1Char('d') || c == QLatin1Char('D'))
            c = QLatin1Char('E');
    }
    bool ok = false;
    const double v = QLocale::c().toDouble(number, &ok);
    if (!ok) {
        // Out of the double range: the language reports an overflow.
        raiseError(vberr::Overflow, {});
    }
    return v;
}

QString vbExponentStyle(QString text)
{
    // "1e+07" -> "1E+07", as automation writes exponents.
    const int e = text.indexOf(QLatin1Char('e'));
    if (e >= 0)
        text[e] = QLatin1Char('E');
    if (text == QLatin1String("-0"))
        return QStringLiteral("0");
    return text;
}

} // namespace

double Val(const QString& text)
{
    const QString s = withoutBlanks(text);
    if (s.startsWith(QLatin1Char('&')) && s.size() > 1) {
        const QChar kind = s[1].toUpper();
        if (kind == QLatin1Char('H'))
            return radixValue(s.mid(2), 16);
        if (kind == QLatin1Char('O'))
            return radixValue(s.mid(2), 8);
        return radixValue(s.mid(1), 8);
    }
    const int len = decimalPrefixLength(s);
    if (len == 0)
        return 0;
    return parseDecimal(s.left(len));
}

bool startsWithNumber(const QString& text)
{
    const QString s = withoutBlanks(text);
    if (s.startsWith(QLatin1Char('&')) && s.size() > 1) {
        const QChar kind = s[1].toUpper();
        const bool named = kind == QLatin1Char('H') || kind == QLatin1Char('O');
        const int radix = kind == QLatin1Char('H') ? 16 : 8;
        const int at = named ? 2 : 1;
        if (at >= s.size())
            return false;
        const QChar c = s[at].toLower();
        const int d = c.isDigit() ? c.digitValue() : (radix == 16 && c >= QLatin1Char('a') && c <= QLatin1Char('f') ? 10 : -1);
        return d >= 0 && d < radix;
    }
    return decimalPrefixLength(s) > 0;
}

double roundHalfEven(double value)
{
    return std::nearbyint(value); // the default rounding mode rounds halves to even
}

std::int16_t CInt(double value)
{
    const double r = roundHalfEven(value);
    if (!(r >= std::numeric_limits<std::int16_t>::min() && r <= std::numeric_limits<std::int16_t>::max()))
        raiseError(vberr::Overflow, {});
    return static_cast<std::int16_t>(r);
}

std::int32_t CLng(double value)
{
    const double r = roundHalfEven(value);
    if (!(r >= std::numeric_limits<std::int32_t>::min() && r <= std::numeric_limits<std::int32_t>::max()))
        raiseError(vberr::Overflow, {});
    return static_cast<std::int32_t>(r);
}

float CSng(double value)
{
    // Values up to half a unit beyond the largest Single still round to it.
    constexpr double kSingleLimit = 3.4028235677973366e38;
    if (std::isnan(value) || std::fabs(value) >= kSingleLimit)
        raiseError(vberr::Overflow, {});
    return static_cast<float>(value);
}

namespace {

enum class Whole { No, Yes };

// Reads a stored text as one number and converts it; what cannot be read, or lies
// beyond the target's range, is refused naming the value and the text found.
template <class Convert>
auto readStored(const QString& text, const QString& what, const QString& source, const char* expected, Whole whole, Convert convert)
{
    const QString shown = quotedValue(text);
    const QString trimmed = text.trimmed();
    double number = 0;
    bool beyond = false;
    bool numeric = parseNumber(trimmed, &number);
    if (!numeric && !trimmed.isEmpty() && decimalPrefixLength(trimmed) == trimmed.size()) {
        numeric = true; // written as a number, but beyond any Double
        beyond = true;
    }
    if (numeric && !beyond) {
        try {
            convert(number);
        } catch (const PluginError& e) {
            if (e.number() != vberr::Overflow)
                throw;
            beyond = true;
        }
    }
    if (beyond)
        raiseError(vberr::Overflow, source,
            QStringLiteral("%1 is out of range: %2 (%3 is expected). Correct it in the file or remove it.")
                .arg(what, shown, QLatin1String(expected)));
    const bool digitsOnly = [&] {
        const QStringView digits = trimmed.startsWith(QLatin1Char('-')) ? QStringView(trimmed).mid(1) : QStringView(trimmed);
        return !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
    }();
    if (!numeric || (whole == Whole::Yes && !digitsOnly))
        raiseError(vberr::TypeMismatch, source,
            QStringLiteral("%1 cannot be read: %2 (%3 is expected). Correct it in the file or remove it.")
                .arg(what, shown, QLatin1String(expected)));
    return convert(number);
}

} // namespace

std::int16_t storedInteger(const QString& text, const QString& what, const QString& source)
{
    return readStored(text, what, source, "a whole number from -32768 to 32767 in decimal digits", Whole::Yes, CInt);
}

std::int32_t storedLong(const QString& text, const QString& what, const QString& source)
{
    return readStored(text, what, source, "a whole number from -2147483648 to 2147483647 in decimal digits", Whole::Yes, CLng);
}

float storedSingle(const QString& text, const QString& what, const QString& source)
{
    return readStored(text, what, source, "a number of at most 3.4E+38 in size with \".\" as the decimal separator", Whole::No, CSng);
}

double storedDouble(const QString& text, const QString& what, const QString& source)
{
    return readStored(text, what, source, "a number with \".\" as the decimal separator", Whole::No, [](double v) { return v; });
}

bool storedBoolean(const QString& text, const QString& what, const QString& source)
{
    if (text == QLatin1String("True"))
        return true;
    if (text == QLatin1String("False"))
        return false;
    raiseError(vberr::TypeMismatch, source,
        QStringLiteral("%1 cannot be read: %2 (True or False is expected). Correct it in the file or remove it.").arg(what, quotedValue(text)));
}

QString singleToString(float value)
{
    return vbExponentStyle(QString::number(static_cast<double>(value), 'g', 7));
}

QString doubleToString(double value)
{
    return vbExponentStyle(QString::number(value, 'g', 15));
}

QString singleToExactString(float value)
{
    for (int digits = 7; digits < 9; ++digits) {
        const QString text = vbExponentStyle(QString::number(static_cast<double>(value), 'g', digits));
        if (QLocale::c().toFloat(text) == value)
            return text;
    }
    return vbExponentStyle(QString::number(static_cast<double>(value), 'g', 9));
}

QString doubleToExactString(double value)
{
    for (int digits = 15; digits < 17; ++digits) {
        const QString text = vbExponentStyle(QString::number(value, 'g', digits));
        if (QLocale::c().toDouble(text) == value)
            return text;
    }
    return vbExponentStyle(QString::number(value, 'g', 17));
}

bool parseNumber(const QString& text, double* value)
{
    const QString s = text.trimmed();
    if (s.isEmpty())
        return false;
    try {
        if (s.startsWith(QLatin1Char('&'))) {
            const QString digits = s.mid(2);
            const int radix = s.size() > 1 && s[1].toUpper() == QLatin1Char('H') ? 16 : 8;
            if (digits.isEmpty() || s.size() < 2 || (s[1].toUpper() != QLatin1Char('H') && s[1].toUpper() != QLatin1Char('O')))
                return false;
            for (QChar c : digits) {
                if (!(c.isDigit() || (radix == 16 && QStringLiteral("abcdefABCDEF").contains(c))) || (radix == 8 && c > QLatin1Char('7')))
                    return false;
            }
            *value = radixValue(digits, radix);
            return true;
        }
        if (decimalPrefixLength(s) != s.size())
            return false;
        *value = parseDecimal(s);
        return true;
    } catch (const PluginError&) {
        return false;
    }
}

namespace {

// The decimals a display format gives.
int formatDecimals(const QString& format)
{
    const int point = format.indexOf(QLatin1Char('.'));
    int decimals = 0;
    if (point >= 0) {
        for (int i = point + 1; i < format.size() && (format[i] == QLatin1Char('0') || format[i] == QLatin1Char('#')); ++i)
            ++decimals;
    }
    return decimals;
}

// The decimals of a number's automation text ("15.4": 1, "2.5E-05": 6).
int decimalsOf(const QString& text)
{
    const int e = text.indexOf(QLatin1Char('E'));
    const QString mantissa = e < 0 ? text : text.left(e);
    const int point = mantissa.indexOf(QLatin1Char('.'));
    int decimals = point < 0 ? 0 : static_cast<int>(mantissa.size()) - point - 1;
    if (e >= 0)
        decimals -= text.mid(e + 1).toInt();
    // Beyond what a Double holds, more digits say nothing.
    return std::clamp(decimals, 0, 17);
}

// The number a display text stands for.
float shownValue(const QString& shown, float otherwise)
{
    double value = 0;
    return parseNumber(QString(shown).remove(QLatin1Char(' ')), &value) ? static_cast<float>(value) : otherwise;
}

// The value with this many decimals.
QString withDecimals(double value, int decimals)
{
    // Round in decimal, half away from zero, from the 15 significant digits the
    // value stands for, so that 196.45 shows as 196.5 and not as 196.4.
    const bool negative = value < 0;
    QString sci = QString::number(std::fabs(value), 'e', 14); // d.dddddddddddddde+XX
    const int ePos = sci.indexOf(QLatin1Char('e'));
    const int exponent = sci.mid(ePos + 1).toInt();
    QString digits = sci.left(ePos).remove(QLatin1Char('.'));
    // Place the digits around the decimal point: intDigits before it.
    int intDigits = exponent + 1;
    if (intDigits <= 0) {
        digits = QString(-intDigits + 1, QLatin1Char('0')) + digits;
        intDigits = 1;
    }
    if (digits.size() < intDigits + decimals + 1)
        digits += QString(intDigits + decimals + 1 - digits.size(), QLatin1Char('0'));
    QString kept = digits.left(intDigits + decimals);
    if (digits[intDigits + decimals] >= QLatin1Char('5')) {
        int i = kept.size() - 1;
        while (i >= 0) {
            if (kept[i] == QLatin1Char('9')) {
                kept[i] = QLatin1Char('0');
                --i;
            } else {
                kept[i] = QChar(kept[i].unicode() + 1);
                break;
            }
        }
        if (i < 0) {
            kept.prepend(QLatin1Char('1'));
            ++intDigits;
        }
    }
    QString whole = kept.left(intDigits);
    const QString fraction = kept.mid(intDigits);
    while (whole.size() > 1 && whole[0] == QLatin1Char('0'))
        whole.remove(0, 1);
    QString out = whole;
    if (decimals > 0)
        out += QLatin1Char('.') + fraction;
    const bool allZero = std::none_of(kept.cbegin(), kept.cend(), [](QChar c) { return c >= QLatin1Char('1') && c <= QLatin1Char('9'); });
    if (negative && !allZero)
        out.prepend(QLatin1Char('-'));
    return out;
}

// The value with the decimals its automation text holds, the format's at least.
QString formatWithItsDecimals(double value, const QString& text, const QString& format)
{
    return withDecimals(value, std::max(formatDecimals(format), decimalsOf(text)));
}

} // namespace

QString formatNumber(double value, const QString& format)
{
    return withDecimals(value, formatDecimals(format));
}

QString formatLimit(float limit, const QString& format)
{
    const QString shown = formatNumber(limit, format);
    if (shownValue(shown, limit) == limit)
        return shown;
    return formatWithItsDecimals(limit, singleToString(limit), format);
}

QString formatJudged(double reading, const QList<float>& bounds, const QString& format)
{
    const QString shown = formatNumber(reading, format);
    const float judged = static_cast<float>(reading);
    const float read = shownValue(shown, judged);
    const auto side = [](float value, float bound) { return (value > bound) - (value < bound); };
    for (const float bound : bounds) {
        if (side(read, bound) != side(judged, bound))
            return formatWithItsDecimals(reading, doubleToString(reading), format);
    }
    return shown;
}

} // namespace kelto
