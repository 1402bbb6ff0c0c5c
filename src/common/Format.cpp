#include "Format.h"

#include "Convert.h"
#include "Exceptions.h"
#include "Strings.h"

#include <QVarLengthArray>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A finite value as decimal digits: value = 0.d1d2d3... x 10^exponent.
// Zero has no digits. At most 17 significant digits are meaningful for a
// double, so precision is capped there.
struct TDecimal {
    bool negative = false;
    int exponent = 0;
    int count = 0;
    char digits[24] = {};
};

constexpr int MaxPrecision = 17;

void stripTrailingZeros(TDecimal &d)
{
    while (d.count > 0 && d.digits[d.count - 1] == '0')
        --d.count;
    if (d.count == 0)
        d.exponent = 0;
}

// A value with a few decimals (amounts, prices: 12.25, also sums of them
// with binary noise: 14.700000000000001) rounded to at most 15 significant
// digits, without the general conversion. When t = a * 10^k lies within
// t * 2^-52 of a whole number T of at most `precision` digits, a lies within
// about 3.3e-16 * a of T / 10^k, less than half a unit of its 15th
// significant digit (at least 5e-16 * a), so T's digits are exactly the
// correct rounding. False when no k up to 6 gives such a T.
bool shortDecimal(double a, int precision, TDecimal &d)
{
    if (precision > 15 || a >= 1e9 || a < 1e-6)
        return false;
    static constexpr double Scales[] = {10.0, 100.0, 1000.0, 10000.0, 100000.0, 1000000.0};
    double limit = 1;
    for (int i = 0; i < precision; ++i)
        limit *= 10;
    for (int k = 1; k <= 6; ++k) {
        const double t = a * Scales[k - 1];
        const double whole = std::round(t);
        if (whole >= limit)
            return false;
        if (whole == 0 || std::fabs(t - whole) > whole * 0x1p-52)
            continue;
        char buf[24];
        const auto res = std::to_chars(buf, buf + sizeof buf, quint64(whole));
        const int length = int(res.ptr - buf);
        std::memcpy(d.digits, buf, size_t(length));
        d.count = length;
        d.exponent = length - k;
        return true;
    }
    return false;
}

// Keeps the first `keep` digits, rounding half away from zero on the
// digits as written (a negative `keep` leaves nothing).
void roundHalfUp(TDecimal &d, int keep)
{
    if (keep < 0) {
        d.count = 0;
        return;
    }
    if (keep >= d.count)
        return;
    const bool up = d.digits[keep] >= '5';
    d.count = keep;
    if (!up)
        return;
    int i = keep - 1;
    while (i >= 0 && d.digits[i] == '9')
        d.digits[i--] = '0';
    if (i >= 0) {
        ++d.digits[i];
    } else {
        // 9.99 -> 10.0: one more integer digit
        std::memmove(d.digits + 1, d.digits, size_t(d.count));
        d.digits[0] = '1';
        ++d.count;
        ++d.exponent;
    }
}

// Significant digits taken from the binary value before the rounding a
// person sees: as many as a double's decimal text reliably has.
constexpr int ReadPrecision = 15;

