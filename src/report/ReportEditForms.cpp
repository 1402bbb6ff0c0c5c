#include "ReportEditForms.h"

#include "ExpertForm.h"
#include "FldChoiceForm.h"
#include "KtReport.h"
#include "ReportFiles.h"
#include "StoredReports.h"

#include "common/AppName.h"
#include "common/Settings.h"
#include "common/TextFile.h"
#include "common/UserInterface.h"
#include "grid/GridStateForms.h"
#include "grid/SearchDBGrid.h"
#include "uisupport/Guard.h"
#include "widgets/DicButton.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSyntaxHighlighter>
#include <QVBoxLayout>

namespace {

// Colours a template: section lines, script lines, comments and the field
// references of text lines.
class TTemplateHighlighter : public QSyntaxHighlighter {
public:
    using QSyntaxHighlighter::QSyntaxHighlighter;

protected:
    void highlightBlock(const QString &text) override
    {
        QTextCharFormat f;
        if (text.startsWith(u'.')) {
            f.setForeground(QColor(0, 0, 160));
            f.setFontWeight(QFont::Bold);
            setFormat(0, int(text.size()), f);
        } else if (text.startsWith(u'#')) {
            f.setForeground(QColor(0, 120, 0));
            setFormat(0, int(text.size()), f);
        } else if (text.startsWith(u';')) {
            f.setForeground(Qt::gray);
            setFormat(0, int(text.size()), f);
        } else {
            static const QRegularExpression reference(QStringLiteral("@[A-Za-z_\\x{0400}-\\x{04FF}][\\w]*(:[-+$]?[0-9.]*)?"));
            f.setForeground(QColor(160, 0, 120));
            for (auto it = reference.globalMatch(text); it.hasNext();) {
                const auto m = it.next();
                setFormat(int(m.capturedStart()), int(m.capturedLength()), f);
            }
        }
    }
};

const QString AppColumn = QStringLiteral("RE_APP_NAM");
const QString GroupColumn = QStringLiteral("RE_GRP_NAM");
const QString NameColumn = QStringLiteral("RE_RPT_NAM");
const QString Yes = QStringLiteral("Д"), No = QStringLiteral("Н");

QPushButton *button(QWidget *parent, QBoxLayout *row, const QString &text, const char *name)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    row->addWidget(b);
    return b;
}

bool askYes(const QString &question, TUserInterface::Kind kind = TUserInterface::mtWarning)
{
    return UserInterface().MessageDlg(question, QString(), kind,
                                      {TUserInterface::mbYes, TUserInterface::mbNo, TUserInterface::mbCancel})
           == TUserInterface::mbYes;
}

void setParam(TQuery &q, const QString &name, const QString &value)
{
    TParam &p = q.ParamByName(name);
    p.SetDataType(ftString);
    p.SetValue(value);
}

} // namespace

// ---------------------------------------------------------------- one report

