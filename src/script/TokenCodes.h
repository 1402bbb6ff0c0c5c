#pragma once

#include <QtGlobal>

// Token codes of the script scanner. The operators keep their codes when they
// become operator codes of value comparisons and of the calculation command,
// so one table serves the scanner, the holders and the interpreter.
enum TTokenCode : quint8 {
    tkLParen = 0,        // (
    tkRParen = 1,        // )
    tkLBracket = 2,      // [
    tkRBracket = 3,      // ]
    tkLBrace = 4,        // {
    tkRBrace = 5,        // }
    tkIf = 6,            // IF
    tkThen = 7,          // THEN
    tkElse = 8,          // ELSE
    tkComma = 9,         // ,
    tkAssign = 12,       // :=
    tkNot = 13,          // NOT
    tkAnd = 14,          // AND
    tkOr = 15,           // OR
    tkEqual = 16,        // =
    tkNotEqual = 17,     // <>
    tkGreater = 18,      // >
    tkLess = 19,         // <
    tkGreaterEqual = 20, // >=
    tkLessEqual = 21,    // <=
    tkMinus = 22,        // -
    tkPlus = 23,         // + and its synonym ||
    tkMultiply = 24,     // *
    tkDivide = 25,       // /
    tkTrue = 26,         // TRUE
    tkFalse = 27,        // FALSE
    tkDot = 28,          // .
    tkSemicolon = 29,    // ;
    tkIdentifier = 30,   // a name
    tkNumber = 31,       // a run of decimal digits
    tkString = 32,       // a string literal
    tkUnknown = 33,      // no token (also the end of the text)
    tkAmpersand = 34,    // &
};

// The calculation command's plain copy (Clear the target, then Assign) shares
// its code with the scanner's "no token".
constexpr quint8 opCopy = tkUnknown;
