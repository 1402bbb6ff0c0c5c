#include "Commands.h"

#include "ReportHost.h"
#include "TokenCodes.h"
#include "VarStack.h"

#include "common/Exceptions.h"
#include "common/Format.h"

#include <vector>

// The handlers of the kinds run by ExecuteCommands are forced inline there,
// so that the loop keeps the counter in a register and calls nothing for a
// register move or a jump.
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

void TCommand::Execute(int &pc, TReportHost &report, TVarStack &)
{
    step(pc, report);
}

QString TCommand::ListingText() const
{
    const QString operands = Operands();
    return operands.isEmpty() ? QString::fromLatin1(Kind())
                              : QString::fromLatin1(Kind()) + u' ' + operands;
}

QUARN_INTERP_INLINE void TAssignCmd::run(int &pc, TReportHost &report, TVarStack &)
{
    step(pc, report);
    if (m_takeSource) {
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

void TAssignCmd::Execute(int &pc, TReportHost &report, TVarStack &stack)
{
    run(pc, report, stack);
}

QString TAssignCmd::Operands() const
{
    return m_target->Name() + QStringLiteral(" := ") + m_source->Name() + keepText(m_keepType);
}

QUARN_INTERP_INLINE void TAssignConstCmd::storeInto(TReportVar &target) const
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

QUARN_INTERP_INLINE void TAssignConstCmd::run(int &pc, TReportHost &report, TVarStack &)
{
    step(pc, report);
    if (!m_keepType)
        m_target->Clear();
    storeInto(*m_target);
}

void TAssignConstCmd::Execute(int &pc, TReportHost &report, TVarStack &stack)
{
    run(pc, report, stack);
}

QString TAssignConstCmd::Operands() const
{
    return m_target->Name() + QStringLiteral(" := ") + ConstText(m_value) + keepText(m_keepType);
}

QUARN_INTERP_INLINE void TCalcCmd::run(int &pc, TReportHost &report, TVarStack &)
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
        if (m_takeSource)
            m_target->AssignFreshTaken(*m_source);
        else
            m_target->AssignFresh(*m_source);
        break;
    default:
        break;
    }
}

void TCalcCmd::Execute(int &pc, TReportHost &report, TVarStack &stack)
{
    run(pc, report, stack);
}

QString TCalcCmd::Operands() const
{
    if (m_op == tkNot)
        return QStringLiteral("NOT ") + m_target->Name();
    return operatorText(m_op) + u' ' + m_target->Name() + QStringLiteral(", ") + m_source->Name();
}

QUARN_INTERP_INLINE void TCompareCmd::run(int &pc, TReportHost &report, TVarStack &)
{
    step(pc, report);
    const bool b = m_left->Compare(*m_right, m_op);
    m_left->Clear();
    m_left->SetAsBoolean(b);
}

void TCompareCmd::Execute(int &pc, TReportHost &report, TVarStack &stack)
{
    run(pc, report, stack);
}

QString TCompareCmd::Operands() const
{
    return operatorText(m_op) + u' ' + m_left->Name() + QStringLiteral(", ") + m_right->Name();
}

QUARN_INTERP_INLINE void TJumpCmd::run(int &pc, TReportHost &report, TVarStack &)
{
    const int index = pc;
    step(pc, report);
    pc = index + m_offset;
}

void TJumpCmd::Execute(int &pc, TReportHost &report, TVarStack &stack)
{
    run(pc, report, stack);
}

QString TJumpCmd::Operands() const
{
    return jumpText(m_offset);
}

QUARN_INTERP_INLINE void TJnzCmd::run(int &pc, TReportHost &report, TVarStack &)
{
    const int index = pc;
    step(pc, report);
    if (!m_condition->GetAsBoolean())
        pc = index + m_offset;
}

void TJnzCmd::Execute(int &pc, TReportHost &report, TVarStack &stack)
{
    run(pc, report, stack);
}

QString TJnzCmd::Operands() const
{
    return m_condition->Name() + QStringLiteral(", ") + jumpText(m_offset);
}

QUARN_INTERP_INLINE void TPushCmd::run(int &pc, TReportHost &report, TVarStack &stack)
{
    step(pc, report);
    if (m_var)
        stack.Push(*m_var);
    else
        stack.Push(*m_params);
}

