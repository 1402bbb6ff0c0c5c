#pragma once

#include "Commands.h"
#include "FuncList.h"
#include "VarList.h"

#include <memory>
#include <vector>

// One index of the interpreter's plan for a command list: the command there,
// what the loop runs from there (the command's own code, or a run of
// commands done in one step) and whether the command's register source is
// used up.
struct TCommandStep {
    TCommand *Command = nullptr;
    quint8 Kind = 0;
    // A TAssignCmd, or a TCalcCmd copy, whose source is a register that is
    // overwritten before it is read again: the value moves instead of being
    // shared.
    bool TakeSource = false;
    // rkCall: the number of arguments, each loaded by an rkLoadArgument pair.
    quint8 Arguments = 0;
    // rkNumbers: the index of its TNumberRun in the plan; rkDirectCall: the
    // index of its TDirectCall; rkTextRun: the index of its TTextRun.
    quint32 NumberRun = 0;
};

// One operation of the postfix code of a TNumberRun: push a variable's
// number or a constant, or apply an operator (+ - * /, a comparison, whose
// truth is 1 or 0, or AND and OR of two truths) to the two numbers on top;
// the code ends with ncEnd. The code is also the index of the operation's
// handler in the loop that computes the run (ComputeNumbers).
struct TNumberOp {
    enum TCode : quint8 {
        ncVariable, ncConstant,
        ncPlus, ncMinus, ncMultiply, ncDivide,
        ncEqual, ncNotEqual, ncGreater, ncLess, ncGreaterEqual, ncLessEqual,
        ncAnd, ncOr,
        ncEnd,
    };
    TCode Code = ncConstant;
    const TReportVar *Variable = nullptr;
    double Constant = 0;

    bool IsOperator() const { return Code >= ncPlus && Code < ncEnd; }
};

// The commands of an expression over variables and constants, through the
// registers and the value stack, up to the one command that uses its value:
// "X := @A keep", "ADDPARAM P, @A" taking @A, or "JNZ @A" after a
// comparison (or comparisons joined by AND and OR), each after
// "op @B, @A; @A := @B". When every variable it reads holds a number, the
// loop computes the value from the postfix code, does what the last command
// does with it and leaves the registers with the types and numbers those
// last commands leave them, without the moves and stack entries on the way;
// any other value (a text, a date, an UNDEFINED variable), a division by
// zero or a store into a holder of anything but a number runs the commands
// by the runs they are made of. What the last commands name is copied here
// once, so that the loop reads the run alone.
struct TNumberRun {
    enum TUse : quint8 { nuStore, nuArgument, nuJump };

    // the postfix code, while the plan is worked out; then in the plan's
    // one array of the code of all its runs, from Code
    std::vector<TNumberOp> Planned;
    const TNumberOp *Code = nullptr;
    int Length = 0;         // commands, the last one included
    quint8 Fallback = 0;    // the kind of the first index without this run
    TUse Use = nuStore;     // what the last command does with the value
    TReportVar *A = nullptr;        // the registers of "op @B, @A; @A := @B"
    TReportVar *B = nullptr;
    TReportVar *Target = nullptr;   // nuStore: the variable stored into
    TAddParamCmd *Argument = nullptr;   // nuArgument: the ADDPARAM
    int LastPosition = 0;   // the last command's position
    bool Binary = false;    // the code is two leaves and an operator
    // a concatenation of texts from the same index, tried before the
    // fallback: its index in the plan plus one, or 0
    quint32 TextRun = 0;
    int JumpOffset = 0;     // nuJump: the JNZ's offset
};

// Computes a number run's code: its value and the left operand of its last
// operator (the previous number the operator leaves in @B). False when a
// variable holds anything but a number or a divisor is zero.
bool ComputeNumbers(const TNumberOp *code, double &value, double &lastLeft);

// A whole call of a function that only reads its arguments
// (TFunc::ReadsArgumentsOnly), "PUSH P; CLEAR P; arguments; CALL; POP P",
// where every argument is a variable, a constant (an rkLoadArgument pair)
// or an expression over numbers (a TNumberRun ending in its ADDPARAM). The
// function is given a parameter list of this call's own that refers to the
// variables themselves and to holders of this call for the constants and
// the numbers, made once: the caller's parameter list is neither saved nor
// refilled, no argument is copied, and the stack is not touched. The
// holders end as the commands would leave them: the result in the call's
// result register, @B as the last number argument's run leaves it, and
// ErrorPos at the POP; a store of the result that follows is done in the
// same step.
//
// A number argument that cannot be computed on numbers, or a function that
// fails, runs the call by the runs it is made of instead (the Fallback
// kind), from its start: nothing has been changed by then but the result
// register, which the call clears first anyway, so that a failure carries
// exactly the message and position the commands give (an argument copy is
// named after its register, not after the variable it came from).
struct TDirectCall {
    using TCode = void (*)(TReportHost &, TParamList &, TReportVar &);

    const TFunc *Func = nullptr;
    // the function's code when it is a plain function, else none (called
    // through Func's TFuncImpl)
    TCode Code = nullptr;
    TReportVar *Result = nullptr;
    TParamList Arguments;
    // the holders of constants and numbers in Arguments
    std::vector<std::unique_ptr<TReportVar>> Holders;
    // the arguments computed by number runs, in argument order
    struct TNumberArgument {
        quint32 Run;          // index of the TNumberRun in the plan
        TReportVar *Holder;   // its holder in Arguments
    };
    std::vector<TNumberArgument> Numbers;
    // the register @B that a number run leaves its operator's result in
    TReportVar *RegisterB = nullptr;
    // "X := @A keep" right after the POP, taking the result: a call's value
    // stored, done in the same step
    TAssignCmd *Store = nullptr;
    int Length = 0;       // commands, the POP (and the store) included
    int EndPosition = 0;  // the POP's position
    quint8 Fallback = 0;  // the kind of the first index without this call
};

