#pragma once

#include "SearchDBGrid.h"

#include <QDialog>
#include <QMenu>
#include <QPointer>
#include <functional>

class QPlainTextEdit;
class QPushButton;

// The context menu every grid shares: the grid commands with their keys, so
// that the keys can be found with the mouse. One per process; it acts on the
// grid that popped it up. A command of another feature is listed only while
// its hook slot is filled.
class TDBGridPopupMenu : public QMenu {
    Q_OBJECT
public:
    TDBGridPopupMenu();

    // The caption of the item with a tag, the key after the blanks.
    static QString Caption(int tag);
    // The item of a tag (nullptr for none).
    QAction *Item(int tag) const;

    // Shows the menu at `at` (screen point), acting on `grid`.
    void PopupFor(TSearchDBGrid &grid, const QPoint &at);
    // Sets the items' visibility as the popping up does: items of empty
    // hooks hidden (and the import where the grid cannot write), then
    // leading, trailing and doubled separators.
    void PrepareItems();
    TSearchDBGrid *PopupGrid() const { return m_grid; }

private:
    void itemClick(int tag);

    QPointer<TSearchDBGrid> m_grid;
};

// Hides the separators that lead, trail or follow another visible
// separator, in `menu` and its submenus (separators are made visible first).
void HideExtraSeparators(QMenu &menu);

// Makes the shared menu and fills the hook slots of the grid's own
// commands: the menu, the statement of a row, the count and sum of a
// column, the memo view. The menu lives until the program ends.
void InstallGridCommands();

// The statement of the grid's current row: every column's title (split
// into title lines as the grid paints them) and its value, the values
// lined up after the longest title line.
QStringList GridStatementLines(TSearchDBGrid &grid);
// The count of the rows and, for a number column, the sum of the selected
// column, as the message tells them; walks the rows with the grid quiet and
// comes back to the current row, also after an error or an abort (Esc).
QString GridColumnSum(TSearchDBGrid &grid);

// Shows a query's plan: the editor's plan window, installed by the program
// (the grid libraries know no SQL editor). Empty: no plan button.
extern std::function<void(QWidget *parent, const QString &databaseName, const QString &sqlText)> ShowQueryPlanHook;

// A text window ("Выписка"): a statement, a memo, an SQL text, which can be
// printed, saved as a text file and, for SQL, explained.
class TGridMemoForm : public QDialog {
    Q_OBJECT
public:
    TGridMemoForm(QWidget *parent, const QStringList &lines);

    // Shows "П&лан запроса" for SQL text of the database.
    void ShowPlanButton(const QString &databaseName);
    QStringList Lines() const;
    // Prints the lines after asking; without a printer into a PDF file in
    // the program directory. Returns the file or printer printed to, empty
    // when the person said no.
    QString PrintLines();
    // Asks a file name and writes the lines in the code page.
    void SaveLines();

    QPlainTextEdit *Memo = nullptr;
    QPushButton *PrintBtn = nullptr;
    QPushButton *SaveBtn = nullptr;
    QPushButton *PlanBtn = nullptr;
    QPushButton *CancelBtn = nullptr;

private:
    QString m_databaseName;
};
