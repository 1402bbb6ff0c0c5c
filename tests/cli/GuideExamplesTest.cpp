#include "TestSupport.h"

#include "script/BuiltinFunctions.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringDecoder>

// Every example of the report author's guide (docs/REPORTS.md and
// docs/reports/*.md), run as the guide says it was run and compared with the
// output printed under it.
//
// An example is a fenced block "template" (optionally followed by "sql", the
// query, and "args", more options, one a line) or "shell" (commands), then
// a block "output". A template runs as
//   quarn-report --alias DEMO --template пример.fmt --out пример.prn
//                (--query SQL | --one-record unless it has a .SQL section) ARGS
// and its output is the file пример.prn; a shell example runs in bash and its
// output is what it prints on stdout and stderr, the home folder written
// "~". Both run in ~/отчеты of a home of their own, with a fresh DEMO
// database in ~/.local/share/Quarn (QUARN_HOME), the settings in
// ~/.config/Tessary Software (OfficeOpen=0) and the built programs on the
// PATH. Blanks at line ends are not compared. An example without an output
// block must say why in a line starting with "**Без вывода:**".
class GuideExamplesTest : public QObject {
    Q_OBJECT

    struct TBlock {
        QString info;
        int line;   // 1-based line of the opening fence
        QStringList body;
        int after;  // 0-based line after the closing fence
    };

    struct TExample {
        QString file;   // relative to the source tree
        int line = 0;
        QString kind;   // "template" or "shell"
        QStringList text;
        QStringList sql;
        QStringList args;
        bool hasOutput = false;
        QStringList output;
        QString noOutputReason;
    };

    QTemporaryDir m_demo;            // the DEMO database every example copies
    QList<TExample> m_examples;
    QStringList m_errors;            // what is wrong with the guide's text
    QStringList m_files;

    static QString sourcePath(const QString &relative)
    {
        return QStringLiteral(QUARN_SOURCE_DIR "/") + relative;
    }

    static QStringList readLines(const QString &path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QString text = QString::fromUtf8(f.readAll());
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        return text.split(u'\n');
    }

    // The fenced blocks of a Markdown file: a line "```INFO" at the start of
    // a line opens one, a line "```" closes it.
    static QList<TBlock> fencedBlocks(const QStringList &lines, QStringList &errors, const QString &file)
    {
        QList<TBlock> blocks;
        for (int i = 0; i < lines.size(); ++i) {
            if (!lines[i].startsWith(QLatin1String("```")))
                continue;
            TBlock b;
            b.info = lines[i].mid(3).trimmed();
            b.line = i + 1;
            int j = i + 1;
            while (j < lines.size() && lines[j].trimmed() != QLatin1String("```"))
                b.body << lines[j++];
            if (j == lines.size())
                errors << QStringLiteral("%1:%2: блок ``` не закрыт").arg(file).arg(b.line);
            b.after = j + 1;
            blocks << b;
            i = j;
        }
        return blocks;
    }

    static QStringList withoutTrailingBlanks(QStringList lines)
    {
        for (QString &l : lines) {
            qsizetype end = l.size();
            while (end > 0 && (l[end - 1] == u' ' || l[end - 1] == u'\r' || l[end - 1] == u'\t'))
                --end;
            l.truncate(end);
        }
        return lines;
    }

