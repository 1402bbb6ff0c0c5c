#include "ReportVar.h"

#include "TokenCodes.h"

#include "common/Limits.h"
#include "common/Exceptions.h"
#include "common/Strings.h"

#include <algorithm>
#include <array>
#include <type_traits>

namespace {

const std::array<QString, 8> &typeNames()
{
    static const std::array<QString, 8> names = {
        QStringLiteral("UNDEFINED"), QStringLiteral("NUMBER"),  QStringLiteral("STRING"),
        QStringLiteral("DATE"),      QStringLiteral("BOOLEAN"), QStringLiteral("MEMO"),
        QStringLiteral("OBJECT"),    QStringLiteral("DISPATCH"),
    };
    return names;
}

[[noreturn]] void typeMismatch(const QString &name, int have, int want)
{
    throw Exception(QStringLiteral("%1: Несоответствие типов данных (%2 и %3)")
                        .arg(name, VarTypeName(have), VarTypeName(want)));
}

// dst := src for implicitly shared values, without a call when both are
// empty (the common case of a number moving between registers) or when dst
// already holds the very same data (a text moving on unchanged); copying a
// shared value costs two atomic reference count updates.
template <class V>
void copyShared(V &dst, const V &src)
{
    if (src.isEmpty()) {
        if (!dst.isEmpty())
            dst = V();
    } else if (dst.constData() != src.constData() || dst.size() != src.size()) {
        dst = src;
    }
}

// copyShared for a source that is not read again: the same value arrives,
// moved rather than shared (the source gets the old value to drop later).
// An old value that is empty is not left in the source: copyShared keeps an
// empty target as it is, so an empty (not null) text left there would come
// through the next store of an empty value into the source, where the
// source's own text, had it only been copied from, would have been replaced
// by a null one.
template <class V>
void moveShared(V &dst, V &src)
{
    if (src.isEmpty()) {
        if (!dst.isEmpty())
            dst = V();
    } else {
        dst.swap(src);
        if (src.isEmpty())
            src = V();
    }
}

// dst := src, copied from a const source, moved from another.
template <class V, class S>
void transfer(V &dst, S &src)
{
    if constexpr (std::is_const_v<S>)
        dst = src;
    else
        dst = std::move(src);
}

// copyShared from a const source, moveShared from another.
template <class V, class S>
void transferShared(V &dst, S &src)
{
    if constexpr (std::is_const_v<S>)
        copyShared(dst, src);
    else
        moveShared(dst, src);
}

template <class V>
bool compareBy(const V &left, const V &right, int op)
{
    switch (op) {
    case tkEqual: return left == right;
    case tkNotEqual: return left != right;
    case tkGreater: return left > right;
    case tkLess: return left < right;
    case tkGreaterEqual: return left >= right;
    case tkLessEqual: return left <= right;
    default: return false;
    }
}

} // namespace

QString VarTypeName(int type)
{
    if (type < 0 || type >= int(typeNames().size()))
        return QString();
    return typeNames()[size_t(type)];
}

// ---------------------------------------------------------------------------

TCustomReportVar::TCustomReportVar(const QString &name, TCustomVarList *owner)
    : m_name(name.toUpper()), m_owner(owner)
{
    if (m_name.isEmpty())
        throw Exception(QStringLiteral("Пустое имя запрещено"));
}

TCustomReportVar::~TCustomReportVar() = default;

QString TCustomReportVar::GetDescription() const
{
    QString result;
    result.reserve(m_description.size());
    for (qsizetype i = 0; i < m_description.size(); ++i) {
        const QChar c = m_description[i];
        if (c == u'-' && i + 1 < m_description.size() && m_description[i + 1] == u'|')
            continue;
        result += (c == u' ' || c == u'|') ? QChar(u'_') : c;
    }
    return result;
}

void TCustomReportVar::CheckType(int type) const
{
    if (type != vtUndefined && m_varType != vtUndefined && m_varType != type)
        typeMismatch(m_name, m_varType, type);
}

void TCustomReportVar::mismatch(int type) const
{
    ::typeMismatch(m_name, m_varType, type);
}

void TCustomReportVar::notApplicable() const
{
    throw Exception(QStringLiteral("%1: Операция неприменима для данного типа данных (%2)")
                        .arg(m_name, VarTypeName(m_varType)));
}

