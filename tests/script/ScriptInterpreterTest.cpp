#include "TestSupport.h"

#include "ScriptTestHost.h"

#include <map>

namespace {

// Test functions shaped like the built-ins they stand for.
void addFunctions(TScriptTestHost &host)
{
    host.AddFunc(QStringLiteral("Copy"), 3, [](TReportHost &, TParamList &p, TReportVar &r) {
        r.SetAsString(p[0]->GetAsString().mid(int(p[1]->GetAsNumber()) - 1, int(p[2]->GetAsNumber())));
    });
    host.AddFunc(QStringLiteral("Message"), 1, [](TReportHost &, TParamList &, TReportVar &r) {
        r.SetAsNumber(1);
    });
    host.AddFunc(QStringLiteral("Cat"), 2, [](TReportHost &, TParamList &p, TReportVar &r) {
        r.SetAsString(p[0]->GetAsString() + p[1]->GetAsString());
    });
    host.AddFunc(QStringLiteral("Twice"), 1, [](TReportHost &, TParamList &p, TReportVar &r) {
        r.SetAsNumber(2 * p[0]->GetAsNumber());
    });
    host.AddFunc(QStringLiteral("Count"), -1, [](TReportHost &, TParamList &p, TReportVar &r) {
        r.SetAsNumber(p.Count());
    });
    host.AddFunc(QStringLiteral("Nothing"), 0, [](TReportHost &, TParamList &, TReportVar &) {});
    // Store(V, X): V := X, V by reference.
    host.AddFunc(QStringLiteral("Store"), 2, [](TReportHost &, TParamList &p, TReportVar &) {
        p[0]->Clear();
        p[0]->Assign(*p[1]);
    }, ByRefPositions({0}));
    // Bump(V): V := V + 1, by reference.
    host.AddFunc(QStringLiteral("Bump"), 1, [](TReportHost &, TParamList &p, TReportVar &r) {
        p[0]->SetAsNumber(p[0]->GetAsNumber() + 1);
        r.SetAsNumber(p[0]->GetAsNumber());
    }, ByRefPositions({0}));
    // Swap(A, B), both by reference.
    host.AddFunc(QStringLiteral("Swap"), 2, [](TReportHost &, TParamList &p, TReportVar &) {
        TReportVar saved(QStringLiteral("SAVED"), nullptr);
        saved.Assign(*p[0]);
        p[0]->Clear();
        p[0]->Assign(*p[1]);
        p[1]->Clear();
        p[1]->Assign(saved);
    }, ByRefPositions({0, 1}));
    // Words(S, V1, V2, ...): the words of S into V1, V2, ... by reference.
    host.AddFunc(QStringLiteral("Words"), 2, [](TReportHost &, TParamList &p, TReportVar &) {
        const QStringList words = p[0]->GetAsString().split(u' ', Qt::SkipEmptyParts);
        for (int i = 1; i < p.Count(); ++i)
            p[i]->SetAsString(i - 1 < words.size() ? words[i - 1] : QString());
    }, ByRefPositions({0, 255}));
    // A host function under a name already registered is never reached.
    host.AddFunc(QStringLiteral("COPY"), 0, [](TReportHost &, TParamList &, TReportVar &r) {
        r.SetAsString(QStringLiteral("shadowed"));
    });
}

// An automation object that records every call made on it. A member with a
// configured result returns it; others return the object itself.
class TFakeServer : public TDispatchObject, public std::enable_shared_from_this<TFakeServer> {
public:
    struct TCall {
        QString member;
        int kind = 0;
        QList<TDispValue> args;
        QList<bool> byRef;
        bool wantsResult = false;
    };

    QList<TCall> calls;
    std::map<QString, TDispValue> results;

    void Invoke(const QString &member, TCallKind kind, std::span<TDispArg> args,
                TDispValue *result) override
    {
        TCall call{member, int(kind), {}, {}, result != nullptr};
        for (const TDispArg &a : args) {
            call.args << a.Value;
            call.byRef << a.ByRef;
        }
        calls << call;
        if (member.toUpper() == QStringLiteral("FAIL"))
            throw EOleError(QStringLiteral("Method 'Fail' not supported by automation object"));
        // Twice(&V): doubles a by-reference number in place.
        if (member.toUpper() == QStringLiteral("TWICE") && !args.empty() && args[0].ByRef
            && args[0].Value.Type == TDispValue::Double)
            args[0].Value.NumValue *= 2;
        if (result) {
            const auto it = results.find(member.toUpper());
            *result = it != results.end() ? it->second : TDispValue::FromDispatch(shared_from_this());
        }
    }
};

} // namespace

class ScriptInterpreterTest : public QObject {
    Q_OBJECT

private slots:
    void results_data();
    void results();
    void variablesKeepValuesAcrossRuns();
    void runTimeErrors_data();
    void runTimeErrors();
    void errorPosFollowsTheStatementRun();
    void andOrReadTheirRightOperandOnlyWhenItDecides_data();
    void andOrReadTheirRightOperandOnlyWhenItDecides();
    void calls_data();
    void calls();
    void byReferenceArgumentsWriteTheCallersVariables();
    void argumentCopiesAreNamedAfterTheRegister();
    void valueArgumentsLeaveTheirVariablesAlone();
    void failedRunLeavesStackForNextRunToClear();
    void popAndPushMisuseStopsSilently();
    void saveLoadRestoreRunsAsTheStackWould();
    void jumpsOutsideTheListEndTheRun();
    void registersKeepWhatIsReadLater_data();
    void registersKeepWhatIsReadLater();
    void registerPlanFollowsChangesOfTheList();
    void registerRunsDoneInOneStepStillLeaveWhatIsRead();
    void argumentsLoadedInOneStepArriveAsTaken_data();
    void argumentsLoadedInOneStepArriveAsTaken();
    void argumentsLoadedInOneStepLeaveTheRegisterEmpty();
    void popIntoParamListByName();
    void automationCalls();
    void automationByReference();
    void automationValueConversions();
    void automationErrors();
};

