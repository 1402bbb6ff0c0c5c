#include "KtPreviewForm.h"

#include "FileViewer.h"
#include "ReportPrinter.h"
#include "common/Format.h"
#include "common/Settings.h"
#include "common/UserInterface.h"
#include "report/CustomReport.h"
#include "uisupport/Guard.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <atomic>

namespace {

std::atomic<int> runningThreads{0};

const int ZoomPercents[] = {30, 50, 75, 100};

QPushButton *button(const QString &caption, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setAutoDefault(false);
    return b;
}

// A label over a control, bound to it.
QVBoxLayout *labelled(const QString &caption, QWidget *control, QWidget *parent)
{
    auto *box = new QVBoxLayout;
    box->setSpacing(1);
    auto *label = new QLabel(caption, parent);
    label->setBuddy(control);
    box->addWidget(label);
    box->addWidget(control);
    return box;
}

} // namespace

TKtPreviewForm::TPrintDialogHook &TKtPreviewForm::PrintDialogHook()
{
    static TPrintDialogHook hook = [](QPrintDialog &dialog) { return dialog.exec() == QDialog::Accepted; };
    return hook;
}

TKtPreviewForm::TKtPreviewForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
    setObjectName(QStringLiteral("KtPreviewForm"));
    setWindowTitle(QStringLiteral("Предварительный просмотр отчета"));

    m_first = button(QStringLiteral("П&ервая"), this);
    m_previous = button(QStringLiteral("П&редыдущая"), this);
    m_next = button(QStringLiteral("&Следующая"), this);
    m_last = button(QStringLiteral("П&оследняя"), this);
    m_zoom = new QComboBox(this);
    m_zoom->setEditable(false);
    m_zoom->addItems({QStringLiteral("30 %"), QStringLiteral("50 %"), QStringLiteral("75 %"),
                      QStringLiteral("100 %"), QStringLiteral("На всю страницу")});
    m_page = new QLineEdit(this);
    m_page->setObjectName(QStringLiteral("PageNumber"));
    m_page->setFixedWidth(48);
    m_pageCount = new QLabel(this);
    m_pageCount->setObjectName(QStringLiteral("PageCount"));

    auto *top = new QHBoxLayout;
    top->addWidget(m_first, 0, Qt::AlignBottom);
    top->addWidget(m_previous, 0, Qt::AlignBottom);
    top->addWidget(m_next, 0, Qt::AlignBottom);
    top->addWidget(m_last, 0, Qt::AlignBottom);
    top->addSpacing(12);
    top->addLayout(labelled(QStringLiteral("&Масштаб"), m_zoom, this));
    top->addSpacing(12);
    top->addLayout(labelled(QStringLiteral("Страни&ца"), m_page, this));
    top->addWidget(m_pageCount, 0, Qt::AlignBottom);
    top->addStretch();

    m_viewArea = new QWidget(this);
    m_viewArea->setObjectName(QStringLiteral("ViewArea"));
    m_viewArea->setBackgroundRole(QPalette::Dark);
    m_viewArea->setAutoFillBackground(true);
    m_viewer = new TFileViewer(m_viewArea);
    m_viewer->setObjectName(QStringLiteral("FileViewer"));

    m_print = button(QStringLiteral("Пе&чать"), this);
    m_print->setDefault(true);
    m_save = button(QStringLiteral("На д&иск"), this);
    m_export = button(QStringLiteral("&Экспорт"), this);
    m_editor = button(QStringLiteral("Ре&дактор"), this);
    m_close = button(QStringLiteral("В&ыход"), this);
    m_changed = new QLabel(QStringLiteral("Файл отчета изменился"), this);
    m_changed->setObjectName(QStringLiteral("FileChanged"));
    m_reload = button(QStringLiteral("&Обновить"), this);
    m_changed->hide();
    m_reload->hide();
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_print);
    bottom->addWidget(m_save);
    bottom->addWidget(m_export);
    bottom->addWidget(m_editor);
    bottom->addStretch();
    bottom->addWidget(m_changed);
    bottom->addWidget(m_reload);
    bottom->addWidget(m_close);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(top);
    layout->addWidget(m_viewArea, 1);
    layout->addLayout(bottom);
    setFixedSize(759, 500);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    m_editor->setEnabled(bool(EditFileHook()));
    m_viewer->OnChangePage = [this] { pageChanged(); };
    m_viewer->OnFileChanged = [this] {
        m_changed->show();
        m_reload->show();
    };

    connect(m_first, &QPushButton::clicked, this, [this] { m_viewer->GoToPage(0); });
    connect(m_previous, &QPushButton::clicked, this,
            [this] { m_viewer->GoToPage(m_viewer->CurrentPage() - 1); });
    connect(m_next, &QPushButton::clicked, this,
            [this] { m_viewer->GoToPage(m_viewer->CurrentPage() + 1); });
    connect(m_last, &QPushButton::clicked, this,
            [this] { m_viewer->GoToPage(m_viewer->PageCount() - 1); });
    m_zoom->installEventFilter(this);
    connect(m_zoom, &QComboBox::activated, this,
            [this](int index) { Guarded(this, [&] { zoomChosen(index); }); });
    connect(m_page, &QLineEdit::textEdited, this,
            [this](const QString &text) { Guarded(this, [&] { pageTyped(text); }); });
    connect(m_print, &QPushButton::clicked, this, Guard(this, &TKtPreviewForm::PrintClicked));
    connect(m_save, &QPushButton::clicked, this, Guard(this, &TKtPreviewForm::SaveClicked));
    connect(m_export, &QPushButton::clicked, this,
            [this] { Guarded(this, [&] { m_viewer->ExportToWord(); }); });
    connect(m_editor, &QPushButton::clicked, this, [this] {
        Guarded(this, [&] {
            m_viewer->Edit();
            setCaptions();
        });
    });
    connect(m_reload, &QPushButton::clicked, this, Guard(this, &TKtPreviewForm::ReloadClicked));
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    m_viewer->setFocus();
}

