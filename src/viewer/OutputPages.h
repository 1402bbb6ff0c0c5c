#pragma once

#include "FileMapper.h"
#include "report/PageGeometry.h"
#include "report/PrintCodes.h"
#include "report/TextMeasurer.h"

#include <QLineF>
#include <QList>
#include <QPageLayout>
#include <QRectF>
#include <QString>
#include <memory>
#include <vector>

class QPainter;
class TPdfDocument;
struct TExportLine;
using TExportPage = QList<TExportLine>;

// One line of a report output file: where its bytes are, the font and
// paragraph state where it starts, and its measured size.
struct TLine {
    enum Flag : quint8 { PageStart = 1, Paragraph = 2, ParagraphEnd = 4 };

    qint64 offset = 0;       // of the line's bytes in the file
    quint16 length = 0;      // bytes shown, at most MaxLineLength
    quint8 fontCode = 255;   // the last font code before the line
    quint8 fontSize = 10;    // the font size in effect (points)
    quint8 fontFace = quint8(TFontFace::Courier);
    quint8 fontStyle = 0;
    quint16 height = 0;      // printer pixels
    quint16 width = 0;       // text width in printer pixels (paragraph lines)
    quint8 flags = 0;
    quint16 leftMargin = 0;  // paragraph margins in printer pixels
    quint16 rightMargin = 0;

    TFontSpec Font() const { return {TFontFace(fontFace), fontSize, fontStyle}; }
    bool Has(Flag f) const { return flags & f; }
};

// The lines of an output file as the viewer keeps them, 4 bytes a line:
// the low 32 bits of where each line starts, and the runs of lines of one
// kind (font, paragraph state, flags and measures) with the kinds in a
// table of the distinct ones. Where a line ends follows from where the
// next one starts; the file stays mapped.
class TLineIndex {
public:
    size_t size() const { return m_offsets.size(); }
    bool empty() const { return m_offsets.empty(); }
    // The line with its offset and length (at() checks the index).
    TLine operator[](size_t i) const;
    TLine at(size_t i) const;
    int Height(size_t i) const { return m_kinds[kind(i)].height; }
    qint64 Offset(size_t i) const;
    // The distinct kinds of line, and the runs of lines of one kind.
    size_t KindCount() const { return m_kinds.size(); }
    size_t RunCount() const { return m_runs.size(); }

private:
    friend class TOutputPages;
    struct TRun {
        size_t first;   // the run's first line
        quint32 kind;
    };
    quint32 kind(size_t i) const;
    qint64 end(size_t i) const;
    void clear();

    const char *m_data = nullptr;
    std::vector<quint32> m_offsets;
    std::vector<size_t> m_wraps;   // the first line of each further 4 GiB of the file
    std::vector<TRun> m_runs;
    std::vector<TLine> m_kinds;    // offset and length unused
    qint64 m_lastEnd = 0;          // where the last line ends
};

// A page: its first and last line.
struct TPage {
    int first = 0;
    int last = 0;
};

// A run of text in one font at a position of the drawing surface.
struct TFragment {
    int line = 0;
    TFontSpec font;
    double x = 0, y = 0;
    QString text;
};

// A line or a rectangle outline of a "\L" or "\R" code.
struct TShape {
    bool rect = false;
    QLineF line;
    QRectF box;
    double penWidth = 1;
};

// How a line is laid out: `scale` printer pixels per drawing pixel. With
// `printerWidths` every character advances by its printer width divided by
// the scale, so the layout equals the print (fit-page mode and printing);
// otherwise by its width in `screen`, the screen font measurer.
struct TLayoutView {
    double scale = 1;
    bool printerWidths = true;
    TTextMeasurer *screen = nullptr;
    int leftOffset = 0;        // printer pixels hidden at the left
    double visibleWidth = 0;   // drawing pixels; 0: no limit
    double pageTop = 0;        // drawing y of the top of the line's page
};

// A report output file split into lines, measured against the printer and
// divided into pages exactly as the report writer broke them; the layout
// of its lines for painting, printing and PDF. The file stays mapped; lines
// point into it.
class TOutputPages {
public:
    static constexpr int MaxLineLength = 2000;

    TOutputPages();
    ~TOutputPages();

    // Loads `fileName` (a full name) measured for the orientation on the
    // geometry (the default one when null) with `measurer` (made for the
    // geometry's resolution when null). "Нет информации для просмотра" when
    // the file does not exist; a failed load leaves nothing loaded.
    void Load(const QString &fileName, TPageGeometry::Orientation orientation,
              std::shared_ptr<TPageGeometry> geometry = nullptr,
              std::unique_ptr<TTextMeasurer> measurer = nullptr);
    // Forgets the lines and closes the file.
    void Clear();
    // The same lines and pages over a mapping of its own (for a print thread).
    void Assign(const TOutputPages &other);

