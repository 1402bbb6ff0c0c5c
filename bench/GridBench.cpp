// The data grid on big SQLite tables of seven columns, each measurement in a
// fresh process:
//   first screen   opening the query and painting the grid's first screen,
//                  on 1,000,000 rows against 10,000 rows;
//   Ctrl+End       reading every row into the grid and showing the last one,
//                  against a bare QtSql forward walk of the same query reading
//                  every value (time and peak memory);
//   search         from the end of the search delay after the last key of a
//                  prefix typed into a text column to the repainted grid.
//
//   bench_grid [big-rows] [small-rows]      (default: 1000000 10000)

#include "ChildRun.h"

#include "common/Settings.h"
#include "data/Database.h"
#include "data/Query.h"
#include "grid/SearchDBGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>

namespace {

const char *const Select = "select * from T order by ID";

void createTable(const QString &file, int rows)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("make"));
        db.setDatabaseName(file);
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("create table T (ID integer primary key, NAME varchar(30), CITY varchar(20),"
                              " CODE varchar(8), AMOUNT numeric(12,2), DAY date, RATE float)"));
        q.exec(QStringLiteral("with recursive s(n) as (select 1 union all select n + 1 from s where n < %1)"
                              " insert into T select n, 'Name' || (n * 7919 % 100000), 'City ' || (n % 97),"
                              " printf('C%05d', n % 50000), (n % 100000) / 100.0,"
                              " date('2020-01-01', '+' || (n % 2000) || ' days'), (n % 997) * 0.37 from s")
                   .arg(rows));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("make"));
}

struct TGrid {
    TQuery query;
    TDataSource source{&query};
    TSearchDBGrid grid;
    explicit TGrid(const QString &alias)
    {
        query.SetDatabaseName(alias);
        query.SetSQLText(QString::fromLatin1(Select));
        query.Open();
        grid.SetDataSource(&source);
        grid.resize(1000, 700);
        grid.show();
        paint();
    }
    ~TGrid() { grid.SetDataSource(nullptr); }
    void paint()
    {
        QCoreApplication::processEvents();
        grid.grab();   // every visible cell painted
    }
};

double firstScreen(const QString &alias)
{
    QElapsedTimer t;
    t.start();
    TGrid g(alias);
    return t.nsecsElapsed() / 1e9;
}

double ctrlEnd(const QString &alias)
{
    TGrid g(alias);
    QElapsedTimer t;
    t.start();
    g.grid.KeyDown(Qt::Key_End, Qt::ControlModifier);
    g.paint();
    return t.nsecsElapsed() / 1e9;
}

double bareWalk(const QString &alias)
{
    TDatabase *db = Session().OpenDatabase(alias);
    QElapsedTimer t;
    t.start();
    QSqlQuery q(db->Connection());
    q.setForwardOnly(true);
    q.exec(QString::fromLatin1(Select));
    long chars = 0;
    while (q.next())
        for (int c = 0; c < 7; ++c)
            chars += q.value(c).toString().size();
    std::fprintf(stderr, "%s", chars < 0 ? "?" : "");
    return t.nsecsElapsed() / 1e9;
}

double prefixSearch(const QString &alias)
{
    TGrid g(alias);
    g.grid.SetSelectedIndex(1);   // NAME
    for (QChar c : QStringLiteral("Name12"))
        g.grid.SearchKeyPress(c);
    g.grid.SearchTimer().stop();   // the delay itself is 500 ms by design
    QElapsedTimer t;
    t.start();
    g.grid.ApplySearch();
    g.paint();
    return t.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();

    if (args.size() == 4 && args[1] == QLatin1String("--child")) {
        // "--child ALIAS first|end|walk|search"
        const QString alias = args[2], kind = args[3];
        const double s = kind == u"first" ? firstScreen(alias)
                         : kind == u"end" ? ctrlEnd(alias)
                         : kind == u"walk" ? bareWalk(alias)
                                           : prefixSearch(alias);
        PrintChildResult(s);
        return 0;
    }

    const int big = args.size() > 1 ? args[1].toInt() : 1000000;
    const int small = args.size() > 2 ? args[2].toInt() : 10000;
    QTemporaryDir home, config, runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());   // made 0700, as Qt wants it
    qputenv("QUARN_HOME", home.path().toLocal8Bit());
    qputenv("QUARN_CONFIG", config.path().toLocal8Bit());
    QFile ini(config.path() + QStringLiteral("/aliases.ini"));
    ini.open(QIODevice::WriteOnly);
    ini.write("[BIG]\nDriver=QSQLITE\nDatabase=big.db\n\n[SMALL]\nDriver=QSQLITE\nDatabase=small.db\n");
    ini.close();
    createTable(home.path() + QStringLiteral("/big.db"), big);
    createTable(home.path() + QStringLiteral("/small.db"), small);

    const auto best = [&](const QString &alias, const char *kind, int runs) {
        TChildResult r{1e9, 0};
        for (int i = 0; i < runs; ++i) {
            const TChildResult one = RunChild(app.applicationFilePath(), {alias, QLatin1String(kind)});
            if (one.Seconds < r.Seconds)
                r = one;
        }
        return r;
    };
    // alternately, so that a busy moment of the machine hits both alike
    TChildResult firstSmall{1e9, 0}, firstBig{1e9, 0};
    for (int i = 0; i < 7; ++i) {
        const TChildResult s = best(QStringLiteral("SMALL"), "first", 1);
        const TChildResult b = best(QStringLiteral("BIG"), "first", 1);
        firstSmall = s.Seconds < firstSmall.Seconds ? s : firstSmall;
        firstBig = b.Seconds < firstBig.Seconds ? b : firstBig;
    }
    std::printf("first screen: %d rows %.1f ms, %d rows %.1f ms, ratio %.2f\n", small, firstSmall.Seconds * 1e3, big,
                firstBig.Seconds * 1e3, firstBig.Seconds / firstSmall.Seconds);
    const TChildResult walk = best(QStringLiteral("BIG"), "walk", 3);
    const TChildResult end = best(QStringLiteral("BIG"), "end", 3);
    std::printf("Ctrl+End on %d rows: %.2f s, peak %.0f MB; bare walk %.2f s, peak %.0f MB; ratio %.2f\n", big,
                end.Seconds, end.PeakKb / 1024.0, walk.Seconds, walk.PeakKb / 1024.0, end.Seconds / walk.Seconds);
    const TChildResult search = best(QStringLiteral("BIG"), "search", 3);
    std::printf("prefix search on %d rows: 500 ms delay + %.1f ms to the repainted grid\n", big,
                search.Seconds * 1e3);
    return 0;
}
