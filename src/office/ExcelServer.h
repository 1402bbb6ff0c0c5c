#pragma once

#include "OfficeFiles.h"

#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

// The built-in spreadsheet server "Excel.Application". Its objects keep the
// workbook in memory; saving writes an .xlsx file (XlsxFile.h).
//
//   Application  Application Name Visible ScreenUpdating DisplayAlerts
//                SheetsInNewWorkbook Workbooks[(i)] ActiveWorkbook ActiveSheet
//                Cells[(r, c)] Range(a1[, a2]) Quit
//   Workbooks    Count Item(i | name) Add([template]) Close Application Parent
//   Workbook     Name FullName Path Saved Sheets[(i)] Worksheets[(i)]
//                ActiveSheet Save SaveAs(file) Close([save[, file]]) Activate
//                Application Parent
//   Sheets       Count Item(i | name) Add([before[, after[, count]]])
//                Application Parent
//   Worksheet    Name Index Cells[(r, c)] Range(a1[, a2]) Columns[(i)]
//                Rows[(i)] UsedRange Activate Select Delete Application Parent
//   Range        Value Value2 Formula Text NumberFormat Font ColumnWidth
//                WrapText Row Column Count Address Cells[(r, c)] Item(r, c)
//                Rows[(i)] Columns[(i)] EntireRow EntireColumn AutoFit Clear
//                ClearContents ClearFormats Select Activate Worksheet Parent
//                Application
//   Font         Name Size Bold Italic Underline Strikethrough

class TExcelWorkbook;
class TExcelWorksheet;

constexpr int ExcelMaxRows = 1048576;
constexpr int ExcelMaxColumns = 16384;
constexpr double ExcelDefaultColumnWidth = 8.43;
// The font of cells that set none.
inline const QString ExcelDefaultFontName = QStringLiteral("Calibri");
constexpr double ExcelDefaultFontSize = 11;

// How a cell looks: its number format and font.
struct TCellFormat {
    QString NumberFormat = QStringLiteral("General");
    QString FontName;       // empty: the default font
    double FontSize = 0;    // 0: the default size
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeThrough = false;
    bool WrapText = false;

    bool operator==(const TCellFormat &) const = default;
    bool IsDefault() const { return *this == TCellFormat(); }
};

// One cell: a value (Empty, Double, String, Boolean or Date) or a formula,
// and its format.
struct TExcelCell {
    TDispValue Value;
    QString Formula;   // with its leading "="; empty when the cell holds a value
    TCellFormat Format;
};

// A column's width (negative: the default) and the format its new cells take.
struct TExcelColumn {
    double Width = -1;
    std::optional<TCellFormat> Format;
};

// A rectangle of cells, 1-based and inclusive.
struct TCellRect {
    int Top = 1, Left = 1, Bottom = 1, Right = 1;

    int Rows() const { return Bottom - Top + 1; }
    int Columns() const { return Right - Left + 1; }
    bool WholeColumns() const { return Top == 1 && Bottom == ExcelMaxRows; }
    bool operator==(const TCellRect &) const = default;
};

// A reference in A1 notation ("B3", "$A$1:$C$2", "A:C", "2:4") as a
// rectangle; false when the text is none.
bool ParseA1(const QString &text, TCellRect &rect);

class TExcelApplication final : public TAutomationClass<TExcelApplication, TOfficeApplication> {
public:
    static TMembers members();
    static std::shared_ptr<TExcelApplication> Create();

    std::shared_ptr<TExcelWorkbook> AddWorkbook(int sheets);
    std::shared_ptr<TExcelWorkbook> Workbook(int index) const;   // 1-based
    std::shared_ptr<TExcelWorkbook> ActiveWorkbook() const;
    void CloseWorkbook(const std::shared_ptr<TExcelWorkbook> &workbook, bool save);
    void Activate(const std::shared_ptr<TExcelWorkbook> &workbook);
    int SheetsInNewWorkbook() const { return m_sheetsInNewWorkbook; }

    // For the constructor's use by make_shared only.
    TExcelApplication();

private:
    std::shared_ptr<TExcelWorksheet> activeSheet() const;

    TDispValue getSheetsInNewWorkbook(TDispArgs &) { return TDispValue::FromInteger(m_sheetsInNewWorkbook); }
    void putSheetsInNewWorkbook(TDispArgs &, const TDispValue &v);
    TDispValue getWorkbooks(TDispArgs &args);
    TDispValue getActiveWorkbook(TDispArgs &);
    TDispValue getActiveSheet(TDispArgs &);
    TDispValue getCells(TDispArgs &args);
    TDispValue getRange(TDispArgs &args);
    TDispValue callQuit(TDispArgs &);

    int m_sheetsInNewWorkbook = 1;
};

