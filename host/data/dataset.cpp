#include "host/data/dataset.h"

#include "host/data/exceptions.h"
#include "host/data/scopeguard.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

const Value& NullValue()
{
    static const Value null;
    return null;
}

bool IsEditing(TDataSetState s)
{
    return s == TDataSetState::dsEdit || s == TDataSetState::dsInsert;
}

} // namespace

TClientDataSet::TClientDataSet(QString name) : TComponent(std::move(name)) {}

TClientDataSet::~TClientDataSet()
{
    for (TDataSource* source : std::vector<TDataSource*>(m_sources))
        source->DataSetDestroyed();
}

// --- Fields ---------------------------------------------------------------

TField* TClientDataSet::AddField(const QString& name, TFieldType type, int size)
{
    if (Active())
        throw EDatabaseError(
            u"Não é possível criar o campo %1 com o conjunto de dados aberto."_s.arg(name));
    if (m_fieldIndex.contains(name.toUpper()))
        throw EDatabaseError(u"O campo %1 já existe em %2."_s.arg(name, Name()));
    const TFieldDef def{name, type, type == TFieldType::ftString ? size : 0};
    const int index = FieldCount();
    m_fields.push_back(std::make_unique<TField>(this, def, index));
    m_fieldIndex.insert(name.toUpper(), index);
    return m_fields.back().get();
}

TField* TClientDataSet::FindField(const QString& name) const
{
    const auto it = m_fieldIndex.constFind(name.toUpper());
    return it == m_fieldIndex.cend() ? nullptr : m_fields[static_cast<std::size_t>(*it)].get();
}

TField* TClientDataSet::FieldByName(const QString& name) const
{
    TField* field = FindField(name);
    if (!field)
        throw EDatabaseError(u"%1: campo '%2' não encontrado."_s.arg(
            Name().isEmpty() ? u"Conjunto de dados"_s : Name(), name));
    return field;
}

TFieldDefs TClientDataSet::FieldDefs() const
{
    TFieldDefs defs;
    for (const auto& f : m_fields)
        defs << f->Def();
    return defs;
}

// --- Values of the active record --------------------------------------------

const Value& TClientDataSet::ActiveValue(int fieldIndex) const
{
    const auto f = static_cast<std::size_t>(fieldIndex);
    if (m_displayRow >= 0) {
        if (m_displayRow == m_current && IsEditing(m_state))
            return m_buffer[f];
        if (m_displayRow < RecordCount())
            return (*m_rows[static_cast<std::size_t>(m_displayRow)].row)[f];
        return NullValue();
    }
    if (IsEditing(m_state))
        return m_buffer[f];
    if (m_current < 0 || !Active())
        return NullValue();
    return (*m_rows[static_cast<std::size_t>(m_current)].row)[f];
}

void TClientDataSet::SetActiveValue(TField* field, Value value)
{
    if (!IsEditing(m_state))
        throw EDatabaseError(u"%1 não está em modo de edição ou inclusão."_s.arg(Name()));
    if (field->ReadOnly())
        throw EDatabaseError(u"O campo %1 não pode ser modificado."_s.arg(field->DisplayLabel()));
    m_buffer[static_cast<std::size_t>(field->Index())] = std::move(value);
    m_modified = true;
    DataEvent(TDataEvent::deFieldChange, field);
}

TClientDataSet::ActiveRecordScope::ActiveRecordScope(const TClientDataSet& dataSet, int row)
    : m_dataSet(dataSet), m_previous(dataSet.m_displayRow)
{
    m_dataSet.m_displayRow = row;
}

TClientDataSet::ActiveRecordScope::~ActiveRecordScope()
{
    m_dataSet.m_displayRow = m_previous;
}

// --- Notifications -----------------------------------------------------------

void TClientDataSet::Fire(const TDataSetNotifyEvent& event)
{
    if (event)
        event(this);
}

void TClientDataSet::DataEvent(TDataEvent event, TField* field)
{
    if (m_disableCount > 0)
        return;
    for (TDataSource* source : std::vector<TDataSource*>(m_sources))
        source->DataEvent(event, field);
}

void TClientDataSet::SetState(TDataSetState state)
{
    if (m_state == state)
        return;
    m_state = state;
    m_modified = false;
    DataEvent(TDataEvent::deUpdateState);
}

void TClientDataSet::AddDataSource(TDataSource* source)
{
    m_sources.push_back(source);
}

