// The engine-error dialog (details, entries, the category field, the
// handler chain), the open-database dialog, and the dialog-backed user
// interface of the headless parts.

#include "WorkspaceTestSupport.h"

#include "common/UserInterface.h"
#include "data/Catalog.h"
#include "workspace/AliasesDlg.h"
#include "workspace/DialogUserInterface.h"
#include "workspace/LoginDlg.h"
#include "workspace/OpenDbDlg.h"
#include "workspace/SQLForm.h"
#include "uisupport/Fitting.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMainWindow>
#include <QInputDialog>
#include <QPlainTextEdit>

using namespace WsTest;

namespace {

// An alias list without a single alias.
class TNoAliases : public TListDataSet {
protected:
    void LoadList(QList<TColumnDesc> &columns, QList<QVariantList> &) override
    {
        for (const char *name : {"NAME", "DBTYPE", "PHYNAME"}) {
            TColumnDesc c;
            c.Name = QLatin1String(name);
            c.Type = ftString;
            columns << c;
        }
    }
};

} // namespace

class TDialogsTest : public QObject {
    Q_OBJECT

    QStringList m_previous;   // what reached the handler installed before the dialog

    void installRecorder()
    {
        m_previous.clear();
        SetApplicationExceptionHandler([this](QObject *, const Exception &e) { m_previous << e.Message(); });
    }

private slots:
    void initTestCase()
    {
        QCoreApplication::setApplicationName(QStringLiteral("Quarn"));
        SetUserInterface(new TDialogUserInterface(this));
        DataTest::writeAliases();
    }
    void cleanupTestCase() { SetUserInterface(nullptr); }
    void cleanup()
    {
        SetApplicationExceptionHandler(nullptr);
        m_previous.clear();
    }

