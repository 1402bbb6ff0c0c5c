// The one place where the programs install the built-in functions: after it
// every function of the table has an implementation, except those only a
// program with windows installs.

#include "TestSupport.h"

#include "functions/Functions.h"
#include "script/BuiltinFunctions.h"

#include <QtTest>

class FunctionsTest : public QObject {
    Q_OBJECT

private slots:
    void everyLibraryInstalled()
    {
        // a fresh process has only the script library's own functions
        QVERIFY(MissingBuiltinFunctions().contains(QStringLiteral("OpenOLE")));
        QVERIFY(MissingBuiltinFunctions().contains(QStringLiteral("GetGroup")));
        QVERIFY(MissingBuiltinFunctions().contains(QStringLiteral("ExecSQL")));
        InstallFunctions();
        QCOMPARE(MissingBuiltinFunctions(), WindowFunctionNames());
        // a second call (another program part starting) changes nothing
        InstallFunctions();
        QCOMPARE(MissingBuiltinFunctions(), WindowFunctionNames());
    }
};

QUARN_TEST_MAIN(FunctionsTest)
#include "FunctionsTest.moc"
