#pragma once

#include "data/DataSet.h"
#include "data/Query.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <functional>

class TSearchDBGrid;

// The choice window of a dictionary: a searchable grid over a reference
// query; "Выбрать" or a double click chooses a row.
class TDicChoiceForm : public QDialog {
    Q_OBJECT
public:
    explicit TDicChoiceForm(QWidget *parent);
    ~TDicChoiceForm() override;

    // Shows the fields named in the column map, titled and sized by it
    // ("FIELD=Title" or "FIELD=Title,$12": "$" money, "+" centred, "-"
    // right, then a width), in the query's order; an empty map shows all.
    static void ApplyFieldMap(TDataSet &dataSet, const QStringList &fieldMap);

    TQuery Query;
    TDataSource Source;
    QStringList FieldMap;
    TSearchDBGrid *Grid = nullptr;
    QPushButton *ChooseBtn = nullptr;
    QPushButton *CancelBtn = nullptr;

protected:
    void resizeEvent(QResizeEvent *event) override;
};

// The lookup button beside an edit box holding a code: "+" (or the keypad
// "+" in the edit box) opens the choice window over GridSQL, the chosen
// row's RefField goes into the edit box and its TextField into the label;
// the label follows the code through LabelSQL, and a Required code that
// LabelSQL does not know is refused with "Неверное значение".
class TDicButton : public QPushButton {
    Q_OBJECT
public:
    explicit TDicButton(QWidget *parent = nullptr);
    ~TDicButton() override;

    QLabel *LinkLabel() const { return m_label; }
    void SetLinkLabel(QLabel *label) { m_label = label; }
    QLineEdit *LinkEdit() const { return m_edit; }
    // Attaches to an edit box; with a data source and a field name the edit
    // box shows that field, and a chosen code is written into the field.
    void SetLinkEdit(QLineEdit *edit, TDataSource *source = nullptr, const QString &fieldName = QString());

    QString RefField, TextField;
    QStringList FieldMap;
    QStringList GridSQL, LabelSQL;
    QString DatabaseName;
    bool Required = false;
    bool SearchInUse = true;
    QString FormTitle;
    TFieldType ParamType = ftString;
    int TitleRows() const { return m_titleRows; }
    void SetTitleRows(int rows);   // negative: "Индекс сетки вне диапазона"
    int FormWidth() const { return m_formWidth; }
    void SetFormWidth(int w) { m_formWidth = std::max(w, 240); }
    int FormHeight() const { return m_formHeight; }
    void SetFormHeight(int h) { m_formHeight = std::max(h, 240); }

    std::function<void(TDicButton &, QString &code)> OnLinkEditChanged;
    std::function<void(TDicButton &, TQuery &, QString &text)> OnLinkLabelChanged;
    std::function<void(TDicButton &, TQuery &)> OnGetParams, OnSetParams;

    // Copies every property of another button; nullptr clears them.
    void Assign(const TDicButton *other);

    // Opens the choice window and takes the chosen row.
    void Lookup();
    // Looks the code up through LabelSQL and shows its name in the label.
    void RefreshLabel();
    // The edit box's code (a data-aware one: its field's text).
    QString Code() const;

    // The choice window of the last lookup while it is shown (tests).
    TDicChoiceForm *ChoiceForm() const { return m_form; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setCode(const QString &code);
    bool labelShown() const;

    QPointer<QLabel> m_label;
    QPointer<QLineEdit> m_edit;
    TDataSource *m_source = nullptr;
    QString m_fieldName;
    QString m_lookedUp;         // the code last looked up
    bool m_skipChange = false;  // the next change comes from typing or a lookup
    int m_titleRows = 2;
    int m_formWidth = 560, m_formHeight = 370;
    QPointer<TDicChoiceForm> m_form;
};

struct TDictionaryRequest;
// The choice window for GetFromDictionary: the chosen row's value of the
// request's field by the field's type (texts, floating numbers, Booleans,
// dates), null when cancelled.
QVariant DictionaryChoice(const TDictionaryRequest &request);
// Makes GetFromDictionary of the report scripts show the choice window.
void InstallDictionaryLookup();