TRptEditForm::TRptEditForm(QWidget *parent, const TReportParams &params) : TPtEditForm(parent), m_params(params)
{
    setObjectName(QStringLiteral("RptEditForm"));
    setWindowTitle(QStringLiteral("Редактирование шаблона отчета"));
    EditQuery.SetName(QStringLiteral("EditQuery"));
    EditQuery.SetDatabaseName(params.DataBaseName);
    EditQuery.SetSQL(ReportRecordSql());
    EditQuery.SetRequestLive(true);
    // a new report starts previewed, portrait, over all records, in the
    // caller's group under its default name and output file
    EditQuery.OnNewRecord = [this](TDataSet &ds) {
        ds.FieldByName(AppColumn)->SetAsString(AppName());
        ds.FieldByName(GroupColumn)->SetAsString(m_params.ReportGroup);
        ds.FieldByName(NameColumn)->SetAsString(m_params.DefaultReportName);
        ds.FieldByName(QStringLiteral("RE_RPT_PRV"))->SetAsString(Yes);
        ds.FieldByName(QStringLiteral("RE_RPT_ORI"))->SetAsString(QStringLiteral("P"));
        ds.FieldByName(QStringLiteral("RE_RPT_ONE"))->SetAsString(No);
        ds.FieldByName(QStringLiteral("RE_RPT_PRN"))->SetAsString(m_params.PrintName);
    };
    EditQuery.BeforePost = [](TDataSet &ds) {
        for (const QString &name : {NameColumn, GroupColumn, QStringLiteral("RE_RPT_PRN")}) {
            TField *f = ds.FieldByName(name);
            if (f->AsString() != f->AsString().trimmed())
                f->SetAsString(f->AsString().trimmed());
        }
    };
    EditSource.SetDataSet(&EditQuery);

    DBLink = new TPtDBLink(this);
    DBLink->setObjectName(QStringLiteral("DBLink"));
    DBLink->Query = &EditQuery;
    DBLink->UniqueField = QStringLiteral("RE_APP_NAM,RE_GRP_NAM,RE_RPT_NAM");
    // the statement's parameters are named apart from the key columns
    DBLink->OnSetParam = [](TPtDBLink &link, TQuery *list) {
        if (list) {
            setParam(*link.Query, QStringLiteral("AppNam"), list->FieldByName(AppColumn)->AsString());
            setParam(*link.Query, QStringLiteral("GrpNam"), list->FieldByName(GroupColumn)->AsString());
            setParam(*link.Query, QStringLiteral("RptNam"), list->FieldByName(NameColumn)->AsString());
        }
        link.Query->Close();
        link.Query->Open();
    };
    DBLink->OnInsert = [](TPtDBLink &link, TQuery *) {
        for (const char *name : {"AppNam", "GrpNam", "RptNam"}) {
            TParam &p = link.Query->ParamByName(QLatin1String(name));
            p.SetDataType(ftString);
            p.Clear();
        }
        link.Query->Close();
        link.Query->Open();
        link.Query->Append();
    };

    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    auto *groupRow = new QHBoxLayout;
    GroupEdit = new QLineEdit(this);
    GroupEdit->setObjectName(QStringLiteral("GroupEdit"));
    GroupEdit->setMaxLength(60);
    GroupBtn = new TDicButton(this);
    GroupBtn->setObjectName(QStringLiteral("GroupBtn"));
    GroupBtn->DatabaseName = params.DataBaseName;
    GroupBtn->GridSQL = {QStringLiteral("SELECT DISTINCT RE_GRP_NAM FROM SYS_REPORT"),
                         QStringLiteral("WHERE RE_APP_NAM = :AppNam")};
    GroupBtn->FieldMap = {QStringLiteral("RE_GRP_NAM=Группы отчетов")};
    GroupBtn->RefField = GroupColumn;
    GroupBtn->OnSetParams = [](TDicButton &, TQuery &q) { setParam(q, QStringLiteral("AppNam"), AppName()); };
    GroupBtn->SetLinkEdit(GroupEdit, &EditSource, GroupColumn);
    groupRow->addWidget(GroupEdit, 1);
    groupRow->addWidget(GroupBtn);
    auto *groupLabel = new QLabel(QStringLiteral("&Группа отчета"), this);
    groupLabel->setBuddy(GroupEdit);
    form->addRow(groupLabel, groupRow);
    NameEdit = new QLineEdit(this);
    NameEdit->setObjectName(QStringLiteral("NameEdit"));
    NameEdit->setMaxLength(60);
    form->addRow(QStringLiteral("&Название отчета"), NameEdit);
    OrientBox = new QComboBox(this);
    OrientBox->setObjectName(QStringLiteral("OrientBox"));
    OrientBox->addItem(QStringLiteral("Горизонтальная"), QStringLiteral("L"));
    OrientBox->addItem(QStringLiteral("Вертикальная"), QStringLiteral("P"));
    form->addRow(QStringLiteral("&Ориентация"), OrientBox);
    PreviewBox = new QCheckBox(QStringLiteral("Пред&варительный просмотр"), this);
    PreviewBox->setObjectName(QStringLiteral("PreviewBox"));
    OneRecordBox = new QCheckBox(QStringLiteral("Печать одной з&аписи"), this);
    OneRecordBox->setObjectName(QStringLiteral("OneRecordBox"));
    auto *flags = new QHBoxLayout;
    flags->addWidget(PreviewBox);
    flags->addWidget(OneRecordBox);
    form->addRow(flags);
    OutputEdit = new QLineEdit(this);
    OutputEdit->setObjectName(QStringLiteral("OutputEdit"));
    OutputEdit->setMaxLength(60);
    form->addRow(QStringLiteral("&Выходной файл"), OutputEdit);
    layout->addLayout(form);
    auto *textLabel = new QLabel(QStringLiteral("Т&екст (Ctrl - '+'  Выбор из списка объектов)"), this);
    layout->addWidget(textLabel);
    TemplateText = new QPlainTextEdit(this);
    TemplateText->setObjectName(QStringLiteral("TemplateText"));
    TemplateText->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont mono(QStringLiteral("Liberation Mono"), 10);
    mono.setStyleHint(QFont::Monospace);
    TemplateText->setFont(mono);
    TemplateText->installEventFilter(this);
    new TTemplateHighlighter(TemplateText->document());
    textLabel->setBuddy(TemplateText);
    layout->addWidget(TemplateText, 1);
    new TDBEditLink(NameEdit, EditSource, NameColumn);
    new TDBEditLink(OutputEdit, EditSource, QStringLiteral("RE_RPT_PRN"));
    new TDBEditLink(TemplateText, EditSource, QStringLiteral("RE_RPT_FMT"));
    DBLink->FirstEdit = NameEdit;

    // the list and the check boxes store their own letters
    EditSource.AddLink([this](TDataEvent event, TField *) {
        if (event != deFieldChange)
            loadFlags();
    });
    connect(OrientBox, &QComboBox::currentIndexChanged, this, [this] {
        writeFlag(QStringLiteral("RE_RPT_ORI"), OrientBox->currentData().toString());
    });
    connect(PreviewBox, &QCheckBox::toggled, this,
            [this](bool on) { writeFlag(QStringLiteral("RE_RPT_PRV"), on ? Yes : No); });
    connect(OneRecordBox, &QCheckBox::toggled, this,
            [this](bool on) { writeFlag(QStringLiteral("RE_RPT_ONE"), on ? Yes : No); });

    auto *buttons = new QHBoxLayout;
    ReadBtn = button(this, buttons, QStringLiteral("С&читать"), "ReadBtn");
    WriteBtn = button(this, buttons, QStringLiteral("&Записать"), "WriteBtn");
    PreviewBtn = button(this, buttons, QStringLiteral("&Просмотр"), "PreviewBtn");
    ExpertBtn = button(this, buttons, QStringLiteral("&Эксперт"), "ExpertBtn");
    ExpertBtn->setEnabled(params.DataSet != nullptr);
    buttons->addStretch(1);
    SaveBtn = button(this, buttons, QStringLiteral("&Сохранить"), "SaveBtn");
    SaveBtn->setDefault(true);
    AddBtn = button(this, buttons, QStringLiteral("&Добавить"), "AddBtn");
    CancelBtn = button(this, buttons, QStringLiteral("Отмена"), "CancelBtn");
    layout->addLayout(buttons);
    const auto guarded = [this](QPushButton *b, void (TRptEditForm::*action)()) {
        connect(b, &QPushButton::clicked, this, [this, action] { Guarded(this, [&] { (this->*action)(); }); });
    };
    guarded(ReadBtn, &TRptEditForm::ReadClick);
    guarded(WriteBtn, &TRptEditForm::WriteClick);
    guarded(PreviewBtn, &TRptEditForm::PreviewClick);
    guarded(ExpertBtn, &TRptEditForm::ExpertClick);
    connect(SaveBtn, &QPushButton::clicked, this, [this] { done(mrOk); });
    connect(AddBtn, &QPushButton::clicked, this, [this] { done(mrRetry); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    resize(700, 560);
}

TRptEditForm::~TRptEditForm()
{
    // the edit boxes' links go before the data source they are bound to
    qDeleteAll(findChildren<TDBEditLink *>());
    GroupBtn->SetLinkEdit(nullptr);
}

void TRptEditForm::loadFlags()
{
    if (!EditQuery.Active() || (EditQuery.IsEmpty() && EditQuery.State() != dsInsert))
        return;
    m_loading = true;
    OrientBox->setCurrentIndex(EditQuery.FieldByName(QStringLiteral("RE_RPT_ORI"))->AsString() == u"L" ? 0 : 1);
    PreviewBox->setChecked(EditQuery.FieldByName(QStringLiteral("RE_RPT_PRV"))->AsString() == Yes);
    OneRecordBox->setChecked(EditQuery.FieldByName(QStringLiteral("RE_RPT_ONE"))->AsString() == Yes);
    m_loading = false;
}

void TRptEditForm::writeFlag(const QString &field, const QString &value)
{
    if (m_loading || !EditQuery.Active())
        return;
    Guarded(this, [&] {
        TField *f = EditQuery.FieldByName(field);
        if (f->AsString() == value)
            return;
        if (EditQuery.State() == dsBrowse)
            EditQuery.Edit();
        f->SetAsString(value);
    });
}

void TRptEditForm::ReadClick()
{
    QFileDialog box(this, QStringLiteral("Выберите форматный файл"), ProgramDir(), QStringLiteral("Format files (*.fmt)"));
    box.setAcceptMode(QFileDialog::AcceptOpen);
    box.setFileMode(QFileDialog::ExistingFile);
    box.setDefaultSuffix(QStringLiteral("FMT"));
    if (box.exec() == QDialog::Accepted && !box.selectedFiles().isEmpty())
        TemplateText->setPlainText(ReadTextLines(box.selectedFiles().first()).join(u'\n'));
}

void TRptEditForm::WriteClick()
{
    QFileDialog box(this, QStringLiteral("Выберите форматный файл для записи"), ProgramDir(),
                    QStringLiteral("Format files (*.fmt)"));
    box.setAcceptMode(QFileDialog::AcceptSave);
    box.setDefaultSuffix(QStringLiteral("FMT"));
    if (box.exec() == QDialog::Accepted && !box.selectedFiles().isEmpty())
        WriteTextLines(box.selectedFiles().first(), TemplateText->toPlainText().split(u'\n'));
}

void TRptEditForm::PreviewClick()
{
    // the editor's text and choices as they stand, saved or not
    const QStringList lines = TemplateText->toPlainText().split(u'\n');
    std::unique_ptr<TCustomReport> report = CreateReportFor(lines);
    m_params.AssignTo(*report);
    report->SetOrientation(OrientBox->currentData().toString() == u"L" ? TPageGeometry::Landscape : TPageGeometry::Portrait);
    if (auto *ds = dynamic_cast<TDBDataSet *>(report->GetDataSet()); ds && ds->DatabaseName() != report->DataBaseName())
        report->SetDataBaseName(ds->DatabaseName());
    report->SetFormatSource(lines);
    const QString output = OutputEdit->text().trimmed();
    report->SetPrintName(output.isEmpty() ? QStringLiteral("report.prn") : output);
    report->SetOneRecord(OneRecordBox->isChecked());
    TDataSet *walked = m_params.DataSet;
    const int at = walked && walked->Active() ? walked->CurrentIndex() : -1;
    try {
        report->Prepare();
        report->Execute();
    } catch (const Exception &) {
        if (report->ErrorPos() >= 0)
            PutCaretAtError(*TemplateText, report->ErrorPos());
        throw;
    }
    if (walked && at >= 0 && walked->Active())
        walked->MoveTo(at);
    if (PreviewBox->isChecked())
        report->Preview();
    else
        report->Print();
}

void TRptEditForm::ExpertClick()
{
    if (!m_params.DataSet || !askYes(QStringLiteral("Текст шаблона будет заменен. Продолжать?")))
        return;
    QString title;
    if (!UserInterface().InputQuery(QStringLiteral("Заголовок отчета"), QStringLiteral("Введите текст заголовка:"), title))
        return;
    TExpertForm expert(this, title, *m_params.DataSet);
    if (expert.exec() != QDialog::Accepted)
        return;
    std::unique_ptr<TCustomReport> base = CreateDefaultReport();
    auto *report = dynamic_cast<TKtReport *>(base.get());
    if (!report)
        return;
    m_params.AssignTo(*report);
    report->BuildExpertTemplate(expert.Params());
    TemplateText->setPlainText(report->FormatSource().join(u'\n'));
    if (NameEdit->text().trimmed().isEmpty())
        NameEdit->setText(title);
    OrientBox->setCurrentIndex(report->Orientation() == TPageGeometry::Landscape ? 0 : 1);
}

void TRptEditForm::ChooseObject()
{
    const QStringList lines = TemplateText->toPlainText().split(u'\n');
    std::unique_ptr<TCustomReport> report = CreateReportFor(lines);
    m_params.AssignTo(*report);
    report->SetFormatSource(lines);
    report->Prepare();   // the template's own variables exist then
    TFldChoiceForm chooser(this, report->ListNames(), m_objectRow);
    if (chooser.exec() != QDialog::Accepted || chooser.ChosenName().isEmpty())
        return;
    m_objectRow = chooser.ChosenRow();
    QApplication::clipboard()->setText(chooser.ChosenName());
    TemplateText->insertPlainText(chooser.ChosenName());
}

bool TRptEditForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == TemplateText && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Plus && (key->modifiers() & Qt::KeypadModifier)
            && (key->modifiers() & Qt::ControlModifier)) {
            Guarded(this, [this] { ChooseObject(); });
            return true;
        }
    }
    return TPtEditForm::eventFilter(watched, event);
}

