#include "TestSupport.h"

#include "ScriptTestHost.h"
#include "common/DateTime.h"
#include "common/Settings.h"
#include "common/UserInterface.h"
#include "script/BuiltinFunctions.h"

#include <QDate>
#include <QFile>

// The built-in functions called from scripts: registration order, counts and
// by-reference positions, results and errors.
class BuiltinFunctionsTest : public QObject {
    Q_OBJECT

    // A person who answers input boxes and message boxes from a script.
    struct TScriptedUser : TUserInterface {
        QStringList answers;   // "" cancels
        int button = mbOK;
        QString lastCaption, lastPrompt, lastDefault;
        QList<Button> lastButtons;
        QString fileName;
        QString lastFilter, lastDir;
        bool InputQuery(const QString &caption, const QString &prompt, QString &value) override
        {
            lastCaption = caption;
            lastPrompt = prompt;
            lastDefault = value;
            const QString a = answers.isEmpty() ? QString() : answers.takeFirst();
            if (a.isEmpty())
                return false;
            value = a;
            return true;
        }
        int MessageDlg(const QString &, const QString &caption, Kind, const QList<Button> &b) override
        {
            lastCaption = caption;
            lastButtons = b;
            return button;
        }
        QString OpenFileName(const QString &title, const QString &filter, const QString &dir) override
        {
            lastCaption = title;
            lastFilter = filter;
            lastDir = dir;
            return fileName;
        }
    };

    static std::unique_ptr<TScriptTestHost> host()
    {
        auto h = std::make_unique<TScriptTestHost>();
        RegisterBuiltinFunctions(h->Funcs);
        return h;
    }

private slots:
    void registrationOrder()
    {
        TFuncList list;
        RegisterBuiltinFunctions(list);
        // the functions of this library, in table order; the data-access and
        // office ones are registered by their own libraries
        QStringList names;
        for (int i = 0; i < list.Count(); ++i)
            names << list[i]->Name();
        QCOMPARE(names.first(), QString("LENGTH"));
        QCOMPARE(names.indexOf("EXT2STR") + 1, names.indexOf("ISENDREPORT"));
        QCOMPARE(names.last(), QString("BOOLEAN"));
        QVERIFY(!names.contains("GETQUERY"));
        QCOMPARE(BuiltinFunctionNames().size(), 67);
        QCOMPARE(BuiltinFunctionNames().at(22), QString("GetQuery"));
        QCOMPARE(BuiltinFunctionNames().at(66), QString("CreateOLEObject"));

        QCOMPARE(list.FindFunc("copy")->ArgCount(), 3);
        QCOMPARE(list.FindFunc("ISENDREPORT")->ArgCount(), 0);
        const TFunc *str2 = list.FindFunc("Str2Params");
        QVERIFY(!str2->IsByRef(0) && str2->IsByRef(1) && str2->IsByRef(7));
        const TFunc *exch = list.FindFunc("Exchange");
        QVERIFY(exch->IsByRef(0) && exch->IsByRef(1) && !exch->IsByRef(2));
        QVERIFY(list.FindFunc("OldStr")->IsByRef(0));

        // an installed implementation takes its place in the order
        InstallBuiltinFunction("GetQuery", [](TReportHost &, TParamList &, TReportVar &r) {
            r.SetAsString("q");
        });
        TFuncList withQuery;
        RegisterBuiltinFunctions(withQuery);
        QCOMPARE(withQuery[22]->Name(), QString("GETQUERY"));
        InstallBuiltinFunction("GetQuery", {});
        QUARN_EXPECT_ERROR(InstallBuiltinFunction("NoSuch", {}), "Неизвестная встроенная функция NoSuch");
    }

    void hostFunctionUnderBuiltinName()
    {
        auto h = host();
        bool called = false;
        h->AddFunc("Length", 1, [&](TReportHost &, TParamList &, TReportVar &) { called = true; });
        h->Run("N := Length('abc')");
        QVERIFY(!called);
        QCOMPARE(h->Value("N"), QString("N:3"));
    }

