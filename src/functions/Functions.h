#pragma once

#include <QStringList>

// Installs the built-in script functions that live outside the script
// library, from every library that has some: the report engine's group
// tables and data functions and the office functions. Every program calls
// it at start. It then checks the table: a function still without an
// implementation (other than those the windows install, see
// WindowFunctionNames) raises, so that a program cannot run scripts with a
// library of functions silently missing.
void InstallFunctions();

// The built-ins that only a program with windows installs (the dictionary
// lookup's GetFromDictionary, with InstallDictionaryLookup).
QStringList WindowFunctionNames();
