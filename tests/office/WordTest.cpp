// The word-processor server: ranges and their positions, fonts, tables,
// breaks, the page, GetPoint's by-reference results, and the .odt file read
// back with unzip.

#include "OfficeTestSupport.h"

#include "office/Automation.h"
#include "office/OdtFile.h"
#include "office/ProgIdRegistry.h"
#include "office/WordServer.h"

#include <QXmlStreamReader>
#include <QtTest>

namespace {

TDispValue integer(qint64 v)
{
    return TDispValue::FromInteger(v);
}

TDispValue text(const QString &s)
{
    return TDispValue::FromString(s);
}

struct TDoc {
    TDispatchRef App;
    TDispatchRef Doc;

    TDoc()
    {
        App = CreateOleObject(QStringLiteral("Word.Application"));
        Doc = OleCallObject(OleGetObject(App, QStringLiteral("Documents")), QStringLiteral("Add"));
    }
    ~TDoc() { OleCall(App, QStringLiteral("Quit"), {integer(0)}); }

    TWordDocument &Model() const { return *dynamic_cast<TWordDocument *>(Doc.get()); }
    qint64 End() const
    {
        return OleGet(OleGetObject(Doc, QStringLiteral("Content")), QStringLiteral("End")).IntValue;
    }
    QString Content() const
    {
        return OleGet(OleGetObject(Doc, QStringLiteral("Content")), QStringLiteral("Text")).StrValue;
    }
    // The range at the end of the document, as the link takes it.
    TDispatchRef EndRange() const
    {
        const qint64 e = End();
        return OleCallObject(Doc, QStringLiteral("Range"), {integer(e - 1), integer(e)});
    }
    // content.xml and styles.xml as written to a file and read by unzip.
    QByteArray Saved(const QString &part)
    {
        OleCall(Doc, QStringLiteral("SaveAs"), {text(QStringLiteral("проверка"))});
        return UnzipEntry(QDir(ProgramDir()).filePath(QStringLiteral("проверка.odt")), part);
    }
};

// A paragraph of content.xml: its text, the style of its paragraph, and
// the text styles of its spans.
struct TParagraph {
    QString Text;
    QString Style;
    QStringList SpanStyles;
    bool InTable = false;
};

// The paragraphs of a content.xml in order; a tab as "\t", a line break as
// "\n", <text:s text:c="n"/> as n blanks. Fails the XML is not well formed.
QList<TParagraph> paragraphs(const QByteArray &xml, bool *wellFormed = nullptr)
{
    QList<TParagraph> result;
    QXmlStreamReader r(xml);
    int tableDepth = 0;
    bool inParagraph = false;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            const auto name = r.qualifiedName();
            if (name == QLatin1String("table:table"))
                ++tableDepth;
            else if (name == QLatin1String("text:p")) {
                inParagraph = true;
                result << TParagraph{QString(), r.attributes().value(QLatin1String("text:style-name")).toString(), {},
                                     tableDepth > 0};
            } else if (name == QLatin1String("text:span"))
                result.last().SpanStyles << r.attributes().value(QLatin1String("text:style-name")).toString();
            else if (name == QLatin1String("text:s"))
                result.last().Text += QString(qMax(1, r.attributes().value(QLatin1String("text:c")).toInt()), u' ');
            else if (name == QLatin1String("text:tab"))
                result.last().Text += u'\t';
            else if (name == QLatin1String("text:line-break"))
                result.last().Text += u'\n';
        } else if (r.isEndElement()) {
            if (r.qualifiedName() == QLatin1String("table:table"))
                --tableDepth;
            else if (r.qualifiedName() == QLatin1String("text:p"))
                inParagraph = false;
        } else if (r.isCharacters() && inParagraph) {
            result.last().Text += r.text();
        }
    }
    if (wellFormed)
        *wellFormed = !r.hasError();
    return result;
}

