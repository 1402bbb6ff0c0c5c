// The main window: the command-enabling rules, opening databases through the
// open-database dialog, failures that end in the engine-error dialog, SQL
// files of the active editor, the formats and AppName fixed at creation.

#include "WorkspaceTestSupport.h"

#include "common/AppName.h"
#include "common/DateTime.h"
#include "common/Format.h"
#include "common/Settings.h"
#include "common/TextFile.h"
#include "grid/SearchSql.h"
#include "workspace/AboutBoxForm.h"
#include "workspace/DBNavigator.h"
#include "workspace/DialogUserInterface.h"
#include "workspace/LoginDlg.h"
#include "workspace/MainCommands.h"
#include "workspace/SQLForm.h"

#include <QAction>
#include <QEnterEvent>
#include <QMdiArea>
#include <QMenu>
#include <QSettings>
#include <QToolButton>

using namespace WsTest;

class TMainFormTest : public QObject {
    Q_OBJECT

    void openThroughDialog(TDbMainForm &main, const QString &alias)
    {
        auto choose = chooseAlias(alias);
        QTest::mouseClick(main.Commands().SBOpen, Qt::LeftButton);
        QCOMPARE(choose->Hits(), 1);
        settle();
    }

    // The child-dependent commands, each with its button.
    static void checkChildCommands(const TMainCommands &c, bool viewTable, bool enterSQL, bool sqlEditor)
    {
        QCOMPARE(c.MViewTable->isEnabled() && c.SBViewTable->isEnabled(), viewTable);
        QCOMPARE(c.MEnterSQL->isEnabled() && c.SBEnterSQL->isEnabled(), enterSQL);
        for (QAction *a : {c.MExecSQL, c.MLoadSQL, c.MSaveSQL, c.MPlan})
            QVERIFY2(a->isEnabled() == sqlEditor, qPrintable(a->objectName()));
        for (QToolButton *b : {c.SBExecSQL, c.LoadBtn, c.SaveBtn, c.PlanBtn})
            QVERIFY2(b->isEnabled() == sqlEditor, qPrintable(b->objectName()));
        // Neither the browser nor the stub editor gives the navigators a data
        // source (the real editor's grid does: SQLFormTest).
        QVERIFY(!c.ReadNavigator->isEnabled() && !c.WriteNavigator->isEnabled());
    }

private slots:
    void initTestCase()
    {
        QCoreApplication::setApplicationName(QStringLiteral("Quarn"));
        SetUserInterface(new TDialogUserInterface(this));
        createDemo();
        DataTest::writeAliases(QStringLiteral("[BROKEN]\nDriver=QNOSUCH\nDatabase=x\n\n"
                                              "[NOFILE]\nDriver=QSQLITE\nDatabase=nofile.sqlite\n\n"
                                              "[GONE]\nDriver=QSQLITE\nDatabase=gone.sqlite\n\n"));
    }
    void cleanupTestCase() { SetUserInterface(nullptr); }

    // With no child window only "Информация", "&Открыть...", "В&ыход" and
    // their buttons work, even with an SQL editor at hand.
    void commandsWithoutChild()
    {
        auto main = newMainForm();
        installStubEditor(*main);
        const TMainCommands &c = main->Commands();
        emit c.MSQL->aboutToShow();
        for (QAction *a : {c.AboutItem, c.MOpenDb, c.MExitApp})
            QVERIFY(a->isEnabled());
        QVERIFY(c.SBOpen->isEnabled() && c.SBExitApp->isEnabled());
        QVERIFY(!c.MCascade->isEnabled() && !c.MTile->isEnabled());
        checkChildCommands(c, false, false, false);
    }

