#include "Commands.h"

#include "CommandPlan.h"
#include "ReportHost.h"
#include "TokenCodes.h"
#include "VarStack.h"

#include "common/Exceptions.h"
#include "common/Limits.h"
#include "common/Format.h"

#include <vector>

// The handlers of the kinds run by ExecuteCommands are forced inline there,
// so that the loop keeps the counter in a register and calls nothing for a
// register move or a jump. Their Run is public, but defined here only: the
// loop and TCommand::Execute are its callers.
#define QUARN_INTERP_INLINE inline __attribute__((always_inline))

namespace {

QString operatorText(quint8 op)
{
    switch (op) {
    case tkNot: return QStringLiteral("NOT");
    case tkAnd: return QStringLiteral("AND");
    case tkOr: return QStringLiteral("OR");
    case tkEqual: return QStringLiteral("=");
    case tkNotEqual: return QStringLiteral("<>");
    case tkGreater: return QStringLiteral(">");
    case tkLess: return QStringLiteral("<");
    case tkGreaterEqual: return QStringLiteral(">=");
    case tkLessEqual: return QStringLiteral("<=");
    case tkMinus: return QStringLiteral("-");
    case tkPlus: return QStringLiteral("+");
    case tkMultiply: return QStringLiteral("*");
    case tkDivide: return QStringLiteral("/");
    case opCopy: return QStringLiteral("COPY");
    default: return QStringLiteral("OP%1").arg(op);
    }
}

const QString &paramListText()
{
    static const QString text = QStringLiteral("P");
    return text;
}

QString jumpText(int offset)
{
    return offset >= 0 ? QStringLiteral("+%1").arg(offset) : QString::number(offset);
}

QString keepText(bool keepType)
{
    return keepType ? QStringLiteral(" keep") : QString();
}

// A value of the automation boundary for a holder, by the holder's type.
TDispValue dispValueOf(const TReportVar &var)
{
    switch (var.VarType()) {
    case vtNumber: return TDispValue::FromDouble(var.GetAsNumber());
    case vtString: return TDispValue::FromString(var.GetAsString());
    case vtDate: return TDispValue::FromDate(var.GetAsDate());
    case vtBoolean: return TDispValue::FromBoolean(var.GetAsBoolean());
    case vtDispatch: return TDispValue::FromDispatch(var.GetAsDispatch());
    default: return TDispValue();
    }
}

// The script type an automation value becomes; UNDEFINED for none.
int scriptTypeOf(const TDispValue &v)
{
    switch (v.Type) {
    case TDispValue::Integer:
    case TDispValue::Double:
    case TDispValue::Currency: return vtNumber;
    case TDispValue::Date: return vtDate;
    case TDispValue::String: return vtString;
    case TDispValue::Boolean: return vtBoolean;
    case TDispValue::Dispatch: return vtDispatch;
    default: return vtUndefined;
    }
}

// Stores an automation value into a holder by the value's type; a value of a
// type the script lacks stores nothing.
void storeDispValue(TReportVar &var, const TDispValue &v)
{
    switch (v.Type) {
    case TDispValue::Integer: var.SetAsNumber(double(v.IntValue)); break;
    case TDispValue::Double: var.SetAsNumber(v.NumValue); break;
    case TDispValue::Currency: var.SetAsNumber(double(v.IntValue) / 10000.0); break;
    case TDispValue::Date: var.SetAsDate(v.NumValue); break;
    case TDispValue::String: var.SetAsString(v.StrValue); break;
    case TDispValue::Boolean: var.SetAsBoolean(v.BoolValue); break;
    case TDispValue::Dispatch: var.SetAsDispatch(v.DispValue); break;
    default: break;
    }
}

} // namespace

QString ConstText(const TConstValue &value)
{
    switch (value.Type) {
    case TConstValue::ctInteger:
    case TConstValue::ctDouble:
    case TConstValue::ctCurrency:
        return FloatToStr(value.Number);
    case TConstValue::ctDate:
        return QStringLiteral("DATE ") + FloatToStr(value.Number);
    case TConstValue::ctBoolean:
        return value.Bool ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    case TConstValue::ctString: {
        // As a literal: quoted parts, with control characters as #codes.
        QString text;
        bool quoted = false;
        for (QChar c : value.Text) {
            if (c.unicode() < 32) {
                if (quoted)
                    text += u'\'';
                quoted = false;
                text += u'#' + QString::number(c.unicode());
            } else {
                if (!quoted)
                    text += u'\'';
                quoted = true;
                text += c;
                if (c == u'\'')
                    text += c;
            }
        }
        if (quoted)
            text += u'\'';
        return text.isEmpty() ? QStringLiteral("''") : text;
    }
    case TConstValue::ctNone:
        break;
    }
    return QStringLiteral("none");
}

