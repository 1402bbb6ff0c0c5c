#include "RowStore.h"
#include "StatementWatch.h"

#include "common/Exceptions.h"

#include <algorithm>

// Reads the next row with `fetch`; at the end, or on an error, the result
// is `exhausted`.
static bool fetchRow(const TRowFetch &fetch, QVariant *row, bool &exhausted)
{
    if (exhausted)
        return false;
    try {
        exhausted = !fetch(row);
    } catch (...) {
        exhausted = true;
        throw;
    }
    return !exhausted;
}

// ---------------------------------------------------------------- forward

TForwardRows::TForwardRows(int width, TRowFetch fetch) : m_width(width), m_fetch(std::move(fetch)) {}

bool TForwardRows::Reach(qint64 index)
{
    if (index < m_first)
        return false;   // gone: the dataset says why
    while (index >= Count()) {
        // keep only the current row: the next one takes the held rows' place
        m_next.resize(size_t(m_width));
        if (!fetchRow(m_fetch, m_next.data(), m_exhausted))
            return false;
        m_first = Count();
        m_rows.swap(m_next);
        m_rows.resize(size_t(m_width));
        ++m_generation;
    }
    return true;
}

void TForwardRows::ReachEnd()
{
    while (Reach(Count())) {
    }
}

void TForwardRows::Read(qint64 index, QVariant *out)
{
    std::copy_n(Row(index), m_width, out);
}

QVariant TForwardRows::Value(qint64 index, int column)
{
    return Row(index)[column];
}

void TForwardRows::Replace(qint64 index, const QVariant *, const QVariant *row)
{
    std::copy_n(row, m_width, m_rows.begin() + (index - m_first) * m_width);
    ++m_generation;
}

void TForwardRows::Insert(qint64 index, const QVariant *row)
{
    m_rows.insert(m_rows.begin() + (index - m_first) * m_width, row, row + m_width);
    ++m_generation;
}

void TForwardRows::Erase(qint64 index, const QVariant *)
{
    const auto at = m_rows.begin() + (index - m_first) * m_width;
    m_rows.erase(at, at + m_width);
    ++m_generation;
}

// ---------------------------------------------------------------- cached

TCachedRows::TCachedRows(int width, TRowFetch fetch) : m_width(width), m_fetch(std::move(fetch))
{
    m_cache.Reset(width);
}

bool TCachedRows::fetchOne()
{
    // read into a row of empty values and pack it
    m_spare.resize(size_t(m_width));
    struct Emptier {
        std::vector<QVariant> &row;
        ~Emptier() { for (QVariant &v : row) v.clear(); }
    } emptier{m_spare};
    if (!fetchRow(m_fetch, m_spare.data(), m_exhausted))
        return false;
    m_cache.Append(m_spare.data());
    m_ids.push_back(m_nextId++);
    return true;
}

bool TCachedRows::Reach(qint64 index)
{
    while (index >= Count())
        if (!fetchOne())
            return false;
    return index >= 0;
}

void TCachedRows::ReachEnd()
{
    while (fetchOne()) {
    }
}

void TCachedRows::Insert(qint64 index, const QVariant *row)
{
    m_cache.Insert(index, row);
    m_ids.insert(m_ids.begin() + index, m_nextId++);
}

void TCachedRows::Erase(qint64 index, const QVariant *)
{
    m_cache.Erase(index);
    m_ids.erase(m_ids.begin() + index);
}

qint64 TCachedRows::IndexOfId(qint64 id) const
{
    // ids ascend except where records were inserted; try a binary search first
    auto it = std::lower_bound(m_ids.begin(), m_ids.end(), id);
    if (it != m_ids.end() && *it == id)
        return it - m_ids.begin();
    auto lin = std::find(m_ids.begin(), m_ids.end(), id);
    return lin == m_ids.end() ? -1 : lin - m_ids.begin();
}

// ---------------------------------------------------------------- windowed

TWindowRows::TWindowRows(int width, TRowWindow &window, std::vector<QVariant> first, int firstCount,
                         std::vector<int> identity)
    : m_width(width), m_window(window), m_identity(std::move(identity))
{
    m_reached = firstCount;
    const bool failing = firstCount < WindowRows && window.Failing();
    if (firstCount < WindowRows && !failing)
        m_count = firstCount;   // the whole result fits the first window
    keep(0, std::move(first), firstCount, failing);
}

