// The PostgreSQL engine through QPSQL. A SELECT is read through a
// server-side cursor, one page at a time, so that neither a report walk nor
// a grid holds the whole result in client memory, and the connection stays
// free for other statements between pages (QPSQL's own streaming mode would
// lose its rows as soon as another statement runs).
//
// Where the cursor lives: a cursor outside a transaction must be WITH HOLD,
// and PostgreSQL then copies the whole result at once (a second for a
// million rows before the first one shows). So while the database has no
// transaction open, SELECTs run on a second, read-only connection of the
// same login inside a read transaction of their own, where the cursor is
// read lazily; everything the main connection did is committed and so
// visible there. Inside a transaction the cursor is declared on the main
// connection WITH HOLD, so it sees the transaction's own changes and
// survives its commit. A statement that names something only the main
// session knows (a temporary table) falls back to the main connection.
#include "Database.h"
#include "SqlText.h"

#include "common/Format.h"

#include <QHash>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QRegularExpression>
#include <deque>

namespace {

// Type OIDs of the built-in types.
enum : int {
    BoolOid = 16, ByteaOid = 17, CharOid = 18, NameOid = 19, Int8Oid = 20, Int2Oid = 21,
    Int4Oid = 23, TextOid = 25, OidOid = 26, JsonOid = 114, XmlOid = 142, Float4Oid = 700,
    Float8Oid = 701, MoneyOid = 790, BpcharOid = 1042, VarcharOid = 1043, DateOid = 1082,
    TimeOid = 1083, TimestampOid = 1114, TimestampTzOid = 1184, IntervalOid = 1186,
    TimeTzOid = 1266, NumericOid = 1700, UuidOid = 2950, JsonbOid = 3802
};

constexpr int PageRows = 1000;

// The field type of a column from its type OID and modifier.
TFieldType typeOf(int oid, int typmod, int &size, int &precision, int &scale)
{
    size = precision = scale = 0;
    switch (oid) {
    case BoolOid: return ftBoolean;
    case Int2Oid: precision = 5; return ftSmallint;
    case Int4Oid: case OidOid: precision = 10; return ftInteger;
    case Int8Oid: precision = 19; return ftInteger;
    case Float4Oid: case Float8Oid: precision = 15; return ftFloat;
    case MoneyOid: precision = 19; scale = 2; return ftCurrency;
    case NumericOid:
        if (typmod >= 4) {
            precision = ((typmod - 4) >> 16) & 0xFFFF;
            scale = (typmod - 4) & 0xFFFF;
        } else {
            precision = 32;
        }
        return ftBCD;   // a float field unless the alias enables BCD
    case DateOid: return ftDate;
    case TimeOid: case TimeTzOid: return ftTime;
    case TimestampOid: case TimestampTzOid: return ftDateTime;
    case ByteaOid: return ftBlob;
    case TextOid: case JsonOid: case JsonbOid: case XmlOid: return ftMemo;
    case CharOid: size = precision = 1; return ftString;
    case NameOid: size = precision = 63; return ftString;
    case UuidOid: size = precision = 36; return ftString;
    case BpcharOid: case VarcharOid:
        if (typmod >= 4) {
            size = precision = typmod - 4;
            return ftString;
        }
        return oid == BpcharOid ? (size = precision = 1, ftString) : ftMemo;
    default:
        size = precision = 255;
        return ftString;
    }
}

// A money text in the C locale ("-$1,234.56") as a number.
QVariant moneyValue(const QVariant &v)
{
    if (v.isNull() || v.typeId() != QMetaType::QString)
        return v;
    QString s = v.toString();
    const bool negative = s.contains(u'-') || s.startsWith(u'(');
    s.remove(QRegularExpression(QStringLiteral("[^0-9.]")));
    const double d = s.toDouble();
    return QVariant(negative ? -d : d);
}

QList<TColumnDesc> describe(const QSqlRecord &rec)
{
    QList<TColumnDesc> cols;
    for (int i = 0; i < rec.count(); ++i) {
        const QSqlField f = rec.field(i);
        TColumnDesc c;
        c.Name = f.name();
        int typmod = -1;
        // QPSQL reports the declared length of strings and the digits of
        // numbers already unpacked; pack them back into a modifier.
        if (f.typeID() == VarcharOid || f.typeID() == BpcharOid)
            typmod = f.length() > 0 ? f.length() + 4 : -1;
        else if (f.typeID() == NumericOid)
            typmod = f.length() > 0 ? ((f.length() << 16) | (f.precision() & 0xFFFF)) + 4 : -1;
        c.Type = typeOf(f.typeID(), typmod, c.Size, c.Precision, c.Scale);
        c.Table = f.tableName();
        c.DeclaredType = QString::number(f.typeID());
        cols.append(c);
    }
    return cols;
}

class TPostgresEngine;

// Rows read page by page from a cursor.
class TCursorRows : public TRowSource {
public:
    TCursorRows(TPostgresEngine &engine, QSqlDatabase conn, bool reader, QString cursor, bool highPrecision);

