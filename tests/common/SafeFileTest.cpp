#include "TestSupport.h"

#include "common/SafeFile.h"
#include "common/Settings.h"
#include "common/TextFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

// Files written safely: the old file stays until the new one is complete,
// nothing temporary is left behind, and a failure says which file and why.
class SafeFileTest : public QObject {
    Q_OBJECT

    static QByteArray contents(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    static QStringList entries(const QString &dir)
    {
        return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }

    static bool isZombie(pid_t pid)
    {
        QFile stat(QString("/proc/%1/stat").arg(pid));
        return stat.open(QIODevice::ReadOnly) && stat.readAll().contains(") Z ");
    }

private slots:
    void replacesOnlyOnCommit()
    {
        const QString path = ProgramDir() + "/out.txt";
        WriteFileSafely(path, "old");
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        const QFile::Permissions before = QFileInfo(path).permissions();
        {
            TSafeFile file(path);
            file.Write(QByteArray(100000, 'x'));   // more than one buffer
            QCOMPARE(contents(path), QByteArray("old"));
            QCOMPARE(entries(ProgramDir()).size(), 2);   // the target and the temporary file
            file.Commit();
        }
        QCOMPARE(contents(path), QByteArray(100000, 'x'));
        QCOMPARE(entries(ProgramDir()), QStringList{"out.txt"});
        QCOMPARE(QFileInfo(path).permissions(), before);
        QVERIFY(QFile::remove(path));
    }

    void droppedFileLeavesOldOne()
    {
        const QString path = ProgramDir() + "/kept.txt";
        WriteFileSafely(path, "old");
        {
            TSafeFile file(path);
            file.Write("new");
        }
        QCOMPARE(contents(path), QByteArray("old"));
        QCOMPARE(entries(ProgramDir()), QStringList{"kept.txt"});
        QVERIFY(QFile::remove(path));
    }

    void appendStartsFromOldFile()
    {
        const QString path = ProgramDir() + "/log.txt";
        TSafeFile fresh(path);
        fresh.CopyTarget();   // nothing to copy yet
        fresh.Write("a\r\n");
        fresh.Commit();
        TSafeFile more(path);
        more.CopyTarget();
        more.Write("b\r\n");
        QCOMPARE(more.Size(), 6);
        more.Commit();
        QCOMPARE(contents(path), QByteArray("a\r\nb\r\n"));
        QVERIFY(QFile::remove(path));
    }

    void linkStaysLink()
    {
        const QString target = ProgramDir() + "/real.txt", link = ProgramDir() + "/link.txt";
        WriteFileSafely(target, "old");
        QVERIFY(QFile::link(target, link));
        WriteFileSafely(link, "new");
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(contents(target), QByteArray("new"));
        QVERIFY(QFile::remove(link) && QFile::remove(target));
    }

    // A name that leads through symbolic links: the file at the end gets
    // the bytes (a relative link is taken against its own folder, a dangling
    // one names the file to make), and every link stays as it was.
    void linksFollowed_data()
    {
        QTest::addColumn<QStringList>("links");   // "name>points to", made in order
        QTest::addColumn<QString>("name");        // the name written
        QTest::addColumn<QString>("target");      // the file that gets the bytes
        QTest::addColumn<bool>("existing");       // the target is there before
        QTest::newRow("link") << QStringList{"link.txt>real.txt"} << "link.txt" << "real.txt" << true;
        QTest::newRow("into a folder") << QStringList{"link.txt>sub/real.txt"} << "link.txt" << "sub/real.txt" << true;
        QTest::newRow("chain, relative to each link")
            << QStringList{"b.txt>sub/real.txt", "sub/a.txt>../b.txt"} << "sub/a.txt" << "sub/real.txt" << true;
        QTest::newRow("dangling") << QStringList{"link.txt>sub/new.txt"} << "link.txt" << "sub/new.txt" << false;
    }
    void linksFollowed()
    {
        QFETCH(QStringList, links);
        QFETCH(QString, name);
        QFETCH(QString, target);
        QFETCH(bool, existing);
        QTemporaryDir dir(ProgramDir() + "/links-XXXXXX");
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        if (existing)
            WriteFileSafely(dir.filePath(target), "old");
        QStringList linkNames, expected{"sub"}, expectedSub;
        for (const QString &link : links) {
            const QStringList parts = link.split('>');
            QVERIFY(::symlink(QFile::encodeName(parts[1]).constData(), QFile::encodeName(dir.filePath(parts[0])).constData()) == 0);
            linkNames << parts[0];
        }
        QCOMPARE(QDir::cleanPath(WriteTarget(dir.filePath(name))), dir.filePath(target));
        WriteFileSafely(dir.filePath(name), "new");
        QCOMPARE(contents(dir.filePath(target)), QByteArray("new"));
        for (const QString &file : linkNames + QStringList{target})
            (file.startsWith("sub/") ? expectedSub : expected) << QFileInfo(file).fileName();
        expected.sort();
        expectedSub.sort();
        QCOMPARE(entries(dir.path()), expected);   // links and target, nothing temporary
        QCOMPARE(entries(dir.filePath("sub")), expectedSub);
        for (const QString &link : linkNames)
            QVERIFY2(QFileInfo(dir.filePath(link)).isSymLink(), qPrintable(link));
    }

    // Folders, pipes, devices, sockets and links in a loop are refused with
    // the reason before anything is written; they stay as they were.
    void specialFilesRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder") << "folder" << "это папка";
        QTest::newRow("named pipe") << "fifo" << "это именованный канал, а не обычный файл";
        QTest::newRow("device, through a link") << "device" << "это устройство, а не обычный файл";
        QTest::newRow("socket") << "socket" << "это сокет, а не обычный файл";
        QTest::newRow("links in a loop") << "loop" << "слишком много символических ссылок";
    }
    void specialFilesRefused()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QTemporaryDir dir(ProgramDir() + "/special-XXXXXX");
        const QString path = dir.filePath("special");
        const QByteArray native = QFile::encodeName(path);
        int socketFd = -1;
        if (kind == "folder") {
            QVERIFY(QDir(dir.path()).mkdir("special"));
        } else if (kind == "fifo") {
            QVERIFY(::mkfifo(native.constData(), 0600) == 0);
        } else if (kind == "device") {
            QVERIFY(::symlink("/dev/null", native.constData()) == 0);
        } else if (kind == "socket") {
            socketFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            QVERIFY(size_t(native.size()) < sizeof address.sun_path);
            std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
            QVERIFY(::bind(socketFd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0);
        } else {
            QVERIFY(::symlink("other", native.constData()) == 0);
            QVERIFY(::symlink("special", QFile::encodeName(dir.filePath("other")).constData()) == 0);
        }
        struct stat before {};
        QVERIFY(::lstat(native.constData(), &before) == 0);
        const QString message = "Не могу создать файл " + path + ": " + reason;
        QUARN_EXPECT_ERROR(WriteTarget(path), message);
        QUARN_EXPECT_ERROR(WriteFileSafely(path, "new"), message);
        QUARN_EXPECT_ERROR(WriteTextLines(path, {"строка"}), message);
        QUARN_EXPECT_ERROR(TSafeFile{path}, message);
        if (socketFd >= 0)
            ::close(socketFd);
        struct stat after {};
        QVERIFY(::lstat(native.constData(), &after) == 0);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(entries(dir.path()), kind == "loop" ? QStringList({"other", "special"}) : QStringList({"special"}));
    }

