#include "TestSupport.h"

#include "../data/DataTestSupport.h"
#include "common/AppName.h"
#include "common/TextFile.h"
#include "common/UserInterface.h"
#include "report/ReportFiles.h"
#include "report/StoredReports.h"

// Reports of SYS_REPORT written to a folder of .FMT files and read back.
class ReportFilesTest : public QObject {
    Q_OBJECT

    using Rows = QStringList;

    static QString sqlDir() { return QStringLiteral(QUARN_SOURCE_DIR "/sql"); }

    // An empty folder in the program directory.
    static QString freshDir(const QString &name)
    {
        const QString path = ProgramDir() + "/" + name;
        QDir(path).removeRecursively();
        QDir().mkpath(path);
        return path;
    }

    // A row of SYS_REPORT; a null template or output name stores NULL.
    static void store(const QString &alias, const QString &app, const QString &group, const QString &name,
                      const QString &templ, const QString &printName = QString(), const QString &ori = "P",
                      const QString &prv = "Д", const QString &one = "Н")
    {
        TQuery q;
        q.SetDatabaseName(alias);
        q.SetSQLText(QString("INSERT INTO SYS_REPORT VALUES (:A, :G, :N, %1, :PRV, :O, :ONE, %2)")
                         .arg(templ.isNull() ? "NULL" : ":F", printName.isNull() ? "NULL" : ":P"));
        q.ParamByName("A").SetAsString(app);
        q.ParamByName("G").SetAsString(group);
        q.ParamByName("N").SetAsString(name);
        if (!templ.isNull())
            q.ParamByName("F").SetAsString(templ);
        q.ParamByName("PRV").SetAsString(prv);
        q.ParamByName("O").SetAsString(ori);
        q.ParamByName("ONE").SetAsString(one);
        if (!printName.isNull())
            q.ParamByName("P").SetAsString(printName);
        q.ExecSQL();
    }

    // Every row as "app|group|name|template|preview|orientation|one|output",
    // line ends of the template shown, NULL as <null>; sorted.
    static Rows rows(const QString &alias)
    {
        TQuery q;
        q.SetDatabaseName(alias);
        q.SetSQLText("SELECT * FROM SYS_REPORT");
        q.Open();
        Rows result;
        for (; !q.Eof(); q.Next()) {
            QStringList cells;
            for (int i = 0; i < q.FieldCount(); ++i) {
                const TField *f = q.Fields(i);
                QString value = f->IsNull() ? QStringLiteral("<null>") : f->AsString();
                value.replace("\r", "\\r").replace("\n", "\\n");
                cells << value;
            }
            result << cells.join(u'|');
        }
        result.sort();
        return result;
    }

    static QByteArray bytes(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }

    static QList<TFmtAction> actions(const TFmtResult &r)
    {
        QList<TFmtAction> list;
        for (const TFmtEntry &e : r.Entries)
            list << e.Action;
        return list;
    }

    // Answers the abort prompt: Esc is "pressed" before the file number
    // `escAt` (1-based) and the question gets `answer`.
    class AbortingUI : public TUserInterface {
    public:
        AbortingUI(int escAt, int answer) : m_escAt(escAt), m_answer(answer) {}
        bool ProcessMessages() override { return ++m_calls == m_escAt; }
        int MessageDlg(const QString &text, const QString &, Kind, const QList<Button> &) override
        {
            asked << text;
            return m_answer;
        }
        QStringList asked;

    private:
        int m_escAt, m_answer, m_calls = 0;
    };

private slots:
    void initTestCase()
    {
        DataTest::writeAliases();
        SetAppName("Quarn");
        auto script = [](const char *name) {
            QFile f(sqlDir() + "/" + QLatin1String(name));
            return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
        };
        CreateSqliteDatabase(ProgramDir() + "/demo.sqlite", {script("sys_tables_sqlite.sql"), script("demo.sql")});
    }

    void cleanup() { SetUserInterface(nullptr); }

