// The interpreter's plan against the plain reading of the commands: every
// program is compiled twice, into two hosts prepared alike, and run by the
// plan in one and command by command (SetPlanEnabled(false)) in the other.
// After every run both must hold the same variables (type, value and
// previous values), the same error text and ErrorPos, the same stack depth
// and the same calls on their automation objects.

#include "TestSupport.h"

#include "ScriptCorpus.h"

#include "script/BuiltinFunctions.h"
#include "script/CommandPlan.h"

#include <QRandomGenerator>
#include <functional>

namespace {

bool isRegister(const TReportVar &var)
{
    return var.Name() == QLatin1String("@A") || var.Name() == QLatin1String("@B");
}

QString numberText(double value)
{
    return QString::number(value, 'g', 17);
}

QString textOf(const QString &text)
{
    return text.isNull() ? QStringLiteral("null") : u'\'' + text + u'\'';
}

// Everything a holder shows: its type, value and previous values.
QString holderText(const TReportVar &var)
{
    QString text = var.Name() + u' ' + VarTypeName(var.VarType());
    switch (var.VarType()) {
    case vtNumber: text += u' ' + numberText(var.GetAsNumber()); break;
    case vtDate: text += u' ' + numberText(var.GetAsDate()); break;
    case vtBoolean: text += var.GetAsBoolean() ? QStringLiteral(" TRUE") : QStringLiteral(" FALSE"); break;
    case vtString: text += u' ' + textOf(var.StringValue()); break;
    case vtMemo: text += u' ' + var.GetAsMemo().join(u'|'); break;
    case vtDispatch: text += var.GetAsDispatch() ? QStringLiteral(" object") : QStringLiteral(" none"); break;
    default: break;
    }
    return text + QStringLiteral(" prev ") + numberText(var.PrevNum()) + u' ' + textOf(var.PrevStr()) + u' '
           + var.PrevMemo().join(u'|');
}

// An automation object that answers by member and writes down every call.
class TLoggingServer : public TDispatchObject, public std::enable_shared_from_this<TLoggingServer> {
public:
    QStringList Log;

    void Invoke(const QString &member, TCallKind kind, std::span<TDispArg> args, TDispValue *result) override
    {
        QString call = member + QStringLiteral(" kind %1").arg(int(kind));
        double sum = 0;
        for (TDispArg &a : args) {
            call += QStringLiteral(" [%1%2 %3]")
                        .arg(a.ByRef ? QStringLiteral("&") : QString())
                        .arg(int(a.Value.Type))
                        .arg(a.Value.Type == TDispValue::String ? a.Value.StrValue : numberText(a.Value.NumValue));
            sum += a.Value.NumValue;
            if (a.ByRef && a.Value.Type == TDispValue::Double)
                a.Value.NumValue *= 2;
        }
        Log << call;
        const QString name = member.toUpper();
        if (name == QLatin1String("FAIL"))
            throw EOleError(QStringLiteral("Method 'Fail' not supported by automation object"));
        if (!result)
            return;
        if (name == QLatin1String("NUM"))
            *result = TDispValue::FromDouble(sum + double(args.size()));
        else if (name == QLatin1String("TEXT"))
            *result = TDispValue::FromString(QStringLiteral("t%1").arg(args.size()));
        else
            *result = TDispValue::FromDispatch(shared_from_this());
    }
};

// A host for the generated programs: typed variables, functions shaped like
// the built-ins (by-reference ones, ones reading the registers, one that
// fails on long texts, one that runs another script of the same host, and
// those that only read their arguments marked so, as the built-ins are) and
// an automation object.
struct TPlanHost : TScriptTestHost {
    TCommandList Nested;
    std::shared_ptr<TLoggingServer> Server = std::make_shared<TLoggingServer>();

