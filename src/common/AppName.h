#pragma once

#include <QString>

// The process-wide application name, under which the rows of SYS_REPORT and
// SYS_GRIDS are written and read. "Unknown" until the program sets it to
// its title at start.
const QString &AppName();
void SetAppName(const QString &name);

// The program's version, the project version of the build ("0.1").
QString ProgramVersion();
