#include "TestSupport.h"

#include "common/SafeFile.h"
#include "common/Settings.h"
#include "common/TextFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
