#include "MainCommands.h"

#include "DBNavigator.h"

#include <QAction>
#include <QImage>
#include <QPixmap>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

namespace {

// A standard icon whose disabled form is plainly faded: the styles' own
// disabled forms of dark glyphs look almost the same as the enabled ones.
QIcon toolIcon(QStyle *style, QStyle::StandardPixmap which)
{
    const QIcon standard = style->standardIcon(which);
    QIcon icon;
    for (int size : {16, 24, 32}) {
        const QPixmap normal = standard.pixmap(size, size);
        QImage faded = normal.toImage().convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < faded.height(); ++y)
            for (int x = 0; x < faded.width(); ++x) {
                const QColor c = faded.pixelColor(x, y);
                const int gray = 160 + qGray(c.rgb()) / 3;
                faded.setPixelColor(x, y, QColor(gray, gray, gray, c.alpha() / 2));
            }
        icon.addPixmap(normal, QIcon::Normal);
        icon.addPixmap(QPixmap::fromImage(faded), QIcon::Disabled);
    }
    return icon;
}

} // namespace

TMainCommands::TMainCommands(QMainWindow &window) : QObject(&window)
{
    MDatabase = window.menuBar()->addMenu(QStringLiteral("&База данных"));
    MDatabase->setObjectName(QStringLiteral("MDatabase"));
    AboutItem = addItem(MDatabase, "AboutItem", QStringLiteral("Информация"),
                        QStringLiteral("Сведения о программе"));
    MDatabase->addSeparator();
    MOpenDb = addItem(MDatabase, "MOpenDb", QStringLiteral("&Открыть..."),
                      QStringLiteral("Открыть базу данных"), QKeySequence(Qt::CTRL | Qt::Key_O));
    MOpenFile = addItem(MDatabase, "MOpenFile", QStringLiteral("Открыть файл базы данных..."),
                        QStringLiteral("Открыть файл базы данных SQLite без псевдонима"));
    MRecent = MDatabase->addMenu(QStringLiteral("Последние базы данных"));
    MRecent->setObjectName(QStringLiteral("MRecent"));
    MViewTable = addItem(MDatabase, "MViewTable", QStringLiteral("&Просмотр таблицы"),
                         QStringLiteral("Просмотр выбранной таблицы"), QKeySequence(Qt::CTRL | Qt::Key_V));
    MEnterSQL = addItem(MDatabase, "MEnterSQL", QStringLiteral("&Набрать SQL"),
                        QStringLiteral("Новое окно SQL запроса"), QKeySequence(Qt::CTRL | Qt::Key_Q));
    MDatabase->addSeparator();
    MExitApp = addItem(MDatabase, "MExitApp", QStringLiteral("В&ыход"),
                       QStringLiteral("Выход из программы"), QKeySequence(Qt::CTRL | Qt::Key_X));

    MSQL = window.menuBar()->addMenu(QStringLiteral("&SQL"));
    MSQL->setObjectName(QStringLiteral("MSQL"));
    MLoadSQL = addItem(MSQL, "MLoadSQL", QStringLiteral("&Загрузить из файла..."),
                       QStringLiteral("Загрузить SQL запрос из файла"), QKeySequence(Qt::CTRL | Qt::Key_L));
    MSaveSQL = addItem(MSQL, "MSaveSQL", QStringLiteral("&Сохранить в файл..."),
                       QStringLiteral("Сохранить SQL запрос в файл"), QKeySequence(Qt::CTRL | Qt::Key_S));
    MExecSQL = addItem(MSQL, "MExecSQL", QStringLiteral("&Выполнить"),
                       QStringLiteral("Выполнить SQL запрос"), QKeySequence(Qt::CTRL | Qt::Key_E));
    MExecScript = addItem(MSQL, "MExecScript", QStringLiteral("Выполнить с&ценарий"),
                          QStringLiteral("Выполнить все выражения текста по порядку"), QKeySequence(Qt::Key_F5));
    MExecScript->setShortcuts({QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E)});
    MHistory = addItem(MSQL, "MHistory", QStringLiteral("&История запросов..."),
                       QStringLiteral("Выражения, выполненные на этой базе данных"),
                       QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H));
    MPlan = addItem(MSQL, "MPlan", QStringLiteral("&План запроса"),
                    QStringLiteral("План выполнения SQL запроса"), QKeySequence(Qt::CTRL | Qt::Key_P));
    MSQL->addSeparator();
    MCascade = addItem(MSQL, "MCascade", QStringLiteral("Окна каскадом"),
                       QStringLiteral("Расположить окна каскадом"));
    MTile = addItem(MSQL, "MTile", QStringLiteral("Окна черепицей"),
                    QStringLiteral("Расположить окна черепицей"));

    ToolBar = window.addToolBar(QStringLiteral("Панель инструментов"));
    ToolBar->setObjectName(QStringLiteral("ToolBar"));
    ToolBar->setMovable(false);
    ToolBar->setFloatable(false);
    ToolBar->toggleViewAction()->setEnabled(false);   // the toolbar is always there
    QStyle *style = window.style();
    MOpenDb->setIcon(toolIcon(style, QStyle::SP_DialogOpenButton));
    MViewTable->setIcon(toolIcon(style, QStyle::SP_FileDialogDetailedView));
    MExecSQL->setIcon(toolIcon(style, QStyle::SP_MediaPlay));
    MLoadSQL->setIcon(toolIcon(style, QStyle::SP_FileIcon));
    MSaveSQL->setIcon(toolIcon(style, QStyle::SP_DialogSaveButton));
    MPlan->setIcon(toolIcon(style, QStyle::SP_FileDialogInfoView));
    MExitApp->setIcon(toolIcon(style, QStyle::SP_DialogCloseButton));
    MEnterSQL->setIconText(QStringLiteral("SQL"));

    SBOpen = addButton("SBOpen", MOpenDb);
    SBViewTable = addButton("SBViewTable", MViewTable);
    SBEnterSQL = addButton("SBEnterSQL", MEnterSQL);
    SBEnterSQL->setToolButtonStyle(Qt::ToolButtonTextOnly);
    SBExecSQL = addButton("SBExecSQL", MExecSQL);
    LoadBtn = addButton("LoadBtn", MLoadSQL);
    SaveBtn = addButton("SaveBtn", MSaveSQL);
    PlanBtn = addButton("PlanBtn", MPlan);
    SBExitApp = addButton("SBExitApp", MExitApp);
    ToolBar->addSeparator();
    ReadNavigator = new TDBNavigator({TDBNavigator::nbFirst, TDBNavigator::nbPrior, TDBNavigator::nbNext,
                                      TDBNavigator::nbLast, TDBNavigator::nbRefresh},
                                     ToolBar);
    ReadNavigator->setObjectName(QStringLiteral("ReadNavigator"));
    ToolBar->addWidget(ReadNavigator);
    ToolBar->addSeparator();
    WriteNavigator = new TDBNavigator({TDBNavigator::nbInsert, TDBNavigator::nbDelete, TDBNavigator::nbEdit,
                                       TDBNavigator::nbPost, TDBNavigator::nbCancel},
                                      ToolBar);
    WriteNavigator->setObjectName(QStringLiteral("WriteNavigator"));
    ToolBar->addWidget(WriteNavigator);

    // At start only opening a database and leaving work.
    EnableChildCommands(false, false, false);
    BindNavigators(nullptr, nullptr);
    EnableWindowCommands(0);
}

