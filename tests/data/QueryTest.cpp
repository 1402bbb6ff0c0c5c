// Datasets over real engines: field types, parameters, navigation and
// bookmarks, reading on demand, data sources, editing by key fields,
// statements without rows, engine errors, transactions, cached updates.
#include "DataTestSupport.h"

#include "common/DateTime.h"
#include "data/Catalog.h"

using namespace DataTest;

class QueryTest : public QObject {
    Q_OBJECT

private:
    // A table "q_people" (id, name NOT NULL, city, amount) with `rows` rows.
    void makePeople(const QString &alias, int rows)
    {
        exec(alias, {QStringLiteral("DROP TABLE IF EXISTS q_people"),
                     ddl(alias, QStringLiteral("CREATE TABLE q_people (id %SERIAL%, name VARCHAR(40) NOT NULL, "
                                               "city VARCHAR(30), amount NUMERIC(12,2))"))});
        TQuery q;
        q.SetDatabaseName(alias);
        // one statement with many rows keeps the set-up fast on both engines
        QStringList values;
        for (int i = 1; i <= rows; ++i)
            values.append(QStringLiteral("('Person %1', '%2', %3)").arg(i).arg(i % 2 ? u"Москва" : u"Тверь").arg(i * 10));
        for (int i = 0; i < values.size(); i += 500) {
            q.SetSQLText(QStringLiteral("INSERT INTO q_people (name, city, amount) VALUES ")
                         + values.mid(i, 500).join(u','));
            q.ExecSQL();
        }
    }

    std::unique_ptr<TQuery> open(const QString &alias, const QString &sql, bool live = false)
    {
        auto q = std::make_unique<TQuery>();
        q->SetName(QStringLiteral("Q1"));
        q->SetDatabaseName(alias);
        q->SetSQLText(sql);
        q->SetRequestLive(live);
        q->Open();
        return q;
    }

private slots:
    void initTestCase()
    {
        writeAliases(QStringLiteral("[LITEBCD]\nDriver=QSQLITE\nDatabase=lite.db\nEnableBCD=1\n\n"));
    }
    // No cleanupTestCase closing the session: the databases left open must
    // close at the end of the application object, not crash at exit.

    void fieldTypes_data() { engineRows(); }
    void fieldTypes()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        const bool pg = isPg(alias);
        exec(alias, {QStringLiteral("DROP TABLE IF EXISTS q_types"),
                     ddl(alias, QStringLiteral(
                         "CREATE TABLE q_types (id INTEGER PRIMARY KEY, s VARCHAR(20), c CHAR(3), ns %1, "
                         "sm SMALLINT, i INTEGER, f DOUBLE PRECISION, n NUMERIC(10,2), m %MONEY%, "
                         "b BOOLEAN, d DATE, t TIME, dt %TS%, memo %3, bl %2)")
                                    .arg(pg ? u"VARCHAR(10)" : u"NVARCHAR(10)", pg ? u"BYTEA" : u"BLOB",
                                         pg ? u"XML" : u"CLOB")),
                     QStringLiteral("INSERT INTO q_types VALUES (1, 'Иванов', 'abc', 'Ёжик', 7, 123456, 2.5, "
                                    "1234.5, 1234.5, %1, '2024-03-15', '13:45:30', '2024-03-15 13:45:30', "
                                    "'длинный текст', %2)")
                         .arg(pg ? u"TRUE" : u"1", pg ? u"'\\x0102'" : u"X'0102'"),
                     QStringLiteral("INSERT INTO q_types (id) VALUES (2)")});
        auto q = open(alias, QStringLiteral("SELECT * FROM q_types ORDER BY id"));
        QCOMPARE(q->FieldCount(), 15);
        QVERIFY(dynamic_cast<TStringField *>(q->FieldByName("s")));
        QCOMPARE(q->FieldByName("s")->Size(), 20);
        QCOMPARE(q->FieldByName("c")->Size(), 3);
        QCOMPARE(q->FieldByName("ns")->Size(), 10);
        QVERIFY(dynamic_cast<TSmallintField *>(q->FieldByName("sm")));
        QVERIFY(dynamic_cast<TIntegerField *>(q->FieldByName("i")));
        QVERIFY(dynamic_cast<TFloatField *>(q->FieldByName("f")));
        // NUMERIC comes back as a float field (reports copy float fields)
        TField *n = q->FieldByName("n");
        QCOMPARE(n->DataType(), ftFloat);
        QCOMPARE(n->Precision(), 10);
        QCOMPARE(n->Scale(), 2);
        TField *m = q->FieldByName("m");
        QVERIFY(dynamic_cast<TCurrencyField *>(m));
        QVERIFY(m->Currency());
        QVERIFY(dynamic_cast<TBooleanField *>(q->FieldByName("b")));
        QVERIFY(dynamic_cast<TDateField *>(q->FieldByName("d")));
        QVERIFY(dynamic_cast<TTimeField *>(q->FieldByName("t")));
        QCOMPARE(q->FieldByName("dt")->DataType(), ftDateTime);
        QVERIFY(dynamic_cast<TMemoField *>(q->FieldByName("memo")));
        QVERIFY(dynamic_cast<TBlobField *>(q->FieldByName("bl")));

