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
    QString config() const { return m_config.path(); }

private:
    QTemporaryDir m_home;
    QTemporaryDir m_config;
};

// QTEST_GUILESS_MAIN with the private environment set up first.
#define QUARN_TEST_MAIN(TestObject)                                   \
    int main(int argc, char *argv[])                                  \
    {                                                                 \
        TTestEnvironment quarnTestEnvironment;                        \
        QCoreApplication app(argc, argv);                             \
        TestObject tc;                                                \
        QTEST_SET_MAIN_SOURCE_PATH                                    \
        return QTest::qExec(&tc, argc, argv);                         \
    }

// The same with a QGuiApplication, for tests that measure text with real
// fonts (the offscreen platform is enough).
#define QUARN_GUI_TEST_MAIN(TestObject)                               \
    int main(int argc, char *argv[])                                  \
    {                                                                 \
        TTestEnvironment quarnTestEnvironment;                        \
        QGuiApplication app(argc, argv);                              \
        TestObject tc;                                                \
        QTEST_SET_MAIN_SOURCE_PATH                                    \
        return QTest::qExec(&tc, argc, argv);                         \
    }

// The same with a QApplication, for tests that drive windows (the
// offscreen platform is enough).
#ifdef QT_WIDGETS_LIB
#include <QApplication>
#define QUARN_WIDGETS_TEST_MAIN(TestObject)                           \
    int main(int argc, char *argv[])                                  \
    {                                                                 \
        TTestEnvironment quarnTestEnvironment;                        \
        QApplication app(argc, argv);                                 \
        /* windows come and go: closing one must not end the run */   \
        app.setQuitOnLastWindowClosed(false);                         \
        TestObject tc;                                                \
        QTEST_SET_MAIN_SOURCE_PATH                                    \
        return QTest::qExec(&tc, argc, argv);                         \
    }
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
