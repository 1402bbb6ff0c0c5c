#include "Query.h"
#include "StatementWatch.h"

#include "common/Format.h"

#include <QSqlQuery>
#include <algorithm>

// ---------------------------------------------------------------- TDBDataSet

TDBDataSet::~TDBDataSet()
{
    Close();
    if (m_database)
        m_database->DetachDataSet(this);
}

void TDBDataSet::DatabaseDestroyed()
{
    m_database = nullptr;
}

void TDBDataSet::SetDatabaseName(const QString &name)
{
    if (name == m_databaseName && m_database)
        return;
    Close();
    if (m_database)
        m_database->DetachDataSet(this);
    m_database = nullptr;
    m_databaseName = name;
}

void TDBDataSet::SetDatabase(TDatabase *db)
{
    Close();
    if (m_database)
        m_database->DetachDataSet(this);
    m_database = db;
    m_databaseName = db ? db->DatabaseName() : QString();
    if (db)
        db->AttachDataSet(this);
}

TDatabase *TDBDataSet::Database()
{
    if (!m_database) {
        if (m_databaseName.isEmpty())
            throw Exception(Format(QStringLiteral("%s: Не задано имя базы данных"), {Name()}));
        TDatabase *db = Session().OpenDatabase(m_databaseName);
        m_database = db;
        db->AttachDataSet(this);
    }
    if (!m_database->Connected())
        m_database->Open();
    return m_database;
}

bool TDBDataSet::CanModify() const
{
    return Active() && m_live;
}

void TDBDataSet::SetCachedUpdates(bool on)
{
    if (on == m_cachedUpdates)
        return;
    if (!on)
        m_pending.clear();
    m_cachedUpdates = on;
}

void TDBDataSet::OpenStatement(const QString &sql)
{
    TDatabase *db = Database();
    m_rowsAffected = -1;
    const QString word = TransactionWord(sql);
    if (word == u"COMMIT") {
        db->Commit();
    } else if (word == u"ROLLBACK") {
        db->Rollback();
    } else if (word == u"BEGIN") {
        if (!db->InTransaction())
            db->StartTransaction();
    } else {
        // a scrollable result is reached by position, in windows, where the
        // engine can read the statement so
        if (!IsUniDirectional()) {
            m_window = db->Engine().OpenWindow(*db, sql, TWindowRows::WindowRows, m_firstWindow, &m_firstWindowCount);
            if (m_window)
                return;
        }
        int affected = -1;
        std::unique_ptr<TRowSource> rows;
        // a one-directional dataset that never writes its rows back reads
        // them once, forward: the engine may take its cheapest way
        const TRowReading reading = IsUniDirectional() && !m_live ? TRowReading::OneWay : TRowReading::Any;
        if (db->Engine().Run(*db, sql, &rows, affected, reading)) {
            m_source = std::move(rows);
            return;
        }
        m_rowsAffected = affected;
        const QString keyword = FirstSqlKeyword(sql);
        if (keyword == u"CREATE" || keyword == u"DROP" || keyword == u"ALTER")
            db->FlushSchemaCache();
    }
    throw ENoResultSet(QStringLiteral("Запрос не вернул набор данных"));
}

bool TDBDataSet::EngineTotals(const QString &column, bool sum, qint64 &count, double &total)
{
    if (!Active() || !m_window || UpdatesPending())
        return false;
    TDatabase *db = Database();
    TEngine &engine = db->Engine();
    const QString statement = SplitSqlScript(SelectText(), engine.Dialect()).value(0);
    QString sql = QStringLiteral("SELECT COUNT(*)");
    if (sum)
        sql += QStringLiteral(", ") + engine.NumberSum(QStringLiteral("q.") + engine.QuoteName(column));
    sql += QStringLiteral(" FROM (\n") + statement + QStringLiteral("\n) q");
    QVariant values[2];
    try {
        const bool read = RunWatched([&] {
            std::unique_ptr<TRowSource> rows;
            int affected = -1;
            return engine.Run(*db, sql, &rows, affected, TRowReading::OneWay) && rows->Fetch(values);
        });
        if (!read)
            return false;
    } catch (const EDBEngineError &e) {
        if (e.Errors().value(0).ErrorCode == DBErrorCode::Interrupted)
            throw;
        return false;   // no query (a PRAGMA, SHOW), or names the subquery cannot tell apart
    }
    count = values[0].toLongLong();
    total = sum ? values[1].toDouble() : 0;
    return true;
}

