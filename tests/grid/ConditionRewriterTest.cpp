#include "GridTestSupport.h"

#include "grid/ConditionRewriter.h"

using namespace GridTest;

// The SQL condition rewriter: insertion, replacement and removal of named
// condition blocks, and every rewritten statement run on SQLite and on
// PostgreSQL.
class ConditionRewriterTest : public QObject {
    Q_OBJECT

    static QString search(const QString &sql, const QString &field, const QString &value)
    {
        return RewriteCondition(sql, "%fld like %s", value, field, "", "%", false);
    }

    // The statement must run; the test databases have tables T and U with
    // columns A, NAME, GRP (see initTestCase). Returns the values of A.
    static QStringList mustRun(const QString &alias, const QString &sql)
    {
        try {
            return column(alias, sql);
        } catch (const Exception &e) {
            QTest::qFail(qPrintable(e.Message() + "\n" + sql), __FILE__, __LINE__);
        }
        return {"failed"};
    }

    static void engineColumn()
    {
        QTest::addColumn<QString>("alias");
    }

private slots:
    void initTestCase()
    {
        setUpEngines("quarn_grid_rewriter");
        for (const QString &alias : engines) {
            if (!usable(alias))
                continue;
            DataTest::exec(alias, {"create table T (A integer, NAME varchar(20), GRP integer)",
                                   "create table U (A integer, NAME varchar(20), GRP integer)",
                                   "insert into T values (1, 'IVANOV', 1), (2, 'PETROV', 1), (3, 'IVASHIN', 2)",
                                   "insert into U values (4, 'SIDOROV', 2)"});
        }
    }