    ~TCursorRows() override;

    const QList<TColumnDesc> &Columns() const override { return m_columns; }

    // Hands out the rows of a page converted a batch at a time
    // (TRowsAhead). A batch ends with its page; the next page is fetched
    // when its first row is asked for.
    bool Fetch(QVariant *row) override
    {
        if (m_ahead.Empty() && !fill())
            return false;
        m_ahead.HandOut(row);
        return true;
    }

private:
    // Converts the next rows of the page, a batch at most; false when there
    // are no more rows.
    bool fill()
    {
        if (!m_page || !m_page->next()) {
            // the page is used up: a short one was the last
            if (m_page) {
                m_done = m_pageRows < PageRows;
                m_page.reset();
            }
            if (m_done)
                return false;
            readPage();
            if (!m_page->next()) {
                m_page.reset();
                m_done = true;
                return false;
            }
        }
        const int n = int(m_columns.size());
        m_ahead.Begin(n);
        do {
            ++m_pageRows;
            QVariant *to = m_ahead.Slot();
            for (int i = 0; i < n; ++i)
                to[i] = m_columns[i].Type == ftCurrency ? moneyValue(m_page->value(i)) : m_page->value(i);
            m_ahead.Added();
        } while (!m_ahead.Full() && m_page->next());
        return true;
    }

    void readPage()
    {
        checkAlive();
        // A page is read whole (QPSQL's buffered mode), so the connection is
        // free again before the first of its rows is used; the rows are then
        // taken from the page's result one by one, as they are asked for.
        auto q = std::make_unique<QSqlQuery>(m_conn);
        q->setNumericalPrecisionPolicy(m_highPrecision ? QSql::HighPrecision : QSql::LowPrecisionDouble);
        if (!q->exec(QStringLiteral("FETCH FORWARD %1 FROM %2").arg(PageRows).arg(m_cursor)))
            failed(q->lastError());
        if (m_columns.isEmpty())
            m_columns = describe(q->record());
        m_page = std::move(q);
        m_pageRows = 0;
    }

    [[noreturn]] void failed(const QSqlError &e);
    void checkAlive() const;

    TPostgresEngine &m_engine;
    QSqlDatabase m_conn;
    bool m_reader;
    QString m_cursor;
    bool m_highPrecision;
    int m_generation;   // of the reading connection's transaction
    QList<TColumnDesc> m_columns;
    std::unique_ptr<QSqlQuery> m_page;   // the page being read (after m_conn: it goes first)
    int m_pageRows = 0;                  // rows taken from it
    bool m_done = false;
    TRowsAhead m_ahead;
};

// Rows of a statement that cannot stand in a cursor (SHOW, EXPLAIN,
// RETURNING), read whole at once.
class TBufferedRows : public TRowSource {
public:
    explicit TBufferedRows(QSqlQuery &q)
    {
        m_columns = describe(q.record());
        const int n = int(m_columns.size());
        while (q.next()) {
            std::vector<QVariant> r(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i)
                r[size_t(i)] = m_columns[i].Type == ftCurrency ? moneyValue(q.value(i)) : q.value(i);
            m_rows.push_back(std::move(r));
        }
    }
    const QList<TColumnDesc> &Columns() const override { return m_columns; }
    bool Fetch(QVariant *row) override
    {
        if (m_rows.empty())
            return false;
        for (size_t i = 0; i < m_rows.front().size(); ++i)
            row[i] = std::move(m_rows.front()[i]);
        m_rows.pop_front();
        return true;
    }

private:
    QList<TColumnDesc> m_columns;
    std::deque<std::vector<QVariant>> m_rows;
};

class TPostgresEngine : public TEngine {
public:
    QString DriverName() const override { return QStringLiteral("QPSQL"); }
    QString DefaultType() const override { return QStringLiteral("POSTGRESQL"); }

