#include "host/data/datasource.h"

#include "host/data/dataset.h"

#include <algorithm>
#include <utility>

namespace aph {

TDataLink::~TDataLink()
{
    SetDataSource(nullptr);
}

void TDataLink::SetDataSource(TDataSource* dataSource)
{
    if (m_dataSource == dataSource)
        return;
    if (m_dataSource)
        m_dataSource->RemoveLink(this);
    m_dataSource = dataSource;
    if (m_dataSource)
        m_dataSource->AddLink(this);
    const bool active = Active();
    if (active != m_active) {
        m_active = active;
        ActiveChanged();
    }
    m_editing = Editing();
}

TClientDataSet* TDataLink::DataSet() const
{
    return m_dataSource ? m_dataSource->DataSet() : nullptr;
}

bool TDataLink::Active() const
{
    return m_dataSource && m_dataSource->State() != TDataSetState::dsInactive;
}

bool TDataLink::Editing() const
{
    if (!m_dataSource)
        return false;
    const TDataSetState s = m_dataSource->State();
    return s == TDataSetState::dsEdit || s == TDataSetState::dsInsert;
}

void TDataLink::DataEvent(TDataEvent event, TField* field)
{
    switch (event) {
    case TDataEvent::deUpdateState: {
        const bool active = Active();
        if (active != m_active) {
            m_active = active;
            ActiveChanged();
        }
        const bool editing = Editing();
        if (editing != m_editing) {
            m_editing = editing;
            EditingChanged();
        }
        break;
    }
    case TDataEvent::deFieldChange:
        RecordChanged(field);
        break;
    case TDataEvent::deRecordChange:
        RecordChanged(nullptr);
        break;
    case TDataEvent::deDataSetChange:
        DataSetChanged();
        break;
    case TDataEvent::deDataSetScroll:
        DataSetScrolled();
        break;
    case TDataEvent::deLayoutChange:
        LayoutChanged();
        break;
    case TDataEvent::deUpdateRecord:
        UpdateData();
        break;
    case TDataEvent::deCheckBrowseMode:
        CheckBrowseMode();
        break;
    case TDataEvent::deFocusControl:
        FocusControl(field);
        break;
    }
}

TDataSource::TDataSource(QString name) : TComponent(std::move(name)) {}

TDataSource::~TDataSource()
{
    // The owner is going away: its handlers must not run any more.
    OnStateChange = nullptr;
    OnDataChange = nullptr;
    for (TDataLink* link : std::vector<TDataLink*>(m_links))
        link->SetDataSource(nullptr);
    SetDataSet(nullptr);
}

void TDataSource::SetDataSet(TClientDataSet* dataSet)
{
    if (m_dataSet == dataSet)
        return;
    if (m_dataSet)
        m_dataSet->RemoveDataSource(this);
    m_dataSet = dataSet;
    if (m_dataSet)
        m_dataSet->AddDataSource(this);
    UpdateState();
}

void TDataSource::SetEnabled(bool enabled)
{
    m_enabled = enabled;
    UpdateState();
}

void TDataSource::UpdateState()
{
    const TDataSetState state =
        (m_enabled && m_dataSet) ? m_dataSet->State() : TDataSetState::dsInactive;
    if (state == m_state)
        return;
    m_state = state;
    for (TDataLink* link : std::vector<TDataLink*>(m_links))
        link->DataEvent(TDataEvent::deUpdateState, nullptr);
    if (OnStateChange)
        OnStateChange(this);
}

void TDataSource::DataEvent(TDataEvent event, TField* field)
{
    if (event == TDataEvent::deUpdateState) {
        UpdateState();
        return;
    }
    if (m_state == TDataSetState::dsInactive)
        return;
    for (TDataLink* link : std::vector<TDataLink*>(m_links))
        link->DataEvent(event, field);
    if (OnDataChange) {
        if (event == TDataEvent::deFieldChange)
            OnDataChange(this, field);
        else if (event == TDataEvent::deRecordChange || event == TDataEvent::deDataSetChange ||
                 event == TDataEvent::deDataSetScroll || event == TDataEvent::deLayoutChange)
            OnDataChange(this, nullptr);
    }
}

void TDataSource::AddLink(TDataLink* link)
{
    m_links.push_back(link);
}

void TDataSource::RemoveLink(TDataLink* link)
{
    m_links.erase(std::remove(m_links.begin(), m_links.end(), link), m_links.end());
}

void TDataSource::DataSetDestroyed()
{
    // Screens destroy their datasets while being destroyed themselves, so
    // only the controls hear of it, not the screen's handler.
    m_dataSet = nullptr;
    const TNotifyEvent handler = std::exchange(OnStateChange, nullptr);
    UpdateState();
    OnStateChange = handler;
}

} // namespace aph
