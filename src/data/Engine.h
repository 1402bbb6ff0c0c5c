#pragma once

#include "DBError.h"
#include "Fields.h"
#include "Params.h"
#include "SqlText.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

class TDatabase;
struct TAlias;

// What the engine tells of one result column or one table column.
struct TColumnDesc {
    QString Name;
    TFieldType Type = ftUnknown;
    int Size = 0;           // characters of a string field
    int Precision = 0;      // digits of a number, or the declared length
    int Scale = 0;          // decimals
    QString Table;          // base table of a result column, when known
    QString Origin;         // the base table's column name, when known
    // Where the engine says a result column comes from: the identity of its
    // base table (TTableKey::Identity) and the column's number in it (or,
    // where the engine names it, Origin). Empty for expressions, aggregates,
    // subqueries of other tables and anything else that is no column.
    QString TableId;
    int OriginNo = 0;
    bool AutoInc = false;
    bool Required = false;  // NOT NULL without a default
    bool NotNull = false;   // NOT NULL (a table's column)
    bool Hidden = false;    // a key column the data layer added itself
    QString DeclaredType;   // the engine's own type name
};

// A table of the catalog.
struct TTableInfo {
    QString Name;          // owner-qualified ("schema.table") outside the default schema
    QString Extension;
    bool View = false;
    QDateTime Modified;    // invalid when unknown
};

struct TIndexInfo {
    QString Name;
    bool Unique = false;
};

// How the rows of one table are found again to be written: what a result
// column's TableId must be to belong to it, the columns of its key, and
// the hidden row number where the engine has one.
struct TTableKey {
    QString Identity;       // the TableId of the table's own columns
    bool Writable = false;  // a base table the connection may change (no view)
    // The primary key, else the shortest unique key whose columns are all
    // NOT NULL; empty when the table has neither.
    QStringList Columns;
    // SQLite: the name of the row number ("rowid", "_rowid_" or "oid") that
    // no column of the table shadows, empty for tables without one. Rows
    // found by it are also matched on the old values of every column read.
    QString RowId;
};

// One row to write: an INSERT, or an UPDATE or DELETE of exactly the row
// whose key (and old values) are given.
struct TRowWrite {
    enum TKind { Insert, Update, Delete } Kind = Update;
    QString Table;   // as the catalog names it
    struct TValue {
        QString Column;
        QVariant Value;
        TFieldType Type = ftUnknown;
        QString DeclaredType;   // TColumnDesc::DeclaredType of the column
    };
    QList<TValue> Set;     // INSERT/UPDATE: the new values
    QList<TValue> Key;     // UPDATE/DELETE: column = value, never NULL
    QList<TValue> Match;   // UPDATE/DELETE: the column still holds its old value (NULL too)
    QString RowId;         // the row number's name, where the table has one
    QVariant RowIdValue;   // UPDATE/DELETE: the row's number (invalid: not matched by it)
    // What to hand back of the written row: table columns, and the row
    // number (RowId) when ReturnRowId is set, last.
    QStringList Returning;
    bool ReturnRowId = false;
};

// The rows of one open statement, read forward once. The values are what
// the driver returned, except where the engine normalises them (money).
class TRowSource {
public:
    virtual ~TRowSource() = default;
    virtual const QList<TColumnDesc> &Columns() const = 0;
    // Fills one value per column into `row`; false at the end.
    virtual bool Fetch(QVariant *row) = 0;
    // Whether the rows come straight from the engine's own library rather
    // than through the Qt driver (the values are the same either way).
    virtual bool Direct() const { return false; }
};

// A statement of the data layer's own making, prepared once and run again
// and again with its values bound to its parameters, never written into its
// text (TEngine::Prepare).
class TBoundStatement {
public:
    virtual ~TBoundStatement() = default;
    // Runs the statement with one value per parameter, in order (a null
    // variant is NULL); returns the rows it touched. Raises the engine's
    // error.
    virtual int Exec(const QVariantList &values) = 0;
};

