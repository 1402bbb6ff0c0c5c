#pragma once

#include "script/Commands.h"
#include "script/FuncList.h"
#include "script/ReportHost.h"
#include "script/ReportParser.h"
#include "script/VarList.h"
#include "script/VarStack.h"

#include "common/Exceptions.h"

#include <QStringList>
#include <memory>
#include <utility>

// Values written as "U" (undefined), "N:5", "S:text", "D:45000", "B:1",
// "M:line|line"; StoreValue puts one into a holder, ValueText reads one back.
inline void StoreValue(TReportVar &var, const QString &value)
{
    const QChar kind = value.isEmpty() ? QChar(u'U') : value[0];
    const QString text = value.mid(2);
    if (kind == u'N')
        var.SetAsNumber(text.toDouble());
    else if (kind == u'S')
        var.SetAsString(text);
    else if (kind == u'D')
        var.SetAsDate(text.toDouble());
    else if (kind == u'B')
        var.SetAsBoolean(text == u'1');
    else if (kind == u'M')
        var.SetAsMemo(text.split(u'|'));
}

inline QString ValueText(const TReportVar &var)
{
    switch (var.VarType()) {
    case vtUndefined: return QStringLiteral("U");
    case vtNumber: return QStringLiteral("N:") + QString::number(var.GetAsNumber());
    case vtString: return QStringLiteral("S:") + var.GetAsString();
    case vtDate: return QStringLiteral("D:") + QString::number(var.GetAsDate());
    case vtBoolean: return var.GetAsBoolean() ? QStringLiteral("B:1") : QStringLiteral("B:0");
    case vtMemo: return QStringLiteral("M:") + var.GetAsMemo().join(u'|');
    default: return VarTypeName(var.VarType());
    }
}

// A report as small as the script language needs: a variable list, a
// parameter list, a value stack and a function registry, with a compile
// that treats its text the way the template compiler treats a script block.
class TScriptTestHost : public TReportHost {
public:
    TVarList Vars;
    TParamList Params;
    TFuncList Funcs;
    TVarStack Stack;
    QStringList Lines;
    QList<std::pair<QString, QString>> Aliases;
    bool EndMode = false;

    TReportVar *FindVar(const QString &name) override { return Vars.FindVar(name); }
    TReportVar &GetVar(const QString &name) override { return Vars.GetVar(name); }
    TFunc *FindFunc(const QString &name) override { return Funcs.FindFunc(name); }
    bool IsEndMode() const override { return EndMode; }
    void PutLine(const QString &line) override { Lines << line; }
    void AddOutputAlias(const QString &alias, const QString &replacement) override
    {
        Aliases.append({alias, replacement});
    }

    // Declares variables from "A=N:2;S=S:x".
    void Preset(const QString &presets)
    {
        for (const QString &item : presets.split(u';', Qt::SkipEmptyParts)) {
            const qsizetype eq = item.indexOf(u'=');
            StoreValue(GetVar(item.left(eq)), item.mid(eq + 1));
        }
    }

    // The value of a variable as ValueText writes it; "none" when it is missing.
    QString Value(const QString &name)
    {
        TReportVar *var = FindVar(name);
        return var ? ValueText(*var) : QStringLiteral("none");
    }

    TFunc &AddFunc(const QString &name, int argCount, TFuncImpl impl, TByRefSet byRef = {})
    {
        return Funcs.AddFunc(std::make_unique<TFunc>(name, argCount, std::move(impl), byRef));
    }

    // Compiles a script block written on template lines separated by "\n",
    // starting at `blockOffset` in the template. A compile error leaves
    // ErrorPos at its template offset, as the template compiler does.
    void Compile(const QString &script, TCommandList &commands, int blockOffset = 0)
    {
        TKtReportParser parser(ScriptBlockText(script.split(u'\n')), blockOffset - 1, Params,
                               commands, *this);
        try {
            parser.Parse();
        } catch (const Exception &) {
            SetErrorPos(parser.Position() - 1);
            throw;
        }
    }

    // Compiles and runs a script block once.
    void Run(const QString &script)
    {
        TCommandList commands;
        Compile(script, commands);
        ExecuteCommands(commands, *this, Stack);
    }

    // The commands as one line, short kinds ("Assign" for TAssignCmd)
    // separated by " | ", without index and position.
    static QString Listing(const TCommandList &commands)
    {
        QStringList parts;
        for (int i = 0; i < commands.Count(); ++i) {
            QString kind = QString::fromLatin1(commands[i]->Kind());
            kind = kind.mid(1, kind.size() - 4);
            const QString operands = commands[i]->Operands();
            parts << (operands.isEmpty() ? kind : kind + u' ' + operands);
        }
        return parts.join(QStringLiteral(" | "));
    }
};
