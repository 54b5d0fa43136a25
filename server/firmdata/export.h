#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace aph {

class TStorage;

// One table an export wrote: its file and how many rows went into it.
struct TExportedTable
{
    QString Name;
    QString File;
    qint64 Rows = 0;
};

// Writes the firm's records (FirmTables) into the folder, one CSV per
// table named TABLE.csv, each ordered by the table's key, all read in one
// snapshot. The files are written in a work folder of the export's own
// inside the folder (no link planted there is followed) and get their
// names only when every table is written, all or none; a name already
// taken (a file, a link, a dangling one too) is refused and never written
// through. SIGTERM, SIGHUP and SIGINT stop it with nothing written; what a
// killed export left (its work folder, names of an unfinished set) is
// removed by the next one. Throws Exception.
std::vector<TExportedTable> ExportFirm(TStorage& storage, const QString& folder);

} // namespace aph
