#pragma once

#include <QString>

class QPrinter;

// Points `printer` at the default printer; on a machine without printers
// at a PDF file `pdfName` in the program directory instead (A4, 5 mm
// margins, the PrinterDPI setting or 300 DPI). Returns the printer's name
// or the PDF file's path, for telling the person where the print went.
QString UseDefaultPrinter(QPrinter &printer, const QString &pdfName);
