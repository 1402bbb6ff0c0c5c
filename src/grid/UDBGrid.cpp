#include "UDBGrid.h"

#include "GridCommands.h"
#include "GridHooks.h"
#include "SearchDBGrid.h"
#include "SearchSql.h"

#include "common/Format.h"
#include "common/Settings.h"
#include "common/UserInterface.h"
#include "data/DataSet.h"
#include "data/Query.h"
#include "data/SqlText.h"
#include "data/StatementWatch.h"
#include "uisupport/Guard.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <limits>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>

namespace {

// How many rows the model asks the dataset for at a time.
constexpr int FetchBlock = 256;
constexpr int MaxColumns = 256;
constexpr int MaxFixedCols = 7;
constexpr int IndicatorWidth = 14;

// The cell editor: a line edit, or a drop-down with the column's pick list.
class TGridDelegate : public QStyledItemDelegate {
public:
    TGridDelegate(TUDBGrid &grid, QObject *parent) : QStyledItemDelegate(parent), m_grid(grid) {}

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override
    {
        const QStringList &pick = m_grid.Column(index.column()).PickList;
        if (pick.isEmpty()) {
            QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
            // a value is never cut to the line edit's default 32767 characters
            if (auto *line = qobject_cast<QLineEdit *>(editor))
                line->setMaxLength(std::numeric_limits<int>::max());
            return editor;
        }
        auto *box = new QComboBox(parent);   // the view owns its editors
        box->setEditable(true);
        box->addItems(pick);
        return box;
    }
    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        if (auto *box = qobject_cast<QComboBox *>(editor)) {
            box->setCurrentText(index.data(Qt::EditRole).toString());
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        // an editor left with the text it was given changes nothing
        QString text;
        if (auto *box = qobject_cast<QComboBox *>(editor))
            text = box->currentText();
        else
            text = editor->property("text").toString();
        if (text == index.data(Qt::EditRole).toString())
            return;
        Guarded(editor, [&] { model->setData(index, text, Qt::EditRole); });
    }

    // A NULL cell shows a muted, slanted "NULL": a mark of the grid's, no
    // part of the value (copies, searches and reports see an empty text).
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (!index.data(TUGridModel::NullRole).toBool())
            return;
        painter->save();
        QFont font = option.font;
        font.setItalic(true);
        painter->setFont(font);
        const bool selected = option.state & QStyle::State_Selected;
        QColor color = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
        color.setAlpha(110);
        painter->setPen(color);
        const int align = index.data(Qt::TextAlignmentRole).toInt();
        painter->drawText(option.rect.adjusted(4, 0, -4, 0), align ? align : int(Qt::AlignLeft | Qt::AlignVCenter),
                          QStringLiteral("NULL"));
        painter->restore();
    }

private:
    TUDBGrid &m_grid;
};

// The top-left cell, filled with the grid's status colour when it has one.
class TStatusCorner : public QWidget {
public:
    TStatusCorner(TUDBGrid &grid, QWidget *parent) : QWidget(parent), m_grid(grid)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        const QColor c = m_grid.StatusColor();
        if (c.isValid())
            QPainter(this).fillRect(rect(), c);
    }

private:
    TUDBGrid &m_grid;
};

} // namespace

// ---------------------------------------------------------------- model

TUGridModel::TUGridModel(TUDBGrid &grid) : QAbstractTableModel(&grid), m_grid(grid) {}

int TUGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_exposed + (m_inserting ? 1 : 0);
}

int TUGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_grid.ColumnCount();
}

int TUGridModel::InsertRow() const
{
    const TDataSet *ds = m_grid.DataSet();
    if (!m_inserting || !ds)
        return -1;
    return ds->Appending() || ds->CurrentIndex() < 0 ? m_exposed : ds->CurrentIndex();
}

int TUGridModel::DataSetRow(int modelRow) const
{
    const int insertRow = InsertRow();
    if (insertRow < 0 || modelRow < insertRow)
        return modelRow;
    return modelRow == insertRow ? -1 : modelRow - 1;
}

int TUGridModel::CurrentRow() const
{
    const TDataSet *ds = m_grid.DataSet();
    if (!ds || !ds->Active())
        return -1;
    if (m_inserting)
        return InsertRow();
    return ds->CurrentIndex();
}

QVariant TUGridModel::data(const QModelIndex &index, int role) const
{
    TField *field = m_grid.ColumnField(index.column());
    if (!field || !index.isValid())
        return QVariant();
    const int row = DataSetRow(index.row());
    const TDataSet *ds = field->DataSet();
    switch (role) {
    case Qt::DisplayRole: {
        const QString text = row < 0 ? field->DisplayText() : field->DisplayTextOf(ds->RowValue(row, field));
        const auto &map = m_grid.Column(index.column()).DisplayMap;
        return map ? map(text) : text;
    }
    case Qt::EditRole:
        return row < 0 ? field->AsString() : field->AsStringOf(ds->RowValue(row, field));
    case NullRole: {
        if (IsBlobType(field->DataType()))
            return false;
        const QVariant v = row < 0 ? field->Value() : ds->RowValue(row, field);
        return !v.isValid() || v.isNull();
    }
    case Qt::TextAlignmentRole:
        switch (field->Alignment()) {
        case taRightJustify: return int(Qt::AlignRight | Qt::AlignVCenter);
        case taCenter: return int(Qt::AlignCenter);
        default: return int(Qt::AlignLeft | Qt::AlignVCenter);
        }
    case Qt::ForegroundRole: {
        QColor color;
        if (m_grid.OnDrawColor) {
            color = m_grid.palette().color(QPalette::Text);
            m_grid.OnDrawColor(field, color);
        }
        if (m_grid.IsMarked(index.row()))
            color = m_grid.ChoiceColor();
        return color.isValid() ? QVariant(color) : QVariant();
    }
    case Qt::BackgroundRole:
        if (row >= 0 && m_grid.SelectedRows().contains(row) && m_grid.ColumnSelected(index.column()))
            return m_grid.palette().color(QPalette::Highlight).lighter(170);
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant TUGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QVariant();
    const TField *field = m_grid.ColumnField(section);
    const TUColumn &c = const_cast<TUDBGrid &>(m_grid).Column(section);
    return !c.Title.isEmpty() ? c.Title : field ? field->DisplayLabel() : c.FieldName;
}

Qt::ItemFlags TUGridModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const TField *field = m_grid.ColumnField(index.column());
    if (m_grid.CanEdit() && field && field->CanModify() && field->FieldKind() == fkData
        && !IsBlobType(field->DataType()))
        f |= Qt::ItemIsEditable;
    return f;
}

