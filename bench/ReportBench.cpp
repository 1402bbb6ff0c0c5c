// A report with two group levels, footer totals and a twenty-statement
// detail script over a SQLite table, against a bare QtSql walk of the same
// query (a forward-only QSqlQuery reading every value as text), in the same
// run. The walk through a one-directional TQuery reading every field as
// text is shown beside it. Two orders of the same rows: the table's own
// (by its integer key) and an index's (REGION, CITY, NAME), where every row
// is looked up in the table from the index, so that the walk jumps about the
// file. Each measurement runs in a fresh child process; the figures are its
// time and its peak resident size, so that memory can be seen to stay flat
// in the number of rows, and beside the ratios of the times on the clock the
// ratio of the report's processor time to the walk's, which swings less on
// a busy machine.
//
//   bench_report [rows...]      (default: 100000 1000000)
//
// With BENCH_REPORT_OUTPUT naming a directory, the reports' output files are
// copied there (bench-ROWS-table.prn, bench-ROWS-index.prn) for comparing
// builds.

#include "ChildRun.h"

#include "common/Settings.h"
#include "data/Database.h"
#include "data/Query.h"
#include "report/KtReport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <cstdio>
#include <utility>

namespace {

const char *const Template[] = {
    ".VARS",
    "GROUP2 := REGION",
    "GROUP3 := CITY",
    ".HEADER2",
    "Регион @REGION",
    ".HEADER3",
    "  Город @CITY",
    ".DETAIL",
    "#QTY2 := QTY * 2; PRICE := AMOUNT / (QTY + 1); TAX := Rd2(AMOUNT * 0.2)",
    "#TOTAL := AMOUNT + TAX; ACC := ACC + TOTAL; N := N + 1",
    "#IF TOTAL > 500 THEN BIG := BIG + 1; ELSE SMALL := SMALL + 1;",
    "#LABEL := NAME + ' / ' + CITY; SHORT := Copy(LABEL, 1, 10)",
    "#L := Length(LABEL); P := Pos('/', LABEL); UP := UpCase(SHORT)",
    "#IF P > 0 THEN TAIL := Copy(LABEL, P + 2, 20);",
    "#AVG := ACC / N; R := Round(AVG); DIFF := TOTAL - AMOUNT - TAX",
    "#IF DIFF <> 0 THEN ERRS := ERRS + 1;",
    "    @ID:-8 @NAME:20 @QTY:-5 @AMOUNT:-12.2 @TOTAL:-12.2 @DT",
    ".FOOTER3",
    "  Итого по городу @CITY: @AMOUNT:-12.2 (@AMOUNT:-6.200)",
    ".FOOTER2",
    "Итого по региону @REGION: @AMOUNT:-14.2 (@AMOUNT:-8.200)",
    ".FOOTER1",
    "Всего @AMOUNT:-16.2 записей @AMOUNT:-8.200",
};

const QString TableSql = QStringLiteral("select * from SALES order by ID");
const QString IndexSql = QStringLiteral("select * from SALES order by REGION, CITY, NAME");

void createTable(const QString &file, int rows)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("make"));
        db.setDatabaseName(file);
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("create table SALES (ID integer primary key, REGION varchar(20), CITY varchar(20),"
                              " NAME varchar(30), QTY integer, AMOUNT numeric(12,2), DT date)"));
        db.transaction();
        q.prepare(QStringLiteral("insert into SALES values (?, ?, ?, ?, ?, ?, ?)"));
        for (int i = 1; i <= rows; ++i) {
            const int city = i * 10 / rows;   // ten cities in order, two per region
            q.addBindValue(i);
            q.addBindValue(QStringLiteral("Регион %1").arg(city / 2));
            q.addBindValue(QStringLiteral("Город %1").arg(city));
            q.addBindValue(QStringLiteral("Клиент %1").arg(i % 997));
            q.addBindValue(i % 17);
            q.addBindValue((i % 1000) + 0.25);
            q.addBindValue(QStringLiteral("2024-%1-%2").arg(i % 12 + 1, 2, 10, QLatin1Char('0')).arg(i % 28 + 1, 2, 10, QLatin1Char('0')));
            q.exec();
        }
        db.commit();
        q.exec(QStringLiteral("create index SALES_RCN on SALES (REGION, CITY, NAME)"));
        // the index order must come from the index, not from a sort
        q.exec(QStringLiteral("explain query plan ") + IndexSql);
        QString plan;
        while (q.next())
            plan += q.value(3).toString() + u'\n';
        if (!plan.contains(QLatin1String("SALES_RCN")) || plan.contains(QLatin1String("TEMP B-TREE")))
            std::fprintf(stderr, "the index order does not follow the index:\n%s", qPrintable(plan));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("make"));
}

// The time of one measurement on the clock and in the processor.
struct TSpan {
    QElapsedTimer Wall;
    double Cpu0 = ProcessCpuSeconds();
    TSpan() { Wall.start(); }
    std::pair<double, double> Done() const { return {Wall.nsecsElapsed() / 1e9, ProcessCpuSeconds() - Cpu0}; }
};

