#pragma once

#include <QDialog>
#include <QList>
#include <QPair>

class QLabel;
class QPushButton;
class QTableWidget;

// "Выбор объекта отчета": the variables and functions a template can use,
// sorted by name, with a search typed into the list.
class TFldChoiceForm : public QDialog {
    Q_OBJECT
public:
    // `names`: (name, description) pairs; `row` is selected when it exists.
    TFldChoiceForm(QWidget *parent, QList<QPair<QString, QString>> names, int row);

    // The chosen row and its name.
    int ChosenRow() const;
    QString ChosenName() const;
    const QString &SearchText() const { return m_search; }

    QTableWidget *NameGrid = nullptr;
    QLabel *SearchPanel = nullptr;
    QPushButton *ChooseBtn = nullptr;
    QPushButton *ExitBtn = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void searchChanged();
    QString m_search;
};
