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

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <cstring>
#include <memory>

namespace {

// --create-demo needs no display: it runs before any window exists.
bool wantsDemo(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--create-demo") == 0)
            return true;
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (wantsDemo(argc, argv)) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Quarn"));
        QStringList scripts = QCoreApplication::arguments().mid(1);
        scripts.removeAll(QStringLiteral("--create-demo"));
        return CreateDemoDatabase(scripts);
    }

    TQuarnApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quarn"));
    LoadQtTranslation();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Quarn: базы данных, SQL и отчёты"));
    parser.addHelpOption();
    const QCommandLineOption openOption(QStringLiteral("open"),
                                        QStringLiteral("Открыть базу данных ALIAS после старта."),
                                        QStringLiteral("ALIAS"));
    const QCommandLineOption keysOption(QStringLiteral("keys"),
                                        QStringLiteral("Нажать клавиши (через запятую): Return,Down,Alt+D."),
                                        QStringLiteral("KEYS"));
    const QCommandLineOption shotOption(QStringLiteral("screenshot"),
                                        QStringLiteral("Сохранить снимок экрана в FILE (PNG) и выйти."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption delayOption(QStringLiteral("delay"),
                                         QStringLiteral("Пауза перед снимком, мс."), QStringLiteral("MS"),
                                         QStringLiteral("1500"));
    const QCommandLineOption previewOption(QStringLiteral("preview"),
                                           QStringLiteral("Показать выходной файл отчета FILE в окне просмотра."),
                                           QStringLiteral("FILE"));
    const QCommandLineOption zoomOption(QStringLiteral("zoom"),
                                        QStringLiteral("Масштаб окна просмотра: 0-3 (30-100 %), 4 - на всю страницу."),
                                        QStringLiteral("N"));
    const QCommandLineOption sqlOption(QStringLiteral("sql"),
                                       QStringLiteral("Выполнить TEXT в окне SQL на открытой базе данных."),
                                       QStringLiteral("TEXT"));
    parser.addOptions({openOption, keysOption, shotOption, delayOption, previewOption, zoomOption, sqlOption});
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("Файл базы данных SQLite: открыть его под псевдонимом сеанса."),
                                 QStringLiteral("[FILE]"));
    parser.process(app);

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
        mainForm.show();
        TStartSteps steps;
        steps.OpenAlias = parser.value(openOption);
        steps.Keys = parser.value(keysOption).split(u',', Qt::SkipEmptyParts);
        steps.ScreenshotFile = parser.value(shotOption);
        steps.Delay = parser.value(delayOption).toInt();
        steps.SqlText = parser.value(sqlOption);
        // a file named on the command line is taken against the current directory
        if (parser.isSet(previewOption))
            steps.PreviewFile = QFileInfo(parser.value(previewOption)).absoluteFilePath();
        if (!parser.positionalArguments().isEmpty())
            steps.OpenFile = QFileInfo(parser.positionalArguments().first()).absoluteFilePath();
        if (parser.isSet(zoomOption))
            steps.PreviewZoom = parser.value(zoomOption).toInt();
        if (!steps.OpenAlias.isEmpty() || !steps.OpenFile.isEmpty() || !steps.Keys.isEmpty()
            || !steps.ScreenshotFile.isEmpty() || !steps.PreviewFile.isEmpty() || !steps.SqlText.isEmpty())
            new TStartScript(mainForm, steps);   // owned by the main window
        result = app.exec();
    }
    SetUserInterface(nullptr);
    return result;
}
