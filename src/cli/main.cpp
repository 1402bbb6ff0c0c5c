// quarn-report: runs a report template on a database alias without windows.
//
//   quarn-report --alias DEMO --template clients.fmt [--query "select ..."]
//                [--out report.prn] [--one-record] [--var NAME=VALUE ...]
//                [--listing] [--pdf report.pdf]
//   quarn-report --alias DEMO --group G --name N [--query ...] [--out ...] [--pdf ...]
//                runs the report stored in SYS_REPORT (N may be a LIKE
//                pattern; the first match runs)
//   quarn-report --alias DEMO --export-fmt DIR [--group G]
//   quarn-report --alias DEMO --import-fmt DIR [--group G]
//                write the stored reports to .FMT files and read them back
//   quarn-report --version
//
// SYS_REPORT is read and written under the application name "Quarn", as the
// program does.
//
// Interactive script functions answer non-interactively: an input box takes
// its default (without one the run stops with "Выполнение прервано"), a
// question gets "No". Errors are printed with the line and column of the
// template they point at; the exit code is then 1. A run that writes no
// output (no records, or nothing printed) says so and exits with 3; wrong
// options exit with 2.

#include "common/AppName.h"
#include "common/Convert.h"
#include "common/Exceptions.h"
#include "common/SafeFile.h"
#include "common/Settings.h"
#include "common/TextFile.h"
#include "common/Translation.h"
#include "data/Database.h"
#include "data/Query.h"
#include "functions/Functions.h"
#include "report/KtReport.h"
#include "report/ReportFiles.h"
#include "report/StoredReports.h"
#include "viewer/OutputPages.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#include <new>

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

// A file name given on the command line is the user's, taken against the
// current directory as every command-line tool does; names inside templates
// and stored reports keep resolving against the program directory.
QString commandLinePath(const QString &name)
{
    return name.isEmpty() ? name : QFileInfo(name).absoluteFilePath();
}

// Exit codes besides 0 (done) and 1 (an error).
constexpr int ExitUsage = 2;      // wrong options
constexpr int ExitNoOutput = 3;   // the run wrote no output

// Qt's start-up asks for the user's runtime directory and warns on stderr
// when the environment names none; a batch tool's stderr is for its own
// messages. The folder Qt would fall back to is made and named quietly;
// when it cannot be used as Qt wants it, Qt decides as before.
void setRuntimeDirectory()
{
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    const QByteArray dir = QFile::encodeName(QDir::tempPath()) + "/runtime-" + QByteArray::number(getuid());
    ::mkdir(dir.constData(), 0700);
    struct stat st;
    if (::stat(dir.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid()
        && (st.st_mode & 0777) == 0700)
        qputenv("XDG_RUNTIME_DIR", dir);
}

// A PDF file that cannot be written is refused before any painting starts.
void checkWritable(const QString &file)
{
    // a folder or special file is refused with its reason
    const QFileInfo info(WriteTarget(file));
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir() || (info.exists() ? !info.isWritable() || info.isDir() : !folder.isWritable()))
        throw Exception(QStringLiteral("Не могу создать файл %1").arg(file));
}

QString describe(const TFmtEntry &e)
{
    return QStringLiteral("%1 / %2").arg(e.Group, e.Name);
}

