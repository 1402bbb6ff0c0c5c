#pragma once

#include "UDBGrid.h"

#include <QTimer>
#include <functional>
#include <memory>

class TQuery;

// The grid that every table view, SQL result, chooser and dictionary
// window uses. What it applies lives only in the SQL text of its query:
// typed search values become one condition block per column, reopened 500
// ms after the last key; the marks can become a block that keeps only the
// marked rows (Alt+F9); F3, F9 and their companions reach table states and
// the query builder through the hook slots. With a dataset that is not a
// query these do nothing.
class TSearchDBGrid : public TUDBGrid {
    Q_OBJECT
public:
    explicit TSearchDBGrid(QWidget *parent = nullptr);
    ~TSearchDBGrid() override;

    // The grid's query; nullptr when its dataset is none.
    TQuery *Query() const;

    // Applies the typed search values to the query and reopens it.
    void ApplySearch();
    // Applies or removes the marked-rows condition.
    void ToggleMarkedFilter();
    // Typed values are kept but not applied while the search is locked.
    void ToggleSearchLock();
    bool SearchLocked() const;
    // Auto-repeat: re-runs the query with the current conditions every
    // `ms` milliseconds (0: off).
    void SetRepeatInterval(int ms);
    int RepeatInterval() const;
    QTimer &SearchTimer() { return m_searchTimer; }

    bool KeyDown(int key, Qt::KeyboardModifiers modifiers) override;
    void SearchKeyPress(QChar key) override;
    QColor StatusColor() const override;
    // A title click sorts by its column, a second one the other way; with
    // Ctrl the column is added to the order (or turned). The order is the
    // query builder's: table states keep it, Ctrl+F3 gives the statement
    // its own back. Memo and blob columns do not sort.
    void TitleClicked(int column, bool add) override;
    int SortPlace(int column) const override;

private:
    // The builder's order in force: field names, descending or not; empty
    // when the statement's own order stands.
    QList<QPair<QString, bool>> sortKeys() const;
    mutable QString m_sortKeysOf;
    mutable QList<QPair<QString, bool>> m_sortKeys;
    void searchTimerFired();
    void reopenKeepingColumn(const std::function<void(TQuery &)> &reopen);
    void afterReopen();

    QTimer m_searchTimer;
    std::unique_ptr<QTimer> m_repeatTimer;
};
