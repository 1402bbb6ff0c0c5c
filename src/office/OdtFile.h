#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class QTextDocument;
struct TWordPageSetup;

// Writes a document as an OpenDocument text file (.odt): the paragraphs with
// their fonts (family, size, bold, italic, underline, strike-out), page
// breaks before or after a paragraph, line breaks and tabs, tables with
// their column widths, and the page's size, orientation and margins.
//
// Qt's own ODF writer (QTextDocumentWriter, Qt 6.4) writes the default
// family for every font, turns a line break into a tab and a break, makes
// one cell of every paragraph of a cell and writes no page layout; so the
// document's content is written here, from the QTextDocument, and only the
// other formats go through QTextDocumentWriter.
//
// Raises the server's error when the file cannot be written.
void WriteOdt(const QTextDocument &document, const TWordPageSetup &page, const QString &path);

// The parts of an .odt package before they are zipped (for tests and for
// WriteOdt): "mimetype", "META-INF/manifest.xml", "content.xml",
// "styles.xml" and "meta.xml".
struct TOdtPart {
    QString Name;
    QByteArray Data;
};
QList<TOdtPart> OdtParts(const QTextDocument &document, const TWordPageSetup &page);

// A zip archive of stored (uncompressed) entries in the given order, as the
// OpenDocument package wants "mimetype" first and uncompressed.
QByteArray ZipStored(const QList<TOdtPart> &parts);
