#pragma once

#include "TextMeasurer.h"

#include <QString>
#include <memory>
#include <utility>

// The line and page writer of a text report. It measures every output line
// in printer pixels as the viewer will measure it, keeps the position on the
// page, holds the text of a paragraph until the paragraph ends or fills a
// line, and writes the lines into the output file. Where a line does not
// fit, it turns the page: the report prints its page footer and the next
// page's header through this writer (TPages).
//
// The output file holds the lines encoded in the configured code page (the
// DOS code page with OEMConvert), CR LF after each. It is written to a
// temporary file beside the output (appending starts from a copy of the old
// output) and takes the output's place only when the run succeeded, so a
// failed run leaves the previous output as it was.
class TReportWriter {
public:
    // What the writer asks of its report.
    class TPages {
    public:
        virtual bool HasPageHeader() const = 0;
        virtual bool HasPageFooter() const = 0;
        // Prints the footer of the page that ends and counts the page.
        virtual void PrintPageFooter() = 0;
        // Prints the header of the page that begins.
        virtual void PrintPageHeader() = 0;
        // A line was written that has no text and takes no room: it does
        // not count as a line of the page.
        virtual void UncountLine() = 0;

    protected:
        ~TPages() = default;
    };

    explicit TReportWriter(TPages &pages);
    ~TReportWriter();

    // The printable page in printer pixels.
    void SetPageSize(int width, int height);
    // Back to the top of the first page in the default font, with no
    // paragraph and no footer room reserved, measuring with `measurer`
    // (which must outlive the run). Drops an output still open.
    void Reset(TTextMeasurer &measurer);
    // Reserves room at the foot of every page for a page-footer line; the
    // measuring leaves the font and margins the body starts with.
    void ReserveFooterLine(const QString &text);
    // The page height less the page-footer lines.
    int UsableHeight() const { return m_usableHeight; }

    // Opens the output at `path`: the old file's lines first when appending.
    void Open(const QString &path, bool append, bool oem);
    bool IsOpen() const { return m_output != nullptr; }
    // Measures the line (after the text a paragraph holds), keeps
    // paragraphs, breaks the page where it does not fit and writes it; true
    // when it started a new page.
    bool WriteLine(const QString &line);
    // Writes the text as it stands (print codes, the page mark).
    void WriteRaw(const QString &text, bool lineEnd);
    // The output's path as opened, and the file it leads to (a symbolic
    // link's final target); empty when none is open.
    QString Path() const;
    QString Target() const;
    // Writes a paragraph that never ended and puts the output in place; true
    // when it held no byte (nothing is put in place then) or none was open.
    bool Close();
    // Drops what was written; the old output stays.
    void Discard();

    // True from a page break until the report clears it: a record that
    // starts a page prints no record header.
    bool PageStart() const { return m_pageStart; }
    void ClearPageStart() { m_pageStart = false; }
    // While set, a line that does not fit is dropped instead of breaking the
    // page (the record header).
    void SetNoBreak(bool on) { m_noBreak = on; }
    // The next line starts a new page (FormFeed).
    void ForceBreak() { m_forcedBreak = true; }

private:
    // The text of a paragraph waiting for its next line, taken out.
    QString TakePending() { return std::exchange(m_pending, {}); }

    class TOutput;

    TLineMeasure measureLine(const QString &line, bool wrap);
    void breakPage(int lineHeight);

    TPages &m_pages;
    TTextMeasurer *m_measurer = nullptr;
    TOutputState m_out;   // font code and paragraph margins
    int m_pageWidth = 0;
    int m_pageHeight = 0;
    int m_usableHeight = 0;
    int m_position = 0;
    bool m_pageStart = true;
    bool m_forcedBreak = false;
    bool m_noBreak = false;
    bool m_paragraph = false;
    QString m_pending;   // paragraph text waiting for more
    std::unique_ptr<TOutput> m_output;
};
