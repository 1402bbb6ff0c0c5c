#pragma once

#include "OfficeFiles.h"

#include <QPointer>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

#include <memory>
#include <span>

// The built-in word-processor server "Word.Application". A document's text
// lives in a QTextDocument; saving writes an .odt file (OdtFile.h), or HTML,
// plain text or Markdown by the file's suffix. Positions are those of the
// QTextDocument: Content.End counts the final paragraph mark, as Word does.
// The server needs the GUI application (QGuiApplication, offscreen will do)
// for fonts.
//
//   Application  Application Name Visible ScreenUpdating DisplayAlerts Options
//                Documents[(i)] ActiveDocument ActiveWindow ScreenRefresh
//                Quit([save])
//   Options      Pagination CheckSpellingAsYouType CheckGrammarAsYouType
//   Documents    Count Item(i | name) Add Close([save]) Application Parent
//   Document     Name FullName Path Saved Content Range([start[, end]])
//                Tables[(i)] UndoClear ActiveWindow PageSetup Save
//                SaveAs(file) Close([save]) Activate Application Parent
//   PageSetup    Orientation LeftMargin RightMargin TopMargin BottomMargin
//                PageWidth PageHeight
//   Window       WindowState Caption Document GetPoint(&left, &top, &width,
//                &height, range)
//   Range        Start End Text Font Bold Italic InsertAfter(text)
//                InsertBefore(text) InsertParagraphAfter InsertParagraphBefore
//                InsertBreak([type]) Collapse([direction]) MoveEnd([unit[,
//                count]]) MoveStart([unit[, count]]) Delete Document Application
//   Font         Name Size Bold Italic Underline StrikeThrough
//   Tables       Count Item(i) Add(range, rows, columns)
//   Table        Cell(row, column) Rows Columns Range AutoFitBehavior(how)
//   Cell         Range RowIndex ColumnIndex
//   Rows         Count Item(i) Add([before])      Row     Index Range Delete
//   Columns      Count AutoFit

class TWordDocument;
class TWordRange;

// Word's constants that the server understands.
constexpr int wdCollapseEnd = 0;
constexpr int wdCollapseStart = 1;
constexpr int wdCharacter = 1;
constexpr int wdWord = 2;
constexpr int wdParagraph = 4;
constexpr int wdStory = 6;
constexpr int wdSectionBreakContinuous = 3;
constexpr int wdLineBreak = 6;
constexpr int wdPageBreak = 7;
constexpr int wdOrientPortrait = 0;
constexpr int wdOrientLandscape = 1;

// The page of a document, in points. A new document has an A4 portrait page
// with Word's margins (3 cm left, 1.5 cm right, 2 cm top and bottom).
struct TWordPageSetup {
    int Orientation = wdOrientPortrait;
    double PageWidth = 595.3;
    double PageHeight = 841.9;
    double LeftMargin = 85.05;
    double RightMargin = 42.55;
    double TopMargin = 56.7;
    double BottomMargin = 56.7;

    double TextWidth() const { return PageWidth - LeftMargin - RightMargin; }
};

class TWordApplication final : public TAutomationClass<TWordApplication, TOfficeApplication> {
public:
    static TMembers members();
    static std::shared_ptr<TWordApplication> Create();

    // Raises the server's error without a GUI application.
    std::shared_ptr<TWordDocument> AddDocument();
    std::shared_ptr<TWordDocument> Document(int index) const;   // 1-based
    std::shared_ptr<TWordDocument> ActiveDocument() const;
    void CloseDocument(const std::shared_ptr<TWordDocument> &document, bool save);
    void Activate(const std::shared_ptr<TWordDocument> &document);

    // The Options switches.
    bool Pagination = true;
    bool CheckSpellingAsYouType = true;
    bool CheckGrammarAsYouType = true;
    int ScreenRefreshes = 0;   // calls of ScreenRefresh

    TWordApplication();

private:
    std::shared_ptr<TWordDocument> requireActive() const;

    TDispValue getOptions(TDispArgs &);
    TDispValue getDocuments(TDispArgs &args);
    TDispValue getActiveDocument(TDispArgs &);
    TDispValue getActiveWindow(TDispArgs &);
    TDispValue callScreenRefresh(TDispArgs &);
    TDispValue callQuit(TDispArgs &args);
};

