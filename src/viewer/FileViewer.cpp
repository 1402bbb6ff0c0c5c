#include "FileViewer.h"

#include "ReportPrinter.h"
#include "common/SafeFile.h"
#include "common/Settings.h"
#include "office/OLELink.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <sys/stat.h>

TEditFileHook &EditFileHook()
{
    static TEditFileHook hook;
    return hook;
}

namespace {

// Moves `from` to `to`, replacing the file `to` leads to (a symbolic link
// stays a link; a special file is refused); the old file is gone only once
// the new one is in place. Across file systems the file is copied safely
// beside the target first.
bool moveReplacing(const QString &from, const QString &to)
{
    const QString target = WriteTarget(to);
    const QByteArray a = QFile::encodeName(from), b = QFile::encodeName(target);
    if (std::rename(a.constData(), b.constData()) == 0)
        return true;
    if (errno != EXDEV)
        return false;
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    TSafeFile copy(target);
    for (QByteArray chunk; !(chunk = in.read(1 << 16)).isEmpty();)
        copy.Write(chunk);
    if (in.error() != QFileDevice::NoError)
        return false;
    copy.Commit();
    in.close();
    QFile::remove(from);
    return true;
}

} // namespace

TFileViewer::TFileViewer(QWidget *parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::NoFrame);
    setAutoFillBackground(true);
    QPalette p = viewport()->palette();
    p.setColor(QPalette::Window, Qt::white);
    p.setColor(QPalette::Base, Qt::white);
    viewport()->setPalette(p);
    viewport()->setAutoFillBackground(true);
    setPalette(p);
    if (parent)
        parent->installEventFilter(this);
    fillParent();
}

TFileViewer::~TFileViewer() = default;

QString TFileViewer::FileName() const
{
    return m_fileName.isEmpty() ? QString() : ExpandFileName(m_fileName);
}

void TFileViewer::SetFileName(const QString &name)
{
    m_fileName = name;
    if (name.isEmpty()) {
        m_pages.Clear();
        m_currentPage = 0;
        viewport()->update();
        return;
    }
    load(FileName());
}

void TFileViewer::Reload()
{
    load(FileName());
}

void TFileViewer::load(const QString &fullName)
{
    const std::shared_ptr<TPageGeometry> geometry = m_geometry ? m_geometry : DefaultPageGeometry();
    m_topLine = m_leftOffset = m_currentPage = 0;
    try {
        m_pages.Load(fullName, m_orientation, geometry,
                     m_measurerFactory ? m_measurerFactory(geometry->Dpi()) : nullptr);
    } catch (...) {
        viewport()->update();
        throw;
    }
    m_step = std::max(1, m_pages.PageWidth() / 5);
    watch();
    SetZoom(30);
    if (OnChangePage)
        OnChangePage();
}

namespace {

template <typename Stamp>
Stamp stampOf(const struct stat &st)
{
    Stamp stamp;
    stamp.device = quint64(st.st_dev);
    stamp.inode = quint64(st.st_ino);
    stamp.size = qint64(st.st_size);
    stamp.changed = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
}

} // namespace

void TFileViewer::watch()
{
    m_changed = false;
    struct stat st {};
    if (::fstat(m_pages.Mapper().Handle(), &st) == 0)
        m_stamp = stampOf<TStamp>(st);
    if (!m_watcher) {
        m_watcher = new QFileSystemWatcher(this);
        connect(m_watcher, &QFileSystemWatcher::fileChanged, this, [this] { watchedChanged(); });
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { watchedChanged(); });
    }
    if (!m_watcher->files().isEmpty())
        m_watcher->removePaths(m_watcher->files());
    if (!m_watcher->directories().isEmpty())
        m_watcher->removePaths(m_watcher->directories());
    // the folder too: a file replaced by rename is a change of the folder
    m_watcher->addPath(m_pages.FileName());
    m_watcher->addPath(QFileInfo(m_pages.FileName()).absolutePath());
}

void TFileViewer::watchedChanged()
{
    if (m_changed || !m_pages.IsLoaded())
        return;
    struct stat st {};
    const bool exists = ::stat(QFile::encodeName(m_pages.FileName()).constData(), &st) == 0;
    if (exists && stampOf<TStamp>(st) == m_stamp)
        return;
    m_changed = true;
    if (exists && !m_watcher->files().contains(m_pages.FileName()))
        m_watcher->addPath(m_pages.FileName());
    if (OnFileChanged)
        OnFileChanged();
}

void TFileViewer::fileCut()
{
    if (m_changed)
        return;
    m_changed = true;
    // told after the paint that found it, outside the paint
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (OnFileChanged)
                OnFileChanged();
        },
        Qt::QueuedConnection);
}

void TFileViewer::fillParent()
{
    if (QWidget *parent = parentWidget())
        setGeometry(parent->rect());
}

bool TFileViewer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        if (m_fitPage)
            FitPage(parentWidget()->width(), parentWidget()->height());
        else
            fillParent();
    }
    return QAbstractScrollArea::eventFilter(watched, event);
}

