#include "TestSupport.h"

#include "../data/DataTestSupport.h"
#include "common/Settings.h"
#include "common/TextFile.h"
#include "data/Database.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <sys/stat.h>
#include <unistd.h>

// The batch tool as a user runs it: a template file, an alias, a query.
class ReportToolTest : public QObject {
    Q_OBJECT

    struct TResult {
        int code;
        QString out;
        QString err;
    };

    static TResult runTool(const QStringList &templ, QStringList args)
    {
        const QString file = ProgramDir() + "/t.fmt";
        WriteTextLines(file, templ);
        args << "--template" << file;
        return run(args);
    }

    // Runs the tool in `folder` (the program directory unless named), so
    // that relative names on its command line are taken against it.
    static TResult run(const QStringList &args, const QString &folder = {},
                       const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        QProcess p;
        p.setWorkingDirectory(folder.isEmpty() ? ProgramDir() : folder);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(QUARN_REPORT_TOOL), args);
        if (!p.waitForFinished(60000))
            return {-1, {}, "timeout"};
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

    // The DEMO database as run.sh makes it.
    static void ensureDemo()
    {
        auto script = [](const char *name) {
            QFile f(QStringLiteral(QUARN_SOURCE_DIR "/sql/") + QLatin1String(name));
            return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
        };
        if (!QFile::exists(ProgramDir() + "/demo.sqlite"))
            CreateSqliteDatabase(ProgramDir() + "/demo.sqlite", {script("sys_tables_sqlite.sql"), script("demo.sql")});
    }

    static QStringList runDemoReport(const QString &name, const QString &query)
    {
        ensureDemo();
        const TResult r = run({"--alias", "DEMO", "--group", "TSQLForm_SQLGrid", "--name", name, "--query", query, "--out",
                               "demo.prn"});
        if (r.code != 0)
            qWarning("%s", qPrintable(r.err));
        return r.code == 0 ? ReadTextLines(ProgramDir() + "/demo.prn") : QStringList();
    }

private slots:
    void initTestCase()
    {
        DataTest::writeAliases();
        DataTest::exec("LITE", {"create table T (ID integer, NAME varchar(20), SUM numeric(10,2))",
                                "insert into T values (1, 'Альфа', 10.5), (2, 'Бета', 20)"});
    }

    void runsTemplate()
    {
        const TResult r = runTool({".REPORTHEADER", "Клиенты на @CurDate", ".DETAIL", "@ID:-3 @NAME:8 @SUM:-8.2",
                                   ".FOOTER1", "Итого @SUM:-12.2 @LIMIT"},
                                  {"--alias", "LITE", "--query", "select * from T order by ID", "--out", "list.prn",
                                   "--var", "LIMIT='до 100'"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out.trimmed(), ProgramDir() + "/list.prn");
        const QStringList lines = ReadTextLines(ProgramDir() + "/list.prn");
        QCOMPARE(lines.mid(1), QStringList({"  1 Альфа       10.50", "  2 Бета        20.00", "Итого        30.50 до 100"}));
        QVERIFY(lines.first().startsWith("Клиенты на "));
    }

    void presetsAndOneRecord()
    {
        const TResult r = runTool({".DETAIL", "@N:5.1/@D/@B/@S"},
                                  {"--one-record", "--out", "one.prn", "--var", "N=2.5", "--var", "D=05.03.2024",
                                   "--var", "B=true", "--var", "S=text"});
        QCOMPARE(r.code, 0);
        QCOMPARE(ReadTextLines(ProgramDir() + "/one.prn"), QStringList{"2.5  /05.03.2024//text"});
    }

    void compileErrors_data()
    {
        QTest::addColumn<QStringList>("templ");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("column");

        // the column is the scanner's place: just after the token in error
        QTest::newRow("bad character") << QStringList{".DETAIL", "x", "#A := 1 ? 2"} << "Неверный символ" << 3 << 10;
        QTest::newRow("missing ;") << QStringList{".VARS", "A = 1 < 2 < 3"} << "Требуется ;" << 2 << 12;
        QTest::newRow("unknown variable") << QStringList{".DETAIL", "#Y = Z + 1"} << "Z: Переменная не найдена" << 2 << 7;
        QTest::newRow("empty argument list") << QStringList{".DETAIL", "#X = Length()"} << "Требуется идентификатор" << 2 << 13;
        QTest::newRow("after a comment line") << QStringList{".DETAIL", "#A := 1", "; about B", "#B := (2 ]"} << "Требуется )" << 4 << 10;
        // a comment line ends the statement it interrupts
        QTest::newRow("comment inside an expression") << QStringList{".DETAIL", "#A := 1 +", "; about B", "#  2"} << "Требуется идентификатор" << 3 << 10;
        QTest::newRow("string across lines") << QStringList{".DETAIL", "#S := 'abc", "#def'"} << "Неожиданный конец строки" << 2 << 11;
    }
    void compileErrors()
    {
        QFETCH(QStringList, templ);
        QFETCH(QString, message);
        QFETCH(int, line);
        QFETCH(int, column);
        const TResult r = runTool(templ, {"--one-record", "--out", "e.prn"});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("Ошибка: " + message), qPrintable(r.err));
        QVERIFY2(r.err.contains(QString("Шаблон, строка %1, позиция %2:").arg(line).arg(column)), qPrintable(r.err));
    }

