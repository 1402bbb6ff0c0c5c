#pragma once

#include <QStringList>

// The SQL scripts the DEMO database is made from, in the order they run:
// those of the installed program's data folder (PREFIX/share/quarn), else
// those of the source tree's sql/ folder for a program run from build/bin.
// Empty when neither is there.
QStringList DemoScripts();

// Makes the DEMO database, the SQLite file "demo.sqlite" in the program
// directory, from the given SQL scripts (UTF-8 files, run in order; none
// given: DemoScripts()) when it is missing. Returns the process exit code;
// reports on stdout/stderr.
int CreateDemoDatabase(const QStringList &scriptFiles);
