#pragma once

#include <QString>
#include <QStringList>

namespace aph {

struct TFirmTable;

// Why a CSV header fits no table, in Portuguese, naming the table it comes
// closest to (the one most of its titles are columns of), its unknown
// titles with the column each may have meant, and the required columns it
// lacks: "CLIENTE: coluna desconhecida NMRAZAOSOCIAL (NMRAZSOCCLIE?);
// falta NMFANTCLIE". Empty when no title is a column of any table. column
// gets the first column the message names, for the report's place.
QString ExplainHeader(const QStringList& titles, QString& column);

// The columns of the tables an import takes, as `import --colunas`
// prints them and the operations guide shows them: for each table its
// key, then each column's kind, whether it is required, its codes and the
// rules the import holds it to. Only the table named, when one is.
QString ColumnListText(const TFirmTable* only = nullptr);

} // namespace aph
