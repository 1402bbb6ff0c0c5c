#pragma once

// Loads Qt's own Russian translation into the application: standard buttons
// read Да, Нет, Отмена, and the command-line parser's help and errors are
// Russian. False when the translation is missing.
bool LoadQtTranslation();
