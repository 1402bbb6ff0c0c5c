#include "TestSupport.h"

#include "common/Settings.h"
#include "common/TextFile.h"
#include "report/KtReport.h"
#include "report/TestPage.h"
#include "viewer/OutputPages.h"

#include <QFile>
#include <QGuiApplication>

// The mapped output file, its lines and pages as the viewer sees them, the
// layout of a line and the PDF output; with the fixed-pitch measurer (10
// points at 300 DPI: lines of 42 pixels, characters of 25) unless said.
class OutputPagesTest : public QObject {
    Q_OBJECT

    static QString path(const QString &name) { return ProgramDir() + u'/' + name; }

    static void writeBytes(const QString &name, const QByteArray &bytes)
    {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    static void load(TOutputPages &pages, const QString &name, int pageLines)
    {
        pages.Load(path(name), TPageGeometry::Portrait, std::make_shared<TTestPage>(pageLines),
                   std::make_unique<TFixedPitchMeasurer>(300));
    }

    // Runs a template over `records` records (variable ID = 1, 2, ...).
    static void run(TKtReport &r, const QStringList &templ, const QString &output, int records)
    {
        r.SetFormatSource(templ);
        r.SetPrintName(output);
        int n = 0;
        r.OnSetNames = [](TCustomReport &rep) { rep.GetVar("ID").SetAsNumber(0); };
        r.OnEndReport = [&n, records](TCustomReport &rep) {
            if (n >= records)
                return true;
            rep.GetVar("ID").SetAsNumber(++n);
            return false;
        };
        r.OnSetValues = [](TCustomReport &) {};
        r.Prepare();
        r.Execute();
        r.OnEndReport = nullptr;
    }

    // The pages as "first-last" texts.
    static QStringList pageList(const TOutputPages &pages)
    {
        QStringList list;
        for (const TPage &p : pages.Pages())
            list << QStringLiteral("%1-%2").arg(p.first).arg(p.last);
        return list;
    }

private slots:
    void mapperChecks()
    {
        TFileMapper m;
        QUARN_EXPECT_ERROR(m.Byte(0), "Файл не открыт");
        QUARN_EXPECT_ERROR(m.SetFileName(path("none.prn")), "Не могу открыть файл");
        QVERIFY(m.FileName().isEmpty());
        writeBytes("empty.prn", {});
        QUARN_EXPECT_ERROR(m.SetFileName(path("empty.prn")), "Файл имеет нулевой размер");
        QVERIFY(!m.IsOpen());
        writeBytes("abc.prn", "abc");
        m.SetFileName(path("abc.prn"));
        QCOMPARE(m.Size(), 3);
        QCOMPARE(m.Byte(2), 'c');
        QCOMPARE(m.Address(3), m.Address(0) + 3);   // the end address
        QUARN_EXPECT_ERROR(m.Byte(3), "Индекс вне диапазона");
        QUARN_EXPECT_ERROR(m.Address(-1), "Индекс вне диапазона");
        m.SetFileName(QString());
        QUARN_EXPECT_ERROR(m.Address(0), "Файл не открыт");
    }

    void missingFile()
    {
        TOutputPages pages;
        writeBytes("one.prn", "one\r\n");
        load(pages, "one.prn", 10);
        QUARN_EXPECT_ERROR(load(pages, "gone.prn", 10), "Нет информации для просмотра");
        QVERIFY(!pages.IsLoaded());
        QCOMPARE(pages.LineCount(), 0);
    }

    void pagination_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("pageLines");
        QTest::addColumn<QStringList>("pages");
        // a page ends before the line that makes the heights reach the page
        // height; the last line never starts a page
        QTest::newRow("by height") << QByteArray("1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n") << 3
                                   << QStringList{"0-1", "2-3", "4-6"};
        QTest::newRow("marks") << QByteArray("1\r\n^2\r\n3\r\n^4\r\n5\r\n") << 10
                               << QStringList{"0-0", "1-2", "3-4"};
        QTest::newRow("last line marked") << QByteArray("1\r\n2\r\n^") << 10 << QStringList{"0-2"};
        QTest::newRow("mark on the first line") << QByteArray("^1\r\n2\r\n") << 10 << QStringList{"0-1"};
        // \F16:99 makes a line of 99 points, 413 pixels: taller than the page
        QTest::newRow("tall line") << QByteArray("1\r\n\\F16:99big\r\n\\F255:2\r\n3\r\n") << 5
                                   << QStringList{"0-0", "1-1", "2-3"};
        QTest::newRow("CR only") << QByteArray("1\r2\r3\r4") << 2 << QStringList{"0-0", "1-1", "2-3"};
        QTest::newRow("empty lines count") << QByteArray("\r\n\r\n\r\n") << 2 << QStringList{"0-0", "1-2"};
    }

