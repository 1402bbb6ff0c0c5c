#include "TestSupport.h"

#include "common/Settings.h"
#include "common/Format.h"
#include "common/SafeFile.h"
#include "common/TextFile.h"
#include "data/Database.h"
#include "data/Query.h"
#include "report/KtReport.h"
#include "report/OutputPasses.h"
#include "report/TestPage.h"

#include <QFile>
#include <QGuiApplication>

// Pages of the output file: page footers and headers, page marks, paragraphs
// across breaks, record headers, page totals, forced breaks, the code page
// and the post-processing; with the fixed-pitch measurer and, at the end,
// with the real fonts.
class PageOutputTest : public QObject {
    Q_OBJECT

    static QString path(const QString &name) { return ProgramDir() + u'/' + name; }

    // Runs a template over `records` records (variable ID = 1, 2, ...).
    static std::unique_ptr<TKtReport> run(const QString &templ, int records, int pageLines,
                                          bool realFonts = false, const QString &printName = "report.prn")
    {
        auto r = std::make_unique<TKtReport>();
        r->SetPageGeometry(std::make_shared<TTestPage>(pageLines));
        if (!realFonts)
            r->SetMeasurer(std::make_unique<TFixedPitchMeasurer>(300));
        r->SetFormatSource(templ.split(u'\n'));
        r->SetPrintName(printName);
        r->OnSetNames = [](TCustomReport &rep) { rep.GetVar("ID").SetAsNumber(0); };
        // the end test moves to the next record; OnSetValues also fires
        // when the variables script runs, so it cannot count records
        int n = 0;
        r->OnEndReport = [&n, records](TCustomReport &rep) {
            if (n >= records)
                return true;
            rep.GetVar("ID").SetAsNumber(++n);
            return false;
        };
        r->OnSetValues = [](TCustomReport &) {};
        r->Prepare();
        r->Execute();
        r->OnEndReport = nullptr;
        r->OnSetValues = nullptr;
        return r;
    }

    static QStringList lines() { return ReadTextLines(path("report.prn")); }

    static int countMatching(const QStringList &list, const QString &pattern)
    {
        const QRegularExpression re(pattern);
        return int(std::count_if(list.begin(), list.end(), [&](const QString &l) { return re.match(l).hasMatch(); }));
    }

private slots:
    void pageFootersAndHeaders()
    {
        // in footers a number shows its total: the page number needs the
        // current-value mark (decimals 300)
        run(".PAGEHEADER\nШапка @PageNum\n.DETAIL\nСтрока @ID\n.PAGEFOOTER\nПодвал @PageNum:.300", 12, 6);
        QCOMPARE(lines(), QStringList({"Строка 1", "Строка 2", "Строка 3", "Строка 4", "Подвал 1",
                                       "^Шапка 2", "Строка 5", "Строка 6", "Строка 7", "Подвал 2",
                                       "^Шапка 3", "Строка 8", "Строка 9", "Строка 10", "Подвал 3",
                                       "^Шапка 4", "Строка 11", "Строка 12", "Подвал 4"}));
    }

    void noMarksWithoutPageHeader()
    {
        run(".DETAIL\nСтрока @ID\n.PAGEFOOTER\nПодвал", 30, 6);
        const QStringList out = lines();
        QVERIFY(std::none_of(out.begin(), out.end(), [](const QString &l) { return l.startsWith('^'); }));
        QCOMPARE(out.count("Подвал"), 8);   // every page ends with its footer
    }

    void pageTotals()
    {
        run(".DETAIL\n@ID\n.PAGEFOOTER\nстр. @ID:-3", 7, 5);
        // four lines per page, the footer taking the fifth
        QCOMPARE(lines(), QStringList({"1", "2", "3", "стр.   6", "4", "5", "6", "стр.  15", "7", "стр.   7"}));
    }

    void recordHeaders()
    {
        // the first record and the first one after a break get no record
        // header; one that would not fit is dropped, not moved
        run(".RECORDHEADER\n--\n.DETAIL\nзапись @ID", 5, 4);
        QCOMPARE(lines(), QStringList({"запись 1", "--", "запись 2", "запись 3",
                                       "запись 4", "--", "запись 5"}));
    }

