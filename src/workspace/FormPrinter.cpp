#include "FormPrinter.h"

#include "common/Exceptions.h"
#include "common/Settings.h"

#include <QDir>
#include <QImage>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QWidget>

QString PrintFormImage(QWidget *window)
{
    const QImage image = window->grab().toImage();
    return PrintImage(image, window->logicalDpiX() * image.devicePixelRatio());
}

QString PrintImage(const QImage &image, double screenDpi)
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    QPrinter printer(QPrinter::HighResolution);
    QString target;
    if (!info.isNull()) {
        printer.setPrinterName(info.printerName());
        target = info.printerName();
    } else {
        bool ok = false;
        const int dpi = ReadSetting(QStringLiteral("PrinterDPI")).toInt(&ok);
        target = QDir(ProgramDir()).filePath(QStringLiteral("form.pdf"));
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(target);
        printer.setResolution(ok && dpi > 0 ? dpi : 300);
        printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                          QMarginsF(5, 5, 5, 5), QPageLayout::Millimeter));
    }
    printer.setDocName(QStringLiteral("Quarn"));
    QPainter painter;
    if (!painter.begin(&printer))
        throw Exception(QStringLiteral("Ошибка печати: %1").arg(target));
    const QRect page = painter.viewport();
    const double scale = screenDpi > 0 ? printer.resolution() / screenDpi : 1.0;
    QSizeF size = QSizeF(image.size()) * scale;
    if (size.width() > page.width() || size.height() > page.height())
        size.scale(page.size(), Qt::KeepAspectRatio);
    painter.drawImage(QRectF(QPointF(0, 0), size), image);
    painter.end();
    return target;
}