    QString PhysicalName(const TAlias &alias) const override
    {
        return QStringLiteral("%1:%2/%3").arg(alias.Host.isEmpty() ? QStringLiteral("localhost") : alias.Host)
            .arg(alias.Port ? alias.Port : 5432).arg(alias.Database);
    }

    void Connect(QSqlDatabase &db, const TAlias &alias, const QString &user,
                 const QString &password) override
    {
        db.setDatabaseName(alias.Database);
        if (!alias.Host.isEmpty()) db.setHostName(alias.Host);
        if (alias.Port) db.setPort(alias.Port);
        if (!user.isEmpty()) db.setUserName(user);
        if (!password.isEmpty()) db.setPassword(password);
        QString options = QStringLiteral("connect_timeout=10");
        if (!alias.Options.isEmpty())
            options += u';' + alias.Options;
        db.setConnectOptions(options);
        if (!db.open())
            RaiseEngineError(*this, db.lastError());
        setUp(db);
        m_main = db;   // the reading connection is a clone of it, login and all
    }

    static void setUp(QSqlDatabase &db)
    {
        QSqlQuery q(db);
        // money as plain "$1,234.56" and literals without backslash escapes
        q.exec(QStringLiteral("SET lc_monetary TO 'C'"));
        q.exec(QStringLiteral("SET standard_conforming_strings TO on"));
        q.exec(QStringLiteral("SET client_min_messages TO warning"));
    }

    void Disconnected() override
    {
        closeReader();
        m_main = QSqlDatabase();
    }

    // The reading connection inside its read transaction, opened on demand.
    QSqlDatabase &reader()
    {
        if (!m_reader.isValid() || !m_reader.isOpen()) {
            closeReader();
            m_readerName = m_main.connectionName() + QStringLiteral("_reader");
            m_reader = QSqlDatabase::cloneDatabase(m_main, m_readerName);
            if (!m_reader.open()) {
                const QSqlError e = m_reader.lastError();
                closeReader();
                RaiseEngineError(*this, e);
            }
            setUp(m_reader);
        }
        if (m_readerCursors == 0) {
            QSqlQuery q(m_reader);
            if (!q.exec(QStringLiteral("BEGIN ISOLATION LEVEL READ COMMITTED READ ONLY"))) {
                const QSqlError e = q.lastError();
                closeReader();
                RaiseEngineError(*this, e);
            }
        }
        return m_reader;
    }

    // Each read transaction has its own number; cursors of an earlier one
    // are gone.
    int readerGeneration() const { return m_readerGeneration; }

    void closeReader()
    {
        m_readerCursors = 0;
        ++m_readerGeneration;
        if (m_reader.isValid()) {
            m_reader.close();
            m_reader = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_readerName);
        }
    }

    // A cursor of the reading connection was closed; the last one ends the
    // read transaction.
    void releaseReaderCursor(const QString &cursor, int generation)
    {
        if (generation != m_readerGeneration)
            return;
        if (!m_reader.isValid() || !m_reader.isOpen()) {
            m_readerCursors = 0;
            return;
        }
        QSqlQuery q(m_reader);
        q.exec(QStringLiteral("CLOSE ") + cursor);
        if (m_readerCursors > 0 && --m_readerCursors == 0)
            q.exec(QStringLiteral("COMMIT"));
    }