// The rows of a statement reached by position, for grids, which show any
// part of a result of any size at once. A live window reads the database as
// it is now for every window (SQLite: the statement run again with LIMIT and
// OFFSET); a snapshot shows the result as it was when it opened
// (PostgreSQL: a held scrollable cursor).
class TRowWindow {
public:
    virtual ~TRowWindow() = default;
    virtual const QList<TColumnDesc> &Columns() const = 0;
    virtual bool Live() const = 0;
    // Reads up to `count` rows from the 0-based `offset` into `rows`
    // (Columns().size() values each) and returns how many there were. An
    // error after some rows ends the read with them: Failing says so, and
    // the next Read from where it stopped raises the error.
    virtual int Read(qint64 offset, int count, QVariant *rows) = 0;
    virtual bool Failing() const { return false; }
    // The number of rows of the result, counted by the engine.
    virtual qint64 Count() = 0;
    // While a walk lasts (a report or a sum going through every row), a
    // window read where the last one ended reads on from there instead of
    // starting over; at its end what was kept open for that is let go.
    virtual void Walking(bool on) { Q_UNUSED(on); }
    // A live window leaves out the rows whose values in `columns` are one of
    // `keys` (rows the dataset shows where it put them), from its next read
    // and count on.
    virtual void Exclude(const std::vector<int> &columns, const std::vector<QVariantList> &keys)
    {
        Q_UNUSED(columns);
        Q_UNUSED(keys);
    }
};

// Rows a row source reads ahead, a batch at a time, and hands out one by
// one. Converting a batch of rows in one go keeps the engine's code and data
// in the processor's caches for the batch instead of having them change
// places with the caller's work (a report's script and lines) on every row.
// A row is handed out by swapping its values with the caller's, so that the
// next batch writes over the caller's previous values, in place where it
// can.
class TRowsAhead {
public:
    static constexpr int Batch = 32;

    // Starts a new batch of rows `width` values wide.
    void Begin(int width)
    {
        m_width = width;
        m_count = m_next = 0;
        m_rows.resize(size_t(Batch) * size_t(width));
    }
    bool Full() const { return m_count == Batch; }
    int Count() const { return m_count; }
    // The values of the row to fill next; Added counts it in.
    QVariant *Slot() { return m_rows.data() + size_t(m_count) * size_t(m_width); }
    void Added() { ++m_count; }

    // Every row of the batch has been handed out.
    bool Empty() const { return m_next == m_count; }
    void HandOut(QVariant *row)
    {
        QVariant *from = m_rows.data() + size_t(m_next++) * size_t(m_width);
        for (int i = 0; i < m_width; ++i)
            row[i].swap(from[i]);
    }
    void Clear() { m_count = m_next = 0; }

private:
    std::vector<QVariant> m_rows;
    int m_width = 0;
    int m_count = 0;
    int m_next = 0;
};

// How the rows of a statement are going to be read: in any way (a
// scrollable or an editable dataset, the data layer's own statements), or
// once, forward, by a dataset that never writes them back, which lets the
// engine read them its cheapest way.
enum class TRowReading { Any, OneWay };

// The narrow per-engine part of the data layer: connecting, running a
// statement, describing result columns, quoting, the catalog and the mapping
// of errors. Everything else (datasets, fields, editing, parameters) is
// common code that calls these.
class TEngine {
public:
    virtual ~TEngine() = default;

    // The engine for a Qt driver name; raises an engine error for others.
    static std::unique_ptr<TEngine> Create(const QString &driver);

    virtual QString DriverName() const = 0;
    // Whose rules the engine reads statement texts by.
    virtual TSqlDialect Dialect() const = 0;
    virtual QString DefaultType() const = 0;
    // The location shown as PHYNAME: a file, or host:port/database.
    virtual QString PhysicalName(const TAlias &alias) const = 0;

    // Opens `db` (already created for this driver); raises on failure.
    virtual void Connect(QSqlDatabase &db, const TAlias &alias, const QString &user,
                         const QString &password) = 0;
    // The database was disconnected (or its connection is being removed).
    virtual void Disconnected() {}
    // Whether the connection still stands (a server may have closed it).
    virtual bool Alive() { return true; }

    // Opens a reading statement's rows by position, with the first `count`
    // of them read into `first` (`*firstCount` of them); null when the
    // statement cannot be read so (it writes, it takes parameters), and
    // then Run is the way.
    virtual std::unique_ptr<TRowWindow> OpenWindow(TDatabase &db, const QString &sql, int count,
                                                   std::vector<QVariant> &first, int *firstCount)
    {
        Q_UNUSED(db); Q_UNUSED(sql); Q_UNUSED(count); Q_UNUSED(first); Q_UNUSED(firstCount);
        return nullptr;
    }

    // Runs a statement. When it returns rows, `*rows` receives a reader (which
    // streams rows on demand) and true is returned; otherwise `rowsAffected`
    // receives the rows it touched (-1 when unknown) and false is returned.
    virtual bool Run(TDatabase &db, const QString &sql, std::unique_ptr<TRowSource> *rows,
                     int &rowsAffected, TRowReading reading = TRowReading::Any) = 0;

