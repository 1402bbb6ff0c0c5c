#include "XlsxFile.h"

#include "Automation.h"
#include "ExcelServer.h"
#include "common/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <vector>

namespace {

// The libxlsxwriter formats of one workbook, one per distinct cell format.
class TFormatCache {
public:
    explicit TFormatCache(lxw_workbook *workbook) : m_workbook(workbook) {}

    // None for the default format.
    lxw_format *Get(const TCellFormat &f)
    {
        if (f.IsDefault())
            return nullptr;
        for (const auto &[format, made] : m_formats)
            if (format == f)
                return made;
        lxw_format *made = workbook_add_format(m_workbook);
        if (f.NumberFormat != QLatin1String("General"))
            format_set_num_format(made, f.NumberFormat.toUtf8().constData());
        if (!f.FontName.isEmpty())
            format_set_font_name(made, f.FontName.toUtf8().constData());
        if (f.FontSize > 0)
            format_set_font_size(made, f.FontSize);
        if (f.Bold)
            format_set_bold(made);
        if (f.Italic)
            format_set_italic(made);
        if (f.Underline)
            format_set_underline(made, LXW_UNDERLINE_SINGLE);
        if (f.StrikeThrough)
            format_set_font_strikeout(made);
        if (f.WrapText)
            format_set_text_wrap(made);
        m_formats.emplace_back(f, made);
        return made;
    }

private:
    lxw_workbook *m_workbook;
    std::vector<std::pair<TCellFormat, lxw_format *>> m_formats;
};

lxw_error writeCell(lxw_worksheet *sheet, int row, int column, const TExcelCell &cell,
                    lxw_format *format)
{
    const lxw_row_t r = lxw_row_t(row - 1);
    const lxw_col_t c = lxw_col_t(column - 1);
    if (!cell.Formula.isEmpty())
        return worksheet_write_formula(sheet, r, c, cell.Formula.toUtf8().constData(), format);
    switch (cell.Value.Type) {
    case TDispValue::String:
        return worksheet_write_string(sheet, r, c, cell.Value.StrValue.toUtf8().constData(), format);
    case TDispValue::Double:
    case TDispValue::Date:
        return worksheet_write_number(sheet, r, c, cell.Value.NumValue, format);
    case TDispValue::Boolean:
        return worksheet_write_boolean(sheet, r, c, cell.Value.BoolValue ? 1 : 0, format);
    default:
        return format ? worksheet_write_blank(sheet, r, c, format) : LXW_NO_ERROR;
    }
}

[[noreturn]] void cannotSave(const QString &path, lxw_error error)
{
    RaiseServerError(QStringLiteral("Не удается сохранить файл '%1': %2")
                         .arg(QDir::toNativeSeparators(path), QString::fromUtf8(lxw_strerror(error))));
}

} // namespace

void WriteXlsx(const TExcelWorkbook &workbook, const QString &path)
{
    if (!QFileInfo(path).absoluteDir().exists())
        cannotSave(path, LXW_ERROR_CREATING_XLSX_FILE);
    // libxlsxwriter writes its zip to a scratch folder; the finished file is
    // then copied to its place safely (TSafeFile), so a failure on the
    // target's disk leaves the old file untouched
    QTemporaryDir scratch;
    if (!scratch.isValid())
        cannotSave(path, LXW_ERROR_CREATING_TMPFILE);
    const QString temporary = scratch.filePath(QStringLiteral("book.xlsx"));
    QByteArray scratchDir = QFile::encodeName(scratch.path());

    lxw_workbook_options options{};
    options.tmpdir = scratchDir.data();
    lxw_workbook *book = workbook_new_opt(QFile::encodeName(temporary).constData(), &options);
    if (!book)
        cannotSave(path, LXW_ERROR_MEMORY_MALLOC_FAILED);
    TFormatCache formats(book);
    lxw_error error = LXW_NO_ERROR;

    for (int i = 1; i <= workbook.SheetCount() && error == LXW_NO_ERROR; ++i) {
        const TExcelWorksheet &model = *workbook.Sheet(i);
        lxw_worksheet *sheet = workbook_add_worksheet(book, model.Name().toUtf8().constData());
        if (!sheet) {
            error = LXW_ERROR_SHEETNAME_ALREADY_USED;
            break;
        }
        if (workbook.ActiveSheet().get() == &model)
            worksheet_activate(sheet);
        for (const auto &[column, info] : model.ColumnInfo()) {
            const double width = info.Width >= 0 ? info.Width : LXW_DEF_COL_WIDTH;
            lxw_format *format = info.Format ? formats.Get(*info.Format) : nullptr;
            if (info.Width >= 0 || format)
                error = worksheet_set_column(sheet, lxw_col_t(column - 1), lxw_col_t(column - 1), width,
                                             format);
            if (error != LXW_NO_ERROR)
                break;
        }
        for (const auto &[pos, cell] : model.Cells()) {
            error = writeCell(sheet, pos.first, pos.second, cell, formats.Get(cell.Format));
            if (error != LXW_NO_ERROR)
                break;
        }
    }

    const lxw_error closed = workbook_close(book);
    if (error == LXW_NO_ERROR)
        error = closed;
    if (error != LXW_NO_ERROR)
        cannotSave(path, error);
    QFile file(temporary);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    // a zip ends with its directory's end record (22 bytes without comment)
    if (bytes.size() < 22 || !bytes.right(22).startsWith("PK\x05\x06"))
        cannotSave(path, LXW_ERROR_ZIP_FILE_OPERATION);
    try {
        WriteFileSafely(path, bytes);
    } catch (const EFileWriteError &e) {
        RaiseServerError(QStringLiteral("Не удается сохранить файл '%1': %2")
                             .arg(QDir::toNativeSeparators(path), e.Reason()));
    }
}
