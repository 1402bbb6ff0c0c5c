#include "CommandPlan.h"

#include "TokenCodes.h"

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

// "@A := y; COPY @B, @A; PUSH @B; @A := z; POP @B; op @B, @A; @A := @B;
// X := @A keep", op one of + - * / and y and z variables or constants
// other than the registers, planned already as the runs rkLoadCopy (or a
// constant load and rkCopyTaken), rkSavedOperand and rkOpStore: both
// registers are used up by the end, so when y and z are numbers the
// statement is X := y op z on the numbers, the registers untouched.
bool TCommandPlan::numberStoreFits(const TCommandList &commands, int i) const
{
    if (i + 7 >= commands.Count())
        return false;
    const TReportVar *a;
    if (m_steps[size_t(i)].Kind == rkLoadCopy) {
        a = &static_cast<const TAssignCmd *>(commands[i])->Target();
    } else if (m_steps[size_t(i)].Kind == TCommand::ckAssignConst && m_steps[size_t(i + 1)].Kind == rkCopyTaken) {
        auto *load = static_cast<const TAssignConstCmd *>(commands[i]);
        if (load->KeepType())
            return false;
        a = &load->Target();
    } else {
        return false;
    }
    auto *copy = static_cast<const TCalcCmd *>(commands[i + 1]);   // a copy, as both runs require
    const TReportVar *b = &copy->Target();
    if (&copy->Source() != a || m_steps[size_t(i + 2)].Kind != rkSavedOperand
        || static_cast<const TPushCmd *>(commands[i + 2])->Var() != b
        || static_cast<const TPopCmd *>(commands[i + 4])->Var() != b)
        return false;
    const TCommand *load = commands[i + 3];
    if (load->Code() == TCommand::ckAssign) {
        auto *assign = static_cast<const TAssignCmd *>(load);
        if (&assign->Target() != a || &assign->Source() == a || &assign->Source() == b)
            return false;
    } else if (&static_cast<const TAssignConstCmd *>(load)->Target() != a) {
        return false;
    }
    if (m_steps[size_t(i + 5)].Kind != rkOpStore)
        return false;
    auto *op = static_cast<const TCalcCmd *>(commands[i + 5]);
    auto *result = static_cast<const TAssignCmd *>(commands[i + 6]);
    auto *store = static_cast<const TAssignCmd *>(commands[i + 7]);
    return &op->Target() == b && &op->Source() == a && &result->Target() == a && &result->Source() == b
           && store->KeepType()
           && (op->Op() == tkPlus || op->Op() == tkMinus || op->Op() == tkMultiply || op->Op() == tkDivide);
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
    // the statements and calls made of the runs planned above
    for (int i = 0; i < count; ++i) {
        if (numberStoreFits(commands, i))
            m_steps[size_t(i)].Kind = rkNumberStore;
        if (m_steps[size_t(i)].Kind != rkOpenCall)
            continue;
        const int arguments = callArguments(commands, i);
        if (arguments >= 0) {
            m_steps[size_t(i)].Kind = rkCall;
            m_steps[size_t(i)].Arguments = quint8(arguments);
        }
    }
}
