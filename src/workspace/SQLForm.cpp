#include "SQLForm.h"

#include "Application.h"
#include "DbMainForm.h"
#include "DBNavigator.h"
#include "MainCommands.h"

#include "common/Format.h"
#include "common/UserInterface.h"
#include "data/DBError.h"
#include "data/Catalog.h"
#include "data/Database.h"
#include "data/SqlText.h"
#include "grid/GridCommands.h"
#include "grid/GridHooks.h"
#include "grid/SearchDBGrid.h"
#include "uisupport/Guard.h"
#include "uisupport/SqlEdit.h"
#include "uisupport/SqlHighlighter.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QKeyEvent>
#include <QLocale>
#include <QRegularExpression>
#include <QElapsedTimer>
#include <QStatusTipEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTabBar>
#include <QTabWidget>
#include <QTextCursor>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <map>

// ---------------------------------------------------------------- editor

TSQLForm *TSQLForm::Create(TDbMainForm &mainForm, TDatabase *database, const QString &tableName)
{
    auto *form = new TSQLForm(mainForm, database);   // owned by the main window's client area
    if (!tableName.isEmpty()) {
        form->SQLText->setPlainText(QStringLiteral("SELECT * FROM \"") + tableName + u'"');
        form->LiveBox->setChecked(true);
    }
    form->ShowChild();
    if (!tableName.isEmpty())
        form->RunStatement();
    else
        form->SQLText->setFocus();   // typing goes into the statement
    return form;
}

TSQLForm::TSQLForm(TDbMainForm &mainForm, TDatabase *database) : TDbForm(mainForm, database)
{
    setObjectName(QStringLiteral("SQLForm"));
    setWindowTitle(Format(QStringLiteral("SQL Редактор - База данных %s"), {database->DatabaseName()}));
    SQLQuery.SetName(QStringLiteral("SQLQuery"));
    SQLQuery.SetDatabase(database);
    SQLQuery.SetUpdateMode(upWhereKeyOnly);
    // the commit and roll-back buttons of a statement mean what they say
    SQLQuery.SetImplicitTransaction(true);
    SQLSource.SetDataSet(&SQLQuery);

    auto *content = new QWidget(this);
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(2, 2, 2, 2);

    auto *options = new QHBoxLayout;
    LiveBox = new QCheckBox(QStringLiteral("&Редактирование"), content);
    LiveBox->setObjectName(QStringLiteral("LiveBox"));
    SearchBox = new QCheckBox(QStringLiteral("&Поиск"), content);
    SearchBox->setObjectName(QStringLiteral("SearchBox"));
    SearchBox->setChecked(true);
    options->addWidget(LiveBox);
    options->addWidget(SearchBox);
    options->addStretch(1);
    layout->addLayout(options);

    Pages = new QTabWidget(content);
    Pages->setObjectName(QStringLiteral("Pages"));
    Pages->tabBar()->setFocusPolicy(Qt::NoFocus);
    SQLPage = new QWidget(Pages);
    auto *sqlLayout = new QVBoxLayout(SQLPage);
    sqlLayout->setContentsMargins(0, 0, 0, 0);
    SQLText = new TSqlEdit(SQLPage);
    SQLText->setObjectName(QStringLiteral("SQLText"));
    SQLText->setTabChangesFocus(false);
    SQLText->installEventFilter(this);
    SQLText->SetCompletionSource([this](const QString &qualifier) { return completionWords(qualifier); });
    sqlLayout->addWidget(SQLText);
    GridPage = new QWidget(Pages);
    auto *gridLayout = new QVBoxLayout(GridPage);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    SQLGrid = new TSearchDBGrid(GridPage);
    SQLGrid->setObjectName(QStringLiteral("SQLGrid"));
    SQLGrid->SetDataSource(&SQLSource);
    SQLGrid->OnRowsCounted = [this] { showRowsStatus(); };
    // every opening is timed, the statement's and each reopening by a
    // search, a mark filter or the builder
    SQLQuery.BeforeOpen = [this](TDataSet &) {
        m_statementSeconds = -1;
        m_openClock.start();
    };
    SQLQuery.AfterOpen = [this](TDataSet &) {
        m_statementSeconds = double(m_openClock.nsecsElapsed()) / 1e9;
        showRowsStatus();
    };
    gridLayout->addWidget(SQLGrid);
    ResultPage = new QWidget(Pages);
    auto *resultLayout = new QVBoxLayout(ResultPage);
    resultLayout->setContentsMargins(0, 0, 0, 0);
    ResultList = new QTreeWidget(ResultPage);
    ResultList->setObjectName(QStringLiteral("ResultList"));
    ResultList->setRootIsDecorated(false);
    ResultList->setHeaderLabels({QStringLiteral("№"), QStringLiteral("Выражение"), QStringLiteral("Записей"),
                                 QStringLiteral("Время, с")});
    resultLayout->addWidget(ResultList);
    Pages->addTab(SQLPage, QStringLiteral("SQL"));
    Pages->addTab(GridPage, QStringLiteral("Просмотр"));
    Pages->addTab(ResultPage, QStringLiteral("Сценарий"));
    layout->addWidget(Pages, 1);
    SetContent(content);

    connect(SearchBox, &QCheckBox::clicked, this, [this](bool on) { SQLGrid->SetSearchInUse(on); });
    connect(Pages, &QTabWidget::currentChanged, this, [this](int page) {
        if (page == 1)
            SQLGrid->View()->setFocus();
        else if (page == 0)
            SQLText->setFocus();
    });
    resize(640, 420);
}

