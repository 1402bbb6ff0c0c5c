#include "WordServer.h"

#include "OdtFile.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QTextBlock>
#include <QTextDocumentWriter>
#include <QTextFrame>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {

// Word's own texts for what it refuses.
const QString NoSuchMember = QStringLiteral("Запрашиваемый номер семейства не существует.");
const QString OutOfRange = QStringLiteral("Значение лежит вне допустимого диапазона.");
const QString NoDocument = QStringLiteral("Эта команда недоступна, так как нет открытых документов.");
const QString ObjectDeleted = QStringLiteral("Объект был удален.");

constexpr int MaxTableColumns = 63;
constexpr double PixelsPerPoint = 96.0 / 72.0;

TDispValue none()
{
    return {};
}

// Word's Booleans are -1 and 0.
TDispValue wordBool(bool on)
{
    return TDispValue::FromInteger(on ? -1 : 0);
}

// wdDoNotSaveChanges (0) drops the changes; wdSaveChanges (-1) saves;
// wdPromptToSaveChanges (-2) and an absent argument save too, as a person
// asked would keep the work.
bool saveChanges(TDispArgs &args, int i)
{
    return !args.Given(i) || args.Int(i) != 0;
}

bool haveGui()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
}

void collectTables(QTextFrame *frame, QList<QTextTable *> &tables)
{
    for (QTextFrame *child : frame->childFrames()) {
        if (auto *table = qobject_cast<QTextTable *>(child))
            tables << table;
        collectTables(child, tables);
    }
}

// The ends of a cell's text.
int cellStart(QTextTable *table, int row, int column)
{
    return table->cellAt(row - 1, column - 1).firstPosition();
}

int cellEnd(QTextTable *table, int row, int column)
{
    return table->cellAt(row - 1, column - 1).lastPosition();
}

} // namespace

QString WordFontFamily(const QString &name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.endsWith(QLatin1String(" Cyr"), Qt::CaseInsensitive))
        return trimmed.left(trimmed.size() - 4).trimmed();
    return trimmed;
}

// ---------------------------------------------------------------------------
// Application

std::shared_ptr<TWordApplication> TWordApplication::Create()
{
    return std::make_shared<TWordApplication>();
}

TWordApplication::TWordApplication() : TAutomationClass(QStringLiteral("Microsoft Word")) {}

TWordApplication::TMembers TWordApplication::members()
{
    using A = TWordApplication;
    static const TMemberDef<A> table[] = {
        {"Application", &A::getApplication},
        {"Name", &A::getName},
        {"Visible", &A::getVisible, &A::putVisible},
        {"ScreenUpdating", &A::getScreenUpdating, &A::putScreenUpdating},
        {"DisplayAlerts", &A::getDisplayAlerts, &A::putDisplayAlerts},
        {"Options", &A::getOptions},
        {"Documents", &A::getDocuments, nullptr, nullptr, 1},
        {"ActiveDocument", &A::getActiveDocument},
        {"ActiveWindow", &A::getActiveWindow},
        {"ScreenRefresh", nullptr, nullptr, &A::callScreenRefresh},
        {"Quit", nullptr, nullptr, &A::callQuit, 3},
    };
    return table;
}

std::shared_ptr<TWordDocument> TWordApplication::AddDocument()
{
    if (!haveGui())
        RaiseServerError(QStringLiteral("Текстовому процессору нужно графическое приложение Qt"));
    auto app = std::static_pointer_cast<TWordApplication>(shared_from_this());
    auto document = std::make_shared<TWordDocument>(Server(), app, nextDocumentNumber());
    m_documents.push_back(document);
    m_active = document;
    return document;
}

std::shared_ptr<TWordDocument> TWordApplication::Document(int index) const
{
    return std::static_pointer_cast<TWordDocument>(m_documents[size_t(index - 1)]);
}

std::shared_ptr<TWordDocument> TWordApplication::ActiveDocument() const
{
    return std::static_pointer_cast<TWordDocument>(m_active);
}

std::shared_ptr<TWordDocument> TWordApplication::requireActive() const
{
    auto document = ActiveDocument();
    if (!document)
        RaiseServerError(NoDocument);
    return document;
}

void TWordApplication::Activate(const std::shared_ptr<TWordDocument> &document)
{
    m_active = document;
}

void TWordApplication::CloseDocument(const std::shared_ptr<TWordDocument> &document, bool save)
{
    closeDocument(document, save);
}

TDispValue TWordApplication::getOptions(TDispArgs &)
{
    auto app = std::static_pointer_cast<TWordApplication>(shared_from_this());
    return TDispValue::FromDispatch(std::make_shared<TWordOptions>(app));
}

TDispValue TWordApplication::getDocuments(TDispArgs &args)
{
    if (args.Given(0))
        return TDispValue::FromDispatch(DocumentItem(*this, args.Value(0)));
    auto app = std::static_pointer_cast<TWordApplication>(shared_from_this());
    return TDispValue::FromDispatch(std::make_shared<TWordDocuments>(app));
}

TDispValue TWordApplication::getActiveDocument(TDispArgs &)
{
    return TDispValue::FromDispatch(requireActive());
}

TDispValue TWordApplication::getActiveWindow(TDispArgs &)
{
    return TDispValue::FromDispatch(std::make_shared<TWordWindow>(requireActive()));
}

TDispValue TWordApplication::callScreenRefresh(TDispArgs &)
{
    ++ScreenRefreshes;
    return none();
}

TDispValue TWordApplication::callQuit(TDispArgs &args)
{
    Quit(saveChanges(args, 0));
    return none();
}

// ---------------------------------------------------------------------------
// Options

TWordOptions::TWordOptions(std::shared_ptr<TWordApplication> application)
    : TAutomationClass(application->Server()), m_application(std::move(application))
{
}

