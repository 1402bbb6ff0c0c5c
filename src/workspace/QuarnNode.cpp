#include "QuarnNode.h"

#include "QuarnForm.h"

#include "common/Format.h"
#include "data/Catalog.h"

#include <QTreeWidget>

void TQuarnNode::Expand(QTreeWidgetItem *)
{
    Loaded = true;
}

void TQuarnDatabaseNode::Expand(QTreeWidgetItem *line)
{
    TDatabase *db = Owner.Database();
    TTableList list;
    list.SetName(QStringLiteral("TableList"));
    list.SetDatabaseName(db->DatabaseName());
    // The engine's own tables (sqlite_master, PostgreSQL's catalogs) and
    // names qualified by an owner (another schema's tables) only with
    // "&Все таблицы".
    const bool allTables = Owner.AllTables();
    list.SetSystemTables(allTables);
    list.SetExtendedInfo(true);
    list.Open();
    for (; !list.Eof(); list.Next()) {
        const QString name = list.FieldByName(QStringLiteral("NAME"))->AsString();
        if (!allTables && name.contains(u'.'))
            continue;
        const QString tableName =
            QuarnText::TableName(name, list.FieldByName(QStringLiteral("EXTENSION"))->AsString());
        const QString viewText =
            list.FieldByName(QStringLiteral("VIEW"))->AsBoolean() ? QStringLiteral("View") : QString();
        Owner.AddNode<TQuarnTableNode>(line, NativeToAnsi(db, QuarnText::TableLine(tableName, viewText)),
                                       NativeToAnsi(db, tableName), true);
    }
    list.Close();
    Loaded = true;
}

void TQuarnTableNode::Expand(QTreeWidgetItem *line)
{
    const QString databaseName = Owner.Database()->DatabaseName();
    TIndexList indexes;
    indexes.SetName(QStringLiteral("IndexList"));
    indexes.SetDatabaseName(databaseName);
    indexes.SetTableName(Name);
    indexes.Open();
    for (; !indexes.Eof(); indexes.Next()) {
        const QString name = indexes.FieldByName(QStringLiteral("NAME"))->AsString();
        Owner.AddNode<TQuarnIndexNode>(
            line, QuarnText::IndexLine(indexes.FieldByName(QStringLiteral("UNIQUE"))->AsBoolean(), name), name,
            false);
    }
    indexes.Close();

    TFieldList fields;
    fields.SetName(QStringLiteral("FieldList"));
    fields.SetDatabaseName(databaseName);
    fields.SetTableName(Name);
    fields.Open();
    auto number = [&fields](const char *column) {
        return int(fields.FieldByName(QLatin1String(column))->AsInteger());
    };
    for (; !fields.Eof(); fields.Next()) {
        const QString name = fields.FieldByName(QStringLiteral("NAME"))->AsString();
        const QString type = QuarnText::FieldTypeText(number("TYPE"), number("SUBTYPE"), number("UNITS1"),
                                                      number("UNITS2"), number("LENGTH"));
        Owner.AddNode<TQuarnFieldNode>(line, QuarnText::FieldLine(name, type), name, false);
    }
    fields.Close();
    Loaded = true;
}

namespace QuarnText {

QString DatabaseLine(const QString &databaseName, const QString &databaseType)
{
    return Format(QStringLiteral("%-16s  Тип: %s"), {databaseName, databaseType});
}

QString TableName(const QString &name, const QString &extension)
{
    return extension.isEmpty() ? name : Format(QStringLiteral("%s.%s"), {name, extension});
}

QString TableLine(const QString &tableName, const QString &viewText)
{
    return viewText.isEmpty() ? tableName : Format(QStringLiteral("%-26s [%s]"), {tableName, viewText});
}

QString IndexLine(bool unique, const QString &name)
{
    const QString prefix = unique ? QStringLiteral("Уникальный ") : QString();
    return Format(QStringLiteral("%sИндекс %s"), {prefix, name});
}

QString FieldLine(const QString &name, const QString &typeText)
{
    return Format(QStringLiteral("Поле %-16s %s"), {name, typeText});
}

QString FieldTypeText(int type, int subType, int units1, int units2, int length)
{
    static const char *const typeNames[] = {
        "Unknown", "String", "Date", "Blob", "Boolean", "Int16", "Int32", "Float64", "Decimal",
        "Bytes", "Time", "DateTime", "UInt16", "UInt32", "Float80", "VarBytes", "LockInfo"};
    static const char *const subTypeNames[] = {
        "Money", "Memo", "Binary", "Formatted Memo", "OLE", "Graphic", "dBase OLE", "User Typed"};
    if (type < 0 || type > 16)
        type = 0;
    const QString name = QLatin1String(typeNames[type]);
    switch (type) {
    case 0:
        return Format(QStringLiteral("%s(%d)"), {name, length});
    case 1: case 9: case 15:
        // a text of any length (TEXT, text) has no length to show
        return type == 1 && units1 <= 0 ? name : Format(QStringLiteral("%s(%d)"), {name, units1});
    case 3: case 7: case 8: case 14: {
        QString text = name;
        if (subType >= 21 && subType <= 28) {
            const QString sub = QLatin1String(subTypeNames[subType - 21]);
            text = Format(QStringLiteral("%s:%s"), {text, sub});
        }
        if (units1 > 1 || units2 != 0)
            text = Format(QStringLiteral("%s(%d,%d)"), {text, units1, units2});
        return text;
    }
    default:
        return name;
    }
}

} // namespace QuarnText
