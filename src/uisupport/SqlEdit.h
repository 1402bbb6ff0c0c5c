#pragma once

#include <QPlainTextEdit>
#include <functional>

class QCompleter;
class QStringListModel;

// The editor of SQL texts: coloured by TSqlHighlighter, in the fixed-pitch
// system font, lines never wrapped, their numbers in a column on the left
// and the line of the cursor on a light background. Read-only, it shows an
// SQL text the same way.
class TSqlEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TSqlEdit(QWidget *parent = nullptr);

    // The width of the line numbers' column: the widest number the text
    // has (at least two digits) with a margin on either side.
    int LineNumberAreaWidth() const;

    // The words completion offers: `qualifier` is the name before a "."
    // ("c" in "c.na"), empty for a word of its own. Ctrl+Space, and a "."
    // typed after a name, show those that start with what is typed before
    // the cursor, and typing on narrows them; Enter or Tab puts the chosen
    // one in place of that beginning, Esc goes on without.
    using TCompletionSource = std::function<QStringList(const QString &qualifier)>;
    void SetCompletionSource(TCompletionSource source);
    QCompleter *Completer() const { return m_completer; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    class TLineNumberArea;

    void FontChanged();
    void UpdateMargins();
    void UpdateLineNumberArea(const QRect &rect, int dy);
    void PlaceLineNumberArea();
    void PaintLineNumbers(QPaintEvent *event);
    void MarkCurrentLine();

    // The word being typed before the cursor, and the name before the "."
    // in front of it.
    QString WordBeforeCursor() const;
    QString QualifierBeforeWord() const;
    void Complete();
    void InsertCompletion(const QString &word);

    TLineNumberArea *m_lineNumbers;
    TCompletionSource m_source;
    QCompleter *m_completer = nullptr;
    QStringListModel *m_words = nullptr;
};
