#pragma once

#include <QList>
#include <QStringList>
#include <QStringView>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

// What a stretch of SQL text is, for colouring. Everything else (names,
// operators, punctuation, parameters) is left as it is.
enum class TSqlTokenKind {
    Keyword,      // a word of SQLite's or PostgreSQL's grammar, types included
    String,       // '...', E'...' and $$...$$ / $tag$...$tag$
    QuotedName,   // "..." and `...`
    Number,       // 12, 1.5, .5, 1e-3, 0x1F
    Comment,      // -- to the end of the line and /* ... */
};

struct TSqlToken {
    TSqlTokenKind Kind;
    int Start;
    int Length;
    bool operator==(const TSqlToken &) const = default;
};

// Colours SQL in a document: keywords, strings, quoted names, numbers and
// comments. Strings, quoted names and comments may go on over several
// lines; the block state carries them from one line to the next.
class TSqlHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
public:
    explicit TSqlHighlighter(QTextDocument *document);

    // The tokens of one line of text. `state` is what the previous line
    // left (-1 or 0 before the first line) and is set to what this line
    // leaves for the next; a line that ends inside a string or a comment
    // gives a token up to its end. Any state other than 0 means some
    // construct is still open.
    static QList<TSqlToken> Tokens(QStringView line, int &state);
    // Whether `word` is one of the keywords (any case).
    static bool IsKeyword(QStringView word);
    // Every keyword, in capitals.
    static QStringList Keywords();

    const QTextCharFormat &Format(TSqlTokenKind kind) const { return m_formats[int(kind)]; }
    void SetFormat(TSqlTokenKind kind, const QTextCharFormat &format);

protected:
    void highlightBlock(const QString &text) override;

private:
    QTextCharFormat m_formats[int(TSqlTokenKind::Comment) + 1];
};
