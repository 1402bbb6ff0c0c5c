// The SQLite engine: an embedded file database through QSQLITE. Result
// columns are typed from their declared types, read from the statement
// handle, since SQLite itself stores values by affinity only.
//
// A one-directional, read-only dataset reads its rows straight through
// SQLite's own API on the driver's connection (TSqliteDirectRows): the same
// values the driver would make, without the driver's row cache and copies
// and with texts decoded by Qt rather than converted to UTF-16 by SQLite.
// Everything else goes through QSQLITE.
#include "Database.h"
#include "SqlText.h"
#include "StatementWatch.h"

#include "common/Format.h"
#include "common/Settings.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlResult>
#include <QUrl>

#include <cstring>
#include <exception>
#include <sqlite3.h>
#include <vector>

// Unicode-aware upper, lower and LIKE on a SQLite connection (below).
void RegisterUnicodeFunctions(sqlite3 *db);

namespace {

// The field type of a declared column type, by the same rules SQLite uses
// for affinity, refined for the names that carry more meaning.
TFieldType declaredType(const QString &declared, int &size, int &precision, int &scale)
{
    const QString d = declared.trimmed().toUpper();
    static const QRegularExpression args(QStringLiteral("\\(\\s*(\\d+)\\s*(?:,\\s*(\\d+)\\s*)?\\)"));
    const QRegularExpressionMatch m = args.match(d);
    const int a1 = m.hasMatch() ? m.captured(1).toInt() : 0;
    const int a2 = m.hasMatch() && m.lastCapturedIndex() >= 2 ? m.captured(2).toInt() : 0;
    const QString base = m.hasMatch() ? d.left(m.capturedStart()).trimmed() : d;
    size = precision = scale = 0;
    if (base.contains(u"BOOL")) return ftBoolean;
    if (base == u"SMALLINT" || base == u"TINYINT" || base == u"INT2") return ftSmallint;
    if (base.contains(u"INT")) return ftInteger;
    if (base.contains(u"DATETIME") || base.contains(u"TIMESTAMP")) return ftDateTime;
    if (base.contains(u"DATE")) return ftDate;
    if (base.contains(u"TIME")) return ftTime;
    if (base.contains(u"MONEY") || base.contains(u"CURRENCY")) { precision = 19; scale = 4; return ftCurrency; }
    if (base.contains(u"NUMERIC") || base.contains(u"DECIMAL")) {
        precision = a1 ? a1 : 18;
        scale = a2;
        return ftBCD;   // a float field unless the alias enables BCD
    }
    if (base.contains(u"REAL") || base.contains(u"FLOA") || base.contains(u"DOUB")) return ftFloat;
    // text affinity: strings, shown and searched in the cell; only types
    // declared as large text are memos
    if (base.contains(u"CLOB") || base.contains(u"MEMO") || base.contains(u"LONGTEXT")
        || base.contains(u"MEDIUMTEXT") || base.contains(u"LONG VARCHAR"))
        return ftMemo;
    if (base.contains(u"CHAR") || base.contains(u"STRING") || base.contains(u"TEXT")) {
        if (m.hasMatch())
            size = precision = a1;
        else if (base == u"CHAR" || base == u"CHARACTER")
            size = precision = 1;
        else if (base.contains(u"CHAR"))
            size = precision = 255;   // VARCHAR, NVARCHAR without a length
        return ftString;              // TEXT: no length
    }
    if (base.contains(u"GRAPHIC") || base.contains(u"IMAGE")) return ftGraphic;
    if (base.contains(u"BLOB") || base.contains(u"BINARY")) return ftBlob;
    if (base.isEmpty()) return ftUnknown;
    precision = 18;
    return ftFloat;   // numeric affinity
}

// What names a table among the connection's databases ("main.orders"):
// SQLite matches table names in any case.
QString tableIdentity(const QString &schema, const QString &table)
{
    return (schema.isEmpty() ? QStringLiteral("main") : schema).toLower() + u'.' + table.toLower();
}

// One result column: its type from the declared type, else from the type
// the driver gives the column (`driverType`, a QMetaType id); its base table
// and column when SQLite knows them.
TColumnDesc describeColumn(sqlite3_stmt *stmt, int i, const QString &name, int driverType)
{
    TColumnDesc c;
    c.Name = name;
    const char *decl = stmt ? sqlite3_column_decltype(stmt, i) : nullptr;
    c.DeclaredType = decl ? QString::fromUtf8(decl) : QString();
    c.Type = declaredType(c.DeclaredType, c.Size, c.Precision, c.Scale);
    if (c.Type == ftUnknown) {
        // an expression: typed by the driver from the first value
        switch (driverType) {
        case QMetaType::Int: case QMetaType::LongLong: c.Type = ftInteger; break;
        case QMetaType::Double: c.Type = ftFloat; break;
        case QMetaType::QByteArray: c.Type = ftBlob; break;
        default: c.Type = ftString; break;   // a text of any length
        }
    }
    if (stmt) {
        const char *table = sqlite3_column_table_name(stmt, i);
        const char *origin = sqlite3_column_origin_name(stmt, i);
        const char *dbName = sqlite3_column_database_name(stmt, i);
        if (table && origin) {
            c.Table = QString::fromUtf8(table);
            c.Origin = QString::fromUtf8(origin);
            c.TableId = tableIdentity(QString::fromUtf8(dbName), c.Table);
            int notNull = 0, primary = 0, autoInc = 0;
            if (sqlite3_table_column_metadata(sqlite3_db_handle(stmt), dbName, table, origin, nullptr,
                                              nullptr, &notNull, &primary, &autoInc)
                == SQLITE_OK)
                c.AutoInc = autoInc != 0;
        }
    }
    return c;
}

// The statement handle under a QSQLITE query.
sqlite3_stmt *statementOf(const QSqlQuery &q)
{
    const QVariant h = q.result()->handle();
    if (h.isValid() && qstrcmp(h.typeName(), "sqlite3_stmt*") == 0)
        return *static_cast<sqlite3_stmt *const *>(h.constData());
    return nullptr;
}

// Rows read through the QSQLITE driver.
class TSqliteRows : public TRowSource {
public:
    TSqliteRows(const TEngine &engine, std::unique_ptr<QSqlQuery> q) : m_engine(engine), m_q(std::move(q))
    {
        const QSqlRecord rec = m_q->record();
        sqlite3_stmt *stmt = statementOf(*m_q);
        for (int i = 0; i < rec.count(); ++i)
            m_columns.append(describeColumn(stmt, i, rec.fieldName(i), rec.field(i).metaType().id()));
    }

    const QList<TColumnDesc> &Columns() const override { return m_columns; }

