#include "GridCommands.h"

#include "GridExportCommands.h"
#include "GridHooks.h"
#include "SearchDBGrid.h"

#include "common/Format.h"
#include "common/Settings.h"
#include "common/TextFile.h"
#include "common/UserInterface.h"
#include "data/DataSet.h"
#include "data/Query.h"
#include "uisupport/DefaultPrinter.h"
#include "uisupport/Guard.h"
#include "uisupport/SqlEdit.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

std::function<void(QWidget *, const QString &, const QString &)> ShowQueryPlanHook;

namespace {

struct TMenuItem {
    int tag;
    const char *caption;
};

// The items in order; 0 is a separator. The key stands after the blanks.
const TMenuItem MenuItems[] = {
    {1, "Список отчетов...                                      Ctrl+F7"},
    {16, "Отчет по умолчанию...                              Alt+F7"},
    {17, "Эксперт отчетов..."},
    {0, "-"},
    {2, "Восстановить состояние...                       F3"},
    {3, "Сохранить состояние...                             Shift+F3"},
    {4, "Очистить состояние                                  Ctrl+F3"},
    {5, "Конструктор запросов...                           Ctrl+F9"},
    {6, "Выбрать/Убрать помеченные записи     Alt-F9"},
    {7, "Блокировка поиска (вкл./выкл.)              F9"},
    {19, "Найти...                                                   Ctrl+F"},
    {20, "Найти далее                                           Ctrl+L"},
    {0, "-"},
    {21, "Изменить поле                                        F2"},
    {22, "Новая запись                                         Ctrl+Ins"},
    {23, "Удалить запись                                      Ctrl+Del"},
    {24, "Текст поля                                             Ctrl+M"},
    {0, "-"},
    {8, "Выписка                                                      F8"},
    {9, "Сумма по текущему полю                         Ctrl+F8"},
    {18, "Автоповтор..."},
    {0, "-"},
    {25, "Экспорт в CSV..."},
    {26, "Экспорт в Excel..."},
    {27, "Импорт из CSV..."},
    {0, "-"},
    {10, "Очистить пометку                                      /"},
    {11, "Инвертировать пометку                            *"},
    {12, "Пометить по текущей колонке                 +"},
    {13, "Пометить по ключевому полю                  Ins"},
    {14, "Заморозить колонку                                 F7"},
    {15, "Разморозить колонку                               Shift+F7"},
};

void pressKey(TSearchDBGrid &grid, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(grid.View(), &press);
}

// Whether the item of a tag is shown: the commands of other features only
// while their hook is filled, the import only for a grid of one table it
// may write to.
bool itemShown(int tag, TSearchDBGrid *grid)
{
    switch (tag) {
    case 1: return bool(ReportListHook);
    case 16: case 17: return bool(ReportHook);
    case 2: return bool(RestoreStateHook);
    case 3: return bool(SaveStateHook);
    case 4: return bool(ClearStateHook);
    case 5: return bool(QueryBuilderHook);
    case 8: return bool(StatementHook);
    case 9: return bool(SumHook);
    case 27: return grid && CanImportCsv(*grid);
    default: return true;
    }
}

std::unique_ptr<TDBGridPopupMenu> &sharedMenu()
{
    static std::unique_ptr<TDBGridPopupMenu> menu;
    return menu;
}

// Blocks a dataset's controls and brings the current row back, whatever
// happens in between.
class TPositionKept {
public:
    explicit TPositionKept(TDataSet &ds) : m_ds(ds), m_row(ds.CurrentIndex())
    {
        m_ds.DisableControls();
    }
    ~TPositionKept()
    {
        try {
            if (m_ds.Active() && m_row >= 0)
                m_ds.MoveTo(m_row);
        } catch (const Exception &) {
        }
        m_ds.EnableControls();
    }

private:
    TDataSet &m_ds;
    int m_row;
};

void autoRepeatPrompt(TSearchDBGrid &grid)
{
    QString value = QString::number(grid.RepeatInterval() / 1000);
    if (!UserInterface().InputQuery(QStringLiteral("Автоповтор"), QStringLiteral("Введите интервал(сек.)"), value))
        return;
    bool ok = false;
    const int seconds = value.trimmed().toInt(&ok);
    grid.SetRepeatInterval(ok && seconds > 0 ? seconds * 1000 : 0);
}

void showStatement(TSearchDBGrid &grid)
{
    TGridMemoForm form(&grid, GridStatementLines(grid));
    form.exec();
}

void showSum(TSearchDBGrid &grid)
{
    const QString text = GridColumnSum(grid);
    if (!text.isEmpty())
        UserInterface().MessageDlg(text, QString(), TUserInterface::mtInformation, {TUserInterface::mbOK});
}

void showMemo(TSearchDBGrid &grid)
{
    const TField *field = grid.SelectedField();
    if (!field || field->DataType() != ftMemo)
        return;
    if (field->IsNull()) {
        UserInterface().MessageDlg(Format(QStringLiteral("Поле «%s» пустое"), {field->DisplayName()}), QString(),
                                   TUserInterface::mtInformation, {TUserInterface::mbOK});
        return;
    }
    TGridMemoForm form(&grid, field->AsString().split(u'\n'));
    form.exec();
}

} // namespace

