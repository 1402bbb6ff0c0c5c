#include "TestSupport.h"

#include "common/Convert.h"
#include "common/DateTime.h"
#include "common/Format.h"

#include <QDate>
#include <cmath>
#include <random>
#include <vector>

// Formatting and conversions of the runtime: Format, the float forms,
// FormatDateTime and reading numbers and dates back from text.
class FormatTest : public QObject {
    Q_OBJECT

    // Turns test data into Format arguments: int and qlonglong are
    // integers, double a floating value, QString a string.
    static QString formatVariants(const QString &fmt, const QVariantList &values)
    {
        std::vector<QString> strings;
        strings.reserve(size_t(values.size()));
        std::vector<TFormatArg> args;
        for (const QVariant &v : values) {
            switch (v.typeId()) {
            case QMetaType::Int:
            case QMetaType::LongLong:
                args.emplace_back(v.toLongLong());
                break;
            case QMetaType::Double:
                args.emplace_back(v.toDouble());
                break;
            default:
                strings.push_back(v.toString());
                args.emplace_back(strings.back());
                break;
            }
        }
        return Format(fmt, std::span<const TFormatArg>(args));
    }

private slots:
    void format_data()
    {
        QTest::addColumn<QString>("fmt");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<QString>("expected");

        QTest::newRow("fixed with width") << "%8.2f" << QVariantList{3.14159} << "    3.14";
        QTest::newRow("left-justified string") << "%-6s|" << QVariantList{"ab"} << "ab    |";
        QTest::newRow("right-justified string") << "%6s|" << QVariantList{"ab"} << "    ab|";
        QTest::newRow("indexes") << "%1:s %0:s" << QVariantList{"a", "b"} << "b a";
        QTest::newRow("index then sequence") << "%1:s %s %0:s" << QVariantList{"a", "b", "c"} << "b c a";
        QTest::newRow("index with width") << "[%1:-4s]" << QVariantList{"a", "b"} << "[b   ]";
        QTest::newRow("number groups thousands") << "%n" << QVariantList{1234567.891} << "1,234,567.89";
        QTest::newRow("number no decimals") << "%.0n" << QVariantList{-1234567.5} << "-1,234,568";
        QTest::newRow("currency") << "%m" << QVariantList{-1234.5} << "-1,234.50";
        QTest::newRow("integer min digits") << "%.5d" << QVariantList{-42} << "-00042";
        QTest::newRow("integer width") << "%5d|" << QVariantList{42} << "   42|";
        QTest::newRow("hex") << "%x %.4x" << QVariantList{255, 10} << "FF 000A";
        QTest::newRow("negative hex") << "%x" << QVariantList{-1} << "FFFFFFFF";
        QTest::newRow("general") << "%g" << QVariantList{0.1} << "0.1";
        QTest::newRow("general precision") << "%.3g" << QVariantList{3.14159} << "3.14";
        QTest::newRow("exponent") << "%e" << QVariantList{1234.5} << "1.23450000000000E+003";
        QTest::newRow("exponent precision") << "%.3e" << QVariantList{-0.000123} << "-1.23E-004";
        QTest::newRow("string precision cuts") << "%.2s" << QVariantList{"abcdef"} << "ab";
        QTest::newRow("star width") << "%*d" << QVariantList{4, 7} << "   7";
        QTest::newRow("percent") << "100%% %s" << QVariantList{"x"} << "100% x";
        QTest::newRow("cyrillic text") << "Итого: %s." << QVariantList{"сумма"} << "Итого: сумма.";
        QTest::newRow("upper-case directive") << "%S-%F" << QVariantList{"a", 1.0} << "a-1.00";
        QTest::newRow("no directives") << "plain" << QVariantList{} << "plain";
        QTest::newRow("rounds shown digits") << "%.2f" << QVariantList{2.675} << "2.68";
        QTest::newRow("no minus zero") << "%.2f" << QVariantList{-0.001} << "0.00";
        QTest::newRow("carry into new digit") << "%.1f" << QVariantList{9.96} << "10.0";
        // exact halves go away from zero in every form, as in the fixed one
        QTest::newRow("exponent tie") << "%.2e" << QVariantList{0.125} << "1.3E-001";
        QTest::newRow("exponent negative tie") << "%.2e" << QVariantList{-0.125} << "-1.3E-001";
        QTest::newRow("general tie") << "%.2g" << QVariantList{12.5} << "13";
        QTest::newRow("general tie below one") << "%.1g" << QVariantList{0.25} << "0.3";
        QTest::newRow("general tie carries") << "%.2g" << QVariantList{99.5} << "1E2";
        QTest::newRow("fixed tie") << "%.2f" << QVariantList{0.125} << "0.13";
    }
    void format()
    {
        QFETCH(QString, fmt);
        QFETCH(QVariantList, args);
        QFETCH(QString, expected);
        QCOMPARE(formatVariants(fmt, args), expected);
    }

