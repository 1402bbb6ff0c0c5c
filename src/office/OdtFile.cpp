#include "OdtFile.h"

#include "Automation.h"
#include "OfficeFiles.h"
#include "WordServer.h"
#include "common/SafeFile.h"

#include <QDateTime>
#include <QDir>
#include <QMap>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <array>

namespace {

const char *const MimeType = "application/vnd.oasis.opendocument.text";

const char *const Namespaces =
    " xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\""
    " xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\""
    " xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\""
    " xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\""
    " xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\""
    " xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\""
    " xmlns:meta=\"urn:oasis:names:tc:opendocument:xmlns:meta:1.0\""
    " office:version=\"1.2\"";

QString pt(double points)
{
    return QString::number(points, 'f', 2) + QStringLiteral("pt");
}

// Text for an attribute or element: the markup characters escaped, the
// characters XML cannot carry dropped.
QString escaped(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&': out += QLatin1String("&amp;"); break;
        case u'<': out += QLatin1String("&lt;"); break;
        case u'>': out += QLatin1String("&gt;"); break;
        case u'"': out += QLatin1String("&quot;"); break;
        default:
            if (c.unicode() >= 0x20 || c == u'\t' || c == u'\n' || c == u'\r')
                out += c;
        }
    }
    return out;
}

// The automatic styles of content.xml, made as the body needs them.
class TStyles {
public:

    // The text style of a character format; empty for one that sets nothing.
    QString TextStyle(const QTextCharFormat &f)
    {
        QString props;
        const QStringList families = f.fontFamilies().toStringList();
        if (!families.isEmpty()) {
            const QString family = WordFontFamily(families.first());
            m_fonts.insert(family, true);
            props += QStringLiteral(" style:font-name=\"%1\" fo:font-family=\"%2\"")
                         .arg(escaped(family), escaped(quotedFamily(family)));
        }
        if (f.fontPointSize() > 0)
            props += QStringLiteral(" fo:font-size=\"%1\"").arg(pt(f.fontPointSize()));
        if (f.hasProperty(QTextFormat::FontWeight))
            props += f.fontWeight() >= QFont::Bold ? QLatin1String(" fo:font-weight=\"bold\"")
                                                   : QLatin1String(" fo:font-weight=\"normal\"");
        if (f.hasProperty(QTextFormat::FontItalic))
            props += f.fontItalic() ? QLatin1String(" fo:font-style=\"italic\"")
                                    : QLatin1String(" fo:font-style=\"normal\"");
        if (f.fontUnderline())
            props += QLatin1String(" style:text-underline-style=\"solid\" style:text-underline-width=\"auto\""
                                   " style:text-underline-color=\"font-color\"");
        if (f.fontStrikeOut())
            props += QLatin1String(" style:text-line-through-style=\"solid\"");
        if (props.isEmpty())
            return QString();
        return named(m_text, props, u'T', [&](const QString &name) {
            return QStringLiteral("<style:style style:name=\"%1\" style:family=\"text\">"
                                  "<style:text-properties%2/></style:style>")
                .arg(name, props);
        });
    }

    // The paragraph style of a block format.
    QString ParagraphStyle(const QTextBlockFormat &f)
    {
        QString props;
        const auto policy = f.pageBreakPolicy();
        if (policy & QTextFormat::PageBreak_AlwaysBefore)
            props += QLatin1String(" fo:break-before=\"page\"");
        if (policy & QTextFormat::PageBreak_AlwaysAfter)
            props += QLatin1String(" fo:break-after=\"page\"");
        return named(m_paragraphs, props, u'P', [&](const QString &name) {
            return QStringLiteral("<style:style style:name=\"%1\" style:family=\"paragraph\""
                                  " style:parent-style-name=\"Standard\">"
                                  "<style:paragraph-properties%2/></style:style>")
                .arg(name, props);
        });
    }

