#pragma once

// Each measurement of a benchmark runs in a fresh process of the benchmark
// itself ("--child ..."), so that its peak memory shows only what that
// measurement keeps. The child prints "seconds peak-KB [cpu-seconds]"; the
// parent reads it.

#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>

struct TChildResult {
    double Seconds = 0;
    long PeakKb = 0;
    double CpuSeconds = -1;   // the processor time of the measurement, when the child gave it
};

// The processor time this process has used so far (user and system): on a
// machine shared with other work it swings less than the time on the clock.
inline double ProcessCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// What the child prints: the time it measured, its peak resident size and
// the processor time of the measurement (when given).
inline void PrintChildResult(double seconds, double cpuSeconds = -1)
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    if (cpuSeconds >= 0)
        std::printf("%.3f %ld %.3f\n", seconds, u.ru_maxrss, cpuSeconds);
    else
        std::printf("%.3f %ld\n", seconds, u.ru_maxrss);
}

// Runs `program` with "--child" and `args`, its errors passed through.
inline TChildResult RunChild(const QString &program, const QStringList &args)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(program, QStringList{QStringLiteral("--child")} + args);
    child.waitForFinished(-1);
    const QStringList parts = QString::fromLatin1(child.readAllStandardOutput()).simplified().split(u' ');
    return {parts.value(0).toDouble(), parts.value(1).toLong(), parts.size() > 2 ? parts[2].toDouble() : -1};
}

// A program directory and a configuration of the benchmark's own
// (QUARN_HOME and QUARN_CONFIG, inherited by its children) whose
// aliases.ini holds `aliases`, e.g. "[BENCH]\nDriver=QSQLITE\nDatabase=bench.db\n".
class TBenchHome {
public:
    explicit TBenchHome(const QByteArray &aliases)
    {
        qputenv("QUARN_HOME", m_home.path().toLocal8Bit());
        qputenv("QUARN_CONFIG", m_config.path().toLocal8Bit());
        QFile ini(m_config.path() + QStringLiteral("/aliases.ini"));
        ini.open(QIODevice::WriteOnly);
        ini.write(aliases);
    }
    // A file of the program directory.
    QString Path(const QString &name) const { return m_home.path() + u'/' + name; }

private:
    QTemporaryDir m_home, m_config;
};