// The value as at most ReadPrecision significant digits (correctly rounded
// from the binary value), then rounded half away from zero as a decimal
// text to `precision` significant digits and, when `decimals` >= 0, to that
// many decimals. Both roundings work on the digits the user would see, so
// 2.675 with two decimals gives 2.68 and 0.125 with two digits 0.13, as
// every format of the runtime rounds.
TDecimal toDecimal(double value, int precision, int decimals)
{
    TDecimal d;
    d.negative = std::signbit(value);
    const double a = std::fabs(value);
    if (a == 0)
        return d;
    precision = std::clamp(precision, 1, MaxPrecision);
    char buf[48];
    if (a < 1e15 && a == std::trunc(a)) {
        // a whole number of at most `precision` digits is its own rounding
        // (quantities, counters, keys): its digits straight from the integer
        const auto res = std::to_chars(buf, buf + sizeof buf, quint64(a));
        const int length = int(res.ptr - buf);
        if (length <= precision) {
            std::memcpy(d.digits, buf, size_t(length));
            d.count = length;
            d.exponent = length;
            stripTrailingZeros(d);
            return d;
        }
    }
    if (!shortDecimal(a, std::max(precision, ReadPrecision), d)) {
        // "d.ddddde[+-]xx", correctly rounded; to_chars needs no locale and
        // is far cheaper than printf on the hot path of report lines
        const int read = std::max(precision, ReadPrecision);
        const auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, read - 1);
        const char *p = buf;
        while (p < res.ptr && *p != 'e') {
            if (*p >= '0' && *p <= '9')
                d.digits[d.count++] = *p;
            ++p;
        }
        int exp = 0;
        std::from_chars(p + 1 + (p[1] == '+'), res.ptr, exp);
        d.exponent = exp + 1;
    }
    roundHalfUp(d, precision);
    if (decimals >= 0)
        roundHalfUp(d, d.exponent + decimals);
    stripTrailingZeros(d);
    return d;
}

char digitAt(const TDecimal &d, int i)
{
    return i >= 0 && i < d.count ? d.digits[i] : '0';
}

void appendExponent(QString &out, int exp, int minDigits, bool plusSign)
{
    out += u'E';
    if (exp < 0)
        out += u'-';
    else if (plusSign)
        out += u'+';
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", std::clamp(minDigits, 0, 4), std::abs(exp));
    out += QLatin1StringView(buf);
}

// Integer part with optional thousand separators, then `decimals` digits,
// gathered in a buffer and appended in one piece.
void appendFixed(QString &out, const TDecimal &d, int decimals, QChar thousands,
                 const TFormatSettings &fs)
{
    QVarLengthArray<char16_t, 64> text;
    if (d.count > 0 && d.negative)
        text.append(u'-');
    if (d.exponent <= 0) {
        text.append(u'0');
    } else {
        for (int i = 0; i < d.exponent; ++i) {
            if (!thousands.isNull() && i > 0 && (d.exponent - i) % 3 == 0)
                text.append(thousands.unicode());
            text.append(char16_t(digitAt(d, i)));
        }
    }
    if (decimals > 0) {
        text.append(fs.DecimalSeparator.unicode());
        for (int i = 0; i < decimals; ++i)
            text.append(char16_t(digitAt(d, d.exponent + i)));
    }
    AppendChars(out, QStringView(text.constData(), text.size()));
}

void appendGeneral(QString &out, double value, int precision, int digits,
                   const TFormatSettings &fs)
{
    const TDecimal d = toDecimal(value, precision, -1);
    if (d.count == 0) {
        out += u'0';
        return;
    }
    if (d.negative)
        out += u'-';
    if (d.exponent > std::clamp(precision, 1, MaxPrecision) || d.exponent < -4) {
        out += QLatin1Char(d.digits[0]);
        if (d.count > 1) {
            out += fs.DecimalSeparator;
            for (int i = 1; i < d.count; ++i)
                out += QLatin1Char(d.digits[i]);
        }
        appendExponent(out, d.exponent - 1, digits, false);
        return;
    }
    if (d.exponent <= 0) {
        out += u'0';
        out += fs.DecimalSeparator;
        for (int i = d.exponent; i < 0; ++i)
            out += u'0';
        for (int i = 0; i < d.count; ++i)
            out += QLatin1Char(d.digits[i]);
        return;
    }
    for (int i = 0; i < d.exponent; ++i)
        out += QLatin1Char(digitAt(d, i));
    if (d.count > d.exponent) {
        out += fs.DecimalSeparator;
        for (int i = d.exponent; i < d.count; ++i)
            out += QLatin1Char(d.digits[i]);
    }
}

