#include "CustomReport.h"

#include "KtReport.h"
#include "common/Exceptions.h"

TCustomReport::TCustomReport() = default;

TCustomReport::~TCustomReport() = default;

void TCustomReport::Preview()
{
    if (!ReportViewHook())
        throw ECustomReportError(QStringLiteral("Просмотр отчета недоступен"));
    ReportViewHook()(*this, false);
}

void TCustomReport::Print()
{
    if (!ReportViewHook())
        throw ECustomReportError(QStringLiteral("Печать отчета недоступна"));
    ReportViewHook()(*this, true);
}

void TCustomReport::AssignFrom(const TCustomReport &other)
{
    m_dataSource = other.m_dataSource;
    m_dataBaseName = other.m_dataBaseName;
    m_printName = other.m_printName;
    OnSetValues = other.OnSetValues;
    OnSetSQLParams = other.OnSetSQLParams;
    OnSetNames = other.OnSetNames;
    OnSetFuncs = other.OnSetFuncs;
    OnEndReport = other.OnEndReport;
    m_formatSource = other.m_formatSource;
    SetOneRecord(other.OneRecord());
    SetOEMConvert(other.OEMConvert());
    SetOrientation(other.Orientation());
    m_copies = other.m_copies;
    SetCopyMode(other.CopyMode());
}

void TReportParams::AssignTo(TCustomReport &report) const
{
    report.SetDataSet(DataSet);
    report.SetDataSource(DataSource);
    report.OnSetValues = OnSetValues;
    report.OnSetSQLParams = OnSetSQLParams;
    report.OnSetNames = OnSetNames;
    report.OnSetFuncs = OnSetFuncs;
    report.OnEndReport = OnEndReport;
    report.SetDataBaseName(DataBaseName);
    report.SetPrintName(PrintName);
}

void TReportParams::AssignFrom(TCustomReport &report)
{
    DataSet = report.GetDataSet();
    DataSource = report.DataSource();
    OnSetValues = report.OnSetValues;
    OnSetSQLParams = report.OnSetSQLParams;
    OnSetNames = report.OnSetNames;
    OnSetFuncs = report.OnSetFuncs;
    OnEndReport = report.OnEndReport;
    DataBaseName = report.DataBaseName();
    PrintName = report.PrintName();
}

namespace {

QList<TReportClass> &registry()
{
    // TKtReport is the kind this program brings; others may be added.
    static QList<TReportClass> classes = {
        {QStringLiteral("KtReport"), &TKtReport::AcceptsTemplate,
         [] { return std::unique_ptr<TCustomReport>(std::make_unique<TKtReport>()); }},
    };
    return classes;
}

void checkRegistry()
{
    if (registry().isEmpty())
        throw ECustomReportError(QStringLiteral("Не подключено ни одного наследника от TCustomReport"));
}

} // namespace

void RegisterReportClass(TReportClass reportClass)
{
    registry().append(std::move(reportClass));
}

const QList<TReportClass> &ReportClasses()
{
    return registry();
}

std::unique_ptr<TCustomReport> CreateReportFor(const QStringList &lines)
{
    checkRegistry();
    for (const TReportClass &c : registry())
        if (c.AcceptsTemplate(lines))
            return c.Create();
    throw ECustomReportError(QStringLiteral("Ошибка обработки отчета"));
}

std::unique_ptr<TCustomReport> CreateDefaultReport()
{
    checkRegistry();
    return registry().first().Create();
}

TReportViewHook &ReportViewHook()
{
    static TReportViewHook hook;
    return hook;
}
