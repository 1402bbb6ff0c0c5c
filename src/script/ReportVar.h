#pragma once

#include "DispatchObject.h"
#include "ReportObject.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

class TCustomVarList;
class TReportVar;

// The type of a value holder. The type is fixed by the first typed store.
enum TVarType : quint8 {
    vtUndefined = 0,   // no value yet; every payload reads as zero or empty
    vtNumber = 1,      // double
    vtString = 2,      // text
    vtDate = 3,        // day number, day 0 = 30 December 1899
    vtBoolean = 4,
    vtMemo = 5,        // list of text lines
    vtObject = 6,      // a run-time object, not owned
    vtDispatch = 7,    // a counted automation reference
};

// The name of a type code as messages show it ("UNDEFINED", "NUMBER", ...);
// an unknown code gives an empty text.
QString VarTypeName(int type);

// A named value holder: the type, the name (upper-cased, never empty), the
// list that created it and a description for the variable browser. The value
// operations are declared here and implemented by TReportVar.
class TCustomReportVar {
public:
    // Raises "Пустое имя запрещено" for an empty name.
    TCustomReportVar(const QString &name, TCustomVarList *owner);
    TCustomReportVar(const TCustomReportVar &) = delete;
    TCustomReportVar &operator=(const TCustomReportVar &) = delete;
    virtual ~TCustomReportVar();

    quint8 VarType() const { return m_varType; }
    const QString &Name() const { return m_name; }
    TCustomVarList *Owner() const { return m_owner; }
    const QString &Description() const { return m_description; }
    void SetDescription(const QString &description) { m_description = description; }

    // The description fit for a column header: blanks and "|" become "_",
    // a "-" right before a "|" is dropped.
    virtual QString GetDescription() const;
    virtual void SetAsMemo(const QStringList &lines) = 0;
    virtual QStringList &GetAsMemo() = 0;
    virtual void SetAsObject(TReportObject *object) = 0;
    virtual TReportObject *GetAsObject() const = 0;
    virtual void SetAsDispatch(TDispatchRef object) = 0;
    virtual TDispatchRef GetAsDispatch() const = 0;
    virtual void SetAsString(const QString &value) = 0;
    virtual QString GetAsString() const = 0;
    virtual void SetAsNumber(double value) = 0;
    virtual double GetAsNumber() const = 0;
    virtual void SetAsDate(TDateTime value) = 0;
    virtual TDateTime GetAsDate() const = 0;
    virtual void SetAsBoolean(bool value) = 0;
    virtual bool GetAsBoolean() const = 0;
    virtual bool Changed() const = 0;
    virtual void Assign(const TReportVar &source) = 0;
    virtual bool Compare(const TReportVar &other, int op) const = 0;
    virtual void Add(const TReportVar &other) = 0;
    virtual void Subtract(const TReportVar &other) = 0;
    virtual void Multiply(const TReportVar &other) = 0;
    virtual void Divide(const TReportVar &other) = 0;
    virtual void Clear() = 0;
    // Raises "%s: Несоответствие типов данных (%s и %s)" when both this
    // holder's type and `type` are defined and differ.
    virtual void CheckType(int type) const;

protected:
    [[noreturn]] void notApplicable() const;
    // CheckType's test, inline for the value operations of every command.
    void checkTypeInline(int type) const
    {
        if (type != vtUndefined && m_varType != vtUndefined && m_varType != type)
            mismatch(type);
    }
    [[noreturn]] void mismatch(int type) const;

    quint8 m_varType = vtUndefined;
    QString m_name;
    TCustomVarList *m_owner;
    QString m_description;
};

// The value holder of the script language: variables, the registers "@A" and
// "@B", argument copies, results and value-stack entries. It remembers the
// number, string and memo it held before the last store, for OldStr,
// OldDate and OldExt and for the group-break test.
class TReportVar final : public TCustomReportVar {
public:
    TReportVar(const QString &name, TCustomVarList *owner);

