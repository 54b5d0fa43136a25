#pragma once

#include "server/storage/tablelist.h"

#include <QString>

namespace aph {

class TStorage;

// The widths of APH_AUDITORIA's CDOPERADOR and DSEVENTO: a record's
// operator code and event are cut to them, so that no record is refused
// for its length.
constexpr int kAuditOperatorChars = ColumnSize("APH_AUDITORIA", "CDOPERADOR");
constexpr int kAuditEventChars = ColumnSize("APH_AUDITORIA", "DSEVENTO");

// Where the audit records of the reads go: who asked for what, recorded
// before the data leaves. Record returns once the record is kept and
// throws when it cannot be, so that no data leaves without it.
class TAuditTrail
{
public:
    virtual ~TAuditTrail() = default;
    // operatorCode: the operator the call names (empty: none);
    // connectionOperator: the one logged in (empty without login).
    virtual void Record(const QString& operatorCode, const QString& connectionOperator,
                        const QString& event) = 0;
};

// The records written straight into the storage's own APH_AUDITORIA, one
// statement each, on the caller's connection: the trail of a dispatcher
// given no audit log (see TAuditLog for the server's).
class TStorageAudit : public TAuditTrail
{
public:
    explicit TStorageAudit(TStorage& storage) : m_storage(storage) {}
    void Record(const QString& operatorCode, const QString& connectionOperator,
                const QString& event) override;

private:
    TStorage& m_storage;
};

} // namespace aph
