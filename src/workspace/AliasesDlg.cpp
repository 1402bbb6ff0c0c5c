#include "AliasesDlg.h"

#include "Application.h"

#include "common/Exceptions.h"
#include "common/Format.h"
#include "common/Settings.h"
#include "common/UserInterface.h"

#include "uisupport/Fitting.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QVBoxLayout>

// ---------------------------------------------------------------- TAliasEditDlg

TAliasEditDlg::TAliasEditDlg(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AliasEditDlg"));
    setWindowTitle(QStringLiteral("Псевдоним базы данных"));
    setModal(true);
    NameEdit = new QLineEdit(this);
    NameEdit->setObjectName(QStringLiteral("NameEdit"));
    DriverBox = new QComboBox(this);
    DriverBox->setObjectName(QStringLiteral("DriverBox"));
    DriverBox->addItem(QStringLiteral("SQLite (файл)"), QStringLiteral("QSQLITE"));
    DriverBox->addItem(QStringLiteral("PostgreSQL (сервер)"), QStringLiteral("QPSQL"));
    DatabaseEdit = new QLineEdit(this);
    DatabaseEdit->setObjectName(QStringLiteral("DatabaseEdit"));
    BrowseBtn = new QPushButton(QStringLiteral("..."), this);
    BrowseBtn->setObjectName(QStringLiteral("BrowseBtn"));
    HostEdit = new QLineEdit(this);
    HostEdit->setObjectName(QStringLiteral("HostEdit"));
    // a line, not a spin box: a spin box drops what is not a digit, and
    // "127.0.0.1" typed there became the port 12700
    PortEdit = new QLineEdit(this);
    PortEdit->setObjectName(QStringLiteral("PortEdit"));
    PortEdit->setPlaceholderText(QStringLiteral("по умолчанию"));
    UserEdit = new QLineEdit(this);
    UserEdit->setObjectName(QStringLiteral("UserEdit"));
    LoginBox = new QCheckBox(QStringLiteral("Запрашивать имя и пароль при соединении"), this);
    LoginBox->setObjectName(QStringLiteral("LoginBox"));
    DescriptionEdit = new QLineEdit(this);
    DescriptionEdit->setObjectName(QStringLiteral("DescriptionEdit"));
    DescriptionEdit->setMinimumWidth(360);
    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Отмена"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));

    auto *database = new QHBoxLayout;
    database->addWidget(DatabaseEdit, 1);
    database->addWidget(BrowseBtn);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&Название:"), NameEdit);
    form->addRow(QStringLiteral("&Драйвер:"), DriverBox);
    auto *databaseLabel = new QLabel(QStringLiteral("&База данных:"), this);
    databaseLabel->setBuddy(DatabaseEdit);
    form->addRow(databaseLabel, database);
    form->addRow(QStringLiteral("&Сервер:"), HostEdit);
    form->addRow(QStringLiteral("&Порт:"), PortEdit);
    form->addRow(QStringLiteral("По&льзователь:"), UserEdit);
    form->addRow(QString(), LoginBox);
    form->addRow(QStringLiteral("&Описание:"), DescriptionEdit);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(DriverBox, &QComboBox::currentIndexChanged, this, [this] { driverChanged(); });
    connect(BrowseBtn, &QPushButton::clicked, this, Guard(this, &TAliasEditDlg::browse));
    connect(OKBtn, &QPushButton::clicked, this, [this] {
        Guarded(this, [this] {
            if (NameEdit->text().trimmed().isEmpty()) {
                NameEdit->setFocus();
                throw Exception(QStringLiteral("Не задано название псевдонима"));
            }
            if (PortEdit->isEnabled() && port() < 0) {
                PortEdit->setFocus();
                PortEdit->selectAll();
                throw Exception(QStringLiteral("Порт - число от 1 до 65535 (или пусто: порт по умолчанию)"));
            }
            accept();
        });
    });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    m_alias.Driver = QStringLiteral("QSQLITE");
    driverChanged();
}

void TAliasEditDlg::SetAlias(const TAlias &alias)
{
    m_alias = alias;
    NameEdit->setText(alias.Name);
    DriverBox->setCurrentIndex(std::max(0, DriverBox->findData(alias.Driver)));
    DatabaseEdit->setText(alias.Database);
    HostEdit->setText(alias.Host);
    PortEdit->setText(alias.Port > 0 ? QString::number(alias.Port) : QString());
    UserEdit->setText(alias.User);
    LoginBox->setChecked(alias.Login);
    DescriptionEdit->setText(alias.Description);
    driverChanged();
}

