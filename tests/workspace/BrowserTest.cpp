// The schema browser: type and line texts, the tree loaded lazily (indexes
// before fields), "&Все таблицы", the search, Enter, and failures while a
// line loads.

#include "WorkspaceTestSupport.h"

#include <QCheckBox>
#include <QSqlQuery>

using namespace WsTest;

class TBrowserTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCoreApplication::setApplicationName(QStringLiteral("Quarn"));
        createDemo();
        DataTest::writeAliases(QStringLiteral("[GONE]\nDriver=QSQLITE\nDatabase=gone.sqlite\n\n"));
        DataTest::exec(QStringLiteral("LITE"),
                       {QStringLiteral("CREATE TABLE PLAIN (ID INTEGER PRIMARY KEY, NAME VARCHAR(30))"),
                        QStringLiteral("CREATE TABLE \"ws.dotted\" (A INTEGER)"),
                        QStringLiteral("CREATE VIEW SHORT_V AS SELECT NAME FROM PLAIN"),
                        QStringLiteral("CREATE VIEW A_VIEW_NAMED_LONGER_THAN_26 AS SELECT ID FROM PLAIN")});
    }

    void typeTexts_data()
    {
        QTest::addColumn<QList<int>>("codes");   // TYPE, SUBTYPE, UNITS1, UNITS2, LENGTH
        QTest::addColumn<QString>("text");
        QTest::newRow("string") << QList<int>{1, 0, 30, 0, 30} << "String(30)";
        QTest::newRow("money") << QList<int>{7, 21, 0, 0, 8} << "Float64:Money";
        QTest::newRow("decimal") << QList<int>{8, 0, 15, 2, 18} << "Decimal(15,2)";
        QTest::newRow("one unit is no size") << QList<int>{7, 0, 1, 0, 8} << "Float64";
        QTest::newRow("scale alone") << QList<int>{14, 0, 0, 3, 10} << "Float80(0,3)";
        QTest::newRow("subtype out of range") << QList<int>{3, 29, 0, 0, 0} << "Blob";
        QTest::newRow("graphic with size") << QList<int>{3, 26, 240, 0, 0} << "Blob:Graphic(240,0)";
        QTest::newRow("varbytes ignore subtype") << QList<int>{15, 21, 8, 0, 10} << "VarBytes(8)";
        QTest::newRow("date ignores units") << QList<int>{2, 0, 5, 5, 4} << "Date";
        QTest::newRow("unknown") << QList<int>{0, 0, 3, 0, 12} << "Unknown(12)";
        QTest::newRow("type 40") << QList<int>{40, 22, 7, 1, 9} << "Unknown(9)";
    }

    void typeTexts()
    {
        QFETCH(QList<int>, codes);
        QFETCH(QString, text);
        QCOMPARE(QuarnText::FieldTypeText(codes[0], codes[1], codes[2], codes[3], codes[4]), text);
    }

    void lineTexts()
    {
        QCOMPARE(QuarnText::DatabaseLine("A_NAME_OF_MORE_THAN_16", "X"), QStringLiteral("A_NAME_OF_MORE_THAN_16  Тип: X"));
        QCOMPARE(QuarnText::TableLine(QuarnText::TableName("ORDERS", "DBF"), ""), QStringLiteral("ORDERS.DBF"));
        QCOMPARE(QuarnText::IndexLine(true, "PK"), QStringLiteral("Уникальный Индекс PK"));
    }

    // A table's first expansion lists its indexes, then its fields, in the
    // engine's order, with the exact texts.
    void tableListsIndexesBeforeFields()
    {
        auto main = newMainForm();
        TQuarnForm *browser = openBrowser(*main, QStringLiteral("DEMO"));
        QTreeWidgetItem *invoices = line(browser->Tree->topLevelItem(0), QStringLiteral("INVOICES"));
        QCOMPARE(invoices->childCount(), 0);
        browser->Tree->setCurrentItem(invoices);
        QTest::keyClick(browser->Tree, Qt::Key_Return);
        QCOMPARE(childTexts(invoices),
                 QStringList({QStringLiteral("Уникальный Индекс sqlite_autoindex_INVOICES_1"),
                              QStringLiteral("Индекс INVOICES_DATE"),
                              QStringLiteral("Индекс INVOICES_CUSTOMER"),
                              QStringLiteral("Поле INV_ID           Int32"),
                              QStringLiteral("Поле INV_NUM          String(12)"),
                              QStringLiteral("Поле INV_DATE         Date"),
                              QStringLiteral("Поле CUS_ID           Int32"),
                              QStringLiteral("Поле INV_PAID         Boolean"),
                              QStringLiteral("Поле INV_TOTAL        Decimal(14,2)"),
                              QStringLiteral("Поле INV_NOTE         String")}));
        QVERIFY(dynamic_cast<TQuarnIndexNode *>(browser->NodeOf(invoices->child(1))));
        QCOMPARE(browser->NodeOf(invoices->child(1))->Name, QStringLiteral("INVOICES_DATE"));
        QCOMPARE(browser->NodeOf(invoices->child(4))->Name, QStringLiteral("INV_NUM"));
    }

    // Enter collapses an open line and opens a closed one; children are
    // read once and kept.
    void enterTogglesLineAndLoadsOnce()
    {
        auto main = newMainForm();
        main->OpenDatabase(QStringLiteral("DEMO"));
        TQuarnForm *browser = browsers(*main).first();
        QTreeWidgetItem *root = browser->Tree->topLevelItem(0);
        QCOMPARE(browser->Tree->currentItem(), root);
        QList<bool> expanded;
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(browser->Tree, Qt::Key_Return);
            expanded << root->isExpanded();
        }
        QCOMPARE(expanded, QList<bool>({true, false, true}));
        QTreeWidgetItem *first = root->child(0);
        const int tables = root->childCount();
        QTest::keyClick(browser->Tree, Qt::Key_Return);
        QTest::keyClick(browser->Tree, Qt::Key_Return);
        QCOMPARE(root->childCount(), tables);
        QCOMPARE(root->child(0), first);
    }

    void search_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("selected");   // empty: the selection stays on the root
        QTest::newRow("table") << "invoice_l" << "INVOICE_LINES";
        QTest::newRow("a line before its children") << "тип: sql" << "DEMO ";
        QTest::newRow("field of a collapsed table") << "inv_paid" << "Поле INV_PAID";
        QTest::newRow("field of an unread table") << "cus_phone" << "";
        QTest::newRow("empty text") << "" << "";
    }

    // Leaving the search box selects the first line containing the text
    // and puts the focus into the tree; lines not read are not searched.
    void search()
    {
        QFETCH(QString, text);
        QFETCH(QString, selected);
        auto main = newMainForm();
        TQuarnForm *browser = openBrowser(*main, QStringLiteral("DEMO"));
        QTreeWidgetItem *root = browser->Tree->topLevelItem(0);
        QTreeWidgetItem *invoices = line(root, QStringLiteral("INVOICES"));
        browser->ToggleLine(invoices);
        browser->ToggleLine(invoices);   // read, then closed
        browser->Tree->setCurrentItem(root);
        browser->SearchEdit->setFocus();
        browser->SearchEdit->setText(text);
        browser->AllTablesBox->setFocus(Qt::TabFocusReason);
        QTreeWidgetItem *current = browser->Tree->currentItem();
        if (selected.isEmpty())
            QCOMPARE(current, root);
        else
            QVERIFY2(current->text(0).startsWith(selected), qPrintable(current->text(0)));
        QVERIFY(!current->parent() || current->parent()->isExpanded());
        QVERIFY(browser->Tree->hasFocus());
    }

    // A name with a dot (owner-qualified) shows only with "&Все таблицы";
    // each click rebuilds the tree with the root open. Views are marked.
    void dottedNamesOnlyWithAllTables()
    {
        auto main = newMainForm();
        TQuarnForm *browser = openBrowser(*main, QStringLiteral("LITE"));
        QStringList tables = childTexts(browser->Tree->topLevelItem(0));
        QVERIFY(tables.contains(QStringLiteral("PLAIN")) && !tables.contains(QStringLiteral("ws.dotted")));
        QVERIFY(tables.contains(QStringLiteral("SHORT_V                    [View]")));
        QVERIFY(tables.contains(QStringLiteral("A_VIEW_NAMED_LONGER_THAN_26 [View]")));
        for (bool all : {true, false}) {
            QTest::mouseClick(browser->AllTablesBox, Qt::LeftButton);
            QCOMPARE(browser->Tree->topLevelItemCount(), 1);
            QTreeWidgetItem *root = browser->Tree->topLevelItem(0);
            QVERIFY(root->isExpanded());
            QCOMPARE(browser->Tree->currentItem(), root);
            QCOMPARE(line(root, QStringLiteral("ws.dotted")) != nullptr, all);
        }
    }

    // The engine's own tables show only with "&Все таблицы".
    void systemTablesOnlyWithAllTables_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QString>("table");
        QTest::newRow("SQLite catalog") << "LITE" << "sqlite_master";
        QTest::newRow("SQLite sequences") << "DEMO" << "sqlite_sequence";
        QTest::newRow("PostgreSQL catalog") << "PG" << "pg_catalog.pg_class";
    }
    void systemTablesOnlyWithAllTables()
    {
        QFETCH(QString, alias);
        QFETCH(QString, table);
        QUARN_NEED_ENGINE(alias);
        auto main = newMainForm();
        TQuarnForm *browser = openBrowser(*main, alias);
        QVERIFY(!childTexts(browser->Tree->topLevelItem(0)).contains(table));
        QTest::mouseClick(browser->AllTablesBox, Qt::LeftButton);
        QVERIFY(childTexts(browser->Tree->topLevelItem(0)).contains(table));
    }

    // A load that fails (the file vanished) leaves the line as it was: no
    // lines, closed, not loaded, painting on; once the cause is gone the
    // line is read once.
    void failedLoadLeavesLineAsBefore()
    {
        const QString file = QDir(ProgramDir()).filePath(QStringLiteral("gone.sqlite"));
        CreateSqliteDatabase(file, {QStringLiteral("CREATE TABLE T1 (A INTEGER, B VARCHAR(5))")});
        auto main = newMainForm();
        TQuarnForm *browser = openBrowser(*main, QStringLiteral("GONE"));
        QTreeWidgetItem *t1 = line(browser->Tree->topLevelItem(0), QStringLiteral("T1"));
        browser->Database()->Close();
        QVERIFY(QFile::rename(file, file + QStringLiteral(".away")));
        TErrorSeen seen;
        auto errors = watchErrors(seen);
        browser->Tree->setCurrentItem(t1);
        QTest::keyClick(browser->Tree, Qt::Key_Return);
        QCOMPARE(seen.category, QStringLiteral("[$22] [$ 2]"));
        QVERIFY(t1->childCount() == 0 && !t1->isExpanded() && !browser->NodeOf(t1)->Loaded);
        QVERIFY(browser->Tree->updatesEnabled());
        QVERIFY(QFile::rename(file + QStringLiteral(".away"), file));
        QTest::keyClick(browser->Tree, Qt::Key_Return);
        QCOMPARE(childTexts(t1), QStringList({QStringLiteral("Поле A                Int32"),
                                              QStringLiteral("Поле B                String(5)")}));
    }

    // On a server another schema's tables are named with their owner and
    // hidden until "&Все таблицы" is ticked.
    void ownerQualifiedTablesOnPostgres()
    {
        QUARN_NEED_ENGINE(QStringLiteral("PG"));
        DataTest::exec(QStringLiteral("PG"), {QStringLiteral("DROP SCHEMA IF EXISTS ws_other CASCADE"),
                                              QStringLiteral("CREATE SCHEMA ws_other"),
                                              QStringLiteral("CREATE TABLE ws_other.ws_hidden (a integer)"),
                                              QStringLiteral("DROP TABLE IF EXISTS ws_visible"),
                                              QStringLiteral("CREATE TABLE ws_visible (a integer)")});
        auto main = newMainForm();
        TQuarnForm *browser = openBrowser(*main, QStringLiteral("PG"));
        QTreeWidgetItem *root = browser->Tree->topLevelItem(0);
        QVERIFY(root->text(0).endsWith(QStringLiteral("Тип: POSTGRESQL")));
        QVERIFY(line(root, QStringLiteral("ws_visible")));
        QVERIFY(!line(root, QStringLiteral("ws_other.ws_hidden")));
        QTest::mouseClick(browser->AllTablesBox, Qt::LeftButton);
        QTreeWidgetItem *hidden = line(browser->Tree->topLevelItem(0), QStringLiteral("ws_other.ws_hidden"));
        QVERIFY(hidden);
        browser->ToggleLine(hidden);
        QCOMPARE(childTexts(hidden), QStringList{QStringLiteral("Поле a                Int32")});
    }

    // The server ended the session (as a restart does) before a table line
    // loads: the line loads all the same, on a new connection, with no
    // error, and the alias reopens as before.
    void lostConnectionWhileExpanding()
    {
        QUARN_NEED_ENGINE(QStringLiteral("PG"));
        DataTest::exec(QStringLiteral("PG"), {QStringLiteral("DROP TABLE IF EXISTS ws_lost"),
                                              QStringLiteral("CREATE TABLE ws_lost (id integer PRIMARY KEY, "
                                                             "name varchar(20))")});
        auto main = newMainForm();
        TQuarnForm *browser = openBrowser(*main, QStringLiteral("PG"));
        QSqlQuery pid = browser->Database()->Query(QStringLiteral("SELECT pg_backend_pid()"));
        QVERIFY(pid.next());
        const int old = pid.value(0).toInt();
        // Another session ends this one, as a server restart would.
        QSqlDatabase other = QSqlDatabase::cloneDatabase(browser->Database()->Connection(), QStringLiteral("ws_kill"));
        QVERIFY(other.open());
        QVERIFY(QSqlQuery(other).exec(QStringLiteral("SELECT pg_terminate_backend(%1)").arg(old)));
        const auto gone = [&] {
            QSqlQuery q(other);
            return q.exec(QStringLiteral("SELECT 1 FROM pg_stat_activity WHERE pid = %1").arg(old)) && !q.next();
        };
        QTRY_VERIFY_WITH_TIMEOUT(gone(), 5000);
        QTest::qWait(300);   // the process ends a moment after it leaves the list
        other.close();
        other = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("ws_kill"));

        QTreeWidgetItem *lost = line(browser->Tree->topLevelItem(0), QStringLiteral("ws_lost"));
        TErrorSeen seen;
        auto errors = watchErrors(seen);
        browser->Tree->setCurrentItem(lost);
        QTest::keyClick(browser->Tree, Qt::Key_Return);
        QCOMPARE(seen.count, 0);
        QVERIFY(lost->childCount() > 0);
        QSqlQuery now = browser->Database()->Query(QStringLiteral("SELECT pg_backend_pid()"));
        QVERIFY(now.next() && now.value(0).toInt() != old);
        main->OpenDatabase(QStringLiteral("PG"));
        lost = line(browser->Tree->topLevelItem(0), QStringLiteral("ws_lost"));
        browser->ToggleLine(lost);
        QCOMPARE(childTexts(lost), QStringList({QStringLiteral("Уникальный Индекс ws_lost_pkey"),
                                                QStringLiteral("Поле id               Int32"),
                                                QStringLiteral("Поле name             String(20)")}));
    }
};

QUARN_WIDGETS_TEST_MAIN(TBrowserTest)
#include "BrowserTest.moc"
