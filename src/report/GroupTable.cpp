#include "GroupTable.h"

#include "KtReport.h"

#include "common/Format.h"
#include "script/BuiltinFunctions.h"
#include "script/TokenCodes.h"
#include "script/VarList.h"

std::unique_ptr<TReportVar> CopyOfVar(const TReportVar &source)
{
    auto copy = std::make_unique<TReportVar>(source.Name(), nullptr);
    copy->CopyFrom(source);
    copy->SetDescription(source.Description());
    return copy;
}

TReportVar *TGroupVar::Row(int index) const
{
    return index >= 0 && index < RowCount() ? m_rows[size_t(index)].get() : nullptr;
}

void TGroupVar::SetRow(int index, std::unique_ptr<TReportVar> value)
{
    if (index >= 0 && index < RowCount())
        m_rows[size_t(index)] = std::move(value);
}

std::unique_ptr<TReportVar> TGroupVar::TakeRow(int index)
{
    if (index < 0 || index >= RowCount())
        return nullptr;
    return std::move(m_rows[size_t(index)]);
}

void TGroupVar::InsertRow(int index, std::unique_ptr<TReportVar> value)
{
    m_rows.insert(m_rows.begin() + std::clamp(index, 0, RowCount()), std::move(value));
}

int TGroupVar::Find(const TReportVar &key) const
{
    for (int i = 0; i < RowCount(); ++i)
        if (m_rows[size_t(i)] && m_rows[size_t(i)]->Compare(key, tkEqual))
            return i;
    return -1;
}

int TGroupVar::FindKey() const
{
    return Find(*m_source);
}

void TGroupList::Calc()
{
    if (m_columns.empty())
        return;
    TGroupVar &key = *m_columns.front();
    // a printed table starts afresh
    if (key.RowCount() > 0 && !key.Row(0)) {
        for (TGroupVar *c : m_columns)
            c->Clear();
    }
    const int found = key.FindKey();
    if (found < 0) {
        int p = key.RowCount();
        if (m_order != 0) {
            const TReportVar &value = key.Source();
            int lo = 0, hi = key.RowCount() - 1;
            while (lo <= hi) {
                const int mid = (lo + hi) / 2;
                const TReportVar &row = *key.Row(mid);
                if ((m_order > 0 && row.Compare(value, tkLess)) || (m_order < 0 && row.Compare(value, tkGreater))) {
                    lo = mid + 1;
                } else {
                    hi = mid - 1;
                    if (row.Compare(value, tkEqual))
                        lo = mid;
                }
            }
            p = lo;
        }
        for (TGroupVar *c : m_columns)
            c->InsertRow(p, CopyOfVar(c->Source()));
        return;
    }
    for (size_t i = 1; i < m_columns.size(); ++i) {
        TGroupVar &c = *m_columns[i];
        TReportVar *row = c.Row(found);
        if (row && c.Source().VarType() == vtNumber)
            row->Add(c.Source());
        else
            c.SetRow(found, CopyOfVar(c.Source()));
    }
}

// GetGroup(T, Order, V1, ...): a table of the variables' values with V1 as
// its key, each column also a variable named T_V; CalcGroup(T) takes in
// the current values; GetGroupVar(T_V, Key) the column's value in the row
// of that key.
void InstallGroupTableFunctions()
{
    InstallBuiltinFunction(QStringLiteral("GetGroup"), [](TReportHost &host, TParamList &p, TReportVar &) {
        TKtReport &report = TKtReport::Of(host);
        TReportVar &target = *p[0];
        const double order = p[1]->GetAsNumber();
        TGroupList &table = report.AddRunObject(std::make_unique<TGroupList>(order > 0 ? 1 : order < 0 ? -1 : 0));
        for (int i = 2; i < p.Count(); ++i) {
            TReportVar &source = *p[i];
            TGroupVar &column = report.AddRunObject(std::make_unique<TGroupVar>(source, table));
            table.AddColumn(column);
            report.DeclareVar(::Format(QStringLiteral("%s_%s"), {target.Name(), source.Name()}))
                .SetAsObject(&column);
        }
        target.SetAsObject(&table);
    });
    InstallBuiltinFunction(QStringLiteral("CalcGroup"), [](TReportHost &, TParamList &p, TReportVar &) {
        if (auto *table = dynamic_cast<TGroupList *>(p[0]->GetAsObject()))
            table->Calc();
    });
    InstallBuiltinFunction(QStringLiteral("GetGroupVar"), [](TReportHost &, TParamList &p, TReportVar &r) {
        auto *column = dynamic_cast<TGroupVar *>(p[0]->GetAsObject());
        if (!column || column->Table().Columns().empty())
            return;
        const int row = column->Table().Columns().front()->Find(*p[1]);
        if (TReportVar *value = column->Row(row))
            r.Assign(*value);
    });
}