    void readerFailed(const QSqlError &e)
    {
        const QString state = e.nativeErrorCode();
        if (state.isEmpty() || state.startsWith(u"08") || state.startsWith(u"57P") || !m_reader.isOpen()) {
            closeReader();   // the connection is gone: open a new one next time
            return;
        }
        // a failed FETCH aborted the read transaction with all its cursors:
        // end it, and let the next SELECT begin a new one
        QSqlQuery q(m_reader);
        q.exec(QStringLiteral("ROLLBACK"));
        m_readerCursors = 0;
        ++m_readerGeneration;
    }

    // Declares a cursor for `sql` on the reading connection; false when the
    // statement must run on the main connection instead.
    bool declareOnReader(TDatabase &db, const QString &sql, std::unique_ptr<TRowSource> *rows)
    {
        QSqlDatabase &r = reader();
        const QString cursor = db.NewCursorName();
        QSqlQuery q(r);
        q.exec(QStringLiteral("SAVEPOINT quarn_declare"));
        if (!q.exec(QStringLiteral("DECLARE %1 NO SCROLL CURSOR FOR ").arg(cursor) + sql)) {
            const QSqlError e = q.lastError();
            if (r.isOpen()) {
                QSqlQuery undo(r);
                undo.exec(QStringLiteral("ROLLBACK TO SAVEPOINT quarn_declare"));
                if (m_readerCursors == 0)
                    undo.exec(QStringLiteral("COMMIT"));
            }
            const QString state = e.nativeErrorCode();
            if (state == u"42P01" || state == u"42883" || state == u"3F000" || state == u"42704"
                || state == u"0A000" || state == u"25006")
                return false;   // only the main session knows the object
            readerFailed(e);
            RaiseEngineError(*this, e);
        }
        q.exec(QStringLiteral("RELEASE SAVEPOINT quarn_declare"));
        ++m_readerCursors;
        try {
            *rows = std::make_unique<TCursorRows>(*this, r, true, cursor, db.Alias().EnableBCD);
        } catch (...) {
            releaseReaderCursor(cursor, m_readerGeneration);
            throw;
        }
        return true;
    }

    bool GuardsStatements() const override { return true; }
    QString FoldName(const QString &name) const override { return name.toLower(); }

    bool Run(TDatabase &db, const QString &sql, std::unique_ptr<TRowSource> *rows, int &rowsAffected,
             TRowReading) override
    {
        CheckOneStatement(sql);
        // Inside a transaction a failed statement would abort the whole
        // transaction; a savepoint keeps the work done before it.
        const bool guard = db.InTransaction();
        if (guard)
            db.Query(QStringLiteral("SAVEPOINT quarn_statement"));
        try {
            const bool result = run(db, sql, rows, rowsAffected);
            if (guard)
                db.Query(QStringLiteral("RELEASE SAVEPOINT quarn_statement"));
            return result;
        } catch (const EDBEngineError &) {
            if (guard && db.Connection().isOpen()) {
                QSqlQuery q(db.Connection());
                q.exec(QStringLiteral("ROLLBACK TO SAVEPOINT quarn_statement"));
            }
            throw;
        }
    }

    bool run(TDatabase &db, const QString &sql, std::unique_ptr<TRowSource> *rows, int &rowsAffected)
    {
        const QString keyword = FirstSqlKeyword(sql);
        const bool highPrecision = db.Alias().EnableBCD;
        if (rows && (keyword == u"SELECT" || keyword == u"VALUES" || keyword == u"TABLE")
            && !sql.contains(QRegularExpression(QStringLiteral("\\bINTO\\b"),
                                                QRegularExpression::CaseInsensitiveOption))) {
            rowsAffected = -1;
            if (!db.InTransaction() && declareOnReader(db, sql, rows))
                return true;
            const QString cursor = db.NewCursorName();
            db.Query(QStringLiteral("DECLARE %1 NO SCROLL CURSOR WITH HOLD FOR ").arg(cursor) + sql);
            *rows = std::make_unique<TCursorRows>(*this, db.Connection(), false, cursor, highPrecision);
            return true;
        }
        db.CheckOpen();
        QSqlQuery q(db.Connection());
        q.setNumericalPrecisionPolicy(highPrecision ? QSql::HighPrecision : QSql::LowPrecisionDouble);
        if (!q.exec(sql))
            RaiseEngineError(*this, q.lastError());
        if (q.isSelect()) {
            if (rows)
                *rows = std::make_unique<TBufferedRows>(q);
            rowsAffected = -1;
            return true;
        }
        rowsAffected = ReportedRowsAffected(keyword, q.numRowsAffected());
        return false;
    }

