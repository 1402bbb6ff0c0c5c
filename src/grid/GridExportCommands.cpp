#include "GridExportCommands.h"

#include "CsvImportDlg.h"
#include "SearchDBGrid.h"

#include "common/Format.h"
#include "common/Settings.h"
#include "common/TextFile.h"
#include "common/UserInterface.h"
#include "data/Query.h"
#include "office/XlsxTable.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QProgressDialog>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The file to write: asked, given the suffix when it has none, and an
// existing file replaced only when the person says so. Empty: cancelled.
QString askFile(const QString &title, const QString &filter, const QString &suffix)
{
    QString path = UserInterface().SaveFileName(title, filter, ProgramDir());
    if (path.isEmpty())
        return QString();
    path = ExpandFileName(path);
    if (QFileInfo(path).suffix().isEmpty())
        path += u'.' + suffix;
    if (QFileInfo::exists(path)
        && UserInterface().MessageDlg(Format(QStringLiteral("Переписать %s ?"), {QDir::toNativeSeparators(path)}),
                                      QString(), TUserInterface::mtConfirmation,
                                      {TUserInterface::mbYes, TUserInterface::mbNo, TUserInterface::mbCancel})
               != TUserInterface::mbYes)
        return QString();
    return path;
}

void tellWritten(qint64 rows, const QString &path)
{
    UserInterface().MessageDlg(QStringLiteral("Записано строк: %1 в файл %2").arg(rows).arg(QDir::toNativeSeparators(path)),
                               QString(), TUserInterface::mtInformation, {TUserInterface::mbOK});
}

TDataSet *activeDataSet(TSearchDBGrid &grid)
{
    TDataSet *ds = grid.DataSet();
    if (!ds || !ds->Active())
        throw Exception(QStringLiteral("Нет открытого набора данных"));
    return ds;
}

// The kind of cell a column's values become in a spreadsheet.
TXlsxColumn xlsxColumn(const TExportColumn &c)
{
    TXlsxColumn x;
    x.Title = c.Title;
    if (!c.Field || c.DisplayMap)
        return x;   // a text shown otherwise stays the text shown
    switch (c.Field->DataType()) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc:
        x.Kind = TXlsxColumn::Number;
        break;
    case ftFloat: case ftCurrency: case ftBCD:
        x.Kind = TXlsxColumn::Number;
        if (c.Field->Currency())
            x.NumberFormat = QStringLiteral("#,##0.00");
        else if (c.Field->Scale() > 0)
            x.NumberFormat = QStringLiteral("0.") + QString(std::min(c.Field->Scale(), 30), u'0');
        break;
    case ftDate: x.Kind = TXlsxColumn::Date; break;
    case ftDateTime: x.Kind = TXlsxColumn::DateTime; break;
    case ftTime: x.Kind = TXlsxColumn::Time; break;
    case ftBoolean: x.Kind = TXlsxColumn::Boolean; break;
    default: break;
    }
    return x;
}

// A value of the grid's field as the spreadsheet's cell takes it (see
// TXlsxTableWriter::AddRow); a value its kind cannot read stays its text.
QVariant xlsxValue(const TExportColumn &c, const TXlsxColumn &x, const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return QVariant();
    const TField *f = c.Field;
    try {
        switch (x.Kind) {
        case TXlsxColumn::Number:
            switch (f->DataType()) {
            case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: return FieldValue::ToInteger(v);
            default: break;
            }
            return FieldValue::ToFloat(v);
        case TXlsxColumn::Boolean:
            return FieldValue::ToBoolean(v);
        case TXlsxColumn::Date: case TXlsxColumn::DateTime: case TXlsxColumn::Time: {
            TDateTime dt = 0;
            if (!FieldValue::ToDateTime(v, dt))
                break;
            if (x.Kind == TXlsxColumn::Date)
                return DateTimeToQDate(dt);
            if (x.Kind == TXlsxColumn::Time)
                return DateTimeToQTime(dt);
            return QDateTime(DateTimeToQDate(dt), DateTimeToQTime(dt));
        }
        case TXlsxColumn::Text:
            return c.Text(v);
        }
    } catch (const EConvertError &) {
    }
    return c.Text(v);
}