// ---------------------------------------------------------------- menu

TDBGridPopupMenu::TDBGridPopupMenu()
{
    setObjectName(QStringLiteral("Kt_Popup"));
    for (const TMenuItem &item : MenuItems) {
        if (item.tag == 0) {
            addSeparator();
            continue;
        }
        // The blanks before the key become a tab, so that the keys line up
        // in a column in any font.
        const QString caption = QString::fromUtf8(item.caption);
        QString shown = caption;
        const qsizetype gap = caption.indexOf(QStringLiteral("  "));
        if (gap > 0)
            shown = caption.left(gap) + u'\t' + caption.mid(gap).trimmed();
        QAction *action = addAction(shown);
        action->setData(item.tag);
        action->setProperty("caption", caption);
        connect(action, &QAction::triggered, this, [this, tag = item.tag] { itemClick(tag); });
    }
}

QString TDBGridPopupMenu::Caption(int tag)
{
    for (const TMenuItem &item : MenuItems)
        if (item.tag == tag && tag != 0)
            return QString::fromUtf8(item.caption);
    return QString();
}

QAction *TDBGridPopupMenu::Item(int tag) const
{
    for (QAction *a : actions())
        if (!a->isSeparator() && a->data().toInt() == tag)
            return a;
    return nullptr;
}

void HideExtraSeparators(QMenu &menu)
{
    const QList<QAction *> items = menu.actions();
    for (QAction *a : items) {
        if (a->isSeparator())
            a->setVisible(true);
        else if (a->menu())
            HideExtraSeparators(*a->menu());
    }
    // a separator stays only between two visible items, once
    QAction *pending = nullptr;
    bool itemSeen = false;
    for (QAction *a : items) {
        if (a->isSeparator()) {
            a->setVisible(false);
            if (itemSeen && !pending)
                pending = a;
        } else if (a->isVisible()) {
            if (pending)
                pending->setVisible(true);
            pending = nullptr;
            itemSeen = true;
        }
    }
}

void TDBGridPopupMenu::PrepareItems()
{
    for (QAction *a : actions())
        if (!a->isSeparator())
            a->setVisible(itemShown(a->data().toInt(), m_grid));
    HideExtraSeparators(*this);
}

void TDBGridPopupMenu::PopupFor(TSearchDBGrid &grid, const QPoint &at)
{
    m_grid = &grid;
    PrepareItems();
    popup(at);
}

