#pragma once

#include "DataSet.h"
#include "Database.h"
#include "Params.h"
#include "SqlText.h"

#include <QStringList>

enum TUpdateMode { upWhereAll, upWhereChanged, upWhereKeyOnly };

// A dataset over an engine statement: belongs to a database by name, reads
// the statement's rows on demand and, when the result is editable, writes
// edits back to the one table by its key fields. With cached updates the
// edits are kept until ApplyUpdates.
class TDBDataSet : public TDataSet {
public:
    TDBDataSet() = default;
    ~TDBDataSet() override;

    const QString &DatabaseName() const { return m_databaseName; }
    void SetDatabaseName(const QString &name);
    // Binds to an open database object directly (its name is taken).
    void SetDatabase(TDatabase *db);
    // The database, opened through the session when needed.
    TDatabase *Database();

    bool CanModify() const override;
    void DatabaseDestroyed() override;
    TUpdateMode UpdateMode() const { return m_updateMode; }
    void SetUpdateMode(TUpdateMode m) { m_updateMode = m; }

    bool CachedUpdates() const { return m_cachedUpdates; }
    void SetCachedUpdates(bool on);
    bool UpdatesPending() const { return !m_pending.empty(); }
    // Writes the kept edits in order (inside a transaction of its own when
    // none is open); on failure nothing is written and the edits are kept.
    void ApplyUpdates();
    // Forgets the kept edits after they were applied.
    void CommitUpdates() { m_pending.clear(); }
    // Drops the kept edits and re-reads the rows.
    void CancelUpdates();

    // The key fields of an editable result (empty when read-only).
    const QStringList &KeyFields() const { return m_keyNames; }
    // The table an editable result writes its rows to, as the catalog
    // names it (empty when read-only).
    QString EditedTable() const { return m_live ? m_table : QString(); }
    // The column of that table a field of the result is written to (empty
    // for a read-only field and a read-only result).
    QString WrittenColumn(const TField *field) const;

    // Whether the open result is read straight through the engine's own
    // library (one-directional, read-only datasets where the engine can)
    // rather than through the Qt driver.
    bool ReadsDirect() const { return m_source && m_source->Direct(); }
    // Whether the rows were asked for by position (a scrollable result).
    bool ReadsWindows() const { return m_window != nullptr; }
    // The number of the statement's rows and, with `sum`, the sum of the
    // number column `column`, counted by the engine over the statement as
    // it stands (watched: the person may stop it). False, and nothing
    // counted, when the rows are not read by position, edits are kept for
    // later, or the engine takes the statement as no subquery: the caller
    // walks the rows then.
    bool EngineTotals(const QString &column, bool sum, qint64 &count, double &total);

protected:
    // The statement to open, with parameter values in place.
    virtual QString SelectText() = 0;
    // Whether the result should be editable.
    virtual bool WantsLive() const = 0;
    void InternalOpen() override;
    bool InternalFetch(QVariant *row) override;
    TRowWindow *InternalWindow(std::vector<QVariant> &first, int &firstCount) override;
    void InternalClose() override;
    void InternalPost(bool inserting, const QVariant *oldRow, std::vector<QVariant> &row,
                      const std::vector<bool> &assigned) override;
    void InternalDelete(const QVariant *row) override;
    QVariantList RowKey(const QVariant *row) const override;
    std::vector<int> IdentityColumns() const override;
    // Runs `sql` on the database; raises ENoResultSet when it returns no rows.
    void OpenStatement(const QString &sql);
    int m_rowsAffected = -1;

private:
    struct Pending {
        enum Kind { Insert, Update, Delete } kind;
        std::vector<QVariant> oldRow, newRow;
        std::vector<bool> assigned;
    };
    void writeRow(Pending::Kind kind, const QVariant *oldRow, std::vector<QVariant> &row,
                  const std::vector<bool> &assigned);
    void prepareLive(const QString &sql, QString &toRun);
    void describeLive(QList<TColumnDesc> &cols);

    QString m_databaseName;
    TDatabase *m_database = nullptr;
    std::unique_ptr<TRowSource> m_source;   // rows read in order
    std::unique_ptr<TRowWindow> m_window;   // or by position (scrollable results)
    std::vector<QVariant> m_firstWindow;    // its first rows, until the dataset takes them
    int m_firstWindowCount = 0;
    TUpdateMode m_updateMode = upWhereKeyOnly;
    bool m_cachedUpdates = false;
    std::vector<Pending> m_pending;

