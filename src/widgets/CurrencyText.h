#pragma once

#include <QString>

// The text side of a money entry field: what the field shows after each
// change of its text, without any window. TKtCurrencyLink applies it to an
// edit box.

// What a changed text of a money field becomes.
struct TRegroupedAmount {
    QString Text;    // the text to show
    int Caret = 0;   // the caret position in it
};

// Regroups the text `text` (caret at `caret`) of a money field with the
// thousands separators of the process-wide settings, keeping the decimals
// that were typed, a typed trailing decimal separator, and the caret after
// the same digit. A lone decimal separator becomes "0" and the separator; a
// lone "-" stays. A text that is not a number gives the last good text back.
// `lastGood` is the field's last good text; it becomes the result (empty
// when the text is empty, which is then left as it is).
TRegroupedAmount RegroupAmount(const QString &text, int caret, QString &lastGood);

// The number in a money field's text: the text without thousands
// separators; 0 when that is not a number.
double AmountOfText(const QString &text);
