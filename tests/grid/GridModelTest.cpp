#include "GridTestSupport.h"

#include "common/DateTime.h"
#include "common/Settings.h"
#include "common/TextFile.h"
#include "grid/ConditionRewriter.h"
#include "grid/GridStateFile.h"
#include "grid/QueryBuilderModel.h"
#include "grid/SearchInput.h"

#include <QDate>
#include <QDir>

using namespace GridTest;

// Search keys, date normalisation, the marked-rows condition, the query
// builder's condition lines and sort order, and table-state files.
class GridModelTest : public QObject {
    Q_OBJECT

    static QString typed(const QString &keys, char kind, QString value = QString())
    {
        for (QChar k : keys)
            ApplySearchKey(value, k, kind);
        return value;
    }

    static TBuilderFields fields()
    {
        return TBuilderFields({{"CODE", "Код", 'N'},
                               {"NAME", "Имя|клиента", 'S'},
                               {"SUM_RUB", "Сумма-|в рублях", 'N'},
                               {"DOC_DATE", "Дата", 'D'},
                               {"PAID_DATE", "Оплачено", 'D'},
                               {"NOTE", "Примечание", 'U'}});
    }

private slots:
    void initTestCase() { setUpEngines("quarn_grid_model"); }

    void searchKeys_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expected");

