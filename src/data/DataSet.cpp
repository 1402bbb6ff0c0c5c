#include "DataSet.h"

#include "common/Format.h"

#include <algorithm>
#include <limits>

static const QVariant nullValue;

TDataSet::TDataSet() = default;

TDataSet::~TDataSet()
{
    for (TDataSource *ds : m_sources)
        ds->m_dataSet = nullptr;
}

void TDataSet::CheckActive() const
{
    if (m_state == dsInactive)
        throw Exception(Format(QStringLiteral("%s: Операция невозможна на закрытом наборе данных"),
                               {m_name}));
}

void TDataSet::CheckBrowseMode()
{
    CheckActive();
    if (m_state != dsEdit && m_state != dsInsert)
        return;
    if (m_modified)
        Post();
    else
        Cancel();
}

void TDataSet::SetUniDirectional(bool on)
{
    if (Active())
        throw Exception(Format(QStringLiteral("%s: Операция невозможна на открытом наборе данных"),
                               {m_name}));
    m_uniDirectional = on;
}

void TDataSet::Open()
{
    if (Active())
        return;
    if (BeforeOpen) BeforeOpen(*this);
    m_store.reset();
    m_current.clear();
    m_currentAt = -1;
    m_cur = -1;
    m_modified = false;
    try {
        InternalOpen();
        makeStore();
    } catch (...) {
        m_store.reset();
        InternalClose();
        DestroyFields();
        throw;
    }
    m_state = dsBrowse;
    m_bof = true;
    m_eof = !m_store->Reach(0);
    if (!m_eof)
        m_cur = 0;
    dataEvent(deUpdateState, nullptr);
    dataEvent(deDataSetChange, nullptr);
    if (AfterOpen) AfterOpen(*this);
}

void TDataSet::makeStore()
{
    const TRowFetch fetch = [this](QVariant *row) { return InternalFetch(row); };
    std::vector<QVariant> first;
    int firstCount = 0;
    TRowWindow *window = m_uniDirectional ? nullptr : InternalWindow(first, firstCount);
    m_windowed = window != nullptr;
    if (m_uniDirectional)
        m_store = std::make_unique<TForwardRows>(m_width, fetch);
    else if (window)
        m_store = std::make_unique<TWindowRows>(m_width, *window, std::move(first), firstCount, IdentityColumns());
    else
        m_store = std::make_unique<TCachedRows>(m_width, fetch);
    if (m_disableCount > 0)
        m_store->Walking(true);
}

void TDataSet::Close()
{
    if (!Active())
        return;
    if (BeforeClose) BeforeClose(*this);
    m_state = dsInactive;
    m_store.reset();
    InternalClose();
    m_current.clear();
    m_current.shrink_to_fit();
    m_currentAt = -1;
    m_buffer.clear();
    m_cur = -1;
    m_eof = m_bof = true;
    DestroyFields();
    dataEvent(deUpdateState, nullptr);
    dataEvent(deDataSetChange, nullptr);
}

void TDataSet::CreateFields(const QList<TColumnDesc> &columns, bool enableBCD)
{
    DestroyFields();
    m_columns = columns;
    m_width = int(columns.size());
    for (int c = 0; c < columns.size(); ++c) {
        const TColumnDesc &d = columns[c];
        if (d.Hidden)
            continue;
        TFieldType type = d.Type;
        if (type == ftBCD && !enableBCD)
            type = ftFloat;
        if (d.AutoInc && (type == ftInteger || type == ftSmallint))
            type = ftAutoInc;
        auto f = CreateField(this, d.Name, type, type == ftString ? d.Size : 0);
        f->m_index = int(m_fields.size());
        f->m_column = c;
        f->m_precision = d.Precision;
        f->m_scale = d.Scale;
        f->m_required = d.Required;
        f->m_exact = d.Type == ftBCD;
        f->m_declaredType = d.DeclaredType;
        m_fields.push_back(std::move(f));
    }
}

void TDataSet::DestroyFields()
{
    m_fields.clear();
    m_columns.clear();
    m_width = 0;
}

