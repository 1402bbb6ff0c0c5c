#include "DefaultPrinter.h"

#include "common/Settings.h"

#include <QDir>
#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>

QString UseDefaultPrinter(QPrinter &printer, const QString &pdfName)
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    printer.setDocName(QStringLiteral("Quarn"));
    if (!info.isNull()) {
        printer.setPrinterName(info.printerName());
        return info.printerName();
    }
    bool ok = false;
    const int dpi = ReadSetting(QStringLiteral("PrinterDPI")).toInt(&ok);
    const QString target = QDir(ProgramDir()).filePath(pdfName);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(target);
    printer.setResolution(ok && dpi > 0 ? dpi : 300);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(5, 5, 5, 5),
                                      QPageLayout::Millimeter));
    return target;
}
