#pragma once

#include <QHostAddress>
#include <QString>

namespace aph {

// A client's address as the log writes it: IPv4 in its plain form
// (an IPv4-mapped IPv6 socket address included), IPv6 as Qt writes it.
QString ClientAddressText(const QHostAddress& address);

// What the per-address limits and the Login backoff count a client under:
// an IPv4 address as it is; an IPv6 one by its /64 ("2001:db8:1:2::/64"),
// the network a single subscriber is given, inside which it may take as
// many addresses as it likes.
QString ClientLimitKey(const QHostAddress& address);

} // namespace aph