void ScriptInterpreterTest::results_data()
{
    QTest::addColumn<QString>("presets");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QString>("expected");

    QTest::newRow("worked example") << "A=N:1;B=N:3" << "X = A + B * 2" << "X" << "N:7";
    QTest::newRow("subtraction groups from the left") << "" << "X = 10 - 4 - 3" << "X" << "N:3";
    QTest::newRow("products before sums") << "" << "X = 2 * 3 + 4 * 5" << "X" << "N:26";
    QTest::newRow("parentheses") << "" << "X = (1 + 2) * 3" << "X" << "N:9";
    QTest::newRow("leading minus covers the term") << "A=N:2" << "X = -A * 3 + 1" << "X" << "N:-5";
    QTest::newRow("minus of a parenthesis") << "" << "X = 2 * (-3)" << "X" << "N:-6";
    QTest::newRow("division") << "" << "X = 7 / 2" << "X" << "N:3.5";
    QTest::newRow("0 / 0") << "" << "X = 0 / 0" << "X" << "N:0";
    QTest::newRow("fraction with blanks") << "" << "X = 1 . 25 * 4" << "X" << "N:5";
    QTest::newRow("string concatenation with ||") << "" << "X = 'a' || 'b' + 'c'" << "X" << "S:abc";
    QTest::newRow("doubled quote") << "" << "X = 'It''s'" << "X" << "S:It's";
    QTest::newRow("character codes") << "" << "X = 'A'#13#10'B'" << "X" << "S:A\r\nB";
    QTest::newRow("a code alone") << "" << "X = #65" << "X" << "S:A";
    QTest::newRow("codes are taken modulo 256") << "" << "X = #321" << "X" << "S:A";
    QTest::newRow("codes above 127 are of the code page") << "" << "X = #200#255" << "X" << "S:Ия";
    QTest::newRow("comparison result") << "" << "X = 1 = 1" << "X" << "B:1";
    QTest::newRow("NOT covers the comparison") << "" << "X = NOT 1 = 2" << "X" << "B:1";
    QTest::newRow("AND and OR from the left") << "" << "X = TRUE OR FALSE AND FALSE" << "X" << "B:0";
    QTest::newRow("string order is by code") << "" << "X = 'B' < 'a'" << "X" << "B:1";
    QTest::newRow("date plus days") << "D=D:45000" << "X = D + 1" << "X" << "D:45001";
    QTest::newRow("date minus date") << "D=D:45000;E=D:44990" << "X = D - E" << "X" << "N:10";
    QTest::newRow("line ending in + continues") << "" << "X = 1 +\n2" << "X" << "N:3";
    QTest::newRow("IF alone on its line: the next line always runs") << "A=N:0" << "IF A > 0 THEN\nB = 1" << "B" << "N:1";
    QTest::newRow("IF on one line is conditional") << "A=N:0;B=N:5" << "IF A > 0 THEN B = 1" << "B" << "N:5";
    QTest::newRow("IF false without ELSE continues after it") << "A=N:0" << "IF A > 0 THEN B = 1;\nC = 2" << "C" << "N:2";
    QTest::newRow("ELSE taken") << "A=B:0" << "IF A THEN Y = 1; ELSE Y = 2;" << "Y" << "N:2";
    QTest::newRow("nested: outer false") << "A=B:0;B=B:1" << "IF A THEN IF B THEN Y = 1; ELSE Y = 2; ELSE Y = 3;" << "Y" << "N:3";
    QTest::newRow("nested: inner true") << "A=B:1;B=B:1" << "IF A THEN IF B THEN Y = 1; ELSE Y = 2; ELSE Y = 3;" << "Y" << "N:1";
    QTest::newRow("nested: inner false") << "A=B:1;B=B:0" << "IF A THEN IF B THEN Y = 1; ELSE Y = 2; ELSE Y = 3;" << "Y" << "N:2";
    QTest::newRow("block branches") << "A=B:0" << "IF A THEN { Y = 1; Z = 1; } ELSE { Y = 2; Z = 2; }\nW = Y + Z" << "W" << "N:4";
    QTest::newRow("after a taken THEN the ELSE is skipped") << "A=B:1" << "IF A THEN Y = 1; ELSE Y = 2;\nZ = Y" << "Z" << "N:1";
    QTest::newRow("comment across lines") << "" << "X = 1 /* a\nb */ + 1" << "X" << "N:2";
    QTest::newRow("a variable counts from undefined") << "" << "K = K + 1" << "K" << "N:1";
    QTest::newRow("'' = Null") << "S=S:" << "X = S = Null" << "X" << "B:1";
    QTest::newRow("0 = Null") << "N=N:0" << "X = Null = N" << "X" << "B:1";
    QTest::newRow("'t' = Null") << "S=S:t" << "X = S = Null" << "X" << "B:0";
    QTest::newRow("Null resets a typed variable") << "X=N:5" << "X = Null\nX = 'now text'" << "X" << "S:now text";
}

void ScriptInterpreterTest::results()
{
    QFETCH(QString, presets);
    QFETCH(QString, script);
    QFETCH(QString, variable);
    QFETCH(QString, expected);
    TScriptTestHost host;
    host.GetVar(QStringLiteral("Null"));
    host.Preset(presets);
    host.Run(script);
    QCOMPARE(host.Value(variable), expected);
    QCOMPARE(host.Stack.Count(), 0);   // pushes and pops balance
}

void ScriptInterpreterTest::variablesKeepValuesAcrossRuns()
{
    TScriptTestHost host;
    TCommandList commands;
    host.Compile(QStringLiteral("K = K + 1\nS = S || 'x'"), commands);
    for (int i = 0; i < 3; ++i)
        ExecuteCommands(commands, host, host.Stack);
    QCOMPARE(host.Value("K"), QStringLiteral("N:3"));
    QCOMPARE(host.Value("S"), QStringLiteral("S:xxx"));
    // Each assignment keeps the value before it, as footers read it.
    QCOMPARE(host.FindVar(QStringLiteral("K"))->PrevNum(), 2.0);
    QCOMPARE(host.FindVar(QStringLiteral("S"))->PrevStr(), QStringLiteral("xx"));
}

void ScriptInterpreterTest::runTimeErrors_data()
{
    QTest::addColumn<QString>("presets");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("errorPos");

    QTest::newRow("a NUMBER as IF condition") << "" << "IF 1 THEN X = 1;" << "@A: Несоответствие типов данных (NUMBER и BOOLEAN)" << 11;
    QTest::newRow("a second assignment of another type") << "" << "X = 1\nX = 'a'" << "X: Несоответствие типов данных (NUMBER и STRING)" << 14;
    QTest::newRow("division by zero") << "" << "X = 7 / 0" << "@B: Деление на 0 (NUMBER)" << 9;
    QTest::newRow("operator across types, second line") << "" << "A = 1\nB = A + 'x'\nC = 2" << "@B: Несоответствие типов данных (NUMBER и STRING)" << 18;
    QTest::newRow("two undefined compared") << "" << "U1 = Null\nU2 = Null\nX = U1 = U2" << "@B: Операция неприменима для данного типа данных (UNDEFINED)" << 33;
    QTest::newRow("memo compared") << "M=M:a" << "X = M = M" << "@B: Операция неприменима для данного типа данных (MEMO)" << 9;
    QTest::newRow("NOT of a number") << "" << "X = NOT 1" << "@A: Несоответствие типов данных (NUMBER и BOOLEAN)" << 9;
    QTest::newRow("string minus string") << "" << "X = 'a' - 'b'" << "@B: Операция неприменима для данного типа данных (STRING)" << 13;
}

