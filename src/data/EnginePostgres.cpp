// The PostgreSQL engine. QPSQL opens the connection and runs the data
// layer's own catalog statements; every statement sent for a person or a
// script goes through libpq itself on the driver's connection, and rows are
// read straight from libpq's results. That keeps every value exact (numeric
// and date-time texts as the server wrote them, 64-bit integers as
// integers, never through a double or a millisecond clock) and gives the
// origin of each result column (PQftable, PQftablecol), by which editable
// results are written back.
//
// A SELECT is read through a server-side cursor, one page at a time, so that
// neither a report walk nor a grid holds the whole result in client memory,
// and the connection stays free for other statements between pages.
//
// Where the cursor lives. While the database has no transaction open,
// SELECTs run on a second, read-only connection of the same login (the
// reader), so that they never hold a transaction on the connection that
// writes. A one-way walk (a report) reads inside a read transaction of its
// own that ends with the walk. Any other result (a grid) is read through a
// WITH HOLD cursor: its first page is read inside a short transaction, whose
// COMMIT is then sent without waiting for it; the server keeps the rest of
// the result for the cursor, and no transaction stays open while the grid
// is shown. Inside a transaction the cursor is declared on the main
// connection WITH HOLD, so it sees the transaction's own changes and
// survives its commit. A statement that names something only the main
// session knows (a temporary table) falls back to the main connection.
#include "Database.h"
#include "SqlText.h"
#include "StatementWatch.h"

#include "common/Format.h"

#include <QHash>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QTimeZone>

#include <QRegularExpression>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <deque>
#include <exception>
#include <libpq-fe.h>
#include <poll.h>
#include <cerrno>

namespace {

// Type OIDs of the built-in types.
enum : int {
    BoolOid = 16, ByteaOid = 17, CharOid = 18, NameOid = 19, Int8Oid = 20, Int2Oid = 21,
    Int4Oid = 23, TextOid = 25, OidOid = 26, JsonOid = 114, XmlOid = 142, PointOid = 600,
    LsegOid = 601, PathOid = 602, BoxOid = 603, PolygonOid = 604, LineOid = 628, Float4Oid = 700,
    Float8Oid = 701, CircleOid = 718, MoneyOid = 790, BpcharOid = 1042, VarcharOid = 1043,
    DateOid = 1082, TimeOid = 1083, TimestampOid = 1114, TimestampTzOid = 1184, IntervalOid = 1186,
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
    case XmlOid: return ftMemo;
    case CharOid: size = precision = 1; return ftString;
    case NameOid: size = precision = 63; return ftString;
    case UuidOid: size = precision = 36; return ftString;
    case BpcharOid: case VarcharOid:
        if (typmod >= 4)
            size = precision = typmod - 4;
        return ftString;
    default:
        // text, json, enums, citext, intervals, arrays...: strings of any
        // length, shown, searched and edited in the cell
        return ftString;
    }
}

// Types whose values have no equality operator: an old value is matched in
// its text form.
bool comparedAsText(int oid)
{
    switch (oid) {
    case JsonOid: case XmlOid: case PointOid: case LsegOid: case PathOid: case BoxOid:
    case PolygonOid: case LineOid: case CircleOid:
        return true;
    default:
        return false;
    }
}

// A money text in the C locale ("-$1,234.56") as a number.
double moneyValue(const char *p, int n)
{
    bool negative = false;
    QByteArray digits;
    digits.reserve(n);
    for (int i = 0; i < n; ++i) {
        const char c = p[i];
        if (c == '-' || c == '(')
            negative = true;
        else if ((c >= '0' && c <= '9') || c == '.')
            digits += c;
    }
    double d = 0;
    std::from_chars(digits.constData(), digits.constData() + digits.size(), d);
    return negative ? -d : d;
}

// The value of one field of a result in the data layer's form. Texts the
// client would round (numeric, dates with times, times) stay the server's
// exact text; integers are qint64, floats doubles, bytea bytes.
QVariant pgValue(const PGresult *res, int row, int col, int oid)
{
    if (PQgetisnull(res, row, col))
        return QVariant(QMetaType::fromType<QString>());
    const char *p = PQgetvalue(res, row, col);
    const int n = PQgetlength(res, row, col);
    switch (oid) {
    case BoolOid:
        return QVariant(n > 0 && p[0] == 't');
    case Int2Oid: case Int4Oid: case Int8Oid: case OidOid: {
        qint64 v = 0;
        if (std::from_chars(p, p + n, v).ec == std::errc())
            return QVariant(v);
        break;
    }
    case Float4Oid: case Float8Oid: {
        double d = 0;
        if (std::from_chars(p, p + n, d).ec == std::errc())
            return QVariant(d);
        if (n >= 3 && std::strncmp(p, "NaN", 3) == 0)
            return QVariant(std::numeric_limits<double>::quiet_NaN());
        if (std::strstr(p, "Infinity"))
            return QVariant(p[0] == '-' ? -std::numeric_limits<double>::infinity()
                                        : std::numeric_limits<double>::infinity());
        break;
    }
    case MoneyOid:
        return QVariant(moneyValue(p, n));
    case DateOid:
        if (n == 10) {
            const QDate d = QDate::fromString(QString::fromLatin1(p, n), Qt::ISODate);
            if (d.isValid())
                return QVariant(d);
        }
        break;   // infinity, BC and five-digit years stay text
    case ByteaOid: {
        size_t size = 0;
        unsigned char *bytes = PQunescapeBytea(reinterpret_cast<const unsigned char *>(p), &size);
        QByteArray b(reinterpret_cast<const char *>(bytes), qsizetype(size));
        PQfreemem(bytes);
        return QVariant(b);
    }
    default:
        break;
    }
    return QVariant(QString::fromUtf8(p, n));
}

