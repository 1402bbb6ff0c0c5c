#include "ExcelServer.h"

#include "XlsxFile.h"

#include "common/Convert.h"
#include "common/DateTime.h"
#include "common/Format.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {

const QString SheetStem = QStringLiteral("Лист");
const QString GeneralFormat = QStringLiteral("General");
const QString TextFormat = QStringLiteral("@");

// Excel's underline constants.
constexpr int xlUnderlineStyleNone = -4142;
constexpr int xlUnderlineStyleSingle = 2;

// A range of more cells than this is refused for value changes: it could
// only come from a whole row or column by mistake.
constexpr qint64 MaxRangeCells = 1000000;

TDispValue none()
{
    return {};
}

// The date format a date takes in a cell of the "General" format.
QString dateFormatFor(double date)
{
    const double day = std::floor(date);
    if (date == day)
        return QStringLiteral("dd.mm.yyyy");
    if (day == 0)
        return QStringLiteral("h:mm:ss");
    return QStringLiteral("dd.mm.yyyy h:mm");
}

// Whether a number format shows dates: it has date or time letters outside
// quotes and no digit placeholders.
bool isDateFormat(const QString &format)
{
    bool quoted = false, dateLetters = false;
    for (const QChar c : format) {
        if (c == u'"')
            quoted = !quoted;
        if (quoted)
            continue;
        const QChar l = c.toLower();
        if (l == u'0' || l == u'#')
            return false;
        if (l == u'd' || l == u'm' || l == u'y' || l == u'h' || l == u's')
            dateLetters = true;
    }
    return dateLetters;
}

bool checkRect(const TCellRect &r)
{
    return r.Top >= 1 && r.Left >= 1 && r.Top <= r.Bottom && r.Left <= r.Right
           && r.Bottom <= ExcelMaxRows && r.Right <= ExcelMaxColumns;
}

int cellCoordinate(TDispArgs &args, int i, int max)
{
    const qint64 v = args.Int(i);
    if (v < 1 || v > max)
        RaiseOleError(OleStatus::BadIndex);
    return int(v);
}

TDispValue rangeOf(const std::shared_ptr<TExcelWorksheet> &sheet, const TCellRect &rect)
{
    return TDispValue::FromDispatch(std::make_shared<TExcelRange>(sheet, rect));
}

// A range argument of Range(cell1, cell2): an A1 text or a range object of
// the same sheet.
TCellRect rectArgument(const std::shared_ptr<TExcelWorksheet> &sheet, const TDispValue &v)
{
    if (v.Type == TDispValue::Dispatch) {
        auto *range = dynamic_cast<TExcelRange *>(v.DispValue.get());
        if (!range || range->Sheet() != sheet)
            RaiseOleError(OleStatus::TypeMismatch);
        return range->Rect();
    }
    const QString text = VarToText(v);
    TCellRect rect;
    if (!ParseA1(text, rect))
        RaiseServerError(QStringLiteral("Неверная ссылка на диапазон: '%1'").arg(text));
    return rect;
}

// A column given by number or by letters ("C"), or columns ("A:C").
TCellRect columnsArgument(const TDispValue &v)
{
    if (v.Type == TDispValue::String) {
        QString text = v.StrValue.trimmed();
        if (!text.contains(u':'))
            text += u':' + text;
        TCellRect rect;
        if (!ParseA1(text, rect) || !rect.WholeColumns())
            RaiseServerError(QStringLiteral("Неверная ссылка на диапазон: '%1'").arg(v.StrValue));
        return rect;
    }
    const qint64 c = VarToInt(v);
    if (c < 1 || c > ExcelMaxColumns)
        RaiseOleError(OleStatus::BadIndex);
    return TCellRect{1, int(c), ExcelMaxRows, int(c)};
}

} // namespace

// ---------------------------------------------------------------------------
// A1 references

bool ParseA1(const QString &text, TCellRect &rect)
{
    static const QRegularExpression cell(
        QStringLiteral("^\\$?([A-Za-z]{0,3})\\$?([0-9]{0,7})$"));
    const QStringList parts = text.trimmed().split(u':');
    if (parts.size() > 2)
        return false;
    int rows[2] = {0, 0}, cols[2] = {0, 0};
    for (int i = 0; i < parts.size(); ++i) {
        const auto m = cell.match(parts[i].trimmed());
        if (!m.hasMatch() || (m.capturedLength(1) == 0 && m.capturedLength(2) == 0))
            return false;
        int col = 0;
        for (const QChar c : m.captured(1))
            col = col * 26 + (c.toUpper().unicode() - u'A' + 1);
        cols[i] = col;
        rows[i] = m.capturedLength(2) ? m.captured(2).toInt() : 0;
    }
    if (parts.size() == 1) {
        if (!cols[0] || !rows[0])
            return false;
        rect = TCellRect{rows[0], cols[0], rows[0], cols[0]};
    } else if (!rows[0] && !rows[1] && cols[0] && cols[1]) {
        rect = TCellRect{1, std::min(cols[0], cols[1]), ExcelMaxRows, std::max(cols[0], cols[1])};
    } else if (!cols[0] && !cols[1] && rows[0] && rows[1]) {
        rect = TCellRect{std::min(rows[0], rows[1]), 1, std::max(rows[0], rows[1]), ExcelMaxColumns};
    } else if (cols[0] && cols[1] && rows[0] && rows[1]) {
        rect = TCellRect{std::min(rows[0], rows[1]), std::min(cols[0], cols[1]),
                         std::max(rows[0], rows[1]), std::max(cols[0], cols[1])};
    } else {
        return false;
    }
    return checkRect(rect);
}

