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

QString SqlNumberLiteral(const QString &text, const TFormatSettings &fs)
{
    QString out;
    out.reserve(text.size());
    bool digits = false, point = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (isDigit(c)) {
            out += c;
            digits = true;
        } else if (c == u'-' && i == 0) {
            out += c;
        } else if (c == fs.DecimalSeparator && !point) {
            out += u'.';
            point = true;
        } else if (c == fs.ThousandSeparator && !point && digits) {
            continue;
        } else {
            return QString();
        }
    }
    if (out.endsWith(u'.'))
        out.chop(1);   // "12." is 12
    return digits ? out : QString();
}

bool IsSqlStringLiteral(const QString &text, bool list)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto literal = [&] {
        if (i >= n || text[i] != u'\'')
            return false;
        for (++i; i < n; ++i)
            if (text[i] == u'\'') {
                if (i + 1 < n && text[i + 1] == u'\'')
                    ++i;
                else
                    return ++i, true;
            }
        return false;
    };
    auto blanks = [&] {
        while (i < n && text[i] == u' ')
            ++i;
    };
    if (!list)
        return literal() && i == n;
    if (i >= n || text[i++] != u'(')
        return false;
    for (;;) {
        blanks();
        if (!literal())
            return false;
        blanks();
        if (i < n && text[i] == u',') {
            ++i;
            continue;
        }
        return i + 1 == n && text[i] == u')';
    }
}

QString SqlTextLiteral(const QString &text)
{
    return u'\'' + QString(text).replace(u'\'', QStringLiteral("''")) + u'\'';
}

QStringList MarkConditionLines(const QStringList &marks, bool invert, const TSearchKindOf &kindOf,
                               const TSearchDateText &dateText, const TFormatSettings &fs,
                               const TSearchColumnName &columnName)
{
    QStringList comparisons;
    for (const QString &mark : marks) {
        const qsizetype eq = mark.indexOf(u'=');
        if (eq < 0)
            continue;
        const QString field = mark.left(eq);
        QString value = mark.mid(eq + 1);
        switch (kindOf(field)) {
        case 'D': {
            TDateTime date = 0;
            if (!NormalizeSearchDate(value, date, fs) || value.isEmpty())
                continue;
            if (dateText)
                value = dateText(field, date);
            value = SqlTextLiteral(value);
            break;
        }
        case 'S':
            value = SqlTextLiteral(value);
            break;
        case 'N':
            // a display text that is no number is nothing to compare with
            value = SqlNumberLiteral(value.trimmed(), fs);
            if (value.isEmpty())
                continue;
            break;
        default:
            continue;
        }
        comparisons << (columnName ? columnName(field) : field) + QStringLiteral(" = ") + value;
    }
    for (qsizetype i = 0; i < comparisons.size(); ++i) {
        if (i == 0)
            comparisons[i].prepend(invert ? QStringLiteral("NOT (") : QStringLiteral("("));
        comparisons[i] += i + 1 < comparisons.size() ? QStringLiteral(" OR") : QStringLiteral(")");
    }
    return comparisons;
}
