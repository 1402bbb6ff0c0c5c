#pragma once

#include "Fields.h"

#include <QList>
#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

enum TParamType { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

// A named parameter of a query or a stored procedure.
class TParam {
public:
    explicit TParam(const QString &name = QString(), TParamType paramType = ptInput)
        : m_name(name), m_paramType(paramType) {}

    const QString &Name() const { return m_name; }
    void SetName(const QString &n) { m_name = n; }
    TFieldType DataType() const { return m_dataType; }
    void SetDataType(TFieldType t) { m_dataType = t; }
    TParamType ParamType() const { return m_paramType; }
    void SetParamType(TParamType t) { m_paramType = t; }

    // A parameter is bound once a value (NULL included) was given.
    bool IsBound() const { return m_bound; }
    bool IsNull() const { return !m_value.isValid() || m_value.isNull(); }
    const QVariant &Value() const { return m_value; }
    void SetValue(const QVariant &v);   // keeps the data type, or takes one from the value
    void Clear();                       // NULL, still bound
    void Unbind() { m_value = QVariant(); m_bound = false; }

    void SetAsString(const QString &v) { m_dataType = ftString; setRaw(v); }
    void SetAsInteger(qint64 v) { m_dataType = ftInteger; setRaw(v); }
    void SetAsSmallInt(int v) { m_dataType = ftSmallint; setRaw(qint64(v)); }
    void SetAsFloat(double v) { m_dataType = ftFloat; setRaw(v); }
    void SetAsCurrency(double v) { m_dataType = ftCurrency; setRaw(v); }
    void SetAsDate(TDateTime v);
    void SetAsTime(TDateTime v);
    void SetAsDateTime(TDateTime v);
    void SetAsBoolean(bool v) { m_dataType = ftBoolean; setRaw(v); }
    void SetAsMemo(const QString &v) { m_dataType = ftMemo; setRaw(v); }

    QString AsString() const;
    qint64 AsInteger() const { return IsNull() ? 0 : FieldValue::ToInteger(m_value); }
    double AsFloat() const { return IsNull() ? 0 : FieldValue::ToFloat(m_value); }
    TDateTime AsDateTime() const;
    bool AsBoolean() const { return !IsNull() && FieldValue::ToBoolean(m_value); }

    // Name, types and value.
    void Assign(const TParam &other);

private:
    void setRaw(const QVariant &v) { m_value = v; m_bound = true; }

    QString m_name;
    TFieldType m_dataType = ftUnknown;
    TParamType m_paramType = ptInput;
    QVariant m_value;
    bool m_bound = false;
};

// An ordered set of parameters with lookup by name (case-insensitive).
// Copyable: a copy holds its own parameters.
class TParams {
public:
    TParams() = default;
    TParams(const TParams &other) { Assign(other); }
    TParams &operator=(const TParams &other) { if (this != &other) Assign(other); return *this; }

    int Count() const { return int(m_items.size()); }
    TParam &Items(int i) { return *m_items.at(size_t(i)); }
    const TParam &Items(int i) const { return *m_items.at(size_t(i)); }
    TParam &operator[](int i) { return Items(i); }

    TParam *FindParam(const QString &name) const;
    // Raises "Параметр '%s' не найден" when there is none.
    TParam &ParamByName(const QString &name) const;
    TParam &CreateParam(TFieldType type, const QString &name, TParamType paramType = ptInput);
    void Clear() { m_items.clear(); }
    void RemoveParam(const QString &name);

    // Makes this set an exact copy of `other`.
    void Assign(const TParams &other);
    // Gives every parameter of this set the value (and type) of the
    // parameter of the same name in `other`; the others keep theirs.
    void AssignValues(const TParams &other);

private:
    std::vector<std::unique_ptr<TParam>> m_items;
};