// ---------------------------------------------------------------------------

TCommand::~TCommand() = default;

QUARN_INTERP_INLINE void TCommand::step(int &pc, TReportHost &report) const
{
    ++pc;
    report.SetErrorPos(m_position - 1);
}

QString TCommand::ListingText() const
{
    const QString operands = Operands();
    return operands.isEmpty() ? QString::fromLatin1(Kind())
                              : QString::fromLatin1(Kind()) + u' ' + operands;
}

QUARN_INTERP_INLINE void TAssignCmd::Run(int &pc, TReportHost &report, TVarStack &, bool takeSource)
{
    step(pc, report);
    if (takeSource) {
        if (m_keepType)
            m_target->AssignTaken(*m_source);
        else
            m_target->AssignFreshTaken(*m_source);
    } else if (m_keepType) {
        m_target->Assign(*m_source);
    } else {
        m_target->AssignFresh(*m_source);
    }
}

QString TAssignCmd::Operands() const
{
    return m_target->Name() + QStringLiteral(" := ") + m_source->Name() + keepText(m_keepType);
}

QUARN_INTERP_INLINE void TAssignConstCmd::StoreInto(TReportVar &target) const
{
    switch (m_value.Type) {
    case TConstValue::ctInteger:
    case TConstValue::ctDouble:
    case TConstValue::ctCurrency:
        target.SetAsNumber(m_value.Number);
        break;
    case TConstValue::ctDate:
        target.SetAsDate(m_value.Number);
        break;
    case TConstValue::ctBoolean:
        target.SetAsBoolean(m_value.Bool);
        break;
    case TConstValue::ctString:
        target.SetAsString(m_value.Text);
        break;
    case TConstValue::ctNone:
        break;
    }
}

QUARN_INTERP_INLINE void TAssignConstCmd::StoreArgumentInto(TReportVar &argument) const
{
    if (m_value.Type == TConstValue::ctString && m_value.Text.isEmpty())
        argument.SetAsString(QString());
    else
        StoreInto(argument);
}

void TAssignConstCmd::StoreArgument(TReportVar &argument) const
{
    StoreArgumentInto(argument);
}

void TAssignConstCmd::Store(TReportVar &target) const
{
    StoreInto(target);
}

QUARN_INTERP_INLINE void TAssignConstCmd::Run(int &pc, TReportHost &report, TVarStack &)
{
    step(pc, report);
    if (!m_keepType)
        m_target->Clear();
    StoreInto(*m_target);
}

QString TAssignConstCmd::Operands() const
{
    return m_target->Name() + QStringLiteral(" := ") + ConstText(m_value) + keepText(m_keepType);
}

QUARN_INTERP_INLINE void TCalcCmd::Run(int &pc, TReportHost &report, TVarStack &, bool takeSource)
{
    step(pc, report);
    switch (m_op) {
    case tkNot:
        m_target->SetAsBoolean(!m_target->GetAsBoolean());
        break;
    case tkAnd: {
        // The source is not read at all when the target already decides.
        const bool b = m_target->GetAsBoolean() ? m_source->GetAsBoolean() : false;
        m_target->SetAsBoolean(b);
        break;
    }
    case tkOr: {
        const bool b = m_target->GetAsBoolean() ? true : m_source->GetAsBoolean();
        m_target->SetAsBoolean(b);
        break;
    }
    case tkMinus:
        m_target->Subtract(*m_source);
        break;
    case tkPlus:
        m_target->Add(*m_source);
        break;
    case tkMultiply:
        m_target->Multiply(*m_source);
        break;
    case tkDivide:
        m_target->Divide(*m_source);
        break;
    case opCopy:
        if (takeSource)
            m_target->AssignFreshTaken(*m_source);
        else
            m_target->AssignFresh(*m_source);
        break;
    default:
        break;
    }
}

QString TCalcCmd::Operands() const
{
    if (m_op == tkNot)
        return QStringLiteral("NOT ") + m_target->Name();
    return operatorText(m_op) + u' ' + m_target->Name() + QStringLiteral(", ") + m_source->Name();
}

QUARN_INTERP_INLINE void TCompareCmd::Run(int &pc, TReportHost &report, TVarStack &)
{
    step(pc, report);
    const bool b = m_left->Compare(*m_right, m_op);
    m_left->Clear();
    m_left->SetAsBoolean(b);
}

QString TCompareCmd::Operands() const
{
    return operatorText(m_op) + u' ' + m_left->Name() + QStringLiteral(", ") + m_right->Name();
}

