#pragma once

#include "common/Exceptions.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// Gives the test process its own empty QUARN_HOME and QUARN_CONFIG, so that
// no test reads the user's settings or leaves files behind. Construct it
// before QTest runs (QUARN_TEST_MAIN does).
class TTestEnvironment {
public:
    TTestEnvironment();
    QString home() const { return m_home.path(); }
    // With QUARN_PG_DSN set: makes a database of this process's own on
    // the server and points QUARN_PG_DSN at it, so test programs run in
    // parallel never meet in one database; dropped again at the end.
    void ownPostgresDatabase();
    void dropPostgresDatabase();
    QString config() const { return m_config.path(); }

private:
    QTemporaryDir m_home;
    QTemporaryDir m_config;
    QString m_sharedDsn;     // QUARN_PG_DSN as given
    QString m_pgDatabase;    // the database of this process, when made
};

// A small tmpfs folder that can be filled up, to see what writers do on a
// full disk. Mounting needs root (or the right capability); where it fails
// the tests using it skip loudly (QUARN_REQUIRE_FULL_FOLDER).
class TFullFolder {
public:
    TFullFolder();
    ~TFullFolder();
    TFullFolder(const TFullFolder &) = delete;
    TFullFolder &operator=(const TFullFolder &) = delete;

    bool mounted() const { return m_mounted; }
    QString why() const { return m_why; }
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }
    // Writes `bytes` to `name` (before the folder is filled).
    void put(const QString &name, const QByteArray &bytes) const;
    // Takes up every byte left, in the file "filler"; true when the next
    // write of even one byte fails.
    bool fill() const;
    // The names in the folder besides "filler", sorted (hidden ones too).
    QStringList names() const;

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_why;
};

#define QUARN_REQUIRE_FULL_FOLDER(folder)                                                        \
    do {                                                                                          \
        if (!(folder).mounted())                                                                  \
            QSKIP(qPrintable("SKIPPED LOUDLY: cannot mount a small tmpfs for the full-disk test (" \
                             + (folder).why() + ")"));                                           \
        QVERIFY((folder).fill());                                                                 \
    } while (false)

// QTEST_MAIN with the private environment set up first, on an application
// object of the class `App` made ready by the statement `setUp`.
#define QUARN_TEST_MAIN_ON(App, setUp, TestObject)                    \
    int main(int argc, char *argv[])                                  \
    {                                                                 \
        TTestEnvironment quarnTestEnvironment;                        \
        App app(argc, argv);                                          \
        setUp;                                                        \
        quarnTestEnvironment.ownPostgresDatabase();                   \
        int rc_ = 0;                                                  \
        {                                                             \
            TestObject tc;                                            \
            QTEST_SET_MAIN_SOURCE_PATH                                \
            rc_ = QTest::qExec(&tc, argc, argv);                      \
        }                                                             \
        quarnTestEnvironment.dropPostgresDatabase();                  \
        return rc_;                                                   \
    }

// Without a GUI.
#define QUARN_TEST_MAIN(TestObject) QUARN_TEST_MAIN_ON(QCoreApplication, (void)app, TestObject)

// With a QGuiApplication, for tests that measure text with real fonts (the
// offscreen platform is enough).
#define QUARN_GUI_TEST_MAIN(TestObject) QUARN_TEST_MAIN_ON(QGuiApplication, (void)app, TestObject)

// With a QApplication, for tests that drive windows (the offscreen platform
// is enough); windows come and go: closing one must not end the run.
#ifdef QT_WIDGETS_LIB
#include <QApplication>
#define QUARN_WIDGETS_TEST_MAIN(TestObject) \
    QUARN_TEST_MAIN_ON(QApplication, app.setQuitOnLastWindowClosed(false), TestObject)
#endif

// Runs `f` and returns the message of the Exception it raised; fails the
// test when it raises nothing.
#define QUARN_EXPECT_ERROR(expr, message)                             \
    do {                                                              \
        bool raised_ = false;                                         \
        try { (void)(expr); } catch (const Exception &e_) {           \
            raised_ = true;                                           \
            QCOMPARE(e_.Message(), QString(message));                 \
        }                                                             \
        QVERIFY2(raised_, "no error raised by " #expr);               \
    } while (false)

// One member of a zip file, read with unzip: an independent reader of what
// was written. Empty when unzip is missing or fails.
inline QByteArray UnzipEntry(const QString &zip, const QString &entry)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), zip, entry});
    if (!unzip.waitForFinished(30000) || unzip.exitCode() != 0)
        return {};
    return unzip.readAllStandardOutput();
}

inline bool HaveUnzip()
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-v")});
    return unzip.waitForFinished(10000) && unzip.exitCode() == 0;
}
