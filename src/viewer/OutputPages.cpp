#include "OutputPages.h"

#include "common/CodePage.h"
#include "common/SafeFile.h"
#include "common/Exceptions.h"
#include "common/Format.h"
#include "common/TextFile.h"
#include "PdfDocument.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstring>

namespace {

quint16 clamp16(qint64 v)
{
    return quint16(std::clamp<qint64>(v, 0, 0xffff));
}

} // namespace

TOutputPages::TOutputPages() = default;
TOutputPages::~TOutputPages() = default;

void TOutputPages::Clear()
{
    m_lines.clear();
    m_pages.clear();
    m_mapper.SetFileName(QString());
    m_fileName.clear();
    m_cut = false;
}

void TOutputPages::Load(const QString &fileName, TPageGeometry::Orientation orientation,
                        std::shared_ptr<TPageGeometry> geometry,
                        std::unique_ptr<TTextMeasurer> measurer)
{
    Clear();
    m_orientation = orientation;
    m_geometry = geometry ? std::move(geometry) : DefaultPageGeometry();
    m_dpi = m_geometry->Dpi();
    m_pageWidth = m_geometry->PageWidth(orientation);
    m_pageHeight = m_geometry->PageHeight(orientation);
    if (measurer)
        m_measurer = std::move(measurer);
    else if (!m_measurer || m_measurer->Dpi() != m_dpi)
        m_measurer = CreateMeasurer(m_dpi);
    if (!QFileInfo::exists(fileName))
        throw Exception(QStringLiteral("Нет информации для просмотра"));
    try {
        m_mapper.SetFileName(fileName);
        m_fileName = fileName;
        m_table = CodePageChars(CodePageName());
        m_asciiCodes = !m_table.empty();
        for (const char c : {'\\', 'P', 'B', 'E'})
            m_asciiCodes = m_asciiCodes && m_table[uchar(c)] == char16_t(c);
        m_measurer->SetFont(TFontSpec::Default());
        split();
        paginate();
    } catch (...) {
        Clear();
        throw;
    }
}

void TOutputPages::Assign(const TOutputPages &other)
{
    Clear();
    m_orientation = other.m_orientation;
    m_geometry = other.m_geometry;
    m_dpi = other.m_dpi;
    m_pageWidth = other.m_pageWidth;
    m_pageHeight = other.m_pageHeight;
    m_table = other.m_table;
    m_asciiCodes = other.m_asciiCodes;
    m_measurer = CreateMeasurer(m_dpi);
    if (!other.IsLoaded())
        return;
    // the file the other pages were measured on, even if it was replaced
    m_mapper.OpenSame(other.m_mapper);
    m_fileName = other.m_fileName;
    m_lines = other.m_lines;
    m_lines.m_data = m_mapper.Data();
    m_pages = other.m_pages;
    // the file may have been cut since the other pages were loaded
    m_cut = other.m_cut || m_mapper.Size() < other.m_mapper.Size();
}

bool TOutputPages::Intact() const
{
    if (!m_cut && m_mapper.IsOpen() && m_mapper.CurrentSize() < m_mapper.Size())
        m_cut = true;
    return !m_cut;
}

void TOutputPages::checkIntact() const
{
    if (!Intact())
        throw Exception(QStringLiteral("Файл отчета %1 изменился: он стал короче, чем при загрузке").arg(m_fileName));
}

QString TOutputPages::decode(const char *bytes, qsizetype size) const
{
    if (m_table.empty())
        return DecodeText(QByteArray::fromRawData(bytes, size));
    QString text(size, Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = 0; i < size; ++i)
        out[i] = QChar(m_table[uchar(bytes[i])]);
    return text;
}

void TOutputPages::decodeInto(QString &text, const char *bytes, qsizetype size) const
{
    if (m_table.empty()) {
        text = DecodeText(QByteArray::fromRawData(bytes, size));
        return;
    }
    // the buffer's room is kept from line to line
    text.resize(size);
    QChar *out = text.data();
    for (qsizetype i = 0; i < size; ++i)
        out[i] = QChar(m_table[uchar(bytes[i])]);
}

