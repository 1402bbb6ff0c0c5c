#pragma once

// Rounding that tolerates the binary representation error of decimal
// fractions: before truncation a value is moved away from zero by
// 10^(e-15), e being its number of integer digits (10^-15 below 1), so that
// 2.675 rounds to 2.68 and 0.285 to 0.29.
double RoundAdjust(double v);
// Half away from zero to a whole number.
double RoundHalfAway(double x);
// Half away from zero to two decimals (kopecks).
double Rd2(double x);
