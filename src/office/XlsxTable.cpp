#include "XlsxTable.h"

#include "common/Exceptions.h"
#include "common/SafeFile.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTime>

#include <xlsxwriter.h>

#include <cmath>
#include <vector>

namespace {

[[noreturn]] void cannotSave(const QString &path, const QString &reason)
{
    throw Exception(QStringLiteral("Не удается сохранить файл '%1': %2").arg(QDir::toNativeSeparators(path), reason));
}

[[noreturn]] void cannotSave(const QString &path, lxw_error error)
{
    cannotSave(path, QString::fromUtf8(lxw_strerror(error)));
}

// Whole numbers a double holds exactly: beyond them a number is kept as
// its digits (a key of 20 digits stays what it is).
constexpr double ExactWhole = 9007199254740992.0;   // 2^53

} // namespace

struct TXlsxTableWriter::TState {
    QString path;
    QList<TXlsxColumn> columns;
    std::unique_ptr<TSafeFile> target;   // made first: the folder takes the file
    std::unique_ptr<QTemporaryDir> scratch;
    QByteArray scratchDir;
    QString book;                        // the workbook in the scratch folder
    lxw_workbook *workbook = nullptr;
    std::vector<lxw_worksheet *> sheets;
    lxw_format *titleFormat = nullptr;
    std::vector<lxw_format *> formats;   // per column
    std::vector<int> widths;             // per column, characters
    qint64 row = 0;                      // rows of the current sheet, the title row included

    ~TState()
    {
        if (workbook)
            lxw_workbook_free(workbook);   // dropped before Commit: nothing is written
    }

    void check(lxw_error error) const
    {
        if (error != LXW_NO_ERROR)
            cannotSave(path, error);
    }

    void startSheet()
    {
        const QString name = QStringLiteral("Лист%1").arg(sheets.size() + 1);
        lxw_worksheet *sheet = workbook_add_worksheet(workbook, name.toUtf8().constData());
        if (!sheet)
            cannotSave(path, LXW_ERROR_MEMORY_MALLOC_FAILED);
        sheets.push_back(sheet);
        for (int c = 0; c < columns.size(); ++c)
            check(worksheet_write_string(sheet, 0, lxw_col_t(c), columns[c].Title.toUtf8().constData(), titleFormat));
        worksheet_freeze_panes(sheet, 1, 0);
        row = 1;
    }

    void writeText(lxw_worksheet *sheet, lxw_col_t c, const QString &text)
    {
        if (text.isEmpty())
            return;
        const QString cut = text.size() > MaxText ? text.left(MaxText) : text;
        check(worksheet_write_string(sheet, lxw_row_t(row), c, cut.toUtf8().constData(), nullptr));
    }

    void writeDate(lxw_worksheet *sheet, lxw_col_t c, const QDate &date, const QTime &time, lxw_format *format)
    {
        // the spreadsheet's calendar starts in 1900
        if (date.year() < 1900 || date.year() > 9999) {
            writeText(sheet, c, date.toString(QStringLiteral("dd.MM.yyyy"))
                                    + (time.isValid() && time != QTime(0, 0) ? u' ' + time.toString(QStringLiteral("HH:mm:ss")) : QString()));
            return;
        }
        lxw_datetime dt{date.year(), date.month(), date.day(), 0, 0, 0};
        if (time.isValid()) {
            dt.hour = time.hour();
            dt.min = time.minute();
            dt.sec = time.second() + time.msec() / 1000.0;
        }
        check(worksheet_write_datetime(sheet, lxw_row_t(row), c, &dt, format));
    }

    void writeCell(lxw_worksheet *sheet, int column, const QVariant &v)
    {
        if (!v.isValid() || v.isNull())
            return;
        const lxw_col_t c = lxw_col_t(column);
        lxw_format *format = formats[size_t(column)];
        switch (columns[column].Kind) {
        case TXlsxColumn::Number: {
            bool ok = false;
            const double d = v.toDouble(&ok);
            const bool whole = v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int
                               || v.typeId() == QMetaType::ULongLong;
            if (!ok || !std::isfinite(d) || (whole && std::fabs(d) > ExactWhole)) {
                writeText(sheet, c, v.toString());
                return;
            }
            check(worksheet_write_number(sheet, lxw_row_t(row), c, d, format));
            return;
        }
        case TXlsxColumn::Date:
            if (v.typeId() == QMetaType::QDate) {
                writeDate(sheet, c, v.toDate(), QTime(), format);
                return;
            }
            break;
        case TXlsxColumn::DateTime:
            if (v.typeId() == QMetaType::QDateTime) {
                const QDateTime dt = v.toDateTime();
                writeDate(sheet, c, dt.date(), dt.time(), format);
                return;
            }
            break;
        case TXlsxColumn::Time:
            if (v.typeId() == QMetaType::QTime) {
                const QTime t = v.toTime();
                const double day = (t.msecsSinceStartOfDay()) / 86400000.0;
                check(worksheet_write_number(sheet, lxw_row_t(row), c, day, format));
                return;
            }
            break;
        case TXlsxColumn::Boolean:
            if (v.typeId() == QMetaType::Bool) {
                check(worksheet_write_boolean(sheet, lxw_row_t(row), c, v.toBool() ? 1 : 0, nullptr));
                return;
            }
            break;
        case TXlsxColumn::Text:
            break;
        }
        writeText(sheet, c, v.toString());
    }
};

