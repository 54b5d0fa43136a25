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

// The keys a --config file may hold: every option of serve without its
// dashes (but --config itself), and "database" for the positional
// argument. Flags first, then the valued options, then "database".
QStringList ServeConfigKeys();

// Which of ServeConfigKeys are flags (a yes or no value).
QStringList ServeConfigFlags();

// The address of the client's pages as the acceptance links begin
// (url-base): http or https, a host, maybe a port and a path, no query,
// fragment or user; without its trailing "/". EUsage otherwise.
QString CheckedUrlBase(const QString& text);

} // namespace aph
