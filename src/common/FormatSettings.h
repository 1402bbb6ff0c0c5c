#pragma once

#include <QChar>
#include <QString>
#include <array>

// The number and date conventions that every conversion between text,
// numbers and dates uses. The process-wide instance is fixed at start and
// never follows the operating system's regional settings.
struct TFormatSettings {
    QChar DecimalSeparator = u'.';
    QChar ThousandSeparator = u',';
    QChar DateSeparator = u'.';
    QChar TimeSeparator = u':';
    QString ShortDateFormat = QStringLiteral("dd.mm.yyyy");
    QString LongDateFormat = QStringLiteral("dd mmmm yyyy");
    QString ShortTimeFormat = QStringLiteral("h:nn");
    QString LongTimeFormat = QStringLiteral("h:nn:ss");
    QString TimeAMString = QStringLiteral("AM");
    QString TimePMString = QStringLiteral("PM");
    QString CurrencyString;          // empty: amounts carry no symbol
    int CurrencyDecimals = 2;
    std::array<QString, 12> ShortMonthNames;
    std::array<QString, 12> LongMonthNames;
    std::array<QString, 7> ShortDayNames;   // Sunday first
    std::array<QString, 7> LongDayNames;    // Sunday first

    // The program's fixed conventions: short date "dd.mm.yyyy", long date
    // "dd mmmm yyyy", "." decimal, "," thousands, 2 currency decimals, no
    // currency symbol, "AM"/"PM", Russian month and day names.
    static TFormatSettings Fixed();
};

// The process-wide settings. They start as TFormatSettings::Fixed(); the
// main window sets them again at start. Code that needs a variation for one
// call (another decimal separator, genitive month names) passes a modified
// copy to the conversion instead of changing these.
TFormatSettings &FormatSettings();
