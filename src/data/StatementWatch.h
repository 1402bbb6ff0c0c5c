#pragma once

#include "DBError.h"

#include <QElapsedTimer>

// A statement run on the person's behalf (a grid opened or counted, a
// query run from the editor, a report's query): past half a second the
// engines, while they wait for it, let the person see the program is busy
// and stop it (TUserInterface::StatementRunning). One is watched at a time;
// another statement started while the busy window lets messages run is
// refused, since the engine's connection is in the middle of the first.
class TStatementWatch {
public:
    static constexpr qint64 QuietMs = 500;

    TStatementWatch();
    ~TStatementWatch();
    TStatementWatch(const TStatementWatch &) = delete;
    TStatementWatch &operator=(const TStatementWatch &) = delete;

    // Called by the engines while a statement runs: true when the person
    // asked to stop it (then the engine interrupts it).
    static bool Tick();
    bool Cancelled() const { return m_cancelled; }
    // Whether the statement watched now was stopped by the person.
    static bool Stopping();
    // Whether a statement's busy window is letting messages run (no other
    // watched statement may start now).
    static bool Waiting();

private:
    QElapsedTimer m_clock;
    qint64 m_lastAsked = 0;
    bool m_cancelled = false;
    bool m_shown = false;
    TStatementWatch *m_outer = nullptr;
};

// Runs `f` watched; a statement the person stopped raises "Выполнение
// запроса прервано".
template <class F>
auto RunWatched(F f)
{
    TStatementWatch watch;
    try {
        return f();
    } catch (const EDBEngineError &) {
        if (watch.Cancelled())
            throw EDBEngineError(DBErrorCode::Interrupted, QStringLiteral("Выполнение запроса прервано"));
        throw;
    }
}
