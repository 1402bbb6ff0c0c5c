#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QLineEdit;

// Turns an edit box into a money entry field: only number characters get
// through ("," becomes the decimal point, a second point is refused), and
// while the person types the number is regrouped with thousands separators,
// keeping the typed decimals and the caret after the same digit. A text
// that is not a number (pasted, say) gives the last good text back.
//
// The link is a filter in front of the edit's own handling: handlers that
// the edit already has (its textChanged connections, its own key handling)
// stay and see the text the link leaves. On a data-aware edit (TDBEdit) the
// text is only written while the edit's dataset is editing.
class TKtCurrencyLink : public QObject {
    Q_OBJECT
public:
    explicit TKtCurrencyLink(QObject *parent = nullptr);
    ~TKtCurrencyLink() override;

    // The edit box; cleared when that edit is destroyed.
    QLineEdit *LinkEdit() const { return m_edit; }
    void SetLinkEdit(QLineEdit *edit);

    // The number in the edit: its text without thousands separators; 0 when
    // that is not a number.
    double Value() const;
    // Puts `value` into the edit in the shortest general form (regrouped
    // then like any other change).
    void SetValue(double value);

    const QString &LastGoodText() const { return m_lastGood; }

    // The process-wide switch of the live regrouping; on in this program.
    static bool &LiveFormatting();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void editChange();
    bool mayWrite() const;

    QPointer<QLineEdit> m_edit;
    QString m_lastGood;
    bool m_busy = false;
    bool m_retyping = false;
};