class TWordOptions final : public TAutomationClass<TWordOptions, TServerObject> {
public:
    static TMembers members();
    explicit TWordOptions(std::shared_ptr<TWordApplication> application);

private:
    TDispValue getPagination(TDispArgs &);
    void putPagination(TDispArgs &, const TDispValue &v);
    TDispValue getSpelling(TDispArgs &);
    void putSpelling(TDispArgs &, const TDispValue &v);
    TDispValue getGrammar(TDispArgs &);
    void putGrammar(TDispArgs &, const TDispValue &v);

    std::shared_ptr<TWordApplication> m_application;
};

class TWordDocuments final : public TAutomationClass<TWordDocuments, TServerObject> {
public:
    static TMembers members();
    explicit TWordDocuments(std::shared_ptr<TWordApplication> application);

private:
    TDispValue getCount(TDispArgs &);
    TDispValue getItem(TDispArgs &args);
    TDispValue callAdd(TDispArgs &);
    TDispValue callClose(TDispArgs &args);
    TDispValue getApplication(TDispArgs &);

    std::shared_ptr<TWordApplication> m_application;
};

// The open document by a 1-based number or a name.
std::shared_ptr<TWordDocument> DocumentItem(const TWordApplication &application, const TDispValue &index);

class TWordDocument final : public TAutomationClass<TWordDocument, TOfficeDocument> {
public:
    static TMembers members();
    TWordDocument(std::shared_ptr<TServerState> server, std::weak_ptr<TWordApplication> application,
                  int number);

    QTextDocument &Text() { return *m_text; }
    const QTextDocument &Text() const { return *m_text; }
    // The number of positions, the final paragraph mark included.
    int End() const { return m_text->characterCount(); }
    TWordPageSetup &PageSetup() { return m_page; }
    const TWordPageSetup &PageSetup() const { return m_page; }
    int WindowState = 0;
    std::shared_ptr<TWordApplication> Application() const;

    // The tables of the document in the order they appear.
    QList<QTextTable *> Tables() const;

    // Inserts `text` at `pos` in the format of the text before it: "\r",
    // "\n" and "\r\n" end a paragraph, "\v" breaks the line, "\f" breaks
    // the page. Returns how many positions were added.
    int InsertText(int pos, const QString &text);
    // Ends the paragraph at `pos`; with `pageBreak` the new paragraph
    // begins a page. Returns 1.
    int InsertParagraph(int pos, bool pageBreak = false);
    // Removes the text from `start` to `end` (the final mark stays).
    void Remove(int start, int end);
    // A new table of `rows` x `columns` empty cells at `pos`, its columns
    // sharing the width of the text; the new table has a thin border.
    QTextTable *InsertTable(int pos, int rows, int columns);
    // Gives each column of the table the width of its widest text, within
    // the width of the page's text.
    void AutoFitTable(QTextTable *table);
    // Shares the width of the page's text among the table's columns.
    void SpreadTable(QTextTable *table);

protected:
    void writeFile(const QString &path) override;

private:
    std::shared_ptr<TWordDocument> selfDocument();

    TDispValue getContent(TDispArgs &);
    TDispValue callRange(TDispArgs &args);
    TDispValue getTables(TDispArgs &args);
    TDispValue callUndoClear(TDispArgs &);
    TDispValue getActiveWindow(TDispArgs &);
    TDispValue getPageSetup(TDispArgs &);
    TDispValue callClose(TDispArgs &args);
    TDispValue callActivate(TDispArgs &);
    TDispValue getApplication(TDispArgs &);

    std::weak_ptr<TWordApplication> m_application;
    std::unique_ptr<QTextDocument> m_text;
    TWordPageSetup m_page;
};

// An object that belongs to one document: it refuses calls once the
// document is closed.
class TWordPart : public TServerObject {
public:
    explicit TWordPart(std::shared_ptr<TWordDocument> document);
    const std::shared_ptr<TWordDocument> &Document() const { return m_document; }

protected:
    void checkAlive() const override { m_document->CheckAlive(); }
    TDispValue getDocument(TDispArgs &) { return TDispValue::FromDispatch(m_document); }
    TDispValue getApplication(TDispArgs &) { return TDispValue::FromDispatch(m_document->Application()); }

    std::shared_ptr<TWordDocument> m_document;
};

