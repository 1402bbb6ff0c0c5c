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

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
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

        f.key(Qt::Key_F3, Qt::ControlModifier);
        QCOMPARE(ui.Messages, QStringList{"Вы уверены, что хотите очистить состояние таблицы ?"});
        QCOMPARE(f.rows(), 3);
        QVERIFY(f.grid.ChoiceList().isEmpty());

        f.keyWith<TChoiceGridForm>(Qt::Key_F3, {}, [&](TChoiceGridForm &c) {
            QCOMPARE(c.ChoiceGrid->Model()->rowCount(), 1);
            QCOMPARE(c.ChoiceGrid->Model()->index(0, 0).data().toString(), QString("Ivany"));
            QCOMPARE(c.ChoiceGrid->Model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QString("Описание"));
            // F3 in the chooser's own grid opens no second chooser
            QTest::keyClick(c.ChoiceGrid->View(), Qt::Key_F3);
            QCOMPARE(QApplication::activeModalWidget(), &c);
            QTest::mouseClick(c.ChooseBtn, Qt::LeftButton);
        });
        QCOMPARE(f.rows(), 2);
        QCOMPARE(f.grid.SearchValues().size(), 1);
        QCOMPARE(f.grid.ChoiceList(), QStringList{"ID=3"});
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
        DataTest::exec("LITE", {"DELETE FROM SYS_GRIDS"});
    }
};

QUARN_WIDGETS_TEST_MAIN(GridStateFormsTest)
#include "GridStateFormsTest.moc"
