#include "TestSupport.h"

#include "ScriptCorpus.h"

namespace {

struct TCompileResult {
    bool ok = false;
    QString message;
    QString errorClass;
    int errorPos = -1;
    QString listing;
    QList<int> positions;
};

TCompileResult compile(const QString &script, int blockOffset = 0)
{
    TScriptTestHost host;
    PrepareCorpusHost(host);
    TCommandList commands;
    TCompileResult r;
    try {
        host.Compile(script, commands, blockOffset);
        r.ok = true;
    } catch (const UnDefinedSymbol &e) {
        r.message = e.Message();
        r.errorClass = QStringLiteral("UnDefinedSymbol");
    } catch (const Exception &e) {
        r.message = e.Message();
        r.errorClass = QStringLiteral("Exception");
    }
    r.errorPos = host.ErrorPos();
    r.listing = TScriptTestHost::Listing(commands);
    for (int i = 0; i < commands.Count(); ++i)
        r.positions << commands[i]->Position();
    return r;
}

} // namespace

class ScriptParserTest : public QObject {
    Q_OBJECT

private slots:
    void goldenListings_data();
    void goldenListings();
    void workedExamplePositions();
    void lineEndMarker_data();
    void lineEndMarker();
    void emptyTextsCompileToNothing_data();
    void emptyTextsCompileToNothing();
    void severalBlocksAndStartPosition();
    void assignedVariablesExistForLaterTexts();
    void compileErrors_data();
    void compileErrors();
    void errorPositionsAcrossLines();
    void nestingLimit_data();
    void nestingLimit();
    void randomAndMutatedTextsNeverCrash();
    void listingColumns();
};

