#include "TestSupport.h"

#include "ScriptTestHost.h"

#include "script/TokenCodes.h"

#include <QRandomGenerator>

namespace {

class TInertObject : public TDispatchObject {
public:
    void Invoke(const QString &, TCallKind, std::span<TDispArg>, TDispValue *) override {}
};

} // namespace

class ScriptValuesTest : public QObject {
    Q_OBJECT

private slots:
    void namesAreUpperCasedAndNeverEmpty();
    void typeIsFixedByFirstStore_data();
    void typeIsFixedByFirstStore();
    void undefinedReadsAsZeroAndNullResetsType();
    void previousValuesAndChanged();
    void freshAssignmentDropsWhatTheHolderHad();
    void arithmetic_data();
    void arithmetic();
    void failedArithmeticLeavesTheTypeItReached();
    void compare_data();
    void compare();
    void description_data();
    void description();
    void dispatchReferenceIsCountedAndReleased();
    void sortedListOrdersOrdinallyAndFindsByHalving();
    void paramListClearFreesOnlyOwned();
    void takenArgumentMovesTheValueOut();
    void takenAssignmentsEndLikeCopies();
    void takenSourcesEndLikeCopiedOnesOnceStoredInto();
    void byRefInversion_data();
    void byRefInversion();
    void funcListFindsFirstRegistered();
};

void ScriptValuesTest::namesAreUpperCasedAndNeverEmpty()
{
    QCOMPARE(TReportVar(QStringLiteral("сумма_1"), nullptr).Name(), QStringLiteral("СУММА_1"));
    QUARN_EXPECT_ERROR(TReportVar(QString(), nullptr), "Пустое имя запрещено");
    TVarList list;
    QUARN_EXPECT_ERROR(list.GetVar(QString()), "Пустое имя запрещено");
    QCOMPARE(list.Count(), 0);
}

void ScriptValuesTest::typeIsFixedByFirstStore_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("message");   // empty: the second store succeeds
    QTest::newRow("number then string") << "N:5" << "S:a" << "X: Несоответствие типов данных (NUMBER и STRING)";
    QTest::newRow("date then number") << "D:1" << "N:1" << "X: Несоответствие типов данных (DATE и NUMBER)";
    QTest::newRow("number then date") << "N:1" << "D:1" << "X: Несоответствие типов данных (NUMBER и DATE)";
    QTest::newRow("boolean then memo") << "B:1" << "M:a" << "X: Несоответствие типов данных (BOOLEAN и MEMO)";
    QTest::newRow("memo then string") << "M:a" << "S:a" << "X: Несоответствие типов данных (MEMO и STRING)";
    QTest::newRow("same type twice") << "S:a" << "S:b" << "";
}

void ScriptValuesTest::typeIsFixedByFirstStore()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, message);
    TReportVar x(QStringLiteral("x"), nullptr);
    TReportVar source(QStringLiteral("source"), nullptr);
    StoreValue(x, first);
    StoreValue(source, second);
    if (message.isEmpty()) {
        x.Assign(source);
        QCOMPARE(ValueText(x), second);
        return;
    }
    // Setters and Assign fail alike and leave the value as it was.
    QUARN_EXPECT_ERROR(StoreValue(x, second), message);
    QUARN_EXPECT_ERROR(x.Assign(source), message);
    QCOMPARE(ValueText(x), first);
}

void ScriptValuesTest::undefinedReadsAsZeroAndNullResetsType()
{
    TReportVar u(QStringLiteral("U"), nullptr);
    QCOMPARE(u.GetAsNumber(), 0.0);
    QCOMPARE(u.GetAsDate(), 0.0);
    QCOMPARE(u.GetAsString(), QString());
    QCOMPARE(u.GetAsBoolean(), false);
    QVERIFY(!u.GetAsObject() && !u.GetAsDispatch() && u.GetAsMemo().isEmpty());
    QCOMPARE(u.VarType(), quint8(vtUndefined));   // reading fixes no type

    // Getters of a typed holder check the type; GetAsMemo does not.
    TReportVar s(QStringLiteral("S"), nullptr);
    s.SetAsString(QStringLiteral("s"));
    QUARN_EXPECT_ERROR(s.GetAsBoolean(), "S: Несоответствие типов данных (STRING и BOOLEAN)");
    QUARN_EXPECT_ERROR(s.GetAsDispatch(), "S: Несоответствие типов данных (STRING и DISPATCH)");
    QVERIFY(s.GetAsMemo().isEmpty());

    // Assigning the undefined Null makes a typed holder undefined again, so
    // that a value of any type may follow.
    TReportVar null(QStringLiteral("Null"), nullptr);
    s.Assign(null);
    QCOMPARE(s.VarType(), quint8(vtUndefined));
    s.SetAsNumber(1);
    QCOMPARE(ValueText(s), QStringLiteral("N:1"));
}

