#pragma once

#include <QMdiSubWindow>
#include <QStringList>

class TDatabase;
class TDbMainForm;

// What happens to a window that the user closes.
enum TCloseAction { caNone, caHide, caFree, caMinimize };

// The base of every database child window: a child window of the main
// window that works on one open database. It shows itself as soon as it is
// made, tells the main window when it becomes active (UpdateCommands) and
// when it closes (ChildClosing), and frees itself when closed.
class TDbForm : public QMdiSubWindow {
    Q_OBJECT
public:
    ~TDbForm() override;

    // The open database the window works on.
    TDatabase *Database() const { return m_database; }
    TDbMainForm &MainForm() const { return m_mainForm; }
    // Asks the window's own questions (and writes an edited record) as its
    // closing would, without closing it; false when the window stays.
    bool CloseQuery() { return FormCloseQuery(); }

protected:
    // Puts the window into the main window's client area (which owns it
    // from then on) with `content` as its client; does not show it yet.
    TDbForm(TDbMainForm &mainForm, TDatabase *database);
    void SetContent(QWidget *content);
    // Shows the window as the active child.
    void ShowChild();

    // The window became the active child; by default the commands follow
    // it with no data sources.
    virtual void FormActivate();
    // The window may close (false keeps it open).
    virtual bool FormCloseQuery() { return true; }
    // The window closes: by default the main window disables the commands
    // that need a child and the window is freed.
    virtual void FormClose(TCloseAction &action);

    void closeEvent(QCloseEvent *event) override;

private:
    TDbMainForm &m_mainForm;
    TDatabase *m_database;
};

// What the main window's SQL commands need of the SQL editor window, which
// implements it: the statement's lines, running it and showing its plan.
class TSQLEditor {
public:
    virtual ~TSQLEditor() = default;
    virtual QStringList SQLLines() const = 0;
    virtual void SetSQLLines(const QStringList &lines) = 0;
    // The selection, else the statement under the caret.
    virtual void RunStatement() = 0;
    // Every statement of the text in order, until one fails.
    virtual void RunScript() = 0;
    // The statements run on the database before, to pick one.
    virtual void ShowHistory() = 0;
    virtual void ShowPlan() = 0;
};
