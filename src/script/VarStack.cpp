#include "VarStack.h"

#include "common/Exceptions.h"

namespace {

// Spare entries kept for reuse; more than this come only from unusually
// deep expressions and are freed.
constexpr size_t MaxSpares = 64;

} // namespace

void TVarStack::Push(const TReportVar &var)
{
    std::unique_ptr<TStackEntry> entry;
    if (!m_spareVars.empty()) {
        entry = std::move(m_spareVars.back());
        m_spareVars.pop_back();
        entry->Var->CopyFrom(var);
    } else {
        entry = std::make_unique<TStackEntry>();
        entry->Var = std::make_unique<TReportVar>(var.Name(), var.Owner());
        entry->Var->Assign(var);
    }
    Add(std::move(entry));
}

void TVarStack::Push(const TCustomParamList &params)
{
    std::unique_ptr<TStackEntry> entry;
    if (!m_spareLists.empty()) {
        entry = std::move(m_spareLists.back());
        m_spareLists.pop_back();
    } else {
        entry = std::make_unique<TStackEntry>();
        entry->Params = std::make_unique<TParamList>();
    }
    for (int i = 0; i < params.Count(); ++i) {
        TReportVar &item = *params[i];
        if (params.IsByRef(i)) {
            entry->Params->AddByRef(item);
        } else {
            auto copy = std::make_unique<TReportVar>(item.Name(), item.Owner());
            copy->Assign(item);
            entry->Params->Add(std::move(copy));
        }
    }
    Add(std::move(entry));
}

void TVarStack::recycle(std::unique_ptr<TStackEntry> entry)
{
    if (entry->Var) {
        if (m_spareVars.size() < MaxSpares)
            m_spareVars.push_back(std::move(entry));
    } else {
        entry->Params->Clear();
        if (m_spareLists.size() < MaxSpares)
            m_spareLists.push_back(std::move(entry));
    }
}

void TVarStack::Pop(TReportVar &target)
{
    if (IsEmpty() || !Last()->Var)
        Abort();
    std::unique_ptr<TStackEntry> entry = ExtractLast();
    target.AssignFresh(*entry->Var);
    recycle(std::move(entry));
}

void TVarStack::Pop(TCustomParamList &target, bool recreate)
{
    if (IsEmpty() || !Last()->Params)
        Abort();
    std::unique_ptr<TStackEntry> entry = ExtractLast();
    TParamList &saved = *entry->Params;
    if (recreate) {
        // The saved copies are fresh holders with the entries' names and
        // owner, exactly what re-creating them would make: they move back
        // instead of being copied once more.
        target.Clear();
        target.TakeEntriesFrom(saved);
    } else {
        for (int i = 0; i < saved.Count(); ++i) {
            if (TReportVar *same = target.FindVar(saved[i]->Name())) {
                same->Clear();
                same->Assign(*saved[i]);
            }
        }
    }
    recycle(std::move(entry));
}
