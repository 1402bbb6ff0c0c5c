#pragma once

#include "common/DateTime.h"
#include "common/Exceptions.h"

#include <memory>

#include <QString>
#include <QVariant>

class TDataSet;

// Data types of fields and parameters.
enum TFieldType {
    ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency,
    ftBCD, ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo,
    ftGraphic
};

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TFieldKind { fkData, fkCalculated, fkLookup };

// True for the types whose values are numbers.
bool IsNumericType(TFieldType t);
// True for memo, blob and graphic.
bool IsBlobType(TFieldType t);
// The English name of a type ("String", "Integer", ...), for messages.
QString FieldTypeName(TFieldType t);

// Value conversions shared by fields and parameters. A value is whatever the
// engine handed over: a number, a text, a date (QDate/QTime/QDateTime), or a
// date stored as text "yyyy-mm-dd" / "yyyy-mm-dd hh:nn:ss".
namespace FieldValue {
// Reads a date, time or date-time value; false when `v` holds none.
bool ToDateTime(const QVariant &v, TDateTime &result);
double ToFloat(const QVariant &v);   // raises EConvertError on a bad text
qint64 ToInteger(const QVariant &v); // likewise
bool ToBoolean(const QVariant &v);
// The value in the engine-neutral form stored for `type`: numbers as
// qint64/double, dates as QDate/QTime/QDateTime, texts as QString.
QVariant Normalize(const QVariant &v, TFieldType type);
}

// A column of a dataset. The value lives in the dataset's current record (or
// its edit buffer); the field reads and writes it there. A change of the
// field's look (label, width, alignment, visibility, format, currency)
// tells the dataset's data sources a layout change.
class TField {
public:
    TField(TDataSet *dataSet, const QString &name, TFieldType type, int size);
    virtual ~TField();
    TField(const TField &) = delete;
    TField &operator=(const TField &) = delete;

    TDataSet *DataSet() const { return m_dataSet; }
    const QString &FieldName() const { return m_name; }
    TFieldType DataType() const { return m_type; }
    int Size() const { return m_size; }
    int Index() const { return m_index; }        // 0-based position among the fields
    int FieldNo() const { return m_index + 1; }
    TFieldKind FieldKind() const { return m_kind; }
    void SetFieldKind(TFieldKind k) { m_kind = k; }

    // Physical description: precision (total digits, or the declared length)
    // and scale (decimals) as the engine reports them.
    int Precision() const { return m_precision; }
    int Scale() const { return m_scale; }
    void SetPrecision(int p) { m_precision = p; }
    void SetScale(int s) { m_scale = s; }
    // Size in bytes of the value in binary form.
    int DataSize() const;

    QString DisplayLabel() const { return m_label.isEmpty() ? m_name : m_label; }
    void SetDisplayLabel(const QString &s);
    QString DisplayName() const { return DisplayLabel(); }
    int DisplayWidth() const;
    void SetDisplayWidth(int w);
    TAlignment Alignment() const { return m_alignment; }
    void SetAlignment(TAlignment a);
    bool Visible() const { return m_visible; }
    void SetVisible(bool v);
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool v) { m_readOnly = v; }
    bool Required() const { return m_required; }
    void SetRequired(bool v) { m_required = v; }
    const QString &DisplayFormat() const { return m_displayFormat; }
    void SetDisplayFormat(const QString &f);
    const QString &EditFormat() const { return m_editFormat; }
    void SetEditFormat(const QString &f) { m_editFormat = f; }
    // A decimal column that keeps its values exactly (numeric, decimal):
    // values stay the engine's decimal text, are shown with the column's
    // decimals and typed values are kept as text, never passing through a
    // double on their way to the database.
    bool ExactDecimal() const { return m_exact; }
    // The engine's own name of the column's type (TColumnDesc::DeclaredType).
    const QString &DeclaredType() const { return m_declaredType; }
    // Float fields: show the value as an amount of money.
    bool Currency() const { return m_currency; }
    void SetCurrency(bool v);
    // True when the field can take a value now (its dataset can be modified
    // and the field is not read-only).
    bool CanModify() const;

    bool IsNull() const;
    QVariant Value() const;              // null variant for SQL NULL
    QString AsString() const;
    // Formatted for a grid or a label: numbers with their decimals,
    // Booleans as "Да"/"Нет", a memo as "(MEMO)" ("(memo)" when NULL);
    // NULL is an empty text (the grid draws its own mark for it).
    QString DisplayText() const;
    // The same for any value of the field's column (a grid's other rows).
    QString AsStringOf(const QVariant &v) const;
    QString DisplayTextOf(const QVariant &v) const;
    double AsFloatOf(const QVariant &v) const;
    TDateTime AsDateTimeOf(const QVariant &v) const;
    bool AsBooleanOf(const QVariant &v) const;
    // This field's value among a record's values (TDataSet::CurrentValues).
    const QVariant &ValueIn(const QVariant *values) const { return values[m_column]; }
    QString Text() const { return AsString(); }
    qint64 AsInteger() const;
    double AsFloat() const;
    TDateTime AsDateTime() const;
    bool AsBoolean() const;

    void SetValue(const QVariant &v);
    void SetAsString(const QString &s);  // an empty text stores NULL for non-string fields
    void SetAsInteger(qint64 v) { SetValue(QVariant(v)); }
    void SetAsFloat(double v) { SetValue(QVariant(v)); }
    void SetAsDateTime(TDateTime v);
    void SetAsBoolean(bool v) { SetValue(QVariant(v)); }
    void Clear() { SetValue(QVariant()); }