TAlias TAliasEditDlg::Alias() const
{
    TAlias a = m_alias;
    const QString driver = DriverBox->currentData().toString();
    if (driver != a.Driver)
        a.Type.clear();   // the new driver's default
    a.Name = NameEdit->text().trimmed();
    a.Driver = driver;
    a.Database = DatabaseEdit->text().trimmed();
    const bool server = driver != u"QSQLITE";
    a.Host = server ? HostEdit->text().trimmed() : QString();
    a.Port = server ? std::max(0, port()) : 0;
    a.User = server ? UserEdit->text().trimmed() : QString();
    a.Login = server && LoginBox->isChecked();
    a.Description = DescriptionEdit->text().trimmed();
    return a;
}

int TAliasEditDlg::port() const
{
    const QString text = PortEdit->text().trimmed();
    if (text.isEmpty())
        return 0;
    bool digits = std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    const int value = digits && text.size() <= 5 ? text.toInt() : -1;
    return value >= 1 && value <= 65535 ? value : -1;
}

void TAliasEditDlg::driverChanged()
{
    // a SQLite database is a file: no server, no login
    const bool server = DriverBox->currentData().toString() != u"QSQLITE";
    for (QWidget *w : {static_cast<QWidget *>(HostEdit), static_cast<QWidget *>(PortEdit),
                       static_cast<QWidget *>(UserEdit), static_cast<QWidget *>(LoginBox)})
        w->setEnabled(server);
    BrowseBtn->setEnabled(!server);
}

void TAliasEditDlg::browse()
{
    const QString file = UserInterface().OpenFileName(
        QStringLiteral("Файл базы данных"), QStringLiteral("Базы данных SQLite (*.sqlite *.db *.sqlite3)|*.sqlite;*.db;*.sqlite3|Все файлы (*.*)|*.*"),
        QFileInfo(ExpandFileName(DatabaseEdit->text())).path());
    if (!file.isEmpty())
        DatabaseEdit->setText(file);
}

// ---------------------------------------------------------------- TAliasesDlg

namespace {

const struct {
    const char *title;
    int width;   // characters
} aliasColumns[] = {{"Название", 18}, {"Тип", 13}, {"Описание", 34}, {"Расположение", 30}};

} // namespace

TAliasesDlg::TAliasesDlg(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AliasesDlg"));
    setWindowTitle(QStringLiteral("Псевдонимы баз данных"));
    setModal(true);
    AliasGrid = new QTableWidget(this);
    AliasGrid->setObjectName(QStringLiteral("AliasGrid"));
    AliasGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    AliasGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    AliasGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    AliasGrid->verticalHeader()->hide();
    AliasGrid->horizontalHeader()->setStretchLastSection(true);
    AliasGrid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    AliasGrid->setWordWrap(false);
    AliasGrid->setColumnCount(int(std::size(aliasColumns)));
    const int charWidth = AliasGrid->fontMetrics().averageCharWidth();
    int width = 0;
    for (int c = 0; c < AliasGrid->columnCount(); ++c) {
        AliasGrid->setHorizontalHeaderItem(c, new QTableWidgetItem(QString::fromUtf8(aliasColumns[c].title)));
        const int w = aliasColumns[c].width * charWidth + 8;
        AliasGrid->setColumnWidth(c, w);
        width += w;
    }
    AliasGrid->setMinimumSize(width + 4, 12 * AliasGrid->verticalHeader()->defaultSectionSize());

    auto button = [this](const QString &caption, const char *name) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    AddBtn = button(QStringLiteral("&Добавить..."), "AddBtn");
    EditBtn = button(QStringLiteral("&Изменить..."), "EditBtn");
    TestBtn = button(QStringLiteral("&Проверить"), "TestBtn");
    DeleteBtn = button(QStringLiteral("&Удалить"), "DeleteBtn");
    CloseBtn = button(QStringLiteral("Закрыть"), "CloseBtn");
    auto *buttons = new QVBoxLayout;
    for (QPushButton *b : {AddBtn, EditBtn, TestBtn, DeleteBtn})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(CloseBtn);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(AliasGrid, 1);
    layout->addLayout(buttons);

    connect(AddBtn, &QPushButton::clicked, this, Guard(this, &TAliasesDlg::AddBtnClick));
    connect(EditBtn, &QPushButton::clicked, this, Guard(this, &TAliasesDlg::EditBtnClick));
    connect(TestBtn, &QPushButton::clicked, this, Guard(this, &TAliasesDlg::TestBtnClick));
    connect(DeleteBtn, &QPushButton::clicked, this, Guard(this, &TAliasesDlg::DeleteBtnClick));
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(AliasGrid, &QTableWidget::cellDoubleClicked, this, Guard(this, &TAliasesDlg::EditBtnClick));
    connect(AliasGrid, &QTableWidget::currentCellChanged, this, [this] { updateButtons(); });
    fillGrid();
}

