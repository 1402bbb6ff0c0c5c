#include "GridHooks.h"

TGridHook RestoreStateHook;
TGridHook SaveStateHook;
std::function<void(TSearchDBGrid &, bool, bool)> ClearStateHook;
std::function<void(TSearchDBGrid &, bool, const QString &, const QString &)> QueryBuilderHook;
TGridHook StatementHook;
TGridHook SumHook;
TGridHook MemoViewHook;
std::function<void(TSearchDBGrid &, bool)> ReportListHook;
std::function<void(TSearchDBGrid &, bool)> ReportHook;
std::function<TDBGridPopupMenu *()> DefaultMenuHook;
