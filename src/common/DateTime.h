#pragma once

#include "FormatSettings.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

// A point in time as a day number: whole days since 30 December 1899, the
// fraction being the time of day (0.5 is noon). The automation DATE type
// and the report's DATE values use the same numbering.
using TDateTime = double;

constexpr double MSecsPerDay = 86400000.0;

// Day number of a calendar date; raises EConvertError for an invalid date.
TDateTime EncodeDate(int year, int month, int day);
// Fraction of a day; raises EConvertError for an invalid time.
TDateTime EncodeTime(int hour, int min, int sec, int msec);
bool TryEncodeDate(int year, int month, int day, TDateTime &result);
void DecodeDate(TDateTime dt, int &year, int &month, int &day);
void DecodeTime(TDateTime dt, int &hour, int &min, int &sec, int &msec);
// Day of week, 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime dt);

QDate DateTimeToQDate(TDateTime dt);
QTime DateTimeToQTime(TDateTime dt);
QDateTime DateTimeToQDateTime(TDateTime dt);
TDateTime QDateToDateTime(const QDate &d);
TDateTime QTimeToDateTime(const QTime &t);
TDateTime QDateTimeToDateTime(const QDateTime &dt);

TDateTime Now();
TDateTime Date();   // today at midnight
TDateTime Time();   // the time of day alone

// Formats by directives, case-insensitive:
//   d dd ddd dddd   day, two-digit day, short and long day name
//   m mm mmm mmmm   month (minutes right after h or hh), names
//   yy yyyy         two- and four-digit year
//   h hh n nn s ss z zzz   hour, minute, second, millisecond
//   am/pm a/p ampm  12-hour clock with a marker
//   c  short date, then long time unless midnight
//   ddddd dddddd    short and long date;  t tt  short and long time
//   /  :            date and time separators
//   "..." '...'     literal text
// An empty format means "c".
QString FormatDateTime(const QString &fmt, TDateTime dt,
                       const TFormatSettings &fs = FormatSettings());
// The same text appended to `out`.
void AppendDateTime(QString &out, const QString &fmt, TDateTime dt,
                    const TFormatSettings &fs = FormatSettings());
QString DateToStr(TDateTime dt, const TFormatSettings &fs = FormatSettings());
QString TimeToStr(TDateTime dt, const TFormatSettings &fs = FormatSettings());
QString DateTimeToStr(TDateTime dt, const TFormatSettings &fs = FormatSettings());
