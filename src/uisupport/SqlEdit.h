#pragma once

#include <QPlainTextEdit>

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

protected:
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

    TLineNumberArea *m_lineNumbers;
};