class TWordPageSetupObject final : public TAutomationClass<TWordPageSetupObject, TWordPart> {
public:
    using TAutomationClass::TAutomationClass;
    static TMembers members();

private:
    TDispValue getOrientation(TDispArgs &);
    void putOrientation(TDispArgs &, const TDispValue &v);
    TDispValue getLeft(TDispArgs &) { return TDispValue::FromDouble(m_document->PageSetup().LeftMargin); }
    void putLeft(TDispArgs &, const TDispValue &v) { setMargin(m_document->PageSetup().LeftMargin, v); }
    TDispValue getRight(TDispArgs &) { return TDispValue::FromDouble(m_document->PageSetup().RightMargin); }
    void putRight(TDispArgs &, const TDispValue &v) { setMargin(m_document->PageSetup().RightMargin, v); }
    TDispValue getTop(TDispArgs &) { return TDispValue::FromDouble(m_document->PageSetup().TopMargin); }
    void putTop(TDispArgs &, const TDispValue &v) { setMargin(m_document->PageSetup().TopMargin, v); }
    TDispValue getBottom(TDispArgs &) { return TDispValue::FromDouble(m_document->PageSetup().BottomMargin); }
    void putBottom(TDispArgs &, const TDispValue &v) { setMargin(m_document->PageSetup().BottomMargin, v); }
    TDispValue getWidth(TDispArgs &) { return TDispValue::FromDouble(m_document->PageSetup().PageWidth); }
    void putWidth(TDispArgs &, const TDispValue &v) { setSize(m_document->PageSetup().PageWidth, v); }
    TDispValue getHeight(TDispArgs &) { return TDispValue::FromDouble(m_document->PageSetup().PageHeight); }
    void putHeight(TDispArgs &, const TDispValue &v) { setSize(m_document->PageSetup().PageHeight, v); }
    // A margin must leave room on the page; a page side is 1 to 1584 pt.
    void setMargin(double &margin, const TDispValue &v);
    void setSize(double &side, const TDispValue &v);
};

class TWordWindow final : public TAutomationClass<TWordWindow, TWordPart> {
public:
    using TAutomationClass::TAutomationClass;
    static TMembers members();

private:
    TDispValue getWindowState(TDispArgs &) { return TDispValue::FromInteger(m_document->WindowState); }
    void putWindowState(TDispArgs &, const TDispValue &v);
    TDispValue getCaption(TDispArgs &) { return TDispValue::FromString(m_document->Name()); }
    // GetPoint(&Left, &Top, &Width, &Height, Range): the rectangle the
    // range takes on the page, in pixels of a 96 dpi screen, from the
    // page's top-left corner, left in the four variables.
    TDispValue callGetPoint(TDispArgs &args);
};

class TWordRange final : public TAutomationClass<TWordRange, TWordPart> {
public:
    static TMembers members();
    TWordRange(std::shared_ptr<TWordDocument> document, int start, int end);

    int Start() const;
    int End() const;
    // Clamped to the document; an end at Document::End() takes in the final
    // paragraph mark.
    void SetRange(int start, int end);
    QString Text() const;
    void SetText(const QString &text);
    void InsertAfter(const QString &text);
    void InsertBefore(const QString &text);
    void InsertParagraphAfter();
    void InsertBreak(int type);
    void Collapse(int direction);
    // Applies the character format to the range's text, and to the text
    // typed later at its end when the range takes in a paragraph mark.
    void MergeCharFormat(const QTextCharFormat &format);
    // The format of the range's first character.
    QTextCharFormat CharFormat() const;

private:
    // The last position of the range's text (the final mark not counted).
    int textEnd() const;
    int move(int from, int unit, int count) const;

    TDispValue getStart(TDispArgs &) { return TDispValue::FromInteger(Start()); }
    void putStart(TDispArgs &, const TDispValue &v);
    TDispValue getEnd(TDispArgs &) { return TDispValue::FromInteger(End()); }
    void putEnd(TDispArgs &, const TDispValue &v);
    TDispValue getText(TDispArgs &) { return TDispValue::FromString(Text()); }
    void putText(TDispArgs &, const TDispValue &v) { SetText(VarToText(v)); }
    TDispValue getFont(TDispArgs &);
    TDispValue getBold(TDispArgs &);
    void putBold(TDispArgs &, const TDispValue &v);
    TDispValue getItalic(TDispArgs &);
    void putItalic(TDispArgs &, const TDispValue &v);
    TDispValue callInsertAfter(TDispArgs &args);
    TDispValue callInsertBefore(TDispArgs &args);
    TDispValue callInsertParagraphAfter(TDispArgs &);
    TDispValue callInsertParagraphBefore(TDispArgs &);
    TDispValue callInsertBreak(TDispArgs &args);
    TDispValue callCollapse(TDispArgs &args);
    TDispValue callMoveEnd(TDispArgs &args);
    TDispValue callMoveStart(TDispArgs &args);
    TDispValue callDelete(TDispArgs &);