QString CellDisplayText(const TExcelCell &cell)
{
    if (!cell.Formula.isEmpty())
        return cell.Formula;
    const TDispValue &v = cell.Value;
    const QString &format = cell.Format.NumberFormat;
    switch (v.Type) {
    case TDispValue::String: return v.StrValue;
    case TDispValue::Boolean: return v.BoolValue ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    case TDispValue::Date:
    case TDispValue::Double: {
        if (isDateFormat(format))
            return FormatDateTime(format, v.NumValue);
        if (v.Type == TDispValue::Date)
            return FormatDateTime(dateFormatFor(v.NumValue), v.NumValue);
        if (format.contains(u'0') || format.contains(u'#')) {
            double value = v.NumValue;
            const bool percent = format.contains(u'%');
            if (percent)
                value *= 100;
            const qsizetype dot = format.indexOf(u'.');
            int decimals = 0;
            for (qsizetype i = dot + 1; dot >= 0 && i < format.size() && format[i] == u'0'; ++i)
                ++decimals;
            const TFloatFormat kind = format.contains(u',') ? TFloatFormat::ffNumber : TFloatFormat::ffFixed;
            return FloatToStrF(value, kind, 15, decimals) + (percent ? QStringLiteral("%") : QString());
        }
        return FloatToStr(v.NumValue);
    }
    default: return QString();
    }
}

// ---------------------------------------------------------------------------
// Application

std::shared_ptr<TExcelApplication> TExcelApplication::Create()
{
    return std::make_shared<TExcelApplication>();
}

TExcelApplication::TExcelApplication() : TAutomationClass(QStringLiteral("Microsoft Excel")) {}

TExcelApplication::TMembers TExcelApplication::members()
{
    using A = TExcelApplication;
    static const TMemberDef<A> table[] = {
        {"Application", &A::getApplication},
        {"Name", &A::getName},
        {"Visible", &A::getVisible, &A::putVisible},
        {"ScreenUpdating", &A::getScreenUpdating, &A::putScreenUpdating},
        {"DisplayAlerts", &A::getDisplayAlerts, &A::putDisplayAlerts},
        {"SheetsInNewWorkbook", &A::getSheetsInNewWorkbook, &A::putSheetsInNewWorkbook},
        {"Workbooks", &A::getWorkbooks, nullptr, nullptr, 1},
        {"ActiveWorkbook", &A::getActiveWorkbook},
        {"ActiveSheet", &A::getActiveSheet},
        {"Cells", &A::getCells, nullptr, nullptr, 2},
        {"Range", &A::getRange, nullptr, nullptr, 2},
        {"Quit", nullptr, nullptr, &A::callQuit},
    };
    return table;
}

std::shared_ptr<TExcelWorkbook> TExcelApplication::AddWorkbook(int sheets)
{
    auto app = std::static_pointer_cast<TExcelApplication>(shared_from_this());
    auto workbook = std::make_shared<TExcelWorkbook>(Server(), app, nextDocumentNumber());
    for (int i = 1; i <= sheets; ++i)
        workbook->InsertSheet(i);
    workbook->ActivateSheet(workbook->Sheet(1));
    workbook->SetSaved(true);
    m_documents.push_back(workbook);
    m_active = workbook;
    return workbook;
}

std::shared_ptr<TExcelWorkbook> TExcelApplication::Workbook(int index) const
{
    return std::static_pointer_cast<TExcelWorkbook>(m_documents[size_t(index - 1)]);
}

std::shared_ptr<TExcelWorkbook> TExcelApplication::ActiveWorkbook() const
{
    return std::static_pointer_cast<TExcelWorkbook>(m_active);
}

void TExcelApplication::Activate(const std::shared_ptr<TExcelWorkbook> &workbook)
{
    m_active = workbook;
}

void TExcelApplication::CloseWorkbook(const std::shared_ptr<TExcelWorkbook> &workbook, bool save)
{
    closeDocument(workbook, save);
}

std::shared_ptr<TExcelWorksheet> TExcelApplication::activeSheet() const
{
    const auto workbook = ActiveWorkbook();
    if (!workbook)
        RaiseServerError(QStringLiteral("Нет открытой книги"));
    return workbook->ActiveSheet();
}

void TExcelApplication::putSheetsInNewWorkbook(TDispArgs &, const TDispValue &v)
{
    const qint64 n = VarToInt(v);
    if (n < 1 || n > 255)
        RaiseServerError(QStringLiteral("Число листов должно быть от 1 до 255"));
    m_sheetsInNewWorkbook = int(n);
}

TDispValue TExcelApplication::getWorkbooks(TDispArgs &args)
{
    if (args.Given(0))
        return TDispValue::FromDispatch(WorkbookItem(*this, args.Value(0)));
    auto app = std::static_pointer_cast<TExcelApplication>(shared_from_this());
    return TDispValue::FromDispatch(std::make_shared<TExcelWorkbooks>(app));
}

TDispValue TExcelApplication::getActiveWorkbook(TDispArgs &)
{
    const auto workbook = ActiveWorkbook();
    return workbook ? TDispValue::FromDispatch(workbook) : none();
}

TDispValue TExcelApplication::getActiveSheet(TDispArgs &)
{
    const auto workbook = ActiveWorkbook();
    return workbook ? TDispValue::FromDispatch(workbook->ActiveSheet()) : none();
}

TDispValue TExcelApplication::getCells(TDispArgs &args)
{
    return SheetCells(activeSheet(), args);
}

TDispValue TExcelApplication::getRange(TDispArgs &args)
{
    return SheetRange(activeSheet(), args);
}

TDispValue TExcelApplication::callQuit(TDispArgs &)
{
    Quit(true);
    return none();
}

// ---------------------------------------------------------------------------
// Workbooks

TExcelWorkbooks::TExcelWorkbooks(std::shared_ptr<TExcelApplication> application)
    : TAutomationClass(application->Server()), m_application(std::move(application))
{
}

