#pragma once

#include <QVariant>
#include <memory>
#include <vector>

// The rows a scrollable dataset has read, packed. Each row is encoded into a
// byte arena as a tag byte per value followed by its payload (numbers as
// variable-length integers, texts as Latin-1 bytes when every character fits
// and as UTF-16 otherwise, dates as day numbers, times and date-times as
// milliseconds); a value of any other kind is kept aside as it is. A vector
// of positions gives the order of the rows, so inserting or deleting a row
// moves only positions, and a changed row is encoded anew at the end of the
// arena. Every value comes back with the same type, nullness and contents it
// went in with.
class TRowCache {
public:
    TRowCache();
    ~TRowCache();
    TRowCache(const TRowCache &) = delete;
    TRowCache &operator=(const TRowCache &) = delete;

    // Drops every row and frees the memory; rows then have `width` values.
    void Reset(int width);
    qint64 Count() const { return qint64(m_pos.size()); }

    void Append(const QVariant *row);
    void Insert(qint64 at, const QVariant *row);
    void Replace(qint64 at, const QVariant *row);
    void Erase(qint64 at);

    // One value of a row, and a whole row into `out` (width values).
    QVariant Value(qint64 row, int column) const;
    void Read(qint64 row, QVariant *out) const;

    // Changes whenever a row already in the cache changes, moves or goes
    // (not when rows are appended).
    quint64 Generation() const { return m_generation; }

    // Bytes held by the encoded rows, dead ones included.
    size_t ArenaBytes() const;

private:
    quint64 store(const QVariant *row);
    quint64 place(const uchar *bytes, size_t n);
    const uchar *address(quint64 pos) const;
    size_t rowBytes(quint64 pos) const;
    uchar *room(size_t n);
    void encode(const QVariant &v);
    QVariant decode(const uchar *&p) const;
    void retire(quint64 pos);
    void compact();

    int m_width = 0;
    std::vector<quint64> m_pos;                   // per row: block << 32 | offset
    std::vector<std::unique_ptr<uchar[]>> m_blocks;
    std::vector<size_t> m_blockSizes;
    static constexpr size_t NoBlock = size_t(-1);
    size_t m_open = NoBlock;                      // the block rows are added to
    size_t m_used = 0;                            // bytes of it in use
    size_t m_stored = 0;                          // bytes of every row stored, dead ones too
    size_t m_dead = 0;                            // bytes of rows replaced or erased
    std::vector<QVariant> m_aside;                // values of kinds not encoded (kept until Reset)
    std::vector<uchar> m_scratch;                 // the row being encoded
    size_t m_scratchUsed = 0;
    quint64 m_generation = 0;
};
