#pragma once

#include <QLineEdit>

#include "data/DataSet.h"

// A data-aware edit box: shows one field of a data source's current record
// and writes what the person typed into it when the focus leaves. Typing
// into a browsed record puts the dataset into editing first; when the field
// cannot be modified the key is refused with a beep. Esc gives the field's
// value back.
class TDBEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TDBEdit(QWidget *parent = nullptr);
    ~TDBEdit() override;

    TDataSource *DataSource() const { return m_source; }
    void SetDataSource(TDataSource *source);
    const QString &DataField() const { return m_dataField; }
    void SetDataField(const QString &name);
    // The field shown; nullptr while there is none (no source, a closed
    // dataset, an unknown name).
    TField *Field() const;
    // True when the edit has a field whose dataset is editing or inserting.
    bool Editing() const;
    // Writes the text into the field; numbers without their thousands
    // separators. Raises what the field raises.
    void UpdateRecord();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void showField();
    bool startEdit();

    TDataSource *m_source = nullptr;
    int m_link = 0;
    QString m_dataField;
    bool m_modified = false;
    bool m_writing = false;
};