QUARN_INTERP_INLINE void TJumpCmd::Run(int &pc, TReportHost &report, TVarStack &)
{
    const int index = pc;
    step(pc, report);
    pc = index + m_offset;
}

QString TJumpCmd::Operands() const
{
    return jumpText(m_offset);
}

QUARN_INTERP_INLINE void TJnzCmd::Run(int &pc, TReportHost &report, TVarStack &)
{
    const int index = pc;
    step(pc, report);
    if (!m_condition->GetAsBoolean())
        pc = index + m_offset;
}

QString TJnzCmd::Operands() const
{
    return m_condition->Name() + QStringLiteral(", ") + jumpText(m_offset);
}

QUARN_INTERP_INLINE void TPushCmd::Run(int &pc, TReportHost &report, TVarStack &stack)
{
    step(pc, report);
    if (m_var)
        stack.Push(*m_var);
    else
        stack.Push(*m_params);
}

QString TPushCmd::Operands() const
{
    return m_var ? m_var->Name() : paramListText();
}

QUARN_INTERP_INLINE void TPopCmd::Run(int &pc, TReportHost &report, TVarStack &stack)
{
    step(pc, report);
    if (m_var)
        stack.Pop(*m_var);
    else
        stack.Pop(*m_params, m_recreate);
}

QString TPopCmd::Operands() const
{
    if (m_var)
        return m_var->Name();
    return m_recreate ? paramListText() + QStringLiteral(" recreate") : paramListText();
}

QUARN_INTERP_INLINE void TClearParamListCmd::Run(int &pc, TReportHost &report, TVarStack &)
{
    step(pc, report);
    if (!m_params->IsEmpty())   // as it mostly is: nothing to park
        m_params->Clear();
}

QString TClearParamListCmd::Operands() const
{
    return paramListText();
}

QUARN_INTERP_INLINE void TAddParamCmd::Run(int &pc, TReportHost &report, TVarStack &)
{
    step(pc, report);
    if (m_byRef)
        m_params->AddByRef(*m_var);
    else if (m_takeValue)
        m_params->AddTaken(*m_var);
    else
        m_params->AddCopy(*m_var);
}

QString TAddParamCmd::Operands() const
{
    return paramListText() + QStringLiteral(", ") + (m_byRef ? QStringLiteral("&") : QString())
           + m_var->Name();
}

QUARN_INTERP_INLINE void TCallCmd::Run(int &pc, TReportHost &report, TVarStack &)
{
    step(pc, report);
    if (m_func->ArgCount() != -1 && m_params->Count() < m_func->ArgCount())
        throw Exception(QStringLiteral("%1: Неверное количество параметров вызова").arg(m_func->Name()));
    m_result->Clear();
    if (m_func->Implementation())
        m_func->Implementation()(report, *m_params, *m_result);
}

QString TCallCmd::Operands() const
{
    return m_result->Name() + QStringLiteral(" := ") + m_func->Name() + u'(' + paramListText() + u')';
}

void TDispCallCmd::Execute(int &pc, TReportHost &report, TVarStack &)
{
    step(pc, report);
    if (m_object->VarType() != vtDispatch)
        throw Exception(QStringLiteral("%1: Операция неприменима для данного типа данных (%2)")
                            .arg(m_object->Name(), VarTypeName(m_object->VarType())));
    // Held here: the result may be stored into the very holder of the object.
    const TDispatchRef object = m_object->GetAsDispatch();
    if (!object)
        throw EOleError(QStringLiteral("Variant does not reference an automation object"));

    if (m_kind & ckPropertyPut) {
        auto temp = std::make_unique<TReportVar>(QStringLiteral("@TEMP"), m_params);
        temp->Assign(*m_value);
        m_params->Add(std::move(temp));
    }

    std::vector<TDispArg> args(size_t(m_params->Count()));
    for (int i = 0; i < m_params->Count(); ++i) {
        const TReportVar &param = *m_params->Items(i);
        args[size_t(i)].Value = dispValueOf(param);
        args[size_t(i)].ByRef = i < int(m_byRefSet.size()) && m_byRefSet.test(size_t(i));
    }

    const bool wantResult = (m_kind & ckPropertyGet) != 0;
    TDispValue result;
    object->Invoke(m_member, m_kind, args, wantResult ? &result : nullptr);

    // A by-reference argument stands for the variable's own storage: what
    // the object left there is the variable's value now, as long as it is
    // of the variable's type.
    for (int i = 0; i < m_params->Count() && size_t(i) < args.size(); ++i) {
        TReportVar &param = *m_params->Items(i);
        if (args[size_t(i)].ByRef && param.VarType() != vtUndefined
            && scriptTypeOf(args[size_t(i)].Value) == param.VarType())
            storeDispValue(param, args[size_t(i)].Value);
    }

    m_result->Clear();
    if (wantResult)
        storeDispValue(*m_result, result);
}

