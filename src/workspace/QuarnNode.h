#pragma once

#include <QString>

class QTreeWidgetItem;
class TQuarnForm;

// A line of the schema browser's tree: the object behind it. The browser
// owns every node in one owning list; the tree owns the lines.
class TQuarnNode {
public:
    TQuarnNode(TQuarnForm &owner, QTreeWidgetItem *line, const QString &name)
        : Owner(owner), Line(line), Name(name) {}
    virtual ~TQuarnNode() = default;
    TQuarnNode(const TQuarnNode &) = delete;
    TQuarnNode &operator=(const TQuarnNode &) = delete;

    // Loads the node's children under `line` (its own line). The base
    // version has none to load.
    virtual void Expand(QTreeWidgetItem *line);

    TQuarnForm &Owner;
    QTreeWidgetItem *const Line;
    // The engine's name of the object: for further catalog calls and for
    // the SQL editor.
    const QString Name;
    bool Loaded = false;
};

// The root: the database. Its children are the tables.
class TQuarnDatabaseNode : public TQuarnNode {
public:
    using TQuarnNode::TQuarnNode;
    void Expand(QTreeWidgetItem *line) override;
};

// A table (or view). Its children are its indexes, then its fields.
class TQuarnTableNode : public TQuarnNode {
public:
    using TQuarnNode::TQuarnNode;
    void Expand(QTreeWidgetItem *line) override;
};

class TQuarnFieldNode : public TQuarnNode {
public:
    using TQuarnNode::TQuarnNode;
};

class TQuarnIndexNode : public TQuarnNode {
public:
    using TQuarnNode::TQuarnNode;
};

// The texts of the tree's lines.
namespace QuarnText {
// "%-16s  Тип: %s"
QString DatabaseLine(const QString &databaseName, const QString &databaseType);
// The table's name: NAME, or NAME.EXTENSION with an extension.
QString TableName(const QString &name, const QString &extension);
// "%-26s [%s]" with the displayed VIEW value when there is one, else the
// table name alone.
QString TableLine(const QString &tableName, const QString &viewText);
// "%sИндекс %s": "Уникальный " for a unique index.
QString IndexLine(bool unique, const QString &name);
// "Поле %-16s %s" with the type text.
QString FieldLine(const QString &name, const QString &typeText);
// The type text of a field from the logical type codes of the catalog:
// String(30), Float64:Money, Decimal(15,2), Unknown(8), ...
QString FieldTypeText(int type, int subType, int units1, int units2, int length);
} // namespace QuarnText
