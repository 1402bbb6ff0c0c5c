#include "ReportPrinter.h"

#include "OutputPages.h"
#include "common/Exceptions.h"
#include "common/Format.h"

#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <atomic>

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
        printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                          QMarginsF(5, 5, 5, 5), QPageLayout::Millimeter));
    printer.setPageOrientation(orientation == TPageGeometry::Landscape ? QPageLayout::Landscape
                                                                       : QPageLayout::Portrait);
    printer.setResolution(dpi);
}

void PrintOutputPages(QPrinter &printer, TOutputPages &pages, int first, int last)
{
    first = std::max(first, 0);
    last = std::min(last, pages.PageCount() - 1);
    if (first > last)
        return;
    SetUpReportPrinter(printer, pages.Orientation(), pages.Dpi());
    printer.setDocName(pages.FileName());
    QPainter painter;
    if (!painter.begin(&printer))
        throw Exception(Format(QStringLiteral("Ошибка печати: %s"),
                               {printer.outputFileName().isEmpty() ? printer.printerName()
                                                                   : printer.outputFileName()}));
    ++printJobs;
    for (int p = first; p <= last; ++p) {
        if (p > first)
            printer.newPage();
        pages.PaintPage(painter, p);
    }
    painter.end();
}

int PrintJobCount()
{
    return printJobs;
}
