#include "Rounding.h"

#include <QtGlobal>

#include <bit>
#include <cmath>

namespace {

// The rule as stated: the integer digits counted through log10, the step
// made by dividing 10^15 by ten once per digit.
double adjustByLog(double v)
{
    double m = 1e15;
    double a = std::fabs(v);
    if (a >= 1) {
        // number of digits before the decimal point
        int e = int(std::floor(std::log10(a))) + 1;
        for (int i = 0; i < e; ++i)
            m /= 10;
    }
    return v < 0 ? v - 1 / m : v + 1 / m;
}

// Powers of ten and the steps 1 / m for every count of integer digits, made
// as the rule makes them, so that a table lookup gives the very same step.
struct TAdjustTables {
    static constexpr int MaxDigits = 309;   // 1.8e308 has 309 integer digits
    double Power[MaxDigits + 1];            // 10^k, k = 0..309 (the last one infinite)
    double Step[MaxDigits + 1];             // the step for k integer digits

    TAdjustTables()
    {
        double m = 1e15;
        double p = 1;
        for (int k = 0; k <= MaxDigits; ++k) {
            Step[k] = 1 / m;
            Power[k] = p;
            m /= 10;
            p *= 10;
        }
    }
};

const TAdjustTables &adjustTables()
{
    static const TAdjustTables tables;
    return tables;
}

} // namespace

double RoundAdjust(double v)
{
    // Rounding runs for every Round and Rd2 of every record: the digits are
    // counted by comparing with the powers of ten. Only a value within a
    // billionth of a power of ten, where log10 may round to the power's
    // exponent, or a value that is not finite, goes the way of the rule.
    const double a = std::fabs(v);
    if (!(a < 1e308))
        return adjustByLog(v);
    const TAdjustTables &t = adjustTables();
    int digits = 0;
    if (a >= 1) {
        // the binary exponent from the bits (a is normal here): floor(log10)
        // or one below it
        const int e2 = int((std::bit_cast<quint64>(a) >> 52) & 0x7FF) - 1023;
        int k = int(e2 * 0.30102999566398120);
        while (a >= t.Power[k + 1])
            ++k;
        if (a < t.Power[k] * (1 + 1e-9) || a > t.Power[k + 1] * (1 - 1e-9))
            return adjustByLog(v);
        digits = k + 1;
    }
    return v < 0 ? v - t.Step[digits] : v + t.Step[digits];
}

double RoundHalfAway(double x)
{
    if (x >= 0)
        return std::trunc(RoundAdjust(x + 0.5));
    return -std::trunc(RoundAdjust(-x + 0.5));
}

double Rd2(double x)
{
    if (x >= 0)
        return std::trunc(RoundAdjust(x * 100 + 0.5)) / 100;
    return -Rd2(-x);
}
