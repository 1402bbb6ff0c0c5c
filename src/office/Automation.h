#pragma once

#include "script/DispatchObject.h"

#include <QString>
#include <initializer_list>
#include <memory>
#include <span>

// The automation layer's side of a call: status codes, the argument reader a
// server uses, the base class of the built-in servers' objects with their
// member tables, and the client calls that the office link makes.

// Status codes of refused calls. They reach the script as "OLE error %.8x".
namespace OleStatus {
constexpr quint32 MemberNotFound = 0x80020003;     // the member exists, but not for this kind of call
constexpr quint32 TypeMismatch = 0x80020005;       // an argument of a type the member cannot take
constexpr quint32 BadIndex = 0x8002000B;           // an index outside the collection
constexpr quint32 BadParamCount = 0x8002000E;      // more arguments than the member takes
constexpr quint32 ParamNotOptional = 0x8002000F;   // a required argument is missing
constexpr quint32 ClassNotRegistered = 0x80040154; // a class identifier no server serves
constexpr quint32 InvalidClassString = 0x800401F3; // a program identifier nobody registered
constexpr quint32 NotRunning = 0x800401E3;         // no running instance to attach to
constexpr quint32 Disconnected = 0x80010108;       // the object's document was closed
constexpr quint32 ServerUnavailable = 0x800706BA;  // the server has quit
} // namespace OleStatus

// "OLE error %.8x" with the status code.
[[noreturn]] void RaiseOleError(quint32 status);
// The server's own exception text.
[[noreturn]] void RaiseServerError(const QString &text);
// "Method '%s' not supported by automation object".
[[noreturn]] void RaiseUnknownMember(const QString &member);
// "Variant does not reference an automation object".
[[noreturn]] void RaiseNotAnObject();

// Conversions of a value the way a server takes it: numbers from numbers,
// dates, Booleans (true is -1) and numeric texts; texts from everything but
// objects; Booleans from numbers (non-zero is true) and "True"/"False".
// Anything else raises the type mismatch. Empty reads as 0, "" or false.
double VarToNumber(const TDispValue &v);
qint64 VarToInt(const TDispValue &v);   // rounded to the nearest integer
QString VarToText(const TDispValue &v);
bool VarToBool(const TDispValue &v);
// The object a value refers to; raises "Variant does not reference an
// automation object" for anything else.
TDispatchRef VarToObject(const TDispValue &v);

// The arguments of one call as the called member reads them, first to last.
// An argument that is absent, or Empty, counts as not given: an optional one
// takes its default, a required one raises "OLE error 8002000F".
class TDispArgs {
public:
    explicit TDispArgs(std::span<TDispArg> args) : m_args(args) {}

    int Count() const { return int(m_args.size()); }
    bool Given(int i) const { return i < Count() && m_args[size_t(i)].Value.Type != TDispValue::Empty; }
    const TDispValue &Value(int i) const;   // ParamNotOptional when not given

    double Number(int i) const { return VarToNumber(Value(i)); }
    double Number(int i, double def) const { return Given(i) ? Number(i) : def; }
    qint64 Int(int i) const { return VarToInt(Value(i)); }
    qint64 Int(int i, qint64 def) const { return Given(i) ? Int(i) : def; }
    QString Text(int i) const { return VarToText(Value(i)); }
    QString Text(int i, const QString &def) const { return Given(i) ? Text(i) : def; }
    bool Bool(int i) const { return VarToBool(Value(i)); }
    bool Bool(int i, bool def) const { return Given(i) ? Bool(i) : def; }
    TDispatchRef Object(int i) const { return VarToObject(Value(i)); }

    // Leaves `value` in argument i when the caller passed a variable there;
    // an argument passed by value is left alone.
    void SetByRef(int i, TDispValue value);

    // Removes and returns the last argument: the value of a property write.
    // Raises "OLE error 8002000E" when there is none.
    TDispValue TakeLast();

private:
    std::span<TDispArg> m_args;
};

// One member of an object's class: a property read, a property write and a
// method, each absent when null, and the most index or method arguments the
// member takes (the value of a write not counted).
template <class T>
struct TMemberDef {
    const char *Name;
    TDispValue (T::*Get)(TDispArgs &) = nullptr;
    void (T::*Put)(TDispArgs &, const TDispValue &) = nullptr;
    TDispValue (T::*Call)(TDispArgs &) = nullptr;
    int MaxArgs = 0;
};

