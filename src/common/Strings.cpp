#include "Strings.h"

#include <QRegularExpression>

QString PadRight(const QString &s, int width, QChar fill)
{
    return s.leftJustified(width, fill);   // a longer text is kept whole
}

QString PadLeft(const QString &s, int width, QChar fill)
{
    return s.rightJustified(width, fill);
}

QString PadCenter(const QString &s, int width, QChar fill)
{
    if (s.size() >= width)
        return s;
    const qsizetype left = (width - s.size()) / 2;
    return s.rightJustified(s.size() + left, fill).leftJustified(width, fill);
}

QString TrimLeftCtl(const QString &s)
{
    qsizetype i = 0;
    while (i < s.size() && s.at(i).unicode() <= 32)
        ++i;
    return s.mid(i);
}

QString TrimRightCtl(const QString &s)
{
    qsizetype n = s.size();
    while (n > 0 && s.at(n - 1).unicode() <= 32)
        --n;
    return s.left(n);
}

QString TrimCtl(const QString &s)
{
    return TrimLeftCtl(TrimRightCtl(s));
}

QString CollapseBlanks(const QString &s)
{
    QString out;
    out.reserve(s.size());
    for (QChar c : s) {
        if (c == u' ' && out.endsWith(u' '))
            continue;
        out.append(c);
    }
    return TrimCtl(out);
}

QString LabelPart(const QString &label, int n)
{
    if (n < 1)
        return QString();
    qsizetype start = 0;
    for (int part = 1; part < n; ++part) {
        start = label.indexOf(u'|', start);
        if (start < 0)
            return QString();
        ++start;
    }
    const qsizetype end = label.indexOf(u'|', start);
    return end < 0 ? label.mid(start) : label.mid(start, end - start);
}

int LabelPartCount(const QString &label)
{
    return int(label.count(u'|')) + 1;
}

QString TextAfterOrderBy(const QString &sql)
{
    static const QRegularExpression orderBy(QStringLiteral("\\bORDER\\s+BY\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = orderBy.match(sql);
    return m.hasMatch() ? TrimCtl(sql.mid(m.capturedEnd())) : QString();
}

int CompareStr(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseSensitive);
}

QString FileNameOfText(const QString &text)
{
    QString name = text;
    for (QChar &c : name)
        if (c.category() == QChar::Other_Control || QStringView(u"/\\:*?\"<>|").contains(c))
            c = u'_';
    // not hidden, and never "." or ".."
    if (name.startsWith(u'.'))
        name[0] = u'_';
    return name;
}
