#pragma once

#include "Csv.h"

#include <QList>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

class TDataSet;
class TField;
class TQuery;

// A column of an exported grid: the shown dataset's field, the title it
// stands under and, for a column that shows its field's text otherwise,
// the mapping (TUColumn::DisplayMap).
struct TExportColumn {
    TField *Field = nullptr;
    QString Title;
    std::function<QString(const QString &)> DisplayMap;

    // A value as the grid shows it: the field's display text (numbers with
    // their decimals, dates in the short date format, NULL as nothing),
    // mapped; a memo gives its text, a blob nothing.
    QString Text(const QVariant &value) const;
};

// Every row of what a dataset shows, read once more from the start, in
// order, while the dataset itself stays where it is and reads nothing.
// A query or table reads its statement again through a query of its own on
// the same database, forward only (its text with the search conditions,
// its parameter values and master source): a one-directional dataset keeps
// just its current row, so memory does not grow with the rows, and rows the
// grid has not read yet are read too. A dataset of another kind, or one
// holding edits kept for later (cached updates) that its statement does not
// see, is walked itself with its controls quiet and comes back to its row.
// A changed record is posted first, so the rows read are the ones shown.
class TExportRows {
public:
    explicit TExportRows(TDataSet &shown);
    ~TExportRows();
    TExportRows(const TExportRows &) = delete;
    TExportRows &operator=(const TExportRows &) = delete;

    // Moves to the next row, the first on the first call; false after the
    // last.
    bool Next();
    // The value of a field of the shown dataset in the current row.
    QVariant Value(const TField *shownField) const;
    // Whether the rows come from a query of their own (else the dataset is
    // walked).
    bool ReadAgain() const { return m_query != nullptr; }

private:
    TDataSet &m_shown;
    std::unique_ptr<TQuery> m_query;
    std::vector<TField *> m_fields;   // the query's field of each shown field, by index
    bool m_started = false;
    int m_row = -1;                   // the shown dataset's row, when walked
};

// Called every few hundred rows with the rows done so far; it may raise to
// stop the work (an Esc).
using TExportProgress = std::function<void(qint64 rows)>;

// Writes the columns of every row of `shown` (TExportRows) to a CSV file:
// a title line, then a record per row. Nothing is in place until the last
// row is written; an error or a progress call that raises leaves no file
// and an older one whole. Returns the rows written.
qint64 ExportCsv(TDataSet &shown, const QList<TExportColumn> &columns, const QString &path,
                 const TCsvFormat &format, const TExportProgress &progress = {});
