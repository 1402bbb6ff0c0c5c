#include "Query.h"

#include "common/Format.h"

#include <algorithm>

static const QString hiddenRowId = QStringLiteral("quarn$rowid");

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
    QStringList key;
    try {
        db->TableColumns(table);
        key = db->PrimaryKey(table);
    } catch (const EDBEngineError &) {
        return;   // not a table we can write to (a view, a function): read-only
    }
    m_table = table;
    m_bareTable = bare;
    m_keyNames = key;
    m_live = true;
    const QString rowId = db->Engine().RowIdColumn();
    if (!rowId.isEmpty())
        toRun = sql.left(sel.SelectListStart) + QStringLiteral(" %1 AS %2,").arg(rowId, db->Engine().QuoteName(hiddenRowId))
                + sql.mid(sel.SelectListStart);
}

void TDBDataSet::InternalOpen()
{
    TDatabase *db = Database();
    db->AttachDataSet(this);
    m_live = false;
    m_table.clear();
    m_keyNames.clear();
    m_keyColumns.clear();
    m_origins.clear();
    const QString sql = SelectText();
    QString toRun = sql;
    if (WantsLive())
        prepareLive(sql, toRun);
    try {
        OpenStatement(toRun);
    } catch (const EDBEngineError &) {
        if (toRun == sql)
            throw;
        // the table has no row identity (WITHOUT ROWID): try as written
        m_live = false;
        OpenStatement(sql);
    }
    QList<TColumnDesc> cols = m_source->Columns();
    if (m_live) {
        const QList<TColumnDesc> tableCols = db->TableColumns(m_table);
        auto tableColumn = [&](const QString &name) -> const TColumnDesc * {
            for (const TColumnDesc &t : tableCols)
                if (t.Name == name)
                    return &t;
            for (const TColumnDesc &t : tableCols)
                if (t.Name.compare(name, Qt::CaseInsensitive) == 0)
                    return &t;
            return nullptr;
        };
        int rowIdColumn = -1;
        m_origins.assign(size_t(cols.size()), QString());
        for (int i = 0; i < cols.size(); ++i) {
            TColumnDesc &c = cols[i];
            if (c.Name == hiddenRowId && i == 0 && toRun != sql) {
                c.Hidden = true;
                rowIdColumn = i;
                continue;
            }
            if (!c.Table.isEmpty() && c.Table.compare(m_bareTable, Qt::CaseInsensitive) != 0)
                continue;   // a column of another table (a subquery)
            const TColumnDesc *t = tableColumn(c.Origin.isEmpty() ? c.Name : c.Origin);
            if (!t)
                continue;   // an expression: read-only
            m_origins[size_t(i)] = t->Name;
            c.Required = t->Required;
            c.AutoInc = t->AutoInc;
        }
        // the key: the primary key when the result has all its columns,
        // else the row identity
        bool haveKey = !m_keyNames.isEmpty();
        std::vector<int> keyCols;
        for (const QString &k : m_keyNames) {
            auto it = std::find(m_origins.begin(), m_origins.end(), k);
            if (it == m_origins.end()) { haveKey = false; break; }
            keyCols.push_back(int(it - m_origins.begin()));
        }
        if (haveKey) {
            m_keyColumns = keyCols;
        } else if (rowIdColumn >= 0) {
            m_keyColumns = {rowIdColumn};
            m_keyNames = {db->Engine().RowIdColumn()};
            m_origins[size_t(rowIdColumn)] = db->Engine().RowIdColumn();
        } else {
            m_live = false;   // no way to find a row again
            m_keyNames.clear();
        }
        if (rowIdColumn >= 0 && haveKey)
            m_origins[size_t(rowIdColumn)] = db->Engine().RowIdColumn();
    }
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

void TDBDataSet::InternalClose()
{
    m_source.reset();
}

QVariantList TDBDataSet::RowKey(const QVariant *row) const
{
    QVariantList key;
    for (int c : m_keyColumns)
        key.append(row[c]);
    return key;
}

QString TDBDataSet::whereKey(const QVariant *oldRow) const
{
    const TEngine &engine = m_database->Engine();
    QStringList parts;
    const QList<TColumnDesc> &cols = ColumnDescs();
    for (int c : m_keyColumns) {
        const QString name = c == 0 && cols[0].Hidden ? m_origins[size_t(c)]
                                                       : engine.QuoteName(m_origins[size_t(c)]);
        const QVariant &v = oldRow[c];
        if (!v.isValid() || v.isNull())
            parts.append(name + QStringLiteral(" IS NULL"));
        else
            parts.append(name + QStringLiteral(" = ") + engine.Literal(v, cols[c].Type));
    }
    return QStringLiteral(" WHERE ") + parts.join(QStringLiteral(" AND "));
}

void TDBDataSet::writeRow(Pending::Kind kind, const QVariant *oldRow, std::vector<QVariant> &row,
                          const std::vector<bool> &assigned)
{
    TDatabase *db = Database();
    const TEngine &engine = db->Engine();
    const QList<TColumnDesc> &cols = ColumnDescs();
    const QString table = engine.QuoteTable(m_table);
    auto columnName = [&](int c) {
        return cols[c].Hidden ? m_origins[size_t(c)] : engine.QuoteName(m_origins[size_t(c)]);
    };
    QStringList returning;
    std::vector<int> returned;
    for (int c = 0; c < cols.size(); ++c)
        if (!m_origins[size_t(c)].isEmpty()) {
            returning.append(columnName(c));
            returned.push_back(c);
        }
    const QString returningText = QStringLiteral(" RETURNING ") + returning.join(QStringLiteral(", "));
    QString sql;
    if (kind == Pending::Delete) {
        sql = QStringLiteral("DELETE FROM ") + table + whereKey(oldRow);
    } else if (kind == Pending::Insert) {
        QStringList names, values;
        for (int c = 0; c < cols.size(); ++c)
            if (assigned[size_t(c)] && !cols[c].Hidden && !m_origins[size_t(c)].isEmpty()) {
                names.append(columnName(c));
                values.append(engine.Literal(row[size_t(c)], cols[c].Type));
            }
        sql = QStringLiteral("INSERT INTO ") + table
              + (names.isEmpty() ? QStringLiteral(" DEFAULT VALUES")
                                 : QStringLiteral(" (%1) VALUES (%2)").arg(names.join(QStringLiteral(", ")),
                                                                          values.join(QStringLiteral(", "))))
              + returningText;
    } else {
        QStringList sets;
        for (int c = 0; c < cols.size(); ++c)
            if (assigned[size_t(c)] && !cols[c].Hidden && !m_origins[size_t(c)].isEmpty())
                sets.append(columnName(c) + QStringLiteral(" = ") + engine.Literal(row[size_t(c)], cols[c].Type));
        if (sets.isEmpty())
            return;
        sql = QStringLiteral("UPDATE ") + table + QStringLiteral(" SET ") + sets.join(QStringLiteral(", "))
              + whereKey(oldRow) + returningText;
    }
    int affected = -1;
    std::unique_ptr<TRowSource> rows;
    const bool gotRows = db->Engine().Run(*db, sql, &rows, affected);
    if (gotRows) {
        std::vector<QVariant> back(size_t(rows->Columns().size()));
        if (!rows->Fetch(back.data()))
            affected = 0;
        else {
            affected = 1;
            if (kind != Pending::Delete)
                for (size_t i = 0; i < returned.size() && i < back.size(); ++i)
                    row[size_t(returned[i])] = back[i];
        }
    }
    if (affected == 0)
        throw EDBEngineError(DBErrorCode::RecordNotFound,
                             QStringLiteral("Запись не найдена или изменена другим пользователем"));
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
    if (!db->Engine().Run(*db, sql, &rows, affected))
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
