#pragma once

#include "common/Translation.h"

#include "common/Exceptions.h"

#include <QApplication>
#include <functional>

// Exceptions never cross Qt's event loop. Every handler that can throw runs
// through Guarded(), which hands what it caught to the application: a silent
// abort shows nothing, anything else goes to the installed exception handler
// (the engine-error dialog installs itself there), or, with none installed,
// to the standard error message box. TQuarnApplication::notify catches what
// a handler let through all the same, as the last net.

// The application-wide exception handler: called with the object whose
// handler raised the error and the error itself.
using TExceptionHandler = std::function<void(QObject *sender, const Exception &e)>;

// The installed handler; empty when none is.
const TExceptionHandler &ApplicationExceptionHandler();
// Installs `handler` (empty: none) and returns the one it replaces.
TExceptionHandler SetApplicationExceptionHandler(TExceptionHandler handler);

// What the application does with an error that left an event handler.
void HandleException(QObject *sender, const Exception &e);
// Sorts the exception being handled (inside a catch block) and hands it to
// HandleException; errors of other kinds are shown by their message.
void HandleCurrentException(QObject *sender) noexcept;
// The standard error message box: the application title as caption and the
// exception's message.
void ShowException(const Exception &e);

// Runs `f`; whatever it throws goes to the application instead of up the
// caller's stack.
template <class F>
void Guarded(QObject *sender, F &&f) noexcept
{
    try {
        f();
    } catch (...) {
        HandleCurrentException(sender);
    }
}

// A slot for connect() that runs a member function of `obj` guarded.
template <class T>
auto Guard(T *obj, void (T::*method)())
{
    return [obj, method] { Guarded(obj, [&] { (obj->*method)(); }); };
}

// The application object of the program: its notify is the last net for
// exceptions that an event handler let through.
class TQuarnApplication : public QApplication {
public:
    TQuarnApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