TLine TLineIndex::operator[](size_t i) const
{
    TLine line = m_kinds[kind(i)];
    line.offset = Offset(i);
    line.length = quint16(std::min<qint64>(end(i) - line.offset, TOutputPages::MaxLineLength));
    return line;
}

TLine TLineIndex::at(size_t i) const
{
    if (i >= m_offsets.size())
        throw std::out_of_range("TLineIndex::at");
    return (*this)[i];
}

quint32 TLineIndex::kind(size_t i) const
{
    const auto it = std::upper_bound(m_runs.begin(), m_runs.end(), i,
                                     [](size_t line, const TRun &r) { return line < r.first; });
    return std::prev(it)->kind;
}

qint64 TLineIndex::Offset(size_t i) const
{
    const qint64 high = m_wraps.empty() ? 0 : std::upper_bound(m_wraps.begin(), m_wraps.end(), i) - m_wraps.begin();
    return qint64(m_offsets[i]) | (high << 32);
}

qint64 TLineIndex::end(size_t i) const
{
    if (i + 1 >= m_offsets.size())
        return m_lastEnd;
    // the next line starts after a CR, or after a CR and an LF
    const qint64 next = Offset(i + 1);
    return m_data[next - 1] == '\n' ? next - 2 : next - 1;
}

void TLineIndex::clear()
{
    m_offsets.clear();
    m_offsets.shrink_to_fit();
    m_runs.clear();
    m_wraps.clear();
    m_kinds.clear();
    m_data = nullptr;
    m_lastEnd = 0;
}

// The contents of a kind of line, to find it in the table.
struct TOutputPages::TKindKey {
    quint64 a = 0, b = 0;

    explicit TKindKey(const TLine &l)
        : a(quint64(l.height) | quint64(l.width) << 16 | quint64(l.leftMargin) << 32
            | quint64(l.rightMargin) << 48),
          b(quint64(l.fontCode) | quint64(l.fontSize) << 8 | quint64(l.fontFace) << 16
            | quint64(l.fontStyle) << 24 | quint64(l.flags) << 32)
    {
    }
    bool operator==(const TKindKey &) const = default;
    struct Hash {
        size_t operator()(const TKindKey &k) const { return size_t(k.a * 0x9e3779b97f4a7c15ull ^ k.b); }
    };
};

// Lines with print codes remembered while loading: enough for the page
// headers, footers and captions that repeat, small enough to stay in the
// processor's cache.
constexpr size_t MeasuredSlots = 1024;

// A line with print codes (or inside a paragraph) as measured: the state
// it started in and what measuring it gave, found again by its bytes.
struct TOutputPages::TMeasured {
    const char *bytes = nullptr;   // its first occurrence in the mapped file
    qsizetype size = 0;
    size_t hash = 0;
    TFontSpec fontIn, fontOut;
    TOutputState stateIn, stateOut;
    bool paragraphIn = false, paragraphOut = false;
    TLine line;                    // the kind without the page mark
};

// What loading keeps to find kinds and measured lines again.
struct TOutputPages::TLoadCache {
    std::unordered_map<TKindKey, quint32, TKindKey::Hash> kinds;
    // direct-mapped by a hash of the bytes: a line takes the place of one
    // measured before it with the same hash, so repeated headers and
    // footers stay while lines that never repeat cost one look
    std::vector<TMeasured> measured = std::vector<TMeasured>(MeasuredSlots);
};

namespace {

bool sameState(const TOutputState &a, const TOutputState &b)
{
    return a.fontCode == b.fontCode && a.paraLeftMm == b.paraLeftMm && a.paraRightMm == b.paraRightMm
           && a.paraLeftPx == b.paraLeftPx && a.paraRightPx == b.paraRightPx;
}

// The first CR or backslash in [p, end), or end: one pass over the bytes
// where the processor compares sixteen at a time.
const char *findCrOrBackslash(const char *p, const char *end)
{
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r'), backslash = _mm_set1_epi8('\\');
    for (; end - p >= 16; p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, backslash)));
        if (mask)
            return p + __builtin_ctz(unsigned(mask));
    }
