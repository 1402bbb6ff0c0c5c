#include "FormPrinter.h"

#include "common/Exceptions.h"
#include "uisupport/DefaultPrinter.h"

#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QWidget>

QString PrintFormImage(QWidget *window)
{
    const QImage image = window->grab().toImage();
    return PrintImage(image, window->logicalDpiX() * image.devicePixelRatio());
}

QString PrintImage(const QImage &image, double screenDpi)
{
    QPrinter printer(QPrinter::HighResolution);
    const QString target = UseDefaultPrinter(printer, QStringLiteral("form.pdf"));
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
