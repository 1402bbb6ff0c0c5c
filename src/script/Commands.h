#pragma once

#include "DispatchObject.h"
#include "FuncList.h"
#include "common/ListPool.h"
#include "VarList.h"

#include <QString>
#include <QStringList>
#include <memory>

class TCommandList;
class TReportHost;
class TVarStack;

// A command of the stack machine. A compiled script is a flat list of them,
// run by index; each names the holders it works on (report variables, the
// registers "@A" and "@B", the call-parameter list), fixed at compile time
// and never owned by the command.
class TCommand {
public:
    // What the interpreter loop needs to know to run a command without the
    // virtual call: the kinds every expression is made of are run inline,
    // the rest (ckOther) through Execute.
    enum TCode : quint8 {
        ckOther, ckAssign, ckAssignConst, ckCalc, ckCompare, ckJump, ckJnz, ckPush, ckPop,
        ckClearParamList, ckAddParam, ckCall,
    };

    TCommand() = default;
    explicit TCommand(TCode code) : m_code(code) {}
    TCommand(const TCommand &) = delete;
    TCommand &operator=(const TCommand &) = delete;
    virtual ~TCommand();

    // The parser's character position when the command was made.
    int Position() const { return m_position; }
    void SetPosition(int position) { m_position = position; }

    // Runs the command; `pc` is this command's index on entry. Every
    // command first steps `pc` to the next command and points the report's
    // ErrorPos at this command's statement (step), so an error raised by its
    // own action is reported there. The kinds that the interpreter loop runs
    // inline (every code but ckOther) are run here by their code, through
    // the same non-virtual Run of their class that the loop compiles in;
    // other kinds override Execute, and one that does not only steps.
    virtual void Execute(int &pc, TReportHost &report, TVarStack &stack);

    // The listing: the command's kind and the holders, constants, operator
    // or jump it names.
    virtual const char *Kind() const = 0;
    virtual QString Operands() const = 0;
    QString ListingText() const;

    TCode Code() const { return m_code; }

protected:
    // The first part of every Execute and Run: next command, ErrorPos at
    // this statement.
    void step(int &pc, TReportHost &report) const;

private:
    int m_position = 0;
    TCode m_code = ckOther;
};

// A constant of the script, tagged with how it is stored.
struct TConstValue {
    enum Tag : quint8 { ctNone, ctInteger, ctDouble, ctCurrency, ctDate, ctBoolean, ctString };

    Tag Type = ctNone;
    double Number = 0;   // ctInteger, ctDouble, ctCurrency, ctDate
    bool Bool = false;   // ctBoolean
    QString Text;        // ctString

    static TConstValue Integer(qint64 v) { TConstValue c; c.Type = ctInteger; c.Number = double(v); return c; }
    static TConstValue Double(double v) { TConstValue c; c.Type = ctDouble; c.Number = v; return c; }
    static TConstValue Boolean(bool v) { TConstValue c; c.Type = ctBoolean; c.Bool = v; return c; }
    static TConstValue String(const QString &v) { TConstValue c; c.Type = ctString; c.Text = v; return c; }
    static TConstValue Date(double v) { TConstValue c; c.Type = ctDate; c.Number = v; return c; }
};

// TAssignCmd: target := source; the target is cleared first (so it may change
// its type) unless the type is kept.
class TAssignCmd final : public TCommand {
public:
    TAssignCmd(TReportVar &target, TReportVar &source, bool keepType)
        : TCommand(ckAssign), m_target(&target), m_source(&source), m_keepType(keepType) {}
    const char *Kind() const override { return "TAssignCmd"; }
    QString Operands() const override;

    TReportVar &Target() const { return *m_target; }
    TReportVar &Source() const { return *m_source; }
    bool KeepType() const { return m_keepType; }

    // Execute without the virtual call; with `takeSource` (a register
    // used up here, see CommandPlan.h) the source's value moves.
    void Run(int &pc, TReportHost &report, TVarStack &stack, bool takeSource = false);

private:
    TReportVar *m_target;
    TReportVar *m_source;
    bool m_keepType;
};

// TAssignConstCmd: target := constant; the target is cleared first unless the
// type is kept.
class TAssignConstCmd final : public TCommand {
public:
    TAssignConstCmd(TReportVar &target, TConstValue value, bool keepType)
        : TCommand(ckAssignConst), m_target(&target), m_value(std::move(value)), m_keepType(keepType) {}
    const char *Kind() const override { return "TAssignConstCmd"; }
    QString Operands() const override;

    TReportVar &Target() const { return *m_target; }
    const TConstValue &Value() const { return m_value; }
    bool KeepType() const { return m_keepType; }