void ScriptParserTest::goldenListings_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("expected");

    QTest::newRow("worked example: X = A + B * 2") << "X = A + B * 2;" << QString(
        "Assign @A := A | Calc COPY @B, @A | Push @B | Assign @A := B | "
        "Calc COPY @B, @A | Push @B | AssignConst @A := 2 | Pop @B | Calc * @B, @A | "
        "Assign @A := @B | Pop @B | Calc + @B, @A | Assign @A := @B | "
        "Assign X := @A keep");

    QTest::newRow("IF without ELSE: the jump after THEN lands right after itself")
        << "IF A THEN X = 1;" << QString(
        "Assign @A := A | Jnz @A, +4 | AssignConst @A := 1 | Assign X := @A keep | "
        "Jump +1");

    QTest::newRow("nested IF: the inner IF takes the first ELSE")
        << "IF A THEN IF B THEN X = 1; ELSE X = 2; ELSE X = 3;" << QString(
        "Assign @A := A | Jnz @A, +9 | Assign @A := B | Jnz @A, +4 | "
        "AssignConst @A := 1 | Assign X := @A keep | Jump +3 | AssignConst @A := 2 | "
        "Assign X := @A keep | Jump +3 | AssignConst @A := 3 | Assign X := @A keep");

    QTest::newRow("IF with block branches and NOT")
        << "IF NOT A THEN { X = 1; Y = 2; } ELSE { X = 3; }" << QString(
        "Assign @A := A | Calc NOT @A | Jnz @A, +6 | AssignConst @A := 1 | "
        "Assign X := @A keep | AssignConst @A := 2 | Assign Y := @A keep | Jump +3 | "
        "AssignConst @A := 3 | Assign X := @A keep");

    QTest::newRow("AND and OR group from the left; NOT binds looser than =")
        << "X = A OR B AND NOT C = D;" << QString(
        "Assign @A := A | Calc COPY @B, @A | Push @B | Assign @A := B | Pop @B | "
        "Calc OR @B, @A | Push @B | Assign @A := C | Push @A | Assign @A := D | Pop @B | "
        "Compare = @B, @A | Assign @A := @B | Calc NOT @A | Pop @B | Calc AND @B, @A | "
        "Assign @A := @B | Assign X := @A keep");

    QTest::newRow("leading minus: 0 minus the first term") << "X = -A * 2 + 1;" << QString(
        "AssignConst @B := 0 | Push @B | Assign @A := A | Calc COPY @B, @A | Push @B | "
        "AssignConst @A := 2 | Pop @B | Calc * @B, @A | Assign @A := @B | Pop @B | "
        "Calc - @B, @A | Push @B | AssignConst @A := 1 | Pop @B | Calc + @B, @A | "
        "Assign @A := @B | Assign X := @A keep");

    QTest::newRow("|| is +") << "X = S || 'a';" << QString(
        "Assign @A := S | Calc COPY @B, @A | Push @B | AssignConst @A := 'a' | Pop @B | "
        "Calc + @B, @A | Assign @A := @B | Assign X := @A keep");

    QTest::newRow("call in an expression") << "X = Copy(S, 1, 2);" << QString(
        "Push P | ClearParamList P | Assign @A := S | AddParam P, @A | "
        "AssignConst @A := 1 | AddParam P, @A | AssignConst @A := 2 | AddParam P, @A | "
        "Call @A := COPY(P) | Pop P recreate | Assign X := @A keep");

    QTest::newRow("nested call between by-reference arguments")
        << "GetGroup(G, Length(S), NewVar);" << QString(
        "Push P | ClearParamList P | AddParam P, &G | Push P | ClearParamList P | "
        "Assign @A := S | AddParam P, @A | Call @A := LENGTH(P) | Pop P recreate | "
        "AddParam P, @A | AddParam P, &NEWVAR | Call @A := GETGROUP(P) | Pop P recreate");

    QTest::newRow("function without arguments") << "X = IsEndReport;" << QString(
        "Push P | ClearParamList P | Call @A := ISENDREPORT(P) | Pop P recreate | "
        "Assign X := @A keep");

    QTest::newRow("property write: value first, then the chain")
        << "W.Visible = TRUE;" << QString(
        "AssignConst @A := TRUE | Assign @B := @A | Assign @A := W | Push P | "
        "ClearParamList P | Push @A | Push @B | Pop @B | Pop @A | "
        "DispCall @A := W.Visible(P) kind 4, value @B | Pop P recreate");

    QTest::newRow("property read chain in an expression") << "N = W.Sheets(1).Name;" << QString(
        "Assign @A := W | Push P | ClearParamList P | Push @A | Push @B | "
        "AssignConst @A := 1 | AddParam P, @A | Pop @B | Pop @A | "
        "DispCall @A := W.Sheets(P) kind 3, value @B | Pop P recreate | Push P | "
        "ClearParamList P | Push @A | Push @B | Pop @B | Pop @A | "
        "DispCall @A := @A.Name(P) kind 3, value @B | Pop P recreate | "
        "Assign N := @A keep");

    QTest::newRow("method statement with by-reference arguments")
        << "W.Fill(&R, 2, &T);" << QString(
        "Assign @A := W | Push P | ClearParamList P | Push @A | Push @B | "
        "AddParam P, &R | AssignConst @A := 2 | AddParam P, @A | AddParam P, &T | "
        "Pop @B | Pop @A | DispCall @A := W.Fill(P) kind 1, value @B, byref {0, 2} | "
        "Pop P recreate");

    QTest::newRow("each member has its own by-reference set")
        << "W.Item[&R].Put(1, &T) := 5;" << QString(
        "AssignConst @A := 5 | Assign @B := @A | Assign @A := W | Push P | "
        "ClearParamList P | Push @A | Push @B | AddParam P, &R | Pop @B | Pop @A | "
        "DispCall @A := W.Item(P) kind 3, value @B, byref {0} | Pop P recreate | Push P | "
        "ClearParamList P | Push @A | Push @B | AssignConst @A := 1 | AddParam P, @A | "
        "AddParam P, &T | Pop @B | Pop @A | "
        "DispCall @A := @A.Put(P) kind 4, value @B, byref {1} | Pop P recreate");

    QTest::newRow("string literals") << "X = 'It''s';\nX = 'A'#13#10'B';\nX = #65;\nX = '';" << QString(
        "AssignConst @A := 'It''s' | Assign X := @A keep | "
        "AssignConst @A := 'A'#13#10'B' | Assign X := @A keep | AssignConst @A := 'A' | "
        "Assign X := @A keep | AssignConst @A := '' | Assign X := @A keep");

    QTest::newRow("number with a fraction, blanks around the point") << "X = 1 . 5;" << QString("AssignConst @A := 1.5 | Assign X := @A keep");

    QTest::newRow("keywords and names are case-insensitive") << "if a then x = true; else x = false;"
        << QString(
        "Assign @A := A | Jnz @A, +4 | AssignConst @A := TRUE | Assign X := @A keep | "
        "Jump +3 | AssignConst @A := FALSE | Assign X := @A keep");
}

