// Table states in SYS_GRIDS, made by the project's own DDL, on SQLite and
// PostgreSQL: statements, save, restore, clear, ".GRD" export and import.
#include "GridTestSupport.h"

#include "common/AppName.h"
#include "common/TextFile.h"
#include "grid/GridStates.h"

using namespace GridTest;

namespace {

const QString Group = "TSQLForm_SQLGrid";

// Every row of SYS_GRIDS, all columns.
QStringList allStates(const QString &alias)
{
    auto q = openQuery(alias, "SELECT * FROM SYS_GRIDS ORDER BY GR_APP_NAM, GR_GRD_NAM, GR_GRD_CMT");
    QStringList rows;
    for (; !q->Eof(); q->Next()) {
        QStringList values;
        for (const char *column : {"GR_APP_NAM", "GR_GRD_NAM", "GR_GRD_CMT", "GR_GRD_SRH", "GR_GRD_CHS",
                                   "GR_GRD_BLD", "GR_GRD_ORD"})
            values << q->FieldByName(column)->AsString();
        rows << values.join(" | ");
    }
    return rows;
}

QString emptyDir(const QString &name)
{
    const QString dir = QDir(ProgramDir()).filePath(name);
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir;
}

// g_clients over a parameter, which restoring and clearing must keep; the
// text as the rewriter and the builder give it back (WHERE on a line of its
// own, the order list upper-cased), so that clearing gives it back whole.
std::unique_ptr<TQuery> clients(const QString &alias)
{
    auto q = std::make_unique<TQuery>();
    q->SetDatabaseName(alias);
    q->SetSQLText("SELECT id, name, code FROM g_clients\r\nWHERE code >= :mincode\r\nORDER BY ID");
    q->ParamByName("mincode").SetAsInteger(0);
    q->Open();
    return q;
}

} // namespace

class GridStatesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        setUpEngines("quarn_grid_states");
        SetAppName("Quarn");
        for (const QString &alias : engines) {
            if (!usable(alias))
                continue;
            const QString ddl = QString(QUARN_SOURCE_DIR) + "/sql/sys_tables_" + (isPg(alias) ? "postgresql" : "sqlite");
            Session().OpenDatabase(alias)->ExecScript(ReadTextFile(ddl + ".sql"));
            DataTest::exec(alias, {"CREATE TABLE g_clients (id INTEGER PRIMARY KEY, name VARCHAR(40), code INTEGER)",
                                   "INSERT INTO g_clients VALUES (1, 'IVANOV', 10), (2, 'IVASHIN', 20), "
                                   "(3, 'PETROV', 30), (4, 'SIDOROV', 40)"});
            // SQLite keeps texts of any length: refuse long titles as the
            // server does, to see a failed insert on both engines
            if (!isPg(alias))
                DataTest::exec(alias, {"CREATE TRIGGER g_title BEFORE INSERT ON SYS_GRIDS WHEN "
                                       "length(NEW.GR_GRD_CMT) > 60 BEGIN SELECT RAISE(ABORT, 'too long'); END"});
        }
    }

    void save_data() { DataTest::engineRows(); }
    void save()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        DataTest::exec(alias, {"DELETE FROM SYS_GRIDS"});
        for (const auto &[sql, live] : {std::pair{GridStatesListSql(), false}, {GridStatesEditorSql(), false},
                                        {GridGroupsSql(), false}, {GridStateSaveSql(), true}, {GridStateImportSql(), true}}) {
            TQuery q;   // every statement as written, the updatable ones updatable
            q.SetDatabaseName(alias);
            q.SetSQL(sql);
            q.SetRequestLive(live);
            for (int i = 0; i < q.ParamCount(); ++i)
                q.Params()[i].SetAsString("x");
            q.Open();
            QCOMPARE(q.CanModify(), live);
        }
        auto q = clients(alias);
        TGridConditions c;
        QVERIFY(!SaveGridState(*q, Group, "Пусто", c));   // nothing to save
        c.SearchValues = {"name=IV"};
        c.ChoiceList = {"code=20", "name=PETROV"};
        c.BuilderRows = {"code > 10"};
        QUARN_EXPECT_ERROR(SaveGridState(*q, Group, "", c), "Название не может быть пустым");
        QVERIFY(SaveGridState(*q, Group, "Клиенты", c));
        RunQueryBuilder(*q, c, "code DESC", QString());   // the builder's order in force: kept
        QVERIFY(SaveGridState(*q, Group, "Клиенты", c));
        const QString saved = "Quarn | TSQLForm_SQLGrid | Клиенты | name=IV | code=20\r\nname=PETROV | code > 10 | ";
        QCOMPARE(allStates(alias), QStringList{saved + "code DESC"});
        TGridConditions other;   // its order not in force: the stored one stays
        other.ChoiceList = {"code=30"};
        QVERIFY(SaveGridState(*q, Group, "Клиенты", other));
        QCOMPARE(allStates(alias), QStringList{"Quarn | TSQLForm_SQLGrid | Клиенты |  | code=30 |  | code DESC"});
        // the same title in another group or application is another state
        QVERIFY(SaveGridState(*q, "TForm_Grid", "Клиенты", other));
        SetAppName("Other");
        QVERIFY(SaveGridState(*q, Group, "Клиенты", c));
        SetAppName("Quarn");
        QCOMPARE(allStates(alias).size(), 3);
        QCOMPARE(GridStatesOfGroup(alias, Group).first().Choice, QStringList{"code=30"});
        DeleteGridState(alias, Group, "Клиенты");
        QVERIFY(GridStatesOfGroup(alias, Group).isEmpty());
        QCOMPARE(allStates(alias).size(), 2);
    }

    void restoreAndClear_data() { DataTest::engineRows(); }
    void restoreAndClear()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        auto q = clients(alias);
        const QString original = q->SQLText();
        TGridConditions c;
        c.SearchValues = {"code=40"};
        ApplySearch(*q, c);
        q->ParamByName("mincode").SetAsInteger(15);
        RestoreGridState(*q, c, {Group, "Все", {"name=I"}, {"code=20"}, {"code < 40"}, {"code DESC"}, false});
        QCOMPARE(column(*q), QStringList({"2"}));   // name I..., code 15..39
        QCOMPARE(c.SearchValues, QStringList{"name=I"});
        QCOMPARE(c.ChoiceList, QStringList{"code=20"});
        QCOMPARE(c.BuilderRows, QStringList{"code < 40"});
        QVERIFY(c.AppliedChoice.isEmpty() && c.OrderOverridden);
        // an order alone re-sorts and keeps the rest; its empty marks replace
        q->ParamByName("mincode").SetAsInteger(0);
        RestoreGridState(*q, c, {Group, "По имени", {}, {}, {}, {"name DESC"}, false});
        QCOMPARE(column(*q), QStringList({"2", "1"}));
        QCOMPARE(c.SearchValues, QStringList{"name=I"});
        QVERIFY(c.ChoiceList.isEmpty());
        // builder rows without search values: the current search goes
        RestoreGridState(*q, c, {Group, "Мелкие", {}, {}, {"code < 30"}, {}, false});
        QVERIFY(c.SearchValues.isEmpty() && !c.OrderOverridden);
        QCOMPARE(column(*q), QStringList({"1", "2"}));

        RestoreGridState(*q, c, {Group, "Все", {"name=IV"}, {"code=20"}, {"code > 10"}, {"code DESC"}, false});
        QVERIFY(!ClearGridState(*q, c, true, true));   // without a person the answer is No
        QCOMPARE(c.SearchValues, QStringList{"name=IV"});
        {
            TRecordingUI yes;
            QVERIFY(ClearGridState(*q, c, true, true));
            QCOMPARE(yes.Messages, QStringList{"Вы уверены, что хотите очистить состояние таблицы ?"});
        }
        QCOMPARE(q->SQLText(), original);
        QCOMPARE(column(*q), QStringList({"1", "2", "3", "4"}));
        QCOMPARE(c.SearchValues, QStringList{"name=^"});
        QVERIFY(c.ChoiceList.isEmpty() && c.BuilderRows.isEmpty() && !c.OrderOverridden);
        // the SQL editor's reset: no question, no reopening
        RestoreGridState(*q, c, {Group, "Все", {"name=IV"}, {}, {}, {}, false});
        QVERIFY(ClearGridState(*q, c, false, false));
        QVERIFY(!q->Active());
        QCOMPARE(q->SQLText(), original);
    }

    void exportImport_data() { DataTest::engineRows(); }
    void exportImport()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        DataTest::exec(alias, {"DELETE FROM SYS_GRIDS"});
        auto q = clients(alias);
        TGridConditions a, b;
        a.SearchValues = {"name=Ив", "code=1,5%"};
        a.ChoiceList = {"code=20"};
        a.BuilderRows = {"Код = 1", "-- ИЛИ --", "Имя похоже на 'П%'"};
        QVERIFY(SaveGridState(*q, Group, "Клиенты", a));
        RunQueryBuilder(*q, a, "code DESC, name", QString());
        QVERIFY(SaveGridState(*q, Group, "Порядок", a));
        b.BuilderRows = {"#code > 1", "OR name IS NULL"};
        QVERIFY(SaveGridState(*q, "TBrowseForm_Grid", "Своё условие", b));
        const QStringList before = allStates(alias);

        const QString dir = emptyDir("export");
        QCOMPARE(ExportGridStates(alias, "%", dir).size(), 3);
        QCOMPARE(ReadTextLines(dir + "/TSQLForm_SQLGrid^Порядок.GRD"),
                 QStringList({"[SEARCH]", "name=Ив", "code=1,5%", "[CHOICE]", "code=20", "[BUILD]", "Код = 1",
                              "-- ИЛИ --", "Имя похоже на 'П%'", "[ORDER]", "code DESC, name"}));
        QCOMPARE(ExportGridStates(alias, "TBrowseForm_Grid", emptyDir("one")),
                 QStringList{ProgramDir() + "/one/TBrowseForm_Grid^Своё условие.GRD"});
        DataTest::exec(alias, {"DELETE FROM SYS_GRIDS"});
        QCOMPARE(ImportGridStates(alias, dir).Inserted, 3);
        QCOMPARE(allStates(alias), before);

        // insert, overwrite, delete, skip, and a state that cannot be added
        TGridConditions old;
        old.SearchValues = {"name=OLD"};
        QVERIFY(SaveGridState(*q, "G", "Gone", old));
        const QString longTitle(61, u'Т');
        const QString in = emptyDir("import");
        WriteTextLines(in + "/TSQLForm_SQLGrid^Clients.GRD", {"[SEARCH]", "name=IV", "[ORDER]", "code"});
        WriteTextLines(in + "/Clients.GRD", {"[SEARCH]", "name=NO"});
        WriteTextLines(in + "/TSQLForm_SQLGrid^Порядок.GRD", {"[SEARCH]", "name=NEW", "[choice]", "code=1"});
        WriteTextLines(in + "/G^Gone.GRD", {";DELETE"});
        WriteTextLines(in + "/G^Never.GRD", {"[SEARCH]", ";delete it"});
        WriteTextLines(in + "/G^" + longTitle + ".GRD", {"[SEARCH]", "name=LONG"});
        TRecordingUI ui;
        QList<int> steps;
        QStringList reported;
        const TGridStateImport done = ImportGridStates(alias, in, [&](int n, int total) { steps << n * 10 + total; },
                                                       [&](const Exception &e) { reported << e.Message(); });
        QCOMPARE(steps, QList<int>({16, 26, 36, 46, 56, 66}));
        QCOMPARE(std::tuple(done.Skipped, done.Inserted, done.Updated, done.Deleted), std::tuple(1, 1, 1, 1));
        QCOMPARE(done.Failed, QStringList{in + "/G^" + longTitle + ".GRD"});
        QCOMPARE(ui.Messages, QStringList{"Ошибка добавления состояния \"" + longTitle + "\" в группе \"G\""});
        QCOMPARE(reported.size(), 1);
        QCOMPARE(allStates(alias), QStringList({"Quarn | TBrowseForm_Grid | Своё условие |  |  | #code > 1\r\n"
                                                "OR name IS NULL | ",
                                                "Quarn | TSQLForm_SQLGrid | Clients | name=IV |  |  | code",
                                                before[1],
                                                "Quarn | TSQLForm_SQLGrid | Порядок | name=NEW |  |  | "}));
    }

    // A state's file name is made of stored texts: whatever they hold, the
    // file lands in the chosen folder; a state whose file cannot be written
    // is reported and the others are still written.
    void exportKeepsToFolder_data() { DataTest::engineRows(); }
    void exportKeepsToFolder()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        DataTest::exec(alias, {"DELETE FROM SYS_GRIDS"});
        auto q = clients(alias);
        TGridConditions c;
        c.SearchValues = {"name=IV"};
        const QList<std::pair<QString, QString>> states = {
            {"../../up", "t"}, {Group, "/tmp/absolute"}, {Group, "a/b\\c:d"}, {Group, ".."}, {Group, "Блок"}};
        for (const auto &[group, title] : states)
            QVERIFY(SaveGridState(*q, group, title, c));
        const QString dir = emptyDir("hostile/export");
        QVERIFY(QDir(dir).mkdir(GridStateFileName(dir, Group, "Блок")));   // cannot be written over
        TRecordingUI ui;
        QStringList reported;
        const QStringList files = ExportGridStates(alias, "%", dir, [&](const Exception &e) { reported << e.Message(); });
        QCOMPARE(files.size(), 4);
        QStringList names = QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        names.sort();
        QStringList expected{"_._.._up^t.GRD", "TSQLForm_SQLGrid^_tmp_absolute.GRD", "TSQLForm_SQLGrid^_..GRD",
                             "TSQLForm_SQLGrid^a_b_c_d.GRD", "TSQLForm_SQLGrid^Блок.GRD"};
        expected.sort();
        QCOMPARE(names, expected);
        QCOMPARE(QDir(ProgramDir() + "/hostile").entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"export"});
        QCOMPARE(ui.Messages, QStringList{"Ошибка записи состояния \"Блок\" в группе \"TSQLForm_SQLGrid\""});
        QCOMPARE(reported, QStringList{"Не могу создать файл " + dir + "/TSQLForm_SQLGrid^Блок.GRD: это папка"});
        // read back, every state but the one not written
        DataTest::exec(alias, {"DELETE FROM SYS_GRIDS"});
        QDir(GridStateFileName(dir, Group, "Блок")).removeRecursively();
        QCOMPARE(ImportGridStates(alias, dir).Inserted, 4);
        QCOMPARE(allStates(alias).filter("name=IV").size(), 4);
    }
};

QUARN_TEST_MAIN(GridStatesTest)
#include "GridStatesTest.moc"
