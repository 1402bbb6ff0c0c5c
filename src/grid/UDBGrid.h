#pragma once

#include "GridConditions.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QHash>
#include <QHeaderView>
#include <QSet>
#include <QTableView>
#include <QTimer>
#include <QWidget>
#include <functional>

class TDBGridPopupMenu;
class TDataSet;
class TDataSource;
class TField;
class TSearchDBGrid;
class TUDBGrid;

// Grid options; the default set is what a data grid usually has.
enum TUDBGridOption {
    dgEditing = 0x1,          // cells can be edited when the dataset allows it
    dgAlwaysShowEditor = 0x2, // Esc does not hide the cell editor
    dgTitles = 0x4,           // the title row is shown
    dgIndicator = 0x8,        // the row indicator column is shown
    dgConfirmDelete = 0x10,   // Ctrl+Del asks first
    dgMultiSelect = 0x20,     // several rows can be selected (Ctrl+click)
    dgRowLines = 0x40,        // lines between rows (they add to the row height)
};
using TUDBGridOptions = int;
constexpr TUDBGridOptions DefaultGridOptions = dgEditing | dgTitles | dgIndicator | dgConfirmDelete | dgRowLines;

// A column of the grid: a dataset field shown under a title. The columns
// are made from the dataset's visible fields; what the owner set on a
// column (title, pick list, width) stays with the field's name when the
// dataset is opened again.
struct TUColumn {
    QString FieldName;
    QString Title;           // empty: the field's display label; "|" splits it into lines
    QStringList PickList;    // values offered by the cell editor's drop-down
    int Width = 0;           // pixels; 0: from the field's display width
    Qt::Alignment TitleAlignment = Qt::AlignLeft;
    // Shows the field's text otherwise ("L" as "Горизонтальная"); none: as it is.
    std::function<QString(const QString &text)> DisplayMap;
};

// The model of a grid's dataset: rows are read from the dataset as the view
// needs them (never all up front), values are the dataset's cached rows
// formatted by their fields. While a record is inserted the model has one
// row more, the new record, where the dataset will put it.
class TUGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TUGridModel(TUDBGrid &grid);

    // true for a cell holding NULL, which the grid marks apart from an empty
    // text (memos and blobs say it in their own words)
    static constexpr int NullRole = Qt::UserRole + 1;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

    // The model row of the dataset's current record (-1 when none).
    int CurrentRow() const;
    // The dataset row shown in a model row; -1 for the record being inserted.
    int DataSetRow(int modelRow) const;
    // The model row of the record being inserted; -1 when none is.
    int InsertRow() const;
    // Starts over from the dataset (opened, closed, refreshed).
    void Reset();
    // Exposes the rows the dataset has read meanwhile (after a move far
    // down); true when the row count changed.
    bool SyncRowCount();
    // The current record changed in place.
    void CurrentRowChanged();
    // The view painted a screen: a result read in windows is counted now.
    void Painted();

private:
    // Counts the rows of a result read in windows, once its first screen
    // is shown, so that the scroll bar reaches every row (`reset`: the
    // Reset that asked for it; a later one makes it moot).
    void countRows(quint64 reset);

    TUDBGrid &m_grid;
    int m_exposed = 0;       // dataset rows the view knows of
    bool m_inserting = false;
    bool m_allFetched = true;
    quint64 m_resets = 0;
    bool m_countAsked = false;   // once the first screen is painted
};

// The title row and, beneath it, the search row: the column titles on
// TitleRows lines and the typed search values in SearchColor. Both stay
// when the rows scroll.
class TUTitleHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit TUTitleHeader(TUDBGrid &grid);
    QSize sizeHint() const override;
    // The title's lines for a column of the given width.
    QStringList TitleLines(int column, int width) const;

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    // a click on a title (not on its edge, which resizes, nor on the search
    // row below it) goes to the grid
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    TUDBGrid &m_grid;
    int m_pressed = -1;
    QPoint m_pressedAt;
};

// The row indicator: the current row, a row being edited or inserted, and
// the rows selected for multi-row operations.
class TUIndicatorHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit TUIndicatorHeader(TUDBGrid &grid);
    QSize sizeHint() const override;

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;

private:
    TUDBGrid &m_grid;
};