    void formatErrors_data()
    {
        QTest::addColumn<QString>("fmt");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<bool>("missing");   // false: the invalid-format message

        QTest::newRow("d with float") << "%d" << QVariantList{1.5} << false;
        QTest::newRow("f with integer") << "%f" << QVariantList{1} << false;
        QTest::newRow("s with number") << "%s" << QVariantList{1.5} << false;
        QTest::newRow("ends in directive") << "abc %" << QVariantList{"x"} << false;
        QTest::newRow("ends after width") << "%-12" << QVariantList{"x"} << false;
        QTest::newRow("ends after point") << "%5." << QVariantList{1.0} << false;
        QTest::newRow("unknown type") << "%q" << QVariantList{"x"} << false;
        QTest::newRow("index without number") << "%:s" << QVariantList{"x"} << false;
        QTest::newRow("no arguments") << "%s" << QVariantList{} << true;
        QTest::newRow("index past arguments") << "%3:s" << QVariantList{"a", "b"} << true;
        QTest::newRow("second missing") << "%s %s" << QVariantList{"a"} << true;
        QTest::newRow("star missing") << "%*d" << QVariantList{} << true;
    }
    void formatErrors()
    {
        QFETCH(QString, fmt);
        QFETCH(QVariantList, args);
        QFETCH(bool, missing);
        const QString message = missing
            ? QStringLiteral("Отстутствует аргумент для формата '%1'").arg(fmt)
            : QStringLiteral("Формат '%1' неверный или несовместимый с аргументом").arg(fmt);
        QUARN_EXPECT_ERROR(formatVariants(fmt, args), message);
    }

    void floatForms_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("precision");
        QTest::addColumn<int>("digits");
        QTest::addColumn<QString>("expected");

