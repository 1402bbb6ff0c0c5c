#include "TestSupport.h"

#include "../data/DataTestSupport.h"
#include "common/AppName.h"
#include "common/TextFile.h"
#include "report/KtReport.h"
#include "report/StoredReports.h"


// Templates kept in SYS_REPORT: the lookup by application, group and name,
// and nested reports (Include, ExecuteInclude, a template line printing one).
class StoredReportsTest : public QObject {
    Q_OBJECT

    // The program's own tables, from the script shipped for the engine.
    static void createSysTables(const QString &alias)
    {
        DataTest::createSysTables(alias, QStringLiteral(QUARN_SOURCE_DIR "/sql"));
    }

    // A row of SYS_REPORT; a null `printName` stores NULL.
    static void store(const QString &alias, const QString &app, const QString &group, const QString &name,
                      const QString &templ, const QString &ori = "P", const QString &one = "Н",
                      const QString &printName = QString())
    {
        TQuery q;
        q.SetDatabaseName(alias);
        q.SetSQLText(QString("INSERT INTO SYS_REPORT VALUES (:A, :G, :N, :F, 'Д', :O, :ONE, %1)")
                         .arg(printName.isNull() ? "NULL" : ":P"));
        q.ParamByName("A").SetAsString(app);
        q.ParamByName("G").SetAsString(group);
        q.ParamByName("N").SetAsString(name);
        q.ParamByName("F").SetAsString(templ);
        q.ParamByName("O").SetAsString(ori);
        q.ParamByName("ONE").SetAsString(one);
        if (!printName.isNull())
            q.ParamByName("P").SetAsString(printName);
        q.ExecSQL();
    }

    static std::unique_ptr<TKtReport> run(const QString &alias, const QString &templ)
    {
        auto r = std::make_unique<TKtReport>();
        r->SetMeasurer(std::make_unique<TFixedPitchMeasurer>(300));
        r->SetDataBaseName(alias);
        r->SetFormatSource(templ.split('\n'));
        r->SetOneRecord(true);
        r->SetPrintName("main.prn");
        r->Prepare();
        r->Execute();
        return r;
    }

    static QStringList output() { return ReadTextLines(ProgramDir() + "/main.prn"); }

    static TNestedReport *nestedIn(TKtReport &report, const QString &var)
    {
        TReportVar *v = report.FindVar(var);
        return v && v->VarType() == vtObject ? dynamic_cast<TNestedReport *>(v->GetAsObject()) : nullptr;
    }

    // Fills SYS_REPORT of `alias` with the reports the tests include.
    static void fill(const QString &alias)
    {
        createSysTables(alias);
        store(alias, "Quarn", "Счета", "Итоги", ".DETAIL\r\nИтог @X\r\nВторая строка\r\n", "L", "Д", "sub.prn");
        store(alias, "Quarn", "Счета", "Без файла", ".DETAIL\nx");
        store(alias, "Quarn", "Счета", "Пустой", ".VARS\nA := 1");
        store(alias, "Other", "Счета", "Итоги", ".DETAIL\nчужой", "P", "Н", "other.prn");
    }

private slots:
    void initTestCase()
    {
        DataTest::writeAliases();
        SetAppName("Quarn");
    }

    void cleanup()
    {
        SetAppName("Quarn");
        LoadStoredReportHook() = {};
    }

