#pragma once

#include <QStringList>

namespace aph {

// "aceite BANCO NRSEQUCHT --contato EMAIL [--dias N] [--url-base URL]
// [--config ARQUIVO]": a new acceptance link for an approved CHT, printed
// as the last line (URL-BASE/aceite/TOKEN); "aceite BANCO NRSEQUCHT
// --revogar" ends its undecided links. The base comes from --url-base, else
// from the configuration file's url-base (--config, or the packaged
// /etc/aph/aph-server.conf when it exists).
int AcceptanceCommand(const QStringList& arguments);

} // namespace aph
