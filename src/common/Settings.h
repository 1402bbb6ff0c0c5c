#pragma once

#include <QString>

// Per-user settings: the INI file "quarn.ini" in ConfigDir(). Keys without a
// group: "PrinterDPI", "ShadowPrint", "CodePage", "OfficeOpen".

// $QUARN_CONFIG when set, else the user's configuration directory
// "Tessary Software".
QString ConfigDir();
// A string setting; a missing key gives an empty text.
QString ReadSetting(const QString &name);
void WriteSetting(const QString &name, const QString &value);

// The program's directory: $QUARN_HOME when set; else the executable's
// directory when it is writable; else the user's data directory for Quarn.
QString ProgramDir();
// A relative name taken against ProgramDir(); an absolute one unchanged.
QString ExpandFileName(const QString &name);