    void upCaseAgreesWithQtOnEveryCharacter()
    {
        // UpCase maps Latin and Cyrillic letters itself and leaves any other
        // text to QString::toUpper: every 16-bit code unit, alone and among
        // letters it maps itself, comes out as toUpper has it (ß and the
        // other letters whose upper case is longer, lone surrogates), and so
        // do surrogate pairs. One result holder serves every call, as in a
        // script, so its reused buffer is exercised as well.
        auto h = host();
        const TFunc *upCase = h->Funcs.FindFunc("UpCase");
        TReportVar &argument = h->Params.Add(std::make_unique<TReportVar>("@A", &h->Params));
        TReportVar result("@A", nullptr);
        int checked = 0;
        auto check = [&](const QString &text) {
            argument.Clear();
            argument.SetAsString(text);
            result.Clear();
            upCase->Implementation()(*h, h->Params, result);
            ++checked;
            return result.StringValue() == text.toUpper();
        };
        for (char32_t c = 0; c <= 0xFFFF; ++c) {
            const QString unit{QChar(char16_t(c))};
            QVERIFY2(check(unit) && check(QStringLiteral("zЯ") + unit + QStringLiteral("ѐa")),
                     qPrintable(QString::number(c, 16)));
        }
        for (const char32_t c : {U'\U00010428', U'\U0001E922', U'\U0001F600'}) {
            const QString pair = QString::fromUcs4(&c, 1);
            QVERIFY2(check(pair) && check(QStringLiteral("я") + pair + QStringLiteral("b")),
                     qPrintable(QString::number(c, 16)));
        }
        QCOMPARE(checked, 2 * 0x10000 + 6);
    }

