#include "TestSupport.h"

#include "common/Settings.h"
#include "common/TextFile.h"
#include "viewer/OutputPages.h"
#include "viewer/PdfDocument.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

// The output's PDF file (written by TPdfDocument) against the same pages
// painted on Qt's QPdfWriter, as the preview prints them: the same pages,
// the same words at the same places in the same sizes, the same lines, read
// back with poppler's tools. The glyph outlines differ a little (Qt embeds
// outlines of its own making, the PDF writer the font's), so images are
// compared by the ink of each pixel row, which a missing word, underline or
// frame line changes.
class PdfDocumentTest : public QObject {
    Q_OBJECT

    static QString path(const QString &name) { return ProgramDir() + u'/' + name; }

    static QByteArray run(const QString &program, const QStringList &args)
    {
        QProcess p;
        p.start(program, args);
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return {};
        return p.readAllStandardOutput();
    }

    static void paintOnQt(const QString &file, const QString &pdfFile, TPageGeometry::Orientation orientation)
    {
        TOutputPages pages;
        pages.Load(file, orientation, std::make_shared<TVirtualPrinter>());
        QPdfWriter pdf(pdfFile);
        pdf.setResolution(pages.Dpi());
        pdf.setPageLayout(OutputPdfLayout(orientation));
        QPainter painter(&pdf);
        for (int p = 0; p < pages.PageCount(); ++p) {
            if (p > 0)
                pdf.newPage();
            pages.PaintPage(painter, p);
        }
    }

    // The words with their page, left, top and bottom in points (the right
    // end depends on the width a file gives its last glyph, not on where
    // it is drawn).
    static QStringList words(const QString &pdf)
    {
        const QString xml = QString::fromUtf8(run("pdftotext", {"-bbox", pdf, "-"}));
        static const QRegularExpression page(QStringLiteral("<page "));
        static const QRegularExpression word(
            QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"[\\d.]+\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
        QStringList list;
        int pageNo = 0;
        for (const QString &line : xml.split(u'\n')) {
            if (line.contains(page))
                ++pageNo;
            const auto m = word.match(line);
            if (m.hasMatch())
                list << QStringLiteral("%1 %2 %3 %4 %5")
                            .arg(pageNo)
                            .arg(m.captured(1).toDouble(), 0, 'f', 2)
                            .arg(m.captured(2).toDouble(), 0, 'f', 2)
                            .arg(m.captured(3).toDouble(), 0, 'f', 2)
                            .arg(m.captured(4));
        }
        return list;
    }

    // The ink of each pixel row of every page at 100 DPI.
    static QList<QList<qint64>> rowInk(const QString &pdf, const QString &prefix)
    {
        run("pdftoppm", {"-r", "100", "-gray", "-png", pdf, path(prefix)});
        QList<QList<qint64>> pages;
        for (int p = 1;; ++p) {
            QImage image;
            for (const QString &name : {QStringLiteral("%1-%2.png").arg(prefix).arg(p),
                                        QStringLiteral("%1-%2.png").arg(prefix).arg(p, 2, 10, QLatin1Char('0'))})
                if (image.isNull())
                    image.load(path(name));
            if (image.isNull())
                return pages;
            image = image.convertToFormat(QImage::Format_Grayscale8);
            QList<qint64> rows;
            for (int y = 0; y < image.height(); ++y) {
                qint64 ink = 0;
                const uchar *line = image.constScanLine(y);
                for (int x = 0; x < image.width(); ++x)
                    ink += 255 - line[x];
                rows << ink;
            }
            pages << rows;
        }
    }

    // The streams of a document of many pages, in file order, unpacked.
    static QList<QByteArray> streams(int level)
    {
        QBuffer file;
        file.open(QIODevice::WriteOnly);
        TPdfDocument pdf(file, OutputPdfLayout(TPageGeometry::Portrait), 300);
        pdf.SetCompressionLevel(level);
        QFont font(QStringLiteral("DejaVu Sans Mono"));
        font.setPixelSize(40);
        const int handle = pdf.Font(font);
        for (int p = 0; p < 40; ++p) {
            pdf.NewPage();
            for (int line = 0; line <= p % 7; ++line)
                pdf.DrawText(handle, QPointF(10, 50 * (line + 1)), QStringLiteral("страница %1, строка %2").arg(p).arg(line));
        }
        if (!pdf.Finish())
            return {};
        static const QRegularExpression stream(QStringLiteral("/Length (\\d+)[^>]*>>\nstream\n"));
        const QByteArray data = file.data();
        const QString text = QString::fromLatin1(data);
        QList<QByteArray> list;
        for (auto it = stream.globalMatch(text); it.hasNext();) {
            const auto m = it.next();
            QByteArray bytes = data.mid(m.capturedEnd(), m.captured(1).toInt());
            if (level > 0)   // qUncompress wants a size first, big-endian; a bound will do
                bytes = qUncompress(QByteArray::fromHex("00100000") + bytes);
            list << bytes;
        }
        return list;
    }

private slots:
    // Pages are compressed on a thread of their own while the next one is
    // drawn: every stream must still be its page's, in its place.
    void pagesPackedInTurn()
    {
        const QList<QByteArray> plain = streams(0), packed = streams(6);
        QVERIFY(plain.size() > 40);
        QCOMPARE(packed.size(), plain.size());
        for (int i = 0; i < plain.size(); ++i)
            QVERIFY2(packed[i] == plain[i], qPrintable(QStringLiteral("stream %1 of %2").arg(i).arg(plain.size())));
    }

    void sameAsPainted_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("landscape");
        QTest::newRow("faces and styles")
            << QStringList{"\\F0:10Arial \\F1:bold \\F2:italic \\F4:underlined \\F8:struck \\F15:all\\F255:",
                           "\\F16:10Courier \\F17:bold \\F18:italic \\F20:underlined \\F24:struck\\F255: plain",
                           "\\F32:12Times \\F33:bold \\F34:italic \\F36:underlined \\F40:struck \\F47:all\\F255:",
                           "  СЧ-00012     10.01.2023 ООО «Торговый дом»        1 234.40"}
            << false;
        QTest::newRow("sizes")
            << QStringList{"\\F1:8small \\F1:14medium \\F1:36big\\F255: and back",
                           "\\F36:28Times underlined, big\\F255:", "\\F20:7tiny underline\\F255:"}
            << false;
        QTest::newRow("lines and frames")
            << QStringList{"frame \\R10:20:100:40:2and lines\\L10:50:190:50:0\\L10:55:190:60:5", "after"} << false;
        QTest::newRow("paragraph")
            << QStringList{"\\PB10:20 Абзац текста, выровненный по ширине страницы, в котором слов",
                           "достаточно, чтобы строки \\F33:шли\\F255: до правого края, кроме",
                           "последней.\\PE"}
            << false;
        QString codePage;   // the printable characters but the backslash
        for (int c = 0x20; c < 0x100; ++c) {
            const QString ch = DecodeText(QByteArray(1, char(c)));
            if (ch.size() == 1 && ch[0].isPrint() && ch[0] != u'\\' && ch[0] != QChar::ReplacementCharacter)
                codePage += ch;
        }
        QTest::newRow("every character of the code page")
            << QStringList{"\\F0:" + codePage.left(112), "\\F0:" + codePage.mid(112), "\\F17:" + codePage.left(112),
                           "\\F17:" + codePage.mid(112), "\\F34:" + codePage.left(112), "\\F34:" + codePage.mid(112)}
            << false;
        QTest::newRow("left to Qt's shaping")
            << QStringList{"tab\there, soft\u00adhyphen, nbsp\u00a0here", "end"} << false;
        QTest::newRow("pages, landscape")
            << QStringList{"\\F1:12first page\\F255:", "text", "^second page", "\\F33:more\\F255:", "^third"} << true;
    }