    TPlanHost()
    {
        Preset(QStringLiteral("N1=N:3;N2=N:-2.5;S1=S:ab;S2=S:;D1=D:45000;B1=B:1;M1=M:x|y;U1=U;"
                              "X1=U;X2=U;X3=U;X4=U;T1=U;T2=U;K=U"));
        GetVar(QStringLiteral("W")).SetAsDispatch(Server);
        auto self = this;
        AddFunc(QStringLiteral("Len"), 1, [](TReportHost &, TParamList &p, TReportVar &r) {
            r.SetAsNumber(double(p[0]->GetAsString().size()));
        });
        AddFunc(QStringLiteral("Cat"), 2, [](TReportHost &, TParamList &p, TReportVar &r) {
            r.SetAsString(p[0]->GetAsString() + p[1]->GetAsString());
        });
        AddFunc(QStringLiteral("Twice"), 1, [](TReportHost &, TParamList &p, TReportVar &r) {
            r.SetAsNumber(2 * p[0]->GetAsNumber());
        });
        AddFunc(QStringLiteral("Count"), -1, [](TReportHost &, TParamList &p, TReportVar &r) {
            r.SetAsNumber(p.Count());
        });
        AddFunc(QStringLiteral("Nothing"), 0, [](TReportHost &, TParamList &, TReportVar &) {});

        AddFunc(QStringLiteral("Store"), 2, [](TReportHost &, TParamList &p, TReportVar &) {
            p[0]->Clear();
            p[0]->Assign(*p[1]);
        }, ByRefPositions({0}));
        AddFunc(QStringLiteral("Bump"), 1, [](TReportHost &, TParamList &p, TReportVar &r) {
            p[0]->SetAsNumber(p[0]->GetAsNumber() + 1);
            r.SetAsNumber(p[0]->GetAsNumber());
        }, ByRefPositions({0}));
        AddFunc(QStringLiteral("Swap"), 2, [](TReportHost &, TParamList &p, TReportVar &) {
            TReportVar saved(QStringLiteral("SAVED"), nullptr);
            saved.Assign(*p[0]);
            p[0]->Clear();
            p[0]->Assign(*p[1]);
            p[1]->Clear();
            p[1]->Assign(saved);
        }, ByRefPositions({0, 1}));
        AddFunc(QStringLiteral("PeekA"), 0, [self](TReportHost &, TParamList &, TReportVar &r) {
            r.AssignFresh(*self->FindVar(QStringLiteral("@A")));
        });
        AddFunc(QStringLiteral("PeekB"), 0, [self](TReportHost &, TParamList &, TReportVar &r) {
            r.AssignFresh(*self->FindVar(QStringLiteral("@B")));
        });
        AddFunc(QStringLiteral("Fail"), 1, [](TReportHost &, TParamList &p, TReportVar &r) {
            if (p[0]->VarType() == vtString && p[0]->GetAsString().size() > 4)
                throw Exception(QStringLiteral("Сбой: ") + p[0]->GetAsString());
            r.AssignFresh(*p[0]);
        });
        AddFunc(QStringLiteral("Sub"), 0, [self](TReportHost &, TParamList &, TReportVar &r) {
            ExecuteCommands(self->Nested, *self, self->Stack);
            r.SetAsNumber(1);
        });
        Compile(QStringLiteral("T1 = @A; T2 = @B; K = K + 1; X4 = PeekB;"), Nested);
        for (const char *name : {"Len", "Cat", "Twice", "Count", "Fail"})
            FindFunc(QLatin1String(name))->SetReadsArgumentsOnly(true);
    }
};

// What a run left: every variable (the registers only after a run that
// ended normally: a failed run may leave a used-up register behind), the
// error, the stack and the automation calls.
QStringList outcome(TScriptTestHost &host, const QString &error, const QStringList *serverLog)
{
    QStringList lines{QStringLiteral("error ") + (error.isNull() ? QStringLiteral("none") : error),
                      QStringLiteral("ErrorPos %1").arg(host.ErrorPos()),
                      QStringLiteral("stack %1").arg(host.Stack.Count())};
    host.Vars.ForEach([&](TReportVar &v) {
        if (error.isNull() || !isRegister(v))
            lines << holderText(v);
    });
    if (serverLog)
        lines += *serverLog;
    return lines;
}

QString runOnce(TScriptTestHost &host, const TCommandList &commands)
{
    try {
        ExecuteCommands(commands, host, host.Stack);
    } catch (const Exception &e) {
        return e.Message();
    }
    return QString();
}

// ---------------------------------------------------------------------------
// Random programs of the script language, mostly well typed so that most
// runs get far, with a share of mixed types, wrong argument counts and
// failing calls so that runs also stop at every kind of command.

class TProgramGenerator {
public:
    explicit TProgramGenerator(quint32 seed) : m_random(seed) {}