bool TUGridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    TField *field = m_grid.ColumnField(index.column());
    if (role != Qt::EditRole || !field)
        return false;
    TDataSet *ds = field->DataSet();
    if (index.row() != CurrentRow())
        m_grid.ViewRowChanged(index.row(), CurrentRow());
    if (ds->State() == dsBrowse)
        ds->Edit();
    field->SetAsString(value.toString());
    return true;
}

bool TUGridModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && !m_allFetched;
}

void TUGridModel::fetchMore(const QModelIndex &parent)
{
    TDataSet *ds = m_grid.DataSet();
    if (parent.isValid() || !ds || !ds->Active() || m_allFetched)
        return;
    Guarded(&m_grid, [&] {
        const int want = m_exposed + FetchBlock;
        if (ds->FetchUpTo(want) < want)
            m_allFetched = true;
    });
    SyncRowCount();
}

void TUGridModel::Reset()
{
    beginResetModel();
    TDataSet *ds = m_grid.DataSet();
    const bool active = ds && ds->Active();
    m_inserting = active && ds->State() == dsInsert;
    m_exposed = 0;
    m_allFetched = true;
    if (active) {
        // a screenful at once, the rest as the view scrolls
        const int want = std::max(ds->FetchedCount(), 64);
        const int got = ds->FetchUpTo(want);
        m_allFetched = got < want;
        m_exposed = ds->FetchedCount();
    }
    endResetModel();
    ++m_resets;
    m_countAsked = active && !m_allFetched && ds->Windowed();
}

void TUGridModel::Painted()
{
    if (!std::exchange(m_countAsked, false))
        return;
    const quint64 reset = m_resets;
    QTimer::singleShot(0, this, [this, reset] { countRows(reset); });
}

void TUGridModel::countRows(quint64 reset)
{
    TDataSet *ds = m_grid.DataSet();
    if (reset != m_resets || !ds || !ds->Active() || !ds->Windowed() || m_allFetched)
        return;
    if (TStatementWatch::Waiting()) {   // another statement runs: count after it
        QTimer::singleShot(200, this, [this, reset] { countRows(reset); });
        return;
    }
    Guarded(&m_grid, [&] {
        ds->RecordCount();
        m_allFetched = true;
    });
    m_grid.RowsCounted();
}

bool TUGridModel::SyncRowCount()
{
    TDataSet *ds = m_grid.DataSet();
    if (!ds || !ds->Active())
        return false;
    const bool inserting = ds->State() == dsInsert;
    const int fetched = ds->FetchedCount();
    if (inserting != m_inserting || fetched < m_exposed) {
        Reset();
        return true;
    }
    if (fetched == m_exposed)
        return false;
    const int first = m_exposed + (m_inserting && InsertRow() <= m_exposed ? 1 : 0);
    beginInsertRows(QModelIndex(), first, first + fetched - m_exposed - 1);
    m_exposed = fetched;
    endInsertRows();
    return true;
}

void TUGridModel::CurrentRowChanged()
{
    const int row = CurrentRow();
    if (row >= 0)
        emit dataChanged(index(row, 0), index(row, std::max(0, columnCount() - 1)));
    emit headerDataChanged(Qt::Vertical, std::max(0, row), std::max(0, row));
}

// ---------------------------------------------------------------- headers

TUTitleHeader::TUTitleHeader(TUDBGrid &grid) : QHeaderView(Qt::Horizontal), m_grid(grid)
{
    setSectionsClickable(false);
    setHighlightSections(false);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignTop);
}

QSize TUTitleHeader::sizeHint() const
{
    QSize s = QHeaderView::sizeHint();
    int h = m_grid.TitleRows() * m_grid.TitleLineHeight();
    if (m_grid.SearchInUse())
        h += m_grid.RowHeight();
    s.setHeight(h + 2);
    return s;
}

QStringList TUTitleHeader::TitleLines(int column, int width) const
{
    const QString caption = model() ? model()->headerData(column, Qt::Horizontal).toString() : QString();
    if (!m_grid.FormatByWidth())
        return caption.split(u'|');
    // slices of as many characters as fit the cell
    const QFontMetrics fm(font());
    const int textWidth = fm.horizontalAdvance(caption) + 4;
    const int chars = textWidth > 0 ? std::max<int>(1, int(qint64(caption.size()) * width / textWidth)) : 1;
    QStringList lines;
    for (qsizetype i = 0; i < caption.size(); i += chars)
        lines << caption.mid(i, chars);
    return lines;
}

void TUTitleHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    painter->save();
    // the section's frame as the style draws it, without text
    QStyleOptionHeader opt;
    initStyleOption(&opt);
    opt.rect = rect;
    opt.section = logicalIndex;
    style()->drawControl(QStyle::CE_HeaderSection, &opt, painter, this);

    const int lineHeight = m_grid.TitleLineHeight();
    const int titleHeight = m_grid.TitleRows() * lineHeight;
    const QStringList lines = TitleLines(logicalIndex, rect.width());
    painter->setPen(palette().color(QPalette::ButtonText));
    painter->setClipRect(rect.adjusted(0, 0, 0, 0));
    const Qt::Alignment align = m_grid.Column(logicalIndex).TitleAlignment;
    // the sort arrow at the right of the first title line, with its place
    // in the order when there are several
    const int place = m_grid.SortPlace(logicalIndex);
    const int arrowWidth = place ? lineHeight : 0;
    for (int i = 0; i < lines.size() && i < m_grid.TitleRows(); ++i) {
        const QRect line(rect.left() + 3, rect.top() + 2 + i * lineHeight, rect.width() - 6 - (i ? 0 : arrowWidth),
                         lineHeight);
        painter->drawText(line, int(align | Qt::AlignVCenter), lines[i]);
    }
    if (place) {
        const int side = std::max(6, lineHeight / 2);
        const QRect box(rect.right() - 3 - arrowWidth, rect.top() + 2, arrowWidth, lineHeight);
        const QPointF c = QRectF(box).center();
        const double h = side / 2.0;
        const QPolygonF arrow = place > 0 ? QPolygonF{{c.x() - h, c.y() + h / 2}, {c.x() + h, c.y() + h / 2}, {c.x(), c.y() - h / 2}}
                                          : QPolygonF{{c.x() - h, c.y() - h / 2}, {c.x() + h, c.y() - h / 2}, {c.x(), c.y() + h / 2}};
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setBrush(palette().color(QPalette::ButtonText));
        painter->drawPolygon(arrow);
        if (std::abs(place) > 1 || m_grid.SortPlace(-1) > 1) {
            QFont small = painter->font();
            small.setPointSizeF(small.pointSizeF() * 0.7);
            painter->setFont(small);
            painter->drawText(box.adjusted(0, 0, 0, 2), Qt::AlignRight | Qt::AlignBottom, QString::number(std::abs(place)));
        }
    }
    if (m_grid.SearchInUse()) {
        const QRect search(rect.left(), rect.top() + titleHeight + 2, rect.width(), m_grid.RowHeight());
        painter->setPen(palette().color(QPalette::Mid));
        painter->drawLine(search.topLeft(), search.topRight());
        const TField *field = m_grid.ColumnField(logicalIndex);
        QString value = field ? m_grid.Conditions().SearchValue(field->FieldName()) : QString();
        if (value == u"^")
            value.clear();
        painter->setPen(m_grid.SearchColor());
        painter->drawText(search.adjusted(3, 0, -3, 0), Qt::AlignLeft | Qt::AlignVCenter, value);
    }
    painter->restore();
}

