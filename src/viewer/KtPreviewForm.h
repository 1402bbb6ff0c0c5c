#pragma once

#include "OutputPages.h"

#include <QDialog>
#include <QThread>
#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPrintDialog;
class QPrinter;
class QPushButton;
class TFileViewer;

// The window in which a finished report is looked at, paged through,
// zoomed, printed, saved under another name, exported to the word
// processor or opened in the text editor.
class TKtPreviewForm : public QDialog {
    Q_OBJECT
public:
    explicit TKtPreviewForm(QWidget *parent = nullptr);
    ~TKtPreviewForm() override;

    // Loads the output file for the orientation and remembers the copies.
    void Setup(const QString &fileName, TPageGeometry::Orientation orientation, bool collate,
               int copies);
    // Prints every page.
    void PrintAll(int copies, bool collate);
    // Prints pages first..last (0-based): in a background thread when the
    // setting "ShadowPrint" is "1", else here. Collated copies are separate
    // jobs; uncollated ones are the printer's copy count.
    void PrintRange(int first, int last, bool collate, int copies);

    TFileViewer *Viewer() const { return m_viewer; }
    QPrinter &Printer() { return *m_printer; }
    int Copies() const { return m_copies; }
    bool Collate() const { return m_collate; }

    // Chooses an item of the zoom list (0-3: 30 to 100 %, 4: the whole page).
    void SetZoomItem(int index);
    // "Пе&чать": the print dialog, then the chosen pages.
    void PrintClicked();
    // What the print dialog's confirmation leads to: pages from..to
    // (1-based) with the dialog's copies and collate flag.
    void PrintConfirmed(int from, int to, int copies, bool collate);
    // "На д&иск": the file under a name the person chooses.
    void SaveClicked();
    // "&Обновить", offered when the file changed after it was loaded: the
    // file as it is now.
    void ReloadClicked();

    // Runs the print dialog; replaced by tests.
    using TPrintDialogHook = std::function<bool(QPrintDialog &dialog)>;
    static TPrintDialogHook &PrintDialogHook();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setCaptions();
    void zoomChosen(int index);
    void pageTyped(const QString &text);
    void pageChanged();
    void printInWindow(int first, int last, bool collate, int copies);

    TFileViewer *m_viewer;
    QWidget *m_viewArea;
    QComboBox *m_zoom;
    QLineEdit *m_page;
    QLabel *m_pageCount;
    QPushButton *m_first, *m_previous, *m_next, *m_last;
    QPushButton *m_print, *m_save, *m_export, *m_editor, *m_close;
    QLabel *m_changed;           // shown when the file changed on disk
    QPushButton *m_reload;
    std::unique_ptr<QPrinter> m_printer;
    int m_copies = 1;
    bool m_collate = true;
};

// Prints a copy of the viewer's pages in the background, over a mapping of
// its own; frees itself when done.
class TReportThread : public QThread {
    Q_OBJECT
public:
    TReportThread(const TOutputPages &pages, const QPrinter &printer, int first, int last,
                  int copies, bool collate);
    ~TReportThread() override;

    // Print threads now running in the process.
    static int Running();

protected:
    void run() override;

private:
    TOutputPages m_pages;
    QString m_printerName;
    QString m_outputFile;
    int m_first, m_last, m_copies;
    bool m_collate;
};

// Installs the preview window as the viewer of report output: Preview shows
// it modally, Print prints all pages through it without showing it. Also
// makes reports measure on the installed printer.
void InstallReportViewer();
