// The spreadsheet server: how cells take values, sheets and workbooks, and
// the .xlsx file read back with openpyxl.

#include "OfficeTestSupport.h"

#include "office/Automation.h"
#include "office/ExcelServer.h"
#include "office/ProgIdRegistry.h"

#include <QJsonArray>
#include <QtTest>

Q_DECLARE_METATYPE(TCellRect)

namespace {

TDispValue integer(qint64 v)
{
    return TDispValue::FromInteger(v);
}

TDispValue text(const QString &s)
{
    return TDispValue::FromString(s);
}

struct TBook {
    TDispatchRef App;
    TDispatchRef Book;
    TDispatchRef Sheet;

    TBook()
    {
        App = CreateOleObject(QStringLiteral("Excel.Application"));
        Book = OleCallObject(OleGetObject(App, QStringLiteral("Workbooks")), QStringLiteral("Add"));
        Sheet = OleGetObject(Book, QStringLiteral("Sheets"), {integer(1)});
    }
    ~TBook() { OleCall(App, QStringLiteral("Quit"), {}); }

    TDispatchRef Cell(int row, int column) const
    {
        return OleGetObject(Sheet, QStringLiteral("Cells"), {integer(row), integer(column)});
    }
};

} // namespace

class TExcelTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { WriteSetting(QStringLiteral("OfficeOpen"), QStringLiteral("0")); }
    // Saving over an existing file on a full disk: an error with the
    // reason, the old file as it was, nothing temporary left.
    void saveAsOnFullDisk()
    {
        TFullFolder folder;
        folder.put("old.xlsx", "old file");
        QUARN_REQUIRE_FULL_FOLDER(folder);
        TBook book;
        QUARN_EXPECT_ERROR(OleCall(book.Book, QStringLiteral("SaveAs"), {text(folder.file("old.xlsx"))}),
                           "Не удается сохранить файл '" + folder.file("old.xlsx") + "': нет места на диске");
        QFile old(folder.file("old.xlsx"));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old file"));
        QCOMPARE(folder.names(), QStringList{"old.xlsx"});
    }

    void init() { ClearProgramDir(); }

    // A value put into a cell as Excel takes one typed in.
    void cellValues_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("storedKind");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("formatAfter");
        const int S = TDispValue::String, D = TDispValue::Double, T = TDispValue::Date,
                  B = TDispValue::Boolean, C = TDispValue::Currency, E = TDispValue::Empty;
        QTest::newRow("digits in a text cell stay text") << S << "007" << "@" << S << "007" << "@";
        QTest::newRow("digits in a general cell become a number") << S << "007" << "" << D << "7" << "General";
        QTest::newRow("decimal text") << S << " -12.5 " << "" << D << "-12.5" << "General";
        QTest::newRow("date text becomes a date") << S << "01.02.2003" << "" << T << "37653" << "dd.mm.yyyy";
        QTest::newRow("date text in a text cell") << S << "01.02.2003" << "@" << S << "01.02.2003" << "@";
        QTest::newRow("formula text") << S << "=1+2" << "" << E << "" << "General";
        QTest::newRow("formula in a text cell") << S << "=1+2" << "@" << S << "=1+2" << "@";
        QTest::newRow("ordinary text") << S << "12 шт." << "" << S << "12 шт." << "General";
        QTest::newRow("date") << T << "37653" << "" << T << "37653" << "dd.mm.yyyy";
        QTest::newRow("date and time") << T << "37653.5" << "" << T << "37653.5" << "dd.mm.yyyy h:mm";
        QTest::newRow("date keeps a number format") << T << "37653" << "0.00" << T << "37653" << "0.00";
        QTest::newRow("number") << D << "3.25" << "" << D << "3.25" << "General";
        QTest::newRow("currency is a number") << C << "123450" << "" << D << "12.345" << "General";
        QTest::newRow("boolean") << B << "1" << "" << B << "1" << "General";
        QTest::newRow("empty text empties") << S << "" << "" << E << "" << "General";
    }

    void cellValues()
    {
        QFETCH(int, kind);
        QFETCH(QString, value);
        QFETCH(QString, format);
        QFETCH(int, storedKind);
        QFETCH(QString, stored);
        QFETCH(QString, formatAfter);
        TBook book;
        const TDispatchRef cell = book.Cell(2, 3);
        if (!format.isEmpty())
            OlePut(cell, QStringLiteral("NumberFormat"), text(format));
        TDispValue v;
        v.Type = TDispValue::Kind(kind);
        v.StrValue = value;
        v.NumValue = value.toDouble();
        v.IntValue = value.toLongLong();
        v.BoolValue = value == QLatin1String("1");
        OlePut(cell, QStringLiteral("Value"), v);

        const TDispValue got = OleGet(book.Cell(2, 3), QStringLiteral("Value"));
        QCOMPARE(int(got.Type), storedKind);
        switch (got.Type) {
        case TDispValue::String: QCOMPARE(got.StrValue, stored); break;
        case TDispValue::Double:
        case TDispValue::Date: QCOMPARE(got.NumValue, stored.toDouble()); break;
        case TDispValue::Boolean: QCOMPARE(got.BoolValue, true); break;
        default: break;
        }
        QCOMPARE(OleGet(cell, QStringLiteral("NumberFormat")).StrValue, formatAfter);
        if (value.startsWith(u'=') && storedKind == TDispValue::Empty)
            QCOMPARE(OleGet(cell, QStringLiteral("Formula")).StrValue, value);
    }

    void a1References_data()
    {
        QTest::addColumn<QString>("reference");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<TCellRect>("rect");
        QTest::newRow("cell") << "B3" << true << TCellRect{3, 2, 3, 2};
        QTest::newRow("absolute, lower case") << "$a$1:$c$2" << true << TCellRect{1, 1, 2, 3};
        QTest::newRow("corners in any order") << "C2:A1" << true << TCellRect{1, 1, 2, 3};
        QTest::newRow("columns") << "A:C" << true << TCellRect{1, 1, ExcelMaxRows, 3};
        QTest::newRow("rows") << "2:4" << true << TCellRect{2, 1, 4, ExcelMaxColumns};
        QTest::newRow("last column") << "XFD1" << true << TCellRect{1, ExcelMaxColumns, 1, ExcelMaxColumns};
        QTest::newRow("past the last column") << "XFE1" << false << TCellRect{};
        QTest::newRow("row 0") << "A0" << false << TCellRect{};
        QTest::newRow("letters after digits") << "1A" << false << TCellRect{};
        QTest::newRow("three parts") << "A1:B2:C3" << false << TCellRect{};
        QTest::newRow("column with row") << "A:B2" << false << TCellRect{};
        QTest::newRow("empty") << "" << false << TCellRect{};
    }

    void a1References()
    {
        QFETCH(QString, reference);
        QFETCH(bool, valid);
        QFETCH(TCellRect, rect);
        TCellRect parsed;
        QCOMPARE(ParseA1(reference, parsed), valid);
        if (valid)
            QVERIFY(parsed == rect);
    }

    void ranges()
    {
        TBook book;
        const TDispatchRef range = OleGetObject(book.Sheet, QStringLiteral("Range"), {text(QStringLiteral("B2:C3"))});
        OlePut(range, QStringLiteral("Value"), integer(5));
        QCOMPARE(VarToNumber(OleGet(book.Cell(3, 3), QStringLiteral("Value"))), 5.0);
        QCOMPARE(OleGet(range, QStringLiteral("Count")).IntValue, 4);
        QCOMPARE(OleGet(range, QStringLiteral("Address")).StrValue, QStringLiteral("$B$2:$C$3"));
        // Cells of a range count from its top-left cell.
        const TDispatchRef inner = OleGetObject(range, QStringLiteral("Cells"), {integer(2), integer(1)});
        QCOMPARE(OleGet(inner, QStringLiteral("Address")).StrValue, QStringLiteral("$B$3"));
        // A whole column takes a format that its new cells get too.
        OlePut(OleGetObject(book.Sheet, QStringLiteral("Columns"), {text(QStringLiteral("E"))}),
               QStringLiteral("NumberFormat"), text(QStringLiteral("@")));
        OlePut(book.Cell(100, 5), QStringLiteral("Value"), text(QStringLiteral("0012")));
        QCOMPARE(OleGet(book.Cell(100, 5), QStringLiteral("Value")).StrValue, QStringLiteral("0012"));
        QUARN_EXPECT_ERROR(OlePut(OleGetObject(book.Sheet, QStringLiteral("Columns"), {integer(1)}),
                                  QStringLiteral("Value"), integer(1)),
                           "Диапазон слишком велик");
        OleCall(range, QStringLiteral("ClearContents"));
        QCOMPARE(OleGet(book.Cell(2, 2), QStringLiteral("Value")).Type, TDispValue::Empty);
        const TDispatchRef used = OleGetObject(book.Sheet, QStringLiteral("UsedRange"));
        QCOMPARE(OleGet(used, QStringLiteral("Address")).StrValue, QStringLiteral("$B$2:$E$100"));
    }

    void cellTexts_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("isDate");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("text");
        QTest::newRow("general") << 1234.5 << false << "General" << "1234.5";
        QTest::newRow("thousands and decimals") << 1234.5 << false << "#,##0.00" << "1,234.50";
        QTest::newRow("whole") << 2.5 << false << "0" << "3";
        QTest::newRow("percent") << 0.125 << false << "0.0%" << "12.5%";
        QTest::newRow("date") << 37653.0 << true << "dd.mm.yyyy" << "01.02.2003";
        QTest::newRow("number in a date format") << 37653.75 << false << "dd.mm.yyyy hh:mm" << "01.02.2003 18:00";
    }

    void cellTexts()
    {
        QFETCH(double, value);
        QFETCH(bool, isDate);
        QFETCH(QString, format);
        QFETCH(QString, text);
        TExcelCell cell;
        cell.Value = isDate ? TDispValue::FromDate(value) : TDispValue::FromDouble(value);
        cell.Format.NumberFormat = format;
        QCOMPARE(CellDisplayText(cell), text);
    }

    void sheets()
    {
        TBook book;
        const TDispatchRef sheets = OleGetObject(book.Book, QStringLiteral("Sheets"));
        QCOMPARE(OleGet(sheets, QStringLiteral("Count")).IntValue, 1);
        // A new sheet goes before the active one and becomes active.
        const TDispatchRef added = OleCallObject(sheets, QStringLiteral("Add"));
        QCOMPARE(OleGet(added, QStringLiteral("Name")).StrValue, QStringLiteral("Лист2"));
        QCOMPARE(OleGet(added, QStringLiteral("Index")).IntValue, 1);
        QCOMPARE(OleGetObject(book.Book, QStringLiteral("ActiveSheet")), added);
        const TDispatchRef after = OleCallObject(sheets, QStringLiteral("Add"), {TDispValue(), TDispValue::FromDispatch(book.Sheet)});
        QCOMPARE(OleGet(after, QStringLiteral("Index")).IntValue, 3);

        QUARN_EXPECT_ERROR(OlePut(added, QStringLiteral("Name"), text(QStringLiteral("лист1"))),
                           "Недопустимое имя листа: 'лист1'");
        QUARN_EXPECT_ERROR(OlePut(added, QStringLiteral("Name"), text(QString(32, u'x'))),
                           QStringLiteral("Недопустимое имя листа: '%1'").arg(QString(32, u'x')));
        OlePut(added, QStringLiteral("Name"), text(QStringLiteral("Итоги")));
        QCOMPARE(OleGetObject(book.Book, QStringLiteral("Sheets"), {text(QStringLiteral("итоги"))}), added);
        QUARN_EXPECT_ERROR(OleGet(sheets, QStringLiteral("Item"), {text(QStringLiteral("Нет"))}), "OLE error 8002000B");

        OleCall(added, QStringLiteral("Delete"));
        OleCall(after, QStringLiteral("Delete"));
        QUARN_EXPECT_ERROR(OleGet(added, QStringLiteral("Name")), "OLE error 80010108");
        QUARN_EXPECT_ERROR(OleCall(book.Sheet, QStringLiteral("Delete")), "Книга должна содержать хотя бы один лист");
        QCOMPARE(OleGet(sheets, QStringLiteral("Count")).IntValue, 1);
    }

    void fonts()
    {
        TBook book;
        const TDispatchRef font = OleGetObject(book.Cell(1, 1), QStringLiteral("Font"));
        QCOMPARE(OleGet(font, QStringLiteral("Name")).StrValue, QStringLiteral("Calibri"));
        QCOMPARE(OleGet(font, QStringLiteral("Underline")).IntValue, -4142);
        OlePut(font, QStringLiteral("Bold"), TDispValue::FromBoolean(true));
        OlePut(font, QStringLiteral("Underline"), integer(2));
        OlePut(font, QStringLiteral("Size"), integer(14));
        QCOMPARE(OleGet(font, QStringLiteral("Bold")).BoolValue, true);
        QCOMPARE(OleGet(font, QStringLiteral("Underline")).IntValue, 2);
        QCOMPARE(OleGet(font, QStringLiteral("Size")).NumValue, 14.0);
        QUARN_EXPECT_ERROR(OlePut(font, QStringLiteral("Size"), integer(0)), "Размер шрифта должен быть от 1 до 409");
    }

    void workbookFiles()
    {
        TBook book;
        OlePut(book.Cell(1, 1), QStringLiteral("Value"), text(QStringLiteral("x")));
        QCOMPARE(OleGet(book.Book, QStringLiteral("Saved")).BoolValue, false);
        OleCall(book.Book, QStringLiteral("SaveAs"), {text(QStringLiteral("отчет"))});
        const QString path = QDir(ProgramDir()).filePath(QStringLiteral("отчет.xlsx"));
        QVERIFY(QFileInfo::exists(path));
        QCOMPARE(OleGet(book.Book, QStringLiteral("Name")).StrValue, QStringLiteral("отчет.xlsx"));
        QCOMPARE(OleGet(book.Book, QStringLiteral("FullName")).StrValue, QDir::toNativeSeparators(path));
        QCOMPARE(OleGet(book.Book, QStringLiteral("Saved")).BoolValue, true);
        QVERIFY(!QFileInfo::exists(QDir(ProgramDir()).filePath(QStringLiteral(".~отчет.xlsx"))));

        // Close(FALSE) drops the changes; Close() saves them.
        const TDispatchRef books = OleGetObject(book.App, QStringLiteral("Workbooks"));
        const TDispatchRef dropped = OleCallObject(books, QStringLiteral("Add"));
        OlePut(OleGetObject(OleGetObject(dropped, QStringLiteral("ActiveSheet")), QStringLiteral("Cells"),
                            {integer(1), integer(1)}),
               QStringLiteral("Value"), integer(1));
        OleCall(dropped, QStringLiteral("Close"), {TDispValue::FromBoolean(false)});
        const TDispatchRef kept = OleCallObject(books, QStringLiteral("Add"));
        OlePut(OleGetObject(OleGetObject(kept, QStringLiteral("ActiveSheet")), QStringLiteral("Cells"),
                            {integer(1), integer(1)}),
               QStringLiteral("Value"), integer(1));
        OleCall(kept, QStringLiteral("Close"));
        QCOMPARE(ProgramDirFiles(QStringLiteral(".xlsx")),
                 (QStringList{QStringLiteral("Книга3.xlsx"), QStringLiteral("отчет.xlsx")}));
        QCOMPARE(OleGet(books, QStringLiteral("Count")).IntValue, 1);

        QUARN_EXPECT_ERROR(OleCall(book.Book, QStringLiteral("SaveAs"), {text(QStringLiteral("/нет/такой/папки/x"))}),
                           QStringLiteral("Не удается сохранить файл '/нет/такой/папки/x.xlsx': "
                                          "Error creating output xlsx file. Usually a permissions error."));
    }

    // The file as another program reads it.
    void xlsxReadBack()
    {
        REQUIRE_OPENPYXL();
        TBook book;
        OlePut(book.Sheet, QStringLiteral("Name"), text(QStringLiteral("Итоги")));
        auto put = [&](int row, int column, const TDispValue &v, const QString &format = {}) {
            const TDispatchRef cell = book.Cell(row, column);
            if (!format.isEmpty())
                OlePut(cell, QStringLiteral("NumberFormat"), text(format));
            OlePut(cell, QStringLiteral("Value"), v);
        };
        put(1, 1, text(QStringLiteral("Наименование")), QStringLiteral("@"));
        OlePut(OleGetObject(book.Cell(1, 1), QStringLiteral("Font")), QStringLiteral("Bold"), TDispValue::FromBoolean(true));
        put(2, 1, text(QStringLiteral("007")), QStringLiteral("@"));
        put(2, 2, TDispValue::FromDouble(12.5));
        put(2, 3, TDispValue::FromDate(37653));
        put(2, 4, TDispValue::FromBoolean(true));
        put(2, 5, text(QStringLiteral("=B2*2")));
        put(3, 1, text(QStringLiteral("строка 1\nстрока 2")), QStringLiteral("@"));
        put(3, 2, text(QStringLiteral("7")));
        OlePut(OleGetObject(book.Sheet, QStringLiteral("Columns"), {integer(1)}), QStringLiteral("ColumnWidth"), integer(20));
        OleCall(OleGetObject(book.Sheet, QStringLiteral("Columns"), {text(QStringLiteral("C"))}), QStringLiteral("AutoFit"));
        const TDispatchRef second = OleCallObject(OleGetObject(book.Book, QStringLiteral("Sheets")), QStringLiteral("Add"),
                                                  {TDispValue(), TDispValue::FromDispatch(book.Sheet)});
        OlePut(second, QStringLiteral("Name"), text(QStringLiteral("Данные")));
        OleCall(book.Book, QStringLiteral("SaveAs"), {text(QStringLiteral("прочтение"))});

        const QJsonObject x = ReadXlsx(QDir(ProgramDir()).filePath(QStringLiteral("прочтение.xlsx")));
        QVERIFY2(!x.isEmpty(), "openpyxl could not read the file");
        QCOMPARE(x[QStringLiteral("sheets")].toArray().toVariantList(),
                 (QVariantList{QStringLiteral("Итоги"), QStringLiteral("Данные")}));
        QCOMPARE(x[QStringLiteral("active")].toString(), QStringLiteral("Данные"));
        const QJsonObject cells = x[QStringLiteral("cells")].toObject();
        auto cell = [&](const char *ref) { return cells[QStringLiteral("Итоги!") + QLatin1String(ref)].toObject(); };
        QCOMPARE(cell("A1")[QStringLiteral("value")].toString(), QStringLiteral("Наименование"));
        QCOMPARE(cell("A1")[QStringLiteral("bold")].toBool(), true);
        QCOMPARE(cell("A2")[QStringLiteral("type")].toString(), QStringLiteral("str"));
        QCOMPARE(cell("A2")[QStringLiteral("value")].toString(), QStringLiteral("007"));
        QCOMPARE(cell("A2")[QStringLiteral("format")].toString(), QStringLiteral("@"));
        QCOMPARE(cell("B2")[QStringLiteral("type")].toString(), QStringLiteral("float"));
        QCOMPARE(cell("B2")[QStringLiteral("value")].toDouble(), 12.5);
        QCOMPARE(cell("C2")[QStringLiteral("type")].toString(), QStringLiteral("datetime"));
        QCOMPARE(cell("C2")[QStringLiteral("value")].toString(), QStringLiteral("2003-02-01T00:00:00"));
        QCOMPARE(cell("C2")[QStringLiteral("format")].toString(), QStringLiteral("dd.mm.yyyy"));
        QCOMPARE(cell("D2")[QStringLiteral("type")].toString(), QStringLiteral("bool"));
        QCOMPARE(cell("E2")[QStringLiteral("value")].toString(), QStringLiteral("=B2*2"));
        QCOMPARE(cell("A3")[QStringLiteral("value")].toString(), QStringLiteral("строка 1\nстрока 2"));
        QCOMPARE(cell("B3")[QStringLiteral("type")].toString(), QStringLiteral("int"));
        const QJsonObject widths = x[QStringLiteral("widths")].toObject();
        const double a = widths[QStringLiteral("Итоги!A")].toDouble();
        QVERIFY2(a >= 20 && a < 21, qPrintable(QString::number(a)));
        // "dd.mm.yyyy" is the widest text of column C: ten characters.
        const double c = widths[QStringLiteral("Итоги!C")].toDouble();
        QVERIFY2(c >= 11 && c < 13, qPrintable(QString::number(c)));
    }

    void quitEndsTheInstance()
    {
        const TDispatchRef app = CreateOleObject(QStringLiteral("Excel.Application"));
        const TDispatchRef book = OleCallObject(OleGetObject(app, QStringLiteral("Workbooks")), QStringLiteral("Add"));
        const TDispatchRef cell = OleGetObject(OleGetObject(book, QStringLiteral("ActiveSheet")), QStringLiteral("Cells"),
                                               {integer(1), integer(1)});
        OlePut(cell, QStringLiteral("Value"), integer(1));
        // A changed workbook is saved when the application quits.
        OleCall(app, QStringLiteral("Quit"));
        QCOMPARE(ProgramDirFiles(QStringLiteral(".xlsx")), QStringList{QStringLiteral("Книга1.xlsx")});
        QUARN_EXPECT_ERROR(OleGet(cell, QStringLiteral("Value")), "OLE error 800706BA");
        QUARN_EXPECT_ERROR(OleGet(app, QStringLiteral("Workbooks")), "OLE error 800706BA");
    }
};

QUARN_TEST_MAIN(TExcelTest)
#include "ExcelTest.moc"
