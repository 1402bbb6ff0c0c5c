// quarn-report: runs a report template on a database alias without windows.
//
//   quarn-report --alias DEMO --template clients.fmt [--query "select ..."]
//                [--out report.prn] [--one-record] [--var NAME=VALUE ...]
//                [--listing] [--pdf report.pdf]
//
// Interactive script functions answer non-interactively: an input box takes
// its default (without one the run stops with "Выполнение прервано"), a
// question gets "No". Errors are printed with the line and column of the
// template they point at; the exit code is then 1.

#include "common/Convert.h"
#include "common/Exceptions.h"
#include "common/Settings.h"
#include "common/TextFile.h"
#include "data/Database.h"
#include "data/Query.h"
#include "office/OfficeFunctions.h"
#include "report/KtReport.h"
#include "viewer/OutputPages.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>
#include <cstdio>

namespace {

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream &err()
{
    static QTextStream s(stderr);
    return s;
}

// 1-based line and column of the character at `pos` in the template lines
// joined by CR LF.
std::pair<int, int> lineAndColumn(const QStringList &lines, int pos)
{
    int start = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const int next = start + int(lines[i].size()) + 2;
        if (pos < next || i + 1 == lines.size())
            return {i + 1, pos - start + 1};
        start = next;
    }
    return {1, pos + 1};
}

// A preset from "NAME=VALUE": TRUE/FALSE are BOOLEAN, a number is a NUMBER,
// a date (dd.mm.yyyy) a DATE, anything else (or a value in single quotes) a
// STRING.
void presetVariable(TKtReport &report, const QString &assignment)
{
    const qsizetype eq = assignment.indexOf(u'=');
    if (eq <= 0)
        throw Exception(QStringLiteral("Неверное значение --var: %1").arg(assignment));
    TReportVar &v = report.DeclareVar(assignment.left(eq).trimmed());
    const QString value = assignment.mid(eq + 1);
    double number;
    TDateTime date;
    v.Clear();
    if (value.size() >= 2 && value.startsWith(u'\'') && value.endsWith(u'\''))
        v.SetAsString(value.mid(1, value.size() - 2));
    else if (value.compare(u"TRUE", Qt::CaseInsensitive) == 0 || value.compare(u"FALSE", Qt::CaseInsensitive) == 0)
        v.SetAsBoolean(value.compare(u"TRUE", Qt::CaseInsensitive) == 0);
    else if (TryStrToFloat(value, number))
        v.SetAsNumber(number);
    else if (value.count(u'.') == 2 && TryStrToDate(value, date))
        v.SetAsDate(date);
    else
        v.SetAsString(value);
}

} // namespace

int main(int argc, char *argv[])
{
    // Text is measured with the real fonts; no display is needed for that.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quarn-report"));
    InstallOfficeFunctions();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Выполняет шаблон отчета на базе данных."));
    parser.addHelpOption();
    const QCommandLineOption aliasOpt(QStringLiteral("alias"), QStringLiteral("Псевдоним базы данных."), QStringLiteral("ALIAS"));
    const QCommandLineOption templateOpt(QStringLiteral("template"), QStringLiteral("Файл шаблона."), QStringLiteral("FILE"));
    const QCommandLineOption queryOpt(QStringLiteral("query"), QStringLiteral("Запрос, записи которого обходит отчет."), QStringLiteral("SQL"));
    const QCommandLineOption outOpt(QStringLiteral("out"), QStringLiteral("Выходной файл (по умолчанию report.prn)."), QStringLiteral("FILE"));
    const QCommandLineOption oneOpt(QStringLiteral("one-record"), QStringLiteral("Выполнить шаблон один раз, без обхода записей."));
    const QCommandLineOption varOpt(QStringLiteral("var"), QStringLiteral("Задать переменную NAME=VALUE."), QStringLiteral("NAME=VALUE"));
    const QCommandLineOption listingOpt(QStringLiteral("listing"), QStringLiteral("Показать скомпилированные команды вместо выполнения."));
    const QCommandLineOption pdfOpt(QStringLiteral("pdf"), QStringLiteral("Записать страницы отчета в файл PDF."), QStringLiteral("FILE"));
    parser.addOptions({aliasOpt, templateOpt, queryOpt, outOpt, oneOpt, varOpt, listingOpt, pdfOpt});
    parser.process(app);

    if (!parser.isSet(templateOpt)) {
        err() << "Не задан шаблон (--template)\n";
        return 2;
    }
    QStringList lines;
    std::unique_ptr<TQuery> query;
    std::unique_ptr<TCustomReport> custom;
    TKtReport *report = nullptr;
    int code = 1;
    try {
        lines = ReadTextLines(ExpandFileName(parser.value(templateOpt)));
        const QString alias = parser.value(aliasOpt);
        if (parser.isSet(queryOpt)) {
            if (alias.isEmpty())
                throw Exception(QStringLiteral("Для запроса нужен псевдоним базы данных (--alias)"));
            query = std::make_unique<TQuery>();
            query->SetName(QStringLiteral("Query"));
            query->SetDatabaseName(alias);
            query->SetSQLText(parser.value(queryOpt));
            query->SetUniDirectional(true);
            query->Open();
        }
        custom = CreateReportFor(lines);
        report = dynamic_cast<TKtReport *>(custom.get());
        if (!report)
            throw Exception(QStringLiteral("Ошибка обработки отчета"));
        report->SetFormatSource(lines);
        report->SetDataBaseName(alias);
        report->SetDataSet(query.get());
        report->SetPrintName(parser.isSet(outOpt) ? parser.value(outOpt) : QStringLiteral("report.prn"));
        report->SetOneRecord(parser.isSet(oneOpt));
        const QStringList presets = parser.values(varOpt);
        report->OnSetNames = [&](TCustomReport &) {
            for (const QString &p : presets)
                presetVariable(*report, p);
        };
        report->Prepare();
        if (parser.isSet(listingOpt)) {
            for (const QString &line : report->Listing())
                out() << line << '\n';
        } else {
            report->Execute();
            const QString output = ExpandFileName(report->PrintName());
            out() << output << '\n';
            if (parser.isSet(pdfOpt)) {
                if (!QFileInfo::exists(output))
                    throw Exception(QStringLiteral("Нет информации для просмотра"));
                const QString pdf = QFileInfo(parser.value(pdfOpt)).absoluteFilePath();
                const int pages = WriteOutputPdf(output, pdf, report->Orientation());
                out() << pdf << QStringLiteral(" (страниц: %1)").arg(pages) << '\n';
            }
        }
        code = 0;
    } catch (const EAbort &) {
        err() << "Выполнение прервано\n";
    } catch (const Exception &e) {
        err() << "Ошибка: " << e.Message() << '\n';
        if (report && report->ErrorPos() >= 0 && !lines.isEmpty()) {
            const auto [line, column] = lineAndColumn(lines, report->ErrorPos());
            err() << QStringLiteral("Шаблон, строка %1, позиция %2: %3\n")
                         .arg(line)
                         .arg(column)
                         .arg(lines.value(line - 1));
        }
    }
    custom.reset();
    query.reset();
    Session().CloseAll();
    return code;
}