// ---------------------------------------------------------------------------

TReportVar::TReportVar(const QString &name, TCustomVarList *owner)
    : TCustomReportVar(name, owner)
{
}

void TReportVar::SetAsMemo(const QStringList &lines)
{
    checkTypeInline(vtMemo);
    m_varType = vtMemo;
    m_prevMemo = m_memo;
    m_memo = lines;
}

void TReportVar::SetAsObject(TReportObject *object)
{
    checkTypeInline(vtObject);
    m_varType = vtObject;
    m_objectValue = object;
}

TReportObject *TReportVar::GetAsObject() const
{
    checkTypeInline(vtObject);
    return m_objectValue;
}

void TReportVar::SetAsDispatch(TDispatchRef object)
{
    checkTypeInline(vtDispatch);
    m_varType = vtDispatch;
    m_dispValue = std::move(object);
}

TDispatchRef TReportVar::GetAsDispatch() const
{
    checkTypeInline(vtDispatch);
    return m_dispValue;
}

void TReportVar::SetAsString(const QString &value)
{
    checkTypeInline(vtString);
    m_varType = vtString;
    m_prevStr = m_strValue;
    m_strValue = value;
}

void TReportVar::SetAsString(QString &&value)
{
    checkTypeInline(vtString);
    m_varType = vtString;
    m_prevStr.swap(m_strValue);
    dropText(m_strValue);   // the text two stores back
    m_strValue = std::move(value);
}

QString TReportVar::TextBuffer(qsizetype size)
{
    if (m_spare.capacity() < size)
        return QString(size, Qt::Uninitialized);
    QString text = std::move(m_spare);
    // in place, nothing else sharing it; mostly not at all, as a statement
    // makes texts of the same length from record to record
    if (text.size() != size)
        text.resize(size);
    return text;
}

void TReportVar::dropText(QString &text)
{
    if (text.isDetached() && text.capacity() <= MaxSpareCapacity)
        m_spare.swap(text);
    text = QString();
}

QString TReportVar::GetAsString() const
{
    checkTypeInline(vtString);
    return m_strValue;
}

void TReportVar::SetAsDate(TDateTime value)
{
    checkTypeInline(vtDate);
    m_varType = vtDate;
    m_prevNum = m_numValue;
    m_numValue = value;
}

TDateTime TReportVar::GetAsDate() const
{
    checkTypeInline(vtDate);
    return m_numValue;
}

bool TReportVar::Changed() const
{
    switch (m_varType) {
    case vtNumber:
    case vtDate:
        return m_numValue != m_prevNum;
    case vtString:
        return CompareStr(m_strValue, m_prevStr) != 0;
    default:
        return false;
    }
}

template <class Source>
void TReportVar::assignSharedFrom(Source &source)
{
    checkTypeInline(source.m_varType);
    m_prevNum = m_numValue;
    if (&source == this) {
        m_prevStr = m_strValue;
        m_prevMemo = m_memo;
        return;
    }
    // Assign runs for every register move of every expression: the old
    // texts become the previous ones by swapping rather than copying.
    m_prevStr.swap(m_strValue);
    m_prevMemo.swap(m_memo);
    transferShared(m_strValue, source.m_strValue);
    // lists are rare: no call for none (here and in the other place, 140
    // instructions a run of bench_script)
    if (!m_memo.isEmpty() || !source.m_memo.isEmpty())
        transferShared(m_memo, source.m_memo);
    m_varType = source.m_varType;
    m_numValue = source.m_numValue;
    m_boolValue = source.m_boolValue;
    m_objectValue = source.m_objectValue;
    transfer(m_dispValue, source.m_dispValue);
}

void TReportVar::assignShared(const TReportVar &source)
{
    assignSharedFrom(source);
}

void TReportVar::assignTakenShared(TReportVar &source)
{
    assignSharedFrom(source);
}