// The width of a text as shown: its longest line.
int shownWidth(const QString &text)
{
    int widest = 0, line = 0;
    for (QChar ch : text) {
        if (ch == u'\n') {
            widest = std::max(widest, line);
            line = 0;
        } else if (ch != u'\r') {
            ++line;
        }
    }
    return std::max(widest, line);
}

} // namespace

QList<TExportColumn> GridExportColumns(TUDBGrid &grid)
{
    QList<TExportColumn> columns;
    for (int c = 0; c < grid.ColumnCount(); ++c) {
        TExportColumn column;
        column.Field = grid.ColumnField(c);
        QString title = grid.Model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        column.Title = title.split(u'|').join(u' ').trimmed();
        column.DisplayMap = grid.Column(c).DisplayMap;
        columns.append(column);
    }
    return columns;
}

QMap<QString, QString> GridColumnTitles(TUDBGrid &grid)
{
    QMap<QString, QString> titles;
    const auto *ds = dynamic_cast<const TDBDataSet *>(grid.DataSet());
    for (const TExportColumn &c : GridExportColumns(grid)) {
        if (!c.Field)
            continue;
        // the table's column behind the field, whatever the statement calls it
        const QString column = ds ? ds->WrittenColumn(c.Field) : QString();
        titles.insert((column.isEmpty() ? c.Field->FieldName() : column).toLower(), c.Title);
    }
    return titles;
}

QString ExportGridCsv(TSearchDBGrid &grid)
{
    TDataSet *ds = activeDataSet(grid);
    const QString path = askFile(QStringLiteral("Экспорт в CSV"),
                                 QStringLiteral("Файлы CSV (*.csv)|*.csv|Все файлы (*.*)|*.*"), QStringLiteral("csv"));
    if (path.isEmpty())
        return QString();
    TCsvFormat format = CsvExportFormat();
    if (CsvAskFormat()) {
        TCsvExportDlg dialog(&grid, format);
        if (dialog.exec() != QDialog::Accepted)
            return QString();
        format = dialog.Format();
        SaveCsvExportFormat(format);
    }
    qint64 rows = 0;
    {
        TWorkProgress progress(&grid, QStringLiteral("Экспорт в CSV"), QStringLiteral("Записано строк: "));
        rows = ExportCsv(*ds, GridExportColumns(grid), path, format, progress.Callback());
    }
    tellWritten(rows, path);
    return path;
}

QString ExportGridXlsx(TSearchDBGrid &grid)
{
    TDataSet *ds = activeDataSet(grid);
    const QString path = askFile(QStringLiteral("Экспорт в Excel"),
                                 QStringLiteral("Книги Excel (*.xlsx)|*.xlsx|Все файлы (*.*)|*.*"), QStringLiteral("xlsx"));
    if (path.isEmpty())
        return QString();
    const QList<TExportColumn> columns = GridExportColumns(grid);
    QList<TXlsxColumn> kinds;
    for (const TExportColumn &c : columns)
        kinds.append(xlsxColumn(c));
    qint64 rows = 0;
    {
        TWorkProgress progress(&grid, QStringLiteral("Экспорт в Excel"), QStringLiteral("Записано строк: "));
        const TExportProgress tell = progress.Callback();
        TExportRows source(*ds);
        TXlsxTableWriter writer(path, kinds);
        QVariantList values(columns.size());
        while (source.Next()) {
            for (int i = 0; i < columns.size(); ++i) {
                const TExportColumn &c = columns[i];
                const QVariant v = c.Field ? source.Value(c.Field) : QVariant();
                values[i] = c.Field ? xlsxValue(c, kinds[i], v) : QVariant();
                if (c.Field)
                    writer.FitColumn(i, shownWidth(c.Text(v)));
            }
            writer.AddRow(values);
            if (++rows % 512 == 0)
                tell(rows);
        }
        writer.Commit();
    }
    tellWritten(rows, path);
    return path;
}

