#include "TestSupport.h"

#include "../data/DataTestSupport.h"
#include "common/Settings.h"
#include "common/TextFile.h"
#include "data/Query.h"
#include "report/KtReport.h"
#include "script/FuncList.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <new>

// Templates run over real SQLite data, compared with the whole output file.
class ReportRunTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TQuery> m_query;

    static QString path(const QString &name) { return ProgramDir() + u'/' + name; }

    static QStringList fileLines(const QString &name)
    {
        if (!QFile::exists(path(name)))
            return {QStringLiteral("<no file>")};
        return ReadTextLines(path(name));
    }

    std::unique_ptr<TKtReport> report(const QString &templ, TDataSet *ds)
    {
        auto r = std::make_unique<TKtReport>();
        r->SetMeasurer(std::make_unique<TFixedPitchMeasurer>(300));
        r->SetFormatSource(templ.split(u'\n'));
        r->SetDataSet(ds);
        r->SetPrintName(QStringLiteral("report.prn"));
        return r;
    }

    // Runs a template over the clients and returns the output lines.
    QStringList run(const QString &templ, const QString &sql = QString())
    {
        QFile::remove(path("report.prn"));
        m_query = std::make_unique<TQuery>();
        m_query->SetDatabaseName("LITE");
        m_query->SetSQLText(sql.isEmpty() ? QStringLiteral("select * from CLIENTS order by CITY, ID") : sql);
        m_query->Open();
        auto r = report(templ, m_query.get());
        r->Prepare();
        r->Execute();
        return fileLines(QStringLiteral("report.prn"));
    }