    // The styles of a table, its columns and its cells; returns the table's
    // name.
    QString TableStyles(const QTextTable &table, const QList<double> &widths)
    {
        const QString name = QStringLiteral("Table%1").arg(++m_tables);
        double total = 0;
        for (double w : widths)
            total += w;
        const QTextTableFormat f = table.format();
        m_xml += QStringLiteral("<style:style style:name=\"%1\" style:family=\"table\">"
                                "<style:table-properties style:width=\"%2\" table:align=\"left\""
                                " table:border-model=\"collapsing\"/></style:style>")
                     .arg(name, pt(total));
        for (int c = 0; c < widths.size(); ++c)
            m_xml += QStringLiteral("<style:style style:name=\"%1.%2\" style:family=\"table-column\">"
                                    "<style:table-column-properties style:column-width=\"%3\"/>"
                                    "</style:style>")
                         .arg(name, ColumnLetters(c + 1), pt(widths[c]));
        const QString border = f.border() > 0 ? QStringLiteral("%1 solid #000000").arg(pt(f.border()))
                                              : QStringLiteral("none");
        m_xml += QStringLiteral("<style:style style:name=\"%1.Cell\" style:family=\"table-cell\">"
                                "<style:table-cell-properties fo:padding=\"%2\" fo:border=\"%3\"/>"
                                "</style:style>")
                     .arg(name, pt(f.cellPadding()), border);
        return name;
    }

    const QString &Xml() const { return m_xml; }
    QStringList Fonts() const { return m_fonts.keys(); }
    void UseFont(const QString &family) { m_fonts.insert(family, true); }

    static QString quotedFamily(const QString &family)
    {
        return family.contains(u' ') ? u'\'' + family + u'\'' : family;
    }

private:
    template <class Make>
    QString named(QMap<QString, QString> &styles, const QString &props, QChar prefix, Make make)
    {
        const auto it = styles.constFind(props);
        if (it != styles.cend())
            return *it;
        const QString name = prefix + QString::number(styles.size() + 1);
        styles.insert(props, name);
        m_xml += make(name);
        return name;
    }

    QMap<QString, QString> m_text;
    QMap<QString, QString> m_paragraphs;
    QMap<QString, bool> m_fonts;
    int m_tables = 0;
    QString m_xml;
};

// The body of content.xml.
class TBodyWriter {
public:
    TBodyWriter(const TWordPageSetup &page, TStyles &styles)
        : m_page(page), m_styles(styles)
    {
    }

    void Frame(QTextFrame::iterator it)
    {
        QTextBlock pending;   // an empty paragraph that may only stand before a table
        for (; !it.atEnd(); ++it) {
            if (QTextFrame *frame = it.currentFrame()) {
                // A table cannot open a frame in a QTextDocument: an empty
                // paragraph always stands before it. The file leaves it out.
                pending = QTextBlock();
                if (auto *table = qobject_cast<QTextTable *>(frame))
                    Table(*table);
                else
                    Frame(frame->begin());
                continue;
            }
            if (pending.isValid())
                Block(pending);
            pending = QTextBlock();
            const QTextBlock block = it.currentBlock();
            if (m_atFrameStart && block.length() <= 1 && block.blockFormat().pageBreakPolicy().toInt() == 0)
                pending = block;
            else
                Block(block);
            m_atFrameStart = false;
        }
        if (pending.isValid())
            Block(pending);
    }

