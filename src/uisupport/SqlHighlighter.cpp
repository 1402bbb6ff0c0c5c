#include "SqlHighlighter.h"

#include <QSet>

namespace {

// The words coloured as keywords: SQLite's whole list, PostgreSQL's
// reserved words and the unreserved ones a statement or a schema script
// usually holds, and the column types of both. Functions (COALESCE,
// SUBSTRING...) are left as names, CAST aside.
const char *const Keywords[] = {
    // SQLite
    "ABORT", "ACTION", "ADD", "AFTER", "ALL", "ALTER", "ALWAYS", "ANALYZE", "AND", "AS", "ASC",
    "ATTACH", "AUTOINCREMENT", "BEFORE", "BEGIN", "BETWEEN", "BY", "CASCADE", "CASE", "CAST",
    "CHECK", "COLLATE", "COLUMN", "COMMIT", "CONFLICT", "CONSTRAINT", "CREATE", "CROSS", "CURRENT",
    "CURRENT_DATE", "CURRENT_TIME", "CURRENT_TIMESTAMP", "DATABASE", "DEFAULT", "DEFERRABLE",
    "DEFERRED", "DELETE", "DESC", "DETACH", "DISTINCT", "DO", "DROP", "EACH", "ELSE", "END",
    "ESCAPE", "EXCEPT", "EXCLUDE", "EXCLUSIVE", "EXISTS", "EXPLAIN", "FAIL", "FILTER", "FIRST",
    "FOLLOWING", "FOR", "FOREIGN", "FROM", "FULL", "GENERATED", "GLOB", "GROUP", "GROUPS",
    "HAVING", "IF", "IGNORE", "IMMEDIATE", "IN", "INDEX", "INDEXED", "INITIALLY", "INNER",
    "INSERT", "INSTEAD", "INTERSECT", "INTO", "IS", "ISNULL", "JOIN", "KEY", "LAST", "LEFT",
    "LIKE", "LIMIT", "MATCH", "MATERIALIZED", "NATURAL", "NO", "NOT", "NOTHING", "NOTNULL", "NULL",
    "NULLS", "OF", "OFFSET", "ON", "OR", "ORDER", "OTHERS", "OUTER", "OVER", "PARTITION", "PLAN",
    "PRAGMA", "PRECEDING", "PRIMARY", "QUERY", "RAISE", "RANGE", "RECURSIVE", "REFERENCES",
    "REGEXP", "REINDEX", "RELEASE", "RENAME", "REPLACE", "RESTRICT", "RETURNING", "RIGHT",
    "ROLLBACK", "ROW", "ROWS", "SAVEPOINT", "SELECT", "SET", "STORED", "STRICT", "TABLE", "TEMP",
    "TEMPORARY", "THEN", "TIES", "TO", "TRANSACTION", "TRIGGER", "UNBOUNDED", "UNION", "UNIQUE",
    "UPDATE", "USING", "VACUUM", "VALUES", "VIEW", "VIRTUAL", "WHEN", "WHERE", "WINDOW", "WITH",
    "WITHOUT",
    // PostgreSQL
    "ANALYSE", "ANY", "ARRAY", "ASYMMETRIC", "AT", "AUTHORIZATION", "BOTH", "CALL", "CHAIN",
    "CLOSE", "CLUSTER", "COMMENT", "COMMITTED", "CONCURRENTLY", "COPY", "CUBE", "CURRENT_CATALOG",
    "CURRENT_ROLE", "CURRENT_SCHEMA", "CURRENT_USER", "CURSOR", "CYCLE", "DEALLOCATE", "DECLARE",
    "DEFINER", "DISABLE", "DOMAIN", "ENABLE", "EXECUTE", "EXTENSION", "FALSE", "FETCH", "FREEZE",
    "FUNCTION", "GRANT", "GROUPING", "ILIKE", "IMMUTABLE", "INCLUDE", "INHERITS", "INOUT",
    "INVOKER", "ISOLATION", "LANGUAGE", "LATERAL", "LEADING", "LEVEL", "LISTEN", "LOCAL",
    "LOCALTIME", "LOCALTIMESTAMP", "LOCK", "LOCKED", "MATCHED", "MERGE", "NEXT", "NOTIFY",
    "NOWAIT", "ONLY", "ORDINALITY", "OUT", "OVERLAPS", "PLACING", "PREPARE", "PROCEDURE",
    "READ", "REFRESH", "REPEATABLE", "RESET", "RETURNS", "REVOKE", "ROLE", "ROLLUP", "SCHEMA",
    "SECURITY", "SEQUENCE", "SERIALIZABLE", "SESSION_USER", "SETOF", "SETS", "SHARE", "SHOW",
    "SIMILAR", "SKIP", "SOME", "STABLE", "START", "SYMMETRIC", "SYSTEM_USER", "TABLESAMPLE",
    "TABLESPACE", "TRAILING", "TRUE", "TRUNCATE", "TYPE", "UNCOMMITTED", "UNLOGGED", "USER",
    "VALID", "VARIADIC", "VERBOSE", "VOLATILE", "WITHIN", "WORK", "WRITE", "ZONE",
    // Types
    "BIGINT", "BIGSERIAL", "BIT", "BLOB", "BOOL", "BOOLEAN", "BYTEA", "CHAR", "CHARACTER", "CIDR",
    "CLOB", "DATE", "DATETIME", "DECIMAL", "DOUBLE", "FLOAT", "INET", "INT", "INTEGER", "INTERVAL",
    "JSON", "JSONB", "MONEY", "NCHAR", "NUMERIC", "NVARCHAR", "PRECISION", "REAL", "SERIAL",
    "SMALLINT", "SMALLSERIAL", "TEXT", "TIME", "TIMESTAMP", "TIMESTAMPTZ", "TIMETZ", "TINYINT",
    "UUID", "VARBIT", "VARCHAR", "VARYING", "XML",
};

const QSet<QString> &KeywordSet()
{
    static const QSet<QString> set = [] {
        QSet<QString> s;
        for (const char *k : Keywords)
            s.insert(QLatin1String(k));
        return s;
    }();
    return set;
}

// The states a line can leave: nothing open, or what goes on into the next
// line. An open dollar-quoted string leaves DollarFirst and above, a hash
// of its tag: the line that closes it is the one with a $tag$ of the same
// hash.
enum : int {
    Plain = 0,
    InComment = 1,
    InString = 2,          // '...'
    InEscapeString = 3,    // E'...', where a backslash escapes the next character
    InQuotedName = 4,      // "..."
    InBacktickName = 5,    // `...`
    DollarFirst = 16,
};

int DollarState(QStringView tag)
{
    quint32 h = 2166136261u;   // FNV-1a over the UTF-16 units
    for (QChar c : tag) {
        h ^= c.unicode();
        h *= 16777619u;
    }
    return DollarFirst + int(h % quint32(0x7FFFFFFF - DollarFirst));
}

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }
bool IsHexDigit(QChar c) { return IsDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); }
bool IsWordStart(QChar c) { return c.isLetter() || c == u'_'; }
bool IsWordChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$'; }