TXlsxTableWriter::TXlsxTableWriter(const QString &path, const QList<TXlsxColumn> &columns)
    : m(std::make_unique<TState>())
{
    m->path = path;
    m->columns = columns;
    m->target = std::make_unique<TSafeFile>(path);
    // the scratch files grow with the rows: they go beside the target, on
    // the disk that takes the file, not into a temporary folder in memory
    m->scratch = std::make_unique<QTemporaryDir>(QFileInfo(m->target->Target()).absolutePath()
                                                 + QStringLiteral("/.quarn-xlsx-XXXXXX"));
    if (!m->scratch->isValid())
        cannotSave(path, m->scratch->errorString());
    m->scratchDir = QFile::encodeName(m->scratch->path());
    m->book = m->scratch->filePath(QStringLiteral("book.xlsx"));
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = m->scratchDir.data();
    m->workbook = workbook_new_opt(QFile::encodeName(m->book).constData(), &options);
    if (!m->workbook)
        cannotSave(path, LXW_ERROR_CREATING_XLSX_FILE);
    m->titleFormat = workbook_add_format(m->workbook);
    format_set_bold(m->titleFormat);
    for (const TXlsxColumn &c : columns) {
        lxw_format *format = nullptr;
        QString numberFormat;
        switch (c.Kind) {
        case TXlsxColumn::Number: numberFormat = c.NumberFormat; break;
        case TXlsxColumn::Date: numberFormat = QStringLiteral("dd.mm.yyyy"); break;
        case TXlsxColumn::DateTime: numberFormat = QStringLiteral("dd.mm.yyyy hh:mm:ss"); break;
        case TXlsxColumn::Time: numberFormat = QStringLiteral("hh:mm:ss"); break;
        default: break;
        }
        if (!numberFormat.isEmpty()) {
            format = workbook_add_format(m->workbook);
            format_set_num_format(format, numberFormat.toUtf8().constData());
        }
        m->formats.push_back(format);
        m->widths.push_back(int(c.Title.size()));
    }
    m->startSheet();
}

TXlsxTableWriter::~TXlsxTableWriter() = default;

void TXlsxTableWriter::AddRow(const QVariantList &values)
{
    if (m->row > SheetRows)
        m->startSheet();
    lxw_worksheet *sheet = m->sheets.back();
    for (int c = 0; c < m->columns.size() && c < values.size(); ++c)
        m->writeCell(sheet, c, values[c]);
    ++m->row;
}

void TXlsxTableWriter::FitColumn(int column, int characters)
{
    if (column >= 0 && column < int(m->widths.size()) && characters > m->widths[size_t(column)])
        m->widths[size_t(column)] = characters;
}

void TXlsxTableWriter::Commit()
{
    for (lxw_worksheet *sheet : m->sheets)
        for (int c = 0; c < int(m->widths.size()); ++c) {
            // two characters more than the text: the cell's margins and the
            // bold title
            const double width = std::min(m->widths[size_t(c)] + 2, MaxWidth);
            m->check(worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), width, nullptr));
        }
    lxw_workbook *workbook = std::exchange(m->workbook, nullptr);
    m->check(workbook_close(workbook));

    QFile book(m->book);
    if (!book.open(QIODevice::ReadOnly))
        cannotSave(m->path, book.errorString());
    // a zip ends with its directory's end record (22 bytes without comment)
    if (book.size() < 22 || !book.seek(book.size() - 22) || !book.read(22).startsWith("PK\x05\x06"))
        cannotSave(m->path, LXW_ERROR_ZIP_FILE_OPERATION);
    book.seek(0);
    QByteArray chunk;
    while (!(chunk = book.read(1 << 20)).isEmpty())
        m->target->Write(chunk);
    if (book.error() != QFile::NoError)
        cannotSave(m->path, book.errorString());
    book.close();
    m->target->Commit();
}
