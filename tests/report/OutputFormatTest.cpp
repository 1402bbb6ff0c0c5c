#include "TestSupport.h"

#include "common/Settings.h"
#include "report/OutputPasses.h"
#include "report/PageGeometry.h"
#include "report/PrintCodes.h"
#include "report/TextMeasurer.h"

#include <QFile>
#include <QFontInfo>
#include <QGuiApplication>

// Print codes, fonts by code, page geometry, the text measurers and the
// post-processing passes of the output file.
class OutputFormatTest : public QObject {
    Q_OBJECT

    static QList<QByteArray> pageOf(const QByteArray &name, int n, bool mark)
    {
        QList<QByteArray> lines;
        for (int i = 1; i <= n; ++i)
            lines << (i == 1 && mark ? "^" : "") + name + QByteArray::number(i);
        return lines;
    }

    static void writeFile(const QString &path, const QList<QByteArray> &lines)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        for (const QByteArray &l : lines)
            f.write(l + "\r\n");
    }

private slots:
    void printCodes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("length");
        QTest::addColumn<QList<int>>("values");

        using C = TPrintCode;
        QTest::newRow("font with size") << "\\F17:14rest" << int(C::Font) << 7 << QList<int>{17, 14};
        QTest::newRow("font without size") << "\\F1:x" << int(C::Font) << 4 << QList<int>{1, 0};
        QTest::newRow("font blanks around") << "\\F 33 :8" << int(C::Font) << 8 << QList<int>{33, 8};
        QTest::newRow("font modulo 256") << "\\F257:" << int(C::Font) << 6 << QList<int>{1, 0};
        QTest::newRow("font size two digits only") << "\\F0:123" << int(C::Font) << 6 << QList<int>{0, 12};
        QTest::newRow("font without colon") << "\\F12 x" << int(C::None) << 0 << QList<int>{};
        QTest::newRow("font without number") << "\\F:10" << int(C::None) << 0 << QList<int>{};
        QTest::newRow("line") << "\\L10:20:100:20:3" << int(C::Line) << 16 << QList<int>{10, 20, 100, 20, 3};
        QTest::newRow("rectangle, wide pen cut at 4 digits")
            << "\\R1:2:3:4:123456" << int(C::Rect) << 14 << QList<int>{1, 2, 3, 4, 1234};
        QTest::newRow("line with three numbers is text") << "\\L10:20:30" << int(C::None) << 0 << QList<int>{};
        QTest::newRow("line without width is text") << "\\L1:2:3:4:" << int(C::None) << 0 << QList<int>{};
        QTest::newRow("paragraph") << "\\PB10:15text" << int(C::ParaBegin) << 8 << QList<int>{10, 15};
        QTest::newRow("paragraph without right") << "\\PB10:text" << int(C::ParaBegin) << 6 << QList<int>{10, 0};
        QTest::newRow("paragraph without left") << "\\PB:5" << int(C::None) << 0 << QList<int>{};
        QTest::newRow("paragraph end") << "\\PEx" << int(C::ParaEnd) << 3 << QList<int>{};
        QTest::newRow("lower case is text") << "\\f1:" << int(C::None) << 0 << QList<int>{};
        QTest::newRow("lone backslash") << "\\" << int(C::None) << 0 << QList<int>{};
        QTest::newRow("backslash P alone") << "\\P" << int(C::None) << 0 << QList<int>{};
        // millimetres beyond any page are held at the limit, the code keeps its length
        QTest::newRow("huge paragraph margins clamped")
            << "\\PB999999999:999999" << int(C::ParaBegin) << 19 << QList<int>{2000, 2000};
        QTest::newRow("huge line coordinates clamped")
            << "\\L999999999:2001:2000:5:9999" << int(C::Line) << 28 << QList<int>{2000, 2000, 2000, 5, 9999};
    }
    void printCodes()
    {
        QFETCH(QString, text);
        QFETCH(int, kind);
        QFETCH(int, length);
        QFETCH(QList<int>, values);
        const TPrintCode c = ParsePrintCode(text, 0);
        QCOMPARE(int(c.kind), kind);
        QCOMPARE(c.length, length);
        QList<int> got;
        if (c.kind == TPrintCode::Font)
            got = {c.fontCode, c.fontSize};
        else if (c.kind == TPrintCode::Line || c.kind == TPrintCode::Rect)
            got = {c.x1, c.y1, c.x2, c.y2, c.width};
        else if (c.kind == TPrintCode::ParaBegin)
            got = {c.left, c.right};
        QCOMPARE(got, values);
    }

    void pixelsOfHugeNumbersStayInRange()
    {
        QCOMPARE(MmToPixels(2000, 300), 23622);
        QCOMPARE(MmToPixels(1e12, 300), 1000000000);
        QCOMPARE(MmToPixels(-1e12, 300), -1000000000);
        QCOMPARE(PointsToPixels(1e15, 600), 1000000000);
    }

    void codeInsideLine()
    {
        const QString line = "Итого:\\F1:12 сумма";
        const TPrintCode c = ParsePrintCode(line, line.indexOf('\\'));
        QCOMPARE(c.kind, TPrintCode::Font);
        QCOMPARE(line.mid(line.indexOf('\\') + c.length), QString(" сумма"));
    }

    void fontsByCode()
    {
        const TFontSpec start{TFontFace::Times, 12, 0};
        QCOMPARE(FontForCode(17, 14, start), (TFontSpec{TFontFace::Courier, 14, fsBold}));
        QCOMPARE(FontForCode(255, 0, start), TFontSpec::Default());
        QCOMPARE(FontForCode(1, 0, start), (TFontSpec{TFontFace::Arial, 12, fsBold}));
        QCOMPARE(FontForCode(38, 0, start), (TFontSpec{TFontFace::Times, 12, fsItalic | fsUnderline}));
        QCOMPARE(FontForCode(100, 9, start), (TFontSpec{TFontFace::Times, 9, 100 % 16}));
        QCOMPARE(FontForCode(241, 0, start), (TFontSpec{TFontFace::Courier, 12, fsBold}));
    }

    void units()
    {
        QCOMPARE(MmToPixels(25.4, 300), 300);
        QCOMPARE(MmToPixels(10, 300), 118);
        QCOMPARE(PointsToPixels(10, 300), 42);
        QCOMPARE(PointsToPixels(12, 72), 12);
    }

    void virtualPrinter()
    {
        QCOMPARE(TVirtualPrinter::ConfiguredDpi(300), 300);
        WriteSetting("PrinterDPI", "600");
        QCOMPARE(TVirtualPrinter::ConfiguredDpi(300), 600);
        WriteSetting("PrinterDPI", "abc");
        QCOMPARE(TVirtualPrinter::ConfiguredDpi(300), 300);
        WriteSetting("PrinterDPI", "");
        const TVirtualPrinter p(300);
        QCOMPARE(p.PageWidth(TPageGeometry::Portrait), MmToPixels(200, 300));
        QCOMPARE(p.PageHeight(TPageGeometry::Portrait), MmToPixels(287, 300));
        QCOMPARE(p.PageWidth(TPageGeometry::Landscape), p.PageHeight(TPageGeometry::Portrait));
    }

    void fixedPitchMeasurer()
    {
        TFixedPitchMeasurer m(300);
        QCOMPARE(m.TextHeight(u"abc"), 42);
        QCOMPARE(m.TextHeight(u""), 0);
        QCOMPARE(m.TextWidth(u"abcd"), 4 * 25);
        m.SetFont({TFontFace::Arial, 20, fsBold});
        QCOMPARE(m.TextHeight(u"x"), 83);
    }

    void realFonts()
    {
        // the Liberation fonts stand in for the report's fonts
        for (auto [face, family] : {std::pair{TFontFace::Arial, "Liberation Sans"},
                                    std::pair{TFontFace::Courier, "Liberation Mono"},
                                    std::pair{TFontFace::Times, "Liberation Serif"}}) {
            const QFont f = TFontMeasurer::QtFont({face, 10, 0}, 300);
            QCOMPARE(QFontInfo(f).family(), QString(family));
            QCOMPARE(f.pixelSize(), 42);
        }
        TFontMeasurer m(300);
        const int h10 = m.TextHeight(u"Ж");
        QVERIFY2(h10 >= 42 && h10 < 60, qPrintable(QString::number(h10)));
        // the mono face is fixed-pitch, Cyrillic included
        QCOMPARE(m.TextWidth(u"iiii"), m.TextWidth(u"ЖЖЖЖ"));
        QCOMPARE(m.TextWidth(u"abc"), m.CharWidth('a') + m.CharWidth('b') + m.CharWidth('c'));
        m.SetFont({TFontFace::Arial, 10, 0});
        QVERIFY(m.TextWidth(u"iiii") < m.TextWidth(u"ЖЖЖЖ"));
        m.SetFont({TFontFace::Arial, 20, 0});
        QVERIFY(m.TextHeight(u"x") > 2 * h10 - 10);
        // the same measurement twice gives the same result (cached or not)
        TFontMeasurer again(300);
        again.SetFont({TFontFace::Arial, 20, 0});
        QCOMPARE(again.TextWidth(u"Отчёт за март"), m.TextWidth(u"Отчёт за март"));
    }

    void twoPagesPerSheet()
    {
        // sheets of 60 lines: two pages of 25, then a third page
        QList<QByteArray> in = pageOf("a", 25, false) + pageOf("b", 25, true) + pageOf("c", 3, true);
        const QList<QByteArray> out = TwoPagesPerSheetLines(in, 60, true);
        QList<QByteArray> expected = pageOf("a", 25, false);
        for (int i = 0; i < 9; ++i)
            expected << QByteArray();
        expected << pageOf("b", 25, false) << pageOf("c", 3, true);
        QCOMPARE(out, expected);
        // the sheet's 60 lines end with the third page's mark line
        QCOMPARE(out.indexOf("^c1"), 59);
    }

    void twoPagesStrictAndNot()
    {
        // a first page longer than half a sheet is not merged in strict mode
        QList<QByteArray> in = pageOf("a", 35, false) + pageOf("b", 10, true) + pageOf("c", 2, true);
        QCOMPARE(TwoPagesPerSheetLines(in, 60, true), in);
        const QList<QByteArray> loose = TwoPagesPerSheetLines(in, 60, false);
        QCOMPARE(loose.size(), 61);
        QCOMPARE(loose.at(60 - 11), QByteArray("b1"));
        // a final "^" alone is dropped
        QCOMPARE(TwoPagesPerSheetLines({"x", "^ "}, 60, true), QList<QByteArray>{"x"});
    }

    void pageColumns()
    {
        const QList<QByteArray> in = {"a1", "a2", "b1", "b2", "c1", "c2", "d1"};
        QCOMPARE(PageColumnsLines(in, 2, 2), QList<QByteArray>({"a1b1", "a2b2", "^c1d1", "c2"}));
        QCOMPARE(PageColumnsLines(in, 2, 3), QList<QByteArray>({"a1b1c1", "a2b2c2", "^d1"}));
    }

    void passesOnFiles()
    {
        const QString path = ProgramDir() + "/report.prn";
        const QString temp = ProgramDir() + "/report.$$$";
        const QString backup = ProgramDir() + "/report.bak";
        // a missing output leaves nothing behind
        TwoPagesPerSheet(path, 60, true);
        PageColumns(path, 2, 2);
        QVERIFY(!QFile::exists(path) && !QFile::exists(temp) && !QFile::exists(backup));

        writeFile(path, {"a1", "a2", "b1", "b2"});
        writeFile(backup, {"old backup"});
        PageColumns(path, 2, 2);
        QFile out(path);
        QVERIFY(out.open(QIODevice::ReadOnly));
        QCOMPARE(out.readAll(), QByteArray("a1b1\r\na2b2\r\n"));
        QFile bak(backup);
        QVERIFY(bak.open(QIODevice::ReadOnly));
        QCOMPARE(bak.readAll(), QByteArray("a1\r\na2\r\nb1\r\nb2\r\n"));
        QVERIFY(!QFile::exists(temp));
    }
};

QUARN_GUI_TEST_MAIN(OutputFormatTest)
#include "OutputFormatTest.moc"
