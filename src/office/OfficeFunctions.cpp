#include "OfficeFunctions.h"

#include "OLELink.h"
#include "OleObjectList.h"

#include "report/KtReport.h"
#include "script/BuiltinFunctions.h"
#include "script/ReportHost.h"
#include "script/ReportVar.h"
#include "script/VarList.h"

#include "common/Exceptions.h"

#include <vector>

namespace {

// The link a variable holds, or none.
TOLELink *linkOf(const TReportVar &var)
{
    return dynamic_cast<TOLELink *>(var.GetAsObject());
}

} // namespace

void FuncOpenOLE(TReportHost &report, TParamList &params, TReportVar &result)
{
    auto *component = dynamic_cast<TKtReport *>(&report);
    auto *owner = dynamic_cast<TRunObjectOwner *>(&report);
    if (!component && !owner)
        throw ECustomReportError(QStringLiteral("OPENOLE: отчет не хранит объекты выполнения"));
    auto link = std::make_unique<TOLELink>(params[0]->GetAsString(), &report);
    if (component)
        result.SetAsObject(&component->AddRunObject(std::move(link)));
    else
        result.SetAsObject(&owner->AddRunObject(std::move(link)));
}

void FuncAddVarsOLE(TReportHost &, TParamList &params, TReportVar &)
{
    TOLELink *link = linkOf(*params[0]);
    if (!link)
        return;
    std::vector<TReportVar *> vars;
    for (int i = 1; i < params.Count(); ++i)
        vars.push_back(params[i]);
    link->AddVars(vars);
}

void FuncAddRecordOLE(TReportHost &, TParamList &params, TReportVar &)
{
    if (TOLELink *link = linkOf(*params[0]))
        link->AddRecord();
}

void FuncCloseOLE(TReportHost &, TParamList &params, TReportVar &)
{
    if (TOLELink *link = linkOf(*params[0]))
        link->Finish();
}

void FuncCreateOLEObject(TReportHost &, TParamList &params, TReportVar &result)
{
    result.SetAsDispatch(CreateOLEObject(params[0]->GetAsString()));
}

const std::vector<TOfficeFuncEntry> &OfficeFuncTable()
{
    static const std::vector<TOfficeFuncEntry> table = {
        {58, "OpenOLE", 1, {}, FuncOpenOLE},
        {59, "AddVarsOLE", 2, ByRefPositions({255}), FuncAddVarsOLE},
        {60, "AddRecordOLE", 1, ByRefPositions({0}), FuncAddRecordOLE},
        {61, "CloseOLE", 1, ByRefPositions({0}), FuncCloseOLE},
        {67, "CreateOLEObject", 1, {}, FuncCreateOLEObject},
    };
    return table;
}

void InstallOfficeFunctions()
{
    for (const TOfficeFuncEntry &entry : OfficeFuncTable())
        InstallBuiltinFunction(QString::fromLatin1(entry.Name), entry.Implementation);
}