void TPushCmd::Execute(int &pc, TReportHost &report, TVarStack &stack)
{
    run(pc, report, stack);
}

QString TPushCmd::Operands() const
{
    return m_var ? m_var->Name() : paramListText();
}

QUARN_INTERP_INLINE void TPopCmd::run(int &pc, TReportHost &report, TVarStack &stack)
{
    step(pc, report);
    if (m_var)
        stack.Pop(*m_var);
    else
        stack.Pop(*m_params, m_recreate);
}

void TPopCmd::Execute(int &pc, TReportHost &report, TVarStack &stack)
{
    run(pc, report, stack);
}

QString TPopCmd::Operands() const
{
    if (m_var)
        return m_var->Name();
    return m_recreate ? paramListText() + QStringLiteral(" recreate") : paramListText();
}

QUARN_INTERP_INLINE void TClearParamListCmd::run(int &pc, TReportHost &report, TVarStack &)
{
    step(pc, report);
    m_params->Clear();
}

void TClearParamListCmd::Execute(int &pc, TReportHost &report, TVarStack &stack)
{
    run(pc, report, stack);
}

QString TClearParamListCmd::Operands() const
{
    return paramListText();
}

QUARN_INTERP_INLINE void TAddParamCmd::run(int &pc, TReportHost &report, TVarStack &)
{
    step(pc, report);
    if (m_byRef)
        m_params->AddByRef(*m_var);
    else if (m_takeValue)
        m_params->AddTaken(*m_var);
    else
        m_params->AddCopy(*m_var);
}

void TAddParamCmd::Execute(int &pc, TReportHost &report, TVarStack &stack)
{
    run(pc, report, stack);
}

QString TAddParamCmd::Operands() const
{
    return paramListText() + QStringLiteral(", ") + (m_byRef ? QStringLiteral("&") : QString())
           + m_var->Name();
}

QUARN_INTERP_INLINE void TCallCmd::run(int &pc, TReportHost &report, TVarStack &)
{
    step(pc, report);
    if (m_func->ArgCount() != -1 && m_params->Count() < m_func->ArgCount())
        throw Exception(QStringLiteral("%1: Неверное количество параметров вызова").arg(m_func->Name()));
    m_result->Clear();
    if (m_func->Implementation())
        m_func->Implementation()(report, *m_params, *m_result);
}

