#pragma once

#include "widgets/CalcTape.h"

#include <QDialog>
#include <functional>

class QButtonGroup;
class QDialogButtonBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class TKtCurrencyLink;

// The adding-machine calculator: a paper tape above an input field with
// live thousands grouping. "+", "*", "/" and the keypad's "-" enter the
// input with their operation (the main keyboard's "-" is a sign); leaving
// the input while it holds a number draws the total. On the tape, Enter
// corrects an operand line, Insert puts a new one before it, Delete removes
// it; every change recomputes the totals. The window is modal and kept, so
// the tape lives until the program ends.
class TCalcForm : public QDialog {
    Q_OBJECT
public:
    explicit TCalcForm(QWidget *parent = nullptr);

    const TCalcTape &Tape() const { return m_tape; }
    // Enters the input with operation `op` ("=" for the total).
    void EnterInput(QChar op);
    // Prints the tape after the question; returns where it went (empty when
    // it did not print).
    QString PrintTape();

    QListWidget *TapeList = nullptr;
    QLineEdit *CalcEdit = nullptr;
    TKtCurrencyLink *CalcLink = nullptr;
    QPushButton *PrintBtn = nullptr;
    QPushButton *ClearBtn = nullptr;
    QPushButton *ExitBtn = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void TapeEditLine();
    void TapeInsertLine();
    void TapeDeleteLine();
    void ClearBtnClick();
    void showTape(int select);

    TCalcTape m_tape;
};

// "Форма ввода": an amount and its operation, for correcting and inserting
// tape lines.
class TCalcParamsForm : public QDialog {
    Q_OBJECT
public:
    explicit TCalcParamsForm(QWidget *parent = nullptr);

    // Shows the dialog with `amount` (an empty field when `blank`) and the
    // operation `op` chosen; for an "=" line the operation cannot be
    // changed and none is chosen. On OK returns true with the new amount
    // and operation.
    bool Execute(double &amount, QChar &op, bool blank);

    QLineEdit *ValueEdit = nullptr;
    TKtCurrencyLink *ValueLink = nullptr;
    QGroupBox *OperGroup = nullptr;
    QButtonGroup *OperButtons = nullptr;
    QDialogButtonBox *Buttons = nullptr;
};

// Fills the calculator key's slot (`slot`, the main window key filter's
// F4): the first call makes the calculator, a child of `owner`, later calls
// show the same window again.
void InstallCalculator(std::function<void()> &slot, QWidget *owner);