bool TReportVar::Compare(const TReportVar &other, int op) const
{
    // An UNDEFINED side is looked at as the other side's type, so its zero
    // payload compares as that type's zero value. Only the effective type is
    // computed: neither holder's type changes, also when the comparison fails.
    const int rightType = other.m_varType;
    const int leftType = m_varType == vtUndefined ? rightType : m_varType;
    if (rightType != vtUndefined && leftType != rightType)
        typeMismatch(m_name, leftType, rightType);
    switch (leftType) {
    case vtNumber:
    case vtDate:
        return compareBy(m_numValue, other.m_numValue, op);
    case vtString:
        return compareBy(CompareStr(m_strValue, other.m_strValue), 0, op);
    case vtBoolean:
        return compareBy(int(m_boolValue), int(other.m_boolValue), op);
    default:
        throw Exception(QStringLiteral("%1: Операция неприменима для данного типа данных (%2)")
                            .arg(m_name, VarTypeName(leftType)));
    }
}

void TReportVar::Add(const TReportVar &other)
{
    if (m_varType == vtUndefined)
        m_varType = other.m_varType;
    switch (m_varType) {
    case vtNumber:
        checkTypeInline(other.m_varType);
        SetAsNumber(m_numValue + other.GetAsNumber());
        break;
    case vtString: {
        checkTypeInline(other.m_varType);
        const QString &right = other.StringValue();   // may be this holder's own text
        const qsizetype size = m_strValue.size() + right.size();
        CheckStringLength(size);
        if (m_strValue.isEmpty() || right.isEmpty()) {
            // as operator+ makes it: the other side's text shared, null or
            // empty as it is
            QString sum = m_strValue;
            sum += right;
            SetAsString(std::move(sum));
            break;
        }
        // Written into the spare buffer (TextBuffer): the concatenations
        // of bench_script then allocate nothing, one malloc and one free
        // fewer each.
        QString sum = TextBuffer(size);
        QChar *out = sum.data();
        std::copy_n(m_strValue.constData(), m_strValue.size(), out);
        std::copy_n(right.constData(), right.size(), out + m_strValue.size());
        SetAsString(std::move(sum));
        break;
    }
    case vtDate:
        if (other.m_varType == vtNumber) {
            SetAsDate(m_numValue + other.m_numValue);
        } else {
            // Date plus date is a plain number (the sum of the day numbers).
            m_varType = vtUndefined;
            SetAsNumber(m_numValue + other.GetAsDate());
        }
        break;
    default:
        notApplicable();
    }
}

void TReportVar::Subtract(const TReportVar &other)
{
    if (m_varType == vtUndefined)
        m_varType = other.m_varType;
    switch (m_varType) {
    case vtNumber:
        checkTypeInline(other.m_varType);
        SetAsNumber(m_numValue - other.GetAsNumber());
        break;
    case vtDate:
        if (other.m_varType == vtNumber) {
            SetAsDate(m_numValue - other.m_numValue);
        } else {
            // Date minus date is the difference in days.
            m_varType = vtUndefined;
            SetAsNumber(m_numValue - other.GetAsDate());
        }
        break;
    default:
        notApplicable();
    }
}

void TReportVar::Multiply(const TReportVar &other)
{
    if (m_varType == vtUndefined)
        m_varType = other.m_varType;
    if (m_varType != vtNumber)
        notApplicable();
    checkTypeInline(other.m_varType);
    SetAsNumber(m_numValue * other.GetAsNumber());
}

void TReportVar::Divide(const TReportVar &other)
{
    if (m_varType == vtUndefined)
        m_varType = other.m_varType;
    if (m_varType != vtNumber)
        notApplicable();
    checkTypeInline(other.m_varType);
    const double divisor = other.GetAsNumber();
    if (divisor != 0) {
        SetAsNumber(m_numValue / divisor);
    } else if (m_numValue != 0) {
        throw Exception(QStringLiteral("%1: Деление на 0 (%2)").arg(m_name, VarTypeName(m_varType)));
    } else {
        SetAsNumber(0);
    }
}

void TReportVar::clearShared()
{
    if (!m_strValue.isNull())
        dropText(m_strValue);
    if (!m_memo.isEmpty())
        m_memo.clear();
    if (!m_prevStr.isNull())
        dropText(m_prevStr);
    if (!m_prevMemo.isEmpty())
        m_prevMemo.clear();
    if (m_dispValue)
        m_dispValue.reset();
}

