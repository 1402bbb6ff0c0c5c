#pragma once

#include "TestSupport.h"

#include "office/OfficeFiles.h"
#include "office/OfficeFunctions.h"

#include "script/Commands.h"
#include "script/FuncList.h"
#include "script/ReportHost.h"
#include "script/ReportObject.h"
#include "script/ReportParser.h"
#include "script/VarList.h"
#include "script/VarStack.h"

#include "common/Exceptions.h"
#include "common/Settings.h"
#include "common/UserInterface.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryFile>

#include <memory>
#include <vector>

// A report as small as the office functions need: variables, the call
// parameters, the function registry with the office functions, the run
// objects, and scripts compiled and run as a template's script block is.
class TOfficeTestHost : public TReportHost, public TRunObjectOwner {
public:
    TVarList Vars;
    TParamList Params;
    TFuncList Funcs;
    TVarStack Stack;
    std::vector<std::unique_ptr<TReportObject>> RunObjects;
    int Aborts = 0;

    TOfficeTestHost()
    {
        for (const TOfficeFuncEntry &entry : OfficeFuncTable())
            Funcs.AddFunc(std::make_unique<TFunc>(QString::fromLatin1(entry.Name), entry.ArgCount,
                                                  entry.Implementation, entry.ByRef));
    }

    TReportVar *FindVar(const QString &name) override { return Vars.FindVar(name); }
    TReportVar &GetVar(const QString &name) override { return Vars.GetVar(name); }
    TFunc *FindFunc(const QString &name) override { return Funcs.FindFunc(name); }
    bool IsEndMode() const override { return false; }
    void PutLine(const QString &) override {}
    void AddOutputAlias(const QString &, const QString &) override {}
    [[noreturn]] void Abort(const std::optional<QString> &message) override
    {
        ++Aborts;
        TReportHost::Abort(message);
    }

    TReportObject &AddRunObject(std::unique_ptr<TReportObject> object) override
    {
        RunObjects.push_back(std::move(object));
        return *RunObjects.back();
    }

    // Calls a function of the registry as the interpreter does: the listed
    // variables by reference, the result cleared first.
    void Call(const QString &name, const QList<TReportVar *> &args, TReportVar &result)
    {
        TFunc *func = Funcs.FindFunc(name);
        QVERIFY2(func, qPrintable(name));
        Params.Clear();
        for (TReportVar *arg : args)
            Params.AddByRef(*arg);
        result.Clear();
        func->Implementation()(*this, Params, result);
    }

    // Compiles and runs a script block of lines separated by "\n".
    void Run(const QString &script)
    {
        TCommandList commands;
        TKtReportParser parser(ScriptBlockText(script.split(u'\n')), -1, Params, commands, *this);
        parser.Parse();
        ExecuteCommands(commands, *this, Stack);
    }
};

// Records what a run would have shown to a person.
class TRecordingUserInterface : public TUserInterface {
public:
    QStringList Messages;

    TRecordingUserInterface() : m_previous(SetUserInterface(this)) {}
    ~TRecordingUserInterface() override { SetUserInterface(m_previous); }

    int MessageDlg(const QString &text, const QString &, Kind, const QList<Button> &buttons) override
    {
        Messages << text;
        return buttons.isEmpty() ? int(mbOK) : int(buttons.first());
    }

private:
    TUserInterface *m_previous;
};

// Records the files an application asked the desktop to open.
class TRecordingOpener {
public:
    QStringList Opened;

    TRecordingOpener()
    {
        m_previous = SetFileOpener([this](const QString &path) { Opened << path; });
    }
    ~TRecordingOpener() { SetFileOpener(std::move(m_previous)); }

private:
    TFileOpener m_previous;
};

// The names of the files in ProgramDir() with that suffix.
inline QStringList ProgramDirFiles(const QString &suffix)
{
    return QDir(ProgramDir()).entryList({QStringLiteral("*") + suffix}, QDir::Files, QDir::Name);
}

// Removes every file of ProgramDir(), so a test starts with none.
inline void ClearProgramDir()
{
    QDir dir(ProgramDir());
    for (const QString &name : dir.entryList(QDir::Files))
        dir.remove(name);
}

// Debian's openpyxl reads an .xlsx independently of libxlsxwriter. The
// result: {"sheets": [names], "active": name, "cells": {"Sheet!A1": {"type",
// "value", "format", "bold", "italic", "size", "font"}}, "widths":
// {"Sheet!A": width}}. Dates and times come as ISO texts.
inline const char *XlsxReaderScript = R"PY(
import json, sys, datetime, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
out = {"sheets": wb.sheetnames, "active": wb.active.title, "cells": {}, "widths": {}}
for ws in wb.worksheets:
    for row in ws.iter_rows():
        for c in row:
            if c.value is None and c.number_format == "General" and not c.font.b:
                continue
            v = c.value
            if isinstance(v, (datetime.datetime, datetime.date, datetime.time)):
                v = v.isoformat()
            out["cells"][ws.title + "!" + c.coordinate] = {
                "type": type(c.value).__name__, "value": v, "format": c.number_format,
                "bold": bool(c.font.b), "italic": bool(c.font.i), "size": c.font.sz,
                "font": c.font.name, "strike": bool(c.font.strike),
                "underline": c.font.u or ""}
    for letter, dim in ws.column_dimensions.items():
        if dim.width:
            out["widths"][ws.title + "!" + letter] = dim.width
print(json.dumps(out))
)PY";

// False when /usr/bin/python3 cannot import openpyxl.
inline bool HaveOpenpyxl()
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral("import openpyxl")});
    return python.waitForFinished(30000) && python.exitStatus() == QProcess::NormalExit
           && python.exitCode() == 0;
}

inline QJsonObject ReadXlsx(const QString &path)
{
    QTemporaryFile script;
    if (!script.open())
        return {};
    script.write(XlsxReaderScript);
    script.flush();
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {script.fileName(), path});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        qWarning("openpyxl failed: %s", python.readAllStandardError().constData());
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

#define REQUIRE_OPENPYXL()                                                                          \
    do {                                                                                            \
        if (!HaveOpenpyxl())                                                                        \
            QSKIP("/usr/bin/python3 cannot import openpyxl (Debian package python3-openpyxl): "     \
                  "the .xlsx file is not read back");                                               \
    } while (false)

#define REQUIRE_UNZIP()                                                                             \
    do {                                                                                            \
        if (!HaveUnzip())                                                                           \
            QSKIP("unzip is not installed: the .odt file is not read back");                        \
    } while (false)