// The table view of the grid: hands keys and clicks to the grid first, keeps
// the current cell out from under the frozen columns.
class TUGridView : public QTableView {
    Q_OBJECT
public:
    explicit TUGridView(TUDBGrid &grid, QWidget *parent);
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    bool IsEditing() const { return state() == EditingState; }
    using QTableView::edit;
    // Lays the headers and the viewport out again (after their sizes changed).
    void Relayout() { updateGeometries(); }
    // Scrolls to a row the model has just exposed, laying out its rows first.
    void ShowRow(const QModelIndex &index)
    {
        executeDelayedItemsLayout();
        scrollTo(index);
    }

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;

private:
    TUDBGrid &m_grid;
    bool m_extending = false;   // a Shift move being made
};

// The data grid of the program: columns bound to the fields of a dataset,
// a row indicator, multi-line titles with the search row beneath them,
// marks by value, frozen columns, a colour hook per cell, in-cell editing
// with a pick list, several selected rows, a free-text search and a key map
// through which many keys reach other features. Every grid window uses its
// searchable descendant TSearchDBGrid.
class TUDBGrid : public QWidget {
    Q_OBJECT
public:
    explicit TUDBGrid(QWidget *parent = nullptr);
    ~TUDBGrid() override;

    TDataSource *DataSource() const { return m_dataSource; }
    void SetDataSource(TDataSource *source);
    TDataSet *DataSet() const;

    // Properties; each repaints the grid when changed.
    bool SearchInUse() const { return m_searchInUse; }
    void SetSearchInUse(bool on);
    QColor SearchColor() const { return m_searchColor; }
    void SetSearchColor(const QColor &c);
    int TitleRows() const { return m_titleRows; }
    void SetTitleRows(int rows);            // 0 is refused (the value stays)
    bool FormatByWidth() const { return m_formatByWidth; }
    void SetFormatByWidth(bool on);
    QStringList &ChoiceList() { return m_conditions.ChoiceList; }
    void SetChoiceList(const QStringList &marks);
    QColor ChoiceColor() const { return m_choiceColor; }
    void SetChoiceColor(const QColor &c);
    bool ChoiceInvert() const { return m_conditions.ChoiceInvert; }
    void SetChoiceInvert(bool on);
    const QString &DataField() const { return m_dataField; }
    void SetDataField(const QString &name) { m_dataField = name; }
    int FixedCols() const { return m_fixedCols; }
    void SetFixedCols(int count);           // 0 to 7, at most the column count less one
    QString RptGroup, RptName;
    std::function<void(TField *field, QColor &color)> OnDrawColor;
    // The rows of a result read in windows were counted.
    std::function<void()> OnRowsCounted;
    TUDBGridOptions Options() const { return m_options; }
    void SetOptions(TUDBGridOptions options);
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool on);

    // The typed search values ("FIELD=value" lines; "^": cleared).
    QStringList &SearchValues() { return m_conditions.SearchValues; }
    // What the grid applied to its query and holds ready to apply.
    TGridConditions &Conditions() { return m_conditions; }
    const TGridConditions &Conditions() const { return m_conditions; }

    // The grid's name: the class name of the window holding it, "_" and
    // its own object name (TSQLForm_SQLGrid). It names the grid's table
    // states and reports.
    QString GridName() const;

    // Columns. They follow the dataset's fields; the fields named here come
    // first, in this order (a list window's own column order).
    void SetColumnOrder(const QStringList &fieldNames) { m_columnOrder = fieldNames; }
    int ColumnCount() const { return int(m_columns.size()); }
    TUColumn &Column(int i) { return m_columns[i]; }
    TField *ColumnField(int column) const;
    // The column of the current cell (-1 when none) and its field.
    int SelectedIndex() const;
    void SetSelectedIndex(int column);
    TField *SelectedField() const;

    // Marks by value.
    bool IsMarked(int modelRow) const;
    // Adds or removes the mark "FIELD=display text" of the current record.
    void ToggleMark(const QString &fieldName);
    void ClearMarks();
    void InvertMarks();

    // Rows selected for multi-row operations (dataset rows).
    const QSet<int> &SelectedRows() const { return m_selectedRows; }
    void ToggleRowSelection(int dataSetRow);
    void ClearSelection();
    // Whether a column is in the selection's columns (all of them for rows
    // chosen with Ctrl+click, the range from the anchor with Shift).
    bool ColumnSelected(int column) const;
    // Shift with an arrow or a click: the cells from the anchor (the
    // current cell when the selection began) to the current cell.
    void ExtendSelection();
    void BeginSelection();
    bool ShiftSelecting() const { return m_anchorRow >= 0; }
    // The selected cells as tab-separated lines, the values as the grid
    // shows them (NULL as nothing), with the columns' titles first when
    // asked; the current cell when nothing is selected.
    QString SelectionText(bool titles) const;
    void CopySelection(bool titles) const;

    // Free-text search over every field: asking shows the input box first,
    // repeating goes on with the last text.
    void FreeTextSearch(bool ask);
    const QString &LastSearchText() const { return m_lastSearch; }

    // The keys of the grid; true when the key was taken. Descendants decode
    // theirs first.
    virtual bool KeyDown(int key, Qt::KeyboardModifiers modifiers);
    // A typed character (Backspace included) that goes to the search row.
    virtual void SearchKeyPress(QChar) {}
    // The colour of the top-left corner; invalid: painted normally.
    virtual QColor StatusColor() const { return QColor(); }
    // A click on a column's title (with Ctrl: `add`); the place of the
    // column in the sort order in force, 1 for the first, negative when
    // descending, 0 when it does not sort.
    virtual void TitleClicked(int column, bool add) { Q_UNUSED(column); Q_UNUSED(add); }
    virtual int SortPlace(int column) const { Q_UNUSED(column); return 0; }

    // Deletes the current row or, when rows are selected, all of them,
    // asking first with the confirm-delete option.
    void DeleteRows();
    // Shows the context menu at the grid's top-left corner.
    void PopupMenuAtCorner();

    TUGridView *View() const { return m_view; }
    QTableView *FrozenView() const { return m_frozen; }
    TUGridModel *Model() const { return m_model; }
    bool IsEditing() const { return m_view->IsEditing(); }
    bool CanEdit() const;
    // Height of a data row and of one title line, in pixels.
    int RowHeight() const;
    int TitleLineHeight() const;

    // Used by the view and the model.
    void ViewRowChanged(int row, int previousRow);
    // The model exposed rows the dataset counted.
    void RowsCounted();
    void NoteSelectedColumn(int column) { m_selectedColumn = column; }
    void CellDoubleClicked();
    void UpdateFrozenGeometry();
    void attachFrozen(bool on);
    QString widthsKey() const;
    void loadWidths();
    void keepWidth(int column, int width);
    void saveWidths();
    void RepaintTitles();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    TSearchDBGrid *SearchGrid();

