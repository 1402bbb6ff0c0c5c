#include "DefaultPrinter.h"

#include "common/Exceptions.h"
#include "common/Settings.h"

#include <QDir>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
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

QString PrintTextLines(const QStringList &lines, const QFont &font, const QString &pdfName)
{
    QPrinter printer(QPrinter::HighResolution);
    const QString target = UseDefaultPrinter(printer, pdfName);
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setCopyCount(1);
    QPainter painter;
    if (!painter.begin(&printer))
        throw Exception(QStringLiteral("Ошибка печати: ") + target);
    // the font at its point size on the printer
    painter.setFont(QFont(font, painter.device()));
    const QFontMetrics fm(painter.font(), painter.device());
    const int margin = 10;
    const int pageHeight = painter.viewport().height();
    int y = margin;
    for (const QString &line : lines) {
        if (y + fm.height() > pageHeight) {
            printer.newPage();
            y = margin;
        }
        painter.drawText(margin, y + fm.ascent(), line);
        y += fm.height();
    }
    painter.end();
    return target;
}
