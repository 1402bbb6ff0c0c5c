#include "StoredReports.h"

#include "CustomReport.h"

#include "common/AppName.h"
#include "data/Fields.h"
#include "data/Query.h"

const QStringList &StoredReportChooserSQL()
{
    static const QStringList sql{
        QStringLiteral("SELECT * FROM SYS_REPORT"),
        QStringLiteral("WHERE"),
        QStringLiteral("RE_APP_NAM = :AppNam AND"),
        QStringLiteral("RE_GRP_NAM = :GrpNam AND"),
        QStringLiteral("RE_RPT_NAM LIKE :RptNam"),
    };
    return sql;
}

const QStringList &ReportEditorListSql()
{
    static const QStringList sql{
        QStringLiteral("SELECT * FROM SYS_REPORT"),
        QStringLiteral("WHERE"),
        QStringLiteral("RE_APP_NAM = :AppNam AND"),
        QStringLiteral("RE_GRP_NAM LIKE :GrpNam"),
        QStringLiteral("ORDER BY RE_GRP_NAM"),
    };
    return sql;
}

const QStringList &ReportRecordSql()
{
    static const QStringList sql{
        QStringLiteral("SELECT * FROM SYS_REPORT"),
        QStringLiteral("WHERE"),
        QStringLiteral("RE_APP_NAM = :AppNam AND"),
        QStringLiteral("RE_GRP_NAM = :GrpNam AND"),
        QStringLiteral("RE_RPT_NAM = :RptNam"),
    };
    return sql;
}

QStringList TemplateLines(const QString &text)
{
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(u'\r', u'\n');
    if (lines.isEmpty())
        return {};
    QStringList result = lines.split(u'\n');
    if (result.last().isEmpty())
        result.removeLast();
    return result;
}

TStoredReport StoredReportOfRecord(const TDataSet &query)
{
    TStoredReport report;
    report.Template = TemplateLines(query.FieldByName(QStringLiteral("RE_RPT_FMT"))->AsString());
    const TField *prn = query.FieldByName(QStringLiteral("RE_RPT_PRN"));
    report.PrintName = prn->IsNull() || prn->AsString().isEmpty() ? QStringLiteral("report.prn") : prn->AsString();
    report.Orientation = query.FieldByName(QStringLiteral("RE_RPT_ORI"))->AsString() == u"L"
                             ? TPageGeometry::Landscape
                             : TPageGeometry::Portrait;
    report.OneRecord = query.FieldByName(QStringLiteral("RE_RPT_ONE"))->AsString() == u"Д";
    report.Preview = query.FieldByName(QStringLiteral("RE_RPT_PRV"))->AsString() == u"Д";
    return report;
}

std::optional<TStoredReport> QueryStoredReport(const QString &group, const QString &namePattern,
                                               const QString &databaseName)
{
    TQuery query;
    query.SetName(QStringLiteral("ReportQuery"));
    query.SetDatabaseName(databaseName);
    query.SetSQL(StoredReportChooserSQL());
    query.ParamByName(QStringLiteral("AppNam")).SetAsString(AppName());
    query.ParamByName(QStringLiteral("GrpNam")).SetAsString(group);
    query.ParamByName(QStringLiteral("RptNam")).SetAsString(namePattern);
    query.Open();
    if (query.Eof() && query.Bof())
        return std::nullopt;
    return StoredReportOfRecord(query);
}

TLoadStoredReportHook &LoadStoredReportHook()
{
    static TLoadStoredReportHook hook;
    return hook;
}

std::optional<TStoredReport> LoadStoredReport(const QString &group, const QString &namePattern,
                                              const QString &databaseName)
{
    if (const TLoadStoredReportHook &hook = LoadStoredReportHook())
        return hook(group, namePattern, databaseName);
    return QueryStoredReport(group, namePattern, databaseName);
}

std::unique_ptr<TCustomReport> RunStoredReport(const TStoredReport &stored, const TReportParams &params,
                                               const TReportNotify &prepared)
{
    std::unique_ptr<TCustomReport> report = CreateReportFor(stored.Template);
    params.AssignTo(*report);
    report->SetOrientation(stored.Orientation);
    if (auto *ds = dynamic_cast<TDBDataSet *>(report->GetDataSet());
        ds && ds->DatabaseName() != report->DataBaseName())
        report->SetDataBaseName(ds->DatabaseName());
    report->SetFormatSource(stored.Template);
    report->SetPrintName(stored.PrintName.isEmpty() ? QStringLiteral("report.prn") : stored.PrintName);
    if (stored.OneRecord)
        report->SetOneRecord(true);
    report->Prepare();
    if (prepared)
        prepared(*report);
    report->Execute();
    return report;
}
