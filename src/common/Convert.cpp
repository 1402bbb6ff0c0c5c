#include "Convert.h"

#include "Exceptions.h"

#include <QDate>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace {

bool isBlank(QChar c)
{
    return c == u' ';
}

[[noreturn]] void notFloat(const QString &s)
{
    throw EConvertError(QStringLiteral("'%1' - не значение с плавающей запятой").arg(s));
}

[[noreturn]] void notInteger(const QString &s)
{
    throw EConvertError(QStringLiteral("'%1' - не целое значение").arg(s));
}

[[noreturn]] void notDate(const QString &s)
{
    throw EConvertError(QStringLiteral("'%1' - неверная дата").arg(s));
}

// Reads an unsigned run of decimal digits at `i` (after blanks); false when
// there is none or it has more than `maxDigits` digits.
bool scanNumber(const QString &s, qsizetype &i, int &value, int &digits, int maxDigits)
{
    while (i < s.size() && isBlank(s[i]))
        ++i;
    const qsizetype start = i;
    value = 0;
    while (i < s.size() && s[i] >= u'0' && s[i] <= u'9') {
        if (i - start >= maxDigits)
            return false;
        value = value * 10 + (s[i].unicode() - '0');
        ++i;
    }
    digits = int(i - start);
    return digits > 0;
}

bool scanChar(const QString &s, qsizetype &i, QChar c)
{
    while (i < s.size() && isBlank(s[i]))
        ++i;
    if (i < s.size() && s[i] == c) {
        ++i;
        return true;
    }
    return false;
}

bool atEnd(const QString &s, qsizetype i)
{
    while (i < s.size() && isBlank(s[i]))
        ++i;
    return i >= s.size();
}

// The order of day, month and year in a short date format: "DMY", "MDY" or
// "YMD", from the first letter of each part.
QString dateOrder(const QString &format)
{
    QString order;
    for (QChar c : format) {
        const QChar u = c.toUpper();
        if ((u == u'D' || u == u'M' || u == u'Y') && !order.contains(u))
            order += u;
    }
    return order.size() == 3 ? order : QStringLiteral("DMY");
}

// A two-digit year taken within 50 years of the current one.
int expandYear(int year)
{
    const int now = QDate::currentDate().year();
    int y = now - now % 100 + year;
    if (y > now + 50)
        y -= 100;
    else if (y <= now - 50)
        y += 100;
    return y;
}

bool scanDate(const QString &s, qsizetype &i, TDateTime &value, const TFormatSettings &fs)
{
    int n1, n2, n3 = 0, l1, l2, l3 = 0;
    if (!scanNumber(s, i, n1, l1, 4) || !scanChar(s, i, fs.DateSeparator)
        || !scanNumber(s, i, n2, l2, 4))
        return false;
    bool haveThird = false;
    const qsizetype afterTwo = i;
    if (scanChar(s, i, fs.DateSeparator)) {
        if (!scanNumber(s, i, n3, l3, 4))
            return false;
        haveThird = true;
    } else {
        i = afterTwo;
    }
    const QString order = dateOrder(fs.ShortDateFormat);
    int year, month, day, yearDigits;
    if (!haveThird) {
        // two parts: day and month in the order of the format, this year
        year = QDate::currentDate().year();
        yearDigits = 4;
        if (order.indexOf(u'M') < order.indexOf(u'D')) {
            month = n1;
            day = n2;
        } else {
            day = n1;
            month = n2;
        }
    } else {
        const int parts[3] = {n1, n2, n3};
        const int lens[3] = {l1, l2, l3};
        day = parts[order.indexOf(u'D')];
        month = parts[order.indexOf(u'M')];
        year = parts[order.indexOf(u'Y')];
        yearDigits = lens[order.indexOf(u'Y')];
    }
    if (yearDigits <= 2)
        year = expandYear(year);
    return TryEncodeDate(year, month, day, value);
}

