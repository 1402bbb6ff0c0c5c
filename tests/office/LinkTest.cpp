// The office-application link and the five script functions, called the way
// a report calls them: the report expert's automation script, the shared
// applications, the link's error handling and the word-processor export.

#include "OfficeTestSupport.h"

#include "office/Automation.h"
#include "office/ExcelServer.h"
#include "office/OLELink.h"
#include "office/ProgIdRegistry.h"
#include "office/WordServer.h"

#include "report/KtReport.h"
#include "script/BuiltinFunctions.h"

#include "common/DateTime.h"

#include <QJsonArray>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

// An office server that fails where the test says: every member returns the
// object itself, Count and End answer 1, and the member named `failing`
// raises the automation error `message`.
class TFailingServer final : public TAutomationObject {
public:
    TFailingServer(QString failing, QString message) : m_failing(std::move(failing)), m_message(std::move(message)) {}

    QStringList Calls;

protected:
    bool invokeMember(const QString &member, TCallKind, TDispArgs &, TDispValue &result) override
    {
        Calls << member;
        if (member == m_failing)
            RaiseServerError(m_message);
        if (member == QLatin1String("Count") || member == QLatin1String("End"))
            result = TDispValue::FromInteger(1);
        else
            result = self();
        return true;
    }

private:
    QString m_failing;
    QString m_message;
};

// Puts a failing server under the program identifier of a link's kind
// while it lives, and the built-in server back after.
class TFailingApplication {
public:
    std::shared_ptr<TFailingServer> Server;

    TFailingApplication(TOLELink::TKind kind, const QString &failing, const QString &message) : m_kind(kind)
    {
        ResetOfficeApplication(m_kind);
        Server = std::make_shared<TFailingServer>(failing, message);
        ProgIdRegistry().Register(progId(), QUuid::createUuid(), [server = Server] { return TDispatchRef(server); });
    }
    ~TFailingApplication()
    {
        ResetOfficeApplication(m_kind);
        if (m_kind == TOLELink::okExcel)
            ProgIdRegistry().Register(progId(), ExcelApplicationClassId(),
                                      [] { return TDispatchRef(TExcelApplication::Create()); });
        else
            ProgIdRegistry().Register(progId(), WordApplicationClassId(),
                                      [] { return TDispatchRef(TWordApplication::Create()); });
    }

private:
    QString progId() const
    {
        return m_kind == TOLELink::okExcel ? QStringLiteral("Excel.Application") : QStringLiteral("Word.Application");
    }
    TOLELink::TKind m_kind;
};

// The report expert's automation script for `application` over the
// variables, one AddRecordOLE per record.
void runExpertScript(TOfficeTestHost &host, const QString &application, const QString &fields,
                     const std::function<void(int)> &setRecord, int records)
{
    host.Run(QStringLiteral("W = OpenOLE('%1')\nRes = AddVarsOLE(W%2)").arg(application, fields));
    for (int i = 0; i < records; ++i) {
        setRecord(i);
        host.Run(QStringLiteral("Res = AddRecordOLE(W)"));
    }
    host.Run(QStringLiteral("Res = CloseOLE(W)\nRes = Abort"));
}

// The variables of the expert test: a text with a description, a number, a
// date, a memo and a Boolean.
void declareFields(TOfficeTestHost &host)
{
    host.GetVar(QStringLiteral("NAME")).SetDescription(QStringLiteral("Наименование товара"));
    host.GetVar(QStringLiteral("NOTE")).SetDescription(QStringLiteral("Примечание"));
    // Abort is the script's last line; here it does nothing.
    host.Funcs.AddFunc(std::make_unique<TFunc>(QStringLiteral("Abort"), 0, [](TReportHost &, TParamList &, TReportVar &) {}));
}

