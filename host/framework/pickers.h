#pragma once

#include "host/data/dataset.h"

#include <QString>

namespace aph {

// The multi-selection list over a data source. titleAndEmptyText is the
// title, "|" and the text shown instead when the list has no row. The
// selection string comes in with the current choice and goes out with the
// new one: "" when nothing was ticked, otherwise the keys' encoding (never
// "T" or empty for a pick). singleChoice limits the pick to one row.
// Returns false, with the selection unchanged, when the list was empty or
// the user left without choosing.
bool PesquisaLista(TDataSource* source, const QString& keyField, const QString& titleAndEmptyText,
                   bool singleChoice, QString& selection);

// Picks one row of a data source; true leaves its dataset on that row.
// multiSelect is not offered by this picker and must be false; searchBox
// lets the user type to find the row.
bool Pesquisar(TDataSource* source, const QString& title, bool multiSelect, bool searchBox);

// Searches a dataset and positions it on the row found.
bool Procura(TClientDataSet* dataSet);

} // namespace aph