TExcelWorkbooks::TMembers TExcelWorkbooks::members()
{
    using W = TExcelWorkbooks;
    static const TMemberDef<W> table[] = {
        {"Count", &W::getCount},
        {"Item", &W::getItem, nullptr, nullptr, 1},
        {"Add", nullptr, nullptr, &W::callAdd, 1},
        {"Close", nullptr, nullptr, &W::callClose},
        {"Application", &W::getApplication},
        {"Parent", &W::getApplication},
    };
    return table;
}

TDispValue TExcelWorkbooks::getCount(TDispArgs &)
{
    return TDispValue::FromInteger(m_application->DocumentCount());
}

std::shared_ptr<TExcelWorkbook> WorkbookItem(const TExcelApplication &application, const TDispValue &index)
{
    if (index.Type == TDispValue::String) {
        for (int i = 1; i <= application.DocumentCount(); ++i) {
            const auto workbook = application.Workbook(i);
            if (workbook->Name().compare(index.StrValue, Qt::CaseInsensitive) == 0)
                return workbook;
        }
        RaiseOleError(OleStatus::BadIndex);
    }
    return application.Workbook(CollectionIndex(index, application.DocumentCount()));
}

TDispValue TExcelWorkbooks::getItem(TDispArgs &args)
{
    return TDispValue::FromDispatch(WorkbookItem(*m_application, args.Value(0)));
}

TDispValue TExcelWorkbooks::callAdd(TDispArgs &args)
{
    // A template number (the kind of the only sheet) gives one worksheet; a
    // template file cannot be read by this server.
    int sheets = 0;
    if (!args.Given(0)) {
        sheets = m_application->SheetsInNewWorkbook();
    } else if (args.Value(0).Type == TDispValue::String) {
        RaiseServerError(QStringLiteral("Не удается открыть шаблон '%1'").arg(args.Text(0)));
    } else {
        args.Int(0);
        sheets = 1;
    }
    return TDispValue::FromDispatch(m_application->AddWorkbook(sheets));
}

TDispValue TExcelWorkbooks::callClose(TDispArgs &)
{
    while (m_application->DocumentCount() > 0)
        m_application->CloseWorkbook(m_application->Workbook(1), true);
    return none();
}

TDispValue TExcelWorkbooks::getApplication(TDispArgs &)
{
    return TDispValue::FromDispatch(m_application);
}

// ---------------------------------------------------------------------------
// Workbook

TExcelWorkbook::TExcelWorkbook(std::shared_ptr<TServerState> server,
                               std::weak_ptr<TExcelApplication> application, int number)
    : TAutomationClass(std::move(server), QStringLiteral("Книга"), number, QStringLiteral(".xlsx")),
      m_application(std::move(application))
{
}

TExcelWorkbook::TMembers TExcelWorkbook::members()
{
    using W = TExcelWorkbook;
    static const TMemberDef<W> table[] = {
        {"Name", &W::getName},
        {"FullName", &W::getFullName},
        {"Path", &W::getPath},
        {"Saved", &W::getSaved, &W::putSaved},
        {"Sheets", &W::getSheets, nullptr, nullptr, 1},
        {"Worksheets", &W::getSheets, nullptr, nullptr, 1},
        {"ActiveSheet", &W::getActiveSheet},
        {"Save", nullptr, nullptr, &W::callSave},
        {"SaveAs", nullptr, nullptr, &W::callSaveAs, 12},
        {"Close", nullptr, nullptr, &W::callClose, 3},
        {"Activate", nullptr, nullptr, &W::callActivate},
        {"Application", &W::getApplication},
        {"Parent", &W::getApplication},
    };
    return table;
}

void TExcelWorkbook::writeFile(const QString &path)
{
    WriteXlsx(*this, path);
}

std::shared_ptr<TExcelApplication> TExcelWorkbook::Application() const
{
    auto app = m_application.lock();
    if (!app)
        RaiseOleError(OleStatus::ServerUnavailable);
    return app;
}

std::shared_ptr<TExcelWorksheet> TExcelWorkbook::SheetByName(const QString &name) const
{
    for (const auto &sheet : m_sheets)
        if (sheet->Name().compare(name, Qt::CaseInsensitive) == 0)
            return sheet;
    return nullptr;
}

int TExcelWorkbook::SheetIndex(const TExcelWorksheet *sheet) const
{
    for (size_t i = 0; i < m_sheets.size(); ++i)
        if (m_sheets[i].get() == sheet)
            return int(i) + 1;
    return 0;
}

std::shared_ptr<TExcelWorksheet> TExcelWorkbook::InsertSheet(int position)
{
    QString name;
    do
        name = SheetStem + QString::number(++m_sheetsMade);
    while (SheetByName(name));
    auto self = std::static_pointer_cast<TExcelWorkbook>(shared_from_this());
    auto sheet = std::make_shared<TExcelWorksheet>(Server(), self, name);
    m_sheets.insert(m_sheets.begin() + (position - 1), sheet);
    m_activeSheet = sheet;
    Modified();
    return sheet;
}

void TExcelWorkbook::DeleteSheet(const TExcelWorksheet *sheet)
{
    const int index = SheetIndex(sheet);
    if (index == 0)
        return;
    if (m_sheets.size() == 1)
        RaiseServerError(QStringLiteral("Книга должна содержать хотя бы один лист"));
    m_sheets[size_t(index - 1)]->Detach();
    m_sheets.erase(m_sheets.begin() + (index - 1));
    if (m_activeSheet.get() == sheet)
        m_activeSheet = m_sheets[size_t(std::min(index, SheetCount()) - 1)];
    Modified();
}

TDispValue TExcelWorkbook::getSheets(TDispArgs &args)
{
    auto self = std::static_pointer_cast<TExcelWorkbook>(shared_from_this());
    if (!args.Given(0))
        return TDispValue::FromDispatch(std::make_shared<TExcelSheets>(self));
    return TDispValue::FromDispatch(SheetItem(*this, args.Value(0)));
}