    void results_data()
    {
        QTest::addColumn<QString>("presets");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");   // the value of R

        QTest::newRow("Length") << "" << "R := Length('Отчёт')" << "N:5";
        QTest::newRow("Pos") << "" << "R := Pos('b', 'abc')" << "N:2";
        QTest::newRow("Pos empty") << "" << "R := Pos('', 'abc')" << "N:0";
        QTest::newRow("Pos missing") << "" << "R := Pos('x', 'abc')" << "N:0";
        QTest::newRow("Val") << "" << "R := Val(' 1.5 ')" << "N:1.5";
        QTest::newRow("Trunc") << "" << "R := Trunc(0 - 1.7)" << "N:-1";
        QTest::newRow("Round up") << "" << "R := Round(2.5)" << "N:3";
        QTest::newRow("Round negative") << "" << "R := Round(0 - 2.5)" << "N:-3";
        QTest::newRow("Round below half") << "" << "R := Round(0.49999)" << "N:0";
        QTest::newRow("Rd2") << "" << "R := Rd2(1.005)" << "N:1.01";
        QTest::newRow("Rd2 2.675") << "" << "R := Rd2(2.675)" << "N:2.68";
        QTest::newRow("LowCase") << "" << "R := LowCase('ЁЖИК Ab')" << "S:ёжик ab";
        QTest::newRow("UpCase") << "" << "R := UpCase('ёжик ab')" << "S:ЁЖИК AB";
        QTest::newRow("UpCase Latin and Cyrillic") << "" << "R := UpCase('Клиент 12 / Город z{')" << "S:КЛИЕНТ 12 / ГОРОД Z{";
        QTest::newRow("UpCase ends of the alphabets") << "" << "R := UpCase('azаяѐџ')" << "S:AZАЯЀЏ";
        QTest::newRow("UpCase other letters") << "" << "R := UpCase('straße ä ѣ')" << "S:STRASSE Ä Ѣ";
        QTest::newRow("UpCase empty") << "" << "R := UpCase('')" << "S:";
        QTest::newRow("Copy") << "" << "R := Copy('abcdef', 2, 3)" << "S:bcd";
        QTest::newRow("Copy clipped") << "" << "R := Copy('abc', 2, 10)" << "S:bc";
        QTest::newRow("Copy past end") << "" << "R := Copy('abc', 5, 1)" << "S:";
        QTest::newRow("Copy index 0") << "" << "R := Copy('abc', 0, 2)" << "S:ab";
        QTest::newRow("Copy truncates") << "" << "R := Copy('abcdef', 2.9, 2.9)" << "S:bc";
        QTest::newRow("Trim") << "S=S: \t x \r" << "R := Trim(S)" << "S:x";
        QTest::newRow("Delete") << "" << "R := Delete('abcdef', 2, 2)" << "S:adef";
        QTest::newRow("Delete outside") << "" << "R := Delete('abc', 4, 1)" << "S:abc";
        QTest::newRow("Delete clipped") << "" << "R := Delete('abc', 2, 9)" << "S:a";
        QTest::newRow("Insert") << "" << "R := Insert('XY', 'abc', 2)" << "S:aXYbc";
        QTest::newRow("Insert before start") << "" << "R := Insert('X', 'abc', 0 - 3)" << "S:Xabc";
        QTest::newRow("Insert appends") << "" << "R := Insert('X', 'abc', 4)" << "S:abcX";
        QTest::newRow("Insert far past end") << "" << "R := Insert('X', 'abc', 99)" << "S:abcX";
        QTest::newRow("DeleteSpace") << "" << "R := DeleteSpace('  a   b  ')" << "S:a b";
        QTest::newRow("LPad") << "" << "R := LPad('7', 3, '0')" << "S:007";
        QTest::newRow("LPad default blank") << "" << "R := LPad('7', 3)" << "S:  7";
        QTest::newRow("RPad never shortens") << "" << "R := RPad('ab', 1)" << "S:ab";
        QTest::newRow("RPad empty pad char") << "" << "R := RPad('ab', 4, '')" << "S:ab  ";
        QTest::newRow("Ext2Str zero with #") << "" << "R := Ext2Str(0, '#15', 2)" << "S:0";
        QTest::newRow("Ext2Str # nonzero") << "" << "R := Ext2Str(1.5, '#15', 2)" << "S:1.5";
        QTest::newRow("Ext2Str accounting") << "" << "R := Ext2Str(12.5, '=15', 2)" << "S:12-50";
        QTest::newRow("Ext2Str accounting whole") << "" << "R := Ext2Str(12, '=15', 2)" << "S:12=";
        QTest::newRow("Ext2Str currency") << "" << "R := Ext2Str(1234.5, '$15', 2)" << "S:1,234.50";
        QTest::newRow("Ext2Str number precision") << "" << "R := Ext2Str(3.14159, 3, 0)" << "S:3.14";
        QTest::newRow("Ext2Str currency tie") << "" << "R := Ext2Str(12.5, '$2', 2)" << "S:13.00";
        QTest::newRow("Ext2Money") << "" << "R := Ext2Money(21.05)" << "S:Двадцать один рубль 05 копеек";
        QTest::newRow("Ext2Money whole") << "" << "R := Ext2Money(21)" << "S:Двадцать один рубль";
        QTest::newRow("Ext2Money with kopecks flag") << "" << "R := Ext2Money(21, 2)" << "S:Двадцать один рубль 00 копеек";
        QTest::newRow("Ext2Money only value") << "" << "R := Ext2Money(21, 1)" << "S:Двадцать один";
        QTest::newRow("Ext2Money kopecks in words") << "" << "R := Ext2Money(0.5, 4)" << "S:Ноль рублей пятьдесят копеек";
        QTest::newRow("Ext2Money too large") << "" << "R := Ext2Money(20000000000000000)" << "U";
        QTest::newRow("Format") << "" << "R := Format('%s-%s', 'a', TRUE, 'b')" << "S:a-b";
        QTest::newRow("Format number") << "" << "R := Format('%8.2f|', 3.14159)" << "S:    3.14|";
        QTest::newRow("Format date") << "D=D:45356" << "R := Format('[%s]', D)" << "S:[05.03.2024]";
        QTest::newRow("Format only dropped arguments") << "" << "R := Format('%s', TRUE)" << "U";
        QTest::newRow("DateToStr") << "D=D:45356" << "R := DateToStr(D)" << "S:05.03.2024";
        QTest::newRow("DateToStr format") << "D=D:45356" << "R := DateToStr(D, 'd mmmm yyyy')" << "S:5 Март 2024";
        QTest::newRow("DateToStr genitive") << "D=D:45356" << "R := DateToStr(D, 'd mmmmm yyyy')" << "S:5 Марта 2024";
        QTest::newRow("DateToStr genitive May") << "D=D:45423" << "R := DateToStr(D, 'd mmmmm')" << "S:11 Мая";
        QTest::newRow("DateToStr genitive January") << "D=D:45302" << "R := DateToStr(D, 'mmmmm')" << "S:Января";
        QTest::newRow("StrToDate") << "" << "R := StrToDate('05.03.2024')" << "D:45356";
        QTest::newRow("FloatToDate") << "" << "R := FloatToDate(45356)" << "D:45356";
        QTest::newRow("DateToFloat") << "D=D:45356.5" << "R := DateToFloat(D)" << "N:45356.5";
        QTest::newRow("String of number") << "" << "R := String(0.1 + 0.2)" << "S:0.3";
        QTest::newRow("String of date") << "D=D:45356" << "R := String(D)" << "S:05.03.2024";
        QTest::newRow("String of boolean") << "" << "R := String(1 = 1)" << "S:TRUE";
        QTest::newRow("String of undefined") << "N=U" << "R := String(N)" << "U";
        QTest::newRow("Date of number") << "" << "R := Date(45356)" << "D:45356";
        QTest::newRow("Date of string") << "" << "R := Date('5.3.2024')" << "D:45356";
        QTest::newRow("Number of string") << "" << "R := Number('12.5')" << "N:12.5";
        QTest::newRow("Number of date") << "D=D:45356" << "R := Number(D)" << "N:45356";
        QTest::newRow("Number of boolean") << "" << "R := Number(2 > 1)" << "N:1";
        QTest::newRow("Boolean") << "" << "R := Boolean('true')" << "B:1";
        QTest::newRow("Boolean other") << "" << "R := Boolean('yes')" << "B:0";
        QTest::newRow("GetValueStr") << "L=S:a=1\r\nKey=two=2" << "R := GetValueStr(L, 'KEY')" << "S:two=2";
        QTest::newRow("GetValueStr memo") << "L=M:a=1|b=22" << "R := GetValueStr(L, 'b')" << "S:22";
        QTest::newRow("GetValueStr missing") << "L=S:a=1" << "R := GetValueStr(L, 'b')" << "S:";
        QTest::newRow("GetValueStr other type") << "L=N:1" << "R := GetValueStr(L, 'b')" << "S:";
        QTest::newRow("GetValueExt") << "L=M:a=1.5" << "R := GetValueExt(L, 'A')" << "N:1.5";
        QTest::newRow("GetValueExt empty") << "L=M:a=" << "R := GetValueExt(L, 'a')" << "N:0";
        QTest::newRow("GetValueDate") << "L=M:d=05.03.2024" << "R := GetValueDate(L, 'd')" << "D:45356";
        QTest::newRow("GetValueDate empty") << "L=M:x=1" << "R := GetValueDate(L, 'd')" << "D:0";
        QTest::newRow("In found") << "" << "R := In(3, 1, 2, 3)" << "B:1";
        QTest::newRow("In missing") << "" << "R := In(3, 1, 2)" << "U";
        QTest::newRow("In takes else") << "" << "IF In(3, 1, 2) THEN R := 'yes'; ELSE R := 'no'" << "S:no";
        QTest::newRow("IsEndReport") << "" << "R := IsEndReport" << "B:0";
        QTest::newRow("OldExt") << "X=N:1" << "X := 2; R := OldExt(X)" << "N:1";
        QTest::newRow("OldStr") << "X=S:a" << "X := 'b'; R := OldStr(X)" << "S:a";
        QTest::newRow("OldDate") << "X=D:100" << "X := FloatToDate(200); R := OldDate(X)" << "D:100";
        QTest::newRow("FileExists missing") << "" << "R := FileExists('no such file')" << "B:0";
    }
    void results()
    {
        QFETCH(QString, presets);
        QFETCH(QString, script);
        QFETCH(QString, expected);
        auto h = host();
        h->Preset(presets);
        try {
            h->Run(script);
        } catch (const Exception &e) {
            QFAIL(qPrintable(e.Message()));
        }
        QCOMPARE(h->Value("R"), expected);
    }