void ScriptValuesTest::previousValuesAndChanged()
{
    TReportVar s(QStringLiteral("S"), nullptr);
    s.SetAsString(QStringLiteral("a"));
    s.SetAsString(QStringLiteral("b"));
    QCOMPARE(s.PrevStr(), QStringLiteral("a"));
    QVERIFY(s.Changed());
    s.SetAsString(QStringLiteral("b"));
    QVERIFY(!s.Changed());
    s.Clear();
    QCOMPARE(s.PrevStr(), QString());

    TReportVar n(QStringLiteral("N"), nullptr);
    n.SetAsNumber(1);
    n.SetAsNumber(2);
    QCOMPARE(n.PrevNum(), 1.0);
    QVERIFY(n.Changed());
    TReportVar seven(QStringLiteral("SEVEN"), nullptr);
    seven.SetAsNumber(7);
    n.Assign(seven);   // Assign keeps the old value as well
    QCOMPARE(n.PrevNum(), 2.0);

    TReportVar m(QStringLiteral("M"), nullptr);
    m.SetAsMemo({QStringLiteral("one")});
    m.SetAsMemo({QStringLiteral("two")});
    QCOMPARE(m.PrevMemo(), QStringList{QStringLiteral("one")});
    QVERIFY(!m.Changed());   // only numbers, dates and strings report changes

    // Results of arithmetic go through the setters: the left operand's old
    // value becomes the previous one.
    TReportVar c(QStringLiteral("C"), nullptr);
    c.SetAsString(QStringLiteral("c"));
    s.SetAsString(QStringLiteral("ab"));
    s.Add(c);
    QCOMPARE(s.PrevStr(), QStringLiteral("ab"));
}

void ScriptValuesTest::freshAssignmentDropsWhatTheHolderHad()
{
    TReportVar text(QStringLiteral("T"), nullptr);
    text.SetAsString(QStringLiteral("old"));
    text.SetAsString(QStringLiteral("new"));
    TReportVar number(QStringLiteral("N"), nullptr);
    number.SetAsNumber(4);
    number.SetAsNumber(5);

    // a number moving into a holder that had texts: they are gone
    TReportVar reg(QStringLiteral("@A"), nullptr);
    reg.AssignFresh(text);
    QCOMPARE(reg.PrevStr(), QString());
    reg.SetAsString(QStringLiteral("kept"));
    reg.AssignFresh(number);
    QCOMPARE(reg.VarType(), int(vtNumber));
    QCOMPARE(reg.GetAsNumber(), 5.0);
    QCOMPARE(reg.PrevNum(), 0.0);
    QVERIFY(reg.PrevStr().isEmpty());
    QVERIFY(reg.GetAsMemo().isEmpty());
    QVERIFY(reg.Changed());   // 5 against the fresh previous 0

    // and a text moving into a holder of numbers arrives whole
    reg.AssignFresh(text);
    QCOMPARE(reg.VarType(), int(vtString));
    QCOMPARE(reg.GetAsString(), QStringLiteral("new"));
    QCOMPARE(reg.PrevNum(), 0.0);
    QCOMPARE(reg.PrevStr(), QString());
    reg.AssignFresh(text);   // the very same text again
    QCOMPARE(reg.GetAsString(), QStringLiteral("new"));
    reg.AssignFresh(reg);    // onto itself: cleared
    QCOMPARE(reg.VarType(), int(vtUndefined));

    // a copy takes the name as well; the source keeps its own
    TReportVar copy(QStringLiteral("COPY"), nullptr);
    copy.CopyFrom(text);
    QCOMPARE(copy.Name(), QStringLiteral("T"));
    QCOMPARE(copy.GetAsString(), QStringLiteral("new"));
    copy.SetAsString(QStringLiteral("changed"));
    QCOMPARE(text.GetAsString(), QStringLiteral("new"));

    // a text handed over keeps the previous one as a copied one does
    QString made = QStringLiteral("made");
    text.SetAsString(std::move(made));
    QCOMPARE(text.GetAsString(), QStringLiteral("made"));
    QCOMPARE(text.PrevStr(), QStringLiteral("new"));
    QVERIFY(text.Changed());
    QCOMPARE(text.StringValue(), QStringLiteral("made"));
    QUARN_EXPECT_ERROR(number.StringValue(), "N: Несоответствие типов данных (NUMBER и STRING)");
}

