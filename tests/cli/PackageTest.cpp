#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

// The Debian package as `cpack -G DEB` makes it in build/: its dependencies
// come from the libraries the programs link (dpkg-shlibdeps) besides the
// plugins and fonts named by hand, it holds what `cmake --install` puts under
// /usr, and lintian finds no error and no warning in it. Every tag lintian
// still reports is one that docs/ARCHITECTURE.md lists with its reason.
class PackageTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_out;
    QString m_deb;

    struct TResult {
        int code = -1;
        QString out;
        QString err;
    };

    static TResult run(const QString &program, const QStringList &args, int timeout = 300000)
    {
        QProcess p;
        p.start(program, args);
        TResult r;
        if (!p.waitForStarted(10000))
            return r;
        if (!p.waitForFinished(timeout)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    static bool have(const QString &tool)
    {
        return !QStandardPaths::findExecutable(tool).isEmpty();
    }

private slots:
    void initTestCase()
    {
        for (const char *tool : {"dpkg-deb", "dpkg-shlibdeps"})
            if (!have(QLatin1String(tool)))
                QSKIP(qPrintable(QStringLiteral("SKIPPED LOUDLY: %1 (package dpkg-dev) is not installed").arg(QLatin1String(tool))));
        const TResult r = run(QStringLiteral(QUARN_CPACK),
                              {QStringLiteral("--config"), QStringLiteral(QUARN_BINARY_DIR "/CPackConfig.cmake"),
                               QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("-B"), m_out.path()});
        QVERIFY2(r.code == 0, qPrintable(r.out + r.err));
        const QStringList debs = QDir(m_out.path()).entryList({QStringLiteral("*.deb")}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        m_deb = m_out.filePath(debs.first());
        QCOMPARE(debs.first(), QStringLiteral("quarn_" QUARN_PROJECT_VERSION "_amd64.deb"));
    }

    // The libraries the programs link are found by dpkg-shlibdeps; what Qt
    // loads at run time is named by hand.
    void dependencies()
    {
        const TResult r = run(QStringLiteral("dpkg-deb"), {QStringLiteral("--field"), m_deb, QStringLiteral("Depends")});
        QCOMPARE(r.code, 0);
        for (const char *package : {"libqt6core6", "libqt6widgets6", "libqt6sql6", "libsqlite3-0", "libxlsxwriter4",
                                    "zlib1g", "libqt6sql6-sqlite", "libqt6sql6-psql", "qt6-qpa-plugins",
                                    "fonts-liberation2"})
            QVERIFY2(r.out.contains(QRegularExpression(QStringLiteral("(^|, )%1( |,|$)").arg(QLatin1String(package)))),
                     qPrintable(r.out));
    }

    void contents()
    {
        const TResult r = run(QStringLiteral("dpkg-deb"), {QStringLiteral("--contents"), m_deb});
        QCOMPARE(r.code, 0);
        for (const char *path : {"./usr/bin/quarn", "./usr/bin/quarn-report", "./usr/share/quarn/demo.sql",
                                 "./usr/share/applications/ru.tessary.Quarn.desktop",
                                 "./usr/share/metainfo/ru.tessary.Quarn.metainfo.xml",
                                 "./usr/share/man/man1/quarn-report.1.gz", "./usr/share/doc/quarn/copyright",
                                 "./usr/share/doc/quarn/REPORTS.md"})
            QVERIFY2(r.out.contains(QLatin1String(path)), path);
#ifdef QUARN_SANITIZED
        QSKIP("*** the size of the programs NOT CHECKED: the sanitizers' instrumented build is bigger ***");
#endif
        // the programs are stripped: a few MB, not the build's debug info
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("\\s(\\d+) \\S+ \\S+ \\./usr/bin/quarn\\n")).match(r.out);
        QVERIFY2(m.hasMatch(), qPrintable(r.out));
        QVERIFY2(m.captured(1).toLongLong() < 30'000'000, qPrintable(m.captured(1)));
    }

    void lintian()
    {
        if (!have(QStringLiteral("lintian")))
            QSKIP("SKIPPED LOUDLY: lintian (package lintian) is not installed; scripts/deps.sh installs it");
        const TResult r = run(QStringLiteral("lintian"), {QStringLiteral("--display-info"), QStringLiteral("--pedantic"), m_deb},
                              600000);
        QVERIFY2(r.code >= 0, "lintian did not finish");
        const QRegularExpression tag(QStringLiteral("^([EWIPX]): quarn[^:]*: (\\S+)"), QRegularExpression::MultilineOption);
        QFile architecture(QStringLiteral(QUARN_SOURCE_DIR "/docs/ARCHITECTURE.md"));
        QVERIFY(architecture.open(QIODevice::ReadOnly));
        const QString listed = QString::fromUtf8(architecture.readAll());
        QStringList serious, unlisted;
        for (auto it = tag.globalMatch(r.out); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            if (m.captured(1) == u"E" || m.captured(1) == u"W")
                serious << m.captured(0);
            if (!listed.contains(u'`' + m.captured(2) + u'`'))
                unlisted << m.captured(0);
        }
        qInfo("lintian:\n%s", qPrintable(r.out));
        QVERIFY2(serious.isEmpty(), qPrintable(serious.join(u'\n')));
        QVERIFY2(unlisted.isEmpty(), qPrintable(QStringLiteral("not listed in docs/ARCHITECTURE.md:\n") + unlisted.join(u'\n')));
    }
};

QUARN_TEST_MAIN(PackageTest)
#include "PackageTest.moc"