// Writes the reports to .FMT files; prints one line per row.
int exportFiles(const QString &alias, const QString &folder, const std::optional<QString> &group)
{
    const TFmtResult result = ExportReportFiles(alias, folder, group);
    for (const TFmtEntry &e : result.Entries) {
        switch (e.Action) {
        case TFmtAction::Written:
            out() << "Записан: " << e.File << " (" << describe(e) << ")\n";
            break;
        case TFmtAction::Overwritten:
            out() << "Записан: " << e.File << " (" << describe(e) << ")\n";
            err() << "Внимание: " << e.Message << '\n';
            break;
        case TFmtAction::EmptyTemplate:
            out() << "Пропущен (пустой шаблон): " << describe(e) << '\n';
            break;
        default:
            err() << e.Message << ": " << e.Error << '\n';
            break;
        }
        if (e.LostCharacters)
            err() << "Внимание: в файле " << e.File << " символы, которых нет в кодовой странице "
                  << CodePageName() << ", записаны как \"?\"\n";
    }
    out() << QStringLiteral("Записано файлов: %1, перезаписано: %2, пропущено отчетов: %3, ошибок: %4\n")
                 .arg(result.Count(TFmtAction::Written))
                 .arg(result.Count(TFmtAction::Overwritten))
                 .arg(result.Count(TFmtAction::EmptyTemplate))
                 .arg(result.Count(TFmtAction::Failed));
    return result.HasFailures() ? 1 : 0;
}

