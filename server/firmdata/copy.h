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
// Told what the copy did besides copying (a destination replaced).
using TCopyNote = std::function<void(const QString& text)>;

// Copies every table of origin (at the current schema version) into
// destination, which must be empty: on SQLite a file not there yet, on
// PostgreSQL a database without tables; a copy that did not finish there
// (see kUnfinishedCopyTable) is replaced. The destination carries the
// unfinished mark from its first table until the transaction that commits
// the rows, so that a copy killed on the way is never taken for a
// database. The schema there is made by MigrateSchema; the rows go in one
// write transaction, read from one snapshot of origin. On SQLite the read
// audit records of origin's file beside it go into destination's
// APH_AUDITORIA. A failure, and SIGTERM, SIGHUP or SIGINT, remove the
// destination and the Exception says so. Returns the rows copied.
qint64 CopyDatabase(const TDatabaseSpec& origin, const TDatabaseSpec& destination,
                    const TCopyProgress& progress, const TCopyNote& note = {});

} // namespace aph
