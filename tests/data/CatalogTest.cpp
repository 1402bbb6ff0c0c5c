// Aliases, opening databases and what goes wrong there (unknown alias,
// missing file, wrong password, cancelled login, dropped connection), the
// catalog lists, the system tables' DDL and the demo database.
#include "DataTestSupport.h"

#include "data/Catalog.h"

#include <QFileInfo>
#include <QSettings>

using namespace DataTest;

static QString readSource(const QString &relative)
{
    QFile f(QStringLiteral(QUARN_SOURCE_DIR "/") + relative);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll());
}

class CatalogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString extra = QStringLiteral("[MISSING]\nDriver=QSQLITE\nDatabase=nowhere/missing.db ; no such file\n\n"
                                       "[ODBCLATER]\nDriver=QODBC\nDatabase=dsn\n\n");
        if (havePostgres()) {
            const auto dsn = parseDsn(qEnvironmentVariable("QUARN_PG_DSN"));
            const QString server = QStringLiteral("Driver=QPSQL\nHost=%1\nPort=%2\nDatabase=%3\nUser=%4\n")
                                       .arg(dsn.value("host"), dsn.value("port"), dsn.value("dbname"), dsn.value("user"));
            extra += QStringLiteral("[PG2]\n") + server + QStringLiteral("Login=1\n\n");
            extra += QStringLiteral("[PGNODB]\nDriver=QPSQL\nHost=%1\nPort=%2\nDatabase=quarn_no_such_db\nUser=%3\nLogin=1\n\n")
                         .arg(dsn.value("host"), dsn.value("port"), dsn.value("user"));
        }
        writeAliases(extra);
    }
    void cleanupTestCase() { Session().CloseAll(); }

    void aliasList()
    {
        TDatabaseList list;
        list.Open();
        QStringList names;
        for (; !list.Eof(); list.Next())
            names.append(list.FieldByName("NAME")->AsString());
        QVERIFY(names.contains(QStringLiteral("DEMO")));
        QVERIFY(names.contains(QStringLiteral("LITE")));
        QVERIFY(names.contains(QStringLiteral("ODBCLATER")));
        QCOMPARE(names, [&] { QStringList s = names; s.sort(Qt::CaseInsensitive); return s; }());
        QCOMPARE(list.FieldByName("NAME")->Size(), 31);
        QCOMPARE(list.FieldByName("PHYNAME")->Size(), 260);

        TDatabaseDesc demo(QStringLiteral("demo"));
        QCOMPARE(demo.Name(), QStringLiteral("DEMO"));
        QCOMPARE(demo.DatabaseType(), QStringLiteral("SQLITE"));
        QCOMPARE(demo.PhysicalName(), QDir(ProgramDir()).filePath(QStringLiteral("demo.sqlite")));
        TDatabaseDesc missing(QStringLiteral("MISSING"));
        QCOMPARE(missing.PhysicalName(), QDir(ProgramDir()).filePath(QStringLiteral("nowhere/missing.db")));
        QCOMPARE(TDatabaseDesc(QStringLiteral("LITE")).Description(), QStringLiteral("Test file"));
        if (havePostgres())
            QCOMPARE(TDatabaseDesc(QStringLiteral("PG")).DatabaseType(), QStringLiteral("POSTGRESQL"));
    }

    // A database file opened directly gets a session alias: named after the
    // file, an existing alias of the same file reused, never written.
    void sessionAliasForFile_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("alias");
        QTest::newRow("named after the file") << "sales.sqlite" << "SALES";
        QTest::newRow("blanks and signs") << "my books-2.db" << "MY_BOOKS_2";
        QTest::newRow("the file of an alias") << "lite.db" << "LITE";
        QTest::newRow("a name taken by another file") << "other/lite.db" << "LITE_2";
    }
    void sessionAliasForFile()
    {
        QFETCH(QString, file);
        QFETCH(QString, alias);
        const QString path = QDir(ProgramDir()).filePath(file);
        QDir().mkpath(QFileInfo(path).path());
        if (!QFile::exists(path))
            CreateSqliteDatabase(path, {QStringLiteral("CREATE TABLE T (A INTEGER)")});
        QCOMPARE(Session().AliasForFile(path), alias);
        QCOMPARE(Session().AliasForFile(path), alias);   // the same file, the same alias
        QVERIFY(Session().AliasNames().contains(alias));
        QCOMPARE(TDatabaseDesc(alias).PhysicalName(), QFileInfo(path).canonicalFilePath());
        QVERIFY(Session().OpenDatabase(alias)->Connected());
        Session().CloseAll();
        QSettings ini(AliasFileName(), QSettings::IniFormat);
        QCOMPARE(ini.childGroups().contains(alias), alias == u"LITE");
    }

    // A session alias saved under its name is the stored one from then on.
    void storedAliasHidesSessionAlias()
    {
        const QString path = QDir(ProgramDir()).filePath(QStringLiteral("kept.sqlite"));
        CreateSqliteDatabase(path, {});
        const QString name = Session().AliasForFile(path);
        TAlias a;
        QVERIFY(Session().FindAlias(name, a));
        a.Description = QStringLiteral("Сохранен");
        SaveAlias(a);
        QVERIFY(Session().FindAlias(name, a));
        QCOMPARE(a.Description, QStringLiteral("Сохранен"));
        QCOMPARE(Session().AliasNames().count(name), 1);
        RemoveAlias(name);
    }

    // aliases.ini written and read back; a password never is in it.
    void savedAliasReadBack()
    {
        TAlias a;
        a.Name = QStringLiteral("SAVED");
        a.Driver = QStringLiteral("QPSQL");
        a.Database = QStringLiteral("stock");
        a.Host = QStringLiteral("db.example");
        a.Port = 5433;
        a.User = QStringLiteral("clerk");
        a.Login = true;
        a.Description = QStringLiteral("Склад; главный");
        SaveAlias(a);
        TAlias back;
        QVERIFY(Session().FindAlias(QStringLiteral("SAVED"), back));
        QCOMPARE(QStringList({back.Driver, back.Database, back.Host, QString::number(back.Port), back.User,
                              back.Description, back.Type}),
                 QStringList({"QPSQL", "stock", "db.example", "5433", "clerk", "Склад; главный", "POSTGRESQL"}));
        QVERIFY(back.Login);
        QVERIFY(Session().FindAlias(QStringLiteral("LITE"), back));   // the others stay

        // renamed: the old section goes
        a.Name = QStringLiteral("STOCK");
        SaveAlias(a, QStringLiteral("SAVED"));
        QVERIFY(!Session().FindAlias(QStringLiteral("SAVED"), back));
        QVERIFY(Session().FindAlias(QStringLiteral("STOCK"), back));
        QUARN_EXPECT_ERROR(SaveAlias(a), "Псевдоним STOCK уже есть");
        a.Name = QStringLiteral(" ");
        QUARN_EXPECT_ERROR(SaveAlias(a), "Не задано название псевдонима");

        QFile file(AliasFileName());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(!QString::fromUtf8(file.readAll()).contains(QStringLiteral("password"), Qt::CaseInsensitive));
        RemoveAlias(QStringLiteral("stock"));
        QVERIFY(!Session().FindAlias(QStringLiteral("STOCK"), back));
        QVERIFY(Session().FindAlias(QStringLiteral("LITE"), back));
    }

    void badAliases()
    {
        try {
            Session().OpenDatabase(QStringLiteral("NOSUCH"));
            QFAIL("opened an unknown alias");
        } catch (const EDBEngineError &e) {
            QCOMPARE(e.Errors().first().ErrorCode, DBErrorCode::UnknownAlias);
            QCOMPARE(e.Message(), QStringLiteral("Неизвестный псевдоним базы данных: NOSUCH"));
        }
        QVERIFY_THROWS_EXCEPTION(EDBEngineError, TDatabaseDesc(QStringLiteral("NOSUCH")));

        // a missing SQLite file is an error, and no empty file appears
        const QString file = QDir(ProgramDir()).filePath(QStringLiteral("nowhere/missing.db"));
        try {
            Session().OpenDatabase(QStringLiteral("MISSING"));
            QFAIL("opened a missing file");
        } catch (const EDBEngineError &e) {
            QCOMPARE(e.Errors().first().ErrorCode, DBErrorCode::FileMissing);
            QVERIFY(e.Message().contains(file));
        }
        QVERIFY(!QFileInfo::exists(file));
        QDir(ProgramDir()).mkpath(QStringLiteral("nowhere"));
        QVERIFY_THROWS_EXCEPTION(EDBEngineError, Session().OpenDatabase(QStringLiteral("MISSING")));
        QVERIFY(!QFileInfo::exists(file));
        // a file that is no database
        {
            QFile junk(file);
            QVERIFY(junk.open(QIODevice::WriteOnly));
            junk.write(QByteArray(4096, 'x'));
        }
        TQuery q;
        q.SetDatabaseName(QStringLiteral("MISSING"));
        q.SetSQLText(QStringLiteral("SELECT * FROM sqlite_master"));
        QVERIFY_THROWS_EXCEPTION(EDBEngineError, q.Open());
        QFile::remove(file);

        // a driver this build does not have
        QVERIFY_THROWS_EXCEPTION(EDBEngineError, Session().OpenDatabase(QStringLiteral("ODBCLATER")));
    }

    void sessionSharesDatabases_data() { engineRows(); }
    void sessionSharesDatabases()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TDatabase *a = Session().OpenDatabase(alias);
        TDatabase *b = Session().OpenDatabase(alias.toLower());
        QCOMPARE(a, b);
        QVERIFY(a->Connected());
        QCOMPARE(a->DatabaseName(), alias);
        a->SetConnected(false);
        QVERIFY(!a->Connected());
        QCOMPARE(Session().OpenDatabase(alias), a);   // reconnects the same object
        QVERIFY(a->Connected());
    }

    void loginFailures_data() { engineRows(); }
    void loginFailures()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        if (!isPg(alias))
            QSKIP("SQLite files have no login");
        const QByteArray good = qgetenv("QUARN_PASSWORD");
        qputenv("QUARN_PASSWORD", "wrong-password");
        try {
            Session().OpenDatabase(QStringLiteral("PG2"));
            QFAIL("connected with a wrong password");
        } catch (const EDBEngineError &e) {
            QCOMPARE(e.Errors().first().ErrorCode, DBErrorCode::LoginFailed);
            QVERIFY2(e.Message().contains(QStringLiteral("password authentication failed")), qPrintable(e.Message()));
        }
        qputenv("QUARN_PASSWORD", good);
        try {
            Session().OpenDatabase(QStringLiteral("PGNODB"));
            QFAIL("connected to a database that does not exist");
        } catch (const EDBEngineError &e) {
            QVERIFY2(e.Message().contains(QStringLiteral("quarn_no_such_db")), qPrintable(e.Message()));
        }
        // a cancelled login is the silent abort, and nothing is connected
        Session().OnLogin = [](const TAlias &, QString &, QString &) { return false; };
        QVERIFY_THROWS_EXCEPTION(EAbort, Session().OpenDatabase(QStringLiteral("PG2")));
        QVERIFY(!Session().FindDatabase(QStringLiteral("PG2"))->Connected());
        Session().OnLogin = nullptr;
        QVERIFY(Session().OpenDatabase(QStringLiteral("PG2"))->Connected());
    }

    void droppedConnection_data() { engineRows(); }
    void droppedConnection()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        if (!isPg(alias))
            QSKIP("an embedded SQLite file has no connection to drop");
        // SELECTs outside a transaction read through a second connection;
        // inside one they use the main connection: drop each in turn. The
        // next statement connects again; the transaction lost with its
        // connection is said first.
        TDatabase *db = Session().OpenDatabase(alias);
        for (const bool inTransaction : {false, true}) {
            if (inTransaction)
                db->StartTransaction();
            const QString pid = scalar(alias, QStringLiteral("SELECT pg_backend_pid()"));
            QCOMPARE(scalar(QStringLiteral("PG2"), QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid)),
                     QStringLiteral("True"));
            QTRY_COMPARE_WITH_TIMEOUT(scalar(QStringLiteral("PG2"),
                                             QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE pid = %1").arg(pid)),
                                      QStringLiteral("0"), 5000);
            QTest::qWait(300);   // the process ends a moment after it leaves the list
            TQuery q;
            q.SetDatabaseName(alias);
            q.SetSQLText(QStringLiteral("SELECT pg_backend_pid()"));
            if (inTransaction) {
                try {
                    q.Open();
                    QFAIL("a transaction lost with its connection went unsaid");
                } catch (const EDBEngineError &e) {
                    QVERIFY2(e.Errors().first().Category() == 0x21, qPrintable(e.Message()));
                    QVERIFY(!e.Message().isEmpty());
                }
                QVERIFY(!q.Active());
                QVERIFY(!db->InTransaction());
            }
            q.Open();
            QVERIFY(q.Fields(0)->AsString() != pid);
        }
    }

    void tableList_data() { engineRows(); }
    void tableList()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        const bool pg = isPg(alias);
        QStringList setup = {QStringLiteral("DROP VIEW IF EXISTS c_view"), QStringLiteral("DROP TABLE IF EXISTS c_one"),
                             ddl(alias, QStringLiteral("CREATE TABLE c_one (id %SERIAL%, name VARCHAR(10))")),
                             QStringLiteral("CREATE VIEW c_view AS SELECT name FROM c_one")};
        if (pg)
            setup += {QStringLiteral("DROP SCHEMA IF EXISTS c_other CASCADE"), QStringLiteral("CREATE SCHEMA c_other"),
                      QStringLiteral("CREATE TABLE c_other.c_far (a INTEGER)")};
        else
            setup += {QStringLiteral("ATTACH DATABASE '%1' AS c_other").arg(QDir(ProgramDir()).filePath(QStringLiteral("other.db"))),
                      QStringLiteral("CREATE TABLE IF NOT EXISTS c_other.c_far (a INTEGER)")};
        exec(alias, setup);

        auto read = [&](bool system, bool extended) {
            TTableList list;
            list.SetDatabaseName(alias);
            list.SetSystemTables(system);
            list.SetExtendedInfo(extended);
            list.Open();
            QMap<QString, QVariantList> rows;
            for (; !list.Eof(); list.Next())
                rows.insert(list.FieldByName("NAME")->AsString(),
                            {list.FieldByName("VIEW")->AsBoolean(), list.FieldByName("EXTENSION")->AsString(),
                             list.FieldByName("DATE")->Value()});
            return rows;
        };
        const auto plain = read(false, false);
        QVERIFY(plain.contains(QStringLiteral("c_one")));
        QCOMPARE(plain[QStringLiteral("c_one")][0].toBool(), false);
        QCOMPARE(plain[QStringLiteral("c_view")][0].toBool(), true);
        QCOMPARE(plain[QStringLiteral("c_one")][1].toString(), QString());
        QVERIFY(plain.contains(QStringLiteral("c_other.c_far")));   // owner-qualified
        const QString systemTable = pg ? QStringLiteral("pg_catalog.pg_class") : QStringLiteral("sqlite_master");
        QVERIFY(!plain.contains(systemTable));
        QVERIFY(!plain[QStringLiteral("c_one")][2].isValid());
        const auto full = read(true, true);
        QVERIFY(full.contains(systemTable));
        if (!pg) {
            QVERIFY(full.contains(QStringLiteral("sqlite_sequence")));
            QVERIFY(full[QStringLiteral("c_one")][2].toDate().isValid());   // the file's date
        }
        if (!pg)
            exec(alias, {QStringLiteral("DETACH DATABASE c_other")});

        // the listed name opens the table as the browser does
        TQuery q;
        q.SetDatabaseName(alias);
        q.SetSQLText(QStringLiteral("SELECT * FROM \"c_one\""));
        q.SetRequestLive(true);
        q.Open();
        QVERIFY(q.CanModify());
    }

    void fieldAndIndexLists_data() { engineRows(); }
    void fieldAndIndexLists()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        const bool pg = isPg(alias);
        exec(alias, {QStringLiteral("DROP TABLE IF EXISTS c_fields"),
                     ddl(alias, QStringLiteral("CREATE TABLE c_fields (id %SERIAL%, s VARCHAR(30) NOT NULL, "
                                               "n NUMERIC(15,2), m MONEY, memo %2, bl %1, d DATE, t TIME, "
                                               "ts %TS%, b BOOLEAN, sm SMALLINT, i INTEGER, f DOUBLE PRECISION, "
                                               "code CHAR(4) UNIQUE)").arg(pg ? u"BYTEA" : u"BLOB", pg ? u"XML" : u"CLOB")),
                     QStringLiteral("CREATE INDEX c_fields_name ON c_fields (s)"),
                     QStringLiteral("CREATE UNIQUE INDEX c_fields_nd ON c_fields (n, d)")});
        TFieldList fields;
        fields.SetDatabaseName(alias);
        fields.SetTableName(QStringLiteral("c_fields"));
        fields.Open();
        QMap<QString, QList<int>> got;
        QStringList order;
        for (; !fields.Eof(); fields.Next()) {
            QList<int> v;
            for (const char *c : {"TYPE", "SUBTYPE", "UNITS1", "UNITS2", "LENGTH"})
                v.append(int(fields.FieldByName(c)->AsInteger()));
            got.insert(fields.FieldByName("NAME")->AsString(), v);
            order.append(fields.FieldByName("NAME")->AsString());
        }
        QCOMPARE(order.first(), QStringLiteral("id"));
        QCOMPARE(order.last(), QStringLiteral("code"));
        QCOMPARE(got["s"].mid(0, 3), (QList<int>{1, 0, 30}));
        QCOMPARE(got["code"].mid(0, 3), (QList<int>{1, 0, 4}));
        QCOMPARE(got["n"].mid(0, 4), (QList<int>{8, 0, 15, 2}));
        QCOMPARE(got["m"].mid(0, 2), (QList<int>{7, 21}));
        QCOMPARE(got["memo"].mid(0, 2), (QList<int>{3, 22}));
        QCOMPARE(got["bl"].mid(0, 2), (QList<int>{3, 23}));
        QCOMPARE(got["d"][0], 2);
        QCOMPARE(got["t"][0], 10);
        QCOMPARE(got["ts"][0], 11);
        QCOMPARE(got["b"][0], 4);
        QCOMPARE(got["sm"][0], 5);
        QCOMPARE(got["i"][0], 6);
        QCOMPARE(got["id"][0], 6);
        QCOMPARE(got["f"][0], 7);
        QCOMPARE(got["f"][1], 0);

        TIndexList indexes;
        indexes.SetDatabaseName(alias);
        indexes.SetTableName(QStringLiteral("c_fields"));
        indexes.Open();
        QMap<QString, bool> idx;
        for (; !indexes.Eof(); indexes.Next())
            idx.insert(indexes.FieldByName("NAME")->AsString(), indexes.FieldByName("UNIQUE")->AsBoolean());
        QCOMPARE(idx.value(QStringLiteral("c_fields_name"), true), false);
        QCOMPARE(idx.value(QStringLiteral("c_fields_nd"), false), true);
        // the UNIQUE constraint on code has an index of its own
        int uniques = 0;
        for (auto it = idx.begin(); it != idx.end(); ++it)
            uniques += it.value();
        QVERIFY2(uniques >= (pg ? 3 : 2), qPrintable(QStringList(idx.keys()).join(u',')));

        TFieldList none;
        none.SetDatabaseName(alias);
        none.SetTableName(QStringLiteral("c_no_such_table"));
        QVERIFY_THROWS_EXCEPTION(EDBEngineError, none.Open());
    }

    void systemTables_data() { engineRows(); }
    void systemTables()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        const QString script = readSource(isPg(alias) ? QStringLiteral("sql/sys_tables_postgresql.sql")
                                                      : QStringLiteral("sql/sys_tables_sqlite.sql"));
        QVERIFY(!script.isEmpty());
        exec(alias, {QStringLiteral("DROP TABLE IF EXISTS SYS_REPORT"), QStringLiteral("DROP TABLE IF EXISTS SYS_GRIDS")});
        Session().OpenDatabase(alias)->ExecScript(script);

        // the report editor's record: the query as the program sends it
        TQuery q;
        q.SetDatabaseName(alias);
        q.SetSQL({QStringLiteral("SELECT * FROM SYS_REPORT"), QStringLiteral("WHERE"),
                  QStringLiteral("RE_APP_NAM = :AppNam AND"), QStringLiteral("RE_GRP_NAM = :GrpNam AND"),
                  QStringLiteral("RE_RPT_NAM = :RptNam")});
        q.ParamByName("AppNam").SetAsString(QStringLiteral("Quarn"));
        q.ParamByName("GrpNam").SetAsString(QStringLiteral("TSQLForm_SQLGrid"));
        q.ParamByName("RptNam").SetAsString(QStringLiteral("Список"));
        q.SetRequestLive(true);
        q.Open();
        QVERIFY(q.CanModify());
        QVERIFY(q.IsEmpty());
        QCOMPARE(q.FieldByName("RE_RPT_NAM")->Size(), 60);
        // a template is a text of any length
        QVERIFY(dynamic_cast<TStringField *>(q.FieldByName("RE_RPT_FMT")));
        QCOMPARE(q.FieldByName("RE_RPT_FMT")->Size(), 0);
        q.Insert();
        q.FieldByName("RE_APP_NAM")->SetAsString(QStringLiteral("Quarn"));
        q.FieldByName("RE_GRP_NAM")->SetAsString(QStringLiteral("TSQLForm_SQLGrid"));
        q.FieldByName("RE_RPT_NAM")->SetAsString(QStringLiteral("Список"));
        q.FieldByName("RE_RPT_FMT")->SetAsString(QStringLiteral(".DETAIL\r\n@NAME"));
        q.FieldByName("RE_RPT_ONE")->SetAsString(QStringLiteral("Н"));
        q.Post();
        q.Edit();
        q.FieldByName("RE_RPT_PRV")->SetAsString(QStringLiteral("Д"));
        q.Post();
        q.Close();
        q.Open();
        QCOMPARE(q.FieldByName("RE_RPT_PRV")->AsString(), QStringLiteral("Д"));
        QCOMPARE(q.FieldByName("RE_RPT_FMT")->AsString(), QStringLiteral(".DETAIL\r\n@NAME"));
        // the key: the same report twice is refused
        q.Append();
        q.FieldByName("RE_APP_NAM")->SetAsString(QStringLiteral("Quarn"));
        q.FieldByName("RE_GRP_NAM")->SetAsString(QStringLiteral("TSQLForm_SQLGrid"));
        q.FieldByName("RE_RPT_NAM")->SetAsString(QStringLiteral("Список"));
        QVERIFY_THROWS_EXCEPTION(EDBEngineError, q.Post());
        q.Cancel();

        TQuery g;
        g.SetDatabaseName(alias);
        g.SetSQL({QStringLiteral("SELECT * FROM SYS_GRIDS"), QStringLiteral("WHERE"),
                  QStringLiteral("GR_APP_NAM = :AppName AND"), QStringLiteral("GR_GRD_NAM = :GrdName AND"),
                  QStringLiteral("GR_GRD_CMT = :GrdCmt")});
        g.ParamByName("AppName").SetAsString(QStringLiteral("Quarn"));
        g.ParamByName("GrdName").SetAsString(QStringLiteral("TSQLForm_SQLGrid"));
        g.ParamByName("GrdCmt").SetAsString(QStringLiteral("Мои"));
        g.SetRequestLive(true);
        g.Open();
        QVERIFY(g.CanModify());
        QCOMPARE(g.FieldCount(), 7);
        QVERIFY(dynamic_cast<TStringField *>(g.FieldByName("GR_GRD_SRH")));   // a text of any length
    }

    void demoDatabase()
    {
        const QString file = QDir(ProgramDir()).filePath(QStringLiteral("demo.sqlite"));
        const QString sys = readSource(QStringLiteral("sql/sys_tables_sqlite.sql"));
        const QString demo = readSource(QStringLiteral("sql/demo.sql"));
        QVERIFY(!demo.isEmpty());
        CreateSqliteDatabase(file, {sys, demo});
        QVERIFY_THROWS_EXCEPTION(EDBEngineError, CreateSqliteDatabase(file, {sys}));
        // a failing script leaves no file behind
        const QString broken = QDir(ProgramDir()).filePath(QStringLiteral("broken.sqlite"));
        QVERIFY_THROWS_EXCEPTION(EDBEngineError, CreateSqliteDatabase(broken, {QStringLiteral("CREATE TABL x")}));
        QVERIFY(!QFileInfo::exists(broken));

        TTableList tables;
        tables.SetDatabaseName(QStringLiteral("DEMO"));
        tables.Open();
        QStringList names;
        for (; !tables.Eof(); tables.Next())
            names.append(tables.FieldByName("NAME")->AsString());
        for (const char *t : {"CUSTOMERS", "PRODUCTS", "INVOICES", "INVOICE_LINES", "SYS_REPORT", "SYS_GRIDS"})
            QVERIFY2(names.contains(QString::fromLatin1(t)), t);

        TQuery q;
        q.SetDatabaseName(QStringLiteral("DEMO"));
        q.SetSQLText(QStringLiteral("SELECT COUNT(*) FROM INVOICE_LINES"));
        q.Open();
        QVERIFY(q.Fields(0)->AsInteger() >= 2000);
        q.SetSQLText(QStringLiteral("SELECT * FROM INVOICES ORDER BY INV_ID"));
        q.Open();
        QCOMPARE(q.FieldByName("INV_DATE")->DataType(), ftDate);
        QVERIFY(q.FieldByName("INV_DATE")->AsDateTime() > EncodeDate(2020, 1, 1));
        QCOMPARE(q.FieldByName("INV_TOTAL")->DataType(), ftFloat);
        q.SetSQLText(QStringLiteral("SELECT c.CUS_NAME, SUM(l.LIN_QTY * l.LIN_PRICE) AS TOTAL FROM CUSTOMERS c "
                                    "JOIN INVOICES i ON i.CUS_ID = c.CUS_ID JOIN INVOICE_LINES l ON l.INV_ID = i.INV_ID "
                                    "GROUP BY c.CUS_NAME ORDER BY TOTAL DESC"));
        q.Open();
        QVERIFY(!q.IsEmpty());
        QVERIFY(q.Fields(1)->AsFloat() > 0);
        // every invoice's total matches its lines
        q.SetSQLText(QStringLiteral("SELECT COUNT(*) FROM INVOICES i WHERE abs(i.INV_TOTAL - (SELECT SUM(LIN_QTY * LIN_PRICE) "
                                    "FROM INVOICE_LINES l WHERE l.INV_ID = i.INV_ID)) > 0.005"));
        q.Open();
        QCOMPARE(q.Fields(0)->AsInteger(), 0);
        q.SetSQLText(QStringLiteral("SELECT COUNT(*) FROM SYS_REPORT WHERE RE_APP_NAM = 'Quarn'"));
        q.Open();
        QVERIFY(q.Fields(0)->AsInteger() >= 1);
    }
};

QUARN_TEST_MAIN(CatalogTest)
#include "CatalogTest.moc"
