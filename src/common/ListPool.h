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
//
// A derived list may park owned entries it means to use again (the
// parameter list keeps its argument holders from call to call): parked
// entries stay behind the last entry, out of the list's count, and are freed
// with the list.
template <class T>
class TListPool {
public:
    TListPool() = default;
    TListPool(const TListPool &) = delete;
    TListPool &operator=(const TListPool &) = delete;
    virtual ~TListPool() = default;

    int Count() const { return m_count; }
    // Changes with every entry added, removed or moved, so that what was
    // worked out from the entries can tell when it is out of date.
    quint32 Version() const { return m_version; }
    bool IsEmpty() const { return m_count == 0; }
    T *Items(int index) const { return m_items[size_t(index)].get(); }
    T *operator[](int index) const { return Items(index); }
    T *Last() const { return m_count == 0 ? nullptr : m_items[size_t(m_count - 1)].get(); }

    // Appends an entry that the list owns from now on; returns it.
    T *Add(std::unique_ptr<T> item)
    {
        T *p = item.release();
        append(Entry(p, TDeleter{true}));
        return p;
    }
    T *Insert(int index, std::unique_ptr<T> item)
    {
        T *p = item.release();
        m_items.insert(m_items.begin() + index, Entry(p, TDeleter{true}));
        ++m_count;
        ++m_version;
        return p;
    }

    // Removes the entry at `index` and hands it over (empty for an entry the
    // list only refers to).
    std::unique_ptr<T> Extract(int index)
    {
        Entry &e = m_items[size_t(index)];
        std::unique_ptr<T> p(e.get_deleter().owned ? e.release() : nullptr);
        Delete(index);
        return p;
    }

    // Frees (or, for a reference, drops) the entry at `index`.
    void Delete(int index)
    {
        m_items.erase(m_items.begin() + index);
        --m_count;
        ++m_version;
    }

    // Frees every owned entry, parked ones included, and empties the list.
    virtual void Clear()
    {
        m_items.clear();
        m_count = 0;
        ++m_version;
    }

    // Calls `proc` for every entry, first to last.
    void ForEach(const std::function<void(T &)> &proc) const
    {
        for (int i = 0; i < m_count; ++i)
            proc(*m_items[size_t(i)]);
    }
    // The first entry for which `test` holds, or none.
    T *FirstThat(const std::function<bool(const T &)> &test) const
    {
        for (int i = 0; i < m_count; ++i)
            if (test(*m_items[size_t(i)]))
                return m_items[size_t(i)].get();
        return nullptr;
    }

protected:
    // Appends an entry that stays owned by someone else.
    void AddReference(T *item) { append(Entry(item, TDeleter{false})); }
    bool OwnsItem(int index) const { return m_items[size_t(index)].get_deleter().owned; }
    // Moves every entry of `other`, owned or referenced as it was, to the end
    // of this list; `other` is left empty, with its parked entries.
    void TakeAllFrom(TListPool &other)
    {
        m_items.insert(m_items.begin() + m_count, std::make_move_iterator(other.m_items.begin()),
                       std::make_move_iterator(other.m_items.begin() + other.m_count));
        m_count += other.m_count;
        other.m_items.erase(other.m_items.begin(), other.m_items.begin() + other.m_count);
        other.m_count = 0;
        ++m_version;
        ++other.m_version;
    }

    // The first parked entry, taken back as the list's new last entry; none
    // when nothing is parked.
    T *Unpark()
    {
        if (size_t(m_count) == m_items.size())
            return nullptr;
        ++m_version;
        return m_items[size_t(m_count++)].get();
    }
    // Parks every entry: references are dropped, owned entries kept behind
    // the (now empty) list, `keep` of them at most; `prepare` is called for
    // each live entry kept.
    template <class Prepare>
    void ParkAll(size_t keep, Prepare prepare)
    {
        if (m_count == 0)
            return;   // what is parked is prepared already
        bool allOwned = m_items.size() <= keep;
        for (int i = 0; i < m_count && allOwned; ++i)
            allOwned = m_items[size_t(i)].get_deleter().owned;
        if (allOwned) {
            // the common case: argument copies only, parked where they are
            for (int i = 0; i < m_count; ++i)
                prepare(*m_items[size_t(i)]);
        } else {
            size_t kept = 0;
            for (size_t i = 0; i < m_items.size(); ++i) {
                Entry &e = m_items[i];
                if (!e.get_deleter().owned || kept == keep)
                    continue;
                if (i < size_t(m_count))
                    prepare(*e);
                if (kept != i)
                    m_items[kept] = std::move(e);
                ++kept;
            }
            m_items.resize(kept);   // frees the rest, drops the references
        }
        m_count = 0;
        ++m_version;
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

    void append(Entry e)
    {
        if (size_t(m_count) == m_items.size())
            m_items.push_back(std::move(e));
        else
            m_items.insert(m_items.begin() + m_count, std::move(e));
        ++m_count;
        ++m_version;
    }

    std::vector<Entry> m_items;   // [0, m_count) the list, the rest parked
    int m_count = 0;
    quint32 m_version = 0;
};
