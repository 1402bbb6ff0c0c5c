#include "BuiltinFunctions.h"

#include "CoreFunctions.h"
#include "common/Exceptions.h"

#include <QHash>

namespace {

struct TBuiltinRow {
    const char *name;
    int argCount;
    TByRefSet byRef;
    TFuncImpl core;   // empty: installed by another library
    // the core code only reads its arguments' values (TFunc::ReadsArgumentsOnly)
    bool readsOnly = false;
};

constexpr bool ReadsOnly = true;

const std::vector<TBuiltinRow> &table()
{
    namespace CF = CoreFunctions;
    // Position 255 inverts the set: {1, 255} is every argument but the
    // second, {255} every argument.
    static const std::vector<TBuiltinRow> rows = {
        {"Length", 1, {}, CF::Length, ReadsOnly},
        {"Pos", 2, {}, CF::Pos, ReadsOnly},
        {"Val", 1, {}, CF::Val, ReadsOnly},
        {"Trunc", 1, {}, CF::Trunc, ReadsOnly},
        {"Round", 1, {}, CF::Round, ReadsOnly},
        {"Rd2", 1, {}, CF::Rd2, ReadsOnly},
        {"GetFloat", 1, {}, CF::GetFloat},
        {"GetDate", 1, {}, CF::GetDate},
        {"GetString", 1, {}, CF::GetString},
        {"StrToDate", 1, {}, CF::StrToDate, ReadsOnly},
        {"DateToStr", 1, {}, CF::DateToStr, ReadsOnly},
        {"FloatToDate", 1, {}, CF::FloatToDate, ReadsOnly},
        {"DateToFloat", 1, {}, CF::DateToFloat, ReadsOnly},
        {"Ext2Money", 1, {}, CF::Ext2Money, ReadsOnly},
        {"Message", 1, {}, CF::Message},
        {"LowCase", 1, {}, CF::LowCase, ReadsOnly},
        {"UpCase", 1, {}, CF::UpCase, ReadsOnly},
        {"Copy", 3, {}, CF::Copy, ReadsOnly},
        {"Trim", 1, {}, CF::Trim, ReadsOnly},
        {"Delete", 3, {}, CF::Delete, ReadsOnly},
        {"Insert", 3, {}, CF::Insert, ReadsOnly},
        {"Ext2Str", 3, {}, CF::Ext2Str, ReadsOnly},
        {"GetQuery", 1, {}, {}},
        {"GetQueryExt", 1, {}, {}},
        {"GetQueryDate", 1, {}, {}},
        {"IsEndReport", 0, {}, CF::IsEndReport},
        {"Include", 2, {}, {}},
        {"OpenTable", 1, {}, {}},
        {"ExecLocal", 1, {}, {}},
        {"ExecSQL", 1, {}, {}},
        {"ExecProc", 1, {}, {}},
        {"GetValueStr", 2, {}, CF::GetValueStr},
        {"GetValueExt", 2, {}, CF::GetValueExt},
        {"GetValueDate", 2, {}, CF::GetValueDate},
        {"GetFileName", 1, {}, CF::GetFileName},
        {"Format", 2, {}, CF::Format, ReadsOnly},
        {"DeleteSpace", 1, {}, CF::DeleteSpace, ReadsOnly},
        {"PutLine", 1, {}, CF::PutLine},
        {"Abort", 0, {}, CF::Abort},
        {"RenameFile", 2, {}, CF::RenameFile},
        {"OldStr", 1, ByRefPositions({0}), CF::OldStr},
        {"OldDate", 1, ByRefPositions({0}), CF::OldDate},
        {"OldExt", 1, ByRefPositions({0}), CF::OldExt},
        {"GetGroup", 3, ByRefPositions({1, 255}), {}},
        {"GetGroupVar", 2, ByRefPositions({0}), {}},
        {"CalcGroup", 1, ByRefPositions({0}), {}},
        {"CloseTable", 1, ByRefPositions({0}), {}},
        {"EmptyTable", 1, ByRefPositions({0}), {}},
        {"AddRecord", 1, ByRefPositions({0}), {}},
        {"Exchange", 2, ByRefPositions({0, 1}), CF::Exchange},
        {"Str2Params", 2, ByRefPositions({0, 255}), CF::Str2Params},
        {"FileExists", 1, {}, CF::FileExists},
        {"In", 2, {}, CF::In, ReadsOnly},
        {"ExecuteInclude", 1, {}, {}},
        {"AddOutputAlias", 2, {}, CF::AddOutputAlias},
        {"LPad", 2, {}, CF::LPad, ReadsOnly},
        {"RPad", 2, {}, CF::RPad, ReadsOnly},
        {"OpenOLE", 1, {}, {}},
        {"AddVarsOLE", 2, ByRefPositions({255}), {}},
        {"AddRecordOLE", 1, ByRefPositions({0}), {}},
        {"CloseOLE", 1, ByRefPositions({0}), {}},
        {"GetFromDictionary", 2, {}, {}},
        {"String", 1, {}, CF::String, ReadsOnly},
        {"Date", 1, {}, CF::Date, ReadsOnly},
        {"Number", 1, {}, CF::Number, ReadsOnly},
        {"Boolean", 1, {}, CF::Boolean, ReadsOnly},
        {"CreateOLEObject", 1, {}, {}},
    };
    return rows;
}

QHash<QString, TFuncImpl> &installed()
{
    static QHash<QString, TFuncImpl> impls;
    return impls;
}

} // namespace

void InstallBuiltinFunction(const QString &name, TFuncImpl implementation)
{
    for (const TBuiltinRow &row : table()) {
        if (name.compare(QLatin1String(row.name), Qt::CaseInsensitive) == 0) {
            if (implementation)
                installed().insert(QLatin1String(row.name), std::move(implementation));
            else
                installed().remove(QLatin1String(row.name));
            return;
        }
    }
    throw Exception(QStringLiteral("Неизвестная встроенная функция %1").arg(name));
}

void RegisterBuiltinFunctions(TCustomFuncList &list)
{
    for (const TBuiltinRow &row : table()) {
        TFuncImpl impl = row.core ? row.core : installed().value(QLatin1String(row.name));
        if (!impl)
            continue;
        TFunc &func = list.AddFunc(std::make_unique<TFunc>(QLatin1String(row.name), row.argCount,
                                                           std::move(impl), row.byRef));
        func.SetReadsArgumentsOnly(row.readsOnly && row.core);
    }
}

QStringList MissingBuiltinFunctions()
{
    QStringList names;
    for (const TBuiltinRow &row : table())
        if (!row.core && !installed().contains(QLatin1String(row.name)))
            names << QLatin1String(row.name);
    return names;
}

QStringList BuiltinFunctionNames()
{
    QStringList names;
    for (const TBuiltinRow &row : table())
        names << QLatin1String(row.name);
    return names;
}