    void parseFile(const QString &relative)
    {
        const QStringList lines = readLines(sourcePath(relative));
        if (lines.isEmpty()) {
            m_errors << QStringLiteral("%1: файл не читается").arg(relative);
            return;
        }
        const QList<TBlock> blocks = fencedBlocks(lines, m_errors, relative);
        int found = 0;
        for (int i = 0; i < blocks.size(); ++i) {
            const TBlock &b = blocks[i];
            if (b.info == u"sql" || b.info == u"args" || b.info == u"output") {
                m_errors << QStringLiteral("%1:%2: блок %3 не относится ни к какому примеру").arg(relative).arg(b.line).arg(b.info);
                continue;
            }
            if (b.info != u"template" && b.info != u"shell")
                continue;   // a block that only shows something
            TExample e;
            e.file = relative;
            e.line = b.line;
            e.kind = b.info;
            e.text = b.body;
            int last = i;
            if (e.kind == u"template") {
                for (const char *part : {"sql", "args"}) {
                    if (last + 1 < blocks.size() && blocks[last + 1].info == QLatin1String(part)) {
                        ++last;
                        (QLatin1String(part) == u"sql" ? e.sql : e.args) = blocks[last].body;
                    }
                }
            }
            const int textEnd = last + 1 < blocks.size() ? blocks[last + 1].line - 1 : int(lines.size());
            for (int l = blocks[last].after; l < textEnd; ++l) {
                if (!lines[l].startsWith(QStringLiteral("**Без вывода:**")))
                    continue;
                // the marker's paragraph
                int end = l;
                while (end < textEnd && !lines[end].trimmed().isEmpty())
                    ++end;
                e.noOutputReason = lines.mid(l, end - l).join(u' ').simplified();
                break;
            }
            if (last + 1 < blocks.size() && blocks[last + 1].info == u"output") {
                ++last;
                e.hasOutput = true;
                e.output = withoutTrailingBlanks(blocks[last].body);
                if (!e.noOutputReason.isEmpty())
                    m_errors << QStringLiteral("%1:%2: у примера есть вывод, но он помечен «Без вывода»").arg(relative).arg(e.line);
            } else if (e.noOutputReason.isEmpty()) {
                m_errors << QStringLiteral("%1:%2: у примера нет блока output и нет строки «**Без вывода:**» с причиной")
                                .arg(relative)
                                .arg(e.line);
            }
            i = last;
            m_examples << e;
            ++found;
        }
        if (found == 0)
            m_errors << QStringLiteral("%1: в главе нет ни одного примера").arg(relative);
    }

    struct TRun {
        bool ok = false;
        QStringList output;
        QString problem;
    };