void ScriptValuesTest::arithmetic_data()
{
    QTest::addColumn<QString>("left");
    QTest::addColumn<int>("op");
    QTest::addColumn<QString>("right");
    QTest::addColumn<QString>("expected");   // a value, or "!" and the message
    const int add = tkPlus, sub = tkMinus, mul = tkMultiply, div = tkDivide;
    const QString na = QStringLiteral("!L: Операция неприменима для данного типа данных (%1)");

    QTest::newRow("undefined + number") << "U" << add << "N:3" << "N:3";
    QTest::newRow("undefined + string") << "U" << add << "S:a" << "S:a";
    QTest::newRow("number + undefined") << "N:5" << add << "U" << "N:5";
    QTest::newRow("string + string") << "S:ab" << add << "S:cd" << "S:abcd";
    QTest::newRow("date + number: the next day") << "D:100" << add << "N:1" << "D:101";
    QTest::newRow("date - number") << "D:100" << sub << "N:1" << "D:99";
    QTest::newRow("date - date: days") << "D:100" << sub << "D:90" << "N:10";
    QTest::newRow("date + date: a number") << "D:100" << add << "D:5" << "N:105";
    QTest::newRow("date + undefined: a number") << "D:100" << add << "U" << "N:100";
    QTest::newRow("number - number") << "N:5" << sub << "N:7" << "N:-2";
    QTest::newRow("number * number") << "N:2" << mul << "N:3" << "N:6";
    QTest::newRow("number / number") << "N:6" << div << "N:4" << "N:1.5";
    QTest::newRow("0 / 0 is 0") << "N:0" << div << "N:0" << "N:0";
    QTest::newRow("7 / 0") << "N:7" << div << "N:0" << "!L: Деление на 0 (NUMBER)";
    QTest::newRow("number + string") << "N:2" << add << "S:x" << "!L: Несоответствие типов данных (NUMBER и STRING)";
    QTest::newRow("date + string names the right") << "D:10" << add << "S:x" << "!R: Несоответствие типов данных (STRING и DATE)";
    QTest::newRow("string - string") << "S:a" << sub << "S:b" << na.arg("STRING");
    QTest::newRow("undefined * string") << "U" << mul << "S:a" << na.arg("STRING");
    QTest::newRow("date * number") << "D:10" << mul << "N:2" << na.arg("DATE");
    QTest::newRow("boolean + boolean") << "B:1" << add << "B:1" << na.arg("BOOLEAN");
    QTest::newRow("memo + memo") << "M:a" << add << "M:b" << na.arg("MEMO");
    QTest::newRow("undefined + undefined") << "U" << add << "U" << na.arg("UNDEFINED");
}

void ScriptValuesTest::arithmetic()
{
    QFETCH(QString, left);
    QFETCH(int, op);
    QFETCH(QString, right);
    QFETCH(QString, expected);
    TReportVar l(QStringLiteral("L"), nullptr);
    TReportVar r(QStringLiteral("R"), nullptr);
    StoreValue(l, left);
    StoreValue(r, right);
    auto apply = [&] {
        if (op == tkPlus)
            l.Add(r);
        else if (op == tkMinus)
            l.Subtract(r);
        else if (op == tkMultiply)
            l.Multiply(r);
        else
            l.Divide(r);
    };
    if (expected.startsWith(u'!')) {
        QUARN_EXPECT_ERROR(apply(), expected.mid(1));
    } else {
        apply();
        QCOMPARE(ValueText(l), expected);
    }
    QCOMPARE(ValueText(r), right);   // the right operand is only read
}

