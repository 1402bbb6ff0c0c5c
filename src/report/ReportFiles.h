#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// Report templates of SYS_REPORT written to and read from a folder of .FMT
// files, without windows. A .FMT file is a text file in the code page with
// CR LF line ends; its first four lines are the header ";group", ";name",
// ";L" or ";P", ";application"; an optional fifth line ";DELETE" asks the
// import to delete the report; the rest is the template.
//
// Both operations work on the rows of the current AppName and report what
// they did per file; a file that fails is reported and the others are still
// handled. Every change of the table is one statement (insert, update or
// delete of one row by its key), so a failure leaves no row half-written.

// What happened to one row (export) or one file (import).
enum class TFmtAction {
    // export
    Written,         // the template was written to its file
    Overwritten,     // written over the file of an earlier row of the same export
    EmptyTemplate,   // the row has no template lines: no file
    // import
    Added,           // a new row
    Replaced,        // the stored template differed and was replaced
    Unchanged,       // the stored template equals the file
    Deleted,         // ";DELETE" removed the row
    NothingToDelete, // ";DELETE" for a report that is not stored
    TooShort,        // fewer than four lines
    BadHeader,       // one of the first three lines is neither empty nor a comment
    OtherApplication,// the fourth line names another application
    OtherGroup,      // the import was limited to a group and the file is of another
    // both
    Failed,          // the file could not be written or read, or the table refused the change
};

struct TFmtEntry {
    TFmtAction Action = TFmtAction::Failed;
    QString File;    // the full path of the .FMT file
    QString Group;   // the report's group and name, as far as known
    QString Name;
    // Failed: the message naming the report ("Ошибка добавления отчета ...")
    // or the file; Overwritten: the report whose file was overwritten.
    QString Message;
    // Failed: the error itself (the engine's text, "Не могу открыть файл ...").
    QString Error;
    // Written or Overwritten: characters that the code page lacks were
    // written as "?".
    bool LostCharacters = false;
};

struct TFmtResult {
    QList<TFmtEntry> Entries;
    // The import stopped at the person's request (the abort prompt answered
    // with Yes); the files before that were handled.
    bool Aborted = false;

    int Count(TFmtAction action) const;
    bool HasFailures() const { return Count(TFmtAction::Failed) > 0; }
    // The import added, replaced or deleted at least one row.
    bool Changed() const;
};

// The header lines of a report's file.
QStringList FmtHeader(const QString &group, const QString &name, const QString &orientation,
                      const QString &appName);
// The file's lines: the template with the header written into it. For each
// header position 1 to 4 a template line at that position that is empty or
// a comment (";...") is replaced, otherwise the header line is inserted
// there; a template that was read from such a file gets its header replaced,
// not a second one.
QStringList FmtFileLines(const QStringList &header, const QStringList &templateLines);
// The file name for a report's output file name: the name without its
// folder, "REPORT.PRN" when none, with the extension made ".FMT"; kept to
// safe characters (FileNameOfText), so the file stays in the folder.
QString FmtFileName(const QString &printName);
// The output file name an imported report gets: the file's name with the
// extension ".PRN", in lower case.
QString FmtPrintName(const QString &fileName);

// Writes every report of `group` (all groups when none) of AppName in
// SYS_REPORT of `databaseName` to `folder` (made when missing), one file per
// row, in the order of group and name. Rows with an empty template are
// skipped; rows with the same file name overwrite each other's file and the
// later one is reported as Overwritten. Engine errors of reading the table
// propagate.
TFmtResult ExportReportFiles(const QString &databaseName, const QString &folder,
                             const std::optional<QString> &group = std::nullopt);

// Progress of an import: called with (0, total, "") before the first file and
// with (done, total, file) after each file.
using TFmtProgress = std::function<void(int done, int total, const QString &file)>;

// Reads the *.FMT files of `folder` (in name order) into SYS_REPORT of
// `databaseName` under AppName. A file with a valid header adds its report
// (the whole file is the template; preview "Д", one record "Н", the
// orientation letter of the header, "P" when empty, and the output file
// FmtPrintName), replaces the template of a stored report when the text
// differs (the other columns stay), or, with ";DELETE" as fifth line,
// deletes the report. With `group`, files of other groups are skipped.
// CheckAbort is asked before each file. Raises "Папка %s не найдена" for a
// missing folder; an unusable SYS_REPORT raises the engine's error before
// any file is handled.
TFmtResult ImportReportFiles(const QString &databaseName, const QString &folder,
                             const std::optional<QString> &group = std::nullopt,
                             const TFmtProgress &progress = {});
