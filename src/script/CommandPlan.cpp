#include "CommandPlan.h"

#include "TokenCodes.h"

#include <algorithm>

const TCommandPlan &TCommandList::Plan() const
{
    if (!m_plan || !m_plan->IsFor(*this))
        m_plan = std::make_unique<TCommandPlan>(*this);
    return *m_plan;
}

TCommandPlan::TCommandPlan(const TCommandList &commands)
    : m_steps(static_cast<size_t>(commands.Count())), m_version(commands.Version())
{
    for (int i = 0; i < commands.Count(); ++i) {
        m_steps[size_t(i)].Command = commands[i];
        m_steps[size_t(i)].Kind = commands[i]->Code();
    }
    planMoves(commands);
    planRuns(commands);
    m_liveOut = {};
}

// A register copy whose register is overwritten before it is read again
// may move the value instead of sharing it: for a text, a list or an
// automation reference that saves the reference counting of the copy and of
// the overwrite. Worked out by a backward liveness pass over the registers
// "@A" and "@B". Whatever cannot be followed counts as reading both
// registers: the end of the list (the next run, of this list or another,
// may start by reading them), a jump out of it, calls (a function may run
// another script of the report), passing a register by reference and the
// commands the interpreter runs virtually.
void TCommandPlan::planMoves(const TCommandList &commands)
{
    const int count = commands.Count();
    const TReportVar *registers[2] = {nullptr, nullptr};
    auto bit = [&registers](const TReportVar &v) -> unsigned {
        if (!v.Name().startsWith(u'@') || v.Name().size() != 2)
            return 0;
        const char16_t name = v.Name()[1].unicode();
        if (name != u'A' && name != u'B')
            return 0;
        const TReportVar *&slot = registers[name - u'A'];
        if (!slot)
            slot = &v;
        return slot == &v ? 1u << (name - u'A') : 0;
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
        const TCommand *c = commands[i];
        TFlow &f = flow[size_t(i)];
        switch (c->Code()) {
        case TCommand::ckAssign: {
            auto *a = static_cast<const TAssignCmd *>(c);
            f.use = bit(a->Source()) | (a->KeepType() ? bit(a->Target()) : 0);
            if (!a->KeepType() && &a->Target() != &a->Source())
                f.kill = bit(a->Target());
            break;
        }
        case TCommand::ckAssignConst: {
            auto *a = static_cast<const TAssignConstCmd *>(c);
            (a->KeepType() ? f.use : f.kill) = bit(a->Target());
            break;
        }
        case TCommand::ckCalc: {
            auto *a = static_cast<const TCalcCmd *>(c);
            if (a->Op() == opCopy && &a->Target() != &a->Source()) {
                f.use = bit(a->Source());
                f.kill = bit(a->Target());
            } else {
                f.use = bit(a->Target()) | bit(a->Source());
            }
            break;
        }
        case TCommand::ckCompare: {
            auto *a = static_cast<const TCompareCmd *>(c);
            f.use = bit(a->Left()) | bit(a->Right());
            break;
        }
        case TCommand::ckJump:
            f.next = 0;
            f.jump = static_cast<const TJumpCmd *>(c)->Offset();
            f.jumps = true;
            break;
        case TCommand::ckJnz:
            f.use = bit(static_cast<const TJnzCmd *>(c)->Condition());
            f.jump = static_cast<const TJnzCmd *>(c)->Offset();
            f.jumps = true;
            break;
        case TCommand::ckPush:
            // a saved parameter list keeps its by-reference entries as the
            // variables themselves, without reading their values
            if (const TReportVar *var = static_cast<const TPushCmd *>(c)->Var())
                f.use = bit(*var);
            break;
        case TCommand::ckPop:
            // a restored list may store into by-reference variables (not a
            // read, nor an overwrite to count on)
            if (const TReportVar *var = static_cast<const TPopCmd *>(c)->Var())
                f.kill = bit(*var);
            break;
        case TCommand::ckClearParamList:
            break;
        case TCommand::ckAddParam: {
            auto *a = static_cast<const TAddParamCmd *>(c);
            f.use = a->ByRef() ? All : bit(a->Var());
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
    m_registers[0] = registers[0];
    m_registers[1] = registers[1];
    m_liveOut.assign(liveOut.begin(), liveOut.end());
    for (int i = 0; i < count; ++i) {
        const TCommand *c = commands[i];
        if (c->Code() == TCommand::ckAssign) {
            auto *a = static_cast<const TAssignCmd *>(c);
            const unsigned source = bit(a->Source());
            m_steps[size_t(i)].TakeSource
                = source && &a->Target() != &a->Source() && !(liveOut[size_t(i)] & source);
        } else if (c->Code() == TCommand::ckCalc) {
            auto *a = static_cast<const TCalcCmd *>(c);
            const unsigned source = bit(a->Source());
            m_steps[size_t(i)].TakeSource = a->Op() == opCopy && source && &a->Target() != &a->Source()
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
bool TCommandPlan::savedOperandFits(const TCommandList &commands, int i) const
{
    if (i + 2 >= commands.Count())
        return false;
    const TReportVar *const saved = static_cast<const TPushCmd *>(commands[i])->Var();
    const TCommand *const load = commands[i + 1];
    const TCommand *const back = commands[i + 2];
    if (!saved || back->Code() != TCommand::ckPop)
        return false;
    const TReportVar *const restored = static_cast<const TPopCmd *>(back)->Var();
    if (!restored)
        return false;
    const TReportVar *target;
    const TReportVar *source = nullptr;
    if (load->Code() == TCommand::ckAssign) {
        auto *assign = static_cast<const TAssignCmd *>(load);
        if (assign->KeepType() || takes(i + 1))
            return false;
        target = &assign->Target();
        source = &assign->Source();
    } else if (load->Code() == TCommand::ckAssignConst) {
        auto *assign = static_cast<const TAssignConstCmd *>(load);
        if (assign->KeepType())
            return false;
        target = &assign->Target();
    } else {
        return false;
    }
    if (saved == restored)
        return target != saved;
    return target != restored && source != restored;
}

// "@A := v; COPY @B, @A" with @A used up by the copy: @B := v directly.
// @B ends as it would through @A (a fresh copy of v), and nothing can fail.
bool TCommandPlan::loadCopyFits(const TCommandList &commands, int i) const
{
    if (i + 1 >= commands.Count() || commands[i + 1]->Code() != TCommand::ckCalc)
        return false;
    auto *load = static_cast<const TAssignCmd *>(commands[i]);
    auto *copy = static_cast<const TCalcCmd *>(commands[i + 1]);
    return !load->KeepType() && !takes(i) && copy->Op() == opCopy && takes(i + 1)
           && &copy->Source() == &load->Target() && &load->Source() != &load->Target()
           && &load->Source() != &copy->Target();
}

// "@A := @B; X := @A", both registers used up: X := @B directly. X ends as
// it would through @A, and fails where it would, at the second command.
bool TCommandPlan::storeResultFits(const TCommandList &commands, int i) const
{
    if (i + 1 >= commands.Count() || commands[i + 1]->Code() != TCommand::ckAssign)
        return false;
    auto *result = static_cast<const TAssignCmd *>(commands[i]);
    auto *store = static_cast<const TAssignCmd *>(commands[i + 1]);
    return !result->KeepType() && takes(i) && takes(i + 1) && &store->Source() == &result->Target()
           && &store->Target() != &result->Target() && &store->Target() != &result->Source();
}

// "@A := v; ADDPARAM P, @A", the argument taking the value from @A: the
// argument holder gets v's value directly and @A is cleared, as the taking
// leaves it. A text constant that is empty arrives as the null text the
// taking would carry. Nothing can fail.
bool TCommandPlan::loadArgumentFits(const TCommandList &commands, int i) const
{
    if (i + 1 >= commands.Count() || commands[i + 1]->Code() != TCommand::ckAddParam)
        return false;
    auto *add = static_cast<const TAddParamCmd *>(commands[i + 1]);
    if (add->ByRef() || !add->TakesValue())
        return false;
    if (commands[i]->Code() == TCommand::ckAssignConst) {
        auto *load = static_cast<const TAssignConstCmd *>(commands[i]);
        return !load->KeepType() && &add->Var() == &load->Target();
    }
    auto *load = static_cast<const TAssignCmd *>(commands[i]);
    return !load->KeepType() && !takes(i) && &add->Var() == &load->Target() && &load->Source() != &load->Target();
}

// Every call is compiled as "PUSH P; CLEAR P; arguments; CALL; POP P": the
// two pairs run as one step each, each command as it would alone.
bool TCommandPlan::openCallFits(const TCommandList &commands, int i) const
{
    return i + 1 < commands.Count() && commands[i + 1]->Code() == TCommand::ckClearParamList
           && !static_cast<const TPushCmd *>(commands[i])->Var();
}

bool TCommandPlan::callReturnFits(const TCommandList &commands, int i) const
{
    return i + 1 < commands.Count() && commands[i + 1]->Code() == TCommand::ckPop
           && !static_cast<const TPopCmd *>(commands[i + 1])->Var();
}

// "@A := v; X := @A" with @A used up by the store: X := v directly. X ends
// as it would through @A (a fresh copy of v), failing where it would, at
// the store.
bool TCommandPlan::loadStoreFits(const TCommandList &commands, int i) const
{
    if (i + 1 >= commands.Count() || commands[i + 1]->Code() != TCommand::ckAssign)
        return false;
    auto *load = static_cast<const TAssignCmd *>(commands[i]);
    auto *store = static_cast<const TAssignCmd *>(commands[i + 1]);
    return !load->KeepType() && !takes(i) && takes(i + 1) && &store->Source() == &load->Target()
           && &load->Source() != &load->Target() && &store->Target() != &load->Target()
           && &store->Target() != &load->Source();
}

// "op @B, @A; @A := @B": the two commands run as one step, each as it
// would alone.
bool TCommandPlan::opResultFits(const TCommandList &commands, int i) const
{
    if (i + 1 >= commands.Count() || commands[i + 1]->Code() != TCommand::ckAssign)
        return false;
    if (commands[i]->Code() == TCommand::ckCalc && static_cast<const TCalcCmd *>(commands[i])->Op() == opCopy)
        return false;
    return !static_cast<const TAssignCmd *>(commands[i + 1])->KeepType();
}

// "PUSH P; CLEAR P", argument pairs that each fit rkLoadArgument, then
// "CALL; POP P": the commands of every call whose arguments are variables
// or constants, run as one step in their order (the argument pairs must
// have been planned already). The number of arguments, or -1 when the
// commands from `i` are not such a call.
int TCommandPlan::callArguments(const TCommandList &commands, int i) const
{
    if (!openCallFits(commands, i))
        return -1;
    int arguments = 0;
    int k = i + 2;
    for (; k < commands.Count() && m_steps[size_t(k)].Kind == rkLoadArgument; k += 2)
        ++arguments;
    if (arguments > 255 || k >= commands.Count() || commands[k]->Code() != TCommand::ckCall
        || !callReturnFits(commands, k))
        return -1;
    return arguments;
}

int TCommandPlan::registerOf(const TReportVar &holder) const
{
    if (&holder == m_registers[0])
        return 0;
    if (&holder == m_registers[1])
        return 1;
    return -1;
}

namespace {

// The number code of an operator's token code.
TNumberOp::TCode numberCode(quint8 op)
{
    switch (op) {
    case tkPlus: return TNumberOp::ncPlus;
    case tkMinus: return TNumberOp::ncMinus;
    case tkMultiply: return TNumberOp::ncMultiply;
    case tkDivide: return TNumberOp::ncDivide;
    case tkEqual: return TNumberOp::ncEqual;
    case tkNotEqual: return TNumberOp::ncNotEqual;
    case tkGreater: return TNumberOp::ncGreater;
    case tkLess: return TNumberOp::ncLess;
    case tkGreaterEqual: return TNumberOp::ncGreaterEqual;
    case tkLessEqual: return TNumberOp::ncLessEqual;
    case tkAnd: return TNumberOp::ncAnd;
    default: return TNumberOp::ncOr;
    }
}

} // namespace

// The number run from `i` (see TNumberRun), worked out by following what
// the registers and the stack entries hold, as postfix code, command by
// command up to a command that uses a value; comparisons may be joined by
// AND and OR. Not a run: any other command on the way, a value read before
// it is made, a text or truth constant, a truth value where a number goes
// or the other way round, or an expression without an operator (the runs
// above do those).
bool TCommandPlan::planNumberRun(const TCommandList &commands, int i, TNumberRun &run) const
{
    struct TValue {
        std::vector<TNumberOp> Code;   // empty: not made yet
        bool Truth = false;
    };
    TValue registers[2];
    std::vector<TValue> stack;
    bool computes = false;
    auto isRegister = [](const TReportVar &holder) {
        return holder.Name().size() == 2 && holder.Name().startsWith(u'@');
    };
    auto leaf = [&](const TReportVar *variable, double constant) {
        TNumberOp op;
        op.Code = variable ? TNumberOp::ncVariable : TNumberOp::ncConstant;
        op.Variable = variable;
        op.Constant = constant;
        return TValue{{op}, false};
    };
    auto apply = [&computes](TValue &left, const TValue &right, quint8 code, bool truth) {
        if (left.Code.size() + right.Code.size() >= size_t(MaxNumberCode))
            return false;
        left.Code.insert(left.Code.end(), right.Code.begin(), right.Code.end());
        TNumberOp op;
        op.Code = numberCode(code);
        left.Code.push_back(op);
        left.Truth = truth;
        computes = true;
        return true;
    };
    // The run ends as every expression does, "op @B, @A; @A := @B" and the
    // command using @A, so that the loop can leave the registers as these
    // commands would.
    auto finish = [&](int k, const TValue &value) {
        if (!computes || !stack.empty() || k - i < 2)
            return false;
        const TCommand *op = commands[k - 2];
        const TCommand *result = commands[k - 1];
        if (result->Code() != TCommand::ckAssign
            || registerOf(static_cast<const TAssignCmd *>(result)->Target()) != 0
            || registerOf(static_cast<const TAssignCmd *>(result)->Source()) != 1)
            return false;
        if (op->Code() == TCommand::ckCalc) {
            if (registerOf(static_cast<const TCalcCmd *>(op)->Target()) != 1
                || registerOf(static_cast<const TCalcCmd *>(op)->Source()) != 0)
                return false;
        } else if (op->Code() != TCommand::ckCompare || registerOf(static_cast<const TCompareCmd *>(op)->Left()) != 1
                   || registerOf(static_cast<const TCompareCmd *>(op)->Right()) != 0) {
            return false;
        }
        int depth = 0, deepest = 0;
        for (const TNumberOp &op : value.Code) {
            depth += op.IsOperator() ? -1 : 1;
            deepest = std::max(deepest, depth);
        }
        if (deepest > MaxNumberDepth)
            return false;
        run.Planned = value.Code;
        run.Binary = value.Code.size() == 3;
        run.Planned.push_back(TNumberOp{TNumberOp::ncEnd});
        run.Length = k - i + 1;
        run.A = &static_cast<const TAssignCmd *>(result)->Target();
        run.B = &static_cast<const TAssignCmd *>(result)->Source();
        const TCommand *last = commands[k];
        run.LastPosition = last->Position();
        switch (last->Code()) {
        case TCommand::ckJnz:
            run.Use = TNumberRun::nuJump;
            run.JumpOffset = static_cast<const TJnzCmd *>(last)->Offset();
            break;
        case TCommand::ckAddParam:
            run.Use = TNumberRun::nuArgument;
            run.Argument = static_cast<TAddParamCmd *>(commands[k]);
            break;
        default:
            run.Use = TNumberRun::nuStore;
            run.Target = &static_cast<const TAssignCmd *>(last)->Target();
            break;
        }
        return true;
    };
    // every operation takes at most four commands of its own
    for (int k = i; k < commands.Count() && k < i + 4 * MaxNumberCode; ++k) {
        const TCommand *c = commands[k];
        switch (c->Code()) {
        case TCommand::ckAssign: {
            auto *a = static_cast<const TAssignCmd *>(c);
            const int target = registerOf(a->Target()), source = registerOf(a->Source());
            if (a->KeepType()) {
                // "X := @A keep" stores the value
                if (target >= 0 || isRegister(a->Target()) || source != 0 || registers[source].Code.empty()
                    || registers[source].Truth)
                    return false;
                return finish(k, registers[source]);
            }
            if (target < 0)
                return false;
            if (source >= 0) {
                if (registers[source].Code.empty())
                    return false;
                registers[target] = registers[source];
            } else if (isRegister(a->Source())) {
                return false;
            } else {
                registers[target] = leaf(&a->Source(), 0);
            }
            break;
        }
        case TCommand::ckAssignConst: {
            auto *a = static_cast<const TAssignConstCmd *>(c);
            const int target = registerOf(a->Target());
            const TConstValue &value = a->Value();
            if (a->KeepType() || target < 0
                || (value.Type != TConstValue::ctInteger && value.Type != TConstValue::ctDouble
                    && value.Type != TConstValue::ctCurrency))
                return false;
            registers[target] = leaf(nullptr, value.Number);
            break;
        }
        case TCommand::ckCalc: {
            auto *a = static_cast<const TCalcCmd *>(c);
            const int target = registerOf(a->Target()), source = registerOf(a->Source());
            if (target < 0 || source < 0 || registers[source].Code.empty())
                return false;
            if (a->Op() == opCopy) {
                registers[target] = registers[source];
                break;
            }
            if (registers[target].Code.empty())
                return false;
            if (a->Op() == tkAnd || a->Op() == tkOr) {
                // of two comparisons, both made already: reading the
                // right one or not makes no difference
                if (!registers[target].Truth || !registers[source].Truth)
                    return false;
                if (!apply(registers[target], registers[source], a->Op(), true))
                    return false;
                break;
            }
            if ((a->Op() != tkPlus && a->Op() != tkMinus && a->Op() != tkMultiply && a->Op() != tkDivide)
                || registers[target].Truth || registers[source].Truth
                || !apply(registers[target], registers[source], a->Op(), false))
                return false;
            break;
        }
        case TCommand::ckCompare: {
            auto *a = static_cast<const TCompareCmd *>(c);
            const int left = registerOf(a->Left()), right = registerOf(a->Right());
            if (left < 0 || right < 0 || registers[left].Code.empty() || registers[right].Code.empty()
                || registers[left].Truth || registers[right].Truth)
                return false;
            if (!apply(registers[left], registers[right], a->Op(), true))
                return false;
            break;
        }
        case TCommand::ckPush: {
            const TReportVar *var = static_cast<const TPushCmd *>(c)->Var();
            const int r = var ? registerOf(*var) : -1;
            if (r < 0 || registers[r].Code.empty())
                return false;
            stack.push_back(registers[r]);
            break;
        }
        case TCommand::ckPop: {
            const TReportVar *var = static_cast<const TPopCmd *>(c)->Var();
            const int r = var ? registerOf(*var) : -1;
            if (r < 0 || stack.empty())
                return false;
            registers[r] = std::move(stack.back());
            stack.pop_back();
            break;
        }
        case TCommand::ckAddParam: {
            // "ADDPARAM P, @A" taking @A: the value is an argument
            auto *a = static_cast<const TAddParamCmd *>(c);
            const int r = registerOf(a->Var());
            if (a->ByRef() || !a->TakesValue() || r != 0 || registers[r].Code.empty() || registers[r].Truth)
                return false;
            return finish(k, registers[r]);
        }
        case TCommand::ckJnz: {
            // "JNZ @A" after a comparison: the truth decides the jump
            const int r = registerOf(static_cast<const TJnzCmd *>(c)->Condition());
            if (r != 0 || registers[r].Code.empty() || !registers[r].Truth)
                return false;
            return finish(k, registers[r]);
        }
        default:
            return false;
        }
    }
    return false;
}

void TCommandPlan::planRuns(const TCommandList &commands)
{
    const int count = commands.Count();
    for (int i = 0; i < count; ++i) {
        const TCommand *c = commands[i];
        quint8 &kind = m_steps[size_t(i)].Kind;
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
            else if (takes(i))
                kind = rkAssignTaken;
            break;
        case TCommand::ckAssignConst:
            if (loadArgumentFits(commands, i))
                kind = rkLoadArgument;
            break;
        case TCommand::ckCalc:
            if (static_cast<const TCalcCmd *>(c)->Op() != opCopy && i + 1 < count
                && commands[i + 1]->Code() == TCommand::ckAssign && storeResultFits(commands, i + 1))
                kind = rkOpStore;
            else if (opResultFits(commands, i))
                kind = rkOpResult;
            else if (takes(i))
                kind = rkCopyTaken;
            break;
        case TCommand::ckCompare:
            if (opResultFits(commands, i))
                kind = rkOpResult;
            break;
        default:
            break;
        }
    }
    // the calls made of the runs planned above
    for (int i = 0; i < count; ++i) {
        if (m_steps[size_t(i)].Kind != rkOpenCall)
            continue;
        const int arguments = callArguments(commands, i);
        if (arguments >= 0) {
            m_steps[size_t(i)].Kind = rkCall;
            m_steps[size_t(i)].Arguments = quint8(arguments);
        }
    }
    // the expressions over numbers, from the runs above as their fallback
    for (int i = 0; i < count; ++i) {
        TNumberRun run;
        if (!planNumberRun(commands, i, run))
            continue;
        TCommandStep &step = m_steps[size_t(i)];
        run.Fallback = step.Kind;
        step.Kind = rkNumbers;
        step.NumberRun = quint32(m_numberRuns.size());
        m_numberRuns.push_back(std::move(run));
        i += m_numberRuns.back().Length - 1;
    }
    size_t codeSize = 0;
    for (const TNumberRun &run : m_numberRuns)
        codeSize += run.Planned.size();
    m_numberCode.reserve(codeSize);
    for (TNumberRun &run : m_numberRuns) {
        run.Code = m_numberCode.data() + m_numberCode.size();
        m_numberCode.insert(m_numberCode.end(), run.Planned.begin(), run.Planned.end());
        run.Planned = {};
    }
    // the calls of functions that only read their arguments, from the
    // runs above
    for (int i = 0; i < count; ++i) {
        if (m_steps[size_t(i)].Kind != rkCall && m_steps[size_t(i)].Kind != rkOpenCall)
            continue;
        std::unique_ptr<TDirectCall> call = planDirectCall(commands, i);
        if (!call)
            continue;
        TCommandStep &step = m_steps[size_t(i)];
        call->Fallback = step.Kind;
        step.Kind = rkDirectCall;
        step.NumberRun = quint32(m_directCalls.size());
        m_directCalls.push_back(std::move(call));
    }
    // the concatenations of texts, from the runs above as their fallback
    for (int i = 0; i < count; ++i) {
        TTextRun run;
        if (!planTextRun(commands, i, run))
            continue;
        TCommandStep &step = m_steps[size_t(i)];
        if (step.Kind == rkNumbers) {
            // the same leaves, all variables: numbers first, then texts
            TNumberRun &numbers = m_numberRuns[step.NumberRun];
            run.Fallback = numbers.Fallback;
            numbers.TextRun = quint32(m_textRuns.size()) + 1;
        } else {
            run.Fallback = step.Kind;
            step.Kind = rkTextRun;
            step.NumberRun = quint32(m_textRuns.size());
        }
        i += run.Length - 1;
        m_textRuns.push_back(std::move(run));
    }
}

// The text run from `i` (see TTextRun), or false.
bool TCommandPlan::planTextRun(const TCommandList &commands, int i, TTextRun &run)
{
    const int count = commands.Count();
    constexpr unsigned A = 1;
    auto isRegister = [](const TReportVar &holder) { return holder.Name().startsWith(u'@'); };
    // a leaf loaded into @A by the command at k: a variable or a text constant
    auto leaf = [&](int k) -> const TReportVar * {
        const TCommand *c = commands[k];
        if (c->Code() == TCommand::ckAssign) {
            auto *a = static_cast<const TAssignCmd *>(c);
            if (a->KeepType() || registerOf(a->Target()) != 0 || isRegister(a->Source()))
                return nullptr;
            return &a->Source();
        }
        if (c->Code() != TCommand::ckAssignConst)
            return nullptr;
        auto *a = static_cast<const TAssignConstCmd *>(c);
        if (a->KeepType() || registerOf(a->Target()) != 0 || a->Value().Type != TConstValue::ctString)
            return nullptr;
        // the holder as "@A := constant" leaves @A
        auto holder = std::make_unique<TReportVar>(a->Target().Name(), a->Target().Owner());
        a->Store(*holder);
        m_textConstants.push_back(std::move(holder));
        return m_textConstants.back().get();
    };
    // "@A := L0; COPY @B, @A", @A used up by the copy, planned as no more
    // than that or a number run
    quint8 kind = m_steps[size_t(i)].Kind;
    if (kind == rkNumbers)
        kind = m_numberRuns[m_steps[size_t(i)].NumberRun].Fallback;
    if ((kind != rkLoadCopy && kind != TCommand::ckAssignConst) || i + 1 >= count
        || commands[i + 1]->Code() != TCommand::ckCalc || !takes(i + 1))
        return false;
    auto *copy = static_cast<const TCalcCmd *>(commands[i + 1]);
    if (copy->Op() != opCopy || registerOf(copy->Target()) != 1 || registerOf(copy->Source()) != 0)
        return false;
    const size_t constantsBefore = m_textConstants.size();
    auto fail = [&] {
        m_textConstants.resize(constantsBefore);
        return false;
    };
    const TReportVar *first = leaf(i);
    if (!first)
        return fail();
    run.Leaves.push_back(first);
    run.B = &copy->Target();
    int k = i + 2;
    // "PUSH @B; @A := Li; POP @B; + @B, @A", @A overwritten after the "+"
    while (k + 3 < count && m_steps[size_t(k)].Kind == rkSavedOperand) {
        auto *push = static_cast<const TPushCmd *>(commands[k]);
        auto *pop = static_cast<const TPopCmd *>(commands[k + 2]);
        if (push->Var() != run.B || pop->Var() != run.B || commands[k + 3]->Code() != TCommand::ckCalc)
            break;
        auto *add = static_cast<const TCalcCmd *>(commands[k + 3]);
        if (add->Op() != tkPlus || &add->Target() != run.B || registerOf(add->Source()) != 0
            || (m_liveOut[size_t(k + 3)] & A))
            break;
        const TReportVar *next = leaf(k + 1);
        if (!next)
            return fail();
        run.Leaves.push_back(next);
        k += 4;
    }
    // "@A := @B"
    if (run.Leaves.size() < 2 || k >= count || commands[k]->Code() != TCommand::ckAssign)
        return fail();
    auto *result = static_cast<const TAssignCmd *>(commands[k]);
    if (result->KeepType() || registerOf(result->Target()) != 0 || &result->Source() != run.B)
        return fail();
    run.Result = &m_steps[size_t(k)];
    run.Length = k - i + 1;
    return true;
}

// A whole call from the "PUSH P" at `i` that can run as a TDirectCall, or
// none. Its arguments must be loaded through the register the call leaves
// its result in (every call is compiled so), and the function must get at
// least its number of arguments, so that only the function itself can fail.
std::unique_ptr<TDirectCall> TCommandPlan::planDirectCall(const TCommandList &commands, int i) const
{
    const int count = commands.Count();
    auto call = std::make_unique<TDirectCall>();
    std::vector<const TAddParamCmd *> adds;
    int k = i + 2;
    for (;;) {
        if (k >= count)
            return nullptr;
        const TCommandStep &step = m_steps[size_t(k)];
        if (step.Kind == rkLoadArgument) {
            auto *add = static_cast<const TAddParamCmd *>(commands[k + 1]);
            adds.push_back(add);
            if (commands[k]->Code() == TCommand::ckAssign) {
                TReportVar &source = static_cast<const TAssignCmd *>(commands[k])->Source();
                if (source.Name().startsWith(u'@'))
                    return nullptr;   // a register or another holder of the interpreter's
                call->Arguments.AddByRef(source);
            } else {
                // the holder as the load leaves its register's argument copy
                auto *load = static_cast<const TAssignConstCmd *>(commands[k]);
                auto holder = std::make_unique<TReportVar>(add->Var().Name(), add->Var().Owner());
                load->StoreArgument(*holder);
                call->Arguments.AddByRef(*holder);
                call->Holders.push_back(std::move(holder));
            }
            k += 2;
            continue;
        }
        if (step.Kind != rkNumbers)
            break;
        const TNumberRun &run = m_numberRuns[step.NumberRun];
        const TCommand *last = commands[k + run.Length - 1];
        if (last->Code() != TCommand::ckAddParam)
            break;
        auto *add = static_cast<const TAddParamCmd *>(last);
        adds.push_back(add);
        auto holder = std::make_unique<TReportVar>(add->Var().Name(), add->Var().Owner());
        call->Numbers.push_back({step.NumberRun, holder.get()});
        call->Arguments.AddByRef(*holder);
        call->Holders.push_back(std::move(holder));
        // "op @B, @A; @A := @B" before the ADDPARAM
        call->RegisterB = &static_cast<const TAssignCmd *>(commands[k + run.Length - 2])->Source();
        k += run.Length;
    }
    if (k + 1 >= count || commands[k]->Code() != TCommand::ckCall || !callReturnFits(commands, k))
        return nullptr;
    auto *calling = static_cast<const TCallCmd *>(commands[k]);
    const TFunc &func = calling->Func();
    if (!func.ReadsArgumentsOnly() || !func.Implementation()
        || (func.ArgCount() != -1 && int(adds.size()) < func.ArgCount()))
        return nullptr;
    for (const TAddParamCmd *add : adds)
        if (&add->Var() != &calling->Result() || &add->Params() != &calling->Params())
            return nullptr;
    call->Func = &func;
    if (const TDirectCall::TCode *code = func.Implementation().target<TDirectCall::TCode>())
        call->Code = *code;
    call->Result = &calling->Result();
    call->Length = k + 2 - i;
    call->EndPosition = commands[k + 1]->Position();
    if (k + 2 < count && m_steps[size_t(k + 2)].Kind == rkAssignTaken) {
        auto *store = static_cast<TAssignCmd *>(commands[k + 2]);
        if (store->KeepType() && &store->Source() == call->Result) {
            call->Store = store;
            ++call->Length;
        }
    }
    return call;
}
