#pragma once

#include "Engine.h"
#include "Fields.h"
#include "RowStore.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

class TDataSource;

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// What a dataset tells its data sources.
enum TDataEvent {
    deFieldChange,      // a field of the current record got a value (the field is given)
    deRecordChange,     // the current record was changed as a whole (post, cancel)
    deDataSetChange,    // rows came or went, the dataset was opened, closed or refreshed
    deDataSetScroll,    // another record became current
    deLayoutChange,     // fields changed their look (labels, widths, visibility)
    deUpdateState       // the state changed (browse, edit, insert, inactive)
};

// A remembered record. Stays valid while the record is in the dataset.
struct TBookmark {
    qint64 Id = -1;
    bool IsValid() const { return Id >= 0; }
};

// The common part of every dataset: an ordered list of fields, a cache of
// the rows read so far (read on demand, never all up front), a current
// record, bookmarks, editing with an edit buffer, and notification of the
// attached data sources. Kinds of dataset supply the rows and carry out the
// edits through the protected hooks.
class TDataSet {
public:
    TDataSet();
    virtual ~TDataSet();
    TDataSet(const TDataSet &) = delete;
    TDataSet &operator=(const TDataSet &) = delete;

    // The component name used in messages ("%s: Поле '%s' не найдено").
    const QString &Name() const { return m_name; }
    void SetName(const QString &n) { m_name = n; }

    void Open();
    void Close();
    bool Active() const { return m_state != dsInactive; }
    void SetActive(bool on) { on ? Open() : Close(); }
    TDataSetState State() const { return m_state; }
    bool Modified() const { return m_modified; }

    // A one-directional dataset keeps only its current record: it moves
    // forward, and First only before the first move.
    bool IsUniDirectional() const { return m_uniDirectional; }
    void SetUniDirectional(bool on);

    // Navigation. Next at the last record sets Eof and stays; Prior at the
    // first sets Bof.
    void First();
    void Next();
    void Prior();
    void Last();
    int MoveBy(int distance);
    bool Eof() const { return m_eof; }
    bool Bof() const { return m_bof; }
    bool IsEmpty() const;
    // 1-based number of the current record (0 when none).
    int RecNo() const;
    // Reads every row to count them.
    int RecordCount();
    // Rows at hand (what a grid may show without reading further): the
    // rows read so far, or every row of a windowed result once counted.
    int FetchedCount() const;
    // Makes sure rows up to `count` are at hand; returns how many there are.
    int FetchUpTo(int count);
    // Whether every row is at hand or counted (FetchedCount is final).
    bool AllFetched() const;
    // Whether rows are reached by position in windows (a grid's result of
    // any size) rather than read in order and kept.
    bool Windowed() const { return m_windowed; }
    // Moves to the record with the 0-based number `index`.
    void MoveTo(int index);
    // The value of a field of any read row, without moving (for grids).
    // The row being edited gives its edited values; a record being inserted
    // is not among the read rows: its values are the fields' own.
    QVariant RowValue(int index, const TField *field) const;
    // 0-based index of the current row among the read rows (-1 when none);
    // while inserting, the row the new record is put before.
    int CurrentIndex() const { return int(m_cur); }
    // The record being inserted goes after the last row.
    bool Appending() const { return m_appending; }

    TBookmark GetBookmark() const;
    void GotoBookmark(const TBookmark &b);
    void FreeBookmark(TBookmark &b) { b.Id = -1; }
    bool BookmarkValid(const TBookmark &b) const;

    // Fields.
    int FieldCount() const { return int(m_fields.size()); }
    TField *Fields(int i) const { return m_fields.at(size_t(i)).get(); }
    TField *FindField(const QString &name) const;      // nullptr when missing
    TField *FieldByName(const QString &name) const;    // raises "%s: Поле '%s' не найдено"
    QStringList FieldNames() const;

    // Data sources are not told about changes while controls are disabled;
    // the calls nest, and the last EnableControls tells them once.
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return m_disableCount > 0; }

    // Editing.
    virtual bool CanModify() const;
    void Append();
    void Insert();
    void Edit();
    void Post();
    void Cancel();
    void Delete();   // raises "Невозможно выполнить эту операцию на пустом наборе данных" when empty
    void AppendRecord(const QVariantList &values);
    void InsertRecord(const QVariantList &values);
    // Re-reads the rows and returns to the same record (by key where known,
    // else by position).
    void Refresh();
    // Raises unless the dataset is open.
    void CheckActive() const;
    // Ends an edit before the rows are read again: a changed record is
    // posted (a failed post raises, and the edit stays), an untouched one
    // (a new row left empty) is cancelled.
    void CheckBrowseMode();

    // Events.
    std::function<void(TDataSet &)> BeforeOpen, AfterOpen, BeforeClose, BeforePost, AfterPost, OnNewRecord,
        AfterScroll;

    // The database object the dataset used is going away.
    virtual void DatabaseDestroyed() {}

    // Used by fields.
    const QVariant &CurrentValue(int column) const;
    // All the current record's values (the edit buffer while editing or
    // inserting), or null without a current record: for reading many
    // fields of a record at once (TField::ValueIn).
    const QVariant *CurrentValues() const
    {
        return m_state == dsEdit || m_state == dsInsert ? m_buffer.data() : CurrentRow();
    }
    void SetFieldValue(TField *field, const QVariant &value);
    // Used by data sources.
    void AddDataSource(TDataSource *ds);
    void RemoveDataSource(TDataSource *ds);
    // Tells data sources; fields call it when their look changed.
    void DataEvent(TDataEvent event, TField *field = nullptr);

