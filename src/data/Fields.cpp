#include "Fields.h"

#include "DataSet.h"

#include "common/Convert.h"
#include "common/Format.h"
#include "common/FormatSettings.h"

#include <cmath>

bool IsNumericType(TFieldType t)
{
    switch (t) {
    case ftSmallint: case ftInteger: case ftWord: case ftFloat: case ftCurrency: case ftBCD:
    case ftAutoInc:
        return true;
    default:
        return false;
    }
}

bool IsBlobType(TFieldType t)
{
    return t == ftBlob || t == ftMemo || t == ftGraphic;
}

QString FieldTypeName(TFieldType t)
{
    static const char *names[] = {"Unknown", "String", "SmallInt", "Integer", "Word", "Boolean",
                                  "Float", "Currency", "BCD", "Date", "Time", "DateTime", "Bytes",
                                  "VarBytes", "AutoInc", "Blob", "Memo", "Graphic"};
    return QString::fromLatin1(names[t]);
}

namespace FieldValue {

// Reads `count` digits at `pos`; -1 when one is missing.
static int digits(QStringView s, qsizetype pos, int count)
{
    if (pos + count > s.size())
        return -1;
    int n = 0;
    for (int i = 0; i < count; ++i) {
        const char16_t c = s[pos + i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        n = n * 10 + (c - u'0');
    }
    return n;
}

// hh:mm[:ss[.z...]] at `pos`, up to the end or a zone suffix.
static bool parseIsoTime(QStringView s, qsizetype pos, TDateTime &result)
{
    const int h = digits(s, pos, 2);
    const int m = pos + 2 < s.size() && s[pos + 2] == u':' ? digits(s, pos + 3, 2) : -1;
    if (h < 0 || m < 0 || h > 23 || m > 59)
        return false;
    int sec = 0, ms = 0;
    pos += 5;
    if (pos < s.size() && s[pos] == u':') {
        sec = digits(s, pos + 1, 2);
        if (sec < 0 || sec > 59)
            return false;
        pos += 3;
        if (pos < s.size() && (s[pos] == u'.' || s[pos] == u',')) {
            int scale = 100;
            for (++pos; pos < s.size() && s[pos].isDigit(); ++pos, scale /= 10)
                ms += (s[pos].unicode() - u'0') * scale;
        }
    }
    while (pos < s.size() && s[pos] == u' ')
        ++pos;
    if (pos < s.size() && s[pos] != u'Z' && s[pos] != u'+' && s[pos] != u'-')
        return false;
    result = (h * 3600000.0 + m * 60000.0 + sec * 1000.0 + ms) / MSecsPerDay;
    return true;
}

// QVariant::typeId() without the call into the library.
static inline int typeOf(const QVariant &v)
{
    return v.data_ptr().type().id();
}

// QVariant's isValid() || isNull() without the call into the library for
// the values rows hold: for types that are no pointers, a variant is null
// exactly when its own null flag is set.
static inline bool isNullValue(const QVariant &v)
{
    const QVariant::Private &d = v.data_ptr();
    const QMetaType type = d.type();
    if (!type.isValid())
        return true;
    if (type.flags() & QMetaType::IsPointer)
        return v.isNull();
    return d.is_null;
}

// The text a variant of type QString holds, read in place: what
// QVariant::toString gives without its conversion machinery and a copy.
static const QString &textOf(const QVariant &v)
{
    return *static_cast<const QString *>(v.constData());
}

// "yyyy-mm-dd", "yyyy-mm-dd hh:mm[:ss[.zzz]]" (or with "T"), "hh:mm[:ss]".
static bool parseIsoText(const QString &text, TDateTime &result)
{
    QStringView s = QStringView(text).trimmed();
    if (s.size() >= 5 && s[2] == u':')
        return parseIsoTime(s, 0, result);
    if (s.size() < 10 || s[4] != u'-' || s[7] != u'-')
        return false;
    const int y = digits(s, 0, 4), mo = digits(s, 5, 2), d = digits(s, 8, 2);
    if (y < 0 || mo < 0 || d < 0 || !TryEncodeDate(y, mo, d, result))
        return false;
    if (s.size() == 10)
        return true;
    if (s[10] != u' ' && s[10] != u'T')
        return false;
    TDateTime time = 0;
    if (!parseIsoTime(s, 11, time))
        return false;
    result += time;
    return true;
}

bool ToDateTime(const QVariant &v, TDateTime &result)
{
    switch (typeOf(v)) {
    case QMetaType::QDate: result = QDateToDateTime(v.toDate()); return v.toDate().isValid();
    case QMetaType::QTime: result = QTimeToDateTime(v.toTime()); return v.toTime().isValid();
    case QMetaType::QDateTime: {
        const QDateTime dt = v.toDateTime();
        if (!dt.isValid()) return false;
        result = QDateToDateTime(dt.date()) + QTimeToDateTime(dt.time());
        return true;
    }
    case QMetaType::QString: return parseIsoText(textOf(v), result);
    case QMetaType::Double: case QMetaType::Int: case QMetaType::LongLong:
        result = v.toDouble();
        return true;
    default:
        return false;
    }
}

double ToFloat(const QVariant &v)
{
    switch (typeOf(v)) {
    // what QVariant::toDouble gives, read in place
    case QMetaType::Double: return *static_cast<const double *>(v.constData());
    case QMetaType::LongLong: return double(*static_cast<const qint64 *>(v.constData()));
    case QMetaType::Int: return double(*static_cast<const int *>(v.constData()));
    case QMetaType::QString: {
        const QString s = v.toString().trimmed();
        bool ok = false;
        const double d = s.toDouble(&ok);   // the engines write "." decimals
        return ok ? d : StrToFloat(s);
    }
    case QMetaType::QDate: case QMetaType::QTime: case QMetaType::QDateTime: {
        TDateTime dt = 0;
        ToDateTime(v, dt);
        return dt;
    }
    default:
        return v.toDouble();
    }
}

qint64 ToInteger(const QVariant &v)
{
    switch (typeOf(v)) {
    case QMetaType::LongLong: return *static_cast<const qint64 *>(v.constData());
    case QMetaType::Double: return qint64(std::llround(v.toDouble()));
    case QMetaType::QString: {
        const QString s = v.toString().trimmed();
        bool ok = false;
        const qint64 n = s.toLongLong(&ok);
        return ok ? n : qint64(std::llround(ToFloat(v)));
    }
    default:
        return v.toLongLong();
    }
}

bool ToBoolean(const QVariant &v)
{
    if (typeOf(v) == QMetaType::QString) {
        const QString s = v.toString().trimmed().toUpper();
        return s == u"TRUE" || s == u"T" || s == u"1" || s == u"Y" || s == u"YES" || s == u"Д" || s == u"ДА";
    }
    return v.toBool();
}

QVariant Normalize(const QVariant &v, TFieldType type)
{
    if (FieldValue::isNullValue(v))
        return QVariant();
    switch (type) {
    case ftString: case ftMemo:
        return v.toString();
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc:
        return QVariant(ToInteger(v));
    case ftFloat: case ftCurrency:
        return QVariant(ToFloat(v));
    case ftBCD:
        return typeOf(v) == QMetaType::QString ? v : QVariant(ToFloat(v));
    case ftBoolean:
        return QVariant(ToBoolean(v));
    case ftDate: case ftTime: case ftDateTime: {
        TDateTime dt = 0;
        if (!ToDateTime(v, dt))
            throw EConvertError(Format(QStringLiteral("'%s' - неверная дата"), {v.toString()}));
        if (type == ftDate) return DateTimeToQDate(dt);
        if (type == ftTime) return DateTimeToQTime(dt);
        return DateTimeToQDateTime(dt);
    }
    default:
        return v;
    }
}

} // namespace FieldValue

TField::TField(TDataSet *dataSet, const QString &name, TFieldType type, int size)
    : m_dataSet(dataSet), m_name(name), m_type(type), m_size(size)
{
}

TField::~TField() = default;

void TField::layoutChanged()
{
    if (m_dataSet)
        m_dataSet->DataEvent(deLayoutChange, this);
}

void TField::SetDisplayLabel(const QString &s) { m_label = s; layoutChanged(); }
void TField::SetDisplayWidth(int w) { m_displayWidth = w; layoutChanged(); }
void TField::SetAlignment(TAlignment a) { m_alignment = a; layoutChanged(); }
void TField::SetVisible(bool v) { m_visible = v; layoutChanged(); }
void TField::SetDisplayFormat(const QString &f) { m_displayFormat = f; layoutChanged(); }
void TField::SetCurrency(bool v) { m_currency = v; layoutChanged(); }

TNumericField::TNumericField(TDataSet *d, const QString &n, TFieldType t, int s)
    : TField(d, n, t, s)
{
    SetAlignment(taRightJustify);
}

TCurrencyField::TCurrencyField(TDataSet *d, const QString &n, TFieldType t, int s)
    : TFloatField(d, n, t, s)
{
    SetCurrency(true);
}

std::unique_ptr<TField> CreateField(TDataSet *ds, const QString &name, TFieldType type, int size)
{
    switch (type) {
    case ftString: return std::make_unique<TStringField>(ds, name, type, size);
    case ftSmallint: return std::make_unique<TSmallintField>(ds, name, type, size);
    case ftInteger: return std::make_unique<TIntegerField>(ds, name, type, size);
    case ftWord: return std::make_unique<TWordField>(ds, name, type, size);
    case ftAutoInc: return std::make_unique<TAutoIncField>(ds, name, type, size);
    case ftFloat: return std::make_unique<TFloatField>(ds, name, type, size);
    case ftCurrency: return std::make_unique<TCurrencyField>(ds, name, type, size);
    case ftBCD: return std::make_unique<TBCDField>(ds, name, type, size);
    case ftBoolean: return std::make_unique<TBooleanField>(ds, name, type, size);
    case ftDate: return std::make_unique<TDateField>(ds, name, type, size);
    case ftTime: return std::make_unique<TTimeField>(ds, name, type, size);
    case ftDateTime: return std::make_unique<TDateTimeField>(ds, name, type, size);
    case ftBytes: return std::make_unique<TBytesField>(ds, name, type, size);
    case ftVarBytes: return std::make_unique<TVarBytesField>(ds, name, type, size);
    case ftBlob: return std::make_unique<TBlobField>(ds, name, type, size);
    case ftMemo: return std::make_unique<TMemoField>(ds, name, type, size);
    case ftGraphic: return std::make_unique<TGraphicField>(ds, name, type, size);
    default: return std::make_unique<TField>(ds, name, type, size);
    }
}

int TField::DataSize() const
{
    switch (m_type) {
    case ftString: return m_size + 1;
    case ftSmallint: case ftWord: case ftBoolean: return 2;
    case ftInteger: case ftAutoInc: case ftDate: case ftTime: return 4;
    case ftFloat: case ftCurrency: case ftDateTime: return 8;
    case ftBCD: return 34;
    case ftBytes: case ftVarBytes: return m_size;
    default: return 0;
    }
}

int TField::DisplayWidth() const
{
    if (m_displayWidth >= 0)
        return m_displayWidth;
    switch (m_type) {
    case ftString: return m_size > 0 ? m_size : 30;   // unbounded text: its start
    case ftSmallint: return 6;
    case ftWord: return 5;
    case ftInteger: case ftAutoInc: return m_precision > 10 ? 20 : 11;   // 64-bit integers
    case ftFloat: case ftCurrency: case ftBCD:
        // a decimal of known digits: them all, its point and a sign
        return m_precision > 8 ? m_precision + (m_scale > 0 ? 1 : 0) + 1 : 10;
    case ftBoolean: return 5;
    case ftDate: return 10;
    case ftTime: return 8;
    case ftDateTime: return 18;
    default: return 10;
    }
}

bool TField::CanModify() const
{
    return !m_readOnly && m_kind == fkData && m_dataSet && m_dataSet->CanModify();
}

bool TField::IsNull() const
{
    const QVariant &v = m_dataSet->CurrentValue(m_column);
    return FieldValue::isNullValue(v);
}

QVariant TField::Value() const
{
    const QVariant &v = m_dataSet->CurrentValue(m_column);
    if (FieldValue::isNullValue(v))
        return QVariant();
    return FieldValue::Normalize(v, m_type);
}

QString TField::formatNumber(const QVariant &v) const
{
    if (!m_displayFormat.isEmpty())
        return FormatFloat(m_displayFormat, FieldValue::ToFloat(v));
    // an exact decimal is written from its own digits
    const bool text = FieldValue::typeOf(v) == QMetaType::QString && IsDecimalText(FieldValue::textOf(v));
    if (m_currency)
        return text ? FormatDecimalText(FieldValue::textOf(v), FormatSettings().CurrencyDecimals, true)
                    : FloatToStrF(FieldValue::ToFloat(v), TFloatFormat::ffCurrency, 15, FormatSettings().CurrencyDecimals);
    if (m_scale > 0)
        return text ? FormatDecimalText(FieldValue::textOf(v), m_scale, false)
                    : FloatToStrF(FieldValue::ToFloat(v), TFloatFormat::ffFixed, 18, m_scale);
    if (text)
        return FormatDecimalText(FieldValue::textOf(v), -1, false);
    return FloatToStr(FieldValue::ToFloat(v));
}

QString TField::AsString() const
{
    return AsStringOf(m_dataSet->CurrentValue(m_column));
}

QString TField::AsStringOf(const QVariant &v) const
{
    if (FieldValue::isNullValue(v))
        return QString();
    switch (m_type) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc:
        return QString::number(FieldValue::ToInteger(v));
    case ftFloat: case ftCurrency: case ftBCD:
        // an exact decimal as the engine wrote it
        if (FieldValue::typeOf(v) == QMetaType::QString && IsDecimalText(FieldValue::textOf(v)))
            return FieldValue::textOf(v);
        return FloatToStr(FieldValue::ToFloat(v));
    case ftBoolean:
        return FieldValue::ToBoolean(v) ? QStringLiteral("True") : QStringLiteral("False");
    case ftDate: case ftTime: case ftDateTime: {
        TDateTime dt = 0;
        if (!FieldValue::ToDateTime(v, dt))
            return v.toString();   // a text that is no date is shown as stored
        if (m_type == ftDate) return DateToStr(dt);
        if (m_type == ftTime) return TimeToStr(dt);
        return DateTimeToStr(dt);
    }
    case ftBlob: case ftGraphic: case ftBytes: case ftVarBytes:
        if (FieldValue::typeOf(v) == QMetaType::QByteArray)
            return QString::fromLatin1(v.toByteArray());
        return v.toString();
    default:
        // most text columns hold a QString: no conversion to go through
        return FieldValue::typeOf(v) == QMetaType::QString ? FieldValue::textOf(v) : v.toString();
    }
}