    void pagination()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, pageLines);
        QFETCH(QStringList, pages);
        writeBytes("p.prn", bytes);
        TOutputPages out;
        load(out, "p.prn", pageLines);
        QCOMPARE(pageList(out), pages);
    }

    void lfOnlyIsOneLine()
    {
        QByteArray bytes;
        for (int i = 0; i < 400; ++i)
            bytes += "line " + QByteArray::number(i) + '\n';
        writeBytes("lf.prn", bytes);
        TOutputPages pages;
        load(pages, "lf.prn", 60);
        QCOMPARE(pages.LineCount(), 1);
        QCOMPARE(pages.LineText(0).size(), TOutputPages::MaxLineLength);
        QVERIFY(pages.LineText(0).startsWith("line 0\nline 1\n"));
    }

    void fontAndParagraphState()
    {
        // the state where each line starts, and the page mark taken off
        writeBytes("s.prn", EncodeText("\\F17:14Жирный\r\n^дальше\r\n\\PB10:5 абзац\r\nещё\\PE\r\nконец\\F255:\r\nx\r\n"));
        TOutputPages pages;
        load(pages, "s.prn", 60);
        const auto &l = pages.Lines();
        QCOMPARE(pages.LineText(1), QStringLiteral("дальше"));
        QVERIFY(l[1].Has(TLine::PageStart));
        QCOMPARE(int(l[1].fontCode), 17);
        QCOMPARE(l[1].Font(), (TFontSpec{TFontFace::Courier, 14, fsBold}));
        QCOMPARE(int(l[1].height), 58);   // 14 points at 300 DPI
        QVERIFY(l[2].Has(TLine::Paragraph));
        QCOMPARE(int(l[2].leftMargin), MmToPixels(10, 300));
        QCOMPARE(int(l[2].rightMargin), MmToPixels(5, 300));
        QVERIFY(l[3].Has(TLine::Paragraph) && l[3].Has(TLine::ParagraphEnd));
        QCOMPARE(int(l[3].leftMargin), MmToPixels(10, 300));
        QVERIFY(!l[4].Has(TLine::Paragraph));
        QCOMPARE(int(l[4].leftMargin), 0);
        QCOMPARE(l[5].Font(), TFontSpec::Default());
        QCOMPARE(int(l[5].fontCode), 255);
    }

    void justification_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("justified");
        QTest::newRow("two words") << "\\PB0:0один два" << false;
        QTest::newRow("three words") << "\\PB0:0один два три   " << true;
        QTest::newRow("three words, codes between") << "\\PB0:0один \\F17:два три" << true;
    }

    void justification()
    {
        QFETCH(QString, line);
        QFETCH(bool, justified);
        writeBytes("j.prn", EncodeText(line + "\r\nпоследняя\\PE\r\n"));
        TOutputPages pages;
        load(pages, "j.prn", 60);
        std::vector<TFragment> fragments;
        std::vector<TShape> shapes;
        pages.LayoutLine(0, 0, TLayoutView(), fragments, shapes);
        QVERIFY(!fragments.empty());
        const TFragment &last = fragments.back();
        const double end = last.x + last.text.size() * 25;
        if (justified) {
            QCOMPARE(end, 2000.0);   // the last word ends at the right edge
        } else {
            QVERIFY(end < 1000);
        }
        // the last line of the paragraph is never stretched
        fragments.clear();
        pages.LayoutLine(1, 42, TLayoutView(), fragments, shapes);
        QCOMPARE(fragments.size(), size_t(1));
        QCOMPARE(fragments[0].x, 0.0);
    }

    void shapesAndScale()
    {
        writeBytes("r.prn", EncodeText("ab\\R10:20:30:40:2cd\\L0:0:100:0:1\r\n"));
        TOutputPages pages;
        load(pages, "r.prn", 60);
        std::vector<TFragment> fragments;
        std::vector<TShape> shapes;
        TLayoutView view;
        view.scale = 2;
        view.pageTop = 10;
        pages.LayoutLine(0, 10, view, fragments, shapes);
        QCOMPARE(shapes.size(), size_t(2));
        QVERIFY(shapes[0].rect);
        QCOMPARE(shapes[0].box, QRectF(QPointF(MmToPixels(10, 300) / 2.0, 10 + MmToPixels(20, 300) / 2.0),
                                       QPointF(MmToPixels(30, 300) / 2.0, 10 + MmToPixels(40, 300) / 2.0)));
        QCOMPARE(shapes[1].line, QLineF(0, 10, MmToPixels(100, 300) / 2.0, 10));
        // the codes take no room: the text is one run
        QCOMPARE(fragments.size(), size_t(1));
        QCOMPARE(fragments[0].text, QStringLiteral("abcd"));
    }

    void writerAndViewerBreakAlike()
    {
        // a report without page header leaves no marks: the viewer must find
        // the writer's page ends by the heights alone
        for (const QString &footer : {QStringLiteral(".PAGEFOOTER\nПодвал"), QStringLiteral(".PAGEHEADER\nШапка\n.PAGEFOOTER\nПодвал")}) {
            TKtReport r;
            r.SetPageGeometry(std::make_shared<TTestPage>(7));
            r.SetMeasurer(std::make_unique<TFixedPitchMeasurer>(300));
            run(r, (".DETAIL\n\\F1:12Строка @ID\\F255:\n" + footer).split(u'\n'), "w.prn", 30);
            TOutputPages pages;
            load(pages, "w.prn", 7);
            QVERIFY(pages.PageCount() >= 5);
            for (int p = 0; p < pages.PageCount(); ++p)
                QCOMPARE(pages.LineText(pages.Pages()[size_t(p)].last), QStringLiteral("Подвал"));
        }
    }

    void realFontsPdf()
    {
        // a report over real fonts as PDF: one PDF page per viewer page
        QStringList templ{".PAGEHEADER", "\\F1:14Шапка @PageNum\\F255:\\L10:10:190:10:3", ".DETAIL",
                          "\\F32:11Строка @ID\\F255: и моноширинный хвост", ".PAGEFOOTER", "\\F2:9подвал"};
        TKtReport r;
        run(r, templ, "real.prn", 150);
        TOutputPages pages;
        pages.Load(path("real.prn"), TPageGeometry::Portrait, std::make_shared<TVirtualPrinter>(300));
        QCOMPARE(pages.PageCount(), countMarks(ReadTextLines(path("real.prn"))) + 1);
        QCOMPARE(WriteOutputPdf(path("real.prn"), path("real.pdf"), TPageGeometry::Portrait), pages.PageCount());
        QFile pdf(path("real.pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        const QByteArray bytes = pdf.readAll();
        QVERIFY(bytes.startsWith("%PDF-"));
        QCOMPARE(int(bytes.count("/Type /Page\n")), pages.PageCount());
    }

    void lineIndex_data()
    {
        // the index keeps where lines start; where each ends and its text
        // follow from the next start
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("CR LF") << QByteArray("a\r\nbc\r\n") << QStringList{"a", "bc"};
        QTest::newRow("CR, last line open") << QByteArray("a\rbc\rdef") << QStringList{"a", "bc", "def"};
        QTest::newRow("LF is text") << QByteArray("a\n\rb\n\r\n") << QStringList{"a\n", "b\n"};
        QTest::newRow("empty lines") << QByteArray("\r\n\r\r\nx") << QStringList{"", "", "", "x"};
        QTest::newRow("marks") << QByteArray("^\r\n^a\r\n^") << QStringList{"", "a", ""};
        QTest::newRow("long line cut") << QByteArray(2500, 'x') + "\r\ny" << QStringList{QString(2000, u'x'), "y"};
    }

    void lineIndex()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, texts);
        writeBytes("i.prn", bytes);
        TOutputPages pages;
        load(pages, "i.prn", 60);
        QStringList got;
        for (int i = 0; i < pages.LineCount(); ++i)
            got << pages.LineText(i);
        QCOMPARE(got, texts);
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, pages.Lines().at(size_t(pages.LineCount())));
    }

    void repeatedLinesMeasuredInTheirState()
    {
        // "a\F16:20" is as tall as the font it starts in: the same bytes
        // in another state measure anew; plain lines take the state left
        writeBytes("m.prn", "a\\F16:20\r\nz\r\n\\F16:14\r\na\\F16:20\r\nz\r\n\\F16:12\r\na\\F16:20\r\n"
                            "\\F255:\r\na\\F16:20\r\n");
        TOutputPages pages;
        load(pages, "m.prn", 60);
        QList<int> heights;
        for (int i = 0; i < pages.LineCount(); ++i)
            heights << pages.Lines()[size_t(i)].height;
        QCOMPARE(heights, (QList<int>{42, 83, 0, 58, 83, 0, 50, 0, 42}));
        QCOMPARE(pages.Lines()[4].Font(), (TFontSpec{TFontFace::Courier, 20, 0}));
    }

    void linesOfAKindShareIt()
    {
        // a page header with codes, a mark and plain lines: a handful of
        // kinds however many lines
        QByteArray bytes;
        for (int i = 0; i < 3000; ++i)
            bytes += i % 60 == 0 ? QByteArray("^\\F1:12Header\\F255:\r\n") : "line " + QByteArray::number(i) + "\r\n";
        writeBytes("k.prn", bytes);
        TOutputPages pages;
        load(pages, "k.prn", 100);
        QCOMPARE(pages.LineCount(), 3000);
        QCOMPARE(int(pages.Lines().KindCount()), 2);
        QCOMPARE(int(pages.Lines().RunCount()), 100);
        QCOMPARE(pages.PageCount(), 50);
    }

private:
    static int countMarks(const QStringList &lines)
    {
        return int(std::count_if(lines.begin(), lines.end(), [](const QString &l) { return l.startsWith(u'^'); }));
    }
};

QUARN_GUI_TEST_MAIN(OutputPagesTest)
#include "OutputPagesTest.moc"