// The open workbooks of an application.
class TExcelWorkbooks final : public TAutomationClass<TExcelWorkbooks, TServerObject> {
public:
    static TMembers members();
    explicit TExcelWorkbooks(std::shared_ptr<TExcelApplication> application);

private:
    TDispValue getCount(TDispArgs &);
    TDispValue getItem(TDispArgs &args);
    TDispValue callAdd(TDispArgs &args);
    TDispValue callClose(TDispArgs &);
    TDispValue getApplication(TDispArgs &);

    std::shared_ptr<TExcelApplication> m_application;
};

class TExcelWorkbook final : public TAutomationClass<TExcelWorkbook, TOfficeDocument> {
public:
    static TMembers members();
    TExcelWorkbook(std::shared_ptr<TServerState> server, std::weak_ptr<TExcelApplication> application,
                   int number);

    int SheetCount() const { return int(m_sheets.size()); }
    std::shared_ptr<TExcelWorksheet> Sheet(int index) const { return m_sheets[size_t(index - 1)]; }
    std::shared_ptr<TExcelWorksheet> SheetByName(const QString &name) const;
    int SheetIndex(const TExcelWorksheet *sheet) const;   // 1-based, 0 when not here
    std::shared_ptr<TExcelWorksheet> ActiveSheet() const { return m_activeSheet; }
    void ActivateSheet(const std::shared_ptr<TExcelWorksheet> &sheet) { m_activeSheet = sheet; }
    // Inserts a new sheet at the 1-based position and makes it active.
    std::shared_ptr<TExcelWorksheet> InsertSheet(int position);
    void DeleteSheet(const TExcelWorksheet *sheet);
    std::shared_ptr<TExcelApplication> Application() const;

protected:
    void writeFile(const QString &path) override;

private:
    TDispValue getSheets(TDispArgs &args);
    TDispValue getActiveSheet(TDispArgs &);
    TDispValue callClose(TDispArgs &args);
    TDispValue callActivate(TDispArgs &);
    TDispValue getApplication(TDispArgs &);

    std::weak_ptr<TExcelApplication> m_application;
    std::vector<std::shared_ptr<TExcelWorksheet>> m_sheets;
    std::shared_ptr<TExcelWorksheet> m_activeSheet;
    int m_sheetsMade = 0;
};

// The sheets of a workbook.
class TExcelSheets final : public TAutomationClass<TExcelSheets, TServerObject> {
public:
    static TMembers members();
    explicit TExcelSheets(std::shared_ptr<TExcelWorkbook> workbook);

protected:
    void checkAlive() const override;

private:
    TDispValue getCount(TDispArgs &);
    TDispValue getItem(TDispArgs &args);
    TDispValue callAdd(TDispArgs &args);
    TDispValue getParent(TDispArgs &);
    TDispValue getApplication(TDispArgs &);

    std::shared_ptr<TExcelWorkbook> m_workbook;
};

// The open workbook by a 1-based number or a name.
std::shared_ptr<TExcelWorkbook> WorkbookItem(const TExcelApplication &application, const TDispValue &index);
// The item of a workbook's sheets by a 1-based number or a name.
std::shared_ptr<TExcelWorksheet> SheetItem(const TExcelWorkbook &workbook, const TDispValue &index);

class TExcelWorksheet final : public TAutomationClass<TExcelWorksheet, TServerObject> {
public:
    static TMembers members();
    using TCellMap = std::map<std::pair<int, int>, TExcelCell>;   // by (row, column)

    TExcelWorksheet(std::shared_ptr<TServerState> server, std::weak_ptr<TExcelWorkbook> workbook,
                    QString name);

    const QString &Name() const { return m_name; }
    // Raises the server's error for a name Excel would refuse: empty, longer
    // than 31 characters, with one of : \ / ? * [ ], or taken by another
    // sheet of the workbook.
    void SetName(const QString &name);
    std::shared_ptr<TExcelWorkbook> Workbook() const;
    void Detach() { m_deleted = true; }

    const TCellMap &Cells() const { return m_cells; }
    const std::map<int, TExcelColumn> &ColumnInfo() const { return m_columns; }
    const TExcelCell *FindCell(int row, int column) const;
    // The cell, created with its column's format when new.
    TExcelCell &CellAt(int row, int column);
    TCellFormat FormatAt(int row, int column) const;
    TExcelColumn &Column(int column) { return m_columns[column]; }
    double ColumnWidth(int column) const;
    // The smallest rectangle holding every cell with a value or a format;
    // A1 alone for an empty sheet.
    TCellRect UsedRect() const;
    void RemoveCell(int row, int column) { m_cells.erase({row, column}); }
    // Marks the workbook changed.
    void Modified();

protected:
    void checkAlive() const override;

private:
    std::shared_ptr<TExcelWorksheet> selfSheet();

