#pragma once

#include "SearchInput.h"

#include "data/Fields.h"

#include <QString>
#include <QStringList>

class TDataSet;
class TParams;
class TQuery;

// Search values go into the SQL as parameters ":_FIELD" instead of
// literals. Process-wide; the program leaves it off.
extern bool SearchByParams;

// The search kind of a field type: 'S' strings; 'N' integers, words,
// Booleans, floats, currency and BCD; 'D' dates and times; 'U' the rest
// (auto-increment, blobs, memos, bytes).
char SearchKindOfType(TFieldType type);
// The search kind of a dataset's field. The name is taken after its first
// "." (a grid column may name "T.FIELD") and must match a field name
// exactly, letter case included. A missing field, or a calculated or
// lookup field, is 'U'.
char SearchKind(const TDataSet *dataSet, const QString &fieldName);
// SearchKind bound to a dataset, for the functions that take a resolver.
TSearchKindOf SearchKindsOf(const TDataSet *dataSet);
// The dataset's field that a search or a mark names, found as SearchKind
// finds it; nullptr when there is none.
TField *SearchField(const TDataSet *dataSet, const QString &fieldName);

// Dates written as the query's database stores and reads them (its own
// literal, without the quotes): a date compared with a date-time column
// is midnight of that day. An SQLite database keeps dates as text
// "yyyy-mm-dd", which a "DD.MM.YY" literal never equals, and a PostgreSQL
// server reads "12.03.26" month first unless told otherwise; the
// database's own spelling is understood by both. Valid while the query
// lives.
TSearchDateText SearchDateTextOf(TQuery &query);

// The SQL text with the conditions of the search values ("FIELD=value"
// lines, in order; the value "^" removes the column's condition) put into
// it, one block per column named after the field:
//   string columns        FIELD like 'value%'
//   number columns        FIELD = value (a number; any other text is
//                         matched as a pattern, in quotes)
//   date columns          FIELD = 'DD.MM.YY' (a date; `dateText` spells it)
//   any pattern with "_" or "%", a date that does not convert, or any date
//   of a live query       FIELD like 'value'
// Columns of kind 'U' and lines without "=" are skipped. A value can never
// leave its literal: a quote is doubled in it and characters below a blank
// are dropped, and a number or date value keeps only the characters that
// can be typed into such a column (values also come from table states, not
// only from the keyboard). Columns are named by `columnName`; `likeEscape`
// follows every LIKE pattern (TEngine::LikeEscape).
// With SearchByParams the values go into `params` (when given) as
// parameters "_FIELD" instead.
QString BuildSearchSql(const QString &sql, const QStringList &searchValues, TParams *params,
                       bool isLiveQuery, const TSearchKindOf &kindOf,
                       const TSearchDateText &dateText = {},
                       const TFormatSettings &fs = FormatSettings(),
                       const TSearchLikeOperand &likeOperand = {},
                       const TSearchColumnName &columnName = {},
                       const QString &likeEscape = QString());
// How the query's database matches a pattern against a number or date
// column (see TEngine::LikeOperand).
TSearchLikeOperand SearchLikeOperandOf(TQuery &query);
// How the query's database names a column (TSearchColumnName).
TSearchColumnName SearchColumnNameOf(TQuery &query);
// The same for a query: its SQL text, kinds from its fields, dates in its
// database's spelling, patterns on numbers and dates as its engine takes them. Its editable results are plain statements to our
// engines, so a live query compares dates as any other query does (the
// "like" form would find nothing on SQLite and is refused by PostgreSQL).
QString BuildSearchSql(TQuery &query, const QStringList &searchValues, TParams *params);

// Puts a new SQL text into a query, keeping its parameter values by name:
// nothing happens for an empty text or, with `onlyIfOpen`, for a closed
// query. A record being edited is posted first; when that fails, the error
// goes on and the query stays as it was, the edit with it. When the text differs or `reopen` is set, the text is replaced,
// the query closed and every parameter takes the value of the parameter of
// the same name in `params` (a copy of the query's own when null); with
// `reopen` the query is then opened. The query's data-aware controls are
// told of the change once, at the end.
void ReplaceQuerySql(TQuery &query, const QString &text, bool onlyIfOpen, const TParams *params,
                     bool reopen);

// Keeps a dataset's data-aware controls quiet while it lives.
class TControlsDisabled {
public:
    explicit TControlsDisabled(TDataSet &dataSet);
    ~TControlsDisabled();
    TControlsDisabled(const TControlsDisabled &) = delete;
    TControlsDisabled &operator=(const TControlsDisabled &) = delete;

private:
    TDataSet &m_dataSet;
};
