#pragma once

#include <QDialog>

class QLineEdit;

// Asks user name and password before a database that needs a login is
// connected.
class TLoginDlg : public QDialog {
    Q_OBJECT
public:
    TLoginDlg(const QString &databaseName, const QString &userName, QWidget *parent = nullptr);

    QString UserName() const;
    QString Password() const;

    QLineEdit *UserNameEdit = nullptr;
    QLineEdit *PasswordEdit = nullptr;
};