void ScriptInterpreterTest::runTimeErrors()
{
    QFETCH(QString, presets);
    QFETCH(QString, script);
    QFETCH(QString, message);
    QFETCH(int, errorPos);
    TScriptTestHost host;
    host.GetVar(QStringLiteral("Null"));
    host.Preset(presets);
    QUARN_EXPECT_ERROR(host.Run(script), message);
    QCOMPARE(host.ErrorPos(), errorPos);
}

void ScriptInterpreterTest::errorPosFollowsTheStatementRun()
{
    TScriptTestHost host;
    TCommandList commands;
    host.Compile(QStringLiteral("A = 1\nB = 2"), commands, 50);
    ExecuteCommands(commands, host, host.Stack);
    // The last command run belongs to the second line.
    QCOMPARE(host.ErrorPos(), commands.Last()->Position() - 1);
    QVERIFY(host.ErrorPos() >= 50 + 7);
}

void ScriptInterpreterTest::andOrReadTheirRightOperandOnlyWhenItDecides_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("expected");   // a value, or "!" and the message
    // N is a NUMBER, U undefined: reading N as a Boolean fails.
    QTest::newRow("TRUE AND number: read") << "X = TRUE AND N" << "!@A: Несоответствие типов данных (NUMBER и BOOLEAN)";
    QTest::newRow("FALSE AND number: not read") << "X = FALSE AND N" << "B:0";
    QTest::newRow("TRUE OR number: not read") << "X = TRUE OR N" << "B:1";
    QTest::newRow("FALSE OR number: read") << "X = FALSE OR N" << "!@A: Несоответствие типов данных (NUMBER и BOOLEAN)";
    QTest::newRow("number AND TRUE: left always read") << "X = N AND TRUE" << "!@B: Несоответствие типов данных (NUMBER и BOOLEAN)";
    QTest::newRow("TRUE AND undefined is false") << "X = TRUE AND U" << "B:0";
    QTest::newRow("undefined OR TRUE") << "X = U OR TRUE" << "B:1";
    QTest::newRow("NOT undefined") << "X = NOT U" << "B:1";
}

void ScriptInterpreterTest::andOrReadTheirRightOperandOnlyWhenItDecides()
{
    QFETCH(QString, script);
    QFETCH(QString, expected);
    TScriptTestHost host;
    addFunctions(host);
    host.GetVar(QStringLiteral("N")).SetAsNumber(1);
    host.GetVar(QStringLiteral("U"));
    if (expected.startsWith(u'!')) {
        QUARN_EXPECT_ERROR(host.Run(script), expected.mid(1));
    } else {
        host.Run(script);
        QCOMPARE(host.Value("X"), expected);
    }
}

void ScriptInterpreterTest::calls_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QString>("expected");   // a value, or "!" and the message

    QTest::newRow("call") << "X = Copy('abcdef', 2, 3)" << "X" << "S:bcd";
    QTest::newRow("too few arguments") << "X = Copy('abc', 1)" << "X" << "!COPY: Неверное количество параметров вызова";
    QTest::newRow("too few, in any case") << "X = copy" << "X" << "!COPY: Неверное количество параметров вызова";
    QTest::newRow("more arguments than declared run") << "X = Message('a', 'b', 'c')" << "X" << "N:1";
    QTest::newRow("no count check") << "X = Count(1, 'a', TRUE)\nY = Count" << "Y" << "N:0";
    QTest::newRow("no count check, arguments passed") << "X = Count(1, 'a', TRUE)" << "X" << "N:3";
    QTest::newRow("nested calls keep the outer arguments") << "X = Cat(Cat('a', 'b'), Cat('c', Cat('d', 'e')))" << "X" << "S:abcde";
    QTest::newRow("call statement ignores the result") << "Cat('a', 'b');\nX = 1" << "X" << "N:1";
    QTest::newRow("storing nothing is undefined") << "X = Nothing" << "X" << "U";
    QTest::newRow("undefined result takes ELSE") << "IF Nothing THEN X = 1; ELSE X = 2;" << "X" << "N:2";
    QTest::newRow("a later registration is never found") << "X = Copy('abc', 1, 1)" << "X" << "S:a";
    QTest::newRow("both operands of AND are computed") << "X = FALSE AND Bump(K) > 0" << "K" << "N:1";
    QTest::newRow("both operands of OR are computed") << "X = Bump(K) > 0 OR Bump(K) > 0" << "K" << "N:2";
    QTest::newRow("a call between other arguments") << "X = Copy('abcdef', Twice(1), 2)" << "X" << "S:bc";
}

void ScriptInterpreterTest::calls()
{
    QFETCH(QString, script);
    QFETCH(QString, variable);
    QFETCH(QString, expected);
    TScriptTestHost host;
    addFunctions(host);
    if (expected.startsWith(u'!')) {
        QUARN_EXPECT_ERROR(host.Run(script), expected.mid(1));
    } else {
        host.Run(script);
        QCOMPARE(host.Value(variable), expected);
    }
}

void ScriptInterpreterTest::byReferenceArgumentsWriteTheCallersVariables()
{
    TScriptTestHost host;
    addFunctions(host);
    host.Run(QStringLiteral("A = 1\nB = 'b'\nSwap(A, B)"));
    QCOMPARE(host.Value("A"), QStringLiteral("S:b"));
    QCOMPARE(host.Value("B"), QStringLiteral("N:1"));

    // Variables named only as by-reference arguments are created by them.
    host.Run(QStringLiteral("Words(' ten  abc ', W1, W2, W3)"));
    QCOMPARE(host.Value("W1"), QStringLiteral("S:ten"));
    QCOMPARE(host.Value("W2"), QStringLiteral("S:abc"));
    QCOMPARE(host.Value("W3"), QStringLiteral("S:"));

    // A by-reference argument collected before a nested call in a later
    // argument is still the caller's variable when the function runs.
    host.Run(QStringLiteral("Store(V, Twice(2))"));
    QCOMPARE(host.Value("V"), QStringLiteral("N:4"));
    host.Run(QStringLiteral("Words(Cat('x ', Cat('y', ' z')), R1, R2, R3)"));
    QCOMPARE(host.Value("R3"), QStringLiteral("S:z"));

    // Every call gives the parameter list back as it found it.
    QCOMPARE(host.Params.Count(), 0);
}