    void textResultsRecordAfterRecord_data()
    {
        QTest::addColumn<QString>("presets");
        QTest::addColumn<QString>("script");     // run three times, as once a record
        QTest::addColumn<QString>("expected");   // "NAME=text" (null for a null text) ...

        // Text results are written into buffers their holders dropped
        // earlier: sources that are the target itself, longer texts
        // before shorter ones, and previous values that must survive.
        QTest::newRow("text plus itself") << "S=S:ab" << "S := S + S" << "S=abababababababab";
        QTest::newRow("Copy of the target") << "S=S:abcdefgh" << "S := Copy(S, 2, 3)" << "S=d";
        QTest::newRow("Copy of the whole target") << "S=S:abc" << "S := Copy(S, 1, 9) + Copy(S, 1, 9)"
                                                  << "S=abcabcabcabcabcabc";
        QTest::newRow("calls on the target, concatenated") << "S=S:аб" << "S := UpCase(S) + Copy(S, 1, 1)"
                                                           << "S=АБААА";
        QTest::newRow("result into its own argument") << "S=S:ab" << "S := Copy(S + 'x', 2, 9)" << "S=xx";
        QTest::newRow("shorter after longer, previous values")
            << "T=S:abcdefghij;N=N:0" << "N := N + 1; T := Copy(T, 1, 10 - 3 * N) + 'x'; P := OldStr(T)"
            << "T=ax;P=abcdx";
        QTest::newRow("UpCase of the target's copy") << "S=S:abc" << "U := UpCase(S); S := S + U"
                                                     << "U=ABCABCABCABC;S=abcABCABCABCABCABCABCABC";
        QTest::newRow("null and empty texts")
            << "S=S:ab;E=S:"
            << "A := Copy(S, 5, 1); C := UpCase(A); D := A + A; F := S + A; G := A + S; "
               "H := E + E; I := A + E; J := E + A; K := UpCase(E); L := Copy(E, 1, 1); M := ''"
            << "A=null;C=null;D=null;F=ab;G=ab;H=null;I=null;J=null;K=null;L=null;M=null";
    }
    void textResultsRecordAfterRecord()
    {
        QFETCH(QString, presets);
        QFETCH(QString, script);
        QFETCH(QString, expected);
        auto h = host();
        h->Preset(presets);
        TCommandList commands;
        h->Compile(script, commands);
        for (int record = 0; record < 3; ++record)
            ExecuteCommands(commands, *h, h->Stack);
        QStringList texts;
        for (const QString &item : expected.split(u';')) {
            const QString name = item.section(u'=', 0, 0);
            const QString &text = h->FindVar(name)->StringValue();
            texts << name + u'=' + (text.isNull() ? QStringLiteral("null") : text);
        }
        QCOMPARE(texts.join(u';'), expected);
    }

