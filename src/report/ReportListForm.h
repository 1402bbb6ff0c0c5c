#pragma once

#include "CustomReport.h"

#include "data/DataSet.h"
#include "data/Query.h"

#include <QDialog>
#include <memory>

class QPushButton;
class TSearchDBGrid;

// How far a long report run got, shown after half a second; its "Отмена"
// stops the run as Esc does.
class TRunProgress {
public:
    explicit TRunProgress(QWidget *parent);
    ~TRunProgress();
    // The handler a report calls after each record's values: counts, shows
    // the count every 1001 records, and raises "Операция прервана
    // пользователем" once "Отмена" was pressed. `inner` runs first.
    TReportNotify Chain(TReportNotify inner);
    int Count() const { return m_count; }
    QString Text() const;
    void Cancel();

private:
    std::unique_ptr<class QProgressDialog> m_dialog;
    int m_count = 0;
};

// "Выбор отчета": the stored reports of a grid's group; "&Выбрать" runs the
// current one (previewed or printed as stored) and the window stays.
class TChoiceRptForm : public QDialog {
    Q_OBJECT
public:
    TChoiceRptForm(QWidget *parent, const TReportParams &params);
    ~TChoiceRptForm() override;

    // Runs the report of the current row.
    void ChooseClick();
    const TReportParams &Params() const { return m_params; }

    TQuery ReportQuery;
    TDataSource ReportSource;
    TSearchDBGrid *ReportGrid = nullptr;
    QPushButton *ChooseBtn = nullptr;
    QPushButton *EditorBtn = nullptr;
    QPushButton *ExitBtn = nullptr;

private:
    TReportParams m_params;
};

// The report settings of a grid: its data source and dataset, the
// dataset's database and the grid's report group (its RptGroup, made from
// the grid's window and name on first use).
TReportParams GridReportParams(TSearchDBGrid &grid);
// Ctrl+F7: the chooser of the grid's group.
void ShowReportList(TSearchDBGrid &grid);
// The grid's default stored report (its RptName), run without the chooser;
// "Отчет \"%s\" не найден" when there is none.
void RunDefaultReport(TSearchDBGrid &grid);
// Runs a stored report for a caller and shows or prints its output; a
// report that is printed at once asks "Вы уверены, что хотите печатать ?"
// first, after "Отчет записан в файл ..." naming where its output went (the
// preview's title names it). The report's name is remembered as the one
// chosen last.
void RunStoredReportOf(const TDataSet &row, TReportParams &params);

// Fills the grid's report-list hook.
void InstallReportList();