void ScriptInterpreterTest::argumentCopiesAreNamedAfterTheRegister()
{
    // A value argument is a copy of "@A", so type errors in a function name
    // it; a by-reference argument is the variable itself.
    TScriptTestHost host;
    host.AddFunc(QStringLiteral("NeedNumber"), 1, [](TReportHost &, TParamList &p, TReportVar &r) {
        r.SetAsNumber(p[0]->GetAsNumber());
    });
    host.AddFunc(QStringLiteral("NeedNumberRef"), 1, [](TReportHost &, TParamList &p, TReportVar &r) {
        r.SetAsNumber(p[0]->GetAsNumber());
    }, ByRefPositions({0}));
    host.GetVar(QStringLiteral("S")).SetAsString(QStringLiteral("s"));
    host.GetVar(QStringLiteral("Null"));
    QUARN_EXPECT_ERROR(host.Run(QStringLiteral("X = NeedNumber(S)")),
                       "@A: Несоответствие типов данных (STRING и NUMBER)");
    QUARN_EXPECT_ERROR(host.Run(QStringLiteral("X = NeedNumberRef(S)")),
                       "S: Несоответствие типов данных (STRING и NUMBER)");
    host.Run(QStringLiteral("Y = NeedNumber(Null)\nZ = NeedNumberRef(Undef2)"));
    QCOMPARE(host.Value("Y"), QStringLiteral("N:0"));
    QCOMPARE(host.Value("Z"), QStringLiteral("N:0"));
}

void ScriptInterpreterTest::valueArgumentsLeaveTheirVariablesAlone()
{
    // Each value argument is its own holder: a function that changes its
    // arguments changes neither the variables they came from nor the
    // other arguments, and every argument arrives whole, also after a
    // nested call in an earlier or a later argument.
    TScriptTestHost host;
    addFunctions(host);
    host.AddFunc(QStringLiteral("Spoil"), 2, [](TReportHost &, TParamList &p, TReportVar &r) {
        r.SetAsString(p[0]->GetAsString() + u'|' + p[1]->GetAsString());
        p[0]->SetAsString(QStringLiteral("spoilt"));
        p[1]->SetAsString(QStringLiteral("spoilt"));
    });
    host.Run(QStringLiteral("S = 'abc'\nX = Spoil(S, S)\nY = Spoil(Copy(S, 2, 2), S + 'd')\n"
                            "Z = Cat(S, Spoil(S, Cat(S, 'e')))\nN = 3\nW = Copy(S, N - 1, N)"));
    QCOMPARE(host.Value("S"), QStringLiteral("S:abc"));
    QCOMPARE(host.Value("X"), QStringLiteral("S:abc|abc"));
    QCOMPARE(host.Value("Y"), QStringLiteral("S:bc|abcd"));
    QCOMPARE(host.Value("Z"), QStringLiteral("S:abcabc|abce"));
    QCOMPARE(host.Value("N"), QStringLiteral("N:3"));
    QCOMPARE(host.Value("W"), QStringLiteral("S:bc"));
    QCOMPARE(host.Params.Count(), 0);
}

void ScriptInterpreterTest::failedRunLeavesStackForNextRunToClear()
{
    TScriptTestHost host;
    QUARN_EXPECT_ERROR(host.Run(QStringLiteral("X = 1 + (2 + 'a')")),
                       "@B: Несоответствие типов данных (NUMBER и STRING)");
    QVERIFY(host.Stack.Count() > 0);
    host.Run(QStringLiteral("Y = 5"));
    QCOMPARE(host.Stack.Count(), 0);
    QCOMPARE(host.Value("Y"), QStringLiteral("N:5"));
}

void ScriptInterpreterTest::popAndPushMisuseStopsSilently()
{
    TScriptTestHost host;
    TReportVar &a = host.GetVar(QStringLiteral("@A"));
    {
        TCommandList commands;
        commands.Add(std::make_unique<TPopCmd>(a));
        QVERIFY_THROWS_EXCEPTION(EAbort, ExecuteCommands(commands, host, host.Stack));
    }
    {
        TCommandList commands;
        commands.Add(std::make_unique<TPushCmd>(a));
        commands.Add(std::make_unique<TPopCmd>(host.Params, true));
        QVERIFY_THROWS_EXCEPTION(EAbort, ExecuteCommands(commands, host, host.Stack));
    }
    {
        TCommandList commands;
        commands.Add(std::make_unique<TPushCmd>(host.Params));
        commands.Add(std::make_unique<TPopCmd>(a));
        QVERIFY_THROWS_EXCEPTION(EAbort, ExecuteCommands(commands, host, host.Stack));
    }
}