TWordOptions::TMembers TWordOptions::members()
{
    using O = TWordOptions;
    static const TMemberDef<O> table[] = {
        {"Pagination", &O::getPagination, &O::putPagination},
        {"CheckSpellingAsYouType", &O::getSpelling, &O::putSpelling},
        {"CheckGrammarAsYouType", &O::getGrammar, &O::putGrammar},
    };
    return table;
}

TDispValue TWordOptions::getPagination(TDispArgs &)
{
    return TDispValue::FromBoolean(m_application->Pagination);
}

void TWordOptions::putPagination(TDispArgs &, const TDispValue &v)
{
    m_application->Pagination = VarToBool(v);
}

TDispValue TWordOptions::getSpelling(TDispArgs &)
{
    return TDispValue::FromBoolean(m_application->CheckSpellingAsYouType);
}

void TWordOptions::putSpelling(TDispArgs &, const TDispValue &v)
{
    m_application->CheckSpellingAsYouType = VarToBool(v);
}

TDispValue TWordOptions::getGrammar(TDispArgs &)
{
    return TDispValue::FromBoolean(m_application->CheckGrammarAsYouType);
}

void TWordOptions::putGrammar(TDispArgs &, const TDispValue &v)
{
    m_application->CheckGrammarAsYouType = VarToBool(v);
}

// ---------------------------------------------------------------------------
// Documents

TWordDocuments::TWordDocuments(std::shared_ptr<TWordApplication> application)
    : TAutomationClass(application->Server()), m_application(std::move(application))
{
}

TWordDocuments::TMembers TWordDocuments::members()
{
    using D = TWordDocuments;
    static const TMemberDef<D> table[] = {
        {"Count", &D::getCount},
        {"Item", &D::getItem, nullptr, nullptr, 1},
        {"Add", nullptr, nullptr, &D::callAdd, 4},
        {"Close", nullptr, nullptr, &D::callClose, 3},
        {"Application", &D::getApplication},
        {"Parent", &D::getApplication},
    };
    return table;
}

TDispValue TWordDocuments::getCount(TDispArgs &)
{
    return TDispValue::FromInteger(m_application->DocumentCount());
}

std::shared_ptr<TWordDocument> DocumentItem(const TWordApplication &application, const TDispValue &index)
{
    if (index.Type == TDispValue::String) {
        for (int i = 1; i <= application.DocumentCount(); ++i)
            if (application.Document(i)->Name().compare(index.StrValue, Qt::CaseInsensitive) == 0)
                return application.Document(i);
        RaiseServerError(NoSuchMember);
    }
    const qint64 i = VarToInt(index);
    if (i < 1 || i > application.DocumentCount())
        RaiseServerError(NoSuchMember);
    return application.Document(int(i));
}

TDispValue TWordDocuments::getItem(TDispArgs &args)
{
    return TDispValue::FromDispatch(DocumentItem(*m_application, args.Value(0)));
}

TDispValue TWordDocuments::callAdd(TDispArgs &)
{
    // Templates are not read: every new document starts empty.
    return TDispValue::FromDispatch(m_application->AddDocument());
}

TDispValue TWordDocuments::callClose(TDispArgs &args)
{
    const bool save = saveChanges(args, 0);
    while (m_application->DocumentCount() > 0)
        m_application->CloseDocument(m_application->Document(1), save);
    return none();
}

TDispValue TWordDocuments::getApplication(TDispArgs &)
{
    return TDispValue::FromDispatch(m_application);
}

// ---------------------------------------------------------------------------
// Document

TWordDocument::TWordDocument(std::shared_ptr<TServerState> server,
                             std::weak_ptr<TWordApplication> application, int number)
    : TAutomationClass(std::move(server), QStringLiteral("Документ"), number, QStringLiteral(".odt")),
      m_application(std::move(application)), m_text(std::make_unique<QTextDocument>())
{
    m_text->setUndoRedoEnabled(false);
    m_text->setDefaultFont(QFont(QStringLiteral("Times New Roman"), 12));
}

TWordDocument::TMembers TWordDocument::members()
{
    using D = TWordDocument;
    static const TMemberDef<D> table[] = {
        {"Name", &D::getName},
        {"FullName", &D::getFullName},
        {"Path", &D::getPath},
        {"Saved", &D::getSaved, &D::putSaved},
        {"Content", &D::getContent},
        {"Range", nullptr, nullptr, &D::callRange, 2},
        {"Tables", &D::getTables, nullptr, nullptr, 1},
        {"UndoClear", nullptr, nullptr, &D::callUndoClear},
        {"ActiveWindow", &D::getActiveWindow},
        {"PageSetup", &D::getPageSetup},
        {"Save", nullptr, nullptr, &D::callSave},
        {"SaveAs", nullptr, nullptr, &D::callSaveAs, 16},
        {"Close", nullptr, nullptr, &D::callClose, 3},
        {"Activate", nullptr, nullptr, &D::callActivate},
        {"Application", &D::getApplication},
        {"Parent", &D::getApplication},
    };
    return table;
}

std::shared_ptr<TWordDocument> TWordDocument::selfDocument()
{
    return std::static_pointer_cast<TWordDocument>(shared_from_this());
}

std::shared_ptr<TWordApplication> TWordDocument::Application() const
{
    auto app = m_application.lock();
    if (!app)
        RaiseOleError(OleStatus::ServerUnavailable);
    return app;
}

