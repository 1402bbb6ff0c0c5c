#include "ReportListForm.h"

#include "ReportEditForms.h"
#include "StoredReports.h"

#include "common/AppName.h"
#include "common/Exceptions.h"
#include "common/Format.h"
#include "common/Settings.h"
#include "common/UserInterface.h"
#include "grid/GridHooks.h"
#include "grid/SearchDBGrid.h"
#include "uisupport/Guard.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QProgressDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString NameColumn = QStringLiteral("RE_RPT_NAM");

} // namespace

TRunProgress::TRunProgress(QWidget *parent)
    : m_dialog(std::make_unique<QProgressDialog>(QStringLiteral("Обработано записей: 0"), QStringLiteral("Отмена"), 0, 0,
                                                 parent))
{
    m_dialog->setWindowTitle(QStringLiteral("Выполнение отчета"));
    m_dialog->setMinimumDuration(500);
    m_dialog->setAutoReset(false);
    m_dialog->setAutoClose(false);
}

TRunProgress::~TRunProgress() = default;

TReportNotify TRunProgress::Chain(TReportNotify inner)
{
    return [this, inner](TCustomReport &report) {
        if (inner)
            inner(report);
        if (++m_count % 1001 != 0)
            return;
        m_dialog->setLabelText(QStringLiteral("Обработано записей: ") + QString::number(m_count));
        m_dialog->setValue(0);
        if (m_dialog->wasCanceled())
            throw Exception(QStringLiteral("Операция прервана пользователем"));
    };
}

QString TRunProgress::Text() const
{
    return m_dialog->labelText();
}

void TRunProgress::Cancel()
{
    m_dialog->cancel();
}

TReportParams GridReportParams(TSearchDBGrid &grid)
{
    if (grid.RptGroup.isEmpty())
        grid.RptGroup = grid.GridName();
    TReportParams params;
    params.DataSource = grid.DataSource();
    params.DataSet = grid.DataSet();
    if (const auto *ds = dynamic_cast<const TDBDataSet *>(grid.DataSet()))
        params.DataBaseName = ds->DatabaseName();
    params.ReportGroup = grid.RptGroup;
    params.DefaultReportName = grid.RptName;
    return params;
}

void RunStoredReportOf(const TDataSet &row, TReportParams &params)
{
    const TStoredReport stored = StoredReportOfRecord(row);
    const QString name = row.FieldByName(NameColumn)->AsString();
    // the walked dataset stays on its row and its grid quiet
    TDataSet *walked = params.DataSet;
    const int at = walked && walked->Active() ? walked->CurrentIndex() : -1;
    if (walked)
        walked->DisableControls();
    struct TBack {
        TDataSet *ds;
        int at;
        ~TBack()
        {
            if (!ds)
                return;
            try {
                if (ds->Active() && at >= 0)
                    ds->MoveTo(at);
            } catch (const Exception &) {
            }
            ds->EnableControls();
        }
    } back{walked, at};
    std::unique_ptr<TCustomReport> report;
    {
        // the progress goes with the run, before the output is shown
        TRunProgress progress(QApplication::activeWindow());
        TReportParams run = params;
        run.OnSetValues = progress.Chain(params.OnSetValues);
        // a report made for other rows would print runs of "!" in place of
        // the fields these rows lack: say so before it runs
        report = RunStoredReport(stored, run, [&](TCustomReport &prepared) {
            const QStringList unknown = prepared.UnknownFields();
            if (!unknown.isEmpty()
                && UserInterface().MessageDlg(
                       QStringLiteral("Отчет \"%1\" ссылается на поля, которых нет в записях: %2.\n"
                                      "На их месте будут напечатаны знаки \"!\". Выполнить отчет?")
                           .arg(name, unknown.join(QStringLiteral(", "))),
                       QString(), TUserInterface::mtWarning, {TUserInterface::mbYes, TUserInterface::mbNo})
                       != TUserInterface::mbYes)
                throw EAbort();
        });
        report->OnSetValues = params.OnSetValues;
    }
    // a stored output file may name any folder: the preview's title names
    // the file, and so does the question before printing
    const QString output = ExpandFileName(report->PrintName());
    const QString written = QFileInfo::exists(output)
                                ? QStringLiteral("Отчет записан в файл %1\n").arg(QDir::cleanPath(output))
                                : QString();
    if (stored.Preview)
        report->Preview();
    else if (UserInterface().MessageDlg(written + QStringLiteral("Вы уверены, что хотите печатать ?"), QString(),
                                        TUserInterface::mtWarning,
                                        {TUserInterface::mbYes, TUserInterface::mbNo, TUserInterface::mbCancel})
             == TUserInterface::mbYes)
        report->Print();
    params.LastReport = name;
}

void ShowReportList(TSearchDBGrid &grid)
{
    TDataSet *ds = grid.DataSet();
    if (!ds || !ds->Active() || !dynamic_cast<TDBDataSet *>(ds) || grid.RptName == u"sys")
        return;
    TChoiceRptForm chooser(&grid, GridReportParams(grid));
    chooser.exec();
}