// The properties of the automatic style of that name.
QXmlStreamAttributes styleProperties(const QByteArray &xml, const QString &style)
{
    QXmlStreamReader r(xml);
    bool inStyle = false;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.qualifiedName() == QLatin1String("style:style"))
            inStyle = r.attributes().value(QLatin1String("style:name")) == style;
        else if (r.isStartElement() && inStyle && r.qualifiedName().endsWith(QLatin1String("-properties")))
            return r.attributes();
    }
    return {};
}

QStringList texts(const QList<TParagraph> &list)
{
    QStringList t;
    for (const TParagraph &p : list)
        t << p.Text;
    return t;
}

} // namespace

class TWordTest : public QObject {
    Q_OBJECT

private slots:
    // Saving over an existing file on a full disk: an error with the
    // reason, the old file as it was, nothing temporary left.
    void saveAsOnFullDisk()
    {
        TFullFolder folder;
        folder.put("old.odt", "old file");
        QUARN_REQUIRE_FULL_FOLDER(folder);
        TDoc doc;
        QUARN_EXPECT_ERROR(OleCall(doc.Doc, QStringLiteral("SaveAs"), {text(folder.file("old.odt"))}),
                           "Не удается сохранить файл '" + folder.file("old.odt") + "': нет места на диске");
        QFile old(folder.file("old.odt"));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old file"));
        QCOMPARE(folder.names(), QStringList{"old.odt"});
    }

    void initTestCase() { WriteSetting(QStringLiteral("OfficeOpen"), QStringLiteral("0")); }
    void init() { ClearProgramDir(); }

    // Positions count the final paragraph mark, and a range that takes it in
    // grows with what is added at the end, as the link relies on.
    void rangePositions()
    {
        TDoc doc;
        QCOMPARE(doc.End(), 1);
        QCOMPARE(doc.Content(), QStringLiteral("\r"));
        const TDispatchRef range = doc.EndRange();
        OleCall(range, QStringLiteral("InsertAfter"), {text(QStringLiteral("abc"))});
        QCOMPARE(OleGet(range, QStringLiteral("Start")).IntValue, 0);
        QCOMPARE(OleGet(range, QStringLiteral("End")).IntValue, 4);
        QCOMPARE(doc.Content(), QStringLiteral("abc\r"));
        OleCall(range, QStringLiteral("MoveEnd"));
        QCOMPARE(OleGet(range, QStringLiteral("End")).IntValue, 4);
        OleCall(range, QStringLiteral("InsertParagraphAfter"));
        QCOMPARE(OleGet(range, QStringLiteral("End")).IntValue, 5);
        OleCall(range, QStringLiteral("Collapse"), {integer(wdCollapseEnd)});
        QCOMPARE(OleGet(range, QStringLiteral("Start")).IntValue, 4);
        QCOMPARE(OleGet(range, QStringLiteral("End")).IntValue, 4);
        OleCall(range, QStringLiteral("InsertAfter"), {text(QStringLiteral("de"))});
        QCOMPARE(OleGet(range, QStringLiteral("Text")).StrValue, QStringLiteral("de"));
        QCOMPARE(doc.Content(), QStringLiteral("abc\rde\r"));
        // A range elsewhere follows the change.
        const TDispatchRef second = OleCallObject(doc.Doc, QStringLiteral("Range"), {integer(4), integer(6)});
        OleCall(OleCallObject(doc.Doc, QStringLiteral("Range"), {integer(0), integer(0)}), QStringLiteral("InsertBefore"),
                {text(QStringLiteral(">"))});
        QCOMPARE(OleGet(second, QStringLiteral("Text")).StrValue, QStringLiteral("de"));
        QCOMPARE(OleGet(second, QStringLiteral("Start")).IntValue, 5);
        QUARN_EXPECT_ERROR(OleCall(doc.Doc, QStringLiteral("Range"), {integer(3), integer(99)}),
                           "Значение лежит вне допустимого диапазона.");
    }

