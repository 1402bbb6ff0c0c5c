#include "SearchDBGrid.h"

#include "GridHooks.h"
#include "SearchInput.h"
#include "SearchSql.h"

#include "GridConditions.h"
#include "QueryBuilderModel.h"
#include "data/Query.h"
#include "uisupport/Guard.h"

TSearchDBGrid::TSearchDBGrid(QWidget *parent) : TUDBGrid(parent)
{
    // a repeating timer: while the search is locked it keeps firing and
    // applies the values as soon as the lock is released
    m_searchTimer.setInterval(500);
    connect(&m_searchTimer, &QTimer::timeout, this, [this] { Guarded(this, [this] { searchTimerFired(); }); });
}

TSearchDBGrid::~TSearchDBGrid() = default;

TQuery *TSearchDBGrid::Query() const
{
    return dynamic_cast<TQuery *>(DataSet());
}

bool TSearchDBGrid::SearchLocked() const
{
    return const_cast<TSearchDBGrid *>(this)->Conditions().SearchLocked;
}

void TSearchDBGrid::SearchKeyPress(QChar key)
{
    TDataSet *ds = DataSet();
    if (!SearchInUse() || IsEditing() || !ds || !ds->Active())
        return;
    m_searchTimer.stop();
    const TField *field = SelectedField();
    if (!field)
        return;
    const char kind = SearchKind(ds, field->FieldName());
    if (kind == 'U')
        return;
    QString value = Conditions().SearchValue(field->FieldName());
    if (!ApplySearchKey(value, key, kind))
        return;
    Conditions().SetSearchValue(field->FieldName(), value);
    RepaintTitles();
    m_searchTimer.start();
}

void TSearchDBGrid::searchTimerFired()
{
    if (SearchLocked())
        return;
    m_searchTimer.stop();
    ApplySearch();
}

void TSearchDBGrid::reopenKeepingColumn(const std::function<void(TQuery &)> &reopen)
{
    TQuery *query = Query();
    if (!query)
        return;
    // the reopened query rebuilds the columns: the cursor stays in its column
    struct TRestore {
        TSearchDBGrid *grid;
        int column;
        ~TRestore()
        {
            grid->SetSelectedIndex(column);
            grid->RepaintTitles();
        }
    } restore{this, SelectedIndex()};
    reopen(*query);
}

void TSearchDBGrid::ApplySearch()
{
    reopenKeepingColumn([this](TQuery &q) { ::ApplySearch(q, Conditions()); });
}

void TSearchDBGrid::ToggleMarkedFilter()
{
    reopenKeepingColumn([this](TQuery &q) { ::ToggleMarkedFilter(q, Conditions()); });
}

QList<QPair<QString, bool>> TSearchDBGrid::sortKeys() const
{
    TQuery *query = Query();
    if (!query || !query->Active() || !Conditions().OrderOverridden)
        return {};
    const QString sql = query->SQLText();
    if (sql != m_sortKeysOf) {
        m_sortKeysOf = sql;
        m_sortKeys.clear();
        const TBuilderFields fields = BuilderFieldsOf(*query);
        for (const QString &row : SortRowsFromSql(sql, fields)) {
            const qsizetype comma = row.indexOf(u',');
            m_sortKeys.append({fields.FieldNameOfLabel(row.left(comma)), row.mid(comma + 1).trimmed() == SortDescending});
        }
    }
    return m_sortKeys;
}

int TSearchDBGrid::SortPlace(int column) const
{
    const QList<QPair<QString, bool>> keys = sortKeys();
    if (column < 0)
        return int(keys.size());
    const TField *field = ColumnField(column);
    for (qsizetype i = 0; field && i < keys.size(); ++i)
        if (keys[i].first.compare(field->FieldName(), Qt::CaseInsensitive) == 0)
            return keys[i].second ? -int(i + 1) : int(i + 1);
    return 0;
}

void TSearchDBGrid::TitleClicked(int column, bool add)
{
    TQuery *query = Query();
    const TField *field = ColumnField(column);
    if (!query || !query->Active() || !field || field->FieldKind() != fkData || IsBlobType(field->DataType())
        || field->DataType() == ftBytes || field->DataType() == ftVarBytes)
        return;   // a memo or a blob has no order
    QList<QPair<QString, bool>> keys = sortKeys();
    const int place = SortPlace(column);
    if (add && place)
        keys[std::abs(place) - 1].second = place > 0;   // turned
    else if (add)
        keys.append({field->FieldName(), false});
    else
        keys = {{field->FieldName(), place == 1 && keys.size() == 1}};
    const TBuilderFields fields = BuilderFieldsOf(*query);
    QStringList rows;
    for (const auto &[name, descending] : keys)
        rows << fields.LabelOfFieldName(name) + QStringLiteral(", ") + (descending ? SortDescending : SortAscending);
    const QString order = OrderTextFromSortRows(rows, fields);
    reopenKeepingColumn([&](TQuery &q) {
        QStringList builderRows = Conditions().BuilderRows;
        ::ApplyQueryBuilder(q, Conditions(), builderRows, order, QString(), true);
    });
}

void TSearchDBGrid::ToggleSearchLock()
{
    Conditions().SearchLocked = !Conditions().SearchLocked;
    RepaintTitles();
}

void TSearchDBGrid::SetRepeatInterval(int ms)
{
    ms = std::clamp(ms, 0, 65535);
    if (ms == RepeatInterval())
        return;
    if (ms == 0) {
        m_repeatTimer.reset();
        return;
    }
    if (!m_repeatTimer) {
        m_repeatTimer = std::make_unique<QTimer>();
        connect(m_repeatTimer.get(), &QTimer::timeout, this, [this] {
            m_repeatTimer->stop();
            Conditions().SearchLocked = false;
            Guarded(this, [this] { ApplySearch(); });
            if (m_repeatTimer)
                m_repeatTimer->start();
        });
    }
    m_repeatTimer->setInterval(ms);
    m_repeatTimer->start();
}

int TSearchDBGrid::RepeatInterval() const
{
    return m_repeatTimer ? m_repeatTimer->interval() : 0;
}

QColor TSearchDBGrid::StatusColor() const
{
    auto &c = const_cast<TSearchDBGrid *>(this)->Conditions();
    if (c.SearchLocked)
        return Qt::red;
    if (!c.AppliedChoice.isEmpty())
        return Qt::blue;
    if (!c.BuilderRows.isEmpty())
        return Qt::green;
    return QColor();
}

bool TSearchDBGrid::KeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    const bool ctrl = modifiers & Qt::ControlModifier;
    if (key == Qt::Key_F3) {
        if (ctrl)
            CallHook(ClearStateHook, *this, true, true);
        else if (modifiers & Qt::ShiftModifier)
            CallHook(SaveStateHook, *this);
        else
            CallHook(RestoreStateHook, *this);
        RepaintTitles();
        return true;
    }
    if (key == Qt::Key_F9) {
        if (ctrl)
            CallHook(QueryBuilderHook, *this, true, QString(), QString());
        else if (modifiers & Qt::AltModifier)
            ToggleMarkedFilter();
        else
            ToggleSearchLock();
        RepaintTitles();
        return true;
    }
    return TUDBGrid::KeyDown(key, modifiers);
}
