#include "PdfDocument.h"

#include <QDateTime>
#include <QGlyphRun>
#include <QImage>
#include <QPainterPath>
#include <QIODevice>
#include <QRawFont>
#include <QTextLayout>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <zlib.h>

namespace {

// Numbers as PDF writes them: rounded to six decimals, trailing zeros
// dropped, never in exponent form.
void appendReal(QByteArray &out, double v)
{
    char buf[40];
    char *end = buf + sizeof buf, *p = end;
    const bool negative = v < 0;
    unsigned long long micro = (unsigned long long)std::llround(std::abs(v) * 1e6);
    unsigned long long whole = micro / 1000000;
    unsigned frac = unsigned(micro % 1000000);
    if (frac) {
        int digits = 6;
        while (frac % 10 == 0) {
            frac /= 10;
            --digits;
        }
        for (; digits > 0; --digits, frac /= 10)
            *--p = char('0' + frac % 10);
        *--p = '.';
    }
    do {
        *--p = char('0' + whole % 10);
        whole /= 10;
    } while (whole);
    if (negative && micro)
        *--p = '-';
    out.append(p, end - p);
}

void appendInt(QByteArray &out, long long v)
{
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, res.ptr - buf);
}

QByteArray real(double v)
{
    QByteArray s;
    appendReal(s, v);
    return s;
}

QByteArray ref(int object)
{
    return QByteArray::number(object) + " 0 R";
}

// A text string of the document information: UTF-16 with its byte-order mark.
QByteArray textString(const QString &s)
{
    QByteArray out = "<FEFF";
    for (QChar c : s)
        out += QByteArray::number(c.unicode(), 16).rightJustified(4, '0').toUpper();
    return out + '>';
}

QByteArray hex4(quint32 v)
{
    return QByteArray::number(v, 16).rightJustified(4, '0').toUpper();
}

// Big-endian numbers in font tables.
quint16 u16(const QByteArray &t, qsizetype at)
{
    if (at + 2 > t.size())
        return 0;
    return quint16((uchar(t[at]) << 8) | uchar(t[at + 1]));
}

quint32 u32(const QByteArray &t, qsizetype at)
{
    return (quint32(u16(t, at)) << 16) | u16(t, at + 2);
}

void put16(QByteArray &t, qsizetype at, quint16 v)
{
    t[at] = char(v >> 8);
    t[at + 1] = char(v);
}

void put32(QByteArray &t, qsizetype at, quint32 v)
{
    put16(t, at, quint16(v >> 16));
    put16(t, at + 2, quint16(v));
}

void add16(QByteArray &t, quint16 v)
{
    t.append(char(v >> 8)).append(char(v));
}

void add32(QByteArray &t, quint32 v)
{
    add16(t, quint16(v >> 16));
    add16(t, quint16(v));
}

quint32 checksum(const QByteArray &t)
{
    quint32 sum = 0;
    const qsizetype n = t.size();
    for (qsizetype i = 0; i < n; i += 4) {
        quint32 v = 0;
        for (int k = 0; k < 4; ++k)
            v = (v << 8) | (i + k < n ? uchar(t[i + k]) : 0);
        sum += v;
    }
    return sum;
}

// The glyphs a composite glyph is made of.
void components(const QByteArray &glyph, std::vector<quint32> &out)
{
    if (glyph.size() < 10 || qint16(u16(glyph, 0)) >= 0)
        return;
    qsizetype at = 10;
    for (;;) {
        const quint16 flags = u16(glyph, at);
        out.push_back(u16(glyph, at + 2));
        at += 4 + ((flags & 0x0001) ? 4 : 2);
        if (flags & 0x0008)
            at += 2;
        else if (flags & 0x0040)
            at += 4;
        else if (flags & 0x0080)
            at += 8;
        if (!(flags & 0x0020) || at >= glyph.size())
            break;
    }
}

