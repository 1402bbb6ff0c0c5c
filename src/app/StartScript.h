#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class TDbMainForm;

// What the tool switches ask the program to do once it runs, so that a
// window can be looked at as a person would see it: open an alias, press
// keys, save an image of the screen and end.
struct TStartSteps {
    QString OpenAlias;       // --open ALIAS (or --start ALIAS)
    bool ExpandTree = false; // --start: the browser opens with its tree expanded
    QString OpenFile;        // quarn FILE.sqlite: a database file under a session alias
    QStringList Keys;        // --keys "Return,Down,Alt+D"
    QString ScreenshotFile;  // --screenshot FILE
    int Delay = 1500;        // --delay MS before the image is taken
    QString PreviewFile;     // --preview FILE: a report output in the preview window
    int PreviewZoom = -1;    // --zoom N: its zoom list item (4: the whole page)
    QString SqlText;         // --sql TEXT: an SQL editor on the opened alias runs TEXT
};

class TStartScript : public QObject {
    Q_OBJECT
public:
    TStartScript(TDbMainForm &mainForm, TStartSteps steps);

    // Sends a key (a name such as "Return", "F6" or "Alt+D") to the focused
    // widget the way the keyboard would; false for a name that is no key.
    static bool SendKey(const QString &name);
    // An image of what the screen shows of the main window and the windows
    // over it.
    static QImage Grab(TDbMainForm &mainForm);

private:
    void openAlias();
    void openPreview();
    void openSqlEditor();
    void pressKey(const QString &key);
    void takeScreenshot();

    TDbMainForm &m_mainForm;
    TStartSteps m_steps;
};