TSQLForm::~TSQLForm()
{
    SQLGrid->SetDataSource(nullptr);
    // the toolbar's navigators let go of the grid's source with it (also
    // when the main window deletes its children without closing them)
    TMainCommands &commands = MainForm().Commands();
    if (commands.ReadNavigator->DataSource() == &SQLSource || commands.WriteNavigator->DataSource() == &SQLSource)
        commands.BindNavigators(nullptr, nullptr);
}

QStringList TSQLForm::SQLLines() const
{
    const QString text = SQLText->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(u'\n');
}

void TSQLForm::SetSQLLines(const QStringList &lines)
{
    SQLText->setPlainText(lines.join(u'\n'));
}

void TSQLForm::FormActivate()
{
    // the toolbar's navigators follow the editor's grid
    MainForm().UpdateCommands(&SQLSource, &SQLSource);
}

bool TSQLForm::FormCloseQuery()
{
    // an edited record is written before the window goes, or the window stays
    if (SQLQuery.Active() && (SQLQuery.State() == dsEdit || SQLQuery.State() == dsInsert))
        SQLQuery.Post();
    if (SQLText->toPlainText().isEmpty())
        return true;
    return UserInterface().MessageDlg(QStringLiteral("Будет закрыто окно. Прервать?"), QString(),
                                      TUserInterface::mtConfirmation,
                                      {TUserInterface::mbYes, TUserInterface::mbNo, TUserInterface::mbCancel})
           == TUserInterface::mbNo;
}

QString TSQLForm::statementToRun(int &at) const
{
    const QString text = SQLText->toPlainText();
    const QTextCursor cursor = SQLText->textCursor();
    if (cursor.hasSelection()) {
        at = cursor.selectionStart();
        return text.mid(at, cursor.selectionEnd() - at);
    }
    const int caret = cursor.position();
    const QList<TSqlSpan> spans = SqlStatementSpans(text, Database()->Engine().Dialect());
    const TSqlSpan *chosen = spans.isEmpty() ? nullptr : &spans.first();
    for (const TSqlSpan &span : spans)
        if (span.Start <= caret)
            chosen = &span;
    at = chosen ? chosen->Start : 0;
    return chosen ? text.mid(chosen->Start, chosen->End - chosen->Start) : QString();
}