// "PUSH x; load; POP y" is run without a stack entry when it starts at the
// PUSH; what it leaves must be what the stack would have left.
void ScriptInterpreterTest::saveLoadRestoreRunsAsTheStackWould()
{
    TScriptTestHost host;
    TReportVar &a = host.GetVar(QStringLiteral("@A"));
    TReportVar &b = host.GetVar(QStringLiteral("@B"));
    TReportVar &y = host.GetVar(QStringLiteral("Y"));
    auto reset = [&] {
        for (TReportVar *v : {&a, &b, &y})
            v->Clear();
        a.SetAsNumber(1);
        a.SetAsNumber(2);   // previous number 1
        b.SetAsNumber(3);
        b.SetAsNumber(4);   // previous number 3
        y.SetAsString(QStringLiteral("y"));
    };
    {
        // saved into itself: the value stays, the previous one is gone
        reset();
        TCommandList commands;
        commands.Add(std::make_unique<TPushCmd>(b));
        commands.Add(std::make_unique<TAssignConstCmd>(a, TConstValue::Double(9), false));
        commands.Add(std::make_unique<TPopCmd>(b))->SetPosition(42);
        ExecuteCommands(commands, host, host.Stack);
        QCOMPARE(host.Value("@B"), QStringLiteral("N:4"));
        QCOMPARE(b.PrevNum(), 0.0);
        QCOMPARE(host.Value("@A"), QStringLiteral("N:9"));
        QCOMPARE(host.Stack.Count(), 0);
        QCOMPARE(host.ErrorPos(), 41);
    }
    {
        // saved into another holder: it gets the value from before the load
        reset();
        TCommandList commands;
        commands.Add(std::make_unique<TPushCmd>(a));
        commands.Add(std::make_unique<TAssignCmd>(a, y, false));
        commands.Add(std::make_unique<TPopCmd>(b));
        ExecuteCommands(commands, host, host.Stack);
        QCOMPARE(host.Value("@B"), QStringLiteral("N:2"));
        QCOMPARE(b.PrevNum(), 0.0);
        QCOMPARE(host.Value("@A"), QStringLiteral("S:y"));
    }
    {
        // the load overwrites the saved holder itself: the pop restores it
        reset();
        TCommandList commands;
        commands.Add(std::make_unique<TPushCmd>(b));
        commands.Add(std::make_unique<TAssignConstCmd>(b, TConstValue::Double(7), false));
        commands.Add(std::make_unique<TPopCmd>(b));
        ExecuteCommands(commands, host, host.Stack);
        QCOMPARE(host.Value("@B"), QStringLiteral("N:4"));
    }
    {
        // the load reads the holder popped into: it sees its old value
        reset();
        TCommandList commands;
        commands.Add(std::make_unique<TPushCmd>(a));
        commands.Add(std::make_unique<TAssignCmd>(a, b, false));
        commands.Add(std::make_unique<TPopCmd>(b));
        ExecuteCommands(commands, host, host.Stack);
        QCOMPARE(host.Value("@A"), QStringLiteral("N:4"));
        QCOMPARE(host.Value("@B"), QStringLiteral("N:2"));
    }
    {
        // an empty text comes back null, as through a stack entry
        reset();
        QString empty = QStringLiteral("e");
        empty.chop(1);
        QVERIFY(!empty.isNull());
        b.Clear();
        b.SetAsString(QStringLiteral("x"));
        b.SetAsString(empty);   // previous text "x"
        TCommandList commands;
        commands.Add(std::make_unique<TPushCmd>(b));
        commands.Add(std::make_unique<TAssignConstCmd>(a, TConstValue::Double(9), false));
        commands.Add(std::make_unique<TPopCmd>(b));
        ExecuteCommands(commands, host, host.Stack);
        QCOMPARE(host.Value("@B"), QStringLiteral("S:"));
        QVERIFY(b.GetAsString().isNull());
        QVERIFY(b.PrevStr().isNull());
    }
    {
        // a jump onto the POP of such a run pops what was pushed before it
        reset();
        TCommandList commands;
        commands.Add(std::make_unique<TPushCmd>(b));
        commands.Add(std::make_unique<TAssignConstCmd>(b, TConstValue::Double(5), false));
        commands.Add(std::make_unique<TJumpCmd>(3));
        commands.Add(std::make_unique<TPushCmd>(b));
        commands.Add(std::make_unique<TAssignConstCmd>(a, TConstValue::Double(9), false));
        commands.Add(std::make_unique<TPopCmd>(b));
        ExecuteCommands(commands, host, host.Stack);
        QCOMPARE(host.Value("@B"), QStringLiteral("N:4"));
        QCOMPARE(host.Value("@A"), QStringLiteral("N:2"));
        QCOMPARE(host.Stack.Count(), 0);
    }
}

// A register whose value is used up gives it away instead of sharing it;
// wherever the value may still be read it must be there: later in the
// list, after a jump, in the next run, or by a function looking it up.
void ScriptInterpreterTest::registersKeepWhatIsReadLater_data()
{
    QTest::addColumn<QString>("first");    // run before the script, in a list of its own
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QString>("expected");

    // (a script reading @A clears it first: "@A := @A" is a fresh store)
    QTest::newRow("read in the next statement") << "" << "S = 'ab' + 'c'; T = @B" << "T" << "S:abc";
    QTest::newRow("read in the next run") << "S = 'ab' + 'c'" << "T = @B" << "T" << "S:abc";
    QTest::newRow("read after a call") << "" << "S = 'a' + 'b'; L = Twice(2); T = @B" << "T" << "S:ab";
    QTest::newRow("read by the function called") << "" << "S = 'a' + 'b'; T = PeekB(1); U = 'c' + 'd'" << "T"
                                                 << "S:ab";
    QTest::newRow("read after a jump") << "" << "S = 'x' + 'y'; IF FALSE THEN U = 'a' + 'b';\nT = @B" << "T"
                                       << "S:xy";
    QTest::newRow("read on one branch only")
        << "" << "S = 'x' + 'y'; IF TRUE THEN T = @B; ELSE T = 'no';" << "T" << "S:xy";
    QTest::newRow("register passed by reference") << "" << "S = 'a' + 'b'; Store(@B, 'z'); T = @B" << "T" << "S:z";
    QTest::newRow("used up, then read again after a new value")
        << "" << "S = 'a' + 'b'; U = S + 'c'; T = @B + 'd'" << "T" << "S:abcd";
    QTest::newRow("texts moved into variables stay theirs")
        << "" << "S = 'a' + 'b'; U = S; S = S + '!'; T = U + S" << "T" << "S:abab!";
    QTest::newRow("previous value of a variable stored into") << "" << "S = 'a' + 'b'; S = S + 'c'; T = PrevS(1)"
                                                             << "T" << "S:ab";
}

void ScriptInterpreterTest::registersKeepWhatIsReadLater()
{
    QFETCH(QString, first);
    QFETCH(QString, script);
    QFETCH(QString, variable);
    QFETCH(QString, expected);
    TScriptTestHost host;
    addFunctions(host);
    host.AddFunc(QStringLiteral("PeekB"), 1, [&host](TReportHost &, TParamList &, TReportVar &r) {
        r.AssignFresh(*host.FindVar(QStringLiteral("@B")));
    });
    host.AddFunc(QStringLiteral("PrevS"), 1, [&host](TReportHost &, TParamList &, TReportVar &r) {
        r.SetAsString(host.FindVar(QStringLiteral("S"))->PrevStr());
    });
    if (!first.isEmpty())
        host.Run(first);
    TCommandList commands;
    host.Compile(script, commands);
    for (int run = 0; run < 2; ++run) {   // the second run works from the plan of the first
        ExecuteCommands(commands, host, host.Stack);
        QCOMPARE(host.Value(variable), expected);
    }
}

