#include "TestSupport.h"

#include "common/DateTime.h"
#include "report/FieldFormat.h"

// Field references' formats and how numbers, dates and
// strings are shown in them.
class FieldFormatTest : public QObject {
    Q_OBJECT

private slots:
    void specs_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<int>("consumed");

        QTest::newRow("width and decimals") << "-12.2 x" << int(ffRight) << 12 << 2 << 5;
        QTest::newRow("accounting") << "=15.2" << int(ffAccounting) << 15 << 2 << 5;
        QTest::newRow("zero as zero") << "#8" << int(ffZeroAsZero) << 8 << 0 << 2;
        QTest::newRow("count") << "-12.202" << int(ffRight | ffCount) << 12 << 2 << 7;
        QTest::newRow("previous") << "10.102" << int(ffPrevious) << 10 << 2 << 6;
        QTest::newRow("current") << "10.300" << int(ffCurrent) << 10 << 0 << 6;
        QTest::newRow("all three steps") << "5.600" << int(ffCurrent | ffCount | ffPrevious) << 5 << 0 << 5;
        QTest::newRow("currency") << "$12.2" << int(ffCurrency | ffRight) << 12 << 2 << 5;
        QTest::newRow("order of characters") << "-+#=G$0" << int(ffRight | ffCenter | ffZeroAsZero | ffAccounting | ffGeneral | ffCurrency | ffZeroPad) << 0 << 0 << 7;
        QTest::newRow("lower g") << "g10.3" << int(ffGeneral) << 10 << 3 << 5;
        QTest::newRow("out of order stops") << "+-5" << int(ffCenter) << 0 << 0 << 1;
        QTest::newRow("zero pad then width") << "010" << int(ffZeroPad) << 10 << 0 << 3;
        QTest::newRow("two points: decimals invalid") << "30.3.1" << 0 << 30 << 0 << 6;
        QTest::newRow("string wrap") << "30.3" << 0 << 30 << 3 << 4;
        QTest::newRow("nothing") << " x" << 0 << 0 << 0 << 0;
        QTest::newRow("huge width clamped") << "-999999999" << int(ffRight) << 4096 << 0 << 10;
        QTest::newRow("huge decimals clamped") << "5.99999" << int(ffCurrent | ffCount | ffPrevious) << 5 << 99 << 7;
    }
    void specs()
    {
        QFETCH(QString, text);
        qsizetype pos = 0;
        const TFieldSpec spec = ParseFieldSpec(text, pos);
        QTEST(spec.flags, "flags");
        QTEST(spec.width, "width");
        QTEST(spec.decimals, "decimals");
        QTEST(int(pos), "consumed");
    }

    void numbers_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("spec");
        QTest::addColumn<QString>("expected");

        QTest::newRow("plain rounds to whole") << 2.5 << "" << "3";
        QTest::newRow("plain decimals") << 1234.567 << "12.2" << "1234.57";
        QTest::newRow("negative") << -0.5 << "8.1" << "-0.5";
        QTest::newRow("accounting fraction") << 125.5 << "=15.2" << "125-50";
        QTest::newRow("accounting whole") << 125.0 << "=15.2" << "125=";
        QTest::newRow("accounting no decimals") << 125.0 << "=15" << "125";
        QTest::newRow("currency") << 1234.5 << "$12.2" << "1,234.50";
        QTest::newRow("currency general drops zeros") << 1234.0 << "G$12.2" << "1,234";
        QTest::newRow("currency general keeps cents") << 1234.5 << "G$12.2" << "1,234.50";
        QTest::newRow("general") << 0.125 << "G10" << "0.125";
        QTest::newRow("zero as zero") << 0.0 << "#10.2" << "0";
        QTest::newRow("zero without #") << 0.0 << "10.2" << "0.00";
        QTest::newRow("huge plain") << 1e20 << ".0" << "100000000000000000000";
    }
    void numbers()
    {
        QFETCH(double, value);
        QFETCH(QString, spec);
        QFETCH(QString, expected);
        qsizetype pos = 0;
        QCOMPARE(FormatFieldNumber(value, ParseFieldSpec(spec, pos)), expected);
    }

    void dates()
    {
        QCOMPARE(FormatFieldDate(0), QString());
        QCOMPARE(FormatFieldDate(EncodeDate(2024, 3, 5)), QString("05.03.2024"));
        QCOMPARE(FormatFieldDate(EncodeDate(2024, 3, 5) + EncodeTime(9, 30, 0, 0)), QString("05.03.2024 9:30:00"));
        QCOMPARE(FormatFieldDate(EncodeTime(18, 0, 5, 0)), QString("18:00:05"));
    }

    void padding()
    {
        TFieldSpec s;
        s.width = 7;
        s.flags = ffCenter;
        QCOMPARE(PadFieldText("abc", s), QString("  abc  "));
        s.width = 6;
        QCOMPARE(PadFieldText("abc", s), QString(" abc  "));
        s.flags = ffRight | ffZeroPad;
        QCOMPARE(PadFieldText("42", s), QString("000042"));
        QCOMPARE(PadFieldText("42", s, false), QString("    42"));
        s.flags = 0;
        QCOMPARE(PadFieldText("toolongtext", s), QString("toolongtext"));
    }

    void appendingLeavesTheLineBefore()
    {
        TFieldSpec s;
        s.width = 8;
        s.decimals = 2;
        s.flags = ffRight;
        // the blanks of the line before the field are not the number's
        QString line = QStringLiteral("  |");
        const qsizetype start = line.size();
        AppendFieldNumber(line, 12.5, s);
        QCOMPARE(line, QStringLiteral("  |") + FormatFieldNumber(12.5, s));
        PadFieldTail(line, start, s);
        QCOMPARE(line, QStringLiteral("  |") + PadFieldText(FormatFieldNumber(12.5, s), s));
        QCOMPARE(line, QStringLiteral("  |   12.50"));

        s.flags = ffCenter;
        line = QStringLiteral("ab");
        line += QStringLiteral("xyz");
        PadFieldTail(line, 2, s);
        QCOMPARE(line, QStringLiteral("ab  xyz   "));
        s.flags = 0;
        line = QStringLiteral("ab");
        line += QStringLiteral("toolongtext");
        PadFieldTail(line, 2, s);
        QCOMPARE(line, QStringLiteral("abtoolongtext"));

        // accounting and general forms end the same appended as alone
        for (int flags : {int(ffAccounting), ffCurrency | ffGeneral | ffRight, int(ffZeroAsZero)}) {
            s.flags = flags;
            s.decimals = 2;
            for (double v : {0.0, 7.0, -3.25, 1e16}) {
                QString out = QStringLiteral("@");
                AppendFieldNumber(out, v, s);
                QCOMPARE(out, QStringLiteral("@") + FormatFieldNumber(v, s));
            }
        }
        s.flags = ffAccounting;
        QCOMPARE(FormatFieldNumber(7, s), QStringLiteral("7="));

        QString dated = QStringLiteral("on ");
        AppendFieldDate(dated, EncodeDate(2024, 3, 5) + EncodeTime(9, 30, 0, 0));
        QCOMPARE(dated, QStringLiteral("on 05.03.2024 9:30:00"));
        AppendFieldDate(dated, 0);
        QCOMPARE(dated, QStringLiteral("on 05.03.2024 9:30:00"));
    }

    // Plain numbers are padded in the same step as they are written; every
    // field spec must come out as the number padded afterwards.
    void paddedNumbersAsPaddedAfterwards()
    {
        const QStringList specs = {"", "8", "-8", "+9", "-08", "08", "12.2", "-12.2", "+12.2", "-012.2", "3.2",
                                   "-14.7", "#10.2", "=15.2", "$12.2", "G10", "-5", ".0"};
        const QList<double> values = {0.0, 1.0, -1.0, 7.5, -0.25, 1234.56, 0.005, 99999999.99, 2.675,
                                      1e14, 1e16, 123456789012.25, -4.0 / 3.0};
        for (const QString &text : specs) {
            qsizetype pos = 0;
            const TFieldSpec spec = ParseFieldSpec(text, pos);
            for (double v : values) {
                QString expected = QStringLiteral("|");
                AppendFieldNumber(expected, v, spec);
                PadFieldTail(expected, 1, spec, true);
                QString padded = QStringLiteral("|");
                AppendPaddedFieldNumber(padded, v, spec);
                QVERIFY2(padded == expected,
                         qPrintable(text + QStringLiteral(" ") + QString::number(v) + u':' + padded + u'/' + expected));
            }
        }
    }

    void wrapping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QStringList>("lines");

        QTest::newRow("fits") << "short" << 10 << QStringList{"short"};
        QTest::newRow("at blank") << "one two three" << 8 << QStringList{"one two ", "three"};
        QTest::newRow("no candidate") << "abcdefghij" << 4 << QStringList{"abcd", "efgh", "ij"};
        QTest::newRow("decimal number whole") << "sum 3.14159 ok" << 9 << QStringList{"sum ", "3.14159 ", "ok"};
        QTest::newRow("grouped number whole") << "1,000,000 x" << 8 << QStringList{"1,000,00", "0 x"};
        QTest::newRow("hyphen breaks") << "north-west wind" << 8 << QStringList{"north-", "west ", "wind"};
        QTest::newRow("time not broken") << "at 12:30 sharp" << 7 << QStringList{"at ", "12:30 ", "sharp"};
        QTest::newRow("empty") << "" << 5 << QStringList{};
    }
    void wrapping()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QTEST(WrapFieldText(text, width), "lines");
    }
};

QUARN_TEST_MAIN(FieldFormatTest)
#include "FieldFormatTest.moc"