    QString Program()
    {
        QStringList lines;
        const int statements = int(m_random.bounded(1, 9));
        for (int i = 0; i < statements; ++i)
            lines << statement(3);
        return lines.join(u'\n');
    }

private:
    int pick(int n) { return int(m_random.bounded(n)); }
    bool chance(int percent) { return pick(100) < percent; }
    QString oneOf(std::initializer_list<const char *> items)
    {
        return QString::fromUtf8(items.begin()[pick(int(items.size()))]);
    }

    QString statement(int depth)
    {
        const int r = pick(100);
        if (r < 45 || depth <= 0) {
            static const QList<std::pair<const char *, int>> targets = {
                {"N1", 0}, {"N2", 0}, {"X1", 0}, {"S1", 1}, {"S2", 1}, {"X2", 1}, {"B1", 2},
                {"X3", 2}, {"X4", 3}, {"U1", 3}, {"@A", 3}, {"@B", 3}};
            const auto &target = targets[pick(int(targets.size()))];
            return QString::fromLatin1(target.first) + (chance(50) ? QStringLiteral(" = ") : QStringLiteral(" := "))
                   + typed(target.second, 3) + u';';
        }
        if (r < 60) {
            switch (pick(6)) {
            case 0: return QStringLiteral("Bump(") + oneOf({"N1", "N2", "X1", "S1", "@A", "@B"}) + QStringLiteral(");");
            case 1: return QStringLiteral("Store(") + oneOf({"X4", "U1", "X1", "@B"}) + QStringLiteral(", ") + any(2) + QStringLiteral(");");
            case 2: return QStringLiteral("Swap(") + oneOf({"N1", "X1", "S1", "@A"}) + QStringLiteral(", ") + oneOf({"N2", "X1", "S2", "@B"}) + QStringLiteral(");");
            case 3: return QStringLiteral("Sub;");
            case 4: return QStringLiteral("Nothing;");
            default: return QStringLiteral("Count(") + any(2) + QStringLiteral(", ") + any(2) + QStringLiteral(");");
            }
        }
        if (r < 80) {
            QString text = QStringLiteral("IF ") + typed(2, 3) + QStringLiteral(" THEN ") + branch(depth - 1);
            if (chance(50))
                text += QStringLiteral(" ELSE ") + branch(depth - 1);
            return text;
        }
        if (r < 92) {
            switch (pick(3)) {
            case 0: return QStringLiteral("W.Value := ") + any(2) + u';';
            case 1: return QStringLiteral("W.Obj(") + any(2) + QStringLiteral(", &X1).Put(") + any(1) + QStringLiteral(");");
            default: return QStringLiteral("W.Go;");
            }
        }
        return QStringLiteral(";");
    }

    QString branch(int depth)
    {
        if (!chance(40))
            return statement(depth);
        QString text = QStringLiteral("{ ");
        const int n = int(m_random.bounded(0, 4));
        for (int i = 0; i < n; ++i)
            text += statement(depth) + u' ';
        return text + u'}';
    }

    // An expression of any type, now and then a mixed one.
    QString any(int depth)
    {
        if (chance(12))
            return typed(pick(4), depth) + oneOf({" + ", " - ", " * ", " = ", " < ", " || ", " AND "}) + typed(pick(4), depth);
        return typed(pick(4), depth);
    }

    // 0 number, 1 text, 2 boolean, 3 anything (dates, lists, registers,
    // undefined values, automation).
    QString typed(int type, int depth)
    {
        if (depth <= 0 || chance(30))
            return leaf(type);
        const int r = pick(100);
        if (r < 12)
            return u'(' + typed(type, depth - 1) + u')';
        if (r < 24)
            return call(type, depth - 1);
        switch (type) {
        case 0:
            if (r < 32)   // a minus inside a chain needs parentheses
                return QStringLiteral("(-") + typed(0, depth - 1) + u')';
            return typed(0, depth - 1) + oneOf({" + ", " - ", " * ", " / "}) + typed(0, depth - 1);
        case 1:
            return typed(1, depth - 1) + oneOf({" + ", " || "}) + typed(1, depth - 1);
        case 2:
            if (r < 32)
                return QStringLiteral("NOT ") + typed(2, depth - 1);
            if (r < 60)
                return typed(2, depth - 1) + oneOf({" AND ", " OR "}) + typed(2, depth - 1);
            {
                const int compared = pick(2);
                return typed(compared, depth - 1) + oneOf({" = ", " <> ", " < ", " > ", " <= ", " >= "})
                       + typed(compared, depth - 1);
            }
        default:
            if (r < 40)
                return QStringLiteral("D1 + ") + typed(0, depth - 1);
            return typed(pick(3), depth - 1);
        }
    }

