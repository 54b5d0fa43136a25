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
// snapshot. Each file is written under a temporary name and renamed only
// when every table is written, so that a failed export leaves none of the
// files; one that is already there is never overwritten. Throws Exception.
std::vector<TExportedTable> ExportFirm(TStorage& storage, const QString& folder);

} // namespace aph
