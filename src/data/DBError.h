#pragma once

#include "common/Exceptions.h"

#include <QList>
#include <QString>

class QSqlError;

// One entry of an engine error's stack: the error code (category in the high
// byte, code within the category in the low byte), the server's native error
// number (0 when there is none) and the message.
struct TDBError {
    int ErrorCode = 0;
    int NativeError = 0;
    QString Message;
    QString SqlState;   // the server's five-character state, when it sent one
    int Position = -1;  // 0-based character of the statement the error points at, when known

    int Category() const { return (ErrorCode >> 8) & 0xFF; }
    int SubCode() const { return ErrorCode & 0xFF; }
};

// Error categories and codes of the data layer. An engine error is sorted
// into a category by what went wrong, whatever the engine:
//
//   0x21 system         01 cannot connect         02 connection lost
//                       03 disk full              04 no such server host
//                       05 server not answering
//   0x22 not found      01 unknown alias          02 database file missing
//                       03 table or column missing
//   0x26 integrity      01 unique key             02 foreign key
//                       03 required value (NOT NULL)  04 check constraint
//   0x27 invalid request 01 parameter without value 02 unknown driver
//                       03 not supported by the engine 04 record not found
//   0x28 lock conflict  01 locked or busy         02 deadlock or serialisation
//   0x29 security       01 login failed           02 permission denied
//                       03 read-only database
//   0x2E SQL            01 syntax error           02 statement failed
//                       03 bad value for the type
//
// The native number is SQLite's extended result code; for PostgreSQL it is
// the SQLSTATE read as a decimal number when it has digits only (23505), or
// as a base-36 number otherwise (42P01).
namespace DBErrorCode {
constexpr int ConnectFailed = 0x2101, ConnectionLost = 0x2102, DiskFull = 0x2103;
constexpr int ServerNotFound = 0x2104, ServerNotAnswering = 0x2105;
constexpr int UnknownAlias = 0x2201, FileMissing = 0x2202, ObjectMissing = 0x2203;
constexpr int UniqueKey = 0x2601, ForeignKey = 0x2602, RequiredValue = 0x2603, CheckFailed = 0x2604;
constexpr int NoParamValue = 0x2701, UnknownDriver = 0x2702, NotSupported = 0x2703, RecordNotFound = 0x2704;
constexpr int Locked = 0x2801, Deadlock = 0x2802;
constexpr int LoginFailed = 0x2901, PermissionDenied = 0x2902, ReadOnlyDatabase = 0x2903;
constexpr int SyntaxError = 0x2E01, StatementFailed = 0x2E02, BadValue = 0x2E03, Interrupted = 0x2E04;
}

// The exception of every failed engine call. Its message is the first
// entry's message (the server's own text where there is a server).
class EDBEngineError : public Exception {
public:
    explicit EDBEngineError(QList<TDBError> errors);
    EDBEngineError(int errorCode, const QString &message);

    const QList<TDBError> &Errors() const { return m_errors; }
    int ErrorCount() const { return int(m_errors.size()); }
    const TDBError &Error(int i) const { return m_errors.at(i); }

private:
    QList<TDBError> m_errors;
};

// The native number for a PostgreSQL SQLSTATE (see above).
int SqlStateNumber(const QString &sqlState);

// What a common engine error means, in Russian, for the entry shown first
// (the engine's own text follows it under the details); empty for errors
// with no such entry.
QString DBErrorText(int errorCode);

// The entries of an engine error: the Russian entry of its code first when
// it has one ("what it means (the engine's text)"), then the engine's own
// `entries`.
QList<TDBError> WithRussianEntry(QList<TDBError> entries);
