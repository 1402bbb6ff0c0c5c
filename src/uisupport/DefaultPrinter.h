#pragma once

#include <QString>
#include <QStringList>

class QPrinter;

// Points `printer` at the default printer; on a machine without printers
// at a PDF file `pdfName` in the program directory instead (A4, 5 mm
// margins, the PrinterDPI setting or 300 DPI). Returns the printer's name
// or the PDF file's path, for telling the person where the print went.
QString UseDefaultPrinter(QPrinter &printer, const QString &pdfName);

class QFont;


// The line printer: the lines in `font` on the default printer (a PDF file
// `pdfName` in the program directory without one), portrait, one copy, each
// line 10 units from the left and one text height below the one before, a
// new page when a line would pass the page's end. Returns where it printed.
QString PrintTextLines(const QStringList &lines, const QFont &font, const QString &pdfName);