    void errors_data()
    {
        QTest::addColumn<QString>("presets");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("message");

        QTest::newRow("too few arguments") << "" << "R := Copy('a', 1)" << "COPY: Неверное количество параметров вызова";
        QTest::newRow("Val bad number") << "" << "R := Val('1,5')" << "'1,5' - не значение с плавающей запятой";
        QTest::newRow("StrToDate garbage") << "" << "R := StrToDate('завтра')" << "'завтра' - неверная дата";
        QTest::newRow("Ext2Str bad precision") << "" << "R := Ext2Str(1, '=x', 2)" << "'x' - не целое значение";
        QTest::newRow("Format d with number") << "" << "R := Format('%d', 1)" << "Формат '%d' неверный или несовместимый с аргументом";
        QTest::newRow("Format without argument") << "" << "R := Format('x')" << "FORMAT: Неверное количество параметров вызова";
        QTest::newRow("Format missing argument") << "" << "R := Format('%s %s', 'a')" << "Отстутствует аргумент для формата '%s %s'";
        QTest::newRow("argument type") << "" << "R := Length(5)" << "@A: Несоответствие типов данных (NUMBER и STRING)";
        QTest::newRow("String of memo") << "M=M:a" << "R := String(M)" << "@A: Несоответствие типов данных (MEMO и STRING)";
        QTest::newRow("Number of memo") << "M=M:a" << "R := Number(M)" << "@A: Несоответствие типов данных (MEMO и NUMBER)";
        QTest::newRow("In mismatched types") << "" << "R := In(3, 'a')" << "@A: Несоответствие типов данных (NUMBER и STRING)";
        QTest::newRow("Abort with message") << "" << "Abort('Стоп')" << "Стоп";
        QTest::newRow("GetString without default") << "" << "R := GetString('Имя')" << "Выполнение прервано";
    }
    void errors()
    {
        QFETCH(QString, presets);
        QFETCH(QString, script);
        QFETCH(QString, message);
        auto h = host();
        h->Preset(presets);
        QUARN_EXPECT_ERROR(h->Run(script), message);
    }

