#pragma once

#include <QtGlobal>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

// An owning list: clearing or destroying it frees its entries. It is the base
// of the variable and parameter lists, the value stack and the command lists,
// and of other lists of objects that live exactly as long as their list.
//
// A derived list may also keep references to objects that live elsewhere
// (the parameter list keeps the variables passed by reference); such entries
// are only dropped, never freed.
template <class T>
class TListPool {
public:
    TListPool() = default;
    TListPool(const TListPool &) = delete;
    TListPool &operator=(const TListPool &) = delete;
    virtual ~TListPool() = default;

    int Count() const { return int(m_items.size()); }
    // Changes with every entry added, removed or moved, so that what was
    // worked out from the entries can tell when it is out of date.
    quint32 Version() const { return m_version; }
    bool IsEmpty() const { return m_items.empty(); }
    T *Items(int index) const { return m_items[size_t(index)].get(); }
    T *operator[](int index) const { return Items(index); }
    T *Last() const { return m_items.empty() ? nullptr : m_items.back().get(); }

    // Appends an entry that the list owns from now on; returns it.
    T *Add(std::unique_ptr<T> item)
    {
        T *p = item.release();
        m_items.emplace_back(p, TDeleter{true});
        ++m_version;
        return p;
    }
    T *Insert(int index, std::unique_ptr<T> item)
    {
        T *p = item.release();
        m_items.insert(m_items.begin() + index, Entry(p, TDeleter{true}));
        ++m_version;
        return p;
    }

    // Removes the entry at `index` and hands it over (empty for an entry the
    // list only refers to).
    std::unique_ptr<T> Extract(int index)
    {
        Entry &e = m_items[size_t(index)];
        std::unique_ptr<T> p(e.get_deleter().owned ? e.release() : nullptr);
        m_items.erase(m_items.begin() + index);
        ++m_version;
        return p;
    }

    // Frees (or, for a reference, drops) the entry at `index`.
    void Delete(int index)
    {
        m_items.erase(m_items.begin() + index);
        ++m_version;
    }

    // Frees every owned entry and empties the list.
    virtual void Clear()
    {
        m_items.clear();
        ++m_version;
    }

    // Calls `proc` for every entry, first to last.
    void ForEach(const std::function<void(T &)> &proc) const
    {
        for (const Entry &e : m_items)
            proc(*e);
    }
    // The first entry for which `test` holds, or none.
    T *FirstThat(const std::function<bool(const T &)> &test) const
    {
        for (const Entry &e : m_items)
            if (test(*e))
                return e.get();
        return nullptr;
    }

protected:
    // Appends an entry that stays owned by someone else.
    void AddReference(T *item)
    {
        m_items.emplace_back(item, TDeleter{false});
        ++m_version;
    }
    bool OwnsItem(int index) const { return m_items[size_t(index)].get_deleter().owned; }
    // Moves every entry of `other`, owned or referenced as it was, to the end
    // of this list; `other` is left empty.
    void TakeAllFrom(TListPool &other)
    {
        for (Entry &e : other.m_items)
            m_items.push_back(std::move(e));
        other.m_items.clear();
        ++m_version;
        ++other.m_version;
    }
    // Removes the last entry without freeing it; the caller owns it when
    // the list did.
    std::unique_ptr<T> ExtractLast()
    {
        std::unique_ptr<T> p(m_items.back().release());
        m_items.pop_back();
        ++m_version;
        return p;
    }

private:
    struct TDeleter {
        bool owned = true;
        void operator()(T *p) const
        {
            if (owned)
                delete p;
        }
    };
    using Entry = std::unique_ptr<T, TDeleter>;
    std::vector<Entry> m_items;
    quint32 m_version = 0;
};