QList<TColumnDesc> describe(const PGresult *res)
{
    QList<TColumnDesc> cols;
    const int n = PQnfields(res);
    for (int i = 0; i < n; ++i) {
        TColumnDesc c;
        c.Name = QString::fromUtf8(PQfname(res, i));
        const int oid = int(PQftype(res, i));
        c.Type = typeOf(oid, PQfmod(res, i), c.Size, c.Precision, c.Scale);
        c.DeclaredType = QString::number(oid);
        const Oid table = PQftable(res, i);
        if (table != InvalidOid && PQftablecol(res, i) > 0) {
            c.TableId = QString::number(table);
            c.OriginNo = PQftablecol(res, i);
        }
        cols.append(c);
    }
    return cols;
}

// A result of libpq, cleared when dropped.
struct TPgResultFree {
    void operator()(PGresult *r) const { PQclear(r); }
};
using TPgResult = std::unique_ptr<PGresult, TPgResultFree>;

// The data layer's error code of a SQLSTATE (or, without one, of the
// library's message).
int errorCode(const QString &s, const QString &message, bool connectionError)
{
    const QString text = message.toLower();
    if (s == u"23505") return DBErrorCode::UniqueKey;
    if (s == u"23503") return DBErrorCode::ForeignKey;
    if (s == u"23502") return DBErrorCode::RequiredValue;
    if (s == u"23514") return DBErrorCode::CheckFailed;
    if (s.startsWith(u"23")) return 0x2600;
    if (s == u"42601") return DBErrorCode::SyntaxError;
    if (s == u"42P01" || s == u"42703" || s == u"42883" || s == u"3F000" || s == u"3D000" || s == u"34000")
        return DBErrorCode::ObjectMissing;
    if (s == u"42501") return DBErrorCode::PermissionDenied;
    if (s == u"25006") return DBErrorCode::ReadOnlyDatabase;
    if (s == u"53100") return DBErrorCode::DiskFull;
    if (s.startsWith(u"28")) return DBErrorCode::LoginFailed;
    if (s.startsWith(u"08") || s.startsWith(u"57P")) return DBErrorCode::ConnectionLost;
    if (s == u"40P01" || s == u"40001") return DBErrorCode::Deadlock;
    if (s == u"55P03") return DBErrorCode::Locked;
    if (s.startsWith(u"22")) return DBErrorCode::BadValue;
    if (!s.isEmpty()) return DBErrorCode::StatementFailed;
    if (text.contains(u"password authentication failed") || text.contains(u"no password supplied"))
        return DBErrorCode::LoginFailed;
    if (text.contains(u"server closed the connection") || text.contains(u"terminating connection")
        || text.contains(u"no connection to the server") || text.contains(u"connection to server was lost"))
        return DBErrorCode::ConnectionLost;
    if (text.contains(u"does not exist"))
        return DBErrorCode::ObjectMissing;
    if (connectionError && text.contains(u"could not translate host name"))
        return DBErrorCode::ServerNotFound;
    if (connectionError
        && (text.contains(u"connection refused") || text.contains(u"timeout expired")
            || text.contains(u"no route to host") || text.contains(u"network is unreachable")))
        return DBErrorCode::ServerNotAnswering;
    return connectionError ? DBErrorCode::ConnectFailed : DBErrorCode::StatementFailed;
}

// The engine error of a failed libpq call: the server's message, its
// detail and hint as further entries, and the position of the error in the
// statement when the server gave one.
[[noreturn]] void raisePg(const PGresult *res, PGconn *conn)
{
    auto field = [res](int code) {
        return res ? QString::fromUtf8(PQresultErrorField(res, code)).trimmed() : QString();
    };
    TDBError first;
    first.SqlState = field(PG_DIAG_SQLSTATE);
    first.Message = field(PG_DIAG_MESSAGE_PRIMARY);
    if (first.Message.isEmpty())
        first.Message = QString::fromUtf8(res ? PQresultErrorMessage(res) : PQerrorMessage(conn)).trimmed();
    if (first.Message.isEmpty() && conn)
        first.Message = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
    const bool broken = !conn || PQstatus(conn) != CONNECTION_OK;
    first.ErrorCode = errorCode(first.SqlState, first.Message, broken);
    if (broken && first.SqlState.isEmpty())
        first.ErrorCode = DBErrorCode::ConnectionLost;
    first.NativeError = SqlStateNumber(first.SqlState);
    bool ok = false;
    const int position = field(PG_DIAG_STATEMENT_POSITION).toInt(&ok);
    if (ok)
        first.Position = position - 1;
    QList<TDBError> entries{first};
    for (int code : {PG_DIAG_MESSAGE_DETAIL, PG_DIAG_MESSAGE_HINT}) {
        const QString more = field(code);
        if (!more.isEmpty())
            entries.append(TDBError{first.ErrorCode, 0, more, QString()});
    }
    throw EDBEngineError(WithRussianEntry(entries));
}

// Runs one statement through the extended protocol, which the server
// refuses for a text of more than one statement; raises on failure.
// `values` are the texts of the statement's parameters $1, $2 ... (null:
// NULL), sent apart from the statement for the server to read as the type
// each parameter takes there.
TPgResult execPg(PGconn *conn, const QString &sql, int count = 0, const char *const *values = nullptr)
{
    const QByteArray text = sql.toUtf8();
    TPgResult r;
    if (!PQsendQueryParams(conn, text.constData(), count, nullptr, values, nullptr, nullptr, 0)) {
        r.reset(PQexecParams(conn, text.constData(), count, nullptr, values, nullptr, nullptr, 0));
    } else {
        // wait for the answer a slice at a time, so that a long statement
        // can be watched and stopped (a cancel request: the server ends it
        // with an error)
        bool cancelled = false;
        while (PQisBusy(conn)) {
            pollfd fd{PQsocket(conn), POLLIN, 0};
            if (poll(&fd, 1, 100) < 0 && errno != EINTR)
                break;
            if (!PQconsumeInput(conn))
                break;
            if (!cancelled && TStatementWatch::Tick()) {
                cancelled = true;
                if (PGcancel *cancel = PQgetCancel(conn)) {
                    char error[256];
                    PQcancel(cancel, error, sizeof error);
                    PQfreeCancel(cancel);
                }
            }
        }
        // the statement's result; a failure wins over what came before it
        while (PGresult *next = PQgetResult(conn)) {
            const ExecStatusType s = PQresultStatus(next);
            if (!r || s == PGRES_FATAL_ERROR)
                r.reset(next);
            else
                PQclear(next);
        }
    }
    const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        raisePg(r.get(), conn);
    return r;
}