// Reads the .FMT files of a folder into SYS_REPORT; prints one line per file.
int importFiles(const QString &alias, const QString &folder, const std::optional<QString> &group)
{
    const TFmtResult result = ImportReportFiles(alias, folder, group);
    int skipped = 0;
    for (const TFmtEntry &e : result.Entries) {
        const QString file = QFileInfo(e.File).fileName();
        auto skip = [&](const char *why) {
            out() << "Пропущен (" << why << "): " << file << '\n';
            ++skipped;
        };
        switch (e.Action) {
        case TFmtAction::Added: out() << "Добавлен: " << file << " (" << describe(e) << ")\n"; break;
        case TFmtAction::Replaced: out() << "Заменен шаблон: " << file << " (" << describe(e) << ")\n"; break;
        case TFmtAction::Deleted: out() << "Удален: " << file << " (" << describe(e) << ")\n"; break;
        case TFmtAction::Unchanged: out() << "Без изменений: " << file << " (" << describe(e) << ")\n"; break;
        case TFmtAction::NothingToDelete: skip("нечего удалять"); break;
        case TFmtAction::TooShort: skip("меньше четырех строк"); break;
        case TFmtAction::BadHeader: skip("неверный заголовок"); break;
        case TFmtAction::OtherApplication: skip("другое приложение"); break;
        case TFmtAction::OtherGroup: skip("другая группа"); break;
        default: err() << e.Message << ": " << e.Error << '\n'; break;
        }
    }
    out() << QStringLiteral("Добавлено: %1, заменено: %2, удалено: %3, без изменений: %4, пропущено: %5, ошибок: %6\n")
                 .arg(result.Count(TFmtAction::Added))
                 .arg(result.Count(TFmtAction::Replaced))
                 .arg(result.Count(TFmtAction::Deleted))
                 .arg(result.Count(TFmtAction::Unchanged))
                 .arg(skipped)
                 .arg(result.Count(TFmtAction::Failed));
    return result.HasFailures() ? 1 : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // Text is measured with the real fonts; no display is needed for that.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    setRuntimeDirectory();
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quarn-report"));
    QCoreApplication::setApplicationVersion(ProgramVersion());
    LoadQtTranslation();   // the parser's help and errors in Russian
    InstallFunctions();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Выполняет шаблон отчета на базе данных."));
    const QCommandLineOption helpOpt = parser.addHelpOption();
    const QCommandLineOption versionOpt = parser.addVersionOption();
    const QCommandLineOption aliasOpt(QStringLiteral("alias"), QStringLiteral("Псевдоним базы данных."), QStringLiteral("ALIAS"));
    const QCommandLineOption templateOpt(QStringLiteral("template"), QStringLiteral("Файл шаблона."), QStringLiteral("FILE"));
    const QCommandLineOption queryOpt(QStringLiteral("query"), QStringLiteral("Запрос, записи которого обходит отчет."), QStringLiteral("SQL"));
    const QCommandLineOption outOpt(QStringLiteral("out"), QStringLiteral("Выходной файл (по умолчанию report.prn в папке программы)."), QStringLiteral("FILE"));
    const QCommandLineOption oneOpt(QStringLiteral("one-record"), QStringLiteral("Выполнить шаблон один раз, без обхода записей."));
    const QCommandLineOption varOpt(QStringLiteral("var"), QStringLiteral("Задать переменную NAME=VALUE."), QStringLiteral("NAME=VALUE"));
    const QCommandLineOption listingOpt(QStringLiteral("listing"), QStringLiteral("Показать скомпилированные команды вместо выполнения."));
    const QCommandLineOption pdfOpt(QStringLiteral("pdf"), QStringLiteral("Записать страницы отчета в файл PDF."), QStringLiteral("FILE"));
    const QCommandLineOption groupOpt(QStringLiteral("group"), QStringLiteral("Группа отчетов в SYS_REPORT."), QStringLiteral("G"));
    const QCommandLineOption nameOpt(QStringLiteral("name"), QStringLiteral("Выполнить отчет группы из SYS_REPORT (шаблон LIKE)."), QStringLiteral("N"));
    const QCommandLineOption exportOpt(QStringLiteral("export-fmt"), QStringLiteral("Записать отчеты группы (без --group: всех групп) в папку файлов .FMT."), QStringLiteral("DIR"));
    const QCommandLineOption importOpt(QStringLiteral("import-fmt"), QStringLiteral("Загрузить отчеты из файлов .FMT папки (с --group: только этой группы)."), QStringLiteral("DIR"));
    parser.addOptions({aliasOpt, templateOpt, queryOpt, outOpt, oneOpt, varOpt, listingOpt, pdfOpt, groupOpt,
                       nameOpt, exportOpt, importOpt});
    if (!parser.parse(QCoreApplication::arguments())) {
        err() << parser.errorText() << "\nСправка: quarn-report --help\n";
        return ExitUsage;
    }
    if (parser.isSet(helpOpt) || parser.isSet(QStringLiteral("help-all"))) {
        out() << parser.helpText();
        return 0;
    }
    if (parser.isSet(versionOpt)) {
        out() << QCoreApplication::applicationName() << ' ' << ProgramVersion() << '\n';
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        err() << "Лишние аргументы: " << parser.positionalArguments().join(u' ') << "\nСправка: quarn-report --help\n";
        return ExitUsage;
    }
    SetAppName(QStringLiteral("Quarn"));

    const int modes = int(parser.isSet(templateOpt)) + int(parser.isSet(nameOpt)) + int(parser.isSet(exportOpt))
                      + int(parser.isSet(importOpt));
    if (modes != 1) {
        err() << "Задайте одно из: --template, --group с --name, --export-fmt, --import-fmt\n";
        return ExitUsage;
    }
    if ((parser.isSet(nameOpt) || parser.isSet(exportOpt) || parser.isSet(importOpt)) && !parser.isSet(aliasOpt)) {
        err() << "Для отчетов из SYS_REPORT нужен псевдоним базы данных (--alias)\n";
        return ExitUsage;
    }
    if (parser.isSet(groupOpt) && parser.isSet(templateOpt)) {
        err() << "--group задается с --name, --export-fmt или --import-fmt\n";
        return ExitUsage;
    }
    if (parser.isSet(nameOpt) && !parser.isSet(groupOpt)) {
        err() << "Для --name нужна группа отчетов (--group)\n";
        return ExitUsage;
    }
    if (parser.isSet(exportOpt) || parser.isSet(importOpt)) {
        const std::optional<QString> group =
            parser.isSet(groupOpt) ? std::optional<QString>(parser.value(groupOpt)) : std::nullopt;
        int code = 1;
        try {
            code = parser.isSet(exportOpt) ? exportFiles(parser.value(aliasOpt), commandLinePath(parser.value(exportOpt)), group)
                                           : importFiles(parser.value(aliasOpt), commandLinePath(parser.value(importOpt)), group);
        } catch (const Exception &e) {
            err() << "Ошибка: " << e.Message() << '\n';
        }
        Session().CloseAll();
        return code;
    }
    QStringList lines;
    std::unique_ptr<TQuery> query;
    std::unique_ptr<TCustomReport> custom;
    TKtReport *report = nullptr;
    int code = 1;
    bool noRecords = false;
    struct TNoOutput {};
    try {
        const QString alias = parser.value(aliasOpt);
        std::optional<TStoredReport> stored;
        if (parser.isSet(nameOpt)) {
            stored = QueryStoredReport(parser.value(groupOpt), parser.value(nameOpt), alias);
            if (!stored)
                throw Exception(QStringLiteral("Отчет \"%1\" не найден").arg(parser.value(nameOpt)));
            lines = stored->Template;
        } else {
            lines = ReadTextLines(commandLinePath(parser.value(templateOpt)));
        }
        // a misspelled section is dropped with its lines: say which
        for (const int i : TKtReport::UnknownSectionLines(lines))
            err() << QStringLiteral("Внимание: строка %1 шаблона \"%2\" не называет раздел; раздел пропущен со всеми его строками\n")
                         .arg(i + 1)
                         .arg(lines[i]);
        if (parser.isSet(queryOpt)) {
            if (alias.isEmpty())
                throw Exception(QStringLiteral("Для запроса нужен псевдоним базы данных (--alias)"));
            query = std::make_unique<TQuery>();
            query->SetName(QStringLiteral("Query"));
            query->SetDatabaseName(alias);
            query->SetSQLText(parser.value(queryOpt));
            query->SetUniDirectional(true);
            query->Open();
            noRecords = query->Eof();
        }
        custom = CreateReportFor(lines);
        report = dynamic_cast<TKtReport *>(custom.get());
        if (!report)
            throw Exception(QStringLiteral("Ошибка обработки отчета"));
        report->SetFormatSource(lines);
        report->SetDataBaseName(alias);
        report->SetDataSet(query.get());
        report->SetPrintName(parser.isSet(outOpt) ? commandLinePath(parser.value(outOpt))
                             : stored           ? stored->PrintName
                                                : QStringLiteral("report.prn"));
        report->SetOneRecord(parser.isSet(oneOpt) || (stored && stored->OneRecord));
        if (stored)
            report->SetOrientation(stored->Orientation);
        const QStringList presets = parser.values(varOpt);
        report->OnSetNames = [&](TCustomReport &) {
            for (const QString &p : presets)
                presetVariable(*report, p);
        };
        report->Prepare();
        if (const QStringList unknown = report->UnknownFields(); !unknown.isEmpty())
            err() << QStringLiteral("Внимание: шаблон ссылается на поля, которых нет ни в записях, ни среди переменных: %1; "
                                    "на их месте печатаются знаки \"!\"\n")
                         .arg(unknown.join(QStringLiteral(", ")));
        if (parser.isSet(listingOpt)) {
            for (const QString &line : report->Listing())
                out() << line << '\n';
        } else {
            report->Execute();
            // where the output went, in full: a stored report may name any folder
            const QString output = QDir::cleanPath(ExpandFileName(report->PrintName()));
            if (!QFileInfo::exists(output)) {
                err() << (noRecords && !report->OneRecord() ? "Нет записей: " : "Отчет ничего не вывел: ")
                      << QStringLiteral("выходной файл %1 не записан\n").arg(output);
                throw TNoOutput();
            }
            out() << output << '\n';
            if (parser.isSet(pdfOpt)) {
                const QString pdf = commandLinePath(parser.value(pdfOpt));
                checkWritable(pdf);
                const int pages = WriteOutputPdf(output, pdf, report->Orientation());
                out() << pdf << QStringLiteral(" (страниц: %1)").arg(pages) << '\n';
            }
        }
        code = 0;
    } catch (const TNoOutput &) {
        code = ExitNoOutput;
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
    } catch (const std::bad_alloc &) {
        err() << "Ошибка: Не хватает памяти\n";
    }
    custom.reset();
    query.reset();
    Session().CloseAll();
    return code;
}