void TWordDocument::writeFile(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    QByteArray format;
    if (suffix == QLatin1String("htm") || suffix == QLatin1String("html"))
        format = "html";
    else if (suffix == QLatin1String("txt"))
        format = "plaintext";
    else if (suffix == QLatin1String("md"))
        format = "markdown";
    if (format.isEmpty()) {
        WriteOdt(*m_text, m_page, path);
        return;
    }
    QTextDocumentWriter writer(path, format);
    if (!writer.write(m_text.get()))
        RaiseServerError(QStringLiteral("Не удается сохранить файл '%1'").arg(path));
}

QList<QTextTable *> TWordDocument::Tables() const
{
    QList<QTextTable *> tables;
    collectTables(m_text->rootFrame(), tables);
    return tables;
}

namespace {

// Ends the paragraph at the cursor. The new paragraph keeps the old one's
// format, and a break after the old paragraph now follows the new one.
void splitParagraph(QTextCursor &cursor, bool pageBreak)
{
    const QTextBlockFormat original = cursor.blockFormat();
    const QTextFormat::PageBreakFlags policy = original.pageBreakPolicy();
    QTextBlockFormat next = original;
    QTextFormat::PageBreakFlags nextPolicy = policy & QTextFormat::PageBreak_AlwaysAfter;
    if (pageBreak)
        nextPolicy |= QTextFormat::PageBreak_AlwaysBefore;
    next.setPageBreakPolicy(nextPolicy);
    cursor.insertBlock(next, cursor.charFormat());
    if (policy & QTextFormat::PageBreak_AlwaysAfter) {
        QTextCursor previous(cursor.block().previous());
        QTextBlockFormat first = original;
        first.setPageBreakPolicy(policy & ~QTextFormat::PageBreakFlags(QTextFormat::PageBreak_AlwaysAfter));
        previous.setBlockFormat(first);
    }
}

} // namespace

int TWordDocument::InsertText(int pos, const QString &text)
{
    const int before = End();
    QTextCursor cursor(m_text.get());
    cursor.setPosition(std::clamp(pos, 0, End() - 1));
    QString run;
    auto flush = [&] {
        if (!run.isEmpty())
            cursor.insertText(run);
        run.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            flush();
            splitParagraph(cursor, false);
        } else if (c == u'\f') {
            flush();
            splitParagraph(cursor, true);
        } else if (c == u'\v') {
            run += QChar(QChar::LineSeparator);
        } else if (c == u'\t' || c.unicode() >= 0x20) {
            run += c;
        }
    }
    flush();
    Modified();
    return End() - before;
}

int TWordDocument::InsertParagraph(int pos, bool pageBreak)
{
    QTextCursor cursor(m_text.get());
    cursor.setPosition(std::clamp(pos, 0, End() - 1));
    splitParagraph(cursor, pageBreak);
    Modified();
    return 1;
}

void TWordDocument::Remove(int start, int end)
{
    end = std::min(end, End() - 1);
    if (end <= start)
        return;
    QTextCursor cursor(m_text.get());
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    Modified();
}

QTextTable *TWordDocument::InsertTable(int pos, int rows, int columns)
{
    QTextTableFormat format;
    format.setBorder(0.5);
    format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    format.setBorderBrush(Qt::black);
    format.setBorderCollapse(true);
    format.setCellPadding(1.5);
    format.setCellSpacing(0);
    format.setColumnWidthConstraints(
        QList<QTextLength>(columns, QTextLength(QTextLength::PercentageLength, 100.0 / columns)));
    QTextCursor cursor(m_text.get());
    cursor.setPosition(std::clamp(pos, 0, End() - 1));
    QTextTable *table = cursor.insertTable(rows, columns, format);
    Modified();
    return table;
}

void TWordDocument::SpreadTable(QTextTable *table)
{
    QTextTableFormat format = table->format();
    const int columns = table->columns();
    format.setColumnWidthConstraints(
        QList<QTextLength>(columns, QTextLength(QTextLength::PercentageLength, 100.0 / columns)));
    table->setFormat(format);
    Modified();
}

void TWordDocument::AutoFitTable(QTextTable *table)
{
    const double padding = table->format().cellPadding();
    // Measured in points: a 72 dpi device makes a pixel a point.
    QImage device(1, 1, QImage::Format_Mono);
    device.setDotsPerMeterX(2835);
    device.setDotsPerMeterY(2835);
    const QFont base = m_text->defaultFont();

    auto textWidth = [&](const QString &text, const QTextCharFormat &format) {
        QFont font = format.font().resolve(base);
        if (!haveGui())
            return text.size() * font.pointSizeF() * 0.55;
        return QFontMetricsF(font, &device).horizontalAdvance(text);
    };

    QList<double> widths(table->columns(), 0.0);
    for (int r = 0; r < table->rows(); ++r) {
        for (int c = 0; c < table->columns(); ++c) {
            const QTextTableCell cell = table->cellAt(r, c);
            if (cell.row() != r || cell.column() != c || cell.columnSpan() > 1)
                continue;
            for (auto it = cell.begin(); !it.atEnd(); ++it) {
                const QTextBlock block = it.currentBlock();
                if (!block.isValid())
                    continue;
                double line = 0;
                for (auto f = block.begin(); !f.atEnd(); ++f) {
                    const QTextFragment fragment = f.fragment();
                    const QStringList parts = fragment.text().split(QChar(QChar::LineSeparator));
                    for (qsizetype p = 0; p < parts.size(); ++p) {
                        if (p > 0) {
                            widths[c] = std::max(widths[c], line);
                            line = 0;
                        }
                        line += textWidth(parts[p], fragment.charFormat());
                    }
                }
                widths[c] = std::max(widths[c], line);
            }
        }
    }
    double total = 0;
    for (double &w : widths) {
        w = std::max(18.0, std::ceil(w + 2 * padding + 2));
        total += w;
    }
    const double available = m_page.TextWidth();
    QList<QTextLength> constraints;
    for (double w : widths)
        constraints << QTextLength(QTextLength::FixedLength, total > available ? w * available / total : w);
    QTextTableFormat format = table->format();
    format.setColumnWidthConstraints(constraints);
    table->setFormat(format);
    Modified();
}

