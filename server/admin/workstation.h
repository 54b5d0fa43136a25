#pragma once

#include <QStringList>

namespace aph {

// aph-server estacao BANCO OPERADOR --host ENDERECO [--port PORTA]
// [--filial CODIGO] [--tls [--ca ARQUIVO]] [--days N] --out ARQUIVO.ini:
// issues a token for the operator, as the token command does, and writes
// the desktop's configuration file with it ([host]: operator, branch,
// host, port, token, and tls and ca when asked), ready for aph-host
// --config. The file is new (never over an existing name), readable by its
// owner only, and whole or not there; a token whose file could not be
// written is revoked. Returns the exit status; EUsage for a command line
// it cannot run, Exception for a failure.
int WorkstationCommand(const QStringList& args);

} // namespace aph
