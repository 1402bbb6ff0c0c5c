#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Whose rules a text is read by: an engine's own tokenizer, or, where the
// engine is not known yet, the common reading of both (see SqlText.cpp).
enum class TSqlDialect { Common, Sqlite, Postgres };

// A parameter mark `:Name` found in an SQL text: the name and where the mark
// (colon included) stands.
struct TSqlParamMark {
    QString Name;
    int Start = 0;
    int Length = 0;
};

// The parameter marks of `sql` in order of appearance. A mark is a colon
// followed by a name (letters, digits, "_", starting with a letter or "_") or
// by a double-quoted name. Marks inside string literals ('...', E'...',
// $tag$...$tag$), quoted identifiers ("..." and [...]) and comments (-- and
// /* */) do not count, nor do the "::" cast and ":=".
QList<TSqlParamMark> FindSqlParams(const QString &sql);

// `sql` with every mark replaced by the text `replace` gives for its index.
template <typename F>
QString ReplaceSqlParams(const QString &sql, const QList<TSqlParamMark> &marks, F replace)
{
    QString out;
    out.reserve(sql.size() + 16 * marks.size());
    int pos = 0;
    for (int i = 0; i < marks.size(); ++i) {
        out += QStringView(sql).mid(pos, marks[i].Start - pos);
        out += replace(i);
        pos = marks[i].Start + marks[i].Length;
    }
    out += QStringView(sql).mid(pos);
    return out;
}

// The bare words of a text, upper-cased, in order: names and keywords
// outside literals, quoted names and comments, as the engine of `dialect`
// reads them.
QStringList SqlWords(const QString &sql, TSqlDialect dialect = TSqlDialect::Common);

// Where the word sequence `words` ({"ORDER", "BY"}) stands in `sql` at the
// parenthesis depth of position `from`, searching from there: outside
// literals, quoted names and comments, its words matched without regard to
// case and apart by blanks and comments only. Returns the first word's
// position and sets `end` just past the last word; -1 when the words do not
// stand at that depth before the parentheses around `from` close.
qsizetype FindSqlKeyword(const QString &sql, const QStringList &words, qsizetype from = 0,
                         qsizetype *end = nullptr);

// The first word of a statement, upper-cased, skipping blanks, comments and
// opening parentheses ("SELECT", "INSERT", "WITH", ...).
QString FirstSqlKeyword(const QString &sql);

// The statement without a trailing ";" and blanks, upper-cased when it is
// one of the transaction words: "COMMIT", "COMMIT WORK", "ROLLBACK",
// "ROLLBACK WORK", "BEGIN", "BEGIN TRANSACTION", "START TRANSACTION", "END".
// Returns "COMMIT", "ROLLBACK", "BEGIN" or an empty text for anything else.
QString TransactionWord(const QString &sql);

// What an editable result needs to know of a SELECT on one table.
struct TSingleTableSelect {
    bool Ok = false;          // a plain SELECT from exactly one table
    QString Table;            // as written, quotes removed; "schema.table" when qualified
    QString Schema;           // the qualifier, when there was one
    QString BareTable;        // the table name without its qualifier
    bool SchemaQuoted = false;   // written in double quotes (case kept)
    bool TableQuoted = false;
    int SelectListStart = 0;  // position right after the SELECT keyword
    // What names the table's columns in the statement: its alias, or the
    // table as written, quotes and all ("x", main."My Table").
    QString TableRef;
};

// Recognises "SELECT list FROM table [alias] [WHERE ...] [ORDER BY ...]
// [LIMIT ...]" with no join, grouping, DISTINCT or set operation.
TSingleTableSelect ParseSingleTableSelect(const QString &sql);

// The statements of a script as the engine of `dialect` splits them: at ";"
// outside literals, quoted names and comments, and outside the bodies that
// hold statements of their own (a trigger's BEGIN ... END, a function's
// BEGIN ATOMIC ... END); empty statements are dropped.
QStringList SplitSqlScript(const QString &script, TSqlDialect dialect = TSqlDialect::Common);
// Where those statements stand in `script`: [Start, End) of each, blanks
// around it left out.
struct TSqlSpan {
    int Start = 0;
    int End = 0;
};
QList<TSqlSpan> SqlStatementSpans(const QString &script, TSqlDialect dialect = TSqlDialect::Common);

// Where a second statement starts in `sql`, read as SplitSqlScript reads it:
// its first character that is not a blank or a comment; -1 when `sql` holds
// one statement (or none).
int SecondStatementStart(const QString &sql, TSqlDialect dialect = TSqlDialect::Common);
