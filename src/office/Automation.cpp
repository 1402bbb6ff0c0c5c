#include "Automation.h"

#include "common/Convert.h"
#include "common/DateTime.h"
#include "common/Exceptions.h"
#include "common/Format.h"

#include <cmath>
#include <vector>

void RaiseOleError(quint32 status)
{
    throw EOleError(Format(QStringLiteral("OLE error %.8x"), {qint64(status)}));
}

void RaiseServerError(const QString &text)
{
    throw EOleError(text);
}

void RaiseUnknownMember(const QString &member)
{
    throw EOleError(QStringLiteral("Method '%1' not supported by automation object").arg(member));
}

void RaiseNotAnObject()
{
    throw EOleError(QStringLiteral("Variant does not reference an automation object"));
}

double VarToNumber(const TDispValue &v)
{
    switch (v.Type) {
    case TDispValue::Empty: return 0;
    case TDispValue::Integer: return double(v.IntValue);
    case TDispValue::Double:
    case TDispValue::Date: return v.NumValue;
    case TDispValue::Currency: return double(v.IntValue) / 10000.0;
    case TDispValue::Boolean: return v.BoolValue ? -1 : 0;
    case TDispValue::String: {
        double d;
        if (TryStrToFloat(v.StrValue.trimmed(), d))
            return d;
        break;
    }
    default: break;
    }
    RaiseOleError(OleStatus::TypeMismatch);
}

qint64 VarToInt(const TDispValue &v)
{
    if (v.Type == TDispValue::Integer)
        return v.IntValue;
    const double d = std::nearbyint(VarToNumber(v));   // to the nearest, ties to even
    if (!(std::fabs(d) < 9.2e18))
        RaiseOleError(OleStatus::TypeMismatch);
    return qint64(d);
}

QString VarToText(const TDispValue &v)
{
    switch (v.Type) {
    case TDispValue::Empty: return QString();
    case TDispValue::Integer: return QString::number(v.IntValue);
    case TDispValue::Double: return FloatToStr(v.NumValue);
    case TDispValue::Currency: return FloatToStr(double(v.IntValue) / 10000.0);
    case TDispValue::Date: {
        const double day = std::floor(v.NumValue);
        if (v.NumValue == day)
            return DateToStr(v.NumValue);
        if (day == 0)
            return TimeToStr(v.NumValue);
        return DateTimeToStr(v.NumValue);
    }
    case TDispValue::String: return v.StrValue;
    case TDispValue::Boolean: return v.BoolValue ? QStringLiteral("True") : QStringLiteral("False");
    default: break;
    }
    RaiseOleError(OleStatus::TypeMismatch);
}

bool VarToBool(const TDispValue &v)
{
    switch (v.Type) {
    case TDispValue::Boolean: return v.BoolValue;
    case TDispValue::String: {
        const QString s = v.StrValue.trimmed();
        if (s.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
            return true;
        if (s.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
            return false;
        return VarToNumber(v) != 0;
    }
    default: return VarToNumber(v) != 0;
    }
}

TDispatchRef VarToObject(const TDispValue &v)
{
    if (v.Type != TDispValue::Dispatch || !v.DispValue)
        RaiseNotAnObject();
    return v.DispValue;
}

const TDispValue &TDispArgs::Value(int i) const
{
    if (!Given(i))
        RaiseOleError(OleStatus::ParamNotOptional);
    return m_args[size_t(i)].Value;
}

void TDispArgs::SetByRef(int i, TDispValue value)
{
    if (i < Count() && m_args[size_t(i)].ByRef)
        m_args[size_t(i)].Value = std::move(value);
}

TDispValue TDispArgs::TakeLast()
{
    if (m_args.empty())
        RaiseOleError(OleStatus::BadParamCount);
    TDispValue value = m_args.back().Value;
    m_args = m_args.first(m_args.size() - 1);
    return value;
}

void TAutomationObject::Invoke(const QString &member, TCallKind kind, std::span<TDispArg> args,
                               TDispValue *result)
{
    checkAlive();
    TDispArgs a(args);
    TDispValue r;
    if (!invokeMember(member, kind, a, r))
        RaiseUnknownMember(member);
    if (result)
        *result = std::move(r);
}

bool ObjectAnswers(const TDispatchObject &object)
{
    const auto *own = dynamic_cast<const TAutomationObject *>(&object);
    return !own || own->Answers();
}

namespace {

TDispValue invoke(const TDispatchRef &object, const QString &member, TCallKind kind,
                  std::initializer_list<TDispValue> args, const TDispValue *putValue)
{
    if (!object)
        RaiseNotAnObject();
    std::vector<TDispArg> list;
    list.reserve(args.size() + 1);
    for (const TDispValue &v : args)
        list.push_back(TDispArg{v, false});
    if (putValue)
        list.push_back(TDispArg{*putValue, false});
    TDispValue result;
    object->Invoke(member, kind, list, putValue ? nullptr : &result);
    return result;
}

} // namespace

TDispValue OleGet(const TDispatchRef &object, const QString &member,
                  std::initializer_list<TDispValue> args)
{
    return invoke(object, member, ckMethodOrGet, args, nullptr);
}

TDispValue OleCall(const TDispatchRef &object, const QString &member,
                   std::initializer_list<TDispValue> args)
{
    return invoke(object, member, ckMethod, args, nullptr);
}

void OlePut(const TDispatchRef &object, const QString &member, const TDispValue &value)
{
    invoke(object, member, ckPropertyPut, {}, &value);
}

void OlePut(const TDispatchRef &object, const QString &member,
            std::initializer_list<TDispValue> args, const TDispValue &value)
{
    invoke(object, member, ckPropertyPut, args, &value);
}

TDispatchRef OleGetObject(const TDispatchRef &object, const QString &member,
                          std::initializer_list<TDispValue> args)
{
    return VarToObject(OleGet(object, member, args));
}

TDispatchRef OleCallObject(const TDispatchRef &object, const QString &member,
                           std::initializer_list<TDispValue> args)
{
    return VarToObject(OleCall(object, member, args));
}
