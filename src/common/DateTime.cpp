#include "DateTime.h"

#include "Exceptions.h"
#include "Strings.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <vector>

namespace {

// Day 0 of the day numbers.
const QDate Epoch(1899, 12, 30);

// `v` in decimal, "0"-filled on the left to at least `width` characters
// (a minus sign counts as one of them).
void appendNumber(QString &out, int v, int width = 0)
{
    // built from the right in one buffer and appended at once: a date has
    // several of these numbers and every dated field of every record
    // formats one
    char16_t buf[32];
    char16_t *const end = buf + std::size(buf);
    char16_t *p = end;
    unsigned u = v < 0 ? 0u - unsigned(v) : unsigned(v);
    do {
        *--p = char16_t(u'0' + u % 10);
        u /= 10;
    } while (u != 0);
    if (v < 0)
        *--p = u'-';
    // the zeros go before the sign, as the digits of a plain number would
    qsizetype fill = width - (end - p);
    if (fill > 0 && fill <= p - buf) {
        while (fill-- > 0)
            *--p = u'0';
    } else {
        for (; fill > 0; --fill)
            out += u'0';
    }
    AppendChars(out, QStringView(p, end - p));
}

namespace chr = std::chrono;

// Day 0 of the day numbers in std::chrono's calendar, which counts days
// from 1 January 1970 in the proleptic Gregorian calendar.
constexpr chr::sys_days EpochDay{chr::year(1899) / chr::December / 30};

// 1 January 1 and 31 December 9999 as day numbers.
constexpr qint64 FirstDay = (chr::sys_days{chr::year(1) / chr::January / 1} - EpochDay).count();
constexpr qint64 LastDay = (chr::sys_days{chr::year(9999) / chr::December / 31} - EpochDay).count();

// The calendar date of a day number. The years 1 to 9999 are std::chrono's
// calendar; beyond them the date is QDate's, which has no year 0 (the year
// before 1 is -1) and reaches millions of years further.
void civilDate(qint64 days, int &year, int &month, int &day)
{
    if (days < FirstDay || days > LastDay) {
        Epoch.addDays(days).getDate(&year, &month, &day);
        return;
    }
    const chr::year_month_day date{EpochDay + chr::days(days)};
    year = int(date.year());
    month = int(unsigned(date.month()));
    day = int(unsigned(date.day()));
}

// Day of week of a day number, 1 = Sunday ... 7 = Saturday, as civilDate
// takes the date.
int dayOfWeek(qint64 days)
{
    if (days < FirstDay || days > LastDay)
        return Epoch.addDays(days).dayOfWeek() % 7 + 1;
    return int(chr::weekday(EpochDay + chr::days(days)).c_encoding()) + 1;
}

// The lower case of a format character; letters of directives are ASCII.
char16_t lowerOf(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 128)
        return u >= u'A' && u <= u'Z' ? char16_t(u + 32) : u;
    return c.toLower().unicode();
}

} // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime &result)
{
    // chrono keeps a month and a day in one byte each: range them first
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31)
        return false;
    const chr::year_month_day date{chr::year(year), chr::month(unsigned(month)), chr::day(unsigned(day))};
    if (!date.ok())   // past the end of its month
        return false;
    result = double((chr::sys_days{date} - EpochDay).count());
    return true;
}

TDateTime EncodeDate(int year, int month, int day)
{
    TDateTime result;
    if (!TryEncodeDate(year, month, day, result))
        throw EConvertError(QStringLiteral("Неверный аргумент для кодирования даты"));
    return result;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec)
{
    if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0
        || msec > 999)
        throw EConvertError(QStringLiteral("Неверный аргумент для кодирования времени"));
    return (((hour * 60 + min) * 60 + sec) * 1000.0 + msec) / MSecsPerDay;
}

// The whole days and the milliseconds of the day. For negative day numbers
// (dates before 1899) the fraction still counts forward from midnight, as
// in -1.25 = 29 December 1899, 06:00.
static void split(TDateTime dt, qint64 &days, qint64 &msecs)
{
    const double whole = std::trunc(dt);
    if (dt == whole) {   // a date without a time, as most are
        days = qint64(whole);
        msecs = 0;
        return;
    }
    msecs = qint64(std::llround(std::fabs(dt - whole) * MSecsPerDay));
    days = qint64(whole);
    if (msecs >= qint64(MSecsPerDay)) {   // rounding reached the next day
        msecs -= qint64(MSecsPerDay);
        days += dt < 0 ? -1 : 1;
    }
}

QDate DateTimeToQDate(TDateTime dt)
{
    qint64 days, msecs;
    split(dt, days, msecs);
    return Epoch.addDays(days);
}

QTime DateTimeToQTime(TDateTime dt)
{
    qint64 days, msecs;
    split(dt, days, msecs);
    return QTime::fromMSecsSinceStartOfDay(int(msecs));
}