    QString Literal(const QVariant &value, TFieldType type) const override
    {
        if (value.typeId() == QMetaType::QByteArray)
            return QStringLiteral("'\\x") + QString::fromLatin1(value.toByteArray().toHex())
                   + QStringLiteral("'::bytea");
        return CommonLiteral(value, type, QStringLiteral("TRUE"), QStringLiteral("FALSE"));
    }

    // The regclass of a table name as the catalog lists it.
    QString regclass(const QString &table) const
    {
        return QStringLiteral("to_regclass(%1)").arg(Literal(QuoteTable(table), ftString));
    }

    QList<TColumnDesc> TableColumns(TDatabase &db, const QString &table) override
    {
        QSqlQuery q = db.Query(QStringLiteral(
            "SELECT a.attname, a.atttypid, a.atttypmod, a.attnotnull, d.adbin IS NOT NULL, "
            "coalesce(pg_get_expr(d.adbin, d.adrelid), ''), a.attidentity "
            "FROM pg_attribute a LEFT JOIN pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum = a.attnum "
            "WHERE a.attrelid = %1 AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum")
                                   .arg(regclass(table)));
        QList<TColumnDesc> cols;
        while (q.next()) {
            TColumnDesc c;
            c.Name = c.Origin = q.value(0).toString();
            c.Table = table;
            c.Type = typeOf(q.value(1).toInt(), q.value(2).toInt(), c.Size, c.Precision, c.Scale);
            c.DeclaredType = q.value(1).toString();
            const bool hasDefault = q.value(4).toBool();
            const QString identity = q.value(6).toString();
            c.AutoInc = (hasDefault && q.value(5).toString().startsWith(u"nextval("))
                        || identity == u"a" || identity == u"d";
            c.Required = q.value(3).toBool() && !hasDefault && !c.AutoInc;
            cols.append(c);
        }
        if (cols.isEmpty())
            throw EDBEngineError(DBErrorCode::ObjectMissing,
                                 Format(QStringLiteral("Таблица не найдена: %s"), {table}));
        return cols;
    }

    QStringList PrimaryKey(TDatabase &db, const QString &table) override
    {
        QSqlQuery q = db.Query(QStringLiteral(
            "SELECT a.attname FROM pg_index i JOIN pg_attribute a "
            "ON a.attrelid = i.indrelid AND a.attnum = ANY(i.indkey) "
            "WHERE i.indrelid = %1 AND i.indisprimary "
            "ORDER BY array_position(i.indkey::int2[], a.attnum)").arg(regclass(table)));
        QStringList key;
        while (q.next())
            key.append(q.value(0).toString());
        return key;
    }

    QList<TTableInfo> Tables(TDatabase &db, bool systemTables, bool) override
    {
        QString sql = QStringLiteral(
            "SELECT n.nspname, c.relname, c.relkind IN ('v', 'm'), n.nspname = current_schema() "
            "FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
            "WHERE c.relkind IN ('r', 'v', 'm', 'p', 'f') ");
        if (!systemTables)
            sql += QStringLiteral("AND n.nspname NOT LIKE 'pg\\_%' AND n.nspname <> 'information_schema' ");
        sql += QStringLiteral("ORDER BY 4 DESC, 1, 2");
        QSqlQuery q = db.Query(sql);
        QList<TTableInfo> list;
        while (q.next()) {
            TTableInfo t;
            t.Name = q.value(3).toBool() ? q.value(1).toString()
                                         : q.value(0).toString() + u'.' + q.value(1).toString();
            t.View = q.value(2).toBool();
            list.append(t);
        }
        return list;
    }