    // "Открыть файл базы данных...": the file chosen opens in a browser
    // under a session alias named after it, which aliases.ini never gets.
    void openDatabaseFile()
    {
        const QString file = QDir(ProgramDir()).filePath(QStringLiteral("direct.sqlite"));
        CreateSqliteDatabase(file, {QStringLiteral("CREATE TABLE DIRECT_T (A INTEGER)")});
        auto main = newMainForm();
        auto pick = onModal<QFileDialog>([&](QFileDialog *d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("Открыть файл базы данных"));
            typeFileName(d, file);
        });
        main->Commands().MOpenFile->trigger();
        QCOMPARE(pick->Hits(), 1);
        settle();
        auto *browser = qobject_cast<TQuarnForm *>(main->ActiveChild());
        QVERIFY(browser);
        QCOMPARE(browser->Database()->DatabaseName(), QStringLiteral("DIRECT"));
        browser->ToggleLine(browser->Tree->topLevelItem(0));
        QVERIFY(line(browser->Tree->topLevelItem(0), QStringLiteral("DIRECT_T")));
        QVERIFY(!QSettings(AliasFileName(), QSettings::IniFormat).childGroups().contains(QStringLiteral("DIRECT")));
    }

    // "Последние базы данных": the last opened first, a file opened without
    // an alias by its name; after a restart the file's entry opens it again,
    // and "Базы данных" lists the recent ones first.
    void recentDatabases()
    {
        WriteSetting(QStringLiteral("RecentDatabases"), QString());
        const QString file = QDir(ProgramDir()).filePath(QStringLiteral("recent.sqlite"));
        CreateSqliteDatabase(file, {QStringLiteral("CREATE TABLE RECENT_T (A INTEGER)")});
        {
            auto main = newMainForm();
            main->OpenDatabase(QStringLiteral("DEMO"));
            main->OpenDatabaseFile(file);
            try {   // fails: not remembered
                main->OpenDatabase(QStringLiteral("NO_SUCH_ALIAS"));
                QFAIL("an unknown alias opened");
            } catch (const Exception &) {
            }
        }
        settle();
        Session().CloseAll();
        Session().RemoveSessionAlias(QStringLiteral("RECENT"));
        auto main = newMainForm();
        emit main->Commands().MDatabase->aboutToShow();
        QStringList shown;
        for (QAction *a : main->Commands().MRecent->actions())
            shown << a->text();
        QCOMPARE(shown, (QStringList{"&1 " + file, "&2 DEMO"}));
        main->Commands().MRecent->actions().first()->trigger();
        settle();
        auto *browser = qobject_cast<TQuarnForm *>(main->ActiveChild());
        QVERIFY(browser);
        QCOMPARE(browser->Database()->DatabaseName(), QStringLiteral("RECENT"));

        QString first;
        auto look = onModal<TOpenDbDlg>([&](TOpenDbDlg *d) {
            first = d->AliasGrid->item(0, 0)->text();
            QTest::mouseClick(d->CancelBtn, Qt::LeftButton);
        });
        QTest::mouseClick(main->Commands().SBOpen, Qt::LeftButton);
        QCOMPARE(look->Hits(), 1);
        QCOMPARE(first, QStringLiteral("RECENT"));
    }

    // New windows cascade inside the visible workspace, however many; the
    // main window opens as it was closed.
    void layoutStays()
    {
        {
            auto main = newMainForm();
            main->setGeometry(50, 40, 820, 600);
            InstallSQLEditor(*main);   // windows of 640 x 420
            main->OpenDatabase(QStringLiteral("DEMO"));
            TDbForm *browser = main->ActiveChild();
            QVERIFY(browser);
            for (int i = 0; i < 9; ++i)
                main->OpenSQLEditor(browser->Database());
            settle();
            const QRect room = main->MdiArea()->viewport()->rect();
            QSet<int> places;
            for (TDbForm *child : main->Children()) {
                QVERIFY2(room.contains(child->geometry()), qPrintable(QString("%1,%2 %3x%4").arg(child->x()).arg(child->y())
                                                                          .arg(child->width()).arg(child->height())));
                places << child->x();
            }
            QVERIFY(places.size() > 2);   // stepped, not on top of each other
            main->close();
        }
        auto again = newMainForm();
        QCOMPARE(again->size(), QSize(820, 600));
    }

    void commandsFollowActiveChild_data()
    {
        QTest::addColumn<bool>("editorWindow");   // the SQL editor window exists
        QTest::addColumn<bool>("openEditor");     // and the active child is one
        QTest::addColumn<bool>("viewTable");
        QTest::addColumn<bool>("enterSQL");
        QTest::newRow("browser") << true << false << true << true;
        QTest::newRow("sql editor") << true << true << false << true;
        QTest::newRow("browser, no editor window") << false << false << false << false;
    }

    void commandsFollowActiveChild()
    {
        QFETCH(bool, editorWindow);
        QFETCH(bool, openEditor);
        QFETCH(bool, viewTable);
        QFETCH(bool, enterSQL);
        auto main = newMainForm();
        if (editorWindow)
            installStubEditor(*main);
        main->OpenDatabase(QStringLiteral("DEMO"));
        if (openEditor)
            QTest::keyClick(main.get(), Qt::Key_Q, Qt::ControlModifier);   // "&Набрать SQL"
        QCOMPARE(main->Children().size(), openEditor ? 2 : 1);
        checkChildCommands(main->Commands(), viewTable, enterSQL, openEditor);
    }

    // Closing the active editor activates the browser behind it and its
    // commands; after the last child all are off again. The window commands
    // follow the number of children when the "&SQL" menu opens.
    void closingChildren()
    {
        auto main = newMainForm();
        installStubEditor(*main);
        const TMainCommands &c = main->Commands();
        main->OpenDatabase(QStringLiteral("LITE"));
        QTest::keyClick(main.get(), Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!c.MTile->isEnabled());
        emit c.MSQL->aboutToShow();
        QVERIFY(c.MCascade->isEnabled() && c.MTile->isEnabled());
        c.MTile->trigger();
        QVERIFY(!main->Children()[0]->geometry().intersects(main->Children()[1]->geometry()));
        main->ActiveChild()->close();
        settle();
        QVERIFY(qobject_cast<TQuarnForm *>(main->ActiveChild()));
        checkChildCommands(c, true, true, false);
        main->ActiveChild()->close();
        settle();
        QVERIFY(main->Children().isEmpty());
        checkChildCommands(c, false, false, false);
        emit c.MSQL->aboutToShow();
        QVERIFY(!c.MCascade->isEnabled());
    }

    // "&Открыть..." and DEMO: a browser with the root closed, whose tree
    // lists the demo tables once the root opens.
    void openDemoThroughDialog()
    {
        auto main = newMainForm();
        openThroughDialog(*main, QStringLiteral("DEMO"));
        QCOMPARE(browsers(*main).size(), 1);
        TQuarnForm *browser = browsers(*main).first();
        QCOMPARE(browser->windowTitle(), QStringLiteral("Просмотр - База данных DEMO"));
        QTreeWidgetItem *root = browser->Tree->topLevelItem(0);
        QCOMPARE(root->text(0), QStringLiteral("DEMO              Тип: SQLITE"));
        QCOMPARE(root->childCount(), 0);
        QTest::keyClick(browser->Tree, Qt::Key_Return);
        const QStringList tables = childTexts(root);
        for (const char *t : {"CUSTOMERS", "INVOICES", "INVOICE_LINES", "PRODUCTS", "SYS_GRIDS", "SYS_REPORT",
                              "INVOICE_TOTALS             [View]"})
            QVERIFY2(tables.contains(QString::fromUtf8(t)), t);
    }

    // The same alias again refreshes its browser; another spelling of the
    // name (the comparison is exact) makes a new one.
    void sameAliasReopensBrowser()
    {
        auto main = newMainForm();
        openThroughDialog(*main, QStringLiteral("DEMO"));
        TQuarnForm *browser = browsers(*main).first();
        openThroughDialog(*main, QStringLiteral("LITE"));
        openThroughDialog(*main, QStringLiteral("DEMO"));
        QCOMPARE(browsers(*main).size(), 2);
        QCOMPARE(main->ActiveChild(), browser);
        QTreeWidgetItem *root = browser->Tree->topLevelItem(0);
        QVERIFY(root->isExpanded() && line(root, QStringLiteral("CUSTOMERS")));
        main->OpenDatabase(QStringLiteral("demo"));
        QCOMPARE(browsers(*main).size(), 3);
    }

    void failuresEndInEngineErrorDialog_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("category");
        QTest::newRow("bad alias") << "BROKEN" << "Драйвер QNOSUCH не поддерживается" << "[$27] [$ 2]";
        QTest::newRow("missing file") << "NOFILE" << "Файл базы данных не найден: "
                                                     + QDir(ProgramDir()).filePath("nofile.sqlite")
                                      << "[$22] [$ 2]";
    }

    // The error dialog shows the failure, no window remains, and the
    // program goes on: DEMO opens afterwards.
    void failuresEndInEngineErrorDialog()
    {
        QFETCH(QString, alias);
        QFETCH(QString, message);
        QFETCH(QString, category);
        auto main = newMainForm();
        TErrorSeen seen;
        auto errors = watchErrors(seen);
        openThroughDialog(*main, alias);
        QCOMPARE(seen.count, 1);
        QCOMPARE(seen.text, message);
        QCOMPARE(seen.category, category);
        QVERIFY(main->Children().isEmpty());
        openThroughDialog(*main, QStringLiteral("DEMO"));
        QCOMPARE(browsers(*main).size(), 1);
    }

    // Reopening a browser whose database file vanished closes the browser
    // and shows the error.
    void vanishedFileClosesBrowser()
    {
        const QString file = QDir(ProgramDir()).filePath(QStringLiteral("gone.sqlite"));
        CreateSqliteDatabase(file, {QStringLiteral("CREATE TABLE T1 (A INTEGER)")});
        auto main = newMainForm();
        openThroughDialog(*main, QStringLiteral("GONE"));
        QVERIFY(QFile::remove(file));
        TErrorSeen seen;
        auto errors = watchErrors(seen);
        openThroughDialog(*main, QStringLiteral("GONE"));
        QCOMPARE(seen.category, QStringLiteral("[$22] [$ 2]"));
        QVERIFY(main->Children().isEmpty());
        QVERIFY(!main->Commands().MEnterSQL->isEnabled());
    }

    void loginOnPostgres_data()
    {
        QTest::addColumn<QString>("password");   // empty: Cancel
        QTest::addColumn<bool>("opened");
        QTest::addColumn<QString>("category");   // of the error shown; empty: none
        QTest::newRow("wrong password") << "wrong" << false << "[$29] [$ 1]";
        QTest::newRow("login cancelled") << "" << false << "";
        QTest::newRow("right password") << "right" << true << "";
    }

    // The login dialog of an alias that needs one, on a real server.
    void loginOnPostgres()
    {
        QUARN_NEED_ENGINE(QStringLiteral("PG"));
        QFETCH(QString, password);
        QFETCH(bool, opened);
        QFETCH(QString, category);
        const auto dsn = DataTest::parseDsn(qEnvironmentVariable("QUARN_PG_DSN"));
        if (password == u"right")
            password = dsn.value(QStringLiteral("password"));
        if (TDatabase *db = Session().FindDatabase(QStringLiteral("PG")))
            db->Close();
        auto main = newMainForm();
        QString shownUser;
        auto login = onModal<TLoginDlg>([&](TLoginDlg *d) {
            shownUser = d->UserNameEdit->text();
            if (password.isEmpty())
                return;   // closed unanswered: Cancel
            QTest::keyClicks(d->PasswordEdit, password);
            QTest::keyClick(d->PasswordEdit, Qt::Key_Return);
        });
        TErrorSeen seen;
        auto errors = watchErrors(seen);
        openThroughDialog(*main, QStringLiteral("PG"));
        QCOMPARE(login->Hits(), 1);
        QCOMPARE(shownUser, dsn.value(QStringLiteral("user")));
        QCOMPARE(browsers(*main).size(), opened ? 1 : 0);
        QCOMPARE(seen.count, category.isEmpty() ? 0 : 1);
        QCOMPARE(seen.category, category);
    }

    void viewTableMessages_data()
    {
        QTest::addColumn<QString>("select");    // the line selected; empty: none
        QTest::addColumn<QString>("message");   // empty: the table opens
        QTest::newRow("no line") << "" << "Сначала выберите таблицу";
        QTest::newRow("database line") << "DEMO" << "DEMO - не таблица";
        QTest::newRow("index line") << "Индекс INVOICES_DATE" << "INVOICES_DATE - не таблица";
        QTest::newRow("field line") << "Поле INV_NUM" << "INV_NUM - не таблица";
        QTest::newRow("table line") << "INVOICES" << "";
    }

    // "&Просмотр таблицы" reports what is not a table (through the
    // standard message box); a table opens in a new SQL editor by its name.
    void viewTableMessages()
    {
        QFETCH(QString, select);
        QFETCH(QString, message);
        auto main = newMainForm();
        QList<TStubEditor *> opened;
        installStubEditor(*main, &opened);
        TQuarnForm *browser = openBrowser(*main, QStringLiteral("DEMO"));
        QTreeWidgetItem *root = browser->Tree->topLevelItem(0);
        QTreeWidgetItem *invoices = line(root, QStringLiteral("INVOICES"));
        browser->ToggleLine(invoices);
        browser->Tree->clearSelection();
        if (!select.isEmpty())
            browser->Tree->setCurrentItem(select == u"DEMO" ? root
                                          : select == u"INVOICES" ? invoices : line(invoices, select));
        TBoxSeen seen;
        auto box = answerBox(seen, QMessageBox::Ok);
        QTest::mouseClick(main->Commands().SBViewTable, Qt::LeftButton);
        QCOMPARE(seen.text, message);
        QCOMPARE(opened.size(), message.isEmpty() ? 1 : 0);
        if (message.isEmpty())
            QCOMPARE(opened.first()->Table, QStringLiteral("INVOICES"));
        else
            QCOMPARE(seen.title, QStringLiteral("Quarn"));
    }

    // The SQL commands act on the active editor: save and load in the code
    // page with CR LF line ends through the dialogs asked for, run, plan.
    void sqlCommandsOnActiveEditor()
    {
        auto main = newMainForm();
        QList<TStubEditor *> opened;
        installStubEditor(*main, &opened);
        main->OpenDatabase(QStringLiteral("DEMO"));
        QTest::keyClick(main.get(), Qt::Key_Q, Qt::ControlModifier);
        TStubEditor *editor = opened.value(0);
        QVERIFY(editor);
        editor->Lines = {QStringLiteral("SELECT CUS_NAME"), QStringLiteral("FROM CUSTOMERS -- ёж")};
        const QString dir = ProgramDir();
        auto save = onModal<QFileDialog>([&](QFileDialog *d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("Сохранить SQL файл"));
            QCOMPARE(d->acceptMode(), QFileDialog::AcceptSave);
            QCOMPARE(d->nameFilters(), QStringList{QStringLiteral("SQL files (*.sql)")});
            QVERIFY(!d->testOption(QFileDialog::DontConfirmOverwrite));
            typeFileName(d, dir + QStringLiteral("/query"));   // the default extension comes on
        });
        QTest::keyClick(main.get(), Qt::Key_S, Qt::ControlModifier);
        QFile saved(dir + QStringLiteral("/query.SQL"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("SELECT CUS_NAME\r\nFROM CUSTOMERS -- \xB8\xE6\r\n"));

        const QStringList text = {QStringLiteral("DELETE FROM PRODUCTS"), QStringLiteral("WHERE PRD_UNIT = 'шт'")};
        WriteTextLines(dir + QStringLiteral("/load.sql"), text);
        main->activateWindow();   // back from the save dialog
        QVERIFY(QTest::qWaitForWindowActive(main.get()));
        auto load = onModal<QFileDialog>([&](QFileDialog *d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("Загрузить SQL файл"));
            QCOMPARE(d->fileMode(), QFileDialog::ExistingFile);
            typeFileName(d, dir + QStringLiteral("/load.sql"));
        });
        QTest::keyClick(main.get(), Qt::Key_L, Qt::ControlModifier);
        QCOMPARE(load->Hits(), 1);
        QCOMPARE(editor->Lines, text);

        main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main.get()));
        QTest::keyClick(main.get(), Qt::Key_E, Qt::ControlModifier);
        QTest::mouseClick(main->Commands().PlanBtn, Qt::LeftButton);
        QCOMPARE(editor->Runs, 1);
        QCOMPARE(editor->Plans, 1);
        main->MdiArea()->setActiveSubWindow(browsers(*main).first());
        QTest::keyClick(main.get(), Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(editor->Runs, 1);
    }

    // Creating the main window fixes the formats, whatever they were, sets
    // AppName, turns the grids' search parameters off; the hint under the mouse shows in StatusLine.
    void creationFixesFormatsAndAppName()
    {
        TFormatSettings &fs = FormatSettings();
        fs.ShortDateFormat = QStringLiteral("m/d/yy");
        fs.DecimalSeparator = u',';
        fs.ThousandSeparator = u' ';
        fs.CurrencyDecimals = 0;
        fs.CurrencyString = QStringLiteral("р.");
        fs.TimeAMString = QStringLiteral("дп");
        SetAppName(QStringLiteral("Unknown"));
        SearchByParams = true;
        auto main = newMainForm();
        QVERIFY(!SearchByParams);
        QCOMPARE(DateToStr(EncodeDate(2024, 3, 5)), QStringLiteral("05.03.2024"));
        QCOMPARE(Format(QStringLiteral("%n|%m"), {1234.5, 1234.5}), QStringLiteral("1,234.50|1,234.50"));
        QCOMPARE(fs.TimeAMString, QStringLiteral("AM"));
        QCOMPARE(AppName(), QStringLiteral("Quarn"));
        QCOMPARE(main->windowTitle(), QStringLiteral("Quarn"));

        QToolButton *open = main->Commands().SBOpen;
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), open->mapToGlobal(QPointF(2, 2)));
        QApplication::sendEvent(open, &enter);
        QCOMPARE(main->StatusLine->text(), QStringLiteral("Открыть базу данных"));
    }

    void aboutBox()
    {
        auto main = newMainForm();
        QString caption, texts;
        auto about = onModal<TAboutBoxForm>([&](TAboutBoxForm *d) {
            caption = d->windowTitle();
            for (QLabel *l : d->findChildren<QLabel *>())
                texts += l->text() + u'|';
            auto *exit = d->findChild<QPushButton *>(QStringLiteral("OKButton"));
            QCOMPARE(exit->text(), QStringLiteral("В&ыход"));
            QTest::mouseClick(exit, Qt::LeftButton);
            QVERIFY(!d->isVisible());
        });
        main->Commands().AboutItem->trigger();
        QCOMPARE(about->Hits(), 1);
        QCOMPARE(caption, QStringLiteral("Информация"));
        QVERIFY(texts.contains(QStringLiteral("|Quarn|")) && texts.contains(QStringLiteral("3.0")));
    }

    // "В&ыход" closes the main window; an engine error raised while the
    // program ends goes to the standard message box instead of the dialog.
    void exitLeavesErrorsToMessageBox()
    {
        auto main = newMainForm();
        QTest::mouseClick(main->Commands().SBExitApp, Qt::LeftButton);
        QVERIFY(!main->isVisible() && main->Closing());
        TBoxSeen seen;
        auto box = answerBox(seen, QMessageBox::Ok);
        int dialogs = 0;
        auto dialog = onModal<TDbEngineErrorDlg>([&](TDbEngineErrorDlg *) { ++dialogs; });
        HandleException(main.get(), EDBEngineError(DBErrorCode::ConnectionLost, QStringLiteral("потеряно")));
        QCOMPARE(dialogs, 0);
        QCOMPARE(seen.text, QStringLiteral("потеряно"));
    }
};

QUARN_WIDGETS_TEST_MAIN(TMainFormTest)
#include "MainFormTest.moc"
