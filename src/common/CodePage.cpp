#include "CodePage.h"

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QStringDecoder>
#include <QStringEncoder>

TCodePage::TCodePage(const QString &name)
{
    const QByteArray codec = name.toLatin1();
    const char *const c = codec.constData();
    QStringDecoder decoder(c, QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return;
    const bool canEncode = QStringEncoder(c).isValid();
    // a two-byte sequence that a one-byte code page reads as two characters
    bool oneByte = QString(decoder.decode(QByteArrayView("\xd0\x90", 2))).size() == 2;
    std::vector<char16_t> chars(256);
    auto bytes = std::make_unique<quint8[]>(0x10000);
    int mapped = 0;
    for (int b = 0; b < 256; ++b) {
        // fresh converters for every byte, so that no state or error of
        // another byte counts
        const char byte = char(b);
        QStringDecoder byteDecoder(c, QStringConverter::Flag::Stateless);
        const QString ch = byteDecoder.decode(QByteArrayView(&byte, 1));
        if (ch.size() != 1) {
            oneByte = false;
            continue;
        }
        chars[size_t(b)] = ch[0].unicode();
        if (byteDecoder.hasError() || !canEncode)
            continue;
        QStringEncoder charEncoder(c);
        const QByteArray back = charEncoder.encode(ch);
        if (charEncoder.hasError() || back.size() != 1 || quint8(back[0]) != b)
            continue;
        bytes[ch[0].unicode()] = quint8(b);
        m_nulMapped = m_nulMapped || b == 0;
        ++mapped;
    }
    if (oneByte)
        m_chars = std::move(chars);
    if (mapped > 128)
        m_bytes = std::move(bytes);
}

std::shared_ptr<const TCodePage> TCodePage::Find(const QString &name)
{
    // the report writer and the viewer may ask from different threads
    static QMutex mutex;
    static QHash<QString, std::shared_ptr<const TCodePage>> made;
    const QMutexLocker lock(&mutex);
    const auto it = made.constFind(name);
    if (it != made.cend())
        return *it;
    std::shared_ptr<const TCodePage> page;
    if (QStringDecoder(name.toLatin1().constData()).isValid())
        page = std::make_shared<const TCodePage>(name);
    made.insert(name, page);
    return page;
}

std::vector<char16_t> CodePageChars(const QString &name)
{
    const std::shared_ptr<const TCodePage> page = TCodePage::Find(name);
    return page ? page->Chars() : std::vector<char16_t>();
}
