#include "CalcTape.h"

#include "common/Convert.h"
#include "common/Format.h"
#include "common/FormatSettings.h"
#include "common/Strings.h"

namespace {

constexpr int LineWidth = 30;
constexpr int MarkWidth = 4;

QString amountLine(double amount, const QString &mark)
{
    return PadLeft(FloatToStrF(amount, TFloatFormat::ffCurrency, 15, 2) + PadLeft(mark + u' ', MarkWidth),
                   LineWidth);
}

} // namespace

QString TCalcTape::OperandLine(double amount, QChar mark)
{
    return amountLine(amount, QString(mark));
}

QString TCalcTape::ResultLine(double amount)
{
    return amountLine(amount, QString());
}

QString TCalcTape::Rule()
{
    return QString(LineWidth, u'-');
}

TCalcTape::TLineKind TCalcTape::ReadLine(const QString &line, double *amount, QChar *mark)
{
    if (line.size() <= 3)
        return lkOther;
    const QString sign = line.right(MarkWidth).trimmed();
    QString number = line.left(line.size() - MarkWidth).trimmed();
    number.remove(FormatSettings().ThousandSeparator);
    double value = 0;
    if (sign.size() > 1 || !TryStrToFloat(number, value))
        return lkOther;
    if (amount)
        *amount = value;
    if (mark)
        *mark = sign.isEmpty() ? QChar(u' ') : sign.at(0);
    return sign.isEmpty() ? lkResult : lkOperand;
}

TCalcTape::TLineKind TCalcTape::Kind(int line) const
{
    return line >= 0 && line < m_lines.size() ? ReadLine(m_lines.at(line)) : lkOther;
}

int TCalcTape::Enter(QChar op, bool inputEmpty, double amount)
{
    if (m_resultMode) {
        m_resultMode = false;
        if (inputEmpty) {
            // the total carried into the next calculation
            double total = 0;
            if (!m_lines.isEmpty())
                ReadLine(m_lines.last(), &total);
            m_lines << OperandLine(total, op);
            return int(m_lines.size() - 1);
        }
        m_lines << QString();   // a new calculation
    }
    if (op == Total) {
        m_lines << OperandLine(amount, Total) << Rule() << ResultLine(0);
        Recompute();
        m_resultMode = true;
    } else {
        m_lines << OperandLine(amount, op);
    }
    return int(m_lines.size() - 1);
}

void TCalcTape::Change(int line, double amount, QChar op)
{
    QChar mark;
    double old = 0;
    if (line < 0 || line >= m_lines.size() || ReadLine(m_lines.at(line), &old, &mark) != lkOperand)
        return;
    m_lines[line] = OperandLine(amount, mark == Total ? Total : op);
    Recompute();
}

void TCalcTape::InsertBefore(int line, double amount, QChar op)
{
    if (Kind(line) != lkOperand)
        return;
    m_lines.insert(line, OperandLine(amount, op));
    Recompute();
}

int TCalcTape::Delete(int line)
{
    QChar mark;
    if (line < 0 || line >= m_lines.size() || ReadLine(m_lines.at(line), nullptr, &mark) != lkOperand)
        return -1;
    if (mark == Total && Kind(line - 1) != lkOperand)
        return -1;
    m_lines.removeAt(line);
    Recompute();
    return qMin(line, int(m_lines.size() - 1));
}

void TCalcTape::Clear()
{
    m_lines.clear();
    m_resultMode = false;
}

void TCalcTape::Recompute()
{
    double acc = 0;
    QChar pending;
    bool fresh = true;
    for (int i = 0; i < m_lines.size(); ++i) {
        double amount = 0;
        QChar mark;
        switch (ReadLine(m_lines.at(i), &amount, &mark)) {
        case lkOther:
            break;
        case lkResult: {
            m_lines[i] = ResultLine(acc);
            double above = 0;
            if (i >= 2 && ReadLine(m_lines.at(i - 2), &above) == lkOperand)
                m_lines[i - 2] = OperandLine(above, Total);
            QChar next;
            if (i + 1 < m_lines.size() && ReadLine(m_lines.at(i + 1), nullptr, &next) == lkOperand)
                m_lines[i + 1] = OperandLine(acc, next);
            acc = 0;
            fresh = true;
            break;
        }
        case lkOperand:
            if (fresh) {
                acc = amount;
                fresh = false;
            } else if (pending == u'+') {
                acc += amount;
            } else if (pending == u'-') {
                acc -= amount;
            } else if (pending == u'*') {
                acc *= amount;
            } else if (pending == u'/' && amount != 0) {
                acc /= amount;
            }
            pending = mark;
            break;
        }
    }
}
