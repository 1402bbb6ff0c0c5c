// The data layer's own reading of SQL texts: parameter marks, transaction
// words, single-table SELECTs, script splitting; parameter sets; number
// pictures.
#include "TestSupport.h"
#include "data/Fields.h"
#include "data/Params.h"
#include "data/SqlText.h"

class SqlTextTest : public QObject {
    Q_OBJECT

private slots:
    void paramMarks_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("plain") << "SELECT * FROM T WHERE A = :A AND B > :Bee_2" << QStringList{"A", "Bee_2"};
        QTest::newRow("in a string literal") << "SELECT ':X', 'it''s :Y' FROM T WHERE C = :C" << QStringList{"C"};
        QTest::newRow("in a quoted name") << "SELECT \"a:b\" FROM T WHERE D = :D" << QStringList{"D"};
        QTest::newRow("in comments") << "SELECT 1 -- :No\n/* :Nor\n :This */ FROM T WHERE E=:E" << QStringList{"E"};
        QTest::newRow("cast is no mark") << "SELECT id::text, :P::integer FROM T" << QStringList{"P"};
        QTest::newRow("assignment") << "x := :V" << QStringList{"V"};
        QTest::newRow("dollar quoted") << "SELECT $$ :No $$, $q$ :Nor $q$, :Yes" << QStringList{"Yes"};
        QTest::newRow("E-string escape") << "SELECT E'\\' :No', :Yes" << QStringList{"Yes"};
        QTest::newRow("cyrillic name") << "WHERE ИМЯ = :Имя" << QStringList{"Имя"};
        QTest::newRow("quoted mark") << "WHERE A = :\"Two words\"" << QStringList{"Two words"};
        QTest::newRow("time in a literal, digits after colon") << "SELECT '12:30', a[1:2] FROM T" << QStringList{};
        QTest::newRow("repeated") << ":A + :a + :B" << QStringList{"A", "a", "B"};
        QTest::newRow("unclosed literal") << "SELECT ':A" << QStringList{};
    }
    void paramMarks()
    {
        QFETCH(QString, sql);
        QFETCH(QStringList, names);
        QStringList found;
        for (const TSqlParamMark &m : FindSqlParams(sql)) {
            found.append(m.Name);
            QCOMPARE(sql.at(m.Start), QChar(u':'));
        }
        QCOMPARE(found, names);
    }

    void replaceMarks()
    {
        const QString sql = QStringLiteral("A = :A AND ':A' = :\"B c\"");
        const auto marks = FindSqlParams(sql);
        QCOMPARE(ReplaceSqlParams(sql, marks, [&](int i) { return QStringLiteral("<%1>").arg(marks[i].Name); }),
                 QStringLiteral("A = <A> AND ':A' = <B c>"));
    }

    void transactionWords_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("word");
        QTest::newRow("COMMIT") << "COMMIT" << "COMMIT";
        QTest::newRow("lower with semicolon") << "  commit ;\r\n" << "COMMIT";
        QTest::newRow("commit work") << "Commit Work" << "COMMIT";
        QTest::newRow("ROLLBACK") << "ROLLBACK" << "ROLLBACK";
        QTest::newRow("rollback to savepoint is no end") << "ROLLBACK TO SAVEPOINT a" << "";
        QTest::newRow("begin") << "BEGIN TRANSACTION" << "BEGIN";
        QTest::newRow("comment before") << "/* x */ COMMIT" << "COMMIT";
        QTest::newRow("a select") << "SELECT 'COMMIT'" << "";
    }
    void transactionWords()
    {
        QFETCH(QString, sql);
        QFETCH(QString, word);
        QCOMPARE(TransactionWord(sql), word);
    }

    void singleTableSelect_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("table");
        QTest::newRow("star") << "SELECT * FROM SYS_REPORT\r\nWHERE\r\nRE_APP_NAM = :AppNam" << true << "SYS_REPORT";
        QTest::newRow("quoted") << "SELECT * FROM \"My Table\"" << true << "My Table";
        QTest::newRow("schema") << "select a, b from sales.orders o where o.a > 1 order by a, b" << true << "sales.orders";
        QTest::newRow("subquery in list") << "SELECT a, (SELECT max(x) FROM u) FROM t" << true << "t";
        QTest::newRow("search block") << "SELECT * FROM T \r\nWHERE\r\n/*Begin for NAME*/\r\nNAME like 'IV%'\r\n/*End for NAME*/\r\nAND  A = 1" << true << "T";
        QTest::newRow("join") << "SELECT * FROM a JOIN b ON a.id = b.id" << false << "";
        QTest::newRow("comma join") << "SELECT * FROM a, b" << false << "";
        QTest::newRow("group") << "SELECT a, count(*) FROM t GROUP BY a" << false << "";
        QTest::newRow("distinct") << "SELECT DISTINCT a FROM t" << false << "";
        QTest::newRow("union") << "SELECT a FROM t UNION SELECT a FROM u" << false << "";
        QTest::newRow("from subquery") << "SELECT * FROM (SELECT 1) x" << false << "";
        QTest::newRow("not a select") << "UPDATE t SET a = 1" << false << "";
    }
    void singleTableSelect()
    {
        QFETCH(QString, sql);
        QFETCH(bool, ok);
        QFETCH(QString, table);
        const TSingleTableSelect s = ParseSingleTableSelect(sql);
        QCOMPARE(s.Ok, ok);
        if (ok) {
            QCOMPARE(s.Table, table);
            QCOMPARE(sql.mid(s.SelectListStart - 6, 6).toUpper(), QStringLiteral("SELECT"));
        }
    }

    void scriptSplitting()
    {
        const QString script = QStringLiteral(
            "-- demo; with a semicolon in a comment\n"
            "CREATE TABLE a (s VARCHAR(10) DEFAULT ';');\n"
            "INSERT INTO a VALUES ('x;y');;\n"
            "/* ; */\n"
            "INSERT INTO a VALUES ($$;$$)");
        const QStringList parts = SplitSqlScript(script);
        QCOMPARE(parts.size(), 3);
        QVERIFY(parts[0].endsWith(QStringLiteral("DEFAULT ';')")));
        QCOMPARE(parts[1], QStringLiteral("INSERT INTO a VALUES ('x;y')"));
        QCOMPARE(parts[2], QStringLiteral("/* ; */\nINSERT INTO a VALUES ($$;$$)"));
    }

    void paramSets()
    {
        TParams a;
        a.CreateParam(ftInteger, QStringLiteral("ID")).SetAsInteger(5);
        a.CreateParam(ftString, QStringLiteral("Name")).SetAsString(QStringLiteral("Иван"));
        a.CreateParam(ftDate, QStringLiteral("D"));
        TParams copy = a;
        a.ParamByName("id").SetAsInteger(6);
        QCOMPARE(copy.ParamByName("ID").AsInteger(), 5);   // a copy is independent
        QVERIFY(!copy.ParamByName("D").IsBound());

        TParams b;
        b.CreateParam(ftUnknown, QStringLiteral("name"));
        b.CreateParam(ftUnknown, QStringLiteral("Other")).SetAsFloat(1.5);
        b.AssignValues(a);
        QCOMPARE(b.ParamByName("name").AsString(), QStringLiteral("Иван"));
        QCOMPARE(b.Items(0).Name(), QStringLiteral("name"));   // keeps its own name
        QCOMPARE(b.ParamByName("Other").AsFloat(), 1.5);
        QUARN_EXPECT_ERROR(b.ParamByName("X"), "Параметр 'X' не найден");

        TParam p;
        p.SetAsDateTime(EncodeDate(2025, 1, 31) + EncodeTime(10, 0, 0, 0));
        QCOMPARE(p.AsString(), QStringLiteral("31.01.2025 10:00:00"));
        QCOMPARE(p.AsDateTime(), EncodeDate(2025, 1, 31) + EncodeTime(10, 0, 0, 0));
        p.Clear();
        QVERIFY(p.IsNull());
        QVERIFY(p.IsBound());
    }

    void numberPictures_data()
    {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("thousands") << "#,##0.00" << 1234567.891 << "1,234,567.89";
        QTest::newRow("negative") << "#,##0.00" << -1234.5 << "-1,234.50";
        QTest::newRow("optional decimals") << "0.##" << 2.5 << "2.5";
        QTest::newRow("no integer zero") << "#.00" << 0.25 << ".25";
        QTest::newRow("literal suffix") << "0.0 руб." << 3.14159 << "3.1 руб.";
        QTest::newRow("negative section") << "0.00;(0.00)" << -2.0 << "(2.00)";
        QTest::newRow("zero section") << "0.00;-0.00;ноль" << 0.0 << "ноль";
        QTest::newRow("percent") << "0%" << 0.256 << "26%";
    }
    void numberPictures()
    {
        QFETCH(QString, picture);
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(FormatFloat(picture, value), text);
    }

    void secondStatement_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("at");
        QTest::newRow("one") << "select 1" << -1;
        QTest::newRow("trailing semicolons and blanks") << "select 1 ;; \n" << -1;
        QTest::newRow("trailing comments") << "select 1; -- done\n/* end */" << -1;
        QTest::newRow("semicolon in a literal") << "select ';drop' from T" << -1;
        QTest::newRow("semicolon in a quoted name") << "select \"a;b\" from T" << -1;
        QTest::newRow("semicolon in a comment") << "select 1 /* ; drop */ -- ;x\n" << -1;
        QTest::newRow("semicolon in dollar quotes") << "select $$;drop$$" << -1;
        QTest::newRow("second statement") << "select 1; drop table T" << 10;
        QTest::newRow("after a comment") << "select 1; /* c */ delete from T" << 18;
        QTest::newRow("substituted value") << "select * from T where C = ''; DROP TABLE S; --'" << 30;
        QTest::newRow("without blank") << "select 1;x" << 9;
        QTest::newRow("trigger body") << "create trigger t before insert on T begin select 1; select case when 1 then 2 end; end;"
                                      << -1;
        QTest::newRow("after a trigger") << "create temp trigger t after delete on T begin delete from U; end; drop table T"
                                         << 66;
    }

    void secondStatement()
    {
        QFETCH(QString, sql);
        QTEST(SecondStatementStart(sql), "at");
    }
};

QUARN_TEST_MAIN(SqlTextTest)
#include "SqlTextTest.moc"
