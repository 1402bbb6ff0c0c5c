#pragma once

#include "CustomReport.h"
#include "PageGeometry.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

// A report template kept in SYS_REPORT, with the settings a run takes from
// its row.
struct TStoredReport {
    QStringList Template;
    // RE_RPT_PRN, or "report.prn" when none is stored.
    QString PrintName;
    // Landscape when RE_RPT_ORI is "L".
    TPageGeometry::Orientation Orientation = TPageGeometry::Portrait;
    // RE_RPT_ONE is "Д".
    bool OneRecord = false;
    // RE_RPT_PRV is "Д": the output is previewed rather than printed.
    bool Preview = false;
};

struct TReportParams;
class TCustomReport;
class TDataSet;

// The report in the current row of a query over SYS_REPORT.
TStoredReport StoredReportOfRecord(const TDataSet &query);

// The lines of the query that looks reports up by application, group and a
// name pattern (LIKE), with the parameters AppNam, GrpNam and RptNam.
const QStringList &StoredReportChooserSQL();

// The list of the report editor (AppNam; GrpNam a LIKE pattern) and one
// report, opened as an editable result (AppNam, GrpNam, RptNam).
const QStringList &ReportEditorListSql();
const QStringList &ReportRecordSql();

// Looks the first report of `group` whose name matches `namePattern` up in
// SYS_REPORT of `databaseName`, for the current AppName. No row gives none;
// engine errors (a missing table among them) propagate.
std::optional<TStoredReport> QueryStoredReport(const QString &group, const QString &namePattern,
                                               const QString &databaseName);

// The process-wide report storage lookup that the nested-report function
// Include calls. The storage windows may install their own; while the slot
// is empty, LoadStoredReport queries SYS_REPORT (QueryStoredReport).
using TLoadStoredReportHook = std::function<std::optional<TStoredReport>(
    const QString &group, const QString &namePattern, const QString &databaseName)>;
TLoadStoredReportHook &LoadStoredReportHook();
std::optional<TStoredReport> LoadStoredReport(const QString &group, const QString &namePattern,
                                              const QString &databaseName);

// The lines of a template text kept in a memo column (CR LF, LF or CR
// separate them; the line end of the last line starts no new line).
QStringList TemplateLines(const QString &text);

// Runs a stored report for a caller with the report's stored settings: a
// report component able to run the template, given the caller's settings,
// the stored orientation, output file and one-record flag, and the database
// of the walked dataset when that differs; prepared and executed. The caller
// previews or prints the output (Preview) and remembers the report's name.
std::unique_ptr<TCustomReport> RunStoredReport(const TStoredReport &stored, const TReportParams &params,
                                               const TReportNotify &prepared = {});