// ---------------------------------------------------------------- the list

TChoiceEditRptForm::TChoiceEditRptForm(QWidget *parent, const TReportParams &params)
    : QDialog(parent), m_params(params)
{
    setObjectName(QStringLiteral("ChoiceEditRptForm"));
    setWindowTitle(QStringLiteral("Редактор отчетов"));
    EditorQuery.SetName(QStringLiteral("EditorQuery"));
    EditorQuery.SetDatabaseName(params.DataBaseName);
    EditorQuery.SetSQL(ReportEditorListSql());
    EditorQuery.AfterOpen = [this](TDataSet &ds) {
        const QList<std::pair<QString, QString>> labels = {
            {NameColumn, QStringLiteral("Название отчета")},
            {QStringLiteral("RE_RPT_PRV"), QStringLiteral("Предв-й|просмотр")},
            {QStringLiteral("RE_RPT_ORI"), QStringLiteral("Ориентация")},
            {QStringLiteral("RE_RPT_ONE"), QStringLiteral("Печать одной|записи")},
            {QStringLiteral("RE_RPT_PRN"), QStringLiteral("Выходной файл")},
            {QStringLiteral("RE_RPT_FMT"), QStringLiteral("Шаблон|отчета")},
            {GroupColumn, QStringLiteral("Группа отчетов")},
        };
        for (int i = 0; i < ds.FieldCount(); ++i)
            ds.Fields(i)->SetVisible(false);
        for (const auto &[name, label] : labels)
            if (TField *f = ds.FindField(name)) {
                f->SetDisplayLabel(label);
                f->SetVisible(name != GroupColumn || AllGroupsBox->isChecked());
                f->SetDisplayWidth(name == NameColumn ? 30 : name == QStringLiteral("RE_RPT_ORI") ? 14 : 12);
            }
    };
    EditorSource.SetDataSet(&EditorQuery);
    auto *layout = new QVBoxLayout(this);
    AllGroupsBox = new QCheckBox(QStringLiteral("&Все группы"), this);
    AllGroupsBox->setObjectName(QStringLiteral("AllGroupsBox"));
    layout->addWidget(AllGroupsBox);
    EditorGrid = new TSearchDBGrid(this);
    EditorGrid->setObjectName(QStringLiteral("EditorGrid"));
    EditorGrid->RptName = QStringLiteral("sys");
    EditorGrid->SetOptions(EditorGrid->Options() & ~dgEditing);
    EditorGrid->SetColumnOrder({NameColumn, QStringLiteral("RE_RPT_PRV"), QStringLiteral("RE_RPT_ORI"),
                                QStringLiteral("RE_RPT_ONE"), QStringLiteral("RE_RPT_PRN"), QStringLiteral("RE_RPT_FMT"),
                                GroupColumn});
    layout->addWidget(EditorGrid, 1);
    auto *panel = new QWidget(this);
    auto *buttons = new QHBoxLayout(panel);
    buttons->setContentsMargins(0, 0, 0, 0);
    ExportBtn = button(panel, buttons, QStringLiteral("&На диск"), "ExportBtn");
    ImportBtn = button(panel, buttons, QStringLiteral("&С диска"), "ImportBtn");
    EditBtn = button(panel, buttons, QStringLiteral("&Изменить"), "EditBtn");
    AddBtn = button(panel, buttons, QStringLiteral("&Добавить"), "AddBtn");
    DeleteBtn = button(panel, buttons, QStringLiteral("&Удалить"), "DeleteBtn");
    buttons->addStretch(1);
    ExitBtn = button(panel, buttons, QStringLiteral("В&ыход"), "ExitBtn");
    // the progress of an import lies over the buttons while it runs
    Progress = new QProgressBar(panel);
    Progress->setObjectName(QStringLiteral("Progress"));
    Progress->hide();
    layout->addWidget(panel);
    connect(AllGroupsBox, &QCheckBox::clicked, this, [this] { Guarded(this, [this] { Reopen(); }); });
    const auto click = [this](QPushButton *b, std::function<void()> action) {
        connect(b, &QPushButton::clicked, this, [this, action] { Guarded(this, action); });
    };
    click(EditBtn, [this] { EditClick(); });
    click(AddBtn, [this] { AddClick(); });
    click(DeleteBtn, [this] { DeleteClick(); });
    click(ExportBtn, [this] { ExportClick(); });
    click(ImportBtn, [this] { ImportClick(); });
    connect(ExitBtn, &QPushButton::clicked, this, &QDialog::reject);
    EditForm = new TRptEditForm(this, params);
    FormLink = new TPtFormLink(this);
    FormLink->setObjectName(QStringLiteral("FormLink"));
    FormLink->SetEditForm(EditForm);
    Reopen();
    EditorGrid->SetDataSource(&EditorSource);
    for (int c = 0; c < EditorGrid->ColumnCount(); ++c)
        if (EditorGrid->Column(c).FieldName.compare(QStringLiteral("RE_RPT_ORI"), Qt::CaseInsensitive) == 0)
            EditorGrid->Column(c).DisplayMap = [](const QString &letter) {
                return letter == u"L" ? QStringLiteral("Горизонтальная") : QStringLiteral("Вертикальная");
            };
    resize(820, 400);
}