// Runs `prefix` followed by `sql` (a cursor's declaration); the position an
// error points at is given in `sql`, as the person wrote it.
TPgResult execWrapped(PGconn *conn, const QString &prefix, const QString &sql)
{
    try {
        return execPg(conn, prefix + sql);
    } catch (const EDBEngineError &e) {
        QList<TDBError> errors = e.Errors();
        for (TDBError &error : errors)
            if (error.Position >= 0)
                error.Position = std::max(0, error.Position - int(prefix.size()));
        throw EDBEngineError(errors);
    }
}

// Reads what is left of a command sent without waiting; the last failure
// (if any) is raised.
void drainPg(PGconn *conn)
{
    TPgResult failed;
    while (PGresult *r = PQgetResult(conn)) {
        const ExecStatusType status = PQresultStatus(r);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            failed.reset(r);
        else
            PQclear(r);
    }
    if (failed)
        raisePg(failed.get(), conn);
}

// The libpq connection under a QPSQL database.
PGconn *pgConnOf(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    // the driver registers the type under its struct's name
    if (!handle.isValid()
        || (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn *const *>(handle.constData());
}

// A value in the text form the server reads for a column of any type: the
// literal is left untyped, so the server takes it as the column's own type
// with nothing lost (numeric and date-time texts as read, floats in their
// shortest exact form).
QString pgText(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QMetaType::Double: case QMetaType::Float: {
        const double d = v.toDouble();
        if (std::isnan(d)) return QStringLiteral("NaN");
        if (std::isinf(d)) return d < 0 ? QStringLiteral("-Infinity") : QStringLiteral("Infinity");
        return QString::number(d, 'g', QLocale::FloatingPointShortest);
    }
    case QMetaType::QDate:
        return v.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case QMetaType::QTime:
        return v.toTime().toString(QStringLiteral("HH:mm:ss.zzz"));
    case QMetaType::QDateTime: {
        const QDateTime dt = v.toDateTime();
        QString s = dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        // a time of a known zone keeps its offset; a local time is read in
        // the session's zone, which is the client's
        if (dt.timeSpec() == Qt::UTC || dt.timeSpec() == Qt::OffsetFromUTC || dt.timeSpec() == Qt::TimeZone) {
            const int offset = dt.offsetFromUtc();
            s += (offset < 0 ? u'-' : u'+')
                 + QStringLiteral("%1:%2").arg(std::abs(offset) / 3600, 2, 10, QLatin1Char('0'))
                       .arg(std::abs(offset) / 60 % 60, 2, 10, QLatin1Char('0'));
        }
        return s;
    }
    case QMetaType::QByteArray:
        return QStringLiteral("\\x") + QString::fromLatin1(v.toByteArray().toHex());
    default:
        return v.toString();
    }
}

QString pgLiteral(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return QStringLiteral("NULL");
    QString s = pgText(v);
    s.replace(u'\'', QStringLiteral("''"));
    return u'\'' + s + u'\'';
}

class TPostgresEngine;

// A server-side cursor of the program's: on the reader or on the main
// connection. A reader's cursor lives as long as its `generation` of the
// reader: of the reading connection for a held cursor, else of the read
// transaction, which a walk's cursor keeps open (`walk`); a main
// connection's as long as that connection.
struct TPgCursor {
    TPostgresEngine *engine = nullptr;
    PGconn *conn = nullptr;
    bool reader = false;
    bool held = false;
    bool walk = false;
    QString name;
    int generation = 0;

    // The connection to read it on; raises when the cursor is gone.
    PGconn *use() const;
    // Runs a statement on it; a failure on the reader ends its read
    // transaction.
    TPgResult exec(const QString &sql) const;
    // Closes it (not raising).
    void close();
};

// Rows read page by page from a cursor.
class TCursorRows : public TRowSource {
public:
    // `first` is the first page, fetched already (a held cursor's), or null.
    TCursorRows(TPgCursor cursor, TPgResult first);
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
        if (!m_page || m_next >= PQntuples(m_page.get())) {
            // the page is used up: a short one was the last
            if (m_page) {
                m_done = PQntuples(m_page.get()) < PageRows;
                m_page.reset();
            }
            if (m_done)
                return false;
            readPage();
            if (PQntuples(m_page.get()) == 0) {
                m_page.reset();
                m_done = true;
                return false;
            }
        }
        const int n = int(m_columns.size());
        const int rows = PQntuples(m_page.get());
        m_ahead.Begin(n);
        do {
            QVariant *to = m_ahead.Slot();
            for (int i = 0; i < n; ++i)
                to[i] = pgValue(m_page.get(), m_next, i, m_oids[size_t(i)]);
            m_ahead.Added();
            ++m_next;
        } while (!m_ahead.Full() && m_next < rows);
        return true;
    }

    void readPage();
    void setPage(TPgResult page)
    {
        m_page = std::move(page);
        m_next = 0;
        if (m_columns.isEmpty()) {
            m_columns = describe(m_page.get());
            for (int i = 0; i < m_columns.size(); ++i)
                m_oids.push_back(int(PQftype(m_page.get(), i)));
        }
    }

    TPgCursor m_cursor;
    QList<TColumnDesc> m_columns;
    std::vector<int> m_oids;
    TPgResult m_page;   // the page being read
    int m_next = 0;     // its next row
    bool m_done = false;
    TRowsAhead m_ahead;
};

