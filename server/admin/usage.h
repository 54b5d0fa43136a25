#pragma once

#include <QString>
#include <QStringList>

namespace aph {

// What aph-server tells of its commands, in Portuguese: each command's
// synopsis (one line, or a few for serve and operator) and a short help.

// Every synopsis, for "aph-server --help" and a command it does not know.
QString FullUsage();
// The command's synopsis, "uso:" first, shown under a usage error; empty
// for a command that does not exist.
QString CommandUsage(const QString& command);
// The synopsis and the help of one command, for "aph-server COMANDO
// --help"; empty for a command that does not exist.
QString CommandHelp(const QString& command);
// The commands, in the order the usage lists them.
QStringList CommandNames();

} // namespace aph