    // The SQL literal of a value of the given type.
    virtual QString Literal(const QVariant &value, TFieldType type) const = 0;
    // The sum of a number expression over a query's rows, 0 for none.
    virtual QString NumberSum(const QString &expression) const
    {
        return QStringLiteral("COALESCE(SUM(%1), 0)").arg(expression);
    }
    QString QuoteName(const QString &name) const;
    // The name an unquoted identifier stands for (PostgreSQL folds to lower
    // case; SQLite matches names in any case).
    virtual QString FoldName(const QString &name) const { return name; }
    // "schema"."table" for a qualified name.
    QString QuoteTable(const QString &table) const;

    // How rows of a table are found again for writing (raises when the
    // name is no table or view).
    virtual TTableKey TableKey(TDatabase &db, const QString &table) = 0;
    // Runs one row's statement and returns the rows it touched; `returned`
    // receives the Returning values of the first of them. The caller makes
    // sure that a count other than one changes nothing.
    virtual int WriteRow(TDatabase &db, const TRowWrite &write, QVariantList &returned) = 0;
    // The mark of the `number`-th parameter (from 1) in a statement for
    // Prepare: SQLite's "?", PostgreSQL's "$1".
    virtual QString ParamMark(int number) const = 0;
    // Prepares one statement of the program's own (not a person's text:
    // it is not split) whose parameters are marked with ParamMark;
    // `types` gives each parameter's field type, which says how its values
    // are sent. Raises the engine's error.
    virtual std::unique_ptr<TBoundStatement> Prepare(TDatabase &db, const QString &sql,
                                                     const QList<TFieldType> &types) = 0;
    // Statements inside a transaction are guarded by a savepoint, so that a
    // failed one leaves the transaction usable (PostgreSQL aborts it otherwise).
    virtual bool GuardsStatements() const { return false; }

    // The columns of a table (with Required, AutoInc filled), in order.
    virtual QList<TColumnDesc> TableColumns(TDatabase &db, const QString &table) = 0;
    virtual QList<TTableInfo> Tables(TDatabase &db, bool systemTables, bool extendedInfo) = 0;
    virtual QList<TIndexInfo> Indexes(TDatabase &db, const QString &table) = 0;

    // Stored procedures: their parameters, and the statement that calls one.
    virtual QList<TParam> ProcParams(TDatabase &db, const QString &name, bool &isProcedure) = 0;
    virtual QString ProcCall(const QString &name, const TParams &params, bool isProcedure) const = 0;

    // Sorts a driver error into the data layer's codes.
    virtual TDBError MapError(const QSqlError &e) const = 0;

    // How the engine explains a statement: into a plan table that a query
    // then reads (servers with a plan_table), or with a statement of its
    // own that returns the plan as rows.
    enum TPlanStyle { psPlanTable, psExplainQueryPlan, psExplain };
    virtual TPlanStyle PlanStyle() const { return psPlanTable; }

    // What follows a LIKE pattern so that the pattern means what was typed:
    // PostgreSQL's " ESCAPE ''" (its LIKE takes a backslash for an escape,
    // so "back\" would find nothing); empty where LIKE has no escape.
    virtual QString LikeEscape() const { return QString(); }

    // The expression a LIKE pattern is matched against for a column of the
    // given type (and the engine's own type name, TColumnDesc::DeclaredType):
    // the column itself where the engine compares it as text, else its text
    // form.
    virtual QString LikeOperand(const QString &column, TFieldType type, const QString &declaredType) const
    {
        Q_UNUSED(type);
        Q_UNUSED(declaredType);
        return column;
    }
};

// The engine error for a failed driver call: the server's message first,
// then the driver's text when it adds something.
[[noreturn]] void RaiseEngineError(const TEngine &engine, const QSqlError &e);

// Every statement sent for a person or a script is one statement: a query,
// a report's SQL section, ExecSQL and the SQL editor. Text after the first
// ";" other than blanks and comments raises EDBEngineError before anything
// is sent, so a value substituted into the text cannot add a statement.
void CheckOneStatement(const QString &sql, TSqlDialect dialect);

// The rows touched as the data layer reports them: the driver's count for
// INSERT, UPDATE, DELETE, MERGE, REPLACE and WITH statements, -1 for others
// (the drivers report a stale or zero count after DDL).
int ReportedRowsAffected(const QString &keyword, int driverCount);

// The SQL literal of a value in the common form; engines pass their
// spelling of TRUE/FALSE and turn bytes into text themselves.
QString CommonLiteral(const QVariant &value, TFieldType type, const QString &trueText,
                      const QString &falseText);
