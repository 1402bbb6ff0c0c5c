#include "UserInterface.h"

#include "Exceptions.h"

bool TUserInterface::InputQuery(const QString &, const QString &, QString &value)
{
    // Without a person the default is the answer; with no default there is
    // no answer, as if the person had cancelled.
    return !value.isEmpty();
}

int TUserInterface::MessageDlg(const QString &, const QString &, Kind, const QList<Button> &buttons)
{
    // Without a person the answer is the safe one: No, then Cancel, then
    // whatever single button the box has.
    for (Button safe : {mbNo, mbCancel, mbOK})
        if (buttons.contains(safe))
            return safe;
    return buttons.isEmpty() ? int(mbOK) : int(buttons.first());
}

QString TUserInterface::OpenFileName(const QString &, const QString &, const QString &)
{
    return QString();
}

QString TUserInterface::SaveFileName(const QString &, const QString &, const QString &)
{
    return QString();
}

bool TUserInterface::ProcessMessages()
{
    return false;
}

bool TUserInterface::StatementRunning(double)
{
    return false;
}

void TUserInterface::StatementEnded() {}

bool TUserInterface::LoginDialog(const QString &, QString &, QString &password)
{
    password = qEnvironmentVariable("QUARN_PASSWORD");
    return true;
}

static TUserInterface *&installed()
{
    static TUserInterface *ui = nullptr;
    return ui;
}

TUserInterface &UserInterface()
{
    static TUserInterface nonInteractive;
    TUserInterface *ui = installed();
    return ui ? *ui : nonInteractive;
}

TUserInterface *SetUserInterface(TUserInterface *ui)
{
    TUserInterface *previous = installed();
    installed() = ui;
    return previous;
}

bool CheckAbort(bool canAbort)
{
    TUserInterface &ui = UserInterface();
    if (!ui.ProcessMessages())
        return false;
    const int answer = ui.MessageDlg(QStringLiteral("Прервать процесс ?"), QString(),
                                     TUserInterface::mtConfirmation,
                                     {TUserInterface::mbYes, TUserInterface::mbNo});
    if (answer != TUserInterface::mbYes)
        return false;
    if (canAbort)
        throw Exception(QStringLiteral("Операция прервана пользователем"));
    return true;
}
