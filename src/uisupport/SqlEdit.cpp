#include "SqlEdit.h"

#include "SqlHighlighter.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStringListModel>
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

namespace {

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

} // namespace

void TSqlEdit::SetCompletionSource(TCompletionSource source)
{
    m_source = std::move(source);
    if (m_completer)
        return;
    m_words = new QStringListModel(this);
    m_completer = new QCompleter(m_words, this);
    m_completer->setWidget(this);
    m_completer->setCompletionMode(QCompleter::PopupCompletion);
    m_completer->setCaseSensitivity(Qt::CaseInsensitive);
    m_completer->setFilterMode(Qt::MatchStartsWith);
    m_completer->setWrapAround(false);
    connect(m_completer, qOverload<const QString &>(&QCompleter::activated), this, &TSqlEdit::InsertCompletion);
}

QString TSqlEdit::WordBeforeCursor() const
{
    const QTextCursor cursor = textCursor();
    const QString line = cursor.block().text();
    int start = cursor.positionInBlock();
    while (start > 0 && isWordChar(line[start - 1]))
        --start;
    return line.mid(start, cursor.positionInBlock() - start);
}

QString TSqlEdit::QualifierBeforeWord() const
{
    const QTextCursor cursor = textCursor();
    const QString line = cursor.block().text();
    int dot = cursor.positionInBlock() - int(WordBeforeCursor().size()) - 1;
    if (dot < 0 || line[dot] != u'.')
        return QString();
    int end = dot, start = dot;
    if (start > 0 && line[start - 1] == u'"') {   // "quoted name".
        const int open = int(line.lastIndexOf(u'"', start - 2));
        return open < 0 ? QString() : line.mid(open + 1, start - 2 - open);
    }
    while (start > 0 && isWordChar(line[start - 1]))
        --start;
    return line.mid(start, end - start);
}

void TSqlEdit::Complete()
{
    const QString qualifier = QualifierBeforeWord();
    const QString prefix = WordBeforeCursor();
    m_words->setStringList(m_source(qualifier));
    m_completer->setCompletionPrefix(prefix);
    if (m_completer->completionCount() == 0) {
        m_completer->popup()->hide();
        return;
    }
    m_completer->popup()->setCurrentIndex(m_completer->completionModel()->index(0, 0));
    QRect at = cursorRect();
    at.translate(viewportMargins().left(), 0);
    at.setWidth(m_completer->popup()->sizeHintForColumn(0) + m_completer->popup()->verticalScrollBar()->sizeHint().width());
    m_completer->complete(at);
}

void TSqlEdit::InsertCompletion(const QString &word)
{
    QTextCursor cursor = textCursor();
    cursor.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, int(WordBeforeCursor().size()));
    cursor.insertText(word);
    setTextCursor(cursor);
}

void TSqlEdit::keyPressEvent(QKeyEvent *event)
{
    const bool popup = m_completer && m_completer->popup()->isVisible();
    if (popup) {
        switch (event->key()) {
        case Qt::Key_Enter: case Qt::Key_Return: case Qt::Key_Tab: case Qt::Key_Escape: case Qt::Key_Backtab:
            event->ignore();   // the completer's: it chooses or closes
            return;
        default:
            break;
        }
    }
    const bool asked = event->key() == Qt::Key_Space && event->modifiers() == Qt::ControlModifier;
    if (m_completer && asked) {
        Complete();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
    if (!m_completer || isReadOnly())
        return;
    if (event->text() == u"." && !QualifierBeforeWord().isEmpty())
        Complete();
    else if (popup && !WordBeforeCursor().isEmpty() && !event->text().isEmpty())
        Complete();
    else if (popup)
        m_completer->popup()->hide();
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