    void SetAsMemo(const QStringList &lines) override;
    // The holder's own line list (not a copy), without a type check.
    QStringList &GetAsMemo() override { return m_memo; }
    const QStringList &GetAsMemo() const { return m_memo; }
    void SetAsObject(TReportObject *object) override;
    TReportObject *GetAsObject() const override;
    void SetAsDispatch(TDispatchRef object) override;
    TDispatchRef GetAsDispatch() const override;
    void SetAsString(const QString &value) override;
    // Takes a text made for this holder without another reference to it.
    void SetAsString(QString &&value);
    // A text of `size` (> 0) characters for a text result of this holder,
    // to be written over by the caller and handed back through
    // SetAsString(QString &&): the holder's spare buffer when it is large
    // enough, else a new text. The spare is a text this holder dropped
    // while nothing else shared it (a value replaced, a holder cleared), so
    // that a result that fits is written without an allocation and without
    // a free of the text it replaces: in a detail script the texts of Copy,
    // UpCase and "+" cycle through the same few buffers from record to
    // record.
    QString TextBuffer(qsizetype size);
    QString GetAsString() const override;
    // The text itself rather than a copy, with the same type check.
    const QString &StringValue() const
    {
        checkTypeInline(vtString);
        return m_strValue;
    }
    void SetAsNumber(double value) override
    {
        checkTypeInline(vtNumber);
        m_varType = vtNumber;
        m_prevNum = m_numValue;
        m_numValue = value;
    }
    double GetAsNumber() const override
    {
        checkTypeInline(vtNumber);
        return m_numValue;
    }
    void SetAsDate(TDateTime value) override;
    TDateTime GetAsDate() const override;
    void SetAsBoolean(bool value) override
    {
        checkTypeInline(vtBoolean);
        m_varType = vtBoolean;
        m_boolValue = value;
    }
    bool GetAsBoolean() const override
    {
        checkTypeInline(vtBoolean);
        return m_boolValue;
    }

    // NUMBER and DATE: the number differs from the previous one; STRING: the
    // text differs; other types: false.
    bool Changed() const override;
    // Takes the source's type and value; the old value becomes the previous
    // one. Raises the type mismatch when both types are defined and differ.
    void Assign(const TReportVar &source) override
    {
        // most stores carry a number between holders without any text, list
        // or automation reference: the previous text and list stay empty
        if (&source != this && m_strValue.isNull() && m_memo.isEmpty() && m_prevStr.isNull()
            && m_prevMemo.isEmpty() && !m_dispValue && source.m_strValue.isEmpty()
            && source.m_memo.isEmpty() && !source.m_dispValue) {
            checkTypeInline(source.m_varType);
            m_prevNum = m_numValue;
            m_varType = source.m_varType;
            m_numValue = source.m_numValue;
            m_boolValue = source.m_boolValue;
            m_objectValue = source.m_objectValue;
            return;
        }
        assignShared(source);
    }
    // This holder `op` other, `op` being a comparison token code ("=" ...
    // "<="). An UNDEFINED side compares as the zero value of the other side's
    // type. Neither holder changes.
    bool Compare(const TReportVar &other, int op) const override;
    // Arithmetic on this holder (the left operand) with `other`.
    void Add(const TReportVar &other) override;
    void Subtract(const TReportVar &other) override;
    void Multiply(const TReportVar &other) override;
    void Divide(const TReportVar &other) override;
    // UNDEFINED again, every value and previous value emptied.
    void Clear() override
    {
        // results, compared operands and argument holders are cleared for
        // every command that makes them: most hold no text, list or
        // automation reference to drop
        m_varType = vtUndefined;
        m_boolValue = false;
        m_objectValue = nullptr;
        m_numValue = 0;
        m_prevNum = 0;
        if (holdsShared())
            clearShared();
    }

    // Clear(), then SetAsNumber(previous) and SetAsNumber(value): what an
    // operator leaves in its left operand after the expression's loads.
    void BecomeNumber(double value, double previous = 0)
    {
        if (holdsShared())
            clearShared();
        m_varType = vtNumber;
        m_boolValue = false;
        m_objectValue = nullptr;
        m_numValue = value;
        m_prevNum = previous;
    }
    // Clear(), then SetAsBoolean(value): what a comparison leaves.
    void BecomeBoolean(bool value)
    {
        if (holdsShared())
            clearShared();
        m_varType = vtBoolean;
        m_boolValue = value;
        m_objectValue = nullptr;
        m_numValue = 0;
        m_prevNum = 0;
    }

    // Clear() followed by Assign(source), in one step: the register moves of
    // every expression do exactly this.
    void AssignFresh(const TReportVar &source)
    {
        if (&source != this && moveScalar(source))
            return;
        assignFreshShared(source);
    }

    // AssignFresh(source) for a source that is not needed afterwards (a
    // popped value-stack entry): its texts, lists and automation reference
    // move here instead of being shared, and the source is left UNDEFINED.
    void TakeFresh(TReportVar &source)
    {
        if (moveScalar(source))
            return;
        takeFreshShared(source);
    }

