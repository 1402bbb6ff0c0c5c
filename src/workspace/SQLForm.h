#pragma once

#include "DbForm.h"

#include "data/DataSet.h"
#include "SqlHistory.h"
#include "data/Query.h"
#include "uisupport/SqlEdit.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QHash>
#include <QTextDocument>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class EDBEngineError;
class TSearchDBGrid;
class TSqlFindDlg;

// The SQL editor: one statement typed against the window's database and
// run; rows come back in a searchable grid (editable with "&Редактирование"),
// a statement without rows tells how many it touched and offers to commit
// or roll back.
class TSQLForm : public TDbForm, public TSQLEditor {
    Q_OBJECT
public:
    // A new editor, shown at once. With a table name it selects the whole
    // table, editable, and runs the statement.
    static TSQLForm *Create(TDbMainForm &mainForm, TDatabase *database, const QString &tableName = QString());
    ~TSQLForm() override;

    QStringList SQLLines() const override;
    void SetSQLLines(const QStringList &lines) override;
    void RunStatement() override;
    void RunScript() override;
    void ShowHistory() override;
    void ShowPlan() override;

    TSqlEdit *SQLText = nullptr;   // coloured, lines numbered, completing
    TQuery SQLQuery;
    TDataSource SQLSource;
    TSearchDBGrid *SQLGrid = nullptr;
    QCheckBox *LiveBox = nullptr;
    QCheckBox *SearchBox = nullptr;
    QTabWidget *Pages = nullptr;
    QWidget *SQLPage = nullptr;
    QWidget *GridPage = nullptr;
    // What a script did, a line per statement: number, text, rows, time.
    QWidget *ResultPage = nullptr;
    QTreeWidget *ResultList = nullptr;

protected:
    TSQLForm(TDbMainForm &mainForm, TDatabase *database);
    void FormActivate() override;
    bool FormCloseQuery() override;

private:
    // The statement Ctrl+E runs: the selection, else the statement under
    // the caret (the one before it when it stands between or after them);
    // `at` receives where it starts in the text.
    QString statementToRun(int &at) const;
    // Puts the caret where the engine said the statement starting at `at`
    // went wrong (at its start when the engine did not say).
    void pointAtError(const EDBEngineError &e, int at);
    // The question after statements that changed rows: commit, roll back or
    // keep the transaction open.
    void askTransaction(int rowsAffected);
    void statementWithoutRows();
    // "Записей: N · t с" in the main window's status line: the rows once
    // counted, and the time the statement took to give its first rows.
    void showRowsStatus();
    void showStatus(const QString &text);
    // Ctrl+Up and Ctrl+Down in the text: the previous and next statement of
    // the history; past the newest, the text as it was before the walk.
    bool eventFilter(QObject *watched, QEvent *event) override;
    void walkHistory(int step);
    // The database's tables and views, and the columns of those asked for,
    // read from the catalog once: what completion offers.
    QStringList completionWords(const QString &qualifier);
    bool m_tablesRead = false;
    QStringList m_tables;
    QHash<QString, QStringList> m_columns;
    TSqlFindDlg *m_find = nullptr;
    QList<TSqlHistoryEntry> m_history;
    int m_historyAt = -1;
    QString m_draft;
    double m_statementSeconds = -1;
    QElapsedTimer m_openClock;
};

// The answer to a statement that returned no rows: how many it touched, and
// whether to commit or roll back.
class TSQLResultDlg : public QDialog {
    Q_OBJECT
public:
    TSQLResultDlg(int rowsAffected, QWidget *parent);
    enum Choice { Close, Commit, Rollback };
    Choice Chosen = Close;
    QLabel *RowsLabel = nullptr;
    QPushButton *CommitBtn = nullptr;
    QPushButton *RollbackBtn = nullptr;
    QPushButton *CloseBtn = nullptr;
};

// Find and replace in an SQL text: "Найти далее" selects the next match
// (from the top again past the last), "Заменить" replaces the selected match
// and finds the next, "Заменить все" replaces every match as one step of
// the text's undo.
class TSqlFindDlg : public QDialog {
    Q_OBJECT
public:
    TSqlFindDlg(QPlainTextEdit &text, QWidget *parent);
    // Shows it for finding, or with `replace` for replacing too; a
    // selection in the text is what it finds.
    void Open(bool replace);
    bool FindNext();
    void ReplaceOne();
    int ReplaceAll();

    QLineEdit *FindEdit = nullptr;
    QLineEdit *ReplaceEdit = nullptr;
    QCheckBox *CaseBox = nullptr;
    QPushButton *FindBtn = nullptr;
    QPushButton *ReplaceBtn = nullptr;
    QPushButton *ReplaceAllBtn = nullptr;
    QLabel *Note = nullptr;

private:
    QTextDocument::FindFlags flags() const;
    QPlainTextEdit &m_text;
    QWidget *m_replaceLabel = nullptr;
};

// The statements run on a database before, the newest first, with their
// time and rows: Enter or a double click picks one.
class TSqlHistoryDlg : public QDialog {
    Q_OBJECT
public:
    TSqlHistoryDlg(const QList<TSqlHistoryEntry> &entries, QWidget *parent);
    QString Chosen() const;
    QTreeWidget *List = nullptr;

private:
    QList<TSqlHistoryEntry> m_entries;
};

// The execution plan of an editor's statement, one step a line, indented by
// its level in the plan.
class TSQLPlanForm : public QDialog {
    Q_OBJECT
public:
    // Works the plan out; raises the engine's error, showing nothing, when
    // the statement cannot be explained.
    TSQLPlanForm(QWidget *parent, TDatabase *database, const QString &sqlText);
    ~TSQLPlanForm() override;

    // The plan's lines as the window shows them.
    QStringList PlanLines() const;

    TSearchDBGrid *PlanGrid = nullptr;
    QPushButton *ExitBtn = nullptr;

private:
    class TPlanList;
    std::unique_ptr<TDataSet> m_planQuery;
    TDataSource m_planSource;
};

// The plan of a statement as lines indented two blanks a level: through the
// engine's plan table where it has one, else through its own EXPLAIN.
QStringList ExplainStatement(TDatabase &database, const QString &sqlText);

// Makes the main window's SQL commands open TSQLForm editors, and the
// grids' text windows show plans in TSQLPlanForm.
void InstallSQLEditor(TDbMainForm &mainForm);
