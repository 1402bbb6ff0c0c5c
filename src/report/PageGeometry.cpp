#include "PageGeometry.h"

#include "PrintCodes.h"
#include "common/Settings.h"

namespace {
constexpr double A4Width = 210, A4Height = 297, Margin = 5;
}

int TVirtualPrinter::PageWidth(Orientation o) const
{
    return MmToPixels((o == Portrait ? A4Width : A4Height) - 2 * Margin, m_dpi);
}

int TVirtualPrinter::PageHeight(Orientation o) const
{
    return MmToPixels((o == Portrait ? A4Height : A4Width) - 2 * Margin, m_dpi);
}

int TVirtualPrinter::ConfiguredDpi(int fallback)
{
    bool ok = false;
    const int dpi = ReadSetting(QStringLiteral("PrinterDPI")).trimmed().toInt(&ok);
    return ok && dpi > 0 ? dpi : fallback;
}

TPageGeometryFactory &PageGeometryFactory()
{
    static TPageGeometryFactory factory;
    return factory;
}

std::shared_ptr<TPageGeometry> DefaultPageGeometry()
{
    if (PageGeometryFactory())
        if (auto geometry = PageGeometryFactory()())
            return geometry;
    return std::make_shared<TVirtualPrinter>();
}