#endif
    for (; p < end; ++p)
        if (*p == '\r' || *p == '\\')
            return p;
    return end;
}

} // namespace

quint32 TOutputPages::kindOf(const TLine &line)
{
    const auto [it, added] = m_cache->kinds.emplace(TKindKey(line), quint32(m_lines.m_kinds.size()));
    if (added) {
        m_lines.m_kinds.push_back(line);
        m_lines.m_kinds.back().offset = 0;
        m_lines.m_kinds.back().length = 0;
    }
    return it->second;
}

void TOutputPages::split()
{
    const char *data = m_mapper.Data();
    const qint64 size = m_mapper.Size();
    m_lines.m_data = data;
    std::vector<quint32> &offsets = m_lines.m_offsets;
    std::vector<TLineIndex::TRun> &runs = m_lines.m_runs;
    // room for the lines the file's start suggests, so that the index is
    // not copied as it grows
    {
        const qint64 sample = std::min<qint64>(size, 1 << 16);
        qint64 lines = 1;
        for (const char *p = data, *end = data + sample;
             (p = static_cast<const char *>(std::memchr(p, '\r', size_t(end - p)))); ++p)
            ++lines;
        offsets.reserve(size_t(size / sample * lines + lines / 4) + 16);
    }
    m_cache = std::make_unique<TLoadCache>();
    std::fill(std::begin(m_plainKinds), std::end(m_plainKinds), Unknown);
    TOutputState state;
    m_plainFont = m_measurer->Font();
    m_plainState = state;
    bool paragraph = false;
    qint64 pos = 0, end = 0;
    qint64 wrap = qint64(1) << 32;
    quint32 last = Unknown;
    const char *const fileEnd = data + size;
    // the file is asked every so often whether it still has every byte: a
    // file cut in place while it is read fails the load instead of the
    // process
    constexpr qint64 CheckEvery = qint64(1) << 20;
    qint64 checkAt = 0;
    while (pos < size) {
        if (pos >= checkAt) {
            checkIntact();
            checkAt = pos + CheckEvery;
        }
        // the line's end, and its first backslash: a line without one has
        // no print codes
        const char *p = findCrOrBackslash(data + pos, fileEnd);
        qint64 backslash = size;
        if (p < fileEnd && *p == '\\') {
            backslash = p - data;
            const void *cr = std::memchr(p, '\r', size_t(fileEnd - p));
            p = cr ? static_cast<const char *>(cr) : fileEnd;
        }
        end = p - data;
        if (pos >= wrap) {
            m_lines.m_wraps.push_back(offsets.size());
            wrap += qint64(1) << 32;
        }
        const qint64 length = std::min<qint64>(end - pos, MaxLineLength);
        quint32 kind;
        if (!paragraph && backslash >= pos + length) {
            // plain text: one run in the current font, and of one of three
            // kinds until a print code changes the state
            const int variant = length == 0 || data[pos] != '^' ? 0 : length > 1 ? 1 : 2;
            kind = m_plainKinds[variant];
            if (kind == Unknown)
                kind = plainKind(variant, state);
        } else {
            kind = measure(data + pos, length, state, paragraph);
        }
        if (kind != last) {
            runs.push_back({offsets.size(), kind});
            last = kind;
        }
        offsets.push_back(quint32(pos));
        pos = end + 1;
        if (pos < size && data[pos] == '\n')
            ++pos;
    }
    m_lines.m_lastEnd = end;
    m_cache.reset();
}