void TUTitleHeader::mousePressEvent(QMouseEvent *event)
{
    const bool title = event->position().y() < m_grid.TitleRows() * m_grid.TitleLineHeight() + 2;
    const int at = logicalIndexAt(event->position().toPoint());
    // near a section's edge the press resizes it
    const int x = int(event->position().x());
    const bool edge = at >= 0 && (std::abs(x - (sectionViewportPosition(at) + sectionSize(at))) <= 4
                                  || std::abs(x - sectionViewportPosition(at)) <= 4);
    m_pressed = event->button() == Qt::LeftButton && title && !edge ? at : -1;
    m_pressedAt = event->position().toPoint();
    QHeaderView::mousePressEvent(event);
}

void TUTitleHeader::mouseReleaseEvent(QMouseEvent *event)
{
    QHeaderView::mouseReleaseEvent(event);
    const int pressed = std::exchange(m_pressed, -1);
    if (pressed < 0 || logicalIndexAt(event->position().toPoint()) != pressed
        || (event->position().toPoint() - m_pressedAt).manhattanLength() > 4)
        return;
    Guarded(&m_grid, [&] { m_grid.TitleClicked(pressed, event->modifiers() & Qt::ControlModifier); });
}

TUIndicatorHeader::TUIndicatorHeader(TUDBGrid &grid) : QHeaderView(Qt::Vertical), m_grid(grid)
{
    setSectionsClickable(false);
    setHighlightSections(false);
    setSectionResizeMode(QHeaderView::Fixed);
}

QSize TUIndicatorHeader::sizeHint() const
{
    return QSize(IndicatorWidth, QHeaderView::sizeHint().height());
}

void TUIndicatorHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    painter->save();
    QStyleOptionHeader opt;
    initStyleOption(&opt);
    opt.rect = rect;
    style()->drawControl(QStyle::CE_HeaderSection, &opt, painter, this);

    const TUGridModel *model = m_grid.Model();
    const TDataSet *ds = m_grid.DataSet();
    const bool current = model->CurrentRow() == logicalIndex;
    const int dsRow = model->DataSetRow(logicalIndex);
    const bool selected = dsRow >= 0 && m_grid.SelectedRows().contains(dsRow);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(palette().color(QPalette::ButtonText));
    const QPointF c = QRectF(rect).center();
    if (current && ds && ds->State() == dsEdit) {           // UDBEDIT: a cursor bar
        painter->fillRect(QRectF(c.x() - 1, rect.top() + 3, 2, rect.height() - 6), painter->brush());
    } else if (current && ds && ds->State() == dsInsert) {  // UDBINSERT: a star
        painter->setPen(palette().color(QPalette::ButtonText));
        painter->drawText(rect, Qt::AlignCenter, QStringLiteral("*"));
    } else if (current) {                                   // UDBGARROW / UDBMULTIARROW
        QPainterPath arrow;
        arrow.moveTo(c.x() - 3, c.y() - 4);
        arrow.lineTo(c.x() + 2, c.y());
        arrow.lineTo(c.x() - 3, c.y() + 4);
        arrow.closeSubpath();
        painter->drawPath(arrow);
        if (selected)
            painter->drawEllipse(QPointF(c.x() + 4, c.y()), 1.5, 1.5);
    } else if (selected) {                                  // UDBMULTIDOT
        painter->drawEllipse(c, 2.5, 2.5);
    }
    painter->restore();
}

// ---------------------------------------------------------------- view

TUGridView::TUGridView(TUDBGrid &grid, QWidget *parent) : QTableView(parent), m_grid(grid) {}

void TUGridView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    QTableView::scrollTo(index, hint);
    // a cell that scrolled in under the frozen columns comes out beside them
    const int fixed = m_grid.FixedCols();
    if (!index.isValid() || fixed <= 0 || index.column() < fixed)
        return;
    int frozenWidth = 0;
    for (int c = 0; c < fixed; ++c)
        frozenWidth += columnWidth(c);
    const int x = columnViewportPosition(index.column());
    if (x < frozenWidth)
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() + x - frozenWidth);
}

bool TUGridView::event(QEvent *event)
{
    // The grid's own Ctrl keys win over the window's shortcuts of the same
    // keys while the grid has the focus (Ctrl+S and Ctrl+L search here).
    if (event->type() == QEvent::ShortcutOverride && !IsEditing()) {
        auto *key = static_cast<QKeyEvent *>(event);
        if ((key->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
            switch (key->key()) {
            case Qt::Key_F: case Qt::Key_S: case Qt::Key_L: case Qt::Key_M:
                event->accept();
                return true;
            default:
                break;
            }
        }
    }
    return QTableView::event(event);
}

void TUGridView::keyPressEvent(QKeyEvent *event)
{
    // Shift with a move selects the cells from where the move began; a move
    // without it ends such a selection
    switch (event->key()) {
    case Qt::Key_Up: case Qt::Key_Down: case Qt::Key_Left: case Qt::Key_Right:
    case Qt::Key_PageUp: case Qt::Key_PageDown:
        if (IsEditing() || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
            break;
        if (event->modifiers() & Qt::ShiftModifier) {
            m_grid.BeginSelection();
            QKeyEvent move(QEvent::KeyPress, event->key(), event->modifiers() & ~Qt::ShiftModifier);
            const bool outer = std::exchange(m_extending, true);
            keyPressEvent(&move);
            m_extending = outer;
            Guarded(this, [&] { m_grid.ExtendSelection(); });
            event->accept();
            return;
        }
        if (!m_extending && m_grid.ShiftSelecting())
            m_grid.ClearSelection();
        break;
    default:
        break;
    }
    bool taken = false;
    Guarded(this, [&] { taken = m_grid.KeyDown(event->key(), event->modifiers()); });
    if (taken) {
        event->accept();
        return;
    }
    const QString text = event->text();
    const bool character = !text.isEmpty() && (text.at(0) >= u' ' || text.at(0) == u'\b')
                           && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (character && m_grid.SearchInUse() && !IsEditing()) {
        Guarded(this, [&] {
            for (QChar ch : text)
                m_grid.SearchKeyPress(ch);
        });
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void TUGridView::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    if (index.isValid() && event->button() == Qt::LeftButton) {
        const int row = m_grid.Model()->DataSetRow(index.row());
        if (shift) {
            m_grid.BeginSelection();
        } else if (event->modifiers() & Qt::ControlModifier) {
            if (row >= 0)
                m_grid.ToggleRowSelection(row);
        } else if (!m_grid.SelectedRows().isEmpty()) {
            m_grid.ClearSelection();
        }
    }
    QTableView::mousePressEvent(event);
    if (index.isValid() && shift && event->button() == Qt::LeftButton)
        Guarded(this, [&] { m_grid.ExtendSelection(); });
}

void TUGridView::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTableView::mouseDoubleClickEvent(event);
    if (indexAt(event->position().toPoint()).isValid())
        Guarded(this, [&] { m_grid.CellDoubleClicked(); });
}

void TUGridView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (current.isValid())
        m_grid.NoteSelectedColumn(current.column());
    if (current.row() != previous.row() && current.isValid())
        m_grid.ViewRowChanged(current.row(), previous.row());
    m_grid.RepaintTitles();
}

void TUGridView::paintEvent(QPaintEvent *event)
{
    QTableView::paintEvent(event);
    m_grid.Model()->Painted();
}

void TUGridView::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    m_grid.UpdateFrozenGeometry();
}

