#pragma once

#include "report/PageGeometry.h"

#include <QString>

class QPrinter;
class TOutputPages;

// The default printer's printable area at the resolution of the setting
// "PrinterDPI" (else the printer's own).
class TPrinterGeometry : public TPageGeometry {
public:
    explicit TPrinterGeometry(const QString &printerName);

    int Dpi() const override { return m_dpi; }
    int PageWidth(Orientation o) const override;
    int PageHeight(Orientation o) const override;

private:
    int m_dpi;
    int m_width = 0, m_height = 0;   // portrait
};

// Makes reports and the viewer measure on the default printer when one is
// installed (the virtual printer stands in otherwise).
void InstallPrinterGeometry();

// Gives `printer` the orientation and the resolution pages were measured
// at. A printer that prints to a file, or a machine without printers, gets
// the virtual printer's page: A4 with 5 mm margins.
void SetUpReportPrinter(QPrinter &printer, TPageGeometry::Orientation orientation, int dpi);

// Prints pages first..last (clamped to the existing pages) as one print
// job at scale 1. Raises "Ошибка печати: %s" when the job cannot start. A
// PDF file as the target is written beside its name and replaces it only
// when complete ("Ошибка записи в файл %s: ..." otherwise).
void PrintOutputPages(QPrinter &printer, TOutputPages &pages, int first, int last);

// The number of print jobs started in this process (all threads).
int PrintJobCount();
