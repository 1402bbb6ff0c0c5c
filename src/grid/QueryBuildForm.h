#pragma once

#include "QueryBuilderModel.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class TQuery;
class TSearchDBGrid;

// The query builder ("Конструктор запроса"): condition rows made of a field,
// an operator and a value, grouped by "-- ИЛИ --", and sort rows, which
// "&Выполнить" turns into the grid query's condition block and ORDER BY.
class TQueryBuildForm : public QDialog {
    Q_OBJECT
public:
    TQueryBuildForm(QWidget *parent, TQuery &query, const QStringList &rows);
    ~TQueryBuildForm() override;

    QStringList Rows() const;
    QStringList SortRows() const;
    // The sort rows as an ORDER BY list.
    QString OrderText() const;
    const TBuilderFields &Fields() const { return m_fields; }

    // Page "Условия запроса".
    QListWidget *FieldList = nullptr;
    QPushButton *AddFieldBtn = nullptr;     // "+"
    QListWidget *OperList = nullptr;
    QPushButton *AddOperBtn = nullptr;      // "<"
    QListWidget *CondList = nullptr;
    QLabel *ValueLabel = nullptr;
    QLineEdit *ValueEdit = nullptr;
    QPushButton *FieldValueBtn = nullptr;   // ">"
    QPushButton *OrBtn = nullptr;
    QPushButton *ListBtn = nullptr;
    QPushButton *DeleteBtn = nullptr;
    QPushButton *ClearBtn = nullptr;
    // Page "Порядок сортировки".
    QListWidget *SortFieldList = nullptr;
    QPushButton *SortAddBtn = nullptr;
    QListWidget *SortList = nullptr;
    QComboBox *OrderBox = nullptr;
    QPushButton *SortDeleteBtn = nullptr;
    QPushButton *SortClearBtn = nullptr;
    // Buttons.
    QTabWidget *Pages = nullptr;
    QPushButton *SaveBtn = nullptr;
    QPushButton *RunBtn = nullptr;
    QPushButton *CancelBtn = nullptr;

    // The buttons' actions, for the keys and clicks.
    void AddFieldClick();
    void AddOperClick();
    void FieldValueClick();
    void OrClick();
    void ValuesListClick();
    void DeleteClick();
    void ClearClick();
    void ValueEdited(const QString &text);
    void SortAddClick();
    void OrderChosen(int index);
    void SaveClick();

protected:
    void changeEvent(QEvent *event) override;

private:
    struct TRowParts {
        QString label;
        int op = -1;
        QString value;
    };
    TRowParts partsOf(const QString &row) const;
    QString selectedRow() const;
    void setSelectedRow(const QString &row);
    void rowSelected();
    void updateEnabling();
    bool readOnly() const;

    TQuery &m_query;
    TBuilderFields m_fields;
};

// Edits a list of values, one per line; loads and saves them as text files.
class TValuesListForm : public QDialog {
    Q_OBJECT
public:
    TValuesListForm(QWidget *parent, const QStringList &values);
    QStringList Values() const;

    QPlainTextEdit *ValuesMemo = nullptr;
    QPushButton *LoadBtn = nullptr;
    QPushButton *SaveBtn = nullptr;
    QPushButton *OKBtn = nullptr;
    QPushButton *CancelBtn = nullptr;
};

// Fills QueryBuilderHook: the builder's window for the keys and the menu,
// the run without a window for table states.
void InstallQueryBuilder();
