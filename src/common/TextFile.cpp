#include "TextFile.h"

#include "Exceptions.h"
#include "Settings.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

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

QString ReadTextFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Не могу открыть файл %1").arg(path));
    return DecodeText(f.readAll());
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
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        throw Exception(QStringLiteral("Не могу создать файл %1").arg(path));
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