void TSQLForm::pointAtError(const EDBEngineError &e, int at)
{
    int position = -1;
    for (const TDBError &entry : e.Errors())
        if (entry.Position >= 0) {
            position = entry.Position;
            break;
        }
    QTextCursor cursor = SQLText->textCursor();
    cursor.setPosition(std::min(at + std::max(position, 0), int(SQLText->toPlainText().size())));
    if (position >= 0)   // the word the engine stumbled on, marked
        cursor.movePosition(QTextCursor::EndOfWord, QTextCursor::KeepAnchor);
    SQLText->setTextCursor(cursor);
    Pages->setCurrentWidget(SQLPage);
    SQLText->setFocus();
}

void TSQLForm::RunStatement()
{
    int at = 0;
    const QString statement = statementToRun(at);
    if (statement.trimmed().isEmpty()) {
        showStatus(QStringLiteral("Нет текста запроса"));
        SQLText->setFocus();
        return;
    }
    const bool live = LiveBox->isChecked();
    SQLGrid->SetOptions(live ? SQLGrid->Options() | dgEditing : SQLGrid->Options() & ~dgEditing);
    CallHook(ClearStateHook, *SQLGrid, false, false);
    if (SQLQuery.Active() && (SQLQuery.State() == dsEdit || SQLQuery.State() == dsInsert))
        SQLQuery.Post();
    SQLQuery.Close();
    SQLQuery.SetSQLText(statement);
    SQLQuery.SetRequestLive(live);
    m_historyAt = -1;
    try {
        SQLQuery.Open();
        SqlHistory::Add(Database()->DatabaseName(), statement, SQLQuery.AllFetched() ? SQLQuery.FetchedCount() : -1,
                        m_statementSeconds);
    } catch (const EDBEngineError &e) {
        pointAtError(e, at);
        throw;
    } catch (const ENoResultSet &) {
        SqlHistory::Add(Database()->DatabaseName(), statement, SQLQuery.RowsAffected(),
                        double(m_openClock.nsecsElapsed()) / 1e9);
        statementWithoutRows();
        Pages->setCurrentWidget(SQLPage);
        throw EAbort();
    }
    Pages->setCurrentWidget(GridPage);
    SQLGrid->View()->setFocus();
}

void TSQLForm::showRowsStatus()
{
    if (m_statementSeconds < 0 || !SQLQuery.Active())
        return;
    // digits in threes and a decimal comma, as Russian writes numbers
    QString rows = QString::number(SQLQuery.FetchedCount());
    for (qsizetype at = rows.size() - 3; at > 0; at -= 3)
        rows.insert(at, u' ');
    const QString time = QString::number(m_statementSeconds, 'f', 2).replace(u'.', u',') + QStringLiteral(" с");
    showStatus(SQLQuery.AllFetched() ? QStringLiteral("Записей: ") + rows + QStringLiteral(" · ") + time : time);
}

void TSQLForm::showStatus(const QString &text)
{
    QStatusTipEvent tip(text);
    QCoreApplication::sendEvent(window(), &tip);
}