    QString call(int type, int depth)
    {
        switch (type) {
        case 0:
            switch (pick(5)) {
            case 0: return QStringLiteral("Len(") + typed(1, depth) + u')';
            case 1: return QStringLiteral("Twice(") + typed(0, depth) + u')';
            case 2: return QStringLiteral("Bump(") + oneOf({"N1", "X1", "K"}) + u')';
            case 3: return QStringLiteral("W.Num(") + typed(0, depth) + QStringLiteral(", &N2)");
            default: return QStringLiteral("Count(") + any(depth) + QStringLiteral(", ") + typed(0, depth) + u')';
            }
        case 1:
            switch (pick(4)) {
            case 0: return QStringLiteral("Cat(") + typed(1, depth) + QStringLiteral(", ") + typed(1, depth) + u')';
            case 1: return QStringLiteral("Fail(") + typed(1, depth) + u')';
            case 2: return QStringLiteral("W.Obj.Text[") + typed(0, depth) + u']';
            default: return QStringLiteral("Cat(") + typed(1, depth) + u')';   // one argument short
            }
        case 2:
            return QStringLiteral("Fail(") + typed(2, depth) + u')';
        default:
            return oneOf({"PeekA", "PeekB", "Sub", "Nothing"});
        }
    }

    QString leaf(int type)
    {
        switch (type) {
        case 0: return oneOf({"0", "1", "7", "12", "1 . 5", "N1", "N2", "X1", "K", "D1 - D1"});
        case 1: return oneOf({"''", "'ab'", "'xyz'", "'a'#13'b'", "S1", "S2", "X2", "T1"});
        case 2: return oneOf({"TRUE", "FALSE", "B1", "X3"});
        default: return oneOf({"D1", "M1", "U1", "X4", "T2", "@A", "@B", "W", "PeekA", "PeekB", "W.Text"});
        }
    }

    QRandomGenerator m_random;
};

} // namespace

class ScriptPlanTest : public QObject {
    Q_OBJECT

private slots:
    void planRunsAsTheCommandsDo_data();
    void planRunsAsTheCommandsDo();
    void numberRunsAsTheCommandsDo_data();
    void numberRunsAsTheCommandsDo();
    void directCallsAsTheCommandsDo_data();
    void directCallsAsTheCommandsDo();
    void textRunsAsTheCommandsDo_data();
    void textRunsAsTheCommandsDo();
};

void ScriptPlanTest::planRunsAsTheCommandsDo_data()
{
    QTest::addColumn<QString>("source");   // "corpus" or "generated"
    QTest::addColumn<bool>("wrapped");     // a script block, or a raw parser text
    QTest::addColumn<int>("seed");
    QTest::addColumn<int>("programs");

    QTest::newRow("parser corpus, script blocks") << "corpus" << true << 0 << 0;
    QTest::newRow("parser corpus, raw texts") << "corpus" << false << 0 << 0;
    QTest::newRow("generated, seed 1") << "generated" << true << 1 << 1500;
    QTest::newRow("generated, seed 2") << "generated" << true << 2 << 1500;
    QTest::newRow("generated, seed 3") << "generated" << true << 3 << 1500;
}