    // Execute without the virtual call.
    void Run(int &pc, TReportHost &report, TVarStack &stack);
    // Stores the constant into `target`, without clearing it first;
    // StoreInto is the interpreter's inline version.
    void Store(TReportVar &target) const;
    void StoreInto(TReportVar &target) const;
    // Stores the constant into an empty argument holder as loading it
    // through a register and taking it from there leaves it: an empty text
    // arrives as a null one. StoreArgumentInto is the interpreter's inline
    // version.
    void StoreArgument(TReportVar &argument) const;
    void StoreArgumentInto(TReportVar &argument) const;

private:
    TReportVar *m_target;
    TConstValue m_value;
    bool m_keepType;
};

// TCalcCmd: target := target op source, op a token code: NOT (target only),
// AND, OR (the source is read only when it decides), "-", "+", "*", "/", or
// the plain copy (Clear the target, then Assign the source).
class TCalcCmd final : public TCommand {
public:
    TCalcCmd(TReportVar &target, TReportVar &source, quint8 op)
        : TCommand(ckCalc), m_target(&target), m_source(&source), m_op(op) {}
    const char *Kind() const override { return "TCalcCmd"; }
    QString Operands() const override;

    TReportVar &Target() const { return *m_target; }
    TReportVar &Source() const { return *m_source; }
    quint8 Op() const { return m_op; }

    // Execute without the virtual call; with `takeSource` (the copy's
    // register used up here, see CommandPlan.h) the copied value moves.
    void Run(int &pc, TReportHost &report, TVarStack &stack, bool takeSource = false);

private:
    TReportVar *m_target;
    TReportVar *m_source;
    quint8 m_op;
};

// TCompareCmd: left := (left op right) as a BOOLEAN, op a comparison code.
class TCompareCmd final : public TCommand {
public:
    TCompareCmd(TReportVar &left, TReportVar &right, quint8 op)
        : TCommand(ckCompare), m_left(&left), m_right(&right), m_op(op) {}
    const char *Kind() const override { return "TCompareCmd"; }
    QString Operands() const override;

    TReportVar &Left() const { return *m_left; }
    TReportVar &Right() const { return *m_right; }
    quint8 Op() const { return m_op; }

    // Execute without the virtual call.
    void Run(int &pc, TReportHost &report, TVarStack &stack);

private:
    TReportVar *m_left;
    TReportVar *m_right;
    quint8 m_op;
};

// TJumpCmd: continue at this command's index + offset.
class TJumpCmd final : public TCommand {
public:
    explicit TJumpCmd(int offset = 0) : TCommand(ckJump), m_offset(offset) {}
    const char *Kind() const override { return "TJumpCmd"; }
    QString Operands() const override;
    int Offset() const { return m_offset; }
    void SetOffset(int offset) { m_offset = offset; }

    // Execute without the virtual call.
    void Run(int &pc, TReportHost &report, TVarStack &stack);

private:
    int m_offset;
};

// TJnzCmd: when the condition reads false (an UNDEFINED one does), continue
// at this command's index + offset, else with the next command.
class TJnzCmd final : public TCommand {
public:
    explicit TJnzCmd(TReportVar &condition, int offset = 0) : TCommand(ckJnz), m_condition(&condition), m_offset(offset) {}
    const char *Kind() const override { return "TJnzCmd"; }
    QString Operands() const override;
    TReportVar &Condition() const { return *m_condition; }
    int Offset() const { return m_offset; }
    void SetOffset(int offset) { m_offset = offset; }

    // Execute without the virtual call.
    void Run(int &pc, TReportHost &report, TVarStack &stack);

private:
    TReportVar *m_condition;
    int m_offset;
};

// TPushCmd: push a copy of a holder or of the parameter list.
class TPushCmd final : public TCommand {
public:
    explicit TPushCmd(TReportVar &var) : TCommand(ckPush), m_var(&var) {}
    explicit TPushCmd(TParamList &params) : TCommand(ckPush), m_params(&params) {}
    const char *Kind() const override { return "TPushCmd"; }
    QString Operands() const override;

    // The holder pushed; none when it is the parameter list.
    TReportVar *Var() const { return m_var; }

    // Execute without the virtual call.
    void Run(int &pc, TReportHost &report, TVarStack &stack);

private:
    TReportVar *m_var = nullptr;
    TParamList *m_params = nullptr;
};

// TPopCmd: pop the top of the stack into a holder or the parameter list
// (re-creating its entries, or assigning them by name).
class TPopCmd final : public TCommand {
public:
    explicit TPopCmd(TReportVar &var) : TCommand(ckPop), m_var(&var) {}
    TPopCmd(TParamList &params, bool recreate) : TCommand(ckPop), m_params(&params), m_recreate(recreate) {}
    const char *Kind() const override { return "TPopCmd"; }
    QString Operands() const override;

    // The holder popped into; none when it is the parameter list.
    TReportVar *Var() const { return m_var; }

    // Execute without the virtual call.
    void Run(int &pc, TReportHost &report, TVarStack &stack);

private:
    TReportVar *m_var = nullptr;
    TParamList *m_params = nullptr;
    bool m_recreate = false;
};