// A TrueType font of the glyphs marked in `used` (their numbers kept; the
// others left empty) from the tables of `raw`; empty when it has no
// TrueType outlines.
QByteArray subsetFont(const QRawFont &raw, std::vector<bool> used)
{
    QByteArray head = raw.fontTable("head");
    const QByteArray maxp = raw.fontTable("maxp");
    const QByteArray loca = raw.fontTable("loca");
    const QByteArray glyf = raw.fontTable("glyf");
    if (head.size() < 54 || maxp.size() < 6 || loca.isEmpty() || glyf.isEmpty())
        return {};
    const int numGlyphs = u16(maxp, 4);
    const bool longOffsets = u16(head, 50) == 1;
    auto offset = [&](int g) -> quint32 {
        return longOffsets ? u32(loca, qsizetype(g) * 4) : quint32(u16(loca, qsizetype(g) * 2)) * 2;
    };
    used.resize(size_t(numGlyphs), false);
    used[0] = true;
    // composite glyphs need their parts
    std::vector<quint32> pending;
    for (int g = 0; g < numGlyphs; ++g)
        if (used[size_t(g)])
            pending.push_back(quint32(g));
    while (!pending.empty()) {
        const quint32 g = pending.back();
        pending.pop_back();
        std::vector<quint32> parts;
        const quint32 from = offset(int(g)), to = offset(int(g) + 1);
        if (to > from && to <= quint32(glyf.size()))
            components(glyf.mid(from, to - from), parts);
        for (quint32 p : parts)
            if (p < quint32(numGlyphs) && !used[p]) {
                used[p] = true;
                pending.push_back(p);
            }
    }
    QByteArray newGlyf, newLoca;
    for (int g = 0; g < numGlyphs; ++g) {
        add32(newLoca, quint32(newGlyf.size()));
        const quint32 from = offset(g), to = offset(g + 1);
        if (used[size_t(g)] && to > from && to <= quint32(glyf.size())) {
            newGlyf.append(glyf.constData() + from, to - from);
            while (newGlyf.size() % 4)
                newGlyf.append('\0');
        }
    }
    add32(newLoca, quint32(newGlyf.size()));
    put32(head, 8, 0);     // checkSumAdjustment, set below
    put16(head, 50, 1);    // long offsets
    std::map<QByteArray, QByteArray> tables{{"head", head}, {"maxp", maxp}, {"loca", newLoca},
                                            {"glyf", newGlyf}};
    for (const char *tag : {"hhea", "hmtx", "OS/2"}) {
        const QByteArray t = raw.fontTable(tag);
        if (!t.isEmpty())
            tables[tag] = t;
    }
    const int n = int(tables.size());
    int power = 1, log = 0;
    while (power * 2 <= n) {
        power *= 2;
        ++log;
    }
    QByteArray font;
    add32(font, 0x00010000);
    add16(font, quint16(n));
    add16(font, quint16(power * 16));
    add16(font, quint16(log));
    add16(font, quint16(n * 16 - power * 16));
    quint32 at = quint32(12 + 16 * n);
    QByteArray body;
    qsizetype headAt = 0;
    for (const auto &[tag, data] : tables) {
        font.append(tag);
        add32(font, checksum(data));
        add32(font, at + quint32(body.size()));
        add32(font, quint32(data.size()));
        if (tag == "head")
            headAt = at + body.size();
        body.append(data);
        while (body.size() % 4)
            body.append('\0');
    }
    font.append(body);
    put32(font, headAt + 8, 0xB1B0AFBA - checksum(font));
    return font;
}

// A name fit for a PDF name object.
QByteArray pdfName(const QString &s)
{
    QByteArray out;
    for (QChar c : s)
        if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-')
            out += char(c.unicode());
    return out.isEmpty() ? QByteArray("Font") : out;
}

constexpr quint32 Unknown = 0xffffffff;

// The bytes a literal string gives with a backslash.
constexpr auto Escaped = [] {
    std::array<bool, 256> e{};
    for (const uchar b : {'(', ')', '\\', '\r', '\n'})
        e[b] = true;
    return e;
}();

// A number as the file gives it: six decimals.
double round6(double v)
{
    return std::round(v * 1e6) / 1e6;
}

} // namespace

// A font file: the glyphs drawn with it and the text they stand for.
struct TPdfDocument::TFace {
    QRawFont raw;
    int index = 0;
    QByteArray name;
    std::vector<bool> used;               // by glyph
    std::map<quint32, QString> unicode;   // glyph -> text
    bool trueType = false;                // has TrueType outlines to embed
    int descriptorObject = 0, fileObject = 0, toUnicodeObject = 0;
};