    void fileLines_data()
    {
        QTest::addColumn<QStringList>("templ");
        QTest::addColumn<QStringList>("expected");
        const QStringList h{";Г", ";Н", ";L", ";Quarn"};
        QTest::newRow("no header") << QStringList{".DETAIL", "@X"} << h + QStringList{".DETAIL", "@X"};
        QTest::newRow("a header of another export")
            << QStringList{";Старая", ";Имя", ";P", ";Other", ".DETAIL"} << h + QStringList{".DETAIL"};
        // once a line is inserted, the later positions see template text
        QTest::newRow("empty first line") << QStringList{"", ".DETAIL", ""} << h + QStringList{".DETAIL", ""};
        QTest::newRow("two comments") << QStringList{"; о шаблоне", ";", ".DETAIL", "; позже"}
                                      << h + QStringList{".DETAIL", "; позже"};
        QTest::newRow("shorter than the header") << QStringList{";"} << h;
        QTest::newRow("the exported file itself") << h + QStringList{"x"} << h + QStringList{"x"};
        QTest::newRow("a comment after text") << QStringList{"x", ";c"} << h + QStringList{"x", ";c"};
    }
    void fileLines()
    {
        QFETCH(QStringList, templ);
        QFETCH(QStringList, expected);
        const QStringList header = FmtHeader("Г", "Н", "L", "Quarn");
        QCOMPARE(FmtFileLines(header, templ), expected);
        // writing the header again changes nothing
        QCOMPARE(FmtFileLines(header, expected), expected);
    }

    void fileNames_data()
    {
        QTest::addColumn<QString>("printName");
        QTest::addColumn<QString>("fmtName");
        QTest::addColumn<QString>("importedAs");
        QTest::newRow("plain") << "invoices.prn" << "invoices.FMT" << "invoices.prn";
        QTest::newRow("none") << "" << "REPORT.FMT" << "report.prn";
        QTest::newRow("no extension") << "out" << "out.FMT" << "out.prn";
        QTest::newRow("two dots") << "a.b.lst" << "a.b.FMT" << "a.b.prn";
        QTest::newRow("with a folder") << "c:\\out\\Счет.TXT" << "Счет.FMT" << "счет.prn";
        QTest::newRow("unix folder") << "/tmp/x/y.prn" << "y.FMT" << "y.prn";
        QTest::newRow("hidden") << "../.out.prn" << "_out.FMT" << "_out.prn";
        QTest::newRow("dots only") << "sub/.." << "_.FMT" << "_.prn";
        QTest::newRow("unsafe characters") << "a:b\tc?.prn" << "a_b_c_.FMT" << "a_b_c_.prn";
    }
    void fileNames()
    {
        QFETCH(QString, printName);
        QFETCH(QString, fmtName);
        QFETCH(QString, importedAs);
        QCOMPARE(FmtFileName(printName), fmtName);
        QCOMPARE(FmtPrintName("/some/dir/" + fmtName), importedAs);
    }

    void demoRoundTrip_data() { DataTest::engineRows(); }
    void demoRoundTrip()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        const QString first = freshDir("demo-export");
        const TFmtResult exported = ExportReportFiles("DEMO", first);
        QCOMPARE(actions(exported), (QList<TFmtAction>{TFmtAction::Written, TFmtAction::Written}));
        QStringList files = QDir(first).entryList(QDir::Files);
        files.sort();
        QCOMPARE(files, (QStringList{"REPORT.FMT", "invoices.FMT"}));
        // code page and CR LF
        const QByteArray raw = bytes(first + "/invoices.FMT");
        QVERIFY(raw.startsWith(";TSQLForm_SQLGrid\r\n;\xD0\xE5\xE5\xF1\xF2\xF0 \xF1\xF7\xE5\xF2\xEE\xE2\r\n;P\r\n;Quarn\r\n"
                               ".REPORTHEADER\r\n"));
        QCOMPARE(raw.count("\n"), raw.count("\r\n"));
        QVERIFY(raw.endsWith("@INV_TOTAL:-5.200\r\n"));

        DataTest::createSysTables(alias, sqlDir());
        const TFmtResult imported = ImportReportFiles(alias, first);
        QCOMPARE(actions(imported), (QList<TFmtAction>{TFmtAction::Added, TFmtAction::Added}));
        QVERIFY(imported.Changed());
        // the DEMO rows, each template carrying the header of its file
        const QString h1 = ";TSQLForm_SQLGrid\\r\\n;Реестр счетов\\r\\n;P\\r\\n;Quarn\\r\\n";
        const QString h2 = ";TSQLForm_SQLGrid\\r\\n;Список записей\\r\\n;P\\r\\n;Quarn\\r\\n";
        auto demoTemplate = [](const QString &name) {
            QString text = DataTest::scalar("DEMO", "SELECT RE_RPT_FMT FROM SYS_REPORT WHERE RE_RPT_NAM = '" + name + "'");
            return text.replace("\r", "\\r").replace("\n", "\\n");
        };
        QVERIFY(demoTemplate("Реестр счетов").startsWith(".REPORTHEADER\\r\\n"));
        QCOMPARE(rows(alias),
                 (Rows{"Quarn|TSQLForm_SQLGrid|Реестр счетов|" + h1 + demoTemplate("Реестр счетов") + "|Д|P|Н|invoices.prn",
                       "Quarn|TSQLForm_SQLGrid|Список записей|" + h2 + demoTemplate("Список записей") + "|Д|P|Н|report.prn"}));