QDateTime DateTimeToQDateTime(TDateTime dt)
{
    return QDateTime(DateTimeToQDate(dt), DateTimeToQTime(dt));
}

TDateTime QDateToDateTime(const QDate &d)
{
    return d.isValid() ? double(Epoch.daysTo(d)) : 0.0;
}

TDateTime QTimeToDateTime(const QTime &t)
{
    return t.isValid() ? t.msecsSinceStartOfDay() / MSecsPerDay : 0.0;
}

TDateTime QDateTimeToDateTime(const QDateTime &dt)
{
    const double days = QDateToDateTime(dt.date());
    const double frac = QTimeToDateTime(dt.time());
    return days < 0 ? days - frac : days + frac;
}

void DecodeDate(TDateTime dt, int &year, int &month, int &day)
{
    qint64 days, msecs;
    split(dt, days, msecs);
    civilDate(days, year, month, day);
}

void DecodeTime(TDateTime dt, int &hour, int &min, int &sec, int &msec)
{
    const QTime t = DateTimeToQTime(dt);
    hour = t.hour();
    min = t.minute();
    sec = t.second();
    msec = t.msec();
}

int DayOfWeek(TDateTime dt)
{
    qint64 days, msecs;
    split(dt, days, msecs);
    return dayOfWeek(days);
}

TDateTime Now()
{
    return QDateTimeToDateTime(QDateTime::currentDateTime());
}

TDateTime Date()
{
    return QDateToDateTime(QDate::currentDate());
}

TDateTime Time()
{
    return QTimeToDateTime(QTime::currentTime());
}

namespace {

class TDateTimeFormatter {
public:
    TDateTimeFormatter(TDateTime dt, const TFormatSettings &fs) : m_fs(fs)
    {
        // one split serves the date, the time and the day of the week
        qint64 days, msecs;
        split(dt, days, msecs);
        civilDate(days, m_year, m_month, m_day);
        m_dayOfWeek = dayOfWeek(days);
        const QTime time = QTime::fromMSecsSinceStartOfDay(int(msecs));
        m_hour = time.hour();
        m_min = time.minute();
        m_sec = time.second();
        m_msec = time.msec();
        m_isMidnight = m_hour == 0 && m_min == 0 && m_sec == 0 && m_msec == 0;
    }

    void append(QString &out, const QString &fmt, int depth = 0)
    {
        if (depth > 2)
            return;   // nested formats of the settings themselves
        const bool twelveHour = hasAmPm(fmt);
        // The last letter directive: "m" right after "h" or "hh" (other
        // characters between them do not count) means minutes.
        char16_t lastToken = 0;
        const qsizetype n = fmt.size();
        qsizetype i = 0;
        auto runOf = [&](char16_t c) {
            qsizetype k = i;
            while (k < n && lowerOf(fmt[k]) == c)
                ++k;
            return int(k - i);
        };
        while (i < n) {
            const QChar ch = fmt[i];
            const char16_t c = lowerOf(ch);
            if (c == u'"' || c == u'\'') {
                const qsizetype close = fmt.indexOf(ch, i + 1);
                const qsizetype end = close < 0 ? n : close;
                out += QStringView(fmt).mid(i + 1, end - i - 1);
                i = close < 0 ? n : close + 1;
                continue;
            }
            if (c == u'a') {
                if (matchAt(fmt, i, u"am/pm")) {
                    out += caseLike(QStringView(fmt).mid(i, 2), m_hour < 12 ? u"am" : u"pm");
                    lastToken = u'a';
                    i += 5;
                    continue;
                }
                if (matchAt(fmt, i, u"a/p")) {
                    out += caseLike(QStringView(fmt).mid(i, 1), m_hour < 12 ? u"a" : u"p");
                    lastToken = u'a';
                    i += 3;
                    continue;
                }
                if (matchAt(fmt, i, u"ampm")) {
                    out += m_hour < 12 ? m_fs.TimeAMString : m_fs.TimePMString;
                    lastToken = u'a';
                    i += 4;
                    continue;
                }
            }
            char16_t token = ch.isLetter() ? c : lastToken;
            int count = 0;
            switch (c) {
            case u'c':
                append(out, m_fs.ShortDateFormat, depth + 1);
                if (!m_isMidnight) {
                    out += u' ';
                    append(out, m_fs.LongTimeFormat, depth + 1);
                }
                count = 1;
                break;
            case u'd':
                count = runOf(u'd');
                switch (std::min(count, 6)) {
                case 1: appendNumber(out, m_day); break;
                case 2: appendNumber(out, m_day, 2); break;
                case 3: out += m_fs.ShortDayNames[m_dayOfWeek - 1]; break;
                case 4: out += m_fs.LongDayNames[m_dayOfWeek - 1]; break;
                case 5: append(out, m_fs.ShortDateFormat, depth + 1); break;
                default: append(out, m_fs.LongDateFormat, depth + 1); break;
                }
                break;
            case u'm':
                count = runOf(u'm');
                if (lastToken == u'h' && count <= 2) {
                    token = u'n';
                    appendNumber(out, m_min, count == 1 ? 0 : 2);
                } else {
                    switch (std::min(count, 4)) {
                    case 1: appendNumber(out, m_month); break;
                    case 2: appendNumber(out, m_month, 2); break;
                    case 3: out += m_fs.ShortMonthNames[m_month - 1]; break;
                    default: out += m_fs.LongMonthNames[m_month - 1]; break;
                    }
                }
                break;
            case u'y':
                count = runOf(u'y');
                if (count <= 2)
                    appendNumber(out, m_year % 100, 2);
                else
                    appendNumber(out, m_year, 4);
                break;
            case u'h': {
                count = runOf(u'h');
                int h = m_hour;
                if (twelveHour) {
                    h %= 12;
                    if (h == 0)
                        h = 12;
                }
                appendNumber(out, h, count == 1 ? 0 : 2);
                break;
            }
            case u'n':
                count = runOf(u'n');
                appendNumber(out, m_min, count == 1 ? 0 : 2);
                break;
            case u's':
                count = runOf(u's');
                appendNumber(out, m_sec, count == 1 ? 0 : 2);
                break;
            case u'z':
                count = runOf(u'z');
                appendNumber(out, m_msec, count < 3 ? 0 : 3);
                break;
            case u't':
                count = runOf(u't');
                append(out, count == 1 ? m_fs.ShortTimeFormat : m_fs.LongTimeFormat, depth + 1);
                break;
            case u'/':
                out += m_fs.DateSeparator;
                count = 1;
                break;
            case u':':
                out += m_fs.TimeSeparator;
                count = 1;
                break;
            default:
                out += ch;
                count = 1;
                break;
            }
            lastToken = token;
            i += count;
        }
    }

private:
    static bool matchAt(const QString &fmt, qsizetype i, QStringView word)
    {
        return QStringView(fmt).mid(i, word.size()).compare(word, Qt::CaseInsensitive) == 0;
    }

