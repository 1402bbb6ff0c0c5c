#pragma once

#include "Commands.h"

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
        // "X := y op z" with y and z variables or constants and op one of
        // + - * /: the eight commands of a statement, done on the numbers
        // when both are numbers, else run as the runs they are made of
        rkNumberStore,
    };
    static constexpr int KindCount = rkNumberStore + 1;

    // Works out the plan for `commands` as they are now.
    explicit TCommandPlan(const TCommandList &commands);

    // Whether the plan was worked out for `commands` as they are now.
    bool IsFor(const TCommandList &commands) const { return m_version == commands.Version(); }
    // One step for every index of the list.
    const TCommandStep *Steps() const { return m_steps.data(); }

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
    bool numberStoreFits(const TCommandList &commands, int i) const;

    std::vector<TCommandStep> m_steps;
    quint32 m_version;
};
