#include "VarList.h"

#include "common/Strings.h"

int TCustomVarList::search(const QString &key, int &insertAt) const
{
    if (m_sorted) {
        int lo = 0;
        int hi = Count() - 1;
        while (lo <= hi) {
            const int mid = (lo + hi) / 2;
            const int c = CompareStr(Items(mid)->Name(), key);
            if (c < 0)
                lo = mid + 1;
            else if (c > 0)
                hi = mid - 1;
            else
                return mid;
        }
        insertAt = lo;
        return -1;
    }
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->Name() == key)
            return i;
    insertAt = Count();
    return -1;
}

TReportVar *TCustomVarList::FindVar(const QString &name) const
{
    int insertAt = 0;
    const int index = search(name.toUpper(), insertAt);
    return index < 0 ? nullptr : Items(index);
}

TReportVar &TCustomVarList::GetVar(const QString &name)
{
    const QString key = name.toUpper();
    int insertAt = 0;
    const int index = search(key, insertAt);
    if (index >= 0)
        return *Items(index);
    auto holder = std::make_unique<TReportVar>(key, this);
    HolderCreated(*holder);
    return *Insert(insertAt, std::move(holder));
}

TReportVar &TCustomParamList::AddCopy(const TReportVar &source)
{
    if (TReportVar *holder = Unpark()) {
        holder->CopyFrom(source);
        return *holder;
    }
    auto holder = std::make_unique<TReportVar>(source.Name(), this);
    holder->Assign(source);
    return Add(std::move(holder));
}

TReportVar &TCustomParamList::AddTaken(TReportVar &source)
{
    if (TReportVar *holder = Unpark()) {
        holder->TakeFrom(source);
        return *holder;
    }
    auto holder = std::make_unique<TReportVar>(source.Name(), this);
    holder->TakeFresh(source);
    return Add(std::move(holder));
}

TReportVar &TCustomParamList::addNew(const TReportVar &like)
{
    return Add(std::make_unique<TReportVar>(like.Name(), this));
}

void TCustomParamList::Clear()
{
    constexpr size_t MaxSpares = 32;
    // drops their texts and automation references now
    ParkAll(MaxSpares, [](TReportVar &holder) { holder.Clear(); });
}

TReportVar &TCustomParamList::Add(std::unique_ptr<TReportVar> holder)
{
    holder->SetOwned(true);
    return *TCustomVarList::Add(std::move(holder));
}
