#pragma once

class QApplication;
class QTableWidget;
class QWidget;

// Push buttons keep a margin on either side of their text, whatever the
// style: without it Fusion draws a long caption against the button's frame.
// Installed on the application by the program (and by widget tests that
// look at sizes).
void InstallButtonMargins(QApplication &app);

// Every column but the last (which stretches) made at least as wide as its
// title and its cells' texts (up to 50 characters: a long text is cut).
void FitColumnsToTexts(QTableWidget &table);

// The window a dialog of the program belongs to: the modal one, else the
// active one, else the program's main window (the first visible top-level
// window without a parent), so a dialog asked for between two windows, as
// the login after "Базы данных" closed, is still centred on the program.
QWidget *DialogOwner();
