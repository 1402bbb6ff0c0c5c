#include "KtCurrencyLink.h"

#include "DBEdit.h"

#include "common/Format.h"
#include "common/FormatSettings.h"
#include "uisupport/Guard.h"
#include "widgets/CurrencyText.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>

TKtCurrencyLink::TKtCurrencyLink(QObject *parent) : QObject(parent) {}

TKtCurrencyLink::~TKtCurrencyLink()
{
    SetLinkEdit(nullptr);
}

bool &TKtCurrencyLink::LiveFormatting()
{
    static bool on = true;
    return on;
}

void TKtCurrencyLink::SetLinkEdit(QLineEdit *edit)
{
    if (m_edit == edit)
        return;
    if (m_edit) {
        m_edit->removeEventFilter(this);
        disconnect(m_edit, nullptr, this, nullptr);
    }
    m_edit = edit;
    m_lastGood.clear();
    if (!m_edit)
        return;
    m_edit->installEventFilter(this);
    connect(m_edit, &QLineEdit::textChanged, this, [this] { Guarded(this, [this] { editChange(); }); });
}

double TKtCurrencyLink::Value() const
{
    return m_edit ? AmountOfText(m_edit->text()) : 0;
}

void TKtCurrencyLink::SetValue(double value)
{
    if (m_edit && mayWrite())
        m_edit->setText(FloatToStr(value));
}

bool TKtCurrencyLink::mayWrite() const
{
    auto *dbEdit = qobject_cast<TDBEdit *>(m_edit.data());
    return !dbEdit || dbEdit->Editing();
}

bool TKtCurrencyLink::eventFilter(QObject *watched, QEvent *event)
{
    // Typed keys of the edit only. An edit being destroyed still sends its
    // last events (a focus lost in ~QWidget) while it is a plain QWidget
    // already: it is not looked at as a line edit then.
    if (event->type() != QEvent::KeyPress || m_retyping || !qobject_cast<QLineEdit *>(watched) || watched != m_edit)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    const QString text = key->text();
    // only typed characters; moving keys, Enter, Tab, Esc and shortcuts
    // (Ctrl+V) keep their usual meaning
    if (text.size() != 1 || text.at(0) < u' ' || (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return false;
    const TFormatSettings &fs = FormatSettings();
    QChar c = text.at(0);
    if (c == fs.ThousandSeparator)
        c = fs.DecimalSeparator;
    if (c == fs.DecimalSeparator) {
        // a second point is refused; the one in the text being typed over
        // does not count
        const QString rest = m_edit->text().remove(m_edit->selectionStart(), m_edit->selectedText().size());
        if (rest.contains(fs.DecimalSeparator))
            return true;
    } else if (!(c.isDigit() && c.unicode() < 128) && c != u'+' && c != u'-' && c != u'e' && c != u'E') {
        return true;
    }
    if (c == text.at(0))
        return false;
    // the point typed in place of the thousands separator
    QKeyEvent point(QEvent::KeyPress, Qt::Key_Period, key->modifiers(), QString(c));
    m_retyping = true;
    QCoreApplication::sendEvent(m_edit, &point);
    m_retyping = false;
    return true;
}

void TKtCurrencyLink::editChange()
{
    if (m_busy || !m_edit || !LiveFormatting())
        return;
    const TRegroupedAmount shown = RegroupAmount(m_edit->text(), m_edit->cursorPosition(), m_lastGood);
    if (!mayWrite() || (shown.Text == m_edit->text() && shown.Caret == m_edit->cursorPosition()))
        return;
    // the link's own change is not regrouped again
    m_busy = true;
    if (shown.Text != m_edit->text())
        m_edit->setText(shown.Text);
    m_edit->setCursorPosition(shown.Caret);
    m_busy = false;
}