QString TDBDataSet::WrittenColumn(const TField *field) const
{
    if (!m_live || !field || field->DataSet() != this)
        return QString();
    const int column = ColumnOf(field);
    return column >= 0 && size_t(column) < m_origins.size() ? m_origins[size_t(column)] : QString();
}

void TDBDataSet::prepareLive(const QString &sql, QString &toRun)
{
    TDatabase *db = Database();
    const TSingleTableSelect sel = ParseSingleTableSelect(sql);
    if (!sel.Ok)
        return;
    const TEngine &engine = db->Engine();
    const QString bare = sel.TableQuoted ? sel.BareTable : engine.FoldName(sel.BareTable);
    const QString table = sel.Schema.isEmpty() ? bare
                          : (sel.SchemaQuoted ? sel.Schema : engine.FoldName(sel.Schema)) + u'.' + bare;
    TTableKey key;
    try {
        key = db->TableKey(table);
    } catch (const EDBEngineError &) {
        return;   // not a table we can write to (a function, a table expression): read-only
    }
    // a view, a read-only database, or rows that cannot be found again
    if (!key.Writable || (key.Columns.isEmpty() && key.RowId.isEmpty()))
        return;
    m_table = table;
    m_tableKey = key;
    m_live = true;
    QStringList hidden;
    for (int i = 0; i < key.Columns.size(); ++i)
        hidden.append(QStringLiteral("%1.%2 AS %3").arg(sel.TableRef, engine.QuoteName(key.Columns[i]),
                                                        engine.QuoteName(QStringLiteral("quarn$k%1").arg(i))));
    if (!key.RowId.isEmpty())
        hidden.append(QStringLiteral("%1.%2 AS %3").arg(sel.TableRef, key.RowId,
                                                        engine.QuoteName(QStringLiteral("quarn$rowid"))));
    m_hidden = int(hidden.size());
    toRun = sql.left(sel.SelectListStart) + u' ' + hidden.join(QStringLiteral(", ")) + u','
            + sql.mid(sel.SelectListStart);
}

// Which result columns are written back: only a column the engine says is
// a column of the edited table, each table column once. Expressions,
// aggregates, subqueries and other tables' columns are read-only whatever
// they are named.
void TDBDataSet::describeLive(QList<TColumnDesc> &cols)
{
    const QList<TColumnDesc> tableCols = m_database->TableColumns(m_table);
    m_origins.assign(size_t(cols.size()), QString());
    for (int i = 0; i < m_hidden && i < cols.size(); ++i)
        cols[i].Hidden = true;
    m_keyColumns.clear();
    for (int i = 0; i < m_tableKey.Columns.size(); ++i)
        m_keyColumns.push_back(i);
    m_rowIdColumn = m_tableKey.RowId.isEmpty() ? -1 : int(m_tableKey.Columns.size());
    m_keyNames = m_tableKey.Columns.isEmpty() ? QStringList{m_tableKey.RowId} : m_tableKey.Columns;
    if (m_keyColumns.empty())
        m_keyColumns.push_back(m_rowIdColumn);
    for (int i = m_hidden; i < cols.size(); ++i) {
        TColumnDesc &c = cols[i];
        if (c.TableId.isEmpty() || c.TableId != m_tableKey.Identity)
            continue;
        const TColumnDesc *t = nullptr;
        for (const TColumnDesc &x : tableCols)
            if (c.OriginNo > 0 ? x.OriginNo == c.OriginNo : x.Name == c.Origin) {
                t = &x;
                break;
            }
        if (!t || std::find(m_origins.begin(), m_origins.end(), t->Name) != m_origins.end())
            continue;
        m_origins[size_t(i)] = t->Name;
        c.Required = t->Required;
        c.AutoInc = t->AutoInc;
    }
}

void TDBDataSet::InternalOpen()
{
    TDatabase *db = Database();
    db->AttachDataSet(this);
    m_live = false;
    m_table.clear();
    m_tableKey = TTableKey();
    m_keyNames.clear();
    m_keyColumns.clear();
    m_rowIdColumn = -1;
    m_hidden = 0;
    m_origins.clear();
    const QString sql = SelectText();
    QString toRun = sql;
    if (WantsLive())
        prepareLive(sql, toRun);
    RunWatched([&] {
    try {
        OpenStatement(toRun);
    } catch (const EDBEngineError &) {
        if (toRun == sql || TStatementWatch::Stopping())
            throw;
        // the statement does not take the key's columns: read-only, as written
        m_live = false;
        m_hidden = 0;
        OpenStatement(sql);
    }
    });
    QList<TColumnDesc> cols = m_window ? m_window->Columns() : m_source->Columns();
    if (m_live)
        describeLive(cols);
    CreateFields(cols, db->Alias().EnableBCD);
    if (m_live)
        for (int i = 0; i < FieldCount(); ++i)
            if (m_origins[size_t(ColumnOf(Fields(i)))].isEmpty())
                Fields(i)->SetReadOnly(true);   // an expression or another table's column
}