    // "am"/"pm" written in the letter case of the directive.
    static QString caseLike(QStringView directive, QStringView text)
    {
        return directive.front().isUpper() ? text.toString().toUpper() : text.toString();
    }

    static bool hasAmPm(const QString &fmt)
    {
        // every marker starts with "a": most formats have none
        if (std::none_of(fmt.cbegin(), fmt.cend(), [](QChar c) { return lowerOf(c) == u'a'; }))
            return false;
        QChar quote;
        for (qsizetype i = 0; i < fmt.size(); ++i) {
            const QChar c = fmt[i];
            if (!quote.isNull()) {
                if (c == quote)
                    quote = QChar();
                continue;
            }
            if (c == u'"' || c == u'\'') {
                quote = c;
                continue;
            }
            if (matchAt(fmt, i, u"am/pm") || matchAt(fmt, i, u"a/p") || matchAt(fmt, i, u"ampm"))
                return true;
        }
        return false;
    }

    const TFormatSettings &m_fs;
    int m_year = 0, m_month = 0, m_day = 0;
    int m_hour = 0, m_min = 0, m_sec = 0, m_msec = 0;
    int m_dayOfWeek = 1;
    bool m_isMidnight = true;
};

// A format made of day, month and year numbers and plain text only
// ("dd.mm.yyyy", the short date of the settings), read once into its items:
// a report prints one for every dated field of every record. Anything else
// (names, times, am/pm, nested formats) is left to TDateTimeFormatter.
class TDateOnlyFormat {
public:
    // Reads `fmt` unless it is the format read last.
    void use(const QString &fmt)
    {
        if (fmt.constData() == m_source.constData() && fmt.size() == m_source.size())
            return;
        if (fmt == m_source) {
            m_source = fmt;   // the same text: share it for the next quick test
            return;
        }
        m_source = fmt;
        m_items.clear();
        m_valid = read(fmt);
    }