void ScriptValuesTest::failedArithmeticLeavesTheTypeItReached()
{
    // A date whose right operand is no number has been reset already.
    TReportVar l(QStringLiteral("L"), nullptr);
    TReportVar r(QStringLiteral("R"), nullptr);
    l.SetAsDate(10);
    r.SetAsBoolean(true);
    QUARN_EXPECT_ERROR(l.Add(r), "R: Несоответствие типов данных (BOOLEAN и DATE)");
    QCOMPARE(l.VarType(), quint8(vtUndefined));
    // An undefined left operand keeps the type it took over.
    TReportVar u(QStringLiteral("U"), nullptr);
    TReportVar m(QStringLiteral("M"), nullptr);
    m.SetAsMemo({QStringLiteral("x")});
    QUARN_EXPECT_ERROR(u.Add(m), "U: Операция неприменима для данного типа данных (MEMO)");
    QCOMPARE(u.VarType(), quint8(vtMemo));
}

void ScriptValuesTest::compare_data()
{
    QTest::addColumn<QString>("left");
    QTest::addColumn<int>("op");
    QTest::addColumn<QString>("right");
    QTest::addColumn<QString>("expected");   // "1", "0", or "!" and the message
    const QString na = QStringLiteral("!L: Операция неприменима для данного типа данных (%1)");

    QTest::newRow("abc < abd") << "S:abc" << int(tkLess) << "S:abd" << "1";
    QTest::newRow("B < a: code order") << "S:B" << int(tkLess) << "S:a" << "1";
    QTest::newRow("Я < а: code order") << "S:Я" << int(tkLess) << "S:а" << "1";
    QTest::newRow("case-sensitive") << "S:a" << int(tkEqual) << "S:A" << "0";
    QTest::newRow("TRUE > FALSE") << "B:1" << int(tkGreater) << "B:0" << "1";
    QTest::newRow("2 <> 3") << "N:2" << int(tkNotEqual) << "N:3" << "1";
    QTest::newRow("1 <= 0") << "N:1" << int(tkLessEqual) << "N:0" << "0";
    QTest::newRow("date >= date") << "D:5" << int(tkGreaterEqual) << "D:5" << "1";
    QTest::newRow("undefined = ''") << "U" << int(tkEqual) << "S:" << "1";
    QTest::newRow("0 = undefined") << "N:0" << int(tkEqual) << "U" << "1";
    QTest::newRow("x = undefined") << "S:x" << int(tkEqual) << "U" << "0";
    QTest::newRow("undefined < 1") << "U" << int(tkLess) << "N:1" << "1";
    QTest::newRow("FALSE = undefined") << "B:0" << int(tkEqual) << "U" << "1";
    QTest::newRow("number = string") << "N:1" << int(tkEqual) << "S:1" << "!L: Несоответствие типов данных (NUMBER и STRING)";
    QTest::newRow("number = date") << "N:1" << int(tkEqual) << "D:1" << "!L: Несоответствие типов данных (NUMBER и DATE)";
    QTest::newRow("undefined = undefined") << "U" << int(tkEqual) << "U" << na.arg("UNDEFINED");
    QTest::newRow("memo = memo") << "M:a" << int(tkEqual) << "M:a" << na.arg("MEMO");
    QTest::newRow("undefined = memo") << "U" << int(tkEqual) << "M:a" << na.arg("MEMO");
}

void ScriptValuesTest::compare()
{
    QFETCH(QString, left);
    QFETCH(int, op);
    QFETCH(QString, right);
    QFETCH(QString, expected);
    TReportVar l(QStringLiteral("L"), nullptr);
    TReportVar r(QStringLiteral("R"), nullptr);
    StoreValue(l, left);
    StoreValue(r, right);
    if (expected.startsWith(u'!'))
        QUARN_EXPECT_ERROR(l.Compare(r, op), expected.mid(1));
    else
        QCOMPARE(l.Compare(r, op), expected == u'1');
    // Neither side changes, its type included, also after an error.
    QCOMPARE(ValueText(l), left);
    QCOMPARE(ValueText(r), right);
}

void ScriptValuesTest::description_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("expected");
    QTest::newRow("blanks and bars") << "Сумма по|счету" << "Сумма_по_счету";
    QTest::newRow("hyphen before a bar dropped") << "Номер докумен-|та" << "Номер_докумен_та";
    QTest::newRow("other hyphens stay") << "a - b--|c" << "a_-_b-_c";
}

void ScriptValuesTest::description()
{
    QFETCH(QString, description);
    QFETCH(QString, expected);
    TReportVar v(QStringLiteral("V"), nullptr);
    v.SetDescription(description);
    QCOMPARE(v.GetDescription(), expected);
}