QString TDispCallCmd::Operands() const
{
    QString text = m_result->Name() + QStringLiteral(" := ") + m_object->Name() + u'.' + m_member
                   + u'(' + paramListText() + QStringLiteral(") kind %1, value ").arg(int(m_kind))
                   + m_value->Name();
    if (m_byRefSet.any()) {
        QStringList positions;
        for (size_t i = 0; i < m_byRefSet.size(); ++i)
            if (m_byRefSet.test(i))
                positions << QString::number(i);
        text += QStringLiteral(", byref {") + positions.join(QStringLiteral(", ")) + u'}';
    }
    return text;
}

// ---------------------------------------------------------------------------

void TCommand::Execute(int &pc, TReportHost &report, TVarStack &stack)
{
    switch (m_code) {
    case ckAssign: static_cast<TAssignCmd *>(this)->Run(pc, report, stack); return;
    case ckAssignConst: static_cast<TAssignConstCmd *>(this)->Run(pc, report, stack); return;
    case ckCalc: static_cast<TCalcCmd *>(this)->Run(pc, report, stack); return;
    case ckCompare: static_cast<TCompareCmd *>(this)->Run(pc, report, stack); return;
    case ckJump: static_cast<TJumpCmd *>(this)->Run(pc, report, stack); return;
    case ckJnz: static_cast<TJnzCmd *>(this)->Run(pc, report, stack); return;
    case ckPush: static_cast<TPushCmd *>(this)->Run(pc, report, stack); return;
    case ckPop: static_cast<TPopCmd *>(this)->Run(pc, report, stack); return;
    case ckClearParamList: static_cast<TClearParamListCmd *>(this)->Run(pc, report, stack); return;
    case ckAddParam: static_cast<TAddParamCmd *>(this)->Run(pc, report, stack); return;
    case ckCall: static_cast<TCallCmd *>(this)->Run(pc, report, stack); return;
    case ckOther: break;
    }
    step(pc, report);
}

TCommandList::TCommandList() = default;
TCommandList::~TCommandList() = default;