    // Editable results. The statement run selects the table's key (and its
    // row number, where it has one) in hidden columns ahead of its own, so
    // that a row is always found by the values the table holds, whatever
    // the statement's own columns are named.
    bool m_live = false;
    QString m_table;
    TTableKey m_tableKey;
    QStringList m_keyNames;          // the key's columns, or the row number's name
    std::vector<int> m_keyColumns;   // the row positions of the key's hidden values
    int m_rowIdColumn = -1;          // the row position of the hidden row number
    int m_hidden = 0;                // hidden columns at the start of each row
    std::vector<QString> m_origins;  // per row position: the table column written back ("": read-only)
};

// A query: SQL text as lines, named parameters `:Name`, a master data
// source whose current record fills parameters left without a value.
class TQuery : public TDBDataSet {
public:
    TQuery() = default;

    const QStringList &SQL() const { return m_sql; }
    QString SQLText() const { return m_sql.join(QStringLiteral("\r\n")); }
    // Replacing the text closes the query and re-reads its parameters;
    // parameters that keep their name keep their values.
    void SetSQL(const QStringList &lines);
    void SetSQLText(const QString &text);
    void InsertFirstLine(const QString &line);
    void AddLine(const QString &line);
    void ClearSQL() { SetSQL({}); }

    TParams &Params() { return m_params; }
    int ParamCount() const { return m_params.Count(); }
    TParam &ParamByName(const QString &name) { return m_params.ParamByName(name); }
    // Without parameter checking the text is sent as written, colons and all.
    bool ParamCheck() const { return m_paramCheck; }
    void SetParamCheck(bool on);

    bool RequestLive() const { return m_requestLive; }
    void SetRequestLive(bool on) { m_requestLive = on; }
    TDataSource *DataSource() const { return m_master; }
    void SetDataSource(TDataSource *ds) { m_master = ds; }

    // Statements sent through ExecSQL and Open begin a transaction when none
    // is open (the SQL editor's behaviour).
    bool ImplicitTransaction() const { return m_implicitTransaction; }
    void SetImplicitTransaction(bool on) { m_implicitTransaction = on; }

    void Prepare() { m_prepared = true; }
    void UnPrepare() { m_prepared = false; }
    bool Prepared() const { return m_prepared; }

    // Runs a statement without a result set. "COMMIT" and "ROLLBACK" end the
    // open transaction and do nothing without one.
    void ExecSQL();
    // Rows touched by the last execution; -1 when the engine cannot tell.
    int RowsAffected() const { return m_rowsAffected; }

    // The statement with parameter values written in as literals.
    QString ExpandedSQL();

protected:
    QString SelectText() override;
    bool WantsLive() const override { return m_requestLive; }

private:
    void parseParams();
    bool runTransactionWord(const QString &sql);

    QStringList m_sql;
    TParams m_params;
    QList<TSqlParamMark> m_marks;
    bool m_paramCheck = true;
    bool m_requestLive = false;
    bool m_implicitTransaction = false;
    bool m_prepared = false;
    TDataSource *m_master = nullptr;
};

// A whole table, editable by its key.
class TTable : public TDBDataSet {
public:
    TTable() = default;
    const QString &TableName() const { return m_tableName; }
    void SetTableName(const QString &name);
    // Deletes every record of the table (the dataset may be open or closed).
    void EmptyTable();

protected:
    QString SelectText() override;
    bool WantsLive() const override { return true; }

private:
    QString m_tableName;
};

// A stored procedure: a name, its parameters read from the catalog, run
// without a result set; output parameters receive the returned values.
class TStoredProc {
public:
    TStoredProc() = default;
    const QString &DatabaseName() const { return m_databaseName; }
    void SetDatabaseName(const QString &name) { m_databaseName = name; m_prepared = false; }
    void SetDatabase(TDatabase *db);
    const QString &StoredProcName() const { return m_name; }
    void SetStoredProcName(const QString &name) { m_name = name; m_prepared = false; }

    // Reads the parameters from the catalog; the first use of the
    // parameters or ExecProc does it when needed.
    void Prepare();
    bool Prepared() const { return m_prepared; }
    TParams &Params() { if (!m_prepared) Prepare(); return m_params; }
    int ParamCount() { return Params().Count(); }
    TParam &ParamByName(const QString &name) { return Params().ParamByName(name); }
    void ExecProc();

private:
    TDatabase *database();

    QString m_databaseName;
    TDatabase *m_database = nullptr;
    QString m_name;
    TParams m_params;
    bool m_prepared = false;
    bool m_isProcedure = false;
};
