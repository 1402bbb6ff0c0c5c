#pragma once

#include <QString>
#include <exception>

// The one exception hierarchy of the program. Every error carries a single
// message text; the texts are the program's own Russian strings. Throw by
// value, catch by reference.
class Exception : public std::exception {
public:
    explicit Exception(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    ~Exception() override = default;

    const QString &Message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// The silent abort: stops whatever runs and is never shown to the user.
class EAbort : public Exception {
public:
    EAbort() : Exception(QStringLiteral("Операция прервана")) {}
};

// A text could not be converted to a number or a date, or a format string
// does not match its arguments.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// An error of a report run or of its template.
class ECustomReportError : public Exception {
public:
    using Exception::Exception;
};

// The script scanner met a character that starts no token.
class UnDefinedSymbol : public Exception {
public:
    using Exception::Exception;
};

// A statement that was expected to return rows did not.
class ENoResultSet : public Exception {
public:
    using Exception::Exception;
};

// An operation that the grid cannot carry out in its current state.
class EInvalidGridOperation : public Exception {
public:
    using Exception::Exception;
};

// A failure of the automation layer (an unknown program identifier, a
// member that the object does not have, a call that the server refused).
class EOleError : public Exception {
public:
    using Exception::Exception;
};

// Throws the silent abort.
[[noreturn]] void Abort();