bool TDBDataSet::InternalFetch(QVariant *row)
{
    return m_source && m_source->Fetch(row);
}

TRowWindow *TDBDataSet::InternalWindow(std::vector<QVariant> &first, int &firstCount)
{
    first = std::move(m_firstWindow);
    firstCount = std::exchange(m_firstWindowCount, 0);
    return m_window.get();
}

void TDBDataSet::InternalClose()
{
    m_source.reset();
    m_window.reset();
    m_firstWindow.clear();
}

QVariantList TDBDataSet::RowKey(const QVariant *row) const
{
    QVariantList key;
    for (int c : m_keyColumns)
        key.append(row[c]);
    return key;
}

std::vector<int> TDBDataSet::IdentityColumns() const
{
    // the row number where the table has one: a key may hold NULLs
    if (!m_live)
        return {};
    return m_rowIdColumn >= 0 ? std::vector<int>{m_rowIdColumn} : m_keyColumns;
}

static bool isNull(const QVariant &v)
{
    return !v.isValid() || v.isNull();
}

void TDBDataSet::writeRow(Pending::Kind kind, const QVariant *oldRow, std::vector<QVariant> &row,
                          const std::vector<bool> &assigned)
{
    TDatabase *db = Database();
    const QList<TColumnDesc> &cols = ColumnDescs();
    TRowWrite w;
    w.Kind = kind == Pending::Insert ? TRowWrite::Insert : kind == Pending::Update ? TRowWrite::Update
                                                                                    : TRowWrite::Delete;
    w.Table = m_table;
    w.RowId = m_tableKey.RowId;
    auto value = [&](int c, const QVariant &v) {
        return TRowWrite::TValue{m_origins[size_t(c)], v, cols[c].Type, cols[c].DeclaredType};
    };
    auto written = [&](int c) { return c >= m_hidden && !m_origins[size_t(c)].isEmpty(); };

    // what comes back: the written columns, the key and the row number, as
    // the table holds them now (defaults, triggers, a changed key)
    std::vector<int> back;
    for (int c = m_hidden; c < cols.size(); ++c)
        if (written(c)) {
            w.Returning.append(m_origins[size_t(c)]);
            back.push_back(c);
        }
    for (int k = 0; k < m_tableKey.Columns.size(); ++k) {
        w.Returning.append(m_tableKey.Columns[k]);
        back.push_back(k);
    }
    if (m_rowIdColumn >= 0) {
        w.ReturnRowId = true;
        back.push_back(m_rowIdColumn);
    }

    if (kind != Pending::Insert) {
        // by the key as read; a row whose key holds a NULL (SQLite allows
        // it) by its row number and the old value of every column read
        bool byKey = !m_tableKey.Columns.isEmpty();
        for (int k = 0; byKey && k < m_tableKey.Columns.size(); ++k)
            byKey = !isNull(oldRow[k]);
        if (byKey) {
            for (int k = 0; k < m_tableKey.Columns.size(); ++k)
                w.Key.append({m_tableKey.Columns[k], oldRow[k], cols[k].Type, cols[k].DeclaredType});
            // a changed column still holds what was read: a change made
            // meanwhile by someone else is not written over
            if (kind == Pending::Update)
                for (int c = m_hidden; c < cols.size(); ++c)
                    if (written(c) && assigned[size_t(c)])
                        w.Match.append(value(c, oldRow[c]));
        } else if (m_rowIdColumn >= 0 && !isNull(oldRow[m_rowIdColumn])) {
            w.RowIdValue = oldRow[m_rowIdColumn];
            for (int c = m_hidden; c < cols.size(); ++c)
                if (written(c))
                    w.Match.append(value(c, oldRow[c]));
        } else {
            throw EDBEngineError(DBErrorCode::RecordNotFound,
                                 QStringLiteral("Запись нельзя найти в таблице: у нее нет ключа"));
        }
    }
    if (kind != Pending::Delete)
        for (int c = m_hidden; c < cols.size(); ++c)
            if (written(c) && assigned[size_t(c)])
                w.Set.append(value(c, row[size_t(c)]));
    if (kind == Pending::Update && w.Set.isEmpty())
        return;

    // Exactly one row or nothing: anything else is undone.
    const bool own = !db->InTransaction();
    if (own)
        db->StartTransaction();
    else
        db->Query(QStringLiteral("SAVEPOINT quarn_row"));
    auto undo = [&] {
        try {
            if (own) {
                db->Rollback();
            } else {
                db->Query(QStringLiteral("ROLLBACK TO SAVEPOINT quarn_row"));
                db->Query(QStringLiteral("RELEASE SAVEPOINT quarn_row"));
            }
        } catch (const EDBEngineError &) {
            // a lost connection has undone it already
        }
    };
    QVariantList returned;
    try {
        const int count = db->Engine().WriteRow(*db, w, returned);
        if (count != 1)
            throw EDBEngineError(DBErrorCode::RecordNotFound,
                                 QStringLiteral("Запись изменена или удалена другим пользователем"));
    } catch (...) {
        undo();
        throw;
    }
    if (own)
        db->Commit();
    else
        db->Query(QStringLiteral("RELEASE SAVEPOINT quarn_row"));
    if (kind != Pending::Delete)
        for (size_t i = 0; i < back.size() && i < size_t(returned.size()); ++i)
            row[size_t(back[i])] = returned[qsizetype(i)];
}

