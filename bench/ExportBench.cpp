// The grid's CSV export of a big SQLite table of seven columns, each
// measurement in a fresh process:
//   export   ExportCsv over a grid's query opened as the grid opens it (by
//            position): every row read again forward only, written through
//            the safe writer with quoting and the byte-order mark;
//   bare     a one-directional query walked by hand, each row's display
//            texts made a record by the same quoting and written to a plain
//            file: the same text with nothing around it.
// Both write the same bytes; the ratio and the peak memory of each are
// printed (min/median/max of five alternating runs).
//
//   bench_export [rows]      (default: 1000000)

#include "ChildRun.h"

#include "data/Query.h"
#include "grid/Csv.h"
#include "grid/GridExport.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <map>

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
                              " NOTE varchar(40), AMOUNT numeric(12,2), DAY date, RATE float)"));
        q.exec(QStringLiteral("with recursive s(n) as (select 1 union all select n + 1 from s where n < %1)"
                              " insert into T select n, 'Name' || (n * 7919 % 100000), 'City ' || (n % 97),"
                              " case n % 5 when 0 then 'a, \"quoted\" note' when 1 then null else 'plain' end,"
                              " (n % 100000) / 100.0, date('2020-01-01', '+' || (n % 2000) || ' days'),"
                              " (n % 997) * 0.37 from s")
                   .arg(rows));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("make"));
}

double exportRows(const QString &out)
{
    QElapsedTimer t;
    t.start();
    TQuery query;   // as a grid opens it: by position
    query.SetDatabaseName(QStringLiteral("BIG"));
    query.SetSQLText(QString::fromLatin1(Select));
    query.Open();
    QList<TExportColumn> columns;
    for (int i = 0; i < query.FieldCount(); ++i)
        columns.append({query.Fields(i), query.Fields(i)->DisplayLabel(), {}});
    ExportCsv(query, columns, out, TCsvFormat{});
    return t.nsecsElapsed() / 1e9;
}

double bareWalk(const QString &out)
{
    QElapsedTimer t;
    t.start();
    TQuery query;
    query.SetDatabaseName(QStringLiteral("BIG"));
    query.SetSQLText(QString::fromLatin1(Select));
    query.SetUniDirectional(true);
    query.Open();
    QFile file(out);
    file.open(QIODevice::WriteOnly);
    file.write("\xEF\xBB\xBF");
    QStringList fields;
    for (int i = 0; i < query.FieldCount(); ++i)
        fields << query.Fields(i)->DisplayLabel();
    file.write((CsvRecord(fields, u',') + QStringLiteral("\r\n")).toUtf8());
    QString text;
    for (; !query.Eof(); query.Next()) {
        fields.clear();
        for (int i = 0; i < query.FieldCount(); ++i)
            fields << query.Fields(i)->DisplayText();
        text += CsvRecord(fields, u',');
        text += QStringLiteral("\r\n");
        if (text.size() > 1 << 16) {
            file.write(text.toUtf8());
            text.clear();
        }
    }
    file.write(text.toUtf8());
    return t.nsecsElapsed() / 1e9;
}

QByteArray digest(const QString &file)
{
    QFile f(file);
    f.open(QIODevice::ReadOnly);
    QCryptographicHash h(QCryptographicHash::Sha1);
    h.addData(&f);
    return h.result().toHex();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 4 && args[1] == QLatin1String("--child")) {
        // "--child export|bare OUT"
        const double s = args[2] == u"export" ? exportRows(args[3]) : bareWalk(args[3]);
        PrintChildResult(s);
        return 0;
    }

    const int rows = args.size() > 1 ? args[1].toInt() : 1000000;
    const TBenchHome home("[BIG]\nDriver=QSQLITE\nDatabase=big.db\n");
    createTable(home.Path(QStringLiteral("big.db")), rows);

    const QString exported = home.Path(QStringLiteral("export.csv"));
    const QString bare = home.Path(QStringLiteral("bare.csv"));
    std::map<QString, std::vector<TChildResult>> runs;
    for (int i = 0; i < 5; ++i) {
        runs["export"].push_back(RunChild(app.applicationFilePath(), {QStringLiteral("export"), exported}));
        runs["bare"].push_back(RunChild(app.applicationFilePath(), {QStringLiteral("bare"), bare}));
    }
    if (digest(exported) != digest(bare)) {
        std::fprintf(stderr, "the export and the bare walk wrote different bytes\n");
        return 1;
    }
    const auto spread = [&](const QString &kind, auto value) {
        std::vector<double> v;
        for (const TChildResult &r : runs[kind])
            v.push_back(value(r));
        std::sort(v.begin(), v.end());
        return QString::asprintf("%.2f/%.2f/%.2f", v.front(), v[v.size() / 2], v.back());
    };
    std::vector<double> ratios;
    for (size_t i = 0; i < runs["export"].size(); ++i)
        ratios.push_back(runs["export"][i].Seconds / runs["bare"][i].Seconds);
    std::sort(ratios.begin(), ratios.end());
    const auto seconds = [](const TChildResult &r) { return r.Seconds; };
    const auto megabytes = [](const TChildResult &r) { return r.PeakKb / 1024.0; };
    std::printf("%d rows, %.0f MB of CSV (min/median/max of 5 alternating runs)\n", rows,
                QFileInfo(exported).size() / 1048576.0);
    std::printf("export: %s s, peak %s MB\n", qPrintable(spread("export", seconds)), qPrintable(spread("export", megabytes)));
    std::printf("bare walk: %s s, peak %s MB\n", qPrintable(spread("bare", seconds)), qPrintable(spread("bare", megabytes)));
    std::printf("ratio export / bare: %.2f/%.2f/%.2f\n", ratios.front(), ratios[ratios.size() / 2], ratios.back());
    return 0;
}