void ScriptParserTest::goldenListings()
{
    QFETCH(QString, script);
    QFETCH(QString, expected);
    const TCompileResult r = compile(script);
    QVERIFY2(r.ok, qPrintable(r.message));
    QCOMPARE(r.listing, expected);
}

void ScriptParserTest::workedExamplePositions()
{
    // Each command records the position counter when it was made: after
    // the token that completed it was scanned, one ahead.
    const TCompileResult r = compile(QStringLiteral("X = A + B * 2"));
    QVERIFY2(r.ok, qPrintable(r.message));
    QCOMPARE(r.positions, (QList<int>{8, 8, 10, 12, 12, 13, 14, 14, 14, 14, 14, 14, 14, 14}));
    // The same block further down a template moves every position with it.
    const TCompileResult moved = compile(QStringLiteral("X = A + B * 2"), 100);
    for (int i = 0; i < r.positions.size(); ++i)
        QCOMPARE(moved.positions[i], r.positions[i] + 100);
}

void ScriptParserTest::lineEndMarker_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("expected");

    QTest::newRow("a line ends the statement") << "X = 1" << QString("AssignConst @A := 1 | Assign X := @A keep");
    QTest::newRow("a line ending in an operator continues") << "X = 1 +\n2" << QString(
        "AssignConst @A := 1 | Calc COPY @B, @A | Push @B | AssignConst @A := 2 | "
        "Pop @B | Calc + @B, @A | Assign @A := @B | Assign X := @A keep");
    QTest::newRow("a line ending in a comma continues the arguments") << "X = Copy(S,\n1,\n2)" << QString(
        "Push P | ClearParamList P | Assign @A := S | AddParam P, @A | "
        "AssignConst @A := 1 | AddParam P, @A | AssignConst @A := 2 | AddParam P, @A | "
        "Call @A := COPY(P) | Pop P recreate | Assign X := @A keep");
    QTest::newRow("IF ... THEN alone on a line: the THEN branch is empty")
        << "IF A > 0 THEN\nB = 1" << QString(
        "Assign @A := A | Push @A | AssignConst @A := 0 | Pop @B | Compare > @B, @A | "
        "Assign @A := @B | Jnz @A, +2 | Jump +1 | AssignConst @A := 1 | "
        "Assign B := @A keep");
    QTest::newRow("the same IF on one line is conditional") << "IF A > 0 THEN B = 1" << QString(
        "Assign @A := A | Push @A | AssignConst @A := 0 | Pop @B | Compare > @B, @A | "
        "Assign @A := @B | Jnz @A, +4 | AssignConst @A := 1 | Assign B := @A keep | "
        "Jump +1");
    QTest::newRow("trailing blanks do not hide the operator") << "X = 1 *   \t\n2" << QString(
        "AssignConst @A := 1 | Calc COPY @B, @A | Push @B | AssignConst @A := 2 | "
        "Pop @B | Calc * @B, @A | Assign @A := @B | Assign X := @A keep");
    QTest::newRow("a comment may span lines") << "X = /* one\ntwo */ 1" << QString("AssignConst @A := 1 | Assign X := @A keep");
}

void ScriptParserTest::lineEndMarker()
{
    QFETCH(QString, script);
    QFETCH(QString, expected);
    const TCompileResult r = compile(script);
    QVERIFY2(r.ok, qPrintable(r.message));
    QCOMPARE(r.listing, expected);
}

