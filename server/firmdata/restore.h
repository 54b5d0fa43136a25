#pragma once

#include <QString>

namespace aph {

class TStorage;
struct TFirmTable;

// The CHT's life and the history are written only by their own steps; an
// import takes them (the tables marked RestoreOnly in the table list, and
// a CSA's place in a CHT) only as a restore: into a database that holds
// no CHT, no history row, no CHT numbering past 0 and no audit record.

// Whether the database holds none of them. Read in the caller's
// transaction, before the import writes anything.
bool IsRestoreTarget(TStorage& storage);

// Whether an import takes the table only as a restore.
bool IsRestoreOnly(const TFirmTable& table);

// Why a file of a restore-only table is refused by a database that is no
// restore target: what it holds, and that a whole database moves with
// `copy`.
QString RestoreOnlyRefusal(const TFirmTable& table);

// Why a CSA may not be put into a CHT by an import outside a restore.
QString ChtPlacementRefusal(const QString& cht);

} // namespace aph