void TDBDataSet::InternalPost(bool inserting, const QVariant *oldRow, std::vector<QVariant> &row,
                              const std::vector<bool> &assigned)
{
    const Pending::Kind kind = inserting ? Pending::Insert : Pending::Update;
    if (m_cachedUpdates) {
        Pending p{kind, oldRow ? std::vector<QVariant>(oldRow, oldRow + RowWidth()) : std::vector<QVariant>(),
                  row, assigned};
        m_pending.push_back(std::move(p));
        return;
    }
    writeRow(kind, oldRow, row, assigned);
}

void TDBDataSet::InternalDelete(const QVariant *row)
{
    if (m_cachedUpdates) {
        m_pending.push_back(Pending{Pending::Delete, std::vector<QVariant>(row, row + RowWidth()), {}, {}});
        return;
    }
    std::vector<QVariant> none;
    writeRow(Pending::Delete, row, none, {});
}

void TDBDataSet::ApplyUpdates()
{
    if (m_pending.empty())
        return;
    TDatabase *db = Database();
    const bool own = !db->InTransaction();
    if (own)
        db->StartTransaction();
    try {
        for (Pending &p : m_pending) {
            std::vector<QVariant> row = p.newRow;
            writeRow(p.kind, p.oldRow.empty() ? nullptr : p.oldRow.data(), row, p.assigned);
        }
    } catch (...) {
        if (own)
            db->Rollback();
        throw;
    }
    if (own)
        db->Commit();
}

void TDBDataSet::CancelUpdates()
{
    m_pending.clear();
    if (Active())
        Refresh();
}

// -------------------------------------------------------------------- TQuery

void TQuery::SetSQL(const QStringList &lines)
{
    Close();
    m_sql = lines;
    m_prepared = false;
    parseParams();
}

void TQuery::SetSQLText(const QString &text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    SetSQL(t.isEmpty() ? QStringList() : t.split(u'\n'));
}

void TQuery::InsertFirstLine(const QString &line)
{
    QStringList lines = m_sql;
    lines.prepend(line);
    SetSQL(lines);
}

void TQuery::AddLine(const QString &line)
{
    QStringList lines = m_sql;
    lines.append(line);
    SetSQL(lines);
}

void TQuery::SetParamCheck(bool on)
{
    m_paramCheck = on;
    parseParams();
}

void TQuery::parseParams()
{
    const TParams old = m_params;
    m_params.Clear();
    m_marks.clear();
    if (!m_paramCheck)
        return;
    m_marks = FindSqlParams(SQLText());
    for (const TSqlParamMark &m : m_marks)
        if (!m_params.FindParam(m.Name)) {
            TParam &p = m_params.CreateParam(ftUnknown, m.Name);
            if (TParam *was = old.FindParam(m.Name))
                p.Assign(*was);
            p.SetName(m.Name);
        }
}

