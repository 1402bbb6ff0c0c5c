#include "DBEdit.h"

#include "common/FormatSettings.h"
#include "uisupport/Guard.h"

#include <QApplication>
#include <QKeyEvent>

TDBEdit::TDBEdit(QWidget *parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textEdited, this, [this] { m_modified = true; });
}

TDBEdit::~TDBEdit()
{
    SetDataSource(nullptr);
}

void TDBEdit::SetDataSource(TDataSource *source)
{
    if (m_source == source)
        return;
    if (m_source)
        m_source->RemoveLink(m_link);
    m_source = source;
    m_link = 0;
    if (m_source)
        m_link = m_source->AddLink([this](TDataEvent event, TField *field) {
            if (event == deLayoutChange || m_writing || (event == deFieldChange && field != Field()))
                return;
            showField();
        });
    showField();
}

void TDBEdit::SetDataField(const QString &name)
{
    m_dataField = name;
    showField();
}

TField *TDBEdit::Field() const
{
    TDataSet *ds = m_source && m_source->Enabled() ? m_source->DataSet() : nullptr;
    return ds && ds->Active() && !m_dataField.isEmpty() ? ds->FindField(m_dataField) : nullptr;
}

bool TDBEdit::Editing() const
{
    TField *field = Field();
    return field && (field->DataSet()->State() == dsEdit || field->DataSet()->State() == dsInsert);
}

void TDBEdit::showField()
{
    TField *field = Field();
    m_modified = false;
    setText(field ? field->AsString() : QString());
}

bool TDBEdit::startEdit()
{
    TField *field = Field();
    if (!field || field->ReadOnly() || !field->DataSet()->CanModify())
        return false;
    if (!Editing())
        field->DataSet()->Edit();
    return true;
}

void TDBEdit::UpdateRecord()
{
    TField *field = Field();
    if (!field || !m_modified)
        return;
    QString value = text();
    if (IsNumericType(field->DataType()))
        value.remove(FormatSettings().ThousandSeparator);
    m_writing = true;
    try {
        field->SetAsString(value);
    } catch (...) {
        m_writing = false;
        throw;
    }
    m_writing = false;
    m_modified = false;
}

void TDBEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_modified) {
        showField();
        selectAll();
        return;
    }
    const bool changes = (!event->text().isEmpty() && event->text().at(0) >= u' ')
                         || event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete
                         || event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut);
    if (changes && !event->matches(QKeySequence::Copy)) {
        bool editable = false;
        Guarded(this, [&] { editable = startEdit(); });
        if (!editable) {
            QApplication::beep();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void TDBEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    Guarded(this, [this] {
        try {
            UpdateRecord();
        } catch (...) {
            selectAll();
            setFocus();
            throw;
        }
    });
}