void TSQLForm::RunScript()
{
    const QString text = SQLText->toPlainText();
    const QList<TSqlSpan> spans = SqlStatementSpans(text, Database()->Engine().Dialect());
    if (spans.isEmpty()) {
        showStatus(QStringLiteral("Нет текста запроса"));
        return;
    }
    SQLGrid->SetOptions(SQLGrid->Options() & ~dgEditing);
    CallHook(ClearStateHook, *SQLGrid, false, false);
    if (SQLQuery.Active() && (SQLQuery.State() == dsEdit || SQLQuery.State() == dsInsert))
        SQLQuery.Post();
    ResultList->clear();
    Pages->setCurrentWidget(ResultPage);
    int affected = 0;
    bool changed = false;
    for (qsizetype i = 0; i < spans.size(); ++i) {
        const QString statement = text.mid(spans[i].Start, spans[i].End - spans[i].Start);
        auto *line = new QTreeWidgetItem(ResultList, {QString::number(i + 1),
                                                      statement.simplified().left(100), QString(), QString()});
        line->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        line->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
        SQLQuery.Close();
        SQLQuery.SetSQLText(statement);
        SQLQuery.SetRequestLive(false);
        QElapsedTimer clock;
        clock.start();
        qint64 rows = -1;
        try {
            SQLQuery.Open();
            rows = SQLQuery.RecordCount();
        } catch (const ENoResultSet &) {
            rows = SQLQuery.RowsAffected();
            affected += int(std::max<qint64>(rows, 0));
            changed = true;
        } catch (const EDBEngineError &e) {
            line->setText(2, QStringLiteral("ошибка"));
            ResultList->scrollToItem(line);
            pointAtError(e, spans[i].Start);
            // the error first, then what becomes of the statements before it
            HandleCurrentException(this);
            if (changed && Database()->InTransaction())
                askTransaction(affected);
            throw EAbort();
        }
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        line->setText(2, rows >= 0 ? QString::number(rows) : QString());
        line->setText(3, QString::number(seconds, 'f', 2).replace(u'.', u','));
        SqlHistory::Add(Database()->DatabaseName(), statement, rows, seconds);
        ResultList->scrollToItem(line);
        UserInterface().ProcessMessages();
    }
    for (int c = 0; c < ResultList->columnCount(); ++c)
        ResultList->resizeColumnToContents(c);
    showStatus(QStringLiteral("Выполнено выражений: %1").arg(spans.size()));
    if (changed && Database()->InTransaction())
        askTransaction(affected);
}

QStringList TSQLForm::completionWords(const QString &qualifier)
{
    const QString database = Database()->DatabaseName();
    if (!m_tablesRead) {
        m_tablesRead = true;
        TTableList tables;
        tables.SetDatabaseName(database);
        tables.Open();
        for (; !tables.Eof(); tables.Next())
            m_tables << tables.FieldByName(QStringLiteral("NAME"))->AsString();
    }
    if (qualifier.isEmpty()) {
        QStringList words = m_tables;
        for (const QString &k : TSqlHighlighter::Keywords())
            words << k;
        return words;
    }
    // the table the qualifier names: itself, or the one it is an alias of
    // ("from CUSTOMERS c", "join INVOICES as i")
    QString table;
    for (const QString &t : std::as_const(m_tables))
        if (t.compare(qualifier, Qt::CaseInsensitive) == 0)
            table = t;
    static const QRegularExpression aliases(
        QStringLiteral("\\b(?:from|join|update|into)\\s+(\"[^\"]+\"|[\\w.$]+)(?:\\s+(?:as\\s+)?(\\w+))?"),
        QRegularExpression::CaseInsensitiveOption);
    for (auto it = aliases.globalMatch(SQLText->toPlainText()); table.isEmpty() && it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(2).compare(qualifier, Qt::CaseInsensitive) == 0)
            for (const QString &t : std::as_const(m_tables))
                if (t.compare(m.captured(1).remove(u'"'), Qt::CaseInsensitive) == 0)
                    table = t;
    }
    if (table.isEmpty())
        return {};
    auto known = m_columns.find(table);
    if (known == m_columns.end()) {
        QStringList names;
        TFieldList fields;
        fields.SetDatabaseName(database);
        fields.SetTableName(table);
        fields.Open();
        for (; !fields.Eof(); fields.Next())
            names << fields.FieldByName(QStringLiteral("NAME"))->AsString();
        known = m_columns.insert(table, names);
    }
    return *known;
}

bool TSQLForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == SQLText && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() == Qt::ControlModifier && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
            Guarded(this, [&] { walkHistory(key->key() == Qt::Key_Up ? 1 : -1); });
            return true;
        }
        if (key->modifiers() == Qt::ControlModifier && (key->key() == Qt::Key_F || key->key() == Qt::Key_H)) {
            // the text's own find and replace; the grid keeps its Ctrl+F
            if (!m_find)
                m_find = new TSqlFindDlg(*SQLText, this);
            m_find->Open(key->key() == Qt::Key_H);
            return true;
        }
    }
    return TDbForm::eventFilter(watched, event);
}

