#include "GridExport.h"

#include "common/Exceptions.h"
#include "data/Query.h"

namespace {

// Whether a statement only reads, so that running it once more changes
// nothing: a SELECT, VALUES or TABLE (WITH too) naming no statement that
// writes. Anything else (a DELETE ... RETURNING shown by the SQL editor, a
// PRAGMA) is not run again: its rows are walked where they are.
bool onlyReads(const QString &sql, TSqlDialect dialect)
{
    static const QStringList reading = {QStringLiteral("SELECT"), QStringLiteral("VALUES"),
                                        QStringLiteral("TABLE"), QStringLiteral("WITH")};
    if (!reading.contains(FirstSqlKeyword(sql)))
        return false;
    static const QStringList writing = {QStringLiteral("INSERT"), QStringLiteral("UPDATE"),
                                        QStringLiteral("DELETE"), QStringLiteral("MERGE"),
                                        QStringLiteral("INTO"), QStringLiteral("REPLACE")};
    for (const QString &word : SqlWords(sql, dialect))
        if (writing.contains(word))
            return false;
    return true;
}

// The shown dataset's statement on a query of its own, forward only; null
// when it is not to be run again.
std::unique_ptr<TQuery> queryAgain(TDataSet &shown)
{
    auto *source = dynamic_cast<TDBDataSet *>(&shown);
    if (!source || source->UpdatesPending())
        return nullptr;
    TDatabase *db = source->Database();
    auto query = std::make_unique<TQuery>();
    query->SetName(shown.Name());
    if (auto *q = dynamic_cast<TQuery *>(source)) {
        if (!onlyReads(q->SQLText(), db->Engine().Dialect()))
            return nullptr;
        query->SetParamCheck(q->ParamCheck());
        query->SetSQL(q->SQL());
        query->Params().Assign(q->Params());
        query->SetDataSource(q->DataSource());
    } else if (auto *t = dynamic_cast<TTable *>(source)) {
        query->SetParamCheck(false);
        query->SetSQLText(QStringLiteral("SELECT * FROM ") + db->Engine().QuoteTable(t->TableName()));
    } else {
        return nullptr;
    }
    query->SetDatabase(db);
    query->SetUniDirectional(true);
    query->Open();
    return query;
}

} // namespace

QString TExportColumn::Text(const QVariant &value) const
{
    if (!Field)
        return QString();
    QString text;
    switch (Field->DataType()) {
    case ftMemo:
        text = Field->AsStringOf(value);
        break;
    case ftBlob: case ftGraphic: case ftBytes: case ftVarBytes:
        break;
    default:
        text = Field->DisplayTextOf(value);
        break;
    }
    return DisplayMap ? DisplayMap(text) : text;
}

// ---------------------------------------------------------------- rows

TExportRows::TExportRows(TDataSet &shown) : m_shown(shown)
{
    shown.CheckActive();
    shown.CheckBrowseMode();
    m_query = queryAgain(shown);
    if (m_query) {
        for (int i = 0; i < shown.FieldCount(); ++i) {
            const QString &name = shown.Fields(i)->FieldName();
            // the same statement gives the same columns in the same order;
            // by name only should they differ
            TField *own = i < m_query->FieldCount() && m_query->Fields(i)->FieldName() == name
                              ? m_query->Fields(i)
                              : m_query->FindField(name);
            m_fields.push_back(own);
        }
        return;
    }
    m_row = shown.CurrentIndex();
    shown.DisableControls();
}

TExportRows::~TExportRows()
{
    if (m_query)
        return;
    try {
        if (m_shown.Active() && m_row >= 0)
            m_shown.MoveTo(m_row);
    } catch (const Exception &) {
    }
    m_shown.EnableControls();
}

bool TExportRows::Next()
{
    TDataSet &rows = m_query ? static_cast<TDataSet &>(*m_query) : m_shown;
    if (!m_started) {
        m_started = true;
        if (!m_query)
            rows.First();
    } else {
        rows.Next();
    }
    return !rows.Eof();
}

QVariant TExportRows::Value(const TField *shownField) const
{
    if (!m_query)
        return shownField->Value();
    const TField *own = m_fields.at(size_t(shownField->Index()));
    return own ? own->Value() : QVariant();
}

// ---------------------------------------------------------------- CSV

qint64 ExportCsv(TDataSet &shown, const QList<TExportColumn> &columns, const QString &path,
                 const TCsvFormat &format, const TExportProgress &progress)
{
    TExportRows rows(shown);
    TCsvWriter writer(path, format);
    QStringList fields;
    for (const TExportColumn &c : columns)
        fields.append(c.Title);
    writer.Write(fields);
    qint64 count = 0;
    while (rows.Next()) {
        fields.clear();
        for (const TExportColumn &c : columns)
            fields.append(c.Field ? c.Text(rows.Value(c.Field)) : QString());
        writer.Write(fields);
        if (++count % 512 == 0 && progress)
            progress(count);
    }
    writer.Commit();
    return count;
}
