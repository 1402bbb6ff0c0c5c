// Quarn: the application entry.

#include "DemoDatabase.h"
#include "StartScript.h"

#include "grid/GridCommands.h"
#include "grid/GridStateForms.h"
#include "widgets/DicButton.h"
#include "grid/QueryBuildForm.h"
#include "functions/Functions.h"
#include "report/ExpertForm.h"
#include "report/ReportListForm.h"
#include "viewer/EditForm.h"
#include "viewer/KtPreviewForm.h"
#include "widgets/CalcForm.h"
#include "workspace/Application.h"
#include "workspace/DbMainForm.h"
#include "workspace/DialogUserInterface.h"
#include "workspace/KeyFilter.h"
#include "workspace/SQLForm.h"

#include "common/AppName.h"
#include "common/Settings.h"
#include "common/Translation.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstring>
#include <initializer_list>
#include <memory>

namespace {

// A switch anywhere on the command line; --create-demo, --version and --help
// need no display: they are served before any window exists.
bool hasSwitch(int argc, char **argv, std::initializer_list<const char *> names)
{
    for (int i = 1; i < argc; ++i)
        for (const char *name : names)
            if (std::strcmp(argv[i], name) == 0)
                return true;
    return false;
}

// The command line of the program.
struct TOptions {
    QCommandLineOption open{QStringLiteral("open"), QStringLiteral("Открыть базу данных ALIAS после старта."),
                            QStringLiteral("ALIAS")};
    QCommandLineOption start{QStringLiteral("start"),
                             QStringLiteral("Открыть базу данных ALIAS с раскрытым деревом схемы, если не задан "
                                            "файл базы данных или --open (так запускает run.sh: --start DEMO)."),
                             QStringLiteral("ALIAS")};
    QCommandLineOption keys{QStringLiteral("keys"),
                            QStringLiteral("Нажать клавиши (через запятую): Return,Down,Alt+D."),
                            QStringLiteral("KEYS")};
    QCommandLineOption shot{QStringLiteral("screenshot"),
                            QStringLiteral("Сохранить снимок экрана в FILE (PNG) и выйти."), QStringLiteral("FILE")};
    QCommandLineOption delay{QStringLiteral("delay"), QStringLiteral("Пауза перед снимком, мс."),
                             QStringLiteral("MS"), QStringLiteral("1500")};
    QCommandLineOption preview{QStringLiteral("preview"),
                               QStringLiteral("Показать выходной файл отчета FILE в окне просмотра."),
                               QStringLiteral("FILE")};
    QCommandLineOption zoom{QStringLiteral("zoom"),
                            QStringLiteral("Масштаб окна просмотра: 0-3 (30-100 %), 4 - на всю страницу."),
                            QStringLiteral("N")};
    QCommandLineOption sql{QStringLiteral("sql"), QStringLiteral("Выполнить TEXT в окне SQL на открытой базе данных."),
                           QStringLiteral("TEXT")};
    QCommandLineOption demo{QStringLiteral("create-demo"),
                            QStringLiteral("Создать базу DEMO (demo.sqlite в папке программы) из SQL скриптов, "
                                           "заданных аргументами или найденных самой программой, и выйти.")};

    void AddTo(QCommandLineParser &parser) const
    {
        parser.setApplicationDescription(QStringLiteral("Quarn: базы данных, SQL и отчёты"));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOptions({open, start, keys, shot, delay, preview, zoom, sql, demo});
        parser.addPositionalArgument(QStringLiteral("FILE"),
                                     QStringLiteral("Файл базы данных SQLite: открыть его под псевдонимом сеанса."),
                                     QStringLiteral("[FILE]"));
    }
};

} // namespace

int main(int argc, char *argv[])
{
    if (hasSwitch(argc, argv, {"--create-demo"})) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Quarn"));
        QStringList scripts = QCoreApplication::arguments().mid(1);
        scripts.removeAll(QStringLiteral("--create-demo"));
        return CreateDemoDatabase(scripts);
    }
    if (hasSwitch(argc, argv, {"--version", "-v", "--help", "-h", "--help-all"})) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("quarn"));
        QCoreApplication::setApplicationVersion(ProgramVersion());
        LoadQtTranslation();
        QCommandLineParser parser;
        const TOptions options;
        options.AddTo(parser);
        parser.process(app);   // prints the version or the help and ends
        return 0;
    }

    TQuarnApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quarn"));
    QCoreApplication::setApplicationVersion(ProgramVersion());
    LoadQtTranslation();

    QCommandLineParser parser;
    const TOptions options;
    options.AddTo(parser);
    parser.process(app);

    // an installed program makes its DEMO database on the first start
    if (!QFileInfo::exists(QDir(ProgramDir()).filePath(QStringLiteral("demo.sqlite"))) && !DemoScripts().isEmpty())
        CreateDemoDatabase({});

    InstallFunctions();
    InstallReportViewer();
    InstallTextEditor();
    InstallGridCommands();
    InstallQueryBuilder();
    InstallGridStates();
    InstallDictionaryLookup();
    InstallReportExpert();
    InstallReportList();
    TDialogUserInterface userInterface;
    SetUserInterface(&userInterface);
    int result = 0;
    {
        TDbMainForm mainForm;
        InstallSQLEditor(mainForm);
        InstallCalculator(mainForm.KeyFilter().OnCalculatorKey, &mainForm);
        TStartSteps steps;
        steps.OpenAlias = parser.value(options.open);
        steps.Keys = parser.value(options.keys).split(u',', Qt::SkipEmptyParts);
        steps.ScreenshotFile = parser.value(options.shot);
        steps.Delay = parser.value(options.delay).toInt();
        steps.SqlText = parser.value(options.sql);
        // a file named on the command line is taken against the current directory
        if (parser.isSet(options.preview))
            steps.PreviewFile = QFileInfo(parser.value(options.preview)).absoluteFilePath();
        if (!parser.positionalArguments().isEmpty())
            steps.OpenFile = QFileInfo(parser.positionalArguments().first()).absoluteFilePath();
        if (parser.isSet(options.zoom))
            steps.PreviewZoom = parser.value(options.zoom).toInt();
        // the start alias only when no database is named otherwise
        if (steps.OpenAlias.isEmpty() && steps.OpenFile.isEmpty() && parser.isSet(options.start)) {
            steps.OpenAlias = parser.value(options.start);
            steps.ExpandTree = true;
        }
        // a preview alone is the program's only window: closing it ends
        // the program
        if (steps.PreviewFile.isEmpty() || !steps.OpenAlias.isEmpty() || !steps.OpenFile.isEmpty()
            || !steps.SqlText.isEmpty())
            mainForm.show();
        if (!steps.OpenAlias.isEmpty() || !steps.OpenFile.isEmpty() || !steps.Keys.isEmpty()
            || !steps.ScreenshotFile.isEmpty() || !steps.PreviewFile.isEmpty() || !steps.SqlText.isEmpty())
            new TStartScript(mainForm, steps);   // owned by the main window
        result = app.exec();
    }
    SetUserInterface(nullptr);
    return result;
}