void TCallCmd::Execute(int &pc, TReportHost &report, TVarStack &stack)
{
    run(pc, report, stack);
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

// The interpreter's plan for a command list, worked out once per version of
// the list: which register copies may move their values, and which short
// runs of commands the loop does in one step. The list itself is never
// changed: its listing stays as compiled, and a jump into the middle of a
// run still finds the commands it names, run one by one.
struct TInterpreterLoop {
    // What the loop runs from an index besides a single command: runs of
    // commands that every expression is made of.
    enum TRunKind : quint8 {
        // "PUSH x; @A := operand; POP y", an operator's plain right operand
        rkSavedOperand = TCommand::ckCall + 1,
        // "@A := v; COPY @B, @A", a left operand loaded, @A used up
        rkLoadCopy,
        // "@A := @B; X := @A", a result stored, both registers used up
        rkStoreResult,
        // "op @B, @A" followed by rkStoreResult
        rkOpStore,
        // "@A := v; ADDPARAM P, @A" taking @A: an argument loaded
        rkLoadArgument,
        // "PUSH P; CLEAR P": a call's arguments begun
        rkOpenCall,
        // "CALL; POP P": a call made, the enclosing arguments back
        rkCallReturn,
        // "@A := v; X := @A", @A used up by the store: X := v
        rkLoadStore,
        // "op @B, @A; @A := @B": an operator's result in @A
        rkOpResult,
    };

    static bool planned(const TCommandList &commands)
    {
        return commands.m_planned && commands.m_plannedVersion == commands.Version();
    }
    static void plan(const TCommandList &commands);
    static const TCommandStep *steps(const TCommandList &commands) { return commands.m_steps.data(); }

    static void planMoves(const TCommandList &commands);
    static bool savedOperandFits(const TCommandList &commands, int i);
    static bool loadCopyFits(const TCommandList &commands, int i);
    static bool storeResultFits(const TCommandList &commands, int i);
    static bool loadArgumentFits(const TCommandList &commands, int i);
    static bool openCallFits(const TCommandList &commands, int i);
    static bool callReturnFits(const TCommandList &commands, int i);
    static bool loadStoreFits(const TCommandList &commands, int i);
    static bool opResultFits(const TCommandList &commands, int i);

    static void runSavedOperand(const TCommandStep *step, TReportHost &report, TVarStack &stack);
    static void runStoreResult(const TCommandStep *step, TReportHost &report);
    static void runLoadArgument(const TCommandStep *step, TReportHost &report);
};

// A register copy whose register is overwritten before it is read again
// may move the value instead of sharing it: for a text, a list or an
// automation reference that saves the reference counting of the copy and of
// the overwrite. Worked out by a backward liveness pass over the registers
// "@A" and "@B". Whatever cannot be followed counts as reading both
// registers: the end of the list (the next run, of this list or another,
// may start by reading them), a jump out of it, calls (a function may run
// another script of the report), passing a register by reference and the
// commands the interpreter runs virtually.
void TInterpreterLoop::planMoves(const TCommandList &commands)
{
    const int count = commands.Count();
    TReportVar *registers[2] = {nullptr, nullptr};
    auto bit = [&registers](const TReportVar *v) -> unsigned {
        if (!v->Name().startsWith(u'@') || v->Name().size() != 2)
            return 0;
        const char16_t name = v->Name()[1].unicode();
        if (name != u'A' && name != u'B')
            return 0;
        TReportVar *&slot = registers[name - u'A'];
        if (!slot)
            slot = const_cast<TReportVar *>(v);
        return slot == v ? 1u << (name - u'A') : 0;
    };
    constexpr unsigned All = 3;
    struct TFlow {
        unsigned use = 0, kill = 0;
        int next = 1;      // the following command, or none (0) after a jump
        int jump = 0;      // relative jump target, when there is one
        bool jumps = false;
    };
    std::vector<TFlow> flow(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        TCommand *c = commands[i];
        TFlow &f = flow[size_t(i)];
        switch (c->Code()) {
        case TCommand::ckAssign: {
            auto *a = static_cast<TAssignCmd *>(c);
            a->m_takeSource = false;
            f.use = bit(a->m_source) | (a->m_keepType ? bit(a->m_target) : 0);
            if (!a->m_keepType && a->m_target != a->m_source)
                f.kill = bit(a->m_target);
            break;
        }
        case TCommand::ckAssignConst: {
            auto *a = static_cast<TAssignConstCmd *>(c);
            (a->m_keepType ? f.use : f.kill) = bit(a->m_target);
            break;
        }
        case TCommand::ckCalc: {
            auto *a = static_cast<TCalcCmd *>(c);
            a->m_takeSource = false;
            if (a->m_op == opCopy && a->m_target != a->m_source) {
                f.use = bit(a->m_source);
                f.kill = bit(a->m_target);
            } else {
                f.use = bit(a->m_target) | bit(a->m_source);
            }
            break;
        }
        case TCommand::ckCompare: {
            auto *a = static_cast<TCompareCmd *>(c);
            f.use = bit(a->m_left) | bit(a->m_right);
            break;
        }
        case TCommand::ckJump:
            f.next = 0;
            f.jump = static_cast<TJumpCmd *>(c)->m_offset;
            f.jumps = true;
            break;
        case TCommand::ckJnz:
            f.use = bit(static_cast<TJnzCmd *>(c)->m_condition);
            f.jump = static_cast<TJnzCmd *>(c)->m_offset;
            f.jumps = true;
            break;
        case TCommand::ckPush: {
            // a saved parameter list keeps its by-reference entries as the
            // variables themselves, without reading their values
            auto *a = static_cast<TPushCmd *>(c);
            if (a->m_var)
                f.use = bit(a->m_var);
            break;
        }
        case TCommand::ckPop: {
            // a restored list may store into by-reference variables (not a
            // read, nor an overwrite to count on)
            auto *a = static_cast<TPopCmd *>(c);
            if (a->m_var)
                f.kill = bit(a->m_var);
            break;
        }
        case TCommand::ckClearParamList:
            break;
        case TCommand::ckAddParam: {
            auto *a = static_cast<TAddParamCmd *>(c);
            f.use = a->m_byRef ? All : bit(a->m_var);
            break;
        }
        case TCommand::ckCall:
        case TCommand::ckOther:
            f.use = All;
            break;
        }
    }
    // live[i]: the registers read after command i before being overwritten
    auto liveAt = [&](const std::vector<unsigned> &liveIn, int target) {
        return target < 0 || target >= count ? All : liveIn[size_t(target)];
    };
    std::vector<unsigned> liveIn(size_t(count), 0), liveOut(size_t(count), 0);
    for (bool changed = true; changed;) {
        changed = false;
        for (int i = count - 1; i >= 0; --i) {
            const TFlow &f = flow[size_t(i)];
            unsigned out = f.next ? liveAt(liveIn, i + 1) : 0;
            if (f.jumps)
                out |= liveAt(liveIn, i + f.jump);
            const unsigned in = f.use | (out & ~f.kill);
            if (out != liveOut[size_t(i)] || in != liveIn[size_t(i)]) {
                liveOut[size_t(i)] = out;
                liveIn[size_t(i)] = in;
                changed = true;
            }
        }
    }
    for (int i = 0; i < count; ++i) {
        TCommand *c = commands[i];
        if (c->Code() == TCommand::ckAssign) {
            auto *a = static_cast<TAssignCmd *>(c);
            const unsigned source = bit(a->m_source);
            a->m_takeSource = source && a->m_target != a->m_source && !(liveOut[size_t(i)] & source);
        } else if (c->Code() == TCommand::ckCalc) {
            auto *a = static_cast<TCalcCmd *>(c);
            const unsigned source = bit(a->m_source);
            a->m_takeSource = a->m_op == opCopy && source && a->m_target != a->m_source
                              && !(liveOut[size_t(i)] & source);
        }
    }
}

// Every operator with a plain right operand (a variable or a constant) is
// compiled as "PUSH x; @A := operand; POP y": the left side is saved, the
// operand loaded, the left side taken back. Run from the PUSH, the three
// commands always run in a row and cannot fail, so the save and the restore
// are done on the holders themselves, without a stack entry: x popped into
// itself only loses its previous values (and an empty text becomes a null
// one, as through a stack entry), x popped into another holder y is y := x
// taken before the load.
bool TInterpreterLoop::savedOperandFits(const TCommandList &commands, int i)
{
    if (i + 2 >= commands.Count())
        return false;
    TReportVar *const saved = static_cast<TPushCmd *>(commands[i])->m_var;
    TCommand *const load = commands[i + 1];
    TCommand *const back = commands[i + 2];
    if (!saved || back->Code() != TCommand::ckPop)
        return false;
    TReportVar *const restored = static_cast<TPopCmd *>(back)->m_var;
    if (!restored)
        return false;
    TReportVar *target;
    const TReportVar *source = nullptr;
    if (load->Code() == TCommand::ckAssign) {
        auto *assign = static_cast<TAssignCmd *>(load);
        if (assign->m_keepType || assign->m_takeSource)
            return false;
        target = assign->m_target;
        source = assign->m_source;
    } else if (load->Code() == TCommand::ckAssignConst) {
        auto *assign = static_cast<TAssignConstCmd *>(load);
        if (assign->m_keepType)
            return false;
        target = assign->m_target;
    } else {
        return false;
    }
    if (saved == restored)
        return target != saved;
    return target != restored && source != restored;
}

QUARN_INTERP_INLINE void TInterpreterLoop::runSavedOperand(const TCommandStep *step, TReportHost &report,
                                                           TVarStack &stack)
{
    TReportVar *const saved = static_cast<TPushCmd *>(step[0].Command)->m_var;
    TCommand *const load = step[1].Command;
    TReportVar *const restored = static_cast<TPopCmd *>(step[2].Command)->m_var;
    if (saved != restored)
        restored->AssignPopped(*saved);   // before the load may change x
    int next = 0;
    if (load->Code() == TCommand::ckAssign)
        static_cast<TAssignCmd *>(load)->run(next, report, stack);
    else
        static_cast<TAssignConstCmd *>(load)->run(next, report, stack);
    if (saved == restored)
        saved->AssignPopped(*saved);
    report.SetErrorPos(step[2].Command->Position() - 1);
}

// "@A := v; COPY @B, @A" with @A used up by the copy: @B := v directly.
// @B ends as it would through @A (a fresh copy of v), and nothing can fail.
bool TInterpreterLoop::loadCopyFits(const TCommandList &commands, int i)
{
    if (i + 1 >= commands.Count() || commands[i + 1]->Code() != TCommand::ckCalc)
        return false;
    auto *load = static_cast<TAssignCmd *>(commands[i]);
    auto *copy = static_cast<TCalcCmd *>(commands[i + 1]);
    return !load->m_keepType && !load->m_takeSource && copy->m_op == opCopy && copy->m_takeSource
           && copy->m_source == load->m_target && load->m_source != load->m_target
           && load->m_source != copy->m_target;
}

// "@A := @B; X := @A", both registers used up: X := @B directly. X ends as
// it would through @A, and fails where it would, at the second command.
bool TInterpreterLoop::storeResultFits(const TCommandList &commands, int i)
{
    if (i + 1 >= commands.Count() || commands[i + 1]->Code() != TCommand::ckAssign)
        return false;
    auto *result = static_cast<TAssignCmd *>(commands[i]);
    auto *store = static_cast<TAssignCmd *>(commands[i + 1]);
    return !result->m_keepType && result->m_takeSource && store->m_takeSource
           && store->m_source == result->m_target && store->m_target != result->m_target
           && store->m_target != result->m_source;
}

QUARN_INTERP_INLINE void TInterpreterLoop::runStoreResult(const TCommandStep *step, TReportHost &report)
{
    TReportVar &value = *static_cast<TAssignCmd *>(step[0].Command)->m_source;
    auto *store = static_cast<TAssignCmd *>(step[1].Command);
    report.SetErrorPos(store->Position() - 1);
    if (store->m_keepType)
        store->m_target->AssignTaken(value);
    else
        store->m_target->AssignFreshTaken(value);
}

// "@A := v; ADDPARAM P, @A", the argument taking the value from @A: the
// argument holder gets v's value directly and @A is cleared, as the taking
// leaves it. A text constant that is empty arrives as the null text the
// taking would carry. Nothing can fail.
bool TInterpreterLoop::loadArgumentFits(const TCommandList &commands, int i)
{
    if (i + 1 >= commands.Count() || commands[i + 1]->Code() != TCommand::ckAddParam)
        return false;
    auto *add = static_cast<TAddParamCmd *>(commands[i + 1]);
    if (add->m_byRef || !add->m_takeValue)
        return false;
    if (commands[i]->Code() == TCommand::ckAssignConst) {
        auto *load = static_cast<TAssignConstCmd *>(commands[i]);
        return !load->m_keepType && add->m_var == load->m_target;
    }
    auto *load = static_cast<TAssignCmd *>(commands[i]);
    return !load->m_keepType && !load->m_takeSource && add->m_var == load->m_target
           && load->m_source != load->m_target;
}

QUARN_INTERP_INLINE void TInterpreterLoop::runLoadArgument(const TCommandStep *step, TReportHost &report)
{
    auto *add = static_cast<TAddParamCmd *>(step[1].Command);
    TReportVar &argument = add->m_params->AddEmpty(*add->m_var);
    if (step->Command->Code() == TCommand::ckAssign) {
        argument.AssignFresh(*static_cast<TAssignCmd *>(step->Command)->m_source);
    } else {
        auto *load = static_cast<TAssignConstCmd *>(step->Command);
        if (load->m_value.Type == TConstValue::ctString && load->m_value.Text.isEmpty())
            argument.SetAsString(QString());
        else
            load->storeInto(argument);
    }
    add->m_var->Clear();
    report.SetErrorPos(add->Position() - 1);
}

// Every call is compiled as "PUSH P; CLEAR P; arguments; CALL; POP P": the
// two pairs run as one step each, each command as it would alone.
bool TInterpreterLoop::openCallFits(const TCommandList &commands, int i)
{
    return i + 1 < commands.Count() && commands[i + 1]->Code() == TCommand::ckClearParamList
           && !static_cast<TPushCmd *>(commands[i])->m_var;
}

bool TInterpreterLoop::callReturnFits(const TCommandList &commands, int i)
{
    return i + 1 < commands.Count() && commands[i + 1]->Code() == TCommand::ckPop
           && !static_cast<TPopCmd *>(commands[i + 1])->m_var;
}

// "@A := v; X := @A" with @A used up by the store: X := v directly. X ends
// as it would through @A (a fresh copy of v), failing where it would, at
// the store.
bool TInterpreterLoop::loadStoreFits(const TCommandList &commands, int i)
{
    if (i + 1 >= commands.Count() || commands[i + 1]->Code() != TCommand::ckAssign)
        return false;
    auto *load = static_cast<TAssignCmd *>(commands[i]);
    auto *store = static_cast<TAssignCmd *>(commands[i + 1]);
    return !load->m_keepType && !load->m_takeSource && store->m_takeSource && store->m_source == load->m_target
           && load->m_source != load->m_target && store->m_target != load->m_target
           && store->m_target != load->m_source;
}

// "op @B, @A; @A := @B": the two commands run as one step, each as it
// would alone.
bool TInterpreterLoop::opResultFits(const TCommandList &commands, int i)
{
    if (i + 1 >= commands.Count() || commands[i + 1]->Code() != TCommand::ckAssign)
        return false;
    if (commands[i]->Code() == TCommand::ckCalc && static_cast<TCalcCmd *>(commands[i])->m_op == opCopy)
        return false;
    return !static_cast<TAssignCmd *>(commands[i + 1])->m_keepType;
}

void TInterpreterLoop::plan(const TCommandList &commands)
{
    planMoves(commands);
    const int count = commands.Count();
    std::vector<TCommandStep> &steps = commands.m_steps;
    steps.assign(static_cast<size_t>(count), TCommandStep());
    for (int i = 0; i < count; ++i) {
        TCommand *c = commands[i];
        quint8 kind = c->Code();
        switch (c->Code()) {
        case TCommand::ckPush:
            if (savedOperandFits(commands, i))
                kind = rkSavedOperand;
            else if (openCallFits(commands, i))
                kind = rkOpenCall;
            break;
        case TCommand::ckCall:
            if (callReturnFits(commands, i))
                kind = rkCallReturn;
            break;
        case TCommand::ckAssign:
            if (loadCopyFits(commands, i))
                kind = rkLoadCopy;
            else if (storeResultFits(commands, i))
                kind = rkStoreResult;
            else if (loadArgumentFits(commands, i))
                kind = rkLoadArgument;
            else if (loadStoreFits(commands, i))
                kind = rkLoadStore;
            break;
        case TCommand::ckAssignConst:
            if (loadArgumentFits(commands, i))
                kind = rkLoadArgument;
            break;
        case TCommand::ckCalc:
            if (static_cast<TCalcCmd *>(c)->m_op != opCopy && i + 1 < count
                && commands[i + 1]->Code() == TCommand::ckAssign && storeResultFits(commands, i + 1))
                kind = rkOpStore;
            else if (opResultFits(commands, i))
                kind = rkOpResult;
            break;
        case TCommand::ckCompare:
            if (opResultFits(commands, i))
                kind = rkOpResult;
            break;
        default:
            break;
        }
        steps[size_t(i)] = {c, kind};
    }
    commands.m_plannedVersion = commands.Version();
    commands.m_planned = true;
}

void ExecuteCommands(const TCommandList &commands, TReportHost &report, TVarStack &stack)
{
    stack.Clear();
    if (!TInterpreterLoop::planned(commands))
        TInterpreterLoop::plan(commands);
    const TCommandStep *const steps = TInterpreterLoop::steps(commands);
    const int count = commands.Count();
    int pc = 0;
    const TCommandStep *step = nullptr;
    // The commands of expressions are run here by their code: the calls
    // name the final classes, so they need no virtual dispatch and are
    // compiled into the loop. Every kind ends in a jump of its own to the
    // next command's kind (threaded code), so that the processor predicts
    // each such jump from the kind it follows rather than all of them
    // through one shared jump.
    static void *const kinds[] = {&&other, &&assign, &&assignConst, &&calc, &&compare, &&jump, &&jnz,
                                  &&push, &&pop, &&clearParamList, &&addParam, &&call,
                                  &&savedOperand, &&loadCopy, &&storeResult, &&opStore, &&loadArgument,
                                  &&openCall, &&callReturn, &&loadStore, &&opResult};
    static_assert(std::size(kinds) == TInterpreterLoop::rkOpResult + 1);
#define QUARN_NEXT_COMMAND                       \
    do {                                         \
        if (unsigned(pc) >= unsigned(count))     \
            return;                              \
        step = steps + pc;                       \
        goto *kinds[step->Kind];                 \
    } while (false)

    QUARN_NEXT_COMMAND;
assign:
    static_cast<TAssignCmd *>(step->Command)->run(pc, report, stack);
    QUARN_NEXT_COMMAND;
assignConst:
    static_cast<TAssignConstCmd *>(step->Command)->run(pc, report, stack);
    QUARN_NEXT_COMMAND;
calc:
    static_cast<TCalcCmd *>(step->Command)->run(pc, report, stack);
    QUARN_NEXT_COMMAND;
compare:
    static_cast<TCompareCmd *>(step->Command)->run(pc, report, stack);
    QUARN_NEXT_COMMAND;
jump:
    static_cast<TJumpCmd *>(step->Command)->run(pc, report, stack);
    QUARN_NEXT_COMMAND;
jnz:
    static_cast<TJnzCmd *>(step->Command)->run(pc, report, stack);
    QUARN_NEXT_COMMAND;
push:
    static_cast<TPushCmd *>(step->Command)->run(pc, report, stack);
    QUARN_NEXT_COMMAND;
pop:
    static_cast<TPopCmd *>(step->Command)->run(pc, report, stack);
    QUARN_NEXT_COMMAND;
clearParamList:
    static_cast<TClearParamListCmd *>(step->Command)->run(pc, report, stack);
    QUARN_NEXT_COMMAND;
addParam:
    static_cast<TAddParamCmd *>(step->Command)->run(pc, report, stack);
    QUARN_NEXT_COMMAND;
call:
    static_cast<TCallCmd *>(step->Command)->run(pc, report, stack);
    QUARN_NEXT_COMMAND;
savedOperand:
    TInterpreterLoop::runSavedOperand(step, report, stack);
    pc += 3;
    QUARN_NEXT_COMMAND;
loadCopy: {
    auto *copy = static_cast<TCalcCmd *>(step[1].Command);
    copy->m_target->AssignFresh(*static_cast<TAssignCmd *>(step->Command)->m_source);
    report.SetErrorPos(copy->Position() - 1);
    pc += 2;
    QUARN_NEXT_COMMAND;
}
storeResult:
    TInterpreterLoop::runStoreResult(step, report);
    pc += 2;
    QUARN_NEXT_COMMAND;
opStore:
    static_cast<TCalcCmd *>(step->Command)->run(pc, report, stack);
    TInterpreterLoop::runStoreResult(step + 1, report);
    pc += 2;
    QUARN_NEXT_COMMAND;
loadArgument:
    TInterpreterLoop::runLoadArgument(step, report);
    pc += 2;
    QUARN_NEXT_COMMAND;
openCall:
    static_cast<TPushCmd *>(step->Command)->run(pc, report, stack);
    static_cast<TClearParamListCmd *>(step[1].Command)->run(pc, report, stack);
    QUARN_NEXT_COMMAND;
callReturn:
    static_cast<TCallCmd *>(step->Command)->run(pc, report, stack);
    static_cast<TPopCmd *>(step[1].Command)->run(pc, report, stack);
    QUARN_NEXT_COMMAND;
loadStore: {
    auto *store = static_cast<TAssignCmd *>(step[1].Command);
    report.SetErrorPos(store->Position() - 1);
    TReportVar &value = *static_cast<TAssignCmd *>(step->Command)->m_source;
    if (store->m_keepType)
        store->m_target->Assign(value);
    else
        store->m_target->AssignFresh(value);
    pc += 2;
    QUARN_NEXT_COMMAND;
}
opResult:
    if (step->Command->Code() == TCommand::ckCalc)
        static_cast<TCalcCmd *>(step->Command)->run(pc, report, stack);
    else
        static_cast<TCompareCmd *>(step->Command)->run(pc, report, stack);
    static_cast<TAssignCmd *>(step[1].Command)->run(pc, report, stack);
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
