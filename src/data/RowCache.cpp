#include "RowCache.h"

#include <QDateTime>
#include <algorithm>
#include <cstring>

namespace {

// The first byte of every encoded value.
enum Tag : uchar {
    tInvalid,     // QVariant()
    tNull,        // a null value of a type: the type's id follows
    tFalse,
    tTrue,
    tInt,         // zigzag varint
    tLongLong,    // zigzag varint
    tUInt,        // varint
    tULongLong,   // varint
    tDouble,      // 8 bytes as they are in memory (so -0.0 and NaNs stay)
    tFloat,       // 4 bytes
    tTextNull,    // a null QString
    tLatin1,      // length, one byte per character
    tUtf16,       // length, two bytes per character
    tBytesNull,   // a null QByteArray
    tBytes,       // length, the bytes
    tDate,        // zigzag varint julian day (a null date too)
    tTime,        // varint milliseconds since midnight (valid times only)
    tDateTime,    // time spec byte, zigzag varint ms since the epoch[, zigzag varint offset]
    tAside        // varint index into the values kept as they are
};

constexpr size_t MinBlock = size_t(4) << 10;
constexpr size_t MaxBlock = size_t(1) << 20;
// Dead rows are dropped once they take this much and half of the arena.
constexpr size_t CompactAfter = size_t(256) << 10;

// A variable-length integer takes at most this many bytes.
constexpr size_t MaxVar = 10;

inline void putVar(uchar *&w, quint64 v)
{
    while (v >= 0x80) {
        *w++ = uchar(v) | 0x80;
        v >>= 7;
    }
    *w++ = uchar(v);
}

inline quint64 zigzag(qint64 v) { return (quint64(v) << 1) ^ quint64(v >> 63); }
inline qint64 unzigzag(quint64 v) { return qint64(v >> 1) ^ -qint64(v & 1); }

inline quint64 getVar(const uchar *&p)
{
    quint64 v = 0;
    int shift = 0;
    uchar b;
    do {
        b = *p++;
        v |= quint64(b & 0x7F) << shift;
        shift += 7;
    } while (b & 0x80);
    return v;
}

inline void skipVar(const uchar *&p)
{
    while (*p++ & 0x80) {}
}

// Moves `p` past one encoded value.
void skip(const uchar *&p)
{
    switch (*p++) {
    case tNull: case tInt: case tLongLong: case tUInt: case tULongLong: case tDate: case tTime: case tAside:
        skipVar(p);
        break;
    case tDouble:
        p += sizeof(double);
        break;
    case tFloat:
        p += sizeof(float);
        break;
    case tLatin1: case tBytes:
        p += getVar(p);
        break;
    case tUtf16:
        p += 2 * getVar(p);
        break;
    case tDateTime:
        if (Qt::TimeSpec(*p++) == Qt::OffsetFromUTC)
            skipVar(p);
        skipVar(p);
        break;
    default:   // no payload
        break;
    }
}

} // namespace

TRowCache::TRowCache() = default;
TRowCache::~TRowCache() = default;

void TRowCache::Reset(int width)
{
    m_width = width;
    std::vector<quint64>().swap(m_pos);
    std::vector<std::unique_ptr<uchar[]>>().swap(m_blocks);
    std::vector<size_t>().swap(m_blockSizes);
    std::vector<QVariant>().swap(m_aside);
    std::vector<uchar>().swap(m_scratch);
    m_open = NoBlock;
    m_used = m_stored = m_dead = 0;
    ++m_generation;
}

size_t TRowCache::ArenaBytes() const
{
    size_t n = 0;
    for (size_t s : m_blockSizes)
        n += s;
    return n;
}

const uchar *TRowCache::address(quint64 pos) const
{
    return m_blocks[size_t(pos >> 32)].get() + (pos & 0xFFFFFFFFu);
}

size_t TRowCache::rowBytes(quint64 pos) const
{
    const uchar *start = address(pos);
    const uchar *p = start;
    for (int c = 0; c < m_width; ++c)
        skip(p);
    return size_t(p - start);
}

uchar *TRowCache::room(size_t n)
{
    if (m_scratchUsed + n > m_scratch.size())
        m_scratch.resize(std::max(m_scratchUsed + n, 2 * m_scratch.size()));
    return m_scratch.data() + m_scratchUsed;
}