TDispValue TExcelWorkbook::getActiveSheet(TDispArgs &)
{
    return TDispValue::FromDispatch(m_activeSheet);
}

TDispValue TExcelWorkbook::callClose(TDispArgs &args)
{
    // Without SaveChanges a changed workbook is saved: nothing is lost
    // without being asked for.
    const bool save = args.Bool(0, true);
    if (save && args.Given(1))
        SaveAs(args.Text(1));
    auto self = std::static_pointer_cast<TExcelWorkbook>(shared_from_this());
    Application()->CloseWorkbook(self, save);
    return none();
}

TDispValue TExcelWorkbook::callActivate(TDispArgs &)
{
    Application()->Activate(std::static_pointer_cast<TExcelWorkbook>(shared_from_this()));
    return none();
}

TDispValue TExcelWorkbook::getApplication(TDispArgs &)
{
    return TDispValue::FromDispatch(Application());
}

std::shared_ptr<TExcelWorksheet> SheetItem(const TExcelWorkbook &workbook, const TDispValue &index)
{
    if (index.Type == TDispValue::String) {
        if (auto sheet = workbook.SheetByName(index.StrValue))
            return sheet;
        RaiseOleError(OleStatus::BadIndex);
    }
    return workbook.Sheet(CollectionIndex(index, workbook.SheetCount()));
}

// ---------------------------------------------------------------------------
// Sheets

TExcelSheets::TExcelSheets(std::shared_ptr<TExcelWorkbook> workbook)
    : TAutomationClass(workbook->Server()), m_workbook(std::move(workbook))
{
}

void TExcelSheets::checkAlive() const
{
    TServerObject::checkAlive();
    if (m_workbook->Closed())
        RaiseOleError(OleStatus::Disconnected);
}

TExcelSheets::TMembers TExcelSheets::members()
{
    using S = TExcelSheets;
    static const TMemberDef<S> table[] = {
        {"Count", &S::getCount},
        {"Item", &S::getItem, nullptr, nullptr, 1},
        {"Add", nullptr, nullptr, &S::callAdd, 4},
        {"Parent", &S::getParent},
        {"Application", &S::getApplication},
    };
    return table;
}

TDispValue TExcelSheets::getCount(TDispArgs &)
{
    return TDispValue::FromInteger(m_workbook->SheetCount());
}

TDispValue TExcelSheets::getItem(TDispArgs &args)
{
    return TDispValue::FromDispatch(SheetItem(*m_workbook, args.Value(0)));
}

TDispValue TExcelSheets::callAdd(TDispArgs &args)
{
    // Add(Before, After, Count): before the given sheet, after the given
    // one, or, with neither, before the active sheet.
    auto sheetArg = [&](int i) {
        auto *sheet = dynamic_cast<TExcelWorksheet *>(args.Object(i).get());
        const int index = sheet ? m_workbook->SheetIndex(sheet) : 0;
        if (index == 0)
            RaiseOleError(OleStatus::TypeMismatch);
        return index;
    };
    int position;
    if (args.Given(0))
        position = sheetArg(0);
    else if (args.Given(1))
        position = sheetArg(1) + 1;
    else
        position = std::max(1, m_workbook->SheetIndex(m_workbook->ActiveSheet().get()));
    const qint64 count = args.Int(2, 1);
    if (count < 1 || count > 255)
        RaiseOleError(OleStatus::BadIndex);
    std::shared_ptr<TExcelWorksheet> sheet;
    for (qint64 i = 0; i < count; ++i)
        sheet = m_workbook->InsertSheet(position);
    return TDispValue::FromDispatch(sheet);
}

TDispValue TExcelSheets::getParent(TDispArgs &)
{
    return TDispValue::FromDispatch(m_workbook);
}

TDispValue TExcelSheets::getApplication(TDispArgs &)
{
    return TDispValue::FromDispatch(m_workbook->Application());
}

// ---------------------------------------------------------------------------
// Worksheet

TExcelWorksheet::TExcelWorksheet(std::shared_ptr<TServerState> server,
                                 std::weak_ptr<TExcelWorkbook> workbook, QString name)
    : TAutomationClass(std::move(server)), m_workbook(std::move(workbook)), m_name(std::move(name))
{
}

std::shared_ptr<TExcelWorkbook> TExcelWorksheet::Workbook() const
{
    auto workbook = m_workbook.lock();
    if (!workbook)
        RaiseOleError(OleStatus::Disconnected);
    return workbook;
}

void TExcelWorksheet::checkAlive() const
{
    TServerObject::checkAlive();
    if (m_deleted || Workbook()->Closed())
        RaiseOleError(OleStatus::Disconnected);
}

void TExcelWorksheet::Modified()
{
    if (auto workbook = m_workbook.lock())
        workbook->Modified();
}

void TExcelWorksheet::SetName(const QString &name)
{
    static const QRegularExpression forbidden(QStringLiteral("[:\\\\/?*\\[\\]]"));
    const auto other = Workbook()->SheetByName(name);
    if (name.isEmpty() || name.size() > 31 || name.contains(forbidden) || name.startsWith(u'\'')
        || name.endsWith(u'\'') || (other && other.get() != this))
        RaiseServerError(QStringLiteral("Недопустимое имя листа: '%1'").arg(name));
    m_name = name;
    Modified();
}

const TExcelCell *TExcelWorksheet::FindCell(int row, int column) const
{
    const auto it = m_cells.find({row, column});
    return it == m_cells.end() ? nullptr : &it->second;
}

TExcelCell &TExcelWorksheet::CellAt(int row, int column)
{
    const auto [it, made] = m_cells.try_emplace({row, column});
    if (made) {
        const auto col = m_columns.find(column);
        if (col != m_columns.end() && col->second.Format)
            it->second.Format = *col->second.Format;
    }
    return it->second;
}