TKtPreviewForm::~TKtPreviewForm() = default;

void TKtPreviewForm::Setup(const QString &fileName, TPageGeometry::Orientation orientation,
                           bool collate, int copies)
{
    m_viewer->SetOrientation(orientation);
    m_viewer->SetFileName(fileName);
    m_zoom->setCurrentIndex(0);
    m_copies = copies;
    m_collate = collate;
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        // without printers the print goes into a PDF file beside the output
        const QFileInfo output(m_viewer->FileName());
        m_printer->setOutputFormat(QPrinter::PdfFormat);
        m_printer->setOutputFileName(output.dir().filePath(output.completeBaseName() + QStringLiteral(".pdf")));
    }
    setCaptions();
    pageChanged();
}

void TKtPreviewForm::ReloadClicked()
{
    m_changed->hide();
    m_reload->hide();
    const int page = m_viewer->CurrentPage();
    m_viewer->Reload();
    m_viewer->GoToPage(std::min(page, m_viewer->PageCount() - 1));
    setCaptions();
}

void TKtPreviewForm::setCaptions()
{
    setWindowTitle(QStringLiteral("Предварительный просмотр отчета: ") + m_viewer->FileName());
    m_pageCount->setText(Format(QStringLiteral("из %d"), {m_viewer->PageCount()}));
}

void TKtPreviewForm::pageChanged()
{
    m_page->setText(QString::number(m_viewer->CurrentPage() + 1));
}

void TKtPreviewForm::pageTyped(const QString &text)
{
    bool ok = false;
    int page = text.trimmed().toInt(&ok);
    if (!ok)
        page = 1;
    if (page != m_viewer->CurrentPage() + 1)
        m_viewer->GoToPage(page - 1);
}

void TKtPreviewForm::SetZoomItem(int index)
{
    m_zoom->setCurrentIndex(index);
    zoomChosen(index);
}