TChoiceEditRptForm::~TChoiceEditRptForm()
{
    EditorGrid->SetDataSource(nullptr);
}

void TChoiceEditRptForm::Reopen()
{
    EditorQuery.Close();
    setParam(EditorQuery, QStringLiteral("AppNam"), AppName());
    setParam(EditorQuery, QStringLiteral("GrpNam"), AllGroupsBox->isChecked() ? QStringLiteral("%") : m_params.ReportGroup);
    EditorQuery.Open();
}

void TChoiceEditRptForm::EditClick()
{
    if (EditorQuery.Active() && !EditorQuery.IsEmpty())
        FormLink->Edit(&EditorSource);
}

void TChoiceEditRptForm::AddClick()
{
    FormLink->Add(&EditorSource);
}

void TChoiceEditRptForm::DeleteClick()
{
    if (!EditorQuery.Active() || EditorQuery.IsEmpty()
        || !askYes(QStringLiteral("Вы уверены ?"), TUserInterface::mtConfirmation))
        return;
    FormLink->Delete(&EditorSource);
}

void TChoiceEditRptForm::ExportClick(const QString &dir)
{
    if (!askYes(QStringLiteral("Вы уверены, что хотите записать отчеты на диск ?")))
        return;
    const QString folder = dir.isEmpty() ? AskDirectory(this) : dir;
    if (folder.isEmpty())
        return;
    const TFmtResult result = ExportReportFiles(m_params.DataBaseName, folder,
                                                AllGroupsBox->isChecked() ? std::nullopt
                                                                          : std::optional<QString>(m_params.ReportGroup));
    for (const TFmtEntry &e : result.Entries)
        if (e.Action == TFmtAction::Failed)
            HandleException(this, Exception(e.Message + u'\n' + e.Error));
}

void TChoiceEditRptForm::ImportClick(const QString &dir)
{
    if (!askYes(QStringLiteral("Вы уверены, что хотите загрузить отчеты с диска ?")))
        return;
    const QString folder = dir.isEmpty() ? AskDirectory(this) : dir;
    if (folder.isEmpty())
        return;
    TImportProgress progress(*Progress, [this] { Guarded(this, [this] { Reopen(); }); });
    const TFmtResult result = ImportReportFiles(m_params.DataBaseName, folder, std::nullopt,
                                                [&progress](int doneFiles, int total, const QString &) {
                                                    progress.Step(doneFiles, total);
                                                });
    // a report the table refused is told, and the others went on
    for (const TFmtEntry &e : result.Entries)
        if (e.Action == TFmtAction::Failed) {
            UserInterface().MessageDlg(e.Message, QString(), TUserInterface::mtWarning, {TUserInterface::mbOK});
            HandleException(this, Exception(e.Error));
        }
}