qint64 TWindowRows::Count() const
{
    return (m_count >= 0 ? m_count : m_reached) + qint64(m_pinned.size());
}

void TWindowRows::ReachEnd()
{
    if (m_count >= 0)
        return;
    // a live window counts what it reads: the rows not left out
    m_count = RunWatched([this] { return m_window.Count(); }) - (m_window.Live() ? 0 : qint64(m_out.size()));
    m_reached = m_count;
}

TWindowRows::TPinned *TWindowRows::pinnedAt(qint64 index, qint64 *before)
{
    return const_cast<TPinned *>(std::as_const(*this).pinnedAt(index, before));
}

const TWindowRows::TPinned *TWindowRows::pinnedAt(qint64 index, qint64 *before) const
{
    auto it = std::lower_bound(m_pinned.begin(), m_pinned.end(), index,
                               [](const TPinned &p, qint64 i) { return p.index < i; });
    if (before)
        *before = it - m_pinned.begin();
    return it != m_pinned.end() && it->index == index ? &*it : nullptr;
}

qint64 TWindowRows::sourceOf(qint64 index) const
{
    qint64 before = 0;
    pinnedAt(index, &before);
    // the rank among the rows not taken out, then past those taken out
    const qint64 rank = index - before;
    qint64 source = rank;
    for (qint64 out : m_out) {
        if (out > source)
            break;
        ++source;
    }
    return source;
}

qint64 TWindowRows::offsetOf(qint64 source) const
{
    if (!m_window.Live())
        return source;
    return source - (std::lower_bound(m_out.begin(), m_out.end(), source) - m_out.begin());
}

bool TWindowRows::Reach(qint64 index)
{
    if (index < 0)
        return false;
    if (index < Count())
        return true;
    if (m_count >= 0)
        return false;
    // past the rows known so far: the window that holds the row says
    // whether the result has it, or what stopped it before
    const qint64 offset = offsetOf(sourceOf(index));
    const TWindow &w = window(offset / WindowRows);
    if (w.failing && offset % WindowRows >= w.rows) {
        std::vector<QVariant> row(static_cast<size_t>(m_width));
        m_window.Read(offset - offset % WindowRows + w.rows, 1, row.data());
    }
    return index < Count();
}

TWindowRows::TWindow &TWindowRows::window(qint64 number)
{
    auto it = m_windows.find(number);
    if (it != m_windows.end()) {
        m_uses.splice(m_uses.begin(), m_uses, it->second.use);
        return it->second;
    }
    // while a long statement's busy window lets messages run, its
    // connection is in the middle of that statement: a grid painted now
    // shows what it holds, and reads the rest afterwards
    if (TStatementWatch::Waiting())
        throw Exception(QStringLiteral("Выполняется запрос: дождитесь его окончания"));
    std::vector<QVariant> values(size_t(WindowRows) * size_t(m_width));
    const qint64 offset = number * WindowRows;
    const int rows = m_window.Read(offset, WindowRows, values.data());
    // rows of the result up to the window's end, less those taken out
    const qint64 out = m_window.Live() ? 0 : qint64(std::lower_bound(m_out.begin(), m_out.end(), offset + rows)
                                                    - m_out.begin());
    const bool failing = rows < WindowRows && m_window.Failing();
    if (rows < WindowRows && !failing && m_count < 0) {
        // the end of the result: counted for free, unless the window lies
        // past it, where the engine counts
        if (rows > 0 || offset <= m_reached)
            m_count = offset + rows - out;
        else
            ReachEnd();
        m_reached = m_count;
    } else if (m_count < 0) {
        m_reached = std::max(m_reached, offset + rows - out);
    }
    values.resize(size_t(rows) * size_t(m_width));
    keep(number, std::move(values), rows, failing);
    return m_windows.find(number)->second;
}

void TWindowRows::keep(qint64 number, std::vector<QVariant> values, int rows, bool failing)
{
    if (m_windows.size() >= MaxWindows) {
        const qint64 oldest = m_uses.back();
        m_uses.pop_back();
        m_windows.erase(oldest);
    }
    m_uses.push_front(number);
    m_windows[number] = TWindow{std::move(values), rows, failing, m_uses.begin()};
}