void ScriptInterpreterTest::registerPlanFollowsChangesOfTheList()
{
    TScriptTestHost host;
    TReportVar &a = host.GetVar(QStringLiteral("@A"));
    TReportVar &b = host.GetVar(QStringLiteral("@B"));
    TReportVar &x = host.GetVar(QStringLiteral("X"));
    TCommandList commands;
    commands.Add(std::make_unique<TAssignConstCmd>(a, TConstValue::String(QStringLiteral("x")), false));
    commands.Add(std::make_unique<TCalcCmd>(b, a, opCopy));   // @A is overwritten next: its text may move
    commands.Add(std::make_unique<TAssignConstCmd>(a, TConstValue::String(QStringLiteral("y")), false));
    ExecuteCommands(commands, host, host.Stack);
    QCOMPARE(host.Value("@B"), QStringLiteral("S:x"));
    // now @A is read before it is overwritten
    commands.Insert(2, std::make_unique<TAssignCmd>(x, a, true));
    b.Clear();
    b.SetAsString(QStringLiteral("b"));
    ExecuteCommands(commands, host, host.Stack);
    QCOMPARE(host.Value("X"), QStringLiteral("S:x"));
    QCOMPARE(host.Value("@B"), QStringLiteral("S:x"));
}

// The loop loads a left operand straight into @B and stores a result
// straight from @B only where @A is not read before being overwritten.
void ScriptInterpreterTest::registerRunsDoneInOneStepStillLeaveWhatIsRead()
{
    TScriptTestHost host;
    TReportVar &a = host.GetVar(QStringLiteral("@A"));
    TReportVar &b = host.GetVar(QStringLiteral("@B"));
    TReportVar &x = host.GetVar(QStringLiteral("X"));
    TReportVar &y = host.GetVar(QStringLiteral("Y"));
    auto reset = [&] {
        for (TReportVar *v : {&a, &b, &x, &y})
            v->Clear();
        a.SetAsString(QStringLiteral("old"));
        x.SetAsString(QStringLiteral("x"));
    };
    {
        // loaded and copied, then read: @A must hold the load
        reset();
        TCommandList commands;
        commands.Add(std::make_unique<TAssignCmd>(a, x, false));
        commands.Add(std::make_unique<TCalcCmd>(b, a, opCopy));
        commands.Add(std::make_unique<TAssignCmd>(y, a, true));
        ExecuteCommands(commands, host, host.Stack);
        QCOMPARE(host.Value("Y"), QStringLiteral("S:x"));
        QCOMPARE(host.Value("@B"), QStringLiteral("S:x"));
    }
    {
        // loaded and copied, then overwritten: the variable keeps its text
        reset();
        TCommandList commands;
        commands.Add(std::make_unique<TAssignCmd>(a, x, false));
        commands.Add(std::make_unique<TCalcCmd>(b, a, opCopy));
        commands.Add(std::make_unique<TAssignConstCmd>(a, TConstValue::String(QStringLiteral("k")), false));
        ExecuteCommands(commands, host, host.Stack);
        QCOMPARE(host.Value("@B"), QStringLiteral("S:x"));
        QCOMPARE(host.Value("X"), QStringLiteral("S:x"));
        QCOMPARE(host.Value("@A"), QStringLiteral("S:k"));
    }
    {
        // a result stored twice: the second store still finds it in @A
        reset();
        b.SetAsString(QStringLiteral("r"));
        TCommandList commands;
        commands.Add(std::make_unique<TAssignCmd>(a, b, false));
        commands.Add(std::make_unique<TAssignCmd>(x, a, true));
        commands.Add(std::make_unique<TAssignCmd>(y, a, true));
        commands.Add(std::make_unique<TAssignConstCmd>(b, TConstValue::Double(1), false));
        ExecuteCommands(commands, host, host.Stack);
        QCOMPARE(host.Value("X"), QStringLiteral("S:r"));
        QCOMPARE(host.Value("Y"), QStringLiteral("S:r"));
        QCOMPARE(x.PrevStr(), QStringLiteral("x"));
    }
    {
        // a value loaded and stored twice: the second store still finds it in @A
        reset();
        TCommandList commands;
        commands.Add(std::make_unique<TAssignCmd>(a, x, false));
        commands.Add(std::make_unique<TAssignCmd>(y, a, true));
        commands.Add(std::make_unique<TAssignCmd>(b, a, false));
        commands.Add(std::make_unique<TAssignConstCmd>(a, TConstValue::Double(1), false));
        ExecuteCommands(commands, host, host.Stack);
        QCOMPARE(host.Value("Y"), QStringLiteral("S:x"));
        QCOMPARE(host.Value("@B"), QStringLiteral("S:x"));
    }
    {
        // a variable stored into one of another type fails at the store
        reset();
        host.Preset(QStringLiteral("N=N:4"));
        TCommandList commands;
        host.Compile(QStringLiteral("X = N;\nY = 3"), commands, 100);
        QUARN_EXPECT_ERROR(ExecuteCommands(commands, host, host.Stack),
                           "X: Несоответствие типов данных (STRING и NUMBER)");
        QCOMPARE(host.ErrorPos(), commands[1]->Position() - 1);
        QCOMPARE(host.Value("X"), QStringLiteral("S:x"));
    }
    {
        // a stored result of the wrong type fails at the store
        reset();
        TCommandList commands;
        host.Compile(QStringLiteral("X = 1 + 2;\nY = 3 + 4"), commands, 100);
        QUARN_EXPECT_ERROR(ExecuteCommands(commands, host, host.Stack),
                           "X: Несоответствие типов данных (STRING и NUMBER)");
        int store = 0;
        while (!(commands[store]->Code() == TCommand::ckAssign
                 && &static_cast<TAssignCmd *>(commands[store])->Target() == &x))
            ++store;
        QCOMPARE(host.ErrorPos(), commands[store]->Position() - 1);
        QCOMPARE(host.Value("X"), QStringLiteral("S:x"));
    }
}

// An argument loaded into @A and taken from it arrives the same when the
// loop stores it straight into the argument holder: named after the
// register, without previous values, an empty text as a null one.
void ScriptInterpreterTest::argumentsLoadedInOneStepArriveAsTaken_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("expected");
    QTest::newRow("variable") << "Inspect(N)" << "@A N:5 prev 0";
    QTest::newRow("text variable") << "Inspect(S)" << "@A S:ab prev 0";
    QTest::newRow("empty text variable") << "Inspect(E)" << "@A S: null prev 0";
    QTest::newRow("constant") << "Inspect(7)" << "@A N:7 prev 0";
    QTest::newRow("text constant") << "Inspect('cd')" << "@A S:cd prev 0";
    QTest::newRow("empty text constant") << "Inspect('')" << "@A S: null prev 0";
    QTest::newRow("date constant") << "Inspect(D)" << "@A D:45000 prev 0";
    QTest::newRow("expression") << "Inspect(N + 1)" << "@A N:6 prev 0";
    QTest::newRow("second of two") << "Inspect2(1, S)" << "@A S:ab prev 0";
}

