#include "GridStateForms.h"

#include "GridHooks.h"
#include "GridStates.h"
#include "SearchDBGrid.h"

#include "common/AppName.h"
#include "common/Format.h"
#include "common/Settings.h"
#include "common/UserInterface.h"
#include "uisupport/Guard.h"
#include "widgets/DicButton.h"

#include <QCheckBox>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>

std::function<QString(QWidget *)> AskDirectoryHook;

namespace {

const QString TitleColumn = QStringLiteral("GR_GRD_CMT");
const QString GroupColumn = QStringLiteral("GR_GRD_NAM");

QPushButton *button(QWidget *parent, const QString &text, const char *name)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
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

// The group of the grid's states: its window's class, "_", its name.
QString groupOf(TSearchDBGrid &grid)
{
    return grid.GridName();
}

// The hook handlers.

void restoreState(TSearchDBGrid &grid)
{
    TQuery *query = grid.Query();
    // the chooser's own grid has no states to choose from
    if (!query || qobject_cast<TChoiceGridForm *>(grid.window()))
        return;
    TChoiceGridForm chooser(&grid, query->DatabaseName(), groupOf(grid));
    if (chooser.exec() != QDialog::Accepted || chooser.ChosenTitle().isEmpty())
        return;
    const QString title = chooser.ChosenTitle();
    for (const TGridState &state : GridStatesOfGroup(query->DatabaseName(), groupOf(grid)))
        if (state.Title == title) {
            struct TRepaint {
                TSearchDBGrid &grid;
                ~TRepaint() { grid.RepaintTitles(); }
            } repaint{grid};
            RestoreGridState(*query, grid.Conditions(), state);
            return;
        }
}

void saveState(TSearchDBGrid &grid)
{
    if (!dynamic_cast<TDBDataSet *>(grid.DataSet()) || grid.Conditions().IsEmpty())
        return;
    TSaveGridForm form(&grid, grid, groupOf(grid));
    form.exec();
}

void clearState(TSearchDBGrid &grid, bool confirm, bool reopen)
{
    TQuery *query = grid.Query();
    if (!query)
        return;
    struct TRepaint {
        TSearchDBGrid &grid;
        ~TRepaint() { grid.RepaintTitles(); }
    } repaint{grid};
    ClearGridState(*query, grid.Conditions(), confirm, reopen);
}

} // namespace

TImportProgress::TImportProgress(QProgressBar &bar, std::function<void()> done) : m_bar(bar), m_done(std::move(done))
{
    m_bar.setGeometry(m_bar.parentWidget()->rect());
    m_bar.setValue(0);
    m_bar.show();
    m_bar.raise();
}

TImportProgress::~TImportProgress()
{
    m_bar.hide();
    if (m_done)
        m_done();
}

void TImportProgress::Step(int done, int total)
{
    m_bar.setMaximum(std::max(total, 1));
    m_bar.setValue(done);
    UserInterface().ProcessMessages();
}

QString AskDirectory(QWidget *parent)
{
    if (AskDirectoryHook)
        return AskDirectoryHook(parent);
    TGetDirForm form(parent, ProgramDir());
    return form.exec() == QDialog::Accepted ? form.Directory() : QString();
}

void InstallGridStates()
{
    RestoreStateHook = restoreState;
    SaveStateHook = saveState;
    ClearStateHook = clearState;
}

// ---------------------------------------------------------------- chooser

