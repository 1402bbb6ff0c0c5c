#pragma once

#include <QKeySequence>
#include <QObject>

class QAction;
class QMainWindow;
class QMenu;
class QToolBar;
class QToolButton;
class TDataSource;
class TDBNavigator;

// The main window's commands: the menu items, the toolbar buttons that run
// the same commands, the two record navigators, and the rule that enables
// the commands that need a child window. A menu item and its button share
// one action, so they are always enabled together.
class TMainCommands : public QObject {
    Q_OBJECT
public:
    // Builds the menu bar and the toolbar of `window`.
    explicit TMainCommands(QMainWindow &window);

    // "&База данных"
    QMenu *MDatabase = nullptr;
    QAction *AboutItem = nullptr;    // "Информация"
    QAction *MOpenDb = nullptr;      // "&Открыть..."           Ctrl+O
    QAction *MOpenFile = nullptr;    // "Открыть файл базы данных..."
    QMenu *MRecent = nullptr;        // "Последние базы данных": filled as it opens
    QAction *MViewTable = nullptr;   // "&Просмотр таблицы"     Ctrl+V
    QAction *MEnterSQL = nullptr;    // "&Набрать SQL"          Ctrl+Q
    QAction *MExitApp = nullptr;     // "В&ыход"                Ctrl+X
    // "&SQL"
    QMenu *MSQL = nullptr;
    QAction *MLoadSQL = nullptr;     // "&Загрузить из файла..." Ctrl+L
    QAction *MSaveSQL = nullptr;     // "&Сохранить в файл..."   Ctrl+S
    QAction *MExecSQL = nullptr;     // "&Выполнить"            Ctrl+E
    QAction *MExecScript = nullptr;  // "Выполнить с&ценарий"   F5, Ctrl+Shift+E
    QAction *MHistory = nullptr;     // "&История запросов..."  Ctrl+Shift+H
    QAction *MPlan = nullptr;        // "&План запроса"         Ctrl+P
    QAction *MCascade = nullptr;     // "Окна каскадом"
    QAction *MTile = nullptr;        // "Окна черепицей"

    QToolBar *ToolBar = nullptr;
    QToolButton *SBOpen = nullptr, *SBViewTable = nullptr, *SBEnterSQL = nullptr,
                *SBExecSQL = nullptr, *LoadBtn = nullptr, *SaveBtn = nullptr, *PlanBtn = nullptr,
                *SBExitApp = nullptr;
    TDBNavigator *ReadNavigator = nullptr;    // first, prior, next, last, refresh
    TDBNavigator *WriteNavigator = nullptr;   // insert, delete, edit, post, cancel

    // The commands that depend on the active child: view-table for a schema
    // browser, enter-SQL for any database window, execute, load, save and
    // plan for an SQL editor.
    void EnableChildCommands(bool viewTable, bool enterSQL, bool sqlEditor);
    // Binds each navigator to its data source and enables it only with one.
    void BindNavigators(TDataSource *readSource, TDataSource *writeSource);
    // The window commands, from the number of child windows.
    void EnableWindowCommands(int childCount);

private:
    QAction *addItem(QMenu *menu, const char *name, const QString &caption, const QString &hint,
                     const QKeySequence &shortcut = QKeySequence());
    QToolButton *addButton(const char *name, QAction *action);
};
