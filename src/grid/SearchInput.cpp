#include "SearchInput.h"

#include "common/Convert.h"
#include "common/DateTime.h"

namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool accepts(char kind, QChar c, const TFormatSettings &fs)
{
    if (c == u'%' || c == u'_' || isDigit(c))
        return kind != 'U';
    switch (kind) {
    case 'S':
        return true;
    case 'D':
        return c == fs.DateSeparator;
    case 'N':
        return c == u'-' || c == fs.DecimalSeparator || c == fs.ThousandSeparator;
    default:
        return false;
    }
}

} // namespace

bool ApplySearchKey(QString &value, QChar key, char kind, const TFormatSettings &fs)
{
    if (key == u'\'')
        key = u'"';
    if (kind == 'U')
        return false;
    if (key == u'\b') {
        value.chop(1);
        if (kind == 'N' && value == u"-")
            value.clear();
        if (value.isEmpty())
            value = QStringLiteral("^");
        return true;
    }
    if (key < u' ' || !accepts(kind, key, fs))
        return false;
    if (value == u"^")
        value.clear();
    if (kind != 'N') {
        value += key;
        return true;
    }
    const bool separator = key == fs.DecimalSeparator || key == fs.ThousandSeparator;
    if (!separator || !value.contains(key))
        value += key;
    // A pattern keeps separators as thousands separators (they match the
    // displayed text); a number gets its decimal separator back.
    if (value.contains(u'_') || value.contains(u'%')) {
        const qsizetype at = value.indexOf(fs.DecimalSeparator);
        if (at >= 0)
            value[at] = fs.ThousandSeparator;
    } else {
        const qsizetype at = value.indexOf(fs.ThousandSeparator);
        if (at >= 0)
            value[at] = fs.DecimalSeparator;
        if (value == QString(fs.DecimalSeparator))
            value = QStringLiteral("0") + fs.DecimalSeparator;
        else if (value == u"-")
            value = QStringLiteral("-0");
    }
    return true;
}

bool NormalizeSearchDate(QString &value, const TFormatSettings &fs)
{
    TDateTime date;
    return NormalizeSearchDate(value, date, fs);
}

bool NormalizeSearchDate(QString &value, TDateTime &result, const TFormatSettings &fs)
{
    if (value.isEmpty())
        return true;
    TDateTime date;
    TFormatSettings dmy = fs;
    dmy.ShortDateFormat = QStringLiteral("dd.mm.yyyy");
    if (!TryStrToDate(value, date, dmy))
        return false;
    const QString text = FormatDateTime(QStringLiteral("DD\".\"MM\".\"YY"), date, fs);
    const QStringList parts = text.split(fs.DateSeparator);
    if (parts.size() != 3)
        return false;
    for (const QString &p : parts) {
        bool ok = false;
        if (p.toInt(&ok) < 0 || !ok)
            return false;
    }
    value = text;
    result = date;
    return true;
}

QStringList MarkConditionLines(const QStringList &marks, bool invert, const TSearchKindOf &kindOf,
                               const TSearchDateText &dateText, const TFormatSettings &fs)
{
    QStringList comparisons;
    for (const QString &mark : marks) {
        const qsizetype eq = mark.indexOf(u'=');
        if (eq < 0)
            continue;
        const QString field = mark.left(eq);
        QString value = mark.mid(eq + 1);
        value.replace(u'\'', u'"');
        switch (kindOf(field)) {
        case 'D': {
            TDateTime date = 0;
            if (!NormalizeSearchDate(value, date, fs) || value.isEmpty())
                continue;
            if (dateText)
                value = dateText(field, date);
            value = u'\'' + value + u'\'';
            break;
        }
        case 'S':
            value = u'\'' + value + u'\'';
            break;
        case 'N': {
            QString number;
            for (QChar c : value)
                if (c == u'-' || isDigit(c) || c == fs.DecimalSeparator)
                    number += c;
            if (number.endsWith(fs.DecimalSeparator))
                number.chop(1);
            // a display text without digits is no number to compare with
            if (!std::any_of(number.begin(), number.end(), isDigit))
                continue;
            value = number;
            break;
        }
        default:
            continue;
        }
        comparisons << field + QStringLiteral(" = ") + value;
    }
    for (qsizetype i = 0; i < comparisons.size(); ++i) {
        if (i == 0)
            comparisons[i].prepend(invert ? QStringLiteral("NOT (") : QStringLiteral("("));
        comparisons[i] += i + 1 < comparisons.size() ? QStringLiteral(" OR") : QStringLiteral(")");
    }
    return comparisons;
}
