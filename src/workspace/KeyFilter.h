#pragma once

#include <QChar>
#include <QObject>
#include <functional>

class QKeyEvent;
class QWidget;

// The application-wide key filter of the main window: every key press of
// the whole program, whichever window has the focus (modal dialogs too),
// passes here first.
//   F4 alone       shows the calculator (only when one is installed; the
//                  key is left to the focused window otherwise). A further
//                  F4 while it is on screen does nothing.
//   F6, Shift+F6   the nearest tab page control around the focused control
//                  moves to its next or previous page; with Ctrl or Alt
//                  nothing happens. The key is always consumed.
//   Alt+letter     on a Latin layout, presses the mnemonic of the Russian
//                  letter on the same key (Alt+G: "&Псевдонимы...") when no
//                  shortcut took the key.
//   Scroll Lock    asks "Вы уверены, что хотите печатать форму ?" and on
//                  Yes prints an image of the active window.
// Pop-up hints are switched off for the whole application here as well.
class TKeyFilter : public QObject {
    Q_OBJECT
public:
    explicit TKeyFilter(QObject *parent = nullptr);
    ~TKeyFilter() override;

    // Shows the calculator modally; empty while the program has none.
    std::function<void()> OnCalculatorKey;
    // Prints an image of a window.
    std::function<void(QWidget *window)> OnPrintForm;

    // Moves the tab page control nearest to `focus` (itself or its parents)
    // one page on, or back; false when there is none.
    static bool SelectNextPage(QWidget *focus, bool goForward);
    // The Russian letter on the key that gives `key` in a Latin layout; a
    // null character for other keys.
    static QChar RussianLetterOfKey(int key);
    // Presses the button, focuses the label's buddy or opens the menu whose
    // mnemonic is Alt+`letter` in `window`; false when none has it.
    static bool PressMnemonic(QWidget *window, QChar letter);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool keyDown(QObject *receiver, QKeyEvent *key);

    bool m_calculatorShown = false;
};