    // Both follow changes made elsewhere in the document.
    QTextCursor m_start;
    QTextCursor m_end;
    bool m_final = false;   // the range takes in the final paragraph mark
};

// The font of a range: reading gives its first character's, writing
// changes the range's text as it is at the time of the write.
class TWordFont final : public TAutomationClass<TWordFont, TWordPart> {
public:
    static TMembers members();
    explicit TWordFont(std::shared_ptr<TWordRange> range);

private:
    TDispValue getName(TDispArgs &);
    void putName(TDispArgs &, const TDispValue &v);
    TDispValue getSize(TDispArgs &);
    void putSize(TDispArgs &, const TDispValue &v);
    TDispValue getBold(TDispArgs &);
    void putBold(TDispArgs &, const TDispValue &v);
    TDispValue getItalic(TDispArgs &);
    void putItalic(TDispArgs &, const TDispValue &v);
    TDispValue getUnderline(TDispArgs &);
    void putUnderline(TDispArgs &, const TDispValue &v);
    TDispValue getStrikeThrough(TDispArgs &);
    void putStrikeThrough(TDispArgs &, const TDispValue &v);

    std::shared_ptr<TWordRange> m_range;
};

class TWordTables final : public TAutomationClass<TWordTables, TWordPart> {
public:
    using TAutomationClass::TAutomationClass;
    static TMembers members();

private:
    TDispValue getCount(TDispArgs &);
    TDispValue getItem(TDispArgs &args);
    TDispValue callAdd(TDispArgs &args);
};

// The table by a 1-based number.
TDispValue TableItem(const std::shared_ptr<TWordDocument> &document, const TDispValue &index);

// An object of one table; it refuses calls once the table is gone.
class TWordTablePart : public TWordPart {
public:
    TWordTablePart(std::shared_ptr<TWordDocument> document, QTextTable *table);
    QTextTable *Table() const { return m_table; }

protected:
    void checkAlive() const override;

    QPointer<QTextTable> m_table;
};

class TWordTable final : public TAutomationClass<TWordTable, TWordTablePart> {
public:
    using TAutomationClass::TAutomationClass;
    static TMembers members();

private:
    TDispValue callCell(TDispArgs &args);
    TDispValue getRows(TDispArgs &);
    TDispValue getColumns(TDispArgs &);
    TDispValue getRange(TDispArgs &);
    TDispValue callAutoFitBehavior(TDispArgs &args);
};

class TWordCell final : public TAutomationClass<TWordCell, TWordTablePart> {
public:
    static TMembers members();
    TWordCell(std::shared_ptr<TWordDocument> document, QTextTable *table, int row, int column);

private:
    TDispValue getRange(TDispArgs &);
    TDispValue getRowIndex(TDispArgs &) { return TDispValue::FromInteger(m_row); }
    TDispValue getColumnIndex(TDispArgs &) { return TDispValue::FromInteger(m_column); }

    int m_row, m_column;   // 1-based
};

class TWordRows final : public TAutomationClass<TWordRows, TWordTablePart> {
public:
    using TAutomationClass::TAutomationClass;
    static TMembers members();

private:
    TDispValue getCount(TDispArgs &);
    TDispValue getItem(TDispArgs &args);
    TDispValue callAdd(TDispArgs &args);
};

class TWordRow final : public TAutomationClass<TWordRow, TWordTablePart> {
public:
    static TMembers members();
    TWordRow(std::shared_ptr<TWordDocument> document, QTextTable *table, int row);
    int Index() const { return m_row; }

private:
    TDispValue getIndex(TDispArgs &) { return TDispValue::FromInteger(m_row); }
    TDispValue getRange(TDispArgs &);
    TDispValue callDelete(TDispArgs &);

    int m_row;   // 1-based
};

class TWordColumns final : public TAutomationClass<TWordColumns, TWordTablePart> {
public:
    using TAutomationClass::TAutomationClass;
    static TMembers members();

private:
    TDispValue getCount(TDispArgs &);
    TDispValue callAutoFit(TDispArgs &);
};

// The family a font name stands for in the file: Windows' Cyrillic faces
// ("Arial Cyr", "Courier New Cyr", "Times New Roman Cyr") are their base
// faces, as Windows substitutes them.
QString WordFontFamily(const QString &name);