QString TQuery::ExpandedSQL()
{
    const QString text = SQLText();
    if (!m_paramCheck || m_marks.isEmpty())
        return text;
    TDatabase *db = Database();
    const TEngine &engine = db->Engine();
    return ReplaceSqlParams(text, m_marks, [&](int i) {
        const QString &name = m_marks[i].Name;
        const TParam &p = m_params.ParamByName(name);
        if (p.IsBound())
            return engine.Literal(p.Value(), p.DataType());
        // a master data source fills parameters left without a value
        if (m_master && m_master->DataSet() && m_master->DataSet()->Active())
            if (TField *f = m_master->DataSet()->FindField(name))
                return engine.Literal(f->Value(), f->DataType());
        throw EDBEngineError(DBErrorCode::NoParamValue,
                             Format(QStringLiteral("Нет значения для параметра '%s'"), {name}));
    });
}

QString TQuery::SelectText()
{
    QString sql = ExpandedSQL();
    TDatabase *db = Database();
    const QString keyword = FirstSqlKeyword(sql);
    static const QStringList reading = {QStringLiteral("SELECT"), QStringLiteral("VALUES"),
                                        QStringLiteral("TABLE"), QStringLiteral("WITH"),
                                        QStringLiteral("SHOW"), QStringLiteral("EXPLAIN"),
                                        QStringLiteral("PRAGMA")};
    if (m_implicitTransaction && !db->InTransaction() && TransactionWord(sql).isEmpty()
        && !reading.contains(keyword))
        db->StartTransaction();
    return sql;
}

void TQuery::ExecSQL()
{
    if (Active())
        Close();
    TDatabase *db = Database();
    const QString sql = SelectText();
    m_rowsAffected = -1;
    const QString word = TransactionWord(sql);
    if (word == u"COMMIT") { db->Commit(); return; }
    if (word == u"ROLLBACK") { db->Rollback(); return; }
    if (word == u"BEGIN") { if (!db->InTransaction()) db->StartTransaction(); return; }
    int affected = -1;
    std::unique_ptr<TRowSource> rows;
    if (!RunWatched([&] { return db->Engine().Run(*db, sql, &rows, affected); }))
        m_rowsAffected = affected;
    const QString keyword = FirstSqlKeyword(sql);
    if (keyword == u"CREATE" || keyword == u"DROP" || keyword == u"ALTER")
        db->FlushSchemaCache();
}

// -------------------------------------------------------------------- TTable

void TTable::SetTableName(const QString &name)
{
    Close();
    m_tableName = name;
}

QString TTable::SelectText()
{
    return QStringLiteral("SELECT * FROM ") + Database()->Engine().QuoteTable(m_tableName);
}

void TTable::EmptyTable()
{
    TDatabase *db = Database();
    db->ExecSQL(QStringLiteral("DELETE FROM ") + db->Engine().QuoteTable(m_tableName));
    if (Active())
        Refresh();
}

// --------------------------------------------------------------- TStoredProc

void TStoredProc::SetDatabase(TDatabase *db)
{
    m_database = db;
    m_databaseName = db ? db->DatabaseName() : QString();
    m_prepared = false;
}

TDatabase *TStoredProc::database()
{
    if (!m_database)
        m_database = Session().OpenDatabase(m_databaseName);
    if (!m_database->Connected())
        m_database->Open();
    return m_database;
}

void TStoredProc::Prepare()
{
    TDatabase *db = database();
    const TParams old = m_params;
    m_params.Clear();
    for (const TParam &p : db->Engine().ProcParams(*db, m_name, m_isProcedure)) {
        TParam &n = m_params.CreateParam(p.DataType(), p.Name(), p.ParamType());
        if (TParam *was = old.FindParam(p.Name()); was && was->IsBound())
            n.SetValue(was->Value());
    }
    m_prepared = true;
}

void TStoredProc::ExecProc()
{
    if (!m_prepared)
        Prepare();
    TDatabase *db = database();
    const QString sql = db->Engine().ProcCall(m_name, m_params, m_isProcedure);
    int affected = -1;
    std::unique_ptr<TRowSource> rows;
    if (!db->Engine().Run(*db, sql, &rows, affected))
        return;
    const QList<TColumnDesc> cols = rows->Columns();
    std::vector<QVariant> row(size_t(cols.size()));
    if (!rows->Fetch(row.data()))
        return;
    std::vector<TParam *> outputs;
    for (int i = 0; i < m_params.Count(); ++i)
        if (m_params.Items(i).ParamType() != ptInput)
            outputs.push_back(&m_params.Items(i));
    for (int c = 0; c < cols.size(); ++c) {
        TParam *p = m_params.FindParam(cols[c].Name);
        if (!p || p->ParamType() == ptInput)
            p = c < int(outputs.size()) ? outputs[size_t(c)] : nullptr;
        if (p)
            p->SetValue(FieldValue::Normalize(row[size_t(c)], p->DataType()));
    }
}