    // A writer killed during a run leaves its temporary file; the next write
    // of the same target removes it. Temporary files of writers still at work
    // (a running process, this one, a lock held) and other names stay.
    void staleTemporaryFiles_data()
    {
        QTest::addColumn<QString>("leftOver");   // %dead, %live, %self: process ids
        QTest::addColumn<bool>("locked");
        QTest::addColumn<bool>("removed");
        QTest::newRow("writer gone") << ".out.txt.%dead-0a1b2c~" << false << true;
        QTest::newRow("writer gone, short id") << ".out.txt.%dead-00000f~" << false << true;
        QTest::newRow("writer ended, not waited for") << ".out.txt.%zombie-0a1b2c~" << false << true;
        QTest::newRow("writer running") << ".out.txt.%live-0a1b2c~" << false << false;
        QTest::newRow("this process") << ".out.txt.%self-0a1b2c~" << false << false;
        QTest::newRow("lock held elsewhere") << ".out.txt.%dead-0a1b2c~" << true << false;
        QTest::newRow("another target") << ".out.txt.bak.%dead-0a1b2c~" << false << false;
        QTest::newRow("not hexadecimal") << ".out.txt.%dead-0a1b2z~" << false << false;
        QTest::newRow("without the dot") << "out.txt.%dead-0a1b2c~" << false << false;
        QTest::newRow("without a process id") << ".out.txt.0a1b2c~" << false << false;
    }
    void staleTemporaryFiles()
    {
        QFETCH(QString, leftOver);
        QFETCH(bool, locked);
        QFETCH(bool, removed);
        QProcess gone;
        gone.start("true", QStringList());
        QVERIFY(gone.waitForStarted());
        const qint64 dead = gone.processId();
        QVERIFY(gone.waitForFinished());
        const pid_t zombie = ::fork();
        if (zombie == 0)
            ::_exit(0);
        QVERIFY(zombie > 0);
        auto reap = qScopeGuard([zombie] { ::waitpid(zombie, nullptr, 0); });
        siginfo_t ended {};
        QVERIFY(::waitid(P_PID, id_t(zombie), &ended, WEXITED | WNOWAIT) == 0);   // ended, not reaped
        QVERIFY(isZombie(zombie));
        QTemporaryDir dir(ProgramDir() + "/stale-XXXXXX");
        const QString name = leftOver.replace("%zombie", QString::number(zombie))
                                 .replace("%dead", QString::number(dead))
                                 .replace("%live", QString::number(::getppid()))
                                 .replace("%self", QString::number(QCoreApplication::applicationPid()));
        const QString stale = dir.filePath(name);
        WriteFileSafely(stale, "half");
        QFile holder(stale);
        if (locked) {
            QVERIFY(holder.open(QIODevice::ReadOnly));
            QVERIFY(::flock(holder.handle(), LOCK_EX | LOCK_NB) == 0);
        }
        WriteFileSafely(dir.filePath("out.txt"), "new");
        QCOMPARE(contents(dir.filePath("out.txt")), QByteArray("new"));
        QStringList expected{"out.txt"};
        if (!removed)
            expected << name;
        expected.sort();
        QCOMPARE(entries(dir.path()), expected);
    }

