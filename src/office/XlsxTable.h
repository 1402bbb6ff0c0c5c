#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <memory>

// A column of a table written as a spreadsheet: its title and the kind of
// cell its values become.
struct TXlsxColumn {
    enum TKind { Text, Number, Date, DateTime, Time, Boolean };
    QString Title;
    TKind Kind = Text;
    // Numbers: the cell format ("0.00", "#,##0.00"); empty for General.
    QString NumberFormat;
};

// Writes a table to an .xlsx file with libxlsxwriter a row at a time, its
// memory not growing with the rows (libxlsxwriter's constant-memory mode
// writes each row out to its scratch files as the next begins): the titles
// bold in the first row, which stays in place when the rows scroll (a
// frozen pane), then a row per AddRow with cells typed by their column:
// numbers as numbers, dates and times as dates in a date format, texts as
// texts, Booleans as Booleans, NULL as an empty cell. A sheet takes
// 1,048,575 rows under its titles; the rows after them go on to the next
// sheet ("Лист2" ...) under the same titles. The column widths are set to
// the widest text shown in each column (FitColumn), at most MaxWidth
// characters.
//
// The scratch files and the finished file are made in a hidden folder
// beside the target, which Commit copies into place through TSafeFile: an
// error, or a writer dropped before Commit, leaves no file and an older one
// whole.
class TXlsxTableWriter {
public:
    static constexpr int MaxWidth = 60;
    static constexpr qint64 SheetRows = 1048575;   // under the title row
    static constexpr int MaxText = 32767;          // characters a cell holds

    // Raises "Не удается сохранить файл ..." when the workbook cannot be
    // started.
    TXlsxTableWriter(const QString &path, const QList<TXlsxColumn> &columns);
    ~TXlsxTableWriter();
    TXlsxTableWriter(const TXlsxTableWriter &) = delete;
    TXlsxTableWriter &operator=(const TXlsxTableWriter &) = delete;

    // One row: a value per column, of the column's kind (a number, a QDate,
    // QDateTime or QTime, a text, a bool); a null or invalid value is an
    // empty cell, a value the column's kind cannot take (a date outside
    // the spreadsheet's calendar) is written as its text. Texts longer than
    // a cell holds are cut.
    void AddRow(const QVariantList &values);
    // The column's text is `characters` wide somewhere: its width is the
    // widest such text (and its title), up to MaxWidth.
    void FitColumn(int column, int characters);
    // Closes the workbook and puts the file in place. Raises "Не удается
    // сохранить файл ...".
    void Commit();

private:
    struct TState;
    std::unique_ptr<TState> m;
};
