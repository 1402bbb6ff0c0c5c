#pragma once

#include "OutputPages.h"

#include <QAbstractScrollArea>
#include <functional>
#include <memory>

class QFileSystemWatcher;
class QPrinter;

// The editing hook: shows the file of the given full name in a text editor,
// modally. The template editor installs one; while the slot is empty the
// viewer offers no editing.
using TEditFileHook = std::function<void(const QString &fileName)>;
TEditFileHook &EditFileHook();

// Shows a report output file as pages laid out exactly as they print, at a
// zoom or fitted to the page; scrolls by lines, goes to pages, prints a
// range of pages, exports to the word processor, hands the file to the
// editing hook and moves it to another name.
class TFileViewer : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TFileViewer(QWidget *parent = nullptr);
    ~TFileViewer() override;

    // The full name of the file shown; a name without a directory is taken
    // against the program directory. Setting it loads the file.
    QString FileName() const;
    void SetFileName(const QString &name);
    TPageGeometry::Orientation Orientation() const { return m_orientation; }
    void SetOrientation(TPageGeometry::Orientation o) { m_orientation = o; }
    // Fired when the current page changed (and after loading).
    std::function<void()> OnChangePage;

    // The geometry and measurer the next load measures with (tests give a
    // fixed-pitch one); by default the installed printer's or the virtual
    // printer, with the real fonts.
    void SetPageGeometry(std::shared_ptr<TPageGeometry> geometry) { m_geometry = std::move(geometry); }
    using TMeasurerFactory = std::function<std::unique_ptr<TTextMeasurer>(int dpi)>;
    void SetMeasurerFactory(TMeasurerFactory f) { m_measurerFactory = std::move(f); }

    // Reads the file again (measured anew) and shows it.
    void Reload();
    // The file shown is held open: when its name is given to a new file or
    // the file is rewritten, the pages stay as loaded, FileChanged() turns
    // true and OnFileChanged fires (once until the next load). A file cut
    // in place has lost the pages past its new end: the viewer then shows
    // "Файл отчета изменился" instead of them (never touching them) and
    // tells the change the same way.
    bool FileChanged() const { return m_changed; }
    std::function<void()> OnFileChanged;
    TOutputPages &Pages() { return m_pages; }
    const TOutputPages &Pages() const { return m_pages; }

    void SetZoom(int percent);
    // Fits a page into `width` x `height`: the viewer takes the page's
    // proportions and is centred there.
    void FitPage(int width, int height);
    bool FitPageMode() const { return m_fitPage; }
    double Scale() const { return m_scale; }
    // The resolution the screen fonts are sized for.
    int ScreenDpi() const { return m_screenDpi; }

    int CurrentPage() const { return m_currentPage; }
    int PageCount() const { return m_pages.PageCount(); }
    void GoToPage(int page);
    int TopLine() const { return m_topLine; }
    int LeftOffset() const { return m_leftOffset; }
    int LinesPainted() const { return m_linesPainted; }
    int HorizontalStep() const { return m_step; }
    // Moves the view, clamped, and recomputes the current page.
    void ScrollTo(int topLine, int leftOffset);

    // Prints pages first..last (0-based) as one job.
    void PrintRange(QPrinter &printer, int first, int last);
    // The file in a new word-processor document, page by page.
    void ExportToWord();
    // Hands the file to the editing hook, then shows it again.
    void Edit();
    // Moves the file to `name`, replacing the file that name leads to (a
    // symbolic link stays a link); shows it under its new name. False when
    // the move failed (the old file shown); a folder or special file at
    // `name` is refused with an error and nothing moves.
    bool MoveTo(const QString &name);
    // Takes over another viewer's file (through a mapping of its own),
    // view and settings; null clears.
    void Assign(const TFileViewer *other);

    // The fragments and shapes the last paint drew (for tests).
    const std::vector<TFragment> &PaintedFragments() const { return m_fragments; }
    const std::vector<TShape> &PaintedShapes() const { return m_shapes; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void load(const QString &fullName);
    void watch();
    void watchedChanged();
    void fileCut();
    void fillParent();
    void updateScrollBars();
    void updateCurrentPage(bool force = false);
    int maxLeftOffset() const;

    TOutputPages m_pages;
    std::shared_ptr<TPageGeometry> m_geometry;
    TMeasurerFactory m_measurerFactory;
    std::unique_ptr<TTextMeasurer> m_screen;   // zoom mode widths
    QString m_fileName;
    TPageGeometry::Orientation m_orientation = TPageGeometry::Portrait;
    int m_leftOffset = 0;
    int m_topLine = 0;
    int m_step = 10;
    int m_linesPainted = 60;
    int m_currentPage = 0;
    double m_scale = 1;
    int m_screenDpi = 300;
    bool m_fitPage = false;
    bool m_syncing = false;
    std::vector<TFragment> m_fragments;
    std::vector<TShape> m_shapes;
    QFileSystemWatcher *m_watcher = nullptr;
    // what the loaded file was: device, inode, size, change time
    struct TStamp {
        quint64 device = 0, inode = 0;
        qint64 size = 0, changed = 0;
        bool operator==(const TStamp &) const = default;
    } m_stamp;
    bool m_changed = false;
};
