#pragma once

#include "DbForm.h"

#include <QMainWindow>
#include <functional>

class QLabel;
class QMdiArea;
class TDataSource;
class TDbEngineErrorDlg;
class TKeyFilter;
class TMainCommands;
class TOpenDbDlg;
class TQuarnForm;

// The main window: holds the database windows as child windows, runs the
// commands of its menu and toolbar, enables them from the kind of the
// active child, and owns the two dialogs that live for the whole run (the
// open-database dialog and the engine-error dialog, installed as the
// application's exception handler).
class TDbMainForm : public QMainWindow {
    Q_OBJECT
public:
    // Makes the window: fixes the process-wide formats, sets AppName to the
    // application title, turns the grids' search parameters off, installs
    // the key filter, creates both dialogs.
    explicit TDbMainForm(QWidget *parent = nullptr);
    ~TDbMainForm() override;

    QMdiArea *MdiArea() const { return m_mdiArea; }
    TMainCommands &Commands() const { return *m_commands; }
    TKeyFilter &KeyFilter() const { return *m_keyFilter; }
    TOpenDbDlg &OpenDbDlg() const { return *m_openDbDlg; }
    TDbEngineErrorDlg &EngineErrorDlg() const { return *m_engineErrorDlg; }
    // The left cell of the status bar: the current hint.
    QLabel *StatusLine = nullptr;

    // The database windows, in the order they were made, and the active one.
    QList<TDbForm *> Children() const;
    TDbForm *ActiveChild() const;

    // Called by a child window when it becomes active: enables the commands
    // that apply to the active child and binds the navigators to the given
    // data sources (disabled without).
    void UpdateCommands(TDataSource *readSource = nullptr, TDataSource *writeSource = nullptr);
    // Called by a child window that closes: disables every command that
    // needs a child, unbinds the navigators and frees the window.
    void ChildClosing(TCloseAction &action);

    // Opens a database by alias: an open browser on it (the same name,
    // letter case included) is reconnected and rebuilt; otherwise a new
    // browser is made.
    void OpenDatabase(const QString &alias);

    // The SQL editor window. It is made through the factory that the SQL
    // editor installs; without one the commands that open an editor stay
    // disabled.
    using TSQLEditorFactory =
        std::function<TDbForm *(TDbMainForm &mainForm, TDatabase *database, const QString &tableName)>;
    void SetSQLEditorFactory(TSQLEditorFactory factory);
    bool HasSQLEditor() const { return bool(m_sqlEditorFactory); }
    // A new SQL editor on `database`; with a table name it shows the table.
    TDbForm *OpenSQLEditor(TDatabase *database, const QString &tableName = QString());

    // The command handlers.
    void AboutItemClick();
    void OpenDbClick();
    // "Открыть файл базы данных...": a SQLite file chosen in the file dialog
    // opens under a session alias (OpenDatabaseFile).
    void OpenFileClick();
    // Opens a SQLite database file under its alias, made for the session
    // when no alias names the file; returns the alias.
    QString OpenDatabaseFile(const QString &file);
    void ViewTableClick();
    void EnterSQLClick();
    void ExitAppClick();
    void LoadBtnClick();
    void SaveBtnClick();
    void ExecuteSQLClick();
    void PlanBtnClick();
    void MSQLClick();
    void MCascadeClick();
    void MTileClick();

    // True once the window has closed and the program ends.
    bool Closing() const { return m_closing; }

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate();
    TSQLEditor *activeSQLEditor() const;

    QMdiArea *m_mdiArea = nullptr;
    // The database menu's "Последние базы данных", made anew as the menu opens.
    void fillRecentMenu();
    TMainCommands *m_commands = nullptr;
    TKeyFilter *m_keyFilter = nullptr;
    TOpenDbDlg *m_openDbDlg = nullptr;
    TDbEngineErrorDlg *m_engineErrorDlg = nullptr;
    TSQLEditorFactory m_sqlEditorFactory;
    bool m_closing = false;
};
