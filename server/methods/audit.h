#pragma once

#include "server/storage/tablelist.h"

#include <QString>
#include <QVariant>

namespace aph {

class TStorage;

// The widths of APH_AUDITORIA's CDOPERADOR and DSEVENTO: a record's
// operator code and event are cut to them, so that no record is refused
// for its length.
constexpr int kAuditOperatorChars = ColumnSize("APH_AUDITORIA", "CDOPERADOR");
constexpr int kAuditEventChars = ColumnSize("APH_AUDITORIA", "DSEVENTO");

// One row of APH_AUDITORIA, as every path that writes one keeps it.
struct TAuditRow
{
    double When = 0;             // OLE date and time
    QString Operator;            // the operator the call names; empty, never null, for none
    QVariant ConnectionOperator; // the one logged in; null without a login
    QString Event;
};

// The row of one call, ready for its columns: the codes and the event cut
// to their widths in characters as the database counts them (never half a
// surrogate pair), control characters (a line break, a tab, U+0000) made
// spaces and lone surrogates U+FFFD, so that no row is refused or forges a
// line of its own. Every audit row goes through here.
TAuditRow AuditRow(double when, const QString& operatorCode, const QString& connectionOperator,
                   const QString& event);
// Writes the row on the storage's connection, in the caller's transaction
// when there is one.
void WriteAuditRow(TStorage& storage, const TAuditRow& row);

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
