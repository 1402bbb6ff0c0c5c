#pragma once

#include "Csv.h"
#include "GridExport.h"

#include <QDialog>
#include <QMap>
#include <memory>

class QComboBox;
class QProgressDialog;
class QPushButton;
class TSearchDBGrid;
class TUDBGrid;

// The grid's export and import commands ("Экспорт в CSV...", "Экспорт в
// Excel...", "Импорт из CSV..." on its menu). The exports write every row
// of the grid's statement, read again forward only (TExportRows), with a
// progress window that Esc or "Отмена" stops; the file is in place only
// when the last row is written.

// The grid's columns as exported: each visible column's field, its title
// as the grid shows it (title lines joined by a blank) and its text mapping.
QList<TExportColumn> GridExportColumns(TUDBGrid &grid);
// The title of each column of the grid by the name, lower-cased, of the
// table column its field is written to (for a read-only field, the
// field's own name).
QMap<QString, QString> GridColumnTitles(TUDBGrid &grid);

// Asks for the file (UserInterface().SaveFileName), then, unless the
// setting "CsvAskFormat" is "0", for the separator and the encoding
// (TCsvExportDlg, which starts from and keeps them in quarn.ini), writes
// the file and says "Записано строк: N в файл PATH". Returns the file
// written, empty when the person cancelled.
QString ExportGridCsv(TSearchDBGrid &grid);
// The same as an .xlsx workbook (TXlsxTableWriter): typed cells, the
// titles bold in a frozen first row, the widths fitted to the texts.
QString ExportGridXlsx(TSearchDBGrid &grid);
// Whether the grid shows one table that it may write to: its dataset is an
// open editable result (TDBDataSet::EditedTable) and the grid is not
// read-only. Only then does its menu offer the import.
bool CanImportCsv(TSearchDBGrid &grid);
// Shows TCsvImportDlg for the grid's table; raises when it cannot import.
void ImportGridCsv(TSearchDBGrid &grid);

// The format of a CSV export: the separator and the encoding.
class TCsvExportDlg : public QDialog {
    Q_OBJECT
public:
    TCsvExportDlg(QWidget *parent, const TCsvFormat &format);
    TCsvFormat Format() const;

    QComboBox *SeparatorBox = nullptr;
    QComboBox *EncodingBox = nullptr;
    QPushButton *OkBtn = nullptr;
    QPushButton *CancelBtn = nullptr;
};

// The progress of a long export or import: "TITLE" over "Записано строк:
// N" (the label's first words given), shown after half a second, with
// "Отмена"; the callback raises "Операция прервана пользователем" when it
// was pressed, and asks CheckAbort about an Esc.
class TWorkProgress {
public:
    TWorkProgress(QWidget *parent, const QString &title, const QString &label);
    ~TWorkProgress();
    TExportProgress Callback();

private:
    std::unique_ptr<QProgressDialog> m_dialog;
    QString m_label;
};