void ScriptValuesTest::dispatchReferenceIsCountedAndReleased()
{
    auto object = std::make_shared<TInertObject>();
    std::weak_ptr<TDispatchObject> watch = object;
    TReportVar a(QStringLiteral("A"), nullptr);
    TReportVar b(QStringLiteral("B"), nullptr);
    a.SetAsDispatch(object);
    object.reset();
    b.Assign(a);
    a.Clear();
    QVERIFY(!watch.expired());   // b still refers to it
    b.SetAsDispatch(nullptr);
    QVERIFY(watch.expired());    // replaced: released
}

void ScriptValuesTest::sortedListOrdersOrdinallyAndFindsByHalving()
{
    TVarList list;
    for (const char *name : {"b", "Я", "_y", "a", "@x", "Z", "a1"})
        list.GetVar(QString::fromUtf8(name));
    QStringList names;
    list.ForEach([&](TReportVar &v) { names << v.Name(); });
    QCOMPARE(names, (QStringList{"@X", "A", "A1", "B", "Z", "_Y", QStringLiteral("Я")}));
    TReportVar &abc = list.GetVar(QStringLiteral("abc"));
    QCOMPARE(list.FindVar(QStringLiteral("ABC")), &abc);
    QCOMPARE(&list.GetVar(QStringLiteral("aBc")), &abc);
    QCOMPARE(abc.Owner(), &list);

    QRandomGenerator random(7);
    TVarList many;
    QStringList added;
    for (int i = 0; i < 500; ++i) {
        added << QStringLiteral("V%1").arg(random.bounded(100000));
        many.GetVar(added.last());
    }
    for (int i = 1; i < many.Count(); ++i)
        QVERIFY(many[i - 1]->Name() < many[i]->Name());
    for (const QString &n : std::as_const(added))
        QVERIFY2(many.FindVar(n.toLower()), qPrintable(n));
    QVERIFY(!many.FindVar(QStringLiteral("V100000")));
}

void ScriptValuesTest::paramListClearFreesOnlyOwned()
{
    // A dispatch reference in each holder shows, by its count, which
    // holders are alive.
    auto object = std::make_shared<TInertObject>();
    TVarList vars;
    TReportVar &var = vars.GetVar(QStringLiteral("X"));
    var.SetAsDispatch(object);
    TParamList params;
    params.AddByRef(var);
    TReportVar &copy = params.AddCopy(var);
    params.GetVar(QStringLiteral("made"));
    QCOMPARE(params[1], &copy);
    QCOMPARE(params[2]->Name(), QStringLiteral("MADE"));   // appended, unsorted
    QVERIFY(copy.Owned() && !var.Owned() && params[2]->Owned());
    QVERIFY(params.IsByRef(0) && !params.IsByRef(1));
    QCOMPARE(object.use_count(), 3L);   // here, the variable, the copy

    params.Clear();
    QCOMPARE(params.Count(), 0);
    QCOMPARE(object.use_count(), 2L);   // the copy is gone, the variable not
    QCOMPARE(vars.FindVar(QStringLiteral("x")), &var);

    // the emptied copies wait, out of sight, for the next arguments
    QCOMPARE(params.FindVar(QStringLiteral("made")), nullptr);
    TReportVar &again = params.AddCopy(var);
    QCOMPARE(params.Count(), 1);
    QCOMPARE(params[0], &again);
    QCOMPARE(again.Name(), QStringLiteral("X"));
    QVERIFY(!params.IsByRef(0));
    QCOMPARE(object.use_count(), 3L);
    // entries moved in go before them, in their order
    TParamList other;
    other.AddByRef(var);
    other.AddCopy(var);
    params.Clear();
    params.TakeEntriesFrom(other);
    QCOMPARE(other.Count(), 0);
    QCOMPARE(params.Count(), 2);
    QCOMPARE(params[0], &var);
    QVERIFY(params.IsByRef(0) && !params.IsByRef(1));
    QCOMPARE(object.use_count(), 3L);   // the variable and the moved copy
    params.Clear();
    QCOMPARE(object.use_count(), 2L);
    {
        TParamList scoped;   // destroying a list behaves the same
        scoped.AddByRef(var);
        scoped.AddCopy(var);
    }
    QCOMPARE(object.use_count(), 2L);
    QCOMPARE(var.GetAsDispatch(), TDispatchRef(object));
}

