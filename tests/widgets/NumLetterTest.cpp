#include "TestSupport.h"

#include "widgets/NumLetter.h"

#include <cmath>
#include <limits>

namespace {

const QString limitWords = QStringLiteral("Десять биллионов рублей 00 копеек");
const QString standardError = QStringLiteral("Не допустимы суммы, большие чем ");
const double inf = std::numeric_limits<double>::infinity();

// Options of a row of the component table, off the defaults.
enum { NoKopecks = 1, KopecksInWords = 2, OnlyValue = 4, NoPoint = 8 };

// Dollars and cents in place of roubles and kopecks; the grammar stays.
class TDollarLetter : public TNumLetter {
public:
    QString ZeroWord(int kind) const override { return kind == 1 ? "00 центов" : kind == 3 ? "зеро" : ""; }
    QString UnitWord(int index) const override
    {
        static const QStringList words = {"цент", "цента", "центов", "доллар", "доллара", "долларов"};
        return index >= 1 && index <= 6 ? words.at(index - 1) : TNumLetter::UnitWord(index);
    }
};

// Writes the index of each number word, to show which one the grammar picks.
class TIndexLetter : public TNumLetter {
public:
    using TNumLetter::TNumLetter;
    QString NumberWord(int index) const override { return QString::number(index); }
};

} // namespace

class TestNumLetter : public QObject {
    Q_OBJECT

private slots:
    void coder_data()
    {
        QTest::addColumn<double>("amount");
        QTest::addColumn<int>("options");
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("text");
        auto row = [](double amount, const QString &text, int options = 0, TUpDnSet style = udFirstChUp) {
            QTest::addRow("%.2f opt %d style %d", amount, options, int(style)) << amount << options
                                                                              << int(style) << text;
        };
        row(1, "Один рубль 00 копеек.");
        row(2, "Два рубля 00 копеек.");
        row(5, "Пять рублей 00 копеек.");
        row(11, "Одиннадцать рублей 00 копеек.");
        row(19, "Девятнадцать рублей 00 копеек.");
        row(21.05, "Двадцать один рубль 05 копеек.");
        row(22, "Двадцать два рубля 00 копеек.");
        row(101, "Сто один рубль 00 копеек.");
        row(111, "Сто одиннадцать рублей 00 копеек.");
        row(999, "Девятьсот девяносто девять рублей 00 копеек.");
        row(1000, "Одна тысяча рублей 00 копеек.");
        row(1001, "Одна тысяча один рубль 00 копеек.");
        row(2000, "Две тысячи рублей 00 копеек.");
        row(5000, "Пять тысяч рублей 00 копеек.");
        row(21000, "Двадцать одна тысяча рублей 00 копеек.");
        row(1e6, "Один миллион рублей 00 копеек.");
        row(2e6, "Два миллиона рублей 00 копеек.");
        row(5e6, "Пять миллионов рублей 00 копеек.");
        row(2e9, "Два миллиарда рублей 00 копеек.");
        row(3e12, "Три триллиона рублей 00 копеек.");
        row(2e15, "Два биллиона рублей 00 копеек.");
        row(1001001001.01, "Один миллиард один миллион одна тысяча один рубль 01 копейка.");
        row(123456789.12, "Сто двадцать три миллиона четыреста пятьдесят шесть тысяч "
                          "семьсот восемьдесят девять рублей 12 копеек.");
        row(0, "Ноль рублей 00 копеек.");
        row(0.02, "Ноль рублей 02 копейки.");
        row(0.21, "Ноль рублей 21 копейка.");
        row(-5, "Минус пять рублей 00 копеек.");
        row(1e16, limitWords + ".");
        row(-1e16, "Минус десять биллионов рублей 00 копеек.");
        // options
        row(0.5, "Ноль рублей пятьдесят копеек.", KopecksInWords);
        row(2.02, "Два рубля две копейки.", KopecksInWords);
        row(5.21, "Пять рублей двадцать одна копейка.", KopecksInWords);
        row(0, "Ноль рублей ноль копеек.", KopecksInWords);
        row(3.99, "Три рубля.", NoKopecks);
        row(3.995, "Четыре рубля.", NoKopecks); // rounded first
        row(21.05, "Двадцать один рубль 05 копеек", NoPoint);
        row(21, "Двадцать один", OnlyValue | NoKopecks | NoPoint);
        row(1000, "Одна тысяча", OnlyValue | NoKopecks | NoPoint);
        row(0, "Ноль.", OnlyValue | NoKopecks);
        // the empty unit words keep their blanks
        row(21.05, "Двадцать один  05", OnlyValue | NoPoint);
        row(21.05, "Двадцать один  пять", OnlyValue | KopecksInWords | NoPoint);
        row(0, "Ноль  00", OnlyValue | NoPoint);
        // letter case
        row(21.05, "двадцать один рубль 05 копеек.", 0, udAllDn);
        row(21.05, "ДВАДЦАТЬ ОДИН РУБЛЬ 05 КОПЕЕК.", 0, udAllUp);
        row(-1001, "Минус Одна Тысяча Один Рубль 00 Копеек.", 0, udEachWordUp);
        // failures: no letter case, no point
        row(2e16, standardError + limitWords);
        row(2e16, standardError + limitWords, 0, udAllUp);
        row(2e16, standardError + "Десять биллионов рублей", NoKopecks);
        row(1.0000000000000002e16, standardError + limitWords);
        row(inf, standardError + limitWords);
        row(-2e16, standardError);
        row(-inf, standardError);
    }
    void coder()
    {
        QFETCH(double, amount);
        QFETCH(int, options);
        QFETCH(int, style);
        QFETCH(QString, text);
        TUlmCoder coder;
        coder.SetTrailCmt(!(options & NoKopecks));
        coder.SetKopeikaAsDigit(!(options & KopecksInWords));
        coder.SetOnlyValue(options & OnlyValue);
        coder.SetTrailPoint(!(options & NoPoint));
        coder.SetUpDnStyle(TUpDnSet(style));
        coder.SetValue(1); // a success first: a failure must clear Valid
        coder.SetValue(amount);
        QCOMPARE(coder.Text(), text);
        QCOMPARE(coder.Valid(), !text.startsWith(standardError));
    }

