#pragma once

// Engines for the data tests. Every engine test is data-driven with one row
// per engine: "sqlite" always, "postgresql" when QUARN_PG_DSN names a
// server (format: "host=H port=P dbname=D user=U password=W"); without it
// the PostgreSQL row is skipped with a loud message, never passed.

#include "TestSupport.h"
#include "common/Settings.h"
#include "data/Database.h"
#include "data/Query.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimeZone>
#include <QtTest>
#include <cstring>

namespace DataTest {

inline QMap<QString, QString> parseDsn(const QString &dsn)
{
    QMap<QString, QString> m;
    for (const QString &part : dsn.split(u' ', Qt::SkipEmptyParts)) {
        const qsizetype eq = part.indexOf(u'=');
        if (eq > 0)
            m.insert(part.left(eq).toLower(), part.mid(eq + 1));
    }
    return m;
}

inline bool havePostgres() { return !qEnvironmentVariableIsEmpty("QUARN_PG_DSN"); }

// Writes aliases.ini with LITE (a fresh SQLite file) and, when a server is
// given, PG (Login=1; the password reaches the login through QUARN_PASSWORD).
inline void writeAliases(const QString &extra = QString())
{
    QFile lite(QDir(ProgramDir()).filePath(QStringLiteral("lite.db")));
    if (!lite.exists()) {
        lite.open(QIODevice::WriteOnly);
        lite.close();
    }
    QString ini = QStringLiteral("[LITE]\nDriver=QSQLITE\nDatabase=lite.db\nDescription=Test file\n\n");
    if (havePostgres()) {
        const auto dsn = parseDsn(qEnvironmentVariable("QUARN_PG_DSN"));
        ini += QStringLiteral("[PG]\nDriver=QPSQL\nHost=%1\nPort=%2\nDatabase=%3\nUser=%4\nLogin=1\n"
                              "Description=Test server\n\n")
                   .arg(dsn.value(QStringLiteral("host")), dsn.value(QStringLiteral("port")),
                        dsn.value(QStringLiteral("dbname")), dsn.value(QStringLiteral("user")));
        qputenv("QUARN_PASSWORD", dsn.value(QStringLiteral("password")).toUtf8());
    }
    ini += extra;
    QFile f(QDir(ConfigDir()).filePath(QStringLiteral("aliases.ini")));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(ini.toUtf8());
}

// One row per engine, the alias name as column "alias".
inline void engineRows()
{
    QTest::addColumn<QString>("alias");
    QTest::newRow("sqlite") << QStringLiteral("LITE");
    QTest::newRow("postgresql") << QStringLiteral("PG");
}

#define QUARN_NEED_ENGINE(alias)                                                              \
    do {                                                                                      \
        if ((alias) == u"PG" && !DataTest::havePostgres())                                    \
            QSKIP("*** PostgreSQL NOT TESTED: QUARN_PG_DSN is not set (./test.sh starts a "    \
                  "server and sets it) ***");                                                 \
    } while (false)

inline bool isPg(const QString &alias) { return alias == u"PG"; }

// Runs statements on an alias through a query, failing the test with the
// engine's message when one fails.
inline void exec(const QString &alias, const QStringList &statements)
{
    TQuery q;
    q.SetDatabaseName(alias);
    q.SetParamCheck(false);
    for (const QString &s : statements) {
        q.SetSQLText(s);
        try {
            q.ExecSQL();
        } catch (const Exception &e) {
            QFAIL(qPrintable(QStringLiteral("%1\n  in: %2").arg(e.Message(), s)));
        }
    }
}

// DDL spelled for the engine: %SERIAL% becomes the auto-increment key
// type, %MONEY% the money type, %TS% the date-time type.
inline QString ddl(const QString &alias, QString sql)
{
    sql.replace(QStringLiteral("%SERIAL%"), isPg(alias) ? QStringLiteral("SERIAL PRIMARY KEY")
                                                        : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT"));
    sql.replace(QStringLiteral("%MONEY%"), QStringLiteral("MONEY"));
    sql.replace(QStringLiteral("%TS%"), isPg(alias) ? QStringLiteral("TIMESTAMP") : QStringLiteral("DATETIME"));
    return sql;
}

// Makes SYS_REPORT and SYS_GRIDS afresh from the script shipped for the
// engine (`sqlDir` is the source tree's sql folder).
inline void createSysTables(const QString &alias, const QString &sqlDir)
{
    const QString name = isPg(alias) ? QStringLiteral("sys_tables_postgresql.sql") : QStringLiteral("sys_tables_sqlite.sql");
    QFile f(QDir(sqlDir).filePath(name));
    QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName()));
    QString script = QString::fromUtf8(f.readAll());
    script.remove(QRegularExpression(QStringLiteral("--[^\n]*")));
    QStringList statements{QStringLiteral("DROP TABLE IF EXISTS SYS_REPORT"), QStringLiteral("DROP TABLE IF EXISTS SYS_GRIDS")};
    for (const QString &s : script.split(u';'))
        if (!s.trimmed().isEmpty())
            statements << s.trimmed();
    exec(alias, statements);
}

