#pragma once

#include "data/Fields.h"
#include "script/ReportVar.h"

#include <QString>
#include <QVariant>
#include <functional>

class TKtReport;
class TQuery;

// The script functions that reach the database while a report runs:
// single values by SQL (GetQuery, GetQueryExt, GetQueryDate), statements
// (ExecSQL on the report's database, ExecLocal on the local directory
// database), stored procedures (ExecProc), local tables (OpenTable,
// CloseTable, EmptyTable, AddRecord), nested reports from SYS_REPORT
// (Include, ExecuteInclude) and the dictionary lookup. Installed
// into the built-in table by the report library.
void InstallDataFunctions();

// The variable type that takes a value of a field or parameter of `type`
// (a report's field variables, a stored procedure's output parameters):
// texts, numbers (NULL as 0), booleans, dates (NULL as 0) and memos (text
// split into lines); vtUndefined for kinds that are not copied (BCD,
// auto-increment, bytes and blobs).
TVarType VarTypeOf(TFieldType type);

// The dictionary lookup that GetFromDictionary calls: shows the choice
// window over the query `sql` on `databaseName` and returns the value of
// `fieldName` in the chosen row, or a null value when the person cancels.
// `bind` gives the dictionary's query the report's parameters.
struct TDictionaryRequest {
    TKtReport *Report = nullptr;
    QString DatabaseName;
    bool Search = true;
    int TitleRows = 2;
    QString FieldName;
    QString Sql;
    QString Columns;
    std::function<void(TQuery &)> Bind;
};
using TDictionaryLookup = std::function<QVariant(const TDictionaryRequest &)>;

// Installs the process-wide dictionary lookup (an empty one removes it);
// GetFromDictionary is registered only while one is installed.
void SetDictionaryLookup(TDictionaryLookup lookup);
