#pragma once

#include "CustomReport.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class TDataSet;
class TKtReport;

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

// "Редактирование формата документа": a generated template to look at and
// adjust before it runs; its text and orientation go back into the report
// on "O&K".
class TFmtListForm : public QDialog {
    Q_OBJECT
public:
    TFmtListForm(QWidget *parent, TKtReport &report, const QString &title);

    void SaveClick();
    void LoadClick();
    void ExpertClick();
    // Runs the text as it stands in a report of its own and shows the
    // output; a template error puts the caret where it is.
    void PreviewClick();
    void OKClick();

    QPlainTextEdit *FmtText = nullptr;
    QComboBox *OrientBox = nullptr;
    QPushButton *SaveBtn = nullptr, *LoadBtn = nullptr, *ExpertBtn = nullptr, *PreviewBtn = nullptr;
    QPushButton *OKBtn = nullptr, *CancelBtn = nullptr;

private:
    void showReport();
    TKtReport &m_report;
    QString m_title;
    TExpertForm *m_expert = nullptr;   // made on first use, kept with its choices
};

// Puts the caret of a text at a template's error position (a character
// offset into the lines joined by CR LF).
void PutCaretAtError(QPlainTextEdit &text, int errorPos);

// Fills the grid's report hook: Alt+F7 prints the grid's default report,
// "Эксперт отчетов..." asks the expert's dialog first.
void InstallReportExpert();