    void paragraphAcrossBreak()
    {
        const QString words = QString("слово ").repeated(30).trimmed();   // 179 characters
        run(".VARS\nWords := '" + words + "'\n.PAGEHEADER\nШапка\n.DETAIL\n"
            "#IF ID = 2 THEN PutLine('\\PB10:20' + Words + '\\PE');\nстрока @ID\n.PAGEFOOTER\nПодвал",
            3, 4);
        const QStringList out = lines();
        const qsizetype close = out.indexOf(QRegularExpression("^\\\\PEПодвал$"));
        QVERIFY2(close > 0, qPrintable(out.join('\n')));
        QVERIFY2(out.at(close + 1) == "^Шапка", qPrintable(out.join('\n')));
        QVERIFY2(out.at(close + 2).startsWith("\\PB10:20слово"), qPrintable(out.join('\n')));
        // the paragraph's lines fit the width between its margins
        for (const QString &l : out)
            QVERIFY2(l.size() <= 80 + 8, qPrintable(l));
        QVERIFY(out.last().endsWith("строка 3") || out.contains("строка 3"));
    }

    void paragraphInSeveralLines_data()
    {
        // the lines of one paragraph put by a script or written by the
        // template: the text of each comes out in the order it was given,
        // none of it left for the end of the output
        QTest::addColumn<QString>("detail");
        const QString open = "#IF ID = 2 THEN PutLine('\\PB10:20' + Words);\n";
        QTest::newRow("put lines, the first cut") << open + "#IF ID = 2 THEN PutLine('хвост\\PE');";
        QTest::newRow("put lines, the first whole")
            << "#IF ID = 2 THEN PutLine('\\PB10:20начало');\n#IF ID = 2 THEN PutLine('хвост\\PE');";
        QTest::newRow("a template line") << open + "#IF ID = 2 THEN T := 'хвост\\PE'; ELSE T := '';\n@T";
    }

    void paragraphInSeveralLines()
    {
        QFETCH(QString, detail);
        const QString words = QString("слово ").repeated(30).trimmed();
        run(".VARS\nWords := '" + words + "'\n.DETAIL\n" + detail + "\nстрока @ID\n.REPORTFOOTER\nКонец", 3, 60);
        const QString text = lines().join(' ');
        const qsizetype tail = text.indexOf("хвост");
        QVERIFY2(tail > 0 && text.endsWith("Конец"), qPrintable(text));
        QVERIFY2(text.lastIndexOf("слово") < tail && text.lastIndexOf("начало") < tail, qPrintable(text));
        QVERIFY2(text.indexOf("строка 3") > tail, qPrintable(text));
        if (detail.contains("Words"))
            QCOMPARE(text.count("слово"), 30);
    }

    void formFeed()
    {
        run(".PAGEHEADER\nШапка\n.DETAIL\nстрока @ID\n#IF ID = 1 THEN F := 1; ELSE F := 0;\n@F:0\\N", 1, 60);
        run(".PAGEHEADER\nШапка\n.DETAIL\nстрока @ID @FormFeed хвост", 2, 60);
        QCOMPARE(lines(), QStringList({"строка 1 ", "^Шапка", "строка 2 "}));
    }

    void oemAndAppend()
    {
        run(".VARS\nOEMConvert := TRUE\n.DETAIL\nПривет @ID", 1, 60);
        QFile f(path("report.prn"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("\x8F\xE0\xA8\xA2\xA5\xE2 1\r\n"));
        f.close();
        run(".VARS\nFileAppendMode := TRUE\n.DETAIL\nещё @ID", 1, 60);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("\x8F\xE0\xA8\xA2\xA5\xE2 1\r\n") + EncodeText("ещё 1\r\n"));
    }

    void twoPagesPerSheetAfterRun()
    {
        // pages of 25 lines (26 with the header), sheets of 60 lines
        run(".VARS\nPageSize := 60\n.PAGEHEADER\nШапка\n.DETAIL\n@ID", 60, 27);
        const QStringList out = lines();
        QVERIFY(QFile::exists(path("report.bak")));
        QVERIFY(!QFile::exists(path("report.$$$")));
        // the second page of a sheet lost its mark and moved down
        QVERIFY2(out.contains("Шапка"), qPrintable(out.join('\n')));
        QCOMPARE(out.count("^Шапка") + out.count("Шапка"), 2);
    }

    void stableBytes()
    {
        const QString templ = ".PAGEHEADER\n\\F1:12Шапка @PageNum\\F255:\n.DETAIL\nстрока @ID:-4 \\F34:строка\n.PAGEFOOTER\nподвал";
        run(templ, 40, 8);
        QFile f(path("report.prn"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray first = f.readAll();
        f.close();
        run(templ, 40, 8);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), first);
    }

