// The calculator driven by real keys: entering amounts with the operation
// keys and the keypad's minus, totals on leaving the input, carried totals,
// corrections through "Форма ввода" with everything recomputed, deleting,
// clearing, printing into a PDF file, and F4 from the key filter.

#include "../grid/GridTestSupport.h"

#include "widgets/CalcForm.h"
#include "widgets/KtCurrencyLink.h"
#include "workspace/KeyFilter.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPrinterInfo>
#include <QPushButton>
#include <QTimer>

using GridTest::saveShot;
using GridTest::TRecordingUI;

namespace {

// An operand or result line as the tape writes it.
QString line(const QString &amount, char mark = ' ')
{
    return QString(amount + "  " + QChar(mark) + " ").rightJustified(30);
}
const QString rule(30, u'-');

// A calculator on screen with the input focused.
struct TCalc {
    TCalcForm form;
    TCalc()
    {
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTRY_VERIFY(form.CalcEdit->hasFocus());
    }
    // Keys into the input; "\t" is Tab, "_" the keypad's minus.
    void keys(const QString &keys)
    {
        for (QChar c : keys) {
            if (c == u'\t') {
                QTest::keyClick(form.CalcEdit, Qt::Key_Tab);
                QTRY_VERIFY(form.CalcEdit->hasFocus());
            } else if (c == u'_') {
                QTest::keyClick(form.CalcEdit, Qt::Key_Minus, Qt::KeypadModifier);
            } else {
                QTest::keyClick(form.CalcEdit, c.toLatin1());
            }
        }
    }
    QStringList tape() const
    {
        QStringList out;
        for (int i = 0; i < form.TapeList->count(); ++i)
            out << form.TapeList->item(i)->text();
        return out;
    }
    // A key on tape line `row`, with `drive` acting on "Форма ввода".
    bool tapeKey(int row, Qt::Key key, const std::function<void(TCalcParamsForm &)> &drive = {})
    {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto *params = qobject_cast<TCalcParamsForm *>(QApplication::activeModalWidget());
            if (!params)
                return;
            seen = true;
            if (drive)
                drive(*params);
            if (params->isVisible())
                params->reject();
        });
        form.TapeList->setFocus();
        form.TapeList->setCurrentRow(row);
        QTest::keyClick(form.TapeList, key);
        return seen;
    }
};

void setAmount(TCalcParamsForm &p, const char *keys)
{
    p.ValueEdit->selectAll();
    QTest::keyClicks(p.ValueEdit, keys);
}

} // namespace

class CalculatorTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationName("Quarn"); }

    // Tape lines are read back as they are written.
    void tapeLines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind");
        QTest::addColumn<double>("amount");
        QTest::newRow("operand") << TCalcTape::OperandLine(1234567.891, u'/') << int(TCalcTape::lkOperand) << 1234567.89;
        QTest::newRow("negative total") << TCalcTape::ResultLine(-0.5) << int(TCalcTape::lkResult) << -0.5;
        QTest::newRow("rule") << TCalcTape::Rule() << int(TCalcTape::lkOther) << 0.0;
        QTest::newRow("empty") << QString() << int(TCalcTape::lkOther) << 0.0;
        QTest::newRow("short") << "1 +" << int(TCalcTape::lkOther) << 0.0;
    }
    void tapeLines()
    {
        QFETCH(QString, text);
        QFETCH(int, kind);
        QFETCH(double, amount);
        double read = 0;
        QCOMPARE(int(TCalcTape::ReadLine(text, &read)), kind);
        QCOMPARE(read, amount);
        QCOMPARE(TCalcTape::OperandLine(1234567.891, u'/'), line("1,234,567.89", '/'));
        QCOMPARE(TCalcTape::ResultLine(-0.5), line("-0.50"));
    }

    // 2 "+", 3, Tab: the operand lines, a rule and the total; "*" with an
    // empty input carries the total; a number typed after a total starts a
    // new calculation after an empty line.
    void totalsAndCarry()
    {
        TCalc c;
        c.keys("2+3\t");
        QCOMPARE(c.tape(), QStringList({line("2.00", '+'), line("3.00", '='), rule, line("5.00")}));
        QCOMPARE(c.form.TapeList->currentRow(), 3);
        QVERIFY(c.form.Tape().ResultMode());
        c.keys("*4\t");
        QCOMPARE(c.tape().mid(4), QStringList({line("5.00", '*'), line("4.00", '='), rule, line("20.00")}));
        c.keys("1234.5*2\t");
        QCOMPARE(c.tape().mid(8), QStringList({"", line("1,234.50", '*'), line("2.00", '='), rule, line("2,469.00")}));
        // the keypad's minus subtracts, the main keyboard's is a sign
        c.keys("9_-4\t");
        QCOMPARE(c.tape().mid(13), QStringList({"", line("9.00", '-'), line("-4.00", '='), rule, line("13.00")}));
        // dividing by 0 leaves the total alone
        c.keys("8/0/2\t");
        QCOMPARE(c.tape().mid(18), QStringList({"", line("8.00", '/'), line("0.00", '/'), line("2.00", '='), rule, line("4.00")}));
        QVERIFY(c.form.CalcEdit->text().isEmpty());
        // Tab with an empty input moves to the tape
        QTest::keyClick(c.form.CalcEdit, Qt::Key_Tab);
        QTRY_VERIFY(c.form.TapeList->hasFocus());
        QCOMPARE(c.tape().size(), 24);
    }

    // Changing an amount in the middle recomputes its total and every total
    // carried from it; inserting goes before the line; a result line cannot
    // be deleted, an "=" line only under an operand line.
    void corrections()
    {
        TCalc c;
        c.keys("1+2\t*10\t");
        QCOMPARE(c.tape(), QStringList({line("1.00", '+'), line("2.00", '='), rule, line("3.00"),
                                        line("3.00", '*'), line("10.00", '='), rule, line("30.00")}));
        QVERIFY(c.tapeKey(0, Qt::Key_Return, [](TCalcParamsForm &p) {
            QCOMPARE(p.windowTitle(), QString("Форма ввода"));
            QCOMPARE(p.ValueEdit->text(), QString("1"));
            QCOMPARE(p.OperButtons->checkedButton()->text(), QString("(+) Плюс"));
            setAmount(p, "1000");
            QCOMPARE(p.ValueEdit->text(), QString("1,000"));
            QTest::mouseClick(p.OperButtons->button(2), Qt::LeftButton);   // "(*) Умножить"
            p.Buttons->button(QDialogButtonBox::Ok)->click();
        }));
        QCOMPARE(c.tape(), QStringList({line("1,000.00", '*'), line("2.00", '='), rule, line("2,000.00"),
                                        line("2,000.00", '*'), line("10.00", '='), rule, line("20,000.00")}));
        QCOMPARE(c.form.TapeList->currentRow(), 0);
        // an "=" line keeps its mark; its operation cannot be chosen
        QVERIFY(c.tapeKey(5, Qt::Key_Return, [](TCalcParamsForm &p) {
            QVERIFY(!p.OperGroup->isEnabled());
            QVERIFY(!p.OperButtons->checkedButton());
            setAmount(p, "3");
            p.Buttons->button(QDialogButtonBox::Ok)->click();
        }));
        QCOMPARE(c.tape().mid(4), QStringList({line("2,000.00", '*'), line("3.00", '='), rule, line("6,000.00")}));
        // Cancel changes nothing
        const QStringList before = c.tape();
        QVERIFY(c.tapeKey(1, Qt::Key_Return, [](TCalcParamsForm &p) { setAmount(p, "77"); }));
        QCOMPARE(c.tape(), before);
        // insert before the "=" line: empty, "+" chosen
        QVERIFY(c.tapeKey(1, Qt::Key_Insert, [](TCalcParamsForm &p) {
            QVERIFY(p.ValueEdit->text().isEmpty());
            QCOMPARE(p.OperButtons->checkedButton()->text(), QString("(+) Плюс"));
            setAmount(p, "5");
            p.Buttons->button(QDialogButtonBox::Ok)->click();
        }));
        QCOMPARE(c.tape().mid(0, 5), QStringList({line("1,000.00", '*'), line("5.00", '+'), line("2.00", '='), rule,
                                                  line("5,002.00")}));
        QCOMPARE(c.form.TapeList->currentRow(), 1);
        QCOMPARE(c.tape().at(8), line("15,006.00"));
        // deleting: a result line and a rule are refused, an operand line
        // goes and its total follows
        const QStringList full = c.tape();
        for (int row : {4, 3})
            c.tapeKey(row, Qt::Key_Delete);
        QCOMPARE(c.tape(), full);
        c.tapeKey(1, Qt::Key_Delete);
        QCOMPARE(c.tape().mid(0, 4), QStringList({line("1,000.00", '*'), line("2.00", '='), rule, line("2,000.00")}));
        QCOMPARE(c.tape().at(7), line("6,000.00"));
        QCOMPARE(c.form.TapeList->currentRow(), 1);
        // an "=" line under an operand line goes, the operand becomes the
        // total's line
        c.tapeKey(1, Qt::Key_Delete);
        QCOMPARE(c.tape(), QStringList({line("1,000.00", '='), rule, line("1,000.00"), line("1,000.00", '*'),
                                        line("3.00", '='), rule, line("3,000.00")}));
        // a one-line calculation's "=" line stays
        c.form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&c.form));
        c.form.CalcEdit->setFocus();
        QTRY_VERIFY(c.form.CalcEdit->hasFocus());
        c.keys("7\t");
        QCOMPARE(c.tape().mid(7), QStringList({"", line("7.00", '='), rule, line("7.00")}));
        c.tapeKey(8, Qt::Key_Delete);
        QCOMPARE(c.tape().size(), 11);
    }

    // "&Очистить" asks first; the tape prints into a PDF file without a
    // printer.
    void clearAndPrint()
    {
        TCalc c;
        c.keys("1500+2500\t");
        c.keys("2*3\t");
        saveShot(&c.form, "calculator");
        TRecordingUI ui;
        ui.Answer = TUserInterface::mbYes;
        if (QPrinterInfo::defaultPrinter().isNull()) {
            QTest::mouseClick(c.form.PrintBtn, Qt::LeftButton);
            const QString pdf = QDir(ProgramDir()).filePath("calculator.pdf");
            QVERIFY(QFileInfo(pdf).size() > 0);
            QProcess text;
            text.start("pdftotext", {pdf, "-"});
            if (text.waitForFinished(30000) && text.exitCode() == 0) {
                const QString printed = QString::fromUtf8(text.readAllStandardOutput());
                QVERIFY2(printed.contains("2,500.00 =") && printed.contains("4,000.00") && printed.contains("6.00"), qPrintable(printed));
            }
        }
        ui.Answer = TUserInterface::mbNo;
        QTest::mouseClick(c.form.ClearBtn, Qt::LeftButton);
        QCOMPARE(c.tape().size(), 9);
        ui.Answer = TUserInterface::mbYes;
        QTest::mouseClick(c.form.ClearBtn, Qt::LeftButton);
        QVERIFY(c.tape().isEmpty());
        QVERIFY(!c.form.Tape().ResultMode());
        QCOMPARE(ui.Messages.mid(ui.Messages.size() - 2),
                 QStringList({"Вы уверены ?", "Вы уверены ?"}));
        // a cleared tape neither asks nor prints
        QTest::mouseClick(c.form.ClearBtn, Qt::LeftButton);
        QTest::mouseClick(c.form.PrintBtn, Qt::LeftButton);
        QCOMPARE(ui.Messages.size(), QPrinterInfo::defaultPrinter().isNull() ? 3 : 2);
    }

    // F4 opens the calculator; closing it keeps the tape for the next F4.
    void f4KeepsTheTape()
    {
        TKeyFilter filter;
        QWidget owner;
        InstallCalculator(filter.OnCalculatorKey, &owner);
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        QPointer<TCalcForm> shown;
        int opened = 0;
        auto drive = [&](const QString &keys) {
            QTimer::singleShot(0, [&, keys] {
                shown = qobject_cast<TCalcForm *>(QApplication::activeModalWidget());
                if (!shown)
                    return;
                ++opened;
                QTest::keyClicks(shown->CalcEdit, keys);
                QTest::keyClick(shown->CalcEdit, Qt::Key_Escape);
                if (shown->isVisible())
                    shown->reject();
            });
            QTest::keyClick(&owner, Qt::Key_F4);
        };
        drive("7+");
        QVERIFY(shown);
        TCalcForm *first = shown;
        QCOMPARE(first->windowTitle(), QString("Калькулятор"));
        drive("3+");
        QCOMPARE(opened, 2);
        QCOMPARE(shown.data(), first);
        QCOMPARE(first->Tape().Lines(), QStringList({line("7.00", '+'), line("3.00", '+')}));
        QCOMPARE(first->parent(), &owner);
    }
};

QUARN_WIDGETS_TEST_MAIN(CalculatorTest)
#include "CalculatorTest.moc"
