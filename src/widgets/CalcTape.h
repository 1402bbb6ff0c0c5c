#pragma once

#include <QChar>
#include <QString>
#include <QStringList>

// The paper tape of the adding-machine calculator, without the window: its
// lines, entering amounts with operations, and the recomputation after
// every correction.
//
// A line is one of: an operand line (an amount and its operation "+", "-",
// "*", "/" or "="), a result line (an amount with a blank mark), a rule of
// 30 "-", or an empty line between two calculations. Operand and result
// lines are texts: the amount as money with 2 decimals, then the mark and a
// blank right-aligned in 4 characters, the whole right-aligned in 30.
class TCalcTape {
public:
    enum TLineKind { lkOther, lkOperand, lkResult };
    static constexpr QChar Total = u'=';

    static QString OperandLine(double amount, QChar mark);
    static QString ResultLine(double amount);
    static QString Rule();
    // Reads a line back: its kind, and for operand and result lines the
    // amount and the mark (a blank for a result line).
    static TLineKind ReadLine(const QString &line, double *amount = nullptr, QChar *mark = nullptr);

    const QStringList &Lines() const { return m_lines; }
    TLineKind Kind(int line) const;
    // True after a total was drawn, until the next entry.
    bool ResultMode() const { return m_resultMode; }

    // Enters the input with operation `op` ("+", "-", "*", "/" or "=" for
    // the total): `inputEmpty` tells whether the input was empty, `amount`
    // is its value. Returns the line to select.
    int Enter(QChar op, bool inputEmpty, double amount);
    // Rewrites operand line `line` with a new amount and, unless it is an
    // "=" line, a new operation.
    void Change(int line, double amount, QChar op);
    // Puts a new operand line before operand line `line`.
    void InsertBefore(int line, double amount, QChar op);
    // Deletes operand line `line`; returns the line to select then, or -1
    // when the line cannot be deleted (a result line, an "=" line not below
    // an operand line, anything but an operand line).
    int Delete(int line);
    // Empties the tape and ends the result mode.
    void Clear();
    // Recomputes every total from the first line to the last; an operand
    // line under a result line carries that result.
    void Recompute();

private:
    QStringList m_lines;
    bool m_resultMode = false;
};
