#include "Engine.h"

#include "SqlText.h"

#include "common/Format.h"

std::unique_ptr<TEngine> CreateSqliteEngine();
std::unique_ptr<TEngine> CreatePostgresEngine();

std::unique_ptr<TEngine> TEngine::Create(const QString &driver)
{
    if (driver == u"QSQLITE")
        return CreateSqliteEngine();
    if (driver == u"QPSQL")
        return CreatePostgresEngine();
    throw EDBEngineError(DBErrorCode::UnknownDriver,
                         Format(QStringLiteral("Драйвер %s не поддерживается"), {driver}));
}

void CheckOneStatement(const QString &sql, TSqlDialect dialect)
{
    const int at = SecondStatementStart(sql, dialect);
    if (at < 0)
        return;
    QString rest = sql.mid(at).simplified();
    if (rest.size() > 60)
        rest = rest.left(60) + QStringLiteral("...");
    throw EDBEngineError(DBErrorCode::SyntaxError,
                         Format(QStringLiteral("Запрос должен содержать один оператор SQL, а после него стоит еще: %s"),
                                {rest}));
}

int ReportedRowsAffected(const QString &keyword, int driverCount)
{
    static const QStringList counted = {QStringLiteral("INSERT"), QStringLiteral("UPDATE"),
                                        QStringLiteral("DELETE"), QStringLiteral("MERGE"),
                                        QStringLiteral("REPLACE"), QStringLiteral("WITH")};
    return counted.contains(keyword) ? driverCount : -1;
}

QString CommonLiteral(const QVariant &value, TFieldType type, const QString &trueText,
                      const QString &falseText)
{
    if (!value.isValid() || value.isNull())
        return QStringLiteral("NULL");
    auto quote = [](QString s) {
        s.replace(u'\'', QStringLiteral("''"));
        return u'\'' + s + u'\'';
    };
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? trueText : falseText;
    case QMetaType::Int: case QMetaType::LongLong: case QMetaType::UInt: case QMetaType::ULongLong:
    case QMetaType::Short: case QMetaType::UShort:
        if (type == ftBoolean)
            return value.toLongLong() ? trueText : falseText;
        return QString::number(value.toLongLong());
    case QMetaType::Double: case QMetaType::Float: {
        if (type == ftDate || type == ftDateTime || type == ftTime) {
            const TDateTime dt = value.toDouble();
            if (type == ftDate) return quote(DateTimeToQDate(dt).toString(QStringLiteral("yyyy-MM-dd")));
            if (type == ftTime) return quote(DateTimeToQTime(dt).toString(QStringLiteral("HH:mm:ss")));
            return quote(DateTimeToQDateTime(dt).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        }
        if (type == ftSmallint || type == ftInteger || type == ftWord || type == ftAutoInc)
            return QString::number(FieldValue::ToInteger(value));
        const double d = value.toDouble();
        return QString::number(d, 'g', 17);
    }
    case QMetaType::QDate:
        return quote(value.toDate().toString(QStringLiteral("yyyy-MM-dd")));
    case QMetaType::QTime: {
        const QTime t = value.toTime();
        return quote(t.toString(t.msec() ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss")));
    }
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        const QString f = dt.time().msec() ? QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")
                                           : QStringLiteral("yyyy-MM-dd HH:mm:ss");
        if (type == ftDate)
            return quote(dt.date().toString(QStringLiteral("yyyy-MM-dd")));
        return quote(dt.toString(f));
    }
    default:
        break;
    }
    const QString s = value.toString();
    switch (type) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftFloat: case ftCurrency:
    case ftBCD: {
        // a number given as text goes in as a number when it is one
        bool ok = false;
        s.trimmed().toDouble(&ok);
        if (ok)
            return s.trimmed();
        break;
    }
    case ftBoolean:
        return FieldValue::ToBoolean(value) ? trueText : falseText;
    default:
        break;
    }
    return quote(s);
}
