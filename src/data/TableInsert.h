#pragma once

#include "Database.h"

#include <QList>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>

// Inserts rows into one table through a single INSERT prepared once: the
// values of each row are bound to its parameters, never written into the
// statement's text. It holds no transaction of its own; RunAtomically
// gives the rows one.
class TTableInsert {
public:
    // `columns` are the table's columns to fill (TDatabase::TableColumns),
    // in the order Insert takes their values.
    TTableInsert(TDatabase &db, const QString &table, const QList<TColumnDesc> &columns);
    ~TTableInsert();
    TTableInsert(const TTableInsert &) = delete;
    TTableInsert &operator=(const TTableInsert &) = delete;

    // One row: a value per column (a null variant is NULL). Raises the
    // engine's error.
    void Insert(const QVariantList &values);
    int Columns() const { return int(m_columns); }

private:
    std::unique_ptr<TBoundStatement> m_statement;
    qsizetype m_columns = 0;
};

// Runs `body` so that what it writes is kept whole or not at all: in a
// transaction of its own, committed when `body` returns, or, with a
// transaction open already, under a savepoint of it. When `body` raises,
// everything it wrote is undone and the error goes on.
void RunAtomically(TDatabase &db, const std::function<void()> &body);
