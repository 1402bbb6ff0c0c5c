#include "Catalog.h"

static TColumnDesc column(const QString &name, TFieldType type, int size = 0)
{
    TColumnDesc c;
    c.Name = name;
    c.Type = type;
    c.Size = c.Precision = size;
    return c;
}

void TDatabaseList::LoadList(QList<TColumnDesc> &columns, QList<QVariantList> &rows)
{
    columns = {column(QStringLiteral("NAME"), ftString, 31), column(QStringLiteral("DBTYPE"), ftString, 31),
               column(QStringLiteral("PHYNAME"), ftString, 260)};
    for (const TAlias &a : Session().Aliases()) {
        QString location;
        try {
            location = TEngine::Create(a.Driver)->PhysicalName(a);
        } catch (const EDBEngineError &) {
            location = a.Database;   // a driver this build does not know
        }
        rows.append({a.Name, a.Type, location});
    }
}

TDatabase *TCatalogDataSet::database()
{
    if (TDatabase *db = Session().FindDatabase(m_databaseName); db && db->Connected())
        return db;
    return Session().OpenDatabase(m_databaseName);
}

void TTableList::LoadList(QList<TColumnDesc> &columns, QList<QVariantList> &rows)
{
    columns = {column(QStringLiteral("NAME"), ftString, 260), column(QStringLiteral("EXTENSION"), ftString, 3),
               column(QStringLiteral("VIEW"), ftBoolean), column(QStringLiteral("DATE"), ftDate),
               column(QStringLiteral("TIME"), ftTime)};
    TDatabase *db = database();
    for (const TTableInfo &t : db->Engine().Tables(*db, m_system, m_extended)) {
        const bool dated = m_extended && t.Modified.isValid();
        rows.append({t.Name, t.Extension, t.View, dated ? QVariant(t.Modified.date()) : QVariant(),
                     dated ? QVariant(t.Modified.time()) : QVariant()});
    }
}

TLogicalType LogicalType(const TColumnDesc &c)
{
    TLogicalType t;
    switch (c.Type) {
    case ftString: t.Type = 1; t.Units1 = c.Size; t.Length = c.Size; break;
    case ftDate: t.Type = 2; t.Length = 4; break;
    case ftMemo: t.Type = 3; t.SubType = 22; break;
    case ftBlob: t.Type = 3; t.SubType = 23; break;
    case ftGraphic: t.Type = 3; t.SubType = 26; break;
    case ftBoolean: t.Type = 4; t.Length = 2; break;
    case ftSmallint: t.Type = 5; t.Length = 2; break;
    case ftInteger: case ftAutoInc:
        if (c.Precision > 10) {   // 64-bit integers read as decimals of 19 digits
            t.Type = 8; t.Units1 = c.Precision; t.Length = 18;
        } else {
            t.Type = 6; t.Length = 4;
        }
        break;
    case ftWord: t.Type = 12; t.Length = 2; break;
    case ftFloat: t.Type = 7; t.Length = 8; break;
    case ftCurrency: t.Type = 7; t.SubType = 21; t.Length = 8; break;
    case ftBCD: t.Type = 8; t.Units1 = c.Precision; t.Units2 = c.Scale; t.Length = 18; break;
    case ftBytes: t.Type = 9; t.Units1 = c.Size; t.Length = c.Size; break;
    case ftVarBytes: t.Type = 15; t.Units1 = c.Size; t.Length = c.Size + 2; break;
    case ftTime: t.Type = 10; t.Length = 4; break;
    case ftDateTime: t.Type = 11; t.Length = 8; break;
    default: t.Type = 0; t.Length = c.Size; break;
    }
    return t;
}

void TFieldList::LoadList(QList<TColumnDesc> &columns, QList<QVariantList> &rows)
{
    columns = {column(QStringLiteral("NAME"), ftString, 31), column(QStringLiteral("TYPE"), ftWord),
               column(QStringLiteral("SUBTYPE"), ftWord), column(QStringLiteral("UNITS1"), ftWord),
               column(QStringLiteral("UNITS2"), ftWord), column(QStringLiteral("LENGTH"), ftWord)};
    TDatabase *db = database();
    for (const TColumnDesc &c : db->Engine().TableColumns(*db, TableName())) {
        const TLogicalType t = LogicalType(c);
        rows.append({c.Name, t.Type, t.SubType, t.Units1 & 0xFFFF, t.Units2 & 0xFFFF, t.Length & 0xFFFF});
    }
}

void TIndexList::LoadList(QList<TColumnDesc> &columns, QList<QVariantList> &rows)
{
    columns = {column(QStringLiteral("NAME"), ftString, 260), column(QStringLiteral("UNIQUE"), ftBoolean)};
    TDatabase *db = database();
    for (const TIndexInfo &i : db->Engine().Indexes(*db, TableName()))
        rows.append({i.Name, i.Unique});
}

TDatabaseDesc::TDatabaseDesc(const QString &aliasName)
{
    const TAlias a = Session().AliasByName(aliasName);
    m_name = a.Name;
    m_description = a.Description;
    m_type = a.Type;
    try {
        m_physicalName = TEngine::Create(a.Driver)->PhysicalName(a);
    } catch (const EDBEngineError &) {
        m_physicalName = a.Database;
    }
}
