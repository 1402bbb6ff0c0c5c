#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The passes that may rewrite a finished output file. Each reads the file,
// writes the result safely to the same name with the extension ".$$$",
// replaces the backup (".bak") with the original and moves the result into
// place; a failure leaves the output as it was. A missing output file is
// left alone: no ".$$$", no ".bak".

// Two short pages on one sheet of `sheetLines` lines: the second page of a
// pair is moved down to the bottom of the sheet with empty lines, and its
// page mark is removed. In strict mode a pair is only merged when each page
// has at most half a sheet of lines.
void TwoPagesPerSheet(const QString &path, int sheetLines, bool strict);

// Pages of `pageLines` lines set side by side, `columns` pages in a row:
// line i of each page is appended to line i of the first one.
void PageColumns(const QString &path, int pageLines, int columns);

// The same passes over lines in memory (without line ends).
QList<QByteArray> TwoPagesPerSheetLines(const QList<QByteArray> &lines, int sheetLines, bool strict);
QList<QByteArray> PageColumnsLines(const QList<QByteArray> &lines, int pageLines, int columns);
