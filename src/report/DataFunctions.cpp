#include "DataFunctions.h"

#include "KtReport.h"
#include "StoredReports.h"

#include "common/Exceptions.h"
#include "data/DBError.h"
#include "data/Database.h"
#include "data/Query.h"
#include "script/BuiltinFunctions.h"

namespace {

// A table opened by a script; lives among the report's run objects.
struct TTableObject : TReportObject {
    TTable Table;
};

TTable *tableOf(const TReportVar &v)
{
    auto *t = dynamic_cast<TTableObject *>(v.GetAsObject());
    return t ? &t->Table : nullptr;
}

// One procedure for the query functions; `kind` is S, N, D (a value), E
// (a statement on the report's database) or L (on the local database).
void queryFunction(char kind, TReportHost &host, TParamList &p, TReportVar &r)
{
    TKtReport &report = TKtReport::Of(host);
    const QString sql = p[0]->GetAsString();
    const bool commit = kind == 'E' && (p.Count() < 2 || p[1]->GetAsBoolean());
    TQuery query;
    query.SetName(QStringLiteral("Query"));
    query.SetDatabaseName(kind == 'L' ? LocalDatabaseName() : report.DataBaseName());
    query.SetSQLText(sql);
    query.Prepare();
    if (query.ParamCount() > 0)
        report.BindQueryParams(query);
    if (kind == 'E' || kind == 'L') {
        try {
            query.ExecSQL();
            if (commit) {
                query.SetSQLText(QStringLiteral("COMMIT"));
                query.ExecSQL();
            }
        } catch (const Exception &e) {
            r.SetAsString(e.Message());
        }
        return;
    }
    query.Open();
    const bool empty = query.Eof() && query.Bof();
    TField *f = empty || query.FieldCount() == 0 ? nullptr : query.Fields(0);
    if (kind == 'S')
        r.SetAsString(f ? f->AsString() : QString());
    else if (kind == 'N')
        r.SetAsNumber(f && !f->IsNull() ? f->AsFloat() : 0.0);
    else
        r.SetAsDate(f && !f->IsNull() ? f->AsDateTime() : 0.0);
}

// An output parameter into its variable; a memo arrives as one text.
void storeByType(TReportVar &v, TFieldType type, const TParam &param)
{
    switch (VarTypeOf(type)) {
    case vtString:
    case vtMemo:
        v.SetAsString(param.AsString());
        break;
    case vtNumber:
        v.SetAsNumber(param.AsFloat());
        break;
    case vtBoolean:
        v.SetAsBoolean(param.AsBoolean());
        break;
    case vtDate:
        v.SetAsDate(param.AsDateTime());
        break;
    default:
        break;
    }
}

void execProc(TReportHost &host, TParamList &p, TReportVar &r)
{
    TKtReport &report = TKtReport::Of(host);
    TStoredProc proc;
    proc.SetDatabaseName(report.DataBaseName());
    proc.SetStoredProcName(p[0]->GetAsString());
    try {
        proc.Prepare();
    } catch (const EDBEngineError &e) {
        // an engine without stored procedures (SQLite) answers like a
        // failed execution: the script gets the engine's message
        if (e.Errors().isEmpty() || e.Errors().first().ErrorCode != DBErrorCode::NotSupported)
            throw;
        r.SetAsString(e.Message());
        return;
    }
    if (proc.ParamCount() > 0)
        report.BindProcParams(proc);
    try {
        proc.ExecProc();
        for (int i = 0; i < proc.ParamCount(); ++i) {
            const TParam &param = proc.Params()[i];
            if (param.ParamType() == ptOutput || param.ParamType() == ptInputOutput
                || param.ParamType() == ptResult)
                storeByType(report.GetVar(param.Name()), param.DataType(), param);
        }
    } catch (const Exception &e) {
        r.SetAsString(e.Message());
    }
}

void openTable(TReportHost &host, TParamList &p, TReportVar &r)
{
    TKtReport &report = TKtReport::Of(host);
    auto object = std::make_unique<TTableObject>();
    object->Table.SetName(QStringLiteral("Table"));
    object->Table.SetDatabaseName(LocalDatabaseName());
    object->Table.SetTableName(p[0]->GetAsString());
    TTableObject &table = report.AddRunObject(std::move(object));
    table.Table.Open();
    r.SetAsObject(&table);
}

void addRecord(TReportHost &host, TParamList &p, TReportVar &)
{
    TTable *table = tableOf(*p[0]);
    if (!table || !table->Active())
        return;
    TKtReport &report = TKtReport::Of(host);
    table->Insert();
    try {
        for (int i = 0; i < table->FieldCount(); ++i) {
            TField *f = table->Fields(i);
            const TReportVar *v = report.FindVar(f->FieldName());
            if (!v)
                continue;
            switch (v->VarType()) {
            case vtNumber:
                f->SetAsFloat(v->GetAsNumber());
                break;
            case vtString:
                f->SetAsString(v->GetAsString());
                break;
            case vtDate:
                f->SetAsDateTime(v->GetAsDate());
                break;
            case vtBoolean:
                f->SetAsBoolean(v->GetAsBoolean());
                break;
            case vtMemo:
                f->SetAsString(v->GetAsMemo().join(QStringLiteral("\r\n")));
                break;
            default:
                break;
            }
        }
        table->Post();
    } catch (...) {
        table->Cancel();   // no half-filled record stays in the table
        throw;
    }
}

// Include(Group, Name): the stored template as a nested report that shares
// the calling report's database, handlers and variables.
void include(TReportHost &host, TParamList &p, TReportVar &r)
{
    TKtReport &report = TKtReport::Of(host);
    const std::optional<TStoredReport> stored =
        LoadStoredReport(p[0]->GetAsString(), p[1]->GetAsString(), report.DataBaseName());
    if (!stored)
        return;
    TNestedReport &nested = report.AddRunObject(std::make_unique<TNestedReport>());
    TKtReport &sub = nested.Report;
    sub.SetFormatSource(stored->Template);
    sub.SetPrintName(stored->PrintName);
    sub.SetOrientation(stored->Orientation);
    sub.SetOneRecord(stored->OneRecord);
    sub.SetDataBaseName(report.DataBaseName());
    sub.OnSetValues = report.OnSetValues;
    sub.OnSetSQLParams = report.OnSetSQLParams;
    sub.OnSetFuncs = report.OnSetFuncs;
    // the calling report owns the nested one, so it outlives this handler
    sub.OnSetNames = [&report](TCustomReport &other) { report.CopyVarsTo(other); };
    r.SetAsObject(&nested);
}

// ExecuteInclude(R): the nested report's output lines as MEMO.
void executeInclude(TReportHost &host, TParamList &p, TReportVar &r)
{
    if (TNestedReport *nested = TKtReport::Of(host).RunSubReport(*p[0])) {
        r.SetAsMemo(nested->Memo);
        nested->Memo.clear();
    }
}

} // namespace

