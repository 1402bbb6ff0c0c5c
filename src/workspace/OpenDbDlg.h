#pragma once

#include "data/DataSet.h"

#include <QDialog>
#include <memory>

class QPushButton;
class QTableWidget;

// "Базы данных": lists the aliases and returns the one the user picks.
// The list is opened while the dialog is shown and closed when it hides;
// "OK" works only when the list has at least one alias. A row's tooltip is
// the alias's description; "&Псевдонимы..." edits the aliases.
class TOpenDbDlg : public QDialog {
    Q_OBJECT
public:
    // `aliasList` is the alias list dataset (NAME, DBTYPE, PHYNAME); by
    // default the engine's aliases.
    explicit TOpenDbDlg(QWidget *parent = nullptr, std::unique_ptr<TDataSet> aliasList = nullptr);
    ~TOpenDbDlg() override;

    // The chosen alias and its database type (after OK).
    const QString &DatabaseName() const { return m_databaseName; }
    const QString &DatabaseType() const { return m_databaseType; }

    TDataSet &AliasList() const { return *m_aliasList; }
    QTableWidget *AliasGrid = nullptr;
    QPushButton *OKBtn = nullptr;
    QPushButton *CancelBtn = nullptr;
    // "&Псевдонимы...": the alias dialog; the list is read again after it.
    QPushButton *AliasesBtn = nullptr;

    // Takes the alias of the grid's current row and closes with OK.
    void OKBtnClick();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void FormShow();
    void fillGrid();

    std::unique_ptr<TDataSet> m_aliasList;
    QString m_databaseName;
    QString m_databaseType;
};
