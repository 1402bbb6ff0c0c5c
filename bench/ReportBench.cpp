// A report with two group levels, footer totals and a twenty-statement
// detail script over a SQLite table, against a bare forward walk of the same
// query reading every field, in the same run. Prints both times, the ratio
// and the peak memory of a child process per table size, so that memory can
// be seen to stay flat in the number of rows.
//
//   bench_report [rows...]      (default: 100000 1000000)

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
#include <QTemporaryDir>
#include <cstdio>

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

void createTable(const QString &file, int rows)
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
    db.close();
}

const QString Sql = QStringLiteral("select * from SALES order by ID");

double bareWalk()
{
    TQuery q;
    q.SetDatabaseName(QStringLiteral("BENCH"));
    q.SetSQLText(Sql);
    q.SetUniDirectional(true);
    QElapsedTimer t;
    t.start();
    q.Open();
    double sink = 0;
    while (!q.Eof()) {
        for (int i = 0; i < q.FieldCount(); ++i)
            sink += q.Fields(i)->AsString().size();
        q.Next();
    }
    const double s = t.nsecsElapsed() / 1e9;
    std::fprintf(stderr, "(%g)\n", sink);
    return s;
}

double reportRun()
{
    TQuery q;
    q.SetDatabaseName(QStringLiteral("BENCH"));
    q.SetSQLText(Sql);
    q.SetUniDirectional(true);
    QElapsedTimer t;
    t.start();
    q.Open();
    TKtReport report;
    QStringList lines;
    for (const char *l : Template)
        lines << QString::fromUtf8(l);
    report.SetFormatSource(lines);
    report.SetDataSet(&q);
    report.SetPrintName(QStringLiteral("bench.prn"));
    report.Prepare();
    report.Execute();
    return t.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();

    if (args.size() == 4 && args[1] == QLatin1String("--child")) {
        // one measurement in a fresh process: "--child rows report|bare"
        const double s = args[3] == QLatin1String("report") ? reportRun() : bareWalk();
        PrintChildResult(s);
        return 0;
    }

    QTemporaryDir home, config;
    qputenv("QUARN_HOME", home.path().toLocal8Bit());
    qputenv("QUARN_CONFIG", config.path().toLocal8Bit());
    QFile ini(config.path() + QStringLiteral("/aliases.ini"));
    ini.open(QIODevice::WriteOnly);
    ini.write("[BENCH]\nDriver=QSQLITE\nDatabase=bench.db\n");
    ini.close();

    QList<int> sizes;
    for (int i = 1; i < args.size(); ++i)
        sizes << args[i].toInt();
    if (sizes.isEmpty())
        sizes = {100000, 1000000};
    std::printf("%10s %10s %10s %7s %12s %12s\n", "rows", "bare s", "report s", "ratio", "bare KB", "report KB");
    for (int rows : sizes) {
        QFile::remove(home.path() + QStringLiteral("/bench.db"));
        createTable(home.path() + QStringLiteral("/bench.db"), rows);
        double secs[2];
        long kb[2];
        const char *kinds[2] = {"bare", "report"};
        for (int k = 0; k < 2; ++k) {
            const TChildResult r = RunChild(app.applicationFilePath(), {QString::number(rows), QLatin1String(kinds[k])});
            secs[k] = r.Seconds;
            kb[k] = r.PeakKb;
        }
        std::printf("%10d %10.3f %10.3f %7.2f %12ld %12ld\n", rows, secs[0], secs[1], secs[1] / secs[0], kb[0], kb[1]);
    }
    return 0;
}
