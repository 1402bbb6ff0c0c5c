#include "QuarnForm.h"

#include "Application.h"
#include "DbMainForm.h"

#include "common/Format.h"
#include "data/Catalog.h"
#include "data/Database.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <functional>

namespace {

// Suspends a widget's repainting for the life of the object, whatever
// happens in between.
class TUpdatesLock {
public:
    explicit TUpdatesLock(QWidget *w) : m_widget(w), m_was(w->updatesEnabled()) { w->setUpdatesEnabled(false); }
    ~TUpdatesLock() { m_widget->setUpdatesEnabled(m_was); }
    TUpdatesLock(const TUpdatesLock &) = delete;
    TUpdatesLock &operator=(const TUpdatesLock &) = delete;

private:
    QWidget *m_widget;
    bool m_was;
};

} // namespace

TQuarnForm *TQuarnForm::Create(TDbMainForm &mainForm, const QString &alias)
{
    TDatabase *db = Session().OpenDatabase(alias);
    // The client area holds the window but does not show it until the tree
    // stands; a failure deletes it, so no window is left behind.
    std::unique_ptr<TQuarnForm> form(new TQuarnForm(mainForm, db));
    form->BuildTree(false);
    TQuarnForm *shown = form.release();   // the client area owns it now
    shown->ShowChild();
    return shown;
}

TQuarnForm::TQuarnForm(TDbMainForm &mainForm, TDatabase *database) : TDbForm(mainForm, database)
{
    setObjectName(QStringLiteral("QuarnForm"));
    setWindowTitle(QStringLiteral("Просмотр - База данных ") + database->DatabaseName());
    setWindowIcon(style()->standardIcon(QStyle::SP_DriveHDIcon));

    auto *content = new QWidget(this);   // setWidget() takes it over
    AllTablesBox = new QCheckBox(QStringLiteral("&Все таблицы"), content);
    AllTablesBox->setObjectName(QStringLiteral("AllTablesBox"));
    connect(AllTablesBox, &QCheckBox::clicked, this, Guard(this, &TQuarnForm::AllTablesClick));
    SearchEdit = new QLineEdit(content);
    SearchEdit->setObjectName(QStringLiteral("SearchEdit"));
    SearchEdit->installEventFilter(this);
    auto *searchLabel = new QLabel(QStringLiteral("&Поиск"), content);
    searchLabel->setBuddy(SearchEdit);

    Tree = new QTreeWidget(content);
    Tree->setObjectName(QStringLiteral("Tree"));
    Tree->setHeaderHidden(true);
    Tree->setColumnCount(1);
    Tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Tree->setSelectionMode(QAbstractItemView::SingleSelection);
    Tree->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    Tree->setUniformRowHeights(true);
    Tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    Tree->header()->setStretchLastSection(false);
    Tree->installEventFilter(this);
    connect(Tree, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem *line) { Guarded(this, [&] { LoadLine(line); }); });

    auto *panel = new QHBoxLayout;
    panel->addWidget(AllTablesBox);
    panel->addSpacing(16);
    panel->addWidget(searchLabel);
    panel->addWidget(SearchEdit, 1);
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(panel);
    layout->addWidget(Tree, 1);
    SetContent(content);
    Tree->setFocus();
    resize(520, 420);
}

TQuarnForm::~TQuarnForm()
{
    // The lines go with the tree; the nodes pointing at them go first.
    m_nodeOf.clear();
    m_nodes.Clear();
}

bool TQuarnForm::AllTables() const
{
    return AllTablesBox->isChecked();
}

QTreeWidgetItem *TQuarnForm::newLine(QTreeWidgetItem *parent, const QString &text, bool hasChildren)
{
    auto *line = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(Tree);
    line->setText(0, text);
    line->setChildIndicatorPolicy(hasChildren ? QTreeWidgetItem::ShowIndicator
                                              : QTreeWidgetItem::DontShowIndicator);
    return line;
}

void TQuarnForm::clearTree()
{
    m_nodeOf.clear();
    m_nodes.Clear();
    Tree->clear();
}

