// A one-directional, read-only dataset on SQLite reads its rows through
// SQLite's own API instead of the Qt driver: every value, column and error
// must be what the driver gives, and the direct way must be taken only
// where it may (never for scrollable or editable datasets, nor for
// statements that write).
#include "DataTestSupport.h"

#include <QSqlDatabase>
#include <QSqlQuery>

using namespace DataTest;

namespace {

// A one-directional query, open.
std::unique_ptr<TQuery> walk(const QString &sql, const QString &alias = QStringLiteral("LITE"))
{
    auto q = std::make_unique<TQuery>();
    q->SetDatabaseName(alias);
    q->SetUniDirectional(true);
    q->SetSQLText(sql);
    q->Open();
    return q;
}

// The errors of running `read`, as the data layer raised them.
QList<TDBError> errorsOf(const std::function<void()> &read)
{
    try {
        read();
    } catch (const EDBEngineError &e) {
        return e.Errors();
    }
    return {};
}

// What reading a field gives: its text, or the message it raised (a text
// that is no number in a number column).
QString outcome(const std::function<QString()> &read)
{
    try {
        return read();
    } catch (const Exception &e) {
        return QStringLiteral("raised: ") + e.Message();
    }
}

QString describe(const QList<TDBError> &errors)
{
    QStringList parts;
    for (const TDBError &e : errors)
        parts << QStringLiteral("%1/%2 %3").arg(e.ErrorCode, 0, 16).arg(e.NativeError).arg(e.Message);
    return parts.join(QStringLiteral(" | "));
}

} // namespace

class DirectReadTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // LITE16: a database that keeps its texts in UTF-16
        writeAliases(QStringLiteral("[LITE16]\nDriver=QSQLITE\nDatabase=lite16.db\n\n"));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("make16"));
            db.setDatabaseName(QDir(ProgramDir()).filePath(QStringLiteral("lite16.db")));
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("PRAGMA encoding = 'UTF-16le'")));
            QVERIFY(q.exec(QStringLiteral("CREATE TABLE d_first (k INTEGER)")));
            QVERIFY(q.exec(QStringLiteral("PRAGMA encoding")) && q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("UTF-16le"));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("make16"));
    }

    // One value, stored in a column of the declared type (or selected as an
    // expression when none is given), read both ways, from a database of
    // UTF-8 texts and one of UTF-16 texts.
    void valuesAreTheDrivers_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QString>("declared");
        QTest::addColumn<QString>("value");
        const auto row = [](const char *name, const char *declared, const char *value) {
            for (const char *alias : {"LITE", "LITE16"})
                QTest::addRow("%s %s", alias, name) << QString::fromLatin1(alias) << QString::fromUtf8(declared)
                                                    << QString::fromUtf8(value);
        };
        row("null text", "VARCHAR(10)", "NULL");
        row("null expression", "", "NULL");
        row("largest integer", "INTEGER", "9223372036854775807");
        row("smallest integer", "INTEGER", "-9223372036854775807 - 1");
        row("integer expression", "", "42");
        row("real", "DOUBLE", "0.1");
        row("negative zero", "DOUBLE", "-0.0");
        row("huge real", "FLOAT", "1e308");
        row("numeric", "NUMERIC(12,2)", "1234.5");
        row("number as text", "VARCHAR(20)", "'00123.50'");
        row("number into a text column", "VARCHAR(20)", "12");
        row("text into a number column", "INTEGER", "'12a'");
        row("boolean", "BOOLEAN", "1");
        row("date", "DATE", "'2024-02-29'");
        row("date-time", "DATETIME", "'2024-02-29 13:45:10.250'");
        row("time", "TIME", "'23:59:59'");
        row("empty text", "VARCHAR(10)", "''");
        row("empty text expression", "", "''");
        row("Cyrillic", "VARCHAR(30)", "'Ёжик в тумане'");
        row("long Cyrillic", "TEXT", "replace(hex(zeroblob(3000)), '00', 'жё')");
        row("four-byte character", "TEXT", "'a' || char(128512) || 'b'");
        row("NUL inside", "TEXT", "'a' || char(0) || 'b'");
        row("byte order mark in front", "TEXT", "char(65279) || 'a'");
        row("byte order mark inside", "TEXT", "'a' || char(65279)");
        row("U+FFFE", "TEXT", "char(65534)");
        row("U+FFFF", "", "'ы' || char(65535)");
        row("lone continuation byte", "", "CAST(x'418042' AS TEXT)");
        row("cut sequence", "", "CAST(x'41d0' AS TEXT)");
        row("overlong sequence", "", "CAST(x'c0af' AS TEXT)");
        row("overlong three bytes", "", "CAST(x'e08280' AS TEXT)");
        row("encoded surrogate", "", "CAST(x'eda080' AS TEXT)");
        row("past U+10FFFF", "", "CAST(x'f4908080' AS TEXT)");
        row("lone surrogate in UTF-16", "", "CAST(x'410000d8' AS TEXT)");
        row("blob", "BLOB", "x'00ff80'");
        row("empty blob", "BLOB", "x''");
        row("blob expression", "", "x'0102'");
    }
    void valuesAreTheDrivers()
    {
        QFETCH(QString, alias);
        QFETCH(QString, declared);
        QFETCH(QString, value);
        QString sql = QStringLiteral("SELECT %1 AS v").arg(value);
        if (!declared.isEmpty()) {
            exec(alias, {QStringLiteral("DROP TABLE IF EXISTS d_values"),
                                          QStringLiteral("CREATE TABLE d_values (v %1)").arg(declared),
                                          QStringLiteral("INSERT INTO d_values VALUES (%1)").arg(value)});
            sql = QStringLiteral("SELECT v FROM d_values");
        }
        QSqlQuery driver = Session().OpenDatabase(alias)->Query(sql);
        QVERIFY(driver.next());
        const QVariant want = driver.value(0);
        driver.finish();
        auto q = walk(sql, alias);
        QVERIFY(q->ReadsDirect());
        QUARN_SAME(q->CurrentValue(0), want);
        QUARN_SAME(q->RowValue(0, q->Fields(0)), want);
        // and so every way of reading the field
        TQuery scroll;
        scroll.SetDatabaseName(alias);
        scroll.SetSQLText(sql);
        scroll.Open();
        QVERIFY(!scroll.ReadsDirect());
        TField *a = q->Fields(0), *b = scroll.Fields(0);
        QCOMPARE(a->DataType(), b->DataType());
        QCOMPARE(a->IsNull(), b->IsNull());
        QCOMPARE(outcome([a] { return a->AsString(); }), outcome([b] { return b->AsString(); }));
        QCOMPARE(outcome([a] { return a->DisplayText(); }), outcome([b] { return b->DisplayText(); }));
        QCOMPARE(outcome([a] { return describe(a->Value()); }), outcome([b] { return describe(b->Value()); }));
    }

    // Names and types of the columns, from declared types and, for
    // expressions, from the first value (or none).
    void columnsAreTheDrivers_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::newRow("declared types") << "SELECT * FROM d_kinds";
        QTest::newRow("expressions") << "SELECT 1 AS i, 2.5 AS f, x'00' AS b, NULL AS n, 'x' AS s, k + 1 FROM d_kinds";
        QTest::newRow("expressions of no row") << "SELECT 1 AS i, 2.5 AS f, 'x' AS s FROM d_kinds WHERE 0";
        QTest::newRow("quoted names") << "SELECT k AS \"a\"\"b\", k AS \"Сумма, руб\" FROM d_kinds";
        QTest::newRow("aggregate") << "SELECT name, COUNT(*), SUM(amount) FROM d_kinds GROUP BY name";
        QTest::newRow("join") << "SELECT a.k, b.name FROM d_kinds a JOIN d_kinds b ON b.k = a.k";
    }
    void columnsAreTheDrivers()
    {
        QFETCH(QString, sql);
        exec(QStringLiteral("LITE"), {QStringLiteral("DROP TABLE IF EXISTS d_kinds"),
                                      QStringLiteral("CREATE TABLE d_kinds (k INTEGER PRIMARY KEY AUTOINCREMENT, "
                                                     "name VARCHAR(12), code CHAR(3), amount NUMERIC(10,3), "
                                                     "price MONEY, rate REAL, made DATE, at DATETIME, t TIME, "
                                                     "ok BOOLEAN, memo TEXT, pic BLOB, odd WHATEVER, bare)"),
                                      QStringLiteral("INSERT INTO d_kinds (name) VALUES ('один')")});
        auto q = walk(sql);
        QVERIFY(q->ReadsDirect());
        TQuery scroll;
        scroll.SetDatabaseName(QStringLiteral("LITE"));
        scroll.SetSQLText(sql);
        scroll.Open();
        QCOMPARE(q->FieldNames(), scroll.FieldNames());
        for (int i = 0; i < q->FieldCount(); ++i) {
            const TField *a = q->Fields(i), *b = scroll.Fields(i);
            const QString what = a->FieldName();
            QVERIFY2(a->DataType() == b->DataType(), qPrintable(what));
            QVERIFY2(a->Size() == b->Size(), qPrintable(what));
            QVERIFY2(a->Precision() == b->Precision(), qPrintable(what));
            QVERIFY2(a->Scale() == b->Scale(), qPrintable(what));
        }
    }

    // A statement that fails on its first row or half way, and statements
    // the driver refuses: the same errors either way.
    void errorsAreTheDrivers_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::newRow("first row") << "SELECT abs(-9223372036854775807 - 1)";
        QTest::newRow("half way") << "SELECT k, CASE WHEN k > 1500 THEN json('nicht json') END FROM d_many ORDER BY k";
        QTest::newRow("too big half way") << "SELECT k, zeroblob(CASE WHEN k > 2000 THEN 2000000000 ELSE 1 END) FROM d_many";
        QTest::newRow("parameter without value") << "SELECT ?";
        QTest::newRow("text after the statement") << "SELECT 1; SELECT 2";
        QTest::newRow("syntax") << "SELECT FROM d_many";
        QTest::newRow("missing table") << "SELECT * FROM d_nosuch";
    }
    void errorsAreTheDrivers()
    {
        QFETCH(QString, sql);
        exec(QStringLiteral("LITE"), {QStringLiteral("DROP TABLE IF EXISTS d_many"),
                                      QStringLiteral("CREATE TABLE d_many (k INTEGER PRIMARY KEY)"),
                                      QStringLiteral("WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s "
                                                     "WHERE n < 3000) INSERT INTO d_many SELECT n FROM s")});
        const auto readAll = [&sql](bool oneWay, int &rows) {
            TQuery q;
            q.SetDatabaseName(QStringLiteral("LITE"));
            q.SetParamCheck(false);
            q.SetUniDirectional(oneWay);
            q.SetSQLText(sql);
            rows = 0;
            q.Open();
            for (; !q.Eof(); q.Next())
                ++rows;
        };
        int directRows = -1, driverRows = -1;
        const QList<TDBError> direct = errorsOf([&] { readAll(true, directRows); });
        const QList<TDBError> driver = errorsOf([&] { readAll(false, driverRows); });
        QVERIFY2(!driver.isEmpty(), "the driver raised no error");
        QCOMPARE(describe(direct), describe(driver));
        QCOMPARE(directRows, driverRows);
        // the connection reads on
        QCOMPARE(scalar(QStringLiteral("LITE"), QStringLiteral("SELECT COUNT(*) FROM d_many")), QStringLiteral("3000"));
    }

    // A comment after the statement's ";" is no second statement.
    void commentAfterTheStatement()
    {
        for (bool oneWay : {true, false}) {
            TQuery q;
            q.SetDatabaseName(QStringLiteral("LITE"));
            q.SetUniDirectional(oneWay);
            q.SetSQLText(QStringLiteral("SELECT 7 AS n; -- и ещё\n/* и это */"));
            q.Open();
            QCOMPARE(q.FieldByName("n")->AsInteger(), 7);
            q.Next();
            QVERIFY(q.Eof());
        }
    }

    // Only one-directional datasets that never write their rows back read
    // directly, and only statements that do not write.
    void directOnlyWhereItMay_data()
    {
        QTest::addColumn<bool>("oneWay");
        QTest::addColumn<bool>("live");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("direct");
        QTest::newRow("one-directional") << true << false << "SELECT * FROM d_few" << true;
        QTest::newRow("scrollable") << false << false << "SELECT * FROM d_few" << false;
        QTest::newRow("scrollable, editable") << false << true << "SELECT * FROM d_few" << false;
        QTest::newRow("one-directional, editable") << true << true << "SELECT * FROM d_few" << false;
        QTest::newRow("one-directional, asks to edit what cannot be") << true << true
                                                                     << "SELECT DISTINCT name FROM d_few" << true;
        QTest::newRow("one-directional, writes") << true << false
                                                 << "INSERT INTO d_few (name) VALUES ('новый') RETURNING k" << false;
    }
    void directOnlyWhereItMay()
    {
        QFETCH(bool, oneWay);
        QFETCH(bool, live);
        QFETCH(QString, sql);
        QFETCH(bool, direct);
        exec(QStringLiteral("LITE"), {QStringLiteral("DROP TABLE IF EXISTS d_few"),
                                      QStringLiteral("CREATE TABLE d_few (k INTEGER PRIMARY KEY, name VARCHAR(20))"),
                                      QStringLiteral("INSERT INTO d_few (name) VALUES ('один'), ('два')")});
        TQuery q;
        q.SetDatabaseName(QStringLiteral("LITE"));
        q.SetUniDirectional(oneWay);
        q.SetRequestLive(live);
        q.SetSQLText(sql);
        q.Open();
        QCOMPARE(q.ReadsDirect(), direct);
        QCOMPARE(q.CanModify(), live && !direct && sql.startsWith(u"SELECT *"));
        int rows = 0;
        for (; !q.Eof(); q.Next())
            ++rows;
        q.Close();
        // a statement that writes ran once
        const bool writes = sql.startsWith(u"INSERT");
        QCOMPARE(rows, writes ? 1 : 2);
        QCOMPARE(scalar(QStringLiteral("LITE"), QStringLiteral("SELECT COUNT(*) FROM d_few")),
                 writes ? QStringLiteral("3") : QStringLiteral("2"));
    }

    // A column's text repeated in the next rows is handed out again without
    // being decoded: every row must still read as the driver reads it, the
    // repeats, a text of the same length that differs in one byte, empty
    // and NULL texts, a blob and a number between them.
    void repeatedTextsAreTheDrivers()
    {
        const QStringList values = {"'Город'", "'Город'", "'Горох'", "'Город'", "''", "''", "NULL", "'Город'",
                                    "x'd093'", "'Г'", "7", "'Город '", "'Город '", "'город'", "NULL", "NULL"};
        QStringList statements = {QStringLiteral("DROP TABLE IF EXISTS d_repeat"),
                                  QStringLiteral("CREATE TABLE d_repeat (k INTEGER PRIMARY KEY, v TEXT, w)")};
        for (int i = 0; i < values.size(); ++i)
            statements << QStringLiteral("INSERT INTO d_repeat VALUES (%1, %2, %2)").arg(i).arg(values[i]);
        for (const char *alias : {"LITE", "LITE16"}) {
            exec(QLatin1String(alias), statements);
            const QString sql = QStringLiteral("SELECT v, w, v FROM d_repeat ORDER BY k");
            QSqlQuery driver = Session().OpenDatabase(QLatin1String(alias))->Query(sql);
            auto q = walk(sql, QLatin1String(alias));
            QVERIFY(q->ReadsDirect());
            int rows = 0;
            for (; driver.next(); ++rows, q->Next()) {
                QVERIFY(!q->Eof());
                for (int c = 0; c < 3; ++c)
                    QUARN_SAME(q->CurrentValue(c), driver.value(c));
            }
            QVERIFY(q->Eof());
            QCOMPARE(rows, values.size());
        }
    }

    // Rows are read ahead in batches whose slots are written over in place:
    // values whose types change from row to row across the batches, and
    // blobs large enough to cut a batch short, still read as the driver
    // reads them, row by row.
    void batchesAreTheDrivers_data()
    {
        QTest::addColumn<QString>("values");
        QTest::addColumn<int>("rows");
        // n is the row number; each column changes its type with a period of its own
        QTest::newRow("types changing") << "CASE n % 5 WHEN 0 THEN n WHEN 1 THEN n + 0.5 WHEN 2 THEN 'т' || n"
                                           " WHEN 3 THEN NULL ELSE x'00ff' END, "
                                           "CASE WHEN n % 7 < 3 THEN 'Город ' || (n / 10) WHEN n % 7 = 3 THEN ''"
                                           " ELSE n * 2 END, "
                                           "CASE WHEN n % 33 = 0 THEN NULL ELSE 'тот же' END"
                                        << 200;
        QTest::newRow("large blobs") << "n, CASE WHEN n % 4 = 0 THEN randomblob(120000) ELSE 'малый ' || n END" << 40;
    }
    void batchesAreTheDrivers()
    {
        QFETCH(QString, values);
        QFETCH(int, rows);
        for (const char *alias : {"LITE", "LITE16"}) {
            exec(QLatin1String(alias),
                 {QStringLiteral("DROP TABLE IF EXISTS d_batch"),
                  QStringLiteral("CREATE TABLE d_batch AS WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 "
                                 "FROM s WHERE n < %1) SELECT n, %2 FROM s").arg(rows).arg(values)});
            const QString sql = QStringLiteral("SELECT * FROM d_batch ORDER BY n");
            QSqlQuery driver = Session().OpenDatabase(QLatin1String(alias))->Query(sql);
            auto q = walk(sql, QLatin1String(alias));
            QVERIFY(q->ReadsDirect());
            const int columns = q->FieldCount();
            int read = 0;
            for (; driver.next(); ++read, q->Next()) {
                QVERIFY(!q->Eof());
                for (int c = 0; c < columns; ++c)
                    QUARN_SAME(q->CurrentValue(c), driver.value(c));
            }
            QVERIFY(q->Eof());
            QCOMPARE(read, rows);
        }
    }

    // A script may write to the table its report walks, on the same
    // connection, while rows are read ahead: every write lands and every
    // row is walked once, in order.
    void writingWhileWalking()
    {
        exec(QStringLiteral("LITE"), {QStringLiteral("DROP TABLE IF EXISTS d_written"),
                                      QStringLiteral("CREATE TABLE d_written (k INTEGER PRIMARY KEY, v INTEGER)"),
                                      QStringLiteral("WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s "
                                                     "WHERE n < 100) INSERT INTO d_written SELECT n, 0 FROM s")});
        auto q = walk(QStringLiteral("SELECT k FROM d_written ORDER BY k"));
        QVERIFY(q->ReadsDirect());
        int walked = 0;
        for (; !q->Eof(); q->Next()) {
            QCOMPARE(q->Fields(0)->AsInteger(), qint64(++walked));
            exec(QStringLiteral("LITE"), {QStringLiteral("UPDATE d_written SET v = v + 1 WHERE k = %1").arg(walked)});
        }
        QCOMPARE(walked, 100);
        QCOMPARE(scalar(QStringLiteral("LITE"), QStringLiteral("SELECT COUNT(*) FROM d_written WHERE v = 1")),
                 QStringLiteral("100"));
    }

    // A walk left open when its database closes ends with it: the file is
    // free for a writer on another connection.
    void closingTheDatabaseEndsAWalk()
    {
        exec(QStringLiteral("LITE"), {QStringLiteral("DROP TABLE IF EXISTS d_walk"),
                                      QStringLiteral("CREATE TABLE d_walk (k INTEGER PRIMARY KEY)"),
                                      QStringLiteral("WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s "
                                                     "WHERE n < 3000) INSERT INTO d_walk SELECT n FROM s")});
        QSqlDatabase writer = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("writer"));
        writer.setDatabaseName(QDir(ProgramDir()).filePath(QStringLiteral("lite.db")));
        writer.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
        QVERIFY(writer.open());
        {
            QSqlQuery w(writer);
            auto q = walk(QStringLiteral("SELECT k FROM d_walk ORDER BY k"));
            QVERIFY(q->ReadsDirect());
            q->Next();
            QVERIFY2(!w.exec(QStringLiteral("DELETE FROM d_walk")), "a writer got past an open walk");
            Session().OpenDatabase(QStringLiteral("LITE"))->Close();
            QVERIFY(!q->Active());
            QVERIFY2(w.exec(QStringLiteral("DELETE FROM d_walk")), qPrintable(w.lastError().text()));
            // and the database opens and walks again
            q->Open();
            QVERIFY(q->ReadsDirect());
            QVERIFY(q->Eof());
        }
        writer.close();
        writer = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("writer"));
    }
};

QUARN_TEST_MAIN(DirectReadTest)
#include "DirectReadTest.moc"
