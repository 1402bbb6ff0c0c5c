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

QString DBErrorText(int errorCode)
{
    switch (errorCode) {
    case DBErrorCode::ConnectionLost: return QStringLiteral("Соединение с сервером базы данных потеряно");
    case DBErrorCode::ServerNotFound:
        return QStringLiteral("Сервер базы данных не найден: проверьте имя компьютера в псевдониме");
    case DBErrorCode::ServerNotAnswering:
        return QStringLiteral("Сервер базы данных не отвечает: проверьте адрес и порт в псевдониме и работает ли сервер");
    case DBErrorCode::LoginFailed: return QStringLiteral("Неверное имя пользователя или пароль");
    case DBErrorCode::DiskFull: return QStringLiteral("Нет места на диске для базы данных");
    case DBErrorCode::ObjectMissing: return QStringLiteral("Таблица, поле или другой объект базы данных не найден");
    case DBErrorCode::UniqueKey: return QStringLiteral("Запись с таким значением ключа уже есть");
    case DBErrorCode::ForeignKey: return QStringLiteral("Нарушена ссылка на запись другой таблицы (внешний ключ)");
    case DBErrorCode::RequiredValue: return QStringLiteral("Поле должно иметь значение (NOT NULL)");
    case DBErrorCode::CheckFailed: return QStringLiteral("Значение не прошло проверку таблицы (CHECK)");
    case 0x2600: return QStringLiteral("Нарушено ограничение целостности таблицы");
    case DBErrorCode::Locked: return QStringLiteral("База данных занята другим пользователем или процессом");
    case DBErrorCode::Deadlock: return QStringLiteral("Транзакции заблокировали друг друга; повторите действие");
    case DBErrorCode::PermissionDenied: return QStringLiteral("Нет прав на это действие с базой данных");
    case DBErrorCode::ReadOnlyDatabase: return QStringLiteral("База данных открыта только для чтения");
    default: return QString();
    }
}

QList<TDBError> WithRussianEntry(QList<TDBError> entries)
{
    if (entries.isEmpty())
        return entries;
    const QString text = DBErrorText(entries.first().ErrorCode);
    if (text.isEmpty() || entries.first().Message.startsWith(text))
        return entries;
    // the engine's words stay in the first line too: what was not found,
    // which key, which constraint
    const TDBError &engine = entries.first();
    const bool plain = engine.Message.isEmpty() || engine.ErrorCode == DBErrorCode::ConnectionLost;
    const QString message = plain ? text : text + QStringLiteral(" (") + engine.Message + u')';
    entries.prepend(TDBError{engine.ErrorCode, engine.NativeError, message, engine.SqlState, engine.Position});
    return entries;
}