void ScriptInterpreterTest::argumentsLoadedInOneStepArriveAsTaken()
{
    QFETCH(QString, call);
    QFETCH(QString, expected);
    TScriptTestHost host;
    auto inspect = [](const TReportVar &a) {
        const bool nullText = a.VarType() == vtString && a.StringValue().isNull();
        return QStringLiteral("%1 %2%3 prev %4")
            .arg(a.Name(), ValueText(a), nullText ? QStringLiteral(" null") : QString())
            .arg(a.PrevNum());
    };
    host.AddFunc(QStringLiteral("Inspect"), 1, [inspect](TReportHost &, TParamList &p, TReportVar &r) {
        r.SetAsString(inspect(*p[0]));
    });
    host.AddFunc(QStringLiteral("Inspect2"), 2, [inspect](TReportHost &, TParamList &p, TReportVar &r) {
        r.SetAsString(inspect(*p[1]));
    });
    host.Preset(QStringLiteral("N=N:3;S=S:x;D=D:45000"));
    host.GetVar(QStringLiteral("N")).SetAsNumber(5);   // previous number 3
    host.GetVar(QStringLiteral("S")).SetAsString(QStringLiteral("ab"));
    host.GetVar(QStringLiteral("E")).SetAsString(QStringLiteral("x").left(0));
    for (int run = 0; run < 2; ++run) {   // the second run reuses the argument holders
        host.Run(QStringLiteral("X = ") + call + QStringLiteral("; Y = 0"));
        QCOMPARE(host.Value("X"), QStringLiteral("S:") + expected);
    }
}

void ScriptInterpreterTest::argumentsLoadedInOneStepLeaveTheRegisterEmpty()
{
    // an empty, not null, text constant and a register read after the
    // argument took its value: lists no script compiles to
    TScriptTestHost host;
    TReportVar &a = host.GetVar(QStringLiteral("@A"));
    TReportVar &y = host.GetVar(QStringLiteral("Y"));
    a.SetAsString(QStringLiteral("before"));
    TCommandList commands;
    commands.Add(std::make_unique<TAssignConstCmd>(a, TConstValue::String(QStringLiteral("x").left(0)), false));
    commands.Add(std::make_unique<TAddParamCmd>(a, host.Params, false, true));
    commands.Add(std::make_unique<TAssignCmd>(y, a, false));
    ExecuteCommands(commands, host, host.Stack);
    QCOMPARE(host.Params.Count(), 1);
    QCOMPARE(host.Params[0]->VarType(), quint8(vtString));
    QVERIFY(host.Params[0]->StringValue().isNull());
    QCOMPARE(host.Value("@A"), QStringLiteral("U"));
    QCOMPARE(host.Value("Y"), QStringLiteral("U"));
}

void ScriptInterpreterTest::jumpsOutsideTheListEndTheRun()
{
    TScriptTestHost host;
    TCommandList empty;
    ExecuteCommands(empty, host, host.Stack);   // runs nothing
    QCOMPARE(host.ErrorPos(), -1);

    TReportVar &x = host.GetVar(QStringLiteral("X"));
    TCommandList commands;
    commands.Add(std::make_unique<TAssignConstCmd>(x, TConstValue::Double(1), true));
    commands.Add(std::make_unique<TJumpCmd>(5));
    commands.Add(std::make_unique<TAssignConstCmd>(x, TConstValue::Double(2), true));
    ExecuteCommands(commands, host, host.Stack);
    QCOMPARE(x.GetAsNumber(), 1.0);

    TCommandList backwards;
    backwards.Add(std::make_unique<TAssignConstCmd>(x, TConstValue::Double(3), true));
    backwards.Add(std::make_unique<TJumpCmd>(-2));
    backwards.Add(std::make_unique<TAssignConstCmd>(x, TConstValue::Double(4), true));
    ExecuteCommands(backwards, host, host.Stack);
    QCOMPARE(x.GetAsNumber(), 3.0);

    // Constants of every tag: a date, a string, and none at all.
    TCommandList constants;
    TReportVar &d = host.GetVar(QStringLiteral("D"));
    constants.Add(std::make_unique<TAssignConstCmd>(d, TConstValue::Date(45000), false));
    constants.Add(std::make_unique<TAssignConstCmd>(x, TConstValue(), false));
    ExecuteCommands(constants, host, host.Stack);
    QCOMPARE(d.VarType(), quint8(vtDate));
    QCOMPARE(x.VarType(), quint8(vtUndefined));   // cleared, nothing stored
}

void ScriptInterpreterTest::popIntoParamListByName()
{
    // Without re-creating, a pop assigns each saved value to the list's
    // entry of the same name and leaves the other entries alone.
    TScriptTestHost host;
    TReportVar a(QStringLiteral("@A"), nullptr);
    a.SetAsNumber(1);
    host.Params.AddCopy(a);
    TReportVar x(QStringLiteral("X"), nullptr);
    x.SetAsString(QStringLiteral("x"));
    host.Params.AddCopy(x);
    host.Stack.Push(host.Params);

    host.Params[0]->SetAsNumber(42);
    host.Params[1]->SetAsString(QStringLiteral("changed"));
    TReportVar extra(QStringLiteral("EXTRA"), nullptr);
    extra.SetAsBoolean(true);
    host.Params.AddCopy(extra);
    host.Stack.Pop(host.Params, false);

    QCOMPARE(host.Stack.Count(), 0);
    QCOMPARE(host.Params.Count(), 3);
    QCOMPARE(ValueText(*host.Params[0]), QStringLiteral("N:1"));
    QCOMPARE(ValueText(*host.Params[1]), QStringLiteral("S:x"));
    QCOMPARE(ValueText(*host.Params[2]), QStringLiteral("B:1"));
}

