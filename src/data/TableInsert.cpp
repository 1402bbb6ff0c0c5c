#include "TableInsert.h"

#include <QSqlQuery>
#include <QStringList>

TTableInsert::TTableInsert(TDatabase &db, const QString &table, const QList<TColumnDesc> &columns)
    : m_columns(columns.size())
{
    TEngine &engine = db.Engine();
    QStringList names, marks;
    QList<TFieldType> types;
    for (const TColumnDesc &c : columns) {
        names.append(engine.QuoteName(c.Name));
        marks.append(engine.ParamMark(int(marks.size()) + 1));
        types.append(c.Type);
    }
    const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                            .arg(engine.QuoteTable(table), names.join(QStringLiteral(", ")),
                                 marks.join(QStringLiteral(", ")));
    m_statement = engine.Prepare(db, sql, types);
}

TTableInsert::~TTableInsert() = default;

void TTableInsert::Insert(const QVariantList &values)
{
    Q_ASSERT(values.size() == m_columns);
    m_statement->Exec(values);
}

void RunAtomically(TDatabase &db, const std::function<void()> &body)
{
    const bool own = !db.InTransaction();
    if (own)
        db.StartTransaction();
    else
        db.Query(QStringLiteral("SAVEPOINT quarn_atomic"));
    try {
        body();
    } catch (...) {
        try {
            if (own) {
                db.Rollback();
            } else {
                db.Query(QStringLiteral("ROLLBACK TO SAVEPOINT quarn_atomic"));
                db.Query(QStringLiteral("RELEASE SAVEPOINT quarn_atomic"));
            }
        } catch (const EDBEngineError &) {
            // a lost connection has undone it already
        }
        throw;
    }
    if (own)
        db.Commit();
    else
        db.Query(QStringLiteral("RELEASE SAVEPOINT quarn_atomic"));
}