    void rounding_data()
    {
        QTest::addColumn<double>("amount");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("rounded");
        QTest::addColumn<QString>("text");
        QTest::newRow("2.675") << 2.675 << true << "2.68" << "Два рубля 68 копеек";
        QTest::newRow("1.005") << 1.005 << true << "1.01" << "Один рубль 01 копейка";
        QTest::newRow("-2.675") << -2.675 << true << "-2.68" << "Минус два рубля 68 копеек";
        QTest::newRow("0.994") << 0.994 << true << "0.99" << "Ноль рублей 99 копеек";
        QTest::newRow("-0.004") << -0.004 << true << "0.00" << "Ноль рублей 00 копеек";
        QTest::newRow("1e12 gains no kopeck") << 1e12 << true << "1000000000000.00" << "Один триллион рублей 00 копеек";
        QTest::newRow("limit stays") << 1e16 << true << "10000000000000000.00" << limitWords;
        QTest::newRow("too large") << 2e16 << false << "20000000000000000.00" << limitWords;
        QTest::newRow("negative, too large") << -2e16 << false << "-20000000000000000.00" << "";
        QTest::newRow("not a number") << std::nan("") << false << "nan" << "";
    }
    void rounding()
    {
        QFETCH(double, amount);
        QFETCH(bool, ok);
        QFETCH(QString, rounded);
        QFETCH(QString, text);
        QString words = QStringLiteral("old");
        QCOMPARE(AmountInWords(amount, words, true, true, false), ok);
        QCOMPARE(QString::number(amount, 'f', 2), rounded);
        QVERIFY(amount != 0 || !std::signbit(amount));
        QCOMPARE(words, text);

        TUlmCoder coder; // the component keeps the rounded amount
        coder.SetValue(amount);
        QCOMPARE(QString::number(coder.Value(), 'f', 2), rounded);
    }

    void eachWordSeparators()
    {
        QCOMPARE(ApplyUpDnStyle("ОДИН-два(три)четыре,пять.шесть/семь:восемь;девять", udEachWordUp),
                 QString("Один-Два(Три)Четыре,Пять.Шесть/Семь:Восемь;Девять"));
        QCOMPARE(ApplyUpDnStyle("а!б\"в#г$д'е*ж+з<и=й>к?л[м]н^о{п}р~с", udEachWordUp),
                 QString("А!Б\"В#Г$Д'Е*Ж+З<И=Й>К?Л[М]Н^О{П}Р~С"));
        QCOMPARE(ApplyUpDnStyle("а%б&в@г_д|е\\ж`з", udEachWordUp), QString("А%б&в@г_д|е\\ж`з"));
    }