// Rows of a statement that cannot stand in a cursor (SHOW, EXPLAIN,
// RETURNING), read whole at once.
class TBufferedRows : public TRowSource {
public:
    explicit TBufferedRows(TPgResult res) : m_res(std::move(res))
    {
        m_columns = describe(m_res.get());
        for (int i = 0; i < m_columns.size(); ++i)
            m_oids.push_back(int(PQftype(m_res.get(), i)));
    }
    const QList<TColumnDesc> &Columns() const override { return m_columns; }
    bool Fetch(QVariant *row) override
    {
        if (m_next >= PQntuples(m_res.get()))
            return false;
        for (int i = 0; i < m_columns.size(); ++i)
            row[i] = pgValue(m_res.get(), m_next, i, m_oids[size_t(i)]);
        ++m_next;
        return true;
    }

private:
    TPgResult m_res;
    QList<TColumnDesc> m_columns;
    std::vector<int> m_oids;
    int m_next = 0;
};

// The rows of a statement by position: a held scrollable cursor, which the
// server keeps for it once its first window is read (the result as it was
// then: a snapshot). A window is MOVE ABSOLUTE and FETCH; the count is a
// MOVE to the end.
class TPgWindow : public TRowWindow {
public:
    TPgWindow(TPgCursor cursor, const PGresult *first) : m_cursor(std::move(cursor))
    {
        if (first)
            describeFrom(first);
    }
    // The columns, from a page's description.
    void describeFrom(const PGresult *page)
    {
        m_columns = describe(page);
        m_oids.clear();
        for (int i = 0; i < m_columns.size(); ++i)
            m_oids.push_back(int(PQftype(page, i)));
    }
    ~TPgWindow() override;

    const QList<TColumnDesc> &Columns() const override { return m_columns; }
    bool Live() const override { return false; }
    int Read(qint64 offset, int count, QVariant *rows) override;
    qint64 Count() override;
    // The rows of a page read into `rows`; the cursor stood before them.
    int take(const PGresult *page, QVariant *rows);

private:
    TPgCursor m_cursor;
    QList<TColumnDesc> m_columns;
    std::vector<int> m_oids;
    qint64 m_position = 0;   // rows before the cursor's position
};

class TPostgresEngine : public TEngine {
public:
    ~TPostgresEngine() override { closeReader(); }