void TClientDataSet::RemoveDataSource(TDataSource* source)
{
    m_sources.erase(std::remove(m_sources.begin(), m_sources.end(), source), m_sources.end());
}

void TClientDataSet::DisableControls()
{
    if (m_disableCount++ == 0)
        m_disableState = m_state;
}

void TClientDataSet::EnableControls()
{
    if (m_disableCount == 0)
        return; // a resume without a suspension changes nothing
    if (--m_disableCount > 0)
        return;
    if (m_disableState != m_state)
        DataEvent(TDataEvent::deUpdateState);
    if (Active())
        DataEvent(TDataEvent::deDataSetChange);
}

void TClientDataSet::CheckActive() const
{
    if (!Active())
        throw EDatabaseError(u"Operação não permitida: %1 está fechado."_s.arg(
            Name().isEmpty() ? u"o conjunto de dados"_s : Name()));
}

// --- Opening and loading ------------------------------------------------------

TRow TClientDataSet::NullRow() const
{
    return std::make_shared<const TRowValues>(m_fields.size());
}

void TClientDataSet::CreateDataSet()
{
    if (m_fields.empty())
        throw EDatabaseError(u"%1 não tem campos definidos."_s.arg(Name()));
    ReplaceContent({});
}

void TClientDataSet::Close()
{
    if (!Active())
        return;
    Fire(BeforeClose);
    m_rows.clear();
    m_log.clear();
    m_logOrder.clear();
    m_buffer.clear();
    m_current = -1;
    m_bof = m_eof = true;
    SetState(TDataSetState::dsInactive);
    Fire(AfterClose);
}

void TClientDataSet::SetData(const TDataPacket& packet)
{
    ValidatePacket(packet);
    const std::size_t width = static_cast<std::size_t>(packet.Fields.size());
    if (m_fields.empty()) {
        // No persistent fields: the packet defines them.
        for (const TFieldDef& def : packet.Fields) {
            const int index = FieldCount();
            m_fields.push_back(std::make_unique<TField>(this, def, index));
            m_fieldIndex.insert(def.Name.toUpper(), index);
        }
    }
    // Bind persistent fields by name; every one must be in the packet with
    // its type, and strings must fit the field.
    std::vector<int> map(m_fields.size());
    bool identity = width == m_fields.size();
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        const TField& field = *m_fields[i];
        const int src = packet.FieldIndex(field.FieldName());
        if (src < 0)
            throw EDatabaseError(
                u"Pacote de dados sem o campo %1 esperado em %2."_s.arg(field.FieldName(), Name()));
        const TFieldDef& def = packet.Fields[src];
        if (def.DataType != field.DataType())
            throw EDatabaseError(u"Pacote de dados: o campo %1 é do tipo %2, esperado %3."_s.arg(
                field.FieldName(), FieldTypeName(def.DataType), FieldTypeName(field.DataType())));
        if (field.DataType() == TFieldType::ftString && def.Size > field.Size()) {
            for (std::size_t r = 0; r < packet.Rows.size(); ++r) {
                if ((*packet.Rows[r])[static_cast<std::size_t>(src)].StringLength() > field.Size())
                    throw EDatabaseError(u"Pacote de dados inválido na linha %1: o campo %2 aceita "
                                         "no máximo %3 caracteres."_s.arg(r + 1)
                                             .arg(field.FieldName())
                                             .arg(field.Size()));
            }
        }
        map[i] = src;
        identity = identity && src == static_cast<int>(i);
    }
    std::vector<Slot> rows;
    rows.reserve(packet.Rows.size());
    quint64 id = 1;
    for (const TRow& row : packet.Rows) {
        if (identity) {
            rows.push_back({row, id++});
        } else {
            auto values = std::make_shared<TRowValues>(m_fields.size());
            for (std::size_t i = 0; i < map.size(); ++i)
                (*values)[i] = (*row)[static_cast<std::size_t>(map[i])];
            rows.push_back({std::move(values), id++});
        }
    }
    ReplaceContent(std::move(rows));
}

void TClientDataSet::SetData(const std::optional<TDataPacket>& packet)
{
    if (packet)
        SetData(*packet);
    else
        Close();
}