void TSQLForm::walkHistory(int step)
{
    if (m_historyAt < 0) {
        if (step < 0)
            return;
        m_history = SqlHistory::Of(Database()->DatabaseName());
        m_draft = SQLText->toPlainText();
    }
    const int to = std::clamp(m_historyAt + step, -1, int(m_history.size()) - 1);
    if (to == m_historyAt)
        return;
    m_historyAt = to;
    SQLText->setPlainText(to < 0 ? m_draft : m_history[to].Sql);
    SQLText->moveCursor(QTextCursor::End);
    showStatus(to < 0 ? QString()
                      : QStringLiteral("История: %1 из %2").arg(to + 1).arg(m_history.size()));
}

void TSQLForm::ShowHistory()
{
    TSqlHistoryDlg dlg(SqlHistory::Of(Database()->DatabaseName()), this);
    if (dlg.exec() != QDialog::Accepted || dlg.Chosen().isEmpty())
        return;
    m_historyAt = -1;
    SQLText->setPlainText(dlg.Chosen());
    Pages->setCurrentWidget(SQLPage);
    SQLText->setFocus();
}

TSqlHistoryDlg::TSqlHistoryDlg(const QList<TSqlHistoryEntry> &entries, QWidget *parent)
    : QDialog(parent), m_entries(entries)
{
    setObjectName(QStringLiteral("SqlHistoryDlg"));
    setWindowTitle(QStringLiteral("История запросов"));
    auto *layout = new QVBoxLayout(this);
    List = new QTreeWidget(this);
    List->setObjectName(QStringLiteral("List"));
    List->setRootIsDecorated(false);
    List->setHeaderLabels({QStringLiteral("Время"), QStringLiteral("Записей"), QStringLiteral("с"),
                           QStringLiteral("Выражение")});
    for (const TSqlHistoryEntry &e : entries) {
        auto *item = new QTreeWidgetItem(List, {QLocale().toString(e.At, QLocale::ShortFormat),
                                                e.Rows >= 0 ? QString::number(e.Rows) : QString(),
                                                QString::number(e.Seconds, 'f', 2).replace(u'.', u','),
                                                e.Sql.simplified().left(200)});
        item->setToolTip(3, e.Sql);
    }
    for (int c = 0; c < 3; ++c)
        List->resizeColumnToContents(c);
    if (List->topLevelItemCount() > 0)
        List->setCurrentItem(List->topLevelItem(0));
    connect(List, &QTreeWidget::itemActivated, this, &QDialog::accept);
    layout->addWidget(List, 1);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(720, 420);
}

QString TSqlHistoryDlg::Chosen() const
{
    const int row = List->currentItem() ? List->indexOfTopLevelItem(List->currentItem()) : -1;
    return row >= 0 ? m_entries[row].Sql : QString();
}