// The kind of a plain line in the state: without a page mark, with one,
// or a page mark alone.
// A line begun in `state` with `font`: its font and paragraph margins.
TLine TOutputPages::lineIn(const TOutputState &state, const TFontSpec &font)
{
    TLine line;
    line.fontCode = quint8(state.fontCode);
    line.fontSize = quint8(font.size);
    line.fontFace = quint8(font.face);
    line.fontStyle = quint8(font.style);
    line.leftMargin = clamp16(state.paraLeftPx);
    line.rightMargin = clamp16(state.paraRightPx);
    return line;
}

quint32 TOutputPages::plainKind(int variant, const TOutputState &state)
{
    TLine line = lineIn(state, m_measurer->Font());
    line.flags = variant > 0 ? TLine::PageStart : 0;
    line.height = clamp16(variant < 2 ? m_measurer->TextHeight(u" ") : 0);
    return m_plainKinds[variant] = kindOf(line);
}

// A line with print codes or in a paragraph.
quint32 TOutputPages::measure(const char *bytes, qsizetype length, TOutputState &state, bool &paragraph)
{
    qsizetype size = length;
    const bool pageStart = size > 0 && bytes[0] == '^';
    if (pageStart) {
        ++bytes;
        --size;
    }
    const bool empty = length == 0;   // counts as one blank
    const size_t hash = empty ? 0 : qHash(QByteArrayView(bytes, size));
    if (!empty) {
        // measured before in the same state: its measure and the state
        // after it taken over
        const TMeasured &r = m_cache->measured[hash % MeasuredSlots];
        if (r.bytes && r.hash == hash && r.size == size && r.paragraphIn == paragraph && r.fontIn == m_measurer->Font()
            && sameState(r.stateIn, state) && std::memcmp(r.bytes, bytes, size_t(size)) == 0) {
            TLine line = r.line;
            if (pageStart)
                line.flags |= TLine::PageStart;
            state = r.stateOut;
            paragraph = r.paragraphOut;
            m_measurer->SetFont(r.fontOut);
            plainStateFrom(state);
            return kindOf(line);
        }
    }
    TTextMeasurer &measurer = *m_measurer;
    const TOutputState stateIn = state;
    const TFontSpec fontIn = measurer.Font();
    const bool paragraphIn = paragraph;
    TLine line = lineIn(state, fontIn);
    if (empty)
        m_text = QStringLiteral(" ");
    else
        decodeInto(m_text, bytes, size);
    const QString &text = m_text;
    // the paragraph codes looked for in the bytes where the code page
    // keeps ASCII as it is
    auto find = [&](const char *code) -> qsizetype {
        if (empty || !m_asciiCodes)
            return text.indexOf(QLatin1String(code));
        for (const char *p = bytes, *end = bytes + size;
             (p = static_cast<const char *>(std::memchr(p, '\\', size_t(end - p)))); ++p)
            if (end - p >= 3 && p[1] == code[1] && p[2] == code[2])
                return p - bytes;
        return -1;
    };
    const qsizetype pb = find("\\PB");
    if (pb >= 0) {
        const TPrintCode code = ParsePrintCode(text, pb);
        if (code.kind == TPrintCode::ParaBegin) {
            state.SetMargins(code.left, code.right, m_dpi);
            paragraph = true;
            line.leftMargin = clamp16(state.paraLeftPx);
            line.rightMargin = clamp16(state.paraRightPx);
        }
    }
    if (paragraph)
        line.flags |= TLine::Paragraph;
    const TLineMeasure m = MeasureOutputLine(measurer, state, text, paragraph, m_pageWidth);
    line.height = clamp16(m.height);
    line.width = clamp16(m.width);
    if (find("\\PE") >= 0) {
        line.flags |= TLine::ParagraphEnd;
        state.ClearMargins();
        paragraph = false;
    }
    if (!empty)
        m_cache->measured[hash % MeasuredSlots] = {bytes,       size,      hash, fontIn, measurer.Font(), stateIn,
                                                   state,       paragraphIn, paragraph, line};
    if (pageStart)
        line.flags |= TLine::PageStart;
    plainStateFrom(state);
    return kindOf(line);
}