void ScriptPlanTest::planRunsAsTheCommandsDo()
{
    QFETCH(QString, source);
    QFETCH(bool, wrapped);
    QFETCH(int, seed);
    QFETCH(int, programs);

    QStringList texts;
    if (source == QLatin1String("corpus")) {
        texts = ParserCorpus();
    } else {
        TProgramGenerator generator{quint32(seed)};
        for (int i = 0; i < programs; ++i)
            texts << generator.Program();
    }
    const bool generated = source == QLatin1String("generated");

    int compiled = 0, clean = 0, failed = 0, runSteps = 0, moves = 0;
    quint32 kindsPlanned = 0;
    for (const QString &text : std::as_const(texts)) {
        std::unique_ptr<TScriptTestHost> hosts[2];
        TCommandList lists[2];
        bool ok = true;
        for (int k = 0; k < 2 && ok; ++k) {
            if (generated) {
                auto host = std::make_unique<TPlanHost>();
                host->Nested.SetPlanEnabled(k == 0);
                hosts[k] = std::move(host);
            } else {
                hosts[k] = std::make_unique<TScriptTestHost>();
                PrepareCorpusHost(*hosts[k]);
            }
            lists[k].SetPlanEnabled(k == 0);
            try {
                if (wrapped) {
                    hosts[k]->Compile(text, lists[k]);
                } else {
                    TKtReportParser parser(text, -1, hosts[k]->Params, lists[k], *hosts[k]);
                    parser.Parse();
                }
            } catch (const Exception &) {
                ok = false;
            }
        }
        if (!ok)
            continue;
        ++compiled;
        QCOMPARE(TScriptTestHost::Listing(lists[0]), TScriptTestHost::Listing(lists[1]));
        // the second run works from the plan of the first, on what it left
        for (int run = 1; run <= 2; ++run) {
            QStringList results[2];
            for (int k = 0; k < 2; ++k) {
                const QString error = runOnce(*hosts[k], lists[k]);
                const auto *server = generated ? &static_cast<TPlanHost &>(*hosts[k]).Server->Log : nullptr;
                results[k] = outcome(*hosts[k], error, server);
            }
            if (results[0] != results[1]) {
                QString difference;
                for (qsizetype i = 0; i < qMax(results[0].size(), results[1].size()); ++i)
                    if (results[0].value(i) != results[1].value(i)) {
                        difference = QStringLiteral("planned:   %1\nunplanned: %2")
                                         .arg(results[0].value(i), results[1].value(i));
                        break;
                    }
                QFAIL(qPrintable(QStringLiteral("run %1 of:\n%2\n%3\n%4")
                                     .arg(run)
                                     .arg(text, difference, CommandListing(lists[0]).join(u'\n'))));
            }
            (results[0].first() == QLatin1String("error none") ? clean : failed) += 1;
        }
        const TCommandStep *steps = lists[0].Plan().Steps();
        for (int i = 0; i < lists[0].Count(); ++i) {
            runSteps += steps[i].Kind >= TCommandPlan::rkSavedOperand;
            moves += steps[i].TakeSource;
            kindsPlanned |= 1u << steps[i].Kind;
        }
    }
    qInfo("%lld programs, %d compiled: %d runs ended normally, %d failed; %d runs of commands and %d register "
          "moves planned",
          qlonglong(texts.size()), compiled, clean, failed, runSteps, moves);
    // the comparison covers the plan's work, and runs that end both ways
    QVERIFY(compiled > 50);
    if (wrapped) {
        QVERIFY(runSteps > compiled);
        QVERIFY(moves > compiled / 2);
    }
    if (generated) {
        QVERIFY(compiled > programs * 9 / 10);
        QVERIFY(clean > compiled / 3);
        QVERIFY(failed > compiled / 3);
        // every kind of step the plan knows was planned and compared
        for (int kind = TCommandPlan::rkAssignTaken; kind < TCommandPlan::KindCount; ++kind)
            QVERIFY2(kindsPlanned & (1u << kind), qPrintable(QStringLiteral("run kind %1").arg(kind)));
    }
}