private:
    void dataEvent(int event);
    void rebuildColumns();
    void applyLayout();
    void showDataSetRow();
    void moveDown();
    int columnWidth(const TUColumn &column, const TField *field) const;

    TDataSource *m_dataSource = nullptr;
    int m_linkId = 0;
    TUGridModel *m_model = nullptr;
    TUGridView *m_view = nullptr;
    QTableView *m_frozen = nullptr;
    QWidget *m_corner = nullptr;
    QList<TUColumn> m_columns;
    QStringList m_columnFields;   // field names the columns were made for
    QStringList m_columnOrder;

    TGridConditions m_conditions;
    bool m_searchInUse = true;
    QColor m_searchColor = Qt::blue;
    int m_titleRows = 2;
    bool m_formatByWidth = false;
    QColor m_choiceColor = Qt::magenta;
    QString m_dataField;
    int m_fixedCols = 0;
    int m_selectedColumn = 0;
    TUDBGridOptions m_options = DefaultGridOptions;
    bool m_readOnly = false;
    QSet<int> m_selectedRows;
    bool m_layingOut = false;             // widths set by the grid, not by a person
    QString m_widthsKey;                  // where the kept widths are in quarn.ini
    QHash<QString, int> m_keptWidths;     // field name (capitals) -> pixels
    QTimer m_saveWidths;                  // a drag's last width saved
    int m_anchorRow = -1, m_anchorColumn = -1;   // where a Shift selection began
    int m_firstColumn = 0, m_lastColumn = -1;    // the selection's columns; -1: all
    QString m_lastSearch;
    bool m_syncing = false;   // the view follows the dataset: no move back
    TDBGridPopupMenu *m_menu = nullptr;   // shared by every grid, not owned
};
