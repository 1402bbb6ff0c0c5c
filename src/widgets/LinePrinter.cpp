#include "LinePrinter.h"

#include "common/Exceptions.h"
#include "common/Format.h"
#include "common/UserInterface.h"
#include "uisupport/DefaultPrinter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>

QString PrintTextLines(const QStringList &lines, const QFont &font, const QString &pdfName, bool confirm)
{
    if (confirm
        && UserInterface().MessageDlg(QStringLiteral("Вы уверены, что хотите печатать ?"), QString(),
                                      TUserInterface::mtWarning,
                                      {TUserInterface::mbYes, TUserInterface::mbNo, TUserInterface::mbCancel})
               != TUserInterface::mbYes)
        return QString();
    QPrinter printer(QPrinter::HighResolution);
    const QString target = UseDefaultPrinter(printer, pdfName);
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setCopyCount(1);
    QPainter painter;
    if (!painter.begin(&printer))
        throw Exception(Format(QStringLiteral("Ошибка печати: %s"), {target}));
    painter.setFont(QFont(font, painter.device()));
    const QFontMetrics fm(painter.font(), painter.device());
    const int margin = 10;
    const int pageHeight = painter.viewport().height();
    int y = margin;
    for (const QString &line : lines) {
        if (y + fm.height() > pageHeight && y > margin) {
            printer.newPage();
            y = margin;
        }
        painter.drawText(margin, y + fm.ascent(), line);
        y += fm.height();
    }
    if (!painter.end())
        throw Exception(Format(QStringLiteral("Ошибка печати: %s"), {target}));
    return target;
}
