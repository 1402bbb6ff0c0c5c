#pragma once

#include "DataSet.h"
#include "Database.h"

// The aliases: NAME (31), DBTYPE (31), PHYNAME (260).
class TDatabaseList : public TListDataSet {
protected:
    void LoadList(QList<TColumnDesc> &columns, QList<QVariantList> &rows) override;
};

// Lists of a database: bound to a database by name.
class TCatalogDataSet : public TListDataSet {
public:
    const QString &DatabaseName() const { return m_databaseName; }
    void SetDatabaseName(const QString &name) { Close(); m_databaseName = name; }

protected:
    TDatabase *database();

private:
    QString m_databaseName;
};

// The tables of a database: NAME (260), EXTENSION (3), VIEW (Boolean,
// shown as "View" or nothing), DATE, TIME. Without SystemTables the
// engine's own tables are left out; without ExtendedInfo DATE and TIME stay
// empty. Tables outside the default schema are named "schema.table".
class TTableList : public TCatalogDataSet {
public:
    bool SystemTables() const { return m_system; }
    void SetSystemTables(bool on) { Close(); m_system = on; }
    bool ExtendedInfo() const { return m_extended; }
    void SetExtendedInfo(bool on) { Close(); m_extended = on; }

protected:
    void LoadList(QList<TColumnDesc> &columns, QList<QVariantList> &rows) override;

private:
    bool m_system = false;
    bool m_extended = false;
};

// The per-table lists: a database and a table name.
class TTableItems : public TCatalogDataSet {
public:
    const QString &TableName() const { return m_tableName; }
    void SetTableName(const QString &name) { Close(); m_tableName = name; }

private:
    QString m_tableName;
};

// The fields of a table: NAME (31), TYPE, SUBTYPE, UNITS1, UNITS2, LENGTH.
// TYPE and SUBTYPE are the logical type codes:
//   0 Unknown 1 String 2 Date 3 Blob 4 Boolean 5 Int16 6 Int32 7 Float64
//   8 Decimal 9 Bytes 10 Time 11 DateTime 12 UInt16 13 UInt32 14 Float80
//   15 VarBytes 16 LockInfo; subtypes 21 Money 22 Memo 23 Binary
//   24 Formatted Memo 25 OLE 26 Graphic 27 dBase OLE 28 User Typed.
// UNITS1 is the length of a string or the digits of a decimal, UNITS2 its
// decimals; LENGTH the size of the value in bytes.
class TFieldList : public TTableItems {
protected:
    void LoadList(QList<TColumnDesc> &columns, QList<QVariantList> &rows) override;
};

// The indexes of a table: NAME (260), UNIQUE (Boolean).
class TIndexList : public TTableItems {
protected:
    void LoadList(QList<TColumnDesc> &columns, QList<QVariantList> &rows) override;
};

// The logical type, subtype, units and length of a column.
struct TLogicalType {
    int Type = 0, SubType = 0, Units1 = 0, Units2 = 0, Length = 0;
};
TLogicalType LogicalType(const TColumnDesc &column);

// The description of one alias; raises an engine error for an unknown one.
class TDatabaseDesc {
public:
    explicit TDatabaseDesc(const QString &aliasName);
    const QString &Name() const { return m_name; }
    const QString &Description() const { return m_description; }
    const QString &PhysicalName() const { return m_physicalName; }
    const QString &DatabaseType() const { return m_type; }

private:
    QString m_name, m_description, m_physicalName, m_type;
};

// A text of the database's character set in the program's. The engines
// deliver Unicode already, so the text comes back unchanged.
inline QString NativeToAnsi(TDatabase *, const QString &text) { return text; }