QString TField::DisplayText() const
{
    return DisplayTextOf(m_dataSet->CurrentValue(m_column));
}

QString TField::DisplayTextOf(const QVariant &v) const
{
    const bool null = FieldValue::isNullValue(v);
    switch (m_type) {
    case ftMemo: return null ? QStringLiteral("(memo)") : QStringLiteral("(MEMO)");
    case ftBlob: return null ? QStringLiteral("(blob)") : QStringLiteral("(BLOB)");
    case ftGraphic: return null ? QStringLiteral("(graphic)") : QStringLiteral("(GRAPHIC)");
    default: break;
    }
    if (null)
        return QString();
    switch (m_type) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc:
        if (!m_displayFormat.isEmpty())
            return FormatFloat(m_displayFormat, double(FieldValue::ToInteger(v)));
        return AsStringOf(v);
    case ftFloat: case ftCurrency: case ftBCD:
        return formatNumber(v);
    case ftBoolean:
        return FieldValue::ToBoolean(v) ? QStringLiteral("Да") : QStringLiteral("Нет");
    case ftDate: case ftTime: case ftDateTime: {
        TDateTime dt = 0;
        if (!m_displayFormat.isEmpty() && FieldValue::ToDateTime(v, dt))
            return FormatDateTime(m_displayFormat, dt);
        return AsStringOf(v);
    }
    default:
        return AsStringOf(v);
    }
}