void TDBGridPopupMenu::itemClick(int tag)
{
    TSearchDBGrid *grid = m_grid;
    if (!grid)
        return;
    Guarded(grid, [&] {
        switch (tag) {
        case 1: CallHook(ReportListHook, *grid, true); break;
        case 16: CallHook(ReportHook, *grid, false); break;
        case 17: CallHook(ReportHook, *grid, true); break;
        case 2: CallHook(RestoreStateHook, *grid); break;
        case 3: CallHook(SaveStateHook, *grid); break;
        case 4: CallHook(ClearStateHook, *grid, true, true); break;
        case 5: CallHook(QueryBuilderHook, *grid, true, QString(), QString()); break;
        case 6: grid->ToggleMarkedFilter(); break;
        case 7: grid->ToggleSearchLock(); break;
        case 8: CallHook(StatementHook, *grid); break;
        case 9: CallHook(SumHook, *grid); break;
        case 18: autoRepeatPrompt(*grid); break;
        case 25: ExportGridCsv(*grid); break;
        case 26: ExportGridXlsx(*grid); break;
        case 27: ImportGridCsv(*grid); break;
        case 10: grid->ClearMarks(); break;
        case 11: grid->InvertMarks(); break;
        case 12:
            if (const TField *f = grid->SelectedField())
                grid->ToggleMark(f->FieldName());
            break;
        case 13: grid->KeyDown(Qt::Key_Insert, Qt::NoModifier); break;
        case 14: grid->SetFixedCols(grid->FixedCols() + 1); break;
        case 15: grid->SetFixedCols(grid->FixedCols() - 1); break;
        // the keys' own commands, as if typed into the grid
        case 19: pressKey(*grid, Qt::Key_F, Qt::ControlModifier); break;
        case 20: pressKey(*grid, Qt::Key_L, Qt::ControlModifier); break;
        case 21: pressKey(*grid, Qt::Key_F2, Qt::NoModifier); break;
        case 22: pressKey(*grid, Qt::Key_Insert, Qt::ControlModifier); break;
        case 23: pressKey(*grid, Qt::Key_Delete, Qt::ControlModifier); break;
        case 24: pressKey(*grid, Qt::Key_M, Qt::ControlModifier); break;
        default: break;
        }
    });
}

void InstallGridCommands()
{
    if (!sharedMenu()) {
        sharedMenu() = std::make_unique<TDBGridPopupMenu>();
        // the menu goes with the application, before the widgets' world ends
        qAddPostRoutine([] { sharedMenu().reset(); });
    }
    DefaultMenuHook = [] { return sharedMenu().get(); };
    StatementHook = showStatement;
    SumHook = showSum;
    MemoViewHook = showMemo;
}

// ---------------------------------------------------------------- commands

QStringList GridStatementLines(TSearchDBGrid &grid)
{
    const int titleRows = grid.TitleRows();
    const auto *header = static_cast<TUTitleHeader *>(grid.View()->horizontalHeader());
    QList<QStringList> titles;
    int labelWidth = 0;
    for (int c = 0; c < grid.ColumnCount(); ++c) {
        QStringList rows = header->TitleLines(c, grid.View()->columnWidth(c)).mid(0, titleRows);
        for (const QString &r : rows)
            labelWidth = std::max(labelWidth, int(r.size()));
        titles << rows;
    }
    QStringList lines;
    for (int c = 0; c < grid.ColumnCount(); ++c) {
        const QStringList &rows = titles[c];
        // the title rows up to the last one followed by an empty one
        int last = 0;
        while (last + 1 < rows.size() && !rows[last + 1].isEmpty())
            ++last;
        for (int i = 0; i < last; ++i)
            lines << rows[i];
        const TField *field = grid.ColumnField(c);
        lines << rows.value(last).leftJustified(labelWidth + 1, u' ') + (field ? field->DisplayText() : QString());
    }
    return lines;
}

QString GridColumnSum(TSearchDBGrid &grid)
{
    TField *field = grid.SelectedField();
    TDataSet *ds = grid.DataSet();
    if (!field || !ds || !ds->Active())
        return QString();
    const bool numeric = IsNumericType(field->DataType());
    double sum = 0;
    qint64 count = 0;
    // a result read by position is summed by the engine, however large
    auto *query = dynamic_cast<TDBDataSet *>(ds);
    if (!query || !query->EngineTotals(field->FieldName(), numeric, count, sum)) {
        TPositionKept kept(*ds);
        // a long walk shows how far it got and can be stopped with Esc or
        // the dialog's button
        QProgressDialog progress(QStringLiteral("Обработано строк: 0"), QStringLiteral("Отмена"), 0, 0, &grid);
        progress.setWindowTitle(QStringLiteral("Сумма по текущему полю"));
        progress.setMinimumDuration(500);
        progress.setAutoReset(false);
        for (ds->First(); !ds->Eof(); ds->Next()) {
            ++count;
            if (numeric)
                sum += field->AsFloat();
            if (count % 4096 == 0) {
                progress.setLabelText(QStringLiteral("Обработано строк: ") + QString::number(count));
                progress.setValue(0);
                if (progress.wasCanceled())
                    throw Exception(QStringLiteral("Операция прервана пользователем"));
                CheckAbort();
            }
        }
    }
    const QString rows = QStringLiteral("Выбрано строк: ") + QString::number(count);
    if (!numeric)
        return rows;
    return QStringLiteral("Сумма по текущему полю: ") + FloatToStrF(sum, TFloatFormat::ffCurrency, 15, 2) + u'\n'
           + rows;
}

