#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace aph {

class TStorage;
struct TDatabaseSpec;

// Backing up and checking a database: what an operator runs beside a
// serving aph-server.

// Copies a SQLite database, while servers keep writing to it, into a new
// standalone file (no -wal beside it), and its file of read audit records
// to FILE + ".audit" when there is one; returns the names written. Writes
// only new files of its own, never overwrites nor follows a link (FILE and
// FILE.audit must both be free names), and gives the names only when the
// whole copy is there: on failure it throws Exception and neither name
// holds anything of it.
QStringList BackupSqlite(const QString& databasePath, const QString& file);

// The pg_dump command that backs up a PostgreSQL database to a file
// (without the password, which pg_dump asks for or reads from ~/.pgpass).
QString PgDumpCommand(const TDatabaseSpec& spec, const QString& file);

// One verification: its name, how many rows break it (0 when it holds)
// and a few of them.
struct TCheckResult
{
    QString Name;
    qint64 Count = 0;
    QStringList Examples;
};

// The file's integrity (SQLite) and the invariants the server keeps: CSAs
// only in CHTs of their own service and employee, no CHT without CSAs,
// the CHT counter past every CHT number, approvals within the hours
// worked, every row's parents there (the table list's), the schema at the
// current version. Reads one snapshot.
QList<TCheckResult> CheckDatabase(TStorage& storage);

// Runs CheckDatabase and prints one line per verification ("NAME: ok", or
// the count and examples); true when every one holds.
bool PrintChecks(TStorage& storage);

} // namespace aph
