#include "ReportWriter.h"

#include "PrintCodes.h"

#include "common/Exceptions.h"
#include "common/SafeFile.h"
#include "common/TextFile.h"

namespace {

const QString PageBreakMark = QStringLiteral("^");

// The first backslash followed by `a` and `b` in the line (a print code).
// Most lines have no backslash at all, and a search for one character is
// far cheaper than Qt's search for a Latin-1 text.
qsizetype findPrintCode(QStringView line, char16_t a, char16_t b)
{
    for (qsizetype i = line.indexOf(u'\\'); i >= 0; i = line.indexOf(u'\\', i + 1))
        if (i + 2 < line.size() && line[i + 1] == a && line[i + 2] == b)
            return i;
    return -1;
}

} // namespace

// The output file, encoded and buffered.
class TReportWriter::TOutput {
public:
    TOutput(const QString &path, bool append, bool oem)
        : m_encoder(oem ? QStringLiteral("IBM866") : CodePageName())
    {
        if (!m_encoder.isValid())
            throw Exception(QStringLiteral("Неизвестная кодовая страница %1").arg(CodePageName()));
        m_file = std::make_unique<TSafeFile>(path);
        if (append)
            m_file->CopyTarget();
        m_buffer.reserve(FlushSize + 4096);
    }

    void write(const QString &text, bool lineEnd)
    {
        m_encoder.append(m_buffer, text);
        if (lineEnd)
            m_buffer.append("\r\n", 2);
        if (m_buffer.size() >= FlushSize)
            flush();
    }

    void flush()
    {
        if (!m_buffer.isEmpty())
            m_file->Write(m_buffer);
        // emptied, not freed: the buffer's memory serves the whole run
        m_buffer.resize(0);
    }

    // Puts the output in place; true when it holds no byte (nothing is put
    // in place then).
    bool close()
    {
        flush();
        if (m_file->Size() == 0) {
            m_file->Discard();
            return true;
        }
        m_file->Commit();
        return false;
    }

    void discard() { m_file->Discard(); }

    QString path() const { return m_file->FileName(); }
    QString target() const { return m_file->Target(); }

private:
    static constexpr qsizetype FlushSize = 1 << 16;

    TCodePageEncoder m_encoder;
    std::unique_ptr<TSafeFile> m_file;
    QByteArray m_buffer;
};

TReportWriter::TReportWriter(TPages &pages) : m_pages(pages) {}

TReportWriter::~TReportWriter()
{
    Discard();
}

void TReportWriter::SetPageSize(int width, int height)
{
    // a page turned while the template compiles (its variables set
    // Orientation) keeps the room reserved for the page footer so far
    m_usableHeight += height - m_pageHeight;
    m_pageWidth = width;
    m_pageHeight = height;
}

void TReportWriter::Reset(TTextMeasurer &measurer)
{
    Discard();
    m_measurer = &measurer;
    m_measurer->SetFont(TFontSpec::Default());
    m_out = {};
    m_usableHeight = m_pageHeight;
    m_position = 0;
    m_pageStart = true;
    m_forcedBreak = false;
    m_noBreak = false;
    m_paragraph = false;
    m_pending.clear();
}

void TReportWriter::ReserveFooterLine(const QString &text)
{
    const TFontSpec font = m_measurer->Font();
    const TOutputState out = m_out;
    m_usableHeight -= measureLine(text, false).height;
    m_measurer->SetFont(font);
    m_out = out;
}

void TReportWriter::Open(const QString &path, bool append, bool oem)
{
    Discard();
    m_output = std::make_unique<TOutput>(path, append, oem);
}

void TReportWriter::Discard()
{
    if (m_output) {
        m_output->discard();
        m_output.reset();
    }
}

QString TReportWriter::Path() const
{
    return m_output ? m_output->path() : QString();
}

QString TReportWriter::Target() const
{
    return m_output ? m_output->target() : QString();
}

bool TReportWriter::Close()
{
    if (!m_output)
        return true;
    // a paragraph that never ended still belongs to the output
    if (!m_pending.isEmpty()) {
        m_paragraph = false;
        m_output->write(TakePending(), true);
    }
    const std::unique_ptr<TOutput> output = std::move(m_output);
    return output->close();
}