TChoiceGridForm::TChoiceGridForm(QWidget *parent, const QString &databaseName, const QString &group)
    : QDialog(parent), m_group(group)
{
    setObjectName(QStringLiteral("ChoiceGridForm"));
    setWindowTitle(QStringLiteral("Выбор состояния таблицы"));
    ListQuery.SetName(QStringLiteral("ListQuery"));
    ListQuery.SetDatabaseName(databaseName);
    ListQuery.SetSQL(GridStatesListSql());
    ListQuery.AfterOpen = [](TDataSet &ds) {
        for (int i = 0; i < ds.FieldCount(); ++i)
            ds.Fields(i)->SetVisible(ds.Fields(i)->FieldName().compare(TitleColumn, Qt::CaseInsensitive) == 0);
        if (TField *f = ds.FindField(TitleColumn))
            f->SetDisplayLabel(QStringLiteral("Описание"));
    };
    ListSource.SetDataSet(&ListQuery);
    auto *layout = new QVBoxLayout(this);
    ChoiceGrid = new TSearchDBGrid(this);
    ChoiceGrid->setObjectName(QStringLiteral("ChoiceGrid"));
    ChoiceGrid->SetOptions(ChoiceGrid->Options() & ~dgEditing);
    ChoiceGrid->SetTitleRows(1);
    layout->addWidget(ChoiceGrid, 1);
    auto *buttons = new QHBoxLayout;
    ChooseBtn = button(this, QStringLiteral("&Выбрать"), "ChooseBtn");
    ChooseBtn->setDefault(true);
    EditorBtn = button(this, QStringLiteral("&Редактор"), "EditorBtn");
    ExitBtn = button(this, QStringLiteral("В&ыход"), "ExitBtn");
    buttons->addWidget(EditorBtn);
    buttons->addStretch(1);
    buttons->addWidget(ChooseBtn);
    buttons->addWidget(ExitBtn);
    layout->addLayout(buttons);
    connect(ChooseBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(ExitBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(EditorBtn, &QPushButton::clicked, this, [this] {
        Guarded(this, [this] {
            TChoiceEditGrdForm editor(this, ListQuery.DatabaseName(), m_group);
            editor.exec();
            Reopen();
        });
    });
    ChoiceGrid->View()->installEventFilter(this);
    Reopen();
    ChoiceGrid->SetDataSource(&ListSource);
    ChoiceGrid->View()->horizontalHeader()->setStretchLastSection(true);
    resize(420, 320);
}

TChoiceGridForm::~TChoiceGridForm()
{
    ChoiceGrid->SetDataSource(nullptr);
}

void TChoiceGridForm::Reopen()
{
    ListQuery.Close();
    setParam(ListQuery, QStringLiteral("GrdName"), m_group);
    setParam(ListQuery, QStringLiteral("AppName"), AppName());
    ListQuery.Open();
}

QString TChoiceGridForm::ChosenTitle() const
{
    const TField *f = ListQuery.Active() && !ListQuery.IsEmpty() ? ListQuery.FindField(TitleColumn) : nullptr;
    return f ? f->AsString() : QString();
}

void TChoiceGridForm::DeleteSelected()
{
    const QString title = ChosenTitle();
    if (title.isEmpty()
        || !askYes(Format(QStringLiteral("Вы уверены, что хотите удалить состояние таблицы \"%s\". Продолжать?"),
                          {title})))
        return;
    DeleteGridState(ListQuery.DatabaseName(), m_group, title);
    Reopen();
}

bool TChoiceGridForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ChoiceGrid->View() && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Delete && !(key->modifiers() & Qt::ControlModifier)) {
            Guarded(this, [this] { DeleteSelected(); });
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------- save

TSaveGridForm::TSaveGridForm(QWidget *parent, TSearchDBGrid &grid, const QString &group)
    : QDialog(parent), m_grid(grid), m_group(group)
{
    setObjectName(QStringLiteral("SaveGridForm"));
    setWindowTitle(QStringLiteral("Сохранение состояния таблицы"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Введите название"), this));
    auto *titleRow = new QHBoxLayout;
    TitleEdit = new QLineEdit(this);
    TitleEdit->setObjectName(QStringLiteral("TitleEdit"));
    TitleEdit->setMaxLength(60);
    // the titles of the group's states, the chosen one into the edit box
    LookupBtn = new TDicButton(this);
    LookupBtn->setObjectName(QStringLiteral("LookupBtn"));
    if (const auto *ds = dynamic_cast<const TDBDataSet *>(grid.DataSet()))
        LookupBtn->DatabaseName = ds->DatabaseName();
    LookupBtn->GridSQL = GridStatesListSql();
    LookupBtn->FieldMap = {TitleColumn + QStringLiteral("=Описание")};
    LookupBtn->FormTitle = QStringLiteral("Выберите состояние таблицы");
    LookupBtn->RefField = TitleColumn;
    LookupBtn->OnSetParams = [this](TDicButton &, TQuery &q) {
        setParam(q, QStringLiteral("GrdName"), m_group);
        setParam(q, QStringLiteral("AppName"), AppName());
    };
    LookupBtn->SetLinkEdit(TitleEdit);
    LookupBtn->setText(QString());
    LookupBtn->setIcon(QIcon::fromTheme(QStringLiteral("accessories-dictionary"),
                                        style()->standardIcon(QStyle::SP_FileDialogContentsView)));
    LookupBtn->setToolTip(QStringLiteral("Выбрать из сохраненных состояний (серый \"+\" в поле названия)"));
    titleRow->addWidget(TitleEdit, 1);
    titleRow->addWidget(LookupBtn);
    layout->addLayout(titleRow);
    auto *buttons = new QHBoxLayout;
    SaveBtn = button(this, QStringLiteral("&Сохранить"), "SaveBtn");
    SaveBtn->setDefault(true);
    CancelBtn = button(this, QStringLiteral("Отмена"), "CancelBtn");
    buttons->addStretch(1);
    buttons->addWidget(SaveBtn);
    buttons->addWidget(CancelBtn);
    layout->addLayout(buttons);
    connect(SaveBtn, &QPushButton::clicked, this, [this] { Guarded(this, [this] { SaveClick(); }); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    resize(380, 120);
}

void TSaveGridForm::SaveClick()
{
    auto *dataSet = dynamic_cast<TDBDataSet *>(m_grid.DataSet());
    if (!dataSet)
        return;
    SaveGridState(*dataSet, m_group, TitleEdit->text().trimmed(), m_grid.Conditions());
    accept();
}

// ---------------------------------------------------------------- editor

TChoiceEditGrdForm::TChoiceEditGrdForm(QWidget *parent, const QString &databaseName, const QString &group)
    : QDialog(parent), m_databaseName(databaseName), m_group(group)
{
    setObjectName(QStringLiteral("ChoiceEditGrdForm"));
    setWindowTitle(QStringLiteral("Редактор состояний таблицы"));
    EditorQuery.SetName(QStringLiteral("EditorQuery"));
    EditorQuery.SetDatabaseName(databaseName);
    EditorQuery.SetSQL(GridStatesEditorSql());
    EditorQuery.AfterOpen = [this](TDataSet &ds) {
        const QList<std::pair<QString, QString>> labels = {
            {GroupColumn, QStringLiteral("Группа состояний")},
            {TitleColumn, QStringLiteral("Название состояния")},
            {QStringLiteral("GR_GRD_SRH"), QStringLiteral("Список|поиска")},
            {QStringLiteral("GR_GRD_CHS"), QStringLiteral("Пометка")},
            {QStringLiteral("GR_GRD_BLD"), QStringLiteral("Конструктор|запросов")},
            {QStringLiteral("GR_GRD_ORD"), QStringLiteral("Порядок")},
        };
        for (int i = 0; i < ds.FieldCount(); ++i)
            ds.Fields(i)->SetVisible(false);
        for (const auto &[name, label] : labels)
            if (TField *f = ds.FindField(name)) {
                f->SetDisplayLabel(label);
                f->SetVisible(name != GroupColumn || AllGroupsBox->isChecked());
            }
    };
    EditorSource.SetDataSet(&EditorQuery);
    auto *layout = new QVBoxLayout(this);
    AllGroupsBox = new QCheckBox(QStringLiteral("&Все группы"), this);
    AllGroupsBox->setObjectName(QStringLiteral("AllGroupsBox"));
    layout->addWidget(AllGroupsBox);
    EditorGrid = new TSearchDBGrid(this);
    EditorGrid->setObjectName(QStringLiteral("EditorGrid"));
    EditorGrid->SetOptions(EditorGrid->Options() & ~dgEditing);
    EditorGrid->SetDataField(TitleColumn);
    layout->addWidget(EditorGrid, 1);
    auto *buttons = new QHBoxLayout;
    EditBtn = button(this, QStringLiteral("&Изменить"), "EditBtn");
    AddBtn = button(this, QStringLiteral("&Добавить"), "AddBtn");
    DeleteBtn = button(this, QStringLiteral("&Удалить"), "DeleteBtn");
    ExportBtn = button(this, QStringLiteral("&На диск"), "ExportBtn");
    ImportBtn = button(this, QStringLiteral("&С диска"), "ImportBtn");
    ExitBtn = button(this, QStringLiteral("В&ыход"), "ExitBtn");
    for (QPushButton *b : {EditBtn, AddBtn, DeleteBtn, ExportBtn, ImportBtn})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(ExitBtn);
    // the progress of an import lies over the buttons while it runs
    auto *panel = new QWidget(this);
    panel->setLayout(buttons);
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
    EditForm = new TGridEditForm(this, databaseName, group);
    FormLink = new TPtFormLink(this);
    FormLink->setObjectName(QStringLiteral("FormLink"));
    FormLink->SetEditForm(EditForm);
    Reopen();
    EditorGrid->SetDataSource(&EditorSource);
    resize(760, 380);
}

TChoiceEditGrdForm::~TChoiceEditGrdForm()
{
    EditorGrid->SetDataSource(nullptr);
}

void TChoiceEditGrdForm::Reopen()
{
    EditorQuery.Close();
    setParam(EditorQuery, QStringLiteral("AppNam"), AppName());
    setParam(EditorQuery, QStringLiteral("GrdNam"), AllGroupsBox->isChecked() ? QStringLiteral("%") : m_group);
    EditorQuery.Open();
}

void TChoiceEditGrdForm::EditClick()
{
    FormLink->Edit(&EditorSource);
}

void TChoiceEditGrdForm::AddClick()
{
    FormLink->Add(&EditorSource);
}

void TChoiceEditGrdForm::DeleteClick()
{
    if (!EditorQuery.Active() || EditorQuery.IsEmpty()
        || !askYes(QStringLiteral("Вы уверены ?"), TUserInterface::mtConfirmation))
        return;
    FormLink->Delete(&EditorSource);
}

void TChoiceEditGrdForm::ExportClick(const QString &dir)
{
    if (!askYes(QStringLiteral("Вы уверены, что хотите записать состояния на диск ?")))
        return;
    const QString folder = dir.isEmpty() ? AskDirectory(this) : dir;
    if (folder.isEmpty())
        return;
    ExportGridStates(m_databaseName, AllGroupsBox->isChecked() ? QStringLiteral("%") : m_group, folder,
                     [this](const Exception &e) { HandleException(this, e); });
}

void TChoiceEditGrdForm::ImportClick(const QString &dir)
{
    if (!askYes(QStringLiteral("Вы уверены, что хотите загрузить состояния с диска ?")))
        return;
    const QString folder = dir.isEmpty() ? AskDirectory(this) : dir;
    if (folder.isEmpty())
        return;
    TImportProgress progress(*Progress, [this] { Guarded(this, [this] { Reopen(); }); });
    ImportGridStates(
        m_databaseName, folder,
        [&progress](int doneFiles, int total) { progress.Step(doneFiles, total); },
        [this](const Exception &e) { HandleException(this, e); });
}

// ---------------------------------------------------------------- one state

TGridEditForm::TGridEditForm(QWidget *parent, const QString &databaseName, const QString &group)
    : TPtEditForm(parent), m_group(group)
{
    setObjectName(QStringLiteral("GridEditForm"));
    setWindowTitle(QStringLiteral("Редактор состояния таблицы"));
    EditQuery.SetName(QStringLiteral("EditQuery"));
    EditQuery.SetDatabaseName(databaseName);
    EditQuery.SetSQL(GridStateSaveSql());
    EditQuery.SetRequestLive(true);
    EditQuery.OnNewRecord = [this](TDataSet &ds) {
        ds.FieldByName(QStringLiteral("GR_APP_NAM"))->SetAsString(AppName());
        ds.FieldByName(GroupColumn)->SetAsString(m_group);
    };
    EditQuery.BeforePost = [](TDataSet &ds) {
        if (ds.FieldByName(TitleColumn)->AsString().trimmed().isEmpty())
            throw Exception(QStringLiteral("Название не может быть пустым"));
    };
    EditSource.SetDataSet(&EditQuery);

    DBLink = new TPtDBLink(this);
    DBLink->setObjectName(QStringLiteral("DBLink"));
    DBLink->Query = &EditQuery;
    DBLink->UniqueField = QStringLiteral("GR_APP_NAM,GR_GRD_NAM,GR_GRD_CMT");
    // the statement's parameters are named apart from the key columns
    DBLink->OnSetParam = [](TPtDBLink &link, TQuery *list) {
        if (list) {
            setParam(*link.Query, QStringLiteral("AppName"), list->FieldByName(QStringLiteral("GR_APP_NAM"))->AsString());
            setParam(*link.Query, QStringLiteral("GrdName"), list->FieldByName(GroupColumn)->AsString());
            setParam(*link.Query, QStringLiteral("GrdCmt"), list->FieldByName(TitleColumn)->AsString());
        }
        link.Query->Close();
        link.Query->Open();
    };
    DBLink->OnInsert = [](TPtDBLink &link, TQuery *) {
        for (const char *name : {"AppName", "GrdName", "GrdCmt"}) {
            TParam &p = link.Query->ParamByName(QLatin1String(name));
            p.SetDataType(ftString);
            p.Clear();
        }
        link.Query->Close();
        link.Query->Open();
        link.Query->Append();
    };

    auto *layout = new QVBoxLayout(this);
    auto *keys = new QHBoxLayout;
    auto *titleLabel = new QLabel(QStringLiteral("&Название"), this);
    TitleEdit = new QLineEdit(this);
    TitleEdit->setObjectName(QStringLiteral("TitleEdit"));
    TitleEdit->setMaxLength(60);
    titleLabel->setBuddy(TitleEdit);
    auto *groupLabel = new QLabel(QStringLiteral("&Группа"), this);
    GroupEdit = new QLineEdit(this);
    GroupEdit->setObjectName(QStringLiteral("GroupEdit"));
    GroupEdit->setMaxLength(60);
    groupLabel->setBuddy(GroupEdit);
    // the groups in use, the chosen one into the edit box
    GroupLookupBtn = new TDicButton(this);
    GroupLookupBtn->setObjectName(QStringLiteral("GroupLookupBtn"));
    GroupLookupBtn->DatabaseName = databaseName;
    GroupLookupBtn->GridSQL = GridGroupsSql();
    GroupLookupBtn->FieldMap = {GroupColumn + QStringLiteral("=Группы состояний")};
    GroupLookupBtn->RefField = GroupColumn;
    GroupLookupBtn->OnSetParams = [](TDicButton &, TQuery &q) { setParam(q, QStringLiteral("AppNam"), AppName()); };
    GroupLookupBtn->SetLinkEdit(GroupEdit);
    keys->addWidget(titleLabel);
    keys->addWidget(TitleEdit, 1);
    keys->addWidget(groupLabel);
    keys->addWidget(GroupEdit, 1);
    keys->addWidget(GroupLookupBtn);
    layout->addLayout(keys);
    Pages = new QTabWidget(this);
    const auto memo = [this](const QString &caption, const char *name, const QString &field) {
        auto *m = new QPlainTextEdit(Pages);
        m->setObjectName(QLatin1String(name));
        m->setLineWrapMode(QPlainTextEdit::NoWrap);
        Pages->addTab(m, caption);
        new TDBEditLink(m, EditSource, field);
        return m;
    };
    SearchMemo = memo(QStringLiteral("&Поиск"), "SearchMemo", QStringLiteral("GR_GRD_SRH"));
    ChoiceMemo = memo(QStringLiteral("П&ометка"), "ChoiceMemo", QStringLiteral("GR_GRD_CHS"));
    BuildMemo = memo(QStringLiteral("&Конструктор"), "BuildMemo", QStringLiteral("GR_GRD_BLD"));
    OrderMemo = memo(QStringLiteral("По&рядок"), "OrderMemo", QStringLiteral("GR_GRD_ORD"));
    layout->addWidget(Pages, 1);
    new TDBEditLink(TitleEdit, EditSource, TitleColumn);
    new TDBEditLink(GroupEdit, EditSource, GroupColumn);
    DBLink->FirstEdit = TitleEdit;

    auto *buttons = new QHBoxLayout;
    AddBtn = button(this, QStringLiteral("&Добавить"), "AddBtn");
    SaveBtn = button(this, QStringLiteral("&Сохранить"), "SaveBtn");
    SaveBtn->setDefault(true);
    CancelBtn = button(this, QStringLiteral("Отменить"), "CancelBtn");
    buttons->addWidget(AddBtn);
    buttons->addStretch(1);
    buttons->addWidget(SaveBtn);
    buttons->addWidget(CancelBtn);
    layout->addLayout(buttons);
    connect(SaveBtn, &QPushButton::clicked, this, [this] { done(mrOk); });
    connect(AddBtn, &QPushButton::clicked, this, [this] { done(mrRetry); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    resize(560, 360);
}

TGridEditForm::~TGridEditForm()
{
    // the edit boxes' links go before the data source they are bound to
    qDeleteAll(findChildren<TDBEditLink *>());
}


// ---------------------------------------------------------------- folder

TGetDirForm::TGetDirForm(QWidget *parent, const QString &start) : QDialog(parent)
{
    setObjectName(QStringLiteral("GetDirForm"));
    setWindowTitle(QStringLiteral("Выберите каталог"));
    auto *layout = new QVBoxLayout(this);
    auto *model = new QFileSystemModel(this);
    model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model->setRootPath(QString());
    DirTree = new QTreeView(this);
    DirTree->setObjectName(QStringLiteral("DirTree"));
    DirTree->setModel(model);
    for (int c = 1; c < model->columnCount(); ++c)
        DirTree->hideColumn(c);
    DirTree->setCurrentIndex(model->index(start));
    DirTree->scrollTo(DirTree->currentIndex());
    DirTree->installEventFilter(this);
    layout->addWidget(DirTree, 1);
    auto *buttons = new QHBoxLayout;
    OKBtn = button(this, QStringLiteral("OK"), "OKBtn");
    OKBtn->setDefault(true);
    CancelBtn = button(this, QStringLiteral("Отмена"), "CancelBtn");
    buttons->addStretch(1);
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    layout->addLayout(buttons);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    resize(420, 420);
}

QString TGetDirForm::Directory() const
{
    const auto *model = static_cast<QFileSystemModel *>(DirTree->model());
    QString dir = model->filePath(DirTree->currentIndex());
    if (!dir.isEmpty() && !dir.endsWith(u'/'))
        dir += u'/';
    return dir;
}

bool TGetDirForm::eventFilter(QObject *watched, QEvent *event)
{
    // Enter opens the folder instead of closing the window
    if (watched == DirTree && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            DirTree->expand(DirTree->currentIndex());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
