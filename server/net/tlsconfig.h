#pragma once

#include <QSslConfiguration>
#include <QString>

namespace aph {

// The server side of TLS from a certificate file (PEM: the server's
// certificate first, then any intermediates) and its private key (PEM,
// RSA or EC, without a passphrase): TLS 1.2 or later, no client
// certificates. Throws Exception, in Portuguese, when a file cannot be
// read, holds no certificate or key, or the key is not the certificate's.
QSslConfiguration ServerTlsConfiguration(const QString& certFile, const QString& keyFile);

} // namespace aph