    QString DriverName() const override { return QStringLiteral("QPSQL"); }
    TSqlDialect Dialect() const override { return TSqlDialect::Postgres; }
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
        m_main = pgConnOf(db);
        if (!m_main)
            throw EDBEngineError(DBErrorCode::UnknownDriver,
                                 QStringLiteral("Драйвер QPSQL не дает доступа к соединению libpq"));
        setUp(m_main);
    }

    // The session settings every connection of the program works with.
    static void setUp(PGconn *conn)
    {
        // money as plain "$1,234.56", literals without backslash escapes,
        // floats in their exact shortest form, dates in ISO form, and
        // times with a zone shown and read in the client's own zone
        static const char *const settings[] = {
            "SET lc_monetary TO 'C'", "SET standard_conforming_strings TO on",
            "SET client_min_messages TO warning", "SET extra_float_digits TO 3",
            "SET DateStyle TO 'ISO, YMD'", "SET IntervalStyle TO 'postgres'"};
        for (const char *s : settings)
            PQclear(PQexec(conn, s));
        const QByteArray zone = QTimeZone::systemTimeZoneId();
        if (!zone.isEmpty()) {
            char *quoted = PQescapeLiteral(conn, zone.constData(), size_t(zone.size()));
            if (quoted) {
                PQclear(PQexec(conn, QByteArray("SET TIME ZONE ") + quoted));
                PQfreemem(quoted);
            }
        }
    }

    void Disconnected() override
    {
        closeReader();
        m_main = nullptr;
        ++m_mainGeneration;
    }

    // A server that ended the session (a restart) has said so on the
    // socket: reading what is there tells libpq.
    bool Alive() override
    {
        if (m_main && PQtransactionStatus(m_main) != PQTRANS_ACTIVE)
            probe(m_main);
        return m_main && PQstatus(m_main) == CONNECTION_OK;
    }

    // Reads what waits on an idle connection's socket (libpq's sockets do
    // not block): the server's farewell, then the end of the connection,
    // which marks it broken.
    static void probe(PGconn *conn)
    {
        for (int i = 0; i < 3 && PQstatus(conn) == CONNECTION_OK; ++i)
            if (!PQconsumeInput(conn))
                break;
    }

    // Each main connection has its own number: a cursor of an earlier one
    // is gone with it.
    int mainGeneration() const { return m_mainGeneration; }

    // ------------------------------------------------------------ the reader

    // The reading connection, opened on demand with the main connection's
    // own parameters, and free for the next command.
    PGconn *reader()
    {
        if (m_reader && !m_readerCommitting)
            probe(m_reader);   // a session the server ended says so
        if (m_reader && PQstatus(m_reader) != CONNECTION_OK) {
            // its cursors say so when they are read next
            m_lostConnection = m_readerConnection;
            m_lostTransaction = m_readerGeneration;
            m_lostMessage = QString::fromUtf8(PQerrorMessage(m_reader)).trimmed();
            closeReader();
        }
        if (!m_reader) {
            if (!m_main)
                throw EDBEngineError(DBErrorCode::ConnectionLost, QStringLiteral("Соединение с базой данных закрыто"));
            PQconninfoOption *options = PQconninfo(m_main);
            std::vector<const char *> keys, values;
            for (PQconninfoOption *o = options; o && o->keyword; ++o)
                if (o->val && *o->val) {
                    keys.push_back(o->keyword);
                    values.push_back(o->val);
                }
            keys.push_back(nullptr);
            values.push_back(nullptr);
            m_reader = PQconnectdbParams(keys.data(), values.data(), 0);
            PQconninfoFree(options);
            if (PQstatus(m_reader) != CONNECTION_OK) {
                const QString message = QString::fromUtf8(PQerrorMessage(m_reader)).trimmed();
                PQfinish(m_reader);
                m_reader = nullptr;
                throw EDBEngineError(WithRussianEntry({TDBError{errorCode(QString(), message, true), 0, message, QString()}}));
            }
            setUp(m_reader);
        }
        if (m_readerCommitting) {
            m_readerCommitting = false;
            try {
                drainPg(m_reader);
            } catch (const EDBEngineError &) {
                // the server could not keep the rows of the cursors declared
                // in that transaction (a row it failed to compute): they are
                // gone, and each says why when it is read next
                m_commitFailure = std::current_exception();
                m_commitFailed = m_readerConnection;
                ++m_readerGeneration;
                ++m_readerConnection;
            }
        }
        return m_reader;
    }

    // Each reading connection has its own number, and each read transaction
    // on it; cursors of an earlier one are gone. A held cursor outlives the
    // transaction it was declared in.
    int readerGeneration(bool held) const { return held ? m_readerConnection : m_readerGeneration; }

    // Raises why the cursors of an earlier generation are gone.
    [[noreturn]] void raiseGone(bool held, int generation) const
    {
        if (held && m_commitFailure && generation == m_commitFailed)
            std::rethrow_exception(m_commitFailure);
        if (generation == (held ? m_lostConnection : m_lostTransaction))
            throw EDBEngineError(WithRussianEntry(
                {TDBError{DBErrorCode::ConnectionLost, 0,
                          m_lostMessage.isEmpty() ? QStringLiteral("server closed the connection") : m_lostMessage,
                          QString()}}));
        throw EDBEngineError(DBErrorCode::StatementFailed,
                             QStringLiteral("Курсор закрыт: чтение прервано ошибкой другого запроса"));
    }

    void closeReader()
    {
        m_readerCursors = 0;
        m_readerCommitting = false;
        ++m_readerGeneration;
        ++m_readerConnection;
        if (m_reader) {
            PQfinish(m_reader);
            m_reader = nullptr;
        }
    }

    // A cursor of the reading connection was closed; the last walk's cursor
    // ends the read transaction.
    void releaseReaderCursor(const QString &cursor, int generation, bool held, bool walk)
    {
        if (generation != readerGeneration(held) || !m_reader || PQstatus(m_reader) != CONNECTION_OK)
            return;
        PGconn *r = reader();
        PQclear(PQexec(r, ("CLOSE " + cursor).toUtf8().constData()));
        if (walk && m_readerCursors > 0 && --m_readerCursors == 0)
            PQclear(PQexec(r, "COMMIT"));
    }

    void readerFailed()
    {
        if (!m_reader || PQstatus(m_reader) != CONNECTION_OK) {
            closeReader();   // the connection is gone: open a new one next time
            return;
        }
        // a failed FETCH aborted the read transaction with all its cursors:
        // end it, and let the next SELECT begin a new one
        if (PQtransactionStatus(m_reader) != PQTRANS_IDLE)
            PQclear(PQexec(m_reader, "ROLLBACK"));
        m_readerCursors = 0;
        ++m_readerGeneration;
    }

    // How a cursor is read: a walk reads it through once, in the read
    // transaction; a held cursor is read as asked, by a grid (`scroll`:
    // by position).
    enum TCursorUse { Walk, Held, Scroll };

    // Declares a cursor for `sql` and reads its first page when it is held
    // (into `*first`): on the reading connection outside a transaction, on
    // the main one inside. An empty name when the statement must run on the
    // main connection although there is no transaction (it names what only
    // the main session knows).
    TPgCursor declare(TDatabase &db, const QString &sql, TCursorUse use, int firstRows, TPgResult *first)
    {
        TPgCursor c;
        c.engine = this;
        c.name = db.NewCursorName();
        const QString kind = use == Scroll ? QStringLiteral("SCROLL CURSOR") : QStringLiteral("NO SCROLL CURSOR");
        if (db.InTransaction()) {
            // it sees the transaction's own changes and outlives its commit
            c.conn = m_main;
            c.generation = m_mainGeneration;
            execWrapped(m_main, QStringLiteral("DECLARE %1 %2 WITH HOLD FOR ").arg(c.name, kind), sql);
            if (use != Walk)
                *first = c.exec(QStringLiteral("FETCH FORWARD %1 FROM %2").arg(firstRows).arg(c.name));
            return c;
        }
        PGconn *r = reader();
        const bool ownTransaction = m_readerCursors == 0;
        if (ownTransaction)
            execPg(r, QStringLiteral("BEGIN ISOLATION LEVEL READ COMMITTED READ ONLY"));
        execPg(r, QStringLiteral("SAVEPOINT quarn_declare"));
        try {
            execWrapped(r, QStringLiteral("DECLARE %1 %2%3 FOR ")
                               .arg(c.name, kind, use == Walk ? QString() : QStringLiteral(" WITH HOLD")), sql);
        } catch (const EDBEngineError &e) {
            if (PQstatus(r) == CONNECTION_OK) {
                PQclear(PQexec(r, "ROLLBACK TO SAVEPOINT quarn_declare"));
                if (ownTransaction)
                    PQclear(PQexec(r, "COMMIT"));
            } else {
                closeReader();
                throw;
            }
            const QString state = e.Errors().first().SqlState;
            if (state == u"42P01" || state == u"42883" || state == u"3F000" || state == u"42704"
                || state == u"0A000" || state == u"25006") {
                // only the main session knows the object: a held cursor there
                c.conn = m_main;
                c.generation = m_mainGeneration;
                execWrapped(m_main, QStringLiteral("DECLARE %1 %2 WITH HOLD FOR ").arg(c.name, kind), sql);
                if (use != Walk)
                    *first = c.exec(QStringLiteral("FETCH FORWARD %1 FROM %2").arg(firstRows).arg(c.name));
                return c;
            }
            throw;
        }
        PQclear(PQexec(r, "RELEASE SAVEPOINT quarn_declare"));
        c.reader = true;
        c.conn = r;
        if (use == Walk) {
            ++m_readerCursors;
            c.walk = true;
            c.generation = m_readerGeneration;
            return c;
        }
        // A held cursor: its first page now, then the transaction ends
        // without waiting for the server to keep the rest of the rows
        // (declared inside another walk's read transaction, it ends with it).
        c.held = ownTransaction;
        c.generation = readerGeneration(ownTransaction);
        try {
            *first = execPg(r, QStringLiteral("FETCH FORWARD %1 FROM %2").arg(firstRows).arg(c.name));
        } catch (...) {
            readerFailed();
            throw;
        }
        if (ownTransaction && PQsendQuery(r, "COMMIT"))
            m_readerCommitting = true;
        return c;
    }

    // Reads a statement of rows through a cursor; false for statements
    // that return no rows through one (SHOW, EXPLAIN, RETURNING, INTO).
    static bool cursorStatement(const QString &sql)
    {
        const QString keyword = FirstSqlKeyword(sql);
        return (keyword == u"SELECT" || keyword == u"VALUES" || keyword == u"TABLE")
               && !sql.contains(QRegularExpression(QStringLiteral("\\bINTO\\b"),
                                                   QRegularExpression::CaseInsensitiveOption));
    }

    // Runs `f` under a savepoint when the database has a transaction open:
    // a failed statement would abort the whole transaction otherwise.
    template <class F>
    auto guarded(TDatabase &db, F f)
    {
        const bool guard = db.InTransaction();
        if (guard)
            db.Query(QStringLiteral("SAVEPOINT quarn_statement"));
        try {
            auto result = f();
            if (guard)
                db.Query(QStringLiteral("RELEASE SAVEPOINT quarn_statement"));
            return result;
        } catch (const EDBEngineError &) {
            if (guard && m_main && PQstatus(m_main) == CONNECTION_OK)
                PQclear(PQexec(m_main, "ROLLBACK TO SAVEPOINT quarn_statement"));
            throw;
        }
    }

    std::unique_ptr<TRowWindow> OpenWindow(TDatabase &db, const QString &sql, int count,
                                           std::vector<QVariant> &first, int *firstCount) override
    {
        CheckOneStatement(sql, Dialect());
        if (!cursorStatement(sql))
            return nullptr;
        mainConn(db);
        return guarded(db, [&] {
            TPgResult page;
            auto window = std::make_unique<TPgWindow>(declare(db, sql, Scroll, count, &page), nullptr);
            window->describeFrom(page.get());
            first.assign(size_t(count) * size_t(window->Columns().size()), QVariant());
            *firstCount = window->take(page.get(), first.data());
            return window;
        });
    }

    // -------------------------------------------------------- the statements

    bool GuardsStatements() const override { return true; }
    QString FoldName(const QString &name) const override { return name.toLower(); }

    PGconn *mainConn(TDatabase &db)
    {
        db.CheckOpen();
        if (!m_main || PQstatus(m_main) != CONNECTION_OK)
            raisePg(nullptr, m_main);
        return m_main;
    }

    bool Run(TDatabase &db, const QString &sql, std::unique_ptr<TRowSource> *rows, int &rowsAffected,
             TRowReading reading) override
    {
        CheckOneStatement(sql, Dialect());
        return guarded(db, [&] { return run(db, sql, rows, rowsAffected, reading); });
    }

    bool run(TDatabase &db, const QString &sql, std::unique_ptr<TRowSource> *rows, int &rowsAffected,
             TRowReading reading)
    {
        const QString keyword = FirstSqlKeyword(sql);
        PGconn *conn = mainConn(db);
        if (rows && cursorStatement(sql)) {
            rowsAffected = -1;
            const TCursorUse use = reading == TRowReading::OneWay ? Walk : Held;
            TPgResult first;
            TPgCursor c = declare(db, sql, use, PageRows, &first);
            try {
                *rows = std::make_unique<TCursorRows>(c, std::move(first));
            } catch (...) {
                c.close();
                throw;
            }
            return true;
        }
        TPgResult r = execPg(conn, sql);
        if (PQresultStatus(r.get()) == PGRES_TUPLES_OK) {
            if (rows)
                *rows = std::make_unique<TBufferedRows>(std::move(r));
            rowsAffected = -1;
            return true;
        }
        const char *tuples = PQcmdTuples(r.get());
        rowsAffected = ReportedRowsAffected(keyword, tuples && *tuples ? QByteArray(tuples).toInt() : 0);
        return false;
    }

    // exact over numeric, and money summed as a number
    QString NumberSum(const QString &expression) const override
    {
        return QStringLiteral("COALESCE(SUM(CAST(%1 AS NUMERIC)), 0)").arg(expression);
    }

    QString Literal(const QVariant &value, TFieldType type) const override
    {
        if (value.typeId() == QMetaType::QByteArray)
            return QStringLiteral("'\\x") + QString::fromLatin1(value.toByteArray().toHex())
                   + QStringLiteral("'::bytea");
        return CommonLiteral(value, type, QStringLiteral("TRUE"), QStringLiteral("FALSE"));
    }

    // ------------------------------------------------------------ writing

    int WriteRow(TDatabase &db, const TRowWrite &w, QVariantList &returned) override
    {
        const QString table = QuoteTable(w.Table);
        QStringList conditions;
        for (const TRowWrite::TValue &k : w.Key)
            conditions.append(QuoteName(k.Column) + QStringLiteral(" = ") + pgLiteral(k.Value));
        for (const TRowWrite::TValue &m : w.Match) {
            const QString column = QuoteName(m.Column);
            conditions.append(comparedAsText(m.DeclaredType.toInt())
                                  ? QStringLiteral("CAST(%1 AS text) IS NOT DISTINCT FROM %2").arg(column, pgLiteral(m.Value))
                                  : QStringLiteral("%1 IS NOT DISTINCT FROM %2").arg(column, pgLiteral(m.Value)));
        }
        QStringList back;
        for (const QString &c : w.Returning)
            back.append(QuoteName(c));
        if (back.isEmpty())
            back.append(QStringLiteral("1"));
        QString sql;
        if (w.Kind == TRowWrite::Insert) {
            QStringList names, values;
            for (const TRowWrite::TValue &s : w.Set) {
                names.append(QuoteName(s.Column));
                values.append(pgLiteral(s.Value));
            }
            sql = QStringLiteral("INSERT INTO ") + table
                  + (names.isEmpty() ? QStringLiteral(" DEFAULT VALUES")
                                     : QStringLiteral(" (%1) VALUES (%2)").arg(names.join(QStringLiteral(", ")),
                                                                              values.join(QStringLiteral(", "))));
        } else if (w.Kind == TRowWrite::Update) {
            QStringList sets;
            for (const TRowWrite::TValue &s : w.Set)
                sets.append(QuoteName(s.Column) + QStringLiteral(" = ") + pgLiteral(s.Value));
            sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(table, sets.join(QStringLiteral(", ")),
                                                                  conditions.join(QStringLiteral(" AND ")));
        } else {
            sql = QStringLiteral("DELETE FROM %1 WHERE %2").arg(table, conditions.join(QStringLiteral(" AND ")));
        }
        sql += QStringLiteral(" RETURNING ") + back.join(QStringLiteral(", "));
        TPgResult r = execPg(mainConn(db), sql);
        const int count = PQntuples(r.get());
        returned.clear();
        if (count > 0 && !w.Returning.isEmpty())
            for (int i = 0; i < PQnfields(r.get()); ++i)
                returned.append(pgValue(r.get(), 0, i, int(PQftype(r.get(), i))));
        return count;
    }

    QString ParamMark(int number) const override { return u'$' + QString::number(number); }

    // Sent with libpq's extended protocol on each run, the values as texts
    // in their exact form (pgText), which the server reads as the type of
    // the place each parameter takes.
    class TBound : public TBoundStatement {
    public:
        TBound(TPostgresEngine &engine, TDatabase &db, const QString &sql)
            : m_engine(engine), m_db(db), m_sql(sql) {}
        int Exec(const QVariantList &values) override
        {
            std::vector<QByteArray> texts(size_t(values.size()));
            std::vector<const char *> pointers(size_t(values.size()), nullptr);
            for (int i = 0; i < values.size(); ++i) {
                const QVariant &v = values[i];
                if (!v.isValid() || v.isNull())
                    continue;
                texts[size_t(i)] = pgText(v).toUtf8();
                pointers[size_t(i)] = texts[size_t(i)].constData();
            }
            TPgResult r = execPg(m_engine.mainConn(m_db), m_sql, int(values.size()), pointers.data());
            const char *tuples = PQcmdTuples(r.get());
            return tuples && *tuples ? QByteArray(tuples).toInt() : 0;
        }

    private:
        TPostgresEngine &m_engine;
        TDatabase &m_db;
        QString m_sql;
    };

    std::unique_ptr<TBoundStatement> Prepare(TDatabase &db, const QString &sql, const QList<TFieldType> &) override
    {
        mainConn(db);
        return std::make_unique<TBound>(*this, db, sql);
    }

    // ------------------------------------------------------------ catalog

    // The regclass of a table name as the catalog lists it.
    QString regclass(const QString &table) const
    {
        return QStringLiteral("to_regclass(%1)").arg(Literal(QuoteTable(table), ftString));
    }

    QList<TColumnDesc> TableColumns(TDatabase &db, const QString &table) override
    {
        QSqlQuery q = db.Query(QStringLiteral(
            "SELECT a.attname, a.atttypid, a.atttypmod, a.attnotnull, d.adbin IS NOT NULL, "
            "coalesce(pg_get_expr(d.adbin, d.adrelid), ''), a.attidentity, a.attnum, a.attrelid "
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
            c.NotNull = q.value(3).toBool();
            c.Required = c.NotNull && !hasDefault && !c.AutoInc;
            c.OriginNo = q.value(7).toInt();
            c.TableId = q.value(8).toString();
            cols.append(c);
        }
        if (cols.isEmpty())
            throw EDBEngineError(DBErrorCode::ObjectMissing,
                                 Format(QStringLiteral("Таблица не найдена: %s"), {table}));
        return cols;
    }

    TTableKey TableKey(TDatabase &db, const QString &table) override
    {
        TTableKey key;
        QSqlQuery t = db.Query(QStringLiteral(
            "SELECT c.oid, c.relkind IN ('r', 'p') AND (has_table_privilege(c.oid, 'UPDATE') "
            "OR has_table_privilege(c.oid, 'INSERT') OR has_table_privilege(c.oid, 'DELETE')) "
            "AND NOT pg_is_in_recovery() FROM pg_class c WHERE c.oid = %1").arg(regclass(table)));
        if (!t.next())
            throw EDBEngineError(DBErrorCode::ObjectMissing,
                                 Format(QStringLiteral("Таблица не найдена: %s"), {table}));
        key.Identity = t.value(0).toString();
        key.Writable = t.value(1).toBool();
        // the primary key first, else the unique keys of plain NOT NULL
        // columns, the shortest first
        QSqlQuery q = db.Query(QStringLiteral(
            "SELECT i.indisprimary, array_to_string(ARRAY(SELECT a.attname FROM unnest(i.indkey::int2[]) "
            "WITH ORDINALITY k(n, o) JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = k.n "
            "ORDER BY k.o), chr(1)), "
            "(SELECT bool_and(a.attnotnull) FROM pg_attribute a WHERE a.attrelid = i.indrelid "
            "AND a.attnum = ANY(i.indkey::int2[])) "
            "FROM pg_index i WHERE i.indrelid = %1 AND i.indisunique AND i.indpred IS NULL "
            "AND i.indexprs IS NULL AND i.indisvalid AND 0 <> ALL(i.indkey::int2[]) "
            "ORDER BY i.indisprimary DESC, i.indnkeyatts, i.indexrelid").arg(key.Identity));
        while (q.next()) {
            if (!q.value(0).toBool() && !q.value(2).toBool())
                continue;
            key.Columns = q.value(1).toString().split(QChar(1));
            break;
        }
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

    QString LikeEscape() const override { return QStringLiteral(" ESCAPE ''"); }

    // PostgreSQL has LIKE for texts only: numbers, dates and the other
    // types shown as text (uuid, enums, json ...) are matched in their plain
    // text form, as SQLite matches them (dates "yyyy-mm-dd").
    QString LikeOperand(const QString &column, TFieldType type, const QString &declaredType) const override
    {
        const int oid = declaredType.toInt();
        const bool text = oid == TextOid || oid == VarcharOid || oid == BpcharOid || oid == NameOid || oid == CharOid;
        if ((type == ftString || type == ftMemo) && (text || declaredType.isEmpty()))
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
        r.ErrorCode = errorCode(r.SqlState, r.Message, e.type() == QSqlError::ConnectionError);
        return r;
    }

private:
    PGconn *m_main = nullptr;            // the driver's connection
    int m_mainGeneration = 0;
    PGconn *m_reader = nullptr;          // the reading connection, ours
    bool m_readerCommitting = false;     // a COMMIT sent and not read back yet
    int m_readerCursors = 0;             // one-way cursors of the read transaction
    int m_readerGeneration = 0;          // of the read transactions
    int m_readerConnection = 0;          // of the reading connections
    std::exception_ptr m_commitFailure;  // the last held cursors' COMMIT that failed,
    int m_commitFailed = -1;             // and the generation it ended
    int m_lostConnection = -1;           // the reading connection the server ended,
    int m_lostTransaction = -1;          // its read transaction,
    QString m_lostMessage;               // and libpq's words on it
    QHash<QString, QString> m_routineNames;   // lower-case name -> the routine's own
};

PGconn *TPgCursor::use() const
{
    if (reader) {
        PGconn *r = engine->reader();
        if (generation != engine->readerGeneration(held))
            engine->raiseGone(held, generation);
        return r;
    }
    if (generation != engine->mainGeneration())
        throw EDBEngineError(DBErrorCode::ConnectionLost,
                             QStringLiteral("Соединение с сервером базы данных потеряно: строки этого запроса "
                                            "больше не читаются, откройте его заново"));
    return conn;
}

TPgResult TPgCursor::exec(const QString &sql) const
{
    PGconn *c = use();
    try {
        return execPg(c, sql);
    } catch (...) {
        if (reader)
            engine->readerFailed();
        throw;
    }
}

void TPgCursor::close()
{
    if (name.isEmpty())
        return;
    if (reader) {
        engine->releaseReaderCursor(name, generation, held, walk);
    } else if (generation == engine->mainGeneration() && PQstatus(conn) == CONNECTION_OK
               && PQtransactionStatus(conn) != PQTRANS_ACTIVE) {
        PQclear(PQexec(conn, ("CLOSE " + name).toUtf8().constData()));
    }
    name.clear();
}

TCursorRows::TCursorRows(TPgCursor cursor, TPgResult first) : m_cursor(std::move(cursor))
{
    if (first)
        setPage(std::move(first));
    else
        readPage();
}

TCursorRows::~TCursorRows()
{
    m_cursor.close();
}

void TCursorRows::readPage()
{
    // A page is read whole, so the connection is free again before the
    // first of its rows is used; the rows are then taken from the page's
    // result as they are asked for.
    setPage(m_cursor.exec(QStringLiteral("FETCH FORWARD %1 FROM %2").arg(PageRows).arg(m_cursor.name)));
}

TPgWindow::~TPgWindow()
{
    m_cursor.close();
}

int TPgWindow::Read(qint64 offset, int count, QVariant *rows)
{
    // MOVE ABSOLUTE n stands on the n-th row (1-based), so the next FETCH
    // begins with the 0-based row n
    if (offset != m_position) {
        m_cursor.exec(QStringLiteral("MOVE ABSOLUTE %1 IN %2").arg(offset).arg(m_cursor.name));
        m_position = offset;
    }
    TPgResult page = m_cursor.exec(QStringLiteral("FETCH FORWARD %1 FROM %2").arg(count).arg(m_cursor.name));
    return take(page.get(), rows);
}

qint64 TPgWindow::Count()
{
    TPgResult moved = m_cursor.exec(QStringLiteral("MOVE FORWARD ALL IN %1").arg(m_cursor.name));
    const char *tuples = PQcmdTuples(moved.get());
    m_position += tuples && *tuples ? QByteArray(tuples).toLongLong() : 0;
    return m_position;
}

int TPgWindow::take(const PGresult *page, QVariant *rows)
{
    const int n = PQntuples(page);
    const int width = int(m_columns.size());
    for (int r = 0; r < n; ++r)
        for (int i = 0; i < width; ++i)
            rows[size_t(r) * size_t(width) + size_t(i)] = pgValue(page, r, i, m_oids[size_t(i)]);
    m_position += n;
    return n;
}

} // namespace

std::unique_ptr<TEngine> CreatePostgresEngine()
{
    return std::make_unique<TPostgresEngine>();
}
