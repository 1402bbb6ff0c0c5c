#pragma once

#include <QString>

// Per-user settings: the INI file "quarn.ini" in ConfigDir(). Keys without a
// group: "PrinterDPI", "ShadowPrint", "CodePage", "OfficeOpen", and the
// grid's CSV export: "CsvSeparator", "CsvEncoding", "CsvAskFormat".

// $QUARN_CONFIG when set, else the user's configuration directory
// "Tessary Software".
QString ConfigDir();
// A string setting; a missing key gives an empty text.
QString ReadSetting(const QString &name);
void WriteSetting(const QString &name, const QString &value);

// The folder of the program's read-only data (the SQL scripts of the DEMO
// database) when the program is installed: PREFIX/share/quarn beside the
// executable's PREFIX/bin. Empty for a program that is not installed (the
// build tree's build/bin).
QString ProgramDataDir();
// The program's directory, where its writable files live (the DEMO
// database, local.sqlite, report outputs): $QUARN_HOME when set; else, for
// an installed program, the user's data directory for Quarn
// (~/.local/share/Quarn); else the executable's directory when it is
// writable (build/bin); else the user's data directory.
QString ProgramDir();
// A relative name taken against ProgramDir(); an absolute one unchanged.
QString ExpandFileName(const QString &name);
