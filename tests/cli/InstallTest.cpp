#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringDecoder>

// `cmake --install` into a temporary DESTDIR with the prefix /usr, as the
// package is made: the files are where a desktop looks for them, the desktop
// entry and the AppStream metainfo pass their validators, and the installed
// programs work on their own: the DEMO database made from the installed
// scripts in ~/.local/share/Quarn, and the README's report example run with
// the installed quarn-report.
class InstallTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dest;
    QTemporaryDir m_home;   // HOME of the installed programs

    QString installed(const QString &path) const { return m_dest.path() + QStringLiteral("/usr/") + path; }

    static bool haveTool(const QString &tool, const QStringList &args)
    {
        QProcess p;
        p.start(tool, args);
        return p.waitForStarted(10000) && p.waitForFinished(30000);
    }

    // The environment of a user of the installed programs: a home of their
    // own, no QUARN_HOME or QUARN_CONFIG, no display.
    QProcessEnvironment userEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString &key : env.keys())
            if (key.startsWith(QLatin1String("QUARN_")) || key.startsWith(QLatin1String("XDG_")))
                env.remove(key);
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("HOME"), m_home.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }

    static QString readAll(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private slots:
    void initTestCase()
    {
        QProcess install;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DESTDIR"), m_dest.path());
        install.setProcessEnvironment(env);
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral(QUARN_CMAKE),
                      {QStringLiteral("--install"), QStringLiteral(QUARN_BINARY_DIR), QStringLiteral("--prefix"),
                       QStringLiteral("/usr")});
        QVERIFY(install.waitForFinished(300000));
        QVERIFY2(install.exitCode() == 0, install.readAll().constData());
    }

    void files_data()
    {
        QTest::addColumn<QString>("path");
        for (const char *path :
             {"bin/quarn", "bin/quarn-report", "share/quarn/sys_tables_sqlite.sql", "share/quarn/sys_tables_postgresql.sql",
              "share/quarn/demo.sql", "share/applications/ru.tessary.Quarn.desktop",
              "share/metainfo/ru.tessary.Quarn.metainfo.xml", "share/icons/hicolor/scalable/apps/ru.tessary.Quarn.svg",
              "share/man/man1/quarn.1.gz", "share/man/man1/quarn-report.1.gz", "share/doc/quarn/REPORTS.md",
              "share/doc/quarn/reports/functions.md", "share/doc/quarn/copyright", "share/doc/quarn/changelog.gz"})
            QTest::newRow(path) << QString::fromLatin1(path);
    }

    void files()
    {
        QFETCH(QString, path);
        const QFileInfo info(installed(path));
        QVERIFY2(info.isFile() && info.size() > 0, qPrintable(info.filePath()));
        if (path.startsWith(QLatin1String("bin/")))
            QVERIFY(info.isExecutable());
    }

    // The guide is installed whole, as the manual pages name it.
    void guideInstalled()
    {
        const QStringList chapters =
            QDir(QStringLiteral(QUARN_SOURCE_DIR "/docs/reports")).entryList({QStringLiteral("*.md")}, QDir::Files);
        QVERIFY(!chapters.isEmpty());
        for (const QString &c : chapters)
            QVERIFY2(QFile::exists(installed(QStringLiteral("share/doc/quarn/reports/") + c)), qPrintable(c));
    }

    // PNG icons of every usual size, drawn from the SVG at build time.
    void icons()
    {
#ifndef QUARN_HAVE_RSVG
        QSKIP("SKIPPED LOUDLY: rsvg-convert (package librsvg2-bin) was missing at configure time: no PNG icons");
#endif
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const QString png =
                installed(QStringLiteral("share/icons/hicolor/%1x%1/apps/ru.tessary.Quarn.png").arg(size));
            const QImage image(png);
            QVERIFY2(!image.isNull(), qPrintable(png));
            QCOMPARE(image.size(), QSize(size, size));
            // drawn, not empty: the middle of the icon is not transparent
            QVERIFY(qAlpha(image.pixel(size / 2, size / 2)) > 0);
        }
    }

    void desktopEntry()
    {
        const QString file = installed(QStringLiteral("share/applications/ru.tessary.Quarn.desktop"));
        if (!haveTool(QStringLiteral("desktop-file-validate"), {QStringLiteral("--help")}))
            QSKIP("SKIPPED LOUDLY: desktop-file-validate (package desktop-file-utils) is not installed");
        QProcess validate;
        validate.setProcessChannelMode(QProcess::MergedChannels);
        validate.start(QStringLiteral("desktop-file-validate"), {file});
        QVERIFY(validate.waitForFinished(30000));
        const QByteArray messages = validate.readAll();
        QVERIFY2(validate.exitCode() == 0 && messages.trimmed().isEmpty(), messages.constData());

        const QString text = readAll(file);
        auto value = [&](const QString &key) {
            for (const QString &line : text.split(u'\n'))
                if (line.startsWith(key + u'='))
                    return line.mid(key.size() + 1);
            return QString();
        };
        QCOMPARE(value(QStringLiteral("Exec")), QStringLiteral("quarn %f"));
        const QStringList mime = value(QStringLiteral("MimeType")).split(u';', Qt::SkipEmptyParts);
        QVERIFY2(mime.contains(QStringLiteral("application/vnd.sqlite3")) && mime.contains(QStringLiteral("application/x-sqlite3")),
                 qPrintable(mime.join(u';')));
        QCOMPARE(value(QStringLiteral("Name[ru]")), QStringLiteral("Quarn"));
        QVERIFY2(value(QStringLiteral("Comment[ru]")).startsWith(QStringLiteral("Базы данных")), qPrintable(text));
        // the icon it names is installed
        const QString icon = value(QStringLiteral("Icon"));
        QVERIFY(QFile::exists(installed(QStringLiteral("share/icons/hicolor/scalable/apps/") + icon + QStringLiteral(".svg"))));
    }

    void metainfo()
    {
        const QString file = installed(QStringLiteral("share/metainfo/ru.tessary.Quarn.metainfo.xml"));
        if (!haveTool(QStringLiteral("appstreamcli"), {QStringLiteral("--version")}))
            QSKIP("SKIPPED LOUDLY: appstreamcli (package appstream) is not installed");
        QProcess validate;
        validate.setProcessChannelMode(QProcess::MergedChannels);
        validate.start(QStringLiteral("appstreamcli"), {QStringLiteral("validate"), QStringLiteral("--no-net"), file});
        QVERIFY(validate.waitForFinished(60000));
        const QByteArray messages = validate.readAll();
        QVERIFY2(validate.exitCode() == 0, messages.constData());
        // nothing but the pedantic notes: no error, warning or info
        QVERIFY2(!QString::fromUtf8(messages).contains(QRegularExpression(QStringLiteral("^[EWI]:"), QRegularExpression::MultilineOption)),
                 messages.constData());
        const QString text = readAll(file);
        QVERIFY(text.contains(QStringLiteral("<launchable type=\"desktop-id\">ru.tessary.Quarn.desktop</launchable>")));
        QVERIFY(text.contains(QStringLiteral("<release version=\"" QUARN_PROJECT_VERSION "\"")));
    }

    // The installed programs: their version, the DEMO database made from
    // the installed scripts in the user's data folder (never beside the
    // program, though the test may write there), and the README's example.
    void installedProgramsRun()
    {
        const QProcessEnvironment env = userEnvironment();
        QProcess version;
        version.setProcessEnvironment(env);
        version.start(installed(QStringLiteral("bin/quarn-report")), {QStringLiteral("--version")});
        QVERIFY(version.waitForFinished(60000));
        QCOMPARE(QString::fromUtf8(version.readAllStandardOutput()), QStringLiteral("quarn-report " QUARN_PROJECT_VERSION "\n"));

        QProcess demo;
        demo.setProcessEnvironment(env);
        demo.setProcessChannelMode(QProcess::MergedChannels);
        demo.start(installed(QStringLiteral("bin/quarn")), {QStringLiteral("--create-demo")});
        QVERIFY(demo.waitForFinished(120000));
        QVERIFY2(demo.exitCode() == 0, demo.readAll().constData());
        const QString data = m_home.path() + QStringLiteral("/.local/share/Quarn");
        QVERIFY(QFile::exists(data + QStringLiteral("/demo.sqlite")));
        QVERIFY(!QFile::exists(installed(QStringLiteral("bin/demo.sqlite"))));

        // the README's example, with the installed program
        const QString readme = readAll(QStringLiteral(QUARN_SOURCE_DIR "/README.md"));
        const qsizetype at = readme.indexOf(QStringLiteral("\n## Running a report from the command line\n"));
        const qsizetype open = readme.indexOf(QStringLiteral("\n```\n"), at);
        const qsizetype close = readme.indexOf(QStringLiteral("\n```\n"), open + 4);
        QVERIFY(at >= 0 && open >= 0 && close >= 0);
        QString example = readme.mid(open + 5, close - open - 4);
        QVERIFY2(example.contains(QStringLiteral("build/bin/quarn-report")), qPrintable(example));
        example.replace(QStringLiteral("build/bin/quarn-report"), installed(QStringLiteral("bin/quarn-report")));
        QTemporaryDir work;
        QProcess shell;
        shell.setProcessEnvironment(env);
        shell.setWorkingDirectory(work.path());
        shell.setProcessChannelMode(QProcess::MergedChannels);
        shell.start(QStringLiteral("/bin/bash"), {QStringLiteral("-euo"), QStringLiteral("pipefail"), QStringLiteral("-c"), example});
        QVERIFY(shell.waitForFinished(120000));
        const QString out = QString::fromUtf8(shell.readAll());
        QVERIFY2(shell.exitCode() == 0, qPrintable(out));
        QCOMPARE(out.trimmed(), work.filePath(QStringLiteral("invoices.prn")));

        // its grand total is the database's sum of the invoices
        QFile prn(work.filePath(QStringLiteral("invoices.prn")));
        QVERIFY(prn.open(QIODevice::ReadOnly));
        QStringDecoder decode("windows-1251");
        const QStringList lines = QString(decode(prn.readAll())).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QVERIFY(!lines.isEmpty());
        double total = 0;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("installed-demo"));
            db.setDatabaseName(data + QStringLiteral("/demo.sqlite"));
            QVERIFY(db.open());
            QSqlQuery sum(QStringLiteral("select sum(INV_TOTAL) from INVOICES"), db);
            QVERIFY(sum.next());
            total = sum.value(0).toDouble();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("installed-demo"));
        QCOMPARE(lines.last().simplified(), QStringLiteral("Всего ") + QString::number(total, 'f', 2));
    }
};

QUARN_TEST_MAIN(InstallTest)
#include "InstallTest.moc"