void TUGridView::scrollContentsBy(int dx, int dy)
{
    QTableView::scrollContentsBy(dx, dy);
    if (dx != 0)
        m_grid.UpdateFrozenGeometry();
}

bool TUGridView::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    // a double click is the memo view's, not the editor's
    if (trigger == DoubleClicked)
        return false;
    return QTableView::edit(index, trigger, event);
}

// ---------------------------------------------------------------- grid

TUDBGrid::TUDBGrid(QWidget *parent) : QWidget(parent)
{
    m_model = new TUGridModel(*this);
    m_view = new TUGridView(*this, this);
    m_view->setObjectName(QStringLiteral("GridView"));
    m_view->setModel(m_model);
    m_view->setHorizontalHeader(new TUTitleHeader(*this));
    m_view->setVerticalHeader(new TUIndicatorHeader(*this));
    m_view->setItemDelegate(new TGridDelegate(*this, m_view));
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_view->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    m_view->setWordWrap(false);
    m_view->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed
                            | QAbstractItemView::SelectedClicked);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_view, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        if (m_menu && SearchGrid())
            m_menu->PopupFor(*SearchGrid(), m_view->viewport()->mapToGlobal(at));
    });

    // the frozen columns: a second view over the same model laid over the
    // left edge of the first, scrolling with it up and down only
    m_frozen = new QTableView(m_view);
    m_frozen->setObjectName(QStringLiteral("FrozenView"));
    m_frozen->setHorizontalHeader(new TUTitleHeader(*this));
    m_frozen->verticalHeader()->hide();
    m_frozen->setItemDelegate(new TGridDelegate(*this, m_frozen));
    m_frozen->setFocusPolicy(Qt::NoFocus);
    m_frozen->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    m_frozen->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_frozen->setWordWrap(false);
    m_frozen->setStyleSheet(QStringLiteral("QTableView { border: none; }"));
    m_frozen->hide();
    // the two scroll together; the frozen one takes the range of the main
    // one first, so that a range it has not laid out yet (it is hidden, or
    // rows were just counted) does not pull the main one back
    connect(m_view->verticalScrollBar(), &QAbstractSlider::rangeChanged, m_frozen->verticalScrollBar(),
            &QAbstractSlider::setRange);
    connect(m_frozen->verticalScrollBar(), &QAbstractSlider::valueChanged, m_view->verticalScrollBar(),
            &QAbstractSlider::setValue);
    connect(m_view->verticalScrollBar(), &QAbstractSlider::valueChanged, m_frozen->verticalScrollBar(),
            &QAbstractSlider::setValue);
    connect(m_view->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int size) {
                if (column < m_fixedCols)
                    m_frozen->setColumnWidth(column, size);
                UpdateFrozenGeometry();
                if (!m_layingOut)
                    keepWidth(column, size);
            });
    m_saveWidths.setSingleShot(true);
    m_saveWidths.setInterval(300);
    connect(&m_saveWidths, &QTimer::timeout, this, &TUDBGrid::saveWidths);
    connect(m_view->verticalHeader(), &QHeaderView::sectionResized, this, [this](int row, int, int size) {
        if (m_frozen->model() == m_model)
            m_frozen->setRowHeight(row, size);
    });
    connect(m_frozen, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) {
        m_view->setCurrentIndex(index);
        m_view->setFocus();
    });

    m_corner = new TStatusCorner(*this, m_view);

    if (DefaultMenuHook)
        m_menu = DefaultMenuHook();
    applyLayout();
}

TUDBGrid::~TUDBGrid()
{
    if (m_saveWidths.isActive())
        Guarded(this, [this] { saveWidths(); });
    SetDataSource(nullptr);
    // The headers, the frozen columns and the corner ask the grid for sizes
    // and colours whenever they are laid out, also while a closing window
    // hides them: the view goes with them while the grid is still whole.
    delete m_view;
    m_view = nullptr;
    m_frozen = nullptr;
    m_corner = nullptr;
}

TSearchDBGrid *TUDBGrid::SearchGrid()
{
    return dynamic_cast<TSearchDBGrid *>(this);
}

void TUDBGrid::SetDataSource(TDataSource *source)
{
    if (m_dataSource)
        m_dataSource->RemoveLink(m_linkId);
    m_dataSource = source;
    m_linkId = 0;
    if (source)
        m_linkId = source->AddLink([this](TDataEvent event, TField *) { dataEvent(event); });
    dataEvent(deDataSetChange);
}

TDataSet *TUDBGrid::DataSet() const
{
    return m_dataSource ? m_dataSource->DataSet() : nullptr;
}

bool TUDBGrid::CanEdit() const
{
    const TDataSet *ds = DataSet();
    return (m_options & dgEditing) && !m_readOnly && ds && ds->Active() && ds->CanModify();
}

