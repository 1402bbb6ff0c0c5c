// The SQL editor window and the plan window, driven through the main
// window's commands on a SQLite file and on PostgreSQL.

#include "WorkspaceTestSupport.h"

#include "common/UserInterface.h"
#include "grid/SearchDBGrid.h"
#include "workspace/MainCommands.h"
#include "workspace/DBNavigator.h"
#include "workspace/DialogUserInterface.h"
#include "workspace/SQLForm.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCompleter>
#include <QMdiArea>
#include <QToolButton>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QTabWidget>

using namespace WsTest;

namespace {

// A person who answers questions with `Answer` and remembers them.
class TAnswers : public TUserInterface {
public:
    TAnswers() : m_previous(SetUserInterface(this)) {}
    ~TAnswers() override { SetUserInterface(m_previous); }
    int Answer = mbNo;
    QMap<QString, int> Answers;   // answers of particular questions, Answer for the rest
    QStringList Asked;
    int MessageDlg(const QString &text, const QString &, Kind, const QList<Button> &) override
    {
        Asked << text;
        return Answers.value(text, Answer);
    }

private:
    TUserInterface *m_previous;
};

TSQLForm *activeEditor(TDbMainForm &main)
{
    return qobject_cast<TSQLForm *>(main.ActiveChild());
}

// A new editor on `alias` with `text`, through "&Набрать SQL".
TSQLForm *editorOn(TDbMainForm &main, const QString &alias, const QString &text)
{
    main.OpenDatabase(alias);
    QTest::keyClick(&main, Qt::Key_Q, Qt::ControlModifier);
    TSQLForm *editor = activeEditor(main);
    if (editor)
        editor->SQLText->setPlainText(text);
    return editor;
}

// A main window with the SQL editor installed and an editor on `alias`
// holding `text`.
struct TEditorWindow {
    std::unique_ptr<TDbMainForm> main = newMainForm();
    TSQLForm *editor = nullptr;
    TEditorWindow(const QString &alias, const QString &text)
    {
        InstallSQLEditor(*main);
        editor = editorOn(*main, alias, text);
    }
};

} // namespace

class SQLFormTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        createDemo();
        DataTest::writeAliases();
        for (const QString alias : {"LITE", "PG"})
            if (alias == u"LITE" || DataTest::havePostgres())
                DataTest::exec(alias, {"DROP TABLE IF EXISTS T_SQLFORM", "CREATE TABLE T_SQLFORM (ID INTEGER PRIMARY KEY, NAME VARCHAR(20))",
                                       "INSERT INTO T_SQLFORM VALUES (1, 'one')"});
    }

    // "&Просмотр таблицы" opens an editor that selects the whole table,
    // editable, and shows its rows at once.
    void viewTableFromBrowser()
    {
        auto main = newMainForm();
        InstallSQLEditor(*main);
        TQuarnForm *browser = openBrowser(*main, "DEMO");
        browser->Tree->setCurrentItem(line(browser->Tree->topLevelItem(0), "CUSTOMERS"));
        QTest::mouseClick(main->Commands().SBViewTable, Qt::LeftButton);
        TSQLForm *editor = activeEditor(*main);
        QVERIFY(editor);
        QCOMPARE(editor->windowTitle(), QString("SQL Редактор - База данных DEMO"));
        QCOMPARE(editor->SQLText->toPlainText(), QString("SELECT * FROM \"CUSTOMERS\""));
        QVERIFY(editor->LiveBox->isChecked() && editor->SearchBox->isChecked());
        QCOMPARE(editor->Pages->currentWidget(), editor->GridPage);
        QVERIFY(editor->SQLGrid->Model()->rowCount() > 0);
        QVERIFY(editor->SQLGrid->CanEdit());
        QCOMPARE(editor->SQLGrid->GridName(), QString("TSQLForm_SQLGrid"));
        // "&Поиск" passes its state to the grid
        QTest::mouseClick(editor->SearchBox, Qt::LeftButton);
        QVERIFY(!editor->SQLGrid->SearchInUse());
    }

    // A statement without rows tells how many it touched; "Откат" takes
    // it back, "&Фиксация обновлений" keeps it; the "SQL" page stays.
    void statementWithoutRows_data()
    {
        DataTest::engineRows();
    }
    void statementWithoutRows()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TEditorWindow window(alias, "INSERT INTO T_SQLFORM VALUES (2, 'two')");
        TSQLForm *editor = window.editor;
        QVERIFY(editor);
        auto &main = window.main;
        const QString count = "select count(*) from T_SQLFORM";
        for (const char *button : {"RollbackBtn", "CommitBtn"}) {
            QString label;
            auto watch = onModal<TSQLResultDlg>([&](TSQLResultDlg *d) {
                label = d->RowsLabel->text();
                QTest::mouseClick(d->findChild<QPushButton *>(button), Qt::LeftButton);
            });
            main->Commands().MExecSQL->trigger();
            QCOMPARE(watch->Hits(), 1);
            QCOMPARE(label, QString("Обработано записей: 1"));
            QCOMPARE(editor->Pages->currentWidget(), editor->SQLPage);
            QCOMPARE(DataTest::scalar(alias, count), QString(button == QString("RollbackBtn") ? "1" : "2"));
        }
        DataTest::exec(alias, {"DELETE FROM T_SQLFORM WHERE ID = 2"});
    }

    // Ctrl+Q gives the keyboard to the statement: what is typed runs with
    // Ctrl+E and the rows show; Ctrl+E on no text only says so.
    void typedStatementRuns_data() { DataTest::engineRows(); }
    void typedStatementRuns()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TEditorWindow window(alias, QString());
        TSQLForm *editor = window.editor;
        QVERIFY(editor);
        auto &main = window.main;
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(editor->SQLText));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(main->StatusLine->text(), QStringLiteral("Нет текста запроса"));
        QVERIFY(!editor->SQLQuery.Active());
        QTest::keyClicks(QApplication::focusWidget(), "select 7 as N");
        QCOMPARE(editor->SQLText->toPlainText(), QStringLiteral("select 7 as N"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_E, Qt::ControlModifier);
        QVERIFY(editor->SQLQuery.Active());
        QCOMPARE(editor->SQLQuery.Fields(0)->AsInteger(), 7);
        QCOMPARE(editor->Pages->currentWidget(), editor->GridPage);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(editor->SQLGrid->View()));
    }

    // Ctrl+E runs the selection when there is one, else the statement
    // under the caret; an error puts the caret on what the engine points at.
    void selectionOrStatementRuns_data() { DataTest::engineRows(); }
    void selectionOrStatementRuns()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TEditorWindow window(alias, "select 1 as N;\n\nselect 2 as N; -- two\nselect 3 as N");
        TSQLForm *editor = window.editor;
        QVERIFY(editor);
        QWidget *text = editor->SQLText;
        const auto run = [&] {
            QTest::keyClick(text, Qt::Key_E, Qt::ControlModifier);
            return editor->SQLQuery.Active() ? editor->SQLQuery.Fields(0)->AsInteger() : -1;
        };
        const auto caretAt = [&](int position) {
            QTextCursor c = editor->SQLText->textCursor();
            c.setPosition(position);
            editor->SQLText->setTextCursor(c);
            text->setFocus();
        };
        caretAt(3);
        QCOMPARE(run(), 1);
        caretAt(15);   // the blank line after the first: still the first
        QCOMPARE(run(), 1);
        caretAt(20);
        QCOMPARE(run(), 2);
        caretAt(0);
        QTest::keyClick(text, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(run(), 3);
        // the selected words of the last line, chosen with Shift and arrows
        caretAt(0);
        QTest::keyClick(text, Qt::Key_Down);
        QTest::keyClick(text, Qt::Key_Down);
        QTest::keyClick(text, Qt::Key_End, Qt::ShiftModifier);
        QCOMPARE(editor->SQLText->textCursor().selectedText(), QString("select 2 as N; -- two"));
        QCOMPARE(run(), 2);

        QStringList errors;
        const TExceptionHandler previous =
            SetApplicationExceptionHandler([&](QObject *, const Exception &e) { errors << e.Message(); });
        editor->SQLText->setPlainText("select 1 as N;\nselect N frm NO_SUCH_TABLE");
        QTest::keyClick(text, Qt::Key_End, Qt::ControlModifier);
        run();
        SetApplicationExceptionHandler(previous);
        QCOMPARE(errors.size(), 1);
        const QTextCursor at = editor->SQLText->textCursor();
        QVERIFY2(at.position() >= 15 && at.position() <= editor->SQLText->toPlainText().size(),
                 qPrintable(QString::number(at.position())));
        // the engine says where: the table's name is marked
        QCOMPARE(at.selectedText(), QString("NO_SUCH_TABLE"));
    }

    // F5 runs the statements in order, each with its rows and time; an
    // error stops it with the caret on the failing statement and the
    // statements before it in the open transaction, which "Откат" undoes and
    // "&Фиксация обновлений" keeps, as a second connection sees.
    void scriptStopsAtError_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("seen");
        for (const char *alias : {"LITE", "PG"}) {
            QTest::addRow("%s, Откат", alias) << QString(alias) << "RollbackBtn" << "1";
            QTest::addRow("%s, Фиксация", alias) << QString(alias) << "CommitBtn" << "1,12,13";
        }
    }
    void scriptStopsAtError()
    {
        QFETCH(QString, alias);
        QFETCH(QString, button);
        QFETCH(QString, seen);
        QUARN_NEED_ENGINE(alias);
        DataTest::exec(alias, {"DROP TABLE IF EXISTS T_SCRIPT", "CREATE TABLE T_SCRIPT (N INTEGER)",
                               "INSERT INTO T_SCRIPT VALUES (1)"});
        auto main = newMainForm();
        InstallSQLEditor(*main);
        const QString script = "insert into T_SCRIPT values (2);\ninsert into T_SCRIPT values (3);\n"
                               "update T_SCRIPT set N = N + 10 where N > 1;\ninsert into NO_SUCH values (4);\n"
                               "insert into T_SCRIPT values (5)";
        TSQLForm *editor = editorOn(*main, alias, script);
        QVERIFY(editor);
        QStringList errors;
        const TExceptionHandler previous =
            SetApplicationExceptionHandler([&](QObject *, const Exception &e) { errors << e.Message(); });
        QString label, inside, outside;
        DataTest::TSecondConnection second(alias);
        auto watch = onModal<TSQLResultDlg>([&](TSQLResultDlg *d) {
            label = d->RowsLabel->text();
            inside = DataTest::scalar(alias, "select count(*) from T_SCRIPT");   // the editor's own connection
            outside = second.rows("select N from T_SCRIPT order by N");
            QTest::mouseClick(d->findChild<QPushButton *>(button), Qt::LeftButton);
        });
        QTest::keyClick(editor->SQLText, Qt::Key_F5);
        SetApplicationExceptionHandler(previous);
        QCOMPARE(errors.size(), 1);
        QCOMPARE(watch->Hits(), 1);
        QCOMPARE(label, QString("Обработано записей: 4"));
        // the results: three done, the fourth failed, the fifth never run
        QCOMPARE(editor->ResultList->topLevelItemCount(), 4);
        QCOMPARE(editor->ResultList->topLevelItem(2)->text(2), QString("2"));
        QCOMPARE(editor->ResultList->topLevelItem(3)->text(2), QString("ошибка"));
        const int fourth = int(script.indexOf("insert into NO_SUCH"));
        const int caret = editor->SQLText->textCursor().position();
        QVERIFY2(caret >= fourth && caret <= fourth + 31, qPrintable(QString::number(caret)));
        // the three statements stood in the open transaction, unseen outside
        QCOMPARE(inside, QString("3"));
        QCOMPARE(outside, QString("1"));
        QCOMPARE(second.rows("select N from T_SCRIPT order by N"), seen);
        QVERIFY(!editor->Database()->InTransaction());
    }

    // The statements run are kept per database across a restart: Ctrl+Up
    // and Ctrl+Down walk them in the text, the list picks one.
    void historySurvivesRestart_data() { DataTest::engineRows(); }
    void historySurvivesRestart()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        {
            auto main = newMainForm();
            InstallSQLEditor(*main);
            TSQLForm *editor = editorOn(*main, alias, "select 1 as N");
            QVERIFY(editor);
            for (const char *sql : {"select 1 as N", "select 2 as N", "select 1 as N"}) {
                editor->SQLText->setPlainText(sql);
                QTest::keyClick(editor->SQLText, Qt::Key_E, Qt::ControlModifier);
                QVERIFY(editor->SQLQuery.Active());
            }
        }
        Session().CloseAll();
        TEditorWindow window(alias, "draft");
        TSQLForm *editor = window.editor;
        QVERIFY(editor);
        QWidget *text = editor->SQLText;
        const auto walk = [&](Qt::Key key) {
            QTest::keyClick(text, key, Qt::ControlModifier);
            return editor->SQLText->toPlainText();
        };
        QCOMPARE(walk(Qt::Key_Up), QString("select 1 as N"));   // run last; run twice, kept once
        QCOMPARE(walk(Qt::Key_Up), QString("select 2 as N"));
        QCOMPARE(walk(Qt::Key_Down), QString("select 1 as N"));
        QCOMPARE(walk(Qt::Key_Down), QString("draft"));
        QCOMPARE(walk(Qt::Key_Down), QString("draft"));

        QString newest;
        auto watch = onModal<TSqlHistoryDlg>([&](TSqlHistoryDlg *d) {
            newest = d->List->topLevelItem(0)->text(3) + u'|' + d->List->topLevelItem(0)->text(1);
            QTest::keyClick(d->List, Qt::Key_Down);
            QTest::keyClick(d->List, Qt::Key_Return);
        });
        QTest::keyClick(text, Qt::Key_H, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(watch->Hits(), 1);
        QCOMPARE(newest, QString("select 1 as N|1"));
        QCOMPARE(editor->SQLText->toPlainText(), QString("select 2 as N"));
    }

    // Ctrl+F and Ctrl+H in the text find and replace in it (the grid's
    // Ctrl+F stays the grid's): the next match from the caret, round to the
    // top, one replaced, all replaced as one undo step.
    void findAndReplaceInText()
    {
        TEditorWindow window("LITE", "select N from T\nwhere n > 1 and N < 9");
        TSQLForm *editor = window.editor;
        QVERIFY(editor);
        QWidget *text = editor->SQLText;
        text->setFocus();
        QTest::keyClick(text, Qt::Key_F, Qt::ControlModifier);
        auto *find = editor->findChild<TSqlFindDlg *>();
        QVERIFY(find && find->isVisible() && !find->ReplaceBtn->isVisible());
        QTest::keyClicks(find->FindEdit, "N");
        QTest::mouseClick(find->CaseBox, Qt::LeftButton);
        QTest::keyClick(find->FindEdit, Qt::Key_Return);
        QCOMPARE(editor->SQLText->textCursor().selectionStart(), 7);
        QTest::keyClick(find->FindEdit, Qt::Key_Return);   // "n" is another letter now
        QCOMPARE(editor->SQLText->textCursor().selectionStart(), 32);
        QTest::keyClick(find->FindEdit, Qt::Key_Return);
        QCOMPARE(editor->SQLText->textCursor().selectionStart(), 7);
        find->close();

        QTest::keyClick(text, Qt::Key_H, Qt::ControlModifier);
        auto *replace = editor->findChild<TSqlFindDlg *>();
        QVERIFY(replace && replace->ReplaceAllBtn->isVisible());
        QVERIFY(replace->CaseBox->isChecked());   // the same dialog, as it was left
        QTest::mouseClick(replace->CaseBox, Qt::LeftButton);
        replace->FindEdit->setText("n");
        QTest::keyClicks(replace->ReplaceEdit, "QTY");
        QTest::mouseClick(replace->ReplaceAllBtn, Qt::LeftButton);
        QCOMPARE(editor->SQLText->toPlainText(), QString("select QTY from T\nwhere QTY > 1 aQTYd QTY < 9"));
        QCOMPARE(replace->Note->text(), QString("Заменено: 4"));
        editor->SQLText->undo();
        QCOMPARE(editor->SQLText->toPlainText(), QString("select N from T\nwhere n > 1 and N < 9"));
    }

    // "." after a table's alias offers its columns from the catalog,
    // narrowed as one types, Enter puts the chosen one in; Ctrl+Space
    // offers tables and keywords for the word begun.
    void completion_data() { DataTest::engineRows(); }
    void completion()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TEditorWindow window(alias, QString());
        TSQLForm *editor = window.editor;
        QVERIFY(editor);
        TSqlEdit *text = editor->SQLText;
        text->setFocus();
        QTest::keyClicks(text, "select cust");
        QTest::keyClick(text, Qt::Key_Period);
        QCompleter *completer = text->Completer();
        QVERIFY(!completer->popup()->isVisible());   // no table yet: nothing to offer
        QTest::keyClick(text, Qt::Key_Backspace);
        QTest::keyClicks(text, " from T_SQLFORM cust where cust");
        QTest::keyClick(text, Qt::Key_Period);
        QVERIFY(completer->popup()->isVisible());
        QStringList offered;
        for (int i = 0; i < completer->completionCount(); ++i) {
            completer->setCurrentRow(i);
            offered << completer->currentCompletion().toUpper();
        }
        QCOMPARE(offered, (QStringList{"ID", "NAME"}));
        QTest::keyClick(text, Qt::Key_N);
        QCOMPARE(completer->completionCount(), 1);
        QTest::keyClick(completer->popup(), Qt::Key_Return);
        QVERIFY(text->toPlainText().toUpper().endsWith("WHERE CUST.NAME"));

        QTest::keyClicks(text, " = 1 and exists (sel");
        QTest::keyClick(text, Qt::Key_Space, Qt::ControlModifier);
        QVERIFY(completer->popup()->isVisible());
        QTest::keyClick(completer->popup(), Qt::Key_Return);
        QTest::keyClicks(text, " 1 from T_SQ");
        QTest::keyClick(text, Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(completer->currentCompletion().toUpper(), QString("T_SQLFORM"));
        QTest::keyClick(completer->popup(), Qt::Key_Tab);
        QVERIFY2(text->toPlainText().toUpper().endsWith("EXISTS (SELECT 1 FROM T_SQLFORM"), qPrintable(text->toPlainText()));
    }

    // The status line gives the rows, once counted, and the statement's time.
    void rowsAndTimeInStatus_data() { DataTest::engineRows(); }
    void rowsAndTimeInStatus()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        DataTest::exec(alias, {"DROP TABLE IF EXISTS T_ROWS", "CREATE TABLE T_ROWS (N INTEGER)",
                               "WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < 1234)"
                               " INSERT INTO T_ROWS SELECT n FROM s"});
        TEditorWindow window(alias, "SELECT N FROM T_ROWS ORDER BY N");
        TSQLForm *editor = window.editor;
        QVERIFY(editor);
        auto &main = window.main;
        main->show();
        QVERIFY(QTest::qWaitForWindowExposed(main.get()));
        main->Commands().MExecSQL->trigger();
        const QRegularExpression counted("^Записей: 1 234 · \\d+,\\d\\d с$");
        QTRY_VERIFY2(counted.match(main->StatusLine->text()).hasMatch(), qPrintable(main->StatusLine->text()));
        // the toolbar's navigator moves the editor's grid
        QToolButton *last = main->Commands().ReadNavigator->Button(TDBNavigator::nbLast);
        QVERIFY(last->isEnabled());
        QTest::mouseClick(last, Qt::LeftButton);
        QCOMPARE(editor->SQLQuery.FieldByName("N")->AsInteger(), 1234);
        QVERIFY(!last->isEnabled());
        // a search reopens the statement: the status tells the rows it found
        QTest::keyClicks(editor->SQLGrid->View(), "12");
        const QRegularExpression narrowed("^Записей: 1 · \\d+,\\d\\d с$");
        QTRY_VERIFY2(narrowed.match(main->StatusLine->text()).hasMatch(), qPrintable(main->StatusLine->text()));
    }

    // A long statement shows the busy window, which answers Esc and
    // "Отмена" while the statement runs; either stops it within a second,
    // the server runs it no more, and the editor runs the next statement.
    void longStatementStopped_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<bool>("byEsc");
        for (const char *alias : {"LITE", "PG"})
            for (bool esc : {true, false})
                QTest::addRow("%s, %s", alias, esc ? "Esc" : "Отмена") << QString(alias) << esc;
    }
    void longStatementStopped()
    {
        QFETCH(QString, alias);
        QFETCH(bool, byEsc);
        QUARN_NEED_ENGINE(alias);
        TDialogUserInterface dialogs;
        struct TRestore {
            TUserInterface *previous;
            ~TRestore() { SetUserInterface(previous); }
        } restore{SetUserInterface(&dialogs)};
        auto main = newMainForm();
        InstallSQLEditor(*main);
        const bool pg = alias == "PG";
        TSQLForm *editor = editorOn(*main, alias, pg ? "select pg_sleep(12), 1"
                                                     : "WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c "
                                                       "WHERE n < 1000000000) SELECT count(*) FROM c");
        QVERIFY(editor);
        QElapsedTimer shown, stopped;
        auto busy = onModal<QProgressDialog>([&](QProgressDialog *d) {
            shown.start();
            QCOMPARE(d->labelText().left(21), QString("Выполнение запроса..."));
            if (byEsc)
                QTest::keyClick(d, Qt::Key_Escape);
            else
                QTest::mouseClick(d->findChild<QPushButton *>(), Qt::LeftButton);
        });
        TErrorSeen seen;
        auto errors = watchErrors(seen);
        main->Commands().MExecSQL->trigger();
        QTRY_COMPARE(seen.count, 1);
        QCOMPARE(busy->Hits(), 1);
        QVERIFY2(shown.elapsed() < 1500, qPrintable(QString::number(shown.elapsed())));
        QVERIFY2(seen.text.contains("Выполнение запроса прервано"), qPrintable(seen.text));
        if (pg)
            QCOMPARE(DataTest::scalar(alias, "select count(*) from pg_stat_activity where state = 'active'"
                                             " and query like 'select pg_sleep(12)%'"),
                     QString("0"));
        editor->SQLText->setPlainText("SELECT 7 AS N");
        main->Commands().MExecSQL->trigger();
        QCOMPARE(editor->SQLQuery.FieldByName("N")->AsInteger(), 7);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    // A rejected statement shows the engine's error and keeps the SQL page.
    void rejectedStatement()
    {
        auto main = newMainForm();
        InstallSQLEditor(*main);
        TSQLForm *editor = editorOn(*main, "LITE", "select * from NO_SUCH_TABLE");
        TErrorSeen seen;
        auto watch = watchErrors(seen);
        main->Commands().MExecSQL->trigger();
        QTRY_COMPARE(seen.count, 1);
        QVERIFY(seen.text.contains("NO_SUCH_TABLE"));
        QCOMPARE(editor->Pages->currentWidget(), editor->SQLPage);
    }

    // Closing asks only when there is text, and only No closes.
    void closeQuestion_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("closed");
        QTest::newRow("empty text") << "" << int(TUserInterface::mbYes) << false << true;
        QTest::newRow("Yes keeps it") << "select 1" << int(TUserInterface::mbYes) << true << false;
        QTest::newRow("Cancel keeps it") << "select 1" << int(TUserInterface::mbCancel) << true << false;
        QTest::newRow("No closes") << "select 1" << int(TUserInterface::mbNo) << true << true;
    }
    void closeQuestion()
    {
        QFETCH(QString, text);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        QFETCH(bool, closed);
        auto main = newMainForm();
        InstallSQLEditor(*main);
        QPointer<TSQLForm> editor = editorOn(*main, "LITE", text);
        TAnswers ui;
        ui.Answer = answer;
        editor->close();
        settle();
        QCOMPARE(ui.Asked, asked ? QStringList{"Будет закрыто окно. Прервать?"} : QStringList());
        QCOMPARE(editor.isNull(), closed);
    }

    // "В&ыход" (Ctrl+X) with a transaction open: the editor's own question
    // first, then the transaction's; Да commits, Нет rolls back, Отмена
    // keeps the program, its windows and the transaction as they were.
    void exitWithOpenTransaction_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<int>("answer");
        for (const QString alias : {"LITE", "PG"}) {
            const QString e = alias == u"PG" ? "postgresql: " : "sqlite: ";
            QTest::newRow(qPrintable(e + "Да commits")) << alias << int(TUserInterface::mbYes);
            QTest::newRow(qPrintable(e + "Нет rolls back")) << alias << int(TUserInterface::mbNo);
            QTest::newRow(qPrintable(e + "Отмена keeps it all")) << alias << int(TUserInterface::mbCancel);
        }
    }
    void exitWithOpenTransaction()
    {
        QFETCH(QString, alias);
        QFETCH(int, answer);
        QUARN_NEED_ENGINE(alias);
        auto main = newMainForm();
        InstallSQLEditor(*main);
        QPointer<TSQLForm> editor = editorOn(*main, alias, "UPDATE T_SQLFORM SET NAME = 'changed' WHERE ID = 1");
        QVERIFY(editor);
        auto watch = onModal<TSQLResultDlg>([](TSQLResultDlg *d) { QTest::mouseClick(d->CloseBtn, Qt::LeftButton); });
        main->Commands().MExecSQL->trigger();
        QCOMPARE(watch->Hits(), 1);
        TDatabase *db = Session().FindDatabase(alias);
        QVERIFY(db && db->InTransaction());

        TAnswers ui;
        ui.Answers = {{"Будет закрыто окно. Прервать?", TUserInterface::mbNo},
                      {"Транзакция не завершена. Зафиксировать изменения?", answer}};
        ui.Answer = TUserInterface::mbCancel;
        // Ctrl+X where it is no "cut": on the database's tree
        auto *browser = qobject_cast<TQuarnForm *>(main->Children().first());
        QVERIFY(browser);
        main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main.get()));
        main->MdiArea()->setActiveSubWindow(browser);
        browser->Tree->setFocus();
        QTest::keyClick(browser->Tree, Qt::Key_X, Qt::ControlModifier);
        settle();
        QCOMPARE(ui.Asked, QStringList({"Будет закрыто окно. Прервать?", "Транзакция не завершена. Зафиксировать изменения?"}));
        const bool kept = answer == TUserInterface::mbCancel;
        QCOMPARE(main->isVisible(), kept);
        QCOMPARE(editor.isNull(), !kept);
        QCOMPARE(db->InTransaction(), kept);
        DataTest::TSecondConnection other(alias);
        QCOMPARE(other.rows("SELECT NAME FROM T_SQLFORM WHERE ID = 1"),
                 QString(answer == TUserInterface::mbYes ? "changed" : "one"));
        if (kept)
            db->Rollback();
        DataTest::exec(alias, {"UPDATE T_SQLFORM SET NAME = 'one' WHERE ID = 1"});
    }

    // The plan window: the engine's own plan, one step a line, children
    // indented under their parents; a statement that fails shows the
    // engine's error and no window.
    void plan_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QString>("step");
        QTest::newRow("sqlite") << "LITE" << "SCAN";
        QTest::newRow("postgresql") << "PG" << "Seq Scan";
    }
    void plan()
    {
        QFETCH(QString, alias);
        QFETCH(QString, step);
        QUARN_NEED_ENGINE(alias);
        auto main = newMainForm();
        InstallSQLEditor(*main);
        editorOn(*main, alias,
                 "select * from T_SQLFORM a join T_SQLFORM b on b.NAME = a.NAME\n"
                 "where a.ID in (select ID from T_SQLFORM where NAME <> 'x')");
        QStringList lines;
        auto watch = onModal<TSQLPlanForm>([&](TSQLPlanForm *d) {
            lines = d->PlanLines();
            QCOMPARE(d->PlanGrid->Model()->rowCount(), lines.size());
            QTest::mouseClick(d->ExitBtn, Qt::LeftButton);
        });
        main->Commands().MPlan->trigger();
        QCOMPARE(watch->Hits(), 1);
        QVERIFY2(lines.join("\n").contains(step), qPrintable(lines.join("\n")));
        QVERIFY2(!lines.first().startsWith(' '), qPrintable(lines.first()));
        QVERIFY2(std::any_of(lines.begin(), lines.end(), [](const QString &l) { return l.startsWith("  "); }),
                 qPrintable(lines.join("\n")));

        activeEditor(*main)->SQLText->setPlainText("select * from NO_SUCH_TABLE");
        TErrorSeen seen;
        auto errors = watchErrors(seen);
        auto noPlan = onModal<TSQLPlanForm>([](TSQLPlanForm *) {});
        main->Commands().MPlan->trigger();
        QTRY_COMPARE(seen.count, 1);
        QCOMPARE(noPlan->Hits(), 0);
    }
};

QUARN_WIDGETS_TEST_MAIN(SQLFormTest)
#include "SQLFormTest.moc"