void setRecord(TOfficeTestHost &host, int i)
{
    if (i == 0) {
        host.GetVar(QStringLiteral("NAME")).SetAsString(QStringLiteral("Гайка"));
        host.GetVar(QStringLiteral("QTY")).SetAsNumber(12);
        host.GetVar(QStringLiteral("DAY")).SetAsDate(EncodeDate(2024, 3, 5));
        host.GetVar(QStringLiteral("NOTE")).SetAsMemo({QStringLiteral("строка 1"), QStringLiteral("строка 2")});
        host.GetVar(QStringLiteral("PAID")).SetAsBoolean(true);
    } else {
        host.GetVar(QStringLiteral("NAME")).SetAsString(QStringLiteral("007"));
        host.GetVar(QStringLiteral("QTY")).SetAsNumber(0.5);
        host.GetVar(QStringLiteral("DAY")).SetAsDate(EncodeDate(2024, 3, 6) + 0.5);
        host.GetVar(QStringLiteral("NOTE")).SetAsMemo({QStringLiteral("одна\r")});
        host.GetVar(QStringLiteral("PAID")).SetAsBoolean(false);
    }
}

// The cells of the tables of a content.xml: rows of cells, a cell's
// paragraphs joined with "\n".
QList<QStringList> tableRows(const QByteArray &xml)
{
    QList<QStringList> rows;
    QXmlStreamReader r(xml);
    QStringList paragraphs;
    bool inCell = false, inParagraph = false;
    while (!r.atEnd()) {
        r.readNext();
        const auto name = r.qualifiedName();
        if (r.isStartElement() && name == QLatin1String("table:table-row"))
            rows << QStringList();
        else if (r.isStartElement() && name == QLatin1String("table:table-cell")) {
            inCell = true;
            paragraphs.clear();
        } else if (r.isStartElement() && name == QLatin1String("text:p") && inCell) {
            inParagraph = true;
            paragraphs << QString();
        } else if (r.isEndElement() && name == QLatin1String("text:p"))
            inParagraph = false;
        else if (r.isEndElement() && name == QLatin1String("table:table-cell")) {
            inCell = false;
            rows.last() << paragraphs.join(u'\n');
        } else if (r.isCharacters() && inParagraph)
            paragraphs.last() += r.text();
    }
    return rows;
}

} // namespace

class TLinkTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { WriteSetting(QStringLiteral("OfficeOpen"), QStringLiteral("0")); }
    void init() { ClearProgramDir(); }

    void registrationTable()
    {
        const auto &table = OfficeFuncTable();
        QCOMPARE(table.size(), size_t(5));
        const QList<int> positions{58, 59, 60, 61, 67};
        const QStringList names{QStringLiteral("OpenOLE"), QStringLiteral("AddVarsOLE"), QStringLiteral("AddRecordOLE"),
                                QStringLiteral("CloseOLE"), QStringLiteral("CreateOLEObject")};
        const QList<int> counts{1, 2, 1, 1, 1};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(table[size_t(i)].Position, positions[i]);
            QCOMPARE(QString::fromLatin1(table[size_t(i)].Name), names[i]);
            QCOMPARE(table[size_t(i)].ArgCount, counts[i]);
        }
        TFunc addVars(QStringLiteral("AddVarsOLE"), 2, FuncAddVarsOLE, table[1].ByRef);
        TFunc addRecord(QStringLiteral("AddRecordOLE"), 1, FuncAddRecordOLE, table[2].ByRef);
        TFunc open(QStringLiteral("OpenOLE"), 1, FuncOpenOLE, table[0].ByRef);
        for (int position : {0, 1, 7, 254})
            QVERIFY(addVars.IsByRef(position));
        QVERIFY(addRecord.IsByRef(0));
        QVERIFY(!addRecord.IsByRef(1));
        QVERIFY(!open.IsByRef(0));
    }

    // Installed, the functions take their places in the registry of every
    // report with the counts and by-reference sets of the table.
    void installedInTheRegistry()
    {
        InstallOfficeFunctions();
        const QStringList names = BuiltinFunctionNames();
        TFuncList registry;
        RegisterBuiltinFunctions(registry);
        for (const TOfficeFuncEntry &entry : OfficeFuncTable()) {
            const QString name = QString::fromLatin1(entry.Name);
            QCOMPARE(names.indexOf(name) + 1, entry.Position);
            const TFunc *func = registry.FindFunc(name);
            QVERIFY2(func, entry.Name);
            QCOMPARE(func->ArgCount(), entry.ArgCount);
            QCOMPARE(func->ByRefSet(), entry.ByRef);
        }
    }

    // On the report component the link is one of its run objects.
    void openOleOnTheReportComponent()
    {
        TKtReport report;
        TParamList params;
        TReportVar kind(QStringLiteral("KIND"), nullptr);
        kind.SetAsString(QStringLiteral("Excel"));
        params.AddByRef(kind);
        TReportVar result(QStringLiteral("@R"), nullptr);
        FuncOpenOLE(report, params, result);
        const auto *link = dynamic_cast<TOLELink *>(result.GetAsObject());
        QVERIFY(link);
        QCOMPARE(link->Kind(), TOLELink::okExcel);
        QCOMPARE(link->Application(), OfficeApplication(TOLELink::okExcel));
    }

    // The expert's script with Excel: row 1 the descriptions or names, the
    // records below; texts text-formatted, numbers numbers, dates dates,
    // memo lines separated by line feeds alone.
    void expertScriptExcel()
    {
        TOfficeTestHost host;
        declareFields(host);
        runExpertScript(host, QStringLiteral("Excel"), QStringLiteral(", NAME, QTY, DAY, NOTE, PAID"),
                        [&](int i) { setRecord(host, i); }, 2);
        QCOMPARE(host.RunObjects.size(), size_t(1));
        QCOMPARE(host.GetVar(QStringLiteral("W")).GetAsObject(), host.RunObjects[0].get());
        const auto *link = dynamic_cast<TOLELink *>(host.RunObjects[0].get());
        QVERIFY(link);
        QCOMPARE(link->Row(), 4);
        QVERIFY(OleGet(link->Application(), QStringLiteral("Visible")).BoolValue);
        QVERIFY(OleGet(link->Application(), QStringLiteral("ScreenUpdating")).BoolValue);

        const QStringList files = ProgramDirFiles(QStringLiteral(".xlsx"));
        QCOMPARE(files.size(), 1);
        REQUIRE_OPENPYXL();
        const QJsonObject x = ReadXlsx(QDir(ProgramDir()).filePath(files[0]));
        QVERIFY2(!x.isEmpty(), "openpyxl could not read the file");
        const QJsonObject cells = x[QStringLiteral("cells")].toObject();
        const QString sheet = x[QStringLiteral("sheets")].toArray()[0].toString() + u'!';
        auto cell = [&](const char *ref) { return cells[sheet + QLatin1String(ref)].toObject(); };
        auto value = [&](const char *ref) { return cell(ref).value(QStringLiteral("value")); };

        const QStringList headers{QStringLiteral("Наименование_товара"), QStringLiteral("QTY"), QStringLiteral("DAY"),
                                  QStringLiteral("Примечание"), QStringLiteral("PAID")};
        const char *headerCells[] = {"A1", "B1", "C1", "D1", "E1"};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(value(headerCells[i]).toString(), headers[i]);
            QCOMPARE(cell(headerCells[i])[QStringLiteral("format")].toString(), QStringLiteral("@"));
        }
        QCOMPARE(value("A2").toString(), QStringLiteral("Гайка"));
        QCOMPARE(cell("A2")[QStringLiteral("format")].toString(), QStringLiteral("@"));
        QCOMPARE(cell("B2")[QStringLiteral("type")].toString(), QStringLiteral("int"));
        QCOMPARE(value("B2").toDouble(), 12.0);
        QCOMPARE(cell("B2")[QStringLiteral("format")].toString(), QStringLiteral("General"));
        QCOMPARE(cell("C2")[QStringLiteral("type")].toString(), QStringLiteral("datetime"));
        QCOMPARE(value("C2").toString(), QStringLiteral("2024-03-05T00:00:00"));
        QCOMPARE(value("D2").toString(), QStringLiteral("строка 1\nстрока 2"));
        QCOMPARE(cell("E2")[QStringLiteral("type")].toString(), QStringLiteral("bool"));
        QCOMPARE(value("E2").toBool(), true);
        // A text of digits stays text; a time of day stays with its date.
        QCOMPARE(cell("A3")[QStringLiteral("type")].toString(), QStringLiteral("str"));
        QCOMPARE(value("A3").toString(), QStringLiteral("007"));
        QCOMPARE(value("B3").toDouble(), 0.5);
        QCOMPARE(value("C3").toString(), QStringLiteral("2024-03-06T12:00:00"));
        QCOMPARE(value("D3").toString(), QStringLiteral("одна"));
        QCOMPARE(value("E3").toBool(), false);
        QVERIFY(!cells.contains(sheet + QStringLiteral("A4")));
    }

    // The same with Word: a table of the same content in an .odt file.
    void expertScriptWord()
    {
        TOfficeTestHost host;
        declareFields(host);
        runExpertScript(host, QStringLiteral("Word"), QStringLiteral(", NAME, QTY, DAY, NOTE, PAID"),
                        [&](int i) { setRecord(host, i); }, 2);
        const auto *link = dynamic_cast<TOLELink *>(host.RunObjects.at(0).get());
        QVERIFY(link);
        auto *word = dynamic_cast<TWordApplication *>(OfficeApplication(TOLELink::okWord).get());
        QVERIFY(word);
        QVERIFY(word->Visible());
        QVERIFY(word->Pagination);
        QCOMPARE(dynamic_cast<TWordDocument *>(link->Document().get())->WindowState, 1);

        const QStringList files = ProgramDirFiles(QStringLiteral(".odt"));
        QCOMPARE(files.size(), 1);
        REQUIRE_UNZIP();
        const QList<QStringList> rows = tableRows(UnzipEntry(QDir(ProgramDir()).filePath(files[0]), QStringLiteral("content.xml")));
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0], (QStringList{QStringLiteral("Наименование_товара"), QStringLiteral("QTY"), QStringLiteral("DAY"),
                                       QStringLiteral("Примечание"), QStringLiteral("PAID")}));
        QCOMPARE(rows[1], (QStringList{QStringLiteral("Гайка"), QStringLiteral("12"), QStringLiteral("05.03.2024"),
                                       QStringLiteral("строка 1\nстрока 2"), QStringLiteral("True")}));
        QCOMPARE(rows[2], (QStringList{QStringLiteral("007"), QStringLiteral("0.5"), QStringLiteral("06.03.2024 12:00:00"),
                                       QStringLiteral("одна"), QStringLiteral("False")}));
    }

    // Two OpenOLE('EXCEL') in one process share the application, and so
    // does CreateOLEObject.
    void sharedApplication()
    {
        TOfficeTestHost host;
        host.Run(QStringLiteral("A = OpenOLE('EXCEL')\nB = OpenOLE('excel')\nC = CreateOLEObject('Excel.Application')"));
        const auto *a = dynamic_cast<TOLELink *>(host.GetVar(QStringLiteral("A")).GetAsObject());
        const auto *b = dynamic_cast<TOLELink *>(host.GetVar(QStringLiteral("B")).GetAsObject());
        QVERIFY(a && b && a != b);
        QVERIFY(a->Application());
        QCOMPARE(a->Application(), b->Application());
        QCOMPARE(OfficeApplication(TOLELink::okExcel), a->Application());
        QCOMPARE(host.GetVar(QStringLiteral("C")).GetAsDispatch(), a->Application());
        QCOMPARE(host.RunObjects.size(), size_t(2));
    }

    void unknownKind()
    {
        TOfficeTestHost host;
        QUARN_EXPECT_ERROR(host.Run(QStringLiteral("W = OpenOLE('Calc')")), "Неверный тип OLE приложения");
        QVERIFY(host.RunObjects.empty());
    }

    // AddVarsOLE, AddRecordOLE and CloseOLE on a variable without a link.
    void noLink_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("message");
        QTest::newRow("undefined") << "" << "";
        QTest::newRow("another object") << "object" << "";
        QTest::newRow("a number") << "W = 1" << "W: Несоответствие типов данных (NUMBER и OBJECT)";
    }

    void noLink()
    {
        QFETCH(QString, setup);
        QFETCH(QString, message);
        TOfficeTestHost host;
        TReportObject other;
        if (setup == QLatin1String("object"))
            host.GetVar(QStringLiteral("W")).SetAsObject(&other);
        else if (!setup.isEmpty())
            host.Run(setup);
        TReportVar &w = host.GetVar(QStringLiteral("W"));
        TReportVar &v = host.GetVar(QStringLiteral("V"));
        TReportVar result(QStringLiteral("@R"), nullptr);
        for (const char *name : {"AddVarsOLE", "AddRecordOLE", "CloseOLE"}) {
            const QList<TReportVar *> args = QByteArray(name) == "AddVarsOLE" ? QList<TReportVar *>{&w, &v}
                                                                               : QList<TReportVar *>{&w};
            if (message.isEmpty()) {
                host.Call(QLatin1String(name), args, result);
                QCOMPARE(result.VarType(), quint8(vtUndefined));
            } else {
                QUARN_EXPECT_ERROR(host.Call(QLatin1String(name), args, result), message);
            }
        }
        QCOMPARE(ProgramDirFiles(QStringLiteral(".xlsx")).size(), 0);
    }

    // An automation error inside the link: the error box, the application
    // forgotten, a silent stop through the report.
    void linkErrorStopsSilently()
    {
        TRecordingUserInterface ui;
        TFailingApplication excel(TOLELink::okExcel, QStringLiteral("Value"), QStringLiteral("Сбой записи"));
        TOfficeTestHost host;
        host.Run(QStringLiteral("W = OpenOLE('Excel')"));
        QCOMPARE(OfficeApplication(TOLELink::okExcel), TDispatchRef(excel.Server));
        bool aborted = false;
        try {
            host.Run(QStringLiteral("Res = AddVarsOLE(W, A)"));
        } catch (const EAbort &) {
            aborted = true;
        }
        QVERIFY(aborted);
        QCOMPARE(host.Aborts, 1);
        QCOMPARE(ui.Messages, QStringList{QStringLiteral("Ошибка в OLE приложении: Сбой записи")});
        QVERIFY(!OfficeApplication(TOLELink::okExcel));
        // The text went to a text-formatted cell before the failing write.
        QVERIFY(excel.Server->Calls.contains(QStringLiteral("NumberFormat")));

        // The next link acquires the application again: the running one.
        host.Run(QStringLiteral("W2 = OpenOLE('Excel')"));
        QCOMPARE(OfficeApplication(TOLELink::okExcel), TDispatchRef(excel.Server));
    }

    // Creating the document, choosing the sheet, making the table and adding
    // a row are not the link's to catch: their errors propagate.
    void documentErrorsPropagate_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<QString>("script");
        QTest::newRow("workbook") << "Add" << "Res = AddVarsOLE(W, A)";
        QTest::newRow("sheet") << "Sheets" << "Res = AddVarsOLE(W, A)";
    }

    void documentErrorsPropagate()
    {
        QFETCH(QString, failing);
        QFETCH(QString, script);
        TRecordingUserInterface ui;
        TFailingApplication excel(TOLELink::okExcel, failing, QStringLiteral("Нет книги"));
        TOfficeTestHost host;
        host.Run(QStringLiteral("W = OpenOLE('Excel')"));
        QUARN_EXPECT_ERROR(host.Run(script), "Нет книги");
        QVERIFY(ui.Messages.isEmpty());
        QCOMPARE(host.Aborts, 0);
        QVERIFY(OfficeApplication(TOLELink::okExcel));
    }

    void wordRowErrorPropagates()
    {
        TRecordingUserInterface ui;
        TFailingApplication word(TOLELink::okWord, QStringLiteral("Rows"), QStringLiteral("Нет строки"));
        TOfficeTestHost host;
        host.Run(QStringLiteral("W = OpenOLE('Word')\nRes = AddVarsOLE(W, A, B)"));
        QVERIFY(word.Server->Calls.contains(QStringLiteral("Tables")));
        QUARN_EXPECT_ERROR(host.Run(QStringLiteral("Res = AddRecordOLE(W)")), "Нет строки");
        QVERIFY(ui.Messages.isEmpty());
        QCOMPARE(host.Aborts, 0);
    }

    void creationErrorStopsSilently()
    {
        TRecordingUserInterface ui;
        ResetOfficeApplication(TOLELink::okWord);
        ProgIdRegistry().Unregister(QStringLiteral("Word.Application"));
        TOfficeTestHost host;
        bool aborted = false;
        try {
            host.Run(QStringLiteral("W = OpenOLE('Word')"));
        } catch (const EAbort &) {
            aborted = true;
        }
        ProgIdRegistry().Register(QStringLiteral("Word.Application"), WordApplicationClassId(),
                                  [] { return TDispatchRef(TWordApplication::Create()); });
        QVERIFY(aborted);
        QCOMPARE(ui.Messages, QStringList{QStringLiteral("Ошибка в OLE приложении: OLE error 800401F3")});
        QVERIFY(host.RunObjects.empty());
    }

    // A second AddVarsOLE starts a new document from its first row, with
    // only its own variables bound; AddRecordOLE before any AddVarsOLE does
    // nothing.
    void addVarsTwice()
    {
        TOfficeTestHost host;
        host.GetVar(QStringLiteral("A")).SetAsString(QStringLiteral("a"));
        host.GetVar(QStringLiteral("B")).SetAsNumber(2);
        host.Run(QStringLiteral("W = OpenOLE('Excel')\nRes = AddRecordOLE(W)\n"
                                "Res = AddVarsOLE(W, A, B)\nRes = AddRecordOLE(W)\n"
                                "Res = AddVarsOLE(W, B)\nRes = AddRecordOLE(W)"));
        const auto *link = dynamic_cast<TOLELink *>(host.GetVar(QStringLiteral("W")).GetAsObject());
        QCOMPARE(link->ColumnCount(), 1);
        QCOMPARE(link->Row(), 3);
        auto value = [&](int row, int column) {
            return OleGet(OleGetObject(link->Sheet(), QStringLiteral("Cells"),
                                       {TDispValue::FromInteger(row), TDispValue::FromInteger(column)}),
                          QStringLiteral("Value"));
        };
        QCOMPARE(value(1, 1).StrValue, QStringLiteral("B"));
        QCOMPARE(value(2, 1).NumValue, 2.0);
        QCOMPARE(value(1, 2).Type, TDispValue::Empty);
        QCOMPARE(value(3, 1).Type, TDispValue::Empty);
    }

    // The viewer's export: fonts from print codes (Arial's code 0 among
    // them), codes dropped, a stray backslash kept, pages broken without an
    // empty paragraph at the top of the next page, the page turned.
    void wordExport()
    {
        const QList<TExportPage> pages{
            {{QStringLiteral("\\F17:14Отчет"), 255, 0},
             {QStringLiteral("\\F0:Arial text"), 17, 14},
             {QString(), 0, 14},
             {QStringLiteral("a\\b \\L1:2:3:4:1end"), 0, 14}},
            {{QStringLiteral("^Page \\F2:two"), 0, 14}},
        };
        ExportToWord(pages, 1);
        auto *word = dynamic_cast<TWordApplication *>(OfficeApplication(TOLELink::okWord).get());
        QVERIFY(word);
        QVERIFY(word->Visible());
        QVERIFY(word->Pagination);

        const QStringList files = ProgramDirFiles(QStringLiteral(".odt"));
        QCOMPARE(files.size(), 1);
        REQUIRE_UNZIP();
        const QString path = QDir(ProgramDir()).filePath(files[0]);
        const QByteArray content = UnzipEntry(path, QStringLiteral("content.xml"));
        const QByteArray styles = UnzipEntry(path, QStringLiteral("styles.xml"));
        QVERIFY(styles.contains("style:print-orientation=\"landscape\""));
        QVERIFY(styles.contains("fo:margin-left=\"14.40pt\" fo:margin-right=\"16.55pt\" fo:margin-top=\"13.20pt\""
                                " fo:margin-bottom=\"14.25pt\""));

        // The paragraphs with the styles of their spans.
        struct TPara {
            QString Text;
            QString Style;
            QStringList Spans;
        };
        QList<TPara> list;
        QMap<QString, QXmlStreamAttributes> props;
        QXmlStreamReader r(content);
        QString styleName, span;
        while (!r.atEnd()) {
            r.readNext();
            const auto name = r.qualifiedName();
            if (r.isStartElement() && name == QLatin1String("style:style"))
                styleName = r.attributes().value(QLatin1String("style:name")).toString();
            else if (r.isStartElement() && name.endsWith(QLatin1String("-properties")))
                props[styleName] = r.attributes();
            else if (r.isStartElement() && name == QLatin1String("text:p"))
                list << TPara{QString(), r.attributes().value(QLatin1String("text:style-name")).toString(), {}};
            else if (r.isStartElement() && name == QLatin1String("text:span"))
                span = r.attributes().value(QLatin1String("text:style-name")).toString();
            else if (r.isEndElement() && name == QLatin1String("text:span"))
                span.clear();
            else if (r.isCharacters() && !list.isEmpty()) {
                list.last().Text += r.text();
                list.last().Spans << span;
            }
        }
        QVERIFY(!r.hasError());
        QStringList textList;
        for (const TPara &p : list)
            textList << p.Text;
        QCOMPARE(textList, (QStringList{QStringLiteral("Отчет"), QStringLiteral("Arial text"), QString(),
                                        QStringLiteral("a\\b end"), QStringLiteral("Page two")}));

        auto font = [&](const TPara &p, int i) { return props[p.Spans.value(i)]; };
        QCOMPARE(font(list[0], 0).value(QLatin1String("style:font-name")).toString(), QStringLiteral("Courier New"));
        QCOMPARE(font(list[0], 0).value(QLatin1String("fo:font-weight")).toString(), QStringLiteral("bold"));
        QCOMPARE(font(list[0], 0).value(QLatin1String("fo:font-size")).toString(), QStringLiteral("14.00pt"));
        QCOMPARE(font(list[1], 0).value(QLatin1String("style:font-name")).toString(), QStringLiteral("Arial"));
        QCOMPARE(font(list[1], 0).value(QLatin1String("fo:font-weight")).toString(), QStringLiteral("normal"));
        QCOMPARE(font(list[1], 0).value(QLatin1String("fo:font-size")).toString(), QStringLiteral("14.00pt"));
        // "two" follows \F2: Arial italic, put by the final flush.
        QCOMPARE(list[4].Spans.size(), 2);
        QCOMPARE(font(list[4], 1).value(QLatin1String("fo:font-style")).toString(), QStringLiteral("italic"));
        QCOMPARE(font(list[4], 0).value(QLatin1String("fo:font-style")).toString(), QStringLiteral("normal"));
        QCOMPARE(props[list[4].Style].value(QLatin1String("fo:break-before")).toString(), QStringLiteral("page"));
        for (int i = 0; i < 4; ++i)
            QVERIFY(props[list[i].Style].value(QLatin1String("fo:break-before")).isEmpty());
    }

    void exportIgnoredByExcel()
    {
        TOLELink link(QStringLiteral("excel"), nullptr);
        link.PageSetup(1);
        link.SetFont(1, 12);
        link.WriteLine(QStringLiteral("text"), 1, 12);
        link.PageBreak();
        QVERIFY(!link.Document());
        QCOMPARE(link.Kind(), TOLELink::okExcel);
    }
};

QUARN_GUI_TEST_MAIN(TLinkTest)
#include "LinkTest.moc"
