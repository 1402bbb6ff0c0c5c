// The data layer against bare QtSql, in one run:
//  1. a report walk: 1,000,000 rows of a SQLite table read forward through a
//     one-directional TQuery, every field read in its type, against the same
//     walk with a forward-only QSqlQuery (goal: ratio at most 1.3);
//  2. a grid: open a query and show its first 100 rows on tables of 10,000
//     and 1,000,000 rows; time and memory (goal: the same for both).
// With QUARN_PG_DSN set both run on PostgreSQL as well.
//
//   bench_data [rows]      (default 1000000)

#include "common/DateTime.h"
#include "common/Settings.h"
#include "data/Database.h"
#include "data/Query.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>

static long rssKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

static void makeTable(const QString &alias, const QString &table, int rows)
{
    TDatabase *db = Session().OpenDatabase(alias);
    const bool pg = db->Alias().Driver == u"QPSQL";
    db->ExecSQL(QStringLiteral("DROP TABLE IF EXISTS ") + table);
    db->ExecSQL(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, name VARCHAR(40), city VARCHAR(30), "
                               "amount NUMERIC(12,2), qty INTEGER, made DATE)").arg(table));
    if (pg)
        db->ExecSQL(QStringLiteral("INSERT INTO %1 SELECT n, 'Покупатель ' || n, 'Город ' || (n % 100), "
                                   "n * 1.25, n % 1000, DATE '2020-01-01' + (n % 2000) "
                                   "FROM generate_series(1, %2) n").arg(table).arg(rows));
    else
        db->ExecSQL(QStringLiteral("WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < %2) "
                                   "INSERT INTO %1 SELECT n, 'Покупатель ' || n, 'Город ' || (n % 100), "
                                   "n * 1.25, n % 1000, date('2020-01-01', '+' || (n % 2000) || ' days') FROM s")
                        .arg(table).arg(rows));
    db->FlushSchemaCache();
}

// The report walk through TQuery: every field read as the report reads it.
static double walkQuery(const QString &alias, const QString &table, double &check)
{
    QElapsedTimer t;
    t.start();
    TQuery q;
    q.SetDatabaseName(alias);
    q.SetUniDirectional(true);
    q.SetSQLText(QStringLiteral("SELECT * FROM ") + table);
    q.Open();
    TField *id = q.Fields(0), *name = q.Fields(1), *city = q.Fields(2), *amount = q.Fields(3),
           *qty = q.Fields(4), *made = q.Fields(5);
    double sum = 0;
    qint64 len = 0;
    while (!q.Eof()) {
        sum += double(id->AsInteger()) + amount->AsFloat() + double(qty->AsInteger()) + made->AsDateTime();
        len += name->AsString().size() + city->AsString().size();
        q.Next();
    }
    check = sum + double(len);
    return double(t.nsecsElapsed()) / 1e9;
}

// The same walk with a bare forward-only QSqlQuery and the same conversions.
static double walkBare(const QString &alias, const QString &table, double &check)
{
    QElapsedTimer t;
    t.start();
    QSqlQuery q(Session().OpenDatabase(alias)->Connection());
    q.setForwardOnly(true);
    q.exec(QStringLiteral("SELECT * FROM ") + table);
    double sum = 0;
    qint64 len = 0;
    while (q.next()) {
        const QVariant made = q.value(5);
        const TDateTime d = made.typeId() == QMetaType::QDate
                                ? QDateToDateTime(made.toDate())
                                : QDateToDateTime(QDate::fromString(made.toString(), Qt::ISODate));
        sum += double(q.value(0).toLongLong()) + q.value(3).toDouble() + double(q.value(4).toLongLong()) + d;
        len += q.value(1).toString().size() + q.value(2).toString().size();
    }
    check = sum + double(len);
    return double(t.nsecsElapsed()) / 1e9;
}

struct GridCost {
    double seconds;
    long kb;
};

// Open a grid's query (editable, as a table view opens) and show 100 rows.
static GridCost showFirstRows(const QString &alias, const QString &table)
{
    const long before = rssKb();
    QElapsedTimer t;
    t.start();
    auto q = std::make_unique<TQuery>();
    q->SetDatabaseName(alias);
    q->SetRequestLive(true);
    q->SetSQLText(QStringLiteral("SELECT * FROM ") + table);
    q->Open();
    q->FetchUpTo(100);
    qint64 chars = 0;
    for (int r = 0; r < 100 && r < q->FetchedCount(); ++r) {
        q->MoveTo(r);
        for (int i = 0; i < q->FieldCount(); ++i)
            chars += q->Fields(i)->DisplayText().size();
    }
    GridCost c{double(t.nsecsElapsed()) / 1e9, rssKb() - before};
    if (chars == 0)
        std::printf("no rows shown\n");
    return c;
}