void TRowCache::encode(const QVariant &v)
{
    // the tag and the numbers of any value fit in this many bytes
    constexpr size_t Fixed = 2 + 2 * MaxVar;
    uchar *const start = room(Fixed);
    uchar *w = start;
    const auto done = [&] { m_scratchUsed += size_t(w - start); };
    if (!v.isValid()) {
        *w++ = tInvalid;
        return done();
    }
    const QMetaType type = v.metaType();
    const void *data = v.constData();
    if (v.isNull() && !(type.flags() & QMetaType::IsPointer)) {
        *w++ = tNull;
        putVar(w, quint64(uint(type.id())));
        return done();
    }
    switch (type.id()) {
    case QMetaType::Bool:
        *w++ = *static_cast<const bool *>(data) ? tTrue : tFalse;
        return done();
    case QMetaType::Int:
        *w++ = tInt;
        putVar(w, zigzag(*static_cast<const int *>(data)));
        return done();
    case QMetaType::LongLong:
        *w++ = tLongLong;
        putVar(w, zigzag(*static_cast<const qlonglong *>(data)));
        return done();
    case QMetaType::UInt:
        *w++ = tUInt;
        putVar(w, *static_cast<const uint *>(data));
        return done();
    case QMetaType::ULongLong:
        *w++ = tULongLong;
        putVar(w, *static_cast<const qulonglong *>(data));
        return done();
    case QMetaType::Double:
        *w++ = tDouble;
        std::memcpy(w, data, sizeof(double));
        w += sizeof(double);
        return done();
    case QMetaType::Float:
        *w++ = tFloat;
        std::memcpy(w, data, sizeof(float));
        w += sizeof(float);
        return done();
    case QMetaType::QString: {
        const QString &s = *static_cast<const QString *>(data);
        if (s.isNull()) {
            *w++ = tTextNull;
            return done();
        }
        const char16_t *u = reinterpret_cast<const char16_t *>(s.constData());
        const size_t n = size_t(s.size());
        const bool narrow = std::all_of(u, u + n, [](char16_t ch) { return ch < 0x100; });
        *w++ = narrow ? tLatin1 : tUtf16;
        putVar(w, n);
        done();
        uchar *o = room(narrow ? n : 2 * n);
        if (narrow) {
            for (size_t i = 0; i < n; ++i)
                o[i] = uchar(u[i]);
            m_scratchUsed += n;
        } else {
            std::memcpy(o, u, 2 * n);
            m_scratchUsed += 2 * n;
        }
        return;
    }
    case QMetaType::QByteArray: {
        const QByteArray &b = *static_cast<const QByteArray *>(data);
        if (b.isNull()) {
            *w++ = tBytesNull;
            return done();
        }
        const size_t n = size_t(b.size());
        *w++ = tBytes;
        putVar(w, n);
        done();
        std::memcpy(room(n), b.constData(), n);
        m_scratchUsed += n;
        return;
    }
    case QMetaType::QDate:
        *w++ = tDate;
        putVar(w, zigzag(static_cast<const QDate *>(data)->toJulianDay()));
        return done();
    case QMetaType::QTime: {
        const QTime &t = *static_cast<const QTime *>(data);
        if (!t.isValid())
            break;
        *w++ = tTime;
        putVar(w, quint64(t.msecsSinceStartOfDay()));
        return done();
    }
    case QMetaType::QDateTime: {
        const QDateTime &dt = *static_cast<const QDateTime *>(data);
        const Qt::TimeSpec spec = dt.timeSpec();
        if (!dt.isValid() || spec == Qt::TimeZone)
            break;
        *w++ = tDateTime;
        *w++ = uchar(spec);
        if (spec == Qt::OffsetFromUTC)
            putVar(w, zigzag(dt.offsetFromUtc()));
        putVar(w, zigzag(dt.toMSecsSinceEpoch()));
        return done();
    }
    default:
        break;
    }
    *w++ = tAside;
    putVar(w, m_aside.size());
    m_aside.push_back(v);
    done();
}

