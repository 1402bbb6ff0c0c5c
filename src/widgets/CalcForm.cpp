#include "CalcForm.h"

#include "KtCurrencyLink.h"

#include "common/UserInterface.h"
#include "uisupport/DefaultPrinter.h"
#include "uisupport/Guard.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The operations of the dialog's buttons, in their order.
const QString Operations = QStringLiteral("+-*/");

QFont tapeFont()
{
    QFont font(QStringLiteral("Liberation Mono"), 10);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}

} // namespace

// ---------------------------------------------------------------- the window

TCalcForm::TCalcForm(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Калькулятор"));
    TapeList = new QListWidget;
    TapeList->setFont(tapeFont());
    TapeList->installEventFilter(this);
    CalcEdit = new QLineEdit;
    CalcEdit->setFont(tapeFont());
    CalcEdit->setAlignment(Qt::AlignRight);
    CalcLink = new TKtCurrencyLink(this);
    CalcLink->SetLinkEdit(CalcEdit);
    // after the link, so that the operation keys are seen first
    CalcEdit->installEventFilter(this);

    PrintBtn = new QPushButton(QStringLiteral("Пе&чать"));
    ClearBtn = new QPushButton(QStringLiteral("&Очистить"));
    ExitBtn = new QPushButton(QStringLiteral("В&ыход"));
    for (QPushButton *b : {PrintBtn, ClearBtn, ExitBtn})
        b->setAutoDefault(false);
    PrintBtn->setFocusPolicy(Qt::ClickFocus);
    ClearBtn->setFocusPolicy(Qt::ClickFocus);
    connect(PrintBtn, &QPushButton::clicked, this, [this] { Guarded(this, [this] { PrintTape(); }); });
    connect(ClearBtn, &QPushButton::clicked, this, Guard(this, &TCalcForm::ClearBtnClick));
    connect(ExitBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(TapeList, 1);
    layout->addWidget(CalcEdit);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(PrintBtn);
    buttons->addWidget(ClearBtn);
    buttons->addStretch(1);
    buttons->addWidget(ExitBtn);
    layout->addLayout(buttons);
    setTabOrder(CalcEdit, TapeList);
    setTabOrder(TapeList, ExitBtn);
    // the tape as wide as its lines
    const int lineWidth = QFontMetrics(TapeList->font()).horizontalAdvance(QString(31, u'0'));
    TapeList->setMinimumWidth(lineWidth + 2 * TapeList->frameWidth()
                              + style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    resize(sizeHint().width(), 420);
}

void TCalcForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    CalcEdit->setFocus();
}

void TCalcForm::showTape(int select)
{
    TapeList->clear();
    TapeList->addItems(m_tape.Lines());
    if (select >= 0 && select < TapeList->count()) {
        TapeList->setCurrentRow(select);
        TapeList->scrollToItem(TapeList->item(select));
    }
}

void TCalcForm::EnterInput(QChar op)
{
    const bool empty = CalcEdit->text().trimmed().isEmpty();
    const double amount = CalcLink->Value();
    const int line = m_tape.Enter(op, empty, amount);
    CalcEdit->clear();
    showTape(line);
}

bool TCalcForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == CalcEdit && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        const QString text = key->text();
        QChar op;
        if (key->key() == Qt::Key_Minus && (key->modifiers() & Qt::KeypadModifier))
            op = u'-';
        else if (text.size() == 1 && QStringView(u"+*/").contains(text.at(0))
                 && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
            op = text.at(0);
        if (op.isNull())
            return false;
        Guarded(this, [&] { EnterInput(op); });
        return true;
    }
    if (watched == CalcEdit && event->type() == QEvent::FocusOut) {
        // leaving the input with a number in it draws the total; the
        // window going away (or a pop-up) is not leaving
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason
            && !CalcEdit->text().trimmed().isEmpty()) {
            Guarded(this, [this] { EnterInput(TCalcTape::Total); });
            QTimer::singleShot(0, CalcEdit, [edit = CalcEdit] { edit->setFocus(Qt::OtherFocusReason); });
        }
        return false;
    }
    if (watched == TapeList && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier))
            return false;
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Guarded(this, [this] { TapeEditLine(); });
            return true;
        case Qt::Key_Insert:
            Guarded(this, [this] { TapeInsertLine(); });
            return true;
        case Qt::Key_Delete:
            Guarded(this, [this] { TapeDeleteLine(); });
            return true;
        default:
            return false;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TCalcForm::TapeEditLine()
{
    const int line = TapeList->currentRow();
    double amount = 0;
    QChar mark;
    if (m_tape.Kind(line) != TCalcTape::lkOperand)
        return;
    TCalcTape::ReadLine(m_tape.Lines().at(line), &amount, &mark);
    TCalcParamsForm params(this);
    if (!params.Execute(amount, mark, false))
        return;
    m_tape.Change(line, amount, mark);
    showTape(line);
}

