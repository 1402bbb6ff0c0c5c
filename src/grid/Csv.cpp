#include "Csv.h"

#include "common/SafeFile.h"
#include "common/Settings.h"
#include "common/TextFile.h"

#include <QStringDecoder>

#include <algorithm>

namespace {

constexpr char Utf8Bom[] = "\xEF\xBB\xBF";
// bytes gathered before they go to the file
constexpr qsizetype FlushBytes = 256 * 1024;

bool needsQuotes(QStringView value, QChar separator)
{
    for (QChar c : value)
        if (c == separator || c == u'"' || c == u'\r' || c == u'\n')
            return true;
    return false;
}

} // namespace

TCsvFormat CsvExportFormat()
{
    TCsvFormat format;
    if (ReadSetting(QStringLiteral("CsvSeparator")).trimmed() == u";")
        format.Separator = u';';
    if (ReadSetting(QStringLiteral("CsvEncoding")).trimmed().compare(u"CodePage", Qt::CaseInsensitive) == 0)
        format.Encoding = TCsvEncoding::CodePage;
    return format;
}

void SaveCsvExportFormat(const TCsvFormat &format)
{
    WriteSetting(QStringLiteral("CsvSeparator"), format.Separator == u';' ? QStringLiteral(";") : QStringLiteral(","));
    WriteSetting(QStringLiteral("CsvEncoding"),
                 format.Encoding == TCsvEncoding::CodePage ? QStringLiteral("CodePage") : QStringLiteral("UTF-8"));
}

bool CsvAskFormat()
{
    return ReadSetting(QStringLiteral("CsvAskFormat")).trimmed() != u"0";
}

void AppendCsvField(QString &record, QStringView value, QChar separator)
{
    if (!needsQuotes(value, separator)) {
        record += value;
        return;
    }
    record += u'"';
    for (QChar c : value) {
        if (c == u'"')
            record += u'"';
        record += c;
    }
    record += u'"';
}

QString CsvRecord(const QStringList &fields, QChar separator)
{
    QString record;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            record += separator;
        AppendCsvField(record, fields[i], separator);
    }
    return record;
}

// ---------------------------------------------------------------- writing

TCsvWriter::TCsvWriter(const QString &path, const TCsvFormat &format)
    : m_file(std::make_unique<TSafeFile>(path)), m_separator(format.Separator)
{
    if (format.Encoding == TCsvEncoding::CodePage) {
        m_encoder = std::make_unique<TCodePageEncoder>(CodePageName());
        if (!m_encoder->isValid())
            throw Exception(QStringLiteral("Неизвестная кодовая страница %1").arg(CodePageName()));
    } else {
        m_bytes.append(Utf8Bom);
    }
}

TCsvWriter::~TCsvWriter() = default;

void TCsvWriter::Write(const QStringList &fields)
{
    m_record.clear();
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            m_record += m_separator;
        AppendCsvField(m_record, fields[i], m_separator);
    }
    m_record += QStringLiteral("\r\n");
    if (m_encoder)
        m_encoder->append(m_bytes, m_record);
    else
        m_bytes.append(m_record.toUtf8());
    if (m_bytes.size() >= FlushBytes)
        flush();
}

void TCsvWriter::flush()
{
    m_file->Write(m_bytes);
    m_bytes.clear();
}

void TCsvWriter::Commit()
{
    flush();
    m_file->Commit();
}

// ---------------------------------------------------------------- reading

QString DecodeCsv(const QByteArray &bytes, TCsvEncoding encoding)
{
    if (encoding == TCsvEncoding::CodePage)
        return DecodeText(bytes);
    const QByteArrayView body = bytes.startsWith(Utf8Bom) ? QByteArrayView(bytes).sliced(3) : QByteArrayView(bytes);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    return utf8.decode(body);
}

TCsvEncoding GuessCsvEncoding(const QByteArray &bytes)
{
    if (bytes.startsWith(Utf8Bom))
        return TCsvEncoding::Utf8;
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return quint8(c) < 0x80; }))
        return TCsvEncoding::Utf8;
    // a stateful decoder: the bytes may end inside a character (the start of
    // a larger file)
    QStringDecoder utf8(QStringConverter::Utf8);
    const QString text = utf8.decode(bytes);
    Q_UNUSED(text);
    return utf8.hasError() ? TCsvEncoding::CodePage : TCsvEncoding::Utf8;
}

QChar GuessCsvSeparator(QStringView text)
{
    int semicolons = 0, tabs = 0, commas = 0;
    bool quoted = false;
    for (QChar c : text) {
        if (c == u'"') {
            quoted = !quoted;
            continue;
        }
        if (quoted)
            continue;
        if (c == u'\r' || c == u'\n')
            break;
        if (c == u';')
            ++semicolons;
        else if (c == u'\t')
            ++tabs;
        else if (c == u',')
            ++commas;
    }
    if (semicolons > commas && semicolons >= tabs)
        return u';';
    if (tabs > commas && tabs > semicolons)
        return u'\t';
    return u',';
}

TCsvReader::TCsvReader(QStringView text, QChar separator) : m_text(text), m_separator(separator) {}

bool TCsvReader::Next(QStringList &fields)
{
    fields.clear();
    m_broken = false;
    const qsizetype size = m_text.size();
    if (m_pos >= size)
        return false;
    m_recordLine = m_line;
    QString field;
    bool quoted = false;     // inside quotes
    bool fieldStart = true;  // nothing of the field read yet
    while (m_pos < size) {
        const QChar c = m_text[m_pos++];
        if (quoted) {
            if (c == u'"') {
                if (m_pos < size && m_text[m_pos] == u'"') {
                    field += u'"';
                    ++m_pos;
                } else {
                    quoted = false;
                }
                continue;
            }
            if (c == u'\n' || (c == u'\r' && !(m_pos < size && m_text[m_pos] == u'\n')))
                ++m_line;
            field += c;
            continue;
        }
        if (c == u'"' && fieldStart) {
            quoted = true;
            fieldStart = false;
            continue;
        }
        if (c == m_separator) {
            fields.append(field);
            field.clear();
            fieldStart = true;
            continue;
        }
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && m_pos < size && m_text[m_pos] == u'\n')
                ++m_pos;
            ++m_line;
            fields.append(field);
            return true;
        }
        field += c;
        fieldStart = false;
    }
    m_broken = quoted;
    fields.append(field);
    return true;
}