static void gridBench(const QString &alias, int bigRows)
{
    makeTable(alias, QStringLiteral("bench_small"), 10000);
    makeTable(alias, QStringLiteral("bench_big"), bigRows);
    // warm the caches (table descriptions, the engine's pages)
    showFirstRows(alias, QStringLiteral("bench_small"));
    showFirstRows(alias, QStringLiteral("bench_big"));
    const GridCost small = showFirstRows(alias, QStringLiteral("bench_small"));
    const GridCost big = showFirstRows(alias, QStringLiteral("bench_big"));
    std::printf("%s grid, first 100 rows: 10,000 rows %.2f ms %ld KB; %d rows %.2f ms %ld KB; time ratio %.2f\n",
                qPrintable(alias), small.seconds * 1e3, small.kb, bigRows, big.seconds * 1e3, big.kb,
                big.seconds / small.seconds);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
    QTemporaryDir home;
    qputenv("QUARN_HOME", home.path().toUtf8());
    qputenv("QUARN_CONFIG", home.path().toUtf8());
    QFile(QDir(home.path()).filePath(QStringLiteral("bench.db"))).open(QIODevice::WriteOnly);
    QString ini = QStringLiteral("[BENCH]\nDriver=QSQLITE\nDatabase=bench.db\n\n");
    if (!qEnvironmentVariableIsEmpty("QUARN_PG_DSN")) {
        QMap<QString, QString> d;
        for (const QString &p : qEnvironmentVariable("QUARN_PG_DSN").split(u' ', Qt::SkipEmptyParts))
            d.insert(p.section(u'=', 0, 0), p.section(u'=', 1));
        ini += QStringLiteral("[BENCHPG]\nDriver=QPSQL\nHost=%1\nPort=%2\nDatabase=%3\nUser=%4\nLogin=1\n")
                   .arg(d["host"], d["port"], d["dbname"], d["user"]);
        qputenv("QUARN_PASSWORD", d["password"].toUtf8());
    }
    QFile cfg(QDir(home.path()).filePath(QStringLiteral("aliases.ini")));
    cfg.open(QIODevice::WriteOnly);
    cfg.write(ini.toUtf8());
    cfg.close();

    try {
        std::printf("Creating a SQLite table of %d rows...\n", rows);
        makeTable(QStringLiteral("BENCH"), QStringLiteral("bench_walk"), rows);
        double c1 = 0, c2 = 0;
        walkBare(QStringLiteral("BENCH"), QStringLiteral("bench_walk"), c2);   // warm the page cache
        double bare = 1e9, query = 1e9;
        for (int i = 0; i < 3; ++i) {   // best of three each
            bare = std::min(bare, walkBare(QStringLiteral("BENCH"), QStringLiteral("bench_walk"), c2));
            query = std::min(query, walkQuery(QStringLiteral("BENCH"), QStringLiteral("bench_walk"), c1));
        }
        std::printf("SQLite forward walk of %d rows: QSqlQuery %.3f s, TQuery %.3f s, ratio %.2f (goal <= 1.30)%s\n",
                    rows, bare, query, query / bare, c1 == c2 ? "" : " CHECKSUMS DIFFER");
        gridBench(QStringLiteral("BENCH"), rows);
        if (!qEnvironmentVariableIsEmpty("QUARN_PG_DSN")) {
            makeTable(QStringLiteral("BENCHPG"), QStringLiteral("bench_walk"), rows);
            walkBare(QStringLiteral("BENCHPG"), QStringLiteral("bench_walk"), c2);
            bare = query = 1e9;
            for (int i = 0; i < 3; ++i) {
                bare = std::min(bare, walkBare(QStringLiteral("BENCHPG"), QStringLiteral("bench_walk"), c2));
                query = std::min(query, walkQuery(QStringLiteral("BENCHPG"), QStringLiteral("bench_walk"), c1));
            }
            std::printf("PostgreSQL forward walk of %d rows: QSqlQuery %.3f s, TQuery %.3f s, ratio %.2f%s\n",
                        rows, bare, query, query / bare, c1 == c2 ? "" : " CHECKSUMS DIFFER");
            gridBench(QStringLiteral("BENCHPG"), rows);
        } else {
            std::printf("PostgreSQL not measured: QUARN_PG_DSN is not set\n");
        }
    } catch (const Exception &e) {
        std::printf("error: %s\n", qPrintable(e.Message()));
        return 1;
    }
    Session().CloseAll();
    return 0;
}