TDispValue TWordDocument::getContent(TDispArgs &)
{
    return TDispValue::FromDispatch(std::make_shared<TWordRange>(selfDocument(), 0, End()));
}

TDispValue TWordDocument::callRange(TDispArgs &args)
{
    const qint64 start = args.Int(0, 0);
    const qint64 end = args.Int(1, End());
    if (start < 0 || end > End() || start > end)
        RaiseServerError(OutOfRange);
    return TDispValue::FromDispatch(std::make_shared<TWordRange>(selfDocument(), int(start), int(end)));
}

TDispValue TWordDocument::getTables(TDispArgs &args)
{
    if (args.Given(0))
        return TableItem(selfDocument(), args.Value(0));
    return TDispValue::FromDispatch(std::make_shared<TWordTables>(selfDocument()));
}

TDispValue TWordDocument::callUndoClear(TDispArgs &)
{
    m_text->clearUndoRedoStacks();
    return none();
}

TDispValue TWordDocument::getActiveWindow(TDispArgs &)
{
    return TDispValue::FromDispatch(std::make_shared<TWordWindow>(selfDocument()));
}

TDispValue TWordDocument::getPageSetup(TDispArgs &)
{
    return TDispValue::FromDispatch(std::make_shared<TWordPageSetupObject>(selfDocument()));
}

TDispValue TWordDocument::callClose(TDispArgs &args)
{
    Application()->CloseDocument(selfDocument(), saveChanges(args, 0));
    return none();
}

TDispValue TWordDocument::callActivate(TDispArgs &)
{
    Application()->Activate(selfDocument());
    return none();
}

TDispValue TWordDocument::getApplication(TDispArgs &)
{
    return TDispValue::FromDispatch(Application());
}

// ---------------------------------------------------------------------------
// Parts of a document

TWordPart::TWordPart(std::shared_ptr<TWordDocument> document)
    : TServerObject(document->Server()), m_document(std::move(document))
{
}

TWordPageSetupObject::TMembers TWordPageSetupObject::members()
{
    using P = TWordPageSetupObject;
    static const TMemberDef<P> table[] = {
        {"Orientation", &P::getOrientation, &P::putOrientation},
        {"LeftMargin", &P::getLeft, &P::putLeft},
        {"RightMargin", &P::getRight, &P::putRight},
        {"TopMargin", &P::getTop, &P::putTop},
        {"BottomMargin", &P::getBottom, &P::putBottom},
        {"PageWidth", &P::getWidth, &P::putWidth},
        {"PageHeight", &P::getHeight, &P::putHeight},
    };
    return table;
}

TDispValue TWordPageSetupObject::getOrientation(TDispArgs &)
{
    return TDispValue::FromInteger(m_document->PageSetup().Orientation);
}

void TWordPageSetupObject::putOrientation(TDispArgs &, const TDispValue &v)
{
    const qint64 orientation = VarToInt(v);
    if (orientation != wdOrientPortrait && orientation != wdOrientLandscape)
        RaiseServerError(OutOfRange);
    TWordPageSetup &page = m_document->PageSetup();
    page.Orientation = int(orientation);
    // Turning the page swaps its sides, as Word does.
    const bool landscape = orientation == wdOrientLandscape;
    if ((page.PageWidth > page.PageHeight) != landscape)
        std::swap(page.PageWidth, page.PageHeight);
    m_document->Modified();
}

void TWordPageSetupObject::setMargin(double &margin, const TDispValue &v)
{
    const double value = VarToNumber(v);
    if (value < 0 || value > 1584)
        RaiseServerError(OutOfRange);
    margin = value;
    m_document->Modified();
}

void TWordPageSetupObject::setSize(double &side, const TDispValue &v)
{
    const double value = VarToNumber(v);
    if (value < 1 || value > 1584)
        RaiseServerError(OutOfRange);
    side = value;
    m_document->Modified();
}

TWordWindow::TMembers TWordWindow::members()
{
    using W = TWordWindow;
    static const TMemberDef<W> table[] = {
        {"WindowState", &W::getWindowState, &W::putWindowState},
        {"Caption", &W::getCaption},
        {"Document", &W::getDocument},
        {"Application", &W::getApplication},
        {"GetPoint", nullptr, nullptr, &W::callGetPoint, 5},
    };
    return table;
}

void TWordWindow::putWindowState(TDispArgs &, const TDispValue &v)
{
    const qint64 state = VarToInt(v);
    if (state < 0 || state > 2)
        RaiseServerError(OutOfRange);
    m_document->WindowState = int(state);
}