namespace {

// The runs of the plan (CommandPlan.cpp, where each is worked out and why it
// leaves the holders as its commands would), done in one step.

// "PUSH x; @A := operand; POP y": the save and the restore on the holders.
QUARN_INTERP_INLINE void runSavedOperand(const TCommandStep *step, TReportHost &report, TVarStack &stack)
{
    TReportVar *const saved = static_cast<TPushCmd *>(step[0].Command)->Var();
    TCommand *const load = step[1].Command;
    TReportVar *const restored = static_cast<TPopCmd *>(step[2].Command)->Var();
    if (saved != restored)
        restored->AssignPopped(*saved);   // before the load may change x
    int next = 0;
    if (load->Code() == TCommand::ckAssign)
        static_cast<TAssignCmd *>(load)->Run(next, report, stack);
    else
        static_cast<TAssignConstCmd *>(load)->Run(next, report, stack);
    if (saved == restored)
        saved->AssignPopped(*saved);
    report.SetErrorPos(step[2].Command->Position() - 1);
}

// "@A := v; COPY @B, @A" with @A used up: @B := v.
QUARN_INTERP_INLINE void runLoadCopy(const TCommandStep *step, TReportHost &report)
{
    auto *copy = static_cast<TCalcCmd *>(step[1].Command);
    copy->Target().AssignFresh(static_cast<TAssignCmd *>(step->Command)->Source());
    report.SetErrorPos(copy->Position() - 1);
}

// "@A := @B; X := @A", both used up: X := @B.
QUARN_INTERP_INLINE void runStoreResult(const TCommandStep *step, TReportHost &report)
{
    TReportVar &value = static_cast<TAssignCmd *>(step[0].Command)->Source();
    auto *store = static_cast<TAssignCmd *>(step[1].Command);
    report.SetErrorPos(store->Position() - 1);
    if (store->KeepType())
        store->Target().AssignTaken(value);
    else
        store->Target().AssignFreshTaken(value);
}

// "@A := v; ADDPARAM P, @A" taking @A: the argument holder gets v.
QUARN_INTERP_INLINE void runLoadArgument(const TCommandStep *step, TReportHost &report)
{
    auto *add = static_cast<TAddParamCmd *>(step[1].Command);
    TReportVar &argument = add->Params().AddEmpty(add->Var());
    if (step->Command->Code() == TCommand::ckAssign) {
        argument.AssignFresh(static_cast<TAssignCmd *>(step->Command)->Source());
    } else {
        static_cast<TAssignConstCmd *>(step->Command)->StoreArgumentInto(argument);
    }
    add->Var().Clear();
    report.SetErrorPos(add->Position() - 1);
}

// "PUSH P; CLEAR P; (@A := v; ADDPARAM P, @A)*; CALL; POP P": a call whose
// arguments are all loaded straight into their holders, as one step. With
// the argument holders taken back inline (TCustomParamList::AddEmpty) and
// the empty saved list popped inline (TVarStack::Pop), about 290
// instructions fewer for bench_script's eight calls a run.
QUARN_INTERP_INLINE void runCall(const TCommandStep *step, TReportHost &report, TVarStack &stack)
{
    int pc = 0;
    static_cast<TPushCmd *>(step[0].Command)->Run(pc, report, stack);
    static_cast<TClearParamListCmd *>(step[1].Command)->Run(pc, report, stack);
    const TCommandStep *argument = step + 2;
    for (int k = 0; k < step->Arguments; ++k, argument += 2)
        runLoadArgument(argument, report);
    static_cast<TCallCmd *>(argument[0].Command)->Run(pc, report, stack);
    static_cast<TPopCmd *>(argument[1].Command)->Run(pc, report, stack);
}

// A leaf of a number run: a constant, or a variable holding a number.
QUARN_INTERP_INLINE bool leafNumber(const TNumberOp &op, double &x)
{
    if (op.Code == TNumberOp::ncConstant) {
        x = op.Constant;
        return true;
    }
    if (op.Variable->VarType() != vtNumber)
        return false;
    x = op.Variable->GetAsNumber();
    return true;
}

// ComputeNumbers for a run of one operator on two leaves, most of a
// script's arithmetic and comparisons, without a call and without a jump
// through a table: bench_script runs 4 % faster (0.566 against 0.533 s,
// medians of ten alternating runs).
QUARN_INTERP_INLINE bool computeBinary(const TNumberOp *code, double &value, double &lastLeft)
{
    double x, y;
    if (!leafNumber(code[0], x) || !leafNumber(code[1], y))
        return false;
    lastLeft = x;
    const TNumberOp::TCode op = code[2].Code;
    if (op == TNumberOp::ncPlus)
        value = x + y;
    else if (op == TNumberOp::ncMinus)
        value = x - y;
    else if (op == TNumberOp::ncMultiply)
        value = x * y;
    else if (op == TNumberOp::ncDivide) {
        if (y == 0)
            return false;
        value = x / y;
    } else if (op == TNumberOp::ncGreater)
        value = x > y;
    else if (op == TNumberOp::ncLess)
        value = x < y;
    else if (op == TNumberOp::ncEqual)
        value = x == y;
    else if (op == TNumberOp::ncNotEqual)
        value = x != y;
    else if (op == TNumberOp::ncGreaterEqual)
        value = x >= y;
    else if (op == TNumberOp::ncLessEqual)
        value = x <= y;
    else if (op == TNumberOp::ncAnd)
        value = x != 0 && y != 0;
    else
        value = x != 0 || y != 0;
    return true;
}

// A number run (TNumberRun in CommandPlan.h): the expression computed on
// the numbers, the value stored, passed or tested as its last command
// would, and the registers left with the types and numbers the commands
// would leave them (a function may read them, and a failed run leaves them
// to the next). Saves the register moves, the stack entries and the
// dispatch of the runs the expression is made of: a statement
// "COUNTER := COUNTER + 1" takes 160 instructions instead of 226, and
// longer expressions and conditions save more. False, with nothing done,
// when a variable holds anything but a number, a divisor is zero or the
// target of a store holds anything but a number.
QUARN_INTERP_INLINE bool runNumbers(const TNumberRun &run, TReportHost &report, int &pc)
{
    double value, lastLeft;
    if (!(run.Binary ? computeBinary(run.Code, value, lastLeft) : ComputeNumbers(run.Code, value, lastLeft)))
        return false;
    TReportVar &a = *run.A;
    TReportVar &b = *run.B;
    if (run.Use == TNumberRun::nuJump) {
        // the comparison's truth in both registers
        b.BecomeBoolean(value != 0);
        a.BecomeBoolean(value != 0);
        report.SetErrorPos(run.LastPosition - 1);
        pc += value != 0 ? run.Length : run.Length - 1 + run.JumpOffset;
        return true;
    }
    if (run.Use == TNumberRun::nuStore && !run.Target->HoldsOnlyNumbers())
        return false;
    // @B as the operator leaves it, @A its copy or, once taken by an
    // argument, UNDEFINED
    b.BecomeNumber(value, lastLeft);
    report.SetErrorPos(run.LastPosition - 1);
    if (run.Use == TNumberRun::nuStore) {
        a.BecomeNumber(value);
        run.Target->SetAsNumber(value);
    } else {
        a.Clear();
        run.Argument->Params().AddEmpty(run.Argument->Var()).SetAsNumber(value);
    }
    pc += run.Length;
    return true;
}

// A call of a function that only reads its arguments (TDirectCall in
// CommandPlan.h), given the call's own parameter list: bench_script's
// eight calls a run take about 230 instructions each for saving, clearing,
// refilling and restoring the caller's parameter list and copying the
// arguments in. False when the call is to run by its commands instead: a
// number argument that is not computed on numbers, or a failure of the
// function, which the commands then give with their own message.
bool runDirectCall(TDirectCall &call, const TCommandPlan &plan, TReportHost &report)
{
    if (!call.Numbers.empty()) {
        double value = 0, lastLeft = 0;
        for (const TDirectCall::TNumberArgument &number : call.Numbers) {
            if (!ComputeNumbers(plan.NumberRun(number.Run).Code, value, lastLeft))
                return false;
            number.Holder->BecomeNumber(value);
        }
        call.RegisterB->BecomeNumber(value, lastLeft);
    }
    call.Result->Clear();
    try {
        if (call.Code)
            call.Code(report, call.Arguments, *call.Result);
        else
            call.Func->Implementation()(report, call.Arguments, *call.Result);
    } catch (...) {
        return false;
    }
    if (call.Store) {
        // as the store's own step: it may fail, with its own message
        report.SetErrorPos(call.Store->Position() - 1);
        call.Store->Target().AssignTaken(*call.Result);
    } else {
        report.SetErrorPos(call.EndPosition - 1);
    }
    return true;
}

// A concatenation of texts (TTextRun in CommandPlan.h): @B made as the
// commands make it, the leaves added straight from their holders rather
// than through copies in @A that are overwritten unread. False, with
// nothing done, when a leaf holds anything but a text, a leaf added is
// empty or the sum would be too long: the commands then run, and fail, as
// compiled.
QUARN_INTERP_INLINE bool runText(const TTextRun &run, TReportHost &report, TVarStack &stack, int &pc)
{
    qsizetype size = 0;
    for (size_t i = 0; i < run.Leaves.size(); ++i) {
        const TReportVar &leaf = *run.Leaves[i];
        // an empty text reaches "+" as a null one through @A: left to the
        // commands, as rare as it is
        if (leaf.VarType() != vtString || (i > 0 && leaf.StringValue().isEmpty()))
            return false;
        size += leaf.StringValue().size();
    }
    if (size > MaxStringLength)
        return false;
    // "PUSH @B; ...; POP @B" drops @B's previous values before each "+",
    // which sets the previous text anew and leaves the rest as the fresh
    // copy did: nothing to do for it here
    TReportVar &b = *run.B;
    b.AssignFresh(*run.Leaves[0]);
    for (size_t i = 1; i < run.Leaves.size(); ++i)
        b.Add(*run.Leaves[i]);
    int next = 0;
    static_cast<TAssignCmd *>(run.Result->Command)->Run(next, report, stack, run.Result->TakeSource);
    pc += run.Length;
    return true;
}

// "@A := v; X := @A" with @A used up: X := v.
QUARN_INTERP_INLINE void runLoadStore(const TCommandStep *step, TReportHost &report)
{
    auto *store = static_cast<TAssignCmd *>(step[1].Command);
    report.SetErrorPos(store->Position() - 1);
    TReportVar &value = static_cast<TAssignCmd *>(step->Command)->Source();
    if (store->KeepType())
        store->Target().Assign(value);
    else
        store->Target().AssignFresh(value);
}

} // namespace

