#pragma once

#include <QString>

class QImage;
class QWidget;

// Prints an image of a window at the size it has on screen (shrunk to the
// page when larger) on the default printer. Without any installed printer
// the virtual printer stands in: the image goes into the PDF file
// "form.pdf" in the program directory. Returns the printer's name or the
// file written.
QString PrintFormImage(QWidget *window);
QString PrintImage(const QImage &image, double screenDpi);