bool TKtPreviewForm::eventFilter(QObject *watched, QEvent *event)
{
    // Enter in the zoom box applies the zoom; it is not the default
    // button's (printing)
    if (watched == m_zoom && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Guarded(this, [&] { zoomChosen(m_zoom->currentIndex()); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TKtPreviewForm::zoomChosen(int index)
{
    if (index >= 0 && index < int(std::size(ZoomPercents)))
        m_viewer->SetZoom(ZoomPercents[index]);
    else
        m_viewer->FitPage(m_viewArea->width(), m_viewArea->height());
}

void TKtPreviewForm::PrintAll(int copies, bool collate)
{
    PrintRange(0, m_viewer->PageCount() - 1, collate, copies);
}

void TKtPreviewForm::PrintClicked()
{
    const int count = m_viewer->PageCount();
    m_printer->setFromTo(1, count);
    m_printer->setCopyCount(m_copies);
    m_printer->setCollateCopies(m_collate);
    QPrintDialog dialog(m_printer.get(), this);
    dialog.setMinMax(1, count);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    dialog.setPrintRange(QAbstractPrintDialog::AllPages);
    if (!PrintDialogHook()(dialog))
        return;
    int from = 1, to = count;
    if (dialog.printRange() == QAbstractPrintDialog::PageRange && m_printer->fromPage() > 0) {
        from = m_printer->fromPage();
        to = m_printer->toPage();
    }
    PrintConfirmed(from, to, m_printer->copyCount(), m_printer->collateCopies());
}

void TKtPreviewForm::PrintConfirmed(int from, int to, int copies, bool collate)
{
    m_copies = copies;
    m_collate = collate;
    if (!m_printer->supportsMultipleCopies())
        collate = true;
    PrintRange(from - 1, to - 1, collate, copies);
}

void TKtPreviewForm::PrintRange(int first, int last, bool collate, int copies)
{
    if (ReadSetting(QStringLiteral("ShadowPrint")).trimmed() == QLatin1String("1")) {
        if (TReportThread::Running() > 0)
            throw Exception(QStringLiteral("Принтер занят. Повторите печать позже"));
        auto *thread = new TReportThread(m_viewer->Pages(), *m_printer, first, last, copies, collate);
        connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        thread->start(QThread::LowPriority);
        return;
    }
    printInWindow(first, last, collate, copies);
}

void TKtPreviewForm::printInWindow(int first, int last, bool collate, int copies)
{
    if (collate) {
        m_printer->setCopyCount(1);
        for (int c = 0; c < std::max(1, copies); ++c)
            m_viewer->PrintRange(*m_printer, first, last);
        return;
    }
    const int saved = m_printer->copyCount();
    m_printer->setCopyCount(copies);
    try {
        m_viewer->PrintRange(*m_printer, first, last);
    } catch (...) {
        m_printer->setCopyCount(saved);
        throw;
    }
    m_printer->setCopyCount(saved);
}

void TKtPreviewForm::SaveClicked()
{
    const QString name = UserInterface().SaveFileName(
        QString(), QStringLiteral("Все файлы (*.*)|*.*|Текстовый файл (*.TXT)|*.TXT"),
        QFileInfo(m_viewer->FileName()).path());
    if (name.isEmpty())
        return;
    if (QFileInfo::exists(name)
        && UserInterface().MessageDlg(Format(QStringLiteral("Переписать %s ?"), {name}), QString(),
                                      TUserInterface::mtConfirmation,
                                      {TUserInterface::mbYes, TUserInterface::mbNo,
                                       TUserInterface::mbCancel})
               != TUserInterface::mbYes)
        return;
    const QString from = m_viewer->FileName();
    const bool moved = m_viewer->MoveTo(name);
    setCaptions();
    // a failed move leaves the output where it was, shown as before
    if (!moved)
        UserInterface().MessageDlg(Format(QStringLiteral("Не могу переместить файл %s в %s"),
                                          {from, ExpandFileName(name)}),
                                   QString(), TUserInterface::mtError, {TUserInterface::mbOK});
}

// ---------------------------------------------------------------- print thread

TReportThread::TReportThread(const TOutputPages &pages, const QPrinter &printer, int first,
                             int last, int copies, bool collate)
    : m_printerName(printer.printerName()),
      m_outputFile(printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName() : QString()),
      m_first(first), m_last(last), m_copies(copies), m_collate(collate)
{
    ++runningThreads;
    m_pages.Assign(pages);
}

TReportThread::~TReportThread()
{
    wait();
    --runningThreads;
}

int TReportThread::Running()
{
    return runningThreads;
}

void TReportThread::run()
{
    try {
        QPrinter printer(QPrinter::HighResolution);
        if (!m_outputFile.isEmpty()) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(m_outputFile);
        } else {
            printer.setPrinterName(m_printerName);
        }
        if (m_collate) {
            printer.setCopyCount(1);
            for (int c = 0; c < std::max(1, m_copies); ++c)
                PrintOutputPages(printer, m_pages, m_first, m_last);
        } else {
            printer.setCopyCount(m_copies);
            PrintOutputPages(printer, m_pages, m_first, m_last);
        }
    } catch (const Exception &e) {
        const Exception error = e;
        QMetaObject::invokeMethod(qApp, [error] { ShowException(error); }, Qt::QueuedConnection);
    }
}

// ---------------------------------------------------------------- report hook

void InstallReportViewer()
{
    InstallPrinterGeometry();
    ReportViewHook() = [](TCustomReport &report, bool print) {
        TKtPreviewForm form(QApplication::activeWindow());
        form.Setup(ExpandFileName(report.PrintName()), report.Orientation(), report.CopyMode(),
                   report.Copies());
        if (print)
            form.PrintAll(report.Copies(), report.CopyMode());
        else
            form.exec();
    };
}