    const QString &Xml() const { return m_xml; }

private:
    void Block(const QTextBlock &block)
    {
        m_xml += QStringLiteral("<text:p text:style-name=\"%1\">")
                     .arg(m_styles.ParagraphStyle(block.blockFormat()));
        bool spaceBefore = true;   // leading blanks of a paragraph need markup
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const QString style = m_styles.TextStyle(fragment.charFormat());
            if (!style.isEmpty())
                m_xml += QStringLiteral("<text:span text:style-name=\"%1\">").arg(style);
            Text(fragment.text(), spaceBefore);
            if (!style.isEmpty())
                m_xml += QLatin1String("</text:span>");
        }
        m_xml += QLatin1String("</text:p>");
    }

    // Runs of blanks, tabs and line breaks have their own elements: a reader
    // folds white space in plain text.
    void Text(const QString &text, bool &spaceBefore)
    {
        int blanks = 0;
        auto flushBlanks = [&] {
            if (blanks == 0)
                return;
            if (!spaceBefore) {
                m_xml += u' ';
                --blanks;
            }
            if (blanks == 1)
                m_xml += QLatin1String("<text:s/>");
            else if (blanks > 1)
                m_xml += QStringLiteral("<text:s text:c=\"%1\"/>").arg(blanks);
            blanks = 0;
            spaceBefore = true;
        };
        for (const QChar c : text) {
            if (c == u' ') {
                ++blanks;
                continue;
            }
            flushBlanks();
            if (c == u'\t') {
                m_xml += QLatin1String("<text:tab/>");
                spaceBefore = true;
            } else if (c == QChar::LineSeparator) {
                m_xml += QLatin1String("<text:line-break/>");
                spaceBefore = true;
            } else if (c == QChar::ObjectReplacementCharacter || c.unicode() == 0xFDD0 || c.unicode() == 0xFDD1) {
                // no object or frame mark goes into the text
            } else {
                m_xml += escaped(QStringView(&c, 1));
                spaceBefore = false;
            }
        }
        flushBlanks();
    }

    // The column widths in points: fixed ones as they are, percentages of
    // the text's width, the rest sharing what is left.
    QList<double> columnWidths(const QTextTable &table) const
    {
        const int columns = table.columns();
        const QList<QTextLength> constraints = table.format().columnWidthConstraints();
        const double textWidth = m_page.TextWidth();
        QList<double> widths(columns, -1);
        double used = 0;
        int open = 0;
        for (int c = 0; c < columns; ++c) {
            const QTextLength length = c < constraints.size() ? constraints[c] : QTextLength();
            if (length.type() == QTextLength::FixedLength)
                widths[c] = length.rawValue();
            else if (length.type() == QTextLength::PercentageLength)
                widths[c] = textWidth * length.rawValue() / 100.0;
            if (widths[c] >= 0)
                used += widths[c];
            else
                ++open;
        }
        for (double &w : widths)
            if (w < 0)
                w = std::max(18.0, (textWidth - used) / open);
        return widths;
    }

    void Table(const QTextTable &table)
    {
        const QString name = m_styles.TableStyles(table, columnWidths(table));
        m_xml += QStringLiteral("<table:table table:name=\"%1\" table:style-name=\"%1\">").arg(name);
        for (int c = 0; c < table.columns(); ++c)
            m_xml += QStringLiteral("<table:table-column table:style-name=\"%1.%2\"/>")
                         .arg(name, ColumnLetters(c + 1));
        for (int r = 0; r < table.rows(); ++r) {
            m_xml += QLatin1String("<table:table-row>");
            for (int c = 0; c < table.columns(); ++c) {
                const QTextTableCell cell = table.cellAt(r, c);
                if (cell.row() != r || cell.column() != c) {
                    m_xml += QLatin1String("<table:covered-table-cell/>");
                    continue;
                }
                m_xml += QStringLiteral("<table:table-cell table:style-name=\"%1.Cell\" office:value-type=\"string\"")
                             .arg(name);
                if (cell.columnSpan() > 1)
                    m_xml += QStringLiteral(" table:number-columns-spanned=\"%1\"").arg(cell.columnSpan());
                if (cell.rowSpan() > 1)
                    m_xml += QStringLiteral(" table:number-rows-spanned=\"%1\"").arg(cell.rowSpan());
                m_xml += u'>';
                m_atFrameStart = true;
                Frame(cell.begin());
                m_xml += QLatin1String("</table:table-cell>");
            }
            m_xml += QLatin1String("</table:table-row>");
        }
        m_xml += QLatin1String("</table:table>");
        m_atFrameStart = false;
    }

    const TWordPageSetup &m_page;
    TStyles &m_styles;
    QString m_xml;
    bool m_atFrameStart = true;
};