    bool Fetch(QVariant *row) override
    {
        if (!m_q->next()) {
            // a failure half-way (a row the engine cannot compute) is an
            // error, not the end of the rows
            if (m_q->lastError().isValid())
                RaiseEngineError(m_engine, m_q->lastError());
            return false;
        }
        const int n = int(m_columns.size());
        for (int i = 0; i < n; ++i)
            row[i] = m_q->value(i);
        return true;
    }

private:
    const TEngine &m_engine;
    std::unique_ptr<QSqlQuery> m_q;
    QList<TColumnDesc> m_columns;
};

// ---------------------------------------------------------------------
// upper, lower and LIKE over the whole of Unicode. SQLite's own fold only
// the Latin letters, so "за" would never find "ЗАО"; these take Qt's case
// mapping. LIKE stays case-insensitive, as SQLite's own is.

QString textArgument(sqlite3_value *v)
{
    const void *p = sqlite3_value_text16(v);
    return p ? QString(static_cast<const QChar *>(p), sqlite3_value_bytes16(v) / qsizetype(sizeof(QChar))) : QString();
}

void resultText(sqlite3_context *ctx, const QString &text)
{
    sqlite3_result_text16(ctx, text.constData(), int(text.size() * qsizetype(sizeof(QChar))), SQLITE_TRANSIENT);
}

template <QString (QString::*Map)() const &>
void caseFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    resultText(ctx, (textArgument(argv[0]).*Map)());
}

// Whether `text` matches the LIKE `pattern` ("%" any run, "_" any one
// character, `escape` making the next character plain), both case-folded,
// compared a Unicode character at a time.
bool likeMatch(const QList<uint> &pattern, const QList<uint> &text, uint escape)
{
    qsizetype i = 0, j = 0, starJ = -1, starI = 0;
    const qsizetype n = text.size(), m = pattern.size();
    while (i < n) {
        if (j < m) {
            const uint c = pattern[j];
            if (escape && c == escape && j + 1 < m) {
                if (pattern[j + 1] == text[i]) {
                    ++i;
                    j += 2;
                    continue;
                }
            } else if (c == uint('%')) {
                starJ = j++;
                starI = i;
                continue;
            } else if (c == uint('_') || c == text[i]) {
                ++i;
                ++j;
                continue;
            }
        }
        if (starJ < 0)
            return false;
        j = starJ + 1;
        i = ++starI;
    }
    while (j < m && pattern[j] == uint('%'))
        ++j;
    return j == m;
}

// like(pattern, text [, escape]): "text LIKE pattern [ESCAPE escape]".
void likeFunction(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    for (int i = 0; i < argc; ++i)
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL)
            return sqlite3_result_null(ctx);
    uint escape = 0;
    if (argc == 3) {
        const QList<uint> e = textArgument(argv[2]).toUcs4();
        if (e.size() != 1)
            return sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
        escape = QChar::toCaseFolded(e.first());
    }
    const QList<uint> pattern = textArgument(argv[0]).toCaseFolded().toUcs4();
    const QList<uint> text = textArgument(argv[1]).toCaseFolded().toUcs4();
    sqlite3_result_int(ctx, likeMatch(pattern, text, escape) ? 1 : 0);
}

class TSqliteEngine;