template <class Source>
void TReportVar::assignFreshSharedFrom(Source &source)
{
    if (&source == this) {
        Clear();   // clearing first leaves nothing to take over
        return;
    }
    m_varType = source.m_varType;
    m_numValue = source.m_numValue;
    m_boolValue = source.m_boolValue;
    m_objectValue = source.m_objectValue;
    // a text of this holder's own is replaced either way (`source` is
    // another holder): its buffer is kept
    if (!m_strValue.isEmpty() && m_strValue.isDetached())
        dropText(m_strValue);
    transferShared(m_strValue, source.m_strValue);
    // lists are rare: no call for none (here and in the other place, 140
    // instructions a run of bench_script)
    if (!m_memo.isEmpty() || !source.m_memo.isEmpty())
        transferShared(m_memo, source.m_memo);
    m_prevNum = 0;
    if (!m_prevStr.isNull())
        dropText(m_prevStr);
    if (!m_prevMemo.isEmpty())
        m_prevMemo.clear();
    if (m_dispValue || source.m_dispValue)
        transfer(m_dispValue, source.m_dispValue);
}

void TReportVar::assignFreshShared(const TReportVar &source)
{
    assignFreshSharedFrom(source);
}

void TReportVar::assignFreshTakenShared(TReportVar &source)
{
    assignFreshSharedFrom(source);
}

void TReportVar::takeFreshShared(TReportVar &source)
{
    if (&source == this) {
        Clear();
        return;
    }
    m_varType = source.m_varType;
    m_numValue = source.m_numValue;
    m_boolValue = source.m_boolValue;
    m_objectValue = source.m_objectValue;
    m_strValue = std::move(source.m_strValue);
    m_memo = std::move(source.m_memo);
    m_dispValue = std::move(source.m_dispValue);
    m_prevNum = 0;
    if (!m_prevStr.isNull())
        m_prevStr.clear();
    if (!m_prevMemo.isEmpty())
        m_prevMemo.clear();
    // what the source still holds (its previous values) goes as well
    source.Clear();
}

void TReportVar::assignPoppedShared(const TReportVar &source)
{
    m_varType = source.m_varType;
    m_numValue = source.m_numValue;
    m_boolValue = source.m_boolValue;
    m_objectValue = source.m_objectValue;
    if (source.m_strValue.isEmpty())
        dropText(m_strValue);
    else if (&source != this)
        copyShared(m_strValue, source.m_strValue);
    if (source.m_memo.isEmpty())
        m_memo = QStringList();
    else if (&source != this)
        copyShared(m_memo, source.m_memo);
    if (&source != this && (m_dispValue || source.m_dispValue))
        m_dispValue = source.m_dispValue;
    m_prevNum = 0;
    if (!m_prevStr.isNull())
        dropText(m_prevStr);
    if (!m_prevMemo.isEmpty())
        m_prevMemo.clear();
}

void TReportVar::CopyFrom(const TReportVar &source)
{
    copyShared(m_name, source.m_name);
    m_owner = source.m_owner;
    AssignFresh(source);
}

void TReportVar::takeName(const TReportVar &other)
{
    copyShared(m_name, other.m_name);
}

void TReportVar::TakeFrom(TReportVar &source)
{
    TakeNameOf(source);
    if (&source == this || !m_strValue.isNull() || !m_memo.isEmpty() || !m_prevStr.isNull()
        || !m_prevMemo.isEmpty() || m_dispValue) {
        TakeFresh(source);
        return;
    }
    // An emptied holder (a parameter list's spare) trades its empty texts
    // for the source's; only the source's previous values are left to drop.
    m_varType = source.m_varType;
    m_numValue = source.m_numValue;
    m_boolValue = source.m_boolValue;
    m_objectValue = source.m_objectValue;
    m_prevNum = 0;
    if (!source.m_strValue.isEmpty())
        m_strValue.swap(source.m_strValue);   // an empty text stays null here, as in TakeFresh
    else if (!source.m_strValue.isNull())
        source.m_strValue.clear();
    if (!source.m_memo.isEmpty())
        m_memo.swap(source.m_memo);
    if (source.m_dispValue)
        m_dispValue = std::move(source.m_dispValue);
    source.m_varType = vtUndefined;
    source.m_numValue = 0;
    source.m_boolValue = false;
    source.m_objectValue = nullptr;
    source.m_prevNum = 0;
    if (!source.m_prevStr.isNull())
        source.m_prevStr.clear();
    if (!source.m_prevMemo.isEmpty())
        source.m_prevMemo.clear();
}