QString fontFaceDecls(const QStringList &families)
{
    QString xml = QStringLiteral("<office:font-face-decls>");
    for (const QString &family : families)
        xml += QStringLiteral("<style:font-face style:name=\"%1\" svg:font-family=\"%2\"/>")
                   .arg(escaped(family), escaped(TStyles::quotedFamily(family)));
    return xml + QStringLiteral("</office:font-face-decls>");
}

QByteArray contentXml(const QTextDocument &document, const TWordPageSetup &page, QString &defaultFamily)
{
    TStyles styles;
    defaultFamily = WordFontFamily(document.defaultFont().family());
    styles.UseFont(defaultFamily);
    TBodyWriter body(page, styles);
    body.Frame(document.rootFrame()->begin());
    const QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                                       "<office:document-content%1>%2"
                                       "<office:automatic-styles>%3</office:automatic-styles>"
                                       "<office:body><office:text>%4</office:text></office:body>"
                                       "</office:document-content>")
                            .arg(QLatin1String(Namespaces), fontFaceDecls(styles.Fonts()), styles.Xml(),
                                 body.Xml());
    return xml.toUtf8();
}

QByteArray stylesXml(const QTextDocument &document, const TWordPageSetup &page, const QString &defaultFamily)
{
    const double size = document.defaultFont().pointSizeF() > 0 ? document.defaultFont().pointSizeF() : 12;
    const QString xml =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                       "<office:document-styles%1>%2"
                       "<office:styles>"
                       "<style:default-style style:family=\"paragraph\">"
                       "<style:text-properties style:font-name=\"%3\" fo:font-family=\"%4\" fo:font-size=\"%5\"/>"
                       "</style:default-style>"
                       "<style:style style:name=\"Standard\" style:family=\"paragraph\" style:class=\"text\"/>"
                       "</office:styles>"
                       "<office:automatic-styles>"
                       "<style:page-layout style:name=\"pm1\"><style:page-layout-properties"
                       " fo:page-width=\"%6\" fo:page-height=\"%7\" style:print-orientation=\"%8\""
                       " fo:margin-left=\"%9\" fo:margin-right=\"%10\" fo:margin-top=\"%11\""
                       " fo:margin-bottom=\"%12\"/></style:page-layout>"
                       "</office:automatic-styles>"
                       "<office:master-styles>"
                       "<style:master-page style:name=\"Standard\" style:page-layout-name=\"pm1\"/>"
                       "</office:master-styles>"
                       "</office:document-styles>")
            .arg(QLatin1String(Namespaces), fontFaceDecls({defaultFamily}), escaped(defaultFamily),
                 escaped(TStyles::quotedFamily(defaultFamily)), pt(size), pt(page.PageWidth),
                 pt(page.PageHeight),
                 page.Orientation == wdOrientLandscape ? QStringLiteral("landscape") : QStringLiteral("portrait"),
                 pt(page.LeftMargin))
            .arg(pt(page.RightMargin), pt(page.TopMargin), pt(page.BottomMargin));
    return xml.toUtf8();
}

QByteArray metaXml()
{
    const QString now = QDateTime::currentDateTime().toString(Qt::ISODate);
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                          "<office:document-meta%1><office:meta>"
                          "<meta:generator>Quarn</meta:generator>"
                          "<meta:creation-date>%2</meta:creation-date>"
                          "</office:meta></office:document-meta>")
        .arg(QLatin1String(Namespaces), now)
        .toUtf8();
}