    void sameAsPainted()
    {
        QFETCH(QStringList, lines);
        QFETCH(bool, landscape);
        for (const char *tool : {"pdftotext", "pdftoppm", "pdfinfo", "pdffonts"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP("*** poppler-utils NOT AVAILABLE: the PDF was not read back ***");
        const auto orientation = landscape ? TPageGeometry::Landscape : TPageGeometry::Portrait;
        QFile out(path("o.prn"));
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(EncodeText(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
        out.close();
        const int pages = WriteOutputPdf(path("o.prn"), path("written.pdf"), orientation);
        paintOnQt(path("o.prn"), path("painted.pdf"), orientation);

        const QString info = QString::fromUtf8(run("pdfinfo", {path("written.pdf")}));
        QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+%1\\n").arg(pages))), qPrintable(info));
        QVERIFY(info.contains(landscape ? QStringLiteral("842 x 595 pts") : QStringLiteral("595 x 842 pts")));
        // every font embedded
        const QStringList fonts = QString::fromUtf8(run("pdffonts", {path("written.pdf")})).split(u'\n').mid(2);
        for (const QString &f : fonts)
            if (!f.isEmpty())
                QVERIFY2(f.contains(QLatin1String("CID TrueType")) && f.contains(QLatin1String(" yes ")), qPrintable(f));

        QCOMPARE(run("pdftotext", {"-layout", path("written.pdf"), "-"}),
                 run("pdftotext", {"-layout", path("painted.pdf"), "-"}));
        const QStringList written = words(path("written.pdf"));
        QVERIFY(!written.isEmpty());
        QCOMPARE(written, words(path("painted.pdf")));

        const auto a = rowInk(path("written.pdf"), QStringLiteral("w"));
        const auto b = rowInk(path("painted.pdf"), QStringLiteral("p"));
        QCOMPARE(a.size(), pages);
        QCOMPARE(b.size(), pages);
        for (int p = 0; p < pages; ++p) {
            QCOMPARE(a[p].size(), b[p].size());
            for (int y = 0; y < a[p].size(); ++y) {
                const qint64 x1 = a[p][y], x2 = b[p][y];
                QVERIFY2(std::abs(x1 - x2) <= std::max<qint64>(255 * 4, std::max(x1, x2) / 5),
                         qPrintable(QStringLiteral("page %1, row %2: ink %3 against %4").arg(p + 1).arg(y).arg(x1).arg(x2)));
            }
        }
    }
};

QUARN_GUI_TEST_MAIN(PdfDocumentTest)
#include "PdfDocumentTest.moc"
