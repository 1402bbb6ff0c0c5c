#pragma once

#include <QByteArray>
#include <QFont>
#include <QHash>
#include <QLineF>
#include <QPageLayout>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringView>
#include <memory>
#include <optional>
#include <vector>

class QIODevice;
class QPainterPath;
class QRawFont;

// A PDF file written straight from the viewer's layout, for the output's
// pages: lines, rectangle outlines and runs of text in the report fonts,
// in device pixels at the pages' resolution with the origin at the top-left
// corner of the printable area, as a QPainter on a QPdfWriter would see
// them. It draws what such a painter draws (the same font files, the same
// glyphs at the same advances, underline and strike-out where Qt puts
// them) but writes a run of text as one string of glyphs instead of one
// operator per glyph, so a page's content is a tenth of the size and the
// compression no longer dominates the run. The fonts are embedded as
// subsets of the files Qt draws with, glyph numbers kept, with their
// character maps so that the text can be found and copied. A page's
// contents are compressed on a thread of the document's own while the next
// page is drawn; the file is the same as if they were compressed in turn.
class TPdfDocument {
public:
    // Writes to `device` (open for writing); pages as `layout` says, at `dpi`.
    TPdfDocument(QIODevice &device, const QPageLayout &layout, int dpi);
    ~TPdfDocument();
    TPdfDocument(const TPdfDocument &) = delete;
    TPdfDocument &operator=(const TPdfDocument &) = delete;

    void SetTitle(const QString &title) { m_title = title; }
    void SetCreator(const QString &creator) { m_creator = creator; }
    // zlib's level for the page contents and the fonts (0 to 9).
    void SetCompressionLevel(int level) { m_level = level; }

    // Starts a page (the first one too).
    void NewPage();
    // A line or a rectangle outline with a pen `width` pixels wide (0: the
    // thinnest line the device shows), square caps and bevel joins.
    void StrokeLine(const QLineF &line, double width);
    void StrokeRect(const QRectF &rect, double width);

    // A font to draw text with: its handle for DrawText.
    int Font(const QFont &font);
    // Draws `text` in font `font` with its baseline starting at `origin`.
    void DrawText(int font, QPointF origin, QStringView text);

    // Ends the last page and writes the fonts and the file's tables.
    // Returns false when the device failed.
    bool Finish();
    int PageCount() const { return int(m_pageObjects.size()); }

private:
    struct TFace;
    struct TFontRes;
    struct TFontUse;
    class TPacker;

    int allocObject();
    void beginObject(int object);
    void write(const QByteArray &bytes);
    TPacker &packer();
    void writeStream(int object, const QByteArray &data, const QByteArray &extra = {});
    void writePacked(int object, const QByteArray &packed, const QByteArray &extra = {});
    void writePendingPage();
    void endPage();
    void endText();
    void beginText();
    TFace &face(const QRawFont &raw);
    TFontRes &resource(const QRawFont &raw);
    void selectFont(const TFontRes &res);
    void moveTo(double x, double y);
    void flushRun();
    void drawFallback(const TFontUse &use, QPointF origin, QStringView text);
    void fillPath(const QPainterPath &path);
    void decorate(const TFontUse &use, QPointF origin, double width);
    void writeFace(TFace &face);
    void writeResource(TFontRes &res);

    QIODevice &m_device;
    QPageLayout m_layout;
    int m_dpi;
    int m_level = 3;
    std::unique_ptr<TPacker> m_packer;   // made for the first stream
    // the last page ended: its objects, written when its contents are packed
    struct TPendingPage {
        int Contents = 0, Page = 0;
        QByteArray Data;   // the contents, when they are not compressed
    };
    std::optional<TPendingPage> m_pending;
    QString m_title, m_creator;
    qint64 m_pos = 0;
    bool m_failed = false;
    std::vector<qint64> m_offsets;   // by object number; 0: not written yet
    int m_catalog, m_pagesObject, m_info, m_resourcesObject;
    std::vector<int> m_pageObjects;
    QByteArray m_content;            // the page being drawn
    QByteArray m_decorations;        // its underlines, drawn after the text
    bool m_inPage = false;
    bool m_inText = false;
    int m_textFont = -1;             // the resource selected in the text object
    bool m_lineValid = false;        // the text line's origin has been set
    double m_lineX = 0, m_lineY = 0;
    // the run of text not written yet: strings of one font on one baseline
    QByteArray m_run;
    std::vector<char> m_glyphs;   // a string of glyphs being made
    int m_runParts = 0;
    TFontRes *m_runRes = nullptr;
    double m_runX = 0, m_runY = 0, m_runEnd = 0;
    std::vector<std::unique_ptr<TFace>> m_faces;
    std::vector<std::unique_ptr<TFontRes>> m_fontRes;
    std::vector<TFontUse> m_uses;
    QHash<QString, int> m_useByKey;       // QFont::key()
    QHash<QString, int> m_faceByName;     // family and style
    QHash<QString, int> m_resByName;      // family, style and pixel size
};