    void categoryField_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("27 0A") << 0x270A << "[$27] [$ A]";
        QTest::newRow("2E 03") << 0x2E03 << "[$2E] [$ 3]";
        QTest::newRow("FF FF") << 0xFFFF << "[$FF] [$FF]";
        QTest::newRow("0A 0B") << 0x0A0B << "[$ A] [$ B]";
    }

    // "[$%2x] [$%2x]": upper-case hexadecimal padded with a blank; the
    // error code in decimal.
    void categoryField()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        TDbEngineErrorDlg dlg;
        QString shown, decimal;
        auto watch = onModal<TDbEngineErrorDlg>([&](TDbEngineErrorDlg *d) {
            d->DetailsBtnClick();
            shown = d->DbCatSub->text();
            decimal = d->DbResult->text();
        });
        dlg.ShowError(EDBEngineError(code, QStringLiteral("ошибка")));
        QCOMPARE(shown, text);
        QCOMPARE(decimal, QString::number(code));
    }

    // Three entries: the details show entry 0; "Next >" twice reaches entry
    // 2 and is then disabled; "< &Back" is disabled at entry 0; "Server
    // Error:" only with a native code. The dialog starts closed, and a
    // later error starts at entry 0 again.
    void walksThreeEntries()
    {
        TDbEngineErrorDlg dlg;
        QCOMPARE(dlg.DetailsBtn->text(), QStringLiteral("&Details >>"));
        QStringList steps;   // entry, back, next, server label, message, native
        int closedHeight = 0, openHeight = 0;
        auto record = [&](TDbEngineErrorDlg *d) {
            steps << QStringLiteral("%1 %2%3%4 %5 %6").arg(d->EntryIndex()).arg(d->BackBtn->isEnabled())
                         .arg(d->NextBtn->isEnabled()).arg(d->NativeLabel->isEnabled())
                         .arg(d->DbMessage->toPlainText(), d->NativeResult->text());
        };
        auto watch = onModal<TDbEngineErrorDlg>(
            [&](TDbEngineErrorDlg *d) {
                if (!d->DetailsOpen()) {
                    closedHeight = d->height();
                    QTest::mouseClick(d->DetailsBtn, Qt::LeftButton);
                    openHeight = d->height();
                    QCOMPARE(d->DetailsBtn->text(), QStringLiteral("<< &Details"));
                }
                record(d);
                QTest::mouseClick(d->NextBtn, Qt::LeftButton);
                record(d);
                QTest::keyClick(d, Qt::Key_Return);   // "Next >" is the default button
                record(d);
                QTest::mouseClick(d->NextBtn, Qt::LeftButton);   // disabled now
                QTest::mouseClick(d->BackBtn, Qt::LeftButton);
                QTest::mouseClick(d->BackBtn, Qt::LeftButton);
                record(d);
                QTest::keyClick(d, Qt::Key_Escape);
            },
            2);
        const EDBEngineError error({TDBError{0x2701, 0, QStringLiteral("первая"), QString()},
                                    TDBError{0x2E02, 19, QStringLiteral("вторая"), QString()},
                                    TDBError{0x270A, 0, QStringLiteral("третья"), QString()}});
        dlg.ShowError(error);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));   // Esc answers OK
        QVERIFY(!dlg.Showing());
        dlg.ShowError(error);
        QCOMPARE(watch->Hits(), 2);
        QVERIFY(openHeight > closedHeight);
        const QStringList once = {QStringLiteral("0 010 первая "), QStringLiteral("1 111 вторая 19"),
                                  QStringLiteral("2 100 третья "), QStringLiteral("0 010 первая ")};
        QCOMPARE(steps, once + once);
    }

    // With the details open Enter walks on through the entries, also when
    // the dialog is shown again and its OK button has the focus.
    void enterWalksWithOkFocused()
    {
        TDbEngineErrorDlg dlg;
        int entry = -1;
        auto watch = onModal<TDbEngineErrorDlg>(
            [&](TDbEngineErrorDlg *d) {
                if (!d->DetailsOpen()) {
                    QTest::mouseClick(d->DetailsBtn, Qt::LeftButton);
                    return;
                }
                QApplication::setActiveWindow(d);
                QVERIFY(d->OKBtn->hasFocus());
                QTest::keyClick(d, Qt::Key_Return);
                entry = d->EntryIndex();
            },
            2);
        const EDBEngineError error({TDBError{0x2701, 0, QStringLiteral("первая"), QString()},
                                    TDBError{0x270A, 0, QStringLiteral("вторая"), QString()}});
        dlg.ShowError(error);
        dlg.ShowError(error);
        QCOMPARE(watch->Hits(), 2);
        QCOMPARE(entry, 1);
    }

    void handlerRouting_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("dialogs");    // shown by the error dialog
        QTest::addColumn<int>("previous");   // passed on to the handler before
        QTest::newRow("engine error") << "engine" << 1 << 0;
        QTest::newRow("other error") << "other" << 0 << 1;
        QTest::newRow("silent abort") << "abort" << 0 << 0;
        QTest::newRow("engine error while one is shown") << "nested" << 1 << 1;
        QTest::newRow("engine error while ending") << "ending" << 0 << 1;
    }

    void handlerRouting()
    {
        QFETCH(QString, kind);
        QFETCH(int, dialogs);
        QFETCH(int, previous);
        installRecorder();
        TDbEngineErrorDlg dlg(nullptr, [kind] { return kind == u"ending"; });
        dlg.Install();
        int shown = 0;
        auto watch = onModal<TDbEngineErrorDlg>([&](TDbEngineErrorDlg *) {
            ++shown;
            if (kind == u"nested")
                HandleException(&dlg, EDBEngineError(0x2102, QStringLiteral("вторая")));
        });
        if (kind == u"other")
            HandleException(&dlg, Exception(QStringLiteral("обычная")));
        else if (kind == u"abort")
            HandleException(&dlg, EAbort());
        else
            HandleException(&dlg, EDBEngineError(0x2101, QStringLiteral("первая")));
        QCOMPARE(shown, dialogs);
        QCOMPARE(int(m_previous.size()), previous);
    }

    void restoresHandlerWhenDestroyed_data()
    {
        QTest::addColumn<bool>("hadOne");
        QTest::newRow("with a handler before") << true;
        QTest::newRow("without one") << false;
    }

    // The replaced handler comes back when the dialog goes, also when there
    // was none: no handler may be left calling a destroyed dialog.
    void restoresHandlerWhenDestroyed()
    {
        QFETCH(bool, hadOne);
        if (hadOne)
            installRecorder();
        {
            TDbEngineErrorDlg dlg;
            dlg.Install();
        }
        TBoxSeen box;
        auto watch = answerBox(box, QMessageBox::Ok);
        HandleException(nullptr, EDBEngineError(0x2101, QStringLiteral("после")));
        QCOMPARE(m_previous, hadOne ? QStringList{QStringLiteral("после")} : QStringList());
        QCOMPARE(box.text, hadOne ? QString() : QStringLiteral("после"));
    }

    // "Базы данных": the columns, "OK" only with aliases, the list open
    // only while shown, a double click picks the row.
    void openDbDlgPicksAlias()
    {
        TOpenDbDlg dlg;
        QStringList titles;
        auto watch = onModal<TOpenDbDlg>([&](TOpenDbDlg *d) {
            QVERIFY(d->OKBtn->isEnabled() && d->AliasList().Active());
            for (int c = 0; c < d->AliasGrid->columnCount(); ++c)
                titles << d->AliasGrid->horizontalHeaderItem(c)->text();
            QTableWidgetItem *lite = d->AliasGrid->findItems(QStringLiteral("LITE"), Qt::MatchExactly).value(0);
            QVERIFY(lite);
            const QPoint cell = d->AliasGrid->visualItemRect(lite).center();
            QTest::mouseClick(d->AliasGrid->viewport(), Qt::LeftButton, {}, cell);
            QTest::mouseDClick(d->AliasGrid->viewport(), Qt::LeftButton, {}, cell);
        });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QCOMPARE(titles, QStringList({QStringLiteral("Название"), QStringLiteral("Тип"), QStringLiteral("Расположение")}));
        QCOMPARE(dlg.DatabaseName(), QStringLiteral("LITE"));
        QCOMPARE(dlg.DatabaseType(), QStringLiteral("SQLITE"));
        QVERIFY(!dlg.AliasList().Active());

        TOpenDbDlg empty(nullptr, std::make_unique<TNoAliases>());
        bool enabled = true;
        auto none = onModal<TOpenDbDlg>([&](TOpenDbDlg *d) {
            enabled = d->OKBtn->isEnabled();
            QTest::keyClick(d->AliasGrid, Qt::Key_Return);   // the default button does nothing
            QVERIFY(d->isVisible());
        });
        QCOMPARE(empty.exec(), int(QDialog::Rejected));
        QVERIFY(!enabled);
    }

    // The port box keeps what was typed: an address typed there is refused
    // with a message instead of becoming a port; a number is the port.
    void aliasPort()
    {
        installRecorder();
        TAliasEditDlg dlg;
        dlg.NameEdit->setText(QStringLiteral("SERVER"));
        dlg.DriverBox->setCurrentIndex(dlg.DriverBox->findData(QStringLiteral("QPSQL")));
        dlg.show();
        QTest::keyClicks(dlg.PortEdit, QStringLiteral("127.0.0.1"));
        QCOMPARE(dlg.PortEdit->text(), QStringLiteral("127.0.0.1"));
        QTest::mouseClick(dlg.OKBtn, Qt::LeftButton);
        QCOMPARE(m_previous, QStringList{"Порт - число от 1 до 65535 (или пусто: порт по умолчанию)"});
        QVERIFY(dlg.isVisible());
        for (const char *bad : {"0", "65536", "-1"}) {
            dlg.PortEdit->setText(QString::fromLatin1(bad));
            QTest::mouseClick(dlg.OKBtn, Qt::LeftButton);
            QVERIFY2(dlg.isVisible(), bad);
        }
        QCOMPARE(m_previous.size(), 4);
        dlg.PortEdit->setText(QStringLiteral("55432"));
        QTest::mouseClick(dlg.OKBtn, Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.Alias().Port, 55432);
        dlg.PortEdit->clear();
        QCOMPARE(dlg.Alias().Port, 0);   // the driver's default
    }

    // An alias added through "&Псевдонимы..." is the row chosen afterwards.
    void openDbDlgChoosesAddedAlias()
    {
        TOpenDbDlg dlg;
        QString chosen;
        auto watch = onModal<TOpenDbDlg>([&](TOpenDbDlg *d) {
            auto aliases = onModal<TAliasesDlg>([&](TAliasesDlg *a) {
                auto edit = onModal<TAliasEditDlg>([](TAliasEditDlg *e) {
                    e->NameEdit->setText(QStringLiteral("ZZ_ADDED"));
                    e->DriverBox->setCurrentIndex(e->DriverBox->findData(QStringLiteral("QSQLITE")));
                    e->DatabaseEdit->setText(QStringLiteral("added.sqlite"));
                    QTest::mouseClick(e->OKBtn, Qt::LeftButton);
                });
                QTest::mouseClick(a->AddBtn, Qt::LeftButton);
                QCOMPARE(edit->Hits(), 1);
                a->accept();
            });
            QTest::mouseClick(d->AliasesBtn, Qt::LeftButton);
            QCOMPARE(aliases->Hits(), 1);
            if (QTableWidgetItem *item = d->AliasGrid->item(d->AliasGrid->currentRow(), 0))
                chosen = item->text();
            d->reject();
        });
        dlg.exec();
        RemoveAlias(QStringLiteral("ZZ_ADDED"));
        QCOMPARE(chosen, QStringLiteral("ZZ_ADDED"));
    }

    // "&Проверить" on a server alias that leads nowhere says so, with the
    // reason, and nothing hangs.
    void aliasTestReportsWrongServer_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("reason");
        QTest::newRow("wrong port") << "127.0.0.1" << "1" << "Сервер базы данных не отвечает";
        QTest::newRow("wrong host") << "nosuch.invalid" << "" << "Сервер базы данных не найден";
    }
    void aliasTestReportsWrongServer()
    {
        QFETCH(QString, host);
        QFETCH(QString, port);
        QFETCH(QString, reason);
        TAliasesDlg dlg;
        {
            auto edit = onModal<TAliasEditDlg>([&](TAliasEditDlg *d) {
                d->NameEdit->setText(QStringLiteral("FAR"));
                d->DriverBox->setCurrentIndex(d->DriverBox->findData(QStringLiteral("QPSQL")));
                d->DatabaseEdit->setText(QStringLiteral("sales"));
                QTest::keyClicks(d->HostEdit, host);
                QTest::keyClicks(d->PortEdit, port);
                d->LoginBox->setChecked(false);
                QTest::mouseClick(d->OKBtn, Qt::LeftButton);
            });
            QTest::mouseClick(dlg.AddBtn, Qt::LeftButton);
            QCOMPARE(edit->Hits(), 1);
        }
        TBoxSeen seen;
        auto box = answerBox(seen, QMessageBox::Ok);
        QTest::mouseClick(dlg.TestBtn, Qt::LeftButton);
        RemoveAlias(QStringLiteral("FAR"));
        QCOMPARE(seen.count, 1);
        QVERIFY2(seen.text.startsWith("Нет соединения с базой данных FAR:\n" + reason), qPrintable(seen.text));
    }

    // The alias dialog adds, changes, tests and deletes aliases of
    // aliases.ini; what it writes reads back, without a password.
    void aliasDialogEditsAliasesIni()
    {
        TAliasesDlg dlg;
        auto fill = [](const QString &name, const QString &database, const QString &description) {
            return onModal<TAliasEditDlg>([=](TAliasEditDlg *d) {
                d->NameEdit->setText(name);
                d->DriverBox->setCurrentIndex(d->DriverBox->findData(QStringLiteral("QSQLITE")));
                d->DatabaseEdit->setText(database);
                d->DescriptionEdit->setText(description);
                QTest::mouseClick(d->OKBtn, Qt::LeftButton);
            });
        };
        auto row = [&](const QString &name) {
            QTableWidgetItem *item = dlg.AliasGrid->findItems(name, Qt::MatchExactly).value(0);
            return item ? item->row() : -1;
        };
        {
            auto edit = fill(QStringLiteral("STORE"), QStringLiteral("store.sqlite"), QStringLiteral("Склад"));
            QTest::mouseClick(dlg.AddBtn, Qt::LeftButton);
            QCOMPARE(edit->Hits(), 1);
        }
        TAlias alias;
        QVERIFY(Session().FindAlias(QStringLiteral("STORE"), alias));
        QCOMPARE(alias.Database, QStringLiteral("store.sqlite"));
        QCOMPARE(alias.Description, QStringLiteral("Склад"));
        QVERIFY(row(QStringLiteral("STORE")) >= 0);
        QCOMPARE(dlg.AliasGrid->item(row(QStringLiteral("STORE")), 2)->text(), QStringLiteral("Склад"));

        // changed and renamed from its row
        dlg.AliasGrid->setCurrentCell(row(QStringLiteral("STORE")), 0);
        {
            auto edit = fill(QStringLiteral("STORE2"), QStringLiteral("store2.sqlite"), QStringLiteral("Склад 2"));
            QTest::mouseClick(dlg.EditBtn, Qt::LeftButton);
            QCOMPARE(edit->Hits(), 1);
        }
        QVERIFY(!Session().FindAlias(QStringLiteral("STORE"), alias));
        QVERIFY(Session().FindAlias(QStringLiteral("STORE2"), alias));
        QCOMPARE(alias.Description, QStringLiteral("Склад 2"));
        QCOMPARE(dlg.AliasGrid->currentRow(), row(QStringLiteral("STORE2")));

        // the test is a connection attempt with its result
        const QString file = QDir(ProgramDir()).filePath(QStringLiteral("store2.sqlite"));
        for (bool exists : {false, true}) {
            if (exists)
                CreateSqliteDatabase(file, {});
            TBoxSeen seen;
            auto box = answerBox(seen, QMessageBox::Ok);
            QTest::mouseClick(dlg.TestBtn, Qt::LeftButton);
            QCOMPARE(seen.count, 1);
            QCOMPARE(seen.text, exists ? QStringLiteral("Соединение с базой данных STORE2 установлено")
                                       : "Нет соединения с базой данных STORE2:\nФайл базы данных не найден: " + file);
        }

        QFile ini(AliasFileName());
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QVERIFY(!QString::fromUtf8(ini.readAll()).contains(QStringLiteral("password"), Qt::CaseInsensitive));
        ini.close();

        // the built-in DEMO is not in the file: nothing to delete there
        dlg.AliasGrid->setCurrentCell(row(QStringLiteral("DEMO")), 0);
        QVERIFY(!dlg.DeleteBtn->isEnabled() && dlg.TestBtn->isEnabled());
        dlg.AliasGrid->setCurrentCell(row(QStringLiteral("STORE2")), 0);
        TBoxSeen seen;
        auto yes = answerBox(seen, QMessageBox::Yes);
        QTest::mouseClick(dlg.DeleteBtn, Qt::LeftButton);
        QCOMPARE(seen.text, QStringLiteral("Удалить псевдоним STORE2 ?"));
        QVERIFY(!Session().FindAlias(QStringLiteral("STORE2"), alias));
        QCOMPARE(row(QStringLiteral("STORE2")), -1);
        QVERIFY(Session().FindAlias(QStringLiteral("LITE"), alias));
    }

    void messageDlgButtons_data()
    {
        using U = TUserInterface;
        QTest::addColumn<QList<int>>("buttons");
        QTest::addColumn<int>("press");    // a QMessageBox button; 0: Esc, -1: "&Все"
        QTest::addColumn<int>("result");
        QTest::newRow("Yes of YN") << QList<int>{U::mbYes, U::mbNo} << int(QMessageBox::Yes) << 6;
        QTest::newRow("Ignore of RI") << QList<int>{U::mbRetry, U::mbIgnore} << int(QMessageBox::Ignore) << 5;
        QTest::newRow("All") << QList<int>{U::mbAll, U::mbNo} << -1 << 8;
        QTest::newRow("Esc of YNC is Cancel") << QList<int>{U::mbYes, U::mbNo, U::mbCancel} << 0 << 2;
        QTest::newRow("Esc of YN is No") << QList<int>{U::mbYes, U::mbNo} << 0 << 7;
    }

    // Message boxes with the asked-for buttons return the pressed one.
    void messageDlgButtons()
    {
        QFETCH(QList<int>, buttons);
        QFETCH(int, press);
        QFETCH(int, result);
        QList<TUserInterface::Button> asked;
        for (int b : buttons)
            asked << TUserInterface::Button(b);
        int shown = 0;
        auto watch = onModal<QMessageBox>([&](QMessageBox *box) {
            shown = int(box->buttons().size());
            if (press == 0) {
                QTest::keyClick(box, Qt::Key_Escape);
                return;
            }
            for (QAbstractButton *b : box->buttons())
                if (press == -1 ? b->text() == u"&Все" : box->standardButton(b) == press)
                    QTest::mouseClick(b, Qt::LeftButton);
        });
        QCOMPARE(UserInterface().MessageDlg(QStringLiteral("Текст"), QString(), TUserInterface::mtWarning, asked),
                 result);
        QCOMPARE(shown, int(buttons.size()));
    }

    // The input box: caption, prompt, the default preset; Cancel keeps it.
    void inputQuery()
    {
        QString seen;
        auto watch = onModal<QInputDialog>(
            [&](QInputDialog *d) {
                seen += d->windowTitle() + u'|' + d->labelText() + u'|' + d->textValue() + u'|';
                if (seen.count(u'|') > 3)
                    return;   // the second box is cancelled
                d->findChild<QLineEdit *>()->setText(QStringLiteral("05.03.2024"));
                QTest::keyClick(d->findChild<QLineEdit *>(), Qt::Key_Return);
            },
            2);
        QString value = QStringLiteral("01.01.2000");
        QVERIFY(UserInterface().InputQuery(QStringLiteral("Форма ввода даты"), QStringLiteral("Дата:"), value));
        QCOMPARE(value, QStringLiteral("05.03.2024"));
        QVERIFY(!UserInterface().InputQuery(QStringLiteral("Форма ввода строки"), QString(), value));
        QCOMPARE(value, QStringLiteral("05.03.2024"));
        QCOMPARE(seen, QStringLiteral("Форма ввода даты|Дата:|01.01.2000|Форма ввода строки||05.03.2024|"));
    }

    void fileDialogFilter_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("qt");
        QTest::newRow("default of GetFileName") << "Все файлы |*.*" << "Все файлы (*.*)";
        QTest::newRow("names its pattern") << "SQL files (*.sql)|*.sql" << "SQL files (*.sql)";
        QTest::newRow("two entries") << "Тексты|*.txt;*.prn|Все|*.*" << "Тексты (*.txt *.prn);;Все (*.*)";
    }

    void fileDialogFilter()
    {
        QFETCH(QString, filter);
        QFETCH(QString, qt);
        QCOMPARE(TDialogUserInterface::FileDialogFilter(filter), qt);
    }

    // The login dialog: the database, the default user, a hidden password.
    void loginDialog()
    {
        QString shown;
        auto watch = onModal<TLoginDlg>([&](TLoginDlg *d) {
            shown = d->findChild<QLabel *>(QStringLiteral("DatabaseName"))->text() + u'|'
                    + d->UserNameEdit->text() + u'|' + QString::number(d->PasswordEdit->echoMode());
            QTest::keyClicks(d->PasswordEdit, QStringLiteral("s3cret"));
            QTest::keyClick(d->PasswordEdit, Qt::Key_Return);
        });
        QString user = QStringLiteral("clerk"), password;
        QVERIFY(UserInterface().LoginDialog(QStringLiteral("SALES"), user, password));
        QCOMPARE(shown, QStringLiteral("SALES|clerk|%1").arg(int(QLineEdit::Password)));
        QCOMPARE(password, QStringLiteral("s3cret"));
    }

    // Asked while no window of the program is active (between "Базы
    // данных" closing and the database opening), the login is still the
    // main window's and centred on it, not on the screen.
    void loginCentredOnMainWindow()
    {
        QMainWindow main;
        main.setAttribute(Qt::WA_ShowWithoutActivating);
        main.setGeometry(300, 250, 400, 300);   // away from the screen's centre
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        {
            // a window that closes leaves none active
            QDialog passing;
            passing.show();
            QVERIFY(QTest::qWaitForWindowActive(&passing));
        }
        QVERIFY(!QApplication::activeWindow());
        QWidget *owner = nullptr;
        QPoint centre;
        auto watch = onModal<TLoginDlg>([&](TLoginDlg *d) {
            owner = d->parentWidget();
            centre = d->frameGeometry().center();
            d->reject();
        });
        QString user, password;
        QVERIFY(!UserInterface().LoginDialog(QStringLiteral("SALES"), user, password));
        QCOMPARE(owner, &main);
        QVERIFY2((centre - main.frameGeometry().center()).manhattanLength() < 40,
                 qPrintable(QStringLiteral("%1,%2").arg(centre.x()).arg(centre.y())));
    }

    // Captions and cells fit: a long button caption keeps a margin, the
    // "Тип" column of "Базы данных" shows a long type whole.
    void textsFit()
    {
        InstallButtonMargins(*qApp);
        TSQLResultDlg result(1, nullptr);
        const QFontMetrics fm(result.CommitBtn->font());
        QVERIFY(result.CommitBtn->sizeHint().width() >= fm.horizontalAdvance(QStringLiteral("Фиксация обновлений")) + 20);

        TAlias server;
        server.Name = QStringLiteral("ZZ_SERVER");
        server.Driver = QStringLiteral("QPSQL");
        server.Database = QStringLiteral("sales");
        server.Type = QStringLiteral("POSTGRESQL_CLUSTER_WIDE");
        SaveAlias(server);
        TOpenDbDlg dlg(nullptr);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        RemoveAlias(QStringLiteral("ZZ_SERVER"));
        const QTableWidgetItem *type = dlg.AliasGrid->findItems(server.Type, Qt::MatchExactly).value(0);
        QVERIFY(type);
        QVERIFY(dlg.AliasGrid->columnWidth(type->column())
                >= dlg.AliasGrid->fontMetrics().horizontalAdvance(type->text()) + 6);
    }

    void escAbortPrompt_data()
    {
        QTest::addColumn<bool>("escDuringLoop");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("aborted");
        QTest::newRow("Esc, Yes") << true << int(QMessageBox::Yes) << true;
        QTest::newRow("Esc, No") << true << int(QMessageBox::No) << false;
        QTest::newRow("Esc before the loop") << false << int(QMessageBox::Yes) << false;
    }

    // Esc pressed during a long loop asks "Прервать процесс ?"; Yes stops
    // the loop. An Esc handled before the loop does not count.
    void escAbortPrompt()
    {
        QFETCH(bool, escDuringLoop);
        QFETCH(int, answer);
        QFETCH(bool, aborted);
        QWidget window;
        window.show();
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        if (escDuringLoop)
            QCoreApplication::postEvent(&window, esc.clone());
        else
            QApplication::sendEvent(&window, &esc);
        TBoxSeen seen;
        auto box = answerBox(seen, QMessageBox::StandardButton(answer));
        QString raised;
        try {
            CheckAbort(true);
        } catch (const Exception &e) {
            raised = e.Message();
        }
        QCOMPARE(raised, aborted ? QStringLiteral("Операция прервана пользователем") : QString());
        QCOMPARE(seen.text, escDuringLoop ? QStringLiteral("Прервать процесс ?") : QString());
    }
};

QUARN_WIDGETS_TEST_MAIN(TDialogsTest)
#include "DialogsTest.moc"
