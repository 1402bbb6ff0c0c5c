#include "QueryBuildForm.h"

#include "GridCommands.h"
#include "GridConditions.h"
#include "GridHooks.h"
#include "SearchDBGrid.h"

#include "common/FormatSettings.h"
#include "common/Settings.h"
#include "common/TextFile.h"
#include "common/UserInterface.h"
#include "data/Query.h"
#include "uisupport/Guard.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QPushButton *button(QWidget *parent, const QString &text, const char *name)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

QListWidget *list(QWidget *parent, const char *name)
{
    auto *l = new QListWidget(parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

bool isListOperator(int op)
{
    return op >= 0 && BuilderOperators()[op].operand == TBuilderOperator::ValueList;
}

bool takesOneValue(int op)
{
    return op >= 0 && BuilderOperators()[op].operand == TBuilderOperator::OneValue;
}

bool quoted(char kind)
{
    return kind == 'S' || kind == 'D';
}

// A literal's text: its quotes gone, a doubled quote inside one again.
QString unquote(const QString &value)
{
    return value.size() > 1 && value.startsWith(u'\'') && value.endsWith(u'\'')
               ? value.mid(1, value.size() - 2).replace(QStringLiteral("''"), QStringLiteral("'"))
               : value;
}

bool askSure()
{
    return UserInterface().MessageDlg(QStringLiteral("Вы уверены ?"), QString(), TUserInterface::mtWarning,
                                      {TUserInterface::mbYes, TUserInterface::mbNo, TUserInterface::mbCancel})
           == TUserInterface::mbYes;
}

// The hook handler: the window for a person, the rows of the grid for
// table states.
void runQueryBuilder(TSearchDBGrid &grid, bool interactive, const QString &orderText, const QString &baseSql)
{
    TQuery *query = grid.Query();
    if (!query)
        return;
    if (!interactive) {
        RunQueryBuilder(*query, grid.Conditions(), orderText, baseSql);
        return;
    }
    // no second run while this one's window is open
    struct THookParked {
        decltype(QueryBuilderHook) saved = std::exchange(QueryBuilderHook, {});
        ~THookParked() { QueryBuilderHook = std::move(saved); }
    } parked;
    TQueryBuildForm form(&grid, *query, grid.Conditions().BuilderRows);
    if (form.exec() != QDialog::Accepted)
        return;
    QStringList rows = form.Rows();
    struct TRepaint {
        TSearchDBGrid &grid;
        ~TRepaint() { grid.RepaintTitles(); }
    } repaint{grid};
    ApplyQueryBuilder(*query, grid.Conditions(), rows, form.OrderText(), baseSql, true);
}

} // namespace

void InstallQueryBuilder()
{
    QueryBuilderHook = runQueryBuilder;
}

// ---------------------------------------------------------------- builder

TQueryBuildForm::TQueryBuildForm(QWidget *parent, TQuery &query, const QStringList &rows)
    : QDialog(parent), m_query(query), m_fields(BuilderFieldsOf(query))
{
    setObjectName(QStringLiteral("QueryBuildForm"));
    setWindowTitle(QStringLiteral("Конструктор запроса"));
    auto *layout = new QVBoxLayout(this);
    Pages = new QTabWidget(this);
    Pages->setObjectName(QStringLiteral("Pages"));
    layout->addWidget(Pages, 1);

    // conditions: fields and operators on the left, the rows on the right
    auto *conditions = new QWidget(Pages);
    auto *grid = new QGridLayout(conditions);
    auto *fieldsLabel = new QLabel(QStringLiteral("&Список полей"), conditions);
    FieldList = list(conditions, "FieldList");
    fieldsLabel->setBuddy(FieldList);
    AddFieldBtn = button(conditions, QStringLiteral("+"), "AddFieldBtn");
    auto *opersLabel = new QLabel(QStringLiteral("&Операции"), conditions);
    OperList = list(conditions, "OperList");
    opersLabel->setBuddy(OperList);
    AddOperBtn = button(conditions, QStringLiteral("<"), "AddOperBtn");
    FieldValueBtn = button(conditions, QStringLiteral(">"), "FieldValueBtn");
    CondList = list(conditions, "CondList");
    ValueLabel = new QLabel(QStringLiteral("&Значение "), conditions);
    ValueEdit = new QLineEdit(conditions);
    ValueEdit->setObjectName(QStringLiteral("ValueEdit"));
    ValueLabel->setBuddy(ValueEdit);
    OrBtn = button(conditions, QStringLiteral("ИЛИ"), "OrBtn");
    ListBtn = button(conditions, QStringLiteral("Список значений"), "ListBtn");
    DeleteBtn = button(conditions, QStringLiteral("У&далить"), "DeleteBtn");
    ClearBtn = button(conditions, QStringLiteral("&Очистить"), "ClearBtn");
    // fields over operators on the left, the rows on the right, the
    // buttons between them beside the list they take from
    grid->addWidget(fieldsLabel, 0, 0);
    grid->addWidget(FieldList, 1, 0);
    grid->addWidget(opersLabel, 2, 0);
    grid->addWidget(OperList, 3, 0);
    auto *fieldButtons = new QVBoxLayout;
    fieldButtons->addWidget(AddFieldBtn);
    fieldButtons->addWidget(FieldValueBtn);
    fieldButtons->addStretch(1);
    grid->addLayout(fieldButtons, 1, 1);
    auto *operButtons = new QVBoxLayout;
    operButtons->addWidget(AddOperBtn);
    operButtons->addStretch(1);
    grid->addLayout(operButtons, 3, 1);
    grid->addWidget(CondList, 1, 2, 3, 1);
    auto *valueRow = new QHBoxLayout;
    valueRow->addWidget(ValueLabel);
    valueRow->addWidget(ValueEdit, 1);
    grid->addLayout(valueRow, 4, 2);
    auto *rowButtons = new QHBoxLayout;
    rowButtons->addWidget(OrBtn);
    rowButtons->addWidget(ListBtn);
    rowButtons->addWidget(DeleteBtn);
    rowButtons->addWidget(ClearBtn);
    grid->addLayout(rowButtons, 5, 2);
    grid->setRowStretch(1, 1);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(0, 2);
    grid->setColumnStretch(2, 3);
    Pages->addTab(conditions, QStringLiteral("Условия запроса"));

    // sort order
    auto *sorting = new QWidget(Pages);
    auto *sortGrid = new QGridLayout(sorting);
    SortFieldList = list(sorting, "SortFieldList");
    SortAddBtn = button(sorting, QStringLiteral("+"), "SortAddBtn");
    SortList = list(sorting, "SortList");
    auto *orderLabel = new QLabel(QStringLiteral("П&орядок"), sorting);
    OrderBox = new QComboBox(sorting);
    OrderBox->setObjectName(QStringLiteral("OrderBox"));
    OrderBox->addItems({SortAscending, SortDescending});
    orderLabel->setBuddy(OrderBox);
    SortDeleteBtn = button(sorting, QStringLiteral("У&далить"), "SortDeleteBtn");
    SortClearBtn = button(sorting, QStringLiteral("&Очистить"), "SortClearBtn");
    sortGrid->addWidget(SortFieldList, 0, 0, 3, 1);
    sortGrid->addWidget(SortAddBtn, 0, 1);
    sortGrid->addWidget(SortList, 0, 2, 3, 1);
    auto *orderRow = new QHBoxLayout;
    orderRow->addWidget(orderLabel);
    orderRow->addWidget(OrderBox, 1);
    orderRow->addWidget(SortDeleteBtn);
    orderRow->addWidget(SortClearBtn);
    sortGrid->addLayout(orderRow, 3, 2);
    sortGrid->setColumnStretch(0, 2);
    sortGrid->setColumnStretch(2, 3);
    Pages->addTab(sorting, QStringLiteral("Порядок сортировки"));

    auto *buttons = new QHBoxLayout;
    SaveBtn = button(this, QStringLiteral("Со&хранить"), "SaveBtn");
    RunBtn = button(this, QStringLiteral("&Выполнить"), "RunBtn");
    CancelBtn = button(this, QStringLiteral("Отмена"), "CancelBtn");
    buttons->addWidget(SaveBtn);
    buttons->addStretch(1);
    buttons->addWidget(RunBtn);
    buttons->addWidget(CancelBtn);
    layout->addLayout(buttons);

    const QStringList labels = m_fields.labels();
    FieldList->addItems(labels);
    SortFieldList->addItems(labels);
    for (const TBuilderOperator &op : BuilderOperators())
        OperList->addItem(op.display);
    CondList->addItems(rows);
    SortList->addItems(SortRowsFromSql(query.SQLText(), m_fields));
    if (FieldList->count() > 0)
        FieldList->setCurrentRow(0);
    if (SortFieldList->count() > 0)
        SortFieldList->setCurrentRow(0);
    if (OperList->count() > 0)
        OperList->setCurrentRow(0);
    if (readOnly())
        CondList->setEnabled(false);
    else if (CondList->count() > 0)
        CondList->setCurrentRow(0);

    const auto click = [this](QPushButton *b, void (TQueryBuildForm::*action)()) {
        connect(b, &QPushButton::clicked, this, [this, action] {
            Guarded(this, [&] { (this->*action)(); });
            updateEnabling();
        });
    };
    click(AddFieldBtn, &TQueryBuildForm::AddFieldClick);
    click(AddOperBtn, &TQueryBuildForm::AddOperClick);
    click(FieldValueBtn, &TQueryBuildForm::FieldValueClick);
    click(OrBtn, &TQueryBuildForm::OrClick);
    click(ListBtn, &TQueryBuildForm::ValuesListClick);
    click(DeleteBtn, &TQueryBuildForm::DeleteClick);
    click(ClearBtn, &TQueryBuildForm::ClearClick);
    click(SortAddBtn, &TQueryBuildForm::SortAddClick);
    click(SaveBtn, &TQueryBuildForm::SaveClick);
    connect(SortDeleteBtn, &QPushButton::clicked, this, [this] {
        const int row = SortList->currentRow();
        if (row >= 0) {
            delete SortList->takeItem(row);
            SortList->setCurrentRow(std::min(row, SortList->count() - 1));
        }
        updateEnabling();
    });
    connect(SortClearBtn, &QPushButton::clicked, this, [this] {
        if (askSure())
            SortList->clear();
        updateEnabling();
    });
    connect(ValueEdit, &QLineEdit::textEdited, this, [this](const QString &text) { ValueEdited(text); });
    connect(CondList, &QListWidget::currentRowChanged, this, [this] {
        rowSelected();
        updateEnabling();
    });
    connect(SortList, &QListWidget::currentRowChanged, this, [this] { updateEnabling(); });
    connect(OrderBox, &QComboBox::activated, this, [this](int index) { OrderChosen(index); });
    connect(RunBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    rowSelected();
    updateEnabling();
    resize(720, 460);
}

TQueryBuildForm::~TQueryBuildForm() = default;

QStringList TQueryBuildForm::Rows() const
{
    QStringList rows;
    for (int i = 0; i < CondList->count(); ++i)
        rows << CondList->item(i)->text();
    return rows;
}

QStringList TQueryBuildForm::SortRows() const
{
    QStringList rows;
    for (int i = 0; i < SortList->count(); ++i)
        rows << SortList->item(i)->text();
    return rows;
}

QString TQueryBuildForm::OrderText() const
{
    return OrderTextFromSortRows(SortRows(), m_fields);
}

bool TQueryBuildForm::readOnly() const
{
    return CondList->count() > 0 && CondList->item(0)->text().startsWith(u'#');
}

TQueryBuildForm::TRowParts TQueryBuildForm::partsOf(const QString &row) const
{
    TRowParts parts;
    parts.op = FindBuilderOperator(row);
    if (parts.op < 0) {
        parts.label = row;
        return parts;
    }
    const QString &display = BuilderOperators()[parts.op].display;
    const qsizetype at = row.indexOf(display);
    parts.label = row.left(at);
    parts.value = row.mid(at + display.size());
    return parts;
}

QString TQueryBuildForm::selectedRow() const
{
    const QListWidgetItem *item = CondList->currentItem();
    return item ? item->text() : QString();
}

void TQueryBuildForm::setSelectedRow(const QString &row)
{
    if (QListWidgetItem *item = CondList->currentItem())
        item->setText(row);
}

void TQueryBuildForm::rowSelected()
{
    const QString row = selectedRow();
    const TRowParts parts = partsOf(row);
    QString value = parts.value;
    if (quoted(m_fields.KindOfLabel(parts.label)) && value.size() > 1 && !m_fields.IsLabel(value)
        && !isListOperator(parts.op))
        value = unquote(value);
    ValueEdit->setText(value);
}

void TQueryBuildForm::updateEnabling()
{
    const bool locked = readOnly();
    const bool rowChosen = CondList->currentItem() != nullptr && !locked;
    const TRowParts parts = partsOf(selectedRow());
    const bool separator = rowChosen && IsBuilderSeparator(selectedRow());
    const bool oneValue = rowChosen && !separator && takesOneValue(parts.op);
    ValueEdit->setEnabled(oneValue);
    ValueLabel->setEnabled(oneValue);
    ListBtn->setEnabled(rowChosen && !separator && isListOperator(parts.op));
    DeleteBtn->setEnabled(rowChosen);
    ClearBtn->setEnabled(CondList->count() > 0 && !locked);
    for (QPushButton *b : {FieldValueBtn, AddOperBtn, OrBtn, AddFieldBtn})
        b->setEnabled(!locked);
    SortDeleteBtn->setEnabled(SortList->currentItem() != nullptr);
    SortClearBtn->setEnabled(SortList->count() > 0);
}

void TQueryBuildForm::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        updateEnabling();
}

void TQueryBuildForm::AddFieldClick()
{
    const QListWidgetItem *field = FieldList->currentItem();
    if (!field || m_fields.KindOfLabel(field->text()) == 'U')
        return;
    CondList->addItem(field->text());
    CondList->setCurrentRow(CondList->count() - 1);
}

void TQueryBuildForm::AddOperClick()
{
    const QString row = selectedRow();
    const int op = OperList->currentRow();
    if (row.isEmpty() || op < 0 || IsBuilderSeparator(row) || partsOf(row).op >= 0)
        return;
    // texts have no order worth comparing with > and <
    if (m_fields.KindOfLabel(row) == 'S' && op >= 1 && op <= 4)
        return;
    setSelectedRow(row + BuilderOperators()[op].display);
    rowSelected();
}

void TQueryBuildForm::ValueEdited(const QString &text)
{
    const QString row = selectedRow();
    const TRowParts parts = partsOf(row);
    if (row.isEmpty() || IsBuilderSeparator(row) || parts.op < 0)
        return;
    const char kind = m_fields.KindOfLabel(parts.label);
    QString value = text;
    const bool literal = !isListOperator(parts.op) && !value.startsWith(u'@') && !m_fields.IsLabel(value);
    if (literal && kind == 'N') {
        const QChar decimal = FormatSettings().DecimalSeparator;
        QString digits;
        for (QChar c : value)
            if (c == u'-' || c.isDigit() || c == decimal)
                digits += c;
        value = digits;
    } else if (literal && quoted(kind)) {
        value = SqlTextLiteral(value);
    }
    setSelectedRow(parts.label + BuilderOperators()[parts.op].display + value);
}

void TQueryBuildForm::FieldValueClick()
{
    const QListWidgetItem *field = FieldList->currentItem();
    const QString row = selectedRow();
    const TRowParts parts = partsOf(row);
    if (!field || row.isEmpty() || IsBuilderSeparator(row) || !takesOneValue(parts.op) || !parts.value.isEmpty())
        return;
    if (m_fields.KindOfLabel(field->text()) != m_fields.KindOfLabel(parts.label))
        return;
    setSelectedRow(row + field->text());
    CondList->setCurrentRow(CondList->count() - 1);
    rowSelected();
}

void TQueryBuildForm::OrClick()
{
    // a group needs a row before it to close
    if (CondList->count() == 0 || IsBuilderSeparator(CondList->item(CondList->count() - 1)->text()))
        return;
    CondList->addItem(BuilderSeparator);
    CondList->setCurrentRow(0);
}

void TQueryBuildForm::ValuesListClick()
{
    const QString row = selectedRow();
    const TRowParts parts = partsOf(row);
    if (!isListOperator(parts.op))
        return;
    const bool quote = quoted(m_fields.KindOfLabel(parts.label));
    QString inner = parts.value;
    inner.remove(u'(').remove(u')');
    QStringList items;
    for (const QString &item : inner.split(u',', Qt::SkipEmptyParts))
        items << (quote ? unquote(item.trimmed()) : item.trimmed());
    TValuesListForm form(this, items);
    if (form.exec() != QDialog::Accepted)
        return;
    QStringList values;
    for (const QString &v : form.Values())
        values << (quote ? SqlTextLiteral(v) : v);
    if (values.isEmpty())
        return;
    setSelectedRow(parts.label + BuilderOperators()[parts.op].display + u'(' + values.join(u',') + u')');
}

void TQueryBuildForm::DeleteClick()
{
    const int row = CondList->currentRow();
    if (row < 0)
        return;
    delete CondList->takeItem(row);
    CondList->setCurrentRow(std::min(row, CondList->count() - 1));
    rowSelected();
}

void TQueryBuildForm::ClearClick()
{
    if (askSure())
        CondList->clear();
    rowSelected();
}

void TQueryBuildForm::SortAddClick()
{
    const QListWidgetItem *field = SortFieldList->currentItem();
    if (!field || m_fields.KindOfLabel(field->text()) == 'U')
        return;
    // in the direction the box shows
    SortList->addItem(field->text() + QStringLiteral(", ") + OrderBox->currentText());
    SortList->setCurrentRow(SortList->count() - 1);
}

void TQueryBuildForm::OrderChosen(int index)
{
    QListWidgetItem *item = SortList->currentItem();
    if (!item || index < 0)
        return;
    const QString row = item->text();
    item->setText(row.left(row.indexOf(u',') + 1) + OrderBox->itemText(index));
}

void TQueryBuildForm::SaveClick()
{
    TGridMemoForm form(this, m_query.SQL());
    form.ShowPlanButton(m_query.DatabaseName());
    form.exec();
}

// ---------------------------------------------------------------- values

TValuesListForm::TValuesListForm(QWidget *parent, const QStringList &values) : QDialog(parent)
{
    setObjectName(QStringLiteral("ValuesListForm"));
    setWindowTitle(QStringLiteral("Редактирование списка значений"));
    auto *layout = new QVBoxLayout(this);
    ValuesMemo = new QPlainTextEdit(this);
    ValuesMemo->setObjectName(QStringLiteral("ValuesMemo"));
    ValuesMemo->setPlainText(values.join(u'\n'));
    layout->addWidget(ValuesMemo, 1);
    auto *buttons = new QHBoxLayout;
    LoadBtn = button(this, QStringLiteral("&Загрузить"), "LoadBtn");
    SaveBtn = button(this, QStringLiteral("&Сохранить"), "SaveBtn");
    OKBtn = button(this, QStringLiteral("&OK"), "OKBtn");
    CancelBtn = button(this, QStringLiteral("Отмена"), "CancelBtn");
    buttons->addWidget(LoadBtn);
    buttons->addWidget(SaveBtn);
    buttons->addStretch(1);
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    layout->addLayout(buttons);
    const auto fileDialog = [this](const QString &title, QFileDialog::AcceptMode mode) {
        QFileDialog box(this, title, ProgramDir());
        box.setObjectName(QStringLiteral("FileDialog"));
        box.setAcceptMode(mode);
        box.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        box.setDefaultSuffix(QStringLiteral("FMT"));
        return box.exec() == QDialog::Accepted && !box.selectedFiles().isEmpty() ? box.selectedFiles().first()
                                                                                 : QString();
    };
    connect(LoadBtn, &QPushButton::clicked, this, [this, fileDialog] {
        Guarded(this, [&] {
            const QString file = fileDialog(QStringLiteral("Выберите список значений"), QFileDialog::AcceptOpen);
            if (!file.isEmpty())
                ValuesMemo->setPlainText(ReadTextLines(file).join(u'\n'));
        });
    });
    connect(SaveBtn, &QPushButton::clicked, this, [this, fileDialog] {
        Guarded(this, [&] {
            const QString file = fileDialog(QStringLiteral("Выберите файл для записи"), QFileDialog::AcceptSave);
            if (!file.isEmpty())
                WriteTextLines(file, Values());
        });
    });
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    resize(360, 300);
}

QStringList TValuesListForm::Values() const
{
    QStringList values;
    for (const QString &line : ValuesMemo->toPlainText().split(u'\n'))
        if (!line.trimmed().isEmpty())
            values << line.trimmed();
    return values;
}
