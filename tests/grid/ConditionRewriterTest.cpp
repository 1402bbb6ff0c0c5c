#include "TestSupport.h"

#include "grid/ConditionRewriter.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

// The SQL condition rewriter: insertion, replacement and removal of named
// condition blocks, and every rewritten statement run on a real database.
class ConditionRewriterTest : public QObject {
    Q_OBJECT

    QSqlDatabase m_db;

    static QString search(const QString &sql, const QString &field, const QString &value)
    {
        return RewriteCondition(sql, "%fld like %s", value, field, "", "%", false);
    }

    // The statement must run; the test database has tables T and U with
    // columns A, NAME, GRP (see initTestCase).
    void mustRun(const QString &sql)
    {
        QSqlQuery q(m_db);
        QVERIFY2(q.exec(sql), qPrintable(q.lastError().text() + "\n" + sql));
    }

private slots:
    void initTestCase()
    {
        m_db = QSqlDatabase::addDatabase("QSQLITE", "rewriter");
        m_db.setDatabaseName(":memory:");
        QVERIFY(m_db.open());
        QSqlQuery q(m_db);
        QVERIFY(q.exec("create table T (A integer, NAME varchar(20), GRP integer)"));
        QVERIFY(q.exec("create table U (A integer, NAME varchar(20), GRP integer)"));
        QVERIFY(q.exec("insert into T values (1, 'IVANOV', 1), (2, 'PETROV', 1), (3, 'IVASHIN', 2)"));
        QVERIFY(q.exec("insert into U values (4, 'SIDOROV', 2)"));
    }

    void workedExample()
    {
        const QString out = search("SELECT * FROM T WHERE A = 1", "NAME", "IV");
        QCOMPARE(out, QString("SELECT * FROM T \r\nWHERE\r\n/*Begin for NAME*/\r\nNAME like 'IV%'"
                              "\r\n/*End for NAME*/\r\nAND  A = 1"));
        mustRun(out);
    }

    void rewrite_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("expected");