    // What popping a value-stack copy of `source` into this holder leaves:
    // AssignFresh, except that an empty text or list always arrives as a
    // null one, as it does through a stack entry. `source` may be this very
    // holder, which then keeps its value and loses its previous ones.
    void AssignPopped(const TReportVar &source)
    {
        if (moveScalar(source))
            return;
        assignPoppedShared(source);
    }

    // Assign and AssignFresh for a source that is not read again before it
    // is stored into (a register whose value is used up): its texts, lists
    // and automation reference move here instead of being shared. This
    // holder ends exactly as after the copying versions; the source is left
    // holding anything, to be overwritten.
    void AssignTaken(TReportVar &source)
    {
        if (&source == this || (source.m_strValue.isEmpty() && source.m_memo.isEmpty() && !source.m_dispValue))
            Assign(source);
        else
            assignTakenShared(source);
    }
    void AssignFreshTaken(TReportVar &source)
    {
        if (&source == this)
            AssignFresh(source);
        else if (!moveScalar(source))
            assignFreshTakenShared(source);
    }

    // Becomes a fresh copy of `source`: its name, owner, type and value, with
    // empty previous values, as a holder newly created and assigned from it.
    void CopyFrom(const TReportVar &source);
    // CopyFrom for a source that is not needed afterwards: its value moves
    // here (TakeFresh) and the source is left UNDEFINED.
    void TakeFrom(TReportVar &source);

    // Takes the name and owner of `other`, as CopyFrom and TakeFrom do.
    // Inline: an argument holder mostly has its register's name already.
    void TakeNameOf(const TReportVar &other)
    {
        if (m_name.constData() != other.m_name.constData())
            takeName(other);
        m_owner = other.m_owner;
    }

    // NUMBER or UNDEFINED, without any text, list or automation reference,
    // now or previous: a number stored with SetAsNumber leaves the holder
    // as Assign of a number holder would.
    bool HoldsOnlyNumbers() const
    {
        return (m_varType == vtNumber || m_varType == vtUndefined) && !holdsShared();
    }

    // The previous values, read without a type check.
    double PrevNum() const { return m_prevNum; }
    const QString &PrevStr() const { return m_prevStr; }
    const QStringList &PrevMemo() const { return m_prevMemo; }

    // An argument copy made by the interpreter; a parameter list frees only
    // these entries.
    bool Owned() const { return m_owned; }
    void SetOwned(bool owned) { m_owned = owned; }

private:
    // Any text, list or automation reference, now or previous.
    bool holdsShared() const
    {
        return !m_strValue.isNull() || !m_memo.isEmpty() || !m_prevStr.isNull() || !m_prevMemo.isEmpty()
               || m_dispValue;
    }
    // The largest buffer kept as a spare, in characters: a holder keeps at
    // most one, so what it may hold on to beyond its values stays small.
    static constexpr qsizetype MaxSpareCapacity = 1024;
    // Drops `text`, a text of this holder, leaving it null; its buffer
    // becomes the spare when nothing else shares it and it is small enough.
    void dropText(QString &text);
    void clearShared();
    void takeName(const TReportVar &other);
    // Most moves carry a number between holders without any text, list or
    // automation reference: nothing shared to copy or drop. Makes such a
    // move and returns true; false, untouched, for any other.
    bool moveScalar(const TReportVar &source)
    {
        if (!m_strValue.isEmpty() || !m_memo.isEmpty() || !m_prevStr.isNull() || !m_prevMemo.isEmpty()
            || m_dispValue || !source.m_strValue.isEmpty() || !source.m_memo.isEmpty() || source.m_dispValue)
            return false;
        m_varType = source.m_varType;
        m_numValue = source.m_numValue;
        m_boolValue = source.m_boolValue;
        m_objectValue = source.m_objectValue;
        m_prevNum = 0;
        return true;
    }
    void assignFreshShared(const TReportVar &source);
    void assignFreshTakenShared(TReportVar &source);
    void takeFreshShared(TReportVar &source);
    void assignPoppedShared(const TReportVar &source);
    void assignShared(const TReportVar &source);
    void assignTakenShared(TReportVar &source);
    // The two above and the two above them in one: `Source` is const for the
    // copying versions.
    template <class Source>
    void assignSharedFrom(Source &source);
    template <class Source>
    void assignFreshSharedFrom(Source &source);

    bool m_boolValue = false;
    TReportObject *m_objectValue = nullptr;
    double m_numValue = 0;
    QString m_strValue;
    QStringList m_memo;
    double m_prevNum = 0;
    QString m_prevStr;
    QStringList m_prevMemo;
    QString m_spare;   // no value: see TakeSpareText
    bool m_owned = false;
    TDispatchRef m_dispValue;
};