void TFileViewer::SetZoom(int percent)
{
    m_fitPage = false;
    const int dpi = m_pages.Dpi();
    m_scale = dpi / 300.0 * 100.0 / std::max(1, percent);
    m_screenDpi = std::max(1, int(dpi / m_scale));
    m_screen = m_measurerFactory ? m_measurerFactory(m_screenDpi) : CreateMeasurer(m_screenDpi);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    fillParent();
    ScrollTo(m_topLine, m_leftOffset);
}

void TFileViewer::FitPage(int width, int height)
{
    if (width <= 0 || height <= 0 || m_pages.PageWidth() <= 0 || m_pages.PageHeight() <= 0)
        return;
    m_fitPage = true;
    const double pw = m_pages.PageWidth(), ph = m_pages.PageHeight();
    int cw, ch;
    if (pw / width <= ph / height) {
        ch = height;
        cw = std::max(1, int(std::lround(pw / (ph / height))));
        m_scale = pw / cw;
    } else {
        cw = width;
        ch = std::max(1, int(std::lround(ph / (pw / width))));
        m_scale = ph / ch;
    }
    m_screenDpi = std::max(1, int(std::lround(m_pages.Dpi() / m_scale)));
    m_screen.reset();
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const QSize area = parentWidget() ? parentWidget()->size() : QSize(width, height);
    setGeometry((area.width() - cw) / 2, (area.height() - ch) / 2, cw, ch);
    GoToPage(m_currentPage);
}

int TFileViewer::maxLeftOffset() const
{
    return std::max(0, int(m_pages.PageWidth() - viewport()->width() * m_scale));
}

void TFileViewer::ScrollTo(int topLine, int leftOffset)
{
    m_topLine = std::clamp(topLine, 0, std::max(0, m_pages.LineCount() - 2));
    m_leftOffset = std::clamp(leftOffset, 0, maxLeftOffset());
    updateScrollBars();
    viewport()->update();
    updateCurrentPage();
}

void TFileViewer::updateCurrentPage(bool force)
{
    if (m_pages.PageCount() == 0)
        return;
    const int page = m_pages.PageOfLine(m_topLine);
    if (page != m_currentPage || force) {
        m_currentPage = page;
        if (OnChangePage)
            OnChangePage();
    }
}

void TFileViewer::GoToPage(int page)
{
    if (m_pages.PageCount() == 0)
        return;
    page = std::clamp(page, 0, m_pages.PageCount() - 1);
    m_currentPage = page;
    m_topLine = std::min(m_pages.Pages()[size_t(page)].first, std::max(0, m_pages.LineCount() - 2));
    m_leftOffset = 0;
    updateScrollBars();
    viewport()->update();
    if (OnChangePage)
        OnChangePage();
}

void TFileViewer::updateScrollBars()
{
    m_syncing = true;
    verticalScrollBar()->setRange(0, std::max(0, m_pages.LineCount() - 2));
    verticalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setPageStep(std::max(1, m_linesPainted));
    verticalScrollBar()->setValue(m_topLine);
    horizontalScrollBar()->setRange(0, maxLeftOffset());
    horizontalScrollBar()->setSingleStep(std::max(1, m_step / 10));
    horizontalScrollBar()->setPageStep(std::max(1, m_step));
    horizontalScrollBar()->setValue(m_leftOffset);
    m_syncing = false;
}

void TFileViewer::scrollContentsBy(int, int)
{
    if (!m_syncing)
        ScrollTo(verticalScrollBar()->value(), horizontalScrollBar()->value());
}

void TFileViewer::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    ScrollTo(m_topLine, m_leftOffset);
}