void TQuarnForm::BuildTree(bool rebuild)
{
    if (rebuild)
        clearTree();
    const QString name = Database()->DatabaseName();
    const TDatabaseDesc desc(name);
    auto *root = AddNode<TQuarnDatabaseNode>(nullptr, QuarnText::DatabaseLine(name, desc.DatabaseType()), name,
                                             true);
    Tree->setCurrentItem(root->Line);
    if (rebuild) {
        LoadLine(root->Line);
        root->Line->setExpanded(true);
    }
}

void TQuarnForm::LoadLine(QTreeWidgetItem *line)
{
    TQuarnNode *node = NodeOf(line);
    if (!node || node->Loaded)
        return;
    const int linesBefore = line->childCount();
    const int nodesBefore = m_nodes.Count();
    try {
        TUpdatesLock lock(Tree);
        node->Expand(line);
    } catch (...) {
        // Take back what the failed load added, so that the next expansion
        // starts afresh instead of adding the same lines twice.
        while (m_nodes.Count() > nodesBefore) {
            m_nodeOf.remove(m_nodes.Last()->Line);
            m_nodes.Delete(m_nodes.Count() - 1);
        }
        while (line->childCount() > linesBefore)
            delete line->takeChild(line->childCount() - 1);
        line->setExpanded(false);
        throw;
    }
    // A line found empty shows no expansion mark any more.
    if (line->childCount() == 0)
        line->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

void TQuarnForm::ToggleLine(QTreeWidgetItem *line)
{
    if (!line)
        return;
    if (line->isExpanded()) {
        line->setExpanded(false);
        return;
    }
    LoadLine(line);
    line->setExpanded(true);
}

QTreeWidgetItem *TQuarnForm::SelectedLine() const
{
    const QList<QTreeWidgetItem *> selected = Tree->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void TQuarnForm::AllTablesClick()
{
    BuildTree(true);
}

void TQuarnForm::Reopen()
{
    try {
        TDatabase *db = Database();
        if (db->Connected())
            db->SetConnected(false);
        db->SetConnected(true);
        BuildTree(true);
    } catch (const EAbort &) {
        throw;   // the person kept the database as it was
    } catch (...) {
        close();
        throw;
    }
}

void TQuarnForm::OpenSelectedTable()
{
    QTreeWidgetItem *line = SelectedLine();
    if (!line)
        throw Exception(QStringLiteral("Сначала выберите таблицу"));
    TQuarnNode *node = NodeOf(line);
    auto *table = dynamic_cast<TQuarnTableNode *>(node);
    if (!table)
        throw Exception(Format(QStringLiteral("%s - не таблица"), {node ? node->Name : line->text(0)}));
    MainForm().OpenSQLEditor(Database(), table->Name);
}

void TQuarnForm::SearchExit()
{
    const QString text = SearchEdit->text().toUpper();
    QTreeWidgetItem *found = nullptr;
    // Depth first: a line before its children, children in order.
    std::function<bool(QTreeWidgetItem *)> search = [&](QTreeWidgetItem *line) {
        if (line->text(0).toUpper().contains(text)) {
            found = line;
            return true;
        }
        for (int i = 0; i < line->childCount(); ++i)
            if (search(line->child(i)))
                return true;
        return false;
    };
    if (!text.isEmpty())
        for (int i = 0; i < Tree->topLevelItemCount() && !found; ++i)
            search(Tree->topLevelItem(i));
    if (found) {
        for (QTreeWidgetItem *p = found->parent(); p; p = p->parent())
            p->setExpanded(true);
        Tree->setCurrentItem(found);
        Tree->scrollToItem(found);
    }
    Tree->setFocus(Qt::OtherFocusReason);
}

bool TQuarnForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Tree && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier))) {
            Guarded(this, [this] { ToggleLine(Tree->currentItem()); });
            return true;
        }
    }
    if (watched == SearchEdit && event->type() == QEvent::FocusOut) {
        // Leaving the box for another control of the window; switching to
        // another window or opening a menu is not leaving it.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            Guarded(this, [this] { SearchExit(); });
    }
    return TDbForm::eventFilter(watched, event);
}
