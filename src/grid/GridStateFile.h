#pragma once

#include <QString>
#include <QStringList>

// A table state as stored in a row of SYS_GRIDS and in a ".GRD" file.
struct TGridState {
    QString Group;        // GR_GRD_NAM: window class "_" grid name
    QString Title;        // GR_GRD_CMT
    QStringList Search;   // GR_GRD_SRH: "field=value" lines
    QStringList Choice;   // GR_GRD_CHS: marks, same form
    QStringList Build;    // GR_GRD_BLD: the query builder's rows
    QStringList Order;    // GR_GRD_ORD: the builder's ORDER BY list
    bool Delete = false;  // the file orders the state's deletion

    bool operator==(const TGridState &) const = default;
};

// "<dir>/<group>^<title>.GRD", group and title kept to the characters
// safe in one file name (FileNameOfText): "/", "\\", ":" and the like
// become "_", so a state's file never lands outside `dir`.
QString GridStateFileName(const QString &dir, const QString &group, const QString &title);
// Group and title from a state file's name (without directory): the name
// without its extension split at its first "^". False when there is no "^".
bool SplitGridStateFileName(const QString &fileName, QString &group, QString &title);

// The file's lines: "[SEARCH]", "[CHOICE]", "[BUILD]" and "[ORDER]", each
// followed by its lines.
QStringList GridStateFileLines(const TGridState &state);
// The lines of a section: those after the line that is exactly "[name]", up
// to the next line starting with "["; empty lines left out.
QStringList GridStateSection(const QStringList &lines, const QString &name);
// The state in a file's lines. Group and title come from the file name;
// `Delete` is set when a line starts with ";DELETE" (any letter case).
TGridState ParseGridStateLines(const QStringList &lines);

// Writes a state file in the configured code page, overwriting one of the
// same name; returns its path.
QString WriteGridStateFile(const QString &dir, const TGridState &state);
// Reads a state file; false (and nothing read) when its name has no "^".
bool ReadGridStateFile(const QString &path, TGridState &state);
// The ".GRD" files of a directory, in directory order.
QStringList GridStateFiles(const QString &dir);