// TClearParamListCmd: empty the parameter list, freeing the argument copies.
class TClearParamListCmd final : public TCommand {
public:
    explicit TClearParamListCmd(TParamList &params) : TCommand(ckClearParamList), m_params(&params) {}
    const char *Kind() const override { return "TClearParamListCmd"; }
    QString Operands() const override;

    // Execute without the virtual call.
    void Run(int &pc, TReportHost &report, TVarStack &stack);

private:
    TParamList *m_params;
};

// TAddParamCmd: append an argument to the parameter list: the holder itself
// (by reference) or an Owned copy of it named like it. A register that the
// commands after this one store into before they read it again
// (`takeValue`) gives its value up to the copy instead of sharing it, and
// is left UNDEFINED.
class TAddParamCmd final : public TCommand {
public:
    TAddParamCmd(TReportVar &var, TParamList &params, bool byRef, bool takeValue = false)
        : TCommand(ckAddParam), m_var(&var), m_params(&params), m_byRef(byRef), m_takeValue(takeValue && !byRef) {}
    const char *Kind() const override { return "TAddParamCmd"; }
    QString Operands() const override;

    TReportVar &Var() const { return *m_var; }
    TParamList &Params() const { return *m_params; }
    bool ByRef() const { return m_byRef; }
    bool TakesValue() const { return m_takeValue; }

    // Execute without the virtual call.
    void Run(int &pc, TReportHost &report, TVarStack &stack);

private:
    TReportVar *m_var;
    TParamList *m_params;
    bool m_byRef;
    bool m_takeValue;
};

// TCallCmd: result := function(parameter list), after checking that the list
// has at least the function's argument count.
class TCallCmd final : public TCommand {
public:
    TCallCmd(TReportVar &result, const TFunc &func, TParamList &params)
        : TCommand(ckCall), m_result(&result), m_func(&func), m_params(&params) {}
    const char *Kind() const override { return "TCallCmd"; }
    QString Operands() const override;

    TReportVar &Result() const { return *m_result; }
    const TFunc &Func() const { return *m_func; }
    TParamList &Params() const { return *m_params; }

    // Execute without the virtual call.
    void Run(int &pc, TReportHost &report, TVarStack &stack);

private:
    TReportVar *m_result;
    const TFunc *m_func;
    TParamList *m_params;
};

// TDispCallCmd: result := object.member(parameter list) through automation,
// with the call kind's bits; a property write passes the value holder as
// the last argument, and the positions of the by-reference set pass the
// caller's variables.
class TDispCallCmd final : public TCommand {
public:
    TDispCallCmd(const QString &member, TCallKind kind, TParamList &params, TReportVar &object,
                 TReportVar &value, TByRefSet byRefSet, TReportVar &result)
        : m_member(member), m_kind(kind), m_params(&params), m_object(&object), m_value(&value),
          m_byRefSet(byRefSet), m_result(&result) {}
    void Execute(int &pc, TReportHost &report, TVarStack &stack) override;
    const char *Kind() const override { return "TDispCallCmd"; }
    QString Operands() const override;

    const QString &Member() const { return m_member; }
    TCallKind CallKind() const { return m_kind; }

private:
    QString m_member;
    TCallKind m_kind;
    TParamList *m_params;
    TReportVar *m_object;
    TReportVar *m_value;
    TByRefSet m_byRefSet;
    TReportVar *m_result;
};

class TCommandPlan;

// A compiled script: the commands of one template section, run by index.
class TCommandList : public TListPool<TCommand> {
public:
    TCommandList();
    ~TCommandList() override;

    // Moves every command of `other` to the end of this list.
    void Append(TCommandList &other) { TakeAllFrom(other); }

    // Whether ExecuteCommands runs the list by the interpreter's plan (the
    // default) or runs every command on its own through Execute, as
    // compiled: the plain reading of the list that the plan must match.
    void SetPlanEnabled(bool enabled) { m_planEnabled = enabled; }
    bool PlanEnabled() const { return m_planEnabled; }

    // The interpreter's plan for the list as it is now (CommandPlan.h),
    // worked out on first use and again whenever the list has changed
    // since. The plan keeps everything it works out itself: the commands
    // are never written to.
    const TCommandPlan &Plan() const;

private:
    mutable std::unique_ptr<TCommandPlan> m_plan;
    bool m_planEnabled = true;
};

// Runs a command list: clears the value stack (dropping what a failed run
// left on it), then executes the command at the counter for as long as the
// counter stays within the list, by the list's plan unless it is switched
// off. Errors propagate unchanged.
void ExecuteCommands(const TCommandList &commands, TReportHost &report, TVarStack &stack);

// A readable listing of a command list, one line per command: its index,
// kind, operands and position.
QStringList CommandListing(const TCommandList &commands);

// The text of a constant as the script would write it.
QString ConstText(const TConstValue &value);
