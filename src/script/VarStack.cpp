#include "VarStack.h"

#include "common/Exceptions.h"

TVarStack::TVarStack()
{
    // deep enough for the expressions of any ordinary script
    m_slots.reserve(32);
}

TVarStack::~TVarStack() = default;

void TVarStack::stop()
{
    Abort();
}

void TVarStack::Clear()
{
    for (int i = 0; i < m_count; ++i) {
        TSlot &slot = m_slots[size_t(i)];
        if (slot.IsList)
            slot.Params->Clear();
        else
            slot.Var->Clear();   // drops its text and automation reference now
    }
    m_count = 0;
}

void TVarStack::pushNew(const TReportVar &var)
{
    if (m_count == int(m_slots.size()))
        m_slots.emplace_back();
    TSlot &slot = m_slots[size_t(m_count)];
    // the slot so far held only lists: it gets its holder now
    slot.Var = std::make_unique<TReportVar>(var.Name(), var.Owner());
    slot.Var->Assign(var);
    slot.IsList = false;
    ++m_count;
}

void TVarStack::pushList(const TCustomParamList &params)
{
    if (m_count == int(m_slots.size()))
        m_slots.emplace_back();
    TSlot &slot = m_slots[size_t(m_count)];
    if (!slot.Params)
        slot.Params = std::make_unique<TParamList>();
    TParamList &saved = *slot.Params;
    for (int i = 0; i < params.Count(); ++i) {
        TReportVar &item = *params[i];
        if (params.IsByRef(i)) {
            saved.AddByRef(item);
        } else {
            auto copy = std::make_unique<TReportVar>(item.Name(), item.Owner());
            copy->Assign(item);
            saved.Add(std::move(copy));
        }
    }
    slot.IsList = true;
    ++m_count;
}

void TVarStack::popList(TCustomParamList &target, bool recreate)
{
    if (m_count == 0 || !m_slots[size_t(m_count - 1)].IsList)
        stop();
    TParamList &saved = *m_slots[size_t(--m_count)].Params;
    if (recreate) {
        // The saved copies are fresh holders with the entries' names, exactly
        // what re-creating them would make: they move back instead of being
        // copied once more.
        target.Clear();
        target.TakeEntriesFrom(saved);
    } else {
        for (int i = 0; i < saved.Count(); ++i) {
            if (TReportVar *same = target.FindVar(saved[i]->Name())) {
                same->Clear();
                same->Assign(*saved[i]);
            }
        }
        saved.Clear();
    }
}
