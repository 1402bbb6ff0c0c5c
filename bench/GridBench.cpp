// The data grid on big SQLite tables of seven columns, each measurement in a
// fresh process:
//   first screen   opening the query and painting the grid's first screen,
//                  on the big table against the small one;
//   Ctrl+End       from a grid just opened, its rows not yet counted, to the
//                  painted last screen (which must show the last rows),
//                  against a bare SQLite C-API COUNT(*) of the statement and
//                  a read of its last screenful by OFFSET; peak memory
//                  against a grid of no rows;
//   thumb          the scroll thumb dragged to the middle of a counted grid,
//                  to the painted screen (which must show the middle rows);
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
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <map>
#include <sqlite3.h>

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
    explicit TGrid(const QString &alias, const QString &sql = QString::fromLatin1(Select))
    {
        query.SetDatabaseName(alias);
        query.SetSQLText(sql);
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
    // The ID of the first and the last row the view shows whole.
    std::pair<qint64, qint64> shownIds()
    {
        QTableView *view = grid.View();
        const int top = view->rowAt(0), bottom = view->rowAt(view->viewport()->height() - 1);
        const auto id = [&](int row) { return grid.Model()->index(row, 0).data().toLongLong(); };
        return {id(top + 1) - 1, id(bottom - 1) + 1};
    }
};

// A measurement that showed the wrong rows is no measurement.
void expectShown(TGrid &g, qint64 from, qint64 to)
{
    const auto [first, last] = g.shownIds();
    if (first > to || last < from) {
        std::fprintf(stderr, "wrong rows shown: IDs %lld to %lld, expected %lld to %lld\n", first, last, from, to);
        std::exit(3);
    }
}

double firstScreen(const QString &alias, const QString &sql = QString::fromLatin1(Select))
{
    QElapsedTimer t;
    t.start();
    TGrid g(alias, sql);
    return t.nsecsElapsed() / 1e9;
}

double ctrlEnd(const QString &alias, qint64 rows)
{
    TGrid g(alias);
    QElapsedTimer t;
    t.start();
    g.grid.KeyDown(Qt::Key_End, Qt::ControlModifier);
    g.paint();
    const double s = t.nsecsElapsed() / 1e9;
    expectShown(g, rows, rows);
    return s;
}

double thumb(const QString &alias, qint64 rows)
{
    TGrid g(alias);
    g.grid.Model()->Painted();
    while (g.grid.Model()->rowCount() < rows)   // counted
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    g.paint();   // the scroll bar laid out for every row
    QScrollBar *bar = g.grid.View()->verticalScrollBar();
    QElapsedTimer t;
    t.start();
    bar->setValue(bar->maximum() / 2);
    g.paint();
    const double s = t.nsecsElapsed() / 1e9;
    expectShown(g, rows / 2 - 50, rows / 2 + 50);
    return s;
}

// What the engine needs for the last screen: the count of the statement's
// rows and its last 30 rows by OFFSET, every value read as text.
double bareLastPage(const QString &file)
{
    QElapsedTimer t;
    t.start();
    sqlite3 *db = nullptr;
    sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db, (QByteArray("select count(*) from (") + Select + ")").constData(), -1, &stmt, nullptr);
    sqlite3_step(stmt);
    const qint64 count = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    const QByteArray last = QByteArray(Select) + " limit 30 offset " + QByteArray::number(std::max<qint64>(0, count - 30));
    sqlite3_prepare_v2(db, last.constData(), -1, &stmt, nullptr);
    qint64 chars = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW)
        for (int c = 0; c < 7; ++c)
            chars += sqlite3_column_bytes(stmt, c) + (sqlite3_column_text(stmt, c) ? 0 : 1);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
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

    if (args.size() >= 4 && args[1] == QLatin1String("--child")) {
        // "--child ALIAS first|empty|end|thumb|bare|search [ROWS FILE]"
        const QString alias = args[2], kind = args[3];
        const qint64 rows = args.value(4).toLongLong();
        const double s = kind == u"first"   ? firstScreen(alias)
                         : kind == u"empty" ? firstScreen(alias, QString::fromLatin1(Select) + " limit 0")
                         : kind == u"end"   ? ctrlEnd(alias, rows)
                         : kind == u"thumb" ? thumb(alias, rows)
                         : kind == u"bare"  ? bareLastPage(args.value(5))
                                            : prefixSearch(alias);
        PrintChildResult(s);
        return 0;
    }

    const int big = args.size() > 1 ? args[1].toInt() : 1000000;
    const int small = args.size() > 2 ? args[2].toInt() : 10000;
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());   // made 0700, as Qt wants it
    const TBenchHome home("[BIG]\nDriver=QSQLITE\nDatabase=big.db\n\n[SMALL]\nDriver=QSQLITE\nDatabase=small.db\n");
    const QString bigFile = home.Path(QStringLiteral("big.db"));
    createTable(bigFile, big);
    createTable(home.Path(QStringLiteral("small.db")), small);

    // each kind several times, alternately, so that a busy moment of the
    // machine hits all alike; the spread (min, median, max) of each
    const QStringList kinds{"first", "empty", "end", "thumb", "bare", "search"};
    std::map<QString, std::vector<TChildResult>> runs;
    TChildResult firstSmall{1e9, 0};
    for (int i = 0; i < 5; ++i) {
        for (const QString &kind : kinds)
            runs[kind].push_back(RunChild(app.applicationFilePath(),
                                          {QStringLiteral("BIG"), kind, QString::number(big), bigFile}));
        const TChildResult s = RunChild(app.applicationFilePath(), {QStringLiteral("SMALL"), QStringLiteral("first")});
        firstSmall = s.Seconds < firstSmall.Seconds ? s : firstSmall;
    }
    const auto spread = [&](const QString &kind, double scale) {
        std::vector<double> v;
        for (const TChildResult &r : runs[kind])
            v.push_back(r.Seconds * scale);
        std::sort(v.begin(), v.end());
        return QString::asprintf("%.1f/%.1f/%.1f", v.front(), v[v.size() / 2], v.back());
    };
    const auto peakMb = [&](const QString &kind) {
        long peak = 0;
        for (const TChildResult &r : runs[kind])
            peak = std::max(peak, r.PeakKb);
        return peak / 1024.0;
    };
    std::printf("%d rows (min/median/max of 5 runs)\n", big);
    std::printf("first screen: %s ms (%d rows: best %.1f ms)\n", qPrintable(spread("first", 1e3)), small,
                firstSmall.Seconds * 1e3);
    std::printf("Ctrl+End: %s ms; bare C-API count and last page: %s ms\n", qPrintable(spread("end", 1e3)),
                qPrintable(spread("bare", 1e3)));
    std::printf("thumb to the middle: %s ms\n", qPrintable(spread("thumb", 1e3)));
    std::printf("peak memory: after Ctrl+End %.0f MB, empty grid %.0f MB, above it %.0f MB\n", peakMb("end"),
                peakMb("empty"), peakMb("end") - peakMb("empty"));
    std::printf("prefix search: 500 ms delay + %s ms to the repainted grid\n", qPrintable(spread("search", 1e3)));
    return 0;
}