void TFileViewer::keyPressEvent(QKeyEvent *event)
{
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    if (m_fitPage && !ctrl && m_pages.PageCount() > 0) {
        // A whole page shows at a time: the paging keys go from page to page
        // as the page buttons do, Home and End to the first and last page
        // (a screen's worth of lines would hide the next page's first line).
        const int page = event->key() == Qt::Key_PageDown ? m_currentPage + 1
                         : event->key() == Qt::Key_PageUp ? m_currentPage - 1
                         : event->key() == Qt::Key_Home   ? 0
                         : event->key() == Qt::Key_End    ? m_pages.PageCount() - 1
                                                          : -2;
        if (page != -2) {
            GoToPage(page);
            event->accept();
            return;
        }
    }
    const int last = std::max(0, m_pages.LineCount() - 2);
    int top = m_topLine, left = m_leftOffset;
    switch (event->key()) {
    case Qt::Key_Up:
        --top;
        break;
    case Qt::Key_Down:
        ++top;
        break;
    case Qt::Key_PageUp:
        top = ctrl ? 0 : top - m_linesPainted;
        break;
    case Qt::Key_PageDown:
        top = ctrl ? last : top + m_linesPainted;
        break;
    case Qt::Key_Left:
        left -= ctrl ? m_step : m_step / 10;
        break;
    case Qt::Key_Right:
        left += ctrl ? m_step : m_step / 10;
        break;
    case Qt::Key_Home:
        left = 0;
        break;
    case Qt::Key_End:
        left = ctrl ? maxLeftOffset() : 0;
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    ScrollTo(top, left);
    event->accept();
}

void TFileViewer::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), Qt::white);
    m_fragments.clear();
    m_shapes.clear();
    if (!m_pages.IsLoaded() || m_pages.PageCount() == 0)
        return;
    // the file's size is asked before its pages are touched: a file cut in
    // place has lost them, and its change is shown instead
    if (!m_pages.Intact()) {
        painter.setPen(Qt::darkGray);
        painter.drawText(viewport()->rect(), Qt::AlignCenter, QStringLiteral("Файл отчета изменился"));
        fileCut();
        return;
    }
    TLayoutView view;
    view.scale = m_scale;
    view.printerWidths = m_fitPage;
    view.screen = m_fitPage ? nullptr : m_screen.get();
    view.leftOffset = m_leftOffset;
    view.visibleWidth = viewport()->width();
    const double bottom = viewport()->height();
    const TLineIndex &lines = m_pages.Lines();
    int page = m_pages.PageOfLine(m_topLine);
    const TPage current = m_pages.Pages()[size_t(page)];
    view.pageTop = -m_pages.HeightOf(current.first, m_topLine) / m_scale;
    double y = 0;
    int painted = 0;
    // the whole page shows only its own lines: the next page's first one
    // would stand below the page's edge
    const int end = m_fitPage ? current.last + 1 : m_pages.LineCount();
    for (int i = m_topLine; i < end && y <= bottom; ++i) {
        if (i > m_topLine && page + 1 < m_pages.PageCount()
            && m_pages.Pages()[size_t(page + 1)].first == i) {
            ++page;
            view.pageTop = y;
        }
        m_pages.LayoutLine(i, y, view, m_fragments, m_shapes);
        y += lines.Height(size_t(i)) / m_scale;
        ++painted;
    }
    m_linesPainted = std::max(1, painted);
    // the current page's edges: the pixel row above its first line and the
    // one under its last, so neither crosses a line's letters (at the top
    // of the whole page the top edge is the view's own)
    const double pageTop = std::floor(-m_pages.HeightOf(current.first, m_topLine) / m_scale) - 0.5;
    const double pageBottom =
        std::ceil((m_pages.HeightOf(current.first, current.last + 1) - m_pages.HeightOf(current.first, m_topLine)) / m_scale) + 0.5;
    painter.setPen(QPen(Qt::red, 1));
    painter.drawLine(QLineF(0, pageTop, viewport()->width(), pageTop));
    painter.drawLine(QLineF(0, pageBottom, viewport()->width(), pageBottom));
    TOutputPages::Draw(painter, m_fragments, m_shapes, m_screenDpi);
}

void TFileViewer::PrintRange(QPrinter &printer, int first, int last)
{
    PrintOutputPages(printer, m_pages, first, last);
}

void TFileViewer::ExportToWord()
{
    if (m_pages.LineCount() == 0)
        return;
    ::ExportToWord(m_pages.ExportPages(), m_orientation == TPageGeometry::Landscape ? 1 : 0);
}

void TFileViewer::Edit()
{
    if (!EditFileHook())
        return;
    const QString name = FileName();
    m_pages.Clear();
    EditFileHook()(name);
    load(name);
}

bool TFileViewer::MoveTo(const QString &name)
{
    const QString from = FileName();
    const QString to = ExpandFileName(name);
    if (QFileInfo(from).canonicalFilePath() == QFileInfo(to).canonicalFilePath()) {
        // the file already has that name: moving it onto itself would
        // delete it
        m_fileName = to;
        load(to);
        return true;
    }
    // what the names lead to: the file shown moves, a link stays a link,
    // and a special file is refused before anything changes
    const QString source = WriteTarget(from);
    WriteTarget(to);
    m_pages.Clear();
    bool moved = false;
    try {
        moved = moveReplacing(source, to);
    } catch (...) {
        load(FileName());
        throw;
    }
    if (moved)
        m_fileName = to;
    load(FileName());
    return moved;
}

void TFileViewer::Assign(const TFileViewer *other)
{
    if (!other) {
        m_pages.Clear();
        m_fileName.clear();
        m_currentPage = 0;
        viewport()->update();
        return;
    }
    m_pages.Assign(other->m_pages);
    m_fileName = other->m_fileName;
    m_leftOffset = other->m_leftOffset;
    m_topLine = other->m_topLine;
    m_step = other->m_step;
    m_linesPainted = other->m_linesPainted;
    m_currentPage = other->m_currentPage;
    m_scale = other->m_scale;
    m_screenDpi = other->m_screenDpi;
    OnChangePage = other->OnChangePage;
    m_orientation = other->m_orientation;
    m_fitPage = other->m_fitPage;
    m_geometry = other->m_geometry;
    m_measurerFactory = other->m_measurerFactory;
    m_screen = m_measurerFactory ? m_measurerFactory(m_screenDpi) : CreateMeasurer(m_screenDpi);
    updateScrollBars();
    viewport()->update();
}