    QList<TIndexInfo> Indexes(TDatabase &db, const QString &table) override
    {
        QSqlQuery q = db.Query(QStringLiteral(
            "SELECT ic.relname, i.indisunique FROM pg_index i JOIN pg_class ic ON ic.oid = i.indexrelid "
            "WHERE i.indrelid = %1 ORDER BY i.indisprimary DESC, ic.relname").arg(regclass(table)));
        QList<TIndexInfo> list;
        while (q.next())
            list.append({q.value(0).toString(), q.value(1).toBool()});
        return list;
    }

    static TFieldType typeOfName(const QString &name)
    {
        const QString n = name.toLower();
        if (n == u"boolean") return ftBoolean;
        if (n == u"smallint") return ftSmallint;
        if (n == u"integer" || n == u"bigint") return ftInteger;
        if (n == u"real" || n == u"double precision" || n == u"numeric") return ftFloat;
        if (n == u"money") return ftCurrency;
        if (n == u"date") return ftDate;
        if (n.startsWith(u"time ")) return ftTime;
        if (n.startsWith(u"timestamp")) return ftDateTime;
        if (n == u"bytea") return ftBlob;
        if (n == u"text") return ftMemo;
        return ftString;
    }

    QList<TParam> ProcParams(TDatabase &db, const QString &name, bool &isProcedure) override
    {
        QSqlQuery r = db.Query(QStringLiteral(
            "SELECT r.specific_name, r.routine_type, r.data_type, r.routine_name FROM information_schema.routines r "
            "WHERE r.routine_schema = current_schema() AND lower(r.routine_name) = lower(%1) "
            "ORDER BY r.specific_name").arg(Literal(name, ftString)));
        if (!r.next())
            throw EDBEngineError(DBErrorCode::ObjectMissing,
                                 Format(QStringLiteral("Хранимая процедура не найдена: %s"), {name}));
        const QString specific = r.value(0).toString();
        isProcedure = r.value(1).toString() == u"PROCEDURE";
        // the name is looked up without regard to case; the call must use
        // the routine's own spelling
        m_routineNames.insert(name.toLower(), r.value(3).toString());
        const QString resultType = r.value(2).toString();
        QSqlQuery q = db.Query(QStringLiteral(
            "SELECT parameter_name, parameter_mode, data_type FROM information_schema.parameters "
            "WHERE specific_schema = current_schema() AND specific_name = %1 ORDER BY ordinal_position")
                                   .arg(Literal(specific, ftString)));
        QList<TParam> params;
        bool hasOutput = false;
        while (q.next()) {
            const QString mode = q.value(1).toString();
            TParam p(q.value(0).toString(),
                     mode == u"OUT" ? ptOutput : mode == u"INOUT" ? ptInputOutput : ptInput);
            hasOutput = hasOutput || p.ParamType() != ptInput;
            p.SetDataType(typeOfName(q.value(2).toString()));
            params.append(p);
        }
        if (!isProcedure && !hasOutput && resultType != u"void" && !resultType.isEmpty()) {
            TParam p(QStringLiteral("Result"), ptResult);
            p.SetDataType(typeOfName(resultType));
            params.append(p);
        }
        return params;
    }

    QString ProcCall(const QString &name, const TParams &params, bool isProcedure) const override
    {
        QStringList args;
        for (int i = 0; i < params.Count(); ++i) {
            const TParam &p = params.Items(i);
            if (p.ParamType() == ptResult)
                continue;
            if (p.ParamType() == ptOutput) {
                if (isProcedure)
                    args.append(QStringLiteral("NULL"));
                continue;
            }
            args.append(Literal(p.Value(), p.DataType()));
        }
        const QString routine = m_routineNames.value(name.toLower(), name);
        return (isProcedure ? QStringLiteral("CALL %1(%2)") : QStringLiteral("SELECT * FROM %1(%2)"))
            .arg(QuoteTable(routine), args.join(QStringLiteral(", ")));
    }

    TPlanStyle PlanStyle() const override { return psExplain; }

    // PostgreSQL has LIKE for texts only: numbers and dates are matched in
    // their plain text form, as SQLite matches them (dates "yyyy-mm-dd").
    QString LikeOperand(const QString &column, TFieldType type) const override
    {
        if (type == ftString || type == ftMemo)
            return column;
        return QStringLiteral("CAST(%1 AS text)").arg(column);
    }