        const QString block = "\r\n/*Begin for NAME*/\r\nNAME like 'IV%'\r\n/*End for NAME*/\r\n";
        QTest::newRow("no where")
            << "SELECT * FROM T" << "SELECT * FROM T\r\nWHERE" + block;
        QTest::newRow("no where, order by")
            << "SELECT * FROM T ORDER BY A" << "SELECT * FROM T \r\nWHERE" + block + "ORDER BY A";
        QTest::newRow("lower-case keywords")
            << "select * from T where A < 3 order by A"
            << "select * from T \r\nWHERE" + block + "AND  A < 3 order by A";
        QTest::newRow("group by goes to having")
            << "SELECT NAME, COUNT(*) FROM T GROUP BY NAME"
            << "SELECT NAME, COUNT(*) FROM T GROUP BY NAME\r\nHAVING" + block;
        QTest::newRow("group by with existing having")
            << "SELECT NAME, COUNT(*) FROM T GROUP BY NAME HAVING COUNT(*) > 0"
            << "SELECT NAME, COUNT(*) FROM T GROUP BY NAME \r\nHAVING" + block + "AND  COUNT(*) > 0";
        QTest::newRow("mark before where wins over group by")
            << "SELECT NAME, COUNT(*) FROM T /*RW*/ WHERE A > 0 GROUP BY NAME"
            << "SELECT NAME, COUNT(*) FROM T /*RW*/ \r\nWHERE" + block + "AND  A > 0 GROUP BY NAME";
        QTest::newRow("mark without a where after it")
            << "SELECT * FROM T WHERE GRP IN (SELECT GRP FROM U WHERE A = 4) /*RW*/"
            << "";
        QTest::newRow("mark then where")
            << "SELECT * FROM (SELECT * FROM T WHERE A > 0) X /*RW*/ WHERE 1 = 1"
            << "SELECT * FROM (SELECT * FROM T WHERE A > 0) X /*RW*/ \r\nWHERE" + block + "AND  1 = 1";
        QTest::newRow("union without mark: first select only")
            << "SELECT * FROM T WHERE A > 0 UNION SELECT * FROM U"
            << "SELECT * FROM T \r\nWHERE" + block + "AND  A > 0 UNION SELECT * FROM U";
        QTest::newRow("union with mark: the where after it")
            << "SELECT * FROM T UNION SELECT * FROM U /*RW*/ WHERE A > 0"
            << "SELECT * FROM T UNION SELECT * FROM U /*RW*/ \r\nWHERE" + block + "AND  A > 0";
        QTest::newRow("text already ends in a line break")
            << "SELECT * FROM T\r\n" << "SELECT * FROM T\r\nWHERE" + block;
    }
    void rewrite()
    {
        QFETCH(QString, sql);
        QFETCH(QString, expected);
        const QString out = search(sql, "NAME", "IV");
        QCOMPARE(out, expected);
        if (!out.isEmpty())
            mustRun(out);
    }

    void sameColumnTwiceReplacesItsBlock()
    {
        const QString first = search("SELECT * FROM T WHERE A > 0", "NAME", "IV");
        const QString second = search(first, "NAME", "PE");
        QCOMPARE(second.count("/*Begin for NAME*/"), 1);
        QVERIFY(second.contains("NAME like 'PE%'"));
        QVERIFY(!second.contains("'IV%'"));
        QCOMPARE(second, search("SELECT * FROM T \r\nWHERE A > 0", "NAME", "PE"));
        mustRun(second);
        QSqlQuery q(m_db);
        QVERIFY(q.exec(second) && q.next());
        QCOMPARE(q.value("NAME").toString(), QString("PETROV"));
        QVERIFY(!q.next());
    }

    void clearingRemovesBlockAndItsAnd_data()
    {
        QTest::addColumn<QString>("original");
        QTest::newRow("existing where") << "SELECT * FROM T\r\nWHERE A > 0";
        QTest::newRow("no where") << "SELECT * FROM T\r\n";
        QTest::newRow("no where, order by") << "SELECT * FROM T\r\nORDER BY A";
        QTest::newRow("group by") << "SELECT NAME, COUNT(*) FROM T GROUP BY NAME\r\n";
        QTest::newRow("union") << "SELECT * FROM T\r\nWHERE A > 0 UNION SELECT * FROM U";
    }
    void clearingRemovesBlockAndItsAnd()
    {
        QFETCH(QString, original);
        const QString searched = search(original, "NAME", "IV");
        QVERIFY(!searched.isEmpty());
        mustRun(searched);
        QCOMPARE(search(searched, "NAME", ""), original);
        // clearing what is not there changes nothing
        QCOMPARE(search(original, "NAME", ""), QString());
    }

    void threeBlocksRemovedInAnyOrder()
    {
        const QString original = "SELECT * FROM T\r\nWHERE GRP > 0\r\nORDER BY A";
        QString sql = search(original, "NAME", "IV");
        sql = RewriteCondition(sql, "%Note", "(A = 1 OR\r\nA = 3)", "SEARCHDBGRID_CHOICE", "", "", false);
        sql = RewriteCondition(sql, "%Note", "(\r\n((A > 0))\r\n)", "SEARCHDBGRID_BUILDER", "", "", false);
        mustRun(sql);
        const QStringList names = {"NAME", "SEARCHDBGRID_CHOICE", "SEARCHDBGRID_BUILDER"};
        const QList<QList<int>> orders = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
        for (const QList<int> &order : orders) {
            QString s = sql;
            for (int k : order) {
                s = RewriteCondition(s, "%Note", "", names[k], "", "", false);
                QVERIFY(!s.isEmpty());
                mustRun(s);
            }
            QCOMPARE(s, original);
        }
    }

    void blocksFilterTogether()
    {
        QString sql = search("SELECT * FROM T", "NAME", "IV");
        sql = RewriteCondition(sql, "%fld = %f", "2", "GRP", "", "", false);
        QSqlQuery q(m_db);
        QVERIFY(q.exec(sql));
        QVERIFY(q.next());
        QCOMPARE(q.value("NAME").toString(), QString("IVASHIN"));
        QVERIFY(!q.next());
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

    void valueWithPlaceholderInsertedOnce()
    {
        const QString out = search("SELECT * FROM T", "NAME", "50%s");
        QVERIFY(out.contains("NAME like '50%s%'"));
        mustRun(out);
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
