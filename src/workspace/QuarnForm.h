#pragma once

#include "DbForm.h"
#include "QuarnNode.h"

#include "common/ListPool.h"

#include <QHash>
#include <memory>

class QCheckBox;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

// The schema browser: one open database as a tree, the database at the
// root, its tables below, under each table its indexes and then its fields.
// Children are read from the engine on a line's first expansion.
class TQuarnForm : public TDbForm {
    Q_OBJECT
public:
    // Opens the database of `alias` (with a login when it needs one), makes
    // the browser with its tree (root collapsed) and shows it. When the
    // database cannot be opened no window is made and the error passes on.
    static TQuarnForm *Create(TDbMainForm &mainForm, const QString &alias);
    ~TQuarnForm() override;

    // Reconnects the database and rebuilds the tree with the root
    // expanded. When that fails the window closes and the error passes on.
    void Reopen();
    // Opens the selected table in a new SQL editor. Raises "Сначала
    // выберите таблицу" without a selected line and "%s - не таблица" when
    // the line is not a table's.
    void OpenSelectedTable();

    // "&Все таблицы": the engine's system tables and owner-qualified names
    // are listed too.
    bool AllTables() const;
    // The node of a tree line.
    TQuarnNode *NodeOf(QTreeWidgetItem *line) const { return m_nodeOf.value(line); }
    // The tree line of the selected line; nullptr when none is selected.
    QTreeWidgetItem *SelectedLine() const;

    // Adds a tree line under `parent` (a root line without one) with its
    // node; the browser owns the node from then on.
    template <class TNode>
    TNode *AddNode(QTreeWidgetItem *parent, const QString &text, const QString &name, bool hasChildren)
    {
        QTreeWidgetItem *line = newLine(parent, text, hasChildren);
        auto node = std::make_unique<TNode>(*this, line, name);
        TNode *p = node.get();
        m_nodes.Add(std::move(node));
        m_nodeOf.insert(line, p);
        return p;
    }

    // Loads the children of a line on its first expansion; after a load
    // that failed half-way the line is as it was before.
    void LoadLine(QTreeWidgetItem *line);
    // Enter: collapses an expanded line, else expands it one level.
    void ToggleLine(QTreeWidgetItem *line);
    // Leaving the search box: selects the first line, depth first, whose
    // text contains the search text (case-insensitive), then moves the
    // focus to the tree. Lines not loaded yet are not searched.
    void SearchExit();
    // A click of "&Все таблицы": the tree is rebuilt with the root expanded.
    void AllTablesClick();

    QCheckBox *AllTablesBox = nullptr;
    QLineEdit *SearchEdit = nullptr;
    QTreeWidget *Tree = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TQuarnForm(TDbMainForm &mainForm, TDatabase *database);
    // Makes the root; `rebuild` frees the old tree first and expands the
    // new root.
    void BuildTree(bool rebuild);
    void clearTree();
    QTreeWidgetItem *newLine(QTreeWidgetItem *parent, const QString &text, bool hasChildren);

    TListPool<TQuarnNode> m_nodes;
    QHash<QTreeWidgetItem *, TQuarnNode *> m_nodeOf;
};
