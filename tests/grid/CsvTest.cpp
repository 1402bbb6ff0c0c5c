// CSV as the grid writes and reads it: fields quoted when they must be,
// records read back with their line numbers, files in UTF-8 with the
// byte-order mark or in the code page, and the texts of a file turned into
// the values of a table's columns.

#include "TestSupport.h"

#include "common/Settings.h"
#include "grid/Csv.h"
#include "grid/CsvImport.h"

#include <QtTest>

Q_DECLARE_METATYPE(TFieldType)

using Records = QList<QStringList>;

namespace {

Records readAll(const QString &text, QChar separator, QList<int> *lines = nullptr)
{
    Records records;
    TCsvReader reader(text, separator);
    QStringList fields;
    while (reader.Next(fields)) {
        records.append(fields);
        if (lines)
            lines->append(reader.Line());
    }
    return records;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

} // namespace

class CsvTest : public QObject {
    Q_OBJECT

private slots:
    void field_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QString>("written");
        QTest::newRow("plain") << "abc" << QChar(u',') << "abc";
        QTest::newRow("empty") << "" << QChar(u',') << "";
        QTest::newRow("blanks kept bare") << " a b " << QChar(u',') << " a b ";
        QTest::newRow("comma") << "1,5" << QChar(u',') << "\"1,5\"";
        QTest::newRow("comma under semicolon") << "1,5" << QChar(u';') << "1,5";
        QTest::newRow("semicolon") << "a;b" << QChar(u';') << "\"a;b\"";
        QTest::newRow("quotes doubled") << "say \"hi\"" << QChar(u',') << "\"say \"\"hi\"\"\"";
        QTest::newRow("line feed") << "one\ntwo" << QChar(u',') << "\"one\ntwo\"";
        QTest::newRow("carriage return") << "one\rtwo" << QChar(u';') << "\"one\rtwo\"";
        QTest::newRow("cyrillic") << "Привет" << QChar(u',') << "Привет";
    }
    void field()
    {
        QFETCH(QString, value);
        QFETCH(QChar, separator);
        QFETCH(QString, written);
        QString record = QStringLiteral("x");
        AppendCsvField(record, value, separator);
        QCOMPARE(record, QString("x" + written));
        // and it reads back as it was, beside another field
        QCOMPARE(readAll(CsvRecord({value, "z"}, separator) + "\r\n", separator), (Records{{value, "z"}}));
    }

