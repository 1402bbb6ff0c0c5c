#pragma once

#include "common/DateTime.h"
#include "common/FormatSettings.h"

#include <QString>
#include <QStringList>
#include <functional>

// The kind of a searchable column: 'S' string, 'N' number, 'D' date, 'U'
// not searchable.
using TSearchKindOf = std::function<char(const QString &fieldName)>;

// How a date that a condition compares a column with is written between the
// quotes of its SQL literal. The database spells it in the form it stores
// dates in (see SearchDateTextOf); without one the date stays in the
// "DD.MM.YY" form of the date normalisation.
using TSearchDateText = std::function<QString(const QString &fieldName, TDateTime date)>;

// The left side of a LIKE condition on a column that is not a string
// column, with "%fld" standing for the column ("CAST(%fld AS text)"); empty
// or missing: the column itself. Engines without LIKE on numbers and dates
// match their text form.
using TSearchLikeOperand = std::function<QString(const QString &fieldName)>;

// How the database names a column in a condition: a name of letters,
// digits and blanks in its quotes ("Order Date", "order", "MixedCase"), the
// text of an expression as it is. Empty or missing: the name as it is.
using TSearchColumnName = std::function<QString(const QString &fieldName)>;

// Applies one typed key to the search value of a column of kind `kind`.
// Backspace ("\b") removes the last character (an emptied value becomes
// "^", which tells the next search to drop the column's condition); other
// keys below a blank are ignored. A single quote is kept as typed: the
// condition doubles it inside its literal ("O'Brien" finds O'Brien). Date columns accept
// "%", "_", digits and the date separator; number columns "%", "_", "-",
// digits and one of each separator, with the separators swapped as the
// value turns from a pattern into a number and back. Returns true when the
// key was taken (the value is then stored and the search timer restarted).
bool ApplySearchKey(QString &value, QChar key, char kind,
                    const TFormatSettings &fs = FormatSettings());

// A typed date ("12.3", "1.2.2024") as "DD.MM.YY", the two-digit form the
// search and the marks put into SQL. An empty value stays empty and is
// valid. A text that is no date stays unchanged and is invalid.
bool NormalizeSearchDate(QString &value, const TFormatSettings &fs = FormatSettings());
// The same, giving the date that was read as well (untouched for an empty
// or invalid value).
bool NormalizeSearchDate(QString &value, TDateTime &date, const TFormatSettings &fs = FormatSettings());

// A number as typed or shown ("-1,234.5") as an SQL number literal
// ("-1234.5"): thousands separators dropped, the decimal separator a point.
// Empty when the text is no number ("5-3", "1--1", "0) OR (1=1"): such a
// text never reaches SQL as a number.
QString SqlNumberLiteral(const QString &text, const TFormatSettings &fs = FormatSettings());

// Whether a text is exactly one SQL string literal ('...' with every quote
// inside doubled), or a parenthesised, comma-separated list of them when
// `list` is set.
bool IsSqlStringLiteral(const QString &text, bool list = false);

// The condition lines that restrict a query to the marked rows ("field=text"
// lines of the grid's marks): one "FIELD = value" comparison per usable
// mark, joined by OR and parenthesised, with NOT in front when `invert`.
// Marks on columns that cannot be searched, with invalid dates, or with no
// number in a number column are left out. Dates are written by `dateText`
// when given.
QStringList MarkConditionLines(const QStringList &marks, bool invert, const TSearchKindOf &kindOf,
                               const TSearchDateText &dateText = {},
                               const TFormatSettings &fs = FormatSettings(),
                               const TSearchColumnName &columnName = {});

// A text as an SQL literal: in quotes, a quote inside doubled.
QString SqlTextLiteral(const QString &text);