    void silentAbort()
    {
        auto h = host();
        QVERIFY_THROWS_EXCEPTION(EAbort, h->Run("Abort"));
        QVERIFY_THROWS_EXCEPTION(ECustomReportError, h->Run("Abort('x')"));
    }

    void byReference()
    {
        auto h = host();
        h->Preset("A=N:5;B=U;S=S:x;T=S:y;D=D:1");
        h->Run("Exchange(A, B)");
        QCOMPARE(h->Value("A"), QString("N:0"));
        QCOMPARE(h->Value("B"), QString("N:5"));
        h->Run("Exchange(S, T)");
        QCOMPARE(h->Value("S"), QString("S:y"));
        QCOMPARE(h->Value("T"), QString("S:x"));

        h->Preset("N=N:0;W=S:;U=U");
        h->Run("Str2Params('  10   abc  05.03.2024 extra', N, W, D, U)");
        QCOMPARE(h->Value("N"), QString("N:10"));
        QCOMPARE(h->Value("W"), QString("S:abc"));
        QCOMPARE(h->Value("D"), QString("D:45356"));
        QCOMPARE(h->Value("U"), QString("U"));
        h->Run("Str2Params('7', N, W, D)");
        QCOMPARE(h->Value("N"), QString("N:7"));
        QCOMPARE(h->Value("W"), QString("S:"));
        QCOMPARE(h->Value("D"), QString("D:0"));
    }

    void endModeOldValues()
    {
        auto h = host();
        h->Preset("X=N:1");
        h->Run("X := 2");
        h->EndMode = true;
        h->Run("R := OldExt(X); E := IsEndReport");
        QCOMPARE(h->Value("R"), QString("N:2"));
        QCOMPARE(h->Value("E"), QString("B:1"));
        h->Preset("T=S:a");
        // end mode reads the current value, with its type check
        QUARN_EXPECT_ERROR(h->Run("R2 := OldDate(T)"), "T: Несоответствие типов данных (STRING и DATE)");
    }