TCellFormat TExcelWorksheet::FormatAt(int row, int column) const
{
    if (const TExcelCell *cell = FindCell(row, column))
        return cell->Format;
    const auto col = m_columns.find(column);
    if (col != m_columns.end() && col->second.Format)
        return *col->second.Format;
    return TCellFormat();
}

double TExcelWorksheet::ColumnWidth(int column) const
{
    const auto col = m_columns.find(column);
    return col != m_columns.end() && col->second.Width >= 0 ? col->second.Width : ExcelDefaultColumnWidth;
}

TCellRect TExcelWorksheet::UsedRect() const
{
    if (m_cells.empty())
        return TCellRect();
    TCellRect r{ExcelMaxRows, ExcelMaxColumns, 1, 1};
    for (const auto &[pos, cell] : m_cells) {
        r.Top = std::min(r.Top, pos.first);
        r.Bottom = std::max(r.Bottom, pos.first);
        r.Left = std::min(r.Left, pos.second);
        r.Right = std::max(r.Right, pos.second);
    }
    return r;
}

TExcelWorksheet::TMembers TExcelWorksheet::members()
{
    using S = TExcelWorksheet;
    static const TMemberDef<S> table[] = {
        {"Name", &S::getName, &S::putName},
        {"Index", &S::getIndex},
        {"Cells", &S::getCells, nullptr, nullptr, 2},
        {"Range", &S::getRange, nullptr, nullptr, 2},
        {"Columns", &S::getColumns, nullptr, nullptr, 1},
        {"Rows", &S::getRows, nullptr, nullptr, 1},
        {"UsedRange", &S::getUsedRange},
        {"Activate", nullptr, nullptr, &S::callActivate},
        {"Select", nullptr, nullptr, &S::callActivate, 1},
        {"Delete", nullptr, nullptr, &S::callDelete},
        {"Parent", &S::getParent},
        {"Application", &S::getApplication},
    };
    return table;
}

std::shared_ptr<TExcelWorksheet> TExcelWorksheet::selfSheet()
{
    return std::static_pointer_cast<TExcelWorksheet>(shared_from_this());
}

TDispValue TExcelWorksheet::getIndex(TDispArgs &)
{
    return TDispValue::FromInteger(Workbook()->SheetIndex(this));
}

TDispValue SheetCells(const std::shared_ptr<TExcelWorksheet> &sheet, TDispArgs &args)
{
    if (!args.Given(0) && !args.Given(1))
        return rangeOf(sheet, TCellRect{1, 1, ExcelMaxRows, ExcelMaxColumns});
    const int row = cellCoordinate(args, 0, ExcelMaxRows);
    const int column = cellCoordinate(args, 1, ExcelMaxColumns);
    return rangeOf(sheet, TCellRect{row, column, row, column});
}

TDispValue SheetRange(const std::shared_ptr<TExcelWorksheet> &sheet, TDispArgs &args)
{
    TCellRect rect = rectArgument(sheet, args.Value(0));
    if (args.Given(1)) {
        const TCellRect other = rectArgument(sheet, args.Value(1));
        rect = TCellRect{std::min(rect.Top, other.Top), std::min(rect.Left, other.Left),
                         std::max(rect.Bottom, other.Bottom), std::max(rect.Right, other.Right)};
    }
    return rangeOf(sheet, rect);
}

TDispValue TExcelWorksheet::getCells(TDispArgs &args)
{
    return SheetCells(selfSheet(), args);
}

TDispValue TExcelWorksheet::getRange(TDispArgs &args)
{
    return SheetRange(selfSheet(), args);
}

TDispValue TExcelWorksheet::getColumns(TDispArgs &args)
{
    if (!args.Given(0))
        return rangeOf(selfSheet(), TCellRect{1, 1, ExcelMaxRows, ExcelMaxColumns});
    return rangeOf(selfSheet(), columnsArgument(args.Value(0)));
}

TDispValue TExcelWorksheet::getRows(TDispArgs &args)
{
    if (!args.Given(0))
        return rangeOf(selfSheet(), TCellRect{1, 1, ExcelMaxRows, ExcelMaxColumns});
    const int row = cellCoordinate(args, 0, ExcelMaxRows);
    return rangeOf(selfSheet(), TCellRect{row, 1, row, ExcelMaxColumns});
}

TDispValue TExcelWorksheet::getUsedRange(TDispArgs &)
{
    return rangeOf(selfSheet(), UsedRect());
}

TDispValue TExcelWorksheet::callActivate(TDispArgs &)
{
    Workbook()->ActivateSheet(selfSheet());
    return TDispValue::FromBoolean(true);
}

TDispValue TExcelWorksheet::callDelete(TDispArgs &)
{
    Workbook()->DeleteSheet(this);
    return TDispValue::FromBoolean(true);
}

TDispValue TExcelWorksheet::getParent(TDispArgs &)
{
    return TDispValue::FromDispatch(Workbook());
}

TDispValue TExcelWorksheet::getApplication(TDispArgs &)
{
    return TDispValue::FromDispatch(Workbook()->Application());
}

// ---------------------------------------------------------------------------
// Range

TExcelRange::TExcelRange(std::shared_ptr<TExcelWorksheet> sheet, TCellRect rect)
    : TAutomationClass(sheet->Server()), m_sheet(std::move(sheet)), m_rect(rect)
{
}

void TExcelRange::checkAlive() const
{
    // The sheet raises for a quit server, a closed workbook, a deleted sheet.
    m_sheet->CheckAlive();
}