qint64 TField::AsInteger() const
{
    const QVariant &v = m_dataSet->CurrentValue(m_column);
    return FieldValue::isNullValue(v) ? 0 : FieldValue::ToInteger(v);
}

double TField::AsFloat() const
{
    return AsFloatOf(m_dataSet->CurrentValue(m_column));
}

double TField::AsFloatOf(const QVariant &v) const
{
    return FieldValue::isNullValue(v) ? 0.0 : FieldValue::ToFloat(v);
}

TDateTime TField::AsDateTime() const
{
    return AsDateTimeOf(m_dataSet->CurrentValue(m_column));
}

TDateTime TField::AsDateTimeOf(const QVariant &v) const
{
    if (FieldValue::isNullValue(v))
        return 0;
    TDateTime dt = 0;
    if (!FieldValue::ToDateTime(v, dt))
        throw EConvertError(Format(QStringLiteral("'%s' - неверная дата"), {v.toString()}));
    return dt;
}

bool TField::AsBoolean() const
{
    return AsBooleanOf(m_dataSet->CurrentValue(m_column));
}

bool TField::AsBooleanOf(const QVariant &v) const
{
    return !FieldValue::isNullValue(v) && FieldValue::ToBoolean(v);
}

void TField::SetValue(const QVariant &v)
{
    m_dataSet->SetFieldValue(this, FieldValue::Normalize(v, m_type));
}