// The bare walk: QtSql alone, every value read as text.
std::pair<double, double> qtsqlWalk(const QString &file, const QString &sql)
{
    std::pair<double, double> s;
    double sink = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bare"));
        db.setDatabaseName(file);
        const TSpan t;
        db.open();
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.exec(sql);
        const int n = q.record().count();
        while (q.next())
            for (int i = 0; i < n; ++i)
                sink += q.value(i).toString().size();
        s = t.Done();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bare"));
    std::fprintf(stderr, "(%g)\n", sink);
    return s;
}

// The same walk through a one-directional TQuery, every field as text.
std::pair<double, double> queryWalk(const QString &sql)
{
    TQuery q;
    q.SetDatabaseName(QStringLiteral("BENCH"));
    q.SetSQLText(sql);
    q.SetUniDirectional(true);
    const TSpan t;
    q.Open();
    double sink = 0;
    while (!q.Eof()) {
        for (int i = 0; i < q.FieldCount(); ++i)
            sink += q.Fields(i)->AsString().size();
        q.Next();
    }
    const std::pair<double, double> s = t.Done();
    std::fprintf(stderr, "(%g)\n", sink);
    return s;
}

std::pair<double, double> reportRun(const QString &sql, const QString &output)
{
    TQuery q;
    q.SetDatabaseName(QStringLiteral("BENCH"));
    q.SetSQLText(sql);
    q.SetUniDirectional(true);
    const TSpan t;
    q.Open();
    TKtReport report;
    QStringList lines;
    for (const char *l : Template)
        lines << QString::fromUtf8(l);
    report.SetFormatSource(lines);
    report.SetDataSet(&q);
    report.SetPrintName(output);
    report.Prepare();
    report.Execute();
    return t.Done();
}

const char *const Orders[] = {"table", "index"};
const char *const Kinds[] = {"qtsql", "tquery", "report"};

QString orderSql(const QString &order)
{
    return order == QLatin1String("index") ? IndexSql : TableSql;
}

QString outputName(const QString &order)
{
    return order == QLatin1String("index") ? QStringLiteral("bench-index.prn") : QStringLiteral("bench.prn");
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();

    if (args.size() == 5 && args[1] == QLatin1String("--child")) {
        // one measurement in a fresh process: "--child rows table|index qtsql|tquery|report"
        const QString sql = orderSql(args[3]);
        std::pair<double, double> s;
        if (args[4] == QLatin1String("report"))
            s = reportRun(sql, outputName(args[3]));
        else if (args[4] == QLatin1String("tquery"))
            s = queryWalk(sql);
        else
            s = qtsqlWalk(ExpandFileName(QStringLiteral("bench.db")), sql);
        PrintChildResult(s.first, s.second);
        return 0;
    }

    const TBenchHome home("[BENCH]\nDriver=QSQLITE\nDatabase=bench.db\n");
    const QString keep = qEnvironmentVariable("BENCH_REPORT_OUTPUT");

    QList<int> sizes;
    for (int i = 1; i < args.size(); ++i)
        sizes << args[i].toInt();
    if (sizes.isEmpty())
        sizes = {100000, 1000000};
    std::printf("%8s %6s %8s %8s %8s %7s %7s %7s %9s %9s %9s\n", "rows", "order", "qtsql s", "tquery s",
                "report s", "report/", "tquery/", "report/", "qtsql KB", "tquery KB", "report KB");
    std::printf("%8s %6s %8s %8s %8s %7s %7s %7s\n", "", "", "", "", "", "qtsql", "qtsql", "q. cpu");
    for (int rows : sizes) {
        QFile::remove(home.Path(QStringLiteral("bench.db")));
        createTable(home.Path(QStringLiteral("bench.db")), rows);
        for (const char *order : Orders) {
            TChildResult r[3];
            for (int k = 0; k < 3; ++k)
                r[k] = RunChild(app.applicationFilePath(),
                                {QString::number(rows), QLatin1String(order), QLatin1String(Kinds[k])});
            std::printf("%8d %6s %8.3f %8.3f %8.3f %7.2f %7.2f %7.2f %9ld %9ld %9ld\n", rows, order, r[0].Seconds,
                        r[1].Seconds, r[2].Seconds, r[2].Seconds / r[0].Seconds, r[1].Seconds / r[0].Seconds,
                        r[2].CpuSeconds / r[0].CpuSeconds, r[0].PeakKb, r[1].PeakKb, r[2].PeakKb);
            std::fflush(stdout);
            if (!keep.isEmpty()) {
                const QString target = QStringLiteral("%1/bench-%2-%3.prn").arg(keep).arg(rows).arg(QLatin1String(order));
                QFile::remove(target);
                QFile::copy(home.Path(outputName(QLatin1String(order))), target);
            }
        }
    }
    return 0;
}
