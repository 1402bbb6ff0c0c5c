#include "TestSupport.h"

#include "common/TextFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>

// The README's report example, taken from the README itself and run word for
// word in a copy of the repository's layout: the programs in build/bin, the
// DEMO database made as run.sh makes it, the commands typed in the root.
class ReadmeExampleTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_root;

    static QString sourceFile(const QString &name)
    {
        QFile f(QStringLiteral(QUARN_SOURCE_DIR "/") + name);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    // The first fenced block after the heading `heading`.
    static QString fencedBlock(const QString &text, const QString &heading)
    {
        const qsizetype at = text.indexOf(u'\n' + heading + u'\n');
        const qsizetype open = text.indexOf(QLatin1String("\n```\n"), at);
        const qsizetype close = text.indexOf(QLatin1String("\n```\n"), open + 4);
        return at < 0 || open < 0 || close < 0 ? QString() : text.mid(open + 5, close - open - 4);
    }

    // Runs a shell script in the copy's root as a user would: no QUARN_HOME,
    // so the programs find their program directory themselves.
    QString shell(const QString &script, int &code)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QUARN_HOME"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(m_root.path());
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("/bin/bash"), {QStringLiteral("-euo"), QStringLiteral("pipefail"), QStringLiteral("-c"), script});
        code = p.waitForFinished(120000) ? p.exitCode() : -1;
        return QString::fromUtf8(p.readAll());
    }

private slots:
    void initTestCase()
    {
        const QString root = m_root.path();
        QVERIFY(QDir(root).mkpath(QStringLiteral("build/bin")) && QDir(root).mkpath(QStringLiteral("sql")));
        QVERIFY(QFile::copy(QStringLiteral(QUARN_PROGRAM), root + QStringLiteral("/build/bin/quarn")));
        QVERIFY(QFile::copy(QStringLiteral(QUARN_REPORT_TOOL), root + QStringLiteral("/build/bin/quarn-report")));
        for (const char *sql : {"sys_tables_sqlite.sql", "demo.sql"})
            QVERIFY(QFile::copy(QStringLiteral(QUARN_SOURCE_DIR "/sql/") + QLatin1String(sql),
                                root + QStringLiteral("/sql/") + QLatin1String(sql)));
        // the DEMO database with run.sh's own lines
        QStringList demo;
        for (const QString &line : sourceFile(QStringLiteral("run.sh")).split(u'\n'))
            if (line.startsWith(QLatin1String("quarn=")) || line.contains(QLatin1String("--create-demo")))
                demo << line;
        QCOMPARE(demo.size(), 2);
        int code = 0;
        const QString out = shell(demo.join(u'\n'), code);
        QVERIFY2(code == 0, qPrintable(out));
        QVERIFY2(QFile::exists(root + QStringLiteral("/build/bin/demo.sqlite")), qPrintable(out));
    }

    void reportExampleRunsVerbatim()
    {
        const QString example = fencedBlock(sourceFile(QStringLiteral("README.md")),
                                            QStringLiteral("## Running a report from the command line"));
        QVERIFY2(example.contains(QLatin1String("quarn-report --alias DEMO")), qPrintable(example));
        int code = 0;
        const QString out = shell(example, code);
        QVERIFY2(code == 0, qPrintable(out));

        // the output is where the command line named it: the current directory
        const QString prn = m_root.path() + QStringLiteral("/invoices.prn");
        QCOMPARE(out.trimmed(), prn);
        const QStringList lines = ReadTextLines(prn);
        QVERIFY2(!lines.isEmpty() && lines.first().startsWith(QStringLiteral("Реестр счетов на ")), qPrintable(lines.join(u'\n')));

        // the grand total is the database's own sum of the invoices
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("readme"));
        db.setDatabaseName(m_root.path() + QStringLiteral("/build/bin/demo.sqlite"));
        QVERIFY(db.open());
        QSqlQuery sum(QStringLiteral("select sum(INV_TOTAL), count(*) from INVOICES"), db);
        QVERIFY(sum.next());
        const double total = sum.value(0).toDouble();
        const int count = sum.value(1).toInt();
        sum.finish();
        db.close();
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("^Всего\\s+(-?\\d+\\.\\d\\d)$")).match(lines.last());
        QVERIFY2(m.hasMatch(), qPrintable(lines.last()));
        QCOMPARE(m.captured(1), QString::number(total, 'f', 2));
        // every invoice has its detail line: "  NUMBER DATE ..."
        const qsizetype details = std::count_if(lines.begin(), lines.end(), [](const QString &l) {
            return QRegularExpression(QStringLiteral("^  \\S.{11} \\d\\d\\.\\d\\d\\.\\d{4} ")).match(l).hasMatch();
        });
        QCOMPARE(details, qsizetype(count));
    }

    // The stored reports' example: run one, export a group, read it into a
    // database the example makes itself; the new database then holds the
    // group's reports with DEMO's templates.
    void storedReportsExampleRunsVerbatim()
    {
        const QString example = fencedBlock(sourceFile(QStringLiteral("README.md")),
                                            QStringLiteral("### Stored reports and `.FMT` files"));
        QVERIFY2(example.contains(QLatin1String("--import-fmt")), qPrintable(example));
        int code = 0;
        const QString out = shell(example, code);
        QVERIFY2(code == 0, qPrintable(out));

        const auto reports = [this](const QString &file) {
            QStringList rows;
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), file);
                db.setDatabaseName(m_root.path() + QStringLiteral("/build/bin/") + file);
                if (db.open()) {
                    QSqlQuery q(QStringLiteral("select RE_RPT_NAM, RE_RPT_FMT from SYS_REPORT "
                                               "where RE_GRP_NAM = 'TSQLForm_SQLGrid' order by RE_RPT_NAM"), db);
                    while (q.next())
                        rows << q.value(0).toString() + u'\n' + q.value(1).toString().remove(u'\r').trimmed().section(u'\n', -3);
                }
            }
            QSqlDatabase::removeDatabase(file);
            return rows;
        };
        const QStringList demo = reports(QStringLiteral("demo.sqlite"));
        QVERIFY(!demo.isEmpty());
        QCOMPARE(reports(QStringLiteral("sales.sqlite")), demo);

        // run again, as a reader trying it twice would: the alias is not doubled
        QCOMPARE((shell(example, code), code), 0);
        const QStringList ini = ReadTextLines(qEnvironmentVariable("QUARN_CONFIG") + QStringLiteral("/aliases.ini"));
        QCOMPARE(ini.count(QStringLiteral("[SALES]")), 1);
    }
};

QUARN_TEST_MAIN(ReadmeExampleTest)
#include "ReadmeExampleTest.moc"
