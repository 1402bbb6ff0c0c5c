#pragma once

#include <QList>
#include <QString>
#include <QStringView>

// The faces of the report's fonts, by the names templates know them by.
enum class TFontFace { Arial, Courier, Times };

// Bits of a font's style.
enum TFontStyle { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// A report font: face, size in points, style bits.
struct TFontSpec {
    TFontFace face = TFontFace::Courier;
    int size = 10;
    int style = 0;

    bool operator==(const TFontSpec &) const = default;
    // "Courier New Cyr" 10 without style: the font every output starts with
    // and the one that font code 255 returns to.
    static TFontSpec Default() { return {}; }
};

// The font that a font code selects, given the font now in use: code 0-15
// "Arial Cyr", 16-31 "Courier New Cyr", 32-47 "Times New Roman Cyr",
// 48-239 keep the face, 240-255 "Courier New Cyr"; the style is code mod
// 16; 255 is the default font. Size 0 keeps the size.
TFontSpec FontForCode(int code, int size, const TFontSpec &current);

// One print code found in a line of the output file.
struct TPrintCode {
    enum Kind { None, Font, Line, Rect, ParaBegin, ParaEnd };
    Kind kind = None;
    int length = 0;        // characters from the backslash to the code's end
    // Font
    int fontCode = 0;      // already taken modulo 256
    int fontSize = 0;      // 0: keep the size
    // Line and Rect, millimetres from the page's top-left corner; pen width
    // in pixels
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0, width = 0;
    // ParaBegin, millimetres
    int left = 0, right = 0;
};

// The print code that starts at `pos` (a backslash) in `line`:
//   \Ff:s            font f (blanks around it allowed), optional size s of
//                    one or two digits
//   \Lx1:y1:x2:y2:w  line, pen width w of one to four digits
//   \Rx1:y1:x2:y2:w  rectangle outline
//   \PBl:r           paragraph with margins l and r (r: 0 to 6 digits)
//   \PE              end of paragraph
// A code that does not parse completely is no code (kind None): its
// characters are ordinary text.
TPrintCode ParsePrintCode(QStringView line, qsizetype pos);

// Millimetres to printer pixels: the nearest integer to mm x dpi / 25.4.
int MmToPixels(double mm, int dpi);
// Points to a font's pixel size at `dpi`: round(points x dpi / 72).
int PointsToPixels(double points, int dpi);

// A line of a report output as the viewer hands it to the export: the text
// with its print codes and the font in effect where it starts.
struct TExportLine {
    QString Text;
    int FontCode = 0;
    int FontSize = 0;
};
using TExportPage = QList<TExportLine>;