// A font file at one pixel size: a PDF font whose widths are the advances
// Qt draws with at that size.
struct TPdfDocument::TFontRes {
    TFace *face = nullptr;
    QRawFont raw;
    int index = 0;        // the resource name /F<index>
    int object = 0, cidObject = 0;
    double size = 0;
    std::vector<quint32> lowGlyphs;        // characters below 0x500
    QHash<char16_t, quint32> highGlyphs;   // the others
    std::vector<double> advances;          // by glyph, in pixels; < 0: not used

    void use(quint32 g, double advance)
    {
        if (g >= advances.size())
            advances.resize(g + 1, -1);
        advances[g] = advance;
        if (g < face->used.size())
            face->used[g] = true;
    }

    // The glyph of `c` when it can be drawn on its own (0 when not).
    quint32 glyph(QChar c)
    {
        const char16_t u = c.unicode();
        if (u < lowGlyphs.size() && lowGlyphs[u] != Unknown)
            return lowGlyphs[u];
        if (u >= lowGlyphs.size()) {
            const auto it = highGlyphs.constFind(u);
            if (it != highGlyphs.constEnd())
                return *it;
        }
        quint32 g = 0;
        // control and format characters, marks and right-to-left text are
        // left to Qt's shaping
        if (c.isPrint() && !c.isMark() && c.direction() != QChar::DirR && c.direction() != QChar::DirAL) {
            quint32 id = 0;
            int n = 1;
            const QChar one = c;
            if (raw.glyphIndexesForChars(&one, 1, &id, &n) && n == 1 && id != 0 && id < 0x10000) {
                QPointF advance;
                raw.advancesForGlyphIndexes(&id, &advance, 1, QRawFont::UseDesignMetrics);
                g = id;
                use(g, advance.x());
                face->unicode.emplace(g, QString(c));
            }
        }
        if (u < lowGlyphs.size())
            lowGlyphs[u] = g;
        else
            highGlyphs.insert(u, g);
        return g;
    }
};

// A QFont: the PDF font it draws with and its lines.
struct TPdfDocument::TFontUse {
    TFontRes *res = nullptr;
    QFont font;
    bool underline = false, strikeOut = false;
    double underlineOffset = 0, lineWidth = 1, strikeOffset = 0;
};

TPdfDocument::TPdfDocument(QIODevice &device, const QPageLayout &layout, int dpi)
    : m_device(device), m_layout(layout), m_dpi(dpi)
{
    m_offsets.push_back(0);
    m_catalog = allocObject();
    m_pagesObject = allocObject();
    m_info = allocObject();
    m_resourcesObject = allocObject();
    write("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n");
}

// Compresses one stream at a time in zlib's format, on a thread of its
// own, the state kept from stream to stream: the writer hands it a page's
// contents and draws the next page meanwhile (zlib was a fifth of a PDF
// run). A failure of its own (no memory) gives a null result.
class TPdfDocument::TPacker {
public:
    explicit TPacker(int level) : m_level(level), m_thread([this] { run(); }) {}
    ~TPacker()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_quit = true;
        }
        m_changed.notify_all();
        m_thread.join();
        if (m_zlibReady)
            deflateEnd(&m_zlib);
    }
    TPacker(const TPacker &) = delete;
    TPacker &operator=(const TPacker &) = delete;

    // Starts packing `data`; the result of the stream before must have
    // been taken.
    void Start(QByteArray data)
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_in = std::move(data);
            m_hasInput = true;
        }
        m_changed.notify_all();
    }
    // The packed stream last started, once it is ready.
    QByteArray Take()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_hasOutput; });
        m_hasOutput = false;
        return std::move(m_out);
    }

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_quit || m_hasInput; });
            if (m_quit)
                return;
            const QByteArray in = std::move(m_in);
            m_hasInput = false;
            lock.unlock();
            QByteArray out;
            try {
                out = pack(in);
            } catch (...) {
                out = QByteArray();
            }
            lock.lock();
            m_out = std::move(out);
            m_hasOutput = true;
            m_changed.notify_all();
        }
    }

    QByteArray pack(const QByteArray &data)
    {
        if (!m_zlibReady) {
            m_zlib = z_stream{};
            if (deflateInit(&m_zlib, m_level) != Z_OK)
                return qCompress(data, m_level).sliced(4);
            m_zlibReady = true;
        } else {
            deflateReset(&m_zlib);
        }
        QByteArray out(qsizetype(deflateBound(&m_zlib, uLong(data.size()))), Qt::Uninitialized);
        m_zlib.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
        m_zlib.avail_in = uInt(data.size());
        m_zlib.next_out = reinterpret_cast<Bytef *>(out.data());
        m_zlib.avail_out = uInt(out.size());
        deflate(&m_zlib, Z_FINISH);
        out.truncate(out.size() - qsizetype(m_zlib.avail_out));
        return out;
    }

    const int m_level;
    z_stream m_zlib{};   // the packing thread's alone
    bool m_zlibReady = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    QByteArray m_in, m_out;
    bool m_hasInput = false, m_hasOutput = false, m_quit = false;
    std::thread m_thread;   // last: started once the rest is ready
};