// A UTF-8 text as SQLite's own conversion to UTF-16 (which the driver
// reads) would give it, when the bytes leave no doubt about it: well-formed
// UTF-8 without U+FFFE or U+FFFF (SQLite turns them into U+FFFD). False for
// anything else, which is then left to SQLite.
bool decodeUtf8(const uchar *p, qsizetype n, QString &out)
{
    const uchar *const end = p + n;
    // the length in UTF-16 units, checking every sequence on the way
    qsizetype units = 0;
    bool ascii = true;
    for (const uchar *q = p; q < end;) {
        const uchar c = *q;
        if (c < 0x80) {
            ++q;
            ++units;
            continue;
        }
        ascii = false;
        const qsizetype left = end - q;
        const auto follows = [q](int k) { return (q[k] & 0xC0) == 0x80; };
        if (c < 0xC2) {
            return false;   // a continuation byte, or an overlong lead byte
        } else if (c < 0xE0) {
            if (left < 2 || !follows(1))
                return false;
            q += 2;
        } else if (c < 0xF0) {
            if (left < 3 || !follows(1) || !follows(2))
                return false;
            if ((c == 0xE0 && q[1] < 0xA0)                          // overlong
                || (c == 0xED && q[1] >= 0xA0)                      // a surrogate
                || (c == 0xEF && q[1] == 0xBF && q[2] >= 0xBE))     // U+FFFE, U+FFFF
                return false;
            q += 3;
        } else if (c < 0xF5) {
            if (left < 4 || !follows(1) || !follows(2) || !follows(3))
                return false;
            if ((c == 0xF0 && q[1] < 0x90) || (c == 0xF4 && q[1] >= 0x90))   // overlong, past U+10FFFF
                return false;
            q += 4;
            ++units;   // a surrogate pair
        } else {
            return false;
        }
        ++units;
    }
    if (ascii) {
        out = QString::fromLatin1(reinterpret_cast<const char *>(p), n);
        return true;
    }
    out = QString(units, Qt::Uninitialized);
    char16_t *d = reinterpret_cast<char16_t *>(out.data());
    while (p < end) {
        const uchar c = *p;
        if (c < 0x80) {
            *d++ = c;
            ++p;
        } else if (c < 0xE0) {
            *d++ = char16_t(((c & 0x1F) << 6) | (p[1] & 0x3F));
            p += 2;
        } else if (c < 0xF0) {
            *d++ = char16_t(((c & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
            p += 3;
        } else {
            const char32_t u = ((c & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) | (p[3] & 0x3F);
            *d++ = char16_t(0xD800 + ((u - 0x10000) >> 10));
            *d++ = char16_t(0xDC00 + ((u - 0x10000) & 0x3FF));
            p += 4;
        }
    }
    return true;
}

// Rows of a read-only statement stepped through SQLite itself on the
// driver's connection. Every value is what QSQLITE makes of it: integers as
// qint64, reals as double, blobs as QByteArray, NULL as a null QString
// variant, texts as QString; the columns are named and typed as the driver
// names and types them, and a failing step raises the driver's error.
class TSqliteDirectRows : public TRowSource {
public:
    TSqliteDirectRows(TSqliteEngine &engine, sqlite3 *connection, sqlite3_stmt *stmt, bool utf8);
    ~TSqliteDirectRows() override;

    // Runs the statement up to its first row, as the driver's exec does,
    // and describes the columns.
    void Start()
    {
        m_pending = step();
        const int n = sqlite3_column_count(m_stmt);
        for (int i = 0; i < n; ++i) {
            const QString name = QString(static_cast<const QChar *>(sqlite3_column_name16(m_stmt, i))).remove(u'"');
            m_columns.append(describeColumn(m_stmt, i, name, driverType(i)));
        }
        m_lastTexts.resize(size_t(n));
    }

    const QList<TColumnDesc> &Columns() const override { return m_columns; }
    bool Direct() const override { return true; }

    // Hands out the rows read ahead (TRowsAhead): the statement is stepped
    // and its values read for a batch of rows at a time. Reading ahead
    // leaves the rows what they would be: whether a statement being stepped
    // sees a change made on its connection meanwhile is left open by SQLite
    // itself. A failing step is raised when the rows read before it have
    // been handed out.
    bool Fetch(QVariant *row) override
    {
        if (m_ahead.Empty() && !fill())
            return false;
        m_ahead.HandOut(row);
        return true;
    }

    // The connection is closing: the statement goes first.
    void Drop()
    {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        m_pending = false;
        m_done = true;
        m_ahead.Clear();
    }

private:
    // Reads the next batch of rows; false when there is none. A failure
    // after the first row of the batch ends the batch, and the next call
    // raises it.
    bool fill()
    {
        if (m_failure)
            std::rethrow_exception(std::exchange(m_failure, nullptr));
        m_ahead.Begin(int(m_columns.size()));
        qsizetype bytes = 0;
        while (!m_ahead.Full() && bytes < BatchBytes) {
            if (m_pending) {
                m_pending = false;
            } else {
                try {
                    if (!step())
                        break;
                } catch (...) {
                    if (m_ahead.Count() == 0)
                        throw;
                    m_failure = std::current_exception();
                    break;
                }
            }
            bytes += readRow(m_ahead.Slot());
            m_ahead.Added();
        }
        return m_ahead.Count() > 0;
    }

    // Reads the values of the row the statement stands on; returns about
    // how many bytes of texts and blobs they hold.
    qsizetype readRow(QVariant *row)
    {
        // Each value is read through its sqlite3_value: one call into the
        // library that takes the connection's mutex per value rather than
        // one per question. The value stays in the statement, used by this
        // thread only, until the next step.
        qsizetype bytes = 0;
        const int n = int(m_columns.size());
        for (int i = 0; i < n; ++i) {
            sqlite3_value *v = sqlite3_column_value(m_stmt, i);
            switch (sqlite3_value_type(v)) {
            case SQLITE_INTEGER:
                store(row[i], qint64(sqlite3_value_int64(v)));
                break;
            case SQLITE_FLOAT:
                store(row[i], sqlite3_value_double(v));
                break;
            case SQLITE_NULL:
                row[i] = QVariant(QMetaType::fromType<QString>());
                break;
            case SQLITE_BLOB: {
                // an empty blob has no address: a null QByteArray, as the driver's
                const char *data = static_cast<const char *>(sqlite3_value_blob(v));
                const int size = sqlite3_value_bytes(v);
                row[i] = QVariant(QByteArray(data, size));
                bytes += size;
                break;
            }
            default:
                bytes += text(row[i], v, size_t(i));
                break;
            }
        }
        return bytes;
    }

    // The type the driver gives a column (a QMetaType id): by its declared
    // type when it has one, else by its first value.
    int driverType(int i) const
    {
        const char *decl = sqlite3_column_decltype(m_stmt, i);
        if (decl && *decl)
            return QMetaType::QString;   // describeColumn knows every declared type but nameless ones ("(10)")
        if (!m_pending)
            return QMetaType::UnknownType;
        switch (sqlite3_column_type(m_stmt, i)) {
        case SQLITE_INTEGER: return QMetaType::Int;
        case SQLITE_FLOAT: return QMetaType::Double;
        case SQLITE_BLOB: return QMetaType::QByteArray;
        case SQLITE_TEXT: return QMetaType::QString;
        default: return QMetaType::UnknownType;
        }
    }

    // A text value: decoded from SQLite's UTF-8 where that leaves no doubt
    // about the driver's result, else SQLite's own UTF-16 as the driver
    // reads it. The text of the column's last decoded value is handed out
    // again, shared, while the bytes stay the same: rows sorted or grouped
    // by a text repeat it from row to row (a region, a city, a client), and
    // each repeat then costs a comparison of its bytes instead of a new
    // text decoded, and freed again when the next row replaces it.
    // Returns the text's size in bytes.
    int text(QVariant &slot, sqlite3_value *v, size_t column)
    {
        if (m_utf8) {
            const uchar *p = sqlite3_value_text(v);
            const int n = sqlite3_value_bytes(v);
            TLastText &last = m_lastTexts[column];
            if (p && last.Valid && last.Bytes.size() == n && std::memcmp(last.Bytes.constData(), p, size_t(n)) == 0) {
                store(slot, last.Text);
                return n;
            }
            QString s;
            if (p && decodeUtf8(p, n, s)) {
                last.Bytes.resize(n);   // in place once it has grown: the array is this holder's alone
                std::memcpy(last.Bytes.data(), p, size_t(n));
                last.Text = s;
                last.Valid = true;
                store(slot, std::move(s));
                return n;
            }
            last.Valid = false;
        }
        const QChar *t = static_cast<const QChar *>(sqlite3_value_text16(v));
        const int n = sqlite3_value_bytes16(v);
        store(slot, QString(t, n / qsizetype(sizeof(QChar))));
        return n;
    }

    // Puts a value into a row's slot: in place when the slot holds a value
    // of the same type, not null and not shared, as the row before mostly
    // left it, which spares a variant made and another destroyed per value.
    template <class T>
    static void store(QVariant &slot, T &&value)
    {
        using V = std::decay_t<T>;
        const QVariant::Private &d = slot.data_ptr();
        if (!d.is_null && d.type() == QMetaType::fromType<V>() && slot.isDetached())
            *static_cast<V *>(const_cast<void *>(d.storage())) = std::forward<T>(value);
        else
            slot = QVariant::fromValue<V>(std::forward<T>(value));
    }

    // The next row; false at the end. A failure raises the error the driver
    // would report.
    bool step()
    {
        if (m_done) {
            if (m_error.isValid())
                RaiseEngineError(engine(), m_error);
            return false;
        }
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        m_done = true;
        if (rc == SQLITE_DONE) {
            sqlite3_reset(m_stmt);   // ends the read transaction now
            return false;
        }
        // the driver resets before reading the message for these two
        const bool resetFirst = rc == SQLITE_ERROR || rc == SQLITE_CONSTRAINT;
        const int code = resetFirst ? sqlite3_reset(m_stmt) : rc;
        m_error = QSqlError(QCoreApplication::translate("QSQLiteResult", "Unable to fetch row"),
                            QString(static_cast<const QChar *>(sqlite3_errmsg16(m_connection))),
                            QSqlError::ConnectionError, QString::number(code));
        if (!resetFirst)
            sqlite3_reset(m_stmt);
        RaiseEngineError(engine(), m_error);
    }

    const TEngine &engine() const;

    TSqliteEngine &m_engine;
    sqlite3 *m_connection;
    sqlite3_stmt *m_stmt;
    bool m_utf8;            // the database keeps its texts in UTF-8
    bool m_pending = false; // a row stepped to and not read yet
    TRowsAhead m_ahead;
    static constexpr qsizetype BatchBytes = 256 * 1024;   // texts and blobs of one batch at most
    std::exception_ptr m_failure;   // the step that ended the batch failed
    bool m_done = false;
    QSqlError m_error;
    QList<TColumnDesc> m_columns;
    // per column: the bytes and the text of the last UTF-8 text decoded
    struct TLastText {
        QByteArray Bytes;
        QString Text;
        bool Valid = false;
    };
    std::vector<TLastText> m_lastTexts;
};

class TSqliteEngine : public TEngine {
public:
    QString DriverName() const override { return QStringLiteral("QSQLITE"); }
    TSqlDialect Dialect() const override { return TSqlDialect::Sqlite; }
    QString DefaultType() const override { return QStringLiteral("SQLITE"); }

    QString PhysicalName(const TAlias &alias) const override
    {
        if (alias.Database == u":memory:")
            return alias.Database;
        return ExpandFileName(alias.Database);
    }

    void Connect(QSqlDatabase &db, const TAlias &alias, const QString &, const QString &) override
    {
        const QString file = PhysicalName(alias);
        QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000");
        if (file == u":memory:") {
            db.setDatabaseName(file);
        } else {
            // Never create a missing file: the alias names an existing database.
            if (!QFileInfo(file).isFile())
                throw EDBEngineError(DBErrorCode::FileMissing,
                                     Format(QStringLiteral("Файл базы данных не найден: %s"), {file}));
            db.setDatabaseName(QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded)
                               + QStringLiteral("?mode=rw"));
            options += QStringLiteral(";QSQLITE_OPEN_URI");
        }
        if (!alias.Options.isEmpty())
            options += u';' + alias.Options;
        db.setConnectOptions(options);
        if (!db.open())
            RaiseEngineError(*this, db.lastError());
        QSqlQuery q(db);
        q.exec(QStringLiteral("PRAGMA foreign_keys = ON"));
        const QVariant handle = db.driver()->handle();
        if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0) {
            sqlite3 *connection = *static_cast<sqlite3 *const *>(handle.constData());
            RegisterUnicodeFunctions(connection);
            // a long statement lets the person see it run and stop it
            // (SQLite then ends it with SQLITE_INTERRUPT)
            sqlite3_progress_handler(
                connection, 20000, [](void *) { return TStatementWatch::Tick() ? 1 : 0; }, nullptr);
        }
    }

    void Disconnected() override
    {
        for (TSqliteDirectRows *rows : m_direct)
            rows->Drop();
        m_direct.clear();
        m_encoding = UnknownEncoding;
    }

    bool Run(TDatabase &db, const QString &sql, std::unique_ptr<TRowSource> *rows, int &rowsAffected,
             TRowReading reading) override
    {
        // SQLite would run the first statement and drop the rest unread
        CheckOneStatement(sql, Dialect());
        db.CheckOpen();
        if (reading == TRowReading::OneWay && rows)
            if (std::unique_ptr<TRowSource> direct = runDirect(db, sql)) {
                *rows = std::move(direct);
                rowsAffected = -1;
                return true;
            }
        auto q = std::make_unique<QSqlQuery>(db.Connection());
        q->setForwardOnly(true);
        // SQLite's own parameters ($x, :x, @x, ?) get no value from the
        // program: say which one, rather than the driver's count mismatch
        // (the driver's own prepare would take colons in comments for
        // parameters, so the text is asked about apart)
        if (const QString name = unboundParameter(db, sql); !name.isEmpty())
            throw EDBEngineError(DBErrorCode::StatementFailed,
                                 Format(QStringLiteral("Нет значения для параметра SQLite '%s'"), {name}));
        if (!q->exec(sql))
            raiseAt(db, sql, q->lastError());
        if (q->isSelect()) {
            if (rows)
                *rows = std::make_unique<TSqliteRows>(*this, std::move(q));
            rowsAffected = -1;
            return true;
        }
        rowsAffected = ReportedRowsAffected(FirstSqlKeyword(sql), q->numRowsAffected());
        return false;
    }

    std::unique_ptr<TRowWindow> OpenWindow(TDatabase &db, const QString &sql, int count,
                                           std::vector<QVariant> &first, int *firstCount) override;

    // The first parameter of SQLite's own in the statement, empty when it
    // has none (or does not prepare: the driver then says why).
    static QString unboundParameter(TDatabase &db, const QString &sql)
    {
        sqlite3 *connection = handleOf(db);
        if (!connection)
            return QString();
        sqlite3_stmt *stmt = nullptr;
        QString name;
        if (sqlite3_prepare16_v2(connection, sql.constData(), int((sql.size() + 1) * qsizetype(sizeof(QChar))),
                                 &stmt, nullptr) == SQLITE_OK
            && stmt && sqlite3_bind_parameter_count(stmt) > 0) {
            const char *n = sqlite3_bind_parameter_name(stmt, 1);
            name = n ? QString::fromUtf8(n) : QStringLiteral("?");
        }
        sqlite3_finalize(stmt);
        return name;
    }

    // The driver's error of `sql`, with the character SQLite's parser
    // stopped at when it knows one (its offset counts UTF-8 bytes).
    [[noreturn]] void raiseAt(TDatabase &db, const QString &sql, const QSqlError &error) const
    {
        sqlite3 *connection = handleOf(db);
        const int offset = connection ? sqlite3_error_offset(connection) : -1;
        try {
            RaiseEngineError(*this, error);
        } catch (const EDBEngineError &e) {
            if (offset < 0)
                throw;
            QList<TDBError> errors = e.Errors();
            const qsizetype at = QString::fromUtf8(sql.toUtf8().left(offset)).size();
            for (TDBError &entry : errors)
                entry.Position = int(at);
            throw EDBEngineError(errors);
        }
    }

    // A read-only statement that returns rows, stepped through SQLite on
    // the driver's connection; null for any other (the driver then runs it,
    // and fails where it fails: a syntax error, parameters without values,
    // text after the statement).
    std::unique_ptr<TRowSource> runDirect(TDatabase &db, const QString &sql)
    {
        const QVariant handle = db.Connection().driver()->handle();
        if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
            return nullptr;
        sqlite3 *connection = *static_cast<sqlite3 *const *>(handle.constData());
        if (!connection)
            return nullptr;
        sqlite3_stmt *stmt = nullptr;
        const void *tail = nullptr;
        if (sqlite3_prepare16_v2(connection, sql.constData(), int((sql.size() + 1) * qsizetype(sizeof(QChar))),
                                 &stmt, &tail)
                != SQLITE_OK
            || !stmt || sqlite3_column_count(stmt) == 0 || !sqlite3_stmt_readonly(stmt)
            || sqlite3_bind_parameter_count(stmt) != 0
            || (tail && !SqlWords(QString(static_cast<const QChar *>(tail)), TSqlDialect::Sqlite).isEmpty())) {
            sqlite3_finalize(stmt);
            return nullptr;
        }
        auto rows = std::make_unique<TSqliteDirectRows>(*this, connection, stmt, utf8(connection));
        rows->Start();
        return rows;
    }

    void attach(TSqliteDirectRows *rows) { m_direct.push_back(rows); }
    void detach(TSqliteDirectRows *rows) { std::erase(m_direct, rows); }

    // TOTAL: a float that never overflows, 0.0 for no rows
    QString NumberSum(const QString &expression) const override
    {
        return QStringLiteral("TOTAL(%1)").arg(expression);
    }

    QString Literal(const QVariant &value, TFieldType type) const override
    {
        if (value.typeId() == QMetaType::QByteArray)
            return QStringLiteral("X'") + QString::fromLatin1(value.toByteArray().toHex()) + u'\'';
        return CommonLiteral(value, type, QStringLiteral("1"), QStringLiteral("0"));
    }

    // A value as it is bound to a statement: dates and times in the text
    // forms the program stores them in, Booleans as 1 and 0, everything
    // else as read, so an old value matches the stored one exactly.
    static QVariant bindable(const QVariant &v, TFieldType type)
    {
        if (!v.isValid() || v.isNull())
            return QVariant();
        switch (v.typeId()) {
        case QMetaType::QDate: case QMetaType::QTime: case QMetaType::QDateTime: {
            const QString literal = CommonLiteral(v, type, QStringLiteral("1"), QStringLiteral("0"));
            return QVariant(literal.mid(1, literal.size() - 2));
        }
        case QMetaType::Bool:
            return QVariant(qint64(v.toBool() ? 1 : 0));
        default:
            return v;
        }
    }

    QString ParamMark(int) const override { return QStringLiteral("?"); }

    // Prepared once through the driver; each run binds its values as a
    // row's edits bind theirs.
    class TBound : public TBoundStatement {
    public:
        TBound(const TSqliteEngine &engine, TDatabase &db, const QList<TFieldType> &types)
            : m_engine(engine), m_query(db.Connection()), m_types(types)
        {
            m_query.setForwardOnly(true);
        }
        void prepare(const QString &sql)
        {
            if (!m_query.prepare(sql))
                RaiseEngineError(m_engine, m_query.lastError());
        }
        int Exec(const QVariantList &values) override
        {
            for (int i = 0; i < values.size(); ++i)
                m_query.bindValue(i, bindable(values[i], m_types.value(i)));
            if (!m_query.exec())
                RaiseEngineError(m_engine, m_query.lastError());
            const int count = m_query.numRowsAffected();
            m_query.finish();
            return count;
        }

    private:
        const TSqliteEngine &m_engine;
        QSqlQuery m_query;
        QList<TFieldType> m_types;
    };

    std::unique_ptr<TBoundStatement> Prepare(TDatabase &db, const QString &sql,
                                             const QList<TFieldType> &types) override
    {
        db.CheckOpen();
        auto bound = std::make_unique<TBound>(*this, db, types);
        bound->prepare(sql);
        return bound;
    }

    int WriteRow(TDatabase &db, const TRowWrite &w, QVariantList &returned) override
    {
        QVariantList binds;
        QStringList conditions;
        for (const TRowWrite::TValue &k : w.Key) {
            conditions.append(QuoteName(k.Column) + QStringLiteral(" = ?"));
            binds.append(bindable(k.Value, k.Type));
        }
        if (!w.RowId.isEmpty() && w.RowIdValue.isValid()) {
            conditions.append(w.RowId + QStringLiteral(" = ?"));
            binds.append(w.RowIdValue);
        }
        for (const TRowWrite::TValue &m : w.Match) {
            conditions.append(QuoteName(m.Column) + QStringLiteral(" IS ?"));
            binds.append(bindable(m.Value, m.Type));
        }
        QStringList back;
        for (const QString &c : w.Returning)
            back.append(QuoteName(c));
        if (w.ReturnRowId)
            back.append(w.RowId);
        if (back.isEmpty())
            back.append(QStringLiteral("1"));
        const QString table = QuoteTable(w.Table);
        QString sql;
        QVariantList setBinds;
        if (w.Kind == TRowWrite::Insert) {
            QStringList names, marks;
            for (const TRowWrite::TValue &v : w.Set) {
                names.append(QuoteName(v.Column));
                marks.append(QStringLiteral("?"));
                setBinds.append(bindable(v.Value, v.Type));
            }
            sql = QStringLiteral("INSERT INTO ") + table
                  + (names.isEmpty() ? QStringLiteral(" DEFAULT VALUES")
                                     : QStringLiteral(" (%1) VALUES (%2)").arg(names.join(QStringLiteral(", ")),
                                                                              marks.join(QStringLiteral(", "))));
        } else if (w.Kind == TRowWrite::Update) {
            QStringList sets;
            for (const TRowWrite::TValue &v : w.Set) {
                sets.append(QuoteName(v.Column) + QStringLiteral(" = ?"));
                setBinds.append(bindable(v.Value, v.Type));
            }
            sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(table, sets.join(QStringLiteral(", ")),
                                                                  conditions.join(QStringLiteral(" AND ")));
        } else {
            sql = QStringLiteral("DELETE FROM %1 WHERE %2").arg(table, conditions.join(QStringLiteral(" AND ")));
        }
        sql += QStringLiteral(" RETURNING ") + back.join(QStringLiteral(", "));
        db.CheckOpen();
        QSqlQuery q(db.Connection());
        q.setForwardOnly(true);
        if (!q.prepare(sql))
            RaiseEngineError(*this, q.lastError());
        for (const QVariant &v : setBinds + binds)
            q.addBindValue(v);
        if (!q.exec())
            RaiseEngineError(*this, q.lastError());
        // every returned row is read, so the statement is done before the
        // caller commits
        int count = 0;
        returned.clear();
        while (q.next()) {
            if (count++ == 0 && (!w.Returning.isEmpty() || w.ReturnRowId))
                for (int i = 0; i < q.record().count(); ++i)
                    returned.append(q.value(i));
        }
        if (q.lastError().isValid())
            RaiseEngineError(*this, q.lastError());
        q.finish();
        return count;
    }

    TTableKey TableKey(TDatabase &db, const QString &table) override
    {
        TTableKey key;
        const qsizetype dot = schemaDot(table);
        const QString bare = dot > 0 ? table.mid(dot + 1) : table;
        QString schema = dot > 0 ? table.left(dot).toLower() : QString();
        if (schema.isEmpty()) {
            // an unqualified name means a temporary table before a main one
            QSqlQuery t = db.Query(QStringLiteral("SELECT 1 FROM sqlite_temp_master WHERE type IN ('table', 'view') "
                                                  "AND name = %1 COLLATE NOCASE").arg(Literal(bare, ftString)));
            schema = t.next() ? QStringLiteral("temp") : QStringLiteral("main");
        }
        const QString master = schema == u"temp" ? QStringLiteral("sqlite_temp_master")
                                                 : QuoteName(schema) + QStringLiteral(".sqlite_master");
        QSqlQuery m = db.Query(QStringLiteral("SELECT type, name FROM %1 WHERE type IN ('table', 'view') "
                                              "AND name = %2 COLLATE NOCASE").arg(master, Literal(bare, ftString)));
        if (!m.next())
            throw EDBEngineError(DBErrorCode::ObjectMissing,
                                 Format(QStringLiteral("Таблица не найдена: %s"), {table}));
        key.Identity = tableIdentity(schema, m.value(1).toString());
        const bool view = m.value(0).toString() == u"view";
        sqlite3 *connection = handleOf(db);
        const QByteArray schemaName = schema.toUtf8();
        key.Writable = !view && !(connection && sqlite3_db_readonly(connection, schemaName.constData()) == 1);
        if (view)
            return key;

        const QList<TColumnDesc> cols = TableColumns(db, table);
        auto notNull = [&](const QString &name) {
            for (const TColumnDesc &c : cols)
                if (c.Name.compare(name, Qt::CaseInsensitive) == 0)
                    return c.NotNull;
            return false;
        };
        // the primary key, else the shortest unique key of NOT NULL columns
        QMap<int, QString> primary;
        QSqlQuery info = db.Query(pragma(QStringLiteral("table_info"), table));
        while (info.next())
            if (info.value(5).toInt() > 0)
                primary.insert(info.value(5).toInt(), info.value(1).toString());
        key.Columns = primary.values();
        if (key.Columns.isEmpty()) {
            QSqlQuery list = db.Query(pragma(QStringLiteral("index_list"), table));
            QStringList indexes;
            while (list.next())
                if (list.value(2).toInt() != 0 && list.value(4).toInt() == 0)   // unique, not partial
                    indexes.append(list.value(1).toString());
            for (const QString &index : indexes) {
                QSqlQuery cols = db.Query(pragma(QStringLiteral("index_info"), schema + u'.' + index));
                QStringList names;
                bool usable = true;
                while (cols.next()) {
                    const QString name = cols.value(2).toString();
                    usable = usable && cols.value(1).toInt() >= 0 && notNull(name);
                    names.append(name);
                }
                if (usable && !names.isEmpty() && (key.Columns.isEmpty() || names.size() < key.Columns.size()))
                    key.Columns = names;
            }
        }
        // the row number, by a name no column shadows; tables WITHOUT ROWID
        // have none
        for (const QString &name : {QStringLiteral("rowid"), QStringLiteral("_rowid_"), QStringLiteral("oid")}) {
            if (std::any_of(cols.begin(), cols.end(),
                            [&](const TColumnDesc &c) { return c.Name.compare(name, Qt::CaseInsensitive) == 0; }))
                continue;
            QSqlQuery probe(db.Connection());
            if (probe.exec(QStringLiteral("SELECT %1 FROM %2 LIMIT 0").arg(name, QuoteTable(table))))
                key.RowId = name;
            break;
        }
        return key;
    }

    static sqlite3 *handleOf(TDatabase &db)
    {
        const QVariant handle = db.Connection().driver()->handle();
        if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
            return nullptr;
        return *static_cast<sqlite3 *const *>(handle.constData());
    }

    // The dot after "main" or "temp", which qualify a table; -1 for a name
    // whose dot is its own (the local database's "TABLE1.DBF").
    static qsizetype schemaDot(const QString &table)
    {
        const qsizetype dot = table.indexOf(u'.');
        const QString owner = table.left(dot);
        return dot > 0 && (owner.compare(u"main", Qt::CaseInsensitive) == 0
                           || owner.compare(u"temp", Qt::CaseInsensitive) == 0)
                   ? dot
                   : -1;
    }

    // "schema"."table" splits into the PRAGMA's schema prefix and the table.
    QString pragma(const QString &name, const QString &table) const
    {
        const qsizetype dot = schemaDot(table);
        if (dot > 0)
            return QStringLiteral("PRAGMA %1.%2(%3)").arg(QuoteName(table.left(dot)), name,
                                                          QuoteName(table.mid(dot + 1)));
        return QStringLiteral("PRAGMA %1(%2)").arg(name, QuoteName(table));
    }

    QList<TColumnDesc> TableColumns(TDatabase &db, const QString &table) override
    {
        QSqlQuery q = db.Query(pragma(QStringLiteral("table_info"), table));
        QList<TColumnDesc> cols;
        int pkCount = 0;
        while (q.next()) {
            TColumnDesc c;
            c.Name = c.Origin = q.value(1).toString();
            c.Table = table;
            c.DeclaredType = q.value(2).toString();
            c.Type = declaredType(c.DeclaredType, c.Size, c.Precision, c.Scale);
            if (c.Type == ftUnknown)
                c.Type = ftBlob;
            c.NotNull = q.value(3).toInt() != 0;
            c.Required = c.NotNull && q.value(4).isNull();
            if (q.value(5).toInt() > 0)
                ++pkCount;
            c.AutoInc = q.value(5).toInt() > 0;   // refined below
            cols.append(c);
        }
        if (cols.isEmpty())
            throw EDBEngineError(DBErrorCode::ObjectMissing,
                                 Format(QStringLiteral("Таблица не найдена: %s"), {table}));
        // Only an INTEGER PRIMARY KEY declared AUTOINCREMENT counts as an
        // auto-increment field; a plain rowid alias is still required unless
        // the engine fills it.
        bool autoIncrement = false;
        if (pkCount == 1) {
            const qsizetype dot = schemaDot(table);
            const QString master = dot > 0 ? QuoteName(table.left(dot)) + QStringLiteral(".sqlite_master")
                                           : QStringLiteral("sqlite_master");
            QSqlQuery m = db.Query(QStringLiteral("SELECT sql FROM %1 WHERE type = 'table' AND name = %2")
                                       .arg(master, Literal(dot > 0 ? table.mid(dot + 1) : table, ftString)));
            autoIncrement = m.next() && m.value(0).toString().toUpper().contains(u"AUTOINCREMENT");
        }
        for (TColumnDesc &c : cols) {
            const bool rowidAlias = c.AutoInc && pkCount == 1 && c.DeclaredType.trimmed().toUpper() == u"INTEGER";
            c.AutoInc = rowidAlias && autoIncrement;
            if (rowidAlias) {
                c.Required = false;
                c.NotNull = true;   // the row number itself
            }
        }
        return cols;
    }

    QList<TTableInfo> Tables(TDatabase &db, bool systemTables, bool extendedInfo) override
    {
        QList<TTableInfo> list;
        QSqlQuery dbs = db.Query(QStringLiteral("PRAGMA database_list"));
        QList<std::pair<QString, QString>> schemas;   // name, file
        while (dbs.next())
            schemas.append({dbs.value(1).toString(), dbs.value(2).toString()});
        for (const auto &[schema, file] : schemas) {
            if (schema == u"temp")
                continue;
            const QDateTime modified = extendedInfo && !file.isEmpty() ? QFileInfo(file).lastModified()
                                                                       : QDateTime();
            QSqlQuery q = db.Query(QStringLiteral("SELECT name, type FROM %1.sqlite_master "
                                                  "WHERE type IN ('table', 'view') ORDER BY name")
                                       .arg(QuoteName(schema)));
            QList<TTableInfo> part;
            while (q.next()) {
                const QString name = q.value(0).toString();
                if (!systemTables && name.startsWith(QStringLiteral("sqlite_"), Qt::CaseInsensitive))
                    continue;
                TTableInfo t;
                t.Name = schema == u"main" ? name : schema + u'.' + name;
                t.View = q.value(1).toString() == u"view";
                t.Modified = modified;
                part.append(t);
            }
            if (systemTables) {
                TTableInfo t;
                t.Name = schema == u"main" ? QStringLiteral("sqlite_master")
                                           : schema + QStringLiteral(".sqlite_master");
                t.Modified = modified;
                part.prepend(t);
            }
            list += part;
        }
        return list;
    }

    QList<TIndexInfo> Indexes(TDatabase &db, const QString &table) override
    {
        QSqlQuery q = db.Query(pragma(QStringLiteral("index_list"), table));
        QList<TIndexInfo> list;
        while (q.next())
            list.append({q.value(1).toString(), q.value(2).toInt() != 0});
        std::reverse(list.begin(), list.end());   // in the order they were made
        return list;
    }

    QList<TParam> ProcParams(TDatabase &, const QString &name, bool &) override
    {
        throw EDBEngineError(DBErrorCode::NotSupported,
                             Format(QStringLiteral("SQLite не поддерживает хранимые процедуры: %s"), {name}));
    }

    QString ProcCall(const QString &name, const TParams &, bool) const override
    {
        throw EDBEngineError(DBErrorCode::NotSupported,
                             Format(QStringLiteral("SQLite не поддерживает хранимые процедуры: %s"), {name}));
    }

    TPlanStyle PlanStyle() const override { return psExplainQueryPlan; }

    TDBError MapError(const QSqlError &e) const override
    {
        TDBError r;
        r.Message = e.databaseText().trimmed();
        if (r.Message.isEmpty())
            r.Message = e.driverText().trimmed();
        r.NativeError = e.nativeErrorCode().toInt();
        const int primary = r.NativeError & 0xFF;
        const QString text = r.Message.toUpper();
        switch (primary) {
        case SQLITE_CONSTRAINT:
            if (text.contains(u"UNIQUE") || text.contains(u"PRIMARY KEY")) r.ErrorCode = DBErrorCode::UniqueKey;
            else if (text.contains(u"FOREIGN KEY")) r.ErrorCode = DBErrorCode::ForeignKey;
            else if (text.contains(u"NOT NULL")) r.ErrorCode = DBErrorCode::RequiredValue;
            else if (text.contains(u"CHECK")) r.ErrorCode = DBErrorCode::CheckFailed;
            else r.ErrorCode = 0x2600;
            break;
        case SQLITE_BUSY: case SQLITE_LOCKED: r.ErrorCode = DBErrorCode::Locked; break;
        case SQLITE_CANTOPEN: r.ErrorCode = DBErrorCode::FileMissing; break;
        case SQLITE_PERM: case SQLITE_AUTH: r.ErrorCode = DBErrorCode::PermissionDenied; break;
        case SQLITE_READONLY: r.ErrorCode = DBErrorCode::ReadOnlyDatabase; break;
        case SQLITE_FULL: r.ErrorCode = DBErrorCode::DiskFull; break;
        case SQLITE_MISMATCH: case SQLITE_TOOBIG: case SQLITE_RANGE: r.ErrorCode = DBErrorCode::BadValue; break;
        case SQLITE_NOTADB: case SQLITE_CORRUPT: case SQLITE_IOERR: r.ErrorCode = DBErrorCode::ConnectFailed; break;
        default:
            if (text.contains(u"SYNTAX ERROR") || text.contains(u"INCOMPLETE INPUT")) r.ErrorCode = DBErrorCode::SyntaxError;
            else if (text.contains(u"NO SUCH")) r.ErrorCode = DBErrorCode::ObjectMissing;
            else if (e.type() == QSqlError::ConnectionError) r.ErrorCode = DBErrorCode::ConnectFailed;
            else r.ErrorCode = DBErrorCode::StatementFailed;
            break;
        }
        return r;
    }

private:
    // Whether the database keeps its texts in UTF-8 (the encoding is fixed
    // once it has a table), asked once per connection.
    bool utf8(sqlite3 *connection)
    {
        if (m_encoding == UnknownEncoding) {
            sqlite3_stmt *stmt = nullptr;
            bool isUtf8 = false;
            if (sqlite3_prepare_v2(connection, "PRAGMA encoding", -1, &stmt, nullptr) == SQLITE_OK
                && sqlite3_step(stmt) == SQLITE_ROW)
                isUtf8 = qstrcmp(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)), "UTF-8") == 0;
            sqlite3_finalize(stmt);
            m_encoding = isUtf8 ? Utf8 : OtherEncoding;
        }
        return m_encoding == Utf8;
    }

    enum { UnknownEncoding, Utf8, OtherEncoding } m_encoding = UnknownEncoding;
    std::vector<TSqliteDirectRows *> m_direct;   // open direct readers of the connection
};