    bool IsLoaded() const { return m_mapper.IsOpen(); }
    // Whether the file still holds every byte that was loaded, asked of the
    // file now. A program that cuts the output in place (rather than
    // replacing it) takes the mapped pages past the new end away: from the
    // first time the file is found shorter no line is read from it again
    // (texts are empty, nothing is laid out, printing and exporting raise
    // "Файл отчета ... изменился") and Cut() stays true until the next load.
    // Callers ask before they lay lines out (a paint, a page).
    bool Intact() const;
    bool Cut() const { return m_cut; }
    const TFileMapper &Mapper() const { return m_mapper; }
    QString FileName() const { return m_fileName; }
    TPageGeometry::Orientation Orientation() const { return m_orientation; }
    int Dpi() const { return m_dpi; }
    int PageWidth() const { return m_pageWidth; }
    int PageHeight() const { return m_pageHeight; }
    const TLineIndex &Lines() const { return m_lines; }
    const std::vector<TPage> &Pages() const { return m_pages; }
    int LineCount() const { return int(m_lines.size()); }
    int PageCount() const { return int(m_pages.size()); }
    // The page that holds line `line`.
    int PageOfLine(int line) const;
    // Sum of the heights of lines [from, to).
    qint64 HeightOf(int from, int to) const;

    // The line's text without a leading "^" (after Intact()).
    QString LineText(int line) const;
    TTextMeasurer &Measurer() { return *m_measurer; }

    // Lays out line `line` with its top at drawing y `y`: the print codes
    // applied, paragraph lines justified. Text goes to `fragments`, "\L"
    // and "\R" codes to `shapes`. The file is not asked (Intact()): a paint
    // asks once for all its lines.
    void LayoutLine(int line, double y, const TLayoutView &view, std::vector<TFragment> &fragments,
                    std::vector<TShape> &shapes);
    // Draws what layout collected, the fragments sorted by font so that the
    // font changes as rarely as possible; fonts are sized for `fontDpi`.
    static void Draw(QPainter &painter, std::vector<TFragment> &fragments,
                     const std::vector<TShape> &shapes, int fontDpi);
    // Paints page `page` at the printer's resolution (scale 1) with the
    // painter's origin at the top-left corner of the printable area; raises
    // when the file was cut (Intact()).
    void PaintPage(QPainter &painter, int page);
    // The same page written into a PDF document.
    void PaintPage(TPdfDocument &pdf, int page);

    // Pages as the word-processor export takes them; raises when the file
    // was cut (Intact()).
    QList<TExportPage> ExportPages() const;

private:
    void split();
    void paginate();
    static TLine lineIn(const TOutputState &state, const TFontSpec &font);
    quint32 plainKind(int variant, const TOutputState &state);
    quint32 measure(const char *bytes, qsizetype length, TOutputState &state, bool &paragraph);
    quint32 kindOf(const TLine &line);
    void plainStateFrom(const TOutputState &state);
    QString decode(const char *bytes, qsizetype size) const;
    void decodeInto(QString &text, const char *bytes, qsizetype size) const;
    void layoutPage(int page, std::vector<TFragment> &fragments, std::vector<TShape> &shapes);
    QString lineText(int line) const;
    void checkIntact() const;

    QString m_fileName;
    TPageGeometry::Orientation m_orientation = TPageGeometry::Portrait;
    TFileMapper m_mapper;
    mutable bool m_cut = false;   // the file was found shorter than loaded
    std::shared_ptr<TPageGeometry> m_geometry;
    std::unique_ptr<TTextMeasurer> m_measurer;
    int m_dpi = 300;
    int m_pageWidth = 0;
    int m_pageHeight = 0;
    TLineIndex m_lines;
    std::vector<TPage> m_pages;
    // the code page as a table when it has one byte per character
    std::vector<char16_t> m_table;
    bool m_asciiCodes = false;   // the table keeps the print codes' letters
    // while loading: the kinds of the lines of plain text in the current
    // state (none, "^", "^" alone; Unknown: not known yet), the kinds by
    // their contents, and the lines with print codes measured so far
    static constexpr quint32 Unknown = 0xffffffff;
    quint32 m_plainKinds[3] = {Unknown, Unknown, Unknown};
    TFontSpec m_plainFont;
    TOutputState m_plainState;
    struct TKindKey;
    struct TMeasured;
    struct TLoadCache;
    std::unique_ptr<TLoadCache> m_cache;
    QString m_text;
};

// The PDF page of an output: A4 with the virtual printer's 5 mm margins, in
// the orientation.
QPageLayout OutputPdfLayout(TPageGeometry::Orientation orientation);

// Renders the output file `fileName` into the PDF file `pdfFile`, page by
// page as the viewer paginates it, on A4 (with the virtual printer's
// margins) in the orientation. Returns the number of pages.
int WriteOutputPdf(const QString &fileName, const QString &pdfFile,
                   TPageGeometry::Orientation orientation);
