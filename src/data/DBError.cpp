#include "DBError.h"

static QString firstMessage(const QList<TDBError> &errors)
{
    return errors.isEmpty() ? QString() : errors.first().Message;
}

EDBEngineError::EDBEngineError(QList<TDBError> errors)
    : Exception(firstMessage(errors)), m_errors(std::move(errors))
{
}

EDBEngineError::EDBEngineError(int errorCode, const QString &message)
    : EDBEngineError(QList<TDBError>{TDBError{errorCode, 0, message, QString()}})
{
}

int SqlStateNumber(const QString &sqlState)
{
    if (sqlState.isEmpty())
        return 0;
    bool ok = false;
    int n = sqlState.toInt(&ok, 10);
    if (ok)
        return n;
    n = sqlState.toInt(&ok, 36);
    return ok ? n : 0;
}