// The rows of a statement by position: each window is the statement run
// again with LIMIT and OFFSET, so that no statement stays open (and holds
// the file's read lock) between windows, and the database is shown as it
// is. A walk reads on from where the last window ended.
class TSqliteWindow : public TRowWindow {
public:
    TSqliteWindow(TSqliteEngine &engine, TDatabase &db, const QString &sql) : m_engine(engine), m_db(db)
    {
        // the statement without its ";", the clauses after it on a line of
        // their own (a line comment may end it); one that limits itself is
        // read as a subquery
        m_sql = SplitSqlScript(sql, TSqlDialect::Sqlite).value(0);
        m_wrapped = FindSqlKeyword(m_sql, {QStringLiteral("LIMIT")}) >= 0;
    }

    const QList<TColumnDesc> &Columns() const override { return m_columns; }
    bool Live() const override { return true; }

    // Prepares the statement for its first window; false when it cannot
    // be read so.
    bool Open()
    {
        m_rows = m_engine.runDirect(m_db, windowSql(0));
        if (!m_rows)
            return false;
        m_columns = m_rows->Columns();
        m_next = 0;
        return true;
    }

    int Read(qint64 offset, int count, QVariant *rows) override
    {
        if (m_failure) {
            const std::exception_ptr failure = std::exchange(m_failure, nullptr);
            if (offset == m_next)
                std::rethrow_exception(failure);
        }
        if (!m_rows || offset != m_next) {
            m_rows.reset();
            m_rows = m_engine.runDirect(m_db, windowSql(offset));
            if (!m_rows)
                throw EDBEngineError(DBErrorCode::StatementFailed,
                                     QStringLiteral("Строки запроса больше не читаются: откройте его заново"));
            m_next = offset;
        }
        return readOn(count, rows);
    }

