#pragma once

#include "DateTime.h"
#include "FormatSettings.h"

#include <QString>

// Text to number. Leading and trailing blanks are allowed; the decimal
// separator is the one of the settings; an exponent "E+nn" is accepted.
// Failures raise EConvertError "'%s' - не значение с плавающей запятой".
double StrToFloat(const QString &s, const TFormatSettings &fs = FormatSettings());
bool TryStrToFloat(const QString &s, double &value,
                   const TFormatSettings &fs = FormatSettings());

// A decimal typed as text ("-1234.5", blanks around it allowed, the
// settings' decimal separator, thousands separators in the integer part) as
// the exact decimal text with a point ("-1234.5"), for a column that keeps
// decimals exactly: never through a double. Failures raise StrToFloat's
// error.
QString StrToDecimalText(const QString &s, const TFormatSettings &fs = FormatSettings());
// Whether a text is a plain decimal as StrToDecimalText writes it.
bool IsDecimalText(QStringView s);

// Text to integer: an optional sign and decimal digits, or "$" and
// hexadecimal digits. Failures raise "'%s' - не целое значение".
int StrToInt(const QString &s);
qint64 StrToInt64(const QString &s);
bool TryStrToInt(const QString &s, int &value);
bool TryStrToInt64(const QString &s, qint64 &value);

// Text to date in the order of the short date format (day, month, year),
// parts separated by the date separator; a missing year is the current
// year, a two-digit year is taken within 50 years of now. Failures raise "'%s' - неверная дата".
TDateTime StrToDate(const QString &s, const TFormatSettings &fs = FormatSettings());
bool TryStrToDate(const QString &s, TDateTime &value,
                  const TFormatSettings &fs = FormatSettings());
// Text to time of day "h[:n[:s]]" with optional AM/PM.
TDateTime StrToTime(const QString &s, const TFormatSettings &fs = FormatSettings());
bool TryStrToTime(const QString &s, TDateTime &value,
                  const TFormatSettings &fs = FormatSettings());
// A date, optionally followed by a time.
TDateTime StrToDateTime(const QString &s, const TFormatSettings &fs = FormatSettings());
