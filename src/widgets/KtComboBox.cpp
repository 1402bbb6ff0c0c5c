#include "KtComboBox.h"

#include "common/FormatSettings.h"
#include "uisupport/Guard.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScopedValueRollback>

TKtComboBox::TKtComboBox(QWidget *parent) : QComboBox(parent)
{
    connect(this, &QComboBox::currentIndexChanged, this, [this] { changed(); });
    connect(this, &QComboBox::editTextChanged, this, [this] { changed(); });
}

TKtComboBox::~TKtComboBox()
{
    SetDataSource(nullptr);
}

void TKtComboBox::SetStyle(TComboStyle style)
{
    m_style = style;
    QScopedValueRollback quiet(m_quiet, true);
    setEditable(style != csDropDownList);
    showField();
}

QStringList TKtComboBox::Items() const
{
    QStringList items;
    for (int i = 0; i < count(); ++i)
        items << itemText(i);
    return items;
}

void TKtComboBox::SetItems(const QStringList &items)
{
    QScopedValueRollback quiet(m_quiet, true);
    clear();
    addItems(items);
    showField();
}

void TKtComboBox::SetValues(const QStringList &values)
{
    m_values = values;
    showField();
}

void TKtComboBox::SetDataSource(TDataSource *source)
{
    if (m_source == source)
        return;
    if (m_source)
        m_source->RemoveLink(m_link);
    m_source = source;
    m_link = 0;
    if (m_source)
        m_link = m_source->AddLink([this](TDataEvent event, TField *field) {
            if (event == deLayoutChange || m_quiet || (event == deFieldChange && field != Field()))
                return;
            showField();
        });
    showField();
}

void TKtComboBox::SetDataField(const QString &name)
{
    m_dataField = name;
    showField();
}

TField *TKtComboBox::Field() const
{
    TDataSet *ds = m_source && m_source->Enabled() ? m_source->DataSet() : nullptr;
    return ds && ds->Active() && !m_dataField.isEmpty() ? ds->FindField(m_dataField) : nullptr;
}

void TKtComboBox::showField()
{
    QScopedValueRollback quiet(m_quiet, true);
    m_modified = false;
    TField *field = Field();
    const QString value = field ? field->AsString() : QString();
    // without values the items are what is stored
    const int index = int((m_values.isEmpty() ? Items() : m_values).indexOf(value));
    setCurrentIndex(index < count() ? index : -1);
    if (isEditable() && currentIndex() < 0)
        setEditText(value);
}

QString TKtComboBox::StoredValue() const
{
    const int index = isEditable() ? int(Items().indexOf(currentText())) : currentIndex();
    if (index >= 0)
        return index < m_values.size() ? m_values.at(index) : m_values.isEmpty() ? itemText(index) : QString();
    return isEditable() ? currentText() : QString();
}

bool TKtComboBox::canEdit() const
{
    if (m_readOnly)
        return false;
    if (!m_source)
        return true;
    TField *field = Field();
    if (!field)
        return false;
    const TDataSetState state = field->DataSet()->State();
    return !field->ReadOnly() && (state == dsEdit || state == dsInsert || field->CanModify());
}

bool TKtComboBox::startEdit()
{
    if (!canEdit())
        return false;
    TField *field = Field();
    if (field && field->DataSet()->State() == dsBrowse) {
        QScopedValueRollback quiet(m_quiet, true);
        field->DataSet()->Edit();
    }
    return true;
}

void TKtComboBox::changed()
{
    if (m_quiet)
        return;
    bool editable = false;
    Guarded(this, [&] { editable = startEdit(); });
    if (!editable) {
        QApplication::beep();
        showField();
        return;
    }
    m_modified = true;
}

void TKtComboBox::UpdateRecord()
{
    TField *field = Field();
    if (!field || !m_modified)
        return;
    QScopedValueRollback quiet(m_quiet, true);
    field->SetAsString(StoredValue());
    m_modified = false;
}

bool TKtComboBox::acceptsChar(QChar c) const
{
    TField *field = Field();
    if (!field)
        return true;
    const bool digit = c.isDigit() && c.unicode() < 128;
    switch (field->DataType()) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc:
        return digit || c == u'+' || c == u'-';
    case ftFloat: case ftCurrency: case ftBCD:
        return digit || c == u'+' || c == u'-' || c == u'e' || c == u'E' || c == FormatSettings().DecimalSeparator;
    default:
        return true;
    }
}

void TKtComboBox::showPopup()
{
    if (m_style == csDropDownList && !canEdit())
        return;
    QComboBox::showPopup();
}

void TKtComboBox::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        showField();
        if (QLineEdit *edit = lineEdit())
            edit->selectAll();
        QComboBox::keyPressEvent(event);   // a dialog still closes
        return;
    }
    const QString text = event->text();
    const bool typed = text.size() == 1 && text.at(0) >= u' '
                       && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (m_style == csDropDownList && event->key() == Qt::Key_Space && typed) {
        if (count() > 0 && startEdit())
            setCurrentIndex((currentIndex() + 1) % count());
        return;
    }
    if (typed && isEditable() && !acceptsChar(text.at(0))) {
        QApplication::beep();
        return;
    }
    QComboBox::keyPressEvent(event);
}

void TKtComboBox::wheelEvent(QWheelEvent *event)
{
    if (canEdit())
        QComboBox::wheelEvent(event);
}

void TKtComboBox::focusOutEvent(QFocusEvent *event)
{
    QComboBox::focusOutEvent(event);
    if (event->reason() == Qt::PopupFocusReason)
        return;
    Guarded(this, [this] {
        try {
            UpdateRecord();
        } catch (...) {
            if (QLineEdit *edit = lineEdit())
                edit->selectAll();
            setFocus();
            throw;
        }
    });
}
