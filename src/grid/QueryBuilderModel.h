#pragma once

#include "SearchInput.h"

#include <QList>
#include <QString>
#include <QStringList>

// What the query builder knows of a field of the grid's query.
struct TBuilderField {
    QString name;          // the dataset's field name
    QString displayLabel;  // its column title, "|" separating title lines
    char kind = 'U';       // 'S', 'N', 'D' or 'U' as for the search
};

// One of the builder's twelve operators.
struct TBuilderOperator {
    enum Operand { OneValue, ValueList, NoValue };
    QString display;   // as shown in a condition row, blanks around it
    QString sql;
    Operand operand;
};

// The operators in the order they are shown and recognised: the negative
// forms come before the positive forms they contain.
const QList<TBuilderOperator> &BuilderOperators();
// The index of the first operator whose display text occurs in `row`, -1
// when there is none.
int FindBuilderOperator(const QString &row);

// The separator row between OR groups; any row starting with "-" counts.
extern const QString BuilderSeparator;
bool IsBuilderSeparator(const QString &row);

extern const QString SortAscending;    // "по возрастанию"
extern const QString SortDescending;   // "по убыванию"

// The builder's view of the query's fields: labels, kinds, and turning
// labels into field names and back.
class TBuilderFields {
public:
    TBuilderFields() = default;
    explicit TBuilderFields(QList<TBuilderField> fields) : m_fields(std::move(fields)) {}

    // A column title as one token: blanks and "|" become "_", a "-" right
    // before a "|" is dropped ("Сумма-|в рублях" gives "Сумма_в_рублях").
    static QString LabelOf(const QString &displayLabel);

    const QList<TBuilderField> &fields() const { return m_fields; }
    QStringList labels() const;
    // The field whose converted label equals `label` exactly; empty if none.
    QString FieldNameOfLabel(const QString &label) const;
    // The label of the field named `name` (compared without regard to case);
    // empty if none.
    QString LabelOfFieldName(const QString &name) const;
    // The kind of the field with this label; 'U' for an unknown label.
    char KindOfLabel(const QString &label) const;
    bool IsLabel(const QString &text) const
    {
        return !text.isEmpty() && !FieldNameOfLabel(text).isEmpty();
    }

private:
    QList<TBuilderField> m_fields;
};

// The SQL condition lines of the builder's condition rows, ready to be the
// value of the "SEARCHDBGRID_BUILDER" block. Rows that are incomplete (no
// operator, no value where one is needed, an unknown field) or hold a date
// that does not convert are removed from `rows`. Rows starting with "#" are
// a hand-written condition and are copied as they stand. No lines means no
// condition. Date literals are written by `dateText` when given (a row keeps
// the date as the person typed it), columns named by `columnName`, and
// `likeEscape` follows a LIKE pattern (TEngine::LikeEscape).
QStringList BuilderConditionLines(QStringList &rows, const TBuilderFields &fields,
                                  const TSearchDateText &dateText = {},
                                  const TFormatSettings &fs = FormatSettings(),
                                  const TSearchColumnName &columnName = {},
                                  const QString &likeEscape = QString());

// The statement's own ORDER BY list: the text after its top-level ORDER BY
// (a window's or a subquery's does not count); empty when it has none.
QString StatementOrderList(const QString &sql);

// The sort rows ("label, direction") read from the ORDER BY list of an SQL
// text. An order with "(" (expressions) gives no rows; items naming no
// field are skipped.
QStringList SortRowsFromSql(const QString &sql, const TBuilderFields &fields);
// The ORDER BY list of sort rows: field names, " DESC" for descending,
// joined by ", ".
QString OrderTextFromSortRows(const QStringList &rows, const TBuilderFields &fields);

// The grid's memory of the builder's sort order.
struct TBuilderOrderState {
    QStringList SavedOrder;        // the query's own ORDER BY list
    bool OrderOverridden = false;  // the builder's order is in force
};

// Puts the builder's order into `sql`: a non-empty `orderText` replaces the
// statement's ORDER BY list (keeping the statement's own list in
// `SavedOrder` the first time); an empty one gives the statement its own
// list back when the builder's order was in force.
QString ApplyBuilderOrder(const QString &sql, const QString &orderText, TBuilderOrderState &state);