// The kinds of plain lines stay while the state after a line with codes is
// the one they were made in.
void TOutputPages::plainStateFrom(const TOutputState &state)
{
    if (m_measurer->Font() == m_plainFont && sameState(state, m_plainState))
        return;
    std::fill(std::begin(m_plainKinds), std::end(m_plainKinds), Unknown);
    m_plainFont = m_measurer->Font();
    m_plainState = state;
}

void TOutputPages::paginate()
{
    m_pages.clear();
    if (m_lines.empty())
        return;
    TPage page;
    qint64 height = 0;
    const std::vector<TLineIndex::TRun> &runs = m_lines.m_runs;
    const int count = LineCount();
    // run by run: the lines of a run have one height and one page mark;
    // the last line never starts a page
    for (size_t r = 0; r < runs.size(); ++r) {
        const TLine &kind = m_lines.m_kinds[runs[r].kind];
        const int h = kind.height;
        const bool mark = kind.Has(TLine::PageStart);
        const int last = std::min(r + 1 < runs.size() ? int(runs[r + 1].first) : count, count - 1);
        for (int i = int(runs[r].first); i < last; ++i) {
            height += h;
            if (i > page.first && (height >= m_pageHeight || mark)) {
                page.last = i - 1;
                m_pages.push_back(page);
                page.first = i;
                height = h;
            }
        }
    }
    page.last = count - 1;
    m_pages.push_back(page);
}

int TOutputPages::PageOfLine(int line) const
{
    const auto it = std::upper_bound(m_pages.begin(), m_pages.end(), line,
                                     [](int l, const TPage &p) { return l < p.first; });
    return std::max(0, int(it - m_pages.begin()) - 1);
}

qint64 TOutputPages::HeightOf(int from, int to) const
{
    qint64 h = 0;
    for (int i = std::max(0, from); i < to && i < LineCount(); ++i)
        h += m_lines.Height(size_t(i));
    return h;
}

QString TOutputPages::LineText(int index) const
{
    Intact();
    return lineText(index);
}

QString TOutputPages::lineText(int index) const
{
    // the pages of a file cut in place are never touched (where a line ends
    // is read from them too)
    if (m_cut)
        return {};
    const TLine &line = m_lines.at(size_t(index));
    const char *bytes = m_mapper.Address(line.offset);
    qsizetype size = line.length;
    if (line.Has(TLine::PageStart)) {
        ++bytes;
        --size;
    }
    return decode(bytes, size);
}