// Whether two values are the same: type, nullness and contents, a null text
// apart from an empty one, doubles bit for bit, date-times with their zone.
inline bool same(const QVariant &a, const QVariant &b)
{
    if (a.metaType() != b.metaType() || a.isNull() != b.isNull())
        return false;
    switch (a.typeId()) {
    case QMetaType::UnknownType:
        return true;
    case QMetaType::Double: {
        const double x = a.toDouble(), y = b.toDouble();
        return std::memcmp(&x, &y, sizeof x) == 0;
    }
    case QMetaType::QString:
        return a.toString().isNull() == b.toString().isNull() && a.toString() == b.toString();
    case QMetaType::QByteArray:
        return a.toByteArray().isNull() == b.toByteArray().isNull() && a.toByteArray() == b.toByteArray();
    case QMetaType::QDateTime: {
        const QDateTime x = a.toDateTime(), y = b.toDateTime();
        return x == y && x.isValid() == y.isValid() && x.timeSpec() == y.timeSpec()
               && x.offsetFromUtc() == y.offsetFromUtc() && x.timeZone() == y.timeZone();
    }
    default:
        return a == b;
    }
}

inline QString describe(const QVariant &v)
{
    QString s;
    QDebug(&s) << v << "null" << v.isNull();
    return s.left(200);
}

#define QUARN_SAME(got, want)                                                                       \
    QVERIFY2(same((got), (want)), qPrintable(describe(got) + QStringLiteral(" instead of ") + describe(want)))

inline QString scalar(const QString &alias, const QString &sql)
{
    TQuery q;
    q.SetDatabaseName(alias);
    q.SetSQLText(sql);
    q.Open();
    return q.Fields(0)->AsString();
}

} // namespace DataTest

namespace DataTest {

// A connection of its own to the alias's database, beside the program's:
// what another program sees (and changes) while the program works.
class TSecondConnection {
public:
    // `database`: a PostgreSQL database other than the one QUARN_PG_DSN names.
    explicit TSecondConnection(const QString &alias, const QString &database = QString())
    {
        static int counter = 0;
        m_name = QStringLiteral("second_%1").arg(++counter);
        if (isPg(alias)) {
            const auto dsn = parseDsn(qEnvironmentVariable("QUARN_PG_DSN"));
            m_db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
            m_db.setHostName(dsn.value(QStringLiteral("host")));
            m_db.setPort(dsn.value(QStringLiteral("port")).toInt());
            m_db.setDatabaseName(database.isEmpty() ? dsn.value(QStringLiteral("dbname")) : database);
            m_db.setUserName(dsn.value(QStringLiteral("user")));
            m_db.setPassword(dsn.value(QStringLiteral("password")));
        } else {
            m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
            m_db.setDatabaseName(QDir(ProgramDir()).filePath(QStringLiteral("lite.db")));
            m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        }
        m_db.open();
    }
    ~TSecondConnection()
    {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
    bool isOpen() const { return m_db.isOpen(); }
    // Runs a statement; the error's text, empty when it succeeded.
    QString exec(const QString &sql)
    {
        QSqlQuery q(m_db);
        return q.exec(sql) ? QString() : q.lastError().text();
    }
    // Every row of a query, its columns joined by "|", the rows by ",".
    QString rows(const QString &sql)
    {
        QSqlQuery q(m_db);
        if (!q.exec(sql))
            return QStringLiteral("ERROR: ") + q.lastError().text();
        QStringList out;
        while (q.next()) {
            QStringList cols;
            for (int i = 0; i < q.record().count(); ++i)
                cols.append(q.isNull(i) ? QStringLiteral("NULL") : q.value(i).toString());
            out.append(cols.join(u'|'));
        }
        return out.join(u',');
    }

private:
    QString m_name;
    QSqlDatabase m_db;
};

} // namespace DataTest
