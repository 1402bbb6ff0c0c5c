#include "SqlText.h"

namespace {

bool isNameStart(QChar c) { return c.isLetter() || c == u'_'; }

bool isAsciiLetter(QChar c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// The pieces of SQL text the statement splitter and the parameter finder
// need: what is a literal, a quoted name or a comment (where a ";" or a
// ":" means nothing), and where words begin and end. Each dialect follows
// its engine's own tokenizer:
//   SQLite     'strings' ('' doubled), "names" `names` [names], -- comments
//              to a line feed, /* comments */ not nested; $x and :x are
//              parameters, never quotes
//   PostgreSQL 'strings' ('' doubled), E'strings' (backslash escapes, and
//              their continuations across a line break), U&'...', "names",
//              -- comments to a line feed or carriage return, /* comments */
//              nested, $tag$ dollar quotes (the tag a name without "$"),
//              "$" inside a name
//   Common     the statement texts of either engine, read where the engine
//              is not known yet (parameters, keywords): PostgreSQL's
//              literals and SQLite's [names], comments not nested
class TSqlLexer {
public:
    enum TKind { Space, Comment, Literal, QuotedName, Word, Number, Punct, End };

    TSqlLexer(const QString &s, TSqlDialect d) : m_s(s), m_n(int(s.size())), m_d(d) {}

    int Pos() const { return m_pos; }
    void SetPos(int pos) { m_pos = pos; }

    // The next piece from the current position: its kind, and [start, end).
    TKind Next(int &start, int &end)
    {
        start = m_pos;
        if (m_pos >= m_n) {
            end = m_n;
            return End;
        }
        const TKind kind = scan();
        end = m_pos;
        return kind;
    }

private:
    QChar at(int i) const { return i < m_n ? m_s[i] : QChar(); }
    bool pg() const { return m_d == TSqlDialect::Postgres; }

    bool identStart(QChar c) const
    {
        return isAsciiLetter(c) || c == u'_' || c.unicode() >= 0x80;
    }
    bool identChar(QChar c) const { return identStart(c) || isDigit(c) || c == u'$'; }
    bool space(QChar c) const
    {
        return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f'
               || (m_d != TSqlDialect::Postgres && c == u'\v');
    }

    TKind scan()
    {
        const QChar c = m_s[m_pos];
        if (space(c)) {
            while (m_pos < m_n && space(m_s[m_pos]))
                ++m_pos;
            return Space;
        }
        if (c == u'-' && at(m_pos + 1) == u'-') {
            while (m_pos < m_n && m_s[m_pos] != u'\n' && !(pg() && m_s[m_pos] == u'\r'))
                ++m_pos;
            return Comment;
        }
        if (c == u'/' && at(m_pos + 1) == u'*') {
            blockComment();
            return Comment;
        }
        if (c == u'\'') {
            quoted(u'\'', false);
            return Literal;
        }
        if (c == u'"' || (c == u'`' && !pg())) {
            quoted(c, false);
            return QuotedName;
        }
        if (c == u'[' && !pg()) {
            const int j = int(m_s.indexOf(u']', m_pos + 1));
            m_pos = j < 0 ? m_n : j + 1;
            return QuotedName;
        }
        if (c == u'$' && m_d != TSqlDialect::Sqlite && dollarQuote())
            return Literal;
        if (identStart(c)) {
            if (m_d != TSqlDialect::Sqlite && (c == u'E' || c == u'e') && at(m_pos + 1) == u'\'') {
                ++m_pos;
                quoted(u'\'', true);
                return Literal;
            }
            if ((c == u'U' || c == u'u') && at(m_pos + 1) == u'&' && (at(m_pos + 2) == u'\'' || at(m_pos + 2) == u'"')) {
                m_pos += 2;
                const QChar q = m_s[m_pos];
                quoted(q, false);
                return q == u'"' ? QuotedName : Literal;
            }
            while (m_pos < m_n && identChar(m_s[m_pos]))
                ++m_pos;
            return Word;
        }
        if (isDigit(c) || (c == u'.' && isDigit(at(m_pos + 1)))) {
            // digits, a point, an exponent, and letters run into it (which
            // the engines refuse); "$" does not belong to a number
            while (m_pos < m_n && (isDigit(m_s[m_pos]) || m_s[m_pos] == u'.' || isAsciiLetter(m_s[m_pos])
                                   || m_s[m_pos] == u'_'
                                   || ((m_s[m_pos] == u'+' || m_s[m_pos] == u'-')
                                       && (m_s[m_pos - 1] == u'e' || m_s[m_pos - 1] == u'E'))))
                ++m_pos;
            return Number;
        }
        if (c == u'$' && isDigit(at(m_pos + 1))) {   // $1: a parameter
            ++m_pos;
            while (m_pos < m_n && isDigit(m_s[m_pos]))
                ++m_pos;
            return Word;
        }
        if (c == u'$' && m_d == TSqlDialect::Sqlite) {   // $name: a parameter
            ++m_pos;
            while (m_pos < m_n && identChar(m_s[m_pos]))
                ++m_pos;
            return Word;
        }
        ++m_pos;
        return Punct;
    }

    // A literal or quoted name from its opening quote: the quote doubled
    // stands for itself; with `escapes` a backslash escapes the character
    // after it. A PostgreSQL literal goes on after its closing quote when a
    // line break and another quote follow (string continuation).
    void quoted(QChar q, bool escapes)
    {
        ++m_pos;
        while (m_pos < m_n) {
            const QChar c = m_s[m_pos];
            if (escapes && c == u'\\') {
                m_pos += 2;
                continue;
            }
            if (c == q) {
                if (at(m_pos + 1) == q) {
                    m_pos += 2;
                    continue;
                }
                ++m_pos;
                if (q == u'\'' && pg()) {
                    const int next = continuation(m_pos);
                    if (next >= 0) {
                        m_pos = next + 1;
                        continue;
                    }
                }
                return;
            }
            ++m_pos;
        }
        m_pos = m_n;
    }

    // Where the quote continuing a PostgreSQL literal stands: after blanks
    // holding a line break (and comments after the line break), or -1.
    int continuation(int i) const
    {
        bool newline = false;
        while (i < m_n) {
            const QChar c = m_s[i];
            if (c == u'\n' || c == u'\r') {
                newline = true;
                ++i;
            } else if (c == u' ' || c == u'\t' || c == u'\f') {
                ++i;
            } else if (newline && c == u'-' && at(i + 1) == u'-') {
                while (i < m_n && m_s[i] != u'\n' && m_s[i] != u'\r')
                    ++i;
            } else {
                break;
            }
        }
        return newline && at(i) == u'\'' ? i : -1;
    }

    void blockComment()
    {
        m_pos += 2;
        int depth = 1;
        while (m_pos < m_n) {
            if (m_s[m_pos] == u'*' && at(m_pos + 1) == u'/') {
                m_pos += 2;
                if (--depth == 0)
                    return;
            } else if (pg() && m_s[m_pos] == u'/' && at(m_pos + 1) == u'*') {
                m_pos += 2;
                ++depth;
            } else {
                ++m_pos;
            }
        }
    }

    // $$...$$ or $tag$...$tag$ (a tag starts with a letter or "_", goes on
    // with letters, digits and "_"); false when no delimiter starts here.
    bool dollarQuote()
    {
        int j = m_pos + 1;
        if (j < m_n && identStart(m_s[j])) {
            ++j;
            while (j < m_n && (identStart(m_s[j]) || isDigit(m_s[j])))
                ++j;
        }
        if (j >= m_n || m_s[j] != u'$')
            return false;
        const QString tag = m_s.mid(m_pos, j - m_pos + 1);
        const int end = int(m_s.indexOf(tag, j + 1));
        m_pos = end < 0 ? m_n : end + int(tag.size());
        return true;
    }

    const QString &m_s;
    const int m_n;
    const TSqlDialect m_d;
    int m_pos = 0;
};

struct Token {
    QString upper;   // the word upper-cased, or the punctuation character
    QString text;    // as written, quotes removed for quoted names
    int start = 0;
    bool quoted = false;
    int end = 0;     // just past the token in the text
};

// Words, quoted names and single punctuation characters; literals and
// comments are skipped (literals leave a "'" token).
QList<Token> tokenize(const QString &s, TSqlDialect dialect = TSqlDialect::Common)
{
    QList<Token> out;
    TSqlLexer lex(s, dialect);
    int a = 0, b = 0;
    for (TSqlLexer::TKind k; (k = lex.Next(a, b)) != TSqlLexer::End;) {
        switch (k) {
        case TSqlLexer::Space: case TSqlLexer::Comment:
            break;
        case TSqlLexer::QuotedName: {
            const int open = s[a] == u'U' || s[a] == u'u' ? a + 2 : a;
            const QChar q = s[open];
            QString name = s.mid(open + 1, std::max(0, b - open - 2));
            if (q != u'[')
                name.replace(QString(2, q), QString(q));
            out.append({name, name, a, true, b});
            break;
        }
        case TSqlLexer::Literal:
            out.append({QStringLiteral("'"), QString(), a, false, b});
            break;
        case TSqlLexer::Word: case TSqlLexer::Number: {
            const QString w = s.mid(a, b - a);
            out.append({w.toUpper(), w, a, false, b});
            break;
        }
        default:
            out.append({QString(s[a]), QString(s[a]), a, false, b});
            break;
        }
    }
    return out;
}

// A statement of a text: from its first token to the ";" that ends it (or
// the end of the text), the first token's place apart.
struct TStatementRange {
    int start = 0;    // the statement's first character (blanks and comments before it included)
    int first = 0;    // its first token
    int end = 0;      // its ";" or the end of the text
};

// The statements of a text as the engine of `dialect` reads them: split at
// ";" outside literals, quoted names and comments, and outside the bodies
// that hold statements of their own (SQLite's CREATE TRIGGER ... BEGIN ...
// END, PostgreSQL's BEGIN ATOMIC ... END of a function, and a ";" inside
// parentheses, as psql reads them). Empty statements are left out.
QList<TStatementRange> statementRanges(const QString &s, TSqlDialect dialect)
{
    QList<TStatementRange> out;
    TSqlLexer lex(s, dialect);
    TStatementRange cur;
    bool empty = true;
    // SQLite: sqlite3_complete's states for CREATE [TEMP] TRIGGER
    enum { Start, Normal, Explain, Create, Trigger, TriggerSemi, TriggerEnd } trig = Start;
    // PostgreSQL: psql's reading of CREATE [OR REPLACE] FUNCTION/PROCEDURE
    int parens = 0, beginDepth = 0, words = 0;
    char firstWords[4] = {0, 0, 0, 0};
    int a = 0, b = 0;
    for (TSqlLexer::TKind k; (k = lex.Next(a, b)) != TSqlLexer::End;) {
        if (k == TSqlLexer::Space || k == TSqlLexer::Comment)
            continue;
        const bool semi = k == TSqlLexer::Punct && s[a] == u';';
        if (semi) {
            bool ends = true;
            if (dialect != TSqlDialect::Postgres) {
                if (trig == Trigger || trig == TriggerSemi) {
                    trig = TriggerSemi;
                    ends = false;
                }
            }
            if (dialect != TSqlDialect::Sqlite && (parens > 0 || beginDepth > 0))
                ends = false;
            if (ends) {
                cur.end = a;
                if (!empty)
                    out.append(cur);
                cur = TStatementRange();
                cur.start = b;
                empty = true;
                trig = Start;
                parens = beginDepth = words = 0;
                std::fill(std::begin(firstWords), std::end(firstWords), 0);
            }
            continue;
        }
        if (empty) {
            cur.first = a;
            empty = false;
        }
        const QString word = k == TSqlLexer::Word ? s.mid(a, b - a).toUpper() : QString();
        if (dialect != TSqlDialect::Postgres) {
            switch (trig) {
            case Start: case Explain:
                trig = word == u"CREATE" ? Create : word == u"EXPLAIN" && trig == Start ? Explain : Normal;
                break;
            case Create:
                trig = word == u"TRIGGER" ? Trigger : (word == u"TEMP" || word == u"TEMPORARY") ? Create : Normal;
                break;
            case TriggerSemi:
                trig = word == u"END" ? TriggerEnd : Trigger;
                break;
            case TriggerEnd:
                trig = Trigger;
                break;
            default:
                break;
            }
        }
        if (dialect != TSqlDialect::Sqlite) {
            if (k == TSqlLexer::Punct && s[a] == u'(')
                ++parens;
            else if (k == TSqlLexer::Punct && s[a] == u')' && parens > 0)
                --parens;
            else if (k == TSqlLexer::Word && isNameStart(s[a])) {
                if (words < 4 && (word == u"CREATE" || word == u"FUNCTION" || word == u"PROCEDURE"
                                  || word == u"OR" || word == u"REPLACE"))
                    firstWords[words] = char(word[0].toLower().unicode());
                ++words;
                const bool routine = firstWords[0] == 'c'
                                     && (firstWords[1] == 'f' || firstWords[1] == 'p'
                                         || (firstWords[1] == 'o' && firstWords[2] == 'r'
                                             && (firstWords[3] == 'f' || firstWords[3] == 'p')));
                if (routine && parens == 0) {
                    if (word == u"BEGIN")
                        ++beginDepth;
                    else if (word == u"CASE" && beginDepth >= 1)
                        ++beginDepth;
                    else if (word == u"END" && beginDepth > 0)
                        --beginDepth;
                }
            }
        }
    }
    cur.end = int(s.size());
    if (!empty)
        out.append(cur);
    return out;
}

} // namespace

QList<TSqlParamMark> FindSqlParams(const QString &sql)
{
    QList<TSqlParamMark> marks;
    const int n = int(sql.size());
    TSqlLexer lex(sql, TSqlDialect::Common);
    int a = 0, i = 0;
    for (TSqlLexer::TKind k; (k = lex.Next(a, i)) != TSqlLexer::End;) {
        if (k != TSqlLexer::Punct || sql[a] != u':')
            continue;
        i = a;
        if (i + 1 < n && (sql[i + 1] == u':' || sql[i + 1] == u'=')) {
            lex.SetPos(i + 2);
            continue;
        }
        if (i > 0 && sql[i - 1] == u':')
            continue;
        if (i + 1 < n && isNameStart(sql[i + 1])) {
            int j = i + 1;
            while (j < n && (sql[j].isLetterOrNumber() || sql[j] == u'_'))
                ++j;
            marks.append({sql.mid(i + 1, j - i - 1), i, j - i});
            lex.SetPos(j);
            continue;
        }
        if (i + 1 < n && sql[i + 1] == u'"') {
            const int end = int(sql.indexOf(u'"', i + 2));
            if (end > 0) {
                marks.append({sql.mid(i + 2, end - i - 2), i, end - i + 1});
                lex.SetPos(end + 1);
                continue;
            }
        }
    }
    return marks;
}

QStringList SqlWords(const QString &sql, TSqlDialect dialect)
{
    QStringList words;
    for (const Token &t : tokenize(sql, dialect))
        if (!t.quoted && !t.upper.isEmpty() && isNameStart(t.upper[0]))
            words.append(t.upper);
    return words;
}

qsizetype FindSqlKeyword(const QString &sql, const QStringList &words, qsizetype from, qsizetype *end)
{
    const QList<Token> tokens = tokenize(sql);
    int depth = 0, base = -1;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const Token &t = tokens[i];
        if (t.start >= from && base < 0)
            base = depth;
        if (!t.quoted && t.upper == u"(") {
            ++depth;
            continue;
        }
        if (!t.quoted && t.upper == u")") {
            if (--depth < base)
                return -1;   // out of the parentheses `from` stands in
            continue;
        }
        if (base < 0 || depth != base || t.quoted)
            continue;
        bool match = i + words.size() <= tokens.size();
        for (qsizetype k = 0; match && k < words.size(); ++k)
            match = !tokens[i + k].quoted && tokens[i + k].upper == words[k].toUpper();
        if (match) {
            if (end)
                *end = tokens[i + words.size() - 1].end;
            return t.start;
        }
    }
    return -1;
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

QList<TSqlSpan> SqlStatementSpans(const QString &script, TSqlDialect dialect)
{
    // blanks as the dialect has them: a vertical tab is none to PostgreSQL
    const QStringView blanks = dialect == TSqlDialect::Postgres ? QStringView(u" \t\n\r\f") : QStringView(u" \t\n\r\f\v");
    QList<TSqlSpan> out;
    for (const TStatementRange &r : statementRanges(script, dialect)) {
        int a = r.start, b = r.end;
        while (a < b && blanks.contains(script[a]))
            ++a;
        while (b > a && blanks.contains(script[b - 1]))
            --b;
        out.append({a, b});
    }
    return out;
}

QStringList SplitSqlScript(const QString &script, TSqlDialect dialect)
{
    QStringList out;
    for (const TSqlSpan &s : SqlStatementSpans(script, dialect))
        out.append(script.mid(s.Start, s.End - s.Start));
    return out;
}

int SecondStatementStart(const QString &sql, TSqlDialect dialect)
{
    const QList<TStatementRange> ranges = statementRanges(sql, dialect);
    return ranges.size() > 1 ? ranges[1].first : -1;
}
