#pragma once

#include <functional>
#include <memory>

// The printable area of a page in printer pixels. The windows and the batch
// tool plug in a printer-backed geometry when a printer is installed;
// without one the virtual printer stands in.
class TPageGeometry {
public:
    enum Orientation { Portrait, Landscape };
    virtual ~TPageGeometry() = default;

    virtual int Dpi() const = 0;
    // Printable width and height for the orientation.
    virtual int PageWidth(Orientation o) const = 0;
    virtual int PageHeight(Orientation o) const = 0;
};

// A4 with 5 mm margins on every side, at the resolution of the setting
// "PrinterDPI", or 300.
class TVirtualPrinter : public TPageGeometry {
public:
    explicit TVirtualPrinter(int dpi = ConfiguredDpi(300)) : m_dpi(dpi) {}

    int Dpi() const override { return m_dpi; }
    int PageWidth(Orientation o) const override;
    int PageHeight(Orientation o) const override;

    // The setting "PrinterDPI" when it holds a positive number, else
    // `fallback` (the printer's resolution, or 300 without a printer).
    static int ConfiguredDpi(int fallback);

private:
    int m_dpi;
};

// The geometry that reports and the viewer measure with unless given one.
// The windows install a printer's when a printer is installed; while the
// slot is empty the virtual printer stands in.
using TPageGeometryFactory = std::function<std::shared_ptr<TPageGeometry>()>;
TPageGeometryFactory &PageGeometryFactory();
std::shared_ptr<TPageGeometry> DefaultPageGeometry();