// ---------------------------------------------------------------- text window

TGridMemoForm::TGridMemoForm(QWidget *parent, const QStringList &lines) : QDialog(parent)
{
    setObjectName(QStringLiteral("GridMemoForm"));
    setWindowTitle(QStringLiteral("Выписка"));
    auto *layout = new QVBoxLayout(this);
    Memo = new TSqlEdit(this);   // statements and plans coloured
    Memo->setObjectName(QStringLiteral("Memo"));
    QFont font(QStringLiteral("Liberation Mono"), 10);
    font.setStyleHint(QFont::Monospace);
    Memo->setFont(font);
    Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo->setPlainText(lines.join(u'\n'));
    layout->addWidget(Memo, 1);
    auto *buttons = new QHBoxLayout;
    PrintBtn = new QPushButton(QStringLiteral("Пе&чать"), this);
    PrintBtn->setObjectName(QStringLiteral("PrintBtn"));
    SaveBtn = new QPushButton(QStringLiteral("&Сохранить"), this);
    SaveBtn->setObjectName(QStringLiteral("SaveBtn"));
    PlanBtn = new QPushButton(QStringLiteral("П&лан запроса"), this);
    PlanBtn->setObjectName(QStringLiteral("PlanBtn"));
    PlanBtn->hide();
    CancelBtn = new QPushButton(QStringLiteral("Отмена"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    buttons->addWidget(PrintBtn);
    buttons->addWidget(SaveBtn);
    buttons->addWidget(PlanBtn);
    buttons->addStretch(1);
    buttons->addWidget(CancelBtn);
    layout->addLayout(buttons);
    connect(PrintBtn, &QPushButton::clicked, this, [this] { Guarded(this, [this] { PrintLines(); }); });
    connect(SaveBtn, &QPushButton::clicked, this, [this] { Guarded(this, [this] { SaveLines(); }); });
    connect(PlanBtn, &QPushButton::clicked, this, [this] {
        Guarded(this, [this] {
            if (ShowQueryPlanHook)
                ShowQueryPlanHook(this, m_databaseName, Memo->toPlainText());
        });
    });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    resize(600, 400);
}

void TGridMemoForm::ShowPlanButton(const QString &databaseName)
{
    m_databaseName = databaseName;
    PlanBtn->setVisible(bool(ShowQueryPlanHook));
}

QStringList TGridMemoForm::Lines() const
{
    return Memo->toPlainText().split(u'\n');
}

QString TGridMemoForm::PrintLines()
{
    if (UserInterface().MessageDlg(QStringLiteral("Вы уверены, что хотите печатать ?"), QString(),
                                   TUserInterface::mtWarning,
                                   {TUserInterface::mbYes, TUserInterface::mbNo, TUserInterface::mbCancel})
        != TUserInterface::mbYes)
        return QString();
    return PrintTextLines(Lines(), Memo->font(), QStringLiteral("statement.pdf"));
}

void TGridMemoForm::SaveLines()
{
    QFileDialog box(this, QStringLiteral("Введите имя файла"), ProgramDir(),
                    QStringLiteral("Текстовые файлы(*.TXT);;Все файлы(*.*)"));
    box.setObjectName(QStringLiteral("SaveDialog"));
    box.setAcceptMode(QFileDialog::AcceptSave);
    box.setFileMode(QFileDialog::AnyFile);
    box.setDefaultSuffix(QStringLiteral("txt"));
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
        return;
    WriteTextLines(box.selectedFiles().first(), Lines());
}
