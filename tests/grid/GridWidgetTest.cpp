// The searchable grid driven by real keys and clicks, on a SQLite file and
// on PostgreSQL: the search row and its delay, marks, frozen columns,
// deleting and editing rows that reach the database.

#include "GridTestSupport.h"

#include "common/Settings.h"
#include "grid/SearchDBGrid.h"
#include "uisupport/Guard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlQuery>

using namespace GridTest;

namespace {

// The grid of a test: a query on PEOPLE, its data source, a shown grid.
struct TGridFixture {
    TQuery query;
    TDataSource source{&query};
    TSearchDBGrid grid;
    int opens = 0;

    TGridFixture(const QString &alias, const QString &sql, bool live = false)
    {
        query.SetName("Q");
        query.SetDatabaseName(alias);
        query.SetSQLText(sql);
        query.SetRequestLive(live);
        query.AfterOpen = [this](TDataSet &) { ++opens; };
        query.Open();
        opens = 0;
        grid.setObjectName("Grid");
        grid.SetDataSource(&source);
        grid.resize(700, 300);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.View()->setFocus();
    }
    ~TGridFixture() { grid.SetDataSource(nullptr); }

    void column(const QString &field)
    {
        for (int c = 0; c < grid.ColumnCount(); ++c)
            if (grid.Column(c).FieldName.compare(field, Qt::CaseInsensitive) == 0)
                grid.SetSelectedIndex(c);
    }
    void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(grid.View(), Qt::Key(k), m); }
    int rows() { return grid.Model()->rowCount(); }
    // The model's rows when every row is read.
    int allRows()
    {
        while (grid.Model()->canFetchMore({}))
            grid.Model()->fetchMore({});
        return rows();
    }
};

// Errors that reach the application, kept instead of shown.
struct TErrorCatcher {
    QStringList messages;
    TExceptionHandler previous;
    TErrorCatcher()
    {
        previous = SetApplicationExceptionHandler([this](QObject *, const Exception &e) { messages << e.Message(); });
    }
    ~TErrorCatcher() { SetApplicationExceptionHandler(previous); }
};

