#pragma once

#include <QString>
#include <functional>

class TDBGridPopupMenu;
class TSearchDBGrid;

// The grid knows no feature beyond itself: its keys and its command menu
// reach table states, the query builder, the statement window, sums, the
// memo view and reports through these process-wide slots. Each starts
// empty, which is the do-nothing handler; the library of a feature fills
// its slot when the program starts. The menu shows a command only when its
// slot is filled.
using TGridHook = std::function<void(TSearchDBGrid &grid)>;

extern TGridHook RestoreStateHook;                                   // F3
extern TGridHook SaveStateHook;                                      // Shift+F3
extern std::function<void(TSearchDBGrid &grid, bool confirm, bool reopen)> ClearStateHook;   // Ctrl+F3
extern std::function<void(TSearchDBGrid &grid, bool interactive, const QString &orderText,
                          const QString &baseSql)> QueryBuilderHook; // Ctrl+F9
extern TGridHook StatementHook;                                      // F8
extern TGridHook SumHook;                                            // Ctrl+F8
extern TGridHook MemoViewHook;                                       // Ctrl+M, double click
extern std::function<void(TSearchDBGrid &grid, bool showList)> ReportListHook;   // Ctrl+F7
extern std::function<void(TSearchDBGrid &grid, bool expert)> ReportHook;         // Alt+F7
// The shared command menu given to every grid when it is made; none
// (nullptr) while no feature has installed one.
extern std::function<TDBGridPopupMenu *()> DefaultMenuHook;

// Calls a slot when it is filled.
template <class Hook, class... Args>
void CallHook(const Hook &hook, Args &&...args)
{
    if (hook)
        hook(std::forward<Args>(args)...);
}