void TOutputPages::LayoutLine(int index, double y, const TLayoutView &view,
                              std::vector<TFragment> &fragments, std::vector<TShape> &shapes)
{
    if (m_cut)
        return;
    const TLine &line = m_lines.at(size_t(index));
    QString text = lineText(index);
    const bool paragraph = line.Has(TLine::Paragraph);
    if (paragraph)
        while (!text.isEmpty() && text.back() == u' ')
            text.chop(1);

    // justification: the free width shared among the gaps between words
    int gapWidth = 0, firstGapExtra = 0;
    if (paragraph && !line.Has(TLine::ParagraphEnd)) {
        int gaps = 0;
        bool word = false, blank = false;
        for (qsizetype i = 0; i < text.size();) {
            if (text[i] == u'\\') {
                const TPrintCode code = ParsePrintCode(text, i);
                if (code.kind != TPrintCode::None) {
                    i += code.length;
                    continue;
                }
            }
            if (text[i] == u' ') {
                blank = word;
            } else {
                if (blank)
                    ++gaps;
                blank = false;
                word = true;
            }
            ++i;
        }
        const int free = m_pageWidth - line.width - line.leftMargin - line.rightMargin;
        if (gaps >= 2 && free > 0) {
            gapWidth = free / gaps;
            firstGapExtra = free % gaps;
        }
    }

    TTextMeasurer &measurer = *m_measurer;
    TFontSpec font = line.Font();
    measurer.SetFont(font);
    if (view.screen)
        view.screen->SetFont(font);
    const double scale = view.scale;
    const double left = view.leftOffset / scale;
    const qsizetype lastCode = text.lastIndexOf(u'\\');
    double x = line.leftMargin / scale;
    TFragment current;
    bool open = false;
    // the characters of the fragment not copied yet: adjacent ones of the
    // line's text are copied together
    QStringView piece;
    auto flush = [&] {
        if (!piece.isEmpty())
            current.text += piece;
        piece = {};
        if (!current.text.isEmpty())
            fragments.push_back(std::move(current));
        current = TFragment();
        open = false;
    };
    auto add = [&](QStringView chars) {
        if (!open) {
            open = true;
            current.line = index;
            current.font = font;
            current.x = std::max(0.0, x - left);
            const int textHeight = measurer.TextHeight(u" ");
            current.y = std::max(0.0, y + (line.height - textHeight) / 2 / scale);
        }
        if (!piece.isEmpty() && piece.data() + piece.size() == chars.data()) {
            piece = QStringView(piece.data(), piece.size() + chars.size());
        } else {
            if (!piece.isEmpty())
                current.text += piece;
            piece = chars;
        }
    };
    auto mm = [&](int v) { return MmToPixels(v, m_dpi) / scale; };
    bool word = false, blank = false;
    int gap = 0;
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text[i];
        if (c == u'\\') {
            const TPrintCode code = ParsePrintCode(text, i);
            if (code.kind != TPrintCode::None) {
                if (code.kind == TPrintCode::Font) {
                    flush();
                    font = FontForCode(code.fontCode, code.fontSize, font);
                    measurer.SetFont(font);
                    if (view.screen)
                        view.screen->SetFont(font);
                } else if (code.kind == TPrintCode::Line || code.kind == TPrintCode::Rect) {
                    TShape shape;
                    shape.rect = code.kind == TPrintCode::Rect;
                    const QPointF a(mm(code.x1) - left, view.pageTop + mm(code.y1));
                    const QPointF b(mm(code.x2) - left, view.pageTop + mm(code.y2));
                    if (shape.rect)
                        shape.box = QRectF(a, b).normalized();
                    else
                        shape.line = QLineF(a, b);
                    shape.penWidth = code.width / scale;
                    shapes.push_back(shape);
                }
                i += code.length;
                continue;
            }
        }
        const bool codesLeft = i < lastCode;
        if (!paragraph && !codesLeft) {
            // the rest of the line is one run of text
            if (view.visibleWidth > 0 && x - left > view.visibleWidth)
                break;
            if (x >= left) {
                add(QStringView(text).mid(i));
                break;
            }
        }
        if (paragraph) {
            if (c == u' ') {
                blank = word;
            } else {
                if (blank && gapWidth > 0) {
                    flush();
                    x += (gapWidth + (gap == 0 ? firstGapExtra : 0)) / scale;
                    ++gap;
                }
                blank = false;
                word = true;
            }
        }
        if (x >= left)
            add(QStringView(text).mid(i, 1));
        x += view.printerWidths || !view.screen ? measurer.CharWidth(c) / scale
                                                : view.screen->CharWidth(c);
        ++i;
    }
    flush();
}

void TOutputPages::Draw(QPainter &painter, std::vector<TFragment> &fragments,
                        const std::vector<TShape> &shapes, int fontDpi)
{
    for (const TShape &shape : shapes) {
        QPen pen(Qt::black);
        pen.setWidthF(shape.penWidth < 1 ? 0 : shape.penWidth);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        if (shape.rect)
            painter.drawRect(shape.box);
        else
            painter.drawLine(shape.line);
    }
    auto key = [](const TFontSpec &f) { return (int(f.face) << 16) | (f.size << 4) | f.style; };
    std::stable_sort(fragments.begin(), fragments.end(), [&](const TFragment &a, const TFragment &b) {
        return key(a.font) < key(b.font);
    });
    painter.setPen(Qt::black);
    int current = -1;
    double ascent = 0;
    for (const TFragment &f : fragments) {
        if (key(f.font) != current) {
            current = key(f.font);
            const QFont qf = TFontMeasurer::QtFont(f.font, fontDpi);
            painter.setFont(qf);
            ascent = QFontMetricsF(qf).ascent();
        }
        painter.drawText(QPointF(f.x, f.y + ascent), f.text);
    }
}

