#pragma once

#include "data/Database.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

// One alias's settings, as aliases.ini keeps them; no password (it is asked
// at login and never stored).
class TAliasEditDlg : public QDialog {
    Q_OBJECT
public:
    explicit TAliasEditDlg(QWidget *parent = nullptr);

    void SetAlias(const TAlias &alias);
    TAlias Alias() const;

    QLineEdit *NameEdit = nullptr;
    QComboBox *DriverBox = nullptr;        // QSQLITE, QPSQL
    QLineEdit *DatabaseEdit = nullptr;
    QPushButton *BrowseBtn = nullptr;      // a SQLite file through the file dialog
    QLineEdit *HostEdit = nullptr;
    QLineEdit *PortEdit = nullptr;         // empty: the driver's default
    QLineEdit *UserEdit = nullptr;
    QCheckBox *LoginBox = nullptr;
    QLineEdit *DescriptionEdit = nullptr;
    QPushButton *OKBtn = nullptr;
    QPushButton *CancelBtn = nullptr;

private:
    void driverChanged();
    void browse();
    // The port typed: 0 for none (the driver's default), -1 for anything
    // but a number from 1 to 65535.
    int port() const;
    TAlias m_alias;   // keys the dialog does not show stay as they were
};

// "Псевдонимы баз данных": the aliases with their descriptions; adding,
// changing and deleting those of aliases.ini, and a connection test of any.
// A session alias (a file opened directly) changed here is written to
// aliases.ini and so kept.
class TAliasesDlg : public QDialog {
    Q_OBJECT
public:
    explicit TAliasesDlg(QWidget *parent = nullptr);

    QTableWidget *AliasGrid = nullptr;     // Название, Тип, Описание, Расположение
    QPushButton *AddBtn = nullptr;
    QPushButton *EditBtn = nullptr;
    QPushButton *TestBtn = nullptr;
    QPushButton *DeleteBtn = nullptr;
    QPushButton *CloseBtn = nullptr;

    void AddBtnClick();
    void EditBtnClick();
    // The alias added or changed last (empty when none was).
    QString LastSaved() const { return m_lastSaved; }
    void TestBtnClick();
    void DeleteBtnClick();

private:
    void fillGrid(const QString &current = QString());
    void updateButtons();
    // The alias of the current row, false without one.
    bool currentAlias(TAlias &alias) const;
    bool stored(const QString &name) const;

    QList<TAlias> m_aliases;
    QStringList m_stored;   // the sections of aliases.ini
    QString m_lastSaved;
};
