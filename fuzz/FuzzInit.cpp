// What every fuzz target needs before its first input when libFuzzer drives
// it (coverage-guided runs, scripts/fuzz.sh): an application object on the
// offscreen platform (texts are measured with real fonts) and a program
// folder and settings of its own, as the tests have.

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QTemporaryDir home;
    for (const char *name : {"QUARN_HOME", "QUARN_CONFIG", "XDG_RUNTIME_DIR"})
        if (qEnvironmentVariableIsEmpty(name))
            qputenv(name, QFile::encodeName(home.path()));
    static QGuiApplication app(*argc, *argv);
    return 0;
}