void ScriptParserTest::emptyTextsCompileToNothing_data()
{
    QTest::addColumn<QString>("script");
    QTest::newRow("empty section") << "";
    QTest::newRow("blanks") << "   \n\t\n  ";
    QTest::newRow("comments") << "/* a */\n  /* b\n c */ ;";
    QTest::newRow("empty statements") << ";;;\n;";
}

void ScriptParserTest::emptyTextsCompileToNothing()
{
    QFETCH(QString, script);
    const TCompileResult r = compile(script);
    QVERIFY2(r.ok, qPrintable(r.message));
    QVERIFY(r.listing.isEmpty());
}

void ScriptParserTest::severalBlocksAndStartPosition()
{
    TScriptTestHost host;
    TCommandList commands;
    TKtReportParser parser(QStringLiteral("{X = 1;} /* between */ {Y = X;}"), 40, host.Params,
                           commands, host);
    parser.Parse();
    QCOMPARE(TScriptTestHost::Listing(commands), (QString(
        "AssignConst @A := 1 | Assign X := @A keep | Assign @A := X | "
        "Assign Y := @A keep")));
    QCOMPARE(commands[0]->Position(), 40 + 8);

    // A text that is nothing at all compiles to nothing, registers aside.
    TCommandList none;
    TKtReportParser empty(QString(), 0, host.Params, none, host);
    empty.Parse();
    QCOMPARE(none.Count(), 0);
    QVERIFY(host.FindVar(QStringLiteral("@A")));
    QVERIFY(host.FindVar(QStringLiteral("@B")));
}

void ScriptParserTest::assignedVariablesExistForLaterTexts()
{
    TScriptTestHost host;
    TCommandList first;
    TCommandList second;
    // Read before any assignment: not found.
    QUARN_EXPECT_ERROR(host.Compile(QStringLiteral("Y = Z + 1"), second), "Z: Переменная не найдена");
    host.Compile(QStringLiteral("Z = 1"), first);
    host.Compile(QStringLiteral("Y = Z + 1"), second);
    // An assignment's target exists already while its own value compiles.
    host.Compile(QStringLiteral("K = K + 1"), second);
    // By-reference arguments create their variables as well.
    host.AddFunc(QStringLiteral("Exchange"), 2, {}, ByRefPositions({0, 1}));
    host.Compile(QStringLiteral("Exchange(P1, P2)\nQ = P1"), second);
    QVERIFY(host.FindVar(QStringLiteral("p2")));
    // The expert's line: a call with a variable read, the result assigned.
    host.AddFunc(QStringLiteral("OpenTable"), 1, {});
    host.GetVar(QStringLiteral("TName"));
    TCommandList expert;
    host.Compile(QStringLiteral("T = OpenTable(TName)"), expert);
    QCOMPARE(TScriptTestHost::Listing(expert), (QString(
        "Push P | ClearParamList P | Assign @A := TNAME | AddParam P, @A | "
        "Call @A := OPENTABLE(P) | Pop P recreate | Assign T := @A keep")));
}

