#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

// The manual pages quarn(1) and quarn-report(1) as built: man formats them
// without a warning (as lintian checks them), they carry the project's
// version, and they describe every option the program's --help lists.
class ManPagesTest : public QObject {
    Q_OBJECT

    static bool haveMan()
    {
        QProcess p;
        p.start(QStringLiteral("man"), {QStringLiteral("--version")});
        return p.waitForFinished(30000) && p.exitCode() == 0;
    }

    static QProcessEnvironment utf8()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        env.insert(QStringLiteral("MANWIDTH"), QStringLiteral("120"));
        env.remove(QStringLiteral("MANPAGER"));
        env.remove(QStringLiteral("PAGER"));
        return env;
    }

private slots:
    void pages_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("program");
        QTest::newRow("quarn.1") << QStringLiteral(QUARN_MAN_DIR "/quarn.1") << QStringLiteral(QUARN_PROGRAM);
        QTest::newRow("quarn-report.1") << QStringLiteral(QUARN_MAN_DIR "/quarn-report.1")
                                        << QStringLiteral(QUARN_REPORT_TOOL);
    }

    void pages()
    {
        QFETCH(QString, page);
        QFETCH(QString, program);
        if (!haveMan())
            QSKIP("SKIPPED LOUDLY: man (package man-db) is not installed; scripts/deps.sh installs it");
        QVERIFY2(QFile::exists(page), qPrintable(page));

        // what lintian runs: every warning of man and groff on stderr
        QProcess check;
        check.setProcessEnvironment(utf8());
        check.start(QStringLiteral("man"), {QStringLiteral("--warnings"), QStringLiteral("-E"), QStringLiteral("UTF-8"),
                                            QStringLiteral("-l"), QStringLiteral("-Tutf8"), QStringLiteral("-Z"), page});
        QVERIFY(check.waitForFinished(60000));
        const QString warnings = QString::fromUtf8(check.readAllStandardError());
        QVERIFY2(check.exitCode() == 0 && warnings.isEmpty(), qPrintable(warnings));
        QVERIFY(!check.readAllStandardOutput().isEmpty());

        QProcess render;
        render.setProcessEnvironment(utf8());
        render.start(QStringLiteral("man"), {QStringLiteral("-E"), QStringLiteral("UTF-8"), QStringLiteral("-l"), page});
        QVERIFY(render.waitForFinished(60000));
        const QString text = QString::fromUtf8(render.readAllStandardOutput());
        QVERIFY2(render.exitCode() == 0, qPrintable(render.readAllStandardError()));
        QVERIFY2(text.contains(QStringLiteral("Quarn " QUARN_PROJECT_VERSION)), qPrintable(text.right(300)));
        for (const char *section : {"ИМЯ", "ОБЗОР", "ОПИСАНИЕ", "ПАРАМЕТРЫ", "ФАЙЛЫ", "ОКРУЖЕНИЕ", "КОД ВЫХОДА", "ПРИМЕРЫ",
                                    "QUARN_HOME", "QUARN_CONFIG"})
            QVERIFY2(text.contains(QString::fromUtf8(section)), section);

        // every option of --help is described
        QProcess help;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        help.setProcessEnvironment(env);
        help.start(program, {QStringLiteral("--help")});
        QVERIFY(help.waitForFinished(60000));
        const QString options = QString::fromUtf8(help.readAllStandardOutput());
        QStringList listed, missing;
        const QRegularExpression option(QStringLiteral("(?:^|[ ,])(--[a-z][a-z-]*)"));
        for (const QString &line : options.split(u'\n')) {
            const QRegularExpressionMatch m = option.match(line);
            if (m.hasMatch() && m.capturedStart(1) < 8 && m.captured(1) != u"--help-all")
                listed << m.captured(1);
        }
        QVERIFY2(listed.size() >= 4, qPrintable(options));
        for (const QString &o : std::as_const(listed))
            if (!text.contains(o))
                missing << o;
        QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("не описаны: ") + missing.join(u' ')));
    }

    // quarn-report's page names the password variable and the exit codes
    // the tool has.
    void reportToolSpecifics()
    {
        if (!haveMan())
            QSKIP("SKIPPED LOUDLY: man (package man-db) is not installed; scripts/deps.sh installs it");
        QProcess render;
        render.setProcessEnvironment(utf8());
        render.start(QStringLiteral("man"), {QStringLiteral("-E"), QStringLiteral("UTF-8"), QStringLiteral("-l"),
                                             QStringLiteral(QUARN_MAN_DIR "/quarn-report.1")});
        QVERIFY(render.waitForFinished(60000));
        const QString text = QString::fromUtf8(render.readAllStandardOutput());
        QVERIFY(text.contains(QStringLiteral("QUARN_PASSWORD")));
        const qsizetype codes = text.indexOf(QStringLiteral("КОД ВЫХОДА"));
        QVERIFY(codes >= 0);
        const QString section = text.mid(codes, text.indexOf(QStringLiteral("ОКРУЖЕНИЕ"), codes) - codes);
        for (const char *code : {"0", "1", "2", "3"})
            QVERIFY2(section.contains(QRegularExpression(QStringLiteral("^\\s+%1\\s").arg(QLatin1String(code)),
                                                         QRegularExpression::MultilineOption)),
                     qPrintable(section));
    }
};

QUARN_TEST_MAIN(ManPagesTest)
#include "ManPagesTest.moc"