void RunDefaultReport(TSearchDBGrid &grid)
{
    TDataSet *ds = grid.DataSet();
    if (grid.RptName.isEmpty() || grid.RptName == u"sys" || !ds || !ds->Active())
        return;
    TReportParams params = GridReportParams(grid);
    TQuery query;
    query.SetDatabaseName(params.DataBaseName);
    query.SetSQL(StoredReportChooserSQL());
    query.ParamByName(QStringLiteral("AppNam")).SetAsString(AppName());
    query.ParamByName(QStringLiteral("GrpNam")).SetAsString(params.ReportGroup);
    query.ParamByName(QStringLiteral("RptNam")).SetAsString(grid.RptName);
    query.Open();
    if (query.IsEmpty())
        throw Exception(Format(QStringLiteral("Отчет \"%s\" не найден"), {grid.RptName}));
    RunStoredReportOf(query, params);
}

void InstallReportList()
{
    ReportListHook = [](TSearchDBGrid &grid, bool showList) {
        if (showList)
            ShowReportList(grid);
        else
            RunDefaultReport(grid);
    };
}

TChoiceRptForm::TChoiceRptForm(QWidget *parent, const TReportParams &params) : QDialog(parent), m_params(params)
{
    setObjectName(QStringLiteral("ChoiceRptForm"));
    setWindowTitle(QStringLiteral("Выбор отчета"));
    ReportQuery.SetName(QStringLiteral("ReportQuery"));
    ReportQuery.SetDatabaseName(params.DataBaseName);
    ReportQuery.SetSQL(StoredReportChooserSQL());
    ReportQuery.ParamByName(QStringLiteral("AppNam")).SetAsString(AppName());
    ReportQuery.ParamByName(QStringLiteral("GrpNam")).SetAsString(params.ReportGroup);
    ReportQuery.ParamByName(QStringLiteral("RptNam")).SetAsString(QStringLiteral("%"));
    ReportQuery.AfterOpen = [](TDataSet &ds) {
        for (int i = 0; i < ds.FieldCount(); ++i)
            ds.Fields(i)->SetVisible(ds.Fields(i)->FieldName().compare(NameColumn, Qt::CaseInsensitive) == 0);
        if (TField *f = ds.FindField(NameColumn))
            f->SetDisplayLabel(QStringLiteral("Название отчета"));
    };
    ReportSource.SetDataSet(&ReportQuery);
    auto *layout = new QVBoxLayout(this);
    ReportGrid = new TSearchDBGrid(this);
    ReportGrid->setObjectName(QStringLiteral("ReportGrid"));
    ReportGrid->RptName = QStringLiteral("sys");   // a list of reports has no reports of its own
    ReportGrid->SetOptions(ReportGrid->Options() & ~dgEditing);
    ReportGrid->SetTitleRows(1);
    layout->addWidget(ReportGrid, 1);
    auto *buttons = new QHBoxLayout;
    ChooseBtn = new QPushButton(QStringLiteral("&Выбрать"), this);
    ChooseBtn->setObjectName(QStringLiteral("ChooseBtn"));
    ChooseBtn->setDefault(true);
    EditorBtn = new QPushButton(QStringLiteral("&Редактор отчетов"), this);
    EditorBtn->setObjectName(QStringLiteral("EditorBtn"));
    ExitBtn = new QPushButton(QStringLiteral("В&ыход"), this);
    ExitBtn->setObjectName(QStringLiteral("ExitBtn"));
    buttons->addWidget(EditorBtn);
    buttons->addStretch(1);
    buttons->addWidget(ChooseBtn);
    buttons->addWidget(ExitBtn);
    layout->addLayout(buttons);
    connect(ChooseBtn, &QPushButton::clicked, this, [this] { Guarded(this, [this] { ChooseClick(); }); });
    connect(ExitBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(EditorBtn, &QPushButton::clicked, this, [this] {
        Guarded(this, [this] {
            {
                TChoiceEditRptForm editor(this, m_params);
                editor.exec();
            }
            // the list again, on the same row where it still exists
            const int row = ReportQuery.CurrentIndex();
            ReportQuery.Close();
            ReportQuery.Open();
            if (row > 0)
                ReportQuery.MoveTo(row);
        });
    });
    ReportQuery.Open();
    ReportGrid->SetDataSource(&ReportSource);
    ReportGrid->View()->horizontalHeader()->setStretchLastSection(true);
    resize(420, 340);
}

TChoiceRptForm::~TChoiceRptForm()
{
    ReportGrid->SetDataSource(nullptr);
}

void TChoiceRptForm::ChooseClick()
{
    if (!ReportQuery.Active() || ReportQuery.IsEmpty())
        return;
    RunStoredReportOf(ReportQuery, m_params);
}
