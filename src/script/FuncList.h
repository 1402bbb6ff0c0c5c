#pragma once

#include "common/ListPool.h"

#include <QString>
#include <bitset>
#include <functional>
#include <initializer_list>

class TReportHost;
class TParamList;
class TReportVar;

// The code of a function: reads its arguments from the parameter list in
// order and stores its result into the result holder (which the interpreter
// has cleared; storing nothing leaves the result UNDEFINED).
using TFuncImpl = std::function<void(TReportHost &report, TParamList &params, TReportVar &result)>;

// Argument positions 0 to 255; see TFunc::IsByRef for the meaning of 255.
using TByRefSet = std::bitset<256>;

// A set of argument positions, e.g. ByRefPositions({0, 255}).
TByRefSet ByRefPositions(std::initializer_list<int> positions);

// One function that scripts can call.
class TFunc {
public:
    // `argCount` is the minimum number of arguments, -1 for no check. The
    // name is stored upper-cased.
    TFunc(const QString &name, int argCount, TFuncImpl implementation,
          TByRefSet byRefSet = {}, const QString &description = {});
    TFunc(const TFunc &) = delete;
    TFunc &operator=(const TFunc &) = delete;
    virtual ~TFunc();

    const QString &Name() const { return m_name; }
    int ArgCount() const { return m_argCount; }
    const TFuncImpl &Implementation() const { return m_implementation; }
    const TByRefSet &ByRefSet() const { return m_byRefSet; }
    const QString &Description() const { return m_description; }

    // Whether the function only reads the values of its arguments: it never
    // stores into an argument holder, keeps no reference to one past the
    // call, runs no script and reads nothing of a holder but its type and
    // value. The interpreter may then hand it the caller's variables, and
    // holders of its own for constants and computed numbers, instead of
    // copies in the parameter list (see TDirectCall in CommandPlan.h).
    bool ReadsArgumentsOnly() const { return m_readsArgumentsOnly; }
    void SetReadsArgumentsOnly(bool readsOnly) { m_readsArgumentsOnly = readsOnly; }

    // Whether argument `position` (from 0) takes a variable instead of a
    // value. Position 255 in the set inverts the answer for every position:
    // {0} makes only the first argument a variable, {0, 255} every argument
    // but the first, {255} every argument. Positions above 255 count as not
    // in the set.
    virtual bool IsByRef(int position) const;

private:
    QString m_name;
    int m_argCount;
    TFuncImpl m_implementation;
    TByRefSet m_byRefSet;
    QString m_description;
    bool m_readsArgumentsOnly = false;
};

// The function registry of a report: the records in registration order.
class TCustomFuncList : public TListPool<TFunc> {
public:
    // The first record whose name equals `name` upper-cased, or none. A
    // record added later under a name already registered is never found.
    TFunc *FindFunc(const QString &name) const;
    // Appends a record without looking for duplicates; returns it.
    TFunc &AddFunc(std::unique_ptr<TFunc> func) { return *Add(std::move(func)); }
};

class TFuncList : public TCustomFuncList {
public:
    TFuncList() = default;
};
