#pragma once

#include "server/firmdata/import.h"

#include <QString>
#include <QStringList>

namespace aph {

class TStorage;

// Imports the hours of a time tracker's per-entry export (one row per
// time entry) as CSAs: a map file names the export's columns and turns its
// people into employees and its clients and projects (or tasks) into
// contracted services; the entries of one employee, service and day are
// summed into one CSA, which then goes in as a row of a CSA file would
// (the same checks, the same conflicts). An entry the map does not cover
// is refused with its line, never guessed; with any refusal, or a dry run,
// nothing is written.
//
// The map is an INI file in UTF-8, "key = value" lines under sections, a
// line starting with ";" or "#" a comment:
//   [colunas]   data, formato_data (as Qt writes dates: dd/MM/yyyy,
//               MM/dd/yyyy, yyyy-MM-dd), pessoa, cliente, projeto, and
//               duracao or inicio and fim; optional tarefa and data_fim,
//               and formato_data_confirmado (sim or não: whether a file
//               whose days are all 12 or less is read as the format says,
//               see TDateReading)
//   [pessoas]   a person as the export writes them (e-mail or name, any
//               case) = CDFUNC
//   [servicos]  Cliente | Projeto [| Tarefa] = NRPROPOSFAS/NRVERPROPFAS/
//               NRSERVCONT; a task's line wins over its project's
// A dateFormat given replaces the map's and is taken as confirmed. The
// CSAs added carry the stamp's operator (required) and moment.
TImportReport ImportTrackerFiles(TStorage& storage, const QStringList& files,
                                 const QString& mapPath, bool dryRun, TImportStamp stamp = {},
                                 const QString& dateFormat = QString());

} // namespace aph
