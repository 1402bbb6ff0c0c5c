#pragma once

#include "script/ReportObject.h"

#include <memory>
#include <vector>

class TReportVar;
class TGroupList;

// One column of a group table: the variable that feeds it and its rows, each
// a copy of that variable's value at the time (a slot is empty once it was
// printed).
class TGroupVar : public TReportObject {
public:
    TGroupVar(TReportVar &source, TGroupList &table) : m_source(&source), m_table(&table) {}

    TReportVar &Source() const { return *m_source; }
    TGroupList &Table() const { return *m_table; }
    int RowCount() const { return int(m_rows.size()); }
    // The row value at `index`; none outside the rows or for a printed slot.
    TReportVar *Row(int index) const;
    // Replaces the row at `index` (ignored outside the rows).
    void SetRow(int index, std::unique_ptr<TReportVar> value);
    // Takes the row value out, leaving its slot empty (printing consumes it).
    std::unique_ptr<TReportVar> TakeRow(int index);
    void InsertRow(int index, std::unique_ptr<TReportVar> value);
    void Clear() { m_rows.clear(); }
    // The first row equal to the source's current value, or -1.
    int FindKey() const;
    // The first row equal to `key`, or -1.
    int Find(const TReportVar &key) const;

private:
    TReportVar *m_source;
    TGroupList *m_table;
    std::vector<std::unique_ptr<TReportVar>> m_rows;
};

// An in-memory aggregation table that scripts fill record by record: the
// first column is the key; a new key inserts a row (in key order, or at the
// end), a known key adds the number columns and overwrites the others.
class TGroupList : public TReportObject {
public:
    explicit TGroupList(int order) : m_order(order > 0 ? 1 : order < 0 ? -1 : 0) {}

    int Order() const { return m_order; }
    const std::vector<TGroupVar *> &Columns() const { return m_columns; }
    void AddColumn(TGroupVar &column) { m_columns.push_back(&column); }
    // Takes the current values of the source variables into the table.
    void Calc();

private:
    int m_order;                          // 1 ascending, -1 descending, 0 insertion order
    std::vector<TGroupVar *> m_columns;   // owned by the report's run objects
};

// A copy of a holder's name, description, type and value.
std::unique_ptr<TReportVar> CopyOfVar(const TReportVar &source);

// Installs the group-table built-ins (GetGroup, CalcGroup, GetGroupVar).
void InstallGroupTableFunctions();
