#include "ExpertForm.h"

#include "KtReport.h"
#include "ReportListForm.h"

#include "common/Settings.h"
#include "common/TextFile.h"
#include "data/Query.h"
#include "grid/GridHooks.h"
#include "grid/QueryBuilderModel.h"
#include "grid/SearchDBGrid.h"
#include "uisupport/Guard.h"

#include <QComboBox>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

bool listable(TFieldType t)
{
    switch (t) {
    case ftString: case ftSmallint: case ftInteger: case ftWord: case ftBoolean: case ftFloat: case ftCurrency:
    case ftBCD: case ftDate: case ftTime: case ftDateTime: case ftMemo:
        return true;
    default:
        return false;
    }
}

QListWidget *fieldList(QWidget *parent, const char *name)
{
    auto *list = new QListWidget(parent);
    list->setObjectName(QLatin1String(name));
    list->setSelectionMode(QAbstractItemView::MultiSelection);
    return list;
}

void addField(QListWidget *list, const TField *f)
{
    auto *item = new QListWidgetItem(TBuilderFields::LabelOf(f->DisplayLabel()), list);
    item->setData(Qt::UserRole, f->FieldName());
    item->setSelected(true);
}

// The caption of the window that holds the grid.
QString formCaption(const QWidget &grid)
{
    for (const QWidget *p = grid.parentWidget(); p; p = p->parentWidget())
        if (qobject_cast<const QMdiSubWindow *>(p) || p->isWindow())
            return p->windowTitle();
    return QString();
}

// Writes, runs and shows the grid's report; the grid stays on its row.
void runReport(TSearchDBGrid &grid, bool expert)
{
    TDataSet *ds = grid.DataSet();
    if (!ds || !ds->Active())
        return;
    const QString title = formCaption(grid);
    TExpertParams params;
    params.Title = title;
    int result = QDialog::Accepted;
    if (expert) {
        TExpertForm form(&grid, title, *ds);
        form.EditorBtn->setEnabled(true);
        result = form.exec();
        if (result == QDialog::Rejected)
            return;
        params = form.Params();
    }
    std::unique_ptr<TCustomReport> base = CreateDefaultReport();
    auto *report = dynamic_cast<TKtReport *>(base.get());
    if (!report)
        return;
    report->SetPrintName(QStringLiteral("report.prn"));
    report->SetDataSource(grid.DataSource());
    report->SetDataSet(ds);
    if (const auto *db = dynamic_cast<const TDBDataSet *>(ds))
        report->SetDataBaseName(db->DatabaseName());
    report->BuildExpertTemplate(params);
    if (result == TExpertForm::EditResult) {
        TFmtListForm editor(&grid, *report, title);
        editor.exec();
        return;
    }
    {
        struct TKeepRow {
            TDataSet &ds;
            int row = ds.CurrentIndex();
            TKeepRow(TDataSet &d) : ds(d) { ds.DisableControls(); }
            ~TKeepRow()
            {
                try {
                    if (ds.Active() && row >= 0)
                        ds.MoveTo(row);
                } catch (const Exception &) {
                }
                ds.EnableControls();
            }
        } keep(*ds);
        // the progress goes with the run, before the output is shown
        TRunProgress progress(&grid);
        const TReportNotify own = report->OnSetValues;
        report->OnSetValues = progress.Chain(own);
        report->Prepare();
        report->Execute();
        report->OnSetValues = own;
    }
    report->Preview();
}

} // namespace

void InstallReportExpert()
{
    ReportHook = runReport;
}