TPdfDocument::~TPdfDocument() = default;

TPdfDocument::TPacker &TPdfDocument::packer()
{
    if (!m_packer)
        m_packer = std::make_unique<TPacker>(m_level);
    return *m_packer;
}

int TPdfDocument::allocObject()
{
    m_offsets.push_back(0);
    return int(m_offsets.size()) - 1;
}

void TPdfDocument::write(const QByteArray &bytes)
{
    if (m_failed)
        return;
    if (m_device.write(bytes) != bytes.size())
        m_failed = true;
    m_pos += bytes.size();
}

void TPdfDocument::beginObject(int object)
{
    m_offsets[size_t(object)] = m_pos;
    write(QByteArray::number(object) + " 0 obj\n");
}

void TPdfDocument::writeStream(int object, const QByteArray &data, const QByteArray &extra)
{
    if (m_level <= 0) {
        writePacked(object, data, extra);
        return;
    }
    packer().Start(data);
    writePacked(object, packer().Take(), extra);
}

void TPdfDocument::writePacked(int object, const QByteArray &packed, const QByteArray &extra)
{
    if (m_level > 0 && packed.isNull())
        m_failed = true;   // the packer ran out of memory
    beginObject(object);
    write("<< /Length " + QByteArray::number(packed.size()) + (m_level > 0 ? " /Filter /FlateDecode" : "")
          + extra + " >>\nstream\n");
    write(packed);
    write("\nendstream\nendobj\n");
}

// The objects of the page ended last, in the order they were numbered:
// nothing else is written between one page's end and the next one's.
void TPdfDocument::writePendingPage()
{
    if (!m_pending)
        return;
    const TPendingPage page = std::move(*m_pending);
    m_pending.reset();
    writePacked(page.Contents, m_level > 0 ? packer().Take() : page.Data);
    const QRect full = m_layout.fullRectPoints();
    beginObject(page.Page);
    write("<<\n/Type /Page\n/Parent " + ref(m_pagesObject) + "\n/MediaBox [0 0 "
          + QByteArray::number(full.width()) + ' ' + QByteArray::number(full.height()) + "]\n/Resources "
          + ref(m_resourcesObject) + "\n/Contents " + ref(page.Contents) + "\n>>\nendobj\n");
}

void TPdfDocument::NewPage()
{
    endPage();
    m_inPage = true;
    m_content.clear();
    m_decorations.clear();
    // device pixels at the resolution, y downwards from the printable area
    const QRect paint = m_layout.paintRectPixels(m_dpi);
    const double unit = 72.0 / m_dpi;
    const double height = m_layout.fullRectPoints().height();
    m_content += "q\n" + real(unit) + " 0 0 " + real(-unit) + ' ' + real(paint.left() * unit) + ' '
                 + real(height - paint.top() * unit) + " cm\n0 g 0 G\n";
}

void TPdfDocument::beginText()
{
    if (!m_inText) {
        m_content += "BT\n";
        m_inText = true;
        m_textFont = -1;
        m_lineValid = false;
    }
}

void TPdfDocument::endText()
{
    flushRun();
    if (m_inText) {
        m_content += "ET\n";
        m_inText = false;
    }
}

void TPdfDocument::endPage()
{
    if (!m_inPage)
        return;
    endText();
    m_content += m_decorations;
    m_content += "Q\n";
    const int contents = allocObject();
    const int page = allocObject();
    writePendingPage();
    m_pending = TPendingPage{contents, page, {}};
    if (m_level > 0)
        packer().Start(m_content);   // shared: drawing the next page detaches it
    else
        m_pending->Data = m_content;
    m_pageObjects.push_back(page);
    m_inPage = false;
}