void TField::SetAsString(const QString &s)
{
    if (s.isEmpty() && m_type != ftString && m_type != ftMemo) {
        Clear();
        return;
    }
    switch (m_type) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc:
        SetValue(QVariant(StrToInt64(s.trimmed())));
        break;
    case ftFloat: case ftCurrency: case ftBCD:
        if (m_exact)
            m_dataSet->SetFieldValue(this, QVariant(StrToDecimalText(s)));   // exactly as typed
        else
            SetValue(QVariant(StrToFloat(s.trimmed())));
        break;
    case ftBoolean:
        SetValue(QVariant(FieldValue::ToBoolean(QVariant(s))));
        break;
    case ftDate: SetAsDateTime(StrToDate(s)); break;
    case ftTime: SetAsDateTime(StrToTime(s)); break;
    case ftDateTime: SetAsDateTime(StrToDateTime(s)); break;
    default: SetValue(s); break;
    }
}

void TField::SetAsDateTime(TDateTime v)
{
    switch (m_type) {
    case ftDate: SetValue(DateTimeToQDate(v)); break;
    case ftTime: SetValue(DateTimeToQTime(v)); break;
    case ftDateTime: SetValue(DateTimeToQDateTime(v)); break;
    case ftString: case ftMemo: SetValue(DateTimeToStr(v)); break;
    default: SetValue(QVariant(double(v))); break;
    }
}