TDispValue TWordWindow::callGetPoint(TDispArgs &args)
{
    auto *range = dynamic_cast<TWordRange *>(args.Object(4).get());
    if (!range || range->Document() != m_document)
        RaiseOleError(OleStatus::TypeMismatch);
    QTextDocument &text = m_document->Text();
    const TWordPageSetup &page = m_document->PageSetup();
    text.setDocumentMargin(0);
    text.setTextWidth(page.TextWidth() * PixelsPerPoint);
    QAbstractTextDocumentLayout *layout = text.documentLayout();

    // The point of a position and the line it stands on.
    auto pointOf = [&](int pos, QRectF &lineRect) {
        const QTextBlock block = text.findBlock(std::min(pos, text.characterCount() - 1));
        const QRectF blockRect = layout->blockBoundingRect(block);
        const QTextLayout *lines = block.layout();
        const int inBlock = std::clamp(pos - block.position(), 0, std::max(0, block.length() - 1));
        QTextLine line = lines ? lines->lineForTextPosition(inBlock) : QTextLine();
        if (!line.isValid()) {
            lineRect = blockRect;
            return blockRect.topLeft();
        }
        lineRect = QRectF(blockRect.left() + line.x(), blockRect.top() + line.y(), line.width(),
                          line.height());
        return QPointF(blockRect.left() + line.cursorToX(inBlock), lineRect.top());
    };
    QRectF firstLine, lastLine;
    const QPointF from = pointOf(range->Start(), firstLine);
    const QPointF to = pointOf(std::max(range->Start(), std::min(range->End(), text.characterCount() - 1)),
                               lastLine);
    const double width = firstLine.top() == lastLine.top() ? to.x() - from.x() : firstLine.right() - from.x();
    const double height = lastLine.bottom() - from.y();
    args.SetByRef(0, TDispValue::FromInteger(qRound(page.LeftMargin * PixelsPerPoint + from.x())));
    args.SetByRef(1, TDispValue::FromInteger(qRound(page.TopMargin * PixelsPerPoint + from.y())));
    args.SetByRef(2, TDispValue::FromInteger(qRound(std::max(0.0, width))));
    args.SetByRef(3, TDispValue::FromInteger(qRound(std::max(0.0, height))));
    return none();
}

// ---------------------------------------------------------------------------
// Range

TWordRange::TWordRange(std::shared_ptr<TWordDocument> document, int start, int end)
    : TAutomationClass(std::move(document)), m_start(&m_document->Text()), m_end(&m_document->Text())
{
    SetRange(start, end);
}

int TWordRange::Start() const
{
    return m_start.position();
}

int TWordRange::End() const
{
    const int last = m_document->End() - 1;
    const int end = std::max(m_start.position(), m_end.position());
    return m_final && end >= last ? last + 1 : end;
}

int TWordRange::textEnd() const
{
    return std::min(End(), m_document->End() - 1);
}

void TWordRange::SetRange(int start, int end)
{
    const int size = m_document->End();
    start = std::clamp(start, 0, size);
    end = std::clamp(end, start, size);
    m_final = end == size;
    m_start.setPosition(std::min(start, size - 1));
    m_end.setPosition(std::min(end, size - 1));
    // A range that takes in the final mark keeps it when text is added
    // before the mark; any other range keeps its end where it is.
    m_end.setKeepPositionOnInsert(!m_final);
}

QString TWordRange::Text() const
{
    QTextCursor cursor(&m_document->Text());
    cursor.setPosition(Start());
    cursor.setPosition(textEnd(), QTextCursor::KeepAnchor);
    QString text;
    for (const QChar c : cursor.selectedText()) {
        switch (c.unicode()) {
        case QChar::ParagraphSeparator: text += u'\r'; break;
        case QChar::LineSeparator: text += u'\v'; break;
        case 0xFDD0:   // the ends of tables and their cells
        case 0xFDD1: break;
        default: text += c;
        }
    }
    if (m_final)
        text += u'\r';
    return text;
}

void TWordRange::SetText(const QString &text)
{
    const int start = Start();
    m_document->Remove(start, textEnd());
    const int added = m_document->InsertText(start, text);
    SetRange(start, start + added);
}

void TWordRange::InsertAfter(const QString &text)
{
    const int start = Start();
    const int at = textEnd();
    const bool final = m_final;
    const int added = m_document->InsertText(at, text);
    SetRange(start, final ? m_document->End() : at + added);
}

void TWordRange::InsertBefore(const QString &text)
{
    const int start = Start();
    const int end = End();
    const bool final = m_final;
    const int added = m_document->InsertText(start, text);
    SetRange(start, final ? m_document->End() : end + added);
}

void TWordRange::InsertParagraphAfter()
{
    const int start = Start();
    const int at = textEnd();
    const bool final = m_final;
    m_document->InsertParagraph(at);
    SetRange(start, final ? m_document->End() : at + 1);
}

void TWordRange::InsertBreak(int type)
{
    // The range is replaced by the break and then covers it.
    const int start = Start();
    m_document->Remove(start, textEnd());
    if (type == wdLineBreak)
        m_document->InsertText(start, QStringLiteral("\v"));
    else
        m_document->InsertParagraph(start, type != wdSectionBreakContinuous);
    SetRange(start, start + 1);
}

void TWordRange::Collapse(int direction)
{
    if (direction == wdCollapseEnd) {
        // Nothing follows the final mark: the range stops before it.
        const int at = std::min(End(), m_document->End() - 1);
        SetRange(at, at);
    } else {
        SetRange(Start(), Start());
    }
}

void TWordRange::MergeCharFormat(const QTextCharFormat &format)
{
    QTextCursor cursor(&m_document->Text());
    cursor.setPosition(Start());
    cursor.setPosition(textEnd(), QTextCursor::KeepAnchor);
    if (cursor.hasSelection())
        cursor.mergeCharFormat(format);
    if (m_final || !cursor.hasSelection()) {
        // What is typed at the end of the range, into an empty paragraph,
        // takes the paragraph's own character format.
        QTextCursor end(&m_document->Text());
        end.setPosition(textEnd());
        end.mergeBlockCharFormat(format);
    }
    m_document->Modified();
}

QTextCharFormat TWordRange::CharFormat() const
{
    QTextCursor cursor(&m_document->Text());
    cursor.setPosition(textEnd() > Start() ? Start() + 1 : Start());
    return cursor.charFormat();
}