void ScriptInterpreterTest::automationCalls()
{
    TScriptTestHost host;
    auto server = std::make_shared<TFakeServer>();
    auto sheet = std::make_shared<TFakeServer>();
    server->results["COUNT"] = TDispValue::FromInteger(3);
    server->results["SHEETS"] = TDispValue::FromDispatch(sheet);
    server->results["CELLS"] = TDispValue::FromDispatch(sheet);
    sheet->results["NAME"] = TDispValue::FromString(QStringLiteral("Лист1"));
    host.GetVar(QStringLiteral("W")).SetAsDispatch(server);

    host.Run(QStringLiteral("W.Visible = TRUE"));
    QCOMPARE(server->calls.size(), 1);
    QCOMPARE(server->calls[0].member, QStringLiteral("Visible"));
    QCOMPARE(server->calls[0].kind, int(ckPropertyPut));
    QCOMPARE(server->calls[0].args.size(), 1);
    QCOMPARE(server->calls[0].args[0].Type, TDispValue::Boolean);
    QCOMPARE(server->calls[0].args[0].BoolValue, true);
    QVERIFY(!server->calls[0].wantsResult);

    server->calls.clear();
    host.Run(QStringLiteral("N = W.Count"));
    QCOMPARE(server->calls.size(), 1);
    QCOMPARE(server->calls[0].kind, int(ckMethodOrGet));
    QVERIFY(server->calls[0].wantsResult);
    QCOMPARE(host.Value("N"), QStringLiteral("N:3"));

    server->calls.clear();
    host.Run(QStringLiteral("W.Quit"));
    QCOMPARE(server->calls[0].kind, int(ckMethod));
    QVERIFY(!server->calls[0].wantsResult);
    QCOMPARE(host.FindVar(QStringLiteral("@A"))->VarType(), quint8(vtUndefined));

    // A property that returns an object continues the chain.
    server->calls.clear();
    host.Run(QStringLiteral("S = W.Sheets(1).Name"));
    QCOMPARE(host.Value("S"), QStringLiteral("S:Лист1"));
    QCOMPARE(server->calls[0].member, QStringLiteral("Sheets"));
    QCOMPARE(server->calls[0].args[0].Type, TDispValue::Double);
    QCOMPARE(sheet->calls.last().member, QStringLiteral("Name"));

    // A written value goes last, after the member's own arguments.
    sheet->calls.clear();
    host.Run(QStringLiteral("W.Cells(2, 3).Value = 'x' || 'y'"));
    QCOMPARE(server->calls.last().member, QStringLiteral("Cells"));
    QCOMPARE(server->calls.last().args.size(), 2);
    QCOMPARE(server->calls.last().args[1].NumValue, 3.0);
    QCOMPARE(sheet->calls.size(), 1);
    QCOMPARE(sheet->calls[0].kind, int(ckPropertyPut));
    QCOMPARE(sheet->calls[0].args.size(), 1);
    QCOMPARE(sheet->calls[0].args[0].StrValue, QStringLiteral("xy"));

    // An object read into a variable is the same object.
    host.Run(QStringLiteral("R = W.Sheets[1]"));
    QCOMPARE(host.FindVar(QStringLiteral("R"))->GetAsDispatch(), TDispatchRef(sheet));
    QCOMPARE(host.Stack.Count(), 0);
}

void ScriptInterpreterTest::automationByReference()
{
    TScriptTestHost host;
    auto server = std::make_shared<TFakeServer>();
    host.GetVar(QStringLiteral("W")).SetAsDispatch(server);
    host.GetVar(QStringLiteral("K")).SetAsNumber(5);
    host.Run(QStringLiteral("W.Twice(&K, K)"));
    QCOMPARE(server->calls[0].byRef, (QList<bool>{true, false}));
    QCOMPARE(server->calls[0].args[1].NumValue, 5.0);
    QCOMPARE(host.Value("K"), QStringLiteral("N:10"));
    // Only the member marked with "&" passes by reference.
    host.Run(QStringLiteral("W.Twice(K)"));
    QCOMPARE(host.Value("K"), QStringLiteral("N:10"));
}

void ScriptInterpreterTest::automationValueConversions()
{
    TScriptTestHost host;
    auto server = std::make_shared<TFakeServer>();
    server->results["MONEY"] = TDispValue::FromCurrency(123456);
    server->results["WHEN"] = TDispValue::FromDate(45000.5);
    server->results["FLAG"] = TDispValue::FromBoolean(true);
    TDispValue other;
    other.Type = TDispValue::Other;
    server->results["ARRAY"] = other;
    host.GetVar(QStringLiteral("W")).SetAsDispatch(server);
    host.Run(QStringLiteral("A = W.Money\nB = W.When\nC = W.Flag\nD = W.Array"));
    QCOMPARE(host.Value("A"), QStringLiteral("N:12.3456"));
    QCOMPARE(host.Value("B"), QStringLiteral("D:45000.5"));
    QCOMPARE(host.Value("C"), QStringLiteral("B:1"));
    QCOMPARE(host.Value("D"), QStringLiteral("U"));

    // Arguments by the holder's type; types the boundary lacks go empty.
    host.GetVar(QStringLiteral("M")).SetAsMemo({QStringLiteral("line")});
    host.GetVar(QStringLiteral("DT")).SetAsDate(2);
    host.GetVar(QStringLiteral("Null"));
    host.Run(QStringLiteral("W.Take(M, DT, W, Null)"));
    const auto &args = server->calls.last().args;
    QCOMPARE(args.size(), 4);
    QCOMPARE(args[0].Type, TDispValue::Empty);
    QCOMPARE(args[1].Type, TDispValue::Date);
    QCOMPARE(args[2].Type, TDispValue::Dispatch);
    QCOMPARE(args[3].Type, TDispValue::Empty);
}

void ScriptInterpreterTest::automationErrors()
{
    TScriptTestHost host;
    auto server = std::make_shared<TFakeServer>();
    host.GetVar(QStringLiteral("W")).SetAsDispatch(server);
    host.GetVar(QStringLiteral("N")).SetAsNumber(1);
    QUARN_EXPECT_ERROR(host.Run(QStringLiteral("X = N.Count")),
                       "N: Операция неприменима для данного типа данных (NUMBER)");
    QUARN_EXPECT_ERROR(host.Run(QStringLiteral("W.Fail(1)")),
                       "Method 'Fail' not supported by automation object");
    host.GetVar(QStringLiteral("E")).SetAsDispatch(nullptr);
    QUARN_EXPECT_ERROR(host.Run(QStringLiteral("E.Quit")),
                       "Variant does not reference an automation object");
    // Results of a later member on a non-object.
    server->results["COUNT"] = TDispValue::FromInteger(1);
    QUARN_EXPECT_ERROR(host.Run(QStringLiteral("X = W.Count.Next")),
                       "@A: Операция неприменима для данного типа данных (NUMBER)");
}

QUARN_TEST_MAIN(ScriptInterpreterTest)
#include "ScriptInterpreterTest.moc"