    qint64 Count() override
    {
        QSqlQuery q = m_db.Query(QStringLiteral("SELECT COUNT(*) FROM (") + m_sql + QStringLiteral("\n)")
                                 + m_exclusion);
        return q.next() ? q.value(0).toLongLong() : 0;
    }

    void Exclude(const std::vector<int> &columns, const std::vector<QVariantList> &keys) override
    {
        m_rows.reset();
        m_exclusion.clear();
        if (keys.empty())
            return;
        QStringList names, rows;
        for (int c : columns)
            names.append(m_engine.QuoteName(m_columns[c].Name));
        for (const QVariantList &key : keys) {
            QStringList values;
            for (qsizetype i = 0; i < key.size(); ++i)
                values.append(m_engine.Literal(key[i], m_columns[columns[size_t(i)]].Type));
            rows.append(u'(' + values.join(u',') + u')');
        }
        m_exclusion = QStringLiteral("\nWHERE (%1) NOT IN (VALUES %2)").arg(names.join(u','), rows.join(u','));
    }

    bool Failing() const override { return m_failure != nullptr; }

    void Walking(bool on) override
    {
        m_walking = on;
        if (!on)
            m_rows.reset();
    }

private:
    QString windowSql(qint64 offset) const
    {
        const QString limit = QStringLiteral("\nLIMIT -1 OFFSET %1").arg(offset);
        if (m_wrapped || !m_exclusion.isEmpty())
            return QStringLiteral("SELECT * FROM (") + m_sql + QStringLiteral("\n)") + m_exclusion + limit;
        return m_sql + limit;
    }

