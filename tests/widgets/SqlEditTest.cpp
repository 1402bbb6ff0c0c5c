// The SQL editor: the highlighter's tokens line by line with what a line
// leaves open carried into the next, the colours they give a document, the
// line numbers' column that widens with the digits, and the mark on the
// cursor's line following a real key.

#include "TestSupport.h"

#include "uisupport/SqlEdit.h"
#include "uisupport/SqlHighlighter.h"

#include <QImage>
#include <QTextBlock>
#include <QTextLayout>

namespace {

using K = TSqlTokenKind;

// A token's kind as a letter of the masks below.
QChar letter(K kind)
{
    switch (kind) {
    case K::Keyword: return u'k';
    case K::String: return u's';
    case K::QuotedName: return u'n';
    case K::Number: return u'9';
    case K::Comment: return u'c';
    }
    return u'?';
}

QString describe(const TSqlToken &t, const QString &line)
{
    return QString("%1 %2+%3 %4").arg(letter(t.Kind)).arg(t.Start).arg(t.Length).arg(line.mid(t.Start, t.Length));
}

// The tokens a mask stands for: each run of one letter is a token of that
// kind, a blank is no token.
QList<TSqlToken> maskTokens(const QString &mask)
{
    QList<TSqlToken> tokens;
    for (int i = 0; i < mask.size();) {
        int j = i;
        while (j < mask.size() && mask[j] == mask[i])
            ++j;
        if (mask[i] != u' ') {
            const K kinds[] = {K::Keyword, K::String, K::QuotedName, K::Number, K::Comment};
            for (K k : kinds)
                if (letter(k) == mask[i])
                    tokens.append({k, i, j - i});
        }
        i = j;
    }
    return tokens;
}

// The format a block's highlighting gives the character at `pos`.
QTextCharFormat formatAt(const QTextBlock &block, int pos)
{
    for (const QTextLayout::FormatRange &r : block.layout()->formats())
        if (pos >= r.start && pos < r.start + r.length)
            return r.format;
    return {};
}

} // namespace

