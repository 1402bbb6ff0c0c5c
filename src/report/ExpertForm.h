#pragma once

#include "CustomReport.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class TDataSet;

// "Эксперт шаблонов": what the report expert is to write — a simple
// report with its columns, totals and title, a copy into a local table, or
// an export to the spreadsheet or word processor.
class TExpertForm : public QDialog {
    Q_OBJECT
public:
    enum { EditResult = 2 };   // "&Редактор": generate and open the format editor

    TExpertForm(QWidget *parent, const QString &title, TDataSet &dataSet);

    // The choices of the page in front.
    TExpertParams Params() const;
    // The field names of the selected items of a list.
    QStringList Chosen(const QListWidget *list) const;

    QTabWidget *Pages = nullptr;
    QListWidget *ReportFields = nullptr;
    QListWidget *TotalFields = nullptr;
    QLineEdit *TitleEdit = nullptr;
    QListWidget *TableFields = nullptr;
    QLineEdit *TableEdit = nullptr;
    QListWidget *OleFields = nullptr;
    QComboBox *AppBox = nullptr;
    QPushButton *RunBtn = nullptr;
    QPushButton *CancelBtn = nullptr;
    QPushButton *EditorBtn = nullptr;
};

// Fills the grid's report hook: Alt+F7 prints the grid's default report,
// "Эксперт отчетов..." asks the expert's dialog first.
void InstallReportExpert();
