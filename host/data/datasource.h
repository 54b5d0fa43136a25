#pragma once

#include "host/data/component.h"

#include <functional>
#include <vector>

namespace aph {

class TClientDataSet;
class TDataSource;
class TField;

enum class TDataSetState
{
    dsInactive,
    dsBrowse,
    dsEdit,
    dsInsert
};

// What a dataset tells its data sources, and they their controls.
enum class TDataEvent
{
    deFieldChange,     // a field of the active record changed (field given)
    deRecordChange,    // the active record changed as a whole
    deDataSetChange,   // rows or order changed: show everything again
    deDataSetScroll,   // the current row moved
    deLayoutChange,    // fields or their presentation changed
    deUpdateRecord,    // controls must store pending edits into the fields now
    deUpdateState,     // the dataset's state changed
    deCheckBrowseMode, // the record is about to be posted or cancelled
    deFocusControl     // move to the control of a field (field given)
};

// A control's connection to a data source. Grids and labels derive from it
// and hear of the dataset through these calls only.
class TDataLink
{
public:
    TDataLink() = default;
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;
    virtual ~TDataLink();

    TDataSource* DataSource() const { return m_dataSource; }
    void SetDataSource(TDataSource* dataSource);
    TClientDataSet* DataSet() const;
    bool Active() const;
    bool Editing() const;

protected:
    virtual void ActiveChanged() {}
    virtual void EditingChanged() {}
    virtual void DataSetChanged() {}
    virtual void DataSetScrolled() {}
    virtual void RecordChanged(TField* /*field*/) {}
    virtual void LayoutChanged() {}
    virtual void UpdateData() {}
    virtual void CheckBrowseMode() {}
    virtual void FocusControl(TField* /*field*/) {}

private:
    friend class TDataSource;
    void DataEvent(TDataEvent event, TField* field);

    TDataSource* m_dataSource = nullptr;
    bool m_active = false;
    bool m_editing = false;
};

// Binds one dataset to controls and reports each change of its state to
// OnStateChange, which a screen may detach (set empty) and attach again.
class TDataSource : public TComponent
{
public:
    using TNotifyEvent = std::function<void(TObject* Sender)>;
    using TDataChangeEvent = std::function<void(TObject* Sender, TField* Field)>;

    explicit TDataSource(QString name = {});
    ~TDataSource() override;

    TClientDataSet* DataSet() const { return m_dataSet; }
    void SetDataSet(TClientDataSet* dataSet);
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled);
    // The state as this source last reported it.
    TDataSetState State() const { return m_state; }

    TNotifyEvent OnStateChange;
    TDataChangeEvent OnDataChange;

private:
    friend class TClientDataSet;
    friend class TDataLink;
    void DataEvent(TDataEvent event, TField* field);
    void UpdateState();
    void AddLink(TDataLink* link);
    void RemoveLink(TDataLink* link);
    void DataSetDestroyed();

    TClientDataSet* m_dataSet = nullptr;
    bool m_enabled = true;
    TDataSetState m_state = TDataSetState::dsInactive;
    std::vector<TDataLink*> m_links;
};

} // namespace aph