class SqlEditTest : public QObject {
    Q_OBJECT
private slots:
    // Each row: the lines of a text, each followed by its mask (k keyword,
    // s string, n quoted name, 9 number, c comment).
    void tokens_data()
    {
        QTest::addColumn<QStringList>("lines");
        auto row = [](const char *name, const QStringList &lines) { QTest::newRow(name) << lines; };
        row("keywords, any case, whole words", {
            R"(SELECT selection, from_date, Select FROM orders_from wHeRe x IS NOT NULL)",
            R"(kkkkkk                       kkkkkk kkkk             kkkkk   kk kkk kkkk)"});
        row("joins, grouping, limits", {
            R"(select * from a left outer join b using (id) group by 1 having count(*) > 2 order by 1 limit 5 offset 10)",
            R"(kkkkkk   kkkk   kkkk kkkkk kkkk   kkkkk      kkkkk kk 9 kkkkkk            9 kkkkk kk 9 kkkkk 9 kkkkkk 99)"});
        row("types", {
            R"(create table t (id integer primary key, n varchar(20) default 'x', d timestamp, ok boolean))",
            R"(kkkkkk kkkkk       kkkkkkk kkkkkkk kkk    kkkkkkk 99  kkkkkkk sss    kkkkkkkkk     kkkkkkk)"});
        row("a column after a dot is a name", {
            R"(select t.key, t.date, key from t)",
            R"(kkkkkk                kkk kkkk  )"});
        row("strings with doubled quotes", {
            R"(select 'it''s', 'a' || 'b', '', '''')",
            R"(kkkkkk sssssss  sss    sss  ss  ssss)"});
        row("escape strings", {
            R"(select E'it\'s', e'a\\' as x, E 'no')",
            R"(kkkkkk ssssssss  ssssss kk      ssss)"});
        row("quoted names", {
            R"(select "Order", "a""b", `c` from "my table")",
            R"(kkkkkk nnnnnnn  nnnnnn  nnn kkkk nnnnnnnnnn)"});
        row("numbers, not digits of names", {
            R"(select 1, 2.5, .5, 1e10, 1.5E-3, 0x1F, 3., T1, t1.c2, a1b, 12abc, 2e from T1 where n = -7)",
            R"(kkkkkk 9  999  99  9999  999999  9999  99                            kkkk    kkkkk      9)"});
        row("names in other scripts", {
            R"(select имя, т1 from таблица where сумма > 1)",
            R"(kkkkkk         kkkk         kkkkk         9)"});
        row("parameters and casts", {
            R"(select :from, @where, ?1, $1, $name, x::integer, '1'::date)",
            R"(kkkkkk                                  kkkkkkk  sss  kkkk)"});
        row("line comment with a quote", {
            R"(select 1 -- the total's 'part')",
            R"(kkkkkk 9 ccccccccccccccccccccc)",
            R"(from t)",
            R"(kkkk  )"});
        row("dashes inside a string", {
            R"(select '--not', "--x" from t -- yes)",
            R"(kkkkkk sssssss  nnnnn kkkk   cccccc)"});
        row("block comments on one line", {
            R"(/* a */ select /* b' */ 1/**/ /*/ */)",
            R"(ccccccc kkkkkk cccccccc 9cccc cccccc)",
            R"(from)",
            R"(kkkk)"});
        row("block comment over two lines", {
            R"(select /* first 'line)",
            R"(kkkkkk cccccccccccccc)",
            R"(still */ from t)",
            R"(cccccccc kkkk  )"});
        row("block comment over an empty line", {
            R"(/*)",
            R"(cc)",
            R"()",
            R"()",
            R"(where */ where)",
            R"(cccccccc kkkkk)"});
        row("string over two lines", {
            R"(insert into t values ('first)",
            R"(kkkkkk kkkk   kkkkkk  ssssss)",
            R"(-- second', 2))",
            R"(ssssssssss  9 )"});
        row("quoted name over two lines", {
            R"(select "a)",
            R"(kkkkkk nn)",
            R"(b" from t)",
            R"(nn kkkk  )"});
        row("dollar-quoted body over lines", {
            R"(create function f() returns int as $$)",
            R"(kkkkkk kkkkkkkk     kkkkkkk kkk kk ss)",
            R"(  select 'x'; -- inside /*)",
            R"(ssssssssssssssssssssssssss)",
            R"($$ language sql)",
            R"(ss kkkkkkkk    )"});
        row("dollar tag ends only with its own tag", {
            R"(do $body$ select '$$' $$ $x$)",
            R"(kk sssssssssssssssssssssssss)",
            R"(end $body$; select 1)",
            R"(ssssssssss  kkkkkk 9)"});
        row("dollar-quoted string on one line", {
            R"(select $q$it's$q$, $$--$$ from t)",
            R"(kkkkkk ssssssssss  ssssss kkkk)"});
    }

    void tokens()
    {
        QFETCH(QStringList, lines);
        QVERIFY(lines.size() % 2 == 0);
        int state = -1;
        for (int i = 0; i < lines.size(); i += 2) {
            const QString &line = lines[i];
            QStringList got, expected;
            for (const TSqlToken &t : TSqlHighlighter::Tokens(line, state))
                got << describe(t, line);
            for (const TSqlToken &t : maskTokens(lines[i + 1]))
                expected << describe(t, line);
            QCOMPARE(got, expected);
        }
        QCOMPARE(state, 0);   // every row closes what it opens
    }

    // The highlighter colours its document, a read-only editor's too, and
    // a line that stops opening a comment recolours the next one.
    void documentColours()
    {
        TSqlEdit edit(nullptr);
        edit.setReadOnly(true);
        edit.setPlainText("select 'a' /* one\ntwo */ from t");
        const QTextBlock first = edit.document()->firstBlock();
        const QTextBlock second = first.next();
        QCOMPARE(formatAt(first, 0).fontWeight(), int(QFont::Bold));
        QCOMPARE(formatAt(first, 5).fontWeight(), int(QFont::Bold));
        QVERIFY(formatAt(first, 6).fontWeight() != int(QFont::Bold));
        QVERIFY(formatAt(first, 7).foreground().color() != formatAt(first, 0).foreground().color());
        QVERIFY(formatAt(first, 12).fontItalic());
        QVERIFY(formatAt(second, 0).fontItalic());
        QVERIFY(!formatAt(second, 9).fontItalic());
        QCOMPARE(formatAt(second, 9).fontWeight(), int(QFont::Bold));

        QTextCursor cursor(first);
        cursor.setPosition(first.position() + 11);
        cursor.setPosition(first.position() + 13, QTextCursor::KeepAnchor);
        cursor.insertText("--");   // "/*" becomes "--"
        QVERIFY(formatAt(first, 12).fontItalic());
        QVERIFY(!formatAt(second, 0).fontItalic());
        QCOMPARE(formatAt(second, 9).fontWeight(), int(QFont::Bold));
    }

    void lineNumbers()
    {
        TSqlEdit edit(nullptr);
        edit.resize(400, 300);
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        const int digit = edit.fontMetrics().horizontalAdvance(u'9');
        const int narrow = edit.LineNumberAreaWidth();
        QVERIFY(narrow >= 2 * digit);
        QCOMPARE(edit.viewport()->x(), edit.contentsRect().left() + narrow);

        QStringList lines;
        for (int i = 1; i <= 1000; ++i)
            lines << QString("select %1;").arg(i);
        edit.setPlainText(lines.join('\n'));
        QCOMPARE(edit.blockCount(), 1000);
        const int wide = edit.LineNumberAreaWidth();
        QCOMPARE(wide - narrow, 2 * digit);   // from two digits to four
        QVERIFY(wide >= edit.fontMetrics().horizontalAdvance("1000"));
        QCOMPARE(edit.viewport()->x(), edit.contentsRect().left() + wide);

        // The column shows a number: the first line's row is not blank.
        const QImage shot = edit.grab().toImage();
        const int top = edit.contentsRect().top();
        const QRgb background = shot.pixel(edit.contentsRect().left(), top);
        bool drawn = false;
        for (int y = top; y < top + edit.fontMetrics().height() && !drawn; ++y)
            for (int x = edit.contentsRect().left(); x < edit.contentsRect().left() + wide && !drawn; ++x)
                drawn = shot.pixel(x, y) != background;
        QVERIFY(drawn);

        edit.setPlainText("select 1");
        QCOMPARE(edit.LineNumberAreaWidth(), narrow);
        QCOMPARE(edit.viewport()->x(), edit.contentsRect().left() + narrow);

        // A line typed as the hundredth widens the column by a digit.
        edit.setPlainText(lines.mid(0, 99).join('\n'));
        edit.setFocus();
        edit.moveCursor(QTextCursor::End);
        QTest::keyClick(&edit, Qt::Key_Return);
        QCOMPARE(edit.blockCount(), 100);
        QCOMPARE(edit.LineNumberAreaWidth(), narrow + digit);
        QCOMPARE(edit.viewport()->x(), edit.contentsRect().left() + narrow + digit);
    }

    void currentLine()
    {
        TSqlEdit edit(nullptr);
        edit.setPlainText("select 1\nfrom t\nwhere x = 1");
        edit.show();
        edit.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&edit));
        edit.setFocus();
        edit.moveCursor(QTextCursor::Start);
        auto marked = [&] {
            const QList<QTextEdit::ExtraSelection> selections = edit.extraSelections();
            if (selections.size() != 1 || !selections[0].format.property(QTextFormat::FullWidthSelection).toBool()
                || selections[0].format.background().style() == Qt::NoBrush)
                return -1;
            return selections[0].cursor.blockNumber();
        };
        QCOMPARE(marked(), 0);
        QTest::keyClick(&edit, Qt::Key_Down);
        QCOMPARE(edit.textCursor().blockNumber(), 1);
        QCOMPARE(marked(), 1);
        QTest::keyClick(&edit, Qt::Key_End);
        QTest::keyClick(&edit, Qt::Key_Down);
        QCOMPARE(marked(), 2);
    }
};

QUARN_WIDGETS_TEST_MAIN(SqlEditTest)
#include "SqlEditTest.moc"