    void lookup_data() { DataTest::engineRows(); }
    void lookup()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        fill(alias);
        QCOMPARE(StoredReportChooserSQL(),
                 (QStringList{"SELECT * FROM SYS_REPORT", "WHERE", "RE_APP_NAM = :AppNam AND",
                              "RE_GRP_NAM = :GrpNam AND", "RE_RPT_NAM LIKE :RptNam"}));
        auto found = LoadStoredReport("Счета", "Ит%", alias);   // the name is a pattern
        QVERIFY(found);
        QCOMPARE(found->Template, (QStringList{".DETAIL", "Итог @X", "Вторая строка"}));
        QCOMPARE(found->PrintName, QString("sub.prn"));
        QCOMPARE(found->Orientation, TPageGeometry::Landscape);
        QVERIFY(found->OneRecord);
        found = LoadStoredReport("Счета", "Без файла", alias);
        QVERIFY(found);
        QCOMPARE(found->PrintName, QString("report.prn"));   // none stored
        QCOMPARE(found->Orientation, TPageGeometry::Portrait);
        QVERIFY(!found->OneRecord);
        QVERIFY(!LoadStoredReport("Счета", "Нет", alias));
        QVERIFY(!LoadStoredReport("Другая", "Итоги", alias));
        // the application name separates the rows
        SetAppName("Other");
        found = LoadStoredReport("Счета", "Итоги", alias);
        QVERIFY(found);
        QCOMPARE(found->Template, (QStringList{".DETAIL", "чужой"}));
        QCOMPARE(found->PrintName, QString("other.prn"));
        SetAppName("Third");
        QVERIFY(!LoadStoredReport("Счета", "Итоги", alias));
    }

    void includeAsMemo_data() { DataTest::engineRows(); }
    void includeAsMemo()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        fill(alias);
        // the nested report sees the calling report's variables
        auto r = run(alias, ".VARS\nX := 'из вызова'\nR := Include('Счета', 'Итоги')\nM := ExecuteInclude(R)\n"
                            ".DETAIL\n@M");
        QCOMPARE(output(), (QStringList{"Итог из вызова", "Вторая строка"}));
        QCOMPARE(r->FindVar("M")->VarType(), vtMemo);
        TNestedReport *nested = nestedIn(*r, "R");
        QVERIFY(nested);
        QVERIFY(nested->Memo.isEmpty());   // handed over to the result
        // the stored settings and the caller's database
        QCOMPARE(nested->Report.DataBaseName(), alias);
        QCOMPARE(nested->Report.Orientation(), TPageGeometry::Landscape);
        QCOMPARE(QFileInfo(nested->Report.PrintName()).fileName(), QString("sub.prn"));
        QCOMPARE(ReadTextLines(ProgramDir() + "/sub.prn"), (QStringList{"Итог из вызова", "Вторая строка"}));
    }

    void templateLinePrintsNestedReport()
    {
        fill("LITE");
        // the nested report runs at each line that prints it, with the
        // caller's variables as they are then (the detail script runs
        // before the section's lines)
        run("LITE", ".VARS\nX := 'первый'\nR := Include('Счета', 'Итоги')\n.DETAIL\nДо\n> @R\n#X := 'второй'\n@R\nПосле");
        QCOMPARE(output(), (QStringList{"До", "> Итог второй", "> Вторая строка", "Итог второй", "Вторая строка",
                                        "После"}));
    }

    void nestedWithoutOutput()
    {
        fill("LITE");
        WriteTextLines(ProgramDir() + "/report.prn", {"старое"});
        // a nested report that writes nothing gives no lines, and its
        // earlier output does not come back
        auto r = run("LITE", ".VARS\nR := Include('Счета', 'Пустой')\nM := ExecuteInclude(R)\n"
                             ".DETAIL\n[@M]");
        QVERIFY(r->FindVar("M")->GetAsMemo().isEmpty());
        QVERIFY(!QFile::exists(ProgramDir() + "/report.prn"));
    }

    void missingReport()
    {
        fill("LITE");
        auto r = run("LITE", ".VARS\nR := Include('Счета', 'Нет такого')\nM := ExecuteInclude(R)\n"
                             "S := ExecuteInclude('текст')\n.DETAIL\n<@R>\nконец");
        QCOMPARE(r->FindVar("R")->VarType(), vtUndefined);
        QCOMPARE(r->FindVar("M")->VarType(), vtUndefined);   // nothing to run
        QCOMPARE(r->FindVar("S")->VarType(), vtUndefined);
        QCOMPARE(output().value(1), QString("конец"));
        // without SYS_REPORT the engine's error stops the run
        DataTest::exec("LITE", {"DROP TABLE SYS_REPORT"});
        bool failed = false;
        try {
            run("LITE", ".VARS\nR := Include('Счета', 'Итоги')\n.DETAIL\nx");
        } catch (const Exception &) {
            failed = true;
        }
        QVERIFY(failed);
    }

    void applicationsSeparated()
    {
        fill("LITE");
        SetAppName("Other");
        run("LITE", ".VARS\nR := Include('Счета', 'Итоги')\n.DETAIL\n@R");
        QCOMPARE(output(), QStringList{"чужой"});
        SetAppName("Third");
        auto r = run("LITE", ".VARS\nR := Include('Счета', 'Итоги')\n.DETAIL\nx");
        QCOMPARE(r->FindVar("R")->VarType(), vtUndefined);
    }

    void runWithStoredSettings()
    {
        fill("LITE");
        DataTest::exec("LITE", {"DROP TABLE IF EXISTS GOODS", "CREATE TABLE GOODS (ID integer, NAME varchar(20))",
                                "INSERT INTO GOODS VALUES (1, 'один')", "INSERT INTO GOODS VALUES (2, 'два')"});
        store("LITE", "Quarn", "Товары", "Список", ".DETAIL\n#C := GetQueryExt('SELECT COUNT(*) FROM GOODS')\n@ID @NAME из @C",
              "L", "Н", "goods.prn");
        store("LITE", "Quarn", "Товары", "Один", ".DETAIL\n@ID", "P", "Д", "");
        TQuery goods;
        goods.SetDatabaseName("LITE");
        goods.SetSQLText("SELECT * FROM GOODS ORDER BY ID");
        goods.Open();
        TReportParams params;
        params.DataSet = &goods;
        params.DataBaseName = "NOWHERE";   // the dataset's database wins
        params.PrintName = "caller.prn";
        auto stored = LoadStoredReport("Товары", "Список", "LITE");
        QVERIFY(stored);
        QVERIFY(stored->Preview);
        auto report = RunStoredReport(*stored, params);
        QCOMPARE(report->DataBaseName(), QString("LITE"));
        QCOMPARE(report->Orientation(), TPageGeometry::Landscape);
        QCOMPARE(ReadTextLines(ProgramDir() + "/goods.prn"), (QStringList{"1 один из 2", "2 два из 2"}));
        // one record, and "report.prn" for an empty output name
        stored = LoadStoredReport("Товары", "Один", "LITE");
        QVERIFY(stored);
        QCOMPARE(stored->PrintName, QString("report.prn"));
        report = RunStoredReport(*stored, params);
        QVERIFY(report->OneRecord());
        QCOMPARE(ReadTextLines(ProgramDir() + "/report.prn"), QStringList{"1"});
    }

    void handlersAndHook()
    {
        // the storage windows may install their own lookup
        QStringList asked;
        LoadStoredReportHook() = [&](const QString &group, const QString &name, const QString &db) {
            asked << group << name << db;
            TStoredReport report;
            report.Template = {".DETAIL", "из окна @Y"};
            report.PrintName = "hook.prn";
            return std::optional<TStoredReport>(report);
        };
        int funcs = 0;
        auto r = std::make_unique<TKtReport>();
        r->SetMeasurer(std::make_unique<TFixedPitchMeasurer>(300));
        r->SetDataBaseName("NOWHERE");
        r->SetFormatSource({".VARS", "R := Include('Г', 'Н')", "M := ExecuteInclude(R)", ".DETAIL", "@M"});
        r->SetOneRecord(true);
        r->SetPrintName("main.prn");
        r->OnSetFuncs = [&](TCustomReport &) { ++funcs; };
        r->OnSetNames = [](TCustomReport &report) { report.GetVar("Y").SetAsString("игрек"); };
        r->Prepare();
        r->Execute();
        QCOMPARE(asked, (QStringList{"Г", "Н", "NOWHERE"}));
        QCOMPARE(output(), QStringList{"из окна игрек"});
        QCOMPARE(funcs, 2);   // the caller's and the nested report's registry
        // the nested report's own OnSetNames copies variables, not the
        // caller's handler
        TNestedReport *nested = nestedIn(*r, "R");
        QVERIFY(nested);
        QVERIFY(nested->Report.OnSetNames);
        QCOMPARE(nested->Report.FindVar("Y")->GetAsString(), QString("игрек"));
    }
};

QUARN_TEST_MAIN(StoredReportsTest)
#include "StoredReportsTest.moc"
