// The dispatch layer: program identifiers, member calls of every kind from
// scripts, by-reference arguments, result types, shared and running
// instances, and what showing an application does with its files.

#include "OfficeTestSupport.h"

#include "office/Automation.h"
#include "office/ExcelServer.h"
#include "office/OleObjectList.h"
#include "office/ProgIdRegistry.h"

#include <QFileInfo>
#include <QtTest>

namespace {

// A server of the test's own: Swap writes its by-reference arguments back,
// Typed returns a value of each type the automation boundary knows.
class TProbe final : public TAutomationObject {
public:
    int Calls = 0;

protected:
    bool invokeMember(const QString &member, TCallKind kind, TDispArgs &args, TDispValue &result) override
    {
        static const TMemberDef<TProbe> table[] = {
            {"Swap", nullptr, nullptr, &TProbe::swap, 2},
            {"Typed", nullptr, nullptr, &TProbe::typed, 1},
            {"Self", &TProbe::getSelf},
        };
        ++Calls;
        return dispatchMember(*this, std::span<const TMemberDef<TProbe>>(table), member, kind, args, result);
    }

private:
    TDispValue swap(TDispArgs &args)
    {
        const TDispValue a = args.Value(0), b = args.Value(1);
        args.SetByRef(0, b);
        args.SetByRef(1, a);
        return {};
    }
    TDispValue typed(TDispArgs &args)
    {
        switch (args.Int(0)) {
        case 1: return TDispValue::FromInteger(7);
        case 2: return TDispValue::FromDouble(2.5);
        case 3: return TDispValue::FromCurrency(123456);
        case 4: return TDispValue::FromDate(37653.25);
        case 5: return TDispValue::FromString(QStringLiteral("текст"));
        case 6: return TDispValue::FromBoolean(true);
        case 7: return self();
        case 8: {
            TDispValue other;
            other.Type = TDispValue::Other;
            return other;
        }
        default: return {};
        }
    }
    TDispValue getSelf(TDispArgs &) { return self(); }
};

const QUuid ProbeClassId(QStringLiteral("{0b1e7d55-3c3a-4d0e-8f55-6d2b9c1f0001}"));

} // namespace

class TDispatchTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        WriteSetting(QStringLiteral("OfficeOpen"), QStringLiteral("0"));
        ProgIdRegistry().Register(QStringLiteral("Quarn.Probe"), ProbeClassId,
                                  [] { return TDispatchRef(std::make_shared<TProbe>()); });
    }
    void init() { ClearProgramDir(); }

    void unknownProgId()
    {
        QUARN_EXPECT_ERROR(CreateOLEObject(QStringLiteral("Nobody.Home")), "OLE error 800401F3");
        QUARN_EXPECT_ERROR(CreateOleObject(QStringLiteral("Nobody.Home")), "OLE error 800401F3");
        TOfficeTestHost host;
        QUARN_EXPECT_ERROR(host.Run(QStringLiteral("W = CreateOLEObject('Nobody.Home')")), "OLE error 800401F3");
        QCOMPARE(host.GetVar(QStringLiteral("W")).VarType(), quint8(vtUndefined));
    }

    void progIdsIgnoreCase()
    {
        QCOMPARE(ProgIdRegistry().ClassIdFromProgId(QStringLiteral("EXCEL.APPLICATION")), ExcelApplicationClassId());
        QCOMPARE(ProgIdRegistry().ClassIdFromProgId(QStringLiteral("word.application")), WordApplicationClassId());
    }

    void callErrors_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown member") << "N = W.Frobnicate" << "Method 'Frobnicate' not supported by automation object";
        QTest::newRow("unknown member in a statement") << "W.Frobnicate(1)"
                                                       << "Method 'Frobnicate' not supported by automation object";
        QTest::newRow("write to a read-only property") << "W.Name = 'x'" << "OLE error 80020003";
        QTest::newRow("method read as a property") << "W.Quit = 1" << "OLE error 80020003";
        QTest::newRow("index outside the collection") << "N = W.Workbooks(1)" << "OLE error 8002000B";
        QTest::newRow("too many arguments") << "N = W.Visible(1)" << "OLE error 8002000E";
        QTest::newRow("text for a number") << "B = W.Workbooks.Add\nN = B.Sheets(1).Cells('x', 1).Value"
                                           << "OLE error 80020005";
        QTest::newRow("missing argument") << "B = W.Workbooks.Add\nN = B.Sheets(1).Cells(1)" << "OLE error 8002000F";
        QTest::newRow("object of a closed workbook") << "B = W.Workbooks.Add\nB.Close(FALSE)\nN = B.Name"
                                                     << "OLE error 80010108";
        QTest::newRow("server's own error") << "B = W.Workbooks.Add\nB.Sheets(1).Name = 'a/b'"
                                            << "Недопустимое имя листа: 'a/b'";
        QTest::newRow("member of a number") << "X = 1\nY = X.Visible"
                                            << "X: Операция неприменима для данного типа данных (NUMBER)";
        QTest::newRow("member of a text") << "X = 'a'\nX.Visible = TRUE"
                                          << "X: Операция неприменима для данного типа данных (STRING)";
    }

    void callErrors()
    {
        QFETCH(QString, script);
        QFETCH(QString, message);
        TOfficeTestHost host;
        host.GetVar(QStringLiteral("W")).SetAsDispatch(CreateOleObject(QStringLiteral("Excel.Application")));
        QUARN_EXPECT_ERROR(host.Run(script), message);
    }

    // W = CreateOLEObject(...), W.Visible = TRUE, N = W.Workbooks.Count and
    // a chain through objects, as a script writes them.
    void memberChains()
    {
        TOfficeTestHost host;
        host.Run(QStringLiteral("W = CreateOLEObject('Excel.Application')\n"
                                "V1 = W.Visible\n"
                                "W.Visible = TRUE\n"
                                "V2 = w.VISIBLE\n"
                                "N1 = W.Workbooks.Count\n"
                                "B = W.Workbooks.Add\n"
                                "N2 = W.Workbooks.Count\n"
                                "B.Sheets(1).Cells(2, 3).Value = 42\n"
                                "V = B.Sheets(1).Cells(2, 3).Value\n"
                                "S = W.ActiveSheet.Name"));
        QCOMPARE(host.GetVar(QStringLiteral("W")).VarType(), quint8(vtDispatch));
        QCOMPARE(host.GetVar(QStringLiteral("V1")).GetAsBoolean(), false);
        QCOMPARE(host.GetVar(QStringLiteral("V2")).GetAsBoolean(), true);
        QCOMPARE(host.GetVar(QStringLiteral("B")).VarType(), quint8(vtDispatch));
        QCOMPARE(host.GetVar(QStringLiteral("N2")).GetAsNumber(), host.GetVar(QStringLiteral("N1")).GetAsNumber() + 1);
        QCOMPARE(host.GetVar(QStringLiteral("V")).GetAsNumber(), 42.0);
        QCOMPARE(host.GetVar(QStringLiteral("S")).GetAsString(), QStringLiteral("Лист1"));

        auto *app = dynamic_cast<TExcelApplication *>(host.GetVar(QStringLiteral("W")).GetAsDispatch().get());
        QVERIFY(app);
        QVERIFY(app->Visible());
    }

    void byReferenceArguments()
    {
        TOfficeTestHost host;
        host.Run(QStringLiteral("P = CreateOLEObject('Quarn.Probe')\n"
                                "A = 1\nB = 2\n"
                                "P.Swap(&A, &B)\n"
                                "C = 1\nD = 2\n"
                                "P.Swap(C, D)\n"
                                "E = 5\nF = 6\n"
                                "P.Self.Swap(&E, &F)"));
        QCOMPARE(host.GetVar(QStringLiteral("A")).GetAsNumber(), 2.0);
        QCOMPARE(host.GetVar(QStringLiteral("B")).GetAsNumber(), 1.0);
        // Passed by value, the variables stay as they were.
        QCOMPARE(host.GetVar(QStringLiteral("C")).GetAsNumber(), 1.0);
        QCOMPARE(host.GetVar(QStringLiteral("D")).GetAsNumber(), 2.0);
        QCOMPARE(host.GetVar(QStringLiteral("E")).GetAsNumber(), 6.0);
        QCOMPARE(host.GetVar(QStringLiteral("F")).GetAsNumber(), 5.0);

        // Read by reference, the variables are the arguments.
        host.Run(QStringLiteral("W = CreateOLEObject('Excel.Application')\n"
                                "S = W.Workbooks.Add.Sheets(1)\n"
                                "R = 3\nK = 2\n"
                                "S.Cells(&R, &K).Value = 'x'\n"
                                "V = S.Cells(3, 2).Value"));
        QCOMPARE(host.GetVar(QStringLiteral("V")).GetAsString(), QStringLiteral("x"));
        QCOMPARE(host.GetVar(QStringLiteral("R")).GetAsNumber(), 3.0);
    }

    void resultTypes_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("varType");
        QTest::addColumn<QString>("text");
        QTest::newRow("integer") << 1 << int(vtNumber) << "7";
        QTest::newRow("double") << 2 << int(vtNumber) << "2.5";
        QTest::newRow("currency, scaled") << 3 << int(vtNumber) << "12.3456";
        QTest::newRow("date") << 4 << int(vtDate) << "37653.25";
        QTest::newRow("string") << 5 << int(vtString) << "текст";
        QTest::newRow("boolean") << 6 << int(vtBoolean) << "true";
        QTest::newRow("object") << 7 << int(vtDispatch) << "";
        QTest::newRow("other type") << 8 << int(vtUndefined) << "";
        QTest::newRow("empty") << 0 << int(vtUndefined) << "";
    }

    void resultTypes()
    {
        QFETCH(int, kind);
        QFETCH(int, varType);
        QFETCH(QString, text);
        TOfficeTestHost host;
        host.Run(QStringLiteral("P = CreateOLEObject('Quarn.Probe')\nR = P.Typed(%1)").arg(kind));
        const TReportVar &r = host.GetVar(QStringLiteral("R"));
        QCOMPARE(int(r.VarType()), varType);
        switch (r.VarType()) {
        case vtNumber: QCOMPARE(r.GetAsNumber(), text.toDouble()); break;
        case vtDate: QCOMPARE(r.GetAsDate(), text.toDouble()); break;
        case vtString: QCOMPARE(r.GetAsString(), text); break;
        case vtBoolean: QCOMPARE(r.GetAsBoolean(), true); break;
        case vtDispatch:
            QCOMPARE(r.GetAsDispatch(), host.GetVar(QStringLiteral("P")).GetAsDispatch());
            break;
        default: break;
        }
    }

    // CreateOLEObject shares one instance while it answers; one that quit is
    // replaced, by a running instance when there is one.
    void sharedInstances()
    {
        const TDispatchRef first = CreateOLEObject(QStringLiteral("Excel.Application"));
        QCOMPARE(CreateOLEObject(QStringLiteral("excel.application")), first);
        TOleObject *entry = OleObjectList().Find(ExcelApplicationClassId());
        QVERIFY(entry);
        QCOMPARE(entry->Dispatch, first);

        OleCall(first, QStringLiteral("Quit"));
        QVERIFY(!ObjectAnswers(*first));
        QUARN_EXPECT_ERROR(OleGet(first, QStringLiteral("Visible")), "OLE error 800706BA");

        const TDispatchRef running = CreateOleObject(QStringLiteral("Excel.Application"));
        QCOMPARE(GetActiveOleObject(QStringLiteral("Excel.Application")), running);
        const TDispatchRef second = CreateOLEObject(QStringLiteral("Excel.Application"));
        QCOMPARE(second, running);
        QCOMPARE(OleObjectList().Find(ExcelApplicationClassId())->Dispatch, running);

        OleCall(running, QStringLiteral("Quit"));
        QUARN_EXPECT_ERROR(GetActiveOleObject(QStringLiteral("Excel.Application")), "OLE error 800401E3");
        const TDispatchRef third = CreateOLEObject(QStringLiteral("Excel.Application"));
        QVERIFY(third != running);
        QVERIFY(ObjectAnswers(*third));
        QCOMPARE(OleObjectList().Find(ExcelApplicationClassId())->Dispatch, third);
    }

    void showingSavesAndOpens()
    {
        TRecordingOpener opener;
        WriteSetting(QStringLiteral("OfficeOpen"), QStringLiteral("1"));
        const TDispatchRef app = CreateOleObject(QStringLiteral("Excel.Application"));
        const TDispatchRef books = OleGetObject(app, QStringLiteral("Workbooks"));
        OleCall(books, QStringLiteral("Add"));
        OlePut(app, QStringLiteral("Visible"), TDispValue::FromBoolean(true));
        QCOMPARE(ProgramDirFiles(QStringLiteral(".xlsx")), QStringList{QStringLiteral("Книга1.xlsx")});
        QCOMPARE(opener.Opened, QStringList{QDir(ProgramDir()).filePath(QStringLiteral("Книга1.xlsx"))});

        // Shown once; a second workbook is shown when the application is
        // made visible again.
        OlePut(app, QStringLiteral("Visible"), TDispValue::FromBoolean(true));
        QCOMPARE(opener.Opened.size(), 1);
        OleCall(books, QStringLiteral("Add"));
        OlePut(app, QStringLiteral("Visible"), TDispValue::FromBoolean(true));
        QCOMPARE(opener.Opened.size(), 2);
        QVERIFY(opener.Opened[1].endsWith(QStringLiteral("Книга2.xlsx")));

        // OfficeOpen "0" saves without opening.
        WriteSetting(QStringLiteral("OfficeOpen"), QStringLiteral("0"));
        OleCall(books, QStringLiteral("Add"));
        OlePut(app, QStringLiteral("Visible"), TDispValue::FromBoolean(true));
        QCOMPARE(opener.Opened.size(), 2);
        QCOMPARE(ProgramDirFiles(QStringLiteral(".xlsx")).size(), 3);
        OleCall(app, QStringLiteral("Quit"));
    }

    // A file of an earlier run is never overwritten by a new workbook.
    void newNamesAreFree()
    {
        QFile earlier(QDir(ProgramDir()).filePath(QStringLiteral("Книга1.xlsx")));
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier run");
        earlier.close();
        const TDispatchRef app = CreateOleObject(QStringLiteral("Excel.Application"));
        const TDispatchRef book = OleCallObject(OleGetObject(app, QStringLiteral("Workbooks")), QStringLiteral("Add"));
        QCOMPARE(OleGet(book, QStringLiteral("Name")).StrValue, QStringLiteral("Книга1"));
        OleCall(book, QStringLiteral("Save"));
        QCOMPARE(OleGet(book, QStringLiteral("Name")).StrValue, QStringLiteral("Книга2.xlsx"));
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("earlier run"));
        OleCall(app, QStringLiteral("Quit"));
    }
};

QUARN_TEST_MAIN(TDispatchTest)
#include "DispatchTest.moc"