QVariant TRowCache::decode(const uchar *&p) const
{
    switch (*p++) {
    case tNull:
        return QVariant(QMetaType(int(getVar(p))));
    case tFalse:
        return QVariant(false);
    case tTrue:
        return QVariant(true);
    case tInt:
        return QVariant(int(unzigzag(getVar(p))));
    case tLongLong:
        return QVariant(qlonglong(unzigzag(getVar(p))));
    case tUInt:
        return QVariant(uint(getVar(p)));
    case tULongLong:
        return QVariant(qulonglong(getVar(p)));
    case tDouble: {
        double d;
        std::memcpy(&d, p, sizeof d);
        p += sizeof d;
        return QVariant(d);
    }
    case tFloat: {
        float f;
        std::memcpy(&f, p, sizeof f);
        p += sizeof f;
        return QVariant(f);
    }
    case tTextNull:
        return QVariant(QString());
    case tLatin1: {
        const qsizetype n = qsizetype(getVar(p));
        const char *s = reinterpret_cast<const char *>(p);
        p += n;
        return QVariant(QString::fromLatin1(s, n));
    }
    case tUtf16: {
        const qsizetype n = qsizetype(getVar(p));
        QString s(n, Qt::Uninitialized);
        std::memcpy(s.data(), p, size_t(2 * n));
        p += 2 * n;
        return QVariant(std::move(s));
    }
    case tBytesNull:
        return QVariant(QByteArray());
    case tBytes: {
        const qsizetype n = qsizetype(getVar(p));
        const char *b = reinterpret_cast<const char *>(p);
        p += n;
        return QVariant(QByteArray(b, n));
    }
    case tDate:
        return QVariant(QDate::fromJulianDay(unzigzag(getVar(p))));
    case tTime:
        return QVariant(QTime::fromMSecsSinceStartOfDay(int(getVar(p))));
    case tDateTime: {
        const Qt::TimeSpec spec = Qt::TimeSpec(*p++);
        const int offset = spec == Qt::OffsetFromUTC ? int(unzigzag(getVar(p))) : 0;
        return QVariant(QDateTime::fromMSecsSinceEpoch(unzigzag(getVar(p)), spec, offset));
    }
    case tAside:
        return m_aside[size_t(getVar(p))];
    default:   // tInvalid
        return QVariant();
    }
}

quint64 TRowCache::store(const QVariant *row)
{
    m_scratchUsed = 0;
    for (int c = 0; c < m_width; ++c)
        encode(row[c]);
    return place(m_scratch.data(), m_scratchUsed);
}

quint64 TRowCache::place(const uchar *bytes, size_t n)
{
    if (n > MaxBlock) {
        // a row larger than a block gets one of its own
        m_blocks.emplace_back(new uchar[n]);
        m_blockSizes.push_back(n);
        std::memcpy(m_blocks.back().get(), bytes, n);
        m_stored += n;
        return quint64(m_blocks.size() - 1) << 32;
    }
    if (m_open == NoBlock || m_used + n > m_blockSizes[m_open]) {
        // blocks grow with the cache, so a short list stays small
        const size_t size = std::clamp(m_stored, MinBlock, MaxBlock);
        m_blocks.emplace_back(new uchar[std::max(size, n)]);
        m_blockSizes.push_back(std::max(size, n));
        m_open = m_blocks.size() - 1;
        m_used = 0;
    }
    if (n)
        std::memcpy(m_blocks[m_open].get() + m_used, bytes, n);
    const quint64 pos = (quint64(m_open) << 32) | m_used;
    m_used += n;
    m_stored += n;
    return pos;
}

void TRowCache::retire(quint64 pos)
{
    m_dead += rowBytes(pos);
}

void TRowCache::compact()
{
    if (m_dead < CompactAfter || 2 * m_dead < m_stored)
        return;
    // copy the live rows, in their order, into fresh blocks
    std::vector<std::unique_ptr<uchar[]>> blocks;
    blocks.swap(m_blocks);
    std::vector<size_t> sizes;
    sizes.swap(m_blockSizes);
    const std::vector<std::unique_ptr<uchar[]>> &old = blocks;
    m_open = NoBlock;
    m_used = m_stored = m_dead = 0;
    for (quint64 &pos : m_pos) {
        const uchar *start = old[size_t(pos >> 32)].get() + (pos & 0xFFFFFFFFu);
        const uchar *p = start;
        for (int c = 0; c < m_width; ++c)
            skip(p);
        pos = place(start, size_t(p - start));
    }
}

void TRowCache::Append(const QVariant *row)
{
    m_pos.push_back(store(row));
}

void TRowCache::Insert(qint64 at, const QVariant *row)
{
    const quint64 pos = store(row);
    m_pos.insert(m_pos.begin() + at, pos);
    ++m_generation;
}

void TRowCache::Replace(qint64 at, const QVariant *row)
{
    const quint64 pos = store(row);
    retire(m_pos[size_t(at)]);
    m_pos[size_t(at)] = pos;
    ++m_generation;
    compact();
}

void TRowCache::Erase(qint64 at)
{
    retire(m_pos[size_t(at)]);
    m_pos.erase(m_pos.begin() + at);
    ++m_generation;
    compact();
}

QVariant TRowCache::Value(qint64 row, int column) const
{
    const uchar *p = address(m_pos[size_t(row)]);
    for (int c = 0; c < column; ++c)
        skip(p);
    return decode(p);
}

void TRowCache::Read(qint64 row, QVariant *out) const
{
    const uchar *p = address(m_pos[size_t(row)]);
    for (int c = 0; c < m_width; ++c)
        out[c] = decode(p);
}