void ScriptParserTest::compileErrors_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("errorPos");
    QTest::addColumn<QString>("errorClass");

    const QString E = QStringLiteral("Exception");
    // The error position is the template offset of the lookahead character:
    // the one right after the token in error (at a line end, whose marker is
    // not counted, the token's last character).
    QTest::newRow("unknown variable") << "Y = Z + 1" << "Z: Переменная не найдена" << 5 << E;
    QTest::newRow("unknown object of a member chain") << "X = Q.Name" << "Q: Переменная не найдена" << 5 << E;
    QTest::newRow("unknown object of an automation statement") << "Q.Name" << "Q: Переменная не найдена" << 2 << E;
    QTest::newRow("no ; before ELSE") << "IF X THEN Y = 1 ELSE Y = 2;" << "Требуется ;" << 20 << E;
    QTest::newRow("one comparison per relation") << "A = 1 < 2 < 3" << "Требуется ;" << 11 << E;
    QTest::newRow("empty parentheses of a call") << "X = Copy()" << "Требуется идентификатор" << 9 << E;
    QTest::newRow("expression missing") << "X = " << "Требуется идентификатор" << 5 << E;
    QTest::newRow("by-reference argument not a name") << "Exchange(A, 1)" << "Требуется идентификатор" << 13 << E;
    QTest::newRow("carriage return in a string") << "X = 'abc\nY = 1" << "Неожиданный конец строки" << 8 << E;
    QTest::newRow("# without digits") << "X = #" << "Требуется число" << 4 << E;
    QTest::newRow("fraction missing") << "X = 1 . A" << "Требуется число" << 8 << E;
    QTest::newRow("character that starts no token") << "X = 1 $" << "Неверный символ" << 6
                                                     << "UnDefinedSymbol";
    QTest::newRow("single bar") << "X = 1 | 2" << "Неверный символ" << 7 << "UnDefinedSymbol";
    QTest::newRow("single colon") << "X : 2" << "Неверный символ" << 3 << "UnDefinedSymbol";
    QTest::newRow("Ё is no letter") << "Ёлка = 1" << "Неверный символ" << 1 << "UnDefinedSymbol";
    QTest::newRow("@ only starts a name") << "A@ = 1" << "Требуется =" << 2 << E;
    QTest::newRow("braces at the top of a section") << "{ X = 1 }" << "Неверный символ: {" << 1 << E;
    QTest::newRow("statement list starting with a number") << "5" << "Неверный символ: 5" << 0 << E;
    QTest::newRow("ELSE as a branch") << "IF A THEN ELSE X = 1;" << "Неверный символ: ELSE" << 14 << E;
    QTest::newRow("THEN missing") << "IF A X = 1" << "Требуется then" << 6 << E;
    QTest::newRow("= missing") << "X 1" << "Требуется =" << 2 << E;
    QTest::newRow(") missing") << "X = (1" << "Требуется )" << 6 << E;
    QTest::newRow("member name missing") << "N = W." << "Требуется имя" << 6 << E;
    QTest::newRow("member name is a keyword") << "W.If" << "Требуется имя" << 3 << E;
    QTest::newRow(") of automation arguments missing") << "W.Cells(1" << "Требуется )" << 9 << E;
    QTest::newRow("] of automation arguments missing") << "W.Item[1)" << "Требуется ]" << 8 << E;
    QTest::newRow("& without a name") << "W.Fill(&1)" << "Требуется идентификатор" << 9 << E;
    QTest::newRow("comment left open") << "X = 1 /* open" << "Неожиданный конец блока" << 14 << E;
    QTest::newRow("string left open") << "X = 'open" << "Неожиданный конец блока" << 10 << E;
    QTest::newRow("block left open") << "IF A THEN {" << "Неожиданный конец блока" << 12 << E;
    QTest::newRow("stray closing brace") << "X = 1; }" << "Требуется {" << 9 << E;
    QTest::newRow("a function name wins over a variable") << "Length = 1" << "Требуется ;" << 8 << E;
}

void ScriptParserTest::compileErrors()
{
    QFETCH(QString, script);
    QFETCH(QString, message);
    QFETCH(int, errorPos);
    QFETCH(QString, errorClass);
    const TCompileResult r = compile(script);
    QVERIFY(!r.ok);
    QCOMPARE(r.message, message);
    QCOMPARE(r.errorClass, errorClass);
    QCOMPARE(r.errorPos, errorPos);
}

void ScriptParserTest::errorPositionsAcrossLines()
{
    // Positions count the template's CR LF line ends; the line-end markers
    // do not count. "Y = Q" starts at offset 7 of "X = 1\r\nY = Q".
    const TCompileResult r = compile(QStringLiteral("X = 1\nY = Q + 1"));
    QCOMPARE(r.message, QStringLiteral("Q: Переменная не найдена"));
    QCOMPARE(r.errorPos, 12);
    // The block at offset 30 of a template moves the position with it.
    const TCompileResult moved = compile(QStringLiteral("X = 1\nY = Q + 1"), 30);
    QCOMPARE(moved.errorPos, 42);
    // The commands made before the error stay.
    QCOMPARE(r.listing, QStringLiteral("AssignConst @A := 1 | Assign X := @A keep"));
}

