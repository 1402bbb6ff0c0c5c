#pragma once

#include "FuncList.h"

#include <QString>

// The built-in functions of the script language, registered into a report's
// function registry in one fixed order. The string, number, date, dialog
// and variable functions live in the script library itself; the data-access
// and office functions live in the libraries that reach databases and
// office files, and are installed into this table by them at start
// (InstallBuiltinFunction). A function whose implementation has not been
// installed is not registered at all.

// Registers every built-in function that has an implementation, in table
// order.
void RegisterBuiltinFunctions(TCustomFuncList &list);

// Installs (or, with an empty implementation, removes) the implementation
// of the table's function `name`. Raises for a name the table lacks.
void InstallBuiltinFunction(const QString &name, TFuncImpl implementation);

// The table's names in registration order (for listings and tests).
QStringList BuiltinFunctionNames();

// The table's names that have no implementation installed, in table order.
QStringList MissingBuiltinFunctions();