protected:
    // Supplies the columns and gets ready to fetch (after the fields were
    // created with CreateFields).
    virtual void InternalOpen() = 0;
    // The rows by position, when the kind of dataset opened them so: the
    // window and its first rows (handed over). Null: rows are fetched in
    // order (InternalFetch).
    virtual TRowWindow *InternalWindow(std::vector<QVariant> &first, int &firstCount)
    {
        Q_UNUSED(first);
        Q_UNUSED(firstCount);
        return nullptr;
    }
    // Reads the next row into `row` (RowWidth() values); false at the end.
    virtual bool InternalFetch(QVariant *row) = 0;
    virtual void InternalClose() {}
    // Writes an edited or new record. `row` holds the edit buffer; the hook
    // may complete it (keys, defaults) from what the engine returns.
    virtual void InternalPost(bool inserting, const QVariant *oldRow, std::vector<QVariant> &row,
                              const std::vector<bool> &assigned);
    virtual void InternalDelete(const QVariant *row);
    // Values that identify a row across a re-read (empty: by position).
    virtual QVariantList RowKey(const QVariant *row) const;
    // The columns whose values find a row of the table again, whatever its
    // key holds (empty: the rows are not written back).
    virtual std::vector<int> IdentityColumns() const { return {}; }

    // Creates one field per visible column; hidden columns get no field but
    // take a place in the row.
    void CreateFields(const QList<TColumnDesc> &columns, bool enableBCD = false);
    void DestroyFields();
    int RowWidth() const { return m_width; }
    // The position of a field's value in the row.
    static int ColumnOf(const TField *f) { return f->m_column; }
    const QList<TColumnDesc> &ColumnDescs() const { return m_columns; }
    const QVariant *CurrentRow() const;
    void SetModified(bool m) { m_modified = m; }

private:
    void setCurrent(qint64 index, bool notify = true);
    void makeStore();
    // Rows held by the store (0 without one).
    qint64 count() const { return m_store ? m_store->Count() : 0; }
    void setState(TDataSetState s);
    void startEdit(TDataSetState s, bool append);
    void dataEvent(TDataEvent e, TField *f);

    QString m_name;
    TDataSetState m_state = dsInactive;
    bool m_modified = false;
    bool m_uniDirectional = false;
    std::vector<std::unique_ptr<TField>> m_fields;
    QList<TColumnDesc> m_columns;
    int m_width = 0;

    // The rows of the result (see RowStore.h): forward for a
    // one-directional dataset, windowed where the kind of dataset reads rows
    // by position, else cached.
    std::unique_ptr<TRowStore> m_store;
    bool m_windowed = false;
    // The current row, decoded when first asked for; it is the row
    // m_currentAt as of the store's generation m_currentGen.
    mutable std::vector<QVariant> m_current;
    mutable qint64 m_currentAt = -1;
    mutable quint64 m_currentGen = 0;
    qint64 m_cur = -1;              // index of the current row; -1 when none
    bool m_eof = true;
    bool m_bof = true;

    std::vector<QVariant> m_buffer;   // the record being edited or inserted
    std::vector<bool> m_assigned;     // which columns of it got a value
    bool m_appending = false;

    int m_disableCount = 0;
    bool m_changedWhileDisabled = false;
    std::vector<TDataSource *> m_sources;
};

// Binds one dataset to any number of grids and edit controls. A control
// registers a link and is told every change of the dataset's records and
// state.
class TDataSource {
public:
    explicit TDataSource(TDataSet *dataSet = nullptr);
    ~TDataSource();
    TDataSource(const TDataSource &) = delete;
    TDataSource &operator=(const TDataSource &) = delete;

    TDataSet *DataSet() const { return m_dataSet; }
    void SetDataSet(TDataSet *ds);
    TDataSetState State() const { return m_dataSet ? m_dataSet->State() : dsInactive; }
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool on);

    using TLink = std::function<void(TDataEvent event, TField *field)>;
    // Registers a control; returns its id for RemoveLink.
    int AddLink(TLink link);
    void RemoveLink(int id);

    // Called on a change of data (field given for a single field), on a
    // change of state.
    std::function<void(TField *field)> OnDataChange;
    std::function<void()> OnStateChange;

private:
    friend class TDataSet;
    void notify(TDataEvent event, TField *field);

    TDataSet *m_dataSet = nullptr;
    bool m_enabled = true;
    int m_nextLink = 1;
    std::vector<std::pair<int, TLink>> m_links;
};

// A read-only dataset whose rows are given in memory (the catalog lists).
class TListDataSet : public TDataSet {
public:
    TListDataSet() = default;

protected:
    // Supplies the columns and all rows of the list.
    virtual void LoadList(QList<TColumnDesc> &columns, QList<QVariantList> &rows) = 0;
    void InternalOpen() override;
    bool InternalFetch(QVariant *row) override;
    void InternalClose() override { m_list.clear(); }
    bool CanModify() const override { return false; }

private:
    QList<QVariantList> m_list;
    int m_next = 0;
};
