#include "DataSet.h"

#include "common/Format.h"

#include <algorithm>

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
    m_rows.clear();
    m_cache.Reset(0);
    m_spare.clear();
    m_ids.clear();
    m_cur = -1;
    m_uniPassed = 0;
    m_exhausted = false;
    m_modified = false;
    try {
        InternalOpen();
    } catch (...) {
        InternalClose();
        DestroyFields();
        throw;
    }
    m_cache.Reset(m_width);
    m_state = dsBrowse;
    m_bof = true;
    m_eof = !fetchOne();
    if (!m_eof)
        m_cur = 0;
    dataEvent(deUpdateState, nullptr);
    dataEvent(deDataSetChange, nullptr);
    if (AfterOpen) AfterOpen(*this);
}

void TDataSet::Close()
{
    if (!Active())
        return;
    if (BeforeClose) BeforeClose(*this);
    m_state = dsInactive;
    InternalClose();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_cache.Reset(0);
    m_current.clear();
    m_current.shrink_to_fit();
    m_currentAt = -1;
    m_spare.clear();
    m_ids.clear();
    m_ids.shrink_to_fit();
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

bool TDataSet::fetchOne()
{
    if (m_exhausted)
        return false;
    if (m_uniDirectional && !m_ids.empty()) {
        // keep only the current row; at the end the last one stays current
        std::vector<QVariant> &next = m_spare;
        next.resize(size_t(m_width));
        bool got = false;
        try {
            got = InternalFetch(next.data());
        } catch (...) {
            m_exhausted = true;
            throw;
        }
        if (!got) {
            m_exhausted = true;
            return false;
        }
        m_uniPassed += qint64(m_ids.size());
        m_rows.swap(next);
        m_ids.assign(1, m_nextId++);
        return true;
    }
    if (m_uniDirectional) {
        // the first row of a one-directional dataset
        const size_t base = m_rows.size();
        m_rows.resize(base + size_t(m_width));
        bool got = false;
        try {
            got = InternalFetch(m_rows.data() + base);
        } catch (...) {
            m_rows.resize(base);
            m_exhausted = true;
            throw;
        }
        if (!got) {
            m_rows.resize(base);
            m_exhausted = true;
            return false;
        }
        m_ids.push_back(m_nextId++);
        return true;
    }
    // a scrollable dataset reads into a row of empty values and packs it
    m_spare.resize(size_t(m_width));
    struct Emptier {
        std::vector<QVariant> &row;
        ~Emptier() { for (QVariant &v : row) v.clear(); }
    } emptier{m_spare};
    bool got = false;
    try {
        got = InternalFetch(m_spare.data());
    } catch (...) {
        m_exhausted = true;
        throw;
    }
    if (!got) {
        m_exhausted = true;
        return false;
    }
    m_cache.Append(m_spare.data());
    m_ids.push_back(m_nextId++);
    return true;
}

void TDataSet::fetchAll()
{
    if (m_uniDirectional)
        return;
    while (fetchOne()) {}
}

int TDataSet::FetchUpTo(int count)
{
    if (!Active())
        return 0;
    while (!m_uniDirectional && qint64(m_ids.size()) < count && fetchOne()) {}
    return int(m_ids.size());
}

void TDataSet::setCurrent(qint64 index, bool notify)
{
    m_cur = index;
    if (notify) {
        dataEvent(deDataSetScroll, nullptr);
        if (AfterScroll) AfterScroll(*this);
    }
}

void TDataSet::First()
{
    CheckBrowseMode();
    if (m_uniDirectional) {
        if (m_uniPassed > 0)
            throw Exception(Format(QStringLiteral("%s: Операция невозможна на однонаправленном наборе данных"),
                                   {m_name}));
        m_bof = true;
        m_eof = m_ids.empty();
        return;
    }
    m_bof = true;
    m_eof = m_ids.empty() && !fetchOne();
    setCurrent(m_eof ? -1 : 0);
}

void TDataSet::Next()
{
    CheckBrowseMode();
    if (m_eof)
        return;
    if (m_cur + 1 < qint64(m_ids.size()) || fetchOne()) {
        setCurrent(m_uniDirectional ? 0 : m_cur + 1);
        m_bof = false;
    } else {
        m_eof = true;
    }
}

void TDataSet::Prior()
{
    CheckBrowseMode();
    if (m_uniDirectional)
        throw Exception(Format(QStringLiteral("%s: Операция невозможна на однонаправленном наборе данных"),
                               {m_name}));
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
    if (m_uniDirectional)
        throw Exception(Format(QStringLiteral("%s: Операция невозможна на однонаправленном наборе данных"),
                               {m_name}));
    fetchAll();
    m_eof = true;
    m_bof = m_ids.empty();
    setCurrent(qint64(m_ids.size()) - 1);
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
    FetchUpTo(index + 1);
    if (m_ids.empty()) {
        m_eof = m_bof = true;
        return;
    }
    const qint64 target = std::min<qint64>(index, qint64(m_ids.size()) - 1);
    m_bof = m_eof = false;
    if (target != m_cur)
        setCurrent(target);
}

bool TDataSet::IsEmpty() const
{
    return m_ids.empty() && m_state != dsInsert;
}

int TDataSet::RecNo() const
{
    if (m_state == dsInsert || m_cur < 0)
        return 0;
    return int(m_uniPassed + m_cur + 1);
}

int TDataSet::RecordCount()
{
    CheckActive();
    fetchAll();
    return int(m_uniPassed + qint64(m_ids.size()));
}

QVariant TDataSet::RowValue(int index, const TField *field) const
{
    if (!field || index < 0 || index >= int(m_ids.size()))
        return QVariant();
    if (index == m_cur && m_state == dsEdit)
        return m_buffer[size_t(field->m_column)];
    if (m_uniDirectional)
        return m_rows[size_t(index) * size_t(m_width) + size_t(field->m_column)];
    if (index == m_currentAt && m_currentGen == m_cache.Generation())
        return m_current[size_t(field->m_column)];
    return m_cache.Value(index, field->m_column);
}

const QVariant *TDataSet::CurrentRow() const
{
    if (m_cur < 0 || m_cur >= qint64(m_ids.size()))
        return nullptr;
    if (m_uniDirectional)
        return m_rows.data() + size_t(m_cur) * size_t(m_width);
    if (m_currentAt != m_cur || m_currentGen != m_cache.Generation()) {
        m_current.resize(size_t(m_width));
        m_cache.Read(m_cur, m_current.data());
        m_currentAt = m_cur;
        m_currentGen = m_cache.Generation();
    }
    return m_current.data();
}

const QVariant &TDataSet::CurrentValue(int column) const
{
    const QVariant *row = CurrentValues();
    return row ? row[column] : nullValue;
}

qint64 TDataSet::indexOfId(qint64 id) const
{
    // ids ascend except where records were inserted; try a binary search first
    auto it = std::lower_bound(m_ids.begin(), m_ids.end(), id);
    if (it != m_ids.end() && *it == id)
        return it - m_ids.begin();
    auto lin = std::find(m_ids.begin(), m_ids.end(), id);
    return lin == m_ids.end() ? -1 : lin - m_ids.begin();
}

TBookmark TDataSet::GetBookmark() const
{
    if (m_cur < 0 || m_state == dsInsert)
        return {};
    return {m_ids[size_t(m_cur)]};
}

bool TDataSet::BookmarkValid(const TBookmark &b) const
{
    return b.IsValid() && Active() && indexOfId(b.Id) >= 0;
}

void TDataSet::GotoBookmark(const TBookmark &b)
{
    CheckBrowseMode();
    const qint64 i = b.IsValid() ? indexOfId(b.Id) : -1;
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
    ++m_disableCount;
}

void TDataSet::EnableControls()
{
    if (m_disableCount == 0)
        return;
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
        if (append && !m_uniDirectional)
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
        qint64 at = m_appending || m_cur < 0 ? qint64(m_ids.size()) : m_cur;
        if (m_uniDirectional)
            m_rows.insert(m_rows.begin() + at * m_width, m_buffer.begin(), m_buffer.end());
        else
            m_cache.Insert(at, m_buffer.data());
        m_ids.insert(m_ids.begin() + at, m_nextId++);
        m_cur = at;
        m_eof = m_bof = false;
    } else {
        if (m_modified) {
            const QVariant *old = CurrentRow();
            InternalPost(false, old, m_buffer, m_assigned);
            if (m_uniDirectional)
                std::copy(m_buffer.begin(), m_buffer.end(), m_rows.begin() + m_cur * m_width);
            else
                m_cache.Replace(m_cur, m_buffer.data());
        }
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
    InternalDelete(CurrentRow());
    if (m_uniDirectional)
        m_rows.erase(m_rows.begin() + m_cur * m_width, m_rows.begin() + (m_cur + 1) * m_width);
    else
        m_cache.Erase(m_cur);
    m_ids.erase(m_ids.begin() + m_cur);
    if (m_cur >= qint64(m_ids.size())) {
        // the last read row went: read on, or stay at the new last one
        if (!fetchOne())
            m_cur = qint64(m_ids.size()) - 1;
    }
    m_eof = m_ids.empty();
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
    const qint64 position = m_uniPassed + std::max<qint64>(m_cur, 0);
    const QVariant *row = CurrentRow();
    const QVariantList key = row ? RowKey(row) : QVariantList();
    DisableControls();
    struct Enabler { TDataSet *d; ~Enabler() { d->EnableControls(); } } enabler{this};
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
    if (uni || m_ids.empty())
        return;
    if (!key.isEmpty()) {
        std::vector<QVariant> candidate(static_cast<size_t>(m_width));
        for (qint64 i = 0;; ++i) {
            if (i >= qint64(m_ids.size()) && !fetchOne())
                break;
            m_cache.Read(i, candidate.data());
            if (RowKey(candidate.data()) == key) {
                m_cur = i;
                m_eof = m_bof = false;
                return;
            }
        }
    }
    FetchUpTo(int(position) + 1);
    m_cur = std::min<qint64>(position, qint64(m_ids.size()) - 1);
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
