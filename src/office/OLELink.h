#pragma once

#include "script/DispatchObject.h"
#include "script/ReportObject.h"

#include "report/PrintCodes.h"

#include <QList>
#include <QString>

#include <memory>
#include <optional>
#include <span>

class TReportHost;
class TReportVar;

// The office-application link: fills a spreadsheet (Excel) or a table of
// a word-processor document (Word) row by row from script variables, and
// copies a finished report output into a new word-processor document. It
// talks to the application only through automation calls, so whatever
// server is registered under "Excel.Application" or "Word.Application"
// serves it.
//
// An automation error while creating the link, writing a cell, finishing,
// acquiring the range, setting a font, starting a paragraph, inserting text
// or a break, or setting up the page forgets the process-wide application of
// the link's kind, shows "Ошибка в OLE приложении: " with the error's text
// and stops the run silently (EAbort, through the report when there is
// one). Errors while creating the document, choosing the sheet, creating
// the table or adding a table row propagate unchanged.
class TOLELink : public TReportObject {
public:
    enum TKind { okExcel = 0, okWord = 1 };

    // Kind "EXCEL" or "WORD" (any case); anything else fails with "Неверный
    // тип OLE приложения". Acquires the application: the process-wide one of
    // that kind, else a running instance, else a new one. `report` is none
    // for the viewer's export.
    TOLELink(const QString &kind, TReportHost *report);
    ~TOLELink() override;

    TKind Kind() const { return m_kind; }
    int Row() const { return m_row; }
    int ColumnCount() const { return int(m_columns.size()); }
    const TDispatchRef &Application() const { return m_application; }
    const TDispatchRef &Document() const { return m_document; }
    // The first worksheet, or the word-processor table.
    const TDispatchRef &Sheet() const { return m_sheet; }

    // A new workbook (Workbooks.Add(1)) or document (Documents.Add), and for
    // Word the range at the document's end.
    void NewDocument();
    // AddVarsOLE: a new document whose first row holds the variables'
    // descriptions (their names when they have none); the variables are
    // bound to the columns in order.
    void AddVars(std::span<TReportVar *const> vars);
    // AddRecordOLE: the bound variables' values as the next row.
    void AddRecord();
    // CloseOLE: lets the application draw again and shows it.
    void Finish();

    // The word-processor export of a report output (Word only; an Excel
    // link ignores them).
    // Orientation 0 portrait, 1 landscape, with the margins that fit a
    // report page.
    void PageSetup(int orientation);
    // Puts the pending print-code font on the text written since the last
    // change, then makes (code, size) the pending font; a negative code
    // leaves none pending. Font code 0 (Arial) is a font like the others.
    void SetFont(int code, int size);
    // One output line: its text, cut at the print codes; font codes change
    // the font, the other codes are dropped, as is a page mark "^" at its
    // start. (code, size) is the font in effect where the line starts: when
    // it is not the pending one it is set first (a negative code: no font
    // given). An empty line is an empty paragraph.
    void WriteLine(const QString &text, int code, int size);
    void PageBreak();

private:
    template <class F>
    void guarded(F &&f);
    void acquireRange();
    void writeCell(int column, const TDispValue &value);
    void newParagraph();
    void insertText(const QString &text);

    TReportHost *m_report;
    QList<TReportVar *> m_columns;   // bound variables, not owned
    int m_row = 1;
    TKind m_kind;
    std::optional<TFontSpec> m_font;   // the font last put, made on first use
    int m_fontCode;        // the pending font; negative when none
    int m_fontSize = 0;
    TDispatchRef m_application;
    TDispatchRef m_document;
    TDispatchRef m_sheet;   // the first worksheet, or the table
    TDispatchRef m_range;
    TDispatchRef m_rangeFont;
    int m_lines = 0;            // paragraphs begun by the export
    bool m_pageStart = false;   // a page break opened the paragraph now at the end
};

// The process-wide application of each kind (none until a link acquires
// one); kept until the process ends.
TDispatchRef OfficeApplication(TOLELink::TKind kind);
// Forgets it, so that the next link acquires the application again.
void ResetOfficeApplication(TOLELink::TKind kind);

// The viewer's export: a new word-processor document in the orientation,
// the pages with a page break between them, every page starting in the font
// of its first line; then the application is shown.
void ExportToWord(const QList<TExportPage> &pages, int orientation);
