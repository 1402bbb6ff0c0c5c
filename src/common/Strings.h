#pragma once

#include <QString>
#include <QStringView>

#include <cstring>

// `s` padded to `width` characters with `fill`: on the right (text to the
// left), on the left (text to the right) or on both sides (centred, the odd
// character going to the right). A longer text is returned unchanged.
QString PadRight(const QString &s, int width, QChar fill = u' ');
QString PadLeft(const QString &s, int width, QChar fill = u' ');
QString PadCenter(const QString &s, int width, QChar fill = u' ');

// `s` without leading and trailing characters of code 32 or below.
QString TrimCtl(const QString &s);
QString TrimLeftCtl(const QString &s);
QString TrimRightCtl(const QString &s);

// Every run of blanks reduced to one blank, then trimmed as TrimCtl.
QString CollapseBlanks(const QString &s);

// The n-th (1-based) "|"-separated part of a column title; an empty text
// when the title has fewer parts.
QString LabelPart(const QString &label, int n);
// The number of "|"-separated parts of a column title (1 for a plain one).
int LabelPartCount(const QString &label);

// The text after the first "ORDER BY" of an SQL text (case-insensitive, any
// blanks between the two words), trimmed; empty when there is none.
QString TextAfterOrderBy(const QString &sql);

// A text made fit to be one file name inside a folder (names made from
// stored texts: report outputs, table states): path separators ("/" and
// "\\"), control characters and the characters other systems refuse in
// names (: * ? " < > |) become "_", and so does a leading dot (the file
// would be hidden, or "." and ".." folders). An empty text stays empty.
QString FileNameOfText(const QString &text);

// Ordinal comparison by UTF-16 code units: negative, zero or positive.
int CompareStr(const QString &a, const QString &b);

// Appends `text`, which must not lie in `out` itself, by growing `out` in
// place: for the many short pieces a report line is made of this is much
// cheaper than QString::append, and as cheap once `out` has the room.
inline void AppendChars(QString &out, QStringView text)
{
    const qsizetype n = text.size();
    if (n <= 0)
        return;
    const qsizetype at = out.size();
    out.resize(at + n);
    std::memcpy(out.data() + at, text.data(), size_t(n) * sizeof(QChar));
}