// A value read through a connection of its own, not the program's.
QString readBack(const QString &alias, const QString &sql)
{
    const QString name = "readback";
    QString result;
    {
        QSqlDatabase db;
        if (isPg(alias)) {
            const auto dsn = DataTest::parseDsn(qEnvironmentVariable("QUARN_PG_DSN"));
            db = QSqlDatabase::addDatabase("QPSQL", name);
            db.setHostName(dsn.value("host"));
            db.setPort(dsn.value("port").toInt());
            db.setUserName(dsn.value("user"));
            db.setPassword(dsn.value("password"));
            db.setDatabaseName("quarn_gridwidget");
        } else {
            db = QSqlDatabase::addDatabase("QSQLITE", name);
            db.setDatabaseName(QDir(ProgramDir()).filePath("lite.db"));
        }
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(sql) && q.next())
                result = q.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

const char *PeopleSql = "select * from PEOPLE order by ID";

// Types a text of any letters, as a keyboard layout that has them would.
void typeText(QWidget *w, const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(w, c.toLatin1());
            continue;
        }
        QTest::sendKeyEvent(QTest::Press, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

} // namespace

class GridWidgetTest : public QObject {
    Q_OBJECT

    int m_year = QDate::currentDate().year();

private slots:
    void initTestCase()
    {
        setUpEngines("quarn_gridwidget");
    }

    void init()
    {
        for (const QString &alias : engines) {
            if (!usable(alias))
                continue;
            const QString born = QString("%1-03-12").arg(m_year);
            DataTest::exec(alias, {"DROP TABLE IF EXISTS PEOPLE",
                                   "CREATE TABLE PEOPLE (ID INTEGER PRIMARY KEY, NAME VARCHAR(30), BORN DATE,"
                                   " SALARY NUMERIC(10,2) CHECK (SALARY >= 0))",
                                   "INSERT INTO PEOPLE VALUES (1, 'Ivanov', '" + born + "', 1200.50)",
                                   "INSERT INTO PEOPLE VALUES (2, 'Petrov', '1980-01-02', 900)",
                                   "INSERT INTO PEOPLE VALUES (3, 'Ivashin', '1975-03-12', 1500)",
                                   "INSERT INTO PEOPLE VALUES (4, 'Sidorov', '1990-12-03', 700)"});
        }
    }

    void engines_data()
    {
        QTest::addColumn<QString>("alias");
        for (const QString &a : engines)
            engineRow(a, "grid");
    }

    // "Iv" in a string column: nothing happens while typing, one reopen
    // after the pause with the condition block, matching rows only;
    // Backspace to empty removes the block.
    void searchString_data() { engines_data(); }
    void searchString()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TGridFixture f(alias, PeopleSql);
        f.column("NAME");
        QTest::keyClicks(f.grid.View(), "Iv");
        QCOMPARE(f.grid.Conditions().SearchValue(f.grid.SelectedField()->FieldName()), QString("Iv"));
        QCOMPARE(f.opens, 0);
        QTRY_COMPARE_WITH_TIMEOUT(f.opens, 1, 2000);
        QTest::qWait(700);
        QCOMPARE(f.opens, 1);
        QVERIFY(f.query.SQLText().contains("like 'Iv%'"));
        QVERIFY(f.query.SQLText().contains("/*Begin for "));
        QCOMPARE(f.allRows(), 2);
        QCOMPARE(f.grid.SelectedField()->FieldName().toUpper(), QString("NAME"));

        f.key(Qt::Key_Backspace);
        f.key(Qt::Key_Backspace);
        QTRY_COMPARE_WITH_TIMEOUT(f.opens, 2, 2000);
        QVERIFY(!f.query.SQLText().contains("/*Begin for "));
        QCOMPARE(f.query.SQLText().simplified(), QString(PeopleSql));
        QCOMPARE(f.allRows(), 4);
    }

    // Typing into date and number columns: 12.3 is the 12th of March of the
    // current year; a pattern on a number column works on every engine.
    void searchDateAndNumber_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("ids");
        for (const QString &a : engines) {
            engineRow(a, "date 12.3") << "BORN" << "12.3" << QStringList{"1"};
            engineRow(a, "date pattern %03%") << "BORN" << "%03%" << QStringList{"1", "3", "4"};
            engineRow(a, "number 900") << "SALARY" << "900" << QStringList{"2"};
            engineRow(a, "number pattern 1%") << "SALARY" << "1%" << QStringList{"1", "3"};
            engineRow(a, "letters refused in a number") << "SALARY" << "x7x00" << QStringList{"4"};
        }
    }
    void searchDateAndNumber()
    {
        QFETCH(QString, alias);
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QStringList, ids);
        QUARN_NEED_ENGINE(alias);
        TErrorCatcher errors;
        TGridFixture f(alias, PeopleSql);
        f.column(field);
        QTest::keyClicks(f.grid.View(), typed);
        QTRY_COMPARE_WITH_TIMEOUT(f.opens, 1, 2000);
        QVERIFY2(errors.messages.isEmpty(), qPrintable(errors.messages.join("\n")));
        QStringList got;
        for (int r = 0; r < f.allRows(); ++r)
            got << f.grid.Model()->index(r, 0).data().toString();
        QCOMPARE(got, ids);
    }

    // A text the server rejects: the error is shown, the grid stays open on
    // its old rows, and the value stays as typed.
    // A column named with a blank is quoted in the condition: SQLite finds
    // the alias in WHERE, PostgreSQL refuses it, and the grid then stays on
    // its rows with the typed value, still usable.
    void searchOnAnAlias_data() { engines_data(); }
    void searchOnAnAlias()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TErrorCatcher errors;
        TGridFixture f(alias, "select ID, NAME as \"Full Name\" from PEOPLE");
        f.column("Full Name");
        QTest::keyClicks(f.grid.View(), "Iv");
        if (!isPg(alias)) {
            QTRY_COMPARE_WITH_TIMEOUT(f.opens, 1, 2000);
            QVERIFY(f.query.SQLText().contains("\"Full Name\" like 'Iv%'"));
            QCOMPARE(f.allRows(), 2);
            QVERIFY(errors.messages.isEmpty());
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(!errors.messages.isEmpty(), 2000);
        QVERIFY(f.query.Active());
        QCOMPARE(f.allRows(), 4);
        QCOMPARE(f.grid.Conditions().SearchValue("Full Name"), QString("Iv"));
        QVERIFY(!f.query.SQLText().contains("/*Begin"));
        // still usable: the cursor moves, and the value can be corrected
        f.key(Qt::Key_Down);
        QCOMPARE(f.query.RecNo(), 2);
        f.key(Qt::Key_Backspace);
        QCOMPARE(f.grid.Conditions().SearchValue("Full Name"), QString("I"));
    }

    // Marks by the current column (keypad +), Alt+F9 to the marked rows and
    // back; the status corner turns blue while the filter is in force.
    void markedRows_data() { engines_data(); }
    void markedRows()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TGridFixture f(alias, PeopleSql);
        f.column("NAME");
        f.key(Qt::Key_Plus, Qt::KeypadModifier);
        f.key(Qt::Key_Down);
        f.key(Qt::Key_Down);
        f.key(Qt::Key_Plus, Qt::KeypadModifier);
        QCOMPARE(f.grid.ChoiceList(), (QStringList{"NAME=Ivanov", "NAME=Ivashin"}.replaceInStrings("NAME", f.grid.SelectedField()->FieldName())));
        QVERIFY(f.grid.IsMarked(0) && !f.grid.IsMarked(1) && f.grid.IsMarked(2));
        QCOMPARE(f.grid.Model()->index(0, 1).data(Qt::ForegroundRole).value<QColor>(), f.grid.ChoiceColor());
        QVERIFY(f.grid.SearchValues().isEmpty());   // the keypad key typed nothing

        f.key(Qt::Key_F9, Qt::AltModifier);
        QCOMPARE(f.allRows(), 2);
        QCOMPARE(f.grid.StatusColor(), QColor(Qt::blue));
        f.key(Qt::Key_F9, Qt::AltModifier);
        QCOMPARE(f.allRows(), 4);
        QVERIFY(!f.grid.StatusColor().isValid());

        f.key(Qt::Key_Asterisk, Qt::KeypadModifier);   // inverted
        QVERIFY(!f.grid.IsMarked(0) && f.grid.IsMarked(1));
        f.key(Qt::Key_Slash, Qt::KeypadModifier);      // cleared, still inverted: all marked
        QVERIFY(f.grid.ChoiceList().isEmpty() && f.grid.IsMarked(0));
        // F9 locks the search: typed values wait, the corner is red
        f.key(Qt::Key_F9);
        QCOMPARE(f.grid.StatusColor(), QColor(Qt::red));
        QTest::keyClicks(f.grid.View(), "P");
        QTest::qWait(700);
        QCOMPARE(f.allRows(), 4);
        f.key(Qt::Key_F9);
        QTRY_COMPARE_WITH_TIMEOUT(f.allRows(), 1, 2000);
    }

    // Auto-repeat re-runs the query with its conditions and releases the
    // search lock; an interval of 0 stops it.
    void autoRepeat()
    {
        TGridFixture f("LITE", PeopleSql);
        f.grid.ToggleSearchLock();
        f.grid.SetRepeatInterval(100);
        QCOMPARE(f.grid.RepeatInterval(), 100);
        QTRY_VERIFY_WITH_TIMEOUT(f.opens >= 2, 2000);
        QVERIFY(!f.grid.SearchLocked());
        f.grid.SetRepeatInterval(0);
        QCOMPARE(f.grid.RepeatInterval(), 0);
        const int opens = f.opens;
        QTest::qWait(300);
        QCOMPARE(f.opens, opens);
    }

    // F7 freezes one column more, up to seven, and never all of them.
    void frozenColumns_data()
    {
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("presses");
        QTest::addColumn<int>("frozen");
        QTest::newRow("ten columns, eight presses") << 10 << 8 << 7;
        QTest::newRow("three columns") << 3 << 5 << 2;
    }
    void frozenColumns()
    {
        QFETCH(int, columns);
        QFETCH(int, presses);
        QFETCH(int, frozen);
        QStringList names;
        for (int c = 0; c < columns; ++c)
            names << QString("1 as C%1").arg(c);
        TGridFixture f("LITE", "select " + names.join(", "));
        for (int i = 0; i < presses; ++i)
            f.key(Qt::Key_F7);
        QCOMPARE(f.grid.FixedCols(), frozen);
        QVERIFY(f.grid.FrozenView()->isVisible());
        QCOMPARE(f.grid.FrozenView()->isColumnHidden(frozen - 1), false);
        QCOMPARE(f.grid.FrozenView()->isColumnHidden(frozen), true);
        f.key(Qt::Key_F7, Qt::ShiftModifier);
        QCOMPARE(f.grid.FixedCols(), frozen - 1);
        f.grid.SetTitleRows(0);
        QCOMPARE(f.grid.TitleRows(), 2);
    }

    // Ctrl+Del asks; Cancel keeps the row, OK deletes it in the database.
    void deleteRow_data() { engines_data(); }
    void deleteRow()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TRecordingUI ui;
        TGridFixture f(alias, PeopleSql, true);
        f.key(Qt::Key_Down);
        ui.Answer = TUserInterface::mbCancel;
        f.key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(ui.Messages, QStringList{"Удалить запись?"});
        QCOMPARE(readBack(alias, "select count(*) from PEOPLE"), QString("4"));
        ui.Answer = TUserInterface::mbOK;
        f.key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(readBack(alias, "select count(*) from PEOPLE where ID = 2"), QString("0"));
        QCOMPARE(f.allRows(), 3);
    }

    // Typing into a cell of a live grid and leaving the row writes the
    // value; a value the database refuses shows its error and keeps both
    // the edit and the row.
    void editCell_data() { engines_data(); }
    void editCell()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TErrorCatcher errors;
        TGridFixture f(alias, PeopleSql, true);
        f.grid.SetSearchInUse(false);
        f.column("NAME");
        f.key(Qt::Key_F2);
        QVERIFY(f.grid.IsEditing());
        auto *editor = QApplication::focusWidget();
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, "Ivanova");
        QTest::keyClick(editor, Qt::Key_Return);
        QApplication::processEvents();   // the editor commits after its own key handling
        QCOMPARE(f.query.State(), dsEdit);
        f.key(Qt::Key_Down);
        QCOMPARE(f.query.State(), dsBrowse);
        QCOMPARE(readBack(alias, "select NAME from PEOPLE where ID = 1"), QString("Ivanova"));

        f.column("SALARY");
        QTest::keyClick(f.grid.View(), '-');   // without the search row, typing opens the editor
        QVERIFY(f.grid.IsEditing());
        QTest::keyClick(QApplication::focusWidget(), '5');
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QApplication::processEvents();
        f.key(Qt::Key_Up);
        QCOMPARE(errors.messages.size(), 1);
        QCOMPARE(f.query.State(), dsEdit);
        QCOMPARE(f.query.RecNo(), 2);
        QCOMPARE(f.query.FieldByName(f.grid.SelectedField()->FieldName())->AsFloat(), -5.0);
        QCOMPARE(f.grid.View()->currentIndex().row(), 1);
        QCOMPARE(readBack(alias, "select SALARY from PEOPLE where ID = 2").toDouble(), 900.0);
        f.key(Qt::Key_Escape);
        QCOMPARE(f.query.State(), dsBrowse);
    }

    // An edit left in a row (F2, typed, Return, not posted) is written
    // before a search reopens the query; a value the database refuses shows
    // its error, and the edit, the rows and the query's text all stay.
    // Shift with arrows and Shift+click select cells, Ctrl+click whole
    // rows; Ctrl+C copies them tab-separated as shown, Ctrl+Shift+C with
    // the titles; a plain move ends the selection, and one cell is copied.
    void selectAndCopy_data() { engines_data(); }
    void selectAndCopy()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TGridFixture f(alias, "select ID, NAME, SALARY, BORN from PEOPLE order by ID");
        const auto copied = [&](Qt::KeyboardModifiers mods) {
            QGuiApplication::clipboard()->clear();
            f.key(Qt::Key_C, mods);
            return QGuiApplication::clipboard()->text();
        };
        f.column("ID");
        f.key(Qt::Key_Right, Qt::ShiftModifier);
        f.key(Qt::Key_Right, Qt::ShiftModifier);
        f.key(Qt::Key_Down, Qt::ShiftModifier);
        f.key(Qt::Key_Down, Qt::ShiftModifier);
        const QString titles = f.grid.Model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString() + "\t"
                               + f.grid.Model()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString() + "\t"
                               + f.grid.Model()->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString() + "\n";
        const QString rows = "1\tIvanov\t1200.50\n2\tPetrov\t900.00\n3\tIvashin\t1500.00\n";
        QCOMPARE(copied(Qt::ControlModifier | Qt::ShiftModifier), titles + rows);
        QCOMPARE(copied(Qt::ControlModifier), rows);
        // a plain move ends it: the current cell alone
        f.key(Qt::Key_Up);
        QVERIFY(f.grid.SelectedRows().isEmpty());
        QCOMPARE(copied(Qt::ControlModifier), QString("900.00\n"));
        // Shift+click from there to the last row's name
        const QRect cell = f.grid.View()->visualRect(f.grid.Model()->index(3, 1));
        QTest::mouseClick(f.grid.View()->viewport(), Qt::LeftButton, Qt::ShiftModifier, cell.center());
        QCOMPARE(copied(Qt::ControlModifier), QString("Petrov\t900.00\nIvashin\t1500.00\nSidorov\t700.00\n"));
        // Ctrl+click picks whole rows; a NULL copies as nothing
        DataTest::exec(alias, {"UPDATE PEOPLE SET BORN = NULL WHERE ID = 4"});
        f.query.Close();
        f.query.Open();
        for (int row : {3, 0}) {
            const QRect at = f.grid.View()->visualRect(f.grid.Model()->index(row, 1));
            QTest::mouseClick(f.grid.View()->viewport(), Qt::LeftButton, Qt::ControlModifier, at.center());
        }
        const QString born = f.query.FieldByName("BORN")->DisplayText();
        QCOMPARE(copied(Qt::ControlModifier), "1\tIvanov\t1200.50\t" + born + "\n4\tSidorov\t700.00\t\n");
    }

    // A column narrowed by hand keeps its width through a search (which
    // reopens the statement) and the next opening of the table's grid; the
    // other columns keep theirs.
    void widthsKept_data() { engines_data(); }
    void widthsKept()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        QList<int> before;
        {
            TGridFixture f(alias, "select ID, NAME, SALARY from PEOPLE order by ID");
            QHeaderView *titles = f.grid.View()->horizontalHeader();
            for (int c = 0; c < 3; ++c)
                before << titles->sectionSize(c);
            titles->resizeSection(1, 41);
            before[1] = 41;
            f.column("NAME");
            QTest::keyClicks(f.grid.View(), "Iv");
            QTRY_COMPARE_WITH_TIMEOUT(f.opens, 1, 2000);
            QCOMPARE(f.allRows(), 2);
            for (int c = 0; c < 3; ++c)
                QCOMPARE(titles->sectionSize(c), before[c]);
        }
        TGridFixture again(alias, "select ID, NAME, SALARY from PEOPLE order by ID");
        for (int c = 0; c < 3; ++c)
            QCOMPARE(again.grid.View()->horizontalHeader()->sectionSize(c), before[c]);
        WriteSetting("Widths/" + again.grid.GridName() + "/PEOPLE", QString());
    }

    void editPostedBeforeSearch_data() { engines_data(); }
    void editPostedBeforeSearch()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TErrorCatcher errors;
        TGridFixture f(alias, PeopleSql, true);
        const auto edit = [&](const QString &field, const QString &text) {
            f.column(field);
            f.key(Qt::Key_F2);
            QWidget *editor = QApplication::focusWidget();
            QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(editor, text);
            QTest::keyClick(editor, Qt::Key_Return);
            QApplication::processEvents();
        };
        edit("NAME", "Ivanova");
        QCOMPARE(f.query.State(), dsEdit);
        QTest::keyClicks(f.grid.View(), "Iv");
        QTRY_COMPARE_WITH_TIMEOUT(f.opens, 1, 2000);
        QCOMPARE(readBack(alias, "select NAME from PEOPLE where ID = 1"), QString("Ivanova"));
        QCOMPARE(f.allRows(), 2);

        const QString text = f.query.SQLText();
        edit("SALARY", "-5");
        QCOMPARE(f.query.State(), dsEdit);
        f.column("NAME");
        QTest::keyClick(f.grid.View(), Qt::Key_A);
        QTRY_COMPARE_WITH_TIMEOUT(errors.messages.size(), 1, 2000);
        QCOMPARE(f.opens, 1);
        QCOMPARE(f.query.SQLText(), text);
        QCOMPARE(f.query.State(), dsEdit);
        QCOMPARE(f.query.FieldByName("SALARY")->AsFloat(), -5.0);
        QCOMPARE(readBack(alias, "select SALARY from PEOPLE where ID = 1").toDouble(), 1200.5);
        f.key(Qt::Key_Escape);
        QCOMPARE(f.query.State(), dsBrowse);
    }

    // Small letters find capitals on SQLite, Cyrillic ones too; PostgreSQL
    // keeps its LIKE case-sensitive. A quote typed finds itself.
    void cyrillicAndQuotes_data() { engines_data(); }
    void cyrillicAndQuotes()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        DataTest::exec(alias, {"DROP TABLE IF EXISTS CLIENTS", "CREATE TABLE CLIENTS (ID INTEGER PRIMARY KEY, NAME TEXT)",
                               "INSERT INTO CLIENTS VALUES (1, 'ЗАО «Ромашка»'), (2, 'O''Brien'), (3, 'ООО Ива')"});
        TGridFixture f(alias, "select ID, NAME from CLIENTS order by ID");
        f.column("NAME");
        typeText(f.grid.View(), "за");
        QTRY_COMPARE_WITH_TIMEOUT(f.opens, 1, 2000);
        QCOMPARE(f.allRows(), isPg(alias) ? 0 : 1);
        for (int i = 0; i < 2; ++i)
            f.key(Qt::Key_Backspace);
        QTest::keyClicks(f.grid.View(), "O'B");   // within the delay: one search
        QTRY_COMPARE_WITH_TIMEOUT(f.opens, 2, 3000);
        QCOMPARE(f.allRows(), 1);
        QCOMPARE(f.grid.Model()->index(0, 1).data().toString(), QString("O'Brien"));
    }

    // A view, and a table without a key on PostgreSQL, offer no editing:
    // F2 opens no editor, Ctrl+Ins and Ctrl+Del change nothing.
    void readOnlyResults_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QString>("sql");
        for (const QString &a : engines)
            engineRow(a, "view") << "select * from V_NOKEY";
        engineRow("PG", "table without a key") << "select * from NOKEY";
    }
    void readOnlyResults()
    {
        QFETCH(QString, alias);
        QFETCH(QString, sql);
        QUARN_NEED_ENGINE(alias);
        DataTest::exec(alias, {"DROP VIEW IF EXISTS V_NOKEY", "DROP TABLE IF EXISTS NOKEY", "CREATE TABLE NOKEY (N INTEGER)",
                               "INSERT INTO NOKEY VALUES (1)", "CREATE VIEW V_NOKEY AS SELECT * FROM NOKEY"});
        TRecordingUI ui;
        ui.Answer = TUserInterface::mbOK;
        TGridFixture f(alias, sql, true);
        f.grid.SetSearchInUse(false);
        QVERIFY(!f.query.CanModify());
        f.key(Qt::Key_F2);
        QVERIFY(!f.grid.IsEditing());
        f.key(Qt::Key_Insert, Qt::ControlModifier);
        QCOMPARE(f.query.State(), dsBrowse);
        f.key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(readBack(alias, "select count(*) from NOKEY"), QString("1"));
    }

    // The server ended the session under an open grid (as a restart does):
    // the next edit connects again and is saved.
    void editAfterServerRestart()
    {
        QUARN_NEED_ENGINE(QStringLiteral("PG"));
        TErrorCatcher errors;
        TGridFixture f("PG", PeopleSql, true);
        f.grid.SetSearchInUse(false);
        QCOMPARE(readBack("PG", "select count(pg_terminate_backend(pid)) > 0 from pg_stat_activity "
                                "where datname = current_database() and pid <> pg_backend_pid()"),
                 QString("true"));
        // the sessions end a moment later, as after a restart
        QTRY_COMPARE_WITH_TIMEOUT(readBack("PG", "select count(*) from pg_stat_activity where datname = current_database() "
                                                 "and pid <> pg_backend_pid()"),
                                  QString("0"), 5000);
        QTest::qWait(300);   // the processes end a moment after they leave the list
        f.column("NAME");
        f.key(Qt::Key_F2);
        QWidget *editor = QApplication::focusWidget();
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, "Restarted");
        QTest::keyClick(editor, Qt::Key_Return);
        QApplication::processEvents();
        f.key(Qt::Key_Down);
        QVERIFY2(errors.messages.isEmpty(), qPrintable(errors.messages.join("\n")));
        QCOMPARE(f.query.State(), dsBrowse);
        QCOMPARE(readBack("PG", "select NAME from PEOPLE where ID = 1"), QString("Restarted"));
    }

    // Ctrl+Ins puts a new row before the current one, Down below the last
    // row appends one; leaving the row writes it, Up on an untouched new
    // row drops it.
    void insertRows_data() { engines_data(); }
    void insertRows()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TGridFixture f(alias, PeopleSql, true);
        f.grid.SetSearchInUse(false);
        const auto typeInto = [&](const QString &field, const QString &text) {
            f.column(field);
            f.key(Qt::Key_F2);
            QWidget *editor = QApplication::focusWidget();
            QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(editor, text);
            QTest::keyClick(editor, Qt::Key_Return);
            QApplication::processEvents();
        };
        f.key(Qt::Key_Down);
        f.key(Qt::Key_Insert, Qt::ControlModifier);
        QCOMPARE(f.query.State(), dsInsert);
        QCOMPARE(f.rows(), 5);
        QCOMPARE(f.grid.View()->currentIndex().row(), 1);
        QCOMPARE(f.grid.Model()->index(2, 1).data().toString(), QString("Petrov"));
        typeInto("ID", "7");
        typeInto("NAME", "Novikov");
        QCOMPARE(f.grid.Model()->index(1, 1).data().toString(), QString("Novikov"));
        f.key(Qt::Key_Down);
        QCOMPARE(f.query.State(), dsBrowse);
        QCOMPARE(readBack(alias, "select NAME from PEOPLE where ID = 7"), QString("Novikov"));
        QCOMPARE(f.grid.Model()->index(1, 1).data().toString(), QString("Novikov"));

        f.key(Qt::Key_End, Qt::ControlModifier);
        f.key(Qt::Key_Down);
        QCOMPARE(f.query.State(), dsInsert);
        QCOMPARE(f.grid.View()->currentIndex().row(), 5);
        f.key(Qt::Key_Up);
        QCOMPARE(f.query.State(), dsBrowse);
        QCOMPARE(f.rows(), 5);
        QCOMPARE(readBack(alias, "select count(*) from PEOPLE"), QString("5"));
    }

    // Ctrl+F looks for a text in every field from the top, Ctrl+L goes on
    // from the next row; a text that is nowhere is reported.
    void freeTextSearch()
    {
        struct TAsk : TRecordingUI {
            QString Typed;
            int Asked = 0;
            bool InputQuery(const QString &, const QString &, QString &value) override
            {
                ++Asked;
                value = Typed;
                return true;
            }
        } ask;
        ask.Typed = "ov";
        {
            TGridFixture g("LITE", PeopleSql);
            g.key(Qt::Key_L, Qt::ControlModifier);   // before any search it asks, as Ctrl+F does
            QCOMPARE(ask.Asked, 1);
            QCOMPARE(g.query.RecNo(), 1);
        }
        TGridFixture f("LITE", PeopleSql);
        f.key(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(ask.Asked, 2);
        QCOMPARE(f.query.RecNo(), 1);
        QCOMPARE(f.grid.SelectedField()->FieldName().toUpper(), QString("NAME"));
        f.key(Qt::Key_L, Qt::ControlModifier);
        QCOMPARE(f.query.RecNo(), 2);
        f.key(Qt::Key_L, Qt::ControlModifier);
        QCOMPARE(f.query.RecNo(), 4);
        f.key(Qt::Key_L, Qt::ControlModifier);
        QCOMPARE(f.query.RecNo(), 4);
        QCOMPARE(ask.Messages, QStringList{"Строка \"ov\" не найдена."});
    }

    // 100,000 rows: Ctrl+End, Ctrl+Home and the scroll thumb show the right
    // rows at once; an edit, a delete and an insert near the end land in the
    // right rows (read back by a second connection) and the rows follow.
    void bigTableEnds_data() { engines_data(); }
    void bigTableEnds()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        DataTest::exec(alias, {"DROP TABLE IF EXISTS BIGT", "CREATE TABLE BIGT (ID INTEGER PRIMARY KEY, NAME VARCHAR(20))",
                               "WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < 100000)"
                               " INSERT INTO BIGT SELECT n, 'N' || n FROM s"});
        TErrorCatcher errors;
        TGridFixture f(alias, "select ID, NAME from BIGT order by ID", true);
        f.grid.SetSearchInUse(false);
        QTRY_COMPARE(f.rows(), 100000);
        QTableView *view = f.grid.View();
        const auto id = [&](int row) { return f.grid.Model()->index(row, 0).data().toInt(); };
        const auto topId = [&] { return id(view->rowAt(0)); };
        f.key(Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(f.query.FieldByName("ID")->AsInteger(), 100000);
        QCOMPARE(id(view->rowAt(view->viewport()->height() - 1)), 100000);
        f.key(Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(topId(), 1);
        view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum() / 2);
        QVERIFY2(std::abs(topId() - 50000) < 50, qPrintable(QString::number(topId())));

        // near the end: change 99998, delete 99999, insert 200000 before 100000
        f.key(Qt::Key_End, Qt::ControlModifier);
        f.key(Qt::Key_Up);
        f.key(Qt::Key_Up);
        f.column("NAME");
        f.key(Qt::Key_F2);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(QApplication::focusWidget(), "changed");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QApplication::processEvents();
        f.key(Qt::Key_Down);
        TRecordingUI ui;
        ui.Answer = TUserInterface::mbOK;
        f.key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(f.query.FieldByName("ID")->AsInteger(), 100000);
        f.key(Qt::Key_Insert, Qt::ControlModifier);
        QCOMPARE(f.query.State(), dsInsert);
        f.column("ID");
        f.key(Qt::Key_F2);
        QTest::keyClicks(QApplication::focusWidget(), "200000");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QApplication::processEvents();
        f.key(Qt::Key_Up);
        QVERIFY2(errors.messages.isEmpty(), qPrintable(errors.messages.join(u'\n')));
        QCOMPARE(f.query.State(), dsBrowse);
        QCOMPARE(readBack(alias, "select NAME from BIGT where ID = 99998"), QString("changed"));
        QCOMPARE(readBack(alias, "select count(*) from BIGT where ID in (99997, 99999, 100000, 200000)"), QString("3"));
        QCOMPARE(readBack(alias, "select NAME from BIGT where ID = 99997"), QString("N99997"));
        // what the grid shows at its end: the rows where they were put
        QCOMPARE(f.rows(), 100000);
        const int last = f.rows() - 1;
        QCOMPARE(id(last), 100000);
        QCOMPARE(id(last - 1), 200000);
        QCOMPARE(id(last - 2), 99998);
        QCOMPARE(f.grid.Model()->index(last - 2, 1).data().toString(), QString("changed"));
        QCOMPARE(id(last - 3), 99997);
        f.key(Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(f.query.FieldByName("ID")->AsInteger(), 100000);
    }

    // A big result: its first screen is shown before its rows are counted,
    // then the scroll bar reaches every row; Ctrl+End shows the last row in
    // the view at once, Ctrl+Home the first.
    void readsOnDemand()
    {
        DataTest::exec("LITE", {"DROP TABLE IF EXISTS BIG", "CREATE TABLE BIG (N INTEGER)",
                                "WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < 5000)"
                                " INSERT INTO BIG SELECT n FROM s"});
        TGridFixture f("LITE", "select N from BIG order by N");
        f.query.Close();
        f.query.Open();
        QVERIFY2(f.rows() < 1000, qPrintable(QString::number(f.rows())));
        QTRY_COMPARE(f.rows(), 5000);
        const auto shown = [&f](int row) {
            QTableView *view = f.grid.View();
            return view->viewport()->rect().contains(view->visualRect(f.grid.Model()->index(row, 0)));
        };
        f.key(Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(f.query.RecNo(), 5000);
        QCOMPARE(f.grid.View()->currentIndex().row(), 4999);
        QVERIFY(shown(4999));
        QCOMPARE(f.grid.Model()->index(4999, 0).data().toString(), QString("5000"));
        f.key(Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(f.grid.View()->currentIndex().row(), 0);
        QVERIFY(shown(0));

        // Ctrl+End before the rows are counted
        f.query.Close();
        f.query.Open();
        f.key(Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(f.rows(), 5000);
        QVERIFY(shown(4999));
        QCOMPARE(f.grid.Model()->index(4999, 0).data().toString(), QString("5000"));
    }
};

QUARN_WIDGETS_TEST_MAIN(GridWidgetTest)
#include "GridWidgetTest.moc"