void TUDBGrid::dataEvent(int event)
{
    switch (event) {
    case deDataSetChange:
    case deLayoutChange: {
        const int column = std::max(0, SelectedIndex());
        m_syncing = true;
        rebuildColumns();
        m_model->Reset();
        m_selectedRows.clear();
        m_syncing = false;
        applyLayout();
        if (TDataSet *ds = DataSet(); ds && ds->Active() && m_model->CurrentRow() >= 0) {
            m_syncing = true;
            m_view->setCurrentIndex(m_model->index(m_model->CurrentRow(), std::min(column, ColumnCount() - 1)));
            m_syncing = false;
        }
        break;
    }
    case deDataSetScroll:
        showDataSetRow();
        break;
    case deRecordChange:
    case deUpdateState:
    case deFieldChange:
        m_syncing = true;
        if (m_model->SyncRowCount())
            applyLayout();
        m_syncing = false;
        m_model->CurrentRowChanged();
        showDataSetRow();
        break;
    default:
        break;
    }
    m_view->viewport()->update();
    m_frozen->viewport()->update();
    m_view->verticalHeader()->viewport()->update();
}

void TUDBGrid::RowsCounted()
{
    m_syncing = true;
    if (m_model->SyncRowCount())
        applyLayout();
    m_syncing = false;
    m_view->verticalHeader()->viewport()->update();
    if (OnRowsCounted)
        OnRowsCounted();
}

void TUDBGrid::showDataSetRow()
{
    m_syncing = true;
    const bool grew = m_model->SyncRowCount();
    const int row = m_model->CurrentRow();
    if (row >= 0 && row < m_model->rowCount()) {
        const int column = std::clamp(SelectedIndex(), 0, std::max(0, ColumnCount() - 1));
        if (m_view->currentIndex().row() != row)
            m_view->setCurrentIndex(m_model->index(row, column));
        // rows just exposed (Ctrl+End) are laid out before the view
        // scrolls to them
        if (grew)
            m_view->ShowRow(m_view->currentIndex());
    }
    m_syncing = false;
    m_view->verticalHeader()->viewport()->update();
}

void TUDBGrid::ViewRowChanged(int row, int previousRow)
{
    TDataSet *ds = DataSet();
    if (m_syncing || !ds || !ds->Active())
        return;
    if (ds->State() == dsInsert && row == m_model->InsertRow())
        return;
    Guarded(this, [&] {
        try {
            if (ds->State() == dsEdit || ds->State() == dsInsert)
                ds->Post();
        } catch (...) {
            // the record stays as edited, and the row with it
            m_syncing = true;
            if (previousRow >= 0)
                m_view->setCurrentIndex(m_model->index(previousRow, std::max(0, SelectedIndex())));
            m_syncing = false;
            throw;
        }
        const int target = m_model->DataSetRow(std::min(row, m_model->rowCount() - 1));
        if (target >= 0 && target != ds->CurrentIndex())
            ds->MoveTo(target);
    });
    m_view->verticalHeader()->viewport()->update();
}

void TUDBGrid::CellDoubleClicked()
{
    if (TSearchDBGrid *grid = SearchGrid())
        CallHook(MemoViewHook, *grid);
}

void TUDBGrid::rebuildColumns()
{
    const TDataSet *ds = DataSet();
    QStringList names;
    if (ds && ds->Active())
        for (int i = 0; i < ds->FieldCount(); ++i)
            if (ds->Fields(i)->Visible())
                names << ds->Fields(i)->FieldName();
    if (!m_columnOrder.isEmpty()) {
        const auto rank = [this](const QString &name) {
            for (qsizetype i = 0; i < m_columnOrder.size(); ++i)
                if (m_columnOrder[i].compare(name, Qt::CaseInsensitive) == 0)
                    return i;
            return m_columnOrder.size();
        };
        std::stable_sort(names.begin(), names.end(), [&](const QString &a, const QString &b) { return rank(a) < rank(b); });
    }
    if (names == m_columnFields)
        return;
    QList<TUColumn> columns;
    for (const QString &name : names) {
        TUColumn column;
        for (const TUColumn &old : std::as_const(m_columns))
            if (old.FieldName == name)
                column = old;
        column.FieldName = name;
        columns << column;
    }
    if (columns.size() > MaxColumns) {
        m_columns.clear();
        m_columnFields.clear();
        throw EInvalidGridOperation(QStringLiteral("Grid не может показывать больше чем 256 колонок"));
    }
    m_columns = columns;
    m_columnFields = names;
}

int TUDBGrid::columnWidth(const TUColumn &column, const TField *field) const
{
    if (column.Width > 0)
        return column.Width;
    const QFontMetrics fm(font());
    int chars = field ? field->DisplayWidth() : 10;
    chars = std::clamp(chars, 4, 40);
    int width = chars * fm.horizontalAdvance(u'0') + 8;
    const QStringList parts = (field ? field->DisplayLabel() : column.FieldName).split(u'|');
    for (const QString &part : parts)
        width = std::max(width, fm.horizontalAdvance(part) + 10);
    return std::min(width, 400);
}

void TUDBGrid::applyLayout()
{
    const bool titles = m_options & dgTitles;
    for (QTableView *v : {static_cast<QTableView *>(m_view), m_frozen}) {
        v->horizontalHeader()->setVisible(titles);
        v->verticalHeader()->setDefaultSectionSize(RowHeight());
        v->verticalHeader()->setMinimumSectionSize(RowHeight());
        v->setShowGrid(true);
        v->horizontalHeader()->updateGeometry();
        v->horizontalHeader()->resize(v->horizontalHeader()->width(), v->horizontalHeader()->sizeHint().height());
    }
    m_view->verticalHeader()->setVisible(m_options & dgIndicator);
    m_view->verticalHeader()->setFixedWidth(IndicatorWidth);
    loadWidths();
    m_layingOut = true;
    for (int c = 0; c < ColumnCount(); ++c) {
        const int kept = m_keptWidths.value(m_columns[c].FieldName.toUpper());
        const int w = kept > 0 ? kept : columnWidth(m_columns[c], ColumnField(c));
        m_view->setColumnWidth(c, w);
        m_frozen->setColumnWidth(c, w);
    }
    m_layingOut = false;
    // a changed header height reaches the viewport's margins only when the
    // view lays itself out again
    m_view->Relayout();
    SetFixedCols(m_fixedCols);
}

void TUDBGrid::attachFrozen(bool on)
{
    if (on == (m_frozen->model() == m_model))
        return;
    // a view over the model keeps a few bytes a row in its row header: the
    // frozen one holds the model only while columns are frozen
    if (!on) {
        m_frozen->setModel(nullptr);
        return;
    }
    m_frozen->setModel(m_model);
    m_frozen->setSelectionModel(m_view->selectionModel());
    m_frozen->verticalHeader()->setDefaultSectionSize(m_view->verticalHeader()->defaultSectionSize());
    for (int c = 0; c < ColumnCount(); ++c)
        m_frozen->setColumnWidth(c, m_view->columnWidth(c));
}

