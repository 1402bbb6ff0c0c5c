#include "Functions.h"

#include "common/Exceptions.h"
#include "office/OfficeFunctions.h"
#include "report/DataFunctions.h"
#include "report/GroupTable.h"
#include "script/BuiltinFunctions.h"

void InstallFunctions()
{
    InstallGroupTableFunctions();
    InstallDataFunctions();
    InstallOfficeFunctions();
    QStringList missing = MissingBuiltinFunctions();
    for (const QString &name : WindowFunctionNames())
        missing.removeAll(name);
    if (!missing.isEmpty())
        throw Exception(QStringLiteral("Не установлены встроенные функции: %1").arg(missing.join(QStringLiteral(", "))));
}

QStringList WindowFunctionNames()
{
    return {QStringLiteral("GetFromDictionary")};
}
