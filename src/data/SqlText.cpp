#include "SqlText.h"

namespace {

bool isNameStart(QChar c) { return c.isLetter() || c == u'_'; }
bool isNameChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$'; }

// Index just past the literal, quoted name or comment that starts at i, or i
// when none starts there.
int skipQuoted(const QString &s, int i)
{
    const int n = int(s.size());
    const QChar c = s[i];
    if (c == u'\'' || c == u'"' || c == u'`') {
        // E'...' strings may escape a quote with a backslash
        const bool backslash = c == u'\'' && i > 0 && (s[i - 1] == u'E' || s[i - 1] == u'e')
                               && (i < 2 || !isNameChar(s[i - 2]));
        int j = i + 1;
        while (j < n) {
            if (backslash && s[j] == u'\\') { j += 2; continue; }
            if (s[j] == c) {
                if (j + 1 < n && s[j + 1] == c) { j += 2; continue; }
                return j + 1;
            }
            ++j;
        }
        return n;
    }
    if (c == u'[') {
        const int j = int(s.indexOf(u']', i + 1));
        return j < 0 ? n : j + 1;
    }
    if (c == u'-' && i + 1 < n && s[i + 1] == u'-') {
        const int j = int(s.indexOf(u'\n', i));
        return j < 0 ? n : j + 1;
    }
    if (c == u'/' && i + 1 < n && s[i + 1] == u'*') {
        const int j = int(s.indexOf(QStringLiteral("*/"), i + 2));
        return j < 0 ? n : j + 2;
    }
    if (c == u'$' && (i == 0 || !isNameChar(s[i - 1]))) {
        // dollar quoting: $$...$$ or $tag$...$tag$
        int j = i + 1;
        while (j < n && (s[j].isLetterOrNumber() || s[j] == u'_') && !s[j].isDigit())
            ++j;
        if (j < n && s[j] == u'$') {
            const QString tag = s.mid(i, j - i + 1);
            const int end = int(s.indexOf(tag, j + 1));
            return end < 0 ? n : end + int(tag.size());
        }
    }
    return i;
}

struct Token {
    QString upper;   // the word upper-cased, or the punctuation character
    QString text;    // as written, quotes removed for quoted names
    int start = 0;
    bool quoted = false;
    int end = 0;     // just past the token in the text
};

// Words, quoted names and single punctuation characters; literals and
// comments are skipped (literals leave a "'" token).
QList<Token> tokenize(const QString &s)
{
    QList<Token> out;
    const int n = int(s.size());
    int i = 0;
    while (i < n) {
        const QChar c = s[i];
        if (c.isSpace()) { ++i; continue; }
        const int q = skipQuoted(s, i);
        if (q != i) {
            if (c == u'"' || c == u'`' || c == u'[') {
                QString name = s.mid(i + 1, q - i - 2);
                if (c == u'"')
                    name.replace(QStringLiteral("\"\""), QStringLiteral("\""));
                out.append({name, name, i, true, q});
            } else if (c == u'\'' || c == u'$') {
                out.append({QStringLiteral("'"), QString(), i, false, q});
            }
            i = q;
            continue;
        }
        if (isNameChar(c)) {
            int j = i;
            while (j < n && isNameChar(s[j]))
                ++j;
            const QString w = s.mid(i, j - i);
            out.append({w.toUpper(), w, i, false, j});
            i = j;
            continue;
        }
        out.append({QString(c), QString(c), i, false, i + 1});
        ++i;
    }
    return out;
}

} // namespace

QList<TSqlParamMark> FindSqlParams(const QString &sql)
{
    QList<TSqlParamMark> marks;
    const int n = int(sql.size());
    int i = 0;
    while (i < n) {
        const int q = skipQuoted(sql, i);
        if (q != i) { i = q; continue; }
        if (sql[i] == u':') {
            if (i + 1 < n && (sql[i + 1] == u':' || sql[i + 1] == u'=')) { i += 2; continue; }
            if (i > 0 && sql[i - 1] == u':') { ++i; continue; }
            if (i + 1 < n && isNameStart(sql[i + 1])) {
                int j = i + 1;
                while (j < n && (sql[j].isLetterOrNumber() || sql[j] == u'_'))
                    ++j;
                marks.append({sql.mid(i + 1, j - i - 1), i, j - i});
                i = j;
                continue;
            }
            if (i + 1 < n && sql[i + 1] == u'"') {
                const int end = int(sql.indexOf(u'"', i + 2));
                if (end > 0) {
                    marks.append({sql.mid(i + 2, end - i - 2), i, end - i + 1});
                    i = end + 1;
                    continue;
                }
            }
        }
        ++i;
    }
    return marks;
}

