#pragma once

#include <QComboBox>
#include <QStringList>

#include "data/DataSet.h"

// A data-aware drop-down whose shown texts (`Items`) differ from the values
// stored in the field (`Values`, parallel to `Items`): "Горизонтальная"
// shown, "L" stored. In the drop-down list style (the default) a value not
// among `Values` shows no item and nothing selected stores an empty value;
// in the styles with an edit part such a value shows as typed text and the
// edited text is stored (the value of the item when it is one of `Items`).
// The space bar steps through the list, Esc gives the stored value back,
// leaving the control writes the field (on failure the control keeps the
// focus). A dataset that cannot be edited opens no list and takes no
// change.
class TKtComboBox : public QComboBox {
    Q_OBJECT
public:
    enum TComboStyle { csDropDown, csSimple, csDropDownList };

    explicit TKtComboBox(QWidget *parent = nullptr);
    ~TKtComboBox() override;

    TComboStyle Style() const { return m_style; }
    // csSimple (a fixed list with an edit part) has no window of its own
    // here and works as csDropDown.
    void SetStyle(TComboStyle style);
    QStringList Items() const;
    void SetItems(const QStringList &items);
    const QStringList &Values() const { return m_values; }
    void SetValues(const QStringList &values);

    TDataSource *DataSource() const { return m_source; }
    void SetDataSource(TDataSource *source);
    const QString &DataField() const { return m_dataField; }
    void SetDataField(const QString &name);
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool on) { m_readOnly = on; }
    TField *Field() const;

    // The value that what is shown stands for.
    QString StoredValue() const;
    // Writes a change into the field; raises what the field raises.
    void UpdateRecord();

    void showPopup() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void showField();
    bool canEdit() const;
    bool startEdit();
    void changed();
    bool acceptsChar(QChar c) const;

    TComboStyle m_style = csDropDownList;
    QStringList m_values;
    TDataSource *m_source = nullptr;
    int m_link = 0;
    QString m_dataField;
    bool m_readOnly = false;
    bool m_modified = false;
    bool m_quiet = false;   // the control's own changes and writes
};