bool scanTime(const QString &s, qsizetype &i, TDateTime &value, const TFormatSettings &fs)
{
    int hour, min = 0, sec = 0, msec = 0, len;
    if (!scanNumber(s, i, hour, len, 2))
        return false;
    if (scanChar(s, i, fs.TimeSeparator)) {
        if (!scanNumber(s, i, min, len, 2))
            return false;
        if (scanChar(s, i, fs.TimeSeparator)) {
            if (!scanNumber(s, i, sec, len, 2))
                return false;
            if (scanChar(s, i, fs.DecimalSeparator) && !scanNumber(s, i, msec, len, 3))
                return false;
        }
    }
    while (i < s.size() && isBlank(s[i]))
        ++i;
    // an optional AM/PM marker
    const QStringView rest = QStringView(s).mid(i);
    int shift = -1;
    for (const auto &[marker, pm] : {std::pair{fs.TimeAMString, false}, std::pair{fs.TimePMString, true},
                                     std::pair{QStringLiteral("AM"), false},
                                     std::pair{QStringLiteral("PM"), true}}) {
        if (!marker.isEmpty() && rest.startsWith(marker, Qt::CaseInsensitive)) {
            shift = pm ? 12 : 0;
            i += marker.size();
            break;
        }
    }
    if (shift >= 0) {
        if (hour < 1 || hour > 12)
            return false;
        hour = hour % 12 + shift;
    }
    if (hour > 23 || min > 59 || sec > 59)
        return false;
    value = (((hour * 60 + min) * 60 + sec) * 1000.0 + msec) / MSecsPerDay;
    return true;
}

} // namespace

bool TryStrToFloat(const QString &s, double &value, const TFormatSettings &fs)
{
    // Accepted: blanks, sign, digits with at most one decimal separator,
    // an optional exponent, blanks. Nothing else (no thousand separators).
    QByteArray buf;
    buf.reserve(s.size());
    qsizetype i = 0;
    const qsizetype n = s.size();
    while (i < n && isBlank(s[i]))
        ++i;
    if (i < n && (s[i] == u'+' || s[i] == u'-'))
        buf += char(s[i++].unicode());
    int mantissaDigits = 0;
    while (i < n && s[i] >= u'0' && s[i] <= u'9') {
        buf += char(s[i++].unicode());
        ++mantissaDigits;
    }
    if (i < n && s[i] == fs.DecimalSeparator) {
        buf += '.';
        ++i;
        while (i < n && s[i] >= u'0' && s[i] <= u'9') {
            buf += char(s[i++].unicode());
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0)
        return false;
    if (i < n && (s[i] == u'e' || s[i] == u'E')) {
        buf += 'e';
        ++i;
        if (i < n && (s[i] == u'+' || s[i] == u'-'))
            buf += char(s[i++].unicode());
        int expDigits = 0;
        while (i < n && s[i] >= u'0' && s[i] <= u'9') {
            buf += char(s[i++].unicode());
            ++expDigits;
        }
        if (expDigits == 0)
            return false;
    }
    if (!atEnd(s, i))
        return false;
    // from_chars ignores the C locale, which QCoreApplication sets from the
    // environment (a "," decimal point there must not change our parsing)
    double v = 0;
    const char *first = buf.constData();
    if (*first == '+')
        ++first;
    const auto [ptr, ec] = std::from_chars(first, buf.constData() + buf.size(), v);
    if (ec != std::errc() || ptr != buf.constData() + buf.size())
        return false;
    value = v;
    return true;
}

double StrToFloat(const QString &s, const TFormatSettings &fs)
{
    double v;
    if (!TryStrToFloat(s, v, fs))
        notFloat(s);
    return v;
}

QString StrToDecimalText(const QString &s, const TFormatSettings &fs)
{
    const QString t = s.trimmed();
    QString out;
    out.reserve(t.size());
    bool digits = false, point = false;
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c >= u'0' && c <= u'9') {
            out += c;
            digits = true;
        } else if ((c == u'-' || c == u'+') && i == 0) {
            if (c == u'-')
                out += c;
        } else if (c == fs.DecimalSeparator && !point) {
            out += u'.';
            point = true;
        } else if (c == fs.ThousandSeparator && !point && digits) {
            continue;
        } else {
            notFloat(s);
        }
    }
    if (!digits)
        notFloat(s);
    if (out.endsWith(u'.'))
        out.chop(1);
    return out;
}