// Assigning from a register that is used up moves its texts; the target must
// end exactly as a copy leaves it: value, type, previous values and whether
// its texts are null (a null text binds as SQL NULL).
void ScriptValuesTest::takenAssignmentsEndLikeCopies()
{
    // set up twice where a second value is given: the first is the previous one
    auto makeState = [](TReportVar &v, const QString &state) {
        v.Clear();
        if (state == u"null") {
            v.SetAsString(QString());
        } else if (state == u"empty") {
            v.SetAsString(QStringLiteral("x").left(0));
        } else {
            for (const QString &value : state.split(u'>'))
                StoreValue(v, value);
        }
    };
    auto describe = [](const TReportVar &v) {
        return QStringLiteral("%1 memo=%2 prev=%3/%4 null=%5 prevMemo=%6")
            .arg(ValueText(v))
            .arg(v.GetAsMemo().join(u'|'))
            .arg(v.PrevNum())
            .arg(v.PrevStr())
            .arg(int(v.PrevStr().isNull()))
            .arg(v.PrevMemo().join(u'|'));
    };
    auto textNull = [](const TReportVar &v) { return v.VarType() == vtString && v.StringValue().isNull(); };
    const QStringList states = {"U", "N:1>N:5", "S:old>S:text", "empty", "null", "M:a|b>M:c", "D:3", "B:1"};
    for (const QString &targetState : states) {
        for (const QString &sourceState : states) {
            for (bool keepType : {false, true}) {
                TReportVar copied(QStringLiteral("X"), nullptr), taken(QStringLiteral("X"), nullptr);
                TReportVar source(QStringLiteral("@A"), nullptr), other(QStringLiteral("@A"), nullptr);
                makeState(copied, targetState);
                makeState(taken, targetState);
                makeState(source, sourceState);
                makeState(other, sourceState);
                QString copyError, takeError;
                try {
                    keepType ? copied.Assign(source) : copied.AssignFresh(source);
                } catch (const Exception &e) {
                    copyError = e.Message();
                }
                try {
                    keepType ? taken.AssignTaken(other) : taken.AssignFreshTaken(other);
                } catch (const Exception &e) {
                    takeError = e.Message();
                }
                const QString row = targetState + QStringLiteral(" := ") + sourceState
                                    + (keepType ? QStringLiteral(" keep") : QString());
                QVERIFY2(copyError == takeError, qPrintable(row));
                QVERIFY2(describe(copied) == describe(taken),
                         qPrintable(row + QStringLiteral(": ") + describe(copied) + QStringLiteral(" / ") + describe(taken)));
                QVERIFY2(textNull(copied) == textNull(taken), qPrintable(row));
            }
        }
    }
}

// A register used up by a take is stored into before it is read again;
// what the store leaves there must be what it leaves in a register that was
// only copied from, down to whether an empty text is null.
void ScriptValuesTest::takenSourcesEndLikeCopiedOnesOnceStoredInto()
{
    auto text = [](const TReportVar &v) {
        return v.StringValue().isNull() ? QStringLiteral("null") : u'\'' + v.StringValue() + u'\'';
    };
    const QString emptyText = QStringLiteral("x").left(0);
    for (const QString &previous : {QString(), emptyText, QStringLiteral("p")}) {
        for (const QString &next : {QString(), emptyText, QStringLiteral("n")}) {
            TReportVar target(QStringLiteral("X"), nullptr), value(QStringLiteral("V"), nullptr);
            TReportVar taken(QStringLiteral("@A"), nullptr), copied(QStringLiteral("@A"), nullptr);
            target.SetAsString(previous);
            target.SetAsString(QStringLiteral("t"));   // the previous text is `previous`
            taken.SetAsString(QStringLiteral("v"));
            copied.SetAsString(QStringLiteral("v"));
            target.AssignTaken(taken);
            QCOMPARE(text(target), QStringLiteral("'v'"));
            value.SetAsString(next);
            taken.AssignFresh(value);
            copied.AssignFresh(value);
            QCOMPARE(text(taken), text(copied));
        }
    }
}

