#include "SqlEdit.h"

#include "SqlHighlighter.h"

#include <QFontDatabase>
#include <QPainter>
#include <QTextBlock>

namespace {

constexpr int NumberMargin = 4;   // pixels on either side of a line number
const QColor CurrentLineColour(0xE8, 0xF2, 0xFE);
const QColor NumberAreaColour(0xF2, 0xF2, 0xF2);
const QColor NumberColour(0x90, 0x90, 0x90);

} // namespace

// The column of line numbers: a child of the editor over its left margin,
// painted by the editor.
class TSqlEdit::TLineNumberArea : public QWidget {
public:
    explicit TLineNumberArea(TSqlEdit *editor)
        : QWidget(editor), m_editor(editor)
    {
    }
    QSize sizeHint() const override { return {m_editor->LineNumberAreaWidth(), 0}; }

protected:
    void paintEvent(QPaintEvent *event) override { m_editor->PaintLineNumbers(event); }

private:
    TSqlEdit *m_editor;
};

TSqlEdit::TSqlEdit(QWidget *parent)
    : QPlainTextEdit(parent), m_lineNumbers(new TLineNumberArea(this))
{
    new TSqlHighlighter(document());   // the document's child
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setLineWrapMode(NoWrap);
    FontChanged();
    connect(this, &QPlainTextEdit::blockCountChanged, this, &TSqlEdit::UpdateMargins);
    connect(this, &QPlainTextEdit::updateRequest, this, &TSqlEdit::UpdateLineNumberArea);
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, [this] {
        MarkCurrentLine();
        m_lineNumbers->update();   // the current line's number stands out
    });
    MarkCurrentLine();
}

int TSqlEdit::LineNumberAreaWidth() const
{
    int digits = 1;
    for (int count = std::max(1, blockCount()); count >= 10; count /= 10)
        ++digits;
    return 2 * NumberMargin + std::max(2, digits) * fontMetrics().horizontalAdvance(u'9');
}

void TSqlEdit::UpdateMargins()
{
    setViewportMargins(LineNumberAreaWidth(), 0, 0, 0);
    PlaceLineNumberArea();
}

void TSqlEdit::PlaceLineNumberArea()
{
    const QRect r = contentsRect();
    m_lineNumbers->setGeometry(r.left(), r.top(), LineNumberAreaWidth(), r.height());
}

void TSqlEdit::UpdateLineNumberArea(const QRect &rect, int dy)
{
    if (dy != 0)
        m_lineNumbers->scroll(0, dy);
    else
        m_lineNumbers->update(0, rect.y(), m_lineNumbers->width(), rect.height());
    if (rect.contains(viewport()->rect()))
        UpdateMargins();
}

void TSqlEdit::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    PlaceLineNumberArea();
}

void TSqlEdit::changeEvent(QEvent *event)
{
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        FontChanged();
}

void TSqlEdit::FontChanged()
{
    setTabStopDistance(4 * fontMetrics().horizontalAdvance(u' '));
    UpdateMargins();
}

void TSqlEdit::PaintLineNumbers(QPaintEvent *event)
{
    QPainter painter(m_lineNumbers);
    painter.fillRect(event->rect(), NumberAreaColour);
    painter.setFont(font());
    const int current = textCursor().blockNumber();
    const int width = m_lineNumbers->width() - NumberMargin;
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    while (block.isValid() && top <= event->rect().bottom()) {
        const int bottom = top + qRound(blockBoundingRect(block).height());
        if (block.isVisible() && bottom >= event->rect().top()) {
            painter.setPen(block.blockNumber() == current ? palette().color(QPalette::Text) : NumberColour);
            painter.drawText(0, top, width, fontMetrics().height(), Qt::AlignRight | Qt::AlignVCenter,
                             QString::number(block.blockNumber() + 1));
        }
        block = block.next();
        top = bottom;
    }
}

void TSqlEdit::MarkCurrentLine()
{
    QTextEdit::ExtraSelection line;
    line.format.setBackground(CurrentLineColour);
    line.format.setProperty(QTextFormat::FullWidthSelection, true);
    line.cursor = textCursor();
    line.cursor.clearSelection();
    setExtraSelections({line});
}
