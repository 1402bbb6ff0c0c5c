#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <memory>

class TSafeFile;
class TCodePageEncoder;

// Comma-separated values as RFC 4180 has them: records end in CR LF, a
// field holding the separator, a quote, CR or LF is put in quotes with its
// quotes doubled, and line breaks inside a quoted field are part of it.

// How a CSV file is written or read: UTF-8 (written with the byte-order
// mark, so that spreadsheets take Cyrillic text for what it is) or the
// program's code page (the setting "CodePage", TextFile.h).
enum class TCsvEncoding { Utf8, CodePage };

struct TCsvFormat {
    QChar Separator = u',';
    TCsvEncoding Encoding = TCsvEncoding::Utf8;
};

// The export's format as quarn.ini keeps it: "CsvSeparator" ";" for a
// semicolon, anything else a comma; "CsvEncoding" "CodePage" for the
// program's code page, anything else UTF-8.
TCsvFormat CsvExportFormat();
void SaveCsvExportFormat(const TCsvFormat &format);
// Whether the export asks for its format before writing: "CsvAskFormat"
// "0" writes at once in the format of the settings.
bool CsvAskFormat();

// Appends one field to a record, quoted when it must be.
void AppendCsvField(QString &record, QStringView value, QChar separator);
// A record's text, without its line end.
QString CsvRecord(const QStringList &fields, QChar separator);

// Writes records to a file through TSafeFile, encoded as the format says:
// nothing is in place until Commit, and a writer dropped before it (an
// error, an export stopped with Esc) leaves no file and the old one whole.
class TCsvWriter {
public:
    TCsvWriter(const QString &path, const TCsvFormat &format);
    ~TCsvWriter();
    TCsvWriter(const TCsvWriter &) = delete;
    TCsvWriter &operator=(const TCsvWriter &) = delete;

    // One record, ended by CR LF.
    void Write(const QStringList &fields);
    void Commit();

private:
    void flush();

    std::unique_ptr<TSafeFile> m_file;
    std::unique_ptr<TCodePageEncoder> m_encoder;   // null for UTF-8
    QChar m_separator;
    QString m_record;
    QByteArray m_bytes;
};

// The text of a CSV file's bytes: UTF-8 (a leading byte-order mark
// dropped) or the code page.
QString DecodeCsv(const QByteArray &bytes, TCsvEncoding encoding);
// The encoding the bytes are most likely in: UTF-8 when they start with the
// byte-order mark or are valid UTF-8 holding non-ASCII characters, else the
// code page.
TCsvEncoding GuessCsvEncoding(const QByteArray &bytes);
// The separator of the first record: whichever of ";", tab and "," it holds
// most outside quotes (a comma when none).
QChar GuessCsvSeparator(QStringView text);

// Reads the records of CSV text one after another. Line ends may be CR LF,
// LF or CR alone. Forgiving where RFC 4180 is strict: a quote inside an
// unquoted field is a character of it, text after a closing quote is added
// to the field, and a quote left open takes the rest of the text (Broken
// tells).
class TCsvReader {
public:
    // The text must outlive the reader.
    TCsvReader(QStringView text, QChar separator);

    // The next record's fields; false at the end of the text. An empty line
    // is a record of one empty field.
    bool Next(QStringList &fields);
    // The line of the text (from 1) where the last record read starts.
    int Line() const { return m_recordLine; }
    // The last record read ended inside an open quote.
    bool Broken() const { return m_broken; }
    // How far the reader has come in the text.
    qsizetype Position() const { return m_pos; }

private:
    QStringView m_text;
    QChar m_separator;
    qsizetype m_pos = 0;
    int m_line = 1;
    int m_recordLine = 0;
    bool m_broken = false;
};
