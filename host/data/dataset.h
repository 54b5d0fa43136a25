#pragma once

#include "host/data/component.h"
#include "host/data/datapacket.h"
#include "host/data/datasource.h"
#include "host/data/field.h"

#include <QHash>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace aph {

class TClientDataSet;
using TDataSet = TClientDataSet;

enum class TLocateOption
{
    loCaseInsensitive = 1,
    loPartialKey = 2
};
using TLocateOptions = int;

// A taken position that survives inserts and deletes of other rows.
struct TBookmark
{
    quint64 Id = 0; // 0: no bookmark
    int Hint = -1;  // where the row was when taken; checked first
    bool IsNull() const { return Id == 0; }
};

// An in-memory table with a current row, states, an optional one-field
// index, bookmarks, a change log and events, loaded whole from a data packet
// or copied from another dataset.
class TClientDataSet : public TComponent
{
public:
    using TDataSetNotifyEvent = std::function<void(TDataSet* DataSet)>;

    explicit TClientDataSet(QString name = {});
    ~TClientDataSet() override;

    // --- Fields ----------------------------------------------------------
    // Persistent fields, defined before the dataset is opened. Loading a
    // packet binds them by name; without them the packet's fields are used.
    TField* AddField(const QString& name, TFieldType type, int size = 0);
    TField* FieldByName(const QString& name) const; // throws when absent
    TField* FindField(const QString& name) const;
    TField* Field(int index) const { return m_fields[static_cast<std::size_t>(index)].get(); }
    int FieldCount() const { return static_cast<int>(m_fields.size()); }
    TFieldDefs FieldDefs() const;

    // --- Opening and loading ---------------------------------------------
    TDataSetState State() const { return m_state; }
    bool Active() const { return m_state != TDataSetState::dsInactive; }
    bool IsEmpty() const { return m_rows.empty(); }
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool readOnly) { m_readOnly = readOnly; }

    // Opens the dataset with no rows, on its persistent fields.
    void CreateDataSet();
    void Close();
    // Replaces the whole content. A packet that is malformed or does not
    // carry the persistent fields is refused and the dataset stays as it was.
    void SetData(const TDataPacket& packet);
    // A reply with no data at all closes the dataset.
    void SetData(const std::optional<TDataPacket>& packet);
    // The current rows (without a row still being edited) as a packet.
    TDataPacket Data() const;
    // The whole content of another dataset; the change log starts empty.
    void CopyDataFrom(const TClientDataSet& source);

    // --- Navigation ------------------------------------------------------
    // Each of these first posts or cancels a pending edit, then reports a
    // scroll (BeforeScroll/AfterScroll), also when the row does not change.
    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    int MoveBy(int distance);
    bool Eof() const { return m_eof; }
    bool Bof() const { return m_bof; }
    int RecNo() const { return m_current + 1; } // 1-based; 0 when empty
    void SetRecNo(int recNo);
    int RecordCount() const { return static_cast<int>(m_rows.size()); }
    // Moves to the first row whose field equals the value; false leaves the
    // current row. A text value for a date-time field is read as a date.
    bool Locate(const QString& fieldName, const QVariant& value, TLocateOptions options = 0);

    // Keeps the rows ordered by one field (empty: natural order).
    void SetIndexFieldNames(const QString& fieldName);
    QString IndexFieldNames() const;

    TBookmark GetBookmark() const;
    void GotoBookmark(const TBookmark& bookmark);
    bool BookmarkValid(const TBookmark& bookmark) const;
    void FreeBookmark(TBookmark& bookmark) { bookmark = {}; }

    // --- Editing ---------------------------------------------------------
    void Edit();
    void Insert();
    void Append();
    // Stores the controls' pending text, runs BeforePost (an exception there
    // refuses the post and leaves the row in edit with its values), commits.
    void Post();
    void Cancel();
    void Delete();
    void CheckBrowseMode();
    void UpdateRecord();
    bool Modified() const { return m_modified; }

    // --- Change log ------------------------------------------------------
    bool LogChanges() const { return m_logChanges; }
    void SetLogChanges(bool log) { m_logChanges = log; }
    // Number of rows with pending changes.
    int ChangeCount() const { return static_cast<int>(m_log.size()); }
    TDelta Delta() const;
    // Pending changes become the base data; the log empties.
    void MergeChangeLog();
    // Undoes every pending change.
    void CancelUpdates();
    // Undoes the pending change of the current row; false if it has none.
    bool RevertRecord();

    // --- Display suspension ----------------------------------------------
    // Counted. While suspended, data sources and controls hear nothing; the
    // last resume reports the state once if it differs from the state at
    // the first suspension, and has the controls show everything again.
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return m_disableCount > 0; }

    // --- Events ----------------------------------------------------------
    TDataSetNotifyEvent BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforeInsert, AfterInsert;
    TDataSetNotifyEvent BeforePost, AfterPost;
    TDataSetNotifyEvent BeforeCancel, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete;
    TDataSetNotifyEvent BeforeScroll, AfterScroll;
    TDataSetNotifyEvent OnNewRecord;
    TDataSetNotifyEvent AfterOpen, BeforeClose, AfterClose;

    // --- For controls ----------------------------------------------------
    // Makes another row the active record for field reads while a control
    // paints it, without moving the cursor or raising events.
    class ActiveRecordScope
    {
    public:
        ActiveRecordScope(const TClientDataSet& dataSet, int row);
        ~ActiveRecordScope();
        ActiveRecordScope(const ActiveRecordScope&) = delete;
        ActiveRecordScope& operator=(const ActiveRecordScope&) = delete;

    private:
        const TClientDataSet& m_dataSet;
        int m_previous;
    };
    // 0-based index of the current row; -1 when empty.
    int CurrentIndex() const { return m_current; }

private:
    friend class TField;
    friend class TDataSource;

    struct Slot
    {
        TRow row;
        quint64 id;
    };
    struct LogEntry
    {
        TDeltaRecord::Kind op;
        TRow original; // empty for an insert
    };

    const Value& ActiveValue(int fieldIndex) const;
    void SetActiveValue(TField* field, Value value);
    void SetState(TDataSetState state);
    void DataEvent(TDataEvent event, TField* field = nullptr);
    void AddDataSource(TDataSource* source);
    void RemoveDataSource(TDataSource* source);
    void CheckActive() const;
    void Fire(const TDataSetNotifyEvent& event);
    void BeginInsert(bool append);
    void Resort();
    void Reposition(int index);
    void ReplaceContent(std::vector<Slot> rows);
    TRow NullRow() const;
    int FindRow(quint64 id, int hint) const;
    void LogChange(quint64 id, TDeltaRecord::Kind op, const TRow& before);

    std::vector<std::unique_ptr<TField>> m_fields;
    QHash<QString, int> m_fieldIndex; // upper-case name -> index
    std::vector<Slot> m_rows;
    int m_current = -1;
    bool m_bof = true;
    bool m_eof = true;
    TDataSetState m_state = TDataSetState::dsInactive;
    bool m_readOnly = false;
    TRowValues m_buffer; // the row being edited or inserted
    bool m_modified = false;
    int m_indexField = -1;
    quint64 m_nextId = 1;
    mutable int m_displayRow = -1;

    bool m_logChanges = true;
    std::vector<quint64> m_logOrder;
    QHash<quint64, LogEntry> m_log;

    int m_disableCount = 0;
    TDataSetState m_disableState = TDataSetState::dsInactive;
    std::vector<TDataSource*> m_sources;
};

} // namespace aph