    void moveAndDelete()
    {
        TDoc doc;
        OleCall(doc.EndRange(), QStringLiteral("InsertAfter"), {text(QStringLiteral("one two\rthree"))});
        const TDispatchRef range = OleCallObject(doc.Doc, QStringLiteral("Range"), {integer(0), integer(0)});
        QCOMPARE(OleCall(range, QStringLiteral("MoveEnd"), {integer(wdWord), integer(1)}).IntValue, 4);
        QCOMPARE(OleGet(range, QStringLiteral("Text")).StrValue, QStringLiteral("one "));
        OleCall(range, QStringLiteral("MoveEnd"), {integer(wdParagraph), integer(1)});
        QCOMPARE(OleGet(range, QStringLiteral("Text")).StrValue, QStringLiteral("one two\r"));
        OleCall(range, QStringLiteral("MoveStart"), {integer(wdCharacter), integer(4)});
        QCOMPARE(OleCall(range, QStringLiteral("Delete")).IntValue, 4);
        QCOMPARE(doc.Content(), QStringLiteral("one three\r"));
        QUARN_EXPECT_ERROR(OleCall(range, QStringLiteral("MoveEnd"), {integer(9)}),
                           "Значение лежит вне допустимого диапазона.");
    }

    // A font object belongs to its range: a write changes the range's text
    // as it is then, and what is typed after it takes the same font.
    void fontsFollowTheRange()
    {
        TDoc doc;
        const TDispatchRef range = doc.EndRange();
        const TDispatchRef font = OleGetObject(range, QStringLiteral("Font"));
        QCOMPARE(OleGet(font, QStringLiteral("Name")).StrValue, QStringLiteral("Times New Roman"));
        QCOMPARE(OleGet(font, QStringLiteral("Size")).NumValue, 12.0);
        OleCall(range, QStringLiteral("InsertAfter"), {text(QStringLiteral("жирный"))});
        OlePut(font, QStringLiteral("Name"), text(QStringLiteral("Arial Cyr")));
        OlePut(font, QStringLiteral("Size"), integer(14));
        OlePut(font, QStringLiteral("Bold"), integer(-1));
        OlePut(font, QStringLiteral("Underline"), integer(-1));
        QCOMPARE(OleGet(font, QStringLiteral("Name")).StrValue, QStringLiteral("Arial Cyr"));
        QCOMPARE(OleGet(font, QStringLiteral("Bold")).IntValue, -1);
        QCOMPARE(OleGet(font, QStringLiteral("Underline")).IntValue, 1);

        const TDispatchRef next = doc.EndRange();
        OleCall(next, QStringLiteral("InsertAfter"), {text(QStringLiteral(" и дальше"))});
        QCOMPARE(OleGet(OleGetObject(next, QStringLiteral("Font")), QStringLiteral("Bold")).IntValue, -1);
        OlePut(OleGetObject(next, QStringLiteral("Font")), QStringLiteral("Bold"), integer(0));
        OlePut(OleGetObject(next, QStringLiteral("Font")), QStringLiteral("Italic"), TDispValue::FromBoolean(true));

        REQUIRE_UNZIP();
        const QByteArray content = doc.Saved(QStringLiteral("content.xml"));
        const QList<TParagraph> list = paragraphs(content);
        QCOMPARE(texts(list), QStringList{QStringLiteral("жирный и дальше")});
        QCOMPARE(list[0].SpanStyles.size(), 2);
        const QXmlStreamAttributes bold = styleProperties(content, list[0].SpanStyles[0]);
        QCOMPARE(bold.value(QLatin1String("style:font-name")).toString(), QStringLiteral("Arial"));
        QCOMPARE(bold.value(QLatin1String("fo:font-size")).toString(), QStringLiteral("14.00pt"));
        QCOMPARE(bold.value(QLatin1String("fo:font-weight")).toString(), QStringLiteral("bold"));
        QCOMPARE(bold.value(QLatin1String("style:text-underline-style")).toString(), QStringLiteral("solid"));
        const QXmlStreamAttributes italic = styleProperties(content, list[0].SpanStyles[1]);
        QCOMPARE(italic.value(QLatin1String("fo:font-weight")).toString(), QStringLiteral("normal"));
        QCOMPARE(italic.value(QLatin1String("fo:font-style")).toString(), QStringLiteral("italic"));
        QVERIFY(content.contains("<style:font-face style:name=\"Arial\""));
    }

