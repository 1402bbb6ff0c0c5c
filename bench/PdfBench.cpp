// A report's output written to PDF, as `quarn-report --pdf` does it: a
// grouped report with a page header, group headers and footers and a page
// footer in several fonts (bold, italic, underlined, a bold field inside the
// detail line) run over a SQLite table, then its pages painted into a PDF
// file, against the same report without the PDF, in the same run. Each
// measurement runs in a fresh process; the loading of the output into pages
// (the viewer's part of the PDF run) is shown too.
//
//   bench_pdf [rows...]      (default: 50000)
//   bench_pdf --keep DIR ROWS   writes DIR/bench.prn and DIR/bench.pdf and keeps them
//   bench_pdf --pair FILE DIR [landscape]
//                               writes the output FILE as DIR/quarn.pdf and, painted
//                               on Qt's QPdfWriter as the preview prints, DIR/qt.pdf,
//                               to compare the two

#include "ChildRun.h"

#include "common/Settings.h"
#include "data/Database.h"
#include "data/Query.h"
#include "report/KtReport.h"
#include "viewer/OutputPages.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>

namespace {

const char *const Template[] = {
    ".VARS",
    "GROUP2 := REGION",
    ".PAGEHEADER",
    "\\F1:12Продажи по регионам\\F255:            страница @PageNum\\L5:14:200:14:3",
    "\\F17:  Номер    Клиент                Кол.        Сумма  Дата\\F255:",
    ".HEADER2",
    "\\F33:11Регион @REGION\\F255:",
    ".DETAIL",
    "    @ID:-8 \\F17:@NAME:20\\F255: @QTY:-5 @AMOUNT:-12.2 @DT",
    ".FOOTER2",
    "\\F17:Итого по региону @REGION:\\F255: @AMOUNT:-14.2",
    ".PAGEFOOTER",
    "\\F38:9Отчет о продажах, страница @PageNum\\F255:",
};

void createTable(const QString &file, int rows)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("make"));
    db.setDatabaseName(file);
    db.open();
    QSqlQuery q(db);
    q.exec(QStringLiteral("create table SALES (ID integer primary key, REGION varchar(20),"
                          " NAME varchar(30), QTY integer, AMOUNT numeric(12,2), DT date)"));
    db.transaction();
    q.prepare(QStringLiteral("insert into SALES values (?, ?, ?, ?, ?, ?)"));
    for (int i = 1; i <= rows; ++i) {
        q.addBindValue(i);
        q.addBindValue(QStringLiteral("Регион %1").arg(i * 5 / rows));
        q.addBindValue(QStringLiteral("Клиент %1").arg(i % 997));
        q.addBindValue(i % 17);
        q.addBindValue((i % 1000) + 0.25);
        q.addBindValue(QStringLiteral("2024-%1-%2").arg(i % 12 + 1, 2, 10, QLatin1Char('0')).arg(i % 28 + 1, 2, 10, QLatin1Char('0')));
        q.exec();
    }
    db.commit();
    db.close();
}

void runReport(const QString &output)
{
    TQuery q;
    q.SetDatabaseName(QStringLiteral("BENCH"));
    q.SetSQLText(QStringLiteral("select * from SALES order by ID"));
    q.SetUniDirectional(true);
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
}

// "report": the report alone; "load": and its output loaded into pages;
// "pdf": and the pages written to PDF.
double measure(const QString &kind)
{
    const QString output = ProgramDir() + QStringLiteral("/bench.prn");
    QElapsedTimer t;
    t.start();
    runReport(output);
    if (kind == QLatin1String("load")) {
        TOutputPages pages;
        pages.Load(output, TPageGeometry::Portrait, std::make_shared<TVirtualPrinter>());
    } else if (kind == QLatin1String("pdf")) {
        const int n = WriteOutputPdf(output, ProgramDir() + QStringLiteral("/bench.pdf"), TPageGeometry::Portrait);
        std::fprintf(stderr, "(%d pages, %lld KB)\n", n,
                     QFile(ProgramDir() + QStringLiteral("/bench.pdf")).size() / 1024);
    }
    return t.nsecsElapsed() / 1e9;
}

// The output painted on a QPdfWriter, page by page.
void paintOnQt(const QString &file, const QString &pdfFile, TPageGeometry::Orientation orientation)
{
    TOutputPages pages;
    pages.Load(file, orientation, std::make_shared<TVirtualPrinter>());
    QPdfWriter pdf(pdfFile);
    pdf.setResolution(pages.Dpi());
    pdf.setPageLayout(OutputPdfLayout(orientation));
    QPainter painter(&pdf);
    for (int p = 0; p < pages.PageCount(); ++p) {
        if (p > 0)
            pdf.newPage();
        pages.PaintPage(painter, p);
    }
}

void setUp(const QString &home, const QString &config)
{
    qputenv("QUARN_HOME", home.toLocal8Bit());
    qputenv("QUARN_CONFIG", config.toLocal8Bit());
    QFile ini(config + QStringLiteral("/aliases.ini"));
    ini.open(QIODevice::WriteOnly);
    ini.write("[BENCH]\nDriver=QSQLITE\nDatabase=bench.db\n");
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();

    if (args.size() == 3 && args[1] == QLatin1String("--child")) {
        // one measurement in a fresh process: "--child report|load|pdf"
        PrintChildResult(measure(args[2]));
        return 0;
    }
    if (args.size() == 4 && args[1] == QLatin1String("--keep")) {
        // the files of one run, to look at
        QDir().mkpath(args[2]);
        setUp(args[2], args[2]);
        createTable(args[2] + QStringLiteral("/bench.db"), args[3].toInt());
        measure(QStringLiteral("pdf"));
        return 0;
    }

    if ((args.size() == 4 || args.size() == 5) && args[1] == QLatin1String("--pair")) {
        const auto orientation = args.size() == 5 ? TPageGeometry::Landscape : TPageGeometry::Portrait;
        QDir().mkpath(args[3]);
        WriteOutputPdf(args[2], args[3] + QStringLiteral("/quarn.pdf"), orientation);
        paintOnQt(args[2], args[3] + QStringLiteral("/qt.pdf"), orientation);
        return 0;
    }

    QTemporaryDir home, config;
    setUp(home.path(), config.path());
    QList<int> sizes;
    for (int i = 1; i < args.size(); ++i)
        sizes << args[i].toInt();
    if (sizes.isEmpty())
        sizes = {50000};
    std::printf("%10s %10s %10s %10s %7s %7s %12s %12s\n", "rows", "report s", "+load s", "+pdf s",
                "load x", "pdf x", "report KB", "pdf KB");
    for (int rows : sizes) {
        QFile::remove(home.path() + QStringLiteral("/bench.db"));
        createTable(home.path() + QStringLiteral("/bench.db"), rows);
        double secs[3];
        long kb[3];
        const char *kinds[3] = {"report", "load", "pdf"};
        for (int k = 0; k < 3; ++k) {
            const TChildResult r = RunChild(app.applicationFilePath(), {QLatin1String(kinds[k])});
            secs[k] = r.Seconds;
            kb[k] = r.PeakKb;
        }
        std::printf("%10d %10.3f %10.3f %10.3f %7.2f %7.2f %12ld %12ld\n", rows, secs[0], secs[1],
                    secs[2], secs[1] / secs[0], secs[2] / secs[0], kb[0], kb[2]);
    }
    return 0;
}