    // Runs one example in a home folder of its own.
    TRun run(const TExample &e) const
    {
        TRun result;
        QTemporaryDir home;
        const QString root = home.path();
        const QString program = root + QStringLiteral("/.local/share/Quarn");
        const QString config = root + QStringLiteral("/.config/Tessary Software");
        const QString work = root + QStringLiteral("/отчеты");
        const QString bin = root + QStringLiteral("/bin");
        const QString runtime = root + QStringLiteral("/run");
        for (const QString &dir : {program, config, work, bin, runtime})
            if (!QDir().mkpath(dir)) {
                result.problem = QStringLiteral("не создается папка ") + dir;
                return result;
            }
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (!QFile::copy(m_demo.filePath(QStringLiteral("demo.sqlite")), program + QStringLiteral("/demo.sqlite"))
            || !QFile::link(QStringLiteral(QUARN_REPORT_TOOL), bin + QStringLiteral("/quarn-report"))
            || !QFile::link(QStringLiteral(QUARN_PROGRAM), bin + QStringLiteral("/quarn"))) {
            result.problem = QStringLiteral("не готовится папка примера");
            return result;
        }
        {
            QFile ini(config + QStringLiteral("/quarn.ini"));
            if (!ini.open(QIODevice::WriteOnly) || ini.write("[General]\nOfficeOpen=0\n") < 0) {
                result.problem = QStringLiteral("не пишется quarn.ini");
                return result;
            }
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString &key : env.keys())
            if (key.startsWith(QLatin1String("QUARN_")) || key.startsWith(QLatin1String("XDG_")))
                env.remove(key);
        env.insert(QStringLiteral("HOME"), root);
        env.insert(QStringLiteral("QUARN_HOME"), program);
        env.insert(QStringLiteral("QUARN_CONFIG"), config);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        env.insert(QStringLiteral("PATH"), bin + u':' + env.value(QStringLiteral("PATH")));
        env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(work);
        auto write = [&](const QString &name, const QStringList &text) {
            QFile f(work + u'/' + name);
            return f.open(QIODevice::WriteOnly) && f.write((text.join(u'\n') + u'\n').toUtf8()) >= 0;
        };
        if (e.kind == u"shell") {
            if (!write(QStringLiteral("пример.sh"), e.text)) {
                result.problem = QStringLiteral("не пишется пример.sh");
                return result;
            }
            p.setProcessChannelMode(QProcess::MergedChannels);
            p.start(QStringLiteral("bash"), {QStringLiteral("пример.sh")});
            if (!p.waitForFinished(180000)) {
                result.problem = QStringLiteral("команды не кончились за 3 минуты");
                return result;
            }
            QString text = QString::fromUtf8(p.readAll());
            text.replace(root, QStringLiteral("~"));
            result.output = text.split(u'\n');
        } else {
            if (!write(QStringLiteral("пример.fmt"), e.text)) {
                result.problem = QStringLiteral("не пишется пример.fmt");
                return result;
            }
            QStringList args = {QStringLiteral("--alias"), QStringLiteral("DEMO"), QStringLiteral("--template"),
                                QStringLiteral("пример.fmt"), QStringLiteral("--out"), QStringLiteral("пример.prn")};
            const bool sqlSection = std::any_of(e.text.begin(), e.text.end(), [](const QString &l) {
                return l.trimmed().compare(QLatin1String(".SQL"), Qt::CaseInsensitive) == 0;
            });
            if (!e.sql.isEmpty())
                args << QStringLiteral("--query") << e.sql.join(u'\n');
            else if (!sqlSection)
                args << QStringLiteral("--one-record");
            for (const QString &line : e.args)
                args << QProcess::splitCommand(line);
            p.start(QStringLiteral(QUARN_REPORT_TOOL), args);
            if (!p.waitForFinished(180000)) {
                result.problem = QStringLiteral("quarn-report не кончился за 3 минуты");
                return result;
            }
            if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
                result.problem = QStringLiteral("quarn-report %1 завершился с кодом %2:\n%3")
                                     .arg(args.join(u' '))
                                     .arg(p.exitCode())
                                     .arg(QString::fromUtf8(p.readAllStandardError()));
                return result;
            }
            QFile out(work + QStringLiteral("/пример.prn"));
            if (!out.open(QIODevice::ReadOnly)) {
                result.problem = QStringLiteral("нет выходного файла пример.prn");
                return result;
            }
            QStringDecoder decode("windows-1251");
            const QString text = decode(out.readAll());
            result.output = text.split(QStringLiteral("\r\n"));
        }
        if (!result.output.isEmpty() && result.output.last().isEmpty())
            result.output.removeLast();
        result.output = withoutTrailingBlanks(result.output);
        result.ok = true;
        return result;
    }

    // Which line differs first, and the whole output for the author.
    static QString difference(const TExample &e, const QStringList &got)
    {
        QString where;
        for (qsizetype i = 0; i < std::max(got.size(), e.output.size()); ++i) {
            if (i < got.size() && i < e.output.size() && got[i] == e.output[i])
                continue;
            where = QStringLiteral("строка %1 вывода: в руководстве %2, получено %3")
                        .arg(i + 1)
                        .arg(i < e.output.size() ? u'«' + e.output[i] + u'»' : QStringLiteral("нет строки"))
                        .arg(i < got.size() ? u'«' + got[i] + u'»' : QStringLiteral("нет строки"));
            break;
        }
        return QStringLiteral("%1:%2 (%3): %4\nвесь вывод:\n%5")
            .arg(e.file)
            .arg(e.line)
            .arg(e.kind, where, got.join(u'\n'));
    }

