#pragma once

#include "VarList.h"

#include <memory>
#include <vector>

// The interpreter's value stack: copies of holders and the saved entries of
// whole parameter lists. Pushes and pops run for every operator and every
// call of every record, so the stack works in place: its slots stay
// allocated when popped and the next push at that depth fills the same
// holder again, without allocating, constructing or moving anything.
// Clear() empties the slots a failed run left in use.
class TVarStack {
public:
    TVarStack();
    TVarStack(const TVarStack &) = delete;
    TVarStack &operator=(const TVarStack &) = delete;
    ~TVarStack();

    int Count() const { return m_count; }
    bool IsEmpty() const { return m_count == 0; }
    // Empties the stack, dropping the values and lists left on it.
    void Clear();

    // Pushes a copy of the holder's value.
    void Push(const TReportVar &var)
    {
        if (m_count < int(m_slots.size()) && m_slots[size_t(m_count)].Var) {
            TSlot &slot = m_slots[size_t(m_count++)];
            slot.IsList = false;
            slot.Var->AssignFresh(var);
        } else {
            pushNew(var);
        }
    }
    // Pushes the entries of the list in order: a copy of every argument copy
    // and the very variable of every by-reference entry, so that a pop gives
    // a function its by-reference arguments back as the caller's variables.
    void Push(const TCustomParamList &params)
    {
        // an empty list (the common call, made outside any other call's
        // arguments) only marks a slot whose saved list is already empty
        if (params.IsEmpty() && m_count < int(m_slots.size()) && m_slots[size_t(m_count)].Params) {
            m_slots[size_t(m_count++)].IsList = true;
            return;
        }
        pushList(params);
    }

    // Pops the top into the holder: Clear it, then Assign the saved value.
    // An empty stack or a saved parameter list on top stops the run
    // silently (EAbort).
    void Pop(TReportVar &target)
    {
        if (m_count == 0 || m_slots[size_t(m_count - 1)].IsList)
            stop();
        // the entry is gone once popped: its text moves rather than being shared
        target.TakeFresh(*m_slots[size_t(--m_count)].Var);
    }
    // Pops the top into the list. With `recreate` the list is cleared and
    // gets the saved entries back, in order; without it each saved value is
    // assigned to the list's entry of the same name, where there is one. An
    // empty stack or a saved holder on top stops the run silently.
    void Pop(TCustomParamList &target, bool recreate)
    {
        // the empty list saved by a call made outside any other call's
        // arguments, taken back after every such call: only the
        // arguments are parked again
        if (recreate && m_count > 0 && m_slots[size_t(m_count - 1)].IsList
            && m_slots[size_t(m_count - 1)].Params->IsEmpty()) {
            --m_count;
            target.Clear();
            return;
        }
        popList(target, recreate);
    }

private:
    // One depth of the stack. A slot keeps the holder or list it was given
    // for reuse; IsList tells which of them the entry in use is. The saved
    // list of a slot not in use is always empty.
    struct TSlot {
        std::unique_ptr<TReportVar> Var;
        std::unique_ptr<TParamList> Params;
        bool IsList = false;
    };

    void pushNew(const TReportVar &var);
    void pushList(const TCustomParamList &params);
    void popList(TCustomParamList &target, bool recreate);
    [[noreturn]] static void stop();

    std::vector<TSlot> m_slots;   // [0, m_count) in use
    int m_count = 0;
};