void TOutputPages::layoutPage(int page, std::vector<TFragment> &fragments, std::vector<TShape> &shapes)
{
    const TPage &p = m_pages.at(size_t(page));
    checkIntact();
    TLayoutView view;
    double y = 0;
    for (int i = p.first; i <= p.last; ++i) {
        LayoutLine(i, y, view, fragments, shapes);
        y += m_lines.Height(size_t(i));
    }
}

void TOutputPages::PaintPage(QPainter &painter, int page)
{
    std::vector<TFragment> fragments;
    std::vector<TShape> shapes;
    layoutPage(page, fragments, shapes);
    Draw(painter, fragments, shapes, m_dpi);
}

void TOutputPages::PaintPage(TPdfDocument &pdf, int page)
{
    std::vector<TFragment> fragments;
    std::vector<TShape> shapes;
    layoutPage(page, fragments, shapes);
    // as Draw paints them: the shapes, then the text by font
    for (const TShape &shape : shapes) {
        const double width = shape.penWidth < 1 ? 0 : shape.penWidth;
        if (shape.rect)
            pdf.StrokeRect(shape.box, width);
        else
            pdf.StrokeLine(shape.line, width);
    }
    auto key = [](const TFontSpec &f) { return (int(f.face) << 16) | (f.size << 4) | f.style; };
    std::stable_sort(fragments.begin(), fragments.end(), [&](const TFragment &a, const TFragment &b) {
        return key(a.font) < key(b.font);
    });
    int current = -1, font = 0;
    double ascent = 0;
    for (const TFragment &f : fragments) {
        if (key(f.font) != current) {
            current = key(f.font);
            const QFont qf = TFontMeasurer::QtFont(f.font, m_dpi);
            font = pdf.Font(qf);
            ascent = QFontMetricsF(qf).ascent();
        }
        pdf.DrawText(font, QPointF(f.x, f.y + ascent), f.text);
    }
}

QList<TExportPage> TOutputPages::ExportPages() const
{
    QList<TExportPage> pages;
    for (const TPage &p : m_pages) {
        checkIntact();
        TExportPage page;
        for (int i = p.first; i <= p.last; ++i) {
            const TLine line = m_lines[size_t(i)];
            page.append({lineText(i), line.fontCode, line.fontSize});
        }
        pages.append(page);
    }
    return pages;
}

QPageLayout OutputPdfLayout(TPageGeometry::Orientation orientation)
{
    return QPageLayout(QPageSize(QPageSize::A4),
                       orientation == TPageGeometry::Landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(5, 5, 5, 5), QPageLayout::Millimeter);
}

int WriteOutputPdf(const QString &fileName, const QString &pdfFile,
                   TPageGeometry::Orientation orientation)
{
    TOutputPages pages;
    pages.Load(fileName, orientation, std::make_shared<TVirtualPrinter>());
    // the PDF goes through TSafeFile: an existing file is replaced only by
    // a complete one
    TSafeFile file(pdfFile);
    TPdfDocument pdf(file, OutputPdfLayout(orientation), pages.Dpi());
    pdf.SetCreator(QStringLiteral("Quarn"));
    pdf.SetTitle(QFileInfo(fileName).fileName());
    for (int p = 0; p < pages.PageCount(); ++p) {
        pdf.NewPage();
        pages.PaintPage(pdf, p);
    }
    pdf.Finish();
    // a failed write is reported here, with its reason
    file.Commit();
    return pages.PageCount();
}
