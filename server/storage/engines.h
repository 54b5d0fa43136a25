#pragma once

// The storage's own: one storage class per engine, made by Open. Not for
// the rooms above the storage, which see only TStorage and TRowSource.
#include "server/storage/rowsource.h"
#include "server/storage/storage.h"

#include <memory>

namespace aph {

// readOnly: a connection that cannot write keeps the file's journal mode.
std::unique_ptr<TStorage> NewSqliteStorage(QSqlDatabase db, bool readOnly = false);
std::unique_ptr<TStorage> NewPostgresStorage(QSqlDatabase db);

// The kind of a failure by SQLite's primary result code, and by
// PostgreSQL's SQLSTATE.
TStorage::TFailure SqliteFailure(int code);
TStorage::TFailure PostgresFailure(const QString& state);

// A read's rows through the QtSql driver: the way every engine can take.
std::unique_ptr<TRowSource> QtSqlRows(TStorage& storage, const TQueryText& query);

} // namespace aph