bool CanImportCsv(TSearchDBGrid &grid)
{
    auto *ds = dynamic_cast<TDBDataSet *>(grid.DataSet());
    return ds && ds->Active() && !ds->EditedTable().isEmpty() && !grid.ReadOnly();
}

void ImportGridCsv(TSearchDBGrid &grid)
{
    if (!CanImportCsv(grid))
        throw Exception(QStringLiteral("Загрузить строки можно только в таблицу, открытую для изменения"));
    auto *ds = static_cast<TDBDataSet *>(grid.DataSet());
    ds->CheckBrowseMode();
    TCsvImportDlg dialog(&grid, *ds, GridColumnTitles(grid));
    dialog.exec();
}

// ---------------------------------------------------------------- the format dialog

TCsvExportDlg::TCsvExportDlg(QWidget *parent, const TCsvFormat &format) : QDialog(parent)
{
    setObjectName(QStringLiteral("CsvExportDlg"));
    setWindowTitle(QStringLiteral("Экспорт в CSV"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    SeparatorBox = new QComboBox(this);
    SeparatorBox->setObjectName(QStringLiteral("SeparatorBox"));
    SeparatorBox->addItem(QStringLiteral("Запятая ( , )"), QChar(u','));
    SeparatorBox->addItem(QStringLiteral("Точка с запятой ( ; )"), QChar(u';'));
    SeparatorBox->setCurrentIndex(format.Separator == u';' ? 1 : 0);
    form->addRow(QStringLiteral("&Разделитель:"), SeparatorBox);
    EncodingBox = new QComboBox(this);
    EncodingBox->setObjectName(QStringLiteral("EncodingBox"));
    EncodingBox->addItem(QStringLiteral("UTF-8 (с меткой BOM)"), int(TCsvEncoding::Utf8));
    EncodingBox->addItem(QStringLiteral("Кодовая страница программы (%1)").arg(CodePageName()), int(TCsvEncoding::CodePage));
    EncodingBox->setCurrentIndex(format.Encoding == TCsvEncoding::CodePage ? 1 : 0);
    form->addRow(QStringLiteral("&Кодировка:"), EncodingBox);
    layout->addLayout(form);
    auto *buttons = new QHBoxLayout;
    OkBtn = new QPushButton(QStringLiteral("OK"), this);
    OkBtn->setObjectName(QStringLiteral("OkBtn"));
    OkBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Отмена"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    buttons->addStretch(1);
    buttons->addWidget(OkBtn);
    buttons->addWidget(CancelBtn);
    layout->addLayout(buttons);
    connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    SeparatorBox->setFocus();
}

TCsvFormat TCsvExportDlg::Format() const
{
    TCsvFormat format;
    format.Separator = SeparatorBox->currentData().toChar();
    format.Encoding = TCsvEncoding(EncodingBox->currentData().toInt());
    return format;
}

// ---------------------------------------------------------------- progress

TWorkProgress::TWorkProgress(QWidget *parent, const QString &title, const QString &label)
    : m_dialog(std::make_unique<QProgressDialog>(label + u'0', QStringLiteral("Отмена"), 0, 0, parent)),
      m_label(label)
{
    m_dialog->setObjectName(QStringLiteral("WorkProgress"));
    m_dialog->setWindowTitle(title);
    m_dialog->setMinimumDuration(500);
    m_dialog->setAutoReset(false);
    m_dialog->setAutoClose(false);
}

TWorkProgress::~TWorkProgress() = default;

TExportProgress TWorkProgress::Callback()
{
    return [this](qint64 rows) {
        m_dialog->setLabelText(m_label + QString::number(rows));
        m_dialog->setValue(0);
        if (m_dialog->wasCanceled())
            throw Exception(QStringLiteral("Операция прервана пользователем"));
        CheckAbort();
    };
}
