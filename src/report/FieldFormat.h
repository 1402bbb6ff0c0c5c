#pragma once

#include "common/FormatSettings.h"

#include <QString>
#include <QStringList>

// Flags of a field reference in a template line ("@NAME:-12.2").
enum TFieldFlag {
    ffRight = 1,        // "-": right-aligned (padded on the left)
    ffZeroPad = 2,      // "0": padded with "0"
    ffPrevious = 4,     // decimals 100+: the previous value in footers
    ffCurrency = 8,     // "$" (with ffRight): currency format
    ffCenter = 16,      // "+": centred
    ffCount = 32,       // decimals 200+: a count of records in footers
    ffZeroAsZero = 64,  // "#": a number equal to 0 prints as "0"
    ffAccounting = 128, // "=": "-" as decimal separator, whole numbers end in "="
    ffCurrent = 256,    // decimals 300+: the current value in footers
    ffGeneral = 512,    // "G": general number format
};

// The format part of a field reference: flags, width and decimals.
struct TFieldSpec {
    int flags = 0;
    int width = 0;
    int decimals = 0;
};

// Reads the format part after ":" at `pos` in `text`: the format
// characters "-", "+", "#", "=", "G", "$", "0" in this order, each at most
// once, then width and decimals of digits and points. Decimals of 300, 200
// and 100 or more set ffCurrent, ffCount and ffPrevious in turn. `pos` is
// left after the format part. A width or decimals that is no valid
// integer stays 0.
TFieldSpec ParseFieldSpec(const QString &text, qsizetype &pos);

// A number as a field shows it, trimmed, before padding.
QString FormatFieldNumber(double value, const TFieldSpec &spec,
                          const TFormatSettings &fs = FormatSettings());
// A date as a field shows it: empty for 0, the time alone when the day part
// is 0, else the short date followed by the long time unless at midnight.
QString FormatFieldDate(double value, const TFormatSettings &fs = FormatSettings());
// The same texts appended to `out`: a report line is built in one string.
void AppendFieldNumber(QString &out, double value, const TFieldSpec &spec,
                       const TFormatSettings &fs = FormatSettings());
void AppendFieldDate(QString &out, double value, const TFormatSettings &fs = FormatSettings());

// `text` filled to the field's width: right-aligned, centred or left-aligned
// by the flags, with "0" when ffZeroPad is set and `zeroPadAllowed`. A longer
// text is not cut.
QString PadFieldText(const QString &text, const TFieldSpec &spec, bool zeroPadAllowed = true);
// The same for the text that follows `start` in `out`, in place.
void PadFieldTail(QString &out, qsizetype start, const TFieldSpec &spec, bool zeroPadAllowed = true);
// AppendFieldNumber followed by PadFieldTail.
void AppendPaddedFieldNumber(QString &out, double value, const TFieldSpec &spec,
                             const TFormatSettings &fs = FormatSettings());

// The same for a line built in a buffer of its own, written at `d`; each
// returns the end of what it wrote. The padded number of a plain
// fixed-point field (no currency, accounting or general format, no zero
// printed as "0", at most 15 digits), or null, writing nothing, for any
// other: it needs room for the width or QuickFixedRoom characters,
// whichever is more.
char16_t *WritePaddedFieldNumber(char16_t *d, double value, const TFieldSpec &spec,
                                 const TFormatSettings &fs = FormatSettings());
// A text padded as PadFieldTail pads it (zeros allowed); it needs room for
// the width or the text, whichever is longer.
char16_t *WritePaddedFieldText(char16_t *d, QStringView text, const TFieldSpec &spec);

// A string wrapped into lines of at most `width` characters, breaking after
// a blank or punctuation that does not stand between two digits (so 3.14,
// 1,000 and 12:30 stay whole). Break characters stay at the end of their
// line; lines are not trimmed.
QStringList WrapFieldText(const QString &text, int width);

// Whether a text holds a line break (CR LF, LF or CR); such a string prints
// as a memo does, a line of the field per line of the text.
inline bool HasLineBreak(QStringView text)
{
    return text.contains(u'\n') || text.contains(u'\r');
}
// The lines of a text, split at CR LF, LF or CR.
QStringList TextLines(const QString &text);
