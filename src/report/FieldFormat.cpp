#include "FieldFormat.h"

#include <QRegularExpression>

#include "common/DateTime.h"
#include "common/Format.h"
#include "common/Limits.h"
#include "common/Strings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

TFieldSpec ParseFieldSpec(const QString &text, qsizetype &pos)
{
    TFieldSpec spec;
    static const struct {
        char16_t ch;
        char16_t alt;
        int bits;
    } chars[] = {{u'-', 0, ffRight},      {u'+', 0, ffCenter},        {u'#', 0, ffZeroAsZero},
                 {u'=', 0, ffAccounting}, {u'G', u'g', ffGeneral},    {u'$', 0, ffCurrency | ffRight},
                 {u'0', 0, ffZeroPad}};
    for (const auto &c : chars) {
        if (pos < text.size() && (text[pos] == c.ch || (c.alt && text[pos] == c.alt))) {
            spec.flags |= c.bits;
            ++pos;
        }
    }
    const qsizetype start = pos;
    while (pos < text.size() && ((text[pos] >= u'0' && text[pos] <= u'9') || text[pos] == u'.'))
        ++pos;
    const QString digits = text.mid(start, pos - start);
    const qsizetype point = digits.indexOf(u'.');
    bool ok = false;
    const int width = (point < 0 ? digits : digits.left(point)).toInt(&ok);
    if (ok)
        spec.width = width;
    if (point >= 0) {
        const int decimals = digits.mid(point + 1).toInt(&ok);
        if (ok)
            spec.decimals = decimals;
    }
    if (spec.decimals >= 300) {
        spec.decimals -= 300;
        spec.flags |= ffCurrent;
    }
    if (spec.decimals >= 200) {
        spec.decimals -= 200;
        spec.flags |= ffCount;
    }
    if (spec.decimals >= 100) {
        spec.decimals -= 100;
        spec.flags |= ffPrevious;
    }
    // a width no line can hold would only fill the disk
    spec.width = std::min(spec.width, MaxFieldWidth);
    spec.decimals = std::min(spec.decimals, MaxFieldDecimals);
    return spec;
}

namespace {

// True when the text ends in the separator and `decimals` zeros, with
// something before them.
bool endsInZeros(QStringView text, QChar separator, int decimals)
{
    if (decimals <= 0 || text.size() <= decimals + 1)
        return false;
    const qsizetype point = text.size() - decimals - 1;
    if (text[point] != separator)
        return false;
    for (qsizetype i = point + 1; i < text.size(); ++i)
        if (text[i] != u'0')
            return false;
    return true;
}

// Drops the characters of code 32 or below from both ends of what follows
// `start` in `out`.
void trimTail(QString &out, qsizetype start)
{
    qsizetype end = out.size();
    while (end > start && out.at(end - 1).unicode() <= 32)
        --end;
    if (end < out.size())
        out.truncate(end);
    qsizetype first = start;
    while (first < end && out.at(first).unicode() <= 32)
        ++first;
    if (first > start)
        out.remove(start, first - start);
}

} // namespace

namespace {

// AppendFieldNumber with the settings the field's flags call for.
void appendFieldNumber(QString &out, double value, const TFieldSpec &spec, const TFormatSettings &fs)
{
    // a field without width has the full precision of a double
    const int precision = spec.width > 0 ? spec.width : 15;
    const qsizetype start = out.size();
    auto text = [&] { return QStringView(out).mid(start); };
    if (spec.flags & ffCurrency) {
        AppendFloatToStrF(out, value, TFloatFormat::ffCurrency, precision, spec.decimals, fs);
        if ((spec.flags & ffGeneral) && endsInZeros(text(), fs.DecimalSeparator, spec.decimals))
            out.chop(spec.decimals + 1);
    } else if (spec.flags & ffAccounting) {
        AppendFloatToStrF(out, value, TFloatFormat::ffFixed, precision, spec.decimals, fs);
        if (endsInZeros(text(), fs.DecimalSeparator, spec.decimals)) {
            out.chop(spec.decimals + 1);
            out += u'=';
        }
    } else if (spec.flags & ffGeneral) {
        AppendFloatToStrF(out, value, TFloatFormat::ffGeneral, precision, spec.decimals, fs);
    } else if (std::fabs(value) < 1e15) {
        AppendFloatToStrF(out, value, TFloatFormat::ffFixed, 15, spec.decimals, fs);
    } else {
        // beyond 15 digits the fixed form of the binary value itself
        char buf[400];
        std::snprintf(buf, sizeof buf, "%.*f", std::clamp(spec.decimals, 0, 30), value);
        for (const char *c = buf; *c; ++c)
            out += *c == '.' ? fs.DecimalSeparator : QChar(QLatin1Char(*c));
    }
    trimTail(out, start);
}

} // namespace

void AppendFieldNumber(QString &out, double value, const TFieldSpec &spec, const TFormatSettings &settings)
{
    if ((spec.flags & ffZeroAsZero) && value == 0) {
        out += u'0';
        return;
    }
    if (spec.flags & ffAccounting) {
        // the settings are copied only for the "-" decimal separator, in a
        // branch of its own: the other numbers carry no copy to set up and
        // tear down
        TFormatSettings accounting = settings;
        accounting.DecimalSeparator = u'-';
        appendFieldNumber(out, value, spec, accounting);
        return;
    }
    appendFieldNumber(out, value, spec, settings);
}

