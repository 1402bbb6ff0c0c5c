// Loading and paginating a report output file in the viewer (mapped, split
// into lines, every line measured with the real fonts, divided into pages)
// against a bare scan of the same file counting its lines, in the same run.
// Each measurement runs in a fresh process so that its peak memory shows
// what it keeps: the file stays mapped, not copied.
//
//   bench_viewer [lines...]      (default: 100000 1000000)

#include "ChildRun.h"

#include "common/Settings.h"
#include "common/TextFile.h"
#include "viewer/OutputPages.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>

namespace {

// An output file as a grouped report writes it: a page header with a font
// code every 60 lines, detail lines of about 80 characters, a paragraph now
// and then.
void writeOutput(const QString &file, int lines)
{
    QFile f(file);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    QByteArray chunk;
    for (int i = 0; i < lines; ++i) {
        if (i % 60 == 0)
            chunk += EncodeText(QStringLiteral("^\\F1:12Реестр счетов, страница %1\\F255:\r\n").arg(i / 60 + 1));
        else if (i % 500 == 250)
            chunk += EncodeText(QStringLiteral("\\PB10:10 Примечание к странице: текст абзаца, выровненный по ширине.\\PE\r\n"));
        else
            chunk += EncodeText(QStringLiteral("  СЧ-%1     10.01.2023 ООО «Торговый дом Попов и партнёры»        %2.40\r\n")
                                    .arg(i, 5, 10, QLatin1Char('0'))
                                    .arg(i % 100000, 8));
        if (chunk.size() > (1 << 20)) {
            f.write(chunk);
            chunk.clear();
        }
    }
    f.write(chunk);
}

double bareScan(const QString &file)
{
    QElapsedTimer t;
    t.start();
    QFile f(file);
    f.open(QIODevice::ReadOnly);
    const uchar *data = f.map(0, f.size());
    long lines = 0;
    const char *p = reinterpret_cast<const char *>(data), *end = p + f.size();
    while (p < end) {
        const void *cr = std::memchr(p, '\r', size_t(end - p));
        ++lines;
        p = cr ? static_cast<const char *>(cr) + 1 : end;
        if (p < end && *p == '\n')
            ++p;
    }
    const double s = t.nsecsElapsed() / 1e9;
    std::fprintf(stderr, "(%ld lines)\n", lines);
    return s;
}

double load(const QString &file)
{
    QElapsedTimer t;
    t.start();
    TOutputPages pages;
    pages.Load(file, TPageGeometry::Portrait, std::make_shared<TVirtualPrinter>(300));
    const double s = t.nsecsElapsed() / 1e9;
    std::fprintf(stderr, "(%d lines, %d pages)\n", pages.LineCount(), pages.PageCount());
    return s;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();

    if (args.size() == 4 && args[1] == QLatin1String("--child")) {
        // one measurement in a fresh process: "--child file load|bare"
        const double s = args[3] == QLatin1String("load") ? load(args[2]) : bareScan(args[2]);
        PrintChildResult(s);
        return 0;
    }

    QTemporaryDir home, config;
    qputenv("QUARN_HOME", home.path().toLocal8Bit());
    qputenv("QUARN_CONFIG", config.path().toLocal8Bit());
    QList<int> sizes;
    for (int i = 1; i < args.size(); ++i)
        sizes << args[i].toInt();
    if (sizes.isEmpty())
        sizes = {100000, 1000000};
    std::printf("%10s %10s %10s %7s %12s %12s %10s\n", "lines", "bare s", "load s", "ratio", "bare KB",
                "load KB", "file KB");
    for (int lines : sizes) {
        const QString file = home.path() + QStringLiteral("/bench.prn");
        writeOutput(file, lines);
        double secs[2];
        long kb[2];
        const char *kinds[2] = {"bare", "load"};
        for (int k = 0; k < 2; ++k) {
            const TChildResult r = RunChild(app.applicationFilePath(), {file, QLatin1String(kinds[k])});
            secs[k] = r.Seconds;
            kb[k] = r.PeakKb;
        }
        std::printf("%10d %10.3f %10.3f %7.2f %12ld %12ld %10lld\n", lines, secs[0], secs[1],
                    secs[1] / secs[0], kb[0], kb[1], QFile(file).size() / 1024);
    }
    return 0;
}