// The length of the tag opening at `from` ($$ or $tag$), 0 when there is
// none.
int DollarTagLength(QStringView line, int from)
{
    const int n = int(line.size());
    int i = from + 1;
    if (i < n && IsWordStart(line[i]))
        while (i < n && (line[i].isLetterOrNumber() || line[i] == u'_'))
            ++i;
    return i < n && line[i] == u'$' ? i + 1 - from : 0;
}

// Where the quoted text that goes on at `from` ends (just past its closing
// quote), or -1 when it goes on past the line. A doubled quote stands for
// one; with `backslash` a backslash takes the next character as it is.
int QuoteEnd(QStringView line, int from, QChar quote, bool backslash)
{
    const int n = int(line.size());
    for (int i = from; i < n; ++i) {
        if (backslash && line[i] == u'\\')
            ++i;
        else if (line[i] == quote) {
            if (i + 1 < n && line[i + 1] == quote)
                ++i;
            else
                return i + 1;
        }
    }
    return -1;
}

// Where the comment that goes on at `from` ends (just past */), or -1.
int CommentEnd(QStringView line, int from)
{
    const qsizetype at = line.indexOf(u"*/", from);
    return at < 0 ? -1 : int(at) + 2;
}

// Where the dollar-quoted string of the state `state` that goes on at
// `from` ends (just past its closing tag), or -1.
int DollarEnd(QStringView line, int from, int state)
{
    for (int i = from; i < line.size(); ++i)
        if (line[i] == u'$')
            if (const int length = DollarTagLength(line, i);
                length > 0 && DollarState(line.sliced(i + 1, length - 2)) == state)
                return i + length;
    return -1;
}

} // namespace

QStringList TSqlHighlighter::Keywords()
{
    QStringList words;
    for (const char *k : ::Keywords)
        words << QLatin1String(k);
    return words;
}

bool TSqlHighlighter::IsKeyword(QStringView word)
{
    return KeywordSet().contains(word.toString().toUpper());
}

