#include "TestSupport.h"

#include "../data/DataTestSupport.h"
#include "common/TextFile.h"
#include "data/Database.h"
#include "report/DataFunctions.h"
#include "report/KtReport.h"

// Scripts that reach the database: single values, statements, stored
// procedures, local tables and the dictionary lookup, on both engines where
// the engine matters.
class DataFunctionsTest : public QObject {
    Q_OBJECT

    // Runs a one-record template on `alias` and returns the report.
    static std::unique_ptr<TKtReport> run(const QString &alias, const QString &templ)
    {
        auto r = std::make_unique<TKtReport>();
        r->SetMeasurer(std::make_unique<TFixedPitchMeasurer>(300));
        r->SetDataBaseName(alias);
        r->SetFormatSource(templ.split('\n'));
        r->SetOneRecord(true);
        r->SetPrintName("data.prn");
        r->Prepare();
        r->Execute();
        return r;
    }

    static QStringList output() { return ReadTextLines(ProgramDir() + "/data.prn"); }

private slots:
    void initTestCase()
    {
        DataTest::writeAliases();
        DataTest::exec("LITE", {"create table T (ID integer primary key, NAME varchar(20), SUM numeric(10,2), D date)",
                                "insert into T values (5, 'Пятый', 12.5, '2024-03-05')"});
        if (DataTest::havePostgres()) {
            DataTest::exec("PG", {"drop table if exists T", "drop function if exists TWICE(integer)",
                                  "create table T (ID integer primary key, NAME varchar(20), SUM numeric(10,2), D date)",
                                  "insert into T values (5, 'Пятый', 12.5, '2024-03-05')",
                                  "create function TWICE(X integer, out RES integer) as 'select X * 2' language sql"});
        }
    }

    void singleValues_data() { DataTest::engineRows(); }
    void singleValues()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        run(alias, ".VARS\nID := 5\nMISSING := 6\n.DETAIL\n"
                   "#N := GetQuery('SELECT NAME FROM T WHERE ID = :ID')\n"
                   "#E := GetQuery('SELECT NAME FROM T WHERE ID = :MISSING')\n"
                   "#S := GetQueryExt('SELECT SUM FROM T WHERE ID = :ID')\n"
                   "#D := GetQueryDate('SELECT D FROM T')\n"
                   "[@N][@E][@S:.2][@D]");
        QCOMPARE(output(), QStringList{"[Пятый][][12.50][05.03.2024]"});
    }

    void statements_data() { DataTest::engineRows(); }
    void statements()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        run(alias, ".DETAIL\n"
                   "#R1 := ExecSQL('INSERT INTO T VALUES (6, ''Шестой'', 1, NULL)')\n"
                   "#R2 := ExecSQL('INSERT INTO T VALUES (6, ''Дубль'', 1, NULL)')\n"
                   "#IF R2 = '' THEN R2 := 'нет ошибки';\n"
                   "#C := GetQueryExt('SELECT COUNT(*) FROM T')\n"
                   "[@R1][@C]\n@R2");
        const QStringList out = output();
        QCOMPARE(out.value(0), QString("[][2]"));
        QVERIFY2(out.value(1) != "нет ошибки" && !out.value(1).trimmed().isEmpty(), qPrintable(out.join('\n')));
        DataTest::exec(alias, {"DELETE FROM T WHERE ID = 6"});
    }

    void localTables()
    {
        // the report expert's table export, on the program directory's
        // local database
        run("LITE", ".VARS\nCODE := '007'\nPRICE := 1.5\nDAY := StrToDate('01.02.2024')\nNOTE := 'x'\n.DETAIL\n"
                    "#R0 := ExecLocal('drop table \"TABLE1.DBF\"')\n"
                    "#R1 := ExecLocal('create table \"TABLE1.DBF\" (CODE Char(10), PRICE Numeric(10), DAY Date, FLAG Boolean, MEMO Blob)')\n"
                    "#T := OpenTable('TABLE1.DBF')\n#Res := AddRecord(T)\n#PRICE := 2.5\n#Res := AddRecord(T)\n#Res := CloseTable(T)\n"
                    "#N := GetQueryExt('SELECT COUNT(*) FROM T')\n[@R1][@N]");
        QCOMPARE(output(), QStringList{"[][1]"});   // the report's database was not touched
        QVERIFY(QFile::exists(ProgramDir() + "/" + LocalDatabaseFile));
        TQuery q;
        q.SetDatabaseName(LocalDatabaseName());
        q.SetSQLText("select CODE, PRICE, DAY, FLAG from \"TABLE1.DBF\" order by PRICE");
        q.Open();
        QCOMPARE(q.FieldByName("CODE")->AsString(), QString("007"));
        QCOMPARE(q.FieldByName("PRICE")->AsFloat(), 1.5);
        QCOMPARE(q.FieldByName("DAY")->AsDateTime(), EncodeDate(2024, 2, 1));
        QVERIFY(q.FieldByName("FLAG")->IsNull());   // no variable: left empty
        q.Next();
        QCOMPARE(q.FieldByName("PRICE")->AsFloat(), 2.5);
        q.Close();
        // EmptyTable removes the records
        run("LITE", ".DETAIL\n#T := OpenTable('TABLE1.DBF')\n#Res := EmptyTable(T)\nok");
        q.Open();
        QVERIFY(q.Eof());
        Session().CloseAll();
    }

    void storedProcedures_data() { DataTest::engineRows(); }
    void storedProcedures()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        if (DataTest::isPg(alias)) {
            run(alias, ".VARS\nX := 21\nRES := 0\n.DETAIL\n#R := ExecProc('TWICE')\n[@R][@RES]");
            QCOMPARE(output().join("\n"), QString("[][42]"));
            // an output parameter without a variable declares one
            auto r = run(alias, ".VARS\nX := 4\n.DETAIL\n#R := ExecProc('twice')\nok");
            QVERIFY(r->FindVar("RES"));
            QCOMPARE(r->FindVar("RES")->GetAsNumber(), 8.0);
        } else {
            run(alias, ".DETAIL\n#R := ExecProc('TWICE')\n#IF R = '' THEN R := 'нет';\n@R");
            QVERIFY(output().value(0) != "нет");   // the engine's message
        }
    }

    void dictionary()
    {
        TDictionaryRequest seen;
        SetDictionaryLookup([&](const TDictionaryRequest &req) -> QVariant {
            seen = req;
            if (req.Sql.contains("CANCEL"))
                return QVariant();
            return req.FieldName == u"NAME" ? QVariant(QStringLiteral("выбрано")) : QVariant(7.0);
        });
        run("LITE", ".DETAIL\n#A := GetFromDictionary('NAME', 'select * from T', 'NAME|Имя', 1, FALSE)\n"
                    "#B := GetFromDictionary('ID', 'select * from T')\n[@A][@B]");
        QCOMPARE(output(), QStringList{"[выбрано][7]"});
        QCOMPARE(seen.DatabaseName, QString("LITE"));
        QCOMPARE(seen.TitleRows, 2);   // the defaults of the second call
        QVERIFY(seen.Search);
        QUARN_EXPECT_ERROR(run("LITE", ".DETAIL\n#A := GetFromDictionary('NAME', 'CANCEL')\nx"), "Выполнение прервано");
        SetDictionaryLookup({});
        // without a lookup the function is not registered at all
        QUARN_EXPECT_ERROR(run("LITE", ".DETAIL\n#A := GetFromDictionary('NAME', 'x')\nx"),
                           "GETFROMDICTIONARY: Переменная не найдена");
    }
};

QUARN_TEST_MAIN(DataFunctionsTest)
#include "DataFunctionsTest.moc"
