// The report expert: the templates it writes from a real table's fields,
// and Alt+F7 on a grid printing every row with the database's own total.

#include "../grid/GridTestSupport.h"
#include "../office/OfficeTestSupport.h"

#include "common/AppName.h"
#include "common/Settings.h"
#include "office/OfficeFunctions.h"
#include "common/FormatSettings.h"
#include "common/TextFile.h"
#include "grid/SearchDBGrid.h"
#include "report/ExpertForm.h"
#include "report/KtReport.h"
#include "report/ReportEditForms.h"
#include "report/ReportListForm.h"
#include "report/TextMeasurer.h"
#include "report/PageGeometry.h"
#include "uisupport/Guard.h"

#include <QListWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

using namespace GridTest;

namespace {

std::unique_ptr<TQuery> accounts(const QString &alias, const QString &columns = "*")
{
    auto q = openQuery(alias, "select " + columns + " from ACCOUNTS order by ID");
    return q;
}

// Acts once on the next modal window of class T, whenever it comes up.
template <class T>
std::unique_ptr<QTimer> whenModal(std::function<void(T &)> act)
{
    auto timer = std::make_unique<QTimer>();
    QObject::connect(timer.get(), &QTimer::timeout, [t = timer.get(), act] {
        if (auto *w = qobject_cast<T *>(QApplication::activeModalWidget())) {
            t->stop();
            act(*w);
            if (w->isVisible())
                w->reject();
        }
    });
    timer->start(20);
    return timer;
}

QStringList build(TDataSet &ds, const TExpertParams &params)
{
    TKtReport report;
    report.SetDataSet(&ds);
    report.BuildExpertTemplate(params);
    return report.FormatSource();
}

} // namespace

class ExpertTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        setUpEngines("quarn_expert");
        for (const QString &alias : engines)
            if (usable(alias))
                DataTest::exec(alias, {"DROP TABLE IF EXISTS ACCOUNTS",
                                       "CREATE TABLE ACCOUNTS (ID INTEGER PRIMARY KEY, NAME VARCHAR(80), OPENED DATE,"
                                       " BALANCE MONEY, RATE NUMERIC(6,3))",
                                       "INSERT INTO ACCOUNTS VALUES (1, 'Иванов', '2026-01-10', 1200.50, 1.5)",
                                       "INSERT INTO ACCOUNTS VALUES (2, 'Петров', '2026-02-11', 300, 2.25)",
                                       "INSERT INTO ACCOUNTS VALUES (3, 'Сидоров', '2026-03-12', 45.25, 0.125)"});
    }

    // The simple report: title, headings (a "|" label on two lines), the
    // detail references with their flags and widths, and the totals line
    // of the money column; the decimal separator is what it was.
    void simpleReport()
    {
        auto q = accounts("LITE", "ID, NAME, BALANCE");
        q->FieldByName("BALANCE")->SetDisplayLabel("Сумма|итого");
        q->FieldByName("BALANCE")->SetDisplayWidth(12);
        q->FieldByName("NAME")->SetDisplayWidth(20);
        q->FieldByName("ID")->SetDisplayWidth(4);
        FormatSettings().DecimalSeparator = u',';
        TExpertParams p;
        p.Title = "Счета";
        const QStringList lines = build(*q, p);
        QCOMPARE(FormatSettings().DecimalSeparator, QChar(','));   // put back after the generation
        FormatSettings().DecimalSeparator = u'.';
        const auto col = [](const QString &text, int width) { return " " + text.leftJustified(width, ' '); };
        const QStringList heading = {col("ID", 4) + col("NAME", 20) + col("Сумма", 12),
                                     col("", 4) + col("", 20) + col("итого", 12)};
        QCOMPARE(lines, (QStringList{".REPORTHEADER", "", QString(17, ' ') + "Счета" + QString(17, ' '), "",
                                     heading[0], heading[1], ".PAGEHEADER", heading[0], heading[1], ".DETAIL",
                                     " @ID:-4 @NAME:20 @BALANCE:$12.2", ".FOOTER1", QString(39, '='),
                                     " @Null:4 @Null:20 @BALANCE:$12.2"}));
        QCOMPARE(FormatSettings().DecimalSeparator, QChar('.'));
    }

    // Without a money column there is no totals section; a long text is
    // 50 characters in up to nine lines; a wide line turns the page.
    void layoutRules()
    {
        auto q = accounts("LITE", "ID, NAME");
        q->FieldByName("NAME")->SetDisplayWidth(80);
        TKtReport report;
        report.SetDataSet(q.get());
        report.BuildExpertTemplate({});
        QVERIFY(!report.FormatSource().contains(".FOOTER1"));
        QVERIFY(report.FormatSource().contains(" @ID:-" + QString::number(q->FieldByName("ID")->DisplayWidth()) + " @NAME:50.9"));
        QCOMPARE(report.Orientation(), TPageGeometry::Portrait);
        q->FieldByName("NAME")->SetDisplayWidth(40);
        q->FieldByName("ID")->SetDisplayWidth(200);
        report.BuildExpertTemplate({});
        QCOMPARE(report.Orientation(), TPageGeometry::Landscape);

        // wider than the landscape page: the text columns are narrowed and
        // wrap, and every column stays on the page
        auto wide = accounts("LITE", "ID, NAME, NAME as N2, NAME as N3, NAME as N4, NAME as N5");
        for (int i = 1; i < wide->FieldCount(); ++i)
            wide->Fields(i)->SetDisplayWidth(80);
        report.SetDataSet(wide.get());
        report.BuildExpertTemplate({});
        QCOMPARE(report.Orientation(), TPageGeometry::Landscape);
        const QStringList source = report.FormatSource();
        const QString detail = source.value(source.indexOf(".DETAIL") + 1);
        const QRegularExpression ref(" @(\\w+):[-+$G]*(\\d+)(?:\\.(\\d+))?");
        int chars = 0;
        QStringList names;
        for (auto it = ref.globalMatch(detail); it.hasNext();) {
            const auto m = it.next();
            names << m.captured(1);
            chars += m.captured(2).toInt() + 1;
            if (m.captured(1) != "ID")
                QCOMPARE(m.captured(3), QString("9"));   // wrapped into up to nine lines
        }
        QCOMPARE(names, (QStringList{"ID", "NAME", "N2", "N3", "N4", "N5"}));
        const auto measurer = CreateMeasurer(DefaultPageGeometry()->Dpi());
        measurer->SetFont(TFontSpec::Default());
        QVERIFY2(chars * measurer->CharWidth(u'M') <= report.PageWidth(), qPrintable(detail));
    }

    // The table export: four columns on one line, five on two.
    void tableExport_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QStringList>("columnLines");
        QTest::newRow("four") << QStringList{"ID", "NAME", "OPENED", "BALANCE"}
                              << QStringList{"#   'ID Numeric(4), NAME Char(80), OPENED Date, BALANCE Numeric(19,4))'"};
        QTest::newRow("five") << QStringList{"ID", "NAME", "OPENED", "BALANCE", "RATE"}
                              << QStringList{"#   'ID Numeric(4), NAME Char(80), OPENED Date, BALANCE Numeric(19,4), ' +",
                                             "#   'RATE Numeric(6,3))'"};
    }
    void tableExport()
    {
        QFETCH(QStringList, fields);
        QFETCH(QStringList, columnLines);
        auto q = accounts("LITE");
        TExpertParams p;
        p.Kind = TExpertParams::ekTable;
        p.TableName = "OUT.DBF";
        p.Fields = fields;
        const QStringList lines = build(*q, p);
        QCOMPARE(lines.mid(0, 5), (QStringList{".REPORTHEADER", "# TName = 'OUT.DBF'", "# TName1 = Format('\"%s\"', TName)",
                                               "# Res = ExecLocal('drop table ' + TName1)",
                                               "# S = Format('create table %s (', TName1) +"}));
        QCOMPARE(lines.mid(5, columnLines.size()), columnLines);
        QCOMPARE(lines.mid(5 + columnLines.size()),
                 (QStringList{"# Res = ExecLocal(S)", "# T = OpenTable(TName)", "\\F17:14  Создан файл с именем @TName1",
                              ".DETAIL", "# Res = AddRecord(T)", ".FOOTER1", "# Res = CloseTable(T)"}));
    }

    // The table export run: the local table holds the chosen columns and
    // every row.
    void tableExportRun()
    {
        auto q = accounts("LITE", "ID, NAME, BALANCE");
        TKtReport report;
        report.SetDataSet(q.get());
        report.SetPrintName("copy.prn");
        TExpertParams p;
        p.Kind = TExpertParams::ekTable;
        p.TableName = "ACC_COPY";
        report.BuildExpertTemplate(p);
        report.Prepare();
        report.Execute();
        QVERIFY2(ReadTextLines(QDir(ProgramDir()).filePath("copy.prn")).join("").contains("\"ACC_COPY\""),
                 qPrintable(report.FormatSource().join("\n")));
        QCOMPARE(DataTest::scalar(LocalDatabaseName(), "select count(*) from ACC_COPY"), QString("3"));
        QCOMPARE(DataTest::scalar(LocalDatabaseName(), "select NAME from ACC_COPY where ID = 2"), QString("Петров"));
    }

    // The spreadsheet export run: the workbook holds the chosen columns
    // under their names and every row, read back by openpyxl.
    void spreadsheetExportRun()
    {
        REQUIRE_OPENPYXL();
        WriteSetting("OfficeOpen", "0");
        InstallOfficeFunctions();
        auto q = accounts("LITE", "ID, NAME, BALANCE");
        TKtReport report;
        report.SetDataSet(q.get());
        report.SetPrintName("sheet.prn");
        TExpertParams p;
        p.Kind = TExpertParams::ekExcel;
        p.Fields = QStringList{"ID", "NAME"};
        report.BuildExpertTemplate(p);
        report.Prepare();
        try {
            report.Execute();   // the generated script ends with Abort: no report output
        } catch (const Exception &) {
        }
        const QStringList books = QDir(ProgramDir()).entryList({"*.xlsx"});
        QCOMPARE(books.size(), 1);
        const QJsonObject cells = ReadXlsx(QDir(ProgramDir()).filePath(books.first()))["cells"].toObject();
        QStringList values;
        for (auto it = cells.begin(); it != cells.end(); ++it)
            values << it.value().toObject()["value"].toVariant().toString();
        for (const QString v : {"ID", "NAME", "Иванов", "Петров", "Сидоров"})
            QVERIFY2(values.contains(v), qPrintable(values.join(",")));
        QVERIFY(!values.contains("BALANCE"));
    }

    // A long run tells its count every 1001 records; "Отмена" stops it.
    void runProgress()
    {
        TRunProgress progress(nullptr);
        int inner = 0;
        const TReportNotify handler = progress.Chain([&](TCustomReport &) { ++inner; });
        TKtReport report;
        for (int i = 0; i < 2002; ++i)
            handler(report);
        QCOMPARE(inner, 2002);
        QCOMPARE(progress.Text(), QString("Обработано записей: 2002"));
        progress.Cancel();
        for (int i = 0; i < 1000; ++i)
            handler(report);
        QUARN_EXPECT_ERROR(handler(report), "Операция прервана пользователем");
        QCOMPARE(progress.Count(), 3003);
    }

    // Alt+F7: every row in the output and the database's own total; the
    // grid stays on its row.
    void defaultReport_data() { DataTest::engineRows(); }
    void defaultReport()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        InstallReportExpert();
        QString shown;
        ReportViewHook() = [&](TCustomReport &r, bool) { shown = r.PrintName(); };
        TQuery query;
        query.SetDatabaseName(alias);
        query.SetSQLText("select NAME, BALANCE from ACCOUNTS order by ID");
        query.Open();
        TDataSource source(&query);
        TSearchDBGrid grid;
        grid.SetDataSource(&source);
        grid.show();
        QTest::keyClick(grid.View(), Qt::Key_Down);
        QTest::keyClick(grid.View(), Qt::Key_F7, Qt::AltModifier);
        QCOMPARE(shown, QDir(ProgramDir()).filePath("report.prn"));
        const QStringList out = ReadTextLines(QDir(ProgramDir()).filePath("report.prn"));
        for (const QString name : {"Иванов", "Петров", "Сидоров"})
            QVERIFY2(out.filter(name).size() == 1, qPrintable(out.join("\n")));
        const double sum = DataTest::scalar(alias, "select sum(BALANCE) from ACCOUNTS").remove(QRegularExpression("[^0-9.-]")).toDouble();
        QCOMPARE(sum, 1545.75);
        QVERIFY2(out.filter("1,545.75").size() == 1, qPrintable(out.join("\n")));
        QCOMPARE(query.RecNo(), 2);
        grid.SetDataSource(nullptr);
        ReportViewHook() = {};
    }

    // Number columns print with their scale, floating point ones without a
    // scale as they are, whole numbers whole: Alt+F7 and a total the expert
    // was asked for.
    void numberColumns_data() { DataTest::engineRows(); }
    void numberColumns()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        DataTest::exec(alias, {"DROP TABLE IF EXISTS LINES", "CREATE TABLE LINES (ID INTEGER, PRICE NUMERIC(10,2), RATIO DOUBLE PRECISION)",
                               "INSERT INTO LINES VALUES (1, 1.98, 0.5)", "INSERT INTO LINES VALUES (2, 1.5, 0.125)"});
        InstallReportExpert();
        ReportViewHook() = [](TCustomReport &, bool) {};
        auto q = openQuery(alias, "select ID, PRICE, RATIO from LINES order by ID");
        TDataSource source(q.get());
        TSearchDBGrid grid;
        grid.SetDataSource(&source);
        grid.show();
        QTest::keyClick(grid.View(), Qt::Key_F7, Qt::AltModifier);
        const QString prn = QDir(ProgramDir()).filePath("report.prn");
        const auto cells = [](const QString &line) { return line.simplified().split(' '); };
        QStringList out = ReadTextLines(prn);
        QCOMPARE(cells(out.value(out.size() - 2)), (QStringList{"1", "1.98", "0.5"}));
        QCOMPARE(cells(out.last()), (QStringList{"2", "1.50", "0.125"}));

        TKtReport report;
        report.SetDataSet(q.get());
        TExpertParams p;
        const QString names[] = {q->Fields(0)->FieldName(), q->Fields(1)->FieldName(), q->Fields(2)->FieldName()};
        p.Fields = QStringList{names[0], names[1], names[2]};
        p.Totals = QStringList{names[1], names[2]};
        report.BuildExpertTemplate(p);
        report.SetPrintName("totals.prn");
        report.Prepare();
        report.Execute();
        out = ReadTextLines(QDir(ProgramDir()).filePath("totals.prn"));
        QCOMPARE(cells(out.last()), (QStringList{"3.48", "0.625"}));
        grid.SetDataSource(nullptr);
        ReportViewHook() = {};
    }

    // The caret goes to the character the error position names in the
    // lines joined by CR LF.
    void caretAtError_data()
    {
        QTest::addColumn<int>("pos");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("column");
        QTest::newRow("first") << 0 << 0 << 0;
        QTest::newRow("on CR") << 2 << 0 << 2;
        QTest::newRow("on LF") << 3 << 0 << 2;
        QTest::newRow("second line") << 4 << 1 << 0;
        QTest::newRow("inside") << 5 << 1 << 1;
        QTest::newRow("last") << 9 << 2 << 1;
        QTest::newRow("past the end") << 40 << 2 << 2;
    }
    void caretAtError()
    {
        QFETCH(int, pos);
        QFETCH(int, line);
        QFETCH(int, column);
        QPlainTextEdit text;
        text.setPlainText("ab\ncd\nef");
        PutCaretAtError(text, pos);
        QCOMPARE(text.textCursor().blockNumber(), line);
        QCOMPARE(text.textCursor().positionInBlock(), column);
    }

    // The format editor: a template error puts the caret on it; "O&K"
    // gives the text and the orientation back to the report.
    void formatEditor()
    {
        auto q = accounts("LITE", "ID, NAME");
        TKtReport report;
        report.SetDataSet(q.get());
        report.BuildExpertTemplate({});
        TFmtListForm editor(nullptr, report, "Счета");
        QCOMPARE(editor.FmtText->toPlainText().split('\n'), report.FormatSource());
        editor.FmtText->setPlainText(".DETAIL\n#A := 1 +\n#B := (2\n@A");
        bool failed = false;
        try {
            editor.PreviewClick();
        } catch (const Exception &) {
            failed = true;
        }
        QVERIFY(failed);
        // where the report itself puts the error
        TKtReport check;
        check.SetFormatSource({".DETAIL", "#A := 1 +", "#B := (2", "@A"});
        try {
            check.Prepare();
        } catch (const Exception &) {
        }
        const QString joined = check.FormatSource().join("\r\n");
        const int pos = check.ErrorPos();
        QVERIFY(pos > 0);
        const int lineStart = int(joined.lastIndexOf("\r\n", pos - 1)) + 2;
        QCOMPARE(editor.FmtText->textCursor().blockNumber(), int(joined.left(pos).count("\r\n")));
        QCOMPARE(editor.FmtText->textCursor().positionInBlock(), std::min(pos - lineStart, int(joined.mid(lineStart).section("\r\n", 0, 0).size())));
        editor.FmtText->setPlainText(".DETAIL\n@NAME");
        editor.OrientBox->setCurrentIndex(1);
        editor.OKClick();
        QCOMPARE(report.FormatSource(), (QStringList{".DETAIL", "@NAME"}));
        QCOMPARE(report.Orientation(), TPageGeometry::Landscape);
    }

    // Ctrl+F7: the chooser lists the grid's group and "&Выбрать" runs the
    // stored report over the grid's rows; a default report that is not
    // stored is reported by name.
    void storedReports_data() { DataTest::engineRows(); }
    void storedReports()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        DataTest::createSysTables(alias, QUARN_SOURCE_DIR "/sql");
        SetAppName("Quarn");
        DataTest::exec(alias, {"INSERT INTO SYS_REPORT (RE_APP_NAM, RE_GRP_NAM, RE_RPT_NAM, RE_RPT_FMT, RE_RPT_PRV,"
                               " RE_RPT_ORI, RE_RPT_ONE, RE_RPT_PRN) VALUES ('Quarn', 'TSearchDBGrid_Grid', 'Names',"
                               " '.DETAIL\r\n[@NAME]', 'Д', 'P', 'Н', 'names.prn')"});
        InstallReportList();
        QString shown;
        ReportViewHook() = [&](TCustomReport &r, bool print) { shown = print ? QString() : r.PrintName(); };
        TQuery query;
        query.SetDatabaseName(alias);
        query.SetSQLText("select NAME from ACCOUNTS order by ID");
        query.Open();
        TDataSource source(&query);
        TSearchDBGrid grid;
        grid.setObjectName("Grid");
        grid.SetDataSource(&source);
        grid.show();
        int listed = 0;
        auto watch = whenModal<TChoiceRptForm>([&](TChoiceRptForm &form) {
            TChoiceRptForm *chooser = &form;
            listed = chooser->ReportGrid->Model()->rowCount();
            QTest::mouseClick(chooser->ChooseBtn, Qt::LeftButton);
            QVERIFY(chooser->isVisible());   // the chooser stays for the next report
            chooser->reject();
        });
        QTest::keyClick(grid.View(), Qt::Key_F7, Qt::ControlModifier);
        QCOMPARE(listed, 1);
        QCOMPARE(shown, QDir(ProgramDir()).filePath("names.prn"));
        QCOMPARE(ReadTextLines(shown), (QStringList{"[Иванов]", "[Петров]", "[Сидоров]"}));

        // printed at once: the question names where the output was written,
        // a stored folder taken against the program directory
        DataTest::exec(alias, {"INSERT INTO SYS_REPORT (RE_APP_NAM, RE_GRP_NAM, RE_RPT_NAM, RE_RPT_FMT, RE_RPT_PRV,"
                               " RE_RPT_ORI, RE_RPT_ONE, RE_RPT_PRN) VALUES ('Quarn', 'TSearchDBGrid_Grid', 'Printed',"
                               " '.DETAIL\r\n[@NAME]', 'Н', 'P', 'Д', 'out/../printed.prn')"});
        grid.RptName = "Printed";
        {
            TRecordingUI ui;
            ui.Answer = TUserInterface::mbNo;
            RunDefaultReport(grid);
            QCOMPARE(ui.Messages, QStringList{"Отчет записан в файл " + QDir(ProgramDir()).filePath("printed.prn")
                                              + "\nВы уверены, что хотите печатать ?"});
        }
        QCOMPARE(ReadTextLines(QDir(ProgramDir()).filePath("printed.prn")), QStringList{"[Иванов]"});

        // a report made for other rows: asked before the run, No runs nothing
        DataTest::exec(alias, {"INSERT INTO SYS_REPORT (RE_APP_NAM, RE_GRP_NAM, RE_RPT_NAM, RE_RPT_FMT, RE_RPT_PRV,"
                               " RE_RPT_ORI, RE_RPT_ONE, RE_RPT_PRN) VALUES ('Quarn', 'TSearchDBGrid_Grid', 'Invoices',"
                               " '.DETAIL\r\n@NAME @INV_NUM:4 @INV_TOTAL:2', 'Н', 'P', 'Д', 'invoices.prn')"});
        grid.RptName = "Invoices";
        const QString invoices = QDir(ProgramDir()).filePath("invoices.prn");
        QFile::remove(invoices);
        for (const auto answer : {TUserInterface::mbNo, TUserInterface::mbYes}) {
            TRecordingUI ui;
            ui.Answer = answer;
            try {
                RunDefaultReport(grid);
                QCOMPARE(answer, TUserInterface::mbYes);
            } catch (const EAbort &) {   // quietly, as an answered question
                QCOMPARE(answer, TUserInterface::mbNo);
            }
            QCOMPARE(ui.Messages.value(0), QString("Отчет \"Invoices\" ссылается на поля, которых нет в записях: "
                                                   "INV_NUM, INV_TOTAL.\nНа их месте будут напечатаны знаки \"!\". "
                                                   "Выполнить отчет?"));
            QCOMPARE(QFile::exists(invoices), answer == TUserInterface::mbYes);
        }
        QCOMPARE(ReadTextLines(invoices), QStringList{"Иванов !!!! !!"});

        grid.RptName = "Other";
        QUARN_EXPECT_ERROR(RunDefaultReport(grid), "Отчет \"Other\" не найден");
        grid.SetDataSource(nullptr);
        ReportViewHook() = {};
    }

    // The report editor: a report added, previewed unsaved, saved, run from
    // the chooser, written to a folder and read into another database; a
    // deletion answered No keeps it; an error puts the caret on it.
    void reportEditor_data() { DataTest::engineRows(); }
    void reportEditor()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        DataTest::createSysTables(alias, QUARN_SOURCE_DIR "/sql");
        SetAppName("Quarn");
        QStringList outputs;
        ReportViewHook() = [&](TCustomReport &r, bool) { outputs << ReadTextLines(r.PrintName()).join("|"); };
        TQuery query;
        query.SetDatabaseName(alias);
        query.SetSQLText("select NAME from ACCOUNTS order by ID");
        query.Open();
        TDataSource source(&query);
        TSearchDBGrid grid;
        grid.setObjectName("Grid");
        grid.SetDataSource(&source);
        TReportParams params = GridReportParams(grid);
        TRecordingUI ui;
        QStringList errors;
        const TExceptionHandler previous =
            SetApplicationExceptionHandler([&](QObject *, const Exception &e) { errors << e.Message(); });
        {
            TChoiceEditRptForm editor(nullptr, params);
            auto watch = whenModal<TRptEditForm>([&](TRptEditForm &edit) {
                TRptEditForm *form = &edit;
                QCOMPARE(form->OrientBox->currentText(), QString("Вертикальная"));
                QVERIFY(form->PreviewBox->isChecked());
                form->NameEdit->setFocus();
                QTest::keyClicks(form->NameEdit, "List ");
                form->TemplateText->setPlainText(".DETAIL\n[@NAME]");
                QTest::mouseClick(form->PreviewBtn, Qt::LeftButton);   // unsaved
                form->TemplateText->setPlainText(".DETAIL\n#A := (1\n[@NAME]");
                QTest::mouseClick(form->PreviewBtn, Qt::LeftButton);   // an error: the caret on line 2
                QCOMPARE(form->TemplateText->textCursor().blockNumber(), 1);
                QCOMPARE(errors.size(), 1);
                form->TemplateText->setPlainText(".REPORTHEADER\nСписок клиентов\n.DETAIL\n[@NAME]");
                saveShot(form, "report-record-editor");
                QTest::mouseClick(form->SaveBtn, Qt::LeftButton);
            });
            QTest::mouseClick(editor.AddBtn, Qt::LeftButton);
            QCOMPARE(outputs, QStringList{"[Иванов]|[Петров]|[Сидоров]"});
            saveShot(&editor, "report-list-editor");
            {
                TExpertForm expert(nullptr, "Счета", query);
                saveShot(&expert, "report-expert");
            }
            QCOMPARE(DataTest::scalar(alias, "select RE_RPT_NAM from SYS_REPORT"), QString("List"));   // trimmed
            QCOMPARE(editor.EditorGrid->Model()->rowCount(), 1);
            QStringList titles;
            for (int c = 0; c < editor.EditorGrid->ColumnCount(); ++c)
                titles << editor.EditorGrid->Model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
            QCOMPARE(titles, (QStringList{"Название отчета", "Предв-й|просмотр", "Ориентация", "Печать одной|записи",
                                          "Выходной файл", "Шаблон|отчета"}));
            QCOMPARE(editor.EditorGrid->Model()->index(0, 2).data().toString(), QString("Вертикальная"));
            ui.Answer = TUserInterface::mbNo;
            QTest::mouseClick(editor.DeleteBtn, Qt::LeftButton);
            QCOMPARE(editor.EditorGrid->Model()->rowCount(), 1);
            ui.Answer = TUserInterface::mbYes;
            editor.ExportClick(QDir(ProgramDir()).filePath("fmt"));
        }
        TChoiceRptForm chooser(nullptr, params);
        chooser.ChooseClick();
        QCOMPARE(outputs.size(), 2);
        QCOMPARE(outputs.last(), "Список клиентов|" + outputs.first());

        // into another database, the same row
        TAlias known;
        if (!Session().FindAlias("OTHER", known)) {
            QFile ini(QDir(ConfigDir()).filePath("aliases.ini"));
            QVERIFY(ini.open(QIODevice::Append));
            ini.write("\n[OTHER]\nDriver=QSQLITE\nDatabase=other.db\n");
            ini.close();
            QFile(QDir(ProgramDir()).filePath("other.db")).open(QIODevice::WriteOnly);
        }
        DataTest::createSysTables("OTHER", QUARN_SOURCE_DIR "/sql");
        TReportParams other = params;
        other.DataBaseName = "OTHER";
        TChoiceEditRptForm importer(nullptr, other);
        importer.ImportClick(QDir(ProgramDir()).filePath("fmt"));
        QVERIFY(!importer.Progress->isVisible());
        QCOMPARE(importer.EditorGrid->Model()->rowCount(), 1);
        QCOMPARE(DataTest::scalar("OTHER", "select RE_RPT_NAM from SYS_REPORT"), QString("List"));
        grid.SetDataSource(nullptr);
        ReportViewHook() = {};
        SetApplicationExceptionHandler(previous);
    }
};

QUARN_WIDGETS_TEST_MAIN(ExpertTest)
#include "ExpertTest.moc"