void TUDBGrid::UpdateFrozenGeometry()
{
    const int fixed = std::min(m_fixedCols, std::max(0, ColumnCount() - 1));
    attachFrozen(fixed > 0);
    for (int c = 0; c < ColumnCount(); ++c)
        m_frozen->setColumnHidden(c, c >= fixed);
    m_frozen->setVisible(fixed > 0);
    const int frame = m_view->frameWidth();
    const int left = frame + (m_view->verticalHeader()->isVisible() ? m_view->verticalHeader()->width() : 0);
    int width = 0;
    for (int c = 0; c < fixed; ++c)
        width += m_view->columnWidth(c);
    const int height = m_view->viewport()->height()
                       + (m_view->horizontalHeader()->isVisible() ? m_view->horizontalHeader()->height() : 0);
    m_frozen->horizontalHeader()->setFixedHeight(m_view->horizontalHeader()->height());
    m_frozen->setGeometry(left, frame, width, height);
    m_frozen->verticalScrollBar()->setValue(m_view->verticalScrollBar()->value());
    const bool corner = (m_options & dgIndicator) && m_view->horizontalHeader()->isVisible();
    m_corner->setVisible(corner);
    if (corner) {
        m_corner->setGeometry(frame, frame, m_view->verticalHeader()->width(), m_view->horizontalHeader()->height());
        m_corner->raise();
        m_corner->update();
    }
}

void TUDBGrid::RepaintTitles()
{
    if (!m_frozen || !m_corner)
        return;   // still being made
    for (QTableView *v : {static_cast<QTableView *>(m_view), m_frozen})
        v->horizontalHeader()->viewport()->update();
    m_corner->update();
}

void TUDBGrid::resizeEvent(QResizeEvent *)
{
    m_view->setGeometry(rect());
    UpdateFrozenGeometry();
}

void TUDBGrid::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_view->setFont(font());
        m_frozen->setFont(font());
        applyLayout();
    }
}

int TUDBGrid::RowHeight() const
{
    return QFontMetrics(font()).boundingRect(QStringLiteral("Wg")).height() + 3 + ((m_options & dgRowLines) ? 1 : 0);
}

int TUDBGrid::TitleLineHeight() const
{
    return QFontMetrics(m_view->horizontalHeader()->font()).boundingRect(QStringLiteral("Wg")).height() + 4;
}

// Column widths a person set are kept per grid of a window kind and the
// table its statement reads ("Widths/TSQLForm_SQLGrid/CUSTOMERS" in
// quarn.ini): a search or any other reopening, and the next start, show
// them again.
QString TUDBGrid::widthsKey() const
{
    const auto *query = dynamic_cast<const TQuery *>(DataSet());
    if (!query)
        return QString();
    const TSingleTableSelect sel = ParseSingleTableSelect(query->SQLText());
    const QString table = sel.Ok ? sel.BareTable : QString();
    return table.isEmpty() ? QString() : QStringLiteral("Widths/%1/%2").arg(GridName(), table.toUpper());
}

void TUDBGrid::loadWidths()
{
    const QString key = widthsKey();
    if (key == m_widthsKey)
        return;
    m_widthsKey = key;
    m_keptWidths.clear();
    if (key.isEmpty())
        return;
    for (const QString &item : ReadSetting(key).split(u';', Qt::SkipEmptyParts)) {
        const qsizetype eq = item.lastIndexOf(u'=');
        if (eq > 0)
            m_keptWidths.insert(item.left(eq), item.mid(eq + 1).toInt());
    }
}

void TUDBGrid::keepWidth(int column, int width)
{
    if (column < 0 || column >= ColumnCount() || width <= 0)
        return;
    m_keptWidths.insert(m_columns[column].FieldName.toUpper(), width);
    if (!m_widthsKey.isEmpty())
        m_saveWidths.start();
}

void TUDBGrid::saveWidths()
{
    if (m_widthsKey.isEmpty())
        return;
    QStringList items;
    for (auto it = m_keptWidths.cbegin(); it != m_keptWidths.cend(); ++it)
        items << it.key() + u'=' + QString::number(it.value());
    WriteSetting(m_widthsKey, items.join(u';'));
}

QString TUDBGrid::GridName() const
{
    const QWidget *w = window();
    // the database window holding the grid, below the main window
    for (const QWidget *p = parentWidget(); p; p = p->parentWidget())
        if (p->inherits("QMdiSubWindow") || p->isWindow()) {
            w = p;
            break;
        }
    return QString::fromLatin1(w->metaObject()->className()) + u'_' + objectName();
}

void TUDBGrid::SetSearchInUse(bool on)
{
    if (m_searchInUse == on)
        return;
    m_searchInUse = on;
    applyLayout();
}

void TUDBGrid::SetSearchColor(const QColor &c)
{
    m_searchColor = c;
    RepaintTitles();
}

void TUDBGrid::SetTitleRows(int rows)
{
    if (rows <= 0 || rows > 255 || rows == m_titleRows)
        return;
    m_titleRows = rows;
    applyLayout();
}

void TUDBGrid::SetFormatByWidth(bool on)
{
    m_formatByWidth = on;
    RepaintTitles();
}

void TUDBGrid::SetChoiceList(const QStringList &marks)
{
    m_conditions.ChoiceList = marks;
    m_view->viewport()->update();
    m_frozen->viewport()->update();
}

void TUDBGrid::SetChoiceColor(const QColor &c)
{
    m_choiceColor = c;
    m_view->viewport()->update();
}

void TUDBGrid::SetChoiceInvert(bool on)
{
    m_conditions.ChoiceInvert = on;
    m_view->viewport()->update();
    m_frozen->viewport()->update();
}

void TUDBGrid::SetFixedCols(int count)
{
    count = std::clamp(count, 0, MaxFixedCols);
    if (ColumnCount() > 0)
        count = std::min(count, ColumnCount() - 1);
    m_fixedCols = count;
    UpdateFrozenGeometry();
    if (count > 0)
        m_view->scrollTo(m_view->currentIndex());
}

void TUDBGrid::SetOptions(TUDBGridOptions options)
{
    m_options = options;
    applyLayout();
}

void TUDBGrid::SetReadOnly(bool on)
{
    m_readOnly = on;
}

TField *TUDBGrid::ColumnField(int column) const
{
    const TDataSet *ds = DataSet();
    if (!ds || column < 0 || column >= m_columns.size())
        return nullptr;
    return ds->FindField(m_columns[column].FieldName);
}