void TClientDataSet::ReplaceContent(std::vector<Slot> rows)
{
    const bool wasActive = Active();
    m_rows = std::move(rows);
    m_nextId = m_rows.size() + 1;
    m_log.clear();
    m_logOrder.clear();
    m_buffer.clear();
    Resort();
    m_current = m_rows.empty() ? -1 : 0;
    m_bof = true;
    m_eof = m_rows.empty();
    if (IsEditing(m_state))
        m_state = TDataSetState::dsBrowse; // a pending edit is discarded with the old rows
    SetState(TDataSetState::dsBrowse);
    DataEvent(TDataEvent::deDataSetChange);
    if (!wasActive)
        Fire(AfterOpen);
    // Only a load that leaves the dataset on a row is a change of row.
    if (!m_rows.empty())
        Fire(AfterScroll);
}

TDataPacket TClientDataSet::Data() const
{
    TDataPacket packet;
    packet.Fields = FieldDefs();
    packet.Rows.reserve(m_rows.size());
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (m_state == TDataSetState::dsInsert && static_cast<int>(i) == m_current)
            continue; // a row not yet posted is not data
        packet.Rows.push_back(m_rows[i].row);
    }
    return packet;
}

void TClientDataSet::CopyDataFrom(const TClientDataSet& source)
{
    if (!source.Active())
        throw EDatabaseError(u"%1 está fechado."_s.arg(source.Name()));
    SetData(source.Data());
}

// --- Index ---------------------------------------------------------------------

void TClientDataSet::SetIndexFieldNames(const QString& fieldName)
{
    if (Active())
        CheckBrowseMode();
    if (fieldName.isEmpty()) {
        m_indexField = -1;
        return;
    }
    m_indexField = FieldByName(fieldName)->Index();
    if (Active()) {
        const quint64 id = m_current >= 0 ? m_rows[static_cast<std::size_t>(m_current)].id : 0;
        Resort();
        if (id)
            m_current = FindRow(id, -1);
        DataEvent(TDataEvent::deDataSetChange);
    }
}

QString TClientDataSet::IndexFieldNames() const
{
    return m_indexField < 0 ? QString() : Field(m_indexField)->FieldName();
}

void TClientDataSet::Resort()
{
    if (m_indexField < 0)
        return;
    const auto f = static_cast<std::size_t>(m_indexField);
    const auto less = [f](const Slot& a, const Slot& b) {
        return (*a.row)[f].Compare((*b.row)[f]) < 0;
    };
    if (!std::is_sorted(m_rows.begin(), m_rows.end(), less))
        std::stable_sort(m_rows.begin(), m_rows.end(), less);
}

void TClientDataSet::Reposition(int index)
{
    // Moves the row at index to its place in the index order.
    if (m_indexField < 0)
        return;
    Slot slot = std::move(m_rows[static_cast<std::size_t>(index)]);
    m_rows.erase(m_rows.begin() + index);
    const auto f = static_cast<std::size_t>(m_indexField);
    const Value& key = (*slot.row)[f];
    const auto pos =
        std::upper_bound(m_rows.begin(), m_rows.end(), key,
                         [f](const Value& k, const Slot& s) { return k.Compare((*s.row)[f]) < 0; });
    const int at = static_cast<int>(pos - m_rows.begin());
    m_rows.insert(pos, std::move(slot));
    m_current = at;
}

// --- Navigation -----------------------------------------------------------------

void TClientDataSet::First()
{
    CheckActive();
    CheckBrowseMode();
    Fire(BeforeScroll);
    m_current = m_rows.empty() ? -1 : 0;
    m_bof = true;
    m_eof = m_rows.empty();
    DataEvent(TDataEvent::deDataSetScroll);
    Fire(AfterScroll);
}

void TClientDataSet::Last()
{
    CheckActive();
    CheckBrowseMode();
    Fire(BeforeScroll);
    m_current = RecordCount() - 1;
    m_eof = true;
    m_bof = m_rows.empty();
    DataEvent(TDataEvent::deDataSetScroll);
    Fire(AfterScroll);
}

int TClientDataSet::MoveBy(int distance)
{
    CheckActive();
    CheckBrowseMode();
    Fire(BeforeScroll);
    int moved = 0;
    if ((distance > 0 && !m_eof) || (distance < 0 && !m_bof)) {
        m_bof = m_eof = false;
        const int target = m_current + distance;
        if (target >= RecordCount()) {
            moved = RecordCount() - 1 - m_current;
            m_current = RecordCount() - 1;
            m_eof = true;
        } else if (target < 0) {
            moved = -m_current;
            m_current = m_rows.empty() ? -1 : 0;
            m_bof = true;
        } else {
            moved = distance;
            m_current = target;
        }
        if (m_rows.empty())
            m_bof = m_eof = true;
        DataEvent(TDataEvent::deDataSetScroll);
    }
    Fire(AfterScroll);
    return moved;
}