void ScriptPlanTest::numberRunsAsTheCommandsDo_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("numberRuns");   // how many the plan finds

    // Every comparison on both sides of its boundary: N1 is 3.
    for (const char *op : {"=", "<>", "<", ">", "<=", ">="}) {
        for (const char *right : {"2", "3", "4"}) {
            const QString script = QStringLiteral("IF N1 %1 %2 THEN K := 1; ELSE K := 2;").arg(op, right);
            QTest::newRow(qPrintable(script)) << script << 1;
        }
    }
    for (const char *condition : {"N1 > 2 AND N2 < 0", "N1 > 2 AND N2 > 0", "N1 < 2 OR N2 < 0", "N1 < 2 OR N2 > 0",
                                  "N1 > 2 AND N2 > 0 OR N1 = 3"}) {
        const QString script = QStringLiteral("IF %1 THEN K := 1; ELSE K := 2;").arg(condition);
        QTest::newRow(qPrintable(script)) << script << 1;
    }
    QTest::newRow("operators in order") << "X1 := N1 - N2 * 2 + 7 / N1 - 1 . 5" << 1;
    QTest::newRow("one operator each") << "X1 := N2 - N1; K := N1 / N2; U1 := N2 * 3; X4 := 1 + N2" << 4;
    QTest::newRow("one operator, a division by zero") << "K := N1 - N1; X1 := N2 / K" << 2;
    QTest::newRow("parentheses") << "X1 := (N1 - N2) / (N1 + N2) * (0 - N1)" << 1;
    QTest::newRow("the target among the operands") << "N1 := N1 * N1 + N1" << 1;
    QTest::newRow("division by zero") << "X1 := N1 / (N1 - 3)" << 1;
    QTest::newRow("zero divided by zero") << "X1 := (N1 - 3) / (N1 - 3)" << 1;
    QTest::newRow("arguments") << "X1 := Twice(N1 * 2 + 1) + Count(N1 - 1, N2 + N1)" << 3;
    QTest::newRow("a condition of a computed value") << "IF N1 * 2 - 6 = 0 THEN K := 1;" << 1;
    QTest::newRow("texts") << "X2 := S1 + S1; IF S1 < S2 + S1 THEN K := 1;" << 2;
    QTest::newRow("a date") << "X4 := D1 + 1 - N1" << 1;
    QTest::newRow("an undefined variable") << "X1 := U1 + 1; IF U1 > 0 THEN K := 1;" << 2;
    QTest::newRow("mixed types") << "X1 := N1 + S1" << 1;
    QTest::newRow("a target of another type") << "S1 := N1 + 1" << 1;
    QTest::newRow("an undefined target") << "X4 := N1 + 1" << 1;
    // what a number run leaves in the registers, read by a function or,
    // after a failure, by the next run
    QTest::newRow("registers after a comparison") << "@B := N1; @A := N2; IF N2 < N1 + 1 THEN M1 := 7;" << 1;
    QTest::newRow("registers read by a function") << "X1 := N1 * N2; X4 := PeekA; U1 := PeekB" << 1;
    QTest::newRow("registers read by a later argument") << "K := Count(N1 * 2, PeekA, PeekB)" << 1;
    QTest::newRow("registers after a store") << "@B := N1; X1 := N1 * 2; M1 := 7;" << 1;
    QTest::newRow("registers after an argument") << "@A := N2; X1 := Twice(N1 * 2); M1 := 7;" << 1;
}

namespace {

// The script planned and not, run twice on hosts of their own with the
// built-ins beside the test functions: the plan must have `count` steps of
// `kind`, and both runs must end the same.
void comparePlanned(const QString &script, int kind, int count)
{
    TPlanHost hosts[2];
    TCommandList lists[2];
    for (int k = 0; k < 2; ++k) {
        RegisterBuiltinFunctions(hosts[k].Funcs);
        lists[k].SetPlanEnabled(k == 0);
        hosts[k].Compile(script, lists[k]);
    }
    int planned = 0;
    const TCommandPlan &plan = lists[0].Plan();
    const TCommandStep *steps = plan.Steps();
    for (int i = 0; i < lists[0].Count(); ++i) {
        planned += steps[i].Kind == kind;
        // a concatenation of variables only is tried after its number run
        planned += kind == TCommandPlan::rkTextRun && steps[i].Kind == TCommandPlan::rkNumbers
                   && plan.NumberRun(steps[i]).TextRun;
    }
    QCOMPARE(planned, count);
    for (int run = 1; run <= 2; ++run) {
        QStringList results[2];
        for (int k = 0; k < 2; ++k)
            results[k] = outcome(hosts[k], runOnce(hosts[k], lists[k]), &hosts[k].Server->Log);
        QCOMPARE(results[0], results[1]);
    }
}

} // namespace

void ScriptPlanTest::numberRunsAsTheCommandsDo()
{
    QFETCH(QString, script);
    QFETCH(int, numberRuns);
    comparePlanned(script, TCommandPlan::rkNumbers, numberRuns);
}

