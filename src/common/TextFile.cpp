#include "TextFile.h"

#include "CodePage.h"
#include "Exceptions.h"
#include "SafeFile.h"
#include "Settings.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
        m_asciiSame = true;
        for (char16_t c = 1; c < 0x80; ++c)
            m_asciiSame = m_asciiSame && m_table[c] == c;
    }
}

namespace {

// Copies the leading characters of `units` that are ASCII other than NUL to
// `p` as bytes of the same value, eight at a time (four without SSE2);
// returns how many it copied, a multiple of that step: the rest is left to
// the caller.
qsizetype copyAscii(const char16_t *units, qsizetype n, char *p)
{
    qsizetype i = 0;
#if defined(__SSE2__)
    const __m128i one = _mm_set1_epi16(1), top = _mm_set1_epi16(0x7E), zero = _mm_setzero_si128();
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(units + i));
        // a unit from 1 to 0x7F less one is at most 0x7E (NUL wraps round
        // to 0xFFFF): what is left above 0x7E marks the other units
        const __m128i above = _mm_subs_epu16(_mm_sub_epi16(v, one), top);
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(above, zero)) != 0xFFFF)
            break;
        _mm_storel_epi64(reinterpret_cast<__m128i *>(p + i), _mm_packus_epi16(v, v));
    }
#else
    // the same with four units in a 64-bit word: a unit is ASCII when none
    // of its bits above the seventh is set, and an ASCII unit is not NUL
    // when adding 0x7FFF sets its top bit (carrying nothing further)
    constexpr quint64 NonAscii = 0xFF80FF80FF80FF80, Bias = 0x7FFF7FFF7FFF7FFF, Tops = 0x8000800080008000;
    for (; i + 4 <= n; i += 4) {
        quint64 w;
        std::memcpy(&w, units + i, sizeof w);
        if ((w & NonAscii) != 0 || ((w + Bias) & Tops) != Tops)
            break;
        // the low byte of each unit, in the units' order whatever the
        // machine's byte order
        const quint32 bytes = quint32((w & 0xFF) | ((w >> 8) & 0xFF00) | ((w >> 16) & 0xFF0000)
                                      | ((w >> 24) & 0xFF000000));
        std::memcpy(p + i, &bytes, sizeof bytes);
    }
#endif
    return i;
}

} // namespace

void TCodePageEncoder::append(QByteArray &out, QStringView text)
{
    if (!m_table) {
        out += m_encoder.encode(text);
        return;
    }
    const quint8 *table = m_table;
    const bool nulMapped = m_nulMapped;
    const bool asciiSame = m_asciiSame;
    auto inTable = [table, nulMapped](char16_t c) { return table[c] != 0 || (c == 0 && nulMapped); };
    // one byte per character first; a character the table lacks cuts the
    // bytes back to where it stands and goes, with the ones after it that
    // the table lacks too, through the encoder
    qsizetype at = out.size();
    const qsizetype n = text.size();
    out.resize(at + n);
    char *p = out.data() + at;
    const char16_t *const units = text.utf16();
    qsizetype i = 0;
    while (i < n) {
        // runs of ASCII, which most code pages keep as it is, go eight
        // characters a step: the blanks, figures and Latin text of a report
        // line are copied rather than looked up one by one
        if (asciiSame) {
            const qsizetype k = copyAscii(units + i, n - i, p);
            i += k;
            p += k;
        }
        // the next eight (or what is left) through the table: the step above
        // found another character among them
        const qsizetype stop = std::min(n, i + 8);
        while (i < stop && inTable(units[i]))
            *p++ = char(table[units[i++]]);
        if (i == stop)
            continue;
        qsizetype end = i + 1;
        while (end < n && !inTable(units[end]))
            ++end;
        out.truncate(p - out.constData());
        out += m_encoder.encode(text.mid(i, end - i));
        at = out.size();
        out.resize(at + (n - end));
        p = out.data() + at;
        i = end;
    }
    out.truncate(p - out.constData());
}