    // Up to `count` rows of the statement read on; it is let go at the end
    // of the window unless a walk goes on with it.
    int readOn(int count, QVariant *rows)
    {
        const size_t width = size_t(m_columns.size());
        int got = 0;
        try {
            while (got < count && m_rows->Fetch(rows + size_t(got) * width))
                ++got;
        } catch (...) {
            m_rows.reset();
            if (got == 0)
                throw;
            m_failure = std::current_exception();
        }
        m_next += got;
        if (got < count || !m_walking)
            m_rows.reset();
        return got;
    }

    TSqliteEngine &m_engine;
    TDatabase &m_db;
    QString m_sql;
    bool m_wrapped = false;
    QString m_exclusion;   // the rows left out, a WHERE clause on the statement's rows
    QList<TColumnDesc> m_columns;
    std::unique_ptr<TRowSource> m_rows;   // the statement, at row m_next
    qint64 m_next = 0;
    bool m_walking = false;
    std::exception_ptr m_failure;   // raised by the next read from m_next
};

std::unique_ptr<TRowWindow> TSqliteEngine::OpenWindow(TDatabase &db, const QString &sql, int count,
                                                      std::vector<QVariant> &first, int *firstCount)
{
    CheckOneStatement(sql, Dialect());
    db.CheckOpen();
    auto window = std::make_unique<TSqliteWindow>(*this, db, sql);
    if (!window->Open())
        return nullptr;
    first.assign(size_t(count) * size_t(window->Columns().size()), QVariant());
    *firstCount = window->Read(0, count, first.data());
    return window;
}

TSqliteDirectRows::TSqliteDirectRows(TSqliteEngine &engine, sqlite3 *connection, sqlite3_stmt *stmt, bool utf8)
    : m_engine(engine), m_connection(connection), m_stmt(stmt), m_utf8(utf8)
{
    m_engine.attach(this);
}

TSqliteDirectRows::~TSqliteDirectRows()
{
    m_engine.detach(this);
    sqlite3_finalize(m_stmt);
}

const TEngine &TSqliteDirectRows::engine() const
{
    return m_engine;
}

} // namespace

void RegisterUnicodeFunctions(sqlite3 *db)
{
    const int flags = SQLITE_UTF16 | SQLITE_DETERMINISTIC;
    sqlite3_create_function_v2(db, "upper", 1, flags, nullptr, caseFunction<&QString::toUpper>, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "lower", 1, flags, nullptr, caseFunction<&QString::toLower>, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "like", 2, flags, nullptr, likeFunction, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "like", 3, flags, nullptr, likeFunction, nullptr, nullptr, nullptr);
}

std::unique_ptr<TEngine> CreateSqliteEngine()
{
    return std::make_unique<TSqliteEngine>();
}