void TPdfDocument::StrokeLine(const QLineF &line, double width)
{
    endText();
    QByteArray &c = m_content;
    appendReal(c, width);
    c += " w 2 J 2 j\n";
    appendReal(c, line.x1());
    c += ' ';
    appendReal(c, line.y1());
    c += " m ";
    appendReal(c, line.x2());
    c += ' ';
    appendReal(c, line.y2());
    c += " l S\n";
}

void TPdfDocument::StrokeRect(const QRectF &rect, double width)
{
    endText();
    QByteArray &c = m_content;
    appendReal(c, width);
    c += " w 2 J 2 j\n";
    appendReal(c, rect.x());
    c += ' ';
    appendReal(c, rect.y());
    c += ' ';
    appendReal(c, rect.width());
    c += ' ';
    appendReal(c, rect.height());
    c += " re S\n";
}

TPdfDocument::TFace &TPdfDocument::face(const QRawFont &raw)
{
    const QString key = raw.familyName() + u'\n' + raw.styleName();
    const auto it = m_faceByName.constFind(key);
    if (it != m_faceByName.constEnd())
        return *m_faces[size_t(*it)];
    auto f = std::make_unique<TFace>();
    f->raw = raw;
    f->index = int(m_faces.size());
    const QString style = raw.styleName();
    f->name = pdfName(raw.familyName());
    if (!style.isEmpty() && style != QLatin1String("Regular"))
        f->name += '-' + pdfName(style);
    const QByteArray maxp = raw.fontTable("maxp");
    f->used.assign(maxp.size() >= 6 ? u16(maxp, 4) : 0, false);
    f->trueType = !f->used.empty() && !raw.fontTable("loca").isEmpty() && !raw.fontTable("glyf").isEmpty();
    m_faceByName.insert(key, f->index);
    m_faces.push_back(std::move(f));
    return *m_faces.back();
}

TPdfDocument::TFontRes &TPdfDocument::resource(const QRawFont &raw)
{
    const QString key = raw.familyName() + u'\n' + raw.styleName() + u'\n' + QString::number(raw.pixelSize());
    const auto it = m_resByName.constFind(key);
    if (it != m_resByName.constEnd())
        return *m_fontRes[size_t(*it)];
    auto r = std::make_unique<TFontRes>();
    r->face = &face(raw);
    r->raw = raw;
    r->size = raw.pixelSize();
    r->index = int(m_fontRes.size()) + 1;
    r->lowGlyphs.assign(0x500, Unknown);
    m_resByName.insert(key, int(m_fontRes.size()));
    m_fontRes.push_back(std::move(r));
    return *m_fontRes.back();
}

int TPdfDocument::Font(const QFont &font)
{
    const QString key = font.key();
    const auto it = m_useByKey.constFind(key);
    if (it != m_useByKey.constEnd())
        return *it;
    TFontUse use;
    use.font = font;
    const QRawFont raw = QRawFont::fromFont(font);
    if (raw.isValid()) {
        use.res = &resource(raw);
        use.underline = font.underline();
        use.strikeOut = font.strikeOut();
        // where Qt puts the lines: the underline at least half a pixel
        // below the rounded position, but within the descent
        const double offset = raw.underlinePosition();
        double adjusted = std::ceil(offset) + 0.5;
        if (offset <= raw.descent())
            adjusted = std::min(adjusted, raw.descent() - 0.5);
        use.underlineOffset = adjusted;
        use.lineWidth = raw.lineThickness();
        use.strikeOffset = -raw.ascent() / 3;
    }
    const int handle = int(m_uses.size());
    m_uses.push_back(use);
    m_useByKey.insert(key, handle);
    return handle;
}

void TPdfDocument::decorate(const TFontUse &use, QPointF origin, double width)
{
    if (!use.underline && !use.strikeOut)
        return;
    QByteArray &d = m_decorations;
    const double x1 = std::floor(origin.x()), x2 = std::floor(origin.x() + width);
    auto line = [&](double y) {
        appendReal(d, use.lineWidth);
        d += " w 0 J ";
        appendReal(d, x1);
        d += ' ';
        appendReal(d, y);
        d += " m ";
        appendReal(d, x2);
        d += ' ';
        appendReal(d, y);
        d += " l S\n";
    };
    if (use.underline)
        line(origin.y() + use.underlineOffset);
    if (use.strikeOut)
        line(origin.y() + use.strikeOffset);
}