QString FirstSqlKeyword(const QString &sql)
{
    for (const Token &t : tokenize(sql)) {
        if (t.upper == u"(")
            continue;
        return t.quoted ? QString() : t.upper;
    }
    return QString();
}

QString TransactionWord(const QString &sql)
{
    QStringList words;
    for (const Token &t : tokenize(sql)) {
        if (t.upper == u";")
            continue;
        words.append(t.upper);
    }
    const QString w = words.join(u' ');
    if (w == u"COMMIT" || w == u"COMMIT WORK" || w == u"COMMIT TRANSACTION" || w == u"END"
        || w == u"END TRANSACTION")
        return QStringLiteral("COMMIT");
    if (w == u"ROLLBACK" || w == u"ROLLBACK WORK" || w == u"ROLLBACK TRANSACTION")
        return QStringLiteral("ROLLBACK");
    if (w == u"BEGIN" || w == u"BEGIN TRANSACTION" || w == u"BEGIN WORK" || w == u"START TRANSACTION")
        return QStringLiteral("BEGIN");
    return QString();
}

TSingleTableSelect ParseSingleTableSelect(const QString &sql)
{
    TSingleTableSelect r;
    const QList<Token> t = tokenize(sql);
    int i = 0;
    if (t.isEmpty() || t[0].upper != u"SELECT" || t[0].quoted)
        return r;
    r.SelectListStart = t[0].start + 6;
    i = 1;
    if (i < t.size() && !t[i].quoted && (t[i].upper == u"DISTINCT" || t[i].upper == u"ALL"))
        return r;
    // the select list: up to FROM at parenthesis depth 0; an aggregate
    // there (not a window function) makes one row of many
    static const QStringList aggregates = {
        QStringLiteral("COUNT"), QStringLiteral("SUM"), QStringLiteral("AVG"), QStringLiteral("MIN"),
        QStringLiteral("MAX"), QStringLiteral("TOTAL"), QStringLiteral("GROUP_CONCAT"),
        QStringLiteral("STRING_AGG"), QStringLiteral("ARRAY_AGG"), QStringLiteral("JSON_AGG"),
        QStringLiteral("JSONB_AGG"), QStringLiteral("JSON_OBJECT_AGG"), QStringLiteral("JSONB_OBJECT_AGG"),
        QStringLiteral("JSON_GROUP_ARRAY"), QStringLiteral("JSON_GROUP_OBJECT"), QStringLiteral("BOOL_AND"),
        QStringLiteral("BOOL_OR"), QStringLiteral("EVERY"), QStringLiteral("BIT_AND"), QStringLiteral("BIT_OR"),
        QStringLiteral("STDDEV"), QStringLiteral("STDDEV_POP"), QStringLiteral("STDDEV_SAMP"),
        QStringLiteral("VARIANCE"), QStringLiteral("VAR_POP"), QStringLiteral("VAR_SAMP"),
        QStringLiteral("XMLAGG"), QStringLiteral("PERCENTILE_CONT"), QStringLiteral("PERCENTILE_DISC"),
        QStringLiteral("MODE")};
    int depth = 0;
    for (; i < t.size(); ++i) {
        if (t[i].quoted) continue;
        if (t[i].upper == u"(") ++depth;
        else if (t[i].upper == u")") --depth;
        else if (depth == 0 && t[i].upper == u"FROM") break;
        else if (depth == 0 && i + 1 < t.size() && t[i + 1].upper == u"(" && aggregates.contains(t[i].upper)) {
            // past its arguments (and a FILTER clause): OVER makes it a
            // window function, one value per row
            int j = i + 1;
            for (int round = 0; round < 2; ++round) {
                int d = 0;
                for (; j < t.size(); ++j) {
                    if (t[j].quoted) continue;
                    if (t[j].upper == u"(") ++d;
                    else if (t[j].upper == u")" && --d == 0) break;
                }
                ++j;
                if (round == 0 && j + 1 < t.size() && t[j].upper == u"FILTER" && t[j + 1].upper == u"(")
                    ++j;
                else
                    break;
            }
            if (j >= t.size() || t[j].upper != u"OVER")
                return r;
        }
    }
    if (i >= t.size())
        return r;
    ++i;
    if (i >= t.size() || (!t[i].quoted && !isNameStart(t[i].text.isEmpty() ? QChar() : t[i].text[0])))
        return r;
    QString first = t[i].text;
    bool firstQuoted = t[i].quoted;
    const int refStart = t[i].start;
    int refEnd = t[i].end;
    ++i;
    r.TableQuoted = firstQuoted;
    if (i + 1 < t.size() && t[i].upper == u"." && !t[i + 1].upper.isEmpty()) {
        r.Schema = first;
        r.SchemaQuoted = firstQuoted;
        r.TableQuoted = t[i + 1].quoted;
        r.BareTable = t[i + 1].text;
        r.Table = first + u'.' + r.BareTable;
        refEnd = t[i + 1].end;
        i += 2;
    } else {
        r.BareTable = first;
        r.Table = first;
    }
    static const QStringList ends = {QStringLiteral("WHERE"), QStringLiteral("ORDER"),
                                     QStringLiteral("LIMIT"), QStringLiteral("OFFSET"),
                                     QStringLiteral("FOR")};
    static const QStringList refused = {
        QStringLiteral("JOIN"), QStringLiteral("GROUP"), QStringLiteral("HAVING"),
        QStringLiteral("UNION"), QStringLiteral("INTERSECT"), QStringLiteral("EXCEPT"),
        QStringLiteral("NATURAL"), QStringLiteral("CROSS"), QStringLiteral("LEFT"),
        QStringLiteral("RIGHT"), QStringLiteral("INNER"), QStringLiteral("FULL"),
        QStringLiteral("WINDOW")};
    r.TableRef = sql.mid(refStart, refEnd - refStart);
    // an optional alias
    if (i < t.size() && !t[i].quoted && t[i].upper == u"AS")
        ++i;
    if (i < t.size() && (t[i].quoted || (isNameStart(t[i].text.isEmpty() ? QChar() : t[i].text[0])
                                         && !ends.contains(t[i].upper) && !refused.contains(t[i].upper)))) {
        r.TableRef = sql.mid(t[i].start, t[i].end - t[i].start);
        ++i;
    }
    if (i < t.size() && t[i].upper != u";" && (t[i].quoted || !ends.contains(t[i].upper)))
        return r;
    depth = 0;
    for (; i < t.size(); ++i) {
        if (t[i].quoted) continue;
        if (t[i].upper == u"(") ++depth;
        else if (t[i].upper == u")") --depth;
        else if (depth == 0 && refused.contains(t[i].upper))
            return r;
    }
    r.Ok = true;
    return r;
}