bool TAliasesDlg::stored(const QString &name) const
{
    return std::any_of(m_stored.begin(), m_stored.end(),
                       [&](const QString &s) { return s.compare(name, Qt::CaseInsensitive) == 0; });
}

void TAliasesDlg::fillGrid(const QString &current)
{
    m_aliases = Session().Aliases();
    m_stored = QSettings(AliasFileName(), QSettings::IniFormat).childGroups();
    AliasGrid->setRowCount(0);
    int row = 0, currentRow = 0;
    for (const TAlias &a : std::as_const(m_aliases)) {
        AliasGrid->insertRow(row);
        const QString place = a.Driver == u"QSQLITE" ? ExpandFileName(a.Database)
                              : a.Host.isEmpty()     ? a.Database
                                                     : a.Database + QStringLiteral(" на ") + a.Host;
        const QStringList cells{a.Name, a.Type, a.Description, place};
        for (int c = 0; c < cells.size(); ++c)
            AliasGrid->setItem(row, c, new QTableWidgetItem(cells[c]));
        if (a.Name.compare(current, Qt::CaseInsensitive) == 0)
            currentRow = row;
        ++row;
    }
    FitColumnsToTexts(*AliasGrid);
    if (row > 0)
        AliasGrid->setCurrentCell(currentRow, 0);
    updateButtons();
}

void TAliasesDlg::updateButtons()
{
    TAlias a;
    const bool any = currentAlias(a);
    EditBtn->setEnabled(any);
    TestBtn->setEnabled(any);
    // only what aliases.ini holds can be deleted from it
    DeleteBtn->setEnabled(any && stored(a.Name));
}

bool TAliasesDlg::currentAlias(TAlias &alias) const
{
    const int row = AliasGrid->currentRow();
    if (row < 0 || row >= m_aliases.size())
        return false;
    alias = m_aliases[row];
    return true;
}

void TAliasesDlg::AddBtnClick()
{
    TAliasEditDlg edit(this);
    if (edit.exec() != QDialog::Accepted)
        return;
    const TAlias a = edit.Alias();
    SaveAlias(a);
    m_lastSaved = a.Name;
    fillGrid(a.Name);
}

void TAliasesDlg::EditBtnClick()
{
    TAlias old;
    if (!currentAlias(old))
        return;
    TAliasEditDlg edit(this);
    edit.SetAlias(old);
    if (edit.exec() != QDialog::Accepted)
        return;
    const TAlias a = edit.Alias();
    const bool wasStored = stored(old.Name);
    SaveAlias(a, wasStored ? old.Name : QString());
    // a session alias saved is a stored one from now on
    if (!wasStored)
        Session().RemoveSessionAlias(old.Name);
    m_lastSaved = a.Name;
    fillGrid(a.Name);
}

void TAliasesDlg::TestBtnClick()
{
    TAlias a;
    if (!currentAlias(a))
        return;
    try {
        TestConnection(a);
    } catch (const EAbort &) {
        return;   // the login was cancelled: nothing was tried
    } catch (const Exception &e) {
        UserInterface().MessageDlg(Format(QStringLiteral("Нет соединения с базой данных %s:\n%s"), {a.Name, e.Message()}),
                                   QString(), TUserInterface::mtError, {TUserInterface::mbOK});
        return;
    }
    UserInterface().MessageDlg(Format(QStringLiteral("Соединение с базой данных %s установлено"), {a.Name}), QString(),
                               TUserInterface::mtInformation, {TUserInterface::mbOK});
}

void TAliasesDlg::DeleteBtnClick()
{
    TAlias a;
    if (!currentAlias(a) || !stored(a.Name))
        return;
    if (UserInterface().MessageDlg(Format(QStringLiteral("Удалить псевдоним %s ?"), {a.Name}), QString(),
                                   TUserInterface::mtConfirmation, {TUserInterface::mbYes, TUserInterface::mbNo})
        != TUserInterface::mbYes)
        return;
    RemoveAlias(a.Name);
    fillGrid();
}
