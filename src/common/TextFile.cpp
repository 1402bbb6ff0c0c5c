#include "TextFile.h"

#include "CodePage.h"
#include "Exceptions.h"
#include "SafeFile.h"
#include "Settings.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

QString CodePageName()
{
    const QString cp = ReadSetting(QStringLiteral("CodePage"));
    return cp.isEmpty() ? QStringLiteral("windows-1251") : cp;
}

static QByteArray encodeWith(const QString &codePage, const QString &text)
{
    QStringEncoder enc(codePage.toLatin1().constData());
    if (!enc.isValid())
        throw Exception(QStringLiteral("Неизвестная кодовая страница %1").arg(codePage));
    return enc.encode(text);
}

static QString decodeWith(const QString &codePage, const QByteArray &bytes)
{
    QStringDecoder dec(codePage.toLatin1().constData());
    if (!dec.isValid())
        throw Exception(QStringLiteral("Неизвестная кодовая страница %1").arg(codePage));
    return dec.decode(bytes);
}

QByteArray EncodeText(const QString &text)
{
    return encodeWith(CodePageName(), text);
}

QString DecodeText(const QByteArray &bytes)
{
    return decodeWith(CodePageName(), bytes);
}

QByteArray EncodeOem(const QString &text)
{
    return encodeWith(QStringLiteral("IBM866"), text);
}

QString DecodeOem(const QByteArray &bytes)
{
    return decodeWith(QStringLiteral("IBM866"), bytes);
}

QString DecodeFileText(const QByteArray &bytes)
{
    static constexpr char Bom[] = "\xEF\xBB\xBF";
    const bool bom = bytes.startsWith(Bom);
    const QByteArrayView body = bom ? QByteArrayView(bytes).sliced(3) : QByteArrayView(bytes);
    const bool ascii = std::all_of(body.begin(), body.end(), [](char c) { return quint8(c) < 0x80; });
    if (bom || !ascii) {
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        QString text = utf8.decode(body);
        if (bom || !utf8.hasError())
            return text;
    }
    return DecodeText(bytes);
}

QString ReadTextFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Не могу открыть файл %1").arg(path));
    return DecodeFileText(f.readAll());
}

QStringList ReadTextLines(const QString &path)
{
    QString text = ReadTextFile(path);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();   // the line end of the last line starts no new line
    return lines;
}

void WriteTextFile(const QString &path, const QString &text)
{
    QString crlf = text;
    crlf.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    crlf.replace(u'\r', u'\n');
    crlf.replace(u'\n', QStringLiteral("\r\n"));
    const QByteArray bytes = EncodeText(crlf);
    WriteFileSafely(path, bytes);
}

void WriteTextLines(const QString &path, const QStringList &lines)
{
    QString text;
    for (const QString &line : lines) {
        text += line;
        text += QStringLiteral("\r\n");
    }
    WriteTextFile(path, text);
}

TCodePageEncoder::TCodePageEncoder(const QString &codePage)
    : m_encoder(codePage.toLatin1().constData())
{
    if (!m_encoder.isValid())
        return;
    m_codePage = TCodePage::Find(codePage);
    if (m_codePage && m_codePage->Bytes()) {
        m_table = m_codePage->Bytes();
        m_nulMapped = m_codePage->NulMapped();
    }
}

void TCodePageEncoder::append(QByteArray &out, QStringView text)
{
    if (!m_table) {
        out += m_encoder.encode(text);
        return;
    }
    const quint8 *table = m_table;
    const bool nulMapped = m_nulMapped;
    auto inTable = [table, nulMapped](QChar c) { return table[c.unicode()] != 0 || (c.unicode() == 0 && nulMapped); };
    // one byte per character first; a character the table lacks cuts the
    // bytes back to where it stands and goes, with the ones after it that
    // the table lacks too, through the encoder
    qsizetype at = out.size();
    out.resize(at + text.size());
    char *p = out.data() + at;
    // the characters every line is made of, in a loop of its own
    const char16_t *const units = text.utf16();
    qsizetype i = 0;
    for (quint8 b; i < text.size() && (b = table[units[i]]) != 0; ++i)
        *p++ = char(b);
    while (i < text.size()) {
        if (inTable(text[i])) {
            *p++ = char(table[text[i].unicode()]);
            ++i;
            continue;
        }
        qsizetype end = i + 1;
        while (end < text.size() && !inTable(text[end]))
            ++end;
        out.truncate(p - out.constData());
        out += m_encoder.encode(text.mid(i, end - i));
        at = out.size();
        out.resize(at + (text.size() - end));
        p = out.data() + at;
        i = end;
    }
    out.truncate(p - out.constData());
}