void ScriptPlanTest::directCallsAsTheCommandsDo_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("directCalls");   // how many the plan finds

    QTest::newRow("texts") << "X2 := Copy(S1, N1 - 2, 1) + UpCase(S1) + LowCase('AB') + Trim(' a ') + LPad(S1, 4, '*')"
                              " + RPad(S1, N1) + DeleteSpace('a  b') + Delete(S1, 1, 1) + Insert('x', S1, 2)" << 9;
    QTest::newRow("numbers") << "X1 := Length(S1) + Pos('b', S1) + Round(N2) + Trunc(N2) + Rd2(N1 / 7) + Val('12')"
                                " + DateToFloat(D1) + Number('7')" << 8;
    QTest::newRow("conversions") << "X2 := DateToStr(D1) + DateToStr(D1 + N1, 'mmmmm yyyy') + Ext2Str(N2, 2, 1)"
                                    " + Ext2Money(N1) + Format('%.1f-%s', N1, S1) + String(N2) + String(B1)" << 7;
    QTest::newRow("dates and truths") << "X4 := FloatToDate(N1); T1 := StrToDate('01.02.2024'); T2 := Date(N1 * 2);"
                                         " B1 := Boolean('true'); IF In(N1, 1, 3) THEN K := 1;" << 5;
    QTest::newRow("empty texts") << "X2 := Copy('', 1, 2) + Copy(S2, 1, 1); X1 := Length(S2) + Pos('', S1)" << 4;
    QTest::newRow("the whole text shared") << "X2 := Copy(S1, 1, 9); S1 := 'cd'" << 1;
    QTest::newRow("calls within calls") << "X2 := Copy(UpCase(S1), 1, Length(S1))" << 2;
    QTest::newRow("within another call's arguments") << "K := Count(N1, Length(S1), Twice(N2 + 1))" << 2;
    // failures give the commands' own messages: an argument copy is named
    // after its register
    QTest::newRow("a text where a number goes") << "X1 := Round(S1)" << 1;
    QTest::newRow("a number where a text goes") << "X1 := Length(N1)" << 1;
    QTest::newRow("a failing argument number") << "X2 := Copy(S1, U1 + 1, 2)" << 1;
    QTest::newRow("a division by zero") << "X1 := Round(N1 / (N1 - 3))" << 1;
    QTest::newRow("a result of another type") << "S1 := Length(S1)" << 1;
    QTest::newRow("a failing function") << "X2 := Fail('abcdef'); K := 1" << 1;
    // not run directly
    QTest::newRow("too few arguments") << "X2 := Copy(S1, 1)" << 0;
    QTest::newRow("a register argument") << "X1 := Length(@B)" << 0;
    QTest::newRow("by reference") << "X2 := OldStr(S1)" << 0;
    QTest::newRow("arguments of a call") << "X2 := Copy(Cat(S1, S1), 1, 2)" << 1;
}

void ScriptPlanTest::directCallsAsTheCommandsDo()
{
    QFETCH(QString, script);
    QFETCH(int, directCalls);
    comparePlanned(script, TCommandPlan::rkDirectCall, directCalls);
}

void ScriptPlanTest::textRunsAsTheCommandsDo_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("textRuns");   // how many the plan finds

    // S1 is 'ab', S2 an empty text
    QTest::newRow("variables and constants") << "X2 := S1 + ' / ' + S1 + 'c'; K := 1" << 1;
    QTest::newRow("at the end of the list") << "X2 := 'a' + S1 || 'b'" << 1;
    QTest::newRow("the target among the leaves") << "S1 := S1 + 'x' + S1; X2 := 'y' + S1" << 2;
    QTest::newRow("an empty first leaf") << "X2 := S2 + S1" << 1;
    QTest::newRow("an empty leaf added") << "X2 := S1 + S2 + 'x'; T1 := '' + S1" << 2;
    QTest::newRow("a number among the leaves") << "X2 := S1 + N1" << 1;
    QTest::newRow("an undefined leaf") << "X2 := S1 + U1" << 1;
    QTest::newRow("a store of another type") << "N1 := S1 + 'x'" << 1;
    QTest::newRow("twice, the registers read") << "X2 := S1 + 'x'; X4 := PeekB; T2 := PeekA" << 1;
    // not concatenations of leaves
    QTest::newRow("a call among them") << "X2 := S1 + Cat(S1, 'x')" << 0;
    QTest::newRow("a register") << "X2 := S1 + @B" << 0;
}

void ScriptPlanTest::textRunsAsTheCommandsDo()
{
    QFETCH(QString, script);
    QFETCH(int, textRuns);
    comparePlanned(script, TCommandPlan::rkTextRun, textRuns);
}

QUARN_TEST_MAIN(ScriptPlanTest)
#include "ScriptPlanTest.moc"
