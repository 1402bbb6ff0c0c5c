// The viewer's reading of an output file: any bytes as a report output,
// split into lines and pages with their print codes, and its first pages
// painted.

#include "common/Exceptions.h"
#include "report/PageGeometry.h"
#include "report/TextMeasurer.h"
#include "viewer/OutputPages.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <cstdint>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString file = QDir::temp().filePath(QStringLiteral("quarn-fuzz-%1.prn").arg(::getpid()));
    {
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    TOutputPages pages;
    try {
        pages.Load(file, TPageGeometry::Portrait, std::make_shared<TVirtualPrinter>(300),
                   std::make_unique<TFixedPitchMeasurer>(300));
        QImage image(248, 351, QImage::Format_RGB32);
        QPainter painter(&image);
        painter.scale(0.1, 0.1);
        for (int p = 0; p < std::min(pages.PageCount(), 2); ++p)
            pages.PaintPage(painter, p);
    } catch (const Exception &) {
    }
    return 0;
}
