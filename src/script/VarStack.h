#pragma once

#include "ListPool.h"
#include "VarList.h"

// One entry of the value stack: the copy of a holder or the saved entries of
// a whole parameter list.
struct TStackEntry {
    std::unique_ptr<TReportVar> Var;
    std::unique_ptr<TParamList> Params;
};

// The interpreter's value stack; the last entry is the top. Entries are
// always copies made by a push, so the stack owns them; Clear() frees what a
// failed run left behind. Popped entries are
// kept for reuse: pushes and pops run for every operator and every call of
// every record, and reuse spares them an allocation each.
class TVarStack : public TListPool<TStackEntry> {
public:
    // Pushes a copy of the holder: same name and owner, same value.
    void Push(const TReportVar &var);
    // Pushes the entries of the list in order: a copy of every argument copy
    // and the very variable of every by-reference entry, so that a pop gives
    // a function its by-reference arguments back as the caller's variables.
    void Push(const TCustomParamList &params);

    // Pops the top into the holder: Clear it, then Assign the saved value.
    // An empty stack or a saved parameter list on top stops the run
    // silently (EAbort).
    void Pop(TReportVar &target);
    // Pops the top into the list. With `recreate` the list is cleared and
    // gets the saved entries back, in order; without it each saved value is
    // assigned to the list's entry of the same name, where there is one. An
    // empty stack or a saved holder on top stops the run silently.
    void Pop(TCustomParamList &target, bool recreate);

private:
    void recycle(std::unique_ptr<TStackEntry> entry);

    std::vector<std::unique_ptr<TStackEntry>> m_spareVars;
    std::vector<std::unique_ptr<TStackEntry>> m_spareLists;
};