bool IsDecimalText(QStringView s)
{
    qsizetype i = s.startsWith(u'-') ? 1 : 0;
    bool digits = false, point = false;
    for (; i < s.size(); ++i) {
        if (s[i] >= u'0' && s[i] <= u'9')
            digits = true;
        else if (s[i] == u'.' && !point)
            point = true;
        else
            return false;
    }
    return digits;
}

bool TryStrToInt64(const QString &s, qint64 &value)
{
    qsizetype i = 0;
    const qsizetype n = s.size();
    while (i < n && isBlank(s[i]))
        ++i;
    bool negative = false;
    if (i < n && (s[i] == u'+' || s[i] == u'-'))
        negative = s[i++] == u'-';
    int base = 10;
    if (i < n && s[i] == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < n && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i >= n)
        return false;
    quint64 v = 0;
    const quint64 limit = negative ? quint64(1) << 63 : (quint64(1) << 63) - 1;
    for (; i < n; ++i) {
        const int d = QChar(s[i]).isDigit() && s[i] <= u'9' ? s[i].unicode() - '0'
                      : base == 16 && s[i].toUpper() >= u'A' && s[i].toUpper() <= u'F'
                          ? s[i].toUpper().unicode() - 'A' + 10
                          : -1;
        if (d < 0)
            return false;
        if (v > (limit - quint64(d)) / quint64(base))
            return false;
        v = v * quint64(base) + quint64(d);
    }
    value = negative ? qint64(0 - v) : qint64(v);
    return true;
}

bool TryStrToInt(const QString &s, int &value)
{
    qint64 v;
    if (!TryStrToInt64(s, v) || v < INT32_MIN || v > INT32_MAX)
        return false;
    value = int(v);
    return true;
}

int StrToInt(const QString &s)
{
    int v;
    if (!TryStrToInt(s, v))
        notInteger(s);
    return v;
}

qint64 StrToInt64(const QString &s)
{
    qint64 v;
    if (!TryStrToInt64(s, v))
        notInteger(s);
    return v;
}

bool TryStrToDate(const QString &s, TDateTime &value, const TFormatSettings &fs)
{
    qsizetype i = 0;
    TDateTime d;
    if (!scanDate(s, i, d, fs) || !atEnd(s, i))
        return false;
    value = d;
    return true;
}

TDateTime StrToDate(const QString &s, const TFormatSettings &fs)
{
    TDateTime v;
    if (!TryStrToDate(s, v, fs))
        notDate(s);
    return v;
}

bool TryStrToTime(const QString &s, TDateTime &value, const TFormatSettings &fs)
{
    qsizetype i = 0;
    TDateTime t;
    if (!scanTime(s, i, t, fs) || !atEnd(s, i))
        return false;
    value = t;
    return true;
}

TDateTime StrToTime(const QString &s, const TFormatSettings &fs)
{
    TDateTime v;
    if (!TryStrToTime(s, v, fs))
        throw EConvertError(QStringLiteral("'%1' - неверное время").arg(s));
    return v;
}

TDateTime StrToDateTime(const QString &s, const TFormatSettings &fs)
{
    qsizetype i = 0;
    TDateTime d, t = 0;
    if (!scanDate(s, i, d, fs))
        throw EConvertError(QStringLiteral("'%1' - неверные дата и время").arg(s));
    if (!atEnd(s, i) && (!scanTime(s, i, t, fs) || !atEnd(s, i)))
        throw EConvertError(QStringLiteral("'%1' - неверные дата и время").arg(s));
    return d < 0 ? d - t : d + t;
}