    void reading_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<Records>("records");
        QTest::addColumn<QList<int>>("lines");
        QTest::addColumn<bool>("broken");
        QTest::newRow("crlf, last line ended") << "a,b\r\nc,d\r\n" << QChar(u',') << Records{{"a", "b"}, {"c", "d"}}
                                               << QList<int>{1, 2} << false;
        QTest::newRow("last line not ended") << "a,b\r\nc,d" << QChar(u',') << Records{{"a", "b"}, {"c", "d"}}
                                             << QList<int>{1, 2} << false;
        QTest::newRow("lf and cr alone") << "a\nb\rc" << QChar(u',') << Records{{"a"}, {"b"}, {"c"}}
                                         << QList<int>{1, 2, 3} << false;
        QTest::newRow("quoted: separator, quotes, line break")
            << "\"x,\"\"y\"\"\r\nz\",2\r\n3,4\r\n" << QChar(u',') << Records{{"x,\"y\"\r\nz", "2"}, {"3", "4"}}
            << QList<int>{1, 3} << false;
        QTest::newRow("empty fields") << ",a,\r\n" << QChar(u',') << Records{{"", "a", ""}} << QList<int>{1} << false;
        QTest::newRow("empty line") << "a\r\n\r\nb\r\n" << QChar(u',') << Records{{"a"}, {""}, {"b"}}
                                    << QList<int>{1, 2, 3} << false;
        QTest::newRow("semicolons, commas inside") << "1,5;2\r\n" << QChar(u';') << Records{{"1,5", "2"}}
                                                   << QList<int>{1} << false;
        QTest::newRow("tab") << "a b\tc\r\n" << QChar(u'\t') << Records{{"a b", "c"}} << QList<int>{1} << false;
        QTest::newRow("quote inside a bare field") << "5\" disk,x\r\n" << QChar(u',') << Records{{"5\" disk", "x"}}
                                                   << QList<int>{1} << false;
        QTest::newRow("quote left open") << "a,\"b\r\nc" << QChar(u',') << Records{{"a", "b\r\nc"}} << QList<int>{1}
                                         << true;
    }
    void reading()
    {
        QFETCH(QString, text);
        QFETCH(QChar, separator);
        QFETCH(Records, records);
        QFETCH(QList<int>, lines);
        QFETCH(bool, broken);
        QList<int> got;
        QCOMPARE(readAll(text, separator, &got), records);
        QCOMPARE(got, lines);
        TCsvReader reader(text, separator);
        QStringList fields;
        bool last = false;
        while (reader.Next(fields))
            last = reader.Broken();
        QCOMPARE(last, broken);
    }

    // Records of awkward values written and read back are the same.
    void roundTrip()
    {
        const QStringList values{"", " ", "a", ",", ";", "\"", "\"\"", "a\r\nb", "\n", "\r", "конец,\"строки\"\r\n"};
        for (QChar separator : {QChar(u','), QChar(u';'), QChar(u'\t')}) {
            Records written;
            QString text;
            for (int i = 0; i < values.size(); ++i) {
                const QStringList record{values[i], values[(i + 3) % values.size()], QString::number(i)};
                written.append(record);
                text += CsvRecord(record, separator) + "\r\n";
            }
            QCOMPARE(readAll(text, separator), written);
        }
    }

    void encodings()
    {
        const QString path = QDir(ProgramDir()).filePath("enc.csv");
        {
            TCsvWriter w(path, TCsvFormat{u';', TCsvEncoding::Utf8});
            w.Write({"Имя", "a;b"});
            w.Commit();
        }
        QCOMPARE(fileBytes(path), QByteArray("\xEF\xBB\xBF") + QString("Имя;\"a;b\"\r\n").toUtf8());
        QCOMPARE(GuessCsvEncoding(fileBytes(path)), TCsvEncoding::Utf8);
        QCOMPARE(DecodeCsv(fileBytes(path), TCsvEncoding::Utf8), QString("Имя;\"a;b\"\r\n"));
        {
            TCsvWriter w(path, TCsvFormat{u',', TCsvEncoding::CodePage});
            w.Write({"Имя"});
            w.Commit();
        }
        QCOMPARE(fileBytes(path), QByteArray("\xC8\xEC\xFF\r\n"));   // windows-1251
        QCOMPARE(GuessCsvEncoding(fileBytes(path)), TCsvEncoding::CodePage);
        QCOMPARE(DecodeCsv(fileBytes(path), TCsvEncoding::CodePage), QString("Имя\r\n"));
        // a writer dropped before Commit leaves the file as it was
        {
            TCsvWriter w(path, TCsvFormat{});
            w.Write({"другое"});
        }
        QCOMPARE(fileBytes(path), QByteArray("\xC8\xEC\xFF\r\n"));
        QCOMPARE(QDir(ProgramDir()).entryList(QDir::Files | QDir::Hidden), QStringList{"enc.csv"});
    }

    void guessSeparator_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QChar>("separator");
        QTest::newRow("commas") << "a,b,c\r\n1;2" << QChar(u',');
        QTest::newRow("semicolons") << "a;b;\"c,d,e\"\r\n" << QChar(u';');
        QTest::newRow("tabs") << "a\tb\tc,d" << QChar(u'\t');
        QTest::newRow("one column") << "a\r\nb" << QChar(u',');
    }
    void guessSeparator()
    {
        QFETCH(QString, text);
        QFETCH(QChar, separator);
        QCOMPARE(GuessCsvSeparator(text), separator);
    }

    void exportFormatSettings()
    {
        QCOMPARE(CsvExportFormat().Separator, QChar(u','));
        QCOMPARE(CsvExportFormat().Encoding, TCsvEncoding::Utf8);
        QVERIFY(CsvAskFormat());
        SaveCsvExportFormat(TCsvFormat{u';', TCsvEncoding::CodePage});
        QCOMPARE(ReadSetting("CsvSeparator"), QString(";"));
        QCOMPARE(ReadSetting("CsvEncoding"), QString("CodePage"));
        QCOMPARE(CsvExportFormat().Separator, QChar(u';'));
        QCOMPARE(CsvExportFormat().Encoding, TCsvEncoding::CodePage);
        WriteSetting("CsvAskFormat", "0");
        QVERIFY(!CsvAskFormat());
        SaveCsvExportFormat(TCsvFormat{});
        WriteSetting("CsvAskFormat", "");
    }

    // A file's text as a column's value, by the column's type.
    void convert_data()
    {
        QTest::addColumn<TFieldType>("type");
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("error");   // the start of the error, empty when converted
        const QVariant null;
        QTest::newRow("integer") << ftInteger << 0 << "42" << QVariant(qint64(42)) << "";
        QTest::newRow("integer, blanks and sign") << ftInteger << 0 << " -1 234 567 " << QVariant(qint64(-1234567)) << "";
        QTest::newRow("integer, not one") << ftInteger << 0 << "12.5" << null << "не целое число: «12.5»";
        QTest::newRow("integer, groups of two") << ftInteger << 0 << "12 34" << null << "не целое число";
        QTest::newRow("integer, empty") << ftInteger << 0 << "  " << null << "";
        QTest::newRow("float, point") << ftFloat << 0 << "1234.5" << QVariant(1234.5) << "";
        QTest::newRow("float, comma") << ftFloat << 0 << "-0,25" << QVariant(-0.25) << "";
        QTest::newRow("float, thousands by commas") << ftFloat << 0 << "1,234.5" << QVariant(1234.5) << "";
        QTest::newRow("float, thousands by points") << ftFloat << 0 << "1.234.567,5" << QVariant(1234567.5) << "";
        QTest::newRow("float, thousands by blanks") << ftFloat << 0 << "1 234,5" << QVariant(1234.5) << "";
        QTest::newRow("float, exponent") << ftFloat << 0 << "1.5E3" << QVariant(1500.0) << "";
        QTest::newRow("float, two points") << ftFloat << 0 << "12.3.4" << null << "не число: «12.3.4»";
        QTest::newRow("float, words") << ftFloat << 0 << "abc" << null << "не число";
        QTest::newRow("exact decimal keeps digits") << ftBCD << 0 << "1 000,50" << QVariant(QString("1000.50")) << "";
        QTest::newRow("exact decimal, leading point") << ftBCD << 0 << ".5" << QVariant(QString("0.5")) << "";
        QTest::newRow("date, Russian") << ftDate << 0 << "05.03.2024" << QVariant(QDate(2024, 3, 5)) << "";
        QTest::newRow("date, ISO") << ftDate << 0 << "2024-03-05" << QVariant(QDate(2024, 3, 5)) << "";
        QTest::newRow("date, no such day") << ftDate << 0 << "31.02.2024" << null << "не дата";
        QTest::newRow("date, with a time") << ftDate << 0 << "05.03.2024 10:00" << null << "не дата";
        QTest::newRow("date-time") << ftDateTime << 0 << "05.03.2024 7:08:09"
                                   << QVariant(QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9))) << "";
        QTest::newRow("date-time, ISO with T") << ftDateTime << 0 << "2024-03-05T07:08"
                                               << QVariant(QDateTime(QDate(2024, 3, 5), QTime(7, 8))) << "";
        QTest::newRow("time") << ftTime << 0 << "7:08:09.5" << QVariant(QTime(7, 8, 9, 500)) << "";
        QTest::newRow("Boolean yes") << ftBoolean << 0 << "Да" << QVariant(true) << "";
        QTest::newRow("Boolean false") << ftBoolean << 0 << "false" << QVariant(false) << "";
        QTest::newRow("Boolean, other") << ftBoolean << 0 << "может быть" << null << "не логическое значение";
        QTest::newRow("text as it is") << ftString << 0 << " a, \"b\" " << QVariant(QString(" a, \"b\" ")) << "";
        QTest::newRow("text, empty is NULL") << ftString << 0 << "" << null << "";
        QTest::newRow("text within its length") << ftString << 3 << "абв" << QVariant(QString("абв")) << "";
        QTest::newRow("text too long") << ftString << 3 << "абвг" << null << "текст длиннее 3 символов";
        QTest::newRow("memo") << ftMemo << 0 << "line\nline" << QVariant(QString("line\nline")) << "";
    }
    void convert()
    {
        QFETCH(TFieldType, type);
        QFETCH(int, size);
        QFETCH(QString, text);
        QFETCH(QVariant, value);
        QFETCH(QString, error);
        TColumnDesc column;
        column.Name = "C";
        column.Type = type;
        column.Size = size;
        QVariant got;
        QString why;
        QCOMPARE(ConvertCsvValue(text, column, got, why), error.isEmpty());
        QVERIFY2(error.isEmpty() ? why.isEmpty() : why.startsWith(error), qPrintable(why));
        QCOMPARE(got.isNull(), value.isNull());
        if (!value.isNull()) {
            QCOMPARE(got.metaType(), value.metaType());
            QCOMPARE(got, value);
        }
        // a column that may not be empty refuses an empty field
        column.NotNull = true;
        if (text.trimmed().isEmpty())
            QVERIFY(!ConvertCsvValue(text, column, got, why) && why.contains("не может быть пустым"));
    }
};

QUARN_TEST_MAIN(CsvTest)
#include "CsvTest.moc"