    // Appends the date of `dt` in the format read last; false, appending
    // nothing, when that format is not a date-only one or the date lies
    // outside the years 1 to 9999.
    bool append(QString &out, TDateTime dt, const TFormatSettings &fs) const
    {
        if (!m_valid)
            return false;
        qint64 days, msecs;
        split(dt, days, msecs);
        if (days < FirstDay || days > LastDay)
            return false;
        int year, month, day;
        civilDate(days, year, month, day);
        // the numbers and separators gather in a buffer appended at once
        char16_t buf[64];
        char16_t *p = buf;
        auto flush = [&] {
            AppendChars(out, QStringView(buf, p - buf));
            p = buf;
        };
        for (const TItem &item : m_items) {
            if (p - buf > 56)
                flush();
            switch (item.Op) {
            case opDay: p = putNumber(p, day, 1); break;
            case opDay2: p = putNumber(p, day, 2); break;
            case opMonth: p = putNumber(p, month, 1); break;
            case opMonth2: p = putNumber(p, month, 2); break;
            case opYear2: p = putNumber(p, year % 100, 2); break;
            case opYear4: p = putNumber(p, year, 4); break;
            case opDateSeparator: *p++ = fs.DateSeparator.unicode(); break;
            case opTimeSeparator: *p++ = fs.TimeSeparator.unicode(); break;
            case opText:
                if (item.Text.size() <= 8) {
                    p = std::copy_n(item.Text.utf16(), item.Text.size(), p);
                } else {
                    flush();
                    out += item.Text;
                }
                break;
            }
        }
        flush();
        return true;
    }

private:
    enum TOp : quint8 { opDay, opDay2, opMonth, opMonth2, opYear2, opYear4, opDateSeparator, opTimeSeparator, opText };
    struct TItem {
        TOp Op;
        QString Text;
    };

    // `v` (0 to 9999) in at least `width` digits, "0"-filled on the left.
    static char16_t *putNumber(char16_t *p, int v, int width)
    {
        const int digits = v >= 1000 ? 4 : v >= 100 ? 3 : v >= 10 ? 2 : 1;
        const int n = std::max(digits, width);
        for (int i = n - 1; i >= 0; --i) {
            p[i] = char16_t(u'0' + v % 10);
            v /= 10;
        }
        return p + n;
    }

    void addText(QStringView text)
    {
        if (m_items.empty() || m_items.back().Op != opText)
            m_items.push_back({opText, QString()});
        m_items.back().Text += text;
    }

    // The same reading as TDateTimeFormatter::append, for the directives it
    // takes; false at the first one it does not take.
    bool read(const QString &fmt)
    {
        const qsizetype n = fmt.size();
        for (qsizetype i = 0; i < n;) {
            const QChar ch = fmt[i];
            const char16_t c = lowerOf(ch);
            qsizetype k = i + 1;
            while (k < n && lowerOf(fmt[k]) == c)
                ++k;
            const qsizetype count = k - i;
            switch (c) {
            case u'"':
            case u'\'': {
                const qsizetype close = fmt.indexOf(ch, i + 1);
                const qsizetype end = close < 0 ? n : close;
                addText(QStringView(fmt).mid(i + 1, end - i - 1));
                i = close < 0 ? n : close + 1;
                continue;
            }
            case u'd':
                if (count > 2)
                    return false;
                m_items.push_back({count == 1 ? opDay : opDay2, QString()});
                break;
            case u'm':
                if (count > 2)
                    return false;
                m_items.push_back({count == 1 ? opMonth : opMonth2, QString()});
                break;
            case u'y':
                m_items.push_back({count <= 2 ? opYear2 : opYear4, QString()});
                break;
            case u'/':
            case u':':
                for (qsizetype j = 0; j < count; ++j)
                    m_items.push_back({c == u'/' ? opDateSeparator : opTimeSeparator, QString()});
                break;
            case u'a':
            case u'c':
            case u'h':
            case u'n':
            case u's':
            case u'z':
            case u't':
                return false;
            default:
                addText(QStringView(fmt).mid(i, count));
                break;
            }
            i = k;
        }
        return true;
    }

    QString m_source;
    std::vector<TItem> m_items;
    bool m_valid = false;
};

} // namespace

void AppendDateTime(QString &out, const QString &fmt, TDateTime dt, const TFormatSettings &fs)
{
    if (!fmt.isEmpty()) {
        thread_local TDateOnlyFormat dateOnly;
        dateOnly.use(fmt);
        if (dateOnly.append(out, dt, fs))
            return;
    }
    TDateTimeFormatter(dt, fs).append(out, fmt.isEmpty() ? QStringLiteral("c") : fmt);
}

QString FormatDateTime(const QString &fmt, TDateTime dt, const TFormatSettings &fs)
{
    QString out;
    out.reserve(fmt.size() + 8);
    AppendDateTime(out, fmt, dt, fs);
    return out;
}

QString DateToStr(TDateTime dt, const TFormatSettings &fs)
{
    return FormatDateTime(fs.ShortDateFormat, dt, fs);
}

QString TimeToStr(TDateTime dt, const TFormatSettings &fs)
{
    return FormatDateTime(fs.LongTimeFormat, dt, fs);
}

QString DateTimeToStr(TDateTime dt, const TFormatSettings &fs)
{
    return FormatDateTime(QStringLiteral("c"), dt, fs);
}