int TWordRange::move(int from, int unit, int count) const
{
    const int size = m_document->End();
    if (unit == wdCharacter)
        return std::clamp(from + count, 0, size);
    if (unit == wdStory)
        return count > 0 ? size : 0;
    if (unit != wdWord && unit != wdParagraph)
        RaiseServerError(OutOfRange);
    QTextCursor cursor(&m_document->Text());
    cursor.setPosition(std::min(from, size - 1));
    const auto forward = unit == wdWord ? QTextCursor::NextWord : QTextCursor::NextBlock;
    const auto backward = unit == wdWord ? QTextCursor::PreviousWord : QTextCursor::StartOfBlock;
    for (int i = 0; i < std::abs(count); ++i) {
        const int before = cursor.position();
        if (count > 0 && !cursor.movePosition(forward)) {
            // After the last paragraph comes the end of the story.
            return unit == wdParagraph ? size : cursor.position();
        }
        if (count < 0) {
            cursor.movePosition(backward);
            if (cursor.position() == before && unit == wdParagraph)
                cursor.movePosition(QTextCursor::PreviousBlock);
        }
    }
    return cursor.position();
}

TWordRange::TMembers TWordRange::members()
{
    using R = TWordRange;
    static const TMemberDef<R> table[] = {
        {"Start", &R::getStart, &R::putStart},
        {"End", &R::getEnd, &R::putEnd},
        {"Text", &R::getText, &R::putText},
        {"Font", &R::getFont},
        {"Bold", &R::getBold, &R::putBold},
        {"Italic", &R::getItalic, &R::putItalic},
        {"InsertAfter", nullptr, nullptr, &R::callInsertAfter, 1},
        {"InsertBefore", nullptr, nullptr, &R::callInsertBefore, 1},
        {"InsertParagraphAfter", nullptr, nullptr, &R::callInsertParagraphAfter},
        {"InsertParagraphBefore", nullptr, nullptr, &R::callInsertParagraphBefore},
        {"InsertBreak", nullptr, nullptr, &R::callInsertBreak, 1},
        {"Collapse", nullptr, nullptr, &R::callCollapse, 1},
        {"MoveEnd", nullptr, nullptr, &R::callMoveEnd, 2},
        {"MoveStart", nullptr, nullptr, &R::callMoveStart, 2},
        {"Delete", nullptr, nullptr, &R::callDelete, 2},
        {"Document", &R::getDocument},
        {"Application", &R::getApplication},
    };
    return table;
}

void TWordRange::putStart(TDispArgs &, const TDispValue &v)
{
    const qint64 start = VarToInt(v);
    if (start < 0 || start > m_document->End())
        RaiseServerError(OutOfRange);
    SetRange(int(start), std::max(int(start), End()));
}

void TWordRange::putEnd(TDispArgs &, const TDispValue &v)
{
    const qint64 end = VarToInt(v);
    if (end < 0 || end > m_document->End())
        RaiseServerError(OutOfRange);
    SetRange(std::min(Start(), int(end)), int(end));
}

TDispValue TWordRange::getFont(TDispArgs &)
{
    auto self = std::static_pointer_cast<TWordRange>(shared_from_this());
    return TDispValue::FromDispatch(std::make_shared<TWordFont>(self));
}

TDispValue TWordRange::getBold(TDispArgs &)
{
    return wordBool(CharFormat().fontWeight() >= QFont::Bold);
}

void TWordRange::putBold(TDispArgs &, const TDispValue &v)
{
    QTextCharFormat format;
    format.setFontWeight(VarToBool(v) ? QFont::Bold : QFont::Normal);
    MergeCharFormat(format);
}

TDispValue TWordRange::getItalic(TDispArgs &)
{
    return wordBool(CharFormat().fontItalic());
}

void TWordRange::putItalic(TDispArgs &, const TDispValue &v)
{
    QTextCharFormat format;
    format.setFontItalic(VarToBool(v));
    MergeCharFormat(format);
}

TDispValue TWordRange::callInsertAfter(TDispArgs &args)
{
    InsertAfter(args.Text(0));
    return none();
}

TDispValue TWordRange::callInsertBefore(TDispArgs &args)
{
    InsertBefore(args.Text(0));
    return none();
}

TDispValue TWordRange::callInsertParagraphAfter(TDispArgs &)
{
    InsertParagraphAfter();
    return none();
}

TDispValue TWordRange::callInsertParagraphBefore(TDispArgs &)
{
    const int start = Start();
    const int end = End();
    const bool final = m_final;
    m_document->InsertParagraph(start);
    SetRange(start, final ? m_document->End() : end + 1);
    return none();
}

TDispValue TWordRange::callInsertBreak(TDispArgs &args)
{
    InsertBreak(int(args.Int(0, wdPageBreak)));
    return none();
}

TDispValue TWordRange::callCollapse(TDispArgs &args)
{
    Collapse(int(args.Int(0, wdCollapseStart)));
    return none();
}

TDispValue TWordRange::callMoveEnd(TDispArgs &args)
{
    const int before = End();
    const int end = std::max(Start(), move(before, int(args.Int(0, wdCharacter)), int(args.Int(1, 1))));
    SetRange(Start(), end);
    return TDispValue::FromInteger(end - before);
}

TDispValue TWordRange::callMoveStart(TDispArgs &args)
{
    const int before = Start();
    const int end = End();
    const int start = std::min(end, move(before, int(args.Int(0, wdCharacter)), int(args.Int(1, 1))));
    SetRange(start, end);
    return TDispValue::FromInteger(start - before);
}

TDispValue TWordRange::callDelete(TDispArgs &)
{
    const int start = Start();
    const int removed = textEnd() - start;
    m_document->Remove(start, textEnd());
    SetRange(start, start);
    return TDispValue::FromInteger(removed);
}

// ---------------------------------------------------------------------------
// Font

TWordFont::TWordFont(std::shared_ptr<TWordRange> range)
    : TAutomationClass(range->Document()), m_range(std::move(range))
{
}