private:
    friend class TDataSet;
    QString formatNumber(const QVariant &v) const;
    void layoutChanged();

    TDataSet *m_dataSet;
    QString m_name;
    TFieldType m_type;
    int m_size;
    int m_index = 0;
    int m_column = 0;     // index of the value in the dataset's record
    int m_precision = 0;
    int m_scale = 0;
    TFieldKind m_kind = fkData;
    QString m_label;
    int m_displayWidth = -1;
    TAlignment m_alignment = taLeftJustify;
    bool m_visible = true;
    bool m_readOnly = false;
    bool m_required = false;
    bool m_currency = false;
    bool m_exact = false;
    QString m_declaredType;
    QString m_displayFormat;
    QString m_editFormat;
};

// The typed kinds. They differ in defaults (alignment, width, currency) and
// let callers test the kind of a field with dynamic_cast.
class TStringField : public TField { public: using TField::TField; };
class TNumericField : public TField { public: TNumericField(TDataSet *d, const QString &n, TFieldType t, int s); };
class TIntegerField : public TNumericField { public: using TNumericField::TNumericField; };
class TSmallintField : public TIntegerField { public: using TIntegerField::TIntegerField; };
class TWordField : public TIntegerField { public: using TIntegerField::TIntegerField; };
class TAutoIncField : public TIntegerField { public: using TIntegerField::TIntegerField; };
class TFloatField : public TNumericField { public: using TNumericField::TNumericField; };
class TCurrencyField : public TFloatField { public: TCurrencyField(TDataSet *d, const QString &n, TFieldType t, int s); };
class TBCDField : public TNumericField { public: using TNumericField::TNumericField; };
class TBooleanField : public TField { public: using TField::TField; };
class TDateTimeField : public TField { public: using TField::TField; };
class TDateField : public TDateTimeField { public: using TDateTimeField::TDateTimeField; };
class TTimeField : public TDateTimeField { public: using TDateTimeField::TDateTimeField; };
class TBytesField : public TField { public: using TField::TField; };
class TVarBytesField : public TBytesField { public: using TBytesField::TBytesField; };
class TBlobField : public TField { public: using TField::TField; };
class TMemoField : public TBlobField { public: using TBlobField::TBlobField; };
class TGraphicField : public TBlobField { public: using TBlobField::TBlobField; };

// Creates the field class that belongs to `type`.
std::unique_ptr<TField> CreateField(TDataSet *dataSet, const QString &name, TFieldType type, int size);

// Formats a number by a picture such as "#,##0.00", "0.000" or "0%":
// digits after the decimal point fix the decimals ("0" always shown, "#"
// only when not zero), a "," asks for thousands separators, other
// characters are copied. Sections for negative and zero values may follow
// after ";".
QString FormatFloat(const QString &picture, double value);