// Threaded like the command loop: each operation ends in a jump of its
// own to the next one's handler, so that the processor predicts it from the
// operation it follows rather than all of them through one switch. The
// report of bench_report took 1.93 to 2.02 s over 1,000,000 rows against
// 2.11 to 2.21 s with the switch (three alternating runs).
bool ComputeNumbers(const TNumberOp *op, double &value, double &lastLeft)
{
    static void *const handlers[] = {&&variable, &&constant, &&plus, &&minus, &&multiply, &&divide,
                                     &&equal, &&notEqual, &&greater, &&less, &&greaterEqual, &&lessEqual,
                                     &&andOp, &&orOp, &&end};
    static_assert(std::size(handlers) == TNumberOp::ncEnd + 1);
    double stack[TCommandPlan::MaxNumberDepth];
    double *top = stack;   // the next free entry
#define QUARN_NEXT_NUMBER goto *handlers[(++op)->Code]
#define QUARN_NUMBER_OPERATOR(label, expression) \
    label:                                       \
    --top;                                       \
    lastLeft = top[-1];                          \
    top[-1] = (expression);                      \
    QUARN_NEXT_NUMBER;

    goto *handlers[op->Code];
variable:
    if (op->Variable->VarType() != vtNumber)
        return false;
    *top++ = op->Variable->GetAsNumber();
    QUARN_NEXT_NUMBER;
constant:
    *top++ = op->Constant;
    QUARN_NEXT_NUMBER;
    QUARN_NUMBER_OPERATOR(plus, top[-1] + top[0])
    QUARN_NUMBER_OPERATOR(minus, top[-1] - top[0])
    QUARN_NUMBER_OPERATOR(multiply, top[-1] * top[0])
divide:
    if (top[-1] == 0)
        return false;
    --top;
    lastLeft = top[-1];
    top[-1] /= top[0];
    QUARN_NEXT_NUMBER;
    QUARN_NUMBER_OPERATOR(equal, top[-1] == top[0])
    QUARN_NUMBER_OPERATOR(notEqual, top[-1] != top[0])
    QUARN_NUMBER_OPERATOR(greater, top[-1] > top[0])
    QUARN_NUMBER_OPERATOR(less, top[-1] < top[0])
    QUARN_NUMBER_OPERATOR(greaterEqual, top[-1] >= top[0])
    QUARN_NUMBER_OPERATOR(lessEqual, top[-1] <= top[0])
    QUARN_NUMBER_OPERATOR(andOp, top[-1] != 0 && top[0] != 0)
    QUARN_NUMBER_OPERATOR(orOp, top[-1] != 0 || top[0] != 0)
#undef QUARN_NUMBER_OPERATOR
#undef QUARN_NEXT_NUMBER
end:
    value = stack[0];
    return true;
}