TWordFont::TMembers TWordFont::members()
{
    using F = TWordFont;
    static const TMemberDef<F> table[] = {
        {"Name", &F::getName, &F::putName},
        {"Size", &F::getSize, &F::putSize},
        {"Bold", &F::getBold, &F::putBold},
        {"Italic", &F::getItalic, &F::putItalic},
        {"Underline", &F::getUnderline, &F::putUnderline},
        {"StrikeThrough", &F::getStrikeThrough, &F::putStrikeThrough},
    };
    return table;
}

TDispValue TWordFont::getName(TDispArgs &)
{
    const QStringList families = m_range->CharFormat().fontFamilies().toStringList();
    return TDispValue::FromString(families.isEmpty() ? m_document->Text().defaultFont().family()
                                                     : families.first());
}

void TWordFont::putName(TDispArgs &, const TDispValue &v)
{
    const QString name = VarToText(v).trimmed();
    if (name.isEmpty())
        RaiseServerError(OutOfRange);
    QTextCharFormat format;
    format.setFontFamilies(QStringList{name});
    m_range->MergeCharFormat(format);
}

TDispValue TWordFont::getSize(TDispArgs &)
{
    const double size = m_range->CharFormat().fontPointSize();
    return TDispValue::FromDouble(size > 0 ? size : m_document->Text().defaultFont().pointSizeF());
}

void TWordFont::putSize(TDispArgs &, const TDispValue &v)
{
    const double size = VarToNumber(v);
    if (size < 1 || size > 1638)
        RaiseServerError(OutOfRange);
    QTextCharFormat format;
    format.setFontPointSize(size);
    m_range->MergeCharFormat(format);
}

TDispValue TWordFont::getBold(TDispArgs &)
{
    return wordBool(m_range->CharFormat().fontWeight() >= QFont::Bold);
}

void TWordFont::putBold(TDispArgs &, const TDispValue &v)
{
    QTextCharFormat format;
    format.setFontWeight(VarToBool(v) ? QFont::Bold : QFont::Normal);
    m_range->MergeCharFormat(format);
}

TDispValue TWordFont::getItalic(TDispArgs &)
{
    return wordBool(m_range->CharFormat().fontItalic());
}

void TWordFont::putItalic(TDispArgs &, const TDispValue &v)
{
    QTextCharFormat format;
    format.setFontItalic(VarToBool(v));
    m_range->MergeCharFormat(format);
}

TDispValue TWordFont::getUnderline(TDispArgs &)
{
    // wdUnderlineSingle (1) or wdUnderlineNone (0).
    return TDispValue::FromInteger(m_range->CharFormat().fontUnderline() ? 1 : 0);
}

void TWordFont::putUnderline(TDispArgs &, const TDispValue &v)
{
    QTextCharFormat format;
    format.setFontUnderline(VarToBool(v));
    m_range->MergeCharFormat(format);
}

TDispValue TWordFont::getStrikeThrough(TDispArgs &)
{
    return wordBool(m_range->CharFormat().fontStrikeOut());
}

void TWordFont::putStrikeThrough(TDispArgs &, const TDispValue &v)
{
    QTextCharFormat format;
    format.setFontStrikeOut(VarToBool(v));
    m_range->MergeCharFormat(format);
}

// ---------------------------------------------------------------------------
// Tables

TWordTables::TMembers TWordTables::members()
{
    using T = TWordTables;
    static const TMemberDef<T> table[] = {
        {"Count", &T::getCount},
        {"Item", &T::getItem, nullptr, nullptr, 1},
        {"Add", nullptr, nullptr, &T::callAdd, 5},
        {"Parent", &T::getDocument},
        {"Application", &T::getApplication},
    };
    return table;
}

TDispValue TWordTables::getCount(TDispArgs &)
{
    return TDispValue::FromInteger(m_document->Tables().size());
}

TDispValue TableItem(const std::shared_ptr<TWordDocument> &document, const TDispValue &index)
{
    const QList<QTextTable *> tables = document->Tables();
    const qint64 i = VarToInt(index);
    if (i < 1 || i > tables.size())
        RaiseServerError(NoSuchMember);
    return TDispValue::FromDispatch(std::make_shared<TWordTable>(document, tables[i - 1]));
}

TDispValue TWordTables::getItem(TDispArgs &args)
{
    return TableItem(m_document, args.Value(0));
}

TDispValue TWordTables::callAdd(TDispArgs &args)
{
    // Add(Range, NumRows, NumColumns): the table takes the range's place.
    auto *range = dynamic_cast<TWordRange *>(args.Object(0).get());
    if (!range || range->Document() != m_document)
        RaiseOleError(OleStatus::TypeMismatch);
    const qint64 rows = args.Int(1);
    const qint64 columns = args.Int(2);
    if (rows < 1 || rows > 32767 || columns < 1 || columns > MaxTableColumns)
        RaiseServerError(OutOfRange);
    const int at = range->Start();
    m_document->Remove(at, range->End());
    QTextTable *table = m_document->InsertTable(at, int(rows), int(columns));
    return TDispValue::FromDispatch(std::make_shared<TWordTable>(m_document, table));
}

TWordTablePart::TWordTablePart(std::shared_ptr<TWordDocument> document, QTextTable *table)
    : TWordPart(std::move(document)), m_table(table)
{
}

void TWordTablePart::checkAlive() const
{
    TWordPart::checkAlive();
    if (!m_table)
        RaiseServerError(ObjectDeleted);
}

