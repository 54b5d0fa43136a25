#pragma once

#include "service/rpcclient.h"

#include <QSslConfiguration>
#include <QString>

class QSslSocket;

namespace aph {

// The client's TLS configuration: TLS 1.2 or later, the server verified
// against the settings' authority. Throws ETlsError when the authority
// file cannot be read or holds no certificate.
QSslConfiguration ClientTlsConfiguration(const TTlsSettings& tls);

// Why the TLS handshake with host:port did not complete, for the user:
// the certificate's fault when it was refused, else what the server did.
QString TlsHandshakeFailure(const QSslSocket& socket, const QString& host, quint16 port,
                            const TTlsSettings& tls, int timeoutMs);

// Refusal of a certificate that Qt accepted for an IP address by its
// common name only: an address must be one of the certificate's IP
// alternative names. Empty when the certificate names the host.
QString IpNameMismatch(const QSslSocket& socket, const QString& host, quint16 port);

} // namespace aph
