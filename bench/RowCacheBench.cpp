// The row cache of a scrollable dataset: a TQuery opened on a SQLite table of
// 1,000,000 rows and seven columns (an integer key, three texts of typical
// lengths, a number, a date and a float) and moved to its last record, which
// reads every row into the cache (a grid's Ctrl+End), against a bare
// forward-only QSqlQuery walk of the same query reading every value. Each
// measurement runs in a fresh child process; the figures are its time and its
// peak resident size (VmHWM). A third measurement reads every value of every
// row back out of the cache after Last, as a grid scrolling through it would.
// Goal: Last at 1,000,000 rows under 200 MB peak.
//
//   bench_rowcache [rows]      (default 1000000)

#include "ChildRun.h"

#include "common/Settings.h"
#include "data/Database.h"
#include "data/Query.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>

namespace {

const QString Sql = QStringLiteral("SELECT * FROM ROWS7");

long peakKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

void createTable(const QString &file, int rows)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("make"));
        db.setDatabaseName(file);
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("CREATE TABLE ROWS7 (ID INTEGER PRIMARY KEY, NAME VARCHAR(40), EMAIL VARCHAR(40),"
                              " CODE VARCHAR(12), AMOUNT NUMERIC(12,2), MADE DATE, RATE FLOAT)"));
        // a Cyrillic name, an ASCII e-mail address, a short code
        if (!q.exec(QStringLiteral(
                "WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < %1) "
                "INSERT INTO ROWS7 SELECT n, 'Покупатель ' || n, 'client' || n || '@example.com', "
                "printf('A-%06d', n % 100000), n * 1.25, date('2020-01-01', '+' || (n % 2000) || ' days'), "
                "n / 7.0 FROM s").arg(rows)))
            std::fprintf(stderr, "cannot fill the table\n");
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("make"));
}

// Opens the query as a grid does (editable) and moves to the last record;
// with `readBack` every value of every row is then read out of the cache.
double lastRecord(bool readBack)
{
    QElapsedTimer t;
    t.start();
    TQuery q;
    q.SetDatabaseName(QStringLiteral("BENCH"));
    q.SetRequestLive(true);
    q.SetSQLText(Sql);
    q.Open();
    q.Last();
    qint64 sink = q.RecNo() + q.Fields(1)->AsString().size();
    if (readBack) {
        const int rows = q.FetchedCount();
        for (int r = 0; r < rows; ++r)
            for (int i = 0; i < q.FieldCount(); ++i)
                sink += q.RowValue(r, q.Fields(i)).typeId();
    }
    const double s = double(t.nsecsElapsed()) / 1e9;
    std::fprintf(stderr, "(%lld)\n", sink);
    return s;
}

// The same query walked with a bare forward-only QSqlQuery, every value read.
double bareWalk()
{
    QElapsedTimer t;
    t.start();
    QSqlQuery q(Session().OpenDatabase(QStringLiteral("BENCH"))->Connection());
    q.setForwardOnly(true);
    q.exec(Sql);
    qint64 sink = 0;
    while (q.next())
        for (int i = 0; i < 7; ++i)
            sink += q.value(i).typeId();
    const double s = double(t.nsecsElapsed()) / 1e9;
    std::fprintf(stderr, "(%lld)\n", sink);
    return s;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();

    if (args.size() == 3 && args[1] == QLatin1String("--child")) {
        // one measurement in a fresh process: "--child bare|last|read"
        double s = 0;
        try {
            s = args[2] == QLatin1String("bare") ? bareWalk() : lastRecord(args[2] == QLatin1String("read"));
        } catch (const Exception &e) {
            std::fprintf(stderr, "error: %s\n", qPrintable(e.Message()));
            return 1;
        }
        std::printf("%.3f %ld\n", s, peakKb());
        Session().CloseAll();
        return 0;
    }

    const int rows = args.size() > 1 ? args[1].toInt() : 1000000;
    const TBenchHome home("[BENCH]\nDriver=QSQLITE\nDatabase=bench.db\n");

    std::printf("Creating a SQLite table of %d rows, 7 columns...\n", rows);
    createTable(home.Path(QStringLiteral("bench.db")), rows);
    RunChild(app.applicationFilePath(), {QStringLiteral("bare")});   // warm the page cache

    // the fastest of three alternating runs of each; the peak of the last
    const char *kinds[3] = {"bare", "last", "read"};
    TChildResult best[3];
    for (int round = 0; round < 3; ++round)
        for (int k = 0; k < 3; ++k) {
            const TChildResult r = RunChild(app.applicationFilePath(), {QLatin1String(kinds[k])});
            if (round == 0 || r.Seconds < best[k].Seconds)
                best[k].Seconds = r.Seconds;
            best[k].PeakKb = r.PeakKb;
        }
    std::printf("%d rows: bare QSqlQuery walk %.3f s, %.1f MB peak\n", rows, best[0].Seconds,
                double(best[0].PeakKb) / 1024);
    std::printf("%d rows: TQuery Open + Last  %.3f s, %.1f MB peak; ratio to the walk %.2f (goal: under 200 MB)\n",
                rows, best[1].Seconds, double(best[1].PeakKb) / 1024, best[1].Seconds / best[0].Seconds);
    std::printf("%d rows: Last + every value read back %.3f s, %.1f MB peak\n", rows, best[2].Seconds,
                double(best[2].PeakKb) / 1024);
    return 0;
}