    // On a full disk every way of writing fails with the file's name and the
    // reason, the old file (or its absence) stays and nothing is left over.
    void fullDisk_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("existing");
        for (const char *how : {"whole", "text", "device", "append"}) {
            QTest::newRow(qPrintable(QString("%1 over old").arg(how))) << QString(how) << true;
            QTest::newRow(qPrintable(QString("%1 new").arg(how))) << QString(how) << false;
        }
    }

    void fullDisk()
    {
        QFETCH(QString, how);
        QFETCH(bool, existing);
        TFullFolder folder;
        if (existing)
            folder.put("f.txt", "old contents\r\n");
        QUARN_REQUIRE_FULL_FOLDER(folder);
        const QString path = folder.file("f.txt");
        bool raised = false;
        try {
            if (how == "whole") {
                WriteFileSafely(path, "new");
            } else if (how == "text") {
                WriteTextLines(path, {"строка"});
            } else {
                TSafeFile file(path);
                if (how == "append")
                    file.CopyTarget();
                if (how == "device")
                    QCOMPARE(file.write("new", 3), 3);   // buffered: the failure shows at the commit
                else
                    file.Write("new");
                file.Commit();
            }
        } catch (const Exception &e) {
            raised = true;
            QCOMPARE(e.Message(), "Ошибка записи в файл " + path + ": нет места на диске");
        }
        QVERIFY(raised);
        QCOMPARE(contents(path), existing ? QByteArray("old contents\r\n") : QByteArray("<missing>"));
        QCOMPARE(folder.names(), existing ? QStringList{"f.txt"} : QStringList{});
    }

    void settingsOnFullDisk()
    {
        TFullFolder folder;
        folder.put("quarn.ini", "[General]\nCodePage=windows-1251\n");
        QUARN_REQUIRE_FULL_FOLDER(folder);
        const QByteArray config = qgetenv("QUARN_CONFIG");
        qputenv("QUARN_CONFIG", QFile::encodeName(folder.path()));
        bool raised = false;
        try {
            WriteSetting("CodePage", QString(8192, 'x'));
        } catch (const Exception &e) {
            raised = e.Message() == "Ошибка записи в файл " + folder.file("quarn.ini");
        }
        qputenv("QUARN_CONFIG", config);
        QVERIFY(raised);
        QCOMPARE(contents(folder.file("quarn.ini")), QByteArray("[General]\nCodePage=windows-1251\n"));
        QCOMPARE(folder.names(), QStringList{"quarn.ini"});
    }
};

QUARN_TEST_MAIN(SafeFileTest)
#include "SafeFileTest.moc"
