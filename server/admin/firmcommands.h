#pragma once

#include <QStringList>

namespace aph {

// The administrator's commands for the firm's own data: operators, and
// the import of its records. Each returns the process's exit status and
// throws EUsage for a command line it cannot run.
int OperatorCommand(const QStringList& args);
int OperatorsCommand(const QStringList& args);
int ImportCommand(const QStringList& args);

} // namespace aph