void TClientDataSet::SetRecNo(int recNo)
{
    CheckActive();
    CheckBrowseMode();
    if (recNo < 1 || recNo > RecordCount())
        return;
    MoveBy(recNo - 1 - m_current);
}

bool TClientDataSet::Locate(const QString& fieldName, const QVariant& value, TLocateOptions options)
{
    CheckActive();
    CheckBrowseMode();
    const TField* field = FieldByName(fieldName);
    const auto f = static_cast<std::size_t>(field->Index());
    const bool caseInsensitive = options & static_cast<int>(TLocateOption::loCaseInsensitive);
    const bool partial = options & static_cast<int>(TLocateOption::loPartialKey);
    int found = -1;
    if (field->DataType() == TFieldType::ftString) {
        const bool null = !value.isValid() || value.isNull();
        const QString key = value.toString();
        const Qt::CaseSensitivity cs = caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive;
        for (int i = 0; i < RecordCount() && found < 0; ++i) {
            const Value& v = (*m_rows[static_cast<std::size_t>(i)].row)[f];
            if (null) {
                if (v.IsNull())
                    found = i;
                continue;
            }
            const QString text = v.ToString();
            if (partial ? text.startsWith(key, cs) : text.compare(key, cs) == 0)
                found = i;
        }
    } else {
        Value key;
        try {
            key = field->Convert(value);
        } catch (const EDatabaseError&) {
            return false; // a key that cannot be this field's value matches no row
        }
        for (int i = 0; i < RecordCount() && found < 0; ++i)
            if ((*m_rows[static_cast<std::size_t>(i)].row)[f] == key)
                found = i;
    }
    if (found < 0)
        return false;
    Fire(BeforeScroll);
    m_current = found;
    m_bof = m_eof = false;
    DataEvent(TDataEvent::deDataSetScroll);
    Fire(AfterScroll);
    return true;
}

// --- Bookmarks ---------------------------------------------------------------------

int TClientDataSet::FindRow(quint64 id, int hint) const
{
    if (hint >= 0 && hint < RecordCount() && m_rows[static_cast<std::size_t>(hint)].id == id)
        return hint;
    for (int i = 0; i < RecordCount(); ++i)
        if (m_rows[static_cast<std::size_t>(i)].id == id)
            return i;
    return -1;
}

TBookmark TClientDataSet::GetBookmark() const
{
    if (!Active() || m_current < 0)
        return {};
    return {m_rows[static_cast<std::size_t>(m_current)].id, m_current};
}

bool TClientDataSet::BookmarkValid(const TBookmark& bookmark) const
{
    return !bookmark.IsNull() && Active() && FindRow(bookmark.Id, bookmark.Hint) >= 0;
}

void TClientDataSet::GotoBookmark(const TBookmark& bookmark)
{
    if (bookmark.IsNull())
        return;
    CheckActive();
    CheckBrowseMode();
    const int row = FindRow(bookmark.Id, bookmark.Hint);
    if (row < 0)
        throw EDatabaseError(u"Registro não encontrado."_s);
    Fire(BeforeScroll);
    m_current = row;
    m_bof = m_eof = false;
    DataEvent(TDataEvent::deDataSetScroll);
    Fire(AfterScroll);
}

// --- Editing --------------------------------------------------------------------------

void TClientDataSet::Edit()
{
    if (IsEditing(m_state))
        return;
    CheckActive();
    if (m_readOnly)
        throw EDatabaseError(u"%1 é somente leitura."_s.arg(Name()));
    if (m_rows.empty()) {
        Insert();
        return;
    }
    Fire(BeforeEdit);
    m_buffer = *m_rows[static_cast<std::size_t>(m_current)].row;
    SetState(TDataSetState::dsEdit);
    DataEvent(TDataEvent::deRecordChange);
    Fire(AfterEdit);
}

void TClientDataSet::BeginInsert(bool append)
{
    CheckActive();
    if (m_readOnly)
        throw EDatabaseError(u"%1 é somente leitura."_s.arg(Name()));
    CheckBrowseMode();
    Fire(BeforeInsert);
    Fire(BeforeScroll);
    const int at = (append || m_current < 0) ? RecordCount() : m_current;
    m_rows.insert(m_rows.begin() + at, Slot{NullRow(), m_nextId++});
    m_current = at;
    m_bof = m_eof = false;
    m_buffer.assign(m_fields.size(), Value());
    SetState(TDataSetState::dsInsert);
    {
        // A new row its handler refuses goes away again.
        TScopeFail refused([this] { Cancel(); });
        Fire(OnNewRecord);
    }
    m_modified = false;
    DataEvent(TDataEvent::deDataSetChange);
    Fire(AfterInsert);
    Fire(AfterScroll);
}

