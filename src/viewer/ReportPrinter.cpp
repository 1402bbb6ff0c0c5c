#include "ReportPrinter.h"

#include "OutputPages.h"
#include "common/Exceptions.h"
#include "common/Format.h"
#include "common/SafeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <atomic>
#include <memory>
#include <cerrno>
#include <cstdio>

namespace {
std::atomic<int> printJobs{0};
}

TPrinterGeometry::TPrinterGeometry(const QString &printerName)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPrinterName(printerName);
    m_dpi = TVirtualPrinter::ConfiguredDpi(printer.resolution() > 0 ? printer.resolution() : 300);
    printer.setResolution(m_dpi);
    printer.setPageOrientation(QPageLayout::Portrait);
    const QRect area = printer.pageLayout().paintRectPixels(m_dpi);
    m_width = area.width();
    m_height = area.height();
}

int TPrinterGeometry::PageWidth(Orientation o) const
{
    return o == Portrait ? m_width : m_height;
}

int TPrinterGeometry::PageHeight(Orientation o) const
{
    return o == Portrait ? m_height : m_width;
}

void InstallPrinterGeometry()
{
    PageGeometryFactory() = []() -> std::shared_ptr<TPageGeometry> {
        const QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull())
            return nullptr;
        return std::make_shared<TPrinterGeometry>(info.printerName());
    };
}

void SetUpReportPrinter(QPrinter &printer, TPageGeometry::Orientation orientation, int dpi)
{
    const bool toFile = printer.outputFormat() == QPrinter::PdfFormat
                        || QPrinterInfo::availablePrinters().isEmpty();
    if (toFile)
        printer.setPageLayout(OutputPdfLayout(TPageGeometry::Portrait));
    printer.setPageOrientation(orientation == TPageGeometry::Landscape ? QPageLayout::Landscape
                                                                       : QPageLayout::Portrait);
    printer.setResolution(dpi);
}

namespace {

// A PDF file as a print target is written beside its name first
// (TSafeFile: a symbolic link is followed, a special file refused) and put
// in place only when complete: the printer reports no write errors, so a
// file without the PDF end mark counts as a failed write.
class TPdfTarget {
public:
    explicit TPdfTarget(QPrinter &printer) : m_printer(printer)
    {
        if (printer.outputFormat() != QPrinter::PdfFormat || printer.outputFileName().isEmpty())
            return;
        m_target = printer.outputFileName();
        m_file = std::make_unique<TSafeFile>(m_target);
        printer.setOutputFileName(m_file->TemporaryName());
    }
    ~TPdfTarget()
    {
        // the temporary file goes with m_file unless it was committed
        if (m_file)
            m_printer.setOutputFileName(m_target);
    }
    TPdfTarget(const TPdfTarget &) = delete;
    TPdfTarget &operator=(const TPdfTarget &) = delete;

    void Commit()
    {
        if (!m_file)
            return;
        QFile file(m_file->TemporaryName());
        QByteArray tail;
        if (file.open(QIODevice::ReadOnly) && file.size() > 0 && file.seek(std::max<qint64>(0, file.size() - 1024)))
            tail = file.readAll();
        file.close();
        if (!tail.contains("%%EOF"))
            throw Exception(QStringLiteral("Ошибка записи в файл %1: файл записан не полностью").arg(m_target));
        m_file->Commit();
    }

private:
    QPrinter &m_printer;
    QString m_target;
    std::unique_ptr<TSafeFile> m_file;
};

} // namespace

void PrintOutputPages(QPrinter &printer, TOutputPages &pages, int first, int last)
{
    first = std::max(first, 0);
    last = std::min(last, pages.PageCount() - 1);
    if (first > last)
        return;
    SetUpReportPrinter(printer, pages.Orientation(), pages.Dpi());
    printer.setDocName(pages.FileName());
    const QString target = printer.outputFileName().isEmpty() ? printer.printerName() : printer.outputFileName();
    TPdfTarget pdf(printer);
    QPainter painter;
    if (!painter.begin(&printer))
        throw Exception(Format(QStringLiteral("Ошибка печати: %s"), {target}));
    ++printJobs;
    for (int p = first; p <= last; ++p) {
        if (p > first)
            printer.newPage();
        pages.PaintPage(painter, p);
    }
    painter.end();
    pdf.Commit();
}

int PrintJobCount()
{
    return printJobs;
}