    void runtimeErrorPointsAtStatement()
    {
        const TResult r = runTool({".DETAIL", "#A := 1", "#B := 7 / (A - 1)", "ok"}, {"--one-record", "--out", "rt.prn"});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("Деление на 0"), qPrintable(r.err));
        QVERIFY2(r.err.contains("Шаблон, строка 3,"), qPrintable(r.err));
    }

    void listing()
    {
        const TResult r = runTool({".DETAIL", "#X := 1", ".VARS", "GROUP2 := X"}, {"--listing"});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.contains("[VARS]") && r.out.contains("[DETAIL]"), qPrintable(r.out));
        QVERIFY2(r.out.contains("TAssignConstCmd"), qPrintable(r.out));
        QVERIFY(!QFile::exists(ProgramDir() + "/report.prn"));
    }

    void expertScriptToSpreadsheet()
    {
        WriteSetting("OfficeOpen", "0");
        DataTest::exec("LITE", {"create table GOODS (CODE varchar(10), TITLE varchar(40), PRICE numeric(10,2), NOTE text)",
                                "insert into GOODS values ('007', 'Чай', 12.5, 'строка 1\nстрока 2'),"
                                " ('010', 'Кофе', 20, null)"});
        // the report expert's spreadsheet script, line for line
        const TResult r = runTool({".REPORTHEADER", "#W = OpenOLE('Excel')", "#Res = AddVarsOLE(W, CODE, TITLE, PRICE, NOTE)",
                                   ".DETAIL", "#Res = AddRecordOLE(W)", ".FOOTER1", "#Res = CloseOLE(W)", "#Res = Abort"},
                                  {"--alias", "LITE", "--query", "select * from GOODS order by CODE", "--out", "x.prn"});
        // the script ends with the silent stop
        QVERIFY2(r.code == 1 && r.err.contains("Выполнение прервано"), qPrintable(r.err));
        const QStringList books = QDir(ProgramDir()).entryList({"*.xlsx"});
        QCOMPARE(books.size(), 1);
        // an independent reader
        QProcess py;
        py.start("/usr/bin/python3", {"-c", "import sys, openpyxl\n"
                                             "ws = openpyxl.load_workbook(sys.argv[1]).active\n"
                                             "for row in ws.iter_rows():\n"
                                             "    print('|'.join(repr(c.value) + ':' + c.number_format for c in row))\n",
                                       ProgramDir() + "/" + books.first()});
        QVERIFY(py.waitForFinished(60000));
        if (py.exitCode() != 0)
            QSKIP(qPrintable("*** openpyxl NOT AVAILABLE: " + QString::fromUtf8(py.readAllStandardError())));
        const QStringList rows = QString::fromUtf8(py.readAllStandardOutput()).trimmed().split('\n');
        QCOMPARE(rows.size(), 3);
        QVERIFY2(rows[1].startsWith("'007':@|'Чай':@|12.5:"), qPrintable(rows[1]));
        QVERIFY2(rows[1].contains("'строка 1\\nстрока 2':@"), qPrintable(rows[1]));
        QVERIFY2(rows[2].startsWith("'010':@|'Кофе':@|20"), qPrintable(rows[2]));
    }

    void expertScriptToDocumentOverDemo()
    {
        WriteSetting("OfficeOpen", "0");
        ensureDemo();
        const TResult r = runTool({".REPORTHEADER", "#W = OpenOLE('Word')", "#Res = AddVarsOLE(W, PRD_NAME, PRD_UNIT, PRD_PRICE)",
                                   ".DETAIL", "#Res = AddRecordOLE(W)", ".FOOTER1", "#Res = CloseOLE(W)", "#Res = Abort"},
                                  {"--alias", "DEMO", "--query", "select * from PRODUCTS order by PRD_ID", "--out", "w.prn"});
        QVERIFY2(r.code == 1 && r.err.contains("Выполнение прервано"), qPrintable(r.err));
        const QStringList docs = QDir(ProgramDir()).entryList({"*.odt"});
        QCOMPARE(docs.size(), 1);
        if (!HaveUnzip())
            QSKIP("*** unzip NOT AVAILABLE: the document's XML was not read ***");
        const QString xml = QString::fromUtf8(UnzipEntry(ProgramDir() + "/" + docs.first(), "content.xml"));
        QVERIFY(xml.contains("table:table"));
        // the first product of the database is in the table
        TQuery first;
        first.SetDatabaseName("DEMO");
        first.SetSQLText("select PRD_NAME from PRODUCTS order by PRD_ID");
        first.Open();
        QVERIFY2(xml.contains(first.Fields(0)->AsString().toHtmlEscaped()), qPrintable(first.Fields(0)->AsString()));
        first.Close();
        Session().CloseAll();
    }

    void pdfOfDemoReport()
    {
        ensureDemo();
        const TResult r = runTool(
            {".VARS", "GROUP2 := CUS_CITY", ".PAGEHEADER", "\\F1:14Реестр счетов\\F255: страница @PageNum\\L10:18:200:18:3",
             ".REPORTHEADER", "\\R10:5:200:30:2\\PB20:20 Счета покупателей по городам: абзац выровнен по ширине "
             "страницы между полями, последняя его строка остается как есть.\\PE",
             ".HEADER2", "\\F17:12Город @CUS_CITY\\F255:", ".DETAIL", "  @INV_NUM:12 @INV_DATE @CUS_NAME:40 @INV_TOTAL:-14.2",
             ".FOOTER1", "Всего @INV_TOTAL:-20.2"},
            {"--alias", "DEMO", "--query",
             "select i.*, c.CUS_NAME, c.CUS_CITY from INVOICES i join CUSTOMERS c on c.CUS_ID = i.CUS_ID order by c.CUS_CITY, i.INV_DATE",
             "--out", "inv.prn", "--pdf", ProgramDir() + "/inv.pdf"});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        const QRegularExpressionMatch m = QRegularExpression("\\(страниц: (\\d+)\\)").match(r.out);
        QVERIFY2(m.hasMatch(), qPrintable(r.out));
        const int pages = m.captured(1).toInt();
        // the page header marks every page after the first
        const QStringList out = ReadTextLines(ProgramDir() + "/inv.prn");
        QCOMPARE(pages, int(std::count_if(out.begin(), out.end(), [](const QString &l) { return l.startsWith('^'); })) + 1);
        QVERIFY(pages > 10);
        Session().CloseAll();

        QProcess info;
        info.start("pdfinfo", {ProgramDir() + "/inv.pdf"});
        if (!info.waitForFinished(60000) || info.exitCode() != 0)
            QSKIP("*** pdfinfo NOT AVAILABLE (poppler-utils): the PDF was not read back ***");
        QVERIFY(QString::fromUtf8(info.readAllStandardOutput()).contains(QRegularExpression(QStringLiteral("Pages:\\s+%1\\n").arg(pages))));
        // the first page as an image has text and the box on it
        QProcess render;
        render.start("pdftoppm", {"-r", "50", "-f", "1", "-l", "1", "-png", ProgramDir() + "/inv.pdf", ProgramDir() + "/page"});
        QVERIFY(render.waitForFinished(60000) && render.exitCode() == 0);
        const QStringList images = QDir(ProgramDir()).entryList({"page*.png"});
        QCOMPARE(images.size(), 1);
        const QImage image(ProgramDir() + "/" + images.first());
        // an A4 page at 50 DPI, give or take the rounding of the renderer
        QVERIFY2(std::abs(image.width() - 413) <= 1 && std::abs(image.height() - 585) <= 1,
                 qPrintable(QStringLiteral("%1x%2").arg(image.width()).arg(image.height())));
        int dark = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                dark += qGray(image.pixel(x, y)) < 128;
        QVERIFY2(dark > 2000, qPrintable(QString::number(dark)));
    }

    // Every file the tool writes, on a full disk: exit code 1, the error
    // with the file and the reason, the old file unchanged, nothing left over.
    void fullDisk_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("file");
        QTest::newRow("output") << "output" << "old.prn";
        QTest::newRow("pdf") << "pdf" << "old.pdf";
        QTest::newRow("fmt export") << "fmt" << "list.FMT";
    }

    void fullDisk()
    {
        QFETCH(QString, what);
        QFETCH(QString, file);
        TFullFolder folder;
        folder.put(file, "old file");
        QUARN_REQUIRE_FULL_FOLDER(folder);
        const QString path = folder.file(file);
        TResult r;
        if (what == "fmt") {
            DataTest::createSysTables("LITE", QStringLiteral(QUARN_SOURCE_DIR "/sql"));
            DataTest::exec("LITE", {"INSERT INTO SYS_REPORT VALUES ('Quarn', 'Г', 'Список', '.DETAIL\r\n@NAME\r\n', 'Д', 'P', 'Н', 'list.prn')"});
            r = run({"--alias", "LITE", "--export-fmt", folder.path()});
        } else {
            r = runTool({".DETAIL", "@ID @NAME"},
                        {"--alias", "LITE", "--query", "select * from T order by ID", "--out",
                         what == "output" ? path : ProgramDir() + "/ok.prn", "--pdf", what == "pdf" ? path : ProgramDir() + "/ok.pdf"});
        }
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("Ошибка записи в файл " + path + ": нет места на диске"), qPrintable(r.err));
        QFile old(path);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old file"));
        QCOMPARE(folder.names(), QStringList{file});
    }

    // A value substituted into the SQL section cannot add a statement: the
    // run is refused before anything reaches the server.
    void substitutedStatementRefused_data() { DataTest::engineRows(); }
    void substitutedStatementRefused()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        DataTest::exec(alias, {"DROP TABLE IF EXISTS SECRET", "CREATE TABLE SECRET (ID integer)",
                               "INSERT INTO SECRET VALUES (7)"});
        const TResult r = runTool({".SQL", "select * from SECRET where '@CITY' = 'x'", ".DETAIL", "@ID"},
                                  {"--alias", alias, "--var", "CITY='; DROP TABLE SECRET; --", "--out",
                                   ProgramDir() + "/inj.prn"});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("Запрос должен содержать один оператор SQL, а после него стоит еще: DROP TABLE SECRET; --' = 'x'"),
                 qPrintable(r.err));
        QCOMPARE(DataTest::scalar(alias, "SELECT COUNT(*) FROM SECRET"), QString("1"));
        QVERIFY(!QFile::exists(ProgramDir() + "/inj.prn"));
        Session().CloseAll();
    }

    // Inputs asking for more than a page or memory holds are bounded: a
    // string over the limit is a script error at its line, huge widths and
    // margins are clamped (and the page arithmetic of the writer and the PDF
    // stays in range).
    void hostileInputs_data()
    {
        QTest::addColumn<QStringList>("templ");
        QTest::addColumn<int>("errorLine");   // 0: the run succeeds
        QTest::addColumn<int>("lineLength");  // of the first output line
        QTest::newRow("padding") << QStringList{".DETAIL", "#S := LPad('a', 1000000000)", "@S"} << 2 << 0;
        QTest::newRow("concatenation")
            << QStringList{".DETAIL", "#S := LPad('a', 70000000)", "#T := S + S", "@T"} << 3 << 0;
        QTest::newRow("field width") << QStringList{".DETAIL", "#N := 5", "@N:999999999"} << 0 << 4096;
        QTest::newRow("paragraph margins") << QStringList{".DETAIL", "\\PB999999999:999999 текст\\PE"} << 0 << 20;
        QTest::newRow("line coordinates") << QStringList{".DETAIL", "\\L999999999:1:999999999:2:9999 x"} << 0 << 32;
    }

    void hostileInputs()
    {
        QFETCH(QStringList, templ);
        QFETCH(int, errorLine);
        QFETCH(int, lineLength);
        const QString out = ProgramDir() + "/hostile.prn", pdf = ProgramDir() + "/hostile.pdf";
        QFile::remove(out);
        const TResult r = runTool(templ, {"--one-record", "--out", out, "--pdf", pdf});
        if (errorLine) {
            QCOMPARE(r.code, 1);
            QVERIFY2(r.err.contains("Строка длиннее 134217728 символов"), qPrintable(r.err));
            QVERIFY2(r.err.contains(QString("Шаблон, строка %1,").arg(errorLine)), qPrintable(r.err));
            QVERIFY(!QFile::exists(out));
        } else {
            QVERIFY2(r.code == 0, qPrintable(r.err));
            QCOMPARE(ReadTextLines(out).value(0).size(), lineLength);
            QVERIFY(QFileInfo(pdf).size() > 0);
        }
    }

    // Administrators move the stored reports between databases as .FMT files.
    void fmtExportImport_data() { DataTest::engineRows(); }
    void fmtExportImport()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        DataTest::createSysTables(alias, QStringLiteral(QUARN_SOURCE_DIR "/sql"));
        DataTest::exec(alias, {"INSERT INTO SYS_REPORT VALUES ('Quarn', 'Клиенты', 'Список', '.DETAIL\r\n@NAME\r\n', 'Д', 'L', 'Н', 'clients.prn')",
                               "INSERT INTO SYS_REPORT VALUES ('Quarn', 'Клиенты', 'Пустой', '', 'Д', 'P', 'Н', 'empty.prn')",
                               "INSERT INTO SYS_REPORT VALUES ('Quarn', 'Счета', 'Итоги', '.DETAIL\r\n@SUM\r\n', 'Д', 'P', 'Н', 'sums.prn')",
                               "INSERT INTO SYS_REPORT VALUES ('Other', 'Клиенты', 'Чужой', 'x', 'Д', 'P', 'Н', 'other.prn')"});
        const QString dir = ProgramDir() + "/fmt-" + alias;
        QDir(dir).removeRecursively();

        TResult r = run({"--alias", alias, "--export-fmt", dir, "--group", "Клиенты"});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains("Записан: " + dir + "/clients.FMT (Клиенты / Список)"), qPrintable(r.out));
        QVERIFY2(r.out.contains("Записано файлов: 1, перезаписано: 0, пропущено отчетов: 1, ошибок: 0"), qPrintable(r.out));
        QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList{"clients.FMT"});
        r = run({"--alias", alias, "--export-fmt", dir});   // all groups of the application
        QCOMPARE(r.code, 0);
        QCOMPARE(QDir(dir).entryList(QDir::Files, QDir::Name), (QStringList{"clients.FMT", "sums.FMT"}));

        DataTest::exec(alias, {"DELETE FROM SYS_REPORT"});
        WriteTextLines(dir + "/short.FMT", {";Клиенты", ";Коротко", ";P"});
        r = run({"--alias", alias, "--import-fmt", dir});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains("Добавлен: clients.FMT (Клиенты / Список)"), qPrintable(r.out));
        QVERIFY2(r.out.contains("Пропущен (меньше четырех строк): short.FMT"), qPrintable(r.out));
        QVERIFY2(r.out.contains("Добавлено: 2, заменено: 0, удалено: 0, без изменений: 0, пропущено: 1, ошибок: 0"),
                 qPrintable(r.out));

        // a report the table refuses is a failure; the others still go in
        WriteTextLines(dir + "/nogroup.FMT", {";", ";Без группы", ";P", ";Quarn"});
        WriteTextLines(dir + "/sums.FMT", {";Счета", ";Итоги", ";P", ";Quarn", ";delete"});
        r = run({"--alias", alias, "--import-fmt", dir});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("Ошибка добавления отчета \"Без группы\" в группе \"\" (файл \"nogroup.prn\")"),
                 qPrintable(r.err));
        QVERIFY2(r.out.contains("Удален: sums.FMT (Счета / Итоги)"), qPrintable(r.out));
        QVERIFY2(r.out.contains("Без изменений: clients.FMT (Клиенты / Список)"), qPrintable(r.out));
        QCOMPARE(DataTest::scalar(alias, "SELECT COUNT(*) FROM SYS_REPORT"), QString("1"));
        Session().CloseAll();
    }

    void storedReport_data() { DataTest::engineRows(); }
    void storedReport()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        DataTest::createSysTables(alias, QStringLiteral(QUARN_SOURCE_DIR "/sql"));
        DataTest::exec(alias, {"DROP TABLE IF EXISTS FMT_ITEMS", "CREATE TABLE FMT_ITEMS (ID integer, NAME varchar(20))",
                               "INSERT INTO FMT_ITEMS VALUES (1, 'Альфа')", "INSERT INTO FMT_ITEMS VALUES (2, 'Бета')",
                               "INSERT INTO SYS_REPORT VALUES ('Quarn', 'Товары', 'Список товаров', "
                               "'.DETAIL\r\n@ID @NAME @X\r\n', 'Д', 'P', 'Н', 'items.prn')",
                               "INSERT INTO SYS_REPORT VALUES ('Quarn', 'Товары', 'Итог', "
                               "'.DETAIL\r\nодин раз\r\n', 'Д', 'L', 'Д', NULL)",
                               "INSERT INTO SYS_REPORT VALUES ('Other', 'Товары', 'Чужой', '.DETAIL\r\nчужой\r\n', 'Д', 'P', 'Д', 'x.prn')",
                               "INSERT INTO SYS_REPORT VALUES ('Quarn', 'Товары', 'В папке', '.DETAIL\r\nв папке\r\n', 'Д', 'P', 'Д', "
                               "'reports/../reports/in.prn')"});
        // the stored output file and a name pattern
        TResult r = run({"--alias", alias, "--group", "Товары", "--name", "Список%", "--query",
                         "select * from FMT_ITEMS order by ID", "--var", "X=!"});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(r.out.trimmed(), ProgramDir() + "/items.prn");
        QCOMPARE(ReadTextLines(ProgramDir() + "/items.prn"), (QStringList{"1 Альфа !", "2 Бета !"}));
        // the stored one-record flag; --out wins over the stored name
        r = run({"--alias", alias, "--group", "Товары", "--name", "Итог", "--out", "once.prn"});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(ReadTextLines(ProgramDir() + "/once.prn"), QStringList{"один раз"});
        // a stored name with folders is the program directory's, wherever
        // the tool runs, and the tool says where it wrote
        QVERIFY(QDir(ProgramDir()).mkpath("reports") && QDir(ProgramDir()).mkpath("elsewhere/reports"));
        r = run({"--alias", alias, "--group", "Товары", "--name", "В папке"}, ProgramDir() + "/elsewhere");
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(r.out.trimmed(), ProgramDir() + "/reports/in.prn");
        QCOMPARE(ReadTextLines(ProgramDir() + "/reports/in.prn"), QStringList{"в папке"});
        QVERIFY(QDir(ProgramDir() + "/elsewhere/reports").isEmpty());
        // reports of another application are not found
        r = run({"--alias", alias, "--group", "Товары", "--name", "Чужой"});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("Отчет \"Чужой\" не найден"), qPrintable(r.err));
        Session().CloseAll();
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("nothing to do") << QStringList{"--alias", "LITE"};
        QTest::newRow("two things") << QStringList{"--alias", "LITE", "--export-fmt", "a", "--import-fmt", "b"};
        QTest::newRow("name without group") << QStringList{"--alias", "LITE", "--name", "X"};
        QTest::newRow("export without alias") << QStringList{"--export-fmt", "a"};
        QTest::newRow("group with a template file") << QStringList{"--group", "G", "--template", "t.fmt"};
    }
    void usage()
    {
        QFETCH(QStringList, args);
        const TResult r = run(args);
        QCOMPARE(r.code, 2);
        QVERIFY(!r.err.isEmpty());
    }

    void optionErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown option") << QStringList{"--alias", "LITE", "--bogus"} << "Неизвестный параметр «bogus»";
        QTest::newRow("missing value") << QStringList{"--template"} << "Отсутствует значение после «--template»";
        QTest::newRow("stray argument") << QStringList{"--template", "t.fmt", "extra"} << "Лишние аргументы: extra";
    }
    void optionErrors()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        const TResult r = run(args);
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.startsWith(message), qPrintable(r.err));
        QVERIFY2(r.err.contains("quarn-report --help"), qPrintable(r.err));
    }

    void helpInRussian()
    {
        const TResult r = run({"--help"});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.contains("Использование:") && r.out.contains("--template <FILE>") && r.out.contains("Файл шаблона."),
                 qPrintable(r.out));
        QCOMPARE(r.err, QString());
    }

    // Nothing but the tool's own messages on stderr, also without a
    // runtime directory in the environment.
    void quietStart()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("XDG_RUNTIME_DIR");
        const QString file = ProgramDir() + "/quiet.fmt";
        WriteTextLines(file, {".DETAIL", "@ID"});
        const TResult r = run({"--alias", "LITE", "--template", file, "--query", "select ID from T", "--out", "quiet.prn",
                               "--pdf", "quiet.pdf"},
                              {}, env);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(r.err, QString());
    }

    // Names on the command line are the user's: against the current folder.
    void commandLineNamesAgainstCurrentFolder()
    {
        QTemporaryDir cwd;
        WriteTextLines(cwd.path() + "/here.fmt", {".DETAIL", "@ID"});
        TResult r = run({"--alias", "LITE", "--template", "here.fmt", "--query", "select ID from T order by ID", "--out",
                         "here.prn", "--pdf", "here.pdf"},
                        cwd.path());
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY2(r.out.startsWith(cwd.path() + "/here.prn\n" + cwd.path() + "/here.pdf "), qPrintable(r.out));
        QCOMPARE(ReadTextLines(cwd.path() + "/here.prn"), (QStringList{"1", "2"}));
        QVERIFY(QFile::exists(cwd.path() + "/here.pdf"));
        QVERIFY(!QFile::exists(ProgramDir() + "/here.prn"));

        DataTest::createSysTables("LITE", QStringLiteral(QUARN_SOURCE_DIR "/sql"));
        DataTest::exec("LITE", {"INSERT INTO SYS_REPORT VALUES ('Quarn', 'Пути', 'Список', '.DETAIL\r\n@ID\r\n', 'Д', 'P', 'Н', 'ids.prn')"});
        r = run({"--alias", "LITE", "--export-fmt", "fmt", "--group", "Пути"}, cwd.path());
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(QFile::exists(cwd.path() + "/fmt/ids.FMT"));
        r = run({"--alias", "LITE", "--import-fmt", "fmt", "--group", "Пути"}, cwd.path());
        // the file read from there carries the header export wrote into it
        QVERIFY2(r.code == 0 && r.out.contains("Заменен шаблон: ids.FMT (Пути / Список)"), qPrintable(r.out + r.err));
        Session().CloseAll();
    }

    // A run without output says why, keeps quiet on stdout and has a code of
    // its own; a section name that names nothing is pointed out.
    void withoutOutput_data()
    {
        QTest::addColumn<QStringList>("templ");
        QTest::addColumn<QString>("query");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("no records") << QStringList{".DETAIL", "@ID"} << "select ID from T where ID < 0" << 3
                                    << "Нет записей: выходной файл %1 не записан" << QStringList{};
        QTest::newRow("misspelled detail")
            << QStringList{".DETIAL", "@ID"} << "select ID from T" << 3
            << "Внимание: строка 1 шаблона \".DETIAL\" не называет раздел; раздел пропущен со всеми его строками\n"
               "Отчет ничего не вывел: выходной файл %1 не записан"
            << QStringList{};
        QTest::newRow("misspelled footer")
            << QStringList{".DETAIL", "@ID", ".FOOTR1", "итог"} << "select ID from T order by ID" << 0
            << "Внимание: строка 3 шаблона \".FOOTR1\" не называет раздел; раздел пропущен со всеми его строками\n"
            << QStringList{"1", "2"};
        QTest::newRow("fields of other rows")
            << QStringList{".DETAIL", "@ID:1 @INV_NUM:3 @inv_num:2 @X:1", "#X := ID"} << "select ID from T order by ID" << 0
            << "Внимание: шаблон ссылается на поля, которых нет ни в записях, ни среди переменных: INV_NUM, X; "
               "на их месте печатаются знаки \"!\"\n"
            << QStringList{"1 !!! !! !", "2 !!! !! !"};
    }
    void withoutOutput()
    {
        QFETCH(QStringList, templ);
        QFETCH(QString, query);
        QFETCH(int, code);
        QFETCH(QString, message);
        QFETCH(QStringList, lines);
        const QString out = ProgramDir() + "/empty.prn";
        WriteTextLines(out, {"old"});
        const TResult r = runTool(templ, {"--alias", "LITE", "--query", query, "--out", "empty.prn"});
        QCOMPARE(r.code, code);
        QVERIFY2(r.err.startsWith(message.contains("%1") ? message.arg(out) : message), qPrintable(r.err));
        QCOMPARE(r.out.isEmpty(), lines.isEmpty());
        if (!lines.isEmpty())
            QCOMPARE(ReadTextLines(out), lines);
    }

    // An output that cannot be written names the file, not a template line.
    void unwritableOutput_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("file");
        QTest::newRow("output") << QStringList{"--out", "nosuch/out.prn"} << "nosuch/out.prn";
        QTest::newRow("pdf") << QStringList{"--out", "ok.prn", "--pdf", "nosuch/out.pdf"} << "nosuch/out.pdf";
    }
    void unwritableOutput()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, file);
        const TResult r = runTool({".VARS", "GROUP2 := ID", ".DETAIL", "#X := ID * 2", "@X"},
                                  QStringList{"--alias", "LITE", "--query", "select ID from T"} + args);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.startsWith("Ошибка: Не могу создать файл " + ProgramDir() + "/" + file), qPrintable(r.err));
        QVERIFY2(!r.err.contains("Шаблон, строка"), qPrintable(r.err));
        QCOMPARE(r.err.count('\n'), 1);
    }

    // --out through a symbolic link writes the file the link leads to (the
    // two-pages pass rewrites that file too) and the link stays; a named
    // pipe is refused before the run and stays a pipe.
    void outputThroughLinks()
    {
        const QString dir = ProgramDir() + "/linked";
        QVERIFY(QDir().mkpath(dir + "/real"));
        WriteTextLines(dir + "/real/out.prn", {"old"});
        QFile::remove(dir + "/out.prn");
        QVERIFY(::symlink("real/out.prn", QFile::encodeName(dir + "/out.prn").constData()) == 0);
        TResult r = runTool({".DETAIL", "@ID"}, {"--alias", "LITE", "--query", "select ID from T order by ID", "--out",
                                                 dir + "/out.prn", "--var", "PageSize=60"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out.trimmed(), dir + "/out.prn");
        QVERIFY(QFileInfo(dir + "/out.prn").isSymLink());
        QCOMPARE(ReadTextLines(dir + "/real/out.prn"), QStringList({"1", "2"}));
        QVERIFY(QFile::exists(dir + "/real/out.bak"));

        const QByteArray pipe = QFile::encodeName(dir + "/pipe.prn");
        QVERIFY(::mkfifo(pipe.constData(), 0600) == 0);
        r = runTool({".DETAIL", "@ID"}, {"--alias", "LITE", "--query", "select ID from T", "--out", dir + "/pipe.prn"});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err.trimmed(), "Ошибка: Не могу создать файл " + dir + "/pipe.prn: это именованный канал, а не обычный файл");
        struct stat st {};
        QVERIFY(::lstat(pipe.constData(), &st) == 0 && S_ISFIFO(st.st_mode));
        QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name),
                 QStringList({"out.prn", "pipe.prn", "real"}));
    }

    // A template saved as UTF-8 prints the bytes of its windows-1251 twin.
    void utf8Template_data()
    {
        QTest::addColumn<QByteArray>("prefix");
        QTest::newRow("UTF-8") << QByteArray();
        QTest::newRow("UTF-8 with byte-order mark") << QByteArray("\xEF\xBB\xBF");
    }
    void utf8Template()
    {
        QFETCH(QByteArray, prefix);
        const QString templ = ".REPORTHEADER\r\nСписок «клиентов»\r\n.DETAIL\r\n№@ID:-3 @NAME:8 @SUM:-8.2 руб.\r\n";
        auto runFile = [&](const QByteArray &bytes, const QString &out) {
            QFile f(ProgramDir() + "/" + out + ".fmt");
            if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
                return QByteArray("cannot write the template");
            f.close();
            const TResult r = run({"--alias", "LITE", "--template", out + ".fmt", "--query", "select * from T order by ID",
                                   "--out", out + ".prn"});
            QFile prn(ProgramDir() + "/" + out + ".prn");
            return r.code == 0 && prn.open(QIODevice::ReadOnly) ? prn.readAll() : r.err.toUtf8();
        };
        const QByteArray twin = runFile(EncodeText(templ), "cp1251");
        QVERIFY2(twin.contains(EncodeText("№  1 Альфа       10.50 руб.")), twin.constData());
        QCOMPARE(runFile(prefix + templ.toUtf8(), "utf8"), twin);
    }

    // The demo's stored reports head every page, the first one included,
    // with their columns.
    void demoReportHeaders_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("header");
        QTest::newRow("invoices") << "Реестр счетов" << "select * from INVOICES order by INV_NUM" << "Номер счета";
        QTest::newRow("customers") << "Список записей" << "select * from CUSTOMERS order by CUS_ID" << "Покупатель";
    }
    void demoReportHeaders()
    {
        QFETCH(QString, name);
        QFETCH(QString, query);
        QFETCH(QString, header);
        const QStringList lines = runDemoReport(name, query);
        const qsizetype pages = 1 + std::count_if(lines.begin(), lines.end(), [](const QString &l) { return l.startsWith('^'); });
        QVERIFY2(pages > 1, qPrintable(lines.join('\n')));
        QCOMPARE(std::count_if(lines.begin(), lines.end(), [&](const QString &l) { return l.contains(header); }), pages);
        QVERIFY2(lines.mid(0, 5).join('\n').contains(header), qPrintable(lines.mid(0, 5).join('\n')));
    }

    // The invoice register's totals are the database's own.
    void demoInvoiceTotals()
    {
        const QStringList lines = runDemoReport("Реестр счетов", "select * from INVOICES order by INV_NUM");
        const QString total = DataTest::scalar("DEMO", "select round(sum(INV_TOTAL), 2) from INVOICES");
        const QString count = DataTest::scalar("DEMO", "select count(*) from INVOICES");
        Session().CloseAll();
        const QStringList totals = lines.filter(QRegularExpression("^Итого\\s+[\\d,]+\\.\\d\\d$"));
        QCOMPARE(totals.size(), 1);
        QCOMPARE(totals.first().mid(5).trimmed().remove(','), QString::number(total.toDouble(), 'f', 2));
        QCOMPARE(lines.filter(QRegularExpression("^Счетов:\\s+\\d+$")).value(0).mid(7).trimmed(), count);
    }

    void badInput()
    {
        QCOMPARE(runTool({".DETAIL", "x"}, {"--alias", "NOSUCH", "--query", "select 1"}).code, 1);
        const TResult r = runTool({".DETAIL", "x"}, {"--alias", "LITE", "--query", "select * from NO_TABLE"});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("NO_TABLE"), qPrintable(r.err));
        const TResult cancelled = runTool({".DETAIL", "#X := GetString('Имя')", "@X"}, {"--one-record"});
        QCOMPARE(cancelled.code, 1);
        QVERIFY2(cancelled.err.startsWith("Ошибка: Выполнение прервано\n"), qPrintable(cancelled.err));
    }
};

QUARN_TEST_MAIN(ReportToolTest)
#include "ReportToolTest.moc"