void appendExponentForm(QString &out, double value, int precision, int digits,
                        const TFormatSettings &fs)
{
    precision = std::clamp(precision, 1, MaxPrecision);
    const TDecimal d = toDecimal(value, precision, -1);
    if (d.negative && d.count > 0)
        out += u'-';
    out += QLatin1Char(digitAt(d, 0));
    if (precision > 1) {
        out += fs.DecimalSeparator;
        for (int i = 1; i < precision; ++i)
            out += QLatin1Char(digitAt(d, i));
    }
    appendExponent(out, d.count ? d.exponent - 1 : 0, digits, true);
}

bool appendNonFinite(QString &out, double value)
{
    if (std::isnan(value))
        out += QLatin1StringView("NAN");
    else if (std::isinf(value))
        out += value < 0 ? QLatin1StringView("-INF") : QLatin1StringView("INF");
    else
        return false;
    return true;
}

bool appendQuickFixed(QString &out, double value, int precision, int decimals, const TFormatSettings &fs)
{
    char16_t text[QuickFixedRoom];
    const int n = FormatQuickFixed(text, value, precision, decimals, fs);
    if (n < 0)
        return false;
    AppendChars(out, QStringView(text, n));
    return true;
}

void appendFloat(QString &out, double value, TFloatFormat format, int precision, int digits,
                 const TFormatSettings &fs)
{
    if (format == TFloatFormat::ffFixed && appendQuickFixed(out, value, precision, digits, fs))
        return;
    if (appendNonFinite(out, value))
        return;
    switch (format) {
    case TFloatFormat::ffGeneral:
        appendGeneral(out, value, precision, digits, fs);
        return;
    case TFloatFormat::ffExponent:
        appendExponentForm(out, value, precision, digits, fs);
        return;
    case TFloatFormat::ffFixed:
    case TFloatFormat::ffNumber:
    case TFloatFormat::ffCurrency: {
        digits = std::clamp(digits, 0, 18);
        const TDecimal d = toDecimal(value, precision, digits);
        if (format != TFloatFormat::ffCurrency && d.exponent > std::clamp(precision, 1, MaxPrecision)) {
            // more integer digits than the precision can show
            appendGeneral(out, value, precision, 0, fs);
            return;
        }
        const QChar thousands = format == TFloatFormat::ffFixed ? QChar() : fs.ThousandSeparator;
        appendFixed(out, d, digits, thousands, fs);
        if (format == TFloatFormat::ffCurrency && !fs.CurrencyString.isEmpty()) {
            out += u' ';
            out += fs.CurrencyString;
        }
        return;
    }
    }
}

[[noreturn]] void invalidFormat(const QString &fmt)
{
    throw EConvertError(QStringLiteral("Формат '%1' неверный или несовместимый с аргументом").arg(fmt));
}

[[noreturn]] void missingArgument(const QString &fmt)
{
    throw EConvertError(QStringLiteral("Отстутствует аргумент для формата '%1'").arg(fmt));
}

void appendInteger(QString &out, qint64 v, int minDigits, bool hex)
{
    char buf[32];
    if (hex) {
        // negative values show their two's complement, 32 bits when they fit
        const quint64 u = (v < 0 && v >= INT32_MIN) ? quint64(quint32(qint32(v))) : quint64(v);
        std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(u));
    } else {
        std::snprintf(buf, sizeof buf, "%llu",
                      static_cast<unsigned long long>(v < 0 ? -quint64(v) : quint64(v)));
        if (v < 0)
            out += u'-';
    }
    for (int pad = minDigits - int(std::strlen(buf)); pad > 0; --pad)
        out += u'0';
    out += QLatin1StringView(buf);
}

} // namespace

QString FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                    const TFormatSettings &fs)
{
    QString out;
    appendFloat(out, value, format, precision, digits, fs);
    return out;
}

void AppendFloatToStrF(QString &out, double value, TFloatFormat format, int precision, int digits,
                       const TFormatSettings &fs)
{
    appendFloat(out, value, format, precision, digits, fs);
}