        const int G = int(TFloatFormat::ffGeneral), E = int(TFloatFormat::ffExponent),
                  F = int(TFloatFormat::ffFixed), N = int(TFloatFormat::ffNumber),
                  C = int(TFloatFormat::ffCurrency);
        QTest::newRow("general integer") << 12.0 << G << 15 << 0 << "12";
        QTest::newRow("general fraction") << 12.5 << G << 15 << 0 << "12.5";
        QTest::newRow("general drops binary noise") << 0.1 + 0.2 << G << 15 << 0 << "0.3";
        QTest::newRow("general negative") << -0.25 << G << 15 << 0 << "-0.25";
        QTest::newRow("general zero") << 0.0 << G << 15 << 0 << "0";
        QTest::newRow("general small stays fixed") << 0.00001 << G << 15 << 0 << "0.00001";
        QTest::newRow("general tiny scientific") << 0.000001 << G << 15 << 0 << "1E-6";
        QTest::newRow("general large scientific") << 1.5e20 << G << 15 << 0 << "1.5E20";
        QTest::newRow("general 15 digits fixed") << 123456789012345.0 << G << 15 << 0 << "123456789012345";
        QTest::newRow("general low precision") << 123456.0 << G << 3 << 0 << "1.23E5";
        QTest::newRow("general exponent digits") << 1e-7 << G << 15 << 2 << "1E-07";
        QTest::newRow("exponent") << 1.0 << E << 4 << 2 << "1.000E+00";
        QTest::newRow("exponent zero") << 0.0 << E << 3 << 3 << "0.00E+000";
        QTest::newRow("fixed") << 3.14159 << F << 15 << 3 << "3.142";
        QTest::newRow("fixed no decimals") << 2.5 << F << 15 << 0 << "3";
        QTest::newRow("fixed negative") << -1234.5 << F << 15 << 2 << "-1234.50";
        QTest::newRow("fixed too many digits") << 1e20 << F << 15 << 2 << "1E20";
        QTest::newRow("fixed below one") << 0.05 << F << 15 << 1 << "0.1";
        QTest::newRow("fixed 0.285") << 0.285 << F << 15 << 2 << "0.29";
        QTest::newRow("number") << 1234567.0 << N << 15 << 2 << "1,234,567.00";
        QTest::newRow("number three digits") << 999.0 << N << 15 << 0 << "999";
        QTest::newRow("number rounding adds group") << 999999.999 << N << 15 << 2 << "1,000,000.00";
        QTest::newRow("currency") << -1234.5 << C << 15 << 2 << "-1,234.50";
        QTest::newRow("currency zero") << 0.0 << C << 15 << 2 << "0.00";
        QTest::newRow("fixed whole number") << 1234567.0 << F << 15 << 2 << "1234567.00";
        QTest::newRow("fixed whole negative") << -42.0 << F << 15 << 0 << "-42";
        QTest::newRow("fixed whole 15 digits") << 999999999999999.0 << F << 15 << 1 << "999999999999999.0";
        QTest::newRow("fixed whole beyond precision") << 1234567.0 << F << 5 << 0 << "1.2346E6";
        QTest::newRow("general whole rounds up") << 999999.0 << G << 3 << 0 << "1E6";
        QTest::newRow("general whole with zeros") << 1200.0 << G << 15 << 0 << "1200";
        QTest::newRow("general whole 16 digits") << 1234567890123456.0 << G << 15 << 0 << "1.23456789012346E15";
        // values with a few decimals take a short route to their digits
        QTest::newRow("fixed amount half up") << 1.005 << F << 15 << 2 << "1.01";
        QTest::newRow("fixed amount one decimal") << 1234.25 << F << 15 << 1 << "1234.3";
        QTest::newRow("fixed amount negative") << -12.25 << F << 15 << 1 << "-12.3";
        QTest::newRow("fixed amount to a unit") << 0.995 << F << 15 << 2 << "1.00";
        QTest::newRow("fixed amount many digits") << 123456.789 << F << 15 << 2 << "123456.79";
        QTest::newRow("fixed millionth") << 0.000001 << F << 15 << 6 << "0.000001";
        QTest::newRow("fixed beyond millionths") << 0.0000015 << F << 15 << 6 << "0.000002";
        QTest::newRow("fixed binary noise dropped") << 0.1 + 0.2 << F << 15 << 17 << "0.30000000000000000";
        QTest::newRow("fixed sum with noise") << 12.25 + 2.45 << F << 15 << 2 << "14.70";
        QTest::newRow("fixed noise beyond 15 digits") << 1.0 / 3 << F << 15 << 17 << "0.33333333333333300";
        QTest::newRow("fixed next to a whole number") << std::nextafter(5.0, 6.0) << F << 15 << 16 << "5.0000000000000000";
        QTest::newRow("fixed amount low precision") << 1.2345 << F << 3 << 3 << "1.230";
        QTest::newRow("currency tie in precision") << 12.5 << C << 2 << 2 << "13.00";
        QTest::newRow("general tie in precision") << 2.5 << G << 1 << 0 << "3";
        QTest::newRow("exponent tie in precision") << 1.5 << E << 1 << 0 << "2E+0";
        QTest::newRow("below a tie stays down") << 0.1245 << G << 2 << 0 << "0.12";
        QTest::newRow("number amount") << 1234567.25 << N << 15 << 2 << "1,234,567.25";
        QTest::newRow("nan") << std::nan("") << G << 15 << 0 << "NAN";
        QTest::newRow("minus infinity") << -HUGE_VAL << F << 15 << 2 << "-INF";
    }
    void floatForms()
    {
        QFETCH(double, value);
        QFETCH(int, format);
        QFETCH(int, precision);
        QFETCH(int, digits);
        QFETCH(QString, expected);
        QCOMPARE(FloatToStrF(value, TFloatFormat(format), precision, digits), expected);
        QString appended = QStringLiteral("= ");
        AppendFloatToStrF(appended, value, TFloatFormat(format), precision, digits);
        QCOMPARE(appended, QStringLiteral("= ") + expected);
    }

    void floatUsesSettings()
    {
        TFormatSettings fs = FormatSettings();
        fs.DecimalSeparator = u'-';
        fs.ThousandSeparator = u' ';
        QCOMPARE(FloatToStrF(12345.5, TFloatFormat::ffNumber, 15, 2, fs), QString("12 345-50"));
        QCOMPARE(Format("%.1f", {2.25}, fs), QString("2-3"));
        // the process-wide settings are untouched
        QCOMPARE(FloatToStr(2.5), QString("2.5"));
    }

    // Values that are whole numbers of hundredths (and the like) are printed
    // in fixed form by a quick route; the currency form, with neither
    // thousand separator nor currency symbol, prints the same digits through
    // the general one and must agree with it everywhere.
    void quickFixedAgreesWithGeneralRoute()
    {
        TFormatSettings fs = FormatSettings();
        fs.ThousandSeparator = QChar();
        fs.CurrencyString.clear();
        fs.DecimalSeparator = u',';
        QList<double> values = {0.0, -0.0, 0.5, 0.05, 0.005, 0.004, 0.01, 0.1, 0.285, 2.675, 1.005, 999.995,
                                123.25, 1e-7, 99999999999999.0, 999999999999999.0, 1e15, 12345678.9,
                                std::nextafter(0.1, 1.0), std::nextafter(0.1, 0.0)};
        std::mt19937_64 random(20261208);
        for (int i = 0; i < 20000; ++i) {
            const int decimals = int(random() % 7);
            const double scaled = double(random() % 100000000000ULL) / std::pow(10.0, double(random() % 12));
            values << scaled << std::round(scaled * std::pow(10.0, decimals)) / std::pow(10.0, decimals);
        }
        for (double v : values) {
            for (double x : {v, -v}) {
                for (int precision : {4, 9, 15}) {
                    for (int decimals = 0; decimals <= 7; ++decimals) {
                        const QString general = FloatToStrF(x, TFloatFormat::ffCurrency, precision, decimals, fs);
                        // the fixed form shows at most `precision` integer digits, as general form beyond
                        if (std::fabs(x) >= std::pow(10.0, precision))
                            continue;
                        const QString quick = FloatToStrF(x, TFloatFormat::ffFixed, precision, decimals, fs);
                        if (quick != general)
                            QFAIL(qPrintable(QStringLiteral("%1 with %2/%3: %4, general %5")
                                                 .arg(x, 0, 'g', 17).arg(precision).arg(decimals).arg(quick, general)));
                    }
                }
            }
        }
    }

    void dayNumbers()
    {
        QCOMPARE(EncodeDate(1899, 12, 30), 0.0);
        QCOMPARE(EncodeDate(1900, 1, 1), 2.0);
        QCOMPARE(EncodeDate(2000, 1, 1), 36526.0);
        QCOMPARE(EncodeDate(1899, 12, 29), -1.0);
        QCOMPARE(EncodeTime(12, 0, 0, 0), 0.5);
        QCOMPARE(DateTimeToQDateTime(36526.75), QDateTime(QDate(2000, 1, 1), QTime(18, 0)));
        // before the epoch the fraction still counts from midnight
        QCOMPARE(DateTimeToQDateTime(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
        QCOMPARE(QDateTimeToDateTime(QDateTime(QDate(1899, 12, 29), QTime(6, 0))), -1.25);
        QCOMPARE(QDateToDateTime(QDate(2024, 2, 29)), 45351.0);
        QCOMPARE(DayOfWeek(EncodeDate(2024, 2, 29)), 5);   // Thursday
        int y, m, d;
        DecodeDate(45351.99, y, m, d);
        QCOMPARE(QDate(y, m, d), QDate(2024, 2, 29));
        // a time that rounds up to midnight belongs to the next day
        QCOMPARE(DateTimeToQDate(45351.9999999999), QDate(2024, 3, 1));
        QUARN_EXPECT_ERROR(EncodeDate(2023, 2, 29), "Неверный аргумент для кодирования даты");
    }

    void formatDateTime_data()
    {
        QTest::addColumn<QString>("fmt");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");

        const double d = EncodeDate(2024, 3, 5) + EncodeTime(14, 7, 9, 45);
        const double morning = EncodeDate(2024, 3, 5) + EncodeTime(0, 5, 0, 0);
        QTest::newRow("long date") << "dd mmmm yyyy" << d << "05 Март 2024";
        QTest::newRow("short parts") << "d.m.yy" << d << "5.3.24";
        QTest::newRow("month names") << "mmm/mmmm" << d << "мар.Март";
        QTest::newRow("day names") << "ddd dddd" << d << "вт вторник";
        QTest::newRow("time") << "hh:nn:ss.zzz" << d << "14:07:09.045";
        QTest::newRow("m after h is minutes") << "h:mm" << d << "14:07";
        QTest::newRow("m after quote still minutes") << "h' ч 'm" << d << "14 ч 7";
        QTest::newRow("12-hour am/pm") << "h:nn am/pm" << d << "2:07 pm";
        QTest::newRow("12-hour AM/PM case") << "hh AM/PM" << morning << "12 AM";
        QTest::newRow("a/p") << "h a/p" << d << "2 p";
        QTest::newRow("ampm from settings") << "h ampm" << morning << "12 AM";
        QTest::newRow("quoted text") << "\"Дата:\" dd.mm" << d << "Дата: 05.03";
        QTest::newRow("c with time") << "c" << d << "05.03.2024 14:07:09";
        QTest::newRow("c at midnight") << "c" << EncodeDate(2024, 3, 5) << "05.03.2024";
        QTest::newRow("empty means c") << "" << EncodeDate(2024, 3, 5) << "05.03.2024";
        QTest::newRow("short and long date") << "ddddd|dddddd" << d << "05.03.2024|05 Март 2024";
        QTest::newRow("short and long time") << "t|tt" << d << "14:07|14:07:09";
        QTest::newRow("separators") << "dd/mm/yyyy" << d << "05.03.2024";
        QTest::newRow("case-insensitive") << "DD.MM.YYYY" << d << "05.03.2024";
        QTest::newRow("epoch") << "dd.mm.yyyy" << 0.0 << "30.12.1899";
        QTest::newRow("year 1") << "yyyy" << EncodeDate(1, 1, 1) << "0001";
        QTest::newRow("A/P upper case") << "h A/P" << d << "2 P";
        QTest::newRow("a in quotes is no marker") << "hh 'am'" << d << "14 am";
        QTest::newRow("before 1899") << "dd.mm.yyyy hh:nn" << EncodeDate(1800, 1, 2) - EncodeTime(6, 0, 0, 0)
                                     << "02.01.1800 06:00";
    }
    void formatDateTime()
    {
        QFETCH(QString, fmt);
        QFETCH(double, value);
        QFETCH(QString, expected);
        QCOMPARE(FormatDateTime(fmt, value), expected);
        QString appended = QStringLiteral("at ");
        AppendDateTime(appended, fmt, value);
        QCOMPARE(appended, QStringLiteral("at ") + expected);
    }

    // Formats of numbers only are printed by a quick route of their own; a
    // time directive sends the same format through the general one, so the
    // two must agree on the date over the whole calendar, the day a rounded
    // time carries over to and the dates before 1899 included.
    void dateOnlyFormatsAgree()
    {
        QList<double> values = {-693593, -693592.5, -1.25, -0.5, 0, 59, 60, 61, 36525.9999999999, 45351.99,
                                2958465, 2958465.75};
        for (double day = -693593; day <= 2958465; day += 997.0)
            values << day << day + 0.3;
        const QStringList formats = {"dd.mm.yyyy", "d/m/yy", "yyyy-mm-dd 'г.'", "ddmmyyyy", "m:d y"};
        for (const QString &fmt : formats) {
            for (double v : values) {
                const QString quick = FormatDateTime(fmt, v);
                const QString general = FormatDateTime(fmt + QStringLiteral("|h"), v);
                QCOMPARE(quick + QStringLiteral("|") + FormatDateTime(QStringLiteral("h"), v), general);
            }
        }
        // the calendar itself, both ways, against Qt's
        const QDate epoch(1899, 12, 30);
        for (int year : {1, 2, 3, 4, 99, 100, 400, 1582, 1600, 1899, 1900, 2000, 2023, 2024, 2100, 9999}) {
            for (int month = 0; month <= 13; ++month) {
                for (int day = 0; day <= 32; ++day) {
                    TDateTime encoded = -1;
                    const bool valid = TryEncodeDate(year, month, day, encoded);
                    QCOMPARE(valid, QDate::isValid(year, month, day));
                    if (valid) {
                        QCOMPARE(encoded, double(epoch.daysTo(QDate(year, month, day))));
                        QCOMPARE(DateTimeToQDate(encoded), QDate(year, month, day));
                    }
                }
            }
        }
        for (double day = -693593; day <= 2958465; day += 9973.0) {
            const QDate date = QDate(1899, 12, 30).addDays(qint64(day));
            QCOMPARE(FormatDateTime(QStringLiteral("yyyy-mm-dd"), day), date.toString(QStringLiteral("yyyy-MM-dd")));
        }
        // outside the years 1 to 9999 the general route still prints
        QCOMPARE(FormatDateTime(QStringLiteral("yyyy"), EncodeDate(9999, 12, 31) + 1), QStringLiteral("10000"));
    }

    // DecodeDate and DayOfWeek over the whole calendar and past both its
    // ends, where dates are still QDate's (no year 0), against Qt's.
    void calendarOfDayNumbers_data()
    {
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<qint64>("step");
        QTest::newRow("years 1 to 9999") << qint64(-693593) << qint64(2958465) << qint64(997);
        QTest::newRow("around 1 January 1") << qint64(-693600) << qint64(-693585) << qint64(1);
        QTest::newRow("around 31 December 9999") << qint64(2958458) << qint64(2958473) << qint64(1);
        QTest::newRow("leap days 1900 to 2100") << qint64(59) << qint64(73110) << qint64(1);
        QTest::newRow("before year 1") << qint64(-4000000) << qint64(-693594) << qint64(10007);
        QTest::newRow("far future") << qint64(2958466) << qint64(400000000) << qint64(9999991);
    }
    void calendarOfDayNumbers()
    {
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(qint64, step);
        const QDate epoch(1899, 12, 30);
        for (qint64 day = from; day <= to; day += step) {
            const QDate date = epoch.addDays(day);
            // a time of day, which counts forward from midnight before 1899 too
            const double dt = double(day) + (day < 0 ? -0.25 : 0.25);
            int y = 0, m = 0, d = 0;
            DecodeDate(dt, y, m, d);
            QCOMPARE(QDate(y, m, d), date);
            QCOMPARE(DayOfWeek(dt), date.dayOfWeek() % 7 + 1);
        }
    }

    void dateTimeTexts()
    {
        const double d = EncodeDate(2024, 12, 31) + EncodeTime(9, 5, 3, 0);
        QCOMPARE(DateToStr(d), QString("31.12.2024"));
        QCOMPARE(TimeToStr(d), QString("9:05:03"));
        QCOMPARE(DateTimeToStr(d), QString("31.12.2024 9:05:03"));
    }

    void strToFloat_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<double>("value");

        QTest::newRow("integer") << "42" << true << 42.0;
        QTest::newRow("decimal") << "-1.25" << true << -1.25;
        QTest::newRow("blanks around") << "  3.5  " << true << 3.5;
        QTest::newRow("plus") << "+7" << true << 7.0;
        QTest::newRow("leading point") << ".5" << true << 0.5;
        QTest::newRow("trailing point") << "5." << true << 5.0;
        QTest::newRow("exponent") << "1.5E3" << true << 1500.0;
        QTest::newRow("negative exponent") << "25e-2" << true << 0.25;
        QTest::newRow("comma decimal") << "1,5" << false << 0.0;
        QTest::newRow("thousands") << "1,000.5" << false << 0.0;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("blank") << "   " << false << 0.0;
        QTest::newRow("sign only") << "-" << false << 0.0;
        QTest::newRow("point only") << "." << false << 0.0;
        QTest::newRow("exponent without digits") << "1e" << false << 0.0;
        QTest::newRow("garbage after") << "12abc" << false << 0.0;
        QTest::newRow("overflow") << "1e999" << false << 0.0;
        QTest::newRow("word") << "abc" << false << 0.0;
    }
    void strToFloat()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(double, value);
        if (valid)
            QCOMPARE(StrToFloat(text), value);
        else
            QUARN_EXPECT_ERROR(StrToFloat(text),
                               QStringLiteral("'%1' - не значение с плавающей запятой").arg(text));
    }

    void strToInt_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("value");

        QTest::newRow("plain") << "123" << true << 123;
        QTest::newRow("negative") << "-45" << true << -45;
        QTest::newRow("leading blanks") << "  7" << true << 7;
        QTest::newRow("hex dollar") << "$1F" << true << 31;
        QTest::newRow("hex 0x") << "0x10" << true << 16;
        QTest::newRow("min") << "-2147483648" << true << INT32_MIN;
        QTest::newRow("too large") << "2147483648" << false << 0;
        QTest::newRow("decimal point") << "1.5" << false << 0;
        QTest::newRow("trailing blank") << "7 " << false << 0;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("sign only") << "-" << false << 0;
        QTest::newRow("hex prefix only") << "$" << false << 0;
    }
    void strToInt()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, value);
        if (valid)
            QCOMPARE(StrToInt(text), value);
        else
            QUARN_EXPECT_ERROR(StrToInt(text), QStringLiteral("'%1' - не целое значение").arg(text));
    }

    void strToInt64Range()
    {
        QCOMPARE(StrToInt64("9223372036854775807"), Q_INT64_C(9223372036854775807));
        QCOMPARE(StrToInt64("-9223372036854775808"), std::numeric_limits<qint64>::min());
        QUARN_EXPECT_ERROR(StrToInt64("9223372036854775808"),
                           "'9223372036854775808' - не целое значение");
    }

    void strToDate_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("expected");   // invalid: the text is not a date

        const int year = QDate::currentDate().year();
        QTest::newRow("full") << "05.03.2024" << QDate(2024, 3, 5);
        QTest::newRow("single digits") << "5.3.2024" << QDate(2024, 3, 5);
        QTest::newRow("no year") << "1.2" << QDate(year, 2, 1);
        QTest::newRow("two-digit year") << "01.01.24" << QDate(2024, 1, 1);
        QTest::newRow("blanks") << " 1 . 2 . 2020 " << QDate(2020, 2, 1);
        QTest::newRow("leap day") << "29.02.2024" << QDate(2024, 2, 29);
        QTest::newRow("not a leap year") << "29.02.2023" << QDate();
        QTest::newRow("month 13") << "01.13.2024" << QDate();
        QTest::newRow("day 0") << "0.1.2024" << QDate();
        QTest::newRow("slashes") << "01/02/2024" << QDate();
        QTest::newRow("one number") << "15" << QDate();
        QTest::newRow("garbage") << "вчера" << QDate();
        QTest::newRow("empty") << "" << QDate();
        QTest::newRow("trailing text") << "01.02.2024x" << QDate();
        QTest::newRow("five-digit year") << "01.02.20240" << QDate();
        QTest::newRow("missing year part") << "01.02." << QDate();
    }
    void strToDate()
    {
        QFETCH(QString, text);
        QFETCH(QDate, expected);
        if (expected.isValid())
            QCOMPARE(DateTimeToQDate(StrToDate(text)), expected);
        else
            QUARN_EXPECT_ERROR(StrToDate(text), QStringLiteral("'%1' - неверная дата").arg(text));
    }

    void strToDateFollowsFormatOrder()
    {
        TFormatSettings fs = FormatSettings();
        fs.ShortDateFormat = QStringLiteral("yyyy-mm-dd");
        fs.DateSeparator = u'-';
        QCOMPARE(DateTimeToQDate(StrToDate("2024-03-05", fs)), QDate(2024, 3, 5));
    }

    void strToTime()
    {
        QCOMPARE(StrToTime("14:30"), EncodeTime(14, 30, 0, 0));
        QCOMPARE(StrToTime("2:30:15 PM"), EncodeTime(14, 30, 15, 0));
        QCOMPARE(StrToTime("12:00 AM"), 0.0);
        QCOMPARE(StrToDateTime("05.03.2024 12:00"), EncodeDate(2024, 3, 5) + 0.5);
        QVERIFY_THROWS_EXCEPTION(EConvertError, StrToTime("25:00"));
        QVERIFY_THROWS_EXCEPTION(EConvertError, StrToTime("13:00 PM"));
        QVERIFY_THROWS_EXCEPTION(EConvertError, StrToDateTime("05.03.2024 noon"));
    }

    void roundTrips()
    {
        // what the formatter writes, the readers read back
        for (double v : {0.1, -2.5, 1234.5678, 1e-7, 123456789012345.0}) {
            QCOMPARE(StrToFloat(FloatToStr(v)), v);
        }
        for (double d : {0.0, 36526.0, 45351.0, EncodeDate(1, 1, 1), EncodeDate(9999, 12, 31)})
            QCOMPARE(StrToDate(DateToStr(d)), d);
    }
};

QUARN_TEST_MAIN(FormatTest)
#include "FormatTest.moc"
