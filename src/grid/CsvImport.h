#pragma once

#include "Csv.h"
#include "GridExport.h"

#include "data/Engine.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

class TDatabase;

// A CSV field as the value of a table column, by the column's type: an
// integer; a number with "." or "," as its decimal separator (blanks, and
// the other separator before it, group thousands: "1 234,5", "1,234.5"); a
// date "dd.mm.yyyy" or "yyyy-mm-dd" (a time may follow for a date-time
// column); a time "hh:mm[:ss]"; "Да"/"Нет" (also true/false, 1/0) for a
// Boolean; any other column takes the text. An empty field is NULL.
// False, with what is wrong in `error`, when the text is no such value or
// is longer than a text column allows.
bool ConvertCsvValue(const QString &text, const TColumnDesc &column, QVariant &value, QString &error);

// Loads the rows of a CSV file into one table. The file's columns go to
// the table's columns chosen for them (Targets), the others are skipped.
// Check reads every row and converts every value first; Load inserts the
// rows only when nothing is wrong, all of them or none: in one transaction
// (TTableInsert, RunAtomically), each row's values bound to one prepared
// INSERT.
class TCsvImport {
public:
    // Reads the table's columns; raises when it has none.
    TCsvImport(TDatabase &db, const QString &table);

    const QString &Table() const { return m_table; }
    const QList<TColumnDesc> &TableColumns() const { return m_columns; }
    // Whether a column can take values from the file (binary ones cannot).
    static bool Loadable(const TColumnDesc &column);

    // The file's text (DecodeCsv) and how to read it.
    void SetText(const QString &text) { m_text = text; }
    const QString &Text() const { return m_text; }
    QChar Separator = u',';
    bool Header = true;
    // Per column of the file: the index of its table column, -1 to skip it.
    QList<int> Targets;

    // The first `count` records of the text (the title line among them).
    QList<QStringList> Preview(int count) const;
    // The file's column titles: the first record's fields with a title
    // line, else "1", "2" ... as many as the first record has.
    QStringList Titles() const;
    // Each file column's table column whose name is its title, whatever
    // the letter case, or whose label is (`labels`: a table column's name,
    // lower-cased, to the title a grid shows it under); without a title
    // line the file's columns in the table's order.
    QList<int> MatchTitles(const QMap<QString, QString> &labels = {}) const;

    struct TCheck {
        qint64 Rows = 0;          // rows that would be loaded
        QStringList Errors;       // "строка L, столбец C: ...", at most `limit`
        qint64 ErrorCount = 0;    // all of them
    };
    // Converts every value of every row; nothing is written. The choice of
    // columns itself is checked first (none chosen, one chosen twice):
    // that raises.
    TCheck Check(int limit = 50, const TExportProgress &progress = {}) const;
    // Inserts every row in one transaction, or under a savepoint of the
    // transaction open on the database; a failure undoes them all and
    // raises. Raises without writing anything when Check finds an error.
    // Returns the rows inserted.
    qint64 Load(const TExportProgress &progress = {});

private:
    // Walks the rows to load with their converted values; `row` is called
    // for a row without errors, `fault` for each error.
    void walk(const std::function<void(const QVariantList &values)> &row,
              const std::function<void(const QString &error)> &fault, const TExportProgress &progress) const;
    void checkTargets() const;

    TDatabase &m_db;
    QString m_table;
    QList<TColumnDesc> m_columns;
    QString m_text;
};