TExcelRange::TMembers TExcelRange::members()
{
    using R = TExcelRange;
    static const TMemberDef<R> table[] = {
        {"Value", &R::getValue, &R::putValue, nullptr, 1},
        {"Value2", &R::getValue, &R::putValue},
        {"Formula", &R::getFormula, &R::putFormula},
        {"Text", &R::getText},
        {"NumberFormat", &R::getNumberFormat, &R::putNumberFormat},
        {"Font", &R::getFont},
        {"ColumnWidth", &R::getColumnWidth, &R::putColumnWidth},
        {"WrapText", &R::getWrapText, &R::putWrapText},
        {"Row", &R::getRow},
        {"Column", &R::getColumn},
        {"Count", &R::getCount},
        {"Address", &R::getAddress, nullptr, nullptr, 5},
        {"Cells", &R::getCells, nullptr, nullptr, 2},
        {"Item", &R::getItem, nullptr, nullptr, 2},
        {"Rows", &R::getRows, nullptr, nullptr, 1},
        {"Columns", &R::getColumns, nullptr, nullptr, 1},
        {"EntireRow", &R::getEntireRow},
        {"EntireColumn", &R::getEntireColumn},
        {"AutoFit", nullptr, nullptr, &R::callAutoFit},
        {"Clear", nullptr, nullptr, &R::callClear},
        {"ClearContents", nullptr, nullptr, &R::callClearContents},
        {"ClearFormats", nullptr, nullptr, &R::callClearFormats},
        {"Select", nullptr, nullptr, &R::callSelect},
        {"Activate", nullptr, nullptr, &R::callSelect},
        {"Worksheet", &R::getWorksheet},
        {"Parent", &R::getWorksheet},
        {"Application", &R::getApplication},
    };
    return table;
}

TDispValue TExcelRange::range(const TCellRect &rect) const
{
    if (!checkRect(rect))
        RaiseOleError(OleStatus::BadIndex);
    return rangeOf(m_sheet, rect);
}

void TExcelRange::forEachCell(const std::function<void(TExcelCell &)> &change)
{
    if (qint64(m_rect.Rows()) * m_rect.Columns() > MaxRangeCells)
        RaiseServerError(QStringLiteral("Диапазон слишком велик"));
    for (int r = m_rect.Top; r <= m_rect.Bottom; ++r)
        for (int c = m_rect.Left; c <= m_rect.Right; ++c)
            change(m_sheet->CellAt(r, c));
    m_sheet->Modified();
}

void TExcelRange::ChangeFormat(const std::function<void(TCellFormat &)> &change)
{
    if (!m_rect.WholeColumns()) {
        forEachCell([&](TExcelCell &cell) { change(cell.Format); });
        return;
    }
    // Whole columns: the columns' own format, which their new cells take,
    // and the cells they have now.
    for (int c = m_rect.Left; c <= m_rect.Right; ++c) {
        TExcelColumn &column = m_sheet->Column(c);
        if (!column.Format)
            column.Format = TCellFormat();
        change(*column.Format);
    }
    for (const auto &[pos, cell] : m_sheet->Cells())
        if (pos.second >= m_rect.Left && pos.second <= m_rect.Right)
            change(m_sheet->CellAt(pos.first, pos.second).Format);
    m_sheet->Modified();
}

TCellFormat TExcelRange::Format() const
{
    return m_sheet->FormatAt(m_rect.Top, m_rect.Left);
}

void TExcelRange::PutCellValue(TExcelCell &cell, const TDispValue &value)
{
    cell.Formula.clear();
    switch (value.Type) {
    case TDispValue::Empty:
        cell.Value = TDispValue();
        return;
    case TDispValue::Integer:
    case TDispValue::Double:
    case TDispValue::Currency:
        cell.Value = TDispValue::FromDouble(VarToNumber(value));
        return;
    case TDispValue::Boolean:
        cell.Value = value;
        return;
    case TDispValue::Date:
        cell.Value = value;
        if (cell.Format.NumberFormat == GeneralFormat)
            cell.Format.NumberFormat = dateFormatFor(value.NumValue);
        return;
    case TDispValue::String:
        break;
    default:
        RaiseOleError(OleStatus::TypeMismatch);
    }

    // Excel's longest cell text.
    const QString text = value.StrValue.left(32767);
    if (text.isEmpty()) {
        cell.Value = TDispValue();
        return;
    }
    if (cell.Format.NumberFormat == TextFormat) {
        cell.Value = TDispValue::FromString(text);
        return;
    }
    if (text.size() > 1 && text.startsWith(u'=')) {
        cell.Formula = text;
        cell.Value = TDispValue();
        return;
    }
    static const QRegularExpression numeric(
        QStringLiteral("^\\s*[-+]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][-+]?[0-9]+)?\\s*$"));
    static const QRegularExpression date(QStringLiteral("^\\s*\\d{1,2}\\.\\d{1,2}\\.(\\d{2}|\\d{4})\\s*$"));
    double number;
    if (numeric.match(text).hasMatch() && TryStrToFloat(text.trimmed(), number)) {
        cell.Value = TDispValue::FromDouble(number);
        return;
    }
    TDateTime day;
    if (date.match(text).hasMatch() && TryStrToDate(text.trimmed(), day)) {
        cell.Value = TDispValue::FromDate(day);
        if (cell.Format.NumberFormat == GeneralFormat)
            cell.Format.NumberFormat = dateFormatFor(day);
        return;
    }
    cell.Value = TDispValue::FromString(text);
}

TDispValue TExcelRange::getValue(TDispArgs &)
{
    const TExcelCell *cell = m_sheet->FindCell(m_rect.Top, m_rect.Left);
    return cell ? cell->Value : none();
}

void TExcelRange::putValue(TDispArgs &, const TDispValue &v)
{
    forEachCell([&](TExcelCell &cell) { PutCellValue(cell, v); });
}

