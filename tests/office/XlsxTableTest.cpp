// The table writer of the grid's spreadsheet export: cells of every kind
// read back with openpyxl, values a kind cannot take kept as text, a writer
// dropped before Commit leaving nothing, and rows past a sheet's end going
// on to the next sheet.

#include "OfficeTestSupport.h"

#include "office/XlsxTable.h"

#include <QJsonArray>
#include <QtTest>

namespace {

QString programFile(const QString &name)
{
    return QDir(ProgramDir()).filePath(name);
}

// What the program folder holds, hidden names too.
QStringList programFolder()
{
    return QDir(ProgramDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class XlsxTableTest : public QObject {
    Q_OBJECT

private slots:
    void init() { ClearProgramDir(); }

    void cellKinds()
    {
        REQUIRE_OPENPYXL();
        const QString file = programFile("kinds.xlsx");
        {
            TXlsxTableWriter w(file, {{"Число", TXlsxColumn::Number, "0.00"},
                                      {"Дата", TXlsxColumn::Date, ""},
                                      {"Момент", TXlsxColumn::DateTime, ""},
                                      {"Время", TXlsxColumn::Time, ""},
                                      {"Да/Нет", TXlsxColumn::Boolean, ""},
                                      {"Текст", TXlsxColumn::Text, ""}});
            w.AddRow({1.5, QDate(2024, 3, 5), QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9)), QTime(12, 30),
                      true, QString("строка")});
            // beyond what the kinds hold: kept as text
            w.AddRow({qint64(12345678901234567), QDate(1812, 9, 7), QVariant(), QVariant(), QVariant(),
                      QString(40000, u'я')});
            w.AddRow({QVariant(), QVariant(), QVariant(), QVariant(), false, QString()});
            w.FitColumn(5, 200);
            w.Commit();
        }
        QCOMPARE(programFolder(), QStringList{"kinds.xlsx"});
        const QJsonObject x = ReadXlsx(file);
        QVERIFY2(!x.isEmpty(), "openpyxl could not read the file");
        const QJsonObject cells = x["cells"].toObject();
        auto cell = [&](const char *ref) { return cells[QString("Лист1!") + ref].toObject(); };
        QCOMPARE(cell("A1")["value"].toString(), QString("Число"));
        QVERIFY(cell("F1")["bold"].toBool());
        QCOMPARE(cell("A2")["value"].toDouble(), 1.5);
        QCOMPARE(cell("A2")["format"].toString(), QString("0.00"));
        QCOMPARE(cell("B2")["value"].toString(), QString("2024-03-05T00:00:00"));
        QCOMPARE(cell("B2")["format"].toString(), QString("dd.mm.yyyy"));
        QCOMPARE(cell("C2")["value"].toString(), QString("2024-03-05T07:08:09"));
        QCOMPARE(cell("C2")["format"].toString(), QString("dd.mm.yyyy hh:mm:ss"));
        QCOMPARE(cell("D2")["type"].toString(), QString("time"));
        QCOMPARE(cell("D2")["value"].toString(), QString("12:30:00"));
        QCOMPARE(cell("E2")["type"].toString(), QString("bool"));
        QCOMPARE(cell("E4")["value"].toBool(), false);
        QCOMPARE(cell("F2")["value"].toString(), QString("строка"));
        QCOMPARE(cell("A3")["type"].toString(), QString("str"));
        QCOMPARE(cell("A3")["value"].toString(), QString("12345678901234567"));
        QCOMPARE(cell("B3")["value"].toString(), QString("07.09.1812"));
        QCOMPARE(cell("F3")["value"].toString().size(), TXlsxTableWriter::MaxText);
        QVERIFY(!cells.contains("Лист1!A4"));
        QVERIFY(!cells.contains("Лист1!F4"));
        const QJsonObject widths = x["widths"].toObject();
        QCOMPARE(widths["Лист1!F"].toDouble() >= 60 && widths["Лист1!F"].toDouble() < 61, true);
    }

    // Dropped before Commit: no file, no scratch folder, and an older file
    // whole.
    void droppedLeavesNothing()
    {
        const QString file = programFile("old.xlsx");
        {
            QFile old(file);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old");
        }
        {
            TXlsxTableWriter w(file, {{"A", TXlsxColumn::Number, ""}});
            w.AddRow({1});
            QCOMPARE(programFolder().size(), 3);   // the old file, the scratch folder, the temporary file
        }
        QCOMPARE(programFolder(), QStringList{"old.xlsx"});
        QFile old(file);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old"));
    }

    // A sheet holds 1,048,575 rows under its titles; the next row starts
    // "Лист2" under the same titles.
    void nextSheet()
    {
        if (!HaveUnzip())
            QSKIP("unzip is not installed: the .xlsx file is not read back");
        const QString file = programFile("long.xlsx");
        {
            TXlsxTableWriter w(file, {{"N", TXlsxColumn::Number, ""}});
            for (qint64 n = 1; n <= TXlsxTableWriter::SheetRows + 2; ++n)
                w.AddRow({n});
            w.Commit();
        }
        const QByteArray book = UnzipEntry(file, "xl/workbook.xml");
        QVERIFY2(book.contains("name=\"Лист1\"") && book.contains("name=\"Лист2\""), book.constData());
        const QByteArray second = UnzipEntry(file, "xl/worksheets/sheet2.xml");
        QVERIFY2(second.contains("<c r=\"A1\" s=\"1\" t=\"inlineStr\"><is><t>N</t></is></c>"), second.left(2000).constData());
        QVERIFY2(second.contains("<c r=\"A2\"><v>1048576</v></c>"), second.left(2000).constData());
        QVERIFY2(second.contains("<c r=\"A3\"><v>1048577</v></c>"), second.left(2000).constData());
        QVERIFY(!second.contains("r=\"A4\""));
        QVERIFY(second.contains("<pane ySplit=\"1\""));
    }
};

QUARN_TEST_MAIN(XlsxTableTest)
#include "XlsxTableTest.moc"