    // Measures every written line again, in order, as the viewer will, and
    // checks that each page's lines fit its height and that the next
    // page's first line would not have fitted as well.
    static void checkPageHeights(const QStringList &out, int page, int usable)
    {
        TFontMeasurer m(300);
        m.SetFont(TFontSpec::Default());
        auto heightOf = [&](const QString &line) {
            int h = 0;
            for (qsizetype i = 0; i < line.size();) {
                if (line[i] == '\\') {
                    const TPrintCode c = ParsePrintCode(line, i);
                    if (c.kind == TPrintCode::Font) {
                        m.SetFont(FontForCode(c.fontCode, c.fontSize, m.Font()));
                        i += c.length;
                        continue;
                    }
                }
                h = std::max(h, m.TextHeight(QStringView(line).mid(i, 1)));
                ++i;
            }
            return h;
        };
        int sum = 0;
        int pages = 0;
        for (const QString &line : out) {
            const bool mark = line.startsWith('^');
            const int h = heightOf(mark ? line.mid(1) : line);
            if (mark) {
                QVERIFY2(sum <= page, qPrintable(QString("page %1 holds %2 of %3").arg(pages).arg(sum).arg(page)));
                ++pages;
                sum = 0;
            }
            sum += h;
        }
        QVERIFY(sum <= page);
        QVERIFY(pages >= 2);
        Q_UNUSED(usable);
    }

    void realFontsBreakWhereHeightsSay()
    {
        // a report in several fonts over real Liberation metrics at 300 DPI
        const QString templ = ".PAGEHEADER\n\\F1:14Шапка @PageNum\\F255:\n.DETAIL\n"
                              "\\F32:11Строка @ID\\F255: и моноширинный хвост\n.PAGEFOOTER\n\\F2:9подвал";
        auto report = run(templ, 120, 20, true);
        const QStringList out = lines();
        QVERIFY(countMatching(out, "^\\^") >= 3);
        checkPageHeights(out, report->PageHeight(), report->UsableHeight());
        QCOMPARE(countMatching(out, "^\\^") + 1, countMatching(out, "^(\\\\F2:9)?подвал"));
    }

    void orientationTurnedByTheTemplate()
    {
        // the variables turn the page: the first run already breaks at the
        // landscape height, with the page footer's room kept
        TKtReport r;
        r.SetFormatSource({".VARS", "Orientation := 'L'", ".PAGEHEADER", "Лист @PageNum:-3.300", ".DETAIL",
                           "Строка @ID", ".PAGEFOOTER", "подвал"});
        r.SetPrintName("land.prn");
        r.OnSetNames = [](TCustomReport &rep) { rep.GetVar("ID").SetAsNumber(0); };
        int n = 0;
        r.OnEndReport = [&n](TCustomReport &rep) {
            if (n >= 300)
                return true;
            rep.GetVar("ID").SetAsNumber(++n);
            return false;
        };
        r.OnSetValues = [](TCustomReport &) {};
        r.Prepare();
        r.Execute();
        QCOMPARE(r.PageHeight(), DefaultPageGeometry()->PageHeight(TPageGeometry::Landscape));
        QVERIFY(r.PageHeight() < DefaultPageGeometry()->PageHeight(TPageGeometry::Portrait));
        checkPageHeights(ReadTextLines(path("land.prn")), r.PageHeight(), r.UsableHeight());
    }

