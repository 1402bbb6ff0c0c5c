// The SQLite engine: an embedded file database through QSQLITE. Result
// columns are typed from their declared types, read from the statement
// handle, since SQLite itself stores values by affinity only.
#include "Database.h"
#include "SqlText.h"

#include "common/Format.h"
#include "common/Settings.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlResult>
#include <QUrl>
#include <sqlite3.h>

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
    if (base.contains(u"CHAR") || base.contains(u"STRING")) {
        if (base.contains(u"CHAR") && !m.hasMatch() && (base.contains(u"VAR") || base.contains(u"NCHAR"))) {
            size = precision = 255;
            return ftString;
        }
        size = precision = m.hasMatch() ? a1 : (base == u"CHAR" || base == u"CHARACTER" ? 1 : 255);
        return ftString;
    }
    if (base.contains(u"CLOB") || base.contains(u"TEXT") || base.contains(u"MEMO")) return ftMemo;
    if (base.contains(u"GRAPHIC") || base.contains(u"IMAGE")) return ftGraphic;
    if (base.contains(u"BLOB") || base.contains(u"BINARY")) return ftBlob;
    if (base.isEmpty()) return ftUnknown;
    precision = 18;
    return ftFloat;   // numeric affinity
}

class TSqliteRows : public TRowSource {
public:
    TSqliteRows(const TEngine &engine, std::unique_ptr<QSqlQuery> q) : m_engine(engine), m_q(std::move(q))
    {
        const QSqlRecord rec = m_q->record();
        sqlite3_stmt *stmt = nullptr;
        const QVariant h = m_q->result()->handle();
        if (h.isValid() && qstrcmp(h.typeName(), "sqlite3_stmt*") == 0)
            stmt = *static_cast<sqlite3_stmt *const *>(h.constData());
        for (int i = 0; i < rec.count(); ++i) {
            TColumnDesc c;
            c.Name = rec.fieldName(i);
            const char *decl = stmt ? sqlite3_column_decltype(stmt, i) : nullptr;
            c.DeclaredType = decl ? QString::fromUtf8(decl) : QString();
            c.Type = declaredType(c.DeclaredType, c.Size, c.Precision, c.Scale);
            if (c.Type == ftUnknown) {
                // an expression: typed by the driver from the first value
                switch (rec.field(i).metaType().id()) {
                case QMetaType::Int: case QMetaType::LongLong: c.Type = ftInteger; break;
                case QMetaType::Double: c.Type = ftFloat; break;
                case QMetaType::QByteArray: c.Type = ftBlob; break;
                default: c.Type = ftString; c.Size = c.Precision = 255; break;
                }
            }
            if (stmt) {
                const char *table = sqlite3_column_table_name(stmt, i);
                const char *origin = sqlite3_column_origin_name(stmt, i);
                const char *dbName = sqlite3_column_database_name(stmt, i);
                if (table && origin) {
                    c.Table = QString::fromUtf8(table);
                    c.Origin = QString::fromUtf8(origin);
                    int notNull = 0, primary = 0, autoInc = 0;
                    if (sqlite3_table_column_metadata(sqlite3_db_handle(stmt), dbName, table, origin,
                                                      nullptr, nullptr, &notNull, &primary,
                                                      &autoInc) == SQLITE_OK)
                        c.AutoInc = autoInc != 0;
                }
            }
            m_columns.append(c);
        }
    }

    const QList<TColumnDesc> &Columns() const override { return m_columns; }
    QList<TColumnDesc> &MutableColumns() { return m_columns; }

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

class TSqliteEngine : public TEngine {
public:
    QString DriverName() const override { return QStringLiteral("QSQLITE"); }
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
    }

    bool Run(TDatabase &db, const QString &sql, std::unique_ptr<TRowSource> *rows,
             int &rowsAffected) override
    {
        // SQLite would run the first statement and drop the rest unread
        CheckOneStatement(sql);
        db.CheckOpen();
        auto q = std::make_unique<QSqlQuery>(db.Connection());
        q->setForwardOnly(true);
        if (!q->exec(sql))
            RaiseEngineError(*this, q->lastError());
        if (q->isSelect()) {
            if (rows)
                *rows = std::make_unique<TSqliteRows>(*this, std::move(q));
            rowsAffected = -1;
            return true;
        }
        rowsAffected = ReportedRowsAffected(FirstSqlKeyword(sql), q->numRowsAffected());
        return false;
    }

    QString Literal(const QVariant &value, TFieldType type) const override
    {
        if (value.typeId() == QMetaType::QByteArray)
            return QStringLiteral("X'") + QString::fromLatin1(value.toByteArray().toHex()) + u'\'';
        return CommonLiteral(value, type, QStringLiteral("1"), QStringLiteral("0"));
    }

    QString RowIdColumn() const override { return QStringLiteral("_rowid_"); }

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
            c.Required = q.value(3).toInt() != 0 && q.value(4).isNull();
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
            if (rowidAlias)
                c.Required = false;
        }
        return cols;
    }

    QStringList PrimaryKey(TDatabase &db, const QString &table) override
    {
        QSqlQuery q = db.Query(pragma(QStringLiteral("table_info"), table));
        QMap<int, QString> key;
        while (q.next())
            if (q.value(5).toInt() > 0)
                key.insert(q.value(5).toInt(), q.value(1).toString());
        return key.values();
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
        case SQLITE_PERM: case SQLITE_AUTH: case SQLITE_READONLY: r.ErrorCode = DBErrorCode::PermissionDenied; break;
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
};

} // namespace

std::unique_ptr<TEngine> CreateSqliteEngine()
{
    return std::make_unique<TSqliteEngine>();
}