int TDataSet::FetchedCount() const
{
    // a one-directional dataset has only the rows it holds at hand
    const qint64 held = m_store ? count() - m_store->FirstHeld() : 0;
    return int(std::min<qint64>(held, std::numeric_limits<int>::max()));
}

bool TDataSet::AllFetched() const
{
    return m_store && m_store->Complete();
}

int TDataSet::FetchUpTo(int wanted)
{
    if (!Active())
        return 0;
    if (!m_store->OneWay() && wanted > 0)
        m_store->Reach(wanted - 1);
    return FetchedCount();
}

void TDataSet::setCurrent(qint64 index, bool notify)
{
    m_cur = index;
    if (notify) {
        dataEvent(deDataSetScroll, nullptr);
        if (AfterScroll) AfterScroll(*this);
    }
}

static Exception oneWayError(const QString &name)
{
    return Exception(Format(QStringLiteral("%s: Операция невозможна на однонаправленном наборе данных"), {name}));
}

void TDataSet::First()
{
    CheckBrowseMode();
    if (m_store->OneWay()) {
        if (m_cur > 0)
            throw oneWayError(m_name);
        m_bof = true;
        m_eof = count() == 0;
        return;
    }
    m_bof = true;
    m_eof = !m_store->Reach(0);
    setCurrent(m_eof ? -1 : 0);
}

void TDataSet::Next()
{
    CheckBrowseMode();
    if (m_eof)
        return;
    if (m_store->Reach(m_cur + 1)) {
        setCurrent(m_cur + 1);
        m_bof = false;
    } else {
        m_eof = true;
    }
}

void TDataSet::Prior()
{
    CheckBrowseMode();
    if (m_store->OneWay())
        throw oneWayError(m_name);
    if (m_cur > 0) {
        setCurrent(m_cur - 1);
        m_eof = false;
    } else {
        m_bof = true;
    }
}

void TDataSet::Last()
{
    CheckBrowseMode();
    if (m_store->OneWay())
        throw oneWayError(m_name);
    m_store->ReachEnd();
    m_eof = true;
    m_bof = count() == 0;
    setCurrent(count() - 1);
}

int TDataSet::MoveBy(int distance)
{
    int moved = 0;
    while (distance > 0 && !m_eof) {
        Next();
        if (!m_eof) { ++moved; --distance; }
    }
    while (distance < 0 && !m_bof) {
        Prior();
        if (!m_bof) { --moved; ++distance; }
    }
    return moved;
}

void TDataSet::MoveTo(int index)
{
    CheckBrowseMode();
    if (index < 0)
        index = 0;
    if (!m_store->Reach(index))
        m_store->ReachEnd();
    if (count() == 0) {
        m_eof = m_bof = true;
        return;
    }
    const qint64 target = std::min<qint64>(index, count() - 1);
    m_bof = m_eof = false;
    if (target != m_cur)
        setCurrent(target);
}

bool TDataSet::IsEmpty() const
{
    return count() == 0 && m_state != dsInsert;
}

int TDataSet::RecNo() const
{
    if (m_state == dsInsert || m_cur < 0)
        return 0;
    return int(m_cur + 1);
}

int TDataSet::RecordCount()
{
    CheckActive();
    if (m_store->OneWay())
        return int(count());
    m_store->ReachEnd();
    return FetchedCount();
}

QVariant TDataSet::RowValue(int index, const TField *field) const
{
    // a one-directional dataset counts the rows it holds from the first
    if (m_store && m_store->OneWay())
        index += int(m_store->FirstHeld());
    if (!field || index < 0 || index >= count())
        return QVariant();
    if (index == m_cur && m_state == dsEdit)
        return m_buffer[size_t(field->m_column)];
    if (index == m_currentAt && m_currentGen == m_store->Generation())
        return m_current[size_t(field->m_column)];
    // a grid paints what it can: a window the engine cannot read now shows
    // empty cells, and the next move says why
    try {
        return m_store->Value(index, field->m_column);
    } catch (const Exception &) {
        return QVariant();
    }
}

