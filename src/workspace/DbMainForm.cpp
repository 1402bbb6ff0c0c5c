#include "DbMainForm.h"

#include "AboutBoxForm.h"
#include "Application.h"
#include "DbEngineErrorDlg.h"
#include "FormPrinter.h"
#include "KeyFilter.h"
#include "MainCommands.h"
#include "RecentDatabases.h"
#include "OpenDbDlg.h"
#include "QuarnForm.h"

#include "common/AppName.h"
#include "common/FormatSettings.h"
#include "common/Settings.h"
#include "common/TextFile.h"
#include "common/UserInterface.h"
#include "data/Database.h"
#include "grid/SearchSql.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMdiArea>
#include <QPointer>
#include <QMenu>
#include <QStatusBar>
#include <QStatusTipEvent>

namespace {

const QString GeometrySetting = QStringLiteral("MainWindowGeometry");

} // namespace

TDbMainForm::TDbMainForm(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("DbMainForm"));
    setWindowTitle(QCoreApplication::applicationName());

    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setObjectName(QStringLiteral("MdiArea"));
    m_mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdiArea);

    m_commands = new TMainCommands(*this);
    TMainCommands &c = *m_commands;
    connect(c.AboutItem, &QAction::triggered, this, Guard(this, &TDbMainForm::AboutItemClick));
    connect(c.MOpenDb, &QAction::triggered, this, Guard(this, &TDbMainForm::OpenDbClick));
    connect(c.MOpenFile, &QAction::triggered, this, Guard(this, &TDbMainForm::OpenFileClick));
    connect(c.MDatabase, &QMenu::aboutToShow, this, &TDbMainForm::fillRecentMenu);
    fillRecentMenu();
    connect(c.MViewTable, &QAction::triggered, this, Guard(this, &TDbMainForm::ViewTableClick));
    connect(c.MEnterSQL, &QAction::triggered, this, Guard(this, &TDbMainForm::EnterSQLClick));
    connect(c.MExitApp, &QAction::triggered, this, Guard(this, &TDbMainForm::ExitAppClick));
    connect(c.MLoadSQL, &QAction::triggered, this, Guard(this, &TDbMainForm::LoadBtnClick));
    connect(c.MSaveSQL, &QAction::triggered, this, Guard(this, &TDbMainForm::SaveBtnClick));
    connect(c.MExecSQL, &QAction::triggered, this, Guard(this, &TDbMainForm::ExecuteSQLClick));
    connect(c.MExecScript, &QAction::triggered, this, [this] {
        Guarded(this, [this] {
            if (TSQLEditor *editor = activeSQLEditor())
                editor->RunScript();
        });
    });
    connect(c.MHistory, &QAction::triggered, this, [this] {
        Guarded(this, [this] {
            if (TSQLEditor *editor = activeSQLEditor())
                editor->ShowHistory();
        });
    });
    connect(c.MPlan, &QAction::triggered, this, Guard(this, &TDbMainForm::PlanBtnClick));
    connect(c.MCascade, &QAction::triggered, this, Guard(this, &TDbMainForm::MCascadeClick));
    connect(c.MTile, &QAction::triggered, this, Guard(this, &TDbMainForm::MTileClick));
    connect(c.MSQL, &QMenu::aboutToShow, this, Guard(this, &TDbMainForm::MSQLClick));

    StatusLine = new QLabel(this);
    StatusLine->setObjectName(QStringLiteral("StatusLine"));
    statusBar()->addWidget(StatusLine, 1);
    auto *rightCell = new QLabel(this);
    rightCell->setObjectName(QStringLiteral("StatusRight"));
    rightCell->setFixedWidth(61);
    statusBar()->addPermanentWidget(rightCell);
    statusBar()->setSizeGripEnabled(false);

    resize(900, 640);
    // the size, place and maximised state it had when it was last closed
    restoreGeometry(QByteArray::fromBase64(ReadSetting(GeometrySetting).toLatin1()));
    FormCreate();

    m_openDbDlg = new TOpenDbDlg(this);
    m_engineErrorDlg = new TDbEngineErrorDlg(this, [this] { return m_closing || QCoreApplication::closingDown(); });
    m_engineErrorDlg->Install();
}

TDbMainForm::~TDbMainForm()
{
    // The children go before the dialogs and the filter they may call,
    // also those closed and waiting for their deferred deletion, which the
    // area lists no more.
    const QList<QMdiSubWindow *> children = m_mdiArea->findChildren<QMdiSubWindow *>();
    for (const QPointer<QMdiSubWindow> w : children)
        delete w.data();
}