        QCOMPARE(q->FieldByName("s")->AsString(), QStringLiteral("Иванов"));
        QCOMPARE(q->FieldByName("ns")->AsString(), QStringLiteral("Ёжик"));
        QCOMPARE(q->FieldByName("sm")->AsInteger(), 7);
        QCOMPARE(q->FieldByName("i")->AsInteger(), 123456);
        QCOMPARE(q->FieldByName("f")->AsFloat(), 2.5);
        QCOMPARE(n->AsFloat(), 1234.5);
        QCOMPARE(m->AsFloat(), 1234.5);
        QCOMPARE(m->DisplayText(), QStringLiteral("1,234.50"));
        n->SetDisplayFormat(QStringLiteral("#,##0.00"));
        QCOMPARE(n->DisplayText(), QStringLiteral("1,234.50"));
        QCOMPARE(q->FieldByName("b")->AsBoolean(), true);
        QCOMPARE(q->FieldByName("b")->AsString(), QStringLiteral("True"));
        QCOMPARE(q->FieldByName("d")->AsDateTime(), EncodeDate(2024, 3, 15));
        QCOMPARE(q->FieldByName("d")->AsString(), QStringLiteral("15.03.2024"));
        QCOMPARE(q->FieldByName("t")->AsString(), QStringLiteral("13:45:30"));
        QCOMPARE(q->FieldByName("dt")->AsDateTime(), EncodeDate(2024, 3, 15) + EncodeTime(13, 45, 30, 0));
        QCOMPARE(q->FieldByName("dt")->AsString(), QStringLiteral("15.03.2024 13:45:30"));
        QCOMPARE(q->FieldByName("memo")->AsString(), QStringLiteral("длинный текст"));
        QCOMPARE(q->FieldByName("memo")->DisplayText(), QStringLiteral("(MEMO)"));
        QCOMPARE(q->FieldByName("bl")->Value().toByteArray(), QByteArray("\x01\x02", 2));
        QCOMPARE(q->FieldByName("i")->Alignment(), taRightJustify);
        QCOMPARE(q->FieldByName("s")->Alignment(), taLeftJustify);