        // exporting the imported rows gives the same files, byte for byte;
        // the report without an output name now has "report.prn", so its
        // file name is in lower case
        const QString second = freshDir("demo-again");
        QCOMPARE(ExportReportFiles(alias, second).Count(TFmtAction::Written), 2);
        QCOMPARE(bytes(second + "/invoices.FMT"), bytes(first + "/invoices.FMT"));
        QCOMPARE(bytes(second + "/report.FMT"), bytes(first + "/REPORT.FMT"));

        // re-importing the unchanged export changes nothing
        const Rows before = rows(alias);
        const TFmtResult again = ImportReportFiles(alias, first);
        QCOMPARE(actions(again), (QList<TFmtAction>{TFmtAction::Unchanged, TFmtAction::Unchanged}));
        QVERIFY(!again.Changed());
        QCOMPARE(rows(alias), before);
    }

    void changedTemplateOnly_data() { DataTest::engineRows(); }
    void changedTemplateOnly()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        DataTest::createSysTables(alias, sqlDir());
        store(alias, "Quarn", "Склад", "Остатки", ".DETAIL\r\n@QTY\r\n", "rest.prn");
        store(alias, "Quarn", "Склад", "Приход", ".DETAIL\r\n@IN\r\n", "in.prn");
        const QString dir = freshDir("changed");
        QCOMPARE(ExportReportFiles(alias, dir).Count(TFmtAction::Written), 2);
        // the imported rows as an administrator left them: other columns
        // changed since, one template kept with LF line ends
        DataTest::createSysTables(alias, sqlDir());
        store(alias, "Quarn", "Склад", "Остатки", "старый\r\n", "keep.prn", "P", "Н", "Д");
        store(alias, "Quarn", "Склад", "Приход", ";Склад\n;Приход\n;P\n;Quarn\n.DETAIL\n@IN\n", "in2.prn", "L");
        QStringList lines = ReadTextLines(dir + "/rest.FMT");
        QCOMPARE(lines.size(), 6);
        lines[2] = ";L";   // the header's orientation does not touch a stored row
        lines[5] = "@QTY:10";
        WriteTextLines(dir + "/rest.FMT", lines);

        const TFmtResult r = ImportReportFiles(alias, dir);
        // in name order: in.FMT, rest.FMT
        QCOMPARE(actions(r), (QList<TFmtAction>{TFmtAction::Unchanged, TFmtAction::Replaced}));
        QCOMPARE(rows(alias),
                 (Rows{"Quarn|Склад|Остатки|;Склад\\r\\n;Остатки\\r\\n;L\\r\\n;Quarn\\r\\n.DETAIL\\r\\n@QTY:10\\r\\n"
                       "|Н|P|Д|keep.prn",
                       "Quarn|Склад|Приход|;Склад\\n;Приход\\n;P\\n;Quarn\\n.DETAIL\\n@IN\\n|Д|L|Н|in2.prn"}));
    }

    void headerRules_data() { DataTest::engineRows(); }
    void headerRules()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        DataTest::createSysTables(alias, sqlDir());
        store(alias, "Quarn", "G", "Чужой", "свой\r\n");
        const QString dir = freshDir("headers");
        WriteTextLines(dir + "/a_three.FMT", {";G", ";Три", ";P"});
        WriteTextLines(dir + "/b_other.FMT", {";G", ";Чужой", ";P", ";Other", "чужой"});
        WriteTextLines(dir + "/c_bad.FMT", {";G", "Имя", ";P", ";Quarn", "x"});
        WriteTextLines(dir + "/d_plain.fmt", {";G", ";Простой", "", ".DETAIL", "@X"});
        WriteTextLines(dir + "/E_Land.FMT", {";G", ";Альбом", ";Landscape", ";Quarn", ".DETAIL"});
        WriteTextLines(dir + "/notes.txt", {";G", ";Заметки", ";P", ";Quarn"});
        QList<std::tuple<int, int, QString>> progress;
        const TFmtResult r = ImportReportFiles(alias, dir, std::nullopt, [&](int done, int total, const QString &file) {
            progress << std::make_tuple(done, total, QFileInfo(file).fileName());
        });
        // the name order puts upper case first
        QCOMPARE(actions(r), (QList<TFmtAction>{TFmtAction::Added, TFmtAction::TooShort, TFmtAction::OtherApplication,
                                                TFmtAction::BadHeader, TFmtAction::Added}));
        QCOMPARE(progress, (QList<std::tuple<int, int, QString>>{
                               {0, 5, ""}, {1, 5, "E_Land.FMT"}, {2, 5, "a_three.FMT"}, {3, 5, "b_other.FMT"},
                               {4, 5, "c_bad.FMT"}, {5, 5, "d_plain.fmt"}}));
        QCOMPARE(rows(alias),
                 (Rows{"Quarn|G|Альбом|;G\\r\\n;Альбом\\r\\n;Landscape\\r\\n;Quarn\\r\\n.DETAIL\\r\\n|Д|L|Н|e_land.prn",
                       // a fourth line without ";" is kept as read
                       "Quarn|G|Простой|;G\\r\\n;Простой\\r\\n\\r\\n.DETAIL\\r\\n@X\\r\\n|Д|P|Н|d_plain.prn",
                       "Quarn|G|Чужой|свой\\r\\n|Д|P|Н|<null>"}));
    }

    void deletion_data() { DataTest::engineRows(); }
    void deletion()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        DataTest::createSysTables(alias, sqlDir());
        store(alias, "Quarn", "G", "Удалить", "x\r\n");
        store(alias, "Quarn", "G", "Удалить тоже", "x\r\n");
        store(alias, "Other", "G", "Удалить", "чужой\r\n");
        store(alias, "Quarn", "G", "Оставить", "y\r\n");
        const QString dir = freshDir("delete");
        WriteTextLines(dir + "/1.FMT", {";G", ";Удалить", ";P", ";Quarn", ";Delete", "текст"});
        WriteTextLines(dir + "/2.FMT", {";G", ";Удалить тоже", "", ";Quarn", ";DELETE  "});
        WriteTextLines(dir + "/3.FMT", {";G", ";Нет такого", ";P", ";Quarn", ";DELETE"});
        // ";DELETE" elsewhere is template text
        WriteTextLines(dir + "/4.FMT", {";G", ";Оставить", ";P", ";Quarn", "y", ";DELETE"});
        const TFmtResult r = ImportReportFiles(alias, dir);
        QCOMPARE(actions(r), (QList<TFmtAction>{TFmtAction::Deleted, TFmtAction::Deleted, TFmtAction::NothingToDelete,
                                                TFmtAction::Replaced}));
        QCOMPARE(rows(alias), (Rows{"Other|G|Удалить|чужой\\r\\n|Д|P|Н|<null>",
                                    "Quarn|G|Оставить|;G\\r\\n;Оставить\\r\\n;P\\r\\n;Quarn\\r\\ny\\r\\n;DELETE\\r\\n|Д|P|Н|<null>"}));
    }

    void failuresDoNotStopImport_data() { DataTest::engineRows(); }
    void failuresDoNotStopImport()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        // the table with rules the engine enforces
        DataTest::exec(alias, {"DROP TABLE IF EXISTS SYS_REPORT",
                               "CREATE TABLE SYS_REPORT (RE_APP_NAM VARCHAR(60) NOT NULL, RE_GRP_NAM VARCHAR(60) NOT NULL,"
                               " RE_RPT_NAM VARCHAR(60) NOT NULL CHECK (RE_RPT_NAM <> 'Запрет'),"
                               " RE_RPT_FMT TEXT CHECK (RE_RPT_FMT NOT LIKE '%ЗАПРЕТ%'), RE_RPT_PRV VARCHAR(1),"
                               " RE_RPT_ORI VARCHAR(1), RE_RPT_ONE VARCHAR(1), RE_RPT_PRN VARCHAR(60),"
                               " PRIMARY KEY (RE_APP_NAM, RE_GRP_NAM, RE_RPT_NAM))"});
        store(alias, "Quarn", "G", "Старый", "старый\r\n", "old.prn");
        const QString dir = freshDir("failures");
        const QString longName(61, u'Д');
        WriteTextLines(dir + "/1_first.FMT", {";G", ";Первый", ";P", ";Quarn", "1"});
        WriteTextLines(dir + "/2_gone.FMT", {";G", ";Пропавший", ";P", ";Quarn", "2"});
        WriteTextLines(dir + "/3_nogroup.FMT", {";", ";Без группы", ";P", ";Quarn"});
        WriteTextLines(dir + "/4_long.FMT", {";G", ";" + longName, ";P", ";Quarn"});
        WriteTextLines(dir + "/5_refused.FMT", {";G", ";Запрет", ";P", ";Quarn"});
        WriteTextLines(dir + "/6_change.FMT", {";G", ";Старый", ";P", ";Quarn", "ЗАПРЕТ"});
        WriteTextLines(dir + "/7_last.FMT", {";G", ";Последний", ";L", ";Quarn", "7"});
        // the second file disappears while the first is being imported
        const TFmtResult r = ImportReportFiles(alias, dir, std::nullopt, [&](int done, int, const QString &) {
            if (done == 1)
                QFile::remove(dir + "/2_gone.FMT");
        });
        QCOMPARE(actions(r), (QList<TFmtAction>{TFmtAction::Added, TFmtAction::Failed, TFmtAction::Failed,
                                                TFmtAction::Failed, TFmtAction::Failed, TFmtAction::Failed,
                                                TFmtAction::Added}));
        QVERIFY(r.HasFailures());
        const QList<TFmtEntry> &e = r.Entries;
        QCOMPARE(e[1].Message, dir + "/2_gone.FMT");
        QCOMPARE(e[1].Error, "Не могу открыть файл " + dir + "/2_gone.FMT");
        QCOMPARE(e[2].Message, QString("Ошибка добавления отчета \"Без группы\" в группе \"\" (файл \"3_nogroup.prn\")"));
        QVERIFY2(e[2].Error.contains("RE_GRP_NAM", Qt::CaseInsensitive), qPrintable(e[2].Error));
        QCOMPARE(e[3].Message, "Ошибка добавления отчета \"" + longName + "\" в группе \"G\" (файл \"4_long.prn\")");
        QVERIFY2(e[3].Error.contains("60"), qPrintable(e[3].Error));
        QCOMPARE(e[4].Message, QString("Ошибка добавления отчета \"Запрет\" в группе \"G\" (файл \"5_refused.prn\")"));
        QVERIFY(!e[4].Error.isEmpty());
        QCOMPARE(e[5].Message, QString("Ошибка изменения отчета \"Старый\" в группе \"G\" (файл \"6_change.prn\")"));
        QVERIFY(!e[5].Error.isEmpty());
        // nothing half-written: the refused rows are absent, the refused
        // change left the stored row as it was
        QCOMPARE(rows(alias), (Rows{"Quarn|G|Первый|;G\\r\\n;Первый\\r\\n;P\\r\\n;Quarn\\r\\n1\\r\\n|Д|P|Н|1_first.prn",
                                    "Quarn|G|Последний|;G\\r\\n;Последний\\r\\n;L\\r\\n;Quarn\\r\\n7\\r\\n|Д|L|Н|7_last.prn",
                                    "Quarn|G|Старый|старый\\r\\n|Д|P|Н|old.prn"}));
    }

    void abortBetweenFiles()
    {
        DataTest::createSysTables("LITE", sqlDir());
        const QString dir = freshDir("abort");
        for (int i = 1; i <= 3; ++i)
            WriteTextLines(dir + QString("/%1.FMT").arg(i), {";G", QString(";R%1").arg(i), ";P", ";Quarn", "x"});
        // Esc before the second file, answered "No": the import goes on
        AbortingUI goOn(2, TUserInterface::mbNo);
        SetUserInterface(&goOn);
        TFmtResult r = ImportReportFiles("LITE", dir);
        QCOMPARE(goOn.asked, QStringList{"Прервать процесс ?"});
        QCOMPARE(r.Count(TFmtAction::Added), 3);
        QVERIFY(!r.Aborted);
        // answered "Yes": the files before stay imported, the rest untouched
        DataTest::createSysTables("LITE", sqlDir());
        AbortingUI stop(2, TUserInterface::mbYes);
        SetUserInterface(&stop);
        r = ImportReportFiles("LITE", dir);
        QVERIFY(r.Aborted);
        QCOMPARE(actions(r), QList<TFmtAction>{TFmtAction::Added});
        QCOMPARE(DataTest::scalar("LITE", "SELECT COUNT(*) FROM SYS_REPORT"), QString("1"));
    }

    void exportSelection_data() { DataTest::engineRows(); }
    void exportSelection()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        DataTest::createSysTables(alias, sqlDir());
        const QString g = "TSQLForm_SQLGrid";
        store(alias, "Quarn", g, "Второй", ".DETAIL\r\n2\r\n", "same.prn");
        store(alias, "Quarn", g, "Первый", ";старый заголовок\r\n;\r\n.DETAIL\r\n1\r\n", "same.prn", "L");
        store(alias, "Quarn", g, "Пустой", "");
        store(alias, "Quarn", g, "Пустой NULL", QString());
        store(alias, "Quarn", g, "Путь", "знак 中\r\n", "c:\\out\\path.lst");
        // "_" of the group is not a wildcard
        store(alias, "Quarn", "TSQLFormXSQLGrid", "Похожий", "like\r\n", "like.prn");
        store(alias, "Other", g, "Чужой", "other\r\n", "other.prn");

        const QString one = freshDir("group");
        const TFmtResult r = ExportReportFiles(alias, one, g);
        QCOMPARE(actions(r), (QList<TFmtAction>{TFmtAction::Written, TFmtAction::Overwritten, TFmtAction::EmptyTemplate,
                                                TFmtAction::EmptyTemplate, TFmtAction::Written}));
        QCOMPARE(r.Entries[1].Name, QString("Первый"));
        QCOMPARE(r.Entries[1].Message, "Файл отчета \"Второй\" в группе \"" + g + "\" перезаписан (файл \""
                                           + one + "/same.FMT\")");
        QVERIFY(!r.Entries[1].LostCharacters);
        QVERIFY(r.Entries[4].LostCharacters);   // 中 is not in windows-1251
        QStringList files = QDir(one).entryList(QDir::Files);
        files.sort();
        QCOMPARE(files, (QStringList{"path.FMT", "same.FMT"}));
        // the later report's file, its old header replaced
        QCOMPARE(ReadTextLines(one + "/same.FMT"), (QStringList{";" + g, ";Первый", ";L", ";Quarn", ".DETAIL", "1"}));
        const QStringList path = ReadTextLines(one + "/path.FMT");
        QCOMPARE(path.mid(0, 4), (QStringList{";" + g, ";Путь", ";P", ";Quarn"}));
        QCOMPARE(path.size(), 5);
        QVERIFY(path[4].startsWith("знак ") && path[4] != "знак 中");

        const QString all = freshDir("all");
        QCOMPARE(ExportReportFiles(alias, all).Count(TFmtAction::EmptyTemplate), 2);
        files = QDir(all).entryList(QDir::Files);
        files.sort();
        QCOMPARE(files, (QStringList{"like.FMT", "path.FMT", "same.FMT"}));
        // an import limited to a group skips the others
        DataTest::createSysTables(alias, sqlDir());
        const TFmtResult in = ImportReportFiles(alias, all, QString("TSQLFormXSQLGrid"));
        QCOMPARE(actions(in), (QList<TFmtAction>{TFmtAction::Added, TFmtAction::OtherGroup, TFmtAction::OtherGroup}));
        QCOMPARE(DataTest::scalar(alias, "SELECT COUNT(*) FROM SYS_REPORT"), QString("1"));
    }

    void missingTableOrFolder()
    {
        const QString dir = freshDir("missing");
        WriteTextLines(dir + "/a.FMT", {";G", ";R", ";P", ";Quarn", "x"});
        QUARN_EXPECT_ERROR(ImportReportFiles("LITE", dir + "/nowhere"), "Папка " + dir + "/nowhere не найдена");
        // without the table nothing is tried file by file
        DataTest::exec("LITE", {"DROP TABLE IF EXISTS SYS_REPORT"});
        QVERIFY_THROWS_EXCEPTION(Exception, ImportReportFiles("LITE", dir));
        QVERIFY_THROWS_EXCEPTION(Exception, ExportReportFiles("LITE", dir + "/new"));
        QVERIFY(!QFileInfo::exists(dir + "/new"));
    }
};

QUARN_TEST_MAIN(ReportFilesTest)
#include "ReportFilesTest.moc"
