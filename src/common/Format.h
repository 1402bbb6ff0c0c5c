#pragma once

#include "FormatSettings.h"

#include <QString>
#include <initializer_list>
#include <span>

// One argument of Format: an integer, a floating value, a string or a
// pointer-sized value (shown by %p).
class TFormatArg {
public:
    enum Kind { Integer, Float, String, Pointer };

    TFormatArg(int v) : m_kind(Integer), m_int(v) {}
    TFormatArg(long v) : m_kind(Integer), m_int(v) {}
    TFormatArg(long long v) : m_kind(Integer), m_int(v) {}
    TFormatArg(unsigned v) : m_kind(Integer), m_int(v) {}
    TFormatArg(double v) : m_kind(Float), m_float(v) {}
    TFormatArg(const QString &v) : m_kind(String), m_str(&v) {}
    TFormatArg(const void *p) : m_kind(Pointer), m_int(reinterpret_cast<quintptr>(p)) {}

    Kind kind() const { return m_kind; }
    qint64 asInteger() const { return m_int; }
    double asFloat() const { return m_float; }
    const QString &asString() const { return *m_str; }

private:
    Kind m_kind;
    qint64 m_int = 0;
    double m_float = 0;
    const QString *m_str = nullptr;   // the caller's string outlives the call
};

// Formats by directives "%[index:][-][width][.precision]type", type one of
//   d  integer in decimal (precision: minimum digits, zero-filled)
//   x  integer in upper-case hexadecimal (precision as for d)
//   e  scientific, precision significant digits (default 15)
//   f  fixed, precision decimals (default 2)
//   g  general, precision significant digits (default 15)
//   n  fixed with thousand separators, precision decimals (default 2)
//   m  currency, precision decimals (default: currency decimals)
//   p  pointer as 8 hexadecimal digits
//   s  string (precision: at most that many characters)
// "%%" is a percent sign; "*" as width or precision takes an integer
// argument. An index selects the argument; the following directives go on
// from it. A directive that does not fit its argument, or is incomplete,
// raises EConvertError "Формат '%s' неверный или несовместимый с
// аргументом"; one that refers past the arguments raises "Отстутствует
// аргумент для формата '%s'".
QString Format(const QString &fmt, std::span<const TFormatArg> args,
               const TFormatSettings &fs = FormatSettings());
inline QString Format(const QString &fmt, std::initializer_list<TFormatArg> args,
                      const TFormatSettings &fs = FormatSettings())
{
    return Format(fmt, std::span<const TFormatArg>(args.begin(), args.size()), fs);
}

enum class TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };

// A floating value as text.
//   ffGeneral: at most `precision` significant digits, trailing zeros
//     dropped; fixed notation unless the value has more than `precision`
//     integer digits or is below 0.00001, then scientific ("1.5E20",
//     "1E-6") with at least `digits` exponent digits.
//   ffExponent: "d.ddddE+xx" with `precision` significant digits and at
//     least `digits` exponent digits.
//   ffFixed: `digits` decimals; scientific when the value has more than
//     `precision` integer digits.
//   ffNumber: as ffFixed with thousand separators.
//   ffCurrency: as ffNumber with the currency decimals replaced by
//     `digits`; a negative amount has a leading "-".
// The value is first rounded to `precision` significant digits (at most 17)
// and then, for the fixed forms, half up to `digits` decimals as a decimal
// text, so 2.675 with two decimals gives 2.68. No "-" stands before a value
// that rounds to zero. NaN and infinities give "NAN", "INF" and "-INF".
QString FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                    const TFormatSettings &fs = FormatSettings());
// The same text appended to `out`, for callers that build a line.
// The fixed form of a value that lies within rounding error of a whole
// number of hundredths (or of units, tenths, ... millionths, by `decimals`),
// that number having at most `precision` digits, written into `text`
// (QuickFixedRoom characters): such a number is what both roundings of the
// fixed form give, so its digits are written directly. Amounts of money,
// quantities and the like all take this route. Returns the length, or -1,
// writing nothing, for any other value.
constexpr int QuickFixedRoom = 24;
int FormatQuickFixed(char16_t *text, double value, int precision, int decimals,
                     const TFormatSettings &fs = FormatSettings());

void AppendFloatToStrF(QString &out, double value, TFloatFormat format, int precision, int digits,
                       const TFormatSettings &fs = FormatSettings());
// The general format with 15 significant digits.
QString FloatToStr(double value, const TFormatSettings &fs = FormatSettings());

// An exact decimal text ("12345678901234567890.5", as IsDecimalText takes
// it) written with `decimals` decimals (rounded half away from zero or
// padded with zeros; -1 keeps its own), thousands separators when asked,
// in the settings' separators. Nothing passes through a double. A text
// that is no plain decimal ("NaN") comes back as it is.
QString FormatDecimalText(const QString &text, int decimals, bool thousands,
                          const TFormatSettings &fs = FormatSettings());
