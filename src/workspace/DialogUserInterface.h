#pragma once

#include "common/UserInterface.h"

#include <QObject>
#include <QProgressDialog>
#include <memory>

// The windows' answer to what the headless parts ask of a person: input
// boxes, message boxes with the asked-for buttons, the file-open dialog,
// the login dialog, and the Esc key of long loops. Install it with
// SetUserInterface once the application object exists.
class TDialogUserInterface : public QObject, public TUserInterface {
    Q_OBJECT
public:
    explicit TDialogUserInterface(QObject *parent = nullptr);
    ~TDialogUserInterface() override;

    bool InputQuery(const QString &caption, const QString &prompt, QString &value) override;
    int MessageDlg(const QString &text, const QString &caption, Kind kind,
                   const QList<Button> &buttons) override;
    QString OpenFileName(const QString &title, const QString &filter, const QString &dir) override;
    QString SaveFileName(const QString &title, const QString &filter, const QString &dir) override;
    // Runs the pending messages; true when Esc was pressed among them.
    bool ProcessMessages() override;
    // "Выполнение запроса..." with "Отмена" (and Esc) and a busy cursor
    // while a long statement runs; the windows keep painting.
    bool StatementRunning(double seconds) override;
    void StatementEnded() override;
    bool LoginDialog(const QString &databaseName, QString &userName, QString &password) override;

    // A filter of the form "Text|*.a;*.b|Text|*.c" as a file dialog's
    // filter "Text (*.a *.b);;Text (*.c)".
    static QString FileDialogFilter(const QString &filter);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool m_escPressed = false;
    std::unique_ptr<QProgressDialog> m_busy;
};
