#pragma once

#include "GridConditions.h"
#include "GridStateFile.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class Exception;
class TDataSet;
class TDBDataSet;
class TQuery;

// Table states: what a person did to a grid (search values, marks, builder
// rows and the builder's order), kept under a title per application and
// grid in SYS_GRIDS, and as ".GRD" files. Every statement runs on the
// database of the grid's own dataset, under the process-wide AppName.

// The group of a grid's states: the class name of the window that holds
// it, "_", its component name ("TSQLForm_SQLGrid").
QString GridGroupName(const QString &windowClassName, const QString &gridName);

// The statements on SYS_GRIDS, one line each.
const QStringList &GridStatesListSql();    // the group's states: :GrdName, :AppName
const QStringList &GridStateDeleteSql();   // :AppName, :GrdName, :GrdCmt; a COMMIT follows
const QStringList &GridStateSaveSql();     // updatable: :AppName, :GrdName, :GrdCmt
const QStringList &GridStatesEditorSql();  // :AppNam, :GrdNam (LIKE; "%" for all groups)
const QStringList &GridStateImportSql();   // updatable: :AppNam, :GrdNam, :GrdCmt
const QStringList &GridGroupsSql();        // the groups in use: :AppNam

// The state in the current record of a dataset over SYS_GRIDS.
TGridState GridStateOfRecord(const TDataSet &dataSet);
// The states of a group, as the chooser lists them.
QList<TGridState> GridStatesOfGroup(const QString &databaseName, const QString &group);
// Deletes a state and commits.
void DeleteGridState(const QString &databaseName, const QString &group, const QString &title);

// Saves what the grid holds under a title of its group: a state of the same
// title is overwritten, else a new one is added. GR_GRD_ORD receives the
// ORDER BY list of the query's text while the builder's order is in force;
// otherwise it is left as it was. Returns false, doing nothing, when there
// is nothing to save; raises "Название не может быть пустым" for an empty
// title. Nothing is committed here: the database's transaction handling
// applies.
bool SaveGridState(TDBDataSet &dataSet, const QString &group, const QString &title,
                   const TGridConditions &conditions);

// Brings a state back: its search values replace the grid's (the current
// ones turn into "^" so that their conditions go), its builder rows and
// order are applied, its marks replace the grid's marks (the marked-rows
// filter is not switched on), and the query is reopened. A state holding
// only an order keeps the current search values and builder rows.
void RestoreGridState(TQuery &query, TGridConditions &conditions, const TGridState &state);

// Clears search values, marks and builder rows and takes their conditions
// and the builder's order out of the query; reopens it when `reopen`. With
// `confirm` the person is asked first; returns false when the answer was
// not Yes.
bool ClearGridState(TQuery &query, TGridConditions &conditions, bool confirm, bool reopen);

// Writes one ".GRD" file per state of a group ("%" for all groups) into a
// directory, overwriting files of the same name; returns the paths written.
// A state whose file cannot be written is reported with "Ошибка записи
// состояния \"%s\" в группе \"%s\"", its error handed to `reportError`,
// and the export goes on; errors of reading SYS_GRIDS end it.
QStringList ExportGridStates(const QString &databaseName, const QString &group, const QString &dir,
                             const std::function<void(const Exception &)> &reportError = {});

// What an import did.
struct TGridStateImport {
    int Files = 0;        // ".GRD" files in the directory
    int Skipped = 0;      // names without "^"
    int Inserted = 0;
    int Updated = 0;
    int Deleted = 0;
    QStringList Failed;   // files whose state could not be added
};

// Reads the ".GRD" files of a directory in directory order: a new state is
// added, an existing one has its four parts replaced, a file with a
// ";DELETE" line deletes its state. A state that cannot be added is
// reported with "Ошибка добавления состояния \"%s\" в группе \"%s\"", its
// error handed to `reportError`, and the import goes on; other errors end
// it. `progress` is told after each file (done, total).
TGridStateImport ImportGridStates(const QString &databaseName, const QString &dir,
                                  const std::function<void(int done, int total)> &progress = {},
                                  const std::function<void(const Exception &)> &reportError = {});