QString FloatToStr(double value, const TFormatSettings &fs)
{
    return FloatToStrF(value, TFloatFormat::ffGeneral, 15, 0, fs);
}

QString Format(const QString &fmt, std::span<const TFormatArg> args, const TFormatSettings &fs)
{
    QString out;
    out.reserve(fmt.size() + 16);
    const qsizetype n = fmt.size();
    qsizetype i = 0;
    size_t next = 0;   // the argument the next directive takes

    // A number, or "*" taking an integer argument; -1 when there is none.
    auto readNumber = [&]() -> int {
        if (i < n && fmt[i] == u'*') {
            ++i;
            if (next >= args.size())
                missingArgument(fmt);
            const TFormatArg &a = args[next++];
            if (a.kind() != TFormatArg::Integer)
                invalidFormat(fmt);
            return int(std::clamp<qint64>(a.asInteger(), 0, 1 << 20));
        }
        if (i >= n || fmt[i] < u'0' || fmt[i] > u'9')
            return -1;
        int v = 0;
        while (i < n && fmt[i] >= u'0' && fmt[i] <= u'9') {
            v = v * 10 + (fmt[i].unicode() - '0');
            if (v > (1 << 20))
                invalidFormat(fmt);
            ++i;
        }
        return v;
    };

    while (i < n) {
        const qsizetype percent = fmt.indexOf(u'%', i);
        if (percent < 0) {
            out += QStringView(fmt).mid(i);
            break;
        }
        out += QStringView(fmt).mid(i, percent - i);
        i = percent + 1;
        if (i >= n)
            invalidFormat(fmt);
        if (fmt[i] == u'%') {
            out += u'%';
            ++i;
            continue;
        }
        int width = readNumber();
        if (i < n && fmt[i] == u':') {
            if (width < 0)
                invalidFormat(fmt);
            next = size_t(width);
            ++i;
            width = -1;
        }
        bool left = false;
        if (width < 0) {
            if (i < n && fmt[i] == u'-') {
                left = true;
                ++i;
            }
            width = readNumber();
        }
        int prec = -1;
        if (i < n && fmt[i] == u'.') {
            ++i;
            prec = readNumber();
            if (prec < 0)
                invalidFormat(fmt);
        }
        if (i >= n)
            invalidFormat(fmt);
        const char16_t type = fmt[i].toUpper().unicode();
        ++i;
        if (!std::strchr("DEFGNMPSX", char(type)) || type > 127)
            invalidFormat(fmt);
        if (next >= args.size())
            missingArgument(fmt);
        const TFormatArg &arg = args[next++];
        const qsizetype start = out.size();
        switch (type) {
        case u'D':
        case u'X':
            if (arg.kind() != TFormatArg::Integer)
                invalidFormat(fmt);
            appendInteger(out, arg.asInteger(), prec, type == u'X');
            break;
        case u'E':
        case u'F':
        case u'G':
        case u'N':
        case u'M': {
            if (arg.kind() != TFormatArg::Float)
                invalidFormat(fmt);
            const double v = arg.asFloat();
            if (type == u'E')
                appendFloat(out, v, TFloatFormat::ffExponent, prec < 0 ? 15 : prec, 3, fs);
            else if (type == u'G')
                appendFloat(out, v, TFloatFormat::ffGeneral, prec < 0 ? 15 : prec, 0, fs);
            else if (type == u'F')
                appendFloat(out, v, TFloatFormat::ffFixed, 15, prec < 0 ? 2 : prec, fs);
            else if (type == u'N')
                appendFloat(out, v, TFloatFormat::ffNumber, 15, prec < 0 ? 2 : prec, fs);
            else
                appendFloat(out, v, TFloatFormat::ffCurrency, 15,
                            prec < 0 ? fs.CurrencyDecimals : prec, fs);
            break;
        }
        case u'P': {
            if (arg.kind() != TFormatArg::Pointer)
                invalidFormat(fmt);
            char buf[32];
            std::snprintf(buf, sizeof buf, "%0*llX", int(sizeof(void *) * 2),
                          static_cast<unsigned long long>(arg.asInteger()));
            out += QLatin1StringView(buf);
            break;
        }
        case u'S':
            if (arg.kind() != TFormatArg::String)
                invalidFormat(fmt);
            out += prec >= 0 ? QStringView(arg.asString()).left(prec) : QStringView(arg.asString());
            break;
        }
        const qsizetype len = out.size() - start;
        if (width > len) {
            if (left)
                out.append(QString(width - len, u' '));
            else
                out.insert(start, QString(width - len, u' '));
        }
    }
    return out;
}

