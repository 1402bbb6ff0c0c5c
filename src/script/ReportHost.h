#pragma once

#include <QString>
#include <optional>

class TFunc;
class TReportVar;

// What the script language needs from the report that runs it. The report
// component implements it; the parser resolves names through it, commands
// keep its error position, and functions reach the report's state and
// output through it.
class TReportHost {
public:
    TReportHost() = default;
    TReportHost(const TReportHost &) = delete;
    TReportHost &operator=(const TReportHost &) = delete;
    virtual ~TReportHost();

    // The variable of that name, or none.
    virtual TReportVar *FindVar(const QString &name) = 0;
    // The variable of that name, declared when absent.
    virtual TReportVar &GetVar(const QString &name) = 0;
    // The registered function of that name, or none.
    virtual TFunc *FindFunc(const QString &name) = 0;

    // True while the report prints its final footers.
    virtual bool IsEndMode() const = 0;
    // Writes one line straight to the output.
    virtual void PutLine(const QString &line) = 0;
    // Adds a pair to the aliases that template lines pass through.
    virtual void AddOutputAlias(const QString &alias, const QString &replacement) = 0;
    // Stops the run: silently (EAbort) without a message, otherwise with
    // ECustomReportError carrying the message (an empty one included). A
    // report may override it to tidy up first; it must still raise.
    [[noreturn]] virtual void Abort(const std::optional<QString> &message = std::nullopt);

    // Character position in the template of the last compile error or of
    // the statement run last; -1 when none. Every command sets it before it
    // acts, so it is a plain field rather than a virtual call.
    int ErrorPos() const { return m_errorPos; }
    void SetErrorPos(int pos) { m_errorPos = pos; }

private:
    int m_errorPos = -1;
};
