// "Импорт из CSV..." on the grid's menu: a table exported and loaded into
// an empty copy of itself, compared through a second connection; a file
// with wrong values lists them by line and loads nothing; a row the
// database refuses undoes every row before it (in a transaction of its own
// and inside one already open); the dialog reading a file in the code page
// with semicolons, its preview and its choice of columns, driven with keys
// and the mouse.

#include "TransferTestSupport.h"

#include "common/Settings.h"
#include "common/TextFile.h"
#include "grid/CsvImportDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QRegularExpression>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

using namespace TransferTest;

namespace {

const QString PgDatabase = "quarn_csvimport";

const char *const Columns = "(ID INTEGER PRIMARY KEY, NAME VARCHAR(40), AMOUNT NUMERIC(12,2), DT DATE)";
const char *const Rows = "select ID, NAME, AMOUNT, DT from %1 order by ID";

QString programFile(const QString &name)
{
    return QDir(ProgramDir()).filePath(name);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Opens the import over `w` from its menu and hands the dialog to `act`,
// which must close it; false when the menu offers no import.
bool import(TGridWindow &w, const std::function<void(TCsvImportDlg &)> &act)
{
    bool shown = false;
    whenShown<TCsvImportDlg>([&](TCsvImportDlg &d) {
        shown = true;
        act(d);
        if (d.isVisible())
            d.reject();
    });
    return w.clickMenu(27) && shown;
}

// Types the file's name into the dialog's box and Enter reads it.
void typeFile(TCsvImportDlg &d, const QString &path)
{
    d.FileEdit->setFocus();
    QTest::keyClicks(d.FileEdit, path);
    QTest::keyClick(d.FileEdit, Qt::Key_Return);
}

QStringList headerTexts(const QTableWidget &t)
{
    QStringList texts;
    for (int c = 0; c < t.columnCount(); ++c)
        texts << (t.horizontalHeaderItem(c) ? t.horizontalHeaderItem(c)->text() : QString());
    return texts;
}

} // namespace

class CsvImportTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        setUpEngines(PgDatabase);
        InstallGridCommands();
        WriteSetting("CsvAskFormat", "0");
        for (const QString &alias : engines)
            if (usable(alias))
                DataTest::exec(alias, {"DROP TABLE IF EXISTS SRC", QString("CREATE TABLE SRC ") + Columns,
                                       "INSERT INTO SRC VALUES (1, 'a,b', 1234.5, '2024-03-05')",
                                       "INSERT INTO SRC VALUES (2, 'say \"hi\"', -0.75, NULL)",
                                       QString("INSERT INTO SRC VALUES (3, 'line1' || %1(10) || 'line2', NULL, '2023-12-31')")
                                           .arg(isPg(alias) ? "chr" : "char"),
                                       "INSERT INTO SRC VALUES (4, NULL, 0, NULL)",
                                       "INSERT INTO SRC VALUES (5, 'Привет, мир', 10, '2000-01-01')",
                                       "INSERT INTO SRC VALUES (6, 'O''Brien''); DROP TABLE SRC; --', 1e6, '1999-12-31')"});
    }

    // Exported from one grid and loaded from the other grid's menu into an
    // empty copy of the table: the same rows, read by another connection;
    // the grid shows them and the person is told how many.
    void roundTrip_data() { DataTest::engineRows(); }
    void roundTrip()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        DataTest::exec(alias, {"DROP TABLE IF EXISTS DST", QString("CREATE TABLE DST ") + Columns});
        TPerson person;
        person.SaveAs = programFile("src-" + alias + ".csv");
        {
            TGridWindow source(alias, "select * from SRC order by ID");
            QVERIFY(source.clickMenu(25));
        }
        TGridWindow w(alias, "select * from DST", true);
        int previewRows = -1;
        QList<int> targets;
        QVERIFY(import(w, [&](TCsvImportDlg &d) {
            typeFile(d, person.SaveAs);
            saveShot(&d, "csv-import-" + alias);
            previewRows = d.PreviewGrid->rowCount();
            for (int i = 0; i < d.MappingGrid->rowCount(); ++i)
                targets << d.Target(i);
            QTest::mouseClick(d.LoadBtn, Qt::LeftButton);
            QVERIFY(!d.isVisible());
        }));
        QCOMPARE(previewRows, 6);
        QCOMPARE(targets, (QList<int>{0, 1, 2, 3}));
        QCOMPARE(person.Messages.last(), QString("Загружено строк: 6"));
        QCOMPARE(w.query.RecordCount(), 6);
        QVERIFY(!w.query.Database()->InTransaction());
        DataTest::TSecondConnection second(alias, isPg(alias) ? PgDatabase : QString());
        const QString original = second.rows(QString(Rows).arg("SRC"));
        QVERIFY2(original.count(',') > 5, qPrintable(original));
        QCOMPARE(second.rows(QString(Rows).arg("DST")), original);
    }

    // Every table of the DEMO database (customers, products, invoices and
    // their lines: Cyrillic texts, dates, money, NULLs) exported from its
    // grid and loaded into an empty copy of its schema: each copy holds the
    // table's rows, value for value.
    void demoTablesRoundTrip()
    {
        QStringList scripts;   // as ./run.sh makes DEMO
        for (const char *name : {"/sql/sys_tables_sqlite.sql", "/sql/demo.sql"}) {
            QFile script(QStringLiteral(QUARN_SOURCE_DIR) + QLatin1String(name));
            QVERIFY(script.open(QIODevice::ReadOnly));
            scripts << QString::fromUtf8(script.readAll());
        }
        QFile::remove(programFile("demo.sqlite"));
        CreateSqliteDatabase(programFile("demo.sqlite"), scripts);
        for (const QString table : {"CUSTOMERS", "PRODUCTS", "INVOICES", "INVOICE_LINES"}) {
            const QString copy = "COPY_" + table;
            QString schema = DataTest::scalar("DEMO", "select sql from sqlite_master where name = '" + table + "'");
            schema.replace(QRegularExpression("^CREATE TABLE " + table + "\\b"), "CREATE TABLE " + copy);
            DataTest::exec("DEMO", {"DROP TABLE IF EXISTS " + copy, schema});
            TPerson person;
            person.SaveAs = programFile(table + ".csv");
            {
                TGridWindow source("DEMO", "select * from " + table + " order by 1");
                QVERIFY(source.clickMenu(25));
            }
            TGridWindow target("DEMO", "select * from " + copy, true);
            QVERIFY(import(target, [&](TCsvImportDlg &d) {
                typeFile(d, person.SaveAs);
                QTest::mouseClick(d.LoadBtn, Qt::LeftButton);
            }));
            const QString rows = DataTest::scalar("DEMO", "select count(*) from " + table);
            QVERIFY(rows.toInt() > 10);
            QCOMPARE(DataTest::scalar("DEMO", "select count(*) from " + copy), rows);
            QCOMPARE(DataTest::scalar("DEMO", QString("select count(*) from (select * from %1 except select * from %2)")
                                                  .arg(table, copy)),
                     QString("0"));
        }
        Session().CloseAll();
    }

    // A wrong number in line 3 and two wrong values in line 4: every error
    // with its line and column, and not a row loaded, the good line 2
    // included.
    void wrongValues_data() { DataTest::engineRows(); }
    void wrongValues()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        DataTest::exec(alias, {"DROP TABLE IF EXISTS DST", QString("CREATE TABLE DST ") + Columns,
                               "INSERT INTO DST VALUES (1, 'kept', 1, NULL)"});
        const QString file = programFile("wrong.csv");
        writeFile(file, "ID,NAME,AMOUNT,DT\r\n10,x,1.5,01.01.2024\r\n11,y,12.3.4,02.01.2024\r\n"
                        "12,z,abc,31.02.2024\r\n");
        TPerson person;
        TGridWindow w(alias, "select * from DST", true);
        bool stayed = false;
        QVERIFY(import(w, [&](TCsvImportDlg &d) {
            typeFile(d, file);
            QTest::mouseClick(d.LoadBtn, Qt::LeftButton);
            stayed = d.isVisible();
        }));
        QVERIFY(stayed);
        QCOMPARE(person.Messages, QStringList{"Файл не загружен: ошибок 3:\n"
                                              "строка 3, столбец 3 (AMOUNT): не число: «12.3.4»\n"
                                              "строка 4, столбец 3 (AMOUNT): не число: «abc»\n"
                                              "строка 4, столбец 4 (DT): не дата (дд.мм.гггг или гггг-мм-дд): «31.02.2024»"});
        DataTest::TSecondConnection second(alias, isPg(alias) ? PgDatabase : QString());
        QCOMPARE(second.rows("select ID, NAME from DST"), QString("1|kept"));

        // one wrong value deep in a long file: its line, and nothing loaded
        QString text = "ID,NAME,AMOUNT,DT\r\n";
        for (int line = 2; line <= 700; ++line)
            text += QString("%1,n%1,%2,01.01.2024\r\n").arg(line + 100).arg(line == 500 ? "x" : "1.25");
        writeFile(file, text.toUtf8());
        person.Messages.clear();
        QVERIFY(import(w, [&](TCsvImportDlg &d) {
            typeFile(d, file);
            QTest::mouseClick(d.LoadBtn, Qt::LeftButton);
        }));
        QCOMPARE(person.Messages, QStringList{"Файл не загружен: ошибок 1:\n"
                                              "строка 500, столбец 3 (AMOUNT): не число: «x»"});
        QCOMPARE(second.rows("select count(*) from DST"), QString("1"));
    }

    // The database refuses the second row (its key is taken): the first row
    // goes too, whether the import had a transaction of its own or ran
    // inside one already open, which stays open with what it held.
    void refusedRow_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<bool>("open");
        for (const QString &a : engines) {
            engineRow(a, "own transaction") << false;
            engineRow(a, "inside an open transaction") << true;
        }
    }
    void refusedRow()
    {
        QFETCH(QString, alias);
        QFETCH(bool, open);
        QUARN_NEED_ENGINE(alias);
        DataTest::exec(alias, {"DROP TABLE IF EXISTS DST", QString("CREATE TABLE DST ") + Columns,
                               "INSERT INTO DST VALUES (2, 'existing', NULL, NULL)"});
        const QString file = programFile("dup.csv");
        writeFile(file, "ID,NAME\r\n1,new one\r\n2,taken\r\n3,never\r\n");
        TPerson person;
        TErrors errors;
        TGridWindow w(alias, "select * from DST order by ID", true);
        TDatabase *db = w.query.Database();
        if (open) {
            db->StartTransaction();
            db->ExecSQL("INSERT INTO DST VALUES (7, 'pending', NULL, NULL)");
        }
        bool stayed = false;
        QVERIFY(import(w, [&](TCsvImportDlg &d) {
            typeFile(d, file);
            QTest::mouseClick(d.LoadBtn, Qt::LeftButton);
            stayed = d.isVisible();
        }));
        QVERIFY(stayed);
        QCOMPARE(errors.Messages.size(), 1);
        QVERIFY2(errors.Messages[0].contains("dst", Qt::CaseInsensitive), qPrintable(errors.Messages[0]));
        QVERIFY(!person.Messages.contains("Загружено строк: 3"));
        QCOMPARE(db->InTransaction(), open);
        // this connection still has the transaction's own row, and only it
        QCOMPARE(GridTest::column(alias, "select NAME from DST order by ID"),
                 open ? QStringList({"existing", "pending"}) : QStringList{"existing"});
        if (open)
            db->Rollback();
        DataTest::TSecondConnection second(alias, isPg(alias) ? PgDatabase : QString());
        QCOMPARE(second.rows("select ID, NAME from DST order by ID"), QString("2|existing"));
    }

    // A file in the code page with semicolons, chosen with "...": both
    // guessed, the preview and the columns by title (any letter case, or
    // the column's title in the grid); without a title line the columns in
    // the table's order; a column chosen with the keyboard.
    void dialog()
    {
        DataTest::exec("LITE", {"DROP TABLE IF EXISTS DST", QString("CREATE TABLE DST ") + Columns});
        const QString file = programFile("cp.csv");
        writeFile(file, EncodeText("name;Id;лишний;Дата\r\nИван;1;x;05.03.2024\r\nПётр;2;y;\r\n"));
        TPerson person;
        person.OpenName = file;
        TGridWindow w("LITE", "select ID, NAME, AMOUNT, DT as \"Дата\" from DST", true);
        QVERIFY(import(w, [&](TCsvImportDlg &d) {
            QTest::mouseClick(d.BrowseBtn, Qt::LeftButton);
            QCOMPARE(d.FileEdit->text(), file);
            QCOMPARE(d.SeparatorBox->currentData().toChar(), QChar(u';'));
            QCOMPARE(d.CodePageBox->currentData().toInt(), int(TCsvEncoding::CodePage));
            QCOMPARE(headerTexts(*d.PreviewGrid), (QStringList{"name", "Id", "лишний", "Дата"}));
            QCOMPARE(d.PreviewGrid->rowCount(), 2);
            QCOMPARE(d.PreviewGrid->item(1, 0)->text(), QString("Пётр"));
            QCOMPARE(d.Target(0), 1);    // NAME
            QCOMPARE(d.Target(1), 0);    // ID
            QCOMPARE(d.Target(2), -1);   // (пропустить)
            QCOMPARE(d.Target(3), 3);    // DT, by its title in the grid
            QCOMPARE(d.TargetBox(2)->currentText(), QString("(пропустить)"));

            // the title line off with the keyboard: numbered columns, taken in
            // the table's order, and the title line among the rows
            d.HeaderCheck->setFocus();
            QTest::keyClick(d.HeaderCheck, Qt::Key_Space);
            QVERIFY(!d.HeaderCheck->isChecked());
            QCOMPARE(headerTexts(*d.PreviewGrid), (QStringList{"1", "2", "3", "4"}));
            QCOMPARE(d.PreviewGrid->rowCount(), 3);
            QCOMPARE((QList<int>{d.Target(0), d.Target(1), d.Target(2), d.Target(3)}), (QList<int>{0, 1, 2, 3}));
            QTest::keyClick(d.HeaderCheck, Qt::Key_Space);

            // a column skipped with the keyboard, the other ones kept
            d.TargetBox(3)->setFocus();
            QTest::keyClick(d.TargetBox(3), Qt::Key_Home);
            QCOMPARE(d.Target(3), -1);
            QTest::mouseClick(d.LoadBtn, Qt::LeftButton);
            QVERIFY(!d.isVisible());
        }));
        QCOMPARE(person.Messages.last(), QString("Загружено строк: 2"));
        QCOMPARE(GridTest::column("LITE", "select NAME || ':' || ID || ':' || coalesce(DT, 'null') from DST order by ID"),
                 (QStringList{"Иван:1:null", "Пётр:2:null"}));
    }

    // Over a result it cannot write to, the menu has no import.
    void readOnlyGrid()
    {
        TGridWindow w("LITE", "select ID, NAME from SRC order by ID");
        QVERIFY(!w.clickMenu(27));
        TGridWindow joined("LITE", "select a.ID, b.NAME from SRC a join SRC b on a.ID = b.ID", true);
        QVERIFY(!joined.clickMenu(27));
    }
};

QUARN_WIDGETS_TEST_MAIN(CsvImportTest)
#include "CsvImportTest.moc"