void TClientDataSet::Insert()
{
    BeginInsert(false);
}

void TClientDataSet::Append()
{
    BeginInsert(true);
}

void TClientDataSet::Post()
{
    if (!IsEditing(m_state))
        return;
    UpdateRecord();
    Fire(BeforePost); // an exception here refuses the post: the row stays in edit
    const bool inserting = m_state == TDataSetState::dsInsert;
    Slot& slot = m_rows[static_cast<std::size_t>(m_current)];
    const TRow before = slot.row;
    const bool changed =
        inserting || !std::equal(before->begin(), before->end(), m_buffer.begin(), m_buffer.end(),
                                 [](const Value& a, const Value& b) {
                                     return a.GetKind() == b.GetKind() && a == b;
                                 });
    if (changed) {
        slot.row = std::make_shared<const TRowValues>(m_buffer);
        const quint64 id = slot.id;
        LogChange(id, inserting ? TDeltaRecord::Kind::Insert : TDeltaRecord::Kind::Modify, before);
        // A row edited back to its original values has nothing pending.
        const auto entry = m_log.constFind(id);
        if (entry != m_log.cend() && entry->op == TDeltaRecord::Kind::Modify &&
            *entry->original == *slot.row) {
            m_log.remove(id);
            m_logOrder.erase(std::find(m_logOrder.begin(), m_logOrder.end(), id));
        }
        Reposition(m_current);
    }
    m_buffer.clear();
    SetState(TDataSetState::dsBrowse);
    DataEvent(TDataEvent::deDataSetChange);
    Fire(AfterPost);
}

void TClientDataSet::Cancel()
{
    if (!IsEditing(m_state))
        return;
    DataEvent(TDataEvent::deCheckBrowseMode);
    Fire(BeforeCancel);
    const bool inserting = m_state == TDataSetState::dsInsert;
    if (inserting) {
        Fire(BeforeScroll);
        m_rows.erase(m_rows.begin() + m_current);
        if (m_current >= RecordCount())
            m_current = RecordCount() - 1;
        m_bof = m_current <= 0;
        m_eof = m_rows.empty();
    }
    m_buffer.clear();
    SetState(TDataSetState::dsBrowse);
    DataEvent(TDataEvent::deDataSetChange);
    Fire(AfterCancel);
    if (inserting)
        Fire(AfterScroll);
}

void TClientDataSet::Delete()
{
    CheckActive();
    if (m_state == TDataSetState::dsInsert) {
        Cancel();
        return;
    }
    if (m_rows.empty())
        throw EDatabaseError(u"Não há registro para excluir."_s);
    if (m_readOnly)
        throw EDatabaseError(u"%1 é somente leitura."_s.arg(Name()));
    DataEvent(TDataEvent::deCheckBrowseMode);
    Fire(BeforeDelete);
    Fire(BeforeScroll);
    const Slot slot = m_rows[static_cast<std::size_t>(m_current)];
    const auto entry = m_log.constFind(slot.id);
    const TRow original = (entry != m_log.cend() && entry->original) ? entry->original : slot.row;
    LogChange(slot.id, TDeltaRecord::Kind::Delete, original);
    if (m_log.contains(slot.id))
        m_log[slot.id].original = original;
    m_rows.erase(m_rows.begin() + m_current);
    if (m_current >= RecordCount())
        m_current = RecordCount() - 1;
    m_bof = m_current <= 0;
    m_eof = m_rows.empty();
    m_buffer.clear();
    SetState(TDataSetState::dsBrowse);
    DataEvent(TDataEvent::deDataSetChange);
    Fire(AfterDelete);
    Fire(AfterScroll);
}

void TClientDataSet::UpdateRecord()
{
    if (!IsEditing(m_state))
        return;
    DataEvent(TDataEvent::deUpdateRecord);
}

void TClientDataSet::CheckBrowseMode()
{
    CheckActive();
    DataEvent(TDataEvent::deCheckBrowseMode);
    if (!IsEditing(m_state))
        return;
    UpdateRecord();
    if (m_modified)
        Post();
    else
        Cancel();
}

} // namespace aph
