#pragma once

#include "Engine.h"
#include "RowCache.h"

#include <QVariant>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <vector>

// Where a dataset keeps the rows of its result, by 0-based position. Three
// kinds serve the three ways rows are read:
//   TForwardRows  a one-directional walk (reports): the current row only
//   TCachedRows   rows read in order on demand and kept, packed (small
//                 results, lists, rows a statement can give only in order)
//   TWindowRows   any row of a result of any size reached at once: windows
//                 of rows read by position, a bounded number kept (grids)
// Every kind takes the dataset's own inserts, edits and deletes, so that
// what it shows follows them.
class TRowStore {
public:
    virtual ~TRowStore() = default;

    // Rows at hand from the first: those read so far, or all of them once
    // Complete.
    virtual qint64 Count() const = 0;
    // Whether Count is every row of the result.
    virtual bool Complete() const = 0;
    // Makes row `index` available (reading on, or reading its window);
    // false when the result has no such row. Raises what the engine raises.
    virtual bool Reach(qint64 index) = 0;
    // Makes the count final (reading to the end, or counting).
    virtual void ReachEnd() = 0;

    // A row that was reached: all its values, or one.
    virtual void Read(qint64 index, QVariant *out) = 0;
    virtual QVariant Value(qint64 index, int column) = 0;

    // The dataset's own changes; `was`: the row as it was read (the
    // database may no longer have it).
    virtual void Replace(qint64 index, const QVariant *was, const QVariant *row) = 0;
    virtual void Insert(qint64 index, const QVariant *row) = 0;
    virtual void Erase(qint64 index, const QVariant *was) = 0;

    // Identities of rows for bookmarks: an id stays with its row while the
    // row is in the dataset (a windowed store's ids are positions).
    virtual qint64 IdOf(qint64 index) const = 0;
    virtual qint64 IndexOfId(qint64 id) const = 0;
    // Changes whenever a row already read changes, moves or goes.
    virtual quint64 Generation() const = 0;

    // A one-directional store keeps no row before the current one: the
    // first it holds.
    virtual bool OneWay() const { return false; }
    virtual qint64 FirstHeld() const { return 0; }
    // A row read in place, where the store keeps it so (null: Read it).
    virtual const QVariant *InPlace(qint64 index) const
    {
        Q_UNUSED(index);
        return nullptr;
    }
    // A walk through the rows starts or ends (the dataset's controls are
    // disabled): a windowed store reads on where the last window ended
    // while it lasts.
    virtual void Walking(bool on) { Q_UNUSED(on); }
};

// Reads the next row of a result into `row`; false at the end.
using TRowFetch = std::function<bool(QVariant *row)>;

// The current row of a walk, and the rows inserted at it.
class TForwardRows : public TRowStore {
public:
    TForwardRows(int width, TRowFetch fetch);

    qint64 Count() const override { return m_first + qint64(m_rows.size() / size_t(m_width ? m_width : 1)); }
    bool Complete() const override { return m_exhausted; }
    bool Reach(qint64 index) override;
    void ReachEnd() override;
    void Read(qint64 index, QVariant *out) override;
    QVariant Value(qint64 index, int column) override;
    void Replace(qint64 index, const QVariant *was, const QVariant *row) override;
    void Insert(qint64 index, const QVariant *row) override;
    void Erase(qint64 index, const QVariant *was) override;
    qint64 IdOf(qint64 index) const override { return index; }
    qint64 IndexOfId(qint64 id) const override { return id >= m_first && id < Count() ? id : -1; }
    quint64 Generation() const override { return m_generation; }
    bool OneWay() const override { return true; }
    qint64 FirstHeld() const override { return m_first; }
    const QVariant *InPlace(qint64 index) const override { return Row(index); }

    // The held rows, to read in place.
    const QVariant *Row(qint64 index) const { return m_rows.data() + size_t(index - m_first) * size_t(m_width); }

private:
    int m_width;
    TRowFetch m_fetch;
    std::vector<QVariant> m_rows;   // rows [m_first, Count())
    std::vector<QVariant> m_next;   // the row being read
    qint64 m_first = 0;
    bool m_exhausted = false;
    quint64 m_generation = 0;
};

// Rows read in order and kept, packed in a TRowCache.
class TCachedRows : public TRowStore {
public:
    TCachedRows(int width, TRowFetch fetch);

