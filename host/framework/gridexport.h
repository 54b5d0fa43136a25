#pragma once

#include <QByteArray>
#include <QString>

namespace aph {

class TDBGrid;

// The grid as a spreadsheet reads it: UTF-8 with a byte-order mark, ";"
// between fields, the column titles on the first line, then every row of
// the dataset (not only those on screen) with the text each cell shows. A
// field holding ";", a quote or a line break is quoted, and one that a
// spreadsheet would run as a formula is prefixed with "'" (TCsvPolicy::ForPeople).
QByteArray GridToCsv(const TDBGrid& grid);

// "Exportar para CSV...": asks the desktop for a file and writes the grid
// to it. A file that cannot be written raises, naming the file.
void ExportGridToCsv(const TDBGrid& grid);

// The text of the grid's context-menu entry.
QString ExportGridToCsvCaption();

} // namespace aph
