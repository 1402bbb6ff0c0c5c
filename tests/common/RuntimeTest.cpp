#include "TestSupport.h"

#include "common/CodePage.h"
#include "common/Rounding.h"
#include "common/Settings.h"
#include "common/Strings.h"
#include "common/TextFile.h"
#include "common/UserInterface.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QStringEncoder>
#include <cmath>
#include <limits>

// The string helpers, rounding, settings, program directory, text files in
// the configured code page and the abort prompt.
class RuntimeTest : public QObject {
    Q_OBJECT

    // A person at the keyboard, scripted: whether Esc was pressed and what
    // the answer to the question will be.
    struct TScriptedUser : TUserInterface {
        bool esc = false;
        int answer = mbNo;
        QStringList asked;
        bool ProcessMessages() override { return std::exchange(esc, false); }
        int MessageDlg(const QString &text, const QString &, Kind, const QList<Button> &) override
        {
            asked << text;
            return answer;
        }
    };

private slots:
    void padding_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("right");
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("center");

        QTest::newRow("shorter") << "ab" << 5 << "ab***" << "***ab" << "*ab**";
        QTest::newRow("even split") << "ab" << 4 << "ab**" << "**ab" << "*ab*";
        QTest::newRow("exact") << "abc" << 3 << "abc" << "abc" << "abc";
        QTest::newRow("longer is kept") << "abcdef" << 3 << "abcdef" << "abcdef" << "abcdef";
        QTest::newRow("empty") << "" << 2 << "**" << "**" << "**";
        QTest::newRow("negative width") << "a" << -1 << "a" << "a" << "a";
    }
    void padding()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(QString, right);
        QFETCH(QString, left);
        QFETCH(QString, center);
        QCOMPARE(PadRight(text, width, u'*'), right);
        QCOMPARE(PadLeft(text, width, u'*'), left);
        QCOMPARE(PadCenter(text, width, u'*'), center);
    }

    void appendCharsGrowsInPlaceAndLeavesSharedCopiesAlone()
    {
        QString out;
        AppendChars(out, u"");
        QVERIFY(out.isNull());   // nothing appended, nothing allocated
        AppendChars(out, u"ab");
        QCOMPARE(out, QStringLiteral("ab"));

        // within the reserved room the text stays where it is
        out.reserve(64);
        const QChar *data = out.constData();
        AppendChars(out, QStringView(u"cdef").mid(1, 2));
        QCOMPARE(out, QStringLiteral("abde"));
        QCOMPARE(out.constData(), data);

        // beyond it, and on a text shared with another, the other keeps its own
        const QString shared = out;
        AppendChars(out, QString(100, u'x'));
        QCOMPARE(out, QStringLiteral("abde") + QString(100, u'x'));
        QCOMPARE(shared, QStringLiteral("abde"));
        QCOMPARE(out.size(), 104);
    }

    void helpers()
    {
        QCOMPARE(TrimCtl(QString("\t\r\n a b \x01")), QString("a b"));
        QCOMPARE(CollapseBlanks("  a   b  c "), QString("a b c"));
        QCOMPARE(CollapseBlanks(""), QString());

        QCOMPARE(LabelPart("Сумма|в рублях|за год", 2), QString("в рублях"));
        QCOMPARE(LabelPart("Сумма|в рублях", 3), QString());
        QCOMPARE(LabelPart("Сумма", 1), QString("Сумма"));
        QCOMPARE(LabelPart("a||c", 2), QString());
        QCOMPARE(LabelPart("a|b", 0), QString());
        QCOMPARE(LabelPartCount("a|b|c"), 3);

        QCOMPARE(TextAfterOrderBy("select * from T where A=1 order  by NAME, ID desc "),
                 QString("NAME, ID desc"));
        QCOMPARE(TextAfterOrderBy("select BORDER BYTE from T"), QString());
        QCOMPARE(TextAfterOrderBy("select * from T"), QString());

        // ordinal: upper case before lower case, "@" before letters
        QVERIFY(CompareStr("B", "a") < 0);
        QVERIFY(CompareStr("@A", "A") < 0);
        QVERIFY(CompareStr("abc", "abd") < 0);
        QCOMPARE(CompareStr("Я", "Я"), 0);
    }

    void rounding_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("round");
        QTest::addColumn<double>("rd2");

        QTest::newRow("half up") << 2.5 << 3.0 << 2.5;
        QTest::newRow("half away negative") << -2.5 << -3.0 << -2.5;
        QTest::newRow("just below half") << 0.49999 << 0.0 << 0.5;
        QTest::newRow("1.005") << 1.005 << 1.0 << 1.01;
        QTest::newRow("2.675") << 2.675 << 3.0 << 2.68;
        QTest::newRow("0.285") << 0.285 << 0.0 << 0.29;
        QTest::newRow("negative kopecks") << -2.675 << -3.0 << -2.68;
        QTest::newRow("large") << 123456789.125 << 123456789.0 << 123456789.13;
        QTest::newRow("zero") << 0.0 << 0.0 << 0.0;
    }
    void rounding()
    {
        QFETCH(double, value);
        QFETCH(double, round);
        QFETCH(double, rd2);
        QCOMPARE(RoundHalfAway(value), round);
        QCOMPARE(Rd2(value), rd2);
    }

    // The adjustment counts integer digits without log10 except next to a
    // power of ten: it must give the very step the rule's own counting gives,
    // in particular on both sides of every power of ten.
    void roundAdjustFollowsTheDigitRule()
    {
        auto byRule = [](double v) {
            double m = 1e15;
            const double a = std::fabs(v);
            if (a >= 1) {
                const int e = int(std::floor(std::log10(a))) + 1;
                for (int i = 0; i < e; ++i)
                    m /= 10;
            }
            return v < 0 ? v - 1 / m : v + 1 / m;
        };
        QList<double> values = {0.0, 0.5, 0.999999999, 1.0, 2.675 * 100 + 0.5, 1e15, 9.999999999999999e22,
                                1.7976931348623157e308, std::numeric_limits<double>::infinity()};
        for (double p = 1; p < 1e308; p *= 10) {
            for (double f : {1 - 1e-8, 1 - 1e-12, 1.0, 1 + 1e-12, 1 + 1e-8, 2.5, 9.75})
                values << p * f;
            values << std::nextafter(p, 0.0) << std::nextafter(p, std::numeric_limits<double>::infinity());
        }
        QRandomGenerator random(20261208);
        for (int i = 0; i < 200000; ++i)
            values << std::ldexp(random.generateDouble(), int(random.bounded(-20, 120)));
        for (double v : values) {
            for (double x : {v, -v}) {
                const double expected = byRule(x);
                const double got = RoundAdjust(x);
                if (!(got == expected || (std::isnan(got) && std::isnan(expected))))
                    QFAIL(qPrintable(QStringLiteral("RoundAdjust(%1): %2, by the rule %3")
                                         .arg(x, 0, 'g', 17).arg(got, 0, 'g', 17).arg(expected, 0, 'g', 17)));
            }
        }
    }

    void settingsAndProgramDir()
    {
        // every test process has its own directories
        QCOMPARE(ConfigDir(), qEnvironmentVariable("QUARN_CONFIG"));
        QCOMPARE(ProgramDir(), QDir::cleanPath(qEnvironmentVariable("QUARN_HOME")));
        QCOMPARE(ExpandFileName("report.prn"), ProgramDir() + "/report.prn");
        QCOMPARE(ExpandFileName("/tmp/x.prn"), QString("/tmp/x.prn"));

        QCOMPARE(ReadSetting("PrinterDPI"), QString());
        WriteSetting("PrinterDPI", "600");
        QCOMPARE(ReadSetting("PrinterDPI"), QString("600"));

        // a hand-written INI file is read as it stands; a list is not a string
        QFile ini(ConfigDir() + "/quarn.ini");
        QVERIFY(ini.open(QIODevice::Append));
        ini.write("ShadowPrint=1\nColumns=a, b\n");
        ini.close();
        QCOMPARE(ReadSetting("ShadowPrint"), QString("1"));
        QCOMPARE(ReadSetting("Columns"), QString());
        QCOMPARE(ReadSetting("PrinterDPI"), QString("600"));
    }

    void textFilesInCodePage()
    {
        const QString path = ProgramDir() + "/t.txt";
        WriteTextLines(path, {"Отчёт №1", "", "итого"});
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        f.close();
        // windows-1251 with CR LF: "О" is 0xCE, "№" 0xB9, "ё" 0xB8
        QCOMPARE(bytes.left(3), QByteArray("\xCE\xF2\xF7"));
        QVERIFY(bytes.contains("\xB9" "1\r\n\r\n"));
        QVERIFY(bytes.endsWith("\r\n"));
        QVERIFY(!bytes.contains("\n\n"));
        QCOMPARE(ReadTextLines(path), QStringList({"Отчёт №1", "", "итого"}));

        // bare LF and CR become CR LF on writing
        WriteTextFile(path, "a\nb\rc");
        QCOMPARE(ReadTextFile(path), QString("a\r\nb\r\nc"));

        // another code page from the settings
        WriteSetting("CodePage", "UTF-8");
        WriteTextFile(path, "ж");
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("\xD0\xB6"));
        f.close();
        WriteSetting("CodePage", "no-such-code-page");
        QUARN_EXPECT_ERROR(WriteTextFile(path, "x"), "Неизвестная кодовая страница no-such-code-page");
        WriteSetting("CodePage", "windows-1251");

        QCOMPARE(EncodeOem("Привет"), QByteArray("\x8F\xE0\xA8\xA2\xA5\xE2"));
        QCOMPARE(DecodeOem(EncodeOem("Ёлка")), QString("Ёлка"));

        QUARN_EXPECT_ERROR(ReadTextFile(ProgramDir() + "/missing.txt"),
                           "Не могу открыть файл " + ProgramDir() + "/missing.txt");
        QUARN_EXPECT_ERROR(WriteTextFile(ProgramDir() + "/no/such/dir.txt", "x"),
                           "Не могу создать файл " + ProgramDir() + "/no/such/dir.txt: папка не существует");
    }

    // Text typed in a modern editor is UTF-8; it reads as such, while the
    // code page's own files read as before.
    void readsUtf8Files_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF" "a\r\n") << "a\r\n";
        QTest::newRow("byte-order mark, Cyrillic") << ("\xEF\xBB\xBF" + QString("Итог").toUtf8()) << "Итог";
        QTest::newRow("UTF-8 Cyrillic") << QString("Всего: @SUM руб.").toUtf8() << "Всего: @SUM руб.";
        QTest::newRow("windows-1251 Cyrillic") << QByteArray("\xC2\xF1\xE5\xE3\xEE: @SUM") << "Всего: @SUM";
        QTest::newRow("windows-1251 capitals") << QByteArray("\xD0\xC5\xC5\xD1\xD2\xD0") << "РЕЕСТР";
        QTest::newRow("ASCII") << QByteArray(".DETAIL\r\n@ID") << ".DETAIL\r\n@ID";
    }
    void readsUtf8Files()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const QString path = ProgramDir() + "/in.txt";
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        QCOMPARE(ReadTextFile(path), text);
    }

    void codePageEncoderWritesWhatQtWrites_data()
    {
        QTest::addColumn<QString>("codePage");
        QTest::newRow("windows-1251") << "windows-1251";
        QTest::newRow("IBM866") << "IBM866";
        QTest::newRow("UTF-8") << "UTF-8";
        QTest::newRow("KOI8-R") << "KOI8-R";
    }
    void codePageEncoderWritesWhatQtWrites()
    {
        QFETCH(QString, codePage);
        // Cyrillic with Ё and №, box drawing, a euro sign, Chinese, an emoji
        // (a surrogate pair) and a NUL: some of each code page lacks
        const QString text = QStringLiteral("Итого №1: Ёлка ╔═╗ 5€ 日本 ") + QString::fromUcs4(U"\U0001F600")
                             + QChar(0) + QStringLiteral("end");
        QStringEncoder whole(codePage.toLatin1().constData());
        const QByteArray expected = whole.encode(text);

        TCodePageEncoder encoder(codePage);
        QVERIFY(encoder.isValid());
        QByteArray out("head");
        encoder.append(out, text);
        QCOMPARE(out, QByteArray("head") + expected);

        // in pieces, as a report writes its lines
        QByteArray pieces;
        for (qsizetype i = 0; i < text.size(); i += 7) {
            const qsizetype n = std::min<qsizetype>(7, text.size() - i);
            // a piece never ends between the halves of a surrogate pair
            const qsizetype cut = text[i + n - 1].isHighSurrogate() ? n + 1 : n;
            encoder.append(pieces, QStringView(text).mid(i, cut));
            i += cut - n;
        }
        QCOMPARE(pieces, expected);

        QByteArray empty;
        encoder.append(empty, QString());
        QVERIFY(empty.isEmpty());
        QVERIFY(!TCodePageEncoder(QStringLiteral("no-such-code-page")).isValid());
    }

    // Runs of ASCII skip the table eight characters a step: runs of every
    // length up to past two steps, starting anywhere in a step, between
    // characters that end a run (a letter of the code page, one it lacks,
    // U+0080 just above ASCII, a NUL), with DEL and print codes inside.
    void codePageEncoderCopiesAsciiRuns_data()
    {
        QTest::addColumn<QString>("codePage");
        QTest::addColumn<QString>("stop");
        for (const char *cp : {"windows-1251", "IBM866", "Shift_JIS", "IBM037"}) {
            QTest::addRow("%s letter", cp) << cp << QStringLiteral("Ж");
            QTest::addRow("%s lacked", cp) << cp << QStringLiteral("☃");
            QTest::addRow("%s U+0080", cp) << cp << QString(QChar(0x80));
            QTest::addRow("%s NUL", cp) << cp << QString(QChar(0));
        }
    }
    void codePageEncoderCopiesAsciiRuns()
    {
        QFETCH(QString, codePage);
        QFETCH(QString, stop);
        TCodePageEncoder encoder(codePage);
        QVERIFY(encoder.isValid());
        const QString ascii = QStringLiteral("\\F1 Sum: 12.50 \x7F|~ \\PB5:5 0123456789 abc xyz");
        for (int lead = 0; lead <= 9; ++lead) {
            for (int run = 0; run <= 20; ++run) {
                const QString text = ascii.left(lead) + stop + ascii.mid(lead, run) + stop + ascii.left(run);
                QByteArray out("head");
                encoder.append(out, text);
                const QByteArray expected = QStringEncoder(codePage.toLatin1().constData()).encode(text);
                QVERIFY2(out == "head" + expected, qPrintable(QStringLiteral("%1 + %2").arg(lead).arg(run)));
            }
        }
    }

    // Every byte of a code page through the tables and through Qt: the
    // character a byte stands for, and the byte a character is written as
    // wherever the two directions agree on one byte.
    void codePageTablesAgreeWithQt_data()
    {
        QTest::addColumn<QString>("codePage");
        QTest::addColumn<bool>("oneByte");   // a table of characters to decode with
        QTest::addColumn<QChar>("letter");   // a letter of the code page's own
        QTest::addColumn<int>("letterByte");
        QTest::newRow("windows-1251") << "windows-1251" << true << QChar(u'Ё') << 0xA8;
        QTest::newRow("IBM866") << "IBM866" << true << QChar(u'А') << 0x80;
        QTest::newRow("KOI8-R") << "KOI8-R" << true << QChar(u'А') << 0xE1;
        QTest::newRow("ISO-8859-5") << "ISO-8859-5" << true << QChar(u'А') << 0xB0;
        QTest::newRow("windows-1252") << "windows-1252" << true << QChar(u'€') << 0x80;
        QTest::newRow("UTF-8") << "UTF-8" << false << QChar() << 0;
        QTest::newRow("Shift_JIS") << "Shift_JIS" << false << QChar() << 0;
    }
    void codePageTablesAgreeWithQt()
    {
        QFETCH(QString, codePage);
        QFETCH(bool, oneByte);
        QFETCH(QChar, letter);
        QFETCH(int, letterByte);
        const QByteArray name = codePage.toLatin1();
        const std::shared_ptr<const TCodePage> page = TCodePage::Find(codePage);
        QVERIFY(page);
        QCOMPARE(TCodePage::Find(codePage), page);   // made once
        QCOMPARE(page->Chars().size(), oneByte ? size_t(256) : size_t(0));
        QCOMPARE(CodePageChars(codePage), page->Chars());
        const quint8 *bytes = page->Bytes();
        int roundTrips = 0;
        for (int b = 0; b < 256; ++b) {
            const QByteArray byte(1, char(b));
            QStringDecoder decoder(name.constData(), QStringConverter::Flag::Stateless);
            const QString ch = decoder.decode(byte);
            if (oneByte) {
                QCOMPARE(ch.size(), 1);
                QCOMPARE(page->Chars()[size_t(b)], ch[0].unicode());
            }
            if (ch.size() != 1 || decoder.hasError())
                continue;
            QStringEncoder encoder(name.constData());
            const bool back = encoder.encode(ch) == byte && !encoder.hasError();
            roundTrips += back;
            if (!bytes)
                continue;
            const char16_t u = ch[0].unicode();
            const bool inTable = bytes[u] != 0 || (u == 0 && page->NulMapped());
            QCOMPARE(inTable && bytes[u] == b, back);
        }
        // the table of bytes is there for more than the 128 of ASCII
        QCOMPARE(bool(bytes), roundTrips > 128);
        if (!bytes)
            return;
        for (int u = 1; u < 0x10000; ++u) {
            if (bytes[u] == 0)
                continue;
            QStringEncoder encoder(name.constData());
            QCOMPARE(encoder.encode(QString(QChar(char16_t(u)))), QByteArray(1, char(bytes[u])));
        }
        if (oneByte) {
            QCOMPARE(int(bytes[letter.unicode()]), letterByte);
            QCOMPARE(page->Chars()[size_t(letterByte)], letter.unicode());
        }
        QVERIFY(!TCodePage::Find(QStringLiteral("no-such-code-page")));
        QVERIFY(CodePageChars(QStringLiteral("no-such-code-page")).empty());
    }

    void abortPrompt()
    {
        // without a person nothing is ever aborted
        QVERIFY(!CheckAbort());

        TScriptedUser user;
        TUserInterface *previous = SetUserInterface(&user);
        QVERIFY(!CheckAbort());           // no Esc: no question
        QVERIFY(user.asked.isEmpty());

        user.esc = true;
        user.answer = TUserInterface::mbNo;
        QVERIFY(!CheckAbort());           // Esc, then No: goes on
        QCOMPARE(user.asked, QStringList{"Прервать процесс ?"});

        user.esc = true;
        user.answer = TUserInterface::mbYes;
        QUARN_EXPECT_ERROR(CheckAbort(), "Операция прервана пользователем");

        user.esc = true;
        QVERIFY(CheckAbort(false));       // Yes where aborting is not allowed

        QCOMPARE(SetUserInterface(previous), &user);
    }

    void nonInteractiveAnswers()
    {
        TUserInterface ui;
        QString value = "default";
        QVERIFY(ui.InputQuery("c", "p", value));
        QCOMPARE(value, QString("default"));
        value.clear();
        QVERIFY(!ui.InputQuery("c", "p", value));   // nothing to answer with
        QCOMPARE(ui.MessageDlg("?", "", TUserInterface::mtConfirmation,
                               {TUserInterface::mbYes, TUserInterface::mbNo, TUserInterface::mbCancel}),
                 int(TUserInterface::mbNo));
        QCOMPARE(ui.MessageDlg("!", "", TUserInterface::mtWarning, {TUserInterface::mbOK}),
                 int(TUserInterface::mbOK));
        QCOMPARE(ui.OpenFileName("t", "*.*", "/"), QString());
    }
};

QUARN_TEST_MAIN(RuntimeTest)
#include "RuntimeTest.moc"
