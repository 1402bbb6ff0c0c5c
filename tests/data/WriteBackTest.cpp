// Editable results write exactly the row they show, or nothing: every case
// below once wrote another row, several rows, or lost the edit. A second
// connection reads what the database holds after each step.
#include "DataTestSupport.h"

using namespace DataTest;

namespace {

// One step taken in the grid's dataset: "edit FIELD ROW VALUE" (the field
// of the ROW-th row, 0-based, set from text), "delete ROW", "insert FIELD
// VALUE", or "readonly FIELD" (the field must refuse values).
struct TStep {
    QString kind, field;
    int row = 0;
    QString value;
};

TStep parseStep(const QString &text)
{
    const QStringList p = text.split(u' ');
    TStep s;
    s.kind = p.value(0);
    if (s.kind == u"edit") {
        s.field = p.value(1);
        s.row = p.value(2).toInt();
        s.value = p.mid(3).join(u' ');
    } else if (s.kind == u"delete") {
        s.row = p.value(1).toInt();
    } else {
        s.field = p.value(1);
        s.value = p.mid(2).join(u' ');
    }
    return s;
}

} // namespace

class WriteBackTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { writeAliases(); }

    void writesTheRowShown_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("select");
        QTest::addColumn<QStringList>("between");   // run by the second connection after opening
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("check");         // read by the second connection
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("refused");          // "Запись изменена или удалена другим пользователем", edit kept

        const QStringList p = {QStringLiteral("DROP TABLE IF EXISTS p"),
                               QStringLiteral("CREATE TABLE p (id INTEGER PRIMARY KEY, name VARCHAR(20), qty INTEGER)"),
                               QStringLiteral("INSERT INTO p VALUES (1, 'c', 2), (2, 'a', 1), (3, 'b', 30)")};
        const QString pRows = QStringLiteral("SELECT id, name, qty FROM p ORDER BY id");
        for (const QString &alias : {QStringLiteral("LITE"), QStringLiteral("PG")}) {
            const char *e = isPg(alias) ? "pg" : "sqlite";
            // an expression named like the key: the row shown second is id 3
            QTest::newRow(qPrintable(QStringLiteral("%1 window function named id").arg(e)))
                << alias << p << QStringLiteral("SELECT row_number() OVER (ORDER BY name) AS id, name, qty FROM p ORDER BY name")
                << QStringList() << QStringLiteral("edit qty 1 99") << pRows
                << QStringLiteral("1|c|2,2|a|1,3|b|99") << false;
            QTest::newRow(qPrintable(QStringLiteral("%1 window function is read-only").arg(e)))
                << alias << p << QStringLiteral("SELECT row_number() OVER (ORDER BY name) AS id, name, qty FROM p")
                << QStringList() << QStringLiteral("readonly id") << pRows
                << QStringLiteral("1|c|2,2|a|1,3|b|30") << false;
            // a column renamed to the key's name: the row shown as id 1 is id 2
            QTest::newRow(qPrintable(QStringLiteral("%1 alias named like the key").arg(e)))
                << alias << p << QStringLiteral("SELECT qty AS id, name FROM p ORDER BY qty")
                << QStringList() << QStringLiteral("edit name 0 X") << pRows
                << QStringLiteral("1|c|2,2|X|1,3|b|30") << false;
            QTest::newRow(qPrintable(QStringLiteral("%1 alias named like the key, deleted").arg(e)))
                << alias << p << QStringLiteral("SELECT qty AS id, name FROM p ORDER BY qty")
                << QStringList() << QStringLiteral("delete 0") << pRows
                << QStringLiteral("1|c|2,3|b|30") << false;
            // another table's column under the name of one of this table's
            QTest::newRow(qPrintable(QStringLiteral("%1 subquery column is read-only").arg(e)))
                << alias << QStringList(p) + QStringList{QStringLiteral("DROP TABLE IF EXISTS o"),
                                                         QStringLiteral("CREATE TABLE o (id INTEGER PRIMARY KEY, label VARCHAR(20))"),
                                                         QStringLiteral("INSERT INTO o VALUES (1, 'L')")}
                << QStringLiteral("SELECT id, (SELECT label FROM o WHERE o.id = p.id) AS name, qty FROM p")
                << QStringList() << QStringLiteral("readonly name") << pRows
                << QStringLiteral("1|c|2,2|a|1,3|b|30") << false;
            // an aggregate makes one row of many: nothing to write back
            QTest::newRow(qPrintable(QStringLiteral("%1 aggregate is read-only").arg(e)))
                << alias << p << QStringLiteral("SELECT count(*) AS id FROM p")
                << QStringList() << QStringLiteral("readonly id") << pRows
                << QStringLiteral("1|c|2,2|a|1,3|b|30") << false;
            // a change by someone else since the row was read is not written over
            QTest::newRow(qPrintable(QStringLiteral("%1 changed meanwhile").arg(e)))
                << alias << p << pRows << QStringList{QStringLiteral("UPDATE p SET qty = 7 WHERE id = 1")}
                << QStringLiteral("edit qty 0 5") << pRows
                << QStringLiteral("1|c|7,2|a|1,3|b|30") << true;
            QTest::newRow(qPrintable(QStringLiteral("%1 other column changed meanwhile").arg(e)))
                << alias << p << pRows << QStringList{QStringLiteral("UPDATE p SET qty = 7 WHERE id = 1")}
                << QStringLiteral("edit name 0 z") << pRows
                << QStringLiteral("1|z|7,2|a|1,3|b|30") << false;
            QTest::newRow(qPrintable(QStringLiteral("%1 deleted meanwhile").arg(e)))
                << alias << p << pRows << QStringList{QStringLiteral("DELETE FROM p WHERE id = 2")}
                << QStringLiteral("edit name 1 q") << pRows
                << QStringLiteral("1|c|2,3|b|30") << true;
            QTest::newRow(qPrintable(QStringLiteral("%1 delete of a row deleted meanwhile").arg(e)))
                << alias << p << pRows << QStringList{QStringLiteral("DELETE FROM p WHERE id = 2")}
                << QStringLiteral("delete 1") << pRows
                << QStringLiteral("1|c|2,3|b|30") << true;
            // a key changed in the grid: the row is found by the key it had
            QTest::newRow(qPrintable(QStringLiteral("%1 key edited").arg(e)))
                << alias << p << pRows << QStringList() << QStringLiteral("edit id 2 30") << pRows
                << QStringLiteral("1|c|2,2|a|1,30|b|30") << false;
            // a unique key of NOT NULL columns stands in for a primary key
            QTest::newRow(qPrintable(QStringLiteral("%1 unique key").arg(e)))
                << alias << QStringList{QStringLiteral("DROP TABLE IF EXISTS u"),
                                        QStringLiteral("CREATE TABLE u (code VARCHAR(5) NOT NULL UNIQUE, n INTEGER)"),
                                        QStringLiteral("INSERT INTO u VALUES ('a', 1), ('b', 1)")}
                << QStringLiteral("SELECT n FROM u ORDER BY code") << QStringList() << QStringLiteral("edit n 1 5")
                << QStringLiteral("SELECT code, n FROM u ORDER BY code") << QStringLiteral("a|1,b|5") << false;
        }

        // PostgreSQL keys the client would round
        QTest::newRow("pg timestamp key with microseconds")
            << QStringLiteral("PG")
            << QStringList{QStringLiteral("DROP TABLE IF EXISTS ts"),
                           QStringLiteral("CREATE TABLE ts (t TIMESTAMP PRIMARY KEY, v INTEGER)"),
                           QStringLiteral("INSERT INTO ts VALUES ('2024-01-01 10:00:00.123456', 1), ('2024-01-01 10:00:00.123', 2)")}
            << QStringLiteral("SELECT t, v FROM ts ORDER BY t DESC") << QStringList() << QStringLiteral("edit v 0 9")
            << QStringLiteral("SELECT v FROM ts ORDER BY t") << QStringLiteral("2,9") << false;
        QTest::newRow("pg timestamp key with microseconds, deleted")
            << QStringLiteral("PG")
            << QStringList{QStringLiteral("DROP TABLE IF EXISTS ts"),
                           QStringLiteral("CREATE TABLE ts (t TIMESTAMPTZ PRIMARY KEY, v INTEGER)"),
                           QStringLiteral("INSERT INTO ts VALUES ('2024-01-01 10:00:00.123456+03', 1), ('2024-01-01 10:00:00.123+03', 2)")}
            << QStringLiteral("SELECT t, v FROM ts ORDER BY t DESC") << QStringList() << QStringLiteral("delete 0")
            << QStringLiteral("SELECT v FROM ts ORDER BY t") << QStringLiteral("2") << false;
        QTest::newRow("pg numeric key past 2^53")
            << QStringLiteral("PG")
            << QStringList{QStringLiteral("DROP TABLE IF EXISTS big"),
                           QStringLiteral("CREATE TABLE big (k NUMERIC(20,0) PRIMARY KEY, v INTEGER)"),
                           QStringLiteral("INSERT INTO big VALUES (12345678901234567992, 1), (12345678901234567993, 2)")}
            << QStringLiteral("SELECT k, v FROM big ORDER BY k DESC") << QStringList() << QStringLiteral("edit v 0 9")
            << QStringLiteral("SELECT k::text, v FROM big ORDER BY k") << QStringLiteral("12345678901234567992|1,12345678901234567993|9")
            << false;
        QTest::newRow("pg bigint key past 2^53")
            << QStringLiteral("PG")
            << QStringList{QStringLiteral("DROP TABLE IF EXISTS big"),
                           QStringLiteral("CREATE TABLE big (k BIGINT PRIMARY KEY, v INTEGER)"),
                           QStringLiteral("INSERT INTO big VALUES (9007199254740993, 1), (9007199254740992, 2)")}
            << QStringLiteral("SELECT v FROM big ORDER BY k DESC") << QStringList() << QStringLiteral("delete 0")
            << QStringLiteral("SELECT k FROM big") << QStringLiteral("9007199254740992") << false;
        QTest::newRow("pg table without a key is read-only")
            << QStringLiteral("PG")
            << QStringList{QStringLiteral("DROP TABLE IF EXISTS nk"), QStringLiteral("CREATE TABLE nk (v INTEGER)"),
                           QStringLiteral("INSERT INTO nk VALUES (1), (1)")}
            << QStringLiteral("SELECT v FROM nk") << QStringList() << QStringLiteral("readonly v")
            << QStringLiteral("SELECT v FROM nk") << QStringLiteral("1,1") << false;

        // SQLite: NULL keys, row numbers that move, names that shadow them
        const QStringList nulls = {QStringLiteral("DROP TABLE IF EXISTS n"),
                                   QStringLiteral("CREATE TABLE n (k TEXT PRIMARY KEY, v INTEGER)"),
                                   QStringLiteral("INSERT INTO n VALUES (NULL, 1), (NULL, 2), ('x', 3)")};
        QTest::newRow("sqlite NULL keys, edit")
            << QStringLiteral("LITE") << nulls << QStringLiteral("SELECT k, v FROM n ORDER BY v") << QStringList()
            << QStringLiteral("edit v 0 10") << QStringLiteral("SELECT v FROM n ORDER BY v") << QStringLiteral("2,3,10") << false;
        QTest::newRow("sqlite NULL keys, delete")
            << QStringLiteral("LITE") << nulls << QStringLiteral("SELECT k, v FROM n ORDER BY v") << QStringList()
            << QStringLiteral("delete 1") << QStringLiteral("SELECT v FROM n ORDER BY v") << QStringLiteral("1,3") << false;
        const QStringList r = {QStringLiteral("DROP TABLE IF EXISTS r"), QStringLiteral("CREATE TABLE r (a TEXT, b INTEGER)"),
                               QStringLiteral("INSERT INTO r VALUES ('r1', 1), ('r2', 2), ('r3', 3), ('r4', 4), ('r5', 5)"),
                               QStringLiteral("DELETE FROM r WHERE a IN ('r1', 'r2')")};
        QTest::newRow("sqlite rows renumbered by VACUUM")
            << QStringLiteral("LITE") << r << QStringLiteral("SELECT a, b FROM r ORDER BY a")
            << QStringList{QStringLiteral("VACUUM")} << QStringLiteral("edit b 0 30")
            << QStringLiteral("SELECT a, b FROM r ORDER BY a") << QStringLiteral("r3|3,r4|4,r5|5") << true;
        QTest::newRow("sqlite keyless twins")
            << QStringLiteral("LITE")
            << QStringList{QStringLiteral("DROP TABLE IF EXISTS tw"), QStringLiteral("CREATE TABLE tw (v INTEGER)"),
                           QStringLiteral("INSERT INTO tw VALUES (1), (1)")}
            << QStringLiteral("SELECT v FROM tw") << QStringList() << QStringLiteral("edit v 1 2")
            << QStringLiteral("SELECT v FROM tw ORDER BY rowid") << QStringLiteral("1,2") << false;
        QTest::newRow("sqlite column named _rowid_")
            << QStringLiteral("LITE")
            << QStringList{QStringLiteral("DROP TABLE IF EXISTS sh"), QStringLiteral("CREATE TABLE sh (_rowid_ TEXT, v INTEGER)"),
                           QStringLiteral("INSERT INTO sh VALUES ('x', 1), ('x', 2), ('y', 3)")}
            << QStringLiteral("SELECT * FROM sh") << QStringList() << QStringLiteral("edit v 0 9")
            << QStringLiteral("SELECT v FROM sh ORDER BY v") << QStringLiteral("2,3,9") << false;
        QTest::newRow("sqlite every row number shadowed")
            << QStringLiteral("LITE")
            << QStringList{QStringLiteral("DROP TABLE IF EXISTS sh3"),
                           QStringLiteral("CREATE TABLE sh3 (rowid INTEGER, _rowid_ INTEGER, oid INTEGER, v INTEGER)"),
                           QStringLiteral("INSERT INTO sh3 VALUES (1, 1, 1, 1), (1, 1, 1, 2)")}
            << QStringLiteral("SELECT * FROM sh3") << QStringList() << QStringLiteral("readonly v")
            << QStringLiteral("SELECT v FROM sh3 ORDER BY v") << QStringLiteral("1,2") << false;
        QTest::newRow("sqlite view is read-only")
            << QStringLiteral("LITE")
            << QStringList(p) + QStringList{QStringLiteral("DROP VIEW IF EXISTS pv"), QStringLiteral("CREATE VIEW pv AS SELECT * FROM p")}
            << QStringLiteral("SELECT * FROM pv") << QStringList() << QStringLiteral("readonly qty") << pRows
            << QStringLiteral("1|c|2,2|a|1,3|b|30") << false;
    }

    void writesTheRowShown()
    {
        QFETCH(QString, alias);
        QFETCH(QStringList, setup);
        QFETCH(QString, select);
        QFETCH(QStringList, between);
        QFETCH(QString, step);
        QFETCH(QString, check);
        QFETCH(QString, expected);
        QFETCH(bool, refused);
        QUARN_NEED_ENGINE(alias);
        exec(alias, setup);

        TQuery q;
        q.SetName(QStringLiteral("Q"));
        q.SetDatabaseName(alias);
        q.SetSQLText(select);
        q.SetRequestLive(true);
        q.Open();
        q.Last();   // every row read, as a grid of a few rows reads them
        q.First();
        TSecondConnection other(alias);
        QVERIFY(other.isOpen());
        for (const QString &s : between)
            QCOMPARE(other.exec(s), QString());

        const TStep st = parseStep(step);
        if (st.kind == u"readonly") {
            TField *f = q.FieldByName(st.field);
            QVERIFY2(!f->CanModify(), qPrintable(st.field + QStringLiteral(" is writable")));
        } else {
            q.MoveTo(st.row);
            try {
                if (st.kind == u"edit") {
                    q.Edit();
                    q.FieldByName(st.field)->SetAsString(st.value);
                    q.Post();
                } else {
                    q.Delete();
                }
                QVERIFY2(!refused, "written where it should have been refused");
            } catch (const EDBEngineError &e) {
                QVERIFY2(refused, qPrintable(e.Message()));
                QCOMPARE(e.Message(), QStringLiteral("Запись изменена или удалена другим пользователем"));
                if (st.kind == u"edit") {
                    // the edit stays, to be changed or cancelled
                    QCOMPARE(q.State(), dsEdit);
                    QCOMPARE(q.FieldByName(st.field)->AsString(), st.value);
                }
            }
        }
        QCOMPARE(other.rows(check), expected);
    }

    void editsInsideATransaction_data() { engineRows(); }
    void editsInsideATransaction()
    {
        // within an open transaction a refused write is undone to its
        // savepoint: the transaction's earlier work stays
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        exec(alias, {QStringLiteral("DROP TABLE IF EXISTS p"),
                     QStringLiteral("CREATE TABLE p (id INTEGER PRIMARY KEY, name VARCHAR(20))"),
                     QStringLiteral("INSERT INTO p VALUES (1, 'a'), (2, 'b')")});
        TDatabase *db = Session().OpenDatabase(alias);
        TQuery q;
        q.SetDatabaseName(alias);
        q.SetSQLText(QStringLiteral("SELECT id, name FROM p ORDER BY id"));
        q.SetRequestLive(true);
        q.Open();
        q.Last();
        q.First();
        db->StartTransaction();
        q.Edit();
        q.FieldByName("name")->SetAsString(QStringLiteral("A"));
        q.Post();
        exec(alias, {QStringLiteral("DELETE FROM p WHERE id = 2")});
        q.Next();
        q.Edit();
        q.FieldByName("name")->SetAsString(QStringLiteral("B"));
        QVERIFY_THROWS_EXCEPTION(EDBEngineError, q.Post());
        q.Cancel();
        QVERIFY(db->InTransaction());
        db->Commit();
        TSecondConnection other(alias);
        QCOMPARE(other.rows(QStringLiteral("SELECT id, name FROM p ORDER BY id")), QStringLiteral("1|A"));
    }

    // A grid over PostgreSQL holds no transaction while it is shown: its
    // rows are kept for it by the server after a short read, and an edit
    // commits at once, so another session's ALTER TABLE goes through.
    void gridHoldsNoTransaction()
    {
        QUARN_NEED_ENGINE(QStringLiteral("PG"));
        exec(QStringLiteral("PG"), {QStringLiteral("DROP TABLE IF EXISTS held"),
                                    QStringLiteral("CREATE TABLE held (id INTEGER PRIMARY KEY, v INTEGER)"),
                                    QStringLiteral("INSERT INTO held SELECT g, g FROM generate_series(1, 3000) g")});
        TSecondConnection other(QStringLiteral("PG"));
        const QString idle = QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() "
                                            "AND pid <> pg_backend_pid() AND state = 'idle in transaction'");
        TQuery q;
        q.SetDatabaseName(QStringLiteral("PG"));
        q.SetSQLText(QStringLiteral("SELECT id, v FROM held ORDER BY id"));
        q.SetRequestLive(true);
        q.Open();
        QCOMPARE(q.FieldByName("v")->AsInteger(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(other.rows(idle), QStringLiteral("0"), 5000);
        QCOMPARE(other.exec(QStringLiteral("SET lock_timeout = '5s'")), QString());
        QCOMPARE(other.exec(QStringLiteral("ALTER TABLE held ADD COLUMN extra INTEGER")), QString());
        q.Last();
        QCOMPARE(q.RecNo(), 3000);
        q.Edit();
        q.FieldByName("v")->SetAsInteger(-1);
        q.Post();
        QCOMPARE(other.rows(idle), QStringLiteral("0"));
        QCOMPARE(other.rows(QStringLiteral("SELECT v FROM held WHERE id = 3000")), QStringLiteral("-1"));
    }

    void bigValuesSurviveAnEditOfAnotherColumn_data() { engineRows(); }
    void bigValuesSurviveAnEditOfAnotherColumn()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        const bool pg = isPg(alias);
        exec(alias, {QStringLiteral("DROP TABLE IF EXISTS big"),
                     QStringLiteral("CREATE TABLE big (id INTEGER PRIMARY KEY, t TEXT, n NUMERIC(38,18), f DOUBLE PRECISION, "
                                    "ts %1, v INTEGER)").arg(pg ? u"TIMESTAMPTZ" : u"DATETIME"),
                     QStringLiteral("INSERT INTO big VALUES (1, %1, 12345678901234567890.123456789012345679, 0.1, "
                                    "'2024-05-06 07:08:09.123456%2', 1)")
                         .arg(pg ? u"repeat('Ж', 100000)" : u"replace(hex(zeroblob(50000)), '00', 'Ж')", pg ? u"+03" : u"")});
        TSecondConnection other(alias);
        const QString text = pg ? QStringLiteral("repeat('Ж', 100000)")
                                : QStringLiteral("replace(hex(zeroblob(50000)), '00', 'Ж')");
        const QString check = QStringLiteral("SELECT t = %1, length(t), n, f, ts FROM big").arg(text);
        const QString before = other.rows(check);
        QVERIFY2(before.startsWith(pg ? u"true|100000|" : u"1|50000|"), qPrintable(before));
        TQuery q;
        q.SetDatabaseName(alias);
        q.SetSQLText(QStringLiteral("SELECT * FROM big"));
        q.SetRequestLive(true);
        q.Open();
        q.Edit();
        q.FieldByName("v")->SetAsInteger(2);
        q.Post();
        QCOMPARE(other.rows(check), before);
        QCOMPARE(other.rows(QStringLiteral("SELECT v FROM big")), QStringLiteral("2"));
        // and an edit of the exact ones themselves matches their old values
        q.Edit();
        q.FieldByName("f")->SetAsFloat(0.25);
        q.Post();
        QCOMPARE(other.rows(QStringLiteral("SELECT f FROM big")), QStringLiteral("0.25"));
    }
};

QUARN_TEST_MAIN(WriteBackTest)
#include "WriteBackTest.moc"