    void outputAndAliases()
    {
        auto h = host();
        h->Run("PutLine('строка'); AddOutputAlias('@@', 'X')");
        QCOMPARE(h->Lines, QStringList{"строка"});
        QCOMPARE(h->Aliases.size(), 1);
        QCOMPARE(h->Aliases.first(), std::make_pair(QString("@@"), QString("X")));
    }

    void files()
    {
        const QString dir = ProgramDir();
        QFile f(dir + "/a.txt");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("A");
        f.close();
        QFile g(dir + "/b.txt");
        QVERIFY(g.open(QIODevice::WriteOnly));
        g.write("B");
        g.close();
        auto h = host();
        h->Run("R := FileExists('a.txt')");
        QCOMPARE(h->Value("R"), QString("B:1"));
        h->Run("RenameFile('a.txt', 'b.txt')");
        QVERIFY(!QFile::exists(dir + "/a.txt"));
        QVERIFY(g.open(QIODevice::ReadOnly));
        QCOMPARE(g.readAll(), QByteArray("A"));
        g.close();
        // a missing source leaves the target alone
        h->Run("RenameFile('gone.txt', 'b.txt')");
        QVERIFY(QFile::exists(dir + "/b.txt"));
    }

    void dialogs()
    {
        TScriptedUser user;
        TUserInterface *previous = SetUserInterface(&user);
        auto h = host();

        user.answers = {"Иванов"};
        h->Run("R := GetString('Фамилия', 'Петров')");
        QCOMPARE(h->Value("R"), QString("S:Иванов"));
        QCOMPARE(user.lastCaption, QString("Форма ввода строки"));
        QCOMPARE(user.lastPrompt, QString("Фамилия"));
        QCOMPARE(user.lastDefault, QString("Петров"));

        user.answers = {"2.5"};
        h->Run("F := GetFloat('Сумма', 0.1)");
        QCOMPARE(h->Value("F"), QString("N:2.5"));
        QCOMPARE(user.lastCaption, QString("Форма ввода числа"));
        QCOMPARE(user.lastDefault, QString("0.1"));

        user.answers = {"1.2.2024"};
        h->Preset("D=D:45356");
        h->Run("G := GetDate('Дата', D)");
        QCOMPARE(h->Value("G"), QString("D:45323"));
        QCOMPARE(user.lastCaption, QString("Форма ввода даты"));
        QCOMPARE(user.lastDefault, QString("05.03.2024"));

        user.answers = {""};
        QUARN_EXPECT_ERROR(h->Run("G := GetDate('Дата')"), "Выполнение прервано");

        user.button = TUserInterface::mbNo;
        h->Run("M := Message('Продолжать?', 'ynq')");
        QCOMPARE(h->Value("M"), QString("N:7"));
        QCOMPARE(user.lastCaption, QString("Предупреждение"));
        QCOMPARE(user.lastButtons, (QList<TUserInterface::Button>{TUserInterface::mbYes, TUserInterface::mbNo}));
        h->Run("M := Message('Готово')");
        QCOMPARE(user.lastButtons, QList<TUserInterface::Button>{TUserInterface::mbOK});

        user.fileName = "/tmp/x.txt";
        h->Run("R := GetFileName('Файл')");
        QCOMPARE(h->Value("R"), QString("S:/tmp/x.txt"));
        QCOMPARE(user.lastFilter, QString("Все файлы |*.*"));
        QCOMPARE(user.lastDir, ProgramDir());
        user.fileName.clear();
        h->Run("R2 := GetFileName('Файл', '*.prn')");
        QCOMPARE(h->Value("R2"), QString("U"));

        SetUserInterface(previous);
    }
};

QUARN_TEST_MAIN(BuiltinFunctionsTest)
#include "BuiltinFunctionsTest.moc"
