#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

// Prints lines of plain text, one portrait copy on the default printer, in
// `font` at its point size: from 10 pixels from the left and the top, each
// line below the previous by the text height, a new page when a line would
// reach the page's height. Without any installed printer the pages go into
// the PDF file `pdfName` in the program directory. When `confirm` is set it
// first asks "Вы уверены, что хотите печатать ?" and prints only on Yes.
// Returns the printer's name or the PDF file's path; empty when nothing was
// printed.
QString PrintTextLines(const QStringList &lines, const QFont &font, const QString &pdfName, bool confirm = true);