void TPdfDocument::selectFont(const TFontRes &res)
{
    beginText();
    if (m_textFont != res.index) {
        QByteArray &c = m_content;
        c += "/F";
        appendInt(c, res.index);
        c += ' ';
        appendReal(c, res.size);
        c += " Tf\n";
        m_textFont = res.index;
    }
}

void TPdfDocument::moveTo(double x, double y)
{
    QByteArray &c = m_content;
    x = round6(x);
    y = round6(y);
    if (!m_lineValid) {
        // glyphs upright in the y-down space
        c += "1 0 0 -1 ";
        appendReal(c, x);
        c += ' ';
        appendReal(c, y);
        c += " Tm ";
        m_lineValid = true;
    } else {
        // from the start of the previous run; y of text space goes up
        appendReal(c, round6(x - m_lineX));
        c += ' ';
        appendReal(c, round6(m_lineY - y));
        c += " Td ";
    }
    m_lineX = x;
    m_lineY = y;
}

void TPdfDocument::flushRun()
{
    if (m_run.isEmpty())
        return;
    selectFont(*m_runRes);
    moveTo(m_runX, m_runY);
    if (m_runParts > 1) {
        m_content += '[';
        m_content += m_run;
        m_content += "] TJ\n";
    } else {
        m_content += m_run;
        m_content += " Tj\n";
    }
    m_run.clear();
    m_runParts = 0;
    m_runRes = nullptr;
}

void TPdfDocument::DrawText(int handle, QPointF origin, QStringView text)
{
    if (text.isEmpty())
        return;
    const TFontUse &use = m_uses[size_t(handle)];
    if (!use.res)
        return;
    TFontRes &res = *use.res;
    if (!res.face->trueType) {
        flushRun();
        drawFallback(use, origin, text);
        return;
    }
    // the glyphs as two-byte codes in a literal string
    std::vector<char> &buffer = m_glyphs;
    if (buffer.size() < size_t(text.size()) * 4 + 2)
        buffer.resize(size_t(text.size()) * 4 + 2);
    char *out = buffer.data();
    *out++ = '(';
    double width = 0;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        quint32 g = u < res.lowGlyphs.size() ? res.lowGlyphs[u] : Unknown;
        if (g == Unknown)
            g = res.glyph(c);
        if (g == 0) {
            flushRun();
            drawFallback(use, origin, text);
            return;
        }
        width += res.advances[g];
        const uchar high = uchar(g >> 8), low = uchar(g);
        if (!Escaped[high] && !Escaped[low]) {
            *out++ = char(high);
            *out++ = char(low);
            continue;
        }
        for (const uchar b : {high, low}) {
            if (Escaped[b])
                *out++ = '\\';
            *out++ = b == '\r' ? 'r' : b == '\n' ? 'n' : char(b);
        }
    }
    *out++ = ')';
    const QByteArrayView glyphs(buffer.data(), out - buffer.data());
    // text of the same font further along the same baseline joins the
    // run, the gap given in thousandths of the font size
    if (m_runRes == &res && origin.y() == m_runY && m_runParts < 64) {
        const double adjust = round6((m_runEnd - origin.x()) * 1000 / res.size);
        if (adjust != 0) {
            m_run += ' ';
            appendReal(m_run, adjust);
            m_run += ' ';
        }
        m_run.append(glyphs.data(), glyphs.size());
        ++m_runParts;
        m_runEnd -= adjust * res.size / 1000;
    } else {
        flushRun();
        m_runRes = &res;
        m_runX = origin.x();
        m_runY = origin.y();
        m_runEnd = origin.x();
        m_run.clear();
        m_run.append(glyphs.data(), glyphs.size());
        m_runParts = 1;
    }
    m_runEnd += width;
    decorate(use, origin, width);
}