    void tables()
    {
        TDoc doc;
        const TDispatchRef tables = OleGetObject(doc.Doc, QStringLiteral("Tables"));
        const TDispatchRef table = OleCallObject(tables, QStringLiteral("Add"), {TDispValue::FromDispatch(doc.EndRange()), integer(1), integer(3)});
        QCOMPARE(OleGet(tables, QStringLiteral("Count")).IntValue, 1);
        auto cellText = [&](int row, int column, const QString &value) {
            const TDispatchRef cell = OleCallObject(table, QStringLiteral("Cell"), {integer(row), integer(column)});
            OlePut(OleGetObject(cell, QStringLiteral("Range")), QStringLiteral("Text"), text(value));
        };
        cellText(1, 1, QStringLiteral("Наименование товара"));
        cellText(1, 2, QStringLiteral("Кол."));
        cellText(1, 3, QStringLiteral("Дата"));
        OleCall(OleGetObject(table, QStringLiteral("Rows")), QStringLiteral("Add"));
        cellText(2, 1, QStringLiteral("Гайка"));
        cellText(2, 3, QStringLiteral("строка 1\nстрока 2"));
        QCOMPARE(OleGet(OleGetObject(table, QStringLiteral("Rows")), QStringLiteral("Count")).IntValue, 2);
        const TDispatchRef cell = OleCallObject(table, QStringLiteral("Cell"), {integer(1), integer(2)});
        QCOMPARE(OleGet(OleGetObject(cell, QStringLiteral("Range")), QStringLiteral("Text")).StrValue, QStringLiteral("Кол."));
        QUARN_EXPECT_ERROR(OleCall(table, QStringLiteral("Cell"), {integer(3), integer(1)}),
                           "Запрашиваемый номер семейства не существует.");
        OleCall(OleGetObject(table, QStringLiteral("Columns")), QStringLiteral("AutoFit"));
        const QList<QTextLength> widths = doc.Model().Tables().first()->format().columnWidthConstraints();
        QCOMPARE(widths.size(), 3);
        QVERIFY(widths[0].rawValue() > widths[1].rawValue());
        QVERIFY(widths[2].rawValue() > widths[1].rawValue());

        REQUIRE_UNZIP();
        const QByteArray content = doc.Saved(QStringLiteral("content.xml"));
        bool wellFormed = false;
        const QList<TParagraph> list = paragraphs(content, &wellFormed);
        QVERIFY(wellFormed);
        // No empty paragraph before the table; one after it, as in Word.
        QCOMPARE(texts(list), (QStringList{QStringLiteral("Наименование товара"), QStringLiteral("Кол."),
                                           QStringLiteral("Дата"), QStringLiteral("Гайка"), QString(),
                                           QStringLiteral("строка 1"), QStringLiteral("строка 2"), QString()}));
        QVERIFY(list[6].InTable);
        QVERIFY(!list[7].InTable);
        QCOMPARE(content.count("<table:table-row>"), 2);
        QCOMPARE(content.count("<table:table-cell "), 6);
        QVERIFY(content.contains("fo:border=\"0.50pt solid #000000\""));
    }

    void breaksAndBlanks()
    {
        TDoc doc;
        const TDispatchRef range = doc.EndRange();
        OleCall(range, QStringLiteral("InsertAfter"), {text(QStringLiteral(" a  b\tc\vd"))});
        OleCall(range, QStringLiteral("Collapse"), {integer(wdCollapseEnd)});
        OleCall(range, QStringLiteral("InsertBreak"));
        OleCall(doc.EndRange(), QStringLiteral("InsertAfter"), {text(QStringLiteral("на новой странице"))});

        REQUIRE_UNZIP();
        const QByteArray content = doc.Saved(QStringLiteral("content.xml"));
        const QList<TParagraph> list = paragraphs(content);
        QCOMPARE(texts(list), (QStringList{QStringLiteral(" a  b\tc\nd"), QStringLiteral("на новой странице")}));
        QCOMPARE(styleProperties(content, list[1].Style).value(QLatin1String("fo:break-before")).toString(),
                 QStringLiteral("page"));
        QVERIFY(styleProperties(content, list[0].Style).value(QLatin1String("fo:break-before")).isEmpty());
        QVERIFY(content.contains("<text:s/>a <text:s/>b<text:tab/>c<text:line-break/>d"));
    }