const QVariant *TDataSet::CurrentRow() const
{
    if (m_cur < 0 || m_cur >= count())
        return nullptr;
    if (const QVariant *row = m_store->InPlace(m_cur))
        return row;
    if (m_currentAt != m_cur || m_currentGen != m_store->Generation()) {
        m_current.resize(size_t(m_width));
        m_store->Read(m_cur, m_current.data());
        m_currentAt = m_cur;
        m_currentGen = m_store->Generation();
    }
    return m_current.data();
}

const QVariant &TDataSet::CurrentValue(int column) const
{
    const QVariant *row = CurrentValues();
    return row ? row[column] : nullValue;
}

TBookmark TDataSet::GetBookmark() const
{
    if (m_cur < 0 || m_state == dsInsert)
        return {};
    return {m_store->IdOf(m_cur)};
}

bool TDataSet::BookmarkValid(const TBookmark &b) const
{
    return b.IsValid() && Active() && m_store->IndexOfId(b.Id) >= 0;
}

void TDataSet::GotoBookmark(const TBookmark &b)
{
    CheckBrowseMode();
    const qint64 i = b.IsValid() ? m_store->IndexOfId(b.Id) : -1;
    if (i < 0)
        throw Exception(Format(QStringLiteral("%s: Запись не найдена"), {m_name}));
    m_eof = m_bof = false;
    setCurrent(i);
}