QStringList SplitSqlScript(const QString &script)
{
    QStringList out;
    const int n = int(script.size());
    int start = 0, i = 0;
    auto flush = [&](int end) {
        const QString stmt = script.mid(start, end - start).trimmed();
        if (!FirstSqlKeyword(stmt).isEmpty())
            out.append(stmt);
    };
    while (i < n) {
        const int q = skipQuoted(script, i);
        if (q != i) { i = q; continue; }
        if (script[i] == u';') {
            flush(i);
            start = i + 1;
        }
        ++i;
    }
    flush(n);
    return out;
}

int SecondStatementStart(const QString &sql)
{
    const int n = int(sql.size());
    // the body of CREATE TRIGGER is statements between BEGIN and END (CASE
    // ... END nests inside): its semicolons do not end the statement
    const QList<Token> head = tokenize(sql.left(200));
    bool trigger = !head.isEmpty() && head[0].upper == u"CREATE";
    if (trigger) {
        int k = 1;
        while (k < head.size() && (head[k].upper == u"TEMP" || head[k].upper == u"TEMPORARY"))
            ++k;
        trigger = k < head.size() && head[k].upper == u"TRIGGER";
    }
    int depth = 0;
    int i = 0;
    while (i < n && (sql[i] != u';' || depth > 0)) {
        const int q = skipQuoted(sql, i);
        if (q != i) {
            i = q;
            continue;
        }
        if (trigger && isNameStart(sql[i]) && (i == 0 || !isNameChar(sql[i - 1]))) {
            int j = i;
            while (j < n && isNameChar(sql[j]))
                ++j;
            const QString word = sql.mid(i, j - i).toUpper();
            if (word == u"BEGIN" || word == u"CASE")
                ++depth;
            else if (word == u"END")
                --depth;
            i = j;
            continue;
        }
        ++i;
    }
    while (++i < n) {
        const QChar c = sql[i];
        if (c.isSpace() || c == u';')
            continue;
        const bool comment = (c == u'-' || c == u'/') && skipQuoted(sql, i) != i;
        if (!comment)
            return i;
        i = skipQuoted(sql, i) - 1;
    }
    return -1;
}