void TWindowRows::forget()
{
    m_windows.clear();
    m_uses.clear();
}

const QVariant *TWindowRows::sourceRow(qint64 source)
{
    const qint64 offset = offsetOf(source);
    TWindow &w = window(offset / WindowRows);
    const qint64 at = offset % WindowRows;
    if (at < w.rows)
        return w.values.data() + size_t(at) * size_t(m_width);
    // someone else deleted rows of a live result: what is left of the
    // count shows as empty rows until the dataset is opened again
    if (m_blank.size() < size_t(m_width))
        m_blank.resize(size_t(m_width));
    return m_blank.data();
}

void TWindowRows::Read(qint64 index, QVariant *out)
{
    const TPinned *p = pinnedAt(index);
    std::copy_n(p ? p->values.data() : sourceRow(sourceOf(index)), m_width, out);
}

QVariant TWindowRows::Value(qint64 index, int column)
{
    const TPinned *p = pinnedAt(index);
    return p ? p->values[size_t(column)] : sourceRow(sourceOf(index))[column];
}

void TWindowRows::exclude(const QVariant *row)
{
    if (!m_window.Live() || m_identity.empty())
        return;
    QVariantList key;
    for (int c : m_identity) {
        if (!row[c].isValid() || row[c].isNull())
            return;   // not in the table (yet): nothing to leave out
        key.append(row[c]);
    }
    if (std::find(m_excluded.begin(), m_excluded.end(), key) != m_excluded.end())
        return;
    m_excluded.push_back(key);
    m_window.Exclude(m_identity, m_excluded);
    forget();
}

void TWindowRows::takeOut(qint64 source)
{
    m_out.insert(std::lower_bound(m_out.begin(), m_out.end(), source), source);
    if (m_count > 0)
        --m_count;
    if (m_reached > 0)
        --m_reached;
    if (m_window.Live())
        forget();   // the rows after it are read one place earlier
}

void TWindowRows::shift(qint64 from, int by)
{
    for (TPinned &p : m_pinned)
        if (p.index >= from)
            p.index += by;
}

void TWindowRows::Replace(qint64 index, const QVariant *was, const QVariant *row)
{
    if (TPinned *p = pinnedAt(index)) {
        p->values.assign(row, row + m_width);
    } else {
        // the row keeps its identity for bookmarks
        const qint64 source = sourceOf(index);
        takeOut(source);
        qint64 before = 0;
        pinnedAt(index, &before);
        m_pinned.insert(m_pinned.begin() + before,
                        TPinned{index, 2 * source, std::vector<QVariant>(row, row + m_width)});
    }
    // the row as read and as it is now are both left out of what a live
    // window reads (its key may have changed)
    exclude(was);
    exclude(row);
    ++m_generation;
}

void TWindowRows::Insert(qint64 index, const QVariant *row)
{
    shift(index, 1);
    qint64 before = 0;
    pinnedAt(index, &before);
    m_pinned.insert(m_pinned.begin() + before, TPinned{index, 2 * m_nextPin++ + 1, std::vector<QVariant>(row, row + m_width)});
    exclude(row);
    ++m_generation;
}

void TWindowRows::Erase(qint64 index, const QVariant *was)
{
    qint64 before = 0;
    if (pinnedAt(index, &before))
        m_pinned.erase(m_pinned.begin() + before);
    else
        takeOut(sourceOf(index));
    // with cached updates the row is still in the table until applied
    exclude(was);
    shift(index + 1, -1);
    ++m_generation;
}

qint64 TWindowRows::IdOf(qint64 index) const
{
    if (const TPinned *p = pinnedAt(index))
        return p->id;
    return 2 * sourceOf(index);
}

qint64 TWindowRows::IndexOfId(qint64 id) const
{
    for (const TPinned &p : m_pinned)
        if (p.id == id)
            return p.index;
    if (id % 2)
        return -1;   // an inserted row, deleted since
    const qint64 source = id / 2;
    const auto out = std::lower_bound(m_out.begin(), m_out.end(), source);
    if (out != m_out.end() && *out == source)
        return -1;
    // its rank among the rows not taken out, then past the pinned rows
    qint64 index = source - (out - m_out.begin());
    for (const TPinned &p : m_pinned) {
        if (p.index > index)
            break;
        ++index;
    }
    return index < Count() ? index : -1;
}
