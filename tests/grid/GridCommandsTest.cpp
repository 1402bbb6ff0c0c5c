// The grids' shared command menu and the commands behind it: the statement
// of a row, the count and sum of a column, the memo view and the text
// window, on a SQLite file and on PostgreSQL.

#include "GridTestSupport.h"

#include "common/Format.h"
#include "common/TextFile.h"
#include "grid/GridCommands.h"
#include "grid/GridHooks.h"
#include "grid/SearchDBGrid.h"
#include "uisupport/Guard.h"

#include <QContextMenuEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QPointer>
#include <QTimer>

using namespace GridTest;

namespace {

// A person: answers questions with Answer, input boxes with Typed.
class TPerson : public TRecordingUI {
public:
    QString Typed;
    bool InputQuery(const QString &, const QString &, QString &value) override
    {
        value = Typed;
        return true;
    }
};

struct TFixture {
    TQuery query;
    TDataSource source{&query};
    TSearchDBGrid grid;
    TFixture(const QString &alias, const QString &sql, const std::function<void(TQuery &)> &before = {})
    {
        query.SetDatabaseName(alias);
        query.SetSQLText(sql);
        if (before)
            before(query);
        query.Open();
        grid.SetDataSource(&source);
        grid.resize(600, 300);
        grid.show();
        grid.View()->setFocus();
    }
    ~TFixture() { grid.SetDataSource(nullptr); }
    void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(grid.View(), Qt::Key(k), m); }
};

// The next text window's lines; the window is closed.
QStringList nextMemoLines(const std::function<void()> &open)
{
    QStringList lines;
    QTimer::singleShot(0, [&] {
        if (auto *form = qobject_cast<TGridMemoForm *>(QApplication::activeModalWidget())) {
            lines = form->Lines();
            form->reject();
        }
    });
    open();
    return lines;
}

// The tags of the visible items, 0 for a separator.
QList<int> visibleItems(const TDBGridPopupMenu &menu)
{
    QList<int> tags;
    for (QAction *a : menu.actions())
        if (a->isVisible())
            tags << (a->isSeparator() ? 0 : a->data().toInt());
    return tags;
}

} // namespace

class GridCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        setUpEngines("quarn_gridcommands");
        InstallGridCommands();
        for (const QString &alias : engines)
            if (usable(alias))
                DataTest::exec(alias, {"DROP TABLE IF EXISTS ACCOUNTS",
                                       "CREATE TABLE ACCOUNTS (ID INTEGER PRIMARY KEY, NAME VARCHAR(20), AMOUNT NUMERIC(12,2), NOTE "
                                           + QString(isPg(alias) ? "XML" : "CLOB") + ")",
                                       "INSERT INTO ACCOUNTS VALUES (1, 'one', 1000.25, 'first line\nsecond line')",
                                       "INSERT INTO ACCOUNTS VALUES (2, 'two', 2500.5, NULL)",
                                       "INSERT INTO ACCOUNTS VALUES (3, 'three', -0.75, NULL)"});
    }

    // Items of features whose hooks are empty are hidden, and so are the
    // separators they leave leading, trailing or doubled; the import only
    // shows over a grid that may write to its one table.
    void menuItems_data()
    {
        QTest::addColumn<bool>("states");
        QTest::addColumn<bool>("reports");
        QTest::addColumn<bool>("live");
        QTest::addColumn<QList<int>>("visible");
        QTest::newRow("grid commands only") << false << false << false << QList<int>{6, 7, 19, 20, 0, 21, 22, 23, 24, 0, 8, 9, 18, 0, 25, 26, 0, 10, 11, 12, 13, 14, 15};
        QTest::newRow("with table states") << true << false << false << QList<int>{2, 3, 4, 6, 7, 19, 20, 0, 21, 22, 23, 24, 0, 8, 9, 18, 0, 25, 26, 0, 10, 11, 12, 13, 14, 15};
        QTest::newRow("with reports") << false << true << false << QList<int>{16, 17, 0, 6, 7, 19, 20, 0, 21, 22, 23, 24, 0, 8, 9, 18, 0, 25, 26, 0, 10, 11, 12, 13, 14, 15};
        QTest::newRow("editable") << false << false << true << QList<int>{6, 7, 19, 20, 0, 21, 22, 23, 24, 0, 8, 9, 18, 0, 25, 26, 27, 0, 10, 11, 12, 13, 14, 15};
    }
    void menuItems()
    {
        QFETCH(bool, states);
        QFETCH(bool, reports);
        QFETCH(bool, live);
        QFETCH(QList<int>, visible);
        const TGridHook noState = states ? TGridHook([](TSearchDBGrid &) {}) : TGridHook();
        RestoreStateHook = SaveStateHook = noState;
        ClearStateHook = states ? [](TSearchDBGrid &, bool, bool) {} : decltype(ClearStateHook)();
        ReportHook = reports ? [](TSearchDBGrid &, bool) {} : decltype(ReportHook)();
        TFixture f("LITE", "select * from ACCOUNTS order by ID", [live](TQuery &q) { q.SetRequestLive(live); });
        auto *menu = DefaultMenuHook();
        QCOMPARE(menu->objectName(), QString("Kt_Popup"));
        // a right click pops it up over the grid, acting on it
        const QPoint cell = f.grid.View()->visualRect(f.grid.Model()->index(0, 1)).center();
        QContextMenuEvent click(QContextMenuEvent::Mouse, cell, f.grid.View()->viewport()->mapToGlobal(cell));
        QApplication::sendEvent(f.grid.View()->viewport(), &click);
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(menu->PopupGrid(), &f.grid);
        QCOMPARE(visibleItems(*menu), visible);
        saveShot(menu, QString("menu-%1%2%3").arg(states).arg(reports).arg(live));
        menu->Item(7)->trigger();
        QVERIFY(f.grid.SearchLocked());
        menu->hide();
        RestoreStateHook = SaveStateHook = {};
        ClearStateHook = {};
        ReportHook = {};
        QCOMPARE(TDBGridPopupMenu::Caption(9), QString("Сумма по текущему полю                         Ctrl+F8"));
        QCOMPARE(menu->Item(9)->text(), QString("Сумма по текущему полю\tCtrl+F8"));
    }

    // The auto-repeat prompt: seconds, anything else switches it off.
    void autoRepeatPrompt_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("interval");
        QTest::newRow("two seconds") << "2" << 2000;
        QTest::newRow("not a number") << "abc" << 0;
    }
    void autoRepeatPrompt()
    {
        QFETCH(QString, typed);
        QFETCH(int, interval);
        TPerson person;
        person.Typed = typed;
        TFixture f("LITE", "select * from ACCOUNTS");
        f.grid.SetRepeatInterval(5000);
        f.key(Qt::Key_F10, Qt::AltModifier);
        auto *menu = DefaultMenuHook();
        QTRY_VERIFY(menu->isVisible());
        menu->Item(18)->trigger();
        menu->hide();
        QCOMPARE(f.grid.RepeatInterval(), interval);
    }

    // F8: every column's title lines and the current row's value, lined
    // up after the longest title line.
    void statement_data() { DataTest::engineRows(); }
    void statement()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TFixture f(alias, "select NAME as \"Клиент\", AMOUNT as \"Сумма|итого\" from ACCOUNTS order by ID");
        f.key(Qt::Key_Down);
        const QStringList lines = nextMemoLines([&] { f.key(Qt::Key_F8); });
        QCOMPARE(lines, (QStringList{"Клиент two", "Сумма", "итого  2500.50"}));   // the column's two decimals
    }

    // Ctrl+F8: the database's own count and sum, only the count on a text
    // column, and the grid back on its row.
    void sum_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("where");
        for (const QString &a : engines) {
            engineRow(a, "number column") << "AMOUNT" << "";
            engineRow(a, "text column") << "NAME" << "";
            engineRow(a, "empty result") << "AMOUNT" << " where ID > 100";
        }
    }
    void sum()
    {
        QFETCH(QString, alias);
        QFETCH(QString, column);
        QFETCH(QString, where);
        QUARN_NEED_ENGINE(alias);
        TPerson person;
        TFixture f(alias, "select ID, NAME, AMOUNT from ACCOUNTS" + where + " order by ID");
        f.grid.SetSelectedIndex(column == "AMOUNT" ? 2 : 1);
        if (where.isEmpty())
            f.key(Qt::Key_Down);
        f.key(Qt::Key_F8, Qt::ControlModifier);
        const QString count = DataTest::scalar(alias, "select count(*) from ACCOUNTS" + where);
        QString expected = "Выбрано строк: " + count;
        if (column == "AMOUNT") {
            const double total = DataTest::scalar(alias, "select coalesce(sum(AMOUNT), 0) from ACCOUNTS" + where).toDouble();
            expected = "Сумма по текущему полю: " + FloatToStrF(total, TFloatFormat::ffCurrency, 15, 2) + "\n" + expected;
        }
        QCOMPARE(person.Messages, QStringList{expected});
        QCOMPARE(f.query.RecNo(), where.isEmpty() ? 2 : 0);
        QCOMPARE(f.grid.View()->currentIndex().row(), where.isEmpty() ? 1 : -1);
    }

    // A long sum stops with the grid back on its row: the engine's count
    // by "Отмена" in the busy window, a walk over rows with edits kept for
    // later by Esc and Yes.
    void sumStopped_data()
    {
        QTest::addColumn<bool>("walked");
        QTest::newRow("by the engine") << false;
        QTest::newRow("walked") << true;
    }
    void sumStopped()
    {
        QFETCH(bool, walked);
        DataTest::exec("LITE", {"DROP TABLE IF EXISTS MANY", "CREATE TABLE MANY (N INTEGER)",
                                "WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < 20000)"
                                " INSERT INTO MANY SELECT n FROM s"});
        struct TStop : TRecordingUI {
            int checks = 0;
            bool ProcessMessages() override { return ++checks == 2; }
            bool StatementRunning(double) override { return true; }
        } stop;
        stop.Answer = TUserInterface::mbYes;
        QStringList errors;
        const TExceptionHandler previous =
            SetApplicationExceptionHandler([&](QObject *, const Exception &e) { errors << e.Message(); });
        {
            // the engine's count of a billion rows outlasts the half second
            TFixture f("LITE", walked ? QString("select N from MANY")
                                      : QString("with recursive s(n) as (select 1 union all select n + 1 from s "
                                                "where n < 1000000000) select n as N from s"),
                       [walked](TQuery &q) {
                           q.SetRequestLive(walked);
                           q.SetCachedUpdates(walked);
                       });
            if (walked) {
                f.query.Edit();
                f.query.FieldByName("N")->SetAsInteger(-1);
                f.query.Post();
                QVERIFY(f.query.UpdatesPending());
            }
            f.key(Qt::Key_Down);
            f.key(Qt::Key_Down);
            errors.clear();
            f.key(Qt::Key_F8, Qt::ControlModifier);
            QCOMPARE(stop.Messages, walked ? QStringList{"Прервать процесс ?"} : QStringList());
            QCOMPARE(errors, QStringList{walked ? "Операция прервана пользователем" : "Выполнение запроса прервано"});
            QCOMPARE(f.query.RecNo(), 3);
            QCOMPARE(f.grid.View()->currentIndex().row(), 2);
        }
        SetApplicationExceptionHandler(previous);
    }

    // Ctrl+M and a double click show a memo's text; other fields nothing.
    void memoView()
    {
        TFixture f("LITE", "select ID, NOTE from ACCOUNTS order by ID");
        f.grid.SetSelectedIndex(1);
        QCOMPARE(nextMemoLines([&] { f.key(Qt::Key_M, Qt::ControlModifier); }),
                 (QStringList{"first line", "second line"}));
        const QPoint cell = f.grid.View()->visualRect(f.grid.Model()->index(0, 1)).center();
        QCOMPARE(nextMemoLines([&] { QTest::mouseDClick(f.grid.View()->viewport(), Qt::LeftButton, {}, cell); }),
                 (QStringList{"first line", "second line"}));
        // the menu's item does what its key does
        auto *menu = DefaultMenuHook();
        QContextMenuEvent click(QContextMenuEvent::Mouse, cell, f.grid.View()->viewport()->mapToGlobal(cell));
        QApplication::sendEvent(f.grid.View()->viewport(), &click);
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(nextMemoLines([&] { menu->Item(24)->trigger(); }), (QStringList{"first line", "second line"}));
        menu->hide();
        f.key(Qt::Key_Down);   // a null memo
        QCOMPARE(nextMemoLines([&] { f.key(Qt::Key_M, Qt::ControlModifier); }), QStringList());
        f.grid.SetSelectedIndex(0);
        QCOMPARE(nextMemoLines([&] { f.key(Qt::Key_M, Qt::ControlModifier); }), QStringList());
    }

    // The text window prints after asking (into a PDF file without a
    // printer) and saves its lines in the code page.
    void textWindow()
    {
        TPerson person;
        TGridMemoForm form(nullptr, {"Клиент one", "Сумма  1000.25"});
        person.Answer = TUserInterface::mbNo;
        QCOMPARE(form.PrintLines(), QString());
        person.Answer = TUserInterface::mbYes;
        const QString pdf = form.PrintLines();
        QVERIFY(QFileInfo(pdf).size() > 500);
        QFile head(pdf);
        QVERIFY(head.open(QIODevice::ReadOnly));
        QVERIFY(head.read(5) == "%PDF-");

        const QString file = QDir(ProgramDir()).filePath("statement.txt");
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(box);
            box->findChild<QLineEdit *>("fileNameEdit")->setText(file);
            QTest::keyClick(box->findChild<QLineEdit *>("fileNameEdit"), Qt::Key_Return);
        });
        QTest::mouseClick(form.SaveBtn, Qt::LeftButton);
        QCOMPARE(ReadTextLines(file).mid(0, 2), (QStringList{"Клиент one", "Сумма  1000.25"}));
        QFile raw(file);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        QCOMPARE(raw.readAll().left(8), EncodeText("Клиент o"));
    }
};

QUARN_WIDGETS_TEST_MAIN(GridCommandsTest)
#include "GridCommandsTest.moc"