TExpertForm::TExpertForm(QWidget *parent, const QString &title, TDataSet &dataSet) : QDialog(parent)
{
    setObjectName(QStringLiteral("ExpertForm"));
    setWindowTitle(QStringLiteral("Эксперт шаблонов"));
    auto *layout = new QVBoxLayout(this);
    Pages = new QTabWidget(this);
    Pages->setObjectName(QStringLiteral("Pages"));
    layout->addWidget(Pages, 1);

    const auto labelled = [](QWidget *page, QGridLayout *grid, int column, const QString &text, QWidget *w) {
        auto *label = new QLabel(text, page);
        label->setBuddy(w);
        grid->addWidget(label, 0, column);
        grid->addWidget(w, 1, column);
    };
    auto *report = new QWidget(Pages);
    auto *reportGrid = new QGridLayout(report);
    ReportFields = fieldList(report, "ReportFields");
    TotalFields = fieldList(report, "TotalFields");
    labelled(report, reportGrid, 0, QStringLiteral("П&оля для отчета"), ReportFields);
    labelled(report, reportGrid, 1, QStringLiteral("По&ля для итоговой строки"), TotalFields);
    auto *titleRow = new QFormLayout;
    TitleEdit = new QLineEdit(title, report);
    TitleEdit->setObjectName(QStringLiteral("TitleEdit"));
    titleRow->addRow(QStringLiteral("&Заголовок отчета"), TitleEdit);
    reportGrid->addLayout(titleRow, 2, 0, 1, 2);
    Pages->addTab(report, QStringLiteral("&Простой отчет"));

    auto *table = new QWidget(Pages);
    auto *tableGrid = new QGridLayout(table);
    TableFields = fieldList(table, "TableFields");
    labelled(table, tableGrid, 0, QStringLiteral("П&оля для зкспорта"), TableFields);
    auto *tableRow = new QFormLayout;
    TableEdit = new QLineEdit(QStringLiteral("TABLE1.DBF"), table);
    TableEdit->setObjectName(QStringLiteral("TableEdit"));
    tableRow->addRow(QStringLiteral("&Имя таблицы"), TableEdit);
    tableGrid->addLayout(tableRow, 2, 0);
    Pages->addTab(table, QStringLiteral("&Экспорт в таблицу"));

    auto *ole = new QWidget(Pages);
    auto *oleGrid = new QGridLayout(ole);
    OleFields = fieldList(ole, "OleFields");
    labelled(ole, oleGrid, 0, QStringLiteral("П&оля для зкспорта"), OleFields);
    auto *appRow = new QFormLayout;
    AppBox = new QComboBox(ole);
    AppBox->setObjectName(QStringLiteral("AppBox"));
    AppBox->addItems({QStringLiteral("Microsoft Excel"), QStringLiteral("Microsoft Word")});
    appRow->addRow(QStringLiteral("&Приложение"), AppBox);
    oleGrid->addLayout(appRow, 2, 0);
    Pages->addTab(ole, QStringLiteral("Э&кспорт в OLE приложение"));

    for (int i = 0; i < dataSet.FieldCount(); ++i) {
        const TField *f = dataSet.Fields(i);
        if (!listable(f->DataType()))
            continue;
        addField(TableFields, f);
        addField(OleFields, f);
        if (!f->Visible())
            continue;
        addField(ReportFields, f);
        if ((f->DataType() == ftFloat || f->DataType() == ftCurrency || f->DataType() == ftBCD) && f->Currency())
            addField(TotalFields, f);
    }

    auto *buttons = new QHBoxLayout;
    EditorBtn = new QPushButton(QStringLiteral("&Редактор"), this);
    EditorBtn->setObjectName(QStringLiteral("EditorBtn"));
    EditorBtn->setEnabled(false);
    RunBtn = new QPushButton(QStringLiteral("&Выполнить"), this);
    RunBtn->setObjectName(QStringLiteral("RunBtn"));
    RunBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Отмена"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    buttons->addWidget(EditorBtn);
    buttons->addStretch(1);
    buttons->addWidget(RunBtn);
    buttons->addWidget(CancelBtn);
    layout->addLayout(buttons);
    connect(RunBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(EditorBtn, &QPushButton::clicked, this, [this] { done(EditResult); });
    resize(560, 380);
}

QStringList TExpertForm::Chosen(const QListWidget *list) const
{
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->isSelected())
            names << list->item(i)->data(Qt::UserRole).toString();
    return names;
}

TExpertParams TExpertForm::Params() const
{
    TExpertParams p;
    switch (Pages->currentIndex()) {
    case 0:
        p.Kind = TExpertParams::ekReport;
        p.Title = TitleEdit->text();
        p.Fields = Chosen(ReportFields);
        p.Totals = Chosen(TotalFields);
        break;
    case 1:
        p.Kind = TExpertParams::ekTable;
        p.TableName = TableEdit->text();
        p.Fields = Chosen(TableFields);
        break;
    default:
        p.Kind = AppBox->currentIndex() == 1 ? TExpertParams::ekWord : TExpertParams::ekExcel;
        p.Fields = Chosen(OleFields);
        break;
    }
    return p;
}

// ---------------------------------------------------------------- format editor

void PutCaretAtError(QPlainTextEdit &text, int errorPos)
{
    // the offset counts the two characters of every CR LF before it
    int offset = std::max(0, errorPos);
    for (QTextBlock block = text.document()->firstBlock(); block.isValid(); block = block.next()) {
        const int length = block.length() - 1;
        if (offset <= length + 1 || !block.next().isValid()) {
            QTextCursor c(block);
            c.setPosition(block.position() + std::min(offset, length));
            text.setFocus();
            text.setTextCursor(c);
            return;
        }
        offset -= length + 2;
    }
}