int TUDBGrid::SelectedIndex() const
{
    // an empty grid keeps its selected column all the same
    if (m_view->currentIndex().isValid())
        return m_view->currentIndex().column();
    return ColumnCount() > 0 ? std::clamp(m_selectedColumn, 0, ColumnCount() - 1) : -1;
}

void TUDBGrid::SetSelectedIndex(int column)
{
    if (column >= 0 && column < ColumnCount())
        m_selectedColumn = column;
    const int row = std::max(0, m_view->currentIndex().row());
    if (column >= 0 && column < ColumnCount() && row < m_model->rowCount())
        m_view->setCurrentIndex(m_model->index(row, column));
}

TField *TUDBGrid::SelectedField() const
{
    return ColumnField(SelectedIndex());
}

bool TUDBGrid::IsMarked(int modelRow) const
{
    bool marked = false;
    const TDataSet *ds = DataSet();
    if (ds && !m_conditions.ChoiceList.isEmpty()) {
        const int row = m_model->DataSetRow(modelRow);
        for (const QString &line : m_conditions.ChoiceList) {
            const qsizetype eq = line.indexOf(u'=');
            if (eq < 0)
                continue;
            const TField *field = SearchField(ds, line.left(eq));
            if (!field)
                continue;
            const QString text = row < 0 ? field->DisplayText() : field->DisplayTextOf(ds->RowValue(row, field));
            if (text == QStringView(line).mid(eq + 1)) {
                marked = true;
                break;
            }
        }
    }
    return marked != m_conditions.ChoiceInvert;
}

void TUDBGrid::ToggleMark(const QString &fieldName)
{
    const TDataSet *ds = DataSet();
    const TField *field = SearchField(ds, fieldName);
    if (!field || !ds->Active())
        return;
    const QString text = field->DisplayText();
    if (text.isEmpty())
        return;
    const QString line = field->FieldName() + u'=' + text;
    if (!m_conditions.ChoiceList.removeOne(line))
        m_conditions.ChoiceList << line;
    m_view->viewport()->update();
    m_frozen->viewport()->update();
}

void TUDBGrid::ClearMarks()
{
    SetChoiceList({});
}

void TUDBGrid::InvertMarks()
{
    SetChoiceInvert(!m_conditions.ChoiceInvert);
}

void TUDBGrid::ToggleRowSelection(int dataSetRow)
{
    m_anchorRow = m_anchorColumn = -1;
    m_firstColumn = 0;
    m_lastColumn = -1;   // rows chosen one by one: whole rows
    if (!m_selectedRows.remove(dataSetRow))
        m_selectedRows.insert(dataSetRow);
    m_view->viewport()->update();
    m_view->verticalHeader()->viewport()->update();
}

bool TUDBGrid::ColumnSelected(int column) const
{
    return m_lastColumn < 0 || (column >= m_firstColumn && column <= m_lastColumn);
}

void TUDBGrid::BeginSelection()
{
    const TDataSet *ds = DataSet();
    if (m_anchorRow >= 0 || !ds || !ds->Active() || ds->State() == dsInsert)
        return;
    m_anchorRow = ds->CurrentIndex();
    m_anchorColumn = SelectedIndex();
}

void TUDBGrid::ExtendSelection()
{
    const TDataSet *ds = DataSet();
    if (m_anchorRow < 0 || !ds || !ds->Active())
        return;
    const int row = ds->CurrentIndex(), column = SelectedIndex();
    m_selectedRows.clear();
    for (int r = std::min(row, m_anchorRow); r <= std::max(row, m_anchorRow); ++r)
        m_selectedRows.insert(r);
    m_firstColumn = std::min(column, m_anchorColumn);
    m_lastColumn = std::max(column, m_anchorColumn);
    m_view->viewport()->update();
    m_view->verticalHeader()->viewport()->update();
}

QString TUDBGrid::SelectionText(bool titles) const
{
    const TDataSet *ds = DataSet();
    if (!ds || !ds->Active() || ColumnCount() == 0)
        return QString();
    QList<int> rows = m_selectedRows.values();
    std::sort(rows.begin(), rows.end());
    int first = m_firstColumn, last = m_lastColumn < 0 ? ColumnCount() - 1 : m_lastColumn;
    if (rows.isEmpty()) {   // the current cell
        rows = {ds->CurrentIndex()};
        first = last = SelectedIndex();
    }
    // a value's own tabs and line breaks would make other cells of it
    const auto cell = [](QString text) { return text.replace(u'\t', u' ').replace(u'\r', u' ').replace(u'\n', u' '); };
    QStringList lines;
    if (titles) {
        QStringList line;
        for (int c = first; c <= last; ++c)
            line << cell(m_model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString().replace(u'|', u' '));
        lines << line.join(u'\t');
    }
    for (const int row : std::as_const(rows)) {
        QStringList line;
        for (int c = first; c <= last; ++c) {
            const TField *field = const_cast<TUDBGrid *>(this)->ColumnField(c);
            QString text = field ? field->DisplayTextOf(ds->RowValue(row, field)) : QString();
            if (const auto &map = m_columns[c].DisplayMap)
                text = map(text);
            line << cell(text);
        }
        lines << line.join(u'\t');
    }
    return lines.join(u'\n') + u'\n';
}

void TUDBGrid::CopySelection(bool titles) const
{
    QGuiApplication::clipboard()->setText(SelectionText(titles));
}

void TUDBGrid::ClearSelection()
{
    m_anchorRow = m_anchorColumn = -1;
    m_selectedRows.clear();
    m_view->viewport()->update();
    m_view->verticalHeader()->viewport()->update();
}

void TUDBGrid::FreeTextSearch(bool ask)
{
    TDataSet *ds = DataSet();
    if (!ds || !ds->Active())
        return;
    QString text = m_lastSearch;
    // "again" before any search asks for the text as a new search does
    if ((ask || text.isEmpty()) && !UserInterface().InputQuery(QStringLiteral("Поиск"), QStringLiteral("Введите строку поиска"), text))
        return;
    const bool again = text == m_lastSearch;
    m_lastSearch = text;
    const QString wanted = text.toUpper();
    const int start = again ? ds->CurrentIndex() + 1 : 0;
    const int home = ds->CurrentIndex();
    int foundRow = -1, foundField = -1;
    {
        TControlsDisabled quiet(*ds);
        for (int row = start; !wanted.isEmpty(); ++row) {
            if (row >= ds->FetchedCount() && ds->FetchUpTo(row + FetchBlock) <= row)
                break;
            for (int f = 0; f < ds->FieldCount() && foundRow < 0; ++f) {
                const TField *field = ds->Fields(f);
                if (field->DisplayTextOf(ds->RowValue(row, field)).toUpper().contains(wanted)) {
                    foundRow = row;
                    foundField = f;
                }
            }
            if (foundRow >= 0)
                break;
        }
        if (foundRow >= 0)
            ds->MoveTo(foundRow);
        else if (home >= 0)
            ds->MoveTo(home);
    }
    if (foundRow < 0) {
        UserInterface().MessageDlg(Format(QStringLiteral("Строка \"%s\" не найдена."), {text}), QString(),
                                   TUserInterface::mtInformation, {TUserInterface::mbOK});
        return;
    }
    const QString name = ds->Fields(foundField)->FieldName();
    for (int c = 0; c < ColumnCount(); ++c)
        if (m_columns[c].FieldName == name)
            SetSelectedIndex(c);
}

