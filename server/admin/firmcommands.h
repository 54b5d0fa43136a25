#pragma once

#include <QStringList>

namespace aph {

// The administrator's commands for the firm's own data: operators, the
// issuer of its statements, and its records in and out (import, export,
// copy, which server/firmdata carries out). Each returns the process's exit
// status and throws EUsage for a command line it cannot run, Exception for
// a failure.
int OperatorCommand(const QStringList& args);
int OperatorsCommand(const QStringList& args);
int ImportCommand(const QStringList& args);
// aph-server export BANCO PASTA: the folder is created when missing and
// refused when it already holds any of the files. Prints a line per table
// and the time taken.
int ExportCommand(const QStringList& args);
// aph-server copy ORIGEM DESTINO: copies, then runs the check on the copy;
// 0 when it passes, 1 otherwise.
int CopyCommand(const QStringList& args);
// The issuer of the client's statements: shown, or set with --nome and
// --cnpj (its check digits checked).
int IssuerCommand(const QStringList& args);

} // namespace aph
