#include "FieldFormat.h"

#include "common/DateTime.h"
#include "common/Format.h"
#include "common/Strings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

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
    return spec;
}

QString FormatFieldNumber(double value, const TFieldSpec &spec, const TFormatSettings &settings)
{
    if ((spec.flags & ffZeroAsZero) && value == 0)
        return QStringLiteral("0");
    // the settings are copied only for the "-" decimal separator
    std::optional<TFormatSettings> accounting;
    if (spec.flags & ffAccounting) {
        accounting = settings;
        accounting->DecimalSeparator = u'-';
    }
    const TFormatSettings &fs = accounting ? *accounting : settings;
    // a field without width has the full precision of a double
    const int precision = spec.width > 0 ? spec.width : 15;
    const QString zeros = fs.DecimalSeparator + QString(spec.decimals, u'0');
    auto endsInZeros = [&](const QString &t) {
        return spec.decimals > 0 && t.size() > zeros.size() && t.endsWith(zeros);
    };
    QString text;
    if (spec.flags & ffCurrency) {
        text = FloatToStrF(value, TFloatFormat::ffCurrency, precision, spec.decimals, fs);
        if ((spec.flags & ffGeneral) && endsInZeros(text))
            text.chop(zeros.size());
    } else if (spec.flags & ffAccounting) {
        text = FloatToStrF(value, TFloatFormat::ffFixed, precision, spec.decimals, fs);
        if (endsInZeros(text))
            text = text.left(text.size() - zeros.size()) + u'=';
    } else if (spec.flags & ffGeneral) {
        text = FloatToStrF(value, TFloatFormat::ffGeneral, precision, spec.decimals, fs);
    } else if (std::fabs(value) < 1e15) {
        text = FloatToStrF(value, TFloatFormat::ffFixed, 15, spec.decimals, fs);
    } else {
        // beyond 15 digits the fixed form of the binary value itself
        char buf[400];
        std::snprintf(buf, sizeof buf, "%.*f", std::clamp(spec.decimals, 0, 30), value);
        text = QString::fromLatin1(buf);
        text.replace(u'.', fs.DecimalSeparator);
    }
    return TrimCtl(text);
}

QString FormatFieldDate(double value, const TFormatSettings &fs)
{
    if (value == 0)
        return QString();
    const double day = std::trunc(value);
    if (day == 0)
        return FormatDateTime(fs.LongTimeFormat, value, fs);
    QString text = FormatDateTime(fs.ShortDateFormat, value, fs);
    if (value != day)
        text += u' ' + FormatDateTime(fs.LongTimeFormat, value, fs);
    return text;
}

QString PadFieldText(const QString &text, const TFieldSpec &spec, bool zeroPadAllowed)
{
    const QChar pad = (spec.flags & ffZeroPad) && zeroPadAllowed ? QChar(u'0') : QChar(u' ');
    if (spec.flags & ffRight)
        return PadLeft(text, spec.width, pad);
    if (spec.flags & ffCenter)
        return PadCenter(text, spec.width, pad);
    return PadRight(text, spec.width, pad);
}

QStringList WrapFieldText(const QString &text, int width)
{
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
