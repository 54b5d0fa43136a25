#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>

namespace aph {

// The PROXY protocol header a balancer sends before a connection's own
// bytes (version 2, binary; or version 1, one text line), read apart from
// any socket so that it can be tested alone. It says whose connection the
// balancer passes on.
struct TProxyHeader
{
    enum class TState
    {
        NeedMore, // not all of it has arrived yet
        Done,     // Length bytes hold a whole header
        Invalid,  // not a header the server accepts; Reason says why
    };
    TState State = TState::NeedMore;
    qsizetype Length = 0;
    // The client's address; null for a connection of the balancer's own
    // (a health check: LOCAL, or UNKNOWN in version 1).
    QHostAddress Client;
    QString Reason;
};

// The longest header read: a version 2 header with the addresses of
// IPv6 and room for the extensions a balancer adds.
constexpr qsizetype kMaxProxyHeaderBytes = 16 + 36 + 512;

// Reads the header at the start of bytes (all that has arrived so far).
TProxyHeader ParseProxyHeader(const QByteArray& bytes);

} // namespace aph
