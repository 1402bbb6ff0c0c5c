#pragma once

#include "common/DateTime.h"

#include <QString>
#include <QtGlobal>
#include <memory>
#include <span>

class TDispatchObject;

// A counted reference to an automation object: the object lives while any
// holder, argument or result still refers to it.
using TDispatchRef = std::shared_ptr<TDispatchObject>;

// How a member is called. The bits combine: 3 calls a method or reads a
// property, whichever the member is.
enum TCallKind : quint8 {
    ckMethod = 1,
    ckPropertyGet = 2,
    ckMethodOrGet = ckMethod | ckPropertyGet,
    ckPropertyPut = 4,
};

// One value crossing the automation boundary, tagged with its type.
struct TDispValue {
    enum Kind : quint8 {
        Empty,     // no value
        Integer,   // small integer, integer or byte
        Double,    // single or double precision
        Currency,  // a scaled integer: the amount times 10000
        Date,      // a day number, as the script's DATE
        String,
        Boolean,
        Dispatch,  // another automation object
        Other,     // anything the script has no type for (arrays, errors, ...)
    };

    Kind Type = Empty;
    qint64 IntValue = 0;      // Integer, Currency
    double NumValue = 0;      // Double, Date
    bool BoolValue = false;   // Boolean
    QString StrValue;         // String
    TDispatchRef DispValue;   // Dispatch

    static TDispValue FromInteger(qint64 v) { TDispValue r; r.Type = Integer; r.IntValue = v; return r; }
    static TDispValue FromDouble(double v) { TDispValue r; r.Type = Double; r.NumValue = v; return r; }
    static TDispValue FromCurrency(qint64 scaled) { TDispValue r; r.Type = Currency; r.IntValue = scaled; return r; }
    static TDispValue FromDate(TDateTime v) { TDispValue r; r.Type = Date; r.NumValue = v; return r; }
    static TDispValue FromString(const QString &v) { TDispValue r; r.Type = String; r.StrValue = v; return r; }
    static TDispValue FromBoolean(bool v) { TDispValue r; r.Type = Boolean; r.BoolValue = v; return r; }
    static TDispValue FromDispatch(TDispatchRef v) { TDispValue r; r.Type = Dispatch; r.DispValue = std::move(v); return r; }
};

// One argument of a member call. A by-reference argument stands for the
// caller's variable: what the object leaves in `Value` is written back to it.
struct TDispArg {
    TDispValue Value;
    bool ByRef = false;
};

// An automation object as the script language sees it: members are called
// by name. The automation servers implement it.
class TDispatchObject {
public:
    TDispatchObject() = default;
    TDispatchObject(const TDispatchObject &) = delete;
    TDispatchObject &operator=(const TDispatchObject &) = delete;
    virtual ~TDispatchObject();

    // Calls `member` with the arguments in order (for a property write the
    // value is the last one). `result` is null when the caller wants no
    // result. Failures raise EOleError, for instance "Method '%s' not
    // supported by automation object" for a member the object lacks.
    virtual void Invoke(const QString &member, TCallKind kind, std::span<TDispArg> args,
                        TDispValue *result) = 0;
};