int FormatQuickFixed(char16_t *text, double value, int precision, int decimals, const TFormatSettings &fs)
{
    static constexpr double Scales[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6};
    static constexpr double Limits[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8,
                                        1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    if (decimals < 0 || decimals > 6 || precision < 1 || precision > 15)
        return -1;
    const double t = std::fabs(value) * Scales[decimals];
    if (!(t >= 0.5 && t < Limits[precision]))
        return -1;
    // t + 0.5 truncated is t rounded, but at halves, which the test below
    // turns away anyway
    const double w = double(qint64(t + 0.5));
    if (!(w >= 1 && w < Limits[precision]) || std::fabs(t - w) > w * 0x1p-52)
        return -1;
    char digits[24];
    const int count = int(std::to_chars(digits, digits + sizeof digits, qint64(w)).ptr - digits);
    char16_t *p = text;
    if (value < 0)
        *p++ = u'-';
    const int whole = count - decimals;   // integer digits, none below 1
    if (whole <= 0)
        *p++ = u'0';
    for (int i = 0; i < whole; ++i)
        *p++ = char16_t(digits[i]);
    if (decimals > 0) {
        *p++ = fs.DecimalSeparator.unicode();
        for (int i = whole; i < count; ++i)
            *p++ = i < 0 ? u'0' : char16_t(digits[i]);
    }
    return int(p - text);
}

QString FormatDecimalText(const QString &text, int decimals, bool thousands, const TFormatSettings &fs)
{
    if (!IsDecimalText(text))
        return text;
    const bool negative = text.startsWith(u'-');
    QString digits = negative ? text.mid(1) : text;
    qsizetype point = digits.indexOf(u'.');
    QString whole = point < 0 ? digits : digits.left(point);
    QString frac = point < 0 ? QString() : digits.mid(point + 1);
    if (whole.isEmpty())
        whole = QStringLiteral("0");
    if (decimals >= 0 && frac.size() > decimals) {
        const bool up = frac[decimals] >= u'5';
        frac.truncate(decimals);
        if (up) {
            // add one in the last place kept, carrying leftwards
            QString all = whole + frac;
            qsizetype i = all.size() - 1;
            for (; i >= 0 && all[i] == u'9'; --i)
                all[i] = u'0';
            if (i < 0)
                all.prepend(u'1');
            else
                all[i] = QChar(all[i].unicode() + 1);
            whole = all.left(all.size() - frac.size());
            frac = all.right(frac.size());
        }
    } else if (decimals >= 0) {
        frac += QString(decimals - frac.size(), u'0');
    }
    while (whole.size() > 1 && whole.startsWith(u'0'))
        whole.remove(0, 1);
    if (thousands)
        for (qsizetype i = whole.size() - 3; i > 0; i -= 3)
            whole.insert(i, fs.ThousandSeparator);
    const bool zero = std::all_of(whole.begin(), whole.end(), [](QChar c) { return c == u'0' || !c.isDigit(); })
                      && std::all_of(frac.begin(), frac.end(), [](QChar c) { return c == u'0'; });
    QString out = negative && !zero ? QStringLiteral("-") : QString();
    out += whole;
    if (!frac.isEmpty())
        out += fs.DecimalSeparator + frac;
    return out;
}
