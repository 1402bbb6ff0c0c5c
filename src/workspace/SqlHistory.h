#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// The statements run in SQL editors, the last Kept of each database, kept in
// the local database (local.sqlite in the program directory) so that they
// outlast the program.
struct TSqlHistoryEntry {
    QString Sql;
    QDateTime At;
    qint64 Rows = -1;      // rows shown or touched; -1 when not known
    double Seconds = 0;
};

namespace SqlHistory {

constexpr int Kept = 200;

// Adds a statement run on `database` (an alias); the same text run again
// moves to the top instead of standing twice.
void Add(const QString &database, const QString &sql, qint64 rows, double seconds);
// The statements of `database`, the newest first.
QList<TSqlHistoryEntry> Of(const QString &database);

} // namespace SqlHistory
