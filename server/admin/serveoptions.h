#pragma once

#include "server/net/rpcserver.h"

#include <QStringList>

namespace aph {

// The options of "aph-server serve" (the arguments after "serve"): the
// command line over the --config file, each value checked. Opens nothing
// and changes nothing: the caller applies LogLevel and opens the database.
// Throws EUsage (see commandline.h) for a command line or a configuration
// file it cannot take, and Exception for a database named in a form no
// backend reads.
TServerOptions ParseServeOptions(const QStringList& arguments);

} // namespace aph
