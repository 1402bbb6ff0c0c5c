// Runs a detail-like script (about twenty statements: arithmetic, string
// concatenation, IF, function calls) a million times, as a report runs its
// detail script once per record, and prints commands per second and the time
// per execution. The same work written directly in C++ over plain values is
// timed in the same run as the baseline.

#include "script/BuiltinFunctions.h"
#include "script/Commands.h"
#include "script/ReportHost.h"
#include "script/ReportParser.h"
#include "script/VarList.h"
#include "script/VarStack.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cmath>
#include <cstdio>

namespace {

class TBenchHost : public TReportHost {
public:
    TVarList Vars;
    TParamList Params;
    TFuncList Funcs;
    TVarStack Stack;
    TReportVar *FindVar(const QString &name) override { return Vars.FindVar(name); }
    TReportVar &GetVar(const QString &name) override { return Vars.GetVar(name); }
    TFunc *FindFunc(const QString &name) override { return Funcs.FindFunc(name); }
    bool IsEndMode() const override { return false; }
    void PutLine(const QString &) override {}
    void AddOutputAlias(const QString &, const QString &) override {}
};

const char *const Script[] = {
    "QTY := QTY + 1;",
    "PRICE := 10.5 + QTY / 100;",
    "SUM := QTY * PRICE;",
    "TAX := Rd2(SUM * 0.2);",
    "TOTAL := SUM + TAX;",
    "IF TOTAL > 1000 THEN BIG := BIG + 1; ELSE SMALL := SMALL + 1;",
    "NAME := 'Клиент ' + CODE;",
    "SHORT := Copy(NAME, 1, 6);",
    "LEN := Length(NAME);",
    "IF LEN > 8 AND QTY > 0 THEN FLAG := TRUE; ELSE FLAG := FALSE;",
    "ACC := ACC + TOTAL;",
    "AVG := ACC / QTY;",
    "ROUNDED := Round(AVG);",
    "GROUP2 := Trunc(QTY / 100);",
    "LINE := UpCase(SHORT) + '|' + CODE;",
    "P := Pos('|', LINE);",
    "IF P > 0 THEN TAIL := Copy(LINE, P + 1, 10);",
    "DIFF := TOTAL - SUM - TAX;",
    "IF DIFF <> 0 THEN ERRORS := ERRORS + 1;",
    "COUNTER := COUNTER + 1",
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 1000000;

    TBenchHost host;
    RegisterBuiltinFunctions(host.Funcs);
    for (const char *name : {"QTY", "ACC", "BIG", "SMALL", "ERRORS", "COUNTER"})
        host.GetVar(QLatin1String(name)).SetAsNumber(0);
    host.GetVar(QStringLiteral("CODE")).SetAsString(QStringLiteral("A-17"));
    QStringList lines;
    for (const char *line : Script)
        lines << QString::fromUtf8(line);
    TCommandList commands;
    TKtReportParser(ScriptBlockText(lines), -1, host.Params, commands, host).Parse();

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < runs; ++i)
        ExecuteCommands(commands, host, host.Stack);
    const double scriptSec = timer.nsecsElapsed() / 1e9;

    // The same work on plain C++ values.
    timer.restart();
    double qty = 0, acc = 0, big = 0, small = 0, errors = 0, counter = 0, sink = 0;
    const QString code = QStringLiteral("A-17");
    for (int i = 0; i < runs; ++i) {
        qty += 1;
        const double price = 10.5 + qty / 100, sum = qty * price;
        const double tax = std::trunc(sum * 0.2 * 100 + 0.5) / 100, total = sum + tax;
        (total > 1000 ? big : small) += 1;
        const QString name = QStringLiteral("Клиент ") + code;
        const QString shortName = name.left(6);
        const bool flag = name.size() > 8 && qty > 0;
        acc += total;
        const double avg = acc / qty;
        const QString line = shortName.toUpper() + u'|' + code;
        const qsizetype p = line.indexOf(u'|') + 1;
        const QString tail = p > 0 ? line.mid(p, 10) : QString();
        if (total - sum - tax != 0)
            errors += 1;
        counter += 1;
        sink += std::round(avg) + std::trunc(qty / 100) + flag + tail.size();
    }
    const double plainSec = timer.nsecsElapsed() / 1e9;

    // every command of the straight-line list once per run: an upper bound,
    // the branches not taken are skipped
    const double executed = double(commands.Count()) * runs;
    std::printf("script: %d commands, %d runs\n", commands.Count(), runs);
    std::printf("script time      %.3f s  (%.2f us per run, at most %.1f M commands/s)\n", scriptSec,
                scriptSec * 1e6 / runs, executed / scriptSec / 1e6);
    std::printf("plain C++ time   %.3f s  (%.2f us per run)\n", plainSec, plainSec * 1e6 / runs);
    std::printf("ratio script / plain: %.1f\n", scriptSec / plainSec);
    // both loops must have done the same work
    std::printf("checks: script counter %.0f big %.0f; plain counter %.0f big %.0f small %.0f (%.0f %.0f)\n",
                host.FindVar(QStringLiteral("COUNTER"))->GetAsNumber(),
                host.FindVar(QStringLiteral("BIG"))->GetAsNumber(), counter, big, small, errors, sink);
    return 0;
}
