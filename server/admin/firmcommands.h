#pragma once

#include <QStringList>

namespace aph {

// The administrator's commands for the firm's own data: operators, the
// issuer of its statements, and the import of its records. Each returns the process's exit status
// and throws EUsage for a command line it cannot run.
int OperatorCommand(const QStringList& args);
int OperatorsCommand(const QStringList& args);
int ImportCommand(const QStringList& args);
// The issuer of the client's statements: shown, or set with --nome and
// --cnpj (its check digits checked).
int IssuerCommand(const QStringList& args);

} // namespace aph