void ExecuteCommands(const TCommandList &commands, TReportHost &report, TVarStack &stack)
{
    stack.Clear();
    if (!commands.PlanEnabled()) {
        // with a counter of its own: the loop's never has its address taken
        int pc = 0;
        while (unsigned(pc) < unsigned(commands.Count()))
            commands[pc]->Execute(pc, report, stack);
        return;
    }
    const int count = commands.Count();
    int pc = 0;
    const TCommandPlan &plan = commands.Plan();
    const TCommandStep *const steps = plan.Steps();
    const TCommandStep *step = nullptr;
    // The commands of expressions are run here by their code: the calls
    // name the final classes, so they need no virtual dispatch and are
    // compiled into the loop. Every kind ends in a jump of its own to the
    // next command's kind (threaded code), so that the processor predicts
    // each such jump from the kind it follows rather than all of them
    // through one shared jump.
    static void *const kinds[] = {&&other, &&assign, &&assignConst, &&calc, &&compare, &&jump, &&jnz,
                                  &&push, &&pop, &&clearParamList, &&addParam, &&singleCall,
                                  &&assignTaken, &&copyTaken, &&savedOperand, &&loadCopy, &&storeResult, &&opStore, &&loadArgument,
                                  &&openCall, &&callReturn, &&loadStore, &&opResult, &&wholeCall,
                                  &&numbers, &&directCall, &&textRun};
    static_assert(std::size(kinds) == TCommandPlan::KindCount);
#define QUARN_NEXT_COMMAND                       \
    do {                                         \
        if (unsigned(pc) >= unsigned(count))     \
            return;                              \
        step = steps + pc;                       \
        goto *kinds[step->Kind];                 \
    } while (false)

    QUARN_NEXT_COMMAND;
assign:
    static_cast<TAssignCmd *>(step->Command)->Run(pc, report, stack);
    QUARN_NEXT_COMMAND;
assignConst:
    static_cast<TAssignConstCmd *>(step->Command)->Run(pc, report, stack);
    QUARN_NEXT_COMMAND;
calc:
    static_cast<TCalcCmd *>(step->Command)->Run(pc, report, stack);
    QUARN_NEXT_COMMAND;
compare:
    static_cast<TCompareCmd *>(step->Command)->Run(pc, report, stack);
    QUARN_NEXT_COMMAND;
jump:
    static_cast<TJumpCmd *>(step->Command)->Run(pc, report, stack);
    QUARN_NEXT_COMMAND;
jnz:
    static_cast<TJnzCmd *>(step->Command)->Run(pc, report, stack);
    QUARN_NEXT_COMMAND;
push:
    static_cast<TPushCmd *>(step->Command)->Run(pc, report, stack);
    QUARN_NEXT_COMMAND;
pop:
    static_cast<TPopCmd *>(step->Command)->Run(pc, report, stack);
    QUARN_NEXT_COMMAND;
clearParamList:
    static_cast<TClearParamListCmd *>(step->Command)->Run(pc, report, stack);
    QUARN_NEXT_COMMAND;
addParam:
    static_cast<TAddParamCmd *>(step->Command)->Run(pc, report, stack);
    QUARN_NEXT_COMMAND;
singleCall:
    static_cast<TCallCmd *>(step->Command)->Run(pc, report, stack);
    QUARN_NEXT_COMMAND;
assignTaken:
    static_cast<TAssignCmd *>(step->Command)->Run(pc, report, stack, true);
    QUARN_NEXT_COMMAND;
copyTaken:
    static_cast<TCalcCmd *>(step->Command)->Run(pc, report, stack, true);
    QUARN_NEXT_COMMAND;
savedOperand:
    runSavedOperand(step, report, stack);
    pc += 3;
    QUARN_NEXT_COMMAND;
loadCopy:
    runLoadCopy(step, report);
    pc += 2;
    QUARN_NEXT_COMMAND;
storeResult:
    runStoreResult(step, report);
    pc += 2;
    QUARN_NEXT_COMMAND;
opStore:
    static_cast<TCalcCmd *>(step->Command)->Run(pc, report, stack);
    runStoreResult(step + 1, report);
    pc += 2;
    QUARN_NEXT_COMMAND;
loadArgument:
    runLoadArgument(step, report);
    pc += 2;
    QUARN_NEXT_COMMAND;
openCall:
    static_cast<TPushCmd *>(step->Command)->Run(pc, report, stack);
    static_cast<TClearParamListCmd *>(step[1].Command)->Run(pc, report, stack);
    QUARN_NEXT_COMMAND;
callReturn:
    static_cast<TCallCmd *>(step->Command)->Run(pc, report, stack);
    static_cast<TPopCmd *>(step[1].Command)->Run(pc, report, stack);
    QUARN_NEXT_COMMAND;
loadStore:
    runLoadStore(step, report);
    pc += 2;
    QUARN_NEXT_COMMAND;
opResult:
    if (step->Command->Code() == TCommand::ckCalc)
        static_cast<TCalcCmd *>(step->Command)->Run(pc, report, stack);
    else
        static_cast<TCompareCmd *>(step->Command)->Run(pc, report, stack);
    static_cast<TAssignCmd *>(step[1].Command)->Run(pc, report, stack, step[1].TakeSource);
    QUARN_NEXT_COMMAND;
numbers: {
    const TNumberRun &run = plan.NumberRun(*step);
    if (runNumbers(run, report, pc) || (run.TextRun && runText(plan.TextRun(run.TextRun - 1), report, stack, pc)))
        QUARN_NEXT_COMMAND;
    goto *kinds[run.Fallback];   // the runs the expression is made of
}
directCall: {
    TDirectCall &call = plan.DirectCall(*step);
    if (runDirectCall(call, plan, report)) {
        pc += call.Length;
        QUARN_NEXT_COMMAND;
    }
    goto *kinds[call.Fallback];   // the runs the call is made of
}
textRun: {
    const TTextRun &run = plan.TextRun(*step);
    if (runText(run, report, stack, pc))
        QUARN_NEXT_COMMAND;
    goto *kinds[run.Fallback];   // the runs the concatenation is made of
}
wholeCall:
    runCall(step, report, stack);
    pc += 4 + 2 * step->Arguments;
    QUARN_NEXT_COMMAND;
other: {
    // through a copy: the counter itself never leaves the loop's registers
    int next = pc;
    step->Command->Execute(next, report, stack);
    pc = next;
    QUARN_NEXT_COMMAND;
}
#undef QUARN_NEXT_COMMAND
}

QStringList CommandListing(const TCommandList &commands)
{
    QStringList lines;
    for (int i = 0; i < commands.Count(); ++i) {
        const TCommand &c = *commands[i];
        const QString text = QStringLiteral("%1  %2 %3")
                                 .arg(i, 4)
                                 .arg(QString::fromLatin1(c.Kind()), -18)
                                 .arg(c.Operands(), -44);
        lines << text + QStringLiteral("  @%1").arg(c.Position());
    }
    return lines;
}