TVarType VarTypeOf(TFieldType type)
{
    switch (type) {
    case ftString:
        return vtString;
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftFloat:
    case ftCurrency:
        return vtNumber;
    case ftBoolean:
        return vtBoolean;
    case ftDate:
    case ftTime:
    case ftDateTime:
        return vtDate;
    case ftMemo:
        return vtMemo;
    default:
        return vtUndefined;
    }
}

void InstallDataFunctions()
{
    static const bool installed = [] {
        InstallBuiltinFunction(QStringLiteral("GetQuery"), [](TReportHost &h, TParamList &p, TReportVar &r) { queryFunction('S', h, p, r); });
        InstallBuiltinFunction(QStringLiteral("GetQueryExt"), [](TReportHost &h, TParamList &p, TReportVar &r) { queryFunction('N', h, p, r); });
        InstallBuiltinFunction(QStringLiteral("GetQueryDate"), [](TReportHost &h, TParamList &p, TReportVar &r) { queryFunction('D', h, p, r); });
        InstallBuiltinFunction(QStringLiteral("ExecSQL"), [](TReportHost &h, TParamList &p, TReportVar &r) { queryFunction('E', h, p, r); });
        InstallBuiltinFunction(QStringLiteral("ExecLocal"), [](TReportHost &h, TParamList &p, TReportVar &r) { queryFunction('L', h, p, r); });
        InstallBuiltinFunction(QStringLiteral("ExecProc"), execProc);
        InstallBuiltinFunction(QStringLiteral("OpenTable"), openTable);
        InstallBuiltinFunction(QStringLiteral("CloseTable"), [](TReportHost &, TParamList &p, TReportVar &) {
            if (TTable *t = tableOf(*p[0]))
                t->Close();
        });
        InstallBuiltinFunction(QStringLiteral("EmptyTable"), [](TReportHost &, TParamList &p, TReportVar &) {
            if (TTable *t = tableOf(*p[0])) {
                t->Close();
                t->EmptyTable();
            }
        });
        InstallBuiltinFunction(QStringLiteral("AddRecord"), addRecord);
        InstallBuiltinFunction(QStringLiteral("Include"), include);
        InstallBuiltinFunction(QStringLiteral("ExecuteInclude"), executeInclude);
        return true;
    }();
    (void)installed;
}

void SetDictionaryLookup(TDictionaryLookup lookup)
{
    if (!lookup) {
        InstallBuiltinFunction(QStringLiteral("GetFromDictionary"), {});
        return;
    }
    InstallBuiltinFunction(QStringLiteral("GetFromDictionary"),
                           [lookup](TReportHost &host, TParamList &p, TReportVar &r) {
        TKtReport &report = TKtReport::Of(host);
        TDictionaryRequest request;
        request.Report = &report;
        request.DatabaseName = report.DataBaseName();
        request.FieldName = p[0]->GetAsString();
        request.Sql = p[1]->GetAsString();
        if (p.Count() > 2)
            request.Columns = p[2]->GetAsString();
        if (p.Count() > 3)
            request.TitleRows = int(p[3]->GetAsNumber());
        if (p.Count() > 4)
            request.Search = p[4]->GetAsBoolean();
        request.Bind = [&report](TQuery &q) { report.BindQueryParams(q); };
        const QVariant value = request.FieldName.isEmpty() ? QVariant() : lookup(request);
        if (!value.isValid() || value.isNull())
            throw ECustomReportError(QStringLiteral("Выполнение прервано"));
        switch (value.typeId()) {
        case QMetaType::Double:
        case QMetaType::Float:
        case QMetaType::Int:
        case QMetaType::LongLong:
            r.SetAsNumber(value.toDouble());
            break;
        case QMetaType::QDate:
            r.SetAsDate(QDateToDateTime(value.toDate()));
            break;
        case QMetaType::QDateTime:
            r.SetAsDate(QDateTimeToDateTime(value.toDateTime()));
            break;
        case QMetaType::QTime:
            r.SetAsDate(QTimeToDateTime(value.toTime()));
            break;
        case QMetaType::Bool:
            r.SetAsBoolean(value.toBool());
            break;
        case QMetaType::QString:
            r.SetAsString(value.toString());
            break;
        default:
            break;
        }
    });
}