private slots:
    void initTestCase()
    {
        m_files << QStringLiteral("docs/REPORTS.md");
        const QStringList chapters =
            QDir(sourcePath(QStringLiteral("docs/reports"))).entryList({QStringLiteral("*.md")}, QDir::Files, QDir::Name);
        for (const QString &c : chapters)
            m_files << QStringLiteral("docs/reports/") + c;
        for (const QString &f : std::as_const(m_files))
            parseFile(f);

        // the DEMO database, made once by the program as run.sh makes it
        QProcess demo;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUARN_HOME"), m_demo.path());
        demo.setProcessEnvironment(env);
        demo.setProcessChannelMode(QProcess::MergedChannels);
        demo.start(QStringLiteral(QUARN_PROGRAM),
                   {QStringLiteral("--create-demo"), sourcePath(QStringLiteral("sql/sys_tables_sqlite.sql")),
                    sourcePath(QStringLiteral("sql/demo.sql"))});
        QVERIFY(demo.waitForFinished(120000));
        QVERIFY2(demo.exitCode() == 0, demo.readAll().constData());
        QVERIFY(QFile::exists(m_demo.filePath(QStringLiteral("demo.sqlite"))));
    }

    // The guide's text keeps its own rules: every block belongs to an
    // example, every example has its output or says why not, every chapter
    // is listed in the contents and has examples.
    void guideIsWellFormed()
    {
        QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
        QVERIFY(m_files.size() > 1);
        const QString contents = readLines(sourcePath(QStringLiteral("docs/REPORTS.md"))).join(u'\n');
        for (const QString &f : std::as_const(m_files).mid(1)) {
            const QString link = QStringLiteral("(") + f.mid(QStringLiteral("docs/").size()) + u')';
            QVERIFY2(contents.contains(link), qPrintable(f + QStringLiteral(" не указан в содержании docs/REPORTS.md")));
        }
        QStringList silent;
        for (const TExample &e : std::as_const(m_examples))
            if (!e.hasOutput)
                silent << QStringLiteral("%1:%2: %3").arg(e.file).arg(e.line).arg(e.noOutputReason);
        qInfo("Примеров: %d, из них без вывода: %d", int(m_examples.size()), int(silent.size()));
        for (const QString &s : std::as_const(silent))
            qInfo("  %s", qPrintable(s));
    }

    // Every built-in function of the registration table has its section in
    // the functions chapter and is used in some example.
    void everyFunctionHasAnExample()
    {
        const QStringList chapter = readLines(sourcePath(QStringLiteral("docs/reports/functions.md")));
        QStringList examples;
        for (const TExample &e : std::as_const(m_examples))
            examples << e.text;
        const QString allExamples = examples.join(u'\n');
        const QStringList names = BuiltinFunctionNames();
        QVERIFY(!names.isEmpty());
        QStringList missing;
        for (const QString &name : names) {
            if (!chapter.contains(QStringLiteral("### ") + name))
                missing << name + QStringLiteral(": нет раздела «### ") + name + u'»';
            const QRegularExpression use(QStringLiteral("\\b%1\\b").arg(name), QRegularExpression::CaseInsensitiveOption);
            if (!allExamples.contains(use))
                missing << name + QStringLiteral(": нет в примерах");
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u'\n')));
    }

    void examples_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < m_examples.size(); ++i)
            if (m_examples[i].hasOutput)
                QTest::newRow(qPrintable(QStringLiteral("%1:%2").arg(m_examples[i].file).arg(m_examples[i].line))) << i;
    }

    void examples()
    {
        QFETCH(int, index);
        const TExample &e = m_examples[index];
        const TRun r = run(e);
        QVERIFY2(r.ok, qPrintable(QStringLiteral("%1:%2: %3").arg(e.file).arg(e.line).arg(r.problem)));
        QVERIFY2(r.output == e.output, qPrintable(difference(e, r.output)));
    }
};

QUARN_TEST_MAIN(GuideExamplesTest)
#include "GuideExamplesTest.moc"
