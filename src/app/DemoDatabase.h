#pragma once

#include <QStringList>

// Makes the DEMO database, the SQLite file "demo.sqlite" in the program
// directory, from the given SQL scripts (UTF-8 files, run in order) when it
// is missing. Returns the process exit code; reports on stdout/stderr.
int CreateDemoDatabase(const QStringList &scriptFiles);