TFmtListForm::TFmtListForm(QWidget *parent, TKtReport &report, const QString &title)
    : QDialog(parent), m_report(report), m_title(title)
{
    setObjectName(QStringLiteral("FmtListForm"));
    setWindowTitle(QStringLiteral("Редактирование формата документа"));
    auto *layout = new QVBoxLayout(this);
    FmtText = new QPlainTextEdit(this);
    FmtText->setObjectName(QStringLiteral("FmtText"));
    FmtText->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont mono(QStringLiteral("Liberation Mono"), 10);
    mono.setStyleHint(QFont::Monospace);
    FmtText->setFont(mono);
    layout->addWidget(FmtText, 1);
    auto *bottom = new QHBoxLayout;
    auto *orientLabel = new QLabel(QStringLiteral("&Ориентация"), this);
    OrientBox = new QComboBox(this);
    OrientBox->setObjectName(QStringLiteral("OrientBox"));
    OrientBox->addItems({QStringLiteral("Вертикальная"), QStringLiteral("Горизонтальная")});
    orientLabel->setBuddy(OrientBox);
    bottom->addWidget(orientLabel);
    bottom->addWidget(OrientBox);
    bottom->addStretch(1);
    const auto button = [this, bottom](const QString &text, const char *name) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        bottom->addWidget(b);
        return b;
    };
    SaveBtn = button(QStringLiteral("&Сохранить"), "SaveBtn");
    LoadBtn = button(QStringLiteral("&Загрузить"), "LoadBtn");
    ExpertBtn = button(QStringLiteral("&Эксперт"), "ExpertBtn");
    PreviewBtn = button(QStringLiteral("&Просмотр"), "PreviewBtn");
    OKBtn = button(QStringLiteral("O&K"), "OKBtn");
    CancelBtn = button(QStringLiteral("Отмена"), "CancelBtn");
    layout->addLayout(bottom);
    const auto guarded = [this](QPushButton *b, void (TFmtListForm::*action)()) {
        connect(b, &QPushButton::clicked, this, [this, action] { Guarded(this, [&] { (this->*action)(); }); });
    };
    guarded(SaveBtn, &TFmtListForm::SaveClick);
    guarded(LoadBtn, &TFmtListForm::LoadClick);
    guarded(ExpertBtn, &TFmtListForm::ExpertClick);
    guarded(PreviewBtn, &TFmtListForm::PreviewClick);
    guarded(OKBtn, &TFmtListForm::OKClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    showReport();
    resize(720, 480);
}

void TFmtListForm::showReport()
{
    FmtText->setPlainText(m_report.FormatSource().join(u'\n'));
    OrientBox->setCurrentIndex(m_report.Orientation() == TPageGeometry::Landscape ? 1 : 0);
}

void TFmtListForm::SaveClick()
{
    QFileDialog box(this, QStringLiteral("Выберите форматный файл для записи"), ProgramDir(),
                    QStringLiteral("Format files (*.fmt)"));
    box.setObjectName(QStringLiteral("SaveDialog"));
    box.setAcceptMode(QFileDialog::AcceptSave);
    box.setDefaultSuffix(QStringLiteral("FMT"));
    if (box.exec() == QDialog::Accepted && !box.selectedFiles().isEmpty())
        WriteTextLines(box.selectedFiles().first(), FmtText->toPlainText().split(u'\n'));
}

void TFmtListForm::LoadClick()
{
    QFileDialog box(this, QStringLiteral("Выберите форматный файл"), ProgramDir(), QStringLiteral("Format files (*.fmt)"));
    box.setObjectName(QStringLiteral("LoadDialog"));
    box.setAcceptMode(QFileDialog::AcceptOpen);
    box.setFileMode(QFileDialog::ExistingFile);
    box.setDefaultSuffix(QStringLiteral("FMT"));
    if (box.exec() == QDialog::Accepted && !box.selectedFiles().isEmpty())
        FmtText->setPlainText(ReadTextLines(box.selectedFiles().first()).join(u'\n'));
}

void TFmtListForm::ExpertClick()
{
    TDataSet *ds = m_report.GetDataSet();
    if (!ds)
        return;
    if (!m_expert)
        m_expert = new TExpertForm(this, m_title, *ds);   // kept with the editor, choices and all
    if (m_expert->exec() != QDialog::Accepted)
        return;
    m_report.BuildExpertTemplate(m_expert->Params());
    showReport();
}

void TFmtListForm::PreviewClick()
{
    const QStringList lines = FmtText->toPlainText().split(u'\n');
    std::unique_ptr<TCustomReport> report = CreateReportFor(lines);
    report->AssignFrom(m_report);
    report->SetPrintName(QStringLiteral("report.prn"));
    report->SetOrientation(OrientBox->currentIndex() == 1 ? TPageGeometry::Landscape : TPageGeometry::Portrait);
    report->SetFormatSource(lines);
    try {
        report->Prepare();
        report->Execute();
    } catch (const Exception &) {
        if (report->ErrorPos() >= 0)
            PutCaretAtError(*FmtText, report->ErrorPos());
        throw;
    }
    report->Preview();
}

void TFmtListForm::OKClick()
{
    m_report.SetFormatSource(FmtText->toPlainText().split(u'\n'));
    m_report.SetOrientation(OrientBox->currentIndex() == 1 ? TPageGeometry::Landscape : TPageGeometry::Portrait);
    accept();
}
