#include "LoginDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TLoginDlg::TLoginDlg(const QString &databaseName, const QString &userName, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("LoginDlg"));
    setWindowTitle(QStringLiteral("Вход в базу данных"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto *database = new QLabel(databaseName, this);
    database->setObjectName(QStringLiteral("DatabaseName"));
    QFont bold = database->font();
    bold.setBold(true);
    database->setFont(bold);
    UserNameEdit = new QLineEdit(userName, this);
    UserNameEdit->setObjectName(QStringLiteral("UserNameEdit"));
    PasswordEdit = new QLineEdit(this);
    PasswordEdit->setObjectName(QStringLiteral("PasswordEdit"));
    PasswordEdit->setEchoMode(QLineEdit::Password);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("База данных:"), database);
    auto *userLabel = new QLabel(QStringLiteral("&Пользователь:"), this);
    userLabel->setBuddy(UserNameEdit);
    form->addRow(userLabel, UserNameEdit);
    auto *passwordLabel = new QLabel(QStringLiteral("П&ароль:"), this);
    passwordLabel->setBuddy(PasswordEdit);
    form->addRow(passwordLabel, PasswordEdit);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("Buttons"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    UserNameEdit->setMinimumWidth(220);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // The user name is usually known from the alias: start at the password.
    (userName.isEmpty() ? UserNameEdit : PasswordEdit)->setFocus();
}

QString TLoginDlg::UserName() const
{
    return UserNameEdit->text();
}

QString TLoginDlg::Password() const
{
    return PasswordEdit->text();
}
