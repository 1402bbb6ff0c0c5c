// Databases made the way other programs make them: SQLite with TEXT
// columns, Booleans and dates kept as integers and text, NULLs, Cyrillic and
// quotes; PostgreSQL with text, numeric, bigint, boolean, timestamptz, uuid,
// jsonb, an enum and bytea. For each column: what the grid shows, what a
// search finds, and that an edit of another column leaves it byte for byte
// as it was (read by a second connection). The process runs in
// Asia/Vladivostok (see CMakeLists.txt), a zone apart from the server's.

#include "GridTestSupport.h"

#include "grid/GridConditions.h"
#include "grid/SearchSql.h"

using namespace GridTest;

namespace {

// The column's value as the database itself writes it, for comparing
// before and after.
QString stored(const QString &alias, const QString &table, const QString &column, int id)
{
    DataTest::TSecondConnection other(alias, "quarn_realdb");
    return other.rows(isPg(alias) ? QString("SELECT %1::text FROM %2 WHERE id = %3").arg(column, table).arg(id)
                                  : QString("SELECT quote(%1) FROM %2 WHERE id = %3").arg(column, table).arg(id));
}

} // namespace

class RealDatabasesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        setUpEngines("quarn_realdb");
        DataTest::exec("LITE", {"DROP TABLE IF EXISTS users",
                                "CREATE TABLE users (id integer primary key, name text, email text, born date, "
                                "score real, active boolean, note text, touched integer)",
                                "INSERT INTO users VALUES (1, 'Иванов', 'ivanov@example.com', '1980-05-17', 4.5, 1, NULL, 0)",
                                "INSERT INTO users VALUES (2, 'O''Brien', '', '1975-01-02', NULL, 0, "
                                "'строка 1' || char(10) || 'строка 2', 0)",
                                "INSERT INTO users VALUES (3, 'ЗАО «Ромашка»', NULL, NULL, 12.25, 1, 'Ёж', 0)",
                                "INSERT INTO users VALUES (4, 'Ivanova', 'x@y', '2001-12-31', -1, 0, 'back\\', 0)"});
        if (!usable("PG"))
            return;
        DataTest::exec("PG", {"DROP TABLE IF EXISTS items", "DROP TYPE IF EXISTS mood",
                              "CREATE TYPE mood AS ENUM ('sad', 'ok', 'happy')",
                              "CREATE TABLE items (id integer primary key, t text, v varchar, n12 numeric(12,2), "
                              "n38 numeric(38,18), big bigint, b boolean, ts timestamptz, d date, u uuid, j jsonb, "
                              "e mood, by bytea, touched integer)",
                              "INSERT INTO items VALUES (1, 'текст', 'O''Brien', 1234.5, "
                              "12345678901234567890.123456789012345679, 9007199254740993, true, "
                              "'2024-05-06 07:08:09.123456+03', '2024-02-29', 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', "
                              "'{\"a\": 1}', 'happy', '\\x00ff10', 0)",
                              "INSERT INTO items VALUES (2, 'back\\', NULL, -0.5, NULL, -9007199254740993, false, "
                              "NULL, NULL, NULL, NULL, 'sad', NULL, 0)",
                              "INSERT INTO items VALUES (3, '', 'ЗАО', 0, 0, 0, NULL, NULL, NULL, NULL, '[]', NULL, '', 0)"});
    }

    void columns_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QString>("column");
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("shown");     // DisplayText
        QTest::addColumn<bool>("null");
        QTest::addColumn<QString>("search");    // typed into the search row; empty: none
        QTest::addColumn<QStringList>("found");
        const auto lite = [](const char *tag) -> QTestData & { return QTest::newRow(qPrintable(QString("sqlite: ") + tag)) << QString("LITE"); };
        const auto pg = [](const char *tag) -> QTestData & { return QTest::newRow(qPrintable(QString("postgresql: ") + tag)) << QString("PG"); };
        lite("text, Cyrillic folded") << "name" << 1 << "Иванов" << false << "ив" << QStringList{"1"};
        lite("text with a quote") << "name" << 2 << "O'Brien" << false << "O'B" << QStringList{"2"};
        lite("text, capitals found by small letters") << "name" << 3 << "ЗАО «Ромашка»" << false << "зао" << QStringList{"3"};
        lite("empty text is no NULL") << "email" << 2 << "" << false << "" << QStringList();
        lite("NULL text") << "email" << 3 << "" << true << "" << QStringList();
        lite("ISO date kept as text") << "born" << 1 << "17.05.1980" << false << "17.5.1980" << QStringList{"1"};
        lite("real") << "score" << 3 << "12.25" << false << "12.25" << QStringList{"3"};
        lite("Boolean kept as an integer") << "active" << 1 << "Да" << false << "0" << QStringList{"2", "4"};
        lite("text of two lines") << "note" << 2 << "строка 1\nстрока 2" << false << "стр" << QStringList{"2"};
        lite("text with a backslash") << "note" << 4 << "back\\" << false << "back\\" << QStringList{"4"};
        pg("text") << "t" << 1 << "текст" << false << "тек" << QStringList{"1"};
        pg("text with a backslash") << "t" << 2 << "back\\" << false << "back\\" << QStringList{"2"};
        pg("varchar with a quote") << "v" << 1 << "O'Brien" << false << "O'Br" << QStringList{"1"};
        pg("numeric with decimals") << "n12" << 1 << "1234.50" << false << "1234.5" << QStringList{"1"};
        pg("numeric past 15 digits") << "n38" << 1 << "12345678901234567890.123456789012345679" << false
                                     << "12345678901234567890.123456789012345679" << QStringList{"1"};
        pg("bigint past 2^53") << "big" << 2 << "-9007199254740993" << false << "-9007199254740993" << QStringList{"2"};
        pg("boolean") << "b" << 1 << "Да" << false << "" << QStringList();
        pg("boolean false") << "b" << 2 << "Нет" << false << "" << QStringList();
        pg("timestamptz in the client's zone") << "ts" << 1 << "06.05.2024 14:08:09" << false << "" << QStringList();
        pg("date") << "d" << 1 << "29.02.2024" << false << "29.2.2024" << QStringList{"1"};
        pg("uuid") << "u" << 1 << "a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11" << false << "a0ee" << QStringList{"1"};
        pg("jsonb") << "j" << 1 << "{\"a\": 1}" << false << "{\"a" << QStringList{"1"};
        pg("enum") << "e" << 1 << "happy" << false << "hap" << QStringList{"1"};
        pg("bytea") << "by" << 1 << "(BLOB)" << false << "" << QStringList();
        pg("NULL bytea") << "by" << 2 << "(blob)" << true << "" << QStringList();
    }
    void columns()
    {
        QFETCH(QString, alias);
        QFETCH(QString, column);
        QFETCH(int, id);
        QFETCH(QString, shown);
        QFETCH(bool, null);
        QFETCH(QString, search);
        QFETCH(QStringList, found);
        QUARN_NEED_ENGINE(alias);
        const QString table = isPg(alias) ? "items" : "users";
        TQuery q;
        q.SetName("Q");
        q.SetDatabaseName(alias);
        q.SetSQLText("SELECT * FROM " + table + " ORDER BY id");
        q.SetRequestLive(true);
        q.Open();
        for (q.First(); !q.Eof() && q.FieldByName("id")->AsInteger() != id; q.Next()) {
        }
        TField *f = q.FieldByName(column);
        QVERIFY2(f->DataType() != ftMemo, "a text column is a string, not a memo");
        QCOMPARE(f->DisplayText(), shown);
        QCOMPARE(f->IsNull(), null);

        // an edit of another column leaves this one as the database had it
        const QString before = stored(alias, table, column, id);
        QVERIFY2(!before.startsWith("ERROR"), qPrintable(before));
        q.Edit();
        q.FieldByName("touched")->SetAsInteger(id * 10);
        q.Post();
        QCOMPARE(stored(alias, table, column, id), before);
        QCOMPARE(stored(alias, table, "touched", id), QString::number(id * 10));

        if (search.isEmpty())
            return;
        TGridConditions c;
        c.SetSearchValue(f->FieldName(), search);
        ApplySearch(q, c);
        QCOMPARE(GridTest::column(q), found);
    }

    // Typed values of the exact columns are written as typed, never through
    // a double, and read back the same.
    void exactValuesEdited()
    {
        QUARN_NEED_ENGINE(QStringLiteral("PG"));
        TQuery q;
        q.SetDatabaseName("PG");
        q.SetSQLText("SELECT id, n38, big, n12 FROM items WHERE id = 3");
        q.SetRequestLive(true);
        q.Open();
        q.Edit();
        q.FieldByName("n38")->SetAsString("-98765432109876543210.987654321098765432");
        q.FieldByName("big")->SetAsString("9223372036854775807");
        q.FieldByName("n12")->SetAsString("1,234.56");
        q.Post();
        QCOMPARE(stored("PG", "items", "n38", 3), QString("-98765432109876543210.987654321098765432"));
        QCOMPARE(stored("PG", "items", "big", 3), QString("9223372036854775807"));
        QCOMPARE(stored("PG", "items", "n12", 3), QString("1234.56"));
        QCOMPARE(q.FieldByName("n38")->DisplayText(), QString("-98765432109876543210.987654321098765432"));
        QVERIFY_THROWS_EXCEPTION(EConvertError, q.FieldByName("n12")->SetAsString("12,3.4x"));
    }

    // Typing 13:00 into a timestamptz column stores 13:00 of the client's
    // zone, whatever zone the server gives its sessions.
    void timeInTheClientsZone()
    {
        QUARN_NEED_ENGINE(QStringLiteral("PG"));
        DataTest::exec("PGHOME", {"ALTER DATABASE quarn_realdb SET timezone = 'Europe/Moscow'"});
        Session().CloseAll();   // sessions of the database from now on are in Moscow
        TQuery q;
        q.SetDatabaseName("PG");
        q.SetSQLText("SELECT id, ts FROM items WHERE id = 2");
        q.SetRequestLive(true);
        q.Open();
        q.Edit();
        q.FieldByName("ts")->SetAsString("06.05.2024 13:00");
        q.Post();
        DataTest::TSecondConnection other("PG", "quarn_realdb");
        QCOMPARE(other.rows("SELECT to_char(ts AT TIME ZONE 'Asia/Vladivostok', 'YYYY-MM-DD HH24:MI') FROM items WHERE id = 2"),
                 QString("2024-05-06 13:00"));
        q.Close();
        q.Open();
        QCOMPARE(q.FieldByName("ts")->DisplayText(), QString("06.05.2024 13:00:00"));
    }

    // SQLite's upper, lower and LIKE fold every letter, as the search row needs.
    void unicodeCaseOnSqlite()
    {
        QCOMPARE(DataTest::scalar("LITE", "SELECT upper('за ёж') || lower('ЗА ЁЖ') || ('ЗАО' LIKE 'за%') || ('x_z' LIKE 'x\\_z' ESCAPE '\\')"),
                 QString("ЗА ЁЖза ёж11"));
        QCOMPARE(DataTest::scalar("LITE", "SELECT ('Straße' LIKE 'STRASSE') || ('abc' LIKE 'a%c') || ('ab' LIKE 'a_c') || ((NULL LIKE 'a') IS NULL)"),
                 QString("0101"));
    }
};

QUARN_TEST_MAIN(RealDatabasesTest)
#include "RealDatabasesTest.moc"