// Base of every object the built-in servers hand out. Calls find the member
// by name, case-insensitively, in the class's member table:
//   method call (1)      the method, else the property read
//   read or call (2, 3)  the method when the kind allows one, else the read
//   property write (4)   the write; a member without one refuses the call
// Objects are always made with std::make_shared, so a member can hand out a
// reference to its own object.
class TAutomationObject : public TDispatchObject, public std::enable_shared_from_this<TAutomationObject> {
public:
    void Invoke(const QString &member, TCallKind kind, std::span<TDispArg> args,
                TDispValue *result) final;

    // Whether the object still answers calls: false once its server has
    // quit. (The "type information count" question of a real server.)
    virtual bool Answers() const { return true; }
    // Raises what a call would raise now because the object is gone.
    void CheckAlive() const { checkAlive(); }

protected:
    // Raises when the object can take no calls any more (its server quit,
    // its document was closed).
    virtual void checkAlive() const {}
    // Runs the member; false when the class has no member of that name.
    virtual bool invokeMember(const QString &member, TCallKind kind, TDispArgs &args,
                              TDispValue &result) = 0;

    TDispValue self() { return TDispValue::FromDispatch(shared_from_this()); }

    template <class T>
    static bool dispatchMember(T &object, std::span<const TMemberDef<T>> table, const QString &member,
                               TCallKind kind, TDispArgs &args, TDispValue &result);
};

// The base of a built-in server's class T, derived from Base (the server
// object, document or application T is a kind of): calls are answered from
// T's own member table, which T gives as
//   static TMembers members();
// defined beside its handlers, one line a member:
//   {"Name", &T::getName, &T::putName}, {"Add", nullptr, nullptr, &T::callAdd, 1}
// Base's constructors are T's to call.
template <class T, class Base>
class TAutomationClass : public Base {
public:
    using TMembers = std::span<const TMemberDef<T>>;

protected:
    using Base::Base;

    bool invokeMember(const QString &member, TCallKind kind, TDispArgs &args,
                      TDispValue &result) final
    {
        return TAutomationObject::dispatchMember(static_cast<T &>(*this), T::members(), member, kind,
                                                 args, result);
    }
};

// Whether an object answers: asks a built-in server's object, and takes any
// other object at its word.
bool ObjectAnswers(const TDispatchObject &object);

template <class T>
bool TAutomationObject::dispatchMember(T &object, std::span<const TMemberDef<T>> table,
                                       const QString &member, TCallKind kind, TDispArgs &args,
                                       TDispValue &result)
{
    for (const TMemberDef<T> &m : table) {
        if (member.compare(QLatin1String(m.Name), Qt::CaseInsensitive) != 0)
            continue;
        if (kind & ckPropertyPut) {
            if (!m.Put)
                RaiseOleError(OleStatus::MemberNotFound);
            TDispValue value = args.TakeLast();
            if (args.Count() > m.MaxArgs)
                RaiseOleError(OleStatus::BadParamCount);
            (object.*m.Put)(args, value);
            return true;
        }
        if (args.Count() > m.MaxArgs)
            RaiseOleError(OleStatus::BadParamCount);
        if (m.Call && (kind & ckMethod))
            result = (object.*m.Call)(args);
        else if (m.Get)
            result = (object.*m.Get)(args);
        else
            RaiseOleError(OleStatus::MemberNotFound);
        return true;
    }
    return false;
}

// Client calls on any automation object, as the office link makes them.
// `object` empty raises "Variant does not reference an automation object".
TDispValue OleGet(const TDispatchRef &object, const QString &member,
                  std::initializer_list<TDispValue> args = {});
TDispValue OleCall(const TDispatchRef &object, const QString &member,
                   std::initializer_list<TDispValue> args = {});
void OlePut(const TDispatchRef &object, const QString &member, const TDispValue &value);
void OlePut(const TDispatchRef &object, const QString &member,
            std::initializer_list<TDispValue> args, const TDispValue &value);
// The object a read or call returned.
TDispatchRef OleGetObject(const TDispatchRef &object, const QString &member,
                          std::initializer_list<TDispValue> args = {});
TDispatchRef OleCallObject(const TDispatchRef &object, const QString &member,
                           std::initializer_list<TDispValue> args = {});
