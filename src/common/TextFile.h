#pragma once

#include <QByteArray>
#include <QString>
#include <QStringEncoder>
#include <QStringList>
#include <QStringView>
#include <memory>

// Text files (templates, table states, SQL, value lists, report output) are
// stored in the code page of the setting "CodePage" (windows-1251 unless
// set) with CR LF line ends. Characters the code page lacks become the
// substitute byte 0x1A.

QString CodePageName();
QByteArray EncodeText(const QString &text);
QString DecodeText(const QByteArray &bytes);
// The DOS code page (IBM866) used by the report's OEM conversion.
QByteArray EncodeOem(const QString &text);
QString DecodeOem(const QByteArray &bytes);

// Bytes read from a text file: UTF-8 when they start with the UTF-8
// byte-order mark (which is dropped) or are valid UTF-8 holding non-ASCII
// characters (a template typed in a modern editor); otherwise the code page.
// Text in windows-1251 with Cyrillic words is practically never valid UTF-8.
QString DecodeFileText(const QByteArray &bytes);

// The whole file as text (DecodeFileText); line ends are kept as they are
// in the file. Raises Exception "Не могу открыть файл %s" when it cannot be
// read. Files are always written in the code page.
QString ReadTextFile(const QString &path);
// The file's lines, split at CR LF, LF or CR.
QStringList ReadTextLines(const QString &path);
// Writes the text with every line end made CR LF, safely (TSafeFile): on
// any failure the old file stays and Exception names the file and the
// reason.
void WriteTextFile(const QString &path, const QString &text);
void WriteTextLines(const QString &path, const QStringList &lines);

class TCodePage;

// An encoder into one code page for text written piece by piece (report
// output). Characters of a single-byte code page go through the code page's
// table of bytes (TCodePage::Bytes, made from Qt's own encoder and decoder);
// characters the table does not hold, and every character of other code
// pages, go through Qt's encoder, so the bytes are always the ones
// QStringEncoder writes.
class TCodePageEncoder {
public:
    explicit TCodePageEncoder(const QString &codePage);

    bool isValid() const { return m_encoder.isValid(); }
    // Appends the encoded text to `out`.
    void append(QByteArray &out, QStringView text);

private:
    QStringEncoder m_encoder;
    std::shared_ptr<const TCodePage> m_codePage;
    // the code page's bytes (TCodePage::Bytes), null for other code pages
    const quint8 *m_table = nullptr;
    bool m_nulMapped = false;   // U+0000 is in the table (as byte 0)
    bool m_asciiSame = false;   // the table keeps ASCII other than NUL as it is
};