    void workedExample_data() { DataTest::engineRows(); }
    void workedExample()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        const QString out = search("SELECT * FROM T WHERE A = 1", "NAME", "IV");
        QCOMPARE(out, QString("SELECT * FROM T \r\nWHERE\r\n/*Begin for NAME*/\r\nNAME like 'IV%'"
                              "\r\n/*End for NAME*/\r\nAND  A = 1"));
        QCOMPARE(mustRun(alias, out), QStringList{"1"});
    }

    void rewrite_data()
    {
        engineColumn();
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QStringList>("rows");   // A of the rows found

        const QString block = "\r\n/*Begin for NAME*/\r\nNAME like 'IV%'\r\n/*End for NAME*/\r\n";
        for (const QString &alias : engines) {
            engineRow(alias, "no where")
                << "SELECT A FROM T" << "SELECT A FROM T\r\nWHERE" + block << QStringList{"1", "3"};
            engineRow(alias, "no where, order by")
                << "SELECT A FROM T ORDER BY A" << "SELECT A FROM T \r\nWHERE" + block + "ORDER BY A"
                << QStringList{"1", "3"};
            engineRow(alias, "lower-case keywords")
                << "select A from T where A < 3 order by A"
                << "select A from T \r\nWHERE" + block + "AND  A < 3 order by A" << QStringList{"1"};
            engineRow(alias, "group by goes to having")
                << "SELECT MIN(A), NAME FROM T GROUP BY NAME"
                << "SELECT MIN(A), NAME FROM T GROUP BY NAME\r\nHAVING" + block << QStringList{"1", "3"};
            engineRow(alias, "group by with existing having")
                << "SELECT MIN(A), NAME FROM T GROUP BY NAME HAVING COUNT(*) > 0"
                << "SELECT MIN(A), NAME FROM T GROUP BY NAME \r\nHAVING" + block + "AND  COUNT(*) > 0"
                << QStringList{"1", "3"};
            engineRow(alias, "mark before where wins over group by")
                << "SELECT MIN(A), NAME FROM T /*RW*/ WHERE A > 1 GROUP BY NAME"
                << "SELECT MIN(A), NAME FROM T /*RW*/ \r\nWHERE" + block + "AND  A > 1 GROUP BY NAME"
                << QStringList{"3"};
            engineRow(alias, "mark without a where after it")
                << "SELECT A FROM T WHERE GRP IN (SELECT GRP FROM U WHERE A = 4) /*RW*/"
                << "" << QStringList{};
            engineRow(alias, "mark then where")
                << "SELECT A FROM (SELECT * FROM T WHERE A > 0) X /*RW*/ WHERE 1 = 1"
                << "SELECT A FROM (SELECT * FROM T WHERE A > 0) X /*RW*/ \r\nWHERE" + block + "AND  1 = 1"
                << QStringList{"1", "3"};
            engineRow(alias, "union without mark: first select only")
                << "SELECT A FROM T WHERE A > 0 UNION SELECT A FROM U"
                << "SELECT A FROM T \r\nWHERE" + block + "AND  A > 0 UNION SELECT A FROM U"
                << QStringList{"1", "3", "4"};
            engineRow(alias, "union with mark: the where after it")
                << "SELECT A FROM T UNION SELECT A FROM U /*RW*/ WHERE A > 0"
                << "SELECT A FROM T UNION SELECT A FROM U /*RW*/ \r\nWHERE" + block + "AND  A > 0"
                << QStringList{"1", "2", "3"};
            // keywords count at the statement's own level only
            engineRow(alias, "order by of a window")
                << "SELECT ROW_NUMBER() OVER (ORDER BY NAME) AS A, NAME FROM T ORDER BY NAME"
                << "SELECT ROW_NUMBER() OVER (ORDER BY NAME) AS A, NAME FROM T \r\nWHERE" + block + "ORDER BY NAME"
                << QStringList{"1", "2"};
            engineRow(alias, "where of a subquery")
                << "SELECT A FROM (SELECT * FROM T WHERE A > 0) X"
                << "SELECT A FROM (SELECT * FROM T WHERE A > 0) X\r\nWHERE" + block << QStringList{"1", "3"};
            engineRow(alias, "keywords in a literal")
                << "SELECT A FROM T WHERE NAME <> 'GROUP BY' ORDER BY A"
                << "SELECT A FROM T \r\nWHERE" + block + "AND  NAME <> 'GROUP BY' ORDER BY A" << QStringList{"1", "3"};
            engineRow(alias, "limit without order by")
                << "SELECT A FROM T LIMIT 5" << "SELECT A FROM T \r\nWHERE" + block + "LIMIT 5" << QStringList{"1", "3"};
            engineRow(alias, "text already ends in a line break")
                << "SELECT A FROM T\r\n" << "SELECT A FROM T\r\nWHERE" + block << QStringList{"1", "3"};
        }
    }
    void rewrite()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        QFETCH(QString, sql);
        QFETCH(QString, expected);
        QFETCH(QStringList, rows);
        const QString out = search(sql, "NAME", "IV");
        QCOMPARE(out, expected);
        if (!out.isEmpty()) {
            QStringList found = mustRun(alias, out);
            found.sort();
            QCOMPARE(found, rows);
        }
    }

    void sameColumnTwiceReplacesItsBlock_data() { DataTest::engineRows(); }
    void sameColumnTwiceReplacesItsBlock()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        const QString first = search("SELECT A FROM T WHERE A > 0", "NAME", "IV");
        const QString second = search(first, "NAME", "PE");
        QCOMPARE(second.count("/*Begin for NAME*/"), 1);
        QVERIFY(second.contains("NAME like 'PE%'"));
        QVERIFY(!second.contains("'IV%'"));
        QCOMPARE(second, search("SELECT A FROM T \r\nWHERE A > 0", "NAME", "PE"));
        QCOMPARE(mustRun(alias, second), QStringList{"2"});
    }

    void clearingRemovesBlockAndItsAnd_data()
    {
        engineColumn();
        QTest::addColumn<QString>("original");
        for (const QString &alias : engines) {
            engineRow(alias, "existing where") << "SELECT A FROM T\r\nWHERE A > 0";
            engineRow(alias, "no where") << "SELECT A FROM T\r\n";
            engineRow(alias, "no where, order by") << "SELECT A FROM T\r\nORDER BY A";
            engineRow(alias, "group by") << "SELECT NAME, COUNT(*) FROM T GROUP BY NAME\r\n";
            engineRow(alias, "union") << "SELECT A FROM T\r\nWHERE A > 0 UNION SELECT A FROM U";
            engineRow(alias, "two conditions before")
                << RewriteCondition(RewriteCondition("SELECT A FROM T WHERE A > 0", "%fld = %f", "1", "GRP",
                                                     "", "", false),
                                    "%fld = %f", "1", "A", "", "", false);
        }
    }
    void clearingRemovesBlockAndItsAnd()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        QFETCH(QString, original);
        const QString searched = search(original, "NAME", "IV");
        QVERIFY(!searched.isEmpty());
        mustRun(alias, searched);
        const QString cleared = search(searched, "NAME", "");
        QCOMPARE(cleared, original);
        QCOMPARE(mustRun(alias, cleared), mustRun(alias, original));
        // clearing what is not there changes nothing
        QCOMPARE(search(original, "NAME", ""), QString());
    }

    void threeBlocksRemovedInAnyOrder_data() { DataTest::engineRows(); }
    void threeBlocksRemovedInAnyOrder()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        const QString original = "SELECT A FROM T\r\nWHERE GRP > 0\r\nORDER BY A";
        QString sql = search(original, "NAME", "IV");
        sql = RewriteCondition(sql, "%Note", "(A = 1 OR\r\nA = 3)", "SEARCHDBGRID_CHOICE", "", "", false);
        sql = RewriteCondition(sql, "%Note", "(\r\n((A > 1))\r\n)", "SEARCHDBGRID_BUILDER", "", "", false);
        QCOMPARE(mustRun(alias, sql), QStringList{"3"});
        const QStringList names = {"NAME", "SEARCHDBGRID_CHOICE", "SEARCHDBGRID_BUILDER"};
        const QList<QList<int>> orders = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
        for (const QList<int> &order : orders) {
            QString s = sql;
            for (int k : order) {
                s = RewriteCondition(s, "%Note", "", names[k], "", "", false);
                QVERIFY(!s.isEmpty());
                QVERIFY(!s.contains(names[k] + "*/"));
                mustRun(alias, s);
            }
            QCOMPARE(s, original);
        }
    }

    void blocksFilterTogether_data() { DataTest::engineRows(); }
    void blocksFilterTogether()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        QString sql = search("SELECT A FROM T", "NAME", "IV");
        sql = RewriteCondition(sql, "%fld = %f", "2", "GRP", "", "", false);
        QCOMPARE(mustRun(alias, sql), QStringList{"3"});
    }

    void templateExpansion_data()
    {
        QTest::addColumn<QString>("templ");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("byParams");
        QTest::addColumn<QString>("expected");

        QTest::newRow("search") << "%fld like %s" << "IV" << false << "NAME like 'pIVs'";
        QTest::newRow("number") << "%FLD = %F" << "12.5" << false << "NAME = 12.5";
        QTest::newRow("date") << "%Fld = %d" << "12.03.26" << false << "NAME = '12.03.26'";
        QTest::newRow("note") << "%Note" << "A = 1" << false << "A = 1";
        QTest::newRow("value with placeholder is not expanded")
            << "%fld like %s" << "%s%fld%D" << false << "NAME like 'p%s%fld%Ds'";
        QTest::newRow("by parameters") << "%fld like %s" << "IV" << true << "NAME like :_NAME";
        QTest::newRow("by parameters, date") << "%fld = %d" << "1.2.24" << true << "NAME = :_NAME";
        QTest::newRow("percent not a placeholder") << "100% %x" << "v" << false << "100% %x";
    }
    void templateExpansion()
    {
        QFETCH(QString, templ);
        QFETCH(QString, value);
        QFETCH(bool, byParams);
        QFETCH(QString, expected);
        QCOMPARE(ExpandConditionTemplate(templ, value, "NAME", "p", "s", byParams), expected);
    }

    void valueWithPlaceholderInsertedOnce_data() { DataTest::engineRows(); }
    void valueWithPlaceholderInsertedOnce()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        const QString out = search("SELECT A FROM T", "NAME", "50%s");
        QCOMPARE(out.count("50%s"), 1);
        QVERIFY(out.contains("NAME like '50%s%'"));
        QCOMPARE(mustRun(alias, out), QStringList{});
    }

    void brokenBlockKeepsText()
    {
        // a hand-edited statement lost its end comment: nothing may be cut
        const QString sql = "SELECT * FROM T\r\nWHERE\r\n/*Begin for NAME*/\r\nNAME like 'IV%' AND A > 0";
        QCOMPARE(search(sql, "NAME", ""), QString());
        QCOMPARE(search(sql, "NAME", "PE"), QString());
        // other blocks still work
        QVERIFY(RewriteCondition(sql, "%fld = %f", "1", "GRP", "", "", false).contains(sql.mid(22)));
    }
};

QUARN_TEST_MAIN(ConditionRewriterTest)
#include "ConditionRewriterTest.moc"