TSqlFindDlg::TSqlFindDlg(QPlainTextEdit &text, QWidget *parent) : QDialog(parent), m_text(text)
{
    setObjectName(QStringLiteral("SqlFindDlg"));
    auto *form = new QFormLayout;
    FindEdit = new QLineEdit(this);
    FindEdit->setObjectName(QStringLiteral("FindEdit"));
    form->addRow(QStringLiteral("&Найти:"), FindEdit);
    ReplaceEdit = new QLineEdit(this);
    ReplaceEdit->setObjectName(QStringLiteral("ReplaceEdit"));
    form->addRow(QStringLiteral("&Заменить на:"), ReplaceEdit);
    CaseBox = new QCheckBox(QStringLiteral("&Учитывать регистр"), this);
    CaseBox->setObjectName(QStringLiteral("CaseBox"));
    form->addRow(QString(), CaseBox);
    m_replaceLabel = form->labelForField(ReplaceEdit);
    Note = new QLabel(this);
    Note->setObjectName(QStringLiteral("Note"));
    auto *buttons = new QHBoxLayout;
    FindBtn = new QPushButton(QStringLiteral("Найти &далее"), this);
    FindBtn->setObjectName(QStringLiteral("FindBtn"));
    FindBtn->setDefault(true);
    ReplaceBtn = new QPushButton(QStringLiteral("&Заменить"), this);
    ReplaceBtn->setObjectName(QStringLiteral("ReplaceBtn"));
    ReplaceAllBtn = new QPushButton(QStringLiteral("Заменить &все"), this);
    ReplaceAllBtn->setObjectName(QStringLiteral("ReplaceAllBtn"));
    auto *close = new QPushButton(QStringLiteral("Закрыть"), this);
    buttons->addWidget(FindBtn);
    buttons->addWidget(ReplaceBtn);
    buttons->addWidget(ReplaceAllBtn);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(Note);
    layout->addLayout(buttons);
    connect(FindBtn, &QPushButton::clicked, this, [this] { FindNext(); });
    connect(ReplaceBtn, &QPushButton::clicked, this, [this] { ReplaceOne(); });
    connect(ReplaceAllBtn, &QPushButton::clicked, this, [this] { ReplaceAll(); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
}

void TSqlFindDlg::Open(bool replace)
{
    setWindowTitle(replace ? QStringLiteral("Замена") : QStringLiteral("Поиск"));
    for (QWidget *w : {static_cast<QWidget *>(ReplaceEdit), m_replaceLabel, static_cast<QWidget *>(ReplaceBtn),
                       static_cast<QWidget *>(ReplaceAllBtn)})
        w->setVisible(replace);
    if (const QString selected = m_text.textCursor().selectedText(); !selected.isEmpty())
        FindEdit->setText(selected);
    Note->clear();
    show();
    raise();
    activateWindow();
    FindEdit->selectAll();
    FindEdit->setFocus();
}

QTextDocument::FindFlags TSqlFindDlg::flags() const
{
    return CaseBox->isChecked() ? QTextDocument::FindCaseSensitively : QTextDocument::FindFlags();
}

bool TSqlFindDlg::FindNext()
{
    const QString what = FindEdit->text();
    if (what.isEmpty())
        return false;
    QTextCursor found = m_text.document()->find(what, m_text.textCursor(), flags());
    if (found.isNull())   // on from the top
        found = m_text.document()->find(what, 0, flags());
    Note->setText(found.isNull() ? QStringLiteral("Текст \"%1\" не найден").arg(what) : QString());
    if (found.isNull())
        return false;
    m_text.setTextCursor(found);
    return true;
}

void TSqlFindDlg::ReplaceOne()
{
    const QString selected = m_text.textCursor().selectedText();
    const Qt::CaseSensitivity cs = CaseBox->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive;
    if (!FindEdit->text().isEmpty() && selected.compare(FindEdit->text(), cs) == 0)
        m_text.textCursor().insertText(ReplaceEdit->text());
    FindNext();
}

int TSqlFindDlg::ReplaceAll()
{
    const QString what = FindEdit->text();
    if (what.isEmpty())
        return 0;
    int count = 0;
    QTextCursor edit(m_text.document());
    edit.beginEditBlock();
    for (QTextCursor found = m_text.document()->find(what, 0, flags()); !found.isNull();
         found = m_text.document()->find(what, found, flags())) {
        found.insertText(ReplaceEdit->text());
        ++count;
    }
    edit.endEditBlock();
    Note->setText(QStringLiteral("Заменено: %1").arg(count));
    return count;
}

void TSQLForm::statementWithoutRows()
{
    askTransaction(SQLQuery.RowsAffected());
}

void TSQLForm::askTransaction(int rowsAffected)
{
    TSQLResultDlg dlg(rowsAffected, this);
    dlg.exec();
    if (dlg.Chosen == TSQLResultDlg::Close)
        return;
    SQLQuery.SetSQLText(dlg.Chosen == TSQLResultDlg::Commit ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK"));
    SQLQuery.ExecSQL();
}

void TSQLForm::ShowPlan()
{
    TSQLPlanForm plan(this, Database(), SQLText->toPlainText());
    plan.exec();
}

TSQLResultDlg::TSQLResultDlg(int rowsAffected, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SQLResultDlg"));
    setWindowTitle(QStringLiteral("Результат выполнения выражения"));
    auto *layout = new QVBoxLayout(this);
    RowsLabel = new QLabel(Format(QStringLiteral("Обработано записей: %d"), {rowsAffected}), this);
    RowsLabel->setObjectName(QStringLiteral("RowsLabel"));
    layout->addWidget(RowsLabel);
    auto *buttons = new QHBoxLayout;
    CommitBtn = new QPushButton(QStringLiteral("&Фиксация обновлений"), this);
    CommitBtn->setObjectName(QStringLiteral("CommitBtn"));
    RollbackBtn = new QPushButton(QStringLiteral("Откат"), this);
    RollbackBtn->setObjectName(QStringLiteral("RollbackBtn"));
    CloseBtn = new QPushButton(QStringLiteral("&Закрыть"), this);
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
    CommitBtn->setDefault(true);
    buttons->addWidget(CommitBtn);
    buttons->addWidget(RollbackBtn);
    buttons->addWidget(CloseBtn);
    layout->addLayout(buttons);
    connect(CommitBtn, &QPushButton::clicked, this, [this] { Chosen = Commit; accept(); });
    connect(RollbackBtn, &QPushButton::clicked, this, [this] { Chosen = Rollback; accept(); });
    // Esc rejects the dialog: the same as "&Закрыть"
    connect(CloseBtn, &QPushButton::clicked, this, [this] { Chosen = Close; reject(); });
}

// ---------------------------------------------------------------- plan

namespace {

// The lines of the plan-table query: each step indented by its level, the
// root step with its cost, cut to 255 characters.
const QStringList PlanQueryLines = {
    QStringLiteral("select Substr(QueryPlan, 1, 255) QueryPlan"),
    QStringLiteral("from"),
    QStringLiteral("(select lpad(' ',2*(level-1)) || operation || ' ' ||"),
    QStringLiteral("options || ' ' || object_name || ' ' ||"),
    QStringLiteral("decode(id, 0, 'Cost = ' || position) QueryPlan"),
    QStringLiteral("from plan_table"),
    QStringLiteral("start with id=0"),
    QStringLiteral("connect by prior id=parent_id)"),
};

QStringList planFromPlanTable(TDatabase &database, const QString &sqlText)
{
    // single statements, colons not taken for parameters
    TQuery command;
    command.SetDatabase(&database);
    command.SetParamCheck(false);
    try {
        for (const QString &statement : {QStringLiteral("delete from plan_table"),
                                         QStringLiteral("explain plan for\r\n") + sqlText,
                                         QStringLiteral("commit")}) {
            command.SetSQLText(statement);
            command.ExecSQL();
        }
    } catch (const Exception &) {
        try {
            command.SetSQLText(QStringLiteral("rollback"));
            command.ExecSQL();
        } catch (const Exception &) {
        }
        throw;
    }
    TQuery plan;
    plan.SetDatabase(&database);
    plan.SetSQL(PlanQueryLines);
    plan.Open();
    QStringList lines;
    for (; !plan.Eof(); plan.Next())
        lines << plan.Fields(0)->AsString();
    return lines;
}

// SQLite's EXPLAIN QUERY PLAN: rows of (id, parent, notused, detail), a
// child after its parent; the level is counted from the parent chain.
QStringList planFromExplainQueryPlan(TDatabase &database, const QString &sqlText)
{
    QSqlQuery q = database.Query(QStringLiteral("EXPLAIN QUERY PLAN ") + sqlText);
    std::map<int, int> levelOf;
    QStringList lines;
    while (q.next()) {
        const int id = q.value(0).toInt();
        const int parent = q.value(1).toInt();
        const auto p = levelOf.find(parent);
        const int level = p == levelOf.end() ? 0 : p->second + 1;
        levelOf[id] = level;
        lines << QString(2 * level, u' ') + q.value(3).toString();
    }
    return lines;
}

// PostgreSQL's EXPLAIN: one text row a line, already indented by level.
QStringList planFromExplain(TDatabase &database, const QString &sqlText)
{
    QSqlQuery q = database.Query(QStringLiteral("EXPLAIN ") + sqlText);
    QStringList lines;
    while (q.next())
        lines << q.value(0).toString();
    return lines;
}

} // namespace

QStringList ExplainStatement(TDatabase &database, const QString &sqlText)
{
    QStringList lines;
    switch (database.Engine().PlanStyle()) {
    case TEngine::psExplainQueryPlan: lines = planFromExplainQueryPlan(database, sqlText); break;
    case TEngine::psExplain: lines = planFromExplain(database, sqlText); break;
    default: lines = planFromPlanTable(database, sqlText); break;
    }
    for (QString &line : lines)
        line.truncate(255);
    return lines;
}

// The plan's lines as a dataset of one column, QueryPlan, for the grid.
class TSQLPlanForm::TPlanList : public TListDataSet {
public:
    explicit TPlanList(QStringList lines) : m_lines(std::move(lines)) {}

protected:
    void LoadList(QList<TColumnDesc> &columns, QList<QVariantList> &rows) override
    {
        TColumnDesc column;
        column.Name = QStringLiteral("QueryPlan");
        column.Type = ftString;
        column.Size = 255;
        columns = {column};
        for (const QString &line : m_lines)
            rows.append({line});
    }

private:
    QStringList m_lines;
};

TSQLPlanForm::TSQLPlanForm(QWidget *parent, TDatabase *database, const QString &sqlText) : QDialog(parent)
{
    setObjectName(QStringLiteral("SQLPlanForm"));
    setWindowTitle(QStringLiteral("План запроса - ") + database->DatabaseName());
    m_planQuery = std::make_unique<TPlanList>(ExplainStatement(*database, sqlText));
    m_planQuery->SetName(QStringLiteral("PlanQuery"));
    m_planQuery->Open();
    m_planQuery->Fields(0)->SetDisplayWidth(100);
    m_planSource.SetDataSet(m_planQuery.get());

    auto *layout = new QVBoxLayout(this);
    PlanGrid = new TSearchDBGrid(this);
    PlanGrid->setObjectName(QStringLiteral("PlanGrid"));
    PlanGrid->SetSearchInUse(false);
    PlanGrid->SetOptions(PlanGrid->Options() & ~dgEditing);
    PlanGrid->SetReadOnly(true);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setBold(true);
    PlanGrid->setFont(font);
    PlanGrid->SetTitleRows(1);
    PlanGrid->SetDataSource(&m_planSource);
    PlanGrid->View()->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(PlanGrid, 1);
    ExitBtn = new QPushButton(QStringLiteral("В&ыход"), this);
    ExitBtn->setObjectName(QStringLiteral("ExitBtn"));
    connect(ExitBtn, &QPushButton::clicked, this, &QDialog::accept);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ExitBtn);
    layout->addLayout(buttons);
    resize(720, 360);
}

TSQLPlanForm::~TSQLPlanForm()
{
    PlanGrid->SetDataSource(nullptr);
}

QStringList TSQLPlanForm::PlanLines() const
{
    QStringList lines;
    for (int row = 0; row < m_planQuery->FetchUpTo(INT_MAX); ++row)
        lines << m_planQuery->RowValue(row, m_planQuery->Fields(0)).toString();
    return lines;
}

void InstallSQLEditor(TDbMainForm &mainForm)
{
    // the text windows of the grids explain SQL through the plan window
    ShowQueryPlanHook = [](QWidget *parent, const QString &databaseName, const QString &sqlText) {
        TSQLPlanForm plan(parent, Session().OpenDatabase(databaseName), sqlText);
        plan.exec();
    };
    mainForm.SetSQLEditorFactory([](TDbMainForm &main, TDatabase *database, const QString &tableName) -> TDbForm * {
        return TSQLForm::Create(main, database, tableName);
    });
}
