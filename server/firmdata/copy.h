#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace aph {

class TStorage;
struct TDatabaseSpec;

// Copying a whole database between engines (SQLite and PostgreSQL, either
// way): how a firm moves to the other engine.

// Lets one copy or import at a time write a PostgreSQL database: a lock
// held by the connection until it closes. Refuses, with a message for the
// administrator, while another holds it. SQLite needs none: its write
// transaction already excludes every other writer.
void LockBulkWrite(TStorage& storage);

// Told, table by table, how many rows were copied.
using TCopyProgress = std::function<void(const QString& table, qint64 rows)>;

// Copies every table of origin (at the current schema version) into
// destination, which must be empty: on SQLite a file not there yet, on
// PostgreSQL a database without tables. The schema there is made by
// MigrateSchema; the rows go in one write transaction, read from one
// snapshot of origin. On SQLite the read audit records of origin's file
// beside it go into destination's APH_AUDITORIA. A failure leaves nothing
// at destination. Returns the rows copied; throws Exception.
qint64 CopyDatabase(const TDatabaseSpec& origin, const TDatabaseSpec& destination,
                    const TCopyProgress& progress);

} // namespace aph