    void pageSetup()
    {
        TDoc doc;
        const TDispatchRef ps = OleGetObject(doc.Doc, QStringLiteral("PageSetup"));
        QCOMPARE(OleGet(ps, QStringLiteral("Orientation")).IntValue, 0);
        OlePut(ps, QStringLiteral("Orientation"), integer(wdOrientLandscape));
        QCOMPARE(OleGet(ps, QStringLiteral("PageWidth")).NumValue, 841.9);
        QCOMPARE(OleGet(ps, QStringLiteral("PageHeight")).NumValue, 595.3);
        OlePut(ps, QStringLiteral("LeftMargin"), TDispValue::FromDouble(14.4));
        OlePut(ps, QStringLiteral("BottomMargin"), TDispValue::FromDouble(14.25));
        QUARN_EXPECT_ERROR(OlePut(ps, QStringLiteral("Orientation"), integer(2)),
                           "Значение лежит вне допустимого диапазона.");
        QUARN_EXPECT_ERROR(OlePut(ps, QStringLiteral("TopMargin"), integer(-1)),
                           "Значение лежит вне допустимого диапазона.");

        REQUIRE_UNZIP();
        const QByteArray styles = doc.Saved(QStringLiteral("styles.xml"));
        QXmlStreamReader r(styles);
        QXmlStreamAttributes page;
        while (!r.atEnd())
            if (r.readNext() == QXmlStreamReader::StartElement
                && r.qualifiedName() == QLatin1String("style:page-layout-properties"))
                page = r.attributes();
        QVERIFY(!r.hasError());
        QCOMPARE(page.value(QLatin1String("style:print-orientation")).toString(), QStringLiteral("landscape"));
        QCOMPARE(page.value(QLatin1String("fo:page-width")).toString(), QStringLiteral("841.90pt"));
        QCOMPARE(page.value(QLatin1String("fo:margin-left")).toString(), QStringLiteral("14.40pt"));
        QCOMPARE(page.value(QLatin1String("fo:margin-bottom")).toString(), QStringLiteral("14.25pt"));
        QVERIFY(styles.contains("<style:master-page style:name=\"Standard\" style:page-layout-name=\"pm1\"/>"));
    }

    // GetPoint leaves its results in the variables passed by reference.
    void getPointByReference()
    {
        TDoc doc;
        OleCall(doc.EndRange(), QStringLiteral("InsertAfter"), {text(QStringLiteral("Первая строка"))});
        TOfficeTestHost host;
        host.GetVar(QStringLiteral("D")).SetAsDispatch(doc.Doc);
        host.Run(QStringLiteral("L = 0\nT = 0\nW = 0\nH = 0\n"
                                "X = D.ActiveWindow\n"
                                "X.GetPoint(&L, &T, &W, &H, D.Range(0, 6))\n"
                                "L2 = 0\n"
                                "X.GetPoint(L2, T, W, H, D.Content)"));
        // The text starts at the margins: 85.05 pt and 56.7 pt at 96 dpi.
        QCOMPARE(host.GetVar(QStringLiteral("L")).GetAsNumber(), 113.0);
        QCOMPARE(host.GetVar(QStringLiteral("T")).GetAsNumber(), 76.0);
        QVERIFY(host.GetVar(QStringLiteral("W")).GetAsNumber() > 20);
        QVERIFY(host.GetVar(QStringLiteral("H")).GetAsNumber() > 10);
        QCOMPARE(host.GetVar(QStringLiteral("L2")).GetAsNumber(), 0.0);
    }