    void errorsAndEvents()
    {
        TUlmCoder coder;
        QVERIFY(coder.ErrorDef() && !coder.ExcRaise() && coder.UpDnStyle() == udFirstChUp && !coder.Valid());
        QStringList seen;
        coder.OnChange = [&] { seen << coder.Text() + (coder.Valid() ? "|ok" : "|bad"); };
        coder.SetErrorDef(false);
        coder.SetErrorCmt(QStringLiteral("Сумма слишком велика"));
        coder.SetValue(2e16);
        coder.SetValue(3);
        coder.SetExcRaise(true);
        QUARN_EXPECT_ERROR(coder.SetValue(-3e16), "Сумма слишком велика");
        QVERIFY(!coder.Valid());
        coder.SetErrorDef(true);
        QUARN_EXPECT_ERROR(coder.SetValue(5e16), standardError + limitWords);
        QCOMPARE(coder.Text(), standardError + limitWords);
        QCOMPARE(coder.Value(), 5e16);
        // a raised error fires nothing
        QCOMPARE(seen, QStringList({"Сумма слишком велика|bad", "Три рубля 00 копеек.|ok"}));
    }

    void letterState()
    {
        TNumLetter letter;
        QVERIFY(letter.Convert(-3) && letter.Negative() && !letter.TooLarge());
        QVERIFY(!letter.Convert(2e16) && letter.TooLarge() && !letter.Negative());
        QVERIFY(!letter.Convert(-2e16) && letter.Negative() && letter.Text().isEmpty());
    }

    void words()
    {
        const QStringList numbers = QString(
            "Один Одна Два Две Три Четыре Пять Шесть Семь Восемь Девять Десять Одиннадцать Двенадцать "
            "Тринадцать Четырнадцать Пятнадцать Шестнадцать Семнадцать Восемнадцать Девятнадцать "
            "Двадцать Тридцать Сорок Пятьдесят Шестьдесят Семьдесят Восемьдесят Девяносто Сто Двести "
            "Триста Четыреста Пятьсот Шестьсот Семьсот Восемьсот Девятьсот").split(' ');
        const QStringList units = QString(
            "копейка копейки копеек рубль рубля рублей тысяча тысячи тысяч миллион миллионов миллиона "
            "миллиард миллиардов миллиарда триллион триллионов триллиона биллион биллионов биллиона").split(' ');
        const TNumLetter letter;
        const TNumLetter onlyValue(true, true, true);
        for (int i = 0; i < numbers.size(); ++i)
            QCOMPARE(letter.NumberWord(i + 1), numbers.at(i));
        for (int i = 0; i < units.size(); ++i) {
            QCOMPARE(letter.UnitWord(i + 1), units.at(i));
            QCOMPARE(onlyValue.UnitWord(i + 1), i < 6 ? QString() : units.at(i));
        }
        for (int outside : {-1, 0, 39})
            QCOMPARE(letter.NumberWord(outside), QString());
        for (int outside : {0, 22})
            QCOMPARE(letter.UnitWord(outside), QString());
        const QStringList zero = {"", "00 копеек", "ноль копеек", "ноль", ""};
        const QStringList zeroOnlyValue = {"", "00", "ноль", "ноль", ""};
        for (int kind = 0; kind <= 4; ++kind) {
            QCOMPARE(letter.ZeroWord(kind), zero.at(kind));
            QCOMPARE(onlyValue.ZeroWord(kind), zeroOnlyValue.at(kind));
        }
    }

    void overriddenWords()
    {
        TDollarLetter dollars;
        QVERIFY(dollars.Convert(21.01));
        QCOMPARE(dollars.Text(), QString("Двадцать один доллар 01 цент"));
        QVERIFY(dollars.Convert(0));
        QCOMPARE(dollars.Text(), QString("Зеро долларов 00 центов"));
        // feminine numerals for kopecks and thousands, masculine otherwise
        TIndexLetter indexes(true, false, false);
        QVERIFY(indexes.Convert(2002002.02));
        QCOMPARE(indexes.Text(), QString("3 миллиона 4 тысячи 3 рубля 4 копейки"));
    }
};

QUARN_TEST_MAIN(TestNumLetter)
#include "NumLetterTest.moc"
