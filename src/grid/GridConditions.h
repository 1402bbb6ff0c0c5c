#pragma once

#include "QueryBuilderModel.h"

#include <QString>
#include <QStringList>

class TDataSet;
class TQuery;

extern const QString ChoiceBlockName;    // "SEARCHDBGRID_CHOICE"
extern const QString BuilderBlockName;   // "SEARCHDBGRID_BUILDER"

// What a searchable grid has applied to its query, or holds ready to apply.
// The conditions themselves live only in the query's SQL text; these are
// what the person typed and chose, and what table states keep. The
// builder's order (SavedOrder, OrderOverridden) is the base part.
struct TGridConditions : TBuilderOrderState {
    QStringList SearchValues;    // "FIELD=value" per searched column; "^": remove its condition
    QStringList ChoiceList;      // the marks, "FIELD=display text"
    bool ChoiceInvert = false;
    QStringList BuilderRows;     // the query builder's rows last applied
    QStringList AppliedChoice;   // condition lines of the marked-rows filter in force
    bool SearchLocked = false;   // typed values are kept but not applied

    // The value searched for in a column; empty when it has none.
    QString SearchValue(const QString &fieldName) const;
    // Stores a column's value, adding its line when the column had none.
    void SetSearchValue(const QString &fieldName, const QString &value);
    // Nothing a table state could keep: no search values, marks or builder
    // rows, and the builder's order not in force.
    bool IsEmpty() const;
};

// Applies the search values to the query and reopens it, with the query's
// parameter values kept. Returns false, doing nothing, while the search is
// locked. A text the server refuses raises its error after the query got
// its old text back and was reopened.
bool ApplySearch(TQuery &query, TGridConditions &conditions);

// Switches the marked-rows filter of an open query: removes the block
// "SEARCHDBGRID_CHOICE" when a filter is in force, else restricts the query
// to the marked rows (to all others with ChoiceInvert) and keeps the
// condition lines in AppliedChoice. Does nothing at all for a closed query,
// or with no marks and no filter in force; returns whether it did something.
// When the new text fails, "Ошибка выполнения запроса." is shown, the old
// text and AppliedChoice are put back and the error goes on to the caller.
bool ToggleMarkedFilter(TQuery &query, TGridConditions &conditions);

// The builder's view of a dataset's fields: every field that is not
// calculated, with its display label and search kind.
TBuilderFields BuilderFieldsOf(const TDataSet &dataSet);

// Applies builder rows and a sort order to the query (the run of the query
// builder once its window, if any, has been confirmed):
// - the rows become the block "SEARCHDBGRID_BUILDER" of `baseSql` (the
//   query's own text when empty); incomplete or invalid rows are removed
//   from `rows` on the way, and no rows remove the block;
// - `orderText` replaces the statement's ORDER BY list, an empty one gives
//   the statement its own list back (SavedOrder, OrderOverridden);
// - the text is installed in the query, which is reopened when
//   `interactive`; then the rows become the grid's BuilderRows.
// When installing fails, "Ошибка выполнения запроса." is shown, the old
// text and order state are put back and the error goes on to the caller.
void ApplyQueryBuilder(TQuery &query, TGridConditions &conditions, QStringList &rows,
                       const QString &orderText, const QString &baseSql, bool interactive);
// The run without a window (table states): the grid's own BuilderRows, the
// given order text and base text, the query not reopened.
void RunQueryBuilder(TQuery &query, TGridConditions &conditions, const QString &orderText,
                     const QString &baseSql);
