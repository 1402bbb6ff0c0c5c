#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Text files (templates, table states, SQL, value lists, report output) are
// stored in the code page of the setting "CodePage" (windows-1251 unless
// set) with CR LF line ends. Characters the code page lacks become "?".

QString CodePageName();
QByteArray EncodeText(const QString &text);
QString DecodeText(const QByteArray &bytes);
// The DOS code page (IBM866) used by the report's OEM conversion.
QByteArray EncodeOem(const QString &text);
QString DecodeOem(const QByteArray &bytes);

// The whole file as text; line ends are kept as they are in the file.
// Raises Exception "Не могу открыть файл %s" when it cannot be read.
QString ReadTextFile(const QString &path);
// The file's lines, split at CR LF, LF or CR.
QStringList ReadTextLines(const QString &path);
// Writes the text with every line end made CR LF. Raises Exception
// "Не могу создать файл %s" when it cannot be written.
void WriteTextFile(const QString &path, const QString &text);
void WriteTextLines(const QString &path, const QStringList &lines);