TDispValue TExcelRange::getFormula(TDispArgs &)
{
    const TExcelCell *cell = m_sheet->FindCell(m_rect.Top, m_rect.Left);
    if (!cell)
        return TDispValue::FromString(QString());
    if (!cell->Formula.isEmpty())
        return TDispValue::FromString(cell->Formula);
    return TDispValue::FromString(VarToText(cell->Value));
}

void TExcelRange::putFormula(TDispArgs &, const TDispValue &v)
{
    const QString text = VarToText(v);
    forEachCell([&](TExcelCell &cell) {
        if (text.size() > 1 && text.startsWith(u'=')) {
            cell.Formula = text;
            cell.Value = TDispValue();
        } else {
            PutCellValue(cell, TDispValue::FromString(text));
        }
    });
}

TDispValue TExcelRange::getText(TDispArgs &)
{
    const TExcelCell *cell = m_sheet->FindCell(m_rect.Top, m_rect.Left);
    return TDispValue::FromString(cell ? CellDisplayText(*cell) : QString());
}

TDispValue TExcelRange::getNumberFormat(TDispArgs &)
{
    return TDispValue::FromString(Format().NumberFormat);
}

void TExcelRange::putNumberFormat(TDispArgs &, const TDispValue &v)
{
    const QString format = VarToText(v);
    ChangeFormat([&](TCellFormat &f) { f.NumberFormat = format.isEmpty() ? GeneralFormat : format; });
}

TDispValue TExcelRange::getFont(TDispArgs &)
{
    auto self = std::static_pointer_cast<TExcelRange>(shared_from_this());
    return TDispValue::FromDispatch(std::make_shared<TExcelFont>(self));
}

TDispValue TExcelRange::getColumnWidth(TDispArgs &)
{
    const double width = m_sheet->ColumnWidth(m_rect.Left);
    for (int c = m_rect.Left + 1; c <= m_rect.Right; ++c)
        if (m_sheet->ColumnWidth(c) != width)
            return none();
    return TDispValue::FromDouble(width);
}

void TExcelRange::putColumnWidth(TDispArgs &, const TDispValue &v)
{
    const double width = VarToNumber(v);
    if (width < 0 || width > 255)
        RaiseServerError(QStringLiteral("Ширина столбца должна быть от 0 до 255"));
    for (int c = m_rect.Left; c <= m_rect.Right; ++c)
        m_sheet->Column(c).Width = width;
    m_sheet->Modified();
}

TDispValue TExcelRange::getWrapText(TDispArgs &)
{
    return TDispValue::FromBoolean(Format().WrapText);
}

void TExcelRange::putWrapText(TDispArgs &, const TDispValue &v)
{
    const bool wrap = VarToBool(v);
    ChangeFormat([&](TCellFormat &f) { f.WrapText = wrap; });
}

TDispValue TExcelRange::getCount(TDispArgs &)
{
    return TDispValue::FromInteger(qint64(m_rect.Rows()) * m_rect.Columns());
}

TDispValue TExcelRange::getAddress(TDispArgs &)
{
    auto cell = [](int row, int column) {
        return u'$' + ColumnLetters(column) + u'$' + QString::number(row);
    };
    QString address = cell(m_rect.Top, m_rect.Left);
    if (m_rect.Rows() > 1 || m_rect.Columns() > 1)
        address += u':' + cell(m_rect.Bottom, m_rect.Right);
    return TDispValue::FromString(address);
}

TDispValue TExcelRange::getCells(TDispArgs &args)
{
    if (!args.Given(0) && !args.Given(1))
        return range(m_rect);
    return getItem(args);
}

TDispValue TExcelRange::getItem(TDispArgs &args)
{
    // Relative to the top-left cell; it may point outside the rectangle.
    const qint64 row = m_rect.Top + args.Int(0) - 1;
    const qint64 column = m_rect.Left + args.Int(1, 1) - 1;
    if (row < 1 || row > ExcelMaxRows || column < 1 || column > ExcelMaxColumns)
        RaiseOleError(OleStatus::BadIndex);
    return range(TCellRect{int(row), int(column), int(row), int(column)});
}

TDispValue TExcelRange::getRows(TDispArgs &args)
{
    if (!args.Given(0))
        return range(m_rect);
    const qint64 row = m_rect.Top + args.Int(0) - 1;
    if (row < 1 || row > ExcelMaxRows)
        RaiseOleError(OleStatus::BadIndex);
    return range(TCellRect{int(row), m_rect.Left, int(row), m_rect.Right});
}

TDispValue TExcelRange::getColumns(TDispArgs &args)
{
    if (!args.Given(0))
        return range(m_rect);
    const qint64 column = m_rect.Left + args.Int(0) - 1;
    if (column < 1 || column > ExcelMaxColumns)
        RaiseOleError(OleStatus::BadIndex);
    return range(TCellRect{m_rect.Top, int(column), m_rect.Bottom, int(column)});
}

TDispValue TExcelRange::getEntireRow(TDispArgs &)
{
    return range(TCellRect{m_rect.Top, 1, m_rect.Bottom, ExcelMaxColumns});
}

TDispValue TExcelRange::getEntireColumn(TDispArgs &)
{
    return range(TCellRect{1, m_rect.Left, ExcelMaxRows, m_rect.Right});
}

TDispValue TExcelRange::callAutoFit(TDispArgs &)
{
    // The widest text of each column, in characters of the default font,
    // scaled by the cell's font size; lines of a multi-line text count
    // apart.
    for (int c = m_rect.Left; c <= m_rect.Right; ++c) {
        double widest = 0;
        for (const auto &[pos, cell] : m_sheet->Cells()) {
            if (pos.second != c || pos.first < m_rect.Top || pos.first > m_rect.Bottom)
                continue;
            const double size = cell.Format.FontSize > 0 ? cell.Format.FontSize : ExcelDefaultFontSize;
            const double boldFactor = cell.Format.Bold ? 1.1 : 1.0;
            for (const QString &line : CellDisplayText(cell).split(u'\n'))
                widest = std::max(widest, line.size() * size / ExcelDefaultFontSize * boldFactor);
        }
        m_sheet->Column(c).Width = widest > 0 ? std::min(255.0, std::ceil(widest + 0.71)) : -1;
    }
    m_sheet->Modified();
    return TDispValue::FromBoolean(true);
}