void TPdfDocument::drawFallback(const TFontUse &use, QPointF origin, QStringView text)
{
    // what Qt's shaping makes of it: other fonts for missing characters,
    // marks, tabs, right-to-left runs
    const QString s = text.toString();
    // laid out for a device of the pages' resolution, as the painter lays
    // out for its PDF writer (tab stops scale with it)
    QImage device(1, 1, QImage::Format_Mono);
    device.setDotsPerMeterX(qRound(m_dpi / 0.0254));
    device.setDotsPerMeterY(qRound(m_dpi / 0.0254));
    QTextLayout layout(s, use.font, &device);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    if (!line.isValid())
        return;
    const double ascent = line.ascent();
    for (const QGlyphRun &run : layout.glyphRuns()) {
        const QRawFont raw = run.rawFont();
        if (!raw.isValid())
            continue;
        TFontRes &res = resource(raw);
        const QList<quint32> ids = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        if (!res.face->trueType) {
            // outlines this writer does not embed are drawn as shapes
            endText();
            for (qsizetype i = 0; i < ids.size(); ++i)
                fillPath(raw.pathForGlyph(ids[i]).translated(origin.x() + positions[i].x(),
                                                             origin.y() + positions[i].y() - ascent));
            continue;
        }
        QList<QPointF> advances(ids.size());
        raw.advancesForGlyphIndexes(ids.constData(), advances.data(), int(ids.size()), QRawFont::UseDesignMetrics);
        for (qsizetype i = 0; i < ids.size(); ++i)
            if (ids[i] < 0x10000)
                res.use(ids[i], advances[i].x());
        // the characters the glyphs stand for, as far as one character
        // makes one glyph
        for (QChar c : s) {
            quint32 id = 0;
            int n = 1;
            if (raw.glyphIndexesForChars(&c, 1, &id, &n) && n == 1 && id != 0
                && std::find(ids.begin(), ids.end(), id) != ids.end())
                res.face->unicode.emplace(id, QString(c));
        }
        selectFont(res);
        for (qsizetype i = 0; i < ids.size(); ++i) {
            moveTo(origin.x() + positions[i].x(), origin.y() + positions[i].y() - ascent);
            m_content += "<" + hex4(ids[i]) + "> Tj\n";
        }
    }
    decorate(use, origin, line.naturalTextWidth());
}

void TPdfDocument::fillPath(const QPainterPath &path)
{
    QByteArray &c = m_content;
    auto point = [&](const QPainterPath::Element &e) {
        appendReal(c, e.x);
        c += ' ';
        appendReal(c, e.y);
        c += ' ';
    };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            point(e);
            c += "m\n";
        } else if (e.isLineTo()) {
            point(e);
            c += "l\n";
        } else if (e.isCurveTo() && i + 2 < path.elementCount()) {
            point(e);
            point(path.elementAt(i + 1));
            point(path.elementAt(i + 2));
            c += "c\n";
            i += 2;
        }
    }
    if (path.elementCount() > 0)
        c += path.fillRule() == Qt::WindingFill ? "f\n" : "f*\n";
}

void TPdfDocument::writeFace(TFace &face)
{
    const QRawFont &raw = face.raw;
    const QByteArray font = subsetFont(raw, face.used);
    face.fileObject = allocObject();
    face.descriptorObject = allocObject();
    face.toUnicodeObject = allocObject();
    writeStream(face.fileObject, font, " /Length1 " + QByteArray::number(font.size()));

    const QByteArray head = raw.fontTable("head");
    const QByteArray hhea = raw.fontTable("hhea");
    const QByteArray post = raw.fontTable("post");
    const double upem = head.size() >= 54 && u16(head, 18) ? u16(head, 18) : 1000;
    auto units = [&](int v) { return real(v * 1000.0 / upem); };
    QByteArray tag;
    for (int i = 0, n = face.index; i < 6; ++i, n /= 26)
        tag += char('A' + n % 26);
    QByteArray d = "<< /Type /FontDescriptor /FontName /" + tag + '+' + face.name + " /Flags 4 /FontBBox ["
                   + units(qint16(u16(head, 36))) + ' ' + units(qint16(u16(head, 38))) + ' '
                   + units(qint16(u16(head, 40))) + ' ' + units(qint16(u16(head, 42))) + "] /ItalicAngle "
                   + real(post.size() >= 8 ? qint32(u32(post, 4)) / 65536.0 : 0) + " /Ascent "
                   + units(qint16(u16(hhea, 4))) + " /Descent " + units(qint16(u16(hhea, 6))) + " /CapHeight "
                   + units(qint16(u16(hhea, 4))) + " /StemV 80 /FontFile2 " + ref(face.fileObject) + " >>";
    beginObject(face.descriptorObject);
    write(d + "\nendobj\n");

    QByteArray cmap = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                      "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    std::vector<std::pair<quint32, QString>> entries(face.unicode.begin(), face.unicode.end());
    for (size_t i = 0; i < entries.size(); i += 100) {
        const size_t n = std::min<size_t>(100, entries.size() - i);
        cmap += QByteArray::number(qulonglong(n)) + " beginbfchar\n";
        for (size_t k = i; k < i + n; ++k) {
            cmap += '<' + hex4(entries[k].first) + "> <";
            for (QChar c : entries[k].second)
                cmap += hex4(c.unicode());
            cmap += ">\n";
        }
        cmap += "endbfchar\n";
    }
    cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    writeStream(face.toUnicodeObject, cmap);
}

