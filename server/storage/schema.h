#pragma once

#include <QString>

namespace aph {

class TStorage;

// The schema is the server's own: a list of numbered migrations, applied in
// order, each in its own transaction, the number kept in APH_VERSAO.
constexpr int kSchemaVersion = 9;

// Creates or upgrades the schema to kSchemaVersion. Returns the version the
// database had before (0 for an empty database).
int MigrateSchema(TStorage& storage);

// The version a database is at; 0 when it has no schema yet.
int SchemaVersion(TStorage& storage);

// Refuses to serve a database whose schema is missing or of another
// version, with a message that says what to run.
void RequireCurrentSchema(TStorage& storage);

// The table a copy makes in its destination before anything else and
// drops in the transaction that commits the rows: while it is there, the
// database is a copy that did not finish (stopped, or killed with no
// chance to remove it), and no command takes it for a database.
extern const QString kUnfinishedCopyTable;

// Whether the database is a copy that did not finish.
bool IsUnfinishedCopy(TStorage& storage);

// Refuses a copy that did not finish, with a message that says what to
// do; RequireCurrentSchema does it too.
void RequireFinishedCopy(TStorage& storage);

// The audit table's CREATE statement; ifMissing for the file of the read
// audit records, which the server makes itself.
QString AuditTableSql(bool ifMissing = false);

} // namespace aph