namespace {

// `n` characters of `text` at `d`, padded to the field's width with `pad`:
// right-aligned, centred (the odd character to the right) or left-aligned.
char16_t *writePadded(char16_t *d, const char16_t *text, qsizetype n, const TFieldSpec &spec, char16_t pad)
{
    const qsizetype fill = std::max<qsizetype>(spec.width - n, 0);
    const qsizetype before = (spec.flags & ffRight) ? fill : (spec.flags & ffCenter) ? fill / 2 : 0;
    d = std::fill_n(d, before, pad);
    d = std::copy_n(text, n, d);
    return std::fill_n(d, fill - before, pad);
}

char16_t padOf(const TFieldSpec &spec)
{
    return (spec.flags & ffZeroPad) ? u'0' : u' ';
}

// The text of a plain fixed-point number in `text`; its length, or -1 when
// the number is not plain or not within FormatQuickFixed's reach.
int plainNumber(char16_t (&text)[QuickFixedRoom], double value, const TFieldSpec &spec, const TFormatSettings &fs)
{
    const bool plain = !(spec.flags & (ffCurrency | ffAccounting | ffGeneral))
                       && !((spec.flags & ffZeroAsZero) && value == 0);
    return plain ? FormatQuickFixed(text, value, 15, spec.decimals, fs) : -1;
}

} // namespace

void AppendPaddedFieldNumber(QString &out, double value, const TFieldSpec &spec, const TFormatSettings &fs)
{
    // The plain fixed-point numbers of most fields, written with their
    // padding in one piece: no blanks to trim in such a text.
    char16_t text[QuickFixedRoom];
    const int n = plainNumber(text, value, spec, fs);
    if (n < 0) {
        const qsizetype start = out.size();
        AppendFieldNumber(out, value, spec, fs);
        PadFieldTail(out, start, spec, true);
        return;
    }
    const qsizetype at = out.size();
    out.resize(at + std::max<qsizetype>(spec.width, n));
    writePadded(reinterpret_cast<char16_t *>(out.data()) + at, text, n, spec, padOf(spec));
}

char16_t *WritePaddedFieldNumber(char16_t *d, double value, const TFieldSpec &spec, const TFormatSettings &fs)
{
    char16_t text[QuickFixedRoom];
    const int n = plainNumber(text, value, spec, fs);
    return n < 0 ? nullptr : writePadded(d, text, n, spec, padOf(spec));
}

char16_t *WritePaddedFieldText(char16_t *d, QStringView text, const TFieldSpec &spec)
{
    return writePadded(d, text.utf16(), text.size(), spec, padOf(spec));
}

QString FormatFieldNumber(double value, const TFieldSpec &spec, const TFormatSettings &settings)
{
    QString text;
    AppendFieldNumber(text, value, spec, settings);
    return text;
}

void AppendFieldDate(QString &out, double value, const TFormatSettings &fs)
{
    if (value == 0)
        return;
    const double day = std::trunc(value);
    if (day == 0) {
        AppendDateTime(out, fs.LongTimeFormat, value, fs);
        return;
    }
    AppendDateTime(out, fs.ShortDateFormat, value, fs);
    if (value != day) {
        out += u' ';
        AppendDateTime(out, fs.LongTimeFormat, value, fs);
    }
}

QString FormatFieldDate(double value, const TFormatSettings &fs)
{
    QString text;
    AppendFieldDate(text, value, fs);
    return text;
}

void PadFieldTail(QString &out, qsizetype start, const TFieldSpec &spec, bool zeroPadAllowed)
{
    const qsizetype length = out.size() - start;
    const qsizetype fill = spec.width - length;
    if (fill <= 0)
        return;
    const QChar pad = (spec.flags & ffZeroPad) && zeroPadAllowed ? QChar(u'0') : QChar(u' ');
    // right-aligned: all of the fill before the text; centred: the odd
    // character goes to the right
    const qsizetype before = (spec.flags & ffRight) ? fill : (spec.flags & ffCenter) ? fill / 2 : 0;
    out.resize(start + spec.width);
    QChar *d = out.data() + start;
    std::copy_backward(d, d + length, d + before + length);
    std::fill(d, d + before, pad);
    std::fill(d + before + length, d + spec.width, pad);
}

QString PadFieldText(const QString &text, const TFieldSpec &spec, bool zeroPadAllowed)
{
    QString out = text;
    PadFieldTail(out, 0, spec, zeroPadAllowed);
    return out;
}

QStringList TextLines(const QString &text)
{
    static const QRegularExpression lineEnds(QStringLiteral("\r\n|\n|\r"));
    return text.split(lineEnds);
}

QStringList WrapFieldText(const QString &text, int width)
{
    // each line of a text of several is wrapped on its own
    if (HasLineBreak(text)) {
        QStringList lines;
        for (const QString &line : TextLines(text)) {
            const QStringList wrapped = WrapFieldText(line, width);
            lines += wrapped.isEmpty() ? QStringList{QString()} : wrapped;
        }
        return lines;
    }
    static const QString breakChars = QStringLiteral(" !*+,-./:;?\\|");
    QStringList lines;
    if (width <= 0)
        return text.isEmpty() ? lines : QStringList{text};
    QString rest = text;
    while (!rest.isEmpty()) {
        if (rest.size() <= width) {
            lines << rest;
            break;
        }
        qsizetype cut = -1;
        for (qsizetype i = 0; i < width; ++i) {
            const QChar c = rest[i];
            if (!breakChars.contains(c))
                continue;
            const bool betweenDigits = i > 0 && i + 1 < rest.size() && rest[i - 1].isDigit()
                                       && rest[i + 1].isDigit();
            if (c == u' ' || i == 0 || i + 1 == rest.size() || !betweenDigits)
                cut = i + 1;
        }
        if (cut < 0)
            cut = width;
        lines << rest.left(cut);
        rest = rest.mid(cut);
    }
    return lines;
}
