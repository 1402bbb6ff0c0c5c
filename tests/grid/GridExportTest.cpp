// The grid's exports from its menu: a CSV file byte for byte on SQLite and
// on PostgreSQL, the format asked with real keys and kept in quarn.ini,
// every row of a large table while the grid holds its first screen, an
// export stopped with Esc, rows with edits kept for later, and the .xlsx
// workbook read back with openpyxl.

#include "TransferTestSupport.h"

#include "common/Settings.h"
#include "common/TextFile.h"
#include "grid/GridExport.h"
#include "grid/GridExportCommands.h"

#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryFile>

using namespace TransferTest;

namespace {

const char *const Select = "select ID as \"ID\", NAME as \"Имя\", AMOUNT as \"Сумма\", DT as \"Дата\" from T order by ID";

// What the table T holds, as the grid shows it in a CSV record each.
const char *const ExpectedRecords =
    "ID,Имя,Сумма,Дата\r\n"
    "1,\"a,b\",1234.50,05.03.2024\r\n"
    "2,\"say \"\"hi\"\"\",-0.75,\r\n"
    "3,\"line1\nline2\",,31.12.2023\r\n"
    "4,,0.00,\r\n"
    "5,\"Привет, мир\",10.00,01.01.2000\r\n";

// Debian's openpyxl reads the workbook independently of libxlsxwriter:
// every cell of every sheet with its type, value, format and boldness, the
// frozen pane and the column widths.
const char *const XlsxReader = R"PY(
import json, sys, datetime, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
out = {"sheets": wb.sheetnames, "cells": {}, "frozen": {}, "widths": {}}
for ws in wb.worksheets:
    out["frozen"][ws.title] = ws.freeze_panes
    for row in ws.iter_rows():
        for c in row:
            if c.value is None:
                continue
            v = c.value
            if isinstance(v, (datetime.datetime, datetime.date, datetime.time)):
                v = v.isoformat()
            out["cells"][ws.title + "!" + c.coordinate] = {
                "type": type(c.value).__name__, "value": v, "format": c.number_format, "bold": bool(c.font.b)}
    for letter, dim in ws.column_dimensions.items():
        if dim.width:
            out["widths"][ws.title + "!" + letter] = dim.width
print(json.dumps(out))
)PY";

QJsonObject readXlsx(const QString &path)
{
    QTemporaryFile script;
    if (!script.open())
        return {};
    script.write(XlsxReader);
    script.flush();
    QProcess python;
    python.start("/usr/bin/python3", {script.fileName(), path});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        qWarning("openpyxl failed: %s", python.readAllStandardError().constData());
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

bool haveOpenpyxl()
{
    QProcess python;
    python.start("/usr/bin/python3", {"-c", "import openpyxl"});
    return python.waitForFinished(30000) && python.exitCode() == 0;
}

// Accepts the CSV format dialog as it comes (Enter).
void acceptFormat()
{
    whenShown<TCsvExportDlg>([](TCsvExportDlg &d) { press(d, Qt::Key_Return); });
}

QString programFile(const QString &name)
{
    return QDir(ProgramDir()).filePath(name);
}

} // namespace

class GridExportTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        setUpEngines("quarn_gridexport");
        InstallGridCommands();
        for (const QString &alias : engines)
            if (usable(alias))
                DataTest::exec(alias, {"DROP TABLE IF EXISTS T",
                                       "CREATE TABLE T (ID INTEGER PRIMARY KEY, NAME VARCHAR(40), AMOUNT NUMERIC(12,2), DT DATE)",
                                       "INSERT INTO T VALUES (1, 'a,b', 1234.5, '2024-03-05')",
                                       "INSERT INTO T VALUES (2, 'say \"hi\"', -0.75, NULL)",
                                       // a line feed alone: a statement's own line breaks are CR LF
                                       QString("INSERT INTO T VALUES (3, 'line1' || %1(10) || 'line2', NULL, '2023-12-31')")
                                           .arg(isPg(alias) ? "chr" : "char"),
                                       "INSERT INTO T VALUES (4, NULL, 0, NULL)",
                                       "INSERT INTO T VALUES (5, 'Привет, мир', 10, '2000-01-01')"});
    }

    void init() { WriteSetting("CsvAskFormat", ""); SaveCsvExportFormat(TCsvFormat{}); }

    // The menu's "Экспорт в CSV...": the file asked, the format dialog taken
    // as it comes with Enter: a comma, UTF-8 with its byte-order mark, the
    // values as the grid shows them, CR LF after every record.
    void csvFile_data() { DataTest::engineRows(); }
    void csvFile()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TPerson person;
        person.SaveAs = programFile("t-" + alias + ".csv");
        TGridWindow w(alias, Select);
        acceptFormat();
        QVERIFY(w.clickMenu(25));
        QCOMPARE(fileBytes(person.SaveAs), QByteArray("\xEF\xBB\xBF") + QByteArray(ExpectedRecords));
        QCOMPARE(person.Messages, QStringList{"Записано строк: 5 в файл " + QDir::toNativeSeparators(person.SaveAs)});
    }

    // The format chosen with keys: a semicolon and the program's code page;
    // the choice is kept and offered next time, where Esc writes nothing;
    // with "CsvAskFormat=0" the kept format is written without asking. A
    // name without a suffix gets ".csv", and an existing file is replaced
    // only after a Yes.
    void csvFormatChosen()
    {
        TPerson person;
        person.SaveAs = programFile("chosen");
        const QString file = person.SaveAs + ".csv";
        TGridWindow w("LITE", Select + QString(" limit 2"));
        whenShown<TCsvExportDlg>([](TCsvExportDlg &d) {
            press(d, Qt::Key_Down);   // the separator: a semicolon
            press(d, Qt::Key_Tab);
            press(d, Qt::Key_Down);   // the encoding: the code page
            press(d, Qt::Key_Return);
        });
        QVERIFY(w.clickMenu(25));
        const QByteArray expected = EncodeText("ID;Имя;Сумма;Дата\r\n1;a,b;1234.50;05.03.2024\r\n"
                                               "2;\"say \"\"hi\"\"\";-0.75;\r\n");
        QCOMPARE(fileBytes(file), expected);
        QCOMPARE(ReadSetting("CsvSeparator"), QString(";"));
        QCOMPARE(ReadSetting("CsvEncoding"), QString("CodePage"));

        // asked again: the replacement first (No keeps the file) ...
        person.Answer = TUserInterface::mbNo;
        QVERIFY(w.clickMenu(25));
        QCOMPARE(person.Messages.last(), "Переписать " + QDir::toNativeSeparators(file) + " ?");
        // ... then, with Yes, the dialog with the kept choice, and Esc
        person.Answer = TUserInterface::mbYes;
        int separator = -1, encoding = -1;
        whenShown<TCsvExportDlg>([&](TCsvExportDlg &d) {
            separator = d.SeparatorBox->currentIndex();
            encoding = d.EncodingBox->currentIndex();
            press(d, Qt::Key_Escape);
        });
        QFile::remove(file);
        QVERIFY(w.clickMenu(25));
        QCOMPARE(separator, 1);
        QCOMPARE(encoding, 1);
        QVERIFY(!QFile::exists(file));

        WriteSetting("CsvAskFormat", "0");
        QVERIFY(w.clickMenu(25));
        QCOMPARE(fileBytes(file), expected);
    }

    // 50,000 rows: the grid holds its first screen and stays on its row;
    // the file gets every row, in order, read by a query of the export's
    // own (the grid's dataset never moves).
    void everyRow_data() { DataTest::engineRows(); }
    void everyRow()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        DataTest::exec(alias, {"DROP TABLE IF EXISTS BIG", "CREATE TABLE BIG (N INTEGER PRIMARY KEY, S VARCHAR(20))",
                               isPg(alias) ? "INSERT INTO BIG SELECT n, 'row ' || n FROM generate_series(1, 50000) n"
                                           : "WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < 50000)"
                                             " INSERT INTO BIG SELECT n, 'row ' || n FROM s"});
        WriteSetting("CsvAskFormat", "0");
        TPerson person;
        person.SaveAs = programFile("big.csv");
        TGridWindow w(alias, "select N as \"N\", S as \"S\" from BIG order by N");
        QTest::keyClick(w.grid.View(), Qt::Key_Down);
        QTest::keyClick(w.grid.View(), Qt::Key_Down);
        QCOMPARE(w.query.RecNo(), 3);
        int moves = 0;
        w.query.AfterScroll = [&](TDataSet &) { ++moves; };
        QVERIFY(w.clickMenu(25));
        QCOMPARE(moves, 0);
        QCOMPARE(w.query.RecNo(), 3);
        QVERIFY(TExportRows(w.query).ReadAgain());

        QFile f(person.SaveAs);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readLine(), QByteArray("\xEF\xBB\xBFN,S\r\n"));
        int n = 0;
        while (!f.atEnd()) {
            const QByteArray line = f.readLine();
            ++n;
            if (line != QByteArray::number(n) + ",row " + QByteArray::number(n) + "\r\n")
                QFAIL(qPrintable("line " + QString::number(n + 1) + ": " + QString::fromUtf8(line)));
        }
        QCOMPARE(n, 50000);
        QCOMPARE(person.Messages.last(), "Записано строк: 50000 в файл " + QDir::toNativeSeparators(person.SaveAs));
    }

    // Esc during a long export, and Yes to "Прервать процесс ?": the error
    // says so, and the file written before stays as it was, with no
    // temporary file beside it.
    void stoppedWithEsc()
    {
        DataTest::exec("LITE", {"DROP TABLE IF EXISTS MANY", "CREATE TABLE MANY (N INTEGER)",
                                "WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < 20000)"
                                " INSERT INTO MANY SELECT n FROM s"});
        WriteSetting("CsvAskFormat", "0");
        const QString dir = QDir(ProgramDir()).filePath("stopped");
        QDir().mkpath(dir);
        TPerson person;
        person.SaveAs = dir + "/many.csv";
        {
            QFile old(person.SaveAs);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old");
        }
        person.Esc = true;
        TErrors errors;
        TGridWindow w("LITE", "select N from MANY");
        for (int tag : {25, 26}) {
            person.SaveAs = dir + (tag == 25 ? "/many.csv" : "/many.xlsx");
            errors.Messages.clear();
            QVERIFY(w.clickMenu(tag));
            QCOMPARE(errors.Messages, QStringList{"Операция прервана пользователем"});
            QVERIFY(person.Messages.contains("Прервать процесс ?"));
        }
        QCOMPARE(fileBytes(dir + "/many.csv"), QByteArray("old"));
        QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"many.csv"});
    }

    // Edits kept for later are no part of the statement: the rows are
    // walked where they are, the edit among them, and the grid comes back
    // to its row.
    void editsKeptForLater()
    {
        WriteSetting("CsvAskFormat", "0");
        TPerson person;
        person.SaveAs = programFile("kept.csv");
        TGridWindow w("LITE", "select ID, NAME from T order by ID", true);
        w.query.SetCachedUpdates(true);
        QTest::keyClick(w.grid.View(), Qt::Key_Down);
        w.query.Edit();
        w.query.FieldByName("NAME")->SetAsString("changed");
        w.query.Post();
        QVERIFY(w.query.UpdatesPending());
        QVERIFY(w.clickMenu(25));
        QCOMPARE(QString::fromUtf8(fileBytes(person.SaveAs)).split("\r\n").mid(1, 3),
                 (QStringList{"1,\"a,b\"", "2,changed", "3,\"line1\nline2\""}));
        QCOMPARE(w.query.RecNo(), 2);
        w.query.CancelUpdates();
    }

    // "Экспорт в Excel...": the titles bold in a frozen first row, numbers
    // as numbers with the column's decimals, dates as dates, texts as texts,
    // NULL as no cell, widths fitted to the texts and capped.
    void xlsxFile_data() { DataTest::engineRows(); }
    void xlsxFile()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        if (!haveOpenpyxl())
            QSKIP("/usr/bin/python3 cannot import openpyxl (Debian package python3-openpyxl): not read back");
        TPerson person;
        person.SaveAs = programFile("t-" + alias);
        const QString file = person.SaveAs + ".xlsx";
        const QString longText = isPg(alias) ? "repeat('x', 101)" : "'x' || hex(zeroblob(50))";
        TGridWindow w(alias, "select ID as \"ID\", NAME as \"Имя\", AMOUNT as \"Сумма\", DT as \"Дата\", "
                                 + longText + " as \"Длинный\" from T order by ID");
        QVERIFY(w.clickMenu(26));
        QCOMPARE(person.Messages, QStringList{"Записано строк: 5 в файл " + QDir::toNativeSeparators(file)});

        const QJsonObject x = readXlsx(file);
        QVERIFY2(!x.isEmpty(), "openpyxl could not read the file");
        QCOMPARE(x["sheets"].toVariant().toStringList(), QStringList{"Лист1"});
        QCOMPARE(x["frozen"].toObject()["Лист1"].toString(), QString("A2"));
        const QJsonObject cells = x["cells"].toObject();
        auto cell = [&](const QString &ref) { return cells["Лист1!" + ref].toObject(); };
        const QStringList titles{"ID", "Имя", "Сумма", "Дата", "Длинный"};
        for (int c = 0; c < titles.size(); ++c) {
            const QString ref = QString(QChar(u'A' + c)) + "1";
            QCOMPARE(cell(ref)["value"].toString(), titles[c]);
            QVERIFY2(cell(ref)["bold"].toBool(), qPrintable(ref));
        }
        QCOMPARE(cell("A2")["type"].toString(), QString("int"));
        QCOMPARE(cell("A2")["value"].toInt(), 1);
        QCOMPARE(cell("B2")["type"].toString(), QString("str"));
        QCOMPARE(cell("B2")["value"].toString(), QString("a,b"));
        QCOMPARE(cell("C2")["type"].toString(), QString("float"));
        QCOMPARE(cell("C2")["value"].toDouble(), 1234.5);
        QCOMPARE(cell("C2")["format"].toString(), QString("0.00"));
        QCOMPARE(cell("C3")["value"].toDouble(), -0.75);
        QCOMPARE(cell("D2")["type"].toString(), QString("datetime"));
        QCOMPARE(cell("D2")["value"].toString(), QString("2024-03-05T00:00:00"));
        QCOMPARE(cell("D2")["format"].toString(), QString("dd.mm.yyyy"));
        QCOMPARE(cell("B4")["value"].toString(), QString("line1\nline2"));
        QCOMPARE(cell("B6")["value"].toString(), QString("Привет, мир"));
        // NULL is no cell at all
        for (const char *empty : {"D3", "C4", "B5", "D5"})
            QVERIFY2(!cells.contains(QString("Лист1!") + empty), empty);
        QCOMPARE(cell("C5")["value"].toDouble(), 0.0);
        QCOMPARE(cell("C5")["format"].toString(), QString("0.00"));
        QCOMPARE(cell("E2")["value"].toString().size(), 101);
        // the widest text shown and two characters for the margins; the
        // long texts capped
        const QJsonObject widths = x["widths"].toObject();
        auto width = [&](const char *column) { return widths[QString("Лист1!") + column].toDouble(); };
        QVERIFY2(width("B") >= 13 && width("B") < 14, qPrintable(QString::number(width("B"))));   // "Привет, мир"
        QVERIFY2(width("C") >= 9 && width("C") < 10, qPrintable(QString::number(width("C"))));    // "1234.50"
        QVERIFY2(width("D") >= 12 && width("D") < 13, qPrintable(QString::number(width("D"))));   // "05.03.2024"
        QVERIFY2(width("E") >= 60 && width("E") < 61, qPrintable(QString::number(width("E"))));
        QCOMPARE(QDir(ProgramDir()).entryList({".quarn-xlsx*", ".t-*"}, QDir::AllEntries | QDir::Hidden), QStringList());
    }
};

QUARN_WIDGETS_TEST_MAIN(GridExportTest)
#include "GridExportTest.moc"
