// A list and its modal edit form joined by record links, driven with keys on
// a SQLite file and on PostgreSQL: the close check with and without
// ConfirmOnExit, PgUp/PgDn in every jump mode, save-and-add, delete, a
// record the database refuses, cached updates.

#include "GridTestSupport.h"

#include "grid/RecordLinks.h"
#include "uisupport/Guard.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

using namespace GridTest;

namespace {

// The edit form: a name box bound to NAME, "&Сохранить" (default) and
// "&Добавить"; its record found by ID.
class TItemForm : public TPtEditForm {
public:
    TQuery query;
    TDataSource source{&query};
    TPtDBLink *link;
    QLineEdit *name;
    QPushButton *saveBtn, *addBtn;
    TItemForm(const QString &alias, bool cached)
    {
        query.SetName("ItemQuery");
        query.SetDatabaseName(alias);
        query.SetSQLText("select ID, NAME, ACTIVE from ITEMS where ID = :ID");
        query.SetRequestLive(true);
        query.SetCachedUpdates(cached);
        link = new TPtDBLink(this);
        link->Query = &query;
        link->UniqueField = "ID";
        name = new QLineEdit(this);
        new TDBEditLink(name, source, "NAME");
        link->FirstEdit = name;
        saveBtn = new QPushButton("&Сохранить", this);
        saveBtn->setDefault(true);
        addBtn = new QPushButton("&Добавить", this);
        addBtn->setAutoDefault(false);
        connect(saveBtn, &QPushButton::clicked, this, [this] { done(mrOk); });
        connect(addBtn, &QPushButton::clicked, this, [this] { done(mrRetry); });
        auto *layout = new QHBoxLayout(this);
        layout->addWidget(name);
        layout->addWidget(saveBtn);
        layout->addWidget(addBtn);
    }
    ~TItemForm() override { qDeleteAll(findChildren<TDBEditLink *>()); }
    void type(const QString &text)
    {
        name->selectAll();
        QTest::keyClicks(name, text);
    }
    void key(int k) { QTest::keyClick(name, Qt::Key(k)); }
};

// The list window's side: the list query, its source and the form link.
struct TList {
    TQuery query;
    TDataSource source{&query};
    TItemForm form;
    TPtFormLink link;
    int opens = 0;
    TList(const QString &alias, bool cached = false) : form(alias, cached)
    {
        query.SetName("ListQuery");
        query.SetDatabaseName(alias);
        query.SetSQLText("select ID, NAME, ACTIVE from ITEMS order by ID");
        query.AfterOpen = [this](TDataSet &) { ++opens; };
        query.Open();
        opens = 0;
        link.SetEditForm(&form);
    }
    // Runs `show` (which shows the form modally) while `drive` works it;
    // a form left open is closed without its check and fails the test.
    void whileShown(const std::function<void()> &show, const std::function<void()> &drive)
    {
        bool seen = false, leftOpen = false;
        QTimer::singleShot(0, [&] {
            seen = QApplication::activeModalWidget() == &form;
            drive();
            if (form.isVisible()) {
                leftOpen = true;
                form.QDialog::done(QDialog::Rejected);
            }
        });
        show();
        QVERIFY(seen);
        QVERIFY(!leftOpen);
    }
    void edit(int row, const std::function<void()> &drive)
    {
        query.MoveTo(row);
        whileShown([&] { link.Edit(&source); }, drive);
    }
};

struct TErrors {
    QStringList messages;
    TExceptionHandler previous =
        SetApplicationExceptionHandler([this](QObject *, const Exception &e) { messages << e.Message(); });
    ~TErrors() { SetApplicationExceptionHandler(previous); }
};

QString nameOf(const QString &alias, int id)
{
    return DataTest::scalar(alias, QString("select NAME from ITEMS where ID = %1").arg(id));
}

const QString Question = "Данные были изменены. Сохранить ?";

} // namespace

class RecordLinksTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { setUpEngines("quarn_recordlinks"); }

    // Every test starts with one, two, three as rows 1 to 3.
    void init()
    {
        for (const QString &alias : engines)
            if (usable(alias))
                DataTest::exec(alias, {"DROP TABLE IF EXISTS ITEMS",
                                       DataTest::ddl(alias, "CREATE TABLE ITEMS (ID %SERIAL%, NAME VARCHAR(20) NOT NULL UNIQUE, ACTIVE BOOLEAN)"),
                                       "INSERT INTO ITEMS (NAME, ACTIVE) VALUES ('one', TRUE)",
                                       "INSERT INTO ITEMS (NAME, ACTIVE) VALUES ('two', FALSE)",
                                       "INSERT INTO ITEMS (NAME, ACTIVE) VALUES ('three', TRUE)"});
    }

    // Closing the form on the list's second row, with Enter (save) or Esc.
    void closeCheck_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("stays");
        const int yes = TUserInterface::mbYes, no = TUserInterface::mbNo, cancel = TUserInterface::mbCancel;
        for (const QString &a : engines) {
            engineRow(a, "unchanged, Esc") << QString() << int(Qt::Key_Escape) << true << yes << false << false << false;
            engineRow(a, "unchanged, Enter") << QString() << int(Qt::Key_Return) << true << yes << false << false << false;
            engineRow(a, "changed, Enter") << QString("new") << int(Qt::Key_Return) << false << yes << true << false << false;
            engineRow(a, "changed, Esc") << QString("new") << int(Qt::Key_Escape) << false << yes << false << false << false;
            engineRow(a, "confirm: Yes") << QString("new") << int(Qt::Key_Escape) << true << yes << true << true << false;
            engineRow(a, "confirm: No") << QString("new") << int(Qt::Key_Escape) << true << no << false << true << false;
            engineRow(a, "confirm: Cancel") << QString("new") << int(Qt::Key_Escape) << true << cancel << false << true << true;
        }
    }
    void closeCheck()
    {
        QFETCH(QString, alias);
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(bool, confirm);
        QFETCH(int, answer);
        QFETCH(bool, saved);
        QFETCH(bool, asked);
        QFETCH(bool, stays);
        QUARN_NEED_ENGINE(alias);
        TRecordingUI ui;
        ui.Answer = answer;
        TList list(alias);
        list.link.SetConfirmOnExit(confirm);
        list.edit(1, [&] {
            QCOMPARE(list.form.name->text(), QString("two"));
            if (!typed.isEmpty())
                list.form.type(typed);
            list.form.key(key);
            QCOMPARE(list.form.isVisible(), stays);
            if (stays) {
                // the edit is still there; No lets the form go
                QCOMPARE(list.form.name->text(), typed);
                QVERIFY(list.form.query.Modified());
                ui.Answer = TUserInterface::mbNo;
                list.form.key(Qt::Key_Escape);
            }
        });
        QCOMPARE(nameOf(alias, 2), saved ? typed : QString("two"));
        // a form kept open is asked once more when it is closed
        QCOMPARE(ui.Messages.size(), asked ? (stays ? 2 : 1) : 0);
        QVERIFY(ui.Messages.count(Question) == ui.Messages.size());
        // the list is read again only after a save, back to its row
        QCOMPARE(list.opens, saved ? 1 : 0);
        QCOMPARE(list.query.CurrentIndex(), 1);
        QCOMPARE(list.query.FieldByName("NAME")->AsString(), saved ? typed : QString("two"));
    }

    // PgDn after typing "new" into a row, in each jump mode, then Esc.
    void jump_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("start");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<int>("listRow");
        const int yes = TUserInterface::mbYes, no = TUserInterface::mbNo, cancel = TUserInterface::mbCancel;
        for (const QString &a : engines) {
            engineRow(a, "post, moves on") << int(jmPost) << yes << 0 << true << QString("two") << false << 1;
            engineRow(a, "post on the last row, stays") << int(jmPost) << yes << 2 << true << QString("new") << false << 2;
            engineRow(a, "cancel") << int(jmCancel) << yes << 0 << false << QString("two") << false << 1;
            engineRow(a, "confirm: Yes") << int(jmConfirm) << yes << 0 << true << QString("two") << true << 1;
            engineRow(a, "confirm: No") << int(jmConfirm) << no << 0 << false << QString("two") << true << 1;
            engineRow(a, "confirm: Cancel") << int(jmConfirm) << cancel << 0 << false << QString("new") << true << 0;
            engineRow(a, "none: no jump") << int(jmNone) << yes << 0 << false << QString("new") << false << 0;
        }
    }
    void jump()
    {
        QFETCH(QString, alias);
        QFETCH(int, mode);
        QFETCH(int, answer);
        QFETCH(int, start);
        QFETCH(bool, saved);
        QFETCH(QString, shown);
        QFETCH(bool, asked);
        QFETCH(int, listRow);
        QUARN_NEED_ENGINE(alias);
        TRecordingUI ui;
        ui.Answer = answer;
        TList list(alias);
        list.form.link->JumpMode = TJumpMode(mode);
        list.edit(start, [&] {
            list.form.type("new");
            list.form.key(Qt::Key_PageDown);
            QVERIFY(list.form.isVisible());
            QCOMPARE(list.form.name->text(), shown);
            QCOMPARE(list.form.focusWidget(), list.form.name);
            ui.Answer = TUserInterface::mbNo;
            list.form.key(Qt::Key_Escape);
        });
        const QStringList names{"one", "two", "three"};
        QCOMPARE(nameOf(alias, start + 1), saved ? QString("new") : names[start]);
        QCOMPARE(ui.Messages, asked ? QStringList{Question} : QStringList{});
        QCOMPARE(list.query.CurrentIndex(), listRow);
    }

    // PgUp goes back; the list follows the form and ends on its row.
    void pageUp()
    {
        TRecordingUI ui;
        TList list("LITE");
        list.edit(2, [&] {
            list.form.key(Qt::Key_PageUp);
            QCOMPARE(list.form.name->text(), QString("two"));
            list.form.type("deux");
            list.form.key(Qt::Key_PageUp);
            QCOMPARE(list.form.name->text(), QString("one"));
            list.form.key(Qt::Key_PageUp);   // the first row: stays
            QCOMPARE(list.form.name->text(), QString("one"));
            list.form.key(Qt::Key_Escape);
        });
        QCOMPARE(nameOf("LITE", 2), QString("deux"));
        QCOMPARE(list.query.CurrentIndex(), 0);
        QVERIFY(ui.Messages.isEmpty());
    }

    // "&Добавить" saves and opens a new record in the same form.
    void saveAndAdd_data() { DataTest::engineRows(); }
    void saveAndAdd()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TRecordingUI ui;
        TErrors errors;
        TList list(alias);
        list.query.MoveTo(1);
        list.whileShown([&] { list.link.Add(&list.source); }, [&] {
            QCOMPARE(list.form.query.State(), dsInsert);
            QCOMPARE(list.form.name->text(), QString());
            list.form.type("four");
            QTest::mouseClick(list.form.addBtn, Qt::LeftButton);
            QVERIFY(list.form.isVisible());
            QCOMPARE(list.form.query.State(), dsInsert);
            QCOMPARE(list.form.name->text(), QString());
            QCOMPARE(list.form.focusWidget(), list.form.name);
            list.form.type("five");
            list.form.key(Qt::Key_Return);
        });
        QVERIFY(errors.messages.isEmpty());
        QCOMPARE(column(alias, "select NAME from ITEMS order by ID"), QStringList({"one", "two", "three", "four", "five"}));
        QCOMPARE(list.opens, 1);
        QCOMPARE(list.query.CurrentIndex(), 1);
    }

    // Delete reads the list again, also when the edit query finds nothing
    // (the row was deleted by someone else).
    void deleteRecord_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<bool>("goneBefore");
        for (const QString &a : engines) {
            engineRow(a, "the current row") << false;
            engineRow(a, "a row already gone") << true;
        }
    }
    void deleteRecord()
    {
        QFETCH(QString, alias);
        QFETCH(bool, goneBefore);
        QUARN_NEED_ENGINE(alias);
        TList list(alias);
        list.query.MoveTo(1);
        if (goneBefore)
            DataTest::exec(alias, {"DELETE FROM ITEMS WHERE ID = 2"});
        list.link.Delete(&list.source);
        QCOMPARE(list.opens, 1);
        QCOMPARE(list.query.RecordCount(), 2);
        QCOMPARE(list.query.FieldByName("NAME")->AsString(), QString("three"));
        QCOMPARE(column(alias, "select NAME from ITEMS order by ID"), QStringList({"one", "three"}));
        QVERIFY(!list.form.isVisible());
    }

    // A record the database refuses (a duplicate name): the engine's error
    // is shown, the form stays with what was typed, nothing is written and
    // the list keeps its row; a good name is then saved. With cached
    // updates the refused write is rolled back.
    void refused_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<bool>("cached");
        for (const QString &a : engines) {
            engineRow(a, "posted at once") << false;
            engineRow(a, "cached updates") << true;
        }
    }
    void refused()
    {
        QFETCH(QString, alias);
        QFETCH(bool, cached);
        QUARN_NEED_ENGINE(alias);
        TRecordingUI ui;
        TErrors errors;
        TList list(alias, cached);
        list.edit(0, [&] {
            list.form.type("two");
            list.form.key(Qt::Key_Return);
            QCOMPARE(errors.messages.size(), 1);
            QVERIFY(list.form.isVisible());
            QCOMPARE(list.form.name->text(), QString("two"));
            QCOMPARE(list.form.query.FieldByName("NAME")->AsString(), QString("two"));
            QCOMPARE(nameOf(alias, 1), QString("one"));
            QVERIFY(!list.form.query.Database()->InTransaction());
            QCOMPARE(list.query.CurrentIndex(), 0);
            list.form.type("uno");
            list.form.key(Qt::Key_Return);
        });
        QCOMPARE(errors.messages.size(), 1);
        QCOMPARE(nameOf(alias, 1), QString("uno"));
        QVERIFY(!list.form.query.UpdatesPending());
        QVERIFY(!list.form.query.Database()->InTransaction());
        QCOMPARE(list.query.CurrentIndex(), 0);
    }

    // A new record refused under cached updates goes back to being
    // inserted with what was typed; nothing of it is written.
    void refusedNewRecordCached_data() { DataTest::engineRows(); }
    void refusedNewRecordCached()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TRecordingUI ui;
        TErrors errors;
        TList list(alias, true);
        list.whileShown([&] { list.link.Add(&list.source); }, [&] {
            list.form.type("three");
            list.form.key(Qt::Key_Return);
            QCOMPARE(errors.messages.size(), 1);
            QCOMPARE(list.form.query.State(), dsInsert);
            QCOMPARE(list.form.name->text(), QString("three"));
            QCOMPARE(DataTest::scalar(alias, "select count(*) from ITEMS"), QString("3"));
            list.form.key(Qt::Key_Escape);
        });
        QCOMPARE(DataTest::scalar(alias, "select count(*) from ITEMS"), QString("3"));
        QCOMPARE(list.opens, 0);
    }

    // Only keys of the types that can be parameters are copied: a Boolean
    // key field is left out (the edit query has no such parameter).
    void booleanKeyNotCopied_data() { DataTest::engineRows(); }
    void booleanKeyNotCopied()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TErrors errors;
        TList list(alias);
        QCOMPARE(list.query.FieldByName("ACTIVE")->DataType(), ftBoolean);
        list.form.link->UniqueField = "ID, ACTIVE";
        list.edit(1, [&] {
            QCOMPARE(list.form.name->text(), QString("two"));
            list.form.key(Qt::Key_Escape);
        });
        QVERIFY(errors.messages.isEmpty());
    }
};

QUARN_WIDGETS_TEST_MAIN(RecordLinksTest)
#include "RecordLinksTest.moc"