QAction *TMainCommands::addItem(QMenu *menu, const char *name, const QString &caption,
                                const QString &hint, const QKeySequence &shortcut)
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    action->setStatusTip(hint);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    return action;
}

QToolButton *TMainCommands::addButton(const char *name, QAction *action)
{
    auto *button = new QToolButton(ToolBar);
    button->setObjectName(QLatin1String(name));
    button->setDefaultAction(action);
    button->setAutoRaise(true);
    ToolBar->addWidget(button);
    return button;
}

void TMainCommands::EnableChildCommands(bool viewTable, bool enterSQL, bool sqlEditor)
{
    MViewTable->setEnabled(viewTable);
    MEnterSQL->setEnabled(enterSQL);
    for (QAction *a : {MExecSQL, MExecScript, MHistory, MLoadSQL, MSaveSQL, MPlan})
        a->setEnabled(sqlEditor);
}

void TMainCommands::BindNavigators(TDataSource *readSource, TDataSource *writeSource)
{
    ReadNavigator->SetDataSource(readSource);
    ReadNavigator->setEnabled(readSource != nullptr);
    WriteNavigator->SetDataSource(writeSource);
    WriteNavigator->setEnabled(writeSource != nullptr);
}

void TMainCommands::EnableWindowCommands(int childCount)
{
    MCascade->setEnabled(childCount > 0);
    MTile->setEnabled(childCount > 0);
}