TWordTable::TMembers TWordTable::members()
{
    using T = TWordTable;
    static const TMemberDef<T> table[] = {
        {"Cell", nullptr, nullptr, &T::callCell, 2},
        {"Rows", &T::getRows},
        {"Columns", &T::getColumns},
        {"Range", &T::getRange},
        {"AutoFitBehavior", nullptr, nullptr, &T::callAutoFitBehavior, 1},
        {"Parent", &T::getDocument},
        {"Application", &T::getApplication},
    };
    return table;
}

TDispValue TWordTable::callCell(TDispArgs &args)
{
    const qint64 row = args.Int(0);
    const qint64 column = args.Int(1);
    if (row < 1 || row > m_table->rows() || column < 1 || column > m_table->columns())
        RaiseServerError(NoSuchMember);
    return TDispValue::FromDispatch(std::make_shared<TWordCell>(m_document, m_table, int(row), int(column)));
}

TDispValue TWordTable::getRows(TDispArgs &)
{
    return TDispValue::FromDispatch(std::make_shared<TWordRows>(m_document, m_table));
}

TDispValue TWordTable::getColumns(TDispArgs &)
{
    return TDispValue::FromDispatch(std::make_shared<TWordColumns>(m_document, m_table));
}

TDispValue TWordTable::getRange(TDispArgs &)
{
    return TDispValue::FromDispatch(
        std::make_shared<TWordRange>(m_document, m_table->firstPosition(), m_table->lastPosition()));
}

TDispValue TWordTable::callAutoFitBehavior(TDispArgs &args)
{
    // wdAutoFitContent (1) fits the columns to their text; wdAutoFitWindow
    // (2) and wdAutoFitFixed (0) share the page's width among them.
    if (args.Int(0) == 1)
        m_document->AutoFitTable(m_table);
    else
        m_document->SpreadTable(m_table);
    return none();
}

TWordCell::TWordCell(std::shared_ptr<TWordDocument> document, QTextTable *table, int row, int column)
    : TAutomationClass(std::move(document), table), m_row(row), m_column(column)
{
}

TWordCell::TMembers TWordCell::members()
{
    using C = TWordCell;
    static const TMemberDef<C> table[] = {
        {"Range", &C::getRange},
        {"RowIndex", &C::getRowIndex},
        {"ColumnIndex", &C::getColumnIndex},
        {"Application", &C::getApplication},
    };
    return table;
}

TDispValue TWordCell::getRange(TDispArgs &)
{
    if (m_row > m_table->rows() || m_column > m_table->columns())
        RaiseServerError(ObjectDeleted);
    return TDispValue::FromDispatch(std::make_shared<TWordRange>(
        m_document, cellStart(m_table, m_row, m_column), cellEnd(m_table, m_row, m_column)));
}

TWordRows::TMembers TWordRows::members()
{
    using R = TWordRows;
    static const TMemberDef<R> table[] = {
        {"Count", &R::getCount},
        {"Item", &R::getItem, nullptr, nullptr, 1},
        {"Add", nullptr, nullptr, &R::callAdd, 1},
        {"Application", &R::getApplication},
    };
    return table;
}

TDispValue TWordRows::getCount(TDispArgs &)
{
    return TDispValue::FromInteger(m_table->rows());
}

TDispValue TWordRows::getItem(TDispArgs &args)
{
    const qint64 row = args.Int(0);
    if (row < 1 || row > m_table->rows())
        RaiseServerError(NoSuchMember);
    return TDispValue::FromDispatch(std::make_shared<TWordRow>(m_document, m_table, int(row)));
}

TDispValue TWordRows::callAdd(TDispArgs &args)
{
    // Add([BeforeRow]): a row before the given one, or at the end.
    int row = m_table->rows() + 1;
    if (args.Given(0)) {
        auto *before = dynamic_cast<TWordRow *>(args.Object(0).get());
        if (!before || before->Table() != m_table)
            RaiseOleError(OleStatus::TypeMismatch);
        row = before->Index();
        m_table->insertRows(row - 1, 1);
    } else {
        m_table->appendRows(1);
    }
    m_document->Modified();
    return TDispValue::FromDispatch(std::make_shared<TWordRow>(m_document, m_table, row));
}

TWordRow::TWordRow(std::shared_ptr<TWordDocument> document, QTextTable *table, int row)
    : TAutomationClass(std::move(document), table), m_row(row)
{
}

TWordRow::TMembers TWordRow::members()
{
    using R = TWordRow;
    static const TMemberDef<R> table[] = {
        {"Index", &R::getIndex},
        {"Range", &R::getRange},
        {"Delete", nullptr, nullptr, &R::callDelete},
        {"Application", &R::getApplication},
    };
    return table;
}

TDispValue TWordRow::getRange(TDispArgs &)
{
    if (m_row > m_table->rows())
        RaiseServerError(ObjectDeleted);
    return TDispValue::FromDispatch(std::make_shared<TWordRange>(
        m_document, cellStart(m_table, m_row, 1), cellEnd(m_table, m_row, m_table->columns())));
}

TDispValue TWordRow::callDelete(TDispArgs &)
{
    if (m_row > m_table->rows())
        RaiseServerError(ObjectDeleted);
    // The last row takes the table with it, as in Word.
    m_table->removeRows(m_row - 1, 1);
    m_document->Modified();
    return none();
}

TWordColumns::TMembers TWordColumns::members()
{
    using C = TWordColumns;
    static const TMemberDef<C> table[] = {
        {"Count", &C::getCount},
        {"AutoFit", nullptr, nullptr, &C::callAutoFit},
        {"Application", &C::getApplication},
    };
    return table;
}

TDispValue TWordColumns::getCount(TDispArgs &)
{
    return TDispValue::FromInteger(m_table->columns());
}

TDispValue TWordColumns::callAutoFit(TDispArgs &)
{
    m_document->AutoFitTable(m_table);
    return none();
}