    void demoInvoicesOnA4()
    {
        // the DEMO database as run.sh makes it, and an invoice register over
        // it on the virtual A4 printer at 300 DPI
        auto script = [](const char *name) {
            QFile f(QStringLiteral(QUARN_SOURCE_DIR "/sql/") + QLatin1String(name));
            return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
        };
        CreateSqliteDatabase(ProgramDir() + "/demo.sqlite", {script("sys_tables_sqlite.sql"), script("demo.sql")});
        TQuery q;
        q.SetDatabaseName("DEMO");
        q.SetSQLText("select i.INV_NUM, i.INV_DATE, c.CUS_NAME, c.CUS_CITY, i.INV_TOTAL from INVOICES i"
                     " join CUSTOMERS c on c.CUS_ID = i.CUS_ID order by c.CUS_CITY, i.INV_DATE, i.INV_NUM");
        q.SetUniDirectional(true);
        q.Open();
        TKtReport r;
        r.SetFormatSource(QStringList{
            ".VARS", "GROUP2 := CUS_CITY", ".REPORTHEADER", "\\F1:16Реестр счетов\\F255:",
            ".PAGEHEADER", "\\F1:10Реестр счетов, стр. @PageNum\\F255:", ".HEADER2", "\\F33:12@CUS_CITY\\F255:",
            ".DETAIL", "@INV_NUM:12 @INV_DATE @CUS_NAME:40 @INV_TOTAL:-14.2",
            ".FOOTER2", "\\F1:Итого @CUS_CITY:20 @INV_TOTAL:-40.2 (@INV_TOTAL:-5.200)\\F255:",
            ".PAGEFOOTER", "\\F2:8по странице @INV_TOTAL:-20.2\\F255:", ".FOOTER1", "Всего @INV_TOTAL:-20.2"});
        r.SetDataSet(&q);
        r.SetPrintName("demo.prn");
        r.Prepare();
        r.Execute();
        const QStringList out = ReadTextLines(path("demo.prn"));
        QVERIFY2(countMatching(out, "^\\^") >= 5, qPrintable(QString::number(out.size())));
        QCOMPARE(r.PageHeight(), MmToPixels(287, 300));
        checkPageHeights(out, r.PageHeight(), r.UsableHeight());
        // the grand total equals the database's own sum
        TQuery sum;
        sum.SetDatabaseName("DEMO");
        sum.SetSQLText("select sum(INV_TOTAL) from INVOICES");
        sum.Open();
        // indexOf wants the whole line to match
        const QString total = out.value(out.indexOf(QRegularExpression("\\^?Всего .*")));
        QVERIFY2(total.endsWith(FloatToStrF(sum.Fields(0)->AsFloat(), TFloatFormat::ffFixed, 15, 2)),
                 qPrintable(out.mid(out.size() - 6).join('\n')));
        // after the totals the last page ends with its footer
        QVERIFY(out.last().contains("по странице"));
        Session().CloseAll();
    }

    // A run that fails, on a full disk or in its script, leaves the previous
    // output as it was and nothing temporary beside it.
    void failedRunKeepsPreviousOutput_data()
    {
        QTest::addColumn<QString>("templ");
        QTest::addColumn<bool>("fullDisk");
        QTest::addColumn<QString>("error");
        QTest::newRow("full disk") << ".DETAIL\nстрока @ID" << true << "Ошибка записи в файл %1: нет места на диске";
        QTest::newRow("full disk, append")
            << ".VARS\nFileAppendMode := TRUE\n.DETAIL\nстрока @ID" << true << "Ошибка записи в файл %1: нет места на диске";
        QTest::newRow("script error") << ".DETAIL\nстрока @ID\n#X := 1 / (ID - 3)" << false << "Деление на 0";
    }

    void failedRunKeepsPreviousOutput()
    {
        QFETCH(QString, templ);
        QFETCH(bool, fullDisk);
        QFETCH(QString, error);
        TFullFolder folder;
        const QByteArray previous = "previous\r\n";
        folder.put("out.prn", previous);
        if (fullDisk)
            QUARN_REQUIRE_FULL_FOLDER(folder);
        else if (!folder.mounted())
            QSKIP(qPrintable("SKIPPED LOUDLY: no tmpfs (" + folder.why() + ")"));
        bool raised = false;
        try {
            run(templ, 5000, 60, false, folder.file("out.prn"));
        } catch (const Exception &e) {
            raised = true;
            if (error.contains("%1"))
                QCOMPARE(e.Message(), error.arg(folder.file("out.prn")));
            else
                QVERIFY2(e.Message().contains(error), qPrintable(e.Message()));
        }
        QVERIFY(raised);
        QFile f(folder.file("out.prn"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), previous);
        QCOMPARE(folder.names(), QStringList{"out.prn"});
    }

    void passOnFullDiskKeepsOutput_data()
    {
        QTest::addColumn<bool>("columns");
        QTest::newRow("two pages per sheet") << false;
        QTest::newRow("page columns") << true;
    }

    void passOnFullDiskKeepsOutput()
    {
        QFETCH(bool, columns);
        TFullFolder folder;
        const QByteArray output = "^one\r\ntwo\r\n^three\r\n";
        folder.put("out.prn", output);
        QUARN_REQUIRE_FULL_FOLDER(folder);
        bool raised = false;
        try {
            if (columns)
                PageColumns(folder.file("out.prn"), 2, 2);
            else
                TwoPagesPerSheet(folder.file("out.prn"), 6, false);
        } catch (const Exception &e) {
            raised = e.Message() == "Ошибка записи в файл " + folder.file("out.$$$") + ": нет места на диске";
        }
        QVERIFY(raised);
        QFile f(folder.file("out.prn"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), output);
        QCOMPARE(folder.names(), QStringList{"out.prn"});
    }
};

QUARN_GUI_TEST_MAIN(PageOutputTest)
#include "PageOutputTest.moc"
