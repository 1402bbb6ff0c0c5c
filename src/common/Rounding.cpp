#include "Rounding.h"

#include <cmath>

double RoundAdjust(double v)
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
