#include "StatementWatch.h"

#include "common/UserInterface.h"

namespace {
TStatementWatch *current = nullptr;
bool asking = false;   // the busy window is letting messages run
}

TStatementWatch::TStatementWatch() : m_outer(current)
{
    if (asking)
        throw EDBEngineError(DBErrorCode::Locked, QStringLiteral("Выполняется запрос: дождитесь его окончания"));
    m_clock.start();
    // a statement inside another one's work (a grid counted while a
    // report opens) is watched as part of it
    if (!current)
        current = this;
}

TStatementWatch::~TStatementWatch()
{
    if (current != this)
        return;
    current = nullptr;
    if (m_shown)
        UserInterface().StatementEnded();
}

bool TStatementWatch::Waiting()
{
    return asking;
}

bool TStatementWatch::Stopping()
{
    return current && current->m_cancelled;
}

bool TStatementWatch::Tick()
{
    TStatementWatch *w = current;
    if (!w || asking)
        return w && w->m_cancelled;
    const qint64 ms = w->m_clock.elapsed();
    if (ms < QuietMs || ms - w->m_lastAsked < 50)
        return w->m_cancelled;
    w->m_lastAsked = ms;
    w->m_shown = true;
    asking = true;
    struct Done {
        ~Done() { asking = false; }
    } done;
    if (UserInterface().StatementRunning(double(ms) / 1000.0))
        w->m_cancelled = true;
    return w->m_cancelled;
}