void TCalcForm::TapeInsertLine()
{
    const int line = TapeList->currentRow();
    if (m_tape.Kind(line) != TCalcTape::lkOperand)
        return;
    double amount = 0;
    QChar op = u'+';
    TCalcParamsForm params(this);
    if (!params.Execute(amount, op, true))
        return;
    m_tape.InsertBefore(line, amount, op);
    showTape(line);
}

void TCalcForm::TapeDeleteLine()
{
    const int select = m_tape.Delete(TapeList->currentRow());
    if (select >= -1 && m_tape.Lines().size() != TapeList->count())
        showTape(select);
}

void TCalcForm::ClearBtnClick()
{
    if (m_tape.Lines().isEmpty())
        return;
    if (UserInterface().MessageDlg(QStringLiteral("Вы уверены ?"), QString(), TUserInterface::mtWarning,
                                   {TUserInterface::mbYes, TUserInterface::mbNo, TUserInterface::mbCancel})
        != TUserInterface::mbYes)
        return;
    m_tape.Clear();
    showTape(-1);
}

QString TCalcForm::PrintTape()
{
    // the program confirms before printing
    if (m_tape.Lines().isEmpty()
        || UserInterface().MessageDlg(QStringLiteral("Вы уверены, что хотите печатать ?"), QString(),
                                      TUserInterface::mtWarning,
                                      {TUserInterface::mbYes, TUserInterface::mbNo, TUserInterface::mbCancel})
               != TUserInterface::mbYes)
        return QString();
    return PrintTextLines(m_tape.Lines(), TapeList->font(), QStringLiteral("calculator.pdf"));
}

// ---------------------------------------------------------------- the dialog

TCalcParamsForm::TCalcParamsForm(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Форма ввода"));
    ValueEdit = new QLineEdit;
    ValueEdit->setAlignment(Qt::AlignRight);
    ValueLink = new TKtCurrencyLink(this);
    ValueLink->SetLinkEdit(ValueEdit);
    auto *label = new QLabel(QStringLiteral("&Введите число"));
    label->setBuddy(ValueEdit);

    OperGroup = new QGroupBox(QStringLiteral("О&перация"));
    OperButtons = new QButtonGroup(this);
    auto *opLayout = new QVBoxLayout(OperGroup);
    const QStringList captions = {QStringLiteral("(+) Плюс"), QStringLiteral("(-) Минус"),
                                  QStringLiteral("(*) Умножить"), QStringLiteral("(/) Разделить")};
    for (int i = 0; i < captions.size(); ++i) {
        auto *b = new QRadioButton(captions.at(i));
        OperButtons->addButton(b, i);
        opLayout->addWidget(b);
    }
    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(ValueEdit);
    layout->addWidget(OperGroup);
    layout->addWidget(Buttons);
}

bool TCalcParamsForm::Execute(double &amount, QChar &op, bool blank)
{
    if (blank)
        ValueEdit->clear();
    else
        ValueLink->SetValue(amount);
    const bool total = op == TCalcTape::Total;
    OperGroup->setEnabled(!total);
    OperButtons->setExclusive(false);
    for (QAbstractButton *b : OperButtons->buttons())
        b->setChecked(!total && OperButtons->id(b) == Operations.indexOf(op));
    OperButtons->setExclusive(true);
    ValueEdit->setFocus();
    ValueEdit->selectAll();
    if (exec() != QDialog::Accepted)
        return false;
    amount = ValueLink->Value();
    if (!total && OperButtons->checkedId() >= 0)
        op = Operations.at(OperButtons->checkedId());
    return true;
}

// ---------------------------------------------------------------- F4

void InstallCalculator(std::function<void()> &slot, QWidget *owner)
{
    auto form = std::make_shared<QPointer<TCalcForm>>();
    slot = [form, owner = QPointer<QWidget>(owner)] {
        if (!*form)
            *form = new TCalcForm(owner);
        (*form)->exec();
    };
}