std::vector<std::pair<int, int>> TExcelRange::cellsPresent() const
{
    std::vector<std::pair<int, int>> present;
    for (const auto &[pos, cell] : m_sheet->Cells())
        if (pos.first >= m_rect.Top && pos.first <= m_rect.Bottom && pos.second >= m_rect.Left
            && pos.second <= m_rect.Right)
            present.push_back(pos);
    return present;
}

TDispValue TExcelRange::callClear(TDispArgs &)
{
    for (const auto &[row, column] : cellsPresent())
        m_sheet->RemoveCell(row, column);
    if (m_rect.WholeColumns())
        for (int c = m_rect.Left; c <= m_rect.Right; ++c)
            m_sheet->Column(c).Format.reset();
    m_sheet->Modified();
    return TDispValue::FromBoolean(true);
}

TDispValue TExcelRange::callClearContents(TDispArgs &)
{
    for (const auto &[row, column] : cellsPresent()) {
        TExcelCell &cell = m_sheet->CellAt(row, column);
        cell.Value = TDispValue();
        cell.Formula.clear();
    }
    m_sheet->Modified();
    return TDispValue::FromBoolean(true);
}

TDispValue TExcelRange::callClearFormats(TDispArgs &)
{
    ChangeFormat([](TCellFormat &f) { f = TCellFormat(); });
    return TDispValue::FromBoolean(true);
}

TDispValue TExcelRange::callSelect(TDispArgs &)
{
    return TDispValue::FromBoolean(true);
}

TDispValue TExcelRange::getWorksheet(TDispArgs &)
{
    return TDispValue::FromDispatch(m_sheet);
}

TDispValue TExcelRange::getApplication(TDispArgs &)
{
    return TDispValue::FromDispatch(m_sheet->Workbook()->Application());
}

// ---------------------------------------------------------------------------
// Font

TExcelFont::TExcelFont(std::shared_ptr<TExcelRange> range)
    : TAutomationClass(range->Server()), m_range(std::move(range))
{
}

void TExcelFont::checkAlive() const
{
    m_range->CheckAlive();
}

TExcelFont::TMembers TExcelFont::members()
{
    using F = TExcelFont;
    static const TMemberDef<F> table[] = {
        {"Name", &F::getName, &F::putName},
        {"Size", &F::getSize, &F::putSize},
        {"Bold", &F::getBold, &F::putBold},
        {"Italic", &F::getItalic, &F::putItalic},
        {"Underline", &F::getUnderline, &F::putUnderline},
        {"Strikethrough", &F::getStrikethrough, &F::putStrikethrough},
    };
    return table;
}

TDispValue TExcelFont::getName(TDispArgs &)
{
    const TCellFormat f = m_range->Format();
    return TDispValue::FromString(f.FontName.isEmpty() ? ExcelDefaultFontName : f.FontName);
}

void TExcelFont::putName(TDispArgs &, const TDispValue &v)
{
    const QString name = VarToText(v).trimmed();
    m_range->ChangeFormat([&](TCellFormat &f) { f.FontName = name; });
}

TDispValue TExcelFont::getSize(TDispArgs &)
{
    const TCellFormat f = m_range->Format();
    return TDispValue::FromDouble(f.FontSize > 0 ? f.FontSize : ExcelDefaultFontSize);
}

void TExcelFont::putSize(TDispArgs &, const TDispValue &v)
{
    const double size = VarToNumber(v);
    if (size < 1 || size > 409)
        RaiseServerError(QStringLiteral("Размер шрифта должен быть от 1 до 409"));
    m_range->ChangeFormat([&](TCellFormat &f) { f.FontSize = size; });
}

TDispValue TExcelFont::getBold(TDispArgs &)
{
    return TDispValue::FromBoolean(m_range->Format().Bold);
}

void TExcelFont::putBold(TDispArgs &, const TDispValue &v)
{
    const bool on = VarToBool(v);
    m_range->ChangeFormat([&](TCellFormat &f) { f.Bold = on; });
}

TDispValue TExcelFont::getItalic(TDispArgs &)
{
    return TDispValue::FromBoolean(m_range->Format().Italic);
}

void TExcelFont::putItalic(TDispArgs &, const TDispValue &v)
{
    const bool on = VarToBool(v);
    m_range->ChangeFormat([&](TCellFormat &f) { f.Italic = on; });
}

TDispValue TExcelFont::getUnderline(TDispArgs &)
{
    return TDispValue::FromInteger(m_range->Format().Underline ? xlUnderlineStyleSingle
                                                               : xlUnderlineStyleNone);
}

void TExcelFont::putUnderline(TDispArgs &, const TDispValue &v)
{
    // True, or any underline style but "none", underlines.
    const bool on = v.Type == TDispValue::Boolean ? v.BoolValue
                                                  : (VarToInt(v) != 0 && VarToInt(v) != xlUnderlineStyleNone);
    m_range->ChangeFormat([&](TCellFormat &f) { f.Underline = on; });
}

TDispValue TExcelFont::getStrikethrough(TDispArgs &)
{
    return TDispValue::FromBoolean(m_range->Format().StrikeThrough);
}

void TExcelFont::putStrikethrough(TDispArgs &, const TDispValue &v)
{
    const bool on = VarToBool(v);
    m_range->ChangeFormat([&](TCellFormat &f) { f.StrikeThrough = on; });
}