private slots:
    void initTestCase()
    {
        DataTest::writeAliases();
        DataTest::exec("LITE", {
            "create table CLIENTS (ID integer primary key, NAME varchar(30), CITY varchar(20),"
            " AMOUNT numeric(12,2), QTY integer, NOTE text, DT date, LONGNAME varchar(100))",
            "insert into CLIENTS values (1, 'Иванов', 'Москва', 100.50, 2, 'строка1\nстрока2', '2024-01-15',"
            " 'Общество с ограниченной ответственностью Иванов и партнёры')",
            "insert into CLIENTS values (2, 'Петров', 'Москва', 200.00, 3, '', '2024-02-01', 'Петров')",
            "insert into CLIENTS values (3, 'Сидоров', 'Тверь', 50.25, 1, null, '2024-03-10', null)",
            "insert into CLIENTS values (4, 'Кузнецов', 'Тверь', 10, 5, 'x', null, 'Кузнецов')",
            "create table EMPTY_T (ID integer)",
        });
    }

    // The server ends the connection half way through a run: the run stops
    // with a Russian message (the server's text in the details) and the
    // previous output stays as it was.
    void serverConnectionLost()
    {
        QUARN_NEED_ENGINE(QStringLiteral("PG"));
        const QByteArray previous = "предыдущий отчет\r\n";
        {
            QFile f(path("lost.prn"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(previous);
        }
        TQuery rows;
        rows.SetDatabaseName("PG");
        rows.SetUniDirectional(true);
        rows.SetSQLText("select n from generate_series(1, 20000) n");
        rows.Open();
        auto r = report(".DETAIL\nстрока @N", &rows);
        r->SetPrintName(path("lost.prn"));
        int records = 0;
        r->OnSetValues = [&records](TCustomReport &) {
            if (++records != 1500)
                return;
            // from a connection of its own: every other backend of this
            // test's own database is the report's
            const auto dsn = DataTest::parseDsn(qEnvironmentVariable("QUARN_PG_DSN"));
            {
                QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "terminator");
                db.setHostName(dsn.value("host"));
                db.setPort(dsn.value("port").toInt());
                db.setDatabaseName(dsn.value("dbname"));
                db.setUserName(dsn.value("user"));
                db.setPassword(dsn.value("password"));
                QVERIFY(db.open());
                QSqlQuery q(db);
                QVERIFY(q.exec("select pg_terminate_backend(pid) from pg_stat_activity "
                               "where datname = current_database() and pid <> pg_backend_pid()"));
                db.close();
            }
            QSqlDatabase::removeDatabase("terminator");
        };
        r->Prepare();
        bool raised = false;
        try {
            r->Execute();
        } catch (const EDBEngineError &e) {
            raised = true;
            QCOMPARE(e.Message(), QStringLiteral("Соединение с сервером базы данных потеряно"));
            QVERIFY(e.ErrorCount() >= 2);
            QCOMPARE(e.Error(0).ErrorCode, DBErrorCode::ConnectionLost);
            QVERIFY2(!e.Error(1).Message.isEmpty(), "the server's text is kept");
        }
        QVERIFY(raised);
        QVERIFY(records >= 1500 && records < 20000);
        QFile f(path("lost.prn"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), previous);
        QCOMPARE(QDir(ProgramDir()).entryList({"*lost*"}, QDir::Files | QDir::Hidden), QStringList{"lost.prn"});
        Session().CloseAll();
    }

    void outputs_data()
    {
        QTest::addColumn<QString>("templ");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("listing")
            << ".REPORTHEADER\nСписок клиентов\n.DETAIL\n@ID:-3 @NAME:10|@CITY\n.REPORTFOOTER\nЗаписей: @RecNum"
            << QStringList{"Список клиентов", "  1 Иванов    |Москва", "  2 Петров    |Москва",
                           "  3 Сидоров   |Тверь", "  4 Кузнецов  |Тверь", "Записей: 4"};
        QTest::newRow("two group levels")
            << ".VARS\nGROUP2 := CITY\n.HEADER2\nГород @CITY\n.DETAIL\n @NAME:10 @AMOUNT:-8.2\n"
               ".FOOTER2\n Итого @CITY:6 @AMOUNT:-8.2 n=@AMOUNT:-2.200 посл=@AMOUNT:-7.102\n"
               ".FOOTER1\nВсего @AMOUNT:-8.2 (@QTY:-2.200 шт.)"
            << QStringList{"Город Москва", " Иванов       100.50", " Петров       200.00",
                           " Итого Москва   300.50 n= 2 посл= 200.00", "Город Тверь",
                           " Сидоров       50.25", " Кузнецов      10.00",
                           " Итого Тверь     60.25 n= 2 посл=  10.00", "Всего   360.75 ( 4 шт.)"};
        QTest::newRow("NeedFooter hides a footer and restarts its totals")
            << ".VARS\nGROUP2 := CITY\n.DETAIL\n#IF ID = 2 OR ID = 3 THEN NEEDFOOTER2 := 0; ELSE NEEDFOOTER2 := 1;\n"
               "@ID\n.FOOTER2\nсумма @QTY"
            << QStringList{"1", "2", "3", "4", "сумма 6"};
        QTest::newRow("Filtr rejects the first records")
            << ".FILTR\nFiltr := ID > 2\n.REPORTHEADER\nНачало с @NAME\n.DETAIL\n@ID @NAME\n.REPORTFOOTER\nВсего @RecNum"
            << QStringList{"Начало с Сидоров", "3 Сидоров", "4 Кузнецов", "Всего 2"};
        QTest::newRow("memo beside padded fields")
            << ".DETAIL\n@NAME:10/@NOTE/@ID:-2"
            << QStringList{"Иванов    /строка1/ 1", "          /строка2/  ", "Петров    // 2",
                           "Сидоров   // 3", "Кузнецов  /x/ 4"};
        QTest::newRow("\"|\" belongs to a field name")
            << ".DETAIL\n#Filtr := ID = 1\n@NAME|@ID" << QStringList{"1"};   // NAME| names nothing
        QTest::newRow("wrapped string field")
            << ".DETAIL\n#Filtr := ID = 1\n[@LONGNAME:30.3]"
            << QStringList{"[Общество с ограниченной       ]", "[ответственностью Иванов и     ]",
                           "[партнёры                      ]"};
        QTest::newRow("a text longer than its field and the line's room, zero-padded texts")
            << ".DETAIL\n#Filtr := ID = 1\n[@LONGNAME:3]@NAME:-010|@NAME:010|@ID:-3"
            << QStringList{"[Общество с ограниченной ответственностью Иванов и партнёры]0000Иванов|Иванов0000|  1"};
        QTest::newRow("alignment and number formats")
            << ".DETAIL\n#Filtr := ID < 3\n@ID:-05|@NAME:+10|@AMOUNT:=10.2|@AMOUNT:G$10.2|@QTY:#6.2|@DT"
            << QStringList{"00001|  Иванов  |100-50    |    100.50|2.00  |15.01.2024",
                           "00002|  Петров  |200=      |       200|3.00  |01.02.2024"};
        QTest::newRow("zero with #")
            << ".DETAIL\n#Filtr := ID = 1\n#Z := 0\n[@Z:#10.2][@Z:10.2]"
            << QStringList{"[0         ][0.00      ]"};
        QTest::newRow("a NULL date is day 0, printed as nothing")
            << ".DETAIL\n#Filtr := ID = 4\n#D2 := DT + 1\n[@DT][@D2][@AMOUNT:-6.2]"
            << QStringList{"[][31.12.1899][ 10.00]"};
        QTest::newRow("undefined and unknown names")
            << ".DETAIL\n#Filtr := ID = 1\n[@Null:10][@NoSuchName:4][@:x]"
            << QStringList{"[          ][!!!!][:x]"};
        QTest::newRow("group table printed row by row")
            << ".VARS\n#GetGroup(T, 0 - 1, CITY, AMOUNT, QTY)\n.DETAIL\n#CalcGroup(T)\n"
               ".REPORTFOOTER\n@T_CITY:8|@T_AMOUNT:-8.2|@T_QTY:-3"
            << QStringList{"Тверь   |   60.25|  6", "Москва  |  300.50|  5"};
        QTest::newRow("PutLine and LineNum")
            << ".DETAIL\n#Filtr := ID < 3\n#PutLine('>' + NAME)\n@LineNum:-2 @NAME\n.REPORTFOOTER\nстрок @LineNum"
            // PutLine runs before detail mode: it does not count; the
            // detail script runs for rejected records too
            << QStringList{">Иванов", " 1 Иванов", ">Петров", " 2 Петров", ">Сидоров", ">Кузнецов", "строк 2"};
        QTest::newRow("line ending in \\N is never written")
            << ".DETAIL\n#Filtr := ID < 3\n@NAME\\N\n@ID"
            << QStringList{"1", "2"};
        QTest::newRow("output aliases")
            << ".VARS\nAddOutputAlias('<имя>', '@NAME:8')\nAddOutputAlias('X', 'XX')\n.DETAIL\n#Filtr := ID = 2\n<имя>|X"
            << QStringList{"Петров  |XX"};
        QTest::newRow("post-detail and report header scripts")
            << ".REPORTHEADER\n#N := 100\n.DETAIL\n#Filtr := ID < 3\n@N\n.POSTDETAIL\n#N := N + 1"
            << QStringList{"100", "101"};
    }
    void outputs()
    {
        QFETCH(QString, templ);
        QFETCH(QStringList, expected);
        QStringList got;
        try {
            got = run(templ);
        } catch (const Exception &e) {
            QFAIL(qPrintable(e.Message()));
        }
        if (got != expected)
            qWarning().noquote() << got.join("\n");
        QCOMPARE(got, expected);
    }

    void sqlSectionBoundToVariable()
    {
        auto r = report(".VARS\nCITYNAME := 'Тверь'\nMINID := 3\n.SQL\nselect NAME from CLIENTS\n"
                        "where CITY = :CITYNAME and ID >= @MINID order by ID\n.DETAIL\n@NAME",
                        nullptr);
        r->SetDataBaseName("LITE");
        r->Prepare();
        r->Execute();
        QCOMPARE(fileLines("report.prn"), QStringList({"Сидоров", "Кузнецов"}));
        QVERIFY(!r->GetDataSet());   // the section's query is freed after the run
    }

    void fileNameChangedByScript()
    {
        WriteTextLines(path("other.prn"), {"old content"});
        const QStringList lines = run(".VARS\nFileName := 'other.prn'\n.DETAIL\n#Filtr := ID = 1\n@NAME");
        QCOMPARE(lines, QStringList{"<no file>"});
        QCOMPARE(fileLines("other.prn"), QStringList{"Иванов"});
    }

    void emptyDatasetWritesNothing()
    {
        WriteTextLines(path("report.prn"), {"stale"});
        QCOMPARE(run(".REPORTHEADER\nШапка\n.DETAIL\n@ID\n.PAGEFOOTER\nпо стр.\n.REPORTFOOTER\nИтог",
                     "select * from EMPTY_T"),
                 QStringList{"<no file>"});
        // every record rejected: the same
        QCOMPARE(run(".FILTR\nFiltr := ID > 100\n.REPORTHEADER\nШапка\n.DETAIL\n@ID\n.REPORTFOOTER\nИтог"),
                 QStringList{"<no file>"});
    }

    void prepareTwiceSameOutput()
    {
        m_query = std::make_unique<TQuery>();
        m_query->SetDatabaseName("LITE");
        m_query->SetSQLText("select * from CLIENTS order by ID");
        m_query->Open();
        auto r = report(".VARS\nGROUP2 := CITY\n.DETAIL\n@NAME @AMOUNT:-8.2\n.FOOTER2\nИтого @AMOUNT:-8.2\n"
                        ".FOOTER1\nВсего @AMOUNT:-8.2",
                        m_query.get());
        r->Prepare();
        r->Execute();
        const QStringList first = fileLines("report.prn");
        r->Prepare();
        r->Execute();
        QCOMPARE(fileLines("report.prn"), first);
        QCOMPARE(first.last(), QString("Всего   360.75"));
    }

    void failedRunRestoresPosition()
    {
        m_query = std::make_unique<TQuery>();
        m_query->SetDatabaseName("LITE");
        m_query->SetSQLText("select * from CLIENTS order by ID");
        m_query->Open();
        m_query->Next();   // on record 2
        WriteTextLines(path("report.prn"), {"предыдущий"});
        auto r = report(".DETAIL\n#IF ID = 3 THEN Abort('сбой');\n@NAME", m_query.get());
        r->Prepare();
        QUARN_EXPECT_ERROR(r->Execute(), "сбой");
        QCOMPARE(m_query->FieldByName("ID")->AsInteger(), 2);
        QVERIFY(!m_query->ControlsDisabled());
        // a failed run leaves the previous output, not a half-written one
        QCOMPARE(fileLines("report.prn"), QStringList({"предыдущий"}));
    }

    // Memory running out in a script is an error of the run at the
    // statement, and the previous output stays.
    void memoryFailureIsRunError()
    {
        WriteTextLines(path("mem.prn"), {"предыдущий"});
        auto r = report(".DETAIL\n@NAME\n#X := NoMemory(1)", nullptr);
        r->SetOneRecord(true);
        r->SetPrintName(path("mem.prn"));
        r->OnSetFuncs = [](TCustomReport &rep) {
            static_cast<TKtReport &>(rep).AddFunc(std::make_unique<TFunc>(
                "NoMemory", 1, [](TReportHost &, TParamList &, TReportVar &) { throw std::bad_alloc(); }));
        };
        r->Prepare();
        QUARN_EXPECT_ERROR(r->Execute(), "Не хватает памяти для выполнения отчета");
        QCOMPARE(r->ErrorPos(), int(QString(".DETAIL\r\n@NAME\r\n#X := NoMemory(1)").size()));
        QCOMPARE(fileLines("mem.prn"), QStringList{"предыдущий"});
    }

    void compileErrorPosition()
    {
        // "?" starts no token; the position is the one after it, where the
        // scanner stands, counted through the comment line
        const QString templ = ".DETAIL\n@NAME\n#X := 1;\n; comment\n#Y := 2 ? 3";
        auto r = report(templ, nullptr);
        try {
            r->Prepare();
            QFAIL("no compile error");
        } catch (const Exception &) {
        }
        const int at = templ.split('\n').mid(0, 4).join("\r\n").size() + 2 + 9;
        QCOMPARE(r->ErrorPos(), at);
    }

    void registry()
    {
        QVERIFY(TKtReport::AcceptsTemplate({"x", " .detail "}));
        // a template without main sections: accepted only while this is the
        // only kind registered
        QVERIFY(TKtReport::AcceptsTemplate({"no sections"}));
        QVERIFY(CreateReportFor({"no sections"}) != nullptr);
        QVERIFY(CreateDefaultReport() != nullptr);
    }

    void copiesReadBack()
    {
        m_query.reset();
        auto r = report(".VARS\nOneRecord := TRUE\nCopies := 0\nCopyMode := FALSE\n.DETAIL\nодна", nullptr);
        r->SetCopies(3);
        r->Prepare();
        r->Execute();
        QCOMPARE(r->Copies(), 3);   // 0 leaves it alone
        QVERIFY(!r->CopyMode());
        QCOMPARE(fileLines("report.prn"), QStringList{"одна"});
        r->SetFormatSource({".VARS", "OneRecord := TRUE", "Copies := 2.7", ".DETAIL", "x"});
        r->Prepare();
        r->Execute();
        QCOMPARE(r->Copies(), 2);
    }

    void emptyNamesRunNothing()
    {
        m_query.reset();
        auto r = report(".VARS\nOneRecord := TRUE\n.DETAIL\n#PutLine('x')\nline", nullptr);
        r->SetPrintName(QString());
        r->Prepare();
        r->Execute();
        QVERIFY(!QFile::exists(path("report.prn")) || fileLines("report.prn") != QStringList{"line"});
    }
};

QUARN_TEST_MAIN(ReportRunTest)
#include "ReportRunTest.moc"