void TDbMainForm::FormCreate()
{
    // The hints reach StatusLine through event(); pop-up hints are eaten by
    // the key filter, which watches every key of the program.
    m_keyFilter = new TKeyFilter(this);
    m_keyFilter->OnPrintForm = [this](QWidget *window) {
        StatusLine->setText(QStringLiteral("Печать: ") + PrintFormImage(window));
    };

    // The formats are the program's own whatever the system's regional
    // settings say; nothing here follows later changes of those settings.
    TFormatSettings &fs = FormatSettings();
    fs.ShortDateFormat = QStringLiteral("dd.mm.yyyy");
    fs.CurrencyString.clear();
    fs.ThousandSeparator = u',';
    fs.DecimalSeparator = u'.';
    fs.CurrencyDecimals = 2;
    fs.DateSeparator = u'.';
    fs.LongDateFormat = QStringLiteral("dd mmmm yyyy");
    fs.TimeSeparator = u':';
    fs.ShortTimeFormat = QStringLiteral("h:nn");
    fs.LongTimeFormat = QStringLiteral("h:nn:ss");
    fs.TimeAMString = QStringLiteral("AM");
    fs.TimePMString = QStringLiteral("PM");

    SetAppName(QCoreApplication::applicationName());
    // The grids put search values into their SQL as text, not parameters.
    SearchByParams = false;
}