void TReportWriter::WriteRaw(const QString &text, bool lineEnd)
{
    m_output->write(text, lineEnd);
}

TLineMeasure TReportWriter::measureLine(const QString &line, bool wrap)
{
    return MeasureOutputLine(*m_measurer, m_out, line, wrap, m_pageWidth);
}

bool TReportWriter::WriteLine(const QString &input)
{
    // the text a paragraph holds goes before its next line, whoever writes
    // it (a template line or a script's PutLine)
    if (m_paragraph && !m_noBreak && !m_pending.isEmpty())
        return WriteLine(TakePending() + u' ' + input);
    // an empty line is written as one blank; a line is copied only when
    // measuring cuts it
    QString blank;
    if (input.isEmpty())
        blank = QStringLiteral(" ");
    const QString &whole = input.isEmpty() ? blank : input;
    // Every print code starts with a backslash: most lines have none, and
    // one search for it spares them the searches for "\PB" and "\PE" and
    // the walk through the line's codes when it is measured.
    const bool codes = whole.contains(u'\\');
    const qsizetype pb = codes ? findPrintCode(whole, u'P', u'B') : -1;
    if (pb >= 0) {
        const TPrintCode code = ParsePrintCode(whole, pb);
        if (code.kind == TPrintCode::ParaBegin) {
            m_paragraph = true;
            m_out.SetMargins(code.left, code.right, m_measurer->Dpi());
        }
    }
    const TFontSpec fontBefore = m_measurer->Font();
    const int codeBefore = m_out.fontCode;
    // without codes and outside a paragraph a line is one run of text in the
    // current font, never cut: its height is all there is to measure
    const TLineMeasure m = codes || m_paragraph ? measureLine(whole, m_paragraph)
                                                : TLineMeasure{m_measurer->TextHeight(whole), 0, -1};
    QString remainder, head;
    if (m.cut >= 0) {
        remainder = whole.mid(m.cut);
        head = whole.left(m.cut);
    }
    const QString &line = m.cut >= 0 ? head : whole;
    if (m_paragraph) {
        const bool ends = codes && findPrintCode(input, u'P', u'E') >= 0;
        if (!ends && remainder.isEmpty()) {
            // waits for the next line of the paragraph; its codes apply
            // when it is measured again
            m_pending = line;
            m_measurer->SetFont(fontBefore);
            m_out.fontCode = codeBefore;
            return false;
        }
        if (!ends) {
            m_pending = std::exchange(remainder, {});
        } else if (remainder.isEmpty()) {
            m_paragraph = false;
            m_out.ClearMargins();
        }
    }
    m_position += m.height;
    bool newPage = false;
    if (m_noBreak && m_position >= m_usableHeight) {
        m_position -= m.height;
        return false;
    }
    if (m_position >= m_usableHeight || m_forcedBreak) {
        breakPage(m.height);
        newPage = true;
    }
    WriteRaw(line, true);
    if (m.height == 0)
        m_pages.UncountLine();
    if (!remainder.isEmpty())
        newPage = WriteLine(remainder) || newPage;
    return newPage;
}

void TReportWriter::breakPage(int lineHeight)
{
    m_forcedBreak = false;
    m_position = 0;
    const bool paragraph = std::exchange(m_paragraph, false);
    const bool hasHeader = m_pages.HasPageHeader();
    const bool closeParagraph = paragraph && (m_pages.HasPageFooter() || hasHeader);
    if (closeParagraph)
        WriteRaw(QStringLiteral("\\PE"), false);
    m_pages.PrintPageFooter();
    m_position = 0;
    if (hasHeader) {
        WriteRaw(PageBreakMark, false);
        m_pages.PrintPageHeader();
    }
    if (closeParagraph)
        WriteRaw(QStringLiteral("\\PB%1:%2").arg(m_out.paraLeftMm).arg(m_out.paraRightMm), false);
    m_position += lineHeight;
    m_pageStart = true;
    m_paragraph = paragraph;
}