    qint64 Count() const override { return qint64(m_ids.size()); }
    bool Complete() const override { return m_exhausted; }
    bool Reach(qint64 index) override;
    void ReachEnd() override;
    void Read(qint64 index, QVariant *out) override { m_cache.Read(index, out); }
    QVariant Value(qint64 index, int column) override { return m_cache.Value(index, column); }
    void Replace(qint64 index, const QVariant *, const QVariant *row) override { m_cache.Replace(index, row); }
    void Insert(qint64 index, const QVariant *row) override;
    void Erase(qint64 index, const QVariant *was) override;
    qint64 IdOf(qint64 index) const override { return m_ids[size_t(index)]; }
    qint64 IndexOfId(qint64 id) const override;
    quint64 Generation() const override { return m_cache.Generation(); }

private:
    bool fetchOne();

    int m_width;
    TRowFetch m_fetch;
    TRowCache m_cache;
    std::vector<qint64> m_ids;       // identity of each row, for bookmarks
    std::vector<QVariant> m_spare;   // a row being read, before it is kept
    qint64 m_nextId = 0;
    bool m_exhausted = false;
};

// Rows reached by position through a TRowWindow, in windows of WindowRows
// rows, at most MaxWindows of them kept (the least recently used goes).
//
// The dataset's own changes are laid over the result. A row it inserted or
// changed is pinned: kept here, at the place it is shown, until the dataset
// closes. The result's own rows fill the places between the pinned ones in
// their order, less the rows taken out (deleted, or pinned by a change);
// each is known by its place in the result as it was opened, its source.
// A snapshot window (PostgreSQL's held cursor) still holds the result as it
// was, so a source row is read at its source. A live window (SQLite's
// statement run again for each window) reads the database as it is, with
// the pinned rows left out of it by their identity (TRowWindow::Exclude):
// a source row is read at its rank among the rows not taken out.
class TWindowRows : public TRowStore {
public:
    static constexpr int WindowRows = 256;
    static constexpr size_t MaxWindows = 48;

    // `first`: the rows of the first window, read when the window opened
    // (`firstCount` of them, a whole window or fewer at the end).
    // `identity`: the columns that find a row again in a live window.
    TWindowRows(int width, TRowWindow &window, std::vector<QVariant> first, int firstCount,
                std::vector<int> identity);

    qint64 Count() const override;
    bool Complete() const override { return m_count >= 0; }
    bool Reach(qint64 index) override;
    void ReachEnd() override;
    void Read(qint64 index, QVariant *out) override;
    QVariant Value(qint64 index, int column) override;
    void Replace(qint64 index, const QVariant *was, const QVariant *row) override;
    void Insert(qint64 index, const QVariant *row) override;
    void Erase(qint64 index, const QVariant *was) override;
    qint64 IdOf(qint64 index) const override;
    qint64 IndexOfId(qint64 id) const override;
    quint64 Generation() const override { return m_generation; }
    void Walking(bool on) override { m_window.Walking(on); }

    // Windows held now (for tests of the bound).
    size_t HeldWindows() const { return m_windows.size(); }

private:
    struct TPinned {
        qint64 index = 0;             // where it is shown
        qint64 id = 0;
        std::vector<QVariant> values;
    };
    struct TWindow {
        std::vector<QVariant> values;
        int rows = 0;
        bool failing = false;   // an error ended it after `rows` rows
        std::list<qint64>::iterator use;
    };
    // The pinned row shown at `index`, or null; `before`: pinned rows
    // shown before it.
    TPinned *pinnedAt(qint64 index, qint64 *before = nullptr);
    const TPinned *pinnedAt(qint64 index, qint64 *before = nullptr) const;
    // The source of the result's row shown at `index` (not a pinned one),
    // and where the window reads it.
    qint64 sourceOf(qint64 index) const;
    qint64 offsetOf(qint64 source) const;
    const QVariant *sourceRow(qint64 source);
    TWindow &window(qint64 number);
    void keep(qint64 number, std::vector<QVariant> values, int rows, bool failing = false);
    // The result's rows taken out or in: counts, and what a live window
    // leaves out.
    void takeOut(qint64 source);
    void shift(qint64 from, int by);
    void exclude(const QVariant *row);
    void forget();

    int m_width;
    TRowWindow &m_window;
    std::vector<int> m_identity;
    qint64 m_count = -1;          // rows of the result not taken out; -1 until known
    qint64 m_reached = 0;         // of them, those known to be there
    std::map<qint64, TWindow> m_windows;   // by the window's number (offset / WindowRows)
    std::list<qint64> m_uses;              // window numbers, the most recent first
    std::vector<TPinned> m_pinned;         // by index
    std::vector<qint64> m_out;             // sources taken out, ascending
    std::vector<QVariantList> m_excluded;  // identities a live window leaves out
    std::vector<QVariant> m_blank;         // a row someone else deleted
    qint64 m_nextPin = 0;
    quint64 m_generation = 0;
};