bool TDbMainForm::event(QEvent *event)
{
    if (event->type() == QEvent::StatusTip) {
        StatusLine->setText(static_cast<QStatusTipEvent *>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

void TDbMainForm::closeEvent(QCloseEvent *event)
{
    // Every child asks its own questions as if it were closed alone
    // (unsaved text, an edit to write), then every database with a
    // transaction open asks whether to commit it. An answer that keeps a
    // window or a transaction keeps the program as it was; only then are
    // the windows closed.
    if (!m_closing) {
        bool stays = true;
        Guarded(this, [&] {
            for (TDbForm *child : Children())
                if (!child->CloseQuery())
                    return;
            for (TDatabase *db : Session().Databases())
                if (db->Connected() && !db->AskEndTransaction())
                    return;
            stays = false;
        });
        if (stays) {
            event->ignore();
            return;
        }
    }
    m_closing = true;
    Guarded(this, [this] { WriteSetting(GeometrySetting, QString::fromLatin1(saveGeometry().toBase64())); });
    for (TDbForm *child : Children())
        child->close();
    QMainWindow::closeEvent(event);
}

QList<TDbForm *> TDbMainForm::Children() const
{
    QList<TDbForm *> list;
    for (QMdiSubWindow *w : m_mdiArea->subWindowList(QMdiArea::CreationOrder))
        if (auto *f = qobject_cast<TDbForm *>(w))
            list.append(f);
    return list;
}

TDbForm *TDbMainForm::ActiveChild() const
{
    return qobject_cast<TDbForm *>(m_mdiArea->currentSubWindow());
}

TSQLEditor *TDbMainForm::activeSQLEditor() const
{
    return dynamic_cast<TSQLEditor *>(ActiveChild());
}

void TDbMainForm::UpdateCommands(TDataSource *readSource, TDataSource *writeSource)
{
    TDbForm *active = ActiveChild();
    // The commands that open an SQL editor need the editor window.
    m_commands->EnableChildCommands(qobject_cast<TQuarnForm *>(active) && HasSQLEditor(),
                                    active && HasSQLEditor(), activeSQLEditor() != nullptr);
    m_commands->BindNavigators(readSource, writeSource);
}

void TDbMainForm::ChildClosing(TCloseAction &action)
{
    m_commands->EnableChildCommands(false, false, false);
    m_commands->BindNavigators(nullptr, nullptr);
    action = caFree;
}

void TDbMainForm::SetSQLEditorFactory(TSQLEditorFactory factory)
{
    m_sqlEditorFactory = std::move(factory);
    if (ActiveChild())
        UpdateCommands();
}

TDbForm *TDbMainForm::OpenSQLEditor(TDatabase *database, const QString &tableName)
{
    if (!m_sqlEditorFactory)
        return nullptr;
    return m_sqlEditorFactory(*this, database, tableName);
}

void TDbMainForm::OpenDatabase(const QString &alias)
{
    bool reopened = false;
    for (TDbForm *child : Children()) {
        auto *browser = qobject_cast<TQuarnForm *>(child);
        if (!browser || browser->Database()->DatabaseName() != alias)
            continue;
        browser->Reopen();
        m_mdiArea->setActiveSubWindow(browser);
        reopened = true;
    }
    if (!reopened)
        TQuarnForm::Create(*this, alias);
    RecentDatabases::Remember(alias);
}

void TDbMainForm::fillRecentMenu()
{
    QMenu *menu = m_commands->MRecent;
    menu->clear();
    const QStringList recent = RecentDatabases::List();
    for (qsizetype i = 0; i < recent.size(); ++i) {
        const QString entry = recent[i];
        QAction *a = menu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(entry));
        a->setData(entry);
        connect(a, &QAction::triggered, this, [this, entry] {
            Guarded(this, [&] {
                if (RecentDatabases::IsFile(entry))
                    OpenDatabaseFile(entry);
                else
                    OpenDatabase(entry);
            });
        });
    }
    menu->setEnabled(!recent.isEmpty());
}

void TDbMainForm::AboutItemClick()
{
    TAboutBoxForm about(this);
    about.exec();
}

void TDbMainForm::OpenDbClick()
{
    if (m_openDbDlg->exec() != QDialog::Accepted)
        return;
    OpenDatabase(m_openDbDlg->DatabaseName());
}

void TDbMainForm::OpenFileClick()
{
    const QString file = UserInterface().OpenFileName(
        QStringLiteral("Открыть файл базы данных"),
        QStringLiteral("Базы данных SQLite (*.sqlite *.db *.sqlite3)|*.sqlite;*.db;*.sqlite3|Все файлы (*.*)|*.*"),
        ProgramDir());
    if (!file.isEmpty())
        OpenDatabaseFile(file);
}

QString TDbMainForm::OpenDatabaseFile(const QString &file)
{
    const QString alias = Session().AliasForFile(file);
    OpenDatabase(alias);
    return alias;
}

void TDbMainForm::ViewTableClick()
{
    if (auto *browser = qobject_cast<TQuarnForm *>(ActiveChild()))
        browser->OpenSelectedTable();
}

void TDbMainForm::EnterSQLClick()
{
    if (TDbForm *active = ActiveChild())
        OpenSQLEditor(active->Database());
}

void TDbMainForm::ExitAppClick()
{
    close();
}

void TDbMainForm::LoadBtnClick()
{
    TSQLEditor *editor = activeSQLEditor();
    if (!editor)
        return;
    QFileDialog box(this, QStringLiteral("Загрузить SQL файл"), ProgramDir(), QStringLiteral("SQL files (*.sql)"));
    box.setObjectName(QStringLiteral("LoadDialog"));
    box.setAcceptMode(QFileDialog::AcceptOpen);
    box.setFileMode(QFileDialog::ExistingFile);
    box.setDefaultSuffix(QStringLiteral("SQL"));
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
        return;
    editor->SetSQLLines(ReadTextLines(box.selectedFiles().first()));
}

void TDbMainForm::SaveBtnClick()
{
    TSQLEditor *editor = activeSQLEditor();
    if (!editor)
        return;
    QFileDialog box(this, QStringLiteral("Сохранить SQL файл"), ProgramDir(), QStringLiteral("SQL files (*.sql)"));
    box.setObjectName(QStringLiteral("SaveDialog"));
    box.setAcceptMode(QFileDialog::AcceptSave);
    box.setFileMode(QFileDialog::AnyFile);
    box.setDefaultSuffix(QStringLiteral("SQL"));
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
        return;
    WriteTextLines(box.selectedFiles().first(), editor->SQLLines());
}

void TDbMainForm::ExecuteSQLClick()
{
    if (TSQLEditor *editor = activeSQLEditor())
        editor->RunStatement();
}

void TDbMainForm::PlanBtnClick()
{
    if (TSQLEditor *editor = activeSQLEditor())
        editor->ShowPlan();
}

void TDbMainForm::MSQLClick()
{
    m_commands->EnableWindowCommands(int(m_mdiArea->subWindowList().size()));
}

void TDbMainForm::MCascadeClick()
{
    m_mdiArea->cascadeSubWindows();
}

void TDbMainForm::MTileClick()
{
    m_mdiArea->tileSubWindows();
}