// The commands of a concatenation of texts up to its result in @A,
// "@A := L0; COPY @B, @A", then for every further leaf
// "PUSH @B; @A := Li; POP @B; + @B, @A", and "@A := @B", where every leaf
// is a variable or a text constant and @A is overwritten before it is read
// again after each "+". When every variable holds a text and the sum is not
// too long, so that nothing can fail, the loop does on @B what those
// commands do (a fresh copy of L0, then for every leaf the previous values
// dropped and the leaf added) without the copies of the leaves into @A,
// then runs "@A := @B"; else the runs the commands are made of.
struct TTextRun {
    std::vector<const TReportVar *> Leaves;   // variables, and the plan's holders of constants
    TReportVar *B = nullptr;
    const TCommandStep *Result = nullptr;     // the step of "@A := @B"
    int Length = 0;                           // commands, "@A := @B" included
    quint8 Fallback = 0;
};

// The interpreter's plan for a command list, worked out once per version of
// the list (TCommandList::Plan): which register copies may move their
// values, and which short runs of commands the loop does in one step. The
// plan is kept here, beside the list; the list and its commands are never
// changed, so its listing stays as compiled, and a jump into the middle of
// a run still finds the commands it names, run one by one.
//
// Each run ends with the holders as its single commands leave them and
// fails where they would, with ErrorPos at that command; the loop
// (ExecuteCommands in Commands.cpp) does each kind of run in one step.
class TCommandPlan {
public:
    // What the loop runs from an index besides a single command as
    // compiled: a register copy that moves its value, and runs of commands
    // that every expression is made of.
    enum TRunKind : quint8 {
        // a TAssignCmd whose source is moved (TakeSource)
        rkAssignTaken = TCommand::ckCall + 1,
        // a TCalcCmd copy whose source is moved (TakeSource)
        rkCopyTaken,
        // "PUSH x; @A := operand; POP y", an operator's plain right operand
        rkSavedOperand,
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
        // "PUSH P; CLEAR P; (rkLoadArgument)*; CALL; POP P": a whole call
        rkCall,
        // an expression over numbers and the command that uses it (TNumberRun)
        rkNumbers,
        // a whole call of a function that only reads its arguments (TDirectCall)
        rkDirectCall,
        // a concatenation of texts (TTextRun)
        rkTextRun,
    };
    static constexpr int KindCount = rkTextRun + 1;
    // The deepest stack of numbers a TNumberRun may need, and the most
    // operations it may have: longer expressions run by the smaller runs,
    // and working out the plan stays linear in the length of the list.
    static constexpr int MaxNumberDepth = 16;
    static constexpr int MaxNumberCode = 64;

    // Works out the plan for `commands` as they are now.
    explicit TCommandPlan(const TCommandList &commands);

    // Whether the plan was worked out for `commands` as they are now.
    bool IsFor(const TCommandList &commands) const { return m_version == commands.Version(); }
    // One step for every index of the list.
    const TCommandStep *Steps() const { return m_steps.data(); }
    const TNumberRun &NumberRun(const TCommandStep &step) const { return m_numberRuns[step.NumberRun]; }
    const TNumberRun &NumberRun(quint32 index) const { return m_numberRuns[index]; }
    TDirectCall &DirectCall(const TCommandStep &step) const { return *m_directCalls[step.NumberRun]; }
    const TTextRun &TextRun(const TCommandStep &step) const { return m_textRuns[step.NumberRun]; }
    const TTextRun &TextRun(quint32 index) const { return m_textRuns[index]; }

private:
    void planMoves(const TCommandList &commands);
    void planRuns(const TCommandList &commands);
    bool takes(int i) const { return m_steps[size_t(i)].TakeSource; }
    bool savedOperandFits(const TCommandList &commands, int i) const;
    bool loadCopyFits(const TCommandList &commands, int i) const;
    bool storeResultFits(const TCommandList &commands, int i) const;
    bool loadArgumentFits(const TCommandList &commands, int i) const;
    bool openCallFits(const TCommandList &commands, int i) const;
    bool callReturnFits(const TCommandList &commands, int i) const;
    bool loadStoreFits(const TCommandList &commands, int i) const;
    bool opResultFits(const TCommandList &commands, int i) const;
    int callArguments(const TCommandList &commands, int i) const;
    bool planNumberRun(const TCommandList &commands, int i, TNumberRun &run) const;
    std::unique_ptr<TDirectCall> planDirectCall(const TCommandList &commands, int i) const;
    bool planTextRun(const TCommandList &commands, int i, TTextRun &run);
    int registerOf(const TReportVar &holder) const;

    std::vector<TCommandStep> m_steps;
    std::vector<TNumberRun> m_numberRuns;
    // the code of all number runs, one after the other, so that a record's
    // arithmetic reads a few adjacent cache lines
    std::vector<TNumberOp> m_numberCode;
    std::vector<std::unique_ptr<TDirectCall>> m_directCalls;
    std::vector<TTextRun> m_textRuns;
    std::vector<std::unique_ptr<TReportVar>> m_textConstants;   // the text runs' constant leaves
    // the registers read after each command before being overwritten (bit
    // 0 @A, bit 1 @B), while the plan is worked out
    std::vector<quint8> m_liveOut;
    // the registers "@A" and "@B" that the liveness pass found
    const TReportVar *m_registers[2] = {nullptr, nullptr};
    quint32 m_version;
};
