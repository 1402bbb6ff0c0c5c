// The table-state windows driven by keys and clicks, on a SQLite file and
// on PostgreSQL: Shift+F3 saves what the grid holds, Ctrl+F3 clears it, F3
// brings it back; the editor writes the states to a folder and reads them
// back.

#include "GridTestSupport.h"

#include "common/AppName.h"
#include "common/TextFile.h"
#include "grid/GridStateForms.h"
#include "grid/GridStates.h"
#include "grid/SearchDBGrid.h"
#include "uisupport/Guard.h"
#include "widgets/DicButton.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QHeaderView>
#include <QTemporaryDir>
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
        grid.setObjectName("Grid");
        grid.SetDataSource(&source);
        grid.resize(500, 300);
        grid.show();
        grid.View()->setFocus();
    }
    ~TFixture() { grid.SetDataSource(nullptr); }
    void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(grid.View(), Qt::Key(k), m); }
    int rows()
    {
        while (grid.Model()->canFetchMore({}))
            grid.Model()->fetchMore({});
        return grid.Model()->rowCount();
    }
    // A key whose modal window `drive` answers.
    template <class Form>
    void keyWith(int key, Qt::KeyboardModifiers mods, const std::function<void(Form &)> &drive)
    {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            if (auto *form = qobject_cast<Form *>(QApplication::activeModalWidget())) {
                seen = true;
                drive(*form);
                if (form->isVisible())
                    form->reject();
            }
        });
        QTest::keyClick(grid.View(), Qt::Key(key), mods);
        QVERIFY(seen);
    }
};

struct TErrors {
    QStringList messages;
    TExceptionHandler previous =
        SetApplicationExceptionHandler([this](QObject *, const Exception &e) { messages << e.Message(); });
    ~TErrors() { SetApplicationExceptionHandler(previous); }
};

const QString Group = "TSearchDBGrid_Grid";

// Clicks `button` of the editor and lets `drive` work the edit form it
// shows; a form left open is closed without its check and fails the test.
void withEditForm(QPushButton *button, const std::function<void(TGridEditForm &)> &drive)
{
    bool seen = false, leftOpen = false;
    QTimer::singleShot(0, [&] {
        if (auto *form = qobject_cast<TGridEditForm *>(QApplication::activeModalWidget())) {
            seen = true;
            drive(*form);
            if (form->isVisible()) {
                leftOpen = true;
                form->QDialog::done(QDialog::Rejected);
            }
        }
    });
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(seen);
    QVERIFY(!leftOpen);
}

// The titles the editor lists, sorted.
QStringList titles(TChoiceEditGrdForm &editor)
{
    QStringList out;
    TQuery &q = editor.EditorQuery;
    for (q.First(); !q.Eof(); q.Next())
        out << q.FieldByName("GR_GRD_CMT")->AsString();
    out.sort();
    return out;
}

void insertStates(const QString &alias)
{
    DataTest::exec(alias, {"DELETE FROM SYS_GRIDS",
                           "INSERT INTO SYS_GRIDS (GR_APP_NAM, GR_GRD_NAM, GR_GRD_CMT, GR_GRD_SRH) VALUES ('Quarn', '" + Group + "', 'A', 'NAME=A')",
                           "INSERT INTO SYS_GRIDS (GR_APP_NAM, GR_GRD_NAM, GR_GRD_CMT, GR_GRD_SRH) VALUES ('Quarn', '" + Group + "', 'B', 'NAME=B')",
                           "INSERT INTO SYS_GRIDS (GR_APP_NAM, GR_GRD_NAM, GR_GRD_CMT) VALUES ('Quarn', 'TOther_Grid', 'B')",
                           "INSERT INTO SYS_GRIDS (GR_APP_NAM, GR_GRD_NAM, GR_GRD_CMT) VALUES ('Other', '" + Group + "', 'B')"});
}

} // namespace

class GridStateFormsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        SetAppName("Quarn");
        InstallGridStates();
        setUpEngines("quarn_gridstateforms");
        for (const QString &alias : engines)
            if (usable(alias)) {
                DataTest::createSysTables(alias, QUARN_SOURCE_DIR "/sql");
                DataTest::exec(alias, {"DROP TABLE IF EXISTS PEOPLE", "CREATE TABLE PEOPLE (ID INTEGER PRIMARY KEY, NAME VARCHAR(20))",
                                       "INSERT INTO PEOPLE VALUES (1, 'Ivanov')", "INSERT INTO PEOPLE VALUES (2, 'Petrov')",
                                       "INSERT INTO PEOPLE VALUES (3, 'Ivashin')"});
            }
    }

    // A click on a title sorts by the column, a second click the other way,
    // Ctrl+click adds a column; the arrows say so; a state saved keeps the
    // order, Ctrl+F3 gives the statement its own back, and the state
    // restores the sort.
    void titleClickSorts_data() { DataTest::engineRows(); }
    void titleClickSorts()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TRecordingUI ui;
        ui.Answer = TUserInterface::mbYes;
        TFixture f(alias, "select ID, NAME from PEOPLE order by ID");
        const auto names = [&] {
            QStringList out;
            for (int r = 0; r < f.rows(); ++r)
                out << f.grid.Model()->index(r, 1).data().toString();
            return out.join(',');
        };
        QHeaderView *titles = f.grid.View()->horizontalHeader();
        const auto click = [&](int column, Qt::KeyboardModifiers mods = {}) {
            const QPoint at(titles->sectionViewportPosition(column) + titles->sectionSize(column) / 2, 6);
            QTest::mouseClick(titles->viewport(), Qt::LeftButton, mods, at);
        };
        QCOMPARE(names(), QString("Ivanov,Petrov,Ivashin"));
        click(1);
        QCOMPARE(names(), QString("Ivanov,Ivashin,Petrov"));
        QCOMPARE(f.grid.SortPlace(1), 1);
        saveShot(&f.grid, "sort-arrow-" + alias);
        click(1);
        QCOMPARE(names(), QString("Petrov,Ivashin,Ivanov"));
        QCOMPARE(f.grid.SortPlace(1), -1);
        click(0, Qt::ControlModifier);   // a second key after the name
        QCOMPARE(f.grid.SortPlace(0), 2);
        click(0, Qt::ControlModifier);
        QCOMPARE(f.grid.SortPlace(0), -2);
        QCOMPARE(names(), QString("Petrov,Ivashin,Ivanov"));

        SaveGridState(f.query, Group, "By name", f.grid.Conditions());
        f.key(Qt::Key_F3, Qt::ControlModifier);
        QCOMPARE(names(), QString("Ivanov,Petrov,Ivashin"));
        QCOMPARE(f.grid.SortPlace(1), 0);
        QVERIFY(StatementOrderList(f.query.SQLText()).trimmed().compare("ID", Qt::CaseInsensitive) == 0);
        f.keyWith<TChoiceGridForm>(Qt::Key_F3, {}, [&](TChoiceGridForm &c) {
            QTest::mouseClick(c.ChooseBtn, Qt::LeftButton);
        });
        QCOMPARE(names(), QString("Petrov,Ivashin,Ivanov"));
        QCOMPARE(f.grid.SortPlace(1), -1);
        DataTest::exec(alias, {"DELETE FROM SYS_GRIDS WHERE GR_GRD_CMT = 'By name'"});
    }

    void saveClearRestore_data() { DataTest::engineRows(); }
    void saveClearRestore()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TRecordingUI ui;
        TErrors errors;
        TFixture f(alias, "select ID, NAME from PEOPLE order by ID");
        f.grid.SetSelectedIndex(1);
        QTest::keyClicks(f.grid.View(), "Iv");
        QTRY_COMPARE_WITH_TIMEOUT(f.rows(), 2, 2000);
        f.grid.ChoiceList() << "ID=3";
        const QStringList rows = {TBuilderFields::LabelOf(f.query.Fields(0)->DisplayLabel()) + " > 1"};
        QStringList built = rows;
        ApplyQueryBuilder(f.query, f.grid.Conditions(), built, QString(), QString(), true);
        QCOMPARE(f.rows(), 1);
        const QString savedSql = f.query.SQLText();

        f.keyWith<TSaveGridForm>(Qt::Key_F3, Qt::ShiftModifier, [&](TSaveGridForm &d) {
            QTest::mouseClick(d.SaveBtn, Qt::LeftButton);   // no title yet
            QCOMPARE(errors.messages, QStringList{"Название не может быть пустым"});
            QVERIFY(d.isVisible());
            QTest::keyClicks(d.TitleEdit, "Ivany");
            QTest::mouseClick(d.SaveBtn, Qt::LeftButton);
            QVERIFY(!d.isVisible());
        });
        QCOMPARE(DataTest::scalar(alias, "select GR_GRD_CMT from SYS_GRIDS where GR_GRD_NAM = '" + Group + "'"),
                 QString("Ivany"));

        // saving again, the title taken from the group's states: overwritten
        f.keyWith<TSaveGridForm>(Qt::Key_F3, Qt::ShiftModifier, [&](TSaveGridForm &d) {
            QTimer::singleShot(0, [] {
                if (auto *c = qobject_cast<TDicChoiceForm *>(QApplication::activeModalWidget())) {
                    QCOMPARE(c->windowTitle(), QString("Выберите состояние таблицы"));
                    QTest::mouseClick(c->ChooseBtn, Qt::LeftButton);
                }
            });
            QTest::mouseClick(d.LookupBtn, Qt::LeftButton);
            QCOMPARE(d.TitleEdit->text(), QString("Ivany"));
            QTest::mouseClick(d.SaveBtn, Qt::LeftButton);
        });
        QCOMPARE(DataTest::scalar(alias, "select count(*) from SYS_GRIDS where GR_GRD_NAM = '" + Group + "'"),
                 QString("1"));

        f.key(Qt::Key_F3, Qt::ControlModifier);
        QCOMPARE(ui.Messages, QStringList{"Вы уверены, что хотите очистить состояние таблицы ?"});
        QCOMPARE(f.rows(), 3);
        QVERIFY(f.grid.ChoiceList().isEmpty());
        QVERIFY(!f.query.SQLText().contains("/*Begin"));

        f.keyWith<TChoiceGridForm>(Qt::Key_F3, {}, [&](TChoiceGridForm &c) {
            QCOMPARE(c.ChoiceGrid->Model()->rowCount(), 1);
            QCOMPARE(c.ChoiceGrid->Model()->index(0, 0).data().toString(), QString("Ivany"));
            QCOMPARE(c.ChoiceGrid->Model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QString("Описание"));
            saveShot(&c, "state-chooser-" + alias);
            // F3 in the chooser's own grid opens no second chooser
            QTest::keyClick(c.ChoiceGrid->View(), Qt::Key_F3);
            QCOMPARE(QApplication::activeModalWidget(), &c);
            QTest::mouseClick(c.ChooseBtn, Qt::LeftButton);
        });
        QCOMPARE(f.rows(), 1);
        QCOMPARE(f.query.SQLText(), savedSql);
        QCOMPARE(f.grid.SearchValues().size(), 1);
        QCOMPARE(f.grid.ChoiceList(), QStringList{"ID=3"});
        QCOMPARE(f.grid.Conditions().BuilderRows, rows);
        DataTest::exec(alias, {"DELETE FROM SYS_GRIDS"});
    }

    // The editor writes the group's states to a folder and reads them
    // back: a deleted state returns, a ";DELETE" file deletes, a file
    // without "^" is skipped; the progress bar goes when it is done.
    void exportImport()
    {
        TRecordingUI ui;
        ui.Answer = TUserInterface::mbYes;
        TFixture f("LITE", "select ID, NAME from PEOPLE");
        for (const QString title : {"A", "B"}) {
            f.grid.SearchValues() = {"NAME=" + title};
            QVERIFY(SaveGridState(f.query, Group, title, f.grid.Conditions()));
        }
        QTemporaryDir dir;
        TChoiceEditGrdForm editor(nullptr, "LITE", Group);
        QCOMPARE(editor.EditorGrid->Model()->rowCount(), 2);
        saveShot(&editor, "state-editor");
        editor.ExportClick(dir.path());
        QVERIFY(QFile::exists(dir.filePath(Group + "^A.GRD")) && QFile::exists(dir.filePath(Group + "^B.GRD")));

        editor.DeleteClick();   // the first listed
        QCOMPARE(editor.EditorGrid->Model()->rowCount(), 1);
        WriteTextLines(dir.filePath(Group + "^B.GRD"), {";DELETE"});
        WriteTextLines(dir.filePath("stray.GRD"), {"[SEARCH]", "NAME=x"});
        editor.ImportClick(dir.path());
        QVERIFY(!editor.Progress->isVisible());
        QCOMPARE(editor.EditorGrid->Model()->rowCount(), 1);
        QCOMPARE(editor.EditorGrid->Model()->index(0, 0).data().toString(), QString("A"));
        QCOMPARE(GridStatesOfGroup("LITE", Group).first().Search, QStringList{"NAME=A"});

        // into another database: the same states
        QFile ini(QDir(ConfigDir()).filePath("aliases.ini"));
        QVERIFY(ini.open(QIODevice::Append));
        ini.write("\n[OTHER]\nDriver=QSQLITE\nDatabase=other.db\n");
        ini.close();
        QFile(QDir(ProgramDir()).filePath("other.db")).open(QIODevice::WriteOnly);
        DataTest::createSysTables("OTHER", QUARN_SOURCE_DIR "/sql");
        QFile::remove(dir.filePath(Group + "^B.GRD"));
        editor.ExportClick(dir.path());
        TChoiceEditGrdForm other(nullptr, "OTHER", Group);
        other.ImportClick(dir.path());
        QCOMPARE(GridStatesOfGroup("OTHER", Group), GridStatesOfGroup("LITE", Group));
        DataTest::exec("LITE", {"DELETE FROM SYS_GRIDS"});
    }

    // "&Изменить" opens the selected state in the edit form through the
    // record link; the memo pages keep PgDn for themselves; "&Сохранить"
    // writes the renamed state and the editor lists it.
    void editorChangesState_data() { DataTest::engineRows(); }
    void editorChangesState()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TRecordingUI ui;
        TErrors errors;
        insertStates(alias);
        TChoiceEditGrdForm editor(nullptr, alias, Group);
        editor.show();
        QCOMPARE(titles(editor), QStringList({"A", "B"}));
        for (editor.EditorQuery.First(); editor.EditorQuery.FieldByName("GR_GRD_CMT")->AsString() != "B";)
            editor.EditorQuery.Next();
        const int row = editor.EditorQuery.CurrentIndex();
        withEditForm(editor.EditBtn, [&](TGridEditForm &f) {
            QCOMPARE(f.TitleEdit->text(), QString("B"));
            QCOMPARE(f.GroupEdit->text(), Group);
            QCOMPARE(f.SearchMemo->toPlainText(), QString("NAME=B"));
            QCOMPARE(f.focusWidget(), f.TitleEdit);
            QTest::keyClicks(f.TitleEdit, "B2");
            f.Pages->setCurrentIndex(0);
            f.SearchMemo->setFocus();
            QTest::keyClick(f.SearchMemo, Qt::Key_End, Qt::ControlModifier);
            QTest::keyClick(f.SearchMemo, Qt::Key_Return);
            QTest::keyClicks(f.SearchMemo, "ID=2");
            QTest::keyClick(f.SearchMemo, Qt::Key_PageDown);
            QVERIFY(f.isVisible());
            QCOMPARE(f.TitleEdit->text(), QString("B2"));
            saveShot(&f, "grid_edit_form");
            QTest::mouseClick(f.SaveBtn, Qt::LeftButton);
        });
        QVERIFY(errors.messages.isEmpty());
        QVERIFY(ui.Messages.isEmpty());
        QCOMPARE(editor.EditorQuery.CurrentIndex(), row);
        QCOMPARE(titles(editor), QStringList({"A", "B2"}));
        const QList<TGridState> states = GridStatesOfGroup(alias, Group);
        const auto renamed = std::find_if(states.begin(), states.end(), [](const TGridState &s) { return s.Title == "B2"; });
        QVERIFY(renamed != states.end());
        QCOMPARE(renamed->Search, QStringList({"NAME=B", "ID=2"}));
        // the same title in another group and under another application stays
        QCOMPARE(DataTest::scalar(alias, "select count(*) from SYS_GRIDS where GR_GRD_CMT = 'B'"), QString("2"));
    }

    // "&Добавить" opens an empty state of the editor's group and AppName;
    // an empty title is refused; the form's "&Добавить" saves and starts
    // the next one. "&Удалить" asks "Вы уверены ?" and deletes on Yes only.
    void editorAddsAndDeletes_data() { DataTest::engineRows(); }
    void editorAddsAndDeletes()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TRecordingUI ui;
        TErrors errors;
        insertStates(alias);
        TChoiceEditGrdForm editor(nullptr, alias, Group);
        editor.show();
        withEditForm(editor.AddBtn, [&](TGridEditForm &f) {
            QCOMPARE(f.TitleEdit->text(), QString());
            QCOMPARE(f.GroupEdit->text(), Group);
            QTest::mouseClick(f.SaveBtn, Qt::LeftButton);
            QCOMPARE(errors.messages, QStringList{"Название не может быть пустым"});
            QVERIFY(f.isVisible());
            QTest::keyClicks(f.TitleEdit, "C");
            QTest::mouseClick(f.AddBtn, Qt::LeftButton);
            QVERIFY(f.isVisible());
            QCOMPARE(f.TitleEdit->text(), QString());
            QCOMPARE(f.GroupEdit->text(), Group);
            QTest::keyClicks(f.TitleEdit, "D");
            QTest::keyClick(f.TitleEdit, Qt::Key_Return);
        });
        QCOMPARE(errors.messages, QStringList{"Название не может быть пустым"});
        QCOMPARE(titles(editor), QStringList({"A", "B", "C", "D"}));
        QCOMPARE(column(alias, "select GR_APP_NAM from SYS_GRIDS where GR_GRD_NAM = '" + Group
                                   + "' and GR_GRD_CMT in ('C', 'D')"),
                 QStringList({"Quarn", "Quarn"}));

        editor.EditorQuery.First();
        const QString first = editor.EditorQuery.FieldByName("GR_GRD_CMT")->AsString();
        ui.Answer = TUserInterface::mbNo;
        QTest::mouseClick(editor.DeleteBtn, Qt::LeftButton);
        QCOMPARE(ui.Messages, QStringList{"Вы уверены ?"});
        QCOMPARE(titles(editor).size(), 4);
        ui.Answer = TUserInterface::mbYes;
        editor.EditorQuery.First();
        QTest::mouseClick(editor.DeleteBtn, Qt::LeftButton);
        QCOMPARE(titles(editor).size(), 3);
        QVERIFY(!titles(editor).contains(first));
        QCOMPARE(DataTest::scalar(alias, "select count(*) from SYS_GRIDS"), QString("5"));
    }
};

QUARN_WIDGETS_TEST_MAIN(GridStateFormsTest)
#include "GridStateFormsTest.moc"