    // The package: "mimetype" first and stored, every member readable.
    void package()
    {
        TDoc doc;
        OleCall(doc.EndRange(), QStringLiteral("InsertAfter"), {text(QStringLiteral("x < y & \"z\""))});
        OleCall(doc.Doc, QStringLiteral("SaveAs"), {text(QStringLiteral("пакет"))});
        const QString path = QDir(ProgramDir()).filePath(QStringLiteral("пакет.odt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray zip = file.readAll();
        QVERIFY(zip.startsWith("PK\x03\x04"));
        QCOMPARE(zip.mid(30, 8), QByteArray("mimetype"));
        QCOMPARE(zip.mid(38, 39), QByteArray("application/vnd.oasis.opendocument.text"));

        REQUIRE_UNZIP();
        QProcess test;
        test.start(QStringLiteral("unzip"), {QStringLiteral("-t"), path});
        QVERIFY(test.waitForFinished(30000));
        QCOMPARE(test.exitCode(), 0);
        for (const QString &part : {QStringLiteral("content.xml"), QStringLiteral("styles.xml"),
                                    QStringLiteral("meta.xml"), QStringLiteral("META-INF/manifest.xml")}) {
            QXmlStreamReader r(UnzipEntry(path, part));
            while (!r.atEnd())
                r.readNext();
            QVERIFY2(!r.hasError(), qPrintable(part + u' ' + r.errorString()));
        }
        QCOMPARE(texts(paragraphs(UnzipEntry(path, QStringLiteral("content.xml")))),
                 QStringList{QStringLiteral("x < y & \"z\"")});
    }

    void otherFormatsAndShowing()
    {
        TDoc doc;
        OleCall(doc.EndRange(), QStringLiteral("InsertAfter"), {text(QStringLiteral("как HTML"))});
        OleCall(doc.Doc, QStringLiteral("SaveAs"), {text(QStringLiteral("страница.html"))});
        QFile html(QDir(ProgramDir()).filePath(QStringLiteral("страница.html")));
        QVERIFY(html.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(html.readAll()).contains(QStringLiteral("как HTML")));

        TRecordingOpener opener;
        const TDispatchRef second = OleCallObject(OleGetObject(doc.App, QStringLiteral("Documents")), QStringLiteral("Add"));
        QCOMPARE(OleGet(second, QStringLiteral("Name")).StrValue, QStringLiteral("Документ2"));
        OlePut(doc.App, QStringLiteral("Visible"), TDispValue::FromBoolean(true));
        QVERIFY(QFileInfo::exists(QDir(ProgramDir()).filePath(QStringLiteral("Документ2.odt"))));
        QVERIFY(opener.Opened.isEmpty());   // OfficeOpen is "0"

        OleCall(second, QStringLiteral("Close"), {integer(0)});
        QUARN_EXPECT_ERROR(OleGet(second, QStringLiteral("Content")), "OLE error 80010108");
        QCOMPARE(OleGet(OleGetObject(doc.App, QStringLiteral("Documents")), QStringLiteral("Count")).IntValue, 1);
    }

    void fontFamilies_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("family");
        QTest::newRow("Arial Cyr") << "Arial Cyr" << "Arial";
        QTest::newRow("Courier New Cyr") << "Courier New Cyr" << "Courier New";
        QTest::newRow("Times New Roman Cyr, any case") << " Times New Roman cyr " << "Times New Roman";
        QTest::newRow("other faces stay") << "Liberation Sans" << "Liberation Sans";
        QTest::newRow("Cyr inside a name stays") << "Cyrillic" << "Cyrillic";
    }

    void fontFamilies()
    {
        QFETCH(QString, name);
        QFETCH(QString, family);
        QCOMPARE(WordFontFamily(name), family);
    }
};

QUARN_GUI_TEST_MAIN(TWordTest)
#include "WordTest.moc"
