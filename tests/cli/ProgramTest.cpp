#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>

// The programs' own command lines: the versions and help, which need no
// display, the start on an alias with its tree open (run.sh's --start DEMO),
// and where --create-demo finds the DEMO scripts.
class ProgramTest : public QObject {
    Q_OBJECT

    struct TResult {
        int code = -1;
        QString out;
        QString err;
    };

    static TResult run(const QString &program, const QStringList &args, const QProcessEnvironment &env,
                       const QString &folder = QString())
    {
        QProcess p;
        p.setProcessEnvironment(env);
        if (!folder.isEmpty())
            p.setWorkingDirectory(folder);
        p.start(program, args);
        TResult r;
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
            r.err = QStringLiteral("timeout");
            return r;
        }
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    // The environment of a person without a display.
    static QProcessEnvironment noDisplay()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        return env;
    }

    // The offscreen platform and a program directory of the test's own.
    static QProcessEnvironment offscreen()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }

    static QString sql(const char *name) { return QStringLiteral(QUARN_SOURCE_DIR "/sql/") + QLatin1String(name); }

    // quarn's picture of its windows after the steps of `args`.
    static QImage screenshot(const QStringList &args, const QString &name)
    {
        const QString file = QDir(qEnvironmentVariable("QUARN_HOME")).filePath(name);
        const TResult r = run(QStringLiteral(QUARN_PROGRAM),
                              args + QStringList{QStringLiteral("--screenshot"), file, QStringLiteral("--delay"),
                                                 QStringLiteral("300")},
                              offscreen());
        if (r.code != 0)
            qWarning("quarn %s: %d %s", qPrintable(args.join(u' ')), r.code, qPrintable(r.err));
        return QImage(file);
    }

private slots:
    void initTestCase()
    {
        // the DEMO database in the test's program directory, as run.sh makes it
        const TResult r = run(QStringLiteral(QUARN_PROGRAM),
                              {QStringLiteral("--create-demo"), sql("sys_tables_sqlite.sql"), sql("demo.sql")}, offscreen());
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(QFile::exists(QDir(qEnvironmentVariable("QUARN_HOME")).filePath(QStringLiteral("demo.sqlite"))));
    }

    void versions_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("expected");
        const QString version = QStringLiteral(QUARN_PROJECT_VERSION);
        for (const char *option : {"--version", "-v"}) {
            QTest::newRow(qPrintable(QStringLiteral("quarn ") + QLatin1String(option)))
                << QStringLiteral(QUARN_PROGRAM) << QString::fromLatin1(option) << QStringLiteral("quarn ") + version;
            QTest::newRow(qPrintable(QStringLiteral("quarn-report ") + QLatin1String(option)))
                << QStringLiteral(QUARN_REPORT_TOOL) << QString::fromLatin1(option)
                << QStringLiteral("quarn-report ") + version;
        }
    }

    // Both programs name themselves and the project's version, without a
    // display.
    void versions()
    {
        QFETCH(QString, program);
        QFETCH(QString, option);
        QFETCH(QString, expected);
        const TResult r = run(program, {option}, noDisplay());
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, expected + u'\n');
        QCOMPARE(r.err, QString());
    }

    void helpWithoutDisplay()
    {
        const TResult r = run(QStringLiteral(QUARN_PROGRAM), {QStringLiteral("--help")}, noDisplay());
        QCOMPARE(r.code, 0);
        for (const char *option : {"--start", "--open", "--create-demo", "--version", "--preview"})
            QVERIFY2(r.out.contains(QLatin1String(option)), qPrintable(r.out));
    }

    // A preview alone is the only window: closing it (Esc) ends the program.
    void previewAlone()
    {
        const QString file = QDir(qEnvironmentVariable("QUARN_HOME")).filePath(QStringLiteral("out.txt"));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("Итоги\n1 2 3\n");
        out.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        const TResult r = run(QStringLiteral(QUARN_PROGRAM),
                              {QStringLiteral("--preview"), file, QStringLiteral("--keys"), QStringLiteral("Escape")}, env);
        QCOMPARE(r.err, QString());
        QCOMPARE(r.code, 0);
    }

    // --start ALIAS shows what --open ALIAS and Enter on the database's line
    // show: the browser with its tables listed.
    void startOpensTheTree()
    {
        const QImage started = screenshot({QStringLiteral("--start"), QStringLiteral("DEMO")}, QStringLiteral("start.png"));
        const QImage expanded = screenshot({QStringLiteral("--open"), QStringLiteral("DEMO"), QStringLiteral("--keys"),
                                            QStringLiteral("Return")},
                                           QStringLiteral("expanded.png"));
        const QImage collapsed = screenshot({QStringLiteral("--open"), QStringLiteral("DEMO")}, QStringLiteral("open.png"));
        QVERIFY(!started.isNull() && !expanded.isNull() && !collapsed.isNull());
        QCOMPARE(started, expanded);
        QVERIFY(started != collapsed);
    }

    // A database file named on the command line wins over the start alias.
    void fileWinsOverStart()
    {
        const QString home = qEnvironmentVariable("QUARN_HOME");
        const QString file = QDir(home).filePath(QStringLiteral("sales.sqlite"));
        QVERIFY(QFile::copy(QDir(home).filePath(QStringLiteral("demo.sqlite")), file));
        const QImage both = screenshot({QStringLiteral("--start"), QStringLiteral("DEMO"), file}, QStringLiteral("both.png"));
        const QImage alone = screenshot({file}, QStringLiteral("file.png"));
        const QImage started = screenshot({QStringLiteral("--start"), QStringLiteral("DEMO")}, QStringLiteral("start2.png"));
        QVERIFY(!both.isNull() && !alone.isNull());
        QCOMPARE(both, alone);
        QVERIFY(both != started);
    }

    // --create-demo without scripts takes those of the source tree beside
    // build/bin, and says so when there are none.
    void createDemoFindsTheScripts()
    {
        QTemporaryDir root;
        const QString bin = root.filePath(QStringLiteral("build/bin"));
        QVERIFY(QDir().mkpath(bin));
        QVERIFY(QFile::copy(QStringLiteral(QUARN_PROGRAM), bin + QStringLiteral("/quarn")));
        QProcessEnvironment env = offscreen();
        env.remove(QStringLiteral("QUARN_HOME"));

        TResult r = run(bin + QStringLiteral("/quarn"), {QStringLiteral("--create-demo")}, env, root.path());
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(QStringLiteral("не найдены SQL скрипты")), qPrintable(r.err));
        QVERIFY(!QFile::exists(bin + QStringLiteral("/demo.sqlite")));

        QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("sql"))));
        for (const char *name : {"sys_tables_sqlite.sql", "demo.sql"})
            QVERIFY(QFile::copy(sql(name), root.filePath(QStringLiteral("sql/")) + QLatin1String(name)));
        r = run(bin + QStringLiteral("/quarn"), {QStringLiteral("--create-demo")}, env, root.path());
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(QFile::exists(bin + QStringLiteral("/demo.sqlite")));
    }
};

QUARN_TEST_MAIN(ProgramTest)
#include "ProgramTest.moc"