        q->Next();
        for (int i = 1; i < q->FieldCount(); ++i)
            QVERIFY2(q->Fields(i)->IsNull(), qPrintable(q->Fields(i)->FieldName()));
        QCOMPARE(q->FieldByName("d")->AsString(), QString());
        QCOMPARE(q->FieldByName("i")->AsInteger(), 0);
    }

    void bcdOnlyWhenAliasAsks_data() { engineRows(); }
    void bcdOnlyWhenAliasAsks()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        exec(alias, {QStringLiteral("DROP TABLE IF EXISTS q_bcd"),
                     QStringLiteral("CREATE TABLE q_bcd (n NUMERIC(15,2))"),
                     QStringLiteral("INSERT INTO q_bcd VALUES (12.25)")});
        QCOMPARE(open(alias, QStringLiteral("SELECT n FROM q_bcd"))->Fields(0)->DataType(), ftFloat);
        if (alias == u"LITE") {
            auto q = open(QStringLiteral("LITEBCD"), QStringLiteral("SELECT n FROM q_bcd"));
            QVERIFY(dynamic_cast<TBCDField *>(q->Fields(0)));
            QCOMPARE(q->Fields(0)->AsFloat(), 12.25);
        }
    }

    void textDatesOfSqlite()
    {
        // SQLite keeps dates as text; declared DATE / DATETIME columns read
        // them as dates, and a text that is no date stays readable as text.
        exec(QStringLiteral("LITE"), {QStringLiteral("DROP TABLE IF EXISTS q_dates"),
                                      QStringLiteral("CREATE TABLE q_dates (d DATE, dt DATETIME, v VARCHAR)"),
                                      QStringLiteral("INSERT INTO q_dates VALUES ('2023-12-31', '2023-12-31T23:59:58', 'x')"),
                                      QStringLiteral("INSERT INTO q_dates VALUES ('не дата', '2023-01-02 03:04', NULL)")});
        auto q = open(QStringLiteral("LITE"), QStringLiteral("SELECT d, dt, v FROM q_dates"));
        QCOMPARE(q->Fields(0)->AsDateTime(), EncodeDate(2023, 12, 31));
        QCOMPARE(q->Fields(1)->AsDateTime(), EncodeDate(2023, 12, 31) + EncodeTime(23, 59, 58, 0));
        QCOMPARE(q->Fields(2)->Size(), 255);
        q->Next();
        QCOMPARE(q->Fields(0)->AsString(), QStringLiteral("не дата"));
        QVERIFY_THROWS_EXCEPTION(EConvertError, q->Fields(0)->AsDateTime());
        QCOMPARE(q->Fields(1)->AsDateTime(), EncodeDate(2023, 1, 2) + EncodeTime(3, 4, 0, 0));
    }

    void parameters_data() { engineRows(); }
    void parameters()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        makePeople(alias, 20);
        TQuery q;
        q.SetDatabaseName(alias);
        q.SetSQLText(QStringLiteral("SELECT name, ':Skip' AS lit /* :NotThis */ FROM q_people\r\n"
                                    "WHERE id = :ID AND name <> :Name -- :Nor\r\n"
                                    "  AND city = :City AND name <> :Name"));
        QCOMPARE(q.ParamCount(), 3);
        q.ParamByName("id").SetAsInteger(5);
        q.ParamByName("NAME").SetAsString(QStringLiteral("O'Brien"));   // a quote in the value
        q.ParamByName("City").SetAsString(QStringLiteral("Москва"));
        q.Open();
        QCOMPARE(q.FieldByName("name")->AsString(), QStringLiteral("Person 5"));
        QCOMPARE(q.FieldByName("lit")->AsString(), QStringLiteral(":Skip"));

        // a parameter without a value is an engine error naming it
        q.Close();
        q.SetSQLText(QStringLiteral("SELECT name FROM q_people WHERE id = :ID AND city = :Town"));
        QCOMPARE(q.ParamByName("ID").AsInteger(), 5);   // kept across the new text
        try {
            q.Open();
            QFAIL("opened without a value for Town");
        } catch (const EDBEngineError &e) {
            QCOMPARE(e.Errors().first().ErrorCode, DBErrorCode::NoParamValue);
            QVERIFY(e.Message().contains(QStringLiteral("Town")));
        }
        QVERIFY(!q.Active());
        QUARN_EXPECT_ERROR(q.ParamByName("Nope"), "Параметр 'Nope' не найден");

        // NULL is a value
        q.ParamByName("Town").Clear();
        q.Open();
        QVERIFY(q.IsEmpty());

        // a date parameter against a date column
        exec(alias, {QStringLiteral("DROP TABLE IF EXISTS q_pd"), QStringLiteral("CREATE TABLE q_pd (d DATE)"),
                     QStringLiteral("INSERT INTO q_pd VALUES ('2024-02-29')")});
        TQuery d;
        d.SetDatabaseName(alias);
        d.SetSQLText(QStringLiteral("SELECT COUNT(*) FROM q_pd WHERE d = :D"));
        d.ParamByName("D").SetAsDate(EncodeDate(2024, 2, 29));
        d.Open();
        QCOMPARE(d.Fields(0)->AsInteger(), 1);

        if (isPg(alias)) {
            // a cast is not a parameter
            q.SetSQLText(QStringLiteral("SELECT id::text AS t FROM q_people WHERE id = :ID"));
            QCOMPARE(q.ParamCount(), 1);
            q.ParamByName("ID").SetAsInteger(3);
            q.Open();
            QCOMPARE(q.Fields(0)->AsString(), QStringLiteral("3"));
        }
        // without parameter checking the text goes out as written: the
        // engine itself meets :x and refuses it (not our missing-value error)
        q.SetParamCheck(false);
        q.SetSQLText(QStringLiteral("SELECT coalesce(:x, 'none')"));
        QCOMPARE(q.ParamCount(), 0);
        try {
            q.Open();
            QFAIL("the engine took an unbound :x");
        } catch (const EDBEngineError &e) {
            QVERIFY(e.Errors().first().ErrorCode != DBErrorCode::NoParamValue);
        }
    }

    void masterDataSourceFillsParameters_data() { engineRows(); }
    void masterDataSourceFillsParameters()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        makePeople(alias, 5);
        auto master = open(alias, QStringLiteral("SELECT id FROM q_people ORDER BY id"));
        master->MoveBy(2);
        TDataSource ds(master.get());
        TQuery detail;
        detail.SetDatabaseName(alias);
        detail.SetSQLText(QStringLiteral("SELECT name FROM q_people WHERE id = :id"));
        detail.SetDataSource(&ds);
        detail.Open();
        QCOMPARE(detail.Fields(0)->AsString(), QStringLiteral("Person 3"));
    }

    void navigationAndBookmarks_data() { engineRows(); }
    void navigationAndBookmarks()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        makePeople(alias, 50);
        auto q = open(alias, QStringLiteral("SELECT id, name FROM q_people ORDER BY id"), true);
        TField *id = q->FieldByName("id");
        QVERIFY(q->Bof());
        QVERIFY(!q->Eof());
        QCOMPARE(id->AsInteger(), 1);
        q->Prior();
        QVERIFY(q->Bof());
        QCOMPARE(id->AsInteger(), 1);
        QCOMPARE(q->MoveBy(9), 9);
        QCOMPARE(q->RecNo(), 10);
        TBookmark b = q->GetBookmark();
        q->Last();
        QVERIFY(q->Eof());
        QCOMPARE(id->AsInteger(), 50);
        q->Next();
        QVERIFY(q->Eof());
        QCOMPARE(id->AsInteger(), 50);
        q->GotoBookmark(b);
        QCOMPARE(id->AsInteger(), 10);
        QVERIFY(!q->Eof());
        q->Prior();
        QCOMPARE(id->AsInteger(), 9);
        q->First();
        QCOMPARE(id->AsInteger(), 1);
        QCOMPARE(q->RecordCount(), 50);

        // a bookmark of a deleted record is no longer valid; one of an
        // inserted record is
        q->GotoBookmark(b);
        q->Delete();
        QCOMPARE(id->AsInteger(), 11);
        QVERIFY(!q->BookmarkValid(b));
        QVERIFY_THROWS_EXCEPTION(Exception, q->GotoBookmark(b));
        q->Insert();
        q->FieldByName("name")->SetAsString(QStringLiteral("Вставка"));
        q->Post();
        TBookmark inserted = q->GetBookmark();
        q->First();
        q->GotoBookmark(inserted);
        QCOMPARE(q->FieldByName("name")->AsString(), QStringLiteral("Вставка"));
        QCOMPARE(q->RecNo(), 10);
        q->FreeBookmark(b);
        QVERIFY(!b.IsValid());
    }

    void readsOnDemand_data() { engineRows(); }
    void readsOnDemand()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        makePeople(alias, 3000);
        auto q = open(alias, QStringLiteral("SELECT * FROM q_people ORDER BY id"));
        QVERIFY2(q->FetchedCount() <= 1000, qPrintable(QString::number(q->FetchedCount())));
        QVERIFY(q->FetchUpTo(100) >= 100 && q->FetchedCount() < 3000);
        q->MoveTo(1499);
        QCOMPARE(q->FieldByName("id")->AsInteger(), 1500);
        QVERIFY(q->FetchedCount() < 3000);
        QCOMPARE(q->RowValue(99, q->FieldByName("id")).toLongLong(), 100);
        q->Last();
        QCOMPARE(q->FetchedCount(), 3000);

        // one-directional: only forward, one row held
        TQuery u;
        u.SetDatabaseName(alias);
        u.SetUniDirectional(true);
        u.SetSQLText(QStringLiteral("SELECT id FROM q_people ORDER BY id"));
        u.Open();
        u.First();   // allowed before the first move
        qint64 sum = 0;
        int n = 0;
        while (!u.Eof()) {
            sum += u.Fields(0)->AsInteger();
            ++n;
            QVERIFY(u.FetchedCount() <= 1);
            u.Next();
        }
        QCOMPARE(n, 3000);
        QCOMPARE(sum, qint64(3000) * 3001 / 2);
        QCOMPARE(u.Fields(0)->AsInteger(), 3000);   // the last record stays current at the end
        QCOMPARE(u.RecNo(), 3000);
        QVERIFY_THROWS_EXCEPTION(Exception, u.Prior());
        QVERIFY_THROWS_EXCEPTION(Exception, u.First());

        // another statement may run between the rows of a walk (a report
        // runs queries per record)
        TQuery walk;
        walk.SetDatabaseName(alias);
        walk.SetUniDirectional(true);
        walk.SetSQLText(QStringLiteral("SELECT id FROM q_people WHERE id <= 1500 ORDER BY id"));
        walk.Open();
        int walked = 0;
        while (!walk.Eof()) {
            if (walked % 700 == 0)
                QCOMPARE(scalar(alias, QStringLiteral("SELECT COUNT(*) FROM q_people")), QStringLiteral("3000"));
            ++walked;
            walk.Next();
        }
        QCOMPARE(walked, 1500);
    }

    void dataSourcesAndDisableControls_data() { engineRows(); }
    void dataSourcesAndDisableControls()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        makePeople(alias, 10);
        auto q = open(alias, QStringLiteral("SELECT id, name FROM q_people ORDER BY id"), true);
        TDataSource ds(q.get());
        QList<TDataEvent> events;
        int states = 0;
        const int link = ds.AddLink([&](TDataEvent e, TField *) { events.append(e); });
        ds.OnStateChange = [&] { ++states; };
        q->Next();
        QCOMPARE(events, QList<TDataEvent>{deDataSetScroll});
        events.clear();

        q->DisableControls();
        q->DisableControls();
        q->Next();
        q->Edit();
        q->FieldByName("name")->SetAsString(QStringLiteral("X"));
        q->Post();
        q->EnableControls();
        QVERIFY(events.isEmpty());   // still disabled once
        QVERIFY(q->ControlsDisabled());
        q->EnableControls();
        QCOMPARE(events, QList<TDataEvent>{deDataSetChange});
        QCOMPARE(states, 0);

        events.clear();
        q->Edit();
        QCOMPARE(states, 1);
        QCOMPARE(ds.State(), dsEdit);
        q->FieldByName("name")->SetAsString(QStringLiteral("Y"));
        QVERIFY(events.contains(deFieldChange));
        q->Cancel();
        QCOMPARE(states, 2);
        QCOMPARE(q->FieldByName("name")->AsString(), QStringLiteral("X"));

        // a field's new look is a layout change, with the field
        TField *changed = nullptr;
        const int layout = ds.AddLink([&](TDataEvent e, TField *f) { if (e == deLayoutChange) changed = f; });
        q->FieldByName("name")->SetDisplayWidth(25);
        QCOMPARE(changed, q->FieldByName("name"));
        QCOMPARE(q->FieldByName("name")->DisplayWidth(), 25);
        ds.RemoveLink(layout);

        ds.RemoveLink(link);
        events.clear();
        q->Next();
        QVERIFY(events.isEmpty());

        // a data source outliving its dataset forgets it
        q.reset();
        QCOMPARE(ds.DataSet(), nullptr);
        QCOMPARE(ds.State(), dsInactive);
    }

    void liveEditingByKey_data() { engineRows(); }
    void liveEditingByKey()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        makePeople(alias, 5);
        auto q = open(alias, QStringLiteral("SELECT id, name, city, amount, amount * 2 AS twice "
                                            "FROM q_people WHERE id > 0 ORDER BY id"), true);
        QVERIFY(q->CanModify());
        QCOMPARE(q->KeyFields(), QStringList{QStringLiteral("id")});
        QVERIFY(q->FieldByName("twice")->ReadOnly());
        QVERIFY(!q->FieldByName("name")->ReadOnly());
        QCOMPARE(q->FieldByName("id")->DataType(), ftAutoInc);

        q->MoveBy(1);
        q->Edit();
        q->FieldByName("name")->SetAsString(QStringLiteral("Петров"));
        q->FieldByName("amount")->SetAsFloat(99.5);
        q->Post();
        QCOMPARE(scalar(alias, QStringLiteral("SELECT name FROM q_people WHERE id = 2")), QStringLiteral("Петров"));
        QCOMPARE(scalar(alias, QStringLiteral("SELECT COUNT(*) FROM q_people WHERE name = 'Петров'")), QStringLiteral("1"));
        QCOMPARE(q->FieldByName("twice")->AsFloat(), 40.0);   // computed columns are not re-read

        q->Append();
        q->FieldByName("name")->SetAsString(QStringLiteral("Новый"));
        q->Post();
        const qint64 newId = q->FieldByName("id")->AsInteger();
        QCOMPARE(newId, 6);   // the engine's key comes back into the record
        QCOMPARE(scalar(alias, QStringLiteral("SELECT name FROM q_people WHERE id = 6")), QStringLiteral("Новый"));

        q->First();
        q->Delete();
        QCOMPARE(scalar(alias, QStringLiteral("SELECT COUNT(*) FROM q_people")), QStringLiteral("5"));
        QCOMPARE(q->FieldByName("id")->AsInteger(), 2);

        // a required field left empty is refused before the engine is asked
        q->Append();
        q->FieldByName("city")->SetAsString(QStringLiteral("Омск"));
        QUARN_EXPECT_ERROR(q->Post(), "Поле 'name' должно иметь значение");
        q->Cancel();

        // a record deleted behind the dataset's back
        exec(alias, {QStringLiteral("DELETE FROM q_people WHERE id = 2")});
        q->First();
        q->Edit();
        q->FieldByName("city")->SetAsString(QStringLiteral("Казань"));
        try {
            q->Post();
            QFAIL("posted a record that is gone");
        } catch (const EDBEngineError &e) {
            QCOMPARE(e.Errors().first().ErrorCode, DBErrorCode::RecordNotFound);
        }
        q->Cancel();

        // without a live request, or over a join, the result is read-only
        auto ro = open(alias, QStringLiteral("SELECT * FROM q_people"));
        QVERIFY(!ro->CanModify());
        QVERIFY_THROWS_EXCEPTION(Exception, ro->Edit());
        auto join = open(alias, QStringLiteral("SELECT a.id, b.name FROM q_people a JOIN q_people b ON a.id = b.id"), true);
        QVERIFY(!join->CanModify());

        // a table without a primary key: SQLite finds rows by rowid, so
        // twin rows are changed one at a time; PostgreSQL cannot find them
        exec(alias, {QStringLiteral("DROP TABLE IF EXISTS q_nokey"), QStringLiteral("CREATE TABLE q_nokey (v INTEGER)"),
                     QStringLiteral("INSERT INTO q_nokey VALUES (1)"), QStringLiteral("INSERT INTO q_nokey VALUES (1)")});
        auto nk = open(alias, QStringLiteral("SELECT * FROM q_nokey"), true);
        QCOMPARE(nk->FieldCount(), 1);
        if (isPg(alias)) {
            QVERIFY(!nk->CanModify());
        } else {
            QVERIFY(nk->CanModify());
            nk->Edit();
            nk->Fields(0)->SetAsInteger(2);
            nk->Post();
            QCOMPARE(scalar(alias, QStringLiteral("SELECT SUM(v) FROM q_nokey")), QStringLiteral("3"));
        }
    }

    void emptyAndMissing_data() { engineRows(); }
    void emptyAndMissing()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        makePeople(alias, 0);
        auto q = open(alias, QStringLiteral("SELECT * FROM q_people"), true);
        QVERIFY(q->IsEmpty());
        QVERIFY(q->Eof() && q->Bof());
        QCOMPARE(q->RecNo(), 0);
        QUARN_EXPECT_ERROR(q->Delete(), "Невозможно выполнить эту операцию на пустом наборе данных");
        QUARN_EXPECT_ERROR(q->FieldByName("nosuch"), "Q1: Поле 'nosuch' не найдено");
        QCOMPARE(q->FindField("nosuch"), nullptr);
        QCOMPARE(q->FindField("NAME"), q->FieldByName("name"));   // by name, any case
    }

    void refreshKeepsRecord_data() { engineRows(); }
    void refreshKeepsRecord()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        makePeople(alias, 20);
        auto q = open(alias, QStringLiteral("SELECT id, name FROM q_people ORDER BY name"), true);
        q->FieldByName("name")->SetDisplayLabel(QStringLiteral("Имя"));
        while (q->FieldByName("id")->AsInteger() != 7)
            q->Next();
        exec(alias, {QStringLiteral("INSERT INTO q_people (name) VALUES ('AAA')"),
                     QStringLiteral("UPDATE q_people SET name = 'Person 7 (changed)' WHERE id = 7")});
        q->Refresh();
        QCOMPARE(q->FieldByName("id")->AsInteger(), 7);
        QCOMPARE(q->FieldByName("name")->AsString(), QStringLiteral("Person 7 (changed)"));
        QCOMPARE(q->FieldByName("name")->DisplayLabel(), QStringLiteral("Имя"));
        q->First();
        QCOMPARE(q->FieldByName("name")->AsString(), QStringLiteral("AAA"));
    }

    void statementsWithoutRows_data() { engineRows(); }
    void statementsWithoutRows()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        makePeople(alias, 10);
        TQuery q;
        q.SetDatabaseName(alias);
        q.SetSQLText(QStringLiteral("UPDATE q_people SET city = 'Псков' WHERE id <= 3"));
        QVERIFY_THROWS_EXCEPTION(ENoResultSet, q.Open());
        QCOMPARE(q.RowsAffected(), 3);
        QVERIFY(!q.Active());
        QCOMPARE(scalar(alias, QStringLiteral("SELECT COUNT(*) FROM q_people WHERE city = 'Псков'")), QStringLiteral("3"));
        q.SetSQLText(QStringLiteral("DELETE FROM q_people WHERE id > 8"));
        q.ExecSQL();
        QCOMPARE(q.RowsAffected(), 2);
        q.SetSQLText(QStringLiteral("CREATE TABLE q_tmp (a INTEGER)"));
        q.ExecSQL();
        QCOMPARE(q.RowsAffected(), -1);   // the engine does not count DDL
        q.SetSQLText(QStringLiteral("DROP TABLE q_tmp"));
        QVERIFY_THROWS_EXCEPTION(ENoResultSet, q.Open());
        QCOMPARE(q.RowsAffected(), -1);
    }

    void engineErrors_data() { engineRows(); }
    void engineErrors()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        makePeople(alias, 3);
        TQuery q;
        q.SetDatabaseName(alias);
        auto expect = [&](const QString &sql, int code, const QString &text) {
            q.SetSQLText(sql);
            try {
                q.Open();
                QFAIL(qPrintable(QStringLiteral("no error from ") + sql));
            } catch (const EDBEngineError &e) {
                QVERIFY(e.ErrorCount() >= 1);
                const TDBError &first = e.Errors().first();
                QVERIFY2(first.ErrorCode == code, qPrintable(QStringLiteral("%1: code %2").arg(e.Message()).arg(first.ErrorCode, 0, 16)));
                QCOMPARE(e.Message(), first.Message);
                // a common error says what it means in Russian first, the
                // engine's own text under it
                const QString russian = DBErrorText(code);
                if (!russian.isEmpty())
                    QVERIFY2(first.Message.startsWith(russian), qPrintable(first.Message));
                const TDBError &engine = russian.isEmpty() ? first : e.Errors().value(1);
                QVERIFY2(engine.Message.contains(text, Qt::CaseInsensitive), qPrintable(engine.Message));
                QVERIFY(first.NativeError != 0 && engine.NativeError == first.NativeError);
            }
        };
        expect(QStringLiteral("SELEC * FROM q_people"), DBErrorCode::SyntaxError, QStringLiteral("syntax error"));
        expect(QStringLiteral("SELECT * FROM q_nosuch"), DBErrorCode::ObjectMissing, QStringLiteral("q_nosuch"));
        expect(QStringLiteral("INSERT INTO q_people (id, name) VALUES (1, 'dup')"), DBErrorCode::UniqueKey,
               isPg(alias) ? QStringLiteral("duplicate key") : QStringLiteral("UNIQUE constraint failed"));
        expect(QStringLiteral("INSERT INTO q_people (city) VALUES ('x')"), DBErrorCode::RequiredValue,
               isPg(alias) ? QStringLiteral("null value") : QStringLiteral("NOT NULL constraint failed"));
        // the session still works after every failure
        QCOMPARE(scalar(alias, QStringLiteral("SELECT COUNT(*) FROM q_people")), QStringLiteral("3"));
    }

    void failureHalfWayThroughRows_data() { engineRows(); }
    void failureHalfWayThroughRows()
    {
        // a row the engine cannot compute, far into the result: reading
        // stops with the engine's error instead of a silently short result
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        makePeople(alias, 3000);
        const QString failing = isPg(alias) ? QStringLiteral("1 / (id - id)") : QStringLiteral("json('not json')");
        auto other = open(alias, QStringLiteral("SELECT id FROM q_people ORDER BY id"));
        TQuery q;
        q.SetDatabaseName(alias);
        q.SetSQLText(QStringLiteral("SELECT id, CASE WHEN id > 2500 THEN %1 ELSE 0 END AS v FROM q_people ORDER BY id").arg(failing));
        q.Open();
        int seen = 0;
        try {
            while (!q.Eof()) {
                ++seen;
                q.Next();
            }
            QFAIL("read past a failing row");
        } catch (const EDBEngineError &e) {
            QVERIFY2(e.Message().contains(isPg(alias) ? QStringLiteral("division by zero") : QStringLiteral("JSON"),
                                          Qt::CaseInsensitive), qPrintable(e.Message()));
        }
        // PostgreSQL computes a grid's held result whole once its first
        // rows are shown, so the error comes with the next rows read
        QVERIFY2(seen >= (isPg(alias) ? 1 : 2500) && seen <= 2500, qPrintable(QString::number(seen)));
        q.Close();
        // what was read stays; new reads work
        QCOMPARE(other->FieldByName("id")->AsInteger(), 1);
        QCOMPARE(scalar(alias, QStringLiteral("SELECT COUNT(*) FROM q_people")), QStringLiteral("3000"));
    }

    void transactions_data() { engineRows(); }
    void transactions()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        makePeople(alias, 3);
        TDatabase *db = Session().OpenDatabase(alias);
        TQuery q;
        q.SetDatabaseName(alias);
        q.SetImplicitTransaction(true);
        auto run = [&](const QString &sql) {
            q.SetSQLText(sql);
            q.ExecSQL();
        };
        auto count = [&] { return scalar(alias, QStringLiteral("SELECT COUNT(*) FROM q_people")); };

        run(QStringLiteral("COMMIT"));   // nothing open: harmless
        QVERIFY(!db->InTransaction());
        run(QStringLiteral("INSERT INTO q_people (name) VALUES ('t1')"));
        QVERIFY(db->InTransaction());
        QCOMPARE(count(), QStringLiteral("4"));
        run(QStringLiteral("ROLLBACK"));
        QVERIFY(!db->InTransaction());
        QCOMPARE(count(), QStringLiteral("3"));

        // the editor opens what the user typed: a statement without rows
        // runs (in the implicit transaction) and is told apart by ENoResultSet
        q.SetSQLText(QStringLiteral("INSERT INTO q_people (name) VALUES ('t2')"));
        QVERIFY_THROWS_EXCEPTION(ENoResultSet, q.Open());
        QCOMPARE(q.RowsAffected(), 1);
        QVERIFY(db->InTransaction());
        q.SetSQLText(QStringLiteral("ROLLBACK"));
        QVERIFY_THROWS_EXCEPTION(ENoResultSet, q.Open());
        QVERIFY(!db->InTransaction());
        QCOMPARE(count(), QStringLiteral("3"));

        run(QStringLiteral("INSERT INTO q_people (name) VALUES ('t2')"));
        // a failing statement inside the transaction keeps what came before
        q.SetSQLText(QStringLiteral("INSERT INTO q_people (id, name) VALUES (1, 'dup')"));
        QVERIFY_THROWS_EXCEPTION(EDBEngineError, q.ExecSQL());
        QVERIFY(db->InTransaction());
        run(QStringLiteral("commit;"));
        QVERIFY(!db->InTransaction());
        run(QStringLiteral("ROLLBACK"));   // nothing open: harmless
        db->Close();
        db->Open();
        QCOMPARE(count(), QStringLiteral("4"));

        // a SELECT opens no transaction; closing with one open asks, and the
        // non-interactive answer No rolls it back
        q.SetSQLText(QStringLiteral("SELECT * FROM q_people"));
        q.Open();
        QVERIFY(!db->InTransaction());
        q.Close();
        run(QStringLiteral("DELETE FROM q_people"));
        db->Close();
        QVERIFY(!q.Active());
        db->Open();
        QCOMPARE(count(), QStringLiteral("4"));

        // explicit transactions of the database object
        db->StartTransaction();
        exec(alias, {QStringLiteral("DELETE FROM q_people WHERE id = 1")});
        db->Rollback();
        QCOMPARE(count(), QStringLiteral("4"));
        db->Commit();   // none open: harmless
    }

    void rollbackWhileAnotherQueryReads_data() { engineRows(); }
    void rollbackWhileAnotherQueryReads()
    {
        // a grid still reading its rows when another window rolls back
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        makePeople(alias, 3000);
        auto grid = open(alias, QStringLiteral("SELECT id FROM q_people ORDER BY id"));
        TQuery editor;
        editor.SetDatabaseName(alias);
        editor.SetImplicitTransaction(true);
        editor.SetSQLText(QStringLiteral("DELETE FROM q_people WHERE id > 10"));
        editor.ExecSQL();
        QCOMPARE(editor.RowsAffected(), 2990);
        editor.SetSQLText(QStringLiteral("ROLLBACK"));
        editor.ExecSQL();
        grid->Last();
        QCOMPARE(grid->FieldByName("id")->AsInteger(), 3000);
        QCOMPARE(grid->RecordCount(), 3000);
        // and one opened inside the transaction, read on after its end
        editor.SetSQLText(QStringLiteral("DELETE FROM q_people WHERE id > 2000"));
        editor.ExecSQL();
        auto inside = open(alias, QStringLiteral("SELECT id FROM q_people ORDER BY id"));
        editor.SetSQLText(QStringLiteral("COMMIT"));
        editor.ExecSQL();
        inside->Last();
        QCOMPARE(inside->FieldByName("id")->AsInteger(), 2000);
    }

    void cachedUpdates_data() { engineRows(); }
    void cachedUpdates()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        makePeople(alias, 4);
        auto q = open(alias, QStringLiteral("SELECT id, name FROM q_people ORDER BY id"), true);
        q->SetCachedUpdates(true);
        q->Edit();
        q->FieldByName("name")->SetAsString(QStringLiteral("c1"));
        q->Post();
        q->Next();
        q->Delete();
        q->Append();
        q->FieldByName("name")->SetAsString(QStringLiteral("c5"));
        q->Post();
        QVERIFY(q->UpdatesPending());
        QCOMPARE(q->RecordCount(), 4);
        QCOMPARE(scalar(alias, QStringLiteral("SELECT name FROM q_people WHERE id = 1")), QStringLiteral("Person 1"));
        q->ApplyUpdates();
        q->CommitUpdates();
        QVERIFY(!q->UpdatesPending());
        QCOMPARE(scalar(alias, QStringLiteral("SELECT name FROM q_people WHERE id = 1")), QStringLiteral("c1"));
        QCOMPARE(scalar(alias, QStringLiteral("SELECT COUNT(*) FROM q_people")), QStringLiteral("4"));
        QCOMPARE(scalar(alias, QStringLiteral("SELECT COUNT(*) FROM q_people WHERE name = 'c5'")), QStringLiteral("1"));

        // a failing batch writes nothing and keeps the edits
        q->First();
        q->Edit();
        q->FieldByName("name")->SetAsString(QStringLiteral("c1-again"));
        q->Post();
        q->Append();
        q->FieldByName("id")->SetAsInteger(3);   // taken
        q->FieldByName("name")->SetAsString(QStringLiteral("dup"));
        q->Post();
        QVERIFY_THROWS_EXCEPTION(EDBEngineError, q->ApplyUpdates());
        QVERIFY(q->UpdatesPending());
        QCOMPARE(scalar(alias, QStringLiteral("SELECT name FROM q_people WHERE id = 1")), QStringLiteral("c1"));
        q->CancelUpdates();
        QVERIFY(!q->UpdatesPending());
        QCOMPARE(q->RecordCount(), 4);
    }

    void tables_data() { engineRows(); }
    void tables()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        makePeople(alias, 3);
        TTable t;
        t.SetDatabaseName(alias);
        t.SetTableName(QStringLiteral("q_people"));
        t.Open();
        QVERIFY(t.CanModify());
        t.AppendRecord({QVariant(), QStringLiteral("Добавлен"), QStringLiteral("Уфа"), 5.5});
        QCOMPARE(scalar(alias, QStringLiteral("SELECT city FROM q_people WHERE name = 'Добавлен'")), QStringLiteral("Уфа"));
        t.EmptyTable();
        QVERIFY(t.IsEmpty());
        QCOMPARE(scalar(alias, QStringLiteral("SELECT COUNT(*) FROM q_people")), QStringLiteral("0"));
    }

    void storedProcedures_data() { engineRows(); }
    void storedProcedures()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TStoredProc p;
        p.SetDatabaseName(alias);
        p.SetStoredProcName(QStringLiteral("q_double"));
        if (!isPg(alias)) {
            try {
                p.ExecProc();
                QFAIL("SQLite ran a stored procedure");
            } catch (const EDBEngineError &e) {
                QCOMPARE(e.Errors().first().ErrorCode, DBErrorCode::NotSupported);
            }
            return;
        }
        exec(alias, {QStringLiteral("CREATE OR REPLACE FUNCTION q_double(x integer) RETURNS integer "
                                    "LANGUAGE sql AS 'SELECT x * 2'"),
                     QStringLiteral("CREATE OR REPLACE PROCEDURE q_split(IN total numeric, INOUT half numeric, "
                                    "INOUT rest numeric) LANGUAGE plpgsql AS "
                                    "$$ BEGIN half := total / 2; rest := total - half; END $$")});
        p.ParamByName("x").SetAsInteger(21);
        p.ExecProc();
        QCOMPARE(p.ParamByName("Result").AsInteger(), 42);
        TStoredProc s;
        s.SetDatabaseName(alias);
        s.SetStoredProcName(QStringLiteral("q_split"));
        s.Prepare();
        QCOMPARE(s.ParamCount(), 3);
        s.ParamByName("total").SetAsFloat(9);
        s.ExecProc();
        QCOMPARE(s.ParamByName("half").AsFloat(), 4.5);
        QCOMPARE(s.ParamByName("rest").AsFloat(), 4.5);
    }
};

QUARN_TEST_MAIN(QueryTest)
#include "QueryTest.moc"