TField *TDataSet::FindField(const QString &name) const
{
    for (const auto &f : m_fields)
        if (f->FieldName() == name)
            return f.get();
    for (const auto &f : m_fields)
        if (f->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

TField *TDataSet::FieldByName(const QString &name) const
{
    if (TField *f = FindField(name))
        return f;
    throw Exception(Format(QStringLiteral("%s: Поле '%s' не найдено"), {m_name, name}));
}

QStringList TDataSet::FieldNames() const
{
    QStringList names;
    for (const auto &f : m_fields)
        names.append(f->FieldName());
    return names;
}

void TDataSet::DisableControls()
{
    // a walk through the rows: a windowed store reads on
    if (++m_disableCount == 1 && m_store)
        m_store->Walking(true);
}

void TDataSet::EnableControls()
{
    if (m_disableCount == 0)
        return;
    if (m_disableCount == 1 && m_store)
        m_store->Walking(false);
    if (--m_disableCount == 0 && m_changedWhileDisabled) {
        m_changedWhileDisabled = false;
        dataEvent(deDataSetChange, nullptr);
    }
}

bool TDataSet::CanModify() const
{
    return false;
}

void TDataSet::setState(TDataSetState s)
{
    if (m_state == s)
        return;
    m_state = s;
    dataEvent(deUpdateState, nullptr);
}

void TDataSet::startEdit(TDataSetState s, bool append)
{
    CheckBrowseMode();
    if (!CanModify())
        throw Exception(Format(QStringLiteral("%s: Набор данных нельзя изменять"), {m_name}));
    m_appending = append;
    if (s == dsInsert) {
        if (append && !m_store->OneWay())
            Last();
        m_buffer.assign(size_t(m_width), QVariant());
        m_assigned.assign(size_t(m_width), false);
    } else {
        const QVariant *row = CurrentRow();
        m_buffer.assign(row, row + m_width);
        m_assigned.assign(size_t(m_width), false);
    }
    m_modified = false;
    setState(s);
    if (s == dsInsert && OnNewRecord) OnNewRecord(*this);
    dataEvent(deRecordChange, nullptr);
}

void TDataSet::Append() { startEdit(dsInsert, true); }
void TDataSet::Insert() { startEdit(dsInsert, false); }

void TDataSet::Edit()
{
    if (m_state == dsEdit || m_state == dsInsert)
        return;
    CheckActive();
    if (IsEmpty()) {
        Insert();
        return;
    }
    startEdit(dsEdit, false);
}

void TDataSet::SetFieldValue(TField *field, const QVariant &value)
{
    if (m_state != dsEdit && m_state != dsInsert)
        throw Exception(Format(QStringLiteral("%s: Набор данных не в режиме редактирования"), {m_name}));
    if (field->ReadOnly() || field->FieldKind() != fkData)
        throw Exception(Format(QStringLiteral("Поле '%s' не может быть изменено"), {field->DisplayName()}));
    m_buffer[size_t(field->m_column)] = value;
    m_assigned[size_t(field->m_column)] = true;
    m_modified = true;
    dataEvent(deFieldChange, field);
}

void TDataSet::Post()
{
    if (m_state != dsEdit && m_state != dsInsert)
        return;
    if (BeforePost) BeforePost(*this);
    for (const auto &f : m_fields)
        if (f->Required() && f->FieldKind() == fkData && f->DataType() != ftAutoInc
            && (m_state == dsInsert || m_assigned[size_t(f->m_column)]) && f->IsNull())
            throw Exception(Format(QStringLiteral("Поле '%s' должно иметь значение"), {f->DisplayName()}));
    const bool inserting = m_state == dsInsert;
    if (inserting) {
        InternalPost(true, nullptr, m_buffer, m_assigned);
        const qint64 at = m_appending || m_cur < 0 ? count() : m_cur;
        m_store->Insert(at, m_buffer.data());
        m_cur = at;
        m_eof = m_bof = false;
    } else if (m_modified) {
        const QVariant *old = CurrentRow();
        InternalPost(false, old, m_buffer, m_assigned);
        m_store->Replace(m_cur, old, m_buffer.data());
    }
    m_buffer.clear();
    m_modified = false;
    setState(dsBrowse);
    dataEvent(deRecordChange, nullptr);
    if (AfterPost) AfterPost(*this);
}

void TDataSet::Cancel()
{
    if (m_state != dsEdit && m_state != dsInsert)
        return;
    m_buffer.clear();
    m_modified = false;
    setState(dsBrowse);
    dataEvent(deRecordChange, nullptr);
}

void TDataSet::Delete()
{
    CheckActive();
    if (m_state == dsInsert) {
        Cancel();
        return;
    }
    if (IsEmpty() || m_cur < 0)
        throw Exception(QStringLiteral("Невозможно выполнить эту операцию на пустом наборе данных"));
    if (m_state == dsEdit)
        Cancel();
    if (!CanModify())
        throw Exception(Format(QStringLiteral("%s: Набор данных нельзя изменять"), {m_name}));
    const QVariant *row = CurrentRow();
    InternalDelete(row);
    m_store->Erase(m_cur, row);
    // the row after it takes its place; after the last, the one before
    if (m_cur >= count() && !m_store->Reach(m_cur))
        m_cur = count() - 1;
    m_eof = count() == 0;
    m_bof = m_cur <= 0;
    dataEvent(deDataSetChange, nullptr);
}

void TDataSet::AppendRecord(const QVariantList &values)
{
    Append();
    for (int i = 0; i < values.size() && i < FieldCount(); ++i)
        if (values[i].isValid())
            Fields(i)->SetValue(values[i]);
    Post();
}

void TDataSet::InsertRecord(const QVariantList &values)
{
    Insert();
    for (int i = 0; i < values.size() && i < FieldCount(); ++i)
        if (values[i].isValid())
            Fields(i)->SetValue(values[i]);
    Post();
}

void TDataSet::Refresh()
{
    CheckBrowseMode();
    const qint64 position = std::max<qint64>(m_cur, 0);
    const QVariant *row = CurrentRow();
    const QVariantList key = row ? RowKey(row) : QVariantList();
    DisableControls();
    struct Enabler { TDataSet *d; ~Enabler() { d->EnableControls(); } } enabler{this};
    m_store.reset();
    InternalClose();
    m_state = dsInactive;
    const bool uni = m_uniDirectional;
    auto fieldLooks = std::move(m_fields);   // keep labels, widths and formats
    Open();
    // put the looks back on the fields of the same name
    for (auto &old : fieldLooks)
        if (TField *f = FindField(old->FieldName())) {
            f->m_label = old->m_label;
            f->m_displayWidth = old->m_displayWidth;
            f->m_alignment = old->m_alignment;
            f->m_visible = old->m_visible;
            f->m_readOnly = old->m_readOnly;
            f->m_displayFormat = old->m_displayFormat;
            f->m_editFormat = old->m_editFormat;
            f->m_currency = old->m_currency;
        }
    if (uni || count() == 0)
        return;
    if (!key.isEmpty()) {
        // the same record by its key: anywhere among rows read in order, and
        // near where it was in a window (a result may be of any size)
        const qint64 from = m_windowed ? std::max<qint64>(0, position - TWindowRows::WindowRows) : 0;
        const qint64 to = m_windowed ? position + TWindowRows::WindowRows : std::numeric_limits<qint64>::max();
        std::vector<QVariant> candidate(static_cast<size_t>(m_width));
        for (qint64 i = from; i <= to && m_store->Reach(i); ++i) {
            m_store->Read(i, candidate.data());
            if (RowKey(candidate.data()) == key) {
                m_cur = i;
                m_eof = m_bof = false;
                return;
            }
        }
    }
    FetchUpTo(int(position) + 1);
    m_cur = std::min<qint64>(position, count() - 1);
    m_eof = m_bof = false;
    m_changedWhileDisabled = true;
}

void TDataSet::InternalPost(bool, const QVariant *, std::vector<QVariant> &, const std::vector<bool> &)
{
    throw Exception(Format(QStringLiteral("%s: Набор данных нельзя изменять"), {m_name}));
}

void TDataSet::InternalDelete(const QVariant *)
{
    throw Exception(Format(QStringLiteral("%s: Набор данных нельзя изменять"), {m_name}));
}

QVariantList TDataSet::RowKey(const QVariant *) const
{
    return {};
}

void TDataSet::AddDataSource(TDataSource *ds)
{
    if (std::find(m_sources.begin(), m_sources.end(), ds) == m_sources.end())
        m_sources.push_back(ds);
}

void TDataSet::RemoveDataSource(TDataSource *ds)
{
    m_sources.erase(std::remove(m_sources.begin(), m_sources.end(), ds), m_sources.end());
}

void TDataSet::DataEvent(TDataEvent event, TField *field)
{
    dataEvent(event, field);
}

void TDataSet::dataEvent(TDataEvent e, TField *f)
{
    if (m_disableCount > 0) {
        m_changedWhileDisabled = true;
        return;
    }
    // a link may detach itself while being told
    const std::vector<TDataSource *> sources = m_sources;
    for (TDataSource *ds : sources)
        if (std::find(m_sources.begin(), m_sources.end(), ds) != m_sources.end())
            ds->notify(e, f);
}

TDataSource::TDataSource(TDataSet *dataSet)
{
    SetDataSet(dataSet);
}

TDataSource::~TDataSource()
{
    if (m_dataSet)
        m_dataSet->RemoveDataSource(this);
}

void TDataSource::SetDataSet(TDataSet *ds)
{
    if (m_dataSet == ds)
        return;
    if (m_dataSet)
        m_dataSet->RemoveDataSource(this);
    m_dataSet = ds;
    if (m_dataSet)
        m_dataSet->AddDataSource(this);
    notify(deDataSetChange, nullptr);
}

void TDataSource::SetEnabled(bool on)
{
    m_enabled = on;
    notify(deDataSetChange, nullptr);
}

int TDataSource::AddLink(TLink link)
{
    m_links.emplace_back(m_nextLink, std::move(link));
    return m_nextLink++;
}

void TDataSource::RemoveLink(int id)
{
    m_links.erase(std::remove_if(m_links.begin(), m_links.end(),
                                 [id](const auto &l) { return l.first == id; }),
                  m_links.end());
}

void TDataSource::notify(TDataEvent event, TField *field)
{
    if (!m_enabled)
        return;
    if (event == deUpdateState) {
        if (OnStateChange) OnStateChange();
    } else if (OnDataChange && event != deLayoutChange) {
        OnDataChange(event == deFieldChange ? field : nullptr);
    }
    const auto links = m_links;
    for (const auto &l : links)
        l.second(event, field);
}

void TListDataSet::InternalOpen()
{
    QList<TColumnDesc> columns;
    m_list.clear();
    LoadList(columns, m_list);
    m_next = 0;
    CreateFields(columns);
}

bool TListDataSet::InternalFetch(QVariant *row)
{
    if (m_next >= m_list.size())
        return false;
    const QVariantList &r = m_list[m_next++];
    for (int i = 0; i < RowWidth() && i < r.size(); ++i)
        row[i] = r[i];
    return true;
}