void TPdfDocument::writeResource(TFontRes &res)
{
    const TFace &face = *res.face;
    QByteArray tag;
    for (int i = 0, n = face.index; i < 6; ++i, n /= 26)
        tag += char('A' + n % 26);
    QByteArray w = "[";
    // runs of consecutive glyphs: first [w1 w2 ...]
    quint32 next = Unknown;
    for (quint32 g = 0; g < res.advances.size(); ++g) {
        if (res.advances[g] < 0)
            continue;
        if (g != next)
            w += (next == Unknown ? "" : "] ") + QByteArray::number(g) + " [";
        else
            w += ' ';
        appendReal(w, res.advances[g] * 1000 / res.size);
        next = g + 1;
    }
    if (next != Unknown)
        w += ']';
    w += ']';
    beginObject(res.cidObject);
    write("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /" + tag + '+' + face.name
          + " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /FontDescriptor "
          + ref(face.descriptorObject) + " /CIDToGIDMap /Identity /DW 0 /W " + w + " >>\nendobj\n");
    beginObject(res.object);
    write("<< /Type /Font /Subtype /Type0 /BaseFont /" + tag + '+' + face.name
          + " /Encoding /Identity-H /DescendantFonts [" + ref(res.cidObject) + "] /ToUnicode "
          + ref(face.toUnicodeObject) + " >>\nendobj\n");
}

bool TPdfDocument::Finish()
{
    if (m_pageObjects.empty() || m_inPage)
        endPage();
    writePendingPage();
    for (auto &f : m_faces)
        if (f->trueType)
            writeFace(*f);
    QByteArray fonts = "<< /Font <<";
    for (auto &r : m_fontRes)
        if (r->face->trueType) {
            r->object = allocObject();
            r->cidObject = allocObject();
            writeResource(*r);
            fonts += " /F" + QByteArray::number(r->index) + ' ' + ref(r->object);
        }
    beginObject(m_resourcesObject);
    write(fonts + " >> >>\nendobj\n");

    QByteArray kids;
    for (int p : m_pageObjects)
        kids += ref(p) + ' ';
    beginObject(m_pagesObject);
    write("<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(qulonglong(m_pageObjects.size()))
          + " >>\nendobj\n");
    beginObject(m_catalog);
    write("<< /Type /Catalog /Pages " + ref(m_pagesObject) + " >>\nendobj\n");
    beginObject(m_info);
    write("<< /Title " + textString(m_title) + " /Creator " + textString(m_creator) + " /Producer "
          + textString(QStringLiteral("Quarn")) + " /CreationDate (D:"
          + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1()
          + "Z) >>\nendobj\n");

    const qint64 xref = m_pos;
    QByteArray table = "xref\n0 " + QByteArray::number(qulonglong(m_offsets.size())) + "\n0000000000 65535 f \n";
    for (size_t i = 1; i < m_offsets.size(); ++i)
        table += QByteArray::number(m_offsets[i]).rightJustified(10, '0') + " 00000 n \n";
    table += "trailer\n<< /Size " + QByteArray::number(qulonglong(m_offsets.size())) + " /Root " + ref(m_catalog)
             + " /Info " + ref(m_info) + " >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    write(table);
    return !m_failed;
}
