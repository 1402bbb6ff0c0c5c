#include "OutputPages.h"

#include "common/SafeFile.h"
#include "common/Exceptions.h"
#include "common/Format.h"
#include "common/TextFile.h"
#include "office/OLELink.h"
#include "PdfDocument.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QStringDecoder>
#include <algorithm>
#include <cstring>

namespace {

quint16 clamp16(qint64 v)
{
    return quint16(std::clamp<qint64>(v, 0, 0xffff));
}

// The code page as a table of 256 characters, or empty when it is not a
// one-byte code page.
std::vector<char16_t> codePageTable()
{
    QStringDecoder decoder(CodePageName().toLatin1().constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return {};
    // a two-byte sequence that a one-byte code page reads as two characters
    if (QString(decoder.decode(QByteArrayView("\xd0\x90", 2))).size() != 2)
        return {};
    std::vector<char16_t> table(256);
    for (int b = 0; b < 256; ++b) {
        const char byte = char(b);
        const QString c = decoder.decode(QByteArrayView(&byte, 1));
        if (c.size() != 1)
            return {};
        table[size_t(b)] = c[0].unicode();
    }
    return table;
}

} // namespace

TOutputPages::TOutputPages() = default;
TOutputPages::~TOutputPages() = default;

void TOutputPages::Clear()
{
    m_lines.clear();
    m_lines.shrink_to_fit();
    m_pages.clear();
    m_mapper.SetFileName(QString());
    m_fileName.clear();
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
        m_table = codePageTable();
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
    m_measurer = CreateMeasurer(m_dpi);
    if (!other.IsLoaded())
        return;
    // the file the other pages were measured on, even if it was replaced
    m_mapper.OpenSame(other.m_mapper);
    m_fileName = other.m_fileName;
    m_lines = other.m_lines;
    m_pages = other.m_pages;
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

void TOutputPages::split()
{
    const char *data = m_mapper.Data();
    const qint64 size = m_mapper.Size();
    TOutputState state;
    bool paragraph = false;
    qint64 pos = 0;
    while (pos < size) {
        const void *cr = std::memchr(data + pos, '\r', size_t(size - pos));
        const qint64 end = cr ? static_cast<const char *>(cr) - data : size;
        m_lines.push_back(measure(pos, end, state, paragraph));
        pos = end + 1;
        if (pos < size && data[pos] == '\n')
            ++pos;
    }
}

TLine TOutputPages::measure(qint64 offset, qint64 end, TOutputState &state, bool &paragraph)
{
    TTextMeasurer &measurer = *m_measurer;
    TLine line;
    line.offset = offset;
    line.length = quint16(std::min<qint64>(end - offset, MaxLineLength));
    const TFontSpec font = measurer.Font();
    line.fontCode = quint8(state.fontCode);
    line.fontSize = quint8(font.size);
    line.fontFace = quint8(font.face);
    line.fontStyle = quint8(font.style);
    line.leftMargin = clamp16(state.paraLeftPx);
    line.rightMargin = clamp16(state.paraRightPx);

    const char *bytes = m_mapper.Data() + offset;
    qsizetype size = line.length;
    if (size > 0 && bytes[0] == '^') {
        line.flags |= TLine::PageStart;
        ++bytes;
        --size;
    }
    const bool empty = line.length == 0;   // counts as one blank
    if (!paragraph && !std::memchr(bytes, '\\', size_t(size))) {
        // plain text: one run in the current font
        line.height = clamp16(size > 0 || empty ? measurer.TextHeight(u" ") : 0);
        return line;
    }
    const QString text = empty ? QStringLiteral(" ") : decode(bytes, size);
    const qsizetype pb = text.indexOf(QLatin1String("\\PB"));
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
    if (text.contains(QLatin1String("\\PE"))) {
        line.flags |= TLine::ParagraphEnd;
        state.ClearMargins();
        paragraph = false;
    }
    return line;
}

void TOutputPages::paginate()
{
    m_pages.clear();
    if (m_lines.empty())
        return;
    TPage page;
    qint64 height = 0;
    // the last line never starts a page
    for (int i = 0; i + 1 < LineCount(); ++i) {
        const TLine &line = m_lines[size_t(i)];
        height += line.height;
        if (i > page.first && (height >= m_pageHeight || line.Has(TLine::PageStart))) {
            page.last = i - 1;
            m_pages.push_back(page);
            page.first = i;
            height = line.height;
        }
    }
    page.last = LineCount() - 1;
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
        h += m_lines[size_t(i)].height;
    return h;
}

QString TOutputPages::LineText(int index) const
{
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
    const TLine &line = m_lines.at(size_t(index));
    QString text = LineText(index);
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
    auto flush = [&] {
        if (!current.text.isEmpty())
            fragments.push_back(std::move(current));
        current = TFragment();
    };
    auto add = [&](QStringView chars) {
        if (current.text.isEmpty()) {
            current.line = index;
            current.font = font;
            current.x = std::max(0.0, x - left);
            const int textHeight = measurer.TextHeight(u" ");
            current.y = std::max(0.0, y + (line.height - textHeight) / 2 / scale);
        }
        current.text += chars;
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
            add(QStringView(&c, 1));
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
    TLayoutView view;
    double y = 0;
    for (int i = p.first; i <= p.last; ++i) {
        LayoutLine(i, y, view, fragments, shapes);
        y += m_lines[size_t(i)].height;
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
        TExportPage page;
        for (int i = p.first; i <= p.last; ++i) {
            const TLine &line = m_lines[size_t(i)];
            page.append({LineText(i), line.fontCode, line.fontSize});
        }
        pages.append(page);
    }
    return pages;
}

int WriteOutputPdf(const QString &fileName, const QString &pdfFile,
                   TPageGeometry::Orientation orientation)
{
    TOutputPages pages;
    pages.Load(fileName, orientation, std::make_shared<TVirtualPrinter>());
    // the PDF goes through TSafeFile: an existing file is replaced only by
    // a complete one
    TSafeFile file(pdfFile);
    const QPageLayout layout(QPageSize(QPageSize::A4),
                             orientation == TPageGeometry::Landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                             QMarginsF(5, 5, 5, 5), QPageLayout::Millimeter);
    TPdfDocument pdf(file, layout, pages.Dpi());
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