void TUDBGrid::DeleteRows()
{
    TDataSet *ds = DataSet();
    if (m_readOnly || !ds || !ds->Active() || ds->IsEmpty() || !ds->CanModify())
        return;
    if (m_options & dgConfirmDelete) {
        const QString question = m_selectedRows.size() < 2 ? QStringLiteral("Удалить запись?")
                                                            : QStringLiteral("Удалить все помеченные записи?");
        if (UserInterface().MessageDlg(question, QString(), TUserInterface::mtConfirmation,
                                       {TUserInterface::mbOK, TUserInterface::mbCancel})
            != TUserInterface::mbOK)
            return;
    }
    if (m_selectedRows.isEmpty()) {
        ds->Delete();
        return;
    }
    QList<int> rows = m_selectedRows.values();
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    TControlsDisabled quiet(*ds);
    for (int row : rows) {
        ds->MoveTo(row);
        ds->Delete();
        m_selectedRows.remove(row);
    }
}

void TUDBGrid::PopupMenuAtCorner()
{
    if (m_menu && SearchGrid())
        m_menu->PopupFor(*SearchGrid(), mapToGlobal(QPoint(0, 0)));
}

void TUDBGrid::moveDown()
{
    TDataSet *ds = DataSet();
    if (!ds || !ds->Active())
        return;
    const int row = m_view->currentIndex().row();
    if (row + 1 < m_model->rowCount()) {
        m_view->setCurrentIndex(m_model->index(row + 1, std::max(0, SelectedIndex())));
        return;
    }
    if (m_model->canFetchMore(QModelIndex())) {
        m_model->fetchMore(QModelIndex());
        if (row + 1 < m_model->rowCount()) {
            m_view->setCurrentIndex(m_model->index(row + 1, std::max(0, SelectedIndex())));
            return;
        }
    }
    // below the last row of an editable grid a new record is appended
    if (CanEdit() && !(ds->State() == dsInsert && !ds->Modified()))
        ds->Append();
}

bool TUDBGrid::KeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    TDataSet *ds = DataSet();
    const bool active = ds && ds->Active();
    const bool ctrl = modifiers & Qt::ControlModifier;
    const bool shift = modifiers & Qt::ShiftModifier;
    const bool alt = modifiers & Qt::AltModifier;
    const bool keypad = modifiers & Qt::KeypadModifier;
    TSearchDBGrid *grid = SearchGrid();
    const auto visibleRow = [&](int y) {
        int row = m_view->rowAt(y);
        return row < 0 ? m_model->rowCount() - 1 : row;
    };
    const auto goRow = [&](int row) {
        if (row >= 0 && row < m_model->rowCount())
            m_view->setCurrentIndex(m_model->index(row, std::max(0, SelectedIndex())));
    };

    if (keypad && !ctrl && !alt && !IsEditing()) {
        switch (key) {
        case Qt::Key_Slash: ClearMarks(); return true;
        case Qt::Key_Asterisk: InvertMarks(); return true;
        case Qt::Key_Plus:
            if (const TField *f = SelectedField())
                ToggleMark(f->FieldName());
            return true;
        default: break;
        }
    }
    if (ctrl) {
        switch (key) {
        case Qt::Key_PageUp: case Qt::Key_Up: goRow(visibleRow(0)); return true;
        case Qt::Key_PageDown: case Qt::Key_Down: goRow(visibleRow(m_view->viewport()->height() - 1)); return true;
        case Qt::Key_Home: if (active) ds->First(); return true;
        case Qt::Key_End: if (active) ds->Last(); return true;
        case Qt::Key_Left: SetSelectedIndex(0); return true;
        case Qt::Key_Right: SetSelectedIndex(ColumnCount() - 1); return true;
        case Qt::Key_Insert: if (CanEdit()) ds->Insert(); return true;
        case Qt::Key_Delete: DeleteRows(); return true;
        case Qt::Key_F: case Qt::Key_S: FreeTextSearch(true); return true;
        case Qt::Key_L: FreeTextSearch(false); return true;
        case Qt::Key_M: if (grid) CallHook(MemoViewHook, *grid); return true;
        case Qt::Key_C:
            if (IsEditing())
                return false;   // the editor's own copy
            CopySelection(shift);
            return true;
        case Qt::Key_F7: if (grid) CallHook(ReportListHook, *grid, true); return true;
        case Qt::Key_F8: if (grid) CallHook(SumHook, *grid); return true;
        default: break;
        }
    }
    if (alt) {
        switch (key) {
        case Qt::Key_F7: if (grid) CallHook(ReportHook, *grid, false); return true;
        case Qt::Key_F10: PopupMenuAtCorner(); return true;
        default: return false;
        }
    }
    switch (key) {
    case Qt::Key_Escape:
        if (active && (ds->State() == dsEdit || ds->State() == dsInsert) && !IsEditing())
            ds->Cancel();
        ClearSelection();
        return false;   // the view closes an open editor
    case Qt::Key_Insert:
        if (ctrl || shift || IsEditing())
            return false;
        if (!m_dataField.isEmpty())
            ToggleMark(m_dataField);
        moveDown();
        return true;
    case Qt::Key_Down:
        if (IsEditing() || shift)
            return false;
        moveDown();
        return true;
    case Qt::Key_Up:
        // leaving a new record that got no value drops it
        if (active && ds->State() == dsInsert && !ds->Modified() && !IsEditing()) {
            ds->Cancel();
            return true;
        }
        return false;
    case Qt::Key_F2:
        if (m_view->currentIndex().isValid())
            m_view->edit(m_view->currentIndex());
        return true;
    case Qt::Key_F7:
        SetFixedCols(m_fixedCols + (shift ? -1 : 1));
        return true;
    case Qt::Key_F8:
        if (grid) CallHook(StatementHook, *grid);
        return true;
    default:
        return false;
    }
}