QByteArray manifestXml()
{
    QString xml = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\""
        " manifest:version=\"1.2\">"
        "<manifest:file-entry manifest:full-path=\"/\" manifest:version=\"1.2\" manifest:media-type=\"%1\"/>")
                      .arg(QLatin1String(MimeType));
    for (const char *part : {"content.xml", "styles.xml", "meta.xml"})
        xml += QStringLiteral("<manifest:file-entry manifest:full-path=\"%1\" manifest:media-type=\"text/xml\"/>")
                   .arg(QLatin1String(part));
    return (xml + QStringLiteral("</manifest:manifest>")).toUtf8();
}

quint32 crc32(const QByteArray &data)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (const char b : data)
        crc = table[(crc ^ quint8(b)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void put16(QByteArray &out, quint32 v)
{
    out += char(v & 0xFF);
    out += char((v >> 8) & 0xFF);
}

void put32(QByteArray &out, quint32 v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

} // namespace

QList<TOdtPart> OdtParts(const QTextDocument &document, const TWordPageSetup &page)
{
    QString defaultFamily;
    QByteArray content = contentXml(document, page, defaultFamily);
    return {
        {QStringLiteral("mimetype"), QByteArray(MimeType)},
        {QStringLiteral("META-INF/manifest.xml"), manifestXml()},
        {QStringLiteral("content.xml"), content},
        {QStringLiteral("styles.xml"), stylesXml(document, page, defaultFamily)},
        {QStringLiteral("meta.xml"), metaXml()},
    };
}

QByteArray ZipStored(const QList<TOdtPart> &parts)
{
    const QDateTime now = QDateTime::currentDateTime();
    const quint32 dosTime = quint32(now.time().hour() << 11 | now.time().minute() << 5 | now.time().second() / 2);
    const quint32 dosDate = quint32(std::max(0, now.date().year() - 1980) << 9 | now.date().month() << 5
                                    | now.date().day());
    QByteArray zip, directory;
    for (const TOdtPart &part : parts) {
        const QByteArray name = part.Name.toUtf8();
        const quint32 crc = crc32(part.Data);
        const quint32 offset = quint32(zip.size());
        const quint32 size = quint32(part.Data.size());

        put32(zip, 0x04034b50);   // local file header
        put16(zip, 10);           // version needed: stored
        put16(zip, 0x0800);       // names in UTF-8
        put16(zip, 0);            // stored
        put16(zip, dosTime);
        put16(zip, dosDate);
        put32(zip, crc);
        put32(zip, size);
        put32(zip, size);
        put16(zip, quint32(name.size()));
        put16(zip, 0);
        zip += name;
        zip += part.Data;

        put32(directory, 0x02014b50);   // central directory entry
        put16(directory, 20);           // made by
        put16(directory, 10);
        put16(directory, 0x0800);
        put16(directory, 0);
        put16(directory, dosTime);
        put16(directory, dosDate);
        put32(directory, crc);
        put32(directory, size);
        put32(directory, size);
        put16(directory, quint32(name.size()));
        put16(directory, 0);   // extra
        put16(directory, 0);   // comment
        put16(directory, 0);   // disk
        put16(directory, 0);   // internal attributes
        put32(directory, 0);   // external attributes
        put32(directory, offset);
        directory += name;
    }
    const quint32 directoryOffset = quint32(zip.size());
    zip += directory;
    put32(zip, 0x06054b50);   // end of central directory
    put16(zip, 0);
    put16(zip, 0);
    put16(zip, quint32(parts.size()));
    put16(zip, quint32(parts.size()));
    put32(zip, quint32(directory.size()));
    put32(zip, directoryOffset);
    put16(zip, 0);
    return zip;
}

void WriteOdt(const QTextDocument &document, const TWordPageSetup &page, const QString &path)
{
    const QByteArray zip = ZipStored(OdtParts(document, page));
    try {
        WriteFileSafely(path, zip);
    } catch (const EFileWriteError &e) {
        RaiseServerError(QStringLiteral("Не удается сохранить файл '%1': %2")
                             .arg(QDir::toNativeSeparators(path), e.Reason()));
    }
}
