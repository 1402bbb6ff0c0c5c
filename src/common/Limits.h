#pragma once

#include <QtGlobal>

// Bounds on what a template, a print code or a script can ask for, so that
// no input overflows the page arithmetic or exhausts memory. They are far
// beyond what a page or a line can hold.

// Coordinates, margins of print codes in millimetres (A0 is 1189 mm long).
constexpr int MaxPrintCodeMm = 2000;
// Width of a field reference in characters, and its decimals.
constexpr int MaxFieldWidth = 4096;
constexpr int MaxFieldDecimals = 99;
// Length of a script's string in characters (256 MB of text).
constexpr qsizetype MaxStringLength = qsizetype(128) * 1024 * 1024;

[[noreturn]] void RaiseStringTooLong();

// Raises Exception "Строка длиннее ... символов" when `length` is over
// MaxStringLength.
inline void CheckStringLength(qsizetype length)
{
    if (length > MaxStringLength) [[unlikely]]
        RaiseStringTooLong();
}