// One section of a number picture.
static QString formatSection(const QString &pic, double value)
{
    int point = int(pic.indexOf(u'.'));
    int decimalsMin = 0, decimalsMax = 0;
    bool thousands = false;
    int firstDigit = -1, lastDigit = -1;
    bool percent = false;
    for (int i = 0; i < pic.size(); ++i) {
        const QChar c = pic[i];
        if (c == u'0' || c == u'#') {
            if (firstDigit < 0) firstDigit = i;
            lastDigit = i;
            if (point >= 0 && i > point) {
                ++decimalsMax;
                if (c == u'0') decimalsMin = decimalsMax;
            }
        } else if (c == u',') {
            thousands = true;
        } else if (c == u'%') {
            percent = true;
        }
    }
    if (firstDigit < 0)
        return pic;
    if (percent)
        value *= 100;
    int intZeros = 0;
    for (int i = firstDigit; i <= lastDigit && (point < 0 || i < point); ++i)
        if (pic[i] == u'0') ++intZeros;
    QString digits = QString::number(std::fabs(value), 'f', decimalsMax);
    QString intPart = digits.section(u'.', 0, 0);
    QString frac = digits.section(u'.', 1);
    while (frac.size() > decimalsMin && frac.endsWith(u'0'))
        frac.chop(1);
    if (intPart == u"0" && intZeros == 0)
        intPart.clear();
    while (intPart.size() < intZeros)
        intPart.prepend(u'0');
    const TFormatSettings &fs = FormatSettings();
    if (thousands)
        for (int i = int(intPart.size()) - 3; i > 0; i -= 3)
            intPart.insert(i, fs.ThousandSeparator);
    QString number = intPart;
    if (!frac.isEmpty())
        number += fs.DecimalSeparator + frac;
    QString out = pic.left(firstDigit);
    out.remove(u',');
    QString tail = pic.mid(lastDigit + 1);
    tail.remove(u',');
    return out + number + tail;
}

QString FormatFloat(const QString &picture, double value)
{
    const QStringList sections = picture.split(u';');
    if (value < 0 && sections.size() > 1)
        return formatSection(sections[1], -value);
    if (value == 0 && sections.size() > 2)
        return formatSection(sections[2], value);
    QString s = formatSection(sections[0], value);
    if (value < 0 && s != formatSection(sections[0], 0))
        s.prepend(u'-');
    return s;
}
