// The dataset's change log: what was inserted, modified and deleted since the
// last merge, with the original values, as one delta for the server; and the
// undo of one row's or of every change.
#include "host/data/dataset.h"

#include <algorithm>

namespace aph {

namespace {

bool IsEditing(TDataSetState s)
{
    return s == TDataSetState::dsEdit || s == TDataSetState::dsInsert;
}

} // namespace

void TClientDataSet::LogChange(quint64 id, TDeltaRecord::Kind op, const TRow& before)
{
    if (!m_logChanges)
        return;
    auto it = m_log.find(id);
    if (it == m_log.end()) {
        m_log.insert(id, LogEntry{op, op == TDeltaRecord::Kind::Insert ? TRow() : before});
        m_logOrder.push_back(id);
        return;
    }
    if (op == TDeltaRecord::Kind::Delete) {
        if (it->op == TDeltaRecord::Kind::Insert) {
            // Inserted and deleted before being sent: nothing to send.
            m_log.erase(it);
            m_logOrder.erase(std::find(m_logOrder.begin(), m_logOrder.end(), id));
        } else {
            it->op = TDeltaRecord::Kind::Delete;
        }
    }
    // A further modification keeps the first original values.
}

TDelta TClientDataSet::Delta() const
{
    TDelta delta;
    delta.Fields = FieldDefs();
    for (const quint64 id : m_logOrder) {
        const LogEntry& entry = m_log[id];
        TDeltaRecord rec;
        rec.Op = entry.op;
        if (entry.original)
            rec.Original = *entry.original;
        if (entry.op != TDeltaRecord::Kind::Delete) {
            const int row = FindRow(id, -1);
            if (row < 0)
                continue;
            const TRowValues& now = *m_rows[static_cast<std::size_t>(row)].row;
            for (std::size_t f = 0; f < now.size(); ++f) {
                const bool differs = entry.op == TDeltaRecord::Kind::Insert
                                         ? !now[f].IsNull()
                                         : (now[f].GetKind() != rec.Original[f].GetKind() ||
                                            !(now[f] == rec.Original[f]));
                if (differs)
                    rec.New.emplace_back(static_cast<int>(f), now[f]);
            }
        }
        delta.Records.push_back(std::move(rec));
    }
    return delta;
}

void TClientDataSet::MergeChangeLog()
{
    m_log.clear();
    m_logOrder.clear();
}

bool TClientDataSet::RevertRecord()
{
    CheckActive();
    if (IsEditing(m_state))
        Cancel();
    if (m_current < 0)
        return false;
    const quint64 id = m_rows[static_cast<std::size_t>(m_current)].id;
    const auto it = m_log.find(id);
    if (it == m_log.end())
        return false;
    if (it->op == TDeltaRecord::Kind::Insert) {
        m_rows.erase(m_rows.begin() + m_current);
        if (m_current >= RecordCount())
            m_current = RecordCount() - 1;
    } else {
        m_rows[static_cast<std::size_t>(m_current)].row = it->original;
        Reposition(m_current);
    }
    m_log.erase(it);
    m_logOrder.erase(std::find(m_logOrder.begin(), m_logOrder.end(), id));
    m_bof = m_current <= 0;
    m_eof = m_rows.empty();
    DataEvent(TDataEvent::deDataSetChange);
    return true;
}

void TClientDataSet::CancelUpdates()
{
    CheckActive();
    if (IsEditing(m_state))
        Cancel();
    const quint64 current = m_current >= 0 ? m_rows[static_cast<std::size_t>(m_current)].id : 0;
    for (auto it = m_logOrder.rbegin(); it != m_logOrder.rend(); ++it) {
        const LogEntry& entry = m_log[*it];
        const int row = FindRow(*it, -1);
        switch (entry.op) {
        case TDeltaRecord::Kind::Insert:
            if (row >= 0)
                m_rows.erase(m_rows.begin() + row);
            break;
        case TDeltaRecord::Kind::Modify:
            if (row >= 0)
                m_rows[static_cast<std::size_t>(row)].row = entry.original;
            break;
        case TDeltaRecord::Kind::Delete:
            m_rows.push_back(Slot{entry.original, *it});
            break;
        }
    }
    m_log.clear();
    m_logOrder.clear();
    Resort();
    m_current = current ? FindRow(current, -1) : -1;
    if (m_current < 0 && !m_rows.empty())
        m_current = 0;
    m_bof = m_current <= 0;
    m_eof = m_rows.empty();
    DataEvent(TDataEvent::deDataSetChange);
}

} // namespace aph
