// The search, the marked-rows filter and the query builder on real queries
// of SQLite and PostgreSQL.
#include "GridTestSupport.h"

#include "grid/GridConditions.h"
#include "grid/SearchSql.h"

#include <QRegularExpression>

using namespace GridTest;

namespace {

// The blocks of an SQL text as "NAME: condition", in the text's order.
QStringList blocks(const QString &sql)
{
    static const QRegularExpression re("/\\*Begin for (\\w+)\\*/\\r\\n(.*?)\\r\\n/\\*End for \\1\\*/",
                                       QRegularExpression::DotMatchesEverythingOption);
    QStringList out;
    for (auto it = re.globalMatch(sql); it.hasNext();) {
        const auto m = it.next();
        out << m.captured(1) + ": " + m.captured(2);
    }
    return out;
}

const QString year = QString::number(QDate::currentDate().year());
const QStringList all{"1", "2", "3", "4", "5"};

// g_items; the line break before ORDER BY lets a cleared search give the
// very text back (the rewriter puts a condition on a line of its own).
std::unique_ptr<TQuery> items(const QString &alias)
{
    return openQuery(alias, "SELECT id, name, code, price, sold, stamp, note FROM g_items\r\nORDER BY id");
}

} // namespace

class GridSqlTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        setUpEngines("quarn_grid_sql");
        const QString march12 = year + "-03-12";
        for (const QString &alias : engines)
            if (usable(alias))
                DataTest::exec(alias, {DataTest::ddl(alias, "CREATE TABLE g_items (id INTEGER PRIMARY KEY, "
                                       "name VARCHAR(40), code INTEGER, price NUMERIC(10,2), sold DATE, "
                                       "stamp %TS%, note " + QString(DataTest::isPg(alias) ? "XML" : "CLOB") + ")"),
                                       "INSERT INTO g_items VALUES (1, 'IVANOV', 10, 1.50, '" + march12 + "', '"
                                       + march12 + " 00:00:00', 'a'), (2, 'IVASHIN', 20, 2.50, '2024-02-01', "
                                       "'2024-02-01 10:30:00', 'b'), (3, 'PETROV', 30, -3, '1950-02-01', NULL, 'c'), "
                                       "(4, 'O''HARA \"J\"', 40, 0, NULL, NULL, NULL), (5, 'X\\Y', 50, 100.25, "
                                       "'2024-12-31', NULL, 'e')",
                                       "CREATE TABLE g_canary (v INTEGER)", "INSERT INTO g_canary VALUES (1)"});
    }

    void kinds_data() { DataTest::engineRows(); }
    void kinds()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        const QString byType = "USNNNNNNNDDDUUUUUU";   // in the order of TFieldType
        for (int t = ftUnknown; t <= ftGraphic; ++t)
            QCOMPARE(SearchKindOfType(TFieldType(t)), byType[t].toLatin1());
        auto q = items(alias);
        const std::pair<const char *, char> byName[] = {
            {"name", 'S'}, {"code", 'N'}, {"price", 'N'}, {"sold", 'D'}, {"stamp", 'D'}, {"note", 'U'},
            {"g.name", 'S'}, {"x.y.name", 'U'}, {"NAME", 'U'}, {"missing", 'U'}};
        for (const auto &[name, kind] : byName)
            QVERIFY2(SearchKind(q.get(), name) == kind, name);
        q->FieldByName("code")->SetFieldKind(fkCalculated);
        q->FieldByName("name")->SetFieldKind(fkLookup);
        QCOMPARE(SearchKind(q.get(), "code"), 'U');
        QCOMPARE(SearchKind(q.get(), "name"), 'U');
        // the builder offers every field but the calculated ones
        QCOMPARE(BuilderFieldsOf(*q).labels(), QStringList({"id", "name", "price", "sold", "stamp", "note"}));
    }

    void searchText_data()
    {
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<bool>("live");
        QTest::addColumn<QStringList>("conditions");
        QTest::newRow("string prefix") << QStringList{"S=IV"} << false << QStringList{"S: S like 'IV%'"};
        QTest::newRow("number") << QStringList{"N=12.5"} << false << QStringList{"N: N = 12.5"};
        QTest::newRow("number pattern") << QStringList{"N=1,5%"} << false << QStringList{"N: N like '1,5%'"};
        QTest::newRow("typed date") << QStringList{"D=12.3"} << false << QStringList{"D: D = '12.03." + year.right(2) + "'"};
        QTest::newRow("date of a live query") << QStringList{"D=12.3"} << true << QStringList{"D: D like '12.3'"};
        QTest::newRow("no date") << QStringList{"D=31.02"} << false << QStringList{"D: D like '31.02'"};
        QTest::newRow("skipped lines") << QStringList{"U=x", "no sign", "S=^"} << false << QStringList{};
        QTest::newRow("in order") << QStringList{"N=1", "S=A", "S=B"} << false << QStringList{"S: S like 'B%'", "N: N = 1"};
        // values of table states never went through the key filter
        QTest::newRow("quote from a state") << QStringList{"S=O'H"} << false << QStringList{"S: S like 'O''H%'"};
        QTest::newRow("letters in a number") << QStringList{"N=1 OR 1=1"} << false << QStringList{"N: N = 111"};
        // arithmetic and comments are no number: matched as text, in quotes
        QTest::newRow("arithmetic in a number") << QStringList{"N=5-3"} << false << QStringList{"N: N like '5-3'"};
        QTest::newRow("comment in a number") << QStringList{"N=1--1"} << false << QStringList{"N: N like '1--1'"};
        QTest::newRow("line breaks") << QStringList{"S=a\r\n/*End for S*/\r\n"} << false
                                     << QStringList{"S: S like 'a/*End for S*/%'"};
    }
    void searchText()
    {
        QFETCH(QStringList, values);
        QFETCH(bool, live);
        QFETCH(QStringList, conditions);
        const TSearchKindOf kindOf = [](const QString &f) { return f.at(0).toLatin1(); };
        const QString sql = BuildSearchSql("SELECT * FROM T", values, nullptr, live, kindOf);
        QCOMPARE(blocks(sql), conditions);
        // the parameter form: the same blocks over ":_" parameters
        SearchByParams = true;
        TParams params;
        const QString byParams = BuildSearchSql("SELECT * FROM T", values, &params, live, kindOf);
        SearchByParams = false;
        for (const QString &b : blocks(byParams)) {
            const QString field = b.left(b.indexOf(':'));
            QVERIFY2(b.endsWith(" :_" + field), qPrintable(b));
            const TParam &p = params.ParamByName("_" + field);
            QCOMPARE(p.DataType(), b.contains(" like ") ? ftString : field == "N" ? ftFloat : ftDateTime);
            QVERIFY(conditions.join("").replace("''", "'").contains(p.AsString()));
        }
    }

    // Every kind of value on both engines: the rows found, or the server's
    // refusal (LIKE on a number or a date, which PostgreSQL does not have).
    void search_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QStringList>("found");
        for (const QString &alias : engines) {
            engineRow(alias, "string prefix") << QStringList{"name=IV"} << QStringList{"1", "2"};
            engineRow(alias, "underscore") << QStringList{"name=_V"} << QStringList{"1", "2"};
            // a quote finds itself, a double quote too
            engineRow(alias, "quote") << QStringList{"name=O'HA"} << QStringList{"4"};
            engineRow(alias, "quote and double quote") << QStringList{"name=O'HARA \"J\""} << QStringList{"4"};
            // a backslash is no escape, PostgreSQL's LIKE being told so
            engineRow(alias, "backslash") << QStringList{"name=X\\Y"} << QStringList{"5"};
            engineRow(alias, "numbers") << QStringList{"code=20", "price=2.5"} << QStringList{"2"};
            engineRow(alias, "negative") << QStringList{"price=-3"} << QStringList{"3"};
            engineRow(alias, "lone separator, lone minus") << QStringList{"price=0.", "code=-0"} << QStringList{};
            engineRow(alias, "day and month") << QStringList{"sold=12.3"} << QStringList{"1"};
            engineRow(alias, "century kept") << QStringList{"sold=1.2.1950"} << QStringList{"3"};
            engineRow(alias, "date-time at midnight") << QStringList{"stamp=12.3"} << QStringList{"1"};
            engineRow(alias, "cleared") << QStringList{"name=IV", "name=^"} << all;
            // patterns on numbers and dates match their text on every engine
            engineRow(alias, "number pattern") << QStringList{"code=1%"} << QStringList{"1"};
            engineRow(alias, "no date") << QStringList{"sold=31.02"} << QStringList{};
            engineRow(alias, "date pattern") << QStringList{"sold=%03%"} << QStringList{"1"};
        }
    }
    void search()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        QFETCH(QStringList, values);
        QFETCH(QStringList, found);
        auto q = items(alias);
        TGridConditions c;
        c.SearchValues = values;
        QStringList rows;
        if (engineRefuses([&] { ApplySearch(*q, c); rows = column(*q); })) {
            rows = QStringList{"refused"};
            QCOMPARE(q->SQLText(), items(alias)->SQLText());   // back on the old text, open
            QVERIFY(q->Active());
        }
        QCOMPARE(rows, found);
        // a locked search is kept and not applied; the values go again
        c.SearchLocked = true;
        c.SearchValues = {"name=P"};
        QVERIFY(!ApplySearch(*q, c));
        c.SearchLocked = false;
        c.SearchValues = {"name=^", "code=^", "price=^", "sold=^", "stamp=^"};
        ApplySearch(*q, c);
        QCOMPARE(q->SQLText(), items(alias)->SQLText());
    }

    void searchByParams_data() { DataTest::engineRows(); }
    void searchByParams()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        struct On { On() { SearchByParams = true; } ~On() { SearchByParams = false; } } on;
        auto q = items(alias);
        TGridConditions c;
        c.SearchValues = {"name=IV", "price=2.5", "sold=1.2.2024"};
        ApplySearch(*q, c);
        QVERIFY(q->SQLText().contains("\"sold\" = :_sold"));
        QCOMPARE(column(*q), QStringList{"2"});
    }

    // Whatever is typed or read from a table state, the statement filters
    // or is refused: the values stay inside their blocks and literals, no
    // table changes, and clearing gives the text back.
    void searchValuesOnlyFilter_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QString>("text");
        for (const QString &alias : engines)
            for (const char *attack : {"'; DROP TABLE g_canary; --", "*/ OR 1=1 /*", "%' OR '1'='1", "x\\'y",
                                       "\\\\'); DELETE FROM g_items; --", "5--1", "\r\n/*End for name*/\r\n--"})
                engineRow(alias, QString(attack).replace("\r\n", "\\r\\n")) << QString(attack);
    }
    void searchValuesOnlyFilter()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        QFETCH(QString, text);
        auto q = items(alias);
        const QString original = q->SQLText();
        TGridConditions typed, raw;
        for (const QString field : {"name", "code", "price", "sold", "stamp"}) {
            QString value;
            for (QChar k : text)
                ApplySearchKey(value, k, SearchKind(q.get(), field));
            typed.SetSearchValue(field, value);
            raw.SetSearchValue(field, text);
        }
        for (TGridConditions *c : {&typed, &raw}) {
            if (!engineRefuses([&] { ApplySearch(*q, *c); }))
                QVERIFY(column(*q).size() <= 1);
            QCOMPARE(column(alias, "SELECT COUNT(*) FROM g_items"), QStringList{"5"});
            QCOMPARE(column(alias, "SELECT v FROM g_canary"), QStringList{"1"});
            const QStringList conditions = blocks(q->SQLText());
            QCOMPARE(q->SQLText().count("\r\n/*End for "), conditions.size());
            // each value stays in one literal: the block holds no word but
            // the column's and the comparison's
            for (const QString &b : conditions) {
                const QString field = b.left(b.indexOf(':')).toUpper();
                for (const QString &w : SqlWords(b.mid(b.indexOf(':') + 1), isPg(alias) ? TSqlDialect::Postgres : TSqlDialect::Sqlite))
                    QVERIFY2(w == field || w == "LIKE" || w == "CAST" || w == "AS" || w == "TEXT" || w == "ESCAPE",
                             qPrintable(b));
                QCOMPARE(b.count('\'') % 2, 0);
            }
            for (QString &line : c->SearchValues)
                line = line.left(line.indexOf('=') + 1) + "^";
            ApplySearch(*q, *c);
            QCOMPARE(q->SQLText(), original);
        }
    }

    void replaceQuerySql_data() { DataTest::engineRows(); }
    void replaceQuerySql()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        const QString original = "SELECT id FROM g_items WHERE code >= :mincode ORDER BY id";
        TQuery q;
        q.SetDatabaseName(alias);
        q.SetSQLText(original);
        q.ParamByName("mincode").SetAsInteger(30);
        q.Open();
        TDataSource source(&q);
        QList<TDataEvent> events;
        source.AddLink([&](TDataEvent e, TField *) { events << e; });
        const QString searched = original + " LIMIT 2";
        ReplaceQuerySql(q, searched, false, nullptr, true);   // the value is kept by name
        QCOMPARE(events, QList<TDataEvent>{deDataSetChange});  // the controls hear once
        QCOMPARE(column(q), QStringList({"3", "4"}));
        TParams set;
        set.CreateParam(ftInteger, "MINCODE").SetAsInteger(40);
        ReplaceQuerySql(q, searched, false, &set, true);      // from the set; reopened though the same
        QCOMPARE(column(q), QStringList({"4", "5"}));
        ReplaceQuerySql(q, QString(), false, nullptr, true);  // nothing: an empty text,
        ReplaceQuerySql(q, searched, false, nullptr, false);  // the same text without reopening
        QVERIFY(q.Active());
        q.Close();
        ReplaceQuerySql(q, original, true, nullptr, true);    // a closed query with only-if-open
        QVERIFY(!q.Active());
        QCOMPARE(q.SQLText(), searched);
        QVERIFY(engineRefuses([&] { ReplaceQuerySql(q, "SELECT id FROM g_items WHERE", false, nullptr, true); }));
        QVERIFY(!q.ControlsDisabled());
    }

    void markedRows_data() { DataTest::engineRows(); }
    void markedRows()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        auto q = items(alias);
        const QString original = q->SQLText();
        int opened = 0;
        q->AfterOpen = [&](TDataSet &) { ++opened; };
        TGridConditions c;
        QVERIFY(!ToggleMarkedFilter(*q, c));   // no marks, no filter: not even a reopen
        QCOMPARE(opened, 0);
        q->First();
        c.ChoiceList = {"name=PETROV", "code=20", "sold=" + q->FieldByName("sold")->DisplayText(), "note=a"};
        QVERIFY(ToggleMarkedFilter(*q, c));
        QCOMPARE(column(*q), QStringList({"1", "2", "3"}));
        QCOMPARE(c.AppliedChoice, QStringList({"(\"name\" = 'PETROV' OR", "\"code\" = 20 OR", "\"sold\" = '" + year + "-03-12')"}));
        QVERIFY(ToggleMarkedFilter(*q, c));
        QCOMPARE(q->SQLText(), original);
        QVERIFY(c.AppliedChoice.isEmpty());
        // inverted: row 4 has no date, and NOT of an unknown comparison is
        // unknown in SQL, so only row 5 is left
        c.ChoiceInvert = true;
        QVERIFY(ToggleMarkedFilter(*q, c));
        QCOMPARE(column(*q), QStringList{"5"});
        q->Close();
        QVERIFY(!ToggleMarkedFilter(*q, c));
    }

    // The builder's rows on both engines: the lines of its block and the
    // rows found.
    void builder_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("lines");
        QTest::addColumn<QStringList>("found");
        const bool afterMarch12 = QDate::currentDate() > QDate(QDate::currentDate().year(), 3, 12);
        for (const QString &alias : engines) {
            // columns in the engine's quotes; PostgreSQL's LIKE told that a
            // backslash is no escape
            const QString escape = isPg(alias) ? " ESCAPE ''" : "";
            engineRow(alias, "two groups; incomplete row and trailing separator dropped")
                << QStringList{"Код = 10", "Цена = 1.5", "-- ИЛИ --", "Код = 30", "Продано", "-- ИЛИ --"}
                << "(|((\"code\" = 10) AND|(\"price\" = 1.5)) OR|((\"code\" = 30))|)" << QStringList{"1", "3"};
            engineRow(alias, "raw value") << QStringList{"Продано < @CURRENT_DATE"} << "(|((\"sold\" < CURRENT_DATE))|)"
                                          << (afterMarch12 ? QStringList{"1", "2", "3", "5"} : QStringList{"2", "3", "5"});
            engineRow(alias, "dates in the database's spelling")
                << QStringList{"Продано в списке ('01.02.2024', '31.12.2024')"}
                << "(|((\"sold\" IN ('2024-02-01','2024-12-31')))|)" << QStringList{"2", "5"};
            engineRow(alias, "field with field, empty") << QStringList{"Цена < Код", "Продано не пустое "}
                << "(|((\"price\" < \"code\") AND|(\"sold\" IS NOT NULL ))|)" << QStringList{"1", "2", "3"};
            engineRow(alias, "like, list") << QStringList{"Имя_клиента не похоже на 'IV%'", "Код в списке (30,50)"}
                << "(|((\"name\" NOT LIKE 'IV%'" + escape + ") AND|(\"code\" IN (30,50)))|)" << QStringList{"3", "5"};
            // values of a state or a value file that are no number or no
            // single literal change no condition: their rows are dropped
            engineRow(alias, "values that would change the condition")
                << QStringList{"Код = 0) OR (1=1", "Код в списке (30, 2-1)", "Имя_клиента = 'x') OR ('1'='1'",
                               "Код = 10"}
                << "(|((\"code\" = 10))|)" << QStringList{"1"};
        }
    }
    void builder()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        QFETCH(QStringList, rows);
        QFETCH(QString, lines);
        QFETCH(QStringList, found);
        auto q = items(alias);
        for (const auto &[field, label] : {std::pair{"name", "Имя|клиента"}, {"code", "Код"}, {"price", "Цена"},
                                           {"sold", "Продано"}})
            q->FieldByName(field)->SetDisplayLabel(label);
        TGridConditions c;
        ApplyQueryBuilder(*q, c, rows, QString(), QString(), true);
        QVERIFY(q->Active());
        QCOMPARE(blocks(q->SQLText()), QStringList{"SEARCHDBGRID_BUILDER: " + QString(lines).replace("|", "\r\n")});
        QCOMPARE(column(*q), found);
        QCOMPARE(c.BuilderRows, rows);   // as applied: the dropped ones are gone
        QVERIFY(!rows.contains("Продано") && !rows.last().startsWith('-'));
    }

    void builderOrder_data() { DataTest::engineRows(); }
    void builderOrder()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        auto q = openQuery(alias, "SELECT id, name, code, price FROM g_items ORDER BY name");
        TGridConditions c;
        c.BuilderRows = {"code > 10"};   // the labels are the field names here
        RunQueryBuilder(*q, c, "code DESC", QString());
        QVERIFY(!q->Active());   // without a window nothing is reopened
        QCOMPARE(column(*q), QStringList({"5", "4", "3", "2"}));
        RunQueryBuilder(*q, c, "price", QString());
        QCOMPARE(c.SavedOrder, QStringList{"name"});   // the query's own, not the first builder order
        QCOMPARE(column(*q), QStringList({"3", "4", "2", "5"}));
        c.BuilderRows.clear();
        RunQueryBuilder(*q, c, QString(), QString());
        QVERIFY(!c.OrderOverridden);
        QCOMPARE(q->SQLText(), QString("SELECT id, name, code, price FROM g_items \r\nORDER BY name"));
        QCOMPARE(column(*q), QStringList({"1", "2", "4", "3", "5"}));
    }

    // A text the server refuses: the person is told, the old text comes
    // back and is open, the state is as before, and the error goes on.
    void failurePutsTextBack_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<bool>("marks");
        for (const QString &alias : engines) {
            engineRow(alias, "marked rows") << true;
            engineRow(alias, "builder") << false;
        }
    }
    void failurePutsTextBack()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        QFETCH(bool, marks);
        // a mark on a window function's column (no column in WHERE on
        // either engine); the builder's order lands after LIMIT
        const QString original = marks ? "SELECT id, row_number() OVER (ORDER BY id) AS rn FROM g_items"
                                       : "SELECT id, code FROM g_items LIMIT 3";
        auto q = openQuery(alias, original);
        TRecordingUI ui;
        TGridConditions c;
        c.ChoiceList = {"rn=2"};
        c.BuilderRows = {"code = 10"};
        QStringList rows = {"code = 20"};
        QVERIFY(engineRefuses([&] {
            marks ? (void)ToggleMarkedFilter(*q, c) : ApplyQueryBuilder(*q, c, rows, "code", QString(), true);
        }));
        QCOMPARE(ui.Messages, QStringList{"Ошибка выполнения запроса."});
        QCOMPARE(q->SQLText(), original);
        QVERIFY(q->Active());
        QVERIFY(c.AppliedChoice.isEmpty());
        QVERIFY(!c.OrderOverridden);
        QCOMPARE(c.BuilderRows, QStringList{"code = 10"});
    }
};

QUARN_TEST_MAIN(GridSqlTest)
#include "GridSqlTest.moc"