void ScriptParserTest::nestingLimit_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("accepted");
    const int deep = 50000;
    const int fine = 400;
    QTest::newRow("parentheses, deep") << "X = " + QString(deep, u'(') + "1" + QString(deep, u')') << false;
    QTest::newRow("parentheses, fine") << "X = " + QString(fine, u'(') + "1" + QString(fine, u')') << true;
    QTest::newRow("IF chains, deep") << QStringLiteral("IF A THEN ").repeated(deep) + "X = 1;" << false;
    QTest::newRow("IF chains, fine") << QStringLiteral("IF A THEN ").repeated(fine) + "X = 1;" << true;
    QTest::newRow("blocks, deep") << QStringLiteral("IF A THEN {").repeated(deep) + "X = 1;" + QString(deep, u'}') << false;
    QTest::newRow("call arguments, deep") << "X = " + QStringLiteral("Length(").repeated(deep) + "1" + QString(deep, u')') << false;
    QTest::newRow("automation arguments, deep") << "X = " + QStringLiteral("W.A(").repeated(deep) + "1" + QString(deep, u')') << false;
    QTest::newRow("long flat chains are no nesting") << "X = 1" + QStringLiteral(" + 1").repeated(deep) << true;
    QTest::newRow("long member chains are no nesting") << "W" + QStringLiteral(".A").repeated(deep) << true;
}

void ScriptParserTest::nestingLimit()
{
    QFETCH(QString, script);
    QFETCH(bool, accepted);
    const TCompileResult r = compile(script);
    if (accepted) {
        QVERIFY2(r.ok, qPrintable(r.message));
    } else {
        QVERIFY(!r.ok);
        QCOMPARE(r.message, QStringLiteral("Слишком глубокая вложенность"));
        QVERIFY(r.errorPos > 0 && r.errorPos < script.size());
    }
}

void ScriptParserTest::randomAndMutatedTextsNeverCrash()
{
    const QStringList corpus = ParserCorpus();
    int compiled = 0;
    for (const QString &text : std::as_const(corpus)) {
        // Both as a template's script block and as a raw parser text.
        for (const bool wrapped : {true, false}) {
            TScriptTestHost host;
            PrepareCorpusHost(host);
            TCommandList commands;
            try {
                if (wrapped) {
                    host.Compile(text, commands);
                } else {
                    TKtReportParser parser(text, -1, host.Params, commands, host);
                    parser.Parse();
                }
            } catch (const Exception &e) {
                QVERIFY(!e.Message().isEmpty());
                continue;
            }
            ++compiled;
            try {
                ExecuteCommands(commands, host, host.Stack);
            } catch (const Exception &) {
                // Run-time errors of random programs are expected; crashes are not.
            }
        }
    }
    // Some of the corpus must get through to the interpreter.
    QVERIFY(compiled > 100);
}

void ScriptParserTest::listingColumns()
{
    TScriptTestHost host;
    host.GetVar(QStringLiteral("A"));
    TCommandList commands;
    host.Compile(QStringLiteral("IF A THEN X = 'a';"), commands, 10);
    const QStringList lines = CommandListing(commands);
    QCOMPARE(lines.size(), 5);
    QVERIFY(lines[0].startsWith(QStringLiteral("   0  TAssignCmd         @A := A")));
    QVERIFY(lines[0].endsWith(QStringLiteral("@%1").arg(commands[0]->Position())));
    QVERIFY(lines[1].contains(QStringLiteral("TJnzCmd            @A, +4")));
    QVERIFY(lines[4].startsWith(QStringLiteral("   4  TJumpCmd")));
}

QUARN_TEST_MAIN(ScriptParserTest)
#include "ScriptParserTest.moc"
