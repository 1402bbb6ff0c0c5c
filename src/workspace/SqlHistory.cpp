#include "SqlHistory.h"

#include "data/Database.h"
#include "data/Query.h"

namespace {

void exec(const QString &sql, const std::function<void(TQuery &)> &bind = {})
{
    TQuery q;
    q.SetDatabaseName(LocalDatabaseName());
    q.SetSQLText(sql);
    if (bind)
        bind(q);
    q.ExecSQL();
}

void ensureTable()
{
    exec(QStringLiteral("CREATE TABLE IF NOT EXISTS SQL_HISTORY (ID INTEGER PRIMARY KEY AUTOINCREMENT, "
                        "DB_NAME VARCHAR(60) NOT NULL, RUN_AT VARCHAR(30) NOT NULL, SQL_TEXT TEXT NOT NULL, "
                        "ROWS_SEEN INTEGER, SECONDS REAL)"));
}

} // namespace

void SqlHistory::Add(const QString &database, const QString &sql, qint64 rows, double seconds)
{
    const QString text = sql.trimmed();
    if (text.isEmpty())
        return;
    ensureTable();
    const auto byDatabase = [&](TQuery &q) { q.ParamByName(QStringLiteral("Db")).SetAsString(database.toUpper()); };
    exec(QStringLiteral("DELETE FROM SQL_HISTORY WHERE DB_NAME = :Db AND SQL_TEXT = :Sql"), [&](TQuery &q) {
        byDatabase(q);
        q.ParamByName(QStringLiteral("Sql")).SetAsString(text);
    });
    exec(QStringLiteral("INSERT INTO SQL_HISTORY (DB_NAME, RUN_AT, SQL_TEXT, ROWS_SEEN, SECONDS) "
                        "VALUES (:Db, :At, :Sql, :Rows, :Seconds)"),
         [&](TQuery &q) {
             byDatabase(q);
             q.ParamByName(QStringLiteral("At")).SetAsString(QDateTime::currentDateTime().toString(Qt::ISODateWithMs));
             q.ParamByName(QStringLiteral("Sql")).SetAsString(text);
             q.ParamByName(QStringLiteral("Rows")).SetAsInteger(rows);
             q.ParamByName(QStringLiteral("Seconds")).SetAsFloat(seconds);
         });
    exec(QStringLiteral("DELETE FROM SQL_HISTORY WHERE DB_NAME = :Db AND ID NOT IN "
                        "(SELECT ID FROM SQL_HISTORY WHERE DB_NAME = :Db ORDER BY ID DESC LIMIT %1)")
             .arg(Kept),
         byDatabase);
}

QList<TSqlHistoryEntry> SqlHistory::Of(const QString &database)
{
    ensureTable();
    TQuery q;
    q.SetDatabaseName(LocalDatabaseName());
    q.SetSQLText(QStringLiteral("SELECT SQL_TEXT, RUN_AT, ROWS_SEEN, SECONDS FROM SQL_HISTORY "
                                "WHERE DB_NAME = :Db ORDER BY ID DESC"));
    q.ParamByName(QStringLiteral("Db")).SetAsString(database.toUpper());
    q.SetUniDirectional(true);
    q.Open();
    QList<TSqlHistoryEntry> entries;
    for (; !q.Eof(); q.Next())
        entries.append({q.Fields(0)->AsString(), QDateTime::fromString(q.Fields(1)->AsString(), Qt::ISODateWithMs),
                        q.Fields(2)->IsNull() ? -1 : q.Fields(2)->AsInteger(), q.Fields(3)->AsFloat()});
    return entries;
}
