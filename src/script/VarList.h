#pragma once

#include "common/ListPool.h"
#include "ReportVar.h"

// An owning list of value holders addressed by upper-cased name. A sorted
// list keeps its holders in ordinal name order and finds them by halving;
// an unsorted one keeps them in the order they came.
class TCustomVarList : public TListPool<TReportVar> {
public:
    explicit TCustomVarList(bool sorted) : m_sorted(sorted) {}

    bool Sorted() const { return m_sorted; }

    // The holder of that name (compared upper-cased), or none.
    TReportVar *FindVar(const QString &name) const;
    // The holder of that name; created with this list as owner when absent
    // (a sorted list inserts it at its place, an unsorted one appends it).
    TReportVar &GetVar(const QString &name);

protected:
    // Called for every holder the list creates itself.
    virtual void HolderCreated(TReportVar &) {}

private:
    // Ordinal halving search over the upper-cased `key`: the index of the
    // holder, or -1 with `insertAt` set to the first name not smaller.
    int search(const QString &key, int &insertAt) const;

    bool m_sorted;
};

// The report's variable list, sorted by name.
class TVarList : public TCustomVarList {
public:
    TVarList() : TCustomVarList(true) {}
};

// The arguments of one call, in argument order. Copies of values belong to
// the list; variables passed by reference only appear in it and stay in the
// variable list that owns them.
class TCustomParamList : public TCustomVarList {
public:
    TCustomParamList() : TCustomVarList(false) {}

    // Appends the variable itself (an argument passed by reference).
    void AddByRef(TReportVar &var) { AddReference(&var); }
    // Appends a new holder named like `source`, owned by this list, flagged
    // Owned and assigned from `source` (an argument passed by value).
    TReportVar &AddCopy(const TReportVar &source);
    // AddCopy for a source that is not read again before it is stored into:
    // its value moves to the new entry and the source is left UNDEFINED.
    TReportVar &AddTaken(TReportVar &source);
    // Appends an emptied holder named like `like`, owned by this list and
    // flagged Owned, for the caller to store an argument's value into: what
    // AddTaken of a register makes, before the value arrives. Inline, as
    // every argument loaded in one step comes here: a holder parked by the
    // last call is taken back without a call.
    TReportVar &AddEmpty(const TReportVar &like)
    {
        if (TReportVar *holder = Unpark()) {
            holder->TakeNameOf(like);
            return *holder;
        }
        return addNew(like);
    }
    // Appends a holder that the list owns from now on; it is flagged Owned.
    TReportVar &Add(std::unique_ptr<TReportVar> holder);
    // True for an entry that is a variable passed by reference.
    bool IsByRef(int index) const { return !OwnsItem(index); }

    // Empties the list; the variables passed by reference stay alive in
    // their own list. The copies are kept, emptied and parked, for the next
    // call's arguments, since a script makes and drops them for every call.
    void Clear() override;

    // Moves every entry of `from` (copies and references alike) to the end
    // of this list, leaving `from` empty.
    void TakeEntriesFrom(TCustomParamList &from) { TakeAllFrom(from); }

protected:
    void HolderCreated(TReportVar &holder) override { holder.SetOwned(true); }

private:
    TReportVar &addNew(const TReportVar &like);
};

// The report's call-parameter list.
class TParamList : public TCustomParamList {
public:
    TParamList() = default;
};
