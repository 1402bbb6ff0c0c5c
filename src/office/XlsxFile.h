#pragma once

#include <QString>

class TExcelWorkbook;

// Writes the workbook as an .xlsx file with libxlsxwriter: its sheets in
// order, every cell with its value and format (texts as strings, numbers as
// numbers, dates as numbers in a date format, Booleans, formulas), the
// column widths and formats, and the active sheet. The file is written
// beside `path` first and then put in its place, so a failure leaves an
// earlier file whole. Raises the server's error when it cannot be written.
void WriteXlsx(const TExcelWorkbook &workbook, const QString &path);
