#include "Params.h"

#include "common/Exceptions.h"
#include "common/Format.h"

void TParam::SetValue(const QVariant &v)
{
    if (m_dataType == ftUnknown) {
        switch (v.typeId()) {
        case QMetaType::Bool: m_dataType = ftBoolean; break;
        case QMetaType::Int: case QMetaType::LongLong: case QMetaType::UInt:
        case QMetaType::ULongLong: case QMetaType::Short: m_dataType = ftInteger; break;
        case QMetaType::Double: case QMetaType::Float: m_dataType = ftFloat; break;
        case QMetaType::QDate: m_dataType = ftDate; break;
        case QMetaType::QTime: m_dataType = ftTime; break;
        case QMetaType::QDateTime: m_dataType = ftDateTime; break;
        case QMetaType::QByteArray: m_dataType = ftBlob; break;
        default: m_dataType = v.isValid() ? ftString : ftUnknown; break;
        }
    }
    setRaw(v.isNull() ? QVariant() : v);
}

void TParam::Clear()
{
    setRaw(QVariant());
}

void TParam::SetAsDate(TDateTime v)
{
    m_dataType = ftDate;
    setRaw(DateTimeToQDate(v));
}

void TParam::SetAsTime(TDateTime v)
{
    m_dataType = ftTime;
    setRaw(DateTimeToQTime(v));
}

void TParam::SetAsDateTime(TDateTime v)
{
    m_dataType = ftDateTime;
    setRaw(DateTimeToQDateTime(v));
}

QString TParam::AsString() const
{
    if (IsNull())
        return QString();
    switch (m_value.typeId()) {
    case QMetaType::Double: return FloatToStr(m_value.toDouble());
    case QMetaType::QDate: case QMetaType::QTime: case QMetaType::QDateTime: {
        TDateTime dt = 0;
        FieldValue::ToDateTime(m_value, dt);
        if (m_value.typeId() == QMetaType::QDate) return DateToStr(dt);
        if (m_value.typeId() == QMetaType::QTime) return TimeToStr(dt);
        return DateTimeToStr(dt);
    }
    case QMetaType::Bool: return m_value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    default: return m_value.toString();
    }
}

TDateTime TParam::AsDateTime() const
{
    TDateTime dt = 0;
    if (!IsNull() && !FieldValue::ToDateTime(m_value, dt))
        dt = FieldValue::ToFloat(m_value);
    return dt;
}

void TParam::Assign(const TParam &other)
{
    m_name = other.m_name;
    m_dataType = other.m_dataType;
    m_paramType = other.m_paramType;
    m_value = other.m_value;
    m_bound = other.m_bound;
}

TParam *TParams::FindParam(const QString &name) const
{
    for (const auto &p : m_items)
        if (p->Name().compare(name, Qt::CaseInsensitive) == 0)
            return p.get();
    return nullptr;
}

TParam &TParams::ParamByName(const QString &name) const
{
    if (TParam *p = FindParam(name))
        return *p;
    throw Exception(Format(QStringLiteral("Параметр '%s' не найден"), {name}));
}

TParam &TParams::CreateParam(TFieldType type, const QString &name, TParamType paramType)
{
    auto p = std::make_unique<TParam>(name, paramType);
    p->SetDataType(type);
    m_items.push_back(std::move(p));
    return *m_items.back();
}

void TParams::RemoveParam(const QString &name)
{
    for (auto it = m_items.begin(); it != m_items.end(); ++it)
        if ((*it)->Name().compare(name, Qt::CaseInsensitive) == 0) {
            m_items.erase(it);
            return;
        }
}

void TParams::Assign(const TParams &other)
{
    m_items.clear();
    for (const auto &p : other.m_items) {
        auto copy = std::make_unique<TParam>();
        copy->Assign(*p);
        m_items.push_back(std::move(copy));
    }
}

void TParams::AssignValues(const TParams &other)
{
    for (auto &p : m_items)
        if (TParam *src = other.FindParam(p->Name())) {
            const QString name = p->Name();
            p->Assign(*src);
            p->SetName(name);
        }
}