    TDispValue getName(TDispArgs &) { return TDispValue::FromString(m_name); }
    void putName(TDispArgs &, const TDispValue &v) { SetName(VarToText(v)); }
    TDispValue getIndex(TDispArgs &);
    TDispValue getCells(TDispArgs &args);
    TDispValue getRange(TDispArgs &args);
    TDispValue getColumns(TDispArgs &args);
    TDispValue getRows(TDispArgs &args);
    TDispValue getUsedRange(TDispArgs &);
    TDispValue callActivate(TDispArgs &);
    TDispValue callDelete(TDispArgs &);
    TDispValue getParent(TDispArgs &);
    TDispValue getApplication(TDispArgs &);

    std::weak_ptr<TExcelWorkbook> m_workbook;
    QString m_name;
    TCellMap m_cells;
    std::map<int, TExcelColumn> m_columns;
    bool m_deleted = false;
};

// Cells(r, c), Range(a1[, a2]) and their relatives on a sheet, shared by the
// sheet and the application's active-sheet forms.
TDispValue SheetCells(const std::shared_ptr<TExcelWorksheet> &sheet, TDispArgs &args);
TDispValue SheetRange(const std::shared_ptr<TExcelWorksheet> &sheet, TDispArgs &args);

// A rectangle of cells on a sheet. Reading gives the top-left cell's value;
// writing sets every cell of the rectangle.
class TExcelRange final : public TAutomationClass<TExcelRange, TServerObject> {
public:
    static TMembers members();
    TExcelRange(std::shared_ptr<TExcelWorksheet> sheet, TCellRect rect);

    const TCellRect &Rect() const { return m_rect; }
    const std::shared_ptr<TExcelWorksheet> &Sheet() const { return m_sheet; }

    // Puts a value as Excel takes one typed in: into a cell formatted as
    // text ("@") a text stays text; elsewhere a text that reads as a number
    // becomes the number, one that reads as a date (dd.mm.yyyy) the date,
    // and one that begins with "=" a formula. A date into a cell of the
    // "General" format gives the cell a date format.
    static void PutCellValue(TExcelCell &cell, const TDispValue &value);
    // Applies `change` to the format of every cell of the rectangle (and of
    // the columns when the rectangle spans whole columns).
    void ChangeFormat(const std::function<void(TCellFormat &)> &change);
    // The top-left cell's format.
    TCellFormat Format() const;

protected:
    void checkAlive() const override;

private:
    TDispValue range(const TCellRect &rect) const;
    // Every cell of the rectangle, for changing the values; raises the
    // server's error for a rectangle of more than a million cells.
    void forEachCell(const std::function<void(TExcelCell &)> &change);
    // The positions of the cells of the rectangle that exist.
    std::vector<std::pair<int, int>> cellsPresent() const;

    TDispValue getValue(TDispArgs &);
    void putValue(TDispArgs &, const TDispValue &v);
    TDispValue getFormula(TDispArgs &);
    void putFormula(TDispArgs &, const TDispValue &v);
    TDispValue getText(TDispArgs &);
    TDispValue getNumberFormat(TDispArgs &);
    void putNumberFormat(TDispArgs &, const TDispValue &v);
    TDispValue getFont(TDispArgs &);
    TDispValue getColumnWidth(TDispArgs &);
    void putColumnWidth(TDispArgs &, const TDispValue &v);
    TDispValue getWrapText(TDispArgs &);
    void putWrapText(TDispArgs &, const TDispValue &v);
    TDispValue getRow(TDispArgs &) { return TDispValue::FromInteger(m_rect.Top); }
    TDispValue getColumn(TDispArgs &) { return TDispValue::FromInteger(m_rect.Left); }
    TDispValue getCount(TDispArgs &);
    TDispValue getAddress(TDispArgs &);
    TDispValue getCells(TDispArgs &args);
    TDispValue getItem(TDispArgs &args);
    TDispValue getRows(TDispArgs &args);
    TDispValue getColumns(TDispArgs &args);
    TDispValue getEntireRow(TDispArgs &);
    TDispValue getEntireColumn(TDispArgs &);
    TDispValue callAutoFit(TDispArgs &);
    TDispValue callClear(TDispArgs &);
    TDispValue callClearContents(TDispArgs &);
    TDispValue callClearFormats(TDispArgs &);
    TDispValue callSelect(TDispArgs &);
    TDispValue getWorksheet(TDispArgs &);
    TDispValue getApplication(TDispArgs &);

    std::shared_ptr<TExcelWorksheet> m_sheet;
    TCellRect m_rect;
};

// The font of a range's cells.
class TExcelFont final : public TAutomationClass<TExcelFont, TServerObject> {
public:
    static TMembers members();
    explicit TExcelFont(std::shared_ptr<TExcelRange> range);

protected:
    void checkAlive() const override;

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
    TDispValue getStrikethrough(TDispArgs &);
    void putStrikethrough(TDispArgs &, const TDispValue &v);

    std::shared_ptr<TExcelRange> m_range;
};

// The text a cell shows: numbers in the cell's number format ("General",
// "0", "0.00", "#,##0.00" and the like), dates in its date format.
QString CellDisplayText(const TExcelCell &cell);
