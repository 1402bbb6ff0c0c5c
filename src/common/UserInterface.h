#pragma once

#include <QString>
#include <QStringList>

// What the headless parts need from a person. The windows install an
// implementation with dialogs; without one (tests, the batch tool) the
// non-interactive default answers: inputs keep their defaults (an input
// without one counts as cancelled), questions get "No", no file is chosen
// and Esc is never pressed.
class TUserInterface {
public:
    enum Button { mbOK = 1, mbCancel = 2, mbAbort = 3, mbRetry = 4, mbIgnore = 5,
                  mbYes = 6, mbNo = 7, mbAll = 8 };
    enum Kind { mtWarning, mtError, mtInformation, mtConfirmation };

    virtual ~TUserInterface() = default;

    // An input box; false when the person cancelled. `value` holds the
    // default on entry and the typed text on return.
    virtual bool InputQuery(const QString &caption, const QString &prompt, QString &value);
    // A modal message box with the given buttons; returns the one pressed.
    virtual int MessageDlg(const QString &text, const QString &caption, Kind kind,
                           const QList<Button> &buttons);
    // A file-open dialog; an empty text when cancelled.
    virtual QString OpenFileName(const QString &title, const QString &filter,
                                 const QString &dir);
    // A file-save dialog; an empty text when cancelled. It does not ask
    // about an existing file: the caller does.
    virtual QString SaveFileName(const QString &title, const QString &filter,
                                 const QString &dir);
    // Lets pending window messages run during a long loop; true when the
    // person pressed Esc since the last call.
    virtual bool ProcessMessages();
    // A statement sent on the person's behalf has been running `seconds`
    // (called from half a second on, a few times a second, while it runs):
    // the program shows it is busy, with a way to stop it, and lets window
    // messages run; true when the person asked to stop it.
    virtual bool StatementRunning(double seconds);
    // That statement ended: the busy sign goes.
    virtual void StatementEnded();
    // Asks user name and password before connecting to the database
    // `databaseName`; false when the person cancelled. `userName` holds the
    // alias's default on entry. Without a person the password is taken from
    // the environment variable QUARN_PASSWORD and the user name is kept.
    virtual bool LoginDialog(const QString &databaseName, QString &userName, QString &password);
};

// The installed implementation (never null).
TUserInterface &UserInterface();
// Installs `ui` (not owned) and returns the previous one; nullptr restores
// the non-interactive default.
TUserInterface *SetUserInterface(TUserInterface *ui);

// The abort prompt of long loops: lets pending messages run; when Esc was
// pressed asks "Прервать процесс ?" and, on Yes and when `canAbort`,
// raises Exception "Операция прервана пользователем". Returns true when the
// person answered Yes (also when not allowed to abort).
bool CheckAbort(bool canAbort = true);