    TDBError MapError(const QSqlError &e) const override
    {
        TDBError r;
        r.Message = e.databaseText().trimmed();
        if (r.Message.isEmpty())
            r.Message = e.driverText().trimmed();
        r.SqlState = e.nativeErrorCode().trimmed();
        r.NativeError = SqlStateNumber(r.SqlState);
        const QString s = r.SqlState;
        const QString text = r.Message.toLower();
        if (s == u"23505") r.ErrorCode = DBErrorCode::UniqueKey;
        else if (s == u"23503") r.ErrorCode = DBErrorCode::ForeignKey;
        else if (s == u"23502") r.ErrorCode = DBErrorCode::RequiredValue;
        else if (s == u"23514") r.ErrorCode = DBErrorCode::CheckFailed;
        else if (s.startsWith(u"23")) r.ErrorCode = 0x2600;
        else if (s == u"42601") r.ErrorCode = DBErrorCode::SyntaxError;
        else if (s == u"42P01" || s == u"42703" || s == u"42883" || s == u"3F000" || s == u"3D000"
                 || s == u"34000")
            r.ErrorCode = DBErrorCode::ObjectMissing;
        else if (s == u"42501") r.ErrorCode = DBErrorCode::PermissionDenied;
        else if (s.startsWith(u"28")) r.ErrorCode = DBErrorCode::LoginFailed;
        else if (s.startsWith(u"08") || s.startsWith(u"57P")) r.ErrorCode = DBErrorCode::ConnectionLost;
        else if (s == u"40P01" || s == u"40001") r.ErrorCode = DBErrorCode::Deadlock;
        else if (s == u"55P03") r.ErrorCode = DBErrorCode::Locked;
        else if (s.startsWith(u"22")) r.ErrorCode = DBErrorCode::BadValue;
        else if (!s.isEmpty()) r.ErrorCode = DBErrorCode::StatementFailed;
        else if (text.contains(u"password authentication failed") || text.contains(u"no password supplied"))
            r.ErrorCode = DBErrorCode::LoginFailed;
        else if (text.contains(u"server closed the connection") || text.contains(u"terminating connection")
                 || text.contains(u"no connection to the server") || text.contains(u"connection to server was lost"))
            r.ErrorCode = DBErrorCode::ConnectionLost;
        else if (text.contains(u"does not exist"))
            r.ErrorCode = DBErrorCode::ObjectMissing;
        else if (e.type() == QSqlError::ConnectionError)
            r.ErrorCode = DBErrorCode::ConnectFailed;
        else
            r.ErrorCode = DBErrorCode::StatementFailed;
        return r;
    }

private:
    QSqlDatabase m_main;
    QSqlDatabase m_reader;
    QString m_readerName;
    int m_readerCursors = 0;
    int m_readerGeneration = 0;
    QHash<QString, QString> m_routineNames;   // lower-case name -> the routine's own
};

TCursorRows::TCursorRows(TPostgresEngine &engine, QSqlDatabase conn, bool reader, QString cursor,
                         bool highPrecision)
    : m_engine(engine), m_conn(std::move(conn)), m_reader(reader), m_cursor(std::move(cursor)),
      m_highPrecision(highPrecision), m_generation(engine.readerGeneration())
{
    readPage();
}

void TCursorRows::checkAlive() const
{
    if (m_reader && m_generation != m_engine.readerGeneration())
        throw EDBEngineError(DBErrorCode::StatementFailed,
                             QStringLiteral("Курсор закрыт: чтение прервано ошибкой другого запроса"));
}

TCursorRows::~TCursorRows()
{
    if (m_reader) {
        m_engine.releaseReaderCursor(m_cursor, m_generation);
    } else if (m_conn.isOpen()) {
        QSqlQuery q(m_conn);
        q.exec(QStringLiteral("CLOSE ") + m_cursor);
    }
}

void TCursorRows::failed(const QSqlError &e)
{
    if (m_reader)
        m_engine.readerFailed(e);
    RaiseEngineError(m_engine, e);
}

} // namespace

std::unique_ptr<TEngine> CreatePostgresEngine()
{
    return std::make_unique<TPostgresEngine>();
}
