#include "OutputPasses.h"

#include "common/Exceptions.h"
#include "common/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <unistd.h>

namespace {

using TPass = std::function<QList<QByteArray>(const QList<QByteArray> &)>;

QString withSuffix(const QString &path, const char *suffix)
{
    const QFileInfo fi(path);
    return fi.dir().filePath(fi.completeBaseName() + QLatin1String(suffix));
}

QList<QByteArray> splitLines(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines)
        if (line.endsWith('\r'))
            line.chop(1);
    return lines;
}

void rewrite(const QString &output, const TPass &pass)
{
    // the file the output's name leads to is rewritten, beside itself: a
    // symbolic link stays a link, a special file is refused
    const QString path = WriteTarget(output);
    QFile in(path);
    if (!in.exists())
        return;
    if (!in.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Не могу открыть файл %1").arg(path));
    const QList<QByteArray> lines = pass(splitLines(in.readAll()));
    in.close();

    // The result goes safely to the ".$$$" file first; the output is
    // replaced by a rename only when all of it is there, and the old output
    // becomes the backup by a second name, so at no moment is the output
    // missing or half written.
    QByteArray out;
    for (const QByteArray &line : lines) {
        out += line;
        out += "\r\n";
    }
    const QString temp = WriteTarget(withSuffix(path, ".$$$"));
    const QString backup = withSuffix(path, ".bak");
    WriteFileSafely(temp, out);
    QFile::remove(backup);
    const QByteArray from = QFile::encodeName(path), to = QFile::encodeName(backup);
    if (::link(from.constData(), to.constData()) != 0 && !QFile::copy(path, backup)) {
        const int error = errno;
        QFile::remove(temp);
        throw Exception(QStringLiteral("Не могу создать файл %1: %2").arg(backup, FileErrorText(error)));
    }
    if (std::rename(QFile::encodeName(temp).constData(), from.constData()) != 0) {
        const int error = errno;
        QFile::remove(temp);
        throw Exception(QStringLiteral("Не могу переименовать файл %1: %2").arg(temp, FileErrorText(error)));
    }
}

} // namespace

QList<QByteArray> TwoPagesPerSheetLines(const QList<QByteArray> &lines, int sheetLines, bool strict)
{
    const int half = sheetLines / 2;
    QList<QByteArray> out, list;
    bool secondMark = false;
    qsizetype firstAt = 0;
    auto writeMerged = [&] {
        bool moved = false;
        for (const QByteArray &line : list) {
            if (!moved && line.startsWith('^')) {
                moved = true;
                for (qsizetype n = sheetLines - list.size(); n > 0; --n)
                    out << QByteArray();
                out << line.mid(1);
            } else {
                out << line;
            }
        }
    };
    for (const QByteArray &line : lines) {
        list << line;
        if (!line.startsWith('^'))
            continue;
        if (!secondMark) {
            firstAt = list.size();
            if (strict && firstAt > half) {
                out << list;
                list.clear();
            } else {
                secondMark = true;
            }
        } else {
            if (strict && list.size() - firstAt > half)
                out << list;
            else
                writeMerged();
            list.clear();
            secondMark = false;
        }
    }
    if (!list.isEmpty() && list.last().trimmed() == "^")
        list.removeLast();
    out << list;
    return out;
}

QList<QByteArray> PageColumnsLines(const QList<QByteArray> &lines, int pageLines, int columns)
{
    QList<QByteArray> out, list;
    bool firstGroup = true;
    auto writeGroup = [&] {
        if (list.isEmpty())
            return;
        if (!firstGroup)
            list.first().prepend('^');
        firstGroup = false;
        out << list;
        list.clear();
    };
    for (qsizetype start = 0; start < lines.size(); start += pageLines) {
        const int page = int(start / pageLines) % columns;
        for (qsizetype i = 0; i < pageLines && start + i < lines.size(); ++i) {
            if (page == 0 || i >= list.size())
                list << lines[start + i];
            else
                list[i] += lines[start + i];
        }
        if (page == columns - 1)
            writeGroup();
    }
    writeGroup();
    return out;
}

void TwoPagesPerSheet(const QString &path, int sheetLines, bool strict)
{
    rewrite(path, [&](const QList<QByteArray> &l) { return TwoPagesPerSheetLines(l, sheetLines, strict); });
}

void PageColumns(const QString &path, int pageLines, int columns)
{
    if (pageLines <= 0 || columns <= 0)
        return;
    rewrite(path, [&](const QList<QByteArray> &l) { return PageColumnsLines(l, pageLines, columns); });
}