void ScriptValuesTest::takenArgumentMovesTheValueOut()
{
    TVarList vars;
    TReportVar &a = vars.GetVar(QStringLiteral("@A"));
    TParamList params;

    // A text: the entry gets the very text, the source is left UNDEFINED
    // with its previous values gone.
    a.SetAsString(QStringLiteral("old"));
    a.SetAsString(QStringLiteral("text"));
    const QString text = a.GetAsString();
    TReportVar &first = params.AddTaken(a);
    QCOMPARE(ValueText(first), QStringLiteral("S:text"));
    QCOMPARE(first.Name(), QStringLiteral("@A"));
    QVERIFY(first.Owned());
    QVERIFY(first.PrevStr().isNull());
    QCOMPARE(first.GetAsString().constData(), text.constData());   // moved, not copied
    QCOMPARE(a.VarType(), quint8(vtUndefined));
    QVERIFY(a.GetAsString().isNull());
    QVERIFY(a.PrevStr().isNull());

    // A spare holder left by Clear is reused the same way, for a number.
    params.Clear();
    a.SetAsNumber(5);
    a.SetAsNumber(7);
    TReportVar &second = params.AddTaken(a);
    QCOMPARE(ValueText(second), QStringLiteral("N:7"));
    QCOMPARE(second.PrevNum(), 0.0);
    QCOMPARE(a.VarType(), quint8(vtUndefined));
    QCOMPARE(a.PrevNum(), 0.0);

    // An empty text arrives as the null text a copy would carry.
    params.Clear();
    a.SetAsString(QStringLiteral("x").left(0));
    TReportVar &third = params.AddTaken(a);
    QCOMPARE(third.VarType(), quint8(vtString));
    QVERIFY(third.GetAsString().isNull());
    QCOMPARE(a.VarType(), quint8(vtUndefined));

    // An automation reference moves too: no second reference is made.
    auto object = std::make_shared<TInertObject>();
    params.Clear();
    a.SetAsDispatch(object);
    QCOMPARE(object.use_count(), 2L);
    TReportVar &fourth = params.AddTaken(a);
    QCOMPARE(object.use_count(), 2L);
    QCOMPARE(fourth.GetAsDispatch(), TDispatchRef(object));
    QCOMPARE(a.VarType(), quint8(vtUndefined));
    params.Clear();
    QCOMPARE(object.use_count(), 1L);
}

void ScriptValuesTest::byRefInversion_data()
{
    QTest::addColumn<QList<int>>("set");
    QTest::addColumn<QList<int>>("byRef");   // among positions 0, 1, 2, 254, 255, 300
    QTest::newRow("empty: none") << QList<int>{} << QList<int>{};
    QTest::newRow("{0}: the first") << QList<int>{0} << QList<int>{0};
    QTest::newRow("{0,1}") << QList<int>{0, 1} << QList<int>{0, 1};
    QTest::newRow("{0,255}: all but the first") << QList<int>{0, 255} << QList<int>{1, 2, 254, 300};
    QTest::newRow("{1,255}: all but the second") << QList<int>{1, 255} << QList<int>{0, 2, 254, 300};
    QTest::newRow("{255}: all") << QList<int>{255} << QList<int>{0, 1, 2, 254, 300};
}

void ScriptValuesTest::byRefInversion()
{
    QFETCH(QList<int>, set);
    QFETCH(QList<int>, byRef);
    TByRefSet bits;
    for (int p : set)
        bits.set(size_t(p));
    const TFunc func(QStringLiteral("f"), 1, {}, bits);
    for (int position : {0, 1, 2, 254, 255, 300})
        QVERIFY2(func.IsByRef(position) == byRef.contains(position), qPrintable(QString::number(position)));
}

void ScriptValuesTest::funcListFindsFirstRegistered()
{
    TFuncList funcs;
    funcs.AddFunc(std::make_unique<TFunc>(QStringLiteral("Copy"), 3, TFuncImpl()));
    funcs.AddFunc(std::make_unique<TFunc>(QStringLiteral("COPY"), 0, TFuncImpl()));
    TFunc *found = funcs.FindFunc(QStringLiteral("copy"));
    QVERIFY(found);
    QCOMPARE(found->Name(), QStringLiteral("COPY"));
    QCOMPARE(found->ArgCount(), 3);
    QVERIFY(!funcs.FindFunc(QStringLiteral("cop")));
}

QUARN_TEST_MAIN(ScriptValuesTest)
#include "ScriptValuesTest.moc"