QList<TSqlToken> TSqlHighlighter::Tokens(QStringView line, int &state)
{
    QList<TSqlToken> tokens;
    const int n = int(line.size());
    auto add = [&](TSqlTokenKind kind, int start, int end) {
        if (end > start)
            tokens.append({kind, start, end - start});
    };
    // Adds the construct of `kind` from `start` that ends at `end`; one
    // that does not end here takes the rest of the line and leaves `open`.
    // Returns where scanning goes on.
    auto close = [&](TSqlTokenKind kind, int start, int end, int open) {
        if (end < 0) {
            add(kind, start, n);
            state = open;
            return n;
        }
        add(kind, start, end);
        state = Plain;
        return end;
    };

    int i = 0;
    switch (state) {
    case InComment: i = close(TSqlTokenKind::Comment, 0, CommentEnd(line, 0), state); break;
    case InString: i = close(TSqlTokenKind::String, 0, QuoteEnd(line, 0, u'\'', false), state); break;
    case InEscapeString: i = close(TSqlTokenKind::String, 0, QuoteEnd(line, 0, u'\'', true), state); break;
    case InQuotedName: i = close(TSqlTokenKind::QuotedName, 0, QuoteEnd(line, 0, u'"', false), state); break;
    case InBacktickName:
        i = close(TSqlTokenKind::QuotedName, 0, QuoteEnd(line, 0, u'`', false), state);
        break;
    default:
        if (state >= DollarFirst)
            i = close(TSqlTokenKind::String, 0, DollarEnd(line, 0, state), state);
        else
            state = Plain;
    }

    while (i < n) {
        const QChar c = line[i];
        const QChar next = i + 1 < n ? line[i + 1] : QChar();
        if (c == u'-' && next == u'-') {
            add(TSqlTokenKind::Comment, i, n);
            break;
        }
        if (c == u'/' && next == u'*') {
            i = close(TSqlTokenKind::Comment, i, CommentEnd(line, i + 2), InComment);
        } else if (c == u'\'') {
            i = close(TSqlTokenKind::String, i, QuoteEnd(line, i + 1, c, false), InString);
        } else if ((c == u'e' || c == u'E') && next == u'\'') {
            i = close(TSqlTokenKind::String, i, QuoteEnd(line, i + 2, next, true), InEscapeString);
        } else if (c == u'"') {
            i = close(TSqlTokenKind::QuotedName, i, QuoteEnd(line, i + 1, c, false), InQuotedName);
        } else if (c == u'`') {
            i = close(TSqlTokenKind::QuotedName, i, QuoteEnd(line, i + 1, c, false), InBacktickName);
        } else if (c == u'$' && !IsDigit(next)) {
            if (const int length = DollarTagLength(line, i); length > 0) {
                const int open = DollarState(line.sliced(i + 1, length - 2));
                i = close(TSqlTokenKind::String, i, DollarEnd(line, i + length, open), open);
            } else {   // $name, a parameter
                for (++i; i < n && IsWordChar(line[i]); ++i) {}
            }
        } else if (IsDigit(c) || (c == u'.' && IsDigit(next))) {
            int j = i;
            if (c == u'0' && (next == u'x' || next == u'X') && i + 2 < n && IsHexDigit(line[i + 2])) {
                for (j = i + 2; j < n && IsHexDigit(line[j]); ++j) {}
            } else {
                for (; j < n && IsDigit(line[j]); ++j) {}
                if (j < n && line[j] == u'.')
                    for (++j; j < n && IsDigit(line[j]); ++j) {}
                if (j < n && (line[j] == u'e' || line[j] == u'E')) {
                    int k = j + 1;
                    if (k < n && (line[k] == u'+' || line[k] == u'-'))
                        ++k;
                    if (k < n && IsDigit(line[k]))
                        for (j = k; j < n && IsDigit(line[j]); ++j) {}
                }
            }
            if (j < n && IsWordChar(line[j])) {   // 12abc is no number
                for (; j < n && IsWordChar(line[j]); ++j) {}
            } else {
                add(TSqlTokenKind::Number, i, j);
            }
            i = j;
        } else if (IsWordStart(c)) {
            int j = i;
            for (; j < n && IsWordChar(line[j]); ++j) {}
            // t.key is a column, whatever its name
            if ((i == 0 || line[i - 1] != u'.') && IsKeyword(line.sliced(i, j - i)))
                add(TSqlTokenKind::Keyword, i, j);
            i = j;
        } else if ((c == u':' || c == u'@' || c == u'?' || c == u'$') && IsWordChar(next)
                   && !(c == u':' && i > 0 && line[i - 1] == u':')) {
            // :name, @name, ?1, $1: parameters, never keywords or numbers
            // (x::integer is a cast, though)
            for (++i; i < n && IsWordChar(line[i]); ++i) {}
        } else {
            ++i;
        }
    }
    return tokens;
}

TSqlHighlighter::TSqlHighlighter(QTextDocument *document)
    : QSyntaxHighlighter(document)
{
    auto format = [](QColor colour, bool bold = false, bool italic = false) {
        QTextCharFormat f;
        f.setForeground(colour);
        if (bold)
            f.setFontWeight(QFont::Bold);
        f.setFontItalic(italic);
        return f;
    };
    m_formats[int(TSqlTokenKind::Keyword)] = format(QColor(0x00, 0x00, 0x90), true);
    m_formats[int(TSqlTokenKind::String)] = format(QColor(0x00, 0x70, 0x00));
    m_formats[int(TSqlTokenKind::QuotedName)] = format(QColor(0x80, 0x00, 0x80));
    m_formats[int(TSqlTokenKind::Number)] = format(QColor(0x00, 0x70, 0x80));
    m_formats[int(TSqlTokenKind::Comment)] = format(QColor(0x80, 0x80, 0x80), false, true);
}

void TSqlHighlighter::SetFormat(TSqlTokenKind kind, const QTextCharFormat &format)
{
    m_formats[int(kind)] = format;
    rehighlight();
}

void TSqlHighlighter::highlightBlock(const QString &text)
{
    int state = previousBlockState();
    for (const TSqlToken &t : Tokens(text, state))
        setFormat(t.Start, t.Length, m_formats[int(t.Kind)]);
    setCurrentBlockState(state);
}
