#pragma once

// Each measurement of a benchmark runs in a fresh process of the benchmark
// itself ("--child ..."), so that its peak memory shows only what that
// measurement keeps. The child prints "seconds peak-KB"; the parent reads it.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <sys/resource.h>

struct TChildResult {
    double Seconds = 0;
    long PeakKb = 0;
};

// What the child prints: the time it measured and its peak resident size.
inline void PrintChildResult(double seconds)
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    std::printf("%.3f %ld\n", seconds, u.ru_maxrss);
}

// Runs `program` with "--child" and `args`, its errors passed through.
inline TChildResult RunChild(const QString &program, const QStringList &args)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(program, QStringList{QStringLiteral("--child")} + args);
    child.waitForFinished(-1);
    const QStringList parts = QString::fromLatin1(child.readAllStandardOutput()).split(u' ');
    return {parts.value(0).toDouble(), parts.value(1).toLong()};
}
