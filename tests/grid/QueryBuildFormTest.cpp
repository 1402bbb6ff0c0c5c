// The query builder window driven by clicks and keys, on a SQLite file and
// on PostgreSQL: the grid ends up with exactly the rows of the equivalent
// hand-written statement; a refused condition leaves the grid as it was;
// clearing the sort rows gives the query its own ORDER BY back.

#include "GridTestSupport.h"

#include "grid/QueryBuildForm.h"
#include "grid/SearchDBGrid.h"
#include "uisupport/Guard.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

using namespace GridTest;

namespace {

struct TFixture {
    TQuery query;
    TDataSource source{&query};
    TSearchDBGrid grid;
    TFixture(const QString &alias, const QString &sql)
    {
        query.SetDatabaseName(alias);
        query.SetSQLText(sql);
        query.Open();
        grid.SetDataSource(&source);
        grid.resize(600, 300);
        grid.show();
        grid.View()->setFocus();
    }
    ~TFixture() { grid.SetDataSource(nullptr); }
    QStringList ids()
    {
        while (grid.Model()->canFetchMore({}))
            grid.Model()->fetchMore({});
        QStringList out;
        for (int r = 0; r < grid.Model()->rowCount(); ++r)
            out << grid.Model()->index(r, 0).data().toString();
        return out;
    }
    // Ctrl+F9 with `drive` acting on the builder window.
    void build(const std::function<void(TQueryBuildForm &)> &drive)
    {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto *form = qobject_cast<TQueryBuildForm *>(QApplication::activeModalWidget());
            if (!form)
                return;
            seen = true;
            drive(*form);
            if (form->isVisible())
                form->reject();
        });
        QTest::keyClick(grid.View(), Qt::Key_F9, Qt::ControlModifier);
        QVERIFY(seen);
    }
};

void pick(QListWidget *list, const QString &text)
{
    const auto found = list->findItems(text, Qt::MatchExactly);
    QVERIFY2(!found.isEmpty(), qPrintable(text));
    list->setCurrentItem(found.first());
}

void click(QPushButton *b)
{
    QVERIFY(b->isEnabled());
    QTest::mouseClick(b, Qt::LeftButton);
}

struct TErrors {
    QStringList messages;
    TExceptionHandler previous =
        SetApplicationExceptionHandler([this](QObject *, const Exception &e) { messages << e.Message(); });
    ~TErrors() { SetApplicationExceptionHandler(previous); }
};

} // namespace

class QueryBuildFormTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        setUpEngines("quarn_querybuild");
        InstallQueryBuilder();
        for (const QString &alias : engines)
            if (usable(alias))
                DataTest::exec(alias, {"DROP TABLE IF EXISTS ITEMS",
                                       "CREATE TABLE ITEMS (ID INTEGER PRIMARY KEY, NAME VARCHAR(20), PRICE NUMERIC(10,2),"
                                       " \"MixedName\" VARCHAR(10))",
                                       "INSERT INTO ITEMS VALUES (1, 'Apple', 5, 'b')",
                                       "INSERT INTO ITEMS VALUES (2, 'Banana', 3.5, 'c')",
                                       "INSERT INTO ITEMS VALUES (3, 'Cherry', 12, 'a')",
                                       "INSERT INTO ITEMS VALUES (4, 'Blueberry', 25, 'e')",
                                       "INSERT INTO ITEMS VALUES (5, 'Date', 8, 'd')"});
    }

    // Two groups, built with "+", "<", the value box and "ИЛИ": the grid
    // shows exactly the rows of the same condition written by hand.
    void twoGroups_data() { DataTest::engineRows(); }
    void twoGroups()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TFixture f(alias, "select ID, NAME, PRICE from ITEMS order by ID");
        TRecordingUI ui;
        f.build([&](TQueryBuildForm &b) {
            const QString price = b.Fields().LabelOfFieldName("PRICE"), name = b.Fields().LabelOfFieldName("NAME");
            pick(b.FieldList, price);
            click(b.AddFieldBtn);
            QVERIFY(!b.ValueEdit->isEnabled());   // no operator yet
            pick(b.OperList, " > ");
            click(b.AddOperBtn);
            QVERIFY(b.ValueEdit->isEnabled() && !b.ListBtn->isEnabled());
            QTest::keyClicks(b.ValueEdit, "1x0");
            QCOMPARE(b.CondList->currentItem()->text(), price + " > 10");
            pick(b.FieldList, price);
            click(b.AddFieldBtn);
            pick(b.OperList, " < ");
            click(b.AddOperBtn);
            QTest::keyClicks(b.ValueEdit, "20");
            click(b.OrBtn);
            pick(b.FieldList, name);
            click(b.AddFieldBtn);
            pick(b.OperList, " > ");   // refused for a text field
            click(b.AddOperBtn);
            QCOMPARE(b.CondList->currentItem()->text(), name);
            pick(b.OperList, " похоже на ");
            click(b.AddOperBtn);
            QTest::keyClicks(b.ValueEdit, "B%");
            QCOMPARE(b.CondList->currentItem()->text(), name + " похоже на 'B%'");
            QCOMPARE(b.Rows().size(), 4);
            saveShot(&b, "builder-conditions-" + alias);
            b.Pages->setCurrentIndex(1);
            pick(b.SortFieldList, price);
            click(b.SortAddBtn);
            saveShot(&b, "builder-sort-" + alias);
            click(b.SortDeleteBtn);
            click(b.RunBtn);
        });
        QCOMPARE(f.ids(), column(alias, "select ID from ITEMS where (PRICE > 10 and PRICE < 20) or NAME like 'B%' order by ID"));
        QCOMPARE(f.ids(), (QStringList{"2", "3", "4"}));
        QCOMPARE(f.grid.Conditions().BuilderRows.size(), 4);
        QCOMPARE(f.grid.StatusColor(), QColor(Qt::green));

        // the window opens with the rows; "&Очистить" and "&Выполнить"
        // take the condition away
        ui.Answer = TUserInterface::mbYes;
        f.build([&](TQueryBuildForm &b) {
            QCOMPARE(b.Rows().size(), 4);
            click(b.ClearBtn);
            QCOMPARE(b.Rows().size(), 0);
            click(b.RunBtn);
        });
        QCOMPARE(f.ids().size(), 5);
        // the sort page took the query's own order (PostgreSQL names it "id")
        QCOMPARE(f.query.SQLText().simplified().toUpper(), QString("SELECT ID, NAME, PRICE FROM ITEMS ORDER BY ID"));
    }

    // A condition the server refuses: the message, the old text back, the
    // grid still showing its rows.
    void refusedCondition()
    {
        TFixture f("LITE", "select ID, NAME from ITEMS order by ID");
        f.grid.Conditions().BuilderRows = {"#NO_SUCH_COLUMN = 1"};
        TRecordingUI ui;
        TErrors errors;
        f.build([&](TQueryBuildForm &b) {
            QVERIFY(!b.CondList->isEnabled() && !b.AddFieldBtn->isEnabled() && !b.ValueEdit->isEnabled());
            click(b.RunBtn);
        });
        QCOMPARE(ui.Messages, QStringList{"Ошибка выполнения запроса."});
        QCOMPARE(errors.messages.size(), 1);
        QVERIFY(errors.messages.first().contains("NO_SUCH_COLUMN"));
        QVERIFY(f.query.Active());
        QCOMPARE(f.query.SQLText(), QString("select ID, NAME from ITEMS order by ID"));
        QCOMPARE(f.ids().size(), 5);
    }

    // Sorting by the builder and back: the query's own ORDER BY returns as
    // written, a quoted mixed-case column included.
    void sortAndBack_data() { DataTest::engineRows(); }
    void sortAndBack()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TFixture f(alias, "select ID, NAME from ITEMS order by \"MixedName\"");
        const QStringList own = {"3", "1", "2", "5", "4"};
        QCOMPARE(f.ids(), own);
        f.build([&](TQueryBuildForm &b) {
            b.Pages->setCurrentIndex(1);
            pick(b.SortFieldList, b.Fields().LabelOfFieldName("NAME"));
            b.OrderBox->setCurrentIndex(1);   // the direction chosen before "+"
            click(b.SortAddBtn);
            QCOMPARE(b.SortList->currentItem()->text(), b.Fields().LabelOfFieldName("NAME") + ", по убыванию");
            b.OrderBox->setCurrentIndex(1);
            emit b.OrderBox->activated(1);
            QCOMPARE(b.SortList->currentItem()->text(), b.Fields().LabelOfFieldName("NAME") + ",по убыванию");
            click(b.RunBtn);
        });
        QCOMPARE(f.ids(), (QStringList{"5", "3", "4", "2", "1"}));
        TRecordingUI ui;
        ui.Answer = TUserInterface::mbYes;
        f.build([&](TQueryBuildForm &b) {
            QCOMPARE(b.SortRows().size(), 1);   // read back from the ORDER BY
            b.Pages->setCurrentIndex(1);
            click(b.SortClearBtn);
            click(b.RunBtn);
        });
        QVERIFY(f.query.SQLText().endsWith("\"MixedName\""));
        QCOMPARE(f.ids(), own);
    }
};

QUARN_WIDGETS_TEST_MAIN(QueryBuildFormTest)
#include "QueryBuildFormTest.moc"
