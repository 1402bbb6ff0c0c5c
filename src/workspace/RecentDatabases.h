#pragma once

#include <QString>
#include <QStringList>

// The databases opened last, newest first, kept in quarn.ini: an alias's
// name, or the full name of a SQLite file opened without one (its session
// alias does not outlast the program).
namespace RecentDatabases {

constexpr int Kept = 8;

QStringList List();
// Puts the database of `alias` first (the file of a session alias).
void Remember(const QString &alias);
// Whether an entry names a file rather than an alias.
bool IsFile(const QString &entry);

} // namespace RecentDatabases