        QTest::newRow("string takes all") << "Iv an%" << "S" << "Iv an%";
        QTest::newRow("quote kept as typed") << "O'Brien" << "S" << "O'Brien";
        QTest::newRow("control chars ignored") << "a\tb\x01" << "S" << "ab";
        QTest::newRow("backspace") << "abc\b" << "S" << "ab";
        QTest::newRow("backspace to empty gives caret") << "a\b" << "S" << "^";
        QTest::newRow("typing after caret") << "a\bb" << "S" << "b";
        QTest::newRow("date accepts digits and separator") << "12.3x/-%_" << "D" << "12.3%_";
        QTest::newRow("number filters letters") << "1a2b" << "N" << "12";
        QTest::newRow("number one decimal separator") << "1.2.3" << "N" << "1.23";
        QTest::newRow("number separator alone") << "." << "N" << "0.";
        QTest::newRow("number minus alone") << "-" << "N" << "-0";
        QTest::newRow("number thousands becomes decimal") << "1,5" << "N" << "1.5";
        QTest::newRow("number pattern keeps thousands") << "1.5%" << "N" << "1,5%";
        QTest::newRow("number backspace of minus") << "-\b" << "N" << "^";
        QTest::newRow("unsearchable takes nothing") << "abc" << "U" << "";
        // kept as typed: the condition doubles the quote inside its literal
        QTest::newRow("injection attempt") << "x'; drop table T; --" << "S" << "x'; drop table T; --";
    }
    void searchKeys()
    {
        QFETCH(QString, keys);
        QFETCH(QString, kind);
        QFETCH(QString, expected);
        QCOMPARE(typed(keys, kind.at(0).toLatin1()), expected);
    }

    void searchKeyTakenOrNot()
    {
        QString v;
        QVERIFY(!ApplySearchKey(v, u'a', 'N'));
        QVERIFY(!ApplySearchKey(v, u'\x05', 'S'));
        QVERIFY(!ApplySearchKey(v, u'a', 'U'));
        QVERIFY(ApplySearchKey(v, u'7', 'N'));
        QCOMPARE(v, QString("7"));
    }

    void dateNormalisation_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("expected");

        const QString yy = QString::number(QDate::currentDate().year() % 100).rightJustified(2, '0');
        QTest::newRow("day and month") << "12.3" << true << "12.03." + yy;
        QTest::newRow("full date") << "1.2.2024" << true << "01.02.24";
        QTest::newRow("empty stays empty") << "" << true << "";
        QTest::newRow("not a date") << "31.02.2024" << false << "31.02.2024";
        QTest::newRow("pattern") << "1%" << false << "1%";
    }
    void dateNormalisation()
    {
        QFETCH(QString, value);
        QFETCH(bool, valid);
        QFETCH(QString, expected);
        QCOMPARE(NormalizeSearchDate(value), valid);
        QCOMPARE(value, expected);
    }

    void markLines()
    {
        const TSearchKindOf kindOf = [](const QString &f) -> char {
            return f == "CODE" ? 'N' : f == "NAME" ? 'S' : f == "D" ? 'D' : 'U';
        };
        QCOMPARE(MarkConditionLines({"CODE=5", "NAME=Ivanov"}, true, kindOf),
                 QStringList({"NOT (CODE = 5 OR", "NAME = 'Ivanov')"}));
        QCOMPARE(MarkConditionLines({"CODE=1,234.50", "NAME=O'Hara", "D=1.2.2024"}, false, kindOf),
                 QStringList({"(CODE = 1234.50 OR", "NAME = 'O''Hara' OR", "D = '01.02.24')"}));
        // skipped marks: a blob, an invalid date, a number without digits;
        // the group is still closed after the last line written
        QCOMPARE(MarkConditionLines({"CODE=7", "BLOB=x", "D=99.99", "CODE=-.", "NAME"}, false, kindOf),
                 QStringList({"(CODE = 7)"}));
        QCOMPARE(MarkConditionLines({"CODE=12.", "BLOB=1"}, false, kindOf), QStringList({"(CODE = 12)"}));
        QVERIFY(MarkConditionLines({"BLOB=1"}, false, kindOf).isEmpty());
        // a text of a state that is no number never reaches SQL as one
        QCOMPARE(MarkConditionLines({"CODE=5-3", "CODE=1--1", "CODE=0) OR (1=1", "CODE=-1,234.5"}, false, kindOf),
                 QStringList({"(CODE = -1234.5)"}));
    }

    void typedNumbersHoldNoSql_data()
    {
        QTest::addColumn<QString>("keys");
        for (const char *keys : {"'; drop table T; --", "*/ or 1=1 /*", "%' or '1'='1", "\\'", "1e5; select"})
            QTest::newRow(keys) << QString(keys);
    }
    void typedNumbersHoldNoSql()
    {
        // a number or date column takes no letters, quotes, blanks or
        // comment marks at all (the string case runs on the engines in
        // test_gridsql)
        QFETCH(QString, keys);
        for (char kind : {'N', 'D'}) {
            const QString value = typed(keys, kind);
            QVERIFY2(std::all_of(value.begin(), value.end(),
                                 [](QChar c) { return c.isDigit() || QStringLiteral("-.,%_^").contains(c); }),
                     qPrintable(value));
        }
    }

    void labels()
    {
        const TBuilderFields f = fields();
        QCOMPARE(TBuilderFields::LabelOf("Сумма-|в рублях"), QString("Сумма_в_рублях"));
        QCOMPARE(TBuilderFields::LabelOf("a - b|c"), QString("a_-_b_c"));
        QCOMPARE(f.FieldNameOfLabel("Имя_клиента"), QString("NAME"));
        QCOMPARE(f.FieldNameOfLabel("имя_клиента"), QString());   // exact
        QCOMPARE(f.LabelOfFieldName("sum_rub"), QString("Сумма_в_рублях"));
        QCOMPARE(f.KindOfLabel("Дата"), 'D');
        QCOMPARE(f.KindOfLabel("Нет такого"), 'U');
    }

    void operatorsRecognised_data()
    {
        QTest::addColumn<QString>("row");
        QTest::addColumn<int>("op");
        QTest::newRow("equals") << "Код = 1" << 0;
        QTest::newRow("greater or equal") << "Код >= 1" << 2;
        QTest::newRow("not equal") << "Код <> 1" << 5;
        QTest::newRow("not like before like") << "Имя_клиента не похоже на 'a%'" << 6;
        QTest::newRow("like") << "Имя_клиента похоже на 'a%'" << 7;
        QTest::newRow("not in before in") << "Код не в списке (1,2)" << 8;
        QTest::newRow("in") << "Код в списке (1,2)" << 9;
        QTest::newRow("not empty before empty") << "Дата не пустое " << 10;
        QTest::newRow("empty") << "Дата пустое " << 11;
        QTest::newRow("no operator") << "Код" << -1;
    }
    void operatorsRecognised()
    {
        QFETCH(QString, row);
        QFETCH(int, op);
        QCOMPARE(FindBuilderOperator(row), op);
    }

    void conditionLines_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("rowsLeft");

        const TBuilderFields f = fields();
        const QString sep = BuilderSeparator;
        QTest::newRow("two groups")
            << QStringList{"Код = 1", "Сумма_в_рублях = 2", sep, "Код = 3"}
            << QStringList{"(", "((CODE = 1) AND", "(SUM_RUB = 2)) OR", "((CODE = 3))", ")"}
            << QStringList{"Код = 1", "Сумма_в_рублях = 2", sep, "Код = 3"};
        QTest::newRow("trailing separator ignored")
            << QStringList{"Код = 1", sep}
            << QStringList{"(", "((CODE = 1))", ")"}
            << QStringList{"Код = 1"};
        QTest::newRow("incomplete rows after the last separator")
            << QStringList{"Код = 1", sep, "Код", "Дата = "}
            << QStringList{"(", "((CODE = 1))", ")"}
            << QStringList{"Код = 1", sep};
        QTest::newRow("leading separator is skipped")
            << QStringList{sep, "Код = 1"}
            << QStringList{"(", "((CODE = 1))", ")"}
            << QStringList{sep, "Код = 1"};
        QTest::newRow("raw date value")
            << QStringList{"Дата = @SYSDATE"}
            << QStringList{"(", "((DOC_DATE = SYSDATE))", ")"}
            << QStringList{"Дата = @SYSDATE"};
        QTest::newRow("bad date removed")
            << QStringList{"Дата = '31.02.2024'", "Дата > '01.02.2024'"}
            << QStringList{"(", "((DOC_DATE > '01.02.2024'))", ")"}
            << QStringList{"Дата > '01.02.2024'"};
        QTest::newRow("field to field")
            << QStringList{"Дата < Оплачено"}
            << QStringList{"(", "((DOC_DATE < PAID_DATE))", ")"}
            << QStringList{"Дата < Оплачено"};
        QTest::newRow("empty operators need no value")
            << QStringList{"Оплачено пустое ", "Имя_клиента не пустое "}
            << QStringList{"(", "((PAID_DATE IS NULL ) AND", "(NAME IS NOT NULL ))", ")"}
            << QStringList{"Оплачено пустое ", "Имя_клиента не пустое "};
        QTest::newRow("lists")
            << QStringList{"Код в списке (1,2)", "Дата не в списке ('01.01.2024','02.01.2024')"}
            << QStringList{"(", "((CODE IN (1,2)) AND", "(DOC_DATE NOT IN ('01.01.2024','02.01.2024')))", ")"}
            << QStringList{"Код в списке (1,2)", "Дата не в списке ('01.01.2024','02.01.2024')"};
        QTest::newRow("like with percent")
            << QStringList{"Имя_клиента похоже на 'Ив%'"}
            << QStringList{"(", "((NAME LIKE 'Ив%'))", ")"}
            << QStringList{"Имя_клиента похоже на 'Ив%'"};
        QTest::newRow("unknown field removed")
            << QStringList{"Нет = 1"} << QStringList{} << QStringList{};
        QTest::newRow("hand-written")
            << QStringList{"#CODE > 1", "OR NAME IS NULL"}
            << QStringList{"CODE > 1", "OR NAME IS NULL"}
            << QStringList{"#CODE > 1", "OR NAME IS NULL"};
        QTest::newRow("nothing") << QStringList{} << QStringList{} << QStringList{};
    }
    void conditionLines()
    {
        QFETCH(QStringList, rows);
        QFETCH(QStringList, lines);
        QFETCH(QStringList, rowsLeft);
        QCOMPARE(BuilderConditionLines(rows, fields()), lines);
        QCOMPARE(rows, rowsLeft);
    }

    void conditionLinesRunAsSql_data() { DataTest::engineRows(); }
    void conditionLinesRunAsSql()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        DataTest::exec(alias, {"DROP TABLE IF EXISTS T",
                               "create table T (CODE integer, NAME varchar(10), SUM_RUB numeric(10,2), "
                               "DOC_DATE date, PAID_DATE date)",
                               "insert into T values (1, 'a', 10, '2024-01-01', null), "
                               "(2, 'b', 20, '2024-01-02', '2024-01-03'), (3, 'c', 30, '2024-01-03', null)"});
        QStringList rows{"Код = 1", "Сумма_в_рублях = 2", BuilderSeparator, "Код = 3", BuilderSeparator,
                         "Оплачено не пустое ", BuilderSeparator, "Имя_клиента похоже на 'x%'"};
        const QStringList lines = BuilderConditionLines(rows, fields());
        const QString sql = RewriteCondition("SELECT CODE FROM T ORDER BY CODE", "%Note",
                                             lines.join("\r\n"), "SEARCHDBGRID_BUILDER", "", "", false);
        try {
            QCOMPARE(column(alias, sql), QStringList({"2", "3"}));
        } catch (const Exception &e) {
            QFAIL(qPrintable(e.Message() + "\n" + sql));
        }
    }

    void sortRows()
    {
        const TBuilderFields f = fields();
        QCOMPARE(SortRowsFromSql("select * from T order by\r\n CODE desc, name, GONE, DOC_DATE  Desc", f),
                 QStringList({"Код, по убыванию", "Имя_клиента, по возрастанию", "Дата, по убыванию"}));
        QVERIFY(SortRowsFromSql("select * from T order by upper(NAME)", f).isEmpty());
        QVERIFY(SortRowsFromSql("select * from T", f).isEmpty());
        QCOMPARE(OrderTextFromSortRows({"Код, по убыванию", "Имя_клиента, по возрастанию"}, f),
                 QString("CODE DESC, NAME"));
    }

    void builderOrder()
    {
        TBuilderOrderState state;
        const QString own = "SELECT * FROM T ORDER BY name";
        QString sql = ApplyBuilderOrder(own, "CODE DESC", state);
        QCOMPARE(sql, QString("SELECT * FROM T ORDER BY CODE DESC"));
        QCOMPARE(state.SavedOrder, QStringList{"name"});   // as the query spells it
        QVERIFY(state.OrderOverridden);
        // a second run keeps the query's own order, not the first builder order
        sql = ApplyBuilderOrder(sql, "DOC_DATE", state);
        QCOMPARE(sql, QString("SELECT * FROM T ORDER BY DOC_DATE"));
        QCOMPARE(state.SavedOrder, QStringList{"name"});
        sql = ApplyBuilderOrder(sql, "", state);
        QCOMPARE(sql, QString("SELECT * FROM T ORDER BY name"));
        QVERIFY(state.SavedOrder.isEmpty());
        QVERIFY(!state.OrderOverridden);

        // a query without its own order gets one added and taken away again,
        // also after two builder runs
        TBuilderOrderState fresh;
        sql = ApplyBuilderOrder("SELECT * FROM T", "CODE", fresh);
        QCOMPARE(sql, QString("SELECT * FROM T\r\nORDER BY CODE"));
        sql = ApplyBuilderOrder(sql, "NAME", fresh);
        QVERIFY(fresh.SavedOrder.isEmpty());
        QCOMPARE(ApplyBuilderOrder(sql, "", fresh), QString("SELECT * FROM T\r\n"));
        // with no builder order in force an empty order changes nothing
        QCOMPARE(ApplyBuilderOrder(own, "", fresh), own);
    }

    void stateFileNames()
    {
        QString group, title;
        QVERIFY(SplitGridStateFileName("TSQLForm_SQLGrid^Clients.GRD", group, title));
        QCOMPARE(group, QString("TSQLForm_SQLGrid"));
        QCOMPARE(title, QString("Clients"));
        QVERIFY(SplitGridStateFileName("G^a^b.GRD", group, title));
        QCOMPARE(title, QString("a^b"));
        QVERIFY(!SplitGridStateFileName("Clients.GRD", group, title));
        QCOMPARE(GridStateFileName("/d", "G", "T"), QString("/d/G^T.GRD"));
    }

    void stateSections()
    {
        const QStringList lines = {"[SEARCH]", "NAME=Iv", "", "CODE=1", "[choice]", "X=1",
                                   "[BUILD]", "Код = 1", "[ORDER]", "CODE DESC"};
        const TGridState s = ParseGridStateLines(lines);
        QCOMPARE(s.Search, QStringList({"NAME=Iv", "CODE=1"}));
        // "[choice]" is not "[CHOICE]": no marks, and it ends the search section
        QVERIFY(s.Choice.isEmpty());
        QCOMPARE(s.Build, QStringList{"Код = 1"});
        QCOMPARE(s.Order, QStringList{"CODE DESC"});
        QVERIFY(!s.Delete);
        QVERIFY(ParseGridStateLines({"[SEARCH]", ";delete me"}).Delete);
        QVERIFY(!ParseGridStateLines({"[SEARCH]", " ;DELETE"}).Delete);
    }

    void stateFilesRoundTrip()
    {
        const QString dir = ProgramDir() + "/states";
        QVERIFY(QDir().mkpath(dir));
        const TGridState a{"TSQLForm_SQLGrid", "Клиенты", {"NAME=Ив"}, {"CODE=5"},
                           {"Код = 1", BuilderSeparator, "Код = 2"}, {"CODE DESC"}, false};
        const TGridState b{"TSQLForm_SQLGrid", "Пусто", {}, {}, {}, {}, false};
        WriteGridStateFile(dir, a);
        WriteGridStateFile(dir, b);
        WriteTextLines(dir + "/no caret.GRD", {"[SEARCH]", "X=1"});
        WriteTextLines(dir + "/G^Del.GRD", {";DELETE"});

        const QStringList files = GridStateFiles(dir);
        QCOMPARE(files.size(), 4);
        QList<TGridState> read;
        int skipped = 0;
        for (const QString &path : files) {
            TGridState s;
            if (ReadGridStateFile(path, s))
                read << s;
            else
                ++skipped;
        }
        QCOMPARE(skipped, 1);
        QCOMPARE(read.size(), 3);
        QVERIFY(read.contains(a));
        QVERIFY(read.contains(b));
        const auto del = std::find_if(read.begin(), read.end(), [](const TGridState &s) { return s.Delete; });
        QVERIFY(del != read.end());
        QCOMPARE(del->Group, QString("G"));
        QCOMPARE(del->Title, QString("Del"));
    }
};

QUARN_TEST_MAIN(GridModelTest)
#include "GridModelTest.moc"
